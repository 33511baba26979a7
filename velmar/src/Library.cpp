#include "Library.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <string>

#include "util/Util.h"
#include "velmar/MediaLibrary.h"
#include "velmar/kestrane.h"

namespace velmar {

Library& Lib() {
    // Never destroyed: the atexit path tears it down in order instead, and no
    // thread may meet a destroyed lock during exit.
    static Library* lib = new Library;
    return *lib;
}

MediaBaseClass* FindLiveLocked(void* media) {
    auto& lib = Lib();
    const auto it = lib.live.find(reinterpret_cast<uintptr_t>(media));
    return it == lib.live.end() ? nullptr : it->second.get();
}

MediaBaseClass* FindListedLocked(void* media) {
    MediaBaseClass* m = FindLiveLocked(media);
    if (!m) return nullptr;
    const auto& list = Lib().list;
    return std::find(list.begin(), list.end(), m) != list.end() ? m : nullptr;
}

namespace {

std::once_flag g_atexitOnce;
bool g_exiting = false;

void AtExit() {
    g_exiting = true;
    Shutdown();
}

void NotifyLoop(platform::StoppableThread& self) {
    auto& lib = Lib();
    while (platform::Event::WaitAny({&self.StopEvent(), &lib.notifyWake}) == 1) {
        std::deque<uintptr_t> ids;
        {
            std::lock_guard lk(lib.notifyLock);
            ids.swap(lib.notifyQueue);
        }
        for (uintptr_t id : ids) {
            // A media removed after its event was queued is skipped.
            std::lock_guard lk(lib.listLock);
            MediaBaseClass* m = FindLiveLocked(reinterpret_cast<void*>(id));
            if (m && m->m_nKind == kKindVideo) static_cast<FileVideo*>(m)->HandleEvents();
        }
    }
}

void PostEvent(FileVideo* video) {
    auto& lib = Lib();
    {
        std::lock_guard lk(lib.notifyLock);
        lib.notifyQueue.push_back(reinterpret_cast<uintptr_t>(video->m_id));
    }
    lib.notifyWake.Set();
}

// Takes every media out (or the one given) under the lock; the caller
// destroys them after releasing it.
std::vector<std::unique_ptr<MediaBaseClass>> TakeOut(void* media, bool all) {
    auto& lib = Lib();
    std::vector<std::unique_ptr<MediaBaseClass>> out;
    std::lock_guard tl(lib.timelineLock);
    std::lock_guard lk(lib.listLock);
    if (all) {
        for (auto& [id, m] : lib.live) out.push_back(std::move(m));
        lib.live.clear();
        lib.list.clear();
        return out;
    }
    const auto it = lib.live.find(reinterpret_cast<uintptr_t>(media));
    if (it == lib.live.end()) return out;
    std::erase(lib.list, it->second.get());
    out.push_back(std::move(it->second));
    lib.live.erase(it);
    return out;
}

void Destroy(std::vector<std::unique_ptr<MediaBaseClass>>& media) {
    for (auto& m : media) {
        LOGTEXT::LogInfo("will remove it ");
        m->Close();
        m.reset();
    }
}


}  // namespace

void EnsureStarted() {
    std::call_once(g_atexitOnce, [] { std::atexit(AtExit); });
    auto& lib = Lib();
    if (!lib.notifier.Running()) lib.notifier.Start(NotifyLoop, "velmar-notify");
}

// ------------------------------------------------------ C++ side ----

void Shutdown() {
    auto& lib = Lib();
    StopPlayThread();
    auto all = TakeOut(nullptr, true);
    Destroy(all);
    lib.notifier.Stop();
    {
        std::lock_guard lk(lib.notifyLock);
        lib.notifyQueue.clear();
    }
    ReleaseRenderContext(g_exiting);
}

void SetCaptureSourceLister(std::function<std::vector<CaptureSource>()> lister) {
    auto& lib = Lib();
    std::lock_guard lk(lib.captureLock);
    lib.captureLister = std::move(lister);
}

std::vector<CaptureSource> CaptureSources() {
    auto& lib = Lib();
    {
        std::lock_guard lk(lib.captureLock);
        if (lib.captureLister) return lib.captureLister();
    }
    std::vector<CaptureSource> out;
    for (const av::CaptureDevice& d : av::ListVideoCaptureDevices())
        out.push_back(CaptureSource{d.name, d.inputFormat, d.url, d.options});
    return out;
}

bool CopyMediaFrame(void* media, FrameCopy& out) {
    auto& lib = Lib();
    std::lock_guard lk(lib.listLock);
    MediaBaseClass* m = FindLiveLocked(media);
    if (!m) return false;
    auto lock = m->LockFrame();
    const size_t size = std::min(m->m_frame.size(), static_cast<size_t>(std::max(m->m_nFrameSize, 0)));
    if (m->m_nWidth <= 0 || m->m_nHeight <= 0 || size == 0) return false;
    out.width = m->m_nWidth;
    out.height = m->m_nHeight;
    out.stride = m->m_nStride;
    out.bitsPerPixel = m->m_nBitsPerPixel;
    out.bits.assign(m->m_frame.data(), m->m_frame.data() + size);
    return true;
}

int MediaPlayState(void* media) {
    std::lock_guard lk(Lib().listLock);
    MediaBaseClass* m = FindLiveLocked(media);
    return m ? m->m_nState.load() : 0;
}

double MediaEngineRate(void* media) {
    std::lock_guard lk(Lib().listLock);
    MediaBaseClass* m = FindLiveLocked(media);
    if (!m || m->m_nKind != kKindVideo) return 0.0;
    auto* video = static_cast<FileVideo*>(m);
    return video->m_bLoaded && video->Player().IsOpen() ? video->Player().Rate() : 0.0;
}

int LiveMediaCount() {
    auto& lib = Lib();
    std::lock_guard lk(lib.listLock);
    return static_cast<int>(lib.live.size());
}

bool IsLiveMedia(void* media) {
    std::lock_guard lk(Lib().listLock);
    return FindLiveLocked(media) != nullptr;
}

}  // namespace velmar

