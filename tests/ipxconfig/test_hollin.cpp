// The IPX utility's sheet over IPX: its pages and texts, discovery and selection,
// the firmware gate, and where its shared pages differ from Brevan's.
#include "hollin_rig.h"

#include "ipxconfig/hollin_texts.h"
#include "sheet/page00.h"
#include "sheet/page01.h"
#include "sheet/page02.h"
#include "sheet/page03.h"
#include "sheet/page04.h"
#include "sheet/page05.h"
#include "sheet/page07.h"
#include "sheet/pop_print.h"
#include "sheet/snmp.h"
#include "sheet/utility_main.h"
#include "sim/sim_firmware.h"

#include <QApplication>
#include <QFile>
#include <QFontDatabase>
#include <QMessageBox>
#include <QPushButton>
#include <QRawFont>
#include <QScreen>
#include <QSet>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>

#include <fstream>

using namespace vnk;
using namespace vnk::testing;
using protocol::Byte;
using sheet::UiServices;
namespace r = protocol::record;

namespace {

constexpr Byte AllCaps = r::CapTcpIp | r::CapDhcpServer | r::CapMailAndGateway;

sim::BoxSpec box(const std::string& name, Byte mac, Byte caps = AllCaps) {
    sim::BoxSpec b = testBox(name, mac, 0x01, caps);
    sim::setIPv4(b.record, r::DhcpStart, {192, 168, 1, 100});
    protocol::putLE16(b.record, r::DhcpRange, 20);
    sim::setIPv4(b.record, r::DhcpNetmask, {255, 255, 255, 0});
    protocol::setRecordChecksum(b.record);
    return b;
}

} // namespace

class TestHollin : public QObject {
    Q_OBJECT
private slots:
    void theSheetHasItsFourteenPagesInOrderAndFindsBoxesOverIpx();
    void aBoxWithoutFirmwareIsRefusedUntilItIsUpgradedOverIpx();
    void theIpPageRefusesABoxWithoutTcpIp();
    void theDhcpInformationPageAsksForTheStatusEachTime();
    void qtsOwnButtonsSpeakChinese();
    void theFontHasAGlyphForEveryChineseText();
    void everyTabCaptionIsInViewOnAScreenOf1280Pixels();
    void aPageTheGateRefusesShowsNothingOfTheBoxBefore();
    void startUpRefusalsAreChineseAndAnIpxPortThatIsNoPortStopsOnlyHollin();
};

void TestHollin::theSheetHasItsFourteenPagesInOrderAndFindsBoxesOverIpx() {
    // A name that is not UTF-8 is read as Big5.
    sim::BoxSpec big5 = box("X", 2);
    sim::setText(big5.record, r::AliasName, 16, "\xA6\x4C\xAA\xED\xBE\xF7\xA4\x40");
    protocol::setRecordChecksum(big5.record);
    HollinRig rig({box("IPXONE", 1), big5}, std::nullopt, "[General Information]\nTitle=Varnotek\n");
    QVERIFY2(rig.started, rig.error.c_str());
    QVERIFY(rig.showAndDiscover());
    const QStringList expected = {u"一般設定"_qs,     u"Varnotek Status"_qs, u"印表機狀態"_qs,  u"IP 設定"_qs,
                                  u"Netware 設定"_qs, u"遠端印表機"_qs,      u"Netware 資訊"_qs, u"Varnotek Cfg"_qs,
                                  u"出廠預設值"_qs,   u"軔體更新"_qs,        u"DHCP 設定"_qs,    u"DHCP 資訊"_qs,
                                  u"Mail Print 設定"_qs, u"SNMP 設定"_qs};
    QStringList captions;
    for (int i = 0; i < rig.sheet().pageCount(); ++i)
        captions.push_back(rig.sheet().tabCaption(i));
    QCOMPARE(captions, expected);
    QCOMPARE(rig.listed(), (QStringList{u"IPXONE"_qs, u"印表機一"_qs}));
    QCOMPARE(rig.sheet().windowTitle(), u"Varnotek 設定程式"_qs);
    QCOMPARE(rig.general().listLabel()->text(), u"Varnotek 名稱"_qs);
    QVERIFY(rig.takeMessages().isEmpty());
}

