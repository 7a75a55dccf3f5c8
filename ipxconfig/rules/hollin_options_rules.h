// The rules of the IPX utility's options page and factory default page: which
// protocol switches the page offers and shows, what its Write stores into the
// option flags, and what the factory default page announces. The factory
// settings themselves are Brevan's (rules::applyFactoryDefault), which both
// utilities write alike. Free of Qt.
#pragma once

#include "sheet/rules/options_rules.h"

#include <span>
#include <string>

namespace vnk::rules {

// One switch of the options page: whether the model offers it and whether it
// is ticked. A switch the model lacks is disabled and clear.
struct OptionSwitch {
    bool enabled = false;
    bool checked = false;
};

// The options page's switches from the option flags (byte 72) and the
// capability flags (byte 489). The diagnostic print-out and NetWare are always
// offered; TCP/IP needs capability bit 0, NetBEUI bit 5, AppleTalk bit 1.
struct HollinOptionSwitches {
    OptionSwitch diagnostic;
    OptionSwitch tcpip;
    OptionSwitch netware; // ticked when the "NetWare off" bit is clear
    OptionSwitch netbeui;
    OptionSwitch appletalk;
};
HollinOptionSwitches hollinOptionSwitches(std::span<const Byte, RecordSize> rec);

// What the options page's Write stores into the option flags: bit 7 diagnostic,
// bit 6 AppleTalk, bit 5 NetBEUI, bit 2 TCP/IP, bit 1 NetWare off. A switch the
// model lacks counts as clear and clears its bit; bits 0, 3 and 4 are kept.
struct HollinOptionValues {
    bool diagnostic = false;
    bool tcpip = false;
    bool netware = false;
    bool netbeui = false;
    bool appletalk = false;
};
void storeHollinOptionBits(std::span<Byte, RecordSize> rec, const HollinOptionValues& values);

// The values the factory default page shows: those its "set defaults" button
// will write, as far as the model has the protocol (Missing: "N/A").
enum class DefaultShown { Enable, Disable, Auto, Missing };
struct FactoryDefaultView {
    std::string deviceName; // identity bytes 0-7, the print server name to come
    DefaultShown diagnostic = DefaultShown::Disable;
    DefaultShown netware = DefaultShown::Enable;
    DefaultShown tcpip = DefaultShown::Missing;      // Enable with capability bit 0
    DefaultShown dhcpServer = DefaultShown::Missing; // Auto with capability bits 0 and 3
    DefaultShown netbeui = DefaultShown::Missing;    // Enable with capability bit 5
};
FactoryDefaultView factoryDefaultView(std::span<const Byte, RecordSize> rec, const protocol::ServerEntry& entry);

} // namespace vnk::rules
