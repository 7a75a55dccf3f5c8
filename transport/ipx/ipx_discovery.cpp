// Discovery over IPX: the bindery of the nearest NetWare file server names the
// boxes it knows (and the NDS trees, file servers and other print servers the
// NetWare pages offer), then a broadcast search finds the others, then each
// entry's record tells its IP address and whether it speaks TCP/IP.
#include "transport/ipx/ipx_context.h"

#include "protocol/device_filter.h"
#include "protocol/identity.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace vnk::ipx {

using namespace platform;
using protocol::IdentitySize;
using protocol::MaxServers;

namespace {

constexpr IpxAddress broadcastTo(std::uint16_t socket) {
    IpxAddress a;
    a.node = IpxBroadcastNode;
    a.socket = socket;
    return a;
}

// The largest datagram any reply of discovery has; anything longer is dropped.
constexpr std::size_t ReceiveRoom = 600;

} // namespace

std::optional<Bytes> IpxServerContext::netwareExchange(IpxEndpoint& socket, const IpxAddress& to,
                                                       const Bytes& request, std::size_t replySize,
                                                       std::chrono::microseconds wait, NcpConnection* connection,
                                                       const char* selectOperation) {
    int sent = 0;
    if (!XSendPacket(socket, to, request.data(), request.size(), sent) || sent != int(request.size()))
        return std::nullopt;
    Byte buffer[ReceiveRoom];
    for (int read = 0; read < timing().netwareReads; ++read) {
        const WaitResult w = socket.waitReadable(wait, idleHook());
        if (w == WaitResult::TimedOut)
            return std::nullopt;
        if (w == WaitResult::Failed) {
            reportSocketFailure(selectOperation, "select", errno);
            return std::nullopt;
        }
        IpxAddress from;
        const ssize_t n = socket.receiveFrom(buffer, sizeof buffer, &from);
        if (n < 0)
            continue; // nothing after all, or a datagram too long to be a reply
        // A reply from somebody else, or of another size, is not this one; the
        // server's short error reply ends the wait as well.
        if (from.node != to.node || from.socket != to.socket ||
            !netwareReplyTaken(ByteView(buffer, std::size_t(n)), replySize))
            continue;
        if (connection)
            ++connection->sequence;
        return Bytes(buffer, buffer + n);
    }
    return std::nullopt;
}

int IpxServerContext::XGetNearFileServer(IpxAddress& fileServer) {
    auto socket = openSocket({"XGetNearFileServer", "XGetNearFileServer", "XGetNearFileServer", "XGetNearFileServer"},
                             SocketOption::Broadcast);
    if (!socket)
        return 0;
    const Bytes query = nearestServerQuery();
    Byte buffer[ReceiveRoom];
    for (const auto wait : timing().netwarePassWait) {
        int sent = 0;
        if (!XSendPacket(*socket, broadcastTo(SapSocket), query.data(), query.size(), sent))
            return 0;
        for (int read = 0; read < timing().netwareReads; ++read) {
            const WaitResult w = socket->waitReadable(wait, idleHook());
            if (w == WaitResult::TimedOut)
                break;
            if (w == WaitResult::Failed) {
                reportSocketFailure("XGetNearFileServer", "select", errno);
                return 0;
            }
            const ssize_t n = socket->receiveFrom(buffer, sizeof buffer);
            if (n < 0)
                continue;
            if (auto address = parseNearestServerReply(ByteView(buffer, std::size_t(n)))) {
                fileServer = *address;
                return 1;
            }
        }
    }
    return 0;
}

int IpxServerContext::XConnectToFileServer(IpxEndpoint& socket, const IpxAddress& fileServer,
                                           NcpConnection& connection) {
    connection = NcpConnection{};
    const Bytes request = createConnectionRequest(connection);
    for (const auto wait : timing().netwarePassWait) {
        const auto reply = netwareExchange(socket, fileServer, request, CreateConnectionReplySize, wait, nullptr,
                                           "XConnectToFileServer");
        if (!reply)
            continue;
        if (const auto c = parseCreateConnectionReply(*reply)) {
            connection = *c;
            return 1;
        }
        return 0; // the server said no
    }
    return 0;
}

