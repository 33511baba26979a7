// Auto- and manual-reset events on steady_clock, with wait-any.
#pragma once

#include <chrono>
#include <cstdint>
#include <initializer_list>
#include <memory>

namespace platform {

inline constexpr uint32_t kInfinite = 0xFFFFFFFFu;

class Event {
public:
    explicit Event(bool manualReset = false, bool initialState = false);
    ~Event();
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    void Set();
    void Reset();
    // True when signalled within timeoutMs (kInfinite: no limit). An
    // auto-reset event is reset by the wait that sees it.
    bool Wait(uint32_t timeoutMs = kInfinite);
    bool IsSet() const;
    bool IsManualReset() const;

    // Index of the first signalled event, or -1 on time-out. Only the event
    // whose index is returned is consumed (auto-reset).
    static int WaitAny(std::initializer_list<Event*> events, uint32_t timeoutMs = kInfinite);
    static int WaitAny(Event* const* events, size_t count, uint32_t timeoutMs = kInfinite);

    struct Impl;

private:
    std::shared_ptr<Impl> impl_;
};

}  // namespace platform
