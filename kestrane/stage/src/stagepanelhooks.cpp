#include "kestrane/stagepanelhooks.h"

#include <QCursor>
#include <QLabel>
#include <QPixmap>
#include <QScrollBar>

#include "kestrane/deviceitem.h"
#include "kestrane/gconfig.h"
#include "kestrane/graphicsitem.h"
#include "kestrane/picitem.h"
#include "kestrane/scene.h"
#include "kestrane/stageitems.h"
#include "kestrane/stagewidget.h"
#include "kestrane/videoitem.h"

using namespace stage;

namespace {

DeviceItem* deviceItem(Scene* scene, int id) { return dynamic_cast<DeviceItem*>(scene->stageItem(id, kDeviceType)); }

GraphicsItem* makeMediaItem(Scene* scene, int id) {
    const MediaSource rec = GConfig::instance().mediaRecord(id);
    GraphicsItem* item = nullptr;
    if (rec.kind == 1)
        item = new PicItem(id);
    else if (rec.kind == 0)
        item = new VideoItem(id);
    if (!item) return nullptr;
    item->setData(kIdKey, id);
    item->setData(kTypeKey, kMediaType);
    scene->addItem(item);
    return item;
}

}  // namespace

void StagePanelHooks::setTitleText(const QString& text) { m_widget->titleLabel()->setText(text); }

void StagePanelHooks::setItemInfo(int id, bool isDevice, double x, double y, double z) {
    m_widget->setItemInfo(id, isDevice, x, y, z);
}

void StagePanelHooks::clearItemInfo() { m_widget->clearItemInfo(); }
void StagePanelHooks::resetScaleCombo() { m_widget->resetScaleCombo(); }
void StagePanelHooks::setScaleIndex(int index) { m_widget->setScaleIndex(index); }

StageViewport StagePanelHooks::viewport() const {
    StageViewport v;
    v.hScroll = m_widget->horizontalBar()->value();
    v.vScroll = m_widget->view()->verticalScrollBar()->value();
    v.width = m_widget->view()->viewport()->width();
    v.height = m_widget->view()->viewport()->height();
    return v;
}

void StagePanelHooks::applyZoom(double) {
    m_widget->view()->updateSceneRect();
    m_widget->updateScrollRange();
}

void StagePanelHooks::setScrollValues(int h, int v) {
    m_widget->view()->verticalScrollBar()->setValue(v);
    m_widget->setHorizontalScrollValue(h);
}

void StagePanelHooks::showCustomScale(double zoom) { m_widget->showCustomScale(zoom); }

void StagePanelHooks::setHandCursor(bool on) {
    QWidget* viewport = m_widget->view()->viewport();
    if (on)
        viewport->setCursor(handCursor());
    else
        viewport->unsetCursor();
}

void StagePanelHooks::advanceScene() { m_widget->scene()->advance(); }
void StagePanelHooks::updateScene() { m_widget->scene()->update(); }
void StagePanelHooks::clearStage() { m_widget->scene()->clearStage(); }
void StagePanelHooks::clearStageSelection() { m_widget->scene()->clearSelection(); }

QList<int> StagePanelHooks::selectedMediaIds() const {
    QList<int> ids;
    for (QGraphicsItem* item : m_widget->scene()->selectedItems())
        if (itemType(item) == kMediaType) ids.append(itemId(item));
    return ids;
}

StageItemRef StagePanelHooks::focusItem() const {
    QGraphicsItem* item = m_widget->scene()->focusItem();
    while (item && itemType(item) < 0) item = item->parentItem();
    return item ? StageItemRef{itemId(item), itemType(item)} : StageItemRef{};
}

QList<StageItemRef> StagePanelHooks::selectedItems() const {
    QList<StageItemRef> out;
    for (QGraphicsItem* item : m_widget->scene()->selectedItems())
        if (itemType(item) >= 0) out.append({itemId(item), itemType(item)});
    return out;
}

