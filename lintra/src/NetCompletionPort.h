// The command server behind NET_SERVER: an epoll loop with one worker per
// processor, an accept thread and a send thread for queued sends. Clients are
// watched edge-triggered; the worker that takes a client's readiness owns it
// until its socket is drained, so any worker serves any client, one at a time
// and in order, without re-arming the descriptor after every message, and a
// client whose callback blocks holds up no other.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "lintra/NetServer.h"
#include "platform/event.h"
#include "platform/thread.h"

namespace lintra {

class NetCompletionPort {
public:
    // Free contexts kept for reuse; surplus ones are freed.
    static constexpr size_t kPoolLimit = 1000;
    // Connections taken per readiness of the listening socket.
    static constexpr int kAcceptBatch = 10;
    // A pooled context gives back a body buffer above this size, so that one
    // large upload does not pin its memory for the life of the server.
    static constexpr size_t kPooledBodyKeep = 1u << 20;
    // Bodies being received, all clients together: memory is taken as the
    // bytes arrive, and the client that would pass this is closed. An
    // announced length alone reserves nothing.
    static constexpr size_t kMaxBodiesInFlight = size_t{1} << 30;
    // A body buffer grows at least by this much at a time (doubling above).
    static constexpr size_t kBodyStep = 64u * 1024u;
    // Bytes a worker reads at once into its own buffer: a head and a small
    // body arrive in one call. Larger body remainders go straight to the body.
    static constexpr size_t kStagingSize = 64u * 1024u;
    // Messages one client may have delivered before its worker turns to others.
    static constexpr int kMessagesPerTurn = 16;
    // Reports a worker takes per wait: one, so that a report never waits
    // behind another client's callback while a worker is free.
    static constexpr int kEventsPerWait = 1;
    // Descriptors left to the rest of the process: clients beyond the
    // descriptor limit less this make room by dropping an idle one.
    static constexpr size_t kDescriptorReserve = 64;
    // How long a client closed for a bad head may take to receive what it
    // is still owed before its socket is closed.
    static constexpr int kLingerMs = 2000;

    NetCompletionPort();
    virtual ~NetCompletionPort();
    NetCompletionPort(const NetCompletionPort&) = delete;
    NetCompletionPort& operator=(const NetCompletionPort&) = delete;

    bool Start(int port);
    void Stop();
    // Closes one client by socket; false when it is not a client.
    virtual bool CloseClient(int socket);

    void SetCallback(NET_SERVER::DataRecvCallback callback, void* user);
    int SendData(int socket, const void* data, unsigned length, int blocking);
    int SendDataToAllClient(const void* data, unsigned length, int blocking);
    int Port() const { return port_; }

private:
    enum State : int { kReadHead = 2, kReadBody = 3, kComplete = 4, kSend = 7, kCloseAfterSends = 8 };

    struct Client;
    struct IoContext {
        int state = kReadHead;
        uint8_t head[sizeof(tagNETHEAD)];
        size_t headGot = 0;
        uint8_t* body = nullptr;
        size_t capacity = 0;
        uint32_t expected = 0;
        uint32_t done = 0;
        size_t counted = 0;  // bytes of the body being received held against kMaxBodiesInFlight
        std::shared_ptr<Client> client;  // owner of a queued send
    };
    struct Client {
        int fd = -1;
        uint32_t id = 0;
        IoContext* rx = nullptr;
        std::mutex sendMu;  // keeps whole messages of different senders apart
        // Readiness reports not yet answered: the worker that raises it from 0
        // owns the client's receiving until it brings it back to 0.
        std::atomic<int> work{0};
        std::atomic<bool> closed{false};
        uint32_t address = 0;                // the peer's IPv4 address
        std::atomic<int64_t> lastActive{0};  // steady ms of its last bytes
        // Taken by the worker that owns the client; never contended, it makes
        // the hand-over visible to the language's memory model too.
        std::mutex rxMu;
    };
    using ClientPtr = std::shared_ptr<Client>;

    void AcceptLoop(platform::StoppableThread& self);
    void AcceptBatch(platform::StoppableThread& self);
    void RegisterClient(int fd, uint32_t address);
    // Makes room for one more client: drops the longest idle client of the
    // address that holds the most connections. False when none is idle.
    bool DropOneIdleClient();
    // Closes the client once what was queued for it has gone out, so that a
    // reply owed is not cut by the close.
    void CloseAfterSends(const ClientPtr& client);
    void Linger(const ClientPtr& client);
    void ReapLingering(bool all);
    void WorkerLoop(platform::StoppableThread& self);
    void HandleClient(uint64_t key, uint32_t events, uint8_t* staging);
    enum class Drain { kEmpty, kTurnOver, kClosed };
    // Reads and delivers what the client has sent until its socket reports
    // it empty, it has had its turn, or it is closed.
    Drain DrainClient(const ClientPtr& client, uint8_t* staging);
    // Takes up to n received bytes into the message being assembled and
    // delivers each message completed; false when the client was closed.
    bool Consume(const ClientPtr& client, const uint8_t* data, size_t n, int& delivered);
    bool Deliver(const ClientPtr& client);
    bool RoomForBody(const ClientPtr& client, size_t need);
    bool Arm(int fd, uint64_t key, int op);
    void SendLoop(platform::StoppableThread& self);
    bool CloseClient(const ClientPtr& client);
    ClientPtr FindClient(int socket);
    int SendTo(const ClientPtr& client, const void* data, unsigned length, int blocking);
    static int SendAll(Client& client, const void* data, size_t length);

    IoContext* TakeIo(int state);
    void ReturnIo(IoContext* ctx);
    static bool GrowBody(IoContext* ctx, size_t size);
    // Grows a receive body to size within kMaxBodiesInFlight; false when it
    // would pass it or memory fails.
    bool ReserveBody(IoContext* ctx, size_t size);
    void ReleaseBody(IoContext* ctx);
    Client* TakeClient();
    void ReleaseClient(Client* client);
    void FreePools();

    int port_ = 0;
    int listenFd_ = -1;
    int epollFd_ = -1;
    int wakeFd_ = -1;
    std::atomic<bool> running_{false};
    std::atomic<size_t> bodiesInFlight_{0};
    size_t maxClients_ = 0;
    // Held open so that a descriptor can be freed for accepting a client
    // when the process has none left, and room made for it.
    int spareFd_ = -1;

    std::vector<std::unique_ptr<platform::StoppableThread>> workers_;
    platform::StoppableThread acceptThread_;
    platform::StoppableThread sendThread_;

    std::mutex clientMu_;
    std::unordered_map<int, ClientPtr> clients_;
    uint32_t nextClientId_ = 0;

    std::mutex ioMu_;
    std::vector<IoContext*> ioFree_;
    std::unordered_set<IoContext*> ioInUse_;

    std::mutex sockCtxMu_;
    std::vector<Client*> clientFree_;

    std::mutex sendQueueMu_;
    std::deque<IoContext*> sendQueue_;
    platform::Event sendReady_;
    struct Lingering {
        ClientPtr client;
        int64_t deadline;
    };
    std::vector<Lingering> lingering_;  // send thread only

    std::mutex callbackMu_;
    NET_SERVER::DataRecvCallback callback_ = nullptr;
    void* user_ = nullptr;
};

}  // namespace lintra
