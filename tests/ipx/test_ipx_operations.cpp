// The device operations and the firmware transfer over IPX, against simulated
// boxes on this test's own IPX carrier port, and against a hand-written box
// that answers with whatever datagrams a test gives it.
#include "transport/ipx/ipx_context.h"
#include "protocol/firmware.h"
#include "sim/sim_firmware.h"
#include "sim/sim_lan.h"
#include "support/sim_helpers.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

using namespace vnk;
using namespace vnk::protocol;
using namespace std::chrono_literals;
using platform::IpxAddress;
using platform::IpxEndpoint;
using vnk::testing::RecordingReporter;
using vnk::testing::ScratchDir;
using vnk::testing::testBox;

namespace {

using Bytes = std::vector<Byte>;

constexpr platform::IpxNode UtilityNode{0x02, 0x00, 0x00, 0x00, 0x00, 0x51};
constexpr MacAddress HandBoxMac{0x00, 0x00, 0xB4, 0x77, 0x00, 0x09};

Bytes replyOf(Byte command, std::size_t size, Byte fill = 0x5A) {
    Bytes r(size, fill);
    r[0] = 1;
    r[1] = command;
    r[2] = 0xFF;
    r[3] = Byte(0xFF ^ command);
    return r;
}

// A box written by hand: an IPX socket 0x3434 at its own node that answers
// each request with the datagrams script() returns for it.
class HandBox {
public:
    using Script = std::function<std::vector<Bytes>(const Bytes& request)>;
    HandBox(const platform::IpxSegment& segment, Script script) : m_script(std::move(script)) {
        platform::IpxSegment own = segment;
        own.localNode = HandBoxMac;
        m_socket = std::make_unique<IpxEndpoint>(own);
        EXPECT_EQ(m_socket->open(), 0);
        EXPECT_EQ(m_socket->bind(IpxCommandSocket), 0);
        m_thread = std::thread([this] { run(); });
    }
    ~HandBox() {
        m_running = false;
        m_thread.join();
    }
    std::vector<Bytes> requests() {
        std::lock_guard lock(m_mutex);
        return m_requests;
    }

private:
    void run() {
        while (m_running) {
            if (m_socket->waitReadable(20ms) != platform::WaitResult::Ready)
                continue;
            Byte buffer[platform::IpxMaxPayload];
            IpxAddress from;
            const ssize_t n = m_socket->receiveFrom(buffer, sizeof buffer, &from);
            if (n < 0)
                continue;
            const Bytes request(buffer, buffer + n);
            {
                std::lock_guard lock(m_mutex);
                m_requests.push_back(request);
            }
            for (const Bytes& reply : m_script(request))
                m_socket->sendTo(from, reply.data(), reply.size());
        }
    }

    Script m_script;
    std::unique_ptr<IpxEndpoint> m_socket;
    std::mutex m_mutex;
    std::vector<Bytes> m_requests;
    std::atomic<bool> m_running{true};
    std::thread m_thread;
};

class IpxOperations : public ::testing::Test {
protected:
    // A LAN on a carrier port of this test's own, with these boxes (none: the
    // port is this test's and a HandBox answers).
    void start(std::vector<sim::BoxSpec> boxes) {
        sim::LanOptions o;
        o.ipxPort = 0;
        m_lan = std::make_unique<sim::SimLan>(o);
        for (auto& b : boxes)
            m_lan->addBox(std::move(b));
        std::string error;
        ASSERT_TRUE(m_lan->start(&error)) << error;
        m_segment.broadcast = "127.255.255.255";
        m_segment.carrierPort = m_lan->ipxPort();
        m_segment.localNode = UtilityNode;
        m_ctx = std::make_unique<ipx::IpxServerContext>(m_lan->endpoint(), m_segment, platform::Timing::fast(),
                                                        m_reporter);
    }
    ipx::IpxServerContext& ctx() { return *m_ctx; }
    template <class F> auto box(F f) {
        return m_lan->withBox(0, [&](sim::SimBox& b) { return f(b); });
    }

