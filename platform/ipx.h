// IPX datagrams on a virtual segment carried by UDP, as RFC 1234 tunnels them:
// every IPX packet is one UDP datagram (a 30-byte IPX header, then the payload)
// sent to the segment's broadcast address on the carrier port. Every endpoint of
// the segment hears every packet and keeps only those addressed to its node (or
// to the broadcast node) and to its IPX socket number, so several endpoints share
// one host and one carrier port. Network 0 means "this network"; the segment has
// no router, so an endpoint keeps only packets addressed to network 0.
//
// IPX counts as installed only when the segment is configured (VNK_IPX_PORT).
// The calls mirror the socket calls the protocol is written against (socket,
// ioctlsocket, setsockopt, bind, sendto, recvfrom, select) so that each failure
// can be reported as " errno: Op-call() Fail": each returns -1 (or Failed) with
// errno set.
#pragma once

#include "platform/endpoint.h"
#include "platform/udp_socket.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace vnk::platform {

using IpxNode = std::array<std::uint8_t, 6>;
using IpxNetwork = std::array<std::uint8_t, 4>;

inline constexpr IpxNode IpxBroadcastNode{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
inline constexpr std::size_t IpxHeaderSize = 30;
// The largest payload a carrier datagram takes (an Ethernet frame's worth).
inline constexpr std::size_t IpxMaxPayload = 1470;
inline constexpr std::uint16_t DefaultIpxCarrierPort = 213;

struct IpxAddress {
    IpxNetwork network{};
    IpxNode node{};
    std::uint16_t socket = 0;
    bool operator==(const IpxAddress&) const = default;
};

// The virtual segment: where carrier datagrams go and this host's node number.
struct IpxSegment {
    std::string broadcast = "255.255.255.255"; // the carrier's broadcast address
    std::uint16_t carrierPort = DefaultIpxCarrierPort;
    IpxNode localNode{}; // the MAC of this host's interface
};

// The segment from VNK_BROADCAST and VNK_IPX_PORT, or nothing when VNK_IPX_PORT
// is not set (IPX is not installed). The local node is VNK_IPX_NODE when set
// (twelve hex digits, ":" "-" or " " between them allowed; neither all zeros nor
// the broadcast node), else the MAC of the first non-loopback interface that has
// a non-zero one, else the locally administered 02 00 00 00 00 01. A bad value
// of any of the three: nothing, error set. error is cleared first, so that it
// is empty when IPX is merely not installed.
// problem, when given, names the setting at fault.
std::optional<IpxSegment> ipxSegmentFromEnvironment(std::string* error = nullptr,
                                                    std::optional<SettingProblem>* problem = nullptr);

// --- the frame ---

struct IpxPacket {
    IpxAddress destination;
    IpxAddress source;
    std::uint8_t packetType = 0;
    std::uint8_t transportControl = 0;
    std::vector<std::uint8_t> payload;
};

// Checksum FFFF, length = 30 + payload, the given transport control and packet
// type, destination then source (network, node, socket high byte first).
// Empty when the payload is longer than IpxMaxPayload.
std::vector<std::uint8_t> encodeIpx(const IpxPacket& packet);
// Nothing unless the datagram holds a whole header whose length field equals
// the datagram's size (and is at most 30 + IpxMaxPayload). The checksum field
// is not checked.
std::optional<IpxPacket> decodeIpx(std::span<const std::uint8_t> datagram);

// --- an endpoint: one IPX socket of this host ---

class IpxEndpoint {
public:
    explicit IpxEndpoint(IpxSegment segment);
    ~IpxEndpoint();
    IpxEndpoint(const IpxEndpoint&) = delete;
    IpxEndpoint& operator=(const IpxEndpoint&) = delete;

    // socket(): the carrier's UDP socket, bound to the carrier port with the
    // address shared, so that every endpoint of the host hears the segment.
    // EINVAL when the segment's broadcast address is not an IPv4 address.
    int open();
    // ioctlsocket(FIONBIO): waits and receives never block (they always are
    // non-blocking underneath; the call is kept so that it can be reported).
    int setNonBlocking();
    // setsockopt(SO_BROADCAST): without it a send to the broadcast node fails
    // with EACCES.
    int setBroadcast();
    // setsockopt(SO_REUSEADDR): lets a second endpoint of this host bind the
    // same IPX socket number.
    int setReuseAddress();
    // bind(): network 0, this host's node, the socket number (0: a dynamic
    // number from 0x4000-0x7FFF). A number another endpoint of this process
    // holds fails with EADDRINUSE unless both set SO_REUSEADDR; a dynamic number
    // is one no other endpoint of this process holds (other processes cannot be
    // seen: it is picked at random). EINVAL when already bound.
    int bind(std::uint16_t socketNumber);
    void close();

    bool isOpen() const { return m_fd >= 0; }
    // The address of this endpoint (network 0, its node, its socket number).
    IpxAddress local() const;

    // One packet to destination (type 0). Returns the payload bytes sent or -1:
    // EACCES to the broadcast node without setBroadcast(), EMSGSIZE above
    // IpxMaxPayload. Before bind() a dynamic socket number is bound first, as a
    // UDP socket's first send does.
    ssize_t sendTo(const IpxAddress& destination, const void* data, std::size_t length);
    // The next packet addressed to this endpoint: its payload (at most size
    // bytes; a longer one is consumed and fails with EMSGSIZE) and its source.
    // -1 with EAGAIN when none is waiting, EINVAL before bind(). Packets this
    // endpoint sent itself (source == local()) are never received.
    ssize_t receiveFrom(void* buffer, std::size_t size, IpxAddress* from = nullptr);

    // Waits until a packet for this endpoint is waiting; carrier datagrams for
    // other endpoints are read and dropped meanwhile.
    WaitResult waitReadable(std::chrono::microseconds timeout, const IdleHook& idle = {});
    WaitResult waitWritable(std::chrono::microseconds timeout, const IdleHook& idle = {});

private:
    bool forMe(const IpxPacket& p) const;
    // Reads what the carrier holds now into the queue; false on a read error.
    bool drainCarrier();

    IpxSegment m_segment;
    std::uint32_t m_broadcast = 0;
    int m_fd = -1;
    bool m_broadcastAllowed = false;
    bool m_reuse = false;
    std::uint16_t m_socket = 0;
    std::deque<IpxPacket> m_queue;
};

} // namespace vnk::platform
