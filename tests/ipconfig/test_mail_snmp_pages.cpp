// The mail printing and SNMP pages, and the box's texts and records as every page
// writes them back, driven through their widgets on the offscreen platform against
// simulated boxes on this test's own loopback ports. What a Write did is read back
// from the box.
#include "brevan_rig.h"
#include "settings_page_helpers.h"

#include "sheet/page06.h"
#include "sheet/pop_print.h"
#include "sheet/snmp.h"
#include "protocol/records.h"

#include <QApplication>
#include <QTest>

#include <algorithm>
#include <map>

using namespace vnk;
using namespace vnk::testing;
using sheet::UiServices;
using protocol::Byte;
using protocol::ConfigRecord;
using namespace Qt::StringLiterals;
namespace r = protocol::record;

namespace {

constexpr Byte MailCaps = r::CapTcpIp | r::CapMailAndGateway;

bool sameBytes(const ConfigRecord& a, const ConfigRecord& b, std::size_t first, std::size_t last) {
    return std::equal(a.begin() + std::ptrdiff_t(first), a.begin() + std::ptrdiff_t(last + 1),
                      b.begin() + std::ptrdiff_t(first));
}

// Stands in for the name service: only the names it is given resolve, and it
// notes whether the wait cursor was up at each question.
struct FakeResolver {
    std::map<std::string, rules::Address> names{{"localhost", {127, 0, 0, 1}}};
    QList<int> waitDepths;
    void attach(sheet::PopPrint& page, const sheet::RecordingUiServices& ui) {
        page.setResolver([this, &ui](const std::string& name) -> std::optional<rules::Address> {
            waitDepths.push_back(ui.waitDepth());
            const auto it = names.find(name);
            if (it == names.end())
                return std::nullopt;
            return it->second;
        });
    }
};

// The "Print Port" list's choice confirmed, as a user makes it.
void choosePort(sheet::PopPrint& page, int index) {
    page.printPortList()->setCurrentIndex(index);
    emit page.printPortList()->activated(index);
}

void fillSlot(sheet::PopPrint& page, const QString& server, const QString& account, const QString& password,
              const QString& confirm) {
    page.mailServerEdit()->setText(server);
    page.mailAccountEdit()->setText(account);
    page.passwordEdit()->setText(password);
    page.confirmPasswordEdit()->setText(confirm);
}

} // namespace

class TestMailSnmpPages : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();

    // Mail printing page
    void mailOnePortBoxLeavesOtherPortsAlone();
    void mailTwoBadServersTwoMessagesNoWrite();
    void mailPasswordsOfEightAndFiveCharacters();
    void mailPortSwitchChecksShownPort();
    void mailPollingList();
    void mailRefusalEmptiesThePage();

    // SNMP page
    void snmpEmptyContactIsOneNul();
    void snmpWithoutAgentShowsTextsDisabled();

    // Every page
    void boxTextsAreShownWholeAndWrittenBackByteForByte();
    void writeNeverSendsARecordDamagedOnItsWay();
    void writeTheBoxRefusesLeavesItsRecord();
};

void TestMailSnmpPages::initTestCase() {
    QApplication::setApplicationName(u"brevan"_s);
}

// --- Mail printing page ---

