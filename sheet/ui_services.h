// The one way pages talk to the user: message boxes, the wait cursor and the
// file-open dialog. The program uses the Qt implementation; tests use a recording
// one that keeps every message and answers questions from a script, so a page
// test never blocks on a modal box.
#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

namespace vnk::sheet {

class UiServices {
public:
    enum class Icon { NoIcon, Information, Warning, Question, Critical };
    enum Button : unsigned { NoButton = 0, Ok = 0x1, Cancel = 0x2, Yes = 0x4, No = 0x8 };
    using Buttons = unsigned;

    UiServices() = default;
    virtual ~UiServices() = default;
    UiServices(const UiServices&) = delete;
    UiServices& operator=(const UiServices&) = delete;

    // A modal message box; returns the button that closed it.
    virtual Button message(const QString& caption, const QString& text, Icon icon, Buttons buttons) = 0;
    // The wait cursor; calls nest. Use WaitCursor rather than calling these directly.
    virtual void beginWait() = 0;
    virtual void endWait() = 0;
    // A file-open dialog; an empty string when the user cancelled.
    virtual QString openFileName(const QString& caption, const QString& directory, const QString& filter) = 0;

    // The application's message box: captioned with the program's name, an OK
    // button and the exclamation icon unless told otherwise.
    Button appMessage(const QString& text, Buttons buttons = Ok, Icon icon = Icon::Warning);
    // The program's name as message captions show it: its file name ("brevan").
    static QString programName();
};

// Shows the wait cursor for the lifetime of the guard.
class WaitCursor {
public:
    explicit WaitCursor(UiServices& ui) : m_ui(ui) { m_ui.beginWait(); }
    ~WaitCursor() { m_ui.endWait(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

private:
    UiServices& m_ui;
};

// Real message boxes, the override cursor and QFileDialog.
class QtUiServices final : public UiServices {
public:
    explicit QtUiServices(QWidget* parentWindow = nullptr) : m_parent(parentWindow) {}
    // The window message boxes and dialogs belong to (the sheet).
    void setParentWindow(QWidget* window) { m_parent = window; }

    Button message(const QString& caption, const QString& text, Icon icon, Buttons buttons) override;
    void beginWait() override;
    void endWait() override;
    QString openFileName(const QString& caption, const QString& directory, const QString& filter) override;

private:
    QWidget* parentWindow() const;

    QPointer<QWidget> m_parent;
    int m_waitDepth = 0;
};

} // namespace vnk::sheet
