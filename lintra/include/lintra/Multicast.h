// Multicast receiver and sender of 384-byte message heads (each optionally
// followed by one body datagram).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "lintra/netdef.h"

class CMulticastReceiver {
public:
    // Runs on the receive thread. source is always lintra::kNoReplySocket;
    // sender points to the sender's sockaddr_in. With bodyLength 0 the body
    // pointer is not to be read.
    using Callback = void (*)(int source, const tagNETHEAD& head, const void* body, unsigned bodyLength,
                              const void* sender);

    // Longest body a datagram can carry (IPv4 UDP payload).
    static constexpr uint32_t kMaxBodyLength = 65507;
    // How long a head waits for its body datagram from the same sender.
    static constexpr uint32_t kBodyWaitMs = 100;

    CMulticastReceiver();
    // Copies take the configuration (group, port, callback) only; the socket
    // and the thread belong to the original.
    CMulticastReceiver(const CMulticastReceiver& other);
    CMulticastReceiver& operator=(const CMulticastReceiver& other);
    // Stops listening and joins the receive thread.
    ~CMulticastReceiver();

    void SetCallback(Callback callback);
    // Joins group on every interface at port and starts the receive thread;
    // a running receiver is stopped first. 1 listening, 0 failed.
    int StartListen(const char* group, unsigned port);
    // Leaves the group, closes the socket and joins the thread; 1.
    int StopListen();
    bool IsListening() const;

    struct Impl;

private:
    std::unique_ptr<Impl> m_impl;
};

class CMutlicastSender {
public:
    CMutlicastSender();
    // A copy sends through its own duplicate of the socket.
    CMutlicastSender(const CMutlicastSender& other);
    CMutlicastSender& operator=(const CMutlicastSender& other);
    ~CMutlicastSender();

    // Closes an old socket, opens a UDP socket with the time-to-live and the
    // loop flag, and stores the destination. loop != 0 lets receivers on this
    // host get the datagrams (on Linux the sending socket decides this).
    // 1, or 0 when the socket could not be made or group is no IPv4 address.
    int Init(const char* group, unsigned port, int ttl, int loop);
    // The result of one sendto of the bytes to the group.
    int SendData(const void* data, int length);
    void UnInit();

private:
    int m_socket = -1;
    uint32_t m_group = 0;  // network byte order
    uint16_t m_port = 0;   // network byte order
};
