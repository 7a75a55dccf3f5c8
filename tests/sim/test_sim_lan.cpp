// The simulated LAN: its description file, its non-volatile records, its restarts.
#include "support/sim_fixture.h"

#include "protocol/model_line.h"

#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <set>
#include <thread>

using namespace vnk;
using namespace vnk::protocol;
using vnk::testing::ScratchDir;
using vnk::testing::testBox;

TEST(LanDescription, ReadsEveryKindOfKey) {
    ScratchDir dir;
    dir.write("lan.ini", "[quill]\n"
                         "mac = 00:00:B4:12:33:44\nname = QUILL-1\ndevice = QL123344\nports = 0x0B\n"
                         "capabilities = 0xBF\nmodel = 0x11\nversion = 0x21\nrevision = 0x62\nflags = 0x11\n"
                         "features = 3\nip = 10.1.2.3\nmask = 255.255.0.0\nport2_state = 1\n"
                         "printer1_display = \\r\\nDISPLAY=\"READY\"\\r\\n\nprinter1_id = MFG:X;\n"
                         "fault_ignore = 5, 10\nfault_refuse_write = 1\nrestart_ms = 250\n"
                         "[alder]\nkind = pc\nmac = 00-11-22-33-44-55\n");
    std::string error;
    const auto boxes = sim::loadLanDescription(dir.file("lan.ini"), &error);
    ASSERT_EQ(boxes.size(), 2u) << error;
    const sim::BoxSpec& q = boxes[0];
    EXPECT_EQ(q.mac, (MacAddress{0x00, 0x00, 0xB4, 0x12, 0x33, 0x44}));
    EXPECT_EQ(fieldText(q.record, record::AliasName, 16), "QUILL-1");
    EXPECT_EQ(modelLine(q.record, q.flags61), "3P2S/6B-2.1.11A");
    EXPECT_EQ(q.record[record::IpAddress + 3], 3);
    EXPECT_EQ(q.portStates[1], 1);
    ASSERT_EQ(q.printers.size(), 1u);
    EXPECT_EQ(q.printers[0].display, "\r\nDISPLAY=\"READY\"\r\n");
    EXPECT_EQ(q.faults.ignore, (std::vector<int>{5, 10}));
    EXPECT_TRUE(q.faults.refuseWrites);
    EXPECT_EQ(q.restartDelay.count(), 250);
    EXPECT_EQ(q.record[ChecksumOffset], recordChecksum(q.record));
    EXPECT_TRUE(boxes[1].isPc);
    EXPECT_EQ(boxes[1].deviceType, 1);
}

TEST(LanDescription, ErrorsNameTheSectionAndTheKey) {
    ScratchDir dir;
    auto errorOf = [&](const std::string& text) {
        dir.write("lan.ini", text);
        std::string error;
        EXPECT_TRUE(sim::loadLanDescription(dir.file("lan.ini"), &error).empty());
        return error;
    };
    EXPECT_NE(errorOf("[a]\nname=x\n").find("[a]: mac is missing"), std::string::npos);
    EXPECT_NE(errorOf("[a]\nmac=00:11\n").find("not an Ethernet address"), std::string::npos);
    EXPECT_NE(errorOf("[a]\nmac=00:11:22:33:44:55\nports=300\n").find("[a] ports: bad value"), std::string::npos);
    EXPECT_NE(errorOf("[a]\nmac=00:11:22:33:44:55\ncolour=red\n").find("unknown key"), std::string::npos);
    EXPECT_NE(errorOf("[a]\nmac=00:11:22:33:44:55\nname=SIXTEEN-CHARS-XX\n").find("bad value"),
              std::string::npos);
    std::string error;
    EXPECT_TRUE(sim::loadLanDescription("/nonexistent/lan.ini", &error).empty());
    EXPECT_NE(error.find("cannot read"), std::string::npos);
}

