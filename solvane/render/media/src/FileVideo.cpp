#include "media/FileVideo.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cmath>

#include "core/Seams.h"
#include "util/Util.h"

namespace {

void SetFlag(int32_t& v, int32_t value) { std::atomic_ref<int32_t>(v).store(value); }

// The last three characters of the path, lower case.
std::string Extension3(const std::string& path) {
    if (path.size() < 3) return {};
    std::string ext = path.substr(path.size() - 3);
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext;
}

uint32_t Hex(int32_t code) { return static_cast<uint32_t>(code); }

}  // namespace

FileVideo::FileVideo(bool syncMedia, std::string audioDevice)
    : MediaBaseClass(kMediaFileVideo), m_bSyncMedia(syncMedia), m_strAudioDevice(std::move(audioDevice)) {
    common_.state = kMediaPlaying;
}

FileVideo::~FileVideo() {
    SetNotifyWindow(nullptr);
    Close();
    auto lock = LockMedia();
    FreeFrameLocked();
}

bool FileVideo::LoadResource(const std::string& path, int32_t index, int32_t reserved, int32_t stereo) {
    if (m_nGraphState != kGraphNone) Close();
    m_stopEvent.Reset();
    m_dCurrentRate = m_dInitialRate = -1.0;

    m_nGraphState = kGraphCreated;
    m_frameEvent = std::make_unique<platform::Event>(false, false);
    common_.name = path;
    common_.layer = index;
    m_nReserved = reserved;
    m_renderer = std::make_unique<Velmarer>(index, reserved, this);
    common_.stereoFormat = stereo;

    // avi and mp4 files are opened with their own demuxer, like a splitter
    // named by the extension; other files, or when that fails, are probed.
    av::OpenFailure failure;
    bool opened = false;
    av::OpenOptions probed;
    probed.audioDevice = m_strAudioDevice;
    probed.audioLog = [path](const std::string& text) { LOGTEXT::LogInfo("%s: %s", path.c_str(), text.c_str()); };
    const std::string ext = Extension3(path);
    if (ext == "avi" || ext == "mp4") {
        av::OpenOptions named = probed;
        named.inputFormat = ext;
        opened = m_player.Open(path, named, m_renderer.get(), &failure);
        if (!opened && failure.stage == av::OpenStage::Source)
            LOGTEXT::LogDebug("connect pin failed. hr=0x%X", Hex(failure.code));
    } else {
        LOGTEXT::LogDebug("Error to create splitter filter");
    }
    m_bSplitter = opened;
    if (!opened && failure.stage <= av::OpenStage::Source) opened = m_player.Open(path, probed, m_renderer.get(), &failure);
    if (!opened) {
        switch (failure.stage) {
        case av::OpenStage::VideoStream:
            LOGTEXT::LogDebug("Load File error. add render filter. hr=0x%X.error=%d", Hex(failure.code), 0);
            break;
        case av::OpenStage::Decoder:
            LOGTEXT::LogDebug("Load File error. render filter. hr=%d.error=%d", failure.code, 0);
            break;
        default:
            LOGTEXT::LogDebug("Add source filter failed. hr=0x%x ", Hex(failure.code));
            break;
        }
        Close();
        return false;
    }

    // The stream's shape is known once the file is open: callers that answer
    // with the size right after loading must not wait for the first frame.
    const int32_t width = m_player.Width(), height = m_player.Height();
    if (width > 0 && height > 0) {
        auto lock = LockMedia();
        PrepareFrameLocked(width, height, width * 4, 4);
    }
    m_dCurrentRate = m_dInitialRate = m_player.Rate();
    m_dFrameTime = m_player.FrameTime();
    m_player.Seek(0);
    m_llDuration = m_player.Duration();
    if (m_bSyncMedia) {
        // Positions stay in media time: frame numbers are not offered.
        LOGTEXT::LogDebug("set frame format result =0x%x", Hex(m_player.SetFrameTimeFormat()));
    }
    m_dDuration = static_cast<double>(m_llDuration) / static_cast<double>(av::kUnitsPerSecond);
    if (m_bSyncMedia) {
        auto clock = std::make_shared<CMySyncSourceClock>(this);
        {
            auto lock = LockMedia();
            m_pSyncClock = clock;
        }
        if (!m_player.SetClock(clock)) LOGTEXT::LogDebug("set sync source failed");
    }
    m_player.SetEventCallback([this] { OnPlayerEvent(); });
    SetVolume(m_nVolume);
    m_nGraphState = kGraphBuilt;
    // The player cues its first frame, which the renderer shows although paused.
    Pause();
    m_bLoaded = true;
    m_seekEvent = std::make_unique<platform::Event>(false, false);
    return true;
}

bool FileVideo::Close() {
    if (m_nGraphState == kGraphNone) return true;
    {
        auto lock = LockMedia();
        m_bFrameReady = false;
    }
    Stop();
    m_stopEvent.Set();
    if (m_seekEvent) m_seekEvent->Set();
    // The decode thread may be waiting for the media lock to hand over a
    // frame: the player is closed without holding it.
    m_player.Close();
    m_renderer.reset();
    {
        auto lock = LockMedia();
        m_pSyncClock.reset();
        m_nWidth = m_nHeight = 0;
        m_fAspect = 0.0f;
        m_nStride = 0;
        m_nFrameSize = 0;
        m_bFrameReady = false;
        common_.state = kMediaNotLoaded;
    }
    m_seekEvent.reset();
    m_bLoaded = false;
    m_nGraphState = kGraphNone;
    return true;
}

