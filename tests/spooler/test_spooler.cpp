#include "platform/registry.h"
#include "platform/spooler.h"
#include "spooler/spooler_test_support.h"

#include <gtest/gtest.h>

using namespace vnk::platform;
using vnk::testing::StateDir;

namespace {

constexpr const char* Monitors = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors";

// An add-port step that makes the port it is given.
AddPortStep makes(SpoolerPort port, bool ok = true) {
    return [port, ok](const AddPortRequest&) {
        AddPortResult r;
        r.ok = ok;
        r.port = port;
        r.report = {ok ? "port " + port.name : "the box did not answer"};
        return r;
    };
}

} // namespace

TEST(SpoolerHive, ListsAndRemovesKeysBelowAKey) {
    auto hive = RegistryHive::parse("REGEDIT4\n\n"
                                    "[A\\Ports\\QUILL]\n\"Queue1\"=\"Q1\"\n"
                                    "[A\\Ports\\QUILL\\Deeper]\n"
                                    "[A\\Ports\\QUILL2]\n"
                                    "[a\\ports\\quill\\More]\n"
                                    "[A\\PortsToo\\X]\n");
    EXPECT_EQ(hive.subkeys("a\\PORTS"), (std::vector<std::string>{"QUILL", "QUILL2"}));
    EXPECT_TRUE(hive.subkeys("A\\Ports\\QUILL2").empty());

    EXPECT_TRUE(hive.removeKey("A\\Ports\\quill"));
    EXPECT_EQ(hive.subkeys("A\\Ports"), (std::vector<std::string>{"QUILL2"}));
    EXPECT_TRUE(hive.hasKey("A\\PortsToo\\X"));
    EXPECT_FALSE(hive.removeKey("A\\Ports\\QUILL"));

    // A change that gives up leaves the file as it was.
    StateDir state;
    ASSERT_TRUE(setRegistryValue("K", "V", std::uint32_t(1), state.path()));
    EXPECT_FALSE(updateRegistry(
        [](RegistryHive& h) {
            h.setValue("K", "V", std::uint32_t(2));
            return false;
        },
        state.path()));
    EXPECT_EQ(queryRegistryDword("K", "V", state.path()), 1u);
}

TEST(Spooler, RegistersAMonitorNameOnce) {
    StateDir state;
    Spooler spooler(state.path());
    ASSERT_TRUE(spooler.addMonitor({"Network Port Monitor", "Windows 4.0", "KESTRAL.DLL"})) << spooler.lastError();

    // The name is taken whatever the environment and the case.
    EXPECT_FALSE(spooler.addMonitor({"NETWORK port MONITOR", "Windows NT x86", "BRANWICK.DLL"}));
    EXPECT_NE(spooler.lastError().find("already registered"), std::string::npos) << spooler.lastError();

    EXPECT_FALSE(spooler.addMonitor({"", ".", "KESTRAL.DLL"}));
    EXPECT_FALSE(spooler.addMonitor({"Other", "", "KESTRAL.DLL"}));
    EXPECT_FALSE(spooler.addMonitor({"Split\\Name", ".", "KESTRAL.DLL"}));
    EXPECT_FALSE(spooler.lastError().empty());
    EXPECT_TRUE(spooler.addMonitor({"Client", ".", "KESTRAL.DLL"})) << spooler.lastError();

    const auto monitors = Spooler(state.path()).monitors();
    ASSERT_EQ(monitors.size(), 2u);
    EXPECT_EQ(monitors[0].name, "Network Port Monitor");
    EXPECT_EQ(monitors[0].environment, "Windows 4.0");
    EXPECT_EQ(monitors[0].dllName, "KESTRAL.DLL");
    EXPECT_EQ(monitors[1].environment, ".");
}

TEST(Spooler, KeepsPortsAndReplacesAPortOfTheSameName) {
    StateDir state;
    {
        Spooler spooler(state.path());
        ASSERT_TRUE(spooler.addMonitor({"First", ".", "FIRST.DLL"}));
        ASSERT_TRUE(spooler.addMonitor({"Second", ".", "second.dll"}));
        spooler.setAddPortStep("first.DLL", makes({"QUILL", "", "two queues", {"Q_LPT1", "Q_LPT2"}}));
        ASSERT_TRUE(spooler.addPort("first")) << spooler.lastError();
        EXPECT_EQ(spooler.lastReport(), std::vector<std::string>{"port QUILL"});
        spooler.setAddPortStep("FIRST.DLL", makes({"OTHER", "", "another box", {}}));
        ASSERT_TRUE(spooler.addPort("First"));
    }
    Spooler later(state.path());
    auto ports = later.ports();
    ASSERT_EQ(ports.size(), 2u);
    EXPECT_EQ(ports[0].name, "QUILL");
    EXPECT_EQ(ports[0].monitor, "First");
    EXPECT_EQ(ports[0].description, "two queues");
    EXPECT_EQ(ports[0].queues, (std::vector<std::string>{"Q_LPT1", "Q_LPT2"}));

    // The same box again, now through the other monitor and with one queue
    // fewer: one port, and no queue of the old one left behind.
    later.setAddPortStep("SECOND.DLL", makes({"quill", "", "one queue", {"Q_LPT1"}}));
    ASSERT_TRUE(later.addPort("Second")) << later.lastError();
    ports = later.ports();
    ASSERT_EQ(ports.size(), 2u);
    EXPECT_EQ(ports[0].name, "OTHER");
    EXPECT_EQ(ports[1].name, "quill");
    EXPECT_EQ(ports[1].monitor, "Second");
    EXPECT_EQ(ports[1].queues, std::vector<std::string>{"Q_LPT1"});
    const auto hive = RegistryHive::load(registryFilePath(state.path()));
    ASSERT_TRUE(hive);
    EXPECT_FALSE(hive->hasKey(std::string(Monitors) + "\\First\\Ports\\QUILL"));
}

TEST(Spooler, AddPortFailsWithoutAMonitorAStepOrAPort) {
    StateDir state;
    Spooler spooler(state.path());
    EXPECT_FALSE(spooler.addPort("Nobody"));
    EXPECT_NE(spooler.lastError().find("Nobody"), std::string::npos) << spooler.lastError();
    EXPECT_EQ(spooler.lastReport(), std::vector<std::string>{spooler.lastError()});

    ASSERT_TRUE(spooler.addMonitor({"Unknown", ".", "UNKNOWN.DLL"}));
    EXPECT_FALSE(spooler.addPort("Unknown"));
    EXPECT_NE(spooler.lastError().find("UNKNOWN.DLL"), std::string::npos) << spooler.lastError();

    ASSERT_TRUE(spooler.addMonitor({"Failing", ".", "FAIL.DLL"}));
    spooler.setAddPortStep("FAIL.DLL", makes({"QUILL", "", "", {}}, false));
    EXPECT_FALSE(spooler.addPort("Failing"));
    EXPECT_EQ(spooler.lastError(), "the box did not answer");

    // A port name that would split its key is not recorded under another name.
    spooler.setAddPortStep("FAIL.DLL", makes({"QUILL\\LPT1", "", "", {}}));
    EXPECT_FALSE(spooler.addPort("Failing"));
    EXPECT_TRUE(spooler.ports().empty());

    // A state directory that cannot hold registrations is named as the reason.
    Spooler nowhere(state.path() + "/registry.reg");
    EXPECT_FALSE(nowhere.addMonitor({"Failing", ".", "FAIL.DLL"}));
    EXPECT_FALSE(nowhere.addPort("Failing"));
    EXPECT_NE(nowhere.lastError().find("registry.reg is not a directory"), std::string::npos) << nowhere.lastError();
}
