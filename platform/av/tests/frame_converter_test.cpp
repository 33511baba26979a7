// Colour conversion in bands on several threads against one conversion of
// the whole picture: the same bytes, bottom-up, for picture shapes whose
// bands fall on every kind of row boundary.
#include "../src/FrameConverter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

namespace {

// FFmpeg's numbers for the pixel formats used here.
constexpr int kYuv420p = 0;
constexpr int kYuv422p = 4;

struct Picture {
    std::vector<uint8_t> planes[3];
    const uint8_t* data[4] = {};
    int linesize[4] = {};
};

// Noise in every plane, with rows padded past the width as decoders do.
Picture Noise(int width, int height, int chromaRowsDiv, unsigned seed) {
    Picture p;
    std::mt19937 rng(seed);
    const int cw = (width + 1) / 2;
    const int ch = (height + chromaRowsDiv - 1) / chromaRowsDiv;
    const int sizes[3][2] = {{width + 32, height}, {cw + 16, ch}, {cw + 16, ch}};
    for (int i = 0; i < 3; ++i) {
        p.planes[i].resize(static_cast<size_t>(sizes[i][0]) * sizes[i][1]);
        for (uint8_t& b : p.planes[i]) b = static_cast<uint8_t>(rng());
        p.data[i] = p.planes[i].data();
        p.linesize[i] = sizes[i][0];
    }
    return p;
}

std::vector<uint8_t> Convert(av::FrameConverter& c, const Picture& p, int width, int height, int format, int stride) {
    std::vector<uint8_t> out(static_cast<size_t>(stride) * height, 0xEE);
    EXPECT_TRUE(c.Convert(p.data, p.linesize, width, height, format, out.data(), stride));
    return out;
}

TEST(FrameConverter, BandsGiveTheBytesOfOneWholeConversion) {
    struct Case {
        int width, height, format, chromaRowsDiv, bands;
    } cases[] = {
        {1920, 1080, kYuv420p, 2, 4},  // bands of 270 rows: the middle one starts on an odd chroma boundary
        {1918, 1078, kYuv420p, 2, 4},  // odd half width, rows not a multiple of four
        {3840, 2160, kYuv420p, 2, 4},
        {640, 200, kYuv420p, 2, 3},    // bands of 66 rows and a remainder
        {320, 100, kYuv420p, 2, 1},    // too small to cut
        {640, 480, kYuv422p, 1, 1},    // other layouts are converted whole
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(testing::Message() << k.width << "x" << k.height << " format " << k.format);
        const Picture p = Noise(k.width, k.height, k.chromaRowsDiv, static_cast<unsigned>(k.width * 7 + k.height));
        const int stride = (k.width * 3 + 3) / 4 * 4;
        av::FrameConverter whole(1), banded(4);
        const std::vector<uint8_t> a = Convert(whole, p, k.width, k.height, k.format, stride);
        const std::vector<uint8_t> b = Convert(banded, p, k.width, k.height, k.format, stride);
        EXPECT_EQ(banded.LastBands(), k.bands);
        ASSERT_EQ(a.size(), b.size());
        size_t firstDiff = a.size();
        for (size_t i = 0; i < a.size() && firstDiff == a.size(); ++i)
            if (a[i] != b[i]) firstDiff = i;
        EXPECT_EQ(firstDiff, a.size()) << "row " << firstDiff / static_cast<size_t>(stride);
        // A second picture of the same shape reuses the bands' contexts.
        const Picture q = Noise(k.width, k.height, k.chromaRowsDiv, 99);
        EXPECT_EQ(Convert(whole, q, k.width, k.height, k.format, stride),
                  Convert(banded, q, k.width, k.height, k.format, stride));
    }
}

TEST(FrameConverter, RowsAreBottomUpAndPaddingIsLeftAlone) {
    // A grey picture whose first row is white: it lands in the last bitmap row.
    const int w = 64, h = 256, stride = w * 3 + 4;
    Picture p = Noise(w, h, 2, 1);
    for (auto& plane : p.planes) std::fill(plane.begin(), plane.end(), uint8_t{128});
    std::fill(p.planes[0].begin(), p.planes[0].begin() + w, uint8_t{235});
    av::FrameConverter c(4);
    const std::vector<uint8_t> out = Convert(c, p, w, h, kYuv420p, stride);
    EXPECT_EQ(c.LastBands(), 4);
    const uint8_t* last = out.data() + static_cast<size_t>(stride) * (h - 1);
    const uint8_t* first = out.data();
    EXPECT_GE(last[0], 250);
    EXPECT_LT(first[0], 140);
    for (int r = 0; r < h; ++r)
        for (int i = w * 3; i < stride; ++i) EXPECT_EQ(out[static_cast<size_t>(r) * stride + i], 0xEE) << r;
}

TEST(FrameConverter, BitmapRowsNarrowerThanTheConverterWritesKeepTheirNeighboursAndEnds) {
    // Widths off a multiple of 8 (a laptop panel, a cropped clip): the rows
    // must hold what a conversion into roomy rows gives, and the bytes after
    // each row and after the buffer stay untouched.
    for (int w : {1918, 1366, 1914, 722}) {
        SCOPED_TRACE(w);
        const int h = 270;
        const Picture p = Noise(w, h, 2, static_cast<unsigned>(w));
        const int stride = (w * 3 + 3) / 4 * 4;
        const int wide = (w + 64) * 3;
        for (int threads : {1, 4}) {
            SCOPED_TRACE(threads);
            av::FrameConverter c(threads);
            std::vector<uint8_t> roomy(static_cast<size_t>(wide) * h);
            ASSERT_TRUE(c.Convert(p.data, p.linesize, w, h, kYuv420p, roomy.data(), wide));
            std::vector<uint8_t> narrow(static_cast<size_t>(stride) * h + 64, 0xEE);
            ASSERT_TRUE(c.Convert(p.data, p.linesize, w, h, kYuv420p, narrow.data(), stride));
            int badRows = 0;
            for (int r = 0; r < h; ++r) {
                const uint8_t* a = narrow.data() + static_cast<size_t>(r) * stride;
                const uint8_t* b = roomy.data() + static_cast<size_t>(r) * wide;
                if (!std::equal(a, a + w * 3, b)) ++badRows;
                for (int i = w * 3; i < stride; ++i) EXPECT_EQ(a[i], 0xEE) << "row " << r;
            }
            EXPECT_EQ(badRows, 0);
            for (size_t i = static_cast<size_t>(stride) * h; i < narrow.size(); ++i)
                EXPECT_EQ(narrow[i], 0xEE) << "past the end at " << i;
        }
    }
}

TEST(FrameConverter, RefusesAnEmptyPictureOrAnUnknownFormat) {
    av::FrameConverter c(2);
    Picture p = Noise(64, 64, 2, 3);
    std::vector<uint8_t> out(64 * 64 * 3);
    EXPECT_FALSE(c.Convert(p.data, p.linesize, 0, 64, kYuv420p, out.data(), 64 * 3));
    EXPECT_FALSE(c.Convert(p.data, p.linesize, 64, 64, 100000, out.data(), 64 * 3));
    EXPECT_FALSE(c.Convert(p.data, p.linesize, 64, 64, kYuv420p, out.data(), 64 * 3 - 1));
}

}  // namespace
