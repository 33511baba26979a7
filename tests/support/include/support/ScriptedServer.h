// A command server on 127.0.0.1 (port 0) for the client-side tests of every
// folder: it reads whole requests (head and announced body), records them and
// answers as a script says.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "lintra/netdef.h"

namespace lintratest {

struct Request {
    tagNETHEAD head{};
    std::vector<uint8_t> body;
    int connection = 0;  // 0 for the first accepted connection, then 1, 2, ...
};

struct Reply {
    enum class Kind {
        Answer,  // send head (and body, its length set into the head)
        Close,   // close the connection without answering
        Silent,  // answer nothing, keep the connection
    };
    Kind kind = Kind::Answer;
    tagNETHEAD head{};
    std::vector<uint8_t> body;

    static Reply Echo(const tagNETHEAD& request, int32_t result) {
        Reply r;
        r.head = request;
        r.head.intParam[0] = result;
        r.head.bodyLength = 0;
        return r;
    }
    static Reply CloseNow() {
        Reply r;
        r.kind = Kind::Close;
        return r;
    }
    static Reply Nothing() {
        Reply r;
        r.kind = Kind::Silent;
        return r;
    }
};

class ScriptedServer {
public:
    // Called on the server's thread for every whole request.
    using Script = std::function<Reply(const Request&)>;
    // Body bytes of a request are kept only up to this many (the rest is read
    // and dropped) unless a sink is set.
    explicit ScriptedServer(Script script, size_t keepBodyBytes = 64 * 1024 * 1024);
    // On a given address and port (a fixed port only inside a test's own
    // network namespace).
    ScriptedServer(Script script, const char* address, uint16_t port, size_t keepBodyBytes = 64 * 1024 * 1024);
    ~ScriptedServer();
    ScriptedServer(const ScriptedServer&) = delete;
    ScriptedServer& operator=(const ScriptedServer&) = delete;

    uint16_t port() const { return port_; }
    std::vector<Request> Requests() const;
    size_t RequestCount() const;
    int Connections() const { return connections_.load(); }
    // Waits until n requests were recorded or the deadline passes.
    bool WaitForRequests(size_t n, std::chrono::milliseconds deadline = std::chrono::seconds(10)) const;
    // Stops accepting: later connects are refused.
    void CloseListener();

private:
    void AcceptLoop();
    void Serve(int fd, int index);

    Script script_;
    size_t keep_;
    int listenFd_ = -1;
    uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> connections_{0};
    std::thread acceptThread_;
    mutable std::mutex mu_;
    mutable std::condition_variable cv_;
    std::vector<Request> requests_;
    std::vector<std::thread> workers_;
    std::vector<int> fds_;
};

}  // namespace lintratest
