#include "lintra/SocketComm.h"

#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "platform/thread.h"
#include "util/Util.h"

namespace {

constexpr uint32_t kWatchJoinMs = 1000;
constexpr size_t kHostNameMax = 260;

// Read results of the watch thread besides a count.
constexpr int kReadFailed = -1;   // event 2, go on
constexpr int kReadDropped = -2;  // nothing to hand on, go on
constexpr int kReadEnd = -3;      // the endpoint is stopping or its socket is gone

// Local host name into out (at most kHostNameMax characters), replaced by the
// canonical name when it resolves.
int LocalName(std::string& out) {
    char local[kHostNameMax + 2] = {};
    if (gethostname(local, kHostNameMax + 1) != 0) return errno == ENAMETOOLONG ? 122 : errno;
    local[kHostNameMax + 1] = '\0';
    if (std::strlen(local) > kHostNameMax) return 122;
    out = local;
    struct addrinfo hints;
    std::memset(&hints, 0, sizeof hints);
    hints.ai_family = AF_INET;
    hints.ai_flags = AI_CANONNAME;
    struct addrinfo* res = nullptr;
    if (getaddrinfo(local, nullptr, &hints, &res) == 0 && res) {
        if (res->ai_canonname && *res->ai_canonname) out = res->ai_canonname;
        freeaddrinfo(res);
    }
    return out.size() > kHostNameMax ? 122 : 0;
}

// Two addresses are the same peer when family, port and IPv4 address match
// (the first 8 bytes of a sockaddr_in).
bool SamePeer(const sockaddr_in& a, const sockaddr_in& b) {
    return a.sin_family == b.sin_family && a.sin_port == b.sin_port && a.sin_addr.s_addr == b.sin_addr.s_addr;
}

int SocketType(int fd) {
    int type = 0;
    socklen_t len = sizeof type;
    if (getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &len) != 0) return 0;
    return type;
}

}  // namespace

// What the watch thread shares with its owner. A thread left behind after a
// timed-out stop keeps it, and with it the descriptors it may still poll.
struct CSocketComm::WatchState {
    std::atomic<bool> stop{false};
    int wake = -1;                 // eventfd that ends a wait
    int socket = -1;               // the socket being watched
    std::atomic<bool> ownsSocket{false};

    ~WatchState() {
        if (ownsSocket.load() && socket >= 0) ::close(socket);
        if (wake >= 0) ::close(wake);
    }
};

struct CSocketComm::Impl {
    bool smart = false;
    mutable std::mutex peerLock;
    std::vector<sockaddr_in> peers;
    std::unique_ptr<platform::StoppableThread> thread;
    std::mutex watchLock;  // the watch thread reads `watch` while a stop may clear it
    std::shared_ptr<WatchState> watch;

    std::shared_ptr<WatchState> Watch() {
        std::lock_guard<std::mutex> lock(watchLock);
        return watch;
    }
    void SetWatch(std::shared_ptr<WatchState> w) {
        std::lock_guard<std::mutex> lock(watchLock);
        watch = std::move(w);
    }
};

CSocketComm::CSocketComm() : d(std::make_unique<Impl>()) {}

CSocketComm::~CSocketComm() { StopComm(); }

// ---- addresses ----

uint16_t CSocketComm::GetPortNumber(const char* text) {
    if (!text || !*text) return 0;
    if (*text >= '0' && *text <= '9') {
        char* end = nullptr;
        errno = 0;
        unsigned long v = std::strtoul(text, &end, 10);
        return (errno == 0 && v <= 65535) ? static_cast<uint16_t>(v) : 0;
    }
    struct servent se;
    struct servent* found = nullptr;
    char buf[1024];
    if (getservbyname_r(text, nullptr, &se, buf, sizeof buf, &found) != 0 || !found) return 0;
    return ntohs(static_cast<uint16_t>(found->s_port));
}

