#include "kestrane/gconfig.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QSettings>
#include <QStandardPaths>
#include <QTimer>

#include <algorithm>
#include <climits>
#include <mutex>

#include "lintra/KestraneStageServer.h"
#include "lintra/ioctrl.h"
#include "kestrane/settings.h"
#include "platform/cnum.h"

namespace {

std::mutex& sessionMutex() {
    static std::mutex m;
    return m;
}
std::mutex& droppedMutex() {
    static std::mutex m;
    return m;
}

template <class T>
int nextListId(const std::vector<std::unique_ptr<T>>& list) {
    QList<int> ids;
    ids.reserve(int(list.size()));
    for (const auto& r : list) ids.append(r->id);
    return kestrane::nextFreeId(ids);
}

template <class T>
T* findById(const std::vector<std::unique_ptr<T>>& list, int id) {
    for (const auto& r : list)
        if (r->id == id) return r.get();
    return nullptr;
}

template <class T, class F>
bool isFree(const std::vector<std::unique_ptr<T>>& list, int id, const QString& text, F field) {
    for (const auto& r : list) {
        const QString& other = field(*r);
        if (r->id != id && !other.isEmpty() && other == text) return false;
    }
    return true;
}

template <class T>
bool eraseById(std::vector<std::unique_ptr<T>>& list, int id) {
    auto it = std::find_if(list.begin(), list.end(), [id](const auto& r) { return r->id == id; });
    if (it == list.end()) return false;
    list.erase(it);
    return true;
}

template <class T>
QList<T*> view(const std::vector<std::unique_ptr<T>>& list) {
    QList<T*> out;
    for (const auto& r : list) out.append(r.get());
    return out;
}

}  // namespace

GConfig& GConfig::instance() {
    // Lives until the process ends; widgets and threads may still reach it
    // while static objects are torn down.
    static GConfig* config = new GConfig;
    return *config;
}

GConfig::GConfig() : m_preview(&kestrane::velmarPreview()), m_worldBlock(std::make_unique<WORLD_BASE_INFO>()) {
    m_titleText = QStringLiteral("无标题.vadra");
    m_addMediaTexts = QStringList{
        QStringLiteral("添加视频、图片"), QStringLiteral("添加图片"),       QStringLiteral("添加文件夹"),
        QStringLiteral("添加文字"),       QStringLiteral("添加现场视频"),   QStringLiteral("添加虚拟桌面"),
        QStringLiteral("添加MDX512记录"), QStringLiteral("添加媒体代表"),   QStringLiteral("添加辅助时间轴"),
        QStringLiteral("添加媒体分组"),   QStringLiteral("添加媒体特效"),
    };
    m_resolutionPresets = QStringList{
        QStringLiteral("添加设备"),
        QStringLiteral("VGA  (640x480)"),
        QStringLiteral("SVGA (800x600)"),
        QStringLiteral("XGA  (1024x768)"),
        QStringLiteral("720P (1280x720)"),
        QStringLiteral("WXGA (1280x800)"),
        QStringLiteral("QVGA (1280x960)"),
        QStringLiteral("SXGA (1280x1024)"),
        QStringLiteral("UXGA (1600x1200)"),
        QStringLiteral("HD   (1920x1080)"),
        QStringLiteral("UHD  (1920x1200)"),
        QStringLiteral("自定义"),
    };
    // The device sub-menu shows the presets' texts.
    buildTopMenus();
    buildMenuModel();
    kestrane::registerRecordTypes();
}

GConfig::~GConfig() = default;

// ---------------------------------------------------------------------------
// Hooks and the queue of later calls

void GConfig::setStageHooks(StageHooks* hooks) { m_stageHooks = hooks ? hooks : &m_noHooks; }
void GConfig::setMainWindowHooks(MainWindowHooks* hooks) { m_mainWindowHooks = hooks ? hooks : &m_noHooks; }
void GConfig::setTimeAxisHooks(TimeAxisHooks* hooks) { m_timeAxisHooks = hooks ? hooks : &m_noHooks; }
void GConfig::setSidePanelHooks(SidePanelHooks* hooks) { m_sidePanelHooks = hooks ? hooks : &m_noHooks; }
void GConfig::setCalibrationHooks(CalibrationHooks* hooks) { m_calibrationHooks = hooks ? hooks : &m_noHooks; }

