#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <mutex>
#include <thread>
#include <type_traits>
#include <vector>

#include "LoopbackServer.h"
#include "lintra/ClientSession.h"
#include "util/Util.h"
#include "lintra/KestraneStageServer.h"
#include "support/support.h"
#include "util/LogCapture.h"

using namespace looptest;
using namespace std::chrono_literals;

static_assert(!std::is_copy_constructible_v<CClientSession>);
static_assert(!std::is_copy_assignable_v<CClientSession>);
static_assert(std::is_base_of_v<CClientSession, CKestraneStageServer>);

namespace {

struct Notice {
    int socket;
    std::thread::id thread;
};

struct Notices {
    std::mutex mu;
    std::vector<Notice> calls;
    size_t Count() {
        std::lock_guard<std::mutex> lk(mu);
        return calls.size();
    }
    std::vector<Notice> Copy() {
        std::lock_guard<std::mutex> lk(mu);
        return calls;
    }
};

void OnDisconnect(int socket, void* user) {
    auto* n = static_cast<Notices*>(user);
    std::lock_guard<std::mutex> lk(n->mu);
    n->calls.push_back({socket, std::this_thread::get_id()});
}

tagNETHEAD Head(uint32_t command, int32_t p0 = 0) {
    tagNETHEAD h;
    lintra::InitHead(h, command);
    h.intParam[0] = p0;
    return h;
}

// Reads one request head and answers it with the result and an optional body.
bool Answer(int fd, int32_t result, const std::string& body = {}) {
    tagNETHEAD h;
    if (!ReadExact(fd, &h, sizeof h)) return false;
    h.intParam[0] = result;
    h.bodyLength = static_cast<uint32_t>(body.size());
    return WriteAll(fd, &h, sizeof h) && WriteAll(fd, body.data(), body.size());
}

class ClientSessionTest : public ::testing::Test {
protected:
    void SetUp() override { CClientSession::SetCallback(&OnDisconnect, &notices_); }
    void TearDown() override {
        CClientSession::SetCallback(nullptr, nullptr);
        CClientSession::SetReceiveBudgetMs(5000);
    }

    // Runs a server script on its own thread; joined by the test.
    template <class F>
    std::thread Serve(F script) {
        return std::thread([this, script] {
            const int fd = server_.Accept();
            if (fd < 0) return;
            script(fd);
            close(fd);
        });
    }

    // Lets late notices arrive before the count is checked for "no more".
    static void Settle() { std::this_thread::sleep_for(300ms); }

    LoopbackServer server_;
    Notices notices_;
};

TEST_F(ClientSessionTest, ConnectsBlockingAndWithTimeoutAndExchanges) {
    for (int timeout : {0, 2}) {
        SCOPED_TRACE(timeout);
        util::LogCapture log;
        std::thread srv = Serve([](int fd) { Answer(fd, 1); });
        CClientSession s;
        ASSERT_EQ(1, s.ConnectServer("127.0.0.1", server_.port(), timeout));
        EXPECT_EQ(1, s.IsConnected());
        EXPECT_GE(s.GetSocket(), 0);
        EXPECT_TRUE(log.Contains(LOGTEXT::Level::Info, "connect to 127.0.0.1:" + std::to_string(server_.port()) +
                                                           ". timeout=" + std::to_string(timeout)));
        tagNETHEAD h = Head(534);
        EXPECT_EQ(1, s.SendSimpleCommand(h));
        EXPECT_EQ(534u, h.command);
        EXPECT_EQ(1, h.intParam[0]);
        srv.join();
        EXPECT_EQ(1, s.Disconnect());
        EXPECT_EQ(-1, s.GetSocket());
        EXPECT_EQ(0, s.IsConnected());
    }
}

TEST_F(ClientSessionTest, RefusedConnectLeavesSessionIdle) {
    struct Case {
        int timeout;
        const char* log;
    } cases[] = {{0, "connect failed .e=111"}, {1, "connect time failed .e=111"}};
    RefusingPort refusing;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.timeout);
        util::LogCapture log;
        CClientSession s;
        EXPECT_EQ(0, s.ConnectServer("127.0.0.1", refusing.port(), c.timeout));
        EXPECT_EQ(0, s.IsConnected());
        EXPECT_EQ(-1, s.GetSocket());
        EXPECT_TRUE(log.Contains(c.log));
    }
}

