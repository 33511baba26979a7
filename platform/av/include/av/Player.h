// The video playback engine: one source (a file, a capture device, a test
// source) decoded on its own thread and handed frame by frame to a sink, in
// the platform bitmap layout (bottom-up rows of blue-green-red bytes, rows
// padded to 4 bytes), each at its time on a reference clock.
//
// States: stopped (nothing is decoded), paused (the frame at the current
// position is delivered once, flagged as preroll, then nothing more; paused
// from running, that is the last frame shown, handed over again), running
// (frames are delivered when the clock reaches them; late frames are dropped
// to catch up). The end of the stream is reported once as an event after the
// last frame's time has passed while running; a seek or a stop re-arms it.
//
// Sound: when the options name an audio device, a file's best audio stream
// is decoded on a thread of its own and written to that ALSA PCM in step with
// the reference clock (the pictures keep that clock; the sound follows it,
// dropping or waiting where it drifts). Pause and stop silence it at once.
// At a rate within 0.5 to 100 it is time-stretched, at other rates silent.
// A device that cannot be opened or that fails is reported once through the
// options' log and the video plays on without sound.
//
// Commands return at once; the decode thread carries them out. The sink and
// the event callback are called on the decode thread with no engine lock
// held, so they may take the caller's own locks while the caller issues
// commands under them.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "av/Clock.h"

namespace av {

enum class PlayerState : int32_t { Stopped = 0, Paused = 1, Running = 2 };

// Event codes of the event queue.
inline constexpr int32_t kEventComplete = 1;     // end of stream
inline constexpr int32_t kEventErrorAbort = 3;   // the source failed while playing

// A delivered frame's shape: width and height in pixels (height positive,
// rows bottom-up), stride in bytes (a multiple of 4), bits per pixel (24).
struct FrameFormat {
    int32_t width = 0;
    int32_t height = 0;
    int32_t stride = 0;
    int32_t bitsPerPixel = 24;
};

// Row stride of a bitmap row: bits x width rounded up to 32 bits.
inline int32_t BitmapStride(int32_t width, int32_t bitsPerPixel) {
    return static_cast<int32_t>(((int64_t{bitsPerPixel} * width + 31) / 32) * 4);
}

class FrameSink {
public:
    virtual ~FrameSink() = default;
    // The shape of the frames that follow (before the first frame and when
    // the decoded size changes). False refuses the shape: frames of it are
    // then not delivered.
    virtual bool OnFormat(const FrameFormat& format) = 0;
    // One frame of size stride x height bytes at position (100 ns from the
    // start of the media). preroll: the frame that shows a paused or
    // just-opened player's position.
    virtual void OnFrame(const uint8_t* bits, size_t size, int64_t position, bool preroll) = 0;
};

struct OpenOptions {
    // Demuxer or device by name ("avi", "mp4", "v4l2", "lavfi"); empty:
    // probe the file.
    std::string inputFormat;
    // Demuxer or device options (video_size, framerate, ...).
    std::vector<std::pair<std::string, std::string>> demuxerOptions;
    // A live source (capture): no seeking, no duration, no preroll, and
    // after a pause it continues with the newest frames.
    bool live = false;
    // ALSA PCM for the sound ("default"); empty: the sound is not played.
    std::string audioDevice;
    // Told why there is no sound (device missing or failing), once per open.
    std::function<void(const std::string&)> audioLog;
};

// Where an open failed.
enum class OpenStage : int32_t { None = 0, Source, VideoStream, Decoder };

struct OpenFailure {
    OpenStage stage = OpenStage::None;
    int32_t code = 0;        // negative library error code
    std::string text;        // readable form of it
};

class Player {
public:
    Player();
    ~Player();
    Player(const Player&) = delete;
    Player& operator=(const Player&) = delete;

    // Opens a source for the sink (not owned; it must outlive Close) and
    // starts the decode thread in the stopped state. Closes what was open.
    bool Open(const std::string& url, const OpenOptions& options, FrameSink* sink, OpenFailure* failure = nullptr);
    // Stops the decode thread and frees the source. Safe to call twice; not
    // from the sink or the event callback.
    void Close();
    bool IsOpen() const;
    bool IsLive() const;

    // Each returns false when nothing is open.
    bool Run();
    bool Pause();
    bool Stop();
    PlayerState State() const;

    // Absolute position in 100 ns units, clamped to the media. While paused
    // (or stopped and then run) the frame at that position is shown first.
    // False for a live source or when nothing is open.
    bool Seek(int64_t position);
    // Current position: while running from the clock, otherwise where the
    // player stands.
    int64_t Position() const;
    // 0 when unknown (live sources).
    int64_t Duration() const;
    // Average frame time in seconds (0.04 until known).
    double FrameTime() const;
    // Source size in pixels (0 before open).
    int32_t Width() const;
    int32_t Height() const;

    // Rate above 0 (1 normal speed); false for anything else.
    bool SetRate(double rate);
    double Rate() const;

    // Volume in hundredths of a decibel, -10000 (silence) to 0 (full);
    // clamped. The samples are scaled by 10^(volume / 2000).
    bool SetVolume(int32_t volume);
    int32_t Volume() const;

    // Positions stay in 100 ns units: a frame-numbered time format is not
    // offered; the result is a negative error code.
    int32_t SetFrameTimeFormat();

    // The reference clock; null restores the system clock. The position is
    // kept across the change.
    bool SetClock(std::shared_ptr<ReferenceClock> clock);

    // Events: the next queued code without waiting; false when none.
    bool NextEvent(int32_t& code);
    // Called on the decode thread after an event is queued.
    void SetEventCallback(std::function<void()> callback);

    // Test hook: frames decoded so far (delivered or dropped).
    uint64_t DecodedFrames() const;
    // True while sound is written to a device.
    bool AudioActive() const;
    // Media time (100 ns) up to which sound has been written; -1 before any.
    int64_t AudioWritten() const;

    struct Impl;

private:
    std::unique_ptr<Impl> d;
};

// A video capture device: its friendly name and how the engine opens it.
struct CaptureDevice {
    std::string name;
    std::string inputFormat;   // "v4l2"
    std::string url;           // "/dev/video0"
    std::vector<std::pair<std::string, std::string>> options;
};

// The video capture devices of this machine in device-number order.
std::vector<CaptureDevice> ListVideoCaptureDevices();

}  // namespace av
