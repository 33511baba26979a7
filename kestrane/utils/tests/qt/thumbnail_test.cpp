#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPixmap>

#include "kestrane/utils.h"
#include "support/support.h"

using namespace kestrane;

namespace {

QGuiApplication* app() {
    static int argc = 1;
    static char name[] = "kestrane_utils_qt_tests";
    static char* argv[] = {name, nullptr};
    static QGuiApplication* a = new QGuiApplication(argc, argv);
    return a;
}

const QRgb kCanvas = qRgb(0x14, 0x14, 0x14);

class ThumbnailTest : public ::testing::Test {
protected:
    void SetUp() override { app(); }

    // A picture of one colour, saved under a Chinese name.
    QString picture(int w, int h, QColor colour, const char* format = "PNG") {
        QImage image(w, h, QImage::Format_RGB32);
        image.fill(colour);
        const QString path =
            QString::fromStdString(dir.str()) + QStringLiteral("/图片%1x%2.").arg(w).arg(h) + QString::fromLatin1(format).toLower();
        EXPECT_TRUE(image.save(path, format));
        return path;
    }

    // The rows (or columns) whose pixel in the middle column (row) is not the canvas.
    static std::pair<int, int> paintedRows(const QImage& im) {
        int first = -1, last = -1;
        for (int y = 0; y < im.height(); ++y)
            if (im.pixel(im.width() / 2, y) != kCanvas) {
                if (first < 0) first = y;
                last = y;
            }
        return {first, last};
    }
    static std::pair<int, int> paintedColumns(const QImage& im) {
        int first = -1, last = -1;
        for (int x = 0; x < im.width(); ++x)
            if (im.pixel(x, im.height() / 2) != kCanvas) {
                if (first < 0) first = x;
                last = x;
            }
        return {first, last};
    }

    testsupport::TempDir dir;
};

}  // namespace

TEST_F(ThumbnailTest, WidePictureFitsTheWidthCentredVertically) {
    const QPixmap thumb = makeThumbnail(picture(400, 100, QColor(200, 40, 40)), 100, 100, false);
    ASSERT_FALSE(thumb.isNull());
    EXPECT_EQ(thumb.size(), QSize(100, 100));
    const QImage im = thumb.toImage();
    // 100 x 25 drawn at y = (100 - 25) / 2 = 37.
    EXPECT_EQ(paintedRows(im), std::make_pair(37, 61));
    EXPECT_EQ(paintedColumns(im), std::make_pair(0, 99));
    EXPECT_EQ(im.pixel(0, 0), kCanvas);
    EXPECT_EQ(im.pixel(99, 99), kCanvas);
    EXPECT_EQ(im.pixel(50, 50), qRgb(200, 40, 40));
}

TEST_F(ThumbnailTest, TallPictureFitsTheHeightCentredHorizontally) {
    const QImage im = makeThumbnail(picture(100, 400, QColor(40, 200, 40), "JPG"), 100, 100, false).toImage();
    ASSERT_FALSE(im.isNull());
    EXPECT_EQ(paintedColumns(im), std::make_pair(37, 61));
    EXPECT_EQ(paintedRows(im), std::make_pair(0, 99));
}

TEST_F(ThumbnailTest, BorderGrowsTheCanvasAndShiftsThePicture) {
    const QPixmap thumb = makeThumbnail(picture(400, 100, QColor(30, 30, 220), "BMP"), 100, 100, true);
    EXPECT_EQ(thumb.size(), QSize(102, 102));
    const QImage im = thumb.toImage();
    EXPECT_EQ(paintedRows(im), std::make_pair(38, 62));
    EXPECT_EQ(paintedColumns(im), std::make_pair(1, 100));
    EXPECT_EQ(im.pixel(0, 50), kCanvas);
    EXPECT_EQ(im.pixel(101, 50), kCanvas);
}

TEST_F(ThumbnailTest, SameAspectFillsTheBox) {
    const QImage im = makeThumbnail(picture(60, 30, QColor(10, 120, 250)), 200, 100, false).toImage();
    EXPECT_EQ(paintedRows(im), std::make_pair(0, 99));
    EXPECT_EQ(paintedColumns(im), std::make_pair(0, 199));
}

