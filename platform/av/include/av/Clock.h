// Reference clocks of the playback engine. A player shows each frame when its
// reference clock reaches the frame's time; players whose clocks agree show
// the same frame at the same moment.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>

namespace av {

// 100-nanosecond units per second (the unit of every engine time).
inline constexpr int64_t kUnitsPerSecond = 10'000'000;
inline constexpr int64_t kUnitsPerMs = 10'000;

class ReferenceClock {
public:
    virtual ~ReferenceClock() = default;
    // Current time in 100 ns units. It may jump (a re-based clock); the
    // player follows the jump.
    virtual int64_t Now() = 0;
};

// The monotonic system clock.
class SystemClock : public ReferenceClock {
public:
    int64_t Now() override;
};

// A millisecond clock on a 32-bit tick that can be re-based to any time:
// time = base time + (tick - base tick). The tick defaults to the process
// tick (platform::GetTickCount, itself injectable).
class SyncClock : public ReferenceClock {
public:
    using TickFn = std::function<uint32_t()>;

    explicit SyncClock(uint32_t baseTimeMs, TickFn tick = {});

    // Re-bases: from now on the clock shows timeMs plus the time elapsed.
    void SetTimeMs(uint32_t timeMs);
    // The clock in ms, in 32-bit arithmetic (wraps like the tick).
    uint32_t GetTimeMs();
    // The clock in 100 ns units: base time plus the ticks elapsed since the
    // last re-basing, widened before adding so that it does not wrap (a jump
    // back would stop every player on this clock).
    int64_t Now() override;

    uint32_t Tick();

private:
    TickFn m_tick;
    std::mutex m_lock;
    uint32_t m_baseTime = 0;
    uint32_t m_baseTick = 0;
};

}  // namespace av
