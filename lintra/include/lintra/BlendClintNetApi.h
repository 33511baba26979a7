// Plain functions around a client session: connect, send and receive raw
// bytes, disconnect, through an opaque handle.
#pragma once

namespace BLEND_CLINT_NETAPI {

// Handles are opaque values checked against the live handles on every call;
// a handle is never reused, so a stale one is reported as -2, never misused.
using HANDLE = void*;

// A new session connected with a 2-second time-out, or null.
HANDLE ConnectServer(const char* ip, unsigned port);
// -3 null handle; -2 not a live handle; -1 not connected or send error;
// otherwise the bytes sent by one send.
int SendData(HANDLE handle, const char* data, int length);
// -3 null; -2 not a live handle; -1 not connected; otherwise the bytes
// received within the receive budget.
int RecvData(HANDLE handle, char* buffer, int length);
// -3 null; -2 not a live handle; otherwise disconnects, frees and returns 0.
int DisconnectServer(HANDLE handle);

}  // namespace BLEND_CLINT_NETAPI