    RecordingReporter m_reporter;
    ScratchDir m_dir;
    platform::IpxSegment m_segment;
    std::unique_ptr<sim::SimLan> m_lan;
    std::unique_ptr<ipx::IpxServerContext> m_ctx;
};

// ------------------------------------------------------------------ against a simulated box

TEST_F(IpxOperations, EveryOperationReachesTheBoxAndFillsTheBuffersThePagesRead) {
    sim::BoxSpec spec = testBox("IPXOPS", 3, 0x01);
    spec.printers = {{"CODE=10001\r\n", "MFG:X;", {}, {}}};
    start({spec});
    ServerEntry e = CPServerContext::entryFor(spec.mac);

    Byte search[DiscoveryReplySize]{};
    ASSERT_EQ(ctx().XSearchPS(e, search), 1);
    const Byte* id = search + ctx().searchReplyIdentity();
    EXPECT_EQ(search[0], 1);
    EXPECT_EQ(search[1], CmdSearch);
    EXPECT_STREQ(reinterpret_cast<const char*>(id + identity::ServerName), "IPXOPS");

    ConfigFrame frame{};
    ASSERT_EQ(ctx().XReadPServerEEProm(e, frame), 1);
    EXPECT_TRUE(std::equal(spec.record.begin(), spec.record.end(), recordOf(frame).begin()));
    EXPECT_TRUE(replyAccepted(frame, CmdReadConfig));

    StatusBuffer status{};
    ASSERT_EQ(ctx().XGetPServerStatus(e, status), 1);
    const StatusBuffer expected = box([](sim::SimBox& b) { return b.statusReply(); });
    EXPECT_TRUE(std::equal(expected.begin() + HeaderSize, expected.end(), status.begin() + HeaderSize));

    PrinterStatusBuffer printer{};
    ASSERT_EQ(ctx().XGetPrinterStatus(e, printer, 0), 1);
    EXPECT_EQ(getLE16(printer, HeaderSize + 2), spec.printers[0].display.size());
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&printer[HeaderSize + 4]), 10), "CODE=10001");

    ASSERT_EQ(ctx().XTestPrint(e, 0), 1);
    EXPECT_EQ(box([](sim::SimBox& b) { return b.testPrints; }), 1);
    EXPECT_EQ(box([](sim::SimBox& b) { return b.lastTestPrintRequestSize; }), ipx::TestPrintRequestSize);

    ASSERT_EQ(ctx().XResetPServerEEProm(e), 1);
    EXPECT_TRUE(box([](sim::SimBox& b) { return b.restarting(sim::Clock::now()); }));
    EXPECT_TRUE(m_reporter.messages.empty());
}

TEST_F(IpxOperations, WriteCarriesTheChecksumOverHeaderAndRecordAndTheBoxTakesIt) {
    const sim::BoxSpec spec = testBox("WRITER", 4);
    start({spec});
    ServerEntry e = CPServerContext::entryFor(spec.mac);
    ConfigFrame frame{};
    ASSERT_EQ(ctx().XReadPServerEEProm(e, frame), 1);
    auto rec = recordOf(frame);
    rec[record::SnmpLocation] = 'Q';
    rec[ChecksumOffset] = 0xEE; // stale: the write computes it anew

    ASSERT_EQ(ctx().XWritePServerEEProm(e, frame), 1);
    Byte x = 0;
    for (std::size_t i = 0; i < ChecksumOffset; ++i)
        x ^= rec[i];
    EXPECT_EQ(rec[ChecksumOffset], x);
    box([](sim::SimBox& b) {
        EXPECT_EQ(b.writes, 1);
        EXPECT_EQ(b.badChecksumWrites, 0);
        EXPECT_EQ(b.storedRecord()[record::SnmpLocation], 'Q');
        return 0;
    });
}

TEST_F(IpxOperations, ASilentBoxFailsEveryOperationWithoutAMessage) {
    sim::BoxSpec spec = testBox("QUIET", 5);
    spec.faults.silent = true;
    start({spec});
    ServerEntry e = CPServerContext::entryFor(spec.mac);
    Byte search[DiscoveryReplySize]{};
    ConfigFrame frame{};
    frame.fill(0x77);
    StatusBuffer status{};
    EXPECT_EQ(ctx().XSearchPS(e, search), 0);
    EXPECT_EQ(ctx().XReadPServerEEProm(e, frame), 0);
    EXPECT_EQ(ctx().XGetPServerStatus(e, status), 0);
    EXPECT_EQ(ctx().XResetPServerEEProm(e), 0);
    EXPECT_EQ(frame[HeaderSize + 100], 0x77); // a failed read leaves the buffer alone
    EXPECT_TRUE(m_reporter.messages.empty());
}

