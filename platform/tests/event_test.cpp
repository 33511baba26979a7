#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/event.h"
#include "support/support.h"

using platform::Event;
using platform::kInfinite;

TEST(EventTest, WaitConsumesOnlyAutoReset) {
    struct Case {
        bool manual;
        bool secondWait;
    };
    for (const Case& c : {Case{false, false}, Case{true, true}}) {
        SCOPED_TRACE(c.manual ? "manual" : "auto");
        Event e(c.manual);
        EXPECT_EQ(e.IsManualReset(), c.manual);
        EXPECT_FALSE(e.Wait(0));
        e.Set();
        EXPECT_TRUE(e.IsSet());
        EXPECT_TRUE(e.Wait(0));
        EXPECT_EQ(e.Wait(0), c.secondWait);
        e.Reset();
        EXPECT_FALSE(e.Wait(0));
    }
}

TEST(EventTest, InitialStateAndTimeout) {
    Event set(false, true);
    EXPECT_TRUE(set.Wait(0));
    Event unset(true, false);
    EXPECT_FALSE(unset.Wait(20));  // times out
}

TEST(EventTest, SetFromAnotherThreadWakesWaiter) {
    Event e;
    std::thread t([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        e.Set();
    });
    EXPECT_TRUE(e.Wait(5000));
    t.join();
    EXPECT_FALSE(e.IsSet());
}

// One Set of an auto-reset event releases exactly one of two waiters.
TEST(EventTest, AutoResetReleasesOneWaiterPerSet) {
    Event e;
    std::atomic<int> woke{0};
    auto waiter = [&] {
        if (e.Wait(10000)) ++woke;
    };
    std::thread a(waiter), b(waiter);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    e.Set();
    ASSERT_TRUE(testsupport::WaitUntil([&] { return woke.load() >= 1; }));
    e.Set();
    a.join();
    b.join();
    EXPECT_EQ(woke.load(), 2);
    EXPECT_FALSE(e.IsSet());  // the second Set was consumed, not left over
}

TEST(EventTest, WaitAnyTimesOutWithMinusOne) {
    Event a, b(true);
    EXPECT_EQ(Event::WaitAny({&a, &b}, 0), -1);
    EXPECT_EQ(Event::WaitAny({&a, &b}, 20), -1);
    EXPECT_EQ(Event::WaitAny(nullptr, 0, 20), -1);
}

TEST(EventTest, WaitAnyReturnsFirstSignalledAndConsumesOnlyIt) {
    struct Case {
        const char* name;
        bool manual0, set0, manual1, set1;
        int expected;
        bool after0, after1;  // IsSet afterwards
    };
    const Case cases[] = {
        {"both auto set", false, true, false, true, 0, false, true},
        {"second auto set", false, false, false, true, 1, false, false},
        {"manual first stays set", true, true, false, true, 0, true, true},
        {"manual second stays set", false, false, true, true, 1, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Event e0(c.manual0, c.set0), e1(c.manual1, c.set1);
        EXPECT_EQ(Event::WaitAny({&e0, &e1}, 100), c.expected);
        EXPECT_EQ(e0.IsSet(), c.after0);
        EXPECT_EQ(e1.IsSet(), c.after1);
    }
}

TEST(EventTest, WaitAnyWakesOnLaterSet) {
    Event a, b, c;
    std::thread t([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        c.Set();
    });
    EXPECT_EQ(Event::WaitAny({&a, &b, &c}, 5000), 2);
    t.join();
    EXPECT_FALSE(c.IsSet());
    Event* arr[] = {&a, &b, &c};
    EXPECT_EQ(Event::WaitAny(arr, 3, 0), -1);
}

// Ping-pong through WaitAny: a Set racing with the waiter's scan is never lost.
TEST(EventTest, WaitAnyLosesNoWakeUp) {
    Event a, b, ack;
    constexpr int kRounds = 2000;
    std::atomic<int> wrong{0};
    std::thread consumer([&] {
        for (int i = 0; i < kRounds; ++i) {
            int got = Event::WaitAny({&a, &b}, 5000);
            if (got != i % 2) ++wrong;
            ack.Set();
        }
    });
    for (int i = 0; i < kRounds; ++i) {
        (i % 2 ? b : a).Set();
        ASSERT_TRUE(ack.Wait(5000)) << "round " << i;
    }
    consumer.join();
    EXPECT_EQ(wrong.load(), 0);
}

TEST(EventTest, WaitAnyAndWaitShareOneSignal) {
    Event e;
    std::atomic<int> got{0};
    std::thread t1([&] {
        if (Event::WaitAny({&e}, 10000) == 0) ++got;
    });
    std::thread t2([&] {
        if (e.Wait(10000)) ++got;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    e.Set();
    ASSERT_TRUE(testsupport::WaitUntil([&] { return got.load() >= 1; }));
    e.Set();
    t1.join();
    t2.join();
    EXPECT_EQ(got.load(), 2);
    EXPECT_FALSE(e.IsSet());
}
