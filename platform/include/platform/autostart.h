// Start at log-in through an XDG autostart entry
// (~/.config/autostart/<name>.desktop, or under $XDG_CONFIG_HOME).
#pragma once

#include <string>

namespace platform {

std::string AutostartEntryPath(const std::string& name);
// Whether the entry exists, is not hidden and starts exactly `command`.
bool IsAutostartEntry(const std::string& name, const std::string& command);
// Writes (enable) or removes the entry; false when the file could not be
// written or removed.
bool SetAutostartEntry(const std::string& name, const std::string& command, bool enable);

}  // namespace platform
