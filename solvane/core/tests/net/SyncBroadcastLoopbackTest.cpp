// The synchronisation records a core sends, caught on a UDP socket on
// 127.0.0.1 that stands in for the group (port chosen by the kernel).
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>

#include "core/Fakes.h"
#include "core/MediaManager.h"
#include "platform/packed.h"
#include "platform/textcodec.h"
#include "platform/tick.h"
#include "support/support.h"
#include "util/Util.h"

namespace {

namespace fs = std::filesystem;

class SyncBroadcastLoopback : public ::testing::Test {
protected:
    void SetUp() override {
        uint16_t port = 0;
        sock = testsupport::BindLoopback(SOCK_DGRAM, port);
        ASSERT_GE(sock, 0);
        core = std::make_unique<CMediaManager>(dir.str());
        CoreServices services;
        services.media = &factory;
        services.displays = &displays;
        services.system = &system;
        core->SetServices(services);
        core->m_strMulticastIp = "127.0.0.1";
        core->m_nMulticastPort = port;
        SetServerIpText("192.168.10.20");
        platform::SetTickSource(&ticks);
    }
    void TearDown() override {
        core.reset();
        platform::SetTickSource(nullptr);
        SetServerIpText("");
        if (sock >= 0) ::close(sock);
    }

    // The next datagram within the wait, or none.
    std::optional<std::vector<uint8_t>> Receive(int waitMs = 2000) {
        pollfd p{sock, POLLIN, 0};
        if (::poll(&p, 1, waitMs) != 1) return std::nullopt;
        std::vector<uint8_t> buf(1024);
        const ssize_t n = ::recv(sock, buf.data(), buf.size(), 0);
        if (n < 0) return std::nullopt;
        buf.resize(static_cast<size_t>(n));
        return buf;
    }
    // Real parameter k, copied out of the packed head.
    static double Real(const tagNETHEAD& h, int k) { return platform::ReadAt<double>(&h, 44 + 8 * k); }
    static tagNETHEAD AsHead(const std::vector<uint8_t>& bytes) {
        tagNETHEAD h{};
        std::memcpy(&h, bytes.data(), std::min(bytes.size(), sizeof h));
        return h;
    }

    // A video file a.mp4 of the temp folder, paused, in the media list.
    IMedia* AddPausedVideo() {
        const fs::path video = fs::path(dir.str()) / "a.mp4";
        std::ofstream(video) << "x";
        IMedia* m = core->LoadMedia(kMediaFileVideo, video.string(), nullptr);
        if (!m) return nullptr;
        m->Common().state = kMediaPaused;
        std::lock_guard lock(core->m_csMedia);
        core->m_mediaList.push_back(m);
        return m;
    }

