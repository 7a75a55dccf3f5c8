#include "platform/hostinfo.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <linux/if_addr.h>
#include <linux/if_packet.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <set>

namespace vnk::platform {

namespace {
constexpr std::uint32_t InfinityLifeTime = 0xFFFFFFFFu; // the kernel's "forever"

std::string dotted(const sockaddr* a) {
    if (!a || a->sa_family != AF_INET)
        return {};
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(a)->sin_addr, text, sizeof text);
    return text;
}

// The IPv4 addresses the kernel holds with a finite lifetime: those a DHCP
// client leased (a fixed address lives "forever"). Asked of the kernel's
// routing socket; nothing when it cannot be asked.
std::set<std::string> leasedAddresses() {
    std::set<std::string> leased;
    const int fd = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
    if (fd < 0)
        return leased;
    struct {
        nlmsghdr header;
        ifaddrmsg body;
    } request{};
    request.header.nlmsg_len = sizeof request;
    request.header.nlmsg_type = RTM_GETADDR;
    request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    request.header.nlmsg_seq = 1;
    request.body.ifa_family = AF_INET;
    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    timeval wait{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    if (::sendto(fd, &request, sizeof request, 0, reinterpret_cast<sockaddr*>(&kernel), sizeof kernel) < 0) {
        ::close(fd);
        return leased;
    }
    alignas(nlmsghdr) char buffer[16384];
    for (bool done = false; !done;) {
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0)
            break;
        int left = int(n);
        for (auto* h = reinterpret_cast<nlmsghdr*>(buffer); NLMSG_OK(h, left); h = NLMSG_NEXT(h, left)) {
            if (h->nlmsg_type == NLMSG_DONE || h->nlmsg_type == NLMSG_ERROR) {
                done = true;
                break;
            }
            if (h->nlmsg_type != RTM_NEWADDR || h->nlmsg_len < NLMSG_LENGTH(sizeof(ifaddrmsg)))
                continue;
            const auto* body = static_cast<const ifaddrmsg*>(NLMSG_DATA(h));
            if (body->ifa_family != AF_INET)
                continue;
            int attributesLeft = int(IFA_PAYLOAD(h));
            std::optional<in_addr> local;
            bool finite = false;
            for (auto* a = IFA_RTA(body); RTA_OK(a, attributesLeft); a = RTA_NEXT(a, attributesLeft)) {
                if ((a->rta_type == IFA_LOCAL || (a->rta_type == IFA_ADDRESS && !local)) &&
                    RTA_PAYLOAD(a) >= sizeof(in_addr)) {
                    in_addr address{};
                    std::memcpy(&address, RTA_DATA(a), sizeof address);
                    local = address;
                } else if (a->rta_type == IFA_CACHEINFO && RTA_PAYLOAD(a) >= sizeof(ifa_cacheinfo)) {
                    ifa_cacheinfo info{};
                    std::memcpy(&info, RTA_DATA(a), sizeof info);
                    finite = info.ifa_valid != InfinityLifeTime;
                }
            }
            if (local && finite) {
                char text[INET_ADDRSTRLEN] = {};
                inet_ntop(AF_INET, &*local, text, sizeof text);
                leased.insert(text);
            }
        }
    }
    ::close(fd);
    return leased;
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
    const std::set<std::string> leased = leasedAddresses();
    for (auto& a : list)
        a.leased = leased.count(a.address) != 0;
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

namespace {
std::optional<InterfaceAddress> firstPcAddress(const HostInfo& host, bool fixedOnly) {
    for (const auto& a : host.ipv4Interfaces())
        if (a.address != "0.0.0.0" && !a.address.empty() && !a.mask.empty() && !(fixedOnly && a.leased))
            return a;
    return std::nullopt;
}
} // namespace

std::optional<InterfaceAddress> findPcAddress(const HostInfo& host) {
    return firstPcAddress(host, false);
}

std::optional<InterfaceAddress> findFixedPcAddress(const HostInfo& host) {
    return firstPcAddress(host, true);
}

namespace {

constexpr HardwareAddress ZeroMac{};
constexpr HardwareAddress AllOnesMac{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
constexpr HardwareAddress FallbackMac{0x02, 0x00, 0x00, 0x00, 0x00, 0x01};

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

std::optional<HardwareAddress> parseHardwareAddress(const std::string& text) {
    HardwareAddress mac{};
    std::size_t digits = 0;
    for (char c : text) {
        if (c == ':' || c == '-' || c == ' ')
            continue;
        const int v = hexValue(c);
        if (v < 0 || digits >= 12)
            return std::nullopt;
        mac[digits / 2] = std::uint8_t(mac[digits / 2] << 4 | v);
        ++digits;
    }
    if (digits != 12)
        return std::nullopt;
    return mac;
}

std::optional<HardwareAddress> interfaceMac(const std::string& name) {
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0)
        return std::nullopt;
    std::optional<HardwareAddress> found;
    for (const ifaddrs* i = list; i && !found; i = i->ifa_next) {
        if (!i->ifa_addr || i->ifa_addr->sa_family != AF_PACKET)
            continue;
        if (name.empty() ? (i->ifa_flags & IFF_LOOPBACK) != 0 : (!i->ifa_name || name != i->ifa_name))
            continue;
        sockaddr_ll ll{};
        std::memcpy(&ll, i->ifa_addr, sizeof ll);
        if (ll.sll_halen != 6)
            continue;
        HardwareAddress mac{};
        std::copy_n(ll.sll_addr, 6, mac.begin());
        if (mac != ZeroMac)
            found = mac;
    }
    ::freeifaddrs(list);
    return found;
}

std::optional<HardwareAddress> localMacFromEnvironment(const char* variable, const char* what,
                                                       std::string* error) {
    if (const char* v = std::getenv(variable); v && *v) {
        const auto mac = parseHardwareAddress(v);
        if (!mac || *mac == ZeroMac || *mac == AllOnesMac) {
            if (error)
                *error = std::string(variable) + " is not a " + what + ": " + v;
            return std::nullopt;
        }
        return mac;
    }
    return interfaceMac().value_or(FallbackMac);
}

} // namespace vnk::platform
