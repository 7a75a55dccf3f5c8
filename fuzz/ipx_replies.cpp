// IPX carrier datagrams and what the IPX utility does with the replies they
// carry: the frame's decoding, the broadcast search's add step, and each
// operation's choice of datagram and its copy into the pages' buffers.
//
// The whole input is tried as one carrier datagram (its payload then counts as
// a reply). Then it is read as a series of replies: a byte naming the
// operation that waits, a byte choosing the sender, a 2-byte length, the bytes.
#include "fuzz/fuzz_support.h"
#include "transport/ipx/ipx_context.h"
#include "platform/error_reporter.h"
#include "platform/ipx.h"
#include "protocol/identity.h"

#include <algorithm>
#include <cstdlib>
#include <set>

namespace {

using vnk::fuzz::check;
using vnk::fuzz::QuietReporter;

using namespace vnk;
using protocol::Byte;


// No settings file: the filter lets in device type 0 only, so that some replies
// are kept and some turned away without a file read for each.
const std::string& noSettings() {
    static const std::string path = fuzz::tempFolder() + "/no-Config.ini";
    return path;
}


// One reply to one waiting operation, as the operation would take it.
void offer(ipx::IpxServerContext& ctx, Byte which, std::span<const Byte> reply, const platform::IpxAddress& from) {
    const Byte* bytes = reply.data();
    const std::size_t n = reply.size();
    const protocol::ServerEntry& entry = ctx.serverTable[0];
    switch (which % 7) {
    case 0: // the broadcast search: every datagram goes to the add step, which picks
        ctx.addServer(bytes, n, from);
        break;
    case 1: // one box's search
        if (ipx::searchReply(n))
            (void)ipx::ipxReplyAccepted(bytes, n, protocol::CmdSearch);
        break;
    case 2:
        if (ipx::configReply(n) && ipx::ipxReplyAccepted(bytes, n, protocol::CmdReadConfig)) {
            ctx.configBuffer.fill(0xAA);
            ipx::toCallerLayout(ctx.configBuffer, entry, bytes, n);
            // The record is whole: its bytes are the reply's data.
            check(std::equal(bytes + ipx::IpxHeaderSize, bytes + n, ctx.configBuffer.begin() + protocol::HeaderSize));
        }
        break;
    case 3:
        if (ipx::statusReply(n) && ipx::ipxReplyAccepted(bytes, n, protocol::CmdStatus)) {
            ctx.statusBuffer.fill(0xAA);
            ipx::toCallerLayout(ctx.statusBuffer, entry, bytes, n);
            // What the reply did not bring reads as 0, never as an older reply.
            const std::size_t end = protocol::HeaderSize + (n - ipx::IpxHeaderSize);
            check(std::all_of(ctx.statusBuffer.begin() + std::ptrdiff_t(std::min(end, ctx.statusBuffer.size())),
                              ctx.statusBuffer.end(), [](Byte b) { return b == 0; }));
        }
        break;
    case 4:
        if (ipx::printerStatusReply(n) && ipx::ipxReplyAccepted(bytes, n, protocol::CmdPrinterStatus))
            ipx::toCallerLayout(ctx.printerStatusBuffer, entry, bytes, n);
        break;
    case 5: // write, reset, test print
        if (ipx::shortReply(n))
            (void)ipx::ipxReplyAccepted(bytes, n, Byte(which >> 4));
        break;
    default: // the firmware handshake
        if (ipx::handshakeReply(n))
            (void)ipx::ipxReplyAccepted(bytes, n, protocol::CmdFirmware);
        break;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static QuietReporter reporter;
    ipx::IpxServerContext ctx(platform::Endpoint{}, platform::IpxSegment{}, platform::Timing{}, reporter);
    ctx.settingsPath = noSettings();
    ctx.serverTable[0].ipxAddress.node = {0x00, 0x00, 0xB4, 0x02, 0x10, 0x01};

    // The whole input as a carrier datagram.
    const std::span<const Byte> whole(data, size);
    if (const auto packet = platform::decodeIpx(whole)) {
        // Encoded again it is the same datagram but for the checksum, always FFFF.
        const auto again = platform::encodeIpx(*packet);
        check(again.size() == size && again[0] == 0xFF && again[1] == 0xFF &&
              std::equal(again.begin() + 2, again.end(), data + 2));
        for (Byte which = 0; which < 7; ++which)
            offer(ctx, which, packet->payload, packet->source);
    }

    // The input as a series of replies from a few senders.
    static const platform::IpxNode nodes[] = {{0x00, 0x00, 0xB4, 0x02, 0x10, 0x01},
                                              {0x00, 0x00, 0xB4, 0x02, 0x10, 0x02},
                                              {0x02, 0x00, 0x00, 0x00, 0x00, 0x09},
                                              platform::IpxBroadcastNode};
    fuzz::Cursor c(data, size);
    while (!c.empty()) {
        const Byte which = c.byte();
        platform::IpxAddress from;
        from.node = nodes[c.byte() % 4];
        from.socket = protocol::IpxCommandSocket;
        offer(ctx, which, c.take(c.word() % (platform::IpxMaxPayload + 1)), from);
    }

    // The search's table: within bounds, each box once, its address the sender's.
    check(ctx.serverCount >= 0 && ctx.serverCount <= protocol::MaxServers);
    std::set<std::string> names;
    for (int i = 0; i < ctx.serverCount; ++i) {
        const protocol::ServerEntry& e = ctx.serverTable[std::size_t(i)];
        check(names.insert(e.name()).second);
        check(std::equal(e.ethernet.begin(), e.ethernet.end(), e.ipxAddress.node.begin()));
    }
    return 0;
}
