// Opening a large, honest project in the console's main window: 200 layers
// with 10 pictures each, written from the file layout. Prints the time the
// open takes and where it goes; run offscreen (QT_QPA_PLATFORM=offscreen)
// or on a test X server.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <cstdio>

#include "blobbytes.h"
#include "kestrane/gconfig.h"
#include "kestrane/mainwidget.h"
#include "kestrane/pictures.h"
#include "kestrane/timeaxiswidget.h"

namespace {

void row(Bytes& b, int role, const QString& name) {
    b.u32(8).i8(0);
    if (role == 102) {
        b.u32(3);
        b.str(QStringLiteral("role")).u32(2).i8(0).i32(role);
        b.str(QStringLiteral("isLock")).u32(1).i8(0).boolean(false);
        b.str(QStringLiteral("eyeIsHidden")).u32(1).i8(0).boolean(false);
        return;
    }
    b.u32(6);
    b.str(QStringLiteral("type")).u32(2).i8(0).i32(0);
    b.str(QStringLiteral("role")).u32(2).i8(0).i32(role);
    b.str(QStringLiteral("name")).u32(10).i8(0).str(name);
    b.str(QStringLiteral("isLock")).u32(1).i8(0).boolean(false);
    b.str(QStringLiteral("eyeIsHidden")).u32(1).i8(0).boolean(false);
    b.str(QStringLiteral("color")).u32(10).i8(0).str(QStringLiteral("#3a6ea5"));
}

QByteArray bigProject(const QString& picture, int layers, int perLayer) {
    Bytes media;
    const int count = layers * perLayer;
    media.u32(uint32_t(count));
    for (int id = count; id >= 1; --id) {
        const int layer = (id - 1) / perLayer;
        const int slot = (id - 1) % perLayer;
        MediaSource m;
        m.kind = 1;
        m.path = picture;
        m.fileName = QStringLiteral("p.png");
        m.start = slot * 5000;
        m.duration = 4000;
        m.x = 100 * slot;
        m.y = 10 * layer;
        m.width = 320;
        m.height = 180;
        m.nativeWidth = 32;
        m.nativeHeight = 18;
        m.layer = layer * 5;
        m.id = id;
        m.sourceKey = 1;
        EffectKey key;
        key.id = 1;
        key.kind = kestrane::EffectOpacity;
        key.time = 1000;
        key.value1 = 0.5;
        m.effects.insert(1, key);
        media.i32(id).bytes(m.toBlob());
    }
    Bytes b;
    b.raw(media.data());
    DeviceRecord d;
    d.name = QStringLiteral("屏");
    d.serverIp = QStringLiteral("198.18.1.2");
    d.width = 1920;
    d.height = 1080;
    d.outputIndex = 1;
    d.stageX = 0;
    d.stageY = 0;
    b.u32(1).i32(1).bytes(d.toBlob());
    b.i32(layers * 5);
    MediaSource entry;
    entry.kind = 1;
    entry.path = picture;
    entry.fileName = QStringLiteral("p.png");
    entry.sourceKey = 1;
    b.u32(1).bytes(entry.toBlob());
    b.i32(perLayer * 5000 + 10000).i32(0).i32(perLayer * 5000);
    b.u32(uint32_t(layers));
    for (int l = 0; l < layers; ++l) b.str(QStringLiteral("#3a6ea5"));
    b.u32(0).u32(0).u32(0);
    b.u32(uint32_t(layers * 5));
    for (int l = 0; l < layers; ++l) {
        row(b, 100, QStringLiteral("图层%1").arg(l + 1));
        for (int k = 0; k < 4; ++k) row(b, 102, QString());
    }
    b.u32(0).u32(0).u32(0);
    b.f64(0.25).i32(0).i32(0);
    b.i32(3).i32(0).boolean(false).i32(0);
    b.u32(0).u32(0);
    b.u32(0).i8(1);
    b.u32(0xCC0D8983u);
    return b.data();
}

}  // namespace

int main(int argc, char** argv) {
    QTemporaryDir dir;
    qputenv("XDG_CONFIG_HOME", (dir.path() + QStringLiteral("/config")).toLocal8Bit());
    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kestrane"));
    kestrane::initPictures();
    MainWidget::setStartPanelRunner([](QWidget*, QString*) { return false; });

    const QString picture = dir.path() + QStringLiteral("/p.png");
    QImage image(32, 18, QImage::Format_RGB32);
    image.fill(Qt::red);
    image.save(picture);

    MainWidget window;
    window.resize(1280, 800);
    window.show();
    for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();

    for (const auto& [layers, perLayer] : {std::pair{20, 10}, std::pair{100, 10}, std::pair{200, 10}}) {
        const QString path = dir.path() + QStringLiteral("/big%1.vadra").arg(layers);
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write(bigProject(picture, layers, perLayer));
        f.close();
        GConfig::instance().setSaved(true);
        QElapsedTimer t;
        t.start();
        bool loaded = false;
        window.openProjectPath(path, &loaded);
        const qint64 openMs = t.elapsed();
        for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
        const qint64 settledMs = t.elapsed();
        std::printf("%d layers x %d pictures: loaded %s, open %lld ms, settled %lld ms, %d media, %d table rows\n",
                    layers, perLayer, loaded ? "yes" : "no", static_cast<long long>(openMs),
                    static_cast<long long>(settledMs), GConfig::instance().media().size(),
                    window.timeAxisWidget()->layerRowCount());
        std::fflush(stdout);
    }
    GConfig::instance().setSaved(true);
    return 0;
}
