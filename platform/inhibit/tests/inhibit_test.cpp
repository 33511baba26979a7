#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/inhibit.h"

// Without a system bus (as in a build container) nothing is held and the
// reason is told; a later release is harmless.
TEST(SleepInhibitorTest, WithoutASystemBusNothingIsHeldAndTheReasonIsGiven) {
    setenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/system_bus_socket", 1);
    platform::SleepInhibitor inhibitor;
    std::string error;
    EXPECT_FALSE(inhibitor.Acquire("sleep:idle", "solvane", "showing", &error));
    EXPECT_FALSE(inhibitor.Held());
    EXPECT_FALSE(error.empty());
    inhibitor.Release();
    EXPECT_FALSE(inhibitor.Held());
    unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
}
