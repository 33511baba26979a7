// The preview timeline: a clock started by Kestrane_Play and a thread that,
// every 10 ms, loads, plays, stops and closes the video files of the media
// list by their time windows.
#include <cmath>
#include <vector>

#include "Library.h"
#include "platform/tick.h"
#include "util/Util.h"
#include "velmar/MediaLibrary.h"
#include "velmar/kestrane.h"

namespace velmar {
namespace {

std::atomic<platform::TickSource*> g_tickSource{nullptr};

uint32_t TimelineTick() {
    platform::TickSource* source = g_tickSource.load();
    return source ? source->NowMs() : platform::GetTickCount();
}

// Timeline time in seconds; timelineLock held.
double TimelineNowLocked() {
    const Library& lib = Lib();
    return platform::TickDiff(TimelineTick(), lib.timelineStartTick) / 1000.0 * lib.timelineRate + lib.timelineBase;
}

// Loads a video file from 5 s before its window until 2 s after it and
// closes it outside; whether it is loaded afterwards.
bool ApplyLoadingWindow(FileVideo* video, double now, const char* where) {
    const bool inside = video->m_fStartTime - now <= 5.0 && now - video->m_fStopTime <= 2.0;
    if (inside) {
        if (!video->m_bLoaded) {
            const std::string path = video->m_path;
            const bool ok = video->LoadResource(path, 0, video->m_nLayer, video->m_nSplit);
            LOGTEXT::LogInfo("load %s for dyminic.ret=%d%s", path.c_str(), ok ? 1 : 0, where);
        }
    } else if (video->m_bLoaded) {
        LOGTEXT::LogInfo("close %s for dyminic%s", video->m_path.c_str(), where);
        video->Close();
    }
    return video->m_bLoaded != 0;
}

// The media of an id while it is in the list; the pointer stays valid while
// timelineLock is held.
MediaBaseClass* FindListed(uintptr_t id) {
    std::lock_guard lk(Lib().listLock);
    return FindListedLocked(reinterpret_cast<void*>(id));
}

std::vector<uintptr_t> ListedIds() {
    std::lock_guard lk(Lib().listLock);
    std::vector<uintptr_t> ids;
    for (MediaBaseClass* m : Lib().list) ids.push_back(reinterpret_cast<uintptr_t>(m->m_id));
    return ids;
}

// One pass over the given media; timelineLock held. Ids of media removed
// since the copy was taken are skipped.
void PassLocked(const std::vector<uintptr_t>& ids) {
    Library& lib = Lib();
    for (uintptr_t id : ids) {
        MediaBaseClass* m = FindListed(id);
        // Still pictures stay loaded from their adding until their removal.
        if (!m || m->m_nKind != kKindVideo) continue;
        auto* video = static_cast<FileVideo*>(m);
        const double now = TimelineNowLocked();
        lib.timelineLast = now;
        const bool loaded = ApplyLoadingWindow(video, now, "");
        if (video->m_fStartTime < now && now < video->m_fStopTime) {
            if (loaded && video->m_nState != kStatePlaying) {
                LOGTEXT::LogInfo("media %s will play. current play time=%f", video->m_path.c_str(), now);
                video->Play();
                LOGTEXT::LogInfo("after play");
            }
        } else if (now > video->m_fStopTime && loaded && video->m_nState != kStateStopped) {
            LOGTEXT::LogInfo("media %s will stop. current stop time=%f", video->m_path.c_str(), now);
            video->Stop();
            LOGTEXT::LogInfo("after stop");
            if (video->m_callback) {
                const BITMAPINFOHEADER none{};
                video->Notify(&none, 0.0, 0.0, 0, kStateStopped);
            }
            LOGTEXT::LogInfo("after callback");
        }
    }
}

void MediaScheduleThread(platform::StoppableThread& self) {
    Library& lib = Lib();
    const std::vector<uintptr_t> ids = ListedIds();
    if (ids.empty()) return;
    LOGTEXT::LogInfo("enter media time check thread");
    for (;;) {
        {
            std::lock_guard lk(lib.timelineLock);
            // A pause or stop that came while this pass waited for the lock
            // has already applied itself: no video may start after it.
            if (self.StopRequested()) {
                LOGTEXT::LogInfo("check thread stop thread");
                break;
            }
            PassLocked(ids);
        }
        if (self.StopEvent().Wait(10)) {
            LOGTEXT::LogInfo("check thread wait signal");
            break;
        }
        if (self.StopRequested()) {
            LOGTEXT::LogInfo("check thread stop thread");
            break;
        }
    }
    LOGTEXT::LogInfo("leave media time check thread");
}

}  // namespace

void StopPlayThread() {
    Library& lib = Lib();
    std::lock_guard lk(lib.timelineThreadLock);
    if (!lib.timelineThread) return;
    LOGTEXT::LogInfo("enter StopPlayThread");
    // A pass that opens a file may outlast the wait; the thread is then left
    // to end on its own stop, and it only reaches media through the list.
    lib.timelineThread->Stop(100, "StopPlayThread: the timeline thread did not end in time");
    lib.timelineThread.reset();
    LOGTEXT::LogInfo("leave StopPlayThread");
}

void SetTimelineTickSource(platform::TickSource* source) { g_tickSource = source; }

void StepTimeline() {
    std::lock_guard lk(Lib().timelineLock);
    PassLocked(ListedIds());
}

bool TimelineRunning() {
    Library& lib = Lib();
    std::lock_guard lk(lib.timelineThreadLock);
    return lib.timelineThread && lib.timelineThread->Running();
}

}  // namespace velmar

