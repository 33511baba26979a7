// Private-profile ini files with the Windows semantics the configuration
// code relies on: sections and keys are case-blind, the first match wins, a
// missing key gives the default, integers parse like atoi, and a write
// changes one key in place (or appends it to its section, or appends the
// section) keeping every other line as it was. CRLF and LF are both read; a
// written file keeps the line ending it had (LF for a new file). Writers are
// serialised process-wide and a save goes through a temp file, fsync and
// rename, so a crash never leaves a torn file.
//
// Only the first section of a name is searched and written: a key in a later
// section of the same name is not seen. Keys before the first section, lines
// starting with ';' and lines without '=' are kept but never matched.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

// Copies the value (or the default) into out, at most size - 1 bytes plus
// NUL; returns the number of bytes copied. Surrounding blanks are trimmed and
// one pair of matching surrounding quotes is removed.
uint32_t GetPrivateProfileString(const char* section, const char* key, const char* defaultValue,
                                 char* out, uint32_t size, const char* file);
std::string GetPrivateProfileString(const char* section, const char* key,
                                    const std::string& defaultValue, const std::string& file);

// The value parsed like atoi (leading blanks, sign, digits; garbage after
// digits ignored); the default when the key is missing. An empty value is 0.
int32_t GetPrivateProfileInt(const char* section, const char* key, int32_t defaultValue,
                             const char* file);

// Writes key=value into section. A null value removes the key; a null key
// removes the whole section (every section of that name, so that no hidden
// duplicate comes to light). Returns false when the file could not be written
// or when a name or the value holds a line break (or the key an '='), which
// would write lines that read back as other keys.
bool WritePrivateProfileString(const char* section, const char* key, const char* value,
                               const char* file);

}  // namespace platform
