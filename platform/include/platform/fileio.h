// Replacing a file whole, so that a crash or a concurrent reader never sees
// a torn file.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// Writes data to a temp file beside path, flushes it to disk and renames it
// over path. An existing file keeps its mode (and owner, when privileged); a
// new one gets the mode the umask gives. False with errno set when any step
// failed; path is then untouched (not even created).
bool SaveFileAtomically(const std::string& path, std::string_view data);

// The temp files above are named this prefix plus six characters.
inline constexpr char kSaveTempPrefix[] = ".svsave-";
// Removes the temp files a killed save left in a folder; the number removed.
// Only for folders no other running program saves into.
size_t RemoveStaleSaveTemps(const std::string& folder);

}  // namespace platform
