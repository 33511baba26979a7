#include "render/OutputWindow.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QSurfaceFormat>
#include <QWindow>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "X11Desktop.h"
#include "core/MediaManager.h"
#include "core/ServerClock.h"
#include "hesper/Hesper.h"
#include "render/EscKeyRule.h"
#include "render/FontTexture.h"
#include "render/OutputRenderer.h"
#include "util/Util.h"

namespace {

// Every private message travels as one event type.
QEvent::Type OutputEventType() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

class OutputMessageEvent : public QEvent {
public:
    OutputMessageEvent(uint32_t msg, intptr_t w, intptr_t l)
        : QEvent(OutputEventType()), message(msg), wParam(w), lParam(l) {}
    uint32_t message;
    intptr_t wParam;
    intptr_t lParam;
};

// The seam the core holds for the whole process. The window attaches on
// creation and detaches when its loop ends; requests from threads that run
// on after that are dropped instead of reaching a destroyed window.
class OutputPort : public IOutputWindow {
public:
    void Attach(QObject* target, bool swapAvailable) {
        std::lock_guard lock(m_mu);
        m_target = target;
        m_swapAvailable = swapAvailable;
    }
    void Detach(QObject* target) {
        std::lock_guard lock(m_mu);
        if (m_target == target) m_target = nullptr;
    }
    void SetSwapAvailable(bool available) {
        std::lock_guard lock(m_mu);
        m_swapAvailable = available;
    }
    bool Post(uint32_t message, intptr_t wParam, intptr_t lParam) {
        std::lock_guard lock(m_mu);
        if (!m_target) return false;
        QCoreApplication::postEvent(m_target, new OutputMessageEvent(message, wParam, lParam));
        return true;
    }

    void RequestRebuild() override { Post(kMsgRebuildOutput, 0, 0); }
    void RequestTopmost() override { Post(kMsgApplyTopmost, 0, 0); }
    void RequestShowCursor(bool hide) override { Post(kMsgShowCursor, hide ? 1 : 0, 0); }
    void PostMediaEvent(IMedia* media) override { Post(kMsgMediaEvent, 0, reinterpret_cast<intptr_t>(media)); }
    void RequestQuit() override { Post(kMsgQuit, 0, 0); }
    void RequestMinimise() override { Post(kMsgMinimise, 0, 0); }
    void RequestRestore() override { Post(kMsgRestore, 0, 0); }
    void Invalidate() override { Post(kMsgPaint, 0, 0); }
    bool SetSwapInterval(int interval) override {
        std::lock_guard lock(m_mu);
        if (!m_target || !m_swapAvailable) return false;
        QCoreApplication::postEvent(m_target, new OutputMessageEvent(kMsgSwapInterval, interval, 0));
        return true;
    }

private:
    std::mutex m_mu;
    QObject* m_target = nullptr;
    bool m_swapAvailable = false;
};

OutputPort& Port() {
    // Lives as long as the process: threads may still hold the seam while
    // the program shuts down.
    static OutputPort* port = new OutputPort;
    return *port;
}

bool IsSoftwareRenderer(const char* renderer) {
    if (!renderer) return false;
    std::string text(renderer);
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    for (const char* name : {"llvmpipe", "softpipe", "swrast"})
        if (text.find(name) != std::string::npos) return true;
    return false;
}

}  // namespace

IOutputWindow& OutputWindowPort() { return Port(); }

bool PostOutputMessage(uint32_t message, intptr_t wParam, intptr_t lParam) {
    return Port().Post(message, wParam, lParam);
}

// The Qt window of the output.
class OutputQWindow : public QWindow {
public:
    explicit OutputQWindow(COutputWindow& owner) : m_owner(owner) { setSurfaceType(QWindow::OpenGLSurface); }

protected:
    bool event(QEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void exposeEvent(QExposeEvent*) override {
        if (isExposed()) m_owner.RenderFrame();
    }

private:
    COutputWindow& m_owner;
};

// Sees the hot keys that arrive on the root window.
class HotKeyFilter : public QAbstractNativeEventFilter {
public:
    explicit HotKeyFilter(x11desk::HotKeys& keys) : m_keys(keys) {}
    bool nativeEventFilter(const QByteArray& type, void* message, long*) override {
        if (type != "xcb_generic_event_t") return false;
        switch (m_keys.Match(message)) {
        case x11desk::HotKeys::kMinimise:
            PostOutputMessage(kMsgMinimise);
            return true;
        case x11desk::HotKeys::kRestore:
            PostOutputMessage(kMsgRestore);
            return true;
        default:
            return false;
        }
    }

private:
    x11desk::HotKeys& m_keys;
};

struct COutputWindow::Impl {
    Impl(CMediaManager& c, OutputWindowHooks h) : core(c), hooks(std::move(h)) {}

