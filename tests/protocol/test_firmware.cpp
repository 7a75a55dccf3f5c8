// Firmware upgrade: the Upgrade page's file rules, and the block transfer against
// simulated boxes on loopback.
#include "protocol/firmware.h"
#include "sim/sim_firmware.h"
#include "support/sim_fixture.h"

#include <sys/stat.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <iterator>

using namespace vnk;
using namespace vnk::protocol;
using vnk::testing::ScratchDir;
using vnk::testing::testBox;

namespace {

using Bytes = std::vector<Byte>;

Bytes concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const auto& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

Bytes readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

Bytes imageWithMask(std::uint16_t mask, Byte seed = 0) {
    return sim::makeFirmwareImage("15", mask, seed);
}

ConfigRecord recordWith(Byte model, Byte version, Byte revision) {
    ConfigRecord rec{};
    rec[record::ModelCode] = model;
    rec[record::Version] = version;
    rec[record::Revision] = revision;
    return rec;
}

// ------------------------------------------------------------------ page rules

TEST(FirmwarePage, ModelCodeIsTheLowByteOfTheWordAt504InUpperCaseHex) {
    EXPECT_EQ(modelCodeDigits(recordWith(0x1A, 0x21, 0x62)), "1A");
    EXPECT_EQ(modelCodeDigits(recordWith(0x05, 0xFF, 0x62)), "05");
}

TEST(FirmwarePage, DefaultFileNameFollowsTheModelTable) {
    const std::pair<const char*, const char*> table[] = {
        {"11", "QUILL.BIN"},   {"12", "MARTEN.BIN"},  {"13", "GANNET1.BIN"}, {"14", "BITTERN.BIN"},
        {"15", "GANNET5.BIN"}, {"16", "GANNET6.BIN"}, {"31", "CURLEW1.BIN"}, {"32", "CURLEW2.BIN"},
        {"21", "FW21IMG.BIN"}, {"10", "FW10IMG.BIN"}, {"17", "FW17IMG.BIN"}, {"33", "FW33IMG.BIN"},
        {"1A", "FW1AIMG.BIN"}, {"61", "FW61IMG.BIN"}};
    for (const auto& [digits, name] : table)
        EXPECT_EQ(defaultFirmwareFileName(digits), name) << digits;
    EXPECT_EQ(defaultFirmwarePath("/home/op/Fw/", "11"), "/home/op/Fw/QUILL.BIN");
}

TEST(FirmwarePage, UdpUpgradeNeedsRevisionNibbleSixOrMore) {
    EXPECT_FALSE(supportsUdpUpgrade(recordWith(0x11, 0, 0x5F)));
    EXPECT_TRUE(supportsUdpUpgrade(recordWith(0x11, 0, 0x60)));
    EXPECT_TRUE(supportsUdpUpgrade(recordWith(0x11, 0, 0xF0)));
    EXPECT_EQ(noIpUpgradeText("QUILL"), "'QUILL' do NOT support IP upgrade!!!");
}

TEST(FirmwarePage, TypeButtonsShowOnlyForTwoOrThreeImages) {
    const TypeButtons none{}, two{true, true, false}, three{true, true, true};
    EXPECT_EQ(imageCount(1048576), 2);
    EXPECT_EQ(visibleTypeButtons(imageCount(1048576)), two);
    EXPECT_EQ(visibleTypeButtons(imageCount(1572864)), three);
    EXPECT_EQ(imageCount(524288), 1);
    EXPECT_EQ(visibleTypeButtons(imageCount(524288)), none);
    EXPECT_EQ(imageCount(2097152), 4);
    EXPECT_EQ(visibleTypeButtons(imageCount(2097152)), none);
    EXPECT_EQ(imageCount(300000), 0);
    EXPECT_EQ(imageCount(524289), 0);
}

TEST(FirmwarePage, ProtocolTextHasAHeaderForAnyBitAndLinesForBitsZeroToEight) {
    EXPECT_EQ(protocolMaskText(0), "");
    EXPECT_EQ(protocolMaskText(0x1000), "Printing Protocol Support:\n\n");
    EXPECT_EQ(protocolMaskText(0x0101 | 0x8000),
              "Printing Protocol Support:\n\n   TCP/IP printing\n\n   AppleTalk printing\n\n");
    EXPECT_EQ(protocolMaskText(0x0028), "Printing Protocol Support:\n\n   IPX printing\n\n"
                                        "   NetWare Bindery printing\n\n");
    EXPECT_EQ(protocolMaskText(0x0008, ChineseProtocolTexts), "列印通訊協定支援:\n\n   IPX 列印\n\n");
}

class FirmwareFiles : public ::testing::Test {
protected:
    std::string write(const std::string& name, const Bytes& bytes) {
        const std::string path = m_dir.file(name);
        EXPECT_TRUE(sim::writeFile(path, bytes));
        return path;
    }
    ScratchDir m_dir;
};

TEST_F(FirmwareFiles, ProtocolMaskIsReadFromTheChosenImage) {
    Bytes second = imageWithMask(0x0100, 1);
    const std::string two = write("two.bin", concat({imageWithMask(0x0001), second}));
    EXPECT_EQ(readProtocolMask(two, 0), 0x0001);
    EXPECT_EQ(readProtocolMask(two, 1), 0x0100);
    FileCheck error = FileCheck::FormatWrong;
    EXPECT_EQ(readProtocolMask(two, 2, &error), std::nullopt); // no third image
    EXPECT_EQ(error, FileCheck::Accepted);

    second[17] = 'X';
    const std::string unmarked = write("unmarked.bin", concat({imageWithMask(0x0001), second}));
    EXPECT_EQ(readProtocolMask(unmarked, 1), std::nullopt);

    EXPECT_EQ(readProtocolMask(m_dir.file("missing.bin"), 0, &error), std::nullopt);
    EXPECT_EQ(error, FileCheck::FileNotFound);
}

TEST_F(FirmwareFiles, BrowseAnalysesImagesUntilAnOddSizedFileTurnsChecksOff) {
    bool checks = true;
    const BrowseResult two = browseFirmwareFile(write("two.bin", concat({imageWithMask(0x0001), imageWithMask(0)})), checks);
    EXPECT_TRUE(two.analysed);
    EXPECT_EQ(two.imageCount, 2);
    EXPECT_EQ(two.buttons, (TypeButtons{true, true, false}));
    EXPECT_EQ(two.protocolText, "Printing Protocol Support:\n\n   TCP/IP printing\n\n");
    EXPECT_TRUE(checks);

    const BrowseResult four = browseFirmwareFile(
        write("four.bin", concat({imageWithMask(1), imageWithMask(1), imageWithMask(1), imageWithMask(1)})), checks);
    EXPECT_EQ(four.imageCount, 4);
    EXPECT_EQ(four.buttons, TypeButtons{});
    EXPECT_EQ(four.typeIndex, 0);

    Bytes odd = imageWithMask(0x0004);
    odd.resize(300000);
    const BrowseResult shortFile = browseFirmwareFile(write("odd.bin", odd), checks);
    EXPECT_TRUE(shortFile.analysed);
    EXPECT_EQ(shortFile.imageCount, 0);
    EXPECT_FALSE(checks);

    // Until the page is activated again a correct file is only taken by name.
    const BrowseResult after = browseFirmwareFile(write("one.bin", imageWithMask(0x0001)), checks);
    EXPECT_FALSE(after.analysed);
    EXPECT_EQ(after.protocolText, "");
    EXPECT_FALSE(checks);

    checks = true;
    EXPECT_EQ(browseFirmwareFile(m_dir.file("missing.bin"), checks).file, FileCheck::FileNotFound);
}

TEST_F(FirmwareFiles, UpgradeCheckLooksAtVendorAndModelOfTheSelectedImage) {
    Bytes second = imageWithMask(1, 1);
    std::memcpy(&second[6], "Torvil", 6);
    const std::string path = write("fw.bin", concat({imageWithMask(1), second}));
    EXPECT_EQ(checkFirmwareFile(path, 0, "15", true), FileCheck::Accepted);
    EXPECT_EQ(checkFirmwareFile(path, 1, "15", true), FileCheck::FormatWrong);
    EXPECT_EQ(checkFirmwareFile(path, 2, "15", true), FileCheck::FormatWrong); // no third image
    EXPECT_EQ(checkFirmwareFile(path, 0, "16", true), FileCheck::FormatWrong);

    const std::string lower = write("lower.bin", sim::makeFirmwareImage("1a", 1));
    EXPECT_EQ(checkFirmwareFile(lower, 0, "1A", true), FileCheck::FormatWrong);
    EXPECT_EQ(checkFirmwareFile(write("upper.bin", sim::makeFirmwareImage("1A", 1)), 0, "1A", true),
              FileCheck::Accepted);
}

TEST_F(FirmwareFiles, UncheckedFilesNeedOnlyHoldTheBlocksTheBoxAsksFor) {
    const Bytes blocks448(448 * 1024, 0x55);
    const std::string junk = write("junk.bin", blocks448);
    EXPECT_EQ(checkFirmwareFile(junk, 0, "15", true), FileCheck::FormatWrong);
    EXPECT_EQ(checkFirmwareFile(junk, 0, "15", false), FileCheck::Accepted);
    const std::string oneShort = write("short.bin", Bytes(blocks448.begin(), blocks448.end() - 1));
    EXPECT_EQ(checkFirmwareFile(oneShort, 0, "15", false), FileCheck::FormatWrong);
    EXPECT_EQ(checkFirmwareFile(write("tiny.bin", Bytes(100, 0x55)), 0, "15", false), FileCheck::FormatWrong);
    EXPECT_EQ(checkFirmwareFile(write("empty.bin", {}), 0, "15", false), FileCheck::FormatWrong);
    // The blocks are counted from the chosen image.
    const std::string second = write("second.bin", concat({imageWithMask(1), blocks448}));
    EXPECT_EQ(checkFirmwareFile(second, 1, "15", false), FileCheck::Accepted);
    EXPECT_EQ(checkFirmwareFile(second, 2, "15", false), FileCheck::FormatWrong);
    EXPECT_EQ(checkFirmwareFile(m_dir.file("missing.bin"), 0, "15", false), FileCheck::FileNotFound);
    EXPECT_EQ(fileErrorFromErrno(EIO), FileCheck::DiskReadError);
    EXPECT_EQ(fileCheckText(FileCheck::FileNotFound), "File not found");
    EXPECT_EQ(fileCheckText(FileCheck::DiskReadError), "Disk Read error");
    EXPECT_EQ(fileCheckText(FileCheck::UnknownFileError), "Unknown File error");
    EXPECT_EQ(fileCheckText(FileCheck::FormatWrong), "File Format is not correct !!!");
}

TEST_F(FirmwareFiles, OnlyARegularFileIsFirmwareAndAPipeIsNeverWaitedOn) {
    const std::string pipe = m_dir.file("pipe.bin");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    for (bool checks : {true, false}) {
        EXPECT_EQ(checkFirmwareFile(pipe, 0, "15", checks), FileCheck::FormatWrong);
        EXPECT_EQ(checkFirmwareFile(m_dir.path(), 0, "15", checks), FileCheck::FormatWrong);
    }
    // Browse takes the name only and leaves the checks as they were.
    bool checks = true;
    const BrowseResult b = browseFirmwareFile(pipe, checks);
    EXPECT_EQ(b.file, FileCheck::Accepted);
    EXPECT_FALSE(b.analysed);
    EXPECT_TRUE(checks);
    FileCheck error = FileCheck::FormatWrong;
    EXPECT_EQ(readProtocolMask(pipe, 0, &error), std::nullopt);
    EXPECT_EQ(error, FileCheck::Accepted);
}

TEST(FirmwareBlock448, AddressGoesInOnlyForVarnotekAddressesAndAnEmptySlot) {
    const Bytes image = sim::makeFirmwareImage("15", 1);
    std::array<Byte, firmware::BlockSize> original{};
    std::memcpy(original.data(), &image[447 * 1024], 1024);
    ASSERT_TRUE(sim::blockChecks(original));

    const MacAddress yes{0x00, 0x00, 0xB4, 0x12, 0x33, 0x44};
    auto block = original;
    ASSERT_TRUE(insertEthernetAddress(block, yes));
    EXPECT_TRUE(std::equal(yes.begin(), yes.end(), block.begin() + 1016));
    EXPECT_TRUE(sim::blockChecks(block)) << "check byte not kept consistent";
    EXPECT_TRUE(std::equal(block.begin(), block.begin() + 1016, original.begin()));
    EXPECT_EQ(block[1022], original[1022]);

    const MacAddress refused[] = {{0x00, 0x00, 0xB4, 0x02, 0x33, 0x44}, {0x00, 0x00, 0xB4, 0x12, 0x03, 0x44},
                                  {0x00, 0x00, 0xB4, 0x12, 0x33, 0x04}, {0x00, 0x00, 0xB5, 0x12, 0x33, 0x44},
                                  {0x02, 0x00, 0xB4, 0x12, 0x33, 0x44}};
    for (const auto& mac : refused) {
        block = original;
        EXPECT_FALSE(insertEthernetAddress(block, mac)) << macText(mac);
        EXPECT_EQ(block, original);
    }

    auto used = original;
    used[1019] = 0x01;
    block = used;
    EXPECT_FALSE(insertEthernetAddress(block, yes));
    EXPECT_EQ(block, used);
}

// ------------------------------------------------------------------ the transfer

class FirmwareTransfer : public vnk::testing::SimLanTest {
protected:
    // Starts a LAN with one box and selects it the way the General page does.
    ServerEntry& startWith(const sim::BoxSpec& box) {
        startLan({box});
        EXPECT_EQ(ctx().XGetPort(), 1);
        EXPECT_EQ(ctx().serverCount, 1);
        ctx().selectedIndex = 0;
        EXPECT_EQ(ctx().XReadPServerEEProm(ctx().serverTable[0], ctx().configBuffer), 1);
        return ctx().serverTable[0];
    }
    MacAddress recordEthernet() {
        MacAddress m{};
        std::memcpy(m.data(), recordOf(ctx().configBuffer).data() + record::EthernetAddress, 6);
        return m;
    }
    int upgrade(ServerEntry& e, const std::string& path, int type, UpgradeResult& r,
                std::vector<int>* progress = nullptr) {
        return XUpgradeFlashRAM(ctx(), e, path, recordEthernet(), type,
                                [&](int n) {
                                    if (progress)
                                        progress->push_back(n);
                                },
                                &r);
    }
    template <class F> auto box(F f) {
        return lan().withBox(0, [&](sim::SimBox& b) { return f(b); });
    }
    std::string write(const std::string& name, const Bytes& bytes) {
        const std::string path = m_dir.file(name);
        EXPECT_TRUE(sim::writeFile(path, bytes));
        return path;
    }
    static sim::BoxSpec bareBox(MacAddress mac = {0x00, 0x00, 0xB4, 0x55, 0x00, 0x01}) {
        sim::BoxSpec b = testBox("FWBOX", 1);
        b.mac = mac;
        sim::setHardware(b.record, mac, 0x01, record::CapTcpIp, 0x15, 0x21, 0x62);
        setRecordChecksum(b.record);
        b.firmwarePresent = false;
        return b;
    }
    // Block n (1-based) as the box kept it.
    Bytes receivedBlock(int n) {
        return box([&](sim::SimBox& b) {
            const auto& img = b.firmwareReceiver().image();
            return Bytes(img.begin() + (n - 1) * 1024, img.begin() + n * 1024);
        });
    }
    static Bytes blockOf(const Bytes& file, int type, int n) {
        const auto at = std::ptrdiff_t(type) * 524288 + (n - 1) * 1024;
        return Bytes(file.begin() + at, file.begin() + at + 1024);
    }
};

TEST_F(FirmwareTransfer, ShuffledTransferWithRepeatsDeliversTheChosenImageAndRefreshesTheEntry) {
    sim::BoxSpec spec = bareBox();
    spec.firmware.order = sim::FirmwarePlan::Order::Shuffled;
    spec.firmware.repeats = 25;
    ServerEntry& e = startWith(spec);
    ASSERT_FALSE(firmwarePresent(e.identity));
    const Bytes file = concat({sim::makeFirmwareImage("15", 1, 0), sim::makeFirmwareImage("15", 1, 1)});
    const std::string path = write("two.bin", file);

    UpgradeResult r;
    std::vector<int> progress;
    ASSERT_EQ(upgrade(e, path, 1, r, &progress), 1) << upgradeEndText(r.end);
    EXPECT_EQ(r.end, UpgradeEnd::Completed);
    EXPECT_EQ(r.blocksSent, 448);
    EXPECT_EQ(r.datagramsSent, 448 + 25);
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back(), 448);
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));

    const sim::FirmwareStats stats = box([](sim::SimBox& b) { return b.firmwareStats(); });
    EXPECT_EQ(stats.transfersCompleted, 1);
    EXPECT_EQ(stats.repeatsChecked, 25);
    EXPECT_EQ(stats.repeatMismatches, 0);
    EXPECT_EQ(stats.badDatagrams, 0);
    EXPECT_EQ(stats.handshakes, 1); // a box without firmware starts at once
    for (int n : {1, 2, 100, 447})
        EXPECT_EQ(receivedBlock(n), blockOf(file, 1, n)) << "block " << n;
    EXPECT_TRUE(box([](sim::SimBox& b) { return b.firmwarePresent(); }));
    EXPECT_EQ(readAll(path), file);

    // The final search gave the entry the box's fresh identity.
    EXPECT_TRUE(r.identityRefreshed);
    EXPECT_TRUE(firmwarePresent(e.identity));
    EXPECT_EQ(e.identity[identity::UpgradeState], 1);

    // What the page does after "Upgrade Succeed !!!".
    ctx().configBuffer.fill(0);
    EXPECT_EQ(rereadAfterUpgrade(ctx(), e), Reread::Ok);
    EXPECT_EQ(recordEthernet(), spec.mac);
    EXPECT_EQ(ctx().statusBuffer[7], CmdStatus);
    EXPECT_TRUE(m_reporter.messages.empty());
}

