#include "platform/reference_monitor.h"
#include "platform/spooler.h"
#include "spooler/spooler_test_support.h"
#include "support/cupsd.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <memory>

using namespace vnk::platform;
using vnk::testing::EnvVar;
using vnk::testing::pserverBytes;
using vnk::testing::standInBackend;
using vnk::testing::StateDir;
using vnk::testing::TestCupsd;

namespace {

bool hasLine(const std::vector<std::string>& report, const std::string& part) {
    return std::any_of(report.begin(), report.end(),
                       [&](const std::string& line) { return line.find(part) != std::string::npos; });
}

std::string lines(const std::vector<std::string>& report) {
    std::string all;
    for (const auto& l : report)
        all += "\n  " + l;
    return all;
}

// A loopback port that refuses connections for as long as the test runs:
// bound, so nobody else takes it, but not listening.
class ClosedPort {
public:
    ClosedPort() {
        m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        ::bind(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&a), &len);
        m_port = ntohs(a.sin_port);
    }
    ~ClosedPort() { ::close(m_fd); }
    std::string server() const { return "127.0.0.1:" + std::to_string(m_port); }

private:
    int m_fd = -1;
    int m_port = 0;
};

// Adds the port of the box in pserver.bin through a spooler, as the wizard does.
struct PortRun {
    bool ok;
    std::vector<std::string> report;
    std::vector<SpoolerPort> ports;
};
PortRun addPortFor(const StateDir& state, const std::string& pserver) {
    state.writePserver(pserver);
    Spooler spooler(state.path());
    spooler.addMonitor({"Network Port", "Windows NT x86", "BRANWICK.DLL"});
    const bool ok = spooler.addPort("Network Port");
    return {ok, spooler.lastReport(), spooler.ports()};
}

} // namespace

TEST(ReferenceMonitor, ReadsTheRecordWithItsNameBounded) {
    const auto r = parsePserverRecord(pserverBytes("QUILL-3P2S", {192, 168, 1, 20}, 2, 0b011));
    ASSERT_TRUE(r);
    EXPECT_EQ(r->name, "QUILL-3P2S");
    EXPECT_EQ(r->ip, (std::array<std::uint8_t, 4>{192, 168, 1, 20}));
    EXPECT_EQ(r->parallelPorts(), 2);
    EXPECT_EQ(r->mac, (std::array<std::uint8_t, 6>{0x00, 0x00, 0xB4, 0x0A, 0x1B, 0x2C}));
    EXPECT_EQ(r->portMask, 0b011);

    EXPECT_EQ(parsePserverRecord(std::string(48, 'N') + std::string(33, '\0'))->name, std::string(47, 'N'));
    EXPECT_FALSE(parsePserverRecord(std::string(80, '\0')));
    EXPECT_FALSE(parsePserverRecord(std::string(82, '\0')));

    // A box without a name goes by its factory device name; what cannot be
    // part of a key or a line is replaced.
    EXPECT_EQ(portNameFor(*parsePserverRecord(pserverBytes("", {10, 0, 0, 9}, 1, 1))), "PS0A1B2C");
    EXPECT_EQ(portNameFor(*parsePserverRecord(pserverBytes("A\\B\nC", {10, 0, 0, 9}, 1, 1))), "A_B_C");
}

TEST(ReferenceMonitor, QueueNamesAreWhatCupsAccepts) {
    EXPECT_EQ(cupsQueueName("QUILL-3P2S", 1).name, "QUILL-3P2S_LPT1");
    EXPECT_FALSE(cupsQueueName("QUILL-3P2S", 1).changed);

    const auto q = cupsQueueName("QUILL 3P/2S#\"x'?@%\\", 2);
    EXPECT_EQ(q.name, "QUILL_3P_2S__x______LPT2");
    EXPECT_TRUE(q.changed);
    // A name stays readable: only the blank goes, and a cut never splits a character.
    EXPECT_EQ(cupsQueueName("\xE5\x8D\xB0\xE8\xA1\xA8 A", 3).name, "\xE5\x8D\xB0\xE8\xA1\xA8_A_LPT3");
    std::string longChinese = "N";
    for (int i = 0; i < 41; ++i)
        longChinese += "\xE5\x8D\xB0";
    EXPECT_EQ(cupsQueueName(longChinese, 1).name, longChinese.substr(0, 121) + "_LPT1");

    const auto longName = cupsQueueName(std::string(200, 'L'), 3);
    EXPECT_EQ(longName.name.size(), 127u);
    EXPECT_TRUE(longName.name.ends_with("L_LPT3"));
    EXPECT_TRUE(longName.changed);
}

