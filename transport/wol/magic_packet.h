// Wake-on-LAN: the magic packet (six bytes FF and the PC's Ethernet address
// sixteen times), sent six times over UDP to one address or by broadcast, and
// the PC list of a MagicPkt.ini file. The plug-in's form and batch mode and
// vnkctl's wake send them.
#pragma once

#include "platform/error_reporter.h"
#include "platform/timing.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vnk::wol {

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
// A MagicPkt.ini larger than this is not read.
inline constexpr std::size_t MaxMagicPktBytes = 1 << 20;

// VNK_BROADCAST and VNK_WOL_PORT (default 6000); nothing and error set when a
// value is bad.
std::optional<WolDestination> wolDestinationFromEnvironment(std::string* error = nullptr);

} // namespace vnk::wol
