#include "NetCompletionPort.h"

#include <algorithm>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/epoll.h>
#include <linux/sockios.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <chrono>
#include <map>
#include <thread>

#include "platform/fdlimit.h"
#include "platform/packed.h"
#include "util/Util.h"

namespace lintra {

namespace {

// Epoll key of the stop eventfd; client keys carry a descriptor below 2^31.
constexpr uint64_t kWakeKey = ~uint64_t{0};

uint64_t ClientKey(int fd, uint32_t id) { return (uint64_t{id} << 32) | static_cast<uint32_t>(fd); }

int64_t SteadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

int OpenSpare() { return open("/dev/null", O_RDONLY | O_CLOEXEC); }

}  // namespace

NetCompletionPort::NetCompletionPort() = default;

NetCompletionPort::~NetCompletionPort() {
    Stop();
    FreePools();
}

bool NetCompletionPort::Start(int port) {
    if (port < 0 || port > 65535) return false;

    // Every client holds a descriptor: take all the system allows, and keep
    // some for the rest of the process.
    const size_t limit = platform::RaiseDescriptorLimit();
    maxClients_ = limit > 2 * kDescriptorReserve ? limit - kDescriptorReserve : limit / 2;
    if (spareFd_ < 0) spareFd_ = OpenSpare();

    epollFd_ = epoll_create1(EPOLL_CLOEXEC);
    wakeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (epollFd_ < 0 || wakeFd_ < 0) {
        Stop();
        return false;
    }
    // Level-triggered: once written, every worker sees the stop.
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.u64 = kWakeKey;
    if (epoll_ctl(epollFd_, EPOLL_CTL_ADD, wakeFd_, &ev) != 0) {
        Stop();
        return false;
    }

    listenFd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, IPPROTO_TCP);
    if (listenFd_ < 0) {
        Stop();
        return false;
    }
    // The display server restarts itself and must get its port back at once.
    int one = 1;
    setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_ANY);
    addr.sin_port = htons(static_cast<uint16_t>(port));
    // A deep backlog: bursts of console connections must not wait for SYN retries.
    if (bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(listenFd_, SOMAXCONN) != 0) {
        Stop();
        return false;
    }
    socklen_t len = sizeof addr;
    if (getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len) == 0) port_ = ntohs(addr.sin_port);

    running_ = true;
    unsigned n = std::thread::hardware_concurrency();
    if (n == 0) n = 1;
    for (unsigned i = 0; i < n; ++i) {
        auto t = std::make_unique<platform::StoppableThread>();
        if (!t->Start([this](platform::StoppableThread& self) { WorkerLoop(self); }, "net-worker")) {
            Stop();
            return false;
        }
        workers_.push_back(std::move(t));
    }
    if (!sendThread_.Start([this](platform::StoppableThread& self) { SendLoop(self); }, "net-send") ||
        !acceptThread_.Start([this](platform::StoppableThread& self) { AcceptLoop(self); }, "net-accept")) {
        Stop();
        return false;
    }
    return true;
}

void NetCompletionPort::Stop() {
    running_ = false;
    acceptThread_.RequestStop();
    sendThread_.RequestStop();
    for (auto& w : workers_) w->RequestStop();
    if (wakeFd_ >= 0) {
        uint64_t v = 1;
        ssize_t r = write(wakeFd_, &v, sizeof v);
        (void)r;
    }
    // No client is added after the accept thread has ended; then every client
    // is shut down so that a callback blocked in its reply send returns.
    acceptThread_.Join();
    {
        std::lock_guard<std::mutex> lk(clientMu_);
        for (auto& [fd, c] : clients_) shutdown(fd, SHUT_RDWR);
    }
    for (auto& w : workers_) w->Join();
    workers_.clear();
    sendThread_.Join();

    if (listenFd_ >= 0) {
        close(listenFd_);
        listenFd_ = -1;
    }
    std::unordered_map<int, ClientPtr> clients;
    {
        std::lock_guard<std::mutex> lk(clientMu_);
        clients.swap(clients_);
    }
    for (auto& [fd, c] : clients) {
        if (epollFd_ >= 0) epoll_ctl(epollFd_, EPOLL_CTL_DEL, fd, nullptr);
    }
    clients.clear();  // closes the sockets, contexts go back to the pools
    std::deque<IoContext*> queued;
    {
        std::lock_guard<std::mutex> lk(sendQueueMu_);
        queued.swap(sendQueue_);
    }
    for (IoContext* ctx : queued) ReturnIo(ctx);
    ReapLingering(true);
    if (spareFd_ >= 0) {
        close(spareFd_);
        spareFd_ = -1;
    }

    if (epollFd_ >= 0) {
        close(epollFd_);
        epollFd_ = -1;
    }
    if (wakeFd_ >= 0) {
        close(wakeFd_);
        wakeFd_ = -1;
    }
}