using namespace velmar;

// ----------------------------------------------------------- exports ----

extern "C" {

void* Kestrane_AddMedia(int layer, int type, const char* path, KestraneMediaCallback callback, void* user) {
    LOGTEXT::LogInfo("Kestrane_AddMedia is in");
    if (!path) {
        LOGTEXT::LogInfo("Kestrane_AddMedia leave for NULL");
        return nullptr;
    }
    LOGTEXT::LogInfo("media path=%s,layer=%d,type=%d", path, layer, type);
    auto& lib = Lib();
    std::unique_ptr<MediaBaseClass> media;
    switch (type) {
        case KESTRANE_MEDIA_VIDEO: media = std::make_unique<FileVideo>(); break;
        case KESTRANE_MEDIA_CAPTURE: media = std::make_unique<InputVideo>(); break;
        case KESTRANE_MEDIA_PICTURE: media = std::make_unique<BMP>(); break;
        case KESTRANE_MEDIA_SCREEN: media = std::make_unique<CScreenCapGDI>(); break;
        default:
            LOGTEXT::LogInfo("Kestrane_AddMedia leave. add result=%p", static_cast<void*>(nullptr));
            return nullptr;
    }
    {
        std::lock_guard lk(lib.listLock);
        // Numbers are never handed out twice, so a stale id never names a
        // newer media; they stay within an int for callers that keep one.
        if (lib.nextId >= static_cast<uintptr_t>(INT_MAX)) {
            LOGTEXT::LogError("Kestrane_AddMedia: media ids used up");
            return nullptr;
        }
        media->m_id = reinterpret_cast<void*>(lib.nextId++);
    }
    EnsureStarted();
    // The callback is in place before any source thread can call it.
    media->m_callback = callback;
    media->m_user = user;
    bool ok = false;
    bool listed = false;
    switch (type) {
        case KESTRANE_MEDIA_VIDEO: {
            auto* video = static_cast<FileVideo*>(media.get());
            video->m_onEvent = PostEvent;
            ok = video->LoadResource(path, 0, layer, -1);
            listed = true;
            break;
        }
        case KESTRANE_MEDIA_PICTURE:
            ok = media->LoadResource(path, 0, layer, -1);
            listed = true;
            break;
        case KESTRANE_MEDIA_SCREEN:
            ok = media->LoadResource(path, layer, 0, -1);
            break;
        case KESTRANE_MEDIA_CAPTURE: {
            auto* capture = static_cast<InputVideo*>(media.get());
            ok = capture->Open(std::atoi(path));
            if (ok) {
                capture->m_path = path;
                capture->Play();
            }
            break;
        }
    }
    if (!ok) {
        media->Close();
        LOGTEXT::LogInfo("Kestrane_AddMedia leave. add result=%p", static_cast<void*>(nullptr));
        return nullptr;
    }
    LOGTEXT::LogInfo("load ok");
    MediaBaseClass* raw = media.get();
    void* id = raw->m_id;
    {
        std::lock_guard lk(lib.listLock);
        if (listed) lib.list.push_back(raw);
        lib.live.emplace(reinterpret_cast<uintptr_t>(id), std::move(media));
    }
    if (type == KESTRANE_MEDIA_PICTURE && callback) {
        BITMAPINFOHEADER header;
        {
            auto lock = raw->LockFrame();
            header = raw->FormatLocked();
        }
        raw->Notify(&header, 0.0, 0.0, 0, KESTRANE_STATE_PLAYING);
    }
    LOGTEXT::LogInfo("Kestrane_AddMedia leave. add result=%p", id);
    return id;
}

int Kestrane_GetMediaInfo(void* media, void** frame, int* width, int* height, double* position,
                          double* duration) {
    LOGTEXT::LogInfo("Kestrane_GetMediaInfo is in mediaid=%p", media);
    auto& lib = Lib();
    std::lock_guard lk(lib.listLock);
    MediaBaseClass* m = FindListedLocked(media);
    if (!m) {
        LOGTEXT::LogInfo("Kestrane_GetMediaInfo leave. not find mediaid");
        return 0;
    }
    {
        auto lock = m->LockFrame();
        if (frame) *frame = m->m_frame.data();
        if (width) *width = m->m_nWidth;
        if (height) *height = m->m_nHeight;
    }
    if (m->m_nKind == kKindVideo) {
        auto* video = static_cast<FileVideo*>(m);
        // Whole seconds, as the console shows them.
        const double pos = static_cast<double>(video->Position100ns() / av::kUnitsPerSecond);
        const double dur = static_cast<double>(video->Duration100ns() / av::kUnitsPerSecond);
        if (position) *position = pos;
        if (duration) *duration = dur;
        LOGTEXT::LogInfo("Kestrane_GetMediaInfo leave. current pos=%f.duration=%f", pos, dur);
    }
    return 1;
}

int Kestrane_RemoveMedia(void* media) {
    LOGTEXT::LogInfo("Kestrane_RemoveMedia is in");
    LOGTEXT::LogInfo("Kestrane_RemoveMedia will find media");
    StopPlayThread();
    auto taken = TakeOut(media, media == nullptr);
    const bool found = !taken.empty();
    Destroy(taken);
    if (media && found) {
        LOGTEXT::LogInfo("Kestrane_RemoveMedia leave and find media to remove.");
        return 1;
    }
    LOGTEXT::LogInfo("Kestrane_RemoveMedia leave for nothing");
    return 0;
}

int Kestrane_MuteMedia(int mute, void* media) {
    LOGTEXT::LogInfo("Kestrane_MuteMedia is in.mute=%d.mediaid=%p", mute, media);
    auto& lib = Lib();
    int changed = 0;
    {
        std::lock_guard lk(lib.listLock);
        for (MediaBaseClass* m : lib.list) {
            if (m->m_nKind != kKindVideo || (media && m->m_id != media)) continue;
            if (static_cast<FileVideo*>(m)->SetVolume(mute ? 0 : 100)) ++changed;
        }
    }
    LOGTEXT::LogInfo("Kestrane_MuteMedia leave for nothing");
    return changed;
}

int Kestrane_SetPlayRate(double rate, void* media) {
    LOGTEXT::LogInfo("Kestrane_SetPlayRate is in.rate=%f.mediaid=%p", rate, media);
    auto& lib = Lib();
    int changed = 0;
    // A rate for every media is the timeline's rate too: its clock must keep
    // pace with the videos it starts.
    if (!media && std::isfinite(rate) && rate > 0.0) SetTimelineRate(rate);
    {
        std::lock_guard lk(lib.listLock);
        for (MediaBaseClass* m : lib.list) {
            if (m->m_nKind != kKindVideo || (media && m->m_id != media)) continue;
            if (static_cast<FileVideo*>(m)->SetRate(rate)) ++changed;
        }
    }
    LOGTEXT::LogInfo("Kestrane_SetPlayRate leave for nothing");
    return changed;
}

}  // extern "C"

