#include "kestrane/axishooks.h"

#include <QPushButton>

#include "kestrane/effectcontainer.h"
#include "kestrane/gconfig.h"
#include "kestrane/layerinfopanel.h"
#include "kestrane/layermedia.h"
#include "kestrane/layerpanel.h"
#include "kestrane/layertable.h"
#include "kestrane/specialeffectinfopanel.h"
#include "kestrane/timeaxiswidget.h"
#include "kestrane/timeline.h"

int AxisHooks::playPosition() const { return m_axis->position(); }
void AxisHooks::setPlayPosition(int ms) { m_axis->setCurrentTime(ms); }
void AxisHooks::play() { m_axis->play(); }
void AxisHooks::pause() { m_axis->pause(); }
void AxisHooks::playStop() { m_axis->playStop(); }
void AxisHooks::followPlayHead(int ms) { m_axis->followPlayHead(ms); }
void AxisHooks::forwardFiveSecond() { m_axis->forwardFiveSecond(); }
void AxisHooks::backFiveSecond() { m_axis->backFiveSecond(); }
void AxisHooks::setSpeedIndex(int index) { m_axis->setSpeedIndex(index); }
void AxisHooks::setPlayButtonDown(bool down) { m_axis->playButton()->setDown(down); }
bool AxisHooks::isPlayButtonDown() const { return m_axis->playButton()->isDown(); }
bool AxisHooks::autoScrollTo(int x) { return m_axis->autoScrollTo(x); }

void AxisHooks::scrollToPlayHead() {
    if (TimeLine* line = m_axis->timeLine())
        line->scrollIntoView();
}

void AxisHooks::addScale() { m_axis->addScale(); }
void AxisHooks::reduceScale() { m_axis->reduceScale(); }
void AxisHooks::setAxisLength(int ms, bool extend) { m_axis->setAxisLength(ms, extend); }
void AxisHooks::refreshRows(int flag) { m_axis->refreshRows(flag != 0); }
void AxisHooks::refreshTimeAxis() { m_axis->refreshRows(true); }

void AxisHooks::addLayer(bool isInit) { m_axis->addLayer(isInit); }
void AxisHooks::addFolder(bool isInit) { m_axis->addFolder(isInit); }
void AxisHooks::removeLayer() { m_axis->removeLayer(); }
void AxisHooks::changeLayerSequence(int code) { m_axis->changeLayerSequence(code); }
void AxisHooks::clearLayers() { m_axis->clearLayers(); }
int AxisHooks::layerRowCount() const { return m_axis->layerRowCount(); }
int AxisHooks::layerRowRole(int row) const { return m_axis->table()->rowRole(row); }
QList<int> AxisHooks::checkedLayers() const { return m_axis->checkedLayers(); }
int AxisHooks::currentLayer() const { return m_axis->currentLayer(); }
int AxisHooks::currentLayerRow() const { return m_axis->currentLayerRow(); }
int AxisHooks::layerRowNear(int row) const { return m_axis->layerRowNear(row); }
bool AxisHooks::isCurrentLayerLocked() const { return m_axis->isCurrentLayerLocked(); }
bool AxisHooks::isLayerLocked(int row) const { return m_axis->isLayerLocked(row); }
bool AxisHooks::isLayerEyeHidden(int row) const { return m_axis->isLayerEyeHidden(row); }
void AxisHooks::scrollToRow(int row) { m_axis->scrollToRow(row); }
int AxisHooks::rowOfLayerPanel(const LayerPanel* panel) const { return m_axis->rowOfLayerPanel(panel); }
void AxisHooks::hideLayerDropMarks() { m_axis->hideLayerDropMarks(); }

void AxisHooks::setLayerRowChecked(int row, bool checked) {
    if (LayerInfoPanel* h = m_axis->table()->header(row); h && h->isSelected() != checked)
        h->setSelected(checked);
}

void AxisHooks::setEffectRowSelected(int row, bool selected) {
    if (SpecialEffectInfoPanel* e = m_axis->table()->effectHeader(row); e && e->isSelected() != selected)
        e->setSelected(selected);
}

void AxisHooks::addItemToLayer(int id, int rowIndex, int layerIndex) { m_axis->addItemToLayer(id, rowIndex, layerIndex); }
void AxisHooks::removeMediaFromLayer(int mediaId, int row) { m_axis->removeMediaFromLayer(mediaId, row); }
void AxisHooks::removeMediaViews(int mediaId) { m_axis->removeMediaFromLayers(mediaId); }

void AxisHooks::setMediaBlockSelected(int mediaId, bool selected) {
    const LayerTable* table = m_axis->table();
    for (int row : table->layerRows())
        if (const LayerPanel* strip = table->strip(row))
            for (LayerMedia* bar : strip->mediaItems())
                if (bar->mediaId() == mediaId)
                    bar->setSelected(selected);
}

void AxisHooks::selectTimelineMedia(int mediaId) { m_axis->selectMediaLater(mediaId); }

void AxisHooks::addPlayControlBlock(int id) {
    const PlayControlRecord* rec = GConfig::instance().findPlayControl(id);
    if (LayerPanel* strip = rec ? m_axis->table()->strip(rec->layerRow) : nullptr;
        strip && m_axis->table()->isLayerRow(rec->layerRow))
        strip->addPlayControl(id);
}

void AxisHooks::addLayerIOBlock(int id) {
    const LayerIORecord* rec = GConfig::instance().findLayerIO(id);
    if (LayerPanel* strip = rec ? m_axis->table()->strip(rec->layerRow) : nullptr;
        strip && m_axis->table()->isLayerRow(rec->layerRow))
        strip->addLayerIO(id);
}

