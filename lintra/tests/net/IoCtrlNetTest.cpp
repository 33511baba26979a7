#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <clocale>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "PlainClient.h"
#include "lintra/SocketComm.h"
#include "lintra/ioctrl.h"
#include "support/support.h"

using namespace std::chrono_literals;
using namespace tolva_io_ctrl;
using nettest::PlainClient;

namespace {

// A socket of the test bound to 127.0.0.1 with a port of the system's choice.
struct LoopSocket {
    int fd = -1;
    int port = 0;
    explicit LoopSocket(int type, int rcvbuf = 0) {
        fd = socket(AF_INET, type | SOCK_CLOEXEC, 0);
        if (rcvbuf) setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &rcvbuf, sizeof rcvbuf);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) return;
        socklen_t len = sizeof a;
        getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
        port = ntohs(a.sin_port);
        if (type == SOCK_STREAM) listen(fd, 4);
    }
    ~LoopSocket() {
        if (fd >= 0) close(fd);
    }
    // Accepts one client within the deadline; -1 otherwise.
    int Accept() {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 5000) != 1) return -1;
        return accept4(fd, nullptr, nullptr, SOCK_CLOEXEC);
    }
    std::string RecvSome(int from) {
        pollfd p{from, POLLIN, 0};
        if (poll(&p, 1, 5000) != 1) return {};
        char buf[4096];
        ssize_t n = recv(from, buf, sizeof buf, 0);
        return n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string();
    }
};

int Write(void* h, const std::string& s) {
    return WriteNetworkData(h, reinterpret_cast<const uint8_t*>(s.data()), static_cast<int>(s.size()));
}

TEST(NetworkOutput, TcpDeliversTheText) {
    LoopSocket server(SOCK_STREAM);
    ASSERT_GT(server.port, 0);
    void* h = ConnectNetworkPort("127.0.0.1", server.port, 1);
    ASSERT_NE(h, nullptr);
    int peer = server.Accept();
    ASSERT_GE(peer, 0);
    EXPECT_EQ(Write(h, "play 1\r\n"), 8);
    std::string got;
    testsupport::WaitUntil([&] {
        got += server.RecvSome(peer);
        return got.size() >= 8;
    });
    EXPECT_EQ(got, "play 1\r\n");
    EXPECT_EQ(CloseNetworkPort(h), 1);
    EXPECT_EQ(server.RecvSome(peer), "");  // the output's close reaches the peer
    close(peer);
}

TEST(NetworkOutput, UdpDeliversOneDatagram) {
    LoopSocket server(SOCK_DGRAM);
    ASSERT_GT(server.port, 0);
    void* h = ConnectNetworkPort("127.0.0.1", server.port, 0);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(Write(h, "cue 7"), 5);
    EXPECT_EQ(server.RecvSome(server.fd), "cue 7");
    EXPECT_EQ(CloseNetworkPort(h), 1);
}

TEST(NetworkOutput, WriteWaitEndsAfterASecondWhenThePeerNeverReads) {
    LoopSocket server(SOCK_STREAM, 4096);
    ASSERT_GT(server.port, 0);
    void* h = ConnectNetworkPort("127.0.0.1", server.port, 1);
    ASSERT_NE(h, nullptr);
    int peer = server.Accept();
    ASSERT_GE(peer, 0);
    const std::string chunk(64 * 1024, 'q');
    int last = -2;
    std::chrono::steady_clock::duration lastTook{};
    // The buffers fill after a few MiB at most; the cap keeps a broken wait from looping on.
    for (int i = 0; i < 2000 && last != 0; ++i) {
        auto t0 = std::chrono::steady_clock::now();
        last = Write(h, chunk);
        lastTook = std::chrono::steady_clock::now() - t0;
        ASSERT_GE(last, 0);
    }
    EXPECT_EQ(last, 0);
    EXPECT_GE(lastTook, 950ms);  // it did wait its second before giving up
    EXPECT_EQ(CloseNetworkPort(h), 1);
    close(peer);
}

