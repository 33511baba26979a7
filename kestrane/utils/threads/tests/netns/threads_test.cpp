// The connect and media threads against scripted display servers on their
// fixed command port (this program runs in its own network namespace).
#include <gtest/gtest.h>

#include <QCoreApplication>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "kestrane/deviceconnectthread.h"
#include "kestrane/gconfig.h"
#include "kestrane/mediathread.h"
#include "lintra/KestraneStageServer.h"
#include "lintra/netcodes.h"
#include "platform/packed.h"
#include "support/QtSpin.h"
#include "support/ScriptedServer.h"
#include "support/support.h"

namespace {

using lintratest::Reply;
using lintratest::Request;
using lintratest::ScriptedServer;

QCoreApplication* app() {
    static int argc = 1;
    static char name[] = "kestrane_threads_netns_tests";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* a = new QCoreApplication(argc, argv);
    return a;
}

std::vector<uint32_t> codes(const ScriptedServer& s) {
    std::vector<uint32_t> out;
    for (const Request& r : s.Requests()) out.push_back(r.head.command);
    return out;
}
size_t count(const ScriptedServer& s, uint32_t code) {
    size_t n = 0;
    for (const Request& r : s.Requests()) n += r.head.command == code;
    return n;
}

// Runs a thread to its end on the event loop; the thread deletes itself.
template <class Thread>
void runToEnd(Thread* t, std::atomic<bool>& finished) {
    QObject::connect(t, &QThread::finished, t, &QObject::deleteLater);
    QObject::connect(t, &QThread::finished, [&finished] { finished = true; });
    t->start(QThread::InheritPriority);
    ASSERT_TRUE(spinUntil([&] { return finished.load(); }, 60000));
    // The queued signals emitted before the end arrive too.
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
}

class ThreadsTest : public ::testing::Test {
protected:
    void SetUp() override {
        app();
        c().clearProject();
    }
    void TearDown() override { c().clearProject(); }
    static GConfig& c() { return GConfig::instance(); }

    void addDevice(int id, const char* ip, int output) {
        DeviceRecord d;
        d.serverIp = ip;
        d.width = 1920;
        d.height = 1080;
        d.outputIndex = output;
        c().devices().insert(id, d);
        c().updateWorldConfigs(id);
    }

