// The IP settings page and the two status pages, driven through their widgets
// against simulated boxes on this test's own loopback ports.
#include "brevan_rig.h"

#include "sheet/page01.h"
#include "sheet/page02.h"
#include "sheet/page03.h"
#include "protocol/records.h"

#include <QApplication>
#include <QTest>

#include <cstring>

using namespace vnk;
using namespace vnk::testing;
using sheet::UiServices;
using namespace Qt::StringLiterals;

namespace {

// A box whose record address is a.b.c.d (0.0.0.0: obtained automatically).
sim::BoxSpec ipBox(const std::string& name, protocol::Byte mac, std::array<protocol::Byte, 4> ip,
                   protocol::Byte caps = protocol::record::CapTcpIp | protocol::record::CapMailAndGateway) {
    sim::BoxSpec b = testBox(name, mac, 0x01, caps);
    sim::setIPv4(b.record, protocol::record::IpAddress, ip);
    if (ip != std::array<protocol::Byte, 4>{})
        sim::setIPv4(b.record, protocol::record::SubnetMask, {255, 255, 255, 0});
    protocol::setRecordChecksum(b.record);
    b.restartDelay = std::chrono::milliseconds(100);
    return b;
}

struct Rig : BrevanRig {
    using BrevanRig::BrevanRig;
    sheet::Page01& ip() { return *sheet().page01(); }
    sheet::Page02& printers() { return *sheet().page02(); }
    sheet::Page03& status() { return *sheet().page03(); }
    // This PC, as the IP page sees it.
    void pcAt(const std::string& address, const std::string& mask) {
        ip().setHostInfo(std::make_shared<platform::FixedHostInfo>(
            std::vector<platform::InterfaceAddress>{{address, mask, false, "eth0"}, {"127.0.0.1", "255.0.0.0", true, ""}}));
    }
    bool open(sheet::PropertyPage* page) { return sheet().setActivePage(page); }
    int boxWrites(int box = 0) { return lan.withBox(box, [](sim::SimBox& b) { return b.writes; }); }
    protocol::ConfigRecord boxRecord(int box = 0) {
        return lan.withBox(box, [](sim::SimBox& b) { return b.storedRecord(); });
    }
    void type(QLineEdit* edit, const QString& text) {
        edit->clear();
        QTest::keyClicks(edit, text);
    }
};

QString lastMessage(const Rig& rig) {
    return rig.ui.messages.isEmpty() ? QString() : rig.ui.messages.back().text;
}

} // namespace

class TestIpAndStatusPages : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QApplication::setApplicationName(u"brevan"_s); }
    void manualWriteChecksInOrder_data();
    void manualWriteChecksInOrder();
    void manualProposesTheAddressNextToThisPc_data();
    void manualProposesTheAddressNextToThisPc();
    void anotherNetworkAsksAndNoWritesNothing();
    void withoutCapabilityFourGatewayAndMaskStayDisabled();
    void autoStoresZeros();
    void writeResetAndReadBack();
    void statusPageShowsTheBuffers();
    void printerRowsForOneParallelAndOneSerialPort();
    void printerDisplayAndIdentification_data();
    void printerDisplayAndIdentification();
    void printerStatusRefusesABoxWithoutFirmware();
};

void TestIpAndStatusPages::manualWriteChecksInOrder_data() {
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("gateway");
    QTest::addColumn<QString>("mask");
    QTest::addColumn<QString>("message"); // empty: written
    QTest::addColumn<QString>("focus");
    QTest::addColumn<QString>("stored");
    QTest::newRow("two dots") << u"192.168.1"_s << u"0.0.0.0"_s << u"0.0.0.0"_s
                              << u" The given IP address is invalid"_s << u"ipAddress"_s << QString();
    QTest::newRow("256") << u"256.1.1.1"_s << u"0.0.0.0"_s << u"0.0.0.0"_s << u" The given IP address is invalid"_s
                         << u"ipAddress"_s << QString();
    QTest::newRow("trailing letter") << u"10.0.0.4x"_s << u"0.0.0.0"_s << u"0.0.0.0"_s << QString() << QString()
                                     << u"10.0.0.4"_s;
    QTest::newRow("bad gateway text") << u"10.0.0.5"_s << u"10.0.0"_s << u"0.0.0.0"_s
                                      << u" The given Gateway address is invalid"_s << u"gateway"_s << QString();
    QTest::newRow("holey mask") << u"10.0.0.5"_s << u"10.0.0.1"_s << u"255.0.255.0"_s
                                << u" The given SubNet Mask is invalid"_s << u"subnetMask"_s << QString();
    QTest::newRow("gateway elsewhere") << u"10.0.0.5"_s << u"10.0.1.1"_s << u"255.255.255.0"_s
                                       << u" The given Gateway Address is invalid"_s << u"gateway"_s << QString();
    QTest::newRow("no gateway, no mask") << u"10.0.0.5"_s << u"0.0.0.0"_s << u"0.0.0.0"_s << QString() << QString()
                                         << u"10.0.0.5"_s;
}

