// The device protocol over UDP: every request a datagram to the broadcast
// address and the command port, addressed to a box by its Ethernet address in a
// 10-byte header; replies come back to the socket that sent the request.
#pragma once

#include "protocol/pserver_context.h"

#include <netinet/in.h>

namespace vnk::protocol {

class UdpServerContext : public CPServerContext {
public:
    UdpServerContext(platform::Endpoint endpoint, platform::Timing timing, platform::ErrorReporter& reporter);

    int XGetPort() override;
    // Runs discovery on a bound socket. A hard send failure closes the socket and
    // sets it to -1, so the caller does not close it twice. When enough is given,
    // discovery ends as soon as it says so after a reply was added (a tool that
    // looks for one box need not wait for the passes to end).
    int XGetAllPServername(int& socket, const std::function<bool()>& enough = {});
    int XSearchPS(ServerEntry& entry, Byte* reply /* at least 76 bytes */) override;
    int XReadPServerEEProm(ServerEntry& entry, ConfigFrame& frame) override;
    int XWritePServerEEProm(ServerEntry& entry, ConfigFrame& frame) override;
    int XResetPServerEEProm(ServerEntry& entry) override;
    int XGetPServerStatus(ServerEntry& entry, StatusBuffer& status) override;
    int XGetPrinterStatus(ServerEntry& entry, PrinterStatusBuffer& buffer, std::int32_t portIndex) override;
    int XTestPrint(ServerEntry& entry, int port) override;
    int XUpgradeFlashRAM(ServerEntry& entry, const std::string& path, const MacAddress& recordEthernet, int typeIndex,
                         const UpgradeProgress& progress, UpgradeResult* result) override;
    std::size_t searchReplyIdentity() const override { return HeaderSize; }

    int XSendPacket(int socket, const Byte* data, std::size_t length, int& sent);
    int XSendPacket(int socket, const Byte* data, std::size_t length, int& sent, std::uint16_t port);
    int XReceivePacket(int socket, Byte* buffer, std::size_t size, int& received);

    // Discovery's add-server step, for one 76-byte reply.
    void addServer(const Byte* reply /* 76 bytes */, const sockaddr_in& from);

    // Where requests go: the configured broadcast address.
    std::uint32_t broadcastAddress() const { return m_broadcast; }

    // Socket set-up for one operation: socket, non-blocking, broadcast, and for
    // discovery and search a bind to any address. Reports and returns -1 on failure.
    int openOperationSocket(const char* operation, bool bind);

    // The exchange of every single-server operation: one send phase, one receive
    // phase, then the acceptance test of the reply header. When keepSocket is
    // given, the socket stays open on success and its descriptor is stored there.
    enum class EarlyEnd { None, StatusMinimum, FirmwareTen };
    int exchange(const char* operation, ServerEntry& entry, Byte command, Byte* request, std::size_t requestLength,
                 Byte* reply, std::size_t replySize, EarlyEnd early = EarlyEnd::None, bool bind = false,
                 int* keepSocket = nullptr);

    // One send phase (up to the table's attempts): 1 when the whole datagram went,
    // 0 when the attempts ran out (socket still open), -1 after a hard failure
    // (socket closed, error reported). The firmware transfer uses both phases on
    // the socket it keeps.
    int sendPhase(int socket, const Byte* data, std::size_t length, std::uint16_t port);
    // 1 when the reply was collected; 0 on an attempt-count failure (socket still
    // open); -1 after a hard failure (socket closed, error reported).
    int receivePhase(int socket, Byte* reply, std::size_t size, EarlyEnd early, std::size_t& collected);

    // How a receive phase collects a reply, without the socket: up to attempts
    // receives, each into what is left of the reply. receive() returns 0 after a
    // hard failure, else 1 with got set to the bytes it placed (0 when nothing
    // came). The results are receivePhase's.
    using ReceiveOne = std::function<int(Byte* into, std::size_t room, int& got)>;
    static int collectReply(int attempts, const ReceiveOne& receive, Byte* reply, std::size_t size, EarlyEnd early,
                            std::size_t& collected);

private:
    std::uint32_t m_broadcast = 0xFFFFFFFFu;
};

} // namespace vnk::protocol
