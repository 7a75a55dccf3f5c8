#include "wizard/rules/page_rules.h"

#include "platform/box_text.h"

#include <algorithm>

#include <cctype>
#include <cstdio>

namespace vnk::wizard {

namespace rec = protocol::record;

std::string factoryDeviceName(const MacAddress& mac) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "PS%02X%02X%02X", mac[3], mac[4], mac[5]);
    return buf;
}

namespace {

// atoi's reading of a part: leading white space, a sign, then digits. Values
// past 255 only need to be known as too big, so the reading stops there.
long atoiLike(const std::string& s) {
    std::size_t i = 0;
    while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i])))
        ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        negative = s[i++] == '-';
    long v = 0;
    for (; i < s.size() && std::isdigit(static_cast<unsigned char>(s[i])); ++i) {
        v = v * 10 + (s[i] - '0');
        if (v > 1000)
            v = 1000;
    }
    return negative ? -v : v;
}

Ipv4 recordIp(const protocol::ConfigRecord& r) {
    return {r[rec::IpAddress], r[rec::IpAddress + 1], r[rec::IpAddress + 2], r[rec::IpAddress + 3]};
}

bool isZero(const Ipv4& ip) { return ip == Ipv4{}; }

} // namespace

std::optional<Ipv4> parseWizardIp(const std::string& text) {
    if (text.empty())
        return std::nullopt;
    int stops = 0;
    for (std::size_t i = 1; i < text.size(); ++i)
        stops += text[i] == '.';
    if (stops != 3)
        return std::nullopt;
    Ipv4 ip{};
    std::size_t start = 0;
    for (int part = 0; part < 4; ++part) {
        const std::size_t end = part < 3 ? text.find('.', start) : text.size();
        if (end == std::string::npos || end == start)
            return std::nullopt;
        const std::string piece = text.substr(start, end - start);
        const long v = atoiLike(piece);
        if ((v == 0 && piece[0] != '0') || v < 0 || v > 255)
            return std::nullopt;
        ip[std::size_t(part)] = Byte(v);
        start = end + 1;
    }
    return ip;
}

std::string dottedText(const Ipv4& ip) {
    char buf[20];
    std::snprintf(buf, sizeof buf, "%i.%i.%i.%i", ip[0], ip[1], ip[2], ip[3]);
    return buf;
}

Ipv4 proposedAddress(const Ipv4& pc) {
    Ipv4 p = pc;
    p[3] = pc[3] == 0 ? 1 : pc[3] == 255 ? 254 : Byte(pc[3] + 1);
    return p;
}

bool subnetWarning(const Ipv4& boxInUse, const Ipv4& boxMask, const Ipv4& pc) {
    if (dottedText(boxInUse).rfind("10.0.0.", 0) == 0)
        return false;
    for (std::size_t i = 0; i < 4; ++i)
        if ((boxInUse[i] & boxMask[i]) != (pc[i] & boxMask[i]))
            return true;
    return false;
}

std::string protocolNote(Byte type, Byte optionFlags) {
    if (type != 1)
        return "此列印伺服器不支援 IPX/NetBEUI 列印";
    return (optionFlags & rec::OptNetBeui) ? "此列印伺服器支援 IPX/NetBEUI 列印, 預設為啟動"
                                           : "此列印伺服器支援 IPX 列印, 預設為啟動";
}

std::string radio1Text(const std::string& ipText, const std::optional<Ipv4>& pc) {
    if (ipText != "0.0.0.0" || !pc)
        return ipText;
    return dottedText(proposedAddress(*pc));
}

