#include "cli/vnkctl.h"

#include "cli/backup.h"
#include "cli/record_view.h"
#include "sheet/rules/dhcp_rules.h"
#include "sheet/rules/mail_rules.h"
#include "sheet/rules/options_rules.h"
#include "platform/box_text.h"
#include "platform/error_reporter.h"
#include "platform/hostinfo.h"
#include "platform/inifile.h"
#include "platform/program_dir.h"
#include "platform/udp_socket.h"
#include "platform/version.h"
#include "transport/wol/magic_packet.h"
#include "protocol/consistent_read.h"
#include "protocol/firmware.h"
#include "protocol/model_line.h"
#include "protocol/pserver_context.h"
#include "protocol/record_fields.h"
#include "protocol/status_record.h"
#include "transport/ipx/ipx_context.h"
#include "transport/netbios/netbios_context.h"
#include "transport/udp/udp_context.h"

#include <strings.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstring>
#include <fstream>
#include <iomanip>
#include <istream>
#include <ostream>
#include <sstream>

namespace vnk::cli {

using namespace protocol;

namespace {

constexpr const char* Version = "vnkctl " VNK_VERSION;

const char* const Usage =
    "Usage: vnkctl [options] COMMAND [arguments]\n"
    "Finds and manages the print servers of the LAN.\n\n"
    "Commands:\n"
    "  list [--status]            the print servers found: name, Ethernet address, the IP address stored\n"
    "                             in the record and the model; --status reads each box's status and adds\n"
    "                             the IP address it is using\n"
    "  show BOX                   every field of the configuration record and the status texts\n"
    "  get BOX FIELD...           the values of some fields\n"
    "  set BOX FIELD=VALUE...     change fields (all or nothing); the box takes them after a reset\n"
    "  reset BOX                  reset the box and wait until it answers again\n"
    "  status BOX                 the device status\n"
    "  printers BOX               the state of each printer port\n"
    "  testprint BOX [--port P]   print a test page (P: LPT1-LPT3, COM1-COM2 or 1-5)\n"
    "  factory-default BOX        restore the factory settings (the box takes them after a reset)\n"
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
    "refused, nothing was sent; for wake: MAC is not twelve hex digits), 4 not found, 5 did not answer.\n"
    "On a loopback broadcast address (127.x.x.x) wake sends nothing outside 127.0.0.0/8.\n\n"
    "JSON output: every command prints one object with \"command\" (its name), \"ok\" (true or false)\n"
    "and, when it failed or has something to say, \"message\". Keys are snake_case; numbers are\n"
    "numbers, flags true or false, addresses and texts strings. Besides these:\n"
    "  list             \"print_servers\": [{\"name\", \"ethernet\", \"stored_ip\", \"model\",\n"
    "                   \"firmware_present\", and with --status \"active_ip\"}]; with --ipx also\n"
    "                   \"nds_trees\", \"file_servers\", \"netware_print_servers\": [names]; with\n"
    "                   --netbios each print server also has \"netbios_name\"\n"
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

// Text output: key/value pairs aligned; values made safe for a terminal.
using Pairs = std::vector<std::pair<std::string, std::string>>;

void printPairs(std::ostream& out, const Pairs& pairs) {
    std::size_t w = 0;
    for (const auto& p : pairs)
        w = std::max(w, p.first.size());
    for (const auto& p : pairs)
        out << std::left << std::setw(int(w)) << p.first << "  " << platform::terminalSafe(p.second) << "\n";
}

class StreamReporter final : public platform::ErrorReporter {
public:
    explicit StreamReporter(std::ostream& err) : m_err(err) {}
    void report(const std::string& text) override {
        ++m_reports;
        m_err << "vnkctl:" << text << "\n";
    }
    int reports() const { return m_reports; }

private:
    std::ostream& m_err;
    int m_reports = 0;
};

// A spinner on standard error while the protocol waits, on a terminal only.
class Progress {
public:
    Progress(std::ostream& err, bool terminal) : m_err(err), m_terminal(terminal) {}
    ~Progress() { done(); }
    void begin(const std::string& label) {
        done();
        m_label = label;
        m_active = true;
        tick();
    }
    void tick() {
        if (!m_terminal || !m_active)
            return;
        const auto now = std::chrono::steady_clock::now();
        if (now - m_last < std::chrono::milliseconds(100))
            return;
        m_last = now;
        static const char spin[] = "|/-\\";
        m_err << "\r" << m_label << " " << spin[m_step++ % 4] << std::flush;
    }
    void done() {
        if (m_terminal && m_active)
            m_err << "\r" << std::string(m_label.size() + 2, ' ') << "\r" << std::flush;
        m_active = false;
    }

private:
    std::ostream& m_err;
    bool m_terminal;
    bool m_active = false;
    std::string m_label;
    std::chrono::steady_clock::time_point m_last{};
    unsigned m_step = 0;
};

// What a command answers: text lines as it goes, or one JSON object at the end.
class Output {
public:
    Output(std::ostream& out, std::ostream& err, bool json) : m_out(out), m_err(err), m_json(json) {}
    bool json() const { return m_json; }
    // The text stream; in JSON mode text goes nowhere.
    std::ostream& text() { return m_json ? m_null : m_out; }
    Json& result() { return m_result; }
    void begin(const std::string& command) {
        m_result = Json::object();
        m_result["command"] = command;
        m_result["ok"] = true;
    }
    // A failure: the message on standard error, and in the result.
    int fail(int code, const std::string& message) {
        m_err << "vnkctl: " << message << "\n";
        m_result["ok"] = false;
        m_result["message"] = message;
        return code;
    }
    void note(const std::string& message) {
        m_err << "vnkctl: " << message << "\n";
        m_result["message"] = message;
    }
    void finish() {
        if (m_json)
            m_out << m_result.dump(2, ' ', false, Json::error_handler_t::replace) << "\n";
    }

private:
    std::ostream& m_out;
    std::ostream& m_err;
    bool m_json;
    std::ostringstream m_null;
    Json m_result = Json::object();
};

struct Options {
    bool json = false;
    bool withStatus = false; // list --status
    bool yes = false;        // restore --yes
    bool otherBox = false;   // restore --other-box
    bool ipx = false;        // every operation over IPX
    std::optional<std::uint16_t> ipxPort;
    bool netbios = false;    // list and show over NetBIOS
    std::optional<std::uint16_t> netbiosPort;
    std::string configPath;
    std::string testPort;
    std::string interface;
    int firmwareType = 0; // --type 1-3; 0 when not given
    std::optional<std::string> wakeIp;   // wake --ip
    std::optional<std::string> wakeFile; // wake --file
    std::optional<std::uint16_t> wolPort;
    std::vector<std::string> positional;
};

std::string lowerAscii(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return s;
}

class Session {
public:
    // ipx: the operations go over that IPX segment; else over UDP.
    Session(platform::Endpoint endpoint, const std::optional<platform::IpxSegment>& ipx, bool fast, Output& output,
            std::ostream& err, bool terminal, const std::string& settingsPath)
        : m_output(output), m_err(err), m_reporter(err), m_progress(err, terminal),
          m_owned(makeContext(std::move(endpoint), ipx, fast ? platform::Timing::fast() : platform::Timing::real(),
                              m_reporter)),
          m_ctx(*m_owned), m_udp(dynamic_cast<UdpServerContext*>(m_owned.get())),
          m_ipx(dynamic_cast<vnk::ipx::IpxServerContext*>(m_owned.get())) {
        m_ctx.settingsPath = settingsPath;
        m_ctx.programDirectory = platform::directoryOf(settingsPath);
        m_ctx.setIdleHook([this] { m_progress.tick(); });
    }

