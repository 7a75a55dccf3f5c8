// varnotek: the CUPS backend of the suite's print servers. cupsd runs it without
// arguments to list devices, and with a job to print one.
#include "backend/backend.h"

#include "platform/box_text.h"

#include <cups/backend.h>

#include <csignal>
#include <cstdio>

namespace vnk::backend {

void message(const char* prefix, const std::string& text) {
    const std::string line = std::string(prefix) + " " + platform::terminalSafe(text) + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

void LogReporter::report(const std::string& text) {
    message("ERROR:", "The network failed:" + text);
}

} // namespace vnk::backend

namespace {

std::atomic<bool> cancelled{false};
static_assert(std::atomic<bool>::is_always_lock_free); // set from a signal handler

void onTerminate(int) {
    cancelled = true;
}

} // namespace

int main(int argc, char** argv) {
    using namespace vnk::backend;
    if (argc == 1)
        return runDiscovery();
    if (argc != 6 && argc != 7) {
        std::fputs("Usage: varnotek job-id user title copies options [file]\n", stderr);
        return CUPS_BACKEND_FAILED;
    }
    // CUPS cancels a job with SIGTERM: every wait looks at the flag, the
    // connection to the box is closed before the job is complete, and the
    // backend then ends as the signal would have ended it. No SA_RESTART, so a
    // read of the job is interrupted too.
    struct sigaction action {};
    action.sa_handler = onTerminate;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    const int status = runJob(argc, argv, cancelled);
    if (status < 0) {
        message("INFO:", "The job was cancelled before the print server had all of it");
        std::signal(SIGTERM, SIG_DFL);
        std::raise(SIGTERM);
    }
    return status < 0 ? CUPS_BACKEND_CANCEL : status;
}