TEST(CupsQueues, AutoTakesOnlyADriverOfTheSameMakeAndModel) {
    const std::vector<CupsDriver> offered = {
        {"everywhere", "IPP Everywhere", "CMD:PwgRaster;", "C"},
        {"text-de.ppd", "Generic Text-Only Printer", "MFG:Generic;MDL:Text-Only Printer;", "de"},
        {"pcl.ppd", "Generic PCL Laser Printer", "MFG:Generic;MDL:PCL Laser;", "en"},
        {"text-en.ppd", "Generic Text-Only Printer", "MANUFACTURER:GENERIC;MODEL: text-only printer ;", "en_US"},
        {"text-rec.ppd", "Generic Text-Only Printer Foomatic (recommended)", "MFG:Generic;MDL:Text-Only Printer;",
         "en"},
    };
    const CupsDriver* best = bestDriver("MFG:Generic;MDL:Text-Only Printer;CMD:TXT;", offered);
    ASSERT_TRUE(best);
    EXPECT_EQ(best->name, "text-rec.ppd");
    // English before German whatever the order, the keys' long names and any case alike.
    const std::vector<CupsDriver> plain(offered.begin(), offered.end() - 1);
    best = bestDriver("mfg:generic;model:TEXT-ONLY PRINTER", plain);
    ASSERT_TRUE(best);
    EXPECT_EQ(best->name, "text-en.ppd");
    // The make alone is not enough, nor is an ID that names no model.
    EXPECT_FALSE(bestDriver("MFG:Generic;MDL:Dot Matrix;", offered));
    EXPECT_FALSE(bestDriver("MFG:Generic;CMD:PwgRaster;", offered));
    EXPECT_EQ(backendUri({0x00, 0x00, 0xB4, 0x12, 0x33, 0x44}, 1), "varnotek://0000B4123344/LPT1");
}

TEST(ReferenceMonitor, RefusesAFileThatIsNotOneRecord) {
    StateDir state;
    for (std::size_t size : {80, 82}) {
        std::string bytes = pserverBytes("QUILL", {10, 0, 0, 9}, 1, 1);
        bytes.resize(size);
        const PortRun run = addPortFor(state, bytes);
        EXPECT_FALSE(run.ok);
        EXPECT_TRUE(run.ports.empty());
        EXPECT_TRUE(hasLine(run.report, size == 80 ? "holds 80 bytes" : "holds more than 81 bytes")) << lines(run.report);
    }
    // Something else in the record's place is refused at once, a FIFO too.
    std::filesystem::remove(state.path() + "/system/pserver.bin");
    ASSERT_EQ(::mkfifo((state.path() + "/system/pserver.bin").c_str(), 0600), 0);
    Spooler fifo(state.path());
    EXPECT_FALSE(fifo.addPort("Network Port"));
    EXPECT_NE(fifo.lastError().find("is not a regular file"), std::string::npos) << fifo.lastError();
    std::filesystem::remove(state.path() + "/system/pserver.bin");
    Spooler spooler(state.path());
    EXPECT_FALSE(spooler.addPort("Network Port"));
    EXPECT_NE(spooler.lastError().find("pserver.bin"), std::string::npos) << spooler.lastError();
}

TEST(ReferenceMonitor, RecordsThePortWhenNoCupsServerAnswers) {
    StateDir state;
    ClosedPort closed;
    EnvVar server("CUPS_SERVER", closed.server());
    const PortRun run = addPortFor(state, pserverBytes("QUILL-3P2S", {192, 168, 1, 20}, 2, 0b011));
    EXPECT_TRUE(run.ok) << lines(run.report);
    EXPECT_EQ(run.report, (std::vector<std::string>{
                              "port QUILL-3P2S",
                              "no CUPS server at " + closed.server() + ": port recorded without queues"}));
    ASSERT_EQ(run.ports.size(), 1u);
    EXPECT_EQ(run.ports[0].name, "QUILL-3P2S");
    EXPECT_NE(run.ports[0].description.find("192.168.1.20"), std::string::npos) << run.ports[0].description;
    EXPECT_TRUE(run.ports[0].queues.empty());
}

