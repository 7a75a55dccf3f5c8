#include "sim/sim_lan.h"

#include "platform/inifile.h"
#include "platform/udp_socket.h"

#include <arpa/inet.h>
#include <poll.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
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

int SimLan::boxCount() const {
    std::lock_guard lock(m_mutex);
    return int(m_boxes.size());
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
} // namespace

bool SimLan::start(std::string* error) {
    if (m_running)
        return true;
    if (m_options.loopbackOnly && !endpoint().isLoopback()) {
        if (error)
            *error = "the simulated LAN lives on loopback: broadcast address must be in 127.0.0.0/8";
        return false;
    }
    m_socket = openListening(m_options.commandPort, error, "command");
    if (m_socket < 0)
        return false;
    m_firmwareSocket = openListening(m_options.firmwarePort, error, "firmware");
    if (m_firmwareSocket < 0) {
        platform::closeSocket(m_socket);
        m_socket = -1;
        return false;
    }
    m_commandPort = platform::localPort(m_socket);
    m_firmwarePort = platform::localPort(m_firmwareSocket);
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
    m_socket = m_firmwareSocket = -1;
}

void SimLan::queue(std::vector<Byte> bytes, const sockaddr_in& to, const FaultSpec& faults, Clock::time_point now) {
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
    const auto due = now + milliseconds(faults.delayMs);
    const bool twice = faults.duplicate > 0 && chance(m_random) < faults.duplicate;
    if (twice)
        m_outgoing.push_back({due, to, bytes});
    m_outgoing.push_back({due, to, std::move(bytes)});
    std::stable_sort(m_outgoing.begin(), m_outgoing.end(),
                     [](const Outgoing& a, const Outgoing& b) { return a.due < b.due; });
}

void SimLan::onRequest(const Byte* data, std::size_t n, const sockaddr_in& from, Clock::time_point now) {
    ++m_requests;
    if (m_options.loopbackOnly && (ntohl(from.sin_addr.s_addr) >> 24) != 127)
        return;
    for (std::size_t i = 0; i < m_boxes.size(); ++i) {
        SimBox& box = *m_boxes[i];
        for (auto& reply : box.handle(std::span<const Byte>(data, n), now))
            queue(std::move(reply.bytes), from, box.spec().faults, now);
        if (box.takeTransferStart()) {
            // Block requests go to the socket the transfer's handshake came from.
            m_firmwarePeers[i] = from;
            for (auto& request : box.firmwareDue(now))
                queue(std::move(request.bytes), from, box.spec().faults, now);
        }
    }
}

