// libbot's four entry points. A setup program loads the library and calls one of
// them by name with the monitor name as its third argument: the monitor is
// registered with the spooler, then the wizard runs (Callme, NTCallme) or the
// monitor adds a port at once (ClientCallme, NTClientCallme). Every entry point
// returns 0, whatever happened.
#include "platform/endpoint.h"
#include "platform/hostinfo.h"
#include "platform/ipx.h"
#include "platform/registry.h"
#include "platform/spooler.h"
#include "platform/timing.h"
#include "sheet/ui_services.h"
#include "sheet/utility_main.h"
#include "wizard/cmy_property_sheet.h"
#include "wizard/core/netbios_link.h"

#include <QApplication>

#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

namespace vnk::wizard {
namespace {

// Sockets are started when the library is loaded. POSIX sockets need no start,
// but a process that may not make one (a sandbox, no descriptors left) cannot
// use the wizard: the library then says so and its entry points do nothing.
bool socketsStarted() {
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    if (fd < 0) {
        std::fputs("Windows sockets initialization failed.\n", stderr);
        return false;
    }
    ::close(fd);
    return true;
}
const bool g_socketsStarted = socketsStarted();

// The message boxes of the NetBIOS start-up go to the wizard that runs.
sheet::UiServices* g_ui = nullptr;

// The wizard's links live as long as the library, as its table does.
struct LibraryNetwork {
    std::unique_ptr<DeviceLink> udp, ipx;
    std::unique_ptr<NetbiosLink> netbios;
    WizardNetwork net;
};

// Nothing when a VNK_* setting is broken (it would fall back to the real
// broadcast address): error then says which.
LibraryNetwork* network(std::string& error) {
    static std::unique_ptr<LibraryNetwork> made;
    if (made)
        return made.get();
    const platform::Endpoint endpoint = platform::Endpoint::fromEnvironment(&error);
    if (!error.empty())
        return nullptr;
    std::string ipxError;
    const auto segment = platform::ipxSegmentFromEnvironment(&ipxError);
    if (!ipxError.empty()) {
        error = ipxError;
        return nullptr;
    }
    auto n = std::make_unique<LibraryNetwork>();
    const platform::Timing timing = platform::Timing::real();
    n->net.installed = installedProtocols(endpoint);
    n->udp = makeUdpLink(endpoint, timing);
    n->net.udp = n->udp.get();
    if (segment) {
        n->ipx = makeIpxLink(*segment, timing);
        n->net.ipx = n->ipx.get();
    }
    if (endpoint.netbiosPort) {
        std::string netbiosError;
        n->netbios = makeNetbiosLinkFromEnvironment(
            timing,
            [](const std::string& text) {
                if (g_ui)
                    g_ui->message(QStringLiteral("bot"), QString::fromStdString(text),
                                  sheet::UiServices::Icon::Information, sheet::UiServices::Ok);
            },
            &netbiosError);
        if (!netbiosError.empty()) {
            error = netbiosError;
            return nullptr;
        }
        n->net.netbios = n->netbios.get();
    }
    made = std::move(n);
    return made.get();
}

void registerMonitor(const char* name, const char* environment, const char* library) {
    platform::Spooler spooler;
    // A monitor that is registered already is refused; the wizard goes on.
    (void)spooler.addMonitor({name ? name : "", environment, library});
}

void addPortOnly(const char* monitor) {
    platform::Spooler spooler;
    const bool ok = spooler.addPort(monitor ? monitor : "");
    for (const std::string& line : spooler.lastReport())
        std::fprintf(stderr, "bot: %s\n", line.c_str());
    if (!ok && spooler.lastReport().empty())
        std::fprintf(stderr, "bot: %s\n", spooler.lastError().c_str());
}

void runWizard(const char* monitor) {
    std::string error;
    LibraryNetwork* n = network(error);
    if (!n) {
        std::fprintf(stderr, "bot: %s\n", error.c_str());
        return;
    }
    // The library makes the application object when its host has none.
    std::unique_ptr<QApplication> ownApp;
    if (!QApplication::instance()) {
        if (!sheet::displayConfigured()) {
            std::fputs("bot: no display to open the wizard on (DISPLAY and WAYLAND_DISPLAY are not set)\n", stderr);
            return;
        }
        static int argc = 1;
        static char name[] = "bot";
        static char* argv[] = {name, nullptr};
        ownApp = std::make_unique<QApplication>(argc, argv);
        sheet::installQtTexts(QStringLiteral("zh_TW"));
    }
    const platform::SystemHostInfo host;
    sheet::QtUiServices ui;
    WizardContext ctx{serverTable(), n->net, ui, host, platform::stateDirectory()};
    {
        CMyPropertySheet sheet(ctx, monitor ? monitor : "");
        ui.setParentWindow(&sheet);
        g_ui = &ui;
        sheet.exec();
        g_ui = nullptr;
    }
}

void wizardExport(const char* monitor, const char* environment, const char* library) {
    if (!g_socketsStarted)
        return;
    registerMonitor(monitor, environment, library);
    runWizard(monitor);
}

void clientExport(const char* monitor, const char* environment, const char* library) {
    if (!g_socketsStarted)
        return;
    registerMonitor(monitor, environment, library);
    addPortOnly(monitor);
}

} // namespace
} // namespace vnk::wizard

// Only these four names leave the library (see bot.map).
extern "C" {

int Callme(std::uint32_t, std::uint32_t, const char* monitor) {
    vnk::wizard::wizardExport(monitor, "Windows 4.0", "KESTRAL.DLL");
    return 0;
}

int NTCallme(std::uint32_t, std::uint32_t, const char* monitor) {
    vnk::wizard::wizardExport(monitor, "Windows NT x86", "BRANWICK.DLL");
    return 0;
}

int ClientCallme(std::uint32_t, std::uint32_t, const char* monitor) {
    vnk::wizard::clientExport(monitor, ".", "KESTRAL.DLL");
    return 0;
}

int NTClientCallme(std::uint32_t, std::uint32_t, const char* monitor) {
    vnk::wizard::clientExport(monitor, "Windows NT x86", "BRANWICK.DLL");
    return 0;
}

} // extern "C"
