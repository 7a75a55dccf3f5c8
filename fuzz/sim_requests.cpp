// What a simulated box is sent: command datagrams over UDP, IPX payloads,
// NetBIOS user data and firmware data in both framings, on a clock that moves
// only when the input says so.
//
// The first three bytes describe the box (how it asks for firmware, a few
// faults). Then the input is a series of steps: a byte naming the step, a
// 2-byte length and the bytes. Steps send a datagram as it came, or one behind
// a correct header for a command the step names (so that the box's handling
// of each command is reached), or a firmware block for the number the box asked
// for last, or let time pass.
#include "fuzz/fuzz_support.h"
#include "transport/ipx/ipx_context.h"
#include "sim/sim_box.h"
#include "transport/netbios/netbios_device.h"

#include <algorithm>
#include <cstdlib>

namespace {

using namespace vnk;
using protocol::Byte;
using sim::Clock;
using sim::Framing;

constexpr protocol::MacAddress BoxMac{0x00, 0x00, 0xB4, 0x02, 0x10, 0x01};

void check(bool ok) {
    if (!ok)
        std::abort();
}

sim::BoxSpec boxSpec(Byte a, Byte b, Byte f) {
    sim::BoxSpec s;
    s.label = "box";
    s.mac = BoxMac;
    s.deviceName = "QUILL3P2";
    s.vendor = 5;
    s.serverType = 2;
    s.features65 = 0x03;
    sim::setHardware(s.record, s.mac, 0x07, 0xFF, 0x15, 3, 1);
    sim::setText(s.record, protocol::record::AliasName, 16, "QUILL-3P2S");
    sim::setIPv4(s.record, protocol::record::IpAddress, {192, 168, 1, 20});
    s.record[protocol::record::DhcpMode] = 1;
    protocol::setRecordChecksum(s.record);
    s.printers = {{"READY=1\nPAGES=7", "MFG:Acme;MDL:Laser;", std::nullopt, std::nullopt},
                  {"", "", std::uint16_t(900), std::uint16_t(0xFFFF)}};
    s.netware.loggedInTo = "FS-FUZZ";
    s.netware.queues[0] = sim::QueueAttachment{"FS-FUZZ", "Q1"};
    s.restartDelay = std::chrono::milliseconds(20);

    s.isPc = a & 0x01;
    s.firmwarePresent = a & 0x02;
    s.firmware.handshakeReplySize = (a & 0x04) ? 10 : 12;
    s.firmware.reportsUpgradeMode = a & 0x08;
    s.firmware.verifyCheckByte = a & 0x10;
    s.firmware.order = sim::FirmwarePlan::Order((a >> 5) % 3);
    s.faults.badStatusAfter66 = a & 0x80;

    s.firmware.blocks = b % 6;
    s.firmware.repeats = (b >> 3) & 3;
    if (b & 0x80)
        s.firmware.script = {448, 1, 448, 600, 0};
    s.firmware.pace = std::chrono::milliseconds((b >> 5) & 3);
    s.firmware.retryAfter = std::chrono::milliseconds(5);
    s.firmware.retries = 2;

    s.faults.wrongPrinterIndex = f & 0x01;
    s.faults.udpSilent = f & 0x02;
    s.faults.firmwareStopAfter = (f & 0x04) ? (f >> 3) & 7 : -1;
    if (f & 0x40)
        s.faults.ignore = {(f >> 3) & 7, 10};
    return s;
}

// The data that follows a command's reply header, as the tools expect it.
void checkReplyData(Byte command, std::size_t data, const sim::BoxSpec& spec) {
    switch (command) {
    case protocol::CmdSearch:
        check(data == protocol::IdentitySize);
        break;
    case protocol::CmdReadConfig:
        check(data == protocol::RecordSize);
        break;
    case protocol::CmdStatus:
        check(data == (spec.faults.badStatusAfter66 ? protocol::StatusMinimumReply
                                                    : protocol::StatusBufferSize) - protocol::HeaderSize);
        break;
    case protocol::CmdPrinterStatus:
        check(data == protocol::PrinterStatusSize - protocol::HeaderSize);
        break;
    case protocol::CmdFirmware:
        check(data == spec.firmware.handshakeReplySize - protocol::HeaderSize);
        break;
    default:
        check(data == 0);
        break;
    }
}

struct Run {
    sim::SimBox box;
    Clock::time_point now = Clock::time_point{} + std::chrono::hours(1);
    int lastAsked = 1; // the block the box asked for last

    // Replies to a command datagram: addressed as the framing does, the command
    // echoed, of the size the tools take; none while the box restarts, and a
    // broadcast answered only when it is a search.
    void checkReplies(const std::vector<sim::Reply>& replies, std::span<const Byte> request, Framing framing,
                      bool netbios, bool toAll, bool wasRestarting) {
        check(replies.size() <= 1);
        if (replies.empty())
            return;
        check(!wasRestarting);
        const std::vector<Byte>& r = replies[0].bytes;
        if (netbios) {
            check(netbios::netbiosReplyValid(r, request[3], request[5]));
            check(!toAll || request[5] == protocol::CmdSearch);
            checkReplyData(request[5], r.size() - netbios::NetbiosHeaderSize, box.spec());
        } else if (framing == Framing::Ipx) {
            check(ipx::ipxReplyAccepted(r.data(), r.size(), request[1]));
            check(!toAll || request[1] == protocol::CmdSearch);
            checkReplyData(request[1], r.size() - ipx::IpxHeaderSize, box.spec());
        } else {
            check(protocol::replyAccepted(r, request[protocol::HdrCommand]) &&
                  std::equal(BoxMac.begin(), BoxMac.end(), r.begin()));
            check(!toAll || request[protocol::HdrCommand] == protocol::CmdSearch);
            checkReplyData(request[protocol::HdrCommand], r.size() - protocol::HeaderSize, box.spec());
        }
    }

