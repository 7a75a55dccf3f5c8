// The device options, DHCP setup and DHCP information pages, driven through their
// widgets on the offscreen platform against simulated boxes on this test's own
// loopback ports. What a Write did is read back from the box.
#include "brevan_rig.h"
#include "settings_page_helpers.h"

#include "sheet/page04.h"
#include "sheet/page05.h"
#include "sheet/page06.h"
#include "protocol/records.h"
#include "protocol/status_record.h"

#include <QApplication>
#include <QTest>

#include <algorithm>
#include <array>
#include <functional>

using namespace vnk;
using namespace vnk::testing;
using sheet::UiServices;
using protocol::Byte;
using protocol::ConfigRecord;
using namespace Qt::StringLiterals;
namespace r = protocol::record;

namespace {

constexpr Byte DhcpCaps = r::CapTcpIp | r::CapDhcpServer;

// A DHCP server box set up by hand: mode Enable, 192.168.1.100 and 50 addresses.
sim::BoxSpec dhcpBox(const std::string& name, Byte mac, const std::function<void(ConfigRecord&)>& edit = {}) {
    return testBox(name, mac, 0x01, DhcpCaps, [&](ConfigRecord& rec) {
        sim::setIPv4(rec, r::IpAddress, {192, 168, 1, 10});
        sim::setIPv4(rec, r::DhcpStart, {192, 168, 1, 100});
        protocol::putLE16(rec, r::DhcpRange, 50);
        sim::setIPv4(rec, r::DhcpNetmask, {255, 255, 255, 0});
        rec[r::DhcpMode] = 1;
        if (edit)
            edit(rec);
    });
}

} // namespace

class TestSettingsPages : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();

    // Device options page
    void factoryDefaultWritesTheFactoryRecord();
    void aliasNameRule();
    void modelWithoutNetBeuiClearsItsBit();

    // DHCP setup page
    void dhcpManualChecks_data();
    void dhcpManualChecks();
    void dhcpDisableWritesOnlyTheMode();
    void dhcpSetupAutoClearsServerFieldsKeepsOwnAddress();
    void dhcpActivationAndRadioLogic();
    void dhcpRefusals();

    // DHCP information page
    void dhcpInformationShowsStatusAsLastRead();
    void dhcpInformationWithoutServerStillFills();
};

void TestSettingsPages::initTestCase() {
    QApplication::setApplicationName(u"brevan"_s);
}

// --- Device options page ---