void GConfig::setHooks(ConsoleHooks* hooks) {
    setStageHooks(hooks);
    setMainWindowHooks(hooks);
    setTimeAxisHooks(hooks);
    setSidePanelHooks(hooks);
    setCalibrationHooks(hooks);
}

void GConfig::runLater(std::function<void()> f, int delayMs) {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) {
        f();
        return;
    }
    if (!m_queue) {
        m_queue = std::make_unique<QObject>();
        m_queue->moveToThread(app->thread());
    }
    QTimer::singleShot(delayMs, m_queue.get(), std::move(f));
}

// ---------------------------------------------------------------------------
// Devices and media

DeviceRecord* GConfig::device(int id) {
    auto it = m_devices.find(id);
    return it == m_devices.end() ? nullptr : &it.value();
}

MediaSource* GConfig::mediaSource(int id) {
    auto it = m_media.find(id);
    return it == m_media.end() ? nullptr : &it.value();
}

void GConfig::setMediaRecord(const MediaSource& record, int id) {
    setSaved(false);
    m_media.insert(id, record);
}

QList<int> GConfig::mediaIdsOnLayer(int layer) const {
    QList<int> ids;
    for (auto it = m_media.constBegin(); it != m_media.constEnd(); ++it)
        if (it.value().layer == layer) ids.append(it.key());
    return ids;
}

int GConfig::nextDeviceId() const { return kestrane::nextFreeId(m_devices.keys()); }
int GConfig::nextMediaId() const { return kestrane::nextFreeId(m_media.keys()); }
int GConfig::nextOutControlId() const { return nextListId(m_outControls); }
int GConfig::nextLayerIOId() const { return nextListId(m_layerIOs); }
int GConfig::nextPlayControlId() const { return nextListId(m_playControls); }

// ---------------------------------------------------------------------------
// Show-control records

QList<OutControlRecord*> GConfig::outControls() const { return view(m_outControls); }
QList<LayerIORecord*> GConfig::layerIOs() const { return view(m_layerIOs); }
QList<PlayControlRecord*> GConfig::playControls() const { return view(m_playControls); }

OutControlRecord* GConfig::addOutControl(const OutControlRecord& record) {
    m_outControls.push_back(std::make_unique<OutControlRecord>(record));
    return m_outControls.back().get();
}
LayerIORecord* GConfig::addLayerIO(const LayerIORecord& record) {
    m_layerIOs.push_back(std::make_unique<LayerIORecord>(record));
    return m_layerIOs.back().get();
}
PlayControlRecord* GConfig::addPlayControl(const PlayControlRecord& record) {
    m_playControls.push_back(std::make_unique<PlayControlRecord>(record));
    return m_playControls.back().get();
}

OutControlRecord* GConfig::findOutControl(int id) const { return findById(m_outControls, id); }
LayerIORecord* GConfig::findLayerIO(int id) const { return findById(m_layerIOs, id); }
PlayControlRecord* GConfig::findPlayControl(int id) const { return findById(m_playControls, id); }

bool GConfig::isOutControlNameFree(int id, const QString& name) const {
    return isFree(m_outControls, id, name, [](const OutControlRecord& r) -> const QString& { return r.name; });
}
bool GConfig::isLayerIONameFree(int id, const QString& name) const {
    return isFree(m_layerIOs, id, name, [](const LayerIORecord& r) -> const QString& { return r.name; });
}
bool GConfig::isPlayControlNameFree(int id, const QString& name) const {
    return isFree(m_playControls, id, name, [](const PlayControlRecord& r) -> const QString& { return r.name; });
}
bool GConfig::isPlayControlCommandFree(int id, const QString& command) const {
    return isFree(m_playControls, id, command,
                  [](const PlayControlRecord& r) -> const QString& { return r.command; });
}

void GConfig::removeLayerIO(int id, bool flag) {
    m_timeAxisHooks->removeLayerIOBlock(id);
    if (flag) runLater([this, id] { eraseLayerIO(id); });
}

