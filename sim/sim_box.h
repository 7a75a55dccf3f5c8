// A simulated print server box: it keeps its configuration record in non-volatile
// memory (a file when a state directory is given), answers every command of the
// device protocol with the real bytes, applies a written record only after a
// reset, and is silent while it restarts.
#pragma once

#include "protocol/identity.h"
#include "protocol/records.h"
#include "sim/sim_firmware.h"

#include <chrono>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace vnk::sim {

using protocol::Byte;
using protocol::MacAddress;
using Clock = std::chrono::steady_clock;

struct PrinterSpec {
    std::string display;        // the printer's display area, "KEY=value" lines
    std::string identification; // ";"-terminated items
    std::optional<std::uint16_t> displayLength;        // override of L1 (to model a faulty box)
    std::optional<std::uint16_t> identificationLength; // override of L2
};

// What can go wrong with a box, on request.
struct FaultSpec {
    double drop = 0;      // chance that a reply is lost
    double duplicate = 0; // chance that a reply is sent twice
    double garble = 0;    // chance that one reply byte is flipped
    int delayMs = 0;      // every reply leaves this late
    int reorderMs = 0;    // each reply leaves up to this much later again, at random: replies overtake each other
    int truncate = 0;     // every reply loses this many bytes at its end
    int extend = 0;       // every reply gains this many zero bytes
    bool silent = false;  // answers nothing at all
    bool udpSilent = false; // answers nothing over UDP (only over IPX and NetBIOS)
    std::vector<int> ignore; // command codes it does not answer
    bool refuseWrites = false; // keeps its record and answers a write unconfirmed (its reply mark 0)
    bool wrongPrinterIndex = false; // printer status replies name another port
    bool badStatusAfter66 = false;  // status reply cut to 66 bytes
    int firmwareStopAfter = -1;     // stops asking for blocks after this many requests
    double firmwareRepeat = 0;      // chance that after a new block the box asks again for one it already has
};

// What the box reports of its NetWare side in its status record.
struct QueueAttachment {
    std::string fileServer;
    std::string queue;
};
struct NetwareStatus {
    std::array<Byte, 4> network{};  // the IPX network number the box found
    bool loggedInToPrimary = false; // to the file server its record names
    std::string loggedInTo;         // another file server it is logged in to ("" none)
    // LPT1-LPT3. The serial ports' blocks share their first bytes with the
    // subnet mask in use and the DHCP server's status, which the box reports
    // there instead.
    std::array<std::optional<QueueAttachment>, 3> queues;
};

struct BoxSpec {
    std::string label;       // section name of the LAN description
    bool isPc = false;       // a networked PC answers searches only
    MacAddress mac{};
    std::string deviceName;  // 8 characters
    Byte vendor = 0;
    Byte deviceType = 0;     // 0 print server, 1 networked PC
    Byte serverType = 0;
    Byte flags61 = 0;        // bit 0 SNMP, bits 4-7 model letter
    Byte features65 = 0;     // bit 1 extended printer status, bit 0 plug-in listing
    bool firmwarePresent = true;
    protocol::ConfigRecord record{}; // factory contents of the non-volatile memory
    Byte frameType = 2;
    Byte speedCode = 3;
    std::array<Byte, 5> portStates{};
    std::array<Byte, 4> dhcpAddress{192, 168, 1, 200}; // what the box gets when its record says "Auto"
    std::vector<PrinterSpec> printers;
    NetwareStatus netware;
    std::chrono::milliseconds restartDelay{1500};
    FirmwarePlan firmware;   // how it asks for blocks when it is upgraded
    FaultSpec faults;
};

// One datagram the box wants to send back to the requester.
struct Reply {
    std::vector<Byte> bytes;
};

// The IPX side of a box: its sockets and the 4-byte header (0 for a request or
// 1 for a reply, the command, FF, the command XOR FF) that stands where the UDP
// header is. Every datagram is 6 bytes shorter than its UDP counterpart.
namespace ipx {
inline constexpr std::uint16_t CommandSocket = 0x3434;
inline constexpr std::uint16_t FirmwareSocket = 0x3451;
inline constexpr std::size_t HeaderSize = 4;
inline constexpr std::size_t TestPrintRequestSize = 485; // header + port parameter + filler
} // namespace ipx

// The NetBIOS side of a box: it is a member of the group KOVA.GROUP and owns the
// unique name of its device name followed by ".CFG". An 8-byte header stands
// where the UDP header is: "PS", 0 (request) or 0x80 (reply), a byte the reply
// repeats, 0 (request) or 1 (reply), the command, FF, the command XOR FF. The
// payloads are those of UDP.
namespace netbios {
inline constexpr std::size_t HeaderSize = 8;
inline constexpr Byte RequestMark = 0x00;
inline constexpr Byte ReplyMark = 0x80;
} // namespace netbios

class SimBox {
public:
    // stateFile: where the record and the firmware's presence live between runs
    // ("" keeps them in memory only).
    SimBox(BoxSpec spec, std::string stateFile);

