// vnkctl: the scriptable front end. run() takes the arguments without the
// program name and writes to the given streams, so tests drive it in-process.
#pragma once

#include "sheet/rules/mail_rules.h"

#include <iosfwd>
#include <string>
#include <vector>

namespace vnk::platform {
class HostInfo;
}

namespace vnk::cli {

// Exit statuses a script can tell apart.
enum ExitCode {
    ExitOk = 0,
    ExitFailure = 1,   // the box answered but refused, or something else went wrong
    ExitUsage = 2,     // bad command line
    ExitBadValue = 3,  // a value does not fit its field; nothing was written
    ExitNotFound = 4,  // no print server with that name or Ethernet address
    ExitNoAnswer = 5,  // the box was found but did not answer in time
};

struct Environment {
    std::string programDirectory; // where Config.ini is looked for
    bool terminal = false;        // progress is shown only on a terminal
    bool fastTiming = false;      // the test timing table (for tests only)
    std::istream* input = nullptr; // where a question is answered (restore)
    bool inputTerminal = false;    // questions are asked only when input is a terminal
    const platform::HostInfo* host = nullptr; // the interfaces; nullptr: this machine's
    rules::HostResolver resolve = rules::resolveHostIPv4; // turns a mail server's name into its address
};

int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, const Environment& env);

} // namespace vnk::cli
