#include "platform/program_dir.h"

#include <dlfcn.h>
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

void* loadLibrary(const std::string& path, const std::string& fileName, std::string* why) {
    std::string tried;
    void* handle = nullptr;
    if (!path.empty()) {
        handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        tried = path;
    } else {
        // Beside the program in a build tree; in plugins/ beside it once installed.
        const std::string beside = programDirectory() + "/" + fileName;
        const std::string plugins = programDirectory() + "/plugins/" + fileName;
        handle = ::dlopen(beside.c_str(), RTLD_NOW | RTLD_LOCAL);
        tried = beside;
        if (!handle) {
            handle = ::dlopen(plugins.c_str(), RTLD_NOW | RTLD_LOCAL);
            tried += " or " + plugins;
        }
        if (!handle) {
            handle = ::dlopen(fileName.c_str(), RTLD_NOW | RTLD_LOCAL);
            tried += " or " + fileName;
        }
    }
    if (!handle && why) {
        const char* reason = ::dlerror();
        *why = tried + ": " + (reason ? reason : "unknown error");
    }
    return handle;
}

} // namespace vnk::platform
