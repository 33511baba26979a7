// Benches that bind fixed addresses or shape links run in a network
// namespace of their own, never beside a real interface.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace bench {

// The source tree, for tools/.
inline std::string SourceDir() {
    const char* src = std::getenv("SV_SOURCE_DIR");
    return src ? src : SV_SOURCE_DIR_DEFAULT;
}

// True inside the namespace; outside, the program starts again under
// tools/netns-run and this returns only when that fails.
inline bool InOwnNamespace(int argc, char** argv) {
    if (std::getenv("SV_BENCH_NETNS")) return true;
    const std::string run = SourceDir() + "/tools/netns-run";
    ::setenv("SV_BENCH_NETNS", "1", 1);
    std::vector<char*> args = {const_cast<char*>(run.c_str())};
    for (int i = 0; i < argc; ++i) args.push_back(argv[i]);
    args.push_back(nullptr);
    ::execv(run.c_str(), args.data());
    std::perror("netns-run");
    return false;
}

}  // namespace bench
