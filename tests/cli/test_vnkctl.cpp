// vnkctl driven in-process against a simulated LAN, the way a script uses it.
#include "cli/vnkctl.h"
#include "support/sim_fixture.h"

#include <sys/resource.h>
#include <unistd.h>

#include <sstream>

using namespace vnk;
using vnk::testing::testBox;

namespace {

struct Result {
    int code;
    std::string out;
    std::string err;
};

class VnkctlTest : public vnk::testing::SimLanTest {
protected:
    void SetUp() override {
        auto full = testBox("FULL", 1, 0x0B, 0xFF);
        full.features65 = 0x02;
        full.printers = {{"\r\nDISPLAY=\"READY\"\r\nX=1\r\n", "MFG:Acme;MDL:Jet;", {}, {}}};
        full.portStates = {0, 1, 2, 3, 0};
        sim::setIPv4(full.record, protocol::record::IpAddress, {10, 0, 0, 5});
        protocol::setRecordChecksum(full.record);
        auto mute = testBox("MUTE", 2);
        mute.faults.ignore = {protocol::CmdStatus, protocol::CmdTestPrint};
        startLan({full, mute});
    }
    Result vnkctl(std::vector<std::string> args) {
        const auto e = lan().endpoint();
        args.insert(args.begin(), {"--broadcast", e.broadcast, "--command-port", std::to_string(e.commandPort),
                                   "--config", m_dir.file("Config.ini")});
        std::ostringstream out, err;
        cli::Environment env;
        env.programDirectory = m_dir.path();
        env.fastTiming = true;
        const int code = cli::run(args, out, err, env);
        return {code, out.str(), err.str()};
    }
    protocol::ConfigRecord stored(int box) {
        return lan().withBox(box, [](sim::SimBox& b) { return b.storedRecord(); });
    }
};

} // namespace

TEST_F(VnkctlTest, ListShowsNameAddressIpAndModelAsTextAndJson) {
    const Result text = vnkctl({"list"});
    ASSERT_EQ(text.code, cli::ExitOk) << text.err;
    EXPECT_NE(text.out.find("FULL"), std::string::npos);
    EXPECT_NE(text.out.find("00 00 B4 55 00 01"), std::string::npos);
    EXPECT_NE(text.out.find("10.0.0.5"), std::string::npos);
    EXPECT_NE(text.out.find("3P2S/6B-2.1.15"), std::string::npos);
    const Result json = vnkctl({"--json", "list"});
    EXPECT_EQ(json.out.substr(0, 10), "[{\"name\": ");
    EXPECT_NE(json.out.find("\"ip\": \"10.0.0.5\""), std::string::npos);
    EXPECT_NE(json.out.find("\"name\": \"MUTE\""), std::string::npos);
}

TEST_F(VnkctlTest, GetAndShowReadFieldsByNameOrEthernetAddress) {
    const Result one = vnkctl({"get", "FULL", "ip_address"});
    EXPECT_EQ(one.code, cli::ExitOk);
    EXPECT_EQ(one.out, "10.0.0.5\n");
    const Result byMac = vnkctl({"--json", "get", "00:00:B4:55:00:01", "alias_name", "tcpip"});
    EXPECT_EQ(byMac.out, "{\"alias_name\": \"FULL\", \"tcpip\": \"1\"}\n");
    const Result show = vnkctl({"show", "FULL"});
    ASSERT_EQ(show.code, cli::ExitOk) << show.err;
    for (const char* expected : {"[identity]", "[record]", "[status]", "snmp_contact", "mail3_password",
                                 "Protocol Support", "IPX/SPX & TCP/IP & NetBEUI"})
        EXPECT_NE(show.out.find(expected), std::string::npos) << expected;
}

TEST_F(VnkctlTest, SetWritesAllOrNothing) {
    const Result bad = vnkctl({"set", "FULL", "alias_name=NEW", "ip_address=10.0.0.256"});
    EXPECT_EQ(bad.code, cli::ExitBadValue);
    EXPECT_NE(bad.err.find("nothing was written"), std::string::npos);
    EXPECT_EQ(lan().withBox(0, [](sim::SimBox& b) { return b.writes; }), 0);

    const Result readOnly = vnkctl({"set", "FULL", "cap_tcpip=0"});
    EXPECT_EQ(readOnly.code, cli::ExitBadValue);
    const Result unknown = vnkctl({"set", "FULL", "no_such_field=1"});
    EXPECT_EQ(unknown.code, cli::ExitUsage);
    EXPECT_EQ(vnkctl({"set", "FULL", "alias_name"}).code, cli::ExitUsage);
    EXPECT_EQ(vnkctl({"get", "FULL", "no_such_field"}).code, cli::ExitUsage);

    const Result good = vnkctl({"set", "FULL", "alias_name=NEWNAME", "mail1_account=12345678", "dhcp_range=300"});
    ASSERT_EQ(good.code, cli::ExitOk) << good.err;
    const auto rec = stored(0);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&rec[16]), 8), std::string("NEWNAME\0", 8));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&rec[410]), 8), "12345678");
    EXPECT_EQ(rec[474] | (rec[475] << 8), 300);
    EXPECT_EQ(rec[511], protocol::recordChecksum(rec));
}

