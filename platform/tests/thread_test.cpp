#include <gtest/gtest.h>
#include <pthread.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/thread.h"
#include "support/support.h"

using platform::Event;
using platform::StoppableThread;

namespace {

std::mutex g_textsMu;
std::vector<std::string> g_texts;

void CollectText(const char* text) {
    std::lock_guard<std::mutex> lock(g_textsMu);
    g_texts.emplace_back(text);
}

class StoppableThreadTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::lock_guard<std::mutex> lock(g_textsMu);
        g_texts.clear();
        platform::SetThreadLogSink(&CollectText);
    }
    void TearDown() override { platform::SetThreadLogSink(nullptr); }
    static std::vector<std::string> Texts() {
        std::lock_guard<std::mutex> lock(g_textsMu);
        return g_texts;
    }
};

}  // namespace

TEST_F(StoppableThreadTest, StopsOnStopEvent) {
    StoppableThread t;
    std::atomic<int> passes{0};
    ASSERT_TRUE(t.Start([&](StoppableThread& self) {
        while (self.SleepFor(5)) ++passes;
    }));
    EXPECT_TRUE(t.Running());
    ASSERT_TRUE(testsupport::WaitUntil([&] { return passes.load() > 2; }));
    EXPECT_TRUE(t.Stop(5000, "not expected"));
    EXPECT_FALSE(t.Running());
    EXPECT_TRUE(t.StopRequested());
    EXPECT_TRUE(Texts().empty());
}

TEST_F(StoppableThreadTest, SleepForReturnsTrueWithoutStop) {
    StoppableThread t;
    EXPECT_TRUE(t.SleepFor(1));
    t.RequestStop();
    EXPECT_FALSE(t.SleepFor(10000));  // returns at once
}

TEST_F(StoppableThreadTest, StartWhileRunningFailsAndRestartWorks) {
    StoppableThread t;
    std::atomic<int> runs{0};
    auto body = [&](StoppableThread& self) {
        ++runs;
        self.StopEvent().Wait(10000);
    };
    ASSERT_TRUE(t.Start(body));
    EXPECT_FALSE(t.Start(body));
    ASSERT_TRUE(t.Stop(5000));
    ASSERT_TRUE(t.Start(body));  // the stop of the last run is cleared
    EXPECT_FALSE(t.StopRequested());
    ASSERT_TRUE(t.Stop(5000));
    EXPECT_EQ(runs.load(), 2);
}

TEST_F(StoppableThreadTest, JoinWithoutThreadSucceeds) {
    StoppableThread t;
    EXPECT_TRUE(t.Join(0));
    EXPECT_FALSE(t.Running());
}

TEST_F(StoppableThreadTest, BodyThatEndsByItselfIsJoined) {
    StoppableThread t;
    ASSERT_TRUE(t.Start([](StoppableThread&) {}));
    ASSERT_TRUE(testsupport::WaitUntil([&] { return !t.Running(); }));
    EXPECT_TRUE(t.Join(5000));
}

TEST_F(StoppableThreadTest, NameIsCutToFifteenBytes) {
    StoppableThread t;
    std::string seen;
    Event done(true);
    ASSERT_TRUE(t.Start(
        [&](StoppableThread&) {
            char buf[32] = {};
            pthread_getname_np(pthread_self(), buf, sizeof buf);
            seen = buf;
            done.Set();
        },
        "NetworkListenThread"));
    ASSERT_TRUE(done.Wait(5000));
    ASSERT_TRUE(t.Join(5000));
    EXPECT_EQ(seen, "NetworkListenTh");
}

// A body that ignores its stop event: the bounded join logs the text, detaches
// and the body still finishes safely after its owner is gone.
TEST_F(StoppableThreadTest, TimedOutJoinLogsAndDetaches) {
    auto release = std::make_shared<Event>(true);
    auto finished = std::make_shared<Event>(true);
    auto sawStop = std::make_shared<std::atomic<bool>>(false);
    {
        StoppableThread t;
        ASSERT_TRUE(t.Start([release, finished, sawStop](StoppableThread& self) {
            release->Wait(20000);
            self.SleepFor(1);  // still usable after the owner went away
            sawStop->store(self.StopRequested());
            finished->Set();
        }));
        EXPECT_FALSE(t.Join(50, "worker did not end"));
        EXPECT_FALSE(t.Running());  // the owner no longer has a thread
        EXPECT_TRUE(t.Join(0));
        auto texts = Texts();
        ASSERT_EQ(texts.size(), 1u);
        EXPECT_EQ(texts[0], "worker did not end");
    }  // owner destroyed while the body still runs
    release->Set();
    ASSERT_TRUE(finished->Wait(10000));
    EXPECT_TRUE(sawStop->load());  // the abandoned body was asked to stop
}

TEST_F(StoppableThreadTest, TimedOutJoinWithoutTextLogsNothing) {
    auto release = std::make_shared<Event>(true);
    auto finished = std::make_shared<Event>(true);
    StoppableThread t;
    ASSERT_TRUE(t.Start([release, finished](StoppableThread&) {
        release->Wait(20000);
        finished->Set();
    }));
    EXPECT_FALSE(t.Stop(20));
    EXPECT_TRUE(Texts().empty());
    // The owner can start a new run at once.
    std::atomic<bool> ran{false};
    ASSERT_TRUE(t.Start([&](StoppableThread&) { ran = true; }));
    EXPECT_TRUE(t.Join(5000));
    EXPECT_TRUE(ran.load());
    release->Set();
    ASSERT_TRUE(finished->Wait(10000));
}

TEST_F(StoppableThreadTest, DestructorStopsAndJoins) {
    std::atomic<bool> ended{false};
    {
        StoppableThread t;
        ASSERT_TRUE(t.Start([&](StoppableThread& self) {
            while (self.SleepFor(1000)) {
            }
            ended = true;
        }));
    }
    EXPECT_TRUE(ended.load());
}
