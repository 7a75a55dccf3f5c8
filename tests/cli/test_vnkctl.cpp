// vnkctl driven in-process against a simulated LAN, the way a script uses it.
#include "cli/backup.h"
#include "cli/vnkctl.h"
#include "platform/hostinfo.h"
#include "platform/udp_socket.h"
#include "protocol/record_fields.h"
#include "support/sim_fixture.h"

#include <nlohmann/json.hpp>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <sstream>

using namespace vnk;
using vnk::testing::testBox;

namespace {

using Json = nlohmann::json;

// ^[a-z][a-z0-9_]*$
bool isSnakeCase(const std::string& key) {
    if (key.empty() || key[0] < 'a' || key[0] > 'z')
        return false;
    for (char c : key)
        if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_'))
            return false;
    return true;
}

struct Result {
    int code;
    std::string out;
    std::string err;
    // The answer of a --json command, parsed.
    Json json() const { return Json::parse(out); }
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
        env.host = m_host;
        env.resolve = [](const std::string& name) -> std::optional<rules::Address> {
            if (name == "mail.example")
                return rules::Address{192, 0, 2, 25};
            return std::nullopt;
        };
        std::istringstream answer(m_answer);
        env.input = &answer;
        env.inputTerminal = !m_answer.empty();
        const int code = cli::run(args, out, err, env);
        return {code, out.str(), err.str()};
    }
    const platform::HostInfo* m_host = nullptr;
    std::string m_answer; // typed at a question, as on a terminal
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
    EXPECT_NE(text.out.find("STORED IP"), std::string::npos);
    const Json json = vnkctl({"--json", "list"}).json();
    EXPECT_EQ(json["command"], "list");
    EXPECT_EQ(json["ok"], true);
    ASSERT_EQ(json["print_servers"].size(), 2u);
    const Json& full = json["print_servers"][0];
    EXPECT_EQ(full["name"], "FULL");
    EXPECT_EQ(full["stored_ip"], "10.0.0.5");
    EXPECT_EQ(full["firmware_present"], true);
    EXPECT_FALSE(full.contains("active_ip"));
    // --status adds the address each box is using.
    const Json withStatus = vnkctl({"--json", "list", "--status"}).json();
    EXPECT_EQ(withStatus["print_servers"][0]["active_ip"], "10.0.0.5");
}

TEST_F(VnkctlTest, GetAndShowReadFieldsByNameOrEthernetAddress) {
    const Result one = vnkctl({"get", "FULL", "ip_address"});
    EXPECT_EQ(one.code, cli::ExitOk);
    EXPECT_EQ(one.out, "10.0.0.5\n");
    const Json byMac = vnkctl({"--json", "get", "00:00:B4:55:00:01", "alias_name", "tcpip", "mail_polling"}).json();
    EXPECT_EQ(byMac["fields"], (Json{{"alias_name", "FULL"}, {"tcpip", true}, {"mail_polling", 1}}));
    // A bare address is an address when no box has that name.
    EXPECT_EQ(vnkctl({"get", "0000B4550001", "alias_name"}).out, "FULL\n");
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
    const Json printers = r.json()["printers"];
    ASSERT_EQ(printers.size(), 5u);
    EXPECT_EQ(printers[0], (Json{{"port", "LPT1"},
                                 {"state", "Ready"},
                                 {"display", "READY"},
                                 {"identification", {"MFG:Acme", "MDL:Jet"}}}));
    // The box gives no display text for the other ports: COM1 is the fourth port.
    EXPECT_EQ(printers[3], (Json{{"port", "COM1"}, {"state", "Ready"}, {"display", nullptr}, {"identification", Json::array()}}));
    const Result text = vnkctl({"printers", "FULL"});
    EXPECT_EQ(text.out.substr(0, text.out.find("LPT2")), "LPT1   \"READY\"\n       MFG:Acme\n       MDL:Jet\n");
}

