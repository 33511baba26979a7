#include "kestrane/layermedia.h"

#include <QApplication>
#include <QCursor>
#include <QDrag>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOption>
#include <QTimer>

#include <algorithm>

#include "kestrane/axismath.h"
#include "kestrane/effectcontainer.h"
#include "kestrane/gconfig.h"
#include "kestrane/layerinfopanel.h"
#include "kestrane/layerpanel.h"
#include "kestrane/layertable.h"
#include "kestrane/rulerwidget.h"
#include "kestrane/timeaxiswidget.h"

using namespace kestrane;

namespace {

const char* const kMediaStyle = ".LayerMedia{border: 1px solid #c8c8c8;border-radius: 2px;background:#527098;}";
const char* const kSelectedStyle = ".LayerMedia{border: 2px solid #ffff00;border-radius: 2px;background:#527098;}";
const char* const kFolderStyle = ".LayerMedia{border: 1px solid #c8c8c8;border-radius: 2px;background:#787878;}";

// A delete runs event loops, in which another delete could start.
bool g_deleting = false;

// Removes every selected media. Nothing here touches a bar afterwards: the
// bars of removed media go away during the removal.
bool removeSelectedMedia() {
    GConfig& config = GConfig::instance();
    QList<int> ids;
    for (int id : config.mediaIds())
        if (const MediaSource* rec = config.mediaSource(id); rec && rec->selected)
            ids << id;
    for (int id : ids) {
        config.removeMedia(id);
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
    }
    if (!ids.isEmpty()) {
        GConfig::instance().showStageInfo(0, false);
        GConfig::instance().showMediaLater(0, false);
    }
    QTimer::singleShot(0, qApp, [] { GConfig::instance().fitTimelineLength(0); });
    return !ids.isEmpty();
}

}  // namespace

LayerMedia::LayerMedia(int mediaId, LayerPanel* strip) : QWidget(strip), m_mediaId(mediaId), m_strip(strip) {
    setMouseTracking(true);
    setFocusPolicy(Qt::ClickFocus);
    if (mediaId < 1) {
        setStyleSheet(QString::fromLatin1(kFolderStyle));
        hide();
    } else {
        setStyleSheet(QString::fromLatin1(kMediaStyle));
        updateGeometry();
    }
    lower();
}

LayerMedia::~LayerMedia() { delete m_guide.data(); }

int LayerMedia::start() const { return m_mediaId > 0 ? GConfig::instance().mediaRecord(m_mediaId).start : 0; }
int LayerMedia::duration() const { return m_mediaId > 0 ? GConfig::instance().mediaRecord(m_mediaId).duration : 0; }

void LayerMedia::updateGeometry() {
    if (m_mediaId > 0) {
        const MediaSource rec = GConfig::instance().mediaRecord(m_mediaId);
        setGeometry(RulerWidget::toPixel(rec.start) + m_margin, 0, RulerWidget::toPixel(rec.duration),
                    m_strip->height());
        return;
    }
    // A group's placeholder spans the bars of the group's layers.
    const LayerTable* table = GConfig::instance().layerTable;
    const int row = table ? table->rowOfStrip(m_strip) : -1;
    if (row < 0) {
        hide();
        return;
    }
    bool found = false;
    int left = 0;
    int right = 0;
    for (int child : table->childRows(row)) {
        const LayerPanel* strip = table->strip(child);
        if (!strip)
            continue;
        for (const LayerMedia* bar : strip->mediaItems()) {
            if (bar->mediaId() <= 0)
                continue;
            const MediaSource rec = GConfig::instance().mediaRecord(bar->mediaId());
            const int a = RulerWidget::toPixel(rec.start) + m_margin;
            const int b = a + RulerWidget::toPixel(rec.duration);
            left = found ? std::min(left, a) : a;
            right = found ? std::max(right, b) : b;
            found = true;
        }
    }
    if (!found) {
        hide();
        return;
    }
    setGeometry(left, 0, right - left, m_strip->height());
    show();
}

void LayerMedia::setSelected(bool selected) {
    if (m_mediaId <= 0 || selected == m_selectedLook)
        return;
    m_selectedLook = selected;
    setStyleSheet(QString::fromLatin1(selected ? kSelectedStyle : kMediaStyle));
    if (selected)
        emit m_strip->currentLayerChecked();
}

void LayerMedia::neighbourLimits(int* low, int* high) const {
    QList<axis::MediaSpan> others;
    for (const LayerMedia* bar : m_strip->mediaItems())
        if (bar != this && bar->mediaId() > 0)
            others << axis::MediaSpan{bar->start(), bar->duration()};
    const axis::Limits limits = axis::neighbourLimits(start(), others);
    *low = limits.low;
    *high = limits.high ? *limits.high : -1;
}

void LayerMedia::selectOnly(int mediaId) {
    GConfig& config = GConfig::instance();
    for (auto it = config.media().begin(); it != config.media().end(); ++it)
        if (it.key() != mediaId)
            it->selected = false;
}

