#include "platform/ipx.h"

#include "platform/endpoint.h"
#include "platform/hostinfo.h"

#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <random>
#include <tuple>

namespace vnk::platform {

namespace {

constexpr IpxNetwork ThisNetwork{};
constexpr std::uint16_t FirstDynamicSocket = 0x4000;
constexpr std::uint16_t LastDynamicSocket = 0x7FFF;
// At most this many carrier datagrams are read per drain, so that a busy segment
// cannot keep a wait reading forever, and at most this many packets wait for
// the caller, as a socket's receive buffer would hold.
constexpr int MaxReadsPerDrain = 256;
constexpr std::size_t MaxQueuedPackets = 512;

// --- the IPX socket numbers this process holds, per node and carrier port ---
//
// The simulated LAN runs boxes on other threads of the same process as the
// utility, so the table is shared and locked. Other processes cannot be seen:
// dynamic numbers start at a random place to make a clash unlikely.

struct Holding {
    int holders = 0;
    bool shared = true; // every holder set SO_REUSEADDR
};

using SocketKey = std::tuple<IpxNode, std::uint16_t /*carrier port*/, std::uint16_t /*IPX socket*/>;

std::mutex g_socketsMutex;
std::map<SocketKey, Holding> g_sockets;

bool claimLocked(const SocketKey& key, bool reuse) {
    auto it = g_sockets.find(key);
    if (it == g_sockets.end()) {
        g_sockets.emplace(key, Holding{1, reuse});
        return true;
    }
    if (!reuse || !it->second.shared)
        return false;
    ++it->second.holders;
    return true;
}

// The socket number bound (0 with errno set when none could be).
std::uint16_t claimSocket(const IpxNode& node, std::uint16_t carrierPort, std::uint16_t wanted, bool reuse) {
    std::lock_guard lock(g_socketsMutex);
    if (wanted != 0) {
        if (claimLocked({node, carrierPort, wanted}, reuse))
            return wanted;
        errno = EADDRINUSE;
        return 0;
    }
    static std::mt19937 random{std::random_device{}()};
    constexpr unsigned span = LastDynamicSocket - FirstDynamicSocket + 1;
    const unsigned start = std::uniform_int_distribution<unsigned>(0, span - 1)(random);
    for (unsigned i = 0; i < span; ++i) {
        const auto number = std::uint16_t(FirstDynamicSocket + (start + i) % span);
        // A dynamic number is never shared, whatever the options say.
        if (!g_sockets.contains({node, carrierPort, number})) {
            claimLocked({node, carrierPort, number}, reuse);
            return number;
        }
    }
    errno = EADDRINUSE;
    return 0;
}

void releaseSocket(const IpxNode& node, std::uint16_t carrierPort, std::uint16_t number) {
    std::lock_guard lock(g_socketsMutex);
    auto it = g_sockets.find({node, carrierPort, number});
    if (it != g_sockets.end() && --it->second.holders <= 0)
        g_sockets.erase(it);
}

// --- the frame ---

void putU16(std::vector<std::uint8_t>& out, std::uint16_t v) {
    out.push_back(std::uint8_t(v >> 8));
    out.push_back(std::uint8_t(v));
}

void putAddress(std::vector<std::uint8_t>& out, const IpxAddress& a) {
    out.insert(out.end(), a.network.begin(), a.network.end());
    out.insert(out.end(), a.node.begin(), a.node.end());
    putU16(out, a.socket);
}

std::uint16_t getU16(std::span<const std::uint8_t> d, std::size_t at) {
    return std::uint16_t((d[at] << 8) | d[at + 1]);
}

IpxAddress getAddress(std::span<const std::uint8_t> d, std::size_t at) {
    IpxAddress a;
    std::copy_n(d.begin() + std::ptrdiff_t(at), 4, a.network.begin());
    std::copy_n(d.begin() + std::ptrdiff_t(at + 4), 6, a.node.begin());
    a.socket = getU16(d, at + 10);
    return a;
}

} // namespace

std::optional<IpxSegment> ipxSegmentFromEnvironment(std::string* error, std::optional<SettingProblem>* problem) {
    if (error)
        error->clear();
    if (problem)
        problem->reset();
    auto fail = [&](SettingProblem::Expected expected, const char* name, const char* value) {
        const SettingProblem p{expected, name, value ? value : ""};
        if (error)
            *error = p.text();
        if (problem)
            *problem = p;
        return std::optional<IpxSegment>{};
    };
    const char* port = std::getenv("VNK_IPX_PORT");
    if (!port || !*port)
        return std::nullopt; // IPX is not installed
    IpxSegment segment;
    if (auto p = parsePort(port))
        segment.carrierPort = *p;
    else
        return fail(SettingProblem::Expected::PortNumber, "VNK_IPX_PORT", port);
    if (const char* b = std::getenv("VNK_BROADCAST"); b && *b) {
        if (!parseIPv4(b))
            return fail(SettingProblem::Expected::Ipv4Address, "VNK_BROADCAST", b);
        segment.broadcast = b;
    }
    const auto node = localMacFromEnvironment("VNK_IPX_NODE", "node number");
    if (!node)
        return fail(SettingProblem::Expected::NodeNumber, "VNK_IPX_NODE", std::getenv("VNK_IPX_NODE"));
    segment.localNode = *node;
    return segment;
}

std::vector<std::uint8_t> encodeIpx(const IpxPacket& packet) {
    if (packet.payload.size() > IpxMaxPayload)
        return {};
    std::vector<std::uint8_t> out;
    out.reserve(IpxHeaderSize + packet.payload.size());
    putU16(out, 0xFFFF);
    putU16(out, std::uint16_t(IpxHeaderSize + packet.payload.size()));
    out.push_back(packet.transportControl);
    out.push_back(packet.packetType);
    putAddress(out, packet.destination);
    putAddress(out, packet.source);
    out.insert(out.end(), packet.payload.begin(), packet.payload.end());
    return out;
}

std::optional<IpxPacket> decodeIpx(std::span<const std::uint8_t> datagram) {
    if (datagram.size() < IpxHeaderSize || datagram.size() > IpxHeaderSize + IpxMaxPayload)
        return std::nullopt;
    if (getU16(datagram, 2) != datagram.size())
        return std::nullopt;
    IpxPacket p;
    p.transportControl = datagram[4];
    p.packetType = datagram[5];
    p.destination = getAddress(datagram, 6);
    p.source = getAddress(datagram, 18);
    p.payload.assign(datagram.begin() + IpxHeaderSize, datagram.end());
    return p;
}

// --- the endpoint ---

IpxEndpoint::IpxEndpoint(IpxSegment segment) : m_segment(std::move(segment)) {}

IpxEndpoint::~IpxEndpoint() {
    close();
}

int IpxEndpoint::open() {
    if (m_fd >= 0) {
        errno = EINVAL;
        return -1;
    }
    const auto broadcast = parseIPv4(m_segment.broadcast);
    if (!broadcast || m_segment.carrierPort == 0) {
        errno = EINVAL;
        return -1;
    }
    const int fd = openUdpSocket();
    if (fd < 0)
        return -1;
    if (platform::setNonBlocking(fd) != 0 || enableReuseAddress(fd) != 0 || enableBroadcast(fd) != 0 ||
        bindAny(fd, m_segment.carrierPort) != 0) {
        const int saved = errno;
        closeSocket(fd);
        errno = saved;
        return -1;
    }
    m_broadcast = *broadcast;
    m_fd = fd;
    return 0;
}

int IpxEndpoint::setNonBlocking() {
    if (m_fd < 0) {
        errno = EBADF;
        return -1;
    }
    return 0;
}

int IpxEndpoint::setBroadcast() {
    if (m_fd < 0) {
        errno = EBADF;
        return -1;
    }
    m_broadcastAllowed = true;
    return 0;
}

int IpxEndpoint::setReuseAddress() {
    if (m_fd < 0) {
        errno = EBADF;
        return -1;
    }
    m_reuse = true;
    return 0;
}

int IpxEndpoint::bind(std::uint16_t socketNumber) {
    if (m_fd < 0) {
        errno = EBADF;
        return -1;
    }
    if (m_socket != 0) {
        errno = EINVAL; // already bound
        return -1;
    }
    const std::uint16_t number =
        claimSocket(m_segment.localNode, m_segment.carrierPort, socketNumber, m_reuse);
    if (number == 0)
        return -1;
    m_socket = number;
    return 0;
}

void IpxEndpoint::close() {
    if (m_socket != 0)
        releaseSocket(m_segment.localNode, m_segment.carrierPort, m_socket);
    closeSocket(m_fd);
    m_fd = -1;
    m_socket = 0;
    m_broadcastAllowed = false;
    m_reuse = false;
    m_queue.clear();
}

IpxAddress IpxEndpoint::local() const {
    return IpxAddress{ThisNetwork, m_segment.localNode, m_socket};
}

ssize_t IpxEndpoint::sendTo(const IpxAddress& destination, const void* data, std::size_t length) {
    if (m_fd < 0) {
        errno = EBADF;
        return -1;
    }
    if (length > IpxMaxPayload) {
        errno = EMSGSIZE;
        return -1;
    }
    if (!data && length > 0) {
        errno = EFAULT;
        return -1;
    }
    if (destination.node == IpxBroadcastNode && !m_broadcastAllowed) {
        errno = EACCES;
        return -1;
    }
    if (m_socket == 0 && bind(0) != 0)
        return -1;
    IpxPacket p;
    p.destination = destination;
    p.source = local();
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    p.payload.assign(bytes, bytes + length);
    const std::vector<std::uint8_t> frame = encodeIpx(p);
    const ssize_t n = sendDatagram(m_fd, frame.data(), frame.size(), m_broadcast, m_segment.carrierPort);
    if (n < 0)
        return -1;
    if (std::size_t(n) != frame.size()) {
        errno = EMSGSIZE;
        return -1;
    }
    return ssize_t(length);
}

bool IpxEndpoint::forMe(const IpxPacket& p) const {
    if (m_socket == 0 || p.destination.socket != m_socket)
        return false;
    if (p.source == local())
        return false; // our own packet, heard back from the segment
    if (p.destination.node != m_segment.localNode && p.destination.node != IpxBroadcastNode)
        return false;
    // The segment has no router: the only network on it is this one, 0.
    return p.destination.network == ThisNetwork;
}

bool IpxEndpoint::drainCarrier() {
    std::uint8_t buffer[IpxHeaderSize + IpxMaxPayload];
    for (int i = 0; i < MaxReadsPerDrain; ++i) {
        const ssize_t n = receiveDatagram(m_fd, buffer, sizeof buffer);
        if (n < 0) {
            if (isWouldBlock(errno))
                return true;
            if (errno == EMSGSIZE || errno == ECONNREFUSED)
                continue; // longer than any IPX frame, or an ICMP report: not ours
            return false;
        }
        auto packet = decodeIpx(std::span<const std::uint8_t>(buffer, std::size_t(n)));
        if (!packet || !forMe(*packet))
            continue;
        if (m_queue.size() < MaxQueuedPackets)
            m_queue.push_back(std::move(*packet));
    }
    return true;
}

ssize_t IpxEndpoint::receiveFrom(void* buffer, std::size_t size, IpxAddress* from) {
    if (m_fd < 0) {
        errno = EBADF;
        return -1;
    }
    if (m_socket == 0) {
        errno = EINVAL; // not bound: nothing can be addressed to it
        return -1;
    }
    if (m_queue.empty() && !drainCarrier())
        return -1;
    if (m_queue.empty()) {
        errno = EAGAIN;
        return -1;
    }
    IpxPacket p = std::move(m_queue.front());
    m_queue.pop_front();
    if (from)
        *from = p.source;
    const std::size_t n = std::min(size, p.payload.size());
    if (n > 0 && buffer)
        std::memcpy(buffer, p.payload.data(), n);
    if (p.payload.size() > size) {
        errno = EMSGSIZE;
        return -1;
    }
    return ssize_t(p.payload.size());
}

WaitResult IpxEndpoint::waitReadable(std::chrono::microseconds timeout, const IdleHook& idle) {
    if (m_fd < 0) {
        errno = EBADF;
        return WaitResult::Failed;
    }
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        if (m_queue.empty() && !drainCarrier())
            return WaitResult::Failed;
        if (!m_queue.empty())
            return WaitResult::Ready;
        const auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            return WaitResult::TimedOut;
        const WaitResult r = platform::waitReadable(m_fd, left, idle);
        if (r != WaitResult::Ready)
            return r;
    }
}

WaitResult IpxEndpoint::waitWritable(std::chrono::microseconds timeout, const IdleHook& idle) {
    if (m_fd < 0) {
        errno = EBADF;
        return WaitResult::Failed;
    }
    return platform::waitWritable(m_fd, timeout, idle);
}

} // namespace vnk::platform
