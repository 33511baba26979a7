// The console's commands to its display servers, seen by two recording
// servers on loopback: which server gets what, in which order, with which
// head fields and bodies, and what happens when a server is absent, silent,
// gone or not connected.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <cstring>
#include <string>
#include <vector>

#include "kestrane/gconfig.h"
#include "lintra/KestraneStageServer.h"
#include "lintra/netcodes.h"
#include "platform/packed.h"
#include "platform/textcodec.h"
#include "support/ScriptedServer.h"
#include "support/RecordingPreview.h"
#include "support/QtSpin.h"
#include "support/support.h"

namespace {

using lintratest::Reply;
using lintratest::Request;
using lintratest::ScriptedServer;
using platform::ReadAt;

// An event loop for the tests that need one, made and ended by each such
// test, so that the others see a process without an application object.
struct ScopedApp {
    int argc = 1;
    char name[32] = "kestrane_model_net_tests";
    char* argv[2] = {name, nullptr};
    QCoreApplication app{argc, argv};
};

class Hooks : public ConsoleHooks {
public:
    // Each read of the play position moves it on by `step` ms.
    mutable int position = 0;
    int step = 0;
    QStringList calls;
    const ScriptedServer* watched = nullptr;  // requests seen when a hook runs
    std::vector<size_t> seenAt;

    int playPosition() const override {
        const int p = position;
        position += step;
        return p;
    }
    void removeMediaViews(int id) override {
        note();
        calls << QStringLiteral("views %1").arg(id);
    }
    void refreshTimeAxis() override { calls << QStringLiteral("refresh"); }

    void note() {
        if (watched) seenAt.push_back(watched->RequestCount());
    }
};

// How a server answers: 0 echo with result 0, 1 close, 2 say nothing.
Reply answer(const Request& r, int mode) {
    if (mode == 1) return Reply::CloseNow();
    if (mode == 2) return Reply::Nothing();
    return Reply::Echo(r.head, 0);
}

std::vector<uint32_t> codes(const ScriptedServer& s) {
    std::vector<uint32_t> out;
    for (const Request& r : s.Requests()) out.push_back(r.head.command);
    return out;
}

int32_t intAt(const Request& r, size_t offset) { return ReadAt<int32_t>(&r.head, offset); }
double realAt(const Request& r, size_t offset) { return ReadAt<double>(&r.head, offset); }

class ServerLink : public ::testing::Test {
protected:
    void SetUp() override {
        c.setHooks(nullptr);
        c.clearProject();
        c.setHooks(&hooks);
        c.setPreview(&preview);
        // The preview's calls interleave with the views' calls.
        preview.onCall = [this](const QString& call) {
            if (call.startsWith(QLatin1String("remove"))) hooks.note();
            hooks.calls << call;
        };
        // Devices 1 and 3 are outputs 1 and 2 of server A, device 2 output 3 of B.
        addDevice(1, ipA, 1);
        addDevice(2, ipB, 3);
        addDevice(3, ipA, 2);
        connect(ipA, a);
        connect(ipB, b);
        c.setConnected(true);
    }
    void TearDown() override {
        c.setConnected(false);
        c.clientSession(ipA, 2);
        c.clientSession(ipB, 2);
        c.setHooks(nullptr);
        c.clearProject();
        c.setPreview(nullptr);
        CClientSession::SetReceiveBudgetMs(5000);
    }

    DeviceRecord& addDevice(int id, const QString& ip, int output) {
        DeviceRecord d;
        d.serverIp = ip;
        d.outputIndex = output;
        d.width = 1920;
        d.height = 1080;
        c.devices().insert(id, d);
        return c.devices()[id];
    }
    void connect(const QString& ip, const ScriptedServer& s) {
        CKestraneStageServer* session = c.clientSession(ip, 1);
        ASSERT_NE(session, nullptr);
        ASSERT_EQ(session->ConnectServer("127.0.0.1", s.port(), 2), 1);
    }
    // A media item known to server A only, and to the local preview.
    int addMediaOnA(int id) {
        MediaSource m;
        m.id = id;
        m.previewHandle = reinterpret_cast<void*>(0x99);
        m.serverHandles.insert(ipA, 41);
        c.media().insert(id, m);
        return id;
    }

