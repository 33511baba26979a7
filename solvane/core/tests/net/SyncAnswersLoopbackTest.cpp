// What the synchronisation family and the playlist advance send: the 1108
// answer, the slave's delete answer, its node-sync acknowledgements and the
// scan answer, caught on sockets on 127.0.0.1 with kernel-chosen ports.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <thread>

#include "core/Fakes.h"
#include "core/MediaManager.h"
#include "core/NodeSync.h"
#include "lintra/host.h"
#include "platform/packed.h"
#include "platform/textcodec.h"
#include "support/support.h"

namespace {

namespace fs = std::filesystem;

using testsupport::BindLoopback;

std::optional<std::vector<uint8_t>> ReceiveDatagram(int sock, int waitMs = 2000) {
    pollfd p{sock, POLLIN, 0};
    if (::poll(&p, 1, waitMs) != 1) return std::nullopt;
    std::vector<uint8_t> buf(1024);
    const ssize_t n = ::recv(sock, buf.data(), buf.size(), 0);
    if (n < 0) return std::nullopt;
    buf.resize(static_cast<size_t>(n));
    return buf;
}

tagNETHEAD AsHead(const std::vector<uint8_t>& bytes) {
    tagNETHEAD h{};
    std::memcpy(&h, bytes.data(), std::min(bytes.size(), sizeof h));
    return h;
}

class SyncAnswersLoopback : public ::testing::Test {
protected:
    void SetUp() override {
        answers = BindLoopback(SOCK_DGRAM, answerPort);
        ASSERT_GE(answers, 0);
        core = std::make_unique<CMediaManager>(dir.str());
        CoreServices services;
        services.media = &factory;
        services.displays = &displays;
        services.system = &system;
        core->SetServices(services);
        core->m_strAnswerGroup = "127.0.0.1";
        core->m_nAnswerPort = answerPort;
        core->m_nSyncMediaEnable = 1;
        folder = (fs::path(dir.str()) / "media").string();
        fs::create_directories(folder);
        core->m_strMediaFolder = folder;
        SetServerIpText("192.168.10.20");
    }
    void TearDown() override {
        SetNodeSyncInstance(nullptr);
        SetControllerAddress("");
        core.reset();
        SetServerIpText("");
        if (answers >= 0) ::close(answers);
    }
    std::string MakeFile(const std::string& name) {
        const std::string path = (fs::path(folder) / name).string();
        std::ofstream(path) << "x";
        return path;
    }
    tagNETHEAD Dispatch(const tagNETHEAD& h) {
        tagNETHEAD reply{};
        std::vector<uint8_t> body;
        core->DispatchCommand(h, nullptr, 0, reply, body, nullptr);
        return reply;
    }
    static tagNETHEAD Record801(int32_t bits, const std::string& text) {
        tagNETHEAD h{};
        h.command = 801;
        h.intParam[0] = bits;
        platform::StoreGbkField(h.textParam, sizeof h.textParam, text);
        return h;
    }

