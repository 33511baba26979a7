// Pictures the operator imports are read without trusting them: the header's
// size is checked before decoding, and only regular files are opened.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>

#include <sys/stat.h>

#include "kestrane/pictureprobe.h"
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

QByteArray encoded(int w, int h, QColor colour, const char* format) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    EXPECT_TRUE(image.save(&buffer, format));
    return bytes;
}

// A small JPEG whose frame header claims width × height: a few hundred
// bytes that a decoder would grow to the claimed size.
QByteArray jpegClaiming(int w, int h) {
    QByteArray bytes = encoded(16, 16, QColor(90, 90, 90), "JPG");
    const int sof = bytes.indexOf(QByteArray("\xff\xc0", 2));
    EXPECT_GT(sof, 0);
    // Marker, length (2), precision (1), height (2), width (2).
    bytes[sof + 5] = char(h >> 8);
    bytes[sof + 6] = char(h);
    bytes[sof + 7] = char(w >> 8);
    bytes[sof + 8] = char(w);
    return bytes;
}

class PictureProbeTest : public ::testing::Test {
protected:
    void SetUp() override { app(); }
    QString file(const char* name, const QByteArray& bytes) {
        const QString path = QString::fromStdString(dir.str()) + QLatin1Char('/') + QString::fromUtf8(name);
        testsupport::WriteFile(path.toStdString(), bytes.toStdString());
        return path;
    }
    testsupport::TempDir dir;
};

}  // namespace

TEST_F(PictureProbeTest, OnlyRegularFilesWithABoundedHeaderAreRead) {
    const QString fifoPng = QString::fromStdString(dir.str()) + QStringLiteral("/管道.png");
    const QString fifoJpg = QString::fromStdString(dir.str()) + QStringLiteral("/pipe.jpg");
    ASSERT_EQ(::mkfifo(fifoPng.toLocal8Bit().constData(), 0600), 0);
    ASSERT_EQ(::mkfifo(fifoJpg.toLocal8Bit().constData(), 0600), 0);
    const QString folder = QString::fromStdString(dir.str()) + QStringLiteral("/folder.png");
    ASSERT_TRUE(QDir().mkpath(folder));
    struct Case {
        const char* what;
        QString path;
        bool ok;
        QSize size;
    } cases[] = {
        {"png", file("图片.png", encoded(64, 48, QColor(10, 200, 90), "PNG")), true, QSize(64, 48)},
        {"jpeg", file("a.jpg", encoded(400, 100, QColor(200, 40, 40), "JPG")), true, QSize(400, 100)},
        {"jpeg claiming 65,500 x 65,500", file("bomb.jpg", jpegClaiming(65500, 65500)), false, QSize()},
        {"jpeg claiming 1 x 300,000,000", file("long.jpg", jpegClaiming(65500, 4200)), false, QSize()},
        {"no picture", file("text.png", "not a picture"), false, QSize()},
        {"empty", file("empty.png", QByteArray()), false, QSize()},
        {"fifo .png", fifoPng, false, QSize()},
        {"fifo .jpg", fifoJpg, false, QSize()},
        {"folder", folder, false, QSize()},
        {"missing", QString::fromStdString(dir.str()) + QStringLiteral("/none.png"), false, QSize()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const PictureProbe p = probePicture(c.path, QSize(43, 32), true);
        EXPECT_EQ(p.ok, c.ok);
        if (!c.ok) {
            EXPECT_TRUE(p.thumbnail.isNull());
            EXPECT_TRUE(makeThumbnail(c.path, 43, 32, true).isNull());
            EXPECT_TRUE(readPicture(c.path).isNull());
            continue;
        }
        EXPECT_EQ(p.size, c.size);
        EXPECT_EQ(p.thumbnail.size(), QSize(45, 34));
        EXPECT_EQ(readPicture(c.path).size(), c.size);
    }
    EXPECT_FALSE(isRegularFile(fifoPng));
    EXPECT_FALSE(isRegularFile(folder));
    EXPECT_TRUE(isRegularFile(cases[0].path));
}

// Without a box only the header is read: the size of a picture too large to
// decode is still not told, and a good picture's is.
TEST_F(PictureProbeTest, HeaderOnlyProbeTellsTheSize) {
    QByteArray good = encoded(30, 20, Qt::white, "PNG");
    QBuffer buffer(&good);
    buffer.open(QIODevice::ReadOnly);
    const PictureProbe p = probePicture(&buffer);
    EXPECT_TRUE(p.ok);
    EXPECT_EQ(p.size, QSize(30, 20));
    EXPECT_TRUE(p.thumbnail.isNull());

    QByteArray bomb = jpegClaiming(65500, 65500);
    QBuffer bombBuffer(&bomb);
    bombBuffer.open(QIODevice::ReadOnly);
    EXPECT_FALSE(probePicture(&bombBuffer).ok);
}
