// How the console's windows reach each other through the configuration
// object: the title mark, the timeline length, the stage zoom and selection,
// device moves and removal, and the calls that only pass on to one window.
#include <QCoreApplication>
#include <QDebug>
#include <QElapsedTimer>

#include <algorithm>
#include <climits>
#include <cmath>

#include "kestrane/gconfig.h"
#include "kestrane/outputdatathread.h"
#include "platform/textcodec.h"

#include "kestrane/logging.h"
#define KLOG KESTRANE_DEBUG_HERE

namespace {

constexpr int kEffectRole = 102;
constexpr double kMinZoom = 0.125;
constexpr double kMaxZoom = 1.0;

}  // namespace

// ---------------------------------------------------------------------------
// Title and timeline

void GConfig::setTitleText(const QString& text) {
    m_titleText = text;
    m_stageHooks->setTitleText(text);
}

void GConfig::setTimelineLength(int ms, int flag) {
    m_timelineLength = ms;
    m_timeAxisHooks->refreshRows(flag);
    setSaved(false);
}

void GConfig::setTimelineStart(int ms) {
    m_timelineStart = ms;
    m_timeAxisHooks->refreshRows(0);
    setSaved(false);
}

int GConfig::latestMediaEnd() const {
    qint64 end = 0;
    for (const MediaSource& m : m_media) end = std::max(end, qint64(m.start) + qint64(m.duration));
    return int(std::min<qint64>(end, INT_MAX));
}

void GConfig::fitTimelineLength(bool grow) {
    const int end = latestMediaEnd();
    if (grow) {
        if (end <= m_timelineLength) return;
        m_timelineLength = end;
        m_timeAxisHooks->refreshRows(0);
        setSaved(false);
        return;
    }
    if (end >= m_timelineLength) return;
    const qint64 floor = qint64(m_timelineStart) + m_minimumSpan;
    m_timelineLength = int(std::min<qint64>(std::max<qint64>(end, floor), INT_MAX));
    m_timeAxisHooks->refreshRows(0);
    setSaved(false);
    const double roomy = 1.2 * m_timelineLength;
    if (m_timeAxisLength > roomy) setTimeAxisLength(int(roomy), false);
}

void GConfig::fitTimeAxisToMedia(bool grow) { setTimeAxisLength(latestMediaEnd(), grow); }

void GConfig::setTimeAxisLength(int ms, bool flag) {
    if (ms == -1) ms = latestMediaEnd();
    m_timeAxisLength = std::max(ms, m_timelineLength);
    m_timeAxisHooks->setAxisLength(m_timeAxisLength, flag);
}

// ---------------------------------------------------------------------------
// Stage

void GConfig::setStageZoom(double zoom, int anchorX, int anchorY) {
    if (!std::isfinite(zoom)) return;
    zoom = std::clamp(zoom, kMinZoom, kMaxZoom);
    const double old = m_stageZoom;
    // Read before the view rescales: a smaller scene clamps the scroll bars.
    const StageViewport before = m_stageHooks->viewport();
    m_stageZoom = zoom;
    m_stageHooks->applyZoom(zoom);
    auto keep = [&](int value, int anchor) { return int((value + anchor) / old * zoom - anchor); };
    m_stageHooks->setScrollValues(keep(before.hScroll, anchorX), keep(before.vScroll, anchorY));
    m_stageHooks->showCustomScale(zoom);
}

void GConfig::setHandTool(bool on) {
    m_handTool = on;
    m_stageHooks->setHandCursor(on);
    m_stageHooks->clearStageSelection();
    m_stageHooks->advanceScene();
}

void GConfig::setMediaEditMode(int mode, bool flag) {
    if (mode == m_editMode) return;
    m_editMode = mode;
    m_mainWindowHooks->setSelectMode(mode != 0, flag);
    refreshStage();
    syncStageSelection();
}

void GConfig::refreshStage() {
    QElapsedTimer timer;
    timer.start();
    m_stageHooks->advanceScene();
    KLOG << "stage advanced in" << timer.elapsed() << "ms";
    runLater([this] { m_stageHooks->updateScene(); });
}

void GConfig::syncStageSelection() {
    for (auto it = m_media.constBegin(); it != m_media.constEnd(); ++it)
        m_stageHooks->setMediaItemSelected(it.key(), it.value().selected);
}

void GConfig::syncTimelineSelection() {
    const int rows = m_timeAxisHooks->layerRowCount();
    for (int row = 0; row < rows; ++row) {
        if (m_timeAxisHooks->layerRowRole(row) == kEffectRole) continue;
        const bool locked = m_timeAxisHooks->isLayerLocked(row);
        for (int id : mediaIdsOnLayer(row)) {
            MediaSource& m = m_media[id];
            // Media of a locked layer cannot stay selected.
            if (locked) m.selected = false;
            m_timeAxisHooks->setMediaBlockSelected(id, m.selected);
        }
    }
}

