// The commands on one box's record and state: fields, list, show, get, status,
// set, factory-default, reset, printers and testprint.
#include "cli/commands.h"

#include "cli/box_view.h"
#include "platform/box_text.h"
#include "protocol/consistent_read.h"
#include "protocol/model_line.h"
#include "protocol/record_fields.h"
#include "protocol/status_record.h"
#include "sheet/rules/dhcp_rules.h"
#include "sheet/rules/options_rules.h"
#include "transport/ipx/ipx_context.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace vnk::cli {

using namespace protocol;

int cmdFields(Output& o) {
    Json list = Json::array();
    for (const auto& f : allFields()) {
        list.push_back({{"name", f.name},
                        {"offset", f.offset},
                        {"width", f.width},
                        {"read_only", f.readOnly},
                        {"description", f.description}});
        char line[200];
        std::snprintf(line, sizeof line, "%-24s %3zu  %2zu  %-3s %s\n", f.name, f.offset, f.width,
                      f.readOnly ? "ro" : "rw", f.description);
        o.text() << line;
    }
    o.result()["fields"] = list;
    return ExitOk;
}

void showNetwareNames(Output& o, const ipx::NameLists& names) {
    const std::pair<const char*, const std::vector<std::string>*> lists[] = {
        {"nds_trees", &names.ndsTrees},
        {"file_servers", &names.fileServers},
        {"netware_print_servers", &names.printServers}};
    const char* titles[] = {"NDS trees", "File servers", "Other NetWare print servers"};
    for (std::size_t k = 0; k < 3; ++k) {
        Json items = Json::array();
        o.text() << "\n" << titles[k] << ":" << (lists[k].second->empty() ? " none" : "") << "\n";
        for (const auto& listed : *lists[k].second) {
            // A tree's name is shown without its "_" padding, as the NetWare page shows it.
            const std::string n = k == 0 ? trimTreePadding(listed) : listed;
            items.push_back(boxText(n));
            o.text() << "  " << shownName(n) << "\n";
        }
        o.result()[lists[k].first] = items;
    }
}

int cmdList(Session& s, bool withStatus) {
    Output& o = s.output();
    const bool searched = s.discover();
    CPServerContext& ctx = s.ctx();
    Json list = Json::array();
    if (ctx.serverCount > 0)
        o.text() << listHeader(withStatus);
    for (int i = 0; i < ctx.serverCount; ++i) {
        ServerEntry& e = ctx.serverTable[std::size_t(i)];
        std::string model = "?";
        if (ctx.XReadPServerEEProm(e, ctx.configBuffer))
            model = modelLine(recordOf(ctx.configBuffer), e.identity[identity::Flags]);
        Json item = listItem(e, model);
        std::string activeIp;
        if (withStatus) {
            activeIp = ctx.XGetPServerStatus(e, ctx.statusBuffer) ? protocol::activeIp(ctx.statusBuffer) : "?";
            item["active_ip"] = activeIp;
        }
        list.push_back(item);
        o.text() << listLine(e, model, withStatus ? &activeIp : nullptr);
    }
    o.result()["print_servers"] = list;
    if (!searched)
        return o.fail(ExitFailure, "the search for print servers failed");
    if (ctx.serverCount == 0)
        o.text() << "No print server found.\n";
    if (const auto* ipx = s.ipx())
        showNetwareNames(o, ipx->nameLists());
    return ExitOk;
}

int cmdShow(Session& s) {
    if (int rc = s.readRecord())
        return rc;
    if (int rc = s.readStatus())
        return rc;
    return showBox(s.output(), s.entry(), recordOf(s.ctx().configBuffer), statusItems(s.ctx()));
}

int cmdGet(Session& s, const std::vector<std::string>& names) {
    if (int rc = s.readRecord())
        return rc;
    Output& o = s.output();
    const auto rec = recordOf(s.ctx().configBuffer);
    Json values = Json::object();
    Pairs pairs;
    for (const auto& n : names) {
        const FieldDef& f = *findField(n);
        values[f.name] = fieldJson(f, rec);
        pairs.emplace_back(f.name, fieldValue(f, rec));
    }
    o.result()["box"] = boxText(s.entry().name());
    o.result()["fields"] = values;
    if (pairs.size() == 1)
        o.text() << platform::terminalSafe(pairs[0].second) << "\n";
    else
        printPairs(o.text(), pairs);
    return ExitOk;
}