void GConfig::removePlayControl(int id, bool flag) {
    m_timeAxisHooks->removePlayControlBlock(id);
    if (flag) runLater([this, id] { erasePlayControl(id); });
}

bool GConfig::eraseLayerIO(int id) { return eraseById(m_layerIOs, id); }
bool GConfig::erasePlayControl(int id) { return eraseById(m_playControls, id); }
bool GConfig::eraseOutControl(int id) { return eraseById(m_outControls, id); }

void GConfig::addOutControlRow(int id) {
    if (outControlList)
        QMetaObject::invokeMethod(outControlList, "addItemUsingData", Qt::DirectConnection, Q_ARG(int, id));
    else
        m_timeAxisHooks->addOutControlItem(id);
}

void GConfig::clearOutControlRows() {
    if (outControlList)
        QMetaObject::invokeMethod(outControlList, "clearItems", Qt::DirectConnection);
    else
        m_timeAxisHooks->clearControlTable();
}

void GConfig::closeIoPorts() {
    for (auto it = m_ioPorts.begin(); it != m_ioPorts.end(); ++it) {
        void* handle = it.value();
        const OutControlRecord* record = findOutControl(it.key());
        if (!record) {
            // The record is gone: the library refuses a handle of the
            // other kind, so trying both frees it whatever it was.
            if (!tolva_io_ctrl::CloseNetworkPort(handle)) tolva_io_ctrl::CloseSerialPort(handle);
        } else if (record->type != 0) {
            tolva_io_ctrl::CloseNetworkPort(handle);
        } else {
            tolva_io_ctrl::CloseSerialPort(handle);
        }
        // A closed handle is never handed out again.
        it.value() = nullptr;
    }
}

// ---------------------------------------------------------------------------
// Effects

QList<double> GConfig::effectDefaults(int kind) {
    switch (kind) {
    case kestrane::EffectPosition: return {-1.0, -1.0};
    case kestrane::EffectRotation: return {0.0};
    case kestrane::EffectScale: return {0.0, 0.0};
    case kestrane::EffectOpacity: return {0.0};
    default: return {};
    }
}

QList<double> GConfig::effectPosAt(int mediaId, int timeMs) const {
    return effectAt(kestrane::EffectPosition, mediaId, timeMs);
}
QList<double> GConfig::effectScaleAt(int mediaId, int timeMs) const {
    return effectAt(kestrane::EffectScale, mediaId, timeMs);
}
QList<double> GConfig::effectRotationAt(int mediaId, int timeMs) const {
    return effectAt(kestrane::EffectRotation, mediaId, timeMs);
}
QList<double> GConfig::effectOpacityAt(int mediaId, int timeMs) const {
    return effectAt(kestrane::EffectOpacity, mediaId, timeMs);
}

namespace {

QList<double> keyValues(int kind, const EffectKey& key) {
    switch (kind) {
    case kestrane::EffectRotation: return {key.value2 * 360.0 + key.value1};
    case kestrane::EffectOpacity: return {key.value1};
    default: return {key.value1, key.value2};
    }
}

}  // namespace