TEST(NetworkOutput, SendErrorsGiveMinusOne) {
    {
        // A datagram to a port nobody holds comes back refused.
        int freePort;
        {
            LoopSocket probe(SOCK_DGRAM);
            freePort = probe.port;
        }
        void* h = ConnectNetworkPort("127.0.0.1", freePort, 0);
        ASSERT_NE(h, nullptr);
        EXPECT_TRUE(testsupport::WaitUntil([&] { return Write(h, "x") == -1; }));
        EXPECT_EQ(CloseNetworkPort(h), 1);
    }
    {
        // A stream whose peer went away.
        LoopSocket server(SOCK_STREAM);
        void* h = ConnectNetworkPort("127.0.0.1", server.port, 1);
        ASSERT_NE(h, nullptr);
        close(server.Accept());
        EXPECT_TRUE(testsupport::WaitUntil([&] { return Write(h, "x") == -1; }));
        EXPECT_EQ(CloseNetworkPort(h), 1);
    }
}

TEST(NetworkOutput, FailuresAndForeignHandles) {
    int freePort;
    {
        LoopSocket probe(SOCK_STREAM);
        freePort = probe.port;
    }
    EXPECT_EQ(ConnectNetworkPort("127.0.0.1", freePort, 1), nullptr);  // refused
    EXPECT_EQ(ConnectNetworkPort("127.0.0.1", 0, 1), nullptr);
    EXPECT_EQ(ConnectNetworkPort("127.0.0.1", 70000, 0), nullptr);
    EXPECT_EQ(ConnectNetworkPort("127.0.0.1", -1, 0), nullptr);

    LoopSocket server(SOCK_DGRAM);
    void* h = ConnectNetworkPort("127.0.0.1", server.port, 0);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(WriteNetworkData(h, nullptr, 3), 0);
    EXPECT_EQ(WriteNetworkData(nullptr, reinterpret_cast<const uint8_t*>("x"), 1), 0);
    EXPECT_EQ(CloseSerialPort(h), 0);
    EXPECT_EQ(StopMidiControl(h), 0);
    EXPECT_EQ(StopNormalInput(h), 0);
    EXPECT_EQ(Write(h, "still"), 5);
    EXPECT_EQ(server.RecvSome(server.fd), "still");
    EXPECT_EQ(CloseNetworkPort(h), 1);
    EXPECT_EQ(CloseNetworkPort(h), 0);
    EXPECT_EQ(Write(h, "gone"), 0);
    EXPECT_EQ(CloseNetworkPort(nullptr), 0);
}

// ---------------------------------------------------------------------------

struct Chunks {
    std::mutex mu;
    std::vector<std::string> texts;
    void* lastUser = nullptr;
    static void OnMonitor(const char* data, int length, void* user) {
        auto* self = static_cast<Chunks*>(user);
        std::lock_guard<std::mutex> lock(self->mu);
        self->texts.emplace_back(data, static_cast<size_t>(length));
        self->lastUser = user;
    }
    size_t Count() {
        std::lock_guard<std::mutex> lock(mu);
        return texts.size();
    }
    std::string Joined() {
        std::lock_guard<std::mutex> lock(mu);
        std::string all;
        for (auto& t : texts) all += t;
        return all;
    }
};

class MonitorTest : public ::testing::Test {
protected:
    void TearDown() override { StopMonitorNetworkCmd(); }
};

TEST_F(MonitorTest, ReceivedCommandReachesTheCallback) {
    Chunks seen;
    ASSERT_EQ(StartMonitorNetworkCmd(0, &Chunks::OnMonitor, &seen), 1);
    unsigned port = GetMonitorListenPort();
    ASSERT_GT(port, 0u);
    PlainClient c(static_cast<int>(port));
    ASSERT_TRUE(c.SendAll("show start"));
    ASSERT_TRUE(testsupport::WaitUntil([&] { return seen.Joined() == "show start"; }));
    EXPECT_EQ(seen.lastUser, &seen);

    // A burst larger than a chunk comes in pieces of at most 4,096 bytes.
    std::string big(10000, 'k');
    ASSERT_TRUE(c.SendAll(big));
    ASSERT_TRUE(testsupport::WaitUntil([&] { return seen.Joined().size() == 10 + big.size(); }));
    std::lock_guard<std::mutex> lock(seen.mu);
    for (const auto& t : seen.texts) EXPECT_LE(t.size(), 4096u);
}

