// Player events of media sources (video files report the end of their
// stream), drained on the output window's thread.
#pragma once

#include <cstdint>
#include <functional>

class CMediaManager;
class IMedia;

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

// Waits up to the given time for every slave node to report (node
// synchronisation); empty: nothing to wait for.
using WaitAllSlaveNodesFn = std::function<void(uint32_t timeoutMs)>;

// Drains the player events of media when it is still in the core's media
// list, rewinding, looping or stopping it at the end of its stream and
// telling the other servers when this one is the main server.
void HandleMediaPlayerEvents(CMediaManager& core, IMedia* media, const WaitAllSlaveNodesFn& waitAllSlaveNodes);

// Tick of the last synchronised stop at the end of a stream (0: none yet).
uint32_t LastSyncStopTick();
