// The 352-byte record of media.bak and playlist.dat.
#pragma once

#include <cstdint>
#include <string>

#include "platform/packed.h"

#pragma pack(push, 1)
struct MediaListRecord {
    char path[260];
    uint8_t stateBytes[4];
    float texLeft;
    float texTop;
    float texRight;
    float texBottom;
    int32_t type;
    int32_t state;
    uint8_t deviceRef[64];
};
#pragma pack(pop)

PACKED_SIZE(MediaListRecord, 352);
PACKED_OFFSET(MediaListRecord, stateBytes, 260);
PACKED_OFFSET(MediaListRecord, texLeft, 264);
PACKED_OFFSET(MediaListRecord, texTop, 268);
PACKED_OFFSET(MediaListRecord, texRight, 272);
PACKED_OFFSET(MediaListRecord, texBottom, 276);
PACKED_OFFSET(MediaListRecord, type, 280);
PACKED_OFFSET(MediaListRecord, state, 284);
PACKED_OFFSET(MediaListRecord, deviceRef, 288);

// A record for a new or empty entry: texture rectangle 0, 1, 1, 0, the rest zero.
inline MediaListRecord EmptyMediaListRecord() {
    MediaListRecord r{};
    r.texLeft = 0.0f;
    r.texTop = 1.0f;
    r.texRight = 1.0f;
    r.texBottom = 0.0f;
    return r;
}

class IMedia;

// The record of one media object: its state bytes, type, state, texture
// rectangle, capture device byte (type 1) and its name cut to 258 bytes at a
// character boundary.
void FillMediaListRecord(MediaListRecord& record, const IMedia& media);

// The record's path up to its terminator (or the whole field when it has none).
std::string MediaListRecordPath(const MediaListRecord& record);

// Whether a path read from a list file may name a file to open: not empty and
// no ".." component (either separator), so that a doctored list cannot climb
// out of the folders the server itself recorded.
bool IsListedPathAcceptable(const std::string& path);
