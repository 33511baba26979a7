// The console's one configuration and project object.
#pragma once

#include <QByteArray>
#include <QList>
#include <QPoint>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <utility>
#include <vector>

#include "kestrane/common.h"
#include "kestrane/consolehooks.h"
#include "kestrane/previewlink.h"

class CKestraneStageServer;
class Scene;
class StageView;
class StageWidget;
class TimeAxisWidget;
class TimeLine;
class MainWidget;
class RightSidebar;
class DeviceTree;
class DeviceList;
class DeviceAttribute;
class LayerTable;
class MediaList;
class MediaTable;
class LayerPanel;
class GeometryCorrection;
class QObject;
class QPushButton;
class QWidget;
class QSettings;
class QPushButton;
class RulerWidget;

class GConfig {
public:
    // The one object, made on the first call (in main() before any thread
    // starts) and never destroyed.
    static GConfig& instance();

    GConfig(const GConfig&) = delete;
    GConfig& operator=(const GConfig&) = delete;

    // ---- The windows reach each other through these hooks, one part per
    // answering window, each installed by that window; a part that is not
    // installed (null) does nothing, so the model works without widgets.
    void setStageHooks(StageHooks* hooks);
    void setMainWindowHooks(MainWindowHooks* hooks);
    void setTimeAxisHooks(TimeAxisHooks* hooks);
    void setSidePanelHooks(SidePanelHooks* hooks);
    void setCalibrationHooks(CalibrationHooks* hooks);
    // Installs every part of one object (null: none of them).
    void setHooks(ConsoleHooks* hooks);
    StageHooks& stageHooks() const { return *m_stageHooks; }
    MainWindowHooks& mainWindowHooks() const { return *m_mainWindowHooks; }
    TimeAxisHooks& timeAxisHooks() const { return *m_timeAxisHooks; }
    SidePanelHooks& sidePanelHooks() const { return *m_sidePanelHooks; }
    CalibrationHooks& calibrationHooks() const { return *m_calibrationHooks; }

    // ---- Local preview (null: the media rendering library's)
    void setPreview(PreviewLink* preview);
    PreviewLink& preview() const { return *m_preview; }
    // Playing flag := set; rate of every media; play. The result of play.
    int playPreview(double rate);
    // Only while playing: flag := clear; pause.
    void pausePreview();
    // The rate of every media and of the preview's clock, without a play.
    void setPreviewRate(double rate);
    // The preview's time line to ms / 1000 s; true when accepted.
    bool setPreviewTime(int ms);
    // The media's window from start to start + duration (ms) on that layer;
    // true when accepted.
    bool setPreviewMediaLayer(void* handle, int layer, int startMs, int durationMs);

    // ---- Menu model (filled by the constructor; each builder starts afresh)
    void buildTopMenus();
    void buildMenuModel();

    // ---- Fixed texts
    QList<QStringList> topMenus() const { return m_topMenus; }
    QList<QStringList> menuItems(const QString& key) const { return m_menus.value(key); }
    QStringList toolIcons(const QString& key) const { return m_toolIcons.value(key); }
    QStringList disabledActions() const { return m_disabledActions; }
    QStringList addMediaTexts() const { return m_addMediaTexts; }
    QStringList resolutionPresets() const { return m_resolutionPresets; }

    // ---- Devices and media
    QList<int> deviceIds() const { return m_devices.keys(); }
    QList<int> mediaIds() const { return m_media.keys(); }
    QMap<int, DeviceRecord>& devices() { return m_devices; }
    QMap<int, MediaSource>& media() { return m_media; }
    // Null when absent; the caller edits the record in place.
    DeviceRecord* device(int id);
    MediaSource* mediaSource(int id);
    // A copy; a default record when absent.
    MediaSource mediaRecord(int id) const { return m_media.value(id); }
    void setMediaRecord(const MediaSource& record, int id);
    QList<MediaSource>& mediaLibrary() { return m_mediaLibrary; }
    QList<int> mediaIdsOnLayer(int layer) const;

    // ---- Id allocation: the largest id + 1 (a freed largest id comes back),
    // at INT_MAX the smallest free id.
    int nextDeviceId() const;
    int nextMediaId() const;
    int nextOutControlId() const;
    int nextLayerIOId() const;
    int nextPlayControlId() const;

