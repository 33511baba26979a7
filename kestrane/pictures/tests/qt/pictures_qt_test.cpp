#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QMovie>
#include <QPainter>
#include <QRegularExpression>

#include "kestrane/picturetable.h"
#include "support/QtWidgetTestApp.h"
#include "support/QtSpin.h"

namespace {

struct Expected {
    const char* path;
    int width;
    int height;
};

// Every picture path the console's windows name, at the size it is shown.
const Expected kNamed[] = {
    // Menu icons and the recent-project icon.
    {":/images/menu/连接_01.png", 16, 16},       {":/images/menu/连接_02.png", 16, 16},
    {":/images/menu/断开连接_01.png", 16, 16},   {":/images/menu/断开连接_02.png", 16, 16},
    {":/images/menu/添加设备_01.png", 16, 16},   {":/images/menu/添加设备_02.png", 16, 16},
    {":/images/menu/添加媒体_01.png", 16, 16},   {":/images/menu/添加媒体_02.png", 16, 16},
    {":/images/menu/添加命令_01.png", 16, 16},   {":/images/menu/添加命令_02.png", 16, 16},
    {":/images/menu/撤销_05.png", 16, 16},       {":/images/menu/撤销_02.png", 16, 16},
    {":/images/menu/取消撤销_05.png", 16, 16},   {":/images/menu/取消撤销_02.png", 16, 16},
    {":/images/menu/吸附_01.png", 16, 16},       {":/images/menu/吸附_02.png", 16, 16},
    {":/images/logo2.png", 16, 16},
    // Top bar: logo and the 26 x 26 title-bar labels.
    {":/images/logo_13x21.png", 13, 21},
    {":/images/maximize_transparent.png", 26, 26}, {":/images/maximize_halftransparent.png", 26, 26},
    {":/images/normal_transparent.png", 26, 26},   {":/images/normal_halftransparent.png", 26, 26},
    {":/images/minimize_transparent.png", 26, 26}, {":/images/minimize_halftransparent.png", 26, 26},
    {":/images/close_transparent.png", 26, 26},    {":/images/close_halftransparent.png", 26, 26},
    // Tool box.
    {":/images/connect.png", 21, 21},        {":/images/connect_hover.png", 21, 21},
    {":/images/connect_pressed.png", 21, 21}, {":/images/disconnect.png", 21, 21},
    {":/images/disconnect_hover.png", 21, 21}, {":/images/disconnect_pressed.png", 21, 21},
    {":/images/update.png", 41, 20},          {":/images/update_hover.png", 41, 20},
    {":/images/update_click.png", 41, 20},    {":/images/update_disable.png", 41, 20},
    {":/images/添加媒体_01.png", 21, 21},     {":/images/添加媒体_02.png", 21, 21},
    {":/images/添加媒体_03.png", 21, 21},     {":/images/添加设备_01.png", 21, 21},
    {":/images/添加设备_02.png", 21, 21},     {":/images/添加设备_03.png", 21, 21},
    {":/images/添加命令_01.png", 21, 21},     {":/images/添加命令_02.png", 21, 21},
    {":/images/添加命令_03.png", 21, 21},
    // Stage, busy overlay, thumbnails and the layer eye.
    {":/images/cursor-openhand.png", 32, 32}, {":/images/waitting4.gif", 31, 31},
    {":/images/video.png", 80, 60},           {":/images/timeaxis/eye.png", 20, 14},
    {":/images/timeaxis/eye_hide.png", 20, 14},
};

// The tool-box buttons' picture bases and their state suffixes.
QStringList toolboxPaths() {
    QStringList out;
    for (const char* base : {"select_media", "select_device"})
        for (const char* n : {"_01", "_02", "_03", "_04"}) out << QStringLiteral(":/images/%1%2.png").arg(QLatin1String(base), QLatin1String(n));
    for (const char* base : {"toolbox_left_right_move", "toolbox_top_bottom_move", "toolbox_left_align",
                             "toolbox_vcenter_align", "toolbox_right_align", "toolbox_top_align",
                             "toolbox_hcenter_align", "toolbox_bottom_align", "toolbox_snap", "hand_move"})
        for (const char* n : {"", "_2", "_3", "_4"}) out << QStringLiteral(":/images/%1%2.png").arg(QLatin1String(base), QLatin1String(n));
    return out;
}

// Pixels that differ between two pictures of one size.
int differing(const QImage& a, const QImage& b) {
    int n = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) n += a.pixel(x, y) != b.pixel(x, y);
    return n;
}

int opaquePixels(const QImage& image) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) n += qAlpha(image.pixel(x, y)) > 0;
    return n;
}

}  // namespace

