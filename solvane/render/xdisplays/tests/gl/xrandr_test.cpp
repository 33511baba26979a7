// Runs under a private Xvfb (one output, 1920 x 1080).
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>

#include <cstdlib>
#include <string>

#include "channel/ChannelLayout.h"
#include "channel/Displays.h"
#include "xdisplays/XRandrDisplayBackend.h"

TEST(XRandrDisplays, XvfbHasOnePrimaryDisplayOfTheScreenSize) {
    ASSERT_NE(std::getenv("DISPLAY"), nullptr);
    XRandrDisplayBackend backend;
    ASSERT_TRUE(backend.IsOpen());
    ScopedDisplayBackend scoped(&backend);

    std::vector<MY_MONITORINFO> list;
    EnumDisplays(list);
    ASSERT_EQ(list.size(), 1u);
    const MY_MONITORINFO& m = list[0];
    EXPECT_EQ(m.number, 1);
    EXPECT_EQ(m.deviceName, "\\\\.\\DISPLAY1");
    EXPECT_EQ(m.primary, 1);
    EXPECT_EQ(m.monitor.left, 0);
    EXPECT_EQ(m.monitor.top, 0);
    EXPECT_EQ(m.monitor.right, 1920);
    EXPECT_EQ(m.monitor.bottom, 1080);
    EXPECT_EQ(m.orientation, 0);
    EXPECT_GT(m.bitsPerPixel, 0);
    bool hasCurrent = false;
    for (const SIZE& s : m.modes) hasCurrent = hasCurrent || (s.cx == 1920 && s.cy == 1080);
    EXPECT_TRUE(hasCurrent);

    RECT r{};
    int32_t primary = 0;
    ASSERT_TRUE(GetDisplayRectByNumber(1, r, primary));
    EXPECT_EQ(r.right, 1920);
    EXPECT_EQ(primary, 1);
    EXPECT_FALSE(GetDisplayRectByNumber(2, r, primary));
    EXPECT_EQ(VirtualScreenRect().bottom, 1080);
}

TEST(XRandrDisplays, UnsupportedChangesFailWithoutHarm) {
    XRandrDisplayBackend backend;
    ASSERT_TRUE(backend.IsOpen());
    ScopedDisplayBackend scoped(&backend);
    // No mode of this size exists on the output.
    EXPECT_FALSE(SetDisplayResolution(1234, 567, "\\\\.\\DISPLAY1"));
    EXPECT_FALSE(SetDisplayResolution(800, 600, "\\\\.\\DISPLAY5"));
    std::vector<MY_MONITORINFO> list;
    EnumDisplays(list);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].monitor.right, 1920);
}

TEST(XRandrDisplays, FreshChannelsFromTheRealDisplay) {
    XRandrDisplayBackend backend;
    ASSERT_TRUE(backend.IsOpen());
    ScopedDisplayBackend scoped(&backend);
    CHANNEL_BASE_INFO rec{};
    rec.channelId = 1;
    CChannelLayout layout;
    ASSERT_TRUE(layout.CreateChannels(1, &rec, 1920, 1080, true));
    ASSERT_EQ(layout.m_channels.size(), 1u);
    EXPECT_EQ(layout.m_channels[0]->m_rect.right, 1920);
    EXPECT_EQ(layout.m_nTotalWidth, 1920);
}

TEST(XRandrDisplays, NoServerMeansNoDisplays) {
    XRandrDisplayBackend backend(":4242");  // nothing listens there
    EXPECT_FALSE(backend.IsOpen());
    EXPECT_TRUE(backend.Outputs().empty());
    EXPECT_FALSE(backend.SetMode(0, 800, 600, 0));
}

// Splits the screen's one output into a left and a right monitor, as a user
// does for one projector fed by two halves of a wide picture.
void SplitIntoTwoMonitors() {
    Display* dpy = XOpenDisplay(nullptr);
    ASSERT_NE(dpy, nullptr);
    const Window root = DefaultRootWindow(dpy);
    XRRScreenResources* res = XRRGetScreenResourcesCurrent(dpy, root);
    ASSERT_NE(res, nullptr);
    ASSERT_GE(res->noutput, 1);
    const int half = DisplayWidth(dpy, DefaultScreen(dpy)) / 2;
    for (int i = 0; i < 2; ++i) {
        XRRMonitorInfo* m = XRRAllocateMonitor(dpy, i == 0 ? 1 : 0);
        m->name = XInternAtom(dpy, i == 0 ? "LEFT" : "RIGHT", False);
        m->primary = i == 0;
        m->x = i * half;
        m->width = half;
        m->height = DisplayHeight(dpy, DefaultScreen(dpy));
        m->mwidth = 250;
        m->mheight = 280;
        if (i == 0) m->outputs[0] = res->outputs[0];
        XRRSetMonitor(dpy, root, m);
        XRRFreeMonitors(m);
    }
    XRRFreeScreenResources(res);
    XSync(dpy, False);
    XCloseDisplay(dpy);
}

TEST(XRandrDisplays, MonitorsSplitTheOutputIntoTwoDisplays) {
    SplitIntoTwoMonitors();
    XRandrDisplayBackend backend;
    ASSERT_TRUE(backend.IsOpen());
    ScopedDisplayBackend scoped(&backend);
    std::vector<MY_MONITORINFO> list;
    EnumDisplays(list);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].primary, 1);
    EXPECT_EQ(list[0].monitor.right, 960);
    EXPECT_EQ(list[1].number, 2);
    EXPECT_EQ(list[1].monitor.left, 960);
    EXPECT_EQ(list[1].monitor.right, 1920);
    EXPECT_EQ(list[1].monitor.bottom, 1080);
    EXPECT_EQ(VirtualScreenRect().right, 1920);
    // Half an output has no mode of its own to change.
    EXPECT_FALSE(SetDisplayResolution(1920, 1080, "\\\\.\\DISPLAY2"));
    EXPECT_FALSE(SetDisplayResolution(1920, 1080, "\\\\.\\DISPLAY1"));
    list.clear();
    EnumDisplays(list);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].monitor.right, 960);
}
