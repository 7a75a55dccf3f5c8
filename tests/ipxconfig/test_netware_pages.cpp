// The NetWare settings, remote printer and NetWare information pages over IPX,
// driven through their widgets against simulated boxes and a simulated NetWare
// file server whose bindery gives the name lists. What a Write did is read
// back from the box.
#include "hollin_rig.h"

#include "ipxconfig/hollin_sheet.h"
#include "ipxconfig/page05.h"
#include "ipxconfig/page06.h"
#include "ipxconfig/page09.h"
#include "protocol/record_fields.h"
#include "sim/sim_fileserver.h"

#include <QTest>

#include <cstring>
#include <functional>

using namespace vnk;
using namespace vnk::testing;
using protocol::Byte;
using protocol::ConfigRecord;
using namespace Qt::StringLiterals;
namespace r = protocol::record;

namespace {

// A file server whose bindery lists two file servers (itself first), two
// trees (one padded as NDS keeps it) and a print server.
sim::FileServerSpec fileServer() {
    sim::FileServerSpec fs;
    fs.label = "fs";
    fs.name = "FS-MAIN";
    fs.node = {0x00, 0x00, 0x1B, 0x4F, 0x53, 0x01};
    fs.addObject(sim::netware::FileServerObject, fs.name, fs.address());
    fs.addObject(sim::netware::FileServerObject, "FS-ARCHIVE");
    fs.addObject(sim::netware::NdsTreeObject, "ACME" + std::string(28, '_'));
    fs.addObject(sim::netware::NdsTreeObject, "OTHER_TREE");
    fs.addObject(sim::netware::PrintServerObject, "PS-FLOOR2");
    return fs;
}

// Selects the named box on the General page (which reads its record and
// status), then makes the page current, so that it is activated anew.
bool open(HollinRig& rig, const QString& name, sheet::PropertyPage* page) {
    return rig.open(&rig.general()) && rig.select(name) && rig.open(page);
}

QStringList items(const QComboBox* box) {
    QStringList out;
    for (int i = 0; i < box->count(); ++i)
        out.push_back(box->itemText(i));
    return out;
}

QString text(const ConfigRecord& rec, std::size_t at, std::size_t width) {
    return QString::fromStdString(protocol::fieldText(rec, at, width));
}

// The bytes that differ between two records, checksum left out.
QList<int> differences(const ConfigRecord& a, const ConfigRecord& b) {
    QList<int> at;
    for (std::size_t i = 0; i < protocol::ChecksumOffset; ++i)
        if (a[i] != b[i])
            at.push_back(int(i));
    return at;
}

int writes(HollinRig& rig, int box) {
    return rig.lan.withBox(box, [](sim::SimBox& b) { return b.writes; });
}

} // namespace

class TestNetwarePages : public QObject {
    Q_OBJECT
  private slots:
    void settingsPageFillsFromRecordAndBinderyAndWrites();
    void pagesOfBoxesWithNetwareOffOrWithoutRemotePrinterMode();
    void informationPageShowsTheStatus();
    void remotePrinterPageWritesNumbersAndReportsFailures();
};

