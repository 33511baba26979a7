#include "lintra/ClientSession.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <new>

#include "DisconnectNotifier.h"
#include "platform/packed.h"
#include "platform/tick.h"
#include "util/Util.h"

namespace {

std::atomic<uint32_t> g_receiveBudgetMs{5000};

// Milliseconds left of `budget` since `start`; -1 once more than the budget
// has passed. Never 0 while time remains, so a wait always waits.
int RemainingMs(uint32_t start, uint32_t budget) {
    const uint32_t elapsed = platform::TickDiff(platform::GetTickCount(), start);
    if (elapsed > budget) return -1;
    return static_cast<int>(std::max<uint32_t>(1, budget - elapsed));
}

// Waits for `events` on fd for at most ms; >0 ready, 0 time-out, <0 error.
int PollFor(int fd, short events, int ms) {
    pollfd p{fd, events, 0};
    for (;;) {
        int r = poll(&p, 1, ms);
        if (r < 0 && errno == EINTR) continue;
        return r;
    }
}

// Receives up to length bytes within the budget counted from start; returns
// the count received. Ends early when the peer closes or on a socket error.
size_t RecvWithin(int fd, void* buffer, size_t length, uint32_t start, uint32_t budget) {
    auto* p = static_cast<char*>(buffer);
    size_t got = 0;
    while (got < length) {
        const int left = RemainingMs(start, budget);
        if (left < 0) break;
        const int r = PollFor(fd, POLLIN, left);
        if (r < 0) break;
        if (r == 0) continue;
        const ssize_t n = recv(fd, p + got, length - got, MSG_DONTWAIT);
        if (n > 0) {
            got += static_cast<size_t>(n);
        } else if (n == 0) {
            break;
        } else if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            break;
        }
    }
    return got;
}

// Sends every byte; gives up when the peer takes nothing for a whole budget.
bool SendAll(int fd, const void* data, size_t length, uint32_t budget) {
    const auto* p = static_cast<const char*>(data);
    size_t sent = 0;
    while (sent < length) {
        const ssize_t n = send(fd, p + sent, length - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            sent += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (PollFor(fd, POLLOUT, static_cast<int>(std::min<uint32_t>(budget, INT_MAX))) > 0)
                continue;
        }
        return false;
    }
    return true;
}

}  // namespace

CClientSession::CClientSession()
    : socket_(-1),
      connected_(0),
      notifyWindow_(nullptr),
      notifyMessage_(0),
      serverAddress_{},
      serverPort_(0),
      noticeId_(0) {}

CClientSession::~CClientSession() { Disconnect(); }

void CClientSession::SetCallback(LintraDisconnectCallback callback, void* user) {
    lintra::SetDisconnectCallback(callback, user);
}

void CClientSession::SetMessageNotify(void* window, int message) {
    std::lock_guard<std::mutex> lk(infoMutex_);
    notifyWindow_ = window;
    notifyMessage_ = message;
}

void CClientSession::SetReceiveBudgetMs(uint32_t ms) { g_receiveBudgetMs = ms; }
uint32_t CClientSession::ReceiveBudgetMs() { return g_receiveBudgetMs; }

