// The simulated LAN at work: its sockets, the thread that reads every port and
// hands each datagram to the boxes and file servers it is for, and the queue of
// replies that leave, with the faults asked for, when they are due.
#include "sim/sim_lan.h"

#include "platform/ipx.h"
#include "platform/udp_socket.h"

#include <arpa/inet.h>
#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace vnk::sim {

using namespace protocol;
using namespace std::chrono;

SimLan::SimLan(LanOptions options) : m_options(std::move(options)), m_random(m_options.seed) {}

SimLan::~SimLan() {
    stop();
}

int SimLan::addBox(BoxSpec spec) {
    std::string stateFile;
    if (!m_options.stateDirectory.empty()) {
        std::filesystem::create_directories(m_options.stateDirectory);
        char name[32];
        std::snprintf(name, sizeof name, "%02X%02X%02X%02X%02X%02X.rec", spec.mac[0], spec.mac[1], spec.mac[2],
                      spec.mac[3], spec.mac[4], spec.mac[5]);
        stateFile = m_options.stateDirectory + "/" + name;
    }
    auto box = std::make_unique<SimBox>(std::move(spec), stateFile);
    std::lock_guard lock(m_mutex);
    m_boxes.push_back(std::move(box));
    m_firmwarePeers.push_back(sockaddr_in{});
    return int(m_boxes.size()) - 1;
}

int SimLan::addFileServer(FileServerSpec spec) {
    auto server = std::make_unique<SimFileServer>(std::move(spec));
    std::lock_guard lock(m_mutex);
    m_fileServers.push_back(std::move(server));
    return int(m_fileServers.size()) - 1;
}

int SimLan::boxCount() const {
    std::lock_guard lock(m_mutex);
    return int(m_boxes.size());
}

int SimLan::fileServerCount() const {
    std::lock_guard lock(m_mutex);
    return int(m_fileServers.size());
}

int SimLan::findBox(const MacAddress& mac) const {
    std::lock_guard lock(m_mutex);
    for (std::size_t i = 0; i < m_boxes.size(); ++i)
        if (m_boxes[i]->spec().mac == mac)
            return int(i);
    return -1;
}

platform::Endpoint SimLan::endpoint() const {
    platform::Endpoint e;
    e.broadcast = m_options.broadcast;
    e.commandPort = m_commandPort;
    e.firmwarePort = m_firmwarePort;
    if (m_options.ipxPort)
        e.ipxPort = m_running ? m_ipxPort : *m_options.ipxPort;
    if (m_options.netbiosPort)
        e.netbiosPort = m_running ? m_netbiosPort : *m_options.netbiosPort;
    return e;
}

namespace {
// A fixed port is shared: several simulators may listen on it, as several boxes
// hear one broadcast. A free port (0) must be this LAN's alone: Linux may hand
// the same free port to two sockets that both allow address reuse, and two test
// LANs would then hear each other's requests.
int openListening(std::uint16_t port, std::string* error, const char* what) {
    const int s = platform::openUdpSocket();
    if (s < 0 || platform::setNonBlocking(s) != 0 || platform::enableBroadcast(s) != 0 ||
        (port != 0 && platform::enableReuseAddress(s) != 0) || platform::bindAny(s, port) != 0) {
        if (error)
            *error = std::string("cannot open the ") + what + " port " + std::to_string(port) + ": " +
                     std::strerror(errno);
        platform::closeSocket(s);
        return -1;
    }
    return s;
}

// The IPX carrier is shared with every IPX endpoint of the host, which bind the
// same port with address reuse, and so is the NetBIOS datagram port. A free port
// is taken without reuse, so that it is one nobody holds, and shared afterwards:
// Linux weighs address reuse when the next socket binds.
int openCarrier(std::uint16_t port, std::string* error, const char* what = "IPX carrier") {
    const int s = openListening(port, error, what);
    if (s >= 0 && port == 0 && platform::enableReuseAddress(s) != 0) {
        if (error)
            *error = std::string("cannot share the ") + what + " port: " + std::strerror(errno);
        platform::closeSocket(s);
        return -1;
    }
    return s;
}

bool loopbackSender(const sockaddr_in& from) {
    return (ntohl(from.sin_addr.s_addr) >> 24) == 127;
}
} // namespace