TEST_F(FirmwareTransfer, BoxWithFirmwareIsTakenIntoUpgradeModeBeforeTheTransfer) {
    sim::BoxSpec spec = bareBox();
    spec.firmwarePresent = true;
    spec.firmware.script = {1, 2, 3};
    ServerEntry& e = startWith(spec);
    ASSERT_TRUE(firmwarePresent(e.identity));
    const std::string path = write("one.bin", sim::makeFirmwareImage("15", 1));
    UpgradeResult r;
    EXPECT_EQ(upgrade(e, path, 0, r), 1) << upgradeEndText(r.end);
    EXPECT_EQ(box([](sim::SimBox& b) { return b.firmwareStats().handshakes; }), 2);
    EXPECT_EQ(r.blocksSent, 3);
}

TEST_F(FirmwareTransfer, BoxWithFirmwareThatDoesNotShowUpgradeModeIsNotUpgraded) {
    sim::BoxSpec spec = bareBox();
    spec.firmwarePresent = true;
    spec.firmware.reportsUpgradeMode = false;
    ServerEntry& e = startWith(spec);
    UpgradeResult r;
    EXPECT_EQ(upgrade(e, write("one.bin", sim::makeFirmwareImage("15", 1)), 0, r), 0);
    EXPECT_EQ(r.end, UpgradeEnd::NotInUpgradeMode);
    EXPECT_EQ(r.datagramsSent, 0);
}

