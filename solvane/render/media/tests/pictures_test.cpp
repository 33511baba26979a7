#include <gtest/gtest.h>

#include <cstdlib>

#include "media/Pictures.h"
#include "support/support.h"

namespace {

class Pictures : public ::testing::Test {
protected:
    // Makes a picture with the ffmpeg tool from a lavfi filter graph.
    std::string Make(const std::string& name, const std::string& graph, const std::string& extra = "") {
        const std::string path = (dir_ / name).string();
        int status = -1;
        const std::string cmd = "ffmpeg -nostdin -loglevel error -y -f lavfi -i '" + graph + "' -frames:v 1 " +
                                extra + " '" + path + "' 2>&1";
        const std::string out = testsupport::RunShell(cmd, &status);
        EXPECT_EQ(status, 0) << out;
        return path;
    }
    const uint8_t* Row(const MediaBaseClass& m, const uint8_t* base, int r) { return base + r * m.m_nStride; }

    testsupport::TempDir dir_;
};

}  // namespace

TEST_F(Pictures, JpegLoadsAsBottomUpBgr) {
    const std::string path = Make("full.jpg", "color=c=0x0000FF:s=1920x1080,format=rgb24");
    BMP bmp;
    ASSERT_TRUE(bmp.LoadResource(path, 3, 0, -1));
    EXPECT_EQ(bmp.Common().name, path);
    EXPECT_EQ(bmp.Common().layer, 3);
    EXPECT_EQ(bmp.m_nWidth, 1920);
    EXPECT_EQ(bmp.m_nHeight, 1080);
    EXPECT_EQ(bmp.m_nStride, 5760);
    EXPECT_EQ(bmp.m_nFrameSize, 5760 * 1080);
    EXPECT_EQ(bmp.FramePixelFormat(), kPixelFormatBGR);
    EXPECT_TRUE(bmp.m_bFrameReady);
    EXPECT_EQ(bmp.Common().state, kMediaPlaying);
    // Pure blue: blue byte first.
    EXPECT_GT(bmp.m_pFrame[0], 230);
    EXPECT_LT(bmp.m_pFrame[2], 25);
}

TEST_F(Pictures, RowsAreBottomUpAndPaddedToFourBytes) {
    // 5 pixels wide: 15 bytes of pixels, stride 16. Red on top, blue below.
    const std::string path = Make("two.png", "color=c=red:s=5x2,format=rgb24[a];color=c=blue:s=5x2,format=rgb24[b];[a][b]vstack");
    BMP bmp;
    ASSERT_TRUE(bmp.LoadResource(path, 0, 0, -1));
    EXPECT_EQ(bmp.m_nStride, 16);
    EXPECT_EQ(bmp.FramePixelFormat(), kPixelFormatBGR);
    const uint8_t* bottom = bmp.m_pFrame;
    const uint8_t* top = bmp.m_pFrame + 3 * 16;
    EXPECT_EQ(bottom[0], 255);  // blue
    EXPECT_EQ(bottom[2], 0);
    EXPECT_EQ(top[0], 0);
    EXPECT_EQ(top[2], 255);  // red
    EXPECT_EQ(top[14], 255);
    EXPECT_EQ(top[15], 0);  // padding cleared
}

TEST_F(Pictures, PngWithAlphaLoadsAsBgra) {
    const std::string path = Make("alpha.png", "color=c=red@0.5:s=30x20,format=rgba");
    BMP bmp;
    ASSERT_TRUE(bmp.LoadResource(path, 0, 0, -1));
    EXPECT_EQ(bmp.m_nStride, 4 * 30);
    EXPECT_EQ(bmp.FramePixelFormat(), kPixelFormatBGRA);
    EXPECT_EQ(bmp.m_pFrame[0], 0);
    EXPECT_EQ(bmp.m_pFrame[2], 255);
    EXPECT_NEAR(bmp.m_pFrame[3], 128, 1);
}

