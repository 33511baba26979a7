#include "gl/GlTestSupport.h"

#include <QKeyEvent>
#include <QWindow>

#include <atomic>
#include <mutex>
#include <thread>

#include "core/MediaManager.h"
#include "render/OutputRenderer.h"
#include "render/OutputWindow.h"
#include "support/support.h"
#include "util/LogCapture.h"

namespace {
void SendKeyPress(QWindow* window, int key) {
    QKeyEvent keyEvent(QEvent::KeyPress, key, Qt::NoModifier);
    QCoreApplication::sendEvent(window, &keyEvent);
}
}  // namespace

// Xlib's macros last: they clash with ordinary names above.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace {

using testsupport::WaitUntil;

// A second client on the test's X server, to look at the window as the
// window manager would and to type on the keyboard.
class XClient {
public:
    XClient() : dpy_(XOpenDisplay(nullptr)) {}
    ~XClient() {
        if (dpy_) XCloseDisplay(dpy_);
    }
    Display* get() const { return dpy_; }

    void PressCombo(KeySym modifier, KeySym key) {
        const KeyCode mod = XKeysymToKeycode(dpy_, modifier);
        const KeyCode k = XKeysymToKeycode(dpy_, key);
        XTestFakeKeyEvent(dpy_, mod, True, CurrentTime);
        XTestFakeKeyEvent(dpy_, k, True, CurrentTime);
        XTestFakeKeyEvent(dpy_, k, False, CurrentTime);
        XTestFakeKeyEvent(dpy_, mod, False, CurrentTime);
        XSync(dpy_, False);
    }

private:
    Display* dpy_;
};

bool PumpUntil(const std::function<bool()>& pred) {
    return WaitUntil([&] {
        QCoreApplication::processEvents();
        return pred();
    });
}

class OutputWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        TestApp();
        ASSERT_NE(x_.get(), nullptr);
    }
    testsupport::TempDir dir_;
    CMediaManager core_{dir_.str()};
    XClient x_;
};

TEST_F(OutputWindowTest, HiddenWindowHasItsTitleAndClass) {
    COutputWindow output(core_);
    ASSERT_TRUE(output.CreateOutputWindow());
    const Window id = output.Window()->winId();

    char* name = nullptr;
    ASSERT_TRUE(XFetchName(x_.get(), id, &name));
    EXPECT_STREQ(name, "Solvane");
    XFree(name);

    XClassHint hint{};
    ASSERT_TRUE(XGetClassHint(x_.get(), id, &hint));
    EXPECT_STREQ(hint.res_class, "DidoriDav");
    XFree(hint.res_name);
    XFree(hint.res_class);

    XWindowAttributes attributes{};
    ASSERT_TRUE(XGetWindowAttributes(x_.get(), id, &attributes));
    EXPECT_EQ(attributes.map_state, IsUnmapped);
}

