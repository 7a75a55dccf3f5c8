// The box's run-time status record and the texts the status pages make of it,
// and the printer status reply with its display text and identification items.
//
// The status buffer holds the 10-byte reply header and then the record (at most
// 481 bytes); record offset N is buffer offset N + 10. Every accessor reads inside
// the buffer whatever port or block number it is given.
#pragma once

#include "protocol/identity.h"
#include "protocol/records.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace vnk::protocol {

namespace status {
inline constexpr std::size_t FrameType = 0;
inline constexpr std::size_t PrimaryLogin = 1;       // bit 0
inline constexpr std::size_t IpxNetwork = 2;         // 4 bytes
inline constexpr std::size_t FirstPortState = 6;
inline constexpr std::size_t FileServerLogin = 7;    // bit 0
inline constexpr std::size_t FileServerName = 8;     // text ending before 58
inline constexpr std::size_t FileServerNameWidth = 50;
inline constexpr std::size_t ActiveIp = 58;
inline constexpr std::size_t QueueBlocks = 62;       // 98 bytes each, 99 apart
inline constexpr std::size_t QueueBlockStride = 99;
inline constexpr std::size_t QueueNameWidth = 48;    // file server name at +2, queue name at +50
inline constexpr std::size_t SecondPortState = 160;  // then every 99 bytes
inline constexpr std::size_t NetBeuiState = 358;
inline constexpr std::size_t MaskInUse = 359;
inline constexpr std::size_t SpeedCode = 457;
inline constexpr std::size_t DhcpState = 458;
inline constexpr std::size_t DhcpStart = 459;
inline constexpr std::size_t DhcpGateway = 465;
inline constexpr std::size_t DhcpNetmask = 469;
inline constexpr std::size_t DhcpDns = 473;
inline constexpr std::size_t DhcpNext = 477;
inline constexpr std::size_t RecordCapacity = StatusBufferSize - HeaderSize; // 481
} // namespace status

// --- raw fields of the status record ---
Byte frameTypeCode(const StatusBuffer& s);
bool primaryLoggedIn(const StatusBuffer& s);
bool fileServerLoggedIn(const StatusBuffer& s);
std::array<Byte, 4> ipxNetwork(const StatusBuffer& s);
std::string loggedInFileServer(const StatusBuffer& s);
std::string activeIp(const StatusBuffer& s);   // dotted
std::string maskInUse(const StatusBuffer& s);  // dotted
Byte netbeuiState(const StatusBuffer& s);
Byte speedCode(const StatusBuffer& s);
Byte dhcpServerState(const StatusBuffer& s);   // 0 inactive, 1 active
std::string dhcpStart(const StatusBuffer& s);   // dotted, as are the four below
std::string dhcpGateway(const StatusBuffer& s);
std::string dhcpNetmask(const StatusBuffer& s);
std::string dhcpDns(const StatusBuffer& s);
std::string dhcpNext(const StatusBuffer& s);

// Record offset of the state byte of port k (counted from 1): 6 for the first
// port, then the byte after each queue block. Ports 4 and 5 land on the NetBEUI
// state and the speed code; a port beyond the record has no state byte.
std::optional<std::size_t> portStateOffset(int port);
std::optional<Byte> portStateByte(const StatusBuffer& s, int port);

// NetWare queue block of port k (k = 0 for the first port). A block that runs
// past the end of the record (port 5) yields only the part inside it.
struct QueueBlock {
    std::uint16_t attached = 0; // bytes 0-1, little-endian
    std::string fileServer;     // bytes 2-49
    std::string queue;          // bytes 50-97
};
std::optional<QueueBlock> queueBlock(const StatusBuffer& s, int k);

// --- texts of the device status page ---
std::string frameTypeText(Byte code, bool tcpipCapable, bool tcpipEnabled);
std::string protocolSupportText(Byte capabilities, Byte identityFlags);
std::string networkSpeedText(Byte code, bool speedTextNonEmpty, int parallelPortCount);
std::string netbeuiText(Byte state, bool netbeuiCapable);
std::string diagnosticText(Byte optionFlags);
std::string portStateWord(Byte state);                // state AND 3
std::string portName(int row, int parallelPortCount); // "LPT1".. then "COM1"..

struct DeviceStatusFields {
    std::string deviceName;
    std::string aliasName;
    std::string ethernetId;
    std::string frameType;
    std::string activeIp;
    std::string netbeui;
    std::string protocolSupport;
    std::string diagnosticPrintOut;
    std::string networkSpeed;
};

// All fields of the device status page from the buffers as they are.
DeviceStatusFields deviceStatusFields(const IdentityBlock& id, std::span<const Byte, RecordSize> rec,
                                      const StatusBuffer& s, int parallelPortCount);

// --- printer status reply ---
namespace printer_status {
inline constexpr std::size_t PortIndex = 10;        // 16-bit LE
inline constexpr std::size_t DisplayLength = 12;    // L1, 16-bit LE
inline constexpr std::size_t DisplayArea = 14;
inline constexpr std::size_t DisplaySearch = 16;    // "DISPLAY=" is looked for from here
inline constexpr std::size_t IdentLength = 214;     // L2, 16-bit LE
inline constexpr std::size_t IdentArea = 216;
inline constexpr std::size_t IdentItems = 218;      // items are read from here
// An identification item is collected in an 80-byte buffer, terminator
// included, the width the list column was made for; the characters of a longer
// item beyond this are dropped.
inline constexpr std::size_t MaxIdentificationItem = 79;
} // namespace printer_status

struct PrinterStatusInfo {
    std::string column2;                          // display text, or the state word
    std::optional<std::string> display;           // the display text, when the reply has one
    std::vector<std::string> identificationItems; // one list row each
};

// Reads the reply about port row askedIndex. A reply about another port gives
// the state word and no items. Lengths from the box are bounded to their areas.
PrinterStatusInfo parsePrinterStatus(const PrinterStatusBuffer& reply, int askedIndex, const std::string& stateWord);

// One printer port as the box reports it: its name ("LPT1"), the state word of
// the status record, and with extended printer status the printer's display
// text and identification items.
struct PrinterPortStatus {
    std::string port;
    std::string state;
    std::optional<std::string> display;
    std::vector<std::string> identification;
};

struct PrinterStatusRow {
    std::string column1; // port name, or " " for an identification item
    std::string column2;
};

// Fetches the printer status reply of port row i; nullptr when the request failed.
using PrinterStatusFetch = std::function<const PrinterStatusBuffer*(int portIndex)>;

// The rows of the Printer Status list from the status buffer as it is (the
// caller reads it anew first). Without extended printer status one row per
// port; with it, each port's row is followed by its identification items and
// fetch is called once per port, in order.
std::vector<PrinterStatusRow> printerStatusRows(const StatusBuffer& s, int parallelPortCount, int serialPortCount,
                                                bool extendedPrinterStatus, const PrinterStatusFetch& fetch);
// The same, port by port.
std::vector<PrinterPortStatus> printerPortStatuses(const StatusBuffer& s, int parallelPortCount,
                                                   int serialPortCount, bool extendedPrinterStatus,
                                                   const PrinterStatusFetch& fetch);

} // namespace vnk::protocol
