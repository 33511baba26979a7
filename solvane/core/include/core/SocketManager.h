// A receiving UDP endpoint that turns what arrives into length-prefixed
// messages: a 16-bit little-endian length n, then n bytes whose first is the
// command. Messages may span datagrams and one datagram may carry several.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "lintra/SocketComm.h"

class CSocketManager : public CSocketComm {
public:
    static constexpr uint32_t kStreamBufferSize = 40960;
    // Senders whose messages may be unfinished at once; a further one drops
    // the oldest unfinished bytes (senders that went away mid-message).
    static constexpr size_t kMaxPartialSenders = 64;
    // The longest message the stream buffer can ever hold after its length
    // field (a datagram is taken only while the buffer stays below its size).
    static constexpr uint32_t kMaxMessageLength = kStreamBufferSize - 3;

    // address: the sender's dotted IPv4 text; port: its port in host order;
    // data: the length bytes of the message after its command byte.
    using CommandCallback = void (*)(int socket, const char* address, int port, uint8_t command,
                                     const uint8_t* data, uint32_t length, void* user);
    // The whole message (command byte first).
    using RawMessageCallback = void (*)(int socket, const uint8_t* message, uint32_t length);

    CSocketManager();
    ~CSocketManager() override;

    // Binds a datagram socket to bindAddress and port (0: any free port) and
    // starts watching it with smart addressing. False when a socket is held
    // already (the running endpoint stays as it is) or any step fails.
    bool Start(uint16_t port, const char* bindAddress = "0.0.0.0");
    void Stop();

    // Set before Start; an unset callback is skipped.
    void SetCommandCallback(CommandCallback callback) { m_commandCallback.store(callback); }
    void SetUserPointer(void* user) { m_user.store(user); }
    void SetRawMessageCallback(RawMessageCallback callback) { m_rawCallback.store(callback); }

protected:
    void OnDataReceived(const uint8_t* buffer, uint32_t length) override;
    void OnEvent(uint32_t code, void* argument) override;

private:
    std::atomic<CommandCallback> m_commandCallback{nullptr};
    std::atomic<RawMessageCallback> m_rawCallback{nullptr};
    std::atomic<void*> m_user{nullptr};
    // What each sender ("address:port") has sent of its unfinished
    // messages, so that fragments of two senders never mix. Touched only by
    // the watch thread (and by Start before it runs).
    std::map<std::string, std::vector<uint8_t>> m_streams;
};
