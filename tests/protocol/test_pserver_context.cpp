// The UDP device protocol against simulated boxes on loopback.
#include "support/sim_fixture.h"

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

using namespace vnk;
using namespace vnk::protocol;
using vnk::testing::testBox;

namespace {

class ProtocolTest : public vnk::testing::SimLanTest {
protected:
    std::vector<std::string> listedNames() {
        std::vector<std::string> names;
        for (int i = 0; i < ctx().serverCount; ++i)
            names.push_back(ctx().serverTable[std::size_t(i)].name());
        return names;
    }
    // Discovery without the record reads of a full refresh.
    void discoverOnly() {
        ctx().serverCount = 0;
        int s = ctx().openOperationSocket("XGetPort", true);
        ASSERT_GE(s, 0);
        ctx().XGetAllPServername(s);
        platform::closeSocket(s);
    }
    template <class F> void faults(int box, F f) {
        lan().withBox(box, [&](sim::SimBox& b) {
            f(b.faults());
            return 0;
        });
    }
};

} // namespace

TEST_F(ProtocolTest, DiscoveryListsTcpIpBoxesInReplyOrderWithTheirAddresses) {
    auto a = testBox("ALPHA", 1), b = testBox("BRAVO", 2, 0x05), c = testBox("CHARLIE", 3);
    sim::setIPv4(b.record, record::IpAddress, {10, 1, 2, 3});
    setRecordChecksum(b.record);
    startLan({a, b, c});
    ASSERT_EQ(ctx().XGetPort(), 1);
    EXPECT_EQ(listedNames(), (std::vector<std::string>{"ALPHA", "BRAVO", "CHARLIE"}));
    const ServerEntry& e = ctx().serverTable[1];
    EXPECT_EQ(e.ethernet, b.mac);
    EXPECT_EQ(e.included, 1);
    EXPECT_EQ(e.ipAddress, (std::array<Byte, 4>{10, 1, 2, 3}));
    EXPECT_EQ(ntohs(e.sender.sin_port), lan().commandPort());
    EXPECT_TRUE(m_reporter.messages.empty());
}

TEST_F(ProtocolTest, BoxesWithoutTcpIpOrWithoutARecordAreLeftOut) {
    auto noTcp = testBox("NOTCP", 1, 0x01, 0x00);
    auto mute = testBox("MUTE", 2);
    mute.faults.ignore = {CmdReadConfig};
    startLan({noTcp, mute, testBox("GOOD", 3)});
    ctx().XGetPort();
    EXPECT_EQ(listedNames(), (std::vector<std::string>{"GOOD"}));
}

TEST_F(ProtocolTest, ASecondBoxWithTheSameNameIsDropped) {
    startLan({testBox("TWIN", 1), testBox("TWIN", 2)});
    ctx().XGetPort();
    ASSERT_EQ(ctx().serverCount, 1);
    EXPECT_EQ(ctx().serverTable[0].ethernet[5], 1);
}

TEST_F(ProtocolTest, WithoutConfigIniOnlyDeviceTypeZeroIsListed) {
    auto typed = testBox("TYPED", 1);
    typed.deviceType = 3;
    typed.vendor = 9;
    auto plain = testBox("PLAIN", 2);
    plain.vendor = 77;
    startLan({typed, plain});
    std::filesystem::remove(m_dir.file("Config.ini"));
    ctx().XGetPort();
    EXPECT_EQ(listedNames(), (std::vector<std::string>{"PLAIN"}));
}

TEST_F(ProtocolTest, DuplicatedAndLateRepliesDoNotDuplicateEntries) {
    auto noisy = testBox("NOISY", 1);
    noisy.faults.duplicate = 1.0;
    startLan({noisy, testBox("QUIET", 2)});
    ctx().XGetPort();
    EXPECT_EQ(listedNames(), (std::vector<std::string>{"NOISY", "QUIET"}));
}

