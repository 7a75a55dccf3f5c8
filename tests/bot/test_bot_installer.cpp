// bot-installer as a setup program runs it: ClientCallme registers the monitor
// and adds the port of the box pserver.bin names, with CUPS queues on a cupsd
// this test starts; a second run updates them; a wrong call is refused.
#include "platform/spooler.h"
#include "support/cupsd.h"
#include "support/sim_helpers.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace vnk::testing {
namespace {

// Runs bot-installer with the given arguments and environment; its exit status
// and what it wrote.
struct Outcome {
    int status = -1;
    std::string output;
};
Outcome installer(const ScratchDir& dir, const std::string& environment, const std::string& arguments) {
    const std::string out = dir.file("installer.out");
    const std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " + environment + " " +
                                BOT_INSTALLER + " " + arguments + " >" + out + " 2>&1";
    const int raw = std::system(command.c_str());
    Outcome r;
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    std::ifstream in(out);
    std::stringstream text;
    text << in.rdbuf();
    r.output = text.str();
    return r;
}

void writePserverBin(const ScratchDir& state, unsigned char lastIpByte) {
    std::array<unsigned char, 81> record{};
    const std::string name = "QUILL-3P2S";
    std::copy(name.begin(), name.end(), record.begin());
    record[48] = 192, record[49] = 168, record[50] = 1, record[51] = lastIpByte;
    record[69] = 0x03; // three parallel ports
    record[70] = 0x00, record[71] = 0x00, record[72] = 0xB4, record[73] = 0x02, record[74] = 0x10, record[75] = 0x01;
    record[77] = 0x05; // LPT1 and LPT3 chosen
    std::filesystem::create_directories(state.file("system"));
    std::ofstream(state.file("system/pserver.bin"), std::ios::binary)
        .write(reinterpret_cast<const char*>(record.data()), std::streamsize(record.size()));
}

TEST(BotInstaller, ClientCallmeAddsThePortWithItsCupsQueuesAndARunAgainUpdatesThem) {
    if (!TestCupsd::installed())
        GTEST_SKIP() << "cupsd is not installed (./run setup installs it)";
    TestCupsd cupsd;
    ASSERT_TRUE(cupsd.running()) << cupsd.whyNot();
    ScratchDir state;
    const std::string environment = "VNK_STATE_DIR=" + state.path() + " CUPS_SERVER=" + cupsd.server();
    const std::string arguments = "--export ClientCallme --monitor 'Varnotek Network Port'";

    writePserverBin(state, 20);
    Outcome r = installer(state, environment, arguments);
    ASSERT_EQ(r.status, 0) << r.output;
    auto queues = cupsd.queues();
    ASSERT_TRUE(queues);
    ASSERT_EQ(queues->size(), 2u) << r.output;
    std::sort(queues->begin(), queues->end(), [](auto& a, auto& b) { return a.name < b.name; });
    EXPECT_EQ((*queues)[0].name, "QUILL-3P2S_LPT1");
    EXPECT_EQ((*queues)[0].deviceUri, "lpd://192.168.1.20/LPT1");
    EXPECT_EQ((*queues)[1].name, "QUILL-3P2S_LPT3");
    EXPECT_EQ((*queues)[1].deviceUri, "lpd://192.168.1.20/LPT3");
    // This cupsd has no varnotek backend: the queues print over LPD, and the run says so.
    EXPECT_NE(r.output.find("has no varnotek backend"), std::string::npos) << r.output;

    // The box got another address: the same queues point to it.
    writePserverBin(state, 21);
    r = installer(state, environment, arguments);
    ASSERT_EQ(r.status, 0) << r.output;
    queues = cupsd.queues();
    ASSERT_TRUE(queues);
    ASSERT_EQ(queues->size(), 2u) << r.output;
    for (const auto& q : *queues)
        EXPECT_EQ(q.deviceUri.rfind("lpd://192.168.1.21/LPT", 0), 0u) << q.deviceUri;

    const platform::Spooler spooler(state.path());
    ASSERT_EQ(spooler.monitors().size(), 1u); // the second registration was refused, quietly
    EXPECT_EQ(spooler.monitors()[0].environment, ".");
    ASSERT_EQ(spooler.ports().size(), 1u);
    EXPECT_EQ(spooler.ports()[0].monitor, "Varnotek Network Port");
}

TEST(BotInstaller, RefusesACallItCannotMake) {
    ScratchDir state;
    const std::string environment = "VNK_STATE_DIR=" + state.path();
    // Names the loader would find in libbot's dependencies are no entry points either.
    for (const std::string name : {"Uninstall", "strlen", "qt_version_tag"}) {
        const Outcome refused = installer(state, environment, "--export " + name + " --monitor M");
        EXPECT_EQ(refused.status, 2) << name;
        EXPECT_NE(refused.output.find("\"" + name + "\" is not an entry point"), std::string::npos) << refused.output;
    }
    Outcome r = installer(state, environment, "--export Callme --monitor M --library " + state.file("missing.so"));
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.output.find("cannot load"), std::string::npos) << r.output;
    // Without a display the wizard cannot open, and the entry point still returns 0.
    r = installer(state, environment, "--export NTCallme --monitor M");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.output.find("no display"), std::string::npos) << r.output;
}

} // namespace
} // namespace vnk::testing
