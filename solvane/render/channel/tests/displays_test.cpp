#include <gtest/gtest.h>

#include "channel/Displays.h"
#include "util/LogCapture.h"

namespace {

struct DisplaysTest : ::testing::Test {
    FakeDisplayBackend fake;
    ScopedDisplayBackend scoped{&fake};
    util::LogCapture log;
};

}  // namespace

TEST_F(DisplaysTest, DetachedOutputKeepsItsNumberFree) {
    fake.Add(0, 0, 1920, 1080, true);
    fake.Add(1920, 0, 1280, 720);
    fake.outputs[1].attached = false;
    fake.Add(1920, 0, 1280, 1024);
    fake.outputs[2].modes = {SIZE{1280, 1024}, SIZE{800, 600}, SIZE{1280, 1024}, SIZE{640, 480}};
    std::vector<MY_MONITORINFO> list;
    EnumDisplays(list);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].number, 1);
    EXPECT_EQ(list[0].deviceName, "\\\\.\\DISPLAY1");
    EXPECT_EQ(list[0].primary, 1);
    EXPECT_EQ(list[1].number, 3);
    EXPECT_EQ(list[1].deviceName, "\\\\.\\DISPLAY3");
    EXPECT_EQ(list[1].monitor.right, 3200);
    ASSERT_EQ(list[1].modes.size(), 3u);
    EXPECT_EQ(list[1].modes[1].cx, 800);
    EXPECT_EQ(list[1].modes[2].cy, 480);
    EXPECT_TRUE(list[1].extra.empty());

    RECT r{};
    int32_t primary = 7;
    EXPECT_FALSE(GetDisplayRectByNumber(2, r, primary));
    EXPECT_FALSE(GetDisplayRectByNumber(0, r, primary));
    EXPECT_FALSE(GetDisplayRectByNumber(4, r, primary));
    ASSERT_TRUE(GetDisplayRectByNumber(3, r, primary));
    EXPECT_EQ(r.left, 1920);
    EXPECT_EQ(r.bottom, 1024);
    EXPECT_EQ(primary, 0);

    const RECT vs = VirtualScreenRect();
    EXPECT_EQ(vs.right, 3200);
    EXPECT_EQ(vs.bottom, 1080);
}

TEST(Displays, NoBackendMeansNoDisplays) {
    ScopedDisplayBackend none(nullptr);
    std::vector<MY_MONITORINFO> list;
    EnumDisplays(list);
    EXPECT_TRUE(list.empty());
    RECT r{};
    int32_t p = 0;
    EXPECT_FALSE(GetDisplayRectByNumber(1, r, p));
    EXPECT_FALSE(SetDisplayOrientation("\\\\.\\DISPLAY1", 90));
    EXPECT_EQ(VirtualScreenRect().right, 0);
}

TEST(Displays, DeviceNames) {
    const struct {
        const char* name;
        int n;
    } cases[] = {{"\\\\.\\DISPLAY1", 1}, {"\\\\.\\display12", 12}, {"//./DISPLAY2", 2}, {"\\\\.\\DISPLAY", 0},
                 {"\\\\.\\DISPLAY2x", 0}, {"DISPLAY2", 0},           {"", 0},               {"\\\\.\\DISPLAY0", 0}};
    for (const auto& c : cases) EXPECT_EQ(DisplayNumberFromName(c.name), c.n) << c.name;
}

TEST_F(DisplaysTest, OrientationSwapsOnlyBetweenLandscapeAndPortrait) {
    fake.Add(0, 0, 1920, 1080, true);
    const std::string name = "\\\\.\\DISPLAY1";
    const struct {
        int degrees;
        int32_t w, h, orientation;
    } steps[] = {{90, 1080, 1920, 1}, {180, 1920, 1080, 2}, {0, 1920, 1080, 0}, {270, 1080, 1920, 3},
                 {45, 1920, 1080, 0}};
    for (const auto& s : steps) {
        ASSERT_TRUE(SetDisplayOrientation(name, s.degrees)) << s.degrees;
        EXPECT_EQ(fake.calls.back().width, s.w) << s.degrees;
        EXPECT_EQ(fake.calls.back().height, s.h) << s.degrees;
        EXPECT_EQ(fake.calls.back().orientation, s.orientation) << s.degrees;
    }
    EXPECT_FALSE(SetDisplayOrientation("\\\\.\\DISPLAY2", 90));
}

TEST_F(DisplaysTest, RefusedRotationIsReportedAsFailure) {
    fake.Add(0, 0, 1920, 1080, true);
    fake.refuse = true;
    EXPECT_FALSE(SetDisplayOrientation("\\\\.\\DISPLAY1", 90));
    EXPECT_FALSE(RotateDisplay(1, "\\\\.\\DISPLAY1"));
    EXPECT_TRUE(log.Contains(LOGTEXT::Level::Error, "rotate display \\\\.\\DISPLAY1 to 90 degrees failed."));
}

TEST_F(DisplaysTest, RotateStepsFromTheCurrentOrientation) {
    fake.Add(0, 0, 1920, 1080, true);
    const struct {
        int current, direction, want;
    } cases[] = {{0, 1, 1}, {1, 1, 2}, {2, 1, 3}, {3, 1, 0}, {0, 0, 3}, {1, -1, 0}, {2, 0, 1}, {3, -5, 2}};
    for (const auto& c : cases) {
        fake.outputs[0].orientation = c.current;
        ASSERT_TRUE(RotateDisplay(c.direction, "\\\\.\\DISPLAY1"));
        EXPECT_EQ(fake.calls.back().orientation, c.want) << c.current << " " << c.direction;
    }
}

TEST_F(DisplaysTest, ResolutionGoesToTheNamedOrPrimaryDisplay) {
    fake.Add(0, 0, 1920, 1080);
    fake.Add(1920, 0, 1920, 1080, true);
    ASSERT_TRUE(SetDisplayResolution(1280, 720, "\\\\.\\DISPLAY1"));
    EXPECT_EQ(fake.calls.back().index, 0u);
    EXPECT_EQ(fake.calls.back().width, 1280);
    ASSERT_TRUE(SetDisplayResolution(1024, 768, ""));
    EXPECT_EQ(fake.calls.back().index, 1u);
    EXPECT_FALSE(SetDisplayResolution(1024, 768, "\\\\.\\DISPLAY9"));
    EXPECT_FALSE(SetDisplayResolution(0, 768, "\\\\.\\DISPLAY1"));
    fake.refuse = true;
    EXPECT_FALSE(SetDisplayResolution(800, 600, "\\\\.\\DISPLAY1"));
}

TEST_F(DisplaysTest, IdentifyHandsTheListToThePresenter) {
    fake.Add(0, 0, 800, 600, true);
    fake.Add(800, 0, 800, 600);
    EXPECT_EQ(IdentifyDisplays(), 0);
    EXPECT_TRUE(log.Contains("identify displays"));
    std::vector<int> numbers;
    SetIdentifyPresenter([&](const std::vector<MY_MONITORINFO>& list) {
        for (const auto& m : list) numbers.push_back(m.number);
    });
    EXPECT_EQ(IdentifyDisplays(), 0);
    SetIdentifyPresenter(nullptr);
    EXPECT_EQ(numbers, (std::vector<int>{1, 2}));

    std::vector<MY_MONITORINFO> list;
    EnumDisplays(list);
    const std::string xml = XMLOPER::EncodeMonitorInfo(list);
    EXPECT_NE(xml.find("number=\"2\""), std::string::npos);
}
