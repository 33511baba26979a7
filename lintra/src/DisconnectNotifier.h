// The library's one disconnect-notice thread: waits on epoll for the peer
// closing any registered session socket and calls the process-wide callback.
#pragma once

#include <cstdint>

#include "lintra/ClientSession.h"

namespace lintra {

void SetDisconnectCallback(LintraDisconnectCallback callback, void* user);

// Starts the thread on first use. Returns the registration id, 0 when no
// notices can be given (the library is shutting down).
uint64_t RegisterForDisconnect(int fd);

// Removes the registration. Returns true when the caller may close fd now;
// false when a notice naming fd is being delivered at this moment, in which
// case the notifier closes fd once the callback has returned (so the number
// cannot be reused while a notice names it).
bool DeregisterForDisconnect(int fd, uint64_t id);

}  // namespace lintra
