// The remote printer page: whether the box serves a NetWare print server as its
// remote printers, which print server (the list offers what discovery found on
// the bindery), and the printer number each port has there. A print server
// name longer than its record field is refused with the framework's "too many
// characters" message (see ipxconfig/rules/netware_rules.h).
#pragma once

#include "ipxconfig/hollin_texts.h"
#include "transport/ipx/ipx_context.h"
#include "sheet/settings_page.h"

#include <QCheckBox>
#include <QComboBox>

#include <array>

namespace vnk::ipxconfig {

class BoxNameCombo;

class Page09 : public sheet::SettingsPage {
    Q_OBJECT
  public:
    Page09(protocol::CPServerContext& context, sheet::UiServices& ui, const sheet::PageParameters& parameters,
           const ipx::NameLists& names, QWidget* parent = nullptr);

    // The remote printer box clicked.
    void remotePrinterClicked();

    static constexpr int NumberBoxes = 5; // LPT1, LPT2, LPT3, COM1, COM2
    QCheckBox* remotePrinterCheck() const { return m_remotePrinter; }
    QComboBox* printServerBox() const;
    QComboBox* numberBox(int i) const { return m_numbers[std::size_t(i)]; }

  protected:
    QString refusal() override;
    void fill() override;
    bool store() override;

  private:
    void applyControlStates();

    const ipx::NameLists& m_names; // refilled by each discovery
    QCheckBox* m_remotePrinter;
    BoxNameCombo* m_printServer;
    std::array<QComboBox*, NumberBoxes> m_numbers{};
};

} // namespace vnk::ipxconfig