void TestMailSnmpPages::mailOnePortBoxLeavesOtherPortsAlone() {
    const sim::BoxSpec one = testBox("ONEPORT", 1, 0x01, MailCaps, [](ConfigRecord& rec) {
        for (std::size_t i = r::MailBlocks + r::MailBlockSize; i < r::DhcpStart; ++i)
            rec[i] = Byte(0x30 + i % 61);
        rec[r::PrintFlags] = 0xEE; // all but bits 0 and 4: other ports' flags and unused bits
    });
    BrevanRig rig({one});
    QVERIFY2(rig.started, rig.error.c_str());
    QVERIFY(rig.showAndDiscover());
    sheet::PopPrint& page = *rig.sheet().popPrint();
    FakeResolver names;
    names.attach(page, rig.ui);
    QVERIFY(open(rig, u"ONEPORT"_s, &page));
    QCOMPARE(rig.sheet().windowTitle(), u"ONEPORT"_s);
    QCOMPARE(page.printPortList()->count(), 1);
    QCOMPARE(page.printPortList()->itemText(0), u"1"_s);
    QCOMPARE(page.portGroup()->title(), u"LPT1"_s);
    QVERIFY(!page.printAllMailsCheck()->isEnabled());
    QVERIFY(!page.replyConfirmationCheck()->isEnabled());

    fillSlot(page, u"localhost"_s, u"acct"_s, u"pw"_s, u"pw"_s);
    page.printMailHeaderCheck()->click();
    page.writeButton()->click();
    QVERIFY(rig.ui.messages.isEmpty());
    const ConfigRecord after = stored(rig, 0);
    QCOMPARE(dotted(after, r::MailBlocks), u"127.0.0.1"_s); // the address, not the name
    QCOMPARE(text(after, r::MailBlocks + 4, 8), u"acct"_s);
    QCOMPARE(text(after, r::MailBlocks + 12, 8), u"pw"_s);
    QVERIFY(sameBytes(after, one.record, r::MailBlocks + r::MailBlockSize, r::DhcpStart - 1));
    QCOMPARE(after[r::PrintFlags], Byte(0xEF)); // header on; "Print All Mails" as read
    QVERIFY(!names.waitDepths.isEmpty());
    for (int depth : names.waitDepths)
        QVERIFY(depth >= 1); // names are looked up under the wait cursor
}

void TestMailSnmpPages::mailTwoBadServersTwoMessagesNoWrite() {
    BrevanRig rig({testBox("THREEPORT", 1, 0x03, MailCaps)});
    QVERIFY2(rig.started, rig.error.c_str());
    QVERIFY(rig.showAndDiscover());
    sheet::PopPrint& page = *rig.sheet().popPrint();
    FakeResolver names;
    names.names["mail.one"] = {10, 0, 0, 1};
    names.names["mail.three"] = {10, 0, 0, 3};
    names.attach(page, rig.ui);
    QVERIFY(open(rig, u"THREEPORT"_s, &page));
    QCOMPARE(page.printPortList()->count(), 3);

    fillSlot(page, u"mail.one"_s, u"a1"_s, u"p1"_s, u"p1"_s);
    choosePort(page, 1);
    QCOMPARE(page.portGroup()->title(), u"LPT2"_s);
    QCOMPARE(page.mailServerEdit()->text(), u"0.0.0.0"_s);
    fillSlot(page, u"localhost"_s, u"a2"_s, u"p2"_s, u"p2"_s);
    choosePort(page, 2);
    fillSlot(page, u"mail.three"_s, u"a3"_s, u"p3"_s, u"p3"_s);
    QVERIFY(rig.ui.messages.isEmpty());

    // The names of ports 1 and 3 have stopped resolving since they were typed.
    names.names.erase("mail.one");
    names.names.erase("mail.three");
    page.writeButton()->click();
    QCOMPARE(rig.ui.texts(),
             (QStringList{u"Invalid LPT1 Mail Server !!\n"_s, u"Invalid LPT3 Mail Server !!\n"_s}));
    for (const auto& m : rig.ui.messages)
        QCOMPARE(m.icon, UiServices::Icon::Critical);
    QCOMPARE(rig.sheet().focusWidget(), page.mailServerEdit());
    QCOMPARE(writes(rig, 0), 0);

    // Resolving again, the same Write stores every port.
    names.names["mail.one"] = {10, 0, 0, 1};
    names.names["mail.three"] = {10, 0, 0, 3};
    rig.ui.messages.clear();
    page.writeButton()->click();
    QVERIFY(rig.ui.messages.isEmpty());
    const ConfigRecord after = stored(rig, 0);
    QCOMPARE(dotted(after, r::MailBlocks), u"10.0.0.1"_s);
    QCOMPARE(dotted(after, r::MailBlocks + 20), u"127.0.0.1"_s);
    QCOMPARE(dotted(after, r::MailBlocks + 40), u"10.0.0.3"_s);
    QCOMPARE(text(after, r::MailBlocks + 44, 8), u"a3"_s);
}

