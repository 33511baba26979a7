#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/paths.h"
#include "platform/thread.h"
#include "support/support.h"
#include "util/LogCapture.h"
#include "util/LogPrune.h"
#include "util/Util.h"

namespace {

struct Parsed {
    std::string level;
    std::string message;
};

// "YYYY-MM-DD HH:MM:SS.mmm [LEVEL] [tid] message", checked by hand: a
// library regex recurses per character and cannot take a 30 KB line.
bool ParseLine(const std::string& line, Parsed& out) {
    const char* pattern = "dddd-dd-dd dd:dd:dd.ddd [";
    size_t i = 0;
    for (; pattern[i]; ++i) {
        if (i >= line.size()) return false;
        if (pattern[i] == 'd' ? !isdigit(static_cast<unsigned char>(line[i])) : line[i] != pattern[i]) return false;
    }
    const size_t levelEnd = line.find("] [", i);
    if (levelEnd == std::string::npos) return false;
    out.level = line.substr(i, levelEnd - i);
    if (out.level != "INFO" && out.level != "DEBUG" && out.level != "ERROR" && out.level != "TRACE") return false;
    i = levelEnd + 3;
    const size_t tidStart = i;
    while (i < line.size() && isdigit(static_cast<unsigned char>(line[i]))) ++i;
    if (i == tidStart || line.compare(i, 2, "] ") != 0) return false;
    out.message = line.substr(i + 2);
    return true;
}

// Every line of the file; a line not in the layout fails the test.
std::vector<Parsed> ParseLog(const std::string& path) {
    std::vector<Parsed> out;
    const std::string text = testsupport::ReadFile(path);
    EXPECT_TRUE(text.empty() || text.back() == '\n') << "last line not ended";
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        Parsed p;
        if (!ParseLine(line, p)) {
            ADD_FAILURE() << "malformed line: " << line.substr(0, 200);
            continue;
        }
        out.push_back(std::move(p));
    }
    return out;
}

class LogTest : public ::testing::Test {
protected:
    void SetUp() override {
        path_ = (dir_ / "sub" / "test.log").string();
        LOGTEXT::Setpath(path_.c_str());
    }
    void TearDown() override { LOGTEXT::Setpath((dir_ / "after.log").string().c_str()); }

    testsupport::TempDir dir_;
    std::string path_;
};

}  // namespace

TEST_F(LogTest, EachLevelWritesOneStampedLine) {
    EXPECT_EQ(LOGTEXT::CurrentPath(), path_);
    LOGTEXT::LogInfo("info %d", 1);
    LOGTEXT::LogDebug("debug %s", "two");
    LOGTEXT::LogError("error %.1f", 3.5);
    LOGTEXT::LogTrace("trace");
    const auto lines = ParseLog(path_);
    ASSERT_EQ(lines.size(), 4u);
    const std::pair<const char*, const char*> expected[] = {
        {"INFO", "info 1"}, {"DEBUG", "debug two"}, {"ERROR", "error 3.5"}, {"TRACE", "trace"}};
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(lines[i].level, expected[i].first);
        EXPECT_EQ(lines[i].message, expected[i].second);
    }
}

TEST_F(LogTest, StampIsLocalTimeOfTheLine) {
    const time_t now = time(nullptr);
    tm t{};
    localtime_r(&now, &t);
    char day[16];
    strftime(day, sizeof day, "%Y-%m-%d", &t);
    LOGTEXT::LogInfo("stamp");
    const std::string text = testsupport::ReadFile(path_);
    // The test may straddle midnight; then the next day is fine too.
    const time_t later = now + 86400;
    tm t2{};
    localtime_r(&later, &t2);
    char next[16];
    strftime(next, sizeof next, "%Y-%m-%d", &t2);
    EXPECT_TRUE(text.rfind(day, 0) == 0 || text.rfind(next, 0) == 0) << text;
}

TEST_F(LogTest, ChineseTextIsKeptAsUtf8) {
    LOGTEXT::LogInfo("****************程序启动.%s位. 版本=%s.***************", "32", "1.0.0.3");
    const auto lines = ParseLog(path_);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].message, "****************程序启动.32位. 版本=1.0.0.3.***************");
}

TEST_F(LogTest, EightThreadsLoseAndSplitNoLine) {
    constexpr int kThreads = 8;
    constexpr int kLines = 1000;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < kLines; ++i) {
                LOGTEXT::LogInfo("worker=%d line=%d %s", t, i, "padding-padding-padding-padding-padding");
            }
        });
    }
    for (auto& th : threads) th.join();
    const auto lines = ParseLog(path_);
    ASSERT_EQ(lines.size(), static_cast<size_t>(kThreads * kLines));
    std::vector<std::vector<int>> seen(kThreads, std::vector<int>(kLines, 0));
    for (const Parsed& p : lines) {
        int t = -1, i = -1, used = 0;
        ASSERT_EQ(sscanf(p.message.c_str(), "worker=%d line=%d %n", &t, &i, &used), 2) << p.message;
        ASSERT_EQ(p.message.substr(static_cast<size_t>(used)), "padding-padding-padding-padding-padding");
        ASSERT_TRUE(t >= 0 && t < kThreads && i >= 0 && i < kLines) << p.message;
        ++seen[t][i];
    }
    for (int t = 0; t < kThreads; ++t) {
        int last = -1;
        for (int i = 0; i < kLines; ++i) {
            EXPECT_EQ(seen[t][i], 1) << "worker " << t << " line " << i;
            last = i;
        }
        EXPECT_EQ(last, kLines - 1);
    }
}

