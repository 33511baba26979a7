// ALSA PCM devices for the sound of the playback engine and for audio
// capture. Device names are ALSA PCM names ("default", "hw:0,0", a PCM of
// the user's asoundrc); through "default" the sound reaches PulseAudio or
// PipeWire where a desktop runs them.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace av {

enum class SampleFormat : int32_t { S16 = 0, Float = 1 };

struct AudioFormat {
    SampleFormat sample = SampleFormat::S16;
    int32_t rate = 44100;
    int32_t channels = 2;
    int32_t BytesPerFrame() const { return channels * (sample == SampleFormat::S16 ? 2 : 4); }
};

// Interleaved playback, non-blocking: writes take what fits and return.
class AudioOutput {
public:
    AudioOutput();
    ~AudioOutput();
    AudioOutput(const AudioOutput&) = delete;
    AudioOutput& operator=(const AudioOutput&) = delete;

    // Opens the PCM with the format nearest to `wanted` that the device
    // takes; Format() tells which. On failure *error holds ALSA's text.
    bool Open(const std::string& pcm, const AudioFormat& wanted, std::string* error);
    void Close();
    bool IsOpen() const;
    const AudioFormat& Format() const;

    // Frames taken (0 when the device is full), or -1 when the device
    // failed (unplugged): it takes nothing more.
    int64_t Write(const void* data, int64_t frames);
    // Waits up to ms for room in the device.
    void WaitWritable(int32_t ms);
    // Frames written but not yet heard.
    int64_t Delay();
    // Discards what is queued at once; the device takes new frames after it.
    void Drop();

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

// Interleaved 16-bit capture with blocking reads.
class AudioInput {
public:
    AudioInput();
    ~AudioInput();
    AudioInput(const AudioInput&) = delete;
    AudioInput& operator=(const AudioInput&) = delete;

    bool Open(const std::string& pcm, int32_t rate, int32_t channels, std::string* error);
    void Close();
    bool IsOpen() const;
    // Reads exactly `frames` frames (blocking); false when the device failed.
    bool Read(int16_t* data, int64_t frames);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

}  // namespace av