void TestSettingsPages::factoryDefaultWritesTheFactoryRecord() {
    // Every byte the page may touch holds a value of its own, so that a byte
    // cleared or kept by mistake shows.
    const sim::BoxSpec factory = testBox("OLDNAME", 2, 0x03, 0xFF, [](ConfigRecord& rec) {
        for (std::size_t i = 9; i < r::ModelCode; ++i)
            if (i != r::Capabilities)
                rec[i] = Byte(0x21 + i % 93);
        sim::setText(rec, r::AliasName, 8, "OLDNAME"); // NUL at 23, 24-31 keep their values
        rec[r::OptionFlags] = 0xDB;                    // bits 7, 6, 4, 3, 1, 0
    });
    BrevanRig rig({testBox("ALPHA", 1), factory}, "[General Information]\nTitle=Varnotek\n");
    QVERIFY2(rig.started, rig.error.c_str());
    QVERIFY(rig.showAndDiscover());
    sheet::Page06& page = *rig.sheet().page06();
    QVERIFY(open(rig, u"OLDNAME"_s, &page));
    QCOMPARE(rig.sheet().windowTitle(), u"Varnotek Configuration"_s);
    const int line = rig.indexOf(u"OLDNAME"_s);
    const QStringList listBefore = rig.listed();
    const int statusReads = rig.probe->statusReads;

    page.factoryDefaultCheck()->click();
    QVERIFY(!page.aliasEdit()->isEnabled());
    QVERIFY(!page.diagnosticCheck()->isEnabled());
    QVERIFY(!page.netbeuiCheck()->isEnabled());
    QVERIFY(!page.appletalkCheck()->isEnabled());
    page.writeButton()->click();

    ConfigRecord expected = factory.record;
    const std::string device = factory.deviceName;
    QCOMPARE(device.size(), std::size_t(8));
    std::copy(device.begin(), device.end(), expected.begin() + r::AliasName);
    expected[24] = 0;
    std::fill(expected.begin() + 32, expected.begin() + 64, Byte(0));
    expected[76] = 0;
    expected[124] = 0;
    expected[172] = 0;
    expected[75] = 2;
    expected[72] = 0x7D; // 7 and 1 cleared, 2 and 5 set, 6, 4, 3, 0 kept
    std::fill(expected.begin() + 490, expected.begin() + 502, Byte(0));
    std::fill(expected.begin() + 470, expected.begin() + 489, Byte(0));
    std::fill(expected.begin() + 404, expected.begin() + 466, Byte(0));
    expected[405] = 1;
    std::fill(expected.begin() + 380, expected.begin() + 396, Byte(0));
    const ConfigRecord after = stored(rig, 1);
    QCOMPARE(differences(after, expected), QList<int>{});
    QCOMPARE(writes(rig, 1), 1);

    // The entry and its line carry the device name; the list did not reselect.
    QCOMPARE(QString::fromStdString(rig.ctx().selectedEntry()->name()), QString::fromStdString(device));
    QStringList listAfter = listBefore;
    listAfter[line] = QString::fromStdString(device);
    QCOMPARE(rig.listed(), listAfter);
    QCOMPARE(rig.general().serverList()->currentIndex(), line);
    QCOMPARE(rig.ctx().selectedIndex, line);
    QCOMPARE(rig.probe->statusReads, statusReads);
    QCOMPARE(rig.ui.texts(),
             QStringList{u"The Alias Name was changed, you have to 'RESET' it to make it work properly"_s});
    QCOMPARE(rig.ui.messages.front().caption, u"brevan"_s);
}

void TestSettingsPages::aliasNameRule() {
    BrevanRig rig({testBox("FIRST", 1, 0x01, r::CapTcpIp, [](ConfigRecord& rec) {
        rec[r::AliasName + 10] = 'k'; // after the NUL that ends "FIRST"
        rec[r::AliasName + 15] = 'z';
    })});
    QVERIFY2(rig.started, rig.error.c_str());
    QVERIFY(rig.showAndDiscover());
    sheet::Page06& page = *rig.sheet().page06();
    QVERIFY(open(rig, u"FIRST"_s, &page));
    QCOMPARE(page.aliasEdit()->text(), u"FIRST"_s);
    QCOMPARE(page.aliasEdit()->maxLength(), 15);

    // The same name again: no message, the record as it was.
    const ConfigRecord before = stored(rig, 0);
    page.writeButton()->click();
    QVERIFY(rig.ui.messages.isEmpty());
    QCOMPARE(writes(rig, 0), 1);
    QCOMPARE(differences(stored(rig, 0), before), QList<int>{});

    // A new name: the field takes it and its NUL, the rest of the field stays.
    page.aliasEdit()->setText(u"NEWNAME"_s);
    page.diagnosticCheck()->click();
    page.writeButton()->click();
    QCOMPARE(rig.ui.texts().size(), 1);
    ConfigRecord after = stored(rig, 0);
    QCOMPARE(text(after, r::AliasName, 16), u"NEWNAME"_s);
    QCOMPARE(after[r::AliasName + 10], Byte('k'));
    QCOMPARE(after[r::AliasName + 15], Byte('z'));
    QVERIFY(after[r::OptionFlags] & r::OptDiagnostic);
    QCOMPARE(rig.listed(), QStringList{u"NEWNAME"_s});

    // An empty name differs too: stored empty, an empty line in the list, and
    // the next activation shows the device name in its place.
    page.aliasEdit()->clear();
    page.writeButton()->click();
    QCOMPARE(rig.ui.texts().size(), 2);
    after = stored(rig, 0);
    QCOMPARE(after[r::AliasName], Byte(0));
    QCOMPARE(rig.listed(), QStringList{QString()});
    QVERIFY(open(rig, QString(), &page));
    QCOMPARE(page.aliasEdit()->text(), QString::fromStdString(testBox("FIRST", 1).deviceName));

    // Characters the code page lacks are stored as UTF-8: nine of them take more
    // than fifteen bytes and do not fit the field.
    page.aliasEdit()->setText(QString(u'Ω').repeated(9));
    const int writesBefore = writes(rig, 0);
    page.writeButton()->click();
    QCOMPARE(rig.ui.texts().last(), u"Enter no more than 15 characters."_s);
    QCOMPARE(rig.sheet().focusWidget(), page.aliasEdit());
    QCOMPARE(writes(rig, 0), writesBefore);
    QCOMPARE(stored(rig, 0)[r::AliasName], Byte(0));
}

