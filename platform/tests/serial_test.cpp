#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/serial.h"
#include "support/support.h"

namespace {

using platform::SerialOpenResult;
using platform::SerialPort;
using platform::SerialSettings;

// A pseudo-terminal pair; the test plays the far end on the master side.
struct Pty {
    int master = -1;
    int slave = -1;
    std::string path;
    Pty() {
        char name[256] = {};
        if (openpty(&master, &slave, name, nullptr, nullptr) == 0) {
            path = name;
            fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
        }
    }
    ~Pty() {
        if (master >= 0) close(master);
        if (slave >= 0) close(slave);
    }
    // Reads from the master until n bytes came or the deadline passed.
    std::string ReadMaster(size_t n, int deadlineMs = 5000) {
        std::string out;
        testsupport::WaitUntil(
            [&] {
                char buf[256];
                ssize_t r = read(master, buf, sizeof buf);
                if (r > 0) out.append(buf, static_cast<size_t>(r));
                return out.size() >= n;
            },
            std::chrono::milliseconds(deadlineMs));
        return out;
    }
};

TEST(SerialPath, ComNumbersMapToTtySUnlessOverridden) {
    unsetenv("SV_COM1");
    unsetenv("SV_COM12");
    EXPECT_EQ(platform::SerialDevicePath(1), "/dev/ttyS0");
    EXPECT_EQ(platform::SerialDevicePath(12), "/dev/ttyS11");
    EXPECT_EQ(platform::SerialDevicePath(0), "");
    EXPECT_EQ(platform::SerialDevicePath(-3), "");

    setenv("SV_COM12", "/dev/pts/5", 1);
    EXPECT_EQ(platform::SerialDevicePath(12), "/dev/pts/5");
    EXPECT_EQ(platform::SerialDevicePath(1), "/dev/ttyS0");  // only that number
    setenv("SV_COM12", "", 1);
    EXPECT_EQ(platform::SerialDevicePath(12), "/dev/ttyS11");
    unsetenv("SV_COM12");
}

struct SettingsCase {
    SerialSettings s;
    speed_t speed;
    tcflag_t size;
    tcflag_t parityBits;  // PARENB | PARODD | CMSPAR as expected
    bool inpck;
    bool twoStop;
};

TEST(SerialSettingsTable, CodesMapToTermiosFlags) {
    const SettingsCase cases[] = {
        {{9600, 8, 0, 0}, B9600, CS8, 0, false, false},
        {{115200, 8, 1, 0}, B115200, CS8, PARENB | PARODD, true, false},
        {{19200, 7, 2, 2}, B19200, CS7, PARENB, true, true},
        {{4800, 6, 3, 0}, B4800, CS6, PARENB | CMSPAR | PARODD, true, false},
        {{2400, 5, 4, 1}, B2400, CS5, PARENB | CMSPAR, true, true},
        {{57600, 8, 0, 2}, B57600, CS8, 0, false, true},
        {{1200, 7, 1, 1}, B1200, CS7, PARENB | PARODD, true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.s.baud << " " << c.s.byteSize << " " << c.s.parity << " "
                                        << c.s.stopBits);
        struct termios t;
        std::memset(&t, 0, sizeof t);
        // Start from a cooked line with flags raw mode must clear.
        t.c_iflag = ICRNL | IXON | IXOFF | ISTRIP;
        t.c_oflag = OPOST | ONLCR;
        t.c_lflag = ICANON | ECHO | ISIG | IEXTEN;
        t.c_cflag = CS8 | CRTSCTS | PARENB | PARODD | CSTOPB;
        ASSERT_TRUE(platform::ApplySerialSettings(t, c.s));
        EXPECT_EQ(cfgetospeed(&t), c.speed);
        EXPECT_EQ(cfgetispeed(&t), c.speed);
        EXPECT_EQ(t.c_cflag & CSIZE, c.size);
        EXPECT_EQ(t.c_cflag & (PARENB | PARODD | CMSPAR), c.parityBits);
        EXPECT_EQ((t.c_iflag & INPCK) != 0, c.inpck);
        EXPECT_EQ((t.c_cflag & CSTOPB) != 0, c.twoStop);
        EXPECT_TRUE(t.c_cflag & CREAD);
        EXPECT_TRUE(t.c_cflag & CLOCAL);
        EXPECT_FALSE(t.c_cflag & CRTSCTS);
        EXPECT_FALSE(t.c_iflag & (ICRNL | IXON | IXOFF | ISTRIP));
        EXPECT_FALSE(t.c_oflag & OPOST);
        EXPECT_FALSE(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN));
        EXPECT_EQ(t.c_cc[VMIN], 1);
        EXPECT_EQ(t.c_cc[VTIME], 0);
    }
}

