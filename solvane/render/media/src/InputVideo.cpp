#include "media/InputVideo.h"

#include <atomic>

#include "util/Util.h"

namespace {

void SetFlag(int32_t& v, int32_t value) { std::atomic_ref<int32_t>(v).store(value); }

void ReportNoDevice() {
    LOGTEXT::LogError("%s: %s", kNoCaptureCaption, kNoCaptureText);
}

}  // namespace

InputVideo::InputVideo(DeviceLister lister) : MediaBaseClass(kMediaCapture), m_lister(std::move(lister)) {}

InputVideo::~InputVideo() { Close(); }

bool InputVideo::Open(int32_t n, int32_t index, int32_t reserved) {
    Close();
    m_captureEvent.Reset();
    m_stopEvent.Reset();
    m_nReserved = reserved;
    common_.layer = index;
    m_renderer = std::make_unique<Velmarer>(index, reserved, this);

    const std::vector<av::CaptureDevice> devices = m_lister ? m_lister() : av::ListVideoCaptureDevices();
    if (devices.empty() || n < 0 || static_cast<size_t>(n) >= devices.size()) {
        ReportNoDevice();
        Close();
        return false;
    }
    const av::CaptureDevice& device = devices[static_cast<size_t>(n)];
    common_.name = device.name;
    av::OpenOptions options;
    options.inputFormat = device.inputFormat;
    options.demuxerOptions = device.options;
    options.live = true;
    av::OpenFailure failure;
    if (!m_player.Open(device.url, options, m_renderer.get(), &failure)) {
        LOGTEXT::LogDebug("open capture device failed. %s hr=0x%X %s", device.url.c_str(),
                          static_cast<uint32_t>(failure.code), failure.text.c_str());
        Close();
        return false;
    }
    return true;
}

bool InputVideo::OpenCaptureDevice(int32_t n, int32_t index, int32_t reserved, int32_t stereo) {
    if (!Open(n, index, reserved)) return false;
    common_.stereoFormat = stereo;
    Pause();
    return true;
}

bool InputVideo::LoadResource(const std::string&, int32_t index, int32_t reserved, int32_t) {
    if (!Open(0, index, reserved)) return false;
    Play();
    return true;
}

bool InputVideo::Close() {
    {
        auto lock = LockMedia();
        m_bFrameReady = false;
    }
    Stop();
    m_stopEvent.Set();
    m_captureEvent.Set();
    // The decode thread may be waiting for the media lock: closed without it.
    m_player.Close();
    m_renderer.reset();
    auto lock = LockMedia();
    FreeFrameLocked();
    m_nWidth = m_nHeight = 0;
    m_fAspect = 0.0f;
    m_nStride = 0;
    m_nFrameSize = 0;
    common_.state = kMediaNotLoaded;
    return true;
}

void InputVideo::Play() {
    // Nothing open: nothing starts, and the state does not claim it did.
    if (!m_player.IsOpen()) return;
    m_player.Run();
    common_.state = kMediaPlaying;
    if (m_renderer) m_renderer->Run();
    SetFlag(m_nRendererPaused, 0);
}

void InputVideo::Stop() {
    if (common_.state == kMediaStopped) return;
    SetFlag(m_nRendererPaused, 1);
    {
        auto lock = LockMedia();
        m_player.Stop();
        if (m_renderer) m_renderer->Stop();
    }
    common_.state = kMediaStopped;
}

void InputVideo::Pause() {
    if (common_.state == kMediaPaused) return;
    SetFlag(m_nRendererPaused, 1);
    {
        auto lock = LockMedia();
        m_player.Pause();
        if (m_renderer) m_renderer->Pause();
    }
    common_.state = kMediaPaused;
}

bool InputVideo::SetTexRect(float left, float right, float bottom, float top) {
    return MediaBaseClass::SetTexRect(left, right * m_fWidthScale, bottom, top);
}

bool InputVideo::GetTexRect(float& left, float& right, float& bottom, float& top) {
    MediaBaseClass::GetTexRect(left, right, bottom, top);
    right /= m_fWidthScale;
    return true;
}
