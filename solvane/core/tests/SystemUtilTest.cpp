#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "core/Resources.h"
#include "core/SystemUtil.h"
#include "platform/serial.h"
#include "support/support.h"

namespace {

TEST(SystemUtilTest, FileNameOfPathTakesEitherSeparator) {
    const struct {
        const char* path;
        const char* name;
    } rows[] = {
        {"C:\\media\\a.mp4", "a.mp4"}, {"/srv/media/b.mp4", "b.mp4"}, {"c.mp4", "c.mp4"},
        {"C:\\mixed/dir\\d.jpg", "d.jpg"}, {"\\e.png", "e.png"}, {"dir\\", ""}, {"", ""},
    };
    for (const auto& r : rows) EXPECT_EQ(FileNameOfPath(r.path), r.name) << r.path;
}

TEST(SystemUtilTest, ShaderTextsAreWrittenFromTheResources) {
    testsupport::TempDir dir;
    for (int id : {135, 136}) {
        const std::string path = (dir / ("r" + std::to_string(id))).string();
        testsupport::WriteFile(path, "old content that is longer than nothing at all");
        ASSERT_EQ(WriteResourceToFile(id, path.c_str()), 1);
        ResourceView view;
        ASSERT_TRUE(FindResource(id, "data", view));
        EXPECT_EQ(testsupport::ReadFile(path), std::string(reinterpret_cast<const char*>(view.data), view.size));
        EXPECT_NE(testsupport::ReadFile(path).find("main"), std::string::npos);
    }
    EXPECT_EQ(WriteResourceToFile(9999, (dir / "x").string().c_str()), 0);
    EXPECT_FALSE(std::filesystem::exists(dir / "x"));
    EXPECT_EQ(WriteResourceToFile(135, (dir / "no" / "such" / "dir").string().c_str()), 0);
}

// A picture with alpha is premultiplied (c * a / 255, truncated) and stored
// bottom-up as BGRA; one without alpha as BGR rows padded to 4 bytes.
TEST(SystemUtilTest, ImagesDecodeBottomUpWithPremultipliedAlpha) {
    testsupport::TempDir dir;
    const std::string rgba = (dir / "a.png").string();
    const std::string rgb = (dir / "b.png").string();
    int status = 0;
    // 3 x 2: top row red at alpha 128, bottom row blue at alpha 255.
    testsupport::RunShell("ffmpeg -loglevel error -y -f lavfi -i color=c=red@0.5:s=3x1,format=rgba "
                          "-f lavfi -i color=c=blue:s=3x1,format=rgba -filter_complex vstack=inputs=2 -frames:v 1 "
                          "-pix_fmt rgba '" + rgba + "'",
                          &status);
    ASSERT_EQ(status, 0);
    testsupport::RunShell("ffmpeg -loglevel error -y -f lavfi -i color=c=0x102030:s=3x2,format=rgb24 -frames:v 1 -pix_fmt rgb24 '" +
                              rgb + "'",
                          &status);
    ASSERT_EQ(status, 0);

    const std::string a = testsupport::ReadFile(rgba);
    ResourceImage image;
    ASSERT_EQ(DecodeImageBytes(reinterpret_cast<const uint8_t*>(a.data()), a.size(), image), 1);
    EXPECT_EQ(image.width, 3);
    EXPECT_EQ(image.height, 2);
    EXPECT_EQ(image.bitsPerPixel, 32);
    EXPECT_EQ(image.stride, 12);
    // Row 0 is the bottom (blue, opaque); row 1 the top (red, alpha 128).
    const uint8_t* bottom = image.bits.data();
    const uint8_t* top = image.bits.data() + image.stride;
    EXPECT_EQ(bottom[0], 255);
    EXPECT_EQ(bottom[2], 0);
    EXPECT_EQ(bottom[3], 255);
    const int alpha = top[3];
    EXPECT_NEAR(alpha, 128, 1);
    EXPECT_EQ(top[0], 0);
    EXPECT_EQ(top[2], 255 * alpha / 255);

    const std::string b = testsupport::ReadFile(rgb);
    ASSERT_EQ(DecodeImageBytes(reinterpret_cast<const uint8_t*>(b.data()), b.size(), image), 1);
    EXPECT_EQ(image.bitsPerPixel, 24);
    EXPECT_EQ(image.stride, 12);  // 9 bytes padded to 12
    EXPECT_EQ(image.bits.size(), 24u);
    EXPECT_EQ(image.bits[0], 0x30);
    EXPECT_EQ(image.bits[1], 0x20);
    EXPECT_EQ(image.bits[2], 0x10);
    EXPECT_EQ(image.bits[9], 0);  // padding

    // Through the resource table.
    static std::string bytes = b;
    static const ResourceEntry table[] = {
        {9001, "PNG", reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()}, {0, nullptr, nullptr, 0}};
    RegisterResourceTable(table);
    EXPECT_EQ(LoadImageResource(9001, "png", image), 1);
    EXPECT_EQ(image.width, 3);
    EXPECT_EQ(LoadImageResource(9002, "png", image), 0);
    const uint8_t junk[] = {1, 2, 3, 4};
    EXPECT_EQ(DecodeImageBytes(junk, sizeof junk, image), 0);
}

// COM numbers whose device is present, as the serial layer maps COMn.
TEST(SystemUtilTest, SerialPortsFollowTheComMapping) {
    testsupport::TempDir sys;
    // ttyS0 has a UART, ttyS1 none (type 0), ttyUSB0 is only reachable
    // through an override, tty1 is no serial port.
    for (const char* n : {"ttyS0", "ttyS1", "ttyUSB0", "tty1"}) std::filesystem::create_directories(sys / n);
    testsupport::WriteFile(sys / "ttyS0" / "type", "4\n");
    testsupport::WriteFile(sys / "ttyS1" / "type", "0\n");
    testsupport::TempDir dev;
    testsupport::WriteFile(dev / "pty", "");
    setenv("SV_COM7", "/dev/ttyUSB0", 1);
    setenv("SV_COM9", (dev / "pty").c_str(), 1);
    setenv("SV_COM10", (dev / "missing").c_str(), 1);
    uint8_t numbers[256] = {};
    const int count = EnumSerialPortsIn(numbers, sys.str());
    unsetenv("SV_COM7");
    unsetenv("SV_COM9");
    unsetenv("SV_COM10");
    ASSERT_EQ(count, 3);
    EXPECT_EQ(numbers[0], 1);
    EXPECT_EQ(numbers[1], 7);
    EXPECT_EQ(numbers[2], 9);
    EXPECT_EQ(numbers[3], 0);
}

// USB adapters get COM numbers from mediacfg.ini; the environment still wins.
TEST(SystemUtilTest, ConfigurationMapsComNumbersToAdapters) {
    testsupport::TempDir sys, dev, base;
    for (const char* n : {"ttyUSB0", "ttyACM0"}) std::filesystem::create_directories(sys / n);
    std::filesystem::create_directories(dev / "by-id");
    testsupport::WriteFile(dev / "by-id" / "usb-adapter", "");
    testsupport::WriteFile(dev / "pty", "");
    const std::string ini = (base / "mediacfg.ini").string();
    testsupport::WriteFile(ini, "[SerialPort]\nEnable=1\nPort=5\nCOM5=" + (dev / "by-id" / "usb-adapter").string() +
                                    "\nCOM3=/dev/ttyACM0\nCOM12=" + (dev / "gone").string() +
                                    "\nCOM2=" + (dev / "pty").string() + "\nCOM0=/dev/ttyUSB0\nCOM8=\n");
    setenv("SV_COM2", "/dev/ttyUSB0", 1);
    LoadSerialDeviceMap(ini);
    struct Case {
        int com;
        std::string path;
    } cases[] = {
        {5, (dev / "by-id" / "usb-adapter").string()},
        {3, "/dev/ttyACM0"},
        {2, "/dev/ttyUSB0"},  // the environment
        {8, "/dev/ttyS7"},    // an empty value maps nothing
        {1, "/dev/ttyS0"},
        {0, ""},
    };
    for (const Case& c : cases) EXPECT_EQ(platform::SerialDevicePath(c.com), c.path) << c.com;
    uint8_t numbers[256] = {};
    const int count = EnumSerialPortsIn(numbers, sys.str());
    unsetenv("SV_COM2");
    platform::SetSerialDeviceMap({});
    // COM12's device is missing; nothing else is present.
    ASSERT_EQ(count, 3);
    EXPECT_EQ(numbers[0], 2);
    EXPECT_EQ(numbers[1], 3);
    EXPECT_EQ(numbers[2], 5);
    EXPECT_EQ(platform::SerialDevicePath(5), "/dev/ttyS4");
}

TEST(SystemUtilTest, FirewallStepsSucceedAndChangeNothing) {
    FirewallProfile* profile = nullptr;
    EXPECT_EQ(FirewallInitialize(&profile), 0);
    FirewallProfile* first = profile;
    EXPECT_EQ(FirewallInitialize(&profile), 0);
    EXPECT_EQ(profile, first);
    EXPECT_EQ(FirewallAddThisProgram(profile), 0);
    EXPECT_EQ(FirewallOpenPort(profile, "VuzizaVuzo1", 30100), 0);
    EXPECT_EQ(FirewallOpenPort(profile, "VuzizaVuzo1", 30100), 0);
    FirewallCleanup(&profile);
    EXPECT_EQ(profile, nullptr);
    EXPECT_EQ(FirewallOpenPort(nullptr, "x", 1), -1);
}

}  // namespace
