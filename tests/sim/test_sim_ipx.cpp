// The IPX side of the simulated LAN: boxes answering at their node, the NetWare
// file server's SAP and NCP answers from its bindery, and a firmware transfer
// over IPX. The station below is a bare IPX client written for these tests: a
// UDP socket on the carrier port and the IPX frame, nothing of the utilities.
#include "platform/ipx.h"
#include "sim/sim_lan.h"
#include "support/sim_helpers.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <thread>

using namespace vnk;
using namespace vnk::sim;
using namespace std::chrono_literals;
using platform::IpxAddress;
using platform::IpxPacket;
using protocol::Byte;
using vnk::testing::ScratchDir;
using vnk::testing::testBox;

namespace {

constexpr platform::IpxNode StationNode{0x02, 0x00, 0x00, 0x00, 0x00, 0x42};
constexpr platform::IpxNode Everyone = platform::IpxBroadcastNode;

// One IPX socket of a test station on the carrier.
class Station {
public:
    Station(std::uint16_t carrierPort, std::uint16_t socket, platform::IpxNode node = StationNode)
        : m_port(carrierPort), m_address{{}, node, socket} {
        m_fd = platform::openUdpSocket();
        EXPECT_GE(m_fd, 0);
        EXPECT_EQ(platform::setNonBlocking(m_fd), 0);
        EXPECT_EQ(platform::enableBroadcast(m_fd), 0);
        EXPECT_EQ(platform::enableReuseAddress(m_fd), 0);
        EXPECT_EQ(platform::bindAny(m_fd, carrierPort), 0) << std::strerror(errno);
    }
    ~Station() { platform::closeSocket(m_fd); }
    const IpxAddress& address() const { return m_address; }

    void send(const IpxAddress& to, const std::vector<Byte>& payload, const IpxAddress* as = nullptr) {
        IpxPacket p;
        p.destination = to;
        p.source = as ? *as : m_address;
        p.payload = payload;
        const auto frame = platform::encodeIpx(p);
        ASSERT_EQ(platform::sendDatagram(m_fd, frame.data(), frame.size(), 0x7FFFFFFF, m_port),
                  ssize_t(frame.size()));
    }
    // The next packet for this station's node (or the broadcast node) and socket.
    std::optional<IpxPacket> receive(std::chrono::milliseconds timeout = 1000ms) {
        const auto until = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            Byte buffer[platform::IpxHeaderSize + platform::IpxMaxPayload];
            const ssize_t n = platform::receiveDatagram(m_fd, buffer, sizeof buffer);
            if (n >= 0) {
                auto p = platform::decodeIpx(std::span<const Byte>(buffer, std::size_t(n)));
                if (p && p->destination.socket == m_address.socket && p->source != m_address &&
                    (p->destination.node == m_address.node || p->destination.node == Everyone))
                    return p;
                continue;
            }
            const auto left = until - std::chrono::steady_clock::now();
            if (left <= 0s)
                return std::nullopt;
            platform::waitReadable(m_fd, std::chrono::duration_cast<std::chrono::microseconds>(left));
        }
    }
    // Sends a request and takes the next packet for this socket.
    std::optional<IpxPacket> ask(const IpxAddress& to, const std::vector<Byte>& payload,
                                 std::chrono::milliseconds timeout = 1000ms) {
        send(to, payload);
        return receive(timeout);
    }

private:
    int m_fd = -1;
    std::uint16_t m_port;
    IpxAddress m_address;
};

std::vector<Byte> request(Byte command, std::size_t size = 4) {
    std::vector<Byte> r(size, 0);
    r[0] = 0;
    r[1] = command;
    r[2] = 0xFF;
    r[3] = Byte(0xFF ^ command);
    return r;
}

IpxAddress boxAt(const MacAddress& mac, std::uint16_t socket = ipx::CommandSocket) {
    return {{}, mac, socket};
}

class SimLanIpx : public ::testing::Test {
protected:
    void start(std::vector<BoxSpec> boxes, std::vector<FileServerSpec> servers = {}) {
        LanOptions o;
        o.ipxPort = 0;
        m_lan = std::make_unique<SimLan>(o);
        for (auto& b : boxes)
            m_lan->addBox(std::move(b));
        for (auto& s : servers)
            m_lan->addFileServer(std::move(s));
        std::string error;
        ASSERT_TRUE(m_lan->start(&error)) << error;
        ASSERT_NE(m_lan->ipxPort(), 0);
        ASSERT_EQ(m_lan->endpoint().ipxPort, m_lan->ipxPort());
    }
    std::unique_ptr<SimLan> m_lan;
};

// ------------------------------------------------------------------ the boxes