    // ---- Show-control records; the lists own them.
    QList<OutControlRecord*> outControls() const;
    QList<LayerIORecord*> layerIOs() const;
    QList<PlayControlRecord*> playControls() const;
    OutControlRecord* addOutControl(const OutControlRecord& record);
    LayerIORecord* addLayerIO(const LayerIORecord& record);
    PlayControlRecord* addPlayControl(const PlayControlRecord& record);
    OutControlRecord* findOutControl(int id) const;
    LayerIORecord* findLayerIO(int id) const;
    PlayControlRecord* findPlayControl(int id) const;
    bool isOutControlNameFree(int id, const QString& name) const;
    bool isLayerIONameFree(int id, const QString& name) const;
    bool isPlayControlNameFree(int id, const QString& name) const;
    bool isPlayControlCommandFree(int id, const QString& command) const;
    // Takes the block off its layer row; with `flag` the record leaves its
    // list too, later on the GUI thread (at once without an event loop).
    void removeLayerIO(int id, bool flag);
    void removePlayControl(int id, bool flag);
    // The record removal itself; an id not in the list changes nothing.
    bool eraseLayerIO(int id);
    bool erasePlayControl(int id);
    bool eraseOutControl(int id);
    QList<QVariantMap>& inputControls() { return m_inputControls; }

    // ---- Open show-control ports, by output-control id
    QMap<int, void*>& ioPorts() { return m_ioPorts; }
    // Closes every stored port; the map keeps its entries.
    void closeIoPorts();

    // ---- Effects
    static QList<double> effectDefaults(int kind);
    // time -1: the current play position.
    QList<double> effectPosAt(int mediaId, int timeMs = -1) const;
    QList<double> effectScaleAt(int mediaId, int timeMs = -1) const;
    QList<double> effectRotationAt(int mediaId, int timeMs = -1) const;
    QList<double> effectOpacityAt(int mediaId, int timeMs = -1) const;
    QList<double> effectAt(int kind, int mediaId, int timeMs = -1) const;
    bool hasEffects(int mediaId) const;
    // Drawn position of a media item under its scale effect, and back.
    std::pair<double, double> mediaStagePos(int mediaId) const;
    std::pair<double, double> effectAdjustedPos(int mediaId, double x, double y) const;
    // Special-action text of an action map.
    static QByteArray specialActionText(const QMap<int, QVector<ACTION_LEVEL_INFO>>& actions);

    // ---- Time axis
    int currentTime() const { return m_timeAxisHooks->playPosition(); }
    void setCurrentTime(int ms) {
        notePlayPosition(ms);
        m_timeAxisHooks->setPlayPosition(ms);
    }
    int timelineLength() const { return m_timelineLength; }
    void setTimelineLengthValue(int ms) { m_timelineLength = ms; }
    int clearedTimelineLength() const { return m_clearedTimelineLength; }
    void setClearedTimelineLength(int ms) { m_clearedTimelineLength = ms; }
    int timelineStart() const { return m_timelineStart; }
    void setTimelineStartValue(int ms) { m_timelineStart = ms; }
    int minimumSpan() const { return m_minimumSpan; }
    void setMinimumSpan(int ms) { m_minimumSpan = ms; }
    int timeAxisLength() const { return m_timeAxisLength; }
    void setTimeAxisLengthValue(int ms) { m_timeAxisLength = ms; }
    // The display length that clearing the project applies again.
    int clearedTimeAxisLength() const { return m_clearedTimeAxisLength; }
    void setClearedTimeAxisLength(int ms) { m_clearedTimeAxisLength = ms; }
    int defaultPicDurationMs() const { return m_defaultPicDuration; }

    // ---- Flags
    bool isSaved() const { return m_saved; }
    void setSaved(bool saved);
    // Read on the network library's thread too.
    bool isConnected() const { return m_connected.load(); }
    void setConnected(bool on) { m_connected.store(on); }
    bool isRealtimeUpdate() const { return m_realtimeUpdate; }
    void setRealtimeUpdate(bool on) { m_realtimeUpdate = on; }
    // While real-time update is on, asks for a media update: 2 (with upload)
    // when a media item was newly placed, else 3.
    void requestRealtimeUpdate(bool newlyPlaced);
    int editMode() const { return m_editMode; }
    void setEditModeValue(int mode) { m_editMode = mode; }
    bool magnet() const { return m_magnet; }
    void setMagnet(bool on) { m_magnet = on; }
    bool handTool() const { return m_handTool; }
    void setHandToolValue(bool on) { m_handTool = on; }
    bool previewPlaying() const { return m_previewPlaying; }
    void setPreviewPlaying(bool on) { m_previewPlaying = on; }
    double stageZoom() const { return m_stageZoom; }
    void setStageZoomValue(double zoom) { m_stageZoom = zoom; }
    QString projectPath() const { return m_projectPath; }
    void setProjectPath(const QString& path) { m_projectPath = path; }

