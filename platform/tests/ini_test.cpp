#include "platform/ini.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <climits>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "support/support.h"

namespace {

using platform::GetPrivateProfileInt;
using platform::GetPrivateProfileString;
using platform::WritePrivateProfileString;
using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

std::string WithEol(const std::string& lf, const std::string& eol) {
    std::string out;
    for (char c : lf) {
        if (c == '\n')
            out += eol;
        else
            out += c;
    }
    return out;
}

const char* const kSample =
    "; settings\n"
    "Stray=before any section\n"
    "[Main]\n"
    "  Name = Alpha \n"
    "Quoted=\"  spaced  \"\n"
    "Single='x'\n"
    "Mismatch=\"abc'\n"
    "Empty=\n"
    "Blank=   \n"
    "Count=42abc\n"
    "Neg= -17\n"
    "Big=99999999999\n"
    "Plain\n"
    "name=shadowed\n"
    "\n"
    "[main]\n"
    "Later=in a later section\n"
    "Name=Second\n"
    "[Other]\n"
    "Key=v\n"
    "[显示]\n"
    "属性=值\n";

struct ReadCase {
    const char* section;
    const char* key;
    const char* expected;
};

class IniRead : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        file_ = (dir_ / "read.ini").string();
        WriteFile(file_, WithEol(kSample, GetParam()));
    }
    std::string Read(const char* section, const char* key) {
        return GetPrivateProfileString(section, key, std::string("<default>"), file_);
    }
    TempDir dir_;
    std::string file_;
};

TEST_P(IniRead, TextValues) {
    const ReadCase cases[] = {
        {"Main", "Name", "Alpha"},
        {"MAIN", "nAmE", "Alpha"},             // case-blind, first key of a name wins
        {" Main ", " Name ", "Alpha"},         // names are trimmed
        {"Main", "Later", "<default>"},        // only the first [Main] is searched
        {"Main", "Quoted", "  spaced  "},      // one pair of quotes removed
        {"Main", "Single", "x"},
        {"Main", "Mismatch", "\"abc'"},        // quotes that do not match stay
        {"Main", "Empty", ""},
        {"Main", "Blank", ""},
        {"Main", "Plain", "<default>"},        // a line without '=' is no key
        {"Main", "Missing", "<default>"},
        {"Missing", "Name", "<default>"},
        {"", "Stray", "<default>"},            // keys before any section are never seen
        {"Other", "Key", "v"},
        {"显示", "属性", "值"},
    };
    for (const ReadCase& c : cases)
        EXPECT_EQ(Read(c.section, c.key), c.expected) << c.section << "/" << c.key;
}

TEST_P(IniRead, IntValues) {
    const char* f = file_.c_str();
    EXPECT_EQ(GetPrivateProfileInt("Main", "Count", 5, f), 42);
    EXPECT_EQ(GetPrivateProfileInt("Main", "Neg", 5, f), -17);
    EXPECT_EQ(GetPrivateProfileInt("Main", "Empty", 5, f), 0);
    EXPECT_EQ(GetPrivateProfileInt("Main", "Name", 5, f), 0);
    EXPECT_EQ(GetPrivateProfileInt("Main", "Big", 5, f), INT32_MAX);
    EXPECT_EQ(GetPrivateProfileInt("Main", "Later", 5, f), 5);
    EXPECT_EQ(GetPrivateProfileInt("Main", "Missing", -3, f), -3);
    EXPECT_EQ(GetPrivateProfileInt("Main", "Count", 5, (dir_ / "absent.ini").c_str()), 5);
}

TEST_P(IniRead, BufferIsCutAndTerminated) {
    char buf[8];
    std::memset(buf, 'x', sizeof buf);
    EXPECT_EQ(GetPrivateProfileString("Main", "Name", "d", buf, 4, file_.c_str()), 3u);
    EXPECT_STREQ(buf, "Alp");
    // "值" is three bytes; two would split it.
    EXPECT_EQ(GetPrivateProfileString("显示", "属性", "d", buf, 3, file_.c_str()), 0u);
    EXPECT_STREQ(buf, "");
    EXPECT_EQ(GetPrivateProfileString("Main", "Missing", "dflt", buf, sizeof buf, file_.c_str()), 4u);
    EXPECT_STREQ(buf, "dflt");
    EXPECT_EQ(GetPrivateProfileString("Main", "Missing", nullptr, buf, sizeof buf, file_.c_str()), 0u);
    EXPECT_STREQ(buf, "");
    EXPECT_EQ(GetPrivateProfileString("Main", "Name", "d", buf, 0, file_.c_str()), 0u);
}

INSTANTIATE_TEST_SUITE_P(LineEnds, IniRead, ::testing::Values("\n", "\r\n"),
                         [](const auto& info) { return std::string(info.param[0] == '\r' ? "Crlf" : "Lf"); });

