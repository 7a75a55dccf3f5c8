#include "ipconfig/brevan_program.h"

#include "sheet/page_texts.h"
#include "protocol/udp_context.h"

#include <QCoreApplication>
#include <QEventLoop>

namespace vnk::ipconfig {

void keepPaintingWhileBlocked(protocol::CPServerContext& context) {
    context.setIdleHook([] { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents); });
}

BrevanProgram::BrevanProgram(const std::string& programDirectory, const platform::Endpoint& endpoint,
                             const platform::Timing& timing, sheet::UiServices& ui,
                             const ContextFactory& makeContext) {
    const std::string settingsPath = sheet::settingsPathFor(programDirectory);
    m_strings = sheet::readAppStrings(settingsPath);
    const QString title = QString::fromStdString(m_strings.title);

    // Socket failures appear on the spot, captioned with the title.
    m_reporter = std::make_unique<sheet::UiErrorReporter>(ui, title);
    m_context = makeContext ? makeContext(endpoint, timing, *m_reporter)
                            : std::make_unique<protocol::UdpServerContext>(endpoint, timing, *m_reporter);
    m_context->programDirectory = programDirectory;
    m_context->settingsPath = settingsPath;
    m_context->title = m_strings.title;
    keepPaintingWhileBlocked(*m_context);

    const sheet::PageParameters parameters = sheet::brevanParameters();
    m_sheet = std::make_unique<CPellamDlg>(title + parameters.texts.configurationSuffix, *m_context, ui,
                                           parameters);
    m_sheet->setAboutLines(QString::fromStdString(m_strings.copyright),
                           QString::fromStdString(m_strings.version));
}

BrevanProgram::~BrevanProgram() {
    // The sheet's pages point at the state object: they go first.
    m_sheet.reset();
    m_context.reset();
}

} // namespace vnk::ipconfig