TEST_F(LogTest, LongLineIsWrittenWhole) {
    std::string big;
    for (int i = 0; big.size() < 30 * 1024; ++i) big += "chunk" + std::to_string(i) + ";";
    LOGTEXT::LogInfo("before");
    LOGTEXT::LogError("big:%s:end", big.c_str());
    LOGTEXT::LogInfo("after");
    const auto lines = ParseLog(path_);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[1].level, "ERROR");
    EXPECT_EQ(lines[1].message, "big:" + big + ":end");
}

TEST_F(LogTest, SinkGetsMessageTextOnly) {
    {
        util::LogCapture cap;
        LOGTEXT::LogDebug("network alive =%d. flags=%d", 1, 3);
        LOGTEXT::LogInfo("重新 启动网络监听 成功");
        EXPECT_TRUE(cap.Contains(LOGTEXT::Level::Debug, "network alive =1. flags=3"));
        EXPECT_FALSE(cap.Contains(LOGTEXT::Level::Error, "network alive"));
        EXPECT_TRUE(cap.Contains("启动网络监听"));
        EXPECT_EQ(cap.Count("network"), 1u);
        const auto lines = cap.Lines();
        ASSERT_EQ(lines.size(), 2u);
        EXPECT_EQ(lines[0].text, "network alive =1. flags=3");  // no stamp, no line end
        cap.Clear();
        EXPECT_TRUE(cap.Lines().empty());
    }
    // After the capture is gone lines still reach the file.
    LOGTEXT::LogInfo("not captured");
    EXPECT_EQ(ParseLog(path_).size(), 3u);
}

TEST_F(LogTest, UnwritableLogIsDroppedSilently) {
    util::LogCapture cap;
    LOGTEXT::Setpath("/proc/no-such-dir/x.log");
    LOGTEXT::LogError("lost %d", 1);
    EXPECT_TRUE(cap.Contains("lost 1"));  // the caller and the sink are unaffected
    LOGTEXT::Setpath(path_.c_str());
    LOGTEXT::LogInfo("kept");
    const auto lines = ParseLog(path_);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].message, "kept");
}

TEST_F(LogTest, ThreadTimeOutTextGoesToErrorLog) {
    util::LogCapture cap;
    auto release = std::make_shared<platform::Event>(true);
    platform::StoppableThread t;
    ASSERT_TRUE(t.Start([release](platform::StoppableThread&) { release->Wait(20000); }));
    EXPECT_FALSE(t.Join(50, "网络线程没有结束"));
    release->Set();
    EXPECT_TRUE(cap.Contains(LOGTEXT::Level::Error, "网络线程没有结束"));
    const auto lines = ParseLog(path_);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].level, "ERROR");
}

class DefaultPathTest : public ::testing::Test {
protected:
    void TearDown() override {
        platform::SetBaseFolder("");
        LOGTEXT::Setpath((dir_ / "after.log").string().c_str());
    }
    static std::string Today() {
        const time_t now = time(nullptr);
        tm t{};
        localtime_r(&now, &t);
        char day[16];
        strftime(day, sizeof day, "%Y%m%d", &t);
        return day;
    }
    testsupport::TempDir dir_;
};

TEST_F(DefaultPathTest, NullPathSelectsDatedFileUnderBaseFolder) {
    platform::SetBaseFolder(dir_.str());
    LOGTEXT::Setpath(nullptr);
    const std::string path = LOGTEXT::CurrentPath();
    const std::string expected = (dir_ / "log").string() + "/util_unit_tests_" + Today() + ".log";
    EXPECT_EQ(path, expected);
    LOGTEXT::LogInfo("default file");
    EXPECT_NE(testsupport::ReadFile(path).find("[INFO]"), std::string::npos);
    LOGTEXT::Setpath("");  // empty is the same as null
    EXPECT_EQ(LOGTEXT::CurrentPath(), expected);
}

TEST_F(DefaultPathTest, UnwritableBaseFallsBackToPrivateTemp) {
    platform::SetBaseFolder("/proc");  // no folder can be made there, whoever runs the test
    LOGTEXT::Setpath(nullptr);
    const std::string path = LOGTEXT::CurrentPath();
    EXPECT_EQ(path.rfind(platform::PrivateTempFolder() + "/log/", 0), 0u) << path;
    LOGTEXT::LogInfo("in temp");
    EXPECT_NE(testsupport::ReadFile(path).find("in temp"), std::string::npos);
}

// A render PC runs for months: log files untouched for more than 30 days go,
// newer ones and files that are no logs stay.
TEST(LogPruneTest, LogFilesOlderThanThirtyDaysAreRemoved) {
    testsupport::TempDir dir;
    const time_t now = 2000000000;
    struct Case {
        const char* name;
        double ageDays;
        bool kept;
    } cases[] = {
        {"solvane_20330101.log", 0.0, true},
        {"solvane_20321220.log", 29.9, true},
        {"solvane_20321201.log", 30.1, false},
        {"kestrane_20300101.log", 400.0, false},
        {"solvane.dmp", 400.0, true},
        {"notes.log.txt", 400.0, true},
    };
    for (const Case& c : cases) {
        testsupport::WriteFile(dir / c.name, "x");
        timespec times[2];
        times[0].tv_sec = times[1].tv_sec = now - static_cast<time_t>(c.ageDays * 86400);
        times[0].tv_nsec = times[1].tv_nsec = 0;
        ASSERT_EQ(utimensat(AT_FDCWD, (dir / c.name).c_str(), times, 0), 0);
    }
    EXPECT_EQ(LOGTEXT::PruneOldLogs(dir.str(), now), 2);
    for (const Case& c : cases) EXPECT_EQ(std::filesystem::exists(dir / c.name), c.kept) << c.name;
    EXPECT_EQ(LOGTEXT::PruneOldLogs((dir / "missing").string(), now), 0);
}
