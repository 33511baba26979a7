// The console's one configuration and project object.
#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <map>
#include <memory>
#include <utility>
#include <vector>

#include "kestrane/common.h"
#include "kestrane/consolehooks.h"

class CKestraneStageServer;
class Scene;
class StageView;
class StageWidget;
class TimeAxisWidget;
class TimeLine;
class MainWidget;
class RightSidebar;
class DeviceTree;
class DeviceAttribute;
class LayerTable;
class MediaList;
class QWidget;
class QSettings;

class GConfig {
public:
    // The one object, made on the first call (in main() before any thread
    // starts) and never destroyed.
    static GConfig& instance();

    GConfig(const GConfig&) = delete;
    GConfig& operator=(const GConfig&) = delete;

    // ---- Widgets reach the console's views through these hooks; without
    // them (tests, before the main window exists) every view call is a no-op.
    void setHooks(ConsoleHooks* hooks) { m_hooks = hooks ? hooks : &m_noHooks; }
    ConsoleHooks* hooks() const { return m_hooks; }

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

    // ---- Id allocation: the largest id + 1 (a freed largest id comes back).
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
    int currentTime() const { return m_hooks->playPosition(); }
    void setCurrentTime(int ms) { m_hooks->setPlayPosition(ms); }
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
    bool isConnected() const { return m_connected; }
    void setConnected(bool on) { m_connected = on; }
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
    // Connected only: time, rate with a null handle, play.
    void playServers(double rate);
    // Connected only: time, pause.
    void pauseServers();
    // Connected only: time, stop.
    void stopServers();
    // Connected only: the play position, now and again 60 ms later (each
    // read when it is sent), from the event loop; at once without one.
    void sendTimeToServers();
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
    // Connected only: the device's warp grid.
    void sendVertexData(int deviceId);
    void sendCommonDataToAll(int code, int value);
    // Connected only: the code with the device's channel.
    void sendCommonData(int deviceId, int code);

    // ---- Widgets that register themselves (not owned)
    Scene* scene = nullptr;
    StageView* stageView = nullptr;
    TimeAxisWidget* timeAxis = nullptr;
    StageWidget* stageWidget = nullptr;
    MainWidget* mainWidget = nullptr;
    RightSidebar* rightSidebar = nullptr;
    DeviceTree* deviceTree = nullptr;
    DeviceAttribute* deviceAttribute = nullptr;
    QWidget* controlTable = nullptr;
    LayerTable* layerTable = nullptr;
    MediaList* mediaList = nullptr;
    TimeLine* timeLine = nullptr;
    QWidget* controlSidebar = nullptr;

private:
    GConfig();
    ~GConfig();

    ConsoleHooks m_noHooks;
    ConsoleHooks* m_hooks = &m_noHooks;

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
    bool m_saved = true;
    QList<MediaSource> m_mediaLibrary;
    bool m_connected = false;
    bool m_magnet = false;
    bool m_handTool = false;
    QList<QVariantMap> m_inputControls;
    std::vector<std::unique_ptr<LayerIORecord>> m_layerIOs;
    std::vector<std::unique_ptr<OutControlRecord>> m_outControls;
    std::vector<std::unique_ptr<PlayControlRecord>> m_playControls;
    QMap<int, void*> m_ioPorts;
    QList<int> m_droppedSockets;
    bool m_realtimeUpdate = false;
    std::unique_ptr<WORLD_BASE_INFO> m_worldBlock;
    // Dropped sessions stay allocated (disconnected) until the project is
    // cleared: another thread may still hold the pointer it fetched.
    std::vector<std::unique_ptr<CKestraneStageServer>> m_retiredSessions;
    bool m_muted = false;
    QMap<QString, QStringList> m_toolIcons;
};
