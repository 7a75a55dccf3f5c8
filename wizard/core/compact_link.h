// The wizard's compact exchanges, the same over UDP and over IPX: only the
// socket, the header's length and where a new entry's Ethernet address comes
// from differ. A header is the target's Ethernet address (UDP only), then the
// direction (0 request, 1 reply), the command, FF and the command XOR FF.
#pragma once

#include "wizard/core/device_link.h"

#include <sys/types.h>

#include <cstddef>
#include <memory>
#include <span>

namespace vnk::wizard {

// One receive: ready is false when the wait for a datagram timed out (or
// failed); length is what the receive returned (-1 for a failed receive).
struct Received {
    bool ready = false;
    ssize_t length = -1;
    MacAddress sender{}; // the sender's node (IPX)
};

// The socket of one operation.
class CompactChannel {
public:
    virtual ~CompactChannel() = default;
    // A fresh non-blocking socket bound to any address (with SO_BROADCAST when
    // broadcast); false, with nothing left open, when any step fails.
    virtual bool open(bool broadcast) = 0;
    virtual void close() = 0;
    // Waits for writability, then sends the frame towards `to`; a wait that
    // times out skips the send.
    virtual void send(const MacAddress& to, std::span<const Byte> frame) = 0;
    // Waits for readability, then takes one datagram of at most buffer.size() bytes.
    virtual Received receive(std::span<Byte> buffer) = 0;
};

struct CompactFraming {
    std::size_t header = 0;        // 10 (UDP) or 4 (IPX)
    std::size_t searchBuffer = 0;  // 150 or 74
    std::size_t recordBuffer = 0;  // read and status: 1024
    std::size_t shortBuffer = 0;   // write and reset: 10 or 4
    bool onlyPrintServers = false; // search replies of other device types are ignored (UDP)
    bool macFromSender = false;    // a new entry's Ethernet address is the sender's node (IPX)
};

std::unique_ptr<DeviceLink> makeCompactLink(std::unique_ptr<CompactChannel> channel, CompactFraming framing);

// The framing of the UDP link: a 10-byte header naming the box, print servers only.
CompactFraming udpFraming();
// The framing of the IPX link: a 4-byte header, the box known by the sender's node.
CompactFraming ipxFraming();

} // namespace vnk::wizard
