// The DHCP information page: what the box's DHCP server reported in the status
// as last read, and how it was told to start.
#pragma once

#include "sheet/settings_page.h"

#include <array>

namespace vnk::sheet {

class Page05 : public SettingsPage {
    Q_OBJECT
public:
    Page05(protocol::CPServerContext& context, UiServices& ui, const PageParameters& parameters,
           QWidget* parent = nullptr);

    enum Field { Status, StartingIp, NextAvailableIp, GatewayIp, Netmask, DnsServer, FieldCount };
    QLineEdit* field(Field f) const { return m_fields[std::size_t(f)]; }
    QLineEdit* nameEdit() const { return m_name; }

protected:
    // The page names a box without runnable firmware but still shows its fields (fill()).
    bool firmwareGated() const override { return false; }
    void fill() override;

private:
    QLineEdit* m_name;
    std::array<QLineEdit*, FieldCount> m_fields{};
};

} // namespace vnk::sheet
