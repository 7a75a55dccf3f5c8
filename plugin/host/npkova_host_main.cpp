// npkova-host: plays the browser for libnpkova. It loads the library, starts
// one plug-in instance for each <embed> of a page whose type the plug-in
// handles, gives each a window, and follows the pages the plug-in sends it to.
#include "platform/program_dir.h"
#include "platform/version.h"
#include "plugin/host/link_following.h"
#include "plugin/host/page_reading.h"
#include "plugin/npapi.h"
#include "sheet/utility_main.h"

#include <QPushButton>
#include <QApplication>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QTextBrowser>
#include <QTimer>
#include <QVBoxLayout>

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

using namespace vnk::plugin::host;

const char* const Usage =
    "usage: npkova-host [--quit-when-done] [--library PATH] PAGE.htm\n"
    "       npkova-host --help | --version\n"
    "\n"
    "Plays the browser for the administration plug-in: loads libnpkova.so, starts one\n"
    "plug-in instance for each <embed> of PAGE whose type the plug-in handles\n"
    "(Varnotek/x-vnk), with all the embed's attributes as its arguments, gives each a\n"
    "window of the embed's WIDTH and HEIGHT, and follows the pages the plug-in asks\n"
    "for, relative to PAGE's folder. Every page followed is printed as\n"
    "\"npkova-host: TARGET -> PATH\". Of a frame page, the frame named \"navigator\" is\n"
    "shown; a link in it to a page of this folder opens that page, with its plug-in\n"
    "instances.\n"
    "\n"
    "  --quit-when-done  end once every instance of PAGE has had its first window (its\n"
    "                    work is done then): message boxes are answered with their\n"
    "                    default button and printed as \"npkova-host: message: CAPTION:\n"
    "                    TEXT\", pages asked for are printed but not opened. The exit\n"
    "                    status is 0 when every call of the plug-in returned 0, else 1.\n"
    "  --library PATH    the plug-in library; else libnpkova.so beside this program,\n"
    "                    else in the folder plugins/ beside it (where it is installed),\n"
    "                    else libnpkova.so on the library search path\n"
    "\n"
    "Environment: VNK_STATE_DIR (the registry: the value \"Path\" of the key\n"
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Quenby\\Quenby Administrator names the administration\n"
    "directory, where the device list pages are written; without it, the current\n"
    "directory), VNK_BROADCAST and VNK_PORT (the search), VNK_WOL_PORT (magic packets).\n"
    "Without a display, QT_QPA_PLATFORM=offscreen runs it off screen.\n";

struct Plugin {
    NP_GetEntryPointsFunc getEntryPoints = nullptr;
    NP_InitializeFunc initialize = nullptr;
    NP_ShutdownFunc shutdown = nullptr;
    std::vector<std::string> types; // the MIME types it handles
};

template <class F> F symbol(void* library, const char* name) {
    void* s = ::dlsym(library, name);
    F f = nullptr;
    static_assert(sizeof f == sizeof s);
    if (s)
        std::memcpy(&f, &s, sizeof f);
    return f;
}

// The library's entry points; nothing (with the reason on stderr) when it
// cannot be loaded or lacks one.
std::optional<Plugin> loadPlugin(const std::string& library) {
    std::string why;
    void* handle = vnk::platform::loadLibrary(library, "libnpkova.so", &why);
    if (!handle) {
        std::fprintf(stderr, "npkova-host: cannot load %s\n", why.c_str());
        return std::nullopt;
    }
    Plugin p;
    p.getEntryPoints = symbol<NP_GetEntryPointsFunc>(handle, "NP_GetEntryPoints");
    p.initialize = symbol<NP_InitializeFunc>(handle, "NP_Initialize");
    p.shutdown = symbol<NP_ShutdownFunc>(handle, "NP_Shutdown");
    if (!p.getEntryPoints || !p.initialize || !p.shutdown) {
        std::fprintf(stderr, "npkova-host: %s is not a plug-in (NP_GetEntryPoints, NP_Initialize, NP_Shutdown)\n",
                     library.empty() ? "libnpkova.so" : library.c_str());
        return std::nullopt;
    }
    if (const auto describe = symbol<NP_GetMIMEDescriptionFunc>(handle, "NP_GetMIMEDescription"))
        if (const char* d = describe())
            p.types = mimeTypes(d);
    if (p.types.empty())
        p.types.emplace_back("Varnotek/x-vnk");
    // The library stays loaded: Qt's objects may still tidy up at exit.
    return p;
}

