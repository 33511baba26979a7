#include "kestrane/layerplaycontrol.h"

#include <QCursor>
#include <QDrag>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOption>
#include <QTimer>

#include <algorithm>
#include <cstdlib>

#include "kestrane/gconfig.h"
#include "kestrane/layerpanel.h"
#include "kestrane/playcontroldialogs.h"
#include "kestrane/rulerwidget.h"
#include "kestrane/timeaxiswidget.h"

namespace {

constexpr int kMargin = 7;
constexpr int kAxisOrigin = 299;
constexpr int kGuideTop = 18;

LayerPlayControl::DragStarter& dragStarter() {
    static LayerPlayControl::DragStarter starter;
    return starter;
}

}  // namespace

void LayerPlayControl::setDragStarter(DragStarter starter) { dragStarter() = std::move(starter); }

LayerPlayControl::LayerPlayControl(int controlId, LayerPanel* panel)
    : QWidget(panel), m_controlId(controlId), m_panel(panel) {
    setFocusPolicy(Qt::ClickFocus);
    GConfig& config = GConfig::instance();
    if (PlayControlRecord* record = config.findPlayControl(controlId)) {
        m_type = record->type;
        if (record->time == -1)
            record->time = config.currentTime();
    }
    updateGeometry();
    raise();
}

LayerPlayControl::~LayerPlayControl() { delete m_guide; }

void LayerPlayControl::updateGeometry() {
    const PlayControlRecord* record = GConfig::instance().findPlayControl(m_controlId);
    if (!record)
        return;
    setGeometry(RulerWidget::toPixel(record->time) + kMargin, kTop, kWidth, kHeight);
}

bool LayerPlayControl::placeGuide() {
    const QWidget* axis = m_guide ? m_guide->parentWidget() : nullptr;
    if (!axis)
        return false;
    const int x = kAxisOrigin - m_panel->scrollOffset() + QWidget::x();
    if (x > kAxisOrigin && x <= axis->width()) {
        m_guide->setGeometry(x, kGuideTop, 1, axis->height() - 35);
        return true;
    }
    m_guide->hide();
    return false;
}

bool LayerPlayControl::isRowLocked() const {
    const PlayControlRecord* record = GConfig::instance().findPlayControl(m_controlId);
    return record && GConfig::instance().isLayerLocked(record->layerRow);
}

LayerPlayControl::Limits LayerPlayControl::neighbourLimits() const {
    Limits limits;
    const GConfig& config = GConfig::instance();
    const PlayControlRecord* own = config.findPlayControl(m_controlId);
    if (!own)
        return limits;
    const int blockMs = RulerWidget::toMs(kWidth);
    for (const PlayControlRecord* other : config.playControls()) {
        if (other->id == m_controlId || other->layerRow != own->layerRow)
            continue;
        if (other->time < own->time)
            limits.min = std::max(limits.min, other->time + blockMs + 1);
        else if (other->time > own->time)
            limits.max = limits.max ? std::min(*limits.max, other->time - 1) : other->time - 1;
    }
    return limits;
}

void LayerPlayControl::paintEvent(QPaintEvent*) {
    QStyleOption option;
    option.initFrom(this);
    QPainter painter(this);
    style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, this);
    static const char* const icons[] = {":/images/control_pause.png", ":/images/control_play.png",
                                        ":/images/control_jump.png"};
    if (m_type >= 0 && m_type <= 2)
        painter.drawPixmap(0, 0, QPixmap(QString::fromLatin1(icons[m_type])));
}

void LayerPlayControl::mousePressEvent(QMouseEvent* event) {
    setFocus();
    m_pressX = event->pos().x();
    m_pressPos = event->pos();
    m_dragging = event->button() == Qt::LeftButton;
    m_moved = false;
    if (!m_guide) {
        if (QWidget* axis = GConfig::instance().timeAxis) {
            m_guide = new QWidget(axis);
            m_guide->setStyleSheet(QStringLiteral("border:1px dotted #ff0000;"));
        }
    }
    if (m_guide) {
        if (m_dragging && placeGuide())
            m_guide->show();
        else
            m_guide->hide();
    }
    raise();
}