void GConfig::selectEffectRow(int row) {
    if (m_timeAxisHooks->layerRowRole(row) != kEffectRole) return;
    int layerRow = row - 1;
    while (layerRow >= 0 && m_timeAxisHooks->layerRowRole(layerRow) == kEffectRole) --layerRow;
    const int rows = m_timeAxisHooks->layerRowCount();
    for (int r = 0; r < rows; ++r) {
        if (m_timeAxisHooks->layerRowRole(r) == kEffectRole)
            m_timeAxisHooks->setEffectRowSelected(r, r == row);
        else
            m_timeAxisHooks->setLayerRowChecked(r, r == layerRow);
    }
}

void GConfig::showStageInfo(int id, bool device) {
    if (device) {
        const DeviceRecord* d = this->device(id);
        if (!d) {
            m_stageHooks->clearItemInfo();
            return;
        }
        m_stageHooks->setItemInfo(id, true, d->stageX, d->stageY, -1);
        return;
    }
    if (!m_media.contains(id)) {
        m_stageHooks->clearItemInfo();
        return;
    }
    const auto [x, y] = mediaStagePos(id);
    m_stageHooks->setItemInfo(id, false, x, y, -1);
}

void GConfig::clearStageInfo() { m_stageHooks->clearItemInfo(); }

QPoint GConfig::centeredStagePos(int w, int h) const {
    const StageViewport v = m_stageHooks->viewport();
    const int drawnW = int(w * m_stageZoom);
    const int drawnH = int(h * m_stageZoom);
    return {v.hScroll + (v.width - drawnW) / 2, v.vScroll + (v.height - drawnH) / 2};
}

void GConfig::moveDevice(int id, double x, double y) {
    DeviceRecord* d = device(id);
    if (!d) return;
    const qint64 group = d->groupStamp;
    if (group == 0) {
        d->stageX = x;
        d->stageY = y;
        return;
    }
    // A group moves as one: every device of the same stamp by the offset.
    const double dx = x - d->stageX;
    const double dy = y - d->stageY;
    for (DeviceRecord& other : m_devices) {
        if (other.groupStamp != group) continue;
        other.stageX += dx;
        other.stageY += dy;
    }
}

void GConfig::removeDevice(int id) {
    if (!m_sidePanelHooks->hasDeviceTree()) return;
    if (!m_devices.contains(id)) return;
    // Read before the windows run: they may touch the records.
    const qint64 group = m_devices[id].groupStamp;
    pausePlayback();
    m_stageHooks->removeDeviceItem(id);
    m_sidePanelHooks->removeTreeItem(id);
    if (group != 0) {
        QList<int> mates;
        for (auto d = m_devices.constBegin(); d != m_devices.constEnd(); ++d)
            if (d.key() != id && d->groupStamp == group) mates.append(d.key());
        // A group of one is no group.
        if (mates.size() == 1) {
            DeviceRecord& last = m_devices[mates.first()];
            last.groupStamp = 0;
            last.matrixCell = -1;
            std::fill(std::begin(last.matrixValues), std::end(last.matrixValues), 0);
        }
    }
    m_devices.remove(id);
    setSaved(false);
}

void GConfig::addStageDevice(int deviceId) { m_stageHooks->addDeviceItem(deviceId); }
void GConfig::selectStageDevice(int deviceId) { m_stageHooks->selectStageDevice(deviceId); }
void GConfig::alignStageItems(int mode) { m_stageHooks->alignStageItems(mode); }
void GConfig::clearStageSelection() { m_stageHooks->clearStageSelection(); }

// ---------------------------------------------------------------------------
// Side panels

void GConfig::refreshDeviceListLater() {
    runLater([this] { m_sidePanelHooks->updateDeviceNames(); });
}

void GConfig::syncSelectionLater() {
    runLater([this] {
        QList<qint64> keys;
        for (int id : m_stageHooks->selectedMediaIds()) {
            auto m = m_media.constFind(id);
            if (m == m_media.constEnd() || keys.contains(m->sourceKey)) continue;
            keys.append(m->sourceKey);
        }
        m_sidePanelHooks->selectMediaRows(keys);
    });
}

void GConfig::showDeviceLater(int deviceId, bool switchTab) {
    runLater([this, deviceId, switchTab] { m_sidePanelHooks->showDeviceAttribute(deviceId, switchTab); });
}

void GConfig::showMediaLater(int mediaId, bool switchTab) {
    runLater([this, mediaId, switchTab] { m_sidePanelHooks->showMediaAttribute(mediaId, switchTab); });
}

void GConfig::enableDeviceAttribute(bool enabled) { m_sidePanelHooks->setDeviceFieldsEnabled(enabled); }
void GConfig::selectDeviceInTree(int deviceId) { m_sidePanelHooks->selectDeviceInTree(deviceId); }

// ---------------------------------------------------------------------------
// Main window

