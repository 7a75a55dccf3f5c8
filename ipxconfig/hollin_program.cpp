#include "ipxconfig/hollin_program.h"

#include "ipxconfig/hollin_texts.h"

namespace vnk::ipxconfig {

QString ipxSetupRefusal(const std::optional<platform::SettingProblem>& problem) {
    return problem ? hollinTexts().settings.text(*problem) : hollinTexts().ipxNotSetUp;
}

HollinProgram::HollinProgram(const std::string& programDirectory, const platform::Endpoint& endpoint,
                             const platform::IpxSegment& segment, const platform::Timing& timing,
                             sheet::UiServices& ui, const ContextFactory& makeContext)
    : UtilityProgram(programDirectory, ui, hollinParameters().codePage,
                     [&](platform::ErrorReporter& reporter) -> std::unique_ptr<protocol::CPServerContext> {
                         if (makeContext)
                             return makeContext(endpoint, segment, timing, reporter);
                         return std::make_unique<ipx::IpxServerContext>(endpoint, segment, timing, reporter);
                     }) {
    sheet::PageParameters parameters = hollinParameters();
    const QString caption = title() + parameters.texts.configurationSuffix;
    setSheet(std::make_unique<CPellamDlg>(caption, context(), ipxContext().nameLists(), ui, std::move(parameters)));
}

} // namespace vnk::ipxconfig
