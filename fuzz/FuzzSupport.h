// Shared pieces of the fuzz targets: one private scratch folder per process
// (removed at exit), files written from the input, and the core on fakes.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>

namespace fuzzsupport {

// The scratch folder, made on first use. Never destroyed: the exit handler
// that removes the folder runs after the statics are gone.
inline const std::string& ScratchDir() {
    static const std::string* dir = [] {
        // Memory-backed where there is one: the saves sync every file.
        char tmpl[] = "/dev/shm/sv-fuzz-XXXXXX";
        if (::access("/dev/shm", W_OK) != 0) std::memcpy(tmpl, "/tmp/sv-fuzz-XXXXXX", sizeof "/tmp/sv-fuzz-XXXXXX");
        const char* made = ::mkdtemp(tmpl);
        if (!made) std::abort();
        auto* d = new std::string(made);
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(ScratchDir(), ec);
        });
        return d;
    }();
    return *dir;
}

// Empties a sub-folder of the scratch folder and returns its path.
inline std::string FreshDir(const std::string& name) {
    const std::string d = ScratchDir() + "/" + name;
    std::error_code ec;
    std::filesystem::remove_all(d, ec);
    std::filesystem::create_directories(d, ec);
    return d;
}

// Replaces the file with the bytes; aborts when it cannot (a broken
// harness, not a finding).
inline void WriteFile(const std::string& path, const uint8_t* data, size_t size) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) std::abort();
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, data + done, size - done);
        if (n <= 0) std::abort();
        done += static_cast<size_t>(n);
    }
    ::close(fd);
}
inline void WriteFile(const std::string& path, std::string_view text) {
    WriteFile(path, reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

// Reads fixed-size values off the front of the input, zeros once it is used up.
class Reader {
public:
    Reader(const uint8_t* data, size_t size) : p_(data), n_(size) {}
    size_t left() const { return n_; }
    const uint8_t* data() const { return p_; }
    uint8_t Byte() {
        if (!n_) return 0;
        --n_;
        return *p_++;
    }
    // Up to `count` bytes (fewer at the end).
    std::string_view Take(size_t count) {
        if (count > n_) count = n_;
        std::string_view s(reinterpret_cast<const char*>(p_), count);
        p_ += count;
        n_ -= count;
        return s;
    }
    // The bytes up to the separator (dropped) or the end.
    std::string_view Until(uint8_t separator) {
        size_t k = 0;
        while (k < n_ && p_[k] != separator) ++k;
        std::string_view s = Take(k);
        if (n_) Byte();
        return s;
    }

private:
    const uint8_t* p_;
    size_t n_;
};

}  // namespace fuzzsupport
