// The rules of the device options page: the alias name, the option switches and
// the factory-default record. Free of Qt; vnkctl's factory-default uses them too.
#pragma once

#include "protocol/pserver_context.h"
#include "protocol/records.h"

#include <span>
#include <string>
#include <string_view>

namespace vnk::rules {

using protocol::Byte;
using protocol::RecordSize;

inline constexpr std::size_t MaxAliasLength = 15;

inline const char* const AliasChangedMessage =
    "The Alias Name was changed, you have to 'RESET' it to make it work properly";

// The print server name of the entry, or its device name (identity bytes 0-7)
// when the name is empty: the alias text on activation and the name field of
// the DHCP information page.
std::string nameOrDeviceName(const protocol::ServerEntry& entry);

// Restores the factory settings in the record: the alias becomes the 8 bytes of
// the device name with a NUL after them (25-31 kept); SNMP texts, the first
// bytes of the NetWare and NDS names, the IP, mask and gateway, the DHCP server
// fields, the mail blocks, the print flags and the SMB group name are cleared;
// NetWare polling 2, mail polling 1, DHCP start-up mode Auto; option bits 7 and
// 1 cleared, 2 and 5 set. The AppleTalk texts and every other byte are kept.
// The entry's print server name becomes the device name (8 bytes and a NUL).
// The checksum is left to whoever sends the record.
void applyFactoryDefault(std::span<Byte, RecordSize> rec, protocol::ServerEntry& entry);

// The alias rule of Write: when alias differs from the entry's print server
// name (exact, case-sensitive), it becomes the entry's name and the alias field
// (text and NUL, the rest of the field kept). Returns true when it changed: the
// caller updates the server list line and shows AliasChangedMessage. An alias
// longer than MaxAliasLength is never stored (false); the page's edit refuses it.
bool applyAliasName(std::span<Byte, RecordSize> rec, protocol::ServerEntry& entry, std::string_view alias);

// Enabled state and value of each check box; factoryDefault disables all of them
// and the alias edit.
struct OptionBoxes {
    bool aliasEnabled = true;
    bool diagnosticEnabled = true;
    bool diagnostic = false;
    bool netbeuiEnabled = false; // capability bit 5
    bool netbeui = false;
    bool appletalkEnabled = false; // capability bit 1
    bool appletalk = false;
};
// On activation (factoryDefaultTicked false) the boxes show the option bits as
// far as the capabilities allow; a box the model lacks is disabled and clear.
OptionBoxes optionBoxes(std::span<const Byte, RecordSize> rec, bool factoryDefaultTicked = false);

// Option bit 7 from the diagnostic box, bit 5 from NetBEUI and bit 6 from
// AppleTalk; a box whose capability is missing is clear and clears its bit.
void storeOptionBits(std::span<Byte, RecordSize> rec, bool diagnostic, bool netbeui, bool appletalk);

struct OptionsPageValues {
    std::string alias;
    bool diagnostic = false;
    bool factoryDefault = false;
    bool netbeui = false;
    bool appletalk = false;
};

struct OptionsWriteResult {
    bool accepted = true;     // false: the alias is too long and nothing changed
    bool nameChanged = false; // update the list line and show AliasChangedMessage
};

// Write: factory default ticked applies applyFactoryDefault and always reports a
// changed name; otherwise the alias rule, then the option bits.
OptionsWriteResult applyOptionsPage(std::span<Byte, RecordSize> rec, protocol::ServerEntry& entry,
                                    const OptionsPageValues& values);

} // namespace vnk::rules
