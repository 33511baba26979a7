#include "platform/process.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <iterator>

namespace platform {

ProcessInfo CurrentProcessInfo() {
    ProcessInfo p;
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

bool SpawnDetachedWithLifeline(const std::vector<std::string>& argv) {
    if (argv.empty()) return false;
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);

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

}  // namespace platform