struct WriteCase {
    const char* what;
    const char* before;
    const char* section;
    const char* key;
    const char* value;
    const char* after;
};

TEST(IniWrite, FilesBeforeAndAfter) {
    const WriteCase cases[] = {
        {"change in place", "[A]\nk=1\nother=2\n", "A", "k", "9", "[A]\nk=9\nother=2\n"},
        {"case-blind change keeps the spelling", "[Sec]\n  Key = old ; x\nz=1\n", "sec", "KEY", "new",
         "[Sec]\n  Key=new\nz=1\n"},
        {"append a key after the last key of its section", "[A]\nx=1\n; about B\n\n[B]\ny=2\n", "A", "z", "3",
         "[A]\nx=1\nz=3\n; about B\n\n[B]\ny=2\n"},
        {"append a key to an empty section", "[A]\n[B]\n", "A", "x", "1", "[A]\nx=1\n[B]\n"},
        {"append a section", "[A]\nx=1\n", "B", "y", "2", "[A]\nx=1\n[B]\ny=2\n"},
        {"append a section after a last line without line end", "[A]\nx=1", "B", "y", "2",
         "[A]\nx=1\n[B]\ny=2\n"},
        {"append a key after a last line without line end", "[A]\nx=1", "A", "y", "2", "[A]\nx=1\ny=2\n"},
        {"CRLF kept", "[A]\r\nx=1\r\n; c\r\n", "A", "y", "2", "[A]\r\nx=1\r\ny=2\r\n; c\r\n"},
        {"CRLF kept when appending a section", "[A]\r\nx=1\r\n", "B", "y", "2", "[A]\r\nx=1\r\n[B]\r\ny=2\r\n"},
        {"only the first of duplicate sections is written", "[A]\nx=1\n[a]\ny=2\n", "A", "y", "3",
         "[A]\nx=1\ny=3\n[a]\ny=2\n"},
        {"delete a key", "[A]\nx=1\ny=2\nX=3\n[B]\nx=4\n", "A", "x", nullptr, "[A]\ny=2\n[B]\nx=4\n"},
        {"delete a missing key", "[A]\nx=1\n", "A", "q", nullptr, "[A]\nx=1\n"},
        {"delete a section and its duplicates", "; head\n[A]\nx=1\n[B]\ny=2\n[a]\nz=3\n", "a", nullptr, nullptr,
         "; head\n[B]\ny=2\n"},
        {"empty file", "", "A", "x", "1", "[A]\nx=1\n"},
        {"keys before any section are not the section's", "k=0\n[A]\n", "A", "k", "1", "k=0\n[A]\nk=1\n"},
        {"UTF-8 passes as bytes", "[显示]\n属性=旧\n", "显示", "属性", "新", "[显示]\n属性=新\n"},
        {"byte-order mark kept", "\xEF\xBB\xBF[A]\nx=1\n", "A", "x", "2", "\xEF\xBB\xBF[A]\nx=2\n"},
        // A reader takes one pair of quotes off: one more pair keeps them.
        {"quoted value gets a pair more", "[A]\n", "A", "p", "\"d:\\media\"", "[A]\np=\"\"d:\\media\"\"\n"},
    };
    TempDir dir;
    const std::string file = (dir / "w.ini").string();
    for (const WriteCase& c : cases) {
        WriteFile(file, c.before);
        EXPECT_TRUE(WritePrivateProfileString(c.section, c.key, c.value, file.c_str())) << c.what;
        EXPECT_EQ(ReadFile(file), c.after) << c.what;
    }
    // Nothing but the file itself is left in the folder.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

TEST(IniWrite, WrittenValuesReadBack) {
    TempDir dir;
    const std::string file = (dir / "new.ini").string();
    EXPECT_TRUE(WritePrivateProfileString("SyncMedia", "MulticastIp", "226.10.60.10", file.c_str()));
    EXPECT_TRUE(WritePrivateProfileString("SyncMedia", "MulticastPort", "30400", file.c_str()));
    EXPECT_TRUE(WritePrivateProfileString("Setting", "MediaFolder", "d:\\media", file.c_str()));
    EXPECT_EQ(GetPrivateProfileString("syncmedia", "multicastip", std::string(), file), "226.10.60.10");
    EXPECT_EQ(GetPrivateProfileInt("SYNCMEDIA", "MULTICASTPORT", 0, file.c_str()), 30400);
    EXPECT_EQ(GetPrivateProfileString("Setting", "MediaFolder", std::string(), file), "d:\\media");
    EXPECT_TRUE(WritePrivateProfileString("Setting", nullptr, nullptr, file.c_str()));
    EXPECT_EQ(GetPrivateProfileString("Setting", "MediaFolder", std::string("gone"), file), "gone");
}

TEST(IniWrite, RefusesWhatWouldCorruptTheFile) {
    TempDir dir;
    const std::string file = (dir / "r.ini").string();
    WriteFile(file, "[A]\nx=1\n");
    EXPECT_FALSE(WritePrivateProfileString("A", "x", "1\n[B]\ny=2", file.c_str()));
    EXPECT_FALSE(WritePrivateProfileString("A", "x=y", "1", file.c_str()));
    EXPECT_FALSE(WritePrivateProfileString("A\nB", "x", "1", file.c_str()));
    EXPECT_FALSE(WritePrivateProfileString("A", "", "1", file.c_str()));
    EXPECT_FALSE(WritePrivateProfileString(nullptr, "x", "1", file.c_str()));
    EXPECT_EQ(ReadFile(file), "[A]\nx=1\n");
    EXPECT_FALSE(WritePrivateProfileString("A", "x", "1", (dir / "no/such/folder.ini").c_str()));
    // Removing from a file that does not exist creates nothing.
    EXPECT_TRUE(WritePrivateProfileString("A", "x", nullptr, (dir / "absent.ini").c_str()));
    EXPECT_FALSE(std::filesystem::exists(dir / "absent.ini"));
}

TEST(IniWrite, KeepsModeAndSymbolicLink) {
    TempDir dir;
    const std::string real = (dir / "real.ini").string();
    const std::string link = (dir / "link.ini").string();
    WriteFile(real, "[A]\nx=1\n");
    ASSERT_EQ(chmod(real.c_str(), 0640), 0);
    std::filesystem::create_symlink(real, link);
    EXPECT_TRUE(WritePrivateProfileString("A", "x", "2", link.c_str()));
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(ReadFile(real), "[A]\nx=2\n");
    struct stat st {};
    ASSERT_EQ(stat(real.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
}

TEST(IniWrite, ConcurrentWritersLoseNoKey) {
    TempDir dir;
    const std::string file = (dir / "c.ini").string();
    constexpr int kThreads = 8;
    constexpr int kKeys = 40;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int k = 0; k < kKeys; ++k) {
                std::string key = "k" + std::to_string(t) + "_" + std::to_string(k);
                std::string value = std::to_string(t * 1000 + k);
                // Half into one shared section, half into a section per thread.
                std::string section = (k % 2) ? "Shared" : "T" + std::to_string(t);
                WritePrivateProfileString(section.c_str(), key.c_str(), value.c_str(), file.c_str());
                // Readers never see a torn file: an earlier key of this thread is still there.
                std::string first = "k" + std::to_string(t) + "_0";
                EXPECT_EQ(GetPrivateProfileInt(("T" + std::to_string(t)).c_str(), first.c_str(), -1, file.c_str()),
                          t * 1000);
            }
        });
    }
    for (auto& th : threads) th.join();
    for (int t = 0; t < kThreads; ++t) {
        for (int k = 0; k < kKeys; ++k) {
            std::string key = "k" + std::to_string(t) + "_" + std::to_string(k);
            std::string section = (k % 2) ? "Shared" : "T" + std::to_string(t);
            EXPECT_EQ(GetPrivateProfileInt(section.c_str(), key.c_str(), -1, file.c_str()), t * 1000 + k) << key;
        }
    }
}

