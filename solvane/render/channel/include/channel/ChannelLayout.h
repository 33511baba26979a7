// The display server's grid of output channels: their number, rows and
// columns, size and origin, the selection being edited, creation from the
// console's channel records, and the two channel file formats.
//
// No operation here locks: callers hold the server core's channel-layout lock.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "channel/OutputChannel.h"
#include "lintra/netdef.h"
#include "platform/types.h"

// Owned channels in creation order.
class ChannelPtrList {
public:
    size_t size() const { return items_.size(); }
    bool empty() const { return items_.empty(); }
    OutputChannel* operator[](size_t i) const { return items_[i].get(); }
    OutputChannel* Append(std::unique_ptr<OutputChannel> ch) {
        items_.push_back(std::move(ch));
        return items_.back().get();
    }
    void Clear() { items_.clear(); }
    // Deletes the entries from position n on.
    void Truncate(size_t n) {
        if (n < items_.size()) items_.resize(n);
    }
    auto begin() const { return items_.begin(); }
    auto end() const { return items_.end(); }

    // Channel data file: magic, version 1.0, count, records. All or nothing.
    bool SaveChannelData(const std::string& path) const;
    // Reads into this list, which should be empty; on failure it is left empty.
    bool LoadChannelData(const std::string& path);

private:
    std::vector<std::unique_ptr<OutputChannel>> items_;
};

// What a layout may be made of, wherever it comes from (the wire or a file).
// Far-out values made the grid loops run for hours and overflowed the sums.
namespace layoutbounds {
constexpr int32_t kMaxChannelSize = 16384;
constexpr int32_t kMaxCoordinate = 1 << 24;
inline bool CoordOk(int64_t v) { return v >= -kMaxCoordinate && v <= kMaxCoordinate; }
inline bool SizeOk(int64_t v) { return v >= 1 && v <= kMaxChannelSize; }
inline bool RectOk(const RECT& r) {
    return CoordOk(r.left) && CoordOk(r.top) && CoordOk(r.right) && CoordOk(r.bottom);
}
// Channels are laid out from an origin that may lie on the bound, so the
// rectangles a layout file stores reach past it by at most a full grid: a
// file the server saved must load again.
constexpr int64_t kMaxLaidCoordinate = int64_t{kMaxCoordinate} + int64_t{kMaxChannelSize} * lintra::kMaxChannels;
inline bool LaidCoordOk(int64_t v) { return v >= -kMaxLaidCoordinate && v <= kMaxLaidCoordinate; }
inline bool LaidRectOk(const RECT& r) {
    return LaidCoordOk(r.left) && LaidCoordOk(r.top) && LaidCoordOk(r.right) && LaidCoordOk(r.bottom);
}
}  // namespace layoutbounds

class CChannelLayout {
public:
    CChannelLayout();
    CChannelLayout(const CChannelLayout&) = delete;
    CChannelLayout& operator=(const CChannelLayout&) = delete;

    void SetDefaults();
    OutputChannel* FindChannel(int outputNumber) const;
    void ClearChannels();
    // Replaces the channels by `count` console records. A channel width or
    // height below 1 or a negative count is refused and keeps the layout.
    bool CreateChannels(int count, const CHANNEL_BASE_INFO* records, int32_t width, int32_t height, bool fresh);
    void ResetChannels();
    void SelectChannel(int outputNumber);
    void SelectChannelByIndex(int index);
    void SetSelectedVertex(int c, int r, int controlWord);
    // Writes the selected vertex and its 3 x 3 neighbourhood into a reply
    // head (points in wire units, x halved and y divided by 1.5):
    //   +4  1 when a channel is selected and its vertex lies in the grid, else
    //       0 and nothing more
    //   +8  c, +12 r, +16 selected control point word, +20 output number
    //   +24 mask of the neighbours that exist: bit (dc + 1) * 3 + (dr + 1)
    //   doubles +44, +52: the vertex x, y
    //   text +124: nine points of 16 bytes (x, y doubles) for dc = -1..1 and,
    //   inside, dr = -1..1; zero where the neighbour lies outside the grid.
    // False (head untouched beyond +4) when there is no such vertex.
    bool GetSelectedVertexInfo(tagNETHEAD& reply) const;
    void OffsetSelectedGrid(int direction, double step);
    void RotateSelectedGrid(double degrees);
    void AdjustSelectedGrid(int meshMode, int direction);
    void EqualizeSelectedGrid(int mode);
    // Keys "A"/"D" move the selected vertex left/right, "S"/"W" down/up.
    void MoveSelection(char key);
    void SetMoveStep(int level);
    void ComputeEdgePositions();
    void ArrangeChannels();

    // Channel layout file ("default.cfg"). Loading fails without changing
    // the layout when the file cannot be opened or holds a channel size,
    // origin or rectangle out of `layoutbounds` (see LastLoadRefused).
    bool SaveCodFile(const std::string& path) const;
    bool LoadCodFile(const std::string& path);
    // True when the last LoadCodFile failed on the file's content rather than
    // on opening it.
    bool LastLoadRefused() const { return m_bLoadRefused; }

    // --- fields -----------------------------------------------------------
    int32_t m_nChannelCount = 1;
    int32_t m_nColumns = 1;
    int32_t m_nRows = 1;
    int32_t m_nOriginX = 0;
    int32_t m_nOriginY = 0;
    int32_t m_nChannelWidth = 320;
    int32_t m_nChannelHeight = 240;
    int32_t m_nReserved = 0;        // origin-mode value; only a .cod file sets it
    double m_dMoveStep = 1.0;
    int32_t m_nAdjustMode = 1;      // 5: shift the whole grid
    int32_t m_nModeWord2 = 0;
    int32_t m_nAdjustFlags = 3;
    int32_t m_nModeWord4 = 0;
    ChannelPtrList m_channels;
    bool m_bLoadRefused = false;
    OutputChannel* m_pSelected = nullptr;
    std::mutex m_lock;              // the layout's own lock; the operations here do not take it
    std::vector<int32_t> m_idTable;
    int32_t m_nAutoArrange = 1;     // the three stored words
    int32_t m_nStageMode = 0;
    int32_t m_nStoredWord3 = 1;
    int32_t m_nChannelLimit = 8;
    // Texture corners of the stage: top-left, bottom-left, top-right, bottom-right.
    DOUBLE_POINT m_corners[4]{};
    int32_t m_nMaxBottom = 0;
    int32_t m_nMaxRight = 0;
    int32_t m_nTotalWidth = 0;      // picture size with the overlaps taken off
    int32_t m_nTotalHeight = 0;
    RECT m_stageRect{};             // union of the output rectangles
    RECT m_stageUnion{};            // union of the channels' stage rectangles
};
