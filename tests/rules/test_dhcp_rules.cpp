// The DHCP setup and information pages' rules without the pages.
#include "sheet/rules/dhcp_rules.h"
#include "support/patterned_record.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>

using namespace vnk;
using namespace vnk::rules;
using protocol::ConfigRecord;
namespace r = protocol::record;

using vnk::testing::patterned;

namespace {

DhcpSetupValues manual(const char* server, const char* start, const char* gateway, const char* mask,
                       std::uint32_t range, const char* dns = "192.168.1.1") {
    DhcpSetupValues v;
    v.printServerIp = server;
    v.startingIp = start;
    v.gateway = gateway;
    v.netmask = mask;
    v.ipRange = range;
    v.dns = dns;
    v.startup = DhcpStartup::Enable;
    v.setup = DhcpSetup::Manual;
    return v;
}

std::string messageOf(const DhcpSetupValues& v) {
    const auto f = checkDhcpManual(v);
    return f ? f->message : "";
}

std::uint32_t n(const char* dotted) {
    return toNumber(*parseLooseAddress(dotted));
}

} // namespace

TEST(LooseAddressParser, KeepsTheLowByteAndChecksOnlyZeroPieces) {
    EXPECT_EQ(parseLooseAddress("192.168.1.200"), (Address{192, 168, 1, 200}));
    EXPECT_EQ(parseLooseAddress("1.2.3.257"), (Address{1, 2, 3, 1}));
    EXPECT_EQ(parseLooseAddress("1.2.3.4.5"), (Address{1, 2, 3, 4}));
    EXPECT_EQ(parseLooseAddress(" 10.0.0.1x"), (Address{10, 0, 0, 1}));
    EXPECT_EQ(parseLooseAddress("-1.0.00.0"), (Address{255, 0, 0, 0}));
    for (const char* bad : {"", "1.2.3", "256.1.1.1", "1.2.3.256", "a.1.1.1", "1.2.3.x", "1..2.3"})
        EXPECT_FALSE(parseLooseAddress(bad)) << bad;
}

TEST(DhcpSetupActivation, RefusalsInTheirOrder) {
    ConfigRecord rec{};
    rec[r::OptionFlags] = r::OptTcpIp;
    rec[r::Capabilities] = r::CapTcpIp;
    EXPECT_EQ(dhcpRefusalText(dhcpSetupRefusal(rec), "PS-1"), "'PS-1' do NOT support DHCP !!!");
    rec[r::Capabilities] = r::CapDhcpServer;
    EXPECT_EQ(dhcpRefusalText(dhcpSetupRefusal(rec), "PS-1"), "'PS-1' do NOT support TCP/IP !!!");
    rec[r::Capabilities] = r::CapDhcpServer | r::CapTcpIp;
    rec[r::OptionFlags] = 0;
    EXPECT_EQ(dhcpRefusalText(dhcpSetupRefusal(rec), "PS-1"), "You must ENABLE TCP/IP first!!");
    rec[r::OptionFlags] = r::OptTcpIp;
    EXPECT_EQ(dhcpSetupRefusal(rec), DhcpRefusal::None);
}

TEST(DhcpSetupActivation, ModesFromTheRecord) {
    ConfigRecord rec{};
    rec[r::DhcpDns] = 8; // the DNS server alone leaves the setup Auto
    rec[r::DhcpMode] = 1;
    auto v = dhcpSetupValues(rec);
    EXPECT_EQ(v.setup, DhcpSetup::Auto);
    EXPECT_EQ(v.startup, DhcpStartup::Enable);
    EXPECT_FALSE(dhcpControlStates(v.startup, v.setup).edits);

    rec[r::DhcpRange + 1] = 1; // range 256 alone makes it Manual
    rec[r::DhcpMode] = 7;
    v = dhcpSetupValues(rec);
    EXPECT_EQ(v.setup, DhcpSetup::Manual);
    EXPECT_EQ(v.ipRange, 256u);
    EXPECT_EQ(v.startup, DhcpStartup::Disable);
    EXPECT_FALSE(dhcpControlStates(v.startup, v.setup).edits);
    EXPECT_TRUE(dhcpControlStates(DhcpStartup::Auto, DhcpSetup::Manual).edits);
}

