#include "sheet/utility_program.h"

#include "platform/box_text.h"

#include <QCoreApplication>
#include <QEventLoop>

namespace vnk::sheet {

void keepPaintingWhileBlocked(protocol::CPServerContext& context) {
    context.setIdleHook([] { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents); });
}

UtilityProgram::UtilityProgram(const std::string& programDirectory, UiServices& ui, platform::CodePage codePage,
                               const StateFactory& makeState) {
    const std::string settingsPath = settingsPathFor(programDirectory);
    m_strings = readAppStrings(settingsPath);
    for (std::string* s : {&m_strings.title, &m_strings.copyright, &m_strings.version})
        *s = platform::decodeBoxText(*s, codePage);

    // Socket failures appear on the spot, captioned with the title.
    m_reporter = std::make_unique<UiErrorReporter>(ui, QString::fromStdString(m_strings.title));
    m_context = makeState(*m_reporter);
    m_context->programDirectory = programDirectory;
    m_context->settingsPath = settingsPath;
    m_context->title = m_strings.title;
    keepPaintingWhileBlocked(*m_context);
}

void UtilityProgram::setSheet(std::unique_ptr<PropertySheet> sheet) {
    m_sheet = std::move(sheet);
    m_sheet->setAboutLines(QString::fromStdString(m_strings.copyright), QString::fromStdString(m_strings.version));
}

UtilityProgram::~UtilityProgram() {
    // The sheet's pages point at the state object: they go first.
    m_sheet.reset();
    m_context.reset();
}

} // namespace vnk::sheet