bool LayerMedia::rowLocked() const {
    const TimeAxisWidget* axis = GConfig::instance().timeAxis;
    return axis && m_mediaId > 0 && axis->isLayerLocked(GConfig::instance().mediaRecord(m_mediaId).layer);
}

bool LayerMedia::placeGuide() {
    TimeAxisWidget* axis = GConfig::instance().timeAxis;
    if (!axis || !m_guide)
        return false;
    const int gx = m_axisOrigin - m_strip->scrollOffset() + x();
    if (gx > m_axisOrigin && gx <= axis->width()) {
        m_guide->setGeometry(gx, m_guideTop, m_guideWidth, axis->height() - 34);
        return true;
    }
    m_guide->hide();
    return false;
}

void LayerMedia::relayoutEffects() {
    const LayerTable* table = GConfig::instance().layerTable;
    if (!table || m_mediaId <= 0)
        return;
    for (int row : table->effectRows(GConfig::instance().mediaRecord(m_mediaId).layer))
        if (EffectLayerPanel* strip = table->effectStrip(row))
            strip->relayout();
}

void LayerMedia::mousePressEvent(QMouseEvent* event) {
    setFocus(Qt::MouseFocusReason);
    if (rowLocked())
        return;
    GConfig& config = GConfig::instance();
    MediaSource* rec = config.mediaSource(m_mediaId);
    if (event->modifiers() == Qt::ControlModifier && event->button() == Qt::LeftButton) {
        if (rec)
            rec->selected = true;
    } else if (event->button() == Qt::RightButton) {
        if (rec && !rec->selected) {
            rec->selected = true;
            selectOnly(m_mediaId);
        }
    } else {
        if (rec)
            rec->selected = true;
        selectOnly(m_mediaId);
    }
    if (m_mediaId != 0) {
        m_pressX = event->pos().x();
        m_pressWidth = width();
        m_pressRight = x() + width();
        m_pressPos = event->pos();
        m_pressed = event->button() != Qt::RightButton;
        m_dragMode = axis::dragModeAt(m_pressX, width());
        TimeAxisWidget* axis = GConfig::instance().timeAxis;
        if (!m_guide && axis) {
            m_guide = new QWidget(axis);
            m_guide->setStyleSheet(QStringLiteral("border:1px dotted #ff0000;"));
        }
        const bool inView = placeGuide();
        m_moved = false;
        if (event->button() == Qt::LeftButton && rec)
            rec->pressed = true;
        if (m_guide) {
            m_guide->setVisible(m_pressed && inView);
            m_guide->raise();
        }
    }
    GConfig::instance().refreshStage();
    if (TimeAxisWidget* axis = GConfig::instance().timeAxis)
        axis->syncTimelineSelection();
    GConfig::instance().syncStageSelection();
}

void LayerMedia::mouseMoveEvent(QMouseEvent* event) {
    const QPoint pos = event->pos();
    if (!m_pressed) {
        if (!rowLocked())
            setCursor(pos.x() < m_edgeWidth || width() - pos.x() < m_edgeWidth ? Qt::SizeHorCursor : Qt::ArrowCursor);
        return;
    }
    if (m_mediaId <= 0 || rowLocked())
        return;
    GConfig& config = GConfig::instance();
    if (std::abs(pos.y() - m_pressPos.y()) >= m_dragOutDistance) {
        if (m_guide)
            m_guide->hide();
        const bool moved = m_moved;
        m_moved = false;
        m_pressed = false;
        m_dragMode = 2;
        startDrag(m_mediaId, pos);
        if (moved)
            config.requestRealtimeUpdate(false);
        return;
    }
    int low = 0;
    int high = -1;
    neighbourLimits(&low, &high);
    const int lowPx = RulerWidget::toPixel(low) + m_margin;
    const int highPx = high >= 0 ? RulerWidget::toPixel(high) + m_margin : m_strip->width();
    GConfig::instance().pausePlayback();

    int dx = pos.x() - m_pressX;
    MediaSource rec = config.mediaRecord(m_mediaId);
    if (!(m_dragMode == 3 && rec.start == 0)) {
        TimeAxisWidget* axis = GConfig::instance().timeAxis;
        if (axis && axis->autoScrollTo(pos.x() + x())) {
            QTimer::singleShot(150, this, &LayerMedia::nudgeCursor);
            if (m_dragMode == 3)
                dx = dx > 0 ? 3 : (dx < 0 ? -3 : 0);
        }
    }
    m_dragged = true;
    const int h = m_strip->height();
    if (m_dragMode == 3) {
        const axis::BarGeometry g = axis::moveBar(x(), width(), dx, lowPx, highPx);
        move(g.x, 0);
        rec.start = RulerWidget::toMs(g.x - m_margin);
    } else if (m_dragMode == 0) {
        const std::optional<axis::BarGeometry> g = axis::trimLeft(x(), width(), dx, lowPx);
        if (!g)
            return;
        setGeometry(g->x, 0, g->width, h);
        rec.start = RulerWidget::toMs(g->x - m_margin);
        rec.duration = RulerWidget::toMs(g->width);
    } else if (m_dragMode == 1) {
        const std::optional<axis::BarGeometry> g = axis::trimRight(x(), m_pressWidth, dx, highPx);
        if (!g)
            return;
        setGeometry(x(), 0, g->width, h);
        rec.duration = RulerWidget::toMs(g->width);
    } else {
        return;
    }
    config.setMediaRecord(rec, m_mediaId);
    GConfig::instance().refreshStage();
    GConfig::instance().showMediaLater(m_mediaId, false);
    m_moved = true;
    if (TimeAxisWidget* axis = GConfig::instance().timeAxis)
        axis->updateLayerItems();
    relayoutEffects();
    if (placeGuide())
        m_guide->show();
}

