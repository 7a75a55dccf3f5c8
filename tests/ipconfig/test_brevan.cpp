// Brevan's sheet and General page, driven through their real widgets on the
// offscreen platform against simulated boxes on this test's own loopback ports.
#include "brevan_rig.h"

#include "sheet/about_box.h"
#include "sheet/rules/app_strings.h"
#include "sheet/logo.h"
#include "sheet/page01.h"
#include "sheet/page07.h"
#include "sheet/screenshots.h"
#include "protocol/records.h"

#include <QAction>
#include <QApplication>
#include <QImage>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

using namespace vnk;
using namespace vnk::testing;
using sheet::UiServices;
using namespace Qt::StringLiterals;

namespace {

sim::BoxSpec modelBox(const std::string& name, protocol::Byte mac, protocol::Byte ports, protocol::Byte model,
                      protocol::Byte version, protocol::Byte revision, protocol::Byte flags61) {
    sim::BoxSpec b = testBox(name, mac, ports);
    sim::setHardware(b.record, b.mac, ports, protocol::record::CapTcpIp, model, version, revision);
    protocol::setRecordChecksum(b.record);
    b.flags61 = flags61;
    return b;
}

QString enabledMask(sheet::Page00& page) {
    QString mask;
    for (int i = 0; i < sheet::PortButtonCount; ++i)
        mask += page.portButton(i)->isEnabled() ? u'1' : u'0';
    return mask;
}

// A radio button reacts to a click on its indicator or its text, not on the
// empty end of a stretched cell.
void clickRadio(QAbstractButton* b) {
    QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(8, b->height() / 2));
}

void clickTab(QTabWidget* tabs, int index) {
    QTabBar* bar = tabs->tabBar();
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(index).center());
}

// Opens a modal box with start() and reads what it shows before closing it.
struct ModalCapture {
    QString caption;
    QStringList lines;
    bool seen = false;
};
ModalCapture captureModal(const std::function<void()>& start) {
    ModalCapture c;
    QTimer::singleShot(0, [&c] {
        if (auto* box = qobject_cast<sheet::AboutBox*>(QApplication::activeModalWidget())) {
            c.seen = true;
            c.caption = box->windowTitle();
            c.lines = box->lines();
            box->accept();
        }
    });
    start();
    return c;
}

} // namespace

class TestBrevan : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void discoveryRunsOnceAfterShowAndListsInTableOrder();
    void serverWithoutFirmwareLandsOnUpgradePage();
    void modelLineAndPortButtons_data();
    void modelLineAndPortButtons();
    void readFailuresShowTheirMessage_data();
    void readFailuresShowTheirMessage();
    void withoutServersOtherTabsStayUnreachable();
    void portChoiceResetsOnReturnAndTestPrintUsesMarkedPort();
    void captionsFollowConfigIni_data();
    void captionsFollowConfigIni();
    void socketFailureIsShownCaptionedWithTitle();
    void logoFromProgramDirectoryWhenItLoads();
    void sheetButtonsEndWithoutTalkingToBoxes_data();
    void sheetButtonsEndWithoutTalkingToBoxes();
    void screenshotsCoverEveryReachablePage();
};

void TestBrevan::initTestCase() {
    QApplication::setApplicationName(u"brevan"_s);
}

void TestBrevan::discoveryRunsOnceAfterShowAndListsInTableOrder() {
    BrevanRig rig({testBox("ALPHA", 1), testBox("BRAVO", 2, 0x05), testBox("CHARLIE", 3, 0x0B)});
    QVERIFY2(rig.started, rig.error.c_str());
    QCoreApplication::processEvents();
    QCOMPARE(rig.probe->discoveries, 0); // not before the sheet is on the screen

    QVERIFY(rig.showAndDiscover());
    QCOMPARE(rig.probe->discoveries, 1);
    QCOMPARE(rig.probe->discoveryWaitDepth, 1); // under the wait cursor
    QCOMPARE(rig.ui.waitDepth(), 0);
    QCOMPARE(rig.ctx().serverCount, 3);

    QStringList table;
    for (int i = 0; i < rig.ctx().serverCount; ++i)
        table.push_back(QString::fromStdString(rig.ctx().serverTable[std::size_t(i)].name()));
    QCOMPARE(rig.listed(), table);
    QStringList sorted = rig.listed();
    sorted.sort();
    QCOMPARE(sorted, QStringList({u"ALPHA"_s, u"BRAVO"_s, u"CHARLIE"_s}));

    // The first server is selected, its record read, and the list has the focus.
    sheet::Page00& page = rig.general();
    QCOMPARE(page.serverList()->currentIndex(), 0);
    QCOMPARE(rig.ctx().selectedIndex, 0);
    QCOMPARE(rig.probe->statusReads, 1);
    QVERIFY(page.modelLineEdit()->text().startsWith(
        QString::number(protocol::parallelPorts(protocol::recordOf(rig.ctx().configBuffer)))));
    QCOMPARE(rig.sheet().focusWidget(), page.serverList());
    QCOMPARE(page.listLabel()->text(), u"Print Server Name"_s);
    QCOMPARE(page.header()->title(), u"Print Server"_s);
    QCOMPARE(rig.sheet().windowTitle(), u"Print Server Configuration"_s);
    QVERIFY(rig.ui.messages.isEmpty());

    QTest::qWait(100);
    QCOMPARE(rig.probe->discoveries, 1); // once, not again
}