bool CSocketComm::GetIPAddress(const char* host, uint32_t& address) {
    std::string name = host ? host : "";
    if (name.empty() && LocalName(name) != 0) return false;
    in_addr a;
    // inet_aton takes the same forms as inet_addr ("127.1", hex parts), and
    // "255.255.255.255" is an address like any other here.
    if (inet_aton(name.c_str(), &a) != 0) {
        address = ntohl(a.s_addr);
        return true;
    }
    struct addrinfo hints;
    std::memset(&hints, 0, sizeof hints);
    hints.ai_family = AF_INET;
    struct addrinfo* res = nullptr;
    if (getaddrinfo(name.c_str(), nullptr, &hints, &res) != 0 || !res) return false;
    bool ok = false;
    for (auto* ai = res; ai; ai = ai->ai_next) {
        if (ai->ai_family == AF_INET && ai->ai_addrlen >= sizeof(sockaddr_in)) {
            sockaddr_in sin;
            std::memcpy(&sin, ai->ai_addr, sizeof sin);
            address = ntohl(sin.sin_addr.s_addr);
            ok = true;
            break;
        }
    }
    freeaddrinfo(res);
    return ok;
}

bool CSocketComm::GetAddressAndPort(const char* host, const char* port, sockaddr_in& out, int family) {
    std::memset(&out, 0, sizeof out);
    uint32_t address = 0;
    if (!GetIPAddress(host, address)) return false;
    out.sin_family = static_cast<sa_family_t>(family);
    out.sin_addr.s_addr = htonl(address);
    out.sin_port = htons(GetPortNumber(port));
    return address != 0 || out.sin_port != 0;
}

int CSocketComm::GetLocalName(char* name, size_t size) {
    if (!name || size == 0) return 87;
    std::string local;
    const int rc = LocalName(local);
    if (rc != 0) return rc;
    if (local.size() + 1 > size) return 122;
    std::memcpy(name, local.c_str(), local.size() + 1);
    return 0;
}

// ---- client side ----

bool CSocketComm::ConnectTo(const char* host, const char* port, int sockType, int timeoutMs) {
    if (m_hComm >= 0) return false;
    if (sockType != SOCK_STREAM && sockType != SOCK_DGRAM) return false;
    sockaddr_in peer;
    if (!GetAddressAndPort(host, port, peer, AF_INET) || peer.sin_port == 0) return false;

    int s = ::socket(AF_INET, sockType | SOCK_CLOEXEC, 0);
    if (s < 0) return false;
    // Any local address: the route picks the interface that reaches the peer.
    sockaddr_in local;
    std::memset(&local, 0, sizeof local);
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    if (::bind(s, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        ::close(s);
        return false;
    }
    // Connected without blocking, so that a silent peer (a host that drops
    // the handshake) fails after the timeout instead of the kernel's minutes.
    const int flags = ::fcntl(s, F_GETFL, 0);
    if (flags < 0 || ::fcntl(s, F_SETFL, flags | O_NONBLOCK) != 0) {
        ::close(s);
        return false;
    }
    int r = ::connect(s, reinterpret_cast<sockaddr*>(&peer), sizeof peer);
    if (r != 0 && (errno == EINPROGRESS || errno == EINTR)) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(0, timeoutMs));
        for (;;) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            struct pollfd pfd{s, POLLOUT, 0};
            const int pr = ::poll(&pfd, 1, left.count() <= 0 ? 0 : static_cast<int>(left.count()));
            if (pr < 0 && errno == EINTR) continue;
            if (pr <= 0) {
                errno = pr == 0 ? ETIMEDOUT : errno;
                break;
            }
            int error = 0;
            socklen_t len = sizeof error;
            if (::getsockopt(s, SOL_SOCKET, SO_ERROR, &error, &len) == 0 && error == 0) r = 0;
            else errno = error;
            break;
        }
    }
    if (r != 0 || ::fcntl(s, F_SETFL, flags) != 0) {
        ::close(s);
        return false;
    }
    if (sockType == SOCK_STREAM) {
        int one = 1;
        ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    }
    m_hComm = s;
    return true;
}

