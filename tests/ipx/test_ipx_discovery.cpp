// Finding boxes over IPX: the NetWare packets the client sends and reads, and
// discovery against simulated boxes and a simulated file server on this test's
// own IPX carrier port.
#include "transport/ipx/ipx_context.h"
#include "sim/sim_fileserver.h"
#include "sim/sim_lan.h"
#include "support/pcap.h"
#include "support/sim_helpers.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

using namespace vnk;
using ipx::Bytes;
using vnk::testing::RecordingReporter;
using vnk::testing::ScratchDir;
using vnk::testing::testBox;

TEST(NetWarePackets, RequestsHaveTheirLayoutAndRepliesAreCheckedBeforeUse) {
    ipx::NcpConnection c;
    c.sequence = 5;
    c.connectionLow = 0x12;
    c.task = 1;
    c.connectionHigh = 0x00;
    EXPECT_EQ(ipx::nearestServerQuery(), (Bytes{0x00, 0x03, 0x00, 0x04}));
    EXPECT_EQ(ipx::createConnectionRequest(ipx::NcpConnection{}), (Bytes{0x11, 0x11, 0, 0xFF, 0, 0xFF, 0}));
    EXPECT_EQ(ipx::scanObjectRequest(c, 0xFFFFFFFF, 0x1447, true),
              (Bytes{0x22, 0x22, 5, 0x12, 1, 0, 0x17, 0, 8, 0x37, 0xFF, 0xFF, 0xFF, 0xFF, 0x14, 0x47, 3, '*', 0, 0}));
    EXPECT_EQ(ipx::scanObjectRequest(c, 0x01020304, 0x0278, false).size(), 18u);
    const Bytes property = ipx::readNetAddressRequest(c, 0x1447, "QUILL");
    ASSERT_EQ(property.size(), 26u + 5);
    EXPECT_EQ(Bytes(property.begin() + 6, property.begin() + 15), (Bytes{0x17, 0, 23, 0x3D, 0x14, 0x47, 5, 'Q', 'U'}));
    EXPECT_EQ(Bytes(property.end() - 13, property.end()),
              (Bytes{1, 11, 'N', 'E', 'T', '_', 'A', 'D', 'D', 'R', 'E', 'S', 'S'}));
    EXPECT_EQ(ipx::endConnectionRequest(c), (Bytes{0x55, 0x55, 5, 0x12, 1, 0}));

    Bytes sap(66, 0);
    sap[52] = 0xAB;
    sap[61] = 0x07;
    sap[62] = 0x04;
    sap[63] = 0x51;
    const auto server = ipx::parseNearestServerReply(sap);
    ASSERT_TRUE(server);
    EXPECT_EQ(server->network[0], 0xAB);
    EXPECT_EQ(server->node[5], 0x07);
    EXPECT_EQ(server->socket, 0x0451);
    EXPECT_FALSE(ipx::parseNearestServerReply(Bytes(65, 0)));

    Bytes scan(65, 0);
    scan[0] = scan[1] = 0x33;
    scan[11] = 9;
    scan[12] = 0x14;
    scan[13] = 0x47;
    std::fill(scan.begin() + 14, scan.begin() + 62, 'N'); // a name that fills its field
    const auto object = ipx::parseScanReply(scan);
    ASSERT_TRUE(object);
    EXPECT_EQ(object->id, 9u);
    EXPECT_EQ(object->name, std::string(47, 'N'));
    scan[6] = 0xFC; // no such object: the end of the scan
    EXPECT_FALSE(ipx::parseScanReply(scan));
    Bytes connected{0x33, 0x33, 0, 0x2A, 0, 0, 0, 0};
    ASSERT_TRUE(ipx::parseCreateConnectionReply(connected));
    EXPECT_EQ(ipx::parseCreateConnectionReply(connected)->sequence, 1);
    EXPECT_EQ(ipx::parseCreateConnectionReply(connected)->connectionLow, 0x2A);
    connected[7] = 0x04;
    EXPECT_FALSE(ipx::parseCreateConnectionReply(connected));
}

