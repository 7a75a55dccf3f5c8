// The wizard's UDP and IPX links against simulated boxes on this test's own
// loopback ports: the search, the status read, and Finish's write, reset and
// port creation with a spooler in the test's own state directory.
#include "wizard/core/wizard_network.h"

#include "sim/sim_lan.h"
#include "wizard/core/netbios_link.h"
#include "support/sim_helpers.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

using namespace vnk;
using namespace vnk::wizard;
using namespace vnk::protocol;
using namespace std::chrono_literals;
using vnk::testing::ScratchDir;
using vnk::testing::testBox;

namespace {

constexpr const char* Monitor = "Varnotek Port Monitor";

sim::BoxSpec boxWithIp(const std::string& name, Byte last, std::array<Byte, 4> ip, Byte ports = 0x01) {
    return testBox(name, last, ports, record::CapTcpIp,
                   [&](ConfigRecord& r) { sim::setIPv4(r, record::IpAddress, ip); });
}

// What a search entry must hold: name, IP and port byte from the record,
// Ethernet address, type byte, and nothing else.
PServerRecord entryOf(const sim::BoxSpec& box, const std::string& name) {
    PServerRecord r{};
    setPserverName(r, name);
    std::copy_n(box.record.begin() + record::IpAddress, 4, r.begin() + pserver::Ip);
    r[pserver::PortConfig] = box.record[record::PortConfig];
    std::copy(box.mac.begin(), box.mac.end(), r.begin() + pserver::Ethernet);
    r[pserver::Type] = box.serverType;
    return r;
}

std::vector<Byte> fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class WizardLan : public ::testing::Test {
protected:
    void start(const std::vector<sim::BoxSpec>& boxes, bool withIpx, bool withNetbios = false) {
        sim::LanOptions o;
        if (withIpx)
            o.ipxPort = 0;
        if (withNetbios)
            o.netbiosPort = 0;
        m_lan = std::make_unique<sim::SimLan>(o);
        for (const auto& b : boxes)
            m_lan->addBox(b);
        std::string error;
        ASSERT_TRUE(m_lan->start(&error)) << error;
        m_udp = makeUdpLink(m_lan->endpoint(), platform::Timing::fast());
        if (withIpx) {
            platform::IpxSegment segment;
            segment.broadcast = "127.255.255.255";
            segment.carrierPort = m_lan->ipxPort();
            segment.localNode = {0x02, 0x00, 0x00, 0x00, 0x00, 0x61};
            m_ipx = makeIpxLink(segment, platform::Timing::fast());
        }
        if (withNetbios) {
            platform::NetbiosAdapter adapter;
            adapter.port = m_lan->netbiosPort();
            adapter.mac = {0x02, 0x00, 0x00, 0x00, 0x00, 0x62};
            m_netbios = makeNetbiosLink({adapter}, platform::Timing::fast(), [this](const std::string& text) {
                m_informed.push_back(text);
            });
        }
        // The spooler's add-port step for the monitor's library: it reads
        // pserver.bin as the monitor does and makes a port.
        m_spooler.setAddPortStep("KESTRAL.DLL", [this](const platform::AddPortRequest& request) {
            ++m_addPortSteps;
            m_monitorRead = fileBytes(platform::systemDirectory(request.stateDirectory) + "/pserver.bin");
            platform::AddPortResult result;
            result.ok = true;
            result.port.name = "VNK-" + std::to_string(m_addPortSteps);
            return result;
        });
        ASSERT_TRUE(m_spooler.addMonitor({Monitor, "Windows 4.0", "KESTRAL.DLL"})) << m_spooler.lastError();
    }
    WizardNetwork net(bool ipx) {
        return {{true, ipx, false}, m_udp.get(), m_ipx.get(), nullptr};
    }
    // The search of page 1, then the first entry chosen.
    void searchAndChoose(bool ipx) {
        WizardNetwork n = net(ipx);
        searchProcedure(m_table, n);
        ASSERT_GE(m_table.count, 1);
        m_table.chosen = 0;
    }
    std::vector<std::string> finishNow(bool ipx) {
        WizardNetwork n = net(ipx);
        return finish(m_table, n, m_systemDir, m_spooler, Monitor);
    }
    template <class F> auto box(int i, F f) {
        return m_lan->withBox(i, [&](sim::SimBox& b) { return f(b); });
    }
    std::string pserverBin() const { return m_systemDir + "/pserver.bin"; }

    ScratchDir m_state;
    std::string m_systemDir = platform::systemDirectory(m_state.path());
    platform::Spooler m_spooler{m_state.path()};
    int m_addPortSteps = 0;
    std::vector<Byte> m_monitorRead;
    WizardServerTable m_table;
    std::unique_ptr<sim::SimLan> m_lan;
    std::unique_ptr<DeviceLink> m_udp, m_ipx;
    std::unique_ptr<NetbiosLink> m_netbios;
    std::vector<std::string> m_informed;
};

} // namespace

