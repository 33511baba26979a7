// The console's main window on the test's X server against two whole display
// servers, each in a namespace of its own: connect, media round, a server
// killed and restarted while the show plays, a server down at connect time.
// A show saved and opened again in a new window comes back whole; New gives
// a running transport; New and Open wait for a connect round to end.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPushButton>

#include <QGraphicsView>
#include <QRegularExpression>
#include <QTest>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <thread>
#include <vector>

#include "../../../model/tests/blobbytes.h"
#include "kestrane/deviceitem.h"
#include "kestrane/effectcontainer.h"
#include "kestrane/layerinfopanel.h"
#include "kestrane/layerio.h"
#include "kestrane/layermedia.h"
#include "kestrane/layerpanel.h"
#include "kestrane/layerplaycontrol.h"
#include "kestrane/layerspecialeffect.h"
#include "kestrane/layertable.h"
#include "kestrane/scene.h"
#include "kestrane/specialeffectinfopanel.h"
#include "kestrane/stageitems.h"

#include "kestrane/gconfig.h"
#include "kestrane/mainwidget.h"
#include "kestrane/pictures.h"
#include "kestrane/prompt.h"
#include "kestrane/sidepanelhooks.h"
#include "kestrane/stagehooks.h"
#include "lintra/KestraneStageServer.h"
#include "kestrane/timeaxiswidget.h"
#include "support/QtSpin.h"
#include "support/RemoteServer.h"

// Last: the X headers define names (Bool, Status, None) the Qt headers use.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

namespace fs = std::filesystem;

namespace {

constexpr int kDeadlineMs = 60000;

QApplication* app() {
    static int argc = 1;
    static char name[] = "kestrane_mainwidget_e2e_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* a = [] {
        auto* created = new QApplication(argc, argv);
        QCoreApplication::setApplicationName(QStringLiteral("kestrane"));
        kestrane::initPictures();
        // The program's own look, so the screenshot shows what an operator sees.
        QFile sheet(QStringLiteral(SV_SOURCE_DIR "/kestrane/app/qss.css"));
        if (sheet.open(QIODevice::ReadOnly)) created->setStyleSheet(QString::fromUtf8(sheet.readAll()));
        return created;
    }();
    return a;
}

// Every box is answered OK (questions No) and remembered.
class RecordingPrompts : public kestrane::PromptProvider {
public:
    RecordingPrompts() { kestrane::setPromptProvider(this); }
    ~RecordingPrompts() override { kestrane::setPromptProvider(nullptr); }
    kestrane::PromptAnswer ask(const kestrane::PromptRequest& request) override {
        texts << request.text;
        kestrane::PromptAnswer a;
        a.button = request.kind == kestrane::PromptRequest::Question ? QMessageBox::No : QMessageBox::Ok;
        return a;
    }
    QStringList texts;
};

