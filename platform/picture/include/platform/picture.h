// Still-picture decoding into the platform bitmap layout: bottom-up rows of
// blue-green-red bytes (blue-green-red-alpha for pictures with alpha), each
// row padded to 4 bytes. Decoding needs no display server.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

struct PictureBits {
    int32_t width = 0;
    int32_t height = 0;        // rows, always positive; row 0 is the bottom row
    int32_t stride = 0;        // bytes per row, a multiple of 4
    int32_t bytesPerPixel = 3; // 3 or 4
    std::vector<uint8_t> bits; // stride x height bytes
};

// Decodes a picture file (BMP, JPEG, PNG, GIF, ...). forceBgr drops alpha and
// always gives 24-bit BGR. False when the file cannot be read or decoded, or
// the picture would take more than 1 GiB.
bool DecodePictureFile(const std::string& path, PictureBits& out, bool forceBgr = false);
// The same from bytes in memory (embedded pictures).
bool DecodePictureData(const uint8_t* data, size_t size, PictureBits& out, bool forceBgr = false);
// Whether a picture whose header claims this size may be decoded: a known,
// positive size within the 1 GiB bound. Checked before any decoding.
bool HeaderSizeAllowed(int64_t width, int64_t height);

}  // namespace platform
