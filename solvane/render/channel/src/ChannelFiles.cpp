// The channel layout file and the channel data file. Both carry channel
// records byte for byte; both are written to a temp file and renamed into
// place so a crash never leaves half a file.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "channel/ChannelLayout.h"
#include "channel/Displays.h"
#include "platform/fileio.h"
#include "platform/packed.h"
#include "util/Util.h"

namespace {

constexpr size_t kLayoutHeaderSize = 1188;
constexpr size_t kLayoutReservedOffset = 160;
constexpr size_t kLayoutCountOffset = 1184;
constexpr size_t kDataHeaderSize = 40;
constexpr char kDataMagic[] = "#vesk#channel#data";
constexpr size_t kDataMagicSize = 32;

template <class T>
void Put(std::vector<uint8_t>& b, size_t offset, const T& v) {
    platform::WriteAt(b.data(), offset, v);
}

struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<FILE, FileCloser>;

int32_t ClampCoord(int64_t v) {
    return static_cast<int32_t>(std::clamp<int64_t>(v, -layoutbounds::kMaxCoordinate, layoutbounds::kMaxCoordinate));
}

}  // namespace

bool CChannelLayout::SaveCodFile(const std::string& path) const {
    std::vector<uint8_t> b(kLayoutHeaderSize + m_channels.size() * OutputChannel::kRecordSize, 0);
    Put(b, 0, uint32_t{2});
    Put(b, 4, m_nChannelCount);
    Put(b, 8, m_nReserved);
    Put(b, 12, m_nRows);
    Put(b, 16, m_nColumns);
    Put(b, 20, m_nChannelWidth);
    Put(b, 24, m_nChannelHeight);
    Put(b, 28, m_nOriginX);
    Put(b, 32, m_nOriginY);
    Put(b, 36, m_nAutoArrange);
    Put(b, 40, m_nStageMode);
    Put(b, 44, m_corners[1]);  // bottom-left
    Put(b, 60, m_corners[3]);  // bottom-right
    Put(b, 76, m_corners[2]);  // top-right
    Put(b, 92, m_corners[0]);  // top-left
    Put(b, 108, m_nStoredWord3);
    Put(b, 112, m_stageRect);
    Put(b, 128, m_stageUnion);
    Put(b, 144, m_nMaxRight);
    Put(b, 148, m_nMaxBottom);
    Put(b, 152, m_nTotalWidth);
    Put(b, 156, m_nTotalHeight);
    static_assert(kLayoutReservedOffset + 1024 == kLayoutCountOffset);
    Put(b, kLayoutCountOffset, static_cast<uint32_t>(m_channels.size()));
    size_t pos = kLayoutHeaderSize;
    for (const auto& ch : m_channels) {
        ch->ToBytes(b.data() + pos);
        pos += OutputChannel::kRecordSize;
    }
    return platform::SaveFileAtomically(
        path, std::string_view(reinterpret_cast<const char*>(b.data()), b.size()));
}

