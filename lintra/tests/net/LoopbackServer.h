// A scripted command server on 127.0.0.1 with a kernel-chosen port, for the
// client tests. Every wait has a deadline.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>

#include "lintra/netdef.h"

namespace looptest {

inline constexpr int kDeadlineMs = 5000;

class LoopbackServer {
public:
    explicit LoopbackServer(int backlog = 8) {
        fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const int one = 1;
        setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (bind(fd_, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 || listen(fd_, backlog) != 0) {
            close(fd_);
            fd_ = -1;
            return;
        }
        socklen_t len = sizeof sa;
        getsockname(fd_, reinterpret_cast<sockaddr*>(&sa), &len);
        port_ = ntohs(sa.sin_port);
    }
    ~LoopbackServer() { Close(); }
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    void Close() {
        if (fd_ >= 0) close(fd_);
        fd_ = -1;
    }
    uint16_t port() const { return port_; }
    int fd() const { return fd_; }

    // The next connection, or -1 when none comes within the deadline.
    int Accept(int deadlineMs = kDeadlineMs) {
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, deadlineMs) <= 0) return -1;
        const int fd = accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
        const int one = 1;
        if (fd >= 0) setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        return fd;
    }

private:
    int fd_ = -1;
    uint16_t port_ = 0;
};

// Reads exactly n bytes; false on close, error or deadline.
inline bool ReadExact(int fd, void* buf, size_t n, int deadlineMs = kDeadlineMs) {
    auto* p = static_cast<char*>(buf);
    size_t got = 0;
    while (got < n) {
        pollfd pf{fd, POLLIN, 0};
        if (poll(&pf, 1, deadlineMs) <= 0) return false;
        const ssize_t r = recv(fd, p + got, n - got, 0);
        if (r <= 0) return false;
        got += static_cast<size_t>(r);
    }
    return true;
}

inline bool WriteAll(int fd, const void* buf, size_t n) {
    const auto* p = static_cast<const char*>(buf);
    while (n > 0) {
        const ssize_t r = send(fd, p, n, MSG_NOSIGNAL);
        if (r <= 0) return false;
        p += r;
        n -= static_cast<size_t>(r);
    }
    return true;
}

// True when the peer has closed or shut down its side within the deadline
// (any bytes still arriving are read and dropped).
inline bool SeesEof(int fd, int deadlineMs = kDeadlineMs) {
    char buf[4096];
    for (;;) {
        pollfd pf{fd, POLLIN, 0};
        if (poll(&pf, 1, deadlineMs) <= 0) return false;
        const ssize_t r = recv(fd, buf, sizeof buf, 0);
        if (r == 0) return true;
        if (r < 0) return errno == ECONNRESET;
    }
}

// A port that is bound but not listening while the object lives: every
// connection to it is refused, and no other test can take the port meanwhile.
class RefusingPort {
public:
    RefusingPort() {
        fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(fd_, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
        socklen_t len = sizeof sa;
        getsockname(fd_, reinterpret_cast<sockaddr*>(&sa), &len);
        port_ = ntohs(sa.sin_port);
    }
    ~RefusingPort() { close(fd_); }
    RefusingPort(const RefusingPort&) = delete;
    RefusingPort& operator=(const RefusingPort&) = delete;
    uint16_t port() const { return port_; }

private:
    int fd_ = -1;
    uint16_t port_ = 0;
};

}  // namespace looptest
