#include "av/Clock.h"

#include <chrono>

#include "platform/tick.h"

namespace av {

int64_t SystemClock::Now() {
    using namespace std::chrono;
    return duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count() / 100;
}

SyncClock::SyncClock(uint32_t baseTimeMs, TickFn tick) : m_tick(std::move(tick)) {
    m_baseTime = baseTimeMs;
    m_baseTick = Tick();
}

uint32_t SyncClock::Tick() { return m_tick ? m_tick() : platform::GetTickCount(); }

void SyncClock::SetTimeMs(uint32_t timeMs) {
    std::lock_guard lock(m_lock);
    m_baseTime = timeMs;
    m_baseTick = Tick();
}

uint32_t SyncClock::GetTimeMs() {
    // The tick is read under the lock: a tick read before a concurrent
    // re-basing would lie behind the new base tick.
    std::lock_guard lock(m_lock);
    return Tick() + m_baseTime - m_baseTick;
}

int64_t SyncClock::Now() {
    std::lock_guard lock(m_lock);
    const uint32_t elapsed = Tick() - m_baseTick;
    return (int64_t{m_baseTime} + int64_t{elapsed}) * kUnitsPerMs;
}

}  // namespace av
