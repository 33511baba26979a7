// Screen capture media against a private Xvfb (1920 x 1080): coloured
// windows drawn with Xlib reach the media frame as bottom-up BGR rows. The
// displays are given by a scripted display list, so a "display" can be any
// part of the X screen.
#include <unistd.h>

#include <gtest/gtest.h>

#include <dirent.h>

#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "channel/Displays.h"
#include "core/MediaManager.h"
#include "media/MediaFactory.h"
#include "media/ScreenCapture.h"
#include "support/XScene.h"
#include "support/support.h"
#include "util/LogCapture.h"

// X last: its macros (None, Bool, Status) clash with other headers.
#include <X11/Xlib.h>

namespace {

using testsupport::Bgr;
using testsupport::OwnShmSegments;

// Threads of this process with the given name.
int ThreadsNamed(const std::string& name) {
    int count = 0;
    DIR* dir = opendir("/proc/self/task");
    if (!dir) return -1;
    while (dirent* e = readdir(dir)) {
        if (e->d_name[0] == '.') continue;
        std::ifstream comm(std::string("/proc/self/task/") + e->d_name + "/comm");
        std::string n;
        std::getline(comm, n);
        if (n == name) ++count;
    }
    closedir(dir);
    return count;
}

const Bgr kRed{0, 0, 255}, kGreen{0, 255, 0}, kBlue{255, 0, 0}, kBlack{0, 0, 0}, kMagenta{255, 0, 255};

Bgr At(const uint8_t* rows, int stride, int height, int x, int y) {
    return testsupport::PixelFromTop(rows, stride, height, x, y);
}

class ScreenCapture : public ::testing::Test, protected testsupport::XScene {
protected:
    void SetUp() override {
        ASSERT_TRUE(OpenScene()) << "no X server";
        savedCursorSetting_ = g_bCaptureDesktopCursor;
        MovePointer(1, 1);
    }
    void TearDown() override {
        g_bCaptureDesktopCursor = savedCursorSetting_;
        CloseScene();
    }

    // A solid magenta square cursor over the window.
    void MagentaCursor(Window win, int size, int xhot, int yhot) { SolidCursor(win, size, xhot, yhot, 0xFFFF, 0, 0xFFFF); }

    // Waits for a frame grabbed wholly after this call: the first frame
    // seen may have been grabbed before, the one after it cannot.
    static bool FreshFrame(MediaBaseClass& m) {
        for (int i = 0; i < 2; ++i) {
            {
                auto lock = m.LockMedia();
                m.m_bFrameReady = false;
            }
            if (!testsupport::WaitUntil([&] {
                    auto lock = m.LockMedia();
                    return m.m_bFrameReady;
                }))
                return false;
        }
        return true;
    }

    FakeDisplayBackend displays_;
    ScopedDisplayBackend scoped_{&displays_};
    int savedCursorSetting_ = 1;
};

}  // namespace

TEST_F(ScreenCapture, FrameHoldsTheDisplayBottomUp) {
    displays_.Add(0, 0, 1920, 1080, true);
    displays_.Add(100, 50, 40, 20);  // "\\.\DISPLAY2"
    Fill(100, 50, 20, 10, 0xFF0000);
    Fill(120, 50, 20, 10, 0x00FF00);
    Fill(100, 60, 20, 10, 0x0000FF);
    Fill(120, 60, 20, 10, 0x123456);

    RenderMediaFactory factory;
    std::unique_ptr<IMedia> media = factory.CreateMedia(kMediaScreenCapture);
    auto* cap = dynamic_cast<CScreenCapGDI*>(media.get());
    ASSERT_NE(cap, nullptr);
    EXPECT_EQ(cap->Common().type, kMediaScreenCapture);
    ASSERT_TRUE(cap->LoadResource("\\\\.\\display2", 4, 7, -1));
    EXPECT_EQ(cap->Common().state, kMediaPlaying);
    EXPECT_EQ(cap->Common().name, "\\\\.\\display2");
    EXPECT_EQ(cap->Common().layer, 4);
    EXPECT_EQ(cap->m_nReserved, 7);
    EXPECT_EQ(cap->Common().stereoFormat, -1);
    ASSERT_TRUE(FreshFrame(*cap));

    auto lock = cap->LockMedia();
    EXPECT_EQ(cap->m_nWidth, 40);
    EXPECT_EQ(cap->m_nHeight, 20);
    EXPECT_EQ(cap->m_nStride, 120);
    EXPECT_EQ(cap->m_nFrameSize, 2400);
    EXPECT_FLOAT_EQ(cap->m_fAspect, 2.0f);
    EXPECT_EQ(cap->FramePixelFormat(), kPixelFormatBGR);
    EXPECT_EQ(cap->m_pFirstHalf, nullptr);
    struct Case {
        int x, y;
        Bgr want;
    } cases[] = {{0, 0, kRed},    {19, 9, kRed},   {20, 0, kGreen}, {39, 9, kGreen},
                 {0, 10, kBlue},  {19, 19, kBlue}, {20, 10, {0x56, 0x34, 0x12}}, {39, 19, {0x56, 0x34, 0x12}}};
    for (const Case& c : cases)
        EXPECT_EQ(At(cap->m_pFrame, cap->m_nStride, 20, c.x, c.y), c.want) << c.x << "," << c.y;
}