TEST_F(FirmwareTransfer, TenByteHandshakeRepliesAreAsGoodAsTwelve) {
    sim::BoxSpec spec = bareBox();
    spec.firmwarePresent = true; // two handshakes
    spec.firmware.handshakeReplySize = 10;
    spec.firmware.script = {5, 6};
    ServerEntry& e = startWith(spec);
    UpgradeResult r;
    EXPECT_EQ(upgrade(e, write("one.bin", sim::makeFirmwareImage("15", 1)), 0, r), 1) << upgradeEndText(r.end);
    EXPECT_EQ(box([](sim::SimBox& b) { return b.firmwareStats().order; }), (std::vector<int>{5, 6, 449}));
}

TEST_F(FirmwareTransfer, RepeatedBlockIsAnsweredWithTheSameBytes) {
    sim::BoxSpec spec = bareBox();
    spec.firmware.script = {1, 3, 2, 3, 4};
    ServerEntry& e = startWith(spec);
    const Bytes file = sim::makeFirmwareImage("15", 1);
    UpgradeResult r;
    ASSERT_EQ(upgrade(e, write("one.bin", file), 0, r), 1) << upgradeEndText(r.end);
    const sim::FirmwareStats stats = box([](sim::SimBox& b) { return b.firmwareStats(); });
    EXPECT_EQ(stats.repeatsChecked, 1);
    EXPECT_EQ(stats.repeatMismatches, 0);
    EXPECT_EQ(receivedBlock(3), blockOf(file, 0, 3));
    EXPECT_EQ(r.datagramsSent, 5);
    EXPECT_EQ(r.blocksSent, 4);
}

