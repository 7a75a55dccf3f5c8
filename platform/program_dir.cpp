#include "platform/program_dir.h"

#include <unistd.h>

#include <array>

namespace vnk::platform {

std::string directoryOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

std::string programDirectory() {
    std::array<char, 4096> buffer{};
    const ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    if (n <= 0)
        return ".";
    return directoryOf(std::string(buffer.data(), std::size_t(n)));
}

} // namespace vnk::platform
