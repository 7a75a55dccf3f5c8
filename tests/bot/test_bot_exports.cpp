// libbot as a setup program uses it: loaded with dlopen and called by name. The
// monitor is registered once however often an entry point runs, every wizard
// run searches afresh, and the client entry points add a port straight away.
#include "platform/spooler.h"
#include "sim/sim_lan.h"
#include "support/sim_helpers.h"

#include <QApplication>
#include <QListWidget>
#include <QTest>
#include <QTimer>
#include <QWizard>

#include <dlfcn.h>

#include <cstring>
#include <functional>
#include <filesystem>
#include <fstream>

using namespace vnk;
using namespace vnk::testing;

namespace {

using Export = int (*)(std::uint32_t, std::uint32_t, const char*);

Export entry(void* library, const char* name) {
    void* symbol = ::dlsym(library, name);
    if (!symbol)
        qFatal("libbot has no %s", name);
    Export e = nullptr;
    std::memcpy(&e, &symbol, sizeof e);
    return e;
}

// Runs a wizard entry point; once its search is over, notes how many boxes page 1
// lists and cancels the wizard.
int listedByWizard(Export run, const char* monitor) {
    int listed = -1;
    // The search runs while the wizard opens; it is modal once it is done.
    std::function<void()> look = [&] {
        auto* wizard = qobject_cast<QWizard*>(QApplication::activeModalWidget());
        if (!wizard) {
            QTimer::singleShot(10, look);
            return;
        }
        listed = wizard->findChild<QListWidget*>(QStringLiteral("1005"))->count();
        wizard->reject();
    };
    QTimer::singleShot(10, look);
    if (run(0, 0, monitor) != 0)
        qFatal("an entry point returned other than 0");
    return listed;
}

} // namespace

class TestBotExports : public QObject {
    Q_OBJECT

    ScratchDir m_state;
    std::unique_ptr<sim::SimLan> m_lan;
    void* m_library = nullptr;

private slots:
    void initTestCase() {
        m_lan = std::make_unique<sim::SimLan>();
        m_lan->addBox(testBox("QUILL", 0x41, 0x03));
        std::string error;
        QVERIFY2(m_lan->start(&error), error.c_str());
        qputenv("VNK_STATE_DIR", QByteArray::fromStdString(m_state.path()));
        qputenv("VNK_PORT", QByteArray::number(m_lan->commandPort()));
        qunsetenv("VNK_IPX_PORT");
        qunsetenv("VNK_NETBIOS_PORT");
        qputenv("CUPS_SERVER", "127.0.0.1:9"); // never this machine's CUPS
        m_library = ::dlopen(BOT_LIBRARY, RTLD_NOW | RTLD_LOCAL);
        QVERIFY2(m_library, ::dlerror());
    }

    void callmeTwiceRegistersOnceAndSearchesEachTime() {
        const Export callme = entry(m_library, "Callme");
        QCOMPARE(listedByWizard(callme, "Varnotek Port"), 1);
        m_lan->stop(); // the second run finds nothing, and shows nothing of the first
        QCOMPARE(listedByWizard(callme, "Varnotek Port"), 0);
        const auto monitors = platform::Spooler(m_state.path()).monitors();
        QCOMPARE(monitors.size(), std::size_t(1));
        QCOMPARE(monitors[0].name, std::string("Varnotek Port"));
        QCOMPARE(monitors[0].environment, std::string("Windows 4.0"));
        QCOMPARE(monitors[0].dllName, std::string("KESTRAL.DLL"));
        QVERIFY(platform::Spooler(m_state.path()).ports().empty()); // cancelled: no port
    }

    void clientEntryPointsAddThePortOfPserverBin() {
        // What a wizard run left: a two-port box at 192.168.1.20.
        std::array<unsigned char, 81> record{};
        std::strcpy(reinterpret_cast<char*>(record.data()), "QUILL");
        record[48] = 192, record[49] = 168, record[50] = 1, record[51] = 20;
        record[69] = 2;
        record[77] = 0x03;
        std::filesystem::create_directories(m_state.file("system"));
        std::ofstream(m_state.file("system/pserver.bin"), std::ios::binary)
            .write(reinterpret_cast<const char*>(record.data()), 81);

        QCOMPARE(entry(m_library, "NTClientCallme")(0, 0, "Branwick Port Monitor"), 0);
        const platform::Spooler spooler(m_state.path());
        bool registered = false;
        for (const auto& m : spooler.monitors())
            registered |= m.name == "Branwick Port Monitor" && m.environment == "Windows NT x86" &&
                          m.dllName == "BRANWICK.DLL";
        QVERIFY(registered);
        const auto ports = spooler.ports();
        QCOMPARE(ports.size(), std::size_t(1));
        QCOMPARE(ports[0].monitor, std::string("Branwick Port Monitor"));
        QCOMPARE(ports[0].name, std::string("QUILL"));
    }
};

QTEST_MAIN(TestBotExports)
#include "test_bot_exports.moc"
