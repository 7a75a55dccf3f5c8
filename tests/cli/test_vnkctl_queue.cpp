// vnkctl queue against a simulated box whose printers report device IDs and a
// cupsd of the test's own with (a stand-in for) the suite's backend.
#include "cli/vnkctl.h"
#include "spooler/spooler_test_support.h"
#include "support/cupsd.h"
#include "support/sim_fixture.h"

#include <nlohmann/json.hpp>

#include <fstream>
#include <sstream>

using namespace vnk;
using vnk::testing::EnvVar;
using vnk::testing::TestCupsd;

namespace {

class VnkctlQueueTest : public vnk::testing::SimLanTest {
protected:
    void SetUp() override {
        if (!TestCupsd::installed())
            GTEST_SKIP() << "cupsd is not installed";
        TestCupsd::Options options;
        options.backends = {vnk::testing::standInBackend(m_dir.path())};
        m_cupsd = std::make_unique<TestCupsd>(options);
        ASSERT_TRUE(m_cupsd->running()) << m_cupsd->whyNot();
        m_server = std::make_unique<EnvVar>("CUPS_SERVER", m_cupsd->server());
        // Two ports: a printer a driver of Debian's CUPS names, and one no driver names.
        auto box = vnk::testing::testBox("HALL", 7, 0x02);
        box.features65 = 0x02; // extended printer status: the printers' identification
        box.printers = {
            {"\r\nDISPLAY=\"READY\"\r\n", "MFG:Generic;MDL:Text-Only Printer;CLS:PRINTER;", {}, {}},
            {"\r\nDISPLAY=\"READY\"\r\n", "MFG:Acme;MDL:Jet 9000;", {}, {}}};
        sim::setIPv4(box.record, protocol::record::IpAddress, {127, 0, 0, 7});
        protocol::setRecordChecksum(box.record);
        startLan({box});
    }
    struct Result {
        int code;
        std::string out, err;
    };
    Result vnkctl(std::vector<std::string> args) {
        const auto e = lan().endpoint();
        args.insert(args.begin(), {"--broadcast", e.broadcast, "--command-port",
                                   std::to_string(e.commandPort), "--config", m_dir.file("Config.ini")});
        std::ostringstream out, err;
        cli::Environment env;
        env.programDirectory = m_dir.path();
        env.fastTiming = true;
        const int code = cli::run(args, out, err, env);
        return {code, out.str(), err.str()};
    }
    bool hasPpd(const std::string& queue, const std::string& text) const {
        std::ifstream ppd(m_cupsd->directory() + "/conf/ppd/" + queue + ".ppd");
        std::stringstream s;
        s << ppd.rdbuf();
        return ppd && s.str().find(text) != std::string::npos;
    }
    std::unique_ptr<TestCupsd> m_cupsd;
    std::unique_ptr<EnvVar> m_server;
};

} // namespace

TEST_F(VnkctlQueueTest, MakesAQueuePerPortWithTheDriverOfThePrintersDeviceIdAndUpdatesItLater) {
    const Result made = vnkctl({"--json", "queue", "HALL"});
    ASSERT_EQ(made.code, cli::ExitOk) << made.err << made.out;
    const auto json = nlohmann::json::parse(made.out);
    ASSERT_EQ(json["queues"].size(), 2u) << made.out;
    const auto& text = json["queues"][0];
    EXPECT_EQ(text["name"], "HALL_LPT1");
    EXPECT_EQ(text["device_uri"], "varnotek://0000B4550007/LPT1");
    EXPECT_EQ(text["driver"], "drv:///cupsfilters.drv/textonly.ppd");
    EXPECT_EQ(text["make_and_model"], "Generic Text-Only Printer");
    EXPECT_EQ(text["created"], true);
    EXPECT_EQ(json["queues"][1]["name"], "HALL_LPT2");
    EXPECT_EQ(json["queues"][1]["driver"], "raw");
    EXPECT_TRUE(hasPpd("HALL_LPT1", "Text-Only"));
    EXPECT_FALSE(hasPpd("HALL_LPT2", ""));

    // Again: the same queues, updated; then LPT1 made raw on request, its driver gone.
    const Result again = vnkctl({"queue", "HALL", "--port", "lpt1"});
    EXPECT_EQ(again.code, cli::ExitOk) << again.err;
    EXPECT_NE(again.out.find("HALL_LPT1 -> varnotek://0000B4550007/LPT1, driver "
                             "drv:///cupsfilters.drv/textonly.ppd (Generic Text-Only Printer), updated"),
              std::string::npos)
        << again.out;
    EXPECT_EQ(vnkctl({"queue", "HALL", "--port", "1", "--driver", "raw"}).code, cli::ExitOk);
    EXPECT_FALSE(hasPpd("HALL_LPT1", ""));
    const auto queues = m_cupsd->queues();
    ASSERT_TRUE(queues);
    ASSERT_EQ(queues->size(), 2u);
    for (const auto& q : *queues)
        EXPECT_TRUE(q.deviceUri.starts_with("varnotek://0000B4550007/LPT")) << q.deviceUri;

    // A driver CUPS does not have, a port the box does not have, no CUPS at all.
    const Result unknown = vnkctl({"queue", "HALL", "--port", "2", "--driver", "drv:///nosuch.drv/none.ppd"});
    EXPECT_EQ(unknown.code, cli::ExitFailure);
    EXPECT_NE(unknown.out.find("refused queue HALL_LPT2 with driver drv:///nosuch.drv/none.ppd"),
              std::string::npos)
        << unknown.out;
    EXPECT_EQ(vnkctl({"queue", "HALL", "--port", "3"}).code, cli::ExitBadValue);
    EXPECT_EQ(vnkctl({"queue", "HALL", "--port", "COM1"}).code, cli::ExitUsage);
    m_cupsd.reset();
    const Result none = vnkctl({"queue", "HALL"});
    EXPECT_EQ(none.code, cli::ExitFailure);
    EXPECT_NE(none.err.find("no CUPS server answers at 127.0.0.1:"), std::string::npos) << none.err;
}