// ------------------------------------------------------------------ against a box written by hand

TEST_F(IpxOperations, OnlyDatagramsOfTheExpectedSizesAreTakenAsReplies) {
    start({});
    ServerEntry e = CPServerContext::entryFor(HandBoxMac);
    HandBox hand(m_segment, [](const Bytes& req) -> std::vector<Bytes> {
        switch (req[1]) {
        case CmdSearch: // too long, too short, then a 69-byte reply
            return {replyOf(CmdSearch, 71, 0x11), replyOf(CmdSearch, 68, 0x22), replyOf(CmdSearch, 69, 0x33)};
        case CmdStatus: // 65 bytes and 486 are not a status reply; 300 is
            return {replyOf(CmdStatus, 65), replyOf(CmdStatus, 486), replyOf(CmdStatus, 300, 0x44)};
        case CmdPrinterStatus:
            return {replyOf(CmdPrinterStatus, 409), replyOf(CmdPrinterStatus, 410, 0x55)};
        case CmdTestPrint:
            return {replyOf(CmdTestPrint, 6), replyOf(CmdTestPrint, 4)};
        default:
            return {};
        }
    });

    Byte search[DiscoveryReplySize];
    std::memset(search, 0xCC, sizeof search);
    ASSERT_EQ(ctx().XSearchPS(e, search), 1);
    EXPECT_EQ(search[4], 0x33);
    EXPECT_EQ(search[68], 0x33);
    EXPECT_EQ(search[69], 0); // the 70th byte a 69-byte reply lacks

    StatusBuffer status;
    status.fill(0xCC);
    ASSERT_EQ(ctx().XGetPServerStatus(e, status), 1);
    EXPECT_EQ(status[HeaderSize], 0x44);
    EXPECT_EQ(status[HeaderSize + 295], 0x44);
    EXPECT_EQ(status[HeaderSize + 296], 0); // nothing stale after a shorter reply
    EXPECT_TRUE(replyAccepted(status, CmdStatus));

    PrinterStatusBuffer printer{};
    ASSERT_EQ(ctx().XGetPrinterStatus(e, printer, 2), 1);
    EXPECT_EQ(printer[PrinterStatusSize - 1], 0x55);
    ASSERT_EQ(ctx().XTestPrint(e, 2), 1);

    // The requests as the box saw them: a 6-byte printer status request and the
    // 485-byte test print, each with its port parameter after the header.
    bool sawPrinter = false, sawTest = false;
    for (const Bytes& r : hand.requests()) {
        if (r[1] == CmdPrinterStatus) {
            EXPECT_EQ(r, (Bytes{0, CmdPrinterStatus, 0xFF, 0xF5, 2, 0}));
            sawPrinter = true;
        }
        if (r[1] == CmdTestPrint) {
            ASSERT_EQ(r.size(), 485u);
            EXPECT_EQ(Bytes(r.begin(), r.begin() + 8), (Bytes{0, CmdTestPrint, 0xFF, 0xF9, 2, 0, 0, 0}));
            sawTest = true;
        }
    }
    EXPECT_TRUE(sawPrinter && sawTest);
    EXPECT_TRUE(m_reporter.messages.empty());
}

TEST_F(IpxOperations, AReplyOfTheRightSizeButTheWrongCommandOrDirectionIsRefused) {
    start({});
    ServerEntry e = CPServerContext::entryFor(HandBoxMac);
    HandBox hand(m_segment, [](const Bytes& req) -> std::vector<Bytes> {
        if (req[1] == CmdReadConfig)
            return {replyOf(CmdWriteConfig, 516)};
        if (req[1] == CmdSearch) {
            Bytes echo = replyOf(CmdSearch, 70);
            echo[0] = 0; // a request, not a reply
            return {echo};
        }
        if (req[1] == CmdWriteConfig)
            return {replyOf(CmdReset, 4)};
        return {};
    });
    ConfigFrame frame{};
    frame.fill(0x66);
    EXPECT_EQ(ctx().XReadPServerEEProm(e, frame), 0);
    EXPECT_EQ(frame[HeaderSize], 0x66);
    Byte search[DiscoveryReplySize]{};
    EXPECT_EQ(ctx().XSearchPS(e, search), 0);
    EXPECT_EQ(ctx().XWritePServerEEProm(e, frame), 0);
    // The write went out once as 516 bytes whose last byte is the XOR of the rest.
    for (const Bytes& r : hand.requests())
        if (r[1] == CmdWriteConfig) {
            ASSERT_EQ(r.size(), 516u);
            Byte x = 0;
            for (std::size_t i = 0; i < 515; ++i)
                x ^= r[i];
            EXPECT_EQ(r[515], x);
        }
}

