#include "platform/netbios.h"

#include "platform/endpoint.h"
#include "platform/udp_socket.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <random>
#include <thread>

namespace vnk::platform {

namespace {

// At most this many datagrams are read from one adapter per poll, so that a
// busy port cannot keep a wait reading forever.
constexpr int MaxReadsPerPoll = 256;
constexpr std::uint8_t FirstNameNumber = 2; // 1 is the adapter's permanent name
constexpr std::uint8_t LastNameNumber = 254;
constexpr std::uint8_t NameRegistered = 0x04;
constexpr std::uint8_t NameIsGroup = 0x80;
constexpr std::uint8_t MoreFragments = 0x01;
constexpr std::uint8_t FirstFragment = 0x02;

void putU16(std::vector<std::uint8_t>& out, std::uint16_t v) {
    out.push_back(std::uint8_t(v >> 8));
    out.push_back(std::uint8_t(v));
}

std::uint16_t getU16(std::span<const std::uint8_t> d, std::size_t at) {
    return std::uint16_t(d[at] << 8 | d[at + 1]);
}

void putLe16(std::uint8_t* at, std::uint16_t v) {
    at[0] = std::uint8_t(v);
    at[1] = std::uint8_t(v >> 8);
}

NetbiosName nameFrom(const std::uint8_t* raw) {
    NetbiosName n{};
    std::copy_n(raw, NetbiosNameSize, n.begin());
    return n;
}

// One datagram from fd with the address it was sent to (IP_PKTINFO), so that an
// adapter keeps only what was broadcast on its own network. -1 when there is
// nothing more to read; 0 with *skip set for a datagram to drop.
ssize_t receiveWithDestination(int fd, std::uint8_t* buffer, std::size_t size, std::uint32_t* destination,
                               bool* skip) {
    iovec io{buffer, size};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))];
    msghdr msg{};
    msg.msg_iov = &io;
    msg.msg_iovlen = 1;
    msg.msg_control = control;
    msg.msg_controllen = sizeof control;
    const ssize_t n = ::recvmsg(fd, &msg, 0);
    *skip = false;
    *destination = 0;
    if (n < 0) {
        if (errno == EINTR || errno == ECONNREFUSED) {
            *skip = true; // an interrupted read or an ICMP report: not a datagram
            return 0;
        }
        return -1;
    }
    if (msg.msg_flags & (MSG_TRUNC | MSG_CTRUNC)) {
        *skip = true; // longer than any datagram of ours
        return 0;
    }
    for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c))
        if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_PKTINFO) {
            in_pktinfo info{};
            std::memcpy(&info, CMSG_DATA(c), sizeof info);
            *destination = ntohl(info.ipi_addr.s_addr);
        }
    return n;
}

} // namespace

// --- names ---

NetbiosName makeNetbiosName(std::string_view text) {
    NetbiosName n;
    n.fill(' ');
    std::copy_n(text.begin(), std::min(text.size(), NetbiosNameSize), n.begin());
    return n;
}

std::string netbiosNameText(const NetbiosName& name) {
    std::string s(name.begin(), name.end());
    s.erase(s.find_last_not_of(' ') + 1);
    return s;
}

std::array<std::uint8_t, EncodedNetbiosNameSize> encodeNetbiosName(const NetbiosName& name) {
    std::array<std::uint8_t, EncodedNetbiosNameSize> out{};
    out[0] = 32;
    for (std::size_t i = 0; i < NetbiosNameSize; ++i) {
        out[1 + 2 * i] = std::uint8_t('A' + (name[i] >> 4));
        out[2 + 2 * i] = std::uint8_t('A' + (name[i] & 0x0F));
    }
    out[33] = 0;
    return out;
}

std::optional<NetbiosName> decodeNetbiosName(std::span<const std::uint8_t> encoded) {
    if (encoded.size() < EncodedNetbiosNameSize || encoded[0] != 32 || encoded[33] != 0)
        return std::nullopt;
    NetbiosName n{};
    for (std::size_t i = 0; i < NetbiosNameSize; ++i) {
        const std::uint8_t hi = encoded[1 + 2 * i], lo = encoded[2 + 2 * i];
        if (hi < 'A' || hi > 'P' || lo < 'A' || lo > 'P')
            return std::nullopt;
        n[i] = std::uint8_t((hi - 'A') << 4 | (lo - 'A'));
    }
    return n;
}

