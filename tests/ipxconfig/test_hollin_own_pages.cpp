// The IPX utility's options page and factory default page, driven through their
// widgets over IPX against simulated boxes. What a Write did is read back from
// the record the box keeps.
#include "hollin_rig.h"

#include "ipxconfig/hollin_texts.h"
#include "ipxconfig/page07.h"
#include "ipxconfig/page08.h"
#include "protocol/pserver_context.h"

#include <QTest>

#include <algorithm>
#include <functional>

using namespace vnk;
using namespace vnk::testing;
using namespace Qt::StringLiterals;
using protocol::Byte;
using protocol::ConfigRecord;
namespace r = protocol::record;

namespace {

const QString AliasChanged = u"列印伺服器別名已經改變, 必須[重置]使它生效"_s;

// A test box whose record is edited before it is switched on.
// The offsets (checksum aside) where two records differ.
QList<int> differences(const ConfigRecord& a, const ConfigRecord& b) {
    QList<int> at;
    for (std::size_t i = 0; i < r::Checksum; ++i)
        if (a[i] != b[i])
            at.push_back(int(i));
    return at;
}

// Selects the listed box on the General page, then shows the page.
bool open(HollinRig& rig, const QString& name, sheet::PropertyPage* page) {
    return rig.open(&rig.general()) && rig.select(name) && rig.open(page);
}

QString aliasOf(const ConfigRecord& rec) {
    return QString::fromStdString(protocol::fieldText(rec, r::AliasName, 16));
}

} // namespace

class TestHollinOwnPages : public QObject {
    Q_OBJECT
private slots:
    void setDefaultsGivesANamedBoxItsFactorySettings();
    void switchesTheModelLacksAreOffAndShownAsMissing();
    void optionsWriteSetsTheSwitchBitsAndRenames();
};

void TestHollinOwnPages::setDefaultsGivesANamedBoxItsFactorySettings() {
    const sim::BoxSpec named =
        testBox("MY PRINTER", 2, 0x01, r::CapTcpIp | r::CapDhcpServer | r::CapNetBeui, [](ConfigRecord& rec) {
            // Every byte a settings page could touch holds something.
            for (std::size_t i = 9; i < r::ModelCode; ++i)
                if (i != r::Capabilities)
                    rec[i] = Byte(0x21 + i % 93);
            sim::setText(rec, r::AliasName, 16, "MY PRINTER"); // 27-31 keep their values
            // Diagnostic print-out on, NetWare off, remote printer mode, AppleTalk, bit 0.
            rec[r::OptionFlags] = 0xCB;
        });
    HollinRig rig({testBox("FIRST", 1), named}, std::nullopt, "[General Information]\nTitle=Varnotek\n");
    QVERIFY2(rig.started, rig.error.c_str());
    QVERIFY(rig.showAndDiscover());
    ipxconfig::Page07& page = *rig.sheet().page07();
    QVERIFY(open(rig, u"MY PRINTER"_s, &page));
    QCOMPARE(rig.sheet().windowTitle(), u"MY PRINTER"_s);
    const QString device = QString::fromStdString(named.deviceName);
    QCOMPARE(device.size(), 8);
    const QStringList shown = {page.deviceNameField()->text(), page.diagnosticField()->text(),
                               page.netwareField()->text(),    page.tcpipField()->text(),
                               page.dhcpServerField()->text(), page.netbeuiField()->text()};
    QCOMPARE(shown, (QStringList{device, u"Disable"_s, u"Enable"_s, u"Enable"_s, u"Auto"_s, u"Enable"_s}));
    QCOMPARE(page.setDefaultsButton()->text(), u"設成預設值"_s);
    QVERIFY(rig.takeMessages().isEmpty());

    page.setDefaultsButton()->click();

    ConfigRecord expected = named.record;
    std::copy(named.deviceName.begin(), named.deviceName.end(), expected.begin() + r::AliasName);
    expected[24] = 0;
    std::fill(expected.begin() + 32, expected.begin() + 64, Byte(0)); // SNMP contact and location
    expected[76] = 0;
    expected[124] = 0;
    expected[172] = 0;
    expected[75] = 2;
    expected[72] = 0x6D; // 7 and 1 cleared, 2 and 5 set, 6, 3 and 0 kept
    std::fill(expected.begin() + 380, expected.begin() + 396, Byte(0));
    std::fill(expected.begin() + 404, expected.begin() + 466, Byte(0));
    expected[405] = 1;
    std::fill(expected.begin() + 470, expected.begin() + 489, Byte(0));
    std::fill(expected.begin() + 490, expected.begin() + 502, Byte(0));
    const ConfigRecord after = rig.stored(1);
    QCOMPARE(differences(after, expected), QList<int>{});
    QCOMPARE(after[r::Checksum], protocol::recordChecksum(after));

    // The entry, its line (not selected anew) and the caption carry the device name.
    QCOMPARE(QString::fromStdString(rig.ctx().selectedEntry()->name()), device);
    QCOMPARE(rig.listed(), (QStringList{u"FIRST"_s, device}));
    QCOMPARE(rig.general().serverList()->currentIndex(), 1);
    QCOMPARE(rig.ctx().selectedIndex, 1);
    QCOMPARE(rig.takeMessages(), QStringList{AliasChanged});
    QCOMPARE(rig.sheet().windowTitle(), device);

    // A box that does not take the record: the caption keeps the name it had.
    rig.lan.withBox(0, [](sim::SimBox& b) { b.faults().ignore = {protocol::CmdWriteConfig}; });
    QVERIFY(open(rig, u"FIRST"_s, &page));
    page.setDefaultsButton()->click();
    QCOMPARE(rig.takeMessages(), (QStringList{AliasChanged, u"無法寫入列印伺服器的EEPROM"_s}));
    QCOMPARE(rig.sheet().windowTitle(), u"FIRST"_s);
    QCOMPARE(aliasOf(rig.stored(0)), u"FIRST"_s);
}

