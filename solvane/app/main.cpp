// The display server program.
#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>

#include "xdisplays/XRandrDisplayBackend.h"
#include "core/MediaManager.h"
#include "core/NodeSync.h"
#include "core/OutputHost.h"
#include "core/QuorvelApp.h"
#include "gui/QuorvelDlg.h"
#include "media/MediaFactory.h"
#include "platform/xidle.h"
#include "render/IdentifyWindows.h"
#include "render/OutputWindow.h"
#include "util/Util.h"

namespace {

// The second-start message: a box that closes by itself where there is a
// display, a line on standard error where there is none.
void ShowInstanceMessage(const char* text, const char* caption, uint32_t timeoutMs) {
    const char* display = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if ((!display || !*display) && (!wayland || !*wayland)) {
        std::fprintf(stderr, "%s: %s\n", caption, text);
        return;
    }
    int argc = 1;
    char name[] = "solvane";
    char* argv[] = {name, nullptr};
    QApplication qapp(argc, argv);
    QMessageBox box(QMessageBox::Critical, QString::fromUtf8(caption), QString::fromUtf8(text));
    QTimer::singleShot(static_cast<int>(timeoutMs), &box, &QMessageBox::reject);
    box.exec();
}

// The real output: the GL window and its render loop on the main thread.
// The window itself is made inside the loop's entry; the Qt application is
// made here first, a widget one, because the main dialog, the tray and the
// settings dialogs live on the same thread.
class GlOutputHost final : public IOutputHost {
public:
    IOutputWindow& Window() override { return OutputWindowPort(); }
    // Pictures and the other sources the renderer draws.
    IMediaFactory* MediaFactory() override { return &m_media; }
    bool CreateOutputWindow() override { return true; }
    int RunRenderLoop() override {
        // GLEW needs GLX underneath Qt's xcb platform.
        setenv("QT_XCB_GL_INTEGRATION", "xcb_glx", 0);
        static int qtArgc = 1;
        static char name[] = "solvane";
        static char* qtArgv[] = {name, nullptr};
        QApplication qapp(qtArgc, qtArgv);
        // Closing the last dialog must not end anything: the output window
        // and its render loop decide when the program ends.
        QApplication::setQuitOnLastWindowClosed(false);

        // The displays are read from the X server the window runs on.
        XRandrDisplayBackend displays;
        if (displays.IsOpen()) SetDisplayBackend(&displays);
        IdentifyWindows identify;
        std::unique_ptr<CQuorvelDlg> mainDialog;
        OutputWindowHooks hooks;
        hooks.createMainDialog = [&mainDialog] { mainDialog = std::make_unique<CQuorvelDlg>(*GetMediaManager()); };
        hooks.destroyMainDialog = [&mainDialog] { mainDialog.reset(); };
        hooks.startNetworkThread = &StartNetworkListenThread;
        // The end of a looping stream on the main server waits for the slaves.
        hooks.waitAllSlaveNodes = [](uint32_t timeoutMs) {
            if (CNodeSync* sync = GetNodeSync()) sync->WaitAllSlaveNodes(timeoutMs);
        };
        const int code = RunOutputWindow(*GetMediaManager(), hooks);
        mainDialog.reset();
        SetDisplayBackend(nullptr);
        return code;
    }

private:
    RenderMediaFactory m_media;
};

// Idle time and keep-awake from the X display the server shows on, through a
// connection of their own (the threads that ask are not the window's).
class XUserIdle final : public IUserIdle {
public:
    uint32_t IdleTimeMs() override {
        uint32_t ms = 0;
        return Connected() && m_x.IdleTimeMs(ms) ? ms : 0;
    }
    void KeepAwake() override {
        if (Connected()) m_x.KeepAwake();
    }
    void SuppressScreenSaver() override {
        if (Connected()) m_x.SuspendScreenSaver(true);
    }

private:
    // Connects on first use, after logging has started; a display that
    // cannot be reached is reported once and not tried again.
    bool Connected() {
        std::call_once(m_once, [this] {
            if (!m_x.Open())
                LOGTEXT::LogError("idle time and keep-awake unavailable: %s", m_x.LastError().c_str());
            else if (!m_x.HasIdleTime())
                LOGTEXT::LogError("idle time unavailable: %s", m_x.LastError().c_str());
        });
        return m_x.IsOpen();
    }
    std::once_flag m_once;
    platform::XIdle m_x;
};

}  // namespace

int main(int argc, char** argv) {
    XUserIdle idle;   // outlives the application object and its threads
    CQuorvelApp app;
    app.SetInstanceMessage(&ShowInstanceMessage);
    // Started and stopped by the network thread and the shutdown; the core
    // is taken when it starts.
    CNodeSync nodeSync;
    SetNodeSyncInstance(&nodeSync);
    app.SetNodeSync(&nodeSync);
    app.SetUserIdle(&idle);
    GlOutputHost output;
    const int code = app.InitInstance(argc, argv, output);
    SetNodeSyncInstance(nullptr);
    app.SetNodeSync(nullptr);
    return code;
}
