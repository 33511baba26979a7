// Runs under a private Xvfb (one output, 1920 x 1080).
#include <gtest/gtest.h>

#include <cstdlib>

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
