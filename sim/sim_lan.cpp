#include "sim/sim_lan.h"

#include "platform/inifile.h"
#include "platform/ipx.h"
#include "platform/udp_socket.h"

#include <arpa/inet.h>
#include <poll.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <unordered_map>
#include <unordered_set>

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
    if (m_socket < 0 || m_firmwareSocket < 0 || !ipxOk || (m_options.netbiosPort && m_netbiosSocket < 0)) {
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
    while (m_running) {
        int timeoutMs = 10;
        {
            std::lock_guard lock(m_mutex);
            if (!m_outgoing.empty()) {
                const auto wait = duration_cast<milliseconds>(m_outgoing.front().due - Clock::now()).count();
                timeoutMs = int(std::clamp<long long>(wait, 0, 10));
            }
        }
        pollfd fds[4] = {{m_socket, POLLIN, 0}, {m_firmwareSocket, POLLIN, 0}};
        nfds_t count = 2;
        for (int extra : {m_ipxSocket, m_netbiosSocket})
            if (extra >= 0)
                fds[count++] = pollfd{extra, POLLIN, 0};
        ::poll(fds, count, timeoutMs);
        std::lock_guard lock(m_mutex);
        const auto now = Clock::now();
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
        }
        flush(Clock::now());
    }
}

// ---------------------------------------------------------------- descriptions

namespace {

// A LAN description longer than this is not one: it is refused before it is read.
constexpr std::size_t MaxDescriptionBytes = 1 << 20;

// A whole number written in decimal (leading zeros allowed) or in hex after 0x.
std::optional<long> parseNumber(const std::string& text) {
    int base = 10;
    std::size_t start = 0;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        base = 16, start = 2;
    if (start >= text.size())
        return std::nullopt;
    long v = 0;
    const char* first = text.data() + start;
    const char* last = text.data() + text.size();
    const auto [end, ec] = std::from_chars(first, last, v, base);
    if (ec != std::errc() || end != last || v < 0)
        return std::nullopt;
    return v;
}

std::string unescape(const std::string& s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 1 < s.size()) {
            const char c = s[++i];
            out.push_back(c == 'n' ? '\n' : c == 'r' ? '\r' : c == 't' ? '\t' : c);
        } else {
            out.push_back(s[i]);
        }
    }
    return out;
}

// The parts of a record every box starts with before its description is applied.
BoxSpec baseBox(const std::string& label, const MacAddress& mac) {
    BoxSpec b;
    b.label = label;
    b.mac = mac;
    char dev[16];
    std::snprintf(dev, sizeof dev, "PS%02X%02X%02X", mac[3], mac[4], mac[5]);
    b.deviceName = dev;
    setHardware(b.record, mac, 0x01, record::CapTcpIp, 0x11, 0x21, 0x62);
    b.record[record::OptionFlags] = record::OptTcpIp;
    b.record[record::NetwarePolling] = 2;
    b.record[record::MailPolling] = 1;
    return b;
}

// One box or PC while its section is read: the hardware bytes go into the record
// once every key has been seen.
struct Draft {
    BoxSpec box;
    Byte ports = 0x01, caps = record::CapTcpIp, model = 0x11, version = 0x21, revision = 0x62;
};

// Each value kind: its parser, and the form an error and --help show.
std::optional<long> inRange(const std::string& v, long lo, long hi) {
    const auto n = parseNumber(v);
    if (!n || *n < lo || *n > hi)
        return std::nullopt;
    return n;
}
bool byteInto(Byte& target, const std::string& v) {
    const auto n = inRange(v, 0, 255);
    if (n)
        target = Byte(*n);
    return n.has_value();
}
bool ipInto(std::array<Byte, 4>& target, const std::string& v) {
    const auto a = platform::parseIPv4(v);
    if (a)
        target = {Byte(*a >> 24), Byte(*a >> 16), Byte(*a >> 8), Byte(*a)};
    return a.has_value();
}
bool recordIp(ConfigRecord& rec, std::size_t offset, const std::string& v) {
    std::array<Byte, 4> a{};
    if (!ipInto(a, v))
        return false;
    setIPv4(rec, offset, a);
    return true;
}
bool recordText(ConfigRecord& rec, std::size_t offset, const std::string& v) {
    if (v.size() > 15)
        return false;
    setText(rec, offset, 16, v);
    return true;
}
bool chanceInto(double& target, const std::string& v) {
    if (v.empty() || std::isspace(static_cast<unsigned char>(v[0])))
        return false;
    char* end = nullptr;
    const double d = std::strtod(v.c_str(), &end);
    if (end == v.c_str() || *end != 0 || !(d >= 0 && d <= 1))
        return false;
    target = d;
    return true;
}
template <class T> bool intInto(T& target, const std::string& v, long lo, long hi) {
    const auto n = inRange(v, lo, hi);
    if (n)
        target = T(*n);
    return n.has_value();
}
bool msInto(std::chrono::milliseconds& target, const std::string& v, long lo, long hi) {
    const auto n = inRange(v, lo, hi);
    if (n)
        target = milliseconds(*n);
    return n.has_value();
}
bool flagInto(bool& target, const std::string& v) {
    if (v != "0" && v != "1")
        return false;
    target = v == "1";
    return true;
}

// The commands a box can be told to ignore, by name.
constexpr std::pair<const char*, Byte> CommandNames[] = {
    {"reset", CmdReset},   {"read", CmdReadConfig},         {"write", CmdWriteConfig},
    {"search", CmdSearch}, {"status", CmdStatus},           {"testprint", CmdTestPrint},
    {"firmware", CmdFirmware}, {"printerstatus", CmdPrinterStatus},
};

