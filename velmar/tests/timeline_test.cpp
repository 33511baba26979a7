#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <thread>

#include "media_support.h"
#include "platform/tick.h"
#include "util/LogCapture.h"
#include "velmar/MediaLibrary.h"
#include "velmar/kestrane.h"

using vt::Recorder;
using vt::TestMedia;

namespace {

// The timeline runs on a hand-moved tick; passes are made with StepTimeline
// (the thread, when running, makes the same decisions at the same tick).
class TimelineTest : public ::testing::Test {
protected:
    void SetUp() override {
        velmar::SetTimelineTickSource(&tick);
        // Leave the timeline at 0 whatever an earlier test left.
        Kestrane_SetCurrentTimeline(-1.0);
        Kestrane_SetCurrentTimeline(0.0);
        Kestrane_SetPlayRate(1.0, nullptr);
    }
    void TearDown() override {
        Kestrane_RemoveMedia(nullptr);
        velmar::SetTimelineTickSource(nullptr);
        EXPECT_FALSE(velmar::TimelineRunning());
    }
    void* AddVideo(const std::string& path, Recorder* rec = nullptr) {
        return Kestrane_AddMedia(1, KESTRANE_MEDIA_VIDEO, path.c_str(), rec ? &Recorder::Callback : nullptr, rec);
    }
    // A video file counts as loaded while it reports a duration.
    static bool Loaded(void* media) {
        double duration = 0.0;
        return Kestrane_GetMediaInfo(media, nullptr, nullptr, nullptr, nullptr, &duration) == 1 && duration > 0.0;
    }
    static double Position(void* media) {
        double position = -1.0;
        Kestrane_GetMediaInfo(media, nullptr, nullptr, nullptr, &position, nullptr);
        return position;
    }
    static size_t EndNotices(const Recorder& rec) {
        size_t n = 0;
        const BITMAPINFOHEADER zero{};
        for (const vt::Call& c : rec.Calls())
            if (c.state == KESTRANE_STATE_STOPPED && std::memcmp(&c.format, &zero, sizeof zero) == 0 &&
                c.position == 0.0 && c.duration == 0.0 && c.atZero == 0)
                ++n;
        return n;
    }
    void StepAt(uint32_t ms) {
        tick.Set(ms);
        velmar::StepTimeline();
    }

    platform::ManualTickSource tick{1000};
};

}  // namespace

TEST_F(TimelineTest, VideoIsLoadedPlayedStoppedAndClosedByItsWindow) {
    Recorder rec;
    void* id = AddVideo(TestMedia::Get().video(), &rec);
    ASSERT_NE(id, nullptr);
    ASSERT_EQ(Kestrane_SetMediaLayer(id, 2, 10.0, 20.0, nullptr), 1);
    util::LogCapture log;
    ASSERT_EQ(Kestrane_Play(), 1);  // timeline 0 at tick 1000

    struct Step {
        uint32_t ms;  // timeline time in ms
        bool loaded;
        size_t plays, stops;
    } steps[] = {
        {4900, false, 0, 0},   // more than 5 s ahead: closed
        {5000, true, 0, 0},    // 5 s ahead: loaded
        {10000, true, 0, 0},   // at the start: not yet
        {10001, true, 1, 0},   // just inside: plays
        {15000, true, 1, 0},   // playing: not played again
        {20000, true, 1, 0},   // at the stop: nothing
        {20001, true, 1, 1},   // past it: stopped with the end notice
        {21000, true, 1, 1},   // stopped once only
        {22000, true, 1, 1},   // 2 s after: still loaded
        {22001, false, 1, 1},  // then closed
    };
    for (const Step& s : steps) {
        StepAt(1000 + s.ms);
        SCOPED_TRACE(s.ms);
        EXPECT_EQ(Loaded(id), s.loaded);
        EXPECT_EQ(log.Count("will play"), s.plays);
        EXPECT_EQ(log.Count("will stop"), s.stops);
        EXPECT_EQ(EndNotices(rec), s.stops);
    }
    EXPECT_EQ(Kestrane_Stop(), 1);
    EXPECT_FALSE(velmar::TimelineRunning());
}

