// A whole display server in its own network namespace with its own X server,
// for tests that run several programs binding the same fixed ports (two
// servers keeping sync, the console and a server). The namespace comes from
// tools/netns-veth and is reached at 198.18.K.2; the test itself must run in
// a private namespace (tools/netns-run), as every e2e test does.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "lintra/ClientSession.h"
#include "support/ProgramHarness.h"
#include "support/support.h"

namespace e2e {

// tools/netns-veth of the source tree.
inline std::string NetnsVethTool() {
    const char* src = std::getenv("SV_SOURCE_DIR");
    return std::string(src ? src : ".") + "/tools/netns-veth";
}

// One X display number held for this process: a lock file per number in
// /tmp, locked while the number is in use, so parallel tests (in any
// namespace of this machine) never pick the same one. Numbers start at 200,
// far above those that Xvfb's -displayfd hands out.
class DisplayClaim {
public:
    DisplayClaim() = default;
    DisplayClaim(const DisplayClaim&) = delete;
    DisplayClaim& operator=(const DisplayClaim&) = delete;
    ~DisplayClaim() { Release(); }

    bool Claim() {
        Release();
        for (int n = 200; n < 1000; ++n) {
            const std::string path = "/tmp/sv-xdisplay-" + std::to_string(n) + ".lock";
            const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
            if (fd < 0) continue;
            if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
                ::close(fd);
                continue;
            }
            // Someone else's X server (not started through a claim) holds it.
            struct stat st;
            const std::string xlock = "/tmp/.X" + std::to_string(n) + "-lock";
            const std::string xsock = "/tmp/.X11-unix/X" + std::to_string(n);
            if (stat(xlock.c_str(), &st) == 0 || stat(xsock.c_str(), &st) == 0) {
                ::close(fd);
                continue;
            }
            fd_ = fd;
            number_ = n;
            return true;
        }
        return false;
    }
    void Release() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
        number_ = -1;
    }
    int Number() const { return number_; }

private:
    int fd_ = -1;
    int number_ = -1;
};

// The set-sync-address command as the console sends it: the kind word, the
// address text at 124, sync on/off at 252, main server at 256, port at 260.
inline tagNETHEAD SyncRoleCommand(int32_t enable, int32_t main) {
    tagNETHEAD head;
    lintra::InitHead(head, 804);
    head.intParam[0] = 1;
    auto* bytes = reinterpret_cast<uint8_t*>(&head);
    std::memset(bytes + 124, 0, 64);
    std::memcpy(bytes + 252, &enable, 4);
    std::memcpy(bytes + 256, &main, 4);
    const int32_t port = 30100;
    std::memcpy(bytes + 260, &port, 4);
    return head;
}

class RemoteServer {
public:
    RemoteServer() = default;
    RemoteServer(const RemoteServer&) = delete;
    RemoteServer& operator=(const RemoteServer&) = delete;
    ~RemoteServer() { Shutdown(); }

    // The X screen of the next Start ("WxHxD").
    std::string screen = "1920x1080x24";
    // When set, the program runs under this host name, which resolves to
    // 127.0.1.1 as a stock Debian host's name does.
    std::string hostName;

    // Makes namespace k (1..254), starts an X server and the program with
    // `--base-dir baseDir`, the arguments and environment entries, and waits
    // until both command ports answer.
    bool Start(int k, const fs::path& baseDir, const std::vector<std::string>& args = {},
               const std::vector<std::string>& env = {}) {
        Shutdown();
        k_ = k;
        base_ = baseDir;
        args_ = args;
        env_ = env;
        fs::create_directories(base_);
        const std::string owner = "NETNS_VETH_OWNER=" + std::to_string(getpid()) + " ";
        int status = 0;
        testsupport::RunShell(owner + NetnsVethTool() + " create " + std::to_string(k) + " 2>&1", &status);
        if (status != 0) return false;
        created_ = true;
        const std::string info = testsupport::RunShell(NetnsVethTool() + " info " + std::to_string(k), &status);
        const size_t sp = info.find(' ');
        if (status != 0 || sp == std::string::npos) return false;
        const pid_t holder = std::atoi(info.c_str() + sp + 1);
        netnsFd_ = ::open(("/proc/" + std::to_string(holder) + "/ns/net").c_str(), O_RDONLY | O_CLOEXEC);
        if (netnsFd_ < 0 || !StartX()) return false;
        return Launch();
    }
    // The program again in the same namespace, on the same X server and folder.
    bool Restart() {
        Stop();
        return Launch();
    }
    bool Signal(int sig) { return server_.Pid() > 0 && kill(server_.Pid(), sig) == 0; }
    // SIGKILL; the exit code.
    int Kill() {
        if (server_.Pid() > 0) kill(server_.Pid(), SIGKILL);
        return server_.Wait(5s);
    }
    // SIGTERM, SIGKILL after the deadline; the exit code. A server that
    // restarted itself (no child of the test) is ended too.
    int Stop(std::chrono::milliseconds deadline = 10s) {
        const int rc = server_.Stop(deadline);
        if (!base_.empty()) {
            for (pid_t pid : ServersOf(base_.string())) {
                kill(pid, SIGTERM);
                testsupport::WaitUntil([&] { return IsZombieOrGone(pid); }, deadline);
                if (!IsZombieOrGone(pid)) kill(pid, SIGKILL);
            }
        }
        return rc;
    }

