// The wizard's table of found print servers and the record the write sends.
#include "wizard/core/server_table.h"

#include <gtest/gtest.h>

#include <string>

using namespace vnk;
using namespace vnk::wizard;
using protocol::Byte;
using protocol::ConfigRecord;

namespace {
MacAddress macOf(Byte last) { return {0x00, 0x00, 0xB4, 0x55, 0x01, last}; }
} // namespace

TEST(WizardServerTable, KeepsTheFirstOfEachNameAndAtMostThirtyEntries) {
    WizardServerTable t;
    t.records[0].fill(0x11); // left from an earlier search
    ASSERT_TRUE(t.addFound("ALPHA", macOf(1), 1));
    EXPECT_FALSE(t.addFound("ALPHA", macOf(2), 3)); // exactly the same name: dropped
    EXPECT_TRUE(t.addFound("alpha", macOf(3), 0));  // names compare case-sensitively
    PServerRecord expected{};
    std::copy_n("ALPHA", 5, expected.begin());
    std::copy_n(macOf(1).begin(), 6, expected.begin() + pserver::Ethernet);
    expected[pserver::Type] = 1;
    EXPECT_EQ(t.servers[0], expected);
    EXPECT_EQ(t.records[0], ConfigRecord{});

    // A name longer than 47 bytes is kept, and compared, as its first 47.
    const std::string longName(60, 'N');
    ASSERT_TRUE(t.addFound(longName, macOf(4), 0));
    EXPECT_EQ(pserverName(t.servers[2]), longName.substr(0, 47));
    EXPECT_FALSE(t.addFound(longName.substr(0, 47), macOf(5), 0));

    while (t.count < MaxServers)
        ASSERT_TRUE(t.addFound("BOX" + std::to_string(t.count), macOf(Byte(t.count)), 0));
    EXPECT_FALSE(t.addFound("ONE-TOO-MANY", macOf(99), 0));
    EXPECT_EQ(t.count, MaxServers);

    t.status.fill(0x22);
    t.clear();
    EXPECT_EQ(t.count, 0);
    EXPECT_EQ(t.servers[5], PServerRecord{});
    EXPECT_EQ(t.status[0], 0);
    EXPECT_TRUE(t.addFound("ALPHA", macOf(1), 1));
}

TEST(WizardServerTable, TakeRecordFillsPortsAndAddressAndTheEthernetAddressOnlyWhenAsked) {
    WizardServerTable t;
    ASSERT_TRUE(t.addFound("ALPHA", macOf(1), 1));
    ConfigRecord rec{};
    rec[protocol::record::PortConfig] = 0x0B;
    std::copy_n(macOf(7).begin(), 6, rec.begin() + protocol::record::EthernetAddress);
    const Byte ip[4] = {192, 168, 4, 17};
    std::copy_n(ip, 4, rec.begin() + protocol::record::IpAddress);

    t.takeRecord(0, rec, false);
    EXPECT_EQ(t.records[0], rec);
    EXPECT_EQ(t.servers[0][pserver::PortConfig], 0x0B);
    EXPECT_EQ(protocol::dottedAt(t.servers[0], pserver::Ip), "192.168.4.17");
    EXPECT_EQ(pserverMac(t.servers[0]), macOf(1));
    t.takeRecord(0, rec, true); // over NetBIOS the record gives the address
    EXPECT_EQ(pserverMac(t.servers[0]), macOf(7));
    t.takeRecord(1, rec, true); // no entry 1: nothing happens
    EXPECT_EQ(t.records[1], ConfigRecord{});
}

TEST(WizardServerTable, TheWriteReplacesByte511WithTheXorOfTheRest) {
    ConfigRecord rec{};
    rec[protocol::record::Checksum] = 0x5A;
    EXPECT_EQ(withWizardChecksum(rec)[511], 0); // all zero bytes: checksum 0
    rec[0] = 0x81, rec[16] = 'L', rec[510] = 0x0F;
    const ConfigRecord sent = withWizardChecksum(rec);
    EXPECT_EQ(sent[511], Byte(0x81 ^ 'L' ^ 0x0F));
    EXPECT_TRUE(std::equal(rec.begin(), rec.begin() + 511, sent.begin()));
}