// The lines of an error text.
static std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> out;
    std::size_t from = 0;
    while (from < text.size()) {
        const std::size_t end = std::min(text.find('\n', from), text.size());
        out.push_back(text.substr(from, end - from));
        from = end + 1;
    }
    return out;
}

TEST(LanDescription, EveryMistakeIsReportedWithItsFileLineAndTheExpectedForm) {
    ScratchDir dir;
    dir.write("lan.ini", "; two boxes, five mistakes\n"          // 1
                         "[quill]\n"                             // 2
                         "mac = 00:00:B4:12:33:44\n"             // 3
                         "fault_ignore = reset, reboot\n"        // 4
                         "ports = 0x1FF\n"                       // 5
                         "\n"                                    // 6
                         "[marten]\n"                            // 7
                         "mac = 00:00:B4:02:10:01\n"             // 8
                         "fault_drop = half\n"                   // 9
                         "just some words\n"                     // 10
                         "Fault_Drop = 0.5\n"                    // 11
                         "[Quill]\n"                             // 12
                         "mac = 00:00:B4:99:99:99\n");           // 13
    const std::string f = dir.file("lan.ini");
    std::string error;
    EXPECT_TRUE(sim::loadLanDescription(f, &error).empty());
    const auto lines = linesOf(error);
    ASSERT_EQ(lines.size(), 6u) << error;
    EXPECT_EQ(lines[0], f + ":4: [quill] fault_ignore: bad value \"reset, reboot\"; expected commands separated by "
                            "commas, each a name (reset, read, write, search, status, testprint, firmware, "
                            "printerstatus) or a code 0-255");
    EXPECT_EQ(lines[1], f + ":5: [quill] ports: bad value \"0x1FF\"; expected a number 0-255");
    EXPECT_EQ(lines[2].rfind(f + ":9: [marten] fault_drop: bad value \"half\"; expected a chance from 0 to 1", 0), 0u)
        << lines[2];
    EXPECT_EQ(lines[3], f + ":10: expected key = value, not \"just some words\"");
    EXPECT_EQ(lines[4], f + ":11: [marten] Fault_Drop: given twice in this section (first on line 9)");
    EXPECT_EQ(lines[5].rfind(f + ":12: [Quill]: a second section of this name (the first is on line 2)", 0), 0u)
        << lines[5];
}

TEST(LanDescription, TwoBoxesWithOneAddressAreRefused) {
    ScratchDir dir;
    dir.write("lan.ini", "[quill]\nmac = 00:00:B4:12:33:44\n[marten]\nname = M\nmac = 00-00-b4-12-33-44\n"
                         "[alder]\nkind = pc\nmac = 00:11:22:33:44:55\n");
    std::string error;
    EXPECT_TRUE(sim::loadLanDescription(dir.file("lan.ini"), &error).empty());
    EXPECT_EQ(error, dir.file("lan.ini") + ":5: [marten] mac: 00:00:B4:12:33:44 is already the address of [quill] "
                                           "on line 2; every box needs an address of its own");
    // The same file with one address changed loads whole.
    dir.write("lan.ini", "[quill]\nmac = 00:00:B4:12:33:44\n[marten]\nname = M\nmac = 00-00-b4-12-33-45\n");
    EXPECT_EQ(sim::loadLanDescription(dir.file("lan.ini"), &error).size(), 2u) << error;
    // A third holder of the address is named against the first alone, so that
    // a file giving one address to every section gets one line per section.
    dir.write("lan.ini", "[a]\nmac = 00:00:B4:12:33:44\n[b]\nmac = 00:00:B4:12:33:44\n[c]\nmac = 00:00:B4:12:33:44\n");
    EXPECT_TRUE(sim::loadLanDescription(dir.file("lan.ini"), &error).empty());
    EXPECT_EQ(error, dir.file("lan.ini") + ":4: [b] mac: 00:00:B4:12:33:44 is already the address of [a] on line 2; "
                                           "every box needs an address of its own\n" +
                         dir.file("lan.ini") + ":6: [c] mac: 00:00:B4:12:33:44 is already the address of [a] on line "
                                               "2; every box needs an address of its own");
}

