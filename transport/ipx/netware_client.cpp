#include "transport/ipx/netware_client.h"

#include <algorithm>

namespace vnk::ipx {

namespace {

void putHeader(Bytes& out, std::uint8_t a, std::uint8_t b, const NcpConnection& c) {
    out.insert(out.end(), {a, b, c.sequence, c.connectionLow, c.task, c.connectionHigh});
}

void put16(Bytes& out, std::uint16_t v) {
    out.push_back(std::uint8_t(v >> 8));
    out.push_back(std::uint8_t(v));
}

bool ncpReply(ByteView reply) {
    return reply.size() >= 8 && reply[0] == 0x33 && reply[1] == 0x33;
}

platform::IpxAddress addressAt(ByteView bytes, std::size_t at) {
    platform::IpxAddress a;
    std::copy_n(bytes.begin() + std::ptrdiff_t(at), 4, a.network.begin());
    std::copy_n(bytes.begin() + std::ptrdiff_t(at + 4), 6, a.node.begin());
    return a;
}

} // namespace

Bytes nearestServerQuery() {
    return {0x00, 0x03, 0x00, 0x04};
}

std::optional<platform::IpxAddress> parseNearestServerReply(ByteView reply) {
    if (reply.size() != NearestServerReplySize)
        return std::nullopt;
    platform::IpxAddress a = addressAt(reply, 52);
    a.socket = std::uint16_t(reply[62] << 8 | reply[63]);
    return a;
}

Bytes createConnectionRequest(const NcpConnection& c) {
    Bytes out;
    putHeader(out, 0x11, 0x11, c);
    out.push_back(0x00);
    return out;
}

std::optional<NcpConnection> parseCreateConnectionReply(ByteView reply) {
    if (reply.size() != CreateConnectionReplySize || !ncpReply(reply) || reply[7] != 0)
        return std::nullopt;
    NcpConnection c;
    c.sequence = std::uint8_t(reply[2] + 1);
    c.connectionLow = reply[3];
    c.task = reply[4];
    c.connectionHigh = reply[5];
    return c;
}

Bytes scanObjectRequest(const NcpConnection& c, std::uint32_t lastObject, std::uint16_t type, bool nameForm3) {
    Bytes out;
    putHeader(out, 0x22, 0x22, c);
    out.push_back(0x17);
    put16(out, 0x0008);
    out.push_back(0x37);
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(std::uint8_t(lastObject >> shift));
    put16(out, type);
    if (nameForm3)
        out.insert(out.end(), {0x03, '*', 0x00, 0x00});
    else
        out.insert(out.end(), {0x01, '*'});
    return out;
}

std::optional<BinderyObject> parseScanReply(ByteView reply) {
    if (reply.size() != ScanReplySize || !ncpSuccessful(reply))
        return std::nullopt;
    BinderyObject o;
    o.id = std::uint32_t(reply[8]) << 24 | std::uint32_t(reply[9]) << 16 | std::uint32_t(reply[10]) << 8 | reply[11];
    o.type = std::uint16_t(reply[12] << 8 | reply[13]);
    // The name field is 48 bytes; a name that fills it is cut to leave room for
    // the terminator the lists keep.
    for (std::size_t i = 14; i < 14 + BinderyNameWidth - 1 && reply[i] != 0; ++i)
        o.name.push_back(char(reply[i]));
    return o;
}

Bytes readNetAddressRequest(const NcpConnection& c, std::uint16_t type, const std::string& name) {
    static const std::string Property = "NET_ADDRESS";
    const std::size_t n = std::min<std::size_t>(name.size(), BinderyNameWidth - 1);
    Bytes out;
    putHeader(out, 0x22, 0x22, c);
    out.push_back(0x17);
    put16(out, std::uint16_t(n + 18));
    out.push_back(0x3D);
    put16(out, type);
    out.push_back(std::uint8_t(n));
    out.insert(out.end(), name.begin(), name.begin() + std::ptrdiff_t(n));
    out.push_back(0x01); // segment 1
    out.push_back(std::uint8_t(Property.size()));
    out.insert(out.end(), Property.begin(), Property.end());
    return out;
}

std::optional<platform::IpxAddress> parseNetAddressReply(ByteView reply) {
    if (reply.size() != PropertyReplySize || !ncpSuccessful(reply))
        return std::nullopt;
    return addressAt(reply, 8);
}

Bytes endConnectionRequest(const NcpConnection& c) {
    Bytes out;
    putHeader(out, 0x55, 0x55, c);
    return out;
}

bool ncpSuccessful(ByteView reply) {
    return ncpReply(reply) && reply[6] == 0;
}

bool netwareReplyTaken(ByteView datagram, std::size_t replySize) {
    const bool shortError = datagram.size() == 8 && ncpReply(datagram);
    return datagram.size() == replySize || shortError;
}

} // namespace vnk::ipx
