// The setup wizard's pages driven through their widgets on the offscreen
// platform, over UDP against simulated boxes on the test's own loopback ports:
// what the user sees on each page, and what Finish and Cancel leave behind on
// the box and on the PC.
#include "platform/spooler.h"
#include "sheet/recording_ui_services.h"
#include "sim/sim_lan.h"
#include "support/sim_helpers.h"
#include "wizard/cmy_property_sheet.h"

#include <QAbstractButton>
#include <QApplication>
#include <QPushButton>
#include <QScreen>
#include <QWindow>
#include <QFontDatabase>
#include <QLabel>
#include <QRawFont>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>
#include <QTest>

#include <filesystem>
#include <functional>
#include <fstream>

using namespace vnk;
using namespace vnk::testing;
using protocol::Byte;
namespace r = protocol::record;

namespace {

constexpr const char* Monitor = "Varnotek Network Port";

// A box on automatic addressing with two parallel ports.
sim::BoxSpec twoPortBox(const std::string& name, Byte mac, std::array<Byte, 4> ip = {0, 0, 0, 0}) {
    return testBox(name, mac, 0x02, r::CapTcpIp, [&](protocol::ConfigRecord& rec) {
        std::copy(ip.begin(), ip.end(), rec.begin() + r::IpAddress);
    });
}

std::vector<Byte> fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The UDP link with a look at the screen each time a search begins.
class WatchedLink final : public wizard::DeviceLink {
public:
    WatchedLink(wizard::DeviceLink& link, std::function<void()> look) : m_link(link), m_look(std::move(look)) {}
    int search(wizard::WizardServerTable& t, int first, int passes) override {
        if (m_look)
            m_look();
        return m_link.search(t, first, passes);
    }
    int readConfig(wizard::WizardServerTable& t, int i) override { return m_link.readConfig(t, i); }
    int readStatus(wizard::WizardServerTable& t, int i) override { return m_link.readStatus(t, i); }
    int writeConfig(wizard::WizardServerTable& t, int i) override { return m_link.writeConfig(t, i); }
    int reset(wizard::WizardServerTable& t, int i) override { return m_link.reset(t, i); }

private:
    wizard::DeviceLink& m_link;
    std::function<void()> m_look;
};

} // namespace

class TestBotWizard : public QObject {
    Q_OBJECT

    struct Rig {
        ScratchDir state;
        sim::SimLan lan;
        std::unique_ptr<wizard::DeviceLink> udp;
        std::unique_ptr<WatchedLink> watched;
        wizard::WizardNetwork net;
        sheet::RecordingUiServices ui;
        // A lease comes first: the PC's fixed address is the one that counts.
        platform::FixedHostInfo host{{{"10.20.30.40", "255.255.255.0", false, "wlan0", true},
                                      {"192.168.1.10", "255.255.255.0", false, "eth0"}}};
        std::unique_ptr<wizard::WizardContext> ctx;
        std::unique_ptr<wizard::CMyPropertySheet> sheet;

        explicit Rig(const std::vector<sim::BoxSpec>& boxes, std::function<void()> duringSearch = {}) {
            for (const auto& b : boxes)
                lan.addBox(b);
            std::string error;
            if (!lan.start(&error))
                qFatal("cannot start the LAN: %s", error.c_str());
            udp = wizard::makeUdpLink(lan.endpoint(), platform::Timing::fast());
            watched = std::make_unique<WatchedLink>(*udp, std::move(duringSearch));
            net.installed.tcpIp = true;
            net.udp = watched.get();
            platform::Spooler(state.path()).addMonitor({Monitor, "Windows NT x86", "BRANWICK.DLL"});
            ctx = std::make_unique<wizard::WizardContext>(
                wizard::WizardContext{wizard::serverTable(), net, ui, host, state.path()});
            sheet = std::make_unique<wizard::CMyPropertySheet>(*ctx, Monitor);
            sheet->show();
        }
        template <class T> T* control(int page, const char* id) {
            T* w = sheet->page(page)->findChild<T*>(QString::fromLatin1(id));
            if (!w)
                qFatal("no control %s on page %d", id, page + 1);
            return w;
        }
        QString field(int page, const char* id) { return control<QLineEdit>(page, id)->text(); }
        void choose(const QString& name) {
            auto* list = control<QListWidget>(0, "1005");
            const auto items = list->findItems(name, Qt::MatchExactly);
            if (items.size() != 1)
                qFatal("%s is not listed once", qPrintable(name));
            list->setCurrentItem(items.first());
        }
        void click(QWizard::WizardButton b) { sheet->button(b)->click(); }
        std::string pserverBin() const { return state.path() + "/system/pserver.bin"; }
        int writes(int box) { return lan.withBox(box, [](sim::SimBox& b) { return b.writes; }); }
        int resets(int box) { return lan.withBox(box, [](sim::SimBox& b) { return b.resets; }); }
    };

private slots:
    void initTestCase() {
        // The reference monitor must never reach a CUPS server of this machine.
        qputenv("CUPS_SERVER", "127.0.0.1:9");
    }