TEST_F(TimelineTest, ThreadDrivesTheWindowOnItsOwn) {
    Recorder rec;
    void* id = AddVideo(TestMedia::Get().video(), &rec);
    ASSERT_NE(id, nullptr);
    ASSERT_EQ(Kestrane_SetMediaLayer(id, 1, 1.0, 2.0, nullptr), 1);
    ASSERT_EQ(Kestrane_Play(), 1);
    EXPECT_TRUE(velmar::TimelineRunning());
    tick.Advance(2500);
    EXPECT_TRUE(testsupport::WaitUntil([&] { return EndNotices(rec) == 1; }, std::chrono::seconds(10)));
    tick.Advance(2000);  // more than 2 s past the stop
    EXPECT_TRUE(testsupport::WaitUntil([&] { return !Loaded(id); }, std::chrono::seconds(10)));
    EXPECT_EQ(EndNotices(rec), 1u);
    EXPECT_EQ(Kestrane_Pause(), 1);
    EXPECT_FALSE(velmar::TimelineRunning());
}

TEST_F(TimelineTest, PlayWithAnEmptyListEndsTheThreadAtOnce) {
    ASSERT_EQ(Kestrane_Play(), 1);
    EXPECT_TRUE(testsupport::WaitUntil([] { return !velmar::TimelineRunning(); }, std::chrono::seconds(10)));
}

TEST_F(TimelineTest, RemovingMediaStopsTheThread) {
    void* id = AddVideo(TestMedia::Get().video());
    ASSERT_NE(id, nullptr);
    ASSERT_EQ(Kestrane_Play(), 1);
    EXPECT_TRUE(velmar::TimelineRunning());
    EXPECT_EQ(Kestrane_RemoveMedia(id), 1);
    EXPECT_FALSE(velmar::TimelineRunning());
}

TEST_F(TimelineTest, JumpSeeksWithinARepeatingWindowAndLeavesNothingPlaying) {
    void* id = AddVideo(TestMedia::Get().tenSeconds());
    ASSERT_NE(id, nullptr);
    ASSERT_EQ(Kestrane_SetMediaLayer(id, 1, 0.0, 60.0, nullptr), 1);
    ASSERT_EQ(Kestrane_PlayMedia(id), 1);
    util::LogCapture log;
    ASSERT_EQ(Kestrane_SetCurrentTimeline(35.0), 1);
    EXPECT_EQ(log.Count("pause "), 1u);
    EXPECT_EQ(log.Count("setpos 5.000000"), 1u);
    EXPECT_DOUBLE_EQ(Position(id), 5.0);

    // The same time again does nothing.
    log.Clear();
    ASSERT_EQ(Kestrane_SetCurrentTimeline(35.000005), 1);
    EXPECT_EQ(log.Count("setpos"), 0u);
    EXPECT_EQ(log.Count("pause "), 0u);
}

TEST_F(TimelineTest, JumpClosesAndLoadsByTheWindow) {
    void* id = AddVideo(TestMedia::Get().video());
    ASSERT_NE(id, nullptr);
    ASSERT_EQ(Kestrane_SetMediaLayer(id, 1, 10.0, 20.0, nullptr), 1);
    const struct {
        double t;
        bool loaded;
    } cases[] = {{4.9, false}, {5.0, true}, {22.0, true}, {22.5, false}, {15.0, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.t);
        ASSERT_EQ(Kestrane_SetCurrentTimeline(c.t), 1);
        EXPECT_EQ(Loaded(id), c.loaded);
    }
}

TEST_F(TimelineTest, TimeThatIsNotANumberIsRefused) {
    EXPECT_EQ(Kestrane_SetCurrentTimeline(std::nan("")), 0);
    EXPECT_EQ(Kestrane_SetCurrentTimeline(HUGE_VAL), 0);
}

TEST_F(TimelineTest, JumpWhilePlayingLandsOnTheTimeGiven) {
    void* id = AddVideo(TestMedia::Get().video());
    ASSERT_NE(id, nullptr);
    ASSERT_EQ(Kestrane_SetMediaLayer(id, 1, 10.0, 20.0, nullptr), 1);
    util::LogCapture log;
    ASSERT_EQ(Kestrane_Play(), 1);
    StepAt(1000 + 3000);  // three seconds played
    ASSERT_EQ(Kestrane_SetCurrentTimeline(10.0), 1);
    velmar::StepTimeline();  // at 10.0, not 13.0: not yet inside
    EXPECT_EQ(log.Count("will play"), 0u);
    StepAt(1000 + 3000 + 1);
    EXPECT_EQ(log.Count("will play"), 1u);
}