bool commandListInto(std::vector<int>& target, const std::string& v) {
    std::vector<int> codes;
    std::size_t from = 0;
    for (;;) {
        const std::size_t comma = std::min(v.find(',', from), v.size());
        std::string part = v.substr(from, comma - from);
        part.erase(std::remove_if(part.begin(), part.end(), [](unsigned char c) { return std::isspace(c); }),
                   part.end());
        std::transform(part.begin(), part.end(), part.begin(), [](unsigned char c) { return char(std::tolower(c)); });
        std::optional<long> code = inRange(part, 0, 255);
        for (const auto& [name, value] : CommandNames)
            if (part == name)
                code = value;
        if (!code)
            return false;
        codes.push_back(int(*code));
        if (comma == v.size())
            break;
        from = comma + 1;
    }
    target = std::move(codes);
    return true;
}

constexpr const char* MacForm =
    "six hex bytes, as 00:00:B4:12:33:44 or 00-00-B4-12-33-44 (required; one box per address)";

// A key of a section. A name with <n> stands for five keys, n from 1 to 5.
struct KeyRule {
    const char* name;
    const char* form;
    bool (*apply)(Draft& d, int n, const std::string& value);
};

#define BYTE_KEY(key, field) {key, "a number 0-255", [](Draft& d, int, const std::string& v) { return byteInto(field, v); }}

