// The sound of a file played by the engine: its own demuxer and decoder on
// its own thread, written to an ALSA PCM in step with the player's clock.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace av {

// What the player tells the sound, read under the player's lock.
struct AudioTiming {
    bool running = false;
    int64_t position = 0;     // media time now, 100 ns
    double rate = 1.0;
    uint64_t generation = 0;  // changes at start, seek, rate change, clock change, pause and stop
    int32_t volume = 0;       // hundredths of a decibel
};

struct AudioTrackSetup {
    std::string url;
    std::string inputFormat;
    std::vector<std::pair<std::string, std::string>> demuxerOptions;
    std::string protocolWhitelist;   // of the player's own demuxer
    std::string device;              // ALSA PCM name
    int64_t originUnits = 0;         // media time 0 in stream time, 100 ns
    std::function<AudioTiming()> timing;
    std::function<void(const std::string&)> log;
};

class AudioTrack {
public:
    explicit AudioTrack(AudioTrackSetup setup);
    ~AudioTrack();
    AudioTrack(const AudioTrack&) = delete;
    AudioTrack& operator=(const AudioTrack&) = delete;

    // The player's state changed: look at it now.
    void Wake();
    // True while the sound is written to a device.
    bool Active() const { return active_.load(); }
    // Media time up to which sound has been written (-1 before any).
    int64_t Written() const { return written_.load(); }

    struct Impl;

private:
    std::unique_ptr<Impl> d;
    std::atomic<bool> active_{false};
    std::atomic<int64_t> written_{-1};
};

}  // namespace av
