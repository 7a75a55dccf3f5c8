// list and show over NetBIOS datagrams, as the setup wizard reaches the boxes.
#include "cli/commands.h"

#include "cli/box_view.h"
#include "platform/box_text.h"
#include "protocol/model_line.h"
#include "protocol/status_record.h"
#include "transport/netbios/netbios_context.h"

#include <cstdio>

namespace vnk::cli {

using namespace protocol;

namespace {

// BOX among the entries: the exact name, else the one name that matches without
// regard to case, else the Ethernet address. -1 when there is none (o says why).
int findNetbiosBox(Output& o, const CPServerContext& ctx, const std::string& box, std::ostream& err) {
    std::vector<int> near;
    for (int i = 0; i < ctx.serverCount; ++i) {
        const std::string n = ctx.serverTable[std::size_t(i)].name();
        if (n == box || boxText(n) == box)
            return i;
        if (lowerAscii(boxText(n)) == lowerAscii(box))
            near.push_back(i);
    }
    if (near.size() == 1) {
        err << "vnkctl: no print server is named \"" << platform::terminalSafe(box) << "\"; taking \""
            << shownName(ctx.serverTable[std::size_t(near[0])].name()) << "\"\n";
        return near[0];
    }
    if (near.size() > 1) {
        o.fail(ExitNotFound, "several print servers are named \"" + platform::terminalSafe(box) +
                                 "\" but for case; give the exact name");
        return -1;
    }
    if (const auto mac = (box.size() == 17 || box.size() == 12) ? parseMac(box) : std::nullopt)
        for (int i = 0; i < ctx.serverCount; ++i)
            if (ctx.serverTable[std::size_t(i)].ethernet == *mac)
                return i;
    o.fail(ExitNotFound,
           "no print server named \"" + platform::terminalSafe(box) + "\" answers over NetBIOS");
    return -1;
}

} // namespace

int runOverNetbios(Output& o, const Options& opt, const std::string& command,
                   const std::vector<std::string>& items, const platform::Endpoint& endpoint,
                   std::ostream& err, const Environment& env) {
    std::string why;
    auto adapters = netbiosAdapters(opt.netbiosPort, endpoint, why);
    if (!why.empty())
        return o.fail(ExitUsage, why);
    if (!adapters)
        return o.fail(ExitUsage, "NetBIOS is not set up here: give --netbios-port N or set VNK_NETBIOS_PORT");
    StreamReporter reporter(err);
    netbios::NetbiosServerContext ctx(endpoint, std::move(*adapters),
                                      env.fastTiming ? platform::Timing::fast() : platform::Timing::real(), reporter);
    Progress progress(err, env.terminal);
    progress.begin("Searching for print servers over NetBIOS");
    ctx.XGetPort();
    progress.done();
    if (const auto failure = ctx.startFailure())
        return o.fail(ExitFailure, "NetBIOS: " + *failure);

    if (command == "show") {
        const int i = findNetbiosBox(o, ctx, items[0], err);
        if (i < 0)
            return ExitNotFound;
        ServerEntry& e = ctx.serverTable[std::size_t(i)];
        const std::string name = shownName(e.name());
        if (!ctx.XReadPServerEEProm(e, ctx.configBuffer))
            return o.fail(ExitNoAnswer, name + ": Cannot Read EEPROM");
        if (!ctx.XGetPServerStatus(e, ctx.statusBuffer))
            return o.fail(ExitNoAnswer, name + ": Cannot Read Status");
        const auto rec = recordOf(ctx.configBuffer);
        return showBox(o, e, rec, statusItems(e, rec, ctx.statusBuffer, parallelPorts(rec)));
    }

    static constexpr ListColumn NetbiosColumn{"NETBIOS NAME", 13};
    Json list = Json::array();
    if (ctx.serverCount > 0)
        o.text() << listHeader(opt.withStatus, &NetbiosColumn);
    for (int i = 0; i < ctx.serverCount; ++i) {
        ServerEntry& e = ctx.serverTable[std::size_t(i)];
        const std::string model = ctx.XReadPServerEEProm(e, ctx.configBuffer)
                                      ? modelLine(recordOf(ctx.configBuffer), e.identity[identity::Flags])
                                      : "?";
        const std::string netbiosName = netbios::NetbiosServerContext::netbiosName(e);
        Json item = listItem(e, model);
        item["netbios_name"] = boxText(netbiosName);
        std::string activeIp;
        if (opt.withStatus) {
            activeIp = ctx.XGetPServerStatus(e, ctx.statusBuffer) ? protocol::activeIp(ctx.statusBuffer) : "?";
            item["active_ip"] = activeIp;
        }
        list.push_back(item);
        o.text() << listLine(e, model, opt.withStatus ? &activeIp : nullptr, &NetbiosColumn, shownName(netbiosName));
    }
    o.result()["print_servers"] = list;
    if (ctx.serverCount == 0)
        o.text() << "No print server found.\n";
    return ExitOk;
}

} // namespace vnk::cli
