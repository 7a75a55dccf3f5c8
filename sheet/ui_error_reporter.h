// Socket failures of the protocol (" 98: XGetPort-bind() Fail") shown on the spot
// in a message box captioned with the title, with an OK button and no icon.
#pragma once

#include "sheet/ui_services.h"
#include "platform/error_reporter.h"

namespace vnk::sheet {

class UiErrorReporter final : public platform::ErrorReporter {
public:
    UiErrorReporter(UiServices& ui, QString caption) : m_ui(ui), m_caption(std::move(caption)) {}
    void report(const std::string& text) override;

private:
    UiServices& m_ui;
    QString m_caption;
};

} // namespace vnk::sheet
