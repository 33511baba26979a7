#include "platform/inhibit.h"

#include <fcntl.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <cstring>

namespace platform {

SleepInhibitor::~SleepInhibitor() { Release(); }

bool SleepInhibitor::Acquire(const std::string& what, const std::string& who, const std::string& why,
                             std::string* error) {
    Release();
    sd_bus* bus = nullptr;
    int r = sd_bus_open_system(&bus);
    if (r < 0) {
        if (error) *error = std::string("no system bus: ") + std::strerror(-r);
        return false;
    }
    sd_bus_error err = SD_BUS_ERROR_NULL;
    sd_bus_message* call = nullptr;
    sd_bus_message* reply = nullptr;
    r = sd_bus_message_new_method_call(bus, &call, "org.freedesktop.login1", "/org/freedesktop/login1",
                                       "org.freedesktop.login1.Manager", "Inhibit");
    if (r >= 0) r = sd_bus_message_append(call, "ssss", what.c_str(), who.c_str(), why.c_str(), "block");
    // A bus without logind would otherwise hold the caller for the bus's
    // activation time-out (25 s).
    constexpr uint64_t kCallTimeoutUs = 2000000;
    if (r >= 0) r = sd_bus_call(bus, call, kCallTimeoutUs, &err, &reply);
    sd_bus_message_unref(call);
    int fd = -1;
    if (r >= 0) r = sd_bus_message_read(reply, "h", &fd);
    if (r >= 0) {
        // The descriptor belongs to the reply: keep a copy of our own.
        fd_ = fcntl(fd, F_DUPFD_CLOEXEC, 3);
        if (fd_ < 0) r = -errno;
    }
    if (r < 0 && error)
        *error = sd_bus_error_is_set(&err) ? std::string(err.name) + ": " + (err.message ? err.message : "")
                                          : std::string(std::strerror(-r));
    sd_bus_error_free(&err);
    sd_bus_message_unref(reply);
    sd_bus_flush_close_unref(bus);
    return fd_ >= 0;
}

void SleepInhibitor::Release() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

}  // namespace platform