TEST_F(SimLanIpx, ABoxAnswersEveryCommandAtItsNodeWithTheIpxSizes) {
    BoxSpec spec = testBox("IPXBOX", 7);
    spec.printers = {{"CODE=10001\r\nDISPLAY=\"READY\"\r\n", "MFG:X;", {}, {}}};
    start({spec});
    Station station(m_lan->ipxPort(), 0x4001);
    const IpxAddress box = boxAt(spec.mac);

    // A search to every node: the box answers from its own address.
    auto r = station.ask({{}, Everyone, ipx::CommandSocket}, request(protocol::CmdSearch));
    ASSERT_TRUE(r);
    EXPECT_EQ(r->payload.size(), 70u);
    EXPECT_EQ(r->source, box);
    EXPECT_EQ(r->destination, station.address());
    EXPECT_EQ(r->packetType, 0);
    EXPECT_EQ(std::vector<Byte>(r->payload.begin(), r->payload.begin() + 4),
              (std::vector<Byte>{1, protocol::CmdSearch, 0xFF, 0xFB}));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&r->payload[4 + 8])), "IPXBOX");

    r = station.ask(box, request(protocol::CmdReadConfig));
    ASSERT_TRUE(r);
    ASSERT_EQ(r->payload.size(), 516u);
    EXPECT_EQ(r->payload[0], 1);
    EXPECT_TRUE(std::equal(spec.record.begin(), spec.record.end(), r->payload.begin() + 4));

    // A write: byte 515 is the XOR of bytes 0-514, the header included.
    auto write = request(protocol::CmdWriteConfig, 516);
    std::copy(r->payload.begin() + 4, r->payload.end(), write.begin() + 4);
    write[4 + protocol::record::SnmpLocation] = 'W';
    Byte x = 0;
    for (std::size_t i = 0; i < 515; ++i)
        x ^= write[i];
    write[515] = x;
    auto damaged = write;
    damaged[515] ^= 0x01;
    EXPECT_FALSE(station.ask(box, damaged, 150ms));
    r = station.ask(box, write);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->payload.size(), 4u);
    EXPECT_EQ(r->payload[1], protocol::CmdWriteConfig);
    m_lan->withBox(0, [](SimBox& b) {
        EXPECT_EQ(b.writes, 1);
        EXPECT_EQ(b.badChecksumWrites, 1);
        EXPECT_EQ(b.storedRecord()[protocol::record::SnmpLocation], 'W');
        return 0;
    });

    r = station.ask(box, request(protocol::CmdStatus));
    ASSERT_TRUE(r);
    EXPECT_EQ(r->payload.size(), 485u);
    const auto status = m_lan->withBox(0, [](SimBox& b) { return b.statusReply(); });
    EXPECT_TRUE(std::equal(status.begin() + 10, status.end(), r->payload.begin() + 4));

    auto printer = request(protocol::CmdPrinterStatus, 6); // port parameter 0
    r = station.ask(box, printer);
    ASSERT_TRUE(r);
    ASSERT_EQ(r->payload.size(), 410u);
    EXPECT_EQ(protocol::getLE16(r->payload, 4), 0);
    EXPECT_EQ(protocol::getLE16(r->payload, 6), spec.printers[0].display.size());
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&r->payload[8]), 10), "CODE=10001");

    r = station.ask(box, request(protocol::CmdTestPrint, 485));
    ASSERT_TRUE(r);
    EXPECT_EQ(r->payload.size(), 4u);
    EXPECT_EQ(m_lan->withBox(0, [](SimBox& b) { return b.lastTestPrintRequestSize; }), 485u);

    // A reset is answered, then the box is silent until it has restarted.
    r = station.ask(box, request(protocol::CmdReset));
    ASSERT_TRUE(r);
    EXPECT_EQ(r->payload.size(), 4u);
    EXPECT_FALSE(station.ask(box, request(protocol::CmdSearch), 60ms));
    std::this_thread::sleep_for(spec.restartDelay);
    EXPECT_TRUE(station.ask(box, request(protocol::CmdSearch)));
}

TEST_F(SimLanIpx, MalformedOrMisaddressedRequestsGetNoAnswer) {
    const BoxSpec spec = testBox("STRICT", 8);
    start({spec});
    Station station(m_lan->ipxPort(), 0x4002);
    const IpxAddress box = boxAt(spec.mac);

    auto longer = request(protocol::CmdSearch, 5);
    auto byte2 = request(protocol::CmdSearch);
    byte2[2] = 0xFE;
    auto byte3 = request(protocol::CmdSearch);
    byte3[3] ^= 0x01;
    auto aReply = request(protocol::CmdSearch);
    aReply[0] = 1;
    auto shortTestPrint = request(protocol::CmdTestPrint, 484);
    auto shortWrite = request(protocol::CmdWriteConfig, 515);
    auto unknown = request(8);
    for (const auto* bad : {&longer, &byte2, &byte3, &aReply, &shortTestPrint, &shortWrite, &unknown})
        station.send(box, *bad);
    // Only a search is answered at the broadcast node; nothing at another node or socket.
    station.send({{}, Everyone, ipx::CommandSocket}, request(protocol::CmdReadConfig));
    station.send(boxAt({0x00, 0x00, 0xB4, 0x55, 0x00, 0x09}), request(protocol::CmdSearch));
    station.send(boxAt(spec.mac, 0x3435), request(protocol::CmdSearch));
    // A packet that claims to come from the box itself is the LAN's own, heard
    // back: it is not answered (a listener at the box's node would hear it).
    Station atTheBox(m_lan->ipxPort(), 0x4005, spec.mac);
    const IpxAddress spoofed = atTheBox.address();
    station.send({{}, Everyone, ipx::CommandSocket}, request(protocol::CmdSearch), &spoofed);
    EXPECT_FALSE(station.receive(200ms));
    EXPECT_FALSE(atTheBox.receive(10ms));
    EXPECT_EQ(m_lan->withBox(0, [](SimBox& b) { return b.testPrints; }), 0);
    // The same box answers a well-formed request.
    EXPECT_TRUE(station.ask(box, request(protocol::CmdSearch)));
}