void TestSettingsPages::modelWithoutNetBeuiClearsItsBit() {
    BrevanRig rig({testBox("NONBT", 1, 0x01, r::CapTcpIp | r::CapAppleTalk, [](ConfigRecord& rec) {
        rec[r::OptionFlags] = r::OptTcpIp | r::OptNetBeui | r::OptAppleTalk;
    })});
    QVERIFY2(rig.started, rig.error.c_str());
    QVERIFY(rig.showAndDiscover());
    sheet::Page06& page = *rig.sheet().page06();
    QVERIFY(open(rig, u"NONBT"_s, &page));
    QVERIFY(!page.netbeuiCheck()->isEnabled());
    QVERIFY(!page.netbeuiCheck()->isChecked());
    QVERIFY(page.appletalkCheck()->isEnabled());
    QVERIFY(page.appletalkCheck()->isChecked());

    page.writeButton()->click();
    QVERIFY(rig.ui.messages.isEmpty());
    QCOMPARE(stored(rig, 0)[r::OptionFlags], Byte(r::OptTcpIp | r::OptAppleTalk));

    // Factory Default ticked and unticked gives the boxes back as the model allows.
    page.factoryDefaultCheck()->click();
    QVERIFY(!page.appletalkCheck()->isEnabled());
    page.factoryDefaultCheck()->click();
    QVERIFY(page.aliasEdit()->isEnabled());
    QVERIFY(page.diagnosticCheck()->isEnabled());
    QVERIFY(page.appletalkCheck()->isEnabled());
    QVERIFY(!page.netbeuiCheck()->isEnabled());

    // The factory settings switch NetBEUI on whatever the model.
    page.factoryDefaultCheck()->click();
    page.writeButton()->click();
    QCOMPARE(stored(rig, 0)[r::OptionFlags], Byte(r::OptTcpIp | r::OptNetBeui | r::OptAppleTalk));
}

// --- DHCP setup page ---