TEST(LanDescription, WhatIsNotAReadableFileIsRefusedByName) {
    ScratchDir dir;
    std::string error;
    EXPECT_TRUE(sim::loadLanDescription(dir.path(), &error).empty());
    EXPECT_EQ(error, "the LAN description " + dir.path() + " is a directory; give the file itself");

    dir.write("empty.ini", "; nothing yet\n");
    EXPECT_TRUE(sim::loadLanDescription(dir.file("empty.ini"), &error).empty());
    EXPECT_NE(error.find(" has no box"), std::string::npos) << error;

    // A file far too long is not read at all.
    dir.write("huge.ini", "[a]\nmac = 00:11:22:33:44:55\n" + std::string(std::size_t(2) << 20, ';') + "\n");
    EXPECT_TRUE(sim::loadLanDescription(dir.file("huge.ini"), &error).empty());
    EXPECT_NE(error.find("longer than 1048576 bytes"), std::string::npos) << error;
}

TEST(LanDescription, AnUnreadableFileIsRefusedWithTheReason) {
    ScratchDir dir;
    std::string error;
    dir.write("locked.ini", "[a]\nmac = 00:11:22:33:44:55\n");
    std::filesystem::permissions(dir.file("locked.ini"), std::filesystem::perms::none);
    if (::access(dir.file("locked.ini").c_str(), R_OK) == 0)
        GTEST_SKIP() << "running with the right to read any file: the unreadable case cannot be made";
    EXPECT_TRUE(sim::loadLanDescription(dir.file("locked.ini"), &error).empty());
    EXPECT_EQ(error, "cannot read the LAN description " + dir.file("locked.ini") + ": Permission denied");
}

TEST(LanDescription, CommandsToIgnoreGoByNameOrCodeAndNumbersAreDecimalOrHex) {
    ScratchDir dir;
    dir.write("lan.ini", "[a]\nmac = 00:11:22:33:44:55\nfault_ignore = Reset, testprint ,printerstatus, 2\n"
                         "model = 021\nversion = 0x21\nfault_drop = 0.25\n");
    std::string error;
    const auto boxes = sim::loadLanDescription(dir.file("lan.ini"), &error);
    ASSERT_EQ(boxes.size(), 1u) << error;
    EXPECT_EQ(boxes[0].faults.ignore, (std::vector<int>{CmdReset, CmdTestPrint, CmdPrinterStatus, CmdReadConfig}));
    EXPECT_EQ(boxes[0].record[record::ModelCode], 21); // not octal
    EXPECT_EQ(boxes[0].record[record::Version], 0x21);
    EXPECT_EQ(boxes[0].faults.drop, 0.25);
    for (const char* bad : {"fault_ignore = reset,", "fault_ignore = 256", "model = 0x", "model = -1",
                            "fault_drop = nan", "restart_ms = 600001"}) {
        dir.write("lan.ini", std::string("[a]\nmac = 00:11:22:33:44:55\n") + bad + "\n");
        EXPECT_TRUE(sim::loadLanDescription(dir.file("lan.ini"), &error).empty()) << bad;
        EXPECT_NE(error.find(":3: [a] "), std::string::npos) << error;
    }
}

TEST(DemoLan, HoldsDifferentModelsAndAPc) {
    const auto lan = sim::demoLan();
    ASSERT_GE(lan.size(), 5u);
    std::set<std::string> models;
    bool pc = false, withoutFirmware = false, full = false, small = false;
    for (const auto& b : lan) {
        if (b.isPc) {
            pc = true;
            continue;
        }
        models.insert(modelLine(b.record, b.flags61));
        withoutFirmware |= !b.firmwarePresent;
        full |= parallelPorts(b.record) == 3 && serialPorts(b.record) == 2 && b.record[record::Capabilities] == 0xBF;
        small |= parallelPorts(b.record) == 1 && b.record[record::Capabilities] == record::CapTcpIp;
    }
    EXPECT_GE(models.size(), 4u);
    EXPECT_TRUE(pc && withoutFirmware && full && small);
}

