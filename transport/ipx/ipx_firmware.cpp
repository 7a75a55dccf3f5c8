// The firmware transfer over IPX. The utility holds IPX socket 0x3451: the
// handshake goes from there to the box's command socket, and the box sends its
// block requests (the 4-byte header and the block number) back to it. Blocks
// (1030 bytes) and the end reply (6 bytes) go to the box's socket 0x3451. After
// the handshakes the socket is opened anew, with address reuse, for the block
// exchange. Everything else is the transfer every transport shares.
#include "transport/ipx/ipx_context.h"

#include "protocol/firmware.h"

#include <cerrno>
#include <cstring>

namespace vnk::ipx {

using namespace platform;
using protocol::UpgradeEnd;

bool handshakeReply(std::size_t n) { return n == IpxHeaderSize || n == IpxHeaderSize + 2; }

namespace {

inline constexpr char BroadcastAddressText[] = "Fatal: The Varnotek has a broadcast address !!!";

class IpxChannel final : public protocol::UpgradeChannel {
public:
    IpxChannel(IpxServerContext& ctx, const ServerEntry& entry) : m_ctx(ctx), m_entry(entry) {}

    std::size_t headerSize() const override { return IpxHeaderSize; }

    bool open(UpgradeEnd& why) override {
        m_socket = m_ctx.openSocket(Calls, IpxServerContext::SocketOption::Broadcast, protocol::IpxFirmwareSocket);
        if (!m_socket) {
            why = UpgradeEnd::SocketFailed;
            return false;
        }
        // A handshake to every node would start a transfer in every box.
        if (m_entry.ipxAddress.node == IpxBroadcastNode) {
            m_ctx.reporter().report(BroadcastAddressText);
            close();
            why = UpgradeEnd::BroadcastAddress;
            return false;
        }
        return true;
    }

    int handshake() override {
        if (!m_socket || !m_socket->isOpen())
            return -1;
        Byte request[IpxHeaderSize];
        buildIpxHeader(request, protocol::CmdFirmware);
        const int sent = m_ctx.sendPhase(*m_socket, m_entry.ipxAddress, request, sizeof request);
        if (sent <= 0)
            return sent;
        Byte reply[IpxMaxPayload];
        const int got = m_ctx.receivePhase(*m_socket, reply, m_ctx.timing().receiveAttempts, handshakeReply);
        if (got <= 0)
            return got;
        return ipxReplyAccepted(reply, std::size_t(got), protocol::CmdFirmware) ? 1 : 0;
    }

    bool beginBlocks() override {
        close();
        m_socket =
            m_ctx.openSocket(Calls, IpxServerContext::SocketOption::ReuseAddress, protocol::IpxFirmwareSocket);
        return m_socket != nullptr;
    }

    WaitResult waitRequest() override {
        return m_socket->waitReadable(m_ctx.timing().ipxBlockRequestWait, m_ctx.idleHook());
    }

    SizedReceive receiveRequest(Byte* buffer, std::size_t size) override {
        Byte datagram[IpxMaxPayload];
        const ssize_t n = m_socket->receiveFrom(datagram, sizeof datagram);
        if (n < 0)
            return errno == EMSGSIZE || isWouldBlock(errno) ? SizedReceive::Dropped : SizedReceive::Failed;
        if (std::size_t(n) != size)
            return SizedReceive::Dropped;
        std::memcpy(buffer, datagram, size);
        return SizedReceive::Taken;
    }

    void buildHeader(Byte* datagram) override { buildIpxHeader(datagram, protocol::CmdFirmware); }

    int send(const Byte* data, std::size_t length) override {
        const IpxAddress to{m_entry.ipxAddress.network, m_entry.ipxAddress.node, protocol::IpxFirmwareSocket};
        return m_ctx.sendPhase(*m_socket, to, data, length);
    }

    void close() override { m_socket.reset(); }

    // The box is searched for after the block exchange whatever ended it.
    bool searchAfterAnyEnd() const override { return true; }

private:
    static constexpr IpxServerContext::SocketCalls Calls{"XUpgradeFlashRAM", "XUpgradeFlashRAM", "XUpgradeFlashRAM",
                                                         "XUpgradeFlashRAM"};

    IpxServerContext& m_ctx;
    const ServerEntry& m_entry;
    std::unique_ptr<IpxEndpoint> m_socket;
};

} // namespace

int IpxServerContext::XUpgradeFlashRAM(ServerEntry& entry, const std::string& path, const MacAddress& recordEthernet,
                                       int typeIndex, const protocol::UpgradeProgress& progress,
                                       protocol::UpgradeResult* result) {
    IpxChannel channel(*this, entry);
    return protocol::runUpgrade(*this, channel, entry, path, recordEthernet, typeIndex, progress, result);
}

} // namespace vnk::ipx
