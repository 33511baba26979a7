#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/Xrandr.h>

#include <chrono>
#include <thread>

#include "hesper/Hesper.h"
#include "support/support.h"

namespace {

using namespace std::chrono_literals;

// The private Xvfb has one 1920 x 1080 output; the test declares its left
// half the primary monitor, so that the right half lies outside the main
// display.
class HesperX : public ::testing::Test {
protected:
    void SetUp() override {
        dpy = XOpenDisplay(nullptr);
        ASSERT_NE(dpy, nullptr) << "needs the private X server of the gl tests";
        root = DefaultRootWindow(dpy);
        XRRScreenResources* res = XRRGetScreenResources(dpy, root);
        ASSERT_NE(res, nullptr);
        ASSERT_GE(res->noutput, 1);
        XRRMonitorInfo* mon = XRRAllocateMonitor(dpy, 1);
        mon->name = XInternAtom(dpy, "HESPER_MAIN", False);
        mon->primary = True;
        mon->automatic = False;
        mon->x = 0;
        mon->y = 0;
        mon->width = 960;
        mon->height = 1080;
        mon->mwidth = 254;
        mon->mheight = 286;
        mon->outputs[0] = res->outputs[0];
        XRRSetMonitor(dpy, root, mon);
        XSync(dpy, False);
        XRRFreeMonitors(mon);
        XRRFreeScreenResources(res);
    }
    void TearDown() override {
        if (dpy) XCloseDisplay(dpy);
    }

    void MoveTo(int x, int y) {
        XTestFakeMotionEvent(dpy, -1, x, y, 0);
        XSync(dpy, False);
    }
    int PointerX() {
        Window r, c;
        int x = -1, y = -1, wx, wy;
        unsigned mask;
        XQueryPointer(dpy, root, &r, &c, &x, &y, &wx, &wy, &mask);
        return x;
    }
    // Leaves the confiner many polls to act; used only where nothing should happen.
    void Settle() { std::this_thread::sleep_for(300ms); }
    bool ComesBack() {
        return testsupport::WaitUntil([&] { return PointerX() < 960; }, 5s);
    }

    Display* dpy = nullptr;
    Window root = 0;
};

}  // namespace

TEST_F(HesperX, KeepsThePointerOnTheMainDisplayOnlyWhileOn) {
    // Enabled but never limited: the setting is off, the pointer is free.
    EnableClipMouse(1);
    MoveTo(1500, 500);
    Settle();
    EXPECT_EQ(PointerX(), 1500);

    // Limited and on: the pointer is brought back inside.
    LimitHesper();
    EXPECT_TRUE(ComesBack());
    MoveTo(1700, 200);
    EXPECT_TRUE(ComesBack());

    // Off (output minimised): it stays where it is moved.
    EnableClipMouse(0);
    EnableClipMouse(0);
    MoveTo(1600, 400);
    Settle();
    EXPECT_EQ(PointerX(), 1600);

    // On again (output restored): back inside.
    EnableClipMouse(1);
    EXPECT_TRUE(ComesBack());
    MoveTo(300, 300);
    Settle();
    EXPECT_EQ(PointerX(), 300);
}
