#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/paths.h"
#include "support/support.h"
#include "util/Util.h"

TEST(TempFilePathTest, WritesUniquePathInPrivateTempFolder) {
    char a[260];
    char b[260];
    const int na = AESOPER::GetTempFilePath(a, sizeof a);
    const int nb = AESOPER::GetTempFilePath(b, sizeof b);
    ASSERT_GT(na, 0);
    ASSERT_GT(nb, 0);
    EXPECT_EQ(static_cast<size_t>(na), strlen(a));
    EXPECT_STRNE(a, b);
    const std::string folder = platform::PrivateTempFolder() + "/";
    EXPECT_EQ(std::string(a).rfind(folder, 0), 0u) << a;
    struct stat st {};
    EXPECT_EQ(stat(a, &st), 0);
    // Callers append their own ending and write that file.
    std::string cg = std::string(a) + ".cg";
    testsupport::WriteFile(cg, "shader");
    EXPECT_EQ(testsupport::ReadFile(cg), "shader");
    unlink(cg.c_str());
    unlink(a);
    unlink(b);
}

TEST(TempFilePathTest, TooSmallBufferGetsNothing) {
    char small[6];
    memset(small, 'x', sizeof small);
    EXPECT_EQ(AESOPER::GetTempFilePath(small, sizeof small), 0);
    EXPECT_EQ(small[0], '\0');
    EXPECT_EQ(AESOPER::GetTempFilePath(nullptr, 260), 0);
}

TEST(MonitorXmlTest, TwoMonitorsWithTheirFields) {
    MY_MONITORINFO m1;
    m1.number = 1;
    m1.deviceName = "\\\\.\\DISPLAY1";
    m1.primary = 1;
    m1.monitor = RECT{0, 0, 1920, 1080};
    m1.work = RECT{0, 0, 1920, 1040};
    m1.bitsPerPixel = 32;
    m1.refreshRate = 60;
    m1.modes = {SIZE{1920, 1080}, SIZE{1280, 720}};
    MY_MONITORINFO m2;
    m2.number = 2;
    m2.deviceName = "\\\\.\\DISPLAY2";
    m2.monitor = RECT{1920, -100, 3200, 924};
    m2.work = m2.monitor;
    m2.bitsPerPixel = 24;
    m2.refreshRate = 75;
    m2.orientation = 1;
    m2.modes = {SIZE{1280, 1024}};

    const std::string xml = XMLOPER::EncodeMonitorInfo({m1, m2});
    const char* expected[] = {
        "<Monitors count=\"2\">",
        "<Monitor number=\"1\" name=\"\\\\.\\DISPLAY1\" primary=\"1\" bitsPerPixel=\"32\" refreshRate=\"60\" "
        "orientation=\"0\">",
        "<Rect left=\"0\" top=\"0\" right=\"1920\" bottom=\"1080\"/>",
        "<Work left=\"0\" top=\"0\" right=\"1920\" bottom=\"1040\"/>",
        "<Modes count=\"2\"><Mode width=\"1920\" height=\"1080\"/><Mode width=\"1280\" height=\"720\"/></Modes>",
        "<Monitor number=\"2\" name=\"\\\\.\\DISPLAY2\" primary=\"0\" bitsPerPixel=\"24\" refreshRate=\"75\" "
        "orientation=\"1\">",
        "<Rect left=\"1920\" top=\"-100\" right=\"3200\" bottom=\"924\"/>",
        "<Modes count=\"1\"><Mode width=\"1280\" height=\"1024\"/></Modes>",
        "<Extra count=\"0\"></Extra>",
        "</Monitor></Monitors>",
    };
    for (const char* e : expected) EXPECT_NE(xml.find(e), std::string::npos) << e << "\nin " << xml;
    EXPECT_LT(xml.find("DISPLAY1"), xml.find("DISPLAY2"));
}

TEST(MonitorXmlTest, AttributeTextIsEscaped) {
    MY_MONITORINFO m;
    m.number = 1;
    m.deviceName = "a&b<c>\"d'\x01";
    const std::string xml = XMLOPER::EncodeMonitorInfo({m});
    EXPECT_NE(xml.find("name=\"a&amp;b&lt;c&gt;&quot;d&apos;\""), std::string::npos) << xml;
}

TEST(MonitorXmlTest, EmptyList) {
    EXPECT_NE(XMLOPER::EncodeMonitorInfo({}).find("<Monitors count=\"0\"></Monitors>"), std::string::npos);
}
