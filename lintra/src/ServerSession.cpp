#include "lintra/ServerSession.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>

#include "platform/fdlimit.h"
#include "platform/thread.h"
#include "util/Util.h"

struct CServerSession::Impl {
    // configuration, copied with the object
    DataCallback callback = nullptr;
    DataCallback2 callback2 = nullptr;
    void* user = nullptr;
    unsigned port = 0;

    // running state
    int listenFd = -1;
    platform::StoppableThread listenThread;
    std::mutex mu;  // client list, address map and thread list
    std::vector<int> clients;
    std::map<int, sockaddr_in> addresses;
    struct Activity {
        uint32_t address = 0;     // the peer's IPv4 address
        int64_t lastActive = 0;   // steady ms of its last chunk
        bool busy = false;        // in a callback
    };
    std::map<int, Activity> activity;
    std::condition_variable clientEnded;  // a client thread has left the list
    std::vector<std::unique_ptr<platform::StoppableThread>> clientThreads;
    int spareFd = -1;

    void ListenLoop(platform::StoppableThread& self);
    int Accept(sockaddr_in& peer);
    // Shuts down the longest idle client of the address with the most
    // clients (its thread then ends); false when every client is busy.
    bool DropOneIdleClient();
    void ClientLoop(int fd);
    void ReapFinished();
};

CServerSession::CServerSession() : m_impl(std::make_unique<Impl>()) {}

CServerSession::CServerSession(const CServerSession& other) : m_impl(std::make_unique<Impl>()) {
    *this = other;
}

CServerSession& CServerSession::operator=(const CServerSession& other) {
    if (this != &other) {
        m_impl->callback = other.m_impl->callback;
        m_impl->callback2 = other.m_impl->callback2;
        m_impl->user = other.m_impl->user;
        m_impl->port = other.m_impl->port;
    }
    return *this;
}

CServerSession::~CServerSession() {
    StopListen();
}

void CServerSession::SetDataReceiverCallback(DataCallback callback) {
    m_impl->callback = callback;
}

void CServerSession::SetDataReceiverCallback2(DataCallback2 callback, void* user) {
    m_impl->callback2 = callback;
    m_impl->user = user;
}

int CServerSession::StartListen(unsigned port) {
    StopListen();
    m_impl->port = port;
    if (port > 65535) return 0;
    platform::RaiseDescriptorLimit();
    if (m_impl->spareFd < 0) m_impl->spareFd = open("/dev/null", O_RDONLY | O_CLOEXEC);

    // Bound here rather than in the thread, so that a busy port reports 0.
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
    if (fd < 0) return 0;
    int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_ANY);
    addr.sin_port = htons(static_cast<uint16_t>(port));
    if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(fd, SOMAXCONN) != 0) {
        close(fd);
        return 0;
    }
    socklen_t len = sizeof addr;
    if (getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0) m_impl->port = ntohs(addr.sin_port);
    m_impl->listenFd = fd;

    Impl* impl = m_impl.get();
    if (!impl->listenThread.Start([impl](platform::StoppableThread& self) { impl->ListenLoop(self); },
                                  "session-listen")) {
        close(fd);
        m_impl->listenFd = -1;
        return 0;
    }
    return 1;
}

