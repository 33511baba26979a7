// The engine's sound, written to a file-backed ALSA PCM and read back.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "av/Player.h"
#include "support/AlsaTaps.h"
#include "support/support.h"

namespace {

using namespace std::chrono_literals;
using testsupport::WaitUntil;

constexpr int64_t kSec = av::kUnitsPerSecond;
constexpr int64_t kMs = av::kUnitsPerMs;
constexpr int kRate = 44100;
// The sine source's amplitude: an eighth of full scale.
constexpr double kToneAmplitude = 32768.0 / 8.0;

// A clock the test moves by hand.
class ManualClock : public av::ReferenceClock {
public:
    int64_t Now() override { return now.load(); }
    std::atomic<int64_t> now{0};
};

// Counts frames and notes when a white frame arrives.
class Sink : public av::FrameSink {
public:
    bool OnFormat(const av::FrameFormat& f) override {
        format = f;
        return true;
    }
    void OnFrame(const uint8_t* bits, size_t size, int64_t position, bool) override {
        ++frames;
        last = position;
        const size_t mid = static_cast<size_t>(format.stride) * static_cast<size_t>(format.height / 2) +
                           static_cast<size_t>(format.width / 2) * 3;
        if (clock && mid + 2 < size && bits[mid] > 200 && bits[mid + 1] > 200 && flashAt < 0) flashAt = clock->Now();
    }
    av::FrameFormat format;
    std::atomic<int> frames{0};
    std::atomic<int64_t> last{-1};
    std::atomic<int64_t> flashAt{-1};
    ManualClock* clock = nullptr;
};

// Test clips, each made on first use.
class Media {
public:
    static Media& Get() {
        static Media media;
        return media;
    }
    // 5 s, 1 kHz sine, mono 16-bit 44.1 kHz.
    std::string Tone() { return Make("tone.mkv", kVideo + "-f lavfi -i sine=frequency=1000:sample_rate=44100:duration=5"); }
    // 500 Hz until 2 s, then 2 kHz.
    std::string TwoTone() {
        return Make("twotone.mkv", kVideo + "-f lavfi -i \"aevalsrc=0.25*sin(2*PI*t*if(lt(t\\,2)\\,500\\,2000)):s=44100:d=5\"");
    }
    // Black with one white frame at 2 s, and a click at 2 s.
    std::string Flash() {
        return Make("flash.mkv",
                    "-f lavfi -i \"color=c=black:s=64x48:r=25:d=4[b];color=c=white:s=64x48:r=25:d=4[w];"
                    "[b][w]overlay=enable='eq(n\\,50)'\" "
                    "-f lavfi -i \"aevalsrc=if(between(t\\,2\\,2.003)\\,0.8\\,0):s=44100:d=4\"");
    }
    // No audio stream.
    std::string Silent() { return Make("silent.mkv", kVideo); }
    // 66 s, 1 kHz sine, as Tone().
    std::string LongTone() {
        return Make("longtone.mkv", "-f lavfi -i testsrc=size=64x48:rate=25:duration=66 "
                                    "-f lavfi -i sine=frequency=1000:sample_rate=44100:duration=66");
    }

private:
    inline static const std::string kVideo = "-f lavfi -i testsrc=size=160x120:rate=25:duration=5 ";
    std::string Make(const std::string& name, const std::string& inputs) {
        const std::string path = (dir / name).string();
        std::lock_guard lock(m);
        if (!std::filesystem::exists(path)) {
            int status = 0;
            const std::string out = testsupport::RunShell("ffmpeg -nostdin -loglevel error -y " + inputs +
                                                              " -c:v mpeg4 -q:v 8 -c:a pcm_s16le -ar 44100 -ac 1 '" +
                                                              path + "' 2>&1",
                                                          &status);
            EXPECT_EQ(status, 0) << inputs << "\n" << out;
        }
        return path;
    }
    std::mutex m;
    testsupport::TempDir dir;
};

double Peak(const std::vector<int16_t>& s, size_t from, size_t to) {
    int peak = 0;
    for (size_t i = from; i < to && i < s.size(); ++i) peak = std::max(peak, std::abs(static_cast<int>(s[i])));
    return peak;
}

// Frequency from the rising zero crossings of a stretch of samples.
double Frequency(const std::vector<int16_t>& s, size_t from, size_t to) {
    int crossings = 0;
    for (size_t i = from + 1; i < to && i < s.size(); ++i)
        if (s[i - 1] < 0 && s[i] >= 0) ++crossings;
    return static_cast<double>(crossings) * kRate / static_cast<double>(to - from);
}

// A clock that runs `ratio` times as fast as the monotonic one, as the clock
// of a server keeping step with others does against its sound card's.
class DriftingClock : public av::ReferenceClock {
public:
    explicit DriftingClock(double ratio) : ratio_(ratio), start_(base_.Now()) {}
    int64_t Now() override { return start_ + static_cast<int64_t>(static_cast<double>(base_.Now() - start_) * ratio_); }

private:
    av::SystemClock base_;
    double ratio_;
    int64_t start_;
};

// The places where a sine stops following itself: each sample of a sine is
// 2 cos(w) times the one before less the one before that; a dropped or an
// added sample, or a gap, breaks that by far more than rounding does.
std::vector<size_t> Breaks(const std::vector<int16_t>& s, size_t from, size_t to, double hz) {
    const double k = 2.0 * std::cos(2.0 * M_PI * hz / kRate);
    std::vector<size_t> at;
    for (size_t i = std::max<size_t>(from, 2); i < to && i < s.size(); ++i) {
        const double residual = s[i] - k * s[i - 1] + s[i - 2];
        if (std::fabs(residual) > 40.0) at.push_back(i);
    }
    return at;
}

class PlayerAudioTest : public ::testing::Test {
protected:
    void Open(const std::string& file, const std::string& device = "tap") {
        av::OpenOptions options;
        options.audioDevice = device;
        options.audioLog = [this](const std::string& text) {
            std::lock_guard lock(logMutex);
            log.push_back(text);
        };
        av::OpenFailure failure;
        ASSERT_TRUE(player.Open(file, options, &sink, &failure)) << failure.text;
    }
    std::vector<std::string> Log() {
        std::lock_guard lock(logMutex);
        return log;
    }
    bool PlayedAtLeast(double seconds) {
        return WaitUntil([&] { return taps.PlayedSamples() >= static_cast<size_t>(seconds * kRate); }, 20s);
    }

