// The console's main window on the test's X server against two whole display
// servers, each in a namespace of its own: connect, media round, a server
// killed and restarted while the show plays, a server down at connect time.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPushButton>

#include <cstdlib>
#include <memory>

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

    void addMedia(int kind, const QString& path, double x, int w, int h) {
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
        window->timeAxisWidget()->addItemToLayer(id, 0, 0);
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

}  // namespace