void TestBrevan::serverWithoutFirmwareLandsOnUpgradePage() {
    sim::BoxSpec bare = testBox("BRAVO", 2);
    bare.firmwarePresent = false;
    bare.faults.delayMs = 5; // answers after ALPHA, so it is listed second
    BrevanRig rig({testBox("ALPHA", 1), bare});
    QVERIFY2(rig.started, rig.error.c_str());
    QVERIFY(rig.showAndDiscover());
    QCOMPARE(rig.listed(), QStringList({u"ALPHA"_s, u"BRAVO"_s}));
    QVERIFY(rig.ui.messages.isEmpty());
    const int statusReads = rig.probe->statusReads;

    QTest::keyClick(rig.general().serverList(), Qt::Key_Down);

    QCOMPARE(rig.ui.messages.size(), 1);
    const auto& m = rig.ui.messages.front();
    QCOMPARE(m.text, u"'BRAVO' upgraded fail once"_s);
    QCOMPARE(m.caption, u"brevan"_s);
    QCOMPARE(m.icon, UiServices::Icon::Warning);
    QCOMPARE(m.buttons, UiServices::Buttons(UiServices::Ok));
    QCOMPARE(rig.sheet().activePage(), static_cast<sheet::PropertyPage*>(rig.sheet().page07()));
    QCOMPARE(rig.sheet().tabWidget()->currentIndex(), 7);
    QCOMPARE(rig.sheet().tabCaption(7), u"Upgrade"_s);
    QCOMPARE(rig.ctx().selectedIndex, 1);
    QCOMPARE(rig.probe->statusReads, statusReads); // the status is not read
}

void TestBrevan::modelLineAndPortButtons_data() {
    QTest::addColumn<int>("ports");
    QTest::addColumn<int>("model");
    QTest::addColumn<int>("version");
    QTest::addColumn<int>("revision");
    QTest::addColumn<int>("flags61");
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("enabled");
    QTest::newRow("one parallel port")
        << 0x01 << 0x15 << 0x21 << 0x62 << 0x00 << u"1P/6B-2.1.15"_s << u"10000"_s;
    QTest::newRow("three and three") << 0x0F << 0x15 << 0x21 << 0x62 << 0x00 << u"3P3S/6B-2.1.15"_s
                                     << u"11111"_s;
    QTest::newRow("revision byte 0") << 0x01 << 0x15 << 0x21 << 0x00 << 0x00 << u"1P/0@-2.1.15"_s
                                     << u"10000"_s;
    QTest::newRow("1P1S/1B-2.1.05B") << 0x05 << 0x05 << 0x21 << 0x12 << 0x20 << u"1P1S/1B-2.1.05B"_s
                                     << u"10010"_s;
    QTest::newRow("no ports") << 0x00 << 0x15 << 0x21 << 0x62 << 0x00 << u"0P/6B-2.1.15"_s << u"00000"_s;
    QTest::newRow("letter C, two serial")
        << 0x0A << 0x99 << 0xF0 << 0xFF << 0x40 << u"2P2S/FO-15.0.99C"_s << u"11011"_s;
    QTest::newRow("high nibble 3, no letter")
        << 0x07 << 0x15 << 0x21 << 0x62 << 0x31 << u"3P1S/6B-2.1.15"_s << u"11110"_s;
}