void StagePanelHooks::deleteSelectedMedia() {
    for (QGraphicsItem* item : m_widget->scene()->selectedItems())
        if (auto* media = dynamic_cast<GraphicsItem*>(item)) {
            media->deleteSelected();
            return;
        }
}

void StagePanelHooks::deleteSelectedDevices() {
    for (QGraphicsItem* item : m_widget->scene()->selectedItems())
        if (auto* device = dynamic_cast<DeviceItem*>(item)) {
            device->deleteSelected();
            return;
        }
}

void StagePanelHooks::setMediaItemSelected(int mediaId, bool selected) {
    if (QGraphicsItem* item = m_widget->scene()->stageItem(mediaId, kMediaType)) item->setSelected(selected);
}

void StagePanelHooks::alignStageItems(int mode) { m_widget->scene()->alignSelectedItems(mode); }

void StagePanelHooks::removeMediaItem(int mediaId) {
    Scene* scene = m_widget->scene();
    while (QGraphicsItem* item = scene->stageItem(mediaId, kMediaType)) {
        scene->removeItem(item);
        delete item;
    }
}

void StagePanelHooks::addMediaItem(int mediaId) {
    Scene* scene = m_widget->scene();
    if (scene->stageItem(mediaId, kMediaType)) return;
    if (GraphicsItem* item = makeMediaItem(scene, mediaId)) item->hide();
}

void StagePanelHooks::createVideoItems() {
    Scene* scene = m_widget->scene();
    const QList<int> ids = GConfig::instance().mediaIds();
    for (int id : ids)
        if (GConfig::instance().mediaRecord(id).kind == 0 && !scene->stageItem(id, kMediaType))
            if (GraphicsItem* item = makeMediaItem(scene, id)) item->hide();
}

void StagePanelHooks::addDeviceItem(int deviceId) { m_widget->scene()->addDeviceItem(deviceId); }

void StagePanelHooks::addLoadedDeviceItem(int deviceId) {
    // The file's position stands; the selection and the edit mode stay as
    // the loader left them.
    Scene* scene = m_widget->scene();
    DeviceRecord* rec = GConfig::instance().device(deviceId);
    if (!rec || scene->stageItem(deviceId, kDeviceType)) return;
    auto* item = new DeviceItem(deviceId, true);
    item->setData(kIdKey, deviceId);
    item->setData(kTypeKey, kDeviceType);
    scene->addItem(item);
    if ((rec = GConfig::instance().device(deviceId))) rec->stageItem = item;
}
void StagePanelHooks::selectStageDevice(int deviceId) { m_widget->scene()->selectDeviceItem(deviceId); }

void StagePanelHooks::removeDeviceItem(int deviceId) {
    Scene* scene = m_widget->scene();
    while (QGraphicsItem* item = scene->stageItem(deviceId, kDeviceType)) {
        scene->removeItem(item);
        delete item;
    }
    if (DeviceRecord* d = GConfig::instance().device(deviceId)) d->stageItem = nullptr;
}

void StagePanelHooks::runDeviceMatrixLayout(int deviceId) {
    if (DeviceItem* d = deviceItem(m_widget->scene(), deviceId)) d->openMatrixLayout();
}
void StagePanelHooks::runDeviceColorCorrection(int deviceId) {
    if (DeviceItem* d = deviceItem(m_widget->scene(), deviceId)) d->openColorCorrection();
}
void StagePanelHooks::runDeviceGeometryCorrection(int deviceId) {
    if (DeviceItem* d = deviceItem(m_widget->scene(), deviceId)) d->openGeometryCorrection();
}
void StagePanelHooks::combineDevice(int deviceId) {
    if (DeviceItem* d = deviceItem(m_widget->scene(), deviceId)) d->combine();
}
void StagePanelHooks::uncombineDevice(int deviceId) {
    if (DeviceItem* d = deviceItem(m_widget->scene(), deviceId)) d->uncombine();
}