void IpxServerContext::scanBoxObjects(IpxEndpoint& socket, const IpxAddress& fileServer, NcpConnection& connection,
                                      std::uint16_t type) {
    std::uint32_t last = FirstObject;
    while (serverCount < MaxServers) {
        const auto reply = netwareExchange(socket, fileServer, scanObjectRequest(connection, last, type, true),
                                           ScanReplySize, timing().netwareScanWait, &connection,
                                           "XGetAllPServername");
        const auto object = reply ? parseScanReply(*reply) : std::nullopt;
        if (!object)
            return; // the end of the list, an error, or silence
        ServerEntry& e = serverTable[std::size_t(serverCount++)];
        e = ServerEntry{};
        // The name stands where the identity will go once the box has answered.
        std::copy_n(object->name.begin(), std::min(object->name.size(), IdentitySize - 1), e.identity.begin());
        const auto property =
            netwareExchange(socket, fileServer, readNetAddressRequest(connection, type, object->name),
                            PropertyReplySize, timing().netwareScanWait, &connection, "XGetAllPServername");
        if (const auto address = property ? parseNetAddressReply(*property) : std::nullopt) {
            e.ipxAddress = *address;
            e.ipxAddress.socket = protocol::IpxCommandSocket;
            std::copy(address->node.begin(), address->node.end(), e.ethernet.begin());
        }
        last = object->id;
    }
}

void IpxServerContext::scanNames(IpxEndpoint& socket, const IpxAddress& fileServer, NcpConnection& connection,
                                 std::uint16_t type, std::vector<std::string>& list) {
    std::uint32_t last = FirstObject;
    while (int(list.size()) < MaxNames) {
        const auto reply = netwareExchange(socket, fileServer, scanObjectRequest(connection, last, type, false),
                                           ScanReplySize, timing().netwareScanWait, &connection,
                                           "XGetAllPServername");
        const auto object = reply ? parseScanReply(*reply) : std::nullopt;
        if (!object)
            return;
        list.push_back(object->name);
        last = object->id;
    }
}

int IpxServerContext::XGetPrintServerViaScan() {
    IpxAddress fileServer;
    if (!XGetNearFileServer(fileServer))
        return 1; // no file server: the broadcast search finds the boxes
    const int firstScanned = serverCount;
    {
        auto socket = openSocket({"XGetPrintServerViaScan", "XGetPrintServerViaScan", nullptr,
                                  "XGetPrintServerViaScan"},
                                 SocketOption::None);
        if (!socket)
            return 0;
        NcpConnection connection;
        if (!XConnectToFileServer(*socket, fileServer, connection))
            return 1;
        scanBoxObjects(*socket, fileServer, connection, ObjectBoxPrintServer1);
        scanBoxObjects(*socket, fileServer, connection, ObjectBoxPrintServer2);
        scanNames(*socket, fileServer, connection, ObjectNdsTree, m_names.ndsTrees);
        scanNames(*socket, fileServer, connection, ObjectFileServer, m_names.fileServers);
        scanNames(*socket, fileServer, connection, ObjectPrintServer, m_names.printServers);
        netwareExchange(*socket, fileServer, endConnectionRequest(connection), EndConnectionReplySize,
                        timing().netwareScanWait, &connection, "XGetAllPServername");
    }

    // Each box the bindery names must answer, and pass the filter, to stay.
    std::vector<bool> found(std::size_t(serverCount), false);
    Byte reply[SearchReplySize];
    for (int i = firstScanned; i < serverCount; ++i) {
        ServerEntry& e = serverTable[std::size_t(i)];
        if (!XSearchPS(e, reply))
            continue;
        std::memcpy(e.identity.data(), reply + IpxHeaderSize, IdentitySize);
        found[std::size_t(i)] = protocol::deviceFilterAccepts(settingsPath, e.identity[protocol::identity::Vendor],
                                                              e.identity[protocol::identity::DeviceType]);
    }
    int kept = firstScanned;
    for (int i = firstScanned; i < serverCount; ++i)
        if (found[std::size_t(i)]) {
            if (kept != i)
                serverTable[std::size_t(kept)] = serverTable[std::size_t(i)];
            ++kept;
        }
    serverCount = kept;

    // A print server of the bindery that is one of the boxes is not offered twice.
    auto& names = m_names.printServers;
    names.erase(std::remove_if(names.begin(), names.end(),
                               [&](const std::string& name) {
                                   for (int i = 0; i < serverCount; ++i)
                                       if (serverTable[std::size_t(i)].name() == name)
                                           return true;
                                   return false;
                               }),
                names.end());
    return 1;
}

