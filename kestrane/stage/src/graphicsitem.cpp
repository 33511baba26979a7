#include "kestrane/graphicsitem.h"

#include <QApplication>
#include <QBitmap>
#include <QCursor>
#include <QDebug>
#include <QGraphicsDropShadowEffect>
#include <QGraphicsSceneMouseEvent>
#include <QGraphicsSimpleTextItem>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QTimer>

#include <algorithm>
#include <cmath>

#include "kestrane/gconfig.h"
#include "kestrane/resizeitem.h"
#include "kestrane/scene.h"
#include "kestrane/stageitems.h"
#include "kestrane/stagemenu.h"

using namespace stage;

namespace {

constexpr Qt::KeyboardModifiers kSwitchMods = Qt::ShiftModifier | Qt::AltModifier;
constexpr Qt::KeyboardModifiers kSwitchModsCtrl = Qt::ShiftModifier | Qt::AltModifier | Qt::ControlModifier;
// Magnet: edges closer than this (scene units) snap.
constexpr double kSnap = 10.0;

// The stage items of the scene that are selected media items.
QList<GraphicsItem*> selectedMedia(QGraphicsScene* scene) {
    QList<GraphicsItem*> out;
    if (!scene) return out;
    for (QGraphicsItem* item : scene->selectedItems())
        if (itemType(item) == kMediaType)
            if (auto* media = dynamic_cast<GraphicsItem*>(item)) out.append(media);
    return out;
}

// Scale-effect increments (0: unchanged) of a media now.
QPair<double, double> scaleEffect(int id) {
    const QList<double> s = GConfig::instance().effectScaleAt(id);
    return {s.value(0), s.value(1)};
}

// Removes the selected media items: ids first, each looked up again,
// because removing one runs events that may change the selection.
void removeSelectedMedia(QGraphicsScene* scene) {
    GConfig& g = GConfig::instance();
    QList<int> ids;
    for (GraphicsItem* item : selectedMedia(scene)) ids.append(item->mediaId());
    g.pausePlayback();
    g.showWaiting(true);
    for (int id : ids) {
        if (!g.media().contains(id)) continue;
        g.removeMedia(id);
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
    }
    g.showWaiting(false);
    g.clearStageInfo();
    g.showMediaLater(0, false);
    QTimer::singleShot(0, [] { GConfig::instance().timeAxisHooks().refreshTimeAxis(); });
}

}  // namespace

GraphicsItem::GraphicsItem(int mediaId, QGraphicsItem* parent) : QGraphicsItem(parent), m_mediaId(mediaId) {
    GConfig& g = GConfig::instance();
    const MediaSource rec = g.mediaRecord(mediaId);
    setFlags(ItemIsMovable | ItemIsSelectable | ItemIsFocusable);
    setScale(rec.scale * zoom());
    setPos(toScene(rec.x), toScene(rec.y));
    setZValue(999999 - rec.layer);
    setData(kIdKey, mediaId);
    setData(kTypeKey, kMediaType);
    g.showStageInfo(mediaId, false);
    setCursor(Qt::ArrowCursor);
}

GraphicsItem::~GraphicsItem() {
    // The handles delete their cursor doubles.
    qDeleteAll(m_handles);
    m_handles.clear();
}

QRectF GraphicsItem::boundingRect() const {
    const MediaSource* rec = GConfig::instance().mediaSource(m_mediaId);
    return rec ? QRectF(0, 0, rec->width, rec->height) : QRectF();
}

bool GraphicsItem::layerLocked() const {
    GConfig& g = GConfig::instance();
    const MediaSource* rec = g.mediaSource(m_mediaId);
    return rec && g.isLayerLocked(rec->layer);
}

// ---------------------------------------------------------------------------
// Tick

void GraphicsItem::applyEditFlags() {
    const GraphicsItemFlags wanted = GConfig::instance().editMode() == 1
                                         ? GraphicsItemFlags(ItemIsMovable | ItemIsSelectable | ItemIsFocusable)
                                         : GraphicsItemFlags();
    if (flags() != wanted) setFlags(wanted);
}

void GraphicsItem::advance(int phase) {
    if (phase == 0) {
        applyEditFlags();
        return;
    }
    GConfig& g = GConfig::instance();
    const qint64 t = g.currentTime();
    const MediaSource rec = g.mediaRecord(m_mediaId);
    showByWindow(!rec.hidden && rec.start <= t && t <= qint64(rec.start) + rec.duration, rec);
    applyRecordPlacement(rec);
}

