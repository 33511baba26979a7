// The 328-byte description of one media that the media commands send back to
// the console (media information, load, add and switch).
#pragma once

#include <cstdint>

#include "platform/packed.h"

#pragma pack(push, 1)
struct MediaInfoRecord {
    int32_t index;          // the list position the media was given when loaded
    int32_t reserved;       // third argument of LoadResource
    char name[260];         // GBK, NUL-terminated when it fits, zero padded
    float texTop;
    float texLeft;
    float texRight;
    float texBottom;
    int32_t state;          // 0 not loaded, 1 playing, 2 paused, 3 stopped
    int32_t type;
    float aspect;           // width / height of the frame
    int32_t width;
    int32_t height;
    int32_t reserved2;      // 0
    uint32_t handle;
    float view4;            // view rectangle: the value the view command takes from +68
    float view1;            // ... from +44
    float view2;            // ... from +52
    float view3;            // ... from +60
};
#pragma pack(pop)

PACKED_SIZE(MediaInfoRecord, 328);
PACKED_OFFSET(MediaInfoRecord, reserved, 4);
PACKED_OFFSET(MediaInfoRecord, name, 8);
PACKED_OFFSET(MediaInfoRecord, texTop, 268);
PACKED_OFFSET(MediaInfoRecord, texLeft, 272);
PACKED_OFFSET(MediaInfoRecord, texRight, 276);
PACKED_OFFSET(MediaInfoRecord, texBottom, 280);
PACKED_OFFSET(MediaInfoRecord, state, 284);
PACKED_OFFSET(MediaInfoRecord, type, 288);
PACKED_OFFSET(MediaInfoRecord, aspect, 292);
PACKED_OFFSET(MediaInfoRecord, width, 296);
PACKED_OFFSET(MediaInfoRecord, height, 300);
PACKED_OFFSET(MediaInfoRecord, reserved2, 304);
PACKED_OFFSET(MediaInfoRecord, handle, 308);
PACKED_OFFSET(MediaInfoRecord, view4, 312);
PACKED_OFFSET(MediaInfoRecord, view1, 316);
PACKED_OFFSET(MediaInfoRecord, view2, 320);
PACKED_OFFSET(MediaInfoRecord, view3, 324);

class IMedia;

// Zeroes the record and fills it from the media. A name too long for the
// field is cut at a character boundary to 259 bytes and its terminator.
void FillMediaInfoRecord(MediaInfoRecord& record, IMedia& media);
