// Still pictures as the display server decodes them from uploaded files and
// embedded data: any bytes, including headers that claim pictures of many
// gigabytes, must be refused or decoded within the bound, never allocated
// at the size a header claims.
#include <cstddef>
#include <cstdint>

#include "platform/picture.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    platform::PictureBits bits;
    if (platform::DecodePictureData(data, size, bits)) {
        if (bits.bits.size() != static_cast<size_t>(bits.stride) * static_cast<size_t>(bits.height)) __builtin_trap();
    }
    platform::PictureBits bgr;
    (void)platform::DecodePictureData(data, size, bgr, true);
    return 0;
}
