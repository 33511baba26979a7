// Special-action text parsed into key points, and media moved, turned,
// scaled and faded along them.
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>
#include <string>

#include "core/SpecialActions.h"
#include "lintra/specialaction.h"
#include "support/support.h"

namespace {

TEST(ParseSpecialActions, KeyPointsAreSortedByTime) {
    SpecialActionTable table;
    ASSERT_TRUE(ParseSpecialActions("1:{2,100/50/0/0}{0,10/20/30/40}", table));
    ASSERT_EQ(table.count(1), 1u);
    const auto& k = table[1];
    ASSERT_EQ(k.size(), 2u);
    EXPECT_EQ(k[0].v[0], 0.0);
    EXPECT_EQ(k[0].v[1], 10.0);
    EXPECT_EQ(k[0].v[4], 40.0);
    EXPECT_EQ(k[1].v[0], 2.0);
    EXPECT_EQ(k[1].v[1], 100.0);
}

TEST(ParseSpecialActions, TextCases) {
    struct Case {
        const char* text;
        bool result;
        std::vector<int32_t> kinds;
    };
    const Case cases[] = {
        {"", false, {}},
        {"1:{0,1/2/3/4};3:{2,0/0/0/0}", true, {1, 3}},
        // A piece without ":" ends parsing; what came before stays.
        {"2:{0,0/0/90/0};no colon;4:{1,0/0/0/0}", true, {2}},
        {":{0,1/1/1/1}", false, {}},
        {"7:{0,1/1/1/1}", true, {7}},
        {"1:", false, {}},
        {" 3 : {1,2/2/0/0} ", true, {3}},
        // Numbers that are no numbers would leave nothing to sort or place by.
        {"1:{nan,1/2/3/4}", false, {}},
        {"1:{0,inf/2/3/4}{1,5/6/7/8}", true, {1}},
    };
    for (const Case& c : cases) {
        SpecialActionTable table{{9, {ActionKeyPoint{}}}};
        EXPECT_EQ(ParseSpecialActions(c.text, table), c.result) << c.text;
        std::vector<int32_t> kinds;
        for (const auto& [kind, points] : table) {
            kinds.push_back(kind);
            for (const auto& p : points)
                for (double d : p.v) EXPECT_TRUE(std::isfinite(d)) << c.text;
        }
        EXPECT_EQ(kinds, c.kinds) << c.text;
    }
}

TEST(ParseSpecialActions, ReadsTheCodecsTextWhateverTheLocale) {
    SPECIAL_ACTION_MAP map;
    map[3] = {ACTION_LEVEL_INFO{1.5, 2.25, 0.5, 0.0, 0.0}};
    map[4] = {ACTION_LEVEL_INFO{0.75, 0.125, 0.0, 0.0, 0.0}};
    const std::string text = EncodeSepcialActionInfo(map);

    const std::string comma = testsupport::FindCommaDecimalLocale();
    if (comma.empty()) GTEST_SKIP() << "no locale with a decimal comma";
    const std::string old = std::setlocale(LC_ALL, nullptr);
    std::setlocale(LC_ALL, comma.c_str());
    SpecialActionTable table;
    const bool ok = ParseSpecialActions(text, table);
    std::setlocale(LC_ALL, old.c_str());
    ASSERT_TRUE(ok);
    EXPECT_EQ(table[3][0].v[0], 1.5);
    EXPECT_EQ(table[3][0].v[1], 2.25);
    EXPECT_EQ(table[3][0].v[2], 0.5);
    EXPECT_EQ(table[4][0].v[0], 0.75);
    EXPECT_EQ(table[4][0].v[1], 0.125);
}

// A media from 10 s to 20 s on the timeline, its base stage rectangle
// 200 x 100 at (0, 0), unmoved.
MediaCommon Media(const std::string& text) {
    MediaCommon m;
    m.startTime = 10.0;
    m.endTime = 20.0;
    m.baseStageRect = {0, 0, 200, 100};
    m.stageRect = m.baseStageRect;
    EXPECT_TRUE(ParseSpecialActions(text, m.actions)) << text;
    return m;
}

struct Expect {
    MediaRectI rect;
    double angle;
    double alpha;
};

TEST(ApplySpecialActions, InterpolationTable) {
    struct Case {
        const char* text;
        double t;
        Expect e;
    };
    const MediaRectI base{0, 0, 200, 100};
    const Case cases[] = {
        // One position key point at 2 s: from the base place to (100, 50).
        {"1:{2,100/50/0/0}", 10.0, {base, 0.0, 1.0}},
        {"1:{2,100/50/0/0}", 11.0, {{50, 25, 250, 125}, 0.0, 1.0}},
        {"1:{2,100/50/0/0}", 11.5, {{75, 37, 275, 137}, 0.0, 1.0}},
        {"1:{2,100/50/0/0}", 12.0, {{100, 50, 300, 150}, 0.0, 1.0}},
        {"1:{2,100/50/0/0}", 20.0, {{100, 50, 300, 150}, 0.0, 1.0}},
        // Negative positions truncate toward zero.
        {"1:{2,-101/-51/0/0}", 11.0, {{-50, -25, 150, 75}, 0.0, 1.0}},
        // Two key points: between the start and the first, the last holds.
        {"1:{2,100/50/0/0}{4,300/150/0/0}", 11.0, {{300, 150, 500, 250}, 0.0, 1.0}},
        {"1:{2,100/50/0/0}{4,300/150/0/0}", 13.0, {{200, 100, 400, 200}, 0.0, 1.0}},
        {"1:{2,100/50/0/0}{4,300/150/0/0}", 19.0, {{300, 150, 500, 250}, 0.0, 1.0}},
        // One transparency key point at 1 s with 0: alpha rises from 0 to 1.
        {"4:{1,0/0/0/0}", 10.0, {base, 0.0, 0.0}},
        {"4:{1,0/0/0/0}", 10.25, {base, 0.0, 0.25}},
        {"4:{1,0/0/0/0}", 11.0, {base, 0.0, 1.0}},
        {"4:{1,0/0/0/0}", 17.0, {base, 0.0, 1.0}},
        {"4:{0,0.5/0/0/0}{4,0.1/0/0/0}", 12.0, {base, 0.0, 0.7}},
        // Rotation: value 3 with its sign reversed.
        {"2:{0,0/0/90/0}", 10.0, {base, -90.0, 1.0}},
        {"2:{0,0/0/90/0}", 15.0, {base, -90.0, 1.0}},
        {"2:{2,5/5/90/0}", 11.0, {base, -45.0, 1.0}},
        // Scale: twice the base size about the rectangle's centre (100, 50).
        {"3:{0,2/2/0/0}", 10.0, {{-100, -50, 300, 150}, 0.0, 1.0}},
        {"3:{0,2/2/0/0}", 14.0, {{-100, -50, 300, 150}, 0.0, 1.0}},
        {"3:{2,3/0.5/0/0}", 11.0, {{-100, 13, 300, 87}, 0.0, 1.0}},
        // Position first, then scale about the new centre.
        {"1:{0,100/50/0/0};3:{0,2/2/0/0}", 10.0, {{0, 0, 400, 200}, 0.0, 1.0}},
        // A kind without meaning changes nothing.
        {"9:{0,5/5/5/5}", 15.0, {base, 0.0, 1.0}},
        // Outside the time window nothing changes.
        {"1:{2,100/50/0/0};2:{0,0/0/90/0};4:{1,0/0/0/0}", 9.999, {base, 0.0, 1.0}},
        {"1:{2,100/50/0/0};2:{0,0/0/90/0};4:{1,0/0/0/0}", 20.001, {base, 0.0, 1.0}},
        {"1:{2,100/50/0/0};2:{0,0/0/90/0};4:{1,0/0/0/0}", std::nan(""), {base, 0.0, 1.0}},
    };
    for (const Case& c : cases) {
        MediaCommon m = Media(c.text);
        ApplySpecialActions(m, c.t);
        const std::string what = std::string(c.text) + " at " + std::to_string(c.t);
        EXPECT_EQ(m.stageRect.left, c.e.rect.left) << what;
        EXPECT_EQ(m.stageRect.top, c.e.rect.top) << what;
        EXPECT_EQ(m.stageRect.right, c.e.rect.right) << what;
        EXPECT_EQ(m.stageRect.bottom, c.e.rect.bottom) << what;
        EXPECT_NEAR(m.angle, c.e.angle, 1e-9) << what;
        EXPECT_NEAR(m.alpha, c.e.alpha, 1e-9) << what;
        EXPECT_EQ(m.baseStageRect.right, 200) << what;
    }
}

TEST(ApplySpecialActions, DefaultPositionIsTheBasePlace) {
    MediaCommon m = Media("1:{2,100/50/0/0}");
    m.baseStageRect = {40, 30, 240, 130};
    m.stageRect = m.baseStageRect;
    ApplySpecialActions(m, 11.0);
    EXPECT_EQ(m.stageRect.left, 70);
    EXPECT_EQ(m.stageRect.top, 40);
    EXPECT_EQ(m.stageRect.right, 270);
    EXPECT_EQ(m.stageRect.bottom, 140);
}

TEST(ApplySpecialActions, PositionKeepsTheSizeTheLastScaleLeft) {
    MediaCommon m = Media("1:{0,100/50/0/0};3:{0,2/2/0/0}");
    for (int i = 0; i < 3; ++i) {
        ApplySpecialActions(m, 12.0);
        EXPECT_EQ(m.stageRect.left, 0) << i;
        EXPECT_EQ(m.stageRect.top, 0) << i;
        EXPECT_EQ(m.stageRect.right, 400) << i;
        EXPECT_EQ(m.stageRect.bottom, 200) << i;
    }
    // Only the position: the box centre goes to the base box's centre.
    m.actions.erase(3);
    ApplySpecialActions(m, 12.0);
    EXPECT_EQ(m.stageRect.left, 0);
    EXPECT_EQ(m.stageRect.right, 400);
}

TEST(ApplySpecialActions, ZeroIntervalsGiveTheLaterKeyPoint) {
    // Two key points at one time, t on them.
    MediaCommon a = Media("4:{1,0.2/0/0/0}{1,0.8/0/0/0};1:{1,10/20/0/0}{1,30/40/0/0}");
    ApplySpecialActions(a, 11.0);
    EXPECT_NEAR(a.alpha, 0.2, 1e-12);
    EXPECT_EQ(a.stageRect.left, 30);
    EXPECT_EQ(a.stageRect.top, 40);

    // The last key point at the end time, t before the first key point.
    MediaCommon b = Media("4:{1,0.5/0/0/0}{10,0.25/0/0/0};2:{1,0/0/10/0}{10,0/0/20/0}");
    ApplySpecialActions(b, 10.5);
    EXPECT_NEAR(b.alpha, 0.75, 1e-12);
    EXPECT_NEAR(b.angle, -20.0, 1e-12);

    // A single key point at the start time of a media that ends at once.
    MediaCommon c = Media("4:{0,0.4/0/0/0}");
    c.endTime = c.startTime;
    ApplySpecialActions(c, 10.0);
    EXPECT_NEAR(c.alpha, 0.6, 1e-12);
}

TEST(ApplySpecialActions, HugeValuesStayInsideTheIntegerRange) {
    MediaCommon m = Media("1:{0,1e12/-1e12/0/0}");
    ApplySpecialActions(m, 15.0);
    EXPECT_EQ(m.stageRect.left, std::numeric_limits<int32_t>::max());
    EXPECT_EQ(m.stageRect.top, std::numeric_limits<int32_t>::min());
    EXPECT_EQ(m.stageRect.right, std::numeric_limits<int32_t>::max());
    EXPECT_EQ(m.stageRect.bottom, std::numeric_limits<int32_t>::min() + 100);

    MediaCommon s = Media("3:{0,1e300/-1e300/0/0}");
    ApplySpecialActions(s, 15.0);
    // Half-sizes held to int32, corners about the centre (100, 50) too.
    EXPECT_EQ(s.stageRect.left, 100 - std::numeric_limits<int32_t>::max());
    EXPECT_EQ(s.stageRect.right, std::numeric_limits<int32_t>::max());
    EXPECT_EQ(s.stageRect.top, std::numeric_limits<int32_t>::max());
    EXPECT_EQ(s.stageRect.bottom, 50 + std::numeric_limits<int32_t>::min());

    // Lines steep enough to overflow leave the fields as they were.
    MediaCommon o = Media("1:{0,-1.7e308/0/0/0}{1e-300,1.7e308/0/0/0}{5,0/0/0/0}");
    o.startTime = 0.0;
    o.stageRect = {1, 2, 3, 4};
    ApplySpecialActions(o, 5e-301);
    EXPECT_EQ(o.stageRect.left, 1);
    EXPECT_EQ(o.stageRect.right, 3);
}

TEST(ApplySpecialActions, ThroughTheMediaInterface) {
    class Plain : public IMedia {
    public:
        bool LoadResource(const std::string&, int32_t, int32_t, int32_t) override { return true; }
        bool Close() override { return true; }
        bool SetTexRect(float, float, float, float) override { return true; }
        bool GetTexRect(float&, float&, float&, float&) override { return true; }
        bool FitAspect(float, float, float, float) override { return true; }
        void Play() override {}
        void Stop() override {}
        void Pause() override {}
        bool SetViewRect(float, float, float, float) override { return true; }
        bool GetViewRect(float&, float&, float&, float&) override { return true; }
        bool ClockTimeMs(uint32_t&) override { return false; }
        void SetNotifyWindow(IOutputWindow*) override {}
    } media;
    media.Common() = Media("2:{0,0/0/30/0}");
    ApplySpecialActions(&media, 12.0);
    EXPECT_NEAR(media.Common().angle, -30.0, 1e-12);
    ApplySpecialActions(static_cast<IMedia*>(nullptr), 12.0);
}

}  // namespace
