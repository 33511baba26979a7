#include "kestrane/layerio.h"

#include <QCursor>
#include <QDebug>
#include <QDrag>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QStyleOption>
#include <QTimer>

#include <algorithm>
#include <climits>
#include <cstdlib>

#include "kestrane/gconfig.h"
#include "kestrane/rulerwidget.h"
#include "kestrane/stringoutdialogs.h"

namespace {

// x of time 0 inside a row.
constexpr int kMargin = 7;

LayerIO::DragStarter& dragStarter() {
    static LayerIO::DragStarter starter;
    return starter;
}

// The command's own dialog, modal over the time axis.
bool editInDialog(int id, QWidget* parent) {
    DTimeAxisStringOut dialog(id, parent ? parent->window() : nullptr);
    return dialog.exec() == QDialog::Accepted;
}

LayerIO::Editor& editor() {
    static LayerIO::Editor e = editInDialog;
    return e;
}

}  // namespace

void LayerIO::setDragStarter(DragStarter starter) { dragStarter() = std::move(starter); }
void LayerIO::setEditor(Editor e) { editor() = e ? std::move(e) : Editor(editInDialog); }

LayerIO::LayerIO(int id, QWidget* panel)
    : QWidget(panel),
      m_id(id),
      m_panel(panel),
      m_normalStyle(QStringLiteral(
          ".LayerIO {border:1px solid #999999; border-radius:2px; background:rgba(255,0,204,100);}")),
      m_focusStyle(QStringLiteral(
          ".LayerIO {border:2px solid #ffffff; border-radius:2px; background:rgba(255,0,204,100);}")) {
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_MouseTracking);
    refreshGeometry();
    setStyleSheet(m_focusStyle);
    setFocus(Qt::OtherFocusReason);
    raise();
}

void LayerIO::refreshGeometry() {
    const LayerIORecord* record = GConfig::instance().findLayerIO(m_id);
    if (!record)
        return;
    m_kind = record->kind;
    const int width = m_kind == 2 ? kStringOutputWidth : RulerWidget::toPixel(record->length);
    setGeometry(RulerWidget::toPixel(record->time) + kMargin, 0, width, m_panel->height());
    update();
}

bool LayerIO::isRowLocked() const {
    const LayerIORecord* record = GConfig::instance().findLayerIO(m_id);
    return record && GConfig::instance().isLayerLocked(record->layerRow);
}

void LayerIO::freeInterval(int& left, int& right) const {
    left = 0;
    right = INT_MAX;
    if (m_kind == 2)
        return;
    const GConfig& config = GConfig::instance();
    const LayerIORecord* own = config.findLayerIO(m_id);
    if (!own)
        return;
    for (const LayerIORecord* other : config.layerIOs()) {
        if (other->id == m_id || other->layerRow != own->layerRow)
            continue;
        if (other->time < own->time)
            left = std::max(left, other->time + other->length + 1);
        else if (other->time > own->time)
            right = std::min(right, other->time - 1);
    }
}

void LayerIO::focusInEvent(QFocusEvent* event) {
    setStyleSheet(m_focusStyle);
    QWidget::focusInEvent(event);
}

void LayerIO::focusOutEvent(QFocusEvent* event) {
    setStyleSheet(m_normalStyle);
    QWidget::focusOutEvent(event);
}

void LayerIO::removeLater() {
    const int id = m_id;
    QTimer::singleShot(0, [id] { GConfig::instance().removeLayerIO(id, true); });
    GConfig::instance().setSaved(false);
}

void LayerIO::keyReleaseEvent(QKeyEvent* event) {
    // A block whose record is already gone waits for its row to delete it.
    if (!GConfig::instance().findLayerIO(m_id))
        return;
    if (event->key() == Qt::Key_Delete && event->modifiers() == Qt::NoModifier && !isRowLocked()) {
        removeLater();
        return;
    }
    QWidget::keyReleaseEvent(event);
}

void LayerIO::mousePressEvent(QMouseEvent* event) {
    if (!GConfig::instance().findLayerIO(m_id))
        return;
    setFocus(Qt::OtherFocusReason);
    if (event->button() != Qt::RightButton && !isRowLocked()) {
        m_pressX = event->pos().x();
        m_widthAtPress = width();
        m_pressed = true;
        if (m_pressX < kEdgeZone)
            m_mode = 0;
        else if (width() - event->pos().x() < kEdgeZone)
            m_mode = 1;
        else
            m_mode = 3;
        m_moved = false;
        m_pressPos = event->pos();
    }
    QWidget::mousePressEvent(event);
}

