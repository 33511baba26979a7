// Small helpers shared by the command families of the core.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "lintra/netdef.h"
#include "platform/textcodec.h"

namespace cmdutil {

// The head's text parameter as UTF-8 (it travels as GBK).
inline std::string HeadText(const tagNETHEAD& head) {
    return platform::LoadGbkField(head.textParam, sizeof head.textParam);
}

// Raw bytes of the head's text area.
inline const uint8_t* TextBytes(const tagNETHEAD& head) {
    return reinterpret_cast<const uint8_t*>(head.textParam);
}

// Hands a reply body to the entry point and announces its length.
inline void SetReplyBody(tagNETHEAD& reply, std::vector<uint8_t>& replyBody, std::vector<uint8_t> bytes) {
    replyBody = std::move(bytes);
    reply.bodyLength = static_cast<uint32_t>(replyBody.size());
}

// Bytes [offset, offset + size) of the head, copied.
inline void ReadHeadBytes(const tagNETHEAD& head, size_t offset, void* out, size_t size) {
    std::memcpy(out, reinterpret_cast<const uint8_t*>(&head) + offset, size);
}
inline void WriteHeadBytes(tagNETHEAD& head, size_t offset, const void* in, size_t size) {
    std::memcpy(reinterpret_cast<uint8_t*>(&head) + offset, in, size);
}

}  // namespace cmdutil