TEST_F(MonitorTest, StartAgainReplacesTheMonitorAndStopEndsIt) {
    Chunks first, second;
    ASSERT_EQ(StartMonitorNetworkCmd(0, &Chunks::OnMonitor, &first), 1);
    unsigned port1 = GetMonitorListenPort();
    PlainClient old(static_cast<int>(port1));
    ASSERT_TRUE(old.SendAll("a"));
    ASSERT_TRUE(testsupport::WaitUntil([&] { return first.Count() == 1; }));

    ASSERT_EQ(StartMonitorNetworkCmd(0, &Chunks::OnMonitor, &second), 1);
    EXPECT_TRUE(old.SeesClose());  // the old monitor's clients were closed
    PlainClient c(static_cast<int>(GetMonitorListenPort()));
    ASSERT_TRUE(c.SendAll("b"));
    ASSERT_TRUE(testsupport::WaitUntil([&] { return second.Count() == 1; }));
    EXPECT_EQ(first.Count(), 1u);

    EXPECT_EQ(StopMonitorNetworkCmd(), 1);
    EXPECT_EQ(GetMonitorListenPort(), 0u);
    EXPECT_TRUE(c.SeesClose());
    EXPECT_EQ(StopMonitorNetworkCmd(), 1);
}

// ---------------------------------------------------------------------------

struct Values {
    std::mutex mu;
    std::vector<std::pair<std::string, float>> got;
    static void OnValue(const char* name, float value, void* user) {
        auto* self = static_cast<Values*>(user);
        std::lock_guard<std::mutex> lock(self->mu);
        self->got.emplace_back(name, value);
    }
    size_t Count() {
        std::lock_guard<std::mutex> lock(mu);
        return got.size();
    }
};

class NormalInputTest : public ::testing::Test {
protected:
    void TearDown() override {
        StopMonitorNetworkCmd();
        std::setlocale(LC_ALL, "C");
    }
};

TEST_F(NormalInputTest, ValuesAreCappedAtTheMaximumOnly) {
    // A comma-decimal user locale must not change how numbers are read.
    std::string comma = testsupport::FindCommaDecimalLocale();
    if (!comma.empty()) std::setlocale(LC_ALL, comma.c_str());

    Values v;
    void* h = StartNormalInput(0, "fader 1", 100.0f, &Values::OnValue, &v);
    ASSERT_NE(h, nullptr);
    PlainClient c(static_cast<int>(GetNormalInputListenPort(h)));
    struct Case {
        const char* text;
        float value;
    };
    const Case cases[] = {
        {"250", 100.0f}, {"-5", -5.0f}, {"42.5", 42.5f}, {"100", 100.0f},
        {"1e3", 100.0f}, {"7\r\n", 7.0f}, {"abc", 0.0f}, {"-1e9", -1e9f},
    };
    for (const auto& k : cases) {
        size_t before = v.Count();
        ASSERT_TRUE(c.SendAll(k.text));
        ASSERT_TRUE(testsupport::WaitUntil([&] { return v.Count() == before + 1; })) << k.text;
        std::lock_guard<std::mutex> lock(v.mu);
        EXPECT_EQ(v.got.back().first, "fader 1");
        EXPECT_FLOAT_EQ(v.got.back().second, k.value) << k.text;
    }
    EXPECT_EQ(StopNormalInput(h), 1);
}

