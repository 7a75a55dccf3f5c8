// What this PC knows of its own network: its IPv4 interface addresses with their
// masks, in the order a same-network check should try them (loopback last).
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace vnk::platform {

struct InterfaceAddress {
    std::string address; // dotted
    std::string mask;    // dotted; empty when the interface reports none
    bool loopback = false;
    std::string name; // the interface's name ("eth0"), when known
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

} // namespace vnk::platform
