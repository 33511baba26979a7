#include "kestrane/deviceitem.h"

#include <QCursor>
#include <QDateTime>
#include <QDebug>
#include <QGraphicsSceneMouseEvent>
#include <QGraphicsView>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QTimer>

#include <algorithm>
#include <cmath>

#include "kestrane/gconfig.h"
#include "kestrane/prompt.h"
#include "kestrane/scene.h"
#include "kestrane/stageitems.h"
#include "kestrane/stagemenu.h"

using namespace stage;

namespace {

constexpr double kSnap = 10.0;
const QGraphicsItem::GraphicsItemFlags kFree =
    QGraphicsItem::ItemIsMovable | QGraphicsItem::ItemIsSelectable | QGraphicsItem::ItemIsFocusable;
const QGraphicsItem::GraphicsItemFlags kConnected = QGraphicsItem::ItemIsSelectable | QGraphicsItem::ItemIsFocusable;

QWidget* firstView() {
    Scene* scene = GConfig::instance().scene;
    return scene && !scene->views().isEmpty() ? scene->views().first() : nullptr;
}

QList<DeviceItem*> selectedDevices(QGraphicsScene* scene) {
    QList<DeviceItem*> out;
    if (!scene) return out;
    for (QGraphicsItem* item : scene->selectedItems())
        if (auto* d = dynamic_cast<DeviceItem*>(item)) out.append(d);
    return out;
}

// Shows a device's place and attributes, later (after the handler).
void showLater(int id) {
    QTimer::singleShot(0, [id] {
        GConfig& g = GConfig::instance();
        if (!g.device(id)) return;
        g.showStageInfo(id, true);
        g.showDeviceLater(id, false);
        g.selectDeviceInTree(id);
    });
}

}  // namespace

DeviceItem::DeviceItem(int deviceId, bool fromProject, QGraphicsItem* parent) : QGraphicsItem(parent), m_id(deviceId) {
    GConfig& g = GConfig::instance();
    DeviceRecord* rec = g.device(deviceId);
    setFlags(kFree);
    setAcceptedMouseButtons(Qt::AllButtons);
    const int w = rec ? rec->width : 0, h = rec ? rec->height : 0;
    if (rec && !fromProject) {
        const QPoint p = g.centeredStagePos(w, h);
        setPos(p);
        rec->stageX = toStage(p.x());
        rec->stageY = toStage(p.y());
    } else if (rec) {
        setPos(toScene(rec->stageX), toScene(rec->stageY));
    }
    setZValue(1000000);
    m_width = w;
    m_height = h;
    setScale(zoom());
    m_connected = rec && rec->online;
    g.showStageInfo(deviceId, true);
    g.showDeviceLater(deviceId, false);
    g.setSaved(false);
    setCursor(Qt::ArrowCursor);
}

QRectF DeviceItem::boundingRect() const { return QRectF(0, 0, m_width, m_height); }

void DeviceItem::advance(int phase) {
    GConfig& g = GConfig::instance();
    const DeviceRecord* rec = g.device(m_id);
    if (!rec) return;
    if (phase == 0) {
        if (g.editMode() == 1) {
            if (flags() != GraphicsItemFlags()) {
                setSelected(false);
                setFlags(GraphicsItemFlags());
            }
        } else if (rec->online) {
            if (flags() != kConnected) setFlags(kConnected);
        } else if (flags() != kFree) {
            setFlags(kFree);
        }
        return;
    }
    setScale(zoom());
    m_connected = rec->online;
    if (m_width != rec->width || m_height != rec->height) {
        prepareGeometryChange();
        m_width = rec->width;
        m_height = rec->height;
    }
    setPos(toScene(rec->stageX), toScene(rec->stageY));
    setCursor(g.handTool() ? handCursor() : QCursor(Qt::ArrowCursor));
}

