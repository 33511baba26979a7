#include "platform/fdlimit.h"

#include <sys/resource.h>

#include <mutex>

namespace platform {

size_t RaiseDescriptorLimit() {
    static std::once_flag once;
    std::call_once(once, [] {
        rlimit limit{};
        if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur >= limit.rlim_max) return;
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
    });
    return DescriptorLimit();
}

size_t DescriptorLimit() {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return 1024;
    if (limit.rlim_cur == RLIM_INFINITY) return static_cast<size_t>(1) << 20;
    return static_cast<size_t>(limit.rlim_cur);
}

}  // namespace platform
