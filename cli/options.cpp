#include "cli/options.h"

#include "platform/box_text.h"
#include "platform/hostinfo.h"
#include "platform/version.h"
#include "protocol/record_fields.h"

#include <algorithm>
#include <cctype>
#include <ostream>

namespace vnk::cli {

using namespace protocol;

const char* const Version = "vnkctl " VNK_VERSION;

const char* const Usage =
    "Usage: vnkctl [options] COMMAND [arguments]\n"
    "Finds and manages the print servers of the LAN.\n\n"
    "Commands:\n"
    "  list [--status]            the print servers found: name, Ethernet address, the IP address stored\n"
    "                             in the record and the model; --status reads each box's status and adds\n"
    "                             the IP address it is using\n"
    "  list --all [--status]      one search over UDP, IPX (when $VNK_IPX_PORT or --ipx-port is set) and\n"
    "                             NetBIOS (when $VNK_NETBIOS_PORT or --netbios-port is set) at the same\n"
    "                             time: each box once, by Ethernet address, with the transports it\n"
    "                             answered on\n"
    "  show BOX                   every field of the configuration record and the status texts\n"
    "  get BOX FIELD...           the values of some fields\n"
    "  set BOX FIELD=VALUE...     change fields (all or nothing); the box takes them after a reset\n"
    "  reset BOX                  reset the box and wait until it answers again\n"
    "  status BOX                 the device status\n"
    "  printers BOX               the state of each printer port\n"
    "  testprint BOX [--port P]   print a test page (P: LPT1-LPT3, COM1-COM2 or 1-5)\n"
    "  factory-default BOX        restore the factory settings (the box takes them after a reset)\n"
    "  queue BOX [--port N] [--driver auto|raw|NAME]\n"
    "                             make or update the CUPS queue of each parallel port of the box (or of\n"
    "                             port N: 1-3 or LPT1-LPT3) on the CUPS server of $CUPS_SERVER (else\n"
    "                             libcups' own); it prints through the varnotek backend, which finds the\n"
    "                             box wherever its address moves (a CUPS without that backend gets\n"
    "                             lpd://ADDRESS/LPTn instead); the driver: auto (default) takes the one\n"
    "                             CUPS offers for the printer's device ID with the same make and model,\n"
    "                             else raw; raw; or a ppd-name as 'lpinfo -m' lists it\n"
    "  upgrade BOX FILE [--type N]\n"
    "                             replace the box's firmware with image N (1-3, default 1) of FILE\n"
    "  backup BOX FILE            save the box's configuration record in FILE\n"
    "  diff BOX FILE | diff FILE FILE\n"
    "                             the fields that differ, with the old (first) and new (second) value\n"
    "  restore BOX FILE [--yes] [--other-box]\n"
    "                             show what differs, then write the saved record back (with --yes, or\n"
    "                             after a yes on a terminal); the box keeps its own Ethernet address,\n"
    "                             ports, capabilities and model bytes; a file saved from another box is\n"
    "                             refused unless --other-box is given\n"
    "  fields                     the fields of the configuration record\n"
    "  wake MAC [--ip ADDR] | wake --file FILE\n"
    "                             send a Wake-on-LAN magic packet (six times) for the PC with Ethernet\n"
    "                             address MAC (twelve hex digits, such as 0000B400A5F6) to ADDR (default\n"
    "                             255.255.255.255, which stands for the broadcast address); with --file,\n"
    "                             one for each line ADDR-MAC of a MagicPkt.ini list (lines that end in a\n"
    "                             line feed; // starts a comment)\n\n"
    "BOX is a print server name (an exact name, else the one name that matches without regard to\n"
    "case) or an Ethernet address (00:00:B4:12:33:44, or 0000B4123344 when no box has that name).\n\n"
    "Options:\n"
    "  --json                     answer with one JSON object (below)\n"
    "  --ipx                      every operation over IPX (the carrier port: --ipx-port N or\n"
    "                             $VNK_IPX_PORT); list then also names the NDS trees, file servers\n"
    "                             and other print servers of the nearest NetWare file server\n"
    "  --netbios                  list and show over NetBIOS datagrams, as the setup wizard reaches\n"
    "                             the boxes (the datagram port: --netbios-port N or $VNK_NETBIOS_PORT;\n"
    "                             one adapter on loopback, else one per network interface)\n"
    "  --interface NAME           broadcast to the directed broadcast address of that interface\n"
    "  --broadcast ADDR           broadcast address (default $VNK_BROADCAST or 255.255.255.255)\n"
    "  --command-port N           command port (default $VNK_PORT or 13364)\n"
    "  --fw-port N                firmware data port (default $VNK_FW_PORT or 13393)\n"
    "  --wol-port N               magic packet port (default $VNK_WOL_PORT or 6000)\n"
    "  --config FILE              Config.ini for the vendor and device type filter\n"
    "                             (default: Config.ini beside this program)\n"
    "  --help, --version\n\n"
    "Exit status: 0 done, 1 failed, 2 usage, 3 bad value (nothing written; for upgrade: the file was\n"
    "refused, nothing was sent; for wake: MAC is not twelve hex digits; for testprint and queue: the box\n"
    "has no such port), 4 not found, 5 did not answer. queue fails (1) when no CUPS server answers or it\n"
    "refuses a queue.\n"
    "On a loopback broadcast address (127.x.x.x) wake sends nothing outside 127.0.0.0/8.\n\n"
    "JSON output: every command prints one object with \"command\" (its name), \"ok\" (true or false)\n"
    "and, when it failed or has something to say, \"message\". Keys are snake_case; numbers are\n"
    "numbers, flags true or false, addresses and texts strings. Besides these:\n"
    "  list             \"print_servers\": [{\"name\", \"ethernet\", \"stored_ip\", \"model\",\n"
    "                   \"firmware_present\", and with --status \"active_ip\"}]; with --ipx also\n"
    "                   \"nds_trees\", \"file_servers\", \"netware_print_servers\": [names]; with\n"
    "                   --netbios each print server also has \"netbios_name\"; with --all each has\n"
    "                   \"transports\": [\"udp\", \"ipx\", \"netbios\"] (those it answered on) and, when\n"
    "                   it answered over NetBIOS, \"netbios_name\"; \"searched\": {transport: {\"found\",\n"
    "                   \"ok\"}}, and the NetWare names when IPX was searched\n"
    "  show             \"identity\": {\"name\", \"device_name\", \"ethernet\", \"vendor\", \"device_type\",\n"
    "                   \"server_type\", \"identity_flags\", \"features\", \"firmware_present\"},\n"
    "                   \"record\": {every field of 'vnkctl fields'}, \"status\": {as status}\n"
    "  get              \"box\", \"fields\": {FIELD: value}\n"
    "  status           \"box\", \"status\": {\"device_name\", \"alias_name\", \"ethernet_id\", \"frame_type\",\n"
    "                   \"active_ip\", \"subnet_mask_in_use\", \"netbeui\", \"protocol_support\",\n"
    "                   \"diagnostic_print_out\", \"network_speed\", \"model\", \"dhcp_server\",\n"
    "                   \"dhcp_starting_ip\", \"dhcp_next_available_ip\", \"dhcp_gateway_ip\",\n"
    "                   \"dhcp_netmask\", \"dhcp_dns_server\"}\n"
    "  printers         \"box\", \"printers\": [{\"port\", \"state\", \"display\" (the printer's display\n"
    "                   text, or null), \"identification\": [items]}]\n"
    "  set              \"box\", \"written\": {FIELD: value}\n"
    "  reset            \"box\" (the name it came back with), \"previous_name\", \"active_ip\"\n"
    "  testprint        \"box\", \"port\", \"port_in_request\" (true over IPX, whose request carries the\n"
    "                   port; false over UDP: the request names no port and the box prints on the\n"
    "                   port it chooses)\n"
    "  factory-default  \"box\"\n"
    "  queue            \"box\", \"queues\": [{\"name\", \"port\" (\"LPT1\"), \"device_uri\", \"driver\" (\"raw\",\n"
    "                   a ppd-name, or null: the queue kept the driver it had), \"make_and_model\" (of\n"
    "                   the driver, or null), \"created\" (false: updated)}], \"report\": [the text lines]\n"
    "  upgrade          \"box\", \"image\" (1-3)\n"
    "  backup           \"box\", \"ethernet\", \"file\", \"saved\"\n"
    "  diff, restore    \"differences\": [{\"field\", \"old\", \"new\"}]; restore also \"box\", \"file\",\n"
    "                   \"written\"\n"
    "  fields           \"fields\": [{\"name\", \"offset\", \"width\", \"read_only\", \"description\"}]\n"
    "  wake             \"targets\": [{\"ip\" (as given), \"ethernet\", \"destination\" (the address sent\n"
    "                   to, or null), \"port\", \"sent\" (all six sends went out)}]\n"
    "Texts of a box are shown as UTF-8 when they are, else read as Windows-1252.\n\n"
    "Backup file: the line \"VNKCTL-BACKUP 1\", lines \"name: \", \"ethernet: \", \"saved: \" (UTC) and\n"
    "\"record: 512\", an empty line, then the 512 bytes of the record as the box held them.\n";

namespace {

// A mail server may be given by name: it is stored as the first address the
// name resolves to, as the mail page does; an empty one stores 0.0.0.0.
std::optional<std::string> resolveMailServers(std::vector<std::string>& assignments,
                                              const rules::HostResolver& resolve) {
    std::string failures;
    for (auto& a : assignments) {
        const auto eq = a.find('=');
        if (eq == std::string::npos)
            continue;
        const std::string name = lowerAscii(a.substr(0, eq));
        if (name.size() != 12 || name.rfind("mail", 0) != 0 || name.substr(5) != "_server" || name[4] < '1' ||
            name[4] > '3')
            continue;
        const auto address = rules::mailServerAddress(a.substr(eq + 1), resolve);
        if (!address) {
            std::string m = rules::invalidMailServerMessage(name[4] - '0');
            while (!m.empty() && m.back() == '\n')
                m.pop_back();
            failures += m + "; ";
            continue;
        }
        a = a.substr(0, eq + 1) + dottedAt(*address, 0);
    }
    if (failures.empty())
        return std::nullopt;
    return failures;
}

} // namespace

std::optional<int> parseOptions(const std::vector<std::string>& args, const Environment& env, Options& opt,
                                platform::Endpoint& endpoint, std::ostream& out, Output& o) {
    opt.configPath = env.programDirectory + "/Config.ini";
    std::string broadcast;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&]() -> std::optional<std::string> {
            if (i + 1 >= args.size())
                return std::nullopt;
            return args[++i];
        };
        if (a == "--help" || a == "-h") {
            out << Usage;
            return ExitOk;
        }
        if (a == "--version") {
            out << Version << "\n";
            return ExitOk;
        }
        if (a == "--json") {
            continue;
        } else if (a == "--status") {
            opt.withStatus = true;
        } else if (a == "--all") {
            opt.all = true;
        } else if (a == "--yes") {
            opt.yes = true;
        } else if (a == "--other-box") {
            opt.otherBox = true;
        } else if (a == "--ipx") {
            opt.ipx = true;
        } else if (a == "--netbios") {
            opt.netbios = true;
        } else if (a == "--port" || a == "--type" || a == "--broadcast" || a == "--interface" ||
                   a == "--command-port" || a == "--fw-port" || a == "--config" || a == "--ipx-port" ||
                   a == "--netbios-port" || a == "--ip" || a == "--file" || a == "--wol-port" ||
                   a == "--driver") {
            const auto v = value();
            if (!v)
                return o.fail(ExitUsage, a + " needs a value");
            if (a == "--port") {
                opt.port = *v;
            } else if (a == "--driver") {
                opt.driver = *v;
            } else if (a == "--type") {
                if (*v != "1" && *v != "2" && *v != "3")
                    return o.fail(ExitUsage, "--type takes 1, 2 or 3");
                opt.firmwareType = std::stoi(*v);
            } else if (a == "--broadcast") {
                if (!platform::parseIPv4(*v))
                    return o.fail(ExitUsage, "not an IPv4 address: " + platform::terminalSafe(*v));
                broadcast = *v;
            } else if (a == "--interface") {
                opt.interface = *v;
            } else if (a == "--config") {
                opt.configPath = *v;
            } else if (a == "--ip") {
                opt.wakeIp = *v;
            } else if (a == "--file") {
                opt.wakeFile = *v;
            } else if (a == "--wol-port") {
                const auto p = platform::parsePort(*v);
                if (!p)
                    return o.fail(ExitUsage, "not a port number: " + platform::terminalSafe(*v));
                opt.wolPort = *p;
            } else if (a == "--ipx-port" || a == "--netbios-port") {
                const auto p = platform::parsePort(*v);
                if (!p)
                    return o.fail(ExitUsage, "not a port number: " + platform::terminalSafe(*v));
                (a == "--ipx-port" ? opt.ipxPort : opt.netbiosPort) = *p;
            } else {
                const auto p = platform::parsePort(*v);
                if (!p)
                    return o.fail(ExitUsage, "not a port number: " + platform::terminalSafe(*v));
                (a == "--command-port" ? endpoint.commandPort : endpoint.firmwarePort) = *p;
            }
        } else if (a.size() > 1 && a[0] == '-' && !std::isdigit(static_cast<unsigned char>(a[1]))) {
            return o.fail(ExitUsage, "unknown option " + platform::terminalSafe(a) + " (see --help)");
        } else {
            opt.positional.push_back(a);
        }
    }
    if (!opt.interface.empty() && !broadcast.empty())
        return o.fail(ExitUsage, "give --interface or --broadcast, not both");
    if (!opt.interface.empty()) {
        const platform::SystemHostInfo system;
        const platform::HostInfo& host = env.host ? *env.host : system;
        const auto address = platform::interfaceBroadcast(host, opt.interface);
        if (!address)
            return o.fail(ExitUsage, "no interface " + platform::terminalSafe(opt.interface) +
                                         " with an IPv4 address and mask");
        broadcast = *address;
    }
    if (!broadcast.empty())
        endpoint.broadcast = broadcast;
    return std::nullopt;
}

