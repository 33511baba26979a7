// Resumable upload against a scripted receiver that keeps the file on disk.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "lintra/KestraneStageServer.h"
#include "lintra/filekit.h"
#include "lintra/netcodes.h"
#include "lintra/netdef.h"
#include "support/ScriptedServer.h"
#include "support/support.h"
#include "util/LogCapture.h"

namespace {

using lintratest::Reply;
using lintratest::Request;
using lintratest::ScriptedServer;

constexpr int64_t kChunk = 8 * 1024 * 1024;

std::string MakeFile(const std::filesystem::path& p, size_t size, unsigned seed) {
    std::mt19937 rng(seed);
    std::string s(size, '\0');
    for (auto& c : s) c = static_cast<char>(rng());
    testsupport::WriteFile(p, s);
    return p.string();
}

bool SameFile(const std::string& a, const std::string& b) {
    int status = -1;
    testsupport::RunShell("cmp -s '" + a + "' '" + b + "'", &status);
    return status == 0;
}

// The receiving side, written to disk like the display server does it.
struct Receiver {
    std::string target;
    int32_t queryStatus = 2;
    int64_t queryOffset = 0;
    // Per 1203 seen (0-based): what to do; past the end: accept.
    std::function<Reply(const Request&, int chunkIndex)> onChunk;
    std::atomic<int> chunks{0};

    Reply Handle(const Request& req) {
        Reply r = Reply::Echo(req.head, 0);
        switch (req.head.command) {
            case NETCMD::UploadQuery:
                r.head.intParam[0] = queryStatus;
                lintra::SetInt64Param(r.head, 0, queryOffset);
                break;
            case NETCMD::UploadStart:
                if (lintra::GetInt64Param(req.head, 5) == 0) {
                    const int fd = ::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
                    if (fd >= 0) ::close(fd);
                }
                break;
            case NETCMD::UploadData: {
                const int index = chunks.fetch_add(1);
                if (onChunk) {
                    Reply special = onChunk(req, index);
                    if (special.kind != Reply::Kind::Answer || special.head.command != 0) return special;
                }
                const int fd = ::open(target.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
                const int64_t at = lintra::GetInt64Param(req.head, 0);
                const bool ok = fd >= 0 && ::pwrite(fd, req.body.data(), req.body.size(), at) ==
                                               static_cast<ssize_t>(req.body.size());
                if (fd >= 0) ::close(fd);
                r.head.intParam[0] = ok ? 1 : 0;
                break;
            }
            default:
                break;
        }
        return r;
    }
};

// Progress reports as the callback saw them.
struct Progress {
    std::mutex mu;
    std::vector<std::tuple<int, int64_t, int64_t>> calls;
    int stopAtCall = -1;  // return 0 at this call (0-based) of state 1
    int progressCalls = 0;
    std::function<void()> onProgress;  // run at each state-1 call

    static int Callback(int state, int64_t total, int64_t done, void* user) {
        auto* self = static_cast<Progress*>(user);
        if (state == 1 && self->onProgress) self->onProgress();
        std::lock_guard<std::mutex> lock(self->mu);
        self->calls.emplace_back(state, total, done);
        if (state == 1 && self->progressCalls++ == self->stopAtCall) return 0;
        return 1;
    }
    bool Saw(int state) {
        std::lock_guard<std::mutex> lock(mu);
        for (auto& c : calls)
            if (std::get<0>(c) == state) return true;
        return false;
    }
};

std::vector<uint32_t> Codes(const ScriptedServer& server) {
    std::vector<uint32_t> out;
    for (const auto& r : server.Requests()) out.push_back(r.head.command);
    return out;
}

size_t CountCode(const ScriptedServer& server, uint32_t code) {
    size_t n = 0;
    for (const auto& r : server.Requests()) n += r.head.command == code;
    return n;
}

struct UploadFixture : ::testing::Test {
    testsupport::TempDir dir;
    Receiver rx;
    std::unique_ptr<ScriptedServer> server;
    CKestraneStageServer s;
    Progress progress;