namespace {

// Concurrent clients (one thread each); beyond it an idle client gives way.
constexpr size_t kMaxTextClients = 64;
// A command comes in one chunk: a client silent this long is closed, so
// that idle connections do not hold threads and descriptors.
constexpr int kIdleTimeoutMs = 5000;

int64_t SteadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

int CServerSession::Impl::Accept(sockaddr_in& peer) {
    socklen_t len = sizeof peer;
    int fd = accept4(listenFd, reinterpret_cast<sockaddr*>(&peer), &len, SOCK_CLOEXEC);
    if (fd < 0 && (errno == EMFILE || errno == ENFILE) && spareFd >= 0) {
        // Out of descriptors: the spare one takes the newcomer while an idle
        // client gives its own up.
        close(spareFd);
        len = sizeof peer;
        fd = accept4(listenFd, reinterpret_cast<sockaddr*>(&peer), &len, SOCK_CLOEXEC);
        const int err = errno;
        spareFd = open("/dev/null", O_RDONLY | O_CLOEXEC);
        errno = err;
    }
    return fd;
}

bool CServerSession::Impl::DropOneIdleClient() {
    // Under mu.
    std::map<uint32_t, size_t> perAddress;
    for (const auto& [fd, a] : activity) ++perAddress[a.address];
    int victim = -1;
    size_t most = 0;
    int64_t victimIdleSince = 0;
    for (const auto& [fd, a] : activity) {
        if (a.busy) continue;
        const size_t n = perAddress[a.address];
        if (victim < 0 || n > most || (n == most && a.lastActive < victimIdleSince)) {
            victim = fd;
            most = n;
            victimIdleSince = a.lastActive;
        }
    }
    if (victim < 0) return false;
    // Out of the reckoning at once; its thread removes the rest as it ends.
    activity.erase(victim);
    shutdown(victim, SHUT_RDWR);
    return true;
}

void CServerSession::Impl::ListenLoop(platform::StoppableThread& self) {
    while (!self.StopRequested()) {
        sockaddr_in peer{};
        int fd = Accept(peer);
        if (fd < 0) {
            int err = errno;
            if (self.StopRequested()) break;
            if (err == EINTR || err == ECONNABORTED) continue;
            std::printf("accept failed: %d\n", err);
            std::fflush(stdout);
            LOGTEXT::LogDebug("accept failed");
            // Out of descriptors and the like: keep listening once it passes.
            self.SleepFor(100);
            continue;
        }
        ReapFinished();
        auto thread = std::make_unique<platform::StoppableThread>();
        std::unique_lock<std::mutex> lk(mu);
        // One thread per client: idle connections must not take them all, nor
        // one peer's connections everybody's share. The client given up ends
        // its thread before the newcomer's starts, so threads stay bounded.
        if (clients.size() >= kMaxTextClients && DropOneIdleClient()) {
            clientEnded.wait_for(lk, std::chrono::seconds(1), [&] { return clients.size() < kMaxTextClients; });
        }
        if (clients.size() >= kMaxTextClients) {
            LOGTEXT::LogError("text client refused: %zu clients connected already.", clients.size());
            close(fd);
            continue;
        }
        // Listed before its thread starts, so StopListen always reaches it.
        clients.push_back(fd);
        activity[fd] = Activity{peer.sin_addr.s_addr, SteadyMs(), false};
        if (!thread->Start([this, fd](platform::StoppableThread&) { ClientLoop(fd); }, "session-client")) {
            clients.erase(std::remove(clients.begin(), clients.end(), fd), clients.end());
            close(fd);
            continue;
        }
        clientThreads.push_back(std::move(thread));
    }
}

void CServerSession::Impl::ReapFinished() {
    std::vector<std::unique_ptr<platform::StoppableThread>> done;
    {
        std::lock_guard<std::mutex> lk(mu);
        auto it = std::partition(clientThreads.begin(), clientThreads.end(),
                                 [](const auto& t) { return t->Running(); });
        std::move(it, clientThreads.end(), std::back_inserter(done));
        clientThreads.erase(it, clientThreads.end());
    }
    for (auto& t : done) t->Join();
}

void CServerSession::Impl::ClientLoop(int fd) {
    sockaddr_in peer{};
    socklen_t len = sizeof peer;
    if (getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &len) == 0) {
        std::lock_guard<std::mutex> lk(mu);
        addresses[fd] = peer;
    }
    // One byte beyond the chunk for the terminator.
    char buf[kChunkSize + 1];
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        const int ready = poll(&p, 1, kIdleTimeoutMs);
        if (ready < 0 && errno == EINTR) continue;
        if (ready == 0) {
            LOGTEXT::LogDebug("text client %d idle for %d ms, closed", fd, kIdleTimeoutMs);
            break;
        }
        ssize_t n = recv(fd, buf, kChunkSize, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n < 1) break;
        buf[n] = '\0';
        int length = static_cast<int>(n);
        auto mark = [&](bool busy) {
            std::lock_guard<std::mutex> lk(mu);
            auto it = activity.find(fd);
            if (it == activity.end()) return;
            it->second.busy = busy;
            it->second.lastActive = SteadyMs();
        };
        mark(true);
        struct Idle {
            decltype(mark)& m;
            ~Idle() { m(false); }
        } idle{mark};
        if (callback) {
            int r = callback(fd, buf, length);
            if (r == -1) break;
            // The second callback never reads past what was received.
            length = std::clamp(r, 0, static_cast<int>(n));
        }
        if (callback2 && callback2(fd, buf, length, user) == -1) break;
    }
    {
        std::lock_guard<std::mutex> lk(mu);
        clients.erase(std::remove(clients.begin(), clients.end(), fd), clients.end());
        addresses.erase(fd);
        activity.erase(fd);
    }
    clientEnded.notify_all();
    close(fd);
}

