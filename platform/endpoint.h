// Where the protocol's datagrams go: the broadcast address and the ports. Real use
// broadcasts to 255.255.255.255; tests, demos and CI set VNK_BROADCAST to the
// loopback broadcast 127.255.255.255 and give every test its own ports.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vnk::platform {

// A setting of the environment that cannot be used: which one, its value, and
// what it should have been; a utility names it in its own words.
struct SettingProblem {
    enum class Expected { PortNumber, Ipv4Address, NodeNumber };
    Expected expected;
    std::string variable, value;
    // "VNK_PORT is not a port number: 99999"
    std::string text() const;
};

struct Endpoint {
    std::string broadcast = "255.255.255.255";
    std::uint16_t commandPort = 13364;  // 0x3434
    std::uint16_t firmwarePort = 13393; // 0x3451
    std::optional<std::uint16_t> ipxPort;     // IPX is configured only when set
    std::optional<std::uint16_t> netbiosPort; // NetBEUI is configured only when set
    std::uint16_t wolPort = 6000;             // where magic packets go
    std::uint16_t lpdPort = 515;              // where a box takes print jobs (LPD)

    // Reads VNK_BROADCAST, VNK_PORT, VNK_FW_PORT, VNK_IPX_PORT, VNK_NETBIOS_PORT,
    // VNK_WOL_PORT, VNK_LPD_PORT.
    // A value that is not an IPv4 address or a port 1-65535 is an error: error gets
    // the reason of the first, problems every one, and the default stays in place.
    static Endpoint fromEnvironment(std::string* error = nullptr, std::vector<SettingProblem>* problems = nullptr);

    // True when the broadcast address lies in 127.0.0.0/8.
    bool isLoopback() const;
};

// Parses a port number 1-65535; nullopt for anything else.
std::optional<std::uint16_t> parsePort(const std::string& text);
// Parses a dotted IPv4 address (inet_pton); nullopt when it is not one.
std::optional<std::uint32_t> parseIPv4(const std::string& text);

} // namespace vnk::platform