    testsupport::TempDir dir;
    FakeMediaFactory factory;
    FakeDisplayList displays;
    FakeSystemServices system;
    platform::ManualTickSource ticks{1000};
    std::unique_ptr<CMediaManager> core;
    int sock = -1;
};

TEST_F(SyncBroadcastLoopback, OnlyTheMainServerBroadcasts) {
    SyncMediaInfo info;
    info.name = "片头.mp4";
    info.position = 123456789012LL;
    info.value1 = 1;
    info.value2 = 4500;
    info.value3 = 7;
    info.value4 = 100;
    info.value5 = 9;
    info.rect[0] = 0.25f;
    info.rect[1] = 0.5f;
    info.rect[2] = 0.75f;
    info.rect[3] = 1.0f;
    core->m_nSyncMediaEnable = 1;
    core->BroadcastSyncCommand(info, 0x82);
    EXPECT_FALSE(Receive(200).has_value());

    core->m_nMainServer = 1;
    core->BroadcastSyncCommand(info, 0x82);
    auto bytes = Receive();
    ASSERT_TRUE(bytes.has_value());
    ASSERT_EQ(bytes->size(), 384u);
    const tagNETHEAD h = AsHead(*bytes);
    EXPECT_EQ(h.command, 801u);
    EXPECT_EQ(h.intParam[0], 0x82);
    EXPECT_EQ(h.intParam[1], 1);
    EXPECT_EQ(h.intParam[2], 4500);
    EXPECT_EQ(h.intParam[3], 7);
    EXPECT_EQ(h.intParam[4], 100);
    EXPECT_EQ(h.intParam[5], 9);
    const uint8_t ip[4] = {192, 168, 10, 20};
    EXPECT_EQ(std::memcmp(reinterpret_cast<const uint8_t*>(&h) + 28, ip, 4), 0);
    EXPECT_EQ(h.intParam[7], 30100);
    EXPECT_EQ(Real(h, 0), 123456789012.0);
    EXPECT_EQ(Real(h, 4), 0.25);
    EXPECT_EQ(Real(h, 7), 1.0);
    EXPECT_EQ(platform::GbkToUtf8(h.textParam), "片头.mp4");
    EXPECT_EQ(h.bodyLength, 0u);
}

TEST_F(SyncBroadcastLoopback, MainServerStartsTimelineVideosByRecordNotLocally) {
    IMedia* m = AddPausedVideo();
    ASSERT_NE(m, nullptr);
    m->Common().startTime = 1.0;
    m->Common().endTime = 9.0;
    core->m_nSyncMediaEnable = 1;
    core->m_nMainServer = 1;
    core->SetTimelineTime(0.0);
    core->SetTimelineState(1);
    ticks.Advance(2000);
    core->MediaTimeCheckStep();
    auto bytes = Receive();
    ASSERT_TRUE(bytes.has_value());
    const tagNETHEAD h = AsHead(*bytes);
    EXPECT_EQ(h.command, 808u);
    EXPECT_EQ(h.intParam[3], 1);
    EXPECT_EQ(Real(h, 0), 1.0);
    EXPECT_EQ(Real(h, 1), 9.0);
    EXPECT_STREQ(h.textParam, "a.mp4");
    EXPECT_EQ(m->Common().state, kMediaPaused);  // it starts when the record comes back

    // Not repeated every pass while the record is on its way.
    ticks.Advance(10);
    core->MediaTimeCheckStep();
    EXPECT_FALSE(Receive(200).has_value());
    ticks.Advance(1000);
    core->MediaTimeCheckStep();
    EXPECT_TRUE(Receive().has_value());
}

TEST_F(SyncBroadcastLoopback, TimelineTransportGoesToTheGroupOnTheMainServer) {
    core->m_nSyncMediaEnable = 1;
    core->m_nMainServer = 1;
    for (uint32_t code : {534u, 535u, 536u}) {
        tagNETHEAD h{};
        h.command = code;
        tagNETHEAD reply{};
        std::vector<uint8_t> body;
        core->DispatchCommand(h, nullptr, 0, reply, body, nullptr);
        auto bytes = Receive();
        ASSERT_TRUE(bytes.has_value()) << code;
        const tagNETHEAD sent = AsHead(*bytes);
        EXPECT_EQ(sent.command, code == 534 ? 808u : code == 535 ? 810u : 809u);
        EXPECT_EQ(sent.intParam[3], 0);  // every media
    }
    // Nothing changed locally: the records come back to this server too.
    EXPECT_EQ(core->m_nTimelineState.load(), -1);
}

// The slaves act when the record reaches them; writing media.bak first (two
// fsyncs, tens of milliseconds on a busy disk) would put them behind the
// main server by that long. The list file here cannot be written, so its
// failure is logged at the moment of the save: by then the record must be
// on the socket already.
TEST_F(SyncBroadcastLoopback, PlayPauseAndStopRecordsLeaveBeforeTheMediaListIsSaved) {
    IMedia* m = AddPausedVideo();
    ASSERT_NE(m, nullptr);
    core->SetCurrentVideo(m, 0);
    core->m_nSyncMediaEnable = 1;
    core->m_nMainServer = 1;
    core->m_strMediaListPath = (fs::path(dir.str()) / "missing" / "media.bak").string();

    struct Probe {
        int sock;
        int saves = 0;
        int recordOutAtSave = 0;
    } probe{sock};
    struct SinkGuard {
        ~SinkGuard() { LOGTEXT::SetSink(nullptr, nullptr); }
    } guard;
    LOGTEXT::SetSink(
        [](LOGTEXT::Level, const char* text, void* user) {
            auto* p = static_cast<Probe*>(user);
            if (!text || !std::strstr(text, "save media list")) return;
            ++p->saves;
            pollfd pfd{p->sock, POLLIN, 0};
            if (::poll(&pfd, 1, 0) == 1) ++p->recordOutAtSave;
        },
        &probe);
    const struct {
        uint32_t code;
        int32_t bits;
        int32_t state;
    } cases[] = {{506, 0x82, kMediaPlaying}, {507, 0x06, kMediaPaused}, {508, 0x02, kMediaStopped}};
    for (const auto& c : cases) {
        probe.saves = probe.recordOutAtSave = 0;
        tagNETHEAD h{};
        h.command = c.code;
        tagNETHEAD reply{};
        std::vector<uint8_t> body;
        core->DispatchCommand(h, nullptr, 0, reply, body, nullptr);
        EXPECT_EQ(m->Common().state, c.state) << c.code;
        EXPECT_EQ(probe.saves, 1) << c.code;
        EXPECT_EQ(probe.recordOutAtSave, 1) << c.code << ": the record waited for the list file";
        auto bytes = Receive();
        ASSERT_TRUE(bytes.has_value()) << c.code;
        const tagNETHEAD sent = AsHead(*bytes);
        EXPECT_EQ(sent.command, 801u);
        EXPECT_EQ(sent.intParam[0], c.bits) << c.code;
        EXPECT_EQ(sent.intParam[1], c.state) << c.code;
    }
}

}  // namespace
