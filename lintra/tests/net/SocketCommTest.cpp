// The socket endpoint's watch thread on loopback datagram sockets.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "lintra/SocketComm.h"
#include "support/support.h"

using namespace std::chrono_literals;
using testsupport::WaitUntil;

namespace {

// Records what the watch thread hands on.
class RecordingComm : public CSocketComm {
public:
    ~RecordingComm() override { StopComm(); }

    // A datagram socket on 127.0.0.1, any port.
    bool Bind() {
        const int s = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
            ::close(s);
            return false;
        }
        return AttachSocket(s);
    }

    struct Unit {
        std::string data;  // without the header
        uint16_t port = 0; // from the header, host order
    };
    std::vector<Unit> Units() const {
        std::lock_guard lock(mu);
        return units;
    }
    std::vector<uint32_t> Events() const {
        std::lock_guard lock(mu);
        return events;
    }

protected:
    void OnDataReceived(const uint8_t* buffer, uint32_t length) override {
        Unit u;
        if (IsSmartAddressing()) {
            sockaddr_in from;
            std::memcpy(&from, buffer, sizeof from);
            u.port = ntohs(from.sin_port);
            buffer += kAddressHeaderSize;
            length -= kAddressHeaderSize;
        }
        u.data.assign(reinterpret_cast<const char*>(buffer), length);
        std::lock_guard lock(mu);
        units.push_back(u);
    }
    void OnEvent(uint32_t code, void*) override {
        std::lock_guard lock(mu);
        events.push_back(code);
    }

private:
    mutable std::mutex mu;
    std::vector<Unit> units;
    std::vector<uint32_t> events;
};

// A sender bound to its own loopback port.
class Sender {
public:
    Sender() : fd_(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        socklen_t len = sizeof a;
        getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
    }
    ~Sender() { ::close(fd_); }
    void SendTo(uint16_t port, const std::string& data) const {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        to.sin_port = htons(port);
        ASSERT_EQ(::sendto(fd_, data.data(), data.size(), MSG_NOSIGNAL, reinterpret_cast<sockaddr*>(&to), sizeof to),
                  static_cast<ssize_t>(data.size()));
    }
    uint16_t port() const { return port_; }
    std::string Peer() const { return "127.0.0.1:" + std::to_string(port_); }

private:
    int fd_;
    uint16_t port_ = 0;
};

}  // namespace

TEST(SocketCommWatch, SmartAddressingPutsTheSenderInFrontAndListsPeersMostRecentLast) {
    RecordingComm comm;
    ASSERT_TRUE(comm.SetSmartAddressing(true));
    ASSERT_TRUE(comm.Bind());
    ASSERT_TRUE(comm.WatchComm());
    Sender a, b;
    a.SendTo(comm.GetLocalPort(), "one");
    ASSERT_TRUE(WaitUntil([&] { return comm.Units().size() == 1; }));
    b.SendTo(comm.GetLocalPort(), "two");
    ASSERT_TRUE(WaitUntil([&] { return comm.Units().size() == 2; }));
    a.SendTo(comm.GetLocalPort(), "three");
    ASSERT_TRUE(WaitUntil([&] { return comm.Units().size() == 3; }));

    const auto units = comm.Units();
    EXPECT_EQ(units[0].data, "one");
    EXPECT_EQ(units[0].port, a.port());
    EXPECT_EQ(units[1].port, b.port());
    EXPECT_EQ(units[2].data, "three");
    // a heard again: listed once, at the end.
    EXPECT_EQ(comm.GetPeerList(), (std::vector<std::string>{b.Peer(), a.Peer()}));
}

TEST(SocketCommWatch, EmptyDatagramIsAnEventAndItsSenderAPeer) {
    RecordingComm comm;
    comm.SetSmartAddressing(true);
    ASSERT_TRUE(comm.Bind());
    ASSERT_TRUE(comm.WatchComm());
    Sender a;
    a.SendTo(comm.GetLocalPort(), "");
    ASSERT_TRUE(WaitUntil([&] { return !comm.Events().empty(); }));
    EXPECT_EQ(comm.Events(), (std::vector<uint32_t>{CSocketComm::kEventEmptyDatagram}));
    EXPECT_TRUE(comm.Units().empty());
    EXPECT_EQ(comm.GetPeerList(), (std::vector<std::string>{a.Peer()}));
}

TEST(SocketCommWatch, DatagramLongerThanTheBufferIsDroppedNotCut) {
    RecordingComm comm;
    comm.SetSmartAddressing(true);
    ASSERT_TRUE(comm.Bind());
    ASSERT_TRUE(comm.WatchComm());
    Sender a;
    a.SendTo(comm.GetLocalPort(), std::string(CSocketComm::kReceiveDataSize + 1, 'x'));
    a.SendTo(comm.GetLocalPort(), std::string(CSocketComm::kReceiveDataSize, 'y'));
    ASSERT_TRUE(WaitUntil([&] { return !comm.Units().empty(); }));
    const auto units = comm.Units();
    ASSERT_EQ(units.size(), 1u);
    EXPECT_EQ(units[0].data, std::string(CSocketComm::kReceiveDataSize, 'y'));
}

