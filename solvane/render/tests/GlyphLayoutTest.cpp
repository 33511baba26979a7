#include <gtest/gtest.h>

#include <algorithm>

#include "render/FontTexture.h"

namespace {

std::vector<int32_t> Widths(int32_t all) { return std::vector<int32_t>(256, all); }

TEST(GlyphLayout, EqualWidthsFillNineRows) {
    const auto widths = Widths(40);
    const auto cells = LayoutGlyphs(widths.data());
    // 0, 42, ... 462 fit (462 + 40 = 502); 504 + 40 would reach 512.
    ASSERT_EQ(cells.size(), 12u * 9u);
    EXPECT_EQ(cells[11].x, 462);
    EXPECT_EQ(cells[11].y, 0);
    EXPECT_EQ(cells[12].code, 12);
    EXPECT_EQ(cells[12].x, 0);
    EXPECT_EQ(cells[12].y, 55);
    EXPECT_EQ(cells.back().y, 440);
    EXPECT_EQ(cells.back().code, 107);
}

TEST(GlyphLayout, RightEdgeReachingTheTextureEdgeStartsTheNextRow) {
    struct Case {
        int32_t second;
        bool sameRow;
    };
    // The first glyph is 100 wide, so the second starts at 102.
    for (const Case& c : {Case{409, true}, Case{410, false}, Case{500, false}}) {
        auto widths = Widths(10);
        widths[0] = 100;
        widths[1] = c.second;
        const auto cells = LayoutGlyphs(widths.data());
        ASSERT_GE(cells.size(), 2u);
        EXPECT_EQ(cells[1].code, 1);
        EXPECT_EQ(cells[1].y, c.sameRow ? 0 : 55) << c.second;
        EXPECT_EQ(cells[1].x, c.sameRow ? 102 : 0) << c.second;
    }
}

TEST(GlyphLayout, NarrowGlyphsWrapTheCodeAfter255) {
    const auto widths = Widths(1);
    const auto cells = LayoutGlyphs(widths.data());
    // 171 per row (x = 0, 3, ... 510), nine rows.
    ASSERT_EQ(cells.size(), 171u * 9u);
    EXPECT_EQ(cells[255].code, 255);
    EXPECT_EQ(cells[256].code, 0);
    EXPECT_EQ(cells.back().code, static_cast<int32_t>((171 * 9 - 1) % 256));
    EXPECT_EQ(cells.back().y, 440);
}

TEST(GlyphLayout, GlyphWiderThanTheTextureIsLeftOutWithoutStalling) {
    auto widths = Widths(20);
    widths[3] = 600;
    const auto cells = LayoutGlyphs(widths.data());
    EXPECT_TRUE(std::none_of(cells.begin(), cells.end(), [](const GlyphCell& c) { return c.code == 3; }));
    EXPECT_EQ(cells.back().y, 440);
}

}  // namespace