    void Start() {
        rx.target = (dir / "received.bin").string();
        server = std::make_unique<ScriptedServer>([this](const Request& r) { return rx.Handle(r); });
        ASSERT_EQ(s.ConnectServer("127.0.0.1", server->port(), 2), 1);
    }
    int Upload(const std::string& path) { return s.UploadFile(path.c_str(), &Progress::Callback, &progress); }
};

TEST_F(UploadFixture, FreshUploadSendsEveryChunkAndEnds) {
    Start();
    const size_t size = 2 * kChunk + 5;
    const std::string src = MakeFile(dir / "source.bin", size, 1);
    std::string identity;
    ASSERT_TRUE(LINTRA_FILEKIT::GetMD5FromFile(src.c_str(), identity));

    EXPECT_EQ(Upload(src), 0);
    EXPECT_TRUE(SameFile(src, rx.target));
    EXPECT_EQ(Codes(*server), (std::vector<uint32_t>{1201, 1202, 1203, 1203, 1203, 1204}));

    const auto reqs = server->Requests();
    const tagNETHEAD& q = reqs[0].head;
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&q) + 4), identity);
    EXPECT_EQ(lintra::GetInt64Param(q, 0), static_cast<int64_t>(size));
    EXPECT_EQ(std::string(q.textParam), "source.bin");
    EXPECT_EQ(lintra::GetInt64Param(reqs[1].head, 5), 0);
    for (int k = 0; k < 3; ++k) {
        const tagNETHEAD& c = reqs[2 + k].head;
        EXPECT_EQ(lintra::GetInt64Param(c, 0), k * kChunk);
        EXPECT_EQ(c.intParam[0], static_cast<int32_t>(k < 2 ? kChunk : 5));
        EXPECT_EQ(std::string(c.textParam), "source.bin");
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(&c) + 84), identity) << "the chunk names its upload";
    }
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&reqs[5].head) + 4), identity);
    ASSERT_FALSE(progress.calls.empty());
    EXPECT_EQ(progress.calls.back(), std::make_tuple(2, int64_t(size), int64_t(size)));
}

TEST_F(UploadFixture, HeldWholeReturnsAtOnce) {
    rx.queryStatus = 1000;
    Start();
    const std::string src = MakeFile(dir / "source.bin", 5000, 2);
    EXPECT_EQ(Upload(src), 0);
    EXPECT_EQ(Codes(*server), (std::vector<uint32_t>{1201}));
    ASSERT_EQ(progress.calls.size(), 1u);
    EXPECT_EQ(progress.calls[0], std::make_tuple(2, int64_t(5000), int64_t(5000)));
}

TEST_F(UploadFixture, PartialResumesAtTheServersOffset) {
    const size_t size = 2 * kChunk + 100;
    const std::string src = MakeFile(dir / "source.bin", size, 3);
    rx.queryStatus = 1;
    rx.queryOffset = kChunk;
    Start();
    // The server already holds the first 8 MiB.
    testsupport::WriteFile(rx.target, testsupport::ReadFile(src).substr(0, kChunk));

    EXPECT_EQ(Upload(src), 0);
    EXPECT_TRUE(SameFile(src, rx.target));
    const auto reqs = server->Requests();
    ASSERT_EQ(Codes(*server), (std::vector<uint32_t>{1201, 1202, 1203, 1203, 1204}));
    EXPECT_EQ(lintra::GetInt64Param(reqs[1].head, 5), kChunk);
    EXPECT_EQ(lintra::GetInt64Param(reqs[2].head, 0), kChunk);
    EXPECT_EQ(lintra::GetInt64Param(reqs[3].head, 0), 2 * kChunk);
}