    GConfig& c = GConfig::instance();
    Hooks hooks;
    RecordingPreview preview;
    // The map keys are names only; both servers listen on 127.0.0.1.
    const QString ipA = QStringLiteral("10.20.0.1");
    const QString ipB = QStringLiteral("10.20.0.2");
    std::atomic<int> modeA{0};
    std::atomic<int> modeB{0};
    ScriptedServer a{[this](const Request& r) { return answer(r, modeA.load()); }};
    ScriptedServer b{[this](const Request& r) { return answer(r, modeB.load()); }};
};

}  // namespace

// ---------------------------------------------------------------------------
// Transport

TEST_F(ServerLink, TransportGoesOnceToEveryServerInOrder) {
    struct Case {
        const char* name;
        std::function<void()> op;
        std::vector<uint32_t> want;
    };
    const std::vector<Case> cases = {
        {"play", [&] { c.playServers(1.5); }, {NETCMD::SetCurrentTimeLine, NETCMD::SetPlayRate, NETCMD::PlayMedia}},
        {"pause", [&] { c.pauseServers(); }, {NETCMD::SetCurrentTimeLine, NETCMD::PauseMedia}},
        {"stop", [&] { c.stopServers(); }, {NETCMD::SetCurrentTimeLine, NETCMD::StopMedia}},
    };
    size_t before = 0;
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        hooks.position = 2500;
        k.op();
        for (const ScriptedServer* s : {&a, &b}) {
            const std::vector<Request> all = s->Requests();
            ASSERT_EQ(all.size(), before + k.want.size());
            for (size_t i = 0; i < k.want.size(); ++i) EXPECT_EQ(all[before + i].head.command, k.want[i]);
            EXPECT_EQ(realAt(all[before], 44), 2.5);  // seconds
        }
        before += k.want.size();
    }
    const Request rate = a.Requests().at(1);
    EXPECT_EQ(intAt(rate, 4), 0);  // every media of the server
    EXPECT_EQ(realAt(rate, 44), 1.5);
}

TEST_F(ServerLink, TimePushIsReadWhenEachSendRuns) {
    ScopedApp loop;
    hooks.position = 1000;
    hooks.step = 60;
    c.sendTimeToServers();
    ASSERT_TRUE(spinUntil([&] { return a.RequestCount() >= 2 && b.RequestCount() >= 2; }));
    for (const ScriptedServer* s : {&a, &b}) {
        const std::vector<Request> all = s->Requests();
        ASSERT_EQ(all.size(), 2u);
        EXPECT_EQ(all[0].head.command, NETCMD::SetCurrentTimeLine);
        EXPECT_EQ(all[1].head.command, NETCMD::SetCurrentTimeLine);
        EXPECT_EQ(realAt(all[0], 44), 1.0);
        EXPECT_EQ(realAt(all[1], 44), 1.06);
    }
}

TEST_F(ServerLink, TimePushSkipsASessionDroppedMeanwhile) {
    ScopedApp loop;
    c.sendTimeToServers();
    c.clientSession(ipA, 2);
    ASSERT_TRUE(spinUntil([&] { return b.RequestCount() >= 2; }));
    EXPECT_EQ(a.RequestCount(), 0u);
}

// ---------------------------------------------------------------------------
// Calibration and settings of one device

