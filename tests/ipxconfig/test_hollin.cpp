// The IPX utility's sheet over IPX: its pages and texts, discovery and selection,
// the firmware gate, and where its shared pages differ from Brevan's.
#include "hollin_rig.h"

#include "ipxconfig/hollin_texts.h"
#include "sheet/page00.h"

#include <QTabWidget>
#include <QTest>

using namespace vnk;
using namespace vnk::testing;
using protocol::Byte;
namespace r = protocol::record;

class TestHollin : public QObject {
    Q_OBJECT
private slots:
    void theSheetHasItsFourteenPagesInOrderAndFindsBoxesOverIpx();
};

void TestHollin::theSheetHasItsFourteenPagesInOrderAndFindsBoxesOverIpx() {
    HollinRig rig({testBox("IPXONE", 1), testBox("IPXTWO", 2)}, std::nullopt,
                  "[General Information]\nTitle=Varnotek\n");
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
    QCOMPARE(rig.listed(), (QStringList{u"IPXONE"_qs, u"IPXTWO"_qs}));
    QCOMPARE(rig.sheet().windowTitle(), u"Varnotek 設定程式"_qs);
}

QTEST_MAIN(TestHollin)
#include "test_hollin.moc"