// --- the datagram ---

std::vector<std::uint8_t> encodeNetbiosDatagram(const NetbiosDatagram& d) {
    if ((d.type != DirectUniqueDatagram && d.type != DirectGroupDatagram) ||
        d.data.size() > NetbiosMaxUserData)
        return {};
    std::vector<std::uint8_t> out;
    out.reserve(NetbiosDatagramHeaderSize + 2 * EncodedNetbiosNameSize + d.data.size());
    out.push_back(d.type);
    out.push_back(d.flags);
    putU16(out, d.id);
    putU16(out, std::uint16_t(d.sourceIp >> 16));
    putU16(out, std::uint16_t(d.sourceIp));
    putU16(out, d.sourcePort);
    putU16(out, std::uint16_t(2 * EncodedNetbiosNameSize + d.data.size()));
    putU16(out, 0); // packet offset: the first and only fragment
    const auto source = encodeNetbiosName(d.source);
    const auto destination = encodeNetbiosName(d.destination);
    out.insert(out.end(), source.begin(), source.end());
    out.insert(out.end(), destination.begin(), destination.end());
    out.insert(out.end(), d.data.begin(), d.data.end());
    return out;
}

std::optional<NetbiosDatagram> decodeNetbiosDatagram(std::span<const std::uint8_t> bytes) {
    constexpr std::size_t namesAt = NetbiosDatagramHeaderSize;
    constexpr std::size_t dataAt = namesAt + 2 * EncodedNetbiosNameSize;
    if (bytes.size() < dataAt || bytes.size() > dataAt + NetbiosMaxUserData)
        return std::nullopt;
    NetbiosDatagram d;
    d.type = bytes[0];
    d.flags = bytes[1];
    if (d.type != DirectUniqueDatagram && d.type != DirectGroupDatagram)
        return std::nullopt;
    // Fragments are not put together again: only a whole datagram is one.
    if (!(d.flags & FirstFragment) || (d.flags & MoreFragments) || getU16(bytes, 12) != 0)
        return std::nullopt;
    if (getU16(bytes, 10) != bytes.size() - namesAt)
        return std::nullopt;
    const auto source = decodeNetbiosName(bytes.subspan(namesAt, EncodedNetbiosNameSize));
    const auto destination =
        decodeNetbiosName(bytes.subspan(namesAt + EncodedNetbiosNameSize, EncodedNetbiosNameSize));
    if (!source || !destination)
        return std::nullopt;
    d.id = getU16(bytes, 2);
    d.sourceIp = std::uint32_t(getU16(bytes, 4)) << 16 | getU16(bytes, 6);
    d.sourcePort = getU16(bytes, 8);
    d.source = *source;
    d.destination = *destination;
    d.data.assign(bytes.begin() + std::ptrdiff_t(dataAt), bytes.end());
    return d;
}

// --- adapters ---

std::vector<NetbiosAdapter> netbiosAdapters(const std::string& broadcast, std::uint16_t port,
                                            std::string* error) {
    std::vector<NetbiosAdapter> list;
    const auto wanted = parseIPv4(broadcast);
    if (!wanted) {
        if (error)
            *error = "not an IPv4 broadcast address: " + broadcast;
        return list;
    }
    if ((*wanted >> 24) == 127) {
        std::string why;
        const auto mac = localMacFromEnvironment("VNK_NETBIOS_MAC", "MAC address", &why);
        if (!mac) {
            if (error)
                *error = why;
            return list;
        }
        list.push_back(NetbiosAdapter{0, "127.0.0.1", broadcast, port, *mac});
        return list;
    }
    ifaddrs* all = nullptr;
    if (::getifaddrs(&all) != 0)
        return list;
    for (const ifaddrs* i = all; i; i = i->ifa_next) {
        constexpr unsigned needed = IFF_UP | IFF_BROADCAST;
        if (!i->ifa_addr || i->ifa_addr->sa_family != AF_INET || (i->ifa_flags & needed) != needed ||
            (i->ifa_flags & IFF_LOOPBACK) || !i->ifa_broadaddr || list.size() > 254)
            continue;
        sockaddr_in own{}, directed{};
        std::memcpy(&own, i->ifa_addr, sizeof own);
        std::memcpy(&directed, i->ifa_broadaddr, sizeof directed);
        const std::uint32_t address = ntohl(own.sin_addr.s_addr);
        const std::uint32_t bcast = ntohl(directed.sin_addr.s_addr);
        // A directed broadcast address given names one network; the limited
        // broadcast address means all of them.
        if (*wanted != 0xFFFFFFFF && *wanted != bcast)
            continue;
        char a[INET_ADDRSTRLEN] = {}, b[INET_ADDRSTRLEN] = {};
        ::inet_ntop(AF_INET, &own.sin_addr, a, sizeof a);
        ::inet_ntop(AF_INET, &directed.sin_addr, b, sizeof b);
        const HardwareAddress mac =
            interfaceMac(i->ifa_name)
                .value_or(HardwareAddress{0x02, 0x00, std::uint8_t(address >> 24),
                                          std::uint8_t(address >> 16), std::uint8_t(address >> 8),
                                          std::uint8_t(address)});
        list.push_back(NetbiosAdapter{std::uint8_t(list.size()), a, b, port, mac});
    }
    ::freeifaddrs(all);
    return list;
}

