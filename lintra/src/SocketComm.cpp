#include "lintra/SocketComm.h"

#include <arpa/inet.h>
#include <errno.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// Port number from text: digits are a number, anything else a service name.
// 0 when unknown or out of range.
uint16_t PortFromText(const char* text) {
    if (!text || !*text) return 0;
    if (*text >= '0' && *text <= '9') {
        char* end = nullptr;
        unsigned long v = std::strtoul(text, &end, 10);
        return v <= 65535 ? static_cast<uint16_t>(v) : 0;
    }
    struct servent se;
    struct servent* found = nullptr;
    char buf[1024];
    if (getservbyname_r(text, nullptr, &se, buf, sizeof buf, &found) != 0 || !found) return 0;
    return ntohs(static_cast<uint16_t>(found->s_port));
}

// IPv4 address of host (dotted text or a name); an empty host is this
// machine's name.
bool HostAddress(const char* host, in_addr* out) {
    std::string name = host ? host : "";
    if (name.empty()) {
        char local[261] = {};
        if (gethostname(local, sizeof local - 1) != 0) return false;
        name = local;
    }
    if (inet_pton(AF_INET, name.c_str(), out) == 1) return true;
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
            *out = sin.sin_addr;
            ok = true;
            break;
        }
    }
    freeaddrinfo(res);
    return ok;
}

}  // namespace

CSocketComm::CSocketComm() = default;

CSocketComm::~CSocketComm() { CloseComm(); }

bool CSocketComm::ConnectTo(const char* host, const char* port, int sockType) {
    if (m_hComm >= 0) return false;
    if (sockType != SOCK_STREAM && sockType != SOCK_DGRAM) return false;
    sockaddr_in peer;
    std::memset(&peer, 0, sizeof peer);
    peer.sin_family = AF_INET;
    peer.sin_port = htons(PortFromText(port));
    if (peer.sin_port == 0 || !HostAddress(host, &peer.sin_addr)) return false;

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
    int r;
    do {
        r = ::connect(s, reinterpret_cast<sockaddr*>(&peer), sizeof peer);
    } while (r != 0 && errno == EINTR);
    if (r != 0) {
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
    if (m_hComm >= 0) {
        ::shutdown(m_hComm, SHUT_RDWR);
        ::close(m_hComm);
        m_hComm = -1;
    }
}
