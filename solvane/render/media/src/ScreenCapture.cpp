#include "media/ScreenCapture.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <vector>

#include "channel/Displays.h"
#include "core/MediaManager.h"
#include "platform/xgrab.h"
#include "util/Util.h"

namespace {

constexpr uint32_t kGrabPeriodMs = 5;
constexpr uint32_t kSharedGrabPeriodMs = 16;
// The grab thread's bounded end: the original's 50 ms plus four waits of 50 ms.
constexpr uint32_t kGrabJoinMs = 250;
constexpr uint32_t kSharedJoinMs = 2000;

int32_t RowStride(int32_t width) { return (width * 3 + 3) / 4 * 4; }

// The attached display named by device ("\\.\DISPLAYn", case ignored;
// empty: the primary display).
bool FindDisplay(const std::string& device, RECT& rect) {
    std::vector<MY_MONITORINFO> displays;
    EnumDisplays(displays);
    const int number = DisplayNumberFromName(device);
    for (const MY_MONITORINFO& m : displays) {
        if ((device.empty() && m.primary) || (number > 0 && m.number == number)) {
            rect = m.monitor;
            return rect.right > rect.left && rect.bottom > rect.top;
        }
    }
    return false;
}

bool Contains(const RECT& r, int32_t x, int32_t y) { return x >= r.left && x < r.right && y >= r.top && y < r.bottom; }

}  // namespace

// ------------------------------------------------------------ CScreenCapGDI

// What the grab thread works with. The thread holds it too, so a thread that
// misses its bounded join (an X server that stopped answering) finds the
// sink gone when it wakes up and ends without touching the media object.
struct CScreenCapGDI::GrabRun {
    std::mutex sinkLock;
    CScreenCapGDI* sink = nullptr;
    platform::ScreenGrabber grabber;
    platform::CursorShot cursor;
    bool reported = false;  // a failing grab is logged once per run
    // The grab converted to bottom-up rows (with the cursor) on the grab
    // thread, outside the media lock: the renderer's uploads of this and
    // every other media wait for that lock.
    RECT display{};
    int32_t stride = 0;
    std::vector<uint8_t> staged;
};

CScreenCapGDI::CScreenCapGDI() : MediaBaseClass(kMediaScreenCapture) {}

CScreenCapGDI::~CScreenCapGDI() { Close(); }

bool CScreenCapGDI::LoadResource(const std::string& device, int32_t index, int32_t reserved, int32_t stereo) {
    // A second load on a running object starts over rather than leaving the
    // first grab thread behind.
    if (m_run || common_.state != kMediaNotLoaded) Close();

    RECT display{};
    if (!FindDisplay(device, display)) {
        LOGTEXT::LogError("CScreenCapGDI::LoadResource,EnumDisplaySettings error!");
        return false;
    }
    auto run = std::make_shared<GrabRun>();
    if (!run->grabber.Open(display.left, display.top, display.right - display.left, display.bottom - display.top)) {
        LOGTEXT::LogError("CScreenCapGDI::LoadResource, cannot grab %s: %s", device.c_str(),
                          run->grabber.LastError().c_str());
        return false;
    }
    // The part of the display that lies on the X screen.
    const int32_t W = run->grabber.Width(), H = run->grabber.Height();
    const RECT grabbed{run->grabber.X(), run->grabber.Y(), run->grabber.X() + W, run->grabber.Y() + H};
    const int32_t format = ResolveStereo(stereo, W, H);
    int32_t width = W, height = H;
    if (format == 2) width = W / 2;
    if (format == 3) height = H / 2;
    if (width <= 0 || height <= 0) {
        LOGTEXT::LogError("CScreenCapGDI::LoadResource, %s is too small to split (%d x %d)", device.c_str(), W, H);
        return false;
    }

    {
        auto lock = LockMedia();
        m_rcDisplay = grabbed;
        m_nCaptureStride = RowStride(W);
        m_nCaptureSize = m_nCaptureStride * H;
        m_nWidth = width;
        m_nHeight = height;
        m_fAspect = static_cast<float>(width) / static_cast<float>(height);
        m_nStride = RowStride(width);
        m_nBytesPerPixel = 3;
        m_nFrameSize = m_nStride * height;
        // The frame buffer holds the whole display.
        m_frameStore.assign(static_cast<size_t>(m_nCaptureSize), 0);
        if (format == 2 || format == 3) {
            m_firstStore.assign(static_cast<size_t>(m_nFrameSize), 0);
            m_secondStore.assign(static_cast<size_t>(m_nFrameSize), 0);
            m_pFirstHalf = m_firstStore.data();
            m_pSecondHalf = m_secondStore.data();
            // The renderer shows the first half: a whole picture of the
            // frame's size, where the display's buffer read with the half
            // width would interleave both halves.
            m_pFrame = m_pFirstHalf;
        } else {
            m_firstStore.clear();
            m_secondStore.clear();
            m_pFirstHalf = m_pSecondHalf = nullptr;
            m_pFrame = m_frameStore.data();
        }
        m_nCapacity = m_pFrame == m_frameStore.data() ? m_nCaptureSize : m_nFrameSize;
        m_bFrameReady = false;
        m_texture.recreate = 1;
        common_.stereoFormat = format;
        common_.name = device;
        common_.layer = index;
        m_nReserved = reserved;
        common_.state = kMediaPlaying;
    }

    run->sink = this;
    run->display = grabbed;
    run->stride = RowStride(W);
    run->staged.assign(static_cast<size_t>(run->stride) * H, 0);
    m_run = run;
    m_stopEvent.Reset();
    const bool started = m_grabThread.Start(
        [run](platform::StoppableThread& self) {
            while (self.SleepFor(kGrabPeriodMs)) {
                {
                    std::lock_guard sinkLock(run->sinkLock);
                    if (!run->sink) return;
                    // The last grab has not been uploaded yet: a new one
                    // would only be thrown away.
                    if (!run->sink->WantsGrab()) continue;
                }
                if (!run->grabber.Capture()) {
                    if (!run->reported) LOGTEXT::LogError("CScreenCapGDI grab: %s", run->grabber.LastError().c_str());
                    run->reported = true;
                    continue;
                }
                const RECT& d = run->display;
                run->grabber.CopyBottomUpBgr(run->staged.data(), run->stride);
                // The cursor goes only into the display whose area holds its position.
                if (g_bCaptureDesktopCursor != 0 && run->grabber.ReadCursor(run->cursor) &&
                    Contains(d, run->cursor.x, run->cursor.y))
                    platform::DrawCursorBottomUp(run->staged.data(), run->stride, d.right - d.left, d.bottom - d.top,
                                                 d.left, d.top, run->cursor);
                std::lock_guard sinkLock(run->sinkLock);
                if (!run->sink) return;
                run->sink->StoreGrab(run->staged);
            }
        },
        "screencap");
    if (!started) {
        Close();
        return false;
    }
    return true;
}

