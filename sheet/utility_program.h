// The start-up both configuration utilities share: the settings file beside the
// program, the branding strings, the socket error reporter, the state object with
// its title, program directory and settings path, and then the utility's own
// sheet. A utility derives from this and builds its sheet in its constructor.
#pragma once

#include "platform/error_reporter.h"
#include "protocol/pserver_context.h"
#include "sheet/page_texts.h"
#include "sheet/property_sheet.h"
#include "sheet/rules/app_strings.h"
#include "sheet/ui_error_reporter.h"
#include "sheet/ui_services.h"

#include <functional>
#include <memory>
#include <string>

namespace vnk::sheet {

// Lets the protocol's waits repaint the window without taking user input: clicks
// and keys wait in the queue until the operation has finished.
void keepPaintingWhileBlocked(protocol::CPServerContext& context);

class UtilityProgram {
public:
    // Makes the state object (its operations are the utility's transport); socket
    // failures go to the reporter it is given.
    using StateFactory = std::function<std::unique_ptr<protocol::CPServerContext>(platform::ErrorReporter&)>;

    virtual ~UtilityProgram();
    UtilityProgram(const UtilityProgram&) = delete;
    UtilityProgram& operator=(const UtilityProgram&) = delete;

    const AppStrings& strings() const { return m_strings; }
    protocol::CPServerContext& context() { return *m_context; }
    // The title of Config.ini as the pages show it.
    QString title() const { return QString::fromStdString(m_context->title); }
    PropertySheet& propertySheet() { return *m_sheet; }

protected:
    // programDirectory: where Config.ini and logo.bmp are looked for. The title is
    // read in the code page of the utility's texts when it is not UTF-8.
    UtilityProgram(const std::string& programDirectory, UiServices& ui, platform::CodePage codePage,
                   const StateFactory& makeState);
    // The utility's sheet, made after the state object; it gets the About lines.
    void setSheet(std::unique_ptr<PropertySheet> sheet);

private:
    AppStrings m_strings;
    std::unique_ptr<UiErrorReporter> m_reporter;
    std::unique_ptr<protocol::CPServerContext> m_context;
    std::unique_ptr<PropertySheet> m_sheet;
};

} // namespace vnk::sheet
