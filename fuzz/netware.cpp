// SAP and NCP: the IPX utility's reading of the file server's replies, and the
// simulated file server's reading of requests.
//
// The whole input is tried as each kind of reply. Then it is read as a series
// of requests to one file server: a byte saying what (SAP, a raw NCP request, or
// one of the utility's own requests with fields from the input) and from which
// station, a 2-byte length, the bytes.
#include "fuzz/fuzz_support.h"
#include "transport/ipx/netware_client.h"
#include "sim/sim_fileserver.h"

#include <algorithm>
#include <cstdlib>

namespace {

using namespace vnk;
using protocol::Byte;

void check(bool ok) {
    if (!ok)
        std::abort();
}

// The utility's parsers on one datagram.
void readReply(ipx::ByteView reply) {
    if (const auto a = ipx::parseNearestServerReply(reply))
        check(reply.size() == ipx::NearestServerReplySize);
    if (const auto c = ipx::parseCreateConnectionReply(reply))
        check(c->sequence == Byte(reply[2] + 1) && ipx::netwareReplyTaken(reply, ipx::CreateConnectionReplySize));
    if (const auto o = ipx::parseScanReply(reply)) {
        // The name is kept with room for its terminator, and without one inside.
        check(o->name.size() < ipx::BinderyNameWidth && o->name.find('\0') == std::string::npos);
        check(ipx::netwareReplyTaken(reply, ipx::ScanReplySize));
    }
    if (ipx::parseNetAddressReply(reply))
        check(ipx::netwareReplyTaken(reply, ipx::PropertyReplySize));
    (void)ipx::ncpSuccessful(reply);
}

sim::FileServerSpec serverSpec() {
    sim::FileServerSpec s;
    s.label = "fs";
    s.name = "FS-FUZZ";
    s.node = {0x02, 0x00, 0x00, 0x00, 0x0F, 0x01};
    s.network = {0x00, 0x00, 0x00, 0x01};
    const platform::IpxAddress box{{}, {0x00, 0x00, 0xB4, 0x02, 0x10, 0x01}, 0x3434};
    s.addObject(sim::netware::BoxObject, "QUILL-3P2S", box);
    s.addObject(sim::netware::BoxObjectOther, "MARTEN-1P", platform::IpxAddress{{0, 0, 0, 1}, {0, 0, 0xB4, 2, 0x10, 2}, 0x3434});
    s.addObject(sim::netware::BoxObject, "GONE-BOX", box);
    s.addObject(sim::netware::PrintServerObject, "PSERVER_A");
    s.addObject(sim::netware::NdsTreeObject, "TREE");
    s.addObject(sim::netware::FileServerObject, "FS-FUZZ");
    s.addObject(sim::netware::FileServerObject, std::string(sim::netware::MaxNameLength, 'L'));
    return s;
}

// What the server said to a request: the right header, and what the utility
// reads of it agrees with what was asked.
void checkAnswer(const std::vector<Byte>& r, std::span<const Byte> request) {
    check(r.size() >= 8 && r[0] == 0x33 && r[1] == 0x33);
    check(r[2] == request[2] && r[4] == request[4]); // the sequence and task are echoed
    readReply(r);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    readReply(ipx::ByteView(data, size));

    static const sim::FileServerSpec spec = serverSpec();
    sim::SimFileServer server(spec);
    static const platform::IpxAddress stations[] = {
        {{}, {0x00, 0x50, 0xBA, 0x12, 0x34, 0x56}, 0x4001},
        {{}, {0x00, 0x50, 0xBA, 0x12, 0x34, 0x56}, 0x4002},
        {{0, 0, 0, 1}, {0x02, 0x00, 0x00, 0x00, 0x00, 0x07}, 0x4001},
    };
    ipx::NcpConnection connection;
    fuzz::Cursor c(data, size);
    while (!c.empty()) {
        const Byte which = c.byte();
        const platform::IpxAddress& from = stations[(which >> 3) % 3];
        const auto piece = c.take(c.word() % 600);
        std::vector<Byte> request;
        switch (which & 7) {
        case 0: // a service query
            if (const auto r = server.sapRequest(piece)) {
                // The utility takes the server's answer and finds the server by it.
                const auto a = ipx::parseNearestServerReply(*r);
                check(a && *a == spec.address());
            }
            continue;
        case 1:
        case 2: // an NCP request as it came
            request.assign(piece.begin(), piece.end());
            break;
        case 3: // the utility's create connection
            request = ipx::createConnectionRequest(connection);
            break;
        case 4: { // the utility's scan, from an object and for a type the input gives
            fuzz::Cursor f(piece.data(), piece.size());
            const std::uint32_t last = std::uint32_t(f.word()) << 16 | f.word();
            request = ipx::scanObjectRequest(connection, last, f.word(), f.byte() & 1);
            break;
        }
        case 5: { // the utility's NET_ADDRESS read of a name the input gives
            fuzz::Cursor f(piece.data(), piece.size());
            const std::uint16_t type = f.word();
            request = ipx::readNetAddressRequest(connection, type, std::string(f.restText()));
            break;
        }
        default:
            request = ipx::endConnectionRequest(connection);
            break;
        }
        const int violations = server.sequenceViolations;
        const auto r = server.ncpRequest(request, from);
        // Every request the utility makes is answered, but a read of no name and
        // one out of sequence (after requests from the input or from another
        // station, which the utility does not make).
        const bool ours = (which & 7) >= 3;
        const bool outOfTurn = server.sequenceViolations != violations;
        check(r || !ours || ((which & 7) == 5 && request[12] == 0) || outOfTurn);
        if (!r)
            continue;
        checkAnswer(*r, request);
        if ((which & 7) == 3) {
            // The server always gives the utility a connection or says why not.
            const auto made = ipx::parseCreateConnectionReply(*r);
            check(made || !ipx::ncpSuccessful(*r));
            if (made)
                connection = *made; // the sequence counts on from the reply's
            continue;
        } else if ((which & 7) == 4 && ipx::ncpSuccessful(*r)) {
            // A found object is read whole: what the utility's scan waits for.
            check(r->size() == ipx::ScanReplySize && ipx::parseScanReply(*r));
        } else if ((which & 7) == 5 && ipx::ncpSuccessful(*r)) {
            check(r->size() == ipx::PropertyReplySize && ipx::parseNetAddressReply(*r));
        }
        if (ours)
            ++connection.sequence; // each reply that came counts, as the utility counts them
    }
    check(server.openConnections() <= sim::netware::MaxConnections);
    return 0;
}
