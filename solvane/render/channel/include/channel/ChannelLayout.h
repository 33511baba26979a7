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
    void OffsetSelectedGrid(int direction, double step);
    void RotateSelectedGrid(double degrees);
    void AdjustSelectedGrid(int meshMode, int direction);
    void EqualizeSelectedGrid(int mode);
    // Keys "A"/"D" move the selected vertex left/right, "S"/"W" down/up.
    void MoveSelection(char key);
    void SetMoveStep(int level);
    void ComputeEdgePositions();
    void ArrangeChannels();

    // Channel layout file ("default.cfg").
    bool SaveCodFile(const std::string& path) const;
    bool LoadCodFile(const std::string& path);

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
