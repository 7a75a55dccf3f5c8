// libnpkova as a browser meets it: loaded with dlopen, its tables checked and
// filled by its entry points, its instances created, given windows, sent
// streams and destroyed through the table it filled.
#include "plugin/npapi.h"
#include "support/sim_helpers.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QWidget>

#include <dlfcn.h>

#include <cstring>
#include <string>
#include <vector>

using namespace vnk::testing;

namespace {

template <class F> F entry(void* library, const char* name) {
    void* symbol = ::dlsym(library, name);
    if (!symbol)
        qFatal("libnpkova has no %s", name);
    F f = nullptr;
    std::memcpy(&f, &symbol, sizeof f);
    return f;
}

NPError noUrl(NPP, const char*, const char*) {
    return NPERR_NO_ERROR;
}

// Embed arguments as a browser passes them.
struct Arguments {
    std::vector<std::string> names, values;
    std::vector<char*> argn, argv;
    Arguments(const Arguments&) = delete; // argn and argv point into this one
    Arguments(std::initializer_list<std::pair<const char*, const char*>> args) {
        for (const auto& [n, v] : args)
            names.emplace_back(n), values.emplace_back(v);
        for (std::size_t i = 0; i < names.size(); ++i)
            argn.push_back(names[i].data()), argv.push_back(values[i].data());
    }
};

} // namespace

class TestNpkovaExports : public QObject {
    Q_OBJECT

    ScratchDir m_state;
    void* m_library = nullptr;
    NP_GetEntryPointsFunc m_getEntryPoints = nullptr;
    NP_InitializeFunc m_initialize = nullptr;
    NP_ShutdownFunc m_shutdown = nullptr;
    NPPluginFuncs m_funcs{};
    char m_type[15] = "Varnotek/x-vnk";

    // A new instance with these arguments, given the window w.
    void start(NPP_t& instance, Arguments args, QWidget& w) {
        QCOMPARE(m_funcs.newp(m_type, &instance, NP_EMBED, std::int16_t(args.argn.size()), args.argn.data(),
                              args.argv.data(), nullptr),
                 NPERR_NO_ERROR);
        NPWindow window{&w, 0, 0, std::uint32_t(w.width()), std::uint32_t(w.height()), {}};
        QCOMPARE(m_funcs.setwindow(&instance, &window), NPERR_NO_ERROR);
    }

private slots:
    void initTestCase() {
        qputenv("VNK_STATE_DIR", QByteArray::fromStdString(m_state.path()));
        m_library = ::dlopen(NPKOVA_LIBRARY, RTLD_NOW | RTLD_LOCAL);
        QVERIFY2(m_library, ::dlerror());
        m_getEntryPoints = entry<NP_GetEntryPointsFunc>(m_library, "NP_GetEntryPoints");
        m_initialize = entry<NP_InitializeFunc>(m_library, "NP_Initialize");
        m_shutdown = entry<NP_ShutdownFunc>(m_library, "NP_Shutdown");
    }

    void tablesAreCheckedFilledAndNamed() {
        QCOMPARE(m_getEntryPoints(nullptr), NPERR_INVALID_FUNCTABLE_ERROR);
        NPPluginFuncs small{};
        small.size = 51;
        QCOMPARE(m_getEntryPoints(&small), NPERR_INVALID_FUNCTABLE_ERROR);
        QCOMPARE(small.version, std::uint16_t(0));
        QVERIFY(!small.newp);

        // A table of the old 52 bytes is filled only as far as it reaches.
        NPPluginFuncs old;
        std::memset(&old, 0xAB, sizeof old);
        old.size = 52;
        QCOMPARE(m_getEntryPoints(&old), NPERR_NO_ERROR);
        QCOMPARE(old.version, std::uint16_t(9));
        QVERIFY(old.newp && old.asfile);
        unsigned char untouched[sizeof(void*)];
        std::memset(untouched, 0xAB, sizeof untouched);
        QCOMPARE(std::memcmp(&old.writeready, untouched, sizeof untouched), 0);

        m_funcs.size = sizeof m_funcs;
        QCOMPARE(m_getEntryPoints(&m_funcs), NPERR_NO_ERROR);
        QCOMPARE(m_funcs.version, std::uint16_t(9));
        QVERIFY(m_funcs.newp && m_funcs.destroy && m_funcs.setwindow && m_funcs.newstream &&
                m_funcs.destroystream && m_funcs.asfile && m_funcs.writeready && m_funcs.write && m_funcs.print);
        QVERIFY(!m_funcs.event && !m_funcs.javaClass);

        QCOMPARE(m_initialize(nullptr), NPERR_INVALID_FUNCTABLE_ERROR);
        NPNetscapeFuncs browser{};
        browser.size = sizeof browser;
        browser.version = 0x0100; // 1.0
        browser.geturl = &noUrl;
        QCOMPARE(m_initialize(&browser), NPERR_INCOMPATIBLE_VERSION_ERROR);
        browser.version = 0x0013;
        browser.size = 67;
        QCOMPARE(m_initialize(&browser), NPERR_INVALID_FUNCTABLE_ERROR);
        browser.size = 68;
        QCOMPARE(m_initialize(&browser), NPERR_NO_ERROR);
        QCOMPARE(m_shutdown(), NPERR_NO_ERROR);
        browser.size = sizeof browser;
        QCOMPARE(m_initialize(&browser), NPERR_NO_ERROR);

        // What a browser on Linux reads to list the plug-in.
        QCOMPARE(entry<NP_GetMIMEDescriptionFunc>(m_library, "NP_GetMIMEDescription")(),
                 "Varnotek/x-vnk:vnk:Varnotek  (*.vnk)");
        QCOMPARE(entry<NP_GetPluginVersionFunc>(m_library, "NP_GetPluginVersion")(), "3.0.0.1");
        const auto getValue = entry<NP_GetValueFunc>(m_library, "NP_GetValue");
        const char* text = nullptr;
        QCOMPARE(getValue(nullptr, NPPVpluginNameString, &text), NPERR_NO_ERROR);
        QCOMPARE(text, "Brimfold Administrator");
        QCOMPARE(getValue(nullptr, NPPVpluginDescriptionString, &text), NPERR_NO_ERROR);
        QCOMPARE(text, "Brimfold Admin Plug-in");
        QCOMPARE(getValue(nullptr, NPPVariable(99), &text), NPERR_GENERIC_ERROR);
    }

