#include "lintra/host.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <unistd.h>

#include <cstring>

#include "platform/tick.h"

namespace LINTRA_HOST {

namespace {

bool IsLoopback(const in_addr& a) { return (ntohl(a.s_addr) >> 24) == 127; }

std::string ToText(const in_addr& a) {
    char buf[INET_ADDRSTRLEN] = {};
    if (!inet_ntop(AF_INET, &a, buf, sizeof buf)) return {};
    return buf;
}

std::string FirstInterfaceIp() {
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) return {};
    std::string found;
    for (ifaddrs* it = list; it; it = it->ifa_next) {
        if (!it->ifa_addr || it->ifa_addr->sa_family != AF_INET) continue;
        if ((it->ifa_flags & IFF_LOOPBACK) || !(it->ifa_flags & IFF_UP)) continue;
        in_addr a{};
        std::memcpy(&a, &reinterpret_cast<const sockaddr_in*>(it->ifa_addr)->sin_addr, sizeof a);
        if (IsLoopback(a)) continue;
        found = ToText(a);
        break;
    }
    freeifaddrs(list);
    return found;
}

}  // namespace

std::string GetHostName() {
    char name[256] = {};
    if (gethostname(name, 255) != 0) return {};
    name[255] = '\0';
    return name;
}

std::string GetHostIp() {
    const std::string name = GetHostName();
    std::string loopback;
    if (!name.empty()) {
        addrinfo hints{};
        hints.ai_family = AF_INET;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* res = nullptr;
        if (getaddrinfo(name.c_str(), nullptr, &hints, &res) == 0) {
            for (addrinfo* it = res; it; it = it->ai_next) {
                if (it->ai_family != AF_INET || !it->ai_addr) continue;
                in_addr a{};
                std::memcpy(&a, &reinterpret_cast<const sockaddr_in*>(it->ai_addr)->sin_addr, sizeof a);
                if (IsLoopback(a)) {
                    if (loopback.empty()) loopback = ToText(a);
                    continue;
                }
                std::string text = ToText(a);
                freeaddrinfo(res);
                return text;
            }
            freeaddrinfo(res);
        }
    }
    std::string ip = FirstInterfaceIp();
    return ip.empty() ? loopback : ip;
}

std::string GetHostMAC() { return {}; }

int64_t GetSystemReferenceTime() {
    return static_cast<int64_t>(FileTimeToU64(platform::GetLocalFileTime()));
}

std::string GetNewIp(const char* ip, int n, int /*reserved*/) {
    if (!ip) return {};
    in_addr a{};
    if (inet_pton(AF_INET, ip, &a) != 1) return {};
    // In network order the last octet is the top byte of the 32-bit value
    // as this machine reads it, so the carry of the sum falls off the end.
    uint32_t v;
    std::memcpy(&v, &a, sizeof v);
    v += static_cast<uint32_t>(n) << 24;
    std::memcpy(&a, &v, sizeof v);
    return ToText(a);
}

}  // namespace LINTRA_HOST
