#include "sim/sim_box.h"

#include "platform/private_file.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>

namespace vnk::sim {

using namespace protocol;

void setText(ConfigRecord& rec, std::size_t offset, std::size_t width, const std::string& text) {
    const std::size_t n = std::min(text.size(), width);
    std::memcpy(rec.data() + offset, text.data(), n);
    if (n < width)
        rec[offset + n] = 0;
}

void setIPv4(ConfigRecord& rec, std::size_t offset, std::array<Byte, 4> a) {
    std::memcpy(rec.data() + offset, a.data(), 4);
}

void setHardware(ConfigRecord& rec, const MacAddress& mac, Byte portConfig, Byte capabilities, Byte modelCode,
                 Byte version, Byte revision) {
    std::memcpy(rec.data() + record::EthernetAddress, mac.data(), 6);
    rec[record::PortConfig] = portConfig;
    rec[record::Capabilities] = capabilities;
    rec[record::ModelCode] = modelCode;
    rec[record::Version] = version;
    rec[record::Revision] = revision;
}

// The state file: the record's bytes, then a line that says whether the flash
// holds firmware ("firmware=1\n" or "firmware=0\n"). A file of the record alone,
// as older simulators wrote it, leaves the firmware as the description says.
namespace {
constexpr const char* FirmwareLine = "firmware=";
constexpr std::size_t FirmwareLineSize = 11; // "firmware=1\n"
} // namespace

SimBox::SimBox(BoxSpec spec, std::string stateFile) : m_spec(std::move(spec)), m_stateFile(std::move(stateFile)) {
    m_record = m_spec.record;
    m_firmwarePresent = m_spec.firmwarePresent;
    if (!m_stateFile.empty()) {
        std::ifstream in(m_stateFile, std::ios::binary);
        ConfigRecord stored{};
        if (in.read(reinterpret_cast<char*>(stored.data()), std::streamsize(stored.size())) &&
            in.gcount() == std::streamsize(stored.size())) {
            m_record = stored;
            char tail[FirmwareLineSize + 1] = {};
            in.read(tail, std::streamsize(sizeof tail));
            const std::string line(tail, std::size_t(in.gcount()));
            if (line.size() == FirmwareLineSize && line.compare(0, 9, FirmwareLine) == 0 && line[10] == '\n' &&
                (line[9] == '0' || line[9] == '1'))
                m_firmwarePresent = line[9] == '1';
        } else {
            save();
        }
    }
    // The hardware does not change with what was written: a stored record keeps
    // the Ethernet address and capabilities the box was built with.
    std::memcpy(m_record.data() + record::EthernetAddress, m_spec.mac.data(), 6);
    setRecordChecksum(m_record);
    applyRecord();
}

void SimBox::save() const {
    if (m_stateFile.empty())
        return;
    // The record holds the mail account's password: the file is its owner's only,
    // and a simulator stopped halfway leaves the old state whole.
    std::string bytes(reinterpret_cast<const char*>(m_record.data()), m_record.size());
    bytes += FirmwareLine;
    bytes += m_firmwarePresent ? "1\n" : "0\n";
    platform::writeFilePrivately(m_stateFile, bytes);
}

void SimBox::setFirmwarePresent(bool present) {
    m_firmwarePresent = present;
    save();
}

void SimBox::storeRecord(const ConfigRecord& rec) {
    m_record = rec;
    save();
}

void SimBox::applyRecord() {
    m_activeName = fieldText(m_record, record::AliasName, 16);
    std::array<Byte, 4> ip{};
    std::memcpy(ip.data(), m_record.data() + record::IpAddress, 4);
    std::array<Byte, 4> mask{};
    std::memcpy(mask.data(), m_record.data() + record::SubnetMask, 4);
    if (ip == std::array<Byte, 4>{}) {
        ip = m_spec.dhcpAddress;
        mask = {255, 255, 255, 0};
    } else if (mask == std::array<Byte, 4>{}) {
        mask = {255, 255, 255, 0};
    }
    m_activeIp = ip;
    m_activeMask = mask;
}

void SimBox::setPrinter(int port, PrinterSpec p) {
    if (port < 1)
        return;
    if (m_spec.printers.size() < std::size_t(port))
        m_spec.printers.resize(std::size_t(port));
    m_spec.printers[std::size_t(port - 1)] = std::move(p);
}

IdentityBlock SimBox::identity() const {
    IdentityBlock id{};
    std::memcpy(id.data() + identity::DeviceName, m_spec.deviceName.data(),
                std::min<std::size_t>(m_spec.deviceName.size(), identity::DeviceNameWidth));
    const std::size_t n = std::min<std::size_t>(m_activeName.size(), identity::ServerNameWidth - 1);
    std::memcpy(id.data() + identity::ServerName, m_activeName.data(), n);
    id[identity::UpgradeState] = m_upgradeState;
    id[identity::Vendor] = m_spec.vendor;
    id[identity::DeviceType] = m_spec.deviceType;
    id[identity::ServerType] = m_spec.serverType;
    id[identity::Flags] = m_spec.flags61;
    id[identity::FirmwarePresent] = m_firmwarePresent ? 1 : 0;
    id[identity::Features] = m_spec.features65;
    return id;
}

Byte SimBox::replyMark(Byte command) const {
    return command == CmdWriteConfig && m_spec.faults.refuseWrites ? 0 : 1;
}

std::vector<Byte> SimBox::header(Byte command, Framing framing) const {
    const Byte mark = replyMark(command);
    if (framing == Framing::Ipx)
        return {mark, command, 0xFF, Byte(0xFF - command)};
    std::vector<Byte> h(HeaderSize);
    std::memcpy(h.data(), m_spec.mac.data(), 6);
    h[6] = mark;
    h[7] = command;
    h[8] = 0xFF;
    h[9] = Byte(0xFF - command);
    return h;
}

StatusBuffer SimBox::statusReply() const {
    StatusBuffer b{};
    auto put = [&](std::size_t recordOffset, Byte v) { b[HeaderSize + recordOffset] = v; };
    auto put4 = [&](std::size_t recordOffset, const Byte* v) { std::memcpy(&b[HeaderSize + recordOffset], v, 4); };
    put(0, m_spec.frameType);
    // The NetWare side, and a queue block per port (flag, file server, queue)
    // whose last byte is the port's state.
    const NetwareStatus& nw = m_spec.netware;
    put(1, nw.loggedInToPrimary ? 1 : 0);
    put4(2, nw.network.data());
    if (!nw.loggedInTo.empty()) {
        put(7, 1);
        std::memcpy(&b[HeaderSize + 8], nw.loggedInTo.data(), std::min<std::size_t>(nw.loggedInTo.size(), 47));
    }
    for (std::size_t k = 0; k < nw.queues.size(); ++k) {
        if (!nw.queues[k])
            continue;
        const std::size_t block = HeaderSize + 62 + 99 * k;
        b[block] = 1;
        std::memcpy(&b[block + 2], nw.queues[k]->fileServer.data(),
                    std::min<std::size_t>(nw.queues[k]->fileServer.size(), 47));
        std::memcpy(&b[block + 50], nw.queues[k]->queue.data(), std::min<std::size_t>(nw.queues[k]->queue.size(), 47));
    }
    put(6, m_spec.portStates[0]);
    put(160, m_spec.portStates[1]);
    put(259, m_spec.portStates[2]);
    put4(58, m_activeIp.data());
    const Byte caps = m_record[record::Capabilities];
    const Byte opts = m_record[record::OptionFlags];
    put(358, (caps & record::CapNetBeui) && (opts & record::OptNetBeui) ? 2 : 0);
    put4(359, m_activeMask.data());
    put(457, m_spec.speedCode);
    const Byte mode = m_record[record::DhcpMode];
    const bool dhcpRunning = (caps & record::CapDhcpServer) && mode == 1;
    put(458, dhcpRunning ? 1 : 0);
    if (caps & record::CapDhcpServer) {
        put4(459, &m_record[record::DhcpStart]);
        put4(465, &m_record[record::DhcpGateway]);
        put4(469, &m_record[record::DhcpNetmask]);
        put4(473, &m_record[record::DhcpDns]);
        Byte next[4];
        std::memcpy(next, &m_record[record::DhcpStart], 4);
        if (dhcpRunning && next[3] < 255)
            ++next[3]; // one lease handed out
        put4(477, next);
    }
    return b;
}

// What follows the header of a printer status reply (406 bytes): the port index,
// the display length, the display area up to offset 204, the identification
// length and its items from 208 to the end.
std::vector<Byte> SimBox::printerStatusPayload(std::uint16_t index) const {
    constexpr std::size_t Size = PrinterStatusSize - HeaderSize;
    constexpr std::size_t DisplayAt = 4, IdLengthAt = 204, ItemsAt = 208;
    std::vector<Byte> r(Size, 0);
    putLE16(r, 0, m_spec.faults.wrongPrinterIndex ? std::uint16_t(index + 1) : index);
    PrinterSpec p;
    if (index < m_spec.printers.size())
        p = m_spec.printers[index];
    const std::size_t l1 = std::min<std::size_t>(p.display.size(), IdLengthAt - DisplayAt);
    std::memcpy(&r[DisplayAt], p.display.data(), l1);
    putLE16(r, 2, p.displayLength.value_or(std::uint16_t(l1)));
    const std::size_t items = std::min<std::size_t>(p.identification.size(), Size - ItemsAt);
    std::memcpy(&r[ItemsAt], p.identification.data(), items);
    putLE16(r, IdLengthAt, p.identificationLength.value_or(std::uint16_t(items ? items + 2 : 0)));
    return r;
}

void SimBox::tick(Clock::time_point now) {
    if (m_restartUntil && now >= *m_restartUntil) {
        m_restartUntil.reset();
        applyRecord();
        if (!m_firmwareRestart)
            ++resets;
        m_firmwareRestart = false;
    }
}

bool SimBox::takeTransferStart() {
    const bool started = m_transferStarted;
    m_transferStarted = false;
    return started;
}

std::vector<Reply> SimBox::firmwareDue(Clock::time_point now) {
    std::vector<Reply> out;
    if (m_spec.faults.silent || restarting(now))
        return out;
    const Framing framing = m_receiver.framing();
    for (std::uint16_t number : m_receiver.due(now, m_spec.faults.firmwareStopAfter)) {
        std::vector<Byte> r = header(CmdFirmware, framing);
        r.resize(r.size() + 2);
        putLE16(r, r.size() - 2, number);
        out.push_back(Reply{std::move(r)});
    }
    return out;
}

std::vector<Reply> SimBox::firmwareData(std::span<const Byte> datagram, Clock::time_point now, Framing framing) {
    tick(now);
    if (m_spec.faults.silent || restarting(now))
        return {};
    if (m_receiver.receive(datagram, m_spec.mac, now, framing)) {
        // The new firmware runs after a restart; it is in the flash now.
        m_firmwarePresent = true;
        save();
        m_upgradeMode = false;
        m_upgradeState = 1;
        m_firmwareRestart = true;
        m_restartUntil = now + m_spec.restartDelay;
        return {};
    }
    return firmwareDue(now);
}

namespace {

// The length of the data after the header that a request of each command must
// have; nothing for a code the box does not know. Only the test print differs
// between the framings: over IPX it carries the port parameter and filler.
std::optional<std::size_t> requestDataLength(Byte command, Framing framing) {
    switch (command) {
    case CmdReset:
    case CmdReadConfig:
    case CmdSearch:
    case CmdStatus:
    case CmdFirmware: // the upgrade handshake is the header alone
        return 0;
    case CmdTestPrint:
        return framing == Framing::Udp ? 0 : ipx::TestPrintRequestSize - ipx::HeaderSize;
    case CmdWriteConfig:
        return RecordSize;
    case CmdPrinterStatus:
        return PrinterStatusRequestSize - HeaderSize;
    default:
        return std::nullopt;
    }
}

// A request (0 at the direction byte), the command, FF and the command's
// complement, and the command's length.
bool wellFormedRequest(std::span<const Byte> req, Framing framing) {
    const std::size_t h = framing == Framing::Udp ? HeaderSize : ipx::HeaderSize;
    const std::size_t dir = h - 4;
    if (req.size() < h || req[dir] != 0)
        return false;
    const Byte cmd = req[dir + 1];
    const auto length = requestDataLength(cmd, framing);
    return req[dir + 2] == 0xFF && req[dir + 3] == Byte(0xFF - cmd) && length && req.size() == h + *length;
}

} // namespace

std::vector<Reply> SimBox::handle(std::span<const Byte> req, Clock::time_point now) {
    tick(now);
    // A malformed request (wrong length for its command, or bytes 8-9 other than
    // FF and the command's complement) gets no answer.
    if (m_spec.faults.udpSilent || !wellFormedRequest(req, Framing::Udp))
        return {};
    const Byte cmd = req[7];
    const bool toMe = std::equal(m_spec.mac.begin(), m_spec.mac.end(), req.begin());
    const bool toAll = std::equal(BroadcastMac.begin(), BroadcastMac.end(), req.begin());
    if (!toMe && !toAll)
        return {};
    auto payload = answer(cmd, req.subspan(HeaderSize), !toMe, Framing::Udp, now);
    if (!payload)
        return {};
    std::vector<Byte> r = header(cmd, Framing::Udp);
    r.insert(r.end(), payload->begin(), payload->end());
    return {Reply{std::move(r)}};
}

std::vector<Reply> SimBox::handleIpx(std::span<const Byte> req, bool toAllNodes, Clock::time_point now) {
    tick(now);
    if (!wellFormedRequest(req, Framing::Ipx))
        return {};
    const Byte cmd = req[1];
    auto payload = answer(cmd, req.subspan(ipx::HeaderSize), toAllNodes, Framing::Ipx, now);
    if (!payload)
        return {};
    std::vector<Byte> r = header(cmd, Framing::Ipx);
    r.insert(r.end(), payload->begin(), payload->end());
    return {Reply{std::move(r)}};
}

std::string SimBox::netbiosName() const {
    return fieldText(identity(), identity::DeviceName, identity::DeviceNameWidth) + ".CFG";
}

std::vector<Reply> SimBox::handleNetbios(std::span<const Byte> req, bool toGroup, Clock::time_point now) {
    tick(now);
    constexpr std::size_t h = netbios::HeaderSize;
    if (req.size() < h || req[0] != 'P' || req[1] != 'S' || req[2] != netbios::RequestMark || req[4] != 0)
        return {};
    const Byte cmd = req[5];
    if (cmd == CmdTestPrint || cmd == CmdFirmware)
        return {};
    const auto length = requestDataLength(cmd, Framing::Udp);
    if (req[6] != 0xFF || req[7] != Byte(0xFF - cmd) || !length || req.size() != h + *length)
        return {};
    auto payload = answer(cmd, req.subspan(h), toGroup, Framing::Udp, now);
    if (!payload)
        return {};
    std::vector<Byte> r = {'P', 'S', netbios::ReplyMark, req[3], replyMark(cmd), cmd, 0xFF, Byte(0xFF - cmd)};
    r.insert(r.end(), payload->begin(), payload->end());
    return {Reply{std::move(r)}};
}

std::optional<std::vector<Byte>> SimBox::answer(Byte cmd, std::span<const Byte> data, bool broadcast,
                                                Framing framing, Clock::time_point now) {
    if (m_spec.faults.silent || restarting(now))
        return std::nullopt;
    if (broadcast && cmd != CmdSearch)
        return std::nullopt;
    if (std::find(m_spec.faults.ignore.begin(), m_spec.faults.ignore.end(), int(cmd)) != m_spec.faults.ignore.end())
        return std::nullopt;
    if (m_spec.isPc && cmd != CmdSearch)
        return std::nullopt;

    std::vector<Byte> r;
    switch (cmd) {
    case CmdSearch: {
        IdentityBlock id = identity();
        // Over IPX a box that waits for a transfer clears byte 64 of its reply,
        // as over UDP: there that is identity byte 60, and byte 54 stays as it is.
        if (framing == Framing::Ipx && m_upgradeState == 0) {
            id[identity::ServerType] = 0;
            id[identity::UpgradeState] = 1;
        }
        r.assign(id.begin(), id.end());
        break;
    }
    case CmdReadConfig:
        r.assign(m_record.begin(), m_record.end());
        break;
    case CmdWriteConfig: {
        // Over IPX the checksum byte covers the header too, whose four bytes
        // XOR to 0: the same test as over UDP.
        ConfigRecord incoming{};
        std::memcpy(incoming.data(), data.data(), RecordSize);
        if (recordChecksum(incoming) != incoming[ChecksumOffset]) {
            ++badChecksumWrites; // the box refuses a damaged record and says nothing
            return std::nullopt;
        }
        if (m_spec.faults.refuseWrites)
            break; // its memory does not take the record: the reply says so
        // The box keeps what identifies its hardware whatever the tool sends.
        std::memcpy(incoming.data() + record::EthernetAddress, m_spec.mac.data(), 6);
        incoming[record::PortConfig] = m_record[record::PortConfig];
        incoming[record::Capabilities] = m_record[record::Capabilities];
        setRecordChecksum(incoming);
        m_record = incoming;
        save();
        ++writes;
        break;
    }
    case CmdReset:
        m_restartUntil = now + m_spec.restartDelay;
        break;
    case CmdStatus: {
        const StatusBuffer s = statusReply();
        r.assign(s.begin() + HeaderSize, s.end());
        if (m_spec.faults.badStatusAfter66)
            r.resize(StatusMinimumReply - HeaderSize);
        break;
    }
    case CmdTestPrint:
        ++testPrints;
        lastTestPrintRequestSize = (framing == Framing::Udp ? HeaderSize : ipx::HeaderSize) + data.size();
        break;
    case CmdPrinterStatus:
        r = printerStatusPayload(getLE16(data, 0));
        break;
    case CmdFirmware: {
        m_receiver.noteHandshake();
        r.assign(m_spec.firmware.handshakeReplySize == 10 ? 0 : 2, 0);
        if (m_firmwarePresent && !m_upgradeMode) {
            // Stop the running firmware and wait for the transfer.
            m_upgradeMode = true;
            if (m_spec.firmware.reportsUpgradeMode)
                m_upgradeState = 0;
        } else {
            m_firmwarePresent = false; // the flash is erased as the transfer starts
            save();
            m_upgradeMode = false;
            m_upgradeState = 0;
            m_receiver.start(m_spec.firmware, now, framing, m_spec.faults.firmwareRepeat);
            m_transferStarted = true;
        }
        break;
    }
    default:
        return std::nullopt;
    }
    return r;
}

} // namespace vnk::sim