namespace {

constexpr platform::IpxNode PcNode{0x02, 0x00, 0x00, 0x00, 0x00, 0x01};

platform::IpxAddress boxAddress(const sim::BoxSpec& b) {
    platform::IpxAddress a;
    std::copy(b.mac.begin(), b.mac.end(), a.node.begin());
    a.socket = protocol::IpxCommandSocket;
    return a;
}

class IpxDiscoveryTest : public ::testing::Test {
protected:
    void start(const std::vector<sim::BoxSpec>& boxes, const std::vector<sim::FileServerSpec>& servers,
               const std::string& configIni = "[General Information]\nDeviceType1=0\n") {
        sim::LanOptions options;
        options.ipxPort = 0;
        m_lan = std::make_unique<sim::SimLan>(options);
        for (const auto& b : boxes)
            m_lan->addBox(b);
        for (const auto& s : servers)
            m_lan->addFileServer(s);
        std::string error;
        ASSERT_TRUE(m_lan->start(&error)) << error;
        platform::IpxSegment segment;
        segment.broadcast = "127.255.255.255";
        segment.carrierPort = m_lan->ipxPort();
        segment.localNode = PcNode;
        m_ctx = std::make_unique<ipx::IpxServerContext>(m_lan->endpoint(), segment, platform::Timing::fast(),
                                                        m_reporter);
        m_dir.write("Config.ini", configIni);
        m_ctx->settingsPath = m_dir.file("Config.ini");
    }
    std::vector<std::string> listed() const {
        std::vector<std::string> names;
        for (int i = 0; i < m_ctx->serverCount; ++i)
            names.push_back(m_ctx->serverTable[std::size_t(i)].name());
        return names;
    }

    RecordingReporter m_reporter;
    ScratchDir m_dir;
    std::unique_ptr<sim::SimLan> m_lan;
    std::unique_ptr<ipx::IpxServerContext> m_ctx;
};

} // namespace

TEST_F(IpxDiscoveryTest, BinderyAndBroadcastFindEachBoxOnceAndFillTheNameLists) {
    auto quill = testBox("QUILL", 1, 0x03, protocol::record::CapTcpIp);
    auto gannet = testBox("GANNET", 2, 0x01, 0); // no TCP/IP: listed all the same
    auto heron = testBox("HERON", 3);            // not in the bindery
    auto foreign = testBox("FOREIGN", 4);
    foreign.vendor = 9; // refused by the filter, in both paths
    sim::FileServerSpec fs;
    fs.name = "FS-MAIN";
    fs.node = {0x00, 0x00, 0x1B, 0x00, 0x00, 0x01};
    fs.addObject(0x1447, "QUILL-OBJ", boxAddress(quill));
    fs.addObject(0x1448, "GANNET-OBJ", boxAddress(gannet));
    fs.addObject(0x1447, "FOREIGN-OBJ", boxAddress(foreign));
    platform::IpxAddress nowhere;
    nowhere.node = {0x00, 0x00, 0xB4, 0x77, 0x77, 0x77};
    fs.addObject(0x1447, "GONE", nowhere);                 // names a box that does not answer
    fs.addObject(0x0047, "PS-FLOOR2");                     // a print server that is no box
    fs.addObject(0x0047, "QUILL");                         // one named like a box of the bindery
    fs.addObject(0x0278, "ACME_TREE");
    fs.addObject(0x0004, "FS-MAIN");
    fs.addObject(0x0004, "FS-ARCHIVE");
    // Vendor 0 passes any VendorID; vendor 9 is not vendor 1.
    start({quill, gannet, heron, foreign}, {fs}, "[General Information]\nVendorID=1\nDeviceType1=0\n");

    ASSERT_EQ(m_ctx->XGetPort(), 1);
    // Bindery boxes first, in bindery order, then what only the broadcast found.
    EXPECT_EQ(listed(), (std::vector<std::string>{"QUILL", "GANNET", "HERON"}));
    const auto& names = m_ctx->nameLists();
    EXPECT_EQ(names.ndsTrees, std::vector<std::string>{"ACME_TREE"});
    EXPECT_EQ(names.fileServers, (std::vector<std::string>{"FS-MAIN", "FS-ARCHIVE"}));
    EXPECT_EQ(names.printServers, std::vector<std::string>{"PS-FLOOR2"});
    const protocol::ServerEntry& q = m_ctx->serverTable[0];
    EXPECT_EQ(q.ipxAddress, boxAddress(quill));
    EXPECT_EQ(q.included, 1);
    EXPECT_EQ(m_ctx->serverTable[1].included, 0);
    EXPECT_TRUE(m_reporter.messages.empty());
    EXPECT_EQ(m_lan->withFileServer(0, [](sim::SimFileServer& s) { return s.openConnections(); }), 0u);
    // Every request of the connection carried its sequence number.
    EXPECT_EQ(m_lan->withFileServer(0, [](sim::SimFileServer& s) { return s.sequenceViolations; }), 0);
}