void NetCompletionPort::SetCallback(NET_SERVER::DataRecvCallback callback, void* user) {
    std::lock_guard<std::mutex> lk(callbackMu_);
    callback_ = callback;
    user_ = user;
}

// ---------------------------------------------------------------- accepting

void NetCompletionPort::AcceptLoop(platform::StoppableThread& self) {
    while (!self.StopRequested()) {
        pollfd p[2] = {{listenFd_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
        int r = poll(p, 2, 1000);
        if (r < 0) {
            if (errno == EINTR) continue;
            LOGTEXT::LogDebug("AcceptEx failed. waserror=%d", errno);
            self.SleepFor(100);
            continue;
        }
        if (p[1].revents != 0) break;
        if (p[0].revents != 0) AcceptBatch(self);
    }
}

void NetCompletionPort::AcceptBatch(platform::StoppableThread& self) {
    for (int i = 0; i < kAcceptBatch && !self.StopRequested(); ++i) {
        // The accepted socket stays blocking: the host answers with a plain send.
        sockaddr_in peer{};
        socklen_t peerLen = sizeof peer;
        int fd = accept4(listenFd_, reinterpret_cast<sockaddr*>(&peer), &peerLen, SOCK_CLOEXEC);
        if (fd < 0 && (errno == EMFILE || errno == ENFILE)) {
            // Out of descriptors: the spare one takes the newcomer, and an
            // idle client makes room, rather than every new client (the
            // console's own among them) waiting for ever. Another thread of
            // the process can take the descriptor freed for the spare; then
            // an idle client makes room first.
            const int outOfDescriptors = errno;
            const bool hadSpare = spareFd_ >= 0;
            if (hadSpare) {
                close(spareFd_);
                spareFd_ = -1;
            }
            if (hadSpare || DropOneIdleClient()) {
                peerLen = sizeof peer;
                fd = accept4(listenFd_, reinterpret_cast<sockaddr*>(&peer), &peerLen, SOCK_CLOEXEC);
                const int acceptErr = errno;
                if (fd >= 0 && hadSpare) DropOneIdleClient();
                spareFd_ = OpenSpare();
                errno = acceptErr;
            } else {
                errno = outOfDescriptors;
            }
        }
        if (fd < 0) {
            int err = errno;
            if (err == EAGAIN || err == EWOULDBLOCK) return;
            if (err == EINTR || err == ECONNABORTED) continue;
            // Out of descriptors and the like: keep serving once it passes.
            LOGTEXT::LogDebug("AcceptEx failed. waserror=%d", err);
            self.SleepFor(100);
            return;
        }
        int one = 1;
        if (setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one) != 0) {
            LOGTEXT::LogDebug("setsocket failed. err=%d", errno);
            close(fd);
            continue;
        }
        bool full;
        {
            std::lock_guard<std::mutex> lk(clientMu_);
            full = clients_.size() >= maxClients_;
        }
        if (full) DropOneIdleClient();
        RegisterClient(fd, peer.sin_addr.s_addr);
    }
}

bool NetCompletionPort::DropOneIdleClient() {
    ClientPtr victim;
    {
        std::lock_guard<std::mutex> lk(clientMu_);
        // Each address's share: the one holding the most connections gives
        // one up, so a flood from one peer never pushes out another's
        // session, however long that has been quiet.
        std::map<uint32_t, size_t> perAddress;
        for (const auto& [fd, c] : clients_) ++perAddress[c->address];
        std::map<uint32_t, ClientPtr> oldest;  // longest idle client of each address
        for (const auto& [fd, c] : clients_) {
            if (c->work.load(std::memory_order_acquire) != 0) continue;  // being served
            ClientPtr& o = oldest[c->address];
            if (!o || c->lastActive.load() < o->lastActive.load()) o = c;
        }
        size_t most = 0;
        for (const auto& [address, c] : oldest) {
            const size_t n = perAddress[address];
            if (n > most || (n == most && victim && c->lastActive.load() < victim->lastActive.load())) {
                most = n;
                victim = c;
            }
        }
    }
    if (!victim) return false;
    LOGTEXT::LogInfo("too many clients: idle client %d closed to make room", victim->fd);
    return CloseClient(victim);
}

void NetCompletionPort::RegisterClient(int fd, uint32_t address) {
    Client* raw = TakeClient();
    raw->fd = fd;
    raw->work = 0;
    raw->closed = false;
    raw->address = address;
    raw->lastActive = SteadyMs();
    raw->rx = TakeIo(kReadHead);
    ClientPtr client(raw, [this](Client* c) { ReleaseClient(c); });
    uint64_t key;
    {
        std::lock_guard<std::mutex> lk(clientMu_);
        if (++nextClientId_ == 0xFFFFFFFFu) nextClientId_ = 1;
        client->id = nextClientId_;
        key = ClientKey(fd, client->id);
        clients_[fd] = client;
    }
    if (!Arm(fd, key, EPOLL_CTL_ADD)) CloseClient(client);
}

// Edge-triggered: a report comes when bytes arrive, not while they wait, so
// the owning worker reads until the socket is empty. A modify re-reports
// bytes already waiting.
bool NetCompletionPort::Arm(int fd, uint64_t key, int op) {
    epoll_event ev{};
    ev.events = EPOLLIN | EPOLLRDHUP | EPOLLET;
    ev.data.u64 = key;
    return epoll_ctl(epollFd_, op, fd, &ev) == 0;
}

// ---------------------------------------------------------------- receiving

void NetCompletionPort::WorkerLoop(platform::StoppableThread& self) {
    std::vector<uint8_t> staging(kStagingSize);
    epoll_event events[kEventsPerWait];
    while (running_ && !self.StopRequested()) {
        int n = epoll_wait(epollFd_, events, kEventsPerWait, -1);
        if (n < 0) {
            if (errno == EINTR) continue;
            LOGTEXT::LogTrace("++++FALSE == ret+++++++");
            self.SleepFor(10);
            continue;
        }
        for (int i = 0; i < n; ++i) {
            if (events[i].data.u64 == kWakeKey || !running_) return;
            HandleClient(events[i].data.u64, events[i].events, staging.data());
        }
    }
}

NetCompletionPort::ClientPtr NetCompletionPort::FindClient(int socket) {
    std::lock_guard<std::mutex> lk(clientMu_);
    auto it = clients_.find(socket);
    return it == clients_.end() ? nullptr : it->second;
}

void NetCompletionPort::HandleClient(uint64_t key, uint32_t /*events*/, uint8_t* staging) {
    const int fd = static_cast<int>(key & 0xFFFFFFFFu);
    const uint32_t id = static_cast<uint32_t>(key >> 32);
    ClientPtr client = FindClient(fd);
    // An event of a client closed meanwhile, whose descriptor may be reused.
    if (!client || client->id != id) return;
    // Another worker owns the client: it sees this report and reads again.
    if (client->work.fetch_add(1, std::memory_order_acq_rel) != 0) return;

    std::lock_guard<std::mutex> rxLock(client->rxMu);
    client->lastActive = SteadyMs();
    for (;;) {
        const int seen = client->work.load(std::memory_order_acquire);
        const Drain result = DrainClient(client, staging);
        if (result == Drain::kClosed) return;
        if (result == Drain::kTurnOver) {
            // Bytes wait still: give the client up, then have them reported
            // again so that it queues behind the others.
            client->work.store(0, std::memory_order_release);
            if (running_ && !Arm(fd, key, EPOLL_CTL_MOD)) CloseClient(client);
            return;
        }
        // Reports that came while reading may announce bytes that came after
        // the socket was found empty: read once more for them.
        if (client->work.fetch_sub(seen, std::memory_order_acq_rel) == seen) return;
    }
}

NetCompletionPort::Drain NetCompletionPort::DrainClient(const ClientPtr& client, uint8_t* staging) {
    IoContext* ctx = client->rx;
    int delivered = 0;
    while (running_) {
        if (delivered >= kMessagesPerTurn) return Drain::kTurnOver;
        // A large body remainder goes straight into the body, within the cap
        // on bodies in flight; anything else through the staging buffer.
        uint8_t* dst = staging;
        size_t want = kStagingSize;
        if (ctx->state == kReadBody && ctx->expected - ctx->done >= kStagingSize) {
            if (!RoomForBody(client, ctx->done + kBodyStep)) return Drain::kClosed;
            dst = ctx->body + ctx->done;
            want = std::min<size_t>(ctx->expected - ctx->done, ctx->counted - ctx->done);
        }
        const ssize_t got = recv(client->fd, dst, want, MSG_DONTWAIT);
        if (got == 0) {  // the peer closed; a partial message is dropped
            CloseClient(client);
            return Drain::kClosed;
        }
        if (got < 0) {
            if (errno == EINTR) continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) return Drain::kEmpty;
            LOGTEXT::LogTrace("++++FALSE == ret+++++++");
            CloseClient(client);
            LOGTEXT::LogTrace("relase file handle for get failed");
            return Drain::kClosed;
        }
        if (dst == staging) {
            if (!Consume(client, staging, static_cast<size_t>(got), delivered)) return Drain::kClosed;
        } else {
            ctx->done += static_cast<uint32_t>(got);
            if (ctx->done == ctx->expected) {
                if (!Deliver(client)) return Drain::kClosed;
                ++delivered;
            }
        }
        // Read on even after a short read, until the socket says it is
        // empty: the peer's close may have come after the report being
        // answered, and an edge-triggered socket reports it only once.
    }
    return Drain::kClosed;
}

