// The rules of the IPX utility's options and factory default pages (not yet written).
#pragma once

namespace vnk::rules {} // namespace vnk::rules