TEST_F(UploadFixture, OffsetBeyondTheFileStartsFromZero) {
    const std::string src = MakeFile(dir / "source.bin", 10000, 4);
    for (int64_t bad : {int64_t{10001}, int64_t{-1}}) {
        rx.queryStatus = 1;
        rx.queryOffset = bad;
        Start();
        EXPECT_EQ(Upload(src), 0) << bad;
        EXPECT_TRUE(SameFile(src, rx.target));
        const auto reqs = server->Requests();
        ASSERT_GE(reqs.size(), 3u);
        EXPECT_EQ(lintra::GetInt64Param(reqs[1].head, 5), 0);
        EXPECT_EQ(lintra::GetInt64Param(reqs[2].head, 0), 0);
        EXPECT_EQ(reqs.back().head.command, 1204u);
        server.reset();
    }
}

TEST_F(UploadFixture, RefusedChunkFailsWithoutTheEnd) {
    rx.onChunk = [](const Request& req, int index) {
        Reply r;
        if (index == 0) {
            r = Reply::Echo(req.head, 0);  // refused
        }
        return r;
    };
    Start();
    const std::string src = MakeFile(dir / "source.bin", 3000, 5);
    EXPECT_EQ(Upload(src), 1);
    EXPECT_EQ(CountCode(*server, 1203), 2u) << "the refused chunk went again";
    EXPECT_EQ(CountCode(*server, 1204), 0u);
    EXPECT_TRUE(progress.Saw(0));
    EXPECT_FALSE(progress.Saw(2));
}

TEST_F(UploadFixture, DropMidTransferReconnectsAndFinishes) {
    rx.onChunk = [](const Request&, int index) { return index == 1 ? Reply::CloseNow() : Reply{}; };
    Start();
    const size_t size = 2 * kChunk + 3;
    const std::string src = MakeFile(dir / "source.bin", size, 6);
    util::LogCapture log;
    EXPECT_EQ(Upload(src), 0);
    EXPECT_TRUE(SameFile(src, rx.target));
    EXPECT_EQ(server->Connections(), 2);
    EXPECT_EQ(CountCode(*server, 1203), 4u);
    EXPECT_EQ(server->Requests().back().head.command, 1204u);
    EXPECT_TRUE(s.IsConnected());
    EXPECT_TRUE(log.Contains("leave uploadfile"));
}

TEST_F(UploadFixture, ServerThatNeverAnswersEndsWithinTheBound) {
    // Every connection is accepted and every chunk read, but no chunk is ever
    // answered; a short receive budget keeps the test quick.
    rx.onChunk = [](const Request&, int) { return Reply::Nothing(); };
    CClientSession::SetReceiveBudgetMs(100);
    Start();
    const std::string src = MakeFile(dir / "source.bin", 4096, 7);
    util::LogCapture log;
    EXPECT_EQ(Upload(src), 1);
    CClientSession::SetReceiveBudgetMs(5000);
    EXPECT_LE(CountCode(*server, 1203), 20u);
    EXPECT_LE(server->Connections(), 20);
    EXPECT_GE(server->Connections(), 2) << "it did reconnect";
    EXPECT_EQ(CountCode(*server, 1204), 0u);
    EXPECT_TRUE(log.Contains("UploadData:Send data failed"));
    EXPECT_TRUE(progress.Saw(0));
}

TEST_F(UploadFixture, OwnerDisconnectStopsWithoutReconnecting) {
    // The owner closes the session between two chunks.
    progress.onProgress = [this] { s.Disconnect(); };
    Start();
    const std::string src = MakeFile(dir / "source.bin", kChunk + 10, 11);
    util::LogCapture log;
    EXPECT_EQ(Upload(src), 1);
    EXPECT_EQ(server->Connections(), 1);
    EXPECT_EQ(CountCode(*server, 1203), 1u);
    EXPECT_FALSE(s.IsConnected());
    EXPECT_TRUE(log.Contains("UploadData. send advanced failed for disconnect."));
}

