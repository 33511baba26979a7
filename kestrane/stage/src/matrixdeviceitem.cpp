#include "kestrane/matrixdeviceitem.h"

#include <QApplication>
#include <QDebug>
#include <QDrag>
#include <QFontMetricsF>
#include <QGraphicsScene>
#include <QGraphicsSceneDragDropEvent>
#include <QGraphicsSceneMouseEvent>
#include <QGraphicsView>
#include <QMimeData>
#include <QPainter>

#include "kestrane/gconfig.h"
#include "kestrane/matrixlayout.h"

#include "kestrane/logging.h"
#define CLOG KESTRANE_DEBUG_HERE

namespace {
const int kRegistered = qRegisterMetaType<MatrixDeviceItem*>("MatrixDeviceItem*");
}

MatrixDeviceItem::MatrixDeviceItem(int cellIndex, QList<QRectF>* cells, double scale, MatrixLayout* dialog)
    : m_scale(scale), m_cellIndex(cellIndex), m_cells(cells), m_dialog(dialog) {
    (void)kRegistered;
    setFlags(QGraphicsItem::ItemIsFocusable);
    setScale(m_scale);
    const QRectF r = cellRect();
    setPos(r.x() * m_scale, r.y() * m_scale);
    setZValue(0);
    setAcceptDrops(true);
}

MatrixDeviceItem::~MatrixDeviceItem() = default;

QRectF MatrixDeviceItem::cellRect() const { return m_cells ? m_cells->value(m_cellIndex) : QRectF(); }

void MatrixDeviceItem::advance(int phase) {
    if (phase != 1) return;
    const QRectF r = cellRect();
    setPos(r.x() * m_scale, r.y() * m_scale);
}

QRectF MatrixDeviceItem::boundingRect() const {
    const QRectF r = cellRect();
    return QRectF(0, 0, r.width(), r.height());
}

void MatrixDeviceItem::paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*) {
    const double penWidth = m_scale > 0 ? 1.0 / m_scale : 1.0;
    const char* color = hasFocus() ? "#00b7ef" : m_deviceId > 0 ? "#ccff00" : "#797979";
    painter->setPen(QPen(QColor(QLatin1String(color)), penWidth, Qt::SolidLine));
    painter->setBrush(Qt::NoBrush);
    const QRectF box = boundingRect();
    painter->drawRect(box.adjusted(penWidth / 2, penWidth / 2, -penWidth / 2, -penWidth / 2));
    if (m_deviceId <= 0) return;
    const DeviceRecord* r = GConfig::instance().device(m_deviceId);
    if (!r) return;
    const double measured = QFontMetricsF(painter->font()).horizontalAdvance(r->name);
    QFont font;
    font.setPointSizeF(m_scale > 0 ? 9.0 / m_scale : 9.0);
    painter->setFont(font);
    painter->setPen(QColor(QStringLiteral("#797979")));
    const QRectF text(3, 3, box.width() - 6, box.height() - 6);
    const int align = nameFitsCentred(measured, box.width()) ? Qt::AlignCenter : (Qt::AlignLeft | Qt::AlignVCenter);
    painter->setClipRect(text);
    painter->drawText(text, align, r->name);
}

void MatrixDeviceItem::setDevice(int deviceId) {
    m_deviceId = deviceId;
    setAcceptDrops(deviceId < 1);
    setZValue(deviceId < 1 ? 0 : 1);
    update();
    if (m_dialog) m_dialog->applyBlend();
}

void MatrixDeviceItem::dropEvent(QGraphicsSceneDragDropEvent* event) {
    const QMimeData* mime = event->mimeData();
    if (!mime || m_deviceId > 0 || !m_dialog) return;
    const int id = mime->property("deviceId").toInt();
    CLOG << "drop" << id << "on cell" << m_cellIndex;
    if (id <= 0 || !m_dialog->deviceIds().contains(id)) return;
    // The pointer comes with the drag: only a cell of this dialog holding
    // that device is touched, and a device sits in one cell at a time.
    auto* source = mime->property("item").value<MatrixDeviceItem*>();
    const bool fromCell = mime->property("from").toString() == QLatin1String("scene");
    if (fromCell && (source == this || !m_dialog->isCell(source) || source->m_deviceId != id)) return;
    if (!fromCell)
        for (const MatrixDeviceItem* cell : m_dialog->cells())
            if (cell->m_deviceId == id) return;
    setDevice(id);
    m_dialog->setListItemHidden(id, true);
    if (fromCell) {
        source->m_deviceId = 0;
        source->setAcceptDrops(true);
        source->setZValue(0);
        source->update();
        m_dialog->applyBlend();
        m_dialog->setFocus(Qt::OtherFocusReason);
    }
}

void MatrixDeviceItem::focusInEvent(QFocusEvent* event) {
    setZValue(2);
    QGraphicsItem::focusInEvent(event);
}

void MatrixDeviceItem::focusOutEvent(QFocusEvent* event) {
    setZValue(m_deviceId > 0 ? 1 : 0);
    QGraphicsItem::focusOutEvent(event);
}

void MatrixDeviceItem::mousePressEvent(QGraphicsSceneMouseEvent* event) {
    CLOG << "press" << event->pos();
    if (event->button() == Qt::LeftButton) {
        m_pressPoint = event->pos();
        event->accept();
        return;
    }
    QGraphicsItem::mousePressEvent(event);
}

void MatrixDeviceItem::mouseMoveEvent(QGraphicsSceneMouseEvent* event) {
    CLOG << "move" << event->pos() << m_pressPoint;
    if ((event->buttons() & Qt::LeftButton) &&
        static_cast<int>((event->pos() - m_pressPoint).manhattanLength()) >= QApplication::startDragDistance())
        startDrag();
    QGraphicsItem::mouseMoveEvent(event);
}

void MatrixDeviceItem::startDrag() {
    CLOG << "drag from cell" << m_cellIndex << "device" << m_deviceId;
    auto* mime = new QMimeData;
    mime->setProperty("deviceId", m_deviceId);
    mime->setProperty("from", QStringLiteral("scene"));
    mime->setProperty("item", QVariant::fromValue(this));
    QWidget* view = scene() && !scene()->views().isEmpty() ? scene()->views().first() : nullptr;
    auto* drag = new QDrag(view);
    drag->setMimeData(mime);
    drag->exec(Qt::MoveAction);
}