const KeyRule KeyRules[] = {
    {"kind", "box or pc (fileserver: a NetWare file server, whose keys are listed below)",
     [](Draft& d, int, const std::string& v) {
         if (v == "pc")
             d.box.isPc = true, d.box.deviceType = 1, d.box.features65 = 0x01;
         return v == "pc" || v == "box";
     }},
    {"mac", MacForm,
     [](Draft&, int, const std::string& v) { return parseMac(v).has_value(); }},
    {"device", "text, cut to 8 characters (the identity's device name)",
     [](Draft& d, int, const std::string& v) {
         d.box.deviceName = v.substr(0, 8);
         return true;
     }},
    {"name", "text of up to 15 characters (the server name; default: the section name)",
     [](Draft& d, int, const std::string& v) { return recordText(d.box.record, record::AliasName, v); }},
    BYTE_KEY("vendor", d.box.vendor),
    BYTE_KEY("devicetype", d.box.deviceType),
    BYTE_KEY("servertype", d.box.serverType),
    BYTE_KEY("flags", d.box.flags61),
    BYTE_KEY("features", d.box.features65),
    {"firmware", "0 or 1 (1: firmware present)",
     [](Draft& d, int, const std::string& v) { return flagInto(d.box.firmwarePresent, v); }},
    BYTE_KEY("ports", d.ports),
    BYTE_KEY("capabilities", d.caps),
    BYTE_KEY("options", d.box.record[record::OptionFlags]),
    BYTE_KEY("model", d.model),
    BYTE_KEY("version", d.version),
    BYTE_KEY("revision", d.revision),
    {"ip", "an IPv4 address, as 192.168.1.50",
     [](Draft& d, int, const std::string& v) { return recordIp(d.box.record, record::IpAddress, v); }},
    {"mask", "an IPv4 address, as 255.255.255.0",
     [](Draft& d, int, const std::string& v) { return recordIp(d.box.record, record::SubnetMask, v); }},
    {"gateway", "an IPv4 address",
     [](Draft& d, int, const std::string& v) { return recordIp(d.box.record, record::Gateway, v); }},
    {"dhcp_address", "an IPv4 address (what the box gets when its IP address is 0.0.0.0)",
     [](Draft& d, int, const std::string& v) { return ipInto(d.box.dhcpAddress, v); }},
    BYTE_KEY("dhcp_mode", d.box.record[record::DhcpMode]),
    {"dhcp_start", "an IPv4 address",
     [](Draft& d, int, const std::string& v) { return recordIp(d.box.record, record::DhcpStart, v); }},
    {"dhcp_range", "a number 0-65535",
     [](Draft& d, int, const std::string& v) {
         std::uint16_t n = 0;
         if (!intInto(n, v, 0, 65535))
             return false;
         putLE16(d.box.record, record::DhcpRange, n);
         return true;
     }},
    {"snmp_contact", "text of up to 15 characters",
     [](Draft& d, int, const std::string& v) { return recordText(d.box.record, record::SnmpContact, v); }},
    {"snmp_location", "text of up to 15 characters",
     [](Draft& d, int, const std::string& v) { return recordText(d.box.record, record::SnmpLocation, v); }},
    BYTE_KEY("frame_type", d.box.frameType),
    BYTE_KEY("speed", d.box.speedCode),
    {"port<n>_state", "a number 0-255 (the state of port n)",
     [](Draft& d, int n, const std::string& v) { return byteInto(d.box.portStates[std::size_t(n - 1)], v); }},
    {"printer<n>_display", "text; \\r, \\n and \\t stand for those characters",
     [](Draft& d, int n, const std::string& v) {
         d.box.printers[std::size_t(n - 1)].display = unescape(v);
         return true;
     }},
    {"printer<n>_id", "text; \\r, \\n and \\t stand for those characters",
     [](Draft& d, int n, const std::string& v) {
         d.box.printers[std::size_t(n - 1)].identification = unescape(v);
         return true;
     }},
    {"printer<n>_l1", "a number 0-65535 (the display length the box reports, right or wrong)",
     [](Draft& d, int n, const std::string& v) {
         std::uint16_t x = 0;
         if (!intInto(x, v, 0, 65535))
             return false;
         d.box.printers[std::size_t(n - 1)].displayLength = x;
         return true;
     }},
    {"printer<n>_l2", "a number 0-65535 (the identification length the box reports)",
     [](Draft& d, int n, const std::string& v) {
         std::uint16_t x = 0;
         if (!intInto(x, v, 0, 65535))
             return false;
         d.box.printers[std::size_t(n - 1)].identificationLength = x;
         return true;
     }},
    {"restart_ms", "a number 0-600000 (milliseconds of silence after a reset)",
     [](Draft& d, int, const std::string& v) { return msInto(d.box.restartDelay, v, 0, 600000); }},
    {"fault_drop", "a chance from 0 to 1, as 0.25 (a reply is lost)",
     [](Draft& d, int, const std::string& v) { return chanceInto(d.box.faults.drop, v); }},
    {"fault_duplicate", "a chance from 0 to 1 (a reply is sent twice)",
     [](Draft& d, int, const std::string& v) { return chanceInto(d.box.faults.duplicate, v); }},
    {"fault_garble", "a chance from 0 to 1 (one byte of a reply is flipped)",
     [](Draft& d, int, const std::string& v) { return chanceInto(d.box.faults.garble, v); }},
    {"fault_delay_ms", "a number 0-60000 (every reply leaves this late)",
     [](Draft& d, int, const std::string& v) { return intInto(d.box.faults.delayMs, v, 0, 60000); }},
    {"fault_reorder_ms", "a number 0-60000 (each reply leaves up to this much later again, at random, so that "
                         "replies overtake each other)",
     [](Draft& d, int, const std::string& v) { return intInto(d.box.faults.reorderMs, v, 0, 60000); }},
    {"fault_truncate", "a number 0-1024 (bytes cut from the end of every reply)",
     [](Draft& d, int, const std::string& v) { return intInto(d.box.faults.truncate, v, 0, 1024); }},
    {"fault_silent", "0 or 1 (1: answers nothing)",
     [](Draft& d, int, const std::string& v) { return flagInto(d.box.faults.silent, v); }},
    {"fault_udp_silent", "0 or 1 (1: answers nothing over UDP, only over IPX and NetBIOS)",
     [](Draft& d, int, const std::string& v) { return flagInto(d.box.faults.udpSilent, v); }},
    {"fault_ignore",
     "commands separated by commas, each a name (reset, read, write, search, status, testprint, firmware, "
     "printerstatus) or a code 0-255",
     [](Draft& d, int, const std::string& v) { return commandListInto(d.box.faults.ignore, v); }},
    {"fault_refuse_write", "0 or 1 (1: keeps its record and answers a write with a reply that does not confirm it)",
     [](Draft& d, int, const std::string& v) { return flagInto(d.box.faults.refuseWrites, v); }},
    {"fault_firmware_stop_after", "a number 0-100000 (block requests before the box stops asking)",
     [](Draft& d, int, const std::string& v) { return intInto(d.box.faults.firmwareStopAfter, v, 0, 100000); }},
    {"fault_firmware_repeat", "a chance from 0 to 1 (after a new block the box asks again for one it already has)",
     [](Draft& d, int, const std::string& v) { return chanceInto(d.box.faults.firmwareRepeat, v); }},
    {"firmware_order", "sequential, shuffled or reverse",
     [](Draft& d, int, const std::string& v) {
         using Order = FirmwarePlan::Order;
         const std::pair<const char*, Order> orders[] = {
             {"sequential", Order::Sequential}, {"shuffled", Order::Shuffled}, {"reverse", Order::Reverse}};
         for (const auto& [name, order] : orders)
             if (v == name) {
                 d.box.firmware.order = order;
                 return true;
             }
         return false;
     }},
    {"firmware_blocks", "a number 0-512 (blocks asked for; a whole image is 448)",
     [](Draft& d, int, const std::string& v) { return intInto(d.box.firmware.blocks, v, 0, 512); }},
    {"firmware_repeats", "a number 0-10000 (blocks asked for a second time)",
     [](Draft& d, int, const std::string& v) { return intInto(d.box.firmware.repeats, v, 0, 10000); }},
    {"firmware_pace_ms", "a number 0-60000 (pause after each block)",
     [](Draft& d, int, const std::string& v) { return msInto(d.box.firmware.pace, v, 0, 60000); }},
    {"firmware_retry_ms", "a number 1-60000 (a block that did not come is asked again after this)",
     [](Draft& d, int, const std::string& v) { return msInto(d.box.firmware.retryAfter, v, 1, 60000); }},
    {"firmware_handshake_reply", "10 or 12 (bytes of the handshake reply)",
     [](Draft& d, int, const std::string& v) {
         if (v != "10" && v != "12")
             return false;
         d.box.firmware.handshakeReplySize = v == "10" ? 10 : 12;
         return true;
     }},
    {"firmware_verify", "0 or 1 (1: an image whose block 448 does not check is refused)",
     [](Draft& d, int, const std::string& v) { return flagInto(d.box.firmware.verifyCheckByte, v); }},
};
#undef BYTE_KEY