    // Whatever was written, the box keeps its own Ethernet address and a record
    // whose checksum holds.
    void checkRecord() const {
        const protocol::ConfigRecord& rec = box.storedRecord();
        check(std::equal(BoxMac.begin(), BoxMac.end(), rec.begin() + protocol::record::EthernetAddress));
        check(protocol::recordChecksum(rec) == rec[protocol::ChecksumOffset]);
    }

    // Block requests: the header of the transfer's framing, command 7, a number.
    void checkBlockRequests(const std::vector<sim::Reply>& requests) {
        for (const sim::Reply& q : requests) {
            const bool udp = box.transferFraming() == Framing::Udp;
            const std::size_t h = udp ? protocol::HeaderSize : ipx::IpxHeaderSize;
            check(q.bytes.size() == h + 2 && q.bytes[h - 3] == protocol::CmdFirmware);
            lastAsked = protocol::getLE16(q.bytes, h);
        }
    }
};

std::vector<Byte> commandHeader(Framing framing, bool netbios, Byte command, bool toAll, Byte echo) {
    if (netbios)
        return {'P', 'S', 0, echo, 0, command, 0xFF, Byte(0xFF - command)};
    if (framing == Framing::Ipx)
        return {0, command, 0xFF, Byte(0xFF - command)};
    std::vector<Byte> h(toAll ? protocol::BroadcastMac.begin() : BoxMac.begin(),
                        toAll ? protocol::BroadcastMac.end() : BoxMac.end());
    h.insert(h.end(), {0, command, 0xFF, Byte(0xFF - command)});
    return h;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Cursor c(data, size);
    const Byte a = c.byte(), b = c.byte(), f = c.byte();
    Run run{sim::SimBox(boxSpec(a, b, f), "")};
    int writes = 0;

    while (!c.empty()) {
        const Byte step = c.byte();
        const Byte command = c.byte();
        const auto piece = c.take(c.word() % 1600);
        const bool flag = step & 0x10;
        const Framing framing = (step & 0x20) ? Framing::Ipx : Framing::Udp;
        const bool wasRestarting = run.box.restarting(run.now);
        std::vector<Byte> request;
        switch (step & 0x07) {
        case 0: // a command datagram (or NetBIOS user data) as it came
        case 1: // ... behind a correct header
        case 2: { // ... as NetBIOS user data behind a correct header
            const bool netbios = (step & 0x07) == 2 || ((step & 0x07) == 0 && (step & 0x40));
            if ((step & 0x07) == 0) {
                request.assign(piece.begin(), piece.end());
            } else {
                request = commandHeader(framing, netbios, command, flag, Byte(step >> 6));
                request.insert(request.end(), piece.begin(), piece.end());
            }
            std::vector<sim::Reply> replies;
            bool toAll = flag;
            if (netbios) {
                replies = run.box.handleNetbios(request, flag, run.now);
            } else if (framing == Framing::Ipx) {
                replies = run.box.handleIpx(request, flag, run.now);
            } else {
                replies = run.box.handle(request, run.now);
                toAll = request.size() >= 6 &&
                        std::equal(protocol::BroadcastMac.begin(), protocol::BroadcastMac.end(), request.begin());
            }
            run.checkReplies(replies, request, framing, netbios, toAll, wasRestarting);
            if (run.box.takeTransferStart())
                run.checkBlockRequests(run.box.firmwareDue(run.now));
            break;
        }
        case 3: // firmware data as it came
            run.checkBlockRequests(run.box.firmwareData(piece, run.now, framing));
            break;
        case 4:
        case 5: { // a block for the number asked for (or the end reply), in either framing
            request = commandHeader(framing, false, protocol::CmdFirmware, false, 0);
            request.resize(request.size() + 2);
            const std::uint16_t number = (step & 0x07) == 5 ? 0xFFFF : std::uint16_t(run.lastAsked + (flag ? 1 : 0));
            protocol::putLE16(request, request.size() - 2, number);
            if ((step & 0x07) == 4) {
                request.insert(request.end(), piece.begin(), piece.end());
                request.resize(request.size() - piece.size() + 1024, 0);
            }
            run.checkBlockRequests(run.box.firmwareData(request, run.now, framing));
            break;
        }
        default: // time passes
            run.now += std::chrono::milliseconds(command);
            run.box.tick(run.now);
            run.checkBlockRequests(run.box.firmwareDue(run.now));
            break;
        }
        if (run.box.writes != writes) {
            writes = run.box.writes;
            run.checkRecord();
        }
    }
    run.checkRecord();
    return 0;
}
