#include "Media.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/picture.h"
#include "platform/tick.h"
#include "util/Util.h"

namespace velmar {

// ------------------------------------------------------------ base ----

bool MediaBaseClass::LoadResource(const std::string&, int32_t a2, int32_t layer, int32_t) {
    m_nArg2 = a2;
    m_nLayer = layer;
    return true;
}

void MediaBaseClass::FillRegions(std::vector<ColorRegion> regions) {
    auto lock = LockFrame();
    if (m_frame.empty() || m_nState.load() == kStateNew || m_nStride <= 0) return;
    // Whole pixels of the buffer's own depth, so a 32-bit picture is painted
    // pixel by pixel too.
    const int32_t bpp = std::max(1, m_nBitsPerPixel / 8);
    const int32_t usable = m_nStride / bpp * bpp;
    auto column = [&](float x) {
        const double c = std::floor(static_cast<double>(x) * m_nStride / bpp) * bpp;
        return static_cast<int32_t>(std::clamp(std::isfinite(c) ? c : 0.0, 0.0, static_cast<double>(usable)));
    };
    auto row = [&](float y) {
        const double r = static_cast<double>(y) * m_nHeight;
        return static_cast<int32_t>(std::clamp(std::isfinite(r) ? r : 0.0, 0.0, static_cast<double>(m_nHeight)));
    };
    for (const ColorRegion& reg : regions) {
        int32_t c0 = column(reg.x0), c1 = column(reg.x1), r0 = row(reg.y0), r1 = row(reg.y1);
        if (c0 > c1) std::swap(c0, c1);
        if (r0 > r1) std::swap(r0, r1);
        for (int32_t r = r0; r < r1; ++r) {
            uint8_t* line = m_frame.data() + size_t(r) * m_nStride;
            for (int32_t c = c0; c + 3 <= c1; c += bpp) {
                line[c] = reg.b;
                line[c + 1] = reg.g;
                line[c + 2] = reg.r;
            }
        }
    }
}

void MediaBaseClass::SetTexRect(float l, float r, float t, float b) { m_texRect = {l, r, t, b}; }
FloatRect MediaBaseClass::GetTexRect() const { return m_texRect; }

bool MediaBaseClass::FitAspect(float l, float r, float t, float b) {
    const float w = r - l, h = b - t;
    if (w / h < m_fAspect)
        m_texRect = {l, r, b - w / m_fAspect, b};
    else
        m_texRect = {l, l + h * m_fAspect, t, b};
    return true;
}

void MediaBaseClass::SetViewRect(float a, float b, float c, float d) { m_viewRect = {a, b, c, d}; }
FloatRect MediaBaseClass::GetViewRect() const { return m_viewRect; }

void MediaBaseClass::Notify(const BITMAPINFOHEADER* format, double position, double duration, int atZero,
                            int state) {
    if (!m_callback) return;
    m_callback(m_id, m_frame.data(), format, position, duration, atZero, state, m_user);
}

BITMAPINFOHEADER MediaBaseClass::FormatLocked() const {
    BITMAPINFOHEADER h{};
    h.biSize = sizeof(BITMAPINFOHEADER);
    h.biWidth = m_nWidth;
    h.biHeight = m_nHeight;
    h.biPlanes = 1;
    h.biBitCount = static_cast<uint16_t>(m_nBitsPerPixel);
    h.biSizeImage = static_cast<uint32_t>(m_nFrameSize);
    return h;
}

void MediaBaseClass::ReserveFrameLocked(size_t size) {
    if (m_frame.capacity() < size) {
        LOGTEXT::LogInfo("resize buf. %s . %zu", m_path.c_str(), size);
        std::vector<uint8_t> bigger;
        bigger.reserve(size);
        m_frame.swap(bigger);
    }
    // Within the capacity the buffer stays where it is.
    m_frame.assign(size, 0);
}

// ------------------------------------------------------- renderer ----

bool Velmarer::OnFormat(const av::FrameFormat& format) {
    if (!m_owner || m_owner->m_nKind == kKindPicture) return false;
    // Only 24-bit rows are taken, bottom-up (positive height).
    if (format.bitsPerPixel != 24 || format.width <= 0 || format.height <= 0) return false;
    const int32_t stride = av::BitmapStride(format.width, format.bitsPerPixel);
    if (format.stride != 0 && format.stride < format.width * 3) return false;
    m_header = {};
    m_header.biSize = sizeof(BITMAPINFOHEADER);
    m_header.biWidth = format.width;
    m_header.biHeight = format.height;
    m_header.biPlanes = 1;
    m_header.biBitCount = 24;
    m_header.biSizeImage = static_cast<uint32_t>(int64_t{stride} * format.height);
    m_rowCopy = stride != format.width * 3;
    auto lock = m_owner->LockFrame();
    m_owner->m_nWidth = format.width;
    m_owner->m_nHeight = format.height;
    m_owner->m_nStride = stride;
    m_owner->m_nBitsPerPixel = 24;
    m_owner->m_nFrameSize = static_cast<int32_t>(m_header.biSizeImage);
    m_owner->m_fAspect = static_cast<float>(format.width) / static_cast<float>(format.height);
    m_owner->ReserveFrameLocked(m_header.biSizeImage);
    return true;
}

void Velmarer::CopySample(const uint8_t* bits, size_t size) {
    MediaBaseClass& o = *m_owner;
    const size_t frameSize = o.m_frame.size();
    if (!m_rowCopy || size == frameSize) {
        std::memcpy(o.m_frame.data(), bits, std::min(size, frameSize));
        return;
    }
    // Rows of the sample's own length into rows of the buffer's stride.
    const size_t rows = static_cast<size_t>(o.m_nHeight);
    const size_t rowLen = rows ? size / rows : 0;
    const size_t n = std::min(rowLen, static_cast<size_t>(o.m_nStride));
    for (size_t r = 0; r < rows; ++r) std::memcpy(o.m_frame.data() + r * o.m_nStride, bits + r * rowLen, n);
}

void Velmarer::OnFrame(const uint8_t* bits, size_t size, int64_t position, bool preroll) {
    if (!m_owner || m_owner->m_nKind == kKindPicture || !bits) return;
    ++m_frames;
    auto* video = m_owner->m_nKind == kKindVideo ? static_cast<FileVideo*>(m_owner) : nullptr;
    const bool first = video && preroll;
    if (first) LogCopyStart();
    {
        auto lock = m_owner->LockFrame();
        if (m_owner->m_frame.empty()) return;
        CopySample(bits, size);
        if (video) video->m_pos100ns.store(position);
        m_owner->m_bNewFrame = true;
    }
    const int state = m_owner->m_nState.load();
    if (!video) {
        m_owner->Notify(&m_header, 0.0, 0.0, 0, state);
        return;
    }
    const int64_t duration = video->m_player.Duration();
    if (first) {
        LOGTEXT::LogDebug("after cpy data FirstSample");
        const double pos = static_cast<double>(position) / 10000000.0;
        const double dur = static_cast<double>(duration) / 10000000.0;
        if (m_owner->m_callback) {
            LOGTEXT::LogDebug("befor callback in first sample.currentpos=%f,duration=%f", pos, dur);
            m_owner->Notify(&m_header, pos, dur, position == 0 ? 1 : 0, state);
            LOGTEXT::LogDebug("after callback in first sample. ");
        }
        LOGTEXT::LogDebug("out of FirstSample");
        return;
    }
    m_owner->Notify(&m_header, static_cast<double>(position) / av::kUnitsPerSecond,
                    static_cast<double>(duration) / av::kUnitsPerSecond, 0, state);
}

void Velmarer::LogCopyStart() {
    LOGTEXT::LogDebug("in FirstSample");
    LOGTEXT::LogDebug("before cpy data FirstSample");
}

CMySyncSourceClock::CMySyncSourceClock() : av::SyncClock(platform::GetTickCount()) {}

// ----------------------------------------------------- video file ----

FileVideo::~FileVideo() { FileVideo::Close(); }

bool FileVideo::LoadResource(const std::string& path, int32_t a2, int32_t layer, int32_t split) {
    m_event.Reset();
    Close();
    m_bLoaded = 1;
    m_path = path;
    m_nArg2 = a2;
    m_nLayer = layer;
    m_nSplit = split;
    m_renderer = std::make_unique<Velmarer>(this);
    av::OpenFailure failure;
    if (!m_player.Open(path, av::OpenOptions{}, m_renderer.get(), &failure)) {
        if (failure.stage == av::OpenStage::Source)
            LOGTEXT::LogError("Add source filter failed. hr=0x%x ", static_cast<uint32_t>(failure.code));
        else
            LOGTEXT::LogError("connect failed. hr=0x%X %s", static_cast<uint32_t>(failure.code), failure.text.c_str());
        Close();
        return false;
    }
    m_player.SetEventCallback([this] {
        if (m_onEvent) m_onEvent(this);
    });
    // The picture's shape is known once the file is open, so the caller can
    // ask for the frame buffer before the first picture has arrived.
    const int32_t w = m_player.Width(), h = m_player.Height();
    if (w > 0 && h > 0) {
        auto lock = LockFrame();
        m_nWidth = w;
        m_nHeight = h;
        m_nStride = av::BitmapStride(w, 24);
        m_nBitsPerPixel = 24;
        m_nFrameSize = m_nStride * h;
        m_fAspect = static_cast<float>(w) / static_cast<float>(h);
        ReserveFrameLocked(static_cast<size_t>(m_nFrameSize));
    }
    m_player.SetVolume(0);
    m_player.SetRate(m_dRate.load());
    m_player.SetClock(std::make_shared<CMySyncSourceClock>());
    m_pos100ns = 0;
    // Paused, the first picture arrives through the renderer.
    m_player.Pause();
    m_nState = kStatePaused;
    return true;
}

bool FileVideo::Close() {
    // The decode thread may wait for the frame lock: closed without it.
    m_player.Close();
    m_renderer.reset();
    m_bLoaded = 0;
    m_pos100ns = 0;
    return true;
}

void FileVideo::Play() {
    if (!m_bLoaded || m_nState == kStatePlaying) return;
    m_player.Run();
    m_bSeeking = 0;
    m_nState = kStatePlaying;
}

void FileVideo::Pause() {
    if (!m_bLoaded || m_nState == kStatePaused) return;
    m_bSeeking = 1;
    m_event.Set();
    {
        auto lock = LockFrame();
        m_player.Pause();
    }
    m_nState = kStatePaused;
}

void FileVideo::Stop() {
    if (!m_bLoaded || m_nState == kStateStopped) return;
    m_bSeeking = 1;
    m_event.Set();
    {
        auto lock = LockFrame();
        m_player.Stop();
        m_player.Seek(0);
    }
    m_pos100ns = 0;
    m_nState = kStateStopped;
}

void FileVideo::Seek(double seconds) {
    if (!m_bLoaded || !std::isfinite(seconds)) return;
    m_bSeeking = 1;
    {
        auto lock = LockFrame();
        const int64_t pos = static_cast<int64_t>(std::max(0.0, seconds) * av::kUnitsPerSecond);
        m_player.Seek(pos);
        m_pos100ns = pos;
    }
    m_bSeeking = 0;
}

int64_t FileVideo::Position100ns() const { return m_bLoaded ? m_player.Position() : 0; }
int64_t FileVideo::Duration100ns() const { return m_bLoaded ? m_player.Duration() : 0; }
double FileVideo::PositionSeconds() const { return static_cast<double>(Position100ns()) / av::kUnitsPerSecond; }
double FileVideo::DurationSeconds() const { return static_cast<double>(Duration100ns()) / av::kUnitsPerSecond; }

bool FileVideo::SetRate(double rate) {
    if (!std::isfinite(rate) || rate <= 0.0) return false;
    m_dRate = rate;
    if (m_bLoaded) m_player.SetRate(rate);
    return true;
}

bool FileVideo::SetVolume(int volume) {
    if (!m_bLoaded) return false;
    volume = std::clamp(volume, 0, 100);
    return m_player.SetVolume((volume - 100) * 100);
}

int FileVideo::Volume() const { return m_player.Volume() / 100 + 100; }

void FileVideo::HandleEvents() {
    int32_t code = 0;
    while (m_bLoaded && m_player.NextEvent(code)) {
        if (code == av::kEventComplete) {
            Stop();
            m_event.Set();
            LOGTEXT::LogInfo("播放完成通知处理完毕");
        }
    }
}

// -------------------------------------------------- capture device ----

InputVideo::~InputVideo() { InputVideo::Close(); }

bool InputVideo::Open(int32_t n) {
    Close();
    m_event.Reset();
    const std::vector<CaptureSource> sources = CaptureSources();
    if (sources.empty()) {
        LOGTEXT::LogError("No Video Capture Hardware: No video capture device was detected.");
        return false;
    }
    if (n < 0 || static_cast<size_t>(n) >= sources.size()) {
        LOGTEXT::LogError("no video capture device %d (%zu found)", n, sources.size());
        return false;
    }
    const CaptureSource& s = sources[static_cast<size_t>(n)];
    LOGTEXT::LogInfo("open video capture device %d: %s", n, s.name.c_str());
    m_renderer = std::make_unique<Velmarer>(this);
    av::OpenOptions options;
    options.inputFormat = s.inputFormat;
    options.demuxerOptions = s.options;
    options.live = true;
    av::OpenFailure failure;
    if (!m_player.Open(s.url, options, m_renderer.get(), &failure)) {
        LOGTEXT::LogError("open capture device failed. %s hr=0x%X %s", s.url.c_str(),
                          static_cast<uint32_t>(failure.code), failure.text.c_str());
        Close();
        return false;
    }
    m_bLoaded = 1;
    Pause();
    return true;
}

bool InputVideo::Close() {
    m_player.Close();
    m_renderer.reset();
    m_bLoaded = 0;
    return true;
}

void InputVideo::Play() {
    if (!m_bLoaded || m_nState == kStatePlaying) return;
    m_player.Run();
    m_nState = kStatePlaying;
}

void InputVideo::Pause() {
    if (!m_bLoaded || m_nState == kStatePaused) return;
    m_player.Pause();
    m_nState = kStatePaused;
}

void InputVideo::Stop() {
    if (!m_bLoaded || m_nState == kStateStopped) return;
    m_player.Stop();
    m_nState = kStateStopped;
}

// --------------------------------------------------- still picture ----

bool BMP::LoadResource(const std::string& path, int32_t a2, int32_t layer, int32_t split) {
    m_nArg2 = a2;
    m_nLayer = layer;
    m_nSplit = split;
    m_path = path;
    platform::PictureBits picture;
    if (!platform::DecodePictureFile(path, picture)) {
        LOGTEXT::LogError("load picture failed.%s", path.c_str());
        return false;
    }
    auto lock = LockFrame();
    m_nWidth = picture.width;
    m_nHeight = picture.height;
    m_nStride = picture.stride;
    m_nBitsPerPixel = picture.bytesPerPixel * 8;
    m_nFrameSize = static_cast<int32_t>(picture.bits.size());
    m_fAspect = static_cast<float>(picture.width) / static_cast<float>(picture.height);
    m_frame = std::move(picture.bits);
    m_bNewFrame = true;
    m_bLoaded = 1;
    m_nState = kStatePlaying;
    return true;
}

bool BMP::Close() {
    auto lock = LockFrame();
    m_frame.clear();
    m_frame.shrink_to_fit();
    m_nWidth = m_nHeight = m_nStride = m_nFrameSize = 0;
    m_fAspect = 0.0f;
    m_bLoaded = 0;
    return true;
}

}  // namespace velmar