void GraphicsItem::showByWindow(bool inWindow, const MediaSource& rec) {
    if (inWindow) {
        m_outOfWindow = false;
        m_shownWhileSelected = false;
        show();
        if (rec.focusRequest) {
            setFocus();
            setSelected(true);
        }
        return;
    }
    m_outOfWindow = true;
    m_shownWhileSelected = rec.selected;
    setVisible(rec.selected);
}

void GraphicsItem::applyRecordPlacement(const MediaSource& rec) {
    GConfig& g = GConfig::instance();
    // The record is the master of the selection.
    if (rec.selected != isSelected()) setSelected(rec.selected);
    const double z = zoom();
    setScale(rec.scale * z);
    double px = rec.x, py = rec.y;
    if (!rec.effectsByKind.value(kestrane::EffectPosition).isEmpty()) {
        const QList<double> p = g.effectPosAt(m_mediaId);
        px = p.value(0);
        py = p.value(1);
    }
    setPos(px * z + kMargin, py * z + kMargin);
    setZValue(999999 - rec.layer);
    if (hasFocus()) setFocus();
    setOpacity(1.0 - g.effectOpacityAt(m_mediaId).value(0));
    const double r = g.effectRotationAt(m_mediaId).value(0);
    const auto [sx, sy] = scaleEffect(m_mediaId);
    // Scale and rotation act about the middle of the media: the matrix
    // works on the zoomed picture (Qt applies it after the item's scale).
    const QRectF b = boundingRect();
    const QPointF c(b.width() * z * 0.5 - transformOriginPoint().x(), b.height() * z * 0.5 - transformOriginPoint().y());
    QTransform m;
    m.translate(c.x(), c.y());
    m.scale(1 + sx, 1 + sy);
    m.rotate(r);
    m.translate(-c.x(), -c.y());
    setTransform(m, false);
    setCursor(g.handTool() ? handCursor() : QCursor(Qt::ArrowCursor));
}

// ---------------------------------------------------------------------------
// Handles

void GraphicsItem::createHandles() {
    for (int kind : {0, 4, 6, 2, 7, 3, 1, 5}) {
        auto* h = new ResizeItem(kind, m_mediaId, this);
        m_handles.insert(kind, h);
        m_handleOrder.append(kind);
        h->place();
    }
}

void GraphicsItem::layoutHandles() {
    for (ResizeItem* h : m_handles) h->place();
}

void GraphicsItem::showHandles(bool show) {
    if (show && GConfig::instance().hasEffects(m_mediaId)) show = false;
    for (ResizeItem* h : m_handles)
        if (h->isVisible() != show) h->setVisible(show);
}

bool GraphicsItem::handleHasFocus() const {
    for (ResizeItem* h : m_handles)
        if (h->hasFocus()) return true;
    return false;
}

void GraphicsItem::resizeByHandle(const QRectF& start, const QPointF& pressScene, const QPointF& currentScene,
                                  int kind) {
    GConfig& g = GConfig::instance();
    MediaSource* rec = g.mediaSource(m_mediaId);
    if (!rec) return;
    const double z = zoom();
    const double dx = (currentScene.x() - pressScene.x()) / z;
    const double dy = (currentScene.y() - pressScene.y()) / z;
    const double x0 = start.x(), y0 = start.y(), w0 = start.width(), h0 = start.height();
    double x = x0, y = y0, w = w0, h = h0;
    const bool left = kind == 5 || kind == 6 || kind == 7;
    const bool right = kind == 1 || kind == 2 || kind == 3;
    const bool top = kind == 0 || kind == 1 || kind == 7;
    const bool bottom = kind == 3 || kind == 4 || kind == 5;
    // A size never falls below one stage unit: a drag past the opposite
    // edge stops there, with that edge where it was.
    if (left) {
        w = std::max(1.0, w0 - dx);
        x = x0 + w0 - w;
    } else if (right) {
        w = std::max(1.0, w0 + dx);
    }
    if (top) {
        h = std::max(1.0, h0 - dy);
        y = y0 + h0 - h;
    } else if (bottom) {
        h = std::max(1.0, h0 + dy);
    }
    prepareGeometryChange();
    const bool moved = x != rec->x || y != rec->y;
    rec->x = x;
    rec->y = y;
    rec->width = w;
    rec->height = h;
    if (moved) setPos(x * z + kMargin, y * z + kMargin);
    update();
    layoutHandles();
    if (isSelected()) showOwnInfo();
    g.showMediaLater(m_mediaId, false);
}

