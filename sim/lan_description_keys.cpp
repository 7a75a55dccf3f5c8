// The keys of a LAN description: the value parsers, the table of a box's or
// PC's keys and that of a file server's, and the list of them all that
// vnksim --help shows.
#include "sim/lan_description_keys.h"

#include "platform/endpoint.h"
#include "sim/lan_description.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <chrono>
#include <cstdlib>
#include <optional>
#include <unordered_set>
#include <utility>

namespace vnk::sim::description_keys {

using namespace protocol;
using namespace std::chrono;

namespace {

// A whole number written in decimal (leading zeros allowed) or in hex after 0x.
std::optional<long> parseNumber(const std::string& text) {
    int base = 10;
    std::size_t start = 0;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        base = 16, start = 2;
    if (start >= text.size())
        return std::nullopt;
    long v = 0;
    const char* first = text.data() + start;
    const char* last = text.data() + text.size();
    const auto [end, ec] = std::from_chars(first, last, v, base);
    if (ec != std::errc() || end != last || v < 0)
        return std::nullopt;
    return v;
}

std::string unescape(const std::string& s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 1 < s.size()) {
            const char c = s[++i];
            out.push_back(c == 'n' ? '\n' : c == 'r' ? '\r' : c == 't' ? '\t' : c);
        } else {
            out.push_back(s[i]);
        }
    }
    return out;
}

// Each value kind: its parser, and the form an error and --help show.
std::optional<long> inRange(const std::string& v, long lo, long hi) {
    const auto n = parseNumber(v);
    if (!n || *n < lo || *n > hi)
        return std::nullopt;
    return n;
}
bool byteInto(Byte& target, const std::string& v) {
    const auto n = inRange(v, 0, 255);
    if (n)
        target = Byte(*n);
    return n.has_value();
}
bool ipInto(std::array<Byte, 4>& target, const std::string& v) {
    const auto a = platform::parseIPv4(v);
    if (a)
        target = {Byte(*a >> 24), Byte(*a >> 16), Byte(*a >> 8), Byte(*a)};
    return a.has_value();
}
bool recordIp(ConfigRecord& rec, std::size_t offset, const std::string& v) {
    std::array<Byte, 4> a{};
    if (!ipInto(a, v))
        return false;
    setIPv4(rec, offset, a);
    return true;
}
bool recordText(ConfigRecord& rec, std::size_t offset, const std::string& v) {
    if (v.size() > 15)
        return false;
    setText(rec, offset, 16, v);
    return true;
}
bool chanceInto(double& target, const std::string& v) {
    if (v.empty() || std::isspace(static_cast<unsigned char>(v[0])))
        return false;
    char* end = nullptr;
    const double d = std::strtod(v.c_str(), &end);
    if (end == v.c_str() || *end != 0 || !(d >= 0 && d <= 1))
        return false;
    target = d;
    return true;
}
template <class T> bool intInto(T& target, const std::string& v, long lo, long hi) {
    const auto n = inRange(v, lo, hi);
    if (n)
        target = T(*n);
    return n.has_value();
}
bool msInto(std::chrono::milliseconds& target, const std::string& v, long lo, long hi) {
    const auto n = inRange(v, lo, hi);
    if (n)
        target = milliseconds(*n);
    return n.has_value();
}
bool flagInto(bool& target, const std::string& v) {
    if (v != "0" && v != "1")
        return false;
    target = v == "1";
    return true;
}

// The commands a box can be told to ignore, by name.
constexpr std::pair<const char*, Byte> CommandNames[] = {
    {"reset", CmdReset},   {"read", CmdReadConfig},         {"write", CmdWriteConfig},
    {"search", CmdSearch}, {"status", CmdStatus},           {"testprint", CmdTestPrint},
    {"firmware", CmdFirmware}, {"printerstatus", CmdPrinterStatus},
};

bool commandListInto(std::vector<int>& target, const std::string& v) {
    std::vector<int> codes;
    std::size_t from = 0;
    for (;;) {
        const std::size_t comma = std::min(v.find(',', from), v.size());
        std::string part = v.substr(from, comma - from);
        part.erase(std::remove_if(part.begin(), part.end(), [](unsigned char c) { return std::isspace(c); }),
                   part.end());
        std::transform(part.begin(), part.end(), part.begin(), [](unsigned char c) { return char(std::tolower(c)); });
        std::optional<long> code = inRange(part, 0, 255);
        for (const auto& [name, value] : CommandNames)
            if (part == name)
                code = value;
        if (!code)
            return false;
        codes.push_back(int(*code));
        if (comma == v.size())
            break;
        from = comma + 1;
    }
    target = std::move(codes);
    return true;
}