std::optional<std::vector<NetbiosAdapter>> netbiosAdaptersFromEnvironment(std::string* error) {
    if (error)
        error->clear();
    auto fail = [&](const std::string& why) -> std::optional<std::vector<NetbiosAdapter>> {
        if (error)
            *error = why;
        return std::nullopt;
    };
    const char* port = std::getenv("VNK_NETBIOS_PORT");
    if (!port || !*port)
        return std::nullopt; // NetBEUI is not installed
    const auto p = parsePort(port);
    if (!p)
        return fail(std::string("VNK_NETBIOS_PORT is not a port number: ") + port);
    std::string broadcast = "255.255.255.255";
    if (const char* b = std::getenv("VNK_BROADCAST"); b && *b) {
        if (!parseIPv4(b))
            return fail(std::string("VNK_BROADCAST is not an IPv4 address: ") + b);
        broadcast = b;
    }
    std::string why;
    auto list = netbiosAdapters(broadcast, *p, &why);
    if (!why.empty())
        return fail(why);
    return list;
}

// --- the layer ---

NetbiosLayer::NetbiosLayer(std::vector<NetbiosAdapter> adapters, std::vector<std::string> groupNames)
    : m_adapters(std::move(adapters)), m_nextId(std::uint16_t(std::random_device{}())) {
    for (const auto& g : groupNames)
        m_groups.push_back(makeNetbiosName(g));
    m_lanas.resize(m_adapters.size());
    for (std::size_t i = 0; i < m_adapters.size(); ++i) {
        const NetbiosAdapter& a = m_adapters[i];
        const auto address = parseIPv4(a.address);
        const auto broadcast = parseIPv4(a.broadcast);
        if (!address || !broadcast || a.port == 0)
            continue;
        const int fd = openUdpSocket();
        const int on = 1;
        if (fd < 0 || setNonBlocking(fd) != 0 || enableReuseAddress(fd) != 0 || enableBroadcast(fd) != 0 ||
            ::setsockopt(fd, IPPROTO_IP, IP_PKTINFO, &on, sizeof on) != 0 || bindAny(fd, a.port) != 0) {
            closeSocket(fd);
            continue; // an adapter that cannot be opened is not there
        }
        m_lanas[i].fd = fd;
        m_lanas[i].address = *address;
        m_lanas[i].broadcast = *broadcast;
    }
}

NetbiosLayer::~NetbiosLayer() {
    for (Lana& l : m_lanas)
        closeSocket(l.fd);
}

std::uint8_t NetbiosLayer::finish(NCB* ncb, std::uint8_t code) {
    ncb->ncb_retcode = code;
    ncb->ncb_cmd_cplt = code;
    return code;
}

NetbiosLayer::Lana* NetbiosLayer::lanaOf(std::uint8_t number, std::size_t* index) {
    for (std::size_t i = 0; i < m_adapters.size(); ++i)
        if (m_adapters[i].lana == number && m_lanas[i].fd >= 0) {
            if (index)
                *index = i;
            return &m_lanas[i];
        }
    return nullptr;
}