int CClientSession::ConnectServer(const char* ip, unsigned port, int timeoutSeconds) {
    Disconnect();
    std::lock_guard<std::mutex> lk(mutex_);
    char address[32];
    {
        std::lock_guard<std::mutex> info(infoMutex_);
        platform::CopyTextField(serverAddress_, sizeof serverAddress_, ip ? ip : "");
        serverPort_ = port;
        std::memcpy(address, serverAddress_, sizeof address);
    }
    LOGTEXT::LogInfo("connect to %s:%d. timeout=%d", address, static_cast<int>(port), timeoutSeconds);

    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
    if (fd < 0) return 0;
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(static_cast<uint16_t>(port));
    const bool valid = port <= 0xFFFF && inet_pton(AF_INET, address, &sa.sin_addr) == 1;

    if (timeoutSeconds <= 0 || !valid) {
        int rc = -1;
        if (!valid) {
            errno = EINVAL;
        } else {
            rc = connect(fd, reinterpret_cast<const sockaddr*>(&sa), sizeof sa);
            if (rc != 0 && errno == EINTR) {
                // The connection goes on in the background: wait for its outcome.
                if (PollFor(fd, POLLOUT, -1) > 0) {
                    int err = -1;
                    socklen_t len = sizeof err;
                    getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len);
                    rc = err == 0 ? 0 : -1;
                    errno = err;
                }
            }
        }
        if (rc != 0) {
            const int e = errno;
            close(fd);
            if (timeoutSeconds <= 0)
                LOGTEXT::LogError("connect failed .e=%d", e);
            else
                LOGTEXT::LogError("connect time failed .e=%d", e);
            return 0;
        }
    } else if (!ConnectTimeout(fd, reinterpret_cast<const sockaddr*>(&sa), sizeof sa, timeoutSeconds)) {
        LOGTEXT::LogError("connect time failed .e=%d", errno);
        return 0;
    }

    const int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    noticeId_ = lintra::RegisterForDisconnect(fd);
    socket_ = fd;
    connected_ = 1;
    return 1;
}

int CClientSession::ConnectServer2(const wchar_t* ip, unsigned port, int timeoutSeconds) {
    if (!ip) return 0;
    char narrow[32] = {};
    for (size_t i = 0; i + 1 < sizeof narrow && ip[i]; ++i)
        narrow[i] = (ip[i] > 0 && ip[i] < 0x80) ? static_cast<char>(ip[i]) : '?';
    return ConnectServer(narrow, port, timeoutSeconds);
}

int CClientSession::ConnectTimeout(int socket, const sockaddr* address, int length, int seconds) {
    const int flags = fcntl(socket, F_GETFL);
    fcntl(socket, F_SETFL, flags | O_NONBLOCK);
    int err = -1;
    if (connect(socket, address, static_cast<socklen_t>(length)) == 0) {
        err = 0;
    } else if (errno == EINPROGRESS || errno == EINTR) {
        const int ms = seconds > INT_MAX / 1000 ? INT_MAX : seconds * 1000;
        const int r = PollFor(socket, POLLOUT, ms);
        if (r > 0) {
            socklen_t len = sizeof err;
            if (getsockopt(socket, SOL_SOCKET, SO_ERROR, &err, &len) != 0) err = errno;
        } else {
            err = r == 0 ? ETIMEDOUT : errno;
        }
    } else {
        err = errno;
    }
    fcntl(socket, F_SETFL, flags);
    if (err == 0) return 1;
    close(socket);
    std::fputs("Cannot Connect the server!/n\n", stderr);
    errno = err;
    return 0;
}

const wchar_t* CClientSession::GetServerIp() const {
    // One buffer per thread: a call on another thread never overwrites it.
    thread_local wchar_t buffer[32];
    std::lock_guard<std::mutex> lk(infoMutex_);
    size_t i = 0;
    for (; i + 1 < 32 && serverAddress_[i]; ++i) {
        const auto c = static_cast<unsigned char>(serverAddress_[i]);
        buffer[i] = c < 0x80 ? static_cast<wchar_t>(c) : L'?';
    }
    buffer[i] = L'\0';
    return buffer;
}

int CClientSession::Disconnect() {
    int fd;
    uint64_t id;
    {
        std::lock_guard<std::mutex> lk(mutex_);
        fd = socket_.exchange(-1);
        connected_ = 0;
        id = noticeId_;
        noticeId_ = 0;
    }
    if (fd >= 0) {
        // Deregister first: our own shutdown must not look like the server
        // leaving, and the descriptor must not be reused while named.
        const bool mayClose = lintra::DeregisterForDisconnect(fd, id);
        shutdown(fd, SHUT_RDWR);
        if (mayClose) close(fd);
    }
    return 1;
}