TEST_F(NormalInputTest, RawChunkAlsoReachesTheMonitorWhileOneIsSet) {
    Chunks monitor;
    ASSERT_EQ(StartMonitorNetworkCmd(0, &Chunks::OnMonitor, &monitor), 1);
    Values v;
    void* h = StartNormalInput(0, "x", 10.0f, &Values::OnValue, &v);
    ASSERT_NE(h, nullptr);
    PlainClient c(static_cast<int>(GetNormalInputListenPort(h)));
    ASSERT_TRUE(c.SendAll("nan"));  // no number: nothing reported, but passed on
    ASSERT_TRUE(testsupport::WaitUntil([&] { return monitor.Count() == 1; }));
    EXPECT_EQ(v.Count(), 0u);
    ASSERT_TRUE(c.SendAll("3"));
    ASSERT_TRUE(testsupport::WaitUntil([&] { return monitor.Count() == 2 && v.Count() == 1; }));
    EXPECT_EQ(monitor.Joined(), "nan3");

    EXPECT_EQ(StopMonitorNetworkCmd(), 1);
    ASSERT_TRUE(c.SendAll("4"));
    ASSERT_TRUE(testsupport::WaitUntil([&] { return v.Count() == 2; }));
    EXPECT_EQ(monitor.Count(), 2u);  // a stopped monitor hears nothing more
    EXPECT_EQ(StopNormalInput(h), 1);
}

TEST_F(NormalInputTest, StopFreesTheHandleAndClosesClients) {
    Values v;
    void* h = StartNormalInput(0, nullptr, 1.0f, &Values::OnValue, &v);
    ASSERT_NE(h, nullptr);
    PlainClient c(static_cast<int>(GetNormalInputListenPort(h)));
    ASSERT_TRUE(c.SendAll("0.5"));
    ASSERT_TRUE(testsupport::WaitUntil([&] { return v.Count() == 1; }));
    EXPECT_EQ(v.got[0].first, "");
    EXPECT_EQ(CloseNetworkPort(h), 0);
    EXPECT_EQ(CloseSerialPort(h), 0);
    EXPECT_EQ(StopMidiControl(h), 0);
    EXPECT_EQ(StopNormalInput(h), 1);
    EXPECT_TRUE(c.SeesClose());
    EXPECT_EQ(StopNormalInput(h), 0);
    EXPECT_EQ(StopNormalInput(nullptr), 0);
    EXPECT_EQ(GetNormalInputListenPort(h), 0u);
}

TEST_F(NormalInputTest, BusyPortGivesNull) {
    LoopSocket holder(SOCK_STREAM);  // listening on 127.0.0.1
    ASSERT_GT(holder.port, 0);
    Values v;
    EXPECT_EQ(StartNormalInput(holder.port, "busy", 1.0f, &Values::OnValue, &v), nullptr);
    EXPECT_EQ(StartNormalInput(70000, "bad", 1.0f, &Values::OnValue, &v), nullptr);
}

}  // namespace

// A peer that never completes the handshake (its accept queue is full, so
// the kernel drops the SYNs) fails the connect within the timeout instead of
// holding the caller for the kernel's two minutes of retries.
TEST(IoCtrlNet, ASilentPeerFailsTheConnectAfterTheTimeout) {
    const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(listener, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    socklen_t len = sizeof a;
    getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len);
    ASSERT_EQ(listen(listener, 0), 0);
    // Fill the queue: these are never accepted.
    std::vector<int> fillers;
    for (int i = 0; i < 3; ++i) {
        const int c = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        connect(c, reinterpret_cast<sockaddr*>(&a), sizeof a);
        fillers.push_back(c);
    }
    std::this_thread::sleep_for(200ms);
    const std::string port = std::to_string(ntohs(a.sin_port));
    CSocketComm socket;
    const auto started = std::chrono::steady_clock::now();
    EXPECT_FALSE(socket.ConnectTo("127.0.0.1", port.c_str(), SOCK_STREAM, 500));
    // Bounded well below the kernel's own give-up time, whatever the load.
    EXPECT_LT(std::chrono::steady_clock::now() - started, 60s);
    for (int c : fillers) close(c);
    close(listener);
}
