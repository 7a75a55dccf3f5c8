#include "ipxconfig/hollin_program.h"

#include "ipxconfig/hollin_texts.h"
#include "platform/hostinfo.h"

namespace vnk::ipxconfig {

QString ipxSetupRefusal(const std::string& why) {
    const HollinTexts& h = hollinTexts();
    const QString port = qEnvironmentVariable("VNK_IPX_PORT");
    if (port.isEmpty())
        return h.ipxNotSetUp;
    if (!platform::parsePort(port.toStdString()))
        return h.notAPortNumber.arg(QStringLiteral("VNK_IPX_PORT"), port);
    const QString broadcast = qEnvironmentVariable("VNK_BROADCAST");
    if (!broadcast.isEmpty() && !platform::parseIPv4(broadcast.toStdString()))
        return h.notAnAddress.arg(QStringLiteral("VNK_BROADCAST"), broadcast);
    if (!platform::localMacFromEnvironment("VNK_IPX_NODE", "node number"))
        return h.notANodeNumber.arg(QStringLiteral("VNK_IPX_NODE"), qEnvironmentVariable("VNK_IPX_NODE"));
    return QString::fromStdString(why);
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
