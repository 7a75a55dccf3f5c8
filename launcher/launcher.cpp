#include "launcher/launcher.h"

#include "platform/ipx.h"
#include "platform/program_dir.h"
#include "platform/registry.h"

#include <spawn.h>
#include <sys/types.h>
#include <unistd.h>

#include <array>

extern char** environ;

namespace vnk::launcher {
namespace {

std::string join(const std::string& directory, const std::string& name) {
    return directory + "/" + name;
}

} // namespace

Places placesOfThisProcess() {
    Places places;
    places.registeredPath = platform::queryRegistryString(InstallKey, InstallValue, InstallPathBufferSize);
    if (places.registeredPath && places.registeredPath->empty())
        places.registeredPath.reset(); // "/brevan" would be a guess, not the installation
    places.ownDirectory = platform::programDirectory();
    std::array<char, CurrentDirectoryBufferSize> current{};
    if (::getcwd(current.data(), current.size()))
        places.currentDirectory = current.data();
    return places;
}

bool ipxAvailable() {
    const auto segment = platform::ipxSegmentFromEnvironment();
    if (!segment)
        return false;
    platform::IpxEndpoint probe(*segment);
    return probe.open() == 0; // the destructor closes it
}

std::string programPath(const Places& places, const std::string& name) {
    if (places.registeredPath)
        return join(*places.registeredPath, name);
    std::string own = join(places.ownDirectory, name);
    if (::access(own.c_str(), X_OK) == 0 || !places.currentDirectory)
        return own;
    return join(*places.currentDirectory, name);
}

bool startDetached(const std::string& path) {
    std::string program = path; // posix_spawn takes a non-const argv
    char* argv[] = {program.data(), nullptr};
    pid_t child = 0;
    return ::posix_spawn(&child, path.c_str(), nullptr, nullptr, argv, environ) == 0;
}

std::string launch() {
    const std::string path = programPath(placesOfThisProcess(), ipxAvailable() ? IpxUtility : IpUtility);
    startDetached(path);
    return path;
}

} // namespace vnk::launcher
