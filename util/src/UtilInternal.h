// Helpers shared by the sources of the logging library.
#pragma once

#include <string>

namespace util_detail {

// File name of the running program.
std::string ProgramName();
// base folder (or program folder) + "/" + sub, created; the private temp
// folder + "/" + sub when that cannot be written.
std::string WritableFolder(const std::string& sub);

}  // namespace util_detail
