#include "lintra/Multicast.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <map>
#include <mutex>
#include <vector>

#include "platform/packed.h"
#include "platform/thread.h"
#include "platform/tick.h"
#include "util/Util.h"

struct CMulticastReceiver::Impl {
    // configuration, copied with the object
    unsigned port = 0;
    std::string group;
    std::atomic<Callback> callback{nullptr};

    // Held by StartListen and StopListen: the network thread, the command
    // threads and the shutdown may restart or stop the receiver at once.
    std::mutex control;
    // running state
    int fd = -1;
    int wakeFd = -1;
    ip_mreq membership{};
    std::atomic<bool> listening{false};
    platform::StoppableThread thread;

    bool OpenSocket();
    void CloseSocket();
    void Run(platform::StoppableThread& self);
    void Deliver(const tagNETHEAD& head, const void* body, unsigned length, const sockaddr_in& from);
    void StopLocked();
};

bool CMulticastReceiver::Impl::OpenSocket() {
    in_addr groupAddr{};
    if (port > 65535 || inet_pton(AF_INET, group.c_str(), &groupAddr) != 1) return false;
    fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, IPPROTO_UDP);
    if (fd < 0) return false;
    int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_ANY);
    addr.sin_port = htons(static_cast<uint16_t>(port));
    if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        close(fd);
        fd = -1;
        return false;
    }
    membership = ip_mreq{};
    membership.imr_multiaddr = groupAddr;
    membership.imr_interface.s_addr = htonl(INADDR_ANY);
    if (setsockopt(fd, IPPROTO_IP, IP_ADD_MEMBERSHIP, &membership, sizeof membership) != 0) {
        close(fd);
        fd = -1;
        return false;
    }
    unsigned char off = 0;
    setsockopt(fd, IPPROTO_IP, IP_MULTICAST_LOOP, &off, sizeof off);
    // Only the joined group: Linux would otherwise hand this socket every
    // group some other socket of the host joined on the same port.
    int all = 0;
    setsockopt(fd, IPPROTO_IP, IP_MULTICAST_ALL, &all, sizeof all);
    return true;
}

void CMulticastReceiver::Impl::CloseSocket() {
    if (fd < 0) return;
    setsockopt(fd, IPPROTO_IP, IP_DROP_MEMBERSHIP, &membership, sizeof membership);
    close(fd);
    fd = -1;
}

void CMulticastReceiver::Impl::Deliver(const tagNETHEAD& head, const void* body, unsigned length,
                                       const sockaddr_in& from) {
    if (Callback cb = callback.load()) cb(lintra::kNoReplySocket, head, body, length, &from);
}

// A message is a 384-byte head datagram, followed by one body datagram from
// the same sender when the head announces a body. Datagrams of any other
// length are dropped; a head whose body does not follow within kBodyWaitMs,
// or is followed by a datagram of another length, is dropped too, and that
// datagram is then taken on its own.
void CMulticastReceiver::Impl::Run(platform::StoppableThread& self) {
    struct Pending {
        tagNETHEAD head;
        uint32_t since;
    };
    std::map<uint64_t, Pending> pending;  // by sender address and port
    std::vector<uint8_t> buf(65536);

    while (listening && !self.StopRequested()) {
        int timeout = -1;
        uint32_t now = platform::GetTickCount();
        for (const auto& [key, p] : pending) {
            uint32_t waited = std::min(platform::TickDiff(now, p.since), kBodyWaitMs);
            int left = static_cast<int>(kBodyWaitMs - waited);
            timeout = timeout < 0 ? left : std::min(timeout, left);
        }
        pollfd pfd[2] = {{fd, POLLIN, 0}, {wakeFd, POLLIN, 0}};
        int r = poll(pfd, 2, timeout);
        if (r < 0 && errno == EINTR) continue;
        if (r >= 0 && pfd[1].revents != 0) break;
        if (r < 0 || (pfd[0].revents & POLLNVAL) != 0) {
            LOGTEXT::LogDebug("multi broadcast select error!!!");
            if (!listening) break;
            CloseSocket();
            pending.clear();
            if (!OpenSocket()) {
                listening = false;
                break;
            }
            continue;
        }

        for (;;) {
            sockaddr_in from{};
            socklen_t fromLen = sizeof from;
            // MSG_TRUNC: the real length, even of a datagram larger than the buffer.
            ssize_t n = recvfrom(fd, buf.data(), buf.size(), MSG_TRUNC | MSG_DONTWAIT,
                                 reinterpret_cast<sockaddr*>(&from), &fromLen);
            if (n < 0) {
                if (errno == EINTR) continue;
                break;  // drained (or an error report, which carries no data)
            }
            const size_t length = static_cast<size_t>(n);
            const uint64_t key = (uint64_t{from.sin_addr.s_addr} << 16) | from.sin_port;

            auto it = pending.find(key);
            if (it != pending.end()) {
                Pending p = it->second;
                pending.erase(it);
                if (length == p.head.bodyLength &&
                    platform::TickDiff(platform::GetTickCount(), p.since) <= kBodyWaitMs) {
                    Deliver(p.head, buf.data(), p.head.bodyLength, from);
                    continue;
                }
            }
            if (length != sizeof(tagNETHEAD)) continue;
            tagNETHEAD head = platform::LoadRecord<tagNETHEAD>(buf.data());
            if (head.bodyLength == 0) {
                Deliver(head, buf.data(), 0, from);
            } else if (head.bodyLength <= kMaxBodyLength) {
                pending[key] = Pending{head, platform::GetTickCount()};
            }
        }

        now = platform::GetTickCount();
        std::erase_if(pending, [&](const auto& e) { return platform::TickDiff(now, e.second.since) >= kBodyWaitMs; });
    }
}