TEST_F(VnkctlTest, ExitStatusTellsNotFoundFromNoAnswerFromUsage) {
    EXPECT_EQ(vnkctl({"status", "NOBODY"}).code, cli::ExitNotFound);
    // An address is not looked up: a box that does not answer there did not answer.
    EXPECT_EQ(vnkctl({"status", "00:00:B4:55:00:77"}).code, cli::ExitNoAnswer);
    const Result mute = vnkctl({"status", "MUTE"});
    EXPECT_EQ(mute.code, cli::ExitNoAnswer);
    EXPECT_NE(mute.err.find("Cannot Read Status"), std::string::npos);
    EXPECT_EQ(vnkctl({"frobnicate"}).code, cli::ExitUsage);
    EXPECT_EQ(vnkctl({"get", "FULL"}).code, cli::ExitUsage);
    EXPECT_EQ(vnkctl({"--command-port", "0", "list"}).code, cli::ExitUsage);
    EXPECT_EQ(vnkctl({"--port", "LPT1", "list"}).code, cli::ExitUsage);
}

TEST_F(VnkctlTest, PrintersShowsDisplayTextAndIdentificationRows) {
    const Result r = vnkctl({"--json", "printers", "FULL"});
    ASSERT_EQ(r.code, cli::ExitOk) << r.err;
    EXPECT_EQ(r.out.substr(0, r.out.find("{\"port\": \"LPT2\"")),
              "[{\"port\": \"LPT1\", \"status\": \"\\\"READY\\\"\"}, {\"port\": \" \", \"status\": \"MFG:Acme\"}, "
              "{\"port\": \" \", \"status\": \"MDL:Jet\"}, ");
    // Without a display text the port shows its state word: COM1 is the fourth port.
    EXPECT_NE(r.out.find("{\"port\": \"COM1\", \"status\": \"Ready\"}"), std::string::npos);
}

TEST_F(VnkctlTest, TestPrintChecksThePortAndReportsAMissingConfirmation) {
    EXPECT_EQ(vnkctl({"testprint", "FULL", "--port", "COM2"}).code, cli::ExitOk);
    EXPECT_EQ(vnkctl({"testprint", "MUTE", "--port", "LPT2"}).code, cli::ExitBadValue);
    EXPECT_EQ(vnkctl({"testprint", "MUTE"}).code, cli::ExitNoAnswer);
    EXPECT_EQ(lan().withBox(0, [](sim::SimBox& b) { return b.testPrints; }), 1);
}

TEST_F(VnkctlTest, ResetBringsTheWrittenSettingsIntoUse) {
    ASSERT_EQ(vnkctl({"set", "FULL", "ip_address=10.0.0.9"}).code, cli::ExitOk);
    const Result r = vnkctl({"reset", "FULL"});
    ASSERT_EQ(r.code, cli::ExitOk) << r.err;
    EXPECT_NE(r.out.find("10.0.0.9"), std::string::npos);
    const Result status = vnkctl({"--json", "status", "FULL"});
    EXPECT_NE(status.out.find("\"Active IP\": \"10.0.0.9\""), std::string::npos);
}

TEST_F(VnkctlTest, FieldsListsTheTableWithoutTheNetwork) {
    const Result r = vnkctl({"fields"});
    EXPECT_EQ(r.code, cli::ExitOk);
    EXPECT_NE(r.out.find("dhcp_mode"), std::string::npos);
    EXPECT_EQ(lan().requestsSeen(), 0u);
}