TEST_F(SimLanIpx, FaultsApplyToWhatTheBoxSendsOverIpx) {
    const BoxSpec spec = testBox("FAULTY", 9);
    start({spec});
    Station station(m_lan->ipxPort(), 0x4003);
    const IpxAddress box = boxAt(spec.mac);
    auto faults = [&](auto set) {
        m_lan->withBox(0, [&](SimBox& b) {
            b.faults() = FaultSpec{};
            set(b.faults());
            return 0;
        });
    };

    faults([](FaultSpec& f) { f.duplicate = 1; });
    station.send(box, request(protocol::CmdSearch));
    EXPECT_TRUE(station.receive());
    EXPECT_TRUE(station.receive());

    // The payload is damaged, not the IPX header: the packet still arrives.
    faults([](FaultSpec& f) { f.garble = 1; });
    auto r = station.ask(box, request(protocol::CmdReadConfig));
    ASSERT_TRUE(r);
    ASSERT_EQ(r->payload.size(), 516u);
    std::vector<Byte> clean(4 + 512);
    clean[0] = 1, clean[1] = protocol::CmdReadConfig, clean[2] = 0xFF, clean[3] = 0xFD;
    std::copy(spec.record.begin(), spec.record.end(), clean.begin() + 4);
    int differences = 0;
    for (std::size_t i = 0; i < clean.size(); ++i)
        differences += clean[i] != r->payload[i];
    EXPECT_EQ(differences, 1);

    faults([](FaultSpec& f) { f.truncate = 10; });
    r = station.ask(box, request(protocol::CmdSearch));
    ASSERT_TRUE(r);
    EXPECT_EQ(r->payload.size(), 60u);

    faults([](FaultSpec& f) { f.delayMs = 150; });
    station.send(box, request(protocol::CmdSearch));
    EXPECT_FALSE(station.receive(50ms));
    EXPECT_TRUE(station.receive(1000ms));

    faults([](FaultSpec& f) { f.drop = 1; });
    EXPECT_FALSE(station.ask(box, request(protocol::CmdSearch), 150ms));
}

// ------------------------------------------------------------- firmware over IPX

TEST(SimFirmwareIpx, TheReceiverTakesOnlyDatagramsFramedAsItsHandshake) {
    const auto image = makeFirmwareImage("15", 1);
    FirmwarePlan plan;
    plan.script = {2};
    FirmwareReceiver rx;
    const auto t = Clock::now();
    rx.start(plan, t, Framing::Ipx);
    ASSERT_EQ(rx.due(t, -1), std::vector<std::uint16_t>{2});
    std::vector<Byte> block = request(protocol::CmdFirmware, 1030);
    protocol::putLE16(block, 4, 2);
    std::copy(image.begin() + 1024, image.begin() + 2048, block.begin() + 6);
    const MacAddress mac{0x00, 0x00, 0xB4, 0x12, 0x33, 0x44};
    // The same block framed for UDP, or with a wrong header byte, is refused.
    std::vector<Byte> udp(1036);
    protocol::buildHeader(udp, mac, protocol::CmdFirmware);
    protocol::putLE16(udp, 10, 2);
    std::copy(image.begin() + 1024, image.begin() + 2048, udp.begin() + 12);
    EXPECT_FALSE(rx.receive(udp, mac, t, Framing::Udp));
    EXPECT_FALSE(rx.receive(udp, mac, t, Framing::Ipx));
    auto wrongHeader = block;
    wrongHeader[3] = 0xF7;
    EXPECT_FALSE(rx.receive(wrongHeader, mac, t, Framing::Ipx));
    EXPECT_EQ(rx.stats().badDatagrams, 3);
    EXPECT_FALSE(rx.received(2));
    EXPECT_FALSE(rx.receive(block, mac, t, Framing::Ipx));
    EXPECT_TRUE(rx.received(2));
    ASSERT_EQ(rx.due(t, -1), std::vector<std::uint16_t>{449});
    std::vector<Byte> end = request(protocol::CmdFirmware, 6);
    protocol::putLE16(end, 4, 0xFFFF);
    auto longEnd = end;
    longEnd.push_back(0);
    EXPECT_FALSE(rx.receive(longEnd, mac, t, Framing::Ipx));
    EXPECT_TRUE(rx.receive(end, mac, t, Framing::Ipx));
    EXPECT_EQ(rx.stats().transfersCompleted, 1);
}

