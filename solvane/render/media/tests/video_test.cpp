#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>

#include "core/Fakes.h"
#include "core/ServerClock.h"
#include "media/FileVideo.h"
#include "media/InputVideo.h"
#include "media/TextureRenderer.h"
#include "platform/tick.h"
#include "support/AlsaTaps.h"
#include "support/support.h"
#include "util/LogCapture.h"

namespace {

using namespace std::chrono_literals;
using testsupport::WaitUntil;

constexpr int64_t kSec = av::kUnitsPerSecond;

// Test videos, made once per test program.
class Videos {
public:
    static Videos& Get() {
        static Videos v;
        return v;
    }
    std::string mp4;        // 2 s, 320 x 240, 25 fps
    std::string upperAvi;   // the same as AVI, extension in capitals
    std::string mov;
    std::string aviNamedMp4;
    std::string tone;       // sound only

private:
    Videos() {
        mp4 = Path("clip.mp4");
        upperAvi = Path("clip.AVI");
        mov = Path("clip.mov");
        aviNamedMp4 = Path("really-avi.mp4");
        tone = Path("tone.wav");
        const std::string src = "-f lavfi -i testsrc=size=320x240:rate=25 -t 2 -pix_fmt yuv420p -g 10 ";
        Make(src + "'" + mp4 + "'");
        Make(src + "-c:v mpeg4 '" + upperAvi + "'");
        Make(src + "'" + mov + "'");
        Make(src + "-c:v mpeg4 -f avi '" + aviNamedMp4 + "'");
        Make("-f lavfi -i sine=frequency=440:duration=1 '" + tone + "'");
    }
    std::string Path(const std::string& name) { return (dir / name).string(); }
    static void Make(const std::string& args) {
        int status = 0;
        const std::string out = testsupport::RunShell("ffmpeg -nostdin -loglevel error -y " + args + " 2>&1", &status);
        EXPECT_EQ(status, 0) << args << "\n" << out;
    }
    testsupport::TempDir dir;
};

// Takes the frame as the render thread does: true when one was ready.
bool TakeFrame(MediaBaseClass& m) {
    auto lock = m.LockMedia();
    if (!m.m_bFrameReady) return false;
    m.m_bFrameReady = false;
    return true;
}

bool WaitFrame(MediaBaseClass& m) {
    return WaitUntil([&] { return TakeFrame(m); }, 10s);
}

int64_t SeekPos(FileVideo& v) {
    auto lock = v.LockMedia();
    return v.m_llSeekPosition;
}

// ------------------------------------------------------------ renderer ----

TEST(Velmarer, AcceptsOnlyBottomUp24BitShapes) {
    struct Case {
        int32_t width, height, bits;
        Velmarer::TypeCheck expect;
    };
    const Case cases[] = {
        {320, 240, 24, Velmarer::TypeCheck::Ok},
        {320, -240, 24, Velmarer::TypeCheck::Fail},
        {0, 240, 24, Velmarer::TypeCheck::Fail},
        {320, 240, 32, Velmarer::TypeCheck::InvalidArg},
        {320, 240, 16, Velmarer::TypeCheck::InvalidArg},
    };
    for (const Case& c : cases) {
        av::FrameFormat f{c.width, c.height, av::BitmapStride(c.width, c.bits), c.bits};
        EXPECT_EQ(Velmarer::CheckMediaType(&f), c.expect) << c.width << "x" << c.height << "x" << c.bits;
    }
    EXPECT_EQ(Velmarer::CheckMediaType(nullptr), Velmarer::TypeCheck::InvalidArg);
}

TEST(Velmarer, WideOddRowsArePaddedAndCopiedRowByRow) {
    InputVideo owner;  // a plain (non-file) owner
    Velmarer renderer(0, 0, &owner);
    const av::FrameFormat f{1366, 4, av::BitmapStride(1366, 24), 24};
    ASSERT_EQ(f.stride, 4100);
    {
        auto lock = owner.LockMedia();
        ASSERT_TRUE(owner.PrepareFrameLocked(1366, 4, 4100, 3));
        std::memset(owner.m_pFrame, 0xEE, 4100 * 4);
    }
    ASSERT_TRUE(renderer.OnFormat(f));
    EXPECT_TRUE(renderer.PaddedRows());
    // The frame holds the samples' pixels widened to opaque 32-bit ones.
    constexpr int32_t kRow = 1366 * 4;
    {
        auto lock = owner.LockMedia();
        EXPECT_EQ(owner.m_nWidth, 1366);
        EXPECT_EQ(owner.m_nHeight, 4);
        EXPECT_EQ(owner.m_nStride, kRow);
        EXPECT_EQ(owner.m_nFrameSize, kRow * 4);
        EXPECT_EQ(owner.FramePixelFormat(), kPixelFormatBGRA);
        EXPECT_FLOAT_EQ(owner.m_fAspect, 1366.0f / 4.0f);
        EXPECT_EQ(owner.m_pFrame[0], 0);  // cleared on connection
        EXPECT_EQ(owner.m_pFrame[kRow * 4 - 1], 0);
    }
    std::vector<uint8_t> sample(4100 * 4);
    for (size_t i = 0; i < sample.size(); ++i) sample[i] = static_cast<uint8_t>(i % 251);
    ASSERT_TRUE(renderer.DoRenderSample(sample.data(), sample.size(), 0));
    auto pixelIs = [&](int row, int x, const uint8_t* bgr) {
        const uint8_t* p = owner.m_pFrame + size_t(row) * kRow + size_t(x) * 4;
        return p[0] == bgr[0] && p[1] == bgr[1] && p[2] == bgr[2] && p[3] == 255;
    };
    {
        auto lock = owner.LockMedia();
        EXPECT_TRUE(owner.m_bFrameReady);
        int wrong = 0;
        for (int row = 0; row < 4; ++row)
            for (int x = 0; x < 1366; ++x) wrong += !pixelIs(row, x, sample.data() + size_t(row) * 4100 + size_t(x) * 3);
        EXPECT_EQ(wrong, 0);
    }
    EXPECT_EQ(owner.m_nDelivered[1], 1);

    // A sample shorter than the frame copies what its rows hold and no more:
    // 100 bytes are four rows of 25 bytes, eight whole pixels each.
    std::vector<uint8_t> shortSample(100, 7);
    EXPECT_TRUE(renderer.DoRenderSample(shortSample.data(), shortSample.size(), 0));
    {
        auto lock = owner.LockMedia();
        for (int row = 0; row < 4; ++row) {
            EXPECT_TRUE(pixelIs(row, 7, shortSample.data())) << row;
            EXPECT_TRUE(pixelIs(row, 8, sample.data() + size_t(row) * 4100 + 24)) << row;
        }
    }

    const av::FrameFormat narrow{320, 2, 960, 24};
    ASSERT_TRUE(renderer.OnFormat(narrow));
    EXPECT_FALSE(renderer.PaddedRows());
}

TEST(Velmarer, PausedRendererDropsAllButTheFileVideosFirstSample) {
    FileVideo file;
    InputVideo capture;
    const av::FrameFormat f{2, 2, 8, 24};
    const std::vector<uint8_t> sample(16, 9);
    for (MediaBaseClass* owner : {static_cast<MediaBaseClass*>(&file), static_cast<MediaBaseClass*>(&capture)}) {
        Velmarer renderer(0, 0, owner);
        ASSERT_TRUE(renderer.OnFormat(f));
        renderer.Pause();
        EXPECT_EQ(owner->m_nRendererPaused, 1);
        EXPECT_FALSE(renderer.DoRenderSample(sample.data(), sample.size(), 0));
        EXPECT_FALSE(TakeFrame(*owner));
        const bool isFile = owner == &file;
        renderer.OnFrame(sample.data(), sample.size(), 5 * kSec, true);
        EXPECT_EQ(TakeFrame(*owner), isFile);
        EXPECT_EQ(owner->m_nRendererPaused, 1);  // left as it was
        renderer.Run();
        EXPECT_EQ(owner->m_nRendererPaused, 0);
        EXPECT_TRUE(renderer.DoRenderSample(sample.data(), sample.size(), 6 * kSec));
        EXPECT_TRUE(TakeFrame(*owner));
    }
    // A file video owner notes the position of every frame it shows.
    EXPECT_EQ(SeekPos(file), 6 * kSec);
    EXPECT_DOUBLE_EQ(file.m_dCachedPosition, 6.0);
}

TEST(Velmarer, FilterStatesDriveTheFrameEventAndCounters) {
    FileVideo owner;
    owner.m_frameEvent = std::make_unique<platform::Event>(false, false);
    Velmarer renderer(0, 0, &owner);
    owner.m_nDelivered[0] = 4;
    owner.m_nDelivered[1] = 5;
    renderer.Stop();
    EXPECT_TRUE(owner.m_frameEvent->IsSet());
    EXPECT_EQ(owner.m_nDelivered[0], 0);
    EXPECT_EQ(owner.m_nDelivered[1], 0);
    renderer.Run();
    EXPECT_FALSE(owner.m_frameEvent->IsSet());
    renderer.Pause();
    EXPECT_TRUE(owner.m_frameEvent->IsSet());
    EXPECT_EQ(owner.m_nRendererPaused, 1);

    Velmarer orphan(0, 0, nullptr);
    EXPECT_FALSE(orphan.OnFormat(av::FrameFormat{2, 2, 8, 24}));
    const uint8_t bits[16] = {};
    EXPECT_FALSE(orphan.DoRenderSample(bits, sizeof bits, 0));
}

TEST(SyncSourceClock, StartsAtTheServerClock) {
    platform::ManualTickSource tick(100000);
    platform::SetTickSource(&tick);
    CServerClock server;
    server.SetTime(105000);  // 5,000 ms ahead of the tick
    CMySyncSourceClock clock(nullptr, &server);
    EXPECT_EQ(clock.GetPrivateTime(), int64_t{100000} * 10000 + 50000000);
    EXPECT_EQ(clock.GetTimeMs(), 105000u);
    tick.Advance(10);
    EXPECT_EQ(clock.GetPrivateTime(), int64_t{105010} * 10000);
    clock.SetTimeMs(7);
    tick.Advance(3);
    EXPECT_EQ(clock.GetTimeMs(), 10u);
    platform::SetTickSource(nullptr);
}

// ---------------------------------------------------------- file video ----

class FileVideoTest : public ::testing::Test {
protected:
    void Load(FileVideo& v, const std::string& path) {
        ASSERT_TRUE(v.LoadResource(path, 4, 9, -1));
        v.Common().handle = 7;
        v.SetNotifyWindow(&window);
    }
    FakeOutputWindow window;
    std::vector<int32_t> events;
};

TEST_F(FileVideoTest, LoadsPausedWithItsFirstPicture) {
    FileVideo v;
    EXPECT_EQ(v.Common().state, kMediaPlaying);
    EXPECT_EQ(v.Common().type, kMediaFileVideo);
    Load(v, Videos::Get().mp4);
    EXPECT_EQ(v.Common().state, kMediaPaused);
    EXPECT_EQ(v.m_nGraphState, FileVideo::kGraphBuilt);
    EXPECT_TRUE(v.m_bLoaded);
    EXPECT_TRUE(v.m_bSplitter);
    EXPECT_NE(v.m_seekEvent, nullptr);
    EXPECT_NE(v.m_frameEvent, nullptr);
    EXPECT_EQ(v.Common().name, Videos::Get().mp4);
    EXPECT_EQ(v.Common().layer, 4);
    EXPECT_EQ(v.m_nReserved, 9);
    EXPECT_NEAR(v.m_dDuration, 2.0, 0.1);
    EXPECT_NEAR(v.GetDuration(), 2.0, 0.1);
    EXPECT_NEAR(v.m_dFrameTime, 0.04, 0.001);
    EXPECT_DOUBLE_EQ(v.m_dCurrentRate, 1.0);
    EXPECT_DOUBLE_EQ(v.m_dInitialRate, 1.0);
    ASSERT_TRUE(WaitFrame(v));
    auto lock = v.LockMedia();
    EXPECT_EQ(v.m_nWidth, 320);
    EXPECT_EQ(v.m_nHeight, 240);
    EXPECT_EQ(v.m_nStride, 1280);
    EXPECT_EQ(v.FramePixelFormat(), kPixelFormatBGRA);
    EXPECT_LT(v.m_llSeekPosition, kSec / 10);
}

// The size is answered right after loading, before any picture arrived.
TEST_F(FileVideoTest, ShapeIsKnownWhenTheLoadReturns) {
    for (const std::string& path : {Videos::Get().mp4, Videos::Get().upperAvi, Videos::Get().mov}) {
        FileVideo v;
        ASSERT_TRUE(v.LoadResource(path, 0, 0, -1)) << path;
        int32_t width = 0, height = 0;
        float aspect = 0.0f;
        v.FrameShape(width, height, aspect);
        EXPECT_EQ(width, 320) << path;
        EXPECT_EQ(height, 240) << path;
        EXPECT_FLOAT_EQ(aspect, 320.0f / 240.0f) << path;
    }
}

TEST_F(FileVideoTest, DemuxerChosenByExtensionWithFallback) {
    struct Case {
        std::string path;
        bool splitter;
        bool logsNoSplitter;
        bool logsConnectFailed;
    };
    const Case cases[] = {
        {Videos::Get().upperAvi, true, false, false},
        {Videos::Get().mov, false, true, false},
        {Videos::Get().aviNamedMp4, false, false, true},
    };
    for (const Case& c : cases) {
        util::LogCapture log;
        FileVideo v;
        ASSERT_TRUE(v.LoadResource(c.path, 0, 0, -1)) << c.path;
        EXPECT_EQ(v.m_bSplitter, c.splitter) << c.path;
        EXPECT_EQ(log.Contains("Error to create splitter filter"), c.logsNoSplitter) << c.path;
        EXPECT_EQ(log.Contains("connect pin failed. hr=0x"), c.logsConnectFailed) << c.path;
        EXPECT_TRUE(WaitFrame(v)) << c.path;
    }
}

TEST_F(FileVideoTest, FailedLoadsAreLoggedAndTornDown) {
    struct Case {
        std::string path;
        std::string log;
    };
    const Case cases[] = {
        {"/nonexistent/clip.mkv", "Add source filter failed. hr=0x"},
        {Videos::Get().tone, "Load File error. add render filter. hr=0x"},
    };
    for (const Case& c : cases) {
        util::LogCapture log;
        FileVideo v;
        EXPECT_FALSE(v.LoadResource(c.path, 0, 0, -1)) << c.path;
        EXPECT_TRUE(log.Contains(LOGTEXT::Level::Debug, c.log)) << c.path;
        EXPECT_EQ(v.m_nGraphState, FileVideo::kGraphNone);
        EXPECT_EQ(v.Common().state, kMediaNotLoaded);
        EXPECT_FALSE(v.m_bLoaded);
        // Operations on a video that did not load do nothing.
        v.Play();
        EXPECT_EQ(v.Common().state, kMediaNotLoaded);
        EXPECT_DOUBLE_EQ(v.GetPosition(), 0.0);
        EXPECT_EQ(v.GetVolume(), 0);
        int64_t pos = 0;
        EXPECT_FALSE(v.GetSeekPosition(pos));
    }
}

TEST_F(FileVideoTest, PlaysToTheEndAndTellsTheWindowOnce) {
    FileVideo v;
    Load(v, Videos::Get().mp4);
    ASSERT_TRUE(WaitFrame(v));
    v.Play();
    EXPECT_EQ(v.Common().state, kMediaPlaying);
    EXPECT_EQ(v.m_nRendererPaused, 0);
    v.Play();  // already playing: nothing
    EXPECT_EQ(v.Player().State(), av::PlayerState::Running);
    // Frames arrive in order until the end is reported.
    int64_t last = -1;
    int frames = 0;
    ASSERT_TRUE(WaitUntil(
        [&] {
            if (TakeFrame(v)) {
                const int64_t p = SeekPos(v);
                EXPECT_GE(p, last);
                last = p;
                ++frames;
            }
            int32_t code = 0;
            while (v.NextPlayerEvent(code)) events.push_back(code);
            return !events.empty();
        },
        20s));
    EXPECT_GE(frames, 3);
    EXPECT_GT(last, kSec);
    EXPECT_GT(v.m_nDelivered[1], 0);
    EXPECT_EQ(events, std::vector<int32_t>{kPlayerEventComplete});
    ASSERT_TRUE(WaitUntil([&] { return window.Count("media 7") == 1; }));
    EXPECT_NEAR(v.GetPosition(), v.GetDuration(), 0.001);

    // What the output window does at the end: back to the start, paused.
    // The video may run on for a moment between the two calls; the picture
    // left is the paused place, near the start rather than the last frame.
    TakeFrame(v);
    ASSERT_TRUE(v.SeekTo(0));
    v.Pause();
    ASSERT_TRUE(WaitFrame(v));
    EXPECT_LE(SeekPos(v), v.Player().Position());
    EXPECT_LT(SeekPos(v), kSec);
    v.SignalStop();
    EXPECT_TRUE(v.m_stopEvent.IsSet());
}

TEST_F(FileVideoTest, SeeksWhilePausedShowTheFrameThere) {
    FileVideo v;
    Load(v, Videos::Get().mp4);
    ASSERT_TRUE(WaitFrame(v));
    ASSERT_TRUE(v.SeekTo(kSec));
    ASSERT_TRUE(WaitFrame(v));
    EXPECT_NEAR(static_cast<double>(SeekPos(v)) / kSec, 1.0, 0.05);
    EXPECT_NEAR(v.m_dCachedPosition, 1.0, 0.05);
    EXPECT_NEAR(v.GetPosition(), 1.0, 0.05);
    int64_t pos = 0;
    ASSERT_TRUE(v.GetSeekPosition(pos));
    EXPECT_NEAR(static_cast<double>(pos) / kSec, 1.0, 0.05);

    v.SetPosition(0.5);
    ASSERT_TRUE(WaitFrame(v));
    EXPECT_NEAR(v.m_dCachedPosition, 0.5, 0.05);
    // Not a number: ignored.
    v.SetPosition(std::nan(""));
    v.SetPosition(INFINITY);
    EXPECT_NEAR(v.GetPosition(), 0.5, 0.05);
}

TEST_F(FileVideoTest, StopRewindsOnceAndPlayStartsAgain) {
    FileVideo v;
    Load(v, Videos::Get().mp4);
    ASSERT_TRUE(WaitFrame(v));
    ASSERT_TRUE(v.SeekTo(kSec));
    ASSERT_TRUE(WaitFrame(v));
    v.Stop();
    EXPECT_EQ(v.Common().state, kMediaStopped);
    EXPECT_EQ(v.m_nRendererPaused, 1);
    EXPECT_EQ(v.m_nDelivered[0], 0);
    EXPECT_EQ(SeekPos(v), 0);
    EXPECT_DOUBLE_EQ(v.m_dCachedPosition, 0.0);
    EXPECT_DOUBLE_EQ(v.GetPosition(), 0.0);
    // A second stop does nothing: it would rewind again.
    v.SetPosition(1.5);
    v.Stop();
    EXPECT_NEAR(v.GetPosition(), 1.5, 0.001);
    v.Play();
    ASSERT_TRUE(WaitFrame(v));
    EXPECT_NEAR(static_cast<double>(SeekPos(v)) / kSec, 1.5, 0.1);
    v.Pause();
    EXPECT_EQ(v.Common().state, kMediaPaused);
    v.Pause();
    EXPECT_EQ(v.Player().State(), av::PlayerState::Paused);
}

TEST_F(FileVideoTest, VolumeOnASquareCurveAndRate) {
    FileVideo v;
    Load(v, Videos::Get().mp4);
    struct Case {
        int32_t set, engine, read;
    };
    // The level reads back as set (kept in range), so stepping it works.
    const Case cases[] = {{100, 0, 100}, {150, 0, 100}, {90, -100, 90}, {50, -2500, 50}, {0, -10000, 0},
                          {-5, -10000, 0}};
    for (const Case& c : cases) {
        v.SetVolume(c.set);
        EXPECT_EQ(v.Player().Volume(), c.engine) << c.set;
        EXPECT_EQ(v.GetVolume(), c.read) << c.set;
    }
    v.SetVolume(90);
    v.SetVolume(v.GetVolume() - 5);
    EXPECT_EQ(v.GetVolume(), 85);
    EXPECT_EQ(v.Player().Volume(), -225);
    EXPECT_FALSE(v.SetPlayRate(0.0));
    EXPECT_DOUBLE_EQ(v.m_dCurrentRate, 1.0);
    EXPECT_TRUE(v.SetPlayRate(2.0));
    EXPECT_DOUBLE_EQ(v.m_dCurrentRate, 2.0);
    EXPECT_DOUBLE_EQ(v.Player().Rate(), 2.0);
}

TEST_F(FileVideoTest, SyncClockOnlyWithSynchronisation) {
    FileVideo plain(false);
    Load(plain, Videos::Get().mp4);
    uint32_t ms = 123;
    EXPECT_FALSE(plain.ClockTimeMs(ms));
    EXPECT_EQ(plain.GetSyncTime(), 0u);
    plain.SetSyncTime(5000);  // nothing to re-base
    EXPECT_EQ(plain.m_pSyncClock, nullptr);

    util::LogCapture log;
    CServerClock::GetInstance()->SetTime(1000000);
    FileVideo synced(true);
    Load(synced, Videos::Get().mp4);
    ASSERT_NE(synced.m_pSyncClock, nullptr);
    EXPECT_TRUE(log.Contains("set frame format result =0x"));
    EXPECT_GE(synced.GetSyncTime(), 1000000u);
    EXPECT_LT(synced.GetSyncTime(), 1000000u + 60000u);
    synced.SetSyncTime(42);
    EXPECT_GE(synced.GetSyncTime(), 42u);
    EXPECT_LT(synced.GetSyncTime(), 42u + 60000u);
    ASSERT_TRUE(synced.ClockTimeMs(ms));
    EXPECT_GE(ms, 42u);
    // The player runs on it: a re-basing moves the position.
    ASSERT_TRUE(WaitFrame(synced));
    synced.Play();
    const double before = synced.GetPosition();
    synced.SetSyncTime(synced.GetSyncTime() + 1000);
    // (No further than the end, should this thread have been held up.)
    EXPECT_GE(synced.GetPosition(), std::min(before + 0.9, synced.GetDuration()));
}

TEST_F(FileVideoTest, CloseTearsDownWhilePlaying) {
    FileVideo v;
    Load(v, Videos::Get().mp4);
    v.Play();
    ASSERT_TRUE(WaitFrame(v));
    EXPECT_TRUE(v.Close());
    EXPECT_EQ(v.Common().state, kMediaNotLoaded);
    EXPECT_EQ(v.m_nGraphState, FileVideo::kGraphNone);
    EXPECT_EQ(v.m_nWidth, 0);
    EXPECT_EQ(v.m_nFrameSize, 0);
    EXPECT_FALSE(v.m_bFrameReady);
    EXPECT_TRUE(v.m_stopEvent.IsSet());
    EXPECT_FALSE(v.Player().IsOpen());
    EXPECT_TRUE(v.Close());
    // Loads again.
    Load(v, Videos::Get().mp4);
    EXPECT_FALSE(v.m_stopEvent.IsSet());
    EXPECT_TRUE(WaitFrame(v));
}

// ------------------------------------------------------- video capture ----

std::vector<av::CaptureDevice> OneTestCamera() {
    av::CaptureDevice d;
    d.name = "Test Camera";
    d.inputFormat = "lavfi";
    d.url = "testsrc=size=160x120:rate=25";
    return {d};
}

TEST(InputVideoTest, OpensDeviceNumberPausedThenPlays) {
    InputVideo v(OneTestCamera);
    EXPECT_EQ(v.Common().state, kMediaNotLoaded);
    EXPECT_EQ(v.Common().type, kMediaCapture);
    ASSERT_TRUE(v.OpenCaptureDevice(0, 2, 5, 3));
    EXPECT_EQ(v.Common().name, "Test Camera");
    EXPECT_EQ(v.Common().state, kMediaPaused);
    EXPECT_EQ(v.Common().stereoFormat, 3);
    EXPECT_EQ(v.Common().layer, 2);
    EXPECT_EQ(v.m_nReserved, 5);
    EXPECT_EQ(v.m_nRendererPaused, 1);
    v.Pause();
    EXPECT_EQ(v.Common().state, kMediaPaused);
    EXPECT_EQ(v.Player().State(), av::PlayerState::Paused);
    v.Play();
    EXPECT_EQ(v.Common().state, kMediaPlaying);
    EXPECT_EQ(v.m_nRendererPaused, 0);
    ASSERT_TRUE(WaitFrame(v));
    {
        auto lock = v.LockMedia();
        EXPECT_EQ(v.m_nWidth, 160);
        EXPECT_EQ(v.m_nHeight, 120);
        EXPECT_EQ(v.m_nStride, 640);
    }
    ASSERT_TRUE(WaitFrame(v));  // and the next one
    v.Stop();
    EXPECT_EQ(v.Common().state, kMediaStopped);
    EXPECT_TRUE(v.Close());
    EXPECT_EQ(v.Common().state, kMediaNotLoaded);
    EXPECT_EQ(v.m_pFrame, nullptr);
    EXPECT_EQ(v.m_nWidth, 0);
    EXPECT_TRUE(v.m_captureEvent.IsSet());
    EXPECT_TRUE(v.m_stopEvent.IsSet());
}

TEST(InputVideoTest, LoadResourceStartsTheFirstDevice) {
    InputVideo v(OneTestCamera);
    ASSERT_TRUE(v.LoadResource("ignored", 1, 0, 2));
    EXPECT_EQ(v.Common().state, kMediaPlaying);
    EXPECT_EQ(v.Common().stereoFormat, -1);  // not stored by this path
    EXPECT_TRUE(WaitFrame(v));
}

TEST(InputVideoTest, MissingDeviceIsReportedAndFails) {
    struct Case {
        InputVideo::DeviceLister lister;
        int32_t number;
    };
    const Case cases[] = {
        {OneTestCamera, 1},
        {OneTestCamera, -1},
        {[] { return std::vector<av::CaptureDevice>{}; }, 0},
    };
    for (const Case& c : cases) {
        util::LogCapture log;
        InputVideo v(c.lister);
        EXPECT_FALSE(v.OpenCaptureDevice(c.number, 0, 0, -1)) << c.number;
        EXPECT_TRUE(log.Contains(kNoCaptureCaption));
        EXPECT_TRUE(log.Contains("No video capture device was detected."));
        EXPECT_EQ(v.Common().state, kMediaNotLoaded);
        v.Play();  // nothing open: stays not loaded
        EXPECT_EQ(v.Common().state, kMediaNotLoaded);
    }
    util::LogCapture log;
    InputVideo v([] { return std::vector<av::CaptureDevice>{}; });
    EXPECT_FALSE(v.LoadResource("", 0, 0, -1));
    EXPECT_TRUE(log.Contains(kNoCaptureCaption));
}

TEST(InputVideoTest, UnopenableDeviceFails) {
    av::CaptureDevice d;
    d.name = "Gone";
    d.inputFormat = "v4l2";
    d.url = "/nonexistent/video9";
    InputVideo v([d] { return std::vector<av::CaptureDevice>{d}; });
    EXPECT_FALSE(v.OpenCaptureDevice(0, 0, 0, -1));
    EXPECT_EQ(v.Common().state, kMediaNotLoaded);
}

TEST(InputVideoTest, WidthScaleAppliesToTheRightEdge) {
    InputVideo v(OneTestCamera);
    float l, r, b, t;
    ASSERT_TRUE(v.GetTexRect(l, r, b, t));
    EXPECT_FLOAT_EQ(l, 0.0f);
    EXPECT_FLOAT_EQ(r, 1.0f);
    EXPECT_FLOAT_EQ(b, 0.0f);
    EXPECT_FLOAT_EQ(t, 1.0f);
    v.m_fWidthScale = 2.0f;
    ASSERT_TRUE(v.SetTexRect(0.0f, 0.5f, 0.1f, 0.9f));
    EXPECT_FLOAT_EQ(v.Common().texRect.right, 1.0f);
    ASSERT_TRUE(v.GetTexRect(l, r, b, t));
    EXPECT_FLOAT_EQ(r, 0.5f);
    EXPECT_FLOAT_EQ(b, 0.1f);
    EXPECT_FLOAT_EQ(t, 0.9f);
}

TEST(InputVideoTest, RealCaptureDeviceWhenPresent) {
    bool anyNode = false;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator("/dev", ec))
        if (e.path().filename().string().rfind("video", 0) == 0) anyNode = true;
    if (!anyNode || av::ListVideoCaptureDevices().empty()) GTEST_SKIP() << "no /dev/video* capture device";
    InputVideo v;
    ASSERT_TRUE(v.LoadResource("", 0, 0, -1));
    EXPECT_FALSE(v.Common().name.empty());
    EXPECT_TRUE(WaitFrame(v));
}

