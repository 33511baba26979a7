// The console's one top-level window.
#pragma once

#include <QMap>
#include <QMutex>
#include <QString>
#include <QStringList>

#include "kestrane/mainwindow.h"
#include "kestrane/startupoptions.h"

class QAction;
class QCloseEvent;
class QTimer;

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

    // Placeholders of the project commands, the start panel, the add-device
    // dialog, the connect round and playback, which later parts of the
    // window fill in. Until then nothing opens or connects.
    bool openProjectPath(const QString& path, bool* loaded);
    // Accepted or not; `path` stays empty for a new project.
    bool runStartPanel(QString* path);
    void addDevice(int id);
    void connectDevices();
    void startPlayback();
    // The quit procedure; false keeps the window open.
    bool quitProc();

    const QStringList& windowNameList() const { return m_windowNameList; }
    const QStringList& classNameList() const { return m_classNameList; }
    uint lastSaveTime() const { return m_lastSaveTime; }
    int autoSaveInterval() const { return m_autoSaveInterval; }
    int pendingConnectThreads() const { return m_pendingConnectThreads; }
    QTimer* mediaUpdateTimer() const { return m_mediaUpdateTimer; }
    QTimer* autoSaveTimer() const { return m_autoSaveTimer; }
    QMap<QString, QAction*>& actions() { return m_actions; }

    // Reads the start-up keys of setting.ini.
    static kestrane::StartupSettings readStartupSettings();

public slots:
    void checkMediaUpdate();
    void autoSaveMonitor();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // Placeholders: the layout with its panels, the menu bar and the tool
    // box are built by later parts of the window.
    void buildLayout();
    void buildMenuBar();
    void buildToolBox();

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

    // Empty slots for the panels and tool-box buttons that later parts of
    // the window create: stage, time axis, side panels, menu bar, tool box.
    QWidget* m_menuBar = nullptr;
    QWidget* m_toolBox = nullptr;
    QWidget* m_stageWidget = nullptr;
    QWidget* m_timeAxisWidget = nullptr;
    QWidget* m_rightSidebar = nullptr;
    QWidget* m_controlSidebar = nullptr;
};

// Registered with the network library: notes a dropped session for the
// window's 100 ms timer. Runs on the library's thread.
void clientSessionCallback(int socket, void* user);
