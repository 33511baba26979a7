#include "platform/autostart.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/paths.h"

namespace platform {

namespace {

std::string ConfigHome() {
    if (const char* x = std::getenv("XDG_CONFIG_HOME"); x && x[0] == '/') return x;
    if (const char* h = std::getenv("HOME"); h && h[0] == '/') return JoinPath(h, ".config");
    return {};
}

}  // namespace

std::string AutostartEntryPath(const std::string& name) {
    const std::string home = ConfigHome();
    if (home.empty() || !IsSafeName(name)) return {};
    return JoinPath(JoinPath(home, "autostart"), name + ".desktop");
}

bool IsAutostartEntry(const std::string& name, const std::string& command) {
    const std::string path = AutostartEntryPath(name);
    if (path.empty()) return false;
    std::ifstream in(path);
    if (!in) return false;
    bool execMatches = false;
    bool hidden = false;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.rfind("Exec=", 0) == 0) execMatches = line.substr(5) == command;
        if (line == "Hidden=true") hidden = true;
    }
    return execMatches && !hidden;
}

bool SetAutostartEntry(const std::string& name, const std::string& command, bool enable) {
    const std::string path = AutostartEntryPath(name);
    if (path.empty()) return false;
    std::error_code ec;
    if (!enable) {
        std::filesystem::remove(path, ec);
        return !ec;
    }
    if (!MakeDirs(std::filesystem::path(path).parent_path().string())) return false;
    std::ostringstream text;
    text << "[Desktop Entry]\nType=Application\nName=" << name << "\nExec=" << command
         << "\nX-GNOME-Autostart-enabled=true\n";
    const std::string tmp = path + ".tmp";
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        if (!out) return false;
        out << text.str();
        if (!out.flush()) return false;
    }
    std::filesystem::rename(tmp, path, ec);
    if (ec) {
        std::error_code ignored;
        std::filesystem::remove(tmp, ignored);
        return false;
    }
    return true;
}

}  // namespace platform
