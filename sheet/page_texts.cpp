#include "sheet/page_texts.h"

namespace vnk::sheet {

PageParameters brevanParameters() {
    return PageParameters{};
}

} // namespace vnk::sheet
