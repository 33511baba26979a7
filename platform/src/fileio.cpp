#include "platform/fileio.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace platform {
namespace {

bool WriteFully(int fd, std::string_view data) {
    size_t done = 0;
    while (done < data.size()) {
        ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

bool SaveFileAtomically(const std::string& path, std::string_view data) {
    struct stat st {};
    bool haveMode = ::stat(path.c_str(), &st) == 0;
    if (!haveMode) {
        // Create the file once so that it gets the mode the umask gives.
        int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            haveMode = ::fstat(fd, &st) == 0;
            ::close(fd);
        }
    }
    std::string tmp = path + ".XXXXXX";
    int fd = ::mkostemp(tmp.data(), O_CLOEXEC);
    if (fd < 0) return false;
    bool ok = WriteFully(fd, data);
    if (ok && haveMode) {
        ::fchmod(fd, st.st_mode & 07777);
        if (::fchown(fd, st.st_uid, st.st_gid) != 0) {
            // Only a privileged process may hand the file back; keep ours otherwise.
        }
    }
    ok = ok && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    ok = ok && ::rename(tmp.c_str(), path.c_str()) == 0;
    if (!ok) {
        int err = errno;
        ::unlink(tmp.c_str());
        errno = err;
        return false;
    }
    size_t slash = path.rfind('/');
    std::string dir = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
    int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
    return true;
}

}  // namespace platform