int cmdStatus(Session& s) {
    if (int rc = s.readRecord())
        return rc;
    if (int rc = s.readStatus())
        return rc;
    const auto items = statusItems(s.ctx());
    s.output().result()["box"] = boxText(s.entry().name());
    s.output().result()["status"] = statusJson(items);
    printPairs(s.output().text(), statusPairs(items));
    return ExitOk;
}

// A text typed on the command line, as the bytes the box is to keep: the bytes
// it holds when the text is what it shows, else the text in the box's code page.
std::vector<std::string> storedTexts(const std::vector<std::string>& assignments,
                                     std::span<const Byte, RecordSize> rec) {
    std::vector<std::string> out;
    for (const auto& a : assignments) {
        const auto eq = a.find('=');
        const FieldDef* f = eq == std::string::npos ? nullptr : findField(a.substr(0, eq));
        if (!f || !isTextField(*f)) {
            out.push_back(a);
            continue;
        }
        out.push_back(a.substr(0, eq + 1) +
                      platform::bytesForShownText(a.substr(eq + 1), readField(*f, rec), BoxCodePage));
    }
    return out;
}

int writeRecord(Session& s, const char* label) {
    s.progress().begin(label);
    const bool ok = s.ctx().XWritePServerEEProm(s.entry(), s.ctx().configBuffer) == 1;
    s.progress().done();
    return ok ? ExitOk : s.noAnswer("Cannot Write EEProm");
}

int cmdSet(Session& s, const std::vector<std::string>& typed) {
    if (int rc = s.readRecord("nothing was written"))
        return rc;
    Output& o = s.output();
    CPServerContext& ctx = s.ctx();
    const auto current = recordOf(ctx.configBuffer);
    const std::vector<std::string> assignments = storedTexts(typed, current);
    ConfigRecord after{};
    std::copy(current.begin(), current.end(), after.begin());
    const AssignmentResult r = applyAssignments(after, assignments);
    std::vector<std::string> refused = r.errors;
    if (r.ok()) {
        // What the DHCP and mail pages would refuse, vnkctl refuses too.
        const std::string name = s.entry().name();
        for (auto& m : rules::checkDhcpChange(current, after, name))
            refused.push_back(shownName(m));
        for (auto& m : rules::checkMailChange(current, after, name))
            refused.push_back(shownName(m));
    }
    if (!refused.empty()) {
        std::string all;
        for (const auto& e : refused)
            all += platform::terminalSafe(e) + "; ";
        return o.fail(ExitBadValue, all + "nothing was written");
    }
    std::copy(after.begin(), after.end(), current.begin());
    if (int rc = writeRecord(s, "Writing the configuration"))
        return rc;
    Json written = Json::object();
    for (const auto& a : assignments) {
        const FieldDef& f = *findField(a.substr(0, a.find('=')));
        written[f.name] = fieldJson(f, current);
    }
    o.result()["box"] = boxText(s.entry().name());
    o.result()["written"] = written;
    o.text() << "Written to " << s.name() << "; it takes effect after 'vnkctl reset'.\n";
    return ExitOk;
}

int cmdFactoryDefault(Session& s) {
    if (int rc = s.readRecord("nothing was written"))
        return rc;
    rules::applyFactoryDefault(recordOf(s.ctx().configBuffer), s.entry());
    if (int rc = writeRecord(s, "Writing the factory defaults"))
        return rc;
    s.output().result()["box"] = boxText(s.entry().name());
    s.output().result()["message"] = rules::AliasChangedMessage;
    s.output().text() << rules::AliasChangedMessage << "\n";
    return ExitOk;
}