// Clears every frame to one colour.
class ClearRenderer : public COutputRenderer {
public:
    bool RenderOutput(int32_t) override {
        glClearColor(0.2f, 0.4f, 0.6f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        return true;
    }
};

TEST_F(OutputWindowTest, PresentedFrameReadsBackItsClearColour) {
    ClearRenderer renderer;
    core_.m_pRenderer = &renderer;
    {
        util::LogCapture log;
        COutputWindow output(core_);
        ASSERT_TRUE(output.CreateOutputWindow());
        ASSERT_TRUE(output.ChooseOutputPixelFormat());
        // Mesa's rasteriser is software: a generic format without acceleration.
        EXPECT_TRUE(log.Contains("加速支持:0,像素格式支持:1"));
        EXPECT_TRUE(log.Contains("不支持主动立体") || log.Contains("支持主动立体"));

        QWindow* window = output.Window();
        window->setGeometry(0, 0, 64, 48);
        window->show();
        ASSERT_TRUE(PumpUntil([&] { return window->isExposed(); }));
        ASSERT_TRUE(output.RenderFrame());
        ASSERT_TRUE(output.RenderFrame());

        XImage* image = nullptr;
        ASSERT_TRUE(WaitUntil([&] {
            XSync(x_.get(), False);
            image = XGetImage(x_.get(), window->winId(), 32, 24, 1, 1, AllPlanes, ZPixmap);
            return image != nullptr;
        }));
        const unsigned long pixel = XGetPixel(image, 0, 0);
        XDestroyImage(image);
        EXPECT_NEAR((pixel >> 16) & 0xFF, 51, 1);
        EXPECT_NEAR((pixel >> 8) & 0xFF, 102, 1);
        EXPECT_NEAR(pixel & 0xFF, 153, 1);
        output.ReleaseOutputContext();
    }
    core_.m_pRenderer = nullptr;
}

TEST_F(OutputWindowTest, HotKeysMinimiseAndRestoreFromAnywhere) {
    COutputWindow output(core_);
    ASSERT_TRUE(output.CreateOutputWindow());
    QWindow* window = output.Window();
    window->show();
    ASSERT_TRUE(PumpUntil([&] { return window->isExposed(); }));
    ASSERT_TRUE(output.RegisterHotKeys());

    x_.PressCombo(XK_Control_L, XK_F2);
    EXPECT_TRUE(PumpUntil([&] { return window->windowState() == Qt::WindowMinimized; }));
    x_.PressCombo(XK_Control_L, XK_F3);
    EXPECT_TRUE(PumpUntil([&] { return window->windowState() == Qt::WindowNoState; }));

    // With Num Lock on the same keys still work.
    const KeyCode numLock = XKeysymToKeycode(x_.get(), XK_Num_Lock);
    XTestFakeKeyEvent(x_.get(), numLock, True, CurrentTime);
    XTestFakeKeyEvent(x_.get(), numLock, False, CurrentTime);
    x_.PressCombo(XK_Control_L, XK_F2);
    EXPECT_TRUE(PumpUntil([&] { return window->windowState() == Qt::WindowMinimized; }));
    XTestFakeKeyEvent(x_.get(), numLock, True, CurrentTime);
    XTestFakeKeyEvent(x_.get(), numLock, False, CurrentTime);
    XSync(x_.get(), False);

    // Released: another client may grab the same keys now.
    output.UnregisterHotKeys();
    const Window root = DefaultRootWindow(x_.get());
    static bool failed;
    failed = false;
    auto* previous = XSetErrorHandler([](Display*, XErrorEvent*) {
        failed = true;
        return 0;
    });
    XGrabKey(x_.get(), XKeysymToKeycode(x_.get(), XK_F2), ControlMask, root, False, GrabModeAsync, GrabModeAsync);
    XSync(x_.get(), False);
    XSetErrorHandler(previous);
    EXPECT_FALSE(failed);
}

TEST_F(OutputWindowTest, FourthQuickEscMinimisesAndCloseIsIgnored) {
    COutputWindow output(core_);
    ASSERT_TRUE(output.CreateOutputWindow());
    QWindow* window = output.Window();
    window->show();
    ASSERT_TRUE(PumpUntil([&] { return window->isExposed(); }));

    EXPECT_FALSE(window->close());
    EXPECT_TRUE(window->isVisible());

    auto press = [&](int key) { SendKeyPress(window, key); };
    press(Qt::Key_Escape);
    press(Qt::Key_Escape);
    press(Qt::Key_Return);
    press(Qt::Key_Escape);
    press(Qt::Key_Escape);
    press(Qt::Key_Escape);
    EXPECT_NE(window->windowState(), Qt::WindowMinimized);
    press(Qt::Key_Escape);
    EXPECT_EQ(window->windowState(), Qt::WindowMinimized);
}

// Records the private messages it handles, with the handling thread.
class RecordingWindow : public COutputWindow {
public:
    using COutputWindow::COutputWindow;
    struct Seen {
        uint32_t message;
        intptr_t wParam;
        std::thread::id thread;
    };
    std::vector<Seen> seen;

protected:
    void OnOutputMessage(uint32_t message, intptr_t wParam, intptr_t lParam) override {
        seen.push_back({message, wParam, std::this_thread::get_id()});
        COutputWindow::OnOutputMessage(message, wParam, lParam);
    }
};

TEST_F(OutputWindowTest, MessagesFromFourThreadsRunOnTheMainThreadInOrder) {
    constexpr int kThreads = 4;
    constexpr int kPerThread = 200;
    std::vector<std::thread> posters;
    std::thread quitter;
    std::atomic<bool> started{false};
    platform::Event finished(true, false);

    OutputWindowHooks hooks;
    // The network thread starts once the GL output is built; the posters
    // stand in for it and for the other threads of the server.
    hooks.startNetworkThread = [&] {
        started = true;
        for (int t = 0; t < kThreads; ++t)
            posters.emplace_back([t] {
                for (int k = 0; k < kPerThread; ++k)
                    ASSERT_TRUE(PostOutputMessage(kMsgShowCursor, t * 1000 + k));
            });
        quitter = std::thread([&] {
            for (auto& p : posters) p.join();
            core_.Output().RequestQuit();
            // A deadline for a loop that would not end on its quit request.
            if (!finished.Wait(20000)) PostOutputMessage(kMsgQuit);
        });
    };
    int code = -1;
    std::vector<RecordingWindow::Seen> seen;
    {
        RecordingWindow output(core_, hooks);
        ASSERT_TRUE(output.CreateOutputWindow());
        code = output.RunRenderLoop();
        finished.Set();
        quitter.join();
        seen = output.seen;
    }
    EXPECT_TRUE(started);
    EXPECT_EQ(code, kExitOk);
    EXPECT_FALSE(PostOutputMessage(kMsgShowCursor, 0)) << "no window after the loop";

    int next[kThreads] = {};
    for (const auto& s : seen) {
        EXPECT_EQ(s.thread, std::this_thread::get_id());
        if (s.message != kMsgShowCursor) continue;
        const int t = static_cast<int>(s.wParam / 1000);
        ASSERT_GE(t, 0);
        ASSERT_LT(t, kThreads);
        EXPECT_EQ(s.wParam % 1000, next[t]) << "thread " << t;
        next[t] = static_cast<int>(s.wParam % 1000) + 1;
    }
    for (int t = 0; t < kThreads; ++t) EXPECT_EQ(next[t], kPerThread) << "thread " << t;
    EXPECT_EQ(seen.back().message, static_cast<uint32_t>(kMsgQuit));
}

TEST_F(OutputWindowTest, BrokenOutputProgramFailsStartUpWithNonZeroCode) {
    util::LogCapture log;
    bool networkStarted = false;
    OutputWindowHooks hooks;
    hooks.shaderText = "void main() { broken";
    hooks.startNetworkThread = [&] { networkStarted = true; };
    const int code = RunOutputWindow(core_, hooks);
    EXPECT_NE(code, 0);
    EXPECT_TRUE(log.Contains(LOGTEXT::Level::Error, "create shader program failed"));
    EXPECT_FALSE(networkStarted);
}

}  // namespace
