// The device protocol over IPX: the same commands and data as over UDP, each
// request an IPX datagram with a 4-byte header to the box's own IPX address
// (its node is its Ethernet address, its socket 0x3434); the box answers the
// requesting socket. Discovery scans the bindery of the nearest NetWare file
// server for print server objects, then searches by broadcast.
#pragma once

#include "transport/ipx/netware_client.h"
#include "protocol/pserver_context.h"

#include <array>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace vnk::ipx {

using protocol::Byte;
using protocol::ConfigFrame;
using protocol::MacAddress;
using protocol::PrinterStatusBuffer;
using protocol::ServerEntry;
using protocol::StatusBuffer;

// The 4-byte frame header: 0 (request) or 1 (reply), the command, 0xFF and the
// command XOR 0xFF.
inline constexpr std::size_t IpxHeaderSize = 4;
inline constexpr std::size_t SearchReplySize = IpxHeaderSize + protocol::IdentitySize; // 70 (69 is taken too)
inline constexpr std::size_t ConfigFrameSize = IpxHeaderSize + protocol::RecordSize;    // 516
inline constexpr std::size_t StatusReplySize = 485;
inline constexpr std::size_t StatusMinimumReply = 66; // a receive of more than 65 bytes ends the attempts
inline constexpr std::size_t PrinterStatusReplySize = 410;
inline constexpr std::size_t PrinterStatusRequestSize = 6;
inline constexpr std::size_t TestPrintRequestSize = 485;

void buildIpxHeader(Byte* out, Byte command);
bool ipxReplyAccepted(const Byte* reply, std::size_t length, Byte command);

// The datagram sizes each operation takes; any other is dropped unread. The
// search: 69 or 70 bytes; the record: 516; the status: 66 to 485; the write,
// reset and test print: the header alone; the printer status: 410; the
// firmware handshake: the header, or the header and 2 bytes.
bool searchReply(std::size_t n);
bool configReply(std::size_t n);
bool statusReply(std::size_t n);
bool shortReply(std::size_t n);
bool printerStatusReply(std::size_t n);
bool handshakeReply(std::size_t n);
// An accepted reply of length bytes (at least the header) in the caller's
// buffer as the pages know it: the box's node, the reply's header at bytes
// 6-9, the data from offset 10 (cut to the buffer) and the rest cleared.
void toCallerLayout(std::span<Byte> out, const ServerEntry& entry, const Byte* reply, std::size_t length);

// The names the bindery scan found, for the NetWare pages: at most 30 each.
inline constexpr int MaxNames = 30;
inline constexpr std::size_t MaxNameLength = 47; // 48 bytes with the terminator
struct NameLists {
    std::vector<std::string> ndsTrees;     // object type 0x0278
    std::vector<std::string> fileServers;  // object type 0x0004
    std::vector<std::string> printServers; // object type 0x0047, boxes' names removed
};

class IpxServerContext : public protocol::CPServerContext {
public:
    IpxServerContext(platform::Endpoint endpoint, platform::IpxSegment segment, platform::Timing timing,
                     platform::ErrorReporter& reporter);

    // Discovery: the bindery scan, the broadcast search, then each entry's record.
    int XGetPort() override;
    int XSearchPS(ServerEntry& entry, Byte* reply /* at least 70 bytes */) override;
    int XReadPServerEEProm(ServerEntry& entry, ConfigFrame& frame) override;
    int XWritePServerEEProm(ServerEntry& entry, ConfigFrame& frame) override;
    int XResetPServerEEProm(ServerEntry& entry) override;
    int XGetPServerStatus(ServerEntry& entry, StatusBuffer& status) override;
    int XGetPrinterStatus(ServerEntry& entry, PrinterStatusBuffer& buffer, std::int32_t portIndex) override;
    int XTestPrint(ServerEntry& entry, int port) override;
    int XUpgradeFlashRAM(ServerEntry& entry, const std::string& path, const MacAddress& recordEthernet, int typeIndex,
                         const protocol::UpgradeProgress& progress, protocol::UpgradeResult* result) override;
    std::size_t searchReplyIdentity() const override { return IpxHeaderSize; }

