// What the administration plug-in does, free of Qt and of the browser: the
// device search of the LAN, the two pages that list what it found, and the
// Wake-on-LAN magic packets. The plug-in's instances (plugin/) call these when
// the browser first gives them a window; vnkctl calls the magic packet sender.
#pragma once

#include "platform/endpoint.h"
#include "platform/error_reporter.h"
#include "platform/timing.h"
#include "protocol/identity.h"

#include <netinet/in.h>

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vnk::plugin {

// The registry key of the administration directory and of the last MAC sent.
inline constexpr const char* AdministratorKey = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Quenby\\Quenby Administrator";

// One device the search found: its identity block, the address its reply came
// from (its IP is the one the pages link to) and its Ethernet address.
struct DeviceEntry {
    protocol::IdentityBlock identity{};
    sockaddr_in from{};
    protocol::MacAddress mac{};
};
inline constexpr std::size_t MaxDevices = 30;

// The administration directory: the registry value "Path" of AdministratorKey
// (read into 150 bytes), else the current directory. keyFound tells whether
// the key and the value were there (the device filter and the page writer
// need to know).
std::string administrationDirectory(bool* keyFound = nullptr);

// XGetTorvikPort: fills list (emptied first) from the search of the LAN on
// endpoint (broadcast address and command port), with the vendor and type
// filter of Config.ini in adminDir (keyFound false: print servers only).
// Socket failures are reported as " %d: XGetTorvikPort-socket() Fail-1" etc.
// Returns 1 when the search ran, 0 when its socket could not be set up.
int XGetTorvikPort(std::vector<DeviceEntry>& list, const platform::Endpoint& endpoint,
                   const platform::Timing& timing, const std::string& adminDir, bool keyFound,
                   platform::ErrorReporter& reporter);

// WBEMLIST.htm, then WBEMMAIN.htm, in adminDir; failures reported
// ("Can not create WBEMLIST.HTM!\n", ...). keyFound false also reports " Open Key fail".
void writeDevicePages(const std::vector<DeviceEntry>& list, const std::string& adminDir, bool keyFound,
                      platform::ErrorReporter& reporter);

// --- Wake-on-LAN ---

inline constexpr std::uint16_t DefaultWolPort = 6000;
inline constexpr std::size_t MagicPacketSize = 102;

// The destination address of an IP text as inet_addr reads it: a text that is
// not a dotted address gives 255.255.255.255 (host order).
std::uint32_t magicPacketAddress(const std::string& ipText);
// The 102-byte packet for an Ethernet address text (12 hex digits, either case,
// anything after the 12th ignored); nothing for any other text.
std::optional<std::array<std::uint8_t, MagicPacketSize>> magicPacket(const std::string& macText);

// What SendMagicPacket came to.
enum class WakeResult {
    SocketFailed, // the socket could not be set up (reported)
    InvalidMac,   // the Ethernet address text is not 12 hex digits (not reported)
    SendFailed,   // the packet was built but a wait or a send failed (reported unless batch)
    Sent,         // all six sends went out
};
// Where magic packets go: the port (VNK_WOL_PORT, 6000 in real use) and the
// endpoint's broadcast address, which stands in for 255.255.255.255 (the same
// in real use; 127.255.255.255 in tests and demos, which then send nothing
// outside 127.0.0.0/8).
struct WolDestination {
    std::string broadcast = "255.255.255.255";
    std::uint16_t port = DefaultWolPort;
};
// The 6 sends at the IP text's address.
WakeResult SendMagicPacket(const std::string& ipText, const std::string& macText, const WolDestination& where,
                           const platform::Timing& timing, bool batch, platform::ErrorReporter& reporter);

// The usable lines of a MagicPkt.ini text, as (IP text, Ethernet address text).
std::vector<std::pair<std::string, std::string>> magicPacketTargets(const std::string& fileText);
// Batch mode: every target of MagicPkt.ini in the administration directory
// (nothing when the key, the value or the file is missing). Returns the number
// of packets sent.
int batchSend(const WolDestination& where, const platform::Timing& timing, platform::ErrorReporter& reporter);

// VNK_BROADCAST and VNK_WOL_PORT (default 6000); nothing and error set when a
// value is bad.
std::optional<WolDestination> wolDestinationFromEnvironment(std::string* error = nullptr);

} // namespace vnk::plugin
