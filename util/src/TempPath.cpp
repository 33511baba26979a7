#include <unistd.h>

#include <cstring>
#include <string>

#include "platform/paths.h"
#include "util/Util.h"

namespace AESOPER {

int GetTempFilePath(char* buf, int size) {
    if (!buf || size <= 0) return 0;
    buf[0] = '\0';
    const std::string path = platform::CreateTempFile();
    if (path.empty()) return 0;
    if (path.size() + 1 > static_cast<size_t>(size)) {
        unlink(path.c_str());  // not handed out: do not leave it behind
        return 0;
    }
    memcpy(buf, path.c_str(), path.size() + 1);
    return static_cast<int>(path.size());
}

}  // namespace AESOPER