using namespace velmar;

extern "C" {

int Kestrane_Play() {
    LOGTEXT::LogInfo("Kestrane_Play is in");
    EnsureStarted();
    Library& lib = Lib();
    {
        std::lock_guard lk(lib.timelineLock);
        lib.timelineStartTick = TimelineTick();
        lib.timelinePlaying = true;
    }
    StopPlayThread();
    {
        std::lock_guard lk(lib.timelineThreadLock);
        lib.timelineThread = std::make_unique<platform::StoppableThread>();
        lib.timelineThread->Start(MediaScheduleThread, "velmar-timeline");
    }
    LOGTEXT::LogInfo("Kestrane_Play is over");
    return 1;
}

int Kestrane_SetCurrentTimeline(double t) {
    LOGTEXT::LogInfo("Kestrane_SetCurrentTimeline is in. ftime=%f", t);
    if (!std::isfinite(t)) {
        LOGTEXT::LogError("Kestrane_SetCurrentTimeline: time is not a number");
        return 0;
    }
    Library& lib = Lib();
    std::lock_guard lk(lib.timelineLock);
    if (std::fabs(t - lib.timelineLast) <= 0.00001) {
        LOGTEXT::LogInfo("Kestrane_SetCurrentTimeline is out off. ");
        return 1;
    }
    lib.timelineBase = t;
    lib.timelineLast = t;
    // The clock restarts at t, so a jump while playing lands on t itself
    // rather than on t plus the time already played.
    lib.timelineStartTick = TimelineTick();
    for (uintptr_t id : ListedIds()) {
        MediaBaseClass* m = FindListed(id);
        if (!m || m->m_nKind != kKindVideo) continue;
        auto* video = static_cast<FileVideo*>(m);
        if (!ApplyLoadingWindow(video, t, " in timeline")) continue;
        if (video->m_nState == kStatePlaying) {
            LOGTEXT::LogInfo("pause %s first", video->m_path.c_str());
            video->Pause();
            LOGTEXT::LogInfo("after pause");
        }
        if (video->m_fStartTime <= t && t <= video->m_fStopTime) {
            double local = t - video->m_fStartTime;
            // A window longer than the video repeats it.
            const double d = video->DurationSeconds();
            if (d > 0.0) {
                const double n = std::trunc(local / d);
                if (n > 0) local -= n * d;
            }
            if (std::fabs(local - video->PositionSeconds()) > 0.0001) {
                video->Seek(local);
                LOGTEXT::LogInfo("tolva %s setpos %f", video->m_path.c_str(), local);
            }
        }
    }
    LOGTEXT::LogInfo("Kestrane_SetCurrentTimeline is out off. ");
    return 1;
}

}  // extern "C"

namespace velmar {

void HoldTimeline(bool pause) {
    Library& lib = Lib();
    std::lock_guard lk(lib.timelineLock);
    if (lib.timelinePlaying && pause) {
        lib.timelineBase = TimelineNowLocked();
        lib.timelineLast = lib.timelineBase;
        lib.timelineStartTick = TimelineTick();
    }
    lib.timelinePlaying = false;
    ApplyToListedMedia(pause);
}

void SetTimelineRate(double rate) {
    Library& lib = Lib();
    std::lock_guard lk(lib.timelineLock);
    if (lib.timelinePlaying) {
        lib.timelineBase = TimelineNowLocked();
        lib.timelineStartTick = TimelineTick();
    }
    lib.timelineRate = rate;
}

}  // namespace velmar

extern "C" {

int Kestrane_SetMediaLayer(void* media, int layer, double start, double stop, const RECT* rect) {
    LOGTEXT::LogInfo("Kestrane_SetMediaLayer is in");
    Library& lib = Lib();
    std::lock_guard lk(lib.timelineLock);
    MediaBaseClass* m = FindListed(reinterpret_cast<uintptr_t>(media));
    if (!m) {
        LOGTEXT::LogInfo("Kestrane_SetMediaLayer leave for nothing");
        return 0;
    }
    if (std::fabs(stop - m->m_fStopTime) > 0.0001 || std::fabs(start - m->m_fStartTime) > 0.0001) {
        m->m_fStartTime = start;
        m->m_fStopTime = stop;
        m->m_nLayer = layer;
        if (rect) {
            m->m_rect[0] = rect->left;
            m->m_rect[1] = rect->top;
            m->m_rect[2] = rect->right;
            m->m_rect[3] = rect->bottom;
        }
        const double base = lib.timelineBase;
        if (m->m_nKind == kKindVideo && start <= base && base < stop)
            static_cast<FileVideo*>(m)->Seek(base - start);
    }
    LOGTEXT::LogInfo("Kestrane_SetMediaLayer leave and have set the value");
    return 1;
}

}  // extern "C"
