// The launcher starts the configuration utility that suits this PC and ends at
// once: hollin when the PC has IPX (an IPX endpoint can be opened on the segment
// VNK_IPX_PORT sets up), brevan otherwise, even when the PC has TCP/IP too.
//
// The utility is taken from the suite's installation directory:
//  1. the "Path" value of the launcher's key in the registry (read into 200
//     bytes; a longer or empty value counts as missing);
//  2. else the launcher's own directory, when the chosen utility is there: an
//     installed suite is found from whatever directory the launcher is started in;
//  3. else the current directory (when its path fits in 100 bytes), so that a
//     launcher kept apart from the suite still finds it when started in the
//     installation directory.
// The own directory comes before the current one so that a program of that name
// lying in whatever directory the user happens to be in is never started in
// place of the installed one.
//
// The path is the directory, a slash and the name: a directory ending in "/"
// gives "//", which names the same file. The utility gets no arguments, the
// launcher's environment and working directory, and is not waited for; when it
// cannot be started nothing is said.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace vnk::launcher {

inline constexpr std::string_view InstallKey =
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Pellam.exe";
inline constexpr std::string_view InstallValue = "Path";
inline constexpr std::size_t InstallPathBufferSize = 200;
inline constexpr std::size_t CurrentDirectoryBufferSize = 100;
inline constexpr const char* IpxUtility = "hollin";
inline constexpr const char* IpUtility = "brevan";

// The directories the utility may be taken from.
struct Places {
    std::optional<std::string> registeredPath;   // the registry's "Path"
    std::string ownDirectory;                    // of the launcher's program file
    std::optional<std::string> currentDirectory; // when it fits its buffer
};

// The places as this process sees them (the registry of the state directory).
Places placesOfThisProcess();

// The IPX probe: an endpoint of the configured segment can be opened (and is
// closed again at once).
bool ipxAvailable();

// The path of the utility name, from the places in the order above.
std::string programPath(const Places& places, const std::string& name);

// Starts path as a separate process with no arguments, this process's
// environment and working directory, without waiting for it. False when it
// could not be started.
bool startDetached(const std::string& path);

// Every step: chooses the utility, starts it and returns the path it tried.
std::string launch();

} // namespace vnk::launcher
