// Brevan's start-up: the shared start-up of the utilities over UDP, with the
// sheet of ten pages. main() shows the sheet modally; the page tests and the
// screenshot tool build the same objects.
#pragma once

#include "ipconfig/cpellam_dlg.h"
#include "platform/endpoint.h"
#include "platform/timing.h"
#include "sheet/utility_program.h"

namespace vnk::ipconfig {

class BrevanProgram : public sheet::UtilityProgram {
public:
    using ContextFactory = std::function<std::unique_ptr<protocol::CPServerContext>(
        const platform::Endpoint&, const platform::Timing&, platform::ErrorReporter&)>;

    // programDirectory: where Config.ini and logo.bmp are looked for. makeContext
    // chooses the state object (tests pass one that watches the operations).
    BrevanProgram(const std::string& programDirectory, const platform::Endpoint& endpoint,
                  const platform::Timing& timing, sheet::UiServices& ui, const ContextFactory& makeContext = {});

    CPellamDlg& sheet() { return static_cast<CPellamDlg&>(propertySheet()); }
};

} // namespace vnk::ipconfig
