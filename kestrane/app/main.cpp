// The console program.
#include <QApplication>
#include <QScreen>
#include <QByteArray>
#include <QString>

#include "kestrane/gconfig.h"
#include "kestrane/loadingwidget.h"
#include "kestrane/logging.h"
#include "kestrane/mainwidget.h"
#include "kestrane/pictures.h"
#include "kestrane/startupoptions.h"
#include "kestrane/commandmonitor.h"
#include "kestrane/timeaxiswidget.h"

namespace {

// The splash: it animates for a moment and closes itself (Escape closes
// it sooner); start-up goes on either way.
void runLoadingDialog() {
    LoadingWidget splash;
    splash.exec();
}

}  // namespace

int main(int argc, char** argv) {
    GConfig& config = GConfig::instance();

    QApplication app(argc, argv);
    kestrane::installLogging();
    // The settings folders are named after the program, whatever the file
    // is called.
    QCoreApplication::setApplicationName(QStringLiteral("kestrane"));
    kestrane::initPictures();

    QByteArray sheet;
    if (kestrane::readFileBytes(QStringLiteral(":/qss.css"), sheet))
        app.setStyleSheet(QString::fromLocal8Bit(sheet));

    runLoadingDialog();

    // Show-control command strings arrive on the console's command port.
    TimeAxisWidget::setCommandMonitorPort(kestrane::monitor::kCommandPort);
    MainWidget window;
    app.installEventFilter(&window);
    config.mainWidget = &window;
    // Without a window manager (a bare X server) nothing maximises the
    // window: it starts over the whole screen either way.
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        window.setGeometry(screen->availableGeometry());
    window.showMaximized();

    const int code = app.exec();
    // String outputs still sending get a moment to finish.
    GConfig::waitForOutputThreads();
    return code;
}
