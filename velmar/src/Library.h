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

// Releases the render context (from Shutdown).
void ReleaseRenderContext(bool atExit);

}  // namespace velmar