void TestNetwarePages::settingsPageFillsFromRecordAndBinderyAndWrites() {
    // File server and tree both set: the box prints through the file server.
    const sim::BoxSpec spec = testBox("NWBOX", 1, 0x01, r::CapRemotePrinter, [](ConfigRecord& rec) {
        sim::setText(rec, r::NetwareFileServer, 48, "FS-MAIN");
        protocol::storeNdsTreeName(rec, "ACME");
        sim::setText(rec, r::NdsContext, 16, "OU=SALES");
        rec[r::NetwarePolling] = 7;
    });
    HollinRig rig({spec}, fileServer());
    QVERIFY2(rig.started, rig.error.c_str());
    QVERIFY(rig.showAndDiscover());
    ipxconfig::Page05& page = *rig.sheet().page05();
    QVERIFY(open(rig, u"NWBOX"_s, &page));
    QVERIFY(page.binderyButton()->isChecked());
    QCOMPARE(items(page.fileServerBox()), (QStringList{u"FS-MAIN"_s, u"FS-ARCHIVE"_s}));
    QCOMPARE(items(page.treeBox()), (QStringList{u"ACME"_s, u"OTHER_TREE"_s}));
    QCOMPARE(page.treeBox()->currentText(), u"ACME"_s);
    QCOMPARE(page.contextEdit()->text(), u"OU=SALES"_s);
    QCOMPARE(page.pollingBox()->currentText(), u"7"_s);
    QVERIFY(page.fileServerBox()->isEnabled() && !page.treeBox()->isEnabled() &&
            !page.contextEdit()->isEnabled());

    // Only the polling interval changed: it alone is written, without a word.
    page.pollingBox()->setEditText(u"30"_s);
    page.writeButton()->click();
    QCOMPARE(rig.takeMessages(), QStringList{});
    QCOMPARE(differences(rig.stored(0), spec.record), QList<int>{int(r::NetwarePolling)});
    QCOMPARE(rig.stored(0)[r::NetwarePolling], Byte(30));

    // A file server name longer than its field is refused, nothing is sent.
    page.fileServerBox()->setEditText(QString(48, u'X'));
    page.writeButton()->click();
    QCOMPARE(rig.takeMessages(), QStringList{u"最多只能輸入 47 個字元。"_s});
    QCOMPARE(writes(rig, 0), 1);

    // NDS mode with a new tree and a new name.
    page.ndsButton()->click();
    QVERIFY(!page.fileServerBox()->isEnabled() && page.treeBox()->isEnabled() &&
            page.contextEdit()->isEnabled());
    page.treeBox()->setEditText(u"TREE2"_s);
    page.aliasEdit()->setText(u"NEWNAME"_s);
    page.writeButton()->click();
    QCOMPARE(rig.takeMessages(), QStringList{u"列印伺服器別名已經改變, 必須[重置]使它生效"_s});
    QCOMPARE(rig.listed(), QStringList{u"NEWNAME"_s});
    const ConfigRecord after = rig.stored(0);
    QCOMPARE(text(after, r::AliasName, 16), u"NEWNAME"_s);
    QCOMPARE(after[r::NetwareFileServer], Byte(0));
    QCOMPARE(text(after, r::NdsTree, 48), u"TREE2"_s + QString(27, u'_'));
}

void TestNetwarePages::pagesOfBoxesWithNetwareOffOrWithoutRemotePrinterMode() {
    const sim::BoxSpec off = testBox("NWOFF", 1, 0x01, r::CapRemotePrinter, [](ConfigRecord& rec) {
        rec[r::OptionFlags] = r::OptNetwareOff;
        sim::setText(rec, r::NetwareFileServer, 48, "FS-MAIN");
    });
    HollinRig rig({off, testBox("NOREMOTE", 2, 0x01, 0)});
    QVERIFY2(rig.started, rig.error.c_str());
    QVERIFY(rig.showAndDiscover());
    ipxconfig::Page05& settings = *rig.sheet().page05();
    ipxconfig::Page09& remote = *rig.sheet().page09();
    ipxconfig::Page06& info = *rig.sheet().page06();

    // The settings page shows what the record holds but takes nothing.
    QVERIFY(open(rig, u"NWOFF"_s, &settings));
    QVERIFY(!settings.isEnabled());
    QCOMPARE(settings.fileServerBox()->currentText(), u"FS-MAIN"_s);
    QVERIFY(open(rig, u"NWOFF"_s, &remote));
    QVERIFY(!remote.isEnabled());
    QVERIFY(!remote.remotePrinterCheck()->isEnabled());
    QVERIFY(open(rig, u"NWOFF"_s, &info));
    QVERIFY(!info.isEnabled());
    QCOMPARE(info.field(ipxconfig::Page06::PrintMode)->text(), QString());
    QCOMPARE(rig.takeMessages(), QStringList{});

    QVERIFY(open(rig, u"NOREMOTE"_s, &remote));
    QVERIFY(!remote.isEnabled());
    QCOMPARE(rig.takeMessages(), QStringList{u"NOREMOTE 不支援遠端印表機"_s});
    // Its settings page has no remote printer box to offer.
    QVERIFY(open(rig, u"NOREMOTE"_s, &settings));
    QVERIFY(settings.isEnabled());
    QVERIFY(!settings.remotePrinterCheck()->isEnabled());
}

