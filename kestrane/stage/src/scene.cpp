#include "kestrane/scene.h"

#include <QCoreApplication>
#include <QDebug>
#include <QEvent>
#include <QEventLoop>
#include <QGraphicsPathItem>
#include <QGraphicsSceneDragDropEvent>
#include <QGraphicsSceneMouseEvent>
#include <QGraphicsSimpleTextItem>
#include <QGraphicsView>
#include <QKeyEvent>
#include <QMimeData>
#include <QMutex>
#include <QPainter>
#include <QPainterPath>
#include <QTimer>

#include <algorithm>

#include "kestrane/deviceitem.h"
#include "kestrane/gconfig.h"
#include "kestrane/picitem.h"
#include "kestrane/prompt.h"
#include "kestrane/resizeitem.h"
#include "kestrane/stageitems.h"
#include "kestrane/videoitem.h"

#include "kestrane/logging.h"
#define KLOG KESTRANE_DEBUG_HERE

using namespace stage;

namespace {

// A copied preview frame on its way to the scene's thread.
class FrameEvent : public QEvent {
public:
    static QEvent::Type kind() {
        static const QEvent::Type t = QEvent::Type(QEvent::registerEventType());
        return t;
    }
    FrameEvent(int id, void* handle, QImage image) : QEvent(kind()), mediaId(id), media(handle), frame(std::move(image)) {}
    int mediaId;
    void* media;
    QImage frame;
};

// The scene that takes frames, guarded for the library's threads.
QMutex& frameTargetMutex() {
    static QMutex m;
    return m;
}
Scene*& frameTarget() {
    static Scene* s = nullptr;
    return s;
}

constexpr Qt::KeyboardModifiers kSwitchMods = Qt::ShiftModifier | Qt::AltModifier;

}  // namespace

Scene::Scene(QObject* parent) : QGraphicsScene(parent) {
    connect(this, &QGraphicsScene::sceneRectChanged, this, [this](const QRectF& r) { update(r); });
    createTip();
    m_followTimer = new QTimer(this);
    m_followTimer->setInterval(100);
    connect(m_followTimer, &QTimer::timeout, this, &Scene::followHandles);
    m_followTimer->start();
    QMutexLocker lock(&frameTargetMutex());
    frameTarget() = this;
}

Scene::~Scene() {
    {
        QMutexLocker lock(&frameTargetMutex());
        if (frameTarget() == this) frameTarget() = nullptr;
    }
    clearStage();
    if (GConfig::instance().scene == this) GConfig::instance().scene = nullptr;
}

void Scene::createTip() {
    m_tip = new QGraphicsSimpleTextItem;
    m_tip->setZValue(1e6);
    m_tip->hide();
    addItem(m_tip);
}

void Scene::clearStage() {
    // Media items first: their handles own the cursor doubles.
    QList<QGraphicsItem*> media;
    for (QGraphicsItem* item : items())
        if (!item->parentItem() && dynamic_cast<GraphicsItem*>(item)) media.append(item);
    for (QGraphicsItem* item : media) {
        removeItem(item);
        delete item;
    }
    m_bandItem = nullptr;
    m_rubberBand = false;
    clear();
    m_tip = nullptr;
    createTip();
}

QGraphicsItem* Scene::stageItem(int id, int type) const {
    return findItem(const_cast<Scene*>(this), id, type);
}

QWidget* Scene::boxParent() const { return qobject_cast<QWidget*>(parent()); }

void Scene::followHandles() {
    for (QGraphicsItem* item : items())
        if (item->data(kHandleKey).toString() == QLatin1String("resizeItem"))
            static_cast<ResizeItem*>(item)->follow();
}

// ---------------------------------------------------------------------------
// Frames

void Scene::postFrame(int mediaId, void* handle, const QImage& frame) {
    QMutexLocker lock(&frameTargetMutex());
    if (Scene* s = frameTarget()) QCoreApplication::postEvent(s, new FrameEvent(mediaId, handle, frame));
}

void Scene::customEvent(QEvent* event) {
    if (event->type() != FrameEvent::kind()) {
        QGraphicsScene::customEvent(event);
        return;
    }
    auto* f = static_cast<FrameEvent*>(event);
    // The item may be gone; then the frame is dropped.
    if (auto* video = dynamic_cast<VideoItem*>(stageItem(f->mediaId, kMediaType)))
        video->takeFrame(f->media, f->frame);
}

// ---------------------------------------------------------------------------
// Devices and selection

void Scene::addDeviceItem(int deviceId) {
    GConfig& g = GConfig::instance();
    DeviceRecord* rec = g.device(deviceId);
    if (!rec) return;
    g.setMediaEditMode(0);
    clearSelection();
    auto* item = new DeviceItem(deviceId, false);
    item->setData(kIdKey, deviceId);
    item->setData(kTypeKey, kDeviceType);
    addItem(item);
    item->setSelected(true);
    g.selectDeviceInTree(deviceId);
    if ((rec = g.device(deviceId))) rec->stageItem = item;
}

