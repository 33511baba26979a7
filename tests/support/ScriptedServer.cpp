#include "support/ScriptedServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace lintratest {

namespace {

// Reads exactly n bytes unless the peer closes or the server stops; polls so
// that a stop is seen.
bool ReadExact(int fd, void* buf, size_t n, const std::atomic<bool>& stop) {
    auto* p = static_cast<uint8_t*>(buf);
    size_t got = 0;
    while (got < n) {
        if (stop.load()) return false;
        pollfd pfd{fd, POLLIN, 0};
        const int pr = ::poll(&pfd, 1, 50);
        if (pr < 0 && errno != EINTR) return false;
        if (pr <= 0) continue;
        const ssize_t r = ::recv(fd, p + got, n - got, 0);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;
        got += static_cast<size_t>(r);
    }
    return true;
}

bool WriteAll(int fd, const void* buf, size_t n) {
    const auto* p = static_cast<const uint8_t*>(buf);
    while (n > 0) {
        const ssize_t r = ::send(fd, p, n, MSG_NOSIGNAL);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;
        p += r;
        n -= static_cast<size_t>(r);
    }
    return true;
}

}  // namespace

ScriptedServer::ScriptedServer(Script script, size_t keepBodyBytes)
    : ScriptedServer(std::move(script), "127.0.0.1", 0, keepBodyBytes) {}

ScriptedServer::ScriptedServer(Script script, const char* address, uint16_t port, size_t keepBodyBytes)
    : script_(std::move(script)), keep_(keepBodyBytes) {
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listenFd_ < 0) throw std::runtime_error("socket");
    int one = 1;
    ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    if (::inet_pton(AF_INET, address, &addr.sin_addr) != 1) throw std::runtime_error("address");
    addr.sin_port = htons(port);
    if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(listenFd_, 16) != 0)
        throw std::runtime_error("bind/listen");
    socklen_t len = sizeof addr;
    ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
    acceptThread_ = std::thread([this] { AcceptLoop(); });
}

ScriptedServer::~ScriptedServer() {
    stop_.store(true);
    if (acceptThread_.joinable()) acceptThread_.join();
    std::vector<std::thread> workers;
    {
        std::lock_guard<std::mutex> lock(mu_);
        workers.swap(workers_);
    }
    for (auto& t : workers) t.join();
    if (listenFd_ >= 0) ::close(listenFd_);
}

void ScriptedServer::CloseListener() {
    std::lock_guard<std::mutex> lock(mu_);
    if (listenFd_ >= 0) {
        ::shutdown(listenFd_, SHUT_RDWR);
    }
}

void ScriptedServer::AcceptLoop() {
    while (!stop_.load()) {
        pollfd pfd{listenFd_, POLLIN, 0};
        const int pr = ::poll(&pfd, 1, 50);
        if (pr <= 0) continue;
        if (pfd.revents & (POLLERR | POLLHUP | POLLNVAL)) return;
        const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        const int index = connections_.fetch_add(1);
        std::lock_guard<std::mutex> lock(mu_);
        workers_.emplace_back([this, fd, index] { Serve(fd, index); });
    }
}

void ScriptedServer::Serve(int fd, int index) {
    std::vector<uint8_t> drop(1 << 20);
    while (!stop_.load()) {
        Request req;
        req.connection = index;
        if (!ReadExact(fd, &req.head, sizeof req.head, stop_)) break;
        size_t left = req.head.bodyLength;
        const size_t kept = std::min(left, keep_);
        req.body.resize(kept);
        if (kept && !ReadExact(fd, req.body.data(), kept, stop_)) break;
        left -= kept;
        bool ok = true;
        while (left > 0 && ok) {
            const size_t n = std::min(left, drop.size());
            ok = ReadExact(fd, drop.data(), n, stop_);
            left -= n;
        }
        if (!ok) break;
        Reply reply = script_(req);
        {
            std::lock_guard<std::mutex> lock(mu_);
            requests_.push_back(std::move(req));
        }
        cv_.notify_all();
        if (reply.kind == Reply::Kind::Close) break;
        if (reply.kind == Reply::Kind::Silent) continue;
        reply.head.bodyLength = static_cast<uint32_t>(reply.body.size());
        if (!WriteAll(fd, &reply.head, sizeof reply.head)) break;
        if (!reply.body.empty() && !WriteAll(fd, reply.body.data(), reply.body.size())) break;
    }
    ::close(fd);
}

std::vector<Request> ScriptedServer::Requests() const {
    std::lock_guard<std::mutex> lock(mu_);
    return requests_;
}

size_t ScriptedServer::RequestCount() const {
    std::lock_guard<std::mutex> lock(mu_);
    return requests_.size();
}

bool ScriptedServer::WaitForRequests(size_t n, std::chrono::milliseconds deadline) const {
    std::unique_lock<std::mutex> lock(mu_);
    return cv_.wait_for(lock, deadline, [&] { return requests_.size() >= n; });
}

}  // namespace lintratest