    testsupport::TempDir dir;
    FakeMediaFactory factory;
    FakeDisplayList displays;
    FakeSystemServices system;
    std::unique_ptr<CMediaManager> core;
    std::string folder;
    int answers = -1;
    uint16_t answerPort = 0;
};

TEST_F(SyncAnswersLoopback, PlaylistAdvanceAnnouncesTheEntryItLoaded) {
    for (const char* name : {"片头.mp4", "b.mp4", "c.jpg"}) {
        MediaListRecord r = EmptyMediaListRecord();
        const std::string path = MakeFile(name);
        std::memcpy(r.path, path.data(), path.size());
        r.type = std::string(name).ends_with(".jpg") ? kMediaPicture : kMediaFileVideo;
        core->m_playlist.push_back(r);
    }
    core->LoadSyncMedia(2);
    auto got = ReceiveDatagram(answers);
    ASSERT_TRUE(got);
    ASSERT_EQ(got->size(), sizeof(tagNETHEAD));
    const tagNETHEAD h = AsHead(*got);
    EXPECT_EQ(h.command, 1108u);
    EXPECT_EQ(h.intParam[0], 0);
    {
        std::lock_guard lock(core->m_csMedia);
        ASSERT_EQ(core->m_mediaList.size(), 1u);
        EXPECT_EQ(static_cast<uint32_t>(h.intParam[1]), core->m_mediaList[0]->Common().handle);
    }
    EXPECT_EQ(h.intParam[2], kMediaFileVideo);
    EXPECT_EQ(platform::LoadGbkField(h.textParam, sizeof h.textParam), folder + "/片头.mp4");

    core->LoadSyncMedia(0);
    got = ReceiveDatagram(answers);
    ASSERT_TRUE(got);
    EXPECT_EQ(AsHead(*got).intParam[0], 1);

    core->m_playlist.clear();
    core->LoadSyncMedia(1);
    EXPECT_FALSE(ReceiveDatagram(answers, 200)) << "an empty playlist announces nothing";
}

TEST_F(SyncAnswersLoopback, SlaveAnswersADeleteOnTheAnswerGroup) {
    core->m_nMainServer = 0;
    Dispatch(Record801(0x10, "C:\\show\\a.mp4"));
    auto got = ReceiveDatagram(answers);
    ASSERT_TRUE(got);
    ASSERT_EQ(got->size(), sizeof(tagNETHEAD));
    const tagNETHEAD h = AsHead(*got);
    EXPECT_EQ(h.command, 801u);
    EXPECT_EQ(h.intParam[0], 0x10);
    EXPECT_EQ(std::string(h.textParam), "C:\\show\\a.mp4");

    core->m_nMainServer = 1;
    Dispatch(Record801(0x10, ""));
    EXPECT_FALSE(ReceiveDatagram(answers, 200)) << "the main server does not answer";
}

TEST_F(SyncAnswersLoopback, SlaveAcknowledgesLoadsAndMarkedUpdatesToTheController) {
    uint16_t heartbeatPort = 0;
    const int master = BindLoopback(SOCK_DGRAM, heartbeatPort);
    ASSERT_GE(master, 0);
    NodeSyncOptions options;
    options.bindAddress = "127.0.0.1";
    options.heartbeatPort = heartbeatPort;
    CNodeSync sync(core.get(), nullptr, options);
    SetNodeSyncInstance(&sync);
    SetControllerAddress("127.0.0.1");
    core->m_nMainServer = 0;

    MakeFile("a.mp4");
    Dispatch(Record801(0x08, "a.mp4"));
    auto got = ReceiveDatagram(master);
    ASSERT_TRUE(got);
    ASSERT_GE(got->size(), 3u);
    EXPECT_EQ((*got)[2], kNodeSyncLoadAck);

    Dispatch(Record801(0x1000 | 0x02, "a.mp4"));
    got = ReceiveDatagram(master);
    ASSERT_TRUE(got);
    ASSERT_GE(got->size(), 3u);
    EXPECT_EQ((*got)[2], kNodeSyncUpdateAck);

    Dispatch(Record801(0x02, "a.mp4"));
    Dispatch(Record801(0x08, "missing.mp4"));
    EXPECT_FALSE(ReceiveDatagram(master, 200)) << "no mark, or nothing loaded: no acknowledgement";
    ::close(master);
}

TEST_F(SyncAnswersLoopback, ScanMachineSendsThisHostToTheConsole) {
    uint16_t port = 0;
    const int listener = BindLoopback(SOCK_STREAM, port);
    ASSERT_GE(listener, 0);
    ASSERT_EQ(::listen(listener, 1), 0);
    tagNETHEAD seen{};
    bool received = false;
    std::thread console([&] {
        pollfd p{listener, POLLIN, 0};
        if (::poll(&p, 1, 5000) != 1) return;
        const int c = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (c < 0) return;
        uint8_t buf[sizeof(tagNETHEAD)];
        size_t have = 0;
        pollfd q{c, POLLIN, 0};
        while (have < sizeof buf && ::poll(&q, 1, 5000) == 1) {
            const ssize_t n = ::recv(c, buf + have, sizeof buf - have, 0);
            if (n <= 0) break;
            have += static_cast<size_t>(n);
        }
        if (have == sizeof buf) {
            std::memcpy(&seen, buf, sizeof buf);
            received = true;
            tagNETHEAD reply{};
            ::send(c, &reply, sizeof reply, MSG_NOSIGNAL);
        }
        ::close(c);
    });
    core->m_nMainServer = 1;
    tagNETHEAD h{};
    h.command = 803;
    std::memcpy(h.textParam, "127.0.0.1", 9);
    platform::WriteAt<int32_t>(&h, 260, port);
    Dispatch(h);
    console.join();
    ::close(listener);
    ASSERT_TRUE(received);
    EXPECT_EQ(seen.command, 0u);
    EXPECT_EQ(platform::LoadGbkField(seen.textParam, 64), LINTRA_HOST::GetHostName());
    EXPECT_EQ(std::string(seen.textParam + 64), LINTRA_HOST::GetHostIp());
    EXPECT_EQ(platform::ReadAt<int32_t>(&seen, 252), 1);
    EXPECT_EQ(platform::ReadAt<int32_t>(&seen, 256), 1);
    EXPECT_EQ(platform::ReadAt<int32_t>(&seen, 260), 30100);
    EXPECT_EQ(platform::ReadAt<uint8_t>(&seen, 264), 1);
    EXPECT_EQ(platform::ReadAt<uint8_t>(&seen, 265), 1);
}

}  // namespace