#define BYTE_KEY(key, field) {key, "a number 0-255", [](Draft& d, int, const std::string& v) { return byteInto(field, v); }}

const KeyRule KeyRules[] = {
    {"kind", "box or pc (fileserver: a NetWare file server, whose keys are listed below)",
     [](Draft& d, int, const std::string& v) {
         if (v == "pc")
             d.box.isPc = true, d.box.deviceType = 1, d.box.features65 = 0x01;
         return v == "pc" || v == "box";
     }},
    {"mac", MacForm,
     [](Draft&, int, const std::string& v) { return parseMac(v).has_value(); }},
    {"device", "text, cut to 8 characters (the identity's device name)",
     [](Draft& d, int, const std::string& v) {
         d.box.deviceName = v.substr(0, 8);
         return true;
     }},
    {"name", "text of up to 15 characters (the server name; default: the section name)",
     [](Draft& d, int, const std::string& v) { return recordText(d.box.record, record::AliasName, v); }},
    BYTE_KEY("vendor", d.box.vendor),
    BYTE_KEY("devicetype", d.box.deviceType),
    BYTE_KEY("servertype", d.box.serverType),
    BYTE_KEY("flags", d.box.flags61),
    BYTE_KEY("features", d.box.features65),
    {"firmware", "0 or 1 (1: firmware present)",
     [](Draft& d, int, const std::string& v) { return flagInto(d.box.firmwarePresent, v); }},
    BYTE_KEY("ports", d.ports),
    BYTE_KEY("capabilities", d.caps),
    BYTE_KEY("options", d.box.record[record::OptionFlags]),
    BYTE_KEY("model", d.model),
    BYTE_KEY("version", d.version),
    BYTE_KEY("revision", d.revision),
    {"ip", "an IPv4 address, as 192.168.1.50",
     [](Draft& d, int, const std::string& v) { return recordIp(d.box.record, record::IpAddress, v); }},
    {"mask", "an IPv4 address, as 255.255.255.0",
     [](Draft& d, int, const std::string& v) { return recordIp(d.box.record, record::SubnetMask, v); }},
    {"gateway", "an IPv4 address",
     [](Draft& d, int, const std::string& v) { return recordIp(d.box.record, record::Gateway, v); }},
    {"dhcp_address", "an IPv4 address (what the box gets when its IP address is 0.0.0.0)",
     [](Draft& d, int, const std::string& v) { return ipInto(d.box.dhcpAddress, v); }},
    BYTE_KEY("dhcp_mode", d.box.record[record::DhcpMode]),
    {"dhcp_start", "an IPv4 address",
     [](Draft& d, int, const std::string& v) { return recordIp(d.box.record, record::DhcpStart, v); }},
    {"dhcp_range", "a number 0-65535",
     [](Draft& d, int, const std::string& v) {
         std::uint16_t n = 0;
         if (!intInto(n, v, 0, 65535))
             return false;
         putLE16(d.box.record, record::DhcpRange, n);
         return true;
     }},
    {"snmp_contact", "text of up to 15 characters",
     [](Draft& d, int, const std::string& v) { return recordText(d.box.record, record::SnmpContact, v); }},
    {"snmp_location", "text of up to 15 characters",
     [](Draft& d, int, const std::string& v) { return recordText(d.box.record, record::SnmpLocation, v); }},
    BYTE_KEY("frame_type", d.box.frameType),
    BYTE_KEY("speed", d.box.speedCode),
    {"port<n>_state", "a number 0-255 (the state of port n)",
     [](Draft& d, int n, const std::string& v) { return byteInto(d.box.portStates[std::size_t(n - 1)], v); }},
    {"printer<n>_display", "text; \\r, \\n and \\t stand for those characters",
     [](Draft& d, int n, const std::string& v) {
         d.box.printers[std::size_t(n - 1)].display = unescape(v);
         return true;
     }},
    {"printer<n>_id", "text; \\r, \\n and \\t stand for those characters",
     [](Draft& d, int n, const std::string& v) {
         d.box.printers[std::size_t(n - 1)].identification = unescape(v);
         return true;
     }},
    {"printer<n>_l1", "a number 0-65535 (the display length the box reports, right or wrong)",
     [](Draft& d, int n, const std::string& v) {
         std::uint16_t x = 0;
         if (!intInto(x, v, 0, 65535))
             return false;
         d.box.printers[std::size_t(n - 1)].displayLength = x;
         return true;
     }},
    {"printer<n>_l2", "a number 0-65535 (the identification length the box reports)",
     [](Draft& d, int n, const std::string& v) {
         std::uint16_t x = 0;
         if (!intInto(x, v, 0, 65535))
             return false;
         d.box.printers[std::size_t(n - 1)].identificationLength = x;
         return true;
     }},
    {"restart_ms", "a number 0-600000 (milliseconds of silence after a reset)",
     [](Draft& d, int, const std::string& v) { return msInto(d.box.restartDelay, v, 0, 600000); }},
    {"fault_drop", "a chance from 0 to 1, as 0.25 (a reply is lost)",
     [](Draft& d, int, const std::string& v) { return chanceInto(d.box.faults.drop, v); }},
    {"fault_duplicate", "a chance from 0 to 1 (a reply is sent twice)",
     [](Draft& d, int, const std::string& v) { return chanceInto(d.box.faults.duplicate, v); }},
    {"fault_garble", "a chance from 0 to 1 (one byte of a reply is flipped)",
     [](Draft& d, int, const std::string& v) { return chanceInto(d.box.faults.garble, v); }},
    {"fault_delay_ms", "a number 0-60000 (every reply leaves this late)",
     [](Draft& d, int, const std::string& v) { return intInto(d.box.faults.delayMs, v, 0, 60000); }},
    {"fault_reorder_ms", "a number 0-60000 (each reply leaves up to this much later again, at random, so that "
                         "replies overtake each other)",
     [](Draft& d, int, const std::string& v) { return intInto(d.box.faults.reorderMs, v, 0, 60000); }},
    {"fault_truncate", "a number 0-1024 (bytes cut from the end of every reply)",
     [](Draft& d, int, const std::string& v) { return intInto(d.box.faults.truncate, v, 0, 1024); }},
    {"fault_silent", "0 or 1 (1: answers nothing)",
     [](Draft& d, int, const std::string& v) { return flagInto(d.box.faults.silent, v); }},
    {"fault_udp_silent", "0 or 1 (1: answers nothing over UDP, only over IPX and NetBIOS)",
     [](Draft& d, int, const std::string& v) { return flagInto(d.box.faults.udpSilent, v); }},
    {"fault_ignore",
     "commands separated by commas, each a name (reset, read, write, search, status, testprint, firmware, "
     "printerstatus) or a code 0-255",
     [](Draft& d, int, const std::string& v) { return commandListInto(d.box.faults.ignore, v); }},
    {"fault_refuse_write", "0 or 1 (1: keeps its record and answers a write with a reply that does not confirm it)",
     [](Draft& d, int, const std::string& v) { return flagInto(d.box.faults.refuseWrites, v); }},
    {"fault_firmware_stop_after", "a number 0-100000 (block requests before the box stops asking)",
     [](Draft& d, int, const std::string& v) { return intInto(d.box.faults.firmwareStopAfter, v, 0, 100000); }},
    {"fault_firmware_repeat", "a chance from 0 to 1 (after a new block the box asks again for one it already has)",
     [](Draft& d, int, const std::string& v) { return chanceInto(d.box.faults.firmwareRepeat, v); }},
    {"firmware_order", "sequential, shuffled or reverse",
     [](Draft& d, int, const std::string& v) {
         using Order = FirmwarePlan::Order;
         const std::pair<const char*, Order> orders[] = {
             {"sequential", Order::Sequential}, {"shuffled", Order::Shuffled}, {"reverse", Order::Reverse}};
         for (const auto& [name, order] : orders)
             if (v == name) {
                 d.box.firmware.order = order;
                 return true;
             }
         return false;
     }},
    {"firmware_blocks", "a number 0-512 (blocks asked for; a whole image is 448)",
     [](Draft& d, int, const std::string& v) { return intInto(d.box.firmware.blocks, v, 0, 512); }},
    {"firmware_repeats", "a number 0-10000 (blocks asked for a second time)",
     [](Draft& d, int, const std::string& v) { return intInto(d.box.firmware.repeats, v, 0, 10000); }},
    {"firmware_pace_ms", "a number 0-60000 (pause after each block)",
     [](Draft& d, int, const std::string& v) { return msInto(d.box.firmware.pace, v, 0, 60000); }},
    {"firmware_retry_ms", "a number 1-60000 (a block that did not come is asked again after this)",
     [](Draft& d, int, const std::string& v) { return msInto(d.box.firmware.retryAfter, v, 1, 60000); }},
    {"firmware_handshake_reply", "10 or 12 (bytes of the handshake reply)",
     [](Draft& d, int, const std::string& v) {
         if (v != "10" && v != "12")
             return false;
         d.box.firmware.handshakeReplySize = v == "10" ? 10 : 12;
         return true;
     }},
    {"firmware_verify", "0 or 1 (1: an image whose block 448 does not check is refused)",
     [](Draft& d, int, const std::string& v) { return flagInto(d.box.firmware.verifyCheckByte, v); }},
};
#undef BYTE_KEY

} // namespace

