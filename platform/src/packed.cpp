#include "platform/packed.h"

namespace platform {

void CopyTextField(char* field, size_t size, const char* text) {
    if (!field || size == 0) return;
    size_t n = text ? strnlen(text, size - 1) : 0;
    if (n) std::memcpy(field, text, n);
    std::memset(field + n, 0, size - n);
}

}  // namespace platform
