// Playback: the tick driven by a fake clock, the controls and outputs it
// fires, and what the transport tells the display servers.
#include <QComboBox>
#include <QPushButton>

#include "playfixture.h"

namespace {

using Codes = std::vector<uint32_t>;

}  // namespace

TEST_F(PlayTest, SpeedScalesTheStep) {
    struct Case {
        int speed;
        int elapsed;
        int moved;
    };
    const Case cases[] = {{0, 100, 100}, {1, 101, 151}, {2, 100, 200}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.speed);
        axis->setSpeedIndex(c.speed);
        playFrom(1000);
        step(c.elapsed);
        EXPECT_EQ(axis->position(), 1000 + c.moved);
        axis->pause();
    }
    // Changing the speed while playing changes the next step at once.
    axis->setSpeedIndex(0);
    playFrom(1000);
    step(100);
    axis->setSpeedIndex(2);
    step(100);
    EXPECT_EQ(axis->position(), 1300);
}

TEST_F(PlayTest, TickTableOfControls) {
    struct Control {
        int id;
        int type;
        int time;
        int jumpTime;
        QString target;
    };
    struct Case {
        const char* what;
        std::vector<Control> controls;
        int from;
        int elapsed;
        bool paused;
        int position;  // right after the step
        int jumpedTo;  // after the jump has settled; -1: no jump
    };
    const std::vector<Case> cases = {
        {"pause and jump in one step: the pause wins at its time",
         {{1, 2, 990, 5000, {}}, {2, 0, 1010, 0, {}}},
         950,
         100,
         true,
         1010,
         -1},
        {"two jumps at one time: the later (time, id)",
         {{3, 2, 1000, 4000, {}}, {2, 2, 1000, 6000, {}}},
         950,
         100,
         true,
         1050,
         4000},
        {"a jump to an unknown name is ignored",
         {{1, 2, 1000, 0, QStringLiteral("nowhere")}},
         950,
         100,
         false,
         1050,
         -1},
        {"a jump to a name takes that control's time",
         {{1, 2, 1000, 0, QStringLiteral("Intro")}, {2, 1, 7000, 0, {}}},
         950,
         100,
         true,
         1050,
         7000},
        {"a play control lets the run go on",
         {{1, 1, 1000, 0, {}}},
         950,
         100,
         false,
         1050,
         -1},
        {"a control exactly at the run's start does not fire",
         {{1, 0, 2000, 0, {}}},
         2000,
         40,
         false,
         2040,
         -1},
        {"the end pauses at the length",
         {},
         59950,
         100,
         true,
         60000,
         -1},
    };
    GConfig& config = GConfig::instance();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (const Control& k : c.controls) {
            PlayControlRecord* rec = addControl(k.id, k.type, k.time);
            rec->jumpTime = k.jumpTime;
            rec->stayPaused = 1;
            if (!k.target.isEmpty()) {
                rec->jumpMode = 1;
                rec->targetName = k.target;
            }
            if (k.id == 2 && k.type == 1)
                rec->name = QStringLiteral("Intro");
        }
        playFrom(c.from);
        step(0);
        step(c.elapsed);
        EXPECT_EQ(axis->isPaused(), c.paused);
        EXPECT_EQ(axis->position(), c.position);
        if (c.jumpedTo >= 0)
            EXPECT_TRUE(waitFor([&] { return axis->position() == c.jumpedTo; })) << axis->position();
        axis->pause();
        for (const Control& k : c.controls)
            config.erasePlayControl(k.id);
    }
}

TEST_F(PlayTest, OutputsFireOncePerRunAndAtTheEnd) {
    addOutput(1, 1000);
    addOutput(2, 60000);
    playFrom(950);
    step(60);
    EXPECT_EQ(fired, std::vector<int>{1});
    // Back before it while the run goes on: it does not fire again.
    axis->setCurrentTime(995);
    step(20);
    EXPECT_EQ(fired, std::vector<int>{1});
    axis->pause();
    // A new run fires it again; the one at the very end fires as the run
    // stops there.
    playFrom(990);
    step(20);
    axis->setCurrentTime(59990);
    step(20);
    EXPECT_EQ(fired, (std::vector<int>{1, 1, 2}));
    EXPECT_TRUE(axis->isPaused());
    EXPECT_EQ(axis->position(), 60000);
}