// The rule of a key as written (any case); n is the port or printer number of
// the keys that come in fives.
const KeyRule* ruleFor(std::string key, int& n) {
    std::transform(key.begin(), key.end(), key.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    n = 0;
    for (const std::string prefix : {"printer", "port"}) {
        const std::size_t p = prefix.size();
        if (key.size() > p + 1 && key.compare(0, p, prefix) == 0 && key[p] >= '1' && key[p] <= '5' &&
            key[p + 1] == '_') {
            n = key[p] - '0';
            key = prefix + "<n>" + key.substr(p + 1);
            break;
        }
    }
    for (const KeyRule& rule : KeyRules)
        if (key == rule.name)
            return &rule;
    return nullptr;
}

std::string lowered(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return s;
}

// ------------------------------------------------------- file server sections

namespace {

constexpr const char* NameListForm = "names separated by commas, each 1-47 characters without '*', '?' or control "
                                     "characters";

bool binderyName(const std::string& v) {
    return !v.empty() && v.size() <= netware::MaxNameLength &&
           std::none_of(v.begin(), v.end(), [](unsigned char c) { return c < 0x20 || c == 0x7F || c == '*' || c == '?'; });
}

std::string trimmed(const std::string& s) {
    const auto first = s.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

// The comma-separated parts of a value, each trimmed; nothing when one is empty.
std::optional<std::vector<std::string>> commaList(const std::string& v) {
    std::vector<std::string> parts;
    std::size_t from = 0;
    for (;;) {
        const std::size_t comma = std::min(v.find(',', from), v.size());
        parts.push_back(trimmed(v.substr(from, comma - from)));
        if (parts.back().empty())
            return std::nullopt;
        if (comma == v.size())
            return parts;
        from = comma + 1;
    }
}

// A list of bindery names, none given twice (names are compared without case).
bool nameListInto(std::vector<std::string>& target, const std::string& v) {
    const auto parts = commaList(v);
    if (!parts)
        return false;
    std::unordered_set<std::string> seen; // lower case
    for (const std::string& part : *parts)
        if (!binderyName(part) || !seen.insert(lowered(part)).second)
            return false;
    target = *parts;
    return true;
}

const ServerKeyRule ServerKeyRules[] = {
    {"kind", "fileserver", [](ServerDraft&, const std::string& v) { return v == "fileserver"; }},
    {"mac", "six hex bytes, as 00:00:1B:12:34:56 (required: the server's IPX node; no box has it)",
     [](ServerDraft&, const std::string& v) { return parseMac(v).has_value(); }},
    {"name",
     "text of 1-47 characters without '*', '?' or control characters (what the server calls itself; default: "
     "the section name in capitals)",
     [](ServerDraft& d, const std::string& v) {
         d.server.name = v;
         return binderyName(v);
     }},
    {"network", "eight hex digits, as 0000BEEF or 0x0000BEEF (its IPX network number; default 00000000)",
     [](ServerDraft& d, const std::string& v) {
         const std::string digits = v.size() > 2 && v[0] == '0' && (v[1] == 'x' || v[1] == 'X') ? v.substr(2) : v;
         std::uint32_t n = 0;
         const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), n, 16);
         if (digits.empty() || digits.size() > 8 || ec != std::errc() || end != digits.data() + digits.size())
             return false;
         d.server.network = {Byte(n >> 24), Byte(n >> 16), Byte(n >> 8), Byte(n)};
         return true;
     }},
    {"ncp_socket", "a number 1-65535 other than 0x0452, the SAP socket (its NCP socket; default 0x0451)",
     [](ServerDraft& d, const std::string& v) {
         const auto n = inRange(v, 1, 65535);
         if (!n || *n == netware::SapSocket)
             return false;
         d.server.ncpSocket = std::uint16_t(*n);
         return true;
     }},
    {"print_servers", "", // the form is NameListForm, with what the objects are
     [](ServerDraft& d, const std::string& v) { return nameListInto(d.printServers, v); }},
    {"box_objects",
     "boxes separated by commas, each named by its section name, its server name or its Ethernet address, "
     "optionally followed by :1447 or :1448, the object type (default 1447): a print server object named as "
     "the box whose NET_ADDRESS is the box's node, as QUILL-3P2S:1447, gannet:1448",
     [](ServerDraft& d, const std::string& v) {
         const auto parts = commaList(v);
         if (!parts)
             return false;
         d.boxRefs.clear();
         for (const std::string& part : *parts) {
             std::uint16_t type = netware::BoxObject;
             std::string text = part;
             for (const auto& [suffix, t] :
                  {std::pair{":1447", netware::BoxObject}, std::pair{":1448", netware::BoxObjectOther}})
                 if (text.size() > 5 && text.compare(text.size() - 5, 5, suffix) == 0) {
                     type = t;
                     text = trimmed(text.substr(0, text.size() - 5));
                 }
             d.boxRefs.push_back({text, type});
         }
         return true;
     }},
    {"missing_objects",
     "names as print_servers (box objects, type 0x1447, whose NET_ADDRESS names a node where no box answers)",
     [](ServerDraft& d, const std::string& v) { return nameListInto(d.missing, v); }},
    {"file_servers", "names as print_servers (file server objects, type 0x0004; the server itself is always one)",
     [](ServerDraft& d, const std::string& v) { return nameListInto(d.fileServers, v); }},
    {"nds_trees", "names as print_servers (NDS tree objects, type 0x0278)",
     [](ServerDraft& d, const std::string& v) { return nameListInto(d.ndsTrees, v); }},
};

} // namespace