void CServerSession::StopListen() {
    Impl& s = *m_impl;
    if (s.listenFd >= 0) {
        // shutdown wakes the blocked accept; the descriptor is closed only
        // after the thread has ended so that it cannot be reused under it.
        s.listenThread.RequestStop();
        shutdown(s.listenFd, SHUT_RDWR);
        s.listenThread.Join();
        close(s.listenFd);
        s.listenFd = -1;
    }
    std::vector<std::unique_ptr<platform::StoppableThread>> threads;
    {
        std::lock_guard<std::mutex> lk(s.mu);
        for (int fd : s.clients) shutdown(fd, SHUT_RDWR);
        threads.swap(s.clientThreads);
    }
    for (auto& t : threads) t->Join();
    std::lock_guard<std::mutex> lk(s.mu);
    s.clients.clear();
    s.addresses.clear();
    s.activity.clear();
    if (s.spareFd >= 0) {
        close(s.spareFd);
        s.spareFd = -1;
    }
}

int CServerSession::SendDataToAllClient(const char* data, int length) {
    if (length < 0 || (length > 0 && !data)) return -1;
    // Each send goes to a duplicate, so a client thread closing its socket
    // meanwhile cannot let the number be reused under the send.
    std::vector<int> dups;
    {
        std::lock_guard<std::mutex> lk(m_impl->mu);
        for (int fd : m_impl->clients) {
            int d = fcntl(fd, F_DUPFD_CLOEXEC, 0);
            if (d >= 0) dups.push_back(d);
        }
    }
    int result = 0;
    for (int d : dups) {
        result = static_cast<int>(send(d, data, static_cast<size_t>(length), MSG_NOSIGNAL));
        close(d);
    }
    return result;
}

int CServerSession::GetSocketIpAddr(int socket, sockaddr_in& address) {
    socklen_t len = sizeof address;
    return getpeername(socket, reinterpret_cast<sockaddr*>(&address), &len);
}

int CServerSession::GetSocketIpAddr(int socket, char* text, int* port) {
    sockaddr_in addr{};
    int r = GetSocketIpAddr(socket, addr);
    if (r == 0) {
        if (text) inet_ntop(AF_INET, &addr.sin_addr, text, INET_ADDRSTRLEN);
        if (port) *port = ntohs(addr.sin_port);
    }
    return r;
}

int CServerSession::GetAllClientSocket(int* sockets, sockaddr_in* addresses, int capacity) {
    std::lock_guard<std::mutex> lk(m_impl->mu);
    int n = 0;
    for (const auto& [fd, addr] : m_impl->addresses) {
        if (n >= capacity) break;
        if (sockets) sockets[n] = fd;
        if (addresses) addresses[n] = addr;
        ++n;
    }
    return n;
}

std::vector<int> CServerSession::GetAllClientSocket() {
    std::lock_guard<std::mutex> lk(m_impl->mu);
    return m_impl->clients;
}

unsigned CServerSession::GetListenPort() const {
    return m_impl->listenFd >= 0 ? m_impl->port : 0;
}
