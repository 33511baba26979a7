// Starting and stopping the whole display server program in a test, and
// talking to it on its fixed ports. The tests that use this run in a private
// network namespace under their own X server.
#pragma once

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sched.h>
#include <sys/mount.h>
#include <pty.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "lintra/netdef.h"
#include "support/support.h"

extern char** environ;

namespace e2e {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

// The program lies beside the test program (build/bin).
inline std::string ProgramPath() { return (fs::read_symlink("/proc/self/exe").parent_path() / "solvane").string(); }

// A connected TCP socket to host:port, or -1.
inline int Connect(uint16_t port, const std::string& host = "127.0.0.1") {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    if (inet_pton(AF_INET, host.c_str(), &addr.sin_addr) != 1 ||
        connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        close(fd);
        return -1;
    }
    timeval tv{5, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
    return fd;
}

inline bool ReadExactly(int fd, void* buf, size_t n) {
    auto* p = static_cast<uint8_t*>(buf);
    while (n > 0) {
        const ssize_t r = recv(fd, p, n, 0);
        if (r <= 0) return false;
        p += r;
        n -= static_cast<size_t>(r);
    }
    return true;
}

// Sends a head on the command port and reads the reply head and its body.
inline bool Exchange(uint32_t code, tagNETHEAD& reply, std::string* body = nullptr,
                     const std::string& host = "127.0.0.1") {
    const int fd = Connect(30100, host);
    if (fd < 0) return false;
    tagNETHEAD head{};
    head.command = code;
    bool ok = send(fd, &head, sizeof head, MSG_NOSIGNAL) == static_cast<ssize_t>(sizeof head) &&
              ReadExactly(fd, &reply, sizeof reply);
    if (ok && reply.bodyLength > 0) {
        std::string b(reply.bodyLength, '\0');
        ok = ReadExactly(fd, b.data(), b.size());
        if (body) *body = b;
    }
    close(fd);
    return ok;
}

// Reads an answer of the text port: "ok", "fail" or "invalid" (answers carry
// no terminator), or whatever came before the deadline.
inline std::string ReadAnswer(int fd, std::chrono::milliseconds deadline = 5s) {
    std::string got;
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (got != "ok" && got != "fail" && got != "invalid" && std::chrono::steady_clock::now() < end) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 50) <= 0) continue;
        char buf[64];
        const ssize_t n = read(fd, buf, sizeof buf);
        if (n <= 0) break;
        got.append(buf, static_cast<size_t>(n));
    }
    return got;
}

inline std::string TextCommand(const std::string& line, const std::string& host = "127.0.0.1") {
    const int fd = Connect(30101, host);
    if (fd < 0) return "<no connection>";
    send(fd, line.data(), line.size(), MSG_NOSIGNAL);
    std::string answer = ReadAnswer(fd);
    close(fd);
    return answer;
}

// Pids of display servers started with this base folder (a restarted server
// is no child of the test).
// A process may end while its file is read; the read then fails (ESRCH),
// which a stream would turn into an exception. What was read is returned.
inline std::string ReadProcFile(const fs::path& path) {
    std::string out;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return out;
    char buf[4096];
    ssize_t n;
    while ((n = ::read(fd, buf, sizeof buf)) > 0) out.append(buf, static_cast<size_t>(n));
    ::close(fd);
    return out;
}

inline std::vector<pid_t> ServersOf(const std::string& baseDir) {
    std::vector<pid_t> pids;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator("/proc", ec)) {
        const std::string name = e.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        const std::string cmd = ReadProcFile(e.path() / "cmdline");
        if (cmd.find("solvane") != std::string::npos && cmd.find(baseDir) != std::string::npos &&
            cmd.find("/bin/sh") == std::string::npos)
            pids.push_back(static_cast<pid_t>(std::stoi(name)));
    }
    return pids;
}

inline bool IsZombieOrGone(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string stat;
    if (!std::getline(in, stat)) return true;
    const size_t close = stat.rfind(')');
    return close != std::string::npos && close + 2 < stat.size() && stat[close + 2] == 'Z';
}

class Server {
public:
    // Runs the program in the network namespace open at fd (for servers
    // beside each other on the same ports); -1: the test's own namespace.
    void SetNetworkNamespace(int fd) { netnsFd_ = fd; }
    // Runs the program with its own host name, looked up through hostsFile
    // in place of /etc/hosts (private UTS and mount namespaces); empty: the
    // machine's.
    void SetHostName(const std::string& name, const std::string& hostsFile) {
        hostName_ = name;
        hostsFile_ = hostsFile;
    }

