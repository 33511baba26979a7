// Library-wide state: the live media by handle, the ordered media list, and
// the thread that handles the playback engines' events.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "Media.h"
#include "platform/event.h"
#include "platform/thread.h"

namespace velmar {

struct Library {
    // Guards live, list and nextId. Taken before any frame lock; never held
    // while a media is destroyed (that joins its decode or grab thread, whose
    // callback may call back into the library).
    std::mutex listLock;
    std::map<uintptr_t, std::unique_ptr<MediaBaseClass>> live;
    std::vector<MediaBaseClass*> list;  // video files and pictures, in order of adding
    uintptr_t nextId = 1;

    // Event hand-over from the decode threads to the notification thread.
    std::mutex notifyLock;
    std::deque<uintptr_t> notifyQueue;
    platform::Event notifyWake{false, false};
    platform::StoppableThread notifier;

    // Preview timeline. timelineLock is taken before listLock and held over
    // a timeline pass, a jump and a window change, and by removal: so media
    // stay alive through a pass while files are opened and closed without
    // listLock (a decode thread's callback may wait for listLock). It guards
    // the three values below. The thread is replaced on every play, so a
    // thread left behind after a missed join keeps its own stop.
    std::mutex timelineLock;
    uint32_t timelineStartTick = 0;
    double timelineBase = 0.0;
    double timelineLast = 0.0;
    // Timeline seconds per clock second: the rate given for every media.
    double timelineRate = 1.0;
    // The clock runs (between Kestrane_Play and a pause or stop): a pause
    // then moves the base to the pause instant so that play goes on there.
    bool timelinePlaying = false;
    std::unique_ptr<platform::StoppableThread> timelineThread;  // touched on the caller's thread only
    std::mutex timelineThreadLock;  // guards timelineThread

    std::mutex captureLock;
    std::function<std::vector<CaptureSource>()> captureLister;
};

Library& Lib();

// The live media of a handle, or null; call with listLock held.
MediaBaseClass* FindLiveLocked(void* media);
// The media of a handle if it is in the media list, or null; listLock held.
MediaBaseClass* FindListedLocked(void* media);

// Registers Shutdown with atexit (once) and starts the notification thread.
void EnsureStarted();

// Stops the timeline thread when it runs; never call with listLock held.
void StopPlayThread();

// Stops the timeline's clock and pauses (or stops) every listed media under
// the timeline lock, so that no pass still under way can start one after it;
// a pause moves the timeline base to the pause instant. Call after
// StopPlayThread.
void HoldTimeline(bool pause);
// The rate of the timeline's clock; a running clock is re-based first.
void SetTimelineRate(double rate);
// Pause (or Stop) on every listed media; listLock is taken here.
void ApplyToListedMedia(bool pause);

// Releases the render context (from Shutdown).
void ReleaseRenderContext(bool atExit);

}  // namespace velmar
