// Small helpers for the tests of every folder.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

namespace testsupport {

// A fresh folder under the system temp folder, removed with everything in it.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::string str() const { return path_.string(); }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

// Polls pred every few milliseconds until it holds or the deadline passes.
bool WaitUntil(const std::function<bool()>& pred,
               std::chrono::milliseconds deadline = std::chrono::seconds(5));

std::string ReadFile(const std::filesystem::path& p);
void WriteFile(const std::filesystem::path& p, const std::string& bytes);

// Runs a shell command; returns its standard output, exit status in *status.
std::string RunShell(const std::string& cmd, int* status = nullptr);

// A socket of the given type (SOCK_DGRAM, SOCK_STREAM) bound to 127.0.0.1
// on a port the kernel chose; -1 on failure.
int BindLoopback(int type, uint16_t& port);

// Number of open descriptors of this process.
int OpenFdCount();

// Whether a locale with a comma decimal separator could be set; returns its
// name or an empty string.
std::string FindCommaDecimalLocale();

}  // namespace testsupport