    std::string Address() const { return "198.18." + std::to_string(k_) + ".2"; }
    std::string Display() const { return ":" + std::to_string(display_.Number()); }
    pid_t Pid() const { return server_.Pid(); }
    // What the program wrote to its standard error.
    std::string ErrorText() const { return testsupport::ReadFile(base_ / "stderr.txt"); }
    // Its log files, joined.
    std::string Log() const {
        std::string all;
        std::error_code ec;
        for (const auto& e : fs::directory_iterator(base_ / "log", ec)) all += testsupport::ReadFile(e.path());
        return all;
    }

    // A command session connected to the server (null when it fails).
    std::unique_ptr<CClientSession> ConnectSession(unsigned port = 30100) const {
        auto session = std::make_unique<CClientSession>();
        if (!session->ConnectServer(Address().c_str(), port, 5)) return nullptr;
        return session;
    }

private:
    bool StartX() {
        for (int attempt = 0; attempt < 5; ++attempt) {
            if (!display_.Claim()) return false;
            int pipefd[2];
            if (pipe2(pipefd, O_CLOEXEC) != 0) return false;
            const std::string num = std::to_string(display_.Number());
            const std::string log = (base_ / "xvfb.log").string();
            xpid_ = fork();
            if (xpid_ == 0) {
                const int err = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
                if (err >= 0) dup2(err, 2);
                dup2(pipefd[1], 3);  // dup2 clears close-on-exec
                execlp("Xvfb", "Xvfb", (":" + num).c_str(), "-displayfd", "3", "-screen", "0", screen.c_str(),
                       "-nolisten", "tcp", "-noreset", "+extension", "GLX", static_cast<char*>(nullptr));
                _exit(127);
            }
            ::close(pipefd[1]);
            std::string got;
            testsupport::WaitUntil(
                [&] {
                    pollfd p{pipefd[0], POLLIN, 0};
                    if (poll(&p, 1, 50) <= 0) return false;
                    char buf[16];
                    const ssize_t n = ::read(pipefd[0], buf, sizeof buf);
                    if (n <= 0) return true;
                    got.append(buf, static_cast<size_t>(n));
                    return got.find('\n') != std::string::npos;
                },
                60s);
            ::close(pipefd[0]);
            if (xpid_ > 0 && !got.empty()) {
                // A server that printed its number may still die setting up input.
                std::this_thread::sleep_for(200ms);
                if (waitpid(xpid_, nullptr, WNOHANG) == 0) return true;
            }
            StopX();
        }
        return false;
    }
    void StopX() {
        if (xpid_ > 0) {
            kill(xpid_, SIGTERM);
            if (!testsupport::WaitUntil([&] { return waitpid(xpid_, nullptr, WNOHANG) != 0; }, 5s)) {
                kill(xpid_, SIGKILL);
                waitpid(xpid_, nullptr, 0);
            }
        }
        xpid_ = -1;
        display_.Release();
    }
    bool Launch() {
        fs::create_directories(base_ / "tmp");
        fs::create_directories(base_ / "run");
        fs::permissions(base_ / "run", fs::perms::owner_all);
        // The server shows on its own X display whatever platform the test
        // process picked for its widgets (an inherited "offscreen" would
        // leave the wall black).
        std::vector<std::string> env = {"DISPLAY=" + Display(),
                                        "QT_QPA_PLATFORM=xcb",
                                        "QT_XCB_GL_INTEGRATION=xcb_glx",
                                        "LIBGL_ALWAYS_SOFTWARE=1",
                                        "LP_NUM_THREADS=0",
                                        "TMPDIR=" + (base_ / "tmp").string(),
                                        "XDG_RUNTIME_DIR=" + (base_ / "run").string(),
                                        "ASAN_OPTIONS=detect_leaks=0:detect_stack_use_after_return=0"};
        env.insert(env.end(), env_.begin(), env_.end());
        std::vector<std::string> args = {"--base-dir", base_.string()};
        args.insert(args.end(), args_.begin(), args_.end());
        server_.SetNetworkNamespace(netnsFd_);
        if (!hostName.empty()) {
            const fs::path hosts = base_ / "hosts";
            testsupport::WriteFile(hosts, "127.0.0.1 localhost\n127.0.1.1 " + hostName + "\n");
            server_.SetHostName(hostName, hosts.string());
        }
        return server_.Start(args, env, (base_ / "stderr.txt").string()) &&
               WaitForPort(30100, 90s, Address()) && WaitForPort(30101, 90s, Address());
    }
    void Shutdown() {
        Stop();
        StopX();
        if (netnsFd_ >= 0) ::close(netnsFd_);
        netnsFd_ = -1;
        if (created_) testsupport::RunShell(NetnsVethTool() + " delete " + std::to_string(k_) + " 2>&1");
        created_ = false;
    }

    int k_ = 0;
    fs::path base_;
    std::vector<std::string> args_;
    std::vector<std::string> env_;
    bool created_ = false;
    int netnsFd_ = -1;
    DisplayClaim display_;
    pid_t xpid_ = -1;
    Server server_;
};

}  // namespace e2e