    // ---- Servers (also called from worker and library threads)
    // op 0 find, 1 create, 2 drop. Null when absent or dropped.
    CKestraneStageServer* clientSession(const QString& ip, int op);
    // op 0 read, 1 append `socket`, 2 clear; returns a copy of the list.
    QList<int> droppedServers(int op, int socket = 0);
    // The same list by server IP (op 3 takes it: returns it and clears it):
    // a socket number names its server only while the library still holds
    // it, so it is resolved at once.
    QStringList droppedServerIps(int op, const QString& ip = QString());
    // The IP of the session whose socket this is; empty when none.
    QString sessionIpOfSocket(int socket) const;
    // 0 free, 1 output index taken, -1 the server has 8 outputs, -2 another
    // resolution than the server's other outputs.
    int checkServerOutput(const QString& ip, int outputIndex, int width, int height) const;
    std::map<QString, std::unique_ptr<WORLD_BASE_INFO>>& worlds() { return m_worlds; }
    WORLD_BASE_INFO& worldBlock() { return *m_worldBlock; }

    // ---- Settings (kestrane/settings.h reads and writes the files)
    // setting.ini in the program's configuration folder (made when missing),
    // or with `help` help.ini beside the program (else in its data folders).
    static QString settingsFilePath(bool help = false);
    // Reads "defaultPicDuration" (s, default 10), keeps and returns it in ms.
    int defaultPicDuration();
    // Sends the general configuration of setting.ini once to every server of
    // the devices that has a session; false when not connected or when any
    // server failed (all are tried).
    bool applyGeneralSettings();
    // Recent-project list ("projects/projectData") of an open setting.ini:
    // drops the entries of `path`, then unless `removeOnly` puts (name, path)
    // first and keeps the newest six. Nothing happens for an empty path.
    static void updateRecentProjects(QSettings& settings, const QString& name, const QString& path, bool removeOnly);

    // ---- Project
    void clearProject();
    // Folders of the device tree, in creation order.
    QList<DeviceFolderRecord> deviceFolders;
    // Writes the whole project to the file (replaced only once written
    // whole). On success: project path, saved flag, title and recent list.
    bool saveProjectFile(const QString& path);
    // The project file's bytes as saveProjectFile writes them.
    QByteArray projectFileBytes() const;
    // Vets a project file: true when it is whole and every media file of
    // the library is readable; false with the missing paths listed; false
    // with an empty list when the bytes are no project file.
    bool checkProjectFile(const QByteArray& bytes, QStringList& missing) const;
    // Parses the whole file first and applies it only when it is a project
    // file (false changes nothing). The caller has cleared the project.
    bool loadProjectData(const QByteArray& bytes, const QString& path = QString());
    // Why the last checked or loaded file was refused, in the operator's
    // words, when it asked for more than the console takes or held
    // positions that are no numbers of the stage; empty otherwise.
    QString projectFileRefusal() const { return m_projectFileRefusal; }
    // Devices that find no output channel on their server (eight at most,
    // given out in device-id order): the world configuration leaves them out.
    QList<int> devicesWithoutChannel() const;
    // The console was started by the autostart entry: loading stops before
    // the video items and the automatic connect.
    void setAutostartRun(bool on) { m_autostartRun = on; }
    // The play position, kept for the worker threads, which must not ask the
    // time axis. The time axis notes every change; GUI-thread setters too.
    void notePlayPosition(int ms) { m_playPositionCopy.store(ms, std::memory_order_relaxed); }
    int playPositionCopy() const { return m_playPositionCopy.load(std::memory_order_relaxed); }