TEST_F(ProtocolTest, DiscoverySendsTwoRequestsInEachOfItsThreePasses) {
    startLan({testBox("ALPHA", 1)});
    // Every pass waits a little, so that the idle hook sees the count the LAN
    // has between the passes.
    auto t = platform::Timing::fast();
    t.discoveryPassWait.fill(std::chrono::milliseconds(200));
    ctx().setTiming(t);
    std::vector<std::size_t> seen;
    ctx().setIdleHook([&] { seen.push_back(lan().requestsSeen()); });
    discoverOnly();
    EXPECT_EQ(lan().requestsSeen(), 6u);
    EXPECT_EQ(listedNames(), std::vector<std::string>{"ALPHA"});
    // A count seen three times running is where one pass left it.
    std::vector<std::size_t> passes;
    for (std::size_t i = 2; i < seen.size(); ++i)
        if (seen[i] == seen[i - 1] && seen[i] == seen[i - 2] && (passes.empty() || passes.back() != seen[i]))
            passes.push_back(seen[i]);
    EXPECT_EQ(passes, (std::vector<std::size_t>{2, 4, 6}));
}

TEST_F(ProtocolTest, ThirtyOneBoxesFillTheTableWithThirty) {
    std::vector<sim::BoxSpec> boxes;
    for (int i = 0; i < 31; ++i)
        boxes.push_back(testBox("BOX" + std::to_string(i), Byte(i + 1)));
    startLan(boxes);
    discoverOnly();
    EXPECT_EQ(ctx().serverCount, MaxServers);
}

