// The IP settings page's rules without the page.
#include "sheet/rules/ip_rules.h"

#include <gtest/gtest.h>

using namespace vnk;
using namespace vnk::rules;

TEST(StrictAddressParser, AcceptsWhatTheToolAlwaysAccepted) {
    EXPECT_EQ(parseStrictAddress("192.168.1.10"), (Address{192, 168, 1, 10}));
    EXPECT_EQ(parseStrictAddress("1.2.3.4x"), (Address{1, 2, 3, 4})); // the rest of a piece is ignored
    EXPECT_EQ(parseStrictAddress("0.0.0.0"), (Address{0, 0, 0, 0}));
    EXPECT_EQ(parseStrictAddress("010.1.1.1"), (Address{10, 1, 1, 1}));
    EXPECT_EQ(parseStrictAddress(" 1.2.3.4"), (Address{1, 2, 3, 4}));
}

TEST(StrictAddressParser, RejectsMalformedAddresses) {
    for (const char* bad : {"", "192.168.1", "256.1.1.1", "1.2.3.4.5", "1..2.3", ".1.2.3", "1.2.3.",
                            "a.1.1.1", "1.2.3.x", "-1.2.3.4", "1.2.3.999"})
        EXPECT_FALSE(parseStrictAddress(bad)) << bad;
}

TEST(MaskAndGateway, ThreeResultsInTheirOrder) {
    auto check = [](const char* a, const char* g, const char* m) {
        return checkMaskAndGateway(toNumber(*parseStrictAddress(a)), toNumber(*parseStrictAddress(g)),
                                   toNumber(*parseStrictAddress(m)));
    };
    EXPECT_EQ(check("10.0.0.5", "0.0.0.0", "0.0.0.0"), Consistency::Accepted);
    EXPECT_EQ(check("10.0.0.5", "10.0.0.1", "0.0.0.0"), Consistency::MaskError);
    EXPECT_EQ(check("0.0.0.0", "10.0.0.1", "0.0.0.0"), Consistency::GatewayError);
    EXPECT_EQ(check("0.0.0.0", "0.0.0.0", "0.0.0.0"), Consistency::Accepted);
    EXPECT_EQ(check("10.0.0.5", "10.0.0.1", "255.0.255.0"), Consistency::MaskError);
    EXPECT_EQ(check("10.0.0.5", "0.0.0.0", "255.255.255.0"), Consistency::Accepted);
    EXPECT_EQ(check("10.0.0.5", "10.0.1.1", "255.255.255.0"), Consistency::GatewayError);
    EXPECT_EQ(check("10.0.0.5", "10.0.1.1", "255.255.0.0"), Consistency::Accepted);
    EXPECT_TRUE(isContiguousMask(0xFFFFFFFF));
    EXPECT_TRUE(isContiguousMask(0));
    EXPECT_FALSE(isContiguousMask(0xFFFF00FF));
}

TEST(IpWrite, MessagesAndFocusOfTheFirstFailure) {
    auto refusal = [](const char* a, const char* g, const char* m) { return validateIpInput({true, a, g, m}); };
    EXPECT_EQ(refusal("192.168.1", "0.0.0.0", "0.0.0.0")->message, " The given IP address is invalid");
    EXPECT_EQ(refusal("256.1.1.1", "0.0.0.0", "0.0.0.0")->focus, IpControl::IpAddress);
    EXPECT_EQ(refusal("10.0.0.5", "x", "0.0.0.0")->message, " The given Gateway address is invalid");
    EXPECT_EQ(refusal("10.0.0.5", "0.0.0.0", "1.2")->message, " The given SubNet Mask is invalid");
    const auto mask = refusal("10.0.0.5", "10.0.0.1", "255.0.255.0");
    EXPECT_EQ(mask->message, " The given SubNet Mask is invalid");
    EXPECT_EQ(mask->focus, IpControl::Mask);
    const auto gw = refusal("10.0.0.5", "10.0.1.1", "255.255.255.0");
    EXPECT_EQ(gw->message, " The given Gateway Address is invalid");
    EXPECT_EQ(gw->focus, IpControl::Gateway);
    EXPECT_FALSE(refusal("10.0.0.5", "0.0.0.0", "0.0.0.0"));
    // Auto checks nothing and stores zeros.
    EXPECT_FALSE(validateIpInput({false, "garbage", "", ""}));
    const IpValues v = ipValues({false, "10.0.0.5", "10.0.0.1", "255.0.0.0"});
    EXPECT_EQ(v.address, (Address{}));
    EXPECT_EQ(v.mask, (Address{}));
}

