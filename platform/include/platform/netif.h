// The machine's network adapters (getifaddrs).
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// Dotted IPv4 addresses of the adapters that are up, loopback excluded, in
// the order the system lists them.
std::string FirstAdapterIPv4();
// Whether some adapter other than loopback is up and running with an IPv4
// address.
bool AnyAdapterUp();
// The first IPv4 address the host name resolves to, in network byte order;
// 0 when it does not resolve.
uint32_t HostNameIPv4();

}  // namespace platform
