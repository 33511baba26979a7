// Millisecond tick that wraps at 2^32 like the Windows tick, behind an
// injectable clock so that tests can drive time.
#pragma once

#include <cstdint>

#include "platform/types.h"

namespace platform {

class TickSource {
public:
    virtual ~TickSource() = default;
    virtual uint32_t NowMs() = 0;
};

// The process-wide tick: CLOCK_MONOTONIC milliseconds cut to 32 bits unless a
// source is installed. Passing null restores the monotonic clock.
uint32_t GetTickCount();
void SetTickSource(TickSource* source);

// Elapsed milliseconds from `from` to `to`, correct across one wrap.
inline uint32_t TickDiff(uint32_t to, uint32_t from) { return to - from; }

// A tick source for tests: time moves only when told.
class ManualTickSource : public TickSource {
public:
    explicit ManualTickSource(uint32_t start = 0) : now_(start) {}
    uint32_t NowMs() override { return now_; }
    void Advance(uint32_t ms) { now_ += ms; }
    void Set(uint32_t ms) { now_ = ms; }

private:
    uint32_t now_;
};

// Local wall time as a FILETIME (100 ns ticks since 1601, millisecond
// resolution), honouring TZ.
FILETIME GetLocalFileTime();
// The same for a given UNIX time in milliseconds (local zone applied).
FILETIME LocalFileTimeFromUnixMs(int64_t unixMs);

}  // namespace platform