TEST_F(UploadFixture, ServerGoneForGoodFailsAfterTheBudget) {
    rx.onChunk = [this](const Request&, int) {
        server->CloseListener();
        return Reply::CloseNow();
    };
    Start();
    const std::string src = MakeFile(dir / "source.bin", 4096, 8);
    EXPECT_EQ(Upload(src), 1);
    EXPECT_EQ(server->Connections(), 1);
    EXPECT_EQ(CountCode(*server, 1204), 0u);
}

TEST_F(UploadFixture, CallbackStopsTheUpload) {
    const size_t size = kChunk + 10;
    const std::string src = MakeFile(dir / "source.bin", size, 9);
    // Stopping after the last chunk still ends well.
    progress.stopAtCall = 1;
    Start();
    EXPECT_EQ(Upload(src), 0);
    EXPECT_EQ(CountCode(*server, 1204), 1u);
    server.reset();

    // Stopping before the end does not.
    progress.calls.clear();
    progress.progressCalls = 0;
    progress.stopAtCall = 0;
    Start();
    util::LogCapture log;
    EXPECT_EQ(Upload(src), 1);
    EXPECT_EQ(CountCode(*server, 1203), 1u);
    EXPECT_EQ(CountCode(*server, 1204), 0u);
    EXPECT_TRUE(log.Contains("UploadData:callback over."));
}

// The next chunk is read while one is on the wire; a file that becomes
// shorter during the upload still fails, and no end is sent.
TEST_F(UploadFixture, FileShortenedDuringTheUploadFails) {
    Start();
    const std::string src = MakeFile(dir / "source.bin", 3 * kChunk, 11);
    rx.onChunk = [&](const Request&, int index) {
        if (index == 0) (void)!::truncate(src.c_str(), kChunk + 100);
        return Reply{};  // then accepted as usual
    };
    util::LogCapture log;
    EXPECT_EQ(Upload(src), 1);
    EXPECT_LE(CountCode(*server, 1203), 2u);
    EXPECT_EQ(CountCode(*server, 1204), 0u);
    EXPECT_TRUE(log.Contains("UploadData. readfile count=0"));
}

TEST_F(UploadFixture, LocalFailuresTransferNothing) {
    Start();
    util::LogCapture log;
    EXPECT_EQ(Upload((dir / "missing.bin").string()), -1);
    EXPECT_TRUE(log.Contains("leave uploadfile for getmd5"));
    EXPECT_EQ(s.UploadFile(nullptr, nullptr, nullptr), -1);
    EXPECT_TRUE(log.Contains("leave uploadfile for path=NULL"));

    const std::string empty = (dir / "empty.bin").string();
    testsupport::WriteFile(empty, "");
    EXPECT_EQ(Upload(empty), -1);
    EXPECT_TRUE(log.Contains("leave uploadfile for file size=0."));
    EXPECT_TRUE(progress.Saw(-1));
    EXPECT_EQ(server->RequestCount(), 0u);

    CKestraneStageServer idle;
    EXPECT_EQ(idle.UploadFile(empty.c_str(), nullptr, nullptr), -1);
    EXPECT_TRUE(log.Contains("leave uploadfile for not connect"));
}

TEST_F(UploadFixture, LongPathGivesTheLastComponent) {
    Start();
    std::string folder = dir.str();
    for (int i = 0; i < 5; ++i) folder += "/" + std::string(60, static_cast<char>('g' + i));
    std::filesystem::create_directories(folder);
    const std::string src = MakeFile(folder + "/影片.mp4", 3000, 10);
    ASSERT_GT(src.size(), 256u);
    EXPECT_EQ(Upload(src), 0);
    const auto reqs = server->Requests();
    for (const auto& r : reqs) {
        EXPECT_EQ(std::string(r.head.textParam), "\xD3\xB0\xC6\xAC.mp4") << "GBK name of " << r.head.command;
    }
}

}  // namespace
