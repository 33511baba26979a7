#include <gtest/gtest.h>

#include <fcntl.h>
#include <pty.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "core/CommandEntry.h"
#include "core/MediaManager.h"
#include "platform/event.h"
#include "platform/paths.h"
#include "core/SerialPort.h"
#include "support/support.h"
#include "util/LogCapture.h"

namespace {

using namespace std::chrono_literals;

// A pseudo-terminal mapped as COM<n>; the test plays the central-control
// equipment on the master side.
struct PtyCom {
    int master = -1;
    int slave = -1;
    std::string path;
    int number;
    explicit PtyCom(int n) : number(n) {
        char name[256] = {};
        if (openpty(&master, &slave, name, nullptr, nullptr) == 0) {
            path = name;
            fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
            setenv(("SV_COM" + std::to_string(n)).c_str(), path.c_str(), 1);
        }
    }
    ~PtyCom() {
        unsetenv(("SV_COM" + std::to_string(number)).c_str());
        if (master >= 0) close(master);
        if (slave >= 0) close(slave);
    }
    void Send(const std::string& s) { ASSERT_EQ(write(master, s.data(), s.size()), static_cast<ssize_t>(s.size())); }
    std::string Read(size_t n) {
        std::string out;
        testsupport::WaitUntil([&] {
            char buf[1024];
            const ssize_t r = read(master, buf, sizeof buf);
            if (r > 0) out.append(buf, static_cast<size_t>(r));
            return out.size() >= n;
        });
        return out;
    }
};

struct Received {
    std::mutex mu;
    std::vector<std::string> chunks;
    std::vector<bool> terminated;
    void Add(const char* data, size_t n) {
        std::lock_guard lock(mu);
        chunks.emplace_back(data, n);
        terminated.push_back(data[n] == '\0');
    }
    size_t Count() {
        std::lock_guard lock(mu);
        return chunks.size();
    }
    std::string All() {
        std::lock_guard lock(mu);
        std::string s;
        for (auto& c : chunks) s += c;
        return s;
    }
};

class SerialPortTest : public ::testing::Test {
protected:
    PtyCom pty{41};
    CSerialPort port;
    Received received;
    void Open() {
        ASSERT_FALSE(pty.path.empty());
        port.SetReceiveCallback([this](const char* d, size_t n) { received.Add(d, n); });
        ASSERT_EQ(port.getOpenPort(41, 9600, 8, 0, 0), 0);
        ASSERT_EQ(port.StartMonitoring(), 1);
    }
};

TEST_F(SerialPortTest, MissingPortFailsAndLogs) {
    util::LogCapture log;
    setenv("SV_COM42", "/dev/does-not-exist-42", 1);
    EXPECT_EQ(port.getOpenPort(42, 9600, 8, 0, 0), 1);
    unsetenv("SV_COM42");
    EXPECT_TRUE(log.Contains("CSerialPort::getOpenPortINVALID_HANDLE_VALUE. CreateFile fail"));
    EXPECT_TRUE(log.Contains("port=42, baud=9600, databits=8, parity=0, stopbits=0"));
    EXPECT_FALSE(port.IsOpen());
}

TEST_F(SerialPortTest, BytesArrivingTogetherComeInOneCallback) {
    util::LogCapture log;
    Open();
    EXPECT_TRUE(log.Contains("openport ok"));
    pty.Send("abc");
    ASSERT_TRUE(testsupport::WaitUntil([&] { return received.Count() >= 1; }));
    std::this_thread::sleep_for(200ms);  // nothing further may follow
    ASSERT_EQ(received.Count(), 1u);
    EXPECT_EQ(received.All(), "abc");
    EXPECT_TRUE(received.terminated[0]);
}

// More than the receive buffer holds arrives in steps of at most 511 bytes,
// each terminated, and nothing is lost.
TEST_F(SerialPortTest, LongInputComesInTerminatedStepsWithoutLoss) {
    Open();
    std::string big;
    for (int i = 0; i < 1300; ++i) big += static_cast<char>('a' + i % 26);
    pty.Send(big);
    ASSERT_TRUE(testsupport::WaitUntil([&] { return received.All().size() >= big.size(); }));
    EXPECT_EQ(received.All(), big);
    std::lock_guard lock(received.mu);
    for (size_t i = 0; i < received.chunks.size(); ++i) {
        EXPECT_LE(received.chunks[i].size(), 511u);
        EXPECT_TRUE(received.terminated[i]);
    }
}

// An answer written while the next command is already queued loses neither.
TEST_F(SerialPortTest, WritesReachThePeerAndKeepTheInput) {
    Open();
    port.WriteToPort("ok");
    port.WriteToPort("fail");
    EXPECT_EQ(pty.Read(6), "okfail");
    pty.Send("stop");
    ASSERT_TRUE(testsupport::WaitUntil([&] { return received.All() == "stop"; }));
    port.WriteToPort("ok");
    EXPECT_EQ(pty.Read(2), "ok");
}

TEST_F(SerialPortTest, StopEndsTheThreadAndFreesThePort) {
    Open();
    ASSERT_TRUE(port.IsOpen());
    const auto t0 = std::chrono::steady_clock::now();
    port.Stop();
    // The reader does not sit out a long blocking read (a generous bound: a
    // busy machine delays the join, a blocked read would never end).
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 10s);
    EXPECT_FALSE(port.IsOpen());
    // The port can be opened again at once (the exclusive hold is gone).
    EXPECT_EQ(port.getOpenPort(41, 9600, 8, 0, 0), 0);
}

