// The stage against a whole display server: a device placed on the stage,
// media dropped on it and brought to the server, then moved and resized
// with real-time update on. What the server's screen shows is read back.
#include <QFile>

#include <atomic>

#include "kestrane/deviceconnectthread.h"
#include "kestrane/mediathread.h"
#include "kestrane/resizeitem.h"
#include "lintra/KestraneStageServer.h"
#include "qt/stagefixture.h"
#include "support/RemoteServer.h"
#include "support/XScreen.h"

namespace {

namespace fs = std::filesystem;

template <class T>
bool runToEnd(T* thread) {
    std::atomic<bool> finished{false};
    QObject::connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    QObject::connect(thread, &QThread::finished, [&finished] { finished = true; });
    thread->start(QThread::InheritPriority);
    const bool ended = spinUntil([&] { return finished.load(); }, 120000);
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    return ended;
}

class StageServerE2E : public StageTest {
protected:
    void SetUp() override {
        StageTest::SetUp();
        ASSERT_TRUE(server.Start(1, dir / "wall")) << server.ErrorText();
        ip = QString::fromStdString(server.Address());
    }
    void TearDown() override {
        if (GConfig::instance().clientSession(ip, 0)) {
            auto* t = new DeviceConnectThread({deviceId}, ip, false);
            runToEnd(t);
        }
        StageTest::TearDown();
    }

    int connect() {
        GConfig& g = GConfig::instance();
        g.updateWorldConfigs(deviceId);
        int result = 99;
        auto* t = new DeviceConnectThread({deviceId}, ip, true);
        QObject::connect(t, &DeviceConnectThread::connectFinished, widget,
                         [&result](QList<int>, QString, int r, bool) { result = r; });
        EXPECT_TRUE(runToEnd(t));
        return result;
    }
    int round(int mode) {
        int status = 0;
        auto* t = new MediaThread(ip, mode);
        QObject::connect(t, &MediaThread::mediaSyncStatus, widget,
                         [&status](QString, QList<int>, QList<int>, int s, qint64, int) {
                             if (s != 1) status = s;
                         });
        EXPECT_TRUE(runToEnd(t));
        return status;
    }

    // Waits until the server's screen shows red exactly inside `red`
    // (checked a few pixels in from each edge and out beyond it); saves the
    // last grab either way.
    bool showsRedIn(const QRect& red, const std::string& name) {
        e2e::Screenshot shot;
        const auto isRed = [&](int x, int y) {
            return shot.R(x, y) > 200 && shot.G(x, y) < 60 && shot.B(x, y) < 60;
        };
        const bool ok = testsupport::WaitUntil(
            [&] {
                if (!e2e::GrabScreen(shot, server.Display())) return false;
                const int l = red.left(), t = red.top(), r = red.left() + red.width(), b = red.top() + red.height();
                for (auto [x, y] : {std::pair{l + 4, t + 4}, {r - 4, t + 4}, {l + 4, b - 4}, {r - 4, b - 4},
                                    {(l + r) / 2, (t + b) / 2}})
                    if (!isRed(x, y)) return false;
                for (auto [x, y] : {std::pair{l - 4, (t + b) / 2}, {r + 4, (t + b) / 2}, {(l + r) / 2, t - 4},
                                    {(l + r) / 2, b + 4}})
                    if (isRed(x, y)) return false;
                return true;
            },
            std::chrono::seconds(30));
        const std::string folder = std::string(SV_BINARY_DIR) + "/artefacts";
        fs::create_directories(folder);
        if (shot.width > 0)
            QImage(shot.rgb.data(), shot.width, shot.height, shot.width * 3, QImage::Format_RGB888)
                .save(QString::fromStdString(folder + "/" + name + "_server.png"));
        save(render(400, 250), QString::fromStdString(name + "_stage"));
        return ok;
    }

    MediaSource libraryMedia(int kind, const QString& path, int w, int h) {
        MediaSource m;
        m.kind = kind;
        m.path = path;
        m.fileName = QFileInfo(path).fileName();
        m.duration = 60000;
        m.nativeWidth = w;
        m.nativeHeight = h;
        m.width = w;
        m.height = h;
        return m;
    }