void TestSettingsPages::dhcpManualChecks_data() {
    QTest::addColumn<QString>("printServerIp");
    QTest::addColumn<QString>("startingIp");
    QTest::addColumn<QString>("netmask");
    QTest::addColumn<QString>("gateway");
    QTest::addColumn<QString>("dns");
    QTest::addColumn<QString>("range");
    QTest::addColumn<QString>("message"); // empty: accepted and written
    QTest::addColumn<QString>("focus");   // the edit that gets the focus

    const QString zero = u"0.0.0.0"_s;
    const QString mask24 = u"255.255.255.0"_s;
    QTest::newRow("range above the end of the subnet")
        << u"192.168.1.10"_s << u"192.168.1.200"_s << mask24 << zero << zero << u"60"_s
        << u"IP range just can be from 1 to 55"_s << u"ipRange"_s;
    QTest::newRow("range up to the end of the subnet")
        << u"192.168.1.10"_s << u"192.168.1.200"_s << mask24 << zero << zero << u"55"_s << QString() << QString();
    QTest::newRow("netmask 0 stands for 255.255.0.0: another network")
        << u"10.0.0.5"_s << u"192.168.1.200"_s << zero << zero << zero << u"10"_s
        << u" The Starting IP address range given is invalid."_s << u"startingIp"_s;
    QTest::newRow("netmask 0 stands for 255.255.0.0: the same network")
        << u"192.168.7.1"_s << u"192.168.1.200"_s << zero << zero << u"192.168.7.2"_s << u"100"_s << QString()
        << QString();
    QTest::newRow("print server IP 0 with a starting IP")
        << zero << u"192.168.1.100"_s << mask24 << zero << zero << u"10"_s << u" The DNS is not valid."_s
        << u"dnsServer"_s;
    QTest::newRow("starting IP outside the print server's subnet")
        << u"10.0.0.5"_s << u"10.0.1.10"_s << mask24 << u"10.0.0.1"_s << zero << u"10"_s
        << u" The Starting IP address range given is invalid."_s << u"startingIp"_s;
    QTest::newRow("gateway outside the print server's subnet")
        << u"10.0.0.5"_s << u"10.0.0.10"_s << mask24 << u"10.0.1.1"_s << zero << u"10"_s
        << u" The Gateway IP address range given is invalid."_s << u"gatewayIp"_s;
    QTest::newRow("print server IP with three parts")
        << u"10.0.0"_s << u"10.0.0.10"_s << mask24 << zero << zero << u"10"_s
        << u" The IP address range given is invalid."_s << u"printServerIp"_s;
    QTest::newRow("netmask with a hole")
        << u"192.168.1.10"_s << u"192.168.1.200"_s << u"255.0.255.0"_s << zero << zero << u"10"_s
        << u" The netmask is not valid."_s << u"netmask"_s;
    QTest::newRow("range 0") << u"192.168.1.10"_s << u"192.168.1.200"_s << mask24 << zero << zero << u"0"_s
                             << u" The specified range can't be zero"_s << u"ipRange"_s;
    QTest::newRow("range not a number") << u"192.168.1.10"_s << u"192.168.1.200"_s << mask24 << zero << zero
                                        << u"5x"_s << u"Please enter an integer."_s << u"ipRange"_s;
}

void TestSettingsPages::dhcpManualChecks() {
    QFETCH(QString, printServerIp);
    QFETCH(QString, startingIp);
    QFETCH(QString, netmask);
    QFETCH(QString, gateway);
    QFETCH(QString, dns);
    QFETCH(QString, range);
    QFETCH(QString, message);
    QFETCH(QString, focus);

    BrevanRig rig({dhcpBox("DHCPBOX", 1)});
    QVERIFY2(rig.started, rig.error.c_str());
    QVERIFY(rig.showAndDiscover());
    sheet::Page04& page = *rig.sheet().page04();
    QVERIFY(open(rig, u"DHCPBOX"_s, &page));
    QVERIFY(page.setupManual()->isChecked());
    QVERIFY(page.startupEnable()->isChecked());
    page.printServerIpEdit()->setText(printServerIp);
    page.startingIpEdit()->setText(startingIp);
    page.netmaskEdit()->setText(netmask);
    page.gatewayEdit()->setText(gateway);
    page.dnsEdit()->setText(dns);
    page.ipRangeEdit()->setText(range);
    const ConfigRecord before = stored(rig, 0);
    page.writeButton()->click();

    if (!message.isEmpty()) {
        QCOMPARE(rig.ui.texts(), QStringList{message});
        QCOMPARE(rig.ui.messages.front().icon, UiServices::Icon::Warning);
        QVERIFY(rig.sheet().focusWidget());
        QCOMPARE(rig.sheet().focusWidget()->objectName(), focus);
        QCOMPARE(writes(rig, 0), 0);
        QCOMPARE(differences(stored(rig, 0), before), QList<int>{});
        return;
    }
    QVERIFY(rig.ui.messages.isEmpty());
    const ConfigRecord after = stored(rig, 0);
    QCOMPARE(dotted(after, r::IpAddress), printServerIp);
    QCOMPARE(dotted(after, r::DhcpStart), startingIp);
    QCOMPARE(dotted(after, r::DhcpNetmask), netmask);
    QCOMPARE(dotted(after, r::DhcpGateway), gateway);
    QCOMPARE(dotted(after, r::DhcpDns), dns);
    QCOMPARE(int(protocol::getLE16(after, r::DhcpRange)), range.toInt());
    QCOMPARE(after[r::DhcpMode], Byte(1));
}

