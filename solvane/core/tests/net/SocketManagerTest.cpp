// Message framing of the receiving UDP endpoint, on 127.0.0.1 with a free port.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/NodeSync.h"
#include "core/SocketManager.h"
#include "support/support.h"

using namespace std::chrono_literals;
using testsupport::WaitUntil;

namespace {

struct Delivery {
    std::string address;
    int port = 0;
    uint8_t command = 0;
    std::string rest;
};

struct Recorder {
    std::mutex mu;
    std::vector<Delivery> commands;
    std::vector<std::string> raw;

    std::vector<Delivery> Commands() {
        std::lock_guard lock(mu);
        return commands;
    }
    size_t RawCount() {
        std::lock_guard lock(mu);
        return raw.size();
    }
};

Recorder* g_recorder = nullptr;

void OnCommand(int, const char* address, int port, uint8_t command, const uint8_t* data, uint32_t length,
               void* user) {
    auto* r = static_cast<Recorder*>(user);
    std::lock_guard lock(r->mu);
    r->commands.push_back({address, port, command, std::string(reinterpret_cast<const char*>(data), length)});
}

void OnRaw(int, const uint8_t* message, uint32_t length) {
    std::lock_guard lock(g_recorder->mu);
    g_recorder->raw.emplace_back(reinterpret_cast<const char*>(message), length);
}

// A framed message: 16-bit little-endian length, then the bytes.
std::string Frame(const std::string& message) {
    std::string out;
    out += static_cast<char>(message.size() & 0xFF);
    out += static_cast<char>((message.size() >> 8) & 0xFF);
    return out + message;
}

class SocketManagerTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_recorder = &recorder_;
        manager_.SetCommandCallback(&OnCommand);
        manager_.SetUserPointer(&recorder_);
        manager_.SetRawMessageCallback(&OnRaw);
        ASSERT_TRUE(manager_.Start(0, "127.0.0.1"));
        port_ = manager_.GetLocalPort();
        ASSERT_NE(port_, 0);
        sender_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ASSERT_EQ(::bind(sender_, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
        socklen_t len = sizeof a;
        getsockname(sender_, reinterpret_cast<sockaddr*>(&a), &len);
        senderPort_ = ntohs(a.sin_port);
    }
    void TearDown() override {
        manager_.Stop();
        ::close(sender_);
        g_recorder = nullptr;
    }

    void Send(const std::string& datagram) {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        to.sin_port = htons(port_);
        ASSERT_EQ(::sendto(sender_, datagram.data(), datagram.size(), MSG_NOSIGNAL, reinterpret_cast<sockaddr*>(&to),
                           sizeof to),
                  static_cast<ssize_t>(datagram.size()));
    }
    // A marker message after the datagrams under test: once it is delivered,
    // everything sent before it has been handled.
    std::vector<Delivery> SendMarkerAndCollect() {
        Send(Frame("\x7Fmark"));
        EXPECT_TRUE(WaitUntil([&] {
            const auto c = recorder_.Commands();
            return !c.empty() && c.back().command == 0x7F;
        }));
        auto c = recorder_.Commands();
        if (!c.empty()) c.pop_back();
        return c;
    }

    Recorder recorder_;
    CSocketManager manager_;
    uint16_t port_ = 0;
    int sender_ = -1;
    uint16_t senderPort_ = 0;
};

}  // namespace

TEST_F(SocketManagerTest, TwoMessagesInOneDatagramArriveAsTwoCallbacksInOrder) {
    Send(Frame(std::string("\x03\x00", 2)) + Frame(std::string("\x04payload", 8)));
    const auto got = SendMarkerAndCollect();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].command, 3);
    EXPECT_EQ(got[0].rest, std::string(1, '\0'));
    EXPECT_EQ(got[1].command, 4);
    EXPECT_EQ(got[1].rest, "payload");
    EXPECT_EQ(got[0].address, "127.0.0.1");
    EXPECT_EQ(got[0].port, senderPort_) << "the sender's port, in host order";
    EXPECT_EQ(recorder_.RawCount(), 3u);
}

TEST_F(SocketManagerTest, MessageSplitAcrossDatagramsArrivesOnceAfterTheLast) {
    const std::string whole = Frame("\x01" + std::string(100, 'a'));
    Send(whole.substr(0, 40));
    Send(whole.substr(40));
    const auto got = SendMarkerAndCollect();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].command, 1);
    EXPECT_EQ(got[0].rest, std::string(100, 'a'));
}

TEST_F(SocketManagerTest, InterleavedFragmentsOfTwoSendersBothReassemble) {
    // A second sender on another loopback address.
    const int other = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(0x7F000002);
    ASSERT_EQ(::bind(other, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    auto sendOther = [&](const std::string& datagram) {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        to.sin_port = htons(port_);
        ASSERT_EQ(::sendto(other, datagram.data(), datagram.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to),
                  static_cast<ssize_t>(datagram.size()));
    };
    const std::string one = Frame("\x01" + std::string(60, 'a'));
    const std::string two = Frame("\x02" + std::string(90, 'b'));
    Send(one.substr(0, 1));  // half of a length field
    sendOther(two.substr(0, 30));
    Send(one.substr(1, 20));
    sendOther(two.substr(30));
    Send(one.substr(21));
    const auto got = SendMarkerAndCollect();
    ::close(other);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].command, 2);
    EXPECT_EQ(got[0].address, "127.0.0.2");
    EXPECT_EQ(got[0].rest, std::string(90, 'b'));
    EXPECT_EQ(got[1].command, 1);
    EXPECT_EQ(got[1].address, "127.0.0.1");
    EXPECT_EQ(got[1].rest, std::string(60, 'a'));
}