TEST_F(ClientSessionTest, FailedConnectDropsTheEarlierConnection) {
    std::thread srv = Serve([](int fd) { SeesEof(fd); });
    CClientSession s;
    ASSERT_EQ(1, s.ConnectServer("127.0.0.1", server_.port(), 0));
    RefusingPort refusing;
    EXPECT_EQ(0, s.ConnectServer("127.0.0.1", refusing.port(), 1));
    EXPECT_EQ(-1, s.GetSocket());
    srv.join();
}

TEST_F(ClientSessionTest, TimedConnectGivesUpWhenNothingAnswers) {
    // With backlog 0 and its queue filled by other connections the kernel
    // drops further handshakes, so the connect gets no answer at all.
    LoopbackServer full(0);
    std::vector<int> fillers;
    for (int i = 0; i < 3; ++i) {
        int f = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        sa.sin_port = htons(full.port());
        connect(f, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
        fillers.push_back(f);
    }
    {
        pollfd p{fillers[0], POLLOUT, 0};
        ASSERT_EQ(1, poll(&p, 1, kDeadlineMs));
    }
    util::LogCapture log;
    CClientSession s;
    auto result = std::async(std::launch::async, [&] { return s.ConnectServer("127.0.0.1", full.port(), 1); });
    ASSERT_EQ(std::future_status::ready, result.wait_for(10s));
    EXPECT_EQ(0, result.get());
    EXPECT_EQ(-1, s.GetSocket());
    EXPECT_TRUE(log.Contains("connect time failed .e=110"));
    for (int f : fillers) close(f);
}

TEST_F(ClientSessionTest, InvalidAddressFails) {
    CClientSession s;
    EXPECT_EQ(0, s.ConnectServer("not an address", server_.port(), 0));
    EXPECT_EQ(0, s.ConnectServer("127.0.0.1", 70000, 1));
    EXPECT_EQ(0, s.ConnectServer(nullptr, server_.port(), 0));
    EXPECT_EQ(-1, s.GetSocket());
}

TEST_F(ClientSessionTest, WideAddressConnectsAndReadsBack) {
    std::thread srv = Serve([](int fd) { SeesEof(fd); });
    CClientSession s;
    ASSERT_EQ(1, s.ConnectServer2(L"127.0.0.1", server_.port(), 1));
    EXPECT_STREQ(L"127.0.0.1", s.GetServerIp());
    s.Disconnect();
    srv.join();
    EXPECT_EQ(0, s.ConnectServer2(L"127.0.0.\u00e9", server_.port(), 1));
    EXPECT_STREQ(L"127.0.0.?", s.GetServerIp());
}

TEST_F(ClientSessionTest, ServerIpBufferBelongsToTheCallingThread) {
    RefusingPort refusing;
    CClientSession a, b;
    a.ConnectServer("127.0.0.1", refusing.port(), 1);
    b.ConnectServer("127.0.0.2", refusing.port(), 1);
    const wchar_t* mine = a.GetServerIp();
    std::thread([&] { EXPECT_STREQ(L"127.0.0.2", b.GetServerIp()); }).join();
    EXPECT_STREQ(L"127.0.0.1", mine);
}

TEST_F(ClientSessionTest, UnconnectedSessionRefusesEverything) {
    CClientSession s;
    char buf[4] = {};
    tagNETHEAD h = Head(534);
    void* reply = &h;
    EXPECT_EQ(-1, s.SendData(buf, 4));
    EXPECT_EQ(-1, s.RecvData(buf, 4));
    EXPECT_EQ(0, s.SendSimpleCommand(h));
    EXPECT_EQ(0, s.SendAdvancedCommand(h, nullptr, &reply));
    EXPECT_EQ(nullptr, reply);
    EXPECT_EQ(1, s.Disconnect());
}

TEST_F(ClientSessionTest, RecvDataOfNothingLeavesTheSocketAlone) {
    std::thread srv = Serve([](int fd) {
        const char hi[] = "hi";
        WriteAll(fd, hi, 2);
        SeesEof(fd);
    });
    CClientSession s;
    ASSERT_EQ(1, s.ConnectServer("127.0.0.1", server_.port(), 1));
    char buf[2] = {};
    EXPECT_EQ(0, s.RecvData(buf, 0));
    EXPECT_EQ(2, s.RecvData(buf, 2));
    EXPECT_EQ('h', buf[0]);
    s.Disconnect();
    srv.join();
}

TEST_F(ClientSessionTest, HeadAnnouncingBodyWithoutBodyIsRefusedBeforeSending) {
    std::thread srv = Serve([](int fd) { Answer(fd, 9); });
    CClientSession s;
    ASSERT_EQ(1, s.ConnectServer("127.0.0.1", server_.port(), 1));
    tagNETHEAD h = Head(13);
    h.bodyLength = 10;
    EXPECT_EQ(0, s.SendSimpleCommand(h));
    EXPECT_EQ(0, s.SendAdvancedCommand(h, nullptr, nullptr));
    h.bodyLength = lintra::kMaxBodyLength + 1;
    char one = 0;
    EXPECT_EQ(0, s.SendAdvancedCommand(h, &one, nullptr));
    // Nothing went out, so the stream is still aligned for the next command.
    tagNETHEAD ok = Head(531);
    EXPECT_EQ(1, s.SendSimpleCommand(ok));
    EXPECT_EQ(9, ok.intParam[0]);
    srv.join();
}

TEST_F(ClientSessionTest, BodyGoesOutWholeAndReplyBodyIsHandedOut) {
    std::string body(3 * 1024 * 1024, '\0');
    for (size_t i = 0; i < body.size(); ++i) body[i] = static_cast<char>(i * 7);
    std::string replyBody(1000, 'r');
    std::atomic<bool> bodyMatched{false};
    std::thread srv = Serve([&](int fd) {
        tagNETHEAD h;
        if (!ReadExact(fd, &h, sizeof h)) return;
        std::string got(h.bodyLength, '\0');
        // Read slowly at first so that the client's sends fill the buffers.
        std::this_thread::sleep_for(100ms);
        if (!ReadExact(fd, got.data(), got.size())) return;
        bodyMatched = got == body;
        h.intParam[0] = 1;
        h.bodyLength = static_cast<uint32_t>(replyBody.size());
        WriteAll(fd, &h, sizeof h);
        WriteAll(fd, replyBody.data(), replyBody.size());
    });
    CClientSession s;
    ASSERT_EQ(1, s.ConnectServer("127.0.0.1", server_.port(), 1));
    tagNETHEAD h = Head(13);
    h.bodyLength = static_cast<uint32_t>(body.size());
    void* reply = nullptr;
    ASSERT_EQ(1, s.SendAdvancedCommand(h, body.data(), &reply));
    srv.join();
    EXPECT_TRUE(bodyMatched);
    EXPECT_EQ(1000u, h.bodyLength);
    ASSERT_NE(nullptr, reply);
    EXPECT_EQ(replyBody, std::string(static_cast<char*>(reply), 1000));
    delete[] static_cast<char*>(reply);
}

TEST_F(ClientSessionTest, AnnouncedReplyBodyIsDroppedWhenNotWanted) {
    enum class Call { Simple, AdvancedWithoutReply };
    for (Call call : {Call::Simple, Call::AdvancedWithoutReply}) {
        SCOPED_TRACE(static_cast<int>(call));
        std::thread srv = Serve([](int fd) {
            Answer(fd, 1, std::string(200000, 'x'));
            Answer(fd, 2);
        });
        CClientSession s;
        ASSERT_EQ(1, s.ConnectServer("127.0.0.1", server_.port(), 1));
        tagNETHEAD h = Head(130);
        const int r = call == Call::Simple ? s.SendSimpleCommand(h) : s.SendAdvancedCommand(h, nullptr, nullptr);
        EXPECT_EQ(1, r);
        EXPECT_EQ(1, h.intParam[0]);
        EXPECT_EQ(200000u, h.bodyLength);
        tagNETHEAD next = Head(131);
        EXPECT_EQ(1, s.SendSimpleCommand(next));
        EXPECT_EQ(131u, next.command);
        EXPECT_EQ(2, next.intParam[0]);
        srv.join();
    }
}

TEST_F(ClientSessionTest, BrokenReplyFailsAndShutsTheConnectionDown) {
    struct Case {
        const char* name;
        size_t headBytes;      // bytes of the reply head the server sends
        uint32_t announced;    // reply body length in that head
        size_t bodyBytes;      // bytes of the body it sends before closing
        bool wantReply;
        bool serverCloses;
    } cases[] = {
        {"head cut short", 100, 0, 0, true, true},
        {"body cut short", 384, 5000, 1000, true, true},
        {"dropped body cut short", 384, 5000, 1000, false, true},
        {"body above the cap", 384, lintra::kMaxBodyLength + 1, 0, true, false},
        {"no reply at all", 0, 0, 0, true, false},
    };
    CClientSession::SetReceiveBudgetMs(300);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::atomic<bool> clientShutDown{false};
        std::thread srv = Serve([&](int fd) {
            tagNETHEAD h;
            if (!ReadExact(fd, &h, sizeof h)) return;
            h.intParam[0] = 5;
            h.bodyLength = c.announced;
            std::string bytes(reinterpret_cast<char*>(&h), sizeof h);
            bytes.resize(c.headBytes);
            bytes += std::string(c.bodyBytes, 'b');
            WriteAll(fd, bytes.data(), bytes.size());
            if (!c.serverCloses) clientShutDown = SeesEof(fd);
        });
        CClientSession s;
        ASSERT_EQ(1, s.ConnectServer("127.0.0.1", server_.port(), 1));
        tagNETHEAD h = Head(205, 42);
        void* reply = &h;
        EXPECT_EQ(0, s.SendAdvancedCommand(h, nullptr, c.wantReply ? &reply : nullptr));
        if (c.wantReply) {
            EXPECT_EQ(nullptr, reply);
        }
        EXPECT_EQ(42, h.intParam[0]);  // the caller's head is left as it was
        srv.join();
        if (!c.serverCloses) {
            EXPECT_TRUE(clientShutDown);
        }
        tagNETHEAD next = Head(534);
        EXPECT_EQ(0, s.SendSimpleCommand(next));
    }
}

