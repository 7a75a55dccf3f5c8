// What the administration plug-in does, free of Qt and of the browser: the
// device search of the LAN, the two pages that list what it found, and the
// Wake-on-LAN magic packets. The plug-in's instances (plugin/) call these when
// the browser first gives them a window; vnkctl calls the magic packet sender.
#pragma once

#include "platform/endpoint.h"
#include "platform/error_reporter.h"
#include "platform/registry.h"
#include "platform/timing.h"
#include "protocol/identity.h"

#include <netinet/in.h>

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
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
// the key and the value were there (the device filter needs to know), keyOpened
// whether the key alone was (the page writer needs to know). An empty "Path"
// names no directory and counts as missing.
std::string administrationDirectory(bool* keyFound = nullptr, bool* keyOpened = nullptr,
                                    const std::string& stateDir = platform::stateDirectory());

// XGetTorvikPort: fills list (emptied first) from the search of the LAN on
// endpoint (broadcast address and command port), with the vendor and type
// filter of Config.ini in adminDir (keyFound false: print servers only).
// Socket failures are reported as " %d: XGetTorvikPort-socket() Fail-1" etc.
// Returns 1 when the search ran, 0 when its socket could not be set up (or the
// endpoint's broadcast address is not an IPv4 address, which is reported too).
int XGetTorvikPort(std::vector<DeviceEntry>& list, const platform::Endpoint& endpoint,
                   const platform::Timing& timing, const std::string& adminDir, bool keyFound,
                   platform::ErrorReporter& reporter);

// WBEMLIST.htm, then WBEMMAIN.htm, in adminDir; failures reported
// ("Can not create WBEMLIST.HTM!\n", ...; a page that could not be written
// whole is reported the same way). keyOpened false (the registry key could not
// be opened) first reports " Open Key fail". Print server names are
// HTML-escaped in the list page, read as UTF-8 when they are, else as
// Windows-1252, with every character outside ASCII as a numeric character
// reference (&#233;).
void writeDevicePages(const std::vector<DeviceEntry>& list, const std::string& adminDir, bool keyOpened,
                      platform::ErrorReporter& reporter);

// --- Wake-on-LAN ---

inline constexpr std::uint16_t DefaultWolPort = 6000;
inline constexpr std::size_t MagicPacketSize = 102;

// The destination address of an IP text as inet_addr reads it ("10.1" and hex
// or octal parts included): a text that is not a dotted address gives
// 255.255.255.255 (host order), and so does an empty text, which a MagicPkt.ini
// line without a hyphen gives: such a line wakes its PC by broadcast.
std::uint32_t magicPacketAddress(const std::string& ipText);
// The 102-byte packet for an Ethernet address text (12 hex digits, either case,
// anything after the 12th ignored); nothing for any other text.
std::optional<std::array<std::uint8_t, MagicPacketSize>> magicPacket(const std::string& macText);
// What the form shows (stop icon, not in batch mode) for an InvalidMac result.
inline constexpr const char* InvalidEthernetIdText =
    "Invalid Ethernet ID! The Ethernet ID should be\npresented in a hexadecimal form such as 0000B400A5F6.";

// What SendMagicPacket came to. SendMagicPacket's 1 is SendFailed or Sent.
enum class WakeResult {
    SocketFailed, // the socket could not be set up (reported)
    InvalidMac,   // the Ethernet address text is not 12 hex digits (not reported: the caller shows
                  // InvalidEthernetIdText unless in batch mode)
    Refused,      // the destination lies outside 127.0.0.0/8 while the broadcast address is a
                  // loopback one (reported, also in batch mode); nothing was sent
    SendFailed,   // the packet was built but not all six sends went out: a wait or a send failed
                  // (reported unless batch), or a send used up its tries (reported unless batch
                  // when no send went out at all)
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
// The address the packets for an IP text go to (host order): magicPacketAddress,
// with 255.255.255.255 replaced by where.broadcast. Nothing when where.broadcast
// is not an IPv4 address, or is a loopback address and the destination lies
// outside 127.0.0.0/8.
std::optional<std::uint32_t> magicPacketDestination(const std::string& ipText, const WolDestination& where);
// The 6 sends at the IP text's address.
WakeResult SendMagicPacket(const std::string& ipText, const std::string& macText, const WolDestination& where,
                           const platform::Timing& timing, bool batch, platform::ErrorReporter& reporter);

// The usable lines of a MagicPkt.ini text, as (IP text, Ethernet address text).
std::vector<std::pair<std::string, std::string>> magicPacketTargets(const std::string& fileText);
// Batch mode: every target of MagicPkt.ini in the directory of the registry
// value "Path" of AdministratorKey (read into 100 bytes); nothing when the key,
// the value or the file is missing, or the file is larger than MaxMagicPktBytes.
// Returns the number of targets whose six sends all went out.
inline constexpr std::size_t MaxMagicPktBytes = 1 << 20;
int batchSend(const WolDestination& where, const platform::Timing& timing, platform::ErrorReporter& reporter,
              const std::string& stateDir = platform::stateDirectory());

// VNK_BROADCAST and VNK_WOL_PORT (default 6000); nothing and error set when a
// value is bad.
std::optional<WolDestination> wolDestinationFromEnvironment(std::string* error = nullptr);

} // namespace vnk::plugin