// Saving the settings restarts the port from a command that holds the
// command lock, while the watch thread may be waiting for that lock inside
// its callback: the thread misses its join and must come back to a port that
// still exists (the sanitizer build catches any use of a freed one).
TEST_F(SerialPortTest, RestartWhileTheCallbackWaitsKeepsTheOldThreadsPortAlive) {
    ASSERT_FALSE(pty.path.empty());
    platform::Event entered(true, false), release(true, false);
    std::atomic<int> calls{0};
    port.SetReceiveCallback([&](const char* d, size_t n) {
        if (calls++ == 0) {
            entered.Set();
            release.Wait(30000);  // stands for the command lock
        }
        received.Add(d, n);
    });
    ASSERT_EQ(port.getOpenPort(41, 9600, 8, 0, 0), 0);
    ASSERT_EQ(port.StartMonitoring(), 1);
    pty.Send("first\r\n");
    ASSERT_TRUE(entered.Wait(10000));
    for (int i = 0; i < 2; ++i) {
        ASSERT_EQ(port.getOpenPort(41, 9600, 8, 0, 0), 0) << "the restart " << i;
        ASSERT_EQ(port.StartMonitoring(), 1);
    }
    release.Set();
    ASSERT_TRUE(testsupport::WaitUntil([&] { return received.Count() == 1; }));
    // The restarted port reads and writes on.
    pty.Send("second\r\n");
    ASSERT_TRUE(testsupport::WaitUntil([&] { return received.Count() == 2; }));
    EXPECT_EQ(received.All(), "first\r\nsecond\r\n");
    port.WriteToPort("ok");
    EXPECT_EQ(pty.Read(2), "ok");
}

TEST_F(SerialPortTest, SecondOpenerIsRefused) {
    Open();
    CSerialPort other;
    EXPECT_EQ(other.getOpenPort(41, 9600, 8, 0, 0), 1);
}

// Central control: a command line on the port gets its answer on the port.
TEST(CentralControlTest, CommandLineIsAnswered) {
    testsupport::TempDir dir;
    platform::SetBaseFolder(dir.str());  // the process core made for the answers lives there
    PtyCom pty(43);
    ASSERT_FALSE(pty.path.empty());
    EXPECT_EQ(IsCentralControlOpen(), 0);
    ASSERT_EQ(StartCentralControl(43, 115200, 8, 0, 0), 1);
    EXPECT_EQ(IsCentralControlOpen(), 1);
    pty.Send("dance\r\n");
    EXPECT_EQ(pty.Read(7), "invalid");
    pty.Send("MinWnd\r\n");
    EXPECT_EQ(pty.Read(2), "ok");
    StopCentralControl();
    EXPECT_EQ(IsCentralControlOpen(), 0);
    EXPECT_EQ(StartCentralControl(44, 9600, 8, 0, 0), 0);
    DestroyMediaManager();
}

}  // namespace
