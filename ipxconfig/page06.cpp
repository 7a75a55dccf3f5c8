#include "ipxconfig/page06.h"

namespace vnk::ipxconfig {

Page06::Page06(protocol::CPServerContext& context, sheet::UiServices& ui, const sheet::PageParameters& parameters,
       QWidget* parent)
    : SettingsPage(context, ui, parameters, Caption::TitleConfiguration, false, parent) {}

void Page06::fill() {}

} // namespace vnk::ipxconfig
