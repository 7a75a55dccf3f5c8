#include "ipxconfig/page08.h"

namespace vnk::ipxconfig {

Page08::Page08(protocol::CPServerContext& context, sheet::UiServices& ui, const sheet::PageParameters& parameters,
       QWidget* parent)
    : SettingsPage(context, ui, parameters, Caption::TitleConfiguration, true, parent) {}

void Page08::fill() {}

} // namespace vnk::ipxconfig