    // Starts the program with extra environment entries ("NAME=value").
    bool Start(const std::vector<std::string>& args, const std::vector<std::string>& env, const std::string& errFile) {
        std::vector<std::string> argv = {ProgramPath()};
        argv.insert(argv.end(), args.begin(), args.end());
        // An override replaces the inherited variable of the same name.
        auto overridden = [&](const std::string& entry) {
            const std::string name = entry.substr(0, entry.find('=') + 1);
            for (const auto& o : env)
                if (o.compare(0, name.size(), name) == 0) return true;
            return false;
        };
        std::vector<std::string> envs;
        for (char** e = environ; *e; ++e)
            if (!overridden(*e)) envs.push_back(*e);
        envs.insert(envs.end(), env.begin(), env.end());
        std::vector<char*> a, en;
        for (auto& s : argv) a.push_back(s.data());
        a.push_back(nullptr);
        for (auto& s : envs) en.push_back(s.data());
        en.push_back(nullptr);
        pid_ = fork();
        if (pid_ < 0) return false;
        if (pid_ == 0) {
            const int fd = open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (fd >= 0) dup2(fd, 2);
            if (netnsFd_ >= 0 && setns(netnsFd_, CLONE_NEWNET) != 0) _exit(126);
            if (!hostName_.empty() &&
                (unshare(CLONE_NEWNS | CLONE_NEWUTS) != 0 ||
                 mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
                 sethostname(hostName_.data(), hostName_.size()) != 0 ||
                 mount(hostsFile_.c_str(), "/etc/hosts", nullptr, MS_BIND, nullptr) != 0))
                _exit(125);
            execve(a[0], a.data(), en.data());
            _exit(127);
        }
        return true;
    }
    // Waits for the end with a deadline; the exit code, or -1 on time-out.
    int Wait(std::chrono::milliseconds deadline) {
        if (pid_ <= 0) return status_;
        const auto end = std::chrono::steady_clock::now() + deadline;
        while (std::chrono::steady_clock::now() < end) {
            int st = 0;
            const pid_t r = waitpid(pid_, &st, WNOHANG);
            if (r == pid_) {
                pid_ = -1;
                status_ = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
                return status_;
            }
            std::this_thread::sleep_for(20ms);
        }
        return -1;
    }
    // SIGTERM, then SIGKILL after the deadline; the exit code.
    int Stop(std::chrono::milliseconds deadline = 30s) {
        if (pid_ <= 0) return status_;
        kill(pid_, SIGTERM);
        const int rc = Wait(deadline);
        if (rc >= 0) return rc;
        kill(pid_, SIGKILL);
        return Wait(5s);
    }
    pid_t Pid() const { return pid_; }
    ~Server() { Stop(); }

private:
    pid_t pid_ = -1;
    int status_ = -1;
    int netnsFd_ = -1;
    std::string hostName_;
    std::string hostsFile_;
};

inline bool WaitForPort(uint16_t port, std::chrono::milliseconds deadline = 10s,
                        const std::string& host = "127.0.0.1") {
    return testsupport::WaitUntil(
        [&] {
            const int fd = Connect(port, host);
            if (fd < 0) return false;
            close(fd);
            return true;
        },
        deadline);
}

class SolvaneProgramFixture : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(base);
        fs::create_directories(tmp);
    }
    void TearDown() override {
        server.Stop();
        // A restarted server is no child: end it by its id.
        for (pid_t pid : ServersOf(base.string())) {
            kill(pid, SIGTERM);
            testsupport::WaitUntil([&] { return IsZombieOrGone(pid); }, 10s);
            if (!IsZombieOrGone(pid)) kill(pid, SIGKILL);
        }
    }
    bool StartServer(const std::vector<std::string>& env = {}) {
        // A login session has its own runtime folder; without one Qt would
        // make one in the temp folder, which the last test checks is left empty.
        fs::create_directories(runtime);
        fs::permissions(runtime, fs::perms::owner_all);
        // The GL driver is unloaded before the leak check at exit, so its
        // leaks cannot be told from ours: the whole program is checked for
        // memory errors only (the libraries' own tests check leaks).
        std::vector<std::string> all = {"TMPDIR=" + tmp.string(), "XDG_RUNTIME_DIR=" + runtime.string(),
                                        "ASAN_OPTIONS=detect_leaks=0:detect_stack_use_after_return=0"};
        all.insert(all.end(), env.begin(), env.end());
        return server.Start({"--base-dir", base.string()}, all, (dir / "stderr.txt").string()) &&
               WaitForPort(30100, 90s) && WaitForPort(30101, 90s);
    }
    std::string Log() {
        std::string all;
        std::error_code ec;
        for (const auto& e : fs::directory_iterator(base / "log", ec)) all += testsupport::ReadFile(e.path());
        return all;
    }

    testsupport::TempDir dir;
    fs::path base = dir / "wall";
    fs::path tmp = dir / "tmp";
    fs::path runtime = dir / "run";
    Server server;
};

}  // namespace e2e