Page3Start page3Activate(WizardServerTable& table, const std::optional<Ipv4>& pc) {
    const std::size_t i = std::size_t(table.chosen);
    PServerRecord& entry = table.servers.at(i);
    const protocol::ConfigRecord& record = table.records.at(i);
    const Byte type = entry[pserver::Type];
    for (std::size_t k = 0; k < 3; ++k)
        entry[pserver::PortModes + k] = type == 1 ? 0 : 2;

    Page3Start s;
    if (!(record[rec::OptionFlags] & rec::OptTcpIp)) {
        table.ipSettable = false;
        s.ipText = text::TcpIpOff;
        return s;
    }
    table.ipSettable = true;
    s.controlsEnabled = true;
    s.ipText = dottedText(recordIp(record));
    const bool automatic = isZero(recordIp(record));
    if (type == 0) {
        if (!table.tcpInstalled) {
            s.controlsEnabled = false;
            s.noTcpIpMessage = true;
            return s;
        }
        s.radio = automatic && pc ? 1 : 0;
    } else {
        s.radio = automatic && pc && table.tcpInstalled && !table.ipxInstalled && !table.netbeuiInstalled ? 1 : 0;
    }
    if (s.radio == 1) {
        s.ipText = radio1Text(s.ipText, pc);
        const Ipv4 inUse{table.status[StatusIpInUse], table.status[StatusIpInUse + 1], table.status[StatusIpInUse + 2],
                         table.status[StatusIpInUse + 3]};
        const Ipv4 mask{table.status[StatusMaskInUse], table.status[StatusMaskInUse + 1],
                        table.status[StatusMaskInUse + 2], table.status[StatusMaskInUse + 3]};
        s.subnetWarning = subnetWarning(inUse, mask, *pc);
    }
    return s;
}

NameChoice page2Next(WizardServerTable& table, const std::string& typed) {
    const std::size_t i = std::size_t(table.chosen);
    PServerRecord& entry = table.servers.at(i);
    protocol::ConfigRecord& record = table.records.at(i);
    const std::string found = pserverName(table.asFound.at(i));
    const std::string bytes = platform::bytesForShownText(typed, found, platform::CodePage::Big5);
    if (bytes == found) {
        setPserverName(entry, found);
        const auto& read = table.asRead.at(i);
        std::copy_n(read.begin() + rec::AliasName, MaxAssignedNameBytes + 1, record.begin() + rec::AliasName);
        table.changed = table.differsFromBox(table.chosen);
        return NameChoice::Kept;
    }
    if (bytes.size() > MaxAssignedNameBytes)
        return NameChoice::TooLong;
    setPserverName(entry, bytes);
    std::fill_n(record.begin() + rec::AliasName, MaxAssignedNameBytes + 1, Byte(0));
    std::copy(bytes.begin(), bytes.end(), record.begin() + rec::AliasName);
    table.changed = table.differsFromBox(table.chosen);
    return NameChoice::Changed;
}

bool page3Next(WizardServerTable& table, int radio, const std::string& ipText) {
    const std::size_t i = std::size_t(table.chosen);
    const Ipv4 held = recordIp(table.asRead.at(i));
    Ipv4 ip = held;
    if (radio == 1) {
        const auto typed = parseWizardIp(ipText);
        if (!typed)
            return false;
        ip = *typed;
    }
    std::copy(ip.begin(), ip.end(), table.records.at(i).begin() + rec::IpAddress);
    std::copy(ip.begin(), ip.end(), table.servers.at(i).begin() + pserver::Ip);
    table.changed = table.differsFromBox(table.chosen);
    return true;
}

Summary summary(const WizardServerTable& table) {
    const std::size_t i = std::size_t(table.chosen);
    const PServerRecord& entry = table.servers.at(i);
    const protocol::ConfigRecord& record = table.records.at(i);
    const Byte type = entry[pserver::Type];
    const bool ipxType = type == 1 || type == 3;
    Summary s;
    s.deviceName = factoryDeviceName(pserverMac(entry));
    s.assignedName = pserverName(entry);
    s.ipx = ipxType ? text::On : text::Off;
    s.netbeui = ipxType && (record[rec::OptionFlags] & rec::OptNetBeui) ? text::On : text::Off;
    s.tcpIp = table.ipSettable ? text::On : text::Off;
    s.ipAssignment = !table.ipSettable ? text::Stopped : isZero(recordIp(record)) ? text::Automatic : text::Fixed;
    s.ipAddress = dottedText(recordIp(record));
    return s;
}

} // namespace vnk::wizard
