// Draws the program's own pictures at build time: the default background (a
// dark JPEG with the program name in its middle) and the matting overlay (a
// PNG that is transparent around its text).
//   make_pictures <background.jpg> <matting.png>
#include <QColor>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: make_pictures <background.jpg> <matting.png>\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    QImage background(1920, 1080, QImage::Format_RGB32);
    background.fill(QColor(16, 20, 28));
    {
        QPainter painter(&background);
        painter.setRenderHint(QPainter::TextAntialiasing);
        QFont font;
        font.setPixelSize(96);
        painter.setFont(font);
        painter.setPen(QColor(200, 205, 215));
        painter.drawText(background.rect(), Qt::AlignCenter, QStringLiteral("Solvane"));
    }
    if (!background.save(QString::fromLocal8Bit(argv[1]), "JPG", 90)) return 1;

    QImage matting(256, 64, QImage::Format_ARGB32);
    matting.fill(Qt::transparent);
    {
        QPainter painter(&matting);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setBrush(QColor(0, 0, 0, 110));
        painter.setPen(Qt::NoPen);
        painter.drawRoundedRect(QRectF(4, 4, 248, 56), 12, 12);
        QFont font;
        font.setPixelSize(32);
        painter.setFont(font);
        painter.setPen(QColor(255, 255, 255, 220));
        painter.drawText(matting.rect(), Qt::AlignCenter, QStringLiteral("Solvane"));
    }
    return matting.save(QString::fromLocal8Bit(argv[2]), "PNG") ? 0 : 1;
}