    // ---- Title and timeline
    QString titleText() const { return m_titleText; }
    void setTitleText(const QString& text);
    // Stores the length, refreshes the time-axis rows (flag passed on),
    // marks the project modified.
    void setTimelineLength(int ms, int flag = 0);
    void setTimelineStart(int ms);
    // Fits the timeline length to the latest media end: grow only, or
    // shrink only (not below start + minimum span; a display length beyond
    // 1.2 x the new length comes down to it).
    void fitTimelineLength(bool grow);
    // The display length from the latest media end (grow: let the axis
    // extend rather than set it).
    void fitTimeAxisToMedia(bool grow = false);
    // The display length, at least the timeline length; -1: the latest media
    // end. The flag goes to the time axis.
    void setTimeAxisLength(int ms, bool flag = false);
    // The largest start + duration of the media items; 0 without media.
    int latestMediaEnd() const;

    // ---- Stage coordination
    // Stores the zoom and keeps the stage point under the anchor (viewport
    // coordinates) in place.
    void setStageZoom(double zoom, int anchorX, int anchorY);
    void setHandTool(bool on);
    // mode 1 media editing, 0 device editing; nothing when already set. The
    // flag goes to the main window's select buttons.
    void setMediaEditMode(int mode, bool flag = false);
    // Advances the scene now and repaints it later.
    void refreshStage();
    // Stage items follow their records' selected flags.
    void syncStageSelection();
    // Media on locked layers are deselected; every block shows its record.
    void syncTimelineSelection();
    // Only for an effect row: selects it, checks its layer (the nearest row
    // above that is not an effect row), clears the other rows.
    void selectEffectRow(int row);
    // Position of a device or (scale-corrected) media item in the stage's
    // information bar; an absent id clears it.
    void showStageInfo(int id, bool device);
    void clearStageInfo();
    // Where a w x h stage rectangle sits centred in the visible stage.
    QPoint centeredStagePos(int w, int h) const;
    // Sets a device's stage position; a grouped device moves every device
    // of its group (same group stamp) by the same offset.
    void moveDevice(int id, double x, double y);
    // Only while the device tree exists: pauses playback, takes the device
    // off the stage and the tree, dissolves a group left with one device,
    // erases the record.
    void removeDevice(int id);
    void addStageDevice(int deviceId);
    void findStageItem(int deviceId) { addStageDevice(deviceId); }
    void selectStageDevice(int deviceId);
    void alignStageItems(int mode);
    void clearStageSelection();
    int moveConstraint() const { return m_moveConstraint; }  // 0 none, 1 horizontal, 2 vertical
    void setMoveConstraint(int constraint) { m_moveConstraint = constraint; }

    // ---- Side panels, later on the GUI thread (at once without one)
    void refreshDeviceListLater();
    // The media keys of the stage's selected media items, once each, to the
    // media table's selection.
    void syncSelectionLater();
    void showDeviceLater(int deviceId, bool switchTab);
    void showMediaLater(int mediaId, bool switchTab);
    void enableDeviceAttribute(bool enabled);
    void selectDeviceInTree(int deviceId);

    // ---- Main window
    void showWaiting(bool show);
    bool isWaitingHidden() const;
    void showDialogAt(bool show);
    void showMediaSyncDialog(int current, int total, const QString& name);

    // ---- Time axis forwards
    void startPlayback();
    void pausePlayback();
    void scrollToPlayHead();
    void timeLineX() { scrollToPlayHead(); }
    bool autoScrollTimeAxis(int x);
    int currentLayer() const;
    QList<int> checkedLayers() const;
    bool isCurrentLayerLocked() const;
    bool isLayerLocked(int row) const;
    bool isLayerEyeHidden(int row) const;
    void scrollToLayer(int row);
    int rowOfLayerPanel(const LayerPanel* panel) const;
    void hideLayerDropMarks();
    void removeMediaFromLayer(int mediaId, int row);
    // Hands every media of the layer its effect keys, by kind, to the effect
    // rows under it: position row + 1, scale + 2, rotation + 3, opacity + 4.
    void refreshLayerEffectRows(int row);
    void selectTimelineMedia(int mediaId);
    void addAnchorAtCurrentTime(int kind, int row, const QList<double>& values);
    // One output thread for that timeline output command; the playback
    // tick calls it as the play head passes the command. The starter, when
    // set, takes the place of the time axis's own (tests record with it).
    // Copies the command's text and its output control's port settings
    // here, on the GUI thread, and hands the copy to a new output thread;
    // false (logged) when the command or its control is gone.
    bool startOutputData(int layerIoId);
    // Tests take the firings instead of a thread being started.
    using OutputStarter = std::function<bool(int layerIoId)>;
    void setOutputStarter(OutputStarter starter) { m_outputStarter = std::move(starter); }
    // At shutdown: waits up to `ms` for the output threads still sending;
    // the number still running afterwards.
    static int waitForOutputThreads(int ms = 3000);