bool NetCompletionPort::Consume(const ClientPtr& client, const uint8_t* data, size_t n, int& delivered) {
    IoContext* ctx = client->rx;
    while (n > 0) {
        if (ctx->state == kReadHead) {
            const size_t take = std::min(n, sizeof(tagNETHEAD) - ctx->headGot);
            std::memcpy(ctx->head + ctx->headGot, data, take);
            ctx->headGot += take;
            data += take;
            n -= take;
            if (ctx->headGot < sizeof(tagNETHEAD)) return true;
            const uint32_t bodyLength = platform::ReadAt<uint32_t>(ctx->head, offsetof(tagNETHEAD, bodyLength));
            if (bodyLength > kMaxBodyLength) {
                LOGTEXT::LogError("body length %u above the limit, client closed", bodyLength);
                CloseAfterSends(client);
                return false;
            }
            ctx->expected = bodyLength;
            ctx->done = 0;
            ctx->state = kReadBody;
        } else {
            const size_t take = std::min<size_t>(n, ctx->expected - ctx->done);
            if (!RoomForBody(client, ctx->done + take)) return false;
            if (take) std::memcpy(ctx->body + ctx->done, data, take);
            ctx->done += static_cast<uint32_t>(take);
            data += take;
            n -= take;
        }
        if (ctx->state == kReadBody && ctx->done == ctx->expected) {
            if (!Deliver(client)) return false;
            ++delivered;
        }
    }
    return true;
}

