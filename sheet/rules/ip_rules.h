// The rules of the IP settings page: the strict address parser, the mask and
// gateway consistency check, the proposal of an address next to this PC's, the
// same-network question and what Write stores. The page and vnkctl both use them.
#pragma once

#include "platform/hostinfo.h"
#include "protocol/records.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace vnk::rules {

using protocol::Byte;
using Address = std::array<Byte, 4>;

// Strict: exactly three dots after the first character, four non-empty pieces,
// each read by its leading decimal number (so "4x" is 4), 0-255, and a piece
// that reads as 0 must start with "0".
std::optional<Address> parseStrictAddress(std::string_view text);

// First octet most significant.
std::uint32_t toNumber(const Address& a);
Address fromNumber(std::uint32_t n);
std::string dotted(const Address& a);

// Ones followed by zeros from the most significant bit (0 counts).
bool isContiguousMask(std::uint32_t mask);

enum class Consistency { Accepted, MaskError, GatewayError };
Consistency checkMaskAndGateway(std::uint32_t address, std::uint32_t gateway, std::uint32_t mask);

// The address proposed for a box on this PC's network: the PC's address with its
// last octet one higher, 255 becoming 254. Empty when the PC address is not one.
std::string proposeAddress(const std::string& pcAddress);

enum class IpControl { IpAddress, Gateway, Mask };

struct IpInput {
    bool manual = false;
    std::string address, gateway, mask;
};

// Which check refused the input: each has its own message.
enum class IpCheck { IpAddress, Gateway, Mask, MaskAgainstAddress, GatewayOutsideNetwork };

struct Refusal {
    std::string message;
    IpControl focus;
    IpCheck check;
};

// The checks of Write in their order; nothing when the input may be stored.
std::optional<Refusal> validateIpInput(const IpInput& in);

struct IpValues {
    Address address{}, gateway{}, mask{};
};
// What Write stores for validated input ("Auto" stores 0.0.0.0 three times).
IpValues ipValues(const IpInput& in);
void storeIpValues(std::span<Byte, protocol::RecordSize> rec, const IpValues& v, bool tcpipSupport);

// True when the address lies outside this PC's network and the user must be
// asked. When this PC's address or mask is unknown there is nothing to compare
// with, and no question is asked.
bool differentNetwork(const Address& address, const std::string& pcAddress, const std::string& pcMask);


// What the page shows when it becomes active.
struct IpActivation {
    bool tcpipSupport = false;
    bool radiosEnabled = false;
    bool addressEnabled = false;
    bool gatewayMaskEnabled = false;
    bool manual = false;
    std::string address, gateway, mask;
};
IpActivation ipActivation(std::span<const Byte, protocol::RecordSize> rec);

// The manual-mode set-up: finds this PC's address and mask and, only when the
// address text is "0.0.0.0", proposes one next to the PC's.
struct ManualSetup {
    std::string pcAddress, pcMask; // empty when none was found
    std::string address;           // the address text afterwards
};
ManualSetup manualSetup(const platform::HostInfo& host, const std::string& addressText);

} // namespace vnk::rules