    CPServerContext& ctx() { return m_ctx; }
    // The IPX context, when the operations go over IPX.
    vnk::ipx::IpxServerContext* ipx() { return m_ipx; }
    Progress& progress() { return m_progress; }
    Output& output() { return m_output; }
    ServerEntry& entry() { return *m_ctx.selectedEntry(); }
    std::string name() { return shownName(entry().name()); }

    // Finds BOX and makes it the selected server. Returns an exit code.
    int select(const std::string& box) {
        // The separated form is always an address.
        if (const auto mac = box.size() == 17 ? parseMac(box) : std::nullopt)
            return selectMac(*mac);
        const int before = m_reporter.reports();
        m_progress.begin("Searching for " + platform::terminalSafe(box));
        bool searched = true;
        if (m_udp) {
            // The search ends as soon as the box of that name has answered.
            m_ctx.serverCount = 0;
            int socket = m_udp->openOperationSocket("XGetPort", true);
            searched = socket >= 0;
            if (socket >= 0) {
                m_udp->XGetAllPServername(socket, [&] { return exactMatch(box) >= 0; });
                if (socket >= 0)
                    platform::closeSocket(socket);
            }
        } else if (m_ipx) {
            // The same over IPX: the broadcast search ends at that box's answer.
            searched = m_ipx->XFindPrintServer([&] { return exactMatch(box) >= 0; }) == 1;
        } else {
            searched = m_ctx.XGetPort() == 1;
        }
        m_progress.done();
        if (const int i = exactMatch(box); i >= 0) {
            m_ctx.selectedIndex = i;
            return ExitOk;
        }
        std::vector<int> near;
        for (int i = 0; i < m_ctx.serverCount; ++i)
            if (lowerAscii(boxText(m_ctx.serverTable[std::size_t(i)].name())) == lowerAscii(box))
                near.push_back(i);
        if (near.size() == 1) {
            m_ctx.selectedIndex = near[0];
            m_err << "vnkctl: no print server is named \"" << platform::terminalSafe(box) << "\"; taking \""
                  << name() << "\"\n";
            return ExitOk;
        }
        if (near.size() > 1) {
            std::string names;
            for (int i : near)
                names += (names.empty() ? "" : ", ") + shownName(m_ctx.serverTable[std::size_t(i)].name());
            return m_output.fail(ExitNotFound, "several print servers are named \"" + platform::terminalSafe(box) +
                                                   "\" but for case (" + names + "); give the exact name");
        }
        // Twelve characters that parse as an address can only be twelve hex digits.
        if (box.size() == 12)
            if (const auto mac = parseMac(box))
                return selectMac(*mac);
        if (!searched || m_reporter.reports() != before)
            return m_output.fail(ExitFailure, "the search for print servers failed");
        return m_output.fail(ExitNotFound, "no print server named \"" + platform::terminalSafe(box) + "\" was found");
    }