class MainWindowE2E : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("XDG_CONFIG_HOME", (m_dir / "config").c_str(), 1);
        setenv("HOME", m_dir.str().c_str(), 1);
        app();
        MainWidget::setStartPanelRunner([](QWidget*, QString*) { return false; });
        ASSERT_TRUE(a.Start(1, m_dir / "a")) << a.ErrorText();
        ASSERT_TRUE(b.Start(2, m_dir / "b")) << b.ErrorText();
        window = std::make_unique<MainWidget>();
        window->resize(1280, 800);
        window->show();
        QCoreApplication::processEvents();
    }
    void TearDown() override {
        GConfig& g = GConfig::instance();
        if (window && g.isConnected()) {
            window->disconnectDevices();
            spinUntil([&] { return !g.isConnected() && window->connectButton()->isEnabled(); }, kDeadlineMs);
        }
        g.setSaved(true);
        window.reset();
        g.clearProject();
        g.setProjectPath(QString());
        MainWidget::setStartPanelRunner(nullptr);
    }

    QString ipA() const { return QString::fromStdString(a.Address()); }
    QString ipB() const { return QString::fromStdString(b.Address()); }

    // Two 1920 x 1080 devices, one per server, a picture and a clip on the
    // first layer, saved to a project file and opened from it.
    void openProject() {
        GConfig& g = GConfig::instance();
        const fs::path media = m_dir / "media";
        fs::create_directories(media);
        QImage image(320, 180, QImage::Format_RGB32);
        image.fill(QColor(200, 30, 30));
        const QString picture = QString::fromStdString((media / "red.png").string());
        ASSERT_TRUE(image.save(picture));
        const std::string clip = (media / "clip.mp4").string();
        int status = 0;
        testsupport::RunShell("ffmpeg -v error -y -f lavfi -i testsrc=size=320x180:rate=25 -t 2 -pix_fmt yuv420p '" +
                                  clip + "' 2>&1",
                              &status);
        ASSERT_EQ(status, 0);

        const QString ips[] = {ipA(), ipB()};
        for (int i = 0; i < 2; ++i) {
            DeviceRecord d;
            d.name = QStringLiteral("屏%1").arg(i + 1);
            d.serverIp = ips[i];
            d.width = 1920;
            d.height = 1080;
            d.outputIndex = 1;
            d.stageX = i * 1920;
            d.stageY = 0;
            const int id = g.nextDeviceId();
            g.devices().insert(id, d);
            g.sidePanelHooks().insertDeviceItem(id, 0, false);
            g.stageHooks().addDeviceItem(id);
        }
        addMedia(1, picture, 0, 960, 540);
        addMedia(0, QString::fromStdString(clip), 1920, 960, 540);
        const QString project = QString::fromStdString((m_dir / "wall.vadra").string());
        ASSERT_TRUE(g.saveProjectFile(project));
        bool opened = false;
        window->openProjectPath(project, &opened);
        ASSERT_TRUE(opened);
        ASSERT_EQ(g.devices().size(), 2);
        ASSERT_EQ(g.media().size(), 2);
    }

    void addMedia(int kind, const QString& path, double x, int w, int h, int row = 0) {
        GConfig& g = GConfig::instance();
        const int id = g.nextMediaId();
        MediaSource m;
        m.kind = kind;
        m.path = path;
        m.x = x;
        m.y = 0;
        m.width = w;
        m.height = h;
        m.nativeWidth = 320;
        m.nativeHeight = 180;
        m.start = 0;
        m.duration = 2000;
        m.layer = 0;
        m.id = id;
        m.sourceKey = id;
        g.mediaLibrary().append(m);
        g.setMediaRecord(m, id);
        g.stageHooks().addMediaItem(id);
        if (window->timeAxisWidget()->layerRowCount() == 0) window->timeAxisWidget()->addLayer(false);
        window->timeAxisWidget()->addItemToLayer(id, row, 0);
    }

    bool online(const QString& ip) {
        for (const DeviceRecord& d : GConfig::instance().devices())
            if (d.serverIp == ip) return d.online;
        return false;
    }
    bool allOffline() {
        for (const DeviceRecord& d : GConfig::instance().devices())
            if (d.online) return false;
        return true;
    }
    // Every media item has a handle on the server and the server holds its file.
    bool synchronised(const QString& ip, const fs::path& base) {
        for (const MediaSource& m : GConfig::instance().media()) {
            if (m.serverHandles.value(ip, 0) == 0) return false;
            if (!fs::exists(base / "media" / QFileInfo(m.path).fileName().toStdString())) return false;
        }
        return true;
    }
    bool roundDone() { return !window->isBusy() && window->mediaUpdateRequest(1) == 0; }
    // Play commands a server took, by its log.
    static int count(const std::string& text, const std::string& what) {
        int n = 0;
        for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) ++n;
        return n;
    }
    static int playsOf(const e2e::RemoteServer& s) { return count(s.Log(), "Kestrane_Play is in"); }

    void clickConnect() {
        ASSERT_TRUE(spinUntil([&] { return window->connectButton()->isEnabled(); }, kDeadlineMs));
        window->connectButton()->click();
    }

    testsupport::TempDir m_dir;
    e2e::RemoteServer a;
    e2e::RemoteServer b;
    std::unique_ptr<MainWidget> window;
    RecordingPrompts prompts;
};

