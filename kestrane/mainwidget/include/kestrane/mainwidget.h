// The console's one top-level window.
#pragma once

#include <QMap>
#include <QMutex>
#include <QString>
#include <QStringList>

#include <QPointer>
#include <QSet>
#include <QThread>

#include <functional>
#include <memory>

#include "kestrane/calibrationhooks.h"
#include "kestrane/mainwindow.h"
#include "kestrane/startupoptions.h"

class AxisHooks;
class CalibrationDialogs;
class ClickLabel;
class DProgressBar;
class QCheckBox;
class QKeyEvent;
class QLabel;
class QPushButton;
class MainWindowHooks;
class QAction;
class QCloseEvent;
class QMenu;
class QMenuBar;
class QResizeEvent;
class QSplitter;
class QTimer;
class RadiusBackgroundWidget;
class RightSidebar;
class StagePanelHooks;
class StageWidget;
class TimeAxisWidget;

class MainWidget : public MainWindow {
    Q_OBJECT
public:
    explicit MainWidget(QWidget* parent = nullptr);
    ~MainWidget() override;

    // Runs once, 100 ms after construction, with the application's
    // arguments (the program first).
    void applyStartupOptions();
    void applyStartupOptions(const QStringList& args);
    // Connects all servers and, with `andPlay`, starts playback once
    // connected.
    void autoConnectAndPlay(bool andPlay);

    // The project commands. Their questions, warnings and file dialogs go
    // through the prompt functions, so tests script the answers.
    void newProject();
    // An empty path asks for a file.
    void openProject(const QString& path = QString());
    // Opens a given file without questions; `loaded` tells whether it did.
    bool openProjectPath(const QString& path, bool* loaded);
    bool saveProject();
    void saveProjectAs();
    // Accepted or not; `path` stays empty for a new project.
    bool runStartPanel(QString* path);
    // Runs in place of the start panel while set (tests answer for it).
    using StartPanelRunner = std::function<bool(QWidget* parent, QString* path)>;
    static void setStartPanelRunner(StartPanelRunner runner);
    // Connect (or disconnect) every display server of the project: one
    // connection thread per server, results gathered by connectFinished.
    void connectDevices();
    void disconnectDevices();
    // Starts the show as the play button does.
    void startPlayback();

    // Media rounds: 1 a full synchronisation; 2 (with upload) and 3
    // (without) partial updates.
    void startMediaSync();
    void startMediaUpdate(bool withUpload);
    // Bytes of the project's media files, each library entry counted once.
    qint64 pendingUploadSize() const;
    // A server dropped while connected is taken off (its devices offline,
    // its media handles gone) and tried again every second without asking
    // anyone; once it answers it gets its world, a media round of its own
    // and the play state. The others play on.
    void handleDroppedServers(const QStringList& ips);
    QStringList reconnectingServers() const { return m_reconnectAt.keys(); }
    void showMediaSyncResult(const QString& ip, double ratio, bool failed);
    // op 1 reads the pending media request, 2 merges `value` into it, 3
    // clears it; the pending value after the operation.
    int mediaUpdateRequest(int op, int value = 0);
    static int mergeMediaRequest(int pending, int request);
    bool isBusy() const { return m_busy; }
    int pendingMediaThreads() const { return m_pendingMediaThreads; }

    // The busy overlay over the window, and the media-import progress
    // dialog on it.
    void showWaiting(bool show);
    bool isWaitingShown() const;
    void showProgress(bool show);
    void updateProgress(int current, int total, const QString& name);
    bool isProgressHidden() const;
    DProgressBar* progressDialog() const { return m_progress; }
    QWidget* waitingCover() const { return m_cover; }
    QWidget* waitingTopCover() const { return m_topCover; }
    QLabel* waitingAnimation() const { return m_animation; }

    // The tool box.
    void setSelectMode(bool mediaMode, bool lockOther);
    void resetToolBox();
    QPushButton* connectButton() const { return m_connectButton; }
    QPushButton* updateButton() const { return m_updateButton; }
    QCheckBox* realTimeCheckBox() const { return m_realTime; }
    QPushButton* selectMediaButton() const { return m_selectMedia; }
    QPushButton* selectDeviceButton() const { return m_selectDevice; }
    QPushButton* leftRightButton() const { return m_leftRight; }
    QPushButton* upDownButton() const { return m_upDown; }
    QPushButton* snapButton() const { return m_snap; }
    QPushButton* handButton() const { return m_hand; }
    const QList<QPushButton*>& alignButtons() const { return m_alignButtons; }
    QPushButton* addMediaButton() const { return m_addMediaButton; }
    QPushButton* addDeviceButton() const { return m_addDeviceButton; }
    QPushButton* addCommandButton() const { return m_addCommandButton; }
    QString notConnectedStyle() const { return m_notConnectedStyle; }
    QString connectedStyle() const { return m_connectedStyle; }

