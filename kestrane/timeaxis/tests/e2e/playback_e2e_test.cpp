// Playback from the time axis on a wall of two display servers, each in its
// own namespace with its own screen: two videos whose colour changes every
// two seconds, a pause control and a jump control that stays paused. What
// the servers' screens show is read back.
#include <QDir>
#include <QElapsedTimer>
#include <QImage>

#include <atomic>

#include "../qt/axisfixture.h"
#include "kestrane/deviceconnectthread.h"
#include "kestrane/mediathread.h"
#include "kestrane/timeline.h"
#include "support/RecordingPreview.h"
#include "support/RemoteServer.h"
#include "support/XScreen.h"
#include "support/support.h"

namespace {

namespace fs = std::filesystem;

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
bool waitLong(Condition condition, int ms = 30000) {
    QDeadlineTimer deadline(ms);
    while (!condition()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

enum class Colour { Red, Green, Blue, Other };

class PlaybackE2E : public AxisTest {
protected:
    void SetUp() override {
        AxisTest::SetUp();
        GConfig::instance().setPreview(&preview);
        for (int k = 0; k < 2; ++k) {
            servers[k].screen = "640x360x24";
            ASSERT_TRUE(servers[k].Start(k + 1, dir / ("wall" + std::to_string(k)))) << servers[k].ErrorText();
        }
    }
    void TearDown() override {
        GConfig& config = GConfig::instance();
        axis->pause();
        config.setConnected(false);
        for (auto& s : servers) config.clientSession(QString::fromStdString(s.Address()), 2);
        AxisTest::TearDown();
        config.setPreview(nullptr);
    }

    QString ip(int k) const { return QString::fromStdString(servers[k].Address()); }

    // Six seconds: red, then green, then blue, two seconds each.
    QString makeVideo(const std::string& name) {
        const fs::path p = dir / name;
        int status = 0;
        const std::string out = testsupport::RunShell(
            "ffmpeg -v error -y -f lavfi -i color=c=red:s=320x180:r=25:d=2 -f lavfi -i color=c=lime:s=320x180:r=25:d=2 "
            "-f lavfi -i color=c=blue:s=320x180:r=25:d=2 -filter_complex concat=n=3:v=1:a=0 -pix_fmt yuv420p -g 5 '" +
                p.string() + "' 2>&1",
            &status);
        EXPECT_EQ(status, 0) << out;
        return QString::fromStdString(p.string());
    }

    Colour colourOf(int k, const std::string& name) {
        e2e::Screenshot shot;
        if (!e2e::GrabScreen(shot, servers[k].Display())) return Colour::Other;
        const QString folder = QStringLiteral(SV_BINARY_DIR) + "/artefacts";
        QDir().mkpath(folder);
        QImage(shot.rgb.data(), shot.width, shot.height, shot.width * 3, QImage::Format_RGB888)
            .save(folder + QStringLiteral("/playback_e2e_%1_server%2.png").arg(QString::fromStdString(name)).arg(k + 1));
        const int r = shot.R(shot.width / 2, shot.height / 2), g = shot.G(shot.width / 2, shot.height / 2),
                  b = shot.B(shot.width / 2, shot.height / 2);
        if (r > 180 && g < 80 && b < 80) return Colour::Red;
        if (g > 180 && r < 80 && b < 80) return Colour::Green;
        if (b > 180 && r < 80 && g < 80) return Colour::Blue;
        return Colour::Other;
    }
    // Both servers show this colour (within the wait).
    bool wallShows(Colour c, const std::string& name) {
        return waitLong([&] { return colourOf(0, name) == c && colourOf(1, name) == c; }, 20000);
    }

    testsupport::TempDir dir;
    e2e::RemoteServer servers[2];
    RecordingPreview preview;
};

TEST_F(PlaybackE2E, ThePauseControlFreezesTheWallAndTheJumpLeavesItAtItsTarget) {
    GConfig& config = GConfig::instance();
    config.setTimelineLength(60000, 0);
    // One device per server, side by side on the stage.
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
    // A video over each device, each on its own layer.
    const QString rows[2] = {QStringLiteral("L1"), QStringLiteral("L2")};
    for (int k = 0; k < 2; ++k) {
        MediaSource m;
        m.id = k + 1;
        m.kind = 0;
        m.path = makeVideo("colours" + std::to_string(k) + ".mp4");
        m.fileName = QFileInfo(m.path).fileName();
        m.duration = 6000;
        m.naturalLength = 6000;
        m.nativeWidth = 320;
        m.nativeHeight = 180;
        m.x = 640 * k;
        m.y = 0;
        m.width = 640;
        m.height = 360;
        m.sourceKey = 100 + k;
        config.media().insert(m.id, m);
        axis->addItemToLayer(m.id, rowOf(rows[k]));
    }
    ASSERT_TRUE(waitFor([&] {
        return strip(rows[0])->mediaIds().size() == 1 && strip(rows[1])->mediaIds().size() == 1;
    }));
    for (int k = 0; k < 2; ++k) ASSERT_EQ(config.mediaSource(k + 1)->start, 0);

    // Connect and bring the media to both servers, as the window does.
    for (int k = 0; k < 2; ++k) {
        int result = 99;
        auto* t = new DeviceConnectThread({k + 1}, ip(k), true);
        QObject::connect(t, &DeviceConnectThread::connectFinished, axis.get(),
                         [&result](QList<int>, QString, int r, bool) { result = r; });
        ASSERT_TRUE(runToEnd(t));
        ASSERT_EQ(result, 0) << servers[k].ErrorText();
        int status = 0;
        auto* m = new MediaThread(ip(k), 1);
        QObject::connect(m, &MediaThread::mediaSyncStatus, axis.get(),
                         [&status](QString, QList<int>, QList<int>, int s, qint64, int) {
                             if (s != 1) status = s;
                         });
        ASSERT_TRUE(runToEnd(m));
        ASSERT_EQ(status, 2) << servers[k].Log();
    }
    config.setConnected(true);

    // A pause at 3 s; a jump at 4.5 s to 0.5 s that stays paused.
    PlayControlRecord pause;
    pause.id = 1;
    pause.type = 0;
    pause.time = 3000;
    pause.layerRow = rowOf(QStringLiteral("L3"));
    config.addPlayControl(pause);
    PlayControlRecord jump;
    jump.id = 2;
    jump.type = 2;
    jump.time = 4500;
    jump.jumpTime = 500;
    jump.stayPaused = 1;
    jump.layerRow = rowOf(QStringLiteral("L3"));
    config.addPlayControl(jump);

    axis->setCurrentTime(0);
    axis->play();
    EXPECT_TRUE(wallShows(Colour::Red, "playing")) << "the first two seconds\n" << servers[0].Log();
    EXPECT_TRUE(wallShows(Colour::Green, "playing")) << "the video plays on";
    // The pause control stops the run at 3 s; the wall stays where it was.
    ASSERT_TRUE(waitLong([&] { return axis->isPaused() && axis->position() >= 3000; }));
    EXPECT_TRUE(wallShows(Colour::Green, "paused"));
    QElapsedTimer held;
    held.start();
    while (held.elapsed() < 1500) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    EXPECT_EQ(colourOf(0, "paused_later"), Colour::Green);
    EXPECT_EQ(colourOf(1, "paused_later"), Colour::Green);

    // Play on: at 4.5 s the jump takes the wall back to the 0.5 s colour.
    axis->play();
    ASSERT_TRUE(waitLong([&] { return axis->isPaused() && axis->position() == 500; }));
    EXPECT_TRUE(wallShows(Colour::Red, "jumped"));
}

}  // namespace
