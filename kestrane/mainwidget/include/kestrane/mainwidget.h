// The console's one top-level window.
#pragma once

#include <QMap>
#include <QMutex>
#include <QString>
#include <QStringList>

#include <memory>

#include "kestrane/calibrationhooks.h"
#include "kestrane/mainwindow.h"
#include "kestrane/startupoptions.h"

class AxisHooks;
class CalibrationDialogs;
class ClickLabel;
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
    // Placeholders of the connect round and playback, which later parts of
    // the window fill in. Until then nothing connects.
    void connectDevices();
    void startPlayback();

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

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void initLayout();
    void initMenuBar();
    void createMenu(QMenu* menu, const QString& menuId);
    // Placeholder: the tool box's buttons come with a later part.
    void initToolBox();
    void initConnections();
    // Before New or Open: refused while connected; otherwise playback
    // pauses and unsaved work may be saved first (false: a failed save).
    bool mayReplaceProject();
    // Reads, checks and loads a project file; `interactive` uses the
    // dialog's wording for the missing-media question.
    bool loadProjectFromFile(const QString& path, bool interactive);

    QString m_notConnectedStyle;
    QString m_connectedStyle;
    QWidget* m_updateButton = nullptr;
    int m_pendingConnectThreads = 0;
    QStringList m_failedServers;
    bool m_busy = false;
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

// Registered with the network library: notes a dropped session for the
// window's 100 ms timer. Runs on the library's thread.
void clientSessionCallback(int socket, void* user);