// ------------------------------------------------------------------ socket failures

TEST_F(IpxOperations, SocketFailuresAreReportedWithEachOperationsOwnTexts) {
    start({});
    // A carrier whose broadcast address is no IPv4 address: socket() fails, EINVAL.
    platform::IpxSegment broken = m_segment;
    broken.broadcast = "no-address";
    ipx::IpxServerContext bad(m_lan->endpoint(), broken, platform::Timing::fast(), m_reporter);
    ServerEntry e = CPServerContext::entryFor(HandBoxMac);
    Byte search[DiscoveryReplySize]{};
    ConfigFrame frame{};
    StatusBuffer status{};
    PrinterStatusBuffer printer{};
    EXPECT_EQ(bad.XSearchPS(e, search), 0);
    EXPECT_EQ(bad.XReadPServerEEProm(e, frame), 0);
    EXPECT_EQ(bad.XWritePServerEEProm(e, frame), 0);
    EXPECT_EQ(bad.XGetPServerStatus(e, status), 0);
    EXPECT_EQ(bad.XResetPServerEEProm(e), 0);
    EXPECT_EQ(bad.XGetPrinterStatus(e, printer, 0), 0);
    EXPECT_EQ(bad.XTestPrint(e, 0), 0);
    EXPECT_EQ(bad.XUpgradeFlashRAM(e, m_dir.file("none.bin"), HandBoxMac, 0, {}, nullptr), 0);
    const std::vector<std::string> expected{
        " 22: XSearchFS-socket() Fail",          " 22: XReadPServerEEProm-socket() Fail",
        " 22: XWritePServerEEProm-socket() Fail", " 22: XGetPServerStatus-socket() Fail",
        " 22: XResetPServerEEProm-socket() Fail", " 22: XGetPrinterStatus-socket() Fail",
        " 22: XTestPrint-socket() Fail",          " 22: XUpgradeFlashRAM-socket() Fail"};
    EXPECT_EQ(m_reporter.messages, expected);

    // The names of the odd texts: the search's option and bind, the test print's bind.
    m_reporter.messages.clear();
    IpxEndpoint holder(m_segment);
    ASSERT_EQ(holder.open(), 0);
    ASSERT_EQ(holder.bind(0x3451), 0);
    using Calls = ipx::IpxServerContext::SocketCalls;
    EXPECT_FALSE(ctx().openSocket(Calls{"XSearchFS", "XSearchFS", "XSearchFS-setsocketopt", "XSearchPS"},
                                  ipx::IpxServerContext::SocketOption::ReuseAddress, 0x3451));
    EXPECT_FALSE(ctx().openSocket(Calls{"XTestPrint", "XTestPrint", nullptr, "XTestPrinting"},
                                  ipx::IpxServerContext::SocketOption::None, 0x3451));
    EXPECT_EQ(m_reporter.messages,
              (std::vector<std::string>{" 98: XSearchPS-bind() Fail", " 98: XTestPrinting-bind() Fail"}));
}

