// The 384-byte message head of every command and multicast message, and the
// records that travel with the commands.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/packed.h"
#include "platform/types.h"

#pragma pack(push, 1)
struct tagNETHEAD {
    uint32_t command;
    int32_t intParam[10];
    double realParam[10];
    char textParam[256];
    uint32_t bodyLength;
};
#pragma pack(pop)

PACKED_SIZE(tagNETHEAD, 384);
PACKED_OFFSET(tagNETHEAD, command, 0);
PACKED_OFFSET(tagNETHEAD, intParam, 4);
PACKED_OFFSET(tagNETHEAD, realParam, 44);
PACKED_OFFSET(tagNETHEAD, textParam, 124);
PACKED_OFFSET(tagNETHEAD, bodyLength, 380);

using NETHEAD = tagNETHEAD;

// ---------------------------------------------------------------------------
// Warp grids
//
// A grid is 41 x 41 points; point (i, j) has i horizontal (0 left .. 40 right)
// and j vertical (0 bottom .. 40 top) and lies at index i * 41 + j, so
// grid[i][j] of a VERTEX_GRID is exactly that point. On the wire coordinates
// run from -1 to 1 in both directions.

#pragma pack(push, 1)
// Packed so that its alignment is 1: a DOUBLE_POINT pointer into a packed
// record (the grids of the channel records in WORLD_BASE_INFO lie at odd
// offsets) stays valid. Read x and y by value: a double& bound to a point
// inside a packed record would be misaligned.
struct DOUBLE_POINT {
    double x;
    double y;
};
#pragma pack(pop)

PACKED_SIZE(DOUBLE_POINT, 16);
PACKED_OFFSET(DOUBLE_POINT, x, 0);
PACKED_OFFSET(DOUBLE_POINT, y, 8);
static_assert(alignof(DOUBLE_POINT) == 1);

using VERTEX_GRID = DOUBLE_POINT[41][41];
PACKED_SIZE(VERTEX_GRID, 26896);

namespace lintra {
inline constexpr int kGridSide = 41;
inline constexpr int kGridPoints = kGridSide * kGridSide;  // 1,681
// Index of point (i, j) in a grid seen as a flat array of 1,681 points.
constexpr int GridIndex(int i, int j) { return i * kGridSide + j; }
}  // namespace lintra

// ---------------------------------------------------------------------------
// Channel and world records

#pragma pack(push, 1)
// One output channel as the console sends it: the body of command 10 is
// `count` of these back to back.
struct CHANNEL_BASE_INFO {
    int32_t channelId;
    RECT blendWidth;          // cells: left, top, right, bottom
    float rotation;           // degrees
    RECT rect;                // pixels of the world: left, top, right, bottom
    VERTEX_GRID grid;
    float colorRatio[3];      // red, green, blue; console default 1.0
    uint8_t colorCurve[3][18];  // red, green, blue; 17 levels used, the 18th byte travels as it is
    float edgeParam[3][3];    // three edge-elimination triples; console default 1.2, 0.5, 1.0
};

// The world as handed to ResetWorldConfig / filled by GetWorldConfig.
struct WORLD_BASE_INFO {
    int32_t channelCount;     // at most kMaxChannels
    int32_t width;            // size of one channel in pixels
    int32_t height;
    int32_t offsetMode;
    int32_t offsetX;
    int32_t offsetY;
    CHANNEL_BASE_INFO channels[8];
};

// General settings handed to SetGeneralConfig.
struct TOLVA_GENERAL_CONFIG {
    char showCluster[32];
    int32_t refreshRate;
    int32_t serverAutoStart;
    int32_t serverAutoLoadFile;
    char text[256];
};

// One key point of a special action: time first, then four values.
struct ACTION_LEVEL_INFO {
    double time;
    double value1;
    double value2;
    double value3;
    double value4;
};
#pragma pack(pop)

PACKED_SIZE(CHANNEL_BASE_INFO, 27038);
PACKED_OFFSET(CHANNEL_BASE_INFO, channelId, 0);
PACKED_OFFSET(CHANNEL_BASE_INFO, blendWidth, 4);
PACKED_OFFSET(CHANNEL_BASE_INFO, rotation, 20);
PACKED_OFFSET(CHANNEL_BASE_INFO, rect, 24);
PACKED_OFFSET(CHANNEL_BASE_INFO, grid, 40);
PACKED_OFFSET(CHANNEL_BASE_INFO, colorRatio, 26936);
PACKED_OFFSET(CHANNEL_BASE_INFO, colorCurve, 26948);
PACKED_OFFSET(CHANNEL_BASE_INFO, edgeParam, 27002);

