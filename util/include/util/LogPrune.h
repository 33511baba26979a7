// Keeping the log folder from filling the disk.
#pragma once

#include <ctime>
#include <string>

namespace LOGTEXT {

// Removes the ".log" files of folder last written more than `days` days
// before now, so that a machine running for months keeps its disk. The
// default log folder is pruned at start-up (Setpath) and on each new day.
// The number of files removed.
int PruneOldLogs(const std::string& folder, time_t now, int days = 30);

}  // namespace LOGTEXT