    // A play (1), pause (0) or jump (2) control on the current layer.
    void addPlayControl(int kind);
    // Runs the play control bound to F1..F12; false when none is.
    bool triggerFunctionKey(int key);

    // Auto-save: the clock in seconds since 1970 (tests inject one).
    using Clock = std::function<qint64()>;
    void setClock(Clock clock) { m_clock = std::move(clock); }
    void autoSave();
    void setLastSaveTime(uint seconds) { m_lastSaveTime = seconds; }
    // A free untitled file name in the folder; empty when it does not exist.
    static QString nextUntitledPath(const QString& folder);

    // Ends every worker thread: sessions dropped, threads waited for up to
    // the deadline, a late one let go of rather than destroyed running.
    void stopWorkers(int deadlineMs = 10000);

    // The panels and splitters the layout holds.
    StageWidget* stageWidget() const { return m_stageWidget; }
    TimeAxisWidget* timeAxisWidget() const { return m_timeAxisWidget; }
    RightSidebar* rightSidebar() const { return m_rightSidebar; }
    QSplitter* verticalSplitter() const { return m_vertical; }
    QSplitter* horizontalSplitter() const { return m_horizontal; }
    QMenuBar* menuBar() const { return m_menuBar; }
    QList<int> verticalSplitterSizes() const;
    QList<int> horizontalSplitterSizes() const;
    void setVerticalSplitterSizes(const QList<int>& sizes);
    void setHorizontalSplitterSizes(const QList<int>& sizes);

    const QStringList& windowNameList() const { return m_windowNameList; }
    const QStringList& classNameList() const { return m_classNameList; }
    uint lastSaveTime() const { return m_lastSaveTime; }
    int autoSaveInterval() const { return m_autoSaveInterval; }
    void setAutoSaveInterval(int seconds) { m_autoSaveInterval = seconds; }
    int pendingConnectThreads() const { return m_pendingConnectThreads; }
    // A connect, disconnect or media round is under way: its threads use the
    // server sessions that replacing the project frees.
    bool serverRoundRunning();
    QTimer* mediaUpdateTimer() const { return m_mediaUpdateTimer; }
    QTimer* autoSaveTimer() const { return m_autoSaveTimer; }
    QMap<QString, QAction*>& actions() { return m_actions; }

    // Reads the start-up keys of setting.ini.
    static kestrane::StartupSettings readStartupSettings();

public slots:
    // Index 0, 1, 2: the speed entry 1x, 1.5x, 2x of the menu is checked.
    void setMenuSpeed(int index);
    // Runs the command of the sending action, found by its "action" id.
    void actionSlots(bool checked);
    // The quit procedure; false keeps the window open.
    bool quitProc();
    void resizeMaxOrNormalWindow();
    void menuClicked();
    void checkMediaUpdate();
    // index -1 gives the dialog no preset; 0..10 picks one.
    void addDevice(int index);
    void addDevice();
    void hoverMenu();
    void autoSaveMonitor();
    void connectFinished(QList<int> ids, QString ip, int status, bool isConnected);
    void reconnectFinished(QList<int> ids, QString ip, int status, bool isConnected);
    void receiveMediaSyncStatus(QString ip, QList<int> deviceIds, QList<int> mediaIds, int status, qlonglong uploadSize,
                                int updateType);

public:
    bool eventFilter(QObject* watched, QEvent* event) override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;

private:
    void initLayout();
    void initMenuBar();
    void createMenu(QMenu* menu, const QString& menuId);
    void initToolBox();
    void initConnections();
    // Before New or Open: refused while connected; otherwise playback
    // pauses and unsaved work may be saved first (false: a failed save).
    bool mayReplaceProject();
    // Tells the operator and answers true while a round runs.
    bool refuseWhileRoundRuns();
    // Names, after a load, the devices beyond their server's eight outputs.
    void warnDevicesWithoutChannel();
    // Reads, checks and loads a project file; `interactive` uses the
    // dialog's wording for the missing-media question.
    bool loadProjectFromFile(const QString& path, bool interactive);
    void startRound(bool connect);
    // One thread per server: every server, or those named.
    void startMediaThreads(int mode, const QStringList& only = QStringList());
    void reconnectDroppedServers();
    void resumeServer(const QString& ip);
    void settleSyncMarks();
    void setConnectLook(bool connected);
    void onConnectToggled(bool on);
    void onRealTimeClicked(bool on);
    void onHandClicked(bool on);
    void onSelectClicked(bool media);
    void runAddMedia();
    void runAddCommand();
    void placeOverlay();
    void pressPlayButton();
    void releasePlayButtonAndToggle();
    // Whether the object, its dialog or its window keeps Space for itself by
    // the two name lists.
    bool isExcluded(QObject* watched) const;
    // Whether a key that reached `watched` plays, pauses or fires the show:
    // it went to this window, no modal window or menu is open, and (Space
    // only) the focus is in no control that types or toggles.
    bool keyDrivesShow(QObject* watched, bool functionKey) const;
    qint64 now() const;
    void trackThread(QThread* thread);
    void runAction(const QString& id, QAction* action);
    static StartPanelRunner& startPanelRunner();

