#include "platform/paths.h"

#include <errno.h>
#include <fcntl.h>
#include <pwd.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <mutex>
#include <system_error>

namespace platform {
namespace {

std::mutex g_mutex;
std::string g_baseFolder;
std::string g_tempFolder;

std::string HomeFolder() {
    if (const char* home = getenv("HOME"); home && *home) return home;
    if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) return pw->pw_dir;
    return "/tmp";
}

bool IsDir(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

void RemoveTempFolderIfEmpty() {
    // Only an empty folder goes; files someone still wants are left alone.
    std::lock_guard<std::mutex> lock(g_mutex);
    if (!g_tempFolder.empty()) ::rmdir(g_tempFolder.c_str());
}

}  // namespace

std::string_view LastComponent(std::string_view path) {
    size_t sep = path.find_last_of("\\/");
    return sep == std::string_view::npos ? path : path.substr(sep + 1);
}

bool IsSafeName(std::string_view name) {
    if (name.empty() || name == "." || name == "..") return false;
    return name.find_first_of(std::string_view("\\/\0", 3)) == std::string_view::npos;
}

std::optional<std::string> SafeFileName(std::string_view path) {
    std::string_view name = LastComponent(path);
    if (!IsSafeName(name)) return std::nullopt;
    return std::string(name);
}

std::optional<std::string> JoinSafe(const std::string& base, std::string_view name) {
    if (!IsSafeName(name)) return std::nullopt;
    return JoinPath(base, std::string(name));
}

std::string JoinPath(const std::string& base, const std::string& rest) {
    if (base.empty()) return rest;
    if (rest.empty()) return base;
    std::string out = base;
    if (out.back() != '/') out += '/';
    size_t skip = rest.find_first_not_of('/');
    if (skip == std::string::npos) return out;
    out.append(rest, skip);
    return out;
}

std::string ProgramFolder() {
    static const std::string folder = [] {
        std::error_code ec;
        std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
        if (ec || exe.empty()) return std::filesystem::current_path(ec).string();
        return exe.parent_path().string();
    }();
    return folder;
}

namespace detail {
std::string ResolveBaseFolderFrom(const std::string& programFolder, const std::string& appName,
                                  const std::string& overrideDir) {
    std::error_code ec;
    if (!overrideDir.empty()) {
        // Absolute, so that a later change of the working folder cannot move it.
        std::string dir = std::filesystem::absolute(overrideDir, ec).lexically_normal().string();
        if (ec) dir = overrideDir;
        if (dir.size() > 1 && dir.back() == '/') dir.pop_back();
        MakeDirs(dir);
        return dir;
    }
    if (!programFolder.empty() && ::access(programFolder.c_str(), W_OK) == 0) return programFolder;
    // A relative XDG_DATA_HOME is to be ignored.
    const char* xdg = getenv("XDG_DATA_HOME");
    std::string data = (xdg && xdg[0] == '/') ? std::string(xdg) : JoinPath(HomeFolder(), ".local/share");
    std::string dir = JoinPath(data, appName);
    MakeDirs(dir);
    return dir;
}
}  // namespace detail

std::string ResolveBaseFolder(const std::string& appName, const std::string& overrideDir) {
    return detail::ResolveBaseFolderFrom(ProgramFolder(), appName, overrideDir);
}

void SetBaseFolder(const std::string& dir) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_baseFolder = dir;
}

const std::string& BaseFolder() {
    std::lock_guard<std::mutex> lock(g_mutex);
    // Beside the program until start-up decides otherwise.
    if (g_baseFolder.empty()) g_baseFolder = ProgramFolder();
    return g_baseFolder;
}

std::string PrivateTempFolder() {
    std::lock_guard<std::mutex> lock(g_mutex);
    // Made again if a cleaner removed it while we ran.
    if (!g_tempFolder.empty() && IsDir(g_tempFolder)) return g_tempFolder;
    const bool first = g_tempFolder.empty();
    std::string name = program_invocation_short_name;
    if (!IsSafeName(name)) name = "program";
    std::string candidates[2];
    if (const char* tmp = getenv("TMPDIR"); tmp && tmp[0] == '/') candidates[0] = tmp;
    candidates[1] = "/tmp";
    for (const std::string& root : candidates) {
        if (root.empty()) continue;
        std::string tmpl = JoinPath(root, name + ".XXXXXX");
        if (::mkdtemp(tmpl.data())) {  // mode 0700
            g_tempFolder = tmpl;
            if (first) atexit(RemoveTempFolderIfEmpty);
            return g_tempFolder;
        }
    }
    return {};
}

std::string CreateTempFile(const std::string& suffix) {
    std::string folder = PrivateTempFolder();
    if (folder.empty()) return {};
    std::string path = JoinPath(folder, "tmpXXXXXX" + suffix);
    int fd = ::mkostemps(path.data(), static_cast<int>(suffix.size()), O_CLOEXEC);
    if (fd < 0) return {};
    ::close(fd);
    return path;
}

bool MakeDirs(const std::string& dir) {
    if (dir.empty()) return false;
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    return IsDir(dir);
}

bool FileExists(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0;
}

bool RegularFileExists(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace platform