void Scene::selectDeviceItem(int deviceId) {
    clearSelection();
    selectItem(deviceId, kDeviceType);
}

void Scene::selectItem(int id, int kind) {
    const int mode = GConfig::instance().editMode();
    if ((kind == kDeviceType && mode == 1) || (kind == kMediaType && mode == 0)) return;
    for (QGraphicsItem* item : items()) {
        if (itemType(item) != kind) continue;
        if (itemId(item) == id)
            item->setSelected(true);
        else if (item->isSelected())
            item->setSelected(false);
    }
}

void Scene::deselectAll() { setSelectionArea(QPainterPath()); }

void Scene::alignSelectedItems(int mode) {
    GConfig& g = GConfig::instance();
    const bool devices = g.editMode() == 0;
    if (devices && g.isConnected()) return;
    const int kind = devices ? kDeviceType : kMediaType;
    QList<QGraphicsItem*> candidates;
    for (QGraphicsItem* item : selectedItems())
        if (itemType(item) == kind) candidates.append(item);
    QGraphicsItem* ref = focusItem();
    while (ref && itemType(ref) != kind) ref = ref->parentItem();  // a focused handle stands for its media
    if (candidates.size() < 2 || !ref || !candidates.contains(ref)) return;
    // Position and size of a record: devices their output, media their
    // size on the stage as the operator sees it.
    struct Geo {
        double *x, *y;
        double w, h;
    };
    auto geo = [&](QGraphicsItem* item) -> Geo {
        if (devices) {
            DeviceRecord* d = g.device(itemId(item));
            return d ? Geo{&d->stageX, &d->stageY, double(d->width), double(d->height)} : Geo{nullptr, nullptr, 0, 0};
        }
        MediaSource* m = g.mediaSource(itemId(item));
        return m ? Geo{&m->x, &m->y, m->width, m->height} : Geo{nullptr, nullptr, 0, 0};
    };
    const Geo r = geo(ref);
    if (!r.x) return;
    const double rx = *r.x, ry = *r.y;
    for (QGraphicsItem* item : candidates) {
        if (item == ref) continue;
        const Geo o = geo(item);
        if (!o.x) continue;
        switch (mode) {
        case 1: *o.x = rx; break;
        case 2: *o.x = rx + r.w - o.w; break;
        case 3: *o.x = rx + r.w / 2 - o.w / 2; break;
        case 4: *o.y = ry; break;
        case 5: *o.y = ry + r.h - o.h; break;
        case 6: *o.y = ry + r.h / 2 - o.h / 2; break;
        default: return;
        }
    }
    g.refreshStage();
    g.setSaved(false);
    if (!devices) g.requestRealtimeUpdate(false);
}

// ---------------------------------------------------------------------------
// Drag and drop

void Scene::dragMoveEvent(QGraphicsSceneDragDropEvent* event) {
    const QMimeData* mime = event->mimeData();
    const QVariant source = mime ? mime->property("sourceType") : QVariant();
    if (!source.isValid()) {
        event->ignore();
        return;
    }
    if (source.toString() == QLatin1String("media") && mime->property("mediaType").toString() == QLatin1String("folder")) {
        event->ignore();
        return;
    }
    // The layer table's last row is a filler: at least one layer is needed.
    if (GConfig::instance().timeAxisHooks().layerRowCount() >= 1)
        event->accept();
    else
        event->ignore();
}

void Scene::dropEvent(QGraphicsSceneDragDropEvent* event) {
    const QMimeData* mime = event->mimeData();
    if (mime && GConfig::instance().timeAxisHooks().layerRowCount() >= 1 &&
        mime->property("sourceType").toString() == QLatin1String("media"))
        dropMediaOnStage(event);
}