// Room for the first `need` bytes of the body being received (growing by
// doubling, never past the announced length); the client is closed when the
// bodies in flight would pass their cap.
bool NetCompletionPort::RoomForBody(const ClientPtr& client, size_t need) {
    IoContext* ctx = client->rx;
    if (need <= ctx->counted ||
        ReserveBody(ctx, std::min<size_t>(ctx->expected, std::max(need, ctx->counted * 2))))
        return true;
    LOGTEXT::LogError("no room for a body of %u bytes (%zu bytes of bodies in flight), client closed", ctx->expected,
                      bodiesInFlight_.load());
    CloseClient(client);
    return false;
}

// A whole message to the host; the next one of this client is delivered only
// after this callback has returned. False when the client was closed meanwhile.
bool NetCompletionPort::Deliver(const ClientPtr& client) {
    IoContext* ctx = client->rx;
    ctx->state = kComplete;
    tagNETHEAD head = platform::LoadRecord<tagNETHEAD>(ctx->head);
    NET_SERVER::DataRecvCallback cb;
    void* user;
    {
        std::lock_guard<std::mutex> lk(callbackMu_);
        cb = callback_;
        user = user_;
    }
    // Never a null body, so that a host's memcpy of 0 bytes stays defined.
    static const uint8_t kNoBody[1] = {0};
    if (cb) cb(client->fd, head, ctx->expected ? ctx->body : kNoBody, ctx->expected, user);
    ctx->state = kReadHead;
    ctx->headGot = 0;
    ctx->expected = 0;
    ctx->done = 0;
    ReleaseBody(ctx);
    return !client->closed.load(std::memory_order_acquire);
}

// ---------------------------------------------------------------- closing

bool NetCompletionPort::CloseClient(int socket) {
    ClientPtr client = FindClient(socket);
    return client && CloseClient(client);
}

