#include "platform/fileio.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <dirent.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
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

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
}

// The process's file-creation mask, read without changing it (umask() would
// change it for every thread for a moment).
mode_t CurrentUmask() {
    if (FILE* f = std::fopen("/proc/self/status", "re")) {
        char line[256];
        unsigned mask = 0;
        bool found = false;
        while (std::fgets(line, sizeof line, f))
            if (std::sscanf(line, "Umask: %o", &mask) == 1) {
                found = true;
                break;
            }
        std::fclose(f);
        if (found) return static_cast<mode_t>(mask);
    }
    return 022;
}

}  // namespace

bool SaveFileAtomically(const std::string& path, std::string_view data) {
    struct stat st {};
    const bool existing = ::stat(path.c_str(), &st) == 0;
    // A short name of our own pattern: a long target name plus a suffix
    // could pass the name limit, and the target is never touched before
    // the rename.
    const std::string dir = FolderOf(path);
    std::string tmp = (dir == "/" ? std::string() : dir) + "/" + kSaveTempPrefix + "XXXXXX";
    int fd = ::mkostemp(tmp.data(), O_CLOEXEC);
    if (fd < 0) return false;
    bool ok = WriteFully(fd, data);
    if (ok && existing) {
        ::fchmod(fd, st.st_mode & 07777);
        if (::fchown(fd, st.st_uid, st.st_gid) != 0) {
            // Only a privileged process may hand the file back; keep ours otherwise.
        }
    } else if (ok) {
        ::fchmod(fd, 0666 & ~CurrentUmask());
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
    int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
    return true;
}

}  // namespace platform

namespace platform {

size_t RemoveStaleSaveTemps(const std::string& folder) {
    size_t removed = 0;
    DIR* d = ::opendir(folder.c_str());
    if (!d) return 0;
    const size_t prefix = std::strlen(kSaveTempPrefix);
    while (const dirent* e = ::readdir(d)) {
        const std::string name = e->d_name;
        if (name.size() != prefix + 6 || name.compare(0, prefix, kSaveTempPrefix) != 0) continue;
        const std::string full = (folder == "/" ? std::string() : folder) + "/" + name;
        struct stat st {};
        if (::lstat(full.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::unlink(full.c_str()) == 0) ++removed;
    }
    ::closedir(d);
    return removed;
}

}  // namespace platform