int cmdReset(Session& s) {
    Output& o = s.output();
    const std::string before = s.entry().name();
    s.progress().begin("Resetting " + s.name() + " and waiting for it to come back");
    std::string failure;
    const ReconnectResult r = s.ctx().resetAndReconnect([&](const std::string& m) {
        if (failure.empty())
            failure = shownName(m);
    });
    s.progress().done();
    if (!r.ok())
        return o.fail(ExitNoAnswer, failure);
    // The box comes back with the name its record gives it.
    const std::string after = fieldText(recordOf(s.ctx().configBuffer), record::AliasName, 16);
    const std::string activeIp = protocol::activeIp(s.ctx().statusBuffer);
    o.result()["box"] = boxText(after);
    o.result()["previous_name"] = boxText(before);
    o.result()["active_ip"] = activeIp;
    if (after == before)
        o.text() << shownName(before) << " is back at " << activeIp << "\n";
    else
        o.text() << shownName(before) << " is back as " << shownName(after) << " at " << activeIp << "\n";
    return ExitOk;
}

// The printer's display text without the quotes the box puts around it.
std::string unquoted(const std::string& text) {
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"')
        return text.substr(1, text.size() - 2);
    return text;
}

int cmdPrinters(Session& s) {
    Output& o = s.output();
    CPServerContext& ctx = s.ctx();
    if (!firmwarePresent(s.entry().identity))
        return o.fail(ExitFailure, "You have to upgrade Varnotek first !!!");
    if (int rc = s.readRecord())
        return rc;
    if (int rc = s.readStatus())
        return rc;
    ServerEntry& e = s.entry();
    s.progress().begin("Asking the printers");
    const auto ports = printerPortStatuses(
        ctx.statusBuffer, ctx.parallelPortCount, ctx.serialPortCount, hasExtendedPrinterStatus(e.identity),
        [&](int i) -> const PrinterStatusBuffer* {
            return ctx.XGetPrinterStatus(e, ctx.printerStatusBuffer, i) ? &ctx.printerStatusBuffer : nullptr;
        });
    s.progress().done();
    Json list = Json::array();
    for (const auto& p : ports) {
        Json items = Json::array();
        for (const auto& item : p.identification)
            items.push_back(boxText(item));
        list.push_back({{"port", p.port},
                        {"state", p.state},
                        {"display", p.display ? Json(boxText(unquoted(*p.display))) : Json(nullptr)},
                        {"identification", items}});
        o.text() << std::left << std::setw(6) << p.port << " " << shownName(p.display.value_or(p.state)) << "\n";
        for (const auto& item : p.identification)
            o.text() << std::setw(6) << "" << " " << shownName(item) << "\n";
    }
    o.result()["box"] = boxText(e.name());
    o.result()["printers"] = list;
    return ExitOk;
}

int portArgument(const std::string& text) {
    static const char* names[] = {"LPT1", "LPT2", "LPT3", "COM1", "COM2"};
    for (int i = 0; i < 5; ++i)
        if (strcasecmp(text.c_str(), names[i]) == 0 || text == std::to_string(i + 1))
            return i;
    return -1;
}

int cmdTestPrint(Session& s, const std::string& portText) {
    Output& o = s.output();
    CPServerContext& ctx = s.ctx();
    if (int rc = s.readRecord())
        return rc;
    int port = 0;
    if (!portText.empty()) {
        port = portArgument(portText);
        const bool present = port >= 0 && (port < 3 ? port < ctx.parallelPortCount : port - 3 < ctx.serialPortCount);
        if (!present)
            return o.fail(ExitBadValue, s.name() + " has no port " + platform::terminalSafe(portText));
    }
    s.progress().begin("Printing a test page");
    const bool ok = ctx.XTestPrint(s.entry(), port) == 1;
    s.progress().done();
    if (!ok)
        return s.noAnswer("the test print was not confirmed");
    const std::string portName = protocol::portName(port, 3);
    o.result()["box"] = boxText(s.entry().name());
    o.result()["port"] = portName;
    // The IPX request carries the port; the UDP request is the header alone.
    const bool inRequest = s.ipx() != nullptr;
    o.result()["port_in_request"] = inRequest;
    o.text() << "Test page sent to " << s.name() << " for " << portName
             << (inRequest ? " (the request names the port)\n"
                           : " (the request names no port: the box prints it on the port it chooses)\n");
    return ExitOk;
}

} // namespace vnk::cli