// ---------------------------------------------------------------------------
// Tip and highlights

void GraphicsItem::highlightDevices(const QList<int>& ids) {
    GConfig& g = GConfig::instance();
    for (auto it = g.devices().begin(); it != g.devices().end(); ++it) {
        const bool want = ids.contains(it.key());
        if (it->highlight == want) continue;
        it->highlight = want;
        if (QGraphicsItem* item = findItem(g.scene, it.key(), kDeviceType)) item->update();
    }
}

void GraphicsItem::showTip(const QString& text, const QPointF& scenePoint) {
    Scene* scene = GConfig::instance().scene;
    QGraphicsSimpleTextItem* tip = scene ? scene->tipItem() : nullptr;
    if (!tip) return;
    tip->setText(text);
    tip->setBrush(QColor(QStringLiteral("#b7b8b7")));
    if (!tip->graphicsEffect()) {
        auto* shadow = new QGraphicsDropShadowEffect;
        shadow->setOffset(-2, 2);
        shadow->setColor(QColor(QStringLiteral("#333")));
        tip->setGraphicsEffect(shadow);
    }
    QFont font = tip->font();
    font.setWeight(75);
    tip->setFont(font);
    tip->setPos(scenePoint.x() + 12, scenePoint.y());
    tip->show();
}

void GraphicsItem::hideTip() {
    Scene* scene = GConfig::instance().scene;
    if (scene && scene->tipItem()) scene->tipItem()->hide();
}

void GraphicsItem::showOwnInfo() { GConfig::instance().showStageInfo(m_mediaId, false); }

// ---------------------------------------------------------------------------
// Mouse

void GraphicsItem::mousePressEvent(QGraphicsSceneMouseEvent* event) {
    if (layerLocked()) return;
    GConfig& g = GConfig::instance();
    m_pressScene = event->scenePos();
    m_pressItem = scenePos();
    const Qt::KeyboardModifiers mods = event->modifiers();
    if ((mods == kSwitchMods || mods == kSwitchModsCtrl) && dynamic_cast<Scene*>(scene())) {
        if (g.editMode() == 0) {
            g.setMediaEditMode(1);
            static_cast<Scene*>(scene())->setSwitchedByPress(true);
        }
    }
    QGraphicsItem::mousePressEvent(event);
    m_fitRect = QRectF();
    if (event->button() == Qt::RightButton) {
        m_rightDrag = true;
        setSelected(true);
        setFocus();
    }
}

void GraphicsItem::clampSelectionToStage() {
    const double z = zoom();
    double minX = kMargin, minY = kMargin;
    const QList<GraphicsItem*> items = selectedMedia(scene());
    for (GraphicsItem* item : items) {
        const auto [sx, sy] = scaleEffect(item->mediaId());
        const QRectF b = item->boundingRect();
        minX = std::min(minX, item->x() - sx * z * b.width() * 0.5);
        minY = std::min(minY, item->y() - sy * z * b.height() * 0.5);
    }
    const double shiftX = std::abs(minX - kMargin), shiftY = std::abs(minY - kMargin);
    if (shiftX == 0 && shiftY == 0) return;
    for (GraphicsItem* item : items) item->moveBy(shiftX, shiftY);
}

void GraphicsItem::fitToDeviceUnder(const QPointF& scenePos) {
    GConfig& g = GConfig::instance();
    int device = 0;
    for (QGraphicsItem* item : scene()->items(scenePos, Qt::IntersectsItemShape, Qt::DescendingOrder))
        if (itemType(item) == kDeviceType && itemId(item) > 0) {
            device = itemId(item);
            break;
        }
    const DeviceRecord* d = device ? g.device(device) : nullptr;
    if (!d) {
        highlightDevices({});
        m_fitRect = QRectF();
        hideTip();
        return;
    }
    // The device and the devices of its combination (same group stamp).
    QList<int> ids{device};
    if (d->groupStamp != 0)
        for (auto it = g.devices().constBegin(); it != g.devices().constEnd(); ++it)
            if (it.key() != device && it->groupStamp == d->groupStamp) ids.append(it.key());
    highlightDevices(ids);
    if (g.hasEffects(m_mediaId)) {
        m_fitRect = QRectF();
        showTip(QStringLiteral("当前媒体有特效，无法自适应设备大小"), scenePos);
        return;
    }
    double x0 = 1e300, y0 = 1e300, x1 = -1e300, y1 = -1e300;
    for (int id : ids) {
        const DeviceRecord* r = g.device(id);
        x0 = std::min(x0, r->stageX);
        y0 = std::min(y0, r->stageY);
        x1 = std::max(x1, r->stageX + r->width);
        y1 = std::max(y1, r->stageY + r->height);
    }
    m_fitRect = QRectF(x0, y0, x1 - x0, y1 - y0);
}

