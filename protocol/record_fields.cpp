#include "protocol/record_fields.h"

#include <array>
#include <bit>
#include <charconv>

namespace vnk::protocol {

namespace {

namespace r = record;

constexpr FieldDef text(const char* name, std::size_t offset, std::size_t width, const char* description,
                        bool readOnly = false) {
    return {name, offset, width, FieldKind::Text, 0, readOnly, 0, 0, description};
}
constexpr FieldDef fillText(const char* name, std::size_t offset, std::size_t width, const char* description) {
    return {name, offset, width, FieldKind::TextFillWidth, 0, false, 0, 0, description};
}
constexpr FieldDef treeName(const char* name, std::size_t offset, std::size_t width, const char* description) {
    return {name, offset, width, FieldKind::TreeName, 0, false, 0, 0, description};
}
constexpr FieldDef ipv4(const char* name, std::size_t offset, const char* description) {
    return {name, offset, 4, FieldKind::IPv4, 0, false, 0, 0, description};
}
constexpr FieldDef number8(const char* name, std::size_t offset, unsigned lo, unsigned hi, const char* description,
                           bool readOnly = false) {
    return {name, offset, 1, FieldKind::Number8, 0, readOnly, lo, hi, description};
}
constexpr FieldDef number16(const char* name, std::size_t offset, const char* description) {
    return {name, offset, 2, FieldKind::Number16, 0, false, 0, 0xFFFF, description};
}
constexpr FieldDef flag(const char* name, std::size_t offset, Byte mask, const char* description,
                        bool readOnly = false) {
    return {name, offset, 1, FieldKind::FlagBit, mask, readOnly, 0, 1, description};
}
constexpr FieldDef bits(const char* name, std::size_t offset, Byte mask, const char* description) {
    return {name, offset, 1, FieldKind::Bits, mask, true, 0, 0, description};
}
constexpr FieldDef mac(const char* name, std::size_t offset, const char* description) {
    return {name, offset, 6, FieldKind::Mac, 0, true, 0, 0, description};
}

constexpr std::size_t mailBlock(int port) { return r::MailBlocks + r::MailBlockSize * std::size_t(port - 1); }

constexpr bool RO = true;

constexpr std::array Fields{
    mac("ethernet_address", r::EthernetAddress, "Ethernet address of the print server"),
    number8("port_config", r::PortConfig, 0, 255, "port configuration: bits 0-1 parallel, bits 2-3 serial ports", RO),
    bits("parallel_ports", r::PortConfig, 0x03, "number of parallel ports (LPT1 upward)"),
    bits("serial_ports", r::PortConfig, 0x0C, "number of serial ports (COM1 upward)"),
    text("alias_name", r::AliasName, 16, "alias name (at most 15 characters)"),
    text("snmp_contact", r::SnmpContact, 16, "SNMP system contact"),
    text("snmp_location", r::SnmpLocation, 16, "SNMP system location"),
    flag("netware_off", r::OptionFlags, r::OptNetwareOff, "NetWare support switched off"),
    flag("tcpip", r::OptionFlags, r::OptTcpIp, "TCP/IP enabled"),
    flag("remote_printer_mode", r::OptionFlags, r::OptRemotePrinter, "NetWare remote printer mode"),
    flag("netbeui", r::OptionFlags, r::OptNetBeui, "NetBEUI enabled"),
    flag("appletalk", r::OptionFlags, r::OptAppleTalk, "AppleTalk enabled"),
    flag("diagnostic_printout", r::OptionFlags, r::OptDiagnostic, "diagnostic print out enabled"),
    number8("netware_polling", r::NetwarePolling, 2, 99, "NetWare polling interval in seconds (2-99)"),
    text("netware_file_server", r::NetwareFileServer, 48, "NetWare file server name (bindery mode)"),
    treeName("nds_tree", r::NdsTree, 48, "NDS tree name (stored padded with \"_\" to 32 characters)"),
    text("nds_context", r::NdsContext, 16, "NDS context"),
    text("appletalk_zone", r::AppleTalkZone, 16, "AppleTalk zone name"),
    text("appletalk_type1", r::AppleTalkType1, 32, "AppleTalk printer type of port 1"),
    text("appletalk_type2", r::AppleTalkType1 + 32, 32, "AppleTalk printer type of port 2"),
    text("appletalk_type3", r::AppleTalkType1 + 64, 32, "AppleTalk printer type of port 3"),
    text("netware_print_server", r::NetwarePrintServer, 48, "NetWare print server name (remote printer mode)"),
    text("speed_text", r::SpeedText, 32, "network speed text reported by the box", RO),
    text("smb_group", r::SmbGroup, 16, "SMB group name"),
    flag("mail_header_lpt1", r::PrintFlags, 0x01, "print mail header on LPT1"),
    flag("mail_header_lpt2", r::PrintFlags, 0x02, "print mail header on LPT2"),
    flag("mail_header_lpt3", r::PrintFlags, 0x04, "print mail header on LPT3"),
    flag("mail_all_lpt1", r::PrintFlags, 0x10, "print all mails on LPT1"),
    flag("mail_all_lpt2", r::PrintFlags, 0x20, "print all mails on LPT2"),
    flag("mail_all_lpt3", r::PrintFlags, 0x40, "print all mails on LPT3"),
    flag("abort_on_error", r::PrintFlags, 0x80, "abort the job on a print error (SMB printing)"),
    number8("mail_polling", r::MailPolling, 1, 127, "mail polling time in minutes (1-127)"),
    ipv4("mail1_server", mailBlock(1), "mail server of LPT1"),
    fillText("mail1_account", mailBlock(1) + 4, 8, "mail account of LPT1 (at most 8 characters)"),
    fillText("mail1_password", mailBlock(1) + 12, 8, "mail password of LPT1 (at most 8 characters)"),
    ipv4("mail2_server", mailBlock(2), "mail server of LPT2"),
    fillText("mail2_account", mailBlock(2) + 4, 8, "mail account of LPT2 (at most 8 characters)"),
    fillText("mail2_password", mailBlock(2) + 12, 8, "mail password of LPT2 (at most 8 characters)"),
    ipv4("mail3_server", mailBlock(3), "mail server of LPT3"),
    fillText("mail3_account", mailBlock(3) + 4, 8, "mail account of LPT3 (at most 8 characters)"),
    fillText("mail3_password", mailBlock(3) + 12, 8, "mail password of LPT3 (at most 8 characters)"),
    ipv4("dhcp_start", r::DhcpStart, "DHCP server: starting IP address"),
    number16("dhcp_range", r::DhcpRange, "DHCP server: number of addresses to hand out (0 = not set)"),
    ipv4("dhcp_gateway", r::DhcpGateway, "DHCP server: gateway handed out"),
    ipv4("dhcp_netmask", r::DhcpNetmask, "DHCP server: netmask handed out"),
    ipv4("dhcp_dns", r::DhcpDns, "DHCP server: DNS server handed out"),
    number8("dhcp_mode", r::DhcpMode, 0, 2, "DHCP server start-up mode: 0 Auto, 1 Enable, 2 Disable"),
    flag("cap_tcpip", r::Capabilities, r::CapTcpIp, "capability: TCP/IP", RO),
    flag("cap_appletalk", r::Capabilities, r::CapAppleTalk, "capability: AppleTalk", RO),
    flag("cap_smb", r::Capabilities, r::CapSmb, "capability: SMB", RO),
    flag("cap_dhcp_server", r::Capabilities, r::CapDhcpServer, "capability: DHCP server", RO),
    flag("cap_mail", r::Capabilities, r::CapMailAndGateway, "capability: mail printing, gateway and subnet mask", RO),
    flag("cap_netbeui", r::Capabilities, r::CapNetBeui, "capability: NetBEUI", RO),
    flag("cap_ipx_without_nds", r::Capabilities, r::CapIpxWithoutNds, "capability: IPX without NDS", RO),
    flag("cap_remote_printer", r::Capabilities, r::CapRemotePrinter, "capability: NetWare remote printer mode", RO),
    ipv4("subnet_mask", r::SubnetMask, "subnet mask of the print server"),
    ipv4("gateway", r::Gateway, "default gateway of the print server"),
    ipv4("ip_address", r::IpAddress, "IP address of the print server (0.0.0.0 = automatic)"),
    number8("model_code", r::ModelCode, 0, 255, "model code", RO),
    number8("version", r::Version, 0, 255, "firmware version byte", RO),
    number8("revision", r::Revision, 0, 255, "firmware revision byte", RO),
    number8("remote_lpt1", r::RemotePrinters, 0, 255, "NetWare remote printer number of LPT1"),
    number8("remote_lpt2", r::RemotePrinters + 1, 0, 255, "NetWare remote printer number of LPT2"),
    number8("remote_lpt3", r::RemotePrinters + 2, 0, 255, "NetWare remote printer number of LPT3"),
    number8("remote_com1", r::RemotePrinters + 3, 0, 255, "NetWare remote printer number of COM1"),
};

// No field may reach the checksum byte: it is computed, never assigned.
constexpr bool fieldsInsideRecord() {
    for (const auto& f : Fields)
        if (f.offset + f.width > ChecksumOffset)
            return false;
    return true;
}
static_assert(fieldsInsideRecord());

char lower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

bool equalsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i]))
            return false;
    return true;
}