void LayerPlayControl::mouseMoveEvent(QMouseEvent* event) {
    if (!m_dragging || isRowLocked())
        return;
    GConfig& config = GConfig::instance();
    config.pausePlayback();
    const PlayControlRecord* record = config.findPlayControl(m_controlId);
    if (!record)
        return;
    bool stepLimit = false;
    // A control at exactly 0 never scrolls the axis.
    if (record->time != 0 && config.autoScrollTimeAxis(QWidget::x() + event->pos().x())) {
        stepLimit = true;
        // A fresh move event keeps the scroll going while the mouse is held still.
        QTimer::singleShot(200, this, [this] {
            QCursor::setPos(QCursor::pos() + QPoint(-m_nudgeStep, 0));
            m_nudgeStep = -m_nudgeStep;
        });
    }
    if (std::abs(m_pressPos.y() - event->pos().y()) >= kDragThreshold) {
        if (m_guide)
            m_guide->hide();
        m_dragging = false;
        m_moved = false;
        startDrag();
        return;
    }
    const Limits limits = neighbourLimits();
    int dx = event->pos().x() - m_pressX;
    if (stepLimit)
        dx = std::clamp(dx, -1, 1);
    int x = std::max(QWidget::x() + dx, RulerWidget::toPixel(limits.min) + kMargin);
    x = std::max(x, kMargin);
    if (limits.max && x + kWidth > RulerWidget::toPixel(*limits.max) + kMargin)
        x = RulerWidget::toPixel(*limits.max) + kMargin - kWidth;
    move(x, kTop);
    m_moved = true;
    if (m_guide && placeGuide())
        m_guide->show();
}

void LayerPlayControl::startDrag() {
    if (m_controlId == 0)
        return;
    GConfig::instance().pausePlayback();
    auto* data = new QMimeData;
    data->setProperty("mPlayControlId", m_controlId);
    if (dragStarter()) {
        dragStarter()(this, data);
        delete data;
    } else {
        auto* drag = new QDrag(this);
        drag->setMimeData(data);
        drag->exec(Qt::MoveAction);
    }
    if (m_guide)
        m_guide->hide();
}

void LayerPlayControl::mouseReleaseEvent(QMouseEvent* event) {
    m_dragging = false;
    if (m_guide)
        m_guide->hide();
    GConfig& config = GConfig::instance();
    if (m_moved) {
        if (PlayControlRecord* record = config.findPlayControl(m_controlId)) {
            record->time = RulerWidget::toMs(QWidget::x() - kMargin);
            config.setSaved(false);
        }
        m_moved = false;
    }
    if (event->button() != Qt::RightButton)
        return;
    const bool locked = isRowLocked();
    config.pausePlayback();
    QMenu menu(this);
    QAction* settings = menu.addAction(QStringLiteral("设置"));
    QAction* remove = menu.addAction(QStringLiteral("删除"));
    settings->setEnabled(!locked);
    remove->setEnabled(!locked);
    QAction* chosen = menu.exec(QCursor::pos());
    if (chosen == remove)
        deleteControl();
    else if (chosen == settings)
        openDialog();
}

void LayerPlayControl::mouseDoubleClickEvent(QMouseEvent*) {
    m_moved = false;
    openDialog();
}

void LayerPlayControl::openDialog() {
    GConfig::instance().pausePlayback();
    execPlayControlDialog(m_controlId, window());
    // Accepted or not, the block shows the record as it is now.
    updateGeometry();
}

void LayerPlayControl::keyReleaseEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Delete && event->modifiers() == Qt::NoModifier && !isRowLocked())
        deleteControl();
    QWidget::keyReleaseEvent(event);
}

void LayerPlayControl::deleteControl() {
    const int id = m_controlId;
    QTimer::singleShot(0, [id] {
        GConfig& config = GConfig::instance();
        config.removePlayControl(id, true);
        config.setSaved(false);
    });
}
