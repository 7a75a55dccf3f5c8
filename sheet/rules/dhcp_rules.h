// The rules of the DHCP setup and DHCP information pages, free of Qt so that the
// pages and vnkctl share them: the loose address parser, what activation shows,
// the Write checks in their order with their messages and focus, the
// consistency check and what Write stores.
#pragma once

#include "sheet/rules/ip_rules.h"
#include "protocol/records.h"
#include "protocol/status_record.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vnk::rules {

using protocol::Byte;
using protocol::RecordSize;

// --- the loose address parser of the DHCP setup page ---

// Splits at "." (empty pieces are skipped); the first four pieces are read by
// their leading decimal number (blanks and a sign allowed, the rest of the piece
// ignored) and each gives the low 8 bits of that number. A piece whose byte is
// 0 must start with "0". Fewer than four pieces is invalid; further pieces are
// ignored. There is no range check: "257" gives 1, "256" is invalid.
std::optional<Address> parseLooseAddress(std::string_view text);

// --- activation ---

enum class DhcpStartup { Auto = 0, Enable = 1, Disable = 2 };
enum class DhcpSetup { Auto = 0, Manual = 1 };

// Why the setup page refuses to work on a box, checked in this order.
enum class DhcpRefusal { None, NoDhcpServer, NoTcpIp, TcpIpDisabled };
DhcpRefusal dhcpSetupRefusal(std::span<const Byte, RecordSize> rec);
// "'%s' do NOT support DHCP !!!", "'%s' do NOT support TCP/IP !!!" or
// "You must ENABLE TCP/IP first!!"; empty for None.
std::string dhcpRefusalText(DhcpRefusal refusal, const std::string& serverName);

// What the setup page holds; the texts are what the edits show.
struct DhcpSetupValues {
    std::string printServerIp;
    std::string startingIp;
    std::string netmask;
    std::string gateway;
    std::string dns;
    std::uint32_t ipRange = 0;
    DhcpStartup startup = DhcpStartup::Auto;
    DhcpSetup setup = DhcpSetup::Auto;
};

// The page's values from the record: start-up mode 2 or more selects Disable, a
// non-zero mode Enable, 0 Auto; the setup is Manual when any of the starting IP,
// IP range, gateway or netmask is non-zero (the DNS server alone does not count).
DhcpSetupValues dhcpSetupValues(std::span<const Byte, RecordSize> rec);

// Which controls are enabled (when the page did not refuse): the start-up radio
// buttons always; the setup radio buttons unless Disable; the six edits only for
// a Manual setup that is not disabled.
struct DhcpControlStates {
    bool startupButtons = true;
    bool setupButtons = false;
    bool edits = false;
};
DhcpControlStates dhcpControlStates(DhcpStartup startup, DhcpSetup setup);

// --- Write ---

enum class DhcpControl { PrintServerIp, StartingIp, Netmask, Gateway, Dns, IpRange };

// A failed check: its code (a DhcpConsistency value, or DhcpRangeAboveLimit),
// the message in English, the control to focus and, for the range, the limit.
// Pages that show other texts pick them by code.
struct DhcpFailure {
    std::string message;
    DhcpControl focus;
    int code = 0;
    std::uint32_t limit = 0;
};

// Result codes of the consistency check; 0 accepts.
enum DhcpConsistency : int {
    DhcpOk = 0,
    DhcpBadPrintServerIp = 1,
    DhcpBadGateway = 2,
    DhcpBadStartingIp = 3,
    DhcpBadNetmask = 4,
    DhcpRangeTooLarge = 5,
    DhcpBadDns = 6,
    DhcpRangeAboveLimit = 7, // not a consistency result: the range check before it
};

// The consistency check on the print server IP a, starting IP s, gateway g,
// netmask m (first octet most significant) and the IP range r. A netmask of 0
// with a starting IP or gateway set is taken as 255.255.0.0.
int dhcpConsistency(std::uint32_t a, std::uint32_t s, std::uint32_t g, std::uint32_t m, std::uint32_t r);
// The message and the control of result codes 1-6.
DhcpFailure dhcpConsistencyFailure(int code);

// L: the number of addresses from the starting IP up to the last address of its
// subnet, (S AND M) + (NOT M) - S in unsigned 32-bit arithmetic.
std::uint32_t dhcpRangeLimit(std::uint32_t s, std::uint32_t m);

// The record keeps the IP range in 16 bits, so a range is refused above the
// smaller of L and this (a larger one would be stored cut to its low 16 bits).
inline constexpr std::uint32_t MaxStoredRange = 0xFFFF;

// The checks of a Manual setup in their order, stopping at the first failure:
// print server IP, gateway, starting IP and netmask texts parse; range not 0;
// range within the limit ("IP range just can be from 1 to %u"); DNS text parses;
// consistency check.
std::optional<DhcpFailure> checkDhcpManual(const DhcpSetupValues& v);

// Write: Disable stores 2 at 488 and nothing else; otherwise the start-up mode
// goes to 488 and an Auto setup clears 470-487 (the print server IP at 498 is
// kept), a Manual setup runs checkDhcpManual and stores all fields, the range
// 16-bit little-endian. On a failure nothing at all is stored and the caller
// shows the message, focuses the control and does not write the record. The
// checksum is left to whoever sends the record.
std::optional<DhcpFailure> storeDhcpSetup(const DhcpSetupValues& v, std::span<Byte, RecordSize> rec);

// --- the DHCP information page ---

// The page refuses (but still fills its fields) when capability bit 3 is clear:
// "'%s' do NOT support DHCP !!!"; nothing otherwise.
std::optional<std::string> dhcpInformationRefusal(std::span<const Byte, RecordSize> rec,
                                                  const std::string& serverName);

// "Auto/", "Enable/" or "Disable/" for record mode 0, 1, 2 (nothing for other
// modes) followed by "Inactive" or "Active" for status state 0 or 1; any other
// state keeps the previous text.
std::string dhcpStatusText(Byte mode, Byte state, const std::string& previous);

struct DhcpInformation {
    std::string status;
    std::string startingIp;
    std::string nextAvailableIp;
    std::string gateway;
    std::string netmask;
    std::string dns;
};

// The information page's fields from the record and the status buffer as last
// read; previousStatus is what the Status field showed before.
DhcpInformation dhcpInformation(std::span<const Byte, RecordSize> rec, const protocol::StatusBuffer& status,
                                const std::string& previousStatus);

// --- vnkctl set ---

// What the DHCP setup page would refuse of a change from before to after, in the
// page's messages: nothing when no DHCP field (470-488) changed. Otherwise the
// page's refusal when the box cannot run it, and, when the start-up mode is not
// Disable and the setup is Manual, the first failing Write check on the record's
// values (at most one message, as the page stops at the first).
std::vector<std::string> checkDhcpChange(std::span<const Byte, RecordSize> before,
                                         std::span<const Byte, RecordSize> after,
                                         const std::string& serverName);

} // namespace vnk::rules