const NetbiosLayer::Name* NetbiosLayer::nameOf(const Lana& lana, std::uint8_t number) const {
    for (const Name& n : lana.names)
        if (n.number == number)
            return &n;
    return nullptr;
}

bool NetbiosLayer::isGroup(const Lana& lana, const NetbiosName& name) const {
    if (std::find(m_groups.begin(), m_groups.end(), name) != m_groups.end())
        return true;
    return std::any_of(lana.names.begin(), lana.names.end(),
                       [&](const Name& n) { return n.group && n.name == name; });
}

std::uint8_t NetbiosLayer::Netbios(NCB* ncb) {
    if (!ncb)
        return ncb::BadBuffer;
    switch (std::uint8_t command = ncb->ncb_command; command & ~ncb::Asynch) {
    case ncb::EnumerateLanas:
        return enumerate(ncb);
    case ncb::Reset:
        return reset(ncb);
    case ncb::AdapterStatus:
        return adapterStatus(ncb);
    case ncb::AddName:
        return addName(ncb, false);
    case ncb::AddGroupName:
        return addName(ncb, true);
    case ncb::SendDatagram:
        return sendDatagram(ncb);
    case ncb::ReceiveDatagram:
        // Without threads a receive can only wait for poll(): it must be asynchronous.
        if (!(command & ncb::Asynch))
            return finish(ncb, ncb::IllegalCommand);
        return receiveDatagram(ncb);
    case ncb::Cancel:
        return cancel(ncb);
    default:
        return finish(ncb, ncb::IllegalCommand);
    }
}

std::uint8_t NetbiosLayer::enumerate(NCB* ncb) {
    std::vector<std::uint8_t> numbers;
    for (std::size_t i = 0; i < m_adapters.size(); ++i)
        if (m_lanas[i].fd >= 0)
            numbers.push_back(m_adapters[i].lana);
    if (!ncb->ncb_buffer || ncb->ncb_length < 1 + numbers.size())
        return finish(ncb, ncb->ncb_buffer ? ncb::BufferLength : ncb::BadBuffer);
    ncb->ncb_buffer[0] = std::uint8_t(numbers.size());
    std::copy(numbers.begin(), numbers.end(), ncb->ncb_buffer + 1);
    return finish(ncb, ncb::Good);
}

void NetbiosLayer::cancelPending(std::size_t lana) {
    std::erase_if(m_pending, [&](const PendingReceive& p) {
        if (p.lana != lana)
            return false;
        finish(p.ncb, ncb::Cancelled);
        return true;
    });
}

std::uint8_t NetbiosLayer::reset(NCB* ncb) {
    std::size_t index = 0;
    Lana* lana = lanaOf(ncb->ncb_lana_num, &index);
    if (!lana)
        return finish(ncb, ncb::BadLana);
    // A reset starts the adapter afresh: its names are deleted and what was
    // pending on it ends as cancelled.
    cancelPending(index);
    lana->names.clear();
    lana->nextNumber = FirstNameNumber;
    lana->reset = true;
    return finish(ncb, ncb::Good);
}

std::uint8_t NetbiosLayer::adapterStatus(NCB* ncb) {
    std::size_t index = 0;
    Lana* lana = lanaOf(ncb->ncb_lana_num, &index);
    if (!lana)
        return finish(ncb, ncb::BadLana);
    if (!lana->reset)
        return finish(ncb, ncb::EnvironmentNotDefined);
    if (ncb->ncb_callname[0] != '*')
        return finish(ncb, ncb::CommandTimedOut); // nobody answers a remote adapter status here
    if (!ncb->ncb_buffer && ncb->ncb_length > 0)
        return finish(ncb, ncb::BadBuffer);
    std::vector<std::uint8_t> status(ncb::AdapterStatusSize + ncb::NameBufferSize * lana->names.size(), 0);
    const HardwareAddress& mac = m_adapters[index].mac;
    std::copy(mac.begin(), mac.end(), status.begin());
    status[6] = 3;    // NetBIOS 3.0
    status[8] = 0xFE; // an Ethernet adapter
    putLe16(&status[48], std::uint16_t(NetbiosMaxUserData));
    putLe16(&status[58], std::uint16_t(lana->names.size()));
    for (std::size_t k = 0; k < lana->names.size(); ++k) {
        std::uint8_t* at = &status[ncb::AdapterStatusSize + ncb::NameBufferSize * k];
        std::copy(lana->names[k].name.begin(), lana->names[k].name.end(), at);
        at[16] = lana->names[k].number;
        at[17] = std::uint8_t(NameRegistered | (lana->names[k].group ? NameIsGroup : 0));
    }
    const std::size_t n = std::min<std::size_t>(status.size(), ncb->ncb_length);
    if (n > 0)
        std::memcpy(ncb->ncb_buffer, status.data(), n);
    ncb->ncb_length = std::uint16_t(n);
    return finish(ncb, n < status.size() ? ncb::Incomplete : ncb::Good);
}

