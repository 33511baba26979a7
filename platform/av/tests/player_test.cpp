#include "av/Player.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <mutex>
#include <vector>

#include "support/support.h"

namespace {

using namespace std::chrono_literals;
using testsupport::WaitUntil;

constexpr int64_t kSec = av::kUnitsPerSecond;
constexpr int64_t kMs = av::kUnitsPerMs;

struct Delivered {
    int64_t position;
    bool preroll;
};

// Records what the player hands over.
class RecordingSink : public av::FrameSink {
public:
    bool OnFormat(const av::FrameFormat& f) override {
        std::lock_guard lock(m);
        formats.push_back(f);
        return acceptFormat;
    }
    void OnFrame(const uint8_t* bits, size_t size, int64_t position, bool preroll) override {
        std::lock_guard lock(m);
        ++offered;
        lastOffered = position;
        // Like a renderer that pauses before its player: running frames are dropped.
        if (!preroll && !takeRunning) return;
        frames.push_back({position, preroll});
        last.assign(bits, bits + size);
    }
    size_t Count() {
        std::lock_guard lock(m);
        return frames.size();
    }
    std::vector<Delivered> Frames() {
        std::lock_guard lock(m);
        return frames;
    }
    Delivered Last() {
        std::lock_guard lock(m);
        return frames.back();
    }
    std::vector<uint8_t> LastBits() {
        std::lock_guard lock(m);
        return last;
    }
    std::vector<av::FrameFormat> Formats() {
        std::lock_guard lock(m);
        return formats;
    }
    size_t Offered() {
        std::lock_guard lock(m);
        return offered;
    }
    int64_t LastOffered() {
        std::lock_guard lock(m);
        return lastOffered;
    }

    bool acceptFormat = true;
    std::atomic<bool> takeRunning{true};

private:
    std::mutex m;
    std::vector<av::FrameFormat> formats;
    std::vector<Delivered> frames;
    std::vector<uint8_t> last;
    size_t offered = 0;
    int64_t lastOffered = -1;
};

// Test media, made once for the whole program.
class Media {
public:
    static Media& Get() {
        static Media media;
        return media;
    }
    std::string video;       // 2 s, 320 x 240, 25 fps
    std::string stacked;     // 322 x 240: red upper half, blue lower half
    std::string audioOnly;
    std::string garbage;

private:
    Media() {
        video = (dir / "clip.mp4").string();
        stacked = (dir / "stacked.mkv").string();
        audioOnly = (dir / "tone.wav").string();
        garbage = (dir / "garbage.mp4").string();
        Make("-f lavfi -i testsrc=size=320x240:rate=25 -t 2 -pix_fmt yuv420p -g 10 '" + video + "'");
        Make("-f lavfi -i color=c=red:s=322x120:r=25 -f lavfi -i color=c=blue:s=322x120:r=25 "
             "-filter_complex vstack -t 1 -pix_fmt yuv444p -c:v ffv1 '" + stacked + "'");
        Make("-f lavfi -i sine=frequency=440:duration=1 '" + audioOnly + "'");
        testsupport::WriteFile(garbage, std::string(4096, 'x'));
    }
    static void Make(const std::string& args) {
        int status = 0;
        testsupport::RunShell("ffmpeg -nostdin -loglevel error -y " + args + " 2>&1", &status);
        EXPECT_EQ(status, 0) << args;
    }
    testsupport::TempDir dir;
};

class PlayerTest : public ::testing::Test {
protected:
    void OpenVideo() {
        av::OpenFailure failure;
        ASSERT_TRUE(player.Open(Media::Get().video, {}, &sink, &failure)) << failure.text;
        player.SetEventCallback([this] { ++callbacks; });
    }
    // Waits for the Complete event, counting every event seen.
    bool WaitComplete() {
        return WaitUntil(
            [&] {
                int32_t code = 0;
                while (player.NextEvent(code)) {
                    events.push_back(code);
                    if (code == av::kEventComplete) return true;
                }
                return false;
            },
            20s);
    }

