#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>

#include "axisfixture.h"
#include "kestrane/colorwidget.h"
#include "kestrane/layermedia.h"
#include "kestrane/rulerwidget.h"

namespace {

QImage thumbnail(const QColor& color) {
    QImage image(43, 34, QImage::Format_RGB32);
    image.fill(color);
    QPainter p(&image);
    p.setPen(Qt::white);
    p.drawEllipse(8, 4, 26, 26);
    return image;
}

// Layers, a group, three media dropped on the stage and placed on their
// rows, zoom level 5 and a reorder, as the operator would see them.
TEST_F(AxisTest, StandaloneTimeAxisWithMediaZoomAndReorder) {
    GConfig& config = GConfig::instance();
    // The console's own style sheet.
    QFile qss(QString::fromUtf8(qgetenv("SV_SOURCE_DIR")) + QStringLiteral("/kestrane/app/qss.css"));
    ASSERT_TRUE(qss.open(QIODevice::ReadOnly));
    axis->setStyleSheet(QString::fromUtf8(qss.readAll()));
    axis->markCurrentLayer(rowOf(QStringLiteral("L4")));
    axis->addFolder()->setTitle(QStringLiteral("片头组"));
    header(QStringLiteral("L4"))->setKind(LayerInfoPanel::ChildLayer);
    header(QStringLiteral("L5"))->setKind(LayerInfoPanel::ChildLayer);
    header(QStringLiteral("L2"))->setTitle(QStringLiteral("背景"));
    header(QStringLiteral("L4"))->setColor(ColorWidget::colorTable().keys().value(2));
    header(QStringLiteral("L5"))->setEyeHidden(true);

    const struct {
        int id;
        const char* name;
        int duration;
        const char* row;
        QColor color;
    } media[] = {{1, "开场.mp4", 40000, "背景", QColor(200, 60, 60)},
                 {2, "logo.png", -1, "背景", QColor(60, 160, 60)},
                 {3, "字幕.mov", 25000, "L4", QColor(60, 60, 200)}};
    for (const auto& m : media) {
        MediaSource rec;
        rec.id = m.id;
        rec.kind = m.duration < 0 ? 1 : 0;
        rec.fileName = QString::fromUtf8(m.name);
        rec.duration = m.duration;
        rec.thumbnail = thumbnail(m.color);
        config.media().insert(m.id, rec);
        axis->addItemToLayer(m.id, rowOf(QString::fromUtf8(m.row)));
    }
    ASSERT_TRUE(waitFor([this] {
        return strip(QStringLiteral("背景"))->mediaIds().size() == 2 && strip(QStringLiteral("L4"))->mediaIds().size() == 1;
    }));
    // The second media on a row starts 1 ms after the first ends; a picture
    // takes the default picture length.
    EXPECT_EQ(config.mediaRecord(1).start, 0);
    EXPECT_EQ(config.mediaRecord(2).start, 40001);
    EXPECT_EQ(config.mediaRecord(2).duration, config.defaultPicDuration());

    axis->setScale(5);
    axis->markCurrentLayer(rowOf(QStringLiteral("背景")));
    axis->changeLayerSequence(3);  // to the bottom, below the group
    EXPECT_EQ(layout(), QStringLiteral("L1 L3 片头组(L4 L5) 背景"));
    EXPECT_EQ(config.mediaRecord(1).layer, rowOf(QStringLiteral("背景")));
    EXPECT_EQ(config.mediaRecord(3).layer, rowOf(QStringLiteral("L4")));
    QCoreApplication::processEvents();

    const QImage shot = axis->grab().toImage();
    ASSERT_EQ(shot.size(), QSize(1600, 400));
    const QString dir = QString::fromUtf8(qgetenv("SV_BINARY_DIR")) + QStringLiteral("/artefacts");
    QDir().mkpath(dir);
    ASSERT_TRUE(shot.save(dir + QStringLiteral("/timeaxis.png")));

    // The bars stand where the ruler puts their times, in their rows.
    const QImage back(dir + QStringLiteral("/timeaxis.png"));
    ASSERT_FALSE(back.isNull());
    auto pixelAt = [&](int mediaId, int ms) {
        const MediaSource rec = config.mediaRecord(mediaId);
        const LayerPanel* s = table()->strip(rec.layer);
        const QPoint p = s->mapTo(axis.get(), QPoint(RulerWidget::toPixel(ms) + 7, s->height() - 3));
        return back.pixelColor(p);
    };
    const QColor barColor(QStringLiteral("#527098"));
    EXPECT_EQ(pixelAt(1, 20000), barColor);
    EXPECT_EQ(pixelAt(2, 45000), barColor);
    EXPECT_EQ(pixelAt(3, 12000), barColor);
    // Past the last bar of a row the strip shows.
    EXPECT_NE(pixelAt(2, 40001 + config.defaultPicDuration() + 2000), barColor);
    EXPECT_NE(pixelAt(3, 30000), barColor);
    // The group's placeholder spans its layers' media.
    const LayerPanel* group = strip(QStringLiteral("片头组"));
    ASSERT_EQ(group->mediaItems().size(), 1);
    const LayerMedia* placeholder = group->mediaItems().first();
    EXPECT_TRUE(placeholder->isVisible());
    EXPECT_EQ(placeholder->x(), 7);
    EXPECT_EQ(placeholder->width(), RulerWidget::toPixel(25000));
}

}  // namespace
