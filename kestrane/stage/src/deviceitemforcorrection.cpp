#include "kestrane/deviceitemforcorrection.h"

#include <QFont>
#include <QFontMetricsF>
#include <QGraphicsSceneMouseEvent>
#include <QPainter>

#include "kestrane/colorcorrection.h"
#include "kestrane/gconfig.h"

DeviceItemForCorrection::DeviceItemForCorrection(int deviceId, ColorCorrection* dialog)
    : m_dialog(dialog), m_deviceId(deviceId) {
    const DeviceRecord* r = GConfig::instance().device(deviceId);
    if (r) {
        m_width = r->width;
        m_height = r->height;
        setPos(r->stageX * dialog->zoom(), r->stageY * dialog->zoom());
    }
    setZValue(0);
    setScale(dialog->zoom());
}

void DeviceItemForCorrection::setCurrent(bool current) {
    m_current = current;
    update();
}

void DeviceItemForCorrection::advance(int phase) {
    if (phase != 1) return;
    GConfig& g = GConfig::instance();
    setScale(m_dialog->zoom());
    const DeviceRecord* r = g.device(m_deviceId);
    if (!r) return;
    if (r->width != m_width || r->height != m_height) {
        prepareGeometryChange();
        if (r->width != m_width) {
            m_width = r->width;
            g.setSaved(false);
        }
        if (r->height != m_height) {
            m_height = r->height;
            g.setSaved(false);
        }
    }
    setPos(r->stageX * m_dialog->zoom(), r->stageY * m_dialog->zoom());
}

QRectF DeviceItemForCorrection::boundingRect() const { return QRectF(0, 0, m_width, m_height); }

void DeviceItemForCorrection::paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*) {
    const double s = scale() > 0 ? scale() : 1.0;
    const double penWidth = (m_current ? 2.0 : 1.0) / s;
    painter->setPen(QPen(QColor(QLatin1String(m_current ? "#00b7ef" : "#aeaeae")), penWidth, Qt::SolidLine));
    painter->setBrush(Qt::NoBrush);
    painter->drawRect(boundingRect().adjusted(penWidth / 2, penWidth / 2, -penWidth / 2, -penWidth / 2));
    const DeviceRecord* r = GConfig::instance().device(m_deviceId);
    if (!r) return;
    QFont font;
    font.setPointSizeF(9.0 / m_dialog->zoom());
    painter->setFont(font);
    const QRectF text(3, 3, m_width - 6, m_height - 6);
    const bool fits = QFontMetricsF(font).horizontalAdvance(r->name) <= m_width - 6;
    painter->drawText(text, fits ? Qt::AlignCenter : (Qt::AlignLeft | Qt::AlignVCenter), r->name);
}

void DeviceItemForCorrection::mousePressEvent(QGraphicsSceneMouseEvent* event) {
    QGraphicsItem::mousePressEvent(event);
    m_current = true;
    update();
    m_dialog->selectDevice(this);
}
