// The screen grab against a private Xvfb: coloured windows drawn with Xlib
// are grabbed and read back as bottom-up BGR rows.
#include <unistd.h>

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/xgrab.h"
#include "support/XScene.h"

// X last: its macros (None, Bool, Status) clash with other headers.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

class XScene : public ::testing::Test, protected testsupport::XScene {
protected:
    void SetUp() override { ASSERT_TRUE(OpenScene()) << "no X server"; }
    void TearDown() override { CloseScene(); }
};

using testsupport::Bgr;
using testsupport::OwnShmSegments;
Bgr PixelFromTop(const std::vector<uint8_t>& frame, int stride, int height, int x, int y) {
    return testsupport::PixelFromTop(frame.data(), stride, height, x, y);
}

}  // namespace

TEST_F(XScene, KnownColoursComeBackBottomUpBgr) {
    // Four quadrants of a 40 x 20 region at (100, 50).
    Fill(100, 50, 20, 10, 0xFF0000);   // top-left red
    Fill(120, 50, 20, 10, 0x00FF00);   // top-right green
    Fill(100, 60, 20, 10, 0x0000FF);   // bottom-left blue
    Fill(120, 60, 20, 10, 0x123456);   // bottom-right mixed
    MovePointer(1900, 1000);           // away from the region

    platform::ScreenGrabber grab;
    ASSERT_TRUE(grab.Open(100, 50, 40, 20)) << grab.LastError();
    EXPECT_EQ(grab.X(), 100);
    EXPECT_EQ(grab.Y(), 50);
    EXPECT_EQ(grab.Width(), 40);
    EXPECT_EQ(grab.Height(), 20);
    ASSERT_TRUE(grab.Capture()) << grab.LastError();
    const int stride = (40 * 3 + 3) / 4 * 4;
    std::vector<uint8_t> frame(static_cast<size_t>(stride) * 20, 0xAA);
    grab.CopyBottomUpBgr(frame.data(), stride);

    struct Case {
        int x, y;
        Bgr want;
    } cases[] = {
        {0, 0, {0, 0, 255}},        {19, 9, {0, 0, 255}},       {20, 0, {0, 255, 0}},
        {39, 9, {0, 255, 0}},       {0, 10, {255, 0, 0}},       {19, 19, {255, 0, 0}},
        {20, 10, {0x56, 0x34, 0x12}}, {39, 19, {0x56, 0x34, 0x12}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(PixelFromTop(frame, stride, 20, c.x, c.y), c.want) << "at " << c.x << "," << c.y;
    // Row 0 of the buffer is the region's bottom row: blue on the left.
    EXPECT_EQ((Bgr{frame[0], frame[1], frame[2]}), (Bgr{255, 0, 0}));
}

TEST_F(XScene, RegionIsCutToTheScreen) {
    int w = 0, h = 0;
    ASSERT_TRUE(platform::ScreenSize(w, h));
    Fill(w - 10, h - 5, 10, 5, 0x00FF00);

    struct Case {
        int x, y, w, h;
        int wantX, wantY, wantW, wantH;
    } cases[] = {
        {w - 10, h - 5, 100, 100, w - 10, h - 5, 10, 5},  // past the right and bottom
        {-30, -20, 50, 40, 0, 0, 20, 20},                  // before the left and top
        {-10, -10, w + 20, h + 20, 0, 0, w, h},            // around the whole screen
    };
    for (const Case& c : cases) {
        platform::ScreenGrabber grab;
        ASSERT_TRUE(grab.Open(c.x, c.y, c.w, c.h)) << grab.LastError();
        EXPECT_EQ(grab.X(), c.wantX);
        EXPECT_EQ(grab.Y(), c.wantY);
        EXPECT_EQ(grab.Width(), c.wantW);
        EXPECT_EQ(grab.Height(), c.wantH);
        EXPECT_TRUE(grab.Capture()) << grab.LastError();
    }

    platform::ScreenGrabber corner;
    ASSERT_TRUE(corner.Open(w - 10, h - 5, 500, 500));
    ASSERT_TRUE(corner.Capture());
    const int stride = 32;
    std::vector<uint8_t> frame(static_cast<size_t>(stride) * 5);
    corner.CopyBottomUpBgr(frame.data(), stride);
    EXPECT_EQ(PixelFromTop(frame, stride, 5, 9, 4), (Bgr{0, 255, 0}));

    for (auto [x, y, cw, ch] : {std::array{w, 0, 10, 10}, std::array{0, h + 5, 10, 10}, std::array{-20, 0, 20, 10},
                                std::array{0, 0, 0, 10}, std::array{0, 0, 10, -1}}) {
        platform::ScreenGrabber outside;
        EXPECT_FALSE(outside.Open(x, y, cw, ch)) << x << "," << y << " " << cw << "x" << ch;
        EXPECT_FALSE(outside.IsOpen());
        EXPECT_FALSE(outside.Capture());
    }
}

TEST_F(XScene, CursorIsBlendedWhereThePointerIs) {
    Window win = Fill(200, 200, 100, 100, 0x000000);
    SolidCursor(win, 8, 2, 3, 0xFFFF, 0x0000, 0xFFFF);  // magenta, hot spot (2, 3)
    MovePointer(250, 240);

    platform::ScreenGrabber grab;
    ASSERT_TRUE(grab.Open(200, 200, 100, 100));
    platform::CursorShot cursor;
    ASSERT_TRUE(grab.ReadCursor(cursor));
    EXPECT_EQ(cursor.x, 250);
    EXPECT_EQ(cursor.y, 240);
    EXPECT_EQ(cursor.xhot, 2);
    EXPECT_EQ(cursor.yhot, 3);
    ASSERT_EQ(cursor.width, 8);
    ASSERT_EQ(cursor.height, 8);
    EXPECT_EQ(cursor.argb[0], 0xFFFF00FFu);

    ASSERT_TRUE(grab.Capture());
    const int stride = 300;
    std::vector<uint8_t> frame(static_cast<size_t>(stride) * 100);
    grab.CopyBottomUpBgr(frame.data(), stride);
    EXPECT_EQ(PixelFromTop(frame, stride, 100, 48, 37), (Bgr{0, 0, 0}));  // the grab itself has no cursor
    platform::DrawCursorBottomUp(frame.data(), stride, 100, 100, 200, 200, cursor);
    // The square starts at pointer - hot spot - region origin: (48, 37).
    const Bgr magenta{255, 0, 255}, black{0, 0, 0};
    EXPECT_EQ(PixelFromTop(frame, stride, 100, 48, 37), magenta);
    EXPECT_EQ(PixelFromTop(frame, stride, 100, 55, 44), magenta);
    EXPECT_EQ(PixelFromTop(frame, stride, 100, 47, 37), black);
    EXPECT_EQ(PixelFromTop(frame, stride, 100, 56, 44), black);
    EXPECT_EQ(PixelFromTop(frame, stride, 100, 48, 36), black);
    EXPECT_EQ(PixelFromTop(frame, stride, 100, 48, 45), black);
}

TEST(CursorBlend, PartlyTransparentAndCutAtTheEdges) {
    platform::CursorShot c;
    c.width = 2;
    c.height = 1;
    c.x = -1;  // left pixel falls off the frame
    c.y = 0;
    c.argb = {0xFFFFFFFFu, 0x80400000u};  // premultiplied: half-opaque dark red
    const int stride = 8;
    std::vector<uint8_t> frame(stride * 1, 200);
    platform::DrawCursorBottomUp(frame.data(), stride, 2, 1, 0, 0, c);
    // 0x40 + 200 * (255 - 128) / 255
    EXPECT_EQ(frame[2], 0x40 + (200 * 127 + 127) / 255);
    EXPECT_EQ(frame[0], (200 * 127 + 127) / 255);
    EXPECT_EQ(frame[3], 200);  // second pixel untouched
    // Far outside: nothing drawn, nothing written out of bounds.
    c.x = 10000;
    c.y = -10000;
    std::vector<uint8_t> before = frame;
    platform::DrawCursorBottomUp(frame.data(), stride, 2, 1, 0, 0, c);
    EXPECT_EQ(frame, before);
}

TEST_F(XScene, SharedSegmentIsGoneOnceAttachedAndAfterClose) {
    const int before = OwnShmSegments();
    {
        platform::ScreenGrabber grab;
        ASSERT_TRUE(grab.Open(0, 0, 64, 64));
        // Still held by both sides but already marked for removal: its mode
        // shows the owner-only permission bits plus the removal flag.
        std::ifstream in("/proc/sysvipc/shm");
        std::string line;
        std::getline(in, line);
        bool seen = false;
        while (std::getline(in, line)) {
            std::istringstream fields(line);
            long long key, id, size, cpid;
            std::string perms;
            if (fields >> key >> id >> perms >> size >> cpid && cpid == getpid()) {
                seen = true;
                EXPECT_EQ(key, 0);
                const int mode = std::stoi(perms, nullptr, 8);
                EXPECT_EQ(mode & 0777, 0600) << perms;
                EXPECT_NE(mode & 01000, 0) << "not marked for removal: " << perms;
            }
        }
        EXPECT_TRUE(seen);
        ASSERT_TRUE(grab.Capture());
    }
    EXPECT_EQ(OwnShmSegments(), before);
    std::FILE* p = ::popen("ipcs -m -p", "r");
    ASSERT_NE(p, nullptr);
    std::string text;
    char buf[256];
    while (std::fgets(buf, sizeof buf, p)) text += buf;
    ::pclose(p);
    // Columns: shmid owner cpid lpid.
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string id, owner;
        long long cpid = 0;
        if (fields >> id >> owner >> cpid) {
            EXPECT_NE(cpid, getpid()) << line;
        }
    }
}

TEST(ScreenGrabber, UnreachableServerFailsCleanly) {
    platform::ScreenGrabber grab;
    EXPECT_FALSE(grab.Open(0, 0, 10, 10, ":987"));
    EXPECT_FALSE(grab.LastError().empty());
    EXPECT_FALSE(grab.Capture());
    platform::CursorShot c;
    EXPECT_FALSE(grab.ReadCursor(c));
    int w = 0, h = 0;
    EXPECT_FALSE(platform::ScreenSize(w, h, ":987"));
}
