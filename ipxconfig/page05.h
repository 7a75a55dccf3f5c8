// The NetWare settings page (not yet built).
#pragma once

#include "ipxconfig/hollin_texts.h"
#include "ipxconfig/transport/ipx_context.h"
#include "sheet/settings_page.h"

namespace vnk::ipxconfig {

class Page05 : public sheet::SettingsPage {
    Q_OBJECT
public:
    Page05(protocol::CPServerContext& context, sheet::UiServices& ui, const sheet::PageParameters& parameters,
       const ipx::NameLists& names, QWidget* parent = nullptr);

protected:
    void fill() override;
};

} // namespace vnk::ipxconfig
