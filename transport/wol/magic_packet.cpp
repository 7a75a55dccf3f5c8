// Wake-on-LAN: the magic packet (six bytes FF and the PC's Ethernet address
// sixteen times), sent six times to UDP port 6000 at one address or by
// broadcast, from the form or for every line of MagicPkt.ini.
#include "transport/wol/magic_packet.h"

#include "platform/endpoint.h"
#include "platform/hostinfo.h"
#include "platform/udp_socket.h"

#include <arpa/inet.h>

#include <cerrno>
#include <cstring>

namespace vnk::wol {

using namespace platform;

std::uint32_t magicPacketAddress(const std::string& ipText) {
    // inet_addr's own reading: "10.1", hex and octal parts, and 255.255.255.255
    // for any text it refuses.
    return ntohl(inet_addr(ipText.c_str()));
}

std::optional<std::array<std::uint8_t, MagicPacketSize>> magicPacket(const std::string& macText) {
    if (macText.size() < 12)
        return std::nullopt;
    // Twelve characters that read as an address can only be twelve hex digits.
    const auto mac = parseHardwareAddress(macText.substr(0, 12));
    if (!mac)
        return std::nullopt;
    std::array<std::uint8_t, MagicPacketSize> packet;
    std::memset(packet.data(), 0xFF, 6);
    for (std::size_t k = 0; k < 16; ++k)
        std::memcpy(packet.data() + 6 + 6 * k, mac->data(), mac->size());
    return packet;
}

std::optional<std::uint32_t> magicPacketDestination(const std::string& ipText, const WolDestination& where) {
    const auto broadcast = parseIPv4(where.broadcast);
    if (!broadcast)
        return std::nullopt;
    std::uint32_t to = magicPacketAddress(ipText);
    if (to == INADDR_BROADCAST)
        to = *broadcast;
    // On a loopback LAN (tests, demos) nothing leaves the machine.
    if ((*broadcast >> 24) == 127 && (to >> 24) != 127)
        return std::nullopt;
    return to;
}

namespace {

std::string dotted(std::uint32_t hostOrder) {
    in_addr a{};
    a.s_addr = htonl(hostOrder);
    char text[INET_ADDRSTRLEN] = "";
    inet_ntop(AF_INET, &a, text, sizeof text);
    return text;
}

// One send of the packet: tries until all of it is out. 1 out, 0 the tries ran
// out, -1 a wait or the send failed (reported unless batch).
int sendOnce(int s, const std::uint8_t* packet, std::uint32_t to, std::uint16_t port, const Timing& timing,
             bool batch, ErrorReporter& reporter) {
    std::size_t done = 0;
    for (int attempt = 0; attempt < timing.magicPacketAttempts; ++attempt) {
        const WaitResult w = waitWritable(s, timing.magicPacketSendWait);
        if (w == WaitResult::TimedOut)
            continue;
        if (w == WaitResult::Failed) {
            if (!batch)
                reporter.report(socketFailureText(errno, "XSendPacket", "select"));
            return -1;
        }
        const ssize_t n = sendDatagram(s, packet + done, MagicPacketSize - done, to, port);
        if (n < 0) {
            if (isWouldBlock(errno))
                continue;
            if (!batch)
                reporter.report(socketFailureText(errno, "XSendPacket", "send"));
            return -1;
        }
        done += std::size_t(n);
        if (done >= MagicPacketSize)
            return 1;
    }
    return 0;
}

} // namespace

WakeResult SendMagicPacket(const std::string& ipText, const std::string& macText, const WolDestination& where,
                           const Timing& timing, bool batch, ErrorReporter& reporter) {
    constexpr const char* Operation = "SendMagicPacket";
    const int s = openUdpSocket();
    if (s < 0) {
        reporter.report(socketFailureText(errno, Operation, "socket") + "-1");
        return WakeResult::SocketFailed;
    }
    auto fail = [&](const char* call) {
        reporter.report(socketFailureText(errno, Operation, call));
        closeSocket(s);
        return WakeResult::SocketFailed;
    };
    if (setNonBlocking(s) != 0)
        return fail("ioctlsocket");
    if (enableBroadcast(s) != 0)
        return fail("setsockopt");
    if (bindAny(s, 0) != 0)
        return fail("bind");

    const auto packet = magicPacket(macText);
    if (!packet) {
        closeSocket(s);
        return WakeResult::InvalidMac;
    }
    const auto to = magicPacketDestination(ipText, where);
    if (!to) {
        const auto broadcast = parseIPv4(where.broadcast);
        reporter.report(" " + std::string(Operation) + ": " +
                        (broadcast ? dotted(magicPacketAddress(ipText)) +
                                         " lies outside 127.0.0.0/8 and the broadcast address " + where.broadcast +
                                         " is a loopback one"
                                   : "the broadcast address " + where.broadcast + " is not an IPv4 address") +
                        "; nothing was sent");
        closeSocket(s);
        return WakeResult::Refused;
    }
    int out = 0; // sends that went out
    for (int round = 0; round < 3; ++round)
        for (int k = 0; k < 2; ++k) {
            const int sent = sendOnce(s, packet->data(), *to, where.port, timing, batch, reporter);
            if (sent < 0) {
                closeSocket(s);
                return WakeResult::SendFailed;
            }
            out += sent;
        }
    closeSocket(s);
    // Every try of every send timed out or would have blocked: no failure was
    // reported on the way, yet the PC was not woken, and the user is told.
    if (out == 0 && !batch)
        reporter.report(" " + std::string(Operation) + ": the magic packet was not sent (it went out on no try)");
    return out == 6 ? WakeResult::Sent : WakeResult::SendFailed;
}

std::vector<std::pair<std::string, std::string>> magicPacketTargets(const std::string& fileText) {
    std::vector<std::pair<std::string, std::string>> targets;
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; };
    std::size_t start = 0;
    // Only lines that end in a line feed count: text after the last one does not.
    for (std::size_t lf; (lf = fileText.find('\n', start)) != std::string::npos; start = lf + 1) {
        std::size_t b = start, e = lf;
        while (b < e && blank(fileText[b]))
            ++b;
        while (e > b && blank(fileText[e - 1]))
            --e;
        const std::string line = fileText.substr(b, e - b);
        if (line.empty() || line.starts_with("//"))
            continue;
        const auto hyphen = line.find('-');
        if (hyphen == std::string::npos)
            targets.emplace_back(std::string(), line);
        else
            targets.emplace_back(line.substr(0, hyphen), line.substr(hyphen + 1));
    }
    return targets;
}

std::optional<WolDestination> wolDestinationFromEnvironment(std::string* error) {
    std::string why;
    const Endpoint e = Endpoint::fromEnvironment(&why);
    if (!why.empty()) {
        if (error)
            *error = why;
        return std::nullopt;
    }
    return WolDestination{e.broadcast, e.wolPort};
}

} // namespace vnk::wol