TEST_F(MainWindowE2E, ConnectsBothServersAndAServerKilledMidShowComesBackByItself) {
    GConfig& g = GConfig::instance();
    openProject();

    clickConnect();
    ASSERT_TRUE(spinUntil([&] { return g.isConnected() && online(ipA()) && online(ipB()); }, kDeadlineMs))
        << prompts.texts.join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(window->connectButton()->isChecked());
    EXPECT_TRUE(prompts.texts.isEmpty()) << prompts.texts.join(QLatin1Char('|')).toStdString();

    // Each server took its world: one 1920 x 1080 channel.
    for (const QString& ip : {ipA(), ipB()}) {
        WORLD_BASE_INFO world{};
        CKestraneStageServer* session = g.clientSession(ip, 0);
        ASSERT_NE(session, nullptr);
        ASSERT_EQ(session->GetWorldConfig(world), 0);
        EXPECT_EQ(world.channelCount, 1);
        EXPECT_EQ(world.width, 1920);
        EXPECT_EQ(world.height, 1080);
    }

    // The full round that connecting asked for: files and handles on both.
    ASSERT_TRUE(spinUntil(
        [&] { return roundDone() && synchronised(ipA(), m_dir / "a") && synchronised(ipB(), m_dir / "b"); },
        kDeadlineMs));
    // The progress marks settle a second after the round.
    ASSERT_TRUE(spinUntil(
        [&] {
            for (const DeviceRecord& d : g.devices())
                if (d.syncProgress != -1 || d.syncFailed) return false;
            return true;
        },
        kDeadlineMs));

    // The window as the operator sees it, connected.
    QCoreApplication::processEvents();
    const QImage shot = window->grab().toImage();
    fs::create_directories(fs::path(SV_BINARY_DIR) / "artefacts");
    ASSERT_TRUE(shot.save(QStringLiteral(SV_BINARY_DIR "/artefacts/mainwindow_connected.png")));
    const QImage back(QStringLiteral(SV_BINARY_DIR "/artefacts/mainwindow_connected.png"));
    ASSERT_EQ(back.size(), window->size());
    // The connect button shows its green connected picture.
    const QRect button(window->connectButton()->mapTo(window.get(), QPoint(0, 0)), window->connectButton()->size());
    int green = 0;
    for (int y = button.top(); y <= button.bottom(); ++y)
        for (int x = button.left(); x <= button.right(); ++x) {
            const QColor c = back.pixelColor(x, y);
            if (c.green() > 150 && c.red() < 100) ++green;
        }
    EXPECT_GT(green, 10);
    // The title bar keeps its dark fill.
    const QColor bar = back.pixelColor(300, 5);
    EXPECT_LT(bar.red(), 0x50);

    // The show runs; then B dies. Nobody is there to answer a box: B's
    // devices go offline and its handles with it, A plays on connected, and
    // the note that names B waits for nobody.
    g.setTimelineLength(600000, 0);  // the run does not reach its end meanwhile
    window->startPlayback();
    ASSERT_TRUE(spinUntil([&] { return playsOf(b) > 0 && playsOf(a) > 0; }, kDeadlineMs)) << b.Log();
    const int playsBefore = playsOf(b);
    b.Kill();
    const QString dropText = QStringLiteral("IP：%1下的所有设备连接中断！").arg(ipB());
    ASSERT_TRUE(spinUntil([&] { return !online(ipB()); }, kDeadlineMs));
    ASSERT_TRUE(spinUntil([&] { return prompts.texts.contains(dropText); }, kDeadlineMs))
        << prompts.texts.join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(g.isConnected());
    EXPECT_TRUE(online(ipA()));
    EXPECT_TRUE(window->connectButton()->isChecked());
    EXPECT_EQ(window->reconnectingServers(), QStringList{ipB()});
    for (const MediaSource& m : g.media()) {
        EXPECT_FALSE(m.serverHandles.contains(ipB()));
        EXPECT_NE(m.serverHandles.value(ipA(), 0), 0u);
    }

    // B back on its address: without a click it is online again, holds its
    // world and every media item under a new handle, and was told to play.
    ASSERT_TRUE(b.Restart()) << b.ErrorText();
    ASSERT_TRUE(spinUntil([&] { return online(ipB()) && synchronised(ipB(), m_dir / "b"); }, kDeadlineMs))
        << b.Log();
    ASSERT_TRUE(spinUntil([&] { return playsOf(b) > playsBefore; }, kDeadlineMs)) << b.Log();
    EXPECT_TRUE(window->reconnectingServers().isEmpty());
    EXPECT_TRUE(g.isConnected());
    EXPECT_TRUE(online(ipA()));
    WORLD_BASE_INFO world{};
    CKestraneStageServer* session = g.clientSession(ipB(), 0);
    ASSERT_NE(session, nullptr);
    ASSERT_EQ(session->GetWorldConfig(world), 0);
    EXPECT_EQ(world.channelCount, 1);
    EXPECT_EQ(world.width, 1920);
    EXPECT_EQ(prompts.texts.count(dropText), 1);
    g.pausePlayback();
}

