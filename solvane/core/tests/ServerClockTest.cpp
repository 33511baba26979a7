#include <gtest/gtest.h>

#include "core/ServerClock.h"
#include "platform/tick.h"

TEST(ServerClock, ShowsTheTickUntilFirstSet) {
    platform::ManualTickSource tick(123456);
    CServerClock clock(&tick);
    EXPECT_EQ(clock.GetTime(), 123456u);
    tick.Advance(40);
    EXPECT_EQ(clock.GetTime(), 123496u);
    EXPECT_EQ(clock.GetTickCount(), 123496u);
}

TEST(ServerClock, CountsFromZeroAfterSettingZero) {
    platform::ManualTickSource tick(98765);
    CServerClock clock(&tick);
    clock.SetTime(0);
    EXPECT_EQ(clock.GetTime(), 0u);
    tick.Advance(1500);
    EXPECT_EQ(clock.GetTime(), 1500u);
    EXPECT_EQ(clock.GetTickCount(), 98765u + 1500u);
}

TEST(ServerClock, MaySetBackwards) {
    platform::ManualTickSource tick(5000);
    CServerClock clock(&tick);
    clock.SetTime(100000);
    tick.Advance(250);
    EXPECT_EQ(clock.GetTime(), 100250u);
    clock.SetTime(3000);
    tick.Advance(7);
    EXPECT_EQ(clock.GetTime(), 3007u);
}

TEST(ServerClock, ElapsedTimeSurvivesTheTickWrap) {
    platform::ManualTickSource tick(0xFFFFFF00u);
    CServerClock clock(&tick);
    clock.SetTime(1000);
    tick.Advance(0x200);   // the tick passes 0xFFFFFFFF and starts again at 0
    EXPECT_EQ(tick.NowMs(), 0x100u);
    EXPECT_EQ(clock.GetTime(), 1000u + 0x200u);
}

TEST(ServerClock, TimeConstructorStartsAtTheGivenTime) {
    platform::ManualTickSource tick(777);
    CServerClock clock(42, &tick);
    tick.Advance(8);
    EXPECT_EQ(clock.GetTime(), 50u);
}

TEST(ServerClock, ResetToTickShowsTheTickAgain) {
    platform::ManualTickSource tick(9000);
    CServerClock clock(&tick);
    clock.SetTime(5);
    clock.ResetToTick();
    tick.Advance(3);
    EXPECT_EQ(clock.GetTime(), 9003u);
}