// Against a cupsd of this test program's own, shared by its tests, that has
// (a stand-in for) the suite's backend.
class ReferenceMonitorCups : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        const StateDir scratch; // cupsd keeps a copy of the backend
        TestCupsd::Options options;
        options.backends = {standInBackend(scratch.path())};
        s_cupsd = std::make_unique<TestCupsd>(options);
    }
    static void TearDownTestSuite() { s_cupsd.reset(); }
    void SetUp() override {
        if (!TestCupsd::installed())
            GTEST_SKIP() << "cupsd is not installed";
        ASSERT_TRUE(s_cupsd->running()) << s_cupsd->whyNot();
        m_server = std::make_unique<EnvVar>("CUPS_SERVER", s_cupsd->server());
    }

    // The queues whose names begin with prefix.
    static std::vector<TestCupsd::Queue> queues(const std::string& prefix) {
        auto all = s_cupsd->queues();
        EXPECT_TRUE(all) << "the test's cupsd did not answer";
        std::vector<TestCupsd::Queue> found;
        for (auto& q : all.value_or(std::vector<TestCupsd::Queue>{})) {
            if (q.name.starts_with(prefix))
                found.push_back(std::move(q));
        }
        std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
        return found;
    }

    static std::unique_ptr<TestCupsd> s_cupsd;
    std::unique_ptr<EnvVar> m_server;
    StateDir m_state;
};
std::unique_ptr<TestCupsd> ReferenceMonitorCups::s_cupsd;

TEST_F(ReferenceMonitorCups, MakesOneRawQueuePerParallelPortAndUpdatesThemLater) {
    const PortRun first = addPortFor(m_state, pserverBytes("QUILL-3P2S", {192, 168, 1, 20}, 2, 0b011));
    ASSERT_TRUE(first.ok) << lines(first.report);
    EXPECT_EQ(first.report, (std::vector<std::string>{
                                "port QUILL-3P2S",
                                "CUPS queue QUILL-3P2S_LPT1 -> varnotek://0000B40A1B2C/LPT1, raw, created",
                                "CUPS queue QUILL-3P2S_LPT2 -> varnotek://0000B40A1B2C/LPT2, raw, created"}));
    ASSERT_EQ(first.ports.size(), 1u);
    EXPECT_EQ(first.ports[0].queues, (std::vector<std::string>{"QUILL-3P2S_LPT1", "QUILL-3P2S_LPT2"}));

    auto q = queues("QUILL-3P2S");
    ASSERT_EQ(q.size(), 2u);
    EXPECT_EQ(q[0].name, "QUILL-3P2S_LPT1");
    EXPECT_EQ(q[0].deviceUri, "varnotek://0000B40A1B2C/LPT1");
    EXPECT_EQ(q[0].info, "QUILL-3P2S LPT1");
    EXPECT_EQ(q[1].name, "QUILL-3P2S_LPT2");
    EXPECT_EQ(q[1].deviceUri, "varnotek://0000B40A1B2C/LPT2");
    for (const auto& queue : q) {
        EXPECT_EQ(queue.state, IPP_PSTATE_IDLE) << queue.name;
        EXPECT_TRUE(queue.accepting) << queue.name;
    }

    // The box got another address: the same queues, whose backend finds it there.
    const PortRun second = addPortFor(m_state, pserverBytes("QUILL-3P2S", {192, 168, 1, 21}, 2, 0b011));
    ASSERT_TRUE(second.ok);
    EXPECT_TRUE(hasLine(second.report, "CUPS queue QUILL-3P2S_LPT1 -> varnotek://0000B40A1B2C/LPT1, raw, updated"))
        << lines(second.report);
    q = queues("QUILL-3P2S");
    ASSERT_EQ(q.size(), 2u);
    EXPECT_EQ(q[0].deviceUri, "varnotek://0000B40A1B2C/LPT1");
    EXPECT_EQ(q[1].deviceUri, "varnotek://0000B40A1B2C/LPT2");
    EXPECT_EQ(second.ports.size(), 1u);
}

