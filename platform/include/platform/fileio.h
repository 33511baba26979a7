// Replacing a file whole, so that a crash or a concurrent reader never sees
// a torn file.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// Writes data to a temp file beside path, flushes it to disk and renames it
// over path. An existing file keeps its mode (and owner, when privileged).
// False with errno set when any step failed; path is then unchanged.
bool SaveFileAtomically(const std::string& path, std::string_view data);

}  // namespace platform
