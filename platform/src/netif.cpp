#include "platform/netif.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <unistd.h>

namespace platform {

namespace {

template <class Visit>
void ForEachUpIPv4(Visit visit) {
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) return;
    for (ifaddrs* it = list; it; it = it->ifa_next) {
        if (!it->ifa_addr || it->ifa_addr->sa_family != AF_INET) continue;
        if ((it->ifa_flags & IFF_LOOPBACK) || !(it->ifa_flags & IFF_UP)) continue;
        if (!visit(*it)) break;
    }
    freeifaddrs(list);
}

}  // namespace

std::string FirstAdapterIPv4() {
    std::string result;
    ForEachUpIPv4([&](const ifaddrs& it) {
        char text[INET_ADDRSTRLEN] = {};
        const auto* sin = reinterpret_cast<const sockaddr_in*>(it.ifa_addr);
        if (!inet_ntop(AF_INET, &sin->sin_addr, text, sizeof text)) return true;
        if (text[0] == '\0' || text[0] == '0') return true;
        result = text;
        return false;
    });
    return result;
}

bool AnyAdapterUp() {
    bool up = false;
    ForEachUpIPv4([&](const ifaddrs& it) {
        if (!(it.ifa_flags & IFF_RUNNING)) return true;
        up = true;
        return false;
    });
    return up;
}

uint32_t HostNameIPv4() {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0) return 0;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* res = nullptr;
    if (getaddrinfo(name, nullptr, &hints, &res) != 0 || !res) return 0;
    const uint32_t addr = reinterpret_cast<const sockaddr_in*>(res->ai_addr)->sin_addr.s_addr;
    freeaddrinfo(res);
    return addr;
}

}  // namespace platform
