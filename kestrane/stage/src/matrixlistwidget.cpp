#include "kestrane/matrixlistwidget.h"

#include <QApplication>
#include <QDebug>
#include <QDrag>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QMouseEvent>

#include "kestrane/matrixdeviceitem.h"
#include "kestrane/matrixlayout.h"

#include "kestrane/logging.h"
#define LLOG KESTRANE_DEBUG_HERE

MatrixListWidget::MatrixListWidget(QWidget* parent) : QListWidget(parent) { setAcceptDrops(true); }

void MatrixListWidget::mousePressEvent(QMouseEvent* event) {
    LLOG << "press" << event->pos();
    if (event->button() == Qt::LeftButton) m_pressPoint = event->pos();
    QListWidget::mousePressEvent(event);
}

void MatrixListWidget::mouseMoveEvent(QMouseEvent* event) {
    if ((event->buttons() & Qt::LeftButton) &&
        (event->pos() - m_pressPoint).manhattanLength() >= QApplication::startDragDistance())
        startDeviceDrag(event->pos());
    QListWidget::mouseMoveEvent(event);
}

void MatrixListWidget::startDeviceDrag(QPoint) {
    QListWidgetItem* item = currentRow() >= 0 ? this->item(currentRow()) : nullptr;
    if (!item) return;
    if (parentWidget()) parentWidget()->setFocus(Qt::OtherFocusReason);
    LLOG << "drag device" << item->data(m_deviceIdRole).toInt();
    auto* mime = new QMimeData;
    mime->setText(item->text());
    mime->setProperty("deviceId", item->data(m_deviceIdRole).toInt());
    auto* drag = new QDrag(this);
    drag->setMimeData(mime);
    drag->exec(Qt::MoveAction);
}

void MatrixListWidget::dragEnterEvent(QDragEnterEvent* event) { event->acceptProposedAction(); }

void MatrixListWidget::dragMoveEvent(QDragMoveEvent*) {}

void MatrixListWidget::dropEvent(QDropEvent* event) {
    const QMimeData* mime = event->mimeData();
    if (!mime || mime->property("from").toString() != QLatin1String("scene")) return;
    event->setDropAction(Qt::MoveAction);
    event->acceptProposedAction();
    const int id = mime->property("deviceId").toInt();
    auto* source = mime->property("item").value<MatrixDeviceItem*>();
    LLOG << "drop device" << id;
    // The pointer comes with the drag: only a cell of our dialog holding that device is emptied.
    if (!m_dialog || !m_dialog->isCell(source) || source->deviceId() != id) return;
    QListWidgetItem* entry = nullptr;
    for (int i = 0; i < count() && !entry; ++i)
        if (item(i)->data(m_deviceIdRole).toInt() == id) entry = item(i);
    if (!entry) return;
    entry->setHidden(false);
    source->setDevice(0);
    if (parentWidget()) parentWidget()->setFocus(Qt::OtherFocusReason);
}