bool CChannelLayout::LoadCodFile(const std::string& path) {
    m_bLoadRefused = false;
    File f(std::fopen(path.c_str(), "rbe"));
    if (!f) return false;
    FILE* fp = f.get();

    // The header first, whole or cut short: a field the file does not reach
    // keeps its value. Nothing is applied before the checks below pass.
    uint8_t head[kLayoutHeaderSize] = {};
    const size_t got = std::fread(head, 1, sizeof head, fp);
    auto field = [&](size_t offset, auto current) {
        if (offset + sizeof current <= got) std::memcpy(&current, head + offset, sizeof current);
        return current;
    };
    const int32_t width = field(20, m_nChannelWidth);
    const int32_t height = field(24, m_nChannelHeight);
    const int32_t originX = field(28, m_nOriginX);
    const int32_t originY = field(32, m_nOriginY);
    const RECT stored[2] = {field(112, m_stageRect), field(128, m_stageUnion)};
    uint32_t count = 0;
    if (got == kLayoutHeaderSize) std::memcpy(&count, head + kLayoutCountOffset, sizeof count);

    const uint32_t cap = static_cast<uint32_t>(m_nChannelLimit > 0 ? m_nChannelLimit : lintra::kMaxChannels);
    std::vector<std::unique_ptr<OutputChannel>> records;
    std::vector<uint8_t> rec(OutputChannel::kRecordSize);
    for (uint32_t i = 0; i < count && i < cap; ++i) {
        if (std::fread(rec.data(), 1, rec.size(), fp) != rec.size()) break;
        auto ch = std::make_unique<OutputChannel>();
        ch->FromBytes(rec.data());
        records.push_back(std::move(ch));
    }
    f.reset();

    bool inBounds = width <= layoutbounds::kMaxChannelSize && height <= layoutbounds::kMaxChannelSize &&
                    layoutbounds::CoordOk(originX) && layoutbounds::CoordOk(originY) &&
                    layoutbounds::LaidRectOk(stored[0]) && layoutbounds::LaidRectOk(stored[1]);
    for (const auto& ch : records)
        inBounds = inBounds && layoutbounds::LaidRectOk(ch->m_rect) && layoutbounds::LaidRectOk(ch->m_stageRect);
    if (!inBounds) {
        LOGTEXT::LogError("channel file %s refused: channel size %d x %d, origin %d,%d or a rectangle out of range.",
                          path.c_str(), width, height, originX, originY);
        m_bLoadRefused = true;
        return false;
    }

    m_nChannelCount = field(4, m_nChannelCount);
    m_nReserved = field(8, m_nReserved);
    m_nRows = field(12, m_nRows);
    m_nColumns = field(16, m_nColumns);
    m_nChannelWidth = width;
    m_nChannelHeight = height;
    m_nOriginX = originX;
    m_nOriginY = originY;
    m_nAutoArrange = field(36, m_nAutoArrange);
    m_nStageMode = field(40, m_nStageMode);
    m_corners[1] = field(44, m_corners[1]);
    m_corners[3] = field(60, m_corners[3]);
    m_corners[2] = field(76, m_corners[2]);
    m_corners[0] = field(92, m_corners[0]);
    m_nStoredWord3 = field(108, m_nStoredWord3);
    m_stageRect = stored[0];
    m_stageUnion = stored[1];
    m_nMaxRight = field(144, m_nMaxRight);
    m_nMaxBottom = field(148, m_nMaxBottom);
    m_nTotalWidth = field(152, m_nTotalWidth);
    m_nTotalHeight = field(156, m_nTotalHeight);

    // Sizes below 1 would divide by zero in the capacity and grid sums.
    if (m_nChannelWidth < 1 || m_nChannelHeight < 1) {
        LOGTEXT::LogError("channel file %s: channel size %d x %d replaced by 320 x 240.", path.c_str(),
                          m_nChannelWidth, m_nChannelHeight);
        m_nChannelWidth = 320;
        m_nChannelHeight = 240;
    }
    if (m_nRows < 1) m_nRows = 1;
    if (m_nColumns < 1) m_nColumns = 1;
    if (m_nChannelLimit > 0 && static_cast<int64_t>(m_nRows) * m_nColumns > m_nChannelLimit) {
        m_nRows = 1;
        m_nColumns = m_nChannelLimit;
    }

    ClearChannels();
    if (count < 1) ResetChannels();
    const uint32_t kept = static_cast<uint32_t>(records.size());
    for (auto& ch : records) m_channels.Append(std::move(ch));
    if (kept < count)
        LOGTEXT::LogError("channel file %s: %u of %u channel records dropped.", path.c_str(), count - kept, count);
    for (size_t i = 0; i < kept; ++i) {
        OutputChannel* ch = m_channels[i];
        if (ch->m_id < 1 || static_cast<uint32_t>(ch->m_id) > kept) ch->m_id = static_cast<int32_t>(i + 1);
    }

    // As many channels as the desktop holds.
    RECT vs = VirtualScreenRect();
    const bool haveDesktop = vs.right > vs.left && vs.bottom > vs.top;
    if (haveDesktop) {
        const int64_t n = (static_cast<int64_t>(vs.right - vs.left) * (vs.bottom - vs.top)) /
                          (static_cast<int64_t>(m_nChannelWidth) * m_nChannelHeight);
        if (n < m_nChannelCount) {
            m_channels.Truncate(static_cast<size_t>(n));
            m_nChannelCount = static_cast<int32_t>(n);
        }
    } else {
        // No display known: lay the channels out on the grid the file names.
        vs = RECT{m_nOriginX, m_nOriginY, m_nOriginX + m_nColumns * m_nChannelWidth,
                  m_nOriginY + m_nRows * m_nChannelHeight};
    }
    if (m_nChannelCount > static_cast<int32_t>(m_channels.size()))
        m_nChannelCount = static_cast<int32_t>(m_channels.size());
    if (m_nChannelCount < 0) m_nChannelCount = 0;

    // Re-lay row by row across the desktop; stored stage rectangles stay.
    int64_t x = m_nOriginX, y = m_nOriginY;
    const int64_t rightEdge = static_cast<int64_t>(vs.left) + (vs.right - vs.left);
    int32_t maxRight = 0, maxBottom = 0;
    for (const auto& ch : m_channels) {
        ch->m_rect = RECT{static_cast<int32_t>(x), static_cast<int32_t>(y),
                          static_cast<int32_t>(x + m_nChannelWidth), static_cast<int32_t>(y + m_nChannelHeight)};
        maxRight = std::max(maxRight, ch->m_rect.right);
        maxBottom = std::max(maxBottom, ch->m_rect.bottom);
        x += m_nChannelWidth;
        if (x + m_nChannelWidth > rightEdge) {
            x = 0;
            y += m_nChannelHeight;
        }
    }
    if (!m_channels.empty()) {
        m_nMaxRight = maxRight;
        m_nMaxBottom = maxBottom;
    }
    // The channels were laid out from the origin already: it counts once.
    if (!m_channels.empty())
        m_stageRect = RECT{m_nOriginX, m_nOriginY, std::max(m_nOriginX, m_nMaxRight),
                           std::max(m_nOriginY, m_nMaxBottom)};
    else
        m_stageRect = RECT{m_nOriginX, m_nOriginY, ClampCoord(int64_t{m_nOriginX} + m_nMaxRight),
                           ClampCoord(int64_t{m_nOriginY} + m_nMaxBottom)};
    m_nColumns = static_cast<int32_t>((static_cast<int64_t>(m_stageRect.right) - m_stageRect.left) / m_nChannelWidth);
    m_nRows = static_cast<int32_t>((static_cast<int64_t>(m_stageRect.bottom) - m_stageRect.top) / m_nChannelHeight);
    m_pSelected = m_channels.empty() ? nullptr : m_channels[0];
    ArrangeChannels();
    return true;
}

