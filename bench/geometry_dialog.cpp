// How soon the geometry-correction dialog appears after the operator asks
// for it, with the console connected to two display servers (each in its own
// network namespace with its own X server): from the request to the dialog's
// window being drawn, and to the end of the servers' part of opening (the
// default picture and every correction screen on). Prints the median,
// minimum and maximum of the turns in milliseconds, and the load average at
// the start. Prints figures only.
//
//   bench_geometry_dialog [turns]      5 turns by default
//
// Runs itself under tools/netns-run and tools/xvfb-test: its own network
// namespace and a private X server started inside it.
#include <QApplication>
#include <QPushButton>
#include <QElapsedTimer>
#include <QTimer>
#include <QWindow>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "kestrane/gconfig.h"
#include "kestrane/geometrycorrection.h"
#include "kestrane/mainwidget.h"
#include "kestrane/pictures.h"
#include "kestrane/prompt.h"
#include "kestrane/sidepanelhooks.h"
#include "kestrane/stagehooks.h"
#include "own_namespace.h"
#include "support/QtSpin.h"
#include "support/RemoteServer.h"
#include "support/support.h"

namespace {

// Boxes are answered at once (and shown on the error stream): a real box
// would wait for a person.
class AnsweringPrompts : public kestrane::PromptProvider {
public:
    kestrane::PromptAnswer ask(const kestrane::PromptRequest& request) override {
        std::fprintf(stderr, "box: %s\n", qPrintable(request.text));
        kestrane::PromptAnswer a;
        a.button = request.kind == kestrane::PromptRequest::Question ? QMessageBox::No : QMessageBox::Ok;
        return a;
    }
};

void print(const char* what, std::vector<double> ms) {
    if (ms.empty()) {
        std::printf("%-40s no turn finished\n", what);
        return;
    }
    std::sort(ms.begin(), ms.end());
    std::printf("%-40s median %8.1f ms   min %8.1f ms   max %8.1f ms   (%zu turns)\n", what, ms[ms.size() / 2],
                ms.front(), ms.back(), ms.size());
}

}  // namespace

int main(int argc, char** argv) {
    if (!std::getenv("SV_BENCH_NETNS")) {
        // The X server is started inside the namespace: its socket must be
        // reachable from there.
        const std::string run = bench::SourceDir() + "/tools/netns-run";
        const std::string xvfb = bench::SourceDir() + "/tools/xvfb-test";
        ::setenv("SV_BENCH_NETNS", "1", 1);
        std::vector<char*> args = {const_cast<char*>(run.c_str()), const_cast<char*>(xvfb.c_str())};
        for (int i = 0; i < argc; ++i) args.push_back(argv[i]);
        args.push_back(nullptr);
        ::execv(run.c_str(), args.data());
        std::perror("netns-run");
        return 1;
    }
    const int turns = argc > 1 ? std::max(3, std::atoi(argv[1])) : 5;
    {
        std::ifstream load("/proc/loadavg");
        std::string line;
        std::getline(load, line);
        std::printf("load average at start: %s\n", line.c_str());
    }
    testsupport::TempDir dir;
    ::setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
    ::setenv("HOME", dir.str().c_str(), 1);
    ::setenv("SV_SOURCE_DIR", bench::SourceDir().c_str(), 0);
    e2e::RemoteServer servers[2];
    for (int k = 0; k < 2; ++k)
        if (!servers[k].Start(k + 1, dir / ("wall" + std::to_string(k)))) {
            std::fprintf(stderr, "display server %d did not start: %s\n", k + 1, servers[k].ErrorText().c_str());
            return 1;
        }

    // The turns are no project path for the console's start-up options.
    int appArgc = 1;
    QApplication app(appArgc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kestrane"));
    kestrane::initPictures();
    AnsweringPrompts prompts;
    kestrane::setPromptProvider(&prompts);
    MainWidget::setStartPanelRunner([](QWidget*, QString*) { return false; });
    auto window = std::make_unique<MainWidget>();
    app.installEventFilter(window.get());
    GConfig& g = GConfig::instance();
    g.mainWidget = window.get();
    window->setGeometry(0, 0, 1600, 1000);
    window->show();
    for (int k = 0; k < 2; ++k) {
        DeviceRecord d;
        d.name = QStringLiteral("屏%1").arg(k + 1);
        d.serverIp = QString::fromStdString(servers[k].Address());
        d.width = 1920;
        d.height = 1080;
        d.outputIndex = 1;
        d.stageX = k * 1920;
        const int id = g.nextDeviceId();
        g.devices().insert(id, d);
        g.sidePanelHooks().insertDeviceItem(id, 0, false);
        g.stageHooks().addDeviceItem(id);
    }
    spinUntil([&] { return window->connectButton()->isEnabled(); }, 60000);
    window->connectButton()->click();
    if (!spinUntil([&] { return g.isConnected(); }, 120000)) {
        std::fprintf(stderr, "the console did not connect\n");
        return 1;
    }

    // The media round that follows a connect is left a moment to settle.
    spinUntil([&] { return !window->isBusy(); }, 10000);
    std::fprintf(stderr, "connected\n");
    std::vector<double> drawn, notified;
    for (int turn = 0; turn < turns; ++turn) {
        QElapsedTimer clock;
        double shownAt = -1, doneAt = -1;
        auto* poll = new QTimer;
        poll->setInterval(1);
        QObject::connect(poll, &QTimer::timeout, [&, poll] {
            auto* dialog = qobject_cast<GeometryCorrection*>(QApplication::activeModalWidget());
            if (!dialog) return;
            if (shownAt < 0 && dialog->windowHandle() && dialog->windowHandle()->isExposed())
                shownAt = clock.nsecsElapsed() / 1e6;
            if (doneAt < 0 && dialog->serversNotified()) doneAt = clock.nsecsElapsed() / 1e6;
            if (shownAt >= 0 && doneAt >= 0) {
                poll->stop();
                poll->deleteLater();
                dialog->reject();
            }
        });
        poll->start();
        clock.start();
        GeometryCorrection dialog(1, window.get());
        std::fprintf(stderr, "turn %d built at %.1f ms\n", turn, clock.nsecsElapsed() / 1e6);
        dialog.exec();
        std::fprintf(stderr, "turn %d closed\n", turn);
        if (shownAt >= 0) drawn.push_back(shownAt);
        if (doneAt >= 0) notified.push_back(doneAt);
    }
    print("request to dialog drawn", drawn);
    print("request to servers told (busy cursor)", notified);

    window->disconnectDevices();
    spinUntil([&] { return !g.isConnected() && window->connectButton()->isEnabled(); }, 60000);
    g.setSaved(true);
    app.removeEventFilter(window.get());
    g.mainWidget = nullptr;
    window.reset();
    kestrane::setPromptProvider(nullptr);
    return 0;
}
