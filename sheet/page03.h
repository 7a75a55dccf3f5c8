// The status page: what the box reports about itself, filled from the buffers
// as they are (nothing is read from the box).
#pragma once

#include "sheet/settings_page.h"

#include <array>

namespace vnk::sheet {

class Page03 : public SettingsPage {
    Q_OBJECT
public:
    Page03(protocol::CPServerContext& context, UiServices& ui, const PageParameters& parameters,
           QWidget* parent = nullptr);

    enum Field { DeviceName, AliasName, EthernetId, FrameType, ActiveIp, NetBeui, ProtocolSupport,
                 DiagnosticPrintOut, NetworkSpeed, FieldCount };
    QLineEdit* field(Field f) const { return m_fields[std::size_t(f)]; }

protected:
    void fill() override;

private:
    std::array<QLineEdit*, FieldCount> m_fields{};
};

} // namespace vnk::sheet
