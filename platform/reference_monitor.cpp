#include "platform/reference_monitor.h"

#include "platform/box_text.h"

#include <cups/cups.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace vnk::platform {
namespace {

constexpr std::size_t IpOffset = 48;
constexpr std::size_t PortConfigOffset = 69;
constexpr std::size_t MacOffset = 70;
constexpr std::size_t TypeOffset = 76;
constexpr std::size_t PortMaskOffset = 77;
constexpr std::size_t MaxQueueName = 127;

std::string dotted(const std::array<std::uint8_t, 4>& ip) {
    char text[16];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", ip[0], ip[1], ip[2], ip[3]);
    return text;
}

// "00-00-B4-0A-1B-2C", or with another separator ("" for 0000B40A1B2C).
std::string macText(const std::array<std::uint8_t, 6>& mac, const std::string& separator = "-") {
    std::string text;
    char pair[3];
    for (std::size_t i = 0; i < mac.size(); ++i) {
        std::snprintf(pair, sizeof pair, "%02X", mac[i]);
        text += (i ? separator : "") + pair;
    }
    return text;
}

std::string parallelPortsText(int n) {
    return std::to_string(n) + (n == 1 ? " parallel port" : " parallel ports");
}

// pserver.bin, or why it cannot be used. One byte more than a record is read so
// that a longer file is seen as one, however long it is.
std::optional<std::string> readPserverFile(const std::string& path, std::string& why) {
    // Opened without waiting, so that a FIFO put in its place cannot hold the
    // step (and the wizard) until somebody writes to it.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        why = "cannot read " + path + ": " + std::strerror(errno) + ": no port added";
        return std::nullopt;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        why = path + " is not a regular file: no port added";
        ::close(fd);
        return std::nullopt;
    }
    std::string bytes(PserverRecord::Size + 1, '\0');
    std::size_t got = 0;
    while (got < bytes.size()) {
        const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            why = "cannot read " + path + ": " + std::strerror(errno) + ": no port added";
            ::close(fd);
            return std::nullopt;
        }
        if (n == 0)
            break;
        got += std::size_t(n);
    }
    ::close(fd);
    bytes.resize(got);
    if (got != PserverRecord::Size) {
        why = path + (got > PserverRecord::Size ? " holds more than 81 bytes"
                                                : " holds " + std::to_string(got) + " bytes") +
              ", not a print server record of 81: no port added";
        return std::nullopt;
    }
    return bytes;
}

// A queue as the server lists it.
struct QueueSeen {
    std::string name, deviceUri, location;
};

// What this monitor writes into the location of its queues, and how it later
// knows a queue as one of a box's: the box's Ethernet address.
std::string locationFor(const std::string& address, const std::array<std::uint8_t, 6>& mac) {
    return "print server " + address + ", MAC " + macText(mac);
}
bool queueOfBox(const QueueSeen& q, const std::array<std::uint8_t, 6>& mac) {
    return q.location.ends_with(", MAC " + macText(mac));
}
// The parallel port (1-3) a queue of this monitor prints to, from its device; 0 for another device.
int queuePort(const QueueSeen& q) {
    const std::string_view uri(q.deviceUri);
    if (!uri.starts_with("lpd://") || uri.size() < 5)
        return 0;
    const std::string_view tail = uri.substr(uri.size() - 5);
    return tail.starts_with("/LPT") && tail[4] >= '1' && tail[4] <= '3' ? tail[4] - '0' : 0;
}
bool sameQueueName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

// Owns what libcups hands out.
struct HttpClose {
    void operator()(http_t* h) const { httpClose(h); }
};
struct IppDelete {
    void operator()(ipp_t* r) const { ippDelete(r); }
};
using Http = std::unique_ptr<http_t, HttpClose>;
using Ipp = std::unique_ptr<ipp_t, IppDelete>;

// A server that wants a password gets none: the step runs without a person to
// ask (libcups would otherwise prompt on the terminal), and says it was refused.
const char* noPassword(const char*, http_t*, const char*, const char*, void*) {
    return nullptr;
}