TEST(SocketCommWatch, PlainReadsHandOnTheBytesAlone) {
    RecordingComm comm;
    ASSERT_TRUE(comm.Bind());
    ASSERT_TRUE(comm.WatchComm());
    Sender a;
    a.SendTo(comm.GetLocalPort(), "plain");
    ASSERT_TRUE(WaitUntil([&] { return !comm.Units().empty(); }));
    EXPECT_EQ(comm.Units()[0].data, "plain");
    EXPECT_TRUE(comm.GetPeerList().empty());
}

TEST(SocketCommWatch, StartAndSettingsNeedTheRightState) {
    RecordingComm comm;
    EXPECT_FALSE(comm.WatchComm()) << "no socket";
    ASSERT_TRUE(comm.Bind());
    ASSERT_TRUE(comm.WatchComm());
    EXPECT_FALSE(comm.WatchComm()) << "already watching";
    EXPECT_FALSE(comm.SetSmartAddressing(true)) << "changed under a running thread";
    EXPECT_FALSE(comm.IsSmartAddressing());
}

TEST(SocketCommWatch, StopEndsABlockedThreadClosesTheSocketAndForgetsPeers) {
    const int before = testsupport::OpenFdCount();
    {
        RecordingComm comm;
        comm.SetSmartAddressing(true);
        ASSERT_TRUE(comm.Bind());
        ASSERT_TRUE(comm.WatchComm());
        Sender a;
        a.SendTo(comm.GetLocalPort(), "x");
        ASSERT_TRUE(WaitUntil([&] { return comm.Units().size() == 1; }));
        comm.StopComm();
        EXPECT_FALSE(comm.IsOpen());
        EXPECT_FALSE(comm.IsWatching());
        EXPECT_TRUE(comm.GetPeerList().empty());
        // A stopped endpoint can be given a socket and watched again.
        ASSERT_TRUE(comm.Bind());
        EXPECT_TRUE(comm.WatchComm());
    }
    EXPECT_EQ(testsupport::OpenFdCount(), before);
}

TEST(SocketCommWatch, CloseOnAWatchedEndpointStopsItsThreadFirst) {
    RecordingComm comm;
    ASSERT_TRUE(comm.Bind());
    ASSERT_TRUE(comm.WatchComm());
    comm.CloseComm();
    EXPECT_FALSE(comm.IsWatching());
    EXPECT_FALSE(comm.IsOpen());
}

TEST(SocketCommAddress, PortFromText) {
    const struct {
        const char* text;
        uint16_t port;
    } cases[] = {
        {"30110", 30110}, {"0", 0}, {"65535", 65535}, {"65536", 0}, {"", 0}, {nullptr, 0}, {"9x", 9},
        {"no-such-service-name", 0},
    };
    for (const auto& c : cases) EXPECT_EQ(CSocketComm::GetPortNumber(c.text), c.port) << (c.text ? c.text : "null");
}

TEST(SocketCommAddress, HostToAddressInHostOrder) {
    const struct {
        const char* host;
        uint32_t address;
    } cases[] = {
        {"127.0.0.1", 0x7F000001u},
        {"127.1", 0x7F000001u},
        {"255.255.255.255", 0xFFFFFFFFu},
        {"0.0.0.0", 0u},
        {"localhost", 0x7F000001u},
    };
    for (const auto& c : cases) {
        uint32_t a = 1;
        ASSERT_TRUE(CSocketComm::GetIPAddress(c.host, a)) << c.host;
        EXPECT_EQ(a, c.address) << c.host;
    }
}

TEST(SocketCommAddress, AddressAndPortFailOnlyWhenBothAreZero) {
    sockaddr_in a;
    ASSERT_TRUE(CSocketComm::GetAddressAndPort("127.0.0.1", "30111", a, AF_INET));
    EXPECT_EQ(a.sin_family, AF_INET);
    EXPECT_EQ(ntohs(a.sin_port), 30111);
    EXPECT_EQ(ntohl(a.sin_addr.s_addr), 0x7F000001u);
    EXPECT_TRUE(CSocketComm::GetAddressAndPort("0.0.0.0", "30110", a, AF_INET));
    EXPECT_TRUE(CSocketComm::GetAddressAndPort("127.0.0.1", "0", a, AF_INET));
    EXPECT_FALSE(CSocketComm::GetAddressAndPort("0.0.0.0", "0", a, AF_INET));
}

TEST(SocketCommAddress, LocalNameChecksItsBuffer) {
    char name[261];
    EXPECT_EQ(CSocketComm::GetLocalName(nullptr, 261), 87);
    ASSERT_EQ(CSocketComm::GetLocalName(name, sizeof name), 0);
    EXPECT_GT(std::strlen(name), 0u);
    char tiny[1];
    EXPECT_EQ(CSocketComm::GetLocalName(tiny, sizeof tiny), 122);
}