void TestMailSnmpPages::mailPasswordsOfEightAndFiveCharacters() {
    BrevanRig rig({testBox("TWOPORT", 1, 0x02, MailCaps, [](ConfigRecord& rec) {
        sim::setText(rec, r::MailBlocks + 20 + 12, 8, "ZZZZZZZZ");
        sim::setText(rec, r::MailBlocks + 20 + 4, 8, "olduser1");
    })});
    QVERIFY2(rig.started, rig.error.c_str());
    QVERIFY(rig.showAndDiscover());
    sheet::PopPrint& page = *rig.sheet().popPrint();
    FakeResolver names;
    names.attach(page, rig.ui);
    QVERIFY(open(rig, u"TWOPORT"_s, &page));
    QCOMPARE(page.passwordEdit()->echoMode(), QLineEdit::Password);
    QCOMPARE(page.confirmPasswordEdit()->echoMode(), QLineEdit::Password);
    QCOMPARE(page.passwordEdit()->maxLength(), 8);

    fillSlot(page, u"10.0.0.1"_s, u"user0001"_s, u"12345678"_s, u"12345678"_s);
    choosePort(page, 1);
    QCOMPARE(page.mailAccountEdit()->text(), u"olduser1"_s);
    QCOMPARE(page.confirmPasswordEdit()->text(), u"ZZZZZZZZ"_s); // the confirmation starts as the password
    fillSlot(page, u"10.0.0.2"_s, u"u2"_s, u"abcde"_s, u"abcde"_s);
    choosePort(page, 0);
    QCOMPARE(page.passwordEdit()->text(), u"12345678"_s);
    QCOMPARE(page.confirmPasswordEdit()->text(), u"12345678"_s);
    page.writeButton()->click();
    QVERIFY(rig.ui.messages.isEmpty());

    const ConfigRecord after = stored(rig, 0);
    const auto bytes = [&](std::size_t at, std::size_t n) {
        return QByteArray(reinterpret_cast<const char*>(after.data() + at), qsizetype(n));
    };
    QCOMPARE(bytes(r::MailBlocks + 4, 16), QByteArray("user000112345678")); // no terminator
    QCOMPARE(dotted(after, r::MailBlocks + 20), u"10.0.0.2"_s);
    QCOMPARE(bytes(r::MailBlocks + 24, 8), QByteArray("u2\0user1", 8));
    QCOMPARE(bytes(r::MailBlocks + 32, 8), QByteArray("abcde\0ZZ", 8)); // one NUL, the old bytes after it
}

void TestMailSnmpPages::mailPortSwitchChecksShownPort() {
    BrevanRig rig({testBox("TWOPORT", 1, 0x02, MailCaps)});
    QVERIFY2(rig.started, rig.error.c_str());
    QVERIFY(rig.showAndDiscover());
    sheet::PopPrint& page = *rig.sheet().popPrint();
    FakeResolver names;
    names.attach(page, rig.ui);
    QVERIFY(open(rig, u"TWOPORT"_s, &page));

    fillSlot(page, u"10.0.0.1"_s, u"acct"_s, u"abc"_s, u"abd"_s);
    choosePort(page, 1);
    QCOMPARE(rig.ui.texts(), QStringList{u"LPT1 \"Confirm Password\" is incorrect,\n Pleas Retype again.\n"_s});
    QCOMPARE(rig.ui.messages.front().icon, UiServices::Icon::Critical);
    QCOMPARE(page.printPortList()->currentIndex(), 0);
    QCOMPARE(page.portGroup()->title(), u"LPT1"_s);
    QCOMPARE(page.confirmPasswordEdit()->text(), u"abd"_s);
    QCOMPARE(rig.sheet().focusWidget(), page.confirmPasswordEdit());

    rig.ui.messages.clear();
    fillSlot(page, u"no.such.name"_s, u"acct"_s, u"abc"_s, u"abc"_s);
    choosePort(page, 1);
    QCOMPARE(rig.ui.texts(), QStringList{u"Invalid LPT1 Mail Server !!\n"_s});
    QCOMPARE(rig.ui.messages.front().icon, UiServices::Icon::Critical);
    QCOMPARE(page.printPortList()->currentIndex(), 0);
    QCOMPARE(rig.sheet().focusWidget(), page.mailServerEdit());

    // Only the shown port's pair is compared at Write.
    rig.ui.messages.clear();
    page.mailServerEdit()->clear(); // no mail server: 0.0.0.0
    choosePort(page, 1);
    QVERIFY(rig.ui.messages.isEmpty());
    QCOMPARE(page.portGroup()->title(), u"LPT2"_s);
    page.confirmPasswordEdit()->setText(u"other"_s);
    page.writeButton()->click();
    QCOMPARE(rig.ui.texts(), QStringList{u"LPT2 \"Confirm Password\" is incorrect,\n Pleas Retype again.\n"_s});
    QCOMPARE(writes(rig, 0), 0);
    page.confirmPasswordEdit()->clear();
    rig.ui.messages.clear();
    page.writeButton()->click();
    QVERIFY(rig.ui.messages.isEmpty());
    const ConfigRecord after = stored(rig, 0);
    QCOMPARE(dotted(after, r::MailBlocks), u"0.0.0.0"_s);
    QCOMPARE(text(after, r::MailBlocks + 12, 8), u"abc"_s);
}

