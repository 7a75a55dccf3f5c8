// The setup wizard's table of found print servers, and the 81-byte pserver record
// that stands for one of them (and that pserver.bin holds, byte for byte).
#pragma once

#include "protocol/records.h"
#include "protocol/wire.h"

#include <array>
#include <cstddef>
#include <span>
#include <string>

namespace vnk::wizard {

using protocol::Byte;
using protocol::MacAddress;

namespace pserver {
inline constexpr std::size_t Size = 81;
inline constexpr std::size_t Name = 0;        // 48 bytes, NUL-terminated
inline constexpr std::size_t NameWidth = 48;
inline constexpr std::size_t MaxNameLength = 47;
inline constexpr std::size_t Ip = 48;         // 4 bytes, first dotted part first
inline constexpr std::size_t PortConfig = 69; // copy of record byte 8; low two bits: parallel ports
inline constexpr std::size_t Ethernet = 70;   // 6 bytes
inline constexpr std::size_t Type = 76;       // print server type byte of the search reply
inline constexpr std::size_t PortMask = 77;   // bit n: parallel port n+1
inline constexpr std::size_t PortModes = 78;  // 3 bytes: 0 when the type byte is 1, else 2
} // namespace pserver

using PServerRecord = std::array<Byte, pserver::Size>;

std::string pserverName(const PServerRecord& r);
void setPserverName(PServerRecord& r, const std::string& name); // at most 47 bytes kept
MacAddress pserverMac(const PServerRecord& r);

// Transport modes of the protocol check.
enum TransportMode : int { ModeTcpIp = 0, ModeIpx = 1, ModeNetbeui = 2, ModeNone = -1 };

// The status fields the wizard keeps: the first 480 bytes of the status record
// and the 4 after them.
inline constexpr std::size_t StatusCopySize = 484;
inline constexpr std::size_t StatusIpInUse = 58;   // 4 bytes
inline constexpr std::size_t StatusMaskInUse = 359; // 4 bytes

inline constexpr int MaxServers = 30;
inline constexpr std::size_t NetbiosNameSlot = 13; // 12 characters and a NUL

struct WizardServerTable {
    std::array<PServerRecord, MaxServers> servers{};
    std::array<protocol::ConfigRecord, MaxServers> records{};
    std::array<std::array<char, NetbiosNameSlot>, MaxServers> netbiosNames{};
    int count = 0;
    int chosen = 0;
    int mode = ModeTcpIp;
    bool ipxInstalled = true, tcpInstalled = true, netbeuiInstalled = true;
    // Finish writes the record back when changed is set: when page 2 gave the box
    // another name or page 3 another address than the ones it holds.
    bool changed = false;
    bool ipSettable = false;
    std::array<Byte, StatusCopySize> status{};
    // Each entry and record as the box gave them, before pages 2 and 3 changed
    // them: what "changed" is measured against, and what a choice taken back restores.
    std::array<PServerRecord, MaxServers> asFound{};
    std::array<protocol::ConfigRecord, MaxServers> asRead{};

    // Empties servers, records, NetBIOS names, the status copy and the count
    // (the rest stays): the status copy is all zero until a status read after
    // the search.
    void clear();
    // True when entry i now names another name, or its record another address,
    // than the box gave: what pages 2 and 3 set changed from.
    bool differsFromBox(int i) const;
    // One accepted search reply: dropped (false) when a server of exactly that
    // name is listed or the table is full; else appended with the name (at most
    // 47 bytes), Ethernet address and type byte, everything else 0.
    bool addFound(const std::string& name, const MacAddress& mac, Byte type);
    // A record read from entry i's server: kept as its record, and the entry's
    // Ethernet address (when takeMac), port configuration and IP taken from it.
    void takeRecord(int i, std::span<const Byte, protocol::RecordSize> record, bool takeMac);
    // True when entry i was found over NetBIOS (its name slot is not empty).
    bool foundOverNetbios(int i) const { return netbiosNames.at(std::size_t(i))[0] != 0; }
    std::string netbiosName(int i) const;
    void setNetbiosName(int i, const std::string& name); // at most 12 characters kept
};

// The record as the write sends it: byte 511 replaced by the XOR of bytes 0-510.
protocol::ConfigRecord withWizardChecksum(const protocol::ConfigRecord& record);

// The process's one table: it lives as long as the library.
WizardServerTable& serverTable();

} // namespace vnk::wizard
