// Brevan's start-up: the settings file beside the program, the branding strings,
// the state object with its title, program directory and settings path, the
// socket error reporter, and the sheet with its ten pages. main() shows the
// sheet modally; the page tests and the screenshot tool build the same objects.
#pragma once

#include "sheet/rules/app_strings.h"
#include "ipconfig/cpellam_dlg.h"
#include "sheet/ui_error_reporter.h"
#include "sheet/ui_services.h"
#include "platform/endpoint.h"
#include "platform/timing.h"
#include "protocol/pserver_context.h"

#include <functional>
#include <memory>
#include <string>

namespace vnk::ipconfig {

// Lets the protocol's waits repaint the window without taking user input: clicks
// and keys wait in the queue until the operation has finished.
void keepPaintingWhileBlocked(protocol::CPServerContext& context);

class BrevanProgram {
public:
    using ContextFactory = std::function<std::unique_ptr<protocol::CPServerContext>(
        const platform::Endpoint&, const platform::Timing&, platform::ErrorReporter&)>;

    // programDirectory: where Config.ini and logo.bmp are looked for. makeContext
    // chooses the state object (tests pass one that watches the operations).
    BrevanProgram(const std::string& programDirectory, const platform::Endpoint& endpoint,
                  const platform::Timing& timing, sheet::UiServices& ui, const ContextFactory& makeContext = {});
    ~BrevanProgram();
    BrevanProgram(const BrevanProgram&) = delete;
    BrevanProgram& operator=(const BrevanProgram&) = delete;

    const sheet::AppStrings& strings() const { return m_strings; }
    protocol::CPServerContext& context() { return *m_context; }
    CPellamDlg& sheet() { return *m_sheet; }

private:
    sheet::AppStrings m_strings;
    std::unique_ptr<sheet::UiErrorReporter> m_reporter;
    std::unique_ptr<protocol::CPServerContext> m_context;
    std::unique_ptr<CPellamDlg> m_sheet;
};

} // namespace vnk::ipconfig
