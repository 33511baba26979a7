// The command server: accepts any number of clients, reads each message as a
// 384-byte head plus the body the head announces, and hands every complete
// message to one callback. Callers see it only through an opaque handle.
#pragma once

#include "lintra/netdef.h"

namespace NET_SERVER {

// Runs on a server thread, one message at a time per client and in order;
// messages of different clients may arrive concurrently. The client socket
// stays blocking, so the host may answer with a plain send on it. body is
// valid for the duration of the call only.
using DataRecvCallback = void (*)(int clientSocket, const tagNETHEAD& head, const void* body,
                                  unsigned bodyLength, const void* user);

// Listens on every interface at port (0: a free port). Null when any start
// step failed; everything started so far is stopped again.
void* StartServer(int port);
// Wakes every thread, shuts the clients down, waits for a running callback to
// return, joins the threads and frees the server. 1 stopped, 0 for a null or
// unknown handle. Must not be called from inside the callback.
int StopServer(void* server);
// 1, or 0 for a null or unknown handle.
int SetDataRecvCallback(void* server, DataRecvCallback callback, void* user);
// blocking != 0: sends all bytes at once and returns the count sent (-1 on a
// send error). Otherwise the bytes are copied and queued for the server's
// send thread: 0 when queued, -1 when they could not be. 0 when the socket is
// not a client of this server; -1 for a null or unknown handle.
int SendData(void* server, int clientSocket, const void* data, unsigned length, int blocking);
// Number of clients to which the whole message was sent (blocking) or queued;
// -1 for a null or unknown handle.
int SendDataToAllClient(void* server, const void* data, unsigned length, int blocking);
// The port the server listens on (useful after starting on port 0); -1 for a
// null or unknown handle.
int GetServerPort(void* server);

}  // namespace NET_SERVER
