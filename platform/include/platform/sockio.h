// Whole sends on stream sockets.
#pragma once

#include <cstddef>

namespace platform {

// Sends every byte (a stream send may take only part of a large buffer),
// without SIGPIPE. False on an error or when the peer stops taking bytes for
// stallMs.
bool SendAll(int socket, const void* data, size_t length, int stallMs = 10000);

}  // namespace platform
