// A socket endpoint with its own watch thread. The thread reads the socket
// and hands what arrives to two virtual operations (data received, event).
// With smart addressing on a datagram socket every unit handed to the user
// carries the peer's 16-byte address (a sockaddr_in) in front of the data,
// and the endpoint keeps the list of peers it has heard from.
//
// The client side (connect, a bounded write, close) serves the network
// outputs of the device control; the display server's receiving endpoints
// derive from this class.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct sockaddr_in;

class CSocketComm {
public:
    // Events of the watch thread. Codes 0 and 1 (stream server mode) are not
    // used: no endpoint of the system accepts clients.
    static constexpr uint32_t kEventReadFailed = 2;     // argument: the 16-byte address header
    static constexpr uint32_t kEventEmptyDatagram = 3;  // no argument
    static constexpr uint32_t kAddressHeaderSize = 16;
    static constexpr uint32_t kReceiveDataSize = 2600;  // data bytes of one read

    CSocketComm();
    // Stops watching and closes the socket.
    virtual ~CSocketComm();
    CSocketComm(const CSocketComm&) = delete;
    CSocketComm& operator=(const CSocketComm&) = delete;

    // ---- addresses ----
    // Text starting with a digit is a decimal port number, other text a
    // service name; 0 when unknown or out of range.
    static uint16_t GetPortNumber(const char* text);
    // IPv4 address in host order of dotted text or a host name; null or
    // empty text means this machine's name. "255.255.255.255" is the
    // broadcast address. False when the host cannot be resolved.
    static bool GetIPAddress(const char* host, uint32_t& address);
    // Fills out (zeroed first) from host and port text and the family.
    // False when the host cannot be resolved or address and port are both 0.
    static bool GetAddressAndPort(const char* host, const char* port, sockaddr_in& out, int family);
    // This machine's name (its canonical name when it resolves) into name;
    // 0 on success, 87 without a buffer, 122 when the name does not fit.
    static int GetLocalName(char* name, size_t size);

    // ---- client side ----
    // Connects a new socket of sockType (SOCK_STREAM or SOCK_DGRAM; for a
    // datagram socket this fixes the peer) to host and port. An empty or null
    // host means this machine's name; a port text starting with a digit is a
    // number, any other is a service name. False, with nothing kept, when a
    // socket is held already or any step fails. A peer that does not answer
    // fails the connect after timeoutMs.
    bool ConnectTo(const char* host, const char* port, int sockType, int timeoutMs = kConnectTimeoutMs);
    static constexpr int kConnectTimeoutMs = 5000;

    // Sends the buffer, waiting up to timeoutMs in all for the socket to take
    // it. Returns the bytes sent; 0 without a socket or buffer, or when the
    // socket took nothing in time; -1 when the wait or the send failed before
    // any byte went out.
    int WriteComm(const void* buffer, int length, uint32_t timeoutMs = 1000);

    // Shuts the socket down in both directions and closes it. On a watched
    // endpoint this is StopComm: the socket is closed only once its watch
    // thread has let go of it.
    void CloseComm();

    // ---- watching ----
    // Smart addressing; changed only while no watch thread runs (false then).
    bool SetSmartAddressing(bool on);
    bool IsSmartAddressing() const;
    // Starts the watch thread; false when one runs already or there is no
    // socket.
    bool WatchComm();
    // Ends the watch thread (waiting up to 1,000 ms, then leaving it behind
    // with a log line), closes the socket and empties the peer list.
    void StopComm();
    bool IsWatching() const;

    // Peers heard from, the most recently heard last, as "a.b.c.d:port".
    std::vector<std::string> GetPeerList() const;

    bool IsOpen() const { return m_hComm >= 0; }
    int GetSocket() const { return m_hComm; }
    // The bound local port (host order); 0 without a socket.
    uint16_t GetLocalPort() const;

protected:
    // Called on the watch thread. The base versions do nothing.
    virtual void OnDataReceived(const uint8_t* buffer, uint32_t length);
    virtual void OnEvent(uint32_t code, void* argument);
    // The watch thread's body: reads until the endpoint is stopped.
    virtual void Run();

    // Takes a bound socket for this endpoint; false (socket left open) when
    // one is held already.
    bool AttachSocket(int socket);

    int m_hComm = -1;

private:
    struct Impl;
    struct WatchState;
    // Waits for and reads one unit into buffer (size bytes); see Run.
    int ReadComm(WatchState& watch, uint8_t* buffer, uint32_t size);
    void ForgetPeer(const uint8_t* address);
    std::unique_ptr<Impl> d;
};