void DeviceItem::paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*) {
    GConfig& g = GConfig::instance();
    const DeviceRecord* rec = g.device(m_id);
    if (!rec) return;
    // Widths and offsets are screen pixels: divided by the item's scale.
    const double px = 1.0 / scale();
    m_connected = rec->online;
    painter->setPen(Qt::NoPen);
    painter->setBrush(QColor(m_connected ? "#00ff00" : "#e60012"));
    painter->drawRect(QRectF(8 * px, 8 * px, 6 * px, 6 * px));

    if (g.editMode() == 0) {
        painter->setPen(QColor("#aeaeae"));
        QFont font = painter->font();
        font.setPointSizeF(9.0 / scale());
        painter->setFont(font);
        const QRectF area(3, 3, m_width - 6, m_height - 6);
        const bool fits = QFontMetricsF(font).horizontalAdvance(rec->name) <= area.width();
        painter->drawText(area, (fits ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignVCenter, rec->name);
    }

    const bool marked = isSelected() || rec->highlight;
    const double width = marked && hasFocus() ? 2 * px : px;
    painter->setBrush(Qt::NoBrush);
    painter->setPen(QPen(QColor(marked ? "#00b7ef" : "#aeaeae"), width, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    painter->drawRect(boundingRect().adjusted(width / 2, width / 2, -width / 2, -width / 2));

    if (rec->syncProgress != -1) {
        const QRectF track(6 * px, m_height - 16 * px, m_width - 12 * px, 6 * px);
        const double done = std::clamp(rec->syncProgress, 0, 100) / 100.0;
        painter->fillRect(QRectF(track.x(), track.y(), track.width() * done, track.height()), QColor("#00ff00"));
        painter->setPen(QPen(QColor(rec->syncFailed ? "#e60012" : "#aeaeae"), px));
        painter->drawRect(track);
    }
}

QList<int> DeviceItem::selectedDeviceIds() {
    QList<int> ids;
    for (DeviceItem* d : selectedDevices(GConfig::instance().scene)) ids.append(d->deviceId());
    return ids;
}

bool DeviceItem::sameResolution(const QList<QGraphicsItem*>& items) {
    GConfig& g = GConfig::instance();
    const DeviceRecord* first = nullptr;
    for (QGraphicsItem* item : items) {
        auto* d = dynamic_cast<DeviceItem*>(item);
        const DeviceRecord* rec = d ? g.device(d->deviceId()) : nullptr;
        if (!rec) continue;
        if (!first)
            first = rec;
        else if (rec->width != first->width || rec->height != first->height)
            return false;
    }
    return true;
}

// ---------------------------------------------------------------------------
// Selection

QVariant DeviceItem::itemChange(GraphicsItemChange change, const QVariant& value) {
    if (change == ItemSelectedHasChanged) {
        GConfig& g = GConfig::instance();
        update();
        if (value.toBool()) {
            g.showStageInfo(m_id, true);
            g.showDeviceLater(m_id, false);
            g.selectDeviceInTree(m_id);
        } else {
            g.clearStageInfo();
            g.showDeviceLater(0, false);
            g.selectDeviceInTree(0);
        }
    }
    return QGraphicsItem::itemChange(change, value);
}

void DeviceItem::selectGroupMates() {
    if (!isSelected()) return;
    GConfig& g = GConfig::instance();
    const DeviceRecord* rec = g.device(m_id);
    if (rec && rec->groupStamp > 0 && scene())
        for (QGraphicsItem* item : scene()->items())
            if (auto* d = dynamic_cast<DeviceItem*>(item))
                if (d != this) {
                    const DeviceRecord* other = g.device(d->deviceId());
                    if (other && other->groupStamp == rec->groupStamp) d->setSelected(true);
                }
    showLater(m_id);
}

// ---------------------------------------------------------------------------
// Mouse

void DeviceItem::mousePressEvent(QGraphicsSceneMouseEvent* event) {
    GConfig& g = GConfig::instance();
    m_moved = false;
    m_press = event->scenePos();
    auto* stageScene = dynamic_cast<Scene*>(scene());
    const Qt::KeyboardModifiers mods = event->modifiers();
    if (mods == (Qt::ShiftModifier | Qt::AltModifier) ||
        mods == (Qt::ShiftModifier | Qt::AltModifier | Qt::ControlModifier)) {
        if (!stageScene) {
            QGraphicsItem::mousePressEvent(event);
            return;
        }
        if (g.editMode() == 1) {
            g.setMediaEditMode(0);
            stageScene->setSwitchedByPress(true);
        }
    }
    if (g.editMode() == 1) {
        event->ignore();
        return;
    }
    const DeviceRecord* rec = g.device(m_id);
    const bool connected = rec && rec->online;
    // Ctrl+click adds a tile to the selection or takes it out (on release),
    // also while its server is connected: that is how tiles are gathered
    // for a matrix layout or a group.
    const bool extend = event->button() == Qt::LeftButton && (mods & Qt::ControlModifier);
    if ((!connected || extend) && (event->button() != Qt::RightButton || isSelected())) {
        QGraphicsItem::mousePressEvent(event);
        selectGroupMates();
        return;
    }
    if (scene()) scene()->clearSelection();
    setSelected(true);
    selectGroupMates();
}

void DeviceItem::keepSelectionOnStage() {
    double minX = kMargin, minY = kMargin;
    const QList<DeviceItem*> items = selectedDevices(scene());
    for (DeviceItem* d : items) {
        minX = std::min(minX, d->x());
        minY = std::min(minY, d->y());
    }
    if (minX == kMargin && minY == kMargin) return;
    for (DeviceItem* d : items) d->moveBy(kMargin - minX, kMargin - minY);
}

void DeviceItem::snap() {
    const QRectF area = sceneBoundingRect().adjusted(-kSnap, -kSnap, kSnap, kSnap);
    const QList<QGraphicsItem*> near = scene()->items(area, Qt::IntersectsItemBoundingRect, Qt::DescendingOrder);
    if (near.size() < 2) return;
    const QRectF mine = sceneBoundingRect();
    auto candidate = [&](QGraphicsItem* other) {
        return other != this && !other->isSelected() && itemType(other) >= 0 && other->isVisible();
    };
    // Best pairing on one axis: distance and target coordinate of my left/top.
    auto best = [&](const QRectF& r, bool horizontal, double* target) {
        const double a0 = horizontal ? mine.left() : mine.top();
        const double a1 = horizontal ? mine.right() : mine.bottom();
        const double b0 = horizontal ? r.left() : r.top();
        const double b1 = horizontal ? r.right() : r.bottom();
        const double size = a1 - a0;
        const struct {
            double d, t;
        } pairs[4] = {{std::abs(b0 - a0), b0}, {std::abs(b0 - a1), b0 - size}, {std::abs(b1 - a0), b1},
                      {std::abs(b1 - a1), b1 - size}};
        double d = 1e300;
        for (const auto& p : pairs)
            if (p.d < 110 && p.d < d) {
                d = p.d;
                *target = p.t;
            }
        return d;
    };
    QGraphicsItem* anchor = nullptr;
    double tx = 0, ty = 0, dx = 1e300, dy = 1e300;
    for (QGraphicsItem* other : near) {
        if (!candidate(other)) continue;
        const QRectF r = other->sceneBoundingRect();
        double cx = 0, cy = 0;
        const double ex = best(r, true, &cx), ey = best(r, false, &cy);
        if (ex < kSnap || ey < kSnap) {
            anchor = other;
            tx = cx;
            ty = cy;
            dx = ex;
            dy = ey;
            break;
        }
    }
    if (!anchor) return;
    // Only one axis matched: the other axis may match another neighbour.
    const bool needX = dx >= kSnap, needY = dy >= kSnap;
    if ((needX || needY) && near.size() >= 3)
        for (QGraphicsItem* other : near) {
            if (other == anchor || !candidate(other)) continue;
            double c = 0;
            const double e = best(other->sceneBoundingRect(), needX, &c);
            if (e < kSnap) {
                (needX ? tx : ty) = c;
                (needX ? dx : dy) = e;
                break;
            }
        }
    if (dx < kSnap && std::abs(x() - tx) > 1e-12 && tx > 0) setX(tx);
    if (dy < kSnap && std::abs(y() - ty) > 1e-12 && ty > 0) setY(ty);
}

void DeviceItem::mouseMoveEvent(QGraphicsSceneMouseEvent* event) {
    GConfig& g = GConfig::instance();
    QPointF p = event->scenePos();
    if (g.moveConstraint() == 1) p.setY(m_press.y());
    if (g.moveConstraint() == 2) p.setX(m_press.x());
    event->setScenePos(p);
    event->setPos(mapFromScene(p));
    if (g.editMode() == 1) {
        event->ignore();
        return;
    }
    m_moved = true;
    QGraphicsItem::mouseMoveEvent(event);
    keepSelectionOnStage();
    if (g.magnet()) {
        const QPointF before = pos();
        snap();
        const QPointF delta = pos() - before;
        if (!delta.isNull())
            for (DeviceItem* d : selectedDevices(scene()))
                if (d != this) d->moveBy(delta.x(), delta.y());
    }
    if (DeviceRecord* rec = g.device(m_id)) {
        rec->stageX = toStage(x());
        rec->stageY = toStage(y());
    }
    if (isSelected()) {
        g.showStageInfo(m_id, true);
        g.showDeviceLater(m_id, false);
    }
    g.setSaved(false);
}

void DeviceItem::storeSelectedPositions() {
    GConfig& g = GConfig::instance();
    QList<DeviceItem*> items{this};
    for (DeviceItem* d : selectedDevices(scene()))
        if (d != this) items.append(d);
    for (DeviceItem* d : items)
        if (DeviceRecord* rec = g.device(d->deviceId())) {
            rec->stageX = toStage(d->x());
            rec->stageY = toStage(d->y());
        }
}

void DeviceItem::mouseReleaseEvent(QGraphicsSceneMouseEvent* event) {
    GConfig& g = GConfig::instance();
    if (g.editMode() == 1) {
        event->ignore();
        return;
    }
    if (event->button() == Qt::RightButton) {
        if (!isSelected()) return;
        g.pausePlayback();
        if (!runContextMenu(event->screenPos())) return;
    }
    QGraphicsItem::mouseReleaseEvent(event);
    selectGroupMates();
    storeSelectedPositions();
    if (m_moved) {
        g.setSaved(false);
        m_moved = false;
    }
}

bool DeviceItem::runContextMenu(const QPoint& screenPos) {
    GConfig& g = GConfig::instance();
    const DeviceRecord* rec = g.device(m_id);
    if (!rec) return false;
    QList<QGraphicsItem*> selection = scene() ? scene()->selectedItems() : QList<QGraphicsItem*>();
    const bool one = selection.size() == 1;
    const bool same = sameResolution(selection);
    bool shared = true;
    qint64 stamp = -1;
    for (QGraphicsItem* item : selection)
        if (auto* d = dynamic_cast<DeviceItem*>(item))
            if (const DeviceRecord* r = g.device(d->deviceId())) {
                if (stamp == -1) stamp = r->groupStamp;
                if (r->groupStamp != stamp) shared = false;
            }
    const bool oneGroup = shared && stamp > 0;

    QMenu menu(firstView());
    QAction* geometry = menu.addAction(QStringLiteral("几何校正"));
    QAction* color = menu.addAction(QStringLiteral("色彩校正"));
    QAction* matrix = menu.addAction(QStringLiteral("矩阵布局"));
    matrix->setEnabled(!one && same);
    QAction* del = menu.addAction(QStringLiteral("删除"));
    del->setEnabled(!g.isConnected());
    QAction* group = menu.addAction(QStringLiteral("组合"));
    group->setEnabled(!one && same && !oneGroup);
    QAction* ungroup = menu.addAction(QStringLiteral("解散组合"));
    ungroup->setEnabled(rec->groupStamp != 0);
    ungroup->setVisible(!g.isConnected());
    menu.addSeparator();
    QAction* props = menu.addAction(QStringLiteral("属性"));

    QAction* chosen = stage::runMenu(&menu, screenPos);
    if (!chosen) return false;
    if (chosen == del) {
        QTimer::singleShot(0, [] { removeSelectedDevices(); });
        g.showStageInfo(0, true);
        g.showDeviceLater(0, false);
        return false;
    }
    if (chosen == geometry)
        openGeometryCorrection();
    else if (chosen == color)
        openColorCorrection();
    else if (chosen == matrix)
        openMatrixLayout();
    else if (chosen == group)
        combine();
    else if (chosen == ungroup)
        uncombine();
    else if (chosen == props)
        g.showDeviceLater(m_id, true);
    return true;
}

void DeviceItem::mouseDoubleClickEvent(QGraphicsSceneMouseEvent* event) {
    if (GConfig::instance().editMode() == 1) {
        event->ignore();
        return;
    }
    QGraphicsItem::mouseDoubleClickEvent(event);
    GConfig::instance().showDeviceLater(m_id, true);
}

void DeviceItem::keyReleaseEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Delete && event->modifiers() == Qt::NoModifier) deleteSelected();
    QGraphicsItem::keyReleaseEvent(event);
}

// ---------------------------------------------------------------------------
// Operations

void DeviceItem::openGeometryCorrection() { GConfig::instance().openGeometryCorrection(m_id, firstView()); }
void DeviceItem::openColorCorrection() { GConfig::instance().openColorCorrection(m_id, firstView()); }

void DeviceItem::combine() {
    GConfig& g = GConfig::instance();
    const QList<int> ids = selectedDeviceIds();
    for (int id : ids)
        if (const DeviceRecord* r = g.device(id); r && r->matrixCell != -1) {
            kestrane::prompt::warning(firstView(), QStringLiteral("组合错误"),
                                      QStringLiteral("您选择的设备中有一部分已经矩阵布局，无法再组合，请先解散组合"));
            return;
        }
    const qint64 stamp = QDateTime::currentMSecsSinceEpoch();
    for (int id : ids)
        if (DeviceRecord* r = g.device(id)) {
            r->groupStamp = stamp;
            std::fill(std::begin(r->matrixValues), std::end(r->matrixValues), 0);
        }
    if (!ids.isEmpty()) g.setSaved(false);
}

void DeviceItem::uncombine() {
    GConfig& g = GConfig::instance();
    const DeviceRecord* rec = g.device(m_id);
    if (!rec) return;
    const qint64 stamp = rec->groupStamp;
    if (stamp == 0) return;
    for (DeviceRecord& d : g.devices()) {
        if (d.groupStamp != stamp) continue;
        d.groupStamp = 0;
        std::fill(std::begin(d.matrixValues), std::end(d.matrixValues), 0);
        d.matrixCell = -1;
    }
    g.setSaved(false);
    if (scene()) scene()->clearSelection();
}

void DeviceItem::openMatrixLayout() {
    GConfig& g = GConfig::instance();
    if (scene() && scene()->selectedItems().size() == 1) return;
    const QList<int> ids = selectedDeviceIds();
    qint64 stamp = 0;
    bool first = true;
    for (int id : ids) {
        const DeviceRecord* r = g.device(id);
        if (!r) continue;
        if (first) {
            stamp = r->groupStamp;
            first = false;
        } else if (r->groupStamp != stamp) {
            kestrane::prompt::warning(firstView(), QStringLiteral("矩阵布局错误"),
                                      QStringLiteral("您的选中项包括其它矩阵布局或组合，无法再进行布局，请先解散组合"));
            return;
        }
    }
    QGraphicsScene* sc = scene();
    g.openMatrixLayout(ids, firstView());
    if (sc && g.scene == sc) sc->clearSelection();
}

void DeviceItem::deleteSelected() {
    GConfig& g = GConfig::instance();
    if (g.isConnected()) return;
    QTimer::singleShot(0, [] { removeSelectedDevices(); });
    g.showStageInfo(0, true);
    g.showDeviceLater(0, false);
}

void DeviceItem::removeSelectedDevices() {
    GConfig& g = GConfig::instance();
    const QList<int> ids = selectedDeviceIds();
    g.showWaiting(true);
    for (int id : ids) g.removeDevice(id);
    g.showWaiting(false);
}
