// The small interfaces through which the server core reaches the output
// window, the media sources, the display list and the machine. The renderer
// and the program install the real ones; tests install the recording fakes of
// core/Fakes.h. Nothing here includes a GL or X header.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/Media.h"
#include "util/Util.h"

// Requests to the output window. Callable from any thread: the window
// queues them and acts on its own (render) thread.
class IOutputWindow {
public:
    virtual ~IOutputWindow() = default;
    virtual void RequestRebuild() = 0;                 // re-initialise the GL output
    virtual void RequestTopmost() = 0;                 // apply [Setting] TopmostWindow
    virtual void RequestShowCursor(bool hide) = 0;     // hide or show the mouse cursor
    virtual void PostMediaEvent(IMedia* media) = 0;    // drain that media's player events
    virtual void RequestQuit() = 0;                    // end the render loop
    virtual void RequestMinimise() = 0;
    virtual void RequestRestore() = 0;
    virtual void Invalidate() = 0;
    // Sets the swap interval; false when the function is not available.
    virtual bool SetSwapInterval(int interval) = 0;
};

// Makes media sources by type. The caller owns the object and destroys it
// through its virtual destructor.
class IMediaFactory {
public:
    virtual ~IMediaFactory() = default;
    virtual std::unique_ptr<IMedia> CreateMedia(int32_t type) = 0;
};

// The attached displays.
class IDisplayList {
public:
    virtual ~IDisplayList() = default;
    virtual void EnumDisplays(std::vector<MY_MONITORINFO>& out) = 0;
    virtual bool GetDisplayRectByNumber(int32_t number, RECT& rect, int32_t& primary) = 0;
    virtual bool SetDisplayResolution(int32_t width, int32_t height, const std::string& device) = 0;
    virtual bool RotateDisplay(int32_t direction, const std::string& device) = 0;
    virtual bool SetDisplayOrientation(const std::string& device, int32_t degrees) = 0;
    virtual int32_t IdentifyDisplays() = 0;
    // Size of the whole virtual screen.
    virtual void VirtualScreenSize(int32_t& width, int32_t& height) = 0;
};

// What the running process is, for starting it again.
struct ProcessIdentity {
    int32_t pid = 0;
    std::string executable;          // full path of the program file
    std::vector<std::string> args;   // arguments after the program name
};

// The machine: idle time, keep-awake, autostart, self-restart, network probe
// and the host's own name and address.
class ISystemServices {
public:
    virtual ~ISystemServices() = default;
    virtual uint32_t IdleTimeMs() = 0;                 // since the last user input
    virtual void KeepAwake() = 0;
    virtual bool IsAutoStart() = 0;
    virtual bool SetAutoStart(bool enable) = 0;
    // Runs the restart helper (argv[0] is the interpreter) detached from this
    // process; false when it could not be started.
    virtual bool RunRestartHelper(const std::vector<std::string>& argv) = 0;
    virtual ProcessIdentity CurrentProcess() = 0;
    // Whether a network is up; flags as the network probe reports them.
    virtual int32_t IsNetworkAlive(uint32_t* flags) = 0;
    virtual std::string HostName() = 0;
    // The first IPv4 address of the host name in dotted form; empty when none.
    virtual std::string HostFirstIPv4() = 0;
};

// The seams a core works through. Members left null get quiet stand-ins.
struct CoreServices {
    IOutputWindow* output = nullptr;
    IMediaFactory* media = nullptr;
    IDisplayList* displays = nullptr;
    ISystemServices* system = nullptr;
};

// Stand-ins that do nothing (no window, no media); the displays of the
// process-wide display backend; the real system services of this machine.
IOutputWindow& NullOutputWindow();
IMediaFactory& NullMediaFactory();
IDisplayList& BackendDisplayList();
ISystemServices& LinuxSystemServices();

// The helper that starts the program again: a shell in its own session that
// waits for this process to end (reading its end of a pipe on descriptor 3
// until EOF), ends it by id if it is still there after the grace time, and
// starts the executable with its arguments.
std::vector<std::string> BuildRestartHelperArgv(const ProcessIdentity& self, uint32_t graceSeconds = 3);
// The argv as one shell-quoted line (for logs and tests).
std::string QuoteCommandLine(const std::vector<std::string>& argv);