TEST_F(MainWindowE2E, AServerDownAtConnectIsNamedOnceAndTheOtherIsSynchronised) {
    GConfig& g = GConfig::instance();
    openProject();
    b.Kill();

    clickConnect();
    ASSERT_TRUE(spinUntil([&] { return g.isConnected() && online(ipA()); }, kDeadlineMs))
        << prompts.texts.join(QLatin1Char('|')).toStdString();
    EXPECT_FALSE(online(ipB()));
    ASSERT_EQ(prompts.texts.size(), 1) << prompts.texts.join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(prompts.texts.first().contains(ipB()));
    EXPECT_FALSE(prompts.texts.first().contains(ipA()));
    EXPECT_TRUE(window->connectButton()->isChecked());

    // The round runs for both; A gets everything, B fails and keeps its mark.
    ASSERT_TRUE(spinUntil([&] { return roundDone() && synchronised(ipA(), m_dir / "a"); }, kDeadlineMs));
    ASSERT_TRUE(spinUntil(
        [&] {
            for (const DeviceRecord& d : g.devices())
                if (d.serverIp == ipB() && !d.syncFailed) return false;
            return true;
        },
        kDeadlineMs));
    for (const DeviceRecord& d : g.devices())
        if (d.serverIp == ipA()) EXPECT_FALSE(d.syncFailed);
}


// ---------------------------------------------------------------------------
// A show saved and opened again

// What the operator sees of a project, line by line: the device tiles on the
// stage, every row of the time axis with its bars, key-frame bars and
// blocks, and the records behind them.
QStringList dumpConsole(MainWidget& window) {
    GConfig& g = GConfig::instance();
    QStringList out;
    QStringList tiles;
    for (QGraphicsItem* item : g.scene->items()) {
        if (stage::itemType(item) != stage::kDeviceType) continue;
        const QRectF r = item->sceneBoundingRect();
        tiles << QStringLiteral("tile %1 at %2,%3 size %4x%5 visible %6")
                     .arg(stage::itemId(item))
                     .arg(r.x())
                     .arg(r.y())
                     .arg(r.width())
                     .arg(r.height())
                     .arg(item->isVisible());
    }
    tiles.sort();
    out << tiles;
    for (auto it = g.devices().constBegin(); it != g.devices().constEnd(); ++it)
        out << QStringLiteral("device %1 %2").arg(it.key()).arg(QString::fromLatin1(it->toBlob().toHex()));
    const LayerTable* table = window.timeAxisWidget()->table();
    for (int row = 0; row < table->fillerRow(); ++row) {
        QString line = QStringLiteral("row %1 role %2").arg(row).arg(table->rowRole(row));
        if (const LayerInfoPanel* h = table->header(row))
            line += QStringLiteral(" %1 eye %2 lock %3 kind %4 colour %5")
                        .arg(h->title())
                        .arg(h->eyeIsHidden())
                        .arg(h->isLocked())
                        .arg(h->kind())
                        .arg(h->color());
        if (const SpecialEffectInfoPanel* e = table->effectHeader(row))
            line += QStringLiteral(" effect eye %1 lock %2").arg(e->eyeIsHidden()).arg(e->isLocked());
        out << line;
        if (const LayerPanel* strip = table->isEffectRow(row) ? nullptr : table->strip(row)) {
            for (const LayerMedia* bar : strip->mediaItems()) {
                const MediaSource rec = g.mediaRecord(bar->mediaId());
                out << QStringLiteral("  bar %1 start %2 length %3 at x %4 width %5 shown %6")
                           .arg(bar->mediaId())
                           .arg(rec.start)
                           .arg(rec.duration)
                           .arg(bar->x())
                           .arg(bar->width())
                           .arg(bar->isVisible());
            }
            for (const LayerPlayControl* block : strip->playControlItems())
                out << QStringLiteral("  play control %1 at x %2").arg(block->controlId()).arg(block->x());
            for (const LayerIO* block : strip->layerIOItems())
                out << QStringLiteral("  output command %1 at x %2 width %3").arg(block->id()).arg(block->x()).arg(
                           block->width());
        }
        if (const EffectLayerPanel* effects = table->effectStrip(row))
            for (const LayerSpecialEffect* bar : effects->effects()) {
                QStringList keys;
                for (const EffectAnchor* a : bar->anchors()) keys << QStringLiteral("%1@%2").arg(a->keyId()).arg(a->time());
                out << QStringLiteral("  key bar of %1 kind %2 at x %3 width %4 keys %5")
                           .arg(bar->mediaId())
                           .arg(bar->kind())
                           .arg(bar->x())
                           .arg(bar->width())
                           .arg(keys.join(QLatin1Char(' ')));
            }
    }
    for (auto it = g.media().constBegin(); it != g.media().constEnd(); ++it)
        out << QStringLiteral("media %1 %2").arg(it.key()).arg(QString::fromLatin1(it->toBlob().toHex()));
    for (const PlayControlRecord* r : g.playControls())
        out << QStringLiteral("play record %1").arg(QString::fromLatin1(r->toBlob().toHex()));
    for (const OutControlRecord* r : g.outControls())
        out << QStringLiteral("output record %1").arg(QString::fromLatin1(r->toBlob().toHex()));
    for (const LayerIORecord* r : g.layerIOs())
        out << QStringLiteral("command record %1").arg(QString::fromLatin1(r->toBlob().toHex()));
    out << QStringLiteral("timeline %1 to %2").arg(g.timelineStart()).arg(g.timelineLength());
    return out;
}