TEST(PicturesQt, EveryNamedPathLoadsAtItsSize) {
    testApp();
    for (const Expected& e : kNamed) {
        const QString path = QString::fromUtf8(e.path);
        QImageReader reader(path);
        EXPECT_EQ(reader.format(), path.endsWith(QLatin1String(".gif")) ? QByteArray("gif") : QByteArray("png"))
            << e.path;
        const QImage image = reader.read();
        ASSERT_FALSE(image.isNull()) << e.path << ": " << reader.errorString().toStdString();
        EXPECT_EQ(image.size(), QSize(e.width, e.height)) << e.path;
        EXPECT_GT(opaquePixels(image), 0) << e.path << " is blank";
    }
    for (const QString& path : toolboxPaths()) {
        const QImage image(path);
        ASSERT_FALSE(image.isNull()) << path.toStdString();
        EXPECT_EQ(image.size(), QSize(21, 21)) << path.toStdString();
    }
    // Whatever else the table holds loads at its own size too.
    for (const auto& p : kestrane::pictures::kPictures) {
        const QImage image(QStringLiteral(":/") + QString::fromUtf8(p.path));
        EXPECT_EQ(image.size(), QSize(p.width, p.height)) << p.path;
    }
}

TEST(PicturesQt, StatesAreTellApartAndTheFilesHaveAsciiNames) {
    testApp();
    const QStringList states{QStringLiteral(":/images/update.png"), QStringLiteral(":/images/update_hover.png"),
                             QStringLiteral(":/images/update_click.png"), QStringLiteral(":/images/update_disable.png")};
    for (int i = 0; i < states.size(); ++i)
        for (int j = i + 1; j < states.size(); ++j)
            EXPECT_GT(differing(QImage(states[i]), QImage(states[j])), 20) << i << " " << j;
    EXPECT_GT(differing(QImage(QStringLiteral(":/images/connect.png")), QImage(QStringLiteral(":/images/disconnect.png"))), 20);

    QFile qrc(QStringLiteral(SV_BINARY_DIR "/kestrane/pictures/pictures/pictures.qrc"));
    ASSERT_TRUE(qrc.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(qrc.readAll());
    auto files = QRegularExpression(QStringLiteral(">([^<]+)</file>")).globalMatch(text);
    int count = 0;
    while (files.hasNext()) {
        const QString name = files.next().captured(1);
        ++count;
        for (QChar c : name) EXPECT_LT(c.unicode(), 128) << name.toStdString();
    }
    EXPECT_EQ(count, int(std::size(kestrane::pictures::kPictures)));

    // A sheet of every picture, three times its size, to look at.
    const int cell = 130;
    const int columns = 10;
    const int rows = (count + columns - 1) / columns;
    QImage sheet(columns * cell, rows * cell, QImage::Format_RGB32);
    sheet.fill(QColor(0x34, 0x34, 0x34));
    QPainter painter(&sheet);
    int i = 0;
    for (const auto& p : kestrane::pictures::kPictures) {
        const QImage image = QImage(QStringLiteral(":/") + QString::fromUtf8(p.path)).scaled(p.width * 3, p.height * 3);
        painter.drawImage((i % columns) * cell + 5, (i / columns) * cell + 5, image);
        ++i;
    }
    painter.end();
    QDir().mkpath(QStringLiteral(SV_BINARY_DIR "/artefacts"));
    EXPECT_TRUE(sheet.save(QStringLiteral(SV_BINARY_DIR "/artefacts/console_pictures.png")));
}

TEST(PicturesQt, TheBusyPictureAnimates) {
    testApp();
    QImageReader reader(QStringLiteral(":/images/waitting4.gif"));
    EXPECT_EQ(reader.loopCount(), -1);  // for ever
    ASSERT_GT(reader.imageCount(), 2);
    const QImage first = reader.read();
    EXPECT_GT(reader.nextImageDelay(), 0);
    reader.read();
    const QImage third = reader.read();
    ASSERT_FALSE(third.isNull());
    EXPECT_EQ(first.size(), QSize(31, 31));
    EXPECT_GT(differing(first, third), 10);
    // Transparent around the ring, so the overlay shows through.
    EXPECT_EQ(qAlpha(first.pixel(0, 0)), 0);
    EXPECT_EQ(qAlpha(first.pixel(15, 15)), 0);

    // Played, it moves on by itself.
    QMovie played(QStringLiteral(":/images/waitting4.gif"));
    played.start();
    EXPECT_TRUE(spinUntil([&] { return played.currentFrameNumber() >= 3; }));
    played.stop();
}
