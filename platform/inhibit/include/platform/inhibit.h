// A logind inhibitor lock held over D-Bus: while it is held the machine does
// not suspend or go idle-sleep. Where logind (or the system bus) is absent
// nothing is held and the reason is given.
#pragma once

#include <string>

namespace platform {

class SleepInhibitor {
public:
    SleepInhibitor() = default;
    ~SleepInhibitor();
    SleepInhibitor(const SleepInhibitor&) = delete;
    SleepInhibitor& operator=(const SleepInhibitor&) = delete;

    // Takes a "block" lock on what ("sleep:idle") for who, saying why; true
    // when logind granted it. *error tells why not.
    bool Acquire(const std::string& what, const std::string& who, const std::string& why,
                 std::string* error = nullptr);
    // Closing the descriptor logind handed out ends the lock.
    void Release();
    bool Held() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

}  // namespace platform
