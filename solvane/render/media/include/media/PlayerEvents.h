// The event queue of a media source's player (video files report the end of
// their stream), drained on the output window's thread.
#pragma once

#include <cstdint>

// The end of a stream.
inline constexpr int32_t kPlayerEventComplete = 1;

// Implemented by the media sources that have a player with an event queue.
class IMediaPlayerEvents {
public:
    virtual ~IMediaPlayerEvents() = default;
    // The next queued event without waiting; false when none is left or
    // the queue cannot be read.
    virtual bool NextPlayerEvent(int32_t& code) = 0;
    // Absolute position in 100 ns units.
    virtual bool SeekTo(int64_t position) = 0;
    // Signals the source's stop event.
    virtual void SignalStop() = 0;
};
