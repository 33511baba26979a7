#include "kestrane/picitem.h"

#include <QPainter>

#include "kestrane/gconfig.h"
#include "kestrane/pictureprobe.h"

PicItem::PicItem(int mediaId, QGraphicsItem* parent) : GraphicsItem(mediaId, parent) {
    m_path = GConfig::instance().mediaRecord(mediaId).path;
    // The header's size is checked before anything is decoded.
    m_image = kestrane::readPicture(m_path);
    m_pixmap = QPixmap::fromImage(m_image);
    if (m_pixmap.isNull())
        m_loadFailed = true;
    else
        createHandles();
}

void PicItem::paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*) {
    if (paintKeptFrame(painter)) return;
    const QRectF b = boundingRect();
    const int w = int(b.width()), h = int(b.height());
    if (!m_image.isNull() && w > 0 && h > 0)
        painter->drawImage(QPoint(0, 0), m_image.scaled(w, h, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    paintSelection(painter);
}