// A left click at a widget's point through the X server, as a hand does.
void xClick(QWidget* widget, QPoint at) {
    const QPoint p = widget->mapToGlobal(at);
    Display* d = XOpenDisplay(nullptr);
    ASSERT_NE(d, nullptr);
    XTestFakeMotionEvent(d, -1, p.x(), p.y(), CurrentTime);
    XSync(d, False);
    XTestFakeButtonEvent(d, 1, True, CurrentTime);
    XTestFakeButtonEvent(d, 1, False, CurrentTime);
    XSync(d, False);
    XCloseDisplay(d);
    QTest::qWait(200);
}

void settle(int ms = 600) { QTest::qWait(ms); }

QImage saveShot(QWidget& window, const char* name) {
    QCoreApplication::processEvents();
    fs::create_directories(fs::path(SV_BINARY_DIR) / "artefacts");
    const QString file = QStringLiteral(SV_BINARY_DIR "/artefacts/%1.png").arg(QLatin1String(name));
    EXPECT_TRUE(window.grab().toImage().save(file));
    return QImage(file);
}

// The centre of a device tile in window coordinates.
QPoint tileCentre(MainWidget& window, int deviceId) {
    GConfig& g = GConfig::instance();
    QGraphicsItem* item = g.scene->stageItem(deviceId, stage::kDeviceType);
    if (!item || g.scene->views().isEmpty()) return {};
    QGraphicsView* view = g.scene->views().first();
    const QPoint inView = view->mapFromScene(item->sceneBoundingRect().center());
    return view->viewport()->mapTo(&window, inView);
}

class ReopenE2E : public MainWindowE2E {
protected:
    // Two devices, a picture on the first layer and a clip on the second,
    // each with position, scale, rotation and opacity keys; a play, a pause
    // and a jump control, an output target with its command; a colour
    // ratio on one device and a warp on the other; an effect row hidden
    // and one locked.
    void buildShow() {
        GConfig& g = GConfig::instance();
        openProject();
        // openProject put both media on the first layer: the clip moves to
        // the second (row 5, under the first layer's four effect rows).
        TimeAxisWidget* axis = window->timeAxisWidget();
        ASSERT_TRUE(spinUntil([&] { return axis->layerRowCount() >= 10; }, kDeadlineMs));
        const QList<int> ids = g.mediaIds();
        ASSERT_EQ(ids.size(), 2);
        const int clip = ids.at(1);
        axis->removeMediaFromLayer(clip, 0);
        MediaSource rec = g.mediaRecord(clip);
        rec.layer = 5;
        rec.start = 500;
        g.setMediaRecord(rec, clip);
        axis->table()->strip(5)->addMedia(clip);
        axis->updateLayerItems();
        settle();

        // Keys at 1 s: position, scale, rotation and opacity rows.
        g.setCurrentTime(1000);
        for (int layer : {0, 5})
            for (int k = 1; k <= 4; ++k) {
                static const int kinds[] = {0, 1, 3, 2, 4};
                g.addAnchorAtCurrentTime(kinds[k], layer + k, {});
            }
        settle();
        for (int id : ids) ASSERT_EQ(g.mediaRecord(id).effects.size(), 4) << id;

        const int kinds[] = {1, 0, 2};
        const char* names[] = {"开场", "暂停一", "跳回"};
        for (int i = 0; i < 3; ++i) {
            PlayControlRecord p;
            p.id = i + 1;
            p.layerRow = i == 2 ? 5 : 0;
            p.name = QString::fromUtf8(names[i]);
            p.time = 1500 + 200 * i;
            p.type = kinds[i];
            p.jumpTime = 0;
            g.timeAxisHooks().addPlayControlBlock(g.addPlayControl(p)->id);
        }
        OutControlRecord out;
        out.id = 1;
        out.name = QStringLiteral("投影机");
        out.type = 1;
        out.ip = QStringLiteral("127.0.0.1");
        out.port = 4000;
        g.addOutControl(out);
        LayerIORecord io;
        io.id = 1;
        io.outControlId = 1;
        io.layerRow = 5;
        io.name = QStringLiteral("开机");
        io.data = QStringLiteral("PWR ON");
        io.time = 1200;
        io.length = 400;
        g.timeAxisHooks().addLayerIOBlock(g.addLayerIO(io)->id);

        QList<int> devices = g.deviceIds();
        ASSERT_EQ(devices.size(), 2);
        DeviceRecord* first = g.device(devices.at(0));
        first->colorRatio[1] = 0.5f;
        DeviceRecord* second = g.device(devices.at(1));
        second->grid[0][0].x = second->grid[0][0].x + 40;
        second->grid[0][0].y = second->grid[0][0].y + 30;

        axis->table()->effectHeader(2)->setEyeHidden(true);
        axis->table()->effectHeader(9)->setLocked(true);
        g.setCurrentTime(0);
        settle();
    }
};