QList<double> GConfig::effectAt(int kind, int mediaId, int timeMs) const {
    auto rec = m_media.constFind(mediaId);
    if (rec == m_media.constEnd()) return effectDefaults(kind);
    const QList<EffectKey> keys = rec->effectsByKind.value(kind);
    if (keys.isEmpty()) {
        // Without a position key the item stays where it was placed: a first
        // key taken from here must not throw it into the stage's corner.
        if (kind == kestrane::EffectPosition) return {rec->x, rec->y};
        return effectDefaults(kind);
    }
    const double t = timeMs == -1 ? currentTime() : timeMs;
    // Key times count from the item's start on the timeline.
    auto at = [&](int i) { return double(keys[i].time) + rec->start; };

    if (t <= at(0)) return keyValues(kind, keys[0]);
    for (int i = 0; i + 1 < keys.size(); ++i) {
        const double t0 = at(i), t1 = at(i + 1);
        if (t == t0) return keyValues(kind, keys[i]);
        if (t > t0 && t < t1) {
            const double f = (t - t0) / (t1 - t0);
            if (kind == kestrane::EffectRotation) {
                const EffectKey& a = keys[i];
                const EffectKey& b = keys[i + 1];
                // From the whole rotation of the key (its turns included), so
                // that the angle does not jump just after a key with turns,
                // straight to the next one: the display servers turn between
                // exactly these two values, and the preview must show what
                // the wall shows.
                const double from = a.value2 * 360.0 + a.value1;
                const double to = b.value2 * 360.0 + b.value1;
                return {from + (to - from) * f};
            }
            const QList<double> v0 = keyValues(kind, keys[i]);
            const QList<double> v1 = keyValues(kind, keys[i + 1]);
            QList<double> out;
            for (int k = 0; k < v0.size(); ++k) out.append(v0[k] + (v1[k] - v0[k]) * f);
            return out;
        }
    }
    // At or after the last key: its values (turns included, as at the key).
    return keyValues(kind, keys.last());
}

bool GConfig::hasEffects(int mediaId) const {
    auto rec = m_media.constFind(mediaId);
    if (rec == m_media.constEnd()) return false;
    for (const EffectKey& e : rec->effects)
        if (!e.disabled) return true;
    return false;
}

std::pair<double, double> GConfig::mediaStagePos(int mediaId) const {
    auto rec = m_media.constFind(mediaId);
    if (rec == m_media.constEnd()) return {-1.0, -1.0};
    if (rec->effects.isEmpty()) return {rec->x, rec->y};
    const QList<double> s = effectScaleAt(mediaId, -1);
    return {rec->x - rec->width * s.value(0) / 2.0, rec->y - rec->height * s.value(1) / 2.0};
}

std::pair<double, double> GConfig::effectAdjustedPos(int mediaId, double x, double y) const {
    auto rec = m_media.constFind(mediaId);
    if (rec == m_media.constEnd() || rec->effects.isEmpty()) return {x, y};
    const QList<double> s = effectScaleAt(mediaId, -1);
    return {x + rec->width * s.value(0) / 2.0, y + rec->height * s.value(1) / 2.0};
}

QByteArray GConfig::specialActionText(const QMap<int, QVector<ACTION_LEVEL_INFO>>& actions) {
    // A kind without key points leaves only its separator behind.
    std::string text;
    bool first = true;
    for (auto it = actions.constBegin(); it != actions.constEnd(); ++it) {
        if (!first) text += ';';
        first = false;
        if (it.value().isEmpty()) continue;
        text += platform::FormatC("%d:", it.key());
        for (const ACTION_LEVEL_INFO& p : it.value())
            text += platform::FormatC("{%f,%f/%f/%f/%f}", p.time, p.value1, p.value2, p.value3, p.value4);
    }
    return QByteArray::fromStdString(text);
}

// ---------------------------------------------------------------------------
// Flags

void GConfig::setSaved(bool saved) {
    m_saved = saved;
    const bool marked = m_titleText.endsWith(QLatin1Char('*'));
    if (saved && marked)
        m_titleText.chop(1);
    else if (!saved && !marked)
        m_titleText.append(QLatin1Char('*'));
    m_stageHooks->setTitleText(m_titleText);
    m_mainWindowHooks->savedChanged(saved);
}

void GConfig::requestRealtimeUpdate(bool newlyPlaced) {
    if (m_realtimeUpdate) m_mainWindowHooks->mediaUpdateRequest(newlyPlaced ? 2 : 3);
}

// ---------------------------------------------------------------------------
// Servers

CKestraneStageServer* GConfig::clientSession(const QString& ip, int op) {
    std::lock_guard<std::mutex> lock(sessionMutex());
    auto it = m_sessions.find(ip);
    switch (op) {
    case 0:
        return it == m_sessions.end() ? nullptr : it->second.get();
    case 1:
        // Another thread may hold the live session: keep it rather than
        // destroy it under that thread's feet.
        if (it != m_sessions.end() && it->second) return it->second.get();
        m_sessions[ip] = std::make_unique<CKestraneStageServer>();
        return m_sessions[ip].get();
    case 2:
        if (it != m_sessions.end() && it->second) {
            it->second->Disconnect();
            // Another thread may be about to send through the pointer it
            // fetched; a disconnected session answers it "not connected".
            m_retiredSessions.push_back(std::move(it->second));
        }
        return nullptr;
    default:
        return nullptr;
    }
}