void Scene::dropMediaOnStage(QGraphicsSceneDragDropEvent* event) {
    // The waits below run the event loop; a drop delivered meanwhile is
    // ignored rather than run inside this one.
    if (m_dropping) {
        KLOG << "drop ignored: another drop is running";
        event->ignore();
        return;
    }
    m_dropping = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{m_dropping};

    GConfig& g = GConfig::instance();
    const QMimeData* mime = event->mimeData();
    const QPointF dropPos = event->scenePos();
    const int selectedNum = mime->property("selectedNum").toInt();
    const MediaSource dropped = mime->property("mediaSource").value<MediaSource>();

    g.showWaiting(true);
    {
        QEventLoop loop;
        QTimer::singleShot(200, &loop, &QEventLoop::quit);
        loop.exec();
    }
    g.setMediaEditMode(1);
    const int row = g.timeAxisHooks().layerRowNear(g.currentLayer());
    auto refuse = [&](const char* text) {
        kestrane::prompt::warning(boxParent(), QStringLiteral("操作出错"), QString::fromUtf8(text));
        g.showWaiting(false);
    };
    if (row == -1) return refuse("请先在时间轴上添加图层，然后才能把素材拖入舞台");
    if (g.isLayerLocked(row)) return refuse("时间轴上的当前图层已锁定，请先解锁");
    if (selectedNum > 1) return refuse("不支持同时拖动多个媒体到舞台");

    clearSelection();
    MediaSource record = dropped;
    const int id = g.nextMediaId();
    if (g.timeAxisHooks().currentLayerRow() == -1) {
        g.showWaiting(false);
        return;
    }
    // After the layer's last media, or at the play position on an empty layer.
    qint64 start = g.currentTime();
    const QList<int> onLayer = g.mediaIdsOnLayer(row);
    if (!onLayer.isEmpty()) {
        qint64 end = 0;
        for (int other : onLayer) {
            const MediaSource m = g.mediaRecord(other);
            end = std::max(end, qint64(m.start) + m.duration);
        }
        start = end + 1;
    }
    if (record.kind != 0 && record.kind != 1) {
        // Nothing to place: no record, no signal, the overlay hidden.
        KLOG << "drop of media kind" << record.kind << "ignored";
        g.showWaiting(false);
        return;
    }
    record.start = int(std::min<qint64>(start, INT_MAX));
    record.layer = row;
    record.x = toStage(dropPos.x());
    record.y = toStage(dropPos.y());
    record.id = id;
    g.setMediaRecord(record, id);
    GraphicsItem* item = record.kind == 1 ? static_cast<GraphicsItem*>(new PicItem(id))
                                          : static_cast<GraphicsItem*>(new VideoItem(id));
    item->setData(kIdKey, id);
    item->setData(kTypeKey, kMediaType);
    addItem(item);
    item->show();
    item->setSelected(true);
    emit itemDropped(id, -1, -1);
}

// ---------------------------------------------------------------------------
// Keys and mouse

void Scene::keyPressEvent(QKeyEvent* event) { QGraphicsScene::keyPressEvent(event); }

void Scene::keyReleaseEvent(QKeyEvent* event) {
    if (m_switchedByPress && event->modifiers() != kSwitchMods) {
        GConfig& g = GConfig::instance();
        g.setMediaEditMode(g.editMode() ? 0 : 1);
        m_switchedByPress = false;
    }
    QGraphicsScene::keyReleaseEvent(event);
}

void Scene::mousePressEvent(QGraphicsSceneMouseEvent* event) {
    GConfig& g = GConfig::instance();
    m_rubberBand = false;
    bool overItem = false;
    for (QGraphicsItem* item : items(event->scenePos()))
        if (item != m_tip && item != m_bandItem && item->isVisible()) {
            overItem = true;
            break;
        }
    if (!overItem && !g.handTool()) {
        m_rubberBand = true;
        m_bandOrigin = event->scenePos();
        if (!m_bandItem) {
            m_bandItem = new QGraphicsPathItem;
            m_bandItem->setPen(QPen(QColor(QStringLiteral("#aaaaaa")), 0, Qt::DashLine));
            m_bandItem->setZValue(1000199.0);
            addItem(m_bandItem);
        }
    }
    QGraphicsScene::mousePressEvent(event);
    update();
    if (selectedItems().isEmpty()) {
        for (MediaSource& m : g.media()) m.selected = false;
        g.syncTimelineSelection();
    }
}

void Scene::mouseMoveEvent(QGraphicsSceneMouseEvent* event) {
    if (m_rubberBand && !GConfig::instance().handTool() && m_bandItem) {
        const QPointF p = event->scenePos();
        const QRectF band(QPointF(std::min(p.x(), m_bandOrigin.x()), std::min(p.y(), m_bandOrigin.y())),
                          QPointF(std::max(p.x(), m_bandOrigin.x()), std::max(p.y(), m_bandOrigin.y())));
        QPainterPath path;
        path.addRect(band);
        m_bandItem->setPath(path);
        m_bandItem->show();
        QPainterPath area;
        area.addRect(band);
        setSelectionArea(area, Qt::IntersectsItemShape);
        const QList<QGraphicsItem*> chosen = selectedItems();
        if (!focusItem() && !chosen.isEmpty()) chosen.first()->setFocus();
    }
    QGraphicsScene::mouseMoveEvent(event);
    update();
}

void Scene::mouseReleaseEvent(QGraphicsSceneMouseEvent* event) {
    m_rubberBand = false;
    if (m_bandItem) {
        removeItem(m_bandItem);
        delete m_bandItem;
        m_bandItem = nullptr;
    }
    QGraphicsScene::mouseReleaseEvent(event);
    update();
}

void Scene::drawForeground(QPainter* painter, const QRectF& rect) {
    painter->save();
    painter->setPen(QPen(QColor(QStringLiteral("#343434")), 0, Qt::DashLine));
    const QRectF r = sceneRect();
    painter->drawLine(QLineF(0, kMargin, int(r.width()), kMargin));
    painter->drawLine(QLineF(kMargin, 0, kMargin, int(r.height())));
    painter->restore();
    QGraphicsScene::drawForeground(painter, rect);
}
