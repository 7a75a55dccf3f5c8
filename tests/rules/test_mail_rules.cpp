// The mail printing page's rules without the page. Names are resolved by a
// table here; one test asks the system resolver for "localhost", and only when
// the machine answers that itself.
#include "sheet/rules/mail_rules.h"
#include "support/patterned_record.h"
#include "protocol/identity.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <cstring>
#include <fstream>
#include <map>
#include <sstream>

using namespace vnk;
using namespace vnk::rules;
using protocol::Byte;
using protocol::ConfigRecord;
namespace r = protocol::record;

using vnk::testing::patterned;

namespace {

struct TableResolver {
    std::map<std::string, Address> names{{"mail.example", Address{192, 0, 2, 25}}};
    std::vector<std::string> asked;
    HostResolver fn() {
        return [this](const std::string& name) -> std::optional<Address> {
            asked.push_back(name);
            const auto it = names.find(name);
            return it == names.end() ? std::nullopt : std::optional<Address>(it->second);
        };
    }
};

ConfigRecord mailBox(int ports) {
    ConfigRecord rec = patterned();
    rec[r::PortConfig] = Byte(ports);
    rec[r::Capabilities] = r::CapTcpIp | r::CapMailAndGateway;
    return rec;
}

std::size_t block(int port) {
    return 406 + 20 * std::size_t(port - 1);
}

// True when /etc/hosts gives "localhost" an IPv4 address: only then is the name
// answered without asking a name server, which may be off this machine.
bool hostsFileNamesLocalhost() {
    std::ifstream hosts("/etc/hosts");
    std::string line;
    while (std::getline(hosts, line)) {
        std::istringstream fields(line.substr(0, line.find('#')));
        std::string address, name;
        in_addr a{};
        if (!(fields >> address) || inet_pton(AF_INET, address.c_str(), &a) != 1)
            continue;
        while (fields >> name)
            if (name == "localhost")
                return true;
    }
    return false;
}

} // namespace

TEST(MailServerAddress, DottedEmptyOrResolved) {
    TableResolver table;
    EXPECT_EQ(mailServerAddress("10.1.2.3", table.fn()), (Address{10, 1, 2, 3}));
    EXPECT_EQ(mailServerAddress("", table.fn()), (Address{0, 0, 0, 0}));
    EXPECT_TRUE(table.asked.empty());
    EXPECT_EQ(mailServerAddress("mail.example", table.fn()), (Address{192, 0, 2, 25}));
    EXPECT_FALSE(mailServerAddress("nowhere", table.fn()));
    EXPECT_EQ(table.asked, (std::vector<std::string>{"mail.example", "nowhere"}));
}

TEST(MailServerAddress, TheSystemResolverFindsLocalhost) {
    if (!hostsFileNamesLocalhost())
        GTEST_SKIP() << "/etc/hosts does not name localhost: this machine cannot resolve it by itself";
    const auto local = mailServerAddress("localhost", resolveHostIPv4);
    ASSERT_TRUE(local);
    EXPECT_EQ((*local)[0], 127);
}

TEST(MailActivation, SlotsOfTheBoxsPortsOnly) {
    ConfigRecord rec = mailBox(2);
    std::memcpy(&rec[block(1) + 4], "abcdefgh", 8); // full width: no NUL
    std::memcpy(&rec[block(2) + 12], "pw\0", 3);
    rec[r::PrintFlags] = 0x21; // header LPT1, all mails LPT2
    rec[r::MailPolling] = 0;
    const MailPageState s = mailPageState(rec, protocol::parallelPorts(rec));
    EXPECT_EQ(s.portCount, 2);
    EXPECT_EQ(s.portSlots[0].account, "abcdefgh");
    EXPECT_EQ(s.portSlots[0].server, protocol::dottedAt(rec, block(1)));
    EXPECT_EQ(s.portSlots[1].password, "pw");
    EXPECT_EQ(s.portSlots[1].confirmPassword, "pw");
    EXPECT_TRUE(s.portSlots[0].printHeader);
    EXPECT_FALSE(s.portSlots[0].printAll);
    EXPECT_FALSE(s.portSlots[1].printHeader);
    EXPECT_TRUE(s.portSlots[1].printAll);
    EXPECT_TRUE(s.portSlots[2].server.empty());
    EXPECT_EQ(s.pollingSelection, 0);
    EXPECT_EQ(printPortEntries(s.portCount), (std::vector<std::string>{"1", "2"}));

    EXPECT_EQ(mailRefusal(rec, "PS-1"), std::nullopt);
    rec[r::Capabilities] = r::CapTcpIp;
    EXPECT_EQ(mailRefusal(rec, "PS-1"), "'PS-1' do NOT support Mail Printing !!!");
}