bool SimLan::start(std::string* error) {
    if (m_running)
        return true;
    if (m_options.loopbackOnly && !endpoint().isLoopback()) {
        if (error)
            *error = "the simulated LAN lives on loopback: broadcast address must be in 127.0.0.0/8";
        return false;
    }
    const auto broadcast = platform::parseIPv4(m_options.broadcast);
    if ((m_options.ipxPort || m_options.netbiosPort) && !broadcast) {
        if (error)
            *error = std::string(m_options.ipxPort ? "the IPX carrier" : "NetBIOS") +
                     " needs a broadcast address, not " + m_options.broadcast;
        return false;
    }
    m_broadcastAddress = broadcast.value_or(0);
    m_socket = openListening(m_options.commandPort, error, "command");
    if (m_socket >= 0)
        m_firmwareSocket = openListening(m_options.firmwarePort, error, "firmware");
    if (m_firmwareSocket >= 0 && m_options.ipxPort)
        m_ipxSocket = openCarrier(*m_options.ipxPort, error);
    const bool ipxOk = !m_options.ipxPort || m_ipxSocket >= 0;
    if (m_firmwareSocket >= 0 && ipxOk && m_options.netbiosPort)
        m_netbiosSocket = openCarrier(*m_options.netbiosPort, error, "NetBIOS datagram");
    // The boxes take print jobs from the start: a client may connect as soon as start() returns.
    std::unique_ptr<LpdReceiver> lpd;
    bool lpdOk = true;
    if (m_options.lpdPort && m_socket >= 0 && m_firmwareSocket >= 0 && ipxOk &&
        (!m_options.netbiosPort || m_netbiosSocket >= 0)) {
        lpd = std::make_unique<LpdReceiver>(*m_options.lpdPort, m_options.stateDirectory, m_options.lpdLog);
        lpdOk = lpd->start(error);
    }
    if (m_socket < 0 || m_firmwareSocket < 0 || !ipxOk || (m_options.netbiosPort && m_netbiosSocket < 0) ||
        !lpdOk) {
        platform::closeSocket(m_socket);
        platform::closeSocket(m_firmwareSocket);
        platform::closeSocket(m_ipxSocket);
        platform::closeSocket(m_netbiosSocket);
        m_socket = m_firmwareSocket = m_ipxSocket = m_netbiosSocket = -1;
        return false;
    }
    m_commandPort = platform::localPort(m_socket);
    m_firmwarePort = platform::localPort(m_firmwareSocket);
    m_ipxPort = m_ipxSocket >= 0 ? platform::localPort(m_ipxSocket) : 0;
    m_netbiosPort = m_netbiosSocket >= 0 ? platform::localPort(m_netbiosSocket) : 0;
    if (lpd) {
        std::lock_guard lock(m_mutex);
        const auto now = Clock::now();
        for (std::size_t i = 0; i < m_boxes.size(); ++i)
            lpd->follow(i, *m_boxes[i], now);
        m_lpdPort = lpd->port();
        m_lpd = std::move(lpd);
    }
    m_running = true;
    m_thread = std::thread([this] { run(); });
    return true;
}

void SimLan::stop() {
    if (!m_running.exchange(false))
        return;
    if (m_thread.joinable())
        m_thread.join();
    platform::closeSocket(m_socket);
    platform::closeSocket(m_firmwareSocket);
    platform::closeSocket(m_ipxSocket);
    platform::closeSocket(m_netbiosSocket);
    m_socket = m_firmwareSocket = m_ipxSocket = m_netbiosSocket = -1;
    std::lock_guard lock(m_mutex);
    m_lpd.reset();
}

std::vector<std::vector<Byte>> SimLan::jobs(int box, int port) const {
    std::lock_guard lock(m_mutex);
    return m_lpd && box >= 0 ? m_lpd->jobs(std::size_t(box), port) : std::vector<std::vector<Byte>>{};
}

