#include "kestrane/startupoptions.h"

#include <QByteArray>
#include <QFile>

#include <algorithm>
#include <climits>

namespace kestrane {

StartupPlan planStartup(const QStringList& args, const StartupSettings& settings) {
    StartupPlan plan;
    const bool hasArgument = args.size() >= 2;
    plan.autoStart = hasArgument && args.at(1) == QStringLiteral("start");
    plan.minimize = plan.autoStart && settings.clientAutoMinimize;

    if (hasArgument && !plan.autoStart) {
        plan.action = StartupPlan::OpenArgument;
        plan.path = args.at(1);
        return plan;
    }
    if (plan.autoStart && settings.clientAutoLoadFile && !settings.clientAutoLoadFilePath.isEmpty()) {
        plan.action = StartupPlan::OpenConfigured;
        plan.path = settings.clientAutoLoadFilePath;
        plan.connectWhenLoaded = settings.clientAutoConnect;
        plan.playWhenConnected = settings.clientAutoConnect && settings.clientAutoConnectAndPlay;
        return plan;
    }
    // The autostart entry never shows the start panel.
    if (settings.showList == 0 && !plan.autoStart)
        plan.action = StartupPlan::ShowStartPanel;
    return plan;
}

int autoSaveIntervalSeconds(int minutes) {
    // In 64 bits: a huge setting must not wrap to a negative interval.
    const long long seconds = 60LL * minutes;
    return static_cast<int>(std::clamp(seconds, 60LL, static_cast<long long>(INT_MAX)));
}

bool readFileBytes(const QString& path, QByteArray& out) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    out = file.readAll();
    file.close();
    return true;
}

}  // namespace kestrane