    e2e::RemoteServer server;
    QString ip;
    int deviceId = 0;
};

TEST_F(StageServerE2E, DroppedMediaReachTheWallAndFollowMovesAndResizes) {
    GConfig& g = GConfig::instance();
    // A device of the server's whole screen, placed at the stage origin.
    deviceId = g.nextDeviceId();
    DeviceRecord d;
    d.name = QStringLiteral("主屏");
    d.serverIp = ip;
    d.width = 1920;
    d.height = 1080;
    d.outputIndex = 1;
    g.devices().insert(deviceId, d);
    scene()->addDeviceItem(deviceId);
    auto* deviceItem = dynamic_cast<DeviceItem*>(scene()->stageItem(deviceId, stage::kDeviceType));
    ASSERT_NE(deviceItem, nullptr);
    deviceItem->setPos(stage::toScene(0), stage::toScene(0));
    g.device(deviceId)->stageX = 0;
    g.device(deviceId)->stageY = 0;
    ASSERT_EQ(connect(), 0) << server.ErrorText();

    // A red picture at stage (200, 100) and a clip at (1200, 600), dropped
    // from the media library in media mode.
    g.setEditModeValue(1);
    const QString red = picture(400, 300, Qt::red, "red.png");
    const QString clip = QString::fromStdString((dir / "clip.mp4").string());
    int status = 0;
    testsupport::RunShell("ffmpeg -v error -y -f lavfi -i testsrc=size=320x240:rate=25 -t 2 -pix_fmt yuv420p '" +
                              clip.toStdString() + "'",
                          &status);
    ASSERT_EQ(status, 0);
    std::unique_ptr<QMimeData> pictureMime(mediaMime(libraryMedia(1, red, 400, 300)));
    drop(pictureMime.get(), QPointF(stage::toScene(200), stage::toScene(100)));
    std::unique_ptr<QMimeData> clipMime(mediaMime(libraryMedia(0, clip, 320, 240)));
    axis.rows = 2;
    axis.current = 1;
    drop(clipMime.get(), QPointF(stage::toScene(1200), stage::toScene(600)));
    ASSERT_EQ(g.media().size(), 2);
    int pictureId = 0;
    for (auto it = g.media().constBegin(); it != g.media().constEnd(); ++it)
        if (it->kind == 1) pictureId = it.key();
    ASSERT_NE(pictureId, 0);
    EXPECT_DOUBLE_EQ(g.mediaSource(pictureId)->x, 200);
    EXPECT_DOUBLE_EQ(g.mediaSource(pictureId)->y, 100);

    ASSERT_EQ(round(1), 2) << server.Log();
    EXPECT_TRUE(showsRedIn(QRect(200, 100, 400, 300), "stage_e2e_placed"));

    // Real-time update: a move asks for an update round without upload.
    g.setRealtimeUpdate(true);
    auto* item = dynamic_cast<GraphicsItem*>(scene()->stageItem(pictureId, stage::kMediaType));
    ASSERT_NE(item, nullptr);
    window.updates.clear();
    const QPointF grip = item->sceneBoundingRect().center();
    drag(grip, grip + QPointF(25, 0));
    EXPECT_DOUBLE_EQ(g.mediaSource(pictureId)->x, 400);
    ASSERT_FALSE(window.updates.isEmpty());
    EXPECT_EQ(window.updates.last(), 3);
    ASSERT_EQ(round(window.updates.last()), 2);
    EXPECT_TRUE(showsRedIn(QRect(400, 100, 400, 300), "stage_e2e_moved"));

    // The bottom-right handle, 12.5 scene units down and right.
    window.updates.clear();
    item->setSelected(true);
    item->setFocus();
    scene()->advance();
    ResizeItem* handle = item->handle(3);
    ASSERT_NE(handle, nullptr);
    handle->setVisible(true);
    const QPointF corner = handle->sceneBoundingRect().center();
    drag(corner, corner + QPointF(12.5, 12.5));
    // The view's mouse events land on whole pixels: one is 8 stage units.
    const MediaSource* resized = g.mediaSource(pictureId);
    EXPECT_NEAR(resized->width, 500, 8);
    EXPECT_NEAR(resized->height, 400, 8);
    ASSERT_FALSE(window.updates.isEmpty());
    ASSERT_EQ(round(window.updates.last()), 2);
    EXPECT_TRUE(showsRedIn(QRect(400, 100, int(resized->width), int(resized->height)), "stage_e2e_resized"));
}

}  // namespace
