// Transport paths that must leave the display servers where the console
// shows them: play at the end, function-key cues, resumes a pause or stop
// calls off, speed changes while playing, and a long run at 1.5x.
#include <QComboBox>
#include <QElapsedTimer>
#include <QPushButton>

#include <climits>

#include "playfixture.h"

namespace {

using Codes = std::vector<uint32_t>;

bool contains(const Codes& codes, uint32_t code) { return std::find(codes.begin(), codes.end(), code) != codes.end(); }

// Runs the event loop for ms of real time.
void idle(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

}  // namespace

TEST_F(PlayTest, PlayAtOrPastTheEndLeavesEverythingPausedAtTheEnd) {
    connectServers();
    struct Case {
        const char* what;
        std::function<void()> reach;
    };
    const Case cases[] = {
        {"paused at the end", [&] { axis->setCurrentTime(60000); }},
        {"past the end", [&] { axis->setCurrentTime(75000); }},
        {"forward to the end while playing",
         [&] {
             playFrom(57000);
             axis->forwardFiveSecond();
         }},
        {"after the run reached the end",
         [&] {
             playFrom(59900);
             step(200);
             step(40);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        c.reach();
        ASSERT_TRUE(waitFor([&] { return axis->isPaused() && axis->position() >= 60000 && !axis->resumePending(); }));
        idle(100);  // the time pushes after a move
        newCodes();
        preview.calls.clear();
        axis->play();
        EXPECT_TRUE(axis->isPaused());
        EXPECT_EQ(axis->position(), 60000);
        EXPECT_FALSE(axis->playButton()->property("play").toBool());
        ASSERT_TRUE(waitForRequests(2));
        idle(100);
        const Codes codes = newCodes();
        EXPECT_FALSE(contains(codes, 534)) << "the wall was started";
        EXPECT_TRUE(contains(codes, 536));
        EXPECT_DOUBLE_EQ(lastTimeSent(), 60.0);
        EXPECT_FALSE(preview.calls.contains(QStringLiteral("play")));
    }
}

TEST_F(PlayTest, TheRunPausesTheServersAtTheEndAndAtAPauseControlsTime) {
    connectServers();
    addControl(1, 0, 30000);
    playFrom(29950);
    ASSERT_TRUE(waitForRequests(3));
    newCodes();
    step(100);  // passes the control by 50 ms
    ASSERT_TRUE(axis->isPaused());
    ASSERT_TRUE(waitForRequests(2));
    EXPECT_EQ(newCodes(), (Codes{532, 536}));
    EXPECT_DOUBLE_EQ(lastTimeSent(), 30.0);

    playFrom(59950);
    ASSERT_TRUE(waitForRequests(3));
    newCodes();
    step(100);
    ASSERT_TRUE(waitForRequests(2));
    EXPECT_EQ(newCodes(), (Codes{532, 536}));
    EXPECT_DOUBLE_EQ(lastTimeSent(), 60.0);
}

TEST_F(PlayTest, KeyCuesTakeTheWallToTheirTime) {
    connectServers();
    PlayControlRecord* hold = addControl(1, 0, 12000);
    PlayControlRecord* jump = addControl(2, 2, 40000);
    jump->jumpTime = 25000;
    jump->stayPaused = 1;
    PlayControlRecord* named = addControl(3, 2, 41000);
    named->jumpMode = 1;
    named->targetName = QStringLiteral("nowhere");
    struct Case {
        const char* what;
        int id;
        bool playing;
        int want;  // -1: nothing moves
    };
    const Case cases[] = {
        {"pause cue while playing", 1, true, 12000},
        {"pause cue while paused", 1, false, 12000},
        {"jump cue while playing", 2, true, 25000},
        {"jump cue while paused", 2, false, 25000},
        {"jump to a missing name", 3, true, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.playing) {
            playFrom(3000);
            step(100);
        } else {
            axis->pause();
            axis->setCurrentTime(3000);
        }
        idle(100);
        newCodes();
        axis->runKeyCue(c.id);
        if (c.want == -1) {
            EXPECT_EQ(axis->isPaused(), !c.playing);
            continue;
        }
        EXPECT_TRUE(axis->isPaused());
        EXPECT_EQ(axis->position(), c.want);
        ASSERT_TRUE(waitFor([&] { return lastTimeSent() == c.want / 1000.0; }));
        idle(100);
        EXPECT_FALSE(contains(newCodes(), 534));
        EXPECT_FALSE(axis->resumePending());
    }
    (void)hold;
}

TEST_F(PlayTest, AKeyPlayCuePlaysTheWallFromItsTime) {
    connectServers();
    addControl(1, 1, 20000);
    playFrom(3000);
    step(100);
    idle(100);
    newCodes();
    axis->runKeyCue(1);
    EXPECT_TRUE(axis->isPaused());
    EXPECT_EQ(axis->position(), 20000);
    EXPECT_TRUE(axis->resumePending());
    ASSERT_TRUE(waitFor([&] { return !axis->isPaused(); }));
    ASSERT_TRUE(waitFor([&] { return lastTimeSent() == 20.0; }));
    idle(100);
    const Codes codes = newCodes();
    ASSERT_FALSE(codes.empty());
    EXPECT_EQ(codes.back(), 534u);
}

TEST_F(PlayTest, PauseAndStopCallOffEveryPendingResume) {
    PlayControlRecord* jump = addControl(1, 2, 1000);
    jump->jumpTime = 30000;
    jump->delay = 1;
    PlayControlRecord* play = addControl(2, 1, 8000);
    struct Case {
        const char* what;
        std::function<void()> start;
        std::function<void()> callOff;
    };
    auto tickJump = [&] {
        playFrom(950);
        step(100);
    };
    auto waitSettled = [&] { ASSERT_TRUE(waitFor([&] { return axis->position() == 30000; })); };
    const Case cases[] = {
        {"stop within a jump's settle", tickJump, [&] { axis->playStop(); }},
        {"stop within a jump's delay", [&] { tickJump(); waitSettled(); }, [&] { axis->playStop(); }},
        {"pause within a jump's delay", [&] { tickJump(); waitSettled(); }, [&] { axis->pause(); }},
        {"stop within a key jump's delay", [&] { axis->pause(); axis->runKeyCue(1); }, [&] { axis->playStop(); }},
        {"stop within a key play's settle", [&] { axis->runKeyCue(2); }, [&] { axis->playStop(); }},
        {"back five seconds within a delay", [&] { axis->runKeyCue(1); }, [&] { axis->backFiveSecond(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        c.start();
        EXPECT_TRUE(axis->resumePending());
        c.callOff();
        EXPECT_FALSE(axis->resumePending());
        idle(1600);  // past every window
        EXPECT_TRUE(axis->isPaused());
        EXPECT_FALSE(axis->playButton()->property("play").toBool());
    }
    (void)play;
}

TEST_F(PlayTest, AHugeLoadedDelayWaitsInsteadOfPlayingAtOnce) {
    PlayControlRecord* jump = addControl(1, 2, 1000);
    jump->jumpTime = 30000;
    for (int delay : {INT_MAX, INT_MAX / 1000 + 1, -5}) {
        SCOPED_TRACE(delay);
        jump->delay = delay;
        axis->pause();
        axis->setCurrentTime(0);
        axis->runKeyCue(1);
        EXPECT_EQ(axis->position(), 30000);
        if (delay < 0) {
            // No delay at all: it plays on at once.
            ASSERT_TRUE(waitFor([&] { return !axis->isPaused(); }));
            continue;
        }
        EXPECT_TRUE(axis->resumePending());
        idle(300);
        EXPECT_TRUE(axis->isPaused());
        EXPECT_TRUE(axis->resumePending());
    }
}

TEST_F(PlayTest, ASpeedChangeWhilePlayingReachesThePreviewAndTheServers) {
    connectServers();
    playFrom(1000);
    step(100);
    ASSERT_TRUE(waitForRequests(3));
    newCodes();
    preview.calls.clear();
    axis->setSpeedIndex(1);
    ASSERT_TRUE(waitForRequests(1));
    idle(100);
    // Only the rate: the servers keep their time and run on faster.
    EXPECT_EQ(newCodes(), (Codes{541}));
    EXPECT_EQ(preview.calls, QStringList{QStringLiteral("rate 1.5 0")});
    // The time played so far keeps its rate.
    step(100);
    EXPECT_EQ(axis->position(), 1100 + 150);
    // While paused a change is only remembered for the next play.
    axis->pause();
    idle(100);
    newCodes();
    axis->setSpeedIndex(2);
    idle(100);
    EXPECT_TRUE(newCodes().empty());
    playFrom(2000);
    ASSERT_TRUE(waitForRequests(3));
    EXPECT_EQ(newCodes(), (Codes{532, 541, 534}));
    step(100);
    EXPECT_EQ(axis->position(), 2200);
}

TEST_F(PlayTest, TenMinutesAtOneAndAHalfLoseNoTime) {
    GConfig::instance().setTimelineLength(3600000, 0);
    axis->setSpeedIndex(1);
    playFrom(0);
    // Ticks of uneven length, as a busy event loop gives them.
    const int steps[] = {41, 37, 43, 40, 53, 39};
    qint64 elapsed = 0;
    for (int i = 0; elapsed < 600000; ++i) {
        const int s = steps[i % 6];
        step(s);
        elapsed += s;
    }
    EXPECT_EQ(axis->position(), int(elapsed * 3 / 2));
    EXPECT_FALSE(axis->isPaused());
}