void TestBrevan::modelLineAndPortButtons() {
    QFETCH(int, ports);
    QFETCH(int, model);
    QFETCH(int, version);
    QFETCH(int, revision);
    QFETCH(int, flags61);
    QFETCH(QString, line);
    QFETCH(QString, enabled);
    BrevanRig rig({modelBox("ONE", 1, protocol::Byte(ports), protocol::Byte(model), protocol::Byte(version),
                            protocol::Byte(revision), protocol::Byte(flags61))});
    QVERIFY2(rig.started, rig.error.c_str());
    QVERIFY(rig.showAndDiscover());
    sheet::Page00& page = rig.general();
    QCOMPARE(page.modelLineEdit()->text(), line);
    QCOMPARE(enabledMask(page), enabled);
    QCOMPARE(rig.ctx().parallelPortCount, ports & 3);
    QCOMPARE(rig.ctx().serialPortCount, (ports >> 2) & 3);
    QVERIFY(page.portButton(0)->isChecked()); // every update marks LPT1
    QVERIFY(page.testPrintButton()->isEnabled());
}

void TestBrevan::readFailuresShowTheirMessage_data() {
    QTest::addColumn<int>("ignoredCommand");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("statusReadsAdded");
    QTest::newRow("record") << int(protocol::CmdReadConfig) << u"Cannot Read EEPROM"_s << 0;
    QTest::newRow("status") << int(protocol::CmdStatus) << u"Cannot Read Status"_s << 1;
}

void TestBrevan::readFailuresShowTheirMessage() {
    QFETCH(int, ignoredCommand);
    QFETCH(QString, message);
    QFETCH(int, statusReadsAdded);
    sim::BoxSpec second = testBox("BRAVO", 2, 0x0F);
    second.faults.delayMs = 5;
    BrevanRig rig({testBox("ALPHA", 1, 0x01), second});
    QVERIFY2(rig.started, rig.error.c_str());
    QVERIFY(rig.showAndDiscover());
    QCOMPARE(rig.listed(), QStringList({u"ALPHA"_s, u"BRAVO"_s}));
    const QString alphaLine = rig.general().modelLineEdit()->text();
    QVERIFY(alphaLine.startsWith(u"1P/"_s));
    const int statusReads = rig.probe->statusReads;

    // BRAVO answered discovery; now it stops answering one command.
    rig.lan.withBox(1, [&](sim::SimBox& b) { b.faults().ignore = {ignoredCommand}; });
    QTest::keyClick(rig.general().serverList(), Qt::Key_Down);

    QCOMPARE(rig.ui.texts(), QStringList({message}));
    QCOMPARE(rig.ui.messages.front().caption, u"brevan"_s);
    QCOMPARE(rig.ui.messages.front().icon, UiServices::Icon::Warning);
    QCOMPARE(rig.ui.messages.front().waitDepth, 0); // the wait cursor is gone before the message
    QCOMPARE(rig.ctx().selectedIndex, 1);
    QCOMPARE(rig.general().modelLineEdit()->text(), alphaLine); // unchanged
    QCOMPARE(rig.probe->statusReads, statusReads + statusReadsAdded);
    QCOMPARE(rig.sheet().activeIndex(), 0);
}

void TestBrevan::withoutServersOtherTabsStayUnreachable() {
    BrevanRig rig({});
    QVERIFY2(rig.started, rig.error.c_str());
    QVERIFY(rig.showAndDiscover());
    sheet::Page00& page = rig.general();
    QCOMPARE(rig.ctx().serverCount, 0);
    QCOMPARE(page.serverList()->count(), 0);
    QVERIFY(!page.testPrintButton()->isEnabled());
    QCOMPARE(enabledMask(page), u"00000"_s);
    QVERIFY(rig.ui.messages.isEmpty()); // finding nothing is not an error

    QTabWidget* tabs = rig.sheet().tabWidget();
    clickTab(tabs, 4);
    QCOMPARE(tabs->currentIndex(), 0);
    QTest::keyClick(tabs, Qt::Key_Tab, Qt::ControlModifier);
    QCOMPARE(tabs->currentIndex(), 0);
    QVERIFY(!rig.sheet().setActivePage(7));
    tabs->setCurrentIndex(2); // even a direct change of the tab widget comes back
    QCOMPARE(tabs->currentIndex(), 0);
    QCOMPARE(rig.sheet().activePage(), static_cast<sheet::PropertyPage*>(&page));
    QVERIFY(!rig.sheet().page01()->initialised()); // never shown

    // A box is connected; Refresh finds it and the other tabs open.
    rig.lan.addBox(testBox("LATE", 9, 0x05));
    rig.clickRefresh();
    QCOMPARE(rig.listed(), QStringList({u"LATE"_s}));
    QVERIFY(page.testPrintButton()->isEnabled());
    QCOMPARE(enabledMask(page), u"10010"_s);
    QCOMPARE(rig.probe->discoveries, 2);
    clickTab(tabs, 4);
    QCOMPARE(tabs->currentIndex(), 4);
    QCOMPARE(rig.sheet().activePage(), static_cast<sheet::PropertyPage*>(rig.sheet().page01()));
}

