// The DHCP setup page: how the box's own DHCP server starts (Auto, Enable,
// Disable) and, set up by hand, the addresses it hands out.
#pragma once

#include "sheet/settings_page.h"

#include <QLabel>
#include <QRadioButton>

#include <array>

namespace vnk::rules {
struct DhcpFailure;
}

namespace vnk::sheet {

class Page04 : public SettingsPage {
    Q_OBJECT
public:
    Page04(protocol::CPServerContext& context, UiServices& ui, const PageParameters& parameters,
           QWidget* parent = nullptr);

    void onInitDialog() override;

    // The radio buttons clicked.
    void startupAutoOrEnableClicked();
    void startupDisableClicked();
    void setupAutoClicked();
    void setupManualClicked();

    QRadioButton* startupAuto() const { return m_startupAuto; }
    QRadioButton* startupEnable() const { return m_startupEnable; }
    QRadioButton* startupDisable() const { return m_startupDisable; }
    QRadioButton* setupAuto() const { return m_setupAuto; }
    QRadioButton* setupManual() const { return m_setupManual; }
    QLineEdit* printServerIpEdit() const { return m_printServerIp; }
    QLineEdit* startingIpEdit() const { return m_startingIp; }
    QLineEdit* netmaskEdit() const { return m_netmask; }
    QLineEdit* gatewayEdit() const { return m_gateway; }
    QLineEdit* dnsEdit() const { return m_dns; }
    QLineEdit* ipRangeEdit() const { return m_ipRange; }
    QLabel* printServerIpLabel() const { return m_printServerIpLabel; }

protected:
    QString refusal() override;
    void fill() override;
    bool store() override;

private:
    void setEditsEnabled(bool enabled);
    void setSetupButtonsEnabled(bool enabled);
    QString messageOf(const rules::DhcpFailure& failure) const;
    QLineEdit* editOf(const rules::DhcpFailure& failure) const;

    QRadioButton* m_startupAuto;
    QRadioButton* m_startupEnable;
    QRadioButton* m_startupDisable;
    QRadioButton* m_setupAuto;
    QRadioButton* m_setupManual;
    QLabel* m_printServerIpLabel;
    QLineEdit* m_printServerIp;
    QLineEdit* m_startingIp;
    QLineEdit* m_netmask;
    QLineEdit* m_gateway;
    QLineEdit* m_dns;
    QLineEdit* m_ipRange;
};

} // namespace vnk::sheet
