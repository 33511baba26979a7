// Desktop capture of a 1920x1080 display: grabs stored per second and the
// process's CPU seconds per grab, with a renderer taking every frame as soon
// as it is there, one taking a frame per 60 Hz output frame, and none (a
// capture loaded but not shown). The X server's own share of a grab (the
// shared-memory copy) is not counted. Run under X:
//   tools/xvfb-test build/bin/bench_capture
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include <sys/resource.h>

#include "channel/Displays.h"
#include "media/ScreenCapture.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr double kSeconds = 4.0;

double CpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// period 0: every frame as soon as it is ready; < 0: never.
void Run(const char* what, CScreenCapGDI& cap, double periodMs) {
    uint64_t stored0;
    {
        auto lock = cap.LockMedia();
        cap.m_bFrameReady = false;
        stored0 = cap.m_nGrabsStored;
    }
    const double cpu0 = CpuSeconds();
    const auto start = Clock::now();
    auto next = start;
    int taken = 0;
    while (std::chrono::duration<double>(Clock::now() - start).count() < kSeconds) {
        if (periodMs < 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            continue;
        }
        {
            auto lock = cap.LockMedia();
            if (cap.m_bFrameReady) {
                cap.m_bFrameReady = false;
                ++taken;
            }
        }
        if (periodMs == 0) {
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        } else {
            next += std::chrono::microseconds(static_cast<int64_t>(periodMs * 1000));
            std::this_thread::sleep_until(next);
        }
    }
    const double s = std::chrono::duration<double>(Clock::now() - start).count();
    const double cpu = CpuSeconds() - cpu0;
    uint64_t stored;
    {
        auto lock = cap.LockMedia();
        stored = cap.m_nGrabsStored - stored0;
    }
    std::printf("%s\n", what);
    std::printf("  grabs stored %6.1f /s, frames taken %6.1f /s, process CPU %.3f s/s", stored / s, taken / s, cpu / s);
    if (stored > 0) std::printf(", %.2f ms CPU per grab", cpu / static_cast<double>(stored) * 1000.0);
    std::printf("\n");
    std::fflush(stdout);
}

}  // namespace

int main() {
    // The display is the X screen's 1920x1080 at the origin.
    FakeDisplayBackend displays;
    displays.Add(0, 0, 1920, 1080, true);
    ScopedDisplayBackend scoped(&displays);
    CScreenCapGDI cap;
    if (!cap.LoadResource("", 0, 0, 0)) {
        std::fprintf(stderr, "cannot capture the primary display\n");
        return 1;
    }
    std::printf("capture of %d x %d\n", cap.m_nWidth, cap.m_nHeight);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    Run("renderer takes every frame at once", cap, 0);
    Run("renderer takes a frame per 60 Hz output frame", cap, 1000.0 / 60.0);
    Run("capture loaded, not shown", cap, -1);
    cap.Close();
    return 0;
}
