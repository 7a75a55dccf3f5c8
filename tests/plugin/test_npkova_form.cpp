// The magic packet form of a plug-in instance, driven through its widgets with
// the message boxes recorded: the packet reaches a loopback port of this
// test's own, a success is reported and its Ethernet address remembered for
// the next form, and nothing else counts as a success. Which embed arguments
// choose the form is checked here too.
#include "platform/registry.h"
#include "plugin/core/admin.h"
#include "plugin/npkova.h"
#include "sheet/recording_ui_services.h"
#include "support/sim_helpers.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <vector>

using namespace vnk;
using namespace vnk::testing;
using Icon = sheet::UiServices::Icon;

class TestNpkovaForm : public QObject {
    Q_OBJECT

    ScratchDir m_state;
    sheet::RecordingUiServices m_ui;
    NPPluginFuncs m_funcs{};
    int m_socket = -1;
    QWidget m_page;
    char m_type[15] = "Varnotek/x-vnk";
    char m_name[12] = "magicpacket", m_true[5] = "true";
    std::vector<NPP_t*> m_open;

    NPP_t* openForm() {
        auto* npp = new NPP_t{};
        m_open.push_back(npp);
        char* argn[] = {m_name};
        char* argv[] = {m_true};
        if (m_funcs.newp(m_type, npp, NP_EMBED, 1, argn, argv, nullptr) != NPERR_NO_ERROR)
            qFatal("NPP_New failed");
        NPWindow window{&m_page, 0, 0, 300, 80, {}};
        if (m_funcs.setwindow(npp, &window) != NPERR_NO_ERROR)
            qFatal("NPP_SetWindow failed");
        return npp;
    }
    void closeForm(NPP_t* npp) {
        m_funcs.destroy(npp, nullptr);
        std::erase(m_open, npp);
        delete npp;
    }
    QLineEdit* box(const char* id) { return m_page.findChild<QLineEdit*>(QString::fromLatin1(id)); }
    void send(const char* ip, const char* mac) {
        box("102")->setText(QString::fromLatin1(ip));
        box("1000")->setText(QString::fromLatin1(mac));
        m_page.findChild<QPushButton*>(QStringLiteral("1004"))->click();
    }
    // The datagrams that reached the test's port.
    std::vector<std::vector<unsigned char>> received() {
        std::vector<std::vector<unsigned char>> got;
        pollfd p{m_socket, POLLIN, 0};
        while (::poll(&p, 1, 200) > 0) {
            std::vector<unsigned char> d(2048);
            const ssize_t n = ::recv(m_socket, d.data(), d.size(), 0);
            if (n < 0)
                break;
            d.resize(std::size_t(n));
            got.push_back(d);
        }
        return got;
    }
    std::optional<std::string> storedMac() {
        return platform::queryRegistryString(plugin::AdministratorKey, "MAC", 100, m_state.path());
    }

private slots:
    void initTestCase() {
        qputenv("VNK_STATE_DIR", QByteArray::fromStdString(m_state.path()));
        plugin::setUiServices(&m_ui);
        plugin::setTiming(platform::Timing::fast());
        m_funcs.size = sizeof m_funcs;
        QCOMPARE(plugin::getEntryPoints(&m_funcs), NPERR_NO_ERROR);
        m_socket = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        QCOMPARE(::bind(m_socket, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
        socklen_t len = sizeof a;
        ::getsockname(m_socket, reinterpret_cast<sockaddr*>(&a), &len);
        qputenv("VNK_WOL_PORT", QByteArray::number(ntohs(a.sin_port)));
        m_page.resize(300, 80);
        m_page.show();
    }

    void embedArgumentsChooseTheMode() {
        using plugin::Mode;
        const auto mode = [](std::vector<const char*> argn, std::vector<const char*> argv) {
            return plugin::instanceFlags(std::int16_t(argn.size()), argn.data(), argv.data()).mode();
        };
        QCOMPARE(mode({"magicpacket"}, {"TRUE"}), Mode::MagicPacketForm);
        QCOMPARE(mode({"MagicPacket"}, {"true"}), Mode::MagicPacketForm);
        QCOMPARE(mode({"magicpacket"}, {"yes"}), Mode::DeviceList);
        QCOMPARE(mode({"magicpacket", "type"}, {"true ", "Varnotek/x-vnk"}), Mode::DeviceList);
        QCOMPARE(mode({"batch", "magicpacket"}, {"tRUE", "true"}), Mode::Batch);
        QCOMPARE(mode({"magicpacket", "batch"}, {"true", "false"}), Mode::MagicPacketForm);
        QCOMPARE(plugin::instanceFlags(3, nullptr, nullptr).mode(), Mode::DeviceList);
    }

    void aSentPacketIsReportedAndRememberedWhereTheKeyExists() {
        NPP_t* form = openForm();
        QCOMPARE(box("1000")->text(), QString());
        QCOMPARE(box("102")->maxLength(), 15);
        QCOMPARE(box("1000")->maxLength(), 12);
        box("1000")->setFocus();
        QTest::keyClicks(box("1000"), QStringLiteral("0000b400a5f6ff"));
        QCOMPARE(box("1000")->text(), QStringLiteral("0000B400A5F6")); // upper case, 12 at most
        box("102")->setText(QStringLiteral("127.0.0.1"));
        m_page.findChild<QPushButton*>(QStringLiteral("1004"))->click();

        const auto got = received();
        QCOMPARE(got.size(), std::size_t(6));
        const std::array<unsigned char, 6> mac{0x00, 0x00, 0xB4, 0x00, 0xA5, 0xF6};
        for (const auto& d : got) {
            QCOMPARE(d.size(), std::size_t(102));
            QVERIFY(std::all_of(d.begin(), d.begin() + 6, [](unsigned char c) { return c == 0xFF; }));
            for (int i = 0; i < 16; ++i)
                QVERIFY(std::equal(mac.begin(), mac.end(), d.begin() + 6 + 6 * i));
        }
        QCOMPARE(m_ui.messages.size(), 1);
        QCOMPARE(m_ui.messages[0].caption, QStringLiteral("npkova"));
        QCOMPARE(m_ui.messages[0].text, QStringLiteral("Send Successfully!"));
        QCOMPARE(m_ui.messages[0].icon, Icon::Information);
        QVERIFY(!storedMac()); // the key does not exist, so it cannot be opened
        closeForm(form);

        QVERIFY(platform::setRegistryValue(plugin::AdministratorKey, "Path", m_state.path(), m_state.path()));
        form = openForm();
        send("127.0.0.1", "00E0A1B2C3D4");
        QCOMPARE(received().size(), std::size_t(6));
        QCOMPARE(m_ui.texts().last(), QStringLiteral("Send Successfully!"));
        QCOMPARE(storedMac(), std::optional<std::string>("00E0A1B2C3D4"));
        closeForm(form);

        form = openForm();
        QCOMPARE(box("1000")->text(), QStringLiteral("00E0A1B2C3D4"));
        QCOMPARE(box("102")->text(), QStringLiteral("255.255.255.255"));
        closeForm(form);
    }

    void aMacThatIsNotTwelveDigitsOrAPacketThatDidNotGoOutIsNoSuccess() {
        QVERIFY(platform::setRegistryValue(plugin::AdministratorKey, "MAC", "111111111111", m_state.path()));
        m_ui.messages.clear();
        NPP_t* form = openForm();
        send("127.0.0.1", "0000B400A5F");
        QCOMPARE(m_ui.messages.size(), 1);
        QCOMPARE(m_ui.messages[0].text,
                 QStringLiteral("Invalid Ethernet ID! The Ethernet ID should be\npresented in a hexadecimal "
                                "form such as 0000B400A5F6."));
        QCOMPARE(m_ui.messages[0].icon, Icon::Critical);
        QCOMPARE(m_ui.messages[0].caption, QStringLiteral("npkova"));

        // With a loopback broadcast address, an address outside 127.0.0.0/8 is
        // refused: the refusal is shown, and no success after it.
        send("10.1.2.3", "0000B400A5F6");
        QCOMPARE(m_ui.messages.size(), 2);
        QVERIFY(m_ui.messages[1].text.contains(QStringLiteral("10.1.2.3")));
        QVERIFY(received().empty());
        QCOMPARE(storedMac(), std::optional<std::string>("111111111111"));
        closeForm(form);
    }

    void aBrokenSettingRefusesTheWorkInsteadOfBroadcastingForReal() {
        m_ui.messages.clear();
        const QByteArray port = qgetenv("VNK_WOL_PORT");
        qputenv("VNK_WOL_PORT", "70000");
        NPP_t* form = openForm();
        qputenv("VNK_WOL_PORT", port);
        QVERIFY(!box("102"));
        QCOMPARE(m_ui.messages.size(), 1);
        QVERIFY(m_ui.messages[0].text.contains(QStringLiteral("VNK_WOL_PORT")));
        closeForm(form);
    }

    // A test that failed half-way leaves no form behind for the next one.
    void cleanup() {
        while (!m_open.empty())
            closeForm(m_open.back());
    }

    void cleanupTestCase() {
        plugin::setUiServices(nullptr);
        ::close(m_socket);
    }
};

QTEST_MAIN(TestNpkovaForm)
#include "test_npkova_form.moc"