TEST(SimLan, RefusesABroadcastAddressOffLoopback) {
    sim::LanOptions o;
    o.broadcast = "192.168.1.255";
    sim::SimLan lan(o);
    std::string error;
    EXPECT_FALSE(lan.start(&error));
    EXPECT_NE(error.find("127.0.0.0/8"), std::string::npos);
}

TEST(SimBox, AnswersOnlyRequestsWithTheRightLengthAndBytesEightAndNine) {
    const sim::BoxSpec spec = testBox("STRICT", 1);
    sim::SimBox box(spec, "");
    auto now = sim::Clock::now();
    const std::pair<Command, std::size_t> lengths[] = {
        {CmdReset, 10},         {CmdReadConfig, 10}, {CmdWriteConfig, 522}, {CmdSearch, 10},
        {CmdStatus, 10},        {CmdTestPrint, 10},  {CmdFirmware, 10},     {CmdPrinterStatus, 12}};
    for (const auto& [cmd, length] : lengths) {
        SCOPED_TRACE(int(cmd));
        std::vector<Byte> req(length);
        buildHeader(req, spec.mac, cmd);
        if (cmd == CmdWriteConfig)
            std::memcpy(req.data() + HeaderSize, spec.record.data(), RecordSize);
        auto longer = req, shorter = req, byte8 = req, byte9 = req;
        longer.push_back(0);
        shorter.pop_back();
        byte8[8] = 0xFE;
        byte9[9] ^= 0x01;
        for (const auto* bad : {&longer, &shorter, &byte8, &byte9})
            EXPECT_TRUE(box.handle(*bad, now).empty());
        const auto replies = box.handle(req, now);
        ASSERT_EQ(replies.size(), 1u);
        EXPECT_EQ(replies[0].bytes[7], cmd);
        now += std::chrono::hours(1); // a reset's restart is over
    }
    std::vector<Byte> unknown(HeaderSize);
    buildHeader(unknown, spec.mac, 8);
    EXPECT_TRUE(box.handle(unknown, now).empty());
}

namespace {
class SimBoxTest : public vnk::testing::SimLanTest {};
} // namespace

TEST_F(SimBoxTest, RecordsOutliveTheSimulatorInItsStateDirectory) {
    vnk::testing::ScratchDir state;
    sim::LanOptions o;
    o.stateDirectory = state.path() + "/nv";
    startLan({testBox("KEEPER", 1)}, o);
    ctx().XGetPort();
    ServerEntry& e = ctx().serverTable[0];
    ASSERT_EQ(ctx().XReadPServerEEProm(e, ctx().configBuffer), 1);
    recordOf(ctx().configBuffer)[record::SnmpLocation] = 'R';
    ASSERT_EQ(ctx().XWritePServerEEProm(e, ctx().configBuffer), 1);
    m_lan.reset();
    // The record holds a password: its file is the owner's only, and no temporary file is left.
    const std::vector<std::filesystem::directory_entry> files(std::filesystem::directory_iterator(o.stateDirectory),
                                                              {});
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].status().permissions(),
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);

    sim::SimLan again(o);
    again.addBox(testBox("KEEPER", 1));
    EXPECT_EQ(again.withBox(0, [](sim::SimBox& b) { return b.storedRecord()[record::SnmpLocation]; }), 'R');
}

