// hollin-shots: renders every page of the IPX utility's sheet, as a user sees
// it, to PNG files without a display. The sheet runs over IPX against the demo
// LAN of simulated boxes and its NetWare file server, started in this process
// on free loopback ports; discovery and the selection of the first box happen
// as in the program.
#include "ipxconfig/hollin_program.h"
#include "ipxconfig/hollin_texts.h"
#include "sheet/utility_main.h"
#include "sheet/recording_ui_services.h"
#include "sheet/screenshots.h"
#include "sim/sim_lan.h"

#include <QApplication>
#include <QFont>

namespace {

// The program that owns the LAN it talks to.
class HollinOnDemoLan : public vnk::ipxconfig::HollinProgram {
public:
    HollinOnDemoLan(std::unique_ptr<vnk::sim::SimLan> lan, const vnk::platform::IpxSegment& segment,
                    const std::string& directory, vnk::sheet::UiServices& ui)
        : HollinProgram(directory, lan->endpoint(), segment, vnk::platform::Timing::fast(), ui),
          m_lan(std::move(lan)) {}

private:
    std::unique_ptr<vnk::sim::SimLan> m_lan;
};

} // namespace

int main(int argc, char** argv) {
    using namespace vnk;
    sheet::ShotsProgram shots;
    shots.name = "hollin-shots";
    shots.utility = "hollin";
    shots.makeProgram = [](const std::string& directory, sheet::RecordingUiServices& ui,
                           std::string& error) -> std::unique_ptr<sheet::UtilityProgram> {
        sheet::preferFont(ipxconfig::hollinFontFamily());
        sheet::installQtTexts(QStringLiteral("zh_TW"));
        sim::LanOptions options;
        options.ipxPort = 0; // a free carrier port
        auto lan = std::make_unique<sim::SimLan>(options);
        for (const sim::BoxSpec& b : sim::demoLan())
            lan->addBox(b);
        lan->addFileServer(sim::demoFileServer());
        if (!lan->start(&error)) {
            error = "cannot start the demo LAN: " + error;
            return nullptr;
        }
        platform::IpxSegment segment;
        segment.broadcast = options.broadcast;
        segment.carrierPort = lan->ipxPort();
        segment.localNode = {0x02, 0x00, 0x00, 0x00, 0x00, 0x51};
        return std::make_unique<HollinOnDemoLan>(std::move(lan), segment, directory, ui);
    };
    return sheet::runShots(argc, argv, shots);
}
