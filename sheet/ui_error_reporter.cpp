#include "sheet/ui_error_reporter.h"

namespace vnk::sheet {

void UiErrorReporter::report(const std::string& text) {
    m_ui.message(m_caption, QString::fromStdString(text), UiServices::Icon::NoIcon, UiServices::Ok);
}

} // namespace vnk::sheet