TEST_F(SimLanIpx, AFirmwareTransferOverIpxRunsToTheEnd) {
    BoxSpec spec = testBox("FLASHME", 10);
    spec.restartDelay = 50ms;
    start({spec});
    // The utility's side: handshakes from and blocks at its socket 0x3451.
    Station utility(m_lan->ipxPort(), ipx::FirmwareSocket);
    const IpxAddress box = boxAt(spec.mac);
    const auto image = makeFirmwareImage("15", 0x01FF);

    // A box with firmware stops it at the first handshake and starts at the second.
    for (int i = 0; i < 2; ++i) {
        auto r = utility.ask(box, request(protocol::CmdFirmware));
        ASSERT_TRUE(r);
        ASSERT_TRUE(r->payload.size() == 4 || r->payload.size() == 6) << r->payload.size();
        EXPECT_EQ(r->payload[0], 1);
        EXPECT_EQ(r->payload[1], protocol::CmdFirmware);
    }
    std::vector<int> asked;
    bool ended = false;
    while (!ended) {
        const auto ask = utility.receive(2000ms);
        ASSERT_TRUE(ask) << "the box stopped asking after " << asked.size() << " requests";
        ASSERT_EQ(ask->payload.size(), 6u);
        EXPECT_EQ(ask->source.node, spec.mac);
        const int n = protocol::getLE16(ask->payload, 4);
        asked.push_back(n);
        ASSERT_LE(asked.size(), 460u);
        if (n == 449) {
            std::vector<Byte> end = request(protocol::CmdFirmware, 6);
            protocol::putLE16(end, 4, 0xFFFF);
            utility.send(boxAt(spec.mac, ipx::FirmwareSocket), end);
            ended = true;
        } else {
            ASSERT_GE(n, 1);
            ASSERT_LE(n, 512);
            std::vector<Byte> block = request(protocol::CmdFirmware, 1030);
            protocol::putLE16(block, 4, std::uint16_t(n));
            std::copy_n(image.begin() + std::ptrdiff_t(n - 1) * 1024, 1024, block.begin() + 6);
            utility.send(boxAt(spec.mac, ipx::FirmwareSocket), block);
        }
    }
    EXPECT_EQ(asked.size(), 449u);
    std::this_thread::sleep_for(100ms); // the end reply is taken, the box restarts
    m_lan->withBox(0, [&](SimBox& b) {
        EXPECT_TRUE(b.firmwarePresent());
        EXPECT_EQ(b.firmwareStats().transfersCompleted, 1);
        EXPECT_EQ(b.firmwareStats().badDatagrams, 0);
        EXPECT_EQ(b.firmwareStats().retriesSent, 0);
        EXPECT_TRUE(std::equal(b.firmwareReceiver().image().begin(), b.firmwareReceiver().image().end(),
                               image.begin()));
        return 0;
    });
    // After its restart the box answers a search with its firmware in place.
    Station station(m_lan->ipxPort(), 0x4004);
    const auto r = station.ask(box, request(protocol::CmdSearch));
    ASSERT_TRUE(r);
    EXPECT_EQ(r->payload[4 + protocol::identity::FirmwarePresent], 1);
}

// ------------------------------------------------------------ the file server

FileServerSpec smallServer() {
    FileServerSpec fs;
    fs.label = "fs";
    fs.name = "FS-TEST";
    fs.node = {0x00, 0x00, 0x1B, 0x00, 0x00, 0x01};
    fs.network = {0x00, 0x00, 0xBE, 0xEF};
    fs.addObject(netware::FileServerObject, fs.name, fs.address());
    fs.addObject(netware::PrintServerObject, "PS-ONE");
    fs.addObject(netware::BoxObject, "BOX-A", IpxAddress{fs.network, {0, 0, 0xB4, 0, 0, 1}, 0x3434});
    fs.addObject(netware::BoxObject, "BOX-B", IpxAddress{fs.network, {0, 0, 0xB4, 0, 0, 2}, 0x3434});
    return fs;
}

std::vector<Byte> ncp(std::uint16_t type, Byte sequence, std::uint16_t connection, std::vector<Byte> rest = {}) {
    std::vector<Byte> r{Byte(type >> 8), Byte(type), sequence, Byte(connection), 0, Byte(connection >> 8)};
    for (Byte b : rest)
        r.push_back(b);
    return r;
}
std::vector<Byte> scan(Byte sequence, std::uint16_t connection, std::uint32_t last, std::uint16_t type,
                       const std::string& name = "*") {
    std::vector<Byte> rest{0x17, 0x00, 0x08, 0x37, Byte(last >> 24), Byte(last >> 16), Byte(last >> 8), Byte(last),
                           Byte(type >> 8), Byte(type), Byte(name.size())};
    for (char ch : name)
        rest.push_back(Byte(ch));
    return ncp(0x2222, sequence, connection, rest);
}
std::vector<Byte> readNetAddress(Byte sequence, std::uint16_t connection, std::uint16_t type, const std::string& name,
                                 const std::string& property = "NET_ADDRESS") {
    std::vector<Byte> rest{0x17, 0x00, Byte(name.size() + 18), 0x3D, Byte(type >> 8), Byte(type), Byte(name.size())};
    for (char ch : name)
        rest.push_back(Byte(ch));
    rest.push_back(1);
    rest.push_back(Byte(property.size()));
    for (char ch : property)
        rest.push_back(Byte(ch));
    return ncp(0x2222, sequence, connection, rest);
}
std::uint32_t idOf(const std::vector<Byte>& reply) {
    return std::uint32_t(reply[8]) << 24 | std::uint32_t(reply[9]) << 16 | std::uint32_t(reply[10]) << 8 | reply[11];
}
std::string nameOf(const std::vector<Byte>& reply) {
    return std::string(reinterpret_cast<const char*>(&reply[14]), 48).c_str();
}

TEST(SimFileServer, AnswersTheNearestServerQueryOnly) {
    SimFileServer server(smallServer());
    const auto r = server.sapRequest(std::vector<Byte>{0, 3, 0, 4});
    ASSERT_TRUE(r);
    ASSERT_EQ(r->size(), 66u);
    EXPECT_EQ(std::vector<Byte>(r->begin(), r->begin() + 4), (std::vector<Byte>{0, 4, 0, 4}));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(r->data() + 4)), "FS-TEST");
    EXPECT_EQ(std::vector<Byte>(r->begin() + 52, r->end()),
              (std::vector<Byte>{0, 0, 0xBE, 0xEF, 0, 0, 0x1B, 0, 0, 1, 0x04, 0x51, 0, 1}));
    for (const std::vector<Byte>& other : {std::vector<Byte>{0, 1, 0, 4}, std::vector<Byte>{0, 3, 0, 7},
                                           std::vector<Byte>{0, 3, 0}, std::vector<Byte>{0, 3, 0, 4, 0}})
        EXPECT_FALSE(server.sapRequest(other));
}