    void aRenamedBoxGivenAnAddressIsWrittenResetAndGetsItsPort() {
        Rig rig({twoPortBox("QUILL", 0x21), twoPortBox("BITTERN", 0x22, {192, 168, 1, 60})});
        auto* list = rig.control<QListWidget>(0, "1005");
        QCOMPARE(list->count(), 2);
        QCOMPARE(list->item(0)->text(), QStringLiteral("BITTERN")); // the list is sorted
        QVERIFY(rig.ui.waitsBegun() > 0);
        rig.choose(QStringLiteral("QUILL"));
        rig.click(QWizard::NextButton);

        QCOMPARE(rig.field(1, "1006"), QStringLiteral("PS550021"));
        QCOMPARE(rig.field(1, "1007"), QStringLiteral("QUILL"));
        auto* name = rig.control<QLineEdit>(1, "1007");
        name->clear();
        QTest::keyClicks(name, QStringLiteral("quill-second-floor"));
        QCOMPARE(name->text(), QStringLiteral("QUILL-SECOND-FL")); // upper case, 15 at most
        rig.click(QWizard::NextButton);

        // A box on automatic addressing and a PC with TCP/IP alone: the PC's neighbour is proposed.
        QVERIFY(rig.control<QRadioButton>(2, "1014")->isChecked());
        QCOMPARE(rig.field(2, "1016"), QStringLiteral("192.168.1.11"));
        rig.control<QLineEdit>(2, "1016")->setText(QStringLiteral("192.168.1.77"));
        rig.click(QWizard::NextButton);

        QCOMPARE(rig.field(3, "1007"), QStringLiteral("QUILL-SECOND-FL"));
        QCOMPARE(rig.field(3, "1011"), QStringLiteral("啟動"));
        QCOMPARE(rig.field(3, "1008"), QStringLiteral("指定"));
        QCOMPARE(rig.field(3, "1016"), QStringLiteral("192.168.1.77"));
        rig.click(QWizard::FinishButton);

        QCOMPARE(rig.writes(0), 1);
        QTRY_COMPARE(rig.resets(0), 1); // the box restarts a moment after the reset
        const protocol::ConfigRecord stored = rig.lan.withBox(0, [](sim::SimBox& b) { return b.storedRecord(); });
        QCOMPARE(protocol::fieldText(stored, r::AliasName, 16), std::string("QUILL-SECOND-FL"));
        QCOMPARE(stored[r::IpAddress + 3], Byte(77));

        const auto bin = fileBytes(rig.pserverBin());
        QCOMPARE(bin.size(), std::size_t(81));
        QCOMPARE(std::string(reinterpret_cast<const char*>(bin.data())), std::string("QUILL-SECOND-FL"));
        QCOMPARE(bin[wizard::pserver::Ip + 3], Byte(77));
        QCOMPARE(bin[wizard::pserver::PortMask], Byte(0x03));
        const auto ports = platform::Spooler(rig.state.path()).ports();
        QCOMPARE(ports.size(), std::size_t(1));
        QCOMPARE(ports[0].monitor, std::string(Monitor));
        QVERIFY(!rig.sheet->isVisible());
    }

    void anUntouchedBoxIsNotWrittenButStillGetsItsPort() {
        Rig rig({twoPortBox("WREN", 0x31, {192, 168, 1, 61})});
        rig.click(QWizard::NextButton);
        rig.click(QWizard::NextButton);
        QVERIFY(rig.control<QRadioButton>(2, "1013")->isChecked()); // a fixed address stays
        QCOMPARE(rig.field(2, "1016"), QStringLiteral("192.168.1.61"));
        rig.click(QWizard::NextButton);
        QCOMPARE(rig.field(3, "1008"), QStringLiteral("指定"));
        rig.click(QWizard::FinishButton);
        QCOMPARE(rig.writes(0), 0);
        QCOMPARE(rig.resets(0), 0);
        QCOMPARE(fileBytes(rig.pserverBin()).size(), std::size_t(81));
        QCOMPARE(platform::Spooler(rig.state.path()).ports().size(), std::size_t(1));
    }