int CSocketComm::WriteComm(const void* buffer, int length, uint32_t timeoutMs) {
    if (m_hComm < 0 || !buffer || length < 0) return 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    const auto* p = static_cast<const char*>(buffer);
    int sent = 0;
    // A peer that stops reading must not hold the caller: every send is
    // non-blocking and the waits share one deadline.
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        int waitMs = left.count() <= 0 ? 0 : (left.count() > INT_MAX ? INT_MAX : static_cast<int>(left.count()));
        struct pollfd pfd{m_hComm, POLLOUT, 0};
        int pr = ::poll(&pfd, 1, waitMs);
        if (pr < 0) {
            if (errno == EINTR) continue;
            return sent ? sent : -1;
        }
        if (pr == 0) return sent;
        ssize_t n = ::send(m_hComm, p + sent, static_cast<size_t>(length - sent), MSG_DONTWAIT | MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
            return sent ? sent : -1;
        }
        sent += static_cast<int>(n);
        if (sent >= length) return sent;
    }
}

void CSocketComm::CloseComm() {
    if (d->thread) {
        StopComm();
        return;
    }
    if (m_hComm >= 0) {
        ::shutdown(m_hComm, SHUT_RDWR);
        ::close(m_hComm);
        m_hComm = -1;
    }
}

bool CSocketComm::AttachSocket(int socket) {
    if (m_hComm >= 0 || socket < 0) return false;
    m_hComm = socket;
    return true;
}

uint16_t CSocketComm::GetLocalPort() const {
    if (m_hComm < 0) return 0;
    sockaddr_in sin;
    socklen_t len = sizeof sin;
    std::memset(&sin, 0, sizeof sin);
    if (getsockname(m_hComm, reinterpret_cast<sockaddr*>(&sin), &len) != 0) return 0;
    return ntohs(sin.sin_port);
}

// ---- watching ----

bool CSocketComm::SetSmartAddressing(bool on) {
    if (d->thread) return false;
    d->smart = on;
    return true;
}

bool CSocketComm::IsSmartAddressing() const { return d->smart; }

bool CSocketComm::IsWatching() const { return d->thread != nullptr; }

bool CSocketComm::WatchComm() {
    if (d->thread || m_hComm < 0) return false;
    auto watch = std::make_shared<WatchState>();
    watch->wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (watch->wake < 0) return false;
    watch->socket = m_hComm;
    auto thread = std::make_unique<platform::StoppableThread>();
    d->SetWatch(watch);
    if (!thread->Start([this](platform::StoppableThread&) { Run(); }, "socket watch")) {
        d->SetWatch(nullptr);
        return false;
    }
    d->thread = std::move(thread);
    return true;
}

void CSocketComm::StopComm() {
    std::shared_ptr<WatchState> watch = d->Watch();
    if (watch) {
        watch->stop.store(true);
        const uint64_t one = 1;
        [[maybe_unused]] ssize_t w = ::write(watch->wake, &one, sizeof one);
    }
    if (m_hComm >= 0) ::shutdown(m_hComm, SHUT_RDWR);
    bool closeNow = true;
    if (d->thread) {
        if (!d->thread->Join(kWatchJoinMs, "socket watch thread did not end in time; left behind")) {
            // The thread may still poll the socket: it is closed when the
            // thread lets go of the shared state.
            watch->ownsSocket.store(true);
            closeNow = false;
        }
        d->thread.reset();
    }
    d->SetWatch(nullptr);
    if (m_hComm >= 0 && closeNow) ::close(m_hComm);
    m_hComm = -1;
    std::lock_guard<std::mutex> lock(d->peerLock);
    d->peers.clear();
}

std::vector<std::string> CSocketComm::GetPeerList() const {
    std::lock_guard<std::mutex> lock(d->peerLock);
    std::vector<std::string> out;
    for (const auto& p : d->peers) {
        char text[INET_ADDRSTRLEN] = {};
        inet_ntop(AF_INET, &p.sin_addr, text, sizeof text);
        out.push_back(std::string(text) + ":" + std::to_string(ntohs(p.sin_port)));
    }
    return out;
}

void CSocketComm::OnDataReceived(const uint8_t*, uint32_t) {}

void CSocketComm::OnEvent(uint32_t, void*) {}

void CSocketComm::ForgetPeer(const uint8_t* address) {
    sockaddr_in who;
    std::memcpy(&who, address, sizeof who);
    std::lock_guard<std::mutex> lock(d->peerLock);
    d->peers.erase(std::remove_if(d->peers.begin(), d->peers.end(),
                                  [&](const sockaddr_in& p) { return SamePeer(p, who); }),
                   d->peers.end());
}

