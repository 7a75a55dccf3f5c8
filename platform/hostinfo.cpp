#include "platform/hostinfo.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>

#include <algorithm>

namespace vnk::platform {

namespace {
std::string dotted(const sockaddr* a) {
    if (!a || a->sa_family != AF_INET)
        return {};
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(a)->sin_addr, text, sizeof text);
    return text;
}
} // namespace

std::vector<InterfaceAddress> SystemHostInfo::ipv4Interfaces() const {
    std::vector<InterfaceAddress> list;
    ifaddrs* all = nullptr;
    if (getifaddrs(&all) != 0)
        return list;
    for (ifaddrs* i = all; i; i = i->ifa_next) {
        if (!i->ifa_addr || i->ifa_addr->sa_family != AF_INET || !(i->ifa_flags & IFF_UP))
            continue;
        list.push_back(
            {dotted(i->ifa_addr), dotted(i->ifa_netmask), (i->ifa_flags & IFF_LOOPBACK) != 0, i->ifa_name});
    }
    freeifaddrs(all);
    std::stable_partition(list.begin(), list.end(), [](const InterfaceAddress& a) { return !a.loopback; });
    return list;
}

std::optional<std::string> interfaceBroadcast(const HostInfo& host, const std::string& name) {
    for (const auto& a : host.ipv4Interfaces()) {
        in_addr address{};
        in_addr mask{};
        if (a.name != name || inet_pton(AF_INET, a.address.c_str(), &address) != 1 ||
            inet_pton(AF_INET, a.mask.c_str(), &mask) != 1)
            continue;
        in_addr broadcast{};
        broadcast.s_addr = address.s_addr | ~mask.s_addr;
        char text[INET_ADDRSTRLEN] = {};
        inet_ntop(AF_INET, &broadcast, text, sizeof text);
        return std::string(text);
    }
    return std::nullopt;
}

std::optional<InterfaceAddress> findPcAddress(const HostInfo& host) {
    for (const auto& a : host.ipv4Interfaces())
        if (a.address != "0.0.0.0" && !a.address.empty() && !a.mask.empty())
            return a;
    return std::nullopt;
}

} // namespace vnk::platform
