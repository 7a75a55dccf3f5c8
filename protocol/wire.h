// The device protocol's frames: a 10-byte header addressed by Ethernet address,
// a one-byte command code, and fixed-size payloads. Multi-byte numbers are
// little-endian; IPv4 addresses are carried first octet first.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace vnk::protocol {

using Byte = std::uint8_t;
using MacAddress = std::array<Byte, 6>;

inline constexpr MacAddress BroadcastMac{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

enum Command : Byte {
    CmdReset = 1,
    CmdReadConfig = 2,
    CmdWriteConfig = 3,
    CmdSearch = 4,
    CmdStatus = 5,
    CmdTestPrint = 6,
    CmdFirmware = 7,
    CmdPrinterStatus = 10,
};

// Over IPX the box's command socket and its firmware data socket.
inline constexpr std::uint16_t IpxCommandSocket = 0x3434;
inline constexpr std::uint16_t IpxFirmwareSocket = 0x3451;

inline constexpr std::size_t HeaderSize = 10;
inline constexpr std::size_t IdentitySize = 66;
inline constexpr std::size_t DiscoveryReplySize = HeaderSize + IdentitySize; // 76
inline constexpr std::size_t RecordSize = 512;
inline constexpr std::size_t ConfigFrameSize = HeaderSize + RecordSize;      // 522
inline constexpr std::size_t StatusBufferSize = 491;                         // header + at most 481
inline constexpr std::size_t StatusMinimumReply = 66;
inline constexpr std::size_t PrinterStatusSize = 416;
inline constexpr std::size_t PrinterStatusRequestSize = 12;
inline constexpr std::size_t ChecksumOffset = 511; // record offset

// Header offsets
inline constexpr std::size_t HdrDirection = 6; // 0 request, 1 reply
inline constexpr std::size_t HdrCommand = 7;

// Writes the request header for command into the first 10 bytes of out.
inline void buildHeader(std::span<Byte> out, const MacAddress& target, Byte command) {
    for (std::size_t i = 0; i < 6; ++i)
        out[i] = target[i];
    out[6] = 0;
    out[7] = command;
    out[8] = 0xFF;
    out[9] = Byte(0xFF - command);
}

// A reply is accepted when it says it is a reply and repeats the command code.
inline bool replyAccepted(std::span<const Byte> reply, Byte command) {
    return reply.size() >= HeaderSize && reply[HdrDirection] == 1 && reply[HdrCommand] == command;
}

inline std::uint16_t getLE16(std::span<const Byte> b, std::size_t at) {
    return std::uint16_t(b[at] | (b[at + 1] << 8));
}
inline void putLE16(std::span<Byte> b, std::size_t at, std::uint16_t v) {
    b[at] = Byte(v & 0xFF);
    b[at + 1] = Byte(v >> 8);
}

} // namespace vnk::protocol