    void aBadAddressKeepsPage3AndCancelLeavesNothingBehind() {
        Rig rig({twoPortBox("WREN", 0x31)});
        rig.click(QWizard::NextButton);
        rig.click(QWizard::NextButton);
        rig.control<QLineEdit>(2, "1016")->setText(QStringLiteral("1.2.3"));
        rig.click(QWizard::NextButton);
        QCOMPARE(rig.sheet->currentId(), 2);
        QCOMPARE(rig.ui.texts().last(), QStringLiteral("不合法的 IP 位址!"));
        rig.click(QWizard::CancelButton);
        QCOMPARE(rig.writes(0), 0);
        QVERIFY(!std::filesystem::exists(rig.pserverBin()));
        QVERIFY(platform::Spooler(rig.state.path()).ports().empty());
    }

    // Every text the four pages show is drawn with the wizard's CJK font, none as a box.
    void everyTextOfThePagesHasAGlyph() {
        Rig rig({twoPortBox("WREN", 0x31)});
        QString shown;
        for (int id : rig.sheet->pageIds()) {
            shown += rig.sheet->page(id)->title();
            for (const QLabel* l : rig.sheet->page(id)->findChildren<QLabel*>())
                shown += l->text();
            for (const QAbstractButton* b : rig.sheet->page(id)->findChildren<QAbstractButton*>())
                shown += b->text();
        }
        QVERIFY(shown.contains(QStringLiteral("標示之 Device Name")));
        const QString family = wizard::wizardFontFamily();
        QVERIFY2(QFontDatabase::families().contains(family), qPrintable(family + QStringLiteral(" is not installed")));
        QCOMPARE(rig.sheet->font().family(), family);
        const QRawFont font = QRawFont::fromFont(rig.sheet->font());
        QStringList missing;
        for (char32_t c : shown.toUcs4())
            if (c > 0x7F && !font.supportsCharacter(c))
                missing.push_back(QString::fromUcs4(&c, 1));
        QVERIFY2(missing.isEmpty(), qPrintable(missing.join(QLatin1Char(' '))));
    }

    // While a search blocks, its wait window is on the screen, drawn and centred
    // (on the screen while the wizard opens, then on the wizard), over an empty list.
    void theWaitWindowIsUpCentredOverAnEmptyList() {
        struct Seen {
            bool up = false;
            QPoint offCentre;
            int listed = -1;
        };
        std::vector<Seen> seen;
        Rig* rigSeen = nullptr;
        Rig rig({twoPortBox("WREN", 0x31)}, [&] {
            Seen s;
            for (QWidget* w : QApplication::topLevelWidgets()) {
                if (w->objectName() != QStringLiteral("131") || !w->isVisible())
                    continue;
                const auto* label = w->findChild<QLabel*>();
                s.up = w->windowHandle() && w->windowHandle()->isExposed() && label &&
                       label->text() == QStringLiteral("正在搜尋列印伺服器...");
                const QWidget* wizard = rigSeen ? rigSeen->sheet.get() : nullptr;
                const QRect over = wizard && wizard->isVisible() ? wizard->frameGeometry()
                                                                 : QApplication::primaryScreen()->availableGeometry();
                s.offCentre = w->frameGeometry().center() - over.center();
            }
            if (rigSeen)
                s.listed = rigSeen->control<QListWidget>(0, "1005")->count();
            seen.push_back(s);
        });
        rigSeen = &rig;
        rig.control<QPushButton>(0, "1021")->click();
        QCOMPARE(seen.size(), std::size_t(2));
        for (const Seen& s : seen) {
            QVERIFY(s.up);
            QVERIFY2(s.offCentre.manhattanLength() <= 4, qPrintable(QStringLiteral("%1,%2").arg(s.offCentre.x()).arg(s.offCentre.y())));
        }
        QCOMPARE(seen[1].listed, 0);
    }

    void nothingFoundKeepsTheWizardOnPage1() {
        Rig rig({});
        QCOMPARE(rig.control<QListWidget>(0, "1005")->count(), 0);
        rig.click(QWizard::NextButton);
        QCOMPARE(rig.sheet->currentId(), 0);
    }
};

QTEST_MAIN(TestBotWizard)
#include "test_bot_wizard.moc"