void GConfig::showWaiting(bool show) { m_mainWindowHooks->showWaiting(show); }
bool GConfig::isWaitingHidden() const { return m_mainWindowHooks->isWaitingHidden(); }
void GConfig::showDialogAt(bool show) { m_mainWindowHooks->showProgress(show); }
void GConfig::showMediaSyncDialog(int current, int total, const QString& name) {
    m_mainWindowHooks->updateProgress(current, total, name);
}

// ---------------------------------------------------------------------------
// Time axis

void GConfig::startPlayback() { m_timeAxisHooks->play(); }
void GConfig::pausePlayback() { m_timeAxisHooks->pause(); }
void GConfig::scrollToPlayHead() { m_timeAxisHooks->scrollToPlayHead(); }
bool GConfig::autoScrollTimeAxis(int x) { return m_timeAxisHooks->autoScrollTo(x); }
int GConfig::currentLayer() const { return m_timeAxisHooks->currentLayer(); }
QList<int> GConfig::checkedLayers() const { return m_timeAxisHooks->checkedLayers(); }
bool GConfig::isCurrentLayerLocked() const { return m_timeAxisHooks->isCurrentLayerLocked(); }
bool GConfig::isLayerLocked(int row) const { return m_timeAxisHooks->isLayerLocked(row); }
bool GConfig::isLayerEyeHidden(int row) const { return m_timeAxisHooks->isLayerEyeHidden(row); }
void GConfig::scrollToLayer(int row) { m_timeAxisHooks->scrollToRow(row); }
int GConfig::rowOfLayerPanel(const LayerPanel* panel) const { return m_timeAxisHooks->rowOfLayerPanel(panel); }
void GConfig::hideLayerDropMarks() { m_timeAxisHooks->hideLayerDropMarks(); }
void GConfig::removeMediaFromLayer(int mediaId, int row) { m_timeAxisHooks->removeMediaFromLayer(mediaId, row); }
void GConfig::selectTimelineMedia(int mediaId) { m_timeAxisHooks->selectTimelineMedia(mediaId); }
void GConfig::addAnchorAtCurrentTime(int kind, int row, const QList<double>& values) {
    m_timeAxisHooks->addAnchorAtCurrentTime(kind, row, values);
}

void GConfig::refreshLayerEffectRows(int row) {
    // The effect rows under a layer, by kind.
    static constexpr int kOffset[5] = {0, 1, 3, 2, 4};
    for (int id : mediaIdsOnLayer(row)) {
        const MediaSource& m = m_media[id];
        for (int kind = kestrane::EffectPosition; kind <= kestrane::EffectOpacity; ++kind) {
            QList<int> keys;
            for (auto k = m.effects.constBegin(); k != m.effects.constEnd(); ++k)
                if (k->kind == kind) keys.append(k.key());
            if (!keys.isEmpty()) m_timeAxisHooks->addEffect(row + kOffset[kind], kind, id, keys);
        }
    }
}

bool GConfig::startOutputData(int layerIoId) {
    KLOG << "output command" << layerIoId;
    if (m_outputStarter) return m_outputStarter(layerIoId);
    const LayerIORecord* command = findLayerIO(layerIoId);
    const OutControlRecord* control = command ? findOutControl(command->outControlId) : nullptr;
    if (!control) {
        KLOG << "output command" << layerIoId << (command ? "names no output control" : "is gone") << ", nothing sent";
        return false;
    }
    // The thread gets a copy: the records may be edited or deleted while it
    // sends. Texts leave as GB18030 whatever the process locale.
    kestrane::OutputJob job;
    job.layerIoId = layerIoId;
    const std::string bytes = platform::Utf8ToGbk(command->data.toStdString());
    job.bytes = QByteArray(bytes.data(), int(bytes.size()));
    job.type = control->type;
    job.com = control->com;
    job.baud = control->baud;
    job.parity = control->parity;
    const std::string host = platform::Utf8ToGbk(control->ip.toStdString());
    job.host = QByteArray(host.data(), int(host.size()));
    job.port = control->port;
    job.isTcp = control->isTcp;
    OutputDataThread::launch(job);
    return true;
}

int GConfig::waitForOutputThreads(int ms) { return OutputDataThread::waitForAll(ms); }

// ---------------------------------------------------------------------------
// Calibration dialogs

void GConfig::openMatrixLayout(const QList<int>& deviceIds, QWidget* parent) {
    m_calibrationHooks->openMatrixLayout(deviceIds, parent);
}
void GConfig::openGeometryCorrection(int deviceId, QWidget* parent) {
    m_calibrationHooks->openGeometryCorrection(deviceId, parent);
}
void GConfig::openColorCorrection(int deviceId, QWidget* parent) {
    m_calibrationHooks->openColorCorrection(deviceId, parent);
}
void GConfig::handleGeometryKey(int key) {
    if (geometryDialog) m_calibrationHooks->handleKey(key);
}
