// The whole print path on this machine: a cupsd of the test's own runs the
// suite's backend, which finds a simulated box's ports for `lpinfo -v`; vnkctl
// makes the box's queue; `lp` prints through it into the box's port; the box
// moves to another address and the next job still arrives. tshark, when it can
// capture on loopback, decodes the LPD exchanges.
#include "cli/vnkctl.h"
#include "spooler/spooler_test_support.h"
#include "support/cupsd.h"
#include "support/pcap.h"
#include "support/sim_helpers.h"
#include "sim/sim_lan.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

using namespace vnk;
using vnk::testing::EnvVar;
using vnk::testing::TestCupsd;

namespace {

std::string joined(const std::vector<std::string>& lines) {
    std::string all;
    for (const auto& l : lines)
        all += l + "\n";
    return all;
}

} // namespace

TEST(PrintPath, CupsFindsThePortPrintsIntoItAndFollowsTheBoxToItsNewAddress) {
    if (!TestCupsd::installed() || std::system("command -v lp lpinfo >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "cupsd and the CUPS clients are not installed (./run setup installs them)";
    sim::LanOptions options;
    options.lpdPort = 0;
    sim::SimLan lan(options);
    auto box = vnk::testing::testBox("DESK", 9, 0x02, protocol::record::CapTcpIp, [](protocol::ConfigRecord& r) {
        sim::setIPv4(r, protocol::record::IpAddress, {127, 0, 0, 60});
    });
    box.features65 = 0x02; // extended printer status: the printers' identification
    box.printers = {{"\r\nDISPLAY=\"READY\"\r\n", "MFG:Generic;MDL:Text-Only Printer;CMD:TXT;", {}, {}},
                    {"\r\nDISPLAY=\"READY\"\r\n", "MFG:Varnotek;MDL:Demo Dot Matrix 9;", {}, {}}};
    lan.addBox(box);
    std::string error;
    ASSERT_TRUE(lan.start(&error)) << error;
    const platform::Endpoint e = lan.endpoint();

    TestCupsd::Options cupsOptions;
    cupsOptions.backends = {{"varnotek", VNK_BACKEND_PROGRAM}};
    cupsOptions.environment = {"VNK_BROADCAST=127.255.255.255", "VNK_PORT=" + std::to_string(e.commandPort),
                               "VNK_FW_PORT=" + std::to_string(e.firmwarePort),
                               "VNK_LPD_PORT=" + std::to_string(lan.lpdPort())};
    TestCupsd cupsd(cupsOptions);
    ASSERT_TRUE(cupsd.running()) << cupsd.whyNot();
    const EnvVar server("CUPS_SERVER", cupsd.server());

    // CUPS's own discovery runs the backend: both ports, with make and model.
    const std::string devices = joined(vnk::testing::runLines("lpinfo --include-schemes varnotek -l -v 2>&1"));
    EXPECT_NE(devices.find("uri = varnotek://0000B4550009/LPT1"), std::string::npos) << devices;
    EXPECT_NE(devices.find("make-and-model = Generic Text-Only Printer"), std::string::npos) << devices;
    EXPECT_NE(devices.find("uri = varnotek://0000B4550009/LPT2"), std::string::npos) << devices;

    vnk::testing::ScratchDir dir;
    auto vnkctl = [&](std::vector<std::string> args) {
        args.insert(args.begin(), {"--broadcast", e.broadcast, "--command-port", std::to_string(e.commandPort),
                                   "--config", dir.file("Config.ini")});
        std::ostringstream out, err;
        cli::Environment env;
        env.programDirectory = dir.path();
        env.fastTiming = true;
        const int code = cli::run(args, out, err, env);
        return code == cli::ExitOk ? std::string() : err.str() + out.str();
    };
    ASSERT_EQ(vnkctl({"queue", "DESK", "--port", "1"}), "");

    const std::string page = "the print path, end to end\f";
    dir.write("page.txt", page);
    vnk::testing::LiveCapture capture("tcp port " + std::to_string(lan.lpdPort()), dir.file("lpd.pcap"));
    auto print = [&](std::size_t jobsBefore) {
        const auto sent = joined(vnk::testing::runLines("lp -d DESK_LPT1 -o raw " + dir.file("page.txt") + " 2>&1"));
        for (int i = 0; i < 300 && lan.jobs(0, 1).size() == jobsBefore; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        const auto jobs = lan.jobs(0, 1);
        return jobs.size() == jobsBefore + 1 && std::string(jobs.back().begin(), jobs.back().end()) == page
                   ? std::string()
                   : "lp said: " + sent + "jobs at the box: " + std::to_string(jobs.size());
    };
    EXPECT_EQ(print(0), "");

    // A new address: the queue names the box, not the address, and still prints.
    ASSERT_EQ(vnkctl({"set", "DESK", "ip_address=127.0.0.61"}), "");
    ASSERT_EQ(vnkctl({"reset", "DESK"}), "");
    EXPECT_EQ(print(1), "");

    if (capture.stop()) {
        const std::string decode = "tshark -r " + dir.file("lpd.pcap") + " -d tcp.port==" +
                                   std::to_string(lan.lpdPort()) + ",lpd";
        EXPECT_GE(vnk::testing::runLines(decode + " -Y lpd 2>/dev/null").size(), 6u);
        EXPECT_EQ(joined(vnk::testing::runLines(decode + " -Y _ws.malformed 2>/dev/null")), "");
    }
}