    // False when a socket failure was reported while searching (what was found
    // before it is in the table all the same).
    bool discover() {
        m_progress.begin("Searching for print servers");
        const int before = m_reporter.reports();
        const bool ok = m_ctx.XGetPort() == 1 && m_reporter.reports() == before;
        m_progress.done();
        return ok;
    }

    // Reads the selected box's record. refusal: when given, the record is about
    // to be changed and written back (or saved), so it must pass the consistency
    // checks; one that never does is refused with this text after the name.
    int readRecord(const char* refusal = nullptr) {
        m_progress.begin("Reading the configuration");
        const ConsistentRead read = refusal ? readConsistentRecord(m_ctx, entry(), m_ctx.configBuffer)
                                    : m_ctx.XReadPServerEEProm(entry(), m_ctx.configBuffer) == 1
                                        ? ConsistentRead::Ok
                                        : ConsistentRead::NoAnswer;
        m_progress.done();
        if (read == ConsistentRead::NoAnswer)
            return noAnswer("Cannot Read EEPROM");
        if (read == ConsistentRead::Inconsistent)
            return m_output.fail(ExitFailure, "the record read from " + name() + " is inconsistent; " + refusal);
        m_ctx.parallelPortCount = parallelPorts(recordOf(m_ctx.configBuffer));
        m_ctx.serialPortCount = serialPorts(recordOf(m_ctx.configBuffer));
        return ExitOk;
    }

    int readStatus() {
        m_progress.begin("Reading the status");
        const bool ok = m_ctx.XGetPServerStatus(entry(), m_ctx.statusBuffer) == 1;
        m_progress.done();
        return ok ? ExitOk : noAnswer("Cannot Read Status");
    }

    int noAnswer(const std::string& what) { return m_output.fail(ExitNoAnswer, name() + ": " + what); }

private:
    static std::unique_ptr<CPServerContext> makeContext(platform::Endpoint endpoint,
                                                        const std::optional<platform::IpxSegment>& ipx,
                                                        const platform::Timing& timing,
                                                        platform::ErrorReporter& reporter) {
        if (ipx)
            return std::make_unique<vnk::ipx::IpxServerContext>(std::move(endpoint), *ipx, timing, reporter);
        return std::make_unique<UdpServerContext>(std::move(endpoint), timing, reporter);
    }

    int exactMatch(const std::string& box) const {
        for (int i = 0; i < m_ctx.serverCount; ++i) {
            const std::string n = m_ctx.serverTable[std::size_t(i)].name();
            if (n == box || boxText(n) == box)
                return i;
        }
        return -1;
    }

    int selectMac(const MacAddress& mac) {
        m_progress.begin("Searching for " + macText(mac));
        ServerEntry& e = m_ctx.serverTable[0];
        e = CPServerContext::entryFor(mac);
        Byte reply[DiscoveryReplySize];
        const bool found = m_ctx.XSearchPS(e, reply) == 1;
        m_progress.done();
        if (!found)
            return m_output.fail(ExitNoAnswer, "no print server answers at " + macText(mac));
        std::memcpy(e.identity.data(), reply + m_ctx.searchReplyIdentity(), IdentitySize);
        m_ctx.serverCount = 1;
        m_ctx.selectedIndex = 0;
        return ExitOk;
    }