    testsupport::AlsaTaps taps;
    ManualClock clock;
    Sink sink;
    av::Player player;
    std::mutex logMutex;
    std::vector<std::string> log;
};

TEST_F(PlayerAudioTest, ToneComesOutAtTheVolumesLevel) {
    struct Case {
        int32_t volume;
        double gain;
    };
    // 0 is full level, -100 (a level of 90) is 10^(-100/2000), -10000 is silence.
    const Case cases[] = {{0, 1.0}, {-100, 0.8913}, {-10000, 0.0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.volume);
        Open(Media::Get().Tone());
        ASSERT_TRUE(player.SetVolume(c.volume));
        ASSERT_TRUE(player.Run());
        ASSERT_TRUE(PlayedAtLeast(0.8));
        EXPECT_TRUE(player.AudioActive());
        player.Close();
        const std::vector<int16_t> s = taps.Played();
        taps.ClearPlayed();
        const size_t from = kRate / 10, to = kRate * 7 / 10;
        EXPECT_NEAR(Peak(s, from, to), kToneAmplitude * c.gain, kToneAmplitude * 0.02 + 1);
        if (c.gain > 0) {
            EXPECT_NEAR(Frequency(s, from, to), 1000.0, 20.0);
        }
        EXPECT_TRUE(Log().empty());
    }
}

TEST_F(PlayerAudioTest, PauseStopsTheSoundAtOnce) {
    Open(Media::Get().Tone());
    ASSERT_TRUE(player.Run());
    ASSERT_TRUE(PlayedAtLeast(0.5));
    ASSERT_TRUE(player.Pause());
    const double pausedAt = static_cast<double>(player.Position()) / kSec;
    // Let anything still on its way arrive, then nothing more may come.
    std::this_thread::sleep_for(150ms);
    const size_t atPause = taps.PlayedSamples();
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(taps.PlayedSamples(), atPause);
    // What was written reaches no further than the pause (plus one write).
    EXPECT_LE(static_cast<double>(atPause) / kRate, pausedAt + 0.03);
    // Running again goes on from there.
    ASSERT_TRUE(player.Run());
    EXPECT_TRUE(PlayedAtLeast(static_cast<double>(atPause) / kRate + 0.3));
}

TEST_F(PlayerAudioTest, SeekPlaysTheSoundAtTheNewPlace) {
    Open(Media::Get().TwoTone());
    ASSERT_TRUE(player.Run());
    ASSERT_TRUE(PlayedAtLeast(0.5));
    {
        const std::vector<int16_t> s = taps.Played();
        EXPECT_NEAR(Frequency(s, kRate / 10, kRate * 4 / 10), 500.0, 20.0);
    }
    ASSERT_TRUE(player.Seek(3 * kSec));
    const size_t atSeek = taps.PlayedSamples();
    // The file lags what was written by up to a device buffer (a fifth of a
    // second); the last stretch is surely from after the seek.
    ASSERT_TRUE(PlayedAtLeast(static_cast<double>(atSeek) / kRate + 1.0));
    const std::vector<int16_t> s = taps.Played();
    EXPECT_NEAR(Frequency(s, s.size() - kRate * 4 / 10, s.size()), 2000.0, 40.0);
}

TEST_F(PlayerAudioTest, ClickStaysWithinOneFrameOfTheFlash) {
    sink.clock = &clock;
    Open(Media::Get().Flash());
    ASSERT_TRUE(player.SetClock(std::shared_ptr<av::ReferenceClock>(&clock, [](av::ReferenceClock*) {})));
    // Cued just before the flash, then run in steps of 5 ms: after each step
    // both the pictures and the sound due by then have been handed out.
    ASSERT_TRUE(player.Pause());
    ASSERT_TRUE(player.Seek(1900 * kMs));
    ASSERT_TRUE(WaitUntil([&] { return sink.last.load() >= 1860 * kMs; }, 20s));
    // The cued frame's time: the sound starts there too.
    const int64_t start = player.Position();
    ASSERT_TRUE(player.Run());
    std::vector<std::pair<int64_t, int64_t>> writtenAt;   // clock time, sound written up to
    for (int64_t t = 0; t <= 320 * kMs; t += 5 * kMs) {
        clock.now = t;
        const int64_t pos = start + t;
        ASSERT_TRUE(WaitUntil([&] { return sink.last.load() > pos - 40 * kMs; }, 20s)) << t;
        ASSERT_TRUE(WaitUntil([&] { return player.AudioWritten() >= pos; }, 20s)) << t;
        writtenAt.emplace_back(t, player.AudioWritten());
    }
    player.Close();
    // Sample i of the file is sound at start + i / rate.
    const std::vector<int16_t> s = taps.Played();
    size_t click = 0;
    while (click < s.size() && std::abs(static_cast<int>(s[click])) < 16000) ++click;
    ASSERT_LT(click, s.size());
    const int64_t clickMedia = start + static_cast<int64_t>(click) * kSec / kRate;
    EXPECT_NEAR(static_cast<double>(clickMedia) / kSec, 2.0, 0.002);
    int64_t clickAt = -1;
    for (const auto& [t, written] : writtenAt)
        if (written > clickMedia) {
            clickAt = t;
            break;
        }
    ASSERT_GE(clickAt, 0);
    ASSERT_GE(sink.flashAt.load(), 0);
    EXPECT_LE(std::abs(clickAt - sink.flashAt.load()), 40 * kMs)
        << "click at " << clickAt / kMs << " ms, flash at " << sink.flashAt.load() / kMs << " ms";
}
TEST_F(PlayerAudioTest, RateStretchesOrSilencesTheSound) {
    struct Case {
        double rate;
        bool heard;
    };
    // atempo keeps the pitch within 0.5 to 100; other rates play silently.
    const Case cases[] = {{2.0, true}, {0.5, true}, {0.25, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rate);
        Open(Media::Get().Tone());
        ASSERT_TRUE(player.SetRate(c.rate));
        ASSERT_TRUE(player.Run());
        if (c.heard) {
            ASSERT_TRUE(PlayedAtLeast(0.6));
            const std::vector<int16_t> s = taps.Played();
            EXPECT_NEAR(Frequency(s, kRate / 5, kRate / 2), 1000.0, 30.0);
        } else {
            const int before = sink.frames.load();
            ASSERT_TRUE(WaitUntil([&] { return sink.frames.load() >= before + 3; }, 20s));
            EXPECT_EQ(taps.PlayedSamples(), 0u);
        }
        player.Close();
        taps.ClearPlayed();
    }
}

TEST_F(PlayerAudioTest, WithoutDeviceOrSoundTheVideoPlays) {
    struct Case {
        std::string file;
        std::string device;
        size_t logLines;
    };
    const Case cases[] = {
        {Media::Get().Tone(), "no_such_pcm", 1},   // no device: one line, no sound
        {Media::Get().Silent(), "tap", 0},         // nothing to play
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.device);
        {
            std::lock_guard lock(logMutex);
            log.clear();
        }
        sink.frames = 0;
        Open(c.file, c.device);
        ASSERT_TRUE(player.Run());
        ASSERT_TRUE(WaitUntil([&] { return sink.frames.load() >= 10; }, 20s));
        EXPECT_FALSE(player.AudioActive());
        player.Close();
        const auto lines = Log();
        ASSERT_EQ(lines.size(), c.logLines);
        if (c.logLines) {
            EXPECT_NE(lines[0].find(c.device), std::string::npos) << lines[0];
        }
        EXPECT_EQ(taps.PlayedSamples(), 0u);
    }
}

