#include "ipxconfig/page07.h"

namespace vnk::ipxconfig {

Page07::Page07(protocol::CPServerContext& context, sheet::UiServices& ui, const sheet::PageParameters& parameters,
       QWidget* parent)
    : SettingsPage(context, ui, parameters, Caption::ServerName, true, parent) {}

void Page07::fill() {}

} // namespace vnk::ipxconfig
