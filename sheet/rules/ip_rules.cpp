#include "sheet/rules/ip_rules.h"

#include "platform/endpoint.h"
#include "platform/inifile.h"

#include <cstdlib>
#include <cstring>

namespace vnk::rules {

using namespace protocol;


std::optional<Address> parseStrictAddress(std::string_view text) {
    if (text.empty())
        return std::nullopt;
    int dots = 0;
    for (std::size_t i = 1; i < text.size(); ++i)
        dots += text[i] == '.';
    if (dots != 3)
        return std::nullopt;
    std::string_view pieces[4];
    int count = 0;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == '.') {
            if (i > start) {
                if (count == 4)
                    return std::nullopt;
                pieces[count++] = text.substr(start, i - start);
            }
            start = i + 1;
        }
    }
    if (count < 4)
        return std::nullopt;
    Address a{};
    for (int k = 0; k < 4; ++k) {
        const long n = platform::leadingInt(pieces[k]);
        if (n == 0 && pieces[k][0] != '0')
            return std::nullopt;
        if (n < 0 || n > 255)
            return std::nullopt;
        a[std::size_t(k)] = Byte(n);
    }
    return a;
}

std::uint32_t toNumber(const Address& a) {
    return (std::uint32_t(a[0]) << 24) | (std::uint32_t(a[1]) << 16) | (std::uint32_t(a[2]) << 8) | a[3];
}

Address fromNumber(std::uint32_t n) {
    return {Byte(n >> 24), Byte(n >> 16), Byte(n >> 8), Byte(n)};
}

std::string dotted(const Address& a) {
    return dottedAt(a, 0);
}

bool isContiguousMask(std::uint32_t mask) {
    // Inverted, a good mask is 2^k - 1: adding one leaves no bit in common.
    const std::uint32_t inverted = ~mask;
    return (inverted & (inverted + 1)) == 0;
}

Consistency checkMaskAndGateway(std::uint32_t a, std::uint32_t g, std::uint32_t m) {
    if (a != 0 && m == 0 && g != 0)
        return Consistency::MaskError;
    if (a == 0 && g != 0 && m == 0)
        return Consistency::GatewayError;
    if (a == 0 && g == 0 && m == 0)
        return Consistency::Accepted;
    if (!isContiguousMask(m))
        return Consistency::MaskError;
    if (a != 0 && g == 0 && m != 0)
        return Consistency::Accepted;
    return (a & m) == (g & m) ? Consistency::Accepted : Consistency::GatewayError;
}

std::string proposeAddress(const std::string& pcAddress) {
    const auto n = platform::parseIPv4(pcAddress);
    if (!n)
        return {};
    Address a = fromNumber(*n);
    a[3] = a[3] == 255 ? 254 : Byte(a[3] + 1);
    return dotted(a);
}

std::optional<Refusal> validateIpInput(const IpInput& in) {
    if (!in.manual)
        return std::nullopt;
    const auto a = parseStrictAddress(in.address);
    if (!a)
        return Refusal{" The given IP address is invalid", IpControl::IpAddress, IpCheck::IpAddress};
    const auto g = parseStrictAddress(in.gateway);
    if (!g)
        return Refusal{" The given Gateway address is invalid", IpControl::Gateway, IpCheck::Gateway};
    const auto m = parseStrictAddress(in.mask);
    if (!m)
        return Refusal{" The given SubNet Mask is invalid", IpControl::Mask, IpCheck::Mask};
    switch (checkMaskAndGateway(toNumber(*a), toNumber(*g), toNumber(*m))) {
    case Consistency::MaskError:
        return Refusal{" The given SubNet Mask is invalid", IpControl::Mask, IpCheck::MaskAgainstAddress};
    case Consistency::GatewayError:
        return Refusal{" The given Gateway Address is invalid", IpControl::Gateway, IpCheck::GatewayOutsideNetwork};
    case Consistency::Accepted:
        break;
    }
    return std::nullopt;
}

IpValues ipValues(const IpInput& in) {
    IpValues v;
    if (!in.manual)
        return v;
    v.address = parseStrictAddress(in.address).value_or(Address{});
    v.gateway = parseStrictAddress(in.gateway).value_or(Address{});
    v.mask = parseStrictAddress(in.mask).value_or(Address{});
    return v;
}

void storeIpValues(std::span<Byte, RecordSize> rec, const IpValues& v, bool tcpipSupport) {
    if (tcpipSupport)
        rec[record::OptionFlags] |= record::OptTcpIp;
    else
        rec[record::OptionFlags] &= Byte(~record::OptTcpIp);
    std::memcpy(&rec[record::IpAddress], v.address.data(), 4);
    std::memcpy(&rec[record::Gateway], v.gateway.data(), 4);
    std::memcpy(&rec[record::SubnetMask], v.mask.data(), 4);
}

bool differentNetwork(const Address& address, const std::string& pcAddress, const std::string& pcMask) {
    const auto pc = platform::parseIPv4(pcAddress);
    const auto mask = platform::parseIPv4(pcMask);
    if (!pc || !mask)
        return false;
    return (toNumber(address) & *mask) != (*pc & *mask);
}

IpActivation ipActivation(std::span<const Byte, RecordSize> rec) {
    IpActivation s;
    const bool gatewayAndMask = rec[record::Capabilities] & record::CapMailAndGateway;
    s.tcpipSupport = rec[record::OptionFlags] & record::OptTcpIp;
    s.radiosEnabled = s.tcpipSupport;
    s.addressEnabled = s.tcpipSupport;
    s.gatewayMaskEnabled = s.tcpipSupport && gatewayAndMask;
    s.address = dottedAt(rec, record::IpAddress);
    s.gateway = dottedAt(rec, record::Gateway);
    s.mask = dottedAt(rec, record::SubnetMask);
    s.manual = s.address != "0.0.0.0";
    if (s.manual) {
        // The manual set-up enables the edits whatever the TCP/IP flag said.
        s.addressEnabled = true;
        s.gatewayMaskEnabled = gatewayAndMask;
    } else {
        s.addressEnabled = s.gatewayMaskEnabled = false;
    }
    return s;
}

ManualSetup manualSetup(const platform::HostInfo& host, const std::string& addressText) {
    ManualSetup m;
    m.address = addressText;
    if (const auto pc = platform::findPcAddress(host)) {
        m.pcAddress = pc->address;
        m.pcMask = pc->mask;
    }
    if (addressText == "0.0.0.0" && !m.pcAddress.empty())
        m.address = proposeAddress(m.pcAddress);
    return m;
}

} // namespace vnk::rules
