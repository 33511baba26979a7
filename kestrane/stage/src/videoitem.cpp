#include "kestrane/videoitem.h"

#include <QDebug>
#include <QEventLoop>
#include <QPainter>
#include <QTimer>

#include <cstring>

#include "kestrane/gconfig.h"
#include "kestrane/scene.h"

#include "kestrane/logging.h"
#define KLOG KESTRANE_DEBUG_HERE

namespace {

// The preview knows the item only by its media id.
void* userValue(int mediaId) { return reinterpret_cast<void*>(quintptr(mediaId)); }

void wait(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

}  // namespace

VideoItem::VideoItem(int mediaId, QGraphicsItem* parent) : GraphicsItem(mediaId, parent) {
    GConfig& g = GConfig::instance();
    const MediaSource rec = g.mediaRecord(mediaId);
    const QByteArray path = rec.path.toLocal8Bit();
    void* handle = g.preview().addMedia(1, 0, path.constData(), &VideoItem::frameCallback, userValue(mediaId));
    KLOG << "preview add" << rec.path << handle;
    if (!handle) {
        m_loadFailed = true;
        return;
    }
    m_handle = handle;
    wait(100);
    int width = 0, height = 0;
    double position = 0, duration = 0;
    void* buffer = nullptr;
    if (!g.preview().getMediaInfo(handle, &buffer, &width, &height, &position, &duration)) {
        KLOG << "no media information for" << handle;
        g.preview().removeMedia(handle);
        m_handle = nullptr;
        m_loadFailed = true;
        return;
    }
    g.setPreviewMediaLayer(handle, 1, rec.start, rec.duration);
    // The record may have gone during the wait.
    if (MediaSource* r = g.mediaSource(mediaId)) r->previewHandle = handle;
    g.setSaved(false);
    createHandles();
}

VideoItem::~VideoItem() = default;

QImage VideoItem::copyFrame(const void* frame, const BITMAPINFOHEADER& format) {
    const int w = format.biWidth;
    const int h = format.biHeight < 0 ? -format.biHeight : format.biHeight;
    if (!frame || w <= 0 || h <= 0) return {};
    QImage::Format qf;
    int bytes;
    if (format.biBitCount == 24) {
        qf = QImage::Format_RGB888;
        bytes = 3;
    } else if (format.biBitCount == 32) {
        qf = QImage::Format_ARGB32;
        bytes = 4;
    } else {
        return {};
    }
    const qint64 stride = (qint64(w) * bytes + 3) / 4 * 4;
    if (format.biSizeImage && qint64(format.biSizeImage) < stride * h) return {};
    QImage out(w, h, qf);
    if (out.isNull()) return {};
    const auto* src = static_cast<const uchar*>(frame);
    const bool bottomUp = format.biHeight > 0;
    for (int y = 0; y < h; ++y) {
        const uchar* row = src + stride * (bottomUp ? h - 1 - y : y);
        std::memcpy(out.scanLine(y), row, size_t(w) * bytes);
    }
    // 24-bit rows hold blue first; 32-bit rows are ARGB32 in memory already.
    return bytes == 3 ? out.rgbSwapped() : out;
}

void VideoItem::frameCallback(void* media, void* frame, const BITMAPINFOHEADER* format, double, double, int, int,
                              void* user) {
    if (!format) return;
    const QImage copy = copyFrame(frame, *format);
    if (copy.isNull()) return;
    Scene::postFrame(int(reinterpret_cast<quintptr>(user)), media, copy);
}

void VideoItem::takeFrame(void* handle, const QImage& frame) {
    if (m_handle && handle != m_handle) return;
    m_frame = frame;
    if (!GConfig::instance().previewPlaying()) update();
}

void VideoItem::advance(int phase) {
    if (phase == 0) {
        applyEditFlags();
        return;
    }
    GConfig& g = GConfig::instance();
    const qint64 t = g.currentTime();
    const MediaSource rec = g.mediaRecord(mediaId());
    if (rec.hidden) {
        if (g.previewPlaying() && rec.previewHandle) g.setPreviewMediaLayer(rec.previewHandle, 1, 0, 0);
        showByWindow(false, rec);
    } else {
        if (rec.previewHandle) {
            g.setPreviewMediaLayer(rec.previewHandle, 1, rec.start, rec.duration);
            // A paused stage shows the frame under the play head.
            if (!g.previewPlaying()) g.setPreviewTime(int(t));
        }
        showByWindow(rec.start <= t && t <= qint64(rec.start) + rec.duration, rec);
    }
    applyRecordPlacement(rec);
}

void VideoItem::paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*) {
    if (paintKeptFrame(painter)) return;
    const QRectF b = boundingRect();
    const int w = int(b.width()), h = int(b.height());
    if (painter && !m_loadFailed && !m_frame.isNull() && w > 0 && h > 0)
        painter->drawImage(QPoint(0, 0), m_frame.scaled(w, h, Qt::IgnoreAspectRatio, Qt::FastTransformation));
    paintSelection(painter);
}