TEST_F(TimelineTest, SetMediaLayerChangesOnlyForAWindowThatMoved) {
    EXPECT_EQ(Kestrane_SetMediaLayer(reinterpret_cast<void*>(uintptr_t{999999}), 1, 0.0, 1.0, nullptr), 0);
    void* id = AddVideo(TestMedia::Get().tenSeconds());
    ASSERT_NE(id, nullptr);
    const RECT r{1, 2, 3, 4};
    ASSERT_EQ(Kestrane_SetMediaLayer(id, 3, 0.0, 60.0, &r), 1);
    ASSERT_EQ(Kestrane_SetCurrentTimeline(4.0), 1);
    ASSERT_DOUBLE_EQ(Position(id), 4.0);
    // Within 0.0001 s at both ends: nothing changes (a change would seek to 3.99995).
    EXPECT_EQ(Kestrane_SetMediaLayer(id, 7, 0.00005, 60.00005, nullptr), 1);
    EXPECT_DOUBLE_EQ(Position(id), 4.0);
    // The timeline stands at 4 s: a window starting at 1 s seeks to 3 s.
    EXPECT_EQ(Kestrane_SetMediaLayer(id, 7, 1.0, 60.0, nullptr), 1);
    EXPECT_DOUBLE_EQ(Position(id), 3.0);
    // A window that does not hold the timeline time leaves the position.
    EXPECT_EQ(Kestrane_SetMediaLayer(id, 7, 5.0, 60.0, nullptr), 1);
    EXPECT_DOUBLE_EQ(Position(id), 3.0);
}

TEST_F(TimelineTest, StillPicturesStayLoadedOutsideTheirWindow) {
    Recorder rec;
    void* id = Kestrane_AddMedia(1, KESTRANE_MEDIA_PICTURE, TestMedia::Get().picture().c_str(), &Recorder::Callback, &rec);
    ASSERT_NE(id, nullptr);
    ASSERT_EQ(Kestrane_SetMediaLayer(id, 1, 10.0, 20.0, nullptr), 1);
    ASSERT_EQ(Kestrane_SetCurrentTimeline(100.0), 1);
    ASSERT_EQ(Kestrane_Play(), 1);
    StepAt(1000 + 5000);
    int width = 0;
    ASSERT_EQ(Kestrane_GetMediaInfo(id, nullptr, &width, nullptr, nullptr, nullptr), 1);
    EXPECT_EQ(width, 64);
    EXPECT_EQ(EndNotices(rec), 0u);
}

// Pause, time passing, play: the timeline goes on from the pause instant.
TEST_F(TimelineTest, PlayAfterPauseGoesOnFromWhereItPaused) {
    void* id = AddVideo(TestMedia::Get().video());
    ASSERT_NE(id, nullptr);
    ASSERT_EQ(Kestrane_SetMediaLayer(id, 1, 10.0, 20.0, nullptr), 1);
    util::LogCapture log;
    ASSERT_EQ(Kestrane_Play(), 1);  // timeline 0 at tick 1000
    StepAt(1000 + 9000);
    ASSERT_EQ(Kestrane_Pause(), 1);  // at 9.0
    tick.Set(60000);                 // a long while paused
    ASSERT_EQ(Kestrane_Play(), 1);
    StepAt(60000 + 999);             // 9.999
    EXPECT_EQ(log.Count("will play"), 0u);
    StepAt(60000 + 1001);            // 10.001
    EXPECT_EQ(log.Count("will play"), 1u);
    // A second pause right after the first keeps the instant.
    ASSERT_EQ(Kestrane_Pause(), 1);
    tick.Set(90000);
    ASSERT_EQ(Kestrane_Pause(), 1);
    ASSERT_EQ(Kestrane_Play(), 1);
    StepAt(90000 + 2000);            // 12.001: still inside, played again
    EXPECT_EQ(velmar::MediaPlayState(id), KESTRANE_STATE_PLAYING);
    StepAt(90000 + 8000 + 2000);     // 20.001: past the window
    EXPECT_EQ(velmar::MediaPlayState(id), KESTRANE_STATE_STOPPED);
}

