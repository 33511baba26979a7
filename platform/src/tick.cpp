#include "platform/tick.h"

#include <time.h>

#include <atomic>

namespace platform {

namespace {

std::atomic<TickSource*> g_source{nullptr};

// Milliseconds between 1601-01-01 and 1970-01-01.
constexpr int64_t kEpochDiffMs = 11644473600000LL;

}  // namespace

uint32_t GetTickCount() {
    if (TickSource* s = g_source.load(std::memory_order_acquire)) return s->NowMs();
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    const uint64_t ms = static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
    return static_cast<uint32_t>(ms);
}

void SetTickSource(TickSource* source) { g_source.store(source, std::memory_order_release); }

FILETIME LocalFileTimeFromUnixMs(int64_t unixMs) {
    // Floor division so that times before 1970 keep their millisecond part.
    int64_t secs = unixMs / 1000;
    if (unixMs % 1000 < 0) --secs;
    const time_t t = static_cast<time_t>(secs);
    tm local{};
    int64_t offsetMs = 0;
    if (localtime_r(&t, &local)) offsetMs = static_cast<int64_t>(local.tm_gmtoff) * 1000;
    const int64_t ms = unixMs + offsetMs + kEpochDiffMs;
    return U64ToFileTime(ms < 0 ? 0 : static_cast<uint64_t>(ms) * 10000u);
}

FILETIME GetLocalFileTime() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return LocalFileTimeFromUnixMs(static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000);
}

}  // namespace platform