TEST_F(ReferenceMonitorCups, SanitisesNamesAndMakesNoQueueThatCannotPrint) {
    // Mask bit 2 names a third port the box does not have.
    const PortRun run = addPortFor(m_state, pserverBytes("HALL 2/B", {10, 1, 2, 3}, 2, 0b101));
    ASSERT_TRUE(run.ok) << lines(run.report);
    EXPECT_TRUE(hasLine(run.report, "HALL_2_B_LPT<n>")) << lines(run.report);
    EXPECT_TRUE(hasLine(run.report, "LPT3 skipped")) << lines(run.report);
    EXPECT_TRUE(hasLine(run.report, "CUPS queue HALL_2_B_LPT1 -> varnotek://0000B40A1B2C/LPT1, raw, created"))
        << lines(run.report);
    const auto q = queues("HALL");
    ASSERT_EQ(q.size(), 1u);
    EXPECT_EQ(q[0].name, "HALL_2_B_LPT1");
    EXPECT_EQ(q[0].info, "HALL 2/B LPT1");
    EXPECT_EQ(run.ports.at(0).name, "HALL 2/B");

    // A box without an address gets its port but no queue.
    const PortRun none = addPortFor(m_state, pserverBytes("NOADDR", {0, 0, 0, 0}, 1, 0b001));
    EXPECT_TRUE(none.ok);
    EXPECT_TRUE(hasLine(none.report, "has no IP address (0.0.0.0): port recorded without queues"))
        << lines(none.report);
    EXPECT_TRUE(queues("NOADDR").empty());
}

TEST_F(ReferenceMonitorCups, EachBoxKeepsItsOwnQueuesWhateverTheNames) {
    const std::array<std::uint8_t, 6> first{0x00, 0x00, 0xB4, 0x01, 0x01, 0x01}, other{0x00, 0x00, 0xB4, 0x02, 0x02, 0x02};
    const std::string printer = "\xE5\x8D\xB0\xE8\xA1\xA8\xE6\xA9\x9F"; // three Chinese characters
    const PortRun made = addPortFor(m_state, pserverBytes(printer, {10, 1, 1, 1}, 2, 0b011, first));
    EXPECT_TRUE(hasLine(made.report, "CUPS queue " + printer + "_LPT2 -> varnotek://0000B4010101/LPT2, raw, created"))
        << lines(made.report);
    // Another box of that name gets queues of its own.
    const PortRun twin = addPortFor(m_state, pserverBytes(printer, {10, 1, 1, 2}, 1, 0b001, other));
    EXPECT_TRUE(hasLine(twin.report, "CUPS queue " + printer +
                                         "_0000B4020202_LPT1 -> varnotek://0000B4020202/LPT1, raw, created"))
        << lines(twin.report);
    // The first box renamed, moved and down to one port: its queue follows it, the other goes.
    const PortRun again = addPortFor(m_state, pserverBytes("LOBBY", {10, 1, 1, 3}, 2, 0b001, first));
    EXPECT_TRUE(hasLine(again.report, "CUPS queue " + printer + "_LPT2 removed")) << lines(again.report);
    const auto q = queues(printer);
    ASSERT_EQ(q.size(), 2u);
    EXPECT_EQ(q[0].name, printer + "_0000B4020202_LPT1");
    EXPECT_EQ(q[0].deviceUri, "varnotek://0000B4020202/LPT1");
    EXPECT_EQ(q[1].name, printer + "_LPT1");
    EXPECT_EQ(q[1].deviceUri, "varnotek://0000B4010101/LPT1");
    EXPECT_EQ(q[1].info, "LOBBY LPT1");
}

TEST_F(ReferenceMonitorCups, RecordsThePortWhenCupsRefusesTheQueues) {
    TestCupsd guarded(TestCupsd::Options{.adminNeedsPassword = true, .backends = {}, .environment = {}});
    ASSERT_TRUE(guarded.running()) << guarded.whyNot();
    EnvVar server("CUPS_SERVER", guarded.server());
    const PortRun run = addPortFor(m_state, pserverBytes("LOCKED", {10, 1, 2, 4}, 1, 0b001));
    EXPECT_TRUE(run.ok) << lines(run.report);
    EXPECT_TRUE(hasLine(run.report, "CUPS at " + guarded.server() + " refused queue LOCKED_LPT1: "))
        << lines(run.report);
    EXPECT_EQ(run.report.back(), "port recorded without queues");
    ASSERT_EQ(run.ports.size(), 1u);
    EXPECT_TRUE(run.ports[0].queues.empty());
    const auto q = guarded.queues();
    ASSERT_TRUE(q);
    EXPECT_TRUE(q->empty());
}