int CSocketComm::ReadComm(WatchState& watch, uint8_t* buffer, uint32_t size) {
    const bool smart = d->smart;
    const uint32_t header = smart ? kAddressHeaderSize : 0;
    if (size <= header) return kReadEnd;
    for (;;) {
        if (watch.stop.load()) return kReadEnd;
        struct pollfd pfd[2] = {{watch.socket, POLLIN, 0}, {watch.wake, POLLIN, 0}};
        const int pr = ::poll(pfd, 2, -1);
        if (pr < 0) {
            if (errno == EINTR) continue;
            return kReadEnd;
        }
        if (watch.stop.load() || (pfd[1].revents & POLLIN)) return kReadEnd;
        if (pfd[0].revents & POLLNVAL) return kReadEnd;
        if (pfd[0].revents == 0) continue;

        sockaddr_in from;
        std::memset(&from, 0, sizeof from);
        socklen_t fromLen = sizeof from;
        const uint32_t room = size - header;
        // MSG_TRUNC gives a datagram's real length: one cut to the buffer
        // would hand on a message with its end missing.
        ssize_t n = ::recvfrom(watch.socket, buffer + header, room, MSG_DONTWAIT | MSG_TRUNC,
                               reinterpret_cast<sockaddr*>(&from), &fromLen);
        const int err = n < 0 ? errno : 0;
        if (n < 0 && (err == EINTR || err == EAGAIN || err == EWOULDBLOCK)) continue;
        const int type = SocketType(watch.socket);
        if (type == SOCK_STREAM && n == 0) return kReadEnd;  // the peer closed
        if (type == SOCK_STREAM && n < 0) return kReadEnd;
        if (type == SOCK_STREAM || fromLen < sizeof(sa_family_t) || from.sin_family != AF_INET) {
            socklen_t len = sizeof from;
            if (getpeername(watch.socket, reinterpret_cast<sockaddr*>(&from), &len) != 0)
                std::memset(&from, 0, sizeof from);
        }
        std::memset(from.sin_zero, 0, sizeof from.sin_zero);
        if (!smart) {
            if (n < 0) return kReadFailed;
            if (static_cast<size_t>(n) > room) {
                LOGTEXT::LogDebug("socket watch: datagram of %d bytes dropped", static_cast<int>(n));
                return kReadDropped;
            }
            return static_cast<int>(n);
        }
        {
            std::lock_guard<std::mutex> lock(d->peerLock);
            auto& peers = d->peers;
            peers.erase(std::remove_if(peers.begin(), peers.end(), [&](const sockaddr_in& p) { return SamePeer(p, from); }),
                        peers.end());
            if (n >= 0) {
                peers.push_back(from);
            } else if (err == ECONNREFUSED && peers.size() == 1) {
                peers.clear();
            }
        }
        if (n < 0) return kReadFailed;
        if (static_cast<size_t>(n) > room) {
            LOGTEXT::LogDebug("socket watch: datagram of %d bytes dropped", static_cast<int>(n));
            return kReadDropped;
        }
        std::memcpy(buffer, &from, sizeof from);
        return static_cast<int>(n) + static_cast<int>(header);
    }
}

void CSocketComm::Run() {
    std::shared_ptr<WatchState> watch = d->Watch();
    if (!watch) return;
    const bool smart = d->smart;
    const uint32_t size = kReceiveDataSize + (smart ? kAddressHeaderSize : 0);
    std::vector<uint8_t> buffer(size);
    const bool datagram = SocketType(watch->socket) == SOCK_DGRAM;
    while (!watch->stop.load()) {
        std::fill(buffer.begin(), buffer.end(), 0);
        const int n = ReadComm(*watch, buffer.data(), size);
        if (n == kReadEnd) break;
        if (n == kReadDropped) continue;
        if (n == kReadFailed) {
            if (watch->stop.load()) break;
            if (smart) ForgetPeer(buffer.data());
            OnEvent(kEventReadFailed, smart ? buffer.data() : nullptr);
            continue;
        }
        if (n == static_cast<int>(smart ? kAddressHeaderSize : 0)) {
            if (datagram) OnEvent(kEventEmptyDatagram, nullptr);
            continue;
        }
        OnDataReceived(buffer.data(), static_cast<uint32_t>(n));
    }
}
