// The NetWare information page: what the box reports about its NetWare
// printing, from its configuration record and its status record as last read:
// its IPX address, polling interval, print mode, file server, NDS tree, login
// state and the queue each printer port serves. Nothing on it can be changed.
#pragma once

#include "ipxconfig/hollin_texts.h"
#include "transport/ipx/ipx_context.h"
#include "sheet/settings_page.h"

#include <array>

namespace vnk::ipxconfig {

class Page06 : public sheet::SettingsPage {
    Q_OBJECT
  public:
    Page06(protocol::CPServerContext& context, sheet::UiServices& ui, const sheet::PageParameters& parameters,
           QWidget* parent = nullptr);

    enum Field { NetworkAddress, Polling, PrintMode, FileServer, NdsTree, LoginStatus, FieldCount };
    static constexpr int QueueLines = 5;
    QLineEdit* nameEdit() const { return m_name; }
    QLineEdit* field(Field f) const { return m_fields[std::size_t(f)]; }
    QLineEdit* queueLine(int i) const { return m_queues[std::size_t(i)]; }

  protected:
    void fill() override;

  private:
    void clearFields();

    QLineEdit* m_name;
    std::array<QLineEdit*, FieldCount> m_fields{};
    std::array<QLineEdit*, QueueLines> m_queues{};
};

} // namespace vnk::ipxconfig