TEST_F(FirmwareTransfer, Block448CarriesTheRecordAddressOnlyWhenItQualifies) {
    const Bytes plain = sim::makeFirmwareImage("15", 1);
    Bytes usedSlot = plain;
    const std::size_t slot = 447 * 1024 + 1016;
    usedSlot[slot + 2] = 0x77;
    usedSlot[447 * 1024 + 1023] ^= 0x77; // still a valid image

    struct Case {
        MacAddress mac;
        const Bytes* file;
        bool inserted;
    };
    const Case cases[] = {{{0x00, 0x00, 0xB4, 0x12, 0x33, 0x44}, &plain, true},
                          {{0x00, 0x00, 0xB4, 0x02, 0x33, 0x44}, &plain, false},
                          {{0x00, 0x00, 0xB4, 0x12, 0x33, 0x44}, &usedSlot, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(macText(c.mac) + (c.file == &usedSlot ? " used slot" : ""));
        ServerEntry& e = startWith(bareBox(c.mac));
        const std::string path = write("fw.bin", *c.file);
        UpgradeResult r;
        ASSERT_EQ(upgrade(e, path, 0, r), 1) << upgradeEndText(r.end);
        const Bytes got = receivedBlock(448);
        Bytes want = blockOf(*c.file, 0, 448);
        if (c.inserted) {
            std::memcpy(&want[1016], c.mac.data(), 6);
            for (Byte b : c.mac)
                want[1023] ^= b;
        }
        EXPECT_EQ(got, want);
        EXPECT_TRUE(sim::blockChecks(got));
        EXPECT_EQ(receivedBlock(447), blockOf(*c.file, 0, 447));
        EXPECT_EQ(readAll(path), *c.file) << "the file on disk changed";
    }
}

TEST_F(FirmwareTransfer, BoxThatStopsAskingFailsAfterTheSilenceLimitWithoutSearching) {
    sim::BoxSpec spec = bareBox();
    spec.faults.firmwareStopAfter = 5;
    ServerEntry& e = startWith(spec);
    platform::Timing t = platform::Timing::fast();
    t.blockRequestWait = std::chrono::milliseconds(300);
    ctx().setTiming(t);
    UpgradeResult r;
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(upgrade(e, write("one.bin", sim::makeFirmwareImage("15", 1)), 0, r), 0);
    EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(300));
    EXPECT_EQ(r.end, UpgradeEnd::NoRequest);
    EXPECT_EQ(r.blocksSent, 5);
    EXPECT_FALSE(r.identityRefreshed);
    EXPECT_FALSE(box([](sim::SimBox& b) { return b.firmwarePresent(); }));
}

