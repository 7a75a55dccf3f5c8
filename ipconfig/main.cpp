// brevan: the IP configuration utility. Reads Config.ini beside the program,
// shows the sheet, and ends when the sheet closes (OK, Cancel or the window's
// close button); nothing is written to a box on the way out.
#include "ipconfig/brevan_program.h"
#include "platform/program_dir.h"
#include "sheet/utility_main.h"

int main(int argc, char** argv) {
    using namespace vnk;
    sheet::UtilityMain brevan;
    brevan.name = "brevan";
    brevan.usage =
        "Usage: brevan [--help | --version] [Qt options]\n"
        "Finds the print server boxes on the LAN and shows the configuration of the one chosen\n"
        "in a property sheet. Settings are read from Config.ini beside the program; nothing\n"
        "is written to a box until a page's Write button is pressed.\n\n"
        "  --help, -h      this text\n"
        "  --version       the suite's version, then the title and version from Config.ini\n"
        "  -platform NAME  a Qt platform; offscreen runs without a display\n\n"
        "Environment:\n"
        "  VNK_BROADCAST   broadcast address (default 255.255.255.255; 127.255.255.255 for the\n"
        "                  simulated LAN)\n"
        "  VNK_PORT        command port (default 13364)\n"
        "  VNK_FW_PORT     firmware data port (default 13393)\n"
        "  DISPLAY, WAYLAND_DISPLAY, QT_QPA_PLATFORM  where the window appears\n";
    brevan.codePage = sheet::brevanParameters().codePage;
    brevan.makeProgram = [](const platform::Endpoint& endpoint, sheet::QtUiServices& ui, std::string&) {
        return std::make_unique<ipconfig::BrevanProgram>(platform::programDirectory(), endpoint,
                                                         platform::Timing::real(), ui);
    };
    return sheet::runUtility(argc, argv, brevan);
}
