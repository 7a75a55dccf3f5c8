// The pattern every editing page follows (IP settings, DHCP setup, device
// options, mail printing, SNMP, and the NetWare pages of the IPX utility):
//   activation: refuse with a message and a disabled page when the selected box
//     lacks what the page needs; else fill the controls from the buffers and set
//     the sheet caption;
//   Write: take the values, check the page's rules in order (message and focus
//     at the first failure), store the page's fields into the configuration
//     buffer, write it under the wait cursor ("Cannot Write EEProm");
//   Reset: reset the box and wait until it answers again, then read its record
//     and status anew (one message per failure).
// A page supplies refusal(), fill() and store(); the base does the rest.
#pragma once

#include "sheet/property_page.h"
#include "protocol/records.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace vnk::protocol {
struct ServerEntry;
}

namespace vnk::sheet {

class SettingsPage : public PropertyPage {
    Q_OBJECT
public:
    // What a page puts in the sheet's caption when it becomes active.
    enum class Caption { TitleConfiguration, ServerName };
    // withWriteReset: the page has the Write and Reset buttons (status pages have not).
    SettingsPage(protocol::CPServerContext& context, UiServices& ui, const PageParameters& parameters, Caption caption,
                 bool withWriteReset, QWidget* parent = nullptr);

    void onInitDialog() override;
    bool onSetActive() override;

    // The Write and Reset buttons' work; tests call them as a click would.
    void write();
    void reset();

    QPushButton* writeButton() const { return m_write; }
    QPushButton* resetButton() const { return m_reset; }
    // True when the last activation refused (the page is disabled).
    bool refused() const { return m_refused; }

protected:
    // With the firmware gate of the page parameters, a page that says so here
    // refuses a box without runnable firmware before anything else.
    virtual bool firmwareGated() const { return true; }
    // True when the utility gates its pages and the selected box has no runnable firmware.
    bool firmwareMissing() const;
    // The message that refuses the selected box, or an empty text.
    virtual QString refusal() { return {}; }
    // Fills the controls from the configuration buffer, status buffer and entry.
    virtual void fill() = 0;
    // Takes the values from the controls, checks them (showing the message and
    // focusing the control of the first failure) and stores the page's fields
    // into the configuration buffer. False stops the Write before anything is sent.
    virtual bool store() { return false; }
    // After the store, before the write; false stops (the buffer keeps the values).
    virtual bool confirmWrite() { return true; }
    // After a write the box confirmed.
    virtual void written() {}
    // The page's own controls, enabled or disabled as a whole by a refusal.
    virtual void setControlsEnabled(bool enabled);
    // Empties what the controls show (a refused page shows nothing of the box
    // selected before it): texts, choices, ticks and list rows.
    virtual void clearValues();

    // A row with a label and a read-only edit for the print server's name
    // ("title Name"); the label is set at initialisation.
    QLineEdit* addNameRow(QLayout* into = nullptr);
    // A failed check: message box, then the focus on the control concerned.
    void fail(const QString& message, QWidget* focus, UiServices::Icon icon = UiServices::Icon::Warning);
    // The selected server entry; nullptr when none is selected.
    protocol::ServerEntry* entry() const;
    // The print server name of the selected entry.
    QString serverName() const;
    // The General page's line of the selected server shows the entry's name
    // again (after a page renamed the box), without selecting anything anew.
    void replaceServerListLine();
    // The page's buttons row (Write and Reset sit at its right end).
    QHBoxLayout* buttonRow() const { return m_buttonRow; }
    // A page whose body grows with the window (a list) says so before it is
    // first shown; other pages keep their controls at the top.
    void setBodyGrows(bool grows) { m_bodyGrows = grows; }

private:
    // True when the record in hand can take the page's fields and be sent back;
    // otherwise the user has been told and nothing may be written.
    bool recordInHandSound(protocol::ServerEntry& entry);

    Caption m_caption;
    protocol::ConfigFrame m_checked{}; // the record in hand when a Write last found it sound
    bool m_refused = false;
    bool m_bodyGrows = false;
    QWidget* m_buttonBar; // joins the body's layout when the page is first shown
    QHBoxLayout* m_buttonRow;
    QPushButton* m_write = nullptr;
    QPushButton* m_reset = nullptr;
    QLabel* m_nameLabel = nullptr;
};

// Shows a configuration record's dotted address field in an edit.
QString dotted(const protocol::ConfigFrame& frame, std::size_t recordOffset);

} // namespace vnk::sheet
