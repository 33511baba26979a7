// The console's uploader against the receiver behind a real command server
// on 127.0.0.1 (port chosen by the kernel).
#include <gtest/gtest.h>

#include <sys/socket.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "core/CommandEntry.h"
#include "core/MediaManager.h"
#include "lintra/KestraneStageServer.h"
#include "lintra/NetServer.h"
#include "lintra/netcodes.h"
#include "support/support.h"

namespace {

namespace fs = std::filesystem;

constexpr size_t kChunk = 8u * 1024u * 1024u;

std::string MakeFile(const fs::path& p, size_t size, unsigned seed) {
    fs::create_directories(p.parent_path());
    std::mt19937 rng(seed);
    std::string s(size, '\0');
    for (auto& c : s) c = static_cast<char>(rng());
    testsupport::WriteFile(p, s);
    return p.string();
}

bool SameFile(const fs::path& a, const fs::path& b) {
    int status = -1;
    testsupport::RunShell("cmp -s '" + a.string() + "' '" + b.string() + "'", &status);
    return status == 0;
}

struct Seen {
    uint32_t code;
    int64_t offset;   // +44
};

class UploadLoopbackTest : public ::testing::Test {
protected:
    void SetUp() override {
        core = std::make_unique<CMediaManager>(dir.str());
        core->m_strMediaFolder = (dir / "media").string();
        server = NET_SERVER::StartServer(0);
        ASSERT_NE(server, nullptr);
        NET_SERVER::SetDataRecvCallback(server, &UploadLoopbackTest::OnData, this);
        port = NET_SERVER::GetServerPort(server);
        ASSERT_GT(port, 0);
    }
    void TearDown() override {
        if (server) NET_SERVER::StopServer(server);
        core.reset();
    }

    static void OnData(int socket, const tagNETHEAD& head, const void* body, unsigned length, const void* user) {
        auto* self = static_cast<UploadLoopbackTest*>(const_cast<void*>(user));
        int chunkIndex = -1;
        {
            std::lock_guard lock(self->mu);
            self->seen.push_back({head.command, lintra::GetInt64Param(head, 0)});
            if (head.command == NETCMD::UploadData) chunkIndex = self->chunks++;
        }
        if (chunkIndex >= 0 && chunkIndex == self->dropAtChunk.load()) {
            // The connection breaks before the chunk arrives.
            ::shutdown(socket, SHUT_RDWR);
            return;
        }
        ServeProtocolCommand(*self->core, socket, head, body, length, nullptr);
    }

    std::unique_ptr<CKestraneStageServer> Client() {
        auto c = std::make_unique<CKestraneStageServer>();
        EXPECT_TRUE(c->ConnectServer("127.0.0.1", static_cast<unsigned>(port), 2));
        return c;
    }

    struct Progress {
        std::vector<int> states;
        std::vector<int64_t> done;
        std::function<int(int state, int64_t done)> hook;
        static int Callback(int state, int64_t, int64_t done, void* user) {
            auto* p = static_cast<Progress*>(user);
            p->states.push_back(state);
            p->done.push_back(done);
            return p->hook ? p->hook(state, done) : 1;
        }
    };

    std::vector<Seen> TakeSeen() {
        std::lock_guard lock(mu);
        std::vector<Seen> out;
        out.swap(seen);
        return out;
    }
    static std::vector<uint32_t> Codes(const std::vector<Seen>& s) {
        std::vector<uint32_t> c;
        for (const Seen& x : s) c.push_back(x.code);
        return c;
    }

    fs::path Held(const std::string& name) { return dir / "media" / name; }