void IpxServerContext::addServer(const Byte* reply, std::size_t length, const IpxAddress& from) {
    if (length != SearchReplySize && length != SearchReplySize - 1)
        return;
    protocol::IdentityBlock id{};
    // A 69-byte reply lacks the identity's last byte, which stays 0.
    std::memcpy(id.data(), reply + IpxHeaderSize, length - IpxHeaderSize);
    const std::string name = protocol::serverName(id);
    for (int i = 0; i < serverCount; ++i)
        if (serverTable[std::size_t(i)].name() == name &&
            (!keepSameNames || std::equal(from.node.begin(), from.node.end(), serverTable[std::size_t(i)].ethernet.begin())))
            return;
    if (!protocol::deviceFilterAccepts(settingsPath, id[protocol::identity::Vendor],
                                       id[protocol::identity::DeviceType]))
        return;
    if (serverCount >= MaxServers)
        return;
    ServerEntry& e = serverTable[std::size_t(serverCount++)];
    e = ServerEntry{};
    e.identity = id;
    e.ipxAddress = from;
    std::copy(from.node.begin(), from.node.end(), e.ethernet.begin());
}

int IpxServerContext::XGetPrintServerViaBroadcast(const std::function<bool()>& enough) {
    auto socket = openSocket({"XGetPrintServerViaBroadcast", "XGetPrintServerViaBroadcast",
                              "XGetPrintServerViaBroadcast", "XGetPrintServerViaBroadcast"},
                             SocketOption::Broadcast);
    if (!socket)
        return 0;
    Byte request[IpxHeaderSize];
    buildIpxHeader(request, protocol::CmdSearch);
    const IpxAddress everyBox = broadcastTo(protocol::IpxCommandSocket);
    // Each datagram is taken whole; only a search reply's size is a reply.
    Byte reply[ReceiveRoom];
    for (const auto wait : timing().ipxSearchPassWait) {
        for (int k = 0; k < 2; ++k) {
            bool whole = false;
            for (int attempt = 0; attempt < timing().sendAttempts && !whole; ++attempt) {
                int sent = 0;
                if (!XSendPacket(*socket, everyBox, request, sizeof request, sent))
                    return 1;
                whole = sent == int(sizeof request);
            }
            if (!whole)
                return 1;
        }
        int idle = 0;
        while (idle < timing().discoveryIdleSteps) {
            const WaitResult w = socket->waitReadable(wait, idleHook());
            if (w == WaitResult::TimedOut)
                break;
            if (w == WaitResult::Failed) {
                reportSocketFailure("XGetAllPServername", "select", errno);
                return 1;
            }
            IpxAddress from;
            const ssize_t n = socket->receiveFrom(reply, sizeof reply, &from);
            if (n == ssize_t(SearchReplySize) || n == ssize_t(SearchReplySize - 1)) {
                addServer(reply, std::size_t(n), from);
                if (enough && enough())
                    return 1;
                idle = 0;
            } else {
                ++idle;
            }
        }
    }
    return 1;
}

int IpxServerContext::XFindPrintServer(const std::function<bool()>& found) {
    serverCount = 0;
    m_names = NameLists{};
    int ok = XGetPrintServerViaBroadcast(found);
    if (found())
        return ok;
    const int broadcastFound = serverCount;
    ok &= XGetPrintServerViaScan();
    // A box of the bindery that the broadcast found already is kept once.
    int kept = broadcastFound;
    for (int i = broadcastFound; i < serverCount; ++i) {
        bool twice = false;
        for (int k = 0; k < broadcastFound && !twice; ++k)
            twice = serverTable[std::size_t(k)].name() == serverTable[std::size_t(i)].name();
        if (!twice)
            serverTable[std::size_t(kept++)] = serverTable[std::size_t(i)];
    }
    serverCount = kept;
    return ok;
}

int IpxServerContext::XGetPort() {
    serverCount = 0;
    m_names = NameLists{};
    XGetPrintServerViaScan();
    XGetPrintServerViaBroadcast();
    for (int i = 0; i < serverCount; ++i) {
        ServerEntry& e = serverTable[std::size_t(i)];
        e.included = 0;
        if (XReadPServerEEProm(e, configBuffer)) {
            const auto rec = protocol::recordOf(configBuffer);
            e.included = rec[protocol::record::Capabilities] & protocol::record::CapTcpIp;
            std::memcpy(e.ipAddress.data(), rec.data() + protocol::record::IpAddress, 4);
        }
    }
    return 1;
}

} // namespace vnk::ipx
