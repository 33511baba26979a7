// TCP client of the command protocol: one object per display server, one
// request (head and optional body) outstanding at a time.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

#include "lintra/netdef.h"

struct sockaddr;

// Called once per connection when the server side closes it (or after the
// session shut a misaligned connection down); never for a local Disconnect.
// Runs on the library's notifier thread: hand the data to your own thread.
using LintraDisconnectCallback = void (*)(int socket, void* user);

class CClientSession {
public:
    CClientSession();
    ~CClientSession();  // as Disconnect

    // A session owns its socket; a copy would close it twice. There is no
    // copy construction and no copy assignment.
    CClientSession(const CClientSession&) = delete;
    CClientSession& operator=(const CClientSession&) = delete;

    int IsConnected() const { return connected_.load(); }
    int GetSocket() const { return socket_.load(); }

    // Process-wide; set it before connecting. Waits for a callback that is
    // running at this moment, so that the old user pointer may be released
    // once this returns (do not call it while holding a lock the callback takes).
    static void SetCallback(LintraDisconnectCallback callback, void* user);

    // There is no window system notice on this platform: the values are only
    // stored. Disconnect notices always go through SetCallback's function.
    void SetMessageNotify(void* window, int message);

    // 1 connected, 0 failed. timeoutSeconds <= 0: blocking connect.
    int ConnectServer(const char* ip, unsigned port, int timeoutSeconds = 0);
    // Wide text is UTF-32 wchar_t here; an IPv4 address is plain ASCII, any
    // other character becomes '?' (and the address then fails to parse).
    int ConnectServer2(const wchar_t* ip, unsigned port, int timeoutSeconds = 0);
    // Connects `socket` within `seconds`; 1 connected, else 0 with the socket
    // closed and errno telling why.
    int ConnectTimeout(int socket, const sockaddr* address, int length, int seconds);

    // The address of the last connect as wide text, in a buffer of the calling
    // thread (valid until that thread's next call).
    const wchar_t* GetServerIp() const;

    int Disconnect();  // always 1

    // One send of the bytes (waiting at most the receive budget for room);
    // -1 when not connected or on error.
    int SendData(const void* data, int length, int flags = 0);
    // Bytes received within the receive budget (possibly fewer than asked);
    // -1 when not connected, 0 for length <= 0.
    int RecvData(void* buffer, int length, int flags = 0);

    // 1 when the head went out and a whole reply head came back into `head`;
    // an announced reply body is read and dropped. A head announcing a body
    // is refused (0) before anything is sent.
    int SendSimpleCommand(tagNETHEAD& head);
    // As above plus the request body (`head.bodyLength` bytes; refused when
    // the length is non-zero and `body` is null). An announced reply body is
    // handed out through `replyBody` (allocated with new char[], release with
    // delete[]) or dropped when `replyBody` is null; *replyBody is null when
    // there is none or on failure.
    int SendAdvancedCommand(tagNETHEAD& head, const void* body, void** replyBody);

    // How long one receive (reply head, reply body, RecvData) may take in all;
    // 5000 ms unless changed (tests shorten it). Process-wide.
    static void SetReceiveBudgetMs(uint32_t ms);
    static uint32_t ReceiveBudgetMs();

private:
    int SendAllLocked(const void* data, size_t length);
    int RecvAllLocked(void* buffer, size_t length);
    int ExchangeLocked(tagNETHEAD& head, const void* body, void** replyBody);
    void ShutdownLocked();

    std::atomic<int> socket_;
    std::atomic<int> connected_;
    void* notifyWindow_;
    int32_t notifyMessage_;
    char serverAddress_[32];
    uint32_t serverPort_;
    // Guards the four fields above, so that reading the address never waits
    // for an exchange in progress.
    mutable std::mutex infoMutex_;
    // Registration with the notifier thread (0: none).
    uint64_t noticeId_;
    // Held for one whole exchange so that two threads never interleave bytes.
    mutable std::mutex mutex_;
};