TEST_F(ServerLink, DeviceCommandsReachOnlyItsServerOnItsChannel) {
    DeviceRecord& d = *c.device(3);
    d.grid[3][7] = DOUBLE_POINT{-0.5, 0.75};
    d.colorRatio[0] = 0.5f;
    d.colorRatio[1] = 0.25f;
    d.colorRatio[2] = 0.75f;
    d.edgeParam[1][2] = 0.125f;
    d.colorCurve[0][5] = 0x60;
    d.colorCurve[2][16] = 0xF0;

    c.sendVertexData(3);
    c.sendColorCorrection(3, 1);
    c.sendColorCorrection(3, 2);
    c.sendColorCorrection(3, 3);
    c.sendColorCorrection(3, 0);
    c.sendColorCorrection(3, 4);
    c.sendCommonData(3, 1);
    c.sendVertexData(77);  // no such device

    EXPECT_EQ(b.RequestCount(), 0u);
    const std::vector<Request> got = a.Requests();
    ASSERT_EQ(got.size(), 5u);

    const Request& grid = got[0];
    EXPECT_EQ(grid.head.command, NETCMD::SetVertexData);
    EXPECT_EQ(intAt(grid, 4), 2);
    EXPECT_EQ(intAt(grid, 8), NETCMD::VertexSub::Whole);
    ASSERT_EQ(grid.body.size(), sizeof(VERTEX_GRID));
    EXPECT_EQ(std::memcmp(grid.body.data(), &d.grid, sizeof(VERTEX_GRID)), 0);
    EXPECT_EQ(ReadAt<double>(grid.body.data(), (3 * 41 + 7) * 16), -0.5);

    const Request& ratio = got[1];
    EXPECT_EQ(ratio.head.command, NETCMD::SetGlobalColor);
    EXPECT_EQ(intAt(ratio, 4), 2);
    EXPECT_EQ(intAt(ratio, 8), NETCMD::ColorSub::Ratio);
    EXPECT_EQ(realAt(ratio, 44), 0.5);
    EXPECT_EQ(realAt(ratio, 52), 0.25);
    EXPECT_EQ(realAt(ratio, 60), 0.75);

    const Request& edge = got[2];
    EXPECT_EQ(edge.head.command, NETCMD::SetEdgeEliminateParam);
    EXPECT_EQ(intAt(edge, 4), 2);
    EXPECT_EQ(intAt(edge, 8), 0);
    for (int k = 0; k < 3; ++k) {
        EXPECT_DOUBLE_EQ(realAt(edge, 44 + 24 * k), d.edgeParam[0][k]);
        EXPECT_DOUBLE_EQ(realAt(edge, 52 + 24 * k), d.edgeParam[1][k]);
        EXPECT_DOUBLE_EQ(realAt(edge, 60 + 24 * k), d.edgeParam[2][k]);
    }
    EXPECT_EQ(realAt(edge, 52 + 48), 0.125);

    const Request& curves = got[3];
    EXPECT_EQ(curves.head.command, NETCMD::SetGlobalColor);
    EXPECT_EQ(intAt(curves, 4), 2);
    EXPECT_EQ(intAt(curves, 8), NETCMD::ColorSub::Curves);
    EXPECT_EQ(intAt(curves, 12), 17);
    const uint8_t levels[17] = {0x00, 0x0f, 0x1f, 0x2f, 0x3f, 0x4f, 0x5f, 0x6f, 0x7f,
                                0x8f, 0x9f, 0xaf, 0xbf, 0xcf, 0xdf, 0xef, 0xff};
    EXPECT_EQ(std::memcmp(curves.head.textParam, levels, 17), 0);
    ASSERT_EQ(curves.body.size(), 768u);
    EXPECT_EQ(std::memcmp(curves.body.data(), d.colorCurve[0], 17), 0);
    EXPECT_EQ(std::memcmp(curves.body.data() + 256, d.colorCurve[1], 17), 0);
    EXPECT_EQ(std::memcmp(curves.body.data() + 512, d.colorCurve[2], 17), 0);
    EXPECT_EQ(curves.body[5], 0x60);
    EXPECT_EQ(curves.body[512 + 16], 0xF0);
    EXPECT_EQ(curves.body[17], 0);  // the 18th byte stays home

    const Request& common = got[4];
    EXPECT_EQ(common.head.command, NETCMD::SetCommonData);
    EXPECT_EQ(intAt(common, 4), 1);
    EXPECT_EQ(intAt(common, 8), 2);
    EXPECT_EQ(intAt(common, 12), 0);
    EXPECT_EQ(common.head.bodyLength, 0u);
}

TEST_F(ServerLink, CommonDataToAllGoesOncePerServer) {
    c.sendCommonDataToAll(7, 0x00FF00);
    for (const ScriptedServer* s : {&a, &b}) {
        const std::vector<Request> got = s->Requests();
        ASSERT_EQ(got.size(), 1u);
        EXPECT_EQ(got[0].head.command, NETCMD::SetCommonData);
        EXPECT_EQ(intAt(got[0], 4), 7);
        EXPECT_EQ(intAt(got[0], 8), 0x00FF00);
    }
}

