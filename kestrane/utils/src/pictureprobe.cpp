#include "kestrane/pictureprobe.h"

#include <QBuffer>
#include <QColor>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QPainter>

#include <algorithm>

namespace kestrane {

bool isRegularFile(const QString& path) {
    if (path.isEmpty()) return false;
    // isFile() follows links and is true for regular files only.
    return QFileInfo(path).isFile();
}

namespace {

// The box a width × height picture fills inside the canvas, aspect kept.
QSize fitted(qint64 iw, qint64 ih, int width, int height) {
    int sw = width;
    int sh = height;
    if (qint64(height) * iw >= qint64(width) * ih)
        sh = int(qint64(width) * ih / iw);
    else
        sw = int(qint64(height) * iw / ih);
    // A very long picture keeps at least a line.
    return QSize(std::max(1, sw), std::max(1, sh));
}

bool sizeAllowed(const QSize& s) {
    return s.isValid() && s.width() > 0 && s.height() > 0 && qint64(s.width()) * s.height() <= kMaxPicturePixels;
}

}  // namespace

QImage fitPictureOnCanvas(const QImage& image, int width, int height, bool border, Qt::TransformationMode mode) {
    if (image.isNull() || width <= 0 || height <= 0) return QImage();
    const QSize box = fitted(image.width(), image.height(), width, height);
    const QImage scaled =
        image.size() == box ? image : image.scaled(box.width(), box.height(), Qt::IgnoreAspectRatio, mode);
    const int grow = border ? 2 : 0;
    const int shift = border ? 1 : 0;
    QImage canvas(width + grow, height + grow, QImage::Format_RGB32);
    if (canvas.isNull()) return canvas;
    canvas.fill(QColor(0x14, 0x14, 0x14));
    QPainter painter(&canvas);
    painter.drawImage((width - box.width()) / 2 + shift, (height - box.height()) / 2 + shift, scaled);
    return canvas;
}

PictureProbe probePicture(QIODevice* device, QSize thumbnailBox, bool border) {
    PictureProbe out;
    QImageReader reader(device);
    reader.setAutoTransform(false);
    const QSize size = reader.size();
    if (!sizeAllowed(size)) return out;
    out.size = size;
    if (thumbnailBox.isEmpty()) {
        out.ok = true;
        return out;
    }
    const QSize box = fitted(size.width(), size.height(), thumbnailBox.width(), thumbnailBox.height());
    reader.setScaledSize(box);
    const QImage picture = reader.read();
    if (picture.isNull()) return out;
    out.thumbnail = fitPictureOnCanvas(picture, thumbnailBox.width(), thumbnailBox.height(), border,
                                       Qt::SmoothTransformation);
    out.ok = !out.thumbnail.isNull();
    return out;
}

PictureProbe probePicture(const QString& path, QSize thumbnailBox, bool border) {
    if (!isRegularFile(path)) return PictureProbe();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return PictureProbe();
    return probePicture(&file, thumbnailBox, border);
}

QImage readPicture(const QString& path) {
    if (!isRegularFile(path)) return QImage();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return QImage();
    QImageReader reader(&file);
    if (!sizeAllowed(reader.size())) return QImage();
    return reader.read();
}

}  // namespace kestrane
