#include "ipconfig/ui_error_reporter.h"

namespace vnk::ipconfig {

void UiErrorReporter::report(const std::string& text) {
    m_ui.message(m_caption, QString::fromStdString(text), UiServices::Icon::NoIcon, UiServices::Ok);
}

} // namespace vnk::ipconfig
