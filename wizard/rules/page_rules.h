// What the wizard's pages decide, free of Qt: the device name shown for a box,
// the IP address check of page 3, the address it proposes, the subnet warning,
// and the texts of pages 3 and 4.
#pragma once

#include "wizard/core/server_table.h"

#include <array>
#include <optional>
#include <string>

namespace vnk::wizard {

using Ipv4 = std::array<Byte, 4>;

// "PS" and the last three bytes of the Ethernet address in upper-case hex.
std::string factoryDeviceName(const MacAddress& mac);

// Page 3's check of a typed address: not empty, exactly three full stops after
// the first character, four non-empty parts that each read as atoi reads them
// (leading digits, the rest ignored), a part that reads 0 starting with the
// digit 0, every value 0-255. The address, or nothing.
std::optional<Ipv4> parseWizardIp(const std::string& text);

// "%i.%i.%i.%i"
std::string dottedText(const Ipv4& ip);

// This PC's address with its last byte changed: 0 -> 1, 1-254 -> one more, 255 -> 254.
Ipv4 proposedAddress(const Ipv4& pc);

// The subnet warning after radio 1 was chosen on activation: not for a box
// whose address in use begins "10.0.0.", else when (box AND box mask) differs
// from (PC AND box mask).
bool subnetWarning(const Ipv4& boxInUse, const Ipv4& boxMask, const Ipv4& pc);

// Page 3's IPX/NetBEUI note for the box's type byte and option flags.
std::string protocolNote(Byte type, Byte optionFlags);

// Page 3 on activation: the per-port bytes of the chosen entry and the table's
// IP-settable flag are set; the result says how the controls start.
struct Page3Start {
    bool controlsEnabled = false;  // both radios and the IP field may be used
    int radio = 0;                 // 0 keep the IP settings, 1 give a fixed address
    std::string ipText;            // "TCP/IP 失效", the record's address or the proposal
    bool noTcpIpMessage = false;   // the PC has no TCP/IP for a box that needs it
    bool subnetWarning = false;
};
// pc: this PC's own address, when one was found.
Page3Start page3Activate(WizardServerTable& table, const std::optional<Ipv4>& pc);

// What choosing radio 1 does to the IP text: "0.0.0.0" becomes the proposal
// from this PC's address (and stays when there is none); anything else stays.
std::string radio1Text(const std::string& ipText, const std::optional<Ipv4>& pc);

// Page 2's Next with the name as the field holds it (UTF-8). A name shown as
// the box sent it keeps the box's bytes and is no change, however long; a new
// one goes into the record's alias field, which holds 15 bytes of the code
// page (Big5): a longer one is refused and nothing changes.
enum class NameChoice { Kept, Changed, TooLong };
inline constexpr std::size_t MaxAssignedNameBytes = 15;
NameChoice page2Next(WizardServerTable& table, const std::string& typed);

// Page 3's Next with the radio chosen and the IP text. Radio 0 keeps the box's
// own address in the record and the entry, whatever was proposed; radio 1 needs
// a valid address (false otherwise, nothing changes), stores it in both, and
// counts as a change whenever it differs from the address the box holds.
bool page3Next(WizardServerTable& table, int radio, const std::string& ipText);

// Page 4's seven texts for the chosen entry.
struct Summary {
    std::string deviceName, assignedName, ipx, netbeui, tcpIp, ipAssignment, ipAddress;
};
Summary summary(const WizardServerTable& table);

// The texts of the pages.
namespace text {
inline constexpr const char* TcpIpOff = "TCP/IP 失效";
inline constexpr const char* NeedTcpIp = "您必須先安裝 TCP/IP 通訊協定才能使用 Network driver 列印!";
inline constexpr const char* SubnetWarning = "警告! 系統偵測到PC與列印伺服器有不同的子網路位址!";
inline constexpr const char* InvalidIp = "不合法的 IP 位址!";
inline constexpr const char* On = "啟動";
inline constexpr const char* Off = "關閉";
inline constexpr const char* Fixed = "指定";
inline constexpr const char* Automatic = "自動";
inline constexpr const char* Stopped = "停止";
inline constexpr const char* NameTooLong = "最多只能輸入 15 個字元。";
} // namespace text

} // namespace vnk::wizard