void TestSettingsPages::dhcpDisableWritesOnlyTheMode() {
    BrevanRig rig({dhcpBox("DHCPBOX", 1)});
    QVERIFY2(rig.started, rig.error.c_str());
    QVERIFY(rig.showAndDiscover());
    sheet::Page04& page = *rig.sheet().page04();
    QVERIFY(open(rig, u"DHCPBOX"_s, &page));
    // Texts no check would pass, typed before the server is switched off.
    page.startingIpEdit()->setText(u"nonsense"_s);
    page.dnsEdit()->setText(u"300"_s);
    page.printServerIpEdit()->setText(u"0.0.0.0"_s);
    page.startupDisable()->click();
    QVERIFY(!page.setupAuto()->isEnabled());
    QVERIFY(!page.setupManual()->isEnabled());
    QVERIFY(!page.startingIpEdit()->isEnabled());
    const ConfigRecord before = stored(rig, 0);
    page.writeButton()->click();
    QVERIFY(rig.ui.messages.isEmpty());
    const ConfigRecord after = stored(rig, 0);
    QCOMPARE(after[r::DhcpMode], Byte(2));
    QCOMPARE(differences(after, before), QList<int>{int(r::DhcpMode)});
}

void TestSettingsPages::dhcpSetupAutoClearsServerFieldsKeepsOwnAddress() {
    BrevanRig rig({dhcpBox("DHCPBOX", 1, [](ConfigRecord& rec) {
        sim::setIPv4(rec, r::DhcpGateway, {192, 168, 1, 1});
        sim::setIPv4(rec, r::DhcpDns, {192, 168, 1, 2});
    })});
    QVERIFY2(rig.started, rig.error.c_str());
    QVERIFY(rig.showAndDiscover());
    sheet::Page04& page = *rig.sheet().page04();
    QVERIFY(open(rig, u"DHCPBOX"_s, &page));
    page.startupAuto()->click();
    QVERIFY(page.startingIpEdit()->isEnabled()); // still set up by hand
    page.setupAuto()->click();
    for (QLineEdit* e : {page.printServerIpEdit(), page.startingIpEdit(), page.netmaskEdit(), page.gatewayEdit(),
                         page.dnsEdit(), page.ipRangeEdit()})
        QVERIFY(!e->isEnabled());
    const ConfigRecord before = stored(rig, 0);
    page.writeButton()->click();
    QVERIFY(rig.ui.messages.isEmpty());
    const ConfigRecord after = stored(rig, 0);
    for (std::size_t i = r::DhcpStart; i < r::DhcpMode; ++i)
        QCOMPARE(after[i], Byte(0));
    QCOMPARE(after[r::DhcpMode], Byte(0));
    QCOMPARE(dotted(after, r::IpAddress), u"192.168.1.10"_s);
    for (int at : differences(after, before))
        QVERIFY2(at >= int(r::DhcpStart) && at <= int(r::DhcpMode), qPrintable(QString::number(at)));
}

