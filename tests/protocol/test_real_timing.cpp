// The real timing table against simulated boxes on loopback: how many requests
// discovery broadcasts and how long it and an unanswered search take. The bounds
// are generous so that a slow or busy machine does not fail them.
#include "support/sim_fixture.h"

#include <chrono>

using namespace vnk;
using namespace vnk::protocol;
using vnk::testing::testBox;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

namespace {

class RealTiming : public vnk::testing::SimLanTest {
protected:
    void startReal(const std::vector<sim::BoxSpec>& boxes) {
        startLan(boxes);
        ctx().setTiming(platform::Timing::real());
    }
    // Discovery alone, without the record reads of a full refresh; returns how long it took.
    Clock::duration discover() {
        ctx().serverCount = 0;
        int s = ctx().openOperationSocket("XGetPort", true);
        EXPECT_GE(s, 0);
        const auto started = Clock::now();
        ctx().XGetAllPServername(s);
        const auto took = Clock::now() - started;
        platform::closeSocket(s);
        return took;
    }
};

TEST_F(RealTiming, DiscoveryBroadcastsSixRequestsInAboutThreeSeconds) {
    startReal({testBox("ALPHA", 1), testBox("BRAVO", 2)});
    const auto took = discover();
    EXPECT_EQ(lan().requestsSeen(), 6u);
    EXPECT_EQ(ctx().serverCount, 2);
    EXPECT_GE(took, milliseconds(2500));
    EXPECT_LT(took, milliseconds(6000));
}

TEST_F(RealTiming, DiscoveryStopsAfterThePassThatFilledTheTable) {
    std::vector<sim::BoxSpec> boxes;
    for (int i = 0; i < 31; ++i) {
        boxes.push_back(testBox("BOX" + std::to_string(i), Byte(i + 1)));
        // Late enough that pass 0, which takes only what is there, finds nothing.
        boxes.back().faults.delayMs = 100;
    }
    startReal(boxes);
    const auto took = discover();
    EXPECT_EQ(ctx().serverCount, MaxServers);
    EXPECT_EQ(lan().requestsSeen(), 4u); // passes 0 and 1, two requests each
    EXPECT_GE(took, milliseconds(900));  // pass 1 waited a second after the last reply
    EXPECT_LT(took, milliseconds(2500)); // pass 2 would have waited two more
}

TEST_F(RealTiming, AnUnansweredSearchTakesAboutFourSeconds) {
    auto mute = testBox("MUTE", 1);
    mute.faults.silent = true;
    startReal({mute});
    ServerEntry e;
    e.ethernet = mute.mac;
    Byte reply[DiscoveryReplySize];
    const auto started = Clock::now();
    EXPECT_EQ(ctx().XSearchPS(e, reply), 0);
    const auto took = Clock::now() - started;
    EXPECT_EQ(lan().requestsSeen(), 1u);
    EXPECT_GE(took, milliseconds(3500));
    EXPECT_LT(took, milliseconds(6000));
    EXPECT_TRUE(m_reporter.messages.empty());
}

} // namespace