// ---------------------------------------------------------------- sound ----

// A 3 s clip with a 1 kHz tone (16-bit mono 44.1 kHz), made on first use.
std::string SoundClip() {
    static testsupport::TempDir dir;
    static const std::string path = [] {
        const std::string p = (dir / "sound.mkv").string();
        int status = 0;
        const std::string out = testsupport::RunShell(
            "ffmpeg -nostdin -loglevel error -y -f lavfi -i testsrc=size=160x120:rate=25:duration=3 "
            "-f lavfi -i sine=frequency=1000:sample_rate=44100:duration=3 -c:v mpeg4 -c:a pcm_s16le -ac 1 '" +
                p + "' 2>&1",
            &status);
        EXPECT_EQ(status, 0) << out;
        return p;
    }();
    return path;
}

TEST_F(FileVideoTest, SoundFollowsTheVolumeAndMute) {
    testsupport::AlsaTaps taps;
    struct Case {
        int32_t volume;
        double gain;
    };
    // 90 is -1 dB on the square curve; 0 (mute) is silence.
    const Case cases[] = {{100, 1.0}, {90, 0.8913}, {0, 0.0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.volume);
        {
            FileVideo v(false, "tap");
            Load(v, SoundClip());
            v.SetVolume(c.volume);
            v.Play();
            ASSERT_TRUE(WaitUntil([&] { return taps.PlayedSamples() >= 44100 * 8 / 10; }, 20s));
        }
        const std::vector<int16_t> s = taps.Played();
        taps.ClearPlayed();
        int peak = 0;
        for (size_t i = 4410; i < 44100 * 7 / 10 && i < s.size(); ++i) peak = std::max(peak, std::abs(int{s[i]}));
        EXPECT_NEAR(peak, 4096.0 * c.gain, 4096.0 * 0.02 + 1);
    }
}

TEST_F(FileVideoTest, WithoutAnAudioDeviceTheVideoPlaysAndSaysSoOnce) {
    testsupport::AlsaTaps taps;
    util::LogCapture log;
    FileVideo v(false, "no_such_pcm");
    Load(v, SoundClip());
    v.Play();
    ASSERT_TRUE(WaitFrame(v));
    ASSERT_TRUE(WaitFrame(v));
    ASSERT_TRUE(WaitUntil([&] { return log.Count("no_such_pcm") > 0; }, 10s));
    v.Stop();
    v.Play();
    ASSERT_TRUE(WaitFrame(v));
    EXPECT_EQ(log.Count("no_such_pcm"), 1u);
    EXPECT_FALSE(v.Player().AudioActive());
}

}  // namespace