void TestMailSnmpPages::mailPollingList() {
    BrevanRig rig({testBox("POLL0", 1, 0x01, MailCaps, [](ConfigRecord& rec) { rec[r::MailPolling] = 0; })});
    QVERIFY2(rig.started, rig.error.c_str());
    QVERIFY(rig.showAndDiscover());
    sheet::PopPrint& page = *rig.sheet().popPrint();
    FakeResolver names;
    names.attach(page, rig.ui);
    QVERIFY(open(rig, u"POLL0"_s, &page));
    QComboBox* polling = page.pollingList();
    QCOMPARE(polling->count(), 129);
    QCOMPARE(polling->itemText(0), u"1"_s);
    QCOMPARE(polling->itemText(1), u"1"_s);
    QCOMPARE(polling->itemText(2), u"2"_s);
    QCOMPARE(polling->itemText(127), u"127"_s);
    QCOMPARE(polling->itemText(128), QString());
    QCOMPARE(polling->currentIndex(), 0);
    QCOMPARE(polling->currentText(), u"1"_s);
    page.writeButton()->click();
    QVERIFY(rig.ui.messages.isEmpty());
    QCOMPARE(stored(rig, 0)[r::MailPolling], Byte(1));

    polling->setCurrentIndex(127);
    page.writeButton()->click();
    QCOMPARE(stored(rig, 0)[r::MailPolling], Byte(127));
}

void TestMailSnmpPages::mailRefusalEmptiesThePage() {
    BrevanRig rig({testBox("MAILER", 1, 0x01, MailCaps,
                       [](ConfigRecord& rec) {
                           sim::setIPv4(rec, r::MailBlocks, {10, 0, 0, 1});
                           sim::setText(rec, r::MailBlocks + 4, 8, "acct");
                           rec[r::MailPolling] = 5;
                       }),
                   testBox("NOMAIL", 2, 0x01, r::CapTcpIp)});
    QVERIFY2(rig.started, rig.error.c_str());
    QVERIFY(rig.showAndDiscover());
    sheet::PopPrint& page = *rig.sheet().popPrint();
    QVERIFY(open(rig, u"MAILER"_s, &page));
    QCOMPARE(page.mailServerEdit()->text(), u"10.0.0.1"_s);
    QCOMPARE(page.pollingList()->currentIndex(), 5);

    QVERIFY(open(rig, u"NOMAIL"_s, &page));
    QCOMPARE(rig.ui.texts(), QStringList{u"'NOMAIL' do NOT support Mail Printing !!!"_s});
    QVERIFY(!page.isEnabled());
    QCOMPARE(page.mailServerEdit()->text(), QString());
    QCOMPARE(page.mailAccountEdit()->text(), QString());
    QCOMPARE(page.pollingList()->currentIndex(), -1);
    QCOMPARE(page.printPortList()->count(), 0);
    QVERIFY(!page.writeButton()->isEnabled());
}

// --- SNMP page ---