    CMediaManager& core;
    OutputWindowHooks hooks;
    std::unique_ptr<OutputQWindow> window;
    std::unique_ptr<QOpenGLContext> context;
    std::unique_ptr<COutputRenderer> ownRenderer;
    std::unique_ptr<CFontTextrue> glyphs;
    x11desk::HotKeys hotKeys;
    std::unique_ptr<HotKeyFilter> hotKeyFilter;
    CEscKeyRule esc;
    bool quit = false;
    int exitCode = kExitOk;
    bool screenSaverSuspended = false;

    // Frame counter of the FPS title.
    std::chrono::steady_clock::time_point fpsLast = std::chrono::steady_clock::now();
    int32_t fpsFrames = 0;

    void ResetFps() {
        fpsLast = std::chrono::steady_clock::now();
        fpsFrames = 0;
    }
    uint32_t WinId() const { return window ? static_cast<uint32_t>(window->winId()) : 0; }
    bool MakeCurrent() { return context && window && context->makeCurrent(window.get()); }
};

bool OutputQWindow::event(QEvent* e) {
    if (e->type() == OutputEventType()) {
        auto* m = static_cast<OutputMessageEvent*>(e);
        m_owner.OnOutputMessage(m->message, m->wParam, m->lParam);
        return true;
    }
    if (e->type() == QEvent::Close) {
        // The output stays up: only the quit request ends it.
        e->ignore();
        return true;
    }
    return QWindow::event(e);
}

void OutputQWindow::keyPressEvent(QKeyEvent* e) {
    CEscKeyRule::Key key = CEscKeyRule::Key::Other;
    if (e->key() == Qt::Key_Escape)
        key = CEscKeyRule::Key::Escape;
    else if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter)
        key = CEscKeyRule::Key::Enter;
    if (m_owner.d->esc.OnKeyDown(key) == CEscKeyRule::Action::Minimise) {
        showMinimized();
        EnableClipMouse(0);
    }
    e->accept();
}

COutputWindow::COutputWindow(CMediaManager& core, OutputWindowHooks hooks)
    : d(std::make_unique<Impl>(core, std::move(hooks))) {
    if (!core.m_pRenderer) {
        d->ownRenderer = std::make_unique<COutputRenderer>();
        core.m_pRenderer = d->ownRenderer.get();
    }
    if (!core.m_pRenderer->Core()) core.m_pRenderer->SetCore(&core);
    if (!d->hooks.shaderText.empty()) core.m_pRenderer->m_strShaderText = d->hooks.shaderText;
}

COutputWindow::~COutputWindow() {
    if (d->window) {
        Port().Detach(d->window.get());
        UnregisterHotKeys();
        if (d->context && d->MakeCurrent()) {
            d->glyphs.reset();
            ReleaseGlText();
            d->context->doneCurrent();
        }
    }
    d->context.reset();
    d->window.reset();
    if (d->screenSaverSuspended) x11desk::SuspendScreenSaver(false);
    if (d->ownRenderer && d->core.m_pRenderer == d->ownRenderer.get()) d->core.m_pRenderer = nullptr;
}

QWindow* COutputWindow::Window() { return d->window.get(); }
COutputRenderer* COutputWindow::Renderer() { return d->core.m_pRenderer; }
bool COutputWindow::QuitSeen() const { return d->quit; }

bool COutputWindow::CreateOutputWindow() {
    if (!qGuiApp) return false;
    auto window = std::make_unique<OutputQWindow>(*this);
    window->setTitle(QStringLiteral("Solvane"));
    window->setFlags(Qt::Window | Qt::FramelessWindowHint);
    QSurfaceFormat format;
    format.setRenderableType(QSurfaceFormat::OpenGL);
    format.setProfile(QSurfaceFormat::CompatibilityProfile);
    format.setVersion(2, 1);
    format.setRedBufferSize(8);
    format.setGreenBufferSize(8);
    format.setBlueBufferSize(8);
    format.setAlphaBufferSize(8);
    format.setDepthBufferSize(24);
    format.setStencilBufferSize(0);
    format.setStereo(true);
    format.setSwapBehavior(QSurfaceFormat::DoubleBuffer);
    window->setFormat(format);
    window->resize(1024, 768);
    window->create();
    if (!window->handle()) return false;
    d->window = std::move(window);
    x11desk::SetWmClass(d->WinId(), "solvane", "DidoriDav");
    QObject::connect(d->window.get(), &QWindow::windowStateChanged, [](Qt::WindowState state) {
        EnableClipMouse(state == Qt::WindowMinimized ? 0 : 1);
    });
    d->ResetFps();
    Port().Attach(d->window.get(), false);
    return true;
}

