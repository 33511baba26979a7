// The media objects of the library: a video file, a capture device, a still
// picture and a screen capture, each owning a frame buffer that its source
// fills and the media callback announces.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "av/Clock.h"
#include "av/Player.h"
#include "platform/event.h"
#include "platform/thread.h"
#include "platform/types.h"
#include "velmar/MediaLibrary.h"
#include "velmar/kestrane.h"

namespace platform {
class ScreenGrabber;
}

namespace velmar {

enum MediaKind : int32_t { kKindVideo = 0, kKindCapture = 1, kKindPicture = 2, kKindScreen = 3 };
enum PlayState : int32_t { kStateNew = 0, kStatePlaying = 1, kStatePaused = 2, kStateStopped = 3 };

// One region of FillRegions: a colour and a rectangle in 0..1 of the picture.
struct ColorRegion {
    uint8_t r = 0, g = 0, b = 0, pad = 0;
    float x0 = 0, y0 = 0, x1 = 0, y1 = 0;
};
static_assert(sizeof(ColorRegion) == 20);

struct FloatRect {
    float left, right, top, bottom;
};

class MediaBaseClass {
public:
    explicit MediaBaseClass(int32_t kind) : m_nKind(kind) {}
    virtual ~MediaBaseClass() = default;
    MediaBaseClass(const MediaBaseClass&) = delete;
    MediaBaseClass& operator=(const MediaBaseClass&) = delete;

    virtual bool LoadResource(const std::string& path, int32_t a2, int32_t layer, int32_t split);
    virtual bool Close() { return true; }
    // Paints each region's colour into the frame (nothing before a picture).
    virtual void FillRegions(std::vector<ColorRegion> regions);
    virtual void SetTexRect(float l, float r, float t, float b);
    virtual FloatRect GetTexRect() const;
    // Cuts the rectangle to the picture's aspect.
    virtual bool FitAspect(float l, float r, float t, float b);
    virtual void Play() {}
    virtual void Stop() {}
    virtual void Pause() {}
    virtual void SetViewRect(float a, float b, float c, float d);
    virtual FloatRect GetViewRect() const;

    // Calls the media callback with the current frame and the given times.
    void Notify(const BITMAPINFOHEADER* format, double position, double duration, int atZero, int state);
    // The picture format as a bitmap header (under the frame lock).
    BITMAPINFOHEADER FormatLocked() const;
    // Gives the frame buffer room for size bytes; it moves only when it must
    // grow, so a caller's pointer stays valid while the format keeps its size.
    void ReserveFrameLocked(size_t size);

    std::unique_lock<std::mutex> LockFrame() const { return std::unique_lock(m_frameLock); }

    void* m_id = nullptr;  // the handle the caller knows this media by
    std::string m_path;
    std::atomic<bool> m_bNewFrame{false};
    int32_t m_nWidth = 0, m_nHeight = 0;
    float m_fAspect = 0.0f;
    int32_t m_nStride = 0, m_nFrameSize = 0;
    int32_t m_nBitsPerPixel = 24;
    std::vector<uint8_t> m_frame;  // capacity is the buffer capacity
    int32_t m_nLayer = 0, m_nArg2 = 0;
    FloatRect m_texRect{0.0f, 1.0f, 0.0f, 1.0f};
    FloatRect m_viewRect{1.0f, 1.0f, 1.0f, 1.0f};
    const int32_t m_nKind;
    std::atomic<int32_t> m_nState{kStateNew};
    int32_t m_nSplit = -1;
    // Time window on the preview timeline (seconds) and placement rectangle.
    double m_fStartTime = -1.0, m_fStopTime = -1.0;
    int32_t m_rect[4] = {0, 0, 0, 0};
    KestraneMediaCallback m_callback = nullptr;
    void* m_user = nullptr;
    std::atomic<int32_t> m_bSeeking{0};
    std::atomic<int32_t> m_bLoaded{0};
    platform::Event m_event{true, false};

protected:
    mutable std::mutex m_frameLock;
};

// Delivers the playback engine's pictures into its owner's frame buffer and
// announces each one through the media callback.
class Velmarer : public av::FrameSink {
public:
    explicit Velmarer(MediaBaseClass* owner) : m_owner(owner) {}
    bool OnFormat(const av::FrameFormat& format) override;
    void OnFrame(const uint8_t* bits, size_t size, int64_t position, bool preroll) override;

    std::atomic<uint64_t> m_frames{0};

private:
    void CopySample(const uint8_t* bits, size_t size);
    void LogCopyStart();
    MediaBaseClass* m_owner;
    BITMAPINFOHEADER m_header{};
    bool m_rowCopy = false;
};

// The file's reference clock: the process's millisecond tick in 100 ns units.
class CMySyncSourceClock : public av::SyncClock {
public:
    CMySyncSourceClock();
};

class FileVideo : public MediaBaseClass {
public:
    FileVideo() : MediaBaseClass(kKindVideo) {}
    ~FileVideo() override;
    bool LoadResource(const std::string& path, int32_t a2, int32_t layer, int32_t split) override;
    bool Close() override;
    void Play() override;
    void Pause() override;
    void Stop() override;
    void Seek(double seconds);
    double PositionSeconds() const;
    double DurationSeconds() const;
    int64_t Position100ns() const;
    int64_t Duration100ns() const;
    // Kept across a close and reload: the timeline reopens files by their
    // windows and the caller's rate must hold for the new graph too.
    bool SetRate(double rate);
    double Rate() const { return m_dRate.load(); }
    // 0..100 (clamped).
    bool SetVolume(int volume);
    int Volume() const;
    // Takes the engine's queued events; Stop on the end of the stream.
    void HandleEvents();
    // Called on the decode thread when an event is queued.
    std::function<void(FileVideo*)> m_onEvent;

    av::Player& Player() { return m_player; }
    Velmarer* Renderer() { return m_renderer.get(); }

private:
    av::Player m_player;
    std::unique_ptr<Velmarer> m_renderer;
    std::atomic<int64_t> m_pos100ns{0};
    std::atomic<double> m_dRate{1.0};
    friend class Velmarer;
};

class InputVideo : public MediaBaseClass {
public:
    InputVideo() : MediaBaseClass(kKindCapture) {}
    ~InputVideo() override;
    // Opens capture device n (from 0) paused.
    bool Open(int32_t n);
    bool Close() override;
    void Play() override;
    void Pause() override;
    void Stop() override;

private:
    av::Player m_player;
    std::unique_ptr<Velmarer> m_renderer;
};

class BMP : public MediaBaseClass {
public:
    BMP() : MediaBaseClass(kKindPicture) {}
    ~BMP() override { BMP::Close(); }
    bool LoadResource(const std::string& path, int32_t a2, int32_t layer, int32_t split) override;
    bool Close() override;
};

class CScreenCapGDI : public MediaBaseClass {
public:
    CScreenCapGDI();
    ~CScreenCapGDI() override;
    bool LoadResource(const std::string& display, int32_t layer, int32_t a2, int32_t split) override;
    bool Close() override;

    RECT m_rcDisplay{};

private:
    void Grab();
    std::unique_ptr<platform::ScreenGrabber> m_grabber;
    std::vector<uint8_t> m_staged;  // the grab thread's converted picture
    platform::StoppableThread m_grabThread;
};

// The capture devices the library opens (the machine's, or a test list).
std::vector<CaptureSource> CaptureSources();

}  // namespace velmar