TEST_F(VnkctlTest, SetRefusesWhatTheDhcpAndMailPagesRefuse) {
    const Result range = vnkctl({"set", "FULL", "dhcp_mode=1", "dhcp_start=192.168.1.200",
                                 "dhcp_netmask=255.255.255.0", "dhcp_range=60", "ip_address=192.168.1.5"});
    EXPECT_EQ(range.code, cli::ExitBadValue);
    EXPECT_NE(range.err.find("IP range just can be from 1 to 55"), std::string::npos) << range.err;
    EXPECT_EQ(vnkctl({"set", "FULL", "dhcp_mode=1", "dhcp_start=192.168.1.200", "dhcp_netmask=255.255.255.0",
                      "dhcp_range=55", "ip_address=192.168.1.5"})
                  .code,
              cli::ExitOk);

    const Result noMail = vnkctl({"set", "MUTE", "mail1_server=10.0.0.25"});
    EXPECT_EQ(noMail.code, cli::ExitBadValue);
    EXPECT_NE(noMail.err.find("'MUTE' do NOT support Mail Printing !!!"), std::string::npos);

    // A mail server given by name is stored as the address it resolves to.
    ASSERT_EQ(vnkctl({"set", "FULL", "mail2_server=localhost", "mail2_password=12345"}).code, cli::ExitOk);
    const auto rec = stored(0);
    EXPECT_EQ(protocol::dottedAt(rec, 426), "127.0.0.1");
    const Result bad = vnkctl({"set", "FULL", "mail1_server=no such host"});
    EXPECT_EQ(bad.code, cli::ExitBadValue);
    EXPECT_NE(bad.err.find("Invalid LPT1 Mail Server !!"), std::string::npos);
}

TEST_F(VnkctlTest, FactoryDefaultWritesTheFactoryRecord) {
    const Result r = vnkctl({"factory-default", "FULL"});
    ASSERT_EQ(r.code, cli::ExitOk) << r.err;
    EXPECT_NE(r.out.find("The Alias Name was changed, you have to 'RESET' it to make it work properly"),
              std::string::npos);
    const auto rec = stored(0);
    EXPECT_EQ(protocol::fieldText(rec, 16, 16), "TB0000BX"); // the device name
    EXPECT_EQ(protocol::dottedAt(rec, 498), "0.0.0.0");
    EXPECT_EQ(rec[405], 1);
    EXPECT_EQ(rec[72] & 0xA6, 0x24); // diagnostic and NetWare off, TCP/IP and NetBEUI on
}

namespace {

// Boxes whose texts are not plain ASCII: 8-bit Windows-1252 bytes, UTF-8, a
// field filled to its last byte without a terminator, and a name that tries to
// drive the terminal.
class VnkctlTextTest : public VnkctlTest {
protected:
    static constexpr const char* Hostile = "\x1b]0;X\x07\x1b[2JEV\r\nF";
    void SetUp() override {
        auto cafe = testBox("CAF\xC9-PS", 1, 0x01, protocol::record::CapTcpIp | protocol::record::CapMailAndGateway);
        sim::setText(cafe.record, protocol::record::SnmpContact, 16, "ABCDEFGHIJKLMNOP");
        sim::setText(cafe.record, protocol::record::SnmpLocation, 16, "Caf\xC3\xA9");
        sim::setText(cafe.record, 406 + 12, 8, "\xA7\xA7");
        protocol::setRecordChecksum(cafe.record);
        startLan({cafe, testBox(Hostile, 2)});
    }
};

} // namespace

TEST_F(VnkctlTextTest, TextsAreDecodedByOneRuleAndWrittenBackByteForByte) {
    const protocol::ConfigRecord before = stored(0);
    const Result get = vnkctl({"get", "CAFÉ-PS", "alias_name", "snmp_contact", "snmp_location", "mail1_password"});
    ASSERT_EQ(get.code, cli::ExitOk) << get.err;
    EXPECT_NE(get.out.find("CAFÉ-PS"), std::string::npos) << get.out;
    EXPECT_NE(get.out.find("ABCDEFGHIJKLMNOP"), std::string::npos) << get.out; // whole, without a terminator
    EXPECT_NE(get.out.find("Café"), std::string::npos) << get.out;
    EXPECT_NE(get.out.find("§§"), std::string::npos) << get.out;
    const Result json = vnkctl({"--json", "get", "CAFÉ-PS", "alias_name", "snmp_location"});
    EXPECT_EQ(json.out, "{\"alias_name\": \"CAFÉ-PS\", \"snmp_location\": \"Café\"}\n");

    // Changing other fields, or giving a text exactly as it is shown, keeps the
    // bytes the box holds.
    ASSERT_EQ(vnkctl({"set", "CAFÉ-PS", "mail_polling=9", "snmp_location=Café", "alias_name=CAFÉ-PS"}).code,
              cli::ExitOk);
    protocol::ConfigRecord after = stored(0);
    for (std::size_t i = 0; i < 511; ++i) {
        if (i != protocol::record::MailPolling) {
            ASSERT_EQ(after[i], before[i]) << "record byte " << i;
        }
    }
    // A new text goes into the code page when it has every character.
    ASSERT_EQ(vnkctl({"set", "CAFÉ-PS", "snmp_location=Zürich", "snmp_contact=Ωmega"}).code, cli::ExitOk);
    after = stored(0);
    EXPECT_EQ(protocol::fieldText(after, protocol::record::SnmpLocation, 16), "Z\xFCrich");
    EXPECT_EQ(protocol::fieldText(after, protocol::record::SnmpContact, 16), "\xCE\xA9mega");
}