// The one way a client leaves: out of the map and epoll, shut down; the
// descriptor is closed and the contexts pooled when the last user lets go.
bool NetCompletionPort::CloseClient(const ClientPtr& client) {
    {
        std::lock_guard<std::mutex> lk(clientMu_);
        auto it = clients_.find(client->fd);
        if (it == clients_.end() || it->second != client) return false;
        clients_.erase(it);
    }
    client->closed.store(true, std::memory_order_release);
    if (epollFd_ >= 0) epoll_ctl(epollFd_, EPOLL_CTL_DEL, client->fd, nullptr);
    shutdown(client->fd, SHUT_RDWR);
    return true;
}

void NetCompletionPort::CloseAfterSends(const ClientPtr& client) {
    {
        std::lock_guard<std::mutex> lk(clientMu_);
        auto it = clients_.find(client->fd);
        if (it == clients_.end() || it->second != client) return;
        clients_.erase(it);
    }
    client->closed.store(true, std::memory_order_release);
    if (epollFd_ >= 0) epoll_ctl(epollFd_, EPOLL_CTL_DEL, client->fd, nullptr);
    // Behind every send queued for it; the send thread ends it from there.
    IoContext* ctx = TakeIo(kCloseAfterSends);
    ctx->client = client;
    {
        std::lock_guard<std::mutex> lk(sendQueueMu_);
        sendQueue_.push_back(ctx);
    }
    sendReady_.Set();
}

// Half-closes the client and holds its socket until the peer has taken
// every byte sent (or the time is up): closing a socket with unread input
// resets the connection and throws away what has not gone out yet.
void NetCompletionPort::Linger(const ClientPtr& client) {
    shutdown(client->fd, SHUT_WR);
    lingering_.push_back({client, SteadyMs() + kLingerMs});
}

void NetCompletionPort::ReapLingering(bool all) {
    const int64_t now = SteadyMs();
    auto done = [&](const Lingering& l) {
        int unsent = 0;
        return all || now >= l.deadline || ioctl(l.client->fd, SIOCOUTQ, &unsent) != 0 || unsent == 0;
    };
    for (auto it = lingering_.begin(); it != lingering_.end();) {
        if (done(*it)) {
            shutdown(it->client->fd, SHUT_RDWR);
            it = lingering_.erase(it);
        } else {
            ++it;
        }
    }
}

void NetCompletionPort::ReleaseClient(Client* c) {
    if (c->fd >= 0) close(c->fd);
    c->fd = -1;
    c->id = 0;
    if (c->rx) ReturnIo(c->rx);
    c->rx = nullptr;
    std::lock_guard<std::mutex> lk(sockCtxMu_);
    if (clientFree_.size() < kPoolLimit)
        clientFree_.push_back(c);
    else
        delete c;
}

NetCompletionPort::Client* NetCompletionPort::TakeClient() {
    {
        std::lock_guard<std::mutex> lk(sockCtxMu_);
        if (!clientFree_.empty()) {
            Client* c = clientFree_.back();
            clientFree_.pop_back();
            return c;
        }
    }
    return new Client;
}

// ---------------------------------------------------------------- sending

int NetCompletionPort::SendAll(Client& client, const void* data, size_t length) {
    std::lock_guard<std::mutex> lk(client.sendMu);
    const auto* p = static_cast<const uint8_t*>(data);
    size_t sent = 0;
    while (sent < length) {
        ssize_t n = send(client.fd, p + sent, length - sent, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR) continue;
            return sent ? static_cast<int>(sent) : -1;
        }
        sent += static_cast<size_t>(n);
    }
    return static_cast<int>(sent);
}

int NetCompletionPort::SendTo(const ClientPtr& client, const void* data, unsigned length, int blocking) {
    if (length > static_cast<unsigned>(INT32_MAX) || (length && !data)) return -1;
    if (blocking) return SendAll(*client, data, length);

    IoContext* ctx = TakeIo(kSend);
    if (!GrowBody(ctx, length)) {
        ReturnIo(ctx);
        LOGTEXT::LogDebug("WSASend failed");
        LOGTEXT::LogDebug("WSASend Error! When Send Head. WSAError=%d", ENOMEM);
        return -1;
    }
    if (length) std::memcpy(ctx->body, data, length);
    ctx->expected = length;
    ctx->client = client;
    {
        std::lock_guard<std::mutex> lk(sendQueueMu_);
        sendQueue_.push_back(ctx);
    }
    sendReady_.Set();
    return 0;
}

int NetCompletionPort::SendData(int socket, const void* data, unsigned length, int blocking) {
    ClientPtr client = FindClient(socket);
    if (!client) return 0;
    return SendTo(client, data, length, blocking);
}

