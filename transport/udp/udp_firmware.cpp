// The firmware transfer over UDP: the channel the common transfer runs on, one
// socket for the handshake on the command port and the blocks on the firmware port.
#include "transport/udp/udp_context.h"

#include "platform/udp_socket.h"
#include "protocol/firmware.h"

namespace vnk::protocol {

using namespace platform;
using namespace firmware;

namespace {

// The UDP side: one socket, not bound, broadcast allowed; requests to the
// command port, blocks to the firmware port, every header naming the box by
// its Ethernet address.
class UdpChannel final : public UpgradeChannel {
public:
    UdpChannel(UdpServerContext& ctx, const ServerEntry& entry) : m_ctx(ctx), m_entry(entry) {}
    ~UdpChannel() override { close(); }

    std::size_t headerSize() const override { return HeaderSize; }
    bool open(UpgradeEnd& why) override {
        m_fd = m_ctx.openOperationSocket("XUpgradeFlashRAM", false);
        if (m_fd < 0)
            why = UpgradeEnd::SocketFailed;
        return m_fd >= 0;
    }
    // One send phase to the command port, then a receive phase that ends when 12
    // bytes are there or one read delivered exactly 10.
    int handshake() override {
        if (m_fd < 0)
            return -1;
        Byte request[HeaderSize];
        vnk::protocol::buildHeader(request, m_entry.ethernet, CmdFirmware);
        const int sent = m_ctx.sendPhase(m_fd, request, sizeof request, m_ctx.endpoint().commandPort);
        if (sent <= 0)
            return closedAfter(sent);
        Byte reply[HandshakeReplySize];
        std::size_t have = 0;
        const int got =
            m_ctx.receivePhase(m_fd, reply, sizeof reply, UdpServerContext::EarlyEnd::FirmwareTen, have);
        if (got <= 0)
            return closedAfter(got);
        return replyAccepted(std::span<const Byte>(reply, have), CmdFirmware) ? 1 : 0;
    }
    WaitResult waitRequest() override {
        return waitReadable(m_fd, m_ctx.timing().blockRequestWait, m_ctx.idleHook());
    }
    SizedReceive receiveRequest(Byte* buffer, std::size_t size) override {
        return receiveSized(m_fd, buffer, size);
    }
    void buildHeader(Byte* datagram) override {
        vnk::protocol::buildHeader(std::span<Byte>(datagram, HeaderSize), m_entry.ethernet, CmdFirmware);
    }
    int send(const Byte* data, std::size_t length) override {
        return closedAfter(m_ctx.sendPhase(m_fd, data, length, m_ctx.endpoint().firmwarePort));
    }
    void close() override {
        closeSocket(m_fd);
        m_fd = -1;
    }
    bool searchAfterAnyEnd() const override { return false; }

private:
    // A phase that failed hard has reported and closed the socket already.
    int closedAfter(int phase) {
        if (phase < 0)
            m_fd = -1;
        return phase;
    }

    UdpServerContext& m_ctx;
    const ServerEntry& m_entry;
    int m_fd = -1;
};

} // namespace

int UdpServerContext::XUpgradeFlashRAM(ServerEntry& entry, const std::string& path, const MacAddress& recordEthernet,
                                       int typeIndex, const UpgradeProgress& progress, UpgradeResult* result) {
    UdpChannel channel(*this, entry);
    return runUpgrade(*this, channel, entry, path, recordEthernet, typeIndex, progress, result);
}

} // namespace vnk::protocol