bool ChannelPtrList::SaveChannelData(const std::string& path) const {
    std::vector<uint8_t> b(kDataHeaderSize + items_.size() * OutputChannel::kRecordSize, 0);
    std::memcpy(b.data(), kDataMagic, sizeof kDataMagic);
    Put(b, kDataMagicSize, 1.0f);
    Put(b, kDataMagicSize + 4, static_cast<int32_t>(items_.size()));
    size_t pos = kDataHeaderSize;
    for (const auto& ch : items_) {
        ch->ToBytes(b.data() + pos);
        pos += OutputChannel::kRecordSize;
    }
    return platform::SaveFileAtomically(
        path, std::string_view(reinterpret_cast<const char*>(b.data()), b.size()));
}

bool ChannelPtrList::LoadChannelData(const std::string& path) {
    items_.clear();
    File f(std::fopen(path.c_str(), "rbe"));
    if (!f) return false;
    uint8_t head[kDataHeaderSize];
    if (std::fread(head, 1, 36, f.get()) != 36) return false;
    if (strncmp(reinterpret_cast<const char*>(head), kDataMagic, kDataMagicSize) != 0) return false;
    float version;
    std::memcpy(&version, head + kDataMagicSize, 4);
    if (!(version >= 1.0f)) return false;
    int32_t count;
    if (std::fread(&count, 4, 1, f.get()) != 1 || count < 0) return false;
    std::vector<uint8_t> rec(OutputChannel::kRecordSize);
    for (int32_t i = 0; i < count; ++i) {
        // One record at a time: a count larger than the file fails at its end.
        if (std::fread(rec.data(), 1, rec.size(), f.get()) != rec.size()) {
            items_.clear();
            return false;
        }
        auto ch = std::make_unique<OutputChannel>();
        ch->FromBytes(rec.data());
        items_.push_back(std::move(ch));
    }
    return true;
}