TEST_F(IpxDiscoveryTest, WithoutAFileServerTheBroadcastAloneFindsTheBoxes) {
    start({testBox("QUILL", 1), testBox("HERON", 3)}, {});
    ASSERT_EQ(m_ctx->XGetPort(), 1);
    EXPECT_EQ(listed().size(), 2u);
    EXPECT_TRUE(m_ctx->nameLists().printServers.empty());
    EXPECT_TRUE(m_reporter.messages.empty());
}

TEST_F(IpxDiscoveryTest, ASearchReplyOfSixtyNineBytesIsTaken) {
    start({}, {});
    protocol::Byte reply[ipx::SearchReplySize] = {1, protocol::CmdSearch};
    std::memcpy(reply + 4 + protocol::identity::ServerName, "SHORT", 5);
    platform::IpxAddress from;
    from.node[5] = 7;
    m_ctx->addServer(reply, ipx::SearchReplySize - 1, from);
    m_ctx->addServer(reply, ipx::SearchReplySize, from); // the same name again
    m_ctx->addServer(reply, ipx::SearchReplySize - 2, from);
    ASSERT_EQ(m_ctx->serverCount, 1);
    EXPECT_EQ(m_ctx->serverTable[0].name(), "SHORT");
    EXPECT_EQ(m_ctx->serverTable[0].ipxAddress, from);
}

// What discovery puts on the carrier, read back by tshark: SAP and NCP decode
// as such and nothing is malformed.
TEST_F(IpxDiscoveryTest, TsharkReadsDiscoveryTrafficWithoutAMalformedPacket) {
    if (!vnk::testing::haveTshark())
        GTEST_SKIP() << "tshark is not installed";
    auto quill = testBox("QUILL", 1);
    sim::FileServerSpec fs;
    fs.name = "FS-MAIN";
    fs.node = {0x00, 0x00, 0x1B, 0x00, 0x00, 0x01};
    fs.addObject(0x1447, "QUILL", boxAddress(quill));
    fs.addObject(0x0047, "PS-FLOOR2");
    start({quill}, {fs});
    // Every carrier datagram goes to the broadcast address: a plain socket on
    // the carrier port hears the whole segment.
    const int sniffer = platform::openUdpSocket();
    ASSERT_GE(sniffer, 0);
    ASSERT_EQ(platform::enableReuseAddress(sniffer), 0);
    ASSERT_EQ(platform::setNonBlocking(sniffer), 0);
    ASSERT_EQ(platform::bindAny(sniffer, m_lan->ipxPort()), 0);
    ASSERT_EQ(m_ctx->XGetPort(), 1);
    ASSERT_EQ(m_ctx->serverCount, 1);
    std::vector<vnk::testing::PcapBytes> packets;
    protocol::Byte buffer[2048];
    for (ssize_t n; (n = platform::receiveDatagram(sniffer, buffer, sizeof buffer)) >= 0;)
        packets.push_back(vnk::testing::ipv4Udp(vnk::testing::PcapBytes(buffer, buffer + n), m_lan->ipxPort()));
    platform::closeSocket(sniffer);
    ASSERT_GT(packets.size(), 10u);
    const std::string path = m_dir.file("discovery.pcap");
    vnk::testing::writePcap(path, packets);
    const std::string decode = "tshark -r '" + path + "' -d udp.port==" + std::to_string(m_lan->ipxPort()) + ",ipx";
    const auto all = vnk::testing::runLines(decode + " 2>/dev/null");
    EXPECT_EQ(all.size(), packets.size());
    EXPECT_TRUE(vnk::testing::runLines(decode + " -Y _ws.malformed 2>/dev/null").empty());
    std::string text;
    for (const auto& line : all)
        text += line + "\n";
    for (const char* expected : {"Nearest Query", "Nearest Response", "Create Connection", "Scan Bindery Object",
                                 "Read Property Value", "Destroy Connection"})
        EXPECT_NE(text.find(expected), std::string::npos) << expected << "\n" << text;
}