    // ---- Calibration dialogs
    void openMatrixLayout(const QList<int>& deviceIds, QWidget* parent);
    void openGeometryCorrection(int deviceId, QWidget* parent);
    void openColorCorrection(int deviceId, QWidget* parent);
    // Only while a geometry-correction dialog is registered.
    void handleGeometryKey(int key);

    // ---- World configurations of the display servers
    // Merges the channel of one device into its server's world: a channel of
    // the same output index is replaced, else the channel is appended (a
    // ninth channel of a server is refused and logged). The first device of
    // a server sets the world's size and offsets. To rebuild every world,
    // empty worlds() and call this per device id in ascending order.
    void updateWorldConfigs(int deviceId);

    // ---- Commands to the display servers (GUI thread). Each waits for the
    // servers' replies, at most the client session's receive budget per
    // reply; results are logged and otherwise ignored.
    // The distinct server IPs of the devices, in ascending device-id order.
    QStringList serverIps() const;
    // Connected only: time, rate with a null handle, play. Every server gets
    // its time and rate first and then, one after the other, its play;
    // atPlay (when given) runs just before the first play, connected or not,
    // so that the console's own clock can start with the servers'.
    void playServers(double rate, const std::function<void()>& atPlay = {});
    // Connected only: time, pause.
    void pauseServers();
    // Connected only: the rate with a null handle; a playing server keeps
    // its time and runs on at the new rate.
    void setServersRate(double rate);
    // Connected only: time, stop.
    void stopServers();
    // Connected only: the play position, now and again 60 ms later (each
    // read when it is sent), from the event loop; at once without one.
    void sendTimeToServers();
    // Tells one server that came back while the show runs what the others
    // were last told: the play position, then rate and play, or pause.
    // Returns what it told: 0 stopped (time only), 1 playing, 2 paused.
    int resumeServer(const QString& ip);
    // Takes the media off the views, the servers holding it (when connected)
    // and the local preview, then erases its record.
    void removeMedia(int mediaId);
    // Mutes the media in the local preview and on every server with a
    // session that holds it; mediaId 0: every media, and the console-wide
    // mute flag. A media without a local-preview handle is left alone.
    void muteMedia(bool mute, int mediaId);
    bool isMuted() const { return m_muted; }
    // Connected only: hides or shows the media on every server holding it.
    void hideMedia(bool hide, int mediaId);
    // Connected only: sends the picture file to the device's server.
    void setBackgroundImage(int deviceId, const QString& path);
    // Connected only: kind 1 colour ratios, 2 edge elimination, 3 colour
    // curves of the device's channel; other kinds send nothing.
    void sendColorCorrection(int deviceId, int kind);
    // A world rebuilds the server's channels without their curves and edge
    // values: after each world sent, these go again. The static form is for
    // worker threads, which hold their own copy of the record.
    static void sendCurvesAndEdges(CKestraneStageServer& session, const DeviceRecord& device);
    // Connected only: curves and edge values of every device of the server.
    void resendCurvesAndEdges(const QString& serverIp);
    // Connected only: the device's warp grid.
    void sendVertexData(int deviceId);
    void sendCommonDataToAll(int code, int value);
    // Connected only: the code with the device's channel.
    void sendCommonData(int deviceId, int code);
    // Reading a channel's grid or blend values back: the server finds these
    // channels by their place in the world it was sent, not by output
    // number. The place of an output number in a server's world, or -1.
    int worldChannelIndex(const QString& ip, int outputNumber) const;
    // Connected only: the device's grid (into grid) and blend values (into
    // a, b, c) as its server holds them. The encoder's result; -1 when not
    // connected, 1 when the device or its channel is unknown.
    int readVertexData(int deviceId, DOUBLE_POINT grid[41][41]);
    int readEdgeEliminateParam(int deviceId, float a[3], float b[3], float c[3]);