TEST(MailPolling, ListAndSelection) {
    const auto list = pollingListEntries();
    ASSERT_EQ(list.size(), 129u);
    EXPECT_EQ(list[0] + list[1] + list[2] + "|" + list[127] + "|" + list[128], "112|127|");
    EXPECT_EQ(pollingSelectionOf(0), 0);
    EXPECT_EQ(pollingSelectionOf(128), 128);
    EXPECT_EQ(pollingSelectionOf(129), -1);
}

TEST(MailWrite, OnePortBoxLeavesTheOtherPortsAlone) {
    TableResolver table;
    ConfigRecord rec = mailBox(1);
    rec[r::MailPolling] = 0;
    const ConfigRecord before = rec;
    MailPageState s = mailPageState(rec, 1);
    MailSlot shown = s.portSlots[0];
    shown.server = "mail.example";
    shown.account = "user";
    shown.password = shown.confirmPassword = "12345678";
    shown.printHeader = !(before[r::PrintFlags] & 0x01);
    shown.replyConfirmation = true;
    ASSERT_TRUE(storeMailPage(s, shown, rec, table.fn()).empty());

    EXPECT_EQ(protocol::dottedAt(rec, block(1)), "192.0.2.25");
    EXPECT_EQ(protocol::fieldText(rec, block(1) + 4, 8), "user");
    EXPECT_EQ(rec[block(1) + 8], 0);
    EXPECT_EQ(rec[block(1) + 9], before[block(1) + 9]);
    EXPECT_EQ(protocol::fieldText(rec, block(1) + 12, 8), "12345678");
    EXPECT_EQ(rec[r::MailPolling], 1); // the first "1"
    EXPECT_EQ(rec[r::PrintFlags], before[r::PrintFlags] ^ 0x01);
    for (std::size_t i = 0; i < rec.size(); ++i)
        if (i != r::PrintFlags && i != r::MailPolling && (i < block(1) || i >= block(2))) {
            EXPECT_EQ(rec[i], before[i]) << "byte " << i;
        }
}

TEST(MailWrite, ShortPasswordGetsOneNul) {
    TableResolver table;
    ConfigRecord rec = mailBox(3);
    const ConfigRecord before = rec;
    MailPageState s = mailPageState(rec, 3);
    s.current = 1;
    MailSlot shown = s.portSlots[1];
    shown.server = "10.0.0.2";
    shown.password = shown.confirmPassword = "abcde";
    s.portSlots[0].server = s.portSlots[2].server = "";
    ASSERT_TRUE(storeMailPage(s, shown, rec, table.fn()).empty());
    EXPECT_EQ(protocol::fieldText(rec, block(2) + 12, 8), "abcde");
    EXPECT_EQ(rec[block(2) + 17], 0);
    EXPECT_EQ(rec[block(2) + 18], before[block(2) + 18]);
    EXPECT_EQ(rec[block(2) + 19], before[block(2) + 19]);
    EXPECT_EQ(protocol::dottedAt(rec, block(1)), "0.0.0.0");
    EXPECT_EQ(rec[r::MailPolling], before[r::MailPolling]); // a stored time above 128 selects nothing: kept
}

