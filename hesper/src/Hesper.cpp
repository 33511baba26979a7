// Confinement by a short poll: the pointer is read every few milliseconds and
// put back on the main display when it has left it. Pointer barriers would
// not stop absolute motion (tablets, warps, synthetic input); a poll catches
// every kind.
#include "hesper/Hesper.h"

#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "util/Util.h"

namespace {

constexpr auto kPollInterval = std::chrono::milliseconds(20);
constexpr int kPollsPerRefresh = 50;   // the monitor layout is read again about once a second

struct Rect {
    int x = 0, y = 0, width = 0, height = 0;
};

// The primary monitor; else the monitor at the screen's origin; else the
// first monitor; else the whole screen.
Rect MainDisplayRect(Display* dpy) {
    const Window root = DefaultRootWindow(dpy);
    Rect r{0, 0, DisplayWidth(dpy, DefaultScreen(dpy)), DisplayHeight(dpy, DefaultScreen(dpy))};
    int count = 0;
    XRRMonitorInfo* monitors = XRRGetMonitors(dpy, root, True, &count);
    if (!monitors) return r;
    int chosen = -1;
    for (int i = 0; i < count && chosen < 0; ++i)
        if (monitors[i].primary) chosen = i;
    for (int i = 0; i < count && chosen < 0; ++i)
        if (monitors[i].x <= 0 && monitors[i].y <= 0 && monitors[i].x + monitors[i].width > 0 &&
            monitors[i].y + monitors[i].height > 0)
            chosen = i;
    if (chosen < 0 && count > 0) chosen = 0;
    if (chosen >= 0 && monitors[chosen].width > 0 && monitors[chosen].height > 0)
        r = {monitors[chosen].x, monitors[chosen].y, monitors[chosen].width, monitors[chosen].height};
    XRRFreeMonitors(monitors);
    return r;
}

class Confiner {
public:
    ~Confiner() {
        {
            std::lock_guard lock(mu_);
            stop_ = true;
        }
        cv_.notify_all();
        if (thread_.joinable()) thread_.join();
    }

    void Enable(bool on) {
        std::lock_guard lock(mu_);
        enabled_ = on;
        StartLocked();
    }

    void Limit() {
        std::lock_guard lock(mu_);
        limited_ = true;
        StartLocked();
    }

private:
    void StartLocked() {
        if (enabled_ && limited_ && !thread_.joinable() && !stop_) thread_ = std::thread([this] { Run(); });
        cv_.notify_all();
    }

    void Run() {
        Display* dpy = XOpenDisplay(nullptr);
        if (!dpy) {
            LOGTEXT::LogError("hesper: cannot open the display, the cursor is not confined");
            return;
        }
        const Window root = DefaultRootWindow(dpy);
        Rect area;
        int pollsToRefresh = 0;
        bool wasActive = false;
        std::unique_lock lock(mu_);
        while (!stop_) {
            const bool active = enabled_ && limited_;
            if (!active) {
                wasActive = false;
                cv_.wait(lock, [this] { return stop_ || (enabled_ && limited_); });
                continue;
            }
            lock.unlock();
            if (!wasActive || --pollsToRefresh <= 0) {
                area = MainDisplayRect(dpy);
                pollsToRefresh = kPollsPerRefresh;
                wasActive = true;
            }
            Window rootRet, child;
            int x = 0, y = 0, wx, wy;
            unsigned mask;
            if (XQueryPointer(dpy, root, &rootRet, &child, &x, &y, &wx, &wy, &mask) && rootRet == root) {
                const int cx = std::clamp(x, area.x, area.x + area.width - 1);
                const int cy = std::clamp(y, area.y, area.y + area.height - 1);
                if (cx != x || cy != y) {
                    XWarpPointer(dpy, None, root, 0, 0, 0, 0, cx, cy);
                    XFlush(dpy);
                }
            }
            lock.lock();
            cv_.wait_for(lock, kPollInterval, [this] { return stop_; });
        }
        lock.unlock();
        XCloseDisplay(dpy);
    }

    std::mutex mu_;
    std::condition_variable cv_;
    bool enabled_ = true;
    bool limited_ = false;
    bool stop_ = false;
    std::thread thread_;
};

Confiner& TheConfiner() {
    static Confiner confiner;
    return confiner;
}

}  // namespace

extern "C" void EnableClipMouse(int enable) { TheConfiner().Enable(enable != 0); }

extern "C" void LimitHesper() { TheConfiner().Limit(); }
