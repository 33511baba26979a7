#include <gtest/gtest.h>
#include <time.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "platform/tick.h"

using platform::ManualTickSource;

namespace {

constexpr uint64_t kUnixEpochTicks = 116444736000000000ULL;  // 1970-01-01 in 100 ns since 1601
constexpr uint64_t kTicksPerHour = 36000000000ULL;

// Runs the test under a chosen TZ and puts the previous one back.
class TzTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (const char* tz = getenv("TZ")) saved_ = tz;
    }
    void TearDown() override {
        if (saved_) {
            setenv("TZ", saved_->c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
    }
    static void UseTz(const char* tz) {
        setenv("TZ", tz, 1);
        tzset();
    }

private:
    std::optional<std::string> saved_;
};

}  // namespace

TEST(TickTest, InstalledSourceDrivesTickAcrossWrap) {
    ManualTickSource src(0xFFFFFF00u);
    platform::SetTickSource(&src);
    const uint32_t before = platform::GetTickCount();
    EXPECT_EQ(before, 0xFFFFFF00u);
    src.Advance(0x200);
    const uint32_t after = platform::GetTickCount();
    EXPECT_EQ(after, 0x100u);  // wrapped
    EXPECT_LT(after, before);
    EXPECT_EQ(platform::TickDiff(after, before), 0x200u);
    platform::SetTickSource(nullptr);
}

TEST(TickTest, TickDiffTable) {
    struct Case {
        uint32_t to, from, diff;
    };
    const Case cases[] = {
        {100, 100, 0},
        {150, 100, 50},
        {5, 0xFFFFFFFBu, 10},
        {0, 0xFFFFFFFFu, 1},
        {0x7FFFFFFFu, 0, 0x7FFFFFFFu},
    };
    for (const Case& c : cases) EXPECT_EQ(platform::TickDiff(c.to, c.from), c.diff) << c.to << " - " << c.from;
}

TEST(TickTest, MonotonicClockAfterSourceRemoved) {
    ManualTickSource src(42);
    platform::SetTickSource(&src);
    platform::SetTickSource(nullptr);
    const uint32_t a = platform::GetTickCount();
    timespec pause{0, 5 * 1000 * 1000};
    nanosleep(&pause, nullptr);
    const uint32_t b = platform::GetTickCount();
    EXPECT_GE(platform::TickDiff(b, a), 5u);
    EXPECT_LT(platform::TickDiff(b, a), 0x80000000u);  // never backwards
}

TEST_F(TzTest, UtcEpochAndMillisecondResolution) {
    UseTz("UTC");
    struct Case {
        int64_t unixMs;
        uint64_t ticks;
    };
    const Case cases[] = {
        {0, kUnixEpochTicks},
        {1234, kUnixEpochTicks + 12340000ULL},
        {-1, kUnixEpochTicks - 10000ULL},
        {-1500, kUnixEpochTicks - 15000000ULL},
        {1700000000123LL, kUnixEpochTicks + 1700000000123ULL * 10000ULL},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FileTimeToU64(platform::LocalFileTimeFromUnixMs(c.unixMs)), c.ticks) << c.unixMs;
    }
}

TEST_F(TzTest, ShanghaiIsEightHoursAheadOfUtc) {
    if (!std::filesystem::exists("/usr/share/zoneinfo/Asia/Shanghai")) GTEST_SKIP() << "no time zone data";
    const int64_t when = 1700000000123LL;
    UseTz("UTC");
    const uint64_t utc = FileTimeToU64(platform::LocalFileTimeFromUnixMs(when));
    UseTz("Asia/Shanghai");
    const uint64_t shanghai = FileTimeToU64(platform::LocalFileTimeFromUnixMs(when));
    EXPECT_EQ(shanghai - utc, 8 * kTicksPerHour);
}

TEST_F(TzTest, DaylightSavingFollowsTheDate) {
    if (!std::filesystem::exists("/usr/share/zoneinfo/Europe/Berlin")) GTEST_SKIP() << "no time zone data";
    UseTz("Europe/Berlin");
    const int64_t winter = 1700000000000LL;  // November 2023
    const int64_t summer = 1690000000000LL;  // July 2023
    EXPECT_EQ(FileTimeToU64(platform::LocalFileTimeFromUnixMs(winter)),
              kUnixEpochTicks + winter * 10000ULL + 1 * kTicksPerHour);
    EXPECT_EQ(FileTimeToU64(platform::LocalFileTimeFromUnixMs(summer)),
              kUnixEpochTicks + summer * 10000ULL + 2 * kTicksPerHour);
}

TEST_F(TzTest, LocalFileTimeIsNow) {
    UseTz("Asia/Shanghai");
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    const int64_t nowMs = static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
    const uint64_t expected = FileTimeToU64(platform::LocalFileTimeFromUnixMs(nowMs));
    const uint64_t got = FileTimeToU64(platform::GetLocalFileTime());
    EXPECT_GE(got, expected);
    EXPECT_LT(got - expected, 60 * 10000000ULL);  // same minute, not a different zone
    EXPECT_EQ(got % 10000, 0u);                    // millisecond resolution
}
