// The wizard's steps over links that record what they were asked: which link the
// search, the status read and Finish's write take in each transport mode, and
// the message each failure gives.
#include "wizard/core/wizard_network.h"

#include <gtest/gtest.h>

#include <string>

using namespace vnk;
using namespace vnk::wizard;

namespace {

// A link that notes every call in a shared log ("udp.search(0,3) nb.start ...").
class RecordingLink final : public NetbiosLink {
public:
    RecordingLink(std::string name, std::string& log) : m_name(std::move(name)), m_log(log) {}

    int found = 0; // entries a search adds
    int startResult = 1, writeResult = 1, resetResult = 1;

    int start() override { return note("start"), startResult; }
    int search(WizardServerTable& table, int firstIndex, int passes) override {
        note("search(" + std::to_string(firstIndex) + "," + std::to_string(passes) + ")");
        for (int i = 0; i < found; ++i)
            table.addFound(m_name + std::to_string(i), {}, 0);
        return 1;
    }
    int readConfig(WizardServerTable&, int) override { return note("read"), 1; }
    int readStatus(WizardServerTable&, int index) override { return note("status" + std::to_string(index)), 1; }
    int writeConfig(WizardServerTable&, int index) override {
        return note("write" + std::to_string(index)), writeResult;
    }
    int reset(WizardServerTable&, int index) override { return note("reset" + std::to_string(index)), resetResult; }

private:
    void note(const std::string& what) { m_log += (m_log.empty() ? "" : " ") + m_name + "." + what; }
    std::string m_name;
    std::string& m_log;
};

struct Links {
    std::string log;
    RecordingLink udp{"udp", log}, ipx{"ipx", log}, nb{"nb", log};
    WizardNetwork net(InstalledProtocols installed) { return {installed, &udp, &ipx, &nb}; }
};

} // namespace

TEST(WizardSteps, TheSearchTakesTheLinksOfTheModeTheInstalledProtocolsGive) {
    struct Case {
        InstalledProtocols installed;
        int startResult;
        int mode;
        const char* calls;
    };
    const Case cases[] = {
        {{true, true, true}, 1, ModeIpx, "ipx.search(0,3)"},
        // NetBIOS boxes come after the two UDP entries; only theirs are read.
        {{true, false, true}, 1, ModeTcpIp, "udp.search(0,3) nb.start nb.search(2,3)"},
        {{true, false, true}, 0, ModeTcpIp, "udp.search(0,3) nb.start"},
        {{true, false, false}, 1, ModeTcpIp, "udp.search(0,3)"},
        {{false, false, true}, 1, ModeNetbeui, "nb.start nb.search(0,3)"},
        {{false, false, true}, 0, ModeNetbeui, "nb.start"},
        {{false, false, false}, 1, ModeNone, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.calls);
        Links links;
        links.udp.found = 2;
        links.nb.found = 1;
        links.nb.startResult = c.startResult;
        WizardNetwork net = links.net(c.installed);
        WizardServerTable table;
        table.addFound("FROM-THE-LAST-SEARCH", {}, 0);
        searchProcedure(table, net);
        EXPECT_EQ(links.log, c.calls);
        EXPECT_EQ(table.mode, c.mode);
        EXPECT_EQ(table.ipxInstalled, c.installed.ipx);
        EXPECT_EQ(table.tcpInstalled, c.installed.tcpIp);
        EXPECT_EQ(table.netbeuiInstalled, c.installed.netbeui);
        EXPECT_NE(pserverName(table.servers[0]), "FROM-THE-LAST-SEARCH");
    }

    // A transport without a link finds nothing.
    Links links;
    WizardNetwork net = links.net({true, true, false});
    net.ipx = nullptr;
    WizardServerTable table;
    searchProcedure(table, net);
    EXPECT_EQ(links.log, "");
    EXPECT_EQ(table.count, 0);
}

TEST(WizardSteps, FinishWritesAndResetsOverTheChosenEntrysLinkAndNamesTheFailure) {
    struct Case {
        int mode;
        bool overNetbios;
        int writeResult, resetResult;
        const char* calls;
        const char* message;
    };
    const Case cases[] = {
        {ModeIpx, false, 1, 1, "ipx.write1 ipx.reset1", ""},
        {ModeIpx, false, 0, 1, "ipx.write1", "IPX Write failed!"},
        {ModeIpx, false, 1, 0, "ipx.write1 ipx.reset1", "IPX Reset print server failed!"},
        {ModeTcpIp, false, 1, 1, "udp.write1 udp.reset1", ""},
        {ModeTcpIp, false, 0, 1, "udp.write1", "TCP/IP Write failed!"},
        {ModeTcpIp, false, 1, 0, "udp.write1 udp.reset1", "TCP/IP Reset print server failed!"},
        {ModeTcpIp, true, 1, 1, "nb.write1 nb.reset1", ""},
        {ModeTcpIp, true, 0, 1, "nb.write1", "NetBEUI Write failed!"},
        {ModeTcpIp, true, 1, 0, "nb.write1 nb.reset1", "NetBEUI Reset print server failed!"},
        {ModeNetbeui, false, 0, 1, "nb.write1", "NetBEUI Write failed!"},
        {ModeNetbeui, false, 1, 0, "nb.write1 nb.reset1", "NetBEUI Reset print server failed!"},
        {ModeNone, false, 1, 1, "", "Write failed!"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.calls) + " / " + c.message);
        Links links;
        for (RecordingLink* l : {&links.udp, &links.ipx, &links.nb}) {
            l->writeResult = c.writeResult;
            l->resetResult = c.resetResult;
        }
        WizardNetwork net = links.net({});
        WizardServerTable table;
        table.addFound("FIRST", {}, 0);
        table.addFound("CHOSEN", {}, 0);
        if (c.overNetbios)
            table.setNetbiosName(1, "TB0001AX.CFG");
        table.chosen = 1;
        table.mode = c.mode;
        table.changed = true;
        EXPECT_EQ(configurationWrite(table, net), c.message);
        EXPECT_EQ(links.log, c.calls);

        // The status read of page 3 takes the same link.
        links.log.clear();
        const std::string calls = c.calls;
        EXPECT_EQ(statusRead(table, net), calls.empty() ? 0 : 1);
        EXPECT_EQ(links.log, calls.empty() ? "" : calls.substr(0, calls.find('.')) + ".status1");

        // Nothing changed: nothing is sent.
        links.log.clear();
        table.changed = false;
        EXPECT_EQ(configurationWrite(table, net), "");
        EXPECT_EQ(links.log, "");
    }
}