TEST_F(ServerLink, BackgroundPictureTravelsWithItsName) {
    testsupport::TempDir dir;
    std::filesystem::create_directories(dir / "pics");
    const std::string content = "\x89PNG picture bytes";
    testsupport::WriteFile(dir / "pics" / "背景.png", content);
    // Qt hands out paths with forward slashes.
    const QString path = QString::fromStdString(dir.str()) + QStringLiteral("/pics/背景.png");
    c.setBackgroundImage(2, path);
    EXPECT_EQ(a.RequestCount(), 0u);
    const std::vector<Request> got = b.Requests();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].head.command, NETCMD::SetBackgroundImage);
    EXPECT_EQ(intAt(got[0], 4), static_cast<int32_t>(content.size()));
    EXPECT_EQ(std::string(got[0].head.textParam), platform::Utf8ToGbk("背景.png"));
    EXPECT_EQ(std::string(got[0].body.begin(), got[0].body.end()), content);

    // A file that is not there sends nothing.
    c.setBackgroundImage(2, path + QStringLiteral(".gone"));
    EXPECT_EQ(b.RequestCount(), 1u);
}

// ---------------------------------------------------------------------------
// Media

TEST_F(ServerLink, HideAndMuteAddressOnlyTheServersHoldingTheMedia) {
    addMediaOnA(7);
    c.hideMedia(true, 7);
    c.muteMedia(true, 7);
    c.hideMedia(true, 55);  // unknown media: nothing
    EXPECT_EQ(b.RequestCount(), 0u);  // a null handle would reach every media of B
    const std::vector<Request> got = a.Requests();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].head.command, NETCMD::HideMedia);
    EXPECT_EQ(intAt(got[0], 4), 41);
    EXPECT_EQ(intAt(got[0], 8), 1);
    EXPECT_EQ(got[1].head.command, NETCMD::MuteMedia);
    EXPECT_EQ(intAt(got[1], 4), 41);
    EXPECT_EQ(intAt(got[1], 8), 1);
    EXPECT_EQ(hooks.calls, QStringList{QStringLiteral("mute 1 153")});
}

TEST_F(ServerLink, MuteWithoutPreviewHandleDoesNothing) {
    MediaSource m;
    m.serverHandles.insert(ipA, 5);
    c.media().insert(8, m);
    c.muteMedia(true, 8);
    EXPECT_EQ(a.RequestCount(), 0u);
    EXPECT_TRUE(hooks.calls.isEmpty());
}

TEST_F(ServerLink, MuteAllSetsTheFlagAndAddressesEveryMedia) {
    c.muteMedia(true, 0);
    EXPECT_TRUE(c.isMuted());
    c.muteMedia(false, 0);
    EXPECT_FALSE(c.isMuted());
    for (const ScriptedServer* s : {&a, &b}) {
        const std::vector<Request> got = s->Requests();
        ASSERT_EQ(got.size(), 2u);
        EXPECT_EQ(got[0].head.command, NETCMD::MuteMedia);
        EXPECT_EQ(intAt(got[0], 4), 0);
        EXPECT_EQ(intAt(got[0], 8), 1);
        EXPECT_EQ(intAt(got[1], 8), 0);
    }
    EXPECT_EQ(hooks.calls, (QStringList{QStringLiteral("mute 1 0"), QStringLiteral("mute 0 0")}));
}

TEST_F(ServerLink, RemovingMediaInItsOrder) {
    addMediaOnA(7);
    c.setSaved(true);
    hooks.watched = &a;
    c.removeMedia(7);
    const std::vector<Request> got = a.Requests();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].head.command, NETCMD::RemoveMedia);
    EXPECT_EQ(intAt(got[0], 4), 41);
    EXPECT_EQ(b.RequestCount(), 0u);
    // Views first, then the servers, then the preview; the record goes last.
    EXPECT_EQ(hooks.calls,
              (QStringList{QStringLiteral("views 7"), QStringLiteral("remove 153"), QStringLiteral("refresh")}));
    EXPECT_EQ(hooks.seenAt, (std::vector<size_t>{0, 1}));
    EXPECT_EQ(c.mediaSource(7), nullptr);
    EXPECT_FALSE(c.isSaved());
}

// ---------------------------------------------------------------------------
// Not connected, absent, gone and silent servers

