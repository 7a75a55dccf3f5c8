// hollin: the IPX configuration utility. Reads Config.ini beside the program,
// shows the sheet, and ends when the sheet closes (OK, Cancel or the window's
// close button); nothing is written to a box on the way out.
#include "ipxconfig/hollin_program.h"
#include "ipxconfig/hollin_texts.h"
#include "platform/program_dir.h"
#include "sheet/utility_main.h"

int main(int argc, char** argv) {
    using namespace vnk;
    sheet::UtilityMain hollin;
    hollin.name = "hollin";
    hollin.usage =
        "Usage: hollin [--help | --version] [Qt options]\n"
        "Finds the print server boxes on the IPX network and shows the configuration of the one\n"
        "chosen in a property sheet, in Traditional Chinese, with the NetWare printing pages.\n"
        "Settings are read from Config.ini beside the program; nothing is written to a box\n"
        "until a page's Write button (寫入) is pressed.\n\n"
        "  --help, -h      this text\n"
        "  --version       the suite's version, then the title and version from Config.ini\n"
        "  -platform NAME  a Qt platform; offscreen runs without a display\n\n"
        "Environment:\n"
        "  VNK_IPX_PORT    the UDP port that carries the IPX segment (213 on a real segment);\n"
        "                  without it this PC has no IPX and hollin does not start\n"
        "  VNK_IPX_NODE    this PC's IPX node (twelve hex digits; default: the interface's MAC)\n"
        "  VNK_BROADCAST   the carrier's broadcast address (default 255.255.255.255;\n"
        "                  127.255.255.255 for the simulated LAN)\n"
        "  DISPLAY, WAYLAND_DISPLAY, QT_QPA_PLATFORM  where the window appears\n";
    hollin.codePage = ipxconfig::hollinParameters().codePage;
    hollin.qtLanguage = QStringLiteral("zh_TW");
    hollin.fontFamily = ipxconfig::hollinFontFamily();
    hollin.settingTexts = ipxconfig::hollinTexts().settings;
    hollin.makeProgram = [](const platform::Endpoint& endpoint, sheet::QtUiServices& ui,
                            std::string& error) -> std::unique_ptr<sheet::UtilityProgram> {
        std::optional<platform::SettingProblem> problem;
        const auto segment = platform::ipxSegmentFromEnvironment(nullptr, &problem);
        if (!segment) {
            error = ipxconfig::ipxSetupRefusal(problem).toStdString();
            return nullptr;
        }
        return std::make_unique<ipxconfig::HollinProgram>(platform::programDirectory(), endpoint, *segment,
                                                          platform::Timing::real(), ui);
    };
    return sheet::runUtility(argc, argv, hollin);
}