TEST_F(FirmwareTransfer, PartialImageFileFailsWhenTheBoxAsksPastItsEnd) {
    sim::BoxSpec spec = bareBox();
    spec.firmware.script = {1, 2, 450};
    ServerEntry& e = startWith(spec);
    Bytes file = sim::makeFirmwareImage("15", 1);
    file.resize(448 * 1024 + 1000); // 448 whole blocks and a partial one
    const std::string path = write("short.bin", file);
    bool checks = true;
    browseFirmwareFile(path, checks);
    ASSERT_FALSE(checks);
    ASSERT_EQ(checkFirmwareFile(path, 0, modelCodeDigits(recordOf(ctx().configBuffer)), checks), FileCheck::Accepted);

    UpgradeResult r;
    EXPECT_EQ(upgrade(e, path, 0, r), 0);
    EXPECT_EQ(r.end, UpgradeEnd::BlockOutOfReach);
    EXPECT_EQ(r.lastBlock, 450);
    EXPECT_EQ(r.blocksSent, 2);
    EXPECT_EQ(receivedBlock(2), blockOf(file, 0, 2));
    // The box was searched for afterwards: its flash is empty now.
    EXPECT_TRUE(r.identityRefreshed);
    EXPECT_FALSE(firmwarePresent(e.identity));
}