void TestNetwarePages::informationPageShowsTheStatus() {
    sim::BoxSpec spec = testBox("INFOBOX", 3, 0x01, r::CapRemotePrinter, [](ConfigRecord& rec) {
        sim::setText(rec, r::NetwareFileServer, 48, "FS-MAIN");
        protocol::storeNdsTreeName(rec, "ACME");
    });
    spec.netware.network = {0x00, 0x00, 0xCA, 0xFE};
    spec.netware.loggedInToPrimary = true;
    spec.netware.queues[0] = sim::QueueAttachment{"FS-MAIN", "QUEUE1"};
    HollinRig rig({spec});
    QVERIFY2(rig.started, rig.error.c_str());
    QVERIFY(rig.showAndDiscover());
    QVERIFY(rig.open(&rig.general()) && rig.select(u"INFOBOX"_s));

    ipxconfig::Page06& page = *rig.sheet().page06();
    QVERIFY(rig.open(&page));
    using F = ipxconfig::Page06;
    QStringList shown{page.nameEdit()->text()};
    for (F::Field f : {F::NetworkAddress, F::PrintMode, F::FileServer, F::NdsTree, F::LoginStatus})
        shown.push_back(page.field(f)->text());
    for (int i = 0; i < F::QueueLines; ++i)
        shown.push_back(page.queueLine(i)->text());
    QCOMPARE(shown, (QStringList{u"INFOBOX"_s,
                                 u"00 00 CA FE : 00 00 B4 55 00 03"_s,
                                 u"Bindery Printing"_s,
                                 u"FS-MAIN"_s,
                                 u"Not Used"_s,
                                 u"Connect to FS-MAIN"_s,
                                 u"LPT1 attaches to QUEUE1 at FS-MAIN"_s,
                                 {},
                                 {},
                                 {},
                                 {}}));
}

void TestNetwarePages::remotePrinterPageWritesNumbersAndReportsFailures() {
    // One parallel and one serial port, remote printer mode on.
    const sim::BoxSpec spec = testBox("RPBOX", 4, 0x05, r::CapRemotePrinter, [](ConfigRecord& rec) {
        rec[r::OptionFlags] = Byte(rec[r::OptionFlags] | r::OptRemotePrinter);
        sim::setText(rec, r::NetwarePrintServer, 48, "PS-OLD");
        const Byte numbers[] = {3, 4, 5, 6};
        std::memcpy(&rec[r::RemotePrinters], numbers, 4);
    });
    HollinRig rig({spec}, fileServer());
    QVERIFY2(rig.started, rig.error.c_str());
    QVERIFY(rig.showAndDiscover());
    ipxconfig::Page09& page = *rig.sheet().page09();
    QVERIFY(open(rig, u"RPBOX"_s, &page));
    QCOMPARE(rig.sheet().windowTitle(), u"RPBOX"_s);
    QVERIFY(page.remotePrinterCheck()->isChecked());
    QCOMPARE(items(page.printServerBox()), (QStringList{u"PS-OLD"_s, u"PS-FLOOR2"_s}));
    QStringList numbers;
    QList<bool> enabled;
    for (int i = 0; i < ipxconfig::Page09::NumberBoxes; ++i) {
        numbers.push_back(page.numberBox(i)->currentText());
        enabled.push_back(page.numberBox(i)->isEnabled());
    }
    QCOMPARE(numbers, (QStringList{u"3"_s, u"4"_s, u"5"_s, u"6"_s, u"0"_s}));
    QCOMPARE(enabled, (QList<bool>{true, false, false, true, false}));

    page.remotePrinterCheck()->click();
    QVERIFY(!page.printServerBox()->isEnabled());
    QVERIFY(!page.numberBox(0)->isEnabled());
    page.remotePrinterCheck()->click();
    QVERIFY(page.numberBox(0)->isEnabled());
    QVERIFY(!page.numberBox(1)->isEnabled());

    page.numberBox(3)->setEditText(u"256"_s);
    page.writeButton()->click();
    QCOMPARE(rig.takeMessages(), QStringList{u"請輸入介於 0 和 255 之間的整數。"_s});
    QCOMPARE(writes(rig, 0), 0);

    page.numberBox(0)->setEditText(u"12"_s);
    page.numberBox(3)->setEditText(u"255"_s);
    page.printServerBox()->setCurrentIndex(1);
    page.writeButton()->click();
    QCOMPARE(rig.takeMessages(), QStringList{});
    ConfigRecord expected = spec.record;
    sim::setText(expected, r::NetwarePrintServer, 48, "PS-FLOOR2");
    expected[r::RemotePrinters] = 12;
    expected[r::RemotePrinters + 3] = 255;
    QCOMPARE(differences(rig.stored(0), expected), QList<int>{});

    // The box takes no more writes.
    rig.lan.withBox(0, [](sim::SimBox& b) { b.faults().ignore.push_back(protocol::CmdWriteConfig); });
    page.remotePrinterCheck()->click();
    page.writeButton()->click();
    QCOMPARE(rig.takeMessages(), QStringList{u"無法寫入列印伺服器的EEPROM"_s});
    QVERIFY(rig.stored(0)[r::OptionFlags] & r::OptRemotePrinter);
}

QTEST_MAIN(TestNetwarePages)
#include "test_netware_pages.moc"