    testsupport::TempDir dir;
    std::unique_ptr<CMediaManager> core;
    void* server = nullptr;
    int port = 0;
    std::mutex mu;
    std::vector<Seen> seen;
    int chunks = 0;
    std::atomic<int> dropAtChunk{-1};
};

TEST_F(UploadLoopbackTest, WholeUploadArrivesIdentical) {
    const std::string src = MakeFile(dir / "console" / "show clip.mp4", 2 * kChunk + 12345, 1);
    auto client = Client();
    Progress progress;
    ASSERT_EQ(client->UploadFile(src.c_str(), &Progress::Callback, &progress), 0);
    EXPECT_TRUE(SameFile(src, Held("show clip.mp4")));
    EXPECT_FALSE(fs::exists(Held("show clip.mp4.dncfg")));
    EXPECT_EQ(Codes(TakeSeen()), (std::vector<uint32_t>{1201, 1202, 1203, 1203, 1203, 1204}));
    EXPECT_EQ(progress.states.back(), 2);
}

TEST_F(UploadLoopbackTest, DroppedConnectionIsResumedByTheSameUpload) {
    const std::string src = MakeFile(dir / "console" / "drop.bin", 2 * kChunk + 999, 2);
    dropAtChunk = 1;
    auto client = Client();
    ASSERT_EQ(client->UploadFile(src.c_str(), nullptr, nullptr), 0);
    EXPECT_TRUE(SameFile(src, Held("drop.bin")));
    std::vector<int64_t> chunkOffsets;
    for (const Seen& s : TakeSeen())
        if (s.code == NETCMD::UploadData) chunkOffsets.push_back(s.offset);
    // The dropped chunk goes again on the new connection.
    EXPECT_EQ(chunkOffsets, (std::vector<int64_t>{0, int64_t(kChunk), int64_t(kChunk), int64_t(2 * kChunk)}));
}

TEST_F(UploadLoopbackTest, InterruptedUploadResumesWhereTheServerStopped) {
    const std::string src = MakeFile(dir / "console" / "resume.bin", 2 * kChunk + 4321, 3);
    {
        // The operator stops the first upload after one chunk.
        auto client = Client();
        Progress stop;
        stop.hook = [](int state, int64_t) { return state == 1 ? 0 : 1; };
        ASSERT_EQ(client->UploadFile(src.c_str(), &Progress::Callback, &stop), 1);
    }
    EXPECT_EQ(fs::file_size(Held("resume.bin")), kChunk);
    EXPECT_TRUE(fs::exists(Held("resume.bin.dncfg")));
    TakeSeen();

    auto client = Client();
    ASSERT_EQ(client->UploadFile(src.c_str(), nullptr, nullptr), 0);
    EXPECT_TRUE(SameFile(src, Held("resume.bin")));
    const std::vector<Seen> s = TakeSeen();
    ASSERT_EQ(Codes(s), (std::vector<uint32_t>{1201, 1202, 1203, 1203, 1204}));
    EXPECT_EQ(s[2].offset, int64_t(kChunk));
    EXPECT_FALSE(fs::exists(Held("resume.bin.dncfg")));
}

TEST_F(UploadLoopbackTest, FileHeldWholeIsAnsweredAtOnce) {
    const std::string src = MakeFile(dir / "console" / "held.bin", kChunk / 2, 4);
    auto client = Client();
    ASSERT_EQ(client->UploadFile(src.c_str(), nullptr, nullptr), 0);
    TakeSeen();

    Progress progress;
    EXPECT_EQ(client->UploadFile(src.c_str(), &Progress::Callback, &progress), 0);
    EXPECT_EQ(Codes(TakeSeen()), (std::vector<uint32_t>{1201}));
    EXPECT_EQ(progress.states, (std::vector<int>{2}));
    EXPECT_TRUE(SameFile(src, Held("held.bin")));
}

// While one console uploads a file, another uploads a different file of the
// same name: the later upload wins whole and the earlier one fails cleanly.
TEST_F(UploadLoopbackTest, LaterUploadOfTheSameNameWinsWhole) {
    const std::string first = MakeFile(dir / "console1" / "same.bin", kChunk + 1000, 5);
    const std::string second = MakeFile(dir / "console2" / "same.bin", kChunk / 4, 6);
    auto client1 = Client();
    auto client2 = Client();
    int secondResult = -99;
    Progress progress;
    progress.hook = [&](int state, int64_t) {
        if (state == 1 && secondResult == -99) secondResult = client2->UploadFile(second.c_str(), nullptr, nullptr);
        return 1;
    };
    EXPECT_EQ(client1->UploadFile(first.c_str(), &Progress::Callback, &progress), 1);
    EXPECT_EQ(secondResult, 0);
    EXPECT_TRUE(SameFile(second, Held("same.bin")));
    EXPECT_FALSE(fs::exists(Held("same.bin.dncfg")));
}

}  // namespace