    // Handles one request that arrived on the command port.
    std::vector<Reply> handle(std::span<const Byte> request, Clock::time_point now);
    // Handles the payload of one IPX packet that came to socket 0x3434, either
    // to this box's node or (toAllNodes) to the broadcast node; a broadcast is
    // answered only when it is a search, as over UDP.
    std::vector<Reply> handleIpx(std::span<const Byte> request, bool toAllNodes, Clock::time_point now);
    // Handles the user data of one NetBIOS datagram sent to this box's own name
    // or (toGroup) to its group; a group datagram is answered only when it is a
    // search, as a broadcast is. Over NetBIOS the box answers the reset, the
    // record's read and write, the search, the status and the printer status;
    // test prints and firmware go over UDP and IPX only.
    std::vector<Reply> handleNetbios(std::span<const Byte> request, bool toGroup, Clock::time_point now);
    // The box's unique NetBIOS name: its device name (identity bytes 0-7, up to
    // a NUL) followed by ".CFG".
    std::string netbiosName() const;
    // Finishes a restart whose time has come.
    void tick(Clock::time_point now);

    const BoxSpec& spec() const { return m_spec; }
    FaultSpec& faults() { return m_spec.faults; }
    const protocol::ConfigRecord& storedRecord() const { return m_record; }
    protocol::IdentityBlock identity() const;
    protocol::StatusBuffer statusReply() const;
    bool restarting(Clock::time_point now) const { return m_restartUntil && now < *m_restartUntil; }
    std::string activeName() const { return m_activeName; }
    std::array<Byte, 4> activeIp() const { return m_activeIp; }

    // Counters tests look at.
    int testPrints = 0;
    int resets = 0;
    int writes = 0;
    int badChecksumWrites = 0;
    std::size_t lastTestPrintRequestSize = 0;

    // Firmware: set when a transfer completed and verified.
    bool firmwarePresent() const { return m_firmwarePresent; }
    // Kept in the state file with the record: an upgrade outlives a restart.
    void setFirmwarePresent(bool present);
    // Identity byte 54: 1 in normal operation, 0 once a box with firmware has
    // taken the first upgrade handshake and waits for the transfer. Over IPX
    // the search reply shows that 0 at identity byte 60 instead (byte 64 of
    // the reply datagram either way) and keeps byte 54 at 1.
    void setUpgradeState(Byte value) { m_upgradeState = value; }
    Byte upgradeState() const { return m_upgradeState; }
    FirmwarePlan& firmwarePlan() { return m_spec.firmware; }

    // The firmware transfer. A handshake (command 7) of a box with firmware puts
    // it into upgrade mode; the next handshake, or the first one of a box without
    // firmware, starts a transfer. The flash is erased then: the box has no
    // firmware until the transfer completes, after which it restarts.
    // True once after a handshake started a transfer: the LAN then sends the
    // box's block requests to where that handshake came from.
    bool takeTransferStart();
    bool transferActive() const { return m_receiver.active(); }
    // The framing of the running (or last) transfer: that of its handshake.
    Framing transferFraming() const { return m_receiver.framing(); }
    // Block requests the box sends now: 12 bytes over UDP, 6 over IPX.
    std::vector<Reply> firmwareDue(Clock::time_point now);
    // A datagram that came in on the firmware port (or, over IPX, to this box's
    // node at socket 0x3451).
    std::vector<Reply> firmwareData(std::span<const Byte> datagram, Clock::time_point now,
                                    Framing framing = Framing::Udp);
    const FirmwareStats& firmwareStats() const { return m_receiver.stats(); }
    const FirmwareReceiver& firmwareReceiver() const { return m_receiver; }

    void setPortState(int port, Byte state) { m_spec.portStates.at(std::size_t(port - 1)) = state; }
    void setPrinter(int port, PrinterSpec p);
    // Replaces the non-volatile record (as if written by another tool) and saves it.
    void storeRecord(const protocol::ConfigRecord& rec);

private:
    void applyRecord(); // what a restart does with the stored record
    void save() const;
    // The reply header of a command in either framing.
    std::vector<Byte> header(Byte command, Framing framing) const;
    // 1 in a reply; 0 in the answer to a write the box refuses, which no tool takes for a confirmation.
    Byte replyMark(Byte command) const;
    // What follows the header in the answer to a well-formed request whose data
    // (after the header) is data; nothing when the box does not answer.
    std::optional<std::vector<Byte>> answer(Byte command, std::span<const Byte> data, bool broadcast,
                                            Framing framing, Clock::time_point now);
    std::vector<Byte> printerStatusPayload(std::uint16_t index) const;

    BoxSpec m_spec;
    std::string m_stateFile;
    protocol::ConfigRecord m_record{};
    std::optional<Clock::time_point> m_restartUntil;
    std::string m_activeName;
    std::array<Byte, 4> m_activeIp{};
    std::array<Byte, 4> m_activeMask{};
    bool m_firmwarePresent = true;
    Byte m_upgradeState = 1;
    bool m_upgradeMode = false;      // a box with firmware waits for the second handshake
    bool m_transferStarted = false;  // not yet taken by the LAN
    bool m_firmwareRestart = false;  // the running restart follows an upgrade
    FirmwareReceiver m_receiver;
};

// Fills the parts of a record that describe the hardware: Ethernet address, ports,
// capabilities, model, version and revision.
void setHardware(protocol::ConfigRecord& rec, const MacAddress& mac, Byte portConfig, Byte capabilities,
                 Byte modelCode, Byte version, Byte revision);
void setText(protocol::ConfigRecord& rec, std::size_t offset, std::size_t width, const std::string& text);
void setIPv4(protocol::ConfigRecord& rec, std::size_t offset, std::array<Byte, 4> a);

} // namespace vnk::sim