int queuePortArgument(const std::string& text) {
    for (int n = 1; n <= 3; ++n)
        if (text == std::to_string(n) || lowerAscii(text) == "lpt" + std::to_string(n))
            return n;
    return 0;
}

int checkArguments(Output& o, const Options& opt, const std::string& command, std::vector<std::string>& items,
                   const rules::HostResolver& resolve) {
    static const std::vector<std::string> boxCommands = {"list",    "show",   "get",      "set",
                                                         "reset",   "status", "printers", "testprint",
                                                         "upgrade", "factory-default", "backup", "diff",
                                                         "restore", "wake", "queue"};
    if (std::find(boxCommands.begin(), boxCommands.end(), command) == boxCommands.end())
        return o.fail(ExitUsage, "unknown command " + platform::terminalSafe(command) + " (see --help)");
    const std::size_t given = items.size();
    if (command != "list" && command != "wake" && given == 0)
        return o.fail(ExitUsage, command + " needs a BOX (a print server name or Ethernet address)");
    if (command == "list" && given != 0)
        return o.fail(ExitUsage, "list takes no BOX");
    if (opt.all && command != "list")
        return o.fail(ExitUsage, "--all belongs to list");
    if (opt.all && (opt.ipx || opt.netbios))
        return o.fail(ExitUsage, "list --all searches every transport set up here: give no --ipx or --netbios");
    if (opt.ipxPort && !opt.ipx && !opt.all)
        return o.fail(ExitUsage, "--ipx-port goes with --ipx or list --all");
    if (opt.netbiosPort && !opt.netbios && !opt.all)
        return o.fail(ExitUsage, "--netbios-port goes with --netbios or list --all");
    if (opt.netbios && opt.ipx)
        return o.fail(ExitUsage, "give --ipx or --netbios, not both");
    if (opt.netbios && command != "list" && command != "show")
        return o.fail(ExitUsage, "over NetBIOS vnkctl can list and show only");
    if (opt.withStatus && command != "list")
        return o.fail(ExitUsage, "--status belongs to list");
    if ((opt.yes || opt.otherBox) && command != "restore")
        return o.fail(ExitUsage, "--yes and --other-box belong to restore");
    if (!opt.port.empty() && command != "testprint" && command != "queue")
        return o.fail(ExitUsage, "--port belongs to testprint and queue (the command port is --command-port)");
    if (opt.driver && command != "queue")
        return o.fail(ExitUsage, "--driver belongs to queue");
    if (command == "queue") {
        if (!opt.port.empty() && queuePortArgument(opt.port) == 0)
            return o.fail(ExitUsage, "queue --port takes 1-3 or LPT1-LPT3");
        if (opt.driver && opt.driver->empty())
            return o.fail(ExitUsage, "--driver takes auto, raw or a driver's ppd-name (see 'lpinfo -m')");
    }
    if (opt.firmwareType != 0 && command != "upgrade")
        return o.fail(ExitUsage, "--type belongs to upgrade");
    if ((opt.wakeIp || opt.wakeFile || opt.wolPort) && command != "wake")
        return o.fail(ExitUsage, "--ip, --file and --wol-port belong to wake");
    if (command == "wake") {
        if (opt.ipx)
            return o.fail(ExitUsage, "magic packets go over UDP: wake takes no --ipx");
        if (opt.wakeFile && opt.wakeIp)
            return o.fail(ExitUsage, "give --ip or --file, not both (the file names each PC's address)");
        if (opt.wakeFile && given != 0)
            return o.fail(ExitUsage, "wake --file takes no MAC: the file names the PCs");
        if (!opt.wakeFile && given != 1)
            return o.fail(ExitUsage, "wake takes one MAC (twelve hex digits, such as 0000B400A5F6)");
        return ExitOk;
    }
    for (const char* two : {"upgrade", "backup", "diff", "restore"})
        if (command == two && given != 2)
            return o.fail(ExitUsage, command + " takes a BOX and a FILE");
    if ((command == "testprint" || command == "queue" || command == "show" || command == "status" ||
         command == "printers" || command == "reset" || command == "factory-default") &&
        given > 1)
        return o.fail(ExitUsage, command + " takes one BOX");
    if (command == "set") {
        if (auto failures = resolveMailServers(items, resolve))
            return o.fail(ExitBadValue, *failures + "nothing was written");
    }
    if (command == "get" || command == "set") {
        if (given < 2)
            return o.fail(ExitUsage, command + " needs at least one " + (command == "get" ? "FIELD" : "FIELD=VALUE"));
        // A field that does not exist or an item without "=" is a mistake in the
        // command line; a value that does not fit its field is a bad value.
        std::string usage, badValue;
        for (std::size_t i = 1; i < items.size(); ++i) {
            const std::string& item = items[i];
            const auto eq = item.find('=');
            const std::string name = command == "set" ? item.substr(0, eq) : item;
            const FieldDef* f = findField(name);
            if (!f) {
                usage += "no field named \"" + platform::terminalSafe(name) + "\" (see 'vnkctl fields'); ";
            } else if (command == "set") {
                const std::string value = eq == std::string::npos ? std::string() : item.substr(eq + 1);
                if (eq == std::string::npos)
                    usage += platform::terminalSafe(item) + ": expected FIELD=VALUE; ";
                else if (auto e = checkField(*f, isTextField(*f) ? platform::encodeBoxText(value, BoxCodePage) : value))
                    badValue += platform::terminalSafe(*e) + "; ";
            }
        }
        const std::string tail = command == "set" ? "nothing was written" : "nothing was read";
        if (!usage.empty())
            return o.fail(ExitUsage, usage + badValue + tail);
        if (!badValue.empty())
            return o.fail(ExitBadValue, badValue + tail);
    }
    return ExitOk;
}

} // namespace vnk::cli