bool CScreenCapGDI::WantsGrab() {
    auto lock = LockMedia();
    return common_.state != kMediaNotLoaded && !m_bFrameReady;
}

void CScreenCapGDI::StoreGrab(const std::vector<uint8_t>& capture) {
    auto lock = LockMedia();
    if (common_.state == kMediaNotLoaded || m_frameStore.size() < static_cast<size_t>(m_nCaptureSize) ||
        capture.size() < static_cast<size_t>(m_nCaptureSize))
        return;
    const int32_t format = common_.stereoFormat;
    const size_t rowBytes = static_cast<size_t>(m_nWidth) * 3;
    if (format == 2 && m_pFirstHalf && m_pSecondHalf) {
        // Each half is cut from its own display row, so a padded row never
        // shifts the halves against each other.
        for (int32_t r = 0; r < m_nHeight; ++r) {
            const uint8_t* src = capture.data() + static_cast<size_t>(r) * m_nCaptureStride;
            std::memcpy(m_pFirstHalf + static_cast<size_t>(r) * m_nStride, src, rowBytes);
            std::memcpy(m_pSecondHalf + static_cast<size_t>(r) * m_nStride, src + rowBytes, rowBytes);
        }
    } else if (format == 3 && m_pFirstHalf && m_pSecondHalf) {
        for (int32_t r = 0; r < m_nHeight; ++r) {
            std::memcpy(m_pFirstHalf + static_cast<size_t>(r) * m_nStride,
                        capture.data() + static_cast<size_t>(r) * m_nCaptureStride, rowBytes);
            std::memcpy(m_pSecondHalf + static_cast<size_t>(r) * m_nStride,
                        capture.data() + static_cast<size_t>(r + m_nHeight) * m_nCaptureStride, rowBytes);
        }
    } else {
        std::memcpy(m_frameStore.data(), capture.data(), static_cast<size_t>(m_nCaptureSize));
    }
    ++m_nGrabsStored;
    m_bFrameReady = true;
}

bool CScreenCapGDI::Close() {
    m_stopEvent.Set();
    m_grabThread.Stop(kGrabJoinMs, "CScreenCapGDI::Close, the grab thread did not end");
    if (m_run) {
        std::lock_guard sinkLock(m_run->sinkLock);
        m_run->sink = nullptr;
    }
    m_run.reset();  // a thread that is still running keeps its own share
    auto lock = LockMedia();
    FreeFrameLocked();
    m_nWidth = m_nHeight = 0;
    m_fAspect = 0.0f;
    m_nStride = m_nFrameSize = 0;
    m_nCaptureStride = m_nCaptureSize = 0;
    m_rcDisplay = RECT{};
    common_.state = kMediaNotLoaded;
    return true;
}

// --------------------------------------------------------------- desktopGDI

