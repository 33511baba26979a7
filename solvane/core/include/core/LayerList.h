// The list of timeline media layers that the console hands to a display
// server in one command, and the record each entry travels in.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/Media.h"
#include "platform/packed.h"
#include "platform/types.h"

#pragma pack(push, 1)
// One layer entry on the wire: the console's media record as it lies in its
// memory. The last field held a pointer there and means nothing here.
struct LayerMediaRecord {
    int32_t type;
    char name[256];       // GBK, NUL-terminated
    double startTime;     // seconds on the timeline
    double stopTime;
    RECT rect;            // stage rectangle: left, top, right, bottom
    uint32_t senderRef;
};
#pragma pack(pop)

PACKED_SIZE(LayerMediaRecord, 296);
PACKED_OFFSET(LayerMediaRecord, type, 0);
PACKED_OFFSET(LayerMediaRecord, name, 4);
PACKED_OFFSET(LayerMediaRecord, startTime, 260);
PACKED_OFFSET(LayerMediaRecord, stopTime, 268);
PACKED_OFFSET(LayerMediaRecord, rect, 276);
PACKED_OFFSET(LayerMediaRecord, senderRef, 292);

// One timeline media of the layer list.
struct LayerMediaEntry {
    int32_t type = kMediaFileVideo;
    std::string name;           // UTF-8, as the console sent it
    double start = 0.0;
    double stop = 0.0;
    MediaRectI rect;
};

// Most entries one list may hold: each entry loads a media source.
inline constexpr int32_t kMaxLayerEntries = 1024;

// Same length and, entry by entry, the same type, name and rectangle and
// start and stop times within 0.00001 s.
bool LayerListsEqual(const std::vector<LayerMediaEntry>& a, const std::vector<LayerMediaEntry>& b);

// Reads count records from a body. False (and out untouched) when count is
// negative or above kMaxLayerEntries, the body holds fewer records, or a
// time is not a finite number.
bool ParseLayerRecords(const uint8_t* body, uint32_t bodyLength, int32_t count, std::vector<LayerMediaEntry>& out);

// The record of an entry (tests and tools).
LayerMediaRecord MakeLayerMediaRecord(const LayerMediaEntry& entry);
