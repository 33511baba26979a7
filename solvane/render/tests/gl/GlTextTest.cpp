#include <algorithm>

#include "gl/GlTestSupport.h"
#include "render/FontTexture.h"

namespace {

class GlTextTest : public OffscreenGl {
protected:
    void TearDown() override {
        if (context_ && context_->makeCurrent(surface_.get())) ReleaseGlText();
        OffscreenGl::TearDown();
    }

    // Light pixels of the whole target as (x, y), y from the bottom.
    std::vector<std::pair<int, int>> LightPixels() {
        std::vector<uint8_t> rgba(static_cast<size_t>(kWidth) * kHeight * 4);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, kWidth, kHeight, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
        std::vector<std::pair<int, int>> light;
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x)
                if (rgba[(static_cast<size_t>(y) * kWidth + x) * 4] >= 128) light.emplace_back(x, y);
        return light;
    }
};

TEST_F(GlTextTest, AddressTextLightsPixelsInItsBand) {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, kWidth, 0, kHeight, -1, 1);

    DrawGlText("", 10, 12);
    EXPECT_TRUE(LightPixels().empty()) << "empty text draws nothing";

    DrawGlText("Ip:1.2.3.4", 10, 12);
    const auto light = LightPixels();
    ASSERT_GT(light.size(), 40u);
    int left = kWidth, right = 0, bottom = kHeight, top = 0;
    for (auto [x, y] : light) {
        left = std::min(left, x);
        right = std::max(right, x);
        bottom = std::min(bottom, y);
        top = std::max(top, y);
    }
    // A 16-pixel font on the baseline y = 12: ten glyphs to the right of
    // x = 10, descenders at most a few pixels below the baseline.
    EXPECT_GE(left, 10);
    EXPECT_LE(left, 14);
    EXPECT_GE(right, 10 + 40);
    EXPECT_LE(right, 10 + 10 * 16);
    EXPECT_GE(bottom, 12 - 5);
    EXPECT_LE(top, 12 + 16);
    EXPECT_GE(top, 12 + 8);
}

TEST_F(GlTextTest, GlyphTextureHoldsOpaqueGlyphsOnTransparentGround) {
    CFontTextrue glyphs;
    ASSERT_TRUE(glyphs.Ok()) << glyphs.Error();
    ASSERT_NE(glyphs.Texture(), 0u);
    EXPECT_EQ(glyphs.LineHeight(), 55);

    std::vector<uint8_t> texels(512 * 512 * 4);
    glBindTexture(GL_TEXTURE_2D, glyphs.Texture());
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
    glBindTexture(GL_TEXTURE_2D, 0);

    // The cell of 'W' (u from its left, v from the bottom) holds opaque white.
    const float* cell = glyphs.Glyph('W');
    const int x0 = static_cast<int>(cell[0] * 512), x1 = static_cast<int>(cell[2] * 512);
    const int y0 = static_cast<int>(cell[1] * 512), y1 = static_cast<int>(cell[5] * 512);
    ASSERT_GT(x1, x0);
    EXPECT_EQ(y1 - y0, 55);
    int opaque = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) {
            const uint8_t* t = &texels[(static_cast<size_t>(y) * 512 + x) * 4];
            EXPECT_EQ(t[3], t[2]) << "alpha follows the colour";
            opaque += t[3] == 255;
        }
    EXPECT_GT(opaque, 50);
    EXPECT_EQ(texels[3], 0) << "the ground is transparent";
}

}  // namespace
