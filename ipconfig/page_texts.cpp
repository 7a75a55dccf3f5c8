#include "ipconfig/page_texts.h"

namespace vnk::ipconfig {

PageParameters brevanParameters() {
    return PageParameters{};
}

} // namespace vnk::ipconfig
