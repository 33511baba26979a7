// The logging library: log lines, crash dumps, temp file paths and the
// monitor-list text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/types.h"

namespace LOGTEXT {

// Selects the log file. Null or empty: the default, "log/<program>_<date>.log"
// under the base folder. Lines logged before the first call go to the default.
void Setpath(const char* path);
// Path of the log file lines are written to now.
std::string CurrentPath();

// printf-style; one whole line per call with time stamp, level and thread id.
// Formats are UTF-8 (text from the wire is converted before it is logged).
void LogInfo(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
void LogDebug(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
void LogError(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
void LogTrace(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

enum class Level { Info, Debug, Error, Trace };
const char* LevelName(Level level);

// Receives every logged line (message text only, without stamp) in addition
// to the file; for tests that check log texts. One sink at a time; null removes it.
using Sink = void (*)(Level level, const char* message, void* user);
void SetSink(Sink sink, void* user);

}  // namespace LOGTEXT

// Installs handlers for SIGSEGV, SIGABRT, SIGBUS and SIGFPE that write a
// backtrace to "crash/<program>_<time>_<pid>.txt" under the base folder, then
// let the signal end the process as it would have.
void BuildCrashDumpFile();
// Folder crash files are written to (for tests); set before BuildCrashDumpFile.
void SetCrashDumpFolder(const char* folder);

namespace AESOPER {
// Writes the path of a new unique temp file (in the private temp folder) into
// buf; returns its length, or 0 when buf is too small.
int GetTempFilePath(char* buf, int size);
}  // namespace AESOPER

// One attached display, as the display list fills it.
struct MY_MONITORINFO {
    int32_t number = 0;         // enumeration index + 1
    std::string deviceName;     // "\\.\DISPLAYn"
    int32_t primary = 0;
    RECT monitor{};
    RECT work{};
    int32_t bitsPerPixel = 0;
    int32_t refreshRate = 0;
    int32_t orientation = 0;    // 0, 1, 2, 3: 0, 90, 180, 270 degrees
    std::vector<SIZE> modes;    // unique width x height pairs, first met first
    std::vector<SIZE> extra;    // kept empty by the enumeration
};

namespace XMLOPER {
// The display list as one XML text.
std::string EncodeMonitorInfo(const std::vector<MY_MONITORINFO>& monitors);
}  // namespace XMLOPER
