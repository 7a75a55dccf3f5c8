// The simulated boxes print: LPD jobs on each box's own loopback address.
#include "support/sim_fixture.h"

#include "protocol/record_fields.h"
#include "transport/lpd/lpd_client.h"

#include <arpa/inet.h>
#include <sys/socket.h>

#include <fstream>
#include <iterator>
#include <thread>

using namespace vnk;
using namespace vnk::protocol;
using vnk::testing::ScratchDir;
using vnk::testing::testBox;

namespace {

class SimLpd : public vnk::testing::SimLanTest {
protected:
    lpd::Result print(const std::string& address, const std::string& queue, const std::string& text) {
        const std::vector<std::uint8_t> data(text.begin(), text.end());
        lpd::Job job;
        job.queue = queue;
        job.host = "tester";
        job.user = "someone";
        job.number = 7;
        job.data = data;
        lpd::Timeouts t;
        t.connect = t.acknowledgement = std::chrono::milliseconds(2000);
        return lpd::sendJob({address, lan().lpdPort()}, job, t);
    }
    std::vector<std::string> jobs(int port) {
        std::vector<std::string> out;
        for (const auto& j : lan().jobs(0, port))
            out.emplace_back(j.begin(), j.end());
        return out;
    }
};

} // namespace

TEST_F(SimLpd, ABoxTakesJobsForItsPortsOnItsAddressAndMovesThereAfterAReset) {
    ScratchDir state;
    sim::LanOptions o;
    o.lpdPort = 0;
    o.stateDirectory = state.path();
    startLan({testBox("PRINTS", 1, 0x02, record::CapTcpIp,
                      [](ConfigRecord& r) { sim::setIPv4(r, record::IpAddress, {127, 0, 0, 1}); })},
             o);
    ASSERT_NE(lan().lpdPort(), 0);

    // A client that says half a command and then nothing holds up neither the
    // datagrams nor other jobs.
    const int silent = ::socket(AF_INET, SOCK_STREAM, 0);
    const std::unique_ptr<const int, void (*)(const int*)> closer(&silent, [](const int* fd) { ::close(*fd); });
    const sockaddr_in at = platform::makeAddress(INADDR_LOOPBACK, lan().lpdPort());
    ASSERT_EQ(::connect(silent, reinterpret_cast<const sockaddr*>(&at), sizeof at), 0);
    ASSERT_EQ(::send(silent, "\2LP", 3, 0), 3);

    const lpd::Result sent = print("127.0.0.1", "lpt2", "to the second port\f");
    ASSERT_TRUE(sent.ok()) << sent.reason;
    EXPECT_EQ(jobs(2), std::vector<std::string>{"to the second port\f"});
    EXPECT_TRUE(jobs(1).empty());
    std::ifstream file(state.file("0000B4550001.LPT2/job-0001.prn"), std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(file), {}), "to the second port\f");

    // A queue the box does not have is refused, and nothing is kept.
    const lpd::Result wrong = print("127.0.0.1", "LPT3", "nowhere");
    EXPECT_EQ(wrong.outcome, lpd::Outcome::Refused) << wrong.reason;
    EXPECT_EQ(lan().jobs(0, 1).size() + lan().jobs(0, 2).size(), 1u);

    // A new address takes effect at the reset: the box listens there, not at the old one.
    ctx().XGetPort();
    ServerEntry& e = ctx().serverTable[0];
    ASSERT_EQ(ctx().XReadPServerEEProm(e, ctx().configBuffer), 1);
    ASSERT_TRUE(applyAssignments(recordOf(ctx().configBuffer), {"ip_address=127.0.0.2"}).ok());
    ASSERT_EQ(ctx().XWritePServerEEProm(e, ctx().configBuffer), 1);
    EXPECT_TRUE(print("127.0.0.1", "LPT1", "before the reset").ok());
    ASSERT_EQ(ctx().XResetPServerEEProm(e), 1);
    Byte reply[DiscoveryReplySize];
    for (int i = 0; i < 100 && ctx().XSearchPS(e, reply) != 1; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const lpd::Result moved = print("127.0.0.2", "LPT1", "after the reset");
    EXPECT_TRUE(moved.ok()) << moved.reason;
    EXPECT_EQ(print("127.0.0.1", "LPT1", "lost").outcome, lpd::Outcome::Unreachable);
    EXPECT_EQ(jobs(1), (std::vector<std::string>{"before the reset", "after the reset"}));
}