TEST_F(ServerLink, WithoutTheConnectedFlagOnlyMuteAndRemovalRun) {
    ScopedApp loop;
    addMediaOnA(7);
    c.setConnected(false);
    c.playServers(1.0);
    c.pauseServers();
    c.stopServers();
    c.sendTimeToServers();
    c.hideMedia(true, 7);
    c.setBackgroundImage(1, QStringLiteral("/etc/hostname"));
    c.sendColorCorrection(1, 1);
    c.sendVertexData(1);
    c.sendCommonDataToAll(1, 1);
    c.sendCommonData(1, 1);
    // Any queued time push would have run before this.
    bool marker = false;
    QTimer::singleShot(120, &loop.app, [&] { marker = true; });
    ASSERT_TRUE(spinUntil([&] { return marker; }));
    EXPECT_EQ(a.RequestCount(), 0u);
    EXPECT_EQ(b.RequestCount(), 0u);

    c.muteMedia(true, 7);
    EXPECT_EQ(codes(a), std::vector<uint32_t>{NETCMD::MuteMedia});
    c.removeMedia(7);
    EXPECT_EQ(codes(a), std::vector<uint32_t>{NETCMD::MuteMedia});  // not from the servers
    EXPECT_EQ(c.mediaSource(7), nullptr);
    EXPECT_TRUE(hooks.calls.contains(QStringLiteral("remove 153")));
}

TEST_F(ServerLink, AServerWithoutSessionIsSkipped) {
    c.clientSession(ipA, 2);
    c.pauseServers();
    EXPECT_EQ(a.RequestCount(), 0u);
    EXPECT_EQ(codes(b), (std::vector<uint32_t>{NETCMD::SetCurrentTimeLine, NETCMD::PauseMedia}));
}

TEST_F(ServerLink, AServerThatLeavesDoesNotStopTheOthers) {
    modeA = 1;
    c.stopServers();
    // A took the first command and closed; the second finds no connection.
    EXPECT_EQ(codes(a), std::vector<uint32_t>{NETCMD::SetCurrentTimeLine});
    EXPECT_EQ(codes(b), (std::vector<uint32_t>{NETCMD::SetCurrentTimeLine, NETCMD::StopMedia}));
}

TEST_F(ServerLink, ASilentServerCostsOneReceiveBudget) {
    CClientSession::SetReceiveBudgetMs(200);
    modeA = 2;
    c.playServers(1.0);
    // The unanswered exchange leaves A's stream misaligned: it is shut, and
    // the later commands are not sent to it.
    EXPECT_EQ(codes(a), std::vector<uint32_t>{NETCMD::SetCurrentTimeLine});
    EXPECT_EQ(codes(b).size(), 3u);
}

// Reading a channel back names it by its place in the world the server was
// sent, whatever its output number, counted from 1.
TEST_F(ServerLink, ReadBacksAddressTheChannelByItsPlaceInTheWorld) {
    c.worlds().clear();
    c.updateWorldConfigs(3);  // server A: output 2 first,
    c.updateWorldConfigs(1);  // then output 1
    c.updateWorldConfigs(2);  // server B: output 3 alone
    addDevice(4, ipA, 7);     // an output the world does not hold
    EXPECT_EQ(c.worldChannelIndex(ipA, 2), 0);
    EXPECT_EQ(c.worldChannelIndex(ipA, 1), 1);
    EXPECT_EQ(c.worldChannelIndex(ipB, 3), 0);
    EXPECT_EQ(c.worldChannelIndex(ipA, 3), -1);

    struct Case {
        int device;
        const ScriptedServer* server;
        int index;  // on the wire, counted from 1 as the server's list is; -1: nothing is sent
    };
    const Case cases[] = {{1, &a, 2}, {3, &a, 1}, {2, &b, 1}, {4, &a, -1}};
    for (const Case& k : cases) {
        SCOPED_TRACE(k.device);
        const size_t before = k.server->RequestCount();
        DOUBLE_POINT grid[41][41] = {};
        float ea[3], eb[3], ec[3];
        const int vertex = c.readVertexData(k.device, grid);
        const int edge = c.readEdgeEliminateParam(k.device, ea, eb, ec);
        const std::vector<Request> all = k.server->Requests();
        if (k.index < 0) {
            EXPECT_EQ(vertex, 1);
            EXPECT_EQ(edge, 1);
            EXPECT_EQ(all.size(), before);
            continue;
        }
        EXPECT_EQ(edge, 0);
        ASSERT_EQ(all.size(), before + 2);
        EXPECT_EQ(all[before].head.command, NETCMD::GetVertexData);
        EXPECT_EQ(intAt(all[before], 4), k.index);
        EXPECT_EQ(all[before + 1].head.command, NETCMD::GetEdgeEliminateParam);
        EXPECT_EQ(intAt(all[before + 1], 4), k.index);
    }
    c.setConnected(false);
    DOUBLE_POINT grid[41][41] = {};
    EXPECT_EQ(c.readVertexData(1, grid), -1);
}
