#include "core/MediaStateText.h"

#include <cstdlib>
#include <mutex>

#include "core/Media.h"
#include "core/MediaManager.h"

std::string BuildMediaStateText(CMediaManager& core, std::map<IMedia*, int32_t>* states) {
    std::lock_guard lock(core.m_csMedia);
    std::string text;
    for (IMedia* media : core.m_mediaList) {
        if (!media || media->Common().type != kMediaFileVideo) continue;
        int64_t position = 0;
        media->GetSeekPosition(position);
        const int32_t state = media->Common().state;
        if (states) (*states)[media] = state;
        if (!text.empty()) text += '|';
        text += media->Common().name;
        text += '<';
        text += std::to_string(position);
        text += ',';
        text += std::to_string(state);
        text += '>';
    }
    return text;
}

namespace {

// Decimal number with optional blanks and sign in front; 0 when there is
// none (like the C conversions).
int64_t ToInt64(const std::string& text) { return std::strtoll(text.c_str(), nullptr, 10); }

}  // namespace

std::vector<MediaStateEntry> ParseMediaStateText(const std::string& text) {
    std::vector<MediaStateEntry> entries;
    size_t begin = 0;
    while (begin <= text.size()) {
        size_t end = text.find('|', begin);
        if (end == std::string::npos) end = text.size();
        const std::string item = text.substr(begin, end - begin);
        begin = end + 1;
        const size_t open = item.find('<');
        if (open == std::string::npos || open == 0) continue;
        std::string rest;
        for (char c : item.substr(open)) {
            if (c != '<' && c != '>') rest += c;
        }
        const size_t comma = rest.find(',');
        if (comma == std::string::npos) continue;
        MediaStateEntry entry;
        entry.name = item.substr(0, open);
        entry.position = ToInt64(rest.substr(0, comma));
        const size_t next = rest.find(',', comma + 1);
        entry.state = static_cast<int32_t>(ToInt64(rest.substr(comma + 1, next == std::string::npos ? next : next - comma - 1)));
        entries.push_back(entry);
    }
    return entries;
}
