#include "protocol/status_record.h"

#include <algorithm>
#include <string_view>

namespace vnk::protocol {

namespace {

// The record part of the status buffer; offsets below count from its first byte.
std::span<const Byte> recordPart(const StatusBuffer& s) {
    return std::span<const Byte>(s).subspan(HeaderSize);
}

Byte at(const StatusBuffer& s, std::size_t offset) { return recordPart(s)[offset]; }

std::string dottedIn(const StatusBuffer& s, std::size_t offset) { return dottedAt(recordPart(s), offset); }

// Each count has two bits in the port configuration byte.
int portCount(int n) { return std::clamp(n, 0, 3); }

constexpr std::string_view DisplayKey = "DISPLAY=";

} // namespace

Byte frameTypeCode(const StatusBuffer& s) { return at(s, status::FrameType); }
bool primaryLoggedIn(const StatusBuffer& s) { return at(s, status::PrimaryLogin) & 0x01; }
bool fileServerLoggedIn(const StatusBuffer& s) { return at(s, status::FileServerLogin) & 0x01; }

std::array<Byte, 4> ipxNetwork(const StatusBuffer& s) {
    std::array<Byte, 4> n{};
    for (std::size_t i = 0; i < 4; ++i)
        n[i] = at(s, status::IpxNetwork + i);
    return n;
}

std::string loggedInFileServer(const StatusBuffer& s) {
    return fieldText(recordPart(s), status::FileServerName, status::FileServerNameWidth);
}

std::string activeIp(const StatusBuffer& s) { return dottedIn(s, status::ActiveIp); }
std::string maskInUse(const StatusBuffer& s) { return dottedIn(s, status::MaskInUse); }
Byte netbeuiState(const StatusBuffer& s) { return at(s, status::NetBeuiState); }
Byte speedCode(const StatusBuffer& s) { return at(s, status::SpeedCode); }
Byte dhcpServerState(const StatusBuffer& s) { return at(s, status::DhcpState); }
std::string dhcpStart(const StatusBuffer& s) { return dottedIn(s, status::DhcpStart); }
std::string dhcpGateway(const StatusBuffer& s) { return dottedIn(s, status::DhcpGateway); }
std::string dhcpNetmask(const StatusBuffer& s) { return dottedIn(s, status::DhcpNetmask); }
std::string dhcpDns(const StatusBuffer& s) { return dottedIn(s, status::DhcpDns); }
std::string dhcpNext(const StatusBuffer& s) { return dottedIn(s, status::DhcpNext); }

std::optional<std::size_t> portStateOffset(int port) {
    if (port < 1)
        return std::nullopt;
    if (port == 1)
        return status::FirstPortState;
    const std::size_t steps = std::size_t(port - 2);
    if (steps > (status::RecordCapacity - 1 - status::SecondPortState) / status::QueueBlockStride)
        return std::nullopt;
    return status::SecondPortState + status::QueueBlockStride * steps;
}

std::optional<Byte> portStateByte(const StatusBuffer& s, int port) {
    const auto offset = portStateOffset(port);
    if (!offset)
        return std::nullopt;
    return at(s, *offset);
}

std::optional<QueueBlock> queueBlock(const StatusBuffer& s, int k) {
    if (k < 0)
        return std::nullopt;
    const std::size_t steps = std::size_t(k);
    // The attached flag at least must lie inside the record.
    if (steps > (status::RecordCapacity - status::QueueBlocks - 2) / status::QueueBlockStride)
        return std::nullopt;
    const std::size_t start = status::QueueBlocks + status::QueueBlockStride * steps;
    const auto rec = recordPart(s);
    QueueBlock b;
    b.attached = getLE16(rec, start);
    // fieldText stops at the end of the record for the block that runs past it.
    b.fileServer = fieldText(rec, start + 2, status::QueueNameWidth);
    b.queue = fieldText(rec, start + 2 + status::QueueNameWidth, status::QueueNameWidth);
    return b;
}

std::string frameTypeText(Byte code, bool tcpipCapable, bool tcpipEnabled) {
    static constexpr const char* Names[] = {"802.2", "802.3", "Ethernet_II", "Ethernet SNAP"};
    const bool tcpip = tcpipCapable && tcpipEnabled;
    if (code <= 3) {
        std::string s = Names[code];
        if (tcpip && code != 2)
            s += " & Ethernet_II";
        return s;
    }
    return tcpip ? "Ethernet_II" : "Unknown";
}

std::string protocolSupportText(Byte capabilities, Byte identityFlags) {
    std::string s = (capabilities & record::CapIpxWithoutNds) ? "IPX/SPX" : "IPX/SPX/NDS";
    if (capabilities & record::CapTcpIp) {
        s += " & TCP/IP";
        if (identityFlags & 0x01)
            s += " & SNMP";
    }
    if (capabilities & record::CapNetBeui)
        s += " & NetBEUI";
    return s;
}

std::string networkSpeedText(Byte code, bool speedTextNonEmpty, int parallelPortCount) {
    switch (code) {
    case 1:
        return "10M";
    case 2:
        return "100M";
    case 3:
        return "10/100M";
    default:
        return (speedTextNonEmpty || parallelPortCount >= 2) ? "10/100 M" : "10M";
    }
}

std::string netbeuiText(Byte state, bool netbeuiCapable) {
    if (!netbeuiCapable)
        return "N/A";
    switch (state) {
    case 0:
        return "Inactive";
    case 1:
        return "Name conflict";
    case 2:
        return "Active";
    default:
        return "";
    }
}

std::string diagnosticText(Byte optionFlags) {
    return (optionFlags & record::OptDiagnostic) ? "Enable" : "Disable";
}

std::string portStateWord(Byte state) {
    static constexpr const char* Words[] = {"Ready", "Off Line", "Paper Out", "Running"};
    return Words[state & 3];
}

std::string portName(int row, int parallelPortCount) {
    if (row < parallelPortCount)
        return "LPT" + std::to_string(row + 1);
    return "COM" + std::to_string(row - parallelPortCount + 1);
}

DeviceStatusFields deviceStatusFields(const IdentityBlock& id, std::span<const Byte, RecordSize> rec,
                                      const StatusBuffer& s, int parallelPortCount) {
    const Byte caps = rec[record::Capabilities];
    const Byte options = rec[record::OptionFlags];
    DeviceStatusFields f;
    f.deviceName = deviceName(id);
    f.aliasName = serverName(id);
    f.ethernetId = macText(rec.subspan(record::EthernetAddress, 6));
    f.frameType = frameTypeText(frameTypeCode(s), caps & record::CapTcpIp, options & record::OptTcpIp);
    f.activeIp = activeIp(s);
    f.netbeui = netbeuiText(netbeuiState(s), caps & record::CapNetBeui);
    f.protocolSupport = protocolSupportText(caps, id[identity::Flags]);
    f.diagnosticPrintOut = diagnosticText(options);
    f.networkSpeed = networkSpeedText(speedCode(s), rec[record::SpeedText] != 0, parallelPortCount);
    return f;
}

PrinterStatusInfo parsePrinterStatus(const PrinterStatusBuffer& reply, int askedIndex, const std::string& stateWord) {
    namespace ps = printer_status;
    PrinterStatusInfo info;
    info.column2 = stateWord;
    if (askedIndex < 0 || getLE16(reply, ps::PortIndex) != askedIndex)
        return info;

    // Both lengths come from the box; the reply is only read, never written.
    // The display area ends where the identification length begins (214), so
    // L1 counts at most 200 bytes: a larger L1 neither reads past the display
    // area nor lets the search run into the identification area.
    const std::size_t l1 = getLE16(reply, ps::DisplayLength);
    if (l1 != 0) {
        const std::size_t end = ps::DisplayArea + std::min(l1, ps::IdentLength - ps::DisplayArea);
        std::string_view area;
        if (end > ps::DisplaySearch)
            area = std::string_view(reinterpret_cast<const char*>(reply.data()) + ps::DisplaySearch,
                                    end - ps::DisplaySearch);
        area = area.substr(0, area.find('\0')); // the display text ends at its first NUL
        std::size_t value = area.find(DisplayKey);
        if (value != std::string_view::npos) {
            value += DisplayKey.size();
            const std::size_t second = area.find(DisplayKey, value);
            if (second != std::string_view::npos)
                value = second + DisplayKey.size();
            std::string text;
            for (std::size_t i = value; i < area.size(); ++i) {
                const unsigned char c = static_cast<unsigned char>(area[i]);
                if (c < 0x20 || c > 0x7E)
                    break;
                text.push_back(char(c));
            }
            info.column2 = text;
            info.display = std::move(text);
        }
    }

    // The identification area runs to the end of the reply at most.
    const std::size_t l2 = getLE16(reply, ps::IdentLength);
    if (l2 != 0) {
        const std::size_t end = ps::IdentArea + std::min(l2, PrinterStatusSize - ps::IdentArea);
        std::string item;
        // The identification text ends at its first NUL; characters after the
        // last ';' are dropped.
        for (std::size_t i = ps::IdentItems; i < end && reply[i] != 0; ++i) {
            const Byte c = reply[i];
            if (c == ';') {
                info.identificationItems.push_back(item);
                item.clear();
            } else if (item.size() < ps::MaxIdentificationItem) {
                item.push_back(char(c));
            }
        }
    }
    return info;
}

std::vector<PrinterPortStatus> printerPortStatuses(const StatusBuffer& s, int parallelPortCount,
                                                   int serialPortCount, bool extendedPrinterStatus,
                                                   const PrinterStatusFetch& fetch) {
    const int parallel = portCount(parallelPortCount);
    const int n = parallel + portCount(serialPortCount);
    std::vector<PrinterPortStatus> ports;
    for (int i = 0; i < n; ++i) {
        const auto state = portStateByte(s, i + 1);
        PrinterPortStatus& p = ports.emplace_back();
        p.port = portName(i, parallel);
        p.state = state ? portStateWord(*state) : std::string();
        if (!extendedPrinterStatus)
            continue;
        const PrinterStatusBuffer* reply = fetch ? fetch(i) : nullptr;
        if (!reply)
            continue; // the state word stays
        PrinterStatusInfo info = parsePrinterStatus(*reply, i, p.state);
        p.display = std::move(info.display);
        p.identification = std::move(info.identificationItems);
    }
    return ports;
}

std::vector<PrinterStatusRow> printerStatusRows(const StatusBuffer& s, int parallelPortCount, int serialPortCount,
                                                bool extendedPrinterStatus, const PrinterStatusFetch& fetch) {
    std::vector<PrinterStatusRow> rows;
    for (auto& p : printerPortStatuses(s, parallelPortCount, serialPortCount, extendedPrinterStatus, fetch)) {
        rows.push_back({p.port, p.display.value_or(p.state)});
        for (auto& item : p.identification)
            rows.push_back({" ", std::move(item)});
    }
    return rows;
}

} // namespace vnk::protocol