void TestBrevan::portChoiceResetsOnReturnAndTestPrintUsesMarkedPort() {
    BrevanRig rig({testBox("ALPHA", 1, 0x0F)});
    QVERIFY2(rig.started, rig.error.c_str());
    QVERIFY(rig.showAndDiscover());
    sheet::Page00& page = rig.general();
    QVERIFY(page.portButton(0)->isChecked());

    clickRadio(page.portButton(1));
    QVERIFY(page.portButton(1)->isChecked());
    QCOMPARE(page.portIndex(), 1);

    // Away and back: the choice is LPT1 again.
    QVERIFY(rig.sheet().setActivePage(4));
    QCOMPARE(rig.sheet().windowTitle(), u"Print Server Configuration"_s);
    QVERIFY(rig.sheet().setActivePage(0));
    QVERIFY(page.portButton(0)->isChecked());
    QCOMPARE(page.portIndex(), 0);

    // What another page changed in the record shows on return.
    QVERIFY(rig.sheet().setActivePage(3));
    protocol::recordOf(rig.ctx().configBuffer)[protocol::record::PortConfig] = 0x01;
    clickTab(rig.sheet().tabWidget(), 0);
    QCOMPARE(rig.sheet().activeIndex(), 0);
    QVERIFY(page.modelLineEdit()->text().startsWith(u"1P/"_s));
    QCOMPARE(enabledMask(page), u"10000"_s);
    QCOMPARE(rig.ctx().parallelPortCount, 1);
    protocol::recordOf(rig.ctx().configBuffer)[protocol::record::PortConfig] = 0x0F;
    QVERIFY(rig.sheet().setActivePage(3));
    QVERIFY(rig.sheet().setActivePage(0));
    QCOMPARE(enabledMask(page), u"11111"_s);

    // COM1 has no action of its own; TestPrint reads the marked port.
    clickRadio(page.portButton(3));
    QVERIFY(page.portButton(3)->isChecked());
    QTest::mouseClick(page.testPrintButton(), Qt::LeftButton);
    QCOMPARE(rig.probe->testPrintPorts, std::vector<int>({3}));
    QCOMPARE(rig.probe->testPrintWaitDepth, 1);
    QCOMPARE(rig.ui.waitDepth(), 0);
    QCOMPARE(rig.lan.withBox(0, [](sim::SimBox& b) { return b.testPrints; }), 1);

    // A box that does not confirm the test page: still no message.
    rig.lan.withBox(0, [](sim::SimBox& b) { b.faults().ignore = {protocol::CmdTestPrint}; });
    QTest::mouseClick(page.testPrintButton(), Qt::LeftButton);
    QCOMPARE(rig.probe->testPrintPorts.size(), std::size_t(2));
    QVERIFY(rig.ui.messages.isEmpty());
}

void TestBrevan::captionsFollowConfigIni_data() {
    QTest::addColumn<QString>("configIni");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("copyright");
    QTest::addColumn<QString>("version");
    const QString hundred = u"0123456789"_s.repeated(10);
    const QString wide = QString(u'印').repeated(40); // 120 bytes in UTF-8
    QTest::newRow("title T") << u"[General Information]\nTitle=Harbour Print\nCopyright=(c) Harbour Ltd\n"
                                u"Version=Version 9.1\n"_s
                             << u"Harbour Print"_s << u"(c) Harbour Ltd"_s << u"Version 9.1"_s;
    QTest::newRow("no Config.ini") << QString() << u"Print Server"_s << QString() << u"Version 4.0"_s;
    QTest::newRow("100 characters") << u"[General Information]\nTitle="_s + hundred + u"\n"_s
                                    << hundred.left(79) << QString() << u"Version 4.0"_s;
    QTest::newRow("cut between characters") << u"[general information]\ntitle="_s + wide + u"\n"_s
                                            << wide.left(26) << QString() << u"Version 4.0"_s;
}