TEST_F(ScreenCapture, UnknownDisplayFailsWithItsLogLine) {
    displays_.Add(0, 0, 1920, 1080, false);  // no primary display
    for (const char* name : {"\\\\.\\DISPLAY9", "\\\\.\\DISPLAY0", "DISPLAY1", "", "\\\\.\\DISPLAYX"}) {
        util::LogCapture log;
        CScreenCapGDI cap;
        EXPECT_FALSE(cap.LoadResource(name, 0, 0, -1)) << name;
        EXPECT_TRUE(log.Contains(LOGTEXT::Level::Error, "CScreenCapGDI::LoadResource,EnumDisplaySettings error!")) << name;
        EXPECT_EQ(cap.Common().state, kMediaNotLoaded);
        EXPECT_EQ(cap.m_pFrame, nullptr);
    }
}

TEST_F(ScreenCapture, DisplayIsCutToTheScreen) {
    displays_.Add(1900, 1000, 100, 100, true);  // reaches past the 1920 x 1080 screen
    Fill(1900, 1000, 20, 80, 0x00FF00);
    CScreenCapGDI cap;
    ASSERT_TRUE(cap.LoadResource("", 0, 0, -1));  // empty: the primary display
    EXPECT_EQ(cap.m_rcDisplay.left, 1900);
    EXPECT_EQ(cap.m_rcDisplay.top, 1000);
    EXPECT_EQ(cap.m_rcDisplay.right, 1920);
    EXPECT_EQ(cap.m_rcDisplay.bottom, 1080);
    ASSERT_TRUE(FreshFrame(cap));
    auto lock = cap.LockMedia();
    EXPECT_EQ(cap.m_nWidth, 20);
    EXPECT_EQ(cap.m_nHeight, 80);
    EXPECT_EQ(cap.m_nStride, 60);
    EXPECT_EQ(At(cap.m_pFrame, 60, 80, 0, 0), kGreen);
    EXPECT_EQ(At(cap.m_pFrame, 60, 80, 19, 79), kGreen);
}

TEST_F(ScreenCapture, DisplayOffTheScreenFailsToLoad) {
    displays_.Add(3000, 0, 100, 100, true);
    util::LogCapture log;
    CScreenCapGDI cap;
    EXPECT_FALSE(cap.LoadResource("\\\\.\\DISPLAY1", 0, 0, -1));
    EXPECT_TRUE(log.Contains(LOGTEXT::Level::Error, "CScreenCapGDI::LoadResource"));
    EXPECT_EQ(cap.Common().state, kMediaNotLoaded);
}

TEST_F(ScreenCapture, CursorFollowsTheSettingAndItsDisplay) {
    // Two black displays side by side; the pointer sits on the second, its
    // square cursor reaching 3 pixels back over the first.
    displays_.Add(200, 200, 100, 100, true);
    displays_.Add(300, 200, 100, 100);
    Window win = Fill(200, 200, 200, 100, 0x000000);
    MagentaCursor(win, 8, 4, 0);
    MovePointer(301, 250);

    struct Case {
        int setting;
        const char* device;
        bool drawn;
    } cases[] = {{1, "\\\\.\\DISPLAY2", true}, {0, "\\\\.\\DISPLAY2", false}, {1, "\\\\.\\DISPLAY1", false}};
    for (const Case& c : cases) {
        g_bCaptureDesktopCursor = c.setting;
        CScreenCapGDI cap;
        ASSERT_TRUE(cap.LoadResource(c.device, 0, 0, -1));
        ASSERT_TRUE(FreshFrame(cap));
        auto lock = cap.LockMedia();
        int magenta = 0;
        for (int y = 0; y < 100; ++y)
            for (int x = 0; x < 100; ++x) magenta += At(cap.m_pFrame, cap.m_nStride, 100, x, y) == kMagenta;
        SCOPED_TRACE(std::string(c.device) + " setting " + std::to_string(c.setting));
        if (c.drawn) {
            // Columns 0..4 of the second display (the rest lies on the first).
            EXPECT_EQ(magenta, 5 * 8);
            EXPECT_EQ(At(cap.m_pFrame, cap.m_nStride, 100, 0, 50), kMagenta);
            EXPECT_EQ(At(cap.m_pFrame, cap.m_nStride, 100, 4, 57), kMagenta);
            EXPECT_EQ(At(cap.m_pFrame, cap.m_nStride, 100, 5, 50), kBlack);
            EXPECT_EQ(At(cap.m_pFrame, cap.m_nStride, 100, 0, 58), kBlack);
        } else {
            EXPECT_EQ(magenta, 0);
        }
    }
}

