// Transport paths against a wall of two whole display servers, each in its
// own namespace: after each path the servers' own report of their video
// (play state from the media list, position from the frame query) must
// match the console within one frame, and keep matching.
#include <QElapsedTimer>
#include <QFileInfo>

#include <atomic>
#include <cmath>
#include <cstring>

#include "../qt/axisfixture.h"
#include "kestrane/deviceconnectthread.h"
#include "kestrane/mediathread.h"
#include "lintra/ClientSession.h"
#include "lintra/netdef.h"
#include "support/RecordingPreview.h"
#include "support/RemoteServer.h"
#include "support/support.h"

namespace {

namespace fs = std::filesystem;

// One frame of the test video (25 frames a second).
constexpr double kFrame = 0.040;
constexpr int kLengthMs = 100000;

template <class T>
bool runToEnd(T* thread) {
    std::atomic<bool> finished{false};
    QObject::connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    QObject::connect(thread, &QThread::finished, [&finished] { finished = true; });
    thread->start(QThread::InheritPriority);
    QDeadlineTimer deadline(180000);
    while (!finished.load() && !deadline.hasExpired()) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    return finished.load();
}

template <typename Condition>
bool waitLong(Condition condition, int ms = 60000) {
    QDeadlineTimer deadline(ms);
    while (!condition()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

void idle(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

// What a server says of its video.
struct Report {
    bool ok = false;
    int state = -1;  // 1 playing, 2 paused, 3 stopped
    double position = 0.0;
    // The console's position (s) around the exchange: before and after.
    double before = 0.0;
    double after = 0.0;
};

class TransportE2E : public AxisTest {
protected:
    void SetUp() override {
        AxisTest::SetUp();
        GConfig::instance().setPreview(&preview);
        for (int k = 0; k < 2; ++k) {
            servers[k].screen = "640x360x24";
            ASSERT_TRUE(servers[k].Start(k + 1, dir / ("wall" + std::to_string(k)))) << servers[k].ErrorText();
        }
        buildWall();
    }
    void TearDown() override {
        GConfig& config = GConfig::instance();
        axis->pause();
        config.setConnected(false);
        for (auto& s : servers) config.clientSession(QString::fromStdString(s.Address()), 2);
        for (auto& p : probes) p.reset();
        AxisTest::TearDown();
        config.setPreview(nullptr);
    }

    QString ip(int k) const { return QString::fromStdString(servers[k].Address()); }

    // Two devices side by side and one 102 s video over both, on the first
    // layer from 0 to the end of a 100 s timeline; connected, media sent.
    void buildWall() {
        GConfig& config = GConfig::instance();
        for (int k = 0; k < 2; ++k) {
            DeviceRecord d;
            d.name = QStringLiteral("屏%1").arg(k + 1);
            d.serverIp = ip(k);
            d.outputIndex = 1;
            d.width = 640;
            d.height = 360;
            d.stageX = 640 * k;
            config.devices().insert(k + 1, d);
            config.updateWorldConfigs(k + 1);
        }
        const fs::path video = dir / "count.mp4";
        int status = 0;
        const std::string out = testsupport::RunShell(
            "ffmpeg -v error -y -f lavfi -i testsrc=size=160x90:rate=25 -t 102 -pix_fmt yuv420p -g 25 '" +
                video.string() + "' 2>&1",
            &status);
        ASSERT_EQ(status, 0) << out;
        MediaSource m;
        m.id = 1;
        m.kind = 0;
        m.path = QString::fromStdString(video.string());
        m.fileName = QFileInfo(m.path).fileName();
        m.duration = kLengthMs;
        m.naturalLength = 102000;
        m.nativeWidth = 160;
        m.nativeHeight = 90;
        m.x = 0;
        m.y = 0;
        m.width = 1280;
        m.height = 360;
        m.sourceKey = 100;
        config.media().insert(m.id, m);
        axis->addItemToLayer(m.id, rowOf(QStringLiteral("L1")));
        ASSERT_TRUE(waitFor([&] { return strip(QStringLiteral("L1"))->mediaIds().size() == 1; }));
        ASSERT_EQ(config.mediaSource(1)->start, 0);
        config.setTimelineLength(kLengthMs, 0);

        for (int k = 0; k < 2; ++k) {
            int result = 99;
            auto* t = new DeviceConnectThread({k + 1}, ip(k), true);
            QObject::connect(t, &DeviceConnectThread::connectFinished, axis.get(),
                             [&result](QList<int>, QString, int r, bool) { result = r; });
            ASSERT_TRUE(runToEnd(t));
            ASSERT_EQ(result, 0) << servers[k].ErrorText();
            int sync = 0;
            auto* mt = new MediaThread(ip(k), 1);
            QObject::connect(mt, &MediaThread::mediaSyncStatus, axis.get(),
                             [&sync](QString, QList<int>, QList<int>, int s, qint64, int) {
                                 if (s != 1) sync = s;
                             });
            ASSERT_TRUE(runToEnd(mt));
            ASSERT_EQ(sync, 2) << servers[k].Log();
            probes[k] = servers[k].ConnectSession();
            ASSERT_NE(probes[k], nullptr);
        }
        config.setConnected(true);
        // The video is ready on both servers before any test begins.
        for (int k = 0; k < 2; ++k)
            ASSERT_TRUE(waitLong([&] { return report(k).ok; })) << servers[k].Log();
    }

    // The server's video: its state from the media list, its position from
    // the frame query.
    Report report(int k) {
        Report r;
        r.before = axis->playPosition() / 1000.0;
        tagNETHEAD list;
        lintra::InitHead(list, 501);
        void* body = nullptr;
        if (probes[k]->SendAdvancedCommand(list, nullptr, &body) != 1 || !body) return r;
        const int count = list.intParam[0];
        const auto* bytes = static_cast<const uint8_t*>(body);
        uint32_t handle = 0;
        for (int i = 0; i < count; ++i) {
            int32_t type = -1;
            std::memcpy(&type, bytes + i * 328 + 288, 4);
            if (type != 0) continue;
            std::memcpy(&r.state, bytes + i * 328 + 284, 4);
            std::memcpy(&handle, bytes + i * 328 + 308, 4);
            break;
        }
        delete[] static_cast<char*>(body);
        if (handle == 0) return r;
        tagNETHEAD frame;
        lintra::InitHead(frame, 516);
        frame.intParam[0] = static_cast<int32_t>(handle);
        if (probes[k]->SendSimpleCommand(frame) != 1 || frame.intParam[0] != 1) return r;
        std::memcpy(&r.position, reinterpret_cast<const uint8_t*>(&frame) + 44, 8);
        r.after = axis->playPosition() / 1000.0;
        r.ok = true;
        return r;
    }

    // Both servers agree with the console now: not playing at its paused
    // position, or playing at its running position, within one frame.
    ::testing::AssertionResult inStep(const char* when) {
        for (int k = 0; k < 2; ++k) {
            const Report r = report(k);
            if (!r.ok) return ::testing::AssertionFailure() << when << ": server " << k + 1 << " gave no report";
            const bool playing = !axis->isPaused();
            if ((r.state == 1) != playing)
                return ::testing::AssertionFailure() << when << ": server " << k + 1 << " state " << r.state
                                                     << ", console " << (playing ? "playing" : "paused");
            // The console's position within the exchange, widened by the
            // exchange itself while playing. A started video counts from
            // the first frame after the one it held while paused, so while
            // playing its clock may be that one frame further on.
            const double slack = playing ? 2 * kFrame : kFrame;
            const double lo = std::min(r.before, r.after) - slack, hi = std::max(r.before, r.after) + slack;
            if (r.position < lo - 1e-6 || r.position > hi + 1e-6)
                return ::testing::AssertionFailure() << when << ": server " << k + 1 << " at " << r.position
                                                     << " s, console " << r.before << ".." << r.after << " s";
        }
        return ::testing::AssertionSuccess();
    }
    // In step at once (after the commands have settled) and for 5 s more.
    void holdsInStep(const char* when) {
        // The commands and the seeks they start take a moment on a server.
        ASSERT_TRUE(waitLong([&] { return bool(inStep(when)); }, 20000)) << inStep(when);
        for (int i = 0; i < 10; ++i) {
            idle(500);
            ASSERT_TRUE(inStep(when));
        }
    }
    void playUntil(int ms) {
        ASSERT_TRUE(waitLong([&] { return axis->position() >= ms; }));
    }

    testsupport::TempDir dir;
    e2e::RemoteServer servers[2];
    std::unique_ptr<CClientSession> probes[2];
    RecordingPreview preview;
};

TEST_F(TransportE2E, PlayAtTheEndKeepsTheWallPausedThere) {
    axis->setCurrentTime(kLengthMs);
    axis->play();
    EXPECT_TRUE(axis->isPaused());
    holdsInStep("play at the end");

    // Forward to the end while playing, then play.
    axis->setCurrentTime(90000);
    axis->play();
    playUntil(91000);
    axis->forwardFiveSecond();
    axis->forwardFiveSecond();
    ASSERT_EQ(axis->position(), kLengthMs);
    axis->play();
    EXPECT_TRUE(axis->isPaused());
    holdsInStep("forward to the end, then play");
}

TEST_F(TransportE2E, KeyCuesLeaveTheWallAtTheirTime) {
    GConfig& config = GConfig::instance();
    PlayControlRecord hold;
    hold.id = 1;
    hold.type = 0;
    hold.time = 40000;
    hold.layerRow = rowOf(QStringLiteral("L3"));
    config.addPlayControl(hold);
    PlayControlRecord jump = hold;
    jump.id = 2;
    jump.type = 2;
    jump.time = 60000;
    jump.jumpTime = 20000;
    jump.stayPaused = 1;
    config.addPlayControl(jump);

    axis->setCurrentTime(5000);
    axis->play();
    playUntil(6500);
    axis->runKeyCue(1);
    EXPECT_EQ(axis->position(), 40000);
    holdsInStep("pause cue");

    axis->play();
    playUntil(41500);
    axis->runKeyCue(2);
    EXPECT_EQ(axis->position(), 20000);
    holdsInStep("jump cue");
}

TEST_F(TransportE2E, AStopWithinAJumpsDelayHoldsTheWallAtTheStart) {
    PlayControlRecord jump;
    jump.id = 1;
    jump.type = 2;
    jump.time = 3000;
    jump.jumpTime = 30000;
    jump.delay = 2;
    jump.layerRow = rowOf(QStringLiteral("L3"));
    GConfig::instance().addPlayControl(jump);
    axis->setCurrentTime(1000);
    axis->play();
    // The jump lands and waits its 2 s; Stop within them.
    ASSERT_TRUE(waitLong([&] { return axis->position() == 30000 && axis->resumePending(); }));
    axis->playStop();
    EXPECT_EQ(axis->position(), 0);
    holdsInStep("stop within the delay");
    EXPECT_TRUE(axis->isPaused());
}

TEST_F(TransportE2E, AMinuteAtOneAndAHalfKeepsTheWallInStep) {
    axis->setSpeedIndex(1);
    axis->setCurrentTime(0);
    axis->play();
    QElapsedTimer run;
    run.start();
    // A speed change while playing reaches the servers too.
    playUntil(3000);
    axis->setSpeedIndex(0);
    idle(2000);
    axis->setSpeedIndex(1);
    // The course of the run, shown when the end is out of step.
    std::string course;
    while (run.elapsed() < 60000) {
        idle(5000);
        ASSERT_FALSE(axis->isPaused());
        course += std::to_string(run.elapsed()) + " ms:";
        for (int k = 0; k < 2; ++k) {
            const Report r = report(k);
            course += " server " + std::to_string(k + 1) + " " + std::to_string(r.position - r.after);
        }
        course += "\n";
    }
    ASSERT_TRUE(inStep("after a minute at 1.5x")) << course;
    axis->pause();
    holdsInStep("paused after the run");
}

}  // namespace