TEST_F(VnkctlTest, TestPrintChecksThePortAndReportsAMissingConfirmation) {
    EXPECT_EQ(vnkctl({"testprint", "FULL", "--port", "COM2"}).code, cli::ExitOk);
    EXPECT_EQ(vnkctl({"testprint", "MUTE", "--port", "LPT2"}).code, cli::ExitBadValue);
    EXPECT_EQ(vnkctl({"testprint", "MUTE"}).code, cli::ExitNoAnswer);
    EXPECT_EQ(lan().withBox(0, [](sim::SimBox& b) { return b.testPrints; }), 1);
}

TEST_F(VnkctlTest, ResetBringsTheWrittenSettingsIntoUse) {
    ASSERT_EQ(vnkctl({"set", "FULL", "ip_address=10.0.0.9"}).code, cli::ExitOk);
    ASSERT_EQ(vnkctl({"set", "FULL", "alias_name=RENAMED"}).code, cli::ExitOk);
    const Json r = vnkctl({"--json", "reset", "FULL"}).json();
    EXPECT_EQ(r, (Json{{"command", "reset"},
                       {"ok", true},
                       {"box", "RENAMED"},
                       {"previous_name", "FULL"},
                       {"active_ip", "10.0.0.9"}}));
    const Json status = vnkctl({"--json", "status", "RENAMED"}).json();
    EXPECT_EQ(status["status"]["active_ip"], "10.0.0.9");
    for (const auto& [key, value] : status["status"].items())
        EXPECT_TRUE(isSnakeCase(key)) << key;
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
    ASSERT_EQ(vnkctl({"set", "FULL", "mail2_server=mail.example", "mail2_password=12345"}).code, cli::ExitOk);
    const auto rec = stored(0);
    EXPECT_EQ(protocol::dottedAt(rec, 426), "192.0.2.25");
    const Result bad = vnkctl({"set", "FULL", "mail1_server=no such host"});
    EXPECT_EQ(bad.code, cli::ExitBadValue);
    EXPECT_NE(bad.err.find("Invalid LPT1 Mail Server !!"), std::string::npos);
}

