#include <gtest/gtest.h>

#include <netinet/in.h>

#include <chrono>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "lintra/Multicast.h"
#include "lintra/netdef.h"
#include "support/support.h"

using namespace std::chrono_literals;

namespace {

constexpr const char* kGroup = "226.10.60.10";
constexpr unsigned kPort = 30400;

struct Delivery {
    tagNETHEAD head;
    std::string body;
    int source;
    int family;
};

std::mutex g_mu;
std::vector<Delivery> g_got;

void OnMessage(int source, const tagNETHEAD& head, const void* body, unsigned length, const void* sender) {
    const auto* from = static_cast<const sockaddr_in*>(sender);
    std::lock_guard<std::mutex> lk(g_mu);
    g_got.push_back({head, std::string(static_cast<const char*>(body), length), source, from->sin_family});
}

std::vector<Delivery> Got() {
    std::lock_guard<std::mutex> lk(g_mu);
    return g_got;
}

std::string Head(uint32_t command, uint32_t bodyLength = 0) {
    tagNETHEAD head;
    lintra::InitHead(head, command);
    head.intParam[0] = static_cast<int32_t>(command * 2);
    head.bodyLength = bodyLength;
    return std::string(reinterpret_cast<const char*>(&head), sizeof head);
}

class MulticastTest : public ::testing::Test {
protected:
    void SetUp() override {
        {
            std::lock_guard<std::mutex> lk(g_mu);
            g_got.clear();
        }
        receiver_.SetCallback(&OnMessage);
        ASSERT_EQ(receiver_.StartListen(kGroup, kPort), 1);
        ASSERT_EQ(sender_.Init(kGroup, kPort, 1, 1), 1);
    }
    int Send(const std::string& bytes, CMutlicastSender* s = nullptr) {
        return (s ? s : &sender_)->SendData(bytes.data(), static_cast<int>(bytes.size()));
    }
    // Sends a marker head and waits for it: everything sent before has been seen.
    std::vector<Delivery> Settle(uint32_t marker = 999) {
        EXPECT_EQ(Send(Head(marker)), 384);
        EXPECT_TRUE(testsupport::WaitUntil([&] {
            auto got = Got();
            return !got.empty() && got.back().head.command == marker;
        }));
        auto got = Got();
        if (!got.empty()) got.pop_back();
        return got;
    }