TEST_F(ReopenE2E, ASavedShowOpensInANewWindowWithItsTilesBarsKeysAndBlocks) {
    GConfig& g = GConfig::instance();
    buildShow();
    const QString project = QString::fromStdString((m_dir / "show.vadra").string());
    ASSERT_TRUE(g.saveProjectFile(project));
    const QStringList before = dumpConsole(*window);
    const QImage shotBefore = saveShot(*window, "reopen_saved");
    const int device = g.deviceIds().first();
    const QPoint centreBefore = tileCentre(*window, device);

    // The console ends; a new one opens the file.
    g.setSaved(true);
    window.reset();
    g.clearProject();
    window = std::make_unique<MainWidget>();
    window->resize(1280, 800);
    window->show();
    settle();
    prompts.texts.clear();
    bool opened = false;
    window->openProjectPath(project, &opened);
    ASSERT_TRUE(opened) << prompts.texts.join(QLatin1Char('|')).toStdString();
    settle();
    const QStringList after = dumpConsole(*window);
    EXPECT_EQ(after.join(QLatin1Char('\n')).toStdString(), before.join(QLatin1Char('\n')).toStdString());
    EXPECT_EQ(after.filter(QStringLiteral("tile ")).size(), 2);
    EXPECT_EQ(after.filter(QStringLiteral("  bar ")).size(), 2);
    EXPECT_EQ(after.filter(QStringLiteral("  key bar ")).size(), 8);
    EXPECT_EQ(after.filter(QStringLiteral("  play control ")).size(), 3);
    EXPECT_EQ(after.filter(QStringLiteral("  output command ")).size(), 1);
    EXPECT_TRUE(prompts.texts.isEmpty()) << prompts.texts.join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(g.isSaved());

    // The tile is drawn where it was, in the colour it had.
    const QImage shotAfter = saveShot(*window, "reopen_opened");
    const QPoint centreAfter = tileCentre(*window, device);
    ASSERT_FALSE(centreAfter.isNull());
    EXPECT_EQ(centreAfter, centreBefore);
    EXPECT_EQ(shotAfter.pixelColor(centreAfter), shotBefore.pixelColor(centreBefore));

    // The reopened tile is a real one: in device editing it takes the
    // stage's selection.
    g.setMediaEditMode(0);
    g.stageHooks().selectStageDevice(device);
    ASSERT_EQ(g.stageHooks().selectedItems().size(), 1);
    EXPECT_EQ(g.stageHooks().selectedItems().first().id, device);
}

