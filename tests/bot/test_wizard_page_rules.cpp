// What the wizard's pages decide: the address check and proposal of page 3, its
// starting state for each kind of box and PC, and page 4's summary.
#include "wizard/rules/page_rules.h"

#include "platform/box_text.h"
#include "protocol/identity.h"

#include <gtest/gtest.h>

namespace vnk::wizard {
namespace {

namespace rec = protocol::record;

TEST(WizardIpText, AcceptsWhatAtoiReadsAsFourBytesAndRefusesTheRest) {
    EXPECT_EQ(parseWizardIp("0.0.0.0"), (Ipv4{0, 0, 0, 0}));
    EXPECT_EQ(parseWizardIp("192.168.1.254"), (Ipv4{192, 168, 1, 254}));
    EXPECT_EQ(parseWizardIp("10.0.0.7x"), (Ipv4{10, 0, 0, 7})); // atoi ignores what follows the digits
    EXPECT_EQ(parseWizardIp("010.1.1.1"), (Ipv4{10, 1, 1, 1}));
    for (const char* bad : {"256.1.1.1", "1.2.3", "a.b.c.d", "", ".1.2.3", "1..2.3", "1.2.3.", "1.2.3.4.5",
                            "1.2.3.-1", "x0.1.2.3", "99999999999999999999.1.1.1"})
        EXPECT_FALSE(parseWizardIp(bad)) << bad;
}

TEST(WizardIpText, ProposesTheNeighbourOfThisPcAndWarnsAcrossSubnets) {
    EXPECT_EQ(proposedAddress({192, 168, 1, 255}), (Ipv4{192, 168, 1, 254}));
    EXPECT_EQ(proposedAddress({192, 168, 1, 254}), (Ipv4{192, 168, 1, 255}));
    EXPECT_EQ(proposedAddress({192, 168, 1, 0}), (Ipv4{192, 168, 1, 1}));
    EXPECT_EQ(radio1Text("0.0.0.0", Ipv4{172, 16, 0, 9}), "172.16.0.10");
    EXPECT_EQ(radio1Text("0.0.0.0", std::nullopt), "0.0.0.0");
    EXPECT_EQ(radio1Text("1.2.3.4", Ipv4{172, 16, 0, 9}), "1.2.3.4");

    const Ipv4 mask{255, 255, 255, 0};
    EXPECT_FALSE(subnetWarning({192, 168, 1, 20}, mask, {192, 168, 1, 10}));
    EXPECT_TRUE(subnetWarning({192, 168, 2, 20}, mask, {192, 168, 1, 10}));
    EXPECT_FALSE(subnetWarning({10, 0, 0, 20}, mask, {192, 168, 1, 10})); // the factory network is never warned of
    EXPECT_TRUE(subnetWarning({10, 0, 1, 20}, mask, {192, 168, 1, 10}));
    EXPECT_EQ(factoryDeviceName({0x00, 0x50, 0xBA, 0x0a, 0xB1, 0x02}), "PS0AB102");
}

// A table with one box of the given type, option flags and record address.
WizardServerTable oneBox(Byte type, Byte flags, Ipv4 ip) {
    WizardServerTable t;
    t.count = 1;
    t.chosen = 0;
    t.servers[0][pserver::Type] = type;
    t.records[0][rec::OptionFlags] = flags;
    std::copy(ip.begin(), ip.end(), t.records[0].begin() + rec::IpAddress);
    // The box is at 192.168.5.20/24 now.
    const Ipv4 inUse{192, 168, 5, 20}, mask{255, 255, 255, 0};
    std::copy(inUse.begin(), inUse.end(), t.status.begin() + StatusIpInUse);
    std::copy(mask.begin(), mask.end(), t.status.begin() + StatusMaskInUse);
    return t;
}

// Finish writes the box only when it is to get another name or address than it
// holds, and nothing the wizard keeps names an address the box does not have.
TEST(WizardChanges, AreMeasuredAgainstWhatTheBoxHolds) {
    WizardServerTable t;
    ASSERT_TRUE(t.addFound("ACCOUNTS-PRINTER-2", {0, 0, 0xB4, 1, 2, 3}, 0)); // longer than the field
    protocol::ConfigRecord held{};
    std::copy_n("ACCOUNTS", 8, held.begin() + rec::AliasName);
    t.takeRecord(0, held, false); // on 0.0.0.0
    t.chosen = 0;
    const auto ipOf = [&] { return std::vector<Byte>(t.servers[0].begin() + pserver::Ip, t.servers[0].begin() + pserver::Ip + 4); };

    EXPECT_EQ(page2Next(t, "ACCOUNTS-PRINTER-2"), NameChoice::Kept); // shown whole, left alone
    EXPECT_TRUE(page3Next(t, 1, "192.0.2.3")); // the proposal as shown: still another address
    EXPECT_TRUE(t.changed);
    EXPECT_EQ(ipOf(), (std::vector<Byte>{192, 0, 2, 3}));
    EXPECT_TRUE(page3Next(t, 0, "192.0.2.3")); // then "keep": the box's own, everywhere
    EXPECT_FALSE(t.changed);
    EXPECT_EQ(ipOf(), (std::vector<Byte>{0, 0, 0, 0}));
    EXPECT_EQ(t.records[0], held);
    EXPECT_FALSE(page3Next(t, 1, "1.2.3"));

    // Names count the bytes the record stores: nine characters are 18 bytes of Big5.
    EXPECT_EQ(page2Next(t, "會計部印表機一號樓"), NameChoice::TooLong);
    EXPECT_EQ(pserverName(t.servers[0]), "ACCOUNTS-PRINTER-2");
    EXPECT_EQ(page2Next(t, "會計部印表機"), NameChoice::Changed);
    const std::string big5 = platform::encodeBoxText("會計部印表機", platform::CodePage::Big5);
    EXPECT_EQ(big5.size(), 12u);
    EXPECT_EQ(pserverName(t.servers[0]), big5);
    EXPECT_EQ(protocol::fieldText(t.records[0], rec::AliasName, 16), big5);
    EXPECT_TRUE(t.changed);
    EXPECT_EQ(page2Next(t, "ACCOUNTS-PRINTER-2"), NameChoice::Kept); // taken back
    EXPECT_FALSE(t.changed);
    EXPECT_EQ(t.records[0], held);
}

TEST(WizardPage3, StartsFromTheBoxTypeItsRecordAndThePcsProtocols) {
    const std::optional<Ipv4> pc = Ipv4{192, 168, 5, 9};
    {   // A box on automatic addressing, a PC with TCP/IP alone: the neighbour is proposed.
        auto t = oneBox(0, rec::OptTcpIp, {0, 0, 0, 0});
        t.ipxInstalled = t.netbeuiInstalled = false;
        const Page3Start s = page3Activate(t, pc);
        EXPECT_TRUE(s.controlsEnabled);
        EXPECT_EQ(s.radio, 1);
        EXPECT_EQ(s.ipText, "192.168.5.10");
        EXPECT_FALSE(s.subnetWarning);
        EXPECT_TRUE(t.ipSettable);
        EXPECT_EQ(t.servers[0][pserver::PortModes], 2);
    }
    {   // A fixed address is kept and shown; the IPX box prints over IPX on every port.
        auto t = oneBox(1, rec::OptTcpIp, {192, 168, 5, 77});
        const Page3Start s = page3Activate(t, pc);
        EXPECT_EQ(s.radio, 0);
        EXPECT_EQ(s.ipText, "192.168.5.77");
        EXPECT_EQ(t.servers[0][pserver::PortModes + 2], 0);
    }
    {   // An IPX box on automatic addressing is left alone when the PC has IPX.
        auto t = oneBox(1, rec::OptTcpIp, {0, 0, 0, 0});
        EXPECT_EQ(page3Activate(t, pc).radio, 0);
        t.ipxInstalled = t.netbeuiInstalled = false;
        EXPECT_EQ(page3Activate(t, pc).radio, 1);
    }
    {   // No TCP/IP on the box: nothing to set.
        auto t = oneBox(0, 0, {0, 0, 0, 0});
        const Page3Start s = page3Activate(t, pc);
        EXPECT_FALSE(s.controlsEnabled);
        EXPECT_EQ(s.ipText, text::TcpIpOff);
        EXPECT_FALSE(t.ipSettable);
    }
    {   // A TCP/IP-only box and a PC without TCP/IP: the user is told.
        auto t = oneBox(0, rec::OptTcpIp, {0, 0, 0, 0});
        t.tcpInstalled = false;
        const Page3Start s = page3Activate(t, pc);
        EXPECT_TRUE(s.noTcpIpMessage);
        EXPECT_FALSE(s.controlsEnabled);
        EXPECT_EQ(s.radio, 0);
    }
    {   // The PC on another subnet than the box is now on.
        auto t = oneBox(0, rec::OptTcpIp, {0, 0, 0, 0});
        t.ipxInstalled = t.netbeuiInstalled = false;
        EXPECT_TRUE(page3Activate(t, Ipv4{192, 168, 9, 9}).subnetWarning);
        EXPECT_EQ(page3Activate(t, std::nullopt).radio, 0); // no address of its own to propose from
    }
}

TEST(WizardPage4, SummarisesWhatTheBoxWillDo) {
    auto t = oneBox(1, rec::OptTcpIp | rec::OptNetBeui, {192, 168, 5, 77});
    t.servers[0][pserver::Ethernet + 3] = 0xAB;
    setPserverName(t.servers[0], "QUILL");
    t.ipSettable = true;
    Summary s = summary(t);
    EXPECT_EQ(s.deviceName, "PSAB0000");
    EXPECT_EQ(s.assignedName, "QUILL");
    EXPECT_EQ(s.ipx, text::On);
    EXPECT_EQ(s.netbeui, text::On);
    EXPECT_EQ(s.tcpIp, text::On);
    EXPECT_EQ(s.ipAssignment, text::Fixed);
    EXPECT_EQ(s.ipAddress, "192.168.5.77");

    auto automatic = oneBox(0, rec::OptNetBeui, {0, 0, 0, 0});
    automatic.ipSettable = true;
    s = summary(automatic);
    EXPECT_EQ(s.netbeui, text::Off); // NetBEUI prints only on an IPX-type box
    EXPECT_EQ(s.ipAssignment, text::Automatic);
    automatic.ipSettable = false;
    s = summary(automatic);
    EXPECT_EQ(s.tcpIp, text::Off);
    EXPECT_EQ(s.ipAssignment, text::Stopped);
}

} // namespace
} // namespace vnk::wizard
