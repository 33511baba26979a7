#include "platform/instance.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstring>

namespace platform {

SingleInstance::~SingleInstance() { Release(); }

bool SingleInstance::Acquire(const std::string& name, bool* busy) {
    if (busy) *busy = false;
    Release();
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    // Abstract name: a leading NUL, never a file.
    const size_t room = sizeof addr.sun_path - 1;
    const size_t n = name.size() < room ? name.size() : room;
    std::memcpy(addr.sun_path + 1, name.data(), n);
    const auto len = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + n);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&addr), len) != 0) {
        if (busy) *busy = (errno == EADDRINUSE);
        ::close(fd);
        return false;
    }
    fd_ = fd;
    return true;
}

void SingleInstance::Release() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

}  // namespace platform