// The rule of a key as written (any case); n is the port or printer number of
// the keys that come in fives.
const KeyRule* ruleFor(std::string key, int& n) {
    std::transform(key.begin(), key.end(), key.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    n = 0;
    for (const std::string prefix : {"printer", "port"}) {
        const std::size_t p = prefix.size();
        if (key.size() > p + 1 && key.compare(0, p, prefix) == 0 && key[p] >= '1' && key[p] <= '5' &&
            key[p + 1] == '_') {
            n = key[p] - '0';
            key = prefix + "<n>" + key.substr(p + 1);
            break;
        }
    }
    for (const KeyRule& rule : KeyRules)
        if (key == rule.name)
            return &rule;
    return nullptr;
}

std::string macColons(const MacAddress& mac) {
    char text[18];
    std::snprintf(text, sizeof text, "%02X:%02X:%02X:%02X:%02X:%02X", mac[0], mac[1], mac[2], mac[3], mac[4], mac[5]);
    return text;
}

std::string lowered(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return s;
}

// ------------------------------------------------------- file server sections

// A file server while its section is read: the boxes its bindery names are
// found once every section has been read.
struct ServerDraft {
    FileServerSpec server;
    std::vector<std::string> printServers, ndsTrees, fileServers, missing;
    struct BoxRef {
        std::string text; // as written
        std::uint16_t type;
    };
    std::vector<BoxRef> boxRefs;
    int boxRefsLine = 0;
    std::string boxRefsKey;
};

constexpr const char* NameListForm = "names separated by commas, each 1-47 characters without '*', '?' or control "
                                     "characters";

bool binderyName(const std::string& v) {
    return !v.empty() && v.size() <= netware::MaxNameLength &&
           std::none_of(v.begin(), v.end(), [](unsigned char c) { return c < 0x20 || c == 0x7F || c == '*' || c == '?'; });
}

std::string trimmed(const std::string& s) {
    const auto first = s.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

// The comma-separated parts of a value, each trimmed; nothing when one is empty.
std::optional<std::vector<std::string>> commaList(const std::string& v) {
    std::vector<std::string> parts;
    std::size_t from = 0;
    for (;;) {
        const std::size_t comma = std::min(v.find(',', from), v.size());
        parts.push_back(trimmed(v.substr(from, comma - from)));
        if (parts.back().empty())
            return std::nullopt;
        if (comma == v.size())
            return parts;
        from = comma + 1;
    }
}

// A list of bindery names, none given twice (names are compared without case).
bool nameListInto(std::vector<std::string>& target, const std::string& v) {
    const auto parts = commaList(v);
    if (!parts)
        return false;
    std::unordered_set<std::string> seen; // lower case
    for (const std::string& part : *parts)
        if (!binderyName(part) || !seen.insert(lowered(part)).second)
            return false;
    target = *parts;
    return true;
}

struct ServerKeyRule {
    const char* name;
    const char* form;
    bool (*apply)(ServerDraft& d, const std::string& value);
};

const ServerKeyRule ServerKeyRules[] = {
    {"kind", "fileserver", [](ServerDraft&, const std::string& v) { return v == "fileserver"; }},
    {"mac", "six hex bytes, as 00:00:1B:12:34:56 (required: the server's IPX node; no box has it)",
     [](ServerDraft&, const std::string& v) { return parseMac(v).has_value(); }},
    {"name",
     "text of 1-47 characters without '*', '?' or control characters (what the server calls itself; default: "
     "the section name in capitals)",
     [](ServerDraft& d, const std::string& v) {
         d.server.name = v;
         return binderyName(v);
     }},
    {"network", "eight hex digits, as 0000BEEF or 0x0000BEEF (its IPX network number; default 00000000)",
     [](ServerDraft& d, const std::string& v) {
         const std::string digits = v.size() > 2 && v[0] == '0' && (v[1] == 'x' || v[1] == 'X') ? v.substr(2) : v;
         std::uint32_t n = 0;
         const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), n, 16);
         if (digits.empty() || digits.size() > 8 || ec != std::errc() || end != digits.data() + digits.size())
             return false;
         d.server.network = {Byte(n >> 24), Byte(n >> 16), Byte(n >> 8), Byte(n)};
         return true;
     }},
    {"ncp_socket", "a number 1-65535 other than 0x0452, the SAP socket (its NCP socket; default 0x0451)",
     [](ServerDraft& d, const std::string& v) {
         const auto n = inRange(v, 1, 65535);
         if (!n || *n == netware::SapSocket)
             return false;
         d.server.ncpSocket = std::uint16_t(*n);
         return true;
     }},
    {"print_servers", "", // the form is NameListForm, with what the objects are
     [](ServerDraft& d, const std::string& v) { return nameListInto(d.printServers, v); }},
    {"box_objects",
     "boxes separated by commas, each named by its section name, its server name or its Ethernet address, "
     "optionally followed by :1447 or :1448, the object type (default 1447): a print server object named as "
     "the box whose NET_ADDRESS is the box's node, as QUILL-3P2S:1447, gannet:1448",
     [](ServerDraft& d, const std::string& v) {
         const auto parts = commaList(v);
         if (!parts)
             return false;
         d.boxRefs.clear();
         for (const std::string& part : *parts) {
             std::uint16_t type = netware::BoxObject;
             std::string text = part;
             for (const auto& [suffix, t] :
                  {std::pair{":1447", netware::BoxObject}, std::pair{":1448", netware::BoxObjectOther}})
                 if (text.size() > 5 && text.compare(text.size() - 5, 5, suffix) == 0) {
                     type = t;
                     text = trimmed(text.substr(0, text.size() - 5));
                 }
             d.boxRefs.push_back({text, type});
         }
         return true;
     }},
    {"missing_objects",
     "names as print_servers (box objects, type 0x1447, whose NET_ADDRESS names a node where no box answers)",
     [](ServerDraft& d, const std::string& v) { return nameListInto(d.missing, v); }},
    {"file_servers", "names as print_servers (file server objects, type 0x0004; the server itself is always one)",
     [](ServerDraft& d, const std::string& v) { return nameListInto(d.fileServers, v); }},
    {"nds_trees", "names as print_servers (NDS tree objects, type 0x0278)",
     [](ServerDraft& d, const std::string& v) { return nameListInto(d.ndsTrees, v); }},
};

