#include "transport/udp/udp_context.h"

#include "protocol/firmware.h"

#include "protocol/device_filter.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace vnk::protocol {

using namespace platform;

UdpServerContext::UdpServerContext(Endpoint endpoint, Timing timing, ErrorReporter& reporter)
    : CPServerContext(std::move(endpoint), timing, reporter) {
    if (auto a = parseIPv4(this->endpoint().broadcast))
        m_broadcast = *a;
}

int UdpServerContext::openOperationSocket(const char* operation, bool bind) {
    const int s = openUdpSocket();
    if (s < 0) {
        reportSocketFailure(operation, "socket", errno);
        return -1;
    }
    auto fail = [&](const char* call) {
        reportSocketFailure(operation, call, errno);
        closeSocket(s);
        return -1;
    };
    if (setNonBlocking(s) != 0)
        return fail("ioctlsocket");
    if (enableBroadcast(s) != 0)
        return fail("setsockopt");
    if (bind && bindAny(s, 0) != 0)
        return fail("bind");
    return s;
}

int UdpServerContext::XSendPacket(int socket, const Byte* data, std::size_t length, int& sent) {
    return XSendPacket(socket, data, length, sent, endpoint().commandPort);
}

int UdpServerContext::XSendPacket(int socket, const Byte* data, std::size_t length, int& sent, std::uint16_t port) {
    sent = 0;
    switch (waitWritable(socket, timing().sendWait, idleHook())) {
    case WaitResult::TimedOut:
        return 1;
    case WaitResult::Failed:
        reportSocketFailure("XSendPacket", "select", errno);
        closeSocket(socket);
        return 0;
    case WaitResult::Ready:
        break;
    }
    const ssize_t n = sendDatagram(socket, data, length, m_broadcast, port);
    if (n >= 0) {
        sent = int(n);
        return 1;
    }
    if (isWouldBlock(errno))
        return 1;
    reportSocketFailure("XSendPacket", "send", errno);
    closeSocket(socket);
    return 0;
}

int UdpServerContext::XReceivePacket(int socket, Byte* buffer, std::size_t size, int& received) {
    received = 0;
    switch (waitReadable(socket, timing().receiveWait, idleHook())) {
    case WaitResult::TimedOut:
        return 1;
    case WaitResult::Failed:
        reportSocketFailure("XReceivePacket", "select", errno);
        closeSocket(socket);
        return 0;
    case WaitResult::Ready:
        break;
    }
    const ssize_t n = receiveDatagram(socket, buffer, size);
    if (n < 0) {
        reportSocketFailure("XReceivePacket", "recv", errno);
        closeSocket(socket);
        return 0;
    }
    received = int(n);
    return 1;
}

int UdpServerContext::sendPhase(int socket, const Byte* data, std::size_t length, std::uint16_t port) {
    std::size_t done = 0;
    for (int attempt = 0; attempt < timing().sendAttempts; ++attempt) {
        int sent = 0;
        if (!XSendPacket(socket, data + done, length - done, sent, port))
            return -1;
        done += std::size_t(sent);
        if (done >= length)
            return 1;
    }
    return 0;
}

int UdpServerContext::receivePhase(int socket, Byte* reply, std::size_t size, EarlyEnd early,
                                  std::size_t& collected) {
    return collectReply(
        timing().receiveAttempts,
        [&](Byte* into, std::size_t room, int& got) { return XReceivePacket(socket, into, room, got); }, reply, size,
        early, collected);
}

int UdpServerContext::collectReply(int attempts, const ReceiveOne& receive, Byte* reply, std::size_t size,
                                   EarlyEnd early, std::size_t& collected) {
    collected = 0;
    for (int attempt = 0; attempt < attempts; ++attempt) {
        int got = 0;
        const std::size_t room = size - collected;
        if (!receive(reply + collected, room, got))
            return -1;
        // A receive never places more than the room it was given.
        collected += std::min(std::size_t(std::max(got, 0)), room);
        if (collected >= size)
            return 1;
        if (early == EarlyEnd::StatusMinimum && collected >= StatusMinimumReply)
            return 1;
        if (early == EarlyEnd::FirmwareTen && got == 10)
            return 1;
    }
    return 0;
}

int UdpServerContext::exchange(const char* operation, ServerEntry& entry, Byte command, Byte* request,
                              std::size_t requestLength, Byte* reply, std::size_t replySize, EarlyEnd early,
                              bool bind, int* keepSocket) {
    const int s = openOperationSocket(operation, bind);
    if (s < 0)
        return 0;
    buildHeader(std::span<Byte>(request, requestLength), entry.ethernet, command);
    const int sent = sendPhase(s, request, requestLength, endpoint().commandPort);
    if (sent < 0)
        return 0;
    if (sent == 0) {
        closeSocket(s);
        return 0;
    }
    std::size_t collected = 0;
    const int got = receivePhase(s, reply, replySize, early, collected);
    if (got < 0)
        return 0;
    if (got == 0) {
        closeSocket(s);
        return 0;
    }
    const bool accepted = replyAccepted(std::span<const Byte>(reply, collected), command);
    if (keepSocket && accepted)
        *keepSocket = s;
    else
        closeSocket(s);
    return accepted ? 1 : 0;
}

int UdpServerContext::XSearchPS(ServerEntry& entry, Byte* reply) {
    Byte request[HeaderSize];
    return exchange("XSearchPS", entry, CmdSearch, request, sizeof request, reply, DiscoveryReplySize,
                    EarlyEnd::None, true);
}