std::uint8_t NetbiosLayer::addName(NCB* ncb, bool group) {
    Lana* lana = lanaOf(ncb->ncb_lana_num);
    if (!lana)
        return finish(ncb, ncb::BadLana);
    if (!lana->reset)
        return finish(ncb, ncb::EnvironmentNotDefined);
    if (ncb->ncb_name[0] == '*' || ncb->ncb_name[0] == 0)
        return finish(ncb, ncb::NoWildcard);
    const NetbiosName name = nameFrom(ncb->ncb_name);
    if (std::any_of(lana->names.begin(), lana->names.end(), [&](const Name& n) { return n.name == name; }))
        return finish(ncb, ncb::DuplicateName);
    if (lana->nextNumber > LastNameNumber)
        return finish(ncb, ncb::NameTableFull);
    lana->names.push_back(Name{name, lana->nextNumber++, group});
    ncb->ncb_num = lana->names.back().number;
    return finish(ncb, ncb::Good);
}

std::uint8_t NetbiosLayer::sendDatagram(NCB* ncb) {
    std::size_t index = 0;
    Lana* lana = lanaOf(ncb->ncb_lana_num, &index);
    if (!lana)
        return finish(ncb, ncb::BadLana);
    if (!lana->reset)
        return finish(ncb, ncb::EnvironmentNotDefined);
    const Name* from = nameOf(*lana, ncb->ncb_num);
    if (!from)
        return finish(ncb, ncb::IllegalNameNumber);
    if (ncb->ncb_length > NetbiosMaxUserData)
        return finish(ncb, ncb::BufferLength);
    if (!ncb->ncb_buffer && ncb->ncb_length > 0)
        return finish(ncb, ncb::BadBuffer);
    NetbiosDatagram d;
    d.destination = nameFrom(ncb->ncb_callname);
    d.type = isGroup(*lana, d.destination) ? DirectGroupDatagram : DirectUniqueDatagram;
    d.id = m_nextId++;
    d.sourceIp = lana->address;
    d.sourcePort = m_adapters[index].port;
    d.source = from->name;
    if (ncb->ncb_length > 0)
        d.data.assign(ncb->ncb_buffer, ncb->ncb_buffer + ncb->ncb_length);
    const std::vector<std::uint8_t> bytes = encodeNetbiosDatagram(d);
    const ssize_t n =
        platform::sendDatagram(lana->fd, bytes.data(), bytes.size(), lana->broadcast, m_adapters[index].port);
    if (n < 0 || std::size_t(n) != bytes.size())
        return finish(ncb, ncb::SystemError);
    ++m_sent;
    return finish(ncb, ncb::Good);
}

std::uint8_t NetbiosLayer::receiveDatagram(NCB* ncb) {
    std::size_t index = 0;
    Lana* lana = lanaOf(ncb->ncb_lana_num, &index);
    if (!lana)
        return finish(ncb, ncb::BadLana);
    if (!lana->reset)
        return finish(ncb, ncb::EnvironmentNotDefined);
    if (!nameOf(*lana, ncb->ncb_num))
        return finish(ncb, ncb::IllegalNameNumber);
    if (!ncb->ncb_buffer && ncb->ncb_length > 0)
        return finish(ncb, ncb::BadBuffer);
    // The same NCB posted twice would be completed twice from one pointer.
    if (std::any_of(m_pending.begin(), m_pending.end(),
                    [&](const PendingReceive& p) { return p.ncb == ncb; }))
        return finish(ncb, ncb::IllegalCommand);
    ncb->ncb_retcode = ncb::Pending;
    ncb->ncb_cmd_cplt = ncb::Pending;
    m_pending.push_back(PendingReceive{ncb, index, ncb->ncb_num});
    return ncb::Good;
}

