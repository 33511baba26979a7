// One running copy per machine: a name held by an abstract UNIX socket. The
// kernel drops the name when the holder ends, however it ends, so a crashed
// server never blocks the next start. The name space is the network
// namespace's, so a private namespace is a machine of its own.
#pragma once

#include <string>

namespace platform {

class SingleInstance {
public:
    SingleInstance() = default;
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // Takes the name; false when another process (or object) holds it or the
    // socket could not be made. *busy tells the two apart.
    bool Acquire(const std::string& name, bool* busy = nullptr);
    void Release();
    bool Held() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

}  // namespace platform
