// The wizard's IPX exchanges on the configured segment: the search goes to the
// broadcast node, every other request to the box's node (its Ethernet address)
// on network 0, socket 0x3434. Each operation has an endpoint of its own.
#include "wizard/core/compact_link.h"
#include "wizard/core/wizard_network.h"

#include <optional>

namespace vnk::wizard {

using namespace platform;

namespace {

class IpxChannel final : public CompactChannel {
public:
    IpxChannel(const IpxSegment& segment, const Timing& timing) : m_segment(segment), m_wait(timing.wizardWait) {}

    bool open(bool broadcast) override {
        m_socket.emplace(m_segment);
        if (m_socket->open() != 0 || m_socket->setNonBlocking() != 0 || (broadcast && m_socket->setBroadcast() != 0) ||
            m_socket->bind(0) != 0) {
            close();
            return false;
        }
        return true;
    }

    void close() override { m_socket.reset(); }

    void send(const MacAddress& to, std::span<const Byte> frame) override {
        if (m_socket->waitWritable(m_wait) != WaitResult::Ready)
            return;
        IpxAddress destination;
        destination.node = to;
        destination.socket = protocol::IpxCommandSocket;
        m_socket->sendTo(destination, frame.data(), frame.size());
    }

    Received receive(std::span<Byte> buffer) override {
        Received r;
        if (m_socket->waitReadable(m_wait) != WaitResult::Ready)
            return r;
        r.ready = true;
        IpxAddress from;
        r.length = m_socket->receiveFrom(buffer.data(), buffer.size(), &from);
        r.sender = from.node;
        return r;
    }

private:
    IpxSegment m_segment;
    std::chrono::microseconds m_wait;
    std::optional<IpxEndpoint> m_socket;
};

} // namespace

CompactFraming ipxFraming() {
    CompactFraming f;
    f.header = 4;
    f.searchBuffer = 74;
    f.recordBuffer = 1024;
    f.shortBuffer = 4;
    f.onlyPrintServers = false;
    f.macFromSender = true;
    return f;
}

std::unique_ptr<DeviceLink> makeIpxLink(const IpxSegment& segment, const Timing& timing) {
    return makeCompactLink(std::make_unique<IpxChannel>(segment, timing), ipxFraming());
}

} // namespace vnk::wizard
