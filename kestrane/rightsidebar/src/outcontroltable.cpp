#include "kestrane/outcontroltable.h"

#include <QApplication>
#include <QCursor>
#include <QDebug>
#include <QDrag>
#include <QIcon>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QScrollBar>

#include "kestrane/gconfig.h"
#include "kestrane/stringoutdialogs.h"

namespace {
GConfig& cfg() { return GConfig::instance(); }
}  // namespace

OutControlTable::OutControlTable(QWidget* parent) : QTableWidget(parent), m_pressPoint(0, 0) {}

QString OutControlTable::description(const OutControlRecord& record) {
    if (record.type != 0)
        return QStringLiteral("%1 %2:%3")
            .arg(record.isTcp ? QStringLiteral("TCP") : QStringLiteral("UDP"), record.ip)
            .arg(record.port);
    const DeviceRecord* device = record.deviceId ? cfg().device(record.deviceId) : nullptr;
    return device ? device->name : QStringLiteral("None Selected");
}

void OutControlTable::setRow(int row, const OutControlRecord& record) {
    auto* first = new QTableWidgetItem(QIcon(QStringLiteral(":/images/out_string.png")), record.name);
    first->setToolTip(record.name);
    first->setData(m_role, record.id);
    setItem(row, 0, first);
    const QString text = description(record);
    auto* second = new QTableWidgetItem(text);
    second->setToolTip(text);
    setItem(row, 1, second);
    setItem(row, 2, new QTableWidgetItem);
}

int OutControlTable::rowId(int row) const {
    const QTableWidgetItem* first = row >= 0 ? item(row, 0) : nullptr;
    return first ? first->data(m_role).toInt() : 0;
}

void OutControlTable::editRow(int row) {
    const int id = rowId(row);
    if (id == 0) return;
    OutControlRecord* record = cfg().findOutControl(id);
    if (!record || record->kind != 2) return;
    QVariantMap values;
    DStringOut dialog(&values, id, this);
    if (dialog.exec() != QDialog::Accepted) return;
    // The record may have gone while the dialog was open (a project load).
    record = cfg().findOutControl(id);
    if (!record) return;
    record->name = values.value(QStringLiteral("name")).toString();
    record->type = values.value(QStringLiteral("type")).toInt();
    // The fields of the other kind stay as they were.
    if (record->type != 0) {
        record->ip = values.value(QStringLiteral("ip")).toString();
        record->port = values.value(QStringLiteral("port")).toInt();
        record->isTcp = values.value(QStringLiteral("isTcp")).toBool();
    } else {
        record->deviceId = values.value(QStringLiteral("id")).toInt();
        qDebug() << __FILE__ << __LINE__ << "output device" << record->deviceId;
        record->com = values.value(QStringLiteral("com")).toInt();
        record->baud = values.value(QStringLiteral("baud")).toInt();
        record->parity = values.value(QStringLiteral("parity")).toInt();
    }
    setRow(row, *record);
}

QMimeData* OutControlTable::dragData() const {
    const int row = currentRow();
    if (row < 0 || !item(row, 0)) return nullptr;
    auto* data = new QMimeData;
    data->setProperty("type", QStringLiteral("outControl"));
    data->setProperty("groupId", rowId(row));
    return data;
}

void OutControlTable::startDrag() {
    QMimeData* data = dragData();
    if (!data) return;
    auto* drag = new QDrag(this);
    drag->setMimeData(data);
    drag->exec(Qt::MoveAction);
}

QPoint OutControlTable::contentPos(const QPoint& viewportPos) const {
    return viewportPos + QPoint(0, verticalScrollBar()->value());
}

void OutControlTable::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) m_pressPoint = contentPos(event->pos());
    QTableWidget::mousePressEvent(event);
}

void OutControlTable::mouseMoveEvent(QMouseEvent* event) {
    if ((event->buttons() & Qt::LeftButton) &&
        (contentPos(event->pos()) - m_pressPoint).manhattanLength() >= QApplication::startDragDistance()) {
        startDrag();
        return;
    }
    QTableWidget::mouseMoveEvent(event);
}

void OutControlTable::mouseReleaseEvent(QMouseEvent* event) {
    QTableWidgetItem* hit = event->button() == Qt::RightButton ? itemAt(event->pos()) : nullptr;
    if (hit && hit->row() == currentRow()) {
        cfg().pausePlayback();
        QMenu menu(this);
        QAction* edit = menu.addAction(QString::fromUtf8("修改"));
        QAction* remove = menu.addAction(QString::fromUtf8("删除"));
        const QAction* chosen = menu.exec(QCursor::pos());
        if (chosen == edit)
            editRow(currentRow());
        else if (chosen == remove)
            emit delCurrentItem();
    }
    QTableWidget::mouseReleaseEvent(event);
}

void OutControlTable::mouseDoubleClickEvent(QMouseEvent* event) {
    cfg().pausePlayback();
    const int row = currentRow();
    if (row >= 0) editRow(row);
    Q_UNUSED(event);
}
