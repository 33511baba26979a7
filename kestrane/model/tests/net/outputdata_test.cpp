// Fired string outputs on real ports: a pseudo-terminal standing in for a
// COM port, loopback TCP and UDP receivers. Each firing goes through
// GConfig::startOutputData and its own thread, as during playback.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>

#include <chrono>
#include <memory>
#include <string>

#include "kestrane/gconfig.h"
#include "kestrane/outputdatathread.h"
#include "support/support.h"

namespace {

using kestrane::OutputJob;
using kestrane::OutputResult;

constexpr int kCom = 43;  // named through SV_COM43
constexpr int kWaitMs = 30000;

// The event loop that deletes finished threads; each test makes and ends
// its own, so that the other tests see a process without one.
struct ScopedApp {
    int argc = 1;
    char name[32] = "outputdata_test";
    char* argv[2] = {name, nullptr};
    QCoreApplication app{argc, argv};
};

// Runs the event loop until every output thread has finished and been
// deleted.
bool threadsDone() {
    QElapsedTimer t;
    t.start();
    while (OutputDataThread::liveCount() > 0) {
        if (t.elapsed() > kWaitMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

std::string readAll(int fd, size_t atLeast) {
    std::string out;
    testsupport::WaitUntil(
        [&] {
            char buf[512];
            const ssize_t r = ::read(fd, buf, sizeof buf);
            if (r > 0) out.append(buf, size_t(r));
            return out.size() >= atLeast;
        },
        std::chrono::milliseconds(kWaitMs));
    return out;
}

// Whatever arrives within a short look after the expected bytes.
std::string readMore(int fd) {
    pollfd p{fd, POLLIN, 0};
    std::string out;
    while (::poll(&p, 1, 200) > 0) {
        char buf[512];
        const ssize_t r = ::read(fd, buf, sizeof buf);
        if (r <= 0) break;
        out.append(buf, size_t(r));
    }
    return out;
}

// Accepts one connection and reads it to its end (the sender closed it).
std::string acceptAndReadToEnd(int listener, bool* sawEnd) {
    *sawEnd = false;
    pollfd p{listener, POLLIN, 0};
    if (::poll(&p, 1, kWaitMs) != 1) return "<no connection>";
    const int c = ::accept(listener, nullptr, nullptr);
    if (c < 0) return "<accept failed>";
    std::string out;
    pollfd q{c, POLLIN, 0};
    while (::poll(&q, 1, kWaitMs) == 1) {
        char buf[512];
        const ssize_t r = ::read(c, buf, sizeof buf);
        if (r == 0) {
            *sawEnd = true;
            break;
        }
        if (r < 0) break;
        out.append(buf, size_t(r));
    }
    ::close(c);
    return out;
}

class OutputData : public ::testing::Test {
protected:
    void SetUp() override {
        m_app = std::make_unique<ScopedApp>();
        clearRecords();
    }
    void TearDown() override {
        EXPECT_TRUE(threadsDone());
        clearRecords();
        m_app.reset();
    }
    std::unique_ptr<ScopedApp> m_app;
    static void clearRecords() {
        GConfig& c = GConfig::instance();
        for (LayerIORecord* r : c.layerIOs()) c.eraseLayerIO(r->id);
        for (OutControlRecord* r : c.outControls()) c.eraseOutControl(r->id);
    }
    // An output control and one command on it; returns the command id.
    static int addCommand(const OutControlRecord& control, const QString& data) {
        GConfig& c = GConfig::instance();
        OutControlRecord r = control;
        r.id = c.nextOutControlId();
        c.addOutControl(r);
        LayerIORecord io;
        io.id = c.nextLayerIOId();
        io.outControlId = r.id;
        io.data = data;
        io.kind = 2;
        c.addLayerIO(io);
        return io.id;
    }
    static OutControlRecord network(uint16_t port, bool tcp) {
        OutControlRecord r;
        r.type = 1;
        r.ip = QStringLiteral("127.0.0.1");
        r.port = port;
        r.isTcp = tcp;
        return r;
    }
};

TEST_F(OutputData, SerialOutputSendsExactBytesAtEveryFiringAndSurvivesTheRecordsGoing) {
    int master = -1, slave = -1;
    char name[256] = {};
    ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    setenv("SV_COM43", name, 1);
    OutControlRecord serial;
    serial.type = 0;
    serial.com = kCom;
    serial.baud = 9600;
    const int id = addCommand(serial, QStringLiteral("PWR ON"));
    GConfig& c = GConfig::instance();

    ASSERT_TRUE(c.startOutputData(id));
    EXPECT_EQ(readAll(master, 6), "PWR ON");
    ASSERT_TRUE(threadsDone());
    EXPECT_EQ(readMore(master), "");  // no terminator, no zero byte

    // The port was closed after the write: a second firing opens it again
    // (a port left open would refuse it after a second's retrying).
    ASSERT_TRUE(c.startOutputData(id));
    // The thread works on its copy while the project is cleared under it.
    clearRecords();
    EXPECT_EQ(readAll(master, 6), "PWR ON");
    ASSERT_TRUE(threadsDone());
    EXPECT_EQ(readMore(master), "");

    unsetenv("SV_COM43");
    ::close(master);
    ::close(slave);
}

TEST_F(OutputData, TcpOutputSendsItsTextAsGb18030AndCloses) {
    struct Case {
        const char* text;   // UTF-8
        std::string wire;   // bytes the peer must read
    };
    const Case cases[] = {
        {"PWR ON", "PWR ON"},
        {"开始", "\xBF\xAA\xCA\xBC"},
        {"<PWR ON>\n", "<PWR ON>\n"},
        {"", ""},  // connects, writes nothing, closes
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.text);
        uint16_t port = 0;
        const int listener = testsupport::BindLoopback(SOCK_STREAM, port);
        ASSERT_GE(listener, 0);
        ASSERT_EQ(::listen(listener, 4), 0);
        const int id = addCommand(network(port, true), QString::fromUtf8(k.text));
        ASSERT_TRUE(GConfig::instance().startOutputData(id));
        bool sawEnd = false;
        EXPECT_EQ(acceptAndReadToEnd(listener, &sawEnd), k.wire);
        EXPECT_TRUE(sawEnd);
        ASSERT_TRUE(threadsDone());
        ::close(listener);
    }
}

TEST_F(OutputData, UdpOutputSendsOneDatagram) {
    uint16_t port = 0;
    const int receiver = testsupport::BindLoopback(SOCK_DGRAM, port);
    ASSERT_GE(receiver, 0);
    const int id = addCommand(network(port, false), QString::fromUtf8("灯光 ON"));
    ASSERT_TRUE(GConfig::instance().startOutputData(id));
    pollfd p{receiver, POLLIN, 0};
    ASSERT_EQ(::poll(&p, 1, kWaitMs), 1);
    char buf[512];
    const ssize_t n = ::recv(receiver, buf, sizeof buf, 0);
    ASSERT_GT(n, 0);
    EXPECT_EQ(std::string(buf, size_t(n)), std::string("\xB5\xC6\xB9\xE2 ON"));
    ASSERT_TRUE(threadsDone());
    EXPECT_EQ(::poll(&p, 1, 100), 0);  // one datagram only
    ::close(receiver);
}

TEST_F(OutputData, FailuresEndTheThreadWithoutSending) {
    // A refused connection: a port that was free a moment ago.
    uint16_t closed = 0;
    const int s = testsupport::BindLoopback(SOCK_STREAM, closed);
    ASSERT_GE(s, 0);
    ::close(s);
    OutputJob job;
    job.type = 1;
    job.host = "127.0.0.1";
    job.port = closed;
    job.bytes = "x";
    EXPECT_EQ(OutputDataThread::send(job), OutputResult::OpenFailed);
    const int id = addCommand(network(closed, true), QStringLiteral("x"));
    ASSERT_TRUE(GConfig::instance().startOutputData(id));
    EXPECT_TRUE(threadsDone());

    // Ports that older projects may hold are refused at sending.
    for (int port : {0, -1, 65536, 99999}) {
        job.port = port;
        EXPECT_EQ(OutputDataThread::send(job), OutputResult::BadPort) << port;
    }
    // A serial port that does not exist.
    setenv("SV_COM43", "/dev/no-such-serial-device", 1);
    OutputJob serial;
    serial.com = kCom;
    serial.baud = 9600;
    serial.bytes = "x";
    EXPECT_EQ(OutputDataThread::send(serial), OutputResult::OpenFailed);
    unsetenv("SV_COM43");
}

TEST_F(OutputData, MissingCommandOrControlStartsNothing) {
    GConfig& c = GConfig::instance();
    EXPECT_FALSE(c.startOutputData(999));
    LayerIORecord orphan;
    orphan.id = c.nextLayerIOId();
    orphan.outControlId = 77;  // no such control
    orphan.data = QStringLiteral("x");
    c.addLayerIO(orphan);
    EXPECT_FALSE(c.startOutputData(orphan.id));
    EXPECT_EQ(OutputDataThread::liveCount(), 0);
}

TEST_F(OutputData, ShutdownWaitsForRunningThreads) {
    // Two outputs at once to two receivers; shutdown waits for both and
    // frees them without the event loop.
    uint16_t p1 = 0, p2 = 0;
    const int r1 = testsupport::BindLoopback(SOCK_DGRAM, p1);
    const int r2 = testsupport::BindLoopback(SOCK_DGRAM, p2);
    ASSERT_GE(r1, 0);
    ASSERT_GE(r2, 0);
    for (int fd : {r1, r2}) fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    GConfig& c = GConfig::instance();
    ASSERT_TRUE(c.startOutputData(addCommand(network(p1, false), QStringLiteral("a"))));
    ASSERT_TRUE(c.startOutputData(addCommand(network(p2, false), QStringLiteral("b"))));
    EXPECT_EQ(GConfig::waitForOutputThreads(kWaitMs), 0);
    EXPECT_EQ(OutputDataThread::liveCount(), 0);
    EXPECT_EQ(readAll(r1, 1), "a");
    EXPECT_EQ(readAll(r2, 1), "b");
    ::close(r1);
    ::close(r2);
}

}  // namespace
