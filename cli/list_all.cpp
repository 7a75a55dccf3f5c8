// list --all: one search over every way this PC reaches the boxes, UDP always,
// IPX and NetBIOS when they are set up here. The searches run at the same time,
// each on a thread of its own with a context of its own; what they found is
// merged by Ethernet address, so a box is one line with every transport it
// answered on, and two boxes that share a name are two lines.
#include "cli/commands.h"

#include "cli/box_view.h"

#include "platform/box_text.h"
#include "platform/program_dir.h"
#include "protocol/device_filter.h"
#include "protocol/model_line.h"
#include "protocol/status_record.h"
#include "transport/ipx/ipx_context.h"
#include "transport/netbios/netbios_context.h"
#include "transport/udp/udp_context.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <future>
#include <memory>

namespace vnk::cli {

using namespace protocol;

namespace {

// The reports of one search, kept until the searches have ended so that
// standard error is written from one thread only.
class KeptReports final : public platform::ErrorReporter {
public:
    void report(const std::string& text) override { texts.push_back(text); }
    std::vector<std::string> texts;
};

// One box as one transport found it.
struct Sighting {
    ServerEntry entry;
    std::string model = "?";
    std::string activeIp = "?";
    std::string netbiosName; // over NetBIOS only
};

// One transport's search and what it found.
struct Search {
    const char* name;                            // "udp", "ipx", "netbios"
    std::unique_ptr<CPServerContext> context;
    KeptReports reports;
    std::vector<Sighting> found;
    bool failed = false;
    std::string failure;                          // why it failed, when it says
};

// The search, then each box's record (for its model) and, with status, its status.
void runSearch(Search& s, bool withStatus) {
    CPServerContext& ctx = *s.context;
    const auto* overNetbios = dynamic_cast<const netbios::NetbiosServerContext*>(&ctx);
    s.failed = ctx.XGetPort() != 1 || !s.reports.texts.empty();
    if (overNetbios && overNetbios->startFailure())
        s.failure = "NetBIOS: " + *overNetbios->startFailure();
    for (int i = 0; i < ctx.serverCount; ++i) {
        Sighting seen;
        seen.entry = ctx.serverTable[std::size_t(i)];
        // The NetBIOS search takes every answer; the merged list takes what
        // Config.ini lets in, as the UDP and IPX searches do.
        const auto& id = seen.entry.identity;
        if (!deviceFilterAccepts(ctx.settingsPath, id[identity::Vendor], id[identity::DeviceType]))
            continue;
        if (ctx.XReadPServerEEProm(seen.entry, ctx.configBuffer) == 1)
            seen.model = modelLine(recordOf(ctx.configBuffer), seen.entry.identity[identity::Flags]);
        if (withStatus && ctx.XGetPServerStatus(seen.entry, ctx.statusBuffer) == 1)
            seen.activeIp = protocol::activeIp(ctx.statusBuffer);
        if (overNetbios)
            seen.netbiosName = netbios::NetbiosServerContext::netbiosName(seen.entry);
        s.found.push_back(std::move(seen));
    }
}

// A box of the merged list: what the first transport that found it saw, and
// every transport that found it.
struct Merged {
    Sighting seen;
    std::vector<std::string> transports;
};

std::vector<Merged> merge(const std::vector<Search>& searches) {
    std::vector<Merged> boxes;
    for (const Search& s : searches)
        for (const Sighting& seen : s.found) {
            // A box whose record could not be read has no Ethernet address to
            // be known by: it stands alone.
            auto same = seen.entry.ethernet == MacAddress{}
                            ? boxes.end()
                            : std::find_if(boxes.begin(), boxes.end(), [&](const Merged& m) {
                                  return m.seen.entry.ethernet == seen.entry.ethernet;
                              });
            if (same == boxes.end()) {
                boxes.push_back(Merged{seen, {s.name}});
                continue;
            }
            if (std::find(same->transports.begin(), same->transports.end(), s.name) == same->transports.end())
                same->transports.push_back(s.name);
            if (same->seen.model == "?")
                same->seen.model = seen.model;
            if (same->seen.activeIp == "?")
                same->seen.activeIp = seen.activeIp;
            if (same->seen.netbiosName.empty())
                same->seen.netbiosName = seen.netbiosName;
        }
    return boxes;
}

std::string joined(const std::vector<std::string>& items, const char* separator) {
    std::string out;
    for (const auto& item : items)
        out += (out.empty() ? "" : separator) + item;
    return out;
}

} // namespace

int cmdListAll(Output& o, const Options& opt, const platform::Endpoint& endpoint, std::ostream& err,
               const Environment& env) {
    const platform::Timing timing = env.fastTiming ? platform::Timing::fast() : platform::Timing::real();
    std::string why;
    const auto segment = ipxSegment(opt.ipxPort, endpoint, why);
    if (!why.empty())
        return o.fail(ExitUsage, why);
    auto adapters = netbiosAdapters(opt.netbiosPort, endpoint, why);
    if (!why.empty())
        return o.fail(ExitUsage, why);

    // Each search's reporter lives in its Search, which does not move once made.
    std::vector<Search> searches;
    searches.reserve(3);
    searches.push_back(Search{"udp", nullptr, {}, {}, false, {}});
    searches.back().context = std::make_unique<UdpServerContext>(endpoint, timing, searches.back().reports);
    if (segment) {
        searches.push_back(Search{"ipx", nullptr, {}, {}, false, {}});
        searches.back().context =
            std::make_unique<ipx::IpxServerContext>(endpoint, *segment, timing, searches.back().reports);
    }
    if (adapters) {
        searches.push_back(Search{"netbios", nullptr, {}, {}, false, {}});
        searches.back().context = std::make_unique<netbios::NetbiosServerContext>(
            endpoint, std::move(*adapters), timing, searches.back().reports);
    }
    for (Search& s : searches) {
        s.context->keepSameNames = true;
        s.context->settingsPath = opt.configPath;
        s.context->programDirectory = platform::directoryOf(opt.configPath);
    }

    std::vector<std::string> names;
    for (const Search& s : searches)
        names.push_back(s.name);
    Progress progress(err, env.terminal);
    progress.begin("Searching for print servers over " + joined(names, ", "));
    std::vector<std::future<void>> running;
    for (Search& s : searches)
        running.push_back(std::async(std::launch::async, runSearch, std::ref(s), opt.withStatus));
    for (auto& r : running)
        while (r.wait_for(std::chrono::milliseconds(100)) != std::future_status::ready)
            progress.tick();
    progress.done();
    for (const Search& s : searches)
        for (const auto& text : s.reports.texts)
            err << "vnkctl:" << text << "\n";

    const std::vector<Merged> boxes = merge(searches);
    static constexpr ListColumn TransportsColumn{"TRANSPORTS", 15};
    Json list = Json::array();
    if (!boxes.empty())
        o.text() << listHeader(opt.withStatus, &TransportsColumn);
    for (const Merged& m : boxes) {
        const ServerEntry& e = m.seen.entry;
        Json item = listItem(e, m.seen.model);
        item["transports"] = m.transports;
        if (!m.seen.netbiosName.empty())
            item["netbios_name"] = boxText(m.seen.netbiosName);
        if (opt.withStatus)
            item["active_ip"] = m.seen.activeIp;
        list.push_back(item);
        o.text() << listLine(e, m.seen.model, opt.withStatus ? &m.seen.activeIp : nullptr, &TransportsColumn,
                             joined(m.transports, ","));
    }
    o.result()["print_servers"] = list;
    if (boxes.empty())
        o.text() << "No print server found.\n";

    Json searched = Json::object();
    std::string summary;
    std::vector<std::string> failed;
    for (const Search& s : searches) {
        searched[s.name] = Json{{"found", s.found.size()}, {"ok", !s.failed}};
        summary += (summary.empty() ? "" : ", ") + std::string(s.name) + " " + std::to_string(s.found.size());
        if (s.failed)
            failed.push_back(s.failure.empty() ? "the search over " + std::string(s.name) + " failed" : s.failure);
    }
    o.result()["searched"] = searched;
    o.text() << "\nSearched: " << summary << "\n";
    for (const Search& s : searches)
        if (const auto* overIpx = dynamic_cast<const ipx::IpxServerContext*>(s.context.get()))
            showNetwareNames(o, overIpx->nameLists());
    if (!failed.empty())
        return o.fail(ExitFailure, joined(failed, "; "));
    return ExitOk;
}

} // namespace vnk::cli
