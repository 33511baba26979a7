// Quiet stand-ins for the seams and the system services of this machine.
#include <fcntl.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <arpa/inet.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <fstream>
#include <iterator>

#include "channel/Displays.h"
#include "core/Seams.h"
#include "platform/cnum.h"

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
    // Input idle time and keep-awake need the display connection, which the
    // output window side owns; it installs its own services for them.
    uint32_t IdleTimeMs() override { return 0; }
    void KeepAwake() override {}
    bool IsAutoStart() override { return false; }
    bool SetAutoStart(bool) override { return false; }

    bool RunRestartHelper(const std::vector<std::string>& argv) override {
        if (argv.empty()) return false;
        std::vector<char*> args;
        for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);

        // This process holds the write end until it ends; the helper reads the
        // other end on descriptor 3 and sees EOF when we are gone.
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0) return false;
        const pid_t child = fork();
        if (child < 0) {
            close(fds[0]);
            close(fds[1]);
            return false;
        }
        if (child == 0) {
            // Only async-signal-safe calls from here on.
            setsid();
            if (fork() != 0) _exit(0);
            if (fds[0] == 3) {
                fcntl(3, F_SETFD, 0);
            } else {
                dup2(fds[0], 3);
            }
            if (syscall(SYS_close_range, 4u, ~0u, 0u) != 0) {
                for (int fd = 4; fd < 1024; ++fd) close(fd);
            }
            execv(args[0], args.data());
            _exit(127);
        }
        close(fds[0]);
        int status = 0;
        while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
        }
        // fds[1] stays open (close-on-exec) for the rest of the process's life.
        return WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }

    ProcessIdentity CurrentProcess() override {
        ProcessIdentity p;
        p.pid = static_cast<int32_t>(getpid());
        char buf[PATH_MAX];
        const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
        if (n > 0) p.executable.assign(buf, static_cast<size_t>(n));
        std::ifstream in("/proc/self/cmdline", std::ios::binary);
        const std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        size_t pos = all.find('\0');
        while (pos != std::string::npos && pos + 1 < all.size()) {
            const size_t end = all.find('\0', pos + 1);
            p.args.push_back(all.substr(pos + 1, end == std::string::npos ? std::string::npos : end - pos - 1));
            pos = end;
        }
        return p;
    }

    int32_t IsNetworkAlive(uint32_t* flags) override {
        int32_t alive = 0;
        ifaddrs* list = nullptr;
        if (getifaddrs(&list) == 0) {
            for (ifaddrs* it = list; it; it = it->ifa_next) {
                if (!it->ifa_addr || it->ifa_addr->sa_family != AF_INET) continue;
                if ((it->ifa_flags & IFF_LOOPBACK) || !(it->ifa_flags & IFF_UP) || !(it->ifa_flags & IFF_RUNNING))
                    continue;
                alive = 1;
                break;
            }
            freeifaddrs(list);
        }
        if (flags) *flags = static_cast<uint32_t>(alive);
        return alive;
    }

    std::string HostName() override {
        char name[256] = {};
        if (gethostname(name, sizeof name - 1) != 0) return {};
        return name;
    }

    std::string HostFirstIPv4() override {
        const std::string host = HostName();
        if (host.empty()) return {};
        addrinfo hints{};
        hints.ai_family = AF_INET;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* res = nullptr;
        if (getaddrinfo(host.c_str(), nullptr, &hints, &res) != 0 || !res) return {};
        char text[INET_ADDRSTRLEN] = {};
        const auto* sin = reinterpret_cast<const sockaddr_in*>(res->ai_addr);
        inet_ntop(AF_INET, &sin->sin_addr, text, sizeof text);
        freeaddrinfo(res);
        return text;
    }
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
