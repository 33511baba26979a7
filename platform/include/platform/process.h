// The running process and detached helpers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

struct ProcessInfo {
    int32_t pid = 0;
    std::string executable;          // full path of the program file
    std::vector<std::string> args;   // arguments after the program name
};
ProcessInfo CurrentProcessInfo();

// Starts argv (argv[0] a full path) in a session of its own, detached from
// this process, with every descriptor closed except 0-2 and descriptor 3: the
// read end of a pipe whose write end this process keeps until it ends, so the
// helper sees EOF there once this process is gone. False when it could not be
// started.
bool SpawnDetachedWithLifeline(const std::vector<std::string>& argv);

}  // namespace platform