void TestBrevan::captionsFollowConfigIni() {
    QFETCH(QString, configIni);
    QFETCH(QString, title);
    QFETCH(QString, copyright);
    QFETCH(QString, version);
    BrevanRig rig({}, configIni.toStdString());
    QVERIFY2(rig.started, rig.error.c_str());
    QCOMPARE(QString::fromStdString(rig.ctx().title), title);
    QVERIFY(rig.showAndDiscover());
    ipconfig::CPellamDlg& sheet = rig.sheet();

    QCOMPARE(sheet.windowTitle(), title + u" Configuration"_s);
    const QStringList tabs = {
        u"General"_s,  title + u" Status"_s,  u"Printer Status"_s, title + u" Cfg"_s,   u"IP Cfg"_s,
        u"DHCP Cfg"_s, u"DHCP Information"_s, u"Upgrade"_s,        u"Mail Print Cfg"_s, u"SNMP Cfg"_s};
    QCOMPARE(sheet.pageCount(), tabs.size());
    for (int i = 0; i < sheet.pageCount(); ++i)
        QCOMPARE(sheet.tabCaption(i), tabs[i]);
    QCOMPARE(rig.general().header()->title(), title);
    QCOMPARE(rig.general().listLabel()->text(), title + u" Name"_s);

    const QStringList lines = {title + u" Configuration"_s, copyright, version};
    const ModalCapture byButton =
        captureModal([&] { QTest::mouseClick(sheet.button(u"about"_s), Qt::LeftButton); });
    QVERIFY(byButton.seen);
    QCOMPARE(byButton.caption, u"About "_s + title);
    QCOMPARE(byButton.lines, lines);

    const QList<QAction*> menu = sheet.actions();
    auto about = std::find_if(menu.begin(), menu.end(), [](QAction* a) { return a->text() == u"&About"_s; });
    QVERIFY(about != menu.end());
    QCOMPARE(sheet.contextMenuPolicy(), Qt::ActionsContextMenu);
    const ModalCapture byMenu = captureModal([&] { (*about)->trigger(); });
    QVERIFY(byMenu.seen);
    QCOMPARE(byMenu.caption, u"About "_s + title);
}