TEST_F(IpxOperations, SendFailureLeavesTheSocketOpenAndAReceiveFailureClosesIt) {
    start({});
    using SocketOption = ipx::IpxServerContext::SocketOption;
    auto s = ctx().openSocket({"T", "T", nullptr, "T"}, SocketOption::None);
    ASSERT_TRUE(s);
    const Byte data[4] = {0, CmdSearch, 0xFF, 0xFB};
    int sent = -1;
    // To every node without the broadcast option: the send is refused (EACCES).
    EXPECT_EQ(ctx().XSendPacket(*s, {{}, platform::IpxBroadcastNode, IpxCommandSocket}, data, 4, sent), 0);
    EXPECT_EQ(sent, 0);
    EXPECT_TRUE(s->isOpen());
    ASSERT_EQ(m_reporter.messages, (std::vector<std::string>{" 13: XSendPacket-send() Fail"}));

    // Nothing came: a receive attempt is 0 bytes, not an error.
    Byte buffer[16];
    int got = -1;
    EXPECT_EQ(ctx().XReceivePacket(*s, buffer, sizeof buffer, got), 1);
    EXPECT_EQ(got, 0);
    EXPECT_TRUE(s->isOpen());

    // A receive on a socket that cannot wait reports and leaves it closed.
    IpxEndpoint never(m_segment);
    EXPECT_EQ(ctx().XReceivePacket(never, buffer, sizeof buffer, got), 0);
    EXPECT_FALSE(never.isOpen());
    EXPECT_EQ(m_reporter.messages.back(), " 9: XReceivePacket-select() Fail");
}

// ------------------------------------------------------------------ the firmware transfer

class IpxFirmware : public IpxOperations {
protected:
    static sim::BoxSpec bareBox() {
        sim::BoxSpec b = testBox("FWIPX", 1);
        b.firmwarePresent = false;
        return b;
    }
    std::string write(const std::string& name, const Bytes& bytes) {
        const std::string path = m_dir.file(name);
        EXPECT_TRUE(sim::writeFile(path, bytes));
        return path;
    }
    Bytes receivedBlock(int n) {
        return box([&](sim::SimBox& b) {
            const auto& img = b.firmwareReceiver().image();
            return Bytes(img.begin() + (n - 1) * 1024, img.begin() + n * 1024);
        });
    }
};

TEST_F(IpxFirmware, ATransferDeliversTheChosenImageAndRefreshesTheEntry) {
    sim::BoxSpec spec = bareBox();
    spec.firmware.order = sim::FirmwarePlan::Order::Shuffled;
    spec.firmware.repeats = 10;
    start({spec});
    ServerEntry e = CPServerContext::entryFor(spec.mac);
    Byte search[DiscoveryReplySize]{};
    ASSERT_EQ(ctx().XSearchPS(e, search), 1);
    std::memcpy(e.identity.data(), search + 4, IdentitySize);
    ASSERT_FALSE(firmwarePresent(e.identity));

    Bytes file = sim::makeFirmwareImage("15", 1, 0);
    const Bytes second = sim::makeFirmwareImage("15", 1, 1);
    file.insert(file.end(), second.begin(), second.end());
    UpgradeResult r;
    std::vector<int> progress;
    ASSERT_EQ(ctx().XUpgradeFlashRAM(e, write("two.bin", file), spec.mac, 1,
                                     [&](int n) { progress.push_back(n); }, &r),
              1)
        << upgradeEndText(r.end);
    EXPECT_EQ(r.end, UpgradeEnd::Completed);
    EXPECT_EQ(r.blocksSent, 448);
    EXPECT_EQ(r.datagramsSent, 448 + 10);
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back(), 448);

    const sim::FirmwareStats stats = box([](sim::SimBox& b) { return b.firmwareStats(); });
    EXPECT_EQ(stats.transfersCompleted, 1);
    EXPECT_EQ(stats.badDatagrams, 0);
    EXPECT_EQ(stats.repeatMismatches, 0);
    for (int n : {1, 2, 300})
        EXPECT_EQ(receivedBlock(n), Bytes(file.begin() + 524288 + (n - 1) * 1024, file.begin() + 524288 + n * 1024))
            << "block " << n;
    // Block 448 took the box's address in its slot, so the box verified it.
    const Bytes last = receivedBlock(448);
    EXPECT_TRUE(std::equal(spec.mac.begin(), spec.mac.end(), last.begin() + 1016));
    EXPECT_TRUE(sim::blockChecks(last));
    EXPECT_TRUE(r.identityRefreshed);
    EXPECT_TRUE(firmwarePresent(e.identity));
    EXPECT_TRUE(m_reporter.messages.empty());
}