std::string serverKeyForm(const ServerKeyRule& rule) {
    if (std::string(rule.name) == "print_servers")
        return std::string(NameListForm) + " (print server objects, type 0x0047, that are not boxes)";
    return rule.form;
}

const ServerKeyRule* serverRuleFor(const std::string& key) {
    for (const ServerKeyRule& rule : ServerKeyRules)
        if (lowered(key) == rule.name)
            return &rule;
    return nullptr;
}

namespace {

// One key of --help: its name, then its form wrapped at about 100 columns,
// continued under itself.
std::string keyLine(const std::string& name, std::string form) {
    std::string out;
    std::string line = "  " + name;
    line.resize(std::max<std::size_t>(line.size() + 1, 29), ' ');
    while (line.size() + form.size() > 100) {
        std::size_t cut = form.rfind(' ', 100 - line.size());
        if (cut == std::string::npos || cut == 0)
            break;
        out += line + form.substr(0, cut) + "\n";
        form = form.substr(cut + 1);
        line.assign(29, ' ');
    }
    return out + line + form + "\n";
}

} // namespace

} // namespace vnk::sim::description_keys

namespace vnk::sim {

using namespace description_keys;

std::string lanDescriptionKeys() {
    std::string out;
    for (const KeyRule& rule : KeyRules)
        out += keyLine(rule.name, rule.form);
    out += "\nA section with kind = fileserver is a NetWare file server on the IPX side of the LAN: it\n"
           "answers the nearest-server query and, on its NCP socket, connections, bindery scans and\n"
           "NET_ADDRESS reads. Its bindery holds the objects these keys name:\n";
    for (const ServerKeyRule& rule : ServerKeyRules)
        out += keyLine(rule.name, serverKeyForm(rule));
    return out;
}

} // namespace vnk::sim
