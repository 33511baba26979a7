#include "core/ServerClock.h"

#include <atomic>

#include "platform/tick.h"

namespace {
std::atomic<CServerClock*> g_clock{nullptr};
}

CServerClock::CServerClock(platform::TickSource* source) : m_source(source) {}

CServerClock::CServerClock(uint32_t time, platform::TickSource* source) : m_source(source) {
    m_baseTime = time;
    m_startTick = Now();
}

CServerClock* CServerClock::GetInstance() {
    CServerClock* c = g_clock.load();
    if (!c) {
        // The first call comes from the main thread before other threads run;
        // the exchange keeps a late racer from leaking a second clock.
        auto* fresh = new CServerClock();
        CServerClock* expected = nullptr;
        if (g_clock.compare_exchange_strong(expected, fresh)) return fresh;
        delete fresh;
        return expected;
    }
    return c;
}

void CServerClock::DestroyInstance() { delete g_clock.exchange(nullptr); }

uint32_t CServerClock::Now() { return m_source ? m_source->NowMs() : platform::GetTickCount(); }

void CServerClock::SetTime(uint32_t time) {
    std::lock_guard lock(m_lock);
    m_baseTime = time;
    m_startTick = Now();
}

uint32_t CServerClock::GetTime() {
    std::lock_guard lock(m_lock);
    return m_baseTime + (Now() - m_startTick);
}

uint32_t CServerClock::GetTickCount() { return Now(); }

void CServerClock::ResetToTick() {
    std::lock_guard lock(m_lock);
    m_startTick = Now();
    m_baseTime = m_startTick;
}
