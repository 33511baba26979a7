#include "platform/sockio.h"

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstdint>

namespace platform {

bool SendAll(int socket, const void* data, size_t length, int stallMs) {
    const auto* p = static_cast<const uint8_t*>(data);
    while (length > 0) {
        const ssize_t n = ::send(socket, p, length, MSG_NOSIGNAL);
        if (n > 0) {
            p += n;
            length -= static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd pfd{socket, POLLOUT, 0};
            const int r = ::poll(&pfd, 1, stallMs);
            if (r > 0) continue;
            if (r < 0 && errno == EINTR) continue;
        }
        return false;
    }
    return true;
}

}  // namespace platform