    Output& m_output;
    std::ostream& m_err;
    StreamReporter m_reporter;
    Progress m_progress;
    std::unique_ptr<CPServerContext> m_owned;
    CPServerContext& m_ctx;
    UdpServerContext* m_udp;             // the UDP context, or nullptr
    vnk::ipx::IpxServerContext* m_ipx;   // the IPX context, or nullptr
};

Json identityJson(const ServerEntry& e) {
    const auto& id = e.identity;
    return Json{{"name", boxText(e.name())},
                {"device_name", boxText(deviceName(id))},
                {"ethernet", macText(e.ethernet)},
                {"vendor", id[identity::Vendor]},
                {"device_type", id[identity::DeviceType]},
                {"server_type", id[identity::ServerType]},
                {"identity_flags", id[identity::Flags]},
                {"features", id[identity::Features]},
                {"firmware_present", firmwarePresent(id)}};
}

Pairs identityPairs(const ServerEntry& e) {
    Pairs pairs;
    const Json identity = identityJson(e);
    for (const auto& [key, value] : identity.items()) {
        if (value.is_string())
            pairs.emplace_back(key, value.get<std::string>());
        else if (value.is_boolean())
            pairs.emplace_back(key, value.get<bool>() ? "yes" : "no");
        else if (key == "identity_flags" || key == "features") {
            char hex[8];
            std::snprintf(hex, sizeof hex, "0x%02X", value.get<unsigned>());
            pairs.emplace_back(key, hex);
        } else
            pairs.emplace_back(key, value.dump());
    }
    return pairs;
}

// The device status: JSON key, the label the status page gives it, the text.
struct StatusItem {
    const char* key;
    const char* label;
    std::string value;
};

std::vector<StatusItem> statusItems(const ServerEntry& e, std::span<const Byte, RecordSize> rec,
                                    const StatusBuffer& status, int parallelPortCount) {
    const DeviceStatusFields f = deviceStatusFields(e.identity, rec, status, parallelPortCount);
    const Byte mode = rec[record::DhcpMode];
    const Byte state = dhcpServerState(status);
    const std::string dhcp = rules::dhcpStatusText(mode, state, "");
    return {{"device_name", "Device Name", boxText(f.deviceName)},
            {"alias_name", "Alias Name", boxText(f.aliasName)},
            {"ethernet_id", "Ethernet ID", f.ethernetId},
            {"frame_type", "Frame Type", f.frameType},
            {"active_ip", "Active IP", f.activeIp},
            {"subnet_mask_in_use", "Subnet Mask In Use", maskInUse(status)},
            {"netbeui", "NetBEUI", f.netbeui},
            {"protocol_support", "Protocol Support", f.protocolSupport},
            {"diagnostic_print_out", "Diagnostic Print Out", f.diagnosticPrintOut},
            {"network_speed", "Network Speed", f.networkSpeed},
            {"model", "Model", modelLine(rec, e.identity[identity::Flags])},
            {"dhcp_server", "DHCP Server", (rec[record::Capabilities] & record::CapDhcpServer) ? dhcp : "N/A"},
            {"dhcp_starting_ip", "DHCP Starting IP", dhcpStart(status)},
            {"dhcp_next_available_ip", "DHCP Next available IP", dhcpNext(status)},
            {"dhcp_gateway_ip", "DHCP Gateway IP", dhcpGateway(status)},
            {"dhcp_netmask", "DHCP Netmask", dhcpNetmask(status)},
            {"dhcp_dns_server", "DHCP DNS server", dhcpDns(status)}};
}

std::vector<StatusItem> statusItems(CPServerContext& ctx) {
    return statusItems(*ctx.selectedEntry(), recordOf(ctx.configBuffer), ctx.statusBuffer,
                       ctx.parallelPortCount);
}

Json statusJson(const std::vector<StatusItem>& items) {
    Json j = Json::object();
    for (const auto& i : items)
        j[i.key] = i.value;
    return j;
}

Pairs statusPairs(const std::vector<StatusItem>& items) {
    Pairs pairs;
    for (const auto& i : items)
        pairs.emplace_back(i.label, i.value);
    return pairs;
}

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

int cmdList(Session& s, bool withStatus) {
    Output& o = s.output();
    const bool searched = s.discover();
    CPServerContext& ctx = s.ctx();
    Json list = Json::array();
    char line[200];
    if (ctx.serverCount > 0) {
        if (withStatus)
            std::snprintf(line, sizeof line, "%-16s %-17s  %-15s %-15s MODEL\n", "NAME", "ETHERNET", "STORED IP",
                          "ACTIVE IP");
        else
            std::snprintf(line, sizeof line, "%-16s %-17s  %-15s MODEL\n", "NAME", "ETHERNET", "STORED IP");
        o.text() << line;
    }
    for (int i = 0; i < ctx.serverCount; ++i) {
        ServerEntry& e = ctx.serverTable[std::size_t(i)];
        std::string model = "?";
        if (ctx.XReadPServerEEProm(e, ctx.configBuffer))
            model = modelLine(recordOf(ctx.configBuffer), e.identity[identity::Flags]);
        const std::string storedIp = dottedAt(e.ipAddress, 0);
        Json item{{"name", boxText(e.name())},
                  {"ethernet", macText(e.ethernet)},
                  {"stored_ip", storedIp},
                  {"model", model},
                  {"firmware_present", firmwarePresent(e.identity)}};
        std::string activeIp;
        if (withStatus) {
            activeIp = ctx.XGetPServerStatus(e, ctx.statusBuffer) ? protocol::activeIp(ctx.statusBuffer) : "?";
            item["active_ip"] = activeIp;
        }
        list.push_back(item);
        char active[24] = "";
        if (withStatus)
            std::snprintf(active, sizeof active, "%-15s ", activeIp.c_str());
        std::snprintf(line, sizeof line, "%-16s %s  %-15s %s%s%s\n", shownName(e.name()).c_str(),
                      macText(e.ethernet).c_str(), storedIp.c_str(), active, model.c_str(),
                      firmwarePresent(e.identity) ? "" : "  (no firmware)");
        o.text() << line;
    }
    o.result()["print_servers"] = list;
    if (!searched)
        return o.fail(ExitFailure, "the search for print servers failed");
    if (ctx.serverCount == 0)
        o.text() << "No print server found.\n";
    if (const auto* ipx = s.ipx()) {
        // What the bindery of the nearest file server names besides the boxes.
        const vnk::ipx::NameLists& names = ipx->nameLists();
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
    return ExitOk;
}

// Everything of one box: its identity, every field of its record, its status.
int showBox(Output& o, const ServerEntry& entry, std::span<const Byte, RecordSize> rec,
            const std::vector<StatusItem>& status) {
    Json record = Json::object();
    Pairs fields;
    for (const auto& f : allFields()) {
        record[f.name] = fieldJson(f, rec);
        fields.emplace_back(f.name, fieldValue(f, rec));
    }
    o.result()["identity"] = identityJson(entry);
    o.result()["record"] = record;
    o.result()["status"] = statusJson(status);
    o.text() << "[identity]\n";
    printPairs(o.text(), identityPairs(entry));
    o.text() << "\n[record]\n";
    printPairs(o.text(), fields);
    o.text() << "\n[status]\n";
    printPairs(o.text(), statusPairs(status));
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

// "Upgrading [#########-----------] 201/448" on standard error, on a terminal only.
class UpgradeBar {
public:
    UpgradeBar(std::ostream& err, bool terminal) : m_err(err), m_terminal(terminal) {}
    ~UpgradeBar() { done(); }
    void show(int blocks) {
        if (!m_terminal || blocks == m_shown)
            return;
        const auto now = std::chrono::steady_clock::now();
        if (blocks < firmware::FullImageBlocks && now - m_last < std::chrono::milliseconds(50))
            return;
        m_last = now;
        m_shown = blocks;
        const int width = 30;
        const int filled = std::min(width, blocks * width / firmware::FullImageBlocks);
        m_err << "\rUpgrading [" << std::string(std::size_t(filled), '#') << std::string(std::size_t(width - filled), '-')
              << "] " << blocks << "/" << firmware::FullImageBlocks << std::flush;
        m_drawn = true;
    }
    void done() {
        if (m_drawn)
            m_err << "\r" << std::string(60, ' ') << "\r" << std::flush;
        m_drawn = false;
    }

private:
    std::ostream& m_err;
    bool m_terminal;
    bool m_drawn = false;
    int m_shown = -1;
    std::chrono::steady_clock::time_point m_last{};
};

// The Upgrade page's checks, then the transfer; typeNumber 1-3, or 0 for the first image.
int cmdUpgrade(Session& s, std::ostream& err, const std::string& path, int typeNumber, bool terminal) {
    Output& o = s.output();
    CPServerContext& ctx = s.ctx();
    if (int rc = s.readRecord())
        return rc;
    ServerEntry& e = s.entry();
    const auto rec = recordOf(ctx.configBuffer);
    // Over UDP the box's revision must allow it; over IPX any box takes firmware.
    if (!s.ipx() && !supportsUdpUpgrade(rec))
        return o.fail(ExitFailure, shownName(noIpUpgradeText(e.name())));
    bool checks = true;
    const BrowseResult file = browseFirmwareFile(path, checks);
    if (isFileError(file.file))
        return o.fail(ExitBadValue, path + ": " + fileCheckText(file.file));
    int typeIndex = 0;
    if (typeNumber > 1) {
        const bool shown = typeNumber == 2 ? file.buttons.type2 : file.buttons.type3;
        if (!checks || !shown)
            return o.fail(ExitBadValue, path + " has no Type" + std::to_string(typeNumber) + " image to choose (" +
                                            (checks ? std::to_string(file.imageCount) + " image(s) of 524288 bytes"
                                                    : std::string("not a whole number of 524288-byte images")) +
                                            ")");
        typeIndex = typeNumber - 1;
    }
    const FileCheck check = checkFirmwareFile(path, typeIndex, modelCodeDigits(rec), checks);
    if (check != FileCheck::Accepted)
        return o.fail(ExitBadValue, fileCheckText(check));
    if (!checks) {
        o.text() << path << " is not a whole number of 524288-byte images: it is sent as one image, "
                 << "without the vendor and model checks.\n";
    } else if (const auto mask = readProtocolMask(path, typeIndex)) {
        std::string text = protocolMaskText(*mask);
        for (std::size_t at; (at = text.find("\n\n")) != std::string::npos;)
            text.erase(at, 1);
        o.text() << text;
    }
    MacAddress recordEthernet{};
    std::memcpy(recordEthernet.data(), rec.data() + record::EthernetAddress, 6);

    UpgradeBar bar(err, terminal);
    bar.show(0);
    UpgradeResult r;
    const int ok = XUpgradeFlashRAM(ctx, e, path, recordEthernet, typeIndex, [&](int n) { bar.show(n); }, &r);
    bar.done();
    o.result()["box"] = boxText(e.name());
    o.result()["image"] = typeIndex + 1;
    if (!ok) {
        const std::string why = r.end == UpgradeEnd::FileError ? fileCheckText(r.fileError) : upgradeEndText(r.end);
        return o.fail(ExitFailure, why + "; " + EnglishUpgradeTexts.failed);
    }
    o.text() << EnglishUpgradeTexts.succeeded << "\n";
    // The firmware was replaced whatever the reads after it say: a box that
    // cannot be read yet is a warning, not a failed upgrade.
    switch (rereadAfterUpgrade(ctx, e)) {
    case Reread::CannotReadEeprom:
    case Reread::CannotReadStatus:
        o.note("warning: the firmware was replaced, but " + s.name() + " could not be read afterwards");
        return ExitOk;
    case Reread::Ok:
        break;
    }
    o.text() << s.name() << ": " << modelLine(recordOf(ctx.configBuffer), e.identity[identity::Flags]) << " at "
             << activeIp(ctx.statusBuffer) << ", firmware present\n";
    return ExitOk;
}

int cmdBackup(Session& s, const std::string& path) {
    if (int rc = s.readRecord("no backup was made"))
        return rc;
    Output& o = s.output();
    const auto rec = recordOf(s.ctx().configBuffer);
    Backup b;
    b.name = boxText(s.entry().name());
    b.ethernet = macText(rec.subspan(record::EthernetAddress, 6));
    b.saved = utcTimestamp(std::time(nullptr));
    std::copy(rec.begin(), rec.end(), b.record.begin());
    std::string error;
    if (!writeBackupFile(path, b, &error))
        return o.fail(ExitFailure, error);
    o.result()["box"] = b.name;
    o.result()["ethernet"] = b.ethernet;
    o.result()["file"] = path;
    o.result()["saved"] = b.saved;
    o.text() << "Saved the record of " << s.name() << " (" << b.ethernet << ") in " << path << "\n";
    return ExitOk;
}

void showDifferences(Output& o, const std::vector<FieldChange>& changes) {
    Json list = Json::array();
    std::size_t w = 0;
    for (const auto& c : changes)
        w = std::max(w, c.field.size());
    for (const auto& c : changes) {
        list.push_back({{"field", c.field}, {"old", c.before}, {"new", c.after}});
        o.text() << std::left << std::setw(int(w)) << c.field << "  " << platform::terminalSafe(c.before) << " -> "
                 << platform::terminalSafe(c.after) << "\n";
    }
    if (changes.empty())
        o.text() << "No field differs.\n";
    o.result()["differences"] = list;
}

bool isRegularFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

int cmdDiffFiles(Output& o, const std::string& first, const std::string& second) {
    std::string error;
    const auto a = readBackupFile(first, &error);
    if (!a)
        return o.fail(ExitBadValue, error);
    const auto b = readBackupFile(second, &error);
    if (!b)
        return o.fail(ExitBadValue, error);
    showDifferences(o, recordDiff(a->record, b->record));
    return ExitOk;
}

int cmdDiff(Session& s, const std::string& path) {
    std::string error;
    const auto saved = readBackupFile(path, &error);
    if (!saved)
        return s.output().fail(ExitBadValue, error);
    if (int rc = s.readRecord())
        return rc;
    showDifferences(s.output(), recordDiff(recordOf(s.ctx().configBuffer), saved->record));
    return ExitOk;
}

struct Confirmation {
    bool yes = false;
    bool terminal = false;
    std::istream* in = nullptr;
};

int cmdRestore(Session& s, const std::string& path, bool otherBox, const Confirmation& confirm,
               std::ostream& err) {
    Output& o = s.output();
    std::string error;
    const auto saved = readBackupFile(path, &error);
    if (!saved)
        return o.fail(ExitBadValue, error);
    if (int rc = s.readRecord("nothing was written"))
        return rc;
    const auto current = recordOf(s.ctx().configBuffer);
    o.result()["box"] = boxText(s.entry().name());
    o.result()["file"] = path;
    o.result()["written"] = false;
    if (!sameBox(saved->record, current) && !otherBox)
        return o.fail(ExitBadValue, path + " was saved from " +
                                        macText(std::span<const Byte>(saved->record).subspan(record::EthernetAddress, 6)) +
                                        ", not from " + s.name() + " (" +
                                        macText(current.subspan(record::EthernetAddress, 6)) +
                                        "); --other-box restores it anyway; nothing was written");
    const ConfigRecord target = restoreTarget(saved->record, current);
    showDifferences(o, recordDiff(current, target));
    if (std::equal(target.begin(), target.begin() + ChecksumOffset, current.begin())) {
        o.text() << s.name() << " holds the saved record already.\n";
        return ExitOk;
    }
    bool go = confirm.yes;
    if (!go && confirm.terminal && confirm.in && !o.json()) {
        err << "Write these changes to " << s.name() << "? [y/N] " << std::flush;
        std::string answer;
        std::getline(*confirm.in, answer);
        go = !answer.empty() && (answer[0] == 'y' || answer[0] == 'Y');
    }
    if (!go)
        return o.fail(ExitFailure, "not confirmed (give --yes to write); nothing was written");
    std::copy(target.begin(), target.end(), current.begin());
    if (int rc = writeRecord(s, "Writing the saved record"))
        return rc;
    o.result()["written"] = true;
    o.text() << "Restored " << s.name() << " from " << path << "; it takes effect after 'vnkctl reset'.\n";
    return ExitOk;
}

// --- list and show over NetBIOS ---

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

int runOverNetbios(Output& o, const Options& opt, const std::string& command,
                   const std::vector<std::string>& items, const platform::Endpoint& endpoint,
                   std::ostream& err, const Environment& env) {
    const std::optional<std::uint16_t> port = opt.netbiosPort ? opt.netbiosPort : endpoint.netbiosPort;
    if (!port)
        return o.fail(ExitUsage, "NetBIOS is not set up here: give --netbios-port N or set VNK_NETBIOS_PORT");
    std::string why;
    auto adapters = platform::netbiosAdapters(endpoint.broadcast, *port, &why);
    if (!why.empty())
        return o.fail(ExitUsage, why);
    StreamReporter reporter(err);
    netbios::NetbiosServerContext ctx(endpoint, std::move(adapters),
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

    Json list = Json::array();
    char line[200];
    if (ctx.serverCount > 0) {
        if (opt.withStatus)
            std::snprintf(line, sizeof line, "%-16s %-17s  %-15s %-15s %-13s MODEL\n", "NAME", "ETHERNET",
                          "STORED IP", "ACTIVE IP", "NETBIOS NAME");
        else
            std::snprintf(line, sizeof line, "%-16s %-17s  %-15s %-13s MODEL\n", "NAME", "ETHERNET",
                          "STORED IP", "NETBIOS NAME");
        o.text() << line;
    }
    for (int i = 0; i < ctx.serverCount; ++i) {
        ServerEntry& e = ctx.serverTable[std::size_t(i)];
        const std::string name = e.name();
        const std::string model = ctx.XReadPServerEEProm(e, ctx.configBuffer)
                                      ? modelLine(recordOf(ctx.configBuffer), e.identity[identity::Flags])
                                      : "?";
        const std::string storedIp = dottedAt(e.ipAddress, 0);
        const std::string netbiosName = netbios::NetbiosServerContext::netbiosName(e);
        Json item{{"name", boxText(name)},
                  {"ethernet", macText(e.ethernet)},
                  {"stored_ip", storedIp},
                  {"model", model},
                  {"firmware_present", firmwarePresent(e.identity)},
                  {"netbios_name", boxText(netbiosName)}};
        char active[24] = "";
        if (opt.withStatus) {
            const std::string activeIp =
                ctx.XGetPServerStatus(e, ctx.statusBuffer) ? protocol::activeIp(ctx.statusBuffer) : "?";
            item["active_ip"] = activeIp;
            std::snprintf(active, sizeof active, "%-15s ", activeIp.c_str());
        }
        list.push_back(item);
        std::snprintf(line, sizeof line, "%-16s %s  %-15s %s%-13s %s%s\n", shownName(name).c_str(),
                      macText(e.ethernet).c_str(), storedIp.c_str(), active, shownName(netbiosName).c_str(),
                      model.c_str(), firmwarePresent(e.identity) ? "" : "  (no firmware)");
        o.text() << line;
    }
    o.result()["print_servers"] = list;
    if (ctx.serverCount == 0)
        o.text() << "No print server found.\n";
    return ExitOk;
}

// Wake-on-LAN: one magic packet, or one for each line of a MagicPkt.ini list.
int cmdWake(Output& o, const Options& opt, const std::vector<std::string>& items, const platform::Endpoint& endpoint,
            std::ostream& err, const Environment& env) {
    const wol::WolDestination where{endpoint.broadcast, opt.wolPort.value_or(endpoint.wolPort)};
    std::vector<std::pair<std::string, std::string>> targets;
    if (opt.wakeFile) {
        const std::string& path = *opt.wakeFile;
        if (!isRegularFile(path))
            return o.fail(ExitFailure, "cannot read " + platform::terminalSafe(path));
        std::ifstream file(path, std::ios::binary);
        std::string text;
        char chunk[4096];
        while (file && text.size() <= wol::MaxMagicPktBytes &&
               (file.read(chunk, sizeof chunk) || file.gcount() > 0))
            text.append(chunk, std::size_t(file.gcount()));
        if (!file && !file.eof())
            return o.fail(ExitFailure, "cannot read " + platform::terminalSafe(path));
        if (text.size() > wol::MaxMagicPktBytes)
            return o.fail(ExitFailure, platform::terminalSafe(path) + " is larger than 1 MiB");
        targets = wol::magicPacketTargets(text);
        if (targets.empty())
            o.note(platform::terminalSafe(path) + " names no PC (only lines that end in a line feed count)");
    } else {
        targets = {{opt.wakeIp.value_or("255.255.255.255"), items[0]}};
    }

    std::string invalid = wol::InvalidEthernetIdText;
    std::replace(invalid.begin(), invalid.end(), '\n', ' ');
    StreamReporter reporter(err);
    const platform::Timing timing = env.fastTiming ? platform::Timing::fast() : platform::Timing::real();
    Json list = Json::array();
    int unsent = 0;
    bool badMac = false;
    for (const auto& [ip, mac] : targets) {
        const auto result = wol::SendMagicPacket(ip, mac, where, timing, false, reporter);
        const auto to = wol::magicPacketDestination(ip, where);
        const std::string shownMac = platform::terminalSafe(mac), shownIp = platform::terminalSafe(ip);
        const std::array<Byte, 4> toBytes{Byte(to.value_or(0) >> 24), Byte(to.value_or(0) >> 16),
                                          Byte(to.value_or(0) >> 8), Byte(to.value_or(0))};
        const std::string destination = to ? dottedAt(toBytes, 0) : std::string();
        const bool sent = result == wol::WakeResult::Sent;
        list.push_back(Json{{"ip", boxText(ip)},
                            {"ethernet", boxText(mac)},
                            {"destination", to ? Json(destination) : Json(nullptr)},
                            {"port", where.port},
                            {"sent", sent}});
        if (sent) {
            o.text() << "magic packet for " << shownMac << " sent to " << destination << " port " << where.port
                     << "\n";
            continue;
        }
        ++unsent;
        if (result == wol::WakeResult::InvalidMac) {
            badMac = true;
            if (opt.wakeFile)
                err << "vnkctl: " << shownMac << ": " << invalid << "\n";
        } else if (result == wol::WakeResult::SendFailed) {
            err << "vnkctl: not every magic packet for " << shownMac << " went out to " << shownIp << "\n";
        }
    }
    o.result()["targets"] = list;
    if (unsent == 0)
        return ExitOk;
    if (!opt.wakeFile)
        return badMac ? o.fail(ExitBadValue, platform::terminalSafe(items[0]) + ": " + invalid + " Nothing was sent.")
                      : o.fail(ExitFailure, "the magic packet was not sent");
    return o.fail(ExitFailure, std::to_string(unsent) + " of " + std::to_string(targets.size()) +
                                   " magic packets were not sent");
}

// What every command needs on its command line, checked before anybody waits
// on the network. Returns an exit code, or ExitOk.
int checkArguments(Output& o, const Options& opt, const std::string& command, std::vector<std::string>& items,
                   const rules::HostResolver& resolve) {
    static const std::vector<std::string> boxCommands = {"list",    "show",   "get",      "set",
                                                         "reset",   "status", "printers", "testprint",
                                                         "upgrade", "factory-default", "backup", "diff",
                                                         "restore", "wake"};
    if (std::find(boxCommands.begin(), boxCommands.end(), command) == boxCommands.end())
        return o.fail(ExitUsage, "unknown command " + platform::terminalSafe(command) + " (see --help)");
    const std::size_t given = items.size();
    if (command != "list" && command != "wake" && given == 0)
        return o.fail(ExitUsage, command + " needs a BOX (a print server name or Ethernet address)");
    if (command == "list" && given != 0)
        return o.fail(ExitUsage, "list takes no BOX");
    if (opt.ipxPort && !opt.ipx)
        return o.fail(ExitUsage, "--ipx-port goes with --ipx");
    if (opt.netbiosPort && !opt.netbios)
        return o.fail(ExitUsage, "--netbios-port goes with --netbios");
    if (opt.netbios && opt.ipx)
        return o.fail(ExitUsage, "give --ipx or --netbios, not both");
    if (opt.netbios && command != "list" && command != "show")
        return o.fail(ExitUsage, "over NetBIOS vnkctl can list and show only");
    if (opt.withStatus && command != "list")
        return o.fail(ExitUsage, "--status belongs to list");
    if ((opt.yes || opt.otherBox) && command != "restore")
        return o.fail(ExitUsage, "--yes and --other-box belong to restore");
    if (!opt.testPort.empty() && command != "testprint")
        return o.fail(ExitUsage, "--port belongs to testprint (the command port is --command-port)");
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
    if ((command == "testprint" || command == "show" || command == "status" || command == "printers" ||
         command == "reset" || command == "factory-default") &&
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

    if (opt.netbios)
        return runOverNetbios(o, opt, command, items, endpoint, err, env);

    std::optional<platform::IpxSegment> segment;
    if (opt.ipx) {
        std::string why;
        segment = platform::ipxSegmentFromEnvironment(&why);
        if (!why.empty())
            return o.fail(ExitUsage, why);
        if (!segment && !opt.ipxPort)
            return o.fail(ExitUsage, "IPX is not set up here: give --ipx-port N or set VNK_IPX_PORT");
        if (!segment)
            segment = platform::IpxSegment{};
        if (opt.ipxPort)
            segment->carrierPort = *opt.ipxPort;
        segment->broadcast = endpoint.broadcast;
        if (segment->localNode == platform::IpxNode{})
            segment->localNode = {0x02, 0x00, 0x00, 0x00, 0x00, 0x01};
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
    return cmdTestPrint(s, opt.testPort);
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
                       a == "--netbios-port" || a == "--ip" || a == "--file" || a == "--wol-port") {
                const auto v = value();
                if (!v)
                    return o.fail(ExitUsage, a + " needs a value");
                if (a == "--port") {
                    opt.testPort = *v;
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
        return runCommand(o, opt, std::move(endpoint), err, env);
    }();
    o.finish();
    return code;
}

} // namespace vnk::cli