class CupsSession {
public:
    CupsSession() {
        cupsSetPasswordCB2(noPassword, nullptr);
        // Forget a server found earlier: CUPS_SERVER may have changed since.
        cupsSetServer(nullptr);
        const char* server = cupsServer();
        m_host = server ? server : "";
        m_port = ippPort();
        m_where = (!m_host.empty() && m_host.front() == '/') ? m_host : m_host + ":" + std::to_string(m_port);
        m_http.reset(httpConnect2(m_host.c_str(), m_port, nullptr, AF_UNSPEC, cupsEncryption(), 1,
                                  CupsConnectTimeoutMs, nullptr));
        if (m_http)
            httpSetTimeout(m_http.get(), CupsReplyTimeoutSeconds, nullptr, nullptr);
    }
    ~CupsSession() { cupsSetPasswordCB2(nullptr, nullptr); }
    CupsSession(const CupsSession&) = delete;
    CupsSession& operator=(const CupsSession&) = delete;

    bool connected() const { return m_http != nullptr; }
    const std::string& where() const { return m_where; }

    // Every queue of the server with what tells whose it is; nothing when the
    // server does not answer the question.
    std::optional<std::vector<QueueSeen>> queues() {
        ipp_t* request = ippNewRequest(IPP_OP_CUPS_GET_PRINTERS);
        static const char* const wanted[] = {"printer-name", "device-uri", "printer-location"};
        ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", 3, nullptr, wanted);
        ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
        Ipp response(cupsDoRequest(m_http.get(), request, "/"));
        // A server without queues answers "not found".
        if (cupsLastError() == IPP_STATUS_ERROR_NOT_FOUND)
            return std::vector<QueueSeen>{};
        if (!response || cupsLastError() > IPP_STATUS_OK_CONFLICTING)
            return std::nullopt;
        std::vector<QueueSeen> found;
        QueueSeen q;
        const auto text = [](ipp_attribute_t* a) {
            const char* v = ippGetString(a, 0, nullptr);
            return std::string(v ? v : "");
        };
        for (ipp_attribute_t* a = ippFirstAttribute(response.get()); a; a = ippNextAttribute(response.get())) {
            const char* name = ippGetName(a);
            if (!name) { // the end of one printer's group
                if (!q.name.empty())
                    found.push_back(std::move(q));
                q = {};
                continue;
            }
            const std::string_view n(name);
            if (n == "printer-name")
                q.name = text(a);
            else if (n == "device-uri")
                q.deviceUri = text(a);
            else if (n == "printer-location")
                q.location = text(a);
        }
        if (!q.name.empty())
            found.push_back(std::move(q));
        return found;
    }

    // Empty when the queue was deleted, else the server's reason.
    std::string remove(const std::string& queue) {
        ipp_t* request = ippNewRequest(IPP_OP_CUPS_DELETE_PRINTER);
        addPrinterUri(request, queue);
        Ipp response(cupsDoRequest(m_http.get(), request, "/admin/"));
        if (cupsLastError() <= IPP_STATUS_OK_CONFLICTING)
            return {};
        const char* text = cupsLastErrorString();
        return text && *text ? text : ippErrorString(cupsLastError());
    }

    // Creates or changes a raw queue, accepting jobs and idle. Empty when it
    // was done, else the server's reason.
    std::string addModify(const std::string& queue, const std::string& device, const std::string& info,
                          const std::string& location) {
        ipp_t* request = ippNewRequest(IPP_OP_CUPS_ADD_MODIFY_PRINTER);
        addPrinterUri(request, queue);
        ippAddString(request, IPP_TAG_PRINTER, IPP_TAG_URI, "device-uri", nullptr, device.c_str());
        ippAddString(request, IPP_TAG_PRINTER, IPP_TAG_TEXT, "printer-info", nullptr, info.c_str());
        ippAddString(request, IPP_TAG_PRINTER, IPP_TAG_TEXT, "printer-location", nullptr, location.c_str());
        ippAddBoolean(request, IPP_TAG_PRINTER, "printer-is-accepting-jobs", 1);
        ippAddInteger(request, IPP_TAG_PRINTER, IPP_TAG_ENUM, "printer-state", IPP_PSTATE_IDLE);
        Ipp response(cupsDoRequest(m_http.get(), request, "/admin/"));
        if (cupsLastError() <= IPP_STATUS_OK_CONFLICTING)
            return {};
        const ipp_status_t status = cupsLastError();
        const char* text = cupsLastErrorString();
        std::string why = text && *text ? text : ippErrorString(status);
        if (status == IPP_STATUS_ERROR_NOT_AUTHORIZED || status == IPP_STATUS_ERROR_FORBIDDEN)
            why += " (adding CUPS queues needs a CUPS administrator)";
        return why;
    }

private:
    static void addPrinterUri(ipp_t* request, const std::string& queue) {
        char uri[HTTP_MAX_URI];
        httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", 0, "/printers/%s",
                         queue.c_str());
        ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri);
        ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
    }

    std::string m_host;
    int m_port = 0;
    std::string m_where;
    Http m_http;
};

