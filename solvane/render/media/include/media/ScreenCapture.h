// Screen capture: a live copy of one display of the machine as a media
// source. CScreenCapGDI grabs its display on a thread of its own every 5 ms;
// desktopGDI objects (up to 10) share one capture thread that grabs each of
// them every 16 ms once the renderer has taken its previous frame. Frames are
// bottom-up blue-green-red rows padded to 4 bytes; the renderer uploads them
// on its own thread like every other media frame.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "media/MediaBase.h"
#include "platform/thread.h"
#include "platform/types.h"

namespace platform {
class ScreenGrabber;
struct CursorShot;
}  // namespace platform

class CScreenCapGDI : public MediaBaseClass {
public:
    CScreenCapGDI();
    ~CScreenCapGDI() override;

    // Starts capturing the display named by device ("\\.\DISPLAYn"; empty:
    // the primary one). Stereo 1 picks 2 (side by side) for a display wider
    // than high, else 3 (top and bottom).
    bool LoadResource(const std::string& device, int32_t index, int32_t reserved, int32_t stereo) override;
    // Stops the grab thread and frees the capture; true.
    bool Close() override;

    // The display's place on the virtual screen (cut to the X screen).
    RECT m_rcDisplay{};
    int32_t m_nCaptureStride = 0;   // bytes per row of the whole display
    int32_t m_nCaptureSize = 0;
    // Grabs stored into the frame (under the media lock).
    uint64_t m_nGrabsStored = 0;

    struct GrabRun;

private:
    // Grab thread: whether a grab is wanted (loaded, and the renderer has
    // taken the last one).
    bool WantsGrab();
    // Grab thread: copies a converted grab into the frame, splits the stereo
    // halves and raises frame-ready; the copy is all it does under the lock.
    void StoreGrab(const std::vector<uint8_t>& capture);

    std::shared_ptr<GrabRun> m_run;
    platform::StoppableThread m_grabThread;
};

class desktopGDI : public MediaBaseClass {
public:
    static constexpr int kMaxObjects = 10;

    desktopGDI();
    ~desktopGDI() override;

    // Captures the monitor named by device with the shared capture thread.
    // False when the monitor is unknown, cannot be grabbed or all slots of
    // the thread are taken.
    bool CaptureMonitors(const std::string& device, int32_t captureLayered, int32_t index, int32_t reserved);
    // Does nothing: a desktopGDI is started by CaptureMonitors.
    bool LoadResource(const std::string&, int32_t, int32_t, int32_t) override { return true; }
    // Leaves the shared thread (stopping it when no object is left) and frees
    // the capture; true.
    bool Close() override;
    // Stops the shared thread; false when it did not end within 2 s.
    static bool StopCaptureThread();

    RECT m_rcMonitor{};
    // Windows-side flag for layered windows; X grabs the composed screen
    // either way, so it is kept only as given.
    int32_t m_nCaptureLayered = 0;

    struct Grab;
    // Used by the shared thread, under the shared lock.
    Grab* GrabState() { return m_grab.get(); }

private:
    std::unique_ptr<Grab> m_grab;
};