TEST(DhcpWriteChecks, RangeLimitUpToTheEndOfTheSubnet) {
    auto v = manual("192.168.1.10", "192.168.1.200", "192.168.1.1", "255.255.255.0", 60);
    const auto f = checkDhcpManual(v);
    ASSERT_TRUE(f);
    EXPECT_EQ(f->message, "IP range just can be from 1 to 55");
    EXPECT_EQ(f->focus, DhcpControl::IpRange);
    v.ipRange = 55;
    EXPECT_FALSE(checkDhcpManual(v));
}

TEST(DhcpWriteChecks, RangeAboveSixteenBitsIsRefused) {
    auto v = manual("10.0.0.5", "10.0.0.1", "10.0.0.1", "255.254.0.0", 70000);
    EXPECT_EQ(messageOf(v), "IP range just can be from 1 to 65535");
    v.ipRange = 65535;
    ConfigRecord rec{};
    ASSERT_FALSE(storeDhcpSetup(v, rec));
    EXPECT_EQ(protocol::getLE16(rec, r::DhcpRange), 65535);
}

TEST(DhcpWriteChecks, FirstFailureInTableOrder) {
    EXPECT_EQ(messageOf(manual("x", "x", "x", "x", 0, "x")), " The IP address range given is invalid.");
    EXPECT_EQ(messageOf(manual("10.0.0.5", "x", "x", "x", 0, "x")),
              " The Gateway IP address range given is invalid.");
    EXPECT_EQ(messageOf(manual("10.0.0.5", "x", "0.0.0.0", "x", 0, "x")),
              " The Starting IP address range given is invalid.");
    EXPECT_EQ(messageOf(manual("10.0.0.5", "10.0.0.9", "0.0.0.0", "x", 0, "x")),
              " The netmask is not valid.");
    EXPECT_EQ(messageOf(manual("10.0.0.5", "10.0.0.9", "0.0.0.0", "255.0.255.0", 0, "x")),
              " The specified range can't be zero");
    EXPECT_EQ(messageOf(manual("10.0.0.5", "10.0.0.9", "0.0.0.0", "255.255.255.0", 5, "x")),
              " The DNS is not valid.");
    const auto f = checkDhcpManual(manual("10.0.0.5", "10.0.0.9", "0.0.0.0", "255.0.255.0", 5));
    ASSERT_TRUE(f);
    EXPECT_EQ(f->message, " The netmask is not valid.");
    EXPECT_EQ(f->focus, DhcpControl::Netmask);
}

TEST(DhcpWriteChecks, ConsistencyCases) {
    // No print server IP while a starting IP is set: blamed on the DNS field.
    auto f = checkDhcpManual(manual("0.0.0.0", "192.168.1.100", "0.0.0.0", "255.255.255.0", 10));
    ASSERT_TRUE(f);
    EXPECT_EQ(f->message, " The DNS is not valid.");
    EXPECT_EQ(f->focus, DhcpControl::Dns);

    f = checkDhcpManual(manual("10.0.0.5", "10.0.1.10", "10.0.0.1", "255.255.255.0", 10));
    ASSERT_TRUE(f);
    EXPECT_EQ(f->message, " The Starting IP address range given is invalid.");
    EXPECT_EQ(f->focus, DhcpControl::StartingIp);

    const std::uint32_t m24 = n("255.255.255.0");
    EXPECT_EQ(dhcpConsistency(n("10.0.0.5"), n("10.0.0.10"), n("10.0.1.1"), m24, 1), DhcpBadGateway);
    EXPECT_EQ(dhcpConsistency(n("10.0.0.5"), n("10.0.2.10"), n("10.0.1.1"), m24, 1), DhcpBadPrintServerIp);
    EXPECT_EQ(dhcpConsistency(n("10.0.0.5"), 0, n("10.0.1.1"), m24, 1), DhcpBadGateway);
    EXPECT_EQ(dhcpConsistency(n("10.0.0.5"), n("10.0.0.10"), 0, m24, 257), DhcpRangeTooLarge);
    EXPECT_EQ(dhcpConsistency(0, 0, 0, 0, 9), DhcpOk);
    // A print server IP alone with no mask: 2^32 addresses, no overflow.
    EXPECT_EQ(dhcpConsistency(n("10.0.0.5"), 0, 0, 0, 0xFFFFFFFFu), DhcpOk);
    EXPECT_EQ(dhcpConsistencyFailure(DhcpRangeTooLarge).focus, DhcpControl::IpRange);
    EXPECT_EQ(dhcpConsistencyFailure(DhcpBadPrintServerIp).focus, DhcpControl::PrintServerIp);
}

