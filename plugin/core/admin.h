// What the administration plug-in does, free of Qt and of the browser: the
// device search of the LAN, the two pages that list what it found, and the
// magic packets of MagicPkt.ini in batch mode. The plug-in's instances (plugin/)
// call these when the browser first gives them a window.
#pragma once

#include "platform/endpoint.h"
#include "platform/error_reporter.h"
#include "platform/registry.h"
#include "platform/timing.h"
#include "protocol/identity.h"
#include "transport/wol/magic_packet.h"

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

// Message boxes of the plug-in carry this caption.
inline constexpr const char* Caption = "npkova";

// The type of the plug-in's <embed> elements.
inline constexpr const char* EmbedType = "Varnotek/x-vnk";

// What an instance does, from its embed arguments (name, value): batch=true
// sends the magic packets of MagicPkt.ini, magicpacket=true shows the form,
// anything else searches the LAN and shows the device list pages. Names and
// "true" are compared without regard to case; batch wins over magicpacket.
enum class Mode { DeviceList, MagicPacketForm, Batch };
struct InstanceFlags {
    bool magicPacket = false;
    bool batch = false;
    Mode mode() const { return batch ? Mode::Batch : magicPacket ? Mode::MagicPacketForm : Mode::DeviceList; }
};
InstanceFlags instanceFlagsOf(const std::vector<std::pair<std::string, std::string>>& arguments);

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
// Text from the network or a user as page text, never markup: read as UTF-8
// when it is, else as Windows-1252, markup characters escaped and everything
// outside ASCII as a numeric character reference (&#233;).
std::string htmlEscaped(const std::string& bytes);
// The bytes writeDevicePages writes, for the vendor of Config.ini (vendorIdOf).
struct DevicePages {
    std::string list;   // WBEMLIST.htm
    std::string frames; // WBEMMAIN.htm
};
DevicePages deviceListPages(const std::vector<DeviceEntry>& list, int vendorId);
int vendorIdOf(const std::string& adminDir);

// --- The magic packet form ---

// The IP box starts with DefaultIpText, the Ethernet address box with the last
// address sent (the registry value "MAC" of AdministratorKey). Both keep
// letters in upper case and hold at most their limit of characters.
inline constexpr std::size_t IpBoxLimit = 15, MacBoxLimit = 12;
inline constexpr const char* DefaultIpText = "255.255.255.255";
inline constexpr const char* SentText = "Send Successfully!";
// A box's text as the box keeps it: a-z in upper case, cut at limit bytes.
std::string formBoxText(std::string text, std::size_t limit);
std::optional<std::string> lastSentMac(const std::string& stateDir = platform::stateDirectory());
// Send pressed: the six magic packets (failures reported, but an invalid
// address is not: the caller shows InvalidEthernetIdText), and after a
// success the Ethernet address text kept as the last one sent, where the key
// exists. Sent is what SentText is shown for.
wol::WakeResult sendFromForm(const std::string& ipText, const std::string& macText, const wol::WolDestination& where,
                             const platform::Timing& timing, platform::ErrorReporter& reporter,
                             const std::string& stateDir = platform::stateDirectory());

// --- Wake-on-LAN in batch mode ---

// Batch mode: every target of MagicPkt.ini in the directory of the registry
// value "Path" of AdministratorKey (read into 100 bytes); nothing when the key,
// the value or the file is missing, or the file is larger than MaxMagicPktBytes.
// Returns the number of targets whose six sends all went out.
int batchSend(const wol::WolDestination& where, const platform::Timing& timing, platform::ErrorReporter& reporter,
              const std::string& stateDir = platform::stateDirectory());
// The batch of MagicPkt.ini in dir, with what became of each target.
struct BatchTarget {
    std::string ipText, macText;
    wol::WakeResult result = wol::WakeResult::SendFailed;
};
struct BatchRun {
    enum class File { Read, Missing, TooLarge } file = File::Missing;
    std::vector<BatchTarget> targets;
};
BatchRun batchSendIn(const std::string& dir, const wol::WolDestination& where, const platform::Timing& timing,
                     platform::ErrorReporter& reporter);
// The targets of MagicPkt.ini in dir, nothing sent (file tells why there are none).
BatchRun batchTargetsIn(const std::string& dir);

} // namespace vnk::plugin
