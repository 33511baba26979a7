// Quiet stand-ins for the seams and the system services of this machine.
#include <mutex>

#include "channel/Displays.h"
#include "core/Seams.h"
#include "lintra/host.h"
#include "platform/cnum.h"
#include "platform/netif.h"
#include "platform/process.h"

namespace {

class NullOutput final : public IOutputWindow {
public:
    void RequestRebuild() override {}
    void RequestTopmost() override {}
    void RequestShowCursor(bool) override {}
    void PostMediaEvent(IMedia*) override {}
    void RequestQuit() override {}
    void RequestMinimise() override {}
    void RequestRestore() override {}
    void Invalidate() override {}
    bool SetSwapInterval(int) override { return false; }
};

class NullFactory final : public IMediaFactory {
public:
    std::unique_ptr<IMedia> CreateMedia(int32_t) override { return nullptr; }
};

class NullCentral final : public ICentralControl {
public:
    SerialPortSettings Settings() override {
        std::lock_guard lock(mu_);
        return settings_;
    }
    void SetSettings(const SerialPortSettings& s) override {
        std::lock_guard lock(mu_);
        settings_ = s;
    }
    int32_t Start() override { return 2; }
    void SaveSettings() override {}

private:
    std::mutex mu_;
    SerialPortSettings settings_;
};

// The displays of the process-wide display backend (channel/Displays.h);
// with no backend installed every query finds nothing.
class BackendDisplays final : public IDisplayList {
public:
    void EnumDisplays(std::vector<MY_MONITORINFO>& out) override { ::EnumDisplays(out); }
    bool GetDisplayRectByNumber(int32_t number, RECT& rect, int32_t& primary) override {
        return ::GetDisplayRectByNumber(number, rect, primary);
    }
    bool SetDisplayResolution(int32_t width, int32_t height, const std::string& device) override {
        return ::SetDisplayResolution(width, height, device);
    }
    bool RotateDisplay(int32_t direction, const std::string& device) override {
        return ::RotateDisplay(direction, device);
    }
    bool SetDisplayOrientation(const std::string& device, int32_t degrees) override {
        return ::SetDisplayOrientation(device, degrees);
    }
    int32_t IdentifyDisplays() override { return ::IdentifyDisplays(); }
    void VirtualScreenSize(int32_t& width, int32_t& height) override {
        const RECT r = VirtualScreenRect();
        width = r.right - r.left;
        height = r.bottom - r.top;
    }
};

class LinuxSystem final : public ISystemServices {
public:
    // Input idle time and keep-awake need a display; the program installs
    // them for its own (CQuorvelApp::SetUserIdle).
    uint32_t IdleTimeMs() override { return 0; }
    void KeepAwake() override {}
    bool IsAutoStart() override { return false; }
    bool SetAutoStart(bool) override { return false; }

    bool RunRestartHelper(const std::vector<std::string>& argv) override {
        return platform::SpawnDetachedWithLifeline(argv);
    }

    ProcessIdentity CurrentProcess() override {
        platform::ProcessInfo info = platform::CurrentProcessInfo();
        return ProcessIdentity{info.pid, std::move(info.executable), std::move(info.args)};
    }

    int32_t IsNetworkAlive(uint32_t* flags) override {
        const int32_t alive = platform::AnyAdapterUp() ? 1 : 0;
        if (flags) *flags = static_cast<uint32_t>(alive);
        return alive;
    }

    std::string HostName() override { return platform::HostName(); }

    // Debian maps the host name to 127.0.1.1: an address that other
    // servers cannot reach, which they would adopt and answer to
    // themselves. The host name's first address that is no loopback, else
    // the first adapter's.
    std::string HostFirstIPv4() override { return LINTRA_HOST::GetHostIp(); }
};

}  // namespace

IOutputWindow& NullOutputWindow() {
    static NullOutput output;
    return output;
}
IMediaFactory& NullMediaFactory() {
    static NullFactory factory;
    return factory;
}
ICentralControl& NullCentralControl() {
    static NullCentral central;
    return central;
}
IDisplayList& BackendDisplayList() {
    static BackendDisplays displays;
    return displays;
}
ISystemServices& LinuxSystemServices() {
    static LinuxSystem system;
    return system;
}

std::vector<std::string> BuildRestartHelperArgv(const ProcessIdentity& self, uint32_t graceSeconds) {
    // Wait until the old process has ended (EOF on descriptor 3); after the
    // grace time end it by id and wait for it to be gone. The kill only runs
    // while the pipe is still open, that is while the old process is alive,
    // so its id cannot have been reused. The program and its arguments pass
    // as positional parameters and need no quoting.
    const std::string script = platform::FormatC(
        "timeout %u cat <&3 >/dev/null || { kill -9 %d 2>/dev/null; cat <&3 >/dev/null; }; "
        "exec 3<&-; exec \"$0\" \"$@\"",
        graceSeconds, self.pid);
    std::vector<std::string> argv = {"/bin/sh", "-c", script, self.executable};
    argv.insert(argv.end(), self.args.begin(), self.args.end());
    return argv;
}

std::string QuoteCommandLine(const std::vector<std::string>& argv) {
    std::string out;
    for (const std::string& a : argv) {
        if (!out.empty()) out += ' ';
        out += '\'';
        for (char c : a) {
            if (c == '\'')
                out += "'\\''";
            else
                out += c;
        }
        out += '\'';
    }
    return out;
}
