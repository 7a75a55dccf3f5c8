// The rules of the NetWare pages (not yet written).
#pragma once

namespace vnk::rules {} // namespace vnk::rules