// A size attribute in pixels; the default for anything else ("100%", "big").
std::uint32_t pixels(const std::optional<std::string>& text, std::uint32_t fallback) {
    if (!text || text->empty() || text->size() > 4)
        return fallback;
    std::uint32_t n = 0;
    for (char c : *text) {
        if (c < '0' || c > '9')
            return fallback;
        n = n * 10 + std::uint32_t(c - '0');
    }
    return n;
}

QString qs(const std::string& s) {
    return QString::fromStdString(s);
}

class Host final : public QObject {
public:
    Host(Plugin plugin, bool quitWhenDone);
    ~Host() override;
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    // NP_GetEntryPoints and NP_Initialize; false when either refused.
    bool load();
    // The page with its instances, each given its first window.
    void openPage(const std::string& path);
    // Every instance destroyed, then NP_Shutdown.
    void finish();
    bool allReturnedZero() const { return m_allZero; }
    QWidget& window() { return m_window; }

    // NPN_GetURL.
    NPError getUrl(NPP instance, const char* url, const char* target);

private:
    struct Instance {
        std::string type;
        std::vector<std::string> names, values;
        std::vector<char*> argn, argv;
        NPP_t npp{};
        bool created = false;
        QWidget* widget = nullptr;
    };

    void called(const char* function, NPError result);
    void destroyInstances();
    void show(const std::string& path);
    void linkClicked(const QUrl& url);
    void navigate();
    void answerMessageBoxes();

    Plugin m_plugin;
    bool m_quitWhenDone;
    NPPluginFuncs m_funcs{};
    NPNetscapeFuncs m_browser{};
    bool m_initialized = false;
    bool m_allZero = true;

    QWidget m_window;
    QWidget* m_embedArea = nullptr;
    QHBoxLayout* m_embedLayout = nullptr;
    QLabel* m_status = nullptr;
    QTextBrowser* m_view = nullptr;
    QTimer m_answerer;

    std::string m_folder; // of the page open now
    std::vector<std::unique_ptr<Instance>> m_instances;
    int m_busy = 0; // inside calls of the plug-in: no page may change now
    std::optional<std::string> m_pending; // a page asked for, opened once the calls are over
};

Host* g_host = nullptr;

NPError hostGetUrl(NPP instance, const char* url, const char* target) {
    if (!g_host || !url)
        return NPERR_GENERIC_ERROR;
    return g_host->getUrl(instance, url, target);
}

Host::Host(Plugin plugin, bool quitWhenDone) : m_plugin(std::move(plugin)), m_quitWhenDone(quitWhenDone) {
    g_host = this;
    auto* layout = new QVBoxLayout(&m_window);
    m_embedArea = new QWidget(&m_window);
    m_embedLayout = new QHBoxLayout(m_embedArea);
    m_embedLayout->setContentsMargins(0, 0, 0, 0);
    m_embedLayout->addStretch();
    m_status = new QLabel(&m_window);
    m_status->setWordWrap(true);
    m_view = new QTextBrowser(&m_window);
    m_view->setOpenLinks(false);
    layout->addWidget(m_embedArea);
    layout->addWidget(m_status);
    layout->addWidget(m_view, 1);
    m_window.resize(800, 600);
    connect(m_view, &QTextBrowser::anchorClicked, this, &Host::linkClicked);
    if (m_quitWhenDone) {
        connect(&m_answerer, &QTimer::timeout, this, &Host::answerMessageBoxes);
        m_answerer.start(20);
    }
}

Host::~Host() {
    g_host = nullptr;
}

void Host::called(const char* function, NPError result) {
    if (result == NPERR_NO_ERROR)
        return;
    m_allZero = false;
    std::fprintf(stderr, "npkova-host: %s returned %d\n", function, int(result));
}

