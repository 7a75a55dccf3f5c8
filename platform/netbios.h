// NetBIOS datagrams through network control blocks (NCBs), as the Netbios() call
// knows them, carried by the NetBIOS-over-TCP/IP datagram service: every NetBIOS
// datagram is one RFC 1002 DIRECT_UNIQUE or DIRECT_GROUP datagram (first-level
// encoded names, no scope) sent as a UDP broadcast on the adapter's NetBIOS
// datagram port (138 in real use).
//
// A LAN adapter (LANA) is a broadcast-capable IPv4 interface. Its socket is bound
// to the NetBIOS port with the address shared, so that every program of the host,
// the simulated LAN included, hears every datagram on that port; each keeps only
// the datagrams addressed to a name it registered (a unique name, or a group name)
// and never hears its own.
//
// There are no threads: an asynchronous receive is completed by poll() (or by a
// wait, which keeps polling), never behind the caller's back. NetBEUI counts as
// installed only when VNK_NETBIOS_PORT is set.
#pragma once

#include "platform/hostinfo.h"

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vnk::platform {

// --- names ---

inline constexpr std::size_t NetbiosNameSize = 16;
using NetbiosName = std::array<std::uint8_t, NetbiosNameSize>;

// The text cut to 16 bytes and padded with spaces to 16; no NUL.
NetbiosName makeNetbiosName(std::string_view text);
// The name without its trailing spaces.
std::string netbiosNameText(const NetbiosName& name);

// The group every print server box is a member of; a datagram to it is sent as
// a DIRECT_GROUP datagram.
inline constexpr const char* KovaGroupName = "KOVA.GROUP";
inline constexpr std::uint16_t DefaultNetbiosPort = 138;

// --- the RFC 1002 datagram ---

inline constexpr std::uint8_t DirectUniqueDatagram = 0x10;
inline constexpr std::uint8_t DirectGroupDatagram = 0x11;
// A B node's first and only fragment.
inline constexpr std::uint8_t FirstFragmentBNode = 0x02;
inline constexpr std::size_t NetbiosDatagramHeaderSize = 14;
inline constexpr std::size_t EncodedNetbiosNameSize = 34; // length 32, 32 letters, root label
// The most user data one datagram carries: what fits in one Ethernet frame.
inline constexpr std::size_t NetbiosMaxUserData =
    1500 - 20 - 8 - NetbiosDatagramHeaderSize - 2 * EncodedNetbiosNameSize;

struct NetbiosDatagram {
    std::uint8_t type = DirectUniqueDatagram;
    std::uint8_t flags = FirstFragmentBNode;
    std::uint16_t id = 0;
    std::uint32_t sourceIp = 0; // host order
    std::uint16_t sourcePort = 0;
    NetbiosName source{};
    NetbiosName destination{};
    std::vector<std::uint8_t> data;
};

// The first-level encoding of a name: length byte 32, two letters 'A' + nibble
// per byte (high nibble first), then the root label 0.
std::array<std::uint8_t, EncodedNetbiosNameSize> encodeNetbiosName(const NetbiosName& name);
// Nothing unless the 34 bytes are exactly such an encoding (a scope is refused).
std::optional<NetbiosName> decodeNetbiosName(std::span<const std::uint8_t> encoded);

// MSG_TYPE, FLAGS, DGM_ID, SOURCE_IP, SOURCE_PORT, DGM_LENGTH (the names and the
// user data), PACKET_OFFSET 0, the two encoded names, the user data. Empty when
// the type is neither direct datagram or the data is longer than NetbiosMaxUserData.
std::vector<std::uint8_t> encodeNetbiosDatagram(const NetbiosDatagram& datagram);
// Nothing unless the datagram is a whole DIRECT_UNIQUE or DIRECT_GROUP datagram:
// first fragment with no more to follow, offset 0, DGM_LENGTH equal to what
// follows the header, two well-formed names, at most NetbiosMaxUserData of data.
std::optional<NetbiosDatagram> decodeNetbiosDatagram(std::span<const std::uint8_t> bytes);

// --- adapters ---

struct NetbiosAdapter {
    std::uint8_t lana = 0;
    std::string address = "127.0.0.1";         // the adapter's own IPv4 address
    std::string broadcast = "127.255.255.255"; // where its datagrams go
    std::uint16_t port = DefaultNetbiosPort;   // the NetBIOS datagram port
    HardwareAddress mac{};                     // what adapter status reports
};

// The adapters NetBIOS has on this PC for that broadcast address and port: when
// the broadcast address lies in 127.0.0.0/8, one loopback LANA (address
// 127.0.0.1, the MAC of VNK_NETBIOS_MAC, else of the first interface); otherwise
// one LANA per broadcast-capable non-loopback IPv4 interface that is up, with
// its directed broadcast address and its MAC (02 00 and its IPv4 address when
// it has none), numbered from 0.
std::vector<NetbiosAdapter> netbiosAdapters(const std::string& broadcast, std::uint16_t port,
                                            std::string* error = nullptr);
// The same from VNK_BROADCAST and VNK_NETBIOS_PORT; nothing when
// VNK_NETBIOS_PORT is not set (NetBEUI is not installed) or a value is bad
// (error says which; it is cleared first).
std::optional<std::vector<NetbiosAdapter>> netbiosAdaptersFromEnvironment(std::string* error = nullptr);

// --- the network control block ---

// Command codes and return codes of NetBIOS 3.0.
namespace ncb {
inline constexpr std::uint8_t Asynch = 0x80;
inline constexpr std::uint8_t SendDatagram = 0x20;
inline constexpr std::uint8_t ReceiveDatagram = 0x21;
inline constexpr std::uint8_t AddName = 0x30;
inline constexpr std::uint8_t Reset = 0x32;
inline constexpr std::uint8_t AdapterStatus = 0x33;
inline constexpr std::uint8_t Cancel = 0x35;
inline constexpr std::uint8_t AddGroupName = 0x36;
inline constexpr std::uint8_t EnumerateLanas = 0x37;

inline constexpr std::uint8_t Good = 0x00;
inline constexpr std::uint8_t BufferLength = 0x01; // illegal buffer length
inline constexpr std::uint8_t IllegalCommand = 0x03;
inline constexpr std::uint8_t CommandTimedOut = 0x05;
inline constexpr std::uint8_t Incomplete = 0x06; // message incomplete
inline constexpr std::uint8_t BadBuffer = 0x07;  // illegal buffer address
inline constexpr std::uint8_t Cancelled = 0x0B;  // command cancelled
inline constexpr std::uint8_t DuplicateName = 0x0D;
inline constexpr std::uint8_t NameTableFull = 0x0E;
inline constexpr std::uint8_t IllegalNameNumber = 0x13;
inline constexpr std::uint8_t NoWildcard = 0x15;            // "*" or NUL at the start of a name
inline constexpr std::uint8_t BadLana = 0x23;               // ncb_lana_num invalid
inline constexpr std::uint8_t CancelFailed = 0x24;          // command completed while cancel occurring
inline constexpr std::uint8_t EnvironmentNotDefined = 0x34; // no reset yet
inline constexpr std::uint8_t SystemError = 0x40;
inline constexpr std::uint8_t Pending = 0xFF;

// The enumerate-LANAs buffer: a length byte, then the numbers.
inline constexpr std::size_t LanaEnumSize = 256;
// The adapter status buffer: a 60-byte adapter block (its address first), then
// 18 bytes per name (16 of name, its number, flags 0x04 registered | 0x80 group).
inline constexpr std::size_t AdapterStatusSize = 60;
inline constexpr std::size_t NameBufferSize = 18;
} // namespace ncb

struct NCB {
    std::uint8_t ncb_command = 0;
    std::uint8_t ncb_retcode = 0;
    std::uint8_t ncb_lsn = 0;
    std::uint8_t ncb_num = 0;
    std::uint8_t* ncb_buffer = nullptr;
    std::uint16_t ncb_length = 0;
    std::uint8_t ncb_callname[NetbiosNameSize] = {};
    std::uint8_t ncb_name[NetbiosNameSize] = {};
    std::uint8_t ncb_rto = 0;
    std::uint8_t ncb_sto = 0;
    std::uint8_t ncb_lana_num = 0;
    std::uint8_t ncb_cmd_cplt = 0;
    std::uint8_t ncb_reserve[10] = {};
};

// The NetBIOS of this PC over its adapters. Commands:
//   0x37 enumerate LANAs: the LANA_ENUM into ncb_buffer (BufferLength when it
//        does not fit ncb_length);
//   0x32 reset: deletes the LANA's names, cancels its pending receives; every
//        other command on a LANA needs one first (EnvironmentNotDefined);
//   0x33 adapter status of the local adapter (ncb_callname "*"): the adapter
//        block and name table, cut to ncb_length with Incomplete; ncb_length
//        becomes what was written. Another call name: CommandTimedOut;
//   0x30 / 0x36 add name / add group name ncb_name: its number in ncb_num (2-254);
//   0x20 send datagram from name number ncb_num to ncb_callname (at most
//        NetbiosMaxUserData bytes); a group name goes as DIRECT_GROUP;
//   0xA1 receive datagram, asynchronous, for name number ncb_num: returns Good
//        at once with ncb_retcode and ncb_cmd_cplt Pending; completed by poll()
//        with ncb_length the bytes received, cut to the buffer with Incomplete,
//        and ncb_callname the sender's name. The NCB and its buffer must stay
//        until it completes or is cancelled. Receives complete oldest first;
//        a datagram that finds no receive posted for its name is lost;
//   0x35 cancel the pending NCB ncb_buffer points to: it completes with
//        Cancelled; CancelFailed when it is not pending (the pointer is only
//        compared, never followed).
// Other commands: IllegalCommand. A bad LANA number: BadLana.
class NetbiosLayer {
  public:
    // groupNames: names that are sent to as groups besides those added here
    // with 0x36 (the boxes' group, by default).
    explicit NetbiosLayer(std::vector<NetbiosAdapter> adapters,
                          std::vector<std::string> groupNames = {KovaGroupName});
    ~NetbiosLayer();
    NetbiosLayer(const NetbiosLayer&) = delete;
    NetbiosLayer& operator=(const NetbiosLayer&) = delete;

    // The Netbios() call: the return code, also left in ncb_retcode (and, for a
    // command that completed, in ncb_cmd_cplt).
    std::uint8_t Netbios(NCB* ncb);

    // Reads what the adapters' sockets hold now and completes the pending
    // receives they are for. Returns the number of receives completed.
    int poll();
    // Keeps polling until done() is true (checked after every poll) or the
    // timeout has passed; true when done() was. Sleeps only while no socket
    // has anything to read.
    bool waitUntil(std::chrono::microseconds timeout, const std::function<bool()>& done);
    // Keeps polling for the whole timeout.
    void wait(std::chrono::microseconds timeout);

    const std::vector<NetbiosAdapter>& adapters() const { return m_adapters; }
    // Datagrams sent, for tests and benchmarks.
    std::size_t datagramsSent() const { return m_sent; }

  private:
    struct Name {
        NetbiosName name{};
        std::uint8_t number = 0;
        bool group = false;
    };
    struct Lana {
        int fd = -1;
        bool reset = false;
        std::uint32_t address = 0;   // host order
        std::uint32_t broadcast = 0; // host order
        std::vector<Name> names;
        std::uint8_t nextNumber = 2;
    };
    struct PendingReceive {
        NCB* ncb;
        std::size_t lana;
        std::uint8_t number;
    };

    std::uint8_t finish(NCB* ncb, std::uint8_t code);
    // The LANA of that number, or null (an adapter that could not be opened
    // counts as none).
    Lana* lanaOf(std::uint8_t number, std::size_t* index = nullptr);
    const Name* nameOf(const Lana& lana, std::uint8_t number) const;
    bool isGroup(const Lana& lana, const NetbiosName& name) const;

    std::uint8_t enumerate(NCB* ncb);
    std::uint8_t reset(NCB* ncb);
    std::uint8_t adapterStatus(NCB* ncb);
    std::uint8_t addName(NCB* ncb, bool group);
    std::uint8_t sendDatagram(NCB* ncb);
    std::uint8_t receiveDatagram(NCB* ncb);
    std::uint8_t cancel(NCB* ncb);
    void cancelPending(std::size_t lana);
    void deliver(std::size_t lana, const NetbiosDatagram& datagram);

    std::vector<NetbiosAdapter> m_adapters;
    std::vector<Lana> m_lanas;
    std::vector<NetbiosName> m_groups;
    std::vector<PendingReceive> m_pending; // oldest first
    std::uint16_t m_nextId;
    std::size_t m_sent = 0;
};

} // namespace vnk::platform