TEST(SerialSettingsTable, UnknownCodesAreRefusedAndLeaveTheLine) {
    const SerialSettings bad[] = {
        {12345, 8, 0, 0}, {0, 8, 0, 0}, {9600, 4, 0, 0}, {9600, 9, 0, 0},
        {9600, 8, 5, 0},  {9600, 8, -1, 0}, {9600, 8, 0, 3}, {9600, 8, 0, -1},
    };
    for (const auto& s : bad) {
        struct termios t;
        std::memset(&t, 0x5A, sizeof t);
        struct termios before = t;
        EXPECT_FALSE(platform::ApplySerialSettings(t, s)) << s.baud << " " << s.byteSize << " " << s.parity;
        EXPECT_EQ(std::memcmp(&t, &before, sizeof t), 0);
    }
}

TEST(SerialPort, RawModePassesBytesUnchangedBothWays) {
    Pty pty;
    ASSERT_FALSE(pty.path.empty());
    SerialPort port;
    ASSERT_EQ(port.Open(pty.path), SerialOpenResult::Ok);
    ASSERT_TRUE(port.Configure({115200, 8, 0, 0}));
    port.SetRts(true);  // refused by a pseudo-terminal; must not matter

    const std::string out = "a\nb\r";
    EXPECT_EQ(port.Write(out.data(), out.size(), 1000), static_cast<int64_t>(out.size()));
    EXPECT_EQ(pty.ReadMaster(out.size()), out);

    const std::string in = "x\r\ny\n";
    ASSERT_EQ(write(pty.master, in.data(), in.size()), static_cast<ssize_t>(in.size()));
    std::string got;
    testsupport::WaitUntil([&] {
        char buf[64];
        int64_t n = port.Read(buf, sizeof buf, 50);
        if (n > 0) got.append(buf, static_cast<size_t>(n));
        return got.size() >= in.size();
    });
    EXPECT_EQ(got, in);  // no echo went back either
    EXPECT_EQ(pty.ReadMaster(1, 100), "");
}

TEST(SerialPort, SecondOpenerIsBusyUntilTheFirstCloses) {
    Pty pty;
    ASSERT_FALSE(pty.path.empty());
    SerialPort first;
    ASSERT_EQ(first.Open(pty.path), SerialOpenResult::Ok);
    SerialPort second;
    EXPECT_EQ(second.Open(pty.path), SerialOpenResult::Busy);
    if (geteuid() != 0) {  // exclusive mode binds everyone but root
        int fd = open(pty.path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        EXPECT_LT(fd, 0);
        if (fd >= 0) close(fd);
    }
    first.Close();
    EXPECT_EQ(second.Open(pty.path), SerialOpenResult::Ok);
}

TEST(SerialPort, MissingAndNonTerminalPaths) {
    SerialPort port;
    EXPECT_EQ(port.Open("/dev/no-such-tty-here"), SerialOpenResult::Missing);
    EXPECT_EQ(port.Open(""), SerialOpenResult::Missing);
    testsupport::TempDir dir;
    testsupport::WriteFile(dir / "plain", "x");
    std::string error;
    EXPECT_EQ(port.Open((dir / "plain").string(), &error), SerialOpenResult::Failed);
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(port.IsOpen());
}

TEST(SerialPort, WriteGivesUpWhenThePeerStopsTaking) {
    Pty pty;
    ASSERT_FALSE(pty.path.empty());
    SerialPort port;
    ASSERT_EQ(port.Open(pty.path), SerialOpenResult::Ok);
    ASSERT_TRUE(port.Configure({9600, 8, 0, 0}));
    // The master never reads: the pseudo-terminal's buffer fills and the
    // write must end at its deadline with what went out.
    std::vector<char> big(4 << 20, 'z');
    int64_t n = port.Write(big.data(), big.size(), 200);
    EXPECT_GT(n, 0);
    EXPECT_LT(n, static_cast<int64_t>(big.size()));
}

TEST(SerialPort, ClosedPortRefusesIo) {
    SerialPort port;
    char c = 0;
    EXPECT_EQ(port.Write("x", 1, 10), -1);
    EXPECT_EQ(port.Read(&c, 1, 10), -1);
    EXPECT_FALSE(port.Configure({}));
    EXPECT_FALSE(port.SetRts(true));
}

}  // namespace
