// A configuration record in which neighbouring bytes differ and none is 0, so a
// write that strays outside its field shows up in a byte-by-byte comparison.
#pragma once

#include "protocol/records.h"

namespace vnk::testing {

inline protocol::ConfigRecord patterned() {
    protocol::ConfigRecord rec{};
    for (std::size_t i = 0; i < rec.size(); ++i)
        rec[i] = protocol::Byte(1 + (i * 37) % 251);
    return rec;
}

} // namespace vnk::testing