CMulticastReceiver::CMulticastReceiver() : m_impl(std::make_unique<Impl>()) {}

CMulticastReceiver::CMulticastReceiver(const CMulticastReceiver& other) : m_impl(std::make_unique<Impl>()) {
    *this = other;
}

CMulticastReceiver& CMulticastReceiver::operator=(const CMulticastReceiver& other) {
    if (this != &other) {
        m_impl->port = other.m_impl->port;
        m_impl->group = other.m_impl->group;
        m_impl->callback = other.m_impl->callback.load();
    }
    return *this;
}

CMulticastReceiver::~CMulticastReceiver() {
    StopListen();
}

void CMulticastReceiver::SetCallback(Callback callback) {
    m_impl->callback = callback;
}

bool CMulticastReceiver::IsListening() const {
    return m_impl->listening;
}

int CMulticastReceiver::StartListen(const char* group, unsigned port) {
    Impl& s = *m_impl;
    std::lock_guard lock(s.control);
    s.StopLocked();
    s.group = group ? group : "";
    s.port = port;
    if (!s.OpenSocket()) return 0;
    s.wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (s.wakeFd < 0) {
        s.CloseSocket();
        return 0;
    }
    s.listening = true;
    Impl* impl = m_impl.get();
    if (!s.thread.Start([impl](platform::StoppableThread& self) { impl->Run(self); }, "multicast-recv")) {
        s.listening = false;
        s.CloseSocket();
        close(s.wakeFd);
        s.wakeFd = -1;
        return 0;
    }
    return 1;
}

void CMulticastReceiver::Impl::StopLocked() {
    Impl& s = *this;
    s.listening = false;
    s.thread.RequestStop();
    if (s.wakeFd >= 0) {
        uint64_t v = 1;
        ssize_t r = write(s.wakeFd, &v, sizeof v);
        (void)r;
    }
    s.thread.Join();
    s.CloseSocket();
    if (s.wakeFd >= 0) {
        close(s.wakeFd);
        s.wakeFd = -1;
    }
}

int CMulticastReceiver::StopListen() {
    std::lock_guard lock(m_impl->control);
    m_impl->StopLocked();
    return 1;
}

// ---------------------------------------------------------------- sender

CMutlicastSender::CMutlicastSender() = default;

CMutlicastSender::CMutlicastSender(const CMutlicastSender& other) {
    *this = other;
}

CMutlicastSender& CMutlicastSender::operator=(const CMutlicastSender& other) {
    if (this != &other) {
        UnInit();
        if (other.m_socket >= 0) m_socket = fcntl(other.m_socket, F_DUPFD_CLOEXEC, 0);
        m_group = other.m_group;
        m_port = other.m_port;
    }
    return *this;
}

CMutlicastSender::~CMutlicastSender() {
    UnInit();
}

int CMutlicastSender::Init(const char* group, unsigned port, int ttl, int loop) {
    UnInit();
    in_addr addr{};
    if (!group || port > 65535 || inet_pton(AF_INET, group, &addr) != 1) return 0;
    m_socket = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
    if (m_socket < 0) return 0;
    unsigned char ttlByte = static_cast<unsigned char>(std::clamp(ttl, 0, 255));
    setsockopt(m_socket, IPPROTO_IP, IP_MULTICAST_TTL, &ttlByte, sizeof ttlByte);
    // On Linux this flag of the sending socket decides whether receivers on
    // this host, in this process or another, get the datagram; the
    // receiver's own flag only concerns what the receiver sends.
    unsigned char loopByte = loop ? 1 : 0;
    setsockopt(m_socket, IPPROTO_IP, IP_MULTICAST_LOOP, &loopByte, sizeof loopByte);
    m_group = addr.s_addr;
    m_port = htons(static_cast<uint16_t>(port));
    return 1;
}

int CMutlicastSender::SendData(const void* data, int length) {
    if (m_socket < 0 || length < 0 || (length > 0 && !data)) return -1;
    sockaddr_in dest{};
    dest.sin_family = AF_INET;
    dest.sin_addr.s_addr = m_group;
    dest.sin_port = m_port;
    return static_cast<int>(sendto(m_socket, data, static_cast<size_t>(length), MSG_NOSIGNAL,
                                   reinterpret_cast<sockaddr*>(&dest), sizeof dest));
}

void CMutlicastSender::UnInit() {
    if (m_socket >= 0) close(m_socket);
    m_socket = -1;
}
