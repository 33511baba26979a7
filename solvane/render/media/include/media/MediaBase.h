// The base of every media source of the display server and its texture
// record. A producer (picture loader, decoder, grab thread) writes the frame
// under the object's media lock and raises frame-ready; the render thread
// uploads the frame into the object's texture and lowers the flag. Nothing
// here calls GL: the renderer owns every GL call, on its own thread.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/Media.h"
#include "core/RenderState.h"
#include "platform/event.h"

// Pixel formats of a frame, as the GL enums GL_BGR and GL_BGRA.
inline constexpr uint32_t kPixelFormatBGR = 0x80E0;
inline constexpr uint32_t kPixelFormatBGRA = 0x80E1;

// The texture record of one media object. The renderer creates, uploads and
// deletes the GL texture; the record only remembers what it made.
struct MediaTexture {
    uint32_t name = 0;          // GL texture name, 0 = none
    int32_t width = 0;
    int32_t height = 0;
    uint32_t format = kPixelFormatBGR;
    int32_t created = 0;
    int32_t imageDefined = 0;   // the image was specified once; later uploads replace it in place
    // Set by a producer that changed the frame's size or buffer: the render
    // thread re-creates the texture before the next upload.
    int32_t recreate = 0;

    // Where a texture name goes when its media object dies on a thread that
    // has no GL context. The renderer installs a hook that deletes the name
    // on the render thread; without one the name is forgotten.
    using ReleaseHook = std::function<void(uint32_t)>;
    static void SetReleaseHook(ReleaseHook hook);
    // Hands the name (if any) to the hook and clears the record.
    void Forget();
};

// One solid rectangle painted into a frame by FillRegions.
using FillRegion = BackgroundRegion;

class MediaBaseClass : public IMedia {
public:
    explicit MediaBaseClass(int32_t type);
    ~MediaBaseClass() override;
    MediaBaseClass(const MediaBaseClass&) = delete;
    MediaBaseClass& operator=(const MediaBaseClass&) = delete;

    // --- the virtual operations -----------------------------------------
    bool LoadResource(const std::string& path, int32_t index, int32_t reserved, int32_t stereo) override;
    bool Close() override;
    virtual bool FillRegions(std::vector<FillRegion> regions);
    bool SetTexRect(float left, float right, float bottom, float top) override;
    bool GetTexRect(float& left, float& right, float& bottom, float& top) override;
    bool FitAspect(float left, float right, float bottom, float top) override;
    void Play() override {}
    void Stop() override {}
    void Pause() override {}
    bool SetViewRect(float a, float b, float c, float d) override;
    bool GetViewRect(float& a, float& b, float& c, float& d) override;
    bool ClockTimeMs(uint32_t&) override { return false; }
    void SetNotifyWindow(IOutputWindow*) override {}
    int32_t GraphState() const override { return m_nGraphState; }
    int32_t LoadReserved() const override { return m_nReserved; }
    // Read under the media lock: a producer may be changing the frame.
    void FrameShape(int32_t& width, int32_t& height, float& aspect) override;

    // --- frame hand-over ------------------------------------------------
    // The media lock: guards the frame fields, the frame buffer, the
    // frame-ready flag and the texture record.
    std::unique_lock<std::mutex> LockMedia() { return std::unique_lock<std::mutex>(m_mediaLock); }
    std::mutex& MediaLock() { return m_mediaLock; }

    // With the media lock held: sets the frame's shape and makes the buffer
    // hold stride x height bytes (grown, never shrunk). A new size or a moved
    // buffer marks the texture for re-creation. False for a shape that is
    // not positive, a stride below the pixels' bytes or a size beyond 1 GiB.
    // bytesPerPixel 3 or 4; 0 takes 4 when stride / width is 4, else 3.
    bool PrepareFrameLocked(int32_t width, int32_t height, int32_t stride, int32_t bytesPerPixel = 0);
    // With the media lock held: frees the frame (and the stereo halves).
    void FreeFrameLocked();
    // With the media lock held: a buffer of the frame's own size, filled off
    // the lock, takes the place of the frame's storage, and the storage it
    // replaced is handed back. False (nothing changed) when the frame is not
    // in its own storage or the sizes differ.
    bool SwapFrameLocked(std::vector<uint8_t>& filled);
    // FillRegions with the media lock already held.
    void FillRegionsLocked(const std::vector<FillRegion>& regions);
    // The frame's pixel format from its bytes per pixel. (Judging by
    // stride / width alone would take a padded 24-bit picture of 1 to 3
    // pixels' width for 32-bit.)
    uint32_t FramePixelFormat() const;
    // The stereo choice of LoadResource: 1 picks 2 (wider than high) or 3.
    static int32_t ResolveStereo(int32_t stereo, int32_t width, int32_t height);

    // --- fields (see the lock notes above) --------------------------------
    bool m_bFrameReady = false;
    int32_t m_nWidth = 0;
    int32_t m_nHeight = 0;
    float m_fAspect = 0.0f;
    int32_t m_nStride = 0;
    int32_t m_nBytesPerPixel = 3;
    int32_t m_nFrameSize = 0;
    uint8_t* m_pFrame = nullptr;          // owned unless a subclass points it at its own memory
    uint8_t* m_pSecondHalf = nullptr;     // stereo: right half or the second half of the rows
    uint8_t* m_pFirstHalf = nullptr;      // stereo: left half or the first half of the rows
    int32_t m_nCapacity = 0;
    int32_t m_nReserved = 0;
    platform::Event m_stopEvent{true, false};
    std::unique_ptr<platform::Event> m_frameEvent;   // made by file video
    int32_t m_nDelivered[2] = {};
    int32_t m_nRendererPaused = 0;
    int32_t m_nGraphState = 0;
    MediaTexture m_texture;

protected:
    // Owned storage behind m_pFrame and the stereo halves.
    std::vector<uint8_t> m_frameStore;
    std::vector<uint8_t> m_firstStore;
    std::vector<uint8_t> m_secondStore;

private:
    std::mutex m_mediaLock;
};