void TestHollin::aBoxWithoutFirmwareIsRefusedUntilItIsUpgradedOverIpx() {
    sim::BoxSpec bare = box("BAREBOX", 3);
    bare.firmwarePresent = false;
    HollinRig rig({bare});
    QVERIFY2(rig.started, rig.error.c_str());
    QVERIFY(rig.showAndDiscover());
    // Selecting it names it and opens the firmware upgrade page.
    QCOMPARE(rig.takeMessages(), QStringList{u"BAREBOX 更新軔體不完全"_qs});
    QCOMPARE(rig.sheet().activePage(), static_cast<sheet::PropertyPage*>(rig.sheet().page04()));

    const QString gate = u"請先更新列印伺服器軔體"_qs;
    ipxconfig::CPellamDlg& s = rig.sheet();
    for (sheet::PropertyPage* gated : std::initializer_list<sheet::PropertyPage*>{
             s.page01(), s.page03(), s.page02(), s.page10()}) {
        QVERIFY(rig.open(gated));
        QCOMPARE(rig.takeMessages(), QStringList{gate});
        QVERIFY(!gated->isEnabled());
    }
    // The DHCP information page names the box too, but still shows the status.
    QVERIFY(rig.open(s.page11()));
    QCOMPARE(rig.takeMessages(), QStringList{gate});
    QVERIFY(!s.page11()->isEnabled());
    QCOMPARE(s.page11()->field(sheet::Page05::StartingIp)->text(), u"192.168.1.100"_qs);
    // Mail printing and SNMP work on a box without firmware.
    for (sheet::PropertyPage* open : std::initializer_list<sheet::PropertyPage*>{s.popPrint(), s.snmpPage()}) {
        QVERIFY(rig.open(open));
        QVERIFY(open->isEnabled());
    }
    QVERIFY(rig.takeMessages().isEmpty());

    // An upgrade over IPX lifts the gate.
    const std::vector<Byte> image = sim::makeFirmwareImage("15", 0x0001);
    const std::string file = rig.dir.file("fw.bin");
    std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(image.data()),
                                                 std::streamsize(image.size()));
    ipxconfig::Page04& upgrade = *s.page04();
    QVERIFY(rig.open(&upgrade));
    QCOMPARE(upgrade.browseButton()->text(), u"瀏覽"_qs);
    rig.ui.files.push_back(QString::fromStdString(file));
    QTest::mouseClick(upgrade.browseButton(), Qt::LeftButton);
    rig.ui.answers.push_back(UiServices::Yes);
    QTest::mouseClick(upgrade.upgradeButton(), Qt::LeftButton);
    const auto messages = rig.ui.messages;
    QCOMPARE(rig.takeMessages(), (QStringList{u"進行軔體更新會先清除原有之軔體, 確定要繼續?"_qs, u"軔體更新完成"_qs}));
    QCOMPARE(messages.last().icon, UiServices::Icon::Information);
    QVERIFY(rig.lan.withBox(0, [](sim::SimBox& b) { return b.firmwarePresent(); }));
    QVERIFY(rig.open(s.page01()));
    QVERIFY(rig.takeMessages().isEmpty());
    QVERIFY(s.page01()->isEnabled());
}

void TestHollin::theIpPageRefusesABoxWithoutTcpIp() {
    HollinRig rig({box("NOTCPIP", 4, r::CapNetBeui)});
    QVERIFY2(rig.started, rig.error.c_str());
    QVERIFY(rig.showAndDiscover());
    QCOMPARE(rig.listed(), QStringList{u"NOTCPIP"_qs});
    QVERIFY(rig.open(rig.sheet().page01()));
    QCOMPARE(rig.takeMessages(), QStringList{u"NOTCPIP 不支援 TCP/IP 通訊協定"_qs});
    QVERIFY(!rig.sheet().page01()->isEnabled());
}

void TestHollin::theDhcpInformationPageAsksForTheStatusEachTime() {
    HollinRig rig({box("DHCPBOX", 5)});
    QVERIFY2(rig.started, rig.error.c_str());
    QVERIFY(rig.showAndDiscover());
    sheet::Page05& info = *rig.sheet().page11();
    QVERIFY(rig.open(&info));
    QVERIFY(rig.takeMessages().isEmpty());
    const QString shown = info.field(sheet::Page05::StartingIp)->text();
    QCOMPARE(shown, u"192.168.1.100"_qs);

    // A box that stopped answering is named when the page is shown again; the
    // fields keep what was read before.
    rig.lan.withBox(0, [](sim::SimBox& b) { b.faults().silent = true; });
    QVERIFY(rig.open(rig.sheet().page00()));
    QVERIFY(rig.open(&info));
    QCOMPARE(rig.takeMessages(), QStringList{u"DHCPBOX 沒有回應"_qs});
    QCOMPARE(info.field(sheet::Page05::StartingIp)->text(), shown);
}

