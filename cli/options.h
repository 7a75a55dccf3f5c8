// vnkctl's command line: the options, the help text, and the checks every
// command's arguments pass before anybody waits on the network.
#pragma once

#include "cli/output.h"
#include "cli/vnkctl.h"
#include "platform/endpoint.h"

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace vnk::cli {

extern const char* const Version;
extern const char* const Usage;

struct Options {
    bool json = false;
    bool withStatus = false; // list --status
    bool all = false;        // list --all
    bool yes = false;        // restore --yes
    bool otherBox = false;   // restore --other-box
    bool ipx = false;        // every operation over IPX
    std::optional<std::uint16_t> ipxPort;
    bool netbios = false;    // list and show over NetBIOS
    std::optional<std::uint16_t> netbiosPort;
    std::string configPath;
    std::string port;                  // testprint --port, queue --port
    std::optional<std::string> driver; // queue --driver
    std::string interface;
    int firmwareType = 0; // --type 1-3; 0 when not given
    std::optional<std::string> wakeIp;   // wake --ip
    std::optional<std::string> wakeFile; // wake --file
    std::optional<std::uint16_t> wolPort;
    std::vector<std::string> positional;
};

// Reads the command line into opt and endpoint (--broadcast and --interface
// into its broadcast address, the ports into its ports). An exit code when the
// run ends here: --help, --version, or a mistake (o says which).
std::optional<int> parseOptions(const std::vector<std::string>& args, const Environment& env, Options& opt,
                                platform::Endpoint& endpoint, std::ostream& out, Output& o);

// A parallel port as queue --port gives it: 1-3 or LPT1-LPT3 (any case); 0 for
// anything else.
int queuePortArgument(const std::string& text);

// What every command needs on its command line, checked before anybody waits
// on the network. Returns an exit code, or ExitOk. Mail servers given by name
// in items are replaced by their address.
int checkArguments(Output& o, const Options& opt, const std::string& command, std::vector<std::string>& items,
                   const rules::HostResolver& resolve);

} // namespace vnk::cli
