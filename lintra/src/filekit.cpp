#include "lintra/filekit.h"
#include "platform/fd.h"

#include <fcntl.h>
#include <nettle/md5.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>

namespace LINTRA_FILEKIT {

namespace {

constexpr size_t kSample = 1024;

using Fd = platform::UniqueFd;

// Reads up to n bytes at offset; -1 on error, else the count (short only at end of file).
ssize_t ReadFullAt(int fd, uint8_t* buf, size_t n, off_t offset) {
    size_t got = 0;
    while (got < n) {
        const ssize_t r = ::pread(fd, buf + got, n - got, offset + static_cast<off_t>(got));
        if (r < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        if (r == 0) break;
        got += static_cast<size_t>(r);
    }
    return static_cast<ssize_t>(got);
}

std::string ToHex(const uint8_t digest[MD5_DIGEST_SIZE]) {
    std::string s;
    s.reserve(2 * MD5_DIGEST_SIZE);
    char b[3];
    for (size_t i = 0; i < MD5_DIGEST_SIZE; ++i) {
        std::snprintf(b, sizeof b, "%02X", digest[i]);
        s += b;
    }
    return s;
}

}  // namespace

bool GetMD5FromFile(const char* path, std::string& identity) {
    if (!path) return false;
    Fd fd(::open(path, O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) return false;
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || S_ISDIR(st.st_mode)) return false;
    const int64_t size = st.st_size;

    md5_ctx ctx;
    md5_init(&ctx);
    uint8_t buf[2 * kSample];
    if (size >= static_cast<int64_t>(2 * kSample)) {
        if (ReadFullAt(fd.get(), buf, kSample, static_cast<off_t>(size / 2)) != static_cast<ssize_t>(kSample))
            return false;
        if (ReadFullAt(fd.get(), buf + kSample, kSample, static_cast<off_t>(size - kSample)) !=
            static_cast<ssize_t>(kSample))
            return false;
        md5_update(&ctx, 2 * kSample, buf);
    } else {
        const size_t n = static_cast<size_t>(size);
        if (ReadFullAt(fd.get(), buf, n, 0) != static_cast<ssize_t>(n)) return false;
        md5_update(&ctx, n, buf);
        md5_update(&ctx, n, buf);
    }
    uint8_t digest[MD5_DIGEST_SIZE];
    md5_digest(&ctx, MD5_DIGEST_SIZE, digest);
    identity = ToHex(digest);
    return true;
}

std::string GetFileMd5(const char* path) {
    if (!path) return {};
    Fd fd(::open(path, O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) return {};
    md5_ctx ctx;
    md5_init(&ctx);
    uint8_t buf[64 * 1024];
    for (;;) {
        const ssize_t r = ::read(fd.get(), buf, sizeof buf);
        if (r < 0) {
            if (errno == EINTR) continue;
            return {};  // a digest of part of the file would name the wrong content
        }
        if (r == 0) break;
        md5_update(&ctx, static_cast<size_t>(r), buf);
    }
    uint8_t digest[MD5_DIGEST_SIZE];
    md5_digest(&ctx, MD5_DIGEST_SIZE, digest);
    return ToHex(digest);
}

}  // namespace LINTRA_FILEKIT
