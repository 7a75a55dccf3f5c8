// The IPX utility's factory default page: shows what its "set defaults" button
// will make of the selected box (its device name as the print server name, the
// diagnostic print-out off, NetWare, TCP/IP and NetBEUI on, the DHCP server in
// Auto mode, as far as the model has them) and writes the factory settings,
// with no question asked.
#pragma once

#include "ipxconfig/hollin_texts.h"
#include "transport/ipx/ipx_context.h"
#include "sheet/settings_page.h"

namespace vnk::ipxconfig {

class Page07 : public sheet::SettingsPage {
    Q_OBJECT
public:
    Page07(protocol::CPServerContext& context, sheet::UiServices& ui, const sheet::PageParameters& parameters,
       QWidget* parent = nullptr);

    // "設成預設值": the base's Write button under its own label.
    QPushButton* setDefaultsButton() const { return writeButton(); }

    QLineEdit* deviceNameField() const { return m_deviceName; }
    QLineEdit* diagnosticField() const { return m_diagnostic; }
    QLineEdit* netwareField() const { return m_netware; }
    QLineEdit* tcpipField() const { return m_tcpip; }
    QLineEdit* dhcpServerField() const { return m_dhcpServer; }
    QLineEdit* netbeuiField() const { return m_netbeui; }

protected:
    void fill() override;
    bool store() override;
    void written() override;

private:
    QLineEdit* m_deviceName;
    QLineEdit* m_diagnostic;
    QLineEdit* m_netware;
    QLineEdit* m_tcpip;
    QLineEdit* m_dhcpServer;
    QLineEdit* m_netbeui;
};

} // namespace vnk::ipxconfig
