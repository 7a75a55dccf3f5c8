// A property sheet: pages on tabs, OK, Cancel, Apply and Help, as the utilities
// know it from their original platform, plus the About command. Linux window
// managers give a program no system menu to extend, so "&About" (and the
// "Minimize" entry that came with it) sit in the sheet's context menu (right
// click on the tabs or the sheet's frame) and About also as a button left of OK.
//
// Page changes go through the pages: the page being left may refuse
// (onKillActive), and only then does the new page become current and get its
// onSetActive. That holds for a click on a tab, for the keyboard (Ctrl+Tab) and
// for setActivePage().
#pragma once

#include "sheet/page_texts.h"
#include "sheet/property_page.h"
#include "sheet/ui_services.h"

#include <QDialog>
#include <QMap>

#include <memory>

class QDialogButtonBox;
class QPushButton;
class QTabWidget;

namespace vnk::protocol {
class CPServerContext;
}

namespace vnk::sheet {

class AboutBox;

// Pages other pages need to reach, whatever their tab position in a utility.
enum class PageRole { General, Upgrade };

class PropertySheet : public QDialog {
    Q_OBJECT
public:
    PropertySheet(const QString& caption, protocol::CPServerContext& context, UiServices& ui,
                  PageParameters parameters, QWidget* parent = nullptr);
    ~PropertySheet() override;

    protocol::CPServerContext& context() const { return *m_context; }
    UiServices& ui() const { return m_ui; }
    const PageParameters& parameters() const { return m_parameters; }

    // Adds a page as the next tab; the sheet owns it.
    int addPage(PropertyPage* page, const QString& caption);
    int pageCount() const;
    PropertyPage* page(int index) const;
    int pageIndex(const PropertyPage* page) const;
    PropertyPage* activePage() const;
    int activeIndex() const;

    // Makes a page current; false when the current page refused to be left.
    bool setActivePage(int index);
    bool setActivePage(PropertyPage* page);
    bool setActivePage(PageRole role);
    void setRole(PageRole role, PropertyPage* page) { m_roles.insert(role, page); }
    PropertyPage* pageFor(PageRole role) const { return m_roles.value(role, nullptr); }

    void setTabCaption(int index, const QString& caption);
    QString tabCaption(int index) const;
    // The window caption (pages set it when they become active).
    void setCaption(const QString& caption) { setWindowTitle(caption); }

    // The two lines of the About box under its first line (title + suffix).
    void setAboutLines(const QString& copyright, const QString& version);
    // Opens the About box, modal.
    void openAbout();
    // The About box as openAbout shows it (for rendering it off screen).
    std::unique_ptr<AboutBox> makeAboutBox();

    QTabWidget* tabWidget() const { return m_tabs; }
    QPushButton* button(const QString& objectName) const;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void onCurrentChanged(int index);
    bool leaveCurrentPage();
    void enterPage(int index);
    void returnTo(int index);

    protocol::CPServerContext* m_context;
    UiServices& m_ui;
    PageParameters m_parameters;
    QTabWidget* m_tabs;
    QDialogButtonBox* m_buttons;
    QMap<PageRole, PropertyPage*> m_roles;
    QString m_copyright;
    QString m_version;
    bool m_started = false;   // the first page has been activated
    int m_current = -1;       // the page that passed its activation
    int m_approved = -1;      // a change whose leave was already asked for
    bool m_returning = false; // putting the tab back after a refusal
};

} // namespace vnk::sheet
