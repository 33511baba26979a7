#include <gtest/gtest.h>

#include <fcntl.h>
#include <pty.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "lintra/ioctrl.h"
#include "support/support.h"

namespace {

using namespace tolva_io_ctrl;
using Clock = std::chrono::steady_clock;

// COM number whose device the tests name through SV_COM<n>.
constexpr int kCom = 41;

class SerialOut : public ::testing::Test {
protected:
    void SetUp() override {
        char name[256] = {};
        ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
        fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
        path = name;
        setenv("SV_COM41", name, 1);
    }
    void TearDown() override {
        unsetenv("SV_COM41");
        if (master >= 0) close(master);
        if (slave >= 0) close(slave);
    }
    std::string ReadMaster(size_t n) {
        std::string out;
        testsupport::WaitUntil([&] {
            char buf[256];
            ssize_t r = read(master, buf, sizeof buf);
            if (r > 0) out.append(buf, static_cast<size_t>(r));
            return out.size() >= n;
        });
        return out;
    }
    int master = -1, slave = -1;
    std::string path;
};

TEST_F(SerialOut, BytesArriveUnchanged) {
    void* h = OpenSerialPort(kCom, 9600, 0, 8, 0);
    ASSERT_NE(h, nullptr);
    const std::string text = "a\nb\r";
    EXPECT_NE(WriteSerialPortData(h, reinterpret_cast<const uint8_t*>(text.data()), static_cast<int>(text.size())), 0);
    EXPECT_EQ(ReadMaster(text.size()), text);
    EXPECT_NE(WriteSerialPortData(h, nullptr, 0), 0);  // nothing to write is no failure
    EXPECT_EQ(CloseSerialPort(h), 1);
}

TEST_F(SerialOut, PortHeldByAnotherOpenerGivesNullAfterAboutASecond) {
    void* first = OpenSerialPort(kCom, 9600, 0, 8, 0);
    ASSERT_NE(first, nullptr);
    auto t0 = Clock::now();
    EXPECT_EQ(OpenSerialPort(kCom, 9600, 0, 8, 0), nullptr);
    // It kept retrying for the whole second rather than failing at once.
    EXPECT_GE(Clock::now() - t0, std::chrono::milliseconds(950));
    EXPECT_EQ(CloseSerialPort(first), 1);
    void* again = OpenSerialPort(kCom, 9600, 0, 8, 0);
    EXPECT_NE(again, nullptr);
    EXPECT_EQ(CloseSerialPort(again), 1);
}

TEST_F(SerialOut, MissingDeviceGivesNullWithoutRetrying) {
    setenv("SV_COM41", "/dev/no-such-serial-device", 1);
    auto t0 = Clock::now();
    EXPECT_EQ(OpenSerialPort(kCom, 9600, 0, 8, 0), nullptr);
    // Far below the busy-retry second: a missing device is not waited for.
    EXPECT_LT(Clock::now() - t0, std::chrono::milliseconds(900));
    EXPECT_EQ(OpenSerialPort(0, 9600, 0, 8, 0), nullptr);
}

TEST_F(SerialOut, SettingsWithoutTermiosFormGiveNullAndReleaseThePort) {
    const int bad[][4] = {{12345, 0, 8, 0}, {9600, 7, 8, 0}, {9600, 0, 9, 0}, {9600, 0, 8, 5}};
    for (const auto& b : bad) EXPECT_EQ(OpenSerialPort(kCom, b[0], b[1], b[2], b[3]), nullptr);
    void* h = OpenSerialPort(kCom, 19200, 2, 7, 2);
    EXPECT_NE(h, nullptr);
    EXPECT_EQ(CloseSerialPort(h), 1);
}

TEST_F(SerialOut, ClosedForeignAndNullHandlesAreRefused) {
    void* h = OpenSerialPort(kCom, 9600, 0, 8, 0);
    ASSERT_NE(h, nullptr);
    const uint8_t x = 'x';
    // Close functions of other kinds leave the port alone.
    EXPECT_EQ(CloseNetworkPort(h), 0);
    EXPECT_EQ(StopMidiControl(h), 0);
    EXPECT_EQ(StopNormalInput(h), 0);
    EXPECT_NE(WriteSerialPortData(h, &x, 1), 0);
    EXPECT_EQ(ReadMaster(1), "x");
    EXPECT_EQ(WriteSerialPortData(h, nullptr, 1), 0);
    EXPECT_EQ(WriteSerialPortData(h, &x, -1), 0);

    EXPECT_EQ(CloseSerialPort(h), 1);
    EXPECT_EQ(CloseSerialPort(h), 0);
    EXPECT_EQ(WriteSerialPortData(h, &x, 1), 0);
    EXPECT_EQ(WriteSerialPortData(nullptr, &x, 1), 0);
    EXPECT_EQ(CloseSerialPort(nullptr), 0);
    // A later handle never takes the value of a freed one.
    void* h2 = OpenSerialPort(kCom, 9600, 0, 8, 0);
    ASSERT_NE(h2, nullptr);
    EXPECT_NE(h2, h);
    EXPECT_EQ(CloseSerialPort(h), 0);
    EXPECT_EQ(CloseSerialPort(h2), 1);
}

}  // namespace