TEST_F(Pictures, PalettePicturesAreConvertedTo24Bit) {
    for (const char* name : {"pal.gif", "pal.png"}) {
        const std::string path = Make(name, "color=c=0x00FF00:s=7x3,format=rgb24", "-pix_fmt pal8");
        BMP bmp;
        ASSERT_TRUE(bmp.LoadResource(path, 0, 0, -1)) << name;
        EXPECT_EQ(bmp.m_nStride, 24) << name;
        EXPECT_EQ(bmp.m_nFrameSize, 72) << name;
        EXPECT_GE(bmp.m_pFrame[3 * 6 + 1 + 2 * 24], 240) << name;  // last pixel's green, top row
        EXPECT_LT(bmp.m_pFrame[3 * 6 + 2 * 24], 16) << name;
    }
}

TEST_F(Pictures, FailedLoadKeepsThePreviousFrame) {
    const std::string path = Make("ok.png", "color=c=white:s=4x4,format=rgb24");
    BMP bmp;
    ASSERT_TRUE(bmp.LoadResource(path, 0, 0, -1));
    testsupport::WriteFile(dir_ / "bad.jpg", "not a picture");
    EXPECT_FALSE(bmp.LoadResource((dir_ / "bad.jpg").string(), 0, 0, -1));
    EXPECT_FALSE(bmp.LoadResource((dir_ / "missing.jpg").string(), 0, 0, -1));
    EXPECT_EQ(bmp.m_nWidth, 4);
    ASSERT_NE(bmp.m_pFrame, nullptr);
    EXPECT_EQ(bmp.m_pFrame[0], 255);
}

TEST_F(Pictures, StereoSplitsByShape) {
    const std::string wide = Make("wide.png", "color=c=red:s=8x2,format=rgb24[a];color=c=blue:s=8x2,format=rgb24[b];[a][b]hstack");
    BMP sbs;
    ASSERT_TRUE(sbs.LoadResource(wide, 0, 0, 1));
    EXPECT_EQ(sbs.Common().stereoFormat, 2);
    EXPECT_EQ(sbs.m_nWidth, 8);
    EXPECT_EQ(sbs.m_nHeight, 2);
    EXPECT_EQ(sbs.m_nStride, 24);
    // The frame shows the first half.
    EXPECT_EQ(sbs.m_pFrame, sbs.m_pFirstHalf);
    ASSERT_NE(sbs.m_pFirstHalf, nullptr);
    ASSERT_NE(sbs.m_pSecondHalf, nullptr);
    for (int r = 0; r < 2; ++r) {
        EXPECT_EQ(sbs.m_pFirstHalf[r * 24 + 2], 255);   // red left half
        EXPECT_EQ(sbs.m_pFirstHalf[r * 24 + 21], 0);
        EXPECT_EQ(sbs.m_pSecondHalf[r * 24 + 0], 255);  // blue right half
        EXPECT_EQ(sbs.m_pSecondHalf[r * 24 + 23], 0);
    }

    const std::string tall = Make("tall.png", "color=c=red:s=4x6,format=rgb24[a];color=c=blue:s=4x6,format=rgb24[b];[a][b]vstack");
    BMP tb;
    ASSERT_TRUE(tb.LoadResource(tall, 0, 0, 1));
    EXPECT_EQ(tb.Common().stereoFormat, 3);
    EXPECT_EQ(tb.m_nWidth, 4);
    EXPECT_EQ(tb.m_nHeight, 6);
    EXPECT_EQ(tb.m_nFrameSize, 6 * 12);
    // Memory rows run bottom-up: the first half holds the bottom (blue) rows.
    EXPECT_EQ(tb.m_pFirstHalf[0], 255);
    EXPECT_EQ(tb.m_pSecondHalf[2], 255);
    EXPECT_EQ(tb.m_pSecondHalf[0], 0);

    EXPECT_EQ(tb.m_pFrame, tb.m_pFirstHalf);

    // A row of odd length: the right half starts at its own first pixel.
    const std::string odd = Make("odd.png", "color=c=red:s=3x2,format=rgb24[a];color=c=blue:s=3x2,format=rgb24[b];[a][b]hstack");
    BMP oddSbs;
    ASSERT_TRUE(oddSbs.LoadResource(odd, 0, 0, 2));
    EXPECT_EQ(oddSbs.m_nWidth, 3);
    EXPECT_EQ(oddSbs.m_nStride, 12);
    for (int r = 0; r < 2; ++r)
        for (int x = 0; x < 3; ++x) {
            EXPECT_EQ(oddSbs.m_pFirstHalf[r * 12 + 3 * x + 2], 255) << r << "," << x;  // red
            EXPECT_EQ(oddSbs.m_pSecondHalf[r * 12 + 3 * x + 0], 255) << r << "," << x;  // blue
            EXPECT_EQ(oddSbs.m_pSecondHalf[r * 12 + 3 * x + 2], 0) << r << "," << x;
        }

    EXPECT_TRUE(tb.Close());
    EXPECT_EQ(tb.m_pFrame, nullptr);
    EXPECT_EQ(tb.m_pFirstHalf, nullptr);
    EXPECT_EQ(tb.m_nWidth, 0);
    EXPECT_EQ(tb.Common().state, kMediaNotLoaded);
}