    QString m_notConnectedStyle;
    QString m_connectedStyle;
    QPushButton* m_updateButton = nullptr;
    int m_pendingConnectThreads = 0;
    QStringList m_failedServers;
    int m_pendingMediaThreads = 0;
    qint64 m_totalUploadSize = 0;
    QStringList m_failedMediaServers;
    bool m_busy = false;
    // Results that arrived while a modal box of the one before was open;
    // they run once it is done.
    bool m_inConnectFinished = false;
    bool m_inSyncStatus = false;
    QList<std::function<void()>> m_deferredResults;
    // Dropped servers and when (steady ms) each is tried next; those with an
    // attempt under way; those back and waiting for their media round;
    // those in it, told the play state when it ends.
    QMap<QString, qint64> m_reconnectAt;
    QSet<QString> m_reconnectRunning;
    QStringList m_resyncServers;
    QStringList m_resumeServers;
    QList<QPointer<QThread>> m_threads;
    Clock m_clock;
    QStringList m_windowNameList;
    QStringList m_classNameList;
    int m_pendingMediaRequest = 0;
    QMutex m_pendingMediaRequestMutex;
    QMap<QString, QAction*> m_actions;
    uint m_lastSaveTime = uint(-1);
    int m_autoSaveInterval = 0;
    bool m_generalConfigSent = false;

    QTimer* m_mediaUpdateTimer = nullptr;
    QTimer* m_autoSaveTimer = nullptr;
    bool m_saving = false;
    bool m_firstRestore = true;

    QPushButton* m_connectButton = nullptr;
    QCheckBox* m_realTime = nullptr;
    QPushButton* m_selectMedia = nullptr;
    QPushButton* m_selectDevice = nullptr;
    QPushButton* m_leftRight = nullptr;
    QPushButton* m_upDown = nullptr;
    QList<QPushButton*> m_alignButtons;
    QPushButton* m_snap = nullptr;
    QPushButton* m_hand = nullptr;
    QPushButton* m_addMediaButton = nullptr;
    QPushButton* m_addDeviceButton = nullptr;
    QPushButton* m_addCommandButton = nullptr;
    QWidget* m_cover = nullptr;
    QWidget* m_topCover = nullptr;
    QLabel* m_animation = nullptr;
    DProgressBar* m_progress = nullptr;

    RadiusBackgroundWidget* m_topBar = nullptr;
    QWidget* m_toolBox = nullptr;
    QSplitter* m_vertical = nullptr;
    QSplitter* m_horizontal = nullptr;
    QMenuBar* m_menuBar = nullptr;
    ClickLabel* m_maximize = nullptr;
    StageWidget* m_stageWidget = nullptr;
    TimeAxisWidget* m_timeAxisWidget = nullptr;
    RightSidebar* m_rightSidebar = nullptr;
    // What the configuration object asks of the stage, the time axis and
    // this window; installed while the window lives.
    std::unique_ptr<StagePanelHooks> m_stageHooks;
    std::unique_ptr<AxisHooks> m_axisHooks;
    std::unique_ptr<MainWindowHooks> m_windowHooks;
    std::unique_ptr<CalibrationDialogs> m_calibrationHooks;
};

// Registered with the network library: notes the server of a dropped
// session for the window's 100 ms timer. Runs on the library's thread, while
// the library still holds the descriptor, so it names the right server.
void clientSessionCallback(int socket, void* user);