void TestHollin::qtsOwnButtonsSpeakChinese() {
    QVERIFY(sheet::installQtTexts(u"zh_TW"_qs));
    QMessageBox question(QMessageBox::Question, u"hollin"_qs, u"?"_qs, QMessageBox::Yes | QMessageBox::No);
    for (auto b : {QMessageBox::Yes, QMessageBox::No}) {
        const QString text = question.button(b)->text();
        QVERIFY2(std::any_of(text.begin(), text.end(), [](QChar c) { return c.unicode() >= 0x4E00; }),
                 qPrintable(text));
    }
}

void TestHollin::theFontHasAGlyphForEveryChineseText() {
    // Every Chinese text of the utility is in these two files.
    QSet<char32_t> used;
    for (const char* path : {VNK_SOURCE_DIR "/ipxconfig/hollin_texts.cpp", VNK_SOURCE_DIR "/protocol/firmware.cpp"}) {
        QFile file(QString::fromUtf8(path));
        QVERIFY2(file.open(QIODevice::ReadOnly), path);
        for (char32_t c : QString::fromUtf8(file.readAll()).toUcs4())
            if (c > 0x7F)
                used.insert(c);
    }
    QVERIFY(used.size() > 100);
    const QString family = ipxconfig::hollinFontFamily();
    QVERIFY2(QFontDatabase::families().contains(family), qPrintable(family + u" is not installed"_qs));
    const QRawFont font = QRawFont::fromFont(QFont(family));
    QStringList missing;
    for (char32_t c : used)
        if (!font.supportsCharacter(c))
            missing.push_back(QString::fromUcs4(&c, 1));
    QVERIFY2(missing.isEmpty(), qPrintable(missing.join(u' ')));
}

void TestHollin::everyTabCaptionIsInViewOnAScreenOf1280Pixels() {
    // The title of the installed Config.ini names two of the tabs.
    if (QGuiApplication::primaryScreen()->size() != QSize(1280, 1024))
        QSKIP("the screen is not the offscreen one of 1280 x 1024 pixels");
    HollinRig rig({box("IPXONE", 1)}, std::nullopt, "[General Information]\nTitle=Print Server\n");
    QVERIFY2(rig.started, rig.error.c_str());
    QVERIFY(rig.showAndDiscover());
    QVERIFY(rig.sheet().frameGeometry().width() <= 1280);
    const QTabBar* bar = rig.sheet().tabWidget()->tabBar();
    for (int i = 0; i < bar->count(); ++i)
        QVERIFY2(bar->rect().contains(bar->tabRect(i)), qPrintable(bar->tabText(i)));
    for (const QToolButton* scroll : bar->findChildren<QToolButton*>())
        QVERIFY(!scroll->isVisible());
}

void TestHollin::aPageTheGateRefusesShowsNothingOfTheBoxBefore() {
    sim::BoxSpec bare = box("BAREBOX", 7);
    bare.firmwarePresent = false;
    HollinRig rig({box("FULLBOX", 6), bare});
    QVERIFY2(rig.started, rig.error.c_str());
    QVERIFY(rig.showAndDiscover());
    sheet::Page02& printers = *rig.sheet().page02();
    QVERIFY(rig.open(&printers));
    QVERIFY(printers.list()->topLevelItemCount() > 0);
    QVERIFY(rig.select(u"BAREBOX"_qs));
    QVERIFY(rig.open(&printers));
    QVERIFY(rig.takeMessages().endsWith(u"請先更新列印伺服器軔體"_qs));
    QVERIFY(!printers.isEnabled());
    QCOMPARE(printers.list()->topLevelItemCount(), 0);
}

void TestHollin::startUpRefusalsAreChineseAndAnIpxPortThatIsNoPortStopsOnlyHollin() {
    qputenv("VNK_IPX_PORT", "x213");
    QVERIFY(sheet::unusableSetting(sheet::UtilityMain{}).isEmpty()); // brevan starts
    std::optional<platform::SettingProblem> problem;
    QVERIFY(!platform::ipxSegmentFromEnvironment(nullptr, &problem));
    QCOMPARE(ipxconfig::ipxSetupRefusal(problem), u"VNK_IPX_PORT 不是埠號: x213"_qs);
    qunsetenv("VNK_IPX_PORT");
    QVERIFY(ipxconfig::ipxSetupRefusal(std::nullopt).startsWith(u"這部電腦沒有設定 IPX"_qs));
}

int main(int argc, char** argv) {
    // Off screen, the screen is one of 1280 x 1024 pixels, as on a desk.
    if (qgetenv("QT_QPA_PLATFORM") == "offscreen")
        qputenv("QT_QPA_PLATFORM",
                "offscreen:configfile=" VNK_SOURCE_DIR "/tests/ipxconfig/screen-1280x1024.json");
    QApplication app(argc, argv);
    TestHollin test;
    return QTest::qExec(&test, argc, argv);
}
#include "test_hollin.moc"