TEST(SimFileServer, ScansItsBinderyByTypeAndContinuesFromTheLastObject) {
    SimFileServer server(smallServer());
    const IpxAddress client{{}, StationNode, 0x4010};
    const auto created = server.ncpRequest(ncp(0x1111, 0, 0xFFFF, {0}), client);
    ASSERT_TRUE(created);
    ASSERT_EQ(created->size(), 8u);
    EXPECT_EQ((*created)[6], 0);
    EXPECT_EQ((*created)[7], 0);
    const std::uint16_t connection = std::uint16_t((*created)[3] | (*created)[5] << 8);
    EXPECT_NE(connection, 0);
    EXPECT_EQ(server.openConnections(), 1u);

    // Both name forms mean every name: "*", and "*" with a NUL and one more byte.
    Byte sequence = 1; // each request of the connection takes the next number
    for (const std::string& every : {std::string("*"), std::string("*\0x", 3)}) {
        std::vector<std::string> names;
        std::uint32_t last = 0xFFFFFFFF;
        for (;;) {
            const auto r = server.ncpRequest(scan(sequence, connection, last, netware::BoxObject, every), client);
            ASSERT_TRUE(r);
            EXPECT_EQ((*r)[2], sequence); // the sequence number is echoed
            ++sequence;
            if ((*r)[6] != 0) {
                EXPECT_EQ(r->size(), 8u);
                EXPECT_EQ((*r)[6], netware::NoSuchObject);
                break;
            }
            ASSERT_EQ(r->size(), 65u);
            EXPECT_EQ(((*r)[12] << 8 | (*r)[13]), netware::BoxObject);
            names.push_back(nameOf(*r));
            ASSERT_LT(names.size(), 10u);
            last = idOf(*r);
        }
        EXPECT_EQ(names, (std::vector<std::string>{"BOX-A", "BOX-B"}));
    }
    auto r = server.ncpRequest(scan(sequence++, connection, 0xFFFFFFFF, netware::PrintServerObject), client);
    ASSERT_TRUE(r && r->size() == 65u);
    EXPECT_EQ(nameOf(*r), "PS-ONE");
    // The request answered last, sent again, gets its reply again; another
    // request with that number, or one that skips a number, gets none.
    const Byte answered = Byte(sequence - 1);
    const std::uint32_t first = 0xFFFFFFFF;
    EXPECT_EQ(server.ncpRequest(scan(answered, connection, first, netware::PrintServerObject), client), r);
    EXPECT_FALSE(server.ncpRequest(scan(answered, connection, first, netware::BoxObject), client));
    EXPECT_FALSE(server.ncpRequest(scan(Byte(answered + 2), connection, first, netware::BoxObject), client));
    EXPECT_EQ(server.sequenceViolations, 2);
    r = server.ncpRequest(scan(sequence++, connection, 0xFFFFFFFF, 0xFFFF, "BOX-?"), client);
    ASSERT_TRUE(r && r->size() == 65u);
    EXPECT_EQ(nameOf(*r), "BOX-A");

    r = server.ncpRequest(readNetAddress(sequence++, connection, netware::BoxObject, "box-b"), client);
    ASSERT_TRUE(r);
    ASSERT_EQ(r->size(), 138u);
    EXPECT_EQ((*r)[6], 0);
    EXPECT_EQ(std::vector<Byte>(r->begin() + 8, r->begin() + 20),
              (std::vector<Byte>{0, 0, 0xBE, 0xEF, 0, 0, 0xB4, 0, 0, 2, 0x34, 0x34}));
    r = server.ncpRequest(readNetAddress(sequence++, connection, netware::BoxObject, "NO-SUCH"), client);
    ASSERT_TRUE(r && r->size() == 8u);
    EXPECT_EQ((*r)[6], netware::NoSuchObject);
    r = server.ncpRequest(readNetAddress(sequence++, connection, netware::PrintServerObject, "PS-ONE"),
                          client);
    ASSERT_TRUE(r && r->size() == 8u);
    EXPECT_EQ((*r)[6], netware::NoSuchProperty);
    r = server.ncpRequest(readNetAddress(sequence++, connection, netware::BoxObject, "BOX-A", "SURNAME"),
                          client);
    ASSERT_TRUE(r && r->size() == 8u);
    EXPECT_EQ((*r)[6], netware::NoSuchProperty);

    // Another station cannot use this connection; its owner ends it.
    const IpxAddress stranger{{}, StationNode, 0x4011};
    r = server.ncpRequest(scan(sequence, connection, 0xFFFFFFFF, netware::BoxObject), stranger);
    ASSERT_TRUE(r && r->size() == 8u);
    EXPECT_EQ((*r)[7], netware::BadConnection);
    EXPECT_EQ(server.ncpRequest(ncp(0x5555, sequence, connection), stranger)->at(6), netware::Failure);
    r = server.ncpRequest(ncp(0x5555, sequence, connection), client);
    ASSERT_TRUE(r && r->size() == 8u);
    EXPECT_EQ((*r)[6], 0);
    EXPECT_EQ(server.openConnections(), 0u);
}