void LayerMedia::mouseReleaseEvent(QMouseEvent* event) {
    if (m_guide)
        m_guide->hide();
    m_dragged = false;
    if (m_mediaId <= 0)
        return;
    GConfig& config = GConfig::instance();
    if (MediaSource* rec = config.mediaSource(m_mediaId))
        rec->pressed = false;
    if (m_moved)
        config.requestRealtimeUpdate(false);
    m_moved = false;
    m_pressed = false;
    m_dragMode = 2;
    if (event->button() == Qt::RightButton) {
        GConfig::instance().pausePlayback();
        showContextMenu();
        return;
    }
    const bool grew = x() + width() > m_pressRight;
    QTimer::singleShot(0, qApp, [grew] { GConfig::instance().fitTimeAxisToMedia(grew); });
    GConfig::instance().refreshStage();
    relayoutEffects();
}

void LayerMedia::showContextMenu() {
    const bool locked = rowLocked();
    QMenu menu;
    QAction* remove = menu.addAction(QStringLiteral("删除"));
    QAction* attributes = menu.addAction(QStringLiteral("属性"));
    remove->setEnabled(!locked);
    attributes->setEnabled(!locked);
    const int id = m_mediaId;
    QAction* chosen = menu.exec(QCursor::pos());
    if (chosen == remove)
        QTimer::singleShot(0, qApp, [] { LayerMedia::deleteSelected(); });
    else if (chosen == attributes)
        GConfig::instance().showMediaLater(id, true);
}

void LayerMedia::deleteSelected() {
    if (g_deleting)
        return;
    g_deleting = true;
    GConfig::instance().pausePlayback();
    QCoreApplication::processEvents();
    GConfig::instance().showWaiting(true);
    removeSelectedMedia();
    GConfig::instance().showWaiting(false);
    g_deleting = false;
}

void LayerMedia::keyReleaseEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Delete && event->modifiers() == Qt::NoModifier && m_mediaId > 0 && !rowLocked() &&
        !g_deleting) {
        g_deleting = true;
        GConfig::instance().pausePlayback();
        GConfig::instance().showWaiting(true);
        const QPointer<LayerMedia> self(this);
        removeSelectedMedia();
        g_deleting = false;
        if (self)
            QWidget::keyReleaseEvent(event);
        GConfig::instance().showWaiting(false);
        return;
    }
    QWidget::keyReleaseEvent(event);
    GConfig::instance().showWaiting(false);
}

void LayerMedia::startDrag(int mediaId, const QPoint& point) {
    if (mediaId <= 0)
        return;
    GConfig::instance().pausePlayback();
    auto* data = new QMimeData;
    data->setProperty("mediaId", mediaId);
    data->setProperty("posX", point.x());
    auto* drag = new QDrag(this);
    drag->setMimeData(data);
    drag->exec(Qt::MoveAction);
    if (TimeAxisWidget* axis = GConfig::instance().timeAxis)
        axis->hideLayerDropMarks();
    if (MediaSource* rec = GConfig::instance().mediaSource(mediaId))
        rec->pressed = false;
    GConfig::instance().refreshStage();
}

void LayerMedia::nudgeCursor() {
    // Only a real window system moves the pointer.
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return;
    QCursor::setPos(QCursor::pos() - QPoint(m_nudge, 0));
    m_nudge = -m_nudge;
}

void LayerMedia::paintEvent(QPaintEvent*) {
    QStyleOption option;
    option.initFrom(this);
    QPainter painter(this);
    style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, this);
    if (m_mediaId <= 0)
        return;
    const MediaSource rec = GConfig::instance().mediaRecord(m_mediaId);
    const QString name = rec.fileName;
    const int textWidth = painter.fontMetrics().horizontalAdvance(name);
    const int tile = textWidth + 63;
    const int period = tile + 200;
    painter.setPen(QColor(QStringLiteral("#c8c8c8")));
    for (int x = 3; x == 3 || x - 3 < width() - tile; x += period) {
        const int tw = x + 43 > width() - 2 ? width() - x - 2 : 43;
        if (tw > 0 && !rec.thumbnail.isNull())
            painter.drawImage(QRect(x, 3, tw, 34), rec.thumbnail, QRect(0, 0, tw, 34));
        painter.drawText(x + 50, 23, name);
    }
}