TEST_F(VnkctlTextTest, NothingFromTheNetworkReachesTheTerminalRaw) {
    const Result list = vnkctl({"list"});
    ASSERT_EQ(list.code, cli::ExitOk) << list.err;
    for (char c : list.out)
        EXPECT_TRUE(c == '\n' || static_cast<unsigned char>(c) >= 0x20) << int(c);
    EXPECT_NE(list.out.find("\\x1b]0;X\\x07\\x1b[2JEV\\x0d\\x0aF"), std::string::npos) << list.out;
    const Result json = vnkctl({"--json", "list"});
    EXPECT_NE(json.out.find("\"name\": \"\\u001b]0;X\\u0007\\u001b[2JEV\\r\\nF\""), std::string::npos) << json.out;
}

TEST_F(VnkctlTest, NdsTreeIsStoredPaddedAndShownWithout) {
    ASSERT_EQ(vnkctl({"set", "FULL", "nds_tree=TREE"}).code, cli::ExitOk);
    const auto rec = stored(0);
    EXPECT_EQ(protocol::fieldText(rec, protocol::record::NdsTree, 48), "TREE" + std::string(28, '_'));
    EXPECT_EQ(vnkctl({"get", "FULL", "nds_tree"}).out, "TREE\n");
    ASSERT_EQ(vnkctl({"set", "FULL", "nds_tree="}).code, cli::ExitOk);
    EXPECT_EQ(stored(0)[protocol::record::NdsTree], 0);
}

// With replies garbled on the way, a set either writes the record the box held
// with only the named field changed, or refuses and writes nothing.
TEST_F(VnkctlTest, SetNeverStoresARecordDamagedOnItsWay) {
    protocol::ConfigRecord expected = stored(0);
    int refused = 0;
    for (int run = 0; run < 12; ++run) {
        lan().withBox(0, [&](sim::SimBox& b) { b.faults().garble = run < 8 ? 0.2 : 1.0; return 0; });
        const int value = 2 + run;
        const Result r = vnkctl({"set", "00:00:B4:55:00:01", "netware_polling=" + std::to_string(value)});
        if (r.code == cli::ExitOk) {
            expected[protocol::record::NetwarePolling] = protocol::Byte(value);
            protocol::setRecordChecksum(expected);
        } else {
            ASSERT_TRUE(r.code == cli::ExitFailure || r.code == cli::ExitNoAnswer) << r.code << r.err;
            if (r.code == cli::ExitFailure) {
                EXPECT_NE(r.err.find("is inconsistent; nothing was written"), std::string::npos) << r.err;
                ++refused;
            }
        }
        ASSERT_EQ(stored(0), expected) << "run " << run;
    }
    EXPECT_GT(refused, 0); // every reply garbled: the record cannot be trusted

    // A box that leaves its checksum stale answers the same record twice: it
    // can still be changed.
    lan().withBox(0, [&](sim::SimBox& b) {
        b.faults().garble = 0;
        auto rec = b.storedRecord();
        rec[protocol::ChecksumOffset] ^= 0xFF;
        b.storeRecord(rec);
        return 0;
    });
    EXPECT_EQ(vnkctl({"set", "FULL", "netware_polling=42"}).code, cli::ExitOk);
    EXPECT_EQ(stored(0)[protocol::record::NetwarePolling], 42);
}

TEST_F(VnkctlTest, SocketFailureDuringDiscoveryIsAFailure) {
    // No descriptor left for the search's socket.
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
    const int lowest = dup(0);
    ASSERT_GE(lowest, 0);
    close(lowest);
    rlimit tight = saved;
    tight.rlim_cur = rlim_t(lowest);
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &tight), 0);
    const Result r = vnkctl({"list"});
    setrlimit(RLIMIT_NOFILE, &saved);
    EXPECT_EQ(r.code, cli::ExitFailure);
    EXPECT_NE(r.err.find("XGetPort-socket() Fail"), std::string::npos) << r.err;
    EXPECT_EQ(r.out.find("No print server found."), std::string::npos);
}
