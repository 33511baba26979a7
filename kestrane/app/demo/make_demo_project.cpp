// Writes the demo project that tools/demo.sh opens: one 1920 x 1080 device
// per display server given, a picture and a clip on the first layer, and
// the console's settings that open it at start, connect and play.
//
//   kestrane_demo_project PROJECT PICTURE CLIP IP...
#include <QApplication>
#include <QFileInfo>
#include <QGraphicsItem>
#include <QImage>
#include <QSettings>

#include <cstdio>

#include "kestrane/gconfig.h"
#include "kestrane/layertable.h"
#include "kestrane/mainwidget.h"
#include "kestrane/pictures.h"
#include "kestrane/settings.h"
#include "kestrane/sidepanelhooks.h"
#include "kestrane/stageitems.h"
#include "kestrane/stagehooks.h"
#include "kestrane/timeaxiswidget.h"
#include "kestrane/utils.h"

namespace {

int addMedia(MainWidget& window, int kind, const QString& path, double x, int startMs, int row) {
    GConfig& g = GConfig::instance();
    const int id = g.nextMediaId();
    MediaSource m;
    m.kind = kind;
    m.path = path;
    m.fileName = QFileInfo(path).fileName();
    // The media table's thumbnails, as an import makes them; the clip's
    // first frame is the picture next to it (tools/demo.sh makes both).
    const QString still = kind == 1 ? path : path + QStringLiteral(".png");
    if (QFileInfo::exists(still))
        m.thumbnail = kestrane::makeThumbnail(still, 43, 32, true).toImage();
    m.x = x;
    m.y = 0;
    m.width = 1920;
    m.height = 1080;
    m.nativeWidth = 640;
    m.nativeHeight = 360;
    m.start = startMs;
    m.duration = 10000;
    m.layer = 0;
    m.id = id;
    m.sourceKey = id;
    g.mediaLibrary().append(m);
    g.setMediaRecord(m, id);
    g.stageHooks().addMediaItem(id);
    window.timeAxisWidget()->addItemToLayer(id, row, 0);
    return id;
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QStringList args;
    for (int i = 0; i < argc; ++i) args << QString::fromLocal8Bit(argv[i]);
    // The window's start-up reads the application's arguments: it gets none,
    // so it opens nothing of its own.
    int appArgc = 1;
    QApplication app(appArgc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kestrane"));
    kestrane::initPictures();
    if (args.size() < 5) {
        std::fprintf(stderr, "usage: kestrane_demo_project PROJECT PICTURE CLIP IP...\n");
        return 2;
    }
    const QString project = args.at(1);
    MainWidget::setStartPanelRunner([](QWidget*, QString*) { return false; });
    MainWidget window;
    GConfig& g = GConfig::instance();
    g.clearProject();
    // Two layers: the picture and the clip play at the same time.
    window.timeAxisWidget()->addLayer(false);
    window.timeAxisWidget()->addLayer(false);

    for (int i = 4; i < args.size(); ++i) {
        DeviceRecord d;
        d.name = QStringLiteral("演示屏%1").arg(i - 3);
        d.serverIp = args.at(i);
        d.width = 1920;
        d.height = 1080;
        d.outputIndex = 1;
        d.stageX = (i - 4) * 1920;
        d.stageY = 0;
        const int id = g.nextDeviceId();
        g.devices().insert(id, d);
        g.sidePanelHooks().insertDeviceItem(id, 0, false);
        // A new tile lands in the middle of the view: put it where the
        // record says, as a project load does.
        g.stageHooks().addDeviceItem(id);
        DeviceRecord* placed = g.device(id);
        placed->stageX = (i - 4) * 1920;
        placed->stageY = 0;
        if (placed->stageItem) placed->stageItem->setPos(stage::toScene(placed->stageX), stage::toScene(0));
    }
    // The picture on the first output, the clip on the second (or after the
    // picture on a single one).
    const bool two = args.size() > 5;
    const QList<int> rows = window.timeAxisWidget()->table()->headerRows();
    const int first = rows.value(0, 0), second = rows.value(1, first);
    addMedia(window, 1, args.at(2), 0, 0, first);
    addMedia(window, 0, args.at(3), two ? 1920 : 0, two ? 0 : 10000, two ? second : first);

    if (!g.saveProjectFile(project)) {
        std::fprintf(stderr, "kestrane_demo_project: cannot write %s\n", qPrintable(project));
        return 1;
    }
    std::unique_ptr<QSettings> settings = kestrane::openSettings();
    settings->setValue(QStringLiteral("base/showList"), 1);
    settings->beginGroup(QStringLiteral("GeneralSettings"));
    settings->setValue(QStringLiteral("clientAutoLoadFile"), true);
    settings->setValue(QStringLiteral("clientAutoLoadFilePath"), project);
    settings->setValue(QStringLiteral("clientAutoConnect"), true);
    settings->setValue(QStringLiteral("clientAutoConnectAndPlay"), true);
    settings->endGroup();
    settings->sync();
    g.setSaved(true);
    std::printf("demo project %s with %d device(s)\n", qPrintable(project), int(args.size() - 4));
    return 0;
}
