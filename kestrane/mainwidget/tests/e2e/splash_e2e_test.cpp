// The console program as started from a desktop: its loading splash shows
// before the main window, closes by itself, and the main window follows.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "support/XScreen.h"
#include "support/support.h"

namespace {

struct Top {
    int x, y, w, h;
};

// Mapped top-level windows of the screen (no window manager: the children
// of the root are the programs' own windows).
// A window may go between listing and asking about it: the question then
// fails, which is no fault of the test.
int ignoreXErrors(Display*, XErrorEvent*) { return 0; }

std::vector<Top> mappedTops() {
    XSetErrorHandler(ignoreXErrors);
    std::vector<Top> tops;
    Display* dpy = XOpenDisplay(nullptr);
    if (!dpy) return tops;
    Window root = DefaultRootWindow(dpy), parent = 0, *children = nullptr;
    unsigned n = 0;
    if (XQueryTree(dpy, root, &root, &parent, &children, &n)) {
        for (unsigned i = 0; i < n; ++i) {
            XWindowAttributes a{};
            if (XGetWindowAttributes(dpy, children[i], &a) && a.map_state == IsViewable && a.width > 50)
                tops.push_back({a.x, a.y, a.width, a.height});
        }
        if (children) XFree(children);
    }
    XCloseDisplay(dpy);
    return tops;
}

bool has(const std::vector<Top>& tops, int w, int h) {
    for (const Top& t : tops)
        if (t.w == w && t.h == h) return true;
    return false;
}
bool hasLarge(const std::vector<Top>& tops) {
    for (const Top& t : tops)
        if (t.w >= 1000 && t.h >= 600) return true;
    return false;
}

class SplashE2E : public ::testing::Test {
protected:
    void TearDown() override {
        if (pid > 0) {
            kill(pid, SIGTERM);
            testsupport::WaitUntil([&] { return waitpid(pid, nullptr, WNOHANG) == pid; }, std::chrono::seconds(20));
        }
    }
    void start() {
        const std::string config = (dir / "config").string();
        pid = fork();
        if (pid == 0) {
            setenv("XDG_CONFIG_HOME", config.c_str(), 1);
            // The start panel would cover the main window; the splash comes before it either way.
            execl(SV_BINARY_DIR "/bin/kestrane", "kestrane", "start", static_cast<char*>(nullptr));
            _exit(127);
        }
    }
    testsupport::TempDir dir;
    pid_t pid = -1;
};

}  // namespace

TEST_F(SplashE2E, TheSplashShowsBeforeTheMainWindowAndClosesByItself) {
    start();
    ASSERT_GT(pid, 0);
    std::vector<Top> tops;
    ASSERT_TRUE(testsupport::WaitUntil([&] { return has(tops = mappedTops(), 400, 300); }, std::chrono::seconds(60)))
        << "no 400 x 300 splash";
    EXPECT_FALSE(hasLarge(tops)) << "the main window came before the splash closed";
    // What it looks like: its picture (many colours), not an empty window.
    e2e::Screenshot shot;
    auto pictured = [&] {
        if (!e2e::GrabScreen(shot)) return false;
        for (const Top& t : mappedTops())
            if (t.w == 400 && t.h == 300) {
                std::set<int> colours;
                for (int y = t.y; y < t.y + t.h; y += 3)
                    for (int x = t.x; x < t.x + t.w; x += 3)
                        if (x >= 0 && y >= 0 && x < shot.width && y < shot.height)
                            colours.insert(shot.R(x, y) << 16 | shot.G(x, y) << 8 | shot.B(x, y));
                return colours.size() > 8;
            }
        return false;
    };
    EXPECT_TRUE(testsupport::WaitUntil(pictured, std::chrono::seconds(20))) << "the splash shows no picture";
    std::filesystem::create_directories(SV_BINARY_DIR "/artefacts");
    shot.Save(SV_BINARY_DIR "/artefacts/loading_splash.ppm");
    ASSERT_TRUE(testsupport::WaitUntil([&] { return hasLarge(tops = mappedTops()); }, std::chrono::seconds(60)))
        << "no main window";
    EXPECT_FALSE(has(tops, 400, 300)) << "the splash stayed";
    EXPECT_EQ(waitpid(pid, nullptr, WNOHANG), 0) << "the program ended";
}