TEST(SimFileServer, MalformedRequestsGetNoAnswer) {
    SimFileServer server(smallServer());
    const IpxAddress client{{}, StationNode, 0x4012};
    const auto created = server.ncpRequest(ncp(0x1111, 0, 0xFFFF, {0}), client);
    ASSERT_TRUE(created);
    const std::uint16_t c = std::uint16_t((*created)[3] | (*created)[5] << 8);

    auto tooLongName = scan(1, c, 0xFFFFFFFF, netware::BoxObject, std::string(48, 'A'));
    auto nameCut = scan(1, c, 0xFFFFFFFF, netware::BoxObject, "*");
    nameCut[16] = 2; // says two characters, carries one
    auto scanExtra = scan(1, c, 0xFFFFFFFF, netware::BoxObject);
    scanExtra.push_back(0);
    auto propertyCut = readNetAddress(1, c, netware::BoxObject, "BOX-A");
    propertyCut.pop_back();
    auto propertyOverrun = readNetAddress(1, c, netware::BoxObject, "BOX-A");
    propertyOverrun[12] = 200; // a name length beyond the datagram
    auto otherFunction = scan(1, c, 0xFFFFFFFF, netware::BoxObject);
    otherFunction[6] = 0x16;
    const std::vector<std::vector<Byte>> bad = {
        {0x11, 0x11, 0, 0xFF, 0},          ncp(0x1111, 0, 0xFFFF, {0, 0}), ncp(0x5555, 1, c, {0}),
        ncp(0x2222, 1, c),                 ncp(0x7777, 1, c),              tooLongName,
        nameCut,                           scanExtra,                      propertyCut,
        propertyOverrun,                   otherFunction};
    for (std::size_t i = 0; i < bad.size(); ++i)
        EXPECT_FALSE(server.ncpRequest(bad[i], client)) << "request " << i;
    EXPECT_EQ(server.refused, int(bad.size()));
    EXPECT_EQ(server.openConnections(), 1u); // nothing above opened or ended one
}

TEST(BinderyNames, WildcardsMatchWithoutCase) {
    EXPECT_TRUE(binderyNameMatches("*", "ANY"));
    EXPECT_TRUE(binderyNameMatches("ps-*", "PS-FLOOR2"));
    EXPECT_TRUE(binderyNameMatches("*-2P", "BITTERN-2P"));
    EXPECT_TRUE(binderyNameMatches("B?TTERN*", "BITTERN-2P"));
    EXPECT_FALSE(binderyNameMatches("PS-*", "FS-MAIN"));
    EXPECT_FALSE(binderyNameMatches("BOX", "BOX-A"));
    EXPECT_FALSE(binderyNameMatches("", "BOX"));
}

// ------------------------------------------------ the file server in a description

TEST(LanDescription, AFileServerSectionBuildsItsBinderyFromTheBoxes) {
    ScratchDir dir;
    dir.write("lan.ini", "[quill]\nmac = 00:00:B4:12:33:44\nname = QUILL-3P2S\n"
                         "[gannet]\nmac = 00:00:B4:13:20:02\nname = GANNET-1P1S\n"
                         "[fs-main]\nkind = fileserver\nmac = 00:00:1B:4F:53:01\nnetwork = 0000BEEF\n"
                         "print_servers = PS-FLOOR2, BITTERN-2P\nnds_trees = ACME_TREE\nfile_servers = FS-ARCHIVE\n"
                         "box_objects = QUILL-3P2S:1447, gannet:1448, 00-00-B4-12-33-44:1448\n"
                         "missing_objects = PS-GONE\n");
    std::string error;
    const LanDescription lan = loadLan(dir.file("lan.ini"), &error);
    ASSERT_EQ(lan.boxes.size(), 2u) << error;
    ASSERT_EQ(lan.fileServers.size(), 1u);
    const FileServerSpec& fs = lan.fileServers[0];
    EXPECT_EQ(fs.name, "FS-MAIN");
    EXPECT_EQ(fs.ncpSocket, 0x0451);
    const platform::IpxNetwork net{0, 0, 0xBE, 0xEF};
    EXPECT_EQ(fs.network, net);
    std::vector<std::pair<std::uint16_t, std::string>> objects;
    for (const auto& o : fs.bindery)
        objects.emplace_back(o.type, o.name);
    EXPECT_EQ(objects, (std::vector<std::pair<std::uint16_t, std::string>>{{0x0004, "FS-MAIN"},
                                                                            {0x0004, "FS-ARCHIVE"},
                                                                            {0x0278, "ACME_TREE"},
                                                                            {0x0047, "PS-FLOOR2"},
                                                                            {0x0047, "BITTERN-2P"},
                                                                            {0x1447, "QUILL-3P2S"},
                                                                            {0x1448, "GANNET-1P1S"},
                                                                            {0x1448, "QUILL-3P2S"},
                                                                            {0x1447, "PS-GONE"}}));
    auto address = [&](const std::string& name, std::uint16_t type) {
        for (const auto& o : fs.bindery)
            if (o.name == name && o.type == type)
                return o.netAddress;
        return std::optional<IpxAddress>{};
    };
    EXPECT_EQ(address("GANNET-1P1S", 0x1448), (IpxAddress{net, lan.boxes[1].mac, 0x3434}));
    const auto gone = address("PS-GONE", 0x1447);
    ASSERT_TRUE(gone);
    for (const auto& b : lan.boxes)
        EXPECT_NE(gone->node, b.mac);
    EXPECT_FALSE(address("PS-FLOOR2", 0x0047));
}