TEST_F(ClientSessionTest, LateReplyIsNeverTakenForTheNextAnswer) {
    CClientSession::SetReceiveBudgetMs(200);
    std::promise<void> firstFailed;
    std::atomic<bool> clientShutDown{false};
    std::thread srv = Serve([&](int fd) {
        tagNETHEAD h;
        if (!ReadExact(fd, &h, sizeof h)) return;
        firstFailed.get_future().wait_for(10s);
        h.intParam[0] = 77;
        WriteAll(fd, &h, sizeof h);
        clientShutDown = SeesEof(fd);
    });
    CClientSession s;
    ASSERT_EQ(1, s.ConnectServer("127.0.0.1", server_.port(), 1));
    tagNETHEAD first = Head(901);
    EXPECT_EQ(0, s.SendSimpleCommand(first));
    firstFailed.set_value();
    tagNETHEAD next = Head(902);
    EXPECT_EQ(0, s.SendSimpleCommand(next));
    EXPECT_NE(77, next.intParam[0]);
    srv.join();
    EXPECT_TRUE(clientShutDown);
    // The shutdown is reported like a server that went away.
    EXPECT_TRUE(testsupport::WaitUntil([&] { return notices_.Count() == 1; }));
}

TEST_F(ClientSessionTest, HeadGoesOutWholeWhileTheSendBufferIsFull) {
    CClientSession::SetReceiveBudgetMs(2000);
    std::promise<size_t> stuffed;
    std::atomic<bool> headMatched{false};
    std::thread srv = Serve([&](int fd) {
        auto f = stuffed.get_future();
        if (f.wait_for(10s) != std::future_status::ready) return;
        std::string junk(f.get(), '\0');
        if (!ReadExact(fd, junk.data(), junk.size())) return;
        tagNETHEAD h;
        if (!ReadExact(fd, &h, sizeof h)) return;
        headMatched = h.command == 111 && h.intParam[0] == 3;
        h.intParam[0] = 1;
        WriteAll(fd, &h, sizeof h);
    });
    CClientSession s;
    ASSERT_EQ(1, s.ConnectServer("127.0.0.1", server_.port(), 1));
    const int sndbuf = 4096;
    setsockopt(s.GetSocket(), SOL_SOCKET, SO_SNDBUF, &sndbuf, sizeof sndbuf);
    // Fill every buffer between the two ends with raw bytes.
    std::vector<char> chunk(65536, 'j');
    size_t total = 0;
    CClientSession::SetReceiveBudgetMs(50);
    for (;;) {
        const int n = s.SendData(chunk.data(), static_cast<int>(chunk.size()));
        if (n <= 0) break;
        total += static_cast<size_t>(n);
    }
    CClientSession::SetReceiveBudgetMs(2000);
    auto reply = std::async(std::launch::async, [&] {
        tagNETHEAD h = Head(111, 3);
        return s.SendSimpleCommand(h) == 1 && h.intParam[0] == 1;
    });
    stuffed.set_value(total);
    ASSERT_EQ(std::future_status::ready, reply.wait_for(10s));
    EXPECT_TRUE(reply.get());
    srv.join();
    EXPECT_TRUE(headMatched);
}

