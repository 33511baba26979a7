#include <gtest/gtest.h>

#include "Media.h"
#include "media_support.h"

using vt::TestMedia;

namespace {

const uint8_t* Pixel(const velmar::MediaBaseClass& m, int x, int y) {
    return m.m_frame.data() + size_t(y) * m.m_nStride + size_t(x) * (m.m_nBitsPerPixel / 8);
}

}  // namespace

TEST(MediaObjectTest, FitAspectCutsTheRectangleToThePicture) {
    velmar::BMP picture;  // 64 x 48: 4:3
    ASSERT_TRUE(picture.LoadResource(TestMedia::Get().picture(), 0, 0, -1));
    struct Case {
        float in[4];
        float out[4];
    } cases[] = {
        {{0, 2, 0, 1}, {0, 4.0f / 3.0f, 0, 1}},        // too wide: cut at the right
        {{0, 1, 0, 2}, {0, 1, 2 - 0.75f, 2}},          // too high: cut from the bottom edge
        {{0, 4, 0, 3}, {0, 4, 0, 3}},                  // already 4:3
    };
    for (const Case& c : cases) {
        EXPECT_TRUE(picture.FitAspect(c.in[0], c.in[1], c.in[2], c.in[3]));
        const velmar::FloatRect r = picture.GetTexRect();
        EXPECT_FLOAT_EQ(r.left, c.out[0]);
        EXPECT_FLOAT_EQ(r.right, c.out[1]);
        EXPECT_FLOAT_EQ(r.top, c.out[2]);
        EXPECT_FLOAT_EQ(r.bottom, c.out[3]);
    }
}

TEST(MediaObjectTest, FillRegionsPaintsWholePixelsInsideThePicture) {
    velmar::BMP picture;  // 64 x 48 of R 0x33 G 0x66 B 0xCC, stride 192
    ASSERT_TRUE(picture.LoadResource(TestMedia::Get().picture(), 0, 0, -1));
    velmar::ColorRegion red{0xFF, 0, 0, 0, 0.5f, 0.5f, 0.0f, 0.0f};  // ends given the wrong way round
    velmar::ColorRegion green{0, 0xFF, 0, 0, 0.9f, -3.0f, 7.0f, 0.9f};  // beyond the picture: cut
    picture.FillRegions({red, green});
    auto expect = [&](int x, int y, uint8_t b, uint8_t g, uint8_t r) {
        const uint8_t* p = Pixel(picture, x, y);
        EXPECT_EQ(p[0], b) << x << "," << y;
        EXPECT_EQ(p[1], g) << x << "," << y;
        EXPECT_EQ(p[2], r) << x << "," << y;
    };
    expect(0, 0, 0, 0, 0xFF);
    expect(31, 23, 0, 0, 0xFF);
    expect(32, 0, 0xCC, 0x66, 0x33);
    expect(0, 24, 0xCC, 0x66, 0x33);
    expect(63, 42, 0, 0xFF, 0);   // the last pixel of a row is reached
    expect(63, 43, 0xCC, 0x66, 0x33);  // 0.9 x 48 = 43.2 rows: rows 0 to 42
    expect(57, 0, 0, 0xFF, 0);    // 0.9 x 192 = 172.8 bytes: down to pixel 57
    expect(56, 30, 0xCC, 0x66, 0x33);
}

TEST(MediaObjectTest, FillRegionsKeepsTheAlphaOf32BitPictures) {
    velmar::BMP picture;
    ASSERT_TRUE(picture.LoadResource(TestMedia::Get().alpha(), 0, 0, -1));
    ASSERT_EQ(picture.m_nBitsPerPixel, 32);
    picture.FillRegions({velmar::ColorRegion{1, 2, 3, 0, 0.0f, 0.0f, 1.0f, 1.0f}});
    for (int x : {0, 7, 19}) {
        const uint8_t* p = Pixel(picture, x, 9);
        EXPECT_EQ(p[0], 3);
        EXPECT_EQ(p[1], 2);
        EXPECT_EQ(p[2], 1);
        EXPECT_EQ(p[3], 0x80);
    }
}

TEST(MediaObjectTest, NothingIsPaintedBeforeAPicture) {
    velmar::BMP picture;
    picture.FillRegions({velmar::ColorRegion{1, 2, 3, 0, 0.0f, 0.0f, 1.0f, 1.0f}});
    EXPECT_TRUE(picture.m_frame.empty());
    EXPECT_FALSE(picture.LoadResource("/nonexistent.png", 0, 0, -1));
    EXPECT_TRUE(picture.m_frame.empty());
}