    CMulticastReceiver receiver_;
    CMutlicastSender sender_;
};

TEST_F(MulticastTest, HeadIsDelivered) {
    ASSERT_EQ(Send(Head(807)), 384);
    ASSERT_TRUE(testsupport::WaitUntil([] { return Got().size() == 1; }));
    Delivery d = Got()[0];
    EXPECT_EQ(d.head.command, 807u);
    EXPECT_EQ(d.head.intParam[0], 807 * 2);
    EXPECT_EQ(d.body.size(), 0u);
    EXPECT_EQ(d.source, lintra::kNoReplySocket);
    EXPECT_EQ(d.family, AF_INET);
}

TEST_F(MulticastTest, DatagramsOfOtherLengthsAreDropped) {
    for (size_t n : {size_t{100}, size_t{500}, size_t{383}, size_t{385}, size_t{1}}) {
        std::string bytes = Head(808) + std::string(200, '\0');
        bytes.resize(n);
        ASSERT_EQ(Send(bytes), static_cast<int>(n));
    }
    EXPECT_TRUE(Settle().empty());
}

TEST_F(MulticastTest, HeadAndBodyAreDeliveredTogether) {
    for (uint32_t n : {1u, 384u, 1000u, 65507u}) {
        std::string body(n, '\0');
        for (uint32_t i = 0; i < n; ++i) body[i] = static_cast<char>(i * 31 + n);
        ASSERT_EQ(Send(Head(1108, n)), 384);
        ASSERT_EQ(Send(body), static_cast<int>(n));
        auto got = Settle();
        ASSERT_EQ(got.size(), 1u) << n;
        EXPECT_EQ(got[0].head.command, 1108u);
        EXPECT_EQ(got[0].head.bodyLength, n);
        EXPECT_EQ(got[0].body, body) << n;
        std::lock_guard<std::mutex> lk(g_mu);
        g_got.clear();
    }
}

TEST_F(MulticastTest, HeadWithoutItsBodyIsDropped) {
    struct Case {
        const char* name;
        uint32_t announced;
        std::string follower;  // the next datagram from the same sender
        int pauseMs;
        std::vector<uint32_t> delivered;
    };
    const Case cases[] = {
        {"late body", 50, std::string(50, 'b'), 250, {}},
        {"shorter body", 50, std::string(49, 'b'), 0, {}},
        {"longer body", 50, std::string(51, 'b'), 0, {}},
        // A 384-byte follower that is not the announced body is a head of its own.
        {"head instead of body", 50, Head(808), 0, {808}},
        {"body beyond a datagram", 70000, Head(809), 0, {809}},
    };
    for (const Case& c : cases) {
        {
            std::lock_guard<std::mutex> lk(g_mu);
            g_got.clear();
        }
        ASSERT_EQ(Send(Head(1108, c.announced)), 384);
        if (c.pauseMs) std::this_thread::sleep_for(std::chrono::milliseconds(c.pauseMs));
        ASSERT_EQ(Send(c.follower), static_cast<int>(c.follower.size()));
        std::vector<uint32_t> commands;
        for (const Delivery& d : Settle()) commands.push_back(d.head.command);
        EXPECT_EQ(commands, c.delivered) << c.name;
    }
}

TEST_F(MulticastTest, BodiesPairWithTheirOwnSendersHead) {
    CMutlicastSender other;
    ASSERT_EQ(other.Init(kGroup, kPort, 1, 1), 1);
    ASSERT_EQ(Send(Head(1, 10)), 384);
    ASSERT_EQ(Send(Head(2, 20), &other), 384);
    ASSERT_EQ(Send(std::string(10, 'a')), 10);
    ASSERT_EQ(Send(std::string(20, 'b'), &other), 20);
    auto got = Settle();
    ASSERT_EQ(got.size(), 2u);
    for (const Delivery& d : got) {
        EXPECT_EQ(d.body, d.head.command == 1 ? std::string(10, 'a') : std::string(20, 'b'));
    }
}

TEST_F(MulticastTest, ACopyOfASenderSendsThroughItsOwnSocket) {
    CMutlicastSender copy(sender_);
    sender_.UnInit();
    EXPECT_EQ(Send(Head(6)), -1);
    ASSERT_EQ(Send(Head(7), &copy), 384);
    ASSERT_TRUE(testsupport::WaitUntil([] { return Got().size() == 1; }));
    EXPECT_EQ(Got()[0].head.command, 7u);
}

// Everything sent out through lo comes back whatever the loop flag says, so
// this test routes multicast through one end of a veth pair instead. It only
// runs in a namespace of its own, where lo is the only interface.
TEST(MulticastLoopTest, SenderLoopFlagDecidesWhetherThisHostReceives) {
    int status = 0;
    std::string links = testsupport::RunShell("ip -o link show | cut -d: -f2 | tr -d ' '", &status);
    if (status != 0 || links != "lo\n") GTEST_SKIP() << "not in a fresh network namespace";
    testsupport::RunShell(
        "ip link add svloop0 type veth peer name svloop1 && ip link set svloop0 up && ip link set svloop1 up && "
        "ip addr add 10.231.0.1/24 dev svloop0 && ip route replace 224.0.0.0/4 dev svloop0",
        &status);
    if (status != 0) GTEST_SKIP() << "cannot make a veth pair here";
    struct Restore {
        ~Restore() {
            testsupport::RunShell("ip link del svloop0; ip route replace 224.0.0.0/4 dev lo");
        }
    } restore;
    {
        std::lock_guard<std::mutex> lk(g_mu);
        g_got.clear();
    }

    CMulticastReceiver receiver;
    receiver.SetCallback(&OnMessage);
    ASSERT_EQ(receiver.StartListen(kGroup, kPort), 1);
    CMutlicastSender quiet, loud;
    ASSERT_EQ(quiet.Init(kGroup, kPort, 1, 0), 1);
    ASSERT_EQ(loud.Init(kGroup, kPort, 1, 1), 1);
    const std::string off = Head(5), on = Head(6);
    ASSERT_EQ(quiet.SendData(off.data(), 384), 384);
    ASSERT_EQ(loud.SendData(on.data(), 384), 384);
    ASSERT_TRUE(testsupport::WaitUntil([] { return !Got().empty(); }));
    ASSERT_EQ(quiet.SendData(off.data(), 384), 384);
    ASSERT_EQ(loud.SendData(on.data(), 384), 384);
    ASSERT_TRUE(testsupport::WaitUntil([] { return Got().size() >= 2; }));
    for (const Delivery& d : Got()) EXPECT_EQ(d.head.command, 6u);
}

TEST_F(MulticastTest, StopListenFromAnotherThreadIsPrompt) {
    auto done = std::async(std::launch::async, [&] { return receiver_.StopListen(); });
    ASSERT_EQ(done.wait_for(1s), std::future_status::ready);
    EXPECT_EQ(done.get(), 1);
    EXPECT_FALSE(receiver_.IsListening());
    // Stopping again is harmless, and listening again works.
    EXPECT_EQ(receiver_.StopListen(), 1);
    ASSERT_EQ(receiver_.StartListen(kGroup, kPort), 1);
    EXPECT_TRUE(Settle().empty());
}

TEST_F(MulticastTest, RestartsAndStopsFromSeveralThreadsAtOnce) {
    // The network thread, a command's worker and the shutdown restart or
    // stop the same receiver; every one of them must find it whole.
    std::vector<std::thread> threads;
    for (int t = 0; t < 3; ++t) {
        threads.emplace_back([this, t] {
            for (int i = 0; i < 15; ++i) {
                if ((i + t) % 3 == 0)
                    receiver_.StopListen();
                else
                    EXPECT_EQ(receiver_.StartListen(kGroup, kPort), 1);
            }
        });
    }
    for (auto& th : threads) th.join();
    ASSERT_EQ(receiver_.StartListen(kGroup, kPort), 1);
    ASSERT_EQ(Send(Head(807)), 384);
    EXPECT_TRUE(testsupport::WaitUntil([] {
        for (const Delivery& d : Got())
            if (d.head.command == 807) return true;
        return false;
    }));
}

TEST_F(MulticastTest, BadSetupIsRefused) {
    CMulticastReceiver r;
    EXPECT_EQ(r.StartListen("not an address", kPort), 0);
    EXPECT_EQ(r.StartListen(kGroup, 70000), 0);
    EXPECT_FALSE(r.IsListening());
    CMutlicastSender s;
    EXPECT_EQ(s.Init("226.10.60", kPort, 1, 1), 0);
    EXPECT_EQ(s.SendData("x", 1), -1);
}

TEST_F(MulticastTest, ACopyOfAReceiverTakesItsConfigurationOnly) {
    CMulticastReceiver copy(receiver_);
    EXPECT_FALSE(copy.IsListening());
    receiver_.StopListen();
    ASSERT_EQ(copy.StartListen(kGroup, kPort), 1);
    ASSERT_EQ(Send(Head(808)), 384);
    EXPECT_TRUE(testsupport::WaitUntil([] { return Got().size() == 1; }));
}

}  // namespace