TEST_F(ProtocolTest, DatagramsOfAnotherSizeAreDroppedSilentlyAndShiftNoReply) {
    auto longer = testBox("LONGER", 1);
    longer.faults.extend = 4;
    startLan({longer, testBox("ALPHA", 2), testBox("BRAVO", 3), testBox("CHARLIE", 4)});
    ctx().serverCount = 0;
    int s = ctx().openOperationSocket("XGetPort", true);
    ASSERT_GE(s, 0);
    // Foreign datagrams wait on the socket before any box has answered.
    const int stranger = ctx().openOperationSocket("test", false);
    ASSERT_GE(stranger, 0);
    const Byte shortOne[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    const Byte longOne[200] = {};
    ASSERT_EQ(platform::sendDatagram(stranger, shortOne, sizeof shortOne, 0x7F000001, platform::localPort(s)), 10);
    ASSERT_EQ(platform::sendDatagram(stranger, longOne, sizeof longOne, 0x7F000001, platform::localPort(s)), 200);
    ctx().XGetAllPServername(s);
    platform::closeSocket(s);
    platform::closeSocket(stranger);
    EXPECT_EQ(listedNames(), (std::vector<std::string>{"ALPHA", "BRAVO", "CHARLIE"}));
    EXPECT_EQ(m_reporter.messages, std::vector<std::string>{});
}

TEST_F(ProtocolTest, AFloodOfStrayDatagramsCannotKeepDiscoveryGoing) {
    startLan({testBox("ALPHA", 1)});
    ctx().serverCount = 0;
    int s = ctx().openOperationSocket("XGetPort", true);
    ASSERT_GE(s, 0);
    const std::uint16_t port = platform::localPort(s);
    std::atomic<bool> flooding{true};
    std::thread flood([&] {
        const int stranger = platform::openUdpSocket();
        const Byte junk[3] = {0xDE, 0xAD, 0x00};
        // Stops by itself in the end, so that a discovery that never ends fails
        // the test instead of hanging it.
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(8);
        while (flooding && std::chrono::steady_clock::now() < until) {
            platform::sendDatagram(stranger, junk, sizeof junk, 0x7F000001, port);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        platform::closeSocket(stranger);
    });
    // Without a step count that takes dropped datagrams in, no pass would end:
    // the junk comes far more often than a pass waits for the next datagram.
    auto t = platform::Timing::fast();
    t.discoveryPassWait = {std::chrono::microseconds(0), std::chrono::milliseconds(500),
                           std::chrono::milliseconds(500)};
    ctx().setTiming(t);
    const auto started = std::chrono::steady_clock::now();
    ctx().XGetAllPServername(s);
    const auto took = std::chrono::steady_clock::now() - started;
    flooding = false;
    flood.join();
    platform::closeSocket(s);
    EXPECT_LT(took, std::chrono::seconds(5));
    EXPECT_TRUE(m_reporter.messages.empty());
}

TEST_F(ProtocolTest, ConfigurationReadMustBeExactly522Bytes) {
    startLan({testBox("EXACT", 1)});
    ctx().XGetPort();
    ServerEntry& e = ctx().serverTable[0];
    ConfigFrame frame{};
    ASSERT_EQ(ctx().XReadPServerEEProm(e, frame), 1);
    EXPECT_EQ(frame[7], CmdReadConfig);

    faults(0, [](sim::FaultSpec& f) { f.extend = 1; });
    EXPECT_EQ(ctx().XReadPServerEEProm(e, frame), 0);
    ASSERT_EQ(m_reporter.messages.size(), 1u);
    EXPECT_NE(m_reporter.messages[0].find(": XReceivePacket-recv() Fail"), std::string::npos);

    faults(0, [](sim::FaultSpec& f) { f.extend = 0, f.truncate = 1; });
    EXPECT_EQ(ctx().XReadPServerEEProm(e, frame), 0);
    EXPECT_EQ(m_reporter.messages.size(), 1u); // a short reply fails without a message
}

TEST_F(ProtocolTest, StatusIsAcceptedFrom66Bytes) {
    startLan({testBox("STAT", 1)});
    ctx().XGetPort();
    ServerEntry& e = ctx().serverTable[0];
    StatusBuffer status{};
    status.fill(0xEE);
    faults(0, [](sim::FaultSpec& f) { f.badStatusAfter66 = true; });
    ASSERT_EQ(ctx().XGetPServerStatus(e, status), 1);
    EXPECT_EQ(status[66], 0xEE); // the rest of the buffer stays as it was
    faults(0, [](sim::FaultSpec& f) { f.truncate = 1; });
    EXPECT_EQ(ctx().XGetPServerStatus(e, status), 0);
    faults(0, [](sim::FaultSpec& f) { f.badStatusAfter66 = false, f.truncate = 0; });
    EXPECT_EQ(ctx().XGetPServerStatus(e, status), 1);
}

TEST_F(ProtocolTest, WriteSetsTheChecksumWhateverTheCallerLeftThere) {
    startLan({testBox("WRITER", 1)});
    ctx().XGetPort();
    ServerEntry& e = ctx().serverTable[0];
    ConfigFrame frame{};
    ASSERT_EQ(ctx().XReadPServerEEProm(e, frame), 1);
    auto rec = recordOf(frame);
    rec[record::SnmpContact] = 'Z';
    rec[ChecksumOffset] ^= 0xA5; // wrong on purpose
    ASSERT_EQ(ctx().XWritePServerEEProm(e, frame), 1);
    Byte x = 0;
    for (std::size_t i = 10; i <= 520; ++i)
        x ^= frame[i];
    EXPECT_EQ(frame[521], x);
    EXPECT_EQ(frame[7], CmdWriteConfig); // the confirmation landed in the header
    lan().withBox(0, [](sim::SimBox& b) {
        EXPECT_EQ(b.badChecksumWrites, 0);
        EXPECT_EQ(b.storedRecord()[record::SnmpContact], 'Z');
        return 0;
    });
}

TEST_F(ProtocolTest, TestPrintSendsTheHeaderOnlyWhateverThePort) {
    startLan({testBox("PRINTER", 1, 0x0B)});
    ctx().XGetPort();
    EXPECT_EQ(ctx().XTestPrint(ctx().serverTable[0], 4), 1);
    lan().withBox(0, [](sim::SimBox& b) {
        EXPECT_EQ(b.testPrints, 1);
        EXPECT_EQ(b.lastTestPrintRequestSize, HeaderSize);
        return 0;
    });
}

TEST_F(ProtocolTest, RepliesWithAnotherCommandCodeAreRefused) {
    startLan({testBox("ODD", 1)});
    ctx().XGetPort();
    faults(0, [](sim::FaultSpec& f) { f.garble = 1.0; });
    // A garbled byte may hit anything; over a few tries at least one reply is refused
    // and none is taken for another command.
    int accepted = 0;
    for (int i = 0; i < 10; ++i)
        accepted += ctx().XTestPrint(ctx().serverTable[0], 0);
    EXPECT_LT(accepted, 10);
}

TEST_F(ProtocolTest, PrinterStatusCarriesThePortIndex) {
    auto b = testBox("PRN", 1, 0x05);
    b.printers = {{"DISPLAY=\"READY\"\r\n", "MFG:X;", {}, {}}, {"DISPLAY=COM\r\n", "", {}, {}}};
    startLan({b});
    ctx().XGetPort();
    PrinterStatusBuffer buf{};
    ASSERT_EQ(ctx().XGetPrinterStatus(ctx().serverTable[0], buf, 0x10001), 1); // low 16 bits travel
    EXPECT_EQ(getLE16(buf, 10), 1);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&buf[14]), 13), "DISPLAY=COM\r\n");
}

