#pragma once

#include <string>

namespace vnk::platform {

// The directory of the running program (from /proc/self/exe), without a trailing
// slash; "." when it cannot be found.
std::string programDirectory();

// The directory part of a path (up to, not including, its last slash).
std::string directoryOf(const std::string& path);

// dlopen of a library the way the suite's programs find one: the given path
// when there is one, else fileName beside the running program, else in plugins/
// beside it (where the suite installs its plug-ins), else fileName on the
// library search path. Null when none loads; *why then names what was
// tried and the loader's reason.
void* loadLibrary(const std::string& path, const std::string& fileName, std::string* why);

} // namespace vnk::platform