void TestHollinOwnPages::switchesTheModelLacksAreOffAndShownAsMissing() {
    // A DHCP server capability without TCP/IP, and no NetBEUI or AppleTalk,
    // while the option flags have all of them on.
    HollinRig rig({testBox("BARE", 1, 0x01, r::CapDhcpServer, [](ConfigRecord& rec) {
        rec[r::OptionFlags] = r::OptDiagnostic | r::OptTcpIp | r::OptNetBeui | r::OptAppleTalk;
    })});
    QVERIFY2(rig.started, rig.error.c_str());
    QVERIFY(rig.showAndDiscover());
    ipxconfig::Page08& options = *rig.sheet().page08();
    QVERIFY(open(rig, u"BARE"_s, &options));
    for (QCheckBox* lacking : {options.tcpipCheck(), options.netbeuiCheck(), options.appletalkCheck()}) {
        QVERIFY(!lacking->isEnabled());
        QVERIFY(!lacking->isChecked());
    }
    QVERIFY(options.diagnosticCheck()->isEnabled() && options.diagnosticCheck()->isChecked());
    QVERIFY(options.netwareCheck()->isEnabled() && options.netwareCheck()->isChecked());
    options.writeButton()->click();
    QVERIFY(rig.takeMessages().isEmpty());
    QCOMPARE(rig.stored(0)[r::OptionFlags], Byte(r::OptDiagnostic));

    ipxconfig::Page07& defaults = *rig.sheet().page07();
    QVERIFY(rig.open(&defaults));
    QCOMPARE(defaults.tcpipField()->text(), u"N/A"_s);
    QCOMPARE(defaults.dhcpServerField()->text(), u"N/A"_s);
    QCOMPARE(defaults.netbeuiField()->text(), u"N/A"_s);
    // The factory settings switch TCP/IP and NetBEUI on whatever the model.
    defaults.setDefaultsButton()->click();
    QCOMPARE(rig.stored(0)[r::OptionFlags], Byte(r::OptTcpIp | r::OptNetBeui));
}

void TestHollinOwnPages::optionsWriteSetsTheSwitchBitsAndRenames() {
    const sim::BoxSpec full =
        testBox("SECOND", 2, 0x01, r::CapTcpIp | r::CapNetBeui | r::CapAppleTalk, [](ConfigRecord& rec) {
            rec[r::AliasName + 12] = 'k'; // after the NUL that ends "SECOND"
            // TCP/IP and AppleTalk on, NetWare on; remote printer mode and bits 0 and 4.
            rec[r::OptionFlags] = 0x5D;
        });
    HollinRig rig({testBox("FIRST", 1), full}, std::nullopt, "[General Information]\nTitle=Varnotek\n");
    QVERIFY2(rig.started, rig.error.c_str());
    QVERIFY(rig.showAndDiscover());
    ipxconfig::Page08& page = *rig.sheet().page08();
    QVERIFY(open(rig, u"SECOND"_s, &page));
    QCOMPARE(rig.sheet().windowTitle(), u"Varnotek 設定程式"_s);
    QCOMPARE(page.aliasEdit()->text(), u"SECOND"_s);
    QCheckBox* const switches[] = {page.diagnosticCheck(), page.tcpipCheck(), page.netwareCheck(),
                                   page.netbeuiCheck(), page.appletalkCheck()};
    const bool ticked[] = {false, true, true, false, true};
    for (int i = 0; i < 5; ++i) {
        QVERIFY(switches[i]->isEnabled());
        QCOMPARE(switches[i]->isChecked(), ticked[i]);
    }

    // Every switch turned over: its bit follows, the other bits and bytes stay.
    for (QCheckBox* s : switches)
        s->click();
    page.writeButton()->click();
    QVERIFY(rig.takeMessages().isEmpty());
    ConfigRecord expected = full.record;
    expected[r::OptionFlags] = 0xBB; // 7, 5 and 1 set, 6 and 2 cleared, 4, 3 and 0 kept
    QCOMPARE(differences(rig.stored(1), expected), QList<int>{});
    QCOMPARE(rig.listed(), (QStringList{u"FIRST"_s, u"SECOND"_s}));

    // A new name: the field and the entry take it, its line shows it, unselected anew.
    page.aliasEdit()->setText(u"RENAMED"_s);
    page.writeButton()->click();
    QCOMPARE(rig.takeMessages(), QStringList{AliasChanged});
    const ConfigRecord after = rig.stored(1);
    QCOMPARE(aliasOf(after), u"RENAMED"_s);
    QCOMPARE(after[r::AliasName + 12], Byte('k'));
    QCOMPARE(after[r::OptionFlags], Byte(0xBB));
    QCOMPARE(QString::fromStdString(rig.ctx().selectedEntry()->name()), u"RENAMED"_s);
    QCOMPARE(rig.listed(), (QStringList{u"FIRST"_s, u"RENAMED"_s}));
    QCOMPARE(rig.general().serverList()->currentIndex(), 1);
    QCOMPARE(rig.ctx().selectedIndex, 1);
}

QTEST_MAIN(TestHollinOwnPages)
#include "test_hollin_own_pages.moc"