void TestIpAndStatusPages::manualWriteChecksInOrder() {
    QFETCH(QString, address);
    QFETCH(QString, gateway);
    QFETCH(QString, mask);
    QFETCH(QString, message);
    QFETCH(QString, focus);
    QFETCH(QString, stored);
    Rig rig({ipBox("IPBOX", 1, {10, 0, 0, 9})});
    QVERIFY2(rig.started, rig.error.c_str());
    rig.pcAt("10.0.0.2", "255.255.255.0");
    QVERIFY(rig.showAndDiscover());
    QVERIFY(rig.open(&rig.ip()));
    QCOMPARE(rig.sheet().windowTitle(), u"Print Server Configuration"_s);
    QVERIFY(rig.ip().manualButton()->isChecked());
    rig.type(rig.ip().addressEdit(), address);
    rig.type(rig.ip().gatewayEdit(), gateway);
    rig.type(rig.ip().maskEdit(), mask);
    QTest::mouseClick(rig.ip().writeButton(), Qt::LeftButton);

    if (message.isEmpty()) {
        QVERIFY2(rig.ui.messages.isEmpty(), qPrintable(lastMessage(rig)));
        QCOMPARE(rig.boxWrites(), 1);
        QCOMPARE(QString::fromStdString(protocol::dottedAt(rig.boxRecord(), 498)), stored);
    } else {
        QCOMPARE(lastMessage(rig), message);
        QCOMPARE(rig.ui.messages.back().caption, u"brevan"_s);
        QCOMPARE(QApplication::focusWidget()->objectName(), focus);
        QCOMPARE(rig.boxWrites(), 0);
        // Nothing was stored either.
        QCOMPARE(QString::fromStdString(protocol::dottedAt(rig.ctx().configBuffer, 10 + 498)), u"10.0.0.9"_s);
    }
}

void TestIpAndStatusPages::manualProposesTheAddressNextToThisPc_data() {
    QTest::addColumn<QString>("pc");
    QTest::addColumn<QString>("proposal");
    QTest::newRow("next") << u"192.168.1.10"_s << u"192.168.1.11"_s;
    QTest::newRow("top of the range") << u"192.168.1.255"_s << u"192.168.1.254"_s;
}

void TestIpAndStatusPages::manualProposesTheAddressNextToThisPc() {
    QFETCH(QString, pc);
    QFETCH(QString, proposal);
    Rig rig({ipBox("AUTOBOX", 1, {0, 0, 0, 0})});
    QVERIFY2(rig.started, rig.error.c_str());
    rig.pcAt(pc.toStdString(), "255.255.255.0");
    QVERIFY(rig.showAndDiscover());
    QVERIFY(rig.open(&rig.ip()));
    QVERIFY(rig.ip().autoButton()->isChecked());
    QVERIFY(!rig.ip().addressEdit()->isEnabled());
    QTest::mouseClick(rig.ip().manualButton(), Qt::LeftButton, {}, QPoint(8, rig.ip().manualButton()->height() / 2));
    QCOMPARE(rig.ip().addressEdit()->text(), proposal);
    QVERIFY(rig.ip().addressEdit()->isEnabled());
    QCOMPARE(rig.ip().pcAddress(), pc);
    // An address typed by the user is never replaced by a proposal.
    rig.type(rig.ip().addressEdit(), u"10.9.9.9"_s);
    rig.ip().manualClicked();
    QCOMPARE(rig.ip().addressEdit()->text(), u"10.9.9.9"_s);
}