// Decimal digits only, no sign, no blanks.
std::optional<unsigned long long> parseDecimal(std::string_view s) {
    if (s.empty())
        return std::nullopt;
    for (char c : s)
        if (c < '0' || c > '9')
            return std::nullopt;
    unsigned long long v = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || end != s.data() + s.size())
        return std::nullopt; // too large for any field
    return v;
}

// A strict dotted quad: four decimal parts of one to three digits, each 0-255.
std::optional<std::array<Byte, 4>> parseDottedQuad(std::string_view s) {
    std::array<Byte, 4> out{};
    for (std::size_t part = 0; part < 4; ++part) {
        const std::size_t dot = s.find('.');
        const std::string_view piece = part < 3 ? s.substr(0, dot) : s;
        if (part < 3 && dot == std::string_view::npos)
            return std::nullopt;
        if (piece.empty() || piece.size() > 3)
            return std::nullopt;
        const auto v = parseDecimal(piece);
        if (!v || *v > 255)
            return std::nullopt;
        out[part] = Byte(*v);
        if (part < 3)
            s.remove_prefix(dot + 1);
    }
    return out;
}

std::optional<bool> parseFlag(std::string_view s) {
    if (s == "1" || equalsNoCase(s, "on") || equalsNoCase(s, "true"))
        return true;
    if (s == "0" || equalsNoCase(s, "off") || equalsNoCase(s, "false"))
        return false;
    return std::nullopt;
}