void TestSettingsPages::dhcpActivationAndRadioLogic() {
    BrevanRig rig({dhcpBox("DNSONLY", 1,
                           [](ConfigRecord& rec) {
                               std::fill(rec.begin() + r::DhcpStart, rec.begin() + r::DhcpMode + 1, Byte(0));
                               sim::setIPv4(rec, r::DhcpDns, {192, 168, 1, 2});
                           }),
                   dhcpBox("STOPPED", 2, [](ConfigRecord& rec) { rec[r::DhcpMode] = 7; })},
                  "[General Information]\nTitle=Varnotek\n");
    QVERIFY2(rig.started, rig.error.c_str());
    QVERIFY(rig.showAndDiscover());
    sheet::Page04& page = *rig.sheet().page04();

    // The DNS server alone does not make a setup by hand.
    QVERIFY(open(rig, u"DNSONLY"_s, &page));
    QCOMPARE(page.printServerIpLabel()->text(), u"Varnotek IP"_s);
    QCOMPARE(rig.sheet().windowTitle(), u"DNSONLY"_s);
    QVERIFY(page.startupAuto()->isChecked());
    QVERIFY(page.setupAuto()->isChecked());
    QVERIFY(page.setupManual()->isEnabled());
    QVERIFY(!page.dnsEdit()->isEnabled());
    QCOMPARE(page.dnsEdit()->text(), u"192.168.1.2"_s);
    QCOMPARE(page.printServerIpEdit()->text(), u"192.168.1.10"_s);
    QCOMPARE(page.ipRangeEdit()->text(), u"0"_s);
    page.setupManual()->click();
    QVERIFY(page.dnsEdit()->isEnabled());
    QVERIFY(page.ipRangeEdit()->isEnabled());

    // Any mode from 2 up is Disable; Enable brings the setup back as it was.
    QVERIFY(open(rig, u"STOPPED"_s, &page));
    QVERIFY(page.startupDisable()->isChecked());
    QVERIFY(page.startupEnable()->isEnabled());
    QVERIFY(!page.setupManual()->isEnabled());
    QVERIFY(!page.startingIpEdit()->isEnabled());
    QCOMPARE(page.startingIpEdit()->text(), u"192.168.1.100"_s);
    page.startupEnable()->click();
    QVERIFY(page.setupManual()->isEnabled());
    QVERIFY(page.setupManual()->isChecked());
    QVERIFY(page.startingIpEdit()->isEnabled());
    page.startupDisable()->click();
    QVERIFY(!page.setupAuto()->isEnabled());
    QVERIFY(!page.ipRangeEdit()->isEnabled());
}

void TestSettingsPages::dhcpRefusals() {
    BrevanRig rig({testBox("NODHCP", 1, 0x01, r::CapTcpIp), dhcpBox("TCPOFF", 2, [](ConfigRecord& rec) {
                       rec[r::OptionFlags] = 0;
                   }),
                   dhcpBox("NOTCPIP", 3)});
    QVERIFY2(rig.started, rig.error.c_str());
    QVERIFY(rig.showAndDiscover());
    sheet::Page04& page = *rig.sheet().page04();

    QVERIFY(open(rig, u"NODHCP"_s, &page));
    QCOMPARE(rig.ui.texts(), QStringList{u"'NODHCP' do NOT support DHCP !!!"_s});
    QVERIFY(!page.isEnabled());
    QVERIFY(page.refused());
    QCOMPARE(rig.sheet().windowTitle(), u"NODHCP"_s);

    rig.ui.messages.clear();
    QVERIFY(open(rig, u"TCPOFF"_s, &page));
    QCOMPARE(rig.ui.texts(), QStringList{u"You must ENABLE TCP/IP first!!"_s});
    QVERIFY(!page.isEnabled());
    page.write(); // a refused page writes nothing, however it is asked
    QCOMPARE(writes(rig, 1), 0);

    // Listed while it spoke TCP/IP; another tool has since given it a record
    // without, and the General page read that record when it was selected.
    rig.lan.withBox(2, [](sim::SimBox& b) {
        ConfigRecord rec = b.storedRecord();
        rec[r::Capabilities] = r::CapDhcpServer;
        protocol::setRecordChecksum(rec);
        b.storeRecord(rec);
    });
    rig.ui.messages.clear();
    QVERIFY(open(rig, u"NOTCPIP"_s, &page));
    QCOMPARE(rig.ui.texts(), QStringList{u"'NOTCPIP' do NOT support TCP/IP !!!"_s});
    QVERIFY(!page.isEnabled());

    // A box that qualifies gets the page back.
    rig.ui.messages.clear();
    rig.lan.withBox(1, [](sim::SimBox& b) {
        ConfigRecord rec = b.storedRecord();
        rec[r::OptionFlags] = r::OptTcpIp;
        protocol::setRecordChecksum(rec);
        b.storeRecord(rec);
    });
    QVERIFY(open(rig, u"TCPOFF"_s, &page));
    QVERIFY(rig.ui.messages.isEmpty());
    QVERIFY(page.isEnabled());
    QVERIFY(page.startingIpEdit()->isEnabled());
}