// The queues of the box's parallel ports, added to the result's port and report.
// A queue is the box's when its location names the box's Ethernet address: it
// is only ever changed for that box, and another box of the same name gets a
// queue of its own. The box's queues for ports no longer chosen go.
void makeQueues(const PserverRecord& record, AddPortResult& result) {
    const std::string& portName = result.port.name;
    if (record.ip == std::array<std::uint8_t, 4>{}) {
        result.report.push_back("box " + portName + " has no IP address (0.0.0.0): port recorded without queues");
        return;
    }
    std::vector<int> ports;
    for (int n = 1; n <= 3; ++n) {
        if (!(record.portMask & (1 << (n - 1))))
            continue;
        // A mask bit for a port the box does not have would make a queue that
        // can never print.
        if (n > record.parallelPorts())
            result.report.push_back("LPT" + std::to_string(n) + " skipped: box " + portName + " has " +
                                    parallelPortsText(record.parallelPorts()));
        else
            ports.push_back(n);
    }
    if (ports.empty())
        result.report.push_back("box " + portName + " has no parallel port chosen: port recorded without queues");

    CupsSession cups;
    if (!cups.connected()) {
        if (!ports.empty())
            result.report.push_back("no CUPS server at " + cups.where() + ": port recorded without queues");
        return;
    }
    const auto seen = cups.queues();
    if (!seen) {
        result.report.push_back("CUPS at " + cups.where() + " did not list its queues: port recorded without queues");
        return;
    }
    const auto taken = [&](const std::string& name) {
        return std::any_of(seen->begin(), seen->end(), [&](const QueueSeen& q) { return sameQueueName(q.name, name); });
    };
    const auto boxQueue = [&](int n) -> const QueueSeen* {
        for (const QueueSeen& q : *seen)
            if (queueOfBox(q, record.mac) && queuePort(q) == n)
                return &q;
        return nullptr;
    };

    for (const QueueSeen& q : *seen) {
        const int n = queuePort(q);
        if (!queueOfBox(q, record.mac) || n == 0 || std::find(ports.begin(), ports.end(), n) != ports.end())
            continue;
        const std::string why = cups.remove(q.name);
        result.report.push_back(why.empty() ? "CUPS queue " + q.name + " removed: LPT" + std::to_string(n) +
                                                  " is no longer chosen"
                                            : "CUPS at " + cups.where() + " kept queue " + q.name + ": " + why);
    }

    const std::string address = dotted(record.ip);
    const std::string location = locationFor(address, record.mac);
    bool noted = false;
    for (int n : ports) {
        const std::string lpt = "LPT" + std::to_string(n);
        const std::string device = "lpd://" + address + "/" + lpt;
        const QueueSeen* own = boxQueue(n);
        std::string name;
        if (own) {
            name = own->name;
        } else {
            const auto queue = cupsQueueName(portName, n);
            if (queue.changed && !noted) {
                result.report.push_back("CUPS queues of \"" + portName + "\" are named " +
                                        queue.name.substr(0, queue.name.rfind("_LPT")) +
                                        "_LPT<n>: a queue name holds no blanks, control characters, /, \\, #, ?, "
                                        "@, %, quotes, and at most 127 bytes");
                noted = true;
            }
            name = queue.name;
            // The name is another printer's: this box's queue carries its address too.
            if (taken(name))
                name = cupsQueueName(portName + "_" + macText(record.mac, ""), n).name;
            if (taken(name)) {
                result.report.push_back("CUPS queues " + queue.name + " and " + name + " belong to other printers: " +
                                        lpt + " has no queue");
                continue;
            }
        }
        const std::string why = cups.addModify(name, device, portName + " " + lpt, location);
        if (!why.empty()) {
            result.report.push_back("CUPS at " + cups.where() + " refused queue " + name + ": " + why);
            continue;
        }
        std::string line = "CUPS queue " + name + " -> " + device;
        if (!own)
            line += " created";
        else if (own->deviceUri != device)
            line += " updated (was " + own->deviceUri + ")";
        else
            line += " updated";
        result.report.push_back(line);
        result.port.queues.push_back(name);
    }
    if (result.port.queues.empty() && !ports.empty())
        result.report.push_back("port recorded without queues");
}

} // namespace