TEST_F(ThumbnailTest, WhatCannotBeLoadedGivesANullPixmap) {
    const QString text = QString::fromStdString(dir.str()) + QStringLiteral("/假.png");
    testsupport::WriteFile(text.toStdString(), "not a picture");
    EXPECT_TRUE(makeThumbnail(text, 100, 100, true).isNull());
    EXPECT_TRUE(makeThumbnail(QString::fromStdString(dir.str()) + QStringLiteral("/none.png"), 100, 100, false).isNull());
    EXPECT_TRUE(makeThumbnail(picture(10, 10, Qt::white), 0, 100, false).isNull());
    EXPECT_TRUE(makeVideoThumbnail(QImage(), 100, 100, true).isNull());
}

TEST_F(ThumbnailTest, VeryLongPictureKeepsALine) {
    const QImage im = makeThumbnail(picture(1000, 1, QColor(250, 250, 0)), 50, 50, false).toImage();
    EXPECT_EQ(paintedRows(im), std::make_pair(24, 24));  // (50 - 1) / 2
}

TEST_F(ThumbnailTest, VideoFrameIsTurnedUprightWithRedAndBlueSwapped) {
    // Bottom-up rows with blue where red belongs: row 0 is the bottom.
    QImage frame(2, 2, QImage::Format_RGB32);
    frame.setPixel(0, 0, qRgb(0, 0, 200));
    frame.setPixel(1, 0, qRgb(0, 0, 200));
    frame.setPixel(0, 1, qRgb(10, 200, 90));
    frame.setPixel(1, 1, qRgb(10, 200, 90));
    const QPixmap thumb = makeVideoThumbnail(frame, 4, 4, false);
    ASSERT_EQ(thumb.size(), QSize(4, 4));
    const QImage im = thumb.toImage();
    EXPECT_EQ(im.pixel(0, 0), qRgb(90, 200, 10));
    EXPECT_EQ(im.pixel(3, 1), qRgb(90, 200, 10));
    EXPECT_EQ(im.pixel(0, 2), qRgb(200, 0, 0));
    EXPECT_EQ(im.pixel(3, 3), qRgb(200, 0, 0));
}

TEST_F(ThumbnailTest, VideoFrameWithBorder) {
    QImage frame(8, 4, QImage::Format_RGB32);
    frame.fill(qRgb(0, 0, 255));
    const QImage im = makeVideoThumbnail(frame, 8, 8, true).toImage();
    ASSERT_EQ(im.size(), QSize(10, 10));
    // 8 x 4 at y = 2, shifted by one; the overlay picture comes with the
    // program's resources, which this test has not.
    EXPECT_EQ(paintedRows(im), std::make_pair(3, 6));
    EXPECT_EQ(im.pixel(1, 3), qRgb(255, 0, 0));
    EXPECT_EQ(im.pixel(0, 0), kCanvas);
}

TEST(PixmapOpacity, ScalesAlphaAndKeepsColour) {
    app();
    QImage source(4, 4, QImage::Format_ARGB32);
    source.fill(QColor(200, 100, 50, 255));
    source.setPixelColor(1, 1, QColor(20, 220, 120, 128));
    source.setPixelColor(2, 2, QColor(0, 0, 0, 0));
    struct Case {
        int alpha;
        int opaqueAfter;
        int halfAfter;
    };
    const Case cases[] = {{255, 255, 128}, {128, 128, 64}, {0, 0, 0}, {300, 255, 128}, {-5, 0, 0}};
    for (const Case& c : cases) {
        QPixmap pixmap = QPixmap::fromImage(source);
        setPixmapOpacity(pixmap, c.alpha);
        ASSERT_EQ(pixmap.size(), QSize(4, 4));
        const QImage out = pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
        const QColor opaque = out.pixelColor(0, 0);
        EXPECT_NEAR(opaque.alpha(), c.opaqueAfter, 1) << c.alpha;
        if (c.opaqueAfter > 0) {
            EXPECT_NEAR(opaque.red(), 200, 2) << c.alpha;
            EXPECT_NEAR(opaque.green(), 100, 2) << c.alpha;
            EXPECT_NEAR(opaque.blue(), 50, 2) << c.alpha;
        }
        const QColor half = out.pixelColor(1, 1);
        EXPECT_NEAR(half.alpha(), c.halfAfter, 1) << c.alpha;
        if (c.halfAfter > 32) {
            EXPECT_NEAR(half.green(), 220, 4) << c.alpha;
        }
        EXPECT_EQ(out.pixelColor(2, 2).alpha(), 0) << c.alpha;
    }
    QPixmap none;
    setPixmapOpacity(none, 100);
    EXPECT_TRUE(none.isNull());
}