void SimLan::queue(std::vector<Byte> bytes, const Destination& to, const FaultSpec& faults, Clock::time_point now) {
    std::uniform_real_distribution<double> chance(0.0, 1.0);
    if (faults.drop > 0 && chance(m_random) < faults.drop)
        return;
    if (faults.truncate > 0)
        bytes.resize(bytes.size() > std::size_t(faults.truncate) ? bytes.size() - std::size_t(faults.truncate) : 0);
    if (faults.extend > 0)
        bytes.resize(bytes.size() + std::size_t(faults.extend), 0);
    if (faults.garble > 0 && !bytes.empty() && chance(m_random) < faults.garble) {
        std::uniform_int_distribution<std::size_t> where(0, bytes.size() - 1);
        bytes[where(m_random)] ^= 0x5A;
    }
    // Each copy of a reply leaves at its own time: with a reorder window a later
    // reply may overtake an earlier one, and a duplicate its original.
    auto due = [&] {
        int extra = 0;
        if (faults.reorderMs > 0)
            extra = std::uniform_int_distribution<int>(0, faults.reorderMs)(m_random);
        return now + milliseconds(faults.delayMs + extra);
    };
    Outgoing out{due(), m_socket, {}, {}};
    if (const auto* udp = std::get_if<sockaddr_in>(&to)) {
        out.to = *udp;
        out.bytes = std::move(bytes);
    } else if (const auto* name = std::get_if<NetbiosRoute>(&to)) {
        if (m_netbiosSocket < 0)
            return;
        platform::NetbiosDatagram d;
        d.type = platform::DirectUniqueDatagram;
        d.id = m_netbiosId++;
        d.sourceIp = name->sourceIp;
        d.sourcePort = m_netbiosPort;
        d.source = name->from;
        d.destination = name->to;
        bytes.resize(std::min(bytes.size(), platform::NetbiosMaxUserData));
        d.data = std::move(bytes);
        out.socket = m_netbiosSocket;
        out.to = platform::makeAddress(m_broadcastAddress, m_netbiosPort);
        out.bytes = platform::encodeNetbiosDatagram(d);
    } else {
        const IpxRoute& route = std::get<IpxRoute>(to);
        if (m_ipxSocket < 0)
            return;
        bytes.resize(std::min(bytes.size(), platform::IpxMaxPayload));
        platform::IpxPacket packet;
        packet.source = route.from;
        packet.destination = route.to;
        packet.packetType = route.packetType;
        packet.payload = std::move(bytes);
        out.socket = m_ipxSocket;
        out.to = platform::makeAddress(m_broadcastAddress, m_ipxPort);
        out.bytes = platform::encodeIpx(packet);
    }
    const bool twice = faults.duplicate > 0 && chance(m_random) < faults.duplicate;
    if (twice) {
        Outgoing copy = out;
        copy.due = due();
        m_outgoing.push_back(std::move(copy));
    }
    m_outgoing.push_back(std::move(out));
    std::stable_sort(m_outgoing.begin(), m_outgoing.end(),
                     [](const Outgoing& a, const Outgoing& b) { return a.due < b.due; });
}

void SimLan::startTransfer(std::size_t i, Destination peer, Clock::time_point now) {
    m_firmwarePeers[i] = std::move(peer);
    SimBox& box = *m_boxes[i];
    for (auto& request : box.firmwareDue(now))
        queue(std::move(request.bytes), m_firmwarePeers[i], box.spec().faults, now);
}

template <class Handler>
void SimLan::arrive(Byte* data, std::size_t n, const sockaddr_in& from, Clock::time_point now, Handler handler) {
    const FaultSpec& faults = m_options.requestFaults;
    std::uniform_real_distribution<double> chance(0.0, 1.0);
    if (faults.drop > 0 && chance(m_random) < faults.drop)
        return;
    if (faults.garble > 0 && n > 0 && chance(m_random) < faults.garble)
        data[std::uniform_int_distribution<std::size_t>(0, n - 1)(m_random)] ^= 0x5A;
    (this->*handler)(data, n, from, now);
    if (faults.duplicate > 0 && chance(m_random) < faults.duplicate)
        (this->*handler)(data, n, from, now);
}

void SimLan::onRequest(const Byte* data, std::size_t n, const sockaddr_in& from, Clock::time_point now) {
    ++m_requests;
    if (m_options.loopbackOnly && !loopbackSender(from))
        return;
    for (std::size_t i = 0; i < m_boxes.size(); ++i) {
        SimBox& box = *m_boxes[i];
        for (auto& reply : box.handle(std::span<const Byte>(data, n), now))
            queue(std::move(reply.bytes), from, box.spec().faults, now);
        // Block requests go to the socket the transfer's handshake came from.
        if (box.takeTransferStart())
            startTransfer(i, from, now);
    }
}

