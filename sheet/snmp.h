// The SNMP page: the system contact and location the box's SNMP agent reports.
#pragma once

#include "sheet/rules/snmp_rules.h"
#include "sheet/settings_page.h"

namespace vnk::sheet {

class snmp : public SettingsPage {
    Q_OBJECT
public:
    snmp(protocol::CPServerContext& context, UiServices& ui, const PageParameters& parameters,
         QWidget* parent = nullptr);

    QLineEdit* contactEdit() const { return m_contact; }
    QLineEdit* locationEdit() const { return m_location; }

protected:
    // The SNMP texts can be set on a box without runnable firmware.
    bool firmwareGated() const override { return false; }
    void fill() override;
    bool store() override;

private:
    QLineEdit* m_contact;
    QLineEdit* m_location;
    rules::SnmpTexts m_shown; // the bytes the edits were filled from
};

} // namespace vnk::sheet