TEST(DhcpWriteChecks, EmptyNetmaskCountsAsClassB) {
    // Same 255.255.0.0 network: accepted; a different one: the starting IP is blamed.
    EXPECT_EQ(dhcpConsistency(n("10.1.0.5"), n("10.1.7.10"), 0, 0, 10), DhcpOk);
    EXPECT_EQ(dhcpConsistency(n("10.1.0.5"), n("10.2.0.10"), 0, 0, 10), DhcpBadStartingIp);
    EXPECT_EQ(dhcpConsistency(n("10.1.0.5"), n("10.1.0.10"), 0, 0, 65537), DhcpRangeTooLarge);
    EXPECT_EQ(messageOf(manual("10.1.0.5", "10.2.0.10", "0.0.0.0", "0.0.0.0", 10)),
              " The Starting IP address range given is invalid.");
    EXPECT_EQ(messageOf(manual("10.1.0.5", "10.1.200.10", "0.0.0.0", "0.0.0.0", 10)), "");
}

TEST(DhcpWrite, DisableStoresOnlyTheMode) {
    ConfigRecord rec = patterned();
    const ConfigRecord before = rec;
    DhcpSetupValues v = manual("bad", "bad", "bad", "bad", 0, "bad");
    v.startup = DhcpStartup::Disable;
    ASSERT_FALSE(storeDhcpSetup(v, rec));
    for (std::size_t i = 0; i < rec.size(); ++i)
        EXPECT_EQ(rec[i], i == r::DhcpMode ? 2 : before[i]) << "byte " << i;
}

TEST(DhcpWrite, AutoSetupClearsTheServerFieldsOnly) {
    ConfigRecord rec = patterned();
    const ConfigRecord before = rec;
    DhcpSetupValues v = manual("bad", "bad", "bad", "bad", 0, "bad");
    v.setup = DhcpSetup::Auto;
    ASSERT_FALSE(storeDhcpSetup(v, rec));
    for (std::size_t i = 0; i < rec.size(); ++i) {
        const protocol::Byte expected = i == r::DhcpMode ? 1 : (i >= 470 && i <= 487) ? 0 : before[i];
        EXPECT_EQ(rec[i], expected) << "byte " << i;
    }
}

TEST(DhcpWrite, ManualStoresAllFieldsOrNothing) {
    ConfigRecord rec = patterned();
    const ConfigRecord before = rec;
    DhcpSetupValues v =
        manual("192.168.1.10", "192.168.1.200", "192.168.1.1", "255.255.255.0", 60, "192.168.1.2");
    ASSERT_TRUE(storeDhcpSetup(v, rec));
    EXPECT_EQ(rec, before); // not even the start-up mode

    v.ipRange = 55;
    v.startup = DhcpStartup::Auto;
    ASSERT_FALSE(storeDhcpSetup(v, rec));
    EXPECT_EQ(protocol::dottedAt(rec, r::IpAddress), "192.168.1.10");
    EXPECT_EQ(protocol::dottedAt(rec, r::DhcpStart), "192.168.1.200");
    EXPECT_EQ(protocol::dottedAt(rec, r::DhcpGateway), "192.168.1.1");
    EXPECT_EQ(protocol::dottedAt(rec, r::DhcpNetmask), "255.255.255.0");
    EXPECT_EQ(protocol::dottedAt(rec, r::DhcpDns), "192.168.1.2");
    EXPECT_EQ(rec[r::DhcpRange], 55);
    EXPECT_EQ(rec[r::DhcpRange + 1], 0);
    EXPECT_EQ(rec[r::DhcpMode], 0);
    for (std::size_t i = 0; i < rec.size(); ++i)
        if ((i < 470 || i > 488) && (i < 498 || i > 501)) {
            EXPECT_EQ(rec[i], before[i]) << "byte " << i;
        }
}

