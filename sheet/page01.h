// The IP settings page: whether the box takes its address automatically or the
// address, gateway and subnet mask typed here, checked against this PC's own
// network before they are written.
#pragma once

#include "sheet/rules/ip_rules.h"
#include "sheet/settings_page.h"
#include "platform/hostinfo.h"

#include <QCheckBox>
#include <QRadioButton>

#include <memory>

namespace vnk::sheet {

class Page01 : public SettingsPage {
    Q_OBJECT
public:
    Page01(protocol::CPServerContext& context, UiServices& ui, const PageParameters& parameters,
           QWidget* parent = nullptr);

    // Where this PC's own addresses come from (the machine's interfaces by default).
    void setHostInfo(std::shared_ptr<const platform::HostInfo> host) { m_host = std::move(host); }

    // "Auto" and "Manual" clicked.
    void autoClicked();
    void manualClicked();

    QRadioButton* autoButton() const { return m_auto; }
    QRadioButton* manualButton() const { return m_manual; }
    QLineEdit* addressEdit() const { return m_address; }
    QLineEdit* gatewayEdit() const { return m_gateway; }
    QLineEdit* maskEdit() const { return m_mask; }
    QCheckBox* tcpipCheck() const { return m_tcpip; }
    QLineEdit* nameEdit() const { return m_name; }
    QString pcAddress() const { return m_pcAddress; }
    QString pcMask() const { return m_pcMask; }

protected:
    QString refusal() override;
    void fill() override;
    bool store() override;
    bool confirmWrite() override;
    void setControlsEnabled(bool enabled) override;

private:
    QString messageOf(rules::IpCheck check) const;
    void manualSetup();
    bool gatewayAndMaskAvailable() const;

    std::shared_ptr<const platform::HostInfo> m_host;
    QString m_pcAddress;
    QString m_pcMask;
    std::array<protocol::Byte, 4> m_storedAddress{};

    QLineEdit* m_name;
    QRadioButton* m_auto;
    QRadioButton* m_manual;
    QLineEdit* m_address;
    QLineEdit* m_gateway;
    QLineEdit* m_mask;
    QCheckBox* m_tcpip;
};

} // namespace vnk::sheet
