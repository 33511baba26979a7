#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <random>
#include <string>

#include "lintra/filekit.h"
#include "lintra/host.h"
#include "support/support.h"

namespace {

using testsupport::RunShell;
using testsupport::TempDir;

std::string RandomBytes(size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (auto& c : s) c = static_cast<char>(rng());
    return s;
}

std::string Trim(std::string s) {
    while (!s.empty() && (s.back() == '\n' || s.back() == ' ')) s.pop_back();
    return s;
}

// The identity as the shell computes it from the same samples.
std::string ShellIdentity(const std::string& path, size_t size) {
    std::string cmd;
    if (size >= 2048) {
        cmd = "{ dd if='" + path + "' bs=1 skip=" + std::to_string(size / 2) +
              " count=1024 2>/dev/null; tail -c 1024 '" + path + "'; }";
    } else {
        cmd = "cat '" + path + "' '" + path + "'";
    }
    cmd += " | md5sum | cut -d' ' -f1 | tr a-f A-F";
    int status = -1;
    std::string out = Trim(RunShell(cmd, &status));
    EXPECT_EQ(status, 0) << cmd;
    return out;
}

class SampledIdentity : public ::testing::TestWithParam<size_t> {};

TEST_P(SampledIdentity, MatchesTheShell) {
    TempDir dir;
    const size_t size = GetParam();
    const std::string path = (dir / "f.bin").string();
    testsupport::WriteFile(path, RandomBytes(size, static_cast<unsigned>(size)));

    std::string id;
    ASSERT_TRUE(LINTRA_FILEKIT::GetMD5FromFile(path.c_str(), id));
    EXPECT_EQ(id.size(), 32u);
    EXPECT_EQ(id, ShellIdentity(path, size));
}

INSTANTIATE_TEST_SUITE_P(Sizes, SampledIdentity,
                         ::testing::Values(size_t{0}, size_t{1500}, size_t{2047}, size_t{2048}, size_t{2049},
                                           size_t{10 * 1024 * 1024 + 3}));

TEST(SampledIdentity, ExactlyTwoKiBSamplesTheSecondHalfTwice) {
    TempDir dir;
    const std::string path = (dir / "f.bin").string();
    const std::string content = RandomBytes(2048, 7);
    testsupport::WriteFile(path, content);
    const std::string twice = (dir / "twice.bin").string();
    testsupport::WriteFile(twice, content.substr(1024) + content.substr(1024));

    std::string id;
    ASSERT_TRUE(LINTRA_FILEKIT::GetMD5FromFile(path.c_str(), id));
    EXPECT_EQ(id, LINTRA_FILEKIT::GetFileMd5(twice));
}

TEST(SampledIdentity, MissingFileOrDirectoryFails) {
    TempDir dir;
    std::string id = "keep";
    EXPECT_FALSE(LINTRA_FILEKIT::GetMD5FromFile((dir / "none").string().c_str(), id));
    EXPECT_FALSE(LINTRA_FILEKIT::GetMD5FromFile(dir.str().c_str(), id));
    EXPECT_FALSE(LINTRA_FILEKIT::GetMD5FromFile(nullptr, id));
    EXPECT_EQ(id, "keep");
}

TEST(WholeFileMd5, Rfc1321Vectors) {
    const struct {
        const char* text;
        const char* md5;
    } rows[] = {
        {"", "D41D8CD98F00B204E9800998ECF8427E"},
        {"a", "0CC175B9C0F1B6A831C399E269772661"},
        {"abc", "900150983CD24FB0D6963F7D28E17F72"},
        {"message digest", "F96B697D7CB7938D525A2F31AAF161D0"},
        {"abcdefghijklmnopqrstuvwxyz", "C3FCD3D76192E4007DFB496CCA67E13B"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "D174AB98D277D9F5A5611C2C9F419D9F"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57EDF4A22BE3C955AC49DA2E2107B67A"},
    };
    TempDir dir;
    for (const auto& r : rows) {
        const std::string path = (dir / "v.txt").string();
        testsupport::WriteFile(path, r.text);
        EXPECT_EQ(LINTRA_FILEKIT::GetFileMd5(path), r.md5) << '"' << r.text << '"';
    }
}

TEST(WholeFileMd5, LargeFileMatchesTheShellAndMissingIsEmpty) {
    TempDir dir;
    const std::string path = (dir / "big.bin").string();
    testsupport::WriteFile(path, RandomBytes(3 * 1024 * 1024 + 17, 3));
    EXPECT_EQ(LINTRA_FILEKIT::GetFileMd5(path),
              Trim(RunShell("md5sum '" + path + "' | cut -d' ' -f1 | tr a-f A-F")));
    EXPECT_EQ(LINTRA_FILEKIT::GetFileMd5((dir / "none").string()), "");
}

// Sets TZ for the life of the object and restores it.
class ScopedTz {
public:
    explicit ScopedTz(const char* tz) {
        if (const char* old = std::getenv("TZ")) old_ = old, had_ = true;
        setenv("TZ", tz, 1);
        tzset();
    }
    ~ScopedTz() {
        if (had_)
            setenv("TZ", old_.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

private:
    std::string old_;
    bool had_ = false;
};

TEST(HostInfo, ReferenceTimeIsLocalFileTime) {
    constexpr int64_t kTicksPerSecond = 10'000'000;
    constexpr int64_t kEpochDiffSeconds = 11'644'473'600;  // 1601 to 1970
    int64_t utc = 0;
    int64_t shanghai = 0;
    time_t before = 0;
    {
        ScopedTz tz("UTC");
        before = time(nullptr);
        utc = LINTRA_HOST::GetSystemReferenceTime();
    }
    {
        ScopedTz tz("Asia/Shanghai");
        shanghai = LINTRA_HOST::GetSystemReferenceTime();
    }
    // Under UTC the value is the UNIX time moved to 1601.
    const int64_t expectUtc = (static_cast<int64_t>(before) + kEpochDiffSeconds) * kTicksPerSecond;
    EXPECT_GE(utc, expectUtc);
    EXPECT_LT(utc, expectUtc + 60 * kTicksPerSecond);
    // Millisecond resolution.
    EXPECT_EQ(utc % 10'000, 0);
    // Shanghai is eight hours ahead; only the time between the two calls is added.
    const int64_t diff = shanghai - utc - 8 * 3600 * kTicksPerSecond;
    EXPECT_GE(diff, 0);
    EXPECT_LT(diff, 60 * kTicksPerSecond);
}

TEST(HostInfo, NewIpAddsToTheLastOctetAndDropsTheCarry) {
    const struct {
        const char* ip;
        int n;
        const char* expect;
    } rows[] = {
        {"192.168.1.250", 10, "192.168.1.4"},
        {"192.168.1.10", 5, "192.168.1.15"},
        {"10.0.0.1", -2, "10.0.0.255"},
        {"10.0.0.255", 1, "10.0.0.0"},
        {"not an address", 1, ""},
        {"300.1.1.1", 1, ""},
    };
    for (const auto& r : rows) EXPECT_EQ(LINTRA_HOST::GetNewIp(r.ip, r.n), r.expect) << r.ip << " + " << r.n;
    EXPECT_EQ(LINTRA_HOST::GetNewIp(nullptr, 1), "");
}

TEST(HostInfo, NameAndMac) {
    EXPECT_EQ(LINTRA_HOST::GetHostName(), Trim(RunShell("hostname")));
    EXPECT_EQ(LINTRA_HOST::GetHostMAC(), "");
}

}  // namespace