void CClientSession::ShutdownLocked() {
    // The stream may hold part of a request or a late reply: it can never be
    // trusted again. The disconnect notice tells the owner.
    const int fd = socket_;
    if (fd >= 0) shutdown(fd, SHUT_RDWR);
}

int CClientSession::SendData(const void* data, int length, int) {
    std::lock_guard<std::mutex> lk(mutex_);
    const int fd = socket_;
    if (!connected_ || fd < 0) return -1;
    if (length > 0) PollFor(fd, POLLOUT, static_cast<int>(std::min<uint32_t>(ReceiveBudgetMs(), INT_MAX)));
    return static_cast<int>(send(fd, data, length < 0 ? 0 : static_cast<size_t>(length),
                                 MSG_NOSIGNAL | MSG_DONTWAIT));
}

int CClientSession::RecvData(void* buffer, int length, int) {
    std::lock_guard<std::mutex> lk(mutex_);
    const int fd = socket_;
    if (!connected_ || fd < 0) return -1;
    if (length <= 0) return 0;
    return static_cast<int>(RecvWithin(fd, buffer, static_cast<size_t>(length),
                                       platform::GetTickCount(), ReceiveBudgetMs()));
}

int CClientSession::SendAllLocked(const void* data, size_t length) {
    if (SendAll(socket_, data, length, ReceiveBudgetMs())) return 1;
    ShutdownLocked();
    return 0;
}

int CClientSession::RecvAllLocked(void* buffer, size_t length) {
    if (RecvWithin(socket_, buffer, length, platform::GetTickCount(), ReceiveBudgetMs()) == length)
        return 1;
    ShutdownLocked();
    return 0;
}

int CClientSession::ExchangeLocked(tagNETHEAD& head, const void* body, void** replyBody) {
    if (replyBody) *replyBody = nullptr;
    if (!connected_ || socket_ < 0) return 0;
    // Refused before anything is sent: the server would take the next
    // request's bytes as this body, or close on an oversized one.
    if (head.bodyLength != 0 && (!body || head.bodyLength > lintra::kMaxBodyLength)) return 0;

    if (!SendAllLocked(&head, sizeof head)) return 0;
    if (head.bodyLength != 0 && !SendAllLocked(body, head.bodyLength)) return 0;

    tagNETHEAD reply;
    if (!RecvAllLocked(&reply, sizeof reply)) return 0;
    const uint32_t length = reply.bodyLength;
    if (length > lintra::kMaxBodyLength) {
        ShutdownLocked();
        return 0;
    }
    char* kept = nullptr;
    if (length != 0) {
        if (replyBody) {
            kept = new (std::nothrow) char[length];
            if (!kept) {
                ShutdownLocked();
                return 0;
            }
            if (!RecvAllLocked(kept, length)) {
                delete[] kept;
                return 0;
            }
        } else {
            // Nobody wants it, but it must leave the stream to keep it aligned.
            static constexpr size_t kChunk = 64 * 1024;
            char scratch[kChunk];
            const uint32_t start = platform::GetTickCount();
            size_t left = length;
            while (left > 0) {
                const size_t want = std::min(left, kChunk);
                if (RecvWithin(socket_, scratch, want, start, ReceiveBudgetMs()) != want) {
                    ShutdownLocked();
                    return 0;
                }
                left -= want;
            }
        }
    }
    head = reply;
    if (replyBody) *replyBody = kept;
    return 1;
}

int CClientSession::SendSimpleCommand(tagNETHEAD& head) {
    std::lock_guard<std::mutex> lk(mutex_);
    return ExchangeLocked(head, nullptr, nullptr);
}

int CClientSession::SendAdvancedCommand(tagNETHEAD& head, const void* body, void** replyBody) {
    std::lock_guard<std::mutex> lk(mutex_);
    return ExchangeLocked(head, body, replyBody);
}
