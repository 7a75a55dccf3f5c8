// The single-box operations over IPX. Each opens its own socket on a dynamic
// IPX socket number, sends its request to the box's command socket and takes
// the reply that comes back to it. Every receive takes one whole datagram and
// keeps it only when its size is one the operation expects; any other is
// dropped without a word, so a stray datagram can neither shift nor overrun a
// reply. The caller's buffers keep the layout the pages read (a 10-byte header,
// then the data): the reply's data go to offset 10 and its header is written
// there in the form the pages know (the box's node, 1, the command).
#include "transport/ipx/ipx_context.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace vnk::ipx {

using namespace platform;
using protocol::HeaderSize;

void buildIpxHeader(Byte* out, Byte command) {
    out[0] = 0;
    out[1] = command;
    out[2] = 0xFF;
    out[3] = Byte(0xFF ^ command);
}

bool ipxReplyAccepted(const Byte* reply, std::size_t length, Byte command) {
    return length >= IpxHeaderSize && reply[0] == 1 && reply[1] == command;
}

IpxServerContext::IpxServerContext(Endpoint endpoint, IpxSegment segment, Timing timing, ErrorReporter& reporter)
    : CPServerContext(std::move(endpoint), timing, reporter), m_segment(std::move(segment)) {}

namespace {

// Splits "Op-call" into its two parts; a bare "Op" takes the usual call name.
void reportCall(ErrorReporter& reporter, const char* name, const char* usualCall, int error) {
    const std::string text = name ? name : "";
    const auto dash = text.rfind('-');
    if (dash == std::string::npos)
        reporter.report(socketFailureText(error, text, usualCall));
    else
        reporter.report(socketFailureText(error, text.substr(0, dash), text.substr(dash + 1)));
}

} // namespace

std::unique_ptr<IpxEndpoint> IpxServerContext::openSocket(const SocketCalls& calls, SocketOption option,
                                                          std::uint16_t socketNumber) {
    auto s = std::make_unique<IpxEndpoint>(m_segment);
    auto fail = [&](const char* name, const char* usualCall) -> std::unique_ptr<IpxEndpoint> {
        const int error = errno;
        reportCall(reporter(), name, usualCall, error);
        s->close();
        return nullptr;
    };
    if (s->open() != 0)
        return fail(calls.socket, "socket");
    if (s->setNonBlocking() != 0)
        return fail(calls.ioctl, "ioctlsocket");
    if (option != SocketOption::None) {
        const int r = option == SocketOption::Broadcast ? s->setBroadcast() : s->setReuseAddress();
        if (r != 0)
            return fail(calls.setsockopt ? calls.setsockopt : calls.socket, "setsockopt");
    }
    if (s->bind(socketNumber) != 0)
        return fail(calls.bind, "bind");
    return s;
}

int IpxServerContext::XSendPacket(IpxEndpoint& socket, const IpxAddress& to, const Byte* data, std::size_t length,
                                  int& sent) {
    sent = 0;
    switch (socket.waitWritable(timing().sendWait, idleHook())) {
    case WaitResult::TimedOut:
        return 1;
    case WaitResult::Failed:
        reportSocketFailure("XSendPacket", "select", errno);
        return 0;
    case WaitResult::Ready:
        break;
    }
    const ssize_t n = socket.sendTo(to, data, length);
    if (n >= 0) {
        sent = int(n);
        return 1;
    }
    if (isWouldBlock(errno))
        return 1;
    reportSocketFailure("XSendPacket", "send", errno);
    return 0;
}

int IpxServerContext::XReceivePacket(IpxEndpoint& socket, Byte* buffer, std::size_t size, int& received) {
    received = 0;
    switch (socket.waitReadable(timing().receiveWait, idleHook())) {
    case WaitResult::TimedOut:
        return 1;
    case WaitResult::Failed:
        reportSocketFailure("XReceivePacket", "select", errno);
        socket.close();
        return 0;
    case WaitResult::Ready:
        break;
    }
    const ssize_t n = socket.receiveFrom(buffer, size);
    if (n < 0) {
        // A datagram longer than the buffer is consumed and dropped: it is not
        // what was asked for, and the socket is as good as before.
        if (errno == EMSGSIZE || isWouldBlock(errno))
            return 1;
        reportSocketFailure("XReceivePacket", "recv", errno);
        socket.close();
        return 0;
    }
    received = int(n);
    return 1;
}

