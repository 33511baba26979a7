// The bridge from the playback engine to a media object: Velmarer copies
// every frame it is handed into its owner's frame buffer, widened to 32-bit
// pixels (the render thread uploads it later), and CMySyncSourceClock runs
// file videos on the server clock so that every synchronised display server
// shows the same frame.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "av/Player.h"

class MediaBaseClass;
class CServerClock;
class FileVideo;

class Velmarer : public av::FrameSink {
public:
    Velmarer(int32_t index, int32_t reserved, MediaBaseClass* owner);
    ~Velmarer() override = default;

    // Whether a frame shape can be taken: only 24-bit bottom-up rows.
    enum class TypeCheck { Ok, Fail, InvalidArg };
    static TypeCheck CheckMediaType(const av::FrameFormat* format);

    // The shape is connected: the owner's frame takes it (a picture owner
    // keeps its own). False without an owner.
    bool SetMediaType(const av::FrameFormat& format);
    // One frame: widened into the owner's frame (off its media lock when the
    // sample fills the frame, then put in place under it) and marked ready. False (dropped) without an owner or while the owner's
    // renderer is paused, unless whilePaused.
    bool DoRenderSample(const uint8_t* bits, size_t length, int64_t position, bool whilePaused = false);
    // The frame a paused file video cues (after loading, after a seek) is
    // shown although the renderer is paused.
    bool OnReceiveFirstSample(const uint8_t* bits, size_t length, int64_t position);

    // The filter's state changes, as the owner drives its player.
    void Stop();
    void Pause();
    void Run();

    // av::FrameSink, on the decode thread.
    bool OnFormat(const av::FrameFormat& format) override;
    void OnFrame(const uint8_t* bits, size_t size, int64_t position, bool preroll) override;

    bool PaddedRows() const { return m_bPaddedRows; }
    const av::FrameFormat& Header() const { return m_header; }

    int32_t m_nIndex;
    int32_t m_nReserved;

private:
    // The owner's frame as a sample is widened into it.
    struct Shape {
        int32_t width = 0;
        int32_t height = 0;
        int32_t stride = 0;
        size_t capacity = 0;
        bool valid = false;
        bool operator==(const Shape&) const = default;
    };
    Shape CurrentShapeLocked() const;
    static void Widen(const uint8_t* bits, size_t length, const Shape& shape, uint8_t* frame);

    MediaBaseClass* m_pOwner;
    av::FrameFormat m_header;
    bool m_bPaddedRows = false;
    std::vector<uint8_t> m_back;  // the next frame, filled on the decode thread
};

// The reference clock of a synchronised file video: it starts at the server
// clock's time and can be re-based to any time afterwards.
class CMySyncSourceClock : public av::SyncClock {
public:
    // server: the clock to start from; null means the process-wide one.
    explicit CMySyncSourceClock(FileVideo* owner, CServerClock* server = nullptr);
    // The clock in 100 ns units.
    int64_t GetPrivateTime() { return Now(); }

    FileVideo* m_pOwner;  // not owned
};