void TestIpAndStatusPages::anotherNetworkAsksAndNoWritesNothing() {
    Rig rig({ipBox("FARBOX", 1, {192, 168, 1, 20})});
    QVERIFY2(rig.started, rig.error.c_str());
    rig.pcAt("192.168.1.10", "255.255.255.0");
    QVERIFY(rig.showAndDiscover());
    QVERIFY(rig.open(&rig.ip()));
    rig.type(rig.ip().addressEdit(), u"10.1.1.1"_s);
    rig.type(rig.ip().gatewayEdit(), u"0.0.0.0"_s);
    rig.type(rig.ip().maskEdit(), u"0.0.0.0"_s);
    rig.ui.answers.push_back(UiServices::No);
    QTest::mouseClick(rig.ip().writeButton(), Qt::LeftButton);
    QCOMPARE(rig.ui.messages.size(), 1);
    const auto& q = rig.ui.messages.front();
    QCOMPARE(q.caption, u"Warning"_s);
    QCOMPARE(q.text, u"The IP address given for the Varnotek is in the different network from this PC. Are you sure?"_s);
    QCOMPARE(q.buttons, UiServices::Buttons(UiServices::Yes | UiServices::No));
    QCOMPARE(q.icon, UiServices::Icon::Warning);
    QCOMPARE(q.waitDepth, 1); // asked under the wait cursor
    QCOMPARE(rig.boxWrites(), 0);
    // The buffer keeps what Write stored before the question.
    QCOMPARE(QString::fromStdString(protocol::dottedAt(rig.ctx().configBuffer, 10 + 498)), u"10.1.1.1"_s);

    rig.ui.answers.push_back(UiServices::Yes);
    QTest::mouseClick(rig.ip().writeButton(), Qt::LeftButton);
    QCOMPARE(rig.boxWrites(), 1);
    QCOMPARE(protocol::dottedAt(rig.boxRecord(), 498), "10.1.1.1");
}

void TestIpAndStatusPages::withoutCapabilityFourGatewayAndMaskStayDisabled() {
    Rig rig({ipBox("NARROW", 1, {10, 0, 0, 7}, protocol::record::CapTcpIp),
             ipBox("NARROW0", 2, {0, 0, 0, 0}, protocol::record::CapTcpIp)});
    QVERIFY2(rig.started, rig.error.c_str());
    rig.pcAt("10.0.0.2", "255.255.255.0");
    QVERIFY(rig.showAndDiscover());
    QVERIFY(rig.open(&rig.ip()));
    QVERIFY(rig.ip().addressEdit()->isEnabled());
    QVERIFY(!rig.ip().gatewayEdit()->isEnabled());
    QVERIFY(!rig.ip().maskEdit()->isEnabled());
    rig.ip().autoClicked();
    rig.ip().manualClicked();
    QVERIFY(!rig.ip().gatewayEdit()->isEnabled());
    QVERIFY(!rig.ip().maskEdit()->isEnabled());
    QVERIFY(!rig.ip().tcpipCheck()->isEnabled()); // shows the flag, never changes it
    QVERIFY(rig.ip().tcpipCheck()->isChecked());
}

void TestIpAndStatusPages::autoStoresZeros() {
    Rig rig({ipBox("TOAUTO", 1, {10, 0, 0, 7})});
    QVERIFY2(rig.started, rig.error.c_str());
    QVERIFY(rig.showAndDiscover());
    QVERIFY(rig.open(&rig.ip()));
    QCOMPARE(rig.ip().gatewayEdit()->text(), u"0.0.0.0"_s);
    QCOMPARE(rig.ip().maskEdit()->text(), u"255.255.255.0"_s);
    QTest::mouseClick(rig.ip().autoButton(), Qt::LeftButton, {}, QPoint(8, rig.ip().autoButton()->height() / 2));
    QVERIFY(!rig.ip().addressEdit()->isEnabled());
    QTest::mouseClick(rig.ip().writeButton(), Qt::LeftButton);
    QVERIFY(rig.ui.messages.isEmpty());
    const auto rec = rig.boxRecord();
    for (std::size_t i = 490; i < 502; ++i)
        QCOMPARE(int(rec[i]), 0);
    QCOMPARE(rec[72] & 0x04, 0x04);
}