PACKED_SIZE(WORLD_BASE_INFO, 216328);
PACKED_OFFSET(WORLD_BASE_INFO, channelCount, 0);
PACKED_OFFSET(WORLD_BASE_INFO, width, 4);
PACKED_OFFSET(WORLD_BASE_INFO, height, 8);
PACKED_OFFSET(WORLD_BASE_INFO, offsetMode, 12);
PACKED_OFFSET(WORLD_BASE_INFO, offsetX, 16);
PACKED_OFFSET(WORLD_BASE_INFO, offsetY, 20);
PACKED_OFFSET(WORLD_BASE_INFO, channels, 24);

PACKED_SIZE(TOLVA_GENERAL_CONFIG, 300);
PACKED_OFFSET(TOLVA_GENERAL_CONFIG, showCluster, 0);
PACKED_OFFSET(TOLVA_GENERAL_CONFIG, refreshRate, 32);
PACKED_OFFSET(TOLVA_GENERAL_CONFIG, serverAutoStart, 36);
PACKED_OFFSET(TOLVA_GENERAL_CONFIG, serverAutoLoadFile, 40);
PACKED_OFFSET(TOLVA_GENERAL_CONFIG, text, 44);

PACKED_SIZE(ACTION_LEVEL_INFO, 40);
PACKED_OFFSET(ACTION_LEVEL_INFO, time, 0);
PACKED_OFFSET(ACTION_LEVEL_INFO, value1, 8);
PACKED_OFFSET(ACTION_LEVEL_INFO, value2, 16);
PACKED_OFFSET(ACTION_LEVEL_INFO, value3, 24);
PACKED_OFFSET(ACTION_LEVEL_INFO, value4, 32);

// One media item placed on a layer, handed to AddMedia. It never leaves the
// process as bytes: the encoder copies its fields into the head one by one and
// sends the special-action text as the body, so it is an ordinary struct that
// owns its text.
struct MEDIA_LEVEL_INFO {
    int32_t type = 0;
    char name[256] = {};       // UTF-8, NUL-terminated; file or source name
    double startTime = 0.0;    // seconds on the timeline
    double stopTime = 0.0;
    RECT rect{};               // placement: left, top, right, bottom
    std::string specialAction; // special-action text; empty: no key-framed effects
};

namespace lintra {

inline constexpr size_t kNetHeadSize = sizeof(tagNETHEAD);
// Bodies above this are refused by every receiver: no command carries more.
inline constexpr uint32_t kMaxBodyLength = 256u * 1024u * 1024u;
// The socket a receive callback gets for a message that came by multicast:
// nobody can be answered. Descriptor 0 is a valid socket here, so it cannot
// carry that meaning.
inline constexpr int kNoReplySocket = -1;
// Room for channel records in WORLD_BASE_INFO.
inline constexpr int kMaxChannels = 8;
inline constexpr size_t kChannelRecordSize = sizeof(CHANNEL_BASE_INFO);
inline constexpr size_t kGridBytes = sizeof(VERTEX_GRID);

// Zeroes everything after the command code and sets the code.
inline void InitHead(tagNETHEAD& head, uint32_t command) {
    head = tagNETHEAD{};
    head.command = command;
}

// A 64-bit integer in real parameter slot k (0..9), copied bit for bit.
// Byte copies at the slot's offset: the slots lie at 44 + 8k, so a double&
// to one of them would be misaligned.
inline void SetInt64Param(tagNETHEAD& head, int k, int64_t v) {
    platform::WriteAt<int64_t>(&head, offsetof(tagNETHEAD, realParam) + 8 * static_cast<size_t>(k), v);
}
inline int64_t GetInt64Param(const tagNETHEAD& head, int k) {
    return platform::ReadAt<int64_t>(&head, offsetof(tagNETHEAD, realParam) + 8 * static_cast<size_t>(k));
}

}  // namespace lintra
