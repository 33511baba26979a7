// Media rounds against a whole display server in its own namespace: a
// project saved and loaded from its file, its media uploaded byte for byte,
// and an upload cut by a server crash that resumes on the next round.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QImage>

#include <signal.h>

#include <atomic>
#include <mutex>

#include "kestrane/deviceconnectthread.h"
#include "kestrane/gconfig.h"
#include "kestrane/mediathread.h"
#include "lintra/KestraneStageServer.h"
#include "support/QtSpin.h"
#include "support/RemoteServer.h"

namespace {

namespace fs = std::filesystem;

QCoreApplication* app() {
    static int argc = 1;
    static char name[] = "kestrane_threads_e2e_tests";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* a = QCoreApplication::instance() ? QCoreApplication::instance()
                                                              : new QCoreApplication(argc, argv);
    return a;
}

constexpr qint64 kChunk = 8 * 1024 * 1024;

template <class T>
bool runToEnd(T* thread) {
    std::atomic<bool> finished{false};
    QObject::connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    QObject::connect(thread, &QThread::finished, [&finished] { finished = true; });
    thread->start(QThread::InheritPriority);
    const bool ended = spinUntil([&] { return finished.load(); }, 300000);
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    return ended;
}

int connectTo(const QString& ip, bool connect = true) {
    int result = 99;
    auto* t = new DeviceConnectThread({1}, ip, connect);
    QObject::connect(t, &DeviceConnectThread::connectFinished, app(),
                     [&result](QList<int>, QString, int r, bool) { result = r; });
    EXPECT_TRUE(runToEnd(t));
    return result;
}

struct Report {
    int status = 0;
    qint64 value = 0;
    int last = 0;
};

// One round; the reports in order as the GUI thread sees them.
QList<Report> runRound(const QString& ip, int mode, const std::function<void(qint64)>& onProgress = {}) {
    QList<Report> reports;
    auto* t = new MediaThread(ip, mode);
    QObject::connect(t, &MediaThread::mediaSyncStatus, app(),
                     [&reports](QString, QList<int>, QList<int>, int status, qint64 value, int last) {
                         reports.append({status, value, last});
                     });
    if (onProgress) {
        // On the thread itself, so that the server can be stopped while the
        // upload waits for its next chunk.
        QObject::connect(
            t, &MediaThread::mediaSyncStatus, t,
            [onProgress](QString, QList<int>, QList<int>, int status, qint64 value, int) {
                if (status == 1) onProgress(value);
            },
            Qt::DirectConnection);
    }
    EXPECT_TRUE(runToEnd(t));
    return reports;
}

std::string fileBytes(const fs::path& p) { return testsupport::ReadFile(p); }

class MediaRoundE2E : public ::testing::Test {
protected:
    void SetUp() override {
        app();
        GConfig::instance().clearProject();
        ASSERT_TRUE(server.Start(1, dir / "wall")) << server.ErrorText();
        ip = QString::fromStdString(server.Address());
        fs::create_directories(dir / "src");
    }
    void TearDown() override { GConfig::instance().clearProject(); }

    void addDevice() {
        GConfig& c = GConfig::instance();
        DeviceRecord d;
        d.name = QStringLiteral("主屏");
        d.serverIp = ip;
        d.width = 1920;
        d.height = 1080;
        d.outputIndex = 1;
        c.devices().insert(1, d);
        c.updateWorldConfigs(1);
    }
    void addMedia(int id, int kind, const fs::path& path, qint64 key) {
        MediaSource m;
        m.kind = kind;
        m.path = QString::fromStdString(path.string());
        m.fileName = QString::fromStdString(path.filename().string());
        m.duration = 2000;
        m.width = 640;
        m.height = 360;
        m.layer = id;
        m.id = id;
        m.sourceKey = key;
        GConfig::instance().media().insert(id, m);
    }
    fs::path makeClip(const std::string& name, const std::string& args) {
        const fs::path p = dir / "src" / name;
        int status = 0;
        const std::string out = testsupport::RunShell("ffmpeg -v error -y " + args + " '" + p.string() + "' 2>&1", &status);
        EXPECT_EQ(status, 0) << out;
        return p;
    }
    fs::path mediaFolder() const { return dir / "wall" / "media"; }