void LayerIO::mouseMoveEvent(QMouseEvent* event) {
    GConfig& config = GConfig::instance();
    const LayerIORecord* record = config.findLayerIO(m_id);
    if (!record || isRowLocked())
        return;
    const int ex = event->pos().x();
    if (!m_pressed) {
        const bool atEdge = ex < kEdgeZone || width() - ex < kEdgeZone;
        setCursor(m_kind != 2 && atEdge ? Qt::SizeHorCursor : Qt::ArrowCursor);
        return;
    }
    config.pausePlayback();
    // A command at exactly 0 never scrolls the axis.
    if (record->time != 0 && config.autoScrollTimeAxis(ex + x())) {
        // A fresh move event keeps the scroll going while the mouse rests
        // at the edge.
        QTimer::singleShot(200, this, [this] {
            QCursor::setPos(QCursor::pos() - QPoint(m_nudgeStep, 0));
            m_nudgeStep = -m_nudgeStep;
        });
    }
    if (std::abs(m_pressPos.y() - event->pos().y()) >= kDragThreshold) {
        startDrag(m_id);
        m_moved = false;
        m_pressed = false;
        m_mode = 2;
        // The drop has placed the command (and this block is on its way
        // out): nothing of this move may write over it.
        return;
    }
    int left = 0;
    int right = INT_MAX;
    freeInterval(left, right);
    const int leftX = RulerWidget::toPixel(left) + kMargin;
    const int rightX = right == INT_MAX ? m_panel->width() : RulerWidget::toPixel(right) + kMargin;
    const int rowHeight = m_panel->height();
    const bool resizable = m_kind != 2;
    if (m_mode == 3) {
        int newX = std::max(x() + (ex - m_pressX), leftX);
        if (newX + width() > rightX)
            newX = rightX - width();
        move(newX, 0);
    } else if (m_mode == 0 && resizable) {
        int dx = ex - m_pressX;
        int newX = x() + dx;
        if (newX < leftX) {
            newX = leftX;
            dx = leftX - x();
        }
        if (width() - dx < kMinWidth)
            return;
        setGeometry(newX, 0, width() - dx, rowHeight);
    } else if (m_mode == 1 && resizable) {
        int dx = ex - m_pressX;
        if (m_widthAtPress + dx < kMinWidth)
            return;
        if (x() + m_widthAtPress + dx > rightX)
            dx = rightX - m_widthAtPress - x();
        setGeometry(x(), 0, m_widthAtPress + dx, rowHeight);
    }
    m_moved = true;
    config.setSaved(false);
}

void LayerIO::mouseReleaseEvent(QMouseEvent* event) {
    GConfig& config = GConfig::instance();
    LayerIORecord* record = config.findLayerIO(m_id);
    if (!record)
        return;
    if (event->button() == Qt::RightButton) {
        m_moved = false;
        config.pausePlayback();
        const bool locked = isRowLocked();
        QMenu menu(this);
        QAction* settings = menu.addAction(QStringLiteral("设置"));
        QAction* remove = menu.addAction(QStringLiteral("删除"));
        settings->setEnabled(!locked);
        remove->setEnabled(!locked);
        QAction* chosen = menu.exec(QCursor::pos());
        if (chosen == settings && m_kind == 2)
            openEditor();
        else if (chosen == remove)
            removeLater();
        return;
    }
    if (!isRowLocked()) {
        if (m_moved) {
            record->time = RulerWidget::toMs(x() - kMargin);
            record->length = RulerWidget::toMs(width());
        }
        m_moved = false;
        m_pressed = false;
        m_mode = 2;
    }
    QWidget::mouseReleaseEvent(event);
}

void LayerIO::mouseDoubleClickEvent(QMouseEvent*) {
    if (!GConfig::instance().findLayerIO(m_id))
        return;
    m_moved = false;
    GConfig::instance().pausePlayback();
    if (m_kind == 2)
        openEditor();
}

void LayerIO::openEditor() {
    // The editor may run an event loop in which the command is deleted.
    const int id = m_id;
    if (editor()(id, this) && GConfig::instance().findLayerIO(id))
        refreshGeometry();
}

void LayerIO::startDrag(int id) {
    if (id == 0)
        return;
    GConfig& config = GConfig::instance();
    config.pausePlayback();
    auto* data = new QMimeData;
    data->setProperty("mOutControlId", id);
    if (dragStarter()) {
        dragStarter()(this, data);
        delete data;
    } else {
        auto* drag = new QDrag(this);
        drag->setMimeData(data);
        drag->exec(Qt::MoveAction);
    }
    config.setSaved(false);
}

void LayerIO::paintEvent(QPaintEvent*) {
    QStyleOption option;
    option.initFrom(this);
    QPainter painter(this);
    style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, this);
    const LayerIORecord* record = GConfig::instance().findLayerIO(m_id);
    if (!record)
        return;
    painter.setPen(QColor(QStringLiteral("#ffffff")));
    const QFontMetrics metrics = painter.fontMetrics();
    QString text;
    QString icon;
    int iconTop = 14;
    int textWidth = 0;
    switch (m_kind) {
    case 0:
        text = QStringLiteral("普通输出");
        icon = QStringLiteral(":/images/out_common.png");
        textWidth = metrics.horizontalAdvance(text);
        break;
    case 1:
        text = QStringLiteral("DMX 512");
        icon = QStringLiteral(":/images/out_dmx.png");
        textWidth = metrics.horizontalAdvance(text);
        break;
    default: {
        const QString name = record->name.isEmpty() ? QStringLiteral("未命名") : record->name;
        const QString data = record->data.isEmpty() ? QStringLiteral("[指令待定]") : record->data;
        text = name + QLatin1Char('\n') + data;
        icon = QStringLiteral(":/images/out_string.png");
        iconTop = 13;
        textWidth = std::max(metrics.horizontalAdvance(name), metrics.horizontalAdvance(data));
        break;
    }
    }
    const int margin = width() < 28 ? 3 : 6;
    const int step = textWidth + 234;
    const QPixmap pixmap(icon);
    for (int k = 0;; ++k) {
        const int s = k * step;
        if (k > 0 && s >= width() - textWidth - 33)
            break;
        painter.drawPixmap(margin + s, iconTop, pixmap);
        painter.drawText(QRect(margin + 21 + s, 0, textWidth, height()), Qt::AlignLeft | Qt::AlignVCenter, text);
    }
}
