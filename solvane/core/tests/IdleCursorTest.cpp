#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "core/Fakes.h"
#include "core/MediaManager.h"
#include "platform/thread.h"
#include "support/support.h"
#include "util/LogCapture.h"

namespace {

using testsupport::TempDir;
using testsupport::WaitUntil;

// Acts on a request at once, on the calling thread, as the window does when
// the request is sent to it.
class ActingOutputWindow : public FakeOutputWindow {
public:
    void RequestShowCursor(bool hide) override {
        FakeOutputWindow::RequestShowCursor(hide);
        if (core) core->ShowMouseCursor(hide ? 1 : 0);
    }
    CMediaManager* core = nullptr;
};

class IdleCursor : public ::testing::Test {
protected:
    IdleCursor() : core_(dir_.str()) {
        output_.core = &core_;
        core_.SetServices({&output_, nullptr, nullptr, &system_});
        core_.m_nAutoHideCursor = 1;
    }
    ~IdleCursor() override {
        // The display count is process-wide: leave the cursor shown.
        core_.ShowMouseCursor(0);
        output_.core = nullptr;
    }

    TempDir dir_;
    CMediaManager core_;
    ActingOutputWindow output_;
    FakeSystemServices system_;
};

TEST_F(IdleCursor, HiddenAfterFiveIdleSecondsAndShownOnceOnInput) {
    system_.idleMs = 5000;
    IdleCursorStep(&core_);
    EXPECT_TRUE(output_.Requests().empty()) << "five seconds exactly is not idle yet";

    system_.idleMs = 5001;
    IdleCursorStep(&core_);
    IdleCursorStep(&core_);
    EXPECT_EQ(output_.Requests(), std::vector<std::string>{"cursor 1"});
    EXPECT_EQ(core_.m_nCursorHidden.load(), 1);
    EXPECT_EQ(CursorDisplayCount(), -1);

    system_.idleMs = 40;
    IdleCursorStep(&core_);
    system_.idleMs = 10;
    IdleCursorStep(&core_);
    EXPECT_EQ(output_.Requests(), (std::vector<std::string>{"cursor 1", "cursor 0"}));
    EXPECT_EQ(core_.m_nCursorHidden.load(), 0);
    EXPECT_EQ(CursorDisplayCount(), 0);
}

TEST_F(IdleCursor, SwitchedOffNeverHides) {
    core_.m_nAutoHideCursor = 0;
    system_.idleMs = 600000;
    for (int i = 0; i < 3; ++i) IdleCursorStep(&core_);
    EXPECT_TRUE(output_.Requests().empty());
    EXPECT_EQ(core_.m_nCursorHidden.load(), 0);
}

// The display count crosses zero once per change; requests that change
// nothing leave it and the hidden flag alone.
TEST_F(IdleCursor, ShowAndHideCrossZeroOnce) {
    core_.ShowMouseCursor(0);
    EXPECT_EQ(CursorDisplayCount(), 0);
    EXPECT_EQ(core_.m_nCursorHidden.load(), 0);
    core_.ShowMouseCursor(1);
    core_.ShowMouseCursor(1);
    EXPECT_EQ(CursorDisplayCount(), -1);
    EXPECT_EQ(core_.m_nCursorHidden.load(), 1);
    core_.m_nCursorHidden = 0;  // a hide that changes nothing keeps the flag
    core_.ShowMouseCursor(1);
    EXPECT_EQ(core_.m_nCursorHidden.load(), 0);
    core_.ShowMouseCursor(0);
    EXPECT_EQ(CursorDisplayCount(), 0);
}

TEST_F(IdleCursor, ThreadHidesAndEndsOnTheStopEvent) {
    system_.idleMs = 60000;
    core_.m_quitEvent.Reset();
    platform::StoppableThread thread;
    thread.Start([this](platform::StoppableThread&) { IdleCursorThread(&core_); });
    EXPECT_TRUE(WaitUntil([&] { return output_.Count("cursor 1") == 1; }));
    system_.idleMs = 0;
    EXPECT_TRUE(WaitUntil([&] { return output_.Count("cursor 0") == 1; }));
    core_.m_quitEvent.Set();
    EXPECT_TRUE(thread.Join(5000));
    EXPECT_EQ(output_.Requests(), (std::vector<std::string>{"cursor 1", "cursor 0"}));
}

TEST(TimeSync, WaitGrowsToTheInterval) {
    struct Case {
        uint32_t current;
        int interval;
        uint32_t next;
    };
    const Case cases[] = {
        {5000, 360, 35000},
        {35000, 360, 65000},
        {350000, 360, 360000},
        {360000, 360, 360000},
        {5000, 10, 10000},
        {5000, 0, 5000},       // no busy loop on a zero or negative interval
        {5000, -4, 5000},
        {5000, INT_MAX, 35000},
        {0xFFFFFFF0u, INT_MAX, 0xFFFFFFFEu},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TimeSyncNextWaitMs(c.current, c.interval), c.next) << c.current << " " << c.interval;
}

TEST(TimeSync, ThreadLogsAndEndsOnTheStopEvent) {
    TempDir dir;
    CMediaManager core(dir.str());
    core.m_nSyncTimeInterval = 360;
    core.m_quitEvent.Reset();
    util::LogCapture log;
    platform::StoppableThread thread;
    thread.Start([&core](platform::StoppableThread&) { TimeSyncThread(&core); });
    EXPECT_TRUE(WaitUntil([&] { return log.Contains("进入 时间同步 线程。等待时间为360000 毫秒"); }));
    core.m_quitEvent.Set();
    EXPECT_TRUE(thread.Join(5000));
    EXPECT_TRUE(log.Contains("退出 时间同步 线程。"));
}

}  // namespace