bool Host::load() {
    m_funcs.size = sizeof m_funcs;
    NPError r = m_plugin.getEntryPoints(&m_funcs);
    called("NP_GetEntryPoints", r);
    if (r != NPERR_NO_ERROR)
        return false;
    if (!m_funcs.newp || !m_funcs.destroy || !m_funcs.setwindow) {
        std::fputs("npkova-host: the plug-in's table lacks new, destroy or set window\n", stderr);
        m_allZero = false;
        return false;
    }
    m_browser.size = sizeof m_browser;
    m_browser.version = 19; // 0.19
    m_browser.geturl = &hostGetUrl;
    r = m_plugin.initialize(&m_browser);
    called("NP_Initialize", r);
    m_initialized = r == NPERR_NO_ERROR;
    return m_initialized;
}

void Host::openPage(const std::string& path) {
    destroyInstances();
    m_folder = QFileInfo(qs(path)).absolutePath().toStdString();
    m_window.setWindowTitle(QStringLiteral("npkova-host - ") + QFileInfo(qs(path)).fileName());
    const auto text = readPage(path);
    if (!text) {
        m_status->setText(QStringLiteral("Cannot read ") + qs(path));
        return;
    }
    if (!findTags(*text, "frameset").empty())
        return show(path);
    m_view->setSource(QUrl::fromLocalFile(qs(path)));
    m_status->clear();

    ++m_busy;
    for (const HtmlTag& embed : findTags(*text, "embed")) {
        const auto type = embed.attribute("type");
        bool handled = false;
        for (const auto& t : m_plugin.types)
            handled = handled || (type && equalsIgnoringCase(*type, t));
        if (!handled)
            continue;
        auto in = std::make_unique<Instance>();
        in->type = *type;
        for (const auto& [name, value] : embed.attributes)
            in->names.push_back(name), in->values.push_back(value);
        for (std::size_t i = 0; i < in->names.size(); ++i)
            in->argn.push_back(in->names[i].data()), in->argv.push_back(in->values[i].data());
        const std::uint32_t width = pixels(embed.attribute("width"), 240);
        const std::uint32_t height = pixels(embed.attribute("height"), 60);
        in->widget = new QWidget(m_embedArea);
        in->widget->setFixedSize(int(width), int(height));
        m_embedLayout->insertWidget(m_embedLayout->count() - 1, in->widget);
        in->widget->show();
        Instance& instance = *in;
        m_instances.push_back(std::move(in));

        const NPError created = m_funcs.newp(instance.type.data(), &instance.npp, NP_EMBED,
                                             std::int16_t(instance.argn.size()), instance.argn.data(),
                                             instance.argv.data(), nullptr);
        called("NPP_New", created);
        instance.created = created == NPERR_NO_ERROR;
        if (!instance.created)
            continue;
        NPWindow window{};
        window.window = instance.widget;
        window.width = width;
        window.height = height;
        window.clipRect = {0, 0, std::uint16_t(height), std::uint16_t(width)};
        called("NPP_SetWindow", m_funcs.setwindow(&instance.npp, &window));
    }
    --m_busy;
    if (m_pending && !m_quitWhenDone)
        QTimer::singleShot(0, this, &Host::navigate);
}

void Host::destroyInstances() {
    ++m_busy;
    for (auto& in : m_instances) {
        if (in->created)
            called("NPP_Destroy", m_funcs.destroy(&in->npp, nullptr));
        delete in->widget;
    }
    m_instances.clear();
    --m_busy;
}

void Host::finish() {
    destroyInstances();
    if (m_initialized)
        called("NP_Shutdown", m_plugin.shutdown());
    m_initialized = false;
}

NPError Host::getUrl(NPP, const char* url, const char* target) {
    const std::string where = target ? target : "";
    const auto path = resolveLocal(m_folder, url);
    std::printf("npkova-host: %s -> %s\n", where.c_str(), path ? path->c_str() : url);
    std::fflush(stdout);
    if (!path) {
        m_status->setText(QStringLiteral("Not opened here: ") + QString::fromUtf8(url));
        return NPERR_NO_ERROR;
    }
    // A browser loads the page after the call has returned; so does this one,
    // once every call into the plug-in is over.
    m_pending = *path;
    if (!m_quitWhenDone && m_busy == 0)
        QTimer::singleShot(0, this, &Host::navigate);
    return NPERR_NO_ERROR;
}

