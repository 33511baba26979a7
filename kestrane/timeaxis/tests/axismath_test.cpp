#include <gtest/gtest.h>

#include "kestrane/axismath.h"

using namespace kestrane::axis;

namespace {

TEST(AxisScale, MsToPixelRoundsHalfDownAndRoundTripsToTheLevelsGrid) {
    struct Case {
        int level, ms, px;
    };
    const Case cases[] = {
        {7, 150, 0}, {7, 151, 1}, {7, 449, 1}, {7, 451, 2}, {7, 450, 1}, {0, 3, 1}, {0, 2, 1}, {9, 600000, 600},
    };
    for (const Case& c : cases)
        EXPECT_EQ(msToPixel(c.level, c.ms), c.px) << c.level << " " << c.ms;

    for (int level = 0; level < kLevelCount; ++level) {
        const int mpp = scaleOf(level).msPerPixel;
        for (int t : {0, 1, mpp / 2, mpp / 2 + 1, mpp - 1, 12345, 600000}) {
            const int back = pixelToMs(level, msToPixel(level, t));
            EXPECT_EQ(back % mpp, 0);
            EXPECT_LE(std::abs(back - t), mpp / 2) << level << " " << t;
        }
    }
    // The scale's tick spacing times ms-per-pixel is the tick interval.
    for (const ScaleLevel& s : scaleTable())
        EXPECT_EQ(s.interval, s.spacing * s.msPerPixel);
}

TEST(AxisScale, LabelsInEachUnit) {
    struct Case {
        int level, unit, tick;
        const char* text;
    };
    const Case cases[] = {
        {0, UnitMillisecond, 2, "200"}, {0, UnitSecond, 2, "0.2"},  {0, UnitMinute, 2, "0:00.2"},
        {7, UnitSecond, 2, "30"},       {7, UnitMinute, 2, "0:30"}, {7, UnitMinute, 6, "1:30"},
        {7, UnitMinute, 0, "0:00"},     {9, UnitMinute, 61, "61:00"}, {3, UnitMinute, 75, "1:15"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(labelText(c.level, c.unit, c.tick), QString::fromUtf8(c.text)) << c.level << "/" << c.tick;
}

TEST(AxisZoom, LevelFromASliderClick) {
    struct Case {
        int x, width, level;
    };
    const Case cases[] = {{0, 136, 0}, {5, 136, 0}, {12, 136, 1}, {75, 136, 5}, {131, 136, 9}, {136, 136, 9},
                          {500, 136, 9}, {50, 10, 0}, {50, 0, 0}};
    for (const Case& c : cases)
        EXPECT_EQ(zoomLevelFromX(c.x, c.width), c.level) << c.x << "/" << c.width;
}

TEST(AxisScroll, ValueAndOffsetBothWaysWithAnEmptyExtentGuarded) {
    struct Case {
        int value, extent, offset;
    };
    const Case toOffset[] = {{0, 1000, 0}, {2000, 1000, 1000}, {1, 1000, 0}, {1999, 1000, 999},
                             {1000, 333, 166}, {700, 0, 0}, {700, -50, 0}, {2000, -1, 0}};
    for (const Case& c : toOffset)
        EXPECT_EQ(scrollValueToOffset(c.value, c.extent), c.offset) << c.value << "/" << c.extent;
    const Case toValue[] = {{0, 1000, 0}, {2000, 1000, 1000}, {2, 1000, 1}, {997, 333, 166}, {0, 0, 50}, {0, -5, 50}};
    for (const Case& c : toValue)
        EXPECT_EQ(offsetToScrollValue(c.offset, c.extent), c.value) << c.offset << "/" << c.extent;
}

TEST(AxisScroll, FollowingThePlayHead) {
    // View 900 px wide at offset 1000.
    EXPECT_FALSE(followTarget(1000, 1000, 900));
    EXPECT_FALSE(followTarget(1900, 1000, 900));
    EXPECT_EQ(followTarget(1901, 1000, 900), 1901 - 300);  // a third from the left
    EXPECT_EQ(followTarget(999, 1000, 900), 999 - 600);    // two thirds from the left
    EXPECT_EQ(followTarget(5000, 0, 900), 4700);
}

TEST(AxisScroll, AxisLengthExtendRule) {
    struct Case {
        int length, ms, visible;
        bool extend;
        int result;
    };
    const Case cases[] = {
        {100000, 50000, 30000, false, 50000},   // set as asked
        {100000, 90001, 30000, true, 120001},   // within a third of the view of the end: grow
        {100000, 90000, 30000, true, 100000},   // exactly a third away: keep
        {100000, 39999, 30000, true, 69999},    // more than two views before the end: shrink
        {100000, 40000, 30000, true, 100000},
        {100000, 150000, 30000, true, 180000},
    };
    for (const Case& c : cases)
        EXPECT_EQ(axisLengthFor(c.length, c.ms, c.visible, c.extend), c.result) << c.ms;
}

TEST(AxisScroll, WheelAndEdgeScrolling) {
    const int multipliers[kLevelCount] = {1, 1, 1, 1, 1, 2, 4, 8, 10, 27};
    for (int level = 0; level < kLevelCount; ++level)
        EXPECT_EQ(wheelMultiplier(level), multipliers[level]);

    // View of 500 px at offset 100: at most 3 px a call toward x.
    EXPECT_FALSE(autoScrollStep(100, 100, 500));
    EXPECT_FALSE(autoScrollStep(600, 100, 500));
    auto left = autoScrollStep(99, 100, 500);
    ASSERT_TRUE(left);
    EXPECT_EQ(left->target, 99);
    EXPECT_TRUE(left->forced);
    EXPECT_EQ(autoScrollStep(20, 100, 500)->target, 97);
    auto right = autoScrollStep(601, 100, 500);
    ASSERT_TRUE(right);
    EXPECT_EQ(right->target, 101);
    EXPECT_FALSE(right->forced);
    EXPECT_EQ(autoScrollStep(900, 100, 500)->target, 103);
}

TEST(AxisDrop, MediaDropPositionAmongBars) {
    // Bars at 50..150 and 300..400 (right = left + width).
    const QList<BarSpan> bars = {{50, 150}, {300, 400}};
    struct Case {
        const char* what;
        int x, grab, width;
        std::optional<int> left;
    };
    const Case cases[] = {
        {"on a bar", 100, 10, 40, std::nullopt},
        {"on a bar's edge", 150, 0, 40, std::nullopt},
        {"gap too narrow", 200, 0, 160, std::nullopt},
        {"gap exactly as wide", 200, 0, 150, std::nullopt},
        {"free in the gap", 220, 10, 40, 210},
        {"flush right of the bar before", 160, 30, 40, 150},
        {"flush left of the bar after", 290, 0, 40, 260},
        {"past the last bar", 500, 20, 1000, 480},
        {"margin gives 7", 20, 30, 20, 7},
        {"left of the margin", 2, 0, 20, 7},
    };
    for (const Case& c : cases)
        EXPECT_EQ(mediaDropPosition(c.x, c.grab, c.width, bars), c.left) << c.what;
    EXPECT_EQ(mediaDropPosition(3, 50, 100, {}), 7);
    // A gap one pixel wider than the bar takes it.
    EXPECT_EQ(mediaDropPosition(200, 0, 149, bars), 151);
}

TEST(AxisDrop, DropTimeIsNeverNegative) {
    EXPECT_EQ(dropTime(7, 0), 0);
    EXPECT_EQ(dropTime(7, 6), 0);
    EXPECT_EQ(dropTime(7, 7), 0);
    EXPECT_EQ(dropTime(7, 10), 900);
    EXPECT_EQ(dropTime(0, 57), 100);
}

TEST(AxisBars, NeighbourLimitsMoveAndTrim) {
    const QList<MediaSpan> others = {{0, 1000}, {5000, 500}, {9000, 100}, {3000, 0}};
    Limits l = neighbourLimits(4000, others);
    EXPECT_EQ(l.low, 3001);  // 1 ms after the end of the nearest bar before
    EXPECT_EQ(l.high, 4999);
    l = neighbourLimits(9500, others);
    EXPECT_EQ(l.low, 9101);
    EXPECT_FALSE(l.high);
    l = neighbourLimits(0, {{0, 500}, {800, 10}});
    EXPECT_EQ(l.low, 0);  // a bar at the same start bounds nothing
    EXPECT_EQ(l.high, 799);

    // Move: stops at the low limit and keeps the bar inside the high one.
    EXPECT_EQ(moveBar(100, 50, -200, 7, 1000).x, 7);
    EXPECT_EQ(moveBar(100, 50, 30, 7, 1000).x, 130);
    EXPECT_EQ(moveBar(100, 50, 900, 7, 1000).x, 950);

    // Left trim: stops at the low limit, never below 10 px.
    auto g = trimLeft(100, 50, -200, 60);
    ASSERT_TRUE(g);
    EXPECT_EQ(g->x, 60);
    EXPECT_EQ(g->width, 90);
    g = trimLeft(100, 50, 40, 7);
    ASSERT_TRUE(g);
    EXPECT_EQ(g->width, 10);
    EXPECT_FALSE(trimLeft(100, 50, 41, 7));

    // Right trim: stops at the high limit, never below 10 px.
    g = trimRight(100, 50, 500, 300);
    ASSERT_TRUE(g);
    EXPECT_EQ(g->x, 100);
    EXPECT_EQ(g->width, 200);
    EXPECT_EQ(trimRight(100, 50, -40, 300)->width, 10);
    EXPECT_FALSE(trimRight(100, 50, -41, 300));

    // Edge zones of 4 px; a narrow bar can only be trimmed.
    EXPECT_EQ(dragModeAt(3, 100), 0);
    EXPECT_EQ(dragModeAt(4, 100), 3);
    EXPECT_EQ(dragModeAt(96, 100), 3);
    EXPECT_EQ(dragModeAt(97, 100), 1);
    for (int x = 0; x < 7; ++x)
        EXPECT_NE(dragModeAt(x, 7), 3);
}

TEST(AxisTitles, NewTitlesCountOnFromTheLargestNumber) {
    EXPECT_EQ(newLayerTitle({}), QStringLiteral("图层1"));
    EXPECT_EQ(newLayerTitle({QStringLiteral("图层3"), QStringLiteral("背景"), QStringLiteral("图层1")}),
              QStringLiteral("图层4"));
    EXPECT_EQ(newLayerTitle({QStringLiteral("图层组9"), QStringLiteral("图层02")}), QStringLiteral("图层1"));
    EXPECT_EQ(nextFolderName({}), QStringLiteral("图层组1"));
    EXPECT_EQ(nextFolderName({QStringLiteral("图层组2"), QStringLiteral("图层组7")}), QStringLiteral("图层组8"));
    EXPECT_EQ(nextFolderName({QStringLiteral("图层组2"), QStringLiteral("音乐")}), QStringLiteral("图层组3"));
}

TEST(AxisTitles, UniqueTitle) {
    struct Case {
        const char* text;
        QStringList others;
        const char* result;
    };
    const QString a = QStringLiteral("图层1");
    const Case cases[] = {
        {"图层1", {}, "图层1"},
        {"图层1", {a}, "图层1(2)"},
        {"图层1", {a, QStringLiteral("图层1(2)")}, "图层1(3)"},
        {"片头(9)", {QStringLiteral("片头(9)")}, "片头(10)"},
        {"Show (1) intro", {QStringLiteral("Show (1) intro")}, "Show (1) intro(2)"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(uniqueTitle(QString::fromUtf8(c.text), c.others), QString::fromUtf8(c.result)) << c.text;
}

}  // namespace
