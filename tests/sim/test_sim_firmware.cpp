// The simulated box's side of a firmware transfer, and `vnkctl upgrade` driven
// in-process against it.
#include "cli/vnkctl.h"
#include "protocol/firmware.h"
#include "sim/sim_firmware.h"
#include "support/sim_fixture.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <sstream>

using namespace vnk;
using namespace vnk::sim;
using namespace std::chrono_literals;
using protocol::Byte;
using vnk::testing::testBox;

namespace {

const MacAddress Mac{0x00, 0x00, 0xB4, 0x12, 0x33, 0x44};

std::vector<Byte> blockDatagram(int number, std::span<const Byte> block, const MacAddress& mac = Mac) {
    std::vector<Byte> d(12 + block.size());
    protocol::buildHeader(d, mac, protocol::CmdFirmware);
    protocol::putLE16(d, 10, std::uint16_t(number));
    std::copy(block.begin(), block.end(), d.begin() + 12);
    return d;
}

std::vector<Byte> endReply(const MacAddress& mac = Mac) {
    std::vector<Byte> d(12);
    protocol::buildHeader(d, mac, protocol::CmdFirmware);
    protocol::putLE16(d, 10, 0xFFFF);
    return d;
}

// Answers every request from image until the receiver stops asking; returns the
// numbers asked for.
std::vector<int> serve(FirmwareReceiver& rx, const std::vector<Byte>& image, Clock::time_point t) {
    std::vector<int> asked;
    for (int guard = 0; guard < 5000 && rx.active(); ++guard) {
        const auto due = rx.due(t, -1);
        if (due.empty())
            break;
        const int n = due.front();
        asked.push_back(n);
        if (n == 449)
            rx.receive(endReply(), Mac, t);
        else
            rx.receive(blockDatagram(n, std::span(image).subspan(std::size_t(n - 1) * 1024, 1024)), Mac, t);
    }
    return asked;
}

TEST(SimFirmware, UnansweredRequestIsAskedAgainUntilTheBoxGivesUp) {
    FirmwarePlan plan;
    plan.script = {7};
    plan.retryAfter = 100ms;
    plan.retries = 2;
    FirmwareReceiver rx;
    const auto t0 = Clock::now();
    rx.start(plan, t0);
    EXPECT_EQ(rx.due(t0, -1), std::vector<std::uint16_t>{7});
    EXPECT_TRUE(rx.due(t0 + 50ms, -1).empty());
    EXPECT_EQ(rx.due(t0 + 100ms, -1), std::vector<std::uint16_t>{7});
    EXPECT_EQ(rx.due(t0 + 200ms, -1), std::vector<std::uint16_t>{7});
    EXPECT_TRUE(rx.due(t0 + 300ms, -1).empty());
    EXPECT_FALSE(rx.active());
    EXPECT_TRUE(rx.stats().gaveUp);
    EXPECT_EQ(rx.stats().retriesSent, 2);
}

TEST(SimFirmware, OnlyTheRequestedBlockWithAProperHeaderIsTaken) {
    const auto image = makeFirmwareImage("15", 1);
    const auto block2 = std::span(image).subspan(1024, 1024);
    FirmwarePlan plan;
    plan.script = {2, 3};
    FirmwareReceiver rx;
    const auto t = Clock::now();
    rx.start(plan, t);
    ASSERT_EQ(rx.due(t, -1), std::vector<std::uint16_t>{2});

    auto wrongNumber = blockDatagram(3, block2);
    auto asReply = blockDatagram(2, block2);
    asReply[6] = 1;
    auto otherBox = blockDatagram(2, block2, {0x00, 0x00, 0xB4, 0x12, 0x33, 0x45});
    auto cut = blockDatagram(2, block2);
    cut.pop_back();
    auto noComplement = blockDatagram(2, block2);
    noComplement[9] = 0xFF;
    for (const auto* bad : {&wrongNumber, &asReply, &otherBox, &cut, &noComplement})
        rx.receive(*bad, Mac, t);
    EXPECT_EQ(rx.stats().badDatagrams, 5);
    EXPECT_FALSE(rx.received(2));

    rx.receive(blockDatagram(2, block2), Mac, t);
    EXPECT_TRUE(rx.received(2));
    EXPECT_EQ(rx.due(t, -1), std::vector<std::uint16_t>{3}); // as fast as it can: at once
}

TEST(SimFirmware, ShuffledOrderWithRepeatsAsksEveryBlockAndEndsWithTheMarker) {
    FirmwarePlan plan;
    plan.order = FirmwarePlan::Order::Shuffled;
    plan.repeats = 12;
    FirmwareReceiver rx;
    const auto image = makeFirmwareImage("15", 1);
    rx.start(plan, Clock::now());
    const auto asked = serve(rx, image, Clock::now());
    ASSERT_EQ(asked.size(), 448u + 12u + 1u);
    EXPECT_EQ(asked.back(), 449);
    EXPECT_EQ(std::set<int>(asked.begin(), asked.end() - 1).size(), 448u);
    EXPECT_FALSE(std::is_sorted(asked.begin(), asked.end() - 1));
    EXPECT_EQ(rx.stats().transfersCompleted, 1);
    EXPECT_EQ(rx.stats().repeatsChecked, 12);
    EXPECT_EQ(rx.stats().repeatMismatches, 0);
    EXPECT_TRUE(std::equal(image.begin(), image.begin() + 448 * 1024, rx.image().begin()));
}

TEST(SimFirmware, ImageWhoseBlock448DoesNotCheckIsRefusedBeforeTheEndMarker) {
    auto image = makeFirmwareImage("15", 1);
    image[447 * 1024 + 1016] = 0x12; // an address put in without fixing the check byte
    FirmwareReceiver rx;
    rx.start(FirmwarePlan{}, Clock::now());
    const auto asked = serve(rx, image, Clock::now());
    EXPECT_EQ(asked.size(), 448u);
    EXPECT_EQ(rx.stats().verifyFailures, 1);
    EXPECT_EQ(rx.stats().transfersCompleted, 0);
    EXPECT_TRUE(rx.stats().gaveUp);
}

TEST(SimFirmware, BoxToldToStopAsksNoFurther) {
    FirmwareReceiver rx;
    const auto image = makeFirmwareImage("15", 1);
    const auto t = Clock::now();
    rx.start(FirmwarePlan{}, t);
    for (int n = 1; n <= 3; ++n) {
        ASSERT_EQ(rx.due(t, 3), std::vector<std::uint16_t>{std::uint16_t(n)});
        rx.receive(blockDatagram(n, std::span(image).subspan(std::size_t(n - 1) * 1024, 1024)), Mac, t);
    }
    EXPECT_TRUE(rx.due(t, 3).empty());
    EXPECT_TRUE(rx.due(t + 10s, 3).empty());
    EXPECT_TRUE(rx.stats().gaveUp);
}

// ------------------------------------------------------------------ the flash across restarts

namespace {

// Hands box the upgrade handshakes and then every block it asks for, as the LAN
// carries them; stops after `blocks` blocks when that is not negative.
void upgrade(SimBox& box, const std::vector<Byte>& image, Clock::time_point t, int blocks = -1) {
    const MacAddress mac = box.spec().mac;
    std::vector<Byte> handshake(protocol::HeaderSize);
    protocol::buildHeader(handshake, mac, protocol::CmdFirmware);
    ASSERT_EQ(box.handle(handshake, t).size(), 1u);
    if (!box.transferActive()) { // a box with firmware waits for a second handshake
        ASSERT_EQ(box.handle(handshake, t).size(), 1u);
    }
    ASSERT_TRUE(box.takeTransferStart());
    auto asks = box.firmwareDue(t);
    for (int sent = 0; !asks.empty() && sent != blocks; ++sent) {
        const int n = protocol::getLE16(asks.front().bytes, 10);
        asks = n == 449 ? box.firmwareData(endReply(mac), t)
                        : box.firmwareData(blockDatagram(n, std::span(image).subspan(std::size_t(n - 1) * 1024, 1024),
                                                         mac),
                                           t);
    }
}

bool firmwareAfterRestart(const LanOptions& o, const BoxSpec& spec) {
    SimLan lan(o);
    lan.addBox(spec);
    return lan.withBox(0, [](SimBox& b) { return b.firmwarePresent(); });
}

} // namespace

TEST(SimFlash, FirmwareInstalledByAnUpgradeOutlivesARestartWithTheSameStateDirectory) {
    vnk::testing::ScratchDir state;
    LanOptions o;
    o.stateDirectory = state.path() + "/nv";
    auto bare = testBox("BARE", 1);
    bare.firmwarePresent = false;
    {
        SimLan lan(o);
        lan.addBox(bare);
        lan.withBox(0, [&](SimBox& b) {
            upgrade(b, makeFirmwareImage("15", 1), Clock::now());
            EXPECT_TRUE(b.firmwarePresent());
            EXPECT_EQ(b.firmwareStats().transfersCompleted, 1);
            return 0;
        });
    }
    EXPECT_TRUE(firmwareAfterRestart(o, bare));
    // In memory only, every start is a factory start.
    EXPECT_FALSE(firmwareAfterRestart(LanOptions{}, bare));
}

TEST(SimFlash, AnUpgradeCutShortLeavesNoFirmwareAfterARestart) {
    vnk::testing::ScratchDir state;
    LanOptions o;
    o.stateDirectory = state.path();
    const auto box = testBox("HALF", 2); // has firmware when built
    {
        SimLan lan(o);
        lan.addBox(box);
        lan.withBox(0, [&](SimBox& b) {
            upgrade(b, makeFirmwareImage("15", 1), Clock::now(), 10); // the flash was erased at the start
            EXPECT_FALSE(b.firmwarePresent());
            return 0;
        });
    }
    EXPECT_FALSE(firmwareAfterRestart(o, box));
}

TEST(SimFlash, AStateFileOfTheRecordAloneStillLoads) {
    vnk::testing::ScratchDir state;
    LanOptions o;
    o.stateDirectory = state.path();
    auto box = testBox("OLDFILE", 3);
    box.firmwarePresent = false;
    protocol::ConfigRecord rec = box.record;
    sim::setText(rec, protocol::record::AliasName, 16, "FROMFILE");
    protocol::setRecordChecksum(rec);
    ASSERT_TRUE(writeFile(state.file("0000B4550003.rec"), rec)); // as older simulators wrote it
    SimLan lan(o);
    lan.addBox(box);
    lan.withBox(0, [](SimBox& b) {
        EXPECT_EQ(b.activeName(), "FROMFILE");
        EXPECT_FALSE(b.firmwarePresent()); // as the description says
        return 0;
    });
}

TEST(SimFirmware, ModelCodeIsTakenAsVnkctlGetPrintsIt) {
    // vnkctl get prints the record's model byte in decimal; the image must carry
    // the digits the upgrade compares with that record.
    for (const Byte code : {Byte(0x15), Byte(0x11), Byte(0x0B), Byte(0xFF), Byte(0)}) {
        auto rec = testBox("M", 1).record;
        rec[protocol::record::ModelCode] = code;
        const auto digits = firmwareModelDigits(std::to_string(code));
        ASSERT_TRUE(digits) << int(code);
        EXPECT_EQ(*digits, protocol::modelCodeDigits(rec)) << int(code);
    }
    EXPECT_EQ(firmwareModelDigits("21"), "15");
    EXPECT_EQ(firmwareModelDigits("0x1a"), "1A");
    for (const char* bad : {"", "256", "1A", "-1", "0x", "0x100", "21 "})
        EXPECT_FALSE(firmwareModelDigits(bad)) << bad;
}

// ------------------------------------------------------------------ vnkctl upgrade

struct Result {
    int code;
    std::string out;
    std::string err;
};

class VnkctlUpgradeTest : public vnk::testing::SimLanTest {
protected:
    void SetUp() override {
        auto bare = testBox("BARE", 1); // model code 15, revision 0x62
        bare.firmwarePresent = false;
        auto old = testBox("OLDREV", 2);
        old.record[protocol::record::Revision] = 0x5F;
        protocol::setRecordChecksum(old.record);
        startLan({bare, old});
    }
    Result vnkctl(std::vector<std::string> args, bool terminal = false) {
        const auto e = lan().endpoint();
        args.insert(args.begin(), {"--broadcast", e.broadcast, "--command-port", std::to_string(e.commandPort),
                                   "--fw-port", std::to_string(e.firmwarePort), "--config", m_dir.file("Config.ini")});
        std::ostringstream out, err;
        cli::Environment env;
        env.programDirectory = m_dir.path();
        env.fastTiming = true;
        env.terminal = terminal;
        const int code = cli::run(args, out, err, env);
        return {code, out.str(), err.str()};
    }
    std::string write(const std::string& name, const std::vector<Byte>& bytes) {
        EXPECT_TRUE(writeFile(m_dir.file(name), bytes));
        return m_dir.file(name);
    }
    FirmwareStats stats(int box) {
        return lan().withBox(box, [](SimBox& b) { return b.firmwareStats(); });
    }
};

TEST_F(VnkctlUpgradeTest, UpgradeSendsTheChosenImageAndShowsTheBoxAfterwards) {
    auto two = makeFirmwareImage("15", 0x0001, 0);
    const auto second = makeFirmwareImage("15", 0x0104, 1);
    two.insert(two.end(), second.begin(), second.end());
    const Result r = vnkctl({"upgrade", "BARE", write("two.bin", two), "--type", "2"}, true);
    ASSERT_EQ(r.code, cli::ExitOk) << r.err;
    EXPECT_NE(r.out.find("Printing Protocol Support:\n   NetBEUI printing\n   AppleTalk printing\n"), std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("Upgrade Succeed !!!\n"), std::string::npos);
    EXPECT_NE(r.out.find("firmware present"), std::string::npos);
    EXPECT_NE(r.err.find("] 448/448"), std::string::npos) << "no progress bar on a terminal";
    lan().withBox(0, [&](SimBox& b) {
        EXPECT_TRUE(b.firmwarePresent());
        EXPECT_TRUE(std::equal(second.begin(), second.begin() + 1024, b.firmwareReceiver().image().begin()));
        return 0;
    });

    // Not on a terminal: no bar.
    lan().withBox(0, [](SimBox& b) {
        b.setFirmwarePresent(false);
        return 0;
    });
    const Result quiet = vnkctl({"upgrade", "BARE", m_dir.file("two.bin")});
    EXPECT_EQ(quiet.code, cli::ExitOk) << quiet.err;
    EXPECT_EQ(quiet.err, "");
}

TEST_F(VnkctlUpgradeTest, RefusedBoxesAndFilesSendNothing) {
    const std::string good = write("good.bin", makeFirmwareImage("15", 1));
    Result r = vnkctl({"upgrade", "OLDREV", good});
    EXPECT_EQ(r.code, cli::ExitFailure);
    EXPECT_EQ(r.err, "vnkctl: 'OLDREV' do NOT support IP upgrade!!!\n");

    r = vnkctl({"upgrade", "BARE", write("other.bin", makeFirmwareImage("16", 1))});
    EXPECT_EQ(r.code, cli::ExitBadValue);
    EXPECT_EQ(r.err, "vnkctl: File Format is not correct !!!\n");

    // Too short for the blocks the box asks for, or not a file at all (a pipe
    // that nobody writes to must not keep vnkctl waiting).
    const std::string pipe = m_dir.file("pipe.bin");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    for (const std::string& path : {write("tiny.bin", std::vector<Byte>(100, 0x55)), pipe}) {
        r = vnkctl({"upgrade", "BARE", path});
        EXPECT_EQ(r.code, cli::ExitBadValue) << path;
        EXPECT_EQ(r.err, "vnkctl: File Format is not correct !!!\n");
    }

    r = vnkctl({"upgrade", "BARE", m_dir.file("missing.bin")});
    EXPECT_EQ(r.code, cli::ExitBadValue);
    EXPECT_NE(r.err.find("File not found"), std::string::npos);

    r = vnkctl({"upgrade", "BARE", good, "--type", "2"});
    EXPECT_EQ(r.code, cli::ExitBadValue);
    EXPECT_NE(r.err.find("no Type2 image"), std::string::npos);

    EXPECT_EQ(vnkctl({"upgrade", "BARE", good, "--type", "4"}).code, cli::ExitUsage);
    EXPECT_EQ(vnkctl({"status", "BARE", "--type", "1"}).code, cli::ExitUsage);
    EXPECT_EQ(vnkctl({"upgrade", "BARE"}).code, cli::ExitUsage);
    EXPECT_EQ(stats(0).handshakes, 0);
    EXPECT_EQ(stats(1).handshakes, 0);
}

TEST_F(VnkctlUpgradeTest, OddSizedFileGoesUncheckedAndFailsWhenTheBoxAsksPastItsEnd) {
    auto file = makeFirmwareImage("99", 1); // a model check would refuse it
    file.resize(448 * 1024 + 1000);          // the blocks a box asks for, and a part of one more
    lan().withBox(0, [](SimBox& b) {
        b.firmwarePlan().script = {1, 2, 450};
        return 0;
    });
    const Result r = vnkctl({"upgrade", "BARE", write("short.bin", file)});
    EXPECT_NE(r.out.find("without the vendor and model checks"), std::string::npos) << r.out;
    EXPECT_EQ(r.code, cli::ExitFailure);
    EXPECT_NE(r.err.find("Upgrade Failed !!!\n"), std::string::npos) << r.err;
    EXPECT_EQ(stats(0).blocksReceived, 2);
}

} // namespace