void SimLan::onFirmwareData(const Byte* data, std::size_t n, const sockaddr_in& from, Clock::time_point now) {
    if (m_options.loopbackOnly && (ntohl(from.sin_addr.s_addr) >> 24) != 127)
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

void SimLan::flush(Clock::time_point now) {
    while (!m_outgoing.empty() && m_outgoing.front().due <= now) {
        const Outgoing& o = m_outgoing.front();
        platform::sendDatagram(m_socket, o.bytes.data(), o.bytes.size(), o.to);
        m_outgoing.pop_front();
    }
}

void SimLan::run() {
    std::vector<Byte> buffer(2048);  // firmware port
    std::vector<Byte> request(2048); // command port
    while (m_running) {
        int timeoutMs = 10;
        {
            std::lock_guard lock(m_mutex);
            if (!m_outgoing.empty()) {
                const auto wait = duration_cast<milliseconds>(m_outgoing.front().due - Clock::now()).count();
                timeoutMs = int(std::clamp<long long>(wait, 0, 10));
            }
        }
        pollfd fds[2] = {{m_socket, POLLIN, 0}, {m_firmwareSocket, POLLIN, 0}};
        ::poll(fds, 2, timeoutMs);
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
                onFirmwareData(buffer.data(), std::size_t(n), from, now);
            }
        };
        for (;;) {
            sockaddr_in from{};
            const ssize_t n = platform::receiveDatagram(m_socket, request.data(), request.size(), &from);
            takeFirmwareData(); // sent before this request, so taken before it
            if (n < 0)
                break;
            onRequest(request.data(), std::size_t(n), from, now);
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

std::optional<long> parseNumber(const std::string& text) {
    if (text.empty())
        return std::nullopt;
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(text.c_str(), &end, 0);
    if (errno != 0 || *end != 0)
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

std::array<Byte, 4> ipv4(const std::string& text, bool& ok) {
    const auto a = platform::parseIPv4(text);
    if (!a) {
        ok = false;
        return {};
    }
    return {Byte(*a >> 24), Byte(*a >> 16), Byte(*a >> 8), Byte(*a)};
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

} // namespace

std::vector<BoxSpec> loadLanDescription(const std::string& path, std::string* error) {
    auto fail = [&](const std::string& why) {
        if (error)
            *error = why;
        return std::vector<BoxSpec>{};
    };
    const auto ini = platform::IniFile::load(path);
    if (!ini)
        return fail("cannot read the LAN description " + path);
    std::vector<BoxSpec> boxes;
    for (const auto& section : ini->sections()) {
        const auto macText = ini->value(section, "mac");
        if (!macText)
            return fail("[" + section + "]: mac is missing");
        const auto mac = parseMac(*macText);
        if (!mac)
            return fail("[" + section + "]: mac is not an Ethernet address: " + *macText);
        BoxSpec b = baseBox(section, *mac);
        setText(b.record, record::AliasName, 16, section.substr(0, 15));
        Byte ports = 0x01, caps = record::CapTcpIp, model = 0x11, version = 0x21, revision = 0x62;
        for (const auto& [rawKey, value] : ini->entries(section)) {
            std::string key = rawKey;
            std::transform(key.begin(), key.end(), key.begin(), [](unsigned char c) { return char(std::tolower(c)); });
            const std::string where = "[" + section + "] " + rawKey + ": ";
            auto number = [&](long lo, long hi) -> std::optional<long> {
                const auto n = parseNumber(value);
                if (!n || *n < lo || *n > hi)
                    return std::nullopt;
                return n;
            };
            auto byteValue = [&](Byte& target) {
                const auto n = number(0, 255);
                if (!n)
                    return false;
                target = Byte(*n);
                return true;
            };
            bool ok = true;
            if (key == "mac") {
            } else if (key == "kind") {
                if (value == "pc")
                    b.isPc = true, b.deviceType = 1, b.features65 = 0x01;
                else if (value != "box")
                    ok = false;
            } else if (key == "device") {
                b.deviceName = value.substr(0, 8);
            } else if (key == "name") {
                if (value.size() > 15)
                    ok = false;
                else
                    setText(b.record, record::AliasName, 16, value);
            } else if (key == "vendor") {
                ok = byteValue(b.vendor);
            } else if (key == "devicetype") {
                ok = byteValue(b.deviceType);
            } else if (key == "servertype") {
                ok = byteValue(b.serverType);
            } else if (key == "flags") {
                ok = byteValue(b.flags61);
            } else if (key == "features") {
                ok = byteValue(b.features65);
            } else if (key == "firmware") {
                const auto n = number(0, 1);
                ok = n.has_value();
                b.firmwarePresent = n.value_or(1) != 0;
            } else if (key == "ports") {
                ok = byteValue(ports);
            } else if (key == "capabilities") {
                ok = byteValue(caps);
            } else if (key == "options") {
                ok = byteValue(b.record[record::OptionFlags]);
            } else if (key == "model") {
                ok = byteValue(model);
            } else if (key == "version") {
                ok = byteValue(version);
            } else if (key == "revision") {
                ok = byteValue(revision);
            } else if (key == "ip") {
                setIPv4(b.record, record::IpAddress, ipv4(value, ok));
            } else if (key == "mask") {
                setIPv4(b.record, record::SubnetMask, ipv4(value, ok));
            } else if (key == "gateway") {
                setIPv4(b.record, record::Gateway, ipv4(value, ok));
            } else if (key == "dhcp_address") {
                b.dhcpAddress = ipv4(value, ok);
            } else if (key == "dhcp_mode") {
                ok = byteValue(b.record[record::DhcpMode]);
            } else if (key == "dhcp_start") {
                setIPv4(b.record, record::DhcpStart, ipv4(value, ok));
            } else if (key == "dhcp_range") {
                const auto n = number(0, 65535);
                ok = n.has_value();
                putLE16(b.record, record::DhcpRange, std::uint16_t(n.value_or(0)));
            } else if (key == "snmp_contact") {
                ok = value.size() <= 15;
                setText(b.record, record::SnmpContact, 16, value);
            } else if (key == "snmp_location") {
                ok = value.size() <= 15;
                setText(b.record, record::SnmpLocation, 16, value);
            } else if (key == "frame_type") {
                ok = byteValue(b.frameType);
            } else if (key == "speed") {
                ok = byteValue(b.speedCode);
            } else if (key.size() == 11 && key.rfind("port", 0) == 0 && key.substr(5) == "_state" &&
                       key[4] >= '1' && key[4] <= '5') {
                ok = byteValue(b.portStates[std::size_t(key[4] - '1')]);
            } else if (key.rfind("printer", 0) == 0 && key.size() > 9 && key[7] >= '1' && key[7] <= '5' &&
                       key[8] == '_') {
                const std::size_t port = std::size_t(key[7] - '0');
                if (b.printers.size() < port)
                    b.printers.resize(port);
                PrinterSpec& p = b.printers[port - 1];
                const std::string what = key.substr(9);
                if (what == "display")
                    p.display = unescape(value);
                else if (what == "id")
                    p.identification = unescape(value);
                else if (what == "l1" || what == "l2") {
                    const auto n = number(0, 65535);
                    ok = n.has_value();
                    if (ok)
                        (what == "l1" ? p.displayLength : p.identificationLength) = std::uint16_t(*n);
                }
                else
                    ok = false;
            } else if (key == "restart_ms") {
                const auto n = number(0, 600000);
                ok = n.has_value();
                b.restartDelay = milliseconds(n.value_or(0));
            } else if (key == "fault_drop" || key == "fault_duplicate" || key == "fault_garble") {
                char* end = nullptr;
                const double d = std::strtod(value.c_str(), &end);
                ok = end && *end == 0 && d >= 0 && d <= 1;
                (key == "fault_drop" ? b.faults.drop : key == "fault_duplicate" ? b.faults.duplicate
                                                                                : b.faults.garble) = d;
            } else if (key == "fault_delay_ms") {
                const auto n = number(0, 60000);
                ok = n.has_value();
                b.faults.delayMs = int(n.value_or(0));
            } else if (key == "fault_truncate") {
                const auto n = number(0, 1024);
                ok = n.has_value();
                b.faults.truncate = int(n.value_or(0));
            } else if (key == "fault_silent") {
                const auto n = number(0, 1);
                ok = n.has_value();
                b.faults.silent = n.value_or(0) != 0;
            } else if (key == "fault_ignore") {
                std::string part;
                for (std::size_t i = 0; i <= value.size() && ok; ++i) {
                    if (i == value.size() || value[i] == ',') {
                        const auto n = parseNumber(part);
                        ok = n && *n >= 0 && *n <= 255;
                        if (ok)
                            b.faults.ignore.push_back(int(*n));
                        part.clear();
                    } else if (value[i] != ' ') {
                        part.push_back(value[i]);
                    }
                }
            } else if (key == "fault_firmware_stop_after") {
                const auto n = number(0, 100000);
                ok = n.has_value();
                b.faults.firmwareStopAfter = int(n.value_or(-1));
            } else if (key == "firmware_order") {
                if (value == "sequential")
                    b.firmware.order = FirmwarePlan::Order::Sequential;
                else if (value == "shuffled")
                    b.firmware.order = FirmwarePlan::Order::Shuffled;
                else if (value == "reverse")
                    b.firmware.order = FirmwarePlan::Order::Reverse;
                else
                    ok = false;
            } else if (key == "firmware_blocks") {
                const auto n = number(0, 512);
                ok = n.has_value();
                b.firmware.blocks = int(n.value_or(448));
            } else if (key == "firmware_repeats") {
                const auto n = number(0, 10000);
                ok = n.has_value();
                b.firmware.repeats = int(n.value_or(0));
            } else if (key == "firmware_pace_ms") {
                const auto n = number(0, 60000);
                ok = n.has_value();
                b.firmware.pace = milliseconds(n.value_or(0));
            } else if (key == "firmware_retry_ms") {
                const auto n = number(1, 60000);
                ok = n.has_value();
                b.firmware.retryAfter = milliseconds(n.value_or(250));
            } else if (key == "firmware_handshake_reply") {
                const auto n = number(10, 12);
                ok = n && (*n == 10 || *n == 12);
                b.firmware.handshakeReplySize = std::size_t(n.value_or(12));
            } else if (key == "firmware_verify") {
                const auto n = number(0, 1);
                ok = n.has_value();
                b.firmware.verifyCheckByte = n.value_or(1) != 0;
            } else {
                return fail(where + "unknown key");
            }
            if (!ok)
                return fail(where + "bad value: " + value);
        }
        setHardware(b.record, b.mac, ports, caps, model, version, revision);
        setRecordChecksum(b.record);
        boxes.push_back(std::move(b));
    }
    if (boxes.empty())
        return fail("the LAN description " + path + " has no box");
    return boxes;
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

} // namespace vnk::sim
