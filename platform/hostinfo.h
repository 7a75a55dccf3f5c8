// What this PC knows of its own network: its IPv4 interface addresses with their
// masks, in the order a same-network check should try them (loopback last).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vnk::platform {

struct InterfaceAddress {
    std::string address; // dotted
    std::string mask;    // dotted; empty when the interface reports none
    bool loopback = false;
    std::string name; // the interface's name ("eth0"), when known
    bool leased = false; // held for a limited time, as a DHCP lease is
};

class HostInfo {
public:
    virtual ~HostInfo() = default;
    virtual std::vector<InterfaceAddress> ipv4Interfaces() const = 0;
};

// The real machine, from getifaddrs().
class SystemHostInfo final : public HostInfo {
public:
    std::vector<InterfaceAddress> ipv4Interfaces() const override;
};

// A fixed list, for tests and for tools that were told the PC's address.
class FixedHostInfo final : public HostInfo {
public:
    explicit FixedHostInfo(std::vector<InterfaceAddress> list) : m_list(std::move(list)) {}
    std::vector<InterfaceAddress> ipv4Interfaces() const override { return m_list; }

private:
    std::vector<InterfaceAddress> m_list;
};

// The directed broadcast address (address OR NOT mask) of the first IPv4
// address with a mask on the interface of that name, or nothing.
std::optional<std::string> interfaceBroadcast(const HostInfo& host, const std::string& name);

// The first address (skipping 0.0.0.0) for which a mask is known.
std::optional<InterfaceAddress> findPcAddress(const HostInfo& host);
// The same among the PC's fixed addresses: a leased one is skipped, since a box
// given its neighbour would clash with the next lease of that address.
std::optional<InterfaceAddress> findFixedPcAddress(const HostInfo& host);

// --- the PC's hardware (MAC) addresses, which IPX and NetBIOS take as theirs ---

using HardwareAddress = std::array<std::uint8_t, 6>;

// Twelve hex digits, ":" "-" or " " between them allowed; nothing otherwise.
std::optional<HardwareAddress> parseHardwareAddress(const std::string& text);
// The MAC of the interface of that name; for an empty name, that of the first
// non-loopback interface that has a non-zero one. Nothing when there is none.
std::optional<HardwareAddress> interfaceMac(const std::string& name = {});
// This PC's MAC as a transport takes it: the environment variable when it is
// set (neither all zeros nor all ones), else the first interface's MAC, else the
// locally administered 02 00 00 00 00 01. A bad value gives nothing, and error
// (when given) becomes "VARIABLE is not a <what>: value".
std::optional<HardwareAddress> localMacFromEnvironment(const char* variable, const char* what,
                                                       std::string* error = nullptr);

} // namespace vnk::platform