void TestMailSnmpPages::snmpEmptyContactIsOneNul() {
    sim::BoxSpec agent = testBox("AGENT", 1, 0x01, r::CapTcpIp, [](ConfigRecord& rec) {
        for (std::size_t i = r::SnmpContact; i < r::SnmpLocation + 16; ++i)
            rec[i] = Byte('a' + i % 26);
        sim::setText(rec, r::SnmpContact, 16, "Front desk");
        sim::setText(rec, r::SnmpLocation, 16, "Floor 2");
    });
    agent.flags61 = 0x01;
    BrevanRig rig({agent});
    QVERIFY2(rig.started, rig.error.c_str());
    QVERIFY(rig.showAndDiscover());
    sheet::snmp& page = *rig.sheet().snmpPage();
    QVERIFY(open(rig, u"AGENT"_s, &page));
    QCOMPARE(rig.sheet().windowTitle(), u"AGENT"_s);
    QVERIFY(page.contactEdit()->isEnabled());
    QCOMPARE(page.contactEdit()->text(), u"Front desk"_s);
    QCOMPARE(page.locationEdit()->text(), u"Floor 2"_s);
    QCOMPARE(page.contactEdit()->maxLength(), 15);

    page.contactEdit()->clear();
    page.locationEdit()->setText(u"Hall"_s);
    page.writeButton()->click();
    QVERIFY(rig.ui.messages.isEmpty());
    const ConfigRecord after = stored(rig, 0);
    QCOMPARE(after[r::SnmpContact], Byte(0));
    QVERIFY(sameBytes(after, agent.record, r::SnmpContact + 1, r::SnmpContact + 15));
    QCOMPARE(text(after, r::SnmpLocation, 16), u"Hall"_s);
    QVERIFY(sameBytes(after, agent.record, r::SnmpLocation + 5, r::SnmpLocation + 15));
    QCOMPARE(differences(after, agent.record), (QList<int>{32, 48, 49, 50, 51, 52})); // "Floor" became "Hall\0"
}

void TestMailSnmpPages::snmpWithoutAgentShowsTextsDisabled() {
    BrevanRig rig({testBox("MUTE", 1, 0x01, r::CapTcpIp, [](ConfigRecord& rec) {
        sim::setText(rec, r::SnmpContact, 16, "Nobody");
        sim::setText(rec, r::SnmpLocation, 16, "Cellar");
    })});
    QVERIFY2(rig.started, rig.error.c_str());
    QVERIFY(rig.showAndDiscover());
    sheet::snmp& page = *rig.sheet().snmpPage();
    QVERIFY(open(rig, u"MUTE"_s, &page));
    QVERIFY(rig.ui.messages.isEmpty());
    QVERIFY(!page.contactEdit()->isEnabled());
    QVERIFY(!page.locationEdit()->isEnabled());
    QVERIFY(!page.writeButton()->isEnabled());
    QVERIFY(!page.resetButton()->isEnabled());
    QCOMPARE(page.contactEdit()->text(), u"Nobody"_s);
    QCOMPARE(page.locationEdit()->text(), u"Cellar"_s);
    page.write();
    QCOMPARE(writes(rig, 0), 0);
}

// --- Every page ---

void TestMailSnmpPages::boxTextsAreShownWholeAndWrittenBackByteForByte() {
    // Windows-1252 bytes, UTF-8 bytes, and fields filled without a terminator.
    sim::BoxSpec cafe = testBox("CAF\xC9-PS", 1, 0x01, MailCaps, [](ConfigRecord& rec) {
        sim::setText(rec, r::SnmpContact, 16, "ABCDEFGHIJKLMNOP");
        sim::setText(rec, r::SnmpLocation, 16, "Caf\xC3\xA9");
        sim::setText(rec, r::MailBlocks + 4, 8, "M\xFCller12");
        sim::setText(rec, r::MailBlocks + 12, 8, "\xA7\xA7");
    });
    cafe.flags61 = 0x01;
    BrevanRig rig({cafe, testBox("SIXTEEN-LETTERS!", 2, 0x01, r::CapTcpIp)});
    QVERIFY2(rig.started, rig.error.c_str());
    QVERIFY(rig.showAndDiscover());
    QCOMPARE(rig.listed(), (QStringList{u"CAFÉ-PS"_s, u"SIXTEEN-LETTERS!"_s}));
    const ConfigRecord before = stored(rig, 0);

    // Each page shows the texts whole and writes them back untouched.
    sheet::Page06& options = *rig.sheet().page06();
    QVERIFY(open(rig, u"CAFÉ-PS"_s, &options));
    QCOMPARE(options.aliasEdit()->text(), u"CAFÉ-PS"_s);
    options.writeButton()->click();
    sheet::snmp& snmp = *rig.sheet().snmpPage();
    QVERIFY(open(rig, u"CAFÉ-PS"_s, &snmp));
    QCOMPARE(snmp.contactEdit()->text(), u"ABCDEFGHIJKLMNOP"_s);
    QCOMPARE(snmp.locationEdit()->text(), u"Café"_s);
    snmp.writeButton()->click();
    sheet::PopPrint& mail = *rig.sheet().popPrint();
    QVERIFY(open(rig, u"CAFÉ-PS"_s, &mail));
    QCOMPARE(mail.mailAccountEdit()->text(), u"Müller12"_s);
    QCOMPARE(mail.passwordEdit()->text(), u"§§"_s);
    mail.writeButton()->click();
    QVERIFY2(rig.ui.messages.isEmpty(), qPrintable(rig.ui.texts().join(u'|')));
    QCOMPARE(writes(rig, 0), 3);
    QCOMPARE(differences(stored(rig, 0), before), QList<int>{});

    // An edited text goes into the code page when it has every character.
    QVERIFY(open(rig, u"CAFÉ-PS"_s, &snmp));
    snmp.locationEdit()->setText(u"Zürich"_s);
    snmp.writeButton()->click();
    QCOMPARE(protocol::fieldText(stored(rig, 0), r::SnmpLocation, 16), std::string("Z\xFCrich"));

    // A name that fills its field is shown whole and is no new name.
    QVERIFY(open(rig, u"SIXTEEN-LETTERS!"_s, &options));
    QCOMPARE(options.aliasEdit()->text(), u"SIXTEEN-LETTERS!"_s);
    options.writeButton()->click();
    QCOMPARE(rig.ui.messages.size(), 0);
    QCOMPARE(text(stored(rig, 1), r::AliasName, 16), u"SIXTEEN-LETTERS!"_s);
}