TEST_F(PlayTest, AClockSteppingBackMovesNothing) {
    playFrom(500);
    step(0);
    clock -= 3600 * 1000;
    axis->playTimeLine(true);
    EXPECT_EQ(axis->position(), 500);
    EXPECT_FALSE(axis->isPaused());
    step(40);
    EXPECT_EQ(axis->position(), 540);
}

TEST_F(PlayTest, TransportTellsTheServersInOrder) {
    connectServers();
    // Play: time, rate, play; pause: time, pause.
    playFrom(2000);
    ASSERT_TRUE(waitForRequests(3));
    EXPECT_EQ(newCodes(), (Codes{532, 541, 534}));
    EXPECT_DOUBLE_EQ(lastTimeSent(), 2.0);
    axis->pause();
    ASSERT_TRUE(waitForRequests(2));
    EXPECT_EQ(newCodes(), (Codes{532, 536}));
    // Stop while paused: only the start time (sent now and once more).
    axis->playStop();
    ASSERT_TRUE(waitForRequests(2));
    EXPECT_EQ(newCodes(), (Codes{532, 532}));
    EXPECT_EQ(axis->position(), 0);
    // Stop while playing: time, stop, then the start time.
    playFrom(3000);
    ASSERT_TRUE(waitForRequests(3));
    newCodes();
    axis->playStop();
    ASSERT_TRUE(waitForRequests(4));
    EXPECT_EQ(newCodes(), (Codes{532, 535, 532, 532}));
    EXPECT_TRUE(axis->isPaused());
    EXPECT_TRUE(axis->stopButton()->isEnabled());
}

TEST_F(PlayTest, AJumpThatStaysPausedLeavesTheServersAtItsTarget) {
    connectServers();
    PlayControlRecord* jump = addControl(1, 2, 1000);
    jump->jumpTime = 7000;
    jump->stayPaused = 1;
    playFrom(950);
    ASSERT_TRUE(waitForRequests(3));
    newCodes();
    step(0);
    step(100);
    ASSERT_TRUE(waitFor([&] { return axis->position() == 7000; }));
    ASSERT_TRUE(waitFor([&] { return lastTimeSent() == 7.0; }));
    EXPECT_TRUE(axis->isPaused());
    EXPECT_FALSE(axis->playButton()->property("play").toBool());
}

TEST_F(PlayTest, AJumpThatPlaysOnStartsANewRun) {
    PlayControlRecord* jump = addControl(1, 2, 1000);
    jump->jumpTime = 500;
    jump->delay = 0;
    playFrom(950);
    step(0);
    step(100);
    EXPECT_TRUE(axis->isPaused());
    ASSERT_TRUE(waitFor([&] { return !axis->isPaused(); }));
    EXPECT_EQ(axis->position(), 500);
    // The new run has its queues again.
    EXPECT_EQ(axis->playControlQueue().size(), 1);
}

TEST_F(PlayTest, FiveSecondStepsStayInTheTimeline) {
    GConfig::instance().setTimelineStart(1000);
    axis->setCurrentTime(3000);
    axis->backFiveSecond();
    EXPECT_EQ(axis->position(), 1000);
    axis->setCurrentTime(58000);
    axis->forwardFiveSecond();
    EXPECT_EQ(axis->position(), 60000);
    // Play from before the start begins at the start.
    axis->setCurrentTime(0);
    axis->play();
    EXPECT_EQ(axis->position(), 1000);
    EXPECT_TRUE(axis->playButton()->property("play").toBool());
    axis->playOrPause();
    EXPECT_TRUE(axis->isPaused());
}