// --- DHCP information page ---

void TestSettingsPages::dhcpInformationShowsStatusAsLastRead() {
    BrevanRig rig({dhcpBox("DHCPBOX", 1, [](ConfigRecord& rec) {
                      sim::setIPv4(rec, r::DhcpGateway, {192, 168, 1, 1});
                      sim::setIPv4(rec, r::DhcpDns, {192, 168, 1, 2});
                  })},
                  "[General Information]\nTitle=Varnotek\n");
    QVERIFY2(rig.started, rig.error.c_str());
    QVERIFY(rig.showAndDiscover());
    sheet::Page05& page = *rig.sheet().page05();
    const int reads = rig.probe->statusReads;
    QVERIFY(open(rig, u"DHCPBOX"_s, &page));
    QCOMPARE(rig.probe->statusReads, reads);
    QVERIFY(rig.ui.messages.isEmpty());
    QCOMPARE(rig.sheet().windowTitle(), u"Varnotek Configuration"_s);
    QCOMPARE(page.nameEdit()->text(), u"DHCPBOX"_s);
    using P = sheet::Page05;
    QCOMPARE(page.field(P::Status)->text(), u"Enable/Active"_s);
    QCOMPARE(page.field(P::StartingIp)->text(), u"192.168.1.100"_s);
    QCOMPARE(page.field(P::NextAvailableIp)->text(),
             QString::fromStdString(protocol::dhcpNext(rig.ctx().statusBuffer)));
    QCOMPARE(page.field(P::GatewayIp)->text(), u"192.168.1.1"_s);
    QCOMPARE(page.field(P::Netmask)->text(), u"255.255.255.0"_s);
    QCOMPARE(page.field(P::DnsServer)->text(), u"192.168.1.2"_s);
    QVERIFY(page.field(P::Status)->isReadOnly());

    // What the buffer says, not what the box would say now.
    namespace st = protocol::status;
    auto& status = rig.ctx().statusBuffer;
    status[protocol::HeaderSize + st::DhcpState] = 0;
    rig.ctx().configBuffer[protocol::HeaderSize + r::DhcpMode] = 2;
    const std::array<Byte, 4> next{10, 9, 8, 7};
    std::copy(next.begin(), next.end(), status.begin() + protocol::HeaderSize + st::DhcpNext);
    QVERIFY(rig.sheet().setActivePage(rig.sheet().page00()));
    QVERIFY(rig.sheet().setActivePage(&page));
    QCOMPARE(page.field(P::Status)->text(), u"Disable/Inactive"_s);
    QCOMPARE(page.field(P::NextAvailableIp)->text(), u"10.9.8.7"_s);

    // A state the page does not know leaves the last text.
    status[protocol::HeaderSize + st::DhcpState] = 9;
    QVERIFY(rig.sheet().setActivePage(rig.sheet().page00()));
    QVERIFY(rig.sheet().setActivePage(&page));
    QCOMPARE(page.field(P::Status)->text(), u"Disable/Inactive"_s);
    QCOMPARE(rig.probe->statusReads, reads);
}

void TestSettingsPages::dhcpInformationWithoutServerStillFills() {
    BrevanRig rig({testBox("PLAIN", 1, 0x01, r::CapTcpIp)});
    QVERIFY2(rig.started, rig.error.c_str());
    QVERIFY(rig.showAndDiscover());
    sheet::Page05& page = *rig.sheet().page05();
    QVERIFY(open(rig, u"PLAIN"_s, &page));
    QCOMPARE(rig.ui.texts(), QStringList{u"'PLAIN' do NOT support DHCP !!!"_s});
    QVERIFY(!page.isEnabled());
    QCOMPARE(page.nameEdit()->text(), u"PLAIN"_s);
    QCOMPARE(page.field(sheet::Page05::Status)->text(), u"Auto/Inactive"_s);
    QCOMPARE(page.field(sheet::Page05::StartingIp)->text(), u"0.0.0.0"_s);
}

QTEST_MAIN(TestSettingsPages)
#include "test_settings_pages.moc"