TEST(IpWrite, StoresAddressesAndTheTcpIpBitOnly) {
    protocol::ConfigRecord rec{};
    for (std::size_t i = 0; i < rec.size(); ++i)
        rec[i] = protocol::Byte(i * 7 + 3);
    const protocol::ConfigRecord before = rec;
    storeIpValues(rec, ipValues({true, "10.1.2.3", "10.1.2.1", "255.255.255.0"}), true);
    EXPECT_EQ(protocol::dottedAt(rec, 498), "10.1.2.3");
    EXPECT_EQ(protocol::dottedAt(rec, 494), "10.1.2.1");
    EXPECT_EQ(protocol::dottedAt(rec, 490), "255.255.255.0");
    EXPECT_EQ(rec[72], before[72] | 0x04);
    for (std::size_t i = 0; i < rec.size(); ++i)
        if (i != 72 && !(i >= 490 && i < 502)) {
            EXPECT_EQ(rec[i], before[i]) << i;
        }
}

TEST(SameNetwork, AsksOnlyWhenThePcNetworkIsKnownAndDiffers) {
    EXPECT_FALSE(differentNetwork({192, 168, 1, 99}, "192.168.1.10", "255.255.255.0"));
    EXPECT_TRUE(differentNetwork({192, 168, 2, 99}, "192.168.1.10", "255.255.255.0"));
    EXPECT_FALSE(differentNetwork({192, 168, 2, 99}, "192.168.1.10", "255.255.0.0"));
    EXPECT_FALSE(differentNetwork({10, 0, 0, 1}, "", ""));
}

TEST(ManualSetup, ProposesTheNextAddressOnlyForAnUnsetAddress) {
    const platform::FixedHostInfo pc({{"127.0.0.1", "255.0.0.0", true, ""}});
    platform::FixedHostInfo lan({{"0.0.0.0", "255.0.0.0", false, ""},
                                 {"192.168.1.10", "255.255.255.0", false, ""},
                                 {"127.0.0.1", "255.0.0.0", true, ""}});
    ManualSetup m = manualSetup(lan, "0.0.0.0");
    EXPECT_EQ(m.pcAddress, "192.168.1.10");
    EXPECT_EQ(m.pcMask, "255.255.255.0");
    EXPECT_EQ(m.address, "192.168.1.11");
    EXPECT_EQ(manualSetup(lan, "10.0.0.7").address, "10.0.0.7");
    platform::FixedHostInfo top({{"10.0.0.255", "255.255.0.0", false, ""}});
    EXPECT_EQ(manualSetup(top, "0.0.0.0").address, "10.0.0.254");
    platform::FixedHostInfo none({{"10.0.0.3", "", false, ""}});
    EXPECT_EQ(manualSetup(none, "0.0.0.0").address, "0.0.0.0");
    EXPECT_EQ(manualSetup(pc, "0.0.0.0").address, "127.0.0.2");
}

TEST(IpActivation, GatewayAndMaskNeedCapabilityBitFour) {
    protocol::ConfigRecord rec{};
    rec[72] = 0x04;
    rec[489] = 0x01;
    rec[498] = 10;
    rec[501] = 5;
    IpActivation s = ipActivation(rec);
    EXPECT_TRUE(s.manual);
    EXPECT_TRUE(s.addressEnabled);
    EXPECT_FALSE(s.gatewayMaskEnabled);
    rec[489] = 0x11;
    EXPECT_TRUE(ipActivation(rec).gatewayMaskEnabled);
    rec[498] = rec[501] = 0;
    s = ipActivation(rec);
    EXPECT_FALSE(s.manual);
    EXPECT_FALSE(s.addressEnabled || s.gatewayMaskEnabled);
    rec[72] = 0;
    rec[498] = 1;
    s = ipActivation(rec);
    EXPECT_FALSE(s.tcpipSupport || s.radiosEnabled);
    EXPECT_TRUE(s.addressEnabled); // an address in the record runs the manual set-up anyway
}

TEST(HostInfo, TheSystemListPutsLoopbackLast) {
    const auto list = platform::SystemHostInfo().ipv4Interfaces();
    ASSERT_FALSE(list.empty());
    bool seenLoopback = false;
    for (const auto& a : list) {
        if (seenLoopback) {
            EXPECT_TRUE(a.loopback) << a.address;
        }
        seenLoopback |= a.loopback;
    }
    EXPECT_TRUE(seenLoopback);
}
