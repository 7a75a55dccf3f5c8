// bot-installer: what a setup program does with libbot. It loads the library,
// calls one of its entry points by name with the monitor name as the third
// argument, and exits with what the entry point returned.
#include "platform/program_dir.h"
#include "platform/version.h"

#include <dlfcn.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

const char* const Usage =
    "usage: bot-installer --export NAME --monitor MONITOR [--library PATH]\n"
    "       bot-installer --help | --version\n"
    "\n"
    "Loads the setup wizard library and calls one of its entry points:\n"
    "  Callme, NTCallme              register the print monitor, then run the setup wizard\n"
    "  ClientCallme, NTClientCallme  register the print monitor, then add a port for the\n"
    "                                print server that pserver.bin names\n"
    "MONITOR is the print monitor's name, passed unchanged (quote it when it has spaces).\n"
    "The library is PATH, else libbot.so beside this program, else in the folder\n"
    "plugins/ beside it (where it is installed), else libbot.so on the library search path.\n"
    "\n"
    "Environment: VNK_STATE_DIR (registry, spooler, system directory), VNK_BROADCAST,\n"
    "VNK_PORT, VNK_IPX_PORT, VNK_NETBIOS_PORT (how the wizard reaches print servers),\n"
    "CUPS_SERVER (where the print monitor makes its queues).\n";

using Export = std::int32_t (*)(std::uint32_t, std::uint32_t, const char*);

// The only names called: any other symbol the loader finds in the library or
// its dependencies (strlen, qt_version_tag) has another signature, or is no
// function at all, and calling it would crash.
bool isEntryPoint(const std::string& name) {
    for (const char* e : {"Callme", "NTCallme", "ClientCallme", "NTClientCallme"})
        if (name == e)
            return true;
    return false;
}

} // namespace

int main(int argc, char** argv) {
    std::string exportName, monitor, library;
    bool haveMonitor = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(Usage, stdout);
            return 0;
        }
        if (arg == "--version") {
            std::puts("bot-installer " VNK_VERSION);
            return 0;
        }
        if ((arg == "--export" || arg == "--monitor" || arg == "--library") && i + 1 < argc) {
            const std::string value = argv[++i];
            if (arg == "--export")
                exportName = value;
            else if (arg == "--monitor")
                monitor = value, haveMonitor = true;
            else
                library = value;
            continue;
        }
        std::fprintf(stderr, "bot-installer: unexpected argument \"%s\"\n%s", argv[i], Usage);
        return 2;
    }
    if (exportName.empty() || !haveMonitor) {
        std::fprintf(stderr, "bot-installer: --export and --monitor are needed\n%s", Usage);
        return 2;
    }
    if (!isEntryPoint(exportName)) {
        std::fprintf(stderr,
                     "bot-installer: \"%s\" is not an entry point of the setup wizard (Callme, NTCallme, "
                     "ClientCallme, NTClientCallme)\n",
                     exportName.c_str());
        return 2;
    }

    std::string why;
    void* handle = vnk::platform::loadLibrary(library, "libbot.so", &why);
    if (!handle) {
        std::fprintf(stderr, "bot-installer: cannot load %s\n", why.c_str());
        return 2;
    }
    ::dlerror();
    void* symbol = ::dlsym(handle, exportName.c_str());
    if (!symbol) {
        // The library stays loaded until the process ends, as on success: what
        // it allocated as it loaded is not torn down in the middle of an exit.
        std::fprintf(stderr, "bot-installer: the library has no entry point \"%s\"\n", exportName.c_str());
        return 2;
    }
    Export entry = nullptr;
    static_assert(sizeof entry == sizeof symbol);
    std::memcpy(&entry, &symbol, sizeof entry);
    const std::int32_t result = entry(0, 0, monitor.c_str());
    // The library is left loaded: Qt's objects may still tidy up at exit.
    return int(result);
}