bool COutputWindow::ChooseOutputPixelFormat() {
    if (!d->window) return false;
    auto context = std::make_unique<QOpenGLContext>();
    context->setFormat(d->window->requestedFormat());
    if (!context->create()) return false;
    const QSurfaceFormat got = context->format();
    const bool stereo = got.stereo();
    LOGTEXT::LogInfo("%s", stereo ? "支持主动立体" : "不支持主动立体");

    if (!context->makeCurrent(d->window.get())) return false;
    const auto* renderer = reinterpret_cast<const char*>(context->functions()->glGetString(GL_RENDERER));
    context->doneCurrent();
    // A software rasteriser counts as a generic format without acceleration.
    const int generic = IsSoftwareRenderer(renderer) ? 1 : 0;
    const int accelerated = 0;
    LOGTEXT::LogInfo("加速支持:%d,像素格式支持:%d", accelerated, generic);
    if (generic)
        LOGTEXT::LogInfo("%s", "该像素格式不被显卡硬件支持，使用该像素格式的OpenGL程序将使用纯软件模式渲染");
    else
        LOGTEXT::LogInfo("%s", "该像素格式被显卡硬件支持，并且程序使用ICD模式渲染");

    d->core.m_pRenderer->m_nStereoGranted = stereo ? 1 : 0;
    d->context = std::move(context);
    Port().SetSwapAvailable(x11desk::SwapControlAvailable());
    return true;
}

bool COutputWindow::RenderFrame() {
    if (!d->window || !d->context) return false;
    if (!d->MakeCurrent()) return false;
    d->core.m_pRenderer->RenderOutput(0);
    d->context->functions()->glFinish();
    if (d->window->isExposed()) d->context->swapBuffers(d->window.get());

    if (d->core.m_nDisplayFrame != 0 && ++d->fpsFrames >= 30) {
        const auto now = std::chrono::steady_clock::now();
        const double seconds = std::chrono::duration<double>(now - d->fpsLast).count();
        const double fps = seconds > 0 ? d->fpsFrames / seconds : 0.0;
        d->fpsLast = now;
        d->fpsFrames = 0;
        char title[64];
        std::snprintf(title, sizeof title, "FPS: %0.3f", fps);
        d->window->setTitle(QString::fromUtf8(title));
    }
    return true;
}

bool COutputWindow::ApplyOutputWindowRect() {
    if (!d->window) return true;
    const RECT rc = d->core.m_rcOutput;
    const int result = (rc.right > rc.left && rc.bottom > rc.top) ? 1 : 0;
    d->window->setWindowState(Qt::WindowNoState);
    // An empty rectangle (no channel layout yet) keeps the current size.
    if (result) d->window->setGeometry(rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top);
    d->window->show();
    LOGTEXT::LogInfo("SetSize.result=%d.left=%d,top=%d.right=%d,bottom=%d", result, rc.left, rc.top, rc.right,
                     rc.bottom);
    if (d->core.m_nTopmostWindow != 0) {
        d->window->setFlag(Qt::WindowStaysOnTopHint, true);
        d->window->show();
    }
    return true;
}

bool COutputWindow::ReleaseOutputContext() {
    if (!d->context) return true;
    if (d->MakeCurrent()) {
        d->glyphs.reset();
        ReleaseGlText();
        d->core.m_pRenderer->ReleaseGL();
        d->core.m_pRenderer->ReleaseProgram();
        d->context->doneCurrent();
    }
    d->context.reset();
    return true;
}

bool COutputWindow::RegisterHotKeys() {
    if (!x11desk::OnX11()) return false;
    if (!d->hotKeyFilter) {
        d->hotKeyFilter = std::make_unique<HotKeyFilter>(d->hotKeys);
        QCoreApplication::instance()->installNativeEventFilter(d->hotKeyFilter.get());
    }
    return d->hotKeys.Register();
}

void COutputWindow::UnregisterHotKeys() {
    d->hotKeys.Unregister();
    if (d->hotKeyFilter) {
        if (auto* app = QCoreApplication::instance()) app->removeNativeEventFilter(d->hotKeyFilter.get());
        d->hotKeyFilter.reset();
    }
}

