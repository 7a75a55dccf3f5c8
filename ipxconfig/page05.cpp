#include "ipxconfig/page05.h"

namespace vnk::ipxconfig {

Page05::Page05(protocol::CPServerContext& context, sheet::UiServices& ui, const sheet::PageParameters& parameters,
       const ipx::NameLists& /*names*/, QWidget* parent)
    : SettingsPage(context, ui, parameters, Caption::TitleConfiguration, true, parent) {}

void Page05::fill() {}

} // namespace vnk::ipxconfig