TEST_F(ReopenE2E, AFileWrittenByHandFromTheLayoutOpensWithTilesAndBars) {
    GConfig& g = GConfig::instance();
    const fs::path media = m_dir / "media";
    fs::create_directories(media);
    QImage image(64, 36, QImage::Format_RGB32);
    image.fill(QColor(30, 200, 30));
    const QString picture = QString::fromStdString((media / "green.png").string());
    ASSERT_TRUE(image.save(picture));

    MediaSource m;
    m.kind = 1;
    m.path = picture;
    m.fileName = QStringLiteral("green.png");
    m.start = 0;
    m.duration = 4000;
    m.x = 100;
    m.y = 50;
    m.width = 640;
    m.height = 360;
    m.nativeWidth = 64;
    m.nativeHeight = 36;
    m.layer = 5;
    m.id = 7;
    m.sourceKey = 11;
    EffectKey key;
    key.id = 1;
    key.kind = kestrane::EffectOpacity;
    key.time = 2000;
    key.value1 = 0.5;
    m.effects.insert(1, key);
    MediaSource entry = m;
    entry.layer = -1;
    entry.effects.clear();
    DeviceRecord d;
    d.name = QStringLiteral("左屏");
    d.serverIp = ipA();
    d.width = 1920;
    d.height = 1080;
    d.outputIndex = 1;
    d.stageX = 0;
    d.stageY = 0;

    auto row = [](Bytes& b, int role, const QString& name) {
        // A map of plain values, the keys from the greatest down.
        b.u32(8).i8(0);
        if (role == 102) {
            b.u32(3);
            b.str(QStringLiteral("role")).u32(2).i8(0).i32(role);
            b.str(QStringLiteral("isLock")).u32(1).i8(0).boolean(false);
            b.str(QStringLiteral("eyeIsHidden")).u32(1).i8(0).boolean(true);
            return;
        }
        b.u32(6);
        b.str(QStringLiteral("type")).u32(2).i8(0).i32(0);
        b.str(QStringLiteral("role")).u32(2).i8(0).i32(role);
        b.str(QStringLiteral("name")).u32(10).i8(0).str(name);
        b.str(QStringLiteral("isLock")).u32(1).i8(0).boolean(false);
        b.str(QStringLiteral("eyeIsHidden")).u32(1).i8(0).boolean(false);
        b.str(QStringLiteral("color")).u32(10).i8(0).str(QStringLiteral("#3a6ea5"));
    };
    Bytes b;
    b.u32(1).i32(7).bytes(m.toBlob());                 // media items
    b.u32(1).i32(1).bytes(d.toBlob());                 // devices
    b.i32(10);                                         // rows
    b.u32(1).bytes(entry.toBlob());                    // library
    b.i32(120000).i32(0).i32(60000);                   // display length, start, length
    b.u32(2).str(QStringLiteral("#3a6ea5")).str(QStringLiteral("#3a6ea5"));
    b.u32(0).u32(0).u32(0);                            // tree order maps, folders
    b.u32(10);
    for (int layer = 0; layer < 2; ++layer) {
        row(b, 100, QStringLiteral("图层%1").arg(layer + 1));
        for (int k = 0; k < 4; ++k) row(b, 102, QString());
    }
    b.u32(0).u32(0).u32(0);                            // controls, outputs, commands
    b.f64(0.25).i32(0).i32(0);                         // stage zoom and scrolls
    b.i32(3).i32(0).boolean(false).i32(0);             // axis scale, speed, check, play head
    b.u32(0).u32(0);                                   // splitters
    b.u32(0).i8(1);                                    // an invalid variant
    b.u32(0xCC0D8983u);
    const QString project = QString::fromStdString((m_dir / "hand.vadra").string());
    {
        QFile f(project);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_EQ(f.write(b.data()), b.data().size());
    }

    bool opened = false;
    window->openProjectPath(project, &opened);
    ASSERT_TRUE(opened) << prompts.texts.join(QLatin1Char('|')).toStdString();
    settle();
    const QStringList dump = dumpConsole(*window);
    saveShot(*window, "reopen_hand_written");
    // At a quarter of its size, as the file's zoom says.
    EXPECT_EQ(dump.filter(QRegularExpression(QStringLiteral("^tile 1 at [0-9.]+,[0-9.]+ size 480x270 visible 1$"))).size(), 1)
        << dump.join('\n').toStdString();
    // The picture's bar on the second layer, its opacity key on that
    // layer's opacity row; the file hides every effect row.
    const int second = dump.indexOf(QRegularExpression(QStringLiteral("row 5 role 100 .*")));
    ASSERT_GE(second, 0) << dump.join('\n').toStdString();
    EXPECT_TRUE(dump.at(second + 1).startsWith(QStringLiteral("  bar 7 start 0 length 4000"))) << dump.join('\n').toStdString();
    EXPECT_EQ(dump.filter(QRegularExpression(QStringLiteral("^  key bar of 7 kind 4 .* keys 1@2000$"))).size(), 1)
        << dump.join('\n').toStdString();
    EXPECT_EQ(dump.filter(QRegularExpression(QStringLiteral("^row [0-9] role 102 effect eye 1 lock 0$"))).size(), 8)
        << dump.join('\n').toStdString();
    EXPECT_EQ(g.timelineLength(), 60000);
}