TEST_F(ClientSessionTest, OneSessionUsedFromTwoThreadsKeepsExchangesWhole) {
    constexpr int kPerThread = 200;
    std::thread srv = Serve([](int fd) {
        for (int i = 0; i < 2 * kPerThread; ++i) {
            tagNETHEAD h;
            if (!ReadExact(fd, &h, sizeof h)) return;
            std::string body(h.bodyLength, '\0');
            if (!ReadExact(fd, body.data(), body.size())) return;
            h.intParam[0] = static_cast<int32_t>(h.command) * 2 + static_cast<int32_t>(body.size());
            const std::string replyBody(static_cast<size_t>(h.command % 7) * 100, 'q');
            h.bodyLength = static_cast<uint32_t>(replyBody.size());
            if (!WriteAll(fd, &h, sizeof h) || !WriteAll(fd, replyBody.data(), replyBody.size())) return;
        }
    });
    CClientSession s;
    ASSERT_EQ(1, s.ConnectServer("127.0.0.1", server_.port(), 1));
    auto worker = [&](uint32_t base) {
        int good = 0;
        const std::string body(3000, 'w');
        for (int i = 0; i < kPerThread; ++i) {
            tagNETHEAD h = Head(base + static_cast<uint32_t>(i));
            h.bodyLength = static_cast<uint32_t>(body.size());
            void* reply = nullptr;
            if (s.SendAdvancedCommand(h, body.data(), &reply) == 1 &&
                h.command == base + static_cast<uint32_t>(i) &&
                h.intParam[0] == static_cast<int32_t>(h.command) * 2 + 3000 &&
                h.bodyLength == (h.command % 7) * 100)
                ++good;
            delete[] static_cast<char*>(reply);
        }
        return good;
    };
    auto a = std::async(std::launch::async, worker, 1000u);
    auto b = std::async(std::launch::async, worker, 5000u);
    ASSERT_EQ(std::future_status::ready, a.wait_for(30s));
    ASSERT_EQ(std::future_status::ready, b.wait_for(30s));
    EXPECT_EQ(kPerThread, a.get());
    EXPECT_EQ(kPerThread, b.get());
    srv.join();
}