TEST_F(ScreenCapture, StereoHalvesEachHoldTheirOwnSide) {
    // 46 pixels: a half of 23 pixels pads its rows to 72 bytes while the
    // whole row pads to 140, so halves cut at 2 x 72 per row would drift.
    displays_.Add(0, 0, 1920, 1080, true);
    displays_.Add(400, 400, 46, 10);
    displays_.Add(600, 400, 10, 30);
    Fill(400, 400, 23, 10, 0xFF0000);
    Fill(423, 400, 23, 10, 0x0000FF);
    Fill(600, 400, 10, 15, 0x00FF00);  // top rows
    Fill(600, 415, 10, 15, 0xFF0000);  // bottom rows

    CScreenCapGDI sbs;
    ASSERT_TRUE(sbs.LoadResource("\\\\.\\DISPLAY2", 0, 0, 1));  // wider than high: side by side
    EXPECT_EQ(sbs.Common().stereoFormat, 2);
    ASSERT_TRUE(FreshFrame(sbs));
    {
        auto lock = sbs.LockMedia();
        EXPECT_EQ(sbs.m_nWidth, 23);
        EXPECT_EQ(sbs.m_nHeight, 10);
        EXPECT_EQ(sbs.m_nStride, 72);
        EXPECT_EQ(sbs.m_nFrameSize, 720);
        EXPECT_EQ(sbs.m_nCaptureStride, 140);
        EXPECT_EQ(sbs.m_nCaptureSize, 1400);
        ASSERT_NE(sbs.m_pFirstHalf, nullptr);
        ASSERT_NE(sbs.m_pSecondHalf, nullptr);
        EXPECT_EQ(sbs.m_pFrame, sbs.m_pFirstHalf);
        for (int y = 0; y < 10; ++y)
            for (int x : {0, 22}) {
                EXPECT_EQ(At(sbs.m_pFirstHalf, 72, 10, x, y), kRed) << x << "," << y;
                EXPECT_EQ(At(sbs.m_pSecondHalf, 72, 10, x, y), kBlue) << x << "," << y;
            }
    }

    CScreenCapGDI tb;
    ASSERT_TRUE(tb.LoadResource("\\\\.\\DISPLAY3", 0, 0, 1));  // portrait: top and bottom
    EXPECT_EQ(tb.Common().stereoFormat, 3);
    ASSERT_TRUE(FreshFrame(tb));
    auto lock = tb.LockMedia();
    EXPECT_EQ(tb.m_nWidth, 10);
    EXPECT_EQ(tb.m_nHeight, 15);
    EXPECT_EQ(tb.m_nStride, 32);
    // Rows are bottom-up: the first half holds the display's lower rows.
    for (int y : {0, 14}) {
        EXPECT_EQ(At(tb.m_pFirstHalf, 32, 15, 5, y), kRed);
        EXPECT_EQ(At(tb.m_pSecondHalf, 32, 15, 5, y), kGreen);
    }
}

TEST_F(ScreenCapture, StereoOnAOnePixelDisplayFails) {
    displays_.Add(10, 10, 1, 20, true);
    CScreenCapGDI cap;
    EXPECT_FALSE(cap.LoadResource("", 0, 0, 2));
    EXPECT_EQ(cap.Common().state, kMediaNotLoaded);
}

