// The one-line model description of a box: ports, revision, version and model
// code from its record, and a letter from its identity flags ("1P1S/1B-2.1.05B").
#pragma once

#include "protocol/records.h"

#include <string>

namespace vnk::protocol {

std::string modelLine(std::span<const Byte, RecordSize> rec, Byte identityFlags);

} // namespace vnk::protocol