int NetCompletionPort::SendDataToAllClient(const void* data, unsigned length, int blocking) {
    std::vector<ClientPtr> all;
    {
        std::lock_guard<std::mutex> lk(clientMu_);
        all.reserve(clients_.size());
        for (auto& [fd, c] : clients_) all.push_back(c);
    }
    int count = 0;
    for (auto& c : all) {
        int r = SendTo(c, data, length, blocking);
        if (blocking ? r == static_cast<int>(length) : r == 0) ++count;
    }
    return count;
}

void NetCompletionPort::SendLoop(platform::StoppableThread& self) {
    for (;;) {
        IoContext* ctx = nullptr;
        {
            std::lock_guard<std::mutex> lk(sendQueueMu_);
            if (!sendQueue_.empty()) {
                ctx = sendQueue_.front();
                sendQueue_.pop_front();
            }
        }
        if (!lingering_.empty()) ReapLingering(false);
        if (!ctx) {
            // Looks at lingering clients every few milliseconds while any.
            const int hit = platform::Event::WaitAny({&sendReady_, &self.StopEvent()},
                                                     lingering_.empty() ? platform::kInfinite : 10u);
            if (hit == 1) return;
            continue;
        }
        if (ctx->state == kCloseAfterSends) {
            if (running_) Linger(ctx->client);
            ReturnIo(ctx);
            continue;
        }
        if (running_ && SendAll(*ctx->client, ctx->body, ctx->expected) != static_cast<int>(ctx->expected)) {
            LOGTEXT::LogTrace("++++FALSE == ret+++++++");
            if (CloseClient(ctx->client)) LOGTEXT::LogTrace("relase file handle for get failed");
        }
        ReturnIo(ctx);
    }
}

// ---------------------------------------------------------------- pools

NetCompletionPort::IoContext* NetCompletionPort::TakeIo(int state) {
    IoContext* ctx = nullptr;
    std::lock_guard<std::mutex> lk(ioMu_);
    if (!ioFree_.empty()) {
        ctx = ioFree_.back();
        ioFree_.pop_back();
    } else {
        ctx = new IoContext;
    }
    ctx->state = state;
    ctx->headGot = 0;
    ctx->expected = 0;
    ctx->done = 0;
    ioInUse_.insert(ctx);
    return ctx;
}

void NetCompletionPort::ReturnIo(IoContext* ctx) {
    ctx->client.reset();
    ReleaseBody(ctx);
    if (ctx->capacity > kPooledBodyKeep) {
        std::free(ctx->body);
        ctx->body = nullptr;
        ctx->capacity = 0;
    }
    std::lock_guard<std::mutex> lk(ioMu_);
    ioInUse_.erase(ctx);
    if (ioFree_.size() < kPoolLimit) {
        ioFree_.push_back(ctx);
    } else {
        std::free(ctx->body);
        delete ctx;
    }
}

bool NetCompletionPort::GrowBody(IoContext* ctx, size_t size) {
    if (size <= ctx->capacity) return true;
    void* p = std::realloc(ctx->body, size);
    if (!p) return false;
    ctx->body = static_cast<uint8_t*>(p);
    ctx->capacity = size;
    return true;
}

bool NetCompletionPort::ReserveBody(IoContext* ctx, size_t size) {
    if (size <= ctx->counted) return true;
    const size_t more = size - ctx->counted;
    if (bodiesInFlight_.fetch_add(more) + more > kMaxBodiesInFlight) {
        bodiesInFlight_.fetch_sub(more);
        return false;
    }
    if (!GrowBody(ctx, size)) {
        bodiesInFlight_.fetch_sub(more);
        return false;
    }
    ctx->counted = size;
    return true;
}

void NetCompletionPort::ReleaseBody(IoContext* ctx) {
    bodiesInFlight_.fetch_sub(ctx->counted);
    ctx->counted = 0;
}

void NetCompletionPort::FreePools() {
    {
        std::lock_guard<std::mutex> lk(ioMu_);
        for (IoContext* ctx : ioFree_) {
            std::free(ctx->body);
            delete ctx;
        }
        ioFree_.clear();
        // Nothing is in flight once the last user of the server has gone.
        for (IoContext* ctx : ioInUse_) {
            std::free(ctx->body);
            delete ctx;
        }
        ioInUse_.clear();
    }
    std::lock_guard<std::mutex> lk(sockCtxMu_);
    for (Client* c : clientFree_) delete c;
    clientFree_.clear();
}

}  // namespace lintra