struct desktopGDI::Grab {
    platform::ScreenGrabber grabber;
};

namespace {

// The capture thread shared by every desktopGDI and its table of objects.
struct SharedCapture {
    std::mutex lock;
    desktopGDI* slots[desktopGDI::kMaxObjects] = {};
    platform::StoppableThread thread;
};

SharedCapture& Shared() {
    static SharedCapture shared;
    return shared;
}

void SharedCaptureLoop(platform::StoppableThread& self) {
    SharedCapture& s = Shared();
    platform::CursorShot cursor;
    while (self.SleepFor(kSharedGrabPeriodMs)) {
        std::lock_guard lock(s.lock);
        bool haveCursor = false;
        for (desktopGDI* obj : s.slots) {
            if (!obj) continue;
            haveCursor = obj->GrabState()->grabber.ReadCursor(cursor);
            break;
        }
        for (desktopGDI* obj : s.slots) {
            if (!obj) continue;
            {
                // Only once the renderer has taken the previous frame.
                auto media = obj->LockMedia();
                if (obj->m_bFrameReady) continue;
            }
            platform::ScreenGrabber& grabber = obj->GrabState()->grabber;
            if (!grabber.Capture()) continue;
            auto media = obj->LockMedia();
            if (obj->m_bFrameReady || !obj->m_pFrame) continue;
            grabber.CopyBottomUpBgr(obj->m_pFrame, obj->m_nStride);
            if (haveCursor && Contains(obj->m_rcMonitor, cursor.x, cursor.y))
                platform::DrawCursorBottomUp(obj->m_pFrame, obj->m_nStride, obj->m_nWidth, obj->m_nHeight,
                                             obj->m_rcMonitor.left, obj->m_rcMonitor.top, cursor);
            obj->m_bFrameReady = true;
        }
    }
}

bool Register(desktopGDI* obj) {
    SharedCapture& s = Shared();
    if (!s.thread.Running() && !s.thread.Start(&SharedCaptureLoop, "desktopcap")) {
        s.thread.RequestStop();
        return false;
    }
    std::lock_guard lock(s.lock);
    for (desktopGDI*& slot : s.slots) {
        if (!slot) {
            slot = obj;
            return true;
        }
    }
    return false;
}

}  // namespace

desktopGDI::desktopGDI() : MediaBaseClass(kMediaScreenCapture) {}

desktopGDI::~desktopGDI() { Close(); }

bool desktopGDI::CaptureMonitors(const std::string& device, int32_t captureLayered, int32_t index, int32_t reserved) {
    Close();
    common_.texRect.left = 0.0f;
    common_.texRect.right = 1.0f;
    common_.layer = index;
    m_nReserved = reserved;
    common_.name = device;
    m_nCaptureLayered = captureLayered > 0 ? 1 : 0;

    RECT monitor{};
    if (device.empty() || !FindDisplay(device, monitor)) return false;
    auto grab = std::make_unique<Grab>();
    if (!grab->grabber.Open(monitor.left, monitor.top, monitor.right - monitor.left, monitor.bottom - monitor.top)) {
        LOGTEXT::LogError("desktopGDI::CaptureMonitors, cannot grab %s: %s", device.c_str(),
                          grab->grabber.LastError().c_str());
        return false;
    }
    const int32_t W = grab->grabber.Width(), H = grab->grabber.Height();
    {
        auto lock = LockMedia();
        m_rcMonitor = RECT{grab->grabber.X(), grab->grabber.Y(), grab->grabber.X() + W, grab->grabber.Y() + H};
        if (!PrepareFrameLocked(W, H, RowStride(W), 3)) return false;
        std::fill(m_pFrame, m_pFrame + m_nFrameSize, uint8_t{0});
        m_bFrameReady = false;
    }
    m_grab = std::move(grab);
    if (Register(this)) {
        common_.state = kMediaPlaying;
        return true;
    }
    common_.state = kMediaNotLoaded;
    Close();
    return false;
}

bool desktopGDI::Close() {
    SharedCapture& s = Shared();
    bool othersLeft = false;
    bool registered = false;
    {
        std::lock_guard lock(s.lock);
        for (desktopGDI*& slot : s.slots) {
            if (slot == this) {
                slot = nullptr;
                registered = true;
            } else if (slot) {
                othersLeft = true;
            }
        }
    }
    if (registered && !othersLeft) StopCaptureThread();
    m_grab.reset();  // out of the table, so the thread no longer reaches it
    auto lock = LockMedia();
    FreeFrameLocked();
    m_nWidth = m_nHeight = 0;
    m_fAspect = 0.0f;
    m_nStride = m_nFrameSize = 0;
    m_rcMonitor = RECT{};
    common_.state = kMediaNotLoaded;
    return true;
}

bool desktopGDI::StopCaptureThread() {
    return Shared().thread.Stop(kSharedJoinMs, "desktopGDI::StopCaptureThread, the capture thread did not end");
}