std::string serverKeyForm(const ServerKeyRule& rule) {
    if (std::string(rule.name) == "print_servers")
        return std::string(NameListForm) + " (print server objects, type 0x0047, that are not boxes)";
    return rule.form;
}

const ServerKeyRule* serverRuleFor(const std::string& key) {
    for (const ServerKeyRule& rule : ServerKeyRules)
        if (lowered(key) == rule.name)
            return &rule;
    return nullptr;
}

// A node for the NET_ADDRESS of a box object that no box answers: one that no
// device of the LAN has, 00:00:B4:EE:EE:01 upwards, then down through
// 00:00:B4:EE:ED:xx. A description of at most 1 MiB cannot name 65536 devices,
// so the search always ends with a free node. taken is sorted.
MacAddress unusedNode(const std::vector<MacAddress>& taken, std::uint16_t& next) {
    MacAddress node{};
    for (std::uint32_t tries = 0; tries <= 0xFFFF; ++tries, ++next) {
        node = {0x00, 0x00, 0xB4, 0xEE, Byte(0xEE - (next >> 8)), Byte(next)};
        if (!std::binary_search(taken.begin(), taken.end(), node))
            break;
    }
    ++next;
    return node;
}

// The bindery of a file server, once the boxes of the LAN are known: the server
// itself and the other file servers, the NDS trees, the print servers, the
// boxes' objects and the objects of boxes that are not there. A box that is not
// found is reported; nothing is added then.
// The boxes a bindery can name: by section name or server name (any case) and
// by Ethernet address. When several boxes answer to a text, the last one of the
// file is meant.
class BoxNames {
public:
    explicit BoxNames(const std::vector<BoxSpec>& boxes) : m_boxes(boxes) {
        for (std::size_t i = 0; i < boxes.size(); ++i) {
            m_byLabel[lowered(boxes[i].label)] = i;
            m_byAlias[lowered(fieldText(boxes[i].record, record::AliasName, 16))] = i;
            m_byMac[boxes[i].mac] = i;
        }
    }
    const BoxSpec* find(const std::string& text) const {
        std::optional<std::size_t> last;
        auto take = [&](const auto& index, const auto& key) {
            if (const auto it = index.find(key); it != index.end() && (!last || it->second > *last))
                last = it->second;
        };
        const std::string name = lowered(text);
        take(m_byLabel, name);
        take(m_byAlias, name);
        if (const auto mac = parseMac(text))
            take(m_byMac, *mac);
        return last ? &m_boxes[*last] : nullptr;
    }

private:
    const std::vector<BoxSpec>& m_boxes;
    std::unordered_map<std::string, std::size_t> m_byLabel, m_byAlias;
    std::map<MacAddress, std::size_t> m_byMac;
};

bool buildBindery(ServerDraft& d, const BoxNames& boxes, const std::vector<MacAddress>& taken,
                  std::uint16_t& nextNode, std::string& why) {
    FileServerSpec& fs = d.server;
    std::vector<std::pair<const BoxSpec*, std::uint16_t>> found;
    for (const auto& ref : d.boxRefs) {
        const BoxSpec* box = boxes.find(ref.text);
        if (!box) {
            why = "\"" + ref.text + "\" names no box of this file; expected its section name, its server name or its "
                  "Ethernet address";
            return false;
        }
        if (box->isPc) {
            why = "\"" + ref.text + "\" is a networked PC; only a box has a print server object";
            return false;
        }
        found.emplace_back(box, ref.type);
    }
    // As addObject adds them, one object of a type and name (any case), but with
    // the names found through a set: a list may name thousands.
    std::set<std::pair<std::uint16_t, std::string>> present; // type, stored name in lower case
    auto add = [&](std::uint16_t type, const std::string& name, std::optional<platform::IpxAddress> address = {}) {
        if (present.contains({type, lowered(name)}))
            return;
        fs.appendObject(type, name, address);
        present.emplace(type, lowered(fs.bindery.back().name));
    };
    add(netware::FileServerObject, fs.name, fs.address());
    for (const auto& n : d.fileServers)
        add(netware::FileServerObject, n);
    for (const auto& n : d.ndsTrees)
        add(netware::NdsTreeObject, n);
    for (const auto& n : d.printServers)
        add(netware::PrintServerObject, n);
    for (const auto& [box, type] : found) {
        std::string name = fieldText(box->record, record::AliasName, 16);
        if (name.empty())
            name = box->label;
        add(type, name, platform::IpxAddress{fs.network, box->mac, ipx::CommandSocket});
    }
    for (const auto& n : d.missing)
        add(netware::BoxObject, n, platform::IpxAddress{fs.network, unusedNode(taken, nextNode), ipx::CommandSocket});
    return true;
}

