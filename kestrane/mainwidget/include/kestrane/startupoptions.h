// What the console does once its main window stands: decided from the
// command line and the settings alone, so that it can be checked without
// windows.
#pragma once

#include <QString>
#include <QStringList>

class QByteArray;

namespace kestrane {

struct StartupSettings {
    int showList = 0;                 // "base/showList"
    bool clientAutoLoadFile = false;
    QString clientAutoLoadFilePath;
    bool clientAutoMinimize = false;
    bool clientAutoConnect = false;
    bool clientAutoConnectAndPlay = false;
    int autoSaveInterval = 1;         // min
};

struct StartupPlan {
    enum Action {
        Nothing,           // "start" without a project to load
        OpenArgument,      // the command line names a project
        OpenConfigured,    // "start" with the configured project
        ShowStartPanel,
    };
    Action action = Nothing;
    QString path;                  // the project to open
    bool autoStart = false;        // first argument "start"
    bool minimize = false;
    bool connectWhenLoaded = false;
    bool playWhenConnected = false;
};

// `args` as QCoreApplication::arguments(): the program first.
StartupPlan planStartup(const QStringList& args, const StartupSettings& settings);

// Seconds between auto-saves: 60 × minutes, at least 60.
int autoSaveIntervalSeconds(int minutes);

// Reads the whole file; false, leaving `out` unchanged, when it cannot be
// opened.
bool readFileBytes(const QString& path, QByteArray& out);

}  // namespace kestrane