TEST(DhcpInformationPage, StatusTextAndAddresses) {
    EXPECT_EQ(dhcpStatusText(0, 0, "old"), "Auto/Inactive");
    EXPECT_EQ(dhcpStatusText(1, 1, "old"), "Enable/Active");
    EXPECT_EQ(dhcpStatusText(2, 0, "old"), "Disable/Inactive");
    EXPECT_EQ(dhcpStatusText(9, 1, "old"), "Active");
    EXPECT_EQ(dhcpStatusText(1, 2, "old"), "old");

    // Each address from its own place in the status record (buffer offset + 10).
    ConfigRecord rec{};
    rec[r::DhcpMode] = 1;
    protocol::StatusBuffer status{};
    status[protocol::HeaderSize + 458] = 1;
    for (std::size_t at : {459, 465, 469, 473, 477})
        status[protocol::HeaderSize + at] = protocol::Byte(at - 400);
    const DhcpInformation info = dhcpInformation(rec, status, "");
    EXPECT_EQ(info.status, "Enable/Active");
    EXPECT_EQ(info.startingIp + " " + info.gateway + " " + info.netmask + " " + info.dns + " " +
                  info.nextAvailableIp,
              "59.0.0.0 65.0.0.0 69.0.0.0 73.0.0.0 77.0.0.0");

    rec[r::Capabilities] = r::CapTcpIp;
    EXPECT_EQ(dhcpInformationRefusal(rec, "PS-1"), "'PS-1' do NOT support DHCP !!!");
    rec[r::Capabilities] = r::CapDhcpServer;
    EXPECT_FALSE(dhcpInformationRefusal(rec, "PS-1"));
}

TEST(DhcpChangeFromTheCommandLine, RunsThePageChecksOnlyOnDhcpChanges) {
    ConfigRecord before{};
    before[r::Capabilities] = r::CapTcpIp | r::CapDhcpServer;
    before[r::OptionFlags] = r::OptTcpIp;
    const protocol::Byte server[] = {192, 168, 1, 10}, start[] = {192, 168, 1, 200},
                         mask[] = {255, 255, 255, 0};
    std::copy(std::begin(server), std::end(server), before.begin() + r::IpAddress);
    std::copy(std::begin(start), std::end(start), before.begin() + r::DhcpStart);
    std::copy(std::begin(mask), std::end(mask), before.begin() + r::DhcpNetmask);
    before[r::DhcpMode] = 1;
    before[r::DhcpRange] = 60; // already too many: not this change's fault

    ConfigRecord after = before;
    after[r::Gateway] = 7;
    EXPECT_TRUE(checkDhcpChange(before, after, "PS-1").empty());

    after[r::DhcpRange] = 61;
    EXPECT_EQ(checkDhcpChange(before, after, "PS-1"),
              std::vector<std::string>{"IP range just can be from 1 to 55"});
    after[r::DhcpRange] = 55;
    EXPECT_TRUE(checkDhcpChange(before, after, "PS-1").empty());

    after[r::DhcpRange] = 61;
    after[r::DhcpMode] = 2; // Disable: nothing is checked
    EXPECT_TRUE(checkDhcpChange(before, after, "PS-1").empty());

    after[r::OptionFlags] = 0;
    EXPECT_EQ(checkDhcpChange(before, after, "PS-1"),
              std::vector<std::string>{"You must ENABLE TCP/IP first!!"});
}
