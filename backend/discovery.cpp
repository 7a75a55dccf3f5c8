#include "backend/backend.h"

#include "platform/box_text.h"
#include "platform/cups_queues.h"
#include "protocol/device_id.h"
#include "protocol/record_fields.h"
#include "transport/udp/udp_context.h"

#include <cups/backend.h>

#include <cstdio>

namespace vnk::backend {

namespace {

// A box's text as the command line shows it: UTF-8 when it is, else
// Windows-1252; control characters spelled out, so no line can be forged.
std::string shown(const std::string& bytes) {
    return platform::terminalSafe(platform::decodeBoxText(bytes, platform::CodePage::Windows1252));
}

} // namespace

int runDiscovery() {
    std::string problem;
    const platform::Endpoint endpoint = platform::Endpoint::fromEnvironment(&problem);
    if (!problem.empty()) {
        message("ERROR:", problem);
        return CUPS_BACKEND_FAILED;
    }
    LogReporter reporter;
    protocol::UdpServerContext ctx(endpoint, platform::Timing::real(), reporter);
    // No settings file: print servers (device type 0) of every vendor, no PCs.
    ctx.settingsPath.clear();
    // CUPS knows a port by its box's Ethernet address: a box that shares its
    // name with another is listed too.
    ctx.keepSameNames = true;
    if (ctx.XGetPort() != 1)
        return CUPS_BACKEND_FAILED;
    const protocol::FieldDef& alias = *protocol::findField("alias_name");
    for (int i = 0; i < ctx.serverCount; ++i) {
        protocol::ServerEntry& box = ctx.serverTable[std::size_t(i)];
        const std::string name = shown(box.name());
        // Reads the box's record into configBuffer, then its printers.
        const auto printers = protocol::readPortPrinters(ctx, box);
        if (!printers) {
            message("DEBUG:", "The print server " + name + " did not report its printers");
            continue;
        }
        const std::string location = shown(protocol::readField(alias, protocol::recordOf(ctx.configBuffer)));
        for (const protocol::PortPrinter& p : *printers) {
            const std::string uri = platform::backendUri(box.ethernet, p.port);
            const std::string info = name + " LPT" + std::to_string(p.port);
            const std::string deviceId = platform::terminalSafe(p.deviceId);
            cupsBackendReport("network", uri.c_str(), protocol::makeAndModel(deviceId).c_str(), info.c_str(),
                              deviceId.c_str(), location.c_str());
        }
    }
    std::fflush(stdout);
    return CUPS_BACKEND_OK;
}

} // namespace vnk::backend
