#include "ipconfig/brevan_program.h"

#include "transport/udp/udp_context.h"
#include "sheet/page_texts.h"

namespace vnk::ipconfig {

BrevanProgram::BrevanProgram(const std::string& programDirectory, const platform::Endpoint& endpoint,
                             const platform::Timing& timing, sheet::UiServices& ui,
                             const ContextFactory& makeContext)
    : UtilityProgram(programDirectory, ui, sheet::brevanParameters().codePage,
                     [&](platform::ErrorReporter& reporter) -> std::unique_ptr<protocol::CPServerContext> {
                         if (makeContext)
                             return makeContext(endpoint, timing, reporter);
                         return std::make_unique<protocol::UdpServerContext>(endpoint, timing, reporter);
                     }) {
    sheet::PageParameters parameters = sheet::brevanParameters();
    const QString caption = title() + parameters.texts.configurationSuffix;
    setSheet(std::make_unique<CPellamDlg>(caption, context(), ui, std::move(parameters)));
}

} // namespace vnk::ipconfig