std::optional<PserverRecord> parsePserverRecord(std::string_view bytes) {
    if (bytes.size() != PserverRecord::Size)
        return std::nullopt;
    const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(bytes[i]); };
    PserverRecord r;
    const std::string_view field = bytes.substr(0, PserverRecord::MaxNameLength);
    r.name = std::string(field.substr(0, field.find('\0')));
    for (std::size_t i = 0; i < r.ip.size(); ++i)
        r.ip[i] = byte(IpOffset + i);
    r.portConfig = byte(PortConfigOffset);
    for (std::size_t i = 0; i < r.mac.size(); ++i)
        r.mac[i] = byte(MacOffset + i);
    r.type = byte(TypeOffset);
    r.portMask = byte(PortMaskOffset);
    return r;
}

std::string portNameFor(const PserverRecord& record) {
    if (record.name.empty()) {
        char name[9];
        std::snprintf(name, sizeof name, "PS%02X%02X%02X", record.mac[3], record.mac[4], record.mac[5]);
        return name;
    }
    std::string name = decodeBoxText(record.name, CodePage::Big5);
    for (char& c : name) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '\\' || u < 0x20 || u == 0x7F)
            c = '_';
    }
    return name;
}

CupsQueueName cupsQueueName(std::string_view portName, int parallelPort) {
    CupsQueueName q;
    for (const char c : portName) {
        const auto u = static_cast<unsigned char>(c);
        if (u <= 0x20 || u == 0x7F || std::strchr("/\\#?@%'\"", c)) {
            q.name += '_';
            q.changed = true;
            continue;
        }
        q.name += c; // UTF-8 as it is: CUPS takes it
    }
    const std::string suffix = "_LPT" + std::to_string(parallelPort);
    if (q.name.size() + suffix.size() > MaxQueueName) {
        std::size_t cut = MaxQueueName - suffix.size();
        while (cut > 0 && (static_cast<unsigned char>(q.name[cut]) & 0xC0) == 0x80)
            --cut; // not inside a character
        q.name.resize(cut);
        q.changed = true;
    }
    q.name += suffix;
    return q;
}

AddPortResult referenceMonitorAddPort(const AddPortRequest& request) {
    AddPortResult result;
    const std::string dir = systemDirectory(request.stateDirectory);
    if (dir.empty()) {
        result.report.push_back("no system directory in the state directory \"" + request.stateDirectory +
                                "\": no port added");
        return result;
    }
    std::string why;
    const auto bytes = readPserverFile(dir + "/pserver.bin", why);
    const auto record = bytes ? parsePserverRecord(*bytes) : std::nullopt;
    if (!record) {
        result.report.push_back(why);
        return result;
    }

    result.ok = true;
    SpoolerPort& port = result.port;
    port.name = portNameFor(*record);
    port.monitor = request.monitorName;
    port.description = "print server " + port.name + ", IP " + dotted(record->ip) + ", MAC " +
                       macText(record->mac) + ", " + parallelPortsText(record->parallelPorts());
    result.report.push_back("port " + port.name);
    makeQueues(*record, result);
    return result;
}

} // namespace vnk::platform
