// Identifying the displays under Xvfb: a number window on each display,
// asked for from a command thread, read back from the screen, then gone.
#include "gl/GlTestSupport.h"

#include <QImage>
#include <QWindow>
#include <QX11Info>

#include <filesystem>
#include <thread>

#include "channel/Displays.h"
#include "render/IdentifyWindows.h"
#include "support/support.h"
// X last: its macros clash with other headers.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

// The screen's pixels in a rectangle, saved under the build folder.
QImage ScreenPart(int x, int y, int w, int h, const std::string& name) {
    Display* dpy = QX11Info::display();
    XSync(dpy, False);
    XImage* image = XGetImage(dpy, DefaultRootWindow(dpy), x, y, w, h, AllPlanes, ZPixmap);
    QImage shot(w, h, QImage::Format_RGB32);
    if (!image) return {};
    for (int r = 0; r < h; ++r)
        for (int c = 0; c < w; ++c) shot.setPixel(c, r, static_cast<QRgb>(XGetPixel(image, c, r)) | 0xFF000000u);
    XDestroyImage(image);
    const char* bin = std::getenv("SV_BINARY_DIR");
    const std::filesystem::path dir = std::filesystem::path(bin ? bin : ".") / "artefacts";
    std::filesystem::create_directories(dir);
    shot.save(QString::fromStdString((dir / (name + ".png")).string()));
    return shot;
}

}  // namespace

TEST(IdentifyWindows, EachDisplayShowsItsNumberForAWhile) {
    TestApp();
    FakeDisplayBackend backend;
    backend.Add(0, 0, 640, 480, true);
    backend.Add(640, 0, 640, 480);
    ScopedDisplayBackend scoped(&backend);
    IdentifyWindows identify(1500);

    // Asked for on another thread, as a command handler does.
    std::thread([] { EXPECT_EQ(IdentifyDisplays(), 0); }).join();
    ASSERT_TRUE(testsupport::WaitUntil([&] {
        QCoreApplication::processEvents();
        const auto windows = identify.Windows();
        return windows.size() == 2 && windows[0]->isExposed() && windows[1]->isExposed();
    }));
    const auto windows = identify.Windows();
    const QRect want[2] = {QRect(0, 0, 640, 480), QRect(640, 0, 640, 480)};
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(windows[i]->geometry(), want[i]);
        EXPECT_TRUE(windows[i]->flags() & Qt::FramelessWindowHint);
        EXPECT_EQ(windows[i]->title(), QString::number(i + 1));
    }
    // Let the windows paint, then read the numbers back: white digits in
    // the middle of each display on black.
    ASSERT_TRUE(testsupport::WaitUntil([&] {
        QCoreApplication::processEvents();
        const QImage shot = ScreenPart(0, 0, 1280, 480, "identify_displays");
        return !shot.isNull() && shot.pixel(5, 5) == 0xFF000000u && shot.pixel(645, 5) == 0xFF000000u;
    }));
    const QImage shot = ScreenPart(0, 0, 1280, 480, "identify_displays");
    for (int i = 0; i < 2; ++i) {
        int white = 0, black = 0;
        for (int y = 0; y < 480; ++y)
            for (int x = i * 640; x < (i + 1) * 640; ++x) {
                const QRgb p = shot.pixel(x, y);
                if (p == 0xFFFFFFFFu) ++white;
                if (p == 0xFF000000u) ++black;
            }
        SCOPED_TRACE(i);
        EXPECT_GT(white, 2000);  // digits some 240 pixels high
        EXPECT_GT(black, 640 * 480 / 2);
        // The digit is centred: nothing white near the edges.
        EXPECT_EQ(shot.pixel(i * 640 + 20, 240), 0xFF000000u);
        EXPECT_EQ(shot.pixel(i * 640 + 620, 240), 0xFF000000u);
    }
    // "1" and "2" differ.
    EXPECT_NE(shot.copy(0, 0, 640, 480), shot.copy(640, 0, 640, 480));

    // They go away on their own.
    EXPECT_TRUE(testsupport::WaitUntil(
        [&] {
            QCoreApplication::processEvents();
            return identify.Windows().empty();
        },
        std::chrono::seconds(20)));
}

TEST(IdentifyWindows, WithoutAPresenterNothingIsShown) {
    TestApp();
    FakeDisplayBackend backend;
    backend.Add(0, 0, 640, 480, true);
    ScopedDisplayBackend scoped(&backend);
    {
        IdentifyWindows identify(1500);
    }
    EXPECT_EQ(IdentifyDisplays(), 0);
    QCoreApplication::processEvents();
    for (QWindow* w : QGuiApplication::topLevelWindows()) EXPECT_FALSE(w->isVisible());
}