TEST_F(FirmwareTransfer, ReadErrorWhileSendingStillLetsTheBoxBeSearchedFor) {
    sim::BoxSpec spec = bareBox();
    spec.firmwarePresent = true;
    ServerEntry& e = startWith(spec);
    ASSERT_TRUE(firmwarePresent(e.identity));
    // A pipe opens without waiting but no block can be read from it.
    const std::string pipe = m_dir.file("pipe.bin");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    UpgradeResult r;
    EXPECT_EQ(upgrade(e, pipe, 0, r), 0);
    EXPECT_EQ(r.end, UpgradeEnd::FileError);
    EXPECT_EQ(r.fileError, FileCheck::UnknownFileError);
    EXPECT_EQ(r.lastBlock, 1);
    // The box's flash was erased: the entry says so now.
    EXPECT_TRUE(r.identityRefreshed);
    EXPECT_FALSE(firmwarePresent(e.identity));
}

TEST_F(FirmwareTransfer, DuplicatedHandshakeRepliesDoNotEndTheTransfer) {
    for (std::size_t size : {std::size_t(10), std::size_t(12)}) {
        SCOPED_TRACE(size);
        sim::BoxSpec spec = bareBox();
        spec.firmwarePresent = true; // two handshakes, both replies doubled
        spec.firmware.handshakeReplySize = size;
        spec.firmware.script = {1, 2, 3};
        spec.faults.duplicate = 1.0;
        ServerEntry& e = startWith(spec);
        const Bytes file = sim::makeFirmwareImage("15", 1);
        UpgradeResult r;
        EXPECT_EQ(upgrade(e, write("one.bin", file), 0, r), 1) << upgradeEndText(r.end);
        EXPECT_EQ(r.blocksSent, 3);
        EXPECT_EQ(receivedBlock(3), blockOf(file, 0, 3));
    }
}