void GraphicsItem::snapToNeighbours() {
    const QPointF before = pos();
    const QRectF area = sceneBoundingRect().adjusted(-kSnap, -kSnap, kSnap, kSnap);
    const QList<QGraphicsItem*> near = scene()->items(area, Qt::IntersectsItemBoundingRect, Qt::DescendingOrder);
    // Per axis the closest pair of edges under the threshold wins.
    for (int axis = 0; axis < 2; ++axis) {
        const QRectF mine = sceneBoundingRect();
        double best = 110.0, shift = 0.0;
        for (QGraphicsItem* other : near) {
            if (other == this || other->isSelected() || itemType(other) < 0 || !other->isVisible()) continue;
            const QRectF r = other->sceneBoundingRect();
            const double a[2] = {axis == 0 ? mine.left() : mine.top(), axis == 0 ? mine.right() : mine.bottom()};
            const double b[2] = {axis == 0 ? r.left() : r.top(), axis == 0 ? r.right() : r.bottom()};
            for (double ea : a)
                for (double eb : b) {
                    const double d = std::abs(ea - eb);
                    if (d < kSnap && d < best) {
                        best = d;
                        shift = eb - ea;
                    }
                }
        }
        if (best < kSnap && std::abs(shift) > 1e-12) {
            if (axis == 0)
                setX(x() + shift);
            else
                setY(y() + shift);
        }
    }
    // A multiple selection snaps as one block.
    const QPointF delta = pos() - before;
    if (delta.isNull()) return;
    for (GraphicsItem* item : selectedMedia(scene()))
        if (item != this) item->moveBy(delta.x(), delta.y());
}

void GraphicsItem::mouseMoveEvent(QGraphicsSceneMouseEvent* event) {
    if (layerLocked()) return;
    GConfig& g = GConfig::instance();
    g.pausePlayback();
    QPointF p = event->scenePos();
    if (g.moveConstraint() == 1) p.setY(m_pressScene.y());
    if (g.moveConstraint() == 2) p.setX(m_pressScene.x());
    event->setScenePos(p);
    event->setPos(mapFromScene(p));
    if (m_rightDrag) {
        scene()->clearSelection();
        setSelected(true);
    }
    QGraphicsItem::mouseMoveEvent(event);
    const double z = zoom();
    if (!m_rightDrag) {
        clampSelectionToStage();
    } else {
        const auto [sx, sy] = scaleEffect(m_mediaId);
        const QRectF b = boundingRect();
        const double x = std::max(kMargin, m_pressItem.x() + (p.x() - m_pressScene.x()));
        const double y = std::max(kMargin, m_pressItem.y() + (p.y() - m_pressScene.y()));
        setX(x + sx * z * b.width() * 0.5);
        setY(y + sy * z * b.height() * 0.5);
    }
    if (m_rightDrag && scene()->selectedItems().size() == 1) fitToDeviceUnder(p);
    if (g.magnet()) {
        const MediaSource* rec = g.mediaSource(m_mediaId);
        if (rec && rec->effectsByKind.value(kestrane::EffectRotation).isEmpty()) snapToNeighbours();
    }
    writeBackPositions();
    if (isSelected()) showOwnInfo();
    g.showMediaLater(m_mediaId, false);
    if (!m_moved) {
        syncRecordSelection(true);
        g.syncTimelineSelection();
        m_moved = true;
    }
}

void GraphicsItem::writeBackPositions() {
    GConfig& g = GConfig::instance();
    QList<GraphicsItem*> items{this};
    for (GraphicsItem* item : selectedMedia(scene()))
        if (item != this) items.append(item);
    for (GraphicsItem* item : items) {
        const int id = item->mediaId();
        MediaSource* rec = g.mediaSource(id);
        if (!rec) continue;
        const double x = toStage(item->x()), y = toStage(item->y());
        if (rec->effectsByKind.value(kestrane::EffectPosition).isEmpty()) {
            rec->x = x;
            rec->y = y;
            continue;
        }
        // Under position keys the move edits the key at the play position,
        // or adds one there.
        const int at = g.currentTime() - rec->start;
        bool found = false;
        for (EffectKey& key : rec->effects)
            if (key.kind == kestrane::EffectPosition && key.time == at) {
                key.value1 = x;
                key.value2 = y;
                found = true;
            }
        if (!found) g.addAnchorAtCurrentTime(kestrane::EffectPosition, rec->layer, {x, y});
        if ((rec = g.mediaSource(id))) rec->rebuildEffectIndex(kestrane::EffectPosition);
    }
}

