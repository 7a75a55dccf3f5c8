// The 66-byte identity block a box sends in answer to a search: its device name,
// its print server (alias) name, vendor and device type codes and feature flags.
#pragma once

#include "protocol/wire.h"

#include <string>

namespace vnk::protocol {

namespace identity {
inline constexpr std::size_t DeviceName = 0;      // 8 characters, no terminator
inline constexpr std::size_t DeviceNameWidth = 8;
inline constexpr std::size_t ServerName = 8;      // NUL-terminated, 46 bytes
inline constexpr std::size_t ServerNameWidth = 46;
inline constexpr std::size_t UpgradeState = 54;   // 0 after the upgrade handshake of a box with firmware
inline constexpr std::size_t Vendor = 56;
inline constexpr std::size_t DeviceType = 58;
inline constexpr std::size_t ServerType = 60;
inline constexpr std::size_t Flags = 61;          // bit 0 SNMP; bits 4-7 model letter
inline constexpr std::size_t FirmwarePresent = 64;
inline constexpr std::size_t Features = 65;       // bit 1 extended printer status; bit 0 plug-in discovery
} // namespace identity

using IdentityBlock = std::array<Byte, IdentitySize>;

// Text of a fixed-width field: up to the first NUL, at most width bytes.
inline std::string fieldText(std::span<const Byte> bytes, std::size_t offset, std::size_t width) {
    std::string s;
    for (std::size_t i = 0; i < width && offset + i < bytes.size(); ++i) {
        if (bytes[offset + i] == 0)
            break;
        s.push_back(char(bytes[offset + i]));
    }
    return s;
}

inline std::string serverName(const IdentityBlock& id) {
    return fieldText(id, identity::ServerName, identity::ServerNameWidth);
}
inline std::string deviceName(const IdentityBlock& id) {
    return fieldText(id, identity::DeviceName, identity::DeviceNameWidth);
}
inline bool supportsSnmp(const IdentityBlock& id) { return id[identity::Flags] & 0x01; }
inline bool hasExtendedPrinterStatus(const IdentityBlock& id) { return id[identity::Features] & 0x02; }
inline bool firmwarePresent(const IdentityBlock& id) { return id[identity::FirmwarePresent] != 0; }

} // namespace vnk::protocol
