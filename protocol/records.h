// The box's 512-byte configuration record (carried in a 522-byte frame behind the
// header), its status buffer and its printer status buffer. Offsets in `record`
// count from the first record byte; frame offset = record offset + 10.
#pragma once

#include "protocol/wire.h"

#include <optional>
#include <string>

namespace vnk::protocol {

using ConfigFrame = std::array<Byte, ConfigFrameSize>;
using ConfigRecord = std::array<Byte, RecordSize>;
using StatusBuffer = std::array<Byte, StatusBufferSize>;
using PrinterStatusBuffer = std::array<Byte, PrinterStatusSize>;

namespace record {
inline constexpr std::size_t EthernetAddress = 2;  // 6 bytes, read only
inline constexpr std::size_t PortConfig = 8;       // bits 0-1 parallel, 2-3 serial
inline constexpr std::size_t AliasName = 16;       // 16 bytes text
inline constexpr std::size_t SnmpContact = 32;     // 16 bytes text
inline constexpr std::size_t SnmpLocation = 48;    // 16 bytes text
inline constexpr std::size_t OptionFlags = 72;
inline constexpr std::size_t NetwarePolling = 75;
inline constexpr std::size_t NetwareFileServer = 76; // 48
inline constexpr std::size_t NdsTree = 124;          // 48
inline constexpr std::size_t NdsContext = 172;       // 16
inline constexpr std::size_t AppleTalkZone = 188;    // 16
inline constexpr std::size_t AppleTalkType1 = 204;   // 32 each, ports 1-3
inline constexpr std::size_t NetwarePrintServer = 300; // 48
inline constexpr std::size_t SpeedText = 348;        // 32
inline constexpr std::size_t SmbGroup = 380;         // 16
inline constexpr std::size_t PrintFlags = 404;
inline constexpr std::size_t MailPolling = 405;
inline constexpr std::size_t MailBlocks = 406;       // 3 x 20
inline constexpr std::size_t MailBlockSize = 20;
inline constexpr std::size_t DhcpStart = 470;
inline constexpr std::size_t DhcpRange = 474;        // 16-bit
inline constexpr std::size_t DhcpGateway = 476;
inline constexpr std::size_t DhcpNetmask = 480;
inline constexpr std::size_t DhcpDns = 484;
inline constexpr std::size_t DhcpMode = 488;         // 0 Auto, 1 Enable, 2 Disable
inline constexpr std::size_t Capabilities = 489;
inline constexpr std::size_t SubnetMask = 490;
inline constexpr std::size_t Gateway = 494;
inline constexpr std::size_t IpAddress = 498;
inline constexpr std::size_t ModelCode = 504;
inline constexpr std::size_t Version = 505;
inline constexpr std::size_t Revision = 506;
inline constexpr std::size_t RemotePrinters = 507;   // 4 bytes
inline constexpr std::size_t Checksum = ChecksumOffset;

// Capability flags (byte 489)
inline constexpr Byte CapTcpIp = 0x01;
inline constexpr Byte CapAppleTalk = 0x02;
inline constexpr Byte CapSmb = 0x04;
inline constexpr Byte CapDhcpServer = 0x08;
inline constexpr Byte CapMailAndGateway = 0x10;
inline constexpr Byte CapNetBeui = 0x20;
inline constexpr Byte CapIpxWithoutNds = 0x40;
inline constexpr Byte CapRemotePrinter = 0x80;

// Option flags (byte 72)
inline constexpr Byte OptNetwareOff = 0x02;
inline constexpr Byte OptTcpIp = 0x04;
inline constexpr Byte OptRemotePrinter = 0x08;
inline constexpr Byte OptNetBeui = 0x20;
inline constexpr Byte OptAppleTalk = 0x40;
inline constexpr Byte OptDiagnostic = 0x80;
} // namespace record

inline std::span<Byte, RecordSize> recordOf(ConfigFrame& frame) {
    return std::span<Byte, RecordSize>(frame.data() + HeaderSize, RecordSize);
}
inline std::span<const Byte, RecordSize> recordOf(const ConfigFrame& frame) {
    return std::span<const Byte, RecordSize>(frame.data() + HeaderSize, RecordSize);
}

// XOR of record bytes 0-510.
inline Byte recordChecksum(std::span<const Byte, RecordSize> rec) {
    Byte x = rec[0];
    for (std::size_t i = 1; i < ChecksumOffset; ++i)
        x ^= rec[i];
    return x;
}
inline void setRecordChecksum(std::span<Byte, RecordSize> rec) {
    rec[ChecksumOffset] = recordChecksum(rec);
}

inline int parallelPorts(std::span<const Byte, RecordSize> rec) { return rec[record::PortConfig] & 3; }
inline int serialPorts(std::span<const Byte, RecordSize> rec) { return (rec[record::PortConfig] >> 2) & 3; }

// "%i.%i.%i.%i" of four bytes, first octet first.
inline std::string dottedAt(std::span<const Byte> b, std::size_t at) {
    return std::to_string(b[at]) + "." + std::to_string(b[at + 1]) + "." + std::to_string(b[at + 2]) + "." +
           std::to_string(b[at + 3]);
}

// "%02X %02X %02X %02X %02X %02X"
std::string macText(std::span<const Byte> mac6);
// Parses "00 00 B4 12 33 44", "00:00:b4:12:33:44", "00-00-B4-12-33-44" or "0000B4123344".
std::optional<MacAddress> parseMac(const std::string& text);

} // namespace vnk::protocol
