#pragma once

#include <cstddef>
#include <cstdint>

// `height` rows of `width` 24-bit BGR pixels widened into 32-bit BGRA with
// opaque alpha; each row starts a stride after the last.
void WidenBgrRows(const uint8_t* src, size_t srcStride, int32_t width, int32_t height, uint8_t* dst,
                  size_t dstStride);