void TestBrevan::socketFailureIsShownCaptionedWithTitle() {
    BrevanRig rig({}, "[General Information]\nTitle=Harbour Print\n");
    QVERIFY2(rig.started, rig.error.c_str());
    QVERIFY(rig.showAndDiscover());
    QVERIFY(rig.ui.messages.isEmpty());

    // No descriptor left for the refresh's socket.
    const int lowestFree = ::open("/dev/null", O_RDONLY);
    QVERIFY(lowestFree >= 0);
    ::close(lowestFree);
    rlimit saved{};
    QCOMPARE(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    rlimit tight = saved;
    tight.rlim_cur = rlim_t(lowestFree);
    QCOMPARE(::setrlimit(RLIMIT_NOFILE, &tight), 0);
    rig.clickRefresh();
    QCOMPARE(::setrlimit(RLIMIT_NOFILE, &saved), 0);

    QCOMPARE(rig.ui.messages.size(), 1);
    const auto& m = rig.ui.messages.front();
    QCOMPARE(m.text, u" %1: XGetPort-socket() Fail"_s.arg(EMFILE));
    QCOMPARE(m.caption, u"Harbour Print"_s);
    QCOMPARE(m.icon, UiServices::Icon::NoIcon);
    QCOMPARE(m.buttons, UiServices::Buttons(UiServices::Ok));
    QCOMPARE(rig.ctx().serverCount, 0);
    QVERIFY(!rig.general().testPrintButton()->isEnabled());
}

void TestBrevan::logoFromProgramDirectoryWhenItLoads() {
    BrevanRig rig({testBox("ALPHA", 1)});
    QVERIFY2(rig.started, rig.error.c_str());
    const QString logoPath = QString::fromStdString(rig.dir.file("logo.bmp"));
    QImage picture(40, 20, QImage::Format_RGB32);
    picture.fill(Qt::red);
    QVERIFY(picture.save(logoPath, "BMP"));

    QVERIFY(rig.showAndDiscover());
    sheet::PageHeader* header = rig.general().header();
    QVERIFY(header->showsLogoFile());
    QCOMPARE(header->logo().size(), QSize(40, 20));
    QVERIFY(rig.sheet().setActivePage(4)); // an empty page has the header too
    QVERIFY(rig.sheet().page01()->header()->showsLogoFile());
    QVERIFY(rig.sheet().setActivePage(0));

    // Not a bitmap: the built-in logo comes back at the next data exchange.
    QVERIFY(picture.save(logoPath, "PNG"));
    rig.clickRefresh();
    QVERIFY(!header->showsLogoFile());
    QVERIFY(!header->logo().isNull());
    rig.dir.write("logo.bmp", "BM not really");
    rig.clickRefresh();
    QVERIFY(!header->showsLogoFile());

    // A huge logo is scaled into the header.
    QImage big(1600, 400, QImage::Format_RGB32);
    big.fill(Qt::blue);
    QVERIFY(big.save(logoPath, "BMP"));
    rig.clickRefresh();
    QVERIFY(header->showsLogoFile());
    QCOMPARE(header->logo().size(), QSize(sheet::LogoMaxWidth, sheet::LogoMaxWidth / 4));
    QVERIFY(rig.ui.messages.isEmpty());
}

void TestBrevan::sheetButtonsEndWithoutTalkingToBoxes_data() {
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("result");
    QTest::newRow("OK") << u"ok"_s << int(QDialog::Accepted);
    QTest::newRow("Cancel") << u"cancel"_s << int(QDialog::Rejected);
    QTest::newRow("window close") << u"close"_s << int(QDialog::Rejected);
}

void TestBrevan::sheetButtonsEndWithoutTalkingToBoxes() {
    QFETCH(QString, how);
    QFETCH(int, result);
    BrevanRig rig({testBox("ALPHA", 1)});
    QVERIFY2(rig.started, rig.error.c_str());
    QVERIFY(rig.showAndDiscover());
    ipconfig::CPellamDlg& sheet = rig.sheet();
    QVERIFY(!sheet.button(u"apply"_s)->isEnabled());
    QVERIFY(!sheet.button(u"help"_s)->isEnabled());
    QCOMPARE(sheet.button(u"ok"_s)->text(), u"OK"_s);

    const std::size_t requests = rig.lan.requestsSeen();
    QSignalSpy finished(&sheet, &QDialog::finished);
    if (how == u"close"_s)
        sheet.close();
    else
        QTest::mouseClick(sheet.button(how), Qt::LeftButton);
    QCOMPARE(finished.size(), 1);
    QCOMPARE(sheet.result(), result);
    QVERIFY(!sheet.isVisible());
    QTest::qWait(20);
    QCOMPARE(rig.lan.requestsSeen(), requests); // not one datagram on the way out
}

void TestBrevan::screenshotsCoverEveryReachablePage() {
    ScratchDir out;
    {
        BrevanRig rig({testBox("ALPHA", 1, 0x0F)});
        QVERIFY2(rig.started, rig.error.c_str());
        QVERIFY(rig.showAndDiscover());
        QStringList skipped;
        QString error;
        const QStringList files =
            sheet::renderSheet(rig.sheet(), QString::fromStdString(out.path()), &skipped, &error);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QVERIFY(skipped.isEmpty());
        QCOMPARE(files.size(), rig.sheet().pageCount() + 1);
        QVERIFY(files.front().endsWith(u"/01-General.png"_s));
        QVERIFY(files[1].endsWith(u"/02-Print-Server-Status.png"_s));
        QVERIFY(files.back().endsWith(u"/about.png"_s));
        const QSize sheetSize = rig.sheet().grab().size();
        for (int i = 0; i < rig.sheet().pageCount(); ++i)
            QCOMPARE(QImage(files[i]).size(), sheetSize);
        QVERIFY(!QImage(files.back()).isNull());
        QCOMPARE(rig.sheet().activeIndex(), 0);
    }
    {
        BrevanRig rig({});
        QVERIFY(rig.showAndDiscover());
        QStringList skipped;
        const QStringList files =
            sheet::renderSheet(rig.sheet(), QString::fromStdString(out.path() + "/none"), &skipped);
        QCOMPARE(files.size(), 2); // the General page and the About box
        QCOMPARE(skipped.size(), rig.sheet().pageCount() - 1);
    }
}

QTEST_MAIN(TestBrevan)
#include "test_brevan.moc"