TEST_F(SocketManagerTest, LengthFieldAloneWaitsForTheRest) {
    const std::string whole = Frame(std::string("\x02\x00", 2));
    Send(whole.substr(0, 2));
    Send(whole.substr(2));
    const auto got = SendMarkerAndCollect();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].command, 2);
}

TEST_F(SocketManagerTest, EmptyDatagramReachesNoCallbackButListsItsSender) {
    Send("");
    const auto got = SendMarkerAndCollect();
    EXPECT_TRUE(got.empty());
    EXPECT_EQ(manager_.GetPeerList(), (std::vector<std::string>{"127.0.0.1:" + std::to_string(senderPort_)}));
}

TEST_F(SocketManagerTest, DataThatWouldFillTheBufferIsDroppedWholeAndEarlierBytesStay) {
    // An unfinished message of 40,000 bytes waits in the buffer...
    const std::string big = Frame(std::string(1, '\x05') + std::string(39999, 'b'));
    size_t sent = 0;
    const size_t first = big.size() - 10;
    while (sent < first) {
        const size_t piece = std::min<size_t>(2000, first - sent);
        Send(big.substr(sent, piece));
        sent += piece;
    }
    // ...a datagram that would take the buffer to 40,960 bytes or more is
    // dropped whole...
    Send(std::string(2000, 'z'));
    // ...and the rest of the waiting message completes it.
    Send(big.substr(first));
    ASSERT_TRUE(WaitUntil([&] { return !recorder_.Commands().empty(); }));
    const auto got = recorder_.Commands();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].command, 5);
    EXPECT_EQ(got[0].rest, std::string(39999, 'b'));
}

TEST_F(SocketManagerTest, OddLengthsReadNothingBeyondTheMessage) {
    // Length 0 has no command and is only taken out; a length with its top
    // bit set is a length (too long to hold ever), so what is buffered is
    // dropped and later messages still arrive.
    Send(Frame(""));
    Send(std::string("\xff\xffgarbage", 9));
    const auto got = SendMarkerAndCollect();
    EXPECT_TRUE(got.empty());
    Send(Frame("\x09ok"));
    ASSERT_TRUE(WaitUntil([&] { return !recorder_.Commands().empty() && recorder_.Commands().back().command == 9; }));
}

TEST_F(SocketManagerTest, StartingAgainFailsAndKeepsTheRunningEndpoint) {
    EXPECT_FALSE(manager_.Start(0, "127.0.0.1"));
    EXPECT_EQ(manager_.GetLocalPort(), port_);
    Send(Frame(std::string("\x03\x00", 2)));
    ASSERT_TRUE(WaitUntil([&] { return recorder_.Commands().size() == 1; }));
}

TEST(SocketManagerStart, BusyPortFailsAndLeavesNoSocket) {
    CSocketManager first, second;
    ASSERT_TRUE(first.Start(0, "127.0.0.1"));
    EXPECT_FALSE(second.Start(first.GetLocalPort(), "127.0.0.1"));
    EXPECT_FALSE(second.IsOpen());
    EXPECT_FALSE(second.IsWatching());
}

// The sender of node synchronisation: long payloads go in pieces that the
// receiving stream buffer joins again.
TEST(NodeSyncSend, LongPayloadArrivesWholeAndTooLongIsRefused) {
    Recorder recorder;
    g_recorder = &recorder;
    CSocketManager receiver;
    receiver.SetRawMessageCallback(&OnRaw);
    ASSERT_TRUE(receiver.Start(0, "127.0.0.1"));
    CNodeSync sync;
    std::string payload(7000, '\0');
    for (size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<char>('a' + i % 26);
    const int sent = sync.SendTo("127.0.0.1", receiver.GetLocalPort(), reinterpret_cast<const uint8_t*>(payload.data()),
                                 static_cast<uint32_t>(payload.size()));
    EXPECT_EQ(sent, static_cast<int>(payload.size() + 2));
    ASSERT_TRUE(WaitUntil([&] { return recorder.RawCount() == 1; }));
    {
        std::lock_guard lock(recorder.mu);
        EXPECT_EQ(recorder.raw[0], payload);
    }
    const std::vector<uint8_t> tooLong(CSocketManager::kMaxMessageLength + 1, 1);
    EXPECT_EQ(sync.SendTo("127.0.0.1", receiver.GetLocalPort(), tooLong.data(), static_cast<uint32_t>(tooLong.size())),
              -1);
    EXPECT_EQ(sync.SendTo("", receiver.GetLocalPort(), tooLong.data(), 1), -1);
    receiver.Stop();
    g_recorder = nullptr;
}