// The text of a LAN description, or an error naming why there is none.
std::optional<std::string> readDescription(const std::string& path, std::string& why) {
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (ec || !std::filesystem::exists(status)) {
        why = "cannot read the LAN description " + path + ": " + (ec ? ec.message() : std::strerror(ENOENT));
        return std::nullopt;
    }
    if (std::filesystem::is_directory(status)) {
        why = "the LAN description " + path + " is a directory; give the file itself";
        return std::nullopt;
    }
    if (!std::filesystem::is_regular_file(status)) {
        why = "the LAN description " + path + " is not a regular file";
        return std::nullopt;
    }
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        why = "cannot read the LAN description " + path + ": " + std::strerror(errno);
        return std::nullopt;
    }
    // Read in pieces until past the limit: a description is a few kilobytes,
    // and a buffer of the whole limit would be filled for each one.
    std::string text;
    char piece[16 * 1024];
    while (text.size() <= MaxDescriptionBytes) {
        const std::size_t got = std::fread(piece, 1, sizeof piece, f);
        if (got == 0)
            break;
        text.append(piece, got);
    }
    const std::size_t n = text.size();
    const bool failed = std::ferror(f) != 0;
    const int readErrno = errno;
    std::fclose(f);
    if (failed) {
        why = "cannot read the LAN description " + path + ": " + std::strerror(readErrno);
        return std::nullopt;
    }
    if (n > MaxDescriptionBytes) {
        why = "the LAN description " + path + " is longer than " + std::to_string(MaxDescriptionBytes) +
              " bytes: not a LAN description";
        return std::nullopt;
    }
    return text;
}

} // namespace

namespace {
// One key of --help: its name, then its form wrapped at about 100 columns,
// continued under itself.
std::string keyLine(const std::string& name, std::string form) {
    std::string out;
    std::string line = "  " + name;
    line.resize(std::max<std::size_t>(line.size() + 1, 29), ' ');
    while (line.size() + form.size() > 100) {
        std::size_t cut = form.rfind(' ', 100 - line.size());
        if (cut == std::string::npos || cut == 0)
            break;
        out += line + form.substr(0, cut) + "\n";
        form = form.substr(cut + 1);
        line.assign(29, ' ');
    }
    return out + line + form + "\n";
}
} // namespace

std::string lanDescriptionKeys() {
    std::string out;
    for (const KeyRule& rule : KeyRules)
        out += keyLine(rule.name, rule.form);
    out += "\nA section with kind = fileserver is a NetWare file server on the IPX side of the LAN: it\n"
           "answers the nearest-server query and, on its NCP socket, connections, bindery scans and\n"
           "NET_ADDRESS reads. Its bindery holds the objects these keys name:\n";
    for (const ServerKeyRule& rule : ServerKeyRules)
        out += keyLine(rule.name, serverKeyForm(rule));
    return out;
}

std::vector<BoxSpec> loadLanDescription(const std::string& path, std::string* error) {
    return loadLan(path, error).boxes;
}