namespace {

enum class Op { Play, Pause, Stop };

void Apply(MediaBaseClass* m, Op op) {
    switch (op) {
        case Op::Play: m->Play(); break;
        case Op::Pause: m->Pause(); break;
        case Op::Stop: m->Stop(); break;
    }
}

int ApplyToMedia(void* media, Op op) {
    auto& lib = Lib();
    std::lock_guard lk(lib.listLock);
    if (!media) {
        for (MediaBaseClass* m : lib.list) Apply(m, op);
        return 1;
    }
    MediaBaseClass* m = FindListedLocked(media);
    if (!m) return 0;
    Apply(m, op);
    return 1;
}

}  // namespace

namespace velmar {
void ApplyToListedMedia(bool pause) { ApplyToMedia(nullptr, pause ? Op::Pause : Op::Stop); }
}  // namespace velmar

extern "C" {

int Kestrane_Pause() {
    LOGTEXT::LogInfo("Kestrane_Pause is in");
    StopPlayThread();
    HoldTimeline(true);
    LOGTEXT::LogInfo("Kestrane_Pause is over");
    return 1;
}

int Kestrane_Stop() {
    LOGTEXT::LogInfo("Kestrane_Stop is in");
    StopPlayThread();
    HoldTimeline(false);
    LOGTEXT::LogInfo("Kestrane_Stop is over");
    return 1;
}

int Kestrane_PlayMedia(void* media) { return ApplyToMedia(media, Op::Play); }
int Kestrane_PauseMedia(void* media) { return ApplyToMedia(media, Op::Pause); }
int Kestrane_StopMedia(void* media) { return ApplyToMedia(media, Op::Stop); }

void Kestrane_CalcVertexValue2() {}

}  // extern "C"
