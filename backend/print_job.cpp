#include "backend/backend.h"
#include "backend/device_uri.h"
#include "platform/cups_queues.h"

#include "platform/box_text.h"
#include "protocol/status_record.h"
#include "transport/lpd/lpd_client.h"
#include "transport/udp/udp_context.h"

#include <cups/backend.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace vnk::backend {

namespace {

// What the job's log says when the job waits to be tried again.
constexpr const char* Later = "; the job stays queued and is tried again later";

std::optional<int> copiesOf(const char* text) {
    char* end = nullptr;
    const long n = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || n < 1 || n > 9999)
        return std::nullopt;
    return int(n);
}

std::string localHost() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0 || name[0] == '\0')
        return "localhost";
    return name;
}

// The file's own name, for the control file's N line.
std::string baseName(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

int runJob(int argc, char** argv, const std::atomic<bool>& cancel) {
    const char* uriText = std::getenv("DEVICE_URI");
    if (!uriText || !*uriText)
        uriText = argv[0];
    const auto uri = parseDeviceUri(uriText);
    if (!uri) {
        message("ERROR:",
                "The device URI \"" + std::string(uriText).substr(0, 128) +
                    "\" is not varnotek:// followed by the print server's 12 hexadecimal digits and "
                    "/LPT1, /LPT2 or /LPT3");
        return CUPS_BACKEND_FAILED;
    }
    const auto copies = copiesOf(argv[4]);
    if (!copies) {
        message("ERROR:", std::string("The number of copies \"") + argv[4] + "\" is not 1 to 9999");
        return CUPS_BACKEND_FAILED;
    }
    std::string problem;
    const platform::Endpoint endpoint = platform::Endpoint::fromEnvironment(&problem);
    if (!problem.empty()) {
        message("ERROR:", problem);
        return CUPS_BACKEND_FAILED;
    }
    const std::string queue = "LPT" + std::to_string(uri->port);
    const std::string mac = platform::macText(uri->mac, ":");

    // The quick lookup: a search addressed to the box, which ends when it answers.
    constexpr int LookupAttempts = 3;
    message("INFO:", "Looking for print server " + mac);
    LogReporter reporter;
    protocol::UdpServerContext ctx(endpoint, platform::Timing::real(), reporter);
    protocol::ServerEntry box = protocol::CPServerContext::entryFor(uri->mac);
    protocol::Byte reply[protocol::DiscoveryReplySize];
    // A request or its reply may be lost on the way and nothing sends it again:
    // the search and the status read are each tried a few times before the job
    // is left to wait.
    bool found = false;
    for (int attempt = 0; attempt < LookupAttempts && !found && !cancel; ++attempt)
        found = ctx.XSearchPS(box, reply) == 1;
    if (cancel)
        return -1;
    if (!found) {
        message("ERROR:", "The print server " + mac + " does not answer" + Later);
        return CUPS_BACKEND_RETRY;
    }
    std::memcpy(box.identity.data(), reply + ctx.searchReplyIdentity(), protocol::IdentitySize);
    const std::string name =
        platform::terminalSafe(platform::decodeBoxText(box.name(), platform::CodePage::Windows1252));
    bool statusRead = false;
    for (int attempt = 0; attempt < LookupAttempts && !statusRead && !cancel; ++attempt)
        statusRead = ctx.XGetPServerStatus(box, ctx.statusBuffer) == 1;
    if (cancel)
        return -1;
    if (!statusRead) {
        message("ERROR:",
                "The print server " + name + " (" + mac + ") does not report its IP address" + Later);
        return CUPS_BACKEND_RETRY;
    }
    const std::string address = protocol::activeIp(ctx.statusBuffer);
    if (address == "0.0.0.0") {
        message("ERROR:", "The print server " + name + " (" + mac + ") has no IP address yet" + Later);
        return CUPS_BACKEND_RETRY;
    }

    // The job: a file given by name holds one copy and the backend makes the
    // copies; a job on standard input has them already (the filters made them).
    const bool named = argc == 7;
    lpd::ReadResult data = named ? lpd::readFile(argv[6], lpd::MaxJobBytes, &cancel)
                                 : lpd::readAll(STDIN_FILENO, lpd::MaxJobBytes, &cancel);
    if (data.cancelled)
        return -1;
    if (!data.ok()) {
        message("ERROR:", data.error);
        // A job too large is never sent; one that cannot be read is the queue's error policy's.
        return data.tooLarge ? CUPS_BACKEND_CANCEL : CUPS_BACKEND_FAILED;
    }

    lpd::Job job;
    job.queue = queue;
    job.host = localHost();
    job.user = argv[2];
    job.title = argv[3];
    job.sourceName = named ? baseName(argv[6]) : argv[3];
    job.number = std::atoi(argv[1]);
    job.data = data.bytes;
    job.repeat = named ? *copies : 1;
    const std::string where = address + " port " + std::to_string(endpoint.lpdPort);
    message("INFO:", "Sending the job to " + where + ", queue " + queue);
    message("DEBUG:", "Print server " + name + " (" + mac + "), " + std::to_string(data.bytes.size()) +
                          " bytes, " + std::to_string(job.repeat) + (job.repeat == 1 ? " copy" : " copies"));
    message("STATE:", "+connecting-to-device");
    const lpd::Result sent = lpd::sendJob({address, endpoint.lpdPort}, job, {}, &cancel);
    message("STATE:", "-connecting-to-device");
    if (sent.ok()) {
        message("INFO:", "The print server " + name + " took the job");
        return CUPS_BACKEND_OK;
    }
    if (sent.outcome == lpd::Outcome::Cancelled)
        return -1;
    if (sent.worthRetrying()) {
        message("ERROR:", sent.reason + Later);
        return CUPS_BACKEND_RETRY;
    }
    // A queue the box refuses does not come right by trying again (the port is
    // not there, or the box takes no jobs for it): the queue stops with the job
    // kept, until someone has looked at the box.
    message("ERROR:", sent.reason + "; the queue is stopped and keeps the job");
    return CUPS_BACKEND_STOP;
}

} // namespace vnk::backend