void TestIpAndStatusPages::writeResetAndReadBack() {
    Rig rig({ipBox("MOVER", 1, {10, 0, 0, 7})});
    QVERIFY2(rig.started, rig.error.c_str());
    rig.pcAt("10.0.0.2", "255.255.255.0");
    QVERIFY(rig.showAndDiscover());
    QVERIFY(rig.open(&rig.ip()));
    rig.type(rig.ip().addressEdit(), u"10.0.0.42"_s);
    rig.type(rig.ip().gatewayEdit(), u"10.0.0.1"_s);
    QTest::mouseClick(rig.ip().writeButton(), Qt::LeftButton);
    QVERIFY2(rig.ui.messages.isEmpty(), qPrintable(lastMessage(rig)));
    // The box keeps its old address until it is reset.
    QVERIFY(rig.open(&rig.status()));
    QCOMPARE(rig.status().field(sheet::Page03::ActiveIp)->text(), u"10.0.0.7"_s);

    QVERIFY(rig.open(&rig.ip()));
    std::memset(&rig.ctx().configBuffer[10 + 498], 0, 4); // forget: it must come back from the box
    QTest::mouseClick(rig.ip().resetButton(), Qt::LeftButton);
    QVERIFY2(rig.ui.messages.isEmpty(), qPrintable(lastMessage(rig)));
    QCOMPARE(rig.lan.withBox(0, [](sim::SimBox& b) { return b.resets; }), 1);
    QVERIFY(rig.open(&rig.status()));
    QCOMPARE(rig.status().field(sheet::Page03::ActiveIp)->text(), u"10.0.0.42"_s);
    QVERIFY(rig.open(&rig.ip()));
    QCOMPARE(rig.ip().addressEdit()->text(), u"10.0.0.42"_s);
    QCOMPARE(rig.ip().gatewayEdit()->text(), u"10.0.0.1"_s);
}

void TestIpAndStatusPages::statusPageShowsTheBuffers() {
    sim::BoxSpec b = testBox("STATBOX", 1, 0x05, protocol::record::CapTcpIp | protocol::record::CapIpxWithoutNds);
    b.frameType = 2;
    b.speedCode = 9;
    b.flags61 = 0x01;
    b.record[protocol::record::OptionFlags] |= protocol::record::OptDiagnostic;
    protocol::setRecordChecksum(b.record);
    Rig rig({b});
    QVERIFY2(rig.started, rig.error.c_str());
    QVERIFY(rig.showAndDiscover());
    const int reads = rig.probe->statusReads;
    QVERIFY(rig.open(&rig.status()));
    QCOMPARE(rig.probe->statusReads, reads); // filled from the buffers, nothing read
    auto text = [&](sheet::Page03::Field f) { return rig.status().field(f)->text(); };
    QCOMPARE(text(sheet::Page03::DeviceName), QString::fromStdString(b.deviceName));
    QCOMPARE(text(sheet::Page03::AliasName), u"STATBOX"_s);
    QCOMPARE(text(sheet::Page03::EthernetId), u"00 00 B4 55 00 01"_s);
    QCOMPARE(text(sheet::Page03::FrameType), u"Ethernet_II"_s);
    QCOMPARE(text(sheet::Page03::NetBeui), u"N/A"_s);
    QCOMPARE(text(sheet::Page03::ProtocolSupport), u"IPX/SPX & TCP/IP & SNMP"_s);
    QCOMPARE(text(sheet::Page03::DiagnosticPrintOut), u"Enable"_s);
    QCOMPARE(text(sheet::Page03::NetworkSpeed), u"10M"_s);
    QCOMPARE(rig.sheet().windowTitle(), u"Print Server Configuration"_s);
}

