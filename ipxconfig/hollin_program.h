// The IPX utility's start-up: the shared start-up of the utilities, with a state
// object whose operations go over the IPX segment, and the sheet of fourteen
// pages. main() shows the sheet modally; the page tests and the screenshot tool
// build the same objects.
#pragma once

#include "ipxconfig/hollin_sheet.h"
#include "transport/ipx/ipx_context.h"
#include "platform/endpoint.h"
#include "platform/ipx.h"
#include "platform/timing.h"
#include "sheet/utility_program.h"

namespace vnk::ipxconfig {

// Why the IPX segment of this PC cannot be used, in the utility's words: the
// setting at fault, or without one, no VNK_IPX_PORT.
QString ipxSetupRefusal(const std::optional<platform::SettingProblem>& problem);

class HollinProgram : public sheet::UtilityProgram {
public:
    using ContextFactory = std::function<std::unique_ptr<ipx::IpxServerContext>(
        const platform::Endpoint&, const platform::IpxSegment&, const platform::Timing&, platform::ErrorReporter&)>;

    // programDirectory: where Config.ini and logo.bmp are looked for. makeContext
    // chooses the state object (tests pass one that watches the operations).
    HollinProgram(const std::string& programDirectory, const platform::Endpoint& endpoint,
                  const platform::IpxSegment& segment, const platform::Timing& timing, sheet::UiServices& ui,
                  const ContextFactory& makeContext = {});

    CPellamDlg& sheet() { return static_cast<CPellamDlg&>(propertySheet()); }
    ipx::IpxServerContext& ipxContext() { return static_cast<ipx::IpxServerContext&>(context()); }
};

} // namespace vnk::ipxconfig