    // ---- Widgets that register themselves (not owned)
    Scene* scene = nullptr;
    StageView* stageView = nullptr;
    TimeAxisWidget* timeAxis = nullptr;
    StageWidget* stageWidget = nullptr;
    MainWidget* mainWidget = nullptr;
    RightSidebar* rightSidebar = nullptr;
    DeviceTree* deviceTree = nullptr;
    DeviceList* deviceList = nullptr;
    DeviceAttribute* deviceAttribute = nullptr;
    QWidget* controlTable = nullptr;
    LayerTable* layerTable = nullptr;
    MediaList* mediaList = nullptr;
    MediaTable* mediaTable = nullptr;             // the media library's table
    TimeLine* timeLine = nullptr;
    RulerWidget* ruler = nullptr;
    QWidget* controlSidebar = nullptr;
    // The output-control list; the project loader and clearProject call its
    // slots addItemUsingData(int) and clearItems().
    QObject* outControlList = nullptr;
    QPushButton* playButton = nullptr;            // the time axis's play/pause button
    GeometryCorrection* geometryDialog = nullptr;  // the open geometry-correction dialog

private:
    GConfig();
    ~GConfig();

    // Runs f later on the GUI thread through the private queue object, or
    // at once without an event loop.
    void runLater(std::function<void()> f, int delayMs = 0);
    // The preview's remove and mute, logged like the other wrappers.
    void removePreviewMedia(void* handle);
    // The output-control list's rows: through the registered list, else
    // through the time-axis hooks.
    void addOutControlRow(int id);
    void clearOutControlRows();
    void mutePreviewMedia(bool mute, void* handle);

    ConsoleHooks m_noHooks;
    StageHooks* m_stageHooks = &m_noHooks;
    MainWindowHooks* m_mainWindowHooks = &m_noHooks;
    TimeAxisHooks* m_timeAxisHooks = &m_noHooks;
    SidePanelHooks* m_sidePanelHooks = &m_noHooks;
    CalibrationHooks* m_calibrationHooks = &m_noHooks;
    PreviewLink* m_preview = nullptr;
    // Context of the queued calls; made on first use on the GUI thread.
    std::unique_ptr<QObject> m_queue;
    QString m_titleText;
    int m_moveConstraint = 0;

    QList<QStringList> m_topMenus;
    QMap<QString, QList<QStringList>> m_menus;
    QStringList m_disabledActions;
    QStringList m_addMediaTexts;
    QStringList m_resolutionPresets;
    QMap<int, MediaSource> m_media;
    QMap<int, DeviceRecord> m_devices;
    int m_defaultPicDuration = 30000;
    double m_stageZoom = 0.125;
    bool m_previewPlaying = false;
    int m_timelineLength = 0;
    int m_clearedTimelineLength = 0;
    int m_timelineStart = 0;
    int m_minimumSpan = 0;
    int m_timeAxisLength = 0;
    int m_clearedTimeAxisLength = 0;
    int m_editMode = 1;
    std::map<QString, std::unique_ptr<CKestraneStageServer>> m_sessions;
    std::map<QString, std::unique_ptr<WORLD_BASE_INFO>> m_worlds;
    QString m_projectPath;
    mutable QString m_projectFileRefusal;
    bool m_saved = true;
    QList<MediaSource> m_mediaLibrary;
    std::atomic<bool> m_connected{false};
    // What the servers were last told: 0 stop, 1 play at m_serverRate, 2 pause.
    int m_serverPlayState = 0;
    double m_serverRate = 1.0;
    bool m_magnet = false;
    bool m_handTool = false;
    QList<QVariantMap> m_inputControls;
    std::vector<std::unique_ptr<LayerIORecord>> m_layerIOs;
    std::vector<std::unique_ptr<OutControlRecord>> m_outControls;
    std::vector<std::unique_ptr<PlayControlRecord>> m_playControls;
    QMap<int, void*> m_ioPorts;
    QList<int> m_droppedSockets;
    QStringList m_droppedIps;
    bool m_realtimeUpdate = false;
    std::unique_ptr<WORLD_BASE_INFO> m_worldBlock;
    // Dropped sessions stay allocated (disconnected) until the project is
    // cleared: another thread may still hold the pointer it fetched.
    std::vector<std::unique_ptr<CKestraneStageServer>> m_retiredSessions;
    std::atomic<bool> m_muted{false};
    QMap<QString, QStringList> m_toolIcons;
    bool m_autostartRun = false;
    std::atomic<int> m_playPositionCopy{0};
    OutputStarter m_outputStarter;
};
