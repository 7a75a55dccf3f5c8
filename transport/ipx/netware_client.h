// The few NetWare packets the IPX utility needs to find boxes through the
// bindery of the nearest file server: the Service Advertising Protocol's
// nearest-server query, and the NetWare Core Protocol's create connection,
// scan bindery object, read property value ("NET_ADDRESS") and end connection.
// Every multi-byte field is high byte first. Builders give the request bytes;
// parsers take a whole reply datagram and give nothing unless it has the size
// and the completion the request asks for.
#pragma once

#include "platform/ipx.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace vnk::ipx {

using Bytes = std::vector<std::uint8_t>;
using ByteView = std::span<const std::uint8_t>;

inline constexpr std::uint16_t SapSocket = 0x0452;
inline constexpr std::size_t NearestServerReplySize = 66;
inline constexpr std::size_t CreateConnectionReplySize = 8;
inline constexpr std::size_t ScanReplySize = 65;
inline constexpr std::size_t PropertyReplySize = 138;
inline constexpr std::size_t EndConnectionReplySize = 8;
inline constexpr std::size_t BinderyNameWidth = 48;

// Bindery object types the scans ask for.
inline constexpr std::uint16_t ObjectBoxPrintServer1 = 0x1447;
inline constexpr std::uint16_t ObjectBoxPrintServer2 = 0x1448;
inline constexpr std::uint16_t ObjectNdsTree = 0x0278;
inline constexpr std::uint16_t ObjectFileServer = 0x0004;
inline constexpr std::uint16_t ObjectPrintServer = 0x0047;
inline constexpr std::uint32_t FirstObject = 0xFFFFFFFF;

// What every request carries at offsets 2-5 (sequence, connection low, task,
// connection high). Before a connection: 0, FF, 0, FF.
struct NcpConnection {
    std::uint8_t sequence = 0;
    std::uint8_t connectionLow = 0xFF;
    std::uint8_t task = 0;
    std::uint8_t connectionHigh = 0xFF;
};

// 00 03 00 04: the nearest file server, please.
Bytes nearestServerQuery();
// The file server's address from reply bytes 52-63 (network, node, socket).
std::optional<platform::IpxAddress> parseNearestServerReply(ByteView reply);

Bytes createConnectionRequest(const NcpConnection& c);
// A reply that begins 33 33 with connection status (byte 7) 0 gives the
// connection: the sequence then counts on from the reply's.
std::optional<NcpConnection> parseCreateConnectionReply(ByteView reply);

// nameForm3: the print-server scan's name "*", NUL and one more byte (20 bytes
// in all); else the name "*" alone (18 bytes).
Bytes scanObjectRequest(const NcpConnection& c, std::uint32_t lastObject, std::uint16_t type, bool nameForm3);
struct BinderyObject {
    std::uint32_t id = 0;
    std::uint16_t type = 0;
    std::string name; // up to its NUL, at most 47 bytes
};
std::optional<BinderyObject> parseScanReply(ByteView reply);

Bytes readNetAddressRequest(const NcpConnection& c, std::uint16_t type, const std::string& name);
// Network and node from the property value (reply bytes 8-17); the socket is
// left 0 for the caller to set.
std::optional<platform::IpxAddress> parseNetAddressReply(ByteView reply);

Bytes endConnectionRequest(const NcpConnection& c);

// 33 33 and completion code (byte 6) 0.
bool ncpSuccessful(ByteView reply);

// Whether a datagram from the server ends the wait for a reply of replySize
// bytes: it has that size, or it is the server's 8-byte error reply (33 33).
bool netwareReplyTaken(ByteView datagram, std::size_t replySize);

} // namespace vnk::ipx