TEST(LanDescription, AMissingObjectFindsAFreeNodeWhenTheFirstRangeIsTaken) {
    // Every node 00:00:B4:EE:EE:xx belongs to a box: the next free one is taken
    // (this once searched forever).
    ScratchDir dir;
    std::string text;
    for (int i = 0; i < 256; ++i) {
        char section[64];
        std::snprintf(section, sizeof section, "[b%d]\nmac = 00:00:B4:EE:EE:%02X\n", i, i);
        text += section;
    }
    dir.write("lan.ini", text + "[fs]\nkind = fileserver\nmac = 00:00:1B:00:00:01\nmissing_objects = GONE, LOST\n");
    std::string error;
    const LanDescription lan = loadLan(dir.file("lan.ini"), &error);
    ASSERT_EQ(lan.fileServers.size(), 1u) << error;
    std::vector<MacAddress> nodes;
    for (const auto& o : lan.fileServers[0].bindery)
        if (o.type == 0x1447)
            nodes.push_back(o.netAddress.value().node);
    EXPECT_EQ(nodes, (std::vector<MacAddress>{{0x00, 0x00, 0xB4, 0xEE, 0xED, 0x00},
                                             {0x00, 0x00, 0xB4, 0xEE, 0xED, 0x01}}));
}

TEST(LanDescription, MistakesOfAFileServerSectionNameTheirLine) {
    ScratchDir dir;
    dir.write("lan.ini", "[quill]\nmac = 00:00:B4:12:33:44\n"          // 1-2
                         "[alder]\nkind = pc\nmac = 00:11:22:33:44:55\n" // 3-5
                         "[fs]\nkind = fileserver\n"                     // 6-7
                         "mac = 00:00:B4:12:33:44\n"                     // 8
                         "ncp_socket = 0x0452\n"                         // 9
                         "print_servers = PS-*, OK\n"                    // 10
                         "ip = 10.0.0.1\n"                               // 11
                         "nds_trees = A, a\n"                            // 12
                         "[fs2]\nkind = fileserver\nmac = 00:00:1B:00:00:02\n" // 13-15
                         "box_objects = quill, nosuch:1448\n"            // 16
                         "[fs3]\nkind = fileserver\nmac = 00:00:1B:00:00:03\n" // 17-19
                         "box_objects = alder\nnetwork = 123456789\n");  // 20-21
    const std::string f = dir.file("lan.ini");
    std::string error;
    EXPECT_TRUE(loadLan(f, &error).boxes.empty());
    std::vector<std::string> lines;
    for (std::size_t from = 0; from < error.size();) {
        const std::size_t end = std::min(error.find('\n', from), error.size());
        lines.push_back(error.substr(from, end - from));
        from = end + 1;
    }
    ASSERT_EQ(lines.size(), 7u) << error;
    EXPECT_EQ(lines[0], f + ":8: [fs] mac: 00:00:B4:12:33:44 is already the address of [quill] on line 2; every box "
                            "needs an address of its own");
    EXPECT_EQ(lines[1].rfind(f + ":9: [fs] ncp_socket: bad value \"0x0452\"; expected a number 1-65535 other than", 0),
              0u);
    EXPECT_EQ(lines[2].rfind(f + ":10: [fs] print_servers: bad value \"PS-*, OK\"; expected names separated by", 0),
              0u);
    EXPECT_EQ(lines[3], f + ":11: [fs] ip: unknown key of a file server (vnksim --help lists the keys)");
    EXPECT_EQ(lines[4].rfind(f + ":12: [fs] nds_trees: bad value \"A, a\"", 0), 0u);
    EXPECT_EQ(lines[5], f + ":16: [fs2] box_objects: \"nosuch\" names no box of this file; expected its section "
                            "name, its server name or its Ethernet address");
    EXPECT_EQ(lines[6].rfind(f + ":21: [fs3] network: bad value \"123456789\"; expected eight hex digits", 0), 0u);
    // The PC named as a box is reported once the other mistakes of [fs3] are gone.
    dir.write("lan.ini", "[alder]\nkind = pc\nmac = 00:11:22:33:44:55\n"
                         "[fs3]\nkind = fileserver\nmac = 00:00:1B:00:00:03\nbox_objects = alder\n");
    EXPECT_TRUE(loadLan(f, &error).boxes.empty());
    EXPECT_EQ(error, f + ":7: [fs3] box_objects: \"alder\" is a networked PC; only a box has a print server object");
}

// ------------------------------------------------ the file server on the segment