TEST_F(IpxFirmware, ABoxWithFirmwareIsShakenHandsWithTwiceAndShowsUpgradeModeAtReplyByte64) {
    sim::BoxSpec spec = bareBox();
    spec.firmwarePresent = true;
    spec.firmware.script = {1, 2, 3};
    // Waiting for the transfer, the box clears reply byte 64 (its server type,
    // identity byte 60) and keeps identity byte 54.
    spec.serverType = 1;
    start({spec});
    ServerEntry e = CPServerContext::entryFor(spec.mac);
    e.identity[identity::FirmwarePresent] = 1;
    UpgradeResult r;
    EXPECT_EQ(ctx().XUpgradeFlashRAM(e, write("one.bin", sim::makeFirmwareImage("15", 1)), spec.mac, 0, {}, &r), 1)
        << upgradeEndText(r.end);
    EXPECT_EQ(box([](sim::SimBox& b) { return b.firmwareStats().handshakes; }), 2);
    EXPECT_EQ(r.blocksSent, 3);
}

TEST_F(IpxFirmware, ABoxWithFirmwareThatDoesNotShowUpgradeModeIsNotUpgraded) {
    sim::BoxSpec spec = bareBox();
    spec.firmwarePresent = true;
    spec.firmware.reportsUpgradeMode = false;
    spec.serverType = 1; // reply byte 64: a server type of 0 would read as upgrade mode
    start({spec});
    ServerEntry e = CPServerContext::entryFor(spec.mac);
    e.identity[identity::FirmwarePresent] = 1;
    UpgradeResult r;
    EXPECT_EQ(ctx().XUpgradeFlashRAM(e, write("one.bin", sim::makeFirmwareImage("15", 1)), spec.mac, 0, {}, &r), 0);
    EXPECT_EQ(r.end, UpgradeEnd::NotInUpgradeMode);
    EXPECT_EQ(r.datagramsSent, 0);
}

TEST_F(IpxFirmware, ABroadcastNodeIsRefusedBeforeAnythingIsSent) {
    start({bareBox()});
    ServerEntry e = CPServerContext::entryFor(platform::IpxBroadcastNode);
    UpgradeResult r;
    EXPECT_EQ(ctx().XUpgradeFlashRAM(e, write("one.bin", sim::makeFirmwareImage("15", 1)), e.ethernet, 0, {}, &r),
              0);
    EXPECT_EQ(r.end, UpgradeEnd::BroadcastAddress);
    EXPECT_EQ(m_reporter.messages, (std::vector<std::string>{"Fatal: The Varnotek has a broadcast address !!!"}));
    EXPECT_EQ(box([](sim::SimBox& b) { return b.firmwareStats().handshakes; }), 0);
}

TEST_F(IpxFirmware, TheFirmwareSocketHeldElsewhereIsABindFailure) {
    start({bareBox()});
    IpxEndpoint holder(m_segment);
    ASSERT_EQ(holder.open(), 0);
    ASSERT_EQ(holder.bind(IpxFirmwareSocket), 0);
    ServerEntry e = CPServerContext::entryFor(bareBox().mac);
    UpgradeResult r;
    EXPECT_EQ(ctx().XUpgradeFlashRAM(e, write("one.bin", sim::makeFirmwareImage("15", 1)), e.ethernet, 0, {}, &r),
              0);
    EXPECT_EQ(r.end, UpgradeEnd::SocketFailed);
    EXPECT_EQ(m_reporter.messages, (std::vector<std::string>{" 98: XUpgradeFlashRAM-bind() Fail"}));
}

TEST_F(IpxFirmware, TheBoxIsSearchedForAfterTheTransferWhateverEndedIt) {
    sim::BoxSpec spec = bareBox();
    spec.faults.firmwareStopAfter = 5; // the box stops asking: the silence ends the transfer
    start({spec});
    ServerEntry e = CPServerContext::entryFor(spec.mac);
    e.identity[identity::FirmwarePresent] = 0;
    std::memcpy(e.identity.data() + identity::ServerName, "STALE", 6);
    UpgradeResult r;
    EXPECT_EQ(ctx().XUpgradeFlashRAM(e, write("one.bin", sim::makeFirmwareImage("15", 1)), spec.mac, 0, {}, &r), 0);
    EXPECT_EQ(r.end, UpgradeEnd::NoRequest);
    EXPECT_EQ(r.blocksSent, 5);
    EXPECT_TRUE(r.identityRefreshed);
    EXPECT_EQ(e.name(), "FWIPX");
    EXPECT_FALSE(firmwarePresent(e.identity)); // the box says it has no firmware now
}

} // namespace
