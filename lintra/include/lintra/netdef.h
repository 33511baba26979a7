// The 384-byte message head of every command and multicast message, and the
// records that travel with the commands.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/packed.h"

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

namespace lintra {

inline constexpr size_t kNetHeadSize = sizeof(tagNETHEAD);
// Bodies above this are refused by every receiver: no command carries more.
inline constexpr uint32_t kMaxBodyLength = 256u * 1024u * 1024u;

// Zeroes everything after the command code and sets the code.
inline void InitHead(tagNETHEAD& head, uint32_t command) {
    head = tagNETHEAD{};
    head.command = command;
}

}  // namespace lintra
