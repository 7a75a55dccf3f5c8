#pragma once

#include <string>

namespace vnk::platform {

// The directory of the running program (from /proc/self/exe), without a trailing
// slash; "." when it cannot be found.
std::string programDirectory();

// The directory part of a path (up to, not including, its last slash).
std::string directoryOf(const std::string& path);

} // namespace vnk::platform
