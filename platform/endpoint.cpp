#include "platform/endpoint.h"

#include <arpa/inet.h>

#include <cstdlib>

namespace vnk::platform {

std::optional<std::uint16_t> parsePort(const std::string& text) {
    if (text.empty() || text.size() > 5)
        return std::nullopt;
    unsigned long n = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        n = n * 10 + unsigned(c - '0');
    }
    if (n == 0 || n > 65535)
        return std::nullopt;
    return std::uint16_t(n);
}

std::optional<std::uint32_t> parseIPv4(const std::string& text) {
    in_addr a{};
    if (inet_pton(AF_INET, text.c_str(), &a) != 1)
        return std::nullopt;
    return ntohl(a.s_addr);
}

std::string SettingProblem::text() const {
    const char* what = expected == Expected::PortNumber    ? "a port number"
                       : expected == Expected::Ipv4Address ? "an IPv4 address"
                                                           : "a node number";
    return variable + " is not " + what + ": " + value;
}

Endpoint Endpoint::fromEnvironment(std::string* error, std::vector<SettingProblem>* problems) {
    Endpoint e;
    auto fail = [&](SettingProblem::Expected expected, const char* name, const char* value) {
        const SettingProblem problem{expected, name, value};
        if (error && error->empty())
            *error = problem.text();
        if (problems)
            problems->push_back(problem);
    };
    if (const char* b = std::getenv("VNK_BROADCAST"); b && *b) {
        if (parseIPv4(b))
            e.broadcast = b;
        else
            fail(SettingProblem::Expected::Ipv4Address, "VNK_BROADCAST", b);
    }
    auto port = [&](const char* name, auto assign) {
        if (const char* v = std::getenv(name); v && *v) {
            if (auto p = parsePort(v))
                assign(*p);
            else
                fail(SettingProblem::Expected::PortNumber, name, v);
        }
    };
    port("VNK_PORT", [&](std::uint16_t p) { e.commandPort = p; });
    port("VNK_FW_PORT", [&](std::uint16_t p) { e.firmwarePort = p; });
    port("VNK_IPX_PORT", [&](std::uint16_t p) { e.ipxPort = p; });
    port("VNK_NETBIOS_PORT", [&](std::uint16_t p) { e.netbiosPort = p; });
    port("VNK_WOL_PORT", [&](std::uint16_t p) { e.wolPort = p; });
    port("VNK_LPD_PORT", [&](std::uint16_t p) { e.lpdPort = p; });
    return e;
}

bool Endpoint::isLoopback() const {
    const auto a = parseIPv4(broadcast);
    return a && (*a >> 24) == 127;
}

} // namespace vnk::platform
