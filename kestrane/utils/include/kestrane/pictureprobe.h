// Reading a still picture that the operator imports or a project names,
// without trusting it: only regular files are opened (a FIFO or a device
// would block the reader for ever), and the size the header claims is
// checked before anything is decoded (a few hundred bytes can claim
// 65,500 × 65,500 pixels). Safe on any thread: it uses QImage only.
#pragma once

#include <QImage>
#include <QSize>
#include <QString>

class QIODevice;

namespace kestrane {

// The most pixels the console decodes of one picture: 1 GiB at 32 bits.
constexpr qint64 kMaxPicturePixels = qint64(1) << 28;

// Whether path names a regular file (after links); a FIFO, a device, a
// socket or a folder is none.
bool isRegularFile(const QString& path);

struct PictureProbe {
    bool ok = false;
    QSize size;        // as the header claims
    QImage thumbnail;  // fitted on a canvas as makeThumbnail does; null when not asked for
};

// Reads the picture's header, then (with a thumbnail box) decodes it no
// larger than the box needs where the format can (JPEG scales while it
// decodes). Not ok: no regular file, no picture, a size the header does
// not tell, more than kMaxPicturePixels, or a picture that does not decode.
PictureProbe probePicture(const QString& path, QSize thumbnailBox = QSize(), bool border = false);
// The same on bytes already read (what the fuzzer drives).
PictureProbe probePicture(QIODevice* device, QSize thumbnailBox = QSize(), bool border = false);

// A whole picture decoded at its own size, or null as above.
QImage readPicture(const QString& path);

// The picture fitted on a width × height canvas (see makeThumbnail).
QImage fitPictureOnCanvas(const QImage& image, int width, int height, bool border, Qt::TransformationMode mode);

}  // namespace kestrane