std::size_t maxTextLength(const FieldDef& f) {
    return f.kind == FieldKind::TextFillWidth ? f.width : f.width - 1;
}

constexpr std::size_t TreePaddedLength = 32;

} // namespace

std::span<const FieldDef> allFields() { return Fields; }

const FieldDef* findField(std::string_view name) {
    for (const auto& f : Fields)
        if (equalsNoCase(name, f.name))
            return &f;
    return nullptr;
}

std::string readField(const FieldDef& f, std::span<const Byte, RecordSize> rec) {
    switch (f.kind) {
    case FieldKind::Text:
    case FieldKind::TextFillWidth:
        return fieldText(rec, f.offset, f.width);
    case FieldKind::TreeName:
        return ndsTreeName(rec);
    case FieldKind::IPv4:
        return dottedAt(rec, f.offset);
    case FieldKind::Number8:
        return std::to_string(rec[f.offset]);
    case FieldKind::Number16:
        return std::to_string(getLE16(rec, f.offset));
    case FieldKind::FlagBit:
        return (rec[f.offset] & f.mask) ? "1" : "0";
    case FieldKind::Bits:
        return std::to_string((rec[f.offset] & f.mask) >> std::countr_zero(unsigned(f.mask)));
    case FieldKind::Mac:
        return macText(rec.subspan(f.offset, 6));
    }
    return {};
}

