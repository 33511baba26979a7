// The display server's settable millisecond clock for playback and
// synchronisation: base time + (tick - start tick), in 32-bit unsigned
// arithmetic, so it wraps with the tick like the platform timer does.
#pragma once

#include <cstdint>
#include <mutex>

namespace platform {
class TickSource;
}

class CServerClock {
public:
    // Shows the tick until first set. A null source means the process tick
    // (platform::GetTickCount, itself injectable).
    explicit CServerClock(platform::TickSource* source = nullptr);
    CServerClock(uint32_t time, platform::TickSource* source = nullptr);
    ~CServerClock() = default;
    CServerClock(const CServerClock&) = delete;
    CServerClock& operator=(const CServerClock&) = delete;

    static CServerClock* GetInstance();
    // Frees the process-wide instance (at the end of the render loop).
    static void DestroyInstance();

    void SetTime(uint32_t time);
    uint32_t GetTime();
    uint32_t GetTickCount();
    // Sets base and start to the same current tick in one step.
    void ResetToTick();

private:
    uint32_t Now();

    uint32_t m_baseTime = 0;
    uint32_t m_startTick = 0;
    std::mutex m_lock;
    platform::TickSource* m_source;
};
