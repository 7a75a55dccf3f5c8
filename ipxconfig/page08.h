// The options page of the IPX utility (not yet built).
#pragma once

#include "ipxconfig/hollin_texts.h"
#include "ipxconfig/transport/ipx_context.h"
#include "sheet/settings_page.h"

namespace vnk::ipxconfig {

class Page08 : public sheet::SettingsPage {
    Q_OBJECT
public:
    Page08(protocol::CPServerContext& context, sheet::UiServices& ui, const sheet::PageParameters& parameters,
       QWidget* parent = nullptr);

protected:
    void fill() override;
};

} // namespace vnk::ipxconfig
