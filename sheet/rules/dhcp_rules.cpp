#include "sheet/rules/dhcp_rules.h"

#include "platform/inifile.h"

#include <algorithm>
#include <bit>

namespace vnk::rules {

namespace r = protocol::record;

namespace {

void putAddress(std::span<Byte, RecordSize> rec, std::size_t at, const Address& a) {
    std::copy(a.begin(), a.end(), rec.begin() + std::ptrdiff_t(at));
}

bool nonZeroAt(std::span<const Byte, RecordSize> rec, std::size_t at, std::size_t width) {
    return std::any_of(rec.begin() + std::ptrdiff_t(at), rec.begin() + std::ptrdiff_t(at + width),
                       [](Byte b) { return b != 0; });
}

DhcpFailure failure(const char* message, DhcpControl focus, int code) {
    return {message, focus, code, 0};
}

} // namespace

std::optional<Address> parseLooseAddress(std::string_view text) {
    Address out{};
    std::size_t found = 0;
    std::size_t pos = 0;
    while (found < 4 && pos <= text.size()) {
        const std::size_t dot = std::min(text.find('.', pos), text.size());
        const std::string_view piece = text.substr(pos, dot - pos);
        pos = dot + 1;
        if (piece.empty())
            continue;
        const Byte b = Byte(std::uint32_t(platform::leadingInt(piece)) & 0xFF);
        if (b == 0 && piece.front() != '0')
            return std::nullopt;
        out[found++] = b;
    }
    if (found < 4)
        return std::nullopt;
    return out;
}

DhcpRefusal dhcpSetupRefusal(std::span<const Byte, RecordSize> rec) {
    const Byte caps = rec[r::Capabilities];
    if (!(caps & r::CapDhcpServer))
        return DhcpRefusal::NoDhcpServer;
    if (!(caps & r::CapTcpIp))
        return DhcpRefusal::NoTcpIp;
    if (!(rec[r::OptionFlags] & r::OptTcpIp))
        return DhcpRefusal::TcpIpDisabled;
    return DhcpRefusal::None;
}

std::string dhcpRefusalText(DhcpRefusal refusal, const std::string& serverName) {
    switch (refusal) {
    case DhcpRefusal::NoDhcpServer:
        return "'" + serverName + "' do NOT support DHCP !!!";
    case DhcpRefusal::NoTcpIp:
        return "'" + serverName + "' do NOT support TCP/IP !!!";
    case DhcpRefusal::TcpIpDisabled:
        return "You must ENABLE TCP/IP first!!";
    case DhcpRefusal::None:
        break;
    }
    return {};
}

DhcpSetupValues dhcpSetupValues(std::span<const Byte, RecordSize> rec) {
    DhcpSetupValues v;
    const Byte mode = rec[r::DhcpMode];
    v.startup = mode >= 2 ? DhcpStartup::Disable : mode == 1 ? DhcpStartup::Enable : DhcpStartup::Auto;
    // Start, range, gateway and netmask lie together at 470-483; the DNS server
    // after them does not make a setup Manual.
    v.setup = nonZeroAt(rec, r::DhcpStart, r::DhcpDns - r::DhcpStart) ? DhcpSetup::Manual : DhcpSetup::Auto;
    v.ipRange = protocol::getLE16(rec, r::DhcpRange);
    v.printServerIp = protocol::dottedAt(rec, r::IpAddress);
    v.startingIp = protocol::dottedAt(rec, r::DhcpStart);
    v.gateway = protocol::dottedAt(rec, r::DhcpGateway);
    v.netmask = protocol::dottedAt(rec, r::DhcpNetmask);
    v.dns = protocol::dottedAt(rec, r::DhcpDns);
    return v;
}

DhcpControlStates dhcpControlStates(DhcpStartup startup, DhcpSetup setup) {
    DhcpControlStates c;
    c.startupButtons = true;
    c.setupButtons = startup != DhcpStartup::Disable;
    c.edits = c.setupButtons && setup == DhcpSetup::Manual;
    return c;
}

std::uint32_t dhcpRangeLimit(std::uint32_t s, std::uint32_t m) {
    return (s & m) + ~m - s;
}

int dhcpConsistency(std::uint32_t a, std::uint32_t s, std::uint32_t g, std::uint32_t m, std::uint32_t range) {
    if (a == 0 && s == 0 && g == 0 && m == 0)
        return DhcpOk;
    if ((s != 0 || g != 0) && m == 0)
        m = 0xFFFF0000u;
    if (!isContiguousMask(m))
        return DhcpBadNetmask;
    if (a == 0 && (s != 0 || g != 0))
        return DhcpBadDns;
    if (a != 0) {
        const bool sameAsGateway = (a & m) == (g & m);
        const bool sameAsStart = (a & m) == (s & m);
        if (s == 0 && g != 0 && !sameAsGateway)
            return DhcpBadGateway;
        if (s != 0 && g == 0 && !sameAsStart)
            return DhcpBadStartingIp;
        if (s != 0 && g != 0) {
            if (sameAsGateway && !sameAsStart)
                return DhcpBadStartingIp;
            if (!sameAsGateway && sameAsStart)
                return DhcpBadGateway;
            if (!sameAsGateway && !sameAsStart)
                return DhcpBadPrintServerIp;
        }
    }
    // 2 to the power of the mask's zero bits: up to 2^32, hence 64 bits.
    const int zeros = 32 - std::popcount(m);
    if ((std::uint64_t(1) << zeros) < range)
        return DhcpRangeTooLarge;
    return DhcpOk;
}

DhcpFailure dhcpConsistencyFailure(int code) {
    switch (code) {
    case DhcpBadPrintServerIp:
        return failure(" The IP address range given is invalid.", DhcpControl::PrintServerIp, code);
    case DhcpBadGateway:
        return failure(" The Gateway IP address range given is invalid.", DhcpControl::Gateway, code);
    case DhcpBadStartingIp:
        return failure(" The Starting IP address range given is invalid.", DhcpControl::StartingIp, code);
    case DhcpBadNetmask:
        return failure(" The netmask is not valid.", DhcpControl::Netmask, code);
    case DhcpRangeTooLarge:
        return failure(" The specified range can't be zero", DhcpControl::IpRange, code);
    case DhcpBadDns:
    default:
        return failure(" The DNS is not valid.", DhcpControl::Dns, DhcpBadDns);
    }
}

std::optional<DhcpFailure> checkDhcpManual(const DhcpSetupValues& v) {
    const auto a = parseLooseAddress(v.printServerIp);
    if (!a)
        return dhcpConsistencyFailure(DhcpBadPrintServerIp);
    const auto g = parseLooseAddress(v.gateway);
    if (!g)
        return dhcpConsistencyFailure(DhcpBadGateway);
    const auto s = parseLooseAddress(v.startingIp);
    if (!s)
        return dhcpConsistencyFailure(DhcpBadStartingIp);
    const auto m = parseLooseAddress(v.netmask);
    if (!m)
        return dhcpConsistencyFailure(DhcpBadNetmask);
    if (v.ipRange == 0)
        return dhcpConsistencyFailure(DhcpRangeTooLarge);
    // The limit is reckoned with the netmask as typed; only the consistency check
    // below stands in 255.255.0.0 for an empty one. The record keeps the range in
    // 16 bits, so a range above 65535 is refused with the same message rather
    // than stored cut to its low 16 bits.
    const std::uint32_t limit = std::min(dhcpRangeLimit(toNumber(*s), toNumber(*m)), MaxStoredRange);
    if (v.ipRange > limit)
        return DhcpFailure{"IP range just can be from 1 to " + std::to_string(limit), DhcpControl::IpRange,
                           DhcpRangeAboveLimit, limit};
    if (!parseLooseAddress(v.dns))
        return dhcpConsistencyFailure(DhcpBadDns);
    const int code = dhcpConsistency(toNumber(*a), toNumber(*s), toNumber(*g), toNumber(*m), v.ipRange);
    if (code != DhcpOk)
        return dhcpConsistencyFailure(code);
    return std::nullopt;
}

std::optional<DhcpFailure> storeDhcpSetup(const DhcpSetupValues& v, std::span<Byte, RecordSize> rec) {
    if (v.startup == DhcpStartup::Disable) {
        rec[r::DhcpMode] = 2;
        return std::nullopt;
    }
    if (v.setup == DhcpSetup::Auto) {
        rec[r::DhcpMode] = Byte(v.startup);
        std::fill(rec.begin() + std::ptrdiff_t(r::DhcpStart), rec.begin() + std::ptrdiff_t(r::DhcpMode),
                  Byte(0));
        return std::nullopt;
    }
    // All checks come before the first byte is stored, the start-up mode
    // included: a refused Write leaves the record as it was.
    if (auto f = checkDhcpManual(v))
        return f;
    rec[r::DhcpMode] = Byte(v.startup);
    putAddress(rec, r::IpAddress, *parseLooseAddress(v.printServerIp));
    putAddress(rec, r::DhcpStart, *parseLooseAddress(v.startingIp));
    putAddress(rec, r::DhcpGateway, *parseLooseAddress(v.gateway));
    putAddress(rec, r::DhcpNetmask, *parseLooseAddress(v.netmask));
    putAddress(rec, r::DhcpDns, *parseLooseAddress(v.dns));
    protocol::putLE16(rec, r::DhcpRange, std::uint16_t(v.ipRange)); // at most 65535 after the checks
    return std::nullopt;
}

std::optional<std::string> dhcpInformationRefusal(std::span<const Byte, RecordSize> rec,
                                                  const std::string& serverName) {
    if (rec[r::Capabilities] & r::CapDhcpServer)
        return std::nullopt;
    return dhcpRefusalText(DhcpRefusal::NoDhcpServer, serverName);
}

std::string dhcpStatusText(Byte mode, Byte state, const std::string& previous) {
    if (state > 1)
        return previous;
    static constexpr const char* Modes[] = {"Auto/", "Enable/", "Disable/"};
    std::string text = mode < 3 ? Modes[mode] : "";
    return text + (state == 0 ? "Inactive" : "Active");
}

DhcpInformation dhcpInformation(std::span<const Byte, RecordSize> rec, const protocol::StatusBuffer& status,
                                const std::string& previousStatus) {
    DhcpInformation info;
    info.status = dhcpStatusText(rec[r::DhcpMode], protocol::dhcpServerState(status), previousStatus);
    info.startingIp = protocol::dhcpStart(status);
    info.nextAvailableIp = protocol::dhcpNext(status);
    info.gateway = protocol::dhcpGateway(status);
    info.netmask = protocol::dhcpNetmask(status);
    info.dns = protocol::dhcpDns(status);
    return info;
}

std::vector<std::string> checkDhcpChange(std::span<const Byte, RecordSize> before,
                                         std::span<const Byte, RecordSize> after,
                                         const std::string& serverName) {
    const auto first = std::ptrdiff_t(r::DhcpStart);
    const auto last = std::ptrdiff_t(r::DhcpMode + 1);
    if (std::equal(before.begin() + first, before.begin() + last, after.begin() + first))
        return {};
    const DhcpRefusal refusal = dhcpSetupRefusal(after);
    if (refusal != DhcpRefusal::None)
        return {dhcpRefusalText(refusal, serverName)};
    const DhcpSetupValues v = dhcpSetupValues(after);
    if (v.startup == DhcpStartup::Disable || v.setup == DhcpSetup::Auto)
        return {};
    if (auto f = checkDhcpManual(v))
        return {f->message};
    return {};
}

} // namespace vnk::rules