TEST_F(ClientSessionTest, ServerCloseIsReportedOnceOnTheLibraryThread) {
    CClientSession a, b;
    std::thread srvA = Serve([](int) {});
    ASSERT_EQ(1, a.ConnectServer("127.0.0.1", server_.port(), 1));
    srvA.join();
    ASSERT_TRUE(testsupport::WaitUntil([&] { return notices_.Count() == 1; }));
    std::thread srvB = Serve([](int) {});
    ASSERT_EQ(1, b.ConnectServer("127.0.0.1", server_.port(), 0));
    srvB.join();
    ASSERT_TRUE(testsupport::WaitUntil([&] { return notices_.Count() == 2; }));
    Settle();
    const auto calls = notices_.Copy();
    ASSERT_EQ(2u, calls.size());
    EXPECT_EQ(a.GetSocket(), calls[0].socket);
    EXPECT_EQ(b.GetSocket(), calls[1].socket);
    EXPECT_NE(std::this_thread::get_id(), calls[0].thread);
    EXPECT_EQ(calls[0].thread, calls[1].thread);
    // A dropped connection leaves the object as it was until its owner acts.
    EXPECT_EQ(1, a.IsConnected());
}

TEST_F(ClientSessionTest, LocalDisconnectIsNeverReported) {
    std::atomic<int> eofs{0};
    std::thread srv([&] {
        for (int i = 0; i < 3; ++i) {
            const int fd = server_.Accept();
            if (fd < 0) return;
            if (SeesEof(fd)) ++eofs;
            close(fd);
        }
    });
    {
        CClientSession s;
        ASSERT_EQ(1, s.ConnectServer("127.0.0.1", server_.port(), 1));
        ASSERT_EQ(1, s.ConnectServer("127.0.0.1", server_.port(), 1));  // drops the first
        s.Disconnect();
        CKestraneStageServer stage;
        ASSERT_EQ(1, stage.ConnectServer("127.0.0.1", server_.port(), 1));
    }  // the destructor disconnects too
    srv.join();
    EXPECT_EQ(3, eofs);
    Settle();
    EXPECT_EQ(0u, notices_.Count());
}

