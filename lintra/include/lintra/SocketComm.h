// A socket endpoint. This copy carries the client side the network outputs
// use: connect, a bounded plain write and close.
#pragma once

#include <cstdint>

class CSocketComm {
public:
    CSocketComm();
    // Closes the socket.
    virtual ~CSocketComm();
    CSocketComm(const CSocketComm&) = delete;
    CSocketComm& operator=(const CSocketComm&) = delete;

    // Connects a new socket of sockType (SOCK_STREAM or SOCK_DGRAM; for a
    // datagram socket this fixes the peer) to host and port. An empty or null
    // host means this machine's name; a port text starting with a digit is a
    // number, any other is a service name. False, with nothing kept, when a
    // socket is held already or any step fails.
    bool ConnectTo(const char* host, const char* port, int sockType);

    // Sends the buffer, waiting up to timeoutMs in all for the socket to take
    // it. Returns the bytes sent; 0 without a socket or buffer, or when the
    // socket took nothing in time; -1 when the wait or the send failed before
    // any byte went out.
    int WriteComm(const void* buffer, int length, uint32_t timeoutMs = 1000);

    // Shuts the socket down in both directions and closes it.
    void CloseComm();

    bool IsOpen() const { return m_hComm >= 0; }
    int GetSocket() const { return m_hComm; }

protected:
    int m_hComm = -1;
};