TEST_F(ProtocolTest, ResetAndReconnectReadsTheNewRecord) {
    startLan({testBox("OLDNAME", 1)});
    ctx().XGetPort();
    ctx().selectedIndex = 0;
    ServerEntry& e = ctx().serverTable[0];
    ASSERT_EQ(ctx().XReadPServerEEProm(e, ctx().configBuffer), 1);
    auto rec = recordOf(ctx().configBuffer);
    std::memcpy(&rec[record::AliasName], "NEWNAME", 8);
    const Byte ip[4] = {10, 9, 8, 7};
    std::memcpy(&rec[record::IpAddress], ip, 4);
    ASSERT_EQ(ctx().XWritePServerEEProm(e, ctx().configBuffer), 1);
    rec[record::IpAddress] = 0; // forget it locally: it must come back from the box

    std::vector<std::string> told;
    const ReconnectResult r = ctx().resetAndReconnect([&](const std::string& m) { told.push_back(m); });
    EXPECT_TRUE(r.ok());
    EXPECT_TRUE(told.empty());
    EXPECT_EQ(rec[record::IpAddress], 10);
    EXPECT_EQ(ctx().statusBuffer[10 + 58], 10); // the box now uses the new address
    lan().withBox(0, [](sim::SimBox& b) {
        EXPECT_EQ(b.resets, 1);
        EXPECT_EQ(b.activeName(), "NEWNAME");
        return 0;
    });
}

TEST_F(ProtocolTest, ABoxThatNeverComesBackGivesOneMessage) {
    startLan({testBox("GONE", 1)});
    ctx().XGetPort();
    ctx().selectedIndex = 0;
    faults(0, [](sim::FaultSpec& f) { f.ignore = {CmdSearch}; });
    auto t = platform::Timing::fast();
    t.receiveWait = std::chrono::microseconds(1000);
    t.reconnectSearches = 3;
    ctx().setTiming(t);
    std::vector<std::string> told;
    const ReconnectResult r = ctx().resetAndReconnect([&](const std::string& m) { told.push_back(m); });
    EXPECT_FALSE(r.cameBack);
    EXPECT_EQ(told, (std::vector<std::string>{"GONE still not comming back !!!"}));
}

TEST_F(ProtocolTest, AfterAFailedRecordReadTheStatusIsStillRead) {
    startLan({testBox("HALF", 1)});
    ctx().XGetPort();
    ctx().selectedIndex = 0;
    faults(0, [](sim::FaultSpec& f) { f.ignore = {CmdReadConfig}; });
    std::vector<std::string> told;
    const ReconnectResult r = ctx().resetAndReconnect([&](const std::string& m) { told.push_back(m); });
    EXPECT_TRUE(r.cameBack);
    EXPECT_FALSE(r.recordRead);
    EXPECT_TRUE(r.statusRead);
    EXPECT_EQ(told.size(), 1u);
}

TEST_F(ProtocolTest, HardSocketFailuresAreReportedWithTheOperationName) {
    startLan({testBox("X", 1)});
    int sent = 0;
    EXPECT_EQ(ctx().XSendPacket(-1, nullptr, 0, sent), 0);
    int got = 0;
    Byte buf[4];
    EXPECT_EQ(ctx().XReceivePacket(-1, buf, sizeof buf, got), 0);
    ASSERT_EQ(m_reporter.messages.size(), 2u);
    EXPECT_EQ(m_reporter.messages[0], " 9: XSendPacket-select() Fail");
    EXPECT_EQ(m_reporter.messages[1], " 9: XReceivePacket-select() Fail");
}
