// NetBIOS datagrams and names as they come off the port, and what the setup
// wizard's NetBIOS link makes of the replies they carry: the search's add step,
// the record and status reads, and the header test every exchange makes.
//
// The whole input is tried as one datagram (its user data then counts as a
// reply to every exchange) and as an encoded name. Then it is read as a series
// of replies: a byte naming the exchange (and the entry it is for), a 2-byte
// length, the bytes.
#include "fuzz/fuzz_support.h"
#include "platform/netbios.h"
#include "protocol/wire.h"
#include "wizard/core/netbios_link.h"

#include <algorithm>
#include <cstdlib>
#include <set>

namespace {

using namespace vnk;
using protocol::Byte;

void check(bool ok) {
    if (!ok)
        std::abort();
}

void offer(wizard::WizardServerTable& table, wizard::NetbiosIdentities& identities, Byte which,
           std::span<const Byte> reply) {
    const int index = table.count ? (which >> 2) % table.count : 0;
    switch (which & 3) {
    case 0: {
        const int before = table.count;
        if (wizard::takeNetbiosSearchReply(table, reply, identities)) {
            check(table.count == before + 1 && identities[std::size_t(before)].has_value());
            // The box's own name is what later exchanges are sent to.
            const std::string name = table.netbiosName(before);
            check(table.foundOverNetbios(before) && name.size() <= 12 && name.ends_with(".CFG"));
        }
        break;
    }
    case 1:
        if (netbios::netbiosReplyValid(reply, 0, protocol::CmdReadConfig) &&
            wizard::takeNetbiosRecordReply(table, index, reply) && index < table.count)
            check(std::equal(table.records[std::size_t(index)].begin(), table.records[std::size_t(index)].end(),
                             reply.begin() + netbios::NetbiosHeaderSize));
        break;
    case 2:
        if (netbios::netbiosReplyValid(reply, 0, protocol::CmdStatus)) {
            table.status.fill(0xAA);
            check(wizard::takeNetbiosStatusReply(table, reply));
            // What the reply did not bring reads as 0, never as an older status.
            const std::size_t got = std::min(reply.size() - netbios::NetbiosHeaderSize, table.status.size());
            check(std::all_of(table.status.begin() + std::ptrdiff_t(got), table.status.end(),
                              [](Byte b) { return b == 0; }));
        }
        break;
    default: // write and reset take any valid reply
        (void)netbios::netbiosReplyValid(reply, 0, Byte(which >> 2));
        break;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const Byte> whole(data, size);
    wizard::WizardServerTable table;
    wizard::NetbiosIdentities identities;

    if (const auto name = platform::decodeNetbiosName(whole)) {
        const auto again = platform::encodeNetbiosName(*name);
        check(std::equal(again.begin(), again.end(), data));
    }
    if (const auto d = platform::decodeNetbiosDatagram(whole)) {
        // A datagram taken is one this side could have sent: encoded again it
        // is the same bytes.
        const auto again = platform::encodeNetbiosDatagram(*d);
        check(again.size() == size && std::equal(again.begin(), again.end(), data));
        for (Byte which = 0; which < 4; ++which)
            offer(table, identities, which, d->data);
    }

    fuzz::Cursor c(data, size);
    while (!c.empty()) {
        const Byte which = c.byte();
        offer(table, identities, which, c.take(c.word() % 1100));
    }

    // Each server once, within bounds.
    check(table.count >= 0 && table.count <= wizard::MaxServers);
    std::set<std::string> names;
    for (int i = 0; i < table.count; ++i)
        check(names.insert(wizard::pserverName(table.servers[std::size_t(i)])).second);
    return 0;
}
