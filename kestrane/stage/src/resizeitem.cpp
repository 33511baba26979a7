#include "kestrane/resizeitem.h"

#include <QCursor>
#include <QGraphicsScene>
#include <QGraphicsSceneMouseEvent>
#include <QPainter>
#include <QTimer>

#include <cmath>

#include "kestrane/gconfig.h"
#include "kestrane/graphicsitem.h"
#include "kestrane/scene.h"
#include "kestrane/stageitems.h"

using namespace stage;

TransparentItem::TransparentItem(int kind, QGraphicsItem* parent) : QGraphicsItem(parent) {
    setFlags(GraphicsItemFlags());
    setCursor(ResizeItem::cursorFor(kind));
    setZValue(1000009.0);
    setData(kHandleKey, QStringLiteral("transparentItem"));
}

QRectF TransparentItem::boundingRect() const { return QRectF(0, 0, m_size, m_size); }

ResizeItem::ResizeItem(int kind, int mediaId, QGraphicsItem* parent)
    : QGraphicsItem(parent), m_kind(kind), m_mediaId(mediaId) {
    setFlags(ItemIsMovable | ItemIsFocusable);
    setCursor(cursorFor(kind));
    setData(kHandleKey, QStringLiteral("resizeItem"));
    setAcceptHoverEvents(true);
}

ResizeItem::~ResizeItem() {
    if (m_double) {
        if (m_double->scene()) m_double->scene()->removeItem(m_double);
        delete m_double;
    }
}

Qt::CursorShape ResizeItem::cursorFor(int kind) {
    switch (kind) {
    case 0:
    case 4: return Qt::SizeVerCursor;
    case 2:
    case 6: return Qt::SizeHorCursor;
    case 3:
    case 7: return Qt::SizeFDiagCursor;
    default: return Qt::SizeBDiagCursor;
    }
}

void ResizeItem::place() {
    const MediaSource* rec = GConfig::instance().mediaSource(m_mediaId);
    if (!rec) return;
    const double s = m_size / zoom();
    const double W = rec->width, H = rec->height;
    QPointF p;
    switch (m_kind) {
    case 0: p = {(W - s) / 2, -s}; break;
    case 1: p = {W, -s}; break;
    case 2: p = {W, (H - s) / 2}; break;
    case 3: p = {W, H}; break;
    case 4: p = {(W - s) / 2, H}; break;
    case 5: p = {-s, H}; break;
    case 6: p = {-s, (H - s) / 2}; break;
    default: p = {-s, -s}; break;
    }
    prepareGeometryChange();
    setPos(p);
}

void ResizeItem::follow() {
    if (!scene()) return;
    if (!m_double) {
        m_double = new TransparentItem(m_kind);
        scene()->addItem(m_double);
    }
    const QPointF target = scenePos();
    const QPointF now = m_double->scenePos();
    if (std::abs(now.x() - target.x()) > 1e-12 || std::abs(now.y() - target.y()) > 1e-12) m_double->setPos(target);
    const bool visible = isVisible();
    if (m_double->isVisible() != visible) m_double->setVisible(visible);
}

void ResizeItem::advance(int phase) {
    if (phase == 1) place();
}

QRectF ResizeItem::boundingRect() const {
    const double s = m_size / zoom();
    return QRectF(0, 0, s, s);
}

void ResizeItem::paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*) {
    painter->fillRect(boundingRect(), QColor(QStringLiteral("#f0f0f0")));
}

void ResizeItem::hoverEnterEvent(QGraphicsSceneHoverEvent* event) { QGraphicsItem::hoverEnterEvent(event); }
void ResizeItem::hoverLeaveEvent(QGraphicsSceneHoverEvent* event) { QGraphicsItem::hoverLeaveEvent(event); }

void ResizeItem::mousePressEvent(QGraphicsSceneMouseEvent* event) {
    m_pressScene = event->scenePos();
    const MediaSource rec = GConfig::instance().mediaRecord(m_mediaId);
    m_pressGeometry = QRectF(rec.x, rec.y, rec.width, rec.height);
    QGraphicsScene* sc = scene();
    const int id = m_mediaId;
    QTimer::singleShot(0, [sc, id] {
        if (GConfig::instance().scene != sc) return;
        if (QGraphicsItem* media = findItem(sc, id, kMediaType)) {
            media->setSelected(true);
            media->update();
        }
    });
    QGraphicsItem::mousePressEvent(event);
}

void ResizeItem::mouseMoveEvent(QGraphicsSceneMouseEvent* event) {
    GConfig& g = GConfig::instance();
    if (g.hasEffects(m_mediaId)) {
        GraphicsItem::showTip(QStringLiteral("当前媒体有特效，无法缩放"), event->scenePos());
        return;
    }
    if (auto* media = dynamic_cast<GraphicsItem*>(parentItem()))
        media->resizeByHandle(m_pressGeometry, m_pressScene, event->scenePos(), m_kind);
    g.requestRealtimeUpdate(false);
    g.setSaved(false);
}

void ResizeItem::mouseReleaseEvent(QGraphicsSceneMouseEvent* event) {
    GraphicsItem::hideTip();
    QGraphicsItem::mouseReleaseEvent(event);
}