LanDescription loadLan(const std::string& path, std::string* error) {
    std::vector<std::pair<int, std::string>> errors; // line (0: the whole file), text
    auto done = [&](LanDescription lan) {
        if (errors.empty())
            return lan;
        if (error) {
            std::stable_sort(errors.begin(), errors.end(),
                             [](const auto& a, const auto& b) { return a.first < b.first; });
            error->clear();
            for (const auto& e : errors)
                *error += (error->empty() ? "" : "\n") + e.second;
        }
        return LanDescription{};
    };
    std::string why;
    const auto text = readDescription(path, why);
    if (!text) {
        errors.emplace_back(0, why);
        return done({});
    }
    const platform::IniFile ini = platform::IniFile::parse(*text);
    auto report = [&](int line, const std::string& what) {
        errors.emplace_back(line, path + ":" + std::to_string(line) + ": " + what);
    };

    // The sections in file order, each with its lines; a name given twice is refused.
    struct Section {
        std::string name;
        int line = 0;
        std::vector<const platform::IniFile::Line*> entries;
    };
    std::vector<Section> sections;
    std::unordered_map<std::string, int> sectionLines; // names (lower case) and their lines
    bool skipping = false; // inside a section refused above
    for (const auto& l : ini.lines()) {
        using Kind = platform::IniFile::Line::Kind;
        if (l.kind == Kind::Section) {
            skipping = false;
            if (!l.closed || l.section.empty()) {
                report(l.number, "expected a section header as [name], not \"" + l.text + "\"");
                skipping = true;
                continue;
            }
            const auto [first, added] = sectionLines.try_emplace(lowered(l.section), l.number);
            if (!added) {
                report(l.number, "[" + l.section + "]: a second section of this name (the first is on line " +
                                 std::to_string(first->second) + "); every box needs a name of its own");
                skipping = true;
            } else {
                sections.push_back({l.section, l.number, {}});
            }
        } else if (l.kind == Kind::Entry) {
            if (!skipping)
                sections.back().entries.push_back(&l);
        } else {
            report(l.number, (sections.empty() && !skipping
                                                 ? "expected a section header as [name] before any key, not \""
                                                 : "expected key = value, not \"") +
                             l.text + "\"");
        }
    }

    std::vector<BoxSpec> boxes;
    std::vector<ServerDraft> servers;
    struct Owner {
        MacAddress mac;
        std::string section;
        int line;
    };
    std::vector<Owner> owners; // every address read so far, from sections with or without mistakes
    std::map<MacAddress, std::size_t> firstOwners; // each address and the first of owners to have it
    // Reports each key given twice in a section; calls apply(entry) for the others.
    auto eachKey = [&](const Section& section, auto&& apply) {
        std::unordered_map<std::string, int> seen; // keys (lower case) and their lines
        for (const auto* e : section.entries) {
            const auto [first, added] = seen.try_emplace(lowered(e->key), e->number);
            if (!added) {
                report(e->number, "[" + section.name + "] " + e->key + ": given twice in this section (first on line " +
                                      std::to_string(first->second) + ")");
                continue;
            }
            apply(*e, "[" + section.name + "] " + e->key + ": ");
        }
    };
    for (const Section& section : sections) {
        const auto errorsBefore = errors.size();
        // The address comes first: the device name and the hardware bytes follow from it.
        const platform::IniFile::Line* macLine = nullptr;
        bool fileServer = false;
        for (const auto* e : section.entries) {
            if (lowered(e->key) == "mac" && !macLine)
                macLine = e;
            if (lowered(e->key) == "kind" && e->value == "fileserver")
                fileServer = true;
        }
        std::optional<MacAddress> mac;
        if (!macLine) {
            report(section.line, "[" + section.name + "]: mac is missing; expected mac = " + MacForm);
        } else if (!(mac = parseMac(macLine->value))) {
            report(macLine->number, "[" + section.name + "] " + macLine->key + ": \"" +
                             macLine->value + "\" is not an Ethernet address; expected " + MacForm);
        } else {
            // Named against its first holder only: a file giving one address to
            // every section would otherwise get a report for every pair.
            if (const auto [first, added] = firstOwners.try_emplace(*mac, owners.size()); !added) {
                const Owner& o = owners[first->second];
                report(macLine->number, "[" + section.name + "] " + macLine->key + ": " + macColons(*mac) +
                                            " is already the address of [" + o.section + "] on line " +
                                            std::to_string(o.line) + "; every box needs an address of its own");
            }
            owners.push_back({*mac, section.name, macLine->number});
        }

        if (fileServer) {
            ServerDraft d;
            d.server.label = section.name;
            d.server.node = mac.value_or(MacAddress{});
            d.server.name = section.name.substr(0, netware::MaxNameLength);
            std::transform(d.server.name.begin(), d.server.name.end(), d.server.name.begin(),
                           [](unsigned char c) { return char(std::toupper(c)); });
            eachKey(section, [&](const platform::IniFile::Line& e, const std::string& where) {
                const ServerKeyRule* rule = serverRuleFor(e.key);
                if (!rule)
                    report(e.number, where + "unknown key of a file server (vnksim --help lists the keys)");
                else if (!rule->apply(d, e.value))
                    report(e.number, where + "bad value \"" + e.value + "\"; expected " + serverKeyForm(*rule));
                else if (lowered(e.key) == "box_objects")
                    d.boxRefsLine = e.number, d.boxRefsKey = e.key;
            });
            if (errors.size() == errorsBefore)
                servers.push_back(std::move(d));
            continue;
        }

        Draft d;
        d.box = baseBox(section.name, mac.value_or(MacAddress{}));
        d.box.printers.resize(5);
        std::size_t printersUsed = 0;
        setText(d.box.record, record::AliasName, 16, section.name.substr(0, 15));
        eachKey(section, [&](const platform::IniFile::Line& e, const std::string& where) {
            int n = 0;
            const KeyRule* rule = ruleFor(e.key, n);
            if (!rule)
                report(e.number, where + "unknown key (vnksim --help lists the keys)");
            else if (!rule->apply(d, n, e.value))
                report(e.number, where + "bad value \"" + e.value + "\"; expected " + rule->form);
            else if (lowered(e.key).rfind("printer", 0) == 0)
                printersUsed = std::max(printersUsed, std::size_t(n));
        });
        if (errors.size() != errorsBefore)
            continue;
        d.box.printers.resize(printersUsed);
        setHardware(d.box.record, d.box.mac, d.ports, d.caps, d.model, d.version, d.revision);
        setRecordChecksum(d.box.record);
        boxes.push_back(std::move(d.box));
    }
    if (boxes.empty() && errors.empty())
        errors.emplace_back(0, "the LAN description " + path + " has no box: expected one [name] section per box or PC");

    // The boxes a bindery names are known now.
    LanDescription lan;
    std::vector<MacAddress> taken;
    for (const Owner& o : owners)
        taken.push_back(o.mac);
    std::sort(taken.begin(), taken.end());
    const BoxNames boxNames(boxes);
    std::uint16_t nextNode = 1;
    for (ServerDraft& d : servers) {
        std::string missing;
        if (!buildBindery(d, boxNames, taken, nextNode, missing))
            report(d.boxRefsLine, "[" + d.server.label + "] " + d.boxRefsKey + ": " + missing);
        else
            lan.fileServers.push_back(std::move(d.server));
    }
    lan.boxes = std::move(boxes);
    return done(std::move(lan));
}

