// vnkctl queue: the CUPS queue of each chosen parallel port of a box, made or
// updated with the suite's backend as its device (platform/cups_queues.h, the
// code the setup wizard's print monitor uses too), its driver chosen by the
// printer's device ID or given.
#include "cli/commands.h"

#include "platform/box_text.h"
#include "platform/cups_queues.h"
#include "protocol/device_id.h"
#include "protocol/status_record.h"

namespace vnk::cli {

int cmdQueue(Session& s, const std::string& portText, const std::string& driver) {
    Output& o = s.output();
    s.progress().begin("Asking the printers");
    const auto printers = protocol::readPortPrinters(s.ctx(), s.entry());
    s.progress().done();
    if (!printers)
        return s.noAnswer("cannot read the record or the status");
    const int wanted = portText.empty() ? 0 : queuePortArgument(portText);
    if (printers->empty())
        return o.fail(ExitFailure, s.name() + " has no parallel port");
    if (wanted > int(printers->size()))
        return o.fail(ExitBadValue, s.name() + " has no port " + platform::terminalSafe(portText));
    const auto ip = platform::parseIPv4(protocol::activeIp(s.ctx().statusBuffer)).value_or(0);
    if (ip == 0)
        return o.fail(ExitFailure, s.name() + " has no IP address (0.0.0.0): no CUPS queue made");

    platform::QueueRequest request;
    request.portName = platform::portNameOf(boxText(s.entry().name()), s.entry().ethernet);
    request.mac = s.entry().ethernet;
    request.ip = {std::uint8_t(ip >> 24), std::uint8_t(ip >> 16), std::uint8_t(ip >> 8), std::uint8_t(ip)};
    request.driver = driver.empty() ? "auto" : driver;
    for (const auto& p : *printers)
        if (wanted == 0 || p.port == wanted)
            request.ports.push_back({p.port, p.deviceId});

    s.progress().begin("Asking CUPS");
    const platform::QueueResult made = platform::makeCupsQueues(request);
    s.progress().done();
    o.result()["box"] = boxText(s.entry().name());
    Json queues = Json::array();
    for (const auto& q : made.queues)
        queues.push_back({{"name", q.name},
                          {"port", "LPT" + std::to_string(q.port)},
                          {"device_uri", q.deviceUri},
                          {"driver", q.driver.empty() ? Json(nullptr) : Json(q.driver)},
                          {"make_and_model", q.makeAndModel.empty() ? Json(nullptr) : Json(q.makeAndModel)},
                          {"created", q.created}});
    o.result()["queues"] = queues;
    Json report = Json::array();
    for (const auto& line : made.report) {
        report.push_back(line);
        o.text() << platform::terminalSafe(line) << "\n";
    }
    o.result()["report"] = report;
    if (made.reach == platform::CupsReach::NoServer)
        return o.fail(ExitFailure, "no CUPS server answers at " + made.server + " (CUPS_SERVER)");
    if (made.reach == platform::CupsReach::NoList)
        return o.fail(ExitFailure, "the CUPS server at " + made.server + " did not list its queues");
    if (made.refused > 0)
        return o.fail(ExitFailure, "CUPS at " + made.server + ": " + std::to_string(made.refused) +
                                       (made.refused == 1 ? " queue was" : " queues were") +
                                       " not made (see the report)");
    return ExitOk;
}

} // namespace vnk::cli