void FileVideo::Play() {
    if (!GraphBuilt() || common_.state == kMediaPlaying) return;
    m_renderer->Run();
    {
        auto lock = LockMedia();
        m_player.Run();
    }
    common_.state = kMediaPlaying;
}

void FileVideo::Stop() {
    if (!GraphBuilt() || common_.state == kMediaStopped) return;
    SetFlag(m_nRendererPaused, 1);
    if (m_frameEvent) m_frameEvent->Set();
    {
        auto lock = LockMedia();
        m_player.Stop();
        m_renderer->Stop();
        m_player.Seek(0);
        m_dCachedPosition = 0.0;
        m_llSeekPosition = 0;
        std::atomic_ref<int32_t>(m_nDelivered[0]).store(0);
    }
    common_.state = kMediaStopped;
}

void FileVideo::Pause() {
    if (!GraphBuilt() || common_.state == kMediaPaused) return;
    SetFlag(m_nRendererPaused, 1);
    if (m_frameEvent) m_frameEvent->Set();
    {
        auto lock = LockMedia();
        m_player.Pause();
        m_renderer->Pause();
    }
    common_.state = kMediaPaused;
}

void FileVideo::SetNotifyWindow(IOutputWindow* window) {
    std::lock_guard lock(m_notifyLock);
    m_pNotifyWindow = window;
}

void FileVideo::OnPlayerEvent() {
    std::lock_guard lock(m_notifyLock);
    if (m_pNotifyWindow) m_pNotifyWindow->PostMediaEvent(this);
}

std::shared_ptr<CMySyncSourceClock> FileVideo::SyncClock() {
    // Other threads read the clock (status reports); Close drops it.
    auto lock = LockMedia();
    return m_pSyncClock;
}

bool FileVideo::ClockTimeMs(uint32_t& ms) {
    const auto clock = SyncClock();
    if (!clock) return false;
    ms = clock->GetTimeMs();
    return true;
}

bool FileVideo::SeekTo(int64_t position) {
    if (!m_player.IsOpen()) return true;
    SetFlag(m_nRendererPaused, 1);
    bool ok;
    {
        auto lock = LockMedia();
        if (m_seekEvent) m_seekEvent->Set();
        ok = m_player.Seek(position);
    }
    SetFlag(m_nRendererPaused, 0);
    return ok;
}

void FileVideo::SetPosition(double seconds) {
    // Not a number, or beyond any media: nothing to seek to.
    if (!std::isfinite(seconds) || !m_player.IsOpen()) return;
    const double units = std::clamp(seconds, 0.0, 1e12) * static_cast<double>(av::kUnitsPerSecond);
    SetFlag(m_nRendererPaused, 1);
    {
        auto lock = LockMedia();
        m_player.Seek(static_cast<int64_t>(units));
    }
    SetFlag(m_nRendererPaused, 0);
}

double FileVideo::GetPosition() {
    if (!m_player.IsOpen()) return 0.0;
    return static_cast<double>(m_player.Position()) / static_cast<double>(av::kUnitsPerSecond);
}

double FileVideo::GetDuration() {
    if (!m_player.IsOpen()) return 0.0;
    return static_cast<double>(m_player.Duration()) / static_cast<double>(av::kUnitsPerSecond);
}

bool FileVideo::GetSeekPosition(int64_t& position) {
    if (common_.state < kMediaPlaying || !m_player.IsOpen()) return false;
    auto lock = LockMedia();
    position = m_player.Position();
    return true;
}

bool FileVideo::SetPlayRate(double rate) {
    if (!m_player.SetRate(rate)) return false;
    m_dCurrentRate = rate;
    return true;
}

void FileVideo::SetVolume(int32_t volume) {
    volume = std::clamp(volume, 0, 100);
    std::atomic_ref<int32_t>(m_nVolume).store(volume);
    // 100 is full level, 0 silence, on a square curve in hundredths of a decibel.
    m_player.SetVolume(-(volume - 100) * (volume - 100));
}

int32_t FileVideo::GetVolume() {
    if (!m_player.IsOpen()) return 0;
    // The level as set: read back from the curve it would not be the same
    // number (90 would come back as 99), and stepping it would go astray.
    return std::atomic_ref<int32_t>(m_nVolume).load();
}

uint32_t FileVideo::GetSyncTime() {
    const auto clock = SyncClock();
    return clock ? clock->GetTimeMs() : 0;
}

void FileVideo::SetSyncTime(uint32_t ms) {
    if (const auto clock = SyncClock()) clock->SetTimeMs(ms);
}

bool FileVideo::NextPlayerEvent(int32_t& code) { return m_player.NextEvent(code); }

void FileVideo::SignalStop() {
    m_stopEvent.Set();
    // Tasks wait for the end of their videos on the shared event.
    if (common_.finished) common_.finished->Set();
}

void FileVideo::NoteRenderedPositionLocked(int64_t position) {
    m_llSeekPosition = position;
    m_dCachedPosition = static_cast<double>(position) / static_cast<double>(av::kUnitsPerSecond);
}
