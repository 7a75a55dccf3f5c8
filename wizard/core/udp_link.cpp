// The wizard's UDP exchanges: every request, the search and the addressed ones
// alike, is a broadcast to the command port; the Ethernet address in the header
// picks the box. Each operation has a socket of its own.
#include "wizard/core/compact_link.h"
#include "wizard/core/wizard_network.h"

#include "platform/udp_socket.h"

#include <optional>

namespace vnk::wizard {

using namespace platform;

namespace {

class UdpChannel final : public CompactChannel {
public:
    UdpChannel(const Endpoint& endpoint, const Timing& timing)
        : m_broadcast(parseIPv4(endpoint.broadcast)), m_port(endpoint.commandPort), m_wait(timing.wizardWait) {}
    ~UdpChannel() override { close(); }
    UdpChannel(const UdpChannel&) = delete;
    UdpChannel& operator=(const UdpChannel&) = delete;

    bool open(bool /*broadcast: every request is one*/) override {
        close();
        if (!m_broadcast)
            return false;
        m_fd = openUdpSocket();
        if (m_fd < 0)
            return false;
        if (setNonBlocking(m_fd) != 0 || enableBroadcast(m_fd) != 0 || bindAny(m_fd) != 0) {
            close();
            return false;
        }
        return true;
    }

    void close() override {
        if (m_fd >= 0)
            closeSocket(m_fd);
        m_fd = -1;
    }

    void send(const MacAddress& /*to: in the header*/, std::span<const Byte> frame) override {
        if (waitWritable(m_fd, m_wait) != WaitResult::Ready)
            return;
        sendDatagram(m_fd, frame.data(), frame.size(), *m_broadcast, m_port);
    }

    Received receive(std::span<Byte> buffer) override {
        Received r;
        if (waitReadable(m_fd, m_wait) != WaitResult::Ready)
            return r;
        r.ready = true;
        r.length = receiveDatagram(m_fd, buffer.data(), buffer.size());
        return r;
    }

private:
    std::optional<std::uint32_t> m_broadcast;
    std::uint16_t m_port;
    std::chrono::microseconds m_wait;
    int m_fd = -1;
};

} // namespace

CompactFraming udpFraming() {
    CompactFraming f;
    f.header = protocol::HeaderSize;
    f.searchBuffer = 150;
    f.recordBuffer = 1024;
    f.shortBuffer = protocol::HeaderSize;
    f.onlyPrintServers = true;
    f.macFromSender = false;
    return f;
}

std::unique_ptr<DeviceLink> makeUdpLink(const Endpoint& endpoint, const Timing& timing) {
    return makeCompactLink(std::make_unique<UdpChannel>(endpoint, timing), udpFraming());
}

} // namespace vnk::wizard