void SimLan::onFirmwareData(const Byte* data, std::size_t n, const sockaddr_in& from, Clock::time_point now) {
    if (m_options.loopbackOnly && !loopbackSender(from))
        return;
    if (n < HeaderSize)
        return;
    for (std::size_t i = 0; i < m_boxes.size(); ++i) {
        SimBox& box = *m_boxes[i];
        if (!std::equal(box.spec().mac.begin(), box.spec().mac.end(), data))
            continue;
        for (auto& request : box.firmwareData(std::span<const Byte>(data, n), now))
            queue(std::move(request.bytes), m_firmwarePeers[i], box.spec().faults, now);
    }
}

void SimLan::onCarrier(const Byte* data, std::size_t n, const sockaddr_in& from, Clock::time_point now) {
    if (m_options.loopbackOnly && !loopbackSender(from))
        return;
    const auto packet = platform::decodeIpx(std::span<const Byte>(data, n));
    if (!packet)
        return;
    const platform::IpxAddress& to = packet->destination;
    const platform::IpxAddress& sender = packet->source;
    // What this LAN sent comes back on the carrier too: it is not a request.
    for (const auto& box : m_boxes)
        if (sender.node == box->spec().mac)
            return;
    for (const auto& server : m_fileServers)
        if (sender.node == server->spec().node)
            return;
    const std::span<const Byte> payload(packet->payload);
    const bool toAll = to.node == platform::IpxBroadcastNode;
    const FaultSpec none{}; // the file server does not misbehave

    for (std::size_t i = 0; i < m_boxes.size(); ++i) {
        SimBox& box = *m_boxes[i];
        const bool toBox = to.node == box.spec().mac;
        const platform::IpxAddress own{{}, box.spec().mac, to.socket};
        if (to.socket == ipx::CommandSocket && (toBox || toAll)) {
            for (auto& reply : box.handleIpx(payload, !toBox, now))
                queue(std::move(reply.bytes), IpxRoute{own, sender, 0}, box.spec().faults, now);
            // Block requests go to the node the handshake came from, at the
            // firmware socket, and leave from the box's own firmware socket.
            if (box.takeTransferStart())
                startTransfer(i,
                              IpxRoute{{{}, box.spec().mac, ipx::FirmwareSocket},
                                       {sender.network, sender.node, ipx::FirmwareSocket},
                                       0},
                              now);
        } else if (to.socket == ipx::FirmwareSocket && toBox) {
            for (auto& request : box.firmwareData(payload, now, Framing::Ipx))
                queue(std::move(request.bytes), m_firmwarePeers[i], box.spec().faults, now);
        }
    }
    for (const auto& server : m_fileServers) {
        const FileServerSpec& spec = server->spec();
        const bool toServer = to.node == spec.node;
        if (to.socket == netware::SapSocket && (toServer || toAll)) {
            if (auto r = server->sapRequest(payload))
                queue(std::move(*r),
                      IpxRoute{{spec.network, spec.node, netware::SapSocket}, sender, netware::SapPacketType},
                      none, now);
        } else if (to.socket == spec.ncpSocket && toServer) {
            if (auto r = server->ncpRequest(payload, sender))
                queue(std::move(*r), IpxRoute{spec.address(), sender, netware::NcpPacketType}, none, now);
        }
    }
}

void SimLan::onNetbios(const Byte* data, std::size_t n, const sockaddr_in& from, Clock::time_point now) {
    if (m_options.loopbackOnly && !loopbackSender(from))
        return;
    const auto d = platform::decodeNetbiosDatagram(std::span<const Byte>(data, n));
    if (!d)
        return;
    // What this LAN sent comes back on the port too: it is not a request.
    for (const auto& box : m_boxes)
        if (d->source == platform::makeNetbiosName(box->netbiosName()))
            return;
    const bool toGroup = d->type == platform::DirectGroupDatagram &&
                         d->destination == platform::makeNetbiosName(platform::KovaGroupName);
    for (const auto& box : m_boxes) {
        const platform::NetbiosName own = platform::makeNetbiosName(box->netbiosName());
        const bool toBox = d->type == platform::DirectUniqueDatagram && d->destination == own;
        if (!toGroup && !toBox)
            continue;
        // The boxes live on the requester's side of loopback: its address is theirs.
        for (auto& reply : box->handleNetbios(d->data, toGroup, now))
            queue(std::move(reply.bytes), NetbiosRoute{own, d->source, ntohl(from.sin_addr.s_addr)},
                  box->spec().faults, now);
    }
}

