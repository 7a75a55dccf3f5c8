// The device options page: the print server's alias name, the diagnostic print
// out, the NetBEUI and AppleTalk switches, and the way back to the factory
// settings.
#pragma once

#include "sheet/settings_page.h"

#include <QCheckBox>

namespace vnk::sheet {

class Page06 : public SettingsPage {
    Q_OBJECT
public:
    Page06(protocol::CPServerContext& context, UiServices& ui, const PageParameters& parameters,
           QWidget* parent = nullptr);

    // "Factory Default" clicked: the other controls give way while it is ticked.
    void factoryDefaultClicked();

    QLineEdit* aliasEdit() const { return m_alias; }
    QCheckBox* diagnosticCheck() const { return m_diagnostic; }
    QCheckBox* factoryDefaultCheck() const { return m_factoryDefault; }
    QCheckBox* netbeuiCheck() const { return m_netbeui; }
    QCheckBox* appletalkCheck() const { return m_appletalk; }

protected:
    void fill() override;
    bool store() override;

private:
    void applyBoxStates(bool factoryDefaultTicked, bool setValues);

    QLineEdit* m_alias;
    std::string m_shownAlias; // the bytes the alias edit was filled from
    QCheckBox* m_diagnostic;
    QCheckBox* m_factoryDefault;
    QCheckBox* m_netbeui;
    QCheckBox* m_appletalk;
};

} // namespace vnk::sheet