    testsupport::TempDir dir;
    e2e::RemoteServer server;
    QString ip;
};

TEST_F(MediaRoundE2E, ALoadedProjectUploadsEveryFileAndAnUpdateRoundUploadsNothing) {
    const fs::path picture = dir / "src" / "画面.png";
    QImage image(320, 180, QImage::Format_RGB32);
    image.fill(QColor(200, 40, 90));
    ASSERT_TRUE(image.save(QString::fromStdString(picture.string()), "PNG"));
    const fs::path clip = makeClip("clip.mp4", "-f lavfi -i testsrc=size=320x240:rate=25 -t 2 -pix_fmt yuv420p");
    const fs::path big =
        makeClip("big.avi", "-f lavfi -i testsrc=size=640x480:rate=25 -t 2 -c:v rawvideo -pix_fmt rgb24");
    ASSERT_GE(fs::file_size(big), 40u * 1024 * 1024);

    addDevice();
    addMedia(1, 1, picture, 11);
    addMedia(2, 0, clip, 12);
    addMedia(3, 0, big, 13);
    GConfig& c = GConfig::instance();
    const QString project = QString::fromStdString((dir / "show.kpro").string());
    ASSERT_TRUE(c.saveProjectFile(project));
    c.clearProject();
    ASSERT_TRUE(c.media().isEmpty());
    QFile f(project);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    ASSERT_TRUE(c.loadProjectData(f.readAll(), project));
    ASSERT_EQ(c.media().size(), 3);

    // The window's connect command builds the worlds from the loaded records.
    c.updateWorldConfigs(1);
    ASSERT_EQ(connectTo(ip), 0) << server.ErrorText();
    const QList<Report> full = runRound(ip, 1);
    ASSERT_FALSE(full.isEmpty());
    EXPECT_EQ(full.last().status, 2) << server.Log();
    for (int id : {1, 2, 3}) {
        ASSERT_NE(c.mediaSource(id), nullptr);
        EXPECT_NE(c.mediaSource(id)->serverHandles.value(ip, 0), 0u) << id;
    }
    for (const fs::path& p : {picture, clip, big})
        EXPECT_TRUE(fileBytes(mediaFolder() / p.filename()) == fileBytes(p)) << p;

    // An update without upload only updates: no progress at all.
    const auto before = fs::last_write_time(mediaFolder() / big.filename());
    const QList<Report> update = runRound(ip, 3);
    ASSERT_FALSE(update.isEmpty());
    EXPECT_EQ(update.last().status, 2);
    for (const Report& r : update) EXPECT_NE(r.status, 1);
    EXPECT_EQ(fs::last_write_time(mediaFolder() / big.filename()), before);
}

TEST_F(MediaRoundE2E, AnUploadCutByAServerCrashResumesOnTheNextRound) {
    const fs::path big =
        makeClip("big.avi", "-f lavfi -i testsrc=size=640x480:rate=25 -t 2 -c:v rawvideo -pix_fmt rgb24");
    ASSERT_GE(fs::file_size(big), 40u * 1024 * 1024);
    addDevice();
    addMedia(1, 0, big, 21);
    ASSERT_EQ(connectTo(ip), 0) << server.ErrorText();

    // At the first progress report the server freezes, then dies.
    std::atomic<bool> cut{false};
    runRound(ip, 1, [&](qint64) {
        if (cut.exchange(true)) return;
        server.Signal(SIGSTOP);
        server.Signal(SIGKILL);
    });
    ASSERT_TRUE(cut.load());
    server.Kill();
    ASSERT_TRUE(server.Restart()) << server.ErrorText();

    // The dead session goes; a new one connects to the new process.
    ASSERT_EQ(connectTo(ip, false), 0);
    ASSERT_EQ(connectTo(ip), 0) << server.ErrorText();
    qint64 first = -1;
    const QList<Report> again = runRound(ip, 1);
    for (const Report& r : again)
        if (r.status == 1 && first < 0) first = r.value;
    ASSERT_FALSE(again.isEmpty());
    EXPECT_EQ(again.last().status, 2) << server.Log();
    EXPECT_GT(first, kChunk) << "the second round starts where the first one was cut";
    EXPECT_TRUE(fileBytes(mediaFolder() / big.filename()) == fileBytes(big));
}

}  // namespace
