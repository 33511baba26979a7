// 24-bit rows widened to opaque BGRA: every width around the 16-pixel steps,
// padded source rows, and no byte read past a row's pixels (ASan guards the
// exactly sized rows).
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "media/FramePixels.h"

TEST(FramePixels, WidenedRowsKeepEveryPixelAndAddOpaqueAlpha) {
    for (int32_t width : {1, 5, 15, 16, 17, 31, 32, 33, 1366, 1920}) {
        for (int32_t pad : {0, 1, 2}) {
            SCOPED_TRACE(testing::Message() << "width " << width << " pad " << pad);
            const int32_t height = 3;
            const size_t stride = size_t(width) * 3 + pad;
            // The last row ends exactly at the allocation's end.
            const size_t bytes = stride * (height - 1) + size_t(width) * 3;
            auto src = std::make_unique<uint8_t[]>(bytes);
            for (size_t i = 0; i < bytes; ++i) src[i] = static_cast<uint8_t>(i * 7 + 3);
            std::vector<uint8_t> dst(size_t(width) * height * 4, 0);
            WidenBgrRows(src.get(), stride, width, height, dst.data(), size_t(width) * 4);
            int wrong = 0;
            for (int32_t r = 0; r < height; ++r) {
                for (int32_t x = 0; x < width; ++x) {
                    const uint8_t* s = src.get() + r * stride + size_t(x) * 3;
                    const uint8_t* d = dst.data() + (size_t(r) * width + x) * 4;
                    wrong += d[0] != s[0] || d[1] != s[1] || d[2] != s[2] || d[3] != 255;
                }
            }
            EXPECT_EQ(wrong, 0);
        }
    }
}

TEST(FramePixels, EmptyShapesWriteNothing) {
    uint8_t src[3] = {1, 2, 3};
    uint8_t dst[4] = {9, 9, 9, 9};
    WidenBgrRows(src, 3, 0, 1, dst, 4);
    WidenBgrRows(src, 3, 1, 0, dst, 4);
    WidenBgrRows(nullptr, 3, 1, 1, dst, 4);
    EXPECT_EQ(dst[0], 9);
    EXPECT_EQ(dst[3], 9);
}