TEST_F(FirmwareTransfer, BlockNumbersOutsideTheImageAreRefused) {
    const Bytes two = concat({sim::makeFirmwareImage("15", 1, 0), sim::makeFirmwareImage("15", 1, 1)});
    for (int bad : {513, 0xFFFF}) {
        SCOPED_TRACE(bad);
        sim::BoxSpec spec = bareBox();
        spec.firmware.script = {1, bad};
        ServerEntry& e = startWith(spec);
        UpgradeResult r;
        EXPECT_EQ(upgrade(e, write("two.bin", two), 0, r), 0);
        EXPECT_EQ(r.end, UpgradeEnd::BlockOutOfReach);
        EXPECT_EQ(r.datagramsSent, 1);
    }
    // The last block of an image is still inside it.
    sim::BoxSpec spec = bareBox();
    spec.firmware.script = {512};
    ServerEntry& e = startWith(spec);
    UpgradeResult r;
    EXPECT_EQ(upgrade(e, write("two.bin", two), 0, r), 1);
    EXPECT_EQ(receivedBlock(512), blockOf(two, 0, 512));
}

TEST_F(FirmwareTransfer, MissingFileIsAFileErrorAfterTheHandshake) {
    ServerEntry& e = startWith(bareBox());
    UpgradeResult r;
    EXPECT_EQ(upgrade(e, m_dir.file("gone.bin"), 0, r), 0);
    EXPECT_EQ(r.end, UpgradeEnd::FileError);
    EXPECT_EQ(fileCheckText(r.fileError), "File not found");
    EXPECT_EQ(box([](sim::SimBox& b) { return b.firmwareStats().handshakes; }), 1);
    EXPECT_FALSE(r.identityRefreshed);
}

TEST_F(FirmwareTransfer, BoxThatIgnoresTheHandshakeIsNotUpgraded) {
    sim::BoxSpec spec = bareBox();
    spec.faults.ignore = {CmdFirmware};
    ServerEntry& e = startWith(spec);
    UpgradeResult r;
    EXPECT_EQ(upgrade(e, write("one.bin", sim::makeFirmwareImage("15", 1)), 0, r), 0);
    EXPECT_EQ(r.end, UpgradeEnd::HandshakeFailed);
    EXPECT_EQ(upgrade(e, write("one.bin", sim::makeFirmwareImage("15", 1)), 3, r), 0);
    EXPECT_EQ(r.end, UpgradeEnd::BadArgument);
    EXPECT_TRUE(m_reporter.messages.empty());
}

} // namespace
