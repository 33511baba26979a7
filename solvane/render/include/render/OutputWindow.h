// The output window: one frameless OpenGL window on the main thread that
// shows the whole output, its render loop, and the private messages through
// which other threads reach it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "core/Seams.h"
#include "render/MediaEvents.h"

class CMediaManager;
class COutputRenderer;
class QWindow;

// Private messages of the output window. Other threads post them; the
// window handles them on its own thread in the order they were posted.
enum OutputMessage : uint32_t {
    kMsgPaint = 0x000F,         // draw a frame now
    kMsgQuit = 0x0012,          // end the render loop
    kMsgRebuildOutput = 0x464,  // re-initialise the GL output for the output rectangle
    kMsgApplyTopmost = 0x466,   // apply [Setting] TopmostWindow
    kMsgShowCursor = 0x467,     // wParam: hide flag
    kMsgMediaEvent = 0x600,     // lParam: the IMedia whose player has events
    kMsgMinimise = 0x0470,
    kMsgRestore = 0x0471,
    kMsgSwapInterval = 0x0472,  // wParam: the swap interval
};

// What the render loop calls of the rest of the program, in its order.
struct OutputWindowHooks {
    std::function<void()> createMainDialog;     // before the core is initialised
    std::function<void()> startNetworkThread;   // once the GL output is built
    std::function<void()> destroyMainDialog;    // after the loop
    WaitAllSlaveNodesFn waitAllSlaveNodes;      // node synchronisation at the end of a stream
    std::string shaderText;                     // empty: the compiled-in output program
};

// Process exit codes of the render loop.
inline constexpr int kExitOk = 0;
inline constexpr int kExitNoWindow = 2;
inline constexpr int kExitNoGlOutput = 3;

class COutputWindow {
public:
    COutputWindow(CMediaManager& core, OutputWindowHooks hooks = {});
    virtual ~COutputWindow();
    COutputWindow(const COutputWindow&) = delete;
    COutputWindow& operator=(const COutputWindow&) = delete;

    // Creates the window hidden (title "Solvane", class "DidoriDav") and
    // attaches it to OutputWindowPort(). Needs a QGuiApplication.
    bool CreateOutputWindow();
    // Runs until the quit message; returns the process exit code.
    int RunRenderLoop();

    // Creates the GL context on the window and logs what it got.
    bool ChooseOutputPixelFormat();
    // Draws and presents one frame; false without a window or context.
    bool RenderFrame();
    // Places the window on the core's output rectangle.
    bool ApplyOutputWindowRect();
    // Frees the renderer's GL objects and the context.
    bool ReleaseOutputContext();
    // Ctrl+F2 minimises and Ctrl+F3 restores the output from anywhere.
    bool RegisterHotKeys();
    void UnregisterHotKeys();

    QWindow* Window();
    COutputRenderer* Renderer();
    bool QuitSeen() const;

protected:
    // Handles one private message on the window's thread.
    virtual void OnOutputMessage(uint32_t message, intptr_t wParam, intptr_t lParam);

private:
    friend class OutputQWindow;
    struct Impl;
    std::unique_ptr<Impl> d;
};

// The core's output seam: forwards every request to the window attached now
// (from any thread); requests while no window is attached are dropped.
IOutputWindow& OutputWindowPort();
// Posts a private message to the attached window; false when none is.
bool PostOutputMessage(uint32_t message, intptr_t wParam = 0, intptr_t lParam = 0);

// The program's entry to the output: makes the Qt application when there is
// none (xcb with GLX), installs the output seam in the core, creates the
// window and runs the render loop. Returns the exit code for the process.
int RunOutputWindow(CMediaManager& core, OutputWindowHooks hooks = {});