TEST_F(SimLanIpx, TheDemoFileServerLeadsAScanToItsBoxAndNamesTheRest) {
    std::vector<BoxSpec> boxes = demoLan();
    start(boxes, {demoFileServer()});
    Station station(m_lan->ipxPort(), 0x4020);

    // The nearest-server query goes to every node at the SAP socket.
    auto r = station.ask({{}, Everyone, netware::SapSocket}, {0, 3, 0, 4});
    ASSERT_TRUE(r);
    ASSERT_EQ(r->payload.size(), 66u);
    EXPECT_EQ(r->packetType, netware::SapPacketType);
    EXPECT_EQ(r->source.socket, netware::SapSocket);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&r->payload[4])), "FS-MAIN");
    IpxAddress server;
    std::copy_n(r->payload.begin() + 52, 4, server.network.begin());
    std::copy_n(r->payload.begin() + 56, 6, server.node.begin());
    server.socket = std::uint16_t(r->payload[62] << 8 | r->payload[63]);
    EXPECT_EQ(server.socket, 0x0451);

    r = station.ask(server, ncp(0x1111, 0, 0xFFFF, {0}));
    ASSERT_TRUE(r);
    ASSERT_EQ(r->payload.size(), 8u);
    EXPECT_EQ(r->packetType, netware::NcpPacketType);
    EXPECT_EQ(r->source, server);
    const std::uint16_t c = std::uint16_t(r->payload[3] | r->payload[5] << 8);
    Byte sequence = Byte(r->payload[2] + 1);

    auto everyName = [&](std::uint16_t type, const std::string& pattern) {
        std::vector<std::pair<std::string, std::uint32_t>> found;
        std::uint32_t last = 0xFFFFFFFF;
        for (int guard = 0; guard < 40; ++guard) {
            const auto reply = station.ask(server, scan(sequence++, c, last, type, pattern));
            EXPECT_TRUE(reply);
            if (!reply || reply->payload[6] != 0)
                break;
            EXPECT_EQ(reply->payload.size(), 65u);
            last = idOf(reply->payload);
            found.emplace_back(nameOf(reply->payload), last);
        }
        return found;
    };
    const auto boxObjects = everyName(netware::BoxObject, std::string("*\0\0", 3));
    ASSERT_EQ(boxObjects.size(), 1u);
    EXPECT_EQ(boxObjects[0].first, "QUILL-3P2S");
    EXPECT_TRUE(everyName(netware::BoxObjectOther, std::string("*\0\0", 3)).empty());
    auto names = [&](std::uint16_t type) {
        std::vector<std::string> out;
        for (const auto& [name, id] : everyName(type, "*"))
            out.push_back(name);
        return out;
    };
    EXPECT_EQ(names(netware::NdsTreeObject), std::vector<std::string>{"ACME_TREE"});
    EXPECT_EQ(names(netware::FileServerObject), (std::vector<std::string>{"FS-MAIN", "FS-ARCHIVE"}));
    EXPECT_EQ(names(netware::PrintServerObject), (std::vector<std::string>{"PS-FLOOR2", "BITTERN-2P"}));

    r = station.ask(server, readNetAddress(sequence++, c, netware::BoxObject, "QUILL-3P2S"));
    ASSERT_TRUE(r);
    ASSERT_EQ(r->payload.size(), 138u);
    ASSERT_EQ(r->payload[6], 0);
    IpxAddress quill;
    std::copy_n(r->payload.begin() + 8, 4, quill.network.begin());
    std::copy_n(r->payload.begin() + 12, 6, quill.node.begin());
    quill.socket = ipx::CommandSocket;

    r = station.ask(server, ncp(0x5555, sequence++, c));
    ASSERT_TRUE(r);
    ASSERT_EQ(r->payload.size(), 8u);
    EXPECT_EQ(r->payload[6], 0);
    EXPECT_EQ(m_lan->withFileServer(0, [](SimFileServer& s) { return s.openConnections(); }), 0u);

    // The address the bindery gave reaches the box.
    r = station.ask(quill, request(protocol::CmdSearch));
    ASSERT_TRUE(r);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&r->payload[4 + 8])), "QUILL-3P2S");
}

TEST_F(SimLanIpx, ABoxObjectOfAMissingBoxLeadsNowhere) {
    ScratchDir dir;
    dir.write("lan.ini", "[kite]\nmac = 00:00:B4:77:00:01\n"
                         "[fs]\nkind = fileserver\nmac = 00:00:1B:77:00:02\nnetwork = 0x00000042\nncp_socket = 0x4451\n"
                         "box_objects = kite\nmissing_objects = PS-GONE\n");
    std::string error;
    LanDescription lan = loadLan(dir.file("lan.ini"), &error);
    ASSERT_EQ(lan.fileServers.size(), 1u) << error;
    start(lan.boxes, lan.fileServers);
    Station station(m_lan->ipxPort(), 0x4021);
    const IpxAddress server{{0, 0, 0, 0x42}, {0x00, 0x00, 0x1B, 0x77, 0x00, 0x02}, 0x4451};
    auto r = station.ask(server, ncp(0x1111, 0, 0xFFFF, {0}));
    ASSERT_TRUE(r);
    const std::uint16_t c = std::uint16_t(r->payload[3] | r->payload[5] << 8);
    std::vector<IpxAddress> addresses;
    Byte sequence = 1;
    for (const char* name : {"KITE", "PS-GONE"}) {
        r = station.ask(server, readNetAddress(sequence++, c, netware::BoxObject, name));
        ASSERT_TRUE(r && r->payload.size() == 138u) << name;
        IpxAddress a;
        std::copy_n(r->payload.begin() + 8, 4, a.network.begin());
        std::copy_n(r->payload.begin() + 12, 6, a.node.begin());
        a.socket = std::uint16_t(r->payload[18] << 8 | r->payload[19]);
        addresses.push_back(a);
    }
    // The network the server names is accepted as this segment's.
    EXPECT_TRUE(station.ask(addresses[0], request(protocol::CmdSearch)));
    EXPECT_FALSE(station.ask(addresses[1], request(protocol::CmdSearch), 150ms));
    // The server takes NCP only at its own NCP socket.
    EXPECT_FALSE(station.ask({server.network, server.node, 0x0451}, ncp(0x1111, 0, 0xFFFF, {0}), 100ms));
}

} // namespace