std::optional<std::string> checkField(const FieldDef& f, std::string_view value) {
    const std::string name = f.name;
    if (f.readOnly || f.kind == FieldKind::Mac || f.kind == FieldKind::Bits)
        return name + ": read only, set by the print server";
    switch (f.kind) {
    case FieldKind::Text:
    case FieldKind::TextFillWidth:
    case FieldKind::TreeName:
        if (value.find('\0') != std::string_view::npos)
            return name + ": a text cannot hold a NUL character";
        if (value.size() > maxTextLength(f))
            return name + ": at most " + std::to_string(maxTextLength(f)) + " characters";
        return std::nullopt;
    case FieldKind::IPv4:
        if (!parseDottedQuad(value))
            return name + ": not a dotted IPv4 address (four numbers 0-255)";
        return std::nullopt;
    case FieldKind::Number8:
    case FieldKind::Number16: {
        const auto v = parseDecimal(value);
        if (!v || *v < f.minValue || *v > f.maxValue)
            return name + ": a number from " + std::to_string(f.minValue) + " to " + std::to_string(f.maxValue);
        return std::nullopt;
    }
    case FieldKind::FlagBit:
        if (!parseFlag(value))
            return name + ": 0 or 1 (on/off, true/false)";
        return std::nullopt;
    case FieldKind::Bits:
    case FieldKind::Mac:
        break; // refused above
    }
    return name + ": cannot be written";
}

std::optional<std::string> writeField(const FieldDef& f, std::span<Byte, RecordSize> rec, std::string_view value) {
    if (auto error = checkField(f, value))
        return error;
    switch (f.kind) {
    case FieldKind::Text:
    case FieldKind::TextFillWidth:
        // The characters and one terminator when they leave room for it; the
        // bytes after the terminator stay as they were.
        for (std::size_t i = 0; i < value.size(); ++i)
            rec[f.offset + i] = Byte(value[i]);
        if (value.size() < f.width)
            rec[f.offset + value.size()] = 0;
        break;
    case FieldKind::TreeName:
        storeNdsTreeName(rec, value);
        break;
    case FieldKind::IPv4: {
        const auto a = *parseDottedQuad(value);
        for (std::size_t i = 0; i < 4; ++i)
            rec[f.offset + i] = a[i];
        break;
    }
    case FieldKind::Number8:
        rec[f.offset] = Byte(*parseDecimal(value));
        break;
    case FieldKind::Number16:
        putLE16(rec, f.offset, std::uint16_t(*parseDecimal(value)));
        break;
    case FieldKind::FlagBit:
        if (*parseFlag(value))
            rec[f.offset] = Byte(rec[f.offset] | f.mask);
        else
            rec[f.offset] = Byte(rec[f.offset] & ~f.mask);
        break;
    case FieldKind::Bits:
    case FieldKind::Mac:
        break; // checkField refuses them
    }
    return std::nullopt;
}

std::string trimTreePadding(std::string name) {
    // The walk starts at position 31: a shorter name was never padded.
    if (name.size() < TreePaddedLength)
        return name;
    for (std::size_t i = TreePaddedLength; i > 0 && name[i - 1] == '_'; --i)
        name.resize(i - 1);
    return name;
}

std::string ndsTreeName(std::span<const Byte, RecordSize> rec) {
    return trimTreePadding(fieldText(rec, r::NdsTree, 48));
}

void storeNdsTreeName(std::span<Byte, RecordSize> rec, std::string_view name) {
    if (name.empty()) {
        rec[r::NdsTree] = 0;
        return;
    }
    std::size_t at = r::NdsTree;
    for (char c : name)
        rec[at++] = Byte(c);
    for (std::size_t i = name.size(); i < TreePaddedLength; ++i)
        rec[at++] = '_';
    // The padding ends with a terminator, so that whatever the field held
    // beyond position 31 cannot join the name.
    rec[at] = 0;
}

AssignmentResult applyAssignments(std::span<Byte, RecordSize> rec, const std::vector<std::string>& assignments) {
    AssignmentResult result;
    std::vector<std::pair<const FieldDef*, std::string_view>> parsed;
    parsed.reserve(assignments.size());
    for (const auto& a : assignments) {
        const std::size_t eq = a.find('=');
        if (eq == std::string::npos) {
            result.errors.push_back("'" + a + "': expected name=value");
            continue;
        }
        const std::string_view name = std::string_view(a).substr(0, eq);
        const std::string_view value = std::string_view(a).substr(eq + 1);
        const FieldDef* f = findField(name);
        if (!f) {
            result.errors.push_back("unknown field '" + std::string(name) + "'");
            continue;
        }
        if (auto error = checkField(*f, value)) {
            result.errors.push_back(*error);
            continue;
        }
        parsed.emplace_back(f, value);
    }
    if (!result.ok())
        return result;
    for (const auto& [f, value] : parsed)
        writeField(*f, rec, value);
    setRecordChecksum(rec);
    return result;
}

} // namespace vnk::protocol
