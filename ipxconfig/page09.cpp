#include "ipxconfig/page09.h"

namespace vnk::ipxconfig {

Page09::Page09(protocol::CPServerContext& context, sheet::UiServices& ui, const sheet::PageParameters& parameters,
       const ipx::NameLists& /*names*/, QWidget* parent)
    : SettingsPage(context, ui, parameters, Caption::ServerName, true, parent) {}

void Page09::fill() {}

} // namespace vnk::ipxconfig