TEST(MailWrite, EveryBadServerIsReportedAndNothingElseIsStored) {
    TableResolver table;
    ConfigRecord rec = mailBox(3);
    rec[r::MailPolling] = 5;
    const ConfigRecord before = rec;
    MailPageState s = mailPageState(rec, 3);
    s.portSlots[0].server = "nowhere";
    s.portSlots[1].server = "10.9.8.7";
    s.portSlots[1].account = "changed";
    s.pollingSelection = 9;
    s.current = 2;
    MailSlot shown = s.portSlots[2];
    shown.server = "elsewhere";
    const auto failures = storeMailPage(s, shown, rec, table.fn());
    ASSERT_EQ(failures.size(), 2u);
    EXPECT_EQ(failures[0].message, "Invalid LPT1 Mail Server !!\n");
    EXPECT_EQ(failures[1].message, "Invalid LPT3 Mail Server !!\n");
    EXPECT_EQ(failures[1].focus, MailControl::MailServer);
    for (std::size_t i = 0; i < rec.size(); ++i)
        if (i < block(2) || i >= block(2) + 4) {
            EXPECT_EQ(rec[i], before[i]) << "byte " << i;
        }
    EXPECT_EQ(protocol::dottedAt(rec, block(2)), "10.9.8.7"); // found before the failure showed
}

TEST(MailWrite, OnlyTheShownPortsConfirmationIsCompared) {
    TableResolver table;
    ConfigRecord rec = mailBox(2);
    const ConfigRecord before = rec;
    MailPageState s = mailPageState(rec, 2);
    s.portSlots[0].confirmPassword = "other"; // not shown: not compared
    s.current = 1;
    MailSlot shown = s.portSlots[1];
    shown.confirmPassword = "typo";
    auto failures = storeMailPage(s, shown, rec, table.fn());
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0].message, "LPT2 \"Confirm Password\" is incorrect,\n Pleas Retype again.\n");
    EXPECT_EQ(failures[0].focus, MailControl::ConfirmPassword);
    EXPECT_EQ(rec, before);

    shown.confirmPassword = shown.password;
    EXPECT_TRUE(storeMailPage(s, shown, rec, table.fn()).empty());
}

TEST(MailPortSwitch, ChecksTheShownPortThenSwaps) {
    TableResolver table;
    ConfigRecord rec = mailBox(3);
    MailPageState s = mailPageState(rec, 3);
    s.portSlots[2].confirmPassword = "stale";
    MailSlot shown = s.portSlots[0];
    shown.server = "nowhere";
    auto f = switchMailPort(s, shown, 2, table.fn());
    ASSERT_TRUE(f);
    EXPECT_EQ(f->message, "Invalid LPT1 Mail Server !!\n");
    EXPECT_EQ(s.current, 0);

    shown.server = "mail.example";
    shown.confirmPassword = shown.password + "x";
    f = switchMailPort(s, shown, 2, table.fn());
    ASSERT_TRUE(f);
    EXPECT_EQ(f->message, "LPT1 \"Confirm Password\" is incorrect,\n Pleas Retype again.\n");
    EXPECT_EQ(s.portSlots[0].server, protocol::dottedAt(rec, block(1)));

    shown.confirmPassword = shown.password;
    EXPECT_FALSE(switchMailPort(s, shown, 2, table.fn()));
    EXPECT_EQ(s.current, 2);
    EXPECT_EQ(s.portSlots[0].server, "mail.example");
    EXPECT_EQ(s.portSlots[2].confirmPassword, s.portSlots[2].password);
    EXPECT_EQ(portGroupTitle(s.current), "LPT3");
}

TEST(MailChangeFromTheCommandLine, PortsTheBoxLacksAndTheCapability) {
    const ConfigRecord before = mailBox(1);
    ConfigRecord after = before;
    after[r::PrintFlags] ^= 0x80; // not a mail flag
    EXPECT_TRUE(checkMailChange(before, after, "PS-1").empty());
    after[block(1)] ^= 1;
    EXPECT_TRUE(checkMailChange(before, after, "PS-1").empty());
    after[block(3) + 5] ^= 1;
    after[r::PrintFlags] ^= 0x02;
    const auto messages = checkMailChange(before, after, "PS-1");
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_NE(messages[0].find("LPT2"), std::string::npos);
    EXPECT_NE(messages[1].find("LPT3"), std::string::npos);

    after = before;
    after[r::Capabilities] = r::CapTcpIp;
    after[r::MailPolling] = 3;
    EXPECT_EQ(checkMailChange(before, after, "PS-1"),
              std::vector<std::string>{"'PS-1' do NOT support Mail Printing !!!"});
}
