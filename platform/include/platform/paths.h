// Paths and names that come from outside (wire, text commands, ini values),
// the program's base folder and a private temp folder.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace platform {

// The part after the last '\' or '/'.
std::string_view LastComponent(std::string_view path);
// A name that stays inside a folder: not empty, not "." or "..", no separator, no NUL.
bool IsSafeName(std::string_view name);
// The last component of path when it is a safe name.
std::optional<std::string> SafeFileName(std::string_view path);
// base + "/" + name for a safe name; nullopt otherwise.
std::optional<std::string> JoinSafe(const std::string& base, std::string_view name);
// Joins without checks (both parts come from the program itself).
std::string JoinPath(const std::string& base, const std::string& rest);

// Folder of the running executable.
std::string ProgramFolder();
// The program folder when writable, else $XDG_DATA_HOME/<appName> (or
// ~/.local/share/<appName>); an override (--base-dir) wins. The folder is
// created when missing.
std::string ResolveBaseFolder(const std::string& appName, const std::string& overrideDir = {});
// Sets and reads the process's base folder (set once at start-up).
void SetBaseFolder(const std::string& dir);
const std::string& BaseFolder();

// The process's private temp folder (mode 0700), created on first use.
std::string PrivateTempFolder();
// A new unique, empty file in the private temp folder ending in suffix.
std::string CreateTempFile(const std::string& suffix = {});

bool MakeDirs(const std::string& dir);
bool FileExists(const std::string& path);
// A regular file (after links): not a folder, device, FIFO or socket.
bool RegularFileExists(const std::string& path);

namespace detail {
// ResolveBaseFolder with the program folder given, so the fallback can be tested.
std::string ResolveBaseFolderFrom(const std::string& programFolder, const std::string& appName,
                                  const std::string& overrideDir);
}  // namespace detail

}  // namespace platform
