#include "kestrane/utils.h"

#include "kestrane/pictureprobe.h"

#include <QColor>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>
#include <QTime>

#include <algorithm>
#include <climits>

namespace kestrane {

// ---------------------------------------------------------------------------
// Time and size texts

namespace {

QString twoDigits(qint64 v) {
    return v < 10 ? QLatin1Char('0') + QString::number(v) : QString::number(v);
}

struct TimeParts {
    bool negative = false;
    qint64 totalMinutes = 0;
    qint64 hours = 0;
    qint64 minutes = 0;
    qint64 seconds = 0;
    qint64 millis = 0;
};

// 64-bit so that the magnitude of INT_MIN exists.
TimeParts split(int ms) {
    TimeParts t;
    qint64 v = ms;
    if (v < 0) {
        t.negative = true;
        v = -v;
    }
    t.totalMinutes = v / 60000;
    t.seconds = (v - t.totalMinutes * 60000) / 1000;
    t.hours = t.totalMinutes / 60;
    t.minutes = t.totalMinutes - t.hours * 60;
    t.millis = v - t.totalMinutes * 60000 - t.seconds * 1000;
    return t;
}

QString sign(const TimeParts& t) { return t.negative ? QStringLiteral("-") : QString(); }

// A group of digits as a number; -1 when it cannot be part of an int time.
qint64 digitsValue(const QString& digits) {
    int first = 0;
    while (first < digits.size() && digits.at(first) == QLatin1Char('0')) ++first;
    const QString significant = digits.mid(first);
    if (significant.isEmpty()) return 0;
    if (significant.size() > 10) return -1;
    return significant.toLongLong();
}

}  // namespace

QString msToTimeText(int ms) {
    const TimeParts t = split(ms);
    return sign(t) + QStringLiteral("%1:%2:%3").arg(twoDigits(t.hours), twoDigits(t.minutes), twoDigits(t.seconds));
}

QString msToTimeTextMs(int ms) {
    const TimeParts t = split(ms);
    const QString millis = QStringLiteral("%1").arg(t.millis, 3, 10, QLatin1Char('0'));
    return sign(t) + QStringLiteral("%1:%2:%3.%4")
                         .arg(twoDigits(t.hours), twoDigits(t.minutes), twoDigits(t.seconds), millis);
}

QString msToMinSecText(int ms) {
    const TimeParts t = split(ms);
    return sign(t) + QStringLiteral("%1:%2").arg(twoDigits(t.totalMinutes), twoDigits(t.seconds));
}

int timeTextToMs(const QString& text) {
    static const QRegularExpression kTime(QStringLiteral("([0-9]*):([0-9]*):([0-9]*)\\.([0-9]*)"));
    const QRegularExpressionMatch m = kTime.match(text);
    if (!m.hasMatch()) return 0;
    qint64 parts[4];
    for (int i = 0; i < 4; ++i) {
        parts[i] = digitsValue(m.captured(i + 1));
        if (parts[i] < 0) return 0;
    }
    // Each part is below 10^10, so the sum stays far inside 64 bits.
    const qint64 ms = ((parts[0] * 60 + parts[1]) * 60 + parts[2]) * 1000 + parts[3];
    return ms > INT_MAX ? 0 : int(ms);
}

QString sizeToText(qint64 bytes) {
    constexpr qint64 kK = 1024, kM = 1024 * 1024, kG = 1024 * 1024 * 1024;
    if (bytes < kK) return QStringLiteral("%1B").arg(bytes);
    if (bytes < kM) return QString::number(double(bytes) / double(kK), 'f', 2) + QLatin1Char('K');
    if (bytes < kG) return QString::number(double(bytes) / double(kM), 'f', 2) + QLatin1Char('M');
    return QString::number(double(bytes) / double(kG), 'f', 2) + QLatin1Char('G');
}

// ---------------------------------------------------------------------------
// Folder listing

namespace {

void collectInto(const QString& folder, QStringList& out, QSet<QString>& walked) {
    const QDir dir(folder);
    // A link back up the tree would otherwise be walked without end.
    const QString canonical = dir.canonicalPath();
    if (canonical.isEmpty() || walked.contains(canonical)) return;
    walked.insert(canonical);
    const QFileInfoList entries = dir.entryInfoList();
    for (const QFileInfo& entry : entries) {
        const QString name = entry.fileName();
        if (name == QLatin1String(".") || name == QLatin1String("..")) continue;
        if (entry.isDir())
            collectInto(entry.absoluteFilePath(), out, walked);
        else if (entry.isFile() && entry.isReadable())
            out.append(entry.absoluteFilePath());
    }
}

}  // namespace

QStringList collectFiles(const QString& folder) {
    QStringList files;
    if (folder.isEmpty()) return files;
    QSet<QString> walked;
    collectInto(folder, files, walked);
    return files;
}

// ---------------------------------------------------------------------------
// Thumbnails

namespace {

QPixmap fitOnCanvas(const QImage& image, int width, int height, bool border, Qt::TransformationMode mode) {
    return QPixmap::fromImage(kestrane::fitPictureOnCanvas(image, width, height, border, mode));
}

}  // namespace

QPixmap makeThumbnail(const QString& path, int width, int height, bool border) {
    // The header's size is checked before the picture is decoded, and it is
    // decoded no larger than the thumbnail where the format allows.
    if (width <= 0 || height <= 0) return QPixmap();
    return QPixmap::fromImage(kestrane::probePicture(path, QSize(width, height), border).thumbnail);
}

QPixmap makeVideoThumbnail(const QImage& frame, int width, int height, bool border) {
    if (frame.isNull()) return QPixmap();
    const QImage upright = frame.mirrored(false, true).rgbSwapped();
    QPixmap canvas = fitOnCanvas(upright, width, height, border, Qt::FastTransformation);
    if (border && !canvas.isNull()) {
        const QPixmap mark(QStringLiteral(":/images/video.png"));
        if (!mark.isNull()) {
            QPainter painter(&canvas);
            painter.drawPixmap(canvas.rect(), mark);
        }
    }
    return canvas;
}

// ---------------------------------------------------------------------------
// Random number and fade

int randomInRange(int minimum, int maximum, qint64 seed) {
    if (minimum > maximum) return 0;
    if (minimum == maximum) return minimum;
    const QTime now = QTime::currentTime();
    quint32 state = quint32(now.second() * 1000 + now.msec());
    if (seed != 0) {
        if (seed > 2000000000) seed %= 1000000000;
        state += quint32(seed);
    }
    // One step of the classic 15-bit generator: r in 0..32767.
    state = state * 214013u + 2531011u;
    const qint64 r = (state >> 16) & 0x7fff;
    const qint64 span = qint64(maximum) - qint64(minimum);
    qint64 value;
    if (span < 32768) {
        value = minimum + r % span;
    } else {
        value = minimum + qRound64(double(r) / 32767.0 * double(span));
        value = std::min(value, qint64(maximum) - 1);
    }
    return int(value);
}

void setPixmapOpacity(QPixmap& pixmap, int alpha) {
    if (pixmap.isNull()) return;
    alpha = std::clamp(alpha, 0, 255);
    QPixmap faded(pixmap.size());
    faded.fill(Qt::transparent);
    QPainter painter(&faded);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawPixmap(0, 0, pixmap);
    painter.setCompositionMode(QPainter::CompositionMode_DestinationIn);
    painter.fillRect(faded.rect(), QColor(0, 0, 0, alpha));
    painter.end();
    pixmap = faded;
}

QString dataFilePathFrom(const QString& programFolder, const QString& name) {
    const QString beside = programFolder + QLatin1Char('/') + name;
    if (QFileInfo(beside).isFile()) return beside;
    const QString installed = QDir::cleanPath(programFolder + QStringLiteral("/../share/kestrane/") + name);
    if (QFileInfo(installed).isFile()) return installed;
    const QString located = QStandardPaths::locate(QStandardPaths::AppDataLocation, name);
    return located.isEmpty() ? beside : located;
}

QString dataFilePath(const QString& name) {
    return dataFilePathFrom(QCoreApplication::applicationDirPath(), name);
}

}  // namespace kestrane