void COutputWindow::OnOutputMessage(uint32_t message, intptr_t wParam, intptr_t lParam) {
    CMediaManager& core = d->core;
    switch (message) {
    case kMsgPaint:
        RenderFrame();
        break;
    case kMsgQuit:
        d->quit = true;
        break;
    case kMsgRebuildOutput: {
        ApplyOutputWindowRect();
        if (!d->MakeCurrent()) break;
        core.m_pRenderer->ReleaseGL();
        const RECT rc = core.m_rcOutput;
        if (!core.m_pRenderer->InitGL(rc.right - rc.left, rc.bottom - rc.top)) {
            d->exitCode = kExitNoGlOutput;
            d->quit = true;
        }
        core.m_pRenderer->m_bRebuildLists = true;
        break;
    }
    case kMsgApplyTopmost:
        if (!d->window) break;
        d->window->setFlag(Qt::WindowStaysOnTopHint, core.m_nTopmostWindow != 0);
        if (core.m_nTopmostWindow != 0) d->window->show();
        break;
    case kMsgShowCursor:
        core.ShowMouseCursor(static_cast<int>(wParam));
        break;
    case kMsgMediaEvent:
        HandleMediaPlayerEvents(core, reinterpret_cast<IMedia*>(lParam), d->hooks.waitAllSlaveNodes);
        break;
    case kMsgMinimise:
        if (d->window) d->window->showMinimized();
        break;
    case kMsgRestore:
        if (d->window) d->window->showNormal();
        break;
    case kMsgSwapInterval:
        if (d->MakeCurrent()) x11desk::SetSwapInterval(d->WinId(), static_cast<int>(wParam));
        break;
    default:
        break;
    }
}

int COutputWindow::RunRenderLoop() {
    CMediaManager& core = d->core;
    if (!d->window) return kExitNoWindow;

    CServerClock::GetInstance()->ResetToTick();
    core.SetServices({&Port(), &core.MediaFactory(), &core.Displays(), &core.System()});
    core.MediaSize(1);

    if (!ChooseOutputPixelFormat()) return kExitNoGlOutput;

    if (d->hooks.createMainDialog) d->hooks.createMainDialog();
    core.Initialize();
    if (core.m_nDisplayFrame == 0) x11desk::SetSkipTaskbar(d->WinId(), d->window->isVisible());

    const RECT rc = core.m_rcOutput;
    bool built = d->MakeCurrent() && core.m_pRenderer->InitGL(rc.right - rc.left, rc.bottom - rc.top);
    if (d->context) d->context->doneCurrent();

    if (built) {
        if (d->hooks.startNetworkThread) d->hooks.startNetworkThread();
        x11desk::SuspendScreenSaver(true);
        d->screenSaverSuspended = true;
        d->window->show();
        RegisterHotKeys();
        ApplyOutputWindowRect();
        d->ResetFps();
        if (d->MakeCurrent()) {
            d->glyphs = std::make_unique<CFontTextrue>();
            if (!d->glyphs->Ok()) {
                LOGTEXT::LogError("%s", d->glyphs->Error().c_str());
                d->glyphs.reset();
            }
        }
        while (!d->quit) {
            QCoreApplication::sendPostedEvents();
            QCoreApplication::processEvents(QEventLoop::AllEvents);
            if (d->quit) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            RenderFrame();
        }
        d->window->hide();
        UnregisterHotKeys();
    } else {
        d->exitCode = kExitNoGlOutput;
    }

    core.stopalltask();
    if (d->hooks.destroyMainDialog) d->hooks.destroyMainDialog();
    ReleaseOutputContext();
    Port().Detach(d->window.get());
    if (d->screenSaverSuspended) {
        x11desk::SuspendScreenSaver(false);
        d->screenSaverSuspended = false;
    }
    return d->exitCode;
}

int RunOutputWindow(CMediaManager& core, OutputWindowHooks hooks) {
    // The renderer lives as long as the process: the core's threads may
    // still reach it while the program shuts down after the loop.
    static std::unique_ptr<COutputRenderer> renderer;
    if (!core.m_pRenderer) {
        renderer = std::make_unique<COutputRenderer>();
        core.m_pRenderer = renderer.get();
    }
    std::unique_ptr<QGuiApplication> app;
    if (!QCoreApplication::instance()) {
        // GLEW needs GLX underneath Qt's xcb platform.
        setenv("QT_XCB_GL_INTEGRATION", "xcb_glx", 0);
        static int argc = 1;
        static char name[] = "solvane";
        static char* argv[] = {name, nullptr};
        app = std::make_unique<QGuiApplication>(argc, argv);
    }
    int code = kExitNoWindow;
    {
        COutputWindow window(core, std::move(hooks));
        if (window.CreateOutputWindow()) code = window.RunRenderLoop();
    }
    return code;
}