void TestMailSnmpPages::writeNeverSendsARecordDamagedOnItsWay() {
    sim::BoxSpec agent = testBox("AGENT", 1, 0x01, r::CapTcpIp);
    agent.flags61 = 0x01;
    BrevanRig rig({agent});
    QVERIFY2(rig.started, rig.error.c_str());
    QVERIFY(rig.showAndDiscover());
    sheet::snmp& page = *rig.sheet().snmpPage();
    QVERIFY(open(rig, u"AGENT"_s, &page));
    const ConfigRecord before = stored(rig, 0);

    // A byte of the record in hand went wrong on its way: nothing is sent, and
    // the page holds the record the box really has.
    rig.ctx().configBuffer[protocol::HeaderSize + 100] ^= 0x5A;
    page.locationEdit()->setText(u"Hall"_s);
    page.writeButton()->click();
    QCOMPARE(rig.ui.texts(), QStringList{u"Cannot Write EEProm"_s});
    QCOMPARE(writes(rig, 0), 0);
    QCOMPARE(differences(stored(rig, 0), before), QList<int>{});
    page.locationEdit()->setText(u"Hall"_s);
    page.writeButton()->click();
    QCOMPARE(writes(rig, 0), 1);
    QCOMPARE(differences(stored(rig, 0), before), (QList<int>{48, 49, 50, 51})); // "Hall", the rest as read

    // A box that leaves its checksum stale reads the same twice and can be written.
    rig.lan.withBox(0, [](sim::SimBox& b) {
        auto rec = b.storedRecord();
        rec[protocol::ChecksumOffset] ^= 0xFF;
        b.storeRecord(rec);
        return 0;
    });
    QVERIFY(open(rig, u"AGENT"_s, &page));
    page.contactEdit()->setText(u"Desk"_s);
    page.writeButton()->click();
    QCOMPARE(rig.ui.texts().size(), 1);
    QCOMPARE(writes(rig, 0), 2);
    QCOMPARE(text(stored(rig, 0), r::SnmpContact, 16), u"Desk"_s);
}

void TestMailSnmpPages::writeTheBoxRefusesLeavesItsRecord() {
    sim::BoxSpec agent = testBox("AGENT", 1, 0x01, r::CapTcpIp);
    agent.flags61 = 0x01;
    agent.faults.refuseWrites = true;
    BrevanRig rig({agent});
    QVERIFY2(rig.started, rig.error.c_str());
    QVERIFY(rig.showAndDiscover());
    sheet::snmp& page = *rig.sheet().snmpPage();
    QVERIFY(open(rig, u"AGENT"_s, &page));
    const ConfigRecord before = stored(rig, 0);
    page.locationEdit()->setText(u"Hall"_s);
    page.writeButton()->click();
    QCOMPARE(rig.ui.texts(), QStringList{u"Cannot Write EEProm"_s});
    QVERIFY(stored(rig, 0) == before);
}

QTEST_MAIN(TestMailSnmpPages)
#include "test_mail_snmp_pages.moc"