    void instanceFunctionsRefuseWhatIsMissingAndDropStreams() {
        QCOMPARE(m_funcs.newp(m_type, nullptr, NP_EMBED, 0, nullptr, nullptr, nullptr),
                 NPERR_INVALID_INSTANCE_ERROR);
        NPP_t bare{};
        NPWindow none{};
        QCOMPARE(m_funcs.setwindow(&bare, nullptr), NPERR_GENERIC_ERROR);
        QCOMPARE(m_funcs.setwindow(nullptr, &none), NPERR_INVALID_INSTANCE_ERROR);
        QCOMPARE(m_funcs.setwindow(&bare, &none), NPERR_GENERIC_ERROR); // no instance data

        NPP_t instance{};
        QCOMPARE(m_funcs.newp(m_type, &instance, NP_EMBED, 0, nullptr, nullptr, nullptr), NPERR_NO_ERROR);
        QVERIFY(instance.pdata);
        QCOMPARE(m_funcs.setwindow(&instance, &none), NPERR_NO_ERROR); // no handle: nothing starts
        NPStream stream{};
        std::uint16_t type = 1;
        QCOMPARE(m_funcs.newstream(nullptr, m_type, &stream, 0, &type), NPERR_INVALID_INSTANCE_ERROR);
        QCOMPARE(m_funcs.newstream(&instance, m_type, &stream, 0, &type), NPERR_NO_ERROR);
        QCOMPARE(m_funcs.writeready(&instance, &stream), 65535);
        char data[700] = {};
        QCOMPARE(m_funcs.write(&instance, &stream, 0, 700, data), 700);
        QCOMPARE(m_funcs.write(&instance, &stream, 700, 3, data), 3);
        QCOMPARE(m_funcs.destroystream(&instance, &stream, NPERR_NO_ERROR), NPERR_NO_ERROR);
        QCOMPARE(m_funcs.destroy(&instance, nullptr), NPERR_NO_ERROR);
        QVERIFY(!instance.pdata);
    }

    void theFirstWindowStartsTheWorkOnceAndDestroyTakesTheWindowAway() {
        QWidget page;
        page.resize(300, 80);
        page.show();
        NPP_t form{};
        start(form, {{"TYPE", "Varnotek/x-vnk"}, {"magicpacket", "TRUE"}}, page);
        auto* ip = page.findChild<QLineEdit*>(QStringLiteral("102"));
        QVERIFY(ip);
        QCOMPARE(ip->text(), QStringLiteral("255.255.255.255"));
        QVERIFY(page.findChild<QPushButton*>(QStringLiteral("1004")));

        // A second window only repaints: no second form, in either window.
        QWidget other;
        NPWindow again{&other, 0, 0, 300, 80, {}};
        QCOMPARE(m_funcs.setwindow(&form, &again), NPERR_NO_ERROR);
        QVERIFY(other.findChildren<QWidget*>().isEmpty());
        QCOMPARE(page.findChildren<QLineEdit*>().size(), 2);

        QCOMPARE(m_funcs.destroy(&form, nullptr), NPERR_NO_ERROR);
        QVERIFY(page.findChildren<QWidget*>().isEmpty());

        // Batch wins over the form: its window stays empty (MagicPkt.ini is
        // nowhere, so nothing is sent either).
        NPP_t batch{};
        start(batch, {{"MagicPacket", "true"}, {"BATCH", "True"}}, page);
        QVERIFY(page.findChildren<QLineEdit*>().isEmpty());
        QCOMPARE(m_funcs.destroy(&batch, nullptr), NPERR_NO_ERROR);
    }

    void cleanupTestCase() {
        QCOMPARE(m_shutdown(), NPERR_NO_ERROR);
    }
};

QTEST_MAIN(TestNpkovaExports)
#include "test_npkova_exports.moc"