std::uint8_t NetbiosLayer::cancel(NCB* ncb) {
    if (!lanaOf(ncb->ncb_lana_num))
        return finish(ncb, ncb::BadLana);
    const void* target = ncb->ncb_buffer;
    const auto it = std::find_if(m_pending.begin(), m_pending.end(), [&](const PendingReceive& p) {
        return static_cast<const void*>(p.ncb) == target;
    });
    if (it == m_pending.end())
        return finish(ncb, ncb::CancelFailed);
    finish(it->ncb, ncb::Cancelled);
    m_pending.erase(it);
    return finish(ncb, ncb::Good);
}

void NetbiosLayer::deliver(std::size_t index, const NetbiosDatagram& d) {
    const Lana& lana = m_lanas[index];
    const bool toGroup = d.type == DirectGroupDatagram;
    // Our own datagram, heard back from the port.
    if (d.sourceIp == lana.address && d.sourcePort == m_adapters[index].port &&
        std::any_of(lana.names.begin(), lana.names.end(), [&](const Name& n) { return n.name == d.source; }))
        return;
    for (const Name& name : lana.names) {
        if (name.group != toGroup || name.name != d.destination)
            continue;
        const auto it = std::find_if(m_pending.begin(), m_pending.end(), [&](const PendingReceive& p) {
            return p.lana == index && p.number == name.number;
        });
        if (it == m_pending.end())
            return; // nobody is receiving for that name now: the datagram is lost
        NCB* ncb = it->ncb;
        m_pending.erase(it);
        const std::size_t n = std::min<std::size_t>(d.data.size(), ncb->ncb_length);
        if (n > 0)
            std::memcpy(ncb->ncb_buffer, d.data.data(), n);
        ncb->ncb_length = std::uint16_t(n);
        std::copy(d.source.begin(), d.source.end(), ncb->ncb_callname);
        finish(ncb, n < d.data.size() ? ncb::Incomplete : ncb::Good);
        return;
    }
}

int NetbiosLayer::poll() {
    int completed = 0;
    std::vector<std::uint8_t> buffer(NetbiosDatagramHeaderSize + 2 * EncodedNetbiosNameSize +
                                     NetbiosMaxUserData + 1);
    for (std::size_t i = 0; i < m_lanas.size(); ++i) {
        Lana& lana = m_lanas[i];
        if (lana.fd < 0)
            continue;
        for (int reads = 0; reads < MaxReadsPerPoll; ++reads) {
            std::uint32_t destination = 0;
            bool skip = false;
            const ssize_t n =
                receiveWithDestination(lana.fd, buffer.data(), buffer.size(), &destination, &skip);
            if (n < 0)
                break;
            if (skip)
                continue;
            // Only what was sent to this adapter's network (or to itself) is its own.
            if (destination != 0 && destination != lana.broadcast && destination != lana.address)
                continue;
            const auto d =
                decodeNetbiosDatagram(std::span<const std::uint8_t>(buffer.data(), std::size_t(n)));
            if (!d)
                continue;
            const std::size_t before = m_pending.size();
            deliver(i, *d);
            completed += int(before - m_pending.size());
        }
    }
    return completed;
}

bool NetbiosLayer::waitUntil(std::chrono::microseconds timeout, const std::function<bool()>& done) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + timeout;
    std::vector<pollfd> fds;
    for (const Lana& l : m_lanas)
        if (l.fd >= 0)
            fds.push_back(pollfd{l.fd, POLLIN, 0});
    for (;;) {
        poll();
        if (done && done())
            return true;
        const auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            return false;
        if (fds.empty()) {
            std::this_thread::sleep_for(left);
            continue;
        }
        const timespec ts{time_t(left.count() / 1'000'000), long(left.count() % 1'000'000) * 1000};
        if (::ppoll(fds.data(), fds.size(), &ts, nullptr) < 0 && errno != EINTR)
            std::this_thread::sleep_for(std::min(left, std::chrono::microseconds{1000}));
    }
}

void NetbiosLayer::wait(std::chrono::microseconds timeout) {
    waitUntil(timeout, {});
}

} // namespace vnk::platform
