// Files that hold a box's record or a password: readable by their owner only,
// and written whole or not at all.
#pragma once

#include <string>
#include <string_view>

namespace vnk::platform {

// Writes bytes to path with mode 0600, whatever the umask: into a fresh file
// beside it, synced to disk, then renamed over it, so a reader sees the old file
// or the new one and never a part. A file already at path, whatever its mode, is
// replaced (a symbolic link by a file); a target that is there but is not a
// regular file is refused. On failure the old file is left as it was, no
// temporary file stays behind, false is returned and error (when given) says
// why. The folder is not created here.
bool writeFilePrivately(const std::string& path, std::string_view bytes, std::string* error = nullptr);

} // namespace vnk::platform