void GraphicsItem::syncRecordSelection(bool keepStageSelection) {
    GConfig& g = GConfig::instance();
    for (auto it = g.media().begin(); it != g.media().end(); ++it) {
        if (it.key() == m_mediaId || !it->selected) continue;
        if (keepStageSelection) {
            QGraphicsItem* item = findItem(scene(), it.key(), kMediaType);
            if (item && item->isSelected()) continue;
        }
        it->selected = false;
    }
}

void GraphicsItem::applyFitRect() {
    if (!(m_fitRect.width() > 0 && m_fitRect.height() > 0)) return;
    MediaSource* rec = GConfig::instance().mediaSource(m_mediaId);
    if (!rec) return;
    prepareGeometryChange();
    rec->x = m_fitRect.x();
    rec->y = m_fitRect.y();
    rec->width = m_fitRect.width();
    rec->height = m_fitRect.height();
    setPos(toScene(rec->x), toScene(rec->y));
    layoutHandles();
}

void GraphicsItem::mouseReleaseEvent(QGraphicsSceneMouseEvent* event) {
    GConfig& g = GConfig::instance();
    const bool wasRightDrag = m_rightDrag;
    m_rightDrag = false;
    hideTip();
    if (g.editMode() == 0) {
        event->ignore();
        return;
    }
    if (layerLocked()) return;
    highlightDevices({});
    if (event->button() == Qt::RightButton && m_fitRect.isNull()) {
        if (isSelected()) {
            g.pausePlayback();
            m_moved = false;
            openContextMenu(event->screenPos());
        }
        return;
    }
    QGraphicsItem::mouseReleaseEvent(event);
    if (wasRightDrag) applyFitRect();
    m_fitRect = QRectF();
    if (m_moved) {
        g.requestRealtimeUpdate(false);
        g.setSaved(false);
    }
    g.syncSelectionLater();
    if (!m_moved) {
        syncRecordSelection(true);
        g.syncTimelineSelection();
    }
    m_moved = false;
    // A plain click leaves only this media selected; Ctrl keeps the others.
    if (event->modifiers() != Qt::ControlModifier) syncRecordSelection(false);
}

void GraphicsItem::openContextMenu(const QPoint& screenPos) {
    GConfig& g = GConfig::instance();
    const MediaSource rec = g.mediaRecord(m_mediaId);
    QMenu menu;
    QAction* del = menu.addAction(QStringLiteral("删除"));
    QAction* restore = menu.addAction(QStringLiteral("恢复原始尺寸"));
    QAction* props = menu.addAction(QStringLiteral("属性"));
    restore->setEnabled(!(qRound(rec.width) == rec.nativeWidth && qRound(rec.height) == rec.nativeHeight));
    QAction* chosen = runMenu(&menu, screenPos);
    if (!chosen) return;
    const int id = m_mediaId;
    if (chosen == del) {
        QGraphicsScene* sc = scene();
        QTimer::singleShot(0, [sc, id] {
            // The scene may have lost the item (or be gone) meanwhile.
            if (GConfig::instance().scene == sc && findItem(sc, id, kMediaType)) removeSelectedMedia(sc);
        });
        g.clearStageInfo();
        g.showMediaLater(0, false);
    } else if (chosen == restore) {
        MediaSource* r = g.mediaSource(id);
        if (!r) return;
        prepareGeometryChange();
        r->width = r->nativeWidth;
        r->height = r->nativeHeight;
        update();
        layoutHandles();
        g.requestRealtimeUpdate(false);
        g.setSaved(false);
    } else if (chosen == props) {
        g.showMediaLater(id, true);
    }
}

void GraphicsItem::mouseDoubleClickEvent(QGraphicsSceneMouseEvent* event) {
    if (GConfig::instance().editMode() == 0) {
        event->ignore();
        return;
    }
    if (layerLocked()) return;
    QGraphicsItem::mouseDoubleClickEvent(event);
    GConfig::instance().showMediaLater(m_mediaId, true);
}

// ---------------------------------------------------------------------------
// Keys