TEST_F(ScreenCapture, DestructionJoinsTheThreadAndRemovesTheSegment) {
    displays_.Add(0, 0, 64, 64, true);
    const int segments = OwnShmSegments();
    ASSERT_EQ(ThreadsNamed("screencap"), 0);
    {
        auto cap = std::make_unique<CScreenCapGDI>();
        ASSERT_TRUE(cap->LoadResource("", 0, 0, -1));
        ASSERT_TRUE(FreshFrame(*cap));
        EXPECT_EQ(ThreadsNamed("screencap"), 1);
        EXPECT_EQ(OwnShmSegments(), segments + 1);
        // Close and load again, as a restart of the desktop capture does.
        EXPECT_TRUE(cap->Close());
        EXPECT_EQ(ThreadsNamed("screencap"), 0);
        EXPECT_EQ(cap->m_pFrame, nullptr);
        EXPECT_EQ(cap->Common().state, kMediaNotLoaded);
        ASSERT_TRUE(cap->LoadResource("", 0, 0, -1));
        ASSERT_TRUE(cap->LoadResource("", 0, 0, -1));  // a second load replaces the first run
        ASSERT_TRUE(FreshFrame(*cap));  // the thread has named itself by now
        EXPECT_EQ(ThreadsNamed("screencap"), 1);
        EXPECT_EQ(OwnShmSegments(), segments + 1);
    }
    EXPECT_EQ(ThreadsNamed("screencap"), 0);
    EXPECT_EQ(OwnShmSegments(), segments);
    int status = -1;
    const std::string ipcs = testsupport::RunShell("ipcs -m -p", &status);
    std::istringstream lines(ipcs);
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

TEST_F(ScreenCapture, SharedCaptureTakesTenObjects) {
    displays_.Add(0, 0, 1920, 1080, true);
    displays_.Add(500, 500, 16, 8);
    Fill(500, 500, 16, 8, 0x0000FF);
    std::vector<std::unique_ptr<desktopGDI>> objects;
    for (int i = 0; i < desktopGDI::kMaxObjects; ++i) {
        objects.push_back(std::make_unique<desktopGDI>());
        ASSERT_TRUE(objects.back()->CaptureMonitors("\\\\.\\DISPLAY2", 0, i, 0)) << i;
        EXPECT_EQ(objects.back()->Common().state, kMediaPlaying);
    }
    desktopGDI eleventh;
    EXPECT_FALSE(eleventh.CaptureMonitors("\\\\.\\DISPLAY2", 0, 10, 0));
    EXPECT_EQ(eleventh.Common().state, kMediaNotLoaded);
    EXPECT_EQ(eleventh.m_pFrame, nullptr);

    // A grabbed frame waits for the renderer: it is not overwritten while
    // frame-ready is up.
    desktopGDI& first = *objects[0];
    ASSERT_TRUE(FreshFrame(first));
    EXPECT_EQ(ThreadsNamed("desktopcap"), 1);  // named itself before its first grab
    {
        auto lock = first.LockMedia();
        EXPECT_EQ(first.m_nWidth, 16);
        EXPECT_EQ(first.m_nHeight, 8);
        EXPECT_EQ(first.m_nStride, 48);
        EXPECT_EQ(At(first.m_pFrame, 48, 8, 0, 0), kBlue);
        EXPECT_EQ(At(first.m_pFrame, 48, 8, 15, 7), kBlue);
        first.m_pFrame[0] = 0x11;  // a mark that a new grab would overwrite
    }
    // Give the thread a few periods: the mark stays while the flag is up.
    for (int i = 0; i < 5; ++i) {
        desktopGDI& other = *objects[1];
        ASSERT_TRUE(FreshFrame(other));
    }
    {
        auto lock = first.LockMedia();
        EXPECT_EQ(first.m_pFrame[0], 0x11);
    }

    // A freed slot takes a new object.
    objects.pop_back();
    EXPECT_TRUE(eleventh.CaptureMonitors("\\\\.\\DISPLAY2", 1, 10, 0));
    EXPECT_EQ(eleventh.m_nCaptureLayered, 1);
    EXPECT_FALSE(desktopGDI().CaptureMonitors("\\\\.\\DISPLAY7", 0, 0, 0));
    eleventh.Close();
    objects.clear();
    EXPECT_EQ(ThreadsNamed("desktopcap"), 0);
    EXPECT_TRUE(desktopGDI::StopCaptureThread());
}

// While the renderer has not taken the last grab no new one is made; once
// it has, the next grab follows.
TEST_F(ScreenCapture, NoGrabWhileTheLastOneWaitsForUpload) {
    displays_.Add(0, 0, 64, 32, true);
    Fill(0, 0, 64, 32, 0x0000FF);
    CScreenCapGDI cap;
    ASSERT_TRUE(cap.LoadResource("", 0, 0, -1));
    ASSERT_TRUE(testsupport::WaitUntil([&] {
        auto lock = cap.LockMedia();
        return cap.m_bFrameReady;
    }));
    uint64_t stored = 0;
    {
        auto lock = cap.LockMedia();
        stored = cap.m_nGrabsStored;
        EXPECT_EQ(At(cap.m_pFrame, cap.m_nStride, 32, 10, 10), kBlue);
    }
    usleep(200 * 1000);  // forty grab periods
    {
        auto lock = cap.LockMedia();
        EXPECT_EQ(cap.m_nGrabsStored, stored);
    }
    Fill(0, 0, 64, 32, 0x00FF00);
    ASSERT_TRUE(FreshFrame(cap));
    auto lock = cap.LockMedia();
    EXPECT_GT(cap.m_nGrabsStored, stored);
    EXPECT_EQ(At(cap.m_pFrame, cap.m_nStride, 32, 10, 10), kGreen);
}
