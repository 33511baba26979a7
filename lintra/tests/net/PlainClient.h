// A plain blocking TCP client on loopback for the server tests.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <string>

namespace nettest {

class PlainClient {
public:
    PlainClient() = default;
    explicit PlainClient(int port) { Connect(port); }
    ~PlainClient() { Close(); }
    PlainClient(const PlainClient&) = delete;
    PlainClient& operator=(const PlainClient&) = delete;
    PlainClient(PlainClient&& o) noexcept : fd_(o.fd_) { o.fd_ = -1; }

    bool Connect(int port) {
        Close();
        fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd_ < 0) return false;
        int one = 1;
        setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<uint16_t>(port));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
            Close();
            return false;
        }
        return true;
    }
    void Close() {
        if (fd_ >= 0) close(fd_);
        fd_ = -1;
    }
    int fd() const { return fd_; }

    bool SendAll(const void* data, size_t n) {
        const char* p = static_cast<const char*>(data);
        while (n > 0) {
            ssize_t r = send(fd_, p, n, MSG_NOSIGNAL);
            if (r < 0 && errno == EINTR) continue;
            if (r <= 0) return false;
            p += r;
            n -= static_cast<size_t>(r);
        }
        return true;
    }
    bool SendAll(const std::string& s) { return SendAll(s.data(), s.size()); }

    // Reads exactly n bytes before the deadline.
    bool RecvExact(void* data, size_t n, std::chrono::milliseconds deadline = std::chrono::seconds(5)) {
        char* p = static_cast<char*>(data);
        auto end = std::chrono::steady_clock::now() + deadline;
        while (n > 0) {
            int left = static_cast<int>(
                std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now()).count());
            if (left <= 0) return false;
            pollfd pfd{fd_, POLLIN, 0};
            if (poll(&pfd, 1, left) <= 0) continue;
            ssize_t r = recv(fd_, p, n, 0);
            if (r < 0 && errno == EINTR) continue;
            if (r <= 0) return false;
            p += r;
            n -= static_cast<size_t>(r);
        }
        return true;
    }

    // True when the peer closed (or reset) the connection before the deadline;
    // any data still arriving is read and dropped.
    bool SeesClose(std::chrono::milliseconds deadline = std::chrono::seconds(5)) {
        auto end = std::chrono::steady_clock::now() + deadline;
        char buf[4096];
        for (;;) {
            int left = static_cast<int>(
                std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now()).count());
            if (left <= 0) return false;
            pollfd pfd{fd_, POLLIN, 0};
            if (poll(&pfd, 1, left) <= 0) continue;
            ssize_t r = recv(fd_, buf, sizeof buf, 0);
            if (r < 0 && errno == EINTR) continue;
            if (r <= 0) return true;
        }
    }

private:
    int fd_ = -1;
};

}  // namespace nettest
