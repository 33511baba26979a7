// Idle time and keep-awake against a private Xvfb, with input made through
// XTest on a second connection.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>

#include "platform/xidle.h"
#include "support/support.h"

// X last: its macros (None, Bool, Status) clash with other headers.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/scrnsaver.h>
#include <X11/keysym.h>

namespace {

using testsupport::WaitUntil;

class XIdleTest : public ::testing::Test {
protected:
    void SetUp() override {
        dpy_ = XOpenDisplay(nullptr);
        ASSERT_NE(dpy_, nullptr) << "no X server";
        ASSERT_TRUE(idle_.Open()) << idle_.LastError();
        ASSERT_TRUE(idle_.HasIdleTime()) << idle_.LastError();
    }
    void TearDown() override {
        if (dpy_) XCloseDisplay(dpy_);
    }

    uint32_t Idle() {
        uint32_t ms = 0;
        EXPECT_TRUE(idle_.IdleTimeMs(ms));
        return ms;
    }

    void PressShift() {
        const KeyCode key = XKeysymToKeycode(dpy_, XK_Shift_L);
        XTestFakeKeyEvent(dpy_, key, True, CurrentTime);
        XTestFakeKeyEvent(dpy_, key, False, CurrentTime);
        XSync(dpy_, False);
    }

    int SaverState() {
        XScreenSaverInfo* info = XScreenSaverAllocInfo();
        XScreenSaverQueryInfo(dpy_, DefaultRootWindow(dpy_), info);
        const int state = info->state;
        XFree(info);
        return state;
    }

    Display* dpy_ = nullptr;
    platform::XIdle idle_;
};

TEST_F(XIdleTest, KeyPressDropsIdleTime) {
    uint32_t before = 0;
    ASSERT_TRUE(WaitUntil([&] { return (before = Idle()) >= 1000; }, std::chrono::seconds(10)));
    PressShift();
    EXPECT_LT(Idle(), before);
}

TEST_F(XIdleTest, IdleTimeGrowsWithoutInput) {
    PressShift();
    const uint32_t start = Idle();
    EXPECT_TRUE(WaitUntil([&] { return Idle() > start + 200; }, std::chrono::seconds(10)));
}

TEST_F(XIdleTest, KeepAwakeEndsActiveScreenSaver) {
    XSetScreenSaver(dpy_, 1, 0, DontPreferBlanking, AllowExposures);
    XSync(dpy_, False);
    ASSERT_TRUE(WaitUntil([&] { return SaverState() == ScreenSaverOn; }, std::chrono::seconds(10)));
    ASSERT_TRUE(idle_.KeepAwake());
    EXPECT_TRUE(WaitUntil([&] { return SaverState() == ScreenSaverOff; }, std::chrono::seconds(5)));
    XSetScreenSaver(dpy_, 0, 0, DefaultBlanking, DefaultExposures);
    XSync(dpy_, False);
}

TEST(XIdleNoServer, UnreachableDisplayFailsClearly) {
    platform::XIdle idle;
    EXPECT_FALSE(idle.Open(":9999"));
    EXPECT_FALSE(idle.LastError().empty());
    EXPECT_FALSE(idle.IsOpen());
    uint32_t ms = 7;
    EXPECT_FALSE(idle.IdleTimeMs(ms));
    EXPECT_EQ(ms, 7u);
    EXPECT_FALSE(idle.KeepAwake());
}

}  // namespace
