// The base of every page of the sheet. A page gets, at construction, the state
// object of the utility (whose operations are the transport), the UiServices it
// talks to the user through and the page parameters (texts, firmware gate); the
// sheet sets itself as the page's sheet when it adds the page.
//
// A page builds its controls under header() into body(), and overrides:
//   onInitDialog()  once, just before the page is shown for the first time;
//   onSetActive()   each time the page becomes the current tab (fill controls);
//   onKillActive()  when the user leaves it; false keeps the page current.
// Messages go through appMessage() (program name, OK, exclamation icon) or
// ui().message(); long operations hold a WaitCursor(ui()).
#pragma once

#include "sheet/page_header.h"
#include "sheet/page_texts.h"
#include "sheet/ui_services.h"

#include <string>

#include <QLineEdit>
#include <QVBoxLayout>
#include <QWidget>

namespace vnk::protocol {
class CPServerContext;
}

namespace vnk::sheet {

class PropertySheet;

class PropertyPage : public QWidget {
    Q_OBJECT
public:
    PropertyPage(protocol::CPServerContext& context, UiServices& ui, const PageParameters& parameters,
                 QWidget* parent = nullptr);

    // The default sets the header title to the title.
    virtual void onInitDialog();
    virtual bool onSetActive() { return true; }
    virtual bool onKillActive() { return true; }

    protocol::CPServerContext* context() const { return m_context; }
    PropertySheet* sheet() const { return m_sheet; }
    UiServices& ui() const { return m_ui; }
    const PageParameters& parameters() const { return m_parameters; }
    const PageTexts& texts() const { return m_parameters.texts; }
    // The title of Config.ini, as the state object holds it.
    QString title() const;
    // The program directory (where "logo.bmp" is looked for).
    QString programDirectory() const;

    // A text of the box (name, contact, account) as it is shown, and the bytes
    // to store for what an edit shows: the bytes it was filled from when the
    // text was left alone, else the text in the box's code page.
    QString boxText(const std::string& bytes) const;
    std::string boxBytes(const QString& shown, const std::string& original) const;
    // Fills an edit with a text of the box, whole even when it fills its field
    // without a terminator: the edit takes at least `limit` characters.
    void showBoxText(QLineEdit* edit, const std::string& bytes, int limit) const;

    // An edit that only shows a value: read only, with the window's background
    // as the style shows a field that cannot be typed into.
    static void makeReadOnly(QLineEdit* edit);

    UiServices::Button appMessage(const QString& text, UiServices::Buttons buttons = UiServices::Ok,
                                  UiServices::Icon icon = UiServices::Icon::Warning);

    PageHeader* header() const { return m_header; }
    bool initialised() const { return m_initialised; }

protected:
    // Where the page puts its controls, under the header.
    QVBoxLayout* body() const { return m_body; }
    // The header's part of the page's data exchange: title text and the logo rule.
    void exchangeHeader();

private:
    friend class PropertySheet;
    void attach(PropertySheet* sheet) { m_sheet = sheet; }
    void initialiseOnce();

    protocol::CPServerContext* m_context;
    UiServices& m_ui;
    const PageParameters& m_parameters;
    PropertySheet* m_sheet = nullptr;
    PageHeader* m_header;
    QVBoxLayout* m_body;
    bool m_initialised = false;
};

} // namespace vnk::sheet
