#include "cli/vnkctl.h"

#include "cli/commands.h"

#include <algorithm>
#include <ostream>

namespace vnk::cli {

namespace {

int runCommand(Output& o, const Options& opt, platform::Endpoint endpoint, std::ostream& err,
               const Environment& env) {
    if (opt.positional.empty()) {
        err << Usage;
        return o.fail(ExitUsage, "no command given");
    }
    const std::string command = opt.positional[0];
    o.begin(command);
    if (command == "fields")
        return cmdFields(o);
    std::vector<std::string> items(opt.positional.begin() + 1, opt.positional.end());
    if (int rc = checkArguments(o, opt, command, items, env.resolve))
        return rc;
    // Two files: no box and no network.
    if (command == "diff" && isRegularFile(items[0]))
        return cmdDiffFiles(o, items[0], items[1]);
    if (command == "wake")
        return cmdWake(o, opt, items, endpoint, err, env);

    if (command == "list" && opt.all)
        return cmdListAll(o, opt, endpoint, err, env);
    if (opt.netbios)
        return runOverNetbios(o, opt, command, items, endpoint, err, env);

    std::optional<platform::IpxSegment> segment;
    if (opt.ipx) {
        std::string why;
        segment = ipxSegment(opt.ipxPort, endpoint, why);
        if (!why.empty())
            return o.fail(ExitUsage, why);
        if (!segment)
            return o.fail(ExitUsage, "IPX is not set up here: give --ipx-port N or set VNK_IPX_PORT");
    }
    Session s(std::move(endpoint), segment, env.fastTiming, o, err, env.terminal, opt.configPath);
    if (command == "list")
        return cmdList(s, opt.withStatus);
    if (int rc = s.select(items[0]))
        return rc;
    const std::vector<std::string> more(items.begin() + 1, items.end());
    if (command == "show")
        return cmdShow(s);
    if (command == "get")
        return cmdGet(s, more);
    if (command == "set")
        return cmdSet(s, more);
    if (command == "reset")
        return cmdReset(s);
    if (command == "status")
        return cmdStatus(s);
    if (command == "printers")
        return cmdPrinters(s);
    if (command == "factory-default")
        return cmdFactoryDefault(s);
    if (command == "upgrade")
        return cmdUpgrade(s, err, more[0], opt.firmwareType, env.terminal);
    if (command == "backup")
        return cmdBackup(s, more[0]);
    if (command == "diff")
        return cmdDiff(s, more[0]);
    if (command == "restore")
        return cmdRestore(s, more[0], opt.otherBox, {opt.yes, env.inputTerminal, env.input}, err);
    if (command == "queue")
        return cmdQueue(s, opt.port, opt.driver.value_or("auto"));
    return cmdTestPrint(s, opt.port);
}

} // namespace

int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, const Environment& env) {
    const bool json = std::find(args.begin(), args.end(), "--json") != args.end();
    Output o(out, err, json);
    const int code = [&]() -> int {
        std::string envError;
        platform::Endpoint endpoint = platform::Endpoint::fromEnvironment(&envError);
        if (!envError.empty())
            return o.fail(ExitUsage, envError);
        Options opt;
        opt.json = json;
        if (const auto ended = parseOptions(args, env, opt, endpoint, out, o))
            return *ended;
        return runCommand(o, opt, std::move(endpoint), err, env);
    }();
    o.finish();
    return code;
}

} // namespace vnk::cli
