// Everything the UDP utilities do with the bytes of a reply: discovery's
// add-server step with the device filter, the exchange's collecting of a reply
// and its acceptance test, and then what the pages and vnkctl make of an
// accepted reply: the identity block, the configuration record's fields, the
// status record and its pages, the printer status reply.
//
// Input: byte 0 chooses the operation.
//   discovery: byte 1 bit 0 set: a Config.ini text follows (a length byte and
//              the text) and filters the replies; then 76-byte replies.
//   exchange:  datagrams of the reply, each a length byte and its bytes (0: a
//              receive that timed out, 255: a receive that failed, 254: a 16-bit
//              length follows); what is left after the reply fills what the
//              operation reads besides it.
#include "cli/record_view.h"
#include "fuzz/fuzz_support.h"
#include "platform/box_text.h"
#include "protocol/firmware.h"
#include "protocol/record_fields.h"
#include "protocol/status_record.h"
#include "transport/udp/udp_context.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cstring>

namespace {

using vnk::fuzz::check;
using vnk::fuzz::QuietReporter;

using namespace vnk;
using namespace vnk::protocol;
using Early = UdpServerContext::EarlyEnd;



// Fills out from the cursor; bytes the input does not have stay zero.
template <std::size_t N>
void fill(fuzz::Cursor& in, std::array<Byte, N>& out) {
    const auto bytes = in.take(N);
    std::copy(bytes.begin(), bytes.end(), out.begin());
}

platform::Endpoint loopback() {
    platform::Endpoint e;
    e.broadcast = "127.255.255.255";
    return e;
}

// What a tool shows of a text from the box is UTF-8, and on a terminal holds
// no control character.
void checkShown(const std::string& bytes) {
    check(platform::isValidUtf8(cli::boxText(bytes)));
    for (unsigned char c : cli::shownName(bytes))
        check(c >= 0x20 && c != 0x7F);
}

// After any sequence of replies the table holds at most MaxServers entries,
// no two of one name.
void checkTable(const UdpServerContext& ctx) {
    check(ctx.serverCount >= 0 && ctx.serverCount <= MaxServers);
    for (int i = 0; i < ctx.serverCount; ++i)
        for (int j = i + 1; j < ctx.serverCount; ++j)
            check(std::strncmp(reinterpret_cast<const char*>(ctx.serverTable[std::size_t(i)].identity.data() +
                                                             identity::ServerName),
                               reinterpret_cast<const char*>(ctx.serverTable[std::size_t(j)].identity.data() +
                                                             identity::ServerName),
                               identity::ServerNameWidth) != 0);
}

void showIdentity(const IdentityBlock& id) {
    checkShown(serverName(id));
    checkShown(deviceName(id));
    (void)supportsSnmp(id);
    (void)hasExtendedPrinterStatus(id);
    (void)firmwarePresent(id);
}

void discovery(fuzz::Cursor& in) {
    QuietReporter reporter;
    UdpServerContext ctx(loopback(), platform::Timing::fast(), reporter);
    ctx.settingsPath = ""; // no settings file: print servers only
    if (in.byte() & 1) {
        const auto ini = in.piece();
        ctx.settingsPath = fuzz::inputFile(ini.data(), ini.size(), ".ini");
    }
    const sockaddr_in from = platform::makeAddress(0x7F000001u, 13364);
    while (!in.empty()) {
        std::array<Byte, DiscoveryReplySize> reply{};
        fill(in, reply);
        const int before = ctx.serverCount;
        ctx.addServer(reply.data(), from);
        if (ctx.serverCount > before) {
            const ServerEntry& e = ctx.serverTable[std::size_t(before)];
            check(std::equal(e.ethernet.begin(), e.ethernet.end(), reply.begin()));
            showIdentity(e.identity);
        }
        checkTable(ctx);
    }
}

void showRecord(std::span<const Byte, RecordSize> rec, std::span<const Byte, RecordSize> other) {
    for (const FieldDef& f : allFields()) {
        const std::string value = readField(f, rec);
        const std::string shown = cli::fieldValue(f, rec);
        check(platform::isValidUtf8(shown));
        // Throws on text that is not UTF-8: the JSON output must never meet any.
        (void)cli::fieldJson(f, rec).dump();
        if (f.kind == FieldKind::Text || f.kind == FieldKind::TextFillWidth)
            check(value.size() <= f.width);
    }
    (void)ndsTreeName(rec);
    (void)parallelPorts(rec);
    (void)serialPorts(rec);
    (void)recordChecksum(rec);
    (void)defaultFirmwareFileName(modelCodeDigits(rec));
    (void)supportsUdpUpgrade(rec);
    for (const auto& change : cli::recordDiff(rec, other)) {
        check(platform::isValidUtf8(change.before) && platform::isValidUtf8(change.after));
    }
    check(cli::recordDiff(rec, rec).empty());
}

void showStatus(const StatusBuffer& s, fuzz::Cursor& in) {
    (void)frameTypeCode(s);
    (void)primaryLoggedIn(s);
    (void)fileServerLoggedIn(s);
    (void)ipxNetwork(s);
    checkShown(loggedInFileServer(s));
    (void)activeIp(s);
    (void)maskInUse(s);
    (void)netbeuiState(s);
    (void)speedCode(s);
    (void)dhcpServerState(s);
    (void)dhcpStart(s);
    (void)dhcpGateway(s);
    (void)dhcpNetmask(s);
    (void)dhcpDns(s);
    (void)dhcpNext(s);
    for (int port = -1; port <= 8; ++port) {
        const auto at = portStateOffset(port);
        check(!at || *at < status::RecordCapacity);
        if (const auto state = portStateByte(s, port))
            (void)portStateWord(*state);
    }
    for (int k = -1; k <= 6; ++k)
        if (const auto b = queueBlock(s, k)) {
            checkShown(b->fileServer);
            checkShown(b->queue);
        }

    // The device status page needs the record and identity of the same box.
    ConfigRecord rec{};
    IdentityBlock id{};
    fill(in, rec);
    fill(in, id);
    const Byte counts = in.byte();
    const int parallel = std::int8_t(counts) >> 4; // counts outside 0-3 too
    const int serial = std::int8_t(counts << 4) >> 4;
    (void)deviceStatusFields(id, rec, s, parallel);
    (void)protocolSupportText(rec[record::Capabilities], id[identity::Flags]);

    // The printer status page fetches one reply per port; one not given fails.
    std::vector<PrinterStatusBuffer> replies;
    while (!in.empty() && replies.size() < 6) {
        PrinterStatusBuffer b{};
        fill(in, b);
        replies.push_back(b);
    }
    int fetched = 0;
    const PrinterStatusFetch fetch = [&](int portIndex) -> const PrinterStatusBuffer* {
        check(portIndex == fetched++);
        return std::size_t(portIndex) < replies.size() ? &replies[std::size_t(portIndex)] : nullptr;
    };
    const bool extended = counts & 0x08;
    const auto ports = printerPortStatuses(s, parallel, serial, extended, fetch);
    check(ports.size() <= 6);
    fetched = 0;
    const auto rows = printerStatusRows(s, parallel, serial, extended, fetch);
    check(rows.size() >= ports.size());
}

void showPrinterStatus(const PrinterStatusBuffer& reply, fuzz::Cursor& in) {
    const int asked = int(in.byte() % 8) - 1;
    const PrinterStatusInfo info = parsePrinterStatus(reply, asked, "Ready");
    for (const auto& item : info.identificationItems)
        check(item.size() <= printer_status::MaxIdentificationItem);
    if (info.display)
        for (unsigned char c : *info.display)
            check(c >= 0x20 && c <= 0x7E);
    StatusBuffer s{};
    fill(in, s);
    const PrinterStatusFetch fetch = [&](int) { return &reply; };
    (void)printerStatusRows(s, 3, 2, true, fetch);
}

struct Operation {
    Byte command;
    std::size_t replySize;
    Early early;
};
constexpr Operation Operations[] = {
    {CmdSearch, DiscoveryReplySize, Early::None},   {CmdReadConfig, ConfigFrameSize, Early::None},
    {CmdWriteConfig, HeaderSize, Early::None},      {CmdReset, HeaderSize, Early::None},
    {CmdStatus, StatusBufferSize, Early::StatusMinimum}, {CmdTestPrint, HeaderSize, Early::None},
    {CmdPrinterStatus, PrinterStatusSize, Early::None}, {CmdFirmware, firmware::HandshakeReplySize, Early::FirmwareTen},
};

void exchange(const Operation& op, fuzz::Cursor& in) {
    std::array<Byte, ConfigFrameSize> reply{}; // the largest reply
    // Each receive takes one datagram; one that does not fit what is left of
    // the reply fails the receive, as it fails the socket's.
    const UdpServerContext::ReceiveOne receive = [&](Byte* into, std::size_t room, int& got) {
        got = 0;
        if (in.empty())
            return 1; // nothing came within the wait
        std::size_t length = in.byte();
        if (length == 0xFF)
            return 0;
        if (length == 0xFE)
            length = in.word() % 1200;
        const auto datagram = in.take(length);
        if (datagram.size() > room)
            return 0;
        std::copy(datagram.begin(), datagram.end(), into);
        got = int(datagram.size());
        return 1;
    };
    std::size_t collected = 0;
    const int got = UdpServerContext::collectReply(platform::Timing::real().receiveAttempts, receive, reply.data(),
                                                   op.replySize, op.early, collected);
    check(collected <= op.replySize);
    if (got != 1 || !replyAccepted(std::span<const Byte>(reply.data(), collected), op.command))
        return;

    switch (op.command) {
    case CmdSearch: {
        QuietReporter reporter;
        UdpServerContext ctx(loopback(), platform::Timing::fast(), reporter);
        ctx.settingsPath = "";
        ctx.addServer(reply.data(), platform::makeAddress(0x7F000001u, 13364));
        IdentityBlock id{};
        std::copy_n(reply.begin() + HeaderSize, IdentitySize, id.begin());
        showIdentity(id);
        break;
    }
    case CmdReadConfig: {
        ConfigFrame frame{};
        std::copy_n(reply.begin(), ConfigFrameSize, frame.begin());
        ConfigRecord other{};
        fill(in, other);
        showRecord(recordOf(frame), other);
        break;
    }
    case CmdStatus: {
        StatusBuffer s{};
        std::copy_n(reply.begin(), StatusBufferSize, s.begin());
        showStatus(s, in);
        break;
    }
    case CmdPrinterStatus: {
        PrinterStatusBuffer b{};
        std::copy_n(reply.begin(), PrinterStatusSize, b.begin());
        showPrinterStatus(b, in);
        break;
    }
    default:
        break; // the reply only confirms
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Cursor in(data, size);
    const Byte choice = in.byte();
    constexpr std::size_t Choices = std::size(Operations) + 1;
    if (choice % Choices == 0)
        discovery(in);
    else
        exchange(Operations[choice % Choices - 1], in);
    return 0;
}
