// brevan: the IP configuration utility. Reads Config.ini beside the program,
// shows the sheet, and ends when the sheet closes (OK, Cancel or the window's
// close button); nothing is written to a box on the way out.
#include "ipconfig/brevan_program.h"
#include "platform/endpoint.h"
#include "platform/program_dir.h"
#include "platform/timing.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

void usage() {
    std::fputs("Usage: brevan [--help | --version] [Qt options]\n"
               "Finds the print server boxes on the LAN and shows the configuration of the one chosen\n"
               "in a property sheet. Settings are read from Config.ini beside the program; nothing\n"
               "is written to a box until Apply or OK.\n\n"
               "  --help, -h      this text\n"
               "  --version       the title and version from Config.ini, then exit\n"
               "  -platform NAME  a Qt platform; offscreen runs without a display\n\n"
               "Environment:\n"
               "  VNK_BROADCAST   broadcast address (default 255.255.255.255; 127.255.255.255 for the\n"
               "                  simulated LAN)\n"
               "  VNK_PORT        command port (default 13364)\n"
               "  VNK_FW_PORT     firmware data port (default 13393)\n"
               "  DISPLAY, WAYLAND_DISPLAY, QT_QPA_PLATFORM  where the window appears\n",
               stdout);
}

bool set(const char* name) {
    const char* v = std::getenv(name);
    return v && *v;
}

} // namespace

int main(int argc, char** argv) {
    using namespace vnk;
    // These need no window: they are answered before Qt looks for a display.
    bool platformOption = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            usage();
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            const auto strings = sheet::readAppStrings(sheet::settingsPathFor(platform::programDirectory()));
            std::printf("brevan: %s %s\n", strings.title.c_str(), strings.version.c_str());
            return 0;
        }
        platformOption = platformOption || std::strcmp(argv[i], "-platform") == 0 ||
                         std::strcmp(argv[i], "--platform") == 0;
    }
    if (!platformOption && !set("DISPLAY") && !set("WAYLAND_DISPLAY") && !set("QT_QPA_PLATFORM")) {
        std::fputs("brevan: no display to open a window on (DISPLAY and WAYLAND_DISPLAY are not set);\n"
                   "brevan: QT_QPA_PLATFORM=offscreen runs it without one (see brevan --help)\n",
                   stderr);
        return 2;
    }
    QApplication app(argc, argv);
    sheet::QtUiServices ui;

    // POSIX sockets need no start-up call, so there is no "sockets could not be
    // started" case here. A broken VNK_* setting, though, would fall back to the
    // real broadcast address: refuse to start instead.
    std::string error;
    const platform::Endpoint endpoint = platform::Endpoint::fromEnvironment(&error);
    if (!error.empty()) {
        std::fprintf(stderr, "brevan: %s\n", error.c_str());
        ui.appMessage(QString::fromStdString(error));
        return 2;
    }

    ipconfig::BrevanProgram program(platform::programDirectory(), endpoint, platform::Timing::real(), ui);
    ui.setParentWindow(&program.sheet());
    program.sheet().exec();
    return 0;
}