TEST_F(ClientSessionTest, CallbackMayDisconnectTheSessionItNames) {
    CClientSession s;
    struct Ctx {
        CClientSession* session;
        std::atomic<int> calls{0};
    } ctx{&s};
    CClientSession::SetCallback(
        [](int, void* user) {
            auto* c = static_cast<Ctx*>(user);
            c->session->Disconnect();
            ++c->calls;
        },
        &ctx);
    std::thread srv = Serve([](int) {});
    ASSERT_EQ(1, s.ConnectServer("127.0.0.1", server_.port(), 1));
    srv.join();
    ASSERT_TRUE(testsupport::WaitUntil([&] { return ctx.calls == 1; }));
    EXPECT_EQ(-1, s.GetSocket());
    // The session is usable again afterwards.
    std::thread srv2 = Serve([](int fd) { Answer(fd, 1); });
    ASSERT_EQ(1, s.ConnectServer("127.0.0.1", server_.port(), 1));
    tagNETHEAD h = Head(534);
    EXPECT_EQ(1, s.SendSimpleCommand(h));
    srv2.join();
    EXPECT_TRUE(testsupport::WaitUntil([&] { return ctx.calls == 2; }));
    // Returns only once no callback runs with &ctx any more.
    CClientSession::SetCallback(nullptr, nullptr);
}

TEST_F(ClientSessionTest, StageServerIsTheSessionItself) {
    std::thread srv = Serve([](int fd) { Answer(fd, 4); });
    CKestraneStageServer stage;
    CClientSession& session = stage;
    ASSERT_EQ(1, session.ConnectServer("127.0.0.1", server_.port(), 1));
    tagNETHEAD h = Head(10);
    EXPECT_EQ(1, stage.SendSimpleCommand(h));
    EXPECT_EQ(4, h.intParam[0]);
    srv.join();
}

TEST_F(ClientSessionTest, DescriptorsAreNotLeaked) {
    // The log file stays open once the first line is written; open it before counting.
    LOGTEXT::LogInfo("descriptor count baseline");
    const int before = testsupport::OpenFdCount();
    for (int i = 0; i < 5; ++i) {
        std::thread srv = Serve([](int) {});
        CClientSession s;
        ASSERT_EQ(1, s.ConnectServer("127.0.0.1", server_.port(), 1));
        srv.join();
        ASSERT_TRUE(testsupport::WaitUntil([&] { return notices_.Count() == static_cast<size_t>(i + 1); }));
    }
    // The notifier's own epoll and eventfd may have been opened by this test.
    EXPECT_LE(testsupport::OpenFdCount(), before + 2);
}

}  // namespace