void GraphicsItem::keyPressEvent(QKeyEvent* event) {
    if (layerLocked()) return;
    GConfig& g = GConfig::instance();
    g.pausePlayback();
    const int lock = g.moveConstraint();
    int dx = 0, dy = 0;
    bool arrow = true;
    switch (event->key()) {
    case Qt::Key_Left: dx = lock == 2 ? 0 : -1; break;
    case Qt::Key_Right: dx = lock == 2 ? 0 : 1; break;
    case Qt::Key_Up: dy = lock == 1 ? 0 : -1; break;
    case Qt::Key_Down: dy = lock == 1 ? 0 : 1; break;
    default: arrow = false;
    }
    if (dx || dy)
        for (GraphicsItem* item : selectedMedia(scene())) {
            if (dy)
                item->setY(item->y() + dy);
            else
                item->setX(item->x() + dx);
        }
    writeBackPositions();
    if (isSelected()) showOwnInfo();
    g.showMediaLater(m_mediaId, false);
    g.requestRealtimeUpdate(false);
    if (dx || dy) g.setSaved(false);
    if (!arrow) QGraphicsItem::keyPressEvent(event);
}

void GraphicsItem::keyReleaseEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Delete && event->modifiers() == Qt::NoModifier) {
        event->accept();
        // After the event: the removal deletes this item.
        if (layerLocked()) return;
        QGraphicsScene* sc = scene();
        QTimer::singleShot(0, [sc] {
            if (GConfig::instance().scene == sc) removeSelectedMedia(sc);
        });
        return;
    }
    QGraphicsItem::keyReleaseEvent(event);
}

void GraphicsItem::deleteSelected() {
    if (layerLocked()) return;
    removeSelectedMedia(scene());
}

QVariant GraphicsItem::itemChange(GraphicsItemChange change, const QVariant& value) {
    if (change == ItemSelectedHasChanged) {
        GConfig& g = GConfig::instance();
        update();
        MediaSource* rec = g.mediaSource(m_mediaId);
        if (value.toBool()) {
            if (rec) rec->selected = true;
            g.showStageInfo(m_mediaId, false);
            g.selectTimelineMedia(m_mediaId);
            g.showMediaLater(m_mediaId, false);
        } else {
            if (rec && isVisible() && !rec->focusRequest && flags() != GraphicsItemFlags()) rec->selected = false;
            g.clearStageInfo();
            g.selectTimelineMedia(0);
            g.showMediaLater(0, false);
        }
    }
    return QGraphicsItem::itemChange(change, value);
}

// ---------------------------------------------------------------------------
// Painting shared by the picture and video items

bool GraphicsItem::paintKeptFrame(QPainter* painter) {
    painter->setRenderHint(QPainter::SmoothPixmapTransform);
    painter->setRenderHint(QPainter::Antialiasing);
    if (!(m_outOfWindow && m_shownWhileSelected)) return false;
    // Outside its time window and kept visible by its selection: only the
    // dashed outline, one pixel on screen.
    QPen pen(QColor(QStringLiteral("#aeaeae")), int(1.0 / scale()), Qt::DashLine);
    painter->setPen(pen);
    painter->setBrush(Qt::NoBrush);
    painter->drawRect(boundingRect());
    showHandles(false);
    return true;
}

void GraphicsItem::paintSelection(QPainter* painter) {
    if (!isSelected()) {
        showHandles(false);
        return;
    }
    double base = 1.0;
    if (!hasFocus() && !handleHasFocus()) {
        showHandles(false);
    } else {
        showHandles(scene() && scene()->selectedItems().size() == 1);
        base = 2.0;
    }
    const auto [sx, sy] = scaleEffect(m_mediaId);
    const double wv = base / scale() / (1 + sx);
    const double wh = base / scale() / (1 + sy);
    const QRectF b = boundingRect();
    const QColor yellow(QStringLiteral("#feff01"));
    painter->setPen(QPen(yellow, wv, Qt::SolidLine, Qt::FlatCap));
    painter->drawLine(QPointF(wv / 2, 0), QPointF(wv / 2, b.height()));
    painter->drawLine(QPointF(b.width() - wv / 2, 0), QPointF(b.width() - wv / 2, b.height()));
    painter->setPen(QPen(yellow, wh, Qt::SolidLine, Qt::FlatCap));
    painter->drawLine(QPointF(0, wh / 2), QPointF(b.width(), wh / 2));
    painter->drawLine(QPointF(0, b.height() - wh / 2), QPointF(b.width(), b.height() - wh / 2));
}