void Host::navigate() {
    if (!m_pending || m_busy > 0)
        return;
    const std::string path = *m_pending;
    m_pending.reset();
    openPage(path);
}

// A frame page: the navigator frame is shown, and every frame is named.
void Host::show(const std::string& path) {
    const auto text = readPage(path);
    QString frames = QFileInfo(qs(path)).fileName() + QStringLiteral(":");
    std::optional<std::string> navigator;
    for (const HtmlTag& frame : findTags(text ? *text : std::string(), "frame")) {
        const std::string name = frame.attribute("name").value_or("");
        const std::string src = frame.attribute("src").value_or("");
        frames += QStringLiteral(" frame \"%1\" shows %2;").arg(qs(name), qs(src));
        if (!navigator && equalsIgnoringCase(name, "navigator"))
            navigator = resolveLocal(m_folder, src);
    }
    m_status->setText(frames);
    if (navigator)
        m_view->setSource(QUrl::fromLocalFile(qs(*navigator)));
    else
        m_view->setPlainText(frames);
}

void Host::linkClicked(const QUrl& url) {
    if (m_busy > 0)
        return;
    // The view hands a relative link over resolved against the page it shows.
    const QString current = m_view->source().toLocalFile();
    const std::string folder = current.isEmpty() ? m_folder : QFileInfo(current).absolutePath().toStdString();
    if (const auto path = pageOfFolder(folder, url)) {
        m_folder = folder;
        m_pending = *path;
        navigate();
        return;
    }
    // The print servers' own pages are served by the boxes: a web browser shows them.
    m_status->setText(url.toString() + QStringLiteral(" is not a page of this folder; a web browser shows it"));
}

void Host::answerMessageBoxes() {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box)
        return;
    std::printf("npkova-host: message: %s: %s\n", box->windowTitle().toUtf8().constData(),
                box->text().toUtf8().constData());
    std::fflush(stdout);
    QAbstractButton* button = box->defaultButton();
    if (!button && !box->buttons().isEmpty())
        button = box->buttons().first();
    if (button)
        button->click();
    else
        box->reject();
}

} // namespace

int main(int argc, char** argv) {
    bool quitWhenDone = false, platformOption = false;
    std::string library, page;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(Usage, stdout);
            return 0;
        }
        if (arg == "--version") {
            std::puts("npkova-host " VNK_VERSION);
            return 0;
        }
        if (arg == "--quit-when-done") {
            quitWhenDone = true;
        } else if (arg == "--library" && i + 1 < argc) {
            library = argv[++i];
        } else if ((arg == "-platform" || arg == "--platform") && i + 1 < argc) {
            platformOption = true; // Qt's own option, left for QApplication
            ++i;
        } else if (!arg.empty() && arg[0] != '-' && page.empty()) {
            page = arg;
        } else {
            std::fprintf(stderr, "npkova-host: unexpected argument \"%s\"\n%s", argv[i], Usage);
            return 2;
        }
    }
    if (page.empty()) {
        std::fprintf(stderr, "npkova-host: which page?\n%s", Usage);
        return 2;
    }
    if (!platformOption && !vnk::sheet::displayConfigured()) {
        std::fputs("npkova-host: no display to open a window on (DISPLAY and WAYLAND_DISPLAY are not set);\n"
                   "npkova-host: QT_QPA_PLATFORM=offscreen runs it without one (see npkova-host --help)\n",
                   stderr);
        return 2;
    }
    if (!readPage(page)) {
        std::fprintf(stderr, "npkova-host: cannot read %s (or it is larger than %zu bytes)\n", page.c_str(),
                     MaxPageBytes);
        return 2;
    }
    QApplication app(argc, argv);
    auto plugin = loadPlugin(library);
    if (!plugin)
        return 2;

    Host host(std::move(*plugin), quitWhenDone);
    host.window().show();
    QApplication::processEvents();
    if (host.load()) {
        host.openPage(page);
        if (!quitWhenDone)
            QApplication::exec();
    }
    host.finish();
    return host.allReturnedZero() ? 0 : 1;
}