TEST_F(SimBoxTest, ABoxIsSilentWhileItRestartsAndTakesItsNewNameAfterwards) {
    auto b = testBox("BEFORE", 1);
    b.restartDelay = std::chrono::milliseconds(400);
    startLan({b});
    ctx().XGetPort();
    ServerEntry& e = ctx().serverTable[0];
    ASSERT_EQ(ctx().XReadPServerEEProm(e, ctx().configBuffer), 1);
    std::memcpy(&recordOf(ctx().configBuffer)[record::AliasName], "AFTER", 6);
    ASSERT_EQ(ctx().XWritePServerEEProm(e, ctx().configBuffer), 1);
    Byte reply[DiscoveryReplySize];
    ASSERT_EQ(ctx().XSearchPS(e, reply), 1);
    EXPECT_EQ(fieldText(std::span<const Byte>(reply, sizeof reply), 18, 46), "BEFORE"); // written, not yet in use
    ASSERT_EQ(ctx().XResetPServerEEProm(e), 1);
    EXPECT_EQ(ctx().XSearchPS(e, reply), 0); // 20 attempts of 10 ms: still restarting
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    ASSERT_EQ(ctx().XSearchPS(e, reply), 1);
    EXPECT_EQ(fieldText(std::span<const Byte>(reply, sizeof reply), 18, 46), "AFTER");
}

TEST_F(SimBoxTest, ADamagedRecordIsRefusedAndTheHardwareBytesStay) {
    startLan({testBox("GUARD", 1, 0x05, 0x19)});
    ctx().XGetPort();
    ServerEntry& e = ctx().serverTable[0];
    ConfigFrame frame{};
    ASSERT_EQ(ctx().XReadPServerEEProm(e, frame), 1);
    auto rec = recordOf(frame);
    rec[record::Capabilities] = 0xFF; // a tool cannot give a box capabilities
    ASSERT_EQ(ctx().XWritePServerEEProm(e, frame), 1);
    EXPECT_EQ(lan().withBox(0, [](sim::SimBox& b) { return b.storedRecord()[record::Capabilities]; }), 0x19);

    // A frame whose checksum is wrong on the wire is ignored by the box.
    const int s = ctx().openOperationSocket("test", true);
    buildHeader(frame, e.ethernet, CmdWriteConfig);
    frame[521] ^= 0xFF;
    int sent = 0;
    ASSERT_EQ(ctx().XSendPacket(s, frame.data(), frame.size(), sent), 1);
    platform::closeSocket(s);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(lan().withBox(0, [](sim::SimBox& b) { return b.badChecksumWrites; }), 1);
}

// Replies of a box with a reorder window leave in an order of their own; without
// one they leave in the order the requests came. The printer status reply names
// the port asked for, so the order shows.
TEST_F(SimBoxTest, RepliesOvertakeEachOtherOnlyWithinAReorderWindow) {
    auto late = testBox("LATE", 2);
    late.faults.reorderMs = 60;
    startLan({testBox("PROMPT", 1), late});
    for (int box = 0; box < 2; ++box) {
        SCOPED_TRACE(box);
        const MacAddress mac = lan().withBox(box, [](sim::SimBox& b) { return b.spec().mac; });
        const int s = ctx().openOperationSocket("test", true);
        ASSERT_GE(s, 0);
        constexpr int Count = 20;
        for (int port = 0; port < Count; ++port) {
            Byte request[PrinterStatusRequestSize];
            buildHeader(request, mac, CmdPrinterStatus);
            putLE16(request, HeaderSize, std::uint16_t(port));
            int sent = 0;
            ASSERT_EQ(ctx().XSendPacket(s, request, sizeof request, sent), 1);
        }
        std::vector<int> order;
        Byte reply[PrinterStatusSize];
        while (order.size() < Count &&
               platform::waitReadable(s, std::chrono::milliseconds(500)) == platform::WaitResult::Ready)
            if (platform::receiveDatagram(s, reply, sizeof reply) == ssize_t(sizeof reply))
                order.push_back(getLE16(std::span<const Byte>(reply), HeaderSize));
        platform::closeSocket(s);
        ASSERT_EQ(order.size(), std::size_t(Count)); // late, but none lost
        EXPECT_EQ(std::is_sorted(order.begin(), order.end()), box == 0);
        std::sort(order.begin(), order.end());
        EXPECT_EQ(std::adjacent_find(order.begin(), order.end()), order.end());
    }
}