void AxisHooks::removeLayerIOBlock(int id) { m_axis->removeLayerIOBlock(id); }
void AxisHooks::removePlayControlBlock(int id) { m_axis->removePlayControlBlock(id); }
void AxisHooks::relayoutBlocks() { m_axis->updateLayerItems(); }

void AxisHooks::addEffect(int row, int kind, int mediaId, const QList<int>& keyIds) {
    if (EffectLayerPanel* strip = m_axis->table()->effectStrip(row))
        strip->addEffect(kind, mediaId, &keyIds);
}

void AxisHooks::addAnchorAtCurrentTime(int kind, int row, const QList<double>& values) {
    // The stage names the media's layer row; the key goes to that layer's
    // row of the kind.
    static constexpr int kOffset[5] = {0, 1, 3, 2, 4};
    if (m_axis->table()->isLayerRow(row) && kind >= 1 && kind <= 4)
        row += kOffset[kind];
    if (EffectLayerPanel* strip = m_axis->table()->effectStrip(row))
        strip->addAnchorAtCurrentTime(kind, row, values.isEmpty() ? nullptr : &values);
}

int AxisHooks::findPlayControlByName(const QString& name, int excludeId, int* time) const {
    return m_axis->findPlayControlByName(name, excludeId, time);
}

QList<QVariantMap> AxisHooks::layerRowStates() const {
    const LayerTable* table = m_axis->table();
    QList<QVariantMap> rows;
    for (int row = 0; row < table->fillerRow(); ++row) {
        QVariantMap state;
        state.insert(QStringLiteral("role"), table->rowRole(row));
        if (const LayerInfoPanel* h = table->header(row)) {
            state.insert(QStringLiteral("eyeIsHidden"), h->eyeIsHidden());
            state.insert(QStringLiteral("isLock"), h->isLocked());
            state.insert(QStringLiteral("name"), h->title());
            state.insert(QStringLiteral("color"), h->color());
            state.insert(QStringLiteral("type"), h->kind());
            if (h->isFolder())
                state.insert(QStringLiteral("folderStatus"), h->isExpanded());
        } else if (const SpecialEffectInfoPanel* e = table->effectHeader(row)) {
            state.insert(QStringLiteral("eyeIsHidden"), e->eyeIsHidden());
            state.insert(QStringLiteral("isLock"), e->isLocked());
        }
        rows << state;
    }
    return rows;
}

QStringList AxisHooks::layerRowColors() const {
    QStringList colors;
    for (int row : m_axis->table()->headerRows())
        colors << m_axis->table()->header(row)->color();
    return colors;
}

void AxisHooks::restoreLayerRow(const QVariantMap& row) {
    const int role = row.value(QStringLiteral("role")).toInt();
    if (role != LayerTable::LayerRow && role != LayerTable::GroupRow)
        return;
    LayerInfoPanel* h = role == LayerTable::GroupRow ? m_axis->addFolder(true) : m_axis->addLayer(true);
    h->setLocked(row.value(QStringLiteral("isLock")).toBool());
    h->setColor(row.value(QStringLiteral("color")).toString());
    h->setEyeHidden(row.value(QStringLiteral("eyeIsHidden")).toBool());
    if (row.contains(QStringLiteral("name")))
        h->setTitle(row.value(QStringLiteral("name")).toString());
    if (role == LayerTable::LayerRow && row.contains(QStringLiteral("type")))
        h->setKind(row.value(QStringLiteral("type")).toInt() == LayerInfoPanel::ChildLayer ? LayerInfoPanel::ChildLayer
                                                                                           : LayerInfoPanel::TopLayer);
    if (role == LayerTable::GroupRow)
        h->setExpanded(row.value(QStringLiteral("folderStatus")).toBool());
}

void AxisHooks::restoreEffectRow(int row, const QVariantMap& state) {
    if (SpecialEffectInfoPanel* e = m_axis->table()->effectHeader(row)) {
        // Only what differs: the eye repaints the stage each time.
        const bool locked = state.value(QStringLiteral("isLock")).toBool();
        const bool hidden = state.value(QStringLiteral("eyeIsHidden")).toBool();
        if (e->isLocked() != locked)
            e->setLocked(locked);
        if (e->eyeIsHidden() != hidden)
            e->setEyeHidden(hidden);
    }
}

void AxisHooks::addMediaBlock(int mediaId, int row) {
    if (LayerPanel* strip = m_axis->table()->strip(row); strip && m_axis->table()->isLayerRow(row))
        strip->addMedia(mediaId);
}

void AxisHooks::applyFolderStates() {
    const LayerTable* table = m_axis->table();
    for (int row : table->groupRows())
        LayerInfoPanel::updateChildRows(row, table->header(row)->isExpanded());
}

TimeAxisViewState AxisHooks::viewState() const {
    TimeAxisViewState state;
    state.scale = m_axis->scale();
    state.speedIndex = m_axis->speedIndex();
    state.checked = m_axis->isLockChecked();
    state.playHead = m_axis->position();
    return state;
}

void AxisHooks::setViewState(const TimeAxisViewState& state) {
    m_axis->setScale(state.scale);
    m_axis->setSpeedIndex(state.speedIndex);
    m_axis->setLockChecked(state.checked);
    m_axis->setCurrentTime(std::max(0, state.playHead));
    m_axis->updateLayerItems();
}