std::vector<BoxSpec> demoLan() {
    std::vector<BoxSpec> lan;
    auto ip = [](Byte a, Byte b, Byte c, Byte d) { return std::array<Byte, 4>{a, b, c, d}; };

    // A full three-parallel, two-serial box with every capability.
    BoxSpec full = baseBox("quill", {0x00, 0x00, 0xB4, 0x12, 0x33, 0x44});
    setHardware(full.record, full.mac, 0x0B, 0xBF, 0x11, 0x21, 0x62);
    setText(full.record, record::AliasName, 16, "QUILL-3P2S");
    setText(full.record, record::SnmpContact, 16, "Front desk");
    setText(full.record, record::SnmpLocation, 16, "Floor 2");
    full.record[record::OptionFlags] = record::OptTcpIp | record::OptNetBeui | record::OptAppleTalk;
    setIPv4(full.record, record::IpAddress, ip(192, 168, 1, 50));
    setIPv4(full.record, record::SubnetMask, ip(255, 255, 255, 0));
    setIPv4(full.record, record::Gateway, ip(192, 168, 1, 1));
    setIPv4(full.record, record::DhcpStart, ip(192, 168, 1, 100));
    putLE16(full.record, record::DhcpRange, 50);
    setIPv4(full.record, record::DhcpNetmask, ip(255, 255, 255, 0));
    full.record[record::DhcpMode] = 1;
    full.flags61 = 0x11;
    full.features65 = 0x03;
    full.frameType = 1;
    full.speedCode = 3;
    full.portStates = {0, 1, 3, 0, 2};
    // Logged in to the demo file server, two ports attached to its queues.
    setText(full.record, record::NetwareFileServer, 48, "FS-MAIN");
    full.netware.network = {0x00, 0x00, 0x23, 0x13};
    full.netware.loggedInToPrimary = true;
    full.netware.queues[0] = QueueAttachment{"FS-MAIN", "Q-FLOOR2-LASER"};
    full.netware.queues[2] = QueueAttachment{"FS-MAIN", "Q-LABELS"};
    full.printers = {
        {"@PJL INFO STATUS\r\nCODE=10001\r\nDISPLAY=\"READY\"\r\nONLINE=TRUE\r\n",
         "MFG:Hewlett-Packard;MDL:LaserJet 4000;CMD:PJL,PCL;", {}, {}},
        {"CODE=10003\r\nDISPLAY=\"OFFLINE\"\r\n", "MFG:EPSON;MDL:LQ-570;", {}, {}},
        {"", "", {}, {}},
    };
    lan.push_back(full);

    // A one-port box that can do little but TCP/IP and cannot be upgraded over UDP.
    BoxSpec small = baseBox("marten", {0x00, 0x00, 0xB4, 0x02, 0x10, 0x01});
    setHardware(small.record, small.mac, 0x01, record::CapTcpIp, 0x12, 0x10, 0x41);
    setText(small.record, record::AliasName, 16, "MARTEN-1P");
    small.dhcpAddress = ip(192, 168, 1, 61);
    small.frameType = 2;
    small.speedCode = 1;
    small.features65 = 0x01;
    lan.push_back(small);

    // A box whose firmware is missing: it must be upgraded before it prints.
    BoxSpec bare = baseBox("gannet", {0x00, 0x00, 0xB4, 0x13, 0x20, 0x02});
    setHardware(bare.record, bare.mac, 0x05, 0x39, 0x13, 0x21, 0x60);
    setText(bare.record, record::AliasName, 16, "GANNET-1P1S");
    setIPv4(bare.record, record::IpAddress, ip(192, 168, 1, 52));
    setIPv4(bare.record, record::SubnetMask, ip(255, 255, 255, 0));
    bare.firmwarePresent = false;
    bare.flags61 = 0x20;
    bare.features65 = 0x01;
    lan.push_back(bare);

    // A two-port box with DHCP server, mail printing and NetBEUI.
    BoxSpec mid = baseBox("bittern", {0x00, 0x00, 0xB4, 0x14, 0x30, 0x03});
    setHardware(mid.record, mid.mac, 0x02, 0x7D, 0x14, 0x30, 0x72);
    setText(mid.record, record::AliasName, 16, "BITTERN-2P");
    mid.record[record::OptionFlags] = record::OptTcpIp | record::OptNetBeui | record::OptDiagnostic;
    setIPv4(mid.record, record::IpAddress, ip(192, 168, 1, 53));
    setIPv4(mid.record, record::SubnetMask, ip(255, 255, 255, 0));
    setIPv4(mid.record, record::MailBlocks, ip(192, 168, 1, 25));
    setText(mid.record, record::MailBlocks + 4, 8, "printer1");
    setText(mid.record, record::MailBlocks + 12, 8, "secret");
    mid.record[record::PrintFlags] = 0x11;
    mid.record[record::MailPolling] = 5;
    mid.record[record::DhcpMode] = 2;
    mid.flags61 = 0x41;
    mid.features65 = 0x03;
    mid.frameType = 0;
    mid.speedCode = 2;
    mid.printers = {{"@PJL INFO STATUS\r\nDISPLAY=\"PAPER OUT\"\r\n", "MFG:Canon;MDL:BJC-4000;", {}, {}}};
    mid.portStates = {2, 0, 0, 0, 0};
    lan.push_back(mid);

    // A networked PC: answers searches only (a Wake-on-LAN target for the plug-in).
    BoxSpec pc = baseBox("alder", {0x00, 0x11, 0x22, 0x33, 0x44, 0x55});
    pc.isPc = true;
    pc.deviceType = 1;
    pc.features65 = 0x01;
    pc.deviceName = "ALDER-PC";
    setText(pc.record, record::AliasName, 16, "ALDER");
    lan.push_back(pc);

    for (auto& b : lan)
        setRecordChecksum(b.record);
    return lan;
}

FileServerSpec demoFileServer() {
    FileServerSpec fs;
    fs.label = "fs-main";
    fs.name = "FS-MAIN";
    fs.node = {0x00, 0x00, 0x1B, 0x4F, 0x53, 0x01};
    // Network 0: the segment's own, the only one a station without a router reaches.
    fs.addObject(netware::FileServerObject, fs.name, fs.address());
    fs.addObject(netware::FileServerObject, "FS-ARCHIVE");
    fs.addObject(netware::NdsTreeObject, "ACME_TREE");
    fs.addObject(netware::PrintServerObject, "PS-FLOOR2");
    // A print server object that carries a box's name without being the box's own.
    fs.addObject(netware::PrintServerObject, "BITTERN-2P");
    fs.addObject(netware::BoxObject, "QUILL-3P2S",
                 platform::IpxAddress{fs.network, {0x00, 0x00, 0xB4, 0x12, 0x33, 0x44}, ipx::CommandSocket});
    return fs;
}

} // namespace vnk::sim