TEST_F(VnkctlTest, AWriteTheBoxRefusesFailsAndLeavesItsRecord) {
    const protocol::ConfigRecord before = stored(0);
    lan().withBox(0, [](sim::SimBox& b) { return b.faults().refuseWrites = true; });
    const Result r = vnkctl({"--json", "set", "FULL", "alias_name=OTHER", "snmp_contact=desk"});
    EXPECT_EQ(r.code, cli::ExitNoAnswer);
    EXPECT_NE(r.err.find("vnkctl: FULL: Cannot Write EEProm\n"), std::string::npos) << r.err;
    const Json json = r.json();
    EXPECT_EQ(json["ok"], false);
    EXPECT_EQ(json["message"], "FULL: Cannot Write EEProm");
    EXPECT_EQ(stored(0), before);
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
    const Json json = vnkctl({"--json", "get", "CAFÉ-PS", "alias_name", "snmp_location"}).json();
    EXPECT_EQ(json["fields"], (Json{{"alias_name", "CAFÉ-PS"}, {"snmp_location", "Café"}}));

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
#if defined(__SANITIZE_ADDRESS__)
    // The sanitizers' runtime opens files of its own while the test runs, and
    // with no descriptor left it reports faults that are not there.
    GTEST_SKIP() << "needs a process without the sanitizers' runtime";
#endif
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

TEST_F(VnkctlTest, NameLookupEndsWhenTheBoxAnswersAndForgivesCase) {
    const std::size_t before = lan().requestsSeen();
    EXPECT_EQ(vnkctl({"get", "FULL", "alias_name"}).out, "FULL\n");
    // At most the two searches of each of the first two passes, then the read;
    // a whole discovery alone sends six searches.
    EXPECT_LE(lan().requestsSeen() - before, 5u);
    const Result near = vnkctl({"get", "full", "alias_name"});
    EXPECT_EQ(near.out, "FULL\n");
    EXPECT_NE(near.err.find("taking \"FULL\""), std::string::npos) << near.err;
    EXPECT_EQ(vnkctl({"get", "FUL", "alias_name"}).code, cli::ExitNotFound);
}

TEST_F(VnkctlTest, EveryCommandAnswersWithAResultObject) {
    const Json set = vnkctl({"--json", "set", "FULL", "mail_polling=7", "snmp_contact=Desk"}).json();
    EXPECT_EQ(set, (Json{{"command", "set"}, {"ok", true}, {"box", "FULL"},
                         {"written", {{"mail_polling", 7}, {"snmp_contact", "Desk"}}}}));
    const Json print = vnkctl({"--json", "testprint", "FULL", "--port", "COM1"}).json();
    EXPECT_EQ(print["port"], "COM1");
    EXPECT_EQ(print["port_in_request"], false);
    EXPECT_NE(vnkctl({"testprint", "FULL"}).out.find("for LPT1"), std::string::npos);
    const Result refused = vnkctl({"--json", "set", "FULL", "mail_polling=700"});
    EXPECT_EQ(refused.code, cli::ExitBadValue);
    EXPECT_EQ(refused.json()["ok"], false);
    EXPECT_NE(refused.json()["message"].get<std::string>().find("nothing was written"), std::string::npos);
    const Json mute = vnkctl({"--json", "status", "MUTE"}).json();
    EXPECT_EQ(mute["ok"], false);
    EXPECT_EQ(mute["message"], "MUTE: Cannot Read Status");
    const Json show = vnkctl({"--json", "show", "FULL"}).json();
    EXPECT_EQ(show["identity"]["firmware_present"], true);
    EXPECT_EQ(show["record"]["cap_tcpip"], true);
    EXPECT_EQ(show["record"]["dhcp_range"], 0);
    EXPECT_EQ(show["record"]["ip_address"], "10.0.0.5");
    EXPECT_EQ(vnkctl({"--json", "fields"}).json()["fields"].size(), protocol::allFields().size());
}

TEST_F(VnkctlTest, RestoreGivesBackTheSavedRecordByteForByte) {
    const std::string file = m_dir.file("full.vnkbak");
    ASSERT_EQ(vnkctl({"backup", "FULL", file}).code, cli::ExitOk);
    const protocol::ConfigRecord saved = stored(0);
    ASSERT_EQ(vnkctl({"set", "FULL", "alias_name=OTHER", "mail_polling=9", "ip_address=10.9.9.9"}).code, cli::ExitOk);

    // The box keeps its name until it is reset.
    const Json diff = vnkctl({"--json", "diff", "FULL", file}).json();
    EXPECT_EQ(diff["differences"], (Json{{{"field", "alias_name"}, {"old", "OTHER"}, {"new", "FULL"}},
                                         {{"field", "mail_polling"}, {"old", "9"}, {"new", "1"}},
                                         {{"field", "ip_address"}, {"old", "10.9.9.9"}, {"new", "10.0.0.5"}}}));
    // Without --yes (and no terminal to ask on) nothing is written.
    const Result unconfirmed = vnkctl({"restore", "FULL", file});
    EXPECT_EQ(unconfirmed.code, cli::ExitFailure);
    EXPECT_NE(unconfirmed.out.find("mail_polling"), std::string::npos);
    EXPECT_NE(stored(0), saved);
    m_answer = "y\n";
    ASSERT_EQ(vnkctl({"restore", "FULL", file}).code, cli::ExitOk);
    EXPECT_EQ(stored(0), saved);

    // A file of another box is refused, unless asked for; the box keeps its own bytes.
    const protocol::ConfigRecord mute = stored(1);
    EXPECT_EQ(vnkctl({"restore", "MUTE", file, "--yes"}).code, cli::ExitBadValue);
    EXPECT_EQ(stored(1), mute);
    ASSERT_EQ(vnkctl({"restore", "MUTE", file, "--yes", "--other-box"}).code, cli::ExitOk);
    const protocol::ConfigRecord moved = stored(1);
    EXPECT_EQ(protocol::fieldText(moved, protocol::record::AliasName, 16), "FULL");
    for (std::size_t at : {std::size_t(2), std::size_t(7), std::size_t(8), protocol::record::Capabilities,
                           protocol::record::ModelCode, protocol::record::Revision})
        EXPECT_EQ(moved[at], mute[at]) << "byte " << at;

    // Two files, no box. A backup holds the mail password: an older file readable by all is
    // replaced by one only its owner can read.
    m_dir.write("mute.vnkbak", "an older backup");
    ASSERT_EQ(::chmod(m_dir.file("mute.vnkbak").c_str(), 0644), 0);
    ASSERT_EQ(vnkctl({"backup", "MUTE", m_dir.file("mute.vnkbak")}).code, cli::ExitOk);
    for (const std::string& f : {file, m_dir.file("mute.vnkbak")})
        EXPECT_EQ(std::filesystem::status(f).permissions(),
                  std::filesystem::perms::owner_read | std::filesystem::perms::owner_write)
            << f;
    const Result files = vnkctl({"diff", file, m_dir.file("mute.vnkbak")});
    EXPECT_EQ(files.code, cli::ExitOk) << files.err;
    const std::string line = files.out.substr(0, files.out.find('\n'));
    EXPECT_EQ(line.substr(0, 16), "ethernet_address") << files.out;
    EXPECT_EQ(line.substr(line.find_first_not_of(' ', 16)), "00 00 B4 55 00 01 -> 00 00 B4 55 00 02") << files.out;
}

TEST(VnkctlBackup, FileFormatIsCheckedBeforeUse) {
    cli::Backup b;
    b.name = "BOX";
    b.ethernet = "00 00 B4 00 00 01";
    b.saved = cli::utcTimestamp(0);
    b.record[100] = 0x5A;
    const std::string text = cli::backupText(b);
    EXPECT_EQ(text.substr(0, text.find("\n\n")),
              "VNKCTL-BACKUP 1\nname: BOX\nethernet: 00 00 B4 00 00 01\nsaved: 1970-01-01T00:00:00Z\nrecord: 512");
    std::string error;
    const auto back = cli::parseBackup(text, &error);
    ASSERT_TRUE(back) << error;
    EXPECT_EQ(back->record, b.record);
    EXPECT_FALSE(cli::parseBackup(text.substr(0, text.size() - 1), &error));
    EXPECT_NE(error.find("511 bytes of record"), std::string::npos) << error;
    EXPECT_FALSE(cli::parseBackup(text + "x", &error));
    EXPECT_FALSE(cli::parseBackup("VNKCTL-BACKUP 2\n" + text.substr(16), &error));
    EXPECT_FALSE(cli::parseBackup(std::string(5000, 'A'), &error));
}

TEST_F(VnkctlTest, InterfaceGivesItsDirectedBroadcast) {
    const platform::FixedHostInfo host({{"192.168.7.20", "255.255.255.0", false, "eth0"},
                                        {"127.0.0.1", "255.0.0.0", true, "lo"}});
    EXPECT_EQ(platform::interfaceBroadcast(host, "eth0"), "192.168.7.255");
    m_host = &host;
    // vnkctl() gives --broadcast itself; a command line with --interface alone:
    const auto e = lan().endpoint();
    std::ostringstream out, err;
    cli::Environment env;
    env.programDirectory = m_dir.path();
    env.fastTiming = true;
    env.host = &host;
    EXPECT_EQ(cli::run({"--interface", "lo", "--command-port", std::to_string(e.commandPort), "--config",
                        m_dir.file("Config.ini"), "get", "FULL", "alias_name"},
                       out, err, env),
              cli::ExitOk)
        << err.str();
    EXPECT_EQ(out.str(), "FULL\n");
    EXPECT_EQ(vnkctl({"--interface", "wlan9", "list"}).code, cli::ExitUsage);
}

namespace {

// vnkctl over IPX, against boxes and a NetWare file server on this test's own
// IPX carrier port.
class VnkctlIpxTest : public ::testing::Test {
protected:
    void SetUp() override {
        sim::LanOptions options;
        options.ipxPort = 0;
        m_lan = std::make_unique<sim::SimLan>(options);
        auto quill = testBox("QUILL", 1, 0x03);
        auto heron = testBox("HERON", 3);
        m_lan->addBox(quill);
        m_lan->addBox(heron);
        sim::FileServerSpec fs;
        fs.name = "FS-MAIN";
        fs.node = {0x00, 0x00, 0x1B, 0x00, 0x00, 0x01};
        platform::IpxAddress at;
        std::copy(quill.mac.begin(), quill.mac.end(), at.node.begin());
        at.socket = protocol::IpxCommandSocket;
        fs.addObject(0x1447, "QUILL", at);
        fs.addObject(0x0047, "PS-FLOOR2");
        fs.addObject(0x0278, "ACME_TREE_______________________"); // padded to 32, as NDS trees are
        fs.addObject(0x0004, "FS-MAIN");
        m_lan->addFileServer(fs);
        std::string error;
        ASSERT_TRUE(m_lan->start(&error)) << error;
        m_dir.write("Config.ini", "[General Information]\nDeviceType1=0\n");
    }
    Result vnkctl(std::vector<std::string> args) {
        args.insert(args.begin(), {"--ipx", "--ipx-port", std::to_string(m_lan->ipxPort()), "--broadcast",
                                   "127.255.255.255", "--config", m_dir.file("Config.ini")});
        std::ostringstream out, err;
        cli::Environment env;
        env.programDirectory = m_dir.path();
        env.fastTiming = true;
        const int code = cli::run(args, out, err, env);
        return {code, out.str(), err.str()};
    }
    vnk::testing::ScratchDir m_dir;
    std::unique_ptr<sim::SimLan> m_lan;
};

} // namespace

TEST_F(VnkctlIpxTest, EveryOperationGoesOverIpx) {
    const Result list = vnkctl({"--json", "list"});
    ASSERT_EQ(list.code, cli::ExitOk) << list.err;
    const Json json = list.json();
    ASSERT_EQ(json["print_servers"].size(), 2u);
    EXPECT_EQ(json["print_servers"][0]["name"], "QUILL");
    EXPECT_EQ(json["nds_trees"], Json{"ACME_TREE"});
    EXPECT_EQ(json["file_servers"], Json{"FS-MAIN"});
    EXPECT_EQ(json["netware_print_servers"], Json{"PS-FLOOR2"});
    const Result text = vnkctl({"list"});
    EXPECT_NE(text.out.find("Other NetWare print servers:\n  PS-FLOOR2\n"), std::string::npos) << text.out;

    ASSERT_EQ(vnkctl({"set", "HERON", "snmp_contact=Desk"}).code, cli::ExitOk);
    EXPECT_EQ(protocol::fieldText(m_lan->withBox(1, [](sim::SimBox& b) { return b.storedRecord(); }),
                                  protocol::record::SnmpContact, 16),
              "Desk");
    EXPECT_EQ(vnkctl({"get", "00:00:B4:55:00:01", "alias_name"}).out, "QUILL\n");
    EXPECT_EQ(vnkctl({"status", "QUILL"}).code, cli::ExitOk);
    // Nothing went over the UDP side.
    EXPECT_EQ(m_lan->requestsSeen(), 0u);
}

TEST_F(VnkctlIpxTest, TestPrintSaysThePortItsRequestCarries) {
    const Json print = vnkctl({"--json", "testprint", "QUILL", "--port", "LPT2"}).json();
    EXPECT_EQ(print["port"], "LPT2");
    EXPECT_EQ(print["port_in_request"], true);
    const std::string text = vnkctl({"testprint", "QUILL"}).out;
    EXPECT_NE(text.find("for LPT1 (the request names the port)"), std::string::npos);
}

TEST_F(VnkctlIpxTest, ANamedBoxEndsTheSearchWhenItAnswers) {
    auto connections = [&] {
        return m_lan->withFileServer(0, [](sim::SimFileServer& f) { return f.connectionsCreated; });
    };
    EXPECT_EQ(vnkctl({"get", "HERON", "alias_name"}).out, "HERON\n");
    EXPECT_EQ(connections(), 0); // the broadcast found it: no bindery scan
    // A name the broadcast does not find is looked for in the bindery as well.
    EXPECT_EQ(vnkctl({"get", "quill", "alias_name"}).out, "QUILL\n");
    EXPECT_EQ(connections(), 1);
}

// vnkctl over NetBIOS, against boxes answering on this test's own NetBIOS port.
TEST(VnkctlNetbios, ListAndShowGoOverNetbiosAndNeedItsPort) {
    sim::LanOptions options;
    options.netbiosPort = 0;
    sim::SimLan lan(options);
    auto quill = testBox("QUILL", 1, 0x03);
    sim::setIPv4(quill.record, protocol::record::IpAddress, {10, 0, 0, 5});
    protocol::setRecordChecksum(quill.record);
    lan.addBox(quill);
    lan.addBox(testBox("HERON", 3));
    std::string error;
    ASSERT_TRUE(lan.start(&error)) << error;
    vnk::testing::ScratchDir dir;
    auto vnkctl = [&](std::vector<std::string> args) {
        args.insert(args.begin(), {"--broadcast", "127.255.255.255", "--config", dir.file("Config.ini")});
        std::ostringstream out, err;
        cli::Environment env;
        env.programDirectory = dir.path();
        env.fastTiming = true;
        const int code = cli::run(args, out, err, env);
        return Result{code, out.str(), err.str()};
    };
    const std::string port = std::to_string(lan.netbiosPort());

    const Result list = vnkctl({"--netbios", "--netbios-port", port, "--json", "list"});
    ASSERT_EQ(list.code, cli::ExitOk) << list.err;
    Json servers = list.json()["print_servers"];
    ASSERT_EQ(servers.size(), 2u) << list.out;
    // Listed in the order the replies came, which a loaded machine may swap.
    if (servers[0]["name"] != "QUILL")
        std::swap(servers[0], servers[1]);
    EXPECT_EQ(servers[0]["name"], "QUILL");
    EXPECT_EQ(servers[0]["netbios_name"], "TB0000BX.CFG");
    EXPECT_EQ(servers[0]["ethernet"], "00 00 B4 55 00 01");
    EXPECT_EQ(servers[0]["stored_ip"], "10.0.0.5");
    EXPECT_EQ(servers[1]["name"], "HERON");

    const Result show = vnkctl({"--netbios", "--netbios-port", port, "show", "heron"});
    ASSERT_EQ(show.code, cli::ExitOk) << show.err;
    EXPECT_NE(show.out.find("alias_name "), std::string::npos);
    EXPECT_NE(show.out.find("Active IP "), std::string::npos);
    EXPECT_NE(show.out.find("ethernet          00 00 B4 55 00 03"), std::string::npos) << show.out;
    EXPECT_EQ(lan.requestsSeen(), 0u) << "nothing went over UDP";

    const Result unset = vnkctl({"--netbios", "list"});
    EXPECT_EQ(unset.code, cli::ExitUsage);
    EXPECT_NE(unset.err.find("VNK_NETBIOS_PORT"), std::string::npos) << unset.err;
    EXPECT_EQ(vnkctl({"--netbios", "--netbios-port", port, "set", "QUILL", "snmp_contact=x"}).code,
              cli::ExitUsage);
}

// Magic packets to a port of this test's own: by address, by broadcast and from
// a list file.
TEST_F(VnkctlTest, WakeSendsMagicPacketsAndTellsWhatWentOut) {
    const int listener = platform::openUdpSocket();
    ASSERT_GE(listener, 0);
    ASSERT_EQ(platform::bindAny(listener, 0), 0);
    const std::string port = std::to_string(platform::localPort(listener));
    auto received = [&] {
        std::vector<std::string> macs; // bytes 6-11 of each packet of 102 bytes
        std::uint8_t packet[200];
        while (platform::waitReadable(listener, std::chrono::milliseconds(50)) == platform::WaitResult::Ready) {
            const ssize_t n = platform::receiveDatagram(listener, packet, sizeof packet);
            if (n == 102)
                macs.emplace_back(reinterpret_cast<const char*>(packet + 6), 6);
        }
        return macs;
    };
    const std::string mac("\x00\x00\xB4\x00\xA5\xF6", 6);

    const Result one = vnkctl({"wake", "0000b400a5f6", "--ip", "127.0.0.1", "--wol-port", port});
    EXPECT_EQ(one.code, cli::ExitOk) << one.err;
    EXPECT_EQ(one.out, "magic packet for 0000b400a5f6 sent to 127.0.0.1 port " + port + "\n");
    EXPECT_EQ(received(), std::vector<std::string>(6, mac));
    // The default address stands for the broadcast address.
    const Json byBroadcast = vnkctl({"--json", "wake", "0000B400A5F6", "--wol-port", port}).json();
    EXPECT_EQ(byBroadcast["targets"][0]["destination"], "127.255.255.255");
    EXPECT_EQ(received().size(), 6u);

    const Result bad = vnkctl({"wake", "0000B400A5F", "--ip", "127.0.0.1", "--wol-port", port});
    EXPECT_EQ(bad.code, cli::ExitBadValue);
    EXPECT_NE(bad.err.find("Invalid Ethernet ID!"), std::string::npos) << bad.err;

    m_dir.write("MagicPkt.ini", "127.0.0.1-0000B400A5F6\n// 127.0.0.1-0000B400A5F8\n127.0.0.1-00B4\n"
                                "127.0.0.1-0000B400A5F7");
    const Result list = vnkctl({"--json", "wake", "--file", m_dir.file("MagicPkt.ini"), "--wol-port", port});
    EXPECT_EQ(list.code, cli::ExitFailure) << "one line has no valid address";
    EXPECT_EQ(list.json()["targets"].size(), 2u);
    EXPECT_EQ(list.json()["message"], "1 of 2 magic packets were not sent");
    EXPECT_EQ(received(), std::vector<std::string>(6, mac));

    EXPECT_EQ(vnkctl({"wake"}).code, cli::ExitUsage);
    EXPECT_EQ(vnkctl({"wake", "0000B400A5F6", "--file", m_dir.file("MagicPkt.ini")}).code, cli::ExitUsage);
    EXPECT_EQ(vnkctl({"list", "--ip", "127.0.0.1"}).code, cli::ExitUsage);
    platform::closeSocket(listener);
}

// list --all against a LAN that answers over UDP, IPX and NetBIOS: one line per
// box by Ethernet address, with the transports it answered on.
TEST(VnkctlAll, EveryTransportAtOnceMergedByEthernetAddress) {
    sim::LanOptions options;
    options.ipxPort = 0;
    options.netbiosPort = 0;
    sim::SimLan lan(options);
    lan.addBox(testBox("QUILL", 1));
    auto quiet = testBox("QUIET", 2);
    quiet.faults.udpSilent = true;
    lan.addBox(quiet);
    lan.addBox(testBox("TWIN", 3));
    lan.addBox(testBox("TWIN", 4));
    std::string error;
    ASSERT_TRUE(lan.start(&error)) << error;
    vnk::testing::ScratchDir dir;
    auto vnkctl = [&](std::vector<std::string> args) {
        args.insert(args.begin(), {"--json", "--broadcast", "127.255.255.255", "--command-port",
                                   std::to_string(lan.endpoint().commandPort), "--config", dir.file("Config.ini")});
        std::ostringstream out, err;
        cli::Environment env;
        env.fastTiming = true;
        const int code = cli::run(args, out, err, env);
        return Result{code, out.str(), err.str()};
    };
    const Result all = vnkctl({"list", "--all", "--ipx-port", std::to_string(lan.ipxPort()), "--netbios-port",
                               std::to_string(lan.netbiosPort())});
    ASSERT_EQ(all.code, cli::ExitOk) << all.err;
    const Json found = all.json();
    std::map<std::string, Json> byEthernet; // ethernet -> [name, transports]
    for (const Json& box : found["print_servers"])
        byEthernet[box["ethernet"]] = Json{box["name"], box["transports"]};
    const Json every = {"udp", "ipx", "netbios"};
    EXPECT_EQ(byEthernet, (std::map<std::string, Json>{{"00 00 B4 55 00 01", Json{"QUILL", every}},
                                                       {"00 00 B4 55 00 02", Json{"QUIET", {"ipx", "netbios"}}},
                                                       {"00 00 B4 55 00 03", Json{"TWIN", every}},
                                                       {"00 00 B4 55 00 04", Json{"TWIN", every}}}))
        << all.out;

    // Without IPX and NetBIOS set up here, UDP alone is searched.
    EXPECT_EQ(vnkctl({"list", "--all"}).json()["searched"].size(), 1u);
    EXPECT_EQ(vnkctl({"list", "--all", "--ipx"}).code, cli::ExitUsage);
}
