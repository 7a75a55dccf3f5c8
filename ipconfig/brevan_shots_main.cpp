// brevan-shots: renders every page of Brevan's sheet, as a user sees it, to PNG
// files without a display. The sheet runs against the demo LAN of simulated
// boxes, started in this process on free loopback ports; discovery and the
// selection of the first box happen as in the program.
#include "ipconfig/brevan_program.h"
#include "sheet/recording_ui_services.h"
#include "sheet/screenshots.h"
#include "sim/sim_lan.h"

namespace {

// The program that owns the LAN it talks to: the LAN stops after the sheet.
class BrevanOnDemoLan : public vnk::ipconfig::BrevanProgram {
public:
    BrevanOnDemoLan(std::unique_ptr<vnk::sim::SimLan> lan, const std::string& directory, vnk::sheet::UiServices& ui)
        : BrevanProgram(directory, lan->endpoint(), vnk::platform::Timing::fast(), ui), m_lan(std::move(lan)) {}

private:
    std::unique_ptr<vnk::sim::SimLan> m_lan;
};

} // namespace

int main(int argc, char** argv) {
    using namespace vnk;
    sheet::ShotsProgram shots;
    shots.name = "brevan-shots";
    shots.utility = "brevan";
    shots.makeProgram = [](const std::string& directory, sheet::RecordingUiServices& ui,
                           std::string& error) -> std::unique_ptr<sheet::UtilityProgram> {
        auto lan = std::make_unique<sim::SimLan>(); // loopback broadcast, free ports
        for (const sim::BoxSpec& b : sim::demoLan())
            lan->addBox(b);
        if (!lan->start(&error)) {
            error = "cannot start the demo LAN: " + error;
            return nullptr;
        }
        return std::make_unique<BrevanOnDemoLan>(std::move(lan), directory, ui);
    };
    return sheet::runShots(argc, argv, shots);
}