    RecordingSink sink;
    av::Player player;
    std::atomic<int> callbacks{0};
    std::vector<int32_t> events;
};

TEST_F(PlayerTest, OpensFileStoppedWithItsShape) {
    OpenVideo();
    EXPECT_TRUE(player.IsOpen());
    EXPECT_FALSE(player.IsLive());
    EXPECT_EQ(player.State(), av::PlayerState::Stopped);
    EXPECT_EQ(player.Width(), 320);
    EXPECT_EQ(player.Height(), 240);
    EXPECT_NEAR(static_cast<double>(player.Duration()) / kSec, 2.0, 0.1);
    EXPECT_NEAR(player.FrameTime(), 0.04, 0.001);
    EXPECT_EQ(player.Position(), 0);
    EXPECT_DOUBLE_EQ(player.Rate(), 1.0);
}

TEST_F(PlayerTest, PauseDeliversOnePrerollFrame) {
    OpenVideo();
    ASSERT_TRUE(player.Pause());
    ASSERT_TRUE(WaitUntil([&] { return sink.Count() >= 1; }));
    const Delivered first = sink.Last();
    EXPECT_TRUE(first.preroll);
    EXPECT_LT(first.position, 40 * kMs);
    ASSERT_EQ(sink.Formats().size(), 1u);
    EXPECT_EQ(sink.Formats()[0].width, 320);
    EXPECT_EQ(sink.Formats()[0].height, 240);
    EXPECT_EQ(sink.Formats()[0].stride, 960);
    EXPECT_EQ(sink.LastBits().size(), 960u * 240u);
    // A second pause is no new preroll: the seek that follows gives the next
    // frame, and nothing came in between.
    ASSERT_TRUE(player.Pause());
    ASSERT_TRUE(player.Seek(kSec));
    ASSERT_TRUE(WaitUntil([&] { return sink.Count() >= 2; }));
    const auto frames = sink.Frames();
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_TRUE(frames[1].preroll);
    EXPECT_NEAR(static_cast<double>(frames[1].position) / kSec, 1.0, 0.05);
}

TEST_F(PlayerTest, FramesAreBottomUpBgrWithPaddedRows) {
    av::OpenFailure failure;
    ASSERT_TRUE(player.Open(Media::Get().stacked, {}, &sink, &failure)) << failure.text;
    ASSERT_TRUE(player.Pause());
    ASSERT_TRUE(WaitUntil([&] { return sink.Count() >= 1; }));
    const av::FrameFormat f = sink.Formats().at(0);
    EXPECT_EQ(f.width, 322);
    EXPECT_EQ(f.stride, 968);  // 966 bytes of pixels padded to 4
    const std::vector<uint8_t> bits = sink.LastBits();
    ASSERT_EQ(bits.size(), 968u * 240u);
    auto pixel = [&](int row, int col) { return &bits[static_cast<size_t>(row) * 968 + col * 3]; };
    // Row 0 is the bottom row: blue. The last row is the top: red.
    for (int col : {0, 160, 321}) {
        const uint8_t* bottom = pixel(0, col);
        EXPECT_GT(bottom[0], 200);
        EXPECT_LT(bottom[2], 60);
        const uint8_t* top = pixel(239, col);
        EXPECT_LT(top[0], 60);
        EXPECT_GT(top[2], 200);
    }
}

TEST_F(PlayerTest, RunDeliversFramesInOrderAndReportsTheEndOnce) {
    OpenVideo();
    ASSERT_TRUE(player.Pause());
    ASSERT_TRUE(WaitUntil([&] { return sink.Count() >= 1; }));
    ASSERT_TRUE(player.Run());
    EXPECT_EQ(player.State(), av::PlayerState::Running);
    ASSERT_TRUE(WaitComplete());
    EXPECT_EQ(events, std::vector<int32_t>{av::kEventComplete});
    // The callback follows the queued event.
    ASSERT_TRUE(WaitUntil([&] { return callbacks.load() == 1; }));
    // Late frames may be dropped (a loaded machine), never more than a few
    // in a row, and what is shown is in order.
    const auto frames = sink.Frames();
    ASSERT_GE(frames.size(), 5u);
    for (size_t i = 1; i < frames.size(); ++i) {
        EXPECT_FALSE(frames[i].preroll);
        EXPECT_GT(frames[i].position, frames[i - 1].position);
    }
    EXPECT_EQ(player.Position(), player.Duration());

    // Still running at the end: nothing more is reported until a seek
    // re-arms it. The preroll of a paused seek shows the thread went past.
    // (The seek's frame may arrive before this thread looks: it waits for
    // the frame itself, not for a count taken after the seek.)
    ASSERT_TRUE(player.Pause());
    ASSERT_TRUE(player.Seek(1500 * kMs));
    ASSERT_TRUE(WaitUntil([&] {
        const Delivered got = sink.Last();
        return got.preroll && std::abs(got.position - 1500 * kMs) <= 50 * kMs;
    }));
    int32_t code = 0;
    EXPECT_FALSE(player.NextEvent(code));
    EXPECT_EQ(callbacks.load(), 1);
    ASSERT_TRUE(player.Run());
    events.clear();
    ASSERT_TRUE(WaitComplete());
    EXPECT_EQ(events, std::vector<int32_t>{av::kEventComplete});
    ASSERT_TRUE(WaitUntil([&] { return callbacks.load() == 2; }));
}

TEST_F(PlayerTest, SeekWhilePausedShowsTheFrameThere) {
    OpenVideo();
    ASSERT_TRUE(player.Pause());
    ASSERT_TRUE(WaitUntil([&] { return sink.Count() >= 1; }));
    struct Case {
        int64_t target;
        double expectSeconds;
    };
    // Past the end and before the start are clamped to the media.
    const Case cases[] = {{kSec, 1.0}, {400 * kMs, 0.4}, {10 * kSec, 1.96}, {-5 * kSec, 0.0}, {1960 * kMs, 1.96}};
    for (const Case& c : cases) {
        const size_t before = sink.Count();
        ASSERT_TRUE(player.Seek(c.target));
        ASSERT_TRUE(WaitUntil([&] { return sink.Count() > before; })) << c.target;
        const Delivered got = sink.Last();
        EXPECT_TRUE(got.preroll);
        EXPECT_NEAR(static_cast<double>(got.position) / kSec, c.expectSeconds, 0.05) << c.target;
    }
}

// A sink stops taking running frames before its player is paused (the
// renderer pauses first); the frame then on its way is lost to it. The
// paused player still shows its place: the last frame shown comes again as
// the preroll. Also when that frame is the first after a seek while running
// (what rewinding at the end does), which must not leave the old picture.
TEST_F(PlayerTest, PauseFromRunningHandsTheLastFrameOverAgain) {
    OpenVideo();
    ASSERT_TRUE(player.Run());
    ASSERT_TRUE(WaitUntil([&] { return sink.Count() >= 2; }));
    for (const int64_t seekTo : {int64_t{-1}, kSec}) {
        if (seekTo >= 0) {
            ASSERT_TRUE(player.Seek(seekTo));
        }
        sink.takeRunning = false;
        const size_t offered = sink.Offered();
        const size_t taken = sink.Count();
        ASSERT_TRUE(WaitUntil([&] { return sink.Offered() > offered && sink.LastOffered() >= seekTo - 20 * kMs; }))
            << seekTo;
        ASSERT_TRUE(player.Pause());
        ASSERT_TRUE(WaitUntil([&] { return sink.Count() > taken; })) << seekTo;
        const Delivered got = sink.Last();
        EXPECT_TRUE(got.preroll);
        EXPECT_EQ(got.position, sink.LastOffered());
        EXPECT_LE(got.position, player.Position());
        EXPECT_GE(got.position, seekTo - 20 * kMs);
        sink.takeRunning = true;
        ASSERT_TRUE(player.Run());
    }
}

TEST_F(PlayerTest, StopSeekAndRunStartsAtTheTarget) {
    OpenVideo();
    ASSERT_TRUE(player.Pause());
    ASSERT_TRUE(WaitUntil([&] { return sink.Count() >= 1; }));
    ASSERT_TRUE(player.Stop());
    EXPECT_EQ(player.State(), av::PlayerState::Stopped);
    ASSERT_TRUE(player.Seek(kSec));
    EXPECT_EQ(player.Position(), kSec);
    const size_t before = sink.Count();
    ASSERT_TRUE(player.Run());
    ASSERT_TRUE(WaitUntil([&] { return sink.Count() > before; }));
    const auto frames = sink.Frames();
    EXPECT_FALSE(frames[before].preroll);
    EXPECT_NEAR(static_cast<double>(frames[before].position) / kSec, 1.0, 0.05);
}

TEST_F(PlayerTest, RateAndVolumeAreChecked) {
    EXPECT_FALSE(player.SetRate(2.0));  // nothing open
    OpenVideo();
    for (double bad : {0.0, -1.0, std::nan(""), double{INFINITY}}) EXPECT_FALSE(player.SetRate(bad)) << bad;
    EXPECT_DOUBLE_EQ(player.Rate(), 1.0);
    EXPECT_TRUE(player.SetRate(2.0));
    EXPECT_DOUBLE_EQ(player.Rate(), 2.0);
    const std::pair<int32_t, int32_t> volumes[] = {{0, 0}, {-2500, -2500}, {100, 0}, {-20000, -10000}};
    for (auto [in, out] : volumes) {
        EXPECT_TRUE(player.SetVolume(in));
        EXPECT_EQ(player.Volume(), out) << in;
    }
    EXPECT_LT(player.SetFrameTimeFormat(), 0);
}

// A clock that moves only when told, so that positions are exact.
struct ManualTick {
    std::atomic<uint32_t> now{5000};
    av::SyncClock::TickFn Fn() {
        return [this] { return now.load(); };
    }
};

TEST_F(PlayerTest, FollowsItsReferenceClockAndItsRebasing) {
    ManualTick tick;
    auto clock = std::make_shared<av::SyncClock>(0, tick.Fn());
    OpenVideo();
    ASSERT_TRUE(player.SetClock(clock));
    ASSERT_TRUE(player.Pause());
    ASSERT_TRUE(WaitUntil([&] { return sink.Count() >= 1; }));
    ASSERT_TRUE(player.Run());
    // The clock stands still: so does the position.
    EXPECT_EQ(player.Position(), 0);
    tick.now += 1000;
    EXPECT_EQ(player.Position(), kSec);
    ASSERT_TRUE(WaitUntil([&] { return sink.Last().position >= 960 * kMs; }));
    EXPECT_LE(sink.Last().position, kSec);
    // Re-based half a second ahead: the player jumps with it.
    clock->SetTimeMs(clock->GetTimeMs() + 500);
    EXPECT_EQ(player.Position(), 1500 * kMs);
    ASSERT_TRUE(WaitUntil([&] { return sink.Last().position >= 1460 * kMs; }));
    EXPECT_LE(sink.Last().position, 1500 * kMs);
    // Twice the rate: 100 ms of clock are 200 ms of media.
    ASSERT_TRUE(player.SetRate(2.0));
    tick.now += 100;
    EXPECT_EQ(player.Position(), 1700 * kMs);
    // Pausing keeps the position; the clock moving on does not change it.
    ASSERT_TRUE(player.Pause());
    tick.now += 1000;
    EXPECT_EQ(player.Position(), 1700 * kMs);
    ASSERT_TRUE(player.Run());
    tick.now += 1000;
    ASSERT_TRUE(WaitComplete());
    EXPECT_EQ(player.Position(), player.Duration());
}

TEST_F(PlayerTest, OpenFailuresNameTheirStage) {
    struct Case {
        std::string path;
        av::OpenStage stage;
    };
    const Case cases[] = {
        {"/nonexistent/none.mp4", av::OpenStage::Source},
        {Media::Get().garbage, av::OpenStage::Source},
        {Media::Get().audioOnly, av::OpenStage::VideoStream},
    };
    for (const Case& c : cases) {
        av::OpenFailure failure;
        EXPECT_FALSE(player.Open(c.path, {}, &sink, &failure)) << c.path;
        EXPECT_EQ(failure.stage, c.stage) << c.path;
        EXPECT_LT(failure.code, 0);
        EXPECT_FALSE(failure.text.empty());
        EXPECT_FALSE(player.IsOpen());
        EXPECT_FALSE(player.Run());
    }
    av::OpenFailure failure;
    av::OpenOptions options;
    options.inputFormat = "no-such-demuxer";
    EXPECT_FALSE(player.Open(Media::Get().video, options, &sink, &failure));
    EXPECT_EQ(failure.stage, av::OpenStage::Source);
    EXPECT_FALSE(player.Open(Media::Get().video, {}, nullptr, &failure));
}

// Media names are files, never protocol URLs: a name that looks like one is
// the file of that name, and a protocol name with no such file is refused.
TEST_F(PlayerTest, NamesAreFilesNotProtocols) {
    testsupport::TempDir dir;
    const auto small = [&](const std::string& name) {
        int status = 0;
        testsupport::RunShell("ffmpeg -nostdin -loglevel error -y -f lavfi -i testsrc=size=160x120:rate=25 -t 1 "
                              "-pix_fmt yuv420p '" + (dir / name).string() + "' 2>&1", &status);
        ASSERT_EQ(status, 0);
    };
    small("a.mp4");
    small("b.mp4");
    std::filesystem::copy_file(Media::Get().video, dir / "concat:a.mp4|b.mp4");
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    struct Case {
        std::string name;
        bool opens;
        int32_t width;
    };
    const Case cases[] = {
        {"concat:a.mp4|b.mp4", true, 320},    // the file named so, not a and b joined
        {"a.mp4", true, 160},                 // relative to the working folder
        {"concat:b.mp4|a.mp4", false, 0},     // no such file: nothing is joined
        {"http://127.0.0.1:9/a.mp4", false, 0},
        {"pipe:0", false, 0},
        {"file:a.mp4", false, 0},
        {"", false, 0},
    };
    for (const Case& c : cases) {
        av::OpenFailure failure;
        EXPECT_EQ(player.Open(c.name, {}, &sink, &failure), c.opens) << c.name;
        if (c.opens) {
            EXPECT_EQ(player.Width(), c.width) << c.name;
        } else {
            EXPECT_EQ(failure.stage, av::OpenStage::Source) << c.name;
        }
        player.Close();
    }
    std::filesystem::current_path(before);
}

TEST_F(PlayerTest, RefusedFormatDeliversNoFrames) {
    sink.acceptFormat = false;
    OpenVideo();
    ASSERT_TRUE(player.Run());
    ASSERT_TRUE(WaitComplete());
    EXPECT_EQ(sink.Formats().size(), 1u);
    EXPECT_EQ(sink.Count(), 0u);
}

TEST_F(PlayerTest, LiveTestSourceRunsWithoutPrerollOrSeeking) {
    av::OpenOptions options;
    options.inputFormat = "lavfi";
    options.live = true;
    av::OpenFailure failure;
    ASSERT_TRUE(player.Open("testsrc=size=160x120:rate=25", options, &sink, &failure)) << failure.text;
    EXPECT_TRUE(player.IsLive());
    EXPECT_EQ(player.Duration(), 0);
    EXPECT_FALSE(player.Seek(kSec));
    ASSERT_TRUE(player.Pause());
    ASSERT_TRUE(player.Run());
    ASSERT_TRUE(WaitUntil([&] { return sink.Count() >= 3; }));
    for (const Delivered& f : sink.Frames()) EXPECT_FALSE(f.preroll);
    EXPECT_EQ(sink.Formats().at(0).stride, 480);
    // Paused: frames stop; running again they come back.
    ASSERT_TRUE(player.Pause());
    ASSERT_TRUE(player.Run());
    const size_t before = sink.Count();
    ASSERT_TRUE(WaitUntil([&] { return sink.Count() >= before + 3; }));
}

TEST_F(PlayerTest, CloseWhileRunningEndsAndReopens) {
    av::OpenOptions options;
    options.inputFormat = "lavfi";
    options.live = true;
    ASSERT_TRUE(player.Open("testsrc=size=160x120:rate=25", options, &sink));
    ASSERT_TRUE(player.Run());
    ASSERT_TRUE(WaitUntil([&] { return sink.Count() >= 2; }));
    auto closed = std::async(std::launch::async, [&] { player.Close(); });
    ASSERT_EQ(closed.wait_for(20s), std::future_status::ready);
    EXPECT_FALSE(player.IsOpen());
    EXPECT_EQ(player.Position(), 0);
    player.Close();  // twice is fine
    RecordingSink second;
    ASSERT_TRUE(player.Open(Media::Get().video, {}, &second));
    ASSERT_TRUE(player.Pause());
    ASSERT_TRUE(WaitUntil([&] { return second.Count() >= 1; }));
}

TEST(SyncClock, RebasesAndKeepsCountingAcrossTheSignBit) {
    ManualTick tick;
    tick.now = 0xFFFFFF00u;  // the tick wraps soon
    av::SyncClock clock(1000, tick.Fn());
    EXPECT_EQ(clock.GetTimeMs(), 1000u);
    EXPECT_EQ(clock.Now(), 1000 * kMs);
    tick.now += 0x200;  // across the wrap of the tick
    EXPECT_EQ(clock.GetTimeMs(), 1000u + 0x200);
    EXPECT_EQ(clock.Now(), int64_t{1000 + 0x200} * kMs);
    // A server time past 2^31 ms still runs forward in 100 ns units.
    clock.SetTimeMs(0x7FFFFFF0u);
    tick.now += 0x20;
    EXPECT_EQ(clock.GetTimeMs(), 0x80000010u);
    EXPECT_EQ(clock.Now(), int64_t{0x80000010} * kMs);
    // Set backwards: the new time plus what elapsed since.
    clock.SetTimeMs(10);
    tick.now += 5;
    EXPECT_EQ(clock.GetTimeMs(), 15u);
}

TEST(CaptureDevices, ListedOnlyWhenPresent) {
    const auto devices = av::ListVideoCaptureDevices();
    bool anyNode = false;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator("/dev", ec))
        if (e.path().filename().string().rfind("video", 0) == 0) anyNode = true;
    if (!anyNode) {
        EXPECT_TRUE(devices.empty());
        GTEST_SKIP() << "no /dev/video* on this machine";
    }
    for (const auto& d : devices) {
        EXPECT_EQ(d.inputFormat, "v4l2");
        EXPECT_FALSE(d.name.empty());
    }
}

TEST(CaptureDevices, RealDeviceDeliversFrames) {
    const auto devices = av::ListVideoCaptureDevices();
    if (devices.empty()) GTEST_SKIP() << "no video capture device";
    RecordingSink sink;
    av::Player player;
    av::OpenOptions options;
    options.inputFormat = devices[0].inputFormat;
    options.live = true;
    av::OpenFailure failure;
    ASSERT_TRUE(player.Open(devices[0].url, options, &sink, &failure)) << failure.text;
    ASSERT_TRUE(player.Run());
    EXPECT_TRUE(WaitUntil([&] { return sink.Count() >= 1; }, 10s));
}

}  // namespace
