// Runs in a fresh network namespace (only lo at first).
#include <gtest/gtest.h>

#include <string>

#include "lintra/host.h"
#include "support/support.h"

namespace {

TEST(HostIp, SkipsLoopbackWhenAnotherInterfaceIsUp) {
    int status = -1;
    testsupport::RunShell(
        "ip link add svh0 type veth peer name svh1 && ip addr add 10.77.0.1/24 dev svh0 && "
        "ip link set svh0 up && ip link set svh1 up",
        &status);
    if (status != 0) GTEST_SKIP() << "cannot create a veth pair here";
    const std::string ip = LINTRA_HOST::GetHostIp();
    ASSERT_FALSE(ip.empty());
    EXPECT_NE(ip.rfind("127.", 0), 0u) << ip;
    // Unless the host name maps to a real address in the hosts file, the
    // interface's address is the answer.
    const std::string mapped = testsupport::RunShell(
        "getent ahostsv4 \"$(hostname)\" | awk '{print $1}' | grep -v '^127\\.' | head -n1");
    if (mapped.empty()) {
        EXPECT_EQ(ip, "10.77.0.1");
    }
}

TEST(HostIp, OnlyLoopbackGivesLoopbackOrNothing) {
    const std::string ip = LINTRA_HOST::GetHostIp();
    const std::string mapped = testsupport::RunShell(
        "getent ahostsv4 \"$(hostname)\" | awk '{print $1}' | grep -v '^127\\.' | head -n1");
    if (mapped.empty()) {
        EXPECT_TRUE(ip.empty() || ip.rfind("127.", 0) == 0) << ip;
    }
}

}  // namespace
