// A worker thread that ends on its stop event. Joining is bounded: a thread
// that does not end in time is logged and detached, never killed.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/event.h"

namespace platform {

class StoppableThread {
public:
    // `self` is a handle on the same run (stop event, SleepFor) owned by the
    // new thread, not the owner object itself.
    using Body = std::function<void(StoppableThread& self)>;

    StoppableThread();
    // Requests a stop and joins without a bound when still running.
    ~StoppableThread();
    StoppableThread(const StoppableThread&) = delete;
    StoppableThread& operator=(const StoppableThread&) = delete;

    // Starts the body on a new thread; false when already running.
    bool Start(Body body, const std::string& name = {});
    void RequestStop();
    bool StopRequested() const;
    Event& StopEvent();

    // Sleeps up to ms; returns false as soon as a stop is requested.
    bool SleepFor(uint32_t ms);

    // Waits up to timeoutMs for the body to end. On time-out logs
    // timeoutLogText (an error line) when given, detaches the thread and
    // returns false. kInfinite waits without a bound.
    bool Join(uint32_t timeoutMs = kInfinite, const char* timeoutLogText = nullptr);
    // RequestStop followed by Join.
    bool Stop(uint32_t timeoutMs = kInfinite, const char* timeoutLogText = nullptr);

    bool Running() const;

    struct Impl;

private:
    // The object the body receives: it shares the run state, so the body may
    // go on using it after the owner has detached it and gone away.
    explicit StoppableThread(std::shared_ptr<Impl> impl);
    std::shared_ptr<Impl> impl_;
};

// Installs the function the thread layer logs its time-out texts through
// (the logging library installs itself; default: standard error).
void SetThreadLogSink(void (*sink)(const char* text));

}  // namespace platform
