// The CUPS backend `varnotek` (see backend(7)): without arguments it lists the
// parallel ports of the print servers on the LAN for `lpinfo -v`; with a job it
// finds the box of the device URI by its Ethernet address and sends the job to
// the box's LPD queue of that port.
#pragma once

#include "platform/error_reporter.h"

#include <atomic>
#include <string>

namespace vnk::backend {

// One line of the job's log on standard error: "INFO:", "ERROR:", "STATE:",
// "DEBUG:" and the text, which cannot break the line.
void message(const char* prefix, const std::string& text);

// Socket failures of the device protocol go to the log as errors.
class LogReporter final : public platform::ErrorReporter {
public:
    void report(const std::string& text) override;
};

// Discovery: one cupsBackendReport line per parallel port; the exit status.
int runDiscovery();

// A job: argv as CUPS gives it (job-id user title copies options [file]), argc 6
// or 7. cancel is set by SIGTERM. Returns a CUPS_BACKEND_* status, or -1 when the
// job was cancelled (the caller then ends as SIGTERM would have ended it).
int runJob(int argc, char** argv, const std::atomic<bool>& cancel);

} // namespace vnk::backend