    struct ConnectResult {
        bool got = false;
        QList<int> ids;
        QString ip;
        int result = 99;
        bool connect = false;
    };
    ConnectResult connectThread(const char* ip, bool connect) {
        ConnectResult r;
        std::atomic<bool> finished{false};
        auto* t = new DeviceConnectThread({1, 2}, ip, connect);
        QObject::connect(t, &DeviceConnectThread::connectFinished, app(),
                         [&r](QList<int> ids, QString ip, int result, bool connect) {
                             r = ConnectResult{true, ids, ip, result, connect};
                         });
        runToEnd(t, finished);
        return r;
    }
};

TEST_F(ThreadsTest, ConnectingClearsTheServerAndSendsItsWorld) {
    ScriptedServer server([](const Request& r) { return Reply::Echo(r.head, r.head.command == 10 ? 5 : 0); },
                          "127.0.0.2", 30100);
    addDevice(1, "127.0.0.2", 1);
    addDevice(2, "127.0.0.2", 2);
    const ConnectResult r = connectThread("127.0.0.2", true);
    ASSERT_TRUE(r.got);
    EXPECT_EQ(r.ids, (QList<int>{1, 2}));
    EXPECT_EQ(r.ip, "127.0.0.2");
    EXPECT_EQ(r.result, 5);
    EXPECT_TRUE(r.connect);
    ASSERT_EQ(codes(server), (std::vector<uint32_t>{NETCMD::ClearAllMedia, NETCMD::ResetWorldConfig}));
    EXPECT_EQ(server.Requests()[1].body.size(), 2u * 27038u);
    ASSERT_NE(c().clientSession("127.0.0.2", 0), nullptr);
    EXPECT_TRUE(c().clientSession("127.0.0.2", 0)->IsConnected());
}

// A world rebuilds the server's channels without their curves and edge
// values: each device's follow it.
TEST_F(ThreadsTest, AnAcceptedWorldIsFollowedByEachDevicesEdgeValuesAndCurves) {
    ScriptedServer server([](const Request& r) { return Reply::Echo(r.head, 0); }, "127.0.0.2", 30100);
    addDevice(1, "127.0.0.2", 1);
    addDevice(2, "127.0.0.2", 2);
    c().device(2)->edgeParam[1][2] = 0.25f;
    c().device(2)->colorCurve[0][16] = 200;
    const ConnectResult r = connectThread("127.0.0.2", true);
    ASSERT_TRUE(r.got);
    EXPECT_EQ(r.result, 0);
    ASSERT_EQ(codes(server),
              (std::vector<uint32_t>{NETCMD::ClearAllMedia, NETCMD::ResetWorldConfig, NETCMD::SetEdgeEliminateParam,
                                     NETCMD::SetGlobalColor, NETCMD::SetEdgeEliminateParam, NETCMD::SetGlobalColor}));
    const std::vector<Request> all = server.Requests();
    // Device 2's: its output, green's edited value (the eighth real), red's top level.
    EXPECT_EQ(all[4].head.intParam[0], 2);
    const double edited = all[4].head.realParam[7];  // the head is packed
    EXPECT_EQ(edited, 0.25);
    EXPECT_EQ(all[5].head.intParam[0], 2);
    ASSERT_EQ(all[5].body.size(), 768u);
    EXPECT_EQ(all[5].body[16], 200);
}

TEST_F(ThreadsTest, ConnectFailuresAndDisconnects) {
    ScriptedServer server([](const Request& r) { return Reply::Echo(r.head, 0); }, "127.0.0.2", 30100);
    struct Case {
        const char* name;
        const char* ip;
        bool connect;
        bool world;
        int result;
        bool sessionKept;
        std::vector<uint32_t> sent;
    };
    const Case cases[] = {
        // The unconnected session stays for the main window to retry with.
        {"nothing listens", "127.0.0.3", true, true, -1, true, {}},
        {"never connected, dropped", "127.0.0.4", false, true, 0, false, {}},
        // No world: nothing is sent in its place.
        {"no world", "127.0.0.2", true, false, -1, true, {NETCMD::ClearAllMedia}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        c().clearProject();
        if (k.world) addDevice(1, k.ip, 1);
        const size_t before = server.RequestCount();
        const ConnectResult r = connectThread(k.ip, k.connect);
        ASSERT_TRUE(r.got);
        EXPECT_EQ(r.result, k.result);
        EXPECT_EQ(r.connect, k.connect);
        EXPECT_EQ(c().clientSession(k.ip, 0) != nullptr, k.sessionKept);
        std::vector<uint32_t> sent = codes(server);
        sent.erase(sent.begin(), sent.begin() + long(before));
        EXPECT_EQ(sent, k.sent);
    }
}

// A display server that takes uploads and hands out media handles.
struct MediaServer {
    std::atomic<uint32_t> nextHandle{100};
    std::atomic<bool> refuseHandles{false};
    std::atomic<int> uploadsToAccept{1000};
    std::atomic<int> uploadStarts{0};
    ScriptedServer server{[this](const Request& r) { return answer(r); }, "127.0.0.2", 30100};

    Reply answer(const Request& r) {
        Reply a = Reply::Echo(r.head, 0);
        switch (r.head.command) {
        case NETCMD::UploadStart: ++uploadStarts; break;
        case NETCMD::UploadData:
            if (uploadStarts.load() > uploadsToAccept.load()) return Reply::CloseNow();
            a.head.intParam[0] = 1;
            break;
        case NETCMD::AddMedia: a.head.intParam[0] = refuseHandles ? 0 : int32_t(nextHandle++); break;
        default: break;
        }
        return a;
    }
};

class MediaThreadTest : public ThreadsTest {
protected:
    void SetUp() override {
        ThreadsTest::SetUp();
        addDevice(1, "127.0.0.2", 1);
        addDevice(3, "127.0.0.9", 1);
        addDevice(2, "127.0.0.2", 2);
        CKestraneStageServer* s = c().clientSession("127.0.0.2", 1);
        ASSERT_EQ(s->ConnectServer("127.0.0.2", 30100, 2), 1);
    }
    int addMedia(int id, const std::string& name, size_t size, qint64 key, quint32 handle = 0) {
        MediaSource m;
        m.kind = 0;
        m.path = QString::fromStdString((dir / name).string());
        testsupport::WriteFile(dir / name, std::string(size, char('a' + id)));
        m.start = 1000 * id;
        m.duration = 4000;
        m.layer = id;
        m.x = 10.4;
        m.y = 20.6;
        m.width = 100.7;
        m.height = 50.2;
        m.sourceKey = key;
        if (handle) m.serverHandles.insert("127.0.0.2", handle);
        c().media().insert(id, m);
        return id;
    }
    struct Status {
        int status;
        qint64 value;
        int last;
    };
    std::vector<Status> run(int mode, const std::function<void()>& afterStart = {}) {
        std::vector<Status> out;
        std::atomic<bool> finished{false};
        auto* t = new MediaThread("127.0.0.2", mode);
        EXPECT_EQ(t->deviceIds(), (QList<int>{1, 2}));
        QObject::connect(t, &MediaThread::mediaSyncStatus, app(),
                         [&out](QString, QList<int>, QList<int>, int status, qint64 value, int last) {
                             out.push_back({status, value, last});
                         });
        if (afterStart) {
            QObject::connect(t, &QThread::finished, t, &QObject::deleteLater);
            t->start();
            afterStart();
            t->wait();
            finished = true;
            spinUntil([&] { return !out.empty() && out.back().status != 1; });
            QCoreApplication::processEvents();
            QCoreApplication::processEvents();
            return out;
        }
        runToEnd(t, finished);
        return out;
    }
    MediaServer ms;
    testsupport::TempDir dir;
};

TEST_F(MediaThreadTest, FullRoundUploadsEachSourceOnceAndStoresTheHandles) {
    addMedia(1, "a.mp4", 1000, 7);
    addMedia(2, "a-copy.mp4", 1000, 7);  // same library entry: one upload
    addMedia(3, "b.mp4", 300, 0);        // no key: never shared
    addMedia(4, "c.mp4", 200, 0);
    const std::vector<Status> s = run(1);
    ASSERT_FALSE(s.empty());
    EXPECT_EQ(s.back().status, 2);
    EXPECT_EQ(s.back().value, 1500);
    EXPECT_EQ(s.back().last, 1);
    for (size_t k = 0; k + 1 < s.size(); ++k) EXPECT_EQ(s[k].status, 1);
    EXPECT_EQ(ms.uploadStarts.load(), 3);
    EXPECT_EQ(count(ms.server, NETCMD::AddMedia), 4u);
    EXPECT_EQ(codes(ms.server).back(), NETCMD::MuteMedia);
    QList<quint32> handles;
    for (int id : {1, 2, 3, 4}) handles << c().mediaRecord(id).serverHandles.value("127.0.0.2");
    EXPECT_EQ(handles, (QList<quint32>{100, 101, 102, 103}));

    // The layer number, window and placement of the first item.
    for (const Request& r : ms.server.Requests()) {
        if (r.head.command != NETCMD::AddMedia) continue;
        EXPECT_EQ(r.head.intParam[0], 0);  // a video file
        EXPECT_EQ(r.head.intParam[1], 999999 - 1);
        // Corners rounded from the stage position, the size added and cut.
        EXPECT_EQ((std::vector<int>{r.head.intParam[4], r.head.intParam[5], r.head.intParam[6], r.head.intParam[7]}),
                  (std::vector<int>{10, 21, 110, 71}));
        // The head is packed: its doubles are read by copy.
        EXPECT_EQ(platform::ReadAt<double>(&r.head, 44), 1.0);
        EXPECT_EQ(platform::ReadAt<double>(&r.head, 52), 5.0);
        break;
    }
}

TEST_F(MediaThreadTest, UpdateRoundsAndFailures) {
    struct Case {
        const char* name;
        int mode;
        bool refuseHandles;
        int uploadsToAccept;
        bool withMedia;
        int status;
        qint64 value;
        size_t adds, updates, uploads;
    };
    const Case cases[] = {
        // Held media are updated, the one without a handle here is added.
        {"update without upload", 3, false, 1000, true, 2, 0, 1, 1, 0},
        {"no media: only the mute state", 2, false, 1000, false, 2, 0, 0, 0, 0},
        {"the server gives no handle", 3, false, 1000, true, -1, 0, 1, 1, 0},
        {"the second upload is cut off", 2, false, 1, true, -1, 700, 0, 0, 2},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        c().media().clear();
        ms.refuseHandles = std::string(k.name) == "the server gives no handle";
        ms.uploadsToAccept = k.uploadsToAccept;
        ms.uploadStarts = 0;
        if (k.withMedia) {
            addMedia(1, "held.mp4", 700, 1, 55);
            addMedia(2, "new.mp4", 900, 2);
        }
        const size_t before = ms.server.RequestCount();
        const std::vector<Status> s = run(k.mode);
        ASSERT_FALSE(s.empty());
        EXPECT_EQ(s.back().status, k.status);
        EXPECT_EQ(s.back().value, k.value);
        EXPECT_EQ(s.back().last, k.mode);
        if (k.mode == 3)
            for (const Status& st : s) EXPECT_NE(st.status, 1);
        std::vector<uint32_t> sent = codes(ms.server);
        sent.erase(sent.begin(), sent.begin() + long(before));
        auto n = [&](uint32_t code) { return size_t(std::count(sent.begin(), sent.end(), code)); };
        EXPECT_EQ(n(NETCMD::AddMedia), k.adds);
        EXPECT_EQ(n(NETCMD::UpdateMedia), k.updates);
        EXPECT_EQ(size_t(ms.uploadStarts.load()), k.uploads);
        EXPECT_EQ(n(NETCMD::MuteMedia), k.status == 2 ? 1u : 0u);
        if (!k.withMedia) EXPECT_EQ(sent, std::vector<uint32_t>{NETCMD::MuteMedia});
        // The session may have been shut after a broken exchange.
        if (!c().clientSession("127.0.0.2", 0)->IsConnected())
            ASSERT_EQ(c().clientSession("127.0.0.2", 0)->ConnectServer("127.0.0.2", 30100, 2), 1);
    }
}

TEST_F(MediaThreadTest, AMediaDeletedDuringTheRoundLeavesTheServerToo) {
    addMedia(1, "gone.mp4", 100, 1);
    const std::vector<Status> s = run(3, [] {
        // On the GUI thread while the worker runs: the record goes first.
        GConfig::instance().media().remove(1);
    });
    ASSERT_FALSE(s.empty());
    EXPECT_EQ(s.back().status, 2);
    ASSERT_TRUE(spinUntil([&] { return count(ms.server, NETCMD::RemoveMedia) == 1; }));
    for (const Request& r : ms.server.Requests())
        if (r.head.command == NETCMD::RemoveMedia) EXPECT_EQ(r.head.intParam[0], 100);
}

TEST(MediaThreadSession, NoSessionOrNotConnectedEndsAtOnce) {
    app();
    GConfig::instance().clearProject();
    for (bool makeSession : {false, true}) {
        if (makeSession) GConfig::instance().clientSession("127.0.0.7", 1);
        std::atomic<bool> finished{false};
        QList<int> statuses;
        auto* t = new MediaThread("127.0.0.7", 1);
        QObject::connect(t, &MediaThread::mediaSyncStatus, app(),
                         [&](QString, QList<int>, QList<int>, int status, qint64, int) { statuses << status; });
        runToEnd(t, finished);
        EXPECT_EQ(statuses, QList<int>{-1});
    }
    GConfig::instance().clearProject();
}

}  // namespace