TEST(ColorBars, TestBufferIsBlank120Square) {
    BMP bmp;
    bmp.ResetTestBuffer();
    EXPECT_EQ(bmp.m_nWidth, 120);
    EXPECT_EQ(bmp.m_nStride, 360);
    EXPECT_EQ(bmp.m_nFrameSize, 43200);
    EXPECT_EQ(bmp.Common().state, kMediaPlaying);
    for (int i = 0; i < 43200; ++i) ASSERT_EQ(bmp.m_pFrame[i], 0);
}

TEST(ColorBars, HorizontalBandsInWholeRows) {
    struct Case {
        int n;
        int band;
    };
    for (Case c : {Case{3, 40}, Case{7, 17}, Case{1, 120}}) {
        std::vector<uint32_t> colors;
        for (int i = 0; i < c.n; ++i) colors.push_back(0x010000u * (i + 1) + 0x000100u * 7 + 0x80u);
        BMP bmp;
        bmp.FillColorBars(colors, false);
        EXPECT_TRUE(bmp.m_bFrameReady);
        for (int r = 0; r < 120; ++r) {
            const uint8_t* px = bmp.m_pFrame + r * 360 + 3 * 119;
            const int i = r / c.band;
            if (i < c.n) {
                // Red in the low byte: stored blue, green, red.
                EXPECT_EQ(px[0], i + 1) << c.n << " row " << r;
                EXPECT_EQ(px[1], 7);
                EXPECT_EQ(px[2], 0x80);
            } else {
                EXPECT_EQ(px[0] | px[1] | px[2], 0) << c.n << " row " << r;
            }
        }
    }
}

TEST(ColorBars, VerticalBandsStartOnPixelsAndStayInside) {
    for (int n : {2, 7, 9, 120}) {
        std::vector<uint32_t> colors;
        for (int i = 0; i < n; ++i) colors.push_back(static_cast<uint32_t>(i + 1) << 16);
        BMP bmp;
        bmp.FillColorBars(colors, true);
        for (int x = 0; x < 120; ++x) {
            int band = 0;  // the band whose whole-pixel bounds 120 i / n hold x
            while (x >= 120 * (band + 1) / n) ++band;
            for (int r : {0, 119}) {
                const uint8_t* px = bmp.m_pFrame + r * 360 + 3 * x;
                EXPECT_EQ(px[0], band + 1) << n << " x " << x;
                EXPECT_EQ(px[1], 0);
                EXPECT_EQ(px[2], 0);
            }
        }
    }
    BMP none;
    none.FillColorBars({}, true);
    EXPECT_EQ(none.m_pFrame, nullptr);
}

