// The DHCP information page: what the box's DHCP server has handed out.
// Not built yet: the tab is in its place with its caption and the page header,
// and an empty body until the page's own work lands.
#pragma once

#include "ipconfig/property_page.h"

namespace vnk::ipconfig {

class Page05 : public PropertyPage {
    Q_OBJECT
public:
    using PropertyPage::PropertyPage;
};

} // namespace vnk::ipconfig
