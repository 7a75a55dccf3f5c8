// A simulated NetWare file server on the IPX side of the LAN: it answers the
// nearest-server query of the Service Advertising Protocol, and on its NetWare
// Core Protocol socket it opens and ends connections, scans its bindery and
// reads the NET_ADDRESS property of an object. The bindery is a fixed list of
// objects: print servers (some of them the boxes of the LAN), NDS trees and
// file servers. Every multi-byte NetWare field is high byte first.
//
// As NCP wants it, the requests of a connection are numbered: each carries the
// sequence number after that of the request answered last (the create
// connection's counts as the first). The request answered last, sent again
// byte for byte, gets its reply again; a request with any other number is a
// violation and gets no answer.
#pragma once

#include "platform/ipx.h"
#include "protocol/wire.h"

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace vnk::sim {

using protocol::Byte;
using protocol::MacAddress;

namespace netware {
inline constexpr std::uint16_t SapSocket = 0x0452;
inline constexpr std::uint16_t DefaultNcpSocket = 0x0451;
// IPX packet types the server sends: SAP answers as type 4, NCP replies as 0x11.
inline constexpr Byte SapPacketType = 4;
inline constexpr Byte NcpPacketType = 0x11;

// Bindery object types.
inline constexpr std::uint16_t FileServerObject = 0x0004;
inline constexpr std::uint16_t PrintServerObject = 0x0047;
inline constexpr std::uint16_t NdsTreeObject = 0x0278;
inline constexpr std::uint16_t BoxObject = 0x1447;      // a box's print server object
inline constexpr std::uint16_t BoxObjectOther = 0x1448; // ... of the other kind
inline constexpr std::uint16_t AnyObject = 0xFFFF;      // a scan of every type

// Completion codes.
inline constexpr Byte Success = 0x00;
inline constexpr Byte NoSuchSegment = 0xEC;
inline constexpr Byte NoFreeConnection = 0xF9;
inline constexpr Byte NoSuchProperty = 0xFB;
inline constexpr Byte NoSuchObject = 0xFC;
inline constexpr Byte Failure = 0xFF;
// Connection status bits.
inline constexpr Byte BadConnection = 0x01;
inline constexpr Byte NoConnectionAvailable = 0x04;

inline constexpr std::size_t NameWidth = 48;     // a name field, NUL padded
inline constexpr std::size_t MaxNameLength = 47; // what a name of the bindery may hold
inline constexpr std::size_t MaxConnections = 250;
} // namespace netware

struct BinderyObject {
    std::uint32_t id = 0;
    std::uint16_t type = 0;
    std::string name;
    // The NET_ADDRESS property (network, node, socket); objects without it have
    // no property at all.
    std::optional<platform::IpxAddress> netAddress;
};

struct FileServerSpec {
    std::string label;            // section name of the LAN description
    std::string name;             // what the server calls itself (at most 47 characters)
    MacAddress node{};
    platform::IpxNetwork network{}; // 0: this network
    std::uint16_t ncpSocket = netware::DefaultNcpSocket;
    std::vector<BinderyObject> bindery; // in scan order, identifiers rising

    // Appends an object with the next identifier, unless one of that type and
    // name (compared without case) is there already. False then.
    bool addObject(std::uint16_t type, const std::string& objectName,
                   std::optional<platform::IpxAddress> netAddress = std::nullopt);
    // Appends an object with the next identifier, for a caller that has made
    // sure there is none of that type and name yet.
    void appendObject(std::uint16_t type, const std::string& objectName,
                      std::optional<platform::IpxAddress> netAddress = std::nullopt);
    // The server's own address: network, node, NCP socket.
    platform::IpxAddress address() const { return {network, node, ncpSocket}; }
};

class SimFileServer {
public:
    explicit SimFileServer(FileServerSpec spec);

    const FileServerSpec& spec() const { return m_spec; }

    // The 66-byte answer to a nearest-server query for file servers (00 03 00 04,
    // or service type FF FF); nothing for anything else.
    std::optional<std::vector<Byte>> sapRequest(std::span<const Byte> request) const;
    // The reply to one NCP request from this address; nothing for a malformed
    // request or one the server does not know.
    std::optional<std::vector<Byte>> ncpRequest(std::span<const Byte> request, const platform::IpxAddress& from);

    std::size_t openConnections() const { return m_connections.size(); }
    // Requests the server did not answer, for tests: malformed or unknown ones,
    // and those out of sequence.
    int refused = 0;
    int sequenceViolations = 0;
    // Connections opened so far.
    int connectionsCreated = 0;

private:
    std::vector<Byte> reply(std::span<const Byte> request, Byte completion, Byte status) const;
    std::optional<std::vector<Byte>> createConnection(std::span<const Byte> request,
                                                      const platform::IpxAddress& from);
    std::optional<std::vector<Byte>> scanObject(std::span<const Byte> request) const;
    std::optional<std::vector<Byte>> readProperty(std::span<const Byte> request) const;

    struct Connection {
        platform::IpxAddress station; // the client's address
        Byte sequence = 0;            // of the request answered last
        std::vector<Byte> lastRequest, lastReply;
    };

    FileServerSpec m_spec;
    std::map<std::uint16_t, Connection> m_connections; // by number
};

// True when a bindery name matches a scan pattern: '*' stands for any run of
// characters, '?' for one; letters are compared without case.
bool binderyNameMatches(const std::string& pattern, const std::string& name);

} // namespace vnk::sim
