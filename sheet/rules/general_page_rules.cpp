#include "sheet/rules/general_page_rules.h"

namespace vnk::sheet {

std::array<bool, PortButtonCount> enabledPortButtons(int parallel, int serial) {
    std::array<bool, PortButtonCount> enabled{};
    for (int i = 0; i < FirstSerialButton; ++i)
        enabled[std::size_t(i)] = i < parallel;
    for (int i = 0; i < PortButtonCount - FirstSerialButton; ++i)
        enabled[std::size_t(FirstSerialButton + i)] = i < serial;
    return enabled;
}

int portIndexForUpdate(int argument) {
    return argument != 0 ? argument - 1 : 0;
}

} // namespace vnk::sheet