void SimLan::flush(Clock::time_point now) {
    while (!m_outgoing.empty() && m_outgoing.front().due <= now) {
        const Outgoing& o = m_outgoing.front();
        platform::sendDatagram(o.socket, o.bytes.data(), o.bytes.size(), o.to);
        m_outgoing.pop_front();
    }
}

void SimLan::run() {
    std::vector<Byte> buffer(2048);  // firmware port
    std::vector<Byte> request(2048); // command port
    std::vector<Byte> carrier(platform::IpxHeaderSize + platform::IpxMaxPayload);
    std::vector<Byte> netbios(platform::NetbiosDatagramHeaderSize + 2 * platform::EncodedNetbiosNameSize +
                              platform::NetbiosMaxUserData);
    std::vector<pollfd> fds;
    while (m_running) {
        int timeoutMs = 10;
        fds = {{m_socket, POLLIN, 0}, {m_firmwareSocket, POLLIN, 0}};
        for (int extra : {m_ipxSocket, m_netbiosSocket})
            if (extra >= 0)
                fds.push_back(pollfd{extra, POLLIN, 0});
        {
            std::lock_guard lock(m_mutex);
            if (!m_outgoing.empty()) {
                const auto wait = duration_cast<milliseconds>(m_outgoing.front().due - Clock::now()).count();
                timeoutMs = int(std::clamp<long long>(wait, 0, 10));
            }
            if (m_lpd)
                m_lpd->addPollFds(fds);
        }
        ::poll(fds.data(), nfds_t(fds.size()), timeoutMs);
        std::lock_guard lock(m_mutex);
        const auto now = Clock::now();
        if (m_lpd)
            m_lpd->service(now);
        // The two ports are taken in the order the datagrams were sent: whatever
        // waits on the firmware port once a request has been read was sent before
        // it, so an end reply is taken before a search sent right after it.
        auto takeFirmwareData = [&] {
            for (;;) {
                sockaddr_in from{};
                const ssize_t n = platform::receiveDatagram(m_firmwareSocket, buffer.data(), buffer.size(), &from);
                if (n < 0) {
                    if (errno == EMSGSIZE)
                        continue; // too long for any box: dropped
                    return;
                }
                arrive(buffer.data(), std::size_t(n), from, now, &SimLan::onFirmwareData);
            }
        };
        for (;;) {
            sockaddr_in from{};
            const ssize_t n = platform::receiveDatagram(m_socket, request.data(), request.size(), &from);
            takeFirmwareData(); // sent before this request, so taken before it
            if (n < 0)
                break;
            arrive(request.data(), std::size_t(n), from, now, &SimLan::onRequest);
        }
        // The IPX segment is one carrier: its packets come in the order they were sent.
        while (m_ipxSocket >= 0) {
            sockaddr_in from{};
            const ssize_t n = platform::receiveDatagram(m_ipxSocket, carrier.data(), carrier.size(), &from);
            if (n < 0) {
                if (errno == EMSGSIZE)
                    continue; // longer than any IPX packet: not one
                break;
            }
            arrive(carrier.data(), std::size_t(n), from, now, &SimLan::onCarrier);
        }
        while (m_netbiosSocket >= 0) {
            sockaddr_in from{};
            const ssize_t n =
                platform::receiveDatagram(m_netbiosSocket, netbios.data(), netbios.size(), &from);
            if (n < 0) {
                if (errno == EMSGSIZE)
                    continue; // longer than any NetBIOS datagram: not one
                break;
            }
            arrive(netbios.data(), std::size_t(n), from, now, &SimLan::onNetbios);
        }
        for (std::size_t i = 0; i < m_boxes.size(); ++i) {
            m_boxes[i]->tick(now);
            for (auto& ask : m_boxes[i]->firmwareDue(now))
                queue(std::move(ask.bytes), m_firmwarePeers[i], m_boxes[i]->spec().faults, now);
            // Up again at its new address before its replies leave.
            if (m_lpd)
                m_lpd->follow(i, *m_boxes[i], now);
        }
        flush(Clock::now());
    }
}

} // namespace vnk::sim
