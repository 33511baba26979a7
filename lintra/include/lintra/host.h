// A few facts about the local host.
#pragma once

#include <cstdint>
#include <string>

namespace LINTRA_HOST {

std::string GetHostName();
// The first IPv4 address of the host name that is not 127.x.x.x; when the
// name only resolves to loopback (as Debian's 127.0.1.1 entry makes it), the
// first IPv4 address of an interface that is up and not loopback; loopback
// only when there is nothing else. Empty when nothing is found.
std::string GetHostIp();
// Always empty.
std::string GetHostMAC();
// Local wall time as a FILETIME count: 100 ns ticks since 1601, millisecond
// resolution.
int64_t GetSystemReferenceTime();
// ip with n added to its last octet; a carry out of that octet is lost
// ("192.168.1.250" + 10 is "192.168.1.4"). Empty for a null or malformed address.
std::string GetNewIp(const char* ip, int n, int reserved = 0);

}  // namespace LINTRA_HOST