TEST_F(WizardLan, UdpSearchListsEachNameOnceWithItsRecordAndThePageThreeStatus) {
    sim::BoxSpec alpha = boxWithIp("ALPHA", 1, {10, 0, 0, 5});
    alpha.serverType = 1;
    const sim::BoxSpec bravo = testBox("BRAVO", 2, 0x03);
    const sim::BoxSpec twin = boxWithIp("ALPHA", 3, {10, 0, 0, 6}); // answers after the first ALPHA
    start({alpha, bravo, twin}, false);

    // Every box answers each of the three passes; each name is listed once.
    ASSERT_EQ(m_udp->search(m_table, 0, 3), 1);
    ASSERT_EQ(m_table.count, 2);
    EXPECT_EQ(m_table.servers[0], entryOf(alpha, "ALPHA"));
    EXPECT_EQ(m_table.servers[1], entryOf(bravo, "BRAVO"));
    EXPECT_EQ(m_table.records[0], alpha.record);
    EXPECT_EQ(m_table.records[1], bravo.record);

    // The status reply is 491 bytes: the copy holds what came and zero after it.
    m_table.status.fill(0xEE);
    m_table.chosen = 1;
    m_table.mode = ModeTcpIp;
    WizardNetwork n = net(false);
    ASSERT_EQ(statusRead(m_table, n), 1);
    const StatusBuffer expected = box(1, [](sim::SimBox& b) { return b.statusReply(); });
    EXPECT_TRUE(std::equal(expected.begin() + HeaderSize, expected.end(), m_table.status.begin()));
    EXPECT_EQ(dottedAt(m_table.status, StatusIpInUse), "192.168.1.200");
    EXPECT_EQ(dottedAt(m_table.status, StatusMaskInUse), "255.255.255.0");
    EXPECT_EQ(m_table.status[StatusCopySize - 1], 0);
}

TEST_F(WizardLan, WithIpxInstalledOnlyIpxIsSearchedAndItListsNetworkedPcsTheUdpSearchSkips) {
    sim::BoxSpec alpha = boxWithIp("ALPHA", 1, {10, 0, 0, 5});
    alpha.serverType = 1;
    sim::BoxSpec pc = testBox("DESKTOP", 4);
    pc.isPc = true;
    pc.deviceType = 1;
    start({alpha, pc}, true);

    searchAndChoose(true);
    EXPECT_EQ(m_table.mode, ModeIpx);
    EXPECT_EQ(m_lan->requestsSeen(), 0u); // not one UDP request
    ASSERT_EQ(m_table.count, 2);
    EXPECT_EQ(m_table.servers[0], entryOf(alpha, "ALPHA")); // its node is its Ethernet address
    EXPECT_EQ(m_table.records[0], alpha.record);
    EXPECT_EQ(pserverName(m_table.servers[1]), "DESKTOP");
    EXPECT_EQ(pserverMac(m_table.servers[1]), pc.mac);
    EXPECT_EQ(m_table.records[1], ConfigRecord{}); // a PC has no record to read: it stays listed

    WizardNetwork n = net(true);
    ASSERT_EQ(statusRead(m_table, n), 1);
    EXPECT_EQ(dottedAt(m_table.status, StatusIpInUse), "10.0.0.5");

    // Without IPX the same LAN is searched over UDP, where the PC is not listed.
    searchAndChoose(false);
    EXPECT_EQ(m_table.mode, ModeTcpIp);
    EXPECT_GE(m_lan->requestsSeen(), 3u);
    ASSERT_EQ(m_table.count, 1);
    EXPECT_EQ(pserverName(m_table.servers[0]), "ALPHA");
}