QList<int> GConfig::droppedServers(int op, int socket) {
    std::lock_guard<std::mutex> lock(droppedMutex());
    if (op == 1)
        m_droppedSockets.append(socket);
    else if (op == 2)
        m_droppedSockets.clear();
    return m_droppedSockets;
}

QStringList GConfig::droppedServerIps(int op, const QString& ip) {
    std::lock_guard<std::mutex> lock(droppedMutex());
    if (op == 1 && !ip.isEmpty() && !m_droppedIps.contains(ip))
        m_droppedIps.append(ip);
    else if (op == 2)
        m_droppedIps.clear();
    else if (op == 3)
        return std::exchange(m_droppedIps, {});
    return m_droppedIps;
}

QString GConfig::sessionIpOfSocket(int socket) const {
    if (socket < 0) return QString();
    std::lock_guard<std::mutex> lock(sessionMutex());
    for (const auto& [ip, session] : m_sessions)
        if (session && session->GetSocket() == socket) return ip;
    return QString();
}

int GConfig::checkServerOutput(const QString& ip, int outputIndex, int width, int height) const {
    int count = 0;
    for (const DeviceRecord& d : m_devices) {
        if (d.serverIp != ip) continue;
        if (d.outputIndex == outputIndex) return 1;
        if (d.width != width || d.height != height) return -2;
        ++count;
    }
    return count < lintra::kMaxChannels ? 0 : -1;
}

// ---------------------------------------------------------------------------
// Settings

int GConfig::defaultPicDuration() {
    constexpr int kDefaultSeconds = 10;
    auto settings = kestrane::openSettings();
    bool ok = false;
    int seconds = settings->value(QStringLiteral("GeneralSettings/defaultPicDuration"), kDefaultSeconds).toInt(&ok);
    // A value that is no count of seconds, or whose milliseconds do not fit,
    // counts as missing.
    if (!ok || seconds <= 0 || seconds > INT_MAX / 1000) seconds = kDefaultSeconds;
    m_defaultPicDuration = seconds * 1000;
    return m_defaultPicDuration;
}

// ---------------------------------------------------------------------------
// Project

void GConfig::clearProject() {
    m_stageHooks->clearStage();
    if (QCoreApplication::instance()) QCoreApplication::processEvents();

    m_timeAxisHooks->clearLayers();
    clearOutControlRows();
    m_sidePanelHooks->clearDeviceTree();
    m_stageHooks->resetScaleCombo();
    m_sidePanelHooks->resetTabs();

    // The timeline comes back before the display length, which must not
    // keep the closed project's length as its lower bound.
    m_timelineStart = 0;
    m_timeAxisHooks->refreshRows(0);
    setSaved(false);
    m_timelineLength = m_clearedTimelineLength;
    m_timeAxisHooks->refreshRows(0);
    setSaved(false);
    setTimeAxisLength(m_clearedTimeAxisLength, false);

    for (const MediaSource& m : m_media)
        if (m.previewHandle) removePreviewMedia(m.previewHandle);

    // The table's rows and the library list stay one to one.
    m_sidePanelHooks->clearMediaTable();
    m_mediaLibrary.clear();
    m_media.clear();
    m_devices.clear();
    deviceFolders.clear();
    {
        // Project commands are refused while connected, so these sessions
        // are closed already; dropping them frees them.
        std::lock_guard<std::mutex> lock(sessionMutex());
        m_sessions.clear();
        m_retiredSessions.clear();
    }
    m_worlds.clear();
    m_projectPath.clear();

    m_mainWindowHooks->resetToolBox();
    m_playControls.clear();
    m_outControls.clear();
    m_layerIOs.clear();
    clearOutControlRows();

    m_mainWindowHooks->resetSplitters();
}