TEST_F(ReopenE2E, NewThenPlayRunsTheTransport) {
    GConfig& g = GConfig::instance();
    window->move(0, 0);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    settle();
    window->newProject();
    settle();
    EXPECT_GT(g.timelineLength(), 0);
    const int before = g.currentTime();
    QPushButton* play = window->timeAxisWidget()->playButton();
    xClick(play, play->rect().center());
    ASSERT_TRUE(spinUntil([&] { return g.currentTime() >= before + 500; }, 10000))
        << "the play head stayed at " << g.currentTime() << " of " << g.timelineLength();
    g.pausePlayback();
}

// Accepts connections on the console's command port and never answers:
// a display server too busy to reply, so the connect round stays open.
class SilentServer {
public:
    bool Start() {
        fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const int on = 1;
        setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(30100);
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(fd_, 8) != 0) return false;
        thread_ = std::thread([this] {
            while (!stop_) {
                pollfd p{fd_, POLLIN, 0};
                if (poll(&p, 1, 50) > 0) {
                    const int c = accept(fd_, nullptr, nullptr);
                    if (c >= 0) accepted_.push_back(c);
                }
            }
        });
        return true;
    }
    // Ends every connection: the round fails at once.
    void Stop() {
        if (stop_.exchange(true)) return;
        if (thread_.joinable()) thread_.join();
        for (int c : accepted_) close(c);
        if (fd_ >= 0) close(fd_);
    }
    ~SilentServer() { Stop(); }
    size_t Accepted() const { return accepted_.size(); }

private:
    int fd_ = -1;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    std::vector<int> accepted_;
};

TEST_F(ReopenE2E, NewAndOpenWaitForAConnectRoundToEnd) {
    GConfig& g = GConfig::instance();
    SilentServer silent;
    ASSERT_TRUE(silent.Start());
    DeviceRecord d;
    d.name = QStringLiteral("慢屏");
    d.serverIp = QStringLiteral("127.0.0.1");
    d.width = 1920;
    d.height = 1080;
    d.outputIndex = 1;
    d.stageX = 0;
    d.stageY = 0;
    const int id = g.nextDeviceId();
    g.devices().insert(id, d);
    g.sidePanelHooks().insertDeviceItem(id, 0, false);
    g.stageHooks().addDeviceItem(id);
    const QString other = QString::fromStdString((m_dir / "other.vadra").string());
    ASSERT_TRUE(g.saveProjectFile(other));

    clickConnect();
    ASSERT_TRUE(spinUntil([&] { return window->pendingConnectThreads() > 0 && silent.Accepted() > 0; }, kDeadlineMs));
    prompts.texts.clear();
    window->newProject();
    window->openProject(other);
    bool loaded = true;
    window->openProjectPath(other, &loaded);
    EXPECT_FALSE(loaded);
    ASSERT_EQ(prompts.texts.size(), 3) << prompts.texts.join(QLatin1Char('|')).toStdString();
    for (const QString& text : prompts.texts) EXPECT_TRUE(text.contains(QStringLiteral("请等待完成"))) << text.toStdString();
    // The project the round works on is still there.
    EXPECT_EQ(g.deviceIds(), QList<int>{id});
    EXPECT_NE(g.clientSession(QStringLiteral("127.0.0.1"), 0), nullptr);

    // The round ends; New is taken.
    silent.Stop();
    ASSERT_TRUE(spinUntil([&] { return !window->serverRoundRunning() && window->connectButton()->isEnabled(); },
                          kDeadlineMs));
    EXPECT_FALSE(g.isConnected());
    g.setSaved(true);
    prompts.texts.clear();
    window->newProject();
    EXPECT_TRUE(g.deviceIds().isEmpty());
    EXPECT_TRUE(prompts.texts.isEmpty()) << prompts.texts.join(QLatin1Char('|')).toStdString();
}

}  // namespace