TEST_F(Pictures, MattingKeyColourBecomesTransparent) {
    const std::string path =
        Make("key.png", "color=c=0x0000FF:s=4x2,format=rgb24[a];color=c=0xFF0000:s=4x2,format=rgb24[b];[a][b]hstack");
    CMattingImage m;
    EXPECT_TRUE(m.Close());
    EXPECT_EQ(m.m_nKeyColor, 0xFF0000u);
    ASSERT_TRUE(m.LoadResource(path, 0, 0, 1));
    EXPECT_EQ(m.m_nStride, 32);
    EXPECT_EQ(m.FramePixelFormat(), kPixelFormatBGRA);
    EXPECT_EQ(m.Common().stereoFormat, -1);
    EXPECT_EQ(m.m_pFrame[0], 255);  // blue kept
    EXPECT_EQ(m.m_pFrame[3], 0);    // and keyed out
    EXPECT_EQ(m.m_pFrame[4 * 4 + 2], 255);
    EXPECT_EQ(m.m_pFrame[4 * 4 + 3], 255);  // red stays opaque

    // A palette picture is keyed the same way.
    const std::string pal = Make("key.gif", "color=c=0x0000FF:s=3x3,format=rgb24", "-pix_fmt pal8");
    CMattingImage p;
    ASSERT_TRUE(p.LoadResource(pal, 0, 0, -1));
    EXPECT_EQ(p.m_nStride, 12);
    EXPECT_EQ(p.m_pFrame[3], 0);
    EXPECT_EQ(p.m_pFrame[35], 0);
}

TEST(Matting, FromBitmapCopiesAsIs) {
    PictureBits bits;
    bits.width = 2;
    bits.height = -1;
    bits.stride = 8;
    bits.bytesPerPixel = 4;
    bits.bits = {1, 2, 3, 4, 5, 6, 7, 8};
    CMattingImage m;
    ASSERT_TRUE(m.LoadFromHBitmap(bits));
    EXPECT_EQ(m.Common().name, "Matting");
    EXPECT_EQ(m.m_nHeight, 1);
    EXPECT_EQ(m.m_pFrame[7], 8);
    BMP b;
    ASSERT_TRUE(b.LoadFromHBitmap(bits));
    EXPECT_EQ(b.Common().name, "BKimage");
    EXPECT_EQ(b.FramePixelFormat(), kPixelFormatBGRA);
    bits.bits.resize(3);
    EXPECT_FALSE(b.LoadFromHBitmap(bits));
}

TEST(ColorBmp, SmallFrameAndColour) {
    ColorBMP c;
    ASSERT_TRUE(c.LoadResource("", 0, 0, 0));
    EXPECT_EQ(c.m_nWidth, 12);
    EXPECT_EQ(c.m_nHeight, 8);
    EXPECT_EQ(c.m_nStride, 36);
    EXPECT_EQ(c.m_nFrameSize, 288);
    EXPECT_EQ(c.m_nCapacity, 288);
    EXPECT_TRUE(c.SetColor(0x030201));
    EXPECT_FALSE(c.SetColor(0x030201));
    EXPECT_EQ(c.m_pFrame[287 - 2], 1);
    EXPECT_EQ(c.m_pFrame[287], 3);
    EXPECT_TRUE(c.Close());
    EXPECT_EQ(c.m_nCapacity, 0);
    EXPECT_EQ(c.Common().state, kMediaNotLoaded);
}

TEST(PictureFormat, NarrowPaddedBgrStaysBgr) {
    // Two 24-bit pixels padded to 8 bytes: stride / width is 4, yet BGR.
    PictureBits bits;
    bits.width = 2;
    bits.height = 1;
    bits.stride = 8;
    bits.bytesPerPixel = 3;
    bits.bits = {0, 0, 255, 255, 0, 0, 0, 0};
    BMP b;
    ASSERT_TRUE(b.LoadFromHBitmap(bits));
    EXPECT_EQ(b.FramePixelFormat(), kPixelFormatBGR);
}