    // One send attempt: 1 with the bytes sent (0 after a timed-out wait or a
    // would-block send), 0 after a reported error. The socket stays open.
    int XSendPacket(platform::IpxEndpoint& socket, const platform::IpxAddress& to, const Byte* data,
                    std::size_t length, int& sent);
    // One receive attempt: 1 with the bytes received (0 after a timed-out wait),
    // 0 after a reported error, which closes the socket.
    int XReceivePacket(platform::IpxEndpoint& socket, Byte* buffer, std::size_t size, int& received);

    // The phases the operations and the firmware transfer are made of. A send
    // phase: up to the table's send attempts until the whole datagram went; 1
    // sent, 0 attempts used up, -1 after a reported error (the socket is still
    // open). A receive phase: up to attempts XReceivePacket calls, each taking one
    // whole datagram into datagram (IpxMaxPayload bytes); it ends at the first
    // whose size takes() accepts (other sizes are dropped without a word) and
    // returns that size; 0 when the attempts ran out, -1 after a reported error
    // (the socket is closed then).
    int sendPhase(platform::IpxEndpoint& socket, const platform::IpxAddress& to, const Byte* data,
                  std::size_t length);
    int receivePhase(platform::IpxEndpoint& socket, Byte* datagram, int attempts, bool (*takes)(std::size_t));

    // A socket for one operation: socket, non-blocking, optionally broadcast or
    // address reuse, bound to socketNumber (0: dynamic). Each failing call is
    // reported with its text (calls: the names the failure texts use for
    // socket(), ioctlsocket(), setsockopt() and bind()). Nothing when it failed.
    // Each name is the operation ("XGetNearFileServer": the call is named as
    // usual) or the operation and the call ("XSearchFS-setsocketopt").
    struct SocketCalls {
        const char* socket;
        const char* ioctl;
        const char* setsockopt; // nullptr: no option is set
        const char* bind;
    };
    enum class SocketOption { None, Broadcast, ReuseAddress };
    std::unique_ptr<platform::IpxEndpoint> openSocket(const SocketCalls& calls, SocketOption option,
                                                      std::uint16_t socketNumber = 0);

    const platform::IpxSegment& segment() const { return m_segment; }
    const NameLists& nameLists() const { return m_names; }

    // Looks for one box, for a caller that names it: the broadcast search,
    // which ends as soon as found() holds, then, only when it does not, the
    // bindery scan for the boxes the broadcast does not reach (a box both find
    // is kept once). The records are not read. 1, or 0 after a socket failure.
    int XFindPrintServer(const std::function<bool()>& found);

    // --- discovery's parts ---
    int XGetPrintServerViaScan();
    // enough: when given, the search ends as soon as it holds after a reply.
    int XGetPrintServerViaBroadcast(const std::function<bool()>& enough = {});
    // The add step of the broadcast search, for one 69- or 70-byte reply.
    void addServer(const Byte* reply, std::size_t length, const platform::IpxAddress& from);
    // The nearest file server's address, by the Service Advertising Protocol.
    int XGetNearFileServer(platform::IpxAddress& fileServer);
    // Creates a NetWare connection on socket; connection takes its numbers.
    int XConnectToFileServer(platform::IpxEndpoint& socket, const platform::IpxAddress& fileServer,
                             NcpConnection& connection);

private:
    // Sends a NetWare request and waits for the reply of replySize bytes, or the
    // server's 8-byte error reply (at most netwareReads datagrams, each within
    // wait). Every reply that comes counts on the connection's sequence.
    // Nothing when none came; a failing wait is reported under selectOperation.
    std::optional<Bytes> netwareExchange(platform::IpxEndpoint& socket, const platform::IpxAddress& to,
                                         const Bytes& request, std::size_t replySize,
                                         std::chrono::microseconds wait, NcpConnection* connection,
                                         const char* selectOperation);
    // The print server objects of one type, each into the next free entry with
    // the address its NET_ADDRESS gives (or none).
    void scanBoxObjects(platform::IpxEndpoint& socket, const platform::IpxAddress& fileServer,
                        NcpConnection& connection, std::uint16_t type);
    // The names of the objects of one type, into list (at most 30).
    void scanNames(platform::IpxEndpoint& socket, const platform::IpxAddress& fileServer, NcpConnection& connection,
                   std::uint16_t type, std::vector<std::string>& list);

    platform::IpxSegment m_segment;
    NameLists m_names;
};

} // namespace vnk::ipx