TEST_F(TimelineTest, TheClockRunsAtThePlayRateGivenForEveryMedia) {
    // (rate at play, ms played, rate while playing, ms played on): the
    // window [10, 20] opens when the timeline passes 10 s.
    struct Case {
        double first;
        uint32_t firstMs;
        double second;
        uint32_t openBeforeMs;  // still closed at this many ms after the change
        uint32_t openAfterMs;   // playing at this many ms after it
    };
    const Case cases[] = {
        {1.5, 4000, 1.5, 2600, 2700},  // 6 s in 4 s, then 4 s in 2.67 s
        {1.0, 4000, 2.0, 2900, 3100},  // the 4 s played keep rate 1
        {2.0, 4000, 1.0, 1900, 2100},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.first);
        void* id = AddVideo(TestMedia::Get().video());
        ASSERT_NE(id, nullptr);
        ASSERT_EQ(Kestrane_SetMediaLayer(id, 1, 10.0, 20.0, nullptr), 1);
        tick.Set(1000);
        ASSERT_EQ(Kestrane_SetCurrentTimeline(0.0), 1);
        Kestrane_SetPlayRate(c.first, nullptr);
        ASSERT_EQ(Kestrane_Play(), 1);
        StepAt(1000 + c.firstMs);
        Kestrane_SetPlayRate(c.second, nullptr);
        StepAt(1000 + c.firstMs + c.openBeforeMs);
        EXPECT_NE(velmar::MediaPlayState(id), KESTRANE_STATE_PLAYING);
        StepAt(1000 + c.firstMs + c.openAfterMs);
        EXPECT_EQ(velmar::MediaPlayState(id), KESTRANE_STATE_PLAYING);
        Kestrane_Pause();
        Kestrane_RemoveMedia(nullptr);
        Kestrane_SetCurrentTimeline(-1.0);
    }
}

// The caller's play rate holds when the timeline closes a video and loads it
// again by its window.
TEST_F(TimelineTest, PlayRateSurvivesReloading) {
    void* id = AddVideo(TestMedia::Get().video());
    ASSERT_NE(id, nullptr);
    ASSERT_EQ(Kestrane_SetMediaLayer(id, 1, 10.0, 20.0, nullptr), 1);
    ASSERT_EQ(Kestrane_SetPlayRate(2.0, id), 1);
    EXPECT_DOUBLE_EQ(velmar::MediaEngineRate(id), 2.0);
    ASSERT_EQ(Kestrane_SetCurrentTimeline(1.0), 1);  // closed: more than 5 s ahead
    EXPECT_FALSE(Loaded(id));
    EXPECT_DOUBLE_EQ(velmar::MediaEngineRate(id), 0.0);
    ASSERT_EQ(Kestrane_SetPlayRate(0.5, id), 1);      // kept while closed
    ASSERT_EQ(Kestrane_SetCurrentTimeline(6.0), 1);  // loaded again
    ASSERT_TRUE(Loaded(id));
    EXPECT_DOUBLE_EQ(velmar::MediaEngineRate(id), 0.5);
}

// Once Kestrane_Pause returns no video plays, whatever pass of the timeline
// thread was under way (passes that load files take their time).
TEST_F(TimelineTest, NothingPlaysAfterPauseReturns) {
    std::vector<void*> ids;
    for (int i = 0; i < 6; ++i) {
        void* id = AddVideo(TestMedia::Get().video());
        ASSERT_NE(id, nullptr);
        ASSERT_EQ(Kestrane_SetMediaLayer(id, 1, 0.0, 100.0, nullptr), 1);
        ids.push_back(id);
    }
    for (int round = 0; round < 8; ++round) {
        SCOPED_TRACE(round);
        // Every file closed, then a window around the timeline time: the
        // thread's first pass loads and plays them all.
        for (void* id : ids) ASSERT_EQ(Kestrane_SetMediaLayer(id, 1, 0.0, 100.0 + round, nullptr), 1);
        ASSERT_EQ(Kestrane_SetCurrentTimeline(1000.0 + round), 1);
        for (void* id : ids) ASSERT_FALSE(Loaded(id));
        for (void* id : ids) ASSERT_EQ(Kestrane_SetMediaLayer(id, 1, 990.0, 1100.0 + round, nullptr), 1);
        ASSERT_EQ(Kestrane_Play(), 1);
        std::this_thread::sleep_for(std::chrono::milliseconds(round * 5));
        ASSERT_EQ(Kestrane_Pause(), 1);
        for (void* id : ids) EXPECT_NE(velmar::MediaPlayState(id), KESTRANE_STATE_PLAYING);
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        for (void* id : ids) EXPECT_NE(velmar::MediaPlayState(id), KESTRANE_STATE_PLAYING);
    }
}
