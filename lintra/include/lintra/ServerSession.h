// A small TCP server for raw byte streams: one listen thread, one thread per
// client, every received chunk handed to the callbacks as it arrives.
#pragma once

#include <memory>
#include <vector>

struct sockaddr_in;

class CServerSession {
public:
    // Chunks are at most kChunkSize bytes and carry a NUL after the data, so
    // a text chunk may be read as a C string. A result of -1 ends the client.
    using DataCallback = int (*)(int socket, const char* data, int length);
    using DataCallback2 = int (*)(int socket, const char* data, int length, void* user);
    static constexpr int kChunkSize = 4096;

    CServerSession();
    // Copies take the configuration (callbacks, user pointer, port) only: the
    // listener, the clients and their threads belong to the original.
    CServerSession(const CServerSession& other);
    CServerSession& operator=(const CServerSession& other);
    ~CServerSession();

    void SetDataReceiverCallback(DataCallback callback);
    void SetDataReceiverCallback2(DataCallback2 callback, void* user);

    // Stops a running listener, then binds and listens on every interface at
    // port (0: a free port) and starts the listen thread. 1 listening, 0 when
    // the port could not be bound or the thread not started.
    int StartListen(unsigned port);
    // Closes the listener, shuts every client down and joins all threads;
    // each client thread closes its own socket.
    void StopListen();

    // One send to every client; the result of the last send, 0 without clients.
    int SendDataToAllClient(const char* data, int length);

    static int GetSocketIpAddr(int socket, sockaddr_in& address);
    // text receives the dotted address (at least 16 bytes), port the port.
    static int GetSocketIpAddr(int socket, char* text, int* port);

    // Copies up to capacity entries of the address map; returns how many.
    int GetAllClientSocket(int* sockets, sockaddr_in* addresses, int capacity);
    std::vector<int> GetAllClientSocket();

    // The port bound by the last successful StartListen (0 when none).
    unsigned GetListenPort() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};
