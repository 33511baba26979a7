// Decode-and-present frames per second of a 1080p clip with sound, through
// the playback engine with its sound written to an ALSA file PCM (over the
// null PCM, into /dev/null) and without sound, against the ffmpeg tool
// decoding the same file to nothing. The engine runs on a clock that moves
// to the next frame as soon as one is presented, so it goes as fast as it can.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <unistd.h>

#include "av/Player.h"

namespace {

namespace fs = std::filesystem;

constexpr int kSeconds = 10;
constexpr int kFps = 25;

class SteppedClock : public av::ReferenceClock {
public:
    int64_t Now() override { return now.load(); }
    std::atomic<int64_t> now{0};
};

class CountingSink : public av::FrameSink {
public:
    bool OnFormat(const av::FrameFormat&) override { return true; }
    void OnFrame(const uint8_t*, size_t, int64_t position, bool preroll) override {
        if (preroll) return;
        clock->now = position + av::kUnitsPerSecond / kFps;
        std::lock_guard lk(m);
        ++frames;
        cv.notify_all();
    }
    SteppedClock* clock = nullptr;
    std::mutex m;
    std::condition_variable cv;
    int frames = 0;
};

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

double EngineFps(const std::string& clip, const std::string& device) {
    auto clock = std::make_shared<SteppedClock>();
    CountingSink sink;
    sink.clock = clock.get();
    av::Player player;
    av::OpenOptions options;
    options.audioDevice = device;
    if (!player.Open(clip, options, &sink)) return 0.0;
    player.SetClock(clock);
    const auto start = std::chrono::steady_clock::now();
    player.Run();
    std::unique_lock lk(sink.m);
    const int total = kSeconds * kFps - 1;
    sink.cv.wait_for(lk, std::chrono::seconds(120), [&] { return sink.frames >= total; });
    const double s = Seconds(start);
    const int frames = sink.frames;
    lk.unlock();
    player.Close();
    return s > 0 ? frames / s : 0.0;
}

}  // namespace

int main() {
    const fs::path dir = fs::temp_directory_path() / ("bench_av_playback." + std::to_string(getpid()));
    fs::create_directories(dir);
    const std::string clip = (dir / "clip1080.mp4").string();
    const std::string conf = (dir / "asound.conf").string();
    std::ofstream(conf) << "pcm.sink { type file slave.pcm { type null } file \"/dev/null\" format \"raw\" }\n";
    setenv("ALSA_CONFIG_PATH", conf.c_str(), 1);
    const std::string make = "ffmpeg -nostdin -loglevel error -y -f lavfi -i testsrc2=size=1920x1080:rate=" +
                             std::to_string(kFps) + ":duration=" + std::to_string(kSeconds) +
                             " -f lavfi -i sine=frequency=1000:sample_rate=48000:duration=" + std::to_string(kSeconds) +
                             " -ac 2 -pix_fmt yuv420p -c:v libx264 -preset veryfast -c:a aac '" + clip + "'";
    if (std::system(make.c_str()) != 0) {
        std::fprintf(stderr, "could not make the clip\n");
        return 1;
    }
    auto start = std::chrono::steady_clock::now();
    const int r = std::system(("ffmpeg -nostdin -loglevel error -i '" + clip + "' -f null - ").c_str());
    const double toolFps = r == 0 ? kSeconds * kFps / Seconds(start) : 0.0;
    const double withSound = EngineFps(clip, "sink");
    const double withoutSound = EngineFps(clip, "");
    std::printf("1080p clip with sound, %d frames\n", kSeconds * kFps);
    std::printf("  ffmpeg -f null (decode only)    %8.1f frames/s\n", toolFps);
    std::printf("  engine, picture and sound       %8.1f frames/s\n", withSound);
    std::printf("  engine, picture only            %8.1f frames/s\n", withoutSound);
    fs::remove_all(dir);
    return 0;
}