int UdpServerContext::XReadPServerEEProm(ServerEntry& entry, ConfigFrame& frame) {
    Byte request[HeaderSize];
    return exchange("XReadPServerEEProm", entry, CmdReadConfig, request, sizeof request, frame.data(),
                    frame.size());
}

int UdpServerContext::XWritePServerEEProm(ServerEntry& entry, ConfigFrame& frame) {
    setRecordChecksum(recordOf(frame));
    return exchange("XWritePServerEEProm", entry, CmdWriteConfig, frame.data(), frame.size(), frame.data(),
                    HeaderSize);
}

int UdpServerContext::XResetPServerEEProm(ServerEntry& entry) {
    Byte request[HeaderSize];
    Byte reply[HeaderSize];
    return exchange("XResetPServerEEProm", entry, CmdReset, request, sizeof request, reply, sizeof reply);
}

int UdpServerContext::XGetPServerStatus(ServerEntry& entry, StatusBuffer& status) {
    Byte request[HeaderSize];
    return exchange("XGetPServerStatus", entry, CmdStatus, request, sizeof request, status.data(), status.size(),
                    EarlyEnd::StatusMinimum);
}

int UdpServerContext::XGetPrinterStatus(ServerEntry& entry, PrinterStatusBuffer& buffer, std::int32_t portIndex) {
    Byte request[PrinterStatusRequestSize];
    putLE16(request, HeaderSize, std::uint16_t(portIndex & 0xFFFF));
    return exchange("XGetPrinterStatus", entry, CmdPrinterStatus, request, sizeof request, buffer.data(),
                    buffer.size());
}

int UdpServerContext::XTestPrint(ServerEntry& entry, int /*port*/) {
    // The request carries no port number: the box decides where the page goes.
    Byte request[HeaderSize];
    Byte reply[HeaderSize];
    return exchange("XTestPrint", entry, CmdTestPrint, request, sizeof request, reply, sizeof reply);
}

void UdpServerContext::addServer(const Byte* reply, const sockaddr_in& from) {
    const Byte* id = reply + HeaderSize;
    const char* name = reinterpret_cast<const char*>(id + identity::ServerName);
    for (int i = 0; i < serverCount; ++i) {
        const char* known = reinterpret_cast<const char*>(serverTable[std::size_t(i)].identity.data() +
                                                          identity::ServerName);
        if (std::strncmp(known, name, identity::ServerNameWidth) == 0 &&
            (!keepSameNames || std::memcmp(serverTable[std::size_t(i)].ethernet.data(), reply, 6) == 0))
            return;
    }
    if (!deviceFilterAccepts(settingsPath, id[identity::Vendor], id[identity::DeviceType]))
        return;
    if (serverCount >= MaxServers)
        return;
    ServerEntry& e = serverTable[std::size_t(serverCount)];
    e = ServerEntry{};
    std::memcpy(e.identity.data(), id, IdentitySize);
    e.sender = from;
    std::memcpy(e.ethernet.data(), reply, 6);
    ++serverCount;
}

int UdpServerContext::XGetAllPServername(int& socket, const std::function<bool()>& enough) {
    Byte request[HeaderSize];
    buildHeader(request, BroadcastMac, CmdSearch);
    // Each datagram is received whole into an empty buffer and only one of exactly
    // a reply's size is taken: a stray datagram of any other size on the port is
    // dropped without a word and cannot shift the replies that follow it.
    Byte reply[DiscoveryReplySize];
    for (int pass = 0; pass < 3; ++pass) {
        for (int k = 0; k < 2; ++k) {
            // A send phase that runs out of attempts is not an error here.
            if (sendPhase(socket, request, sizeof request, endpoint().commandPort) < 0) {
                socket = -1;
                return 1;
            }
        }
        int idleSteps = 0; // steps since the last reply, dropped datagrams included
        for (;;) {
            const WaitResult w = waitReadable(socket, timing().discoveryPassWait[std::size_t(pass)], idleHook());
            if (w == WaitResult::TimedOut)
                break;
            if (w == WaitResult::Failed) {
                reportSocketFailure("XGetAllPServername", "select", errno);
                return 1;
            }
            sockaddr_in from{};
            const SizedReceive got = receiveSized(socket, reply, sizeof reply, &from);
            if (got == SizedReceive::Taken) {
                addServer(reply, from);
                if (enough && enough())
                    return 1;
                idleSteps = 0;
                continue;
            }
            if (got == SizedReceive::Failed)
                reportSocketFailure("XGetAllPServername", "recvfrom", errno);
            if (++idleSteps >= timing().discoveryIdleSteps)
                break;
        }
        if (serverCount >= MaxServers)
            break;
    }
    return 1;
}

int UdpServerContext::XGetPort() {
    serverCount = 0;
    int s = openOperationSocket("XGetPort", true);
    if (s < 0)
        return 0;
    XGetAllPServername(s);
    closeSocket(s);

    auto rec = recordOf(configBuffer);
    for (int i = 0; i < serverCount; ++i) {
        ServerEntry& e = serverTable[std::size_t(i)];
        e.included = 0;
        if (XReadPServerEEProm(e, configBuffer)) {
            e.included = rec[record::Capabilities] & record::CapTcpIp;
            std::memcpy(e.ipAddress.data(), rec.data() + record::IpAddress, 4);
        }
    }
    int kept = 0;
    for (int i = 0; i < serverCount; ++i)
        if (serverTable[std::size_t(i)].included) {
            if (kept != i)
                serverTable[std::size_t(kept)] = serverTable[std::size_t(i)];
            ++kept;
        }
    serverCount = kept;
    return 1;
}

} // namespace vnk::protocol