// The clocks of a wall drift against the sound card by tens of parts per
// million; a tenth of a percent puts the sound 60 ms off the picture within
// the minute, which must be taken back without a click. One clock fast, one
// slow; each runs a minute in real time, so they are two tests.
class SettledTone : public PlayerAudioTest, public ::testing::WithParamInterface<double> {};

TEST_P(SettledTone, HasNoBreakWhileTheSoundFollowsADriftingClock) {
    const double ratio = GetParam();
    taps.AddSteady(SV_ALSA_STEADY_MODULE);
    std::filesystem::remove(taps.SteadyFile());
    Open(Media::Get().LongTone(), "steady");
    ASSERT_TRUE(player.SetClock(std::make_shared<DriftingClock>(ratio)));
    ASSERT_TRUE(player.Run());
    const auto played = [&] {
        std::error_code ec;
        const auto size = std::filesystem::file_size(taps.SteadyFile(), ec);
        return ec ? size_t{0} : static_cast<size_t>(size / 2);
    };
    ASSERT_TRUE(WaitUntil([&] { return played() >= static_cast<size_t>(62 * kRate); }, 100s));
    player.Close();
    const std::vector<int16_t> s = testsupport::AlsaTaps::ReadS16(taps.SteadyFile());
    // Settled: from two seconds in, a minute of sound.
    const std::vector<size_t> breaks = Breaks(s, 2 * kRate, 62 * kRate, 1000.0 * ratio);
    EXPECT_TRUE(breaks.empty()) << breaks.size() << " breaks, the first at " << breaks.front() << " ("
                                << static_cast<double>(breaks.front()) / kRate << " s)";
    EXPECT_NEAR(Peak(s, 2 * kRate, 62 * kRate), kToneAmplitude, kToneAmplitude * 0.02 + 1);
    // The sound keeps up with the clock: a minute of the card's time holds
    // `ratio` minutes of the tone, to within a few milliseconds (a tenth of
    // a cycle a second is 6 ms in the minute).
    EXPECT_NEAR(Frequency(s, 2 * kRate, 62 * kRate), 1000.0 * ratio, 0.1);
    EXPECT_TRUE(Log().empty());
}

INSTANTIATE_TEST_SUITE_P(FastAndSlowClock, SettledTone, ::testing::Values(1.001, 0.999));

}  // namespace