int IpxServerContext::sendPhase(IpxEndpoint& socket, const IpxAddress& to, const Byte* data, std::size_t length) {
    // A datagram goes whole or not at all.
    for (int attempt = 0; attempt < timing().sendAttempts; ++attempt) {
        int sent = 0;
        if (!XSendPacket(socket, to, data, length, sent))
            return -1;
        if (std::size_t(sent) == length)
            return 1;
    }
    return 0;
}

int IpxServerContext::receivePhase(IpxEndpoint& socket, Byte* datagram, int attempts, bool (*takes)(std::size_t)) {
    for (int attempt = 0; attempt < attempts; ++attempt) {
        int got = 0;
        if (!XReceivePacket(socket, datagram, IpxMaxPayload, got))
            return -1;
        if (got > 0 && takes(std::size_t(got)))
            return got;
    }
    return 0;
}

bool searchReply(std::size_t n) { return n == SearchReplySize || n == SearchReplySize - 1; }
bool configReply(std::size_t n) { return n == ConfigFrameSize; }
bool statusReply(std::size_t n) { return n >= StatusMinimumReply && n <= StatusReplySize; }
bool shortReply(std::size_t n) { return n == IpxHeaderSize; }
bool printerStatusReply(std::size_t n) { return n == PrinterStatusReplySize; }

void toCallerLayout(std::span<Byte> out, const ServerEntry& entry, const Byte* reply, std::size_t length) {
    std::memcpy(out.data(), entry.ipxAddress.node.data(), 6);
    out[protocol::HdrDirection] = reply[0];
    out[protocol::HdrCommand] = reply[1];
    out[8] = reply[2];
    out[9] = reply[3];
    const std::size_t data = std::min(length - IpxHeaderSize, out.size() - HeaderSize);
    std::memcpy(out.data() + HeaderSize, reply + IpxHeaderSize, data);
    std::fill(out.begin() + std::ptrdiff_t(HeaderSize + data), out.end(), Byte(0));
}

namespace {

// The failure texts of one operation: the same name for every call.
IpxServerContext::SocketCalls callsOf(const char* operation) {
    return {operation, operation, nullptr, operation};
}

// The exchange of every operation but the search: one send phase, then a
// receive phase. The datagram taken is left in reply (IpxMaxPayload bytes).
// Returns its size when it is an accepted reply to command, else 0.
int sendThenReceive(IpxServerContext& ctx, const IpxServerContext::SocketCalls& calls,
                           const ServerEntry& entry, Byte command, Byte* request, std::size_t requestLength,
                           Byte* reply, int receives, bool (*takes)(std::size_t)) {
    auto s = ctx.openSocket(calls, IpxServerContext::SocketOption::None);
    if (!s)
        return 0;
    buildIpxHeader(request, command);
    if (ctx.sendPhase(*s, entry.ipxAddress, request, requestLength) != 1)
        return 0;
    const int got = ctx.receivePhase(*s, reply, receives, takes);
    if (got <= 0 || !ipxReplyAccepted(reply, std::size_t(got), command))
        return 0;
    return got;
}

// Attempts of one send and one receive each, until a receive brings a datagram
// of a size takes() accepts. Returns its size when it is an accepted reply.
int alternate(IpxServerContext& ctx, const IpxServerContext::SocketCalls& calls,
                     IpxServerContext::SocketOption option, const ServerEntry& entry, Byte command, Byte* reply,
                     int attempts, bool (*takes)(std::size_t)) {
    auto s = ctx.openSocket(calls, option);
    if (!s)
        return 0;
    Byte request[IpxHeaderSize];
    buildIpxHeader(request, command);
    for (int attempt = 0; attempt < attempts; ++attempt) {
        int sent = 0;
        if (!ctx.XSendPacket(*s, entry.ipxAddress, request, sizeof request, sent))
            return 0;
        const int got = ctx.receivePhase(*s, reply, 1, takes);
        if (got < 0)
            return 0;
        if (got > 0)
            return ipxReplyAccepted(reply, std::size_t(got), command) ? got : 0;
    }
    return 0;
}

} // namespace