TEST_F(WizardLan, FinishSendsNothingWithoutChangesAndWritesAndResetsAfterThem) {
    const sim::BoxSpec bravo = testBox("BRAVO", 2, 0x03);
    start({bravo}, false);
    searchAndChoose(false);
    m_table.servers[0][pserver::PortMask] = 0x03; // what page 1 sets
    const std::size_t before = m_lan->requestsSeen();

    // Unchanged: the box hears nothing, the monitor still gets the entry as found.
    EXPECT_EQ(finishNow(false), std::vector<std::string>{});
    EXPECT_EQ(m_lan->requestsSeen(), before);
    const std::vector<Byte> found(m_table.servers[0].begin(), m_table.servers[0].end());
    EXPECT_EQ(fileBytes(pserverBin()), found);
    EXPECT_EQ(m_monitorRead, found);
    ASSERT_EQ(m_spooler.ports().size(), 1u);
    EXPECT_EQ(m_spooler.ports()[0].monitor, Monitor);

    // What pages 2 and 3 do with a new name and a fixed address.
    setPserverName(m_table.servers[0], "LOBBY");
    sim::setText(m_table.records[0], record::AliasName, 16, "LOBBY");
    const std::array<Byte, 4> ip{192, 168, 7, 9};
    sim::setIPv4(m_table.records[0], record::IpAddress, ip);
    std::copy(ip.begin(), ip.end(), m_table.servers[0].begin() + pserver::Ip);
    m_table.records[0][ChecksumOffset] ^= 0xFF; // stale: the write sets it
    m_table.changed = true;

    EXPECT_EQ(finishNow(false), std::vector<std::string>{});
    box(0, [&](sim::SimBox& b) {
        EXPECT_EQ(b.writes, 1);
        EXPECT_EQ(b.badChecksumWrites, 0);
        EXPECT_EQ(b.storedRecord(), withWizardChecksum(m_table.records[0]));
        return 0;
    });
    const auto deadline = std::chrono::steady_clock::now() + 3s;
    while (box(0, [](sim::SimBox& b) { return b.resets; }) == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(10ms);
    box(0, [&](sim::SimBox& b) {
        EXPECT_EQ(b.resets, 1);
        EXPECT_EQ(b.activeName(), "LOBBY");
        EXPECT_EQ(b.activeIp(), ip);
        return 0;
    });
    const std::vector<Byte> changed(m_table.servers[0].begin(), m_table.servers[0].end());
    EXPECT_EQ(m_monitorRead, changed);
    EXPECT_EQ(m_addPortSteps, 2);
}

TEST_F(WizardLan, FinishOverIpxWritesResetsAndMakesThePort) {
    start({testBox("BRAVO", 2, 0x03)}, true);
    searchAndChoose(true);
    ASSERT_EQ(m_table.mode, ModeIpx);
    setPserverName(m_table.servers[0], "LOBBY");
    sim::setText(m_table.records[0], record::AliasName, 16, "LOBBY");
    m_table.changed = true;

    EXPECT_EQ(finishNow(true), std::vector<std::string>{});
    EXPECT_EQ(m_lan->requestsSeen(), 0u); // nothing over UDP
    EXPECT_EQ(box(0, [](sim::SimBox& b) { return b.storedRecord(); }), withWizardChecksum(m_table.records[0]));
    const auto deadline = std::chrono::steady_clock::now() + 3s;
    while (box(0, [](sim::SimBox& b) { return b.resets; }) == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(10ms);
    EXPECT_EQ(box(0, [](sim::SimBox& b) { return b.activeName(); }), "LOBBY");
    const std::vector<Byte> entry(m_table.servers[0].begin(), m_table.servers[0].end());
    EXPECT_EQ(m_monitorRead, entry);
    EXPECT_EQ(m_spooler.ports().size(), 1u);
}

TEST_F(WizardLan, AFailedWriteOrAMissingFileLeavesThePortUnmade) {
    start({testBox("BRAVO", 2)}, true);
    searchAndChoose(false);
    box(0, [](sim::SimBox& b) { return b.faults().silent = true; });
    m_table.changed = true;
    EXPECT_EQ(finishNow(false), std::vector<std::string>{"TCP/IP Write failed!"});
    m_table.mode = ModeIpx;
    EXPECT_EQ(finishNow(true), std::vector<std::string>{"IPX Write failed!"});
    EXPECT_FALSE(std::filesystem::exists(pserverBin()));

    EXPECT_EQ(createPort(m_table, m_state.file("no-such-dir"), m_spooler, Monitor),
              std::vector<std::string>{"Create file error"});
    EXPECT_EQ(m_addPortSteps, 0);
    // An unknown monitor: the file is written whole, the spooler refuses the port.
    // The spooler's reason follows the message.
    EXPECT_EQ(createPort(m_table, m_systemDir, m_spooler, "Nobody's Monitor"),
              (std::vector<std::string>{"Add Port failed!", "no monitor \"Nobody's Monitor\" is registered"}));
    EXPECT_EQ(fileBytes(pserverBin()).size(), pserver::Size);
    EXPECT_TRUE(m_spooler.ports().empty());
}

// A PC with TCP/IP and NetBEUI: the boxes that answer over UDP come first, then
// those that answer only over NetBIOS; a box that answers both ways is listed
// once, and Finish reaches each box the way it was found.
TEST_F(WizardLan, UdpThenNetbiosListsEachBoxOnceAndFinishWritesOverTheWayItWasFound) {
    const sim::BoxSpec both = boxWithIp("BOTH", 1, {10, 0, 0, 5});
    sim::BoxSpec netbeuiOnly = boxWithIp("NETBEUI", 2, {10, 0, 0, 6});
    netbeuiOnly.faults.udpSilent = true;
    start({both, netbeuiOnly}, false, true);
    WizardNetwork n{{true, false, true}, m_udp.get(), nullptr, m_netbios.get()};
    searchProcedure(m_table, n);
    ASSERT_EQ(m_table.count, 2);
    EXPECT_EQ(m_table.mode, ModeTcpIp);
    EXPECT_EQ(pserverName(m_table.servers[0]), "BOTH");
    EXPECT_FALSE(m_table.foundOverNetbios(0));
    EXPECT_EQ(pserverName(m_table.servers[1]), "NETBEUI");
    EXPECT_EQ(m_table.netbiosName(1), netbeuiOnly.deviceName + ".CFG");
    EXPECT_EQ(m_table.records[1], netbeuiOnly.record);
    EXPECT_TRUE(m_informed.empty());

    // The NetBEUI-only box gets a new address over NetBIOS.
    m_table.chosen = 1;
    m_table.records[1][record::IpAddress + 3] = 66;
    m_table.changed = true;
    EXPECT_TRUE(finish(m_table, n, m_systemDir, m_spooler, Monitor).empty());
    EXPECT_EQ(box(1, [](sim::SimBox& b) { return b.storedRecord()[record::IpAddress + 3]; }), 66);
    EXPECT_EQ(box(1, [](sim::SimBox& b) { return b.writes; }), 1);
    EXPECT_EQ(box(0, [](sim::SimBox& b) { return b.writes; }), 0);
}