TEST(IniWrite, LoneCarriageReturnEndsTheLastLine) {
    // A file whose last line ends in a lone CR (saved on another system):
    // an appended key ran into the previous line, which then read wrong.
    struct Case {
        const char* what;
        const char* before;
        const char* section;
    };
    const Case cases[] = {
        {"new key in the section", "[S]\r\nA=1\r", "S"},
        {"new section", "[S]\r\nA=1\r", "T"},
        {"LF file", "[S]\nA=1\r", "S"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        const std::string file = (dir / "a.ini").string();
        WriteFile(dir / "a.ini", c.before);
        ASSERT_TRUE(WritePrivateProfileString(c.section, "B", "2", file.c_str()));
        EXPECT_EQ(GetPrivateProfileInt("S", "A", -1, file.c_str()), 1);
        EXPECT_EQ(GetPrivateProfileInt(c.section, "B", -1, file.c_str()), 2);
    }
}

TEST(IniWrite, QuotedValuesReadBackAsWritten) {
    TempDir dir;
    const std::string file = (dir / "q.ini").string();
    char out[64];
    for (const char* v : {"\"x\"", "\"\"x\"\"", "'y'", "\"", "\"a\" and \"b\"", "plain"}) {
        SCOPED_TRACE(v);
        // Saved again and again, as the server saves its settings.
        for (int round = 0; round < 3; ++round) {
            ASSERT_TRUE(WritePrivateProfileString("Setting", "MediaFolder", v, file.c_str()));
            GetPrivateProfileString("Setting", "MediaFolder", "", out, sizeof out, file.c_str());
            ASSERT_STREQ(out, v);
        }
    }
}

}  // namespace