int IpxServerContext::XSearchPS(ServerEntry& entry, Byte* reply) {
    // The search names its socket calls "XSearchFS" and its bind "XSearchPS".
    const SocketCalls calls{"XSearchFS", "XSearchFS", "XSearchFS-setsocketopt", "XSearchPS"};
    Byte datagram[IpxMaxPayload];
    const int got = alternate(*this, calls, SocketOption::ReuseAddress, entry, protocol::CmdSearch, datagram,
                              timing().ipxSearchAttempts, searchReply);
    if (got <= 0)
        return 0;
    std::memset(reply, 0, SearchReplySize);
    std::memcpy(reply, datagram, std::size_t(got));
    return 1;
}

int IpxServerContext::XReadPServerEEProm(ServerEntry& entry, ConfigFrame& frame) {
    Byte datagram[IpxMaxPayload];
    const int got = alternate(*this, callsOf("XReadPServerEEProm"), SocketOption::None, entry,
                              protocol::CmdReadConfig, datagram, timing().receiveAttempts, configReply);
    if (got <= 0)
        return 0;
    toCallerLayout(frame, entry, datagram, std::size_t(got));
    return 1;
}

int IpxServerContext::XWritePServerEEProm(ServerEntry& entry, ConfigFrame& frame) {
    // The checksum byte is the XOR of every byte before it, header included;
    // the header's four bytes XOR to 0, so it is the record's own checksum.
    Byte request[ConfigFrameSize];
    buildIpxHeader(request, protocol::CmdWriteConfig);
    std::memcpy(request + IpxHeaderSize, frame.data() + HeaderSize, protocol::RecordSize);
    Byte x = 0;
    for (std::size_t i = 0; i + 1 < ConfigFrameSize; ++i)
        x ^= request[i];
    request[ConfigFrameSize - 1] = x;
    frame[HeaderSize + protocol::ChecksumOffset] = x;
    Byte reply[IpxMaxPayload];
    const int got = sendThenReceive(*this, callsOf("XWritePServerEEProm"), entry, protocol::CmdWriteConfig, request,
                                    sizeof request, reply, timing().ipxLongReceives, shortReply);
    if (got <= 0)
        return 0;
    frame[protocol::HdrDirection] = reply[0];
    frame[protocol::HdrCommand] = reply[1];
    return 1;
}

int IpxServerContext::XResetPServerEEProm(ServerEntry& entry) {
    Byte request[IpxHeaderSize];
    Byte reply[IpxMaxPayload];
    return sendThenReceive(*this, callsOf("XResetPServerEEProm"), entry, protocol::CmdReset, request,
                           sizeof request, reply, timing().ipxLongReceives, shortReply) > 0
               ? 1
               : 0;
}

int IpxServerContext::XGetPServerStatus(ServerEntry& entry, StatusBuffer& status) {
    Byte datagram[IpxMaxPayload];
    const int got = alternate(*this, callsOf("XGetPServerStatus"), SocketOption::None, entry, protocol::CmdStatus,
                              datagram, timing().receiveAttempts, statusReply);
    if (got <= 0)
        return 0;
    toCallerLayout(status, entry, datagram, std::size_t(got));
    return 1;
}

int IpxServerContext::XGetPrinterStatus(ServerEntry& entry, PrinterStatusBuffer& buffer, std::int32_t portIndex) {
    Byte request[PrinterStatusRequestSize];
    protocol::putLE16(request, IpxHeaderSize, std::uint16_t(portIndex & 0xFFFF));
    Byte reply[IpxMaxPayload];
    const int got = sendThenReceive(*this, callsOf("XGetPrinterStatus"), entry, protocol::CmdPrinterStatus, request,
                                    sizeof request, reply, timing().receiveAttempts, printerStatusReply);
    if (got <= 0)
        return 0;
    toCallerLayout(buffer, entry, reply, std::size_t(got));
    return 1;
}

int IpxServerContext::XTestPrint(ServerEntry& entry, int port) {
    // The port parameter, then filler the box does not read.
    Byte request[TestPrintRequestSize]{};
    const auto p = std::uint32_t(port);
    for (std::size_t i = 0; i < 4; ++i)
        request[IpxHeaderSize + i] = Byte(p >> (8 * i));
    Byte reply[IpxMaxPayload];
    const SocketCalls calls{"XTestPrint", "XTestPrint", nullptr, "XTestPrinting"};
    return sendThenReceive(*this, calls, entry, protocol::CmdTestPrint, request, sizeof request, reply,
                           timing().receiveAttempts, shortReply) > 0
               ? 1
               : 0;
}

} // namespace vnk::ipx
