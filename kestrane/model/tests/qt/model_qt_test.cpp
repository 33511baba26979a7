#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QVariant>

#include "kestrane/gconfig.h"
#include "qt/qtapp.h"

namespace {

QGuiApplication* app() { return testApp(); }

}  // namespace

TEST(MediaSourceQt, ThumbnailTravelsAsPngAndTheFieldsAfterItFollow) {
    app();
    MediaSource m;
    m.kind = 1;
    m.path = QStringLiteral("/p/q.png");
    m.thumbnail = QImage(16, 9, QImage::Format_RGB32);
    m.thumbnail.fill(QColor(10, 200, 30));
    m.thumbnail.setPixel(3, 4, qRgb(255, 0, 128));
    m.duration = 4000;
    m.collapsed = true;
    const QByteArray blob = m.toBlob();
    // Marker 1 then a PNG signature right after the three texts.
    const int at = 4 + (4 + m.path.size() * 2) + 4 + 4;
    EXPECT_EQ(blob.mid(at, 4), QByteArray::fromHex("00000001"));
    EXPECT_EQ(blob.mid(at + 4, 8), QByteArray::fromHex("89504e470d0a1a0a"));

    MediaSource back;
    ASSERT_TRUE(back.fromBlob(blob));
    ASSERT_FALSE(back.thumbnail.isNull());
    EXPECT_EQ(back.thumbnail.size(), QSize(16, 9));
    EXPECT_EQ(back.thumbnail.pixel(3, 4), qRgb(255, 0, 128));
    EXPECT_EQ(back.thumbnail.pixel(0, 0), qRgb(10, 200, 30));
    EXPECT_EQ(back.duration, 4000);
    EXPECT_TRUE(back.collapsed);
}

TEST(MediaSourceQt, TravelsInAVariantUnderItsName) {
    app();
    GConfig::instance();  // registers the record types when it is made
    EXPECT_NE(QMetaType::type("MediaSource"), 0);
    MediaSource m;
    m.fileName = QStringLiteral("片头.mp4");
    m.sourceKey = 77;
    const QVariant v = QVariant::fromValue(m);
    EXPECT_STREQ(v.typeName(), "MediaSource");
    EXPECT_EQ(v.value<MediaSource>().fileName, QStringLiteral("片头.mp4"));
    EXPECT_EQ(v.value<MediaSource>().sourceKey, 77);
}

TEST(GConfigQt, RecordRemovalWaitsForTheEventLoop) {
    app();
    GConfig& c = GConfig::instance();
    c.clearProject();
    LayerIORecord l;
    l.id = 3;
    c.addLayerIO(l);
    c.removeLayerIO(3, true);
    // The caller's own handling finishes first.
    EXPECT_NE(c.findLayerIO(3), nullptr);
    QElapsedTimer t;
    t.start();
    while (c.findLayerIO(3) && t.elapsed() < 5000) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    EXPECT_EQ(c.findLayerIO(3), nullptr);
}
