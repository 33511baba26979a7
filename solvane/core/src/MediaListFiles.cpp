// media.bak (the current media list) and playlist.dat (the layer commands'
// playlist): fixed 352-byte records after a count, or a version and a count.
#include <fcntl.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <mutex>
#include <string>
#include <string_view>

#include "core/Media.h"
#include "core/MediaListRecord.h"
#include "core/MediaManager.h"
#include "platform/fd.h"
#include "platform/fileio.h"
#include "platform/textcodec.h"
#include "util/Util.h"

static_assert(sizeof(int32_t) == 4 && sizeof(float) == 4);
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "list files are little-endian");

namespace {

constexpr size_t kRecordSize = sizeof(MediaListRecord);
// At most 258 bytes of the name and its terminator.
constexpr size_t kNameBytes = 259;

// Reads up to size bytes; the count actually read (short at end of file or
// on an error).
size_t ReadUpTo(int fd, void* buffer, size_t size) {
    auto* p = static_cast<uint8_t*>(buffer);
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::read(fd, p + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    return done;
}

bool ReadInt32(int fd, int32_t& value) {
    uint8_t bytes[4];
    if (ReadUpTo(fd, bytes, sizeof bytes) != sizeof bytes) return false;
    std::memcpy(&value, bytes, sizeof value);
    return true;
}

void AppendInt32(std::string& out, int32_t value) {
    char bytes[4];
    std::memcpy(bytes, &value, sizeof bytes);
    out.append(bytes, sizeof bytes);
}

void AppendRecord(std::string& out, const MediaListRecord& record) {
    char bytes[kRecordSize];
    std::memcpy(bytes, &record, kRecordSize);
    out.append(bytes, kRecordSize);
}

platform::UniqueFd OpenForReading(const std::string& path) {
    return platform::UniqueFd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
}

}  // namespace

void FillMediaListRecord(MediaListRecord& record, const IMedia& media) {
    std::memset(&record, 0, sizeof record);
    const MediaCommon& c = media.Common();
    std::memcpy(record.stateBytes, c.stateBytes, sizeof record.stateBytes);
    record.type = c.type;
    record.state = c.state;
    record.texLeft = c.texRect.left;
    record.texTop = c.texRect.top;
    record.texRight = c.texRect.right;
    record.texBottom = c.texRect.bottom;
    if (c.type == kMediaCapture) record.deviceRef[0] = c.deviceRef;
    // A name cut in the middle of a character would not name the file.
    const std::string_view name = platform::CutUtf8(c.name, kNameBytes - 1);
    std::memcpy(record.path, name.data(), name.size());
}

std::string MediaListRecordPath(const MediaListRecord& record) {
    return std::string(record.path, strnlen(record.path, sizeof record.path));
}

bool IsListedPathAcceptable(const std::string& path) {
    if (path.empty()) return false;
    size_t begin = 0;
    while (begin <= path.size()) {
        const size_t end = path.find_first_of("\\/", begin);
        const std::string_view part =
            std::string_view(path).substr(begin, end == std::string::npos ? std::string::npos : end - begin);
        if (part == "..") return false;
        if (end == std::string::npos) break;
        begin = end + 1;
    }
    return true;
}

// ---- media.bak ----

void CMediaManager::SaveMediaList() {
    std::string data;
    {
        std::lock_guard lock(m_csMedia);
        data.reserve(4 + m_mediaList.size() * kRecordSize);
        AppendInt32(data, static_cast<int32_t>(m_mediaList.size()));
        for (IMedia* media : m_mediaList) {
            MediaListRecord record;
            FillMediaListRecord(record, *media);
            AppendRecord(data, record);
        }
    }
    // Written whole through a temp file: a crash while saving leaves the
    // previous list rather than a torn one.
    if (!platform::SaveFileAtomically(m_strMediaListPath, data)) {
        LOGTEXT::LogError("save media list %s failed: %s", m_strMediaListPath.c_str(), std::strerror(errno));
    }
}

void CMediaManager::LoadMediaList(const std::string& path) {
    const platform::UniqueFd fd = OpenForReading(path);
    if (fd.get() < 0) return;
    int32_t count = 0;
    if (!ReadInt32(fd.get(), count)) return;
    // The count is only believed as far as the file holds whole records.
    for (int32_t i = 0; i < count; ++i) {
        MediaListRecord record;
        if (ReadUpTo(fd.get(), &record, kRecordSize) != kRecordSize) break;

        const int32_t type = record.type;
        const std::string name = MediaListRecordPath(record);
        if ((type == kMediaFileVideo || type == kMediaPicture) && !IsListedPathAcceptable(name)) {
            LOGTEXT::LogError("media list entry refused: %s", name.c_str());
            continue;
        }
        std::string device;
        const std::string* deviceName = nullptr;
        if (type == kMediaCapture) {
            // The save wrote the device's number as one byte (as the
            // playlist does): read back the same byte.
            device = std::to_string(record.deviceRef[0]);
            deviceName = &device;
        }
        IMedia* media = LoadMedia(type, name, deviceName);
        if (!media) continue;  // its file has gone: skipped quietly
        {
            std::lock_guard lock(m_csMedia);
            m_mediaList.push_back(media);
        }
        if (type == kMediaFileVideo) {
            std::lock_guard lock(m_csCurrentVideo);
            m_pCurrentVideo = media;
        }
        float left = record.texLeft, top = record.texTop, right = record.texRight, bottom = record.texBottom;
        if (!std::isfinite(left) || !std::isfinite(top) || !std::isfinite(right) || !std::isfinite(bottom)) {
            const MediaListRecord empty = EmptyMediaListRecord();
            left = empty.texLeft;
            top = empty.texTop;
            right = empty.texRight;
            bottom = empty.texBottom;
        }
        media->SetTexRect(left, right, bottom, top);
        if (record.state == kMediaPlaying && type == kMediaFileVideo) media->Play();
    }
}

// ---- playlist.dat ----

void CMediaManager::SavePlaylist() {
    std::string data;
    data.reserve(8 + m_playlist.size() * kRecordSize);
    AppendInt32(data, 1);
    AppendInt32(data, static_cast<int32_t>(m_playlist.size()));
    for (const MediaListRecord& record : m_playlist) AppendRecord(data, record);
    if (!platform::SaveFileAtomically(m_strPlaylistPath, data)) {
        LOGTEXT::LogError("save playlist %s failed: %s", m_strPlaylistPath.c_str(), std::strerror(errno));
    }
}

void CMediaManager::LoadPlaylist() {
    const platform::UniqueFd fd = OpenForReading(m_strPlaylistPath);
    if (fd.get() < 0) return;
    int32_t version = 0;
    int32_t count = 0;
    if (!ReadInt32(fd.get(), version)) return;  // any version reads like 1
    if (!ReadInt32(fd.get(), count)) return;
    for (int32_t i = 0; i < count; ++i) {
        MediaListRecord record = EmptyMediaListRecord();
        // A short final record is dropped; the records before it stay.
        if (ReadUpTo(fd.get(), &record, kRecordSize) != kRecordSize) break;
        m_playlist.push_back(record);
    }
}
