#include "cli/vnkctl.h"

#include "platform/box_text.h"
#include "platform/error_reporter.h"
#include "platform/inifile.h"
#include "platform/program_dir.h"
#include "protocol/consistent_read.h"
#include "protocol/firmware.h"
#include "protocol/model_line.h"
#include "protocol/pserver_context.h"
#include "protocol/record_fields.h"
#include "protocol/status_record.h"
#include "ipconfig/rules/dhcp_rules.h"
#include "ipconfig/rules/mail_rules.h"
#include "ipconfig/rules/options_rules.h"

#include <arpa/inet.h>
#include <strings.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstring>
#include <iomanip>
#include <ostream>
#include <sstream>

namespace vnk::cli {

using namespace protocol;

namespace {

constexpr const char* Version = "vnkctl 0.1.0";

const char* const Usage =
    "Usage: vnkctl [options] COMMAND [arguments]\n"
    "Finds and manages the print servers of the LAN.\n\n"
    "Commands:\n"
    "  list                       the print servers found (name, Ethernet address, IP, model)\n"
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
    "  fields                     the fields of the configuration record\n\n"
    "BOX is a print server name or an Ethernet address (00:00:B4:12:33:44).\n\n"
    "Options:\n"
    "  --json                     JSON output (list, show, get, status, printers)\n"
    "  --broadcast ADDR           broadcast address (default $VNK_BROADCAST or 255.255.255.255)\n"
    "  --command-port N           command port (default $VNK_PORT or 13364)\n"
    "  --fw-port N                firmware data port (default $VNK_FW_PORT or 13393)\n"
    "  --config FILE              Config.ini for the vendor and device type filter\n"
    "                             (default: Config.ini beside this program)\n"
    "  --help, --version\n\n"
    "Exit status: 0 done, 1 failed, 2 usage, 3 bad value (for upgrade: the file was refused,\n"
    "nothing was sent), 4 not found, 5 did not answer.\n";

// The box's 8-bit texts are shown by the one rule of the suite: UTF-8 when they
// are UTF-8, else Windows-1252, as the IP utility shows them.
constexpr platform::CodePage BoxCodePage = platform::CodePage::Windows1252;

std::string boxText(const std::string& bytes) {
    return platform::decodeBoxText(bytes, BoxCodePage);
}
// A box's name in a message or a line of text output.
std::string shownName(const std::string& bytes) {
    return platform::terminalSafe(boxText(bytes));
}

// s is UTF-8 (texts from a box have been decoded): its characters go out as
// they are, control characters escaped.
std::string jsonString(const std::string& s) {
    std::string o = "\"";
    for (unsigned char c : s) {
        switch (c) {
        case '"': o += "\\\""; break;
        case '\\': o += "\\\\"; break;
        case '\n': o += "\\n"; break;
        case '\r': o += "\\r"; break;
        case '\t': o += "\\t"; break;
        default:
            if (c < 0x20 || c == 0x7F) {
                char u[8];
                std::snprintf(u, sizeof u, "\\u%04x", c);
                o += u;
            } else {
                o += char(c);
            }
        }
    }
    return o + "\"";
}

// The display form of a field; texts of the box decoded.
bool isTextField(const FieldDef& f) {
    return f.kind == FieldKind::Text || f.kind == FieldKind::TextFillWidth || f.kind == FieldKind::TreeName;
}
std::string fieldValue(const FieldDef& f, std::span<const Byte, RecordSize> rec) {
    return isTextField(f) ? boxText(readField(f, rec)) : readField(f, rec);
}

// Key/value pairs printed either aligned or as one JSON object.
using Pairs = std::vector<std::pair<std::string, std::string>>;

void printPairs(std::ostream& out, const Pairs& pairs, bool json) {
    if (json) {
        out << "{";
        for (std::size_t i = 0; i < pairs.size(); ++i)
            out << (i ? ", " : "") << jsonString(pairs[i].first) << ": " << jsonString(pairs[i].second);
        out << "}\n";
        return;
    }
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

struct Options {
    bool json = false;
    std::string configPath;
    std::string testPort;
    int firmwareType = 0; // --type 1-3; 0 when not given
    std::vector<std::string> positional;
};

class Session {
public:
    Session(platform::Endpoint endpoint, bool fast, std::ostream& out, std::ostream& err, bool terminal,
            const std::string& settingsPath)
        : m_out(out), m_err(err), m_reporter(err), m_progress(err, terminal),
          m_ctx(std::move(endpoint), fast ? platform::Timing::fast() : platform::Timing::real(), m_reporter) {
        m_ctx.settingsPath = settingsPath;
        m_ctx.programDirectory = platform::directoryOf(settingsPath);
        m_ctx.setIdleHook([this] { m_progress.tick(); });
    }

    CPServerContext& ctx() { return m_ctx; }
    Progress& progress() { return m_progress; }

    // Finds BOX and makes it the selected server. Returns an exit code.
    int select(const std::string& box) {
        // Only the separated form counts as an address: a name may be twelve hex digits.
        if (const auto mac = box.size() == 17 ? parseMac(box) : std::nullopt) {
            m_progress.begin("Searching for " + macText(*mac));
            ServerEntry& e = m_ctx.serverTable[0];
            e = ServerEntry{};
            e.ethernet = *mac;
            Byte reply[DiscoveryReplySize];
            const bool found = m_ctx.XSearchPS(e, reply) == 1;
            m_progress.done();
            if (!found) {
                m_err << "vnkctl: no print server answers at " << macText(*mac) << "\n";
                return ExitNoAnswer;
            }
            std::memcpy(e.identity.data(), reply + HeaderSize, IdentitySize);
            m_ctx.serverCount = 1;
            m_ctx.selectedIndex = 0;
            return ExitOk;
        }
        if (!discover())
            return ExitFailure;
        for (int i = 0; i < m_ctx.serverCount; ++i)
            if (m_ctx.serverTable[std::size_t(i)].name() == box ||
                boxText(m_ctx.serverTable[std::size_t(i)].name()) == box) {
                m_ctx.selectedIndex = i;
                return ExitOk;
            }
        m_err << "vnkctl: no print server named \"" << platform::terminalSafe(box) << "\" was found\n";
        return ExitNotFound;
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

    // forChange: the record is about to be changed and written back, so it must
    // pass the consistency checks; one that never does is not written.
    int readRecord(bool forChange = false) {
        m_progress.begin("Reading the configuration");
        ServerEntry& entry = *m_ctx.selectedEntry();
        const ConsistentRead read = forChange ? readConsistentRecord(m_ctx, entry, m_ctx.configBuffer)
                                   : m_ctx.XReadPServerEEProm(entry, m_ctx.configBuffer) == 1 ? ConsistentRead::Ok
                                                                                              : ConsistentRead::NoAnswer;
        m_progress.done();
        if (read == ConsistentRead::NoAnswer)
            return noAnswer("Cannot Read EEPROM");
        if (read == ConsistentRead::Inconsistent) {
            m_err << "vnkctl: the record read from " << shownName(entry.name())
                  << " is inconsistent; nothing was written\n";
            return ExitFailure;
        }
        m_ctx.parallelPortCount = parallelPorts(recordOf(m_ctx.configBuffer));
        m_ctx.serialPortCount = serialPorts(recordOf(m_ctx.configBuffer));
        return ExitOk;
    }

    int readStatus() {
        m_progress.begin("Reading the status");
        const bool ok = m_ctx.XGetPServerStatus(*m_ctx.selectedEntry(), m_ctx.statusBuffer) == 1;
        m_progress.done();
        return ok ? ExitOk : noAnswer("Cannot Read Status");
    }

    int noAnswer(const std::string& what) {
        m_err << "vnkctl: " << shownName(m_ctx.selectedEntry()->name()) << ": " << what << "\n";
        return ExitNoAnswer;
    }

private:
    std::ostream& m_out;
    std::ostream& m_err;
    StreamReporter m_reporter;
    Progress m_progress;
    CPServerContext m_ctx;
};

Pairs identityPairs(const ServerEntry& e) {
    const auto& id = e.identity;
    char hex[8];
    auto h = [&](Byte b) {
        std::snprintf(hex, sizeof hex, "0x%02X", b);
        return std::string(hex);
    };
    return {{"name", boxText(e.name())},
            {"device_name", boxText(deviceName(id))},
            {"ethernet", macText(e.ethernet)},
            {"vendor", std::to_string(id[identity::Vendor])},
            {"device_type", std::to_string(id[identity::DeviceType])},
            {"server_type", std::to_string(id[identity::ServerType])},
            {"identity_flags", h(id[identity::Flags])},
            {"features", h(id[identity::Features])},
            {"firmware_present", firmwarePresent(id) ? "1" : "0"}};
}

Pairs statusPairs(CPServerContext& ctx) {
    const ServerEntry& e = *ctx.selectedEntry();
    const auto rec = recordOf(ctx.configBuffer);
    const DeviceStatusFields f = deviceStatusFields(e.identity, rec, ctx.statusBuffer, ctx.parallelPortCount);
    const Byte mode = rec[record::DhcpMode];
    const Byte state = dhcpServerState(ctx.statusBuffer);
    const std::string dhcp = rules::dhcpStatusText(mode, state, "");
    return {{"Device Name", boxText(f.deviceName)},
            {"Alias Name", boxText(f.aliasName)},
            {"Ethernet ID", f.ethernetId},
            {"Frame Type", f.frameType},
            {"Active IP", f.activeIp},
            {"Subnet Mask In Use", maskInUse(ctx.statusBuffer)},
            {"NetBEUI", f.netbeui},
            {"Protocol Support", f.protocolSupport},
            {"Diagnostic Print Out", f.diagnosticPrintOut},
            {"Network Speed", f.networkSpeed},
            {"Model", modelLine(rec, e.identity[identity::Flags])},
            {"DHCP Server", (rec[record::Capabilities] & record::CapDhcpServer) ? dhcp : "N/A"},
            {"DHCP Starting IP", dhcpStart(ctx.statusBuffer)},
            {"DHCP Next available IP", dhcpNext(ctx.statusBuffer)},
            {"DHCP Gateway IP", dhcpGateway(ctx.statusBuffer)},
            {"DHCP Netmask", dhcpNetmask(ctx.statusBuffer)},
            {"DHCP DNS server", dhcpDns(ctx.statusBuffer)}};
}

int cmdFields(std::ostream& out, bool json) {
    if (json) {
        out << "[";
        bool first = true;
        for (const auto& f : allFields()) {
            out << (first ? "" : ", ") << "{\"name\": " << jsonString(f.name) << ", \"offset\": " << f.offset
                << ", \"width\": " << f.width << ", \"read_only\": " << (f.readOnly ? "true" : "false")
                << ", \"description\": " << jsonString(f.description) << "}";
            first = false;
        }
        out << "]\n";
        return ExitOk;
    }
    for (const auto& f : allFields()) {
        char line[200];
        std::snprintf(line, sizeof line, "%-24s %3zu  %2zu  %-3s %s\n", f.name, f.offset, f.width,
                      f.readOnly ? "ro" : "rw", f.description);
        out << line;
    }
    return ExitOk;
}

int cmdList(Session& s, std::ostream& out, std::ostream& err, bool json) {
    const bool searched = s.discover();
    CPServerContext& ctx = s.ctx();
    if (json)
        out << "[";
    for (int i = 0; i < ctx.serverCount; ++i) {
        ServerEntry& e = ctx.serverTable[std::size_t(i)];
        std::string model = "?";
        if (ctx.XReadPServerEEProm(e, ctx.configBuffer))
            model = modelLine(recordOf(ctx.configBuffer), e.identity[identity::Flags]);
        const std::string ip = dottedAt(e.ipAddress, 0);
        if (json) {
            out << (i ? ", " : "") << "{\"name\": " << jsonString(boxText(e.name()))
                << ", \"ethernet\": " << jsonString(macText(e.ethernet)) << ", \"ip\": " << jsonString(ip)
                << ", \"model\": " << jsonString(model)
                << ", \"firmware_present\": " << (firmwarePresent(e.identity) ? "true" : "false") << "}";
        } else {
            char line[160];
            std::snprintf(line, sizeof line, "%-16s %s  %-15s %s%s\n", shownName(e.name()).c_str(),
                          macText(e.ethernet).c_str(),
                          ip.c_str(), model.c_str(), firmwarePresent(e.identity) ? "" : "  (no firmware)");
            out << line;
        }
    }
    if (json)
        out << "]\n";
    if (!searched) {
        err << "vnkctl: the search for print servers failed\n";
        return ExitFailure;
    }
    if (!json && ctx.serverCount == 0)
        out << "No print server found.\n";
    return ExitOk;
}

int cmdShow(Session& s, std::ostream& out, bool json) {
    if (int rc = s.readRecord())
        return rc;
    if (int rc = s.readStatus())
        return rc;
    CPServerContext& ctx = s.ctx();
    const auto rec = recordOf(ctx.configBuffer);
    Pairs ident = identityPairs(*ctx.selectedEntry());
    Pairs fields;
    for (const auto& f : allFields())
        fields.emplace_back(f.name, fieldValue(f, rec));
    Pairs status = statusPairs(ctx);
    if (json) {
        out << "{\"identity\": ";
        printPairs(out, ident, true);
        out << ", \"record\": ";
        printPairs(out, fields, true);
        out << ", \"status\": ";
        printPairs(out, status, true);
        out << "}\n";
        return ExitOk;
    }
    out << "[identity]\n";
    printPairs(out, ident, false);
    out << "\n[record]\n";
    printPairs(out, fields, false);
    out << "\n[status]\n";
    printPairs(out, status, false);
    return ExitOk;
}

int cmdGet(Session& s, std::ostream& out, const std::vector<std::string>& names, bool json) {
    if (int rc = s.readRecord())
        return rc;
    const auto rec = recordOf(s.ctx().configBuffer);
    Pairs values;
    for (const auto& n : names)
        values.emplace_back(findField(n)->name, fieldValue(*findField(n), rec));
    if (json) {
        printPairs(out, values, true);
    } else if (values.size() == 1) {
        out << platform::terminalSafe(values[0].second) << "\n";
    } else {
        printPairs(out, values, false);
    }
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

int cmdSet(Session& s, std::ostream& out, std::ostream& err, const std::vector<std::string>& typed) {
    if (int rc = s.readRecord(true))
        return rc;
    CPServerContext& ctx = s.ctx();
    const auto current = recordOf(ctx.configBuffer);
    const std::vector<std::string> assignments = storedTexts(typed, current);
    ConfigRecord after{};
    std::copy(current.begin(), current.end(), after.begin());
    const AssignmentResult r = applyAssignments(after, assignments);
    std::vector<std::string> refused = r.errors;
    if (r.ok()) {
        // What the DHCP and mail pages would refuse, vnkctl refuses too.
        const std::string name = ctx.selectedEntry()->name();
        for (auto& m : rules::checkDhcpChange(current, after, name))
            refused.push_back(std::move(m));
        for (auto& m : rules::checkMailChange(current, after, name))
            refused.push_back(std::move(m));
    }
    if (!refused.empty()) {
        for (const auto& e : refused)
            err << "vnkctl: " << e << "\n";
        err << "vnkctl: nothing was written\n";
        return ExitBadValue;
    }
    std::copy(after.begin(), after.end(), current.begin());
    s.progress().begin("Writing the configuration");
    const bool ok = ctx.XWritePServerEEProm(*ctx.selectedEntry(), ctx.configBuffer) == 1;
    s.progress().done();
    if (!ok)
        return s.noAnswer("Cannot Write EEProm");
    out << "Written to " << shownName(ctx.selectedEntry()->name()) << "; it takes effect after 'vnkctl reset'.\n";
    return ExitOk;
}

int cmdFactoryDefault(Session& s, std::ostream& out) {
    if (int rc = s.readRecord(true))
        return rc;
    CPServerContext& ctx = s.ctx();
    rules::applyFactoryDefault(recordOf(ctx.configBuffer), *ctx.selectedEntry());
    s.progress().begin("Writing the factory defaults");
    const bool ok = ctx.XWritePServerEEProm(*ctx.selectedEntry(), ctx.configBuffer) == 1;
    s.progress().done();
    if (!ok)
        return s.noAnswer("Cannot Write EEProm");
    out << rules::AliasChangedMessage << "\n";
    return ExitOk;
}

// A mail server may be given by name: it is stored as the first address the
// name resolves to, as the mail page does; an empty one stores 0.0.0.0.
bool resolveMailServers(std::vector<std::string>& assignments, std::ostream& err) {
    bool ok = true;
    for (auto& a : assignments) {
        const auto eq = a.find('=');
        if (eq == std::string::npos)
            continue;
        std::string name = a.substr(0, eq);
        std::transform(name.begin(), name.end(), name.begin(), [](unsigned char ch) { return char(std::tolower(ch)); });
        if (name.size() != 12 || name.rfind("mail", 0) != 0 || name.substr(5) != "_server" || name[4] < '1' ||
            name[4] > '3')
            continue;
        const auto address = rules::mailServerAddress(a.substr(eq + 1), rules::resolveHostIPv4);
        if (!address) {
            err << "vnkctl: " << rules::invalidMailServerMessage(name[4] - '0');
            ok = false;
            continue;
        }
        a = a.substr(0, eq + 1) + dottedAt(*address, 0);
    }
    return ok;
}

int cmdReset(Session& s, std::ostream& out, std::ostream& err) {
    CPServerContext& ctx = s.ctx();
    const std::string name = shownName(ctx.selectedEntry()->name());
    s.progress().begin("Resetting " + name + " and waiting for it to come back");
    const ReconnectResult r = ctx.resetAndReconnect([&](const std::string& m) {
        s.progress().done();
        err << "vnkctl: " << shownName(m) << "\n";
    });
    s.progress().done();
    if (!r.ok())
        return ExitNoAnswer;
    out << name << " is back: " << shownName(ctx.selectedEntry()->name()) << " at "
        << activeIp(ctx.statusBuffer) << "\n";
    return ExitOk;
}

int cmdPrinters(Session& s, std::ostream& out, std::ostream& err, bool json) {
    CPServerContext& ctx = s.ctx();
    if (!firmwarePresent(ctx.selectedEntry()->identity)) {
        err << "vnkctl: You have to upgrade Varnotek first !!!\n";
        return ExitFailure;
    }
    if (int rc = s.readRecord())
        return rc;
    if (int rc = s.readStatus())
        return rc;
    ServerEntry& e = *ctx.selectedEntry();
    s.progress().begin("Asking the printers");
    const auto rows = printerStatusRows(ctx.statusBuffer, ctx.parallelPortCount, ctx.serialPortCount,
                                        hasExtendedPrinterStatus(e.identity), [&](int i) -> const PrinterStatusBuffer* {
                                            return ctx.XGetPrinterStatus(e, ctx.printerStatusBuffer, i)
                                                       ? &ctx.printerStatusBuffer
                                                       : nullptr;
                                        });
    s.progress().done();
    if (json) {
        out << "[";
        for (std::size_t i = 0; i < rows.size(); ++i)
            out << (i ? ", " : "") << "{\"port\": " << jsonString(boxText(rows[i].column1))
                << ", \"status\": " << jsonString(boxText(rows[i].column2)) << "}";
        out << "]\n";
        return ExitOk;
    }
    for (const auto& r : rows)
        out << std::left << std::setw(6) << shownName(r.column1) << " " << shownName(r.column2) << "\n";
    return ExitOk;
}

int portArgument(const std::string& text) {
    static const char* names[] = {"LPT1", "LPT2", "LPT3", "COM1", "COM2"};
    for (int i = 0; i < 5; ++i)
        if (strcasecmp(text.c_str(), names[i]) == 0 || text == std::to_string(i + 1))
            return i;
    return -1;
}

int cmdTestPrint(Session& s, std::ostream& out, std::ostream& err, const std::string& portText) {
    CPServerContext& ctx = s.ctx();
    if (int rc = s.readRecord())
        return rc;
    int port = 0;
    if (!portText.empty()) {
        port = portArgument(portText);
        const bool present = port >= 0 && (port < 3 ? port < ctx.parallelPortCount : port - 3 < ctx.serialPortCount);
        if (!present) {
            err << "vnkctl: " << shownName(ctx.selectedEntry()->name()) << " has no port " << portText << "\n";
            return ExitBadValue;
        }
    }
    s.progress().begin("Printing a test page");
    const bool ok = ctx.XTestPrint(*ctx.selectedEntry(), port) == 1;
    s.progress().done();
    if (!ok)
        return s.noAnswer("the test print was not confirmed");
    out << "Test page sent to " << shownName(ctx.selectedEntry()->name()) << "\n";
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
int cmdUpgrade(Session& s, std::ostream& out, std::ostream& err, const std::string& path, int typeNumber,
               bool terminal) {
    CPServerContext& ctx = s.ctx();
    if (int rc = s.readRecord())
        return rc;
    ServerEntry& e = *ctx.selectedEntry();
    const auto rec = recordOf(ctx.configBuffer);
    if (!supportsUdpUpgrade(rec)) {
        err << "vnkctl: " << shownName(noIpUpgradeText(e.name())) << "\n";
        return ExitFailure;
    }
    bool checks = true;
    const BrowseResult file = browseFirmwareFile(path, checks);
    if (isFileError(file.file)) {
        err << "vnkctl: " << path << ": " << fileCheckText(file.file) << "\n";
        return ExitBadValue;
    }
    int typeIndex = 0;
    if (typeNumber > 1) {
        const bool shown = typeNumber == 2 ? file.buttons.type2 : file.buttons.type3;
        if (!checks || !shown) {
            err << "vnkctl: " << path << " has no Type" << typeNumber << " image to choose ("
                << (checks ? std::to_string(file.imageCount) + " image(s) of 524288 bytes"
                           : std::string("not a whole number of 524288-byte images"))
                << ")\n";
            return ExitBadValue;
        }
        typeIndex = typeNumber - 1;
    }
    const FileCheck check = checkFirmwareFile(path, typeIndex, modelCodeDigits(rec), checks);
    if (check != FileCheck::Accepted) {
        err << "vnkctl: " << fileCheckText(check) << "\n";
        return ExitBadValue;
    }
    if (!checks) {
        out << path << " is not a whole number of 524288-byte images: it is sent as one image, "
            << "without the vendor and model checks.\n";
    } else if (const auto mask = readProtocolMask(path, typeIndex)) {
        std::string text = protocolMaskText(*mask);
        for (std::size_t at; (at = text.find("\n\n")) != std::string::npos;)
            text.erase(at, 1);
        out << text;
    }
    MacAddress recordEthernet{};
    std::memcpy(recordEthernet.data(), rec.data() + record::EthernetAddress, 6);

    UpgradeBar bar(err, terminal);
    bar.show(0);
    UpgradeResult r;
    const int ok = XUpgradeFlashRAM(ctx, e, path, recordEthernet, typeIndex, [&](int n) { bar.show(n); }, &r);
    bar.done();
    if (!ok) {
        if (r.end == UpgradeEnd::FileError)
            err << "vnkctl: " << fileCheckText(r.fileError) << "\n";
        else
            err << "vnkctl: " << upgradeEndText(r.end) << "\n";
        err << "vnkctl: " << EnglishUpgradeTexts.failed << "\n";
        return ExitFailure;
    }
    out << EnglishUpgradeTexts.succeeded << "\n";
    // The firmware was replaced whatever the reads after it say: a box that
    // cannot be read yet is a warning, not a failed upgrade.
    switch (rereadAfterUpgrade(ctx, e)) {
    case Reread::CannotReadEeprom:
        s.noAnswer(EnglishUpgradeTexts.cannotReadEeprom);
        err << "vnkctl: warning: the firmware was replaced, but the box could not be read afterwards\n";
        return ExitOk;
    case Reread::CannotReadStatus:
        s.noAnswer(EnglishUpgradeTexts.cannotReadStatus);
        err << "vnkctl: warning: the firmware was replaced, but the box could not be read afterwards\n";
        return ExitOk;
    case Reread::Ok:
        break;
    }
    out << shownName(e.name()) << ": " << modelLine(recordOf(ctx.configBuffer), e.identity[identity::Flags]) << " at "
        << activeIp(ctx.statusBuffer) << ", firmware present\n";
    return ExitOk;
}

} // namespace

int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, const Environment& env) {
    std::string envError;
    platform::Endpoint endpoint = platform::Endpoint::fromEnvironment(&envError);
    if (!envError.empty()) {
        err << "vnkctl: " << envError << "\n";
        return ExitUsage;
    }
    Options o;
    o.configPath = env.programDirectory + "/Config.ini";
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&]() -> std::optional<std::string> {
            if (i + 1 >= args.size()) {
                err << "vnkctl: " << a << " needs a value\n";
                return std::nullopt;
            }
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
            o.json = true;
        } else if (a == "--port") {
            const auto v = value();
            if (!v)
                return ExitUsage;
            o.testPort = *v;
        } else if (a == "--type") {
            const auto v = value();
            if (!v)
                return ExitUsage;
            if (*v != "1" && *v != "2" && *v != "3") {
                err << "vnkctl: --type takes 1, 2 or 3\n";
                return ExitUsage;
            }
            o.firmwareType = std::stoi(*v);
        } else if (a == "--broadcast" || a == "--command-port" || a == "--fw-port" || a == "--config") {
            const auto v = value();
            if (!v)
                return ExitUsage;
            if (a == "--broadcast") {
                if (!platform::parseIPv4(*v)) {
                    err << "vnkctl: not an IPv4 address: " << *v << "\n";
                    return ExitUsage;
                }
                endpoint.broadcast = *v;
            } else if (a == "--config") {
                o.configPath = *v;
            } else {
                const auto p = platform::parsePort(*v);
                if (!p) {
                    err << "vnkctl: not a port number: " << *v << "\n";
                    return ExitUsage;
                }
                (a == "--command-port" ? endpoint.commandPort : endpoint.firmwarePort) = *p;
            }
        } else if (a.size() > 1 && a[0] == '-' && !(a.size() > 1 && std::isdigit(static_cast<unsigned char>(a[1])))) {
            err << "vnkctl: unknown option " << a << " (see --help)\n";
            return ExitUsage;
        } else {
            o.positional.push_back(a);
        }
    }
    if (o.positional.empty()) {
        err << Usage;
        return ExitUsage;
    }
    const std::string command = o.positional[0];
    const std::vector<std::string> rest(o.positional.begin() + 1, o.positional.end());

    if (command == "fields")
        return cmdFields(out, o.json);

    static const std::vector<std::string> boxCommands = {"list",   "show",     "get",       "set",    "reset",
                                                         "status", "printers", "testprint", "upgrade",
                                                         "factory-default"};
    if (std::find(boxCommands.begin(), boxCommands.end(), command) == boxCommands.end()) {
        err << "vnkctl: unknown command " << command << " (see --help)\n";
        return ExitUsage;
    }
    if (command != "list" && rest.empty()) {
        err << "vnkctl: " << command << " needs a BOX (a print server name or Ethernet address)\n";
        return ExitUsage;
    }
    // Check what can be checked before anybody waits on the network.
    std::vector<std::string> items = rest;
    if (command == "set" && !resolveMailServers(items, err)) {
        err << "vnkctl: nothing was written\n";
        return ExitBadValue;
    }
    if (command == "get" || command == "set") {
        if (rest.size() < 2) {
            err << "vnkctl: " << command << " needs at least one " << (command == "get" ? "FIELD" : "FIELD=VALUE")
                << "\n";
            return ExitUsage;
        }
        // A field that does not exist or an item without "=" is a mistake in the
        // command line; a value that does not fit its field is a bad value.
        bool usage = false;
        bool badValue = false;
        for (std::size_t i = 1; i < items.size(); ++i) {
            const std::string& item = items[i];
            const auto eq = item.find('=');
            const std::string name = command == "set" ? item.substr(0, eq) : item;
            const FieldDef* f = findField(name);
            if (!f) {
                err << "vnkctl: no field named \"" << platform::terminalSafe(name) << "\" (see 'vnkctl fields')\n";
                usage = true;
            } else if (command == "set") {
                const std::string value = eq == std::string::npos ? std::string() : item.substr(eq + 1);
                if (eq == std::string::npos) {
                    err << "vnkctl: " << platform::terminalSafe(item) << ": expected FIELD=VALUE\n";
                    usage = true;
                } else if (auto e = checkField(*f, isTextField(*f) ? platform::encodeBoxText(value, BoxCodePage)
                                                                   : value)) {
                    err << "vnkctl: " << platform::terminalSafe(*e) << "\n";
                    badValue = true;
                }
            }
        }
        if (usage || badValue) {
            if (command == "set")
                err << "vnkctl: nothing was written\n";
            return usage ? ExitUsage : ExitBadValue;
        }
    }
    if (!o.testPort.empty() && command != "testprint") {
        err << "vnkctl: --port belongs to testprint (the command port is --command-port)\n";
        return ExitUsage;
    }
    if (o.firmwareType != 0 && command != "upgrade") {
        err << "vnkctl: --type belongs to upgrade\n";
        return ExitUsage;
    }
    if (command == "upgrade" && rest.size() != 2) {
        err << "vnkctl: upgrade takes a BOX and a firmware FILE\n";
        return ExitUsage;
    }
    if (command == "testprint" && rest.size() > 1) {
        err << "vnkctl: testprint takes one BOX\n";
        return ExitUsage;
    }
    Session s(endpoint, env.fastTiming, out, err, env.terminal, o.configPath);
    if (command == "list")
        return cmdList(s, out, err, o.json);
    if (int rc = s.select(rest[0]))
        return rc;
    const std::vector<std::string> more(items.begin() + 1, items.end());
    if (command == "show")
        return cmdShow(s, out, o.json);
    if (command == "get")
        return cmdGet(s, out, more, o.json);
    if (command == "set")
        return cmdSet(s, out, err, more);
    if (command == "reset")
        return cmdReset(s, out, err);
    if (command == "status") {
        if (int rc = s.readRecord())
            return rc;
        if (int rc = s.readStatus())
            return rc;
        printPairs(out, statusPairs(s.ctx()), o.json);
        return ExitOk;
    }
    if (command == "printers")
        return cmdPrinters(s, out, err, o.json);
    if (command == "factory-default")
        return cmdFactoryDefault(s, out);
    if (command == "upgrade")
        return cmdUpgrade(s, out, err, more[0], o.firmwareType, env.terminal);
    return cmdTestPrint(s, out, err, o.testPort);
}

} // namespace vnk::cli