void TestIpAndStatusPages::printerRowsForOneParallelAndOneSerialPort() {
    sim::BoxSpec b = testBox("TWOPORT", 1, 0x05);
    b.portStates = {1, 2, 0, 0, 0};
    Rig rig({b});
    QVERIFY2(rig.started, rig.error.c_str());
    QVERIFY(rig.showAndDiscover());
    const int reads = rig.probe->statusReads;
    QVERIFY(rig.open(&rig.printers()));
    QCOMPARE(rig.probe->statusReads, reads + 1); // read again for the list
    QTreeWidget* list = rig.printers().list();
    QCOMPARE(list->topLevelItemCount(), 2);
    QCOMPARE(list->topLevelItem(0)->text(0), u"LPT1"_s);
    QCOMPARE(list->topLevelItem(0)->text(1), u"Off Line"_s);
    QCOMPARE(list->topLevelItem(1)->text(0), u"COM1"_s);
    QCOMPARE(list->topLevelItem(1)->text(1), u"Paper Out"_s); // port 2's byte at 160
    QCOMPARE(list->headerItem()->text(0), u"Port"_s);
    QCOMPARE(list->headerItem()->text(1), u"Status and Information"_s);
    QCOMPARE(list->columnWidth(0), 50);
    QCOMPARE(rig.sheet().windowTitle(), u"TWOPORT"_s);

    rig.lan.withBox(0, [](sim::SimBox& box) {
        box.setPortState(1, 3);
        return 0;
    });
    QTest::mouseClick(rig.printers().refreshButton(), Qt::LeftButton);
    QCOMPARE(list->topLevelItem(0)->text(1), u"Running"_s);
}

void TestIpAndStatusPages::printerDisplayAndIdentification_data() {
    QTest::addColumn<QString>("display");
    QTest::addColumn<QString>("identification");
    QTest::addColumn<bool>("wrongIndex");
    QTest::addColumn<QStringList>("rows"); // column 2 of every row; column 1 is "LPT1" then " "
    QTest::newRow("quoted value, line break")
        << u"\r\nCODE=1\r\nDISPLAY=\"READY TO PRINT\"\r\nONLINE=TRUE\r\n"_s << QString() << false
        << QStringList({u"\"READY TO PRINT\""_s});
    QTest::newRow("second DISPLAY wins") << u"\r\nDISPLAY=ONE\r\nDISPLAY=TWO\r\n"_s << QString() << false
                                         << QStringList({u"TWO"_s});
    QTest::newRow("two items terminated") << u"\r\nDISPLAY=OK\r\n"_s << u"MFG:Acme;MDL:Jet 9;CMD:PCL"_s << false
                                          << QStringList({u"OK"_s, u"MFG:Acme"_s, u"MDL:Jet 9"_s});
    QTest::newRow("another port's reply") << u"\r\nDISPLAY=OK\r\n"_s << u"MFG:Acme;"_s << true
                                          << QStringList({u"Off Line"_s});
    QTest::newRow("empty display") << QString() << u"MFG:Acme;"_s << false
                                   << QStringList({u"Off Line"_s, u"MFG:Acme"_s});
}

void TestIpAndStatusPages::printerDisplayAndIdentification() {
    QFETCH(QString, display);
    QFETCH(QString, identification);
    QFETCH(bool, wrongIndex);
    QFETCH(QStringList, rows);
    sim::BoxSpec b = testBox("JETBOX", 1, 0x01);
    b.features65 = 0x02;
    b.portStates = {1, 0, 0, 0, 0};
    b.printers = {{display.toStdString(), identification.toStdString(), {}, {}}};
    b.faults.wrongPrinterIndex = wrongIndex;
    Rig rig({b});
    QVERIFY2(rig.started, rig.error.c_str());
    QVERIFY(rig.showAndDiscover());
    QVERIFY(rig.open(&rig.printers()));
    QTreeWidget* list = rig.printers().list();
    QCOMPARE(list->topLevelItemCount(), rows.size());
    for (int i = 0; i < rows.size(); ++i) {
        QCOMPARE(list->topLevelItem(i)->text(0), i == 0 ? u"LPT1"_s : u" "_s);
        QCOMPARE(list->topLevelItem(i)->text(1), rows[i]);
    }
}

void TestIpAndStatusPages::printerStatusRefusesABoxWithoutFirmware() {
    sim::BoxSpec bare = testBox("BARE", 1);
    bare.firmwarePresent = false;
    Rig rig({bare});
    QVERIFY2(rig.started, rig.error.c_str());
    QVERIFY(rig.showAndDiscover()); // lands on the Upgrade page
    rig.ui.messages.clear();
    const int reads = rig.probe->statusReads;
    QVERIFY(rig.open(&rig.printers()));
    QCOMPARE(lastMessage(rig), u"You have to upgrade Varnotek first !!!"_s);
    QVERIFY(!rig.printers().isEnabled());
    QCOMPARE(rig.printers().list()->topLevelItemCount(), 0);
    QCOMPARE(rig.probe->statusReads, reads);
}

QTEST_MAIN(TestIpAndStatusPages)
#include "test_ip_status_pages.moc"
