#include "platform/cups_queues.h"

#include "platform/device_id.h"

#include <cups/cups.h>
#include <sys/socket.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <optional>

namespace vnk::platform {
namespace {

constexpr std::size_t MaxQueueName = 127;
const char* const BackendScheme = "varnotek";

std::string lower(std::string_view s) {
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return out;
}

// A queue as the server lists it.
struct QueueSeen {
    std::string name, deviceUri, location, makeAndModel;
};

// What goes into the location of a box's queues, and how a queue is later
// known as one of the box's: its Ethernet address.
std::string locationFor(const std::string& address, const std::array<std::uint8_t, 6>& mac) {
    return "print server " + address + ", MAC " + macText(mac);
}
bool queueOfBox(const QueueSeen& q, const std::array<std::uint8_t, 6>& mac) {
    return q.location.ends_with(", MAC " + macText(mac));
}
// The parallel port (1-3) a queue made here prints to, from its device (the
// backend's or LPD); 0 for another device.
int queuePort(const QueueSeen& q) {
    const std::string_view uri(q.deviceUri);
    if (!(uri.starts_with("lpd://") || uri.starts_with(std::string(BackendScheme) + "://")) || uri.size() < 5)
        return 0;
    const std::string_view tail = uri.substr(uri.size() - 5);
    return tail.starts_with("/LPT") && tail[4] >= '1' && tail[4] <= '3' ? tail[4] - '0' : 0;
}
bool sameQueueName(std::string_view a, std::string_view b) {
    return lower(a) == lower(b);
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

// A server that wants a password gets none: nobody may be there to type one
// (libcups would otherwise prompt on the terminal), and the refusal is reported.
const char* noPassword(const char*, http_t*, const char*, const char*, void*) {
    return nullptr;
}

std::string text(ipp_attribute_t* a) {
    const char* v = ippGetString(a, 0, nullptr);
    return v ? v : "";
}

// The server's reason for the last request.
std::string lastReason() {
    const char* t = cupsLastErrorString();
    return t && *t ? t : ippErrorString(cupsLastError());
}
bool lastOk() {
    return cupsLastError() <= IPP_STATUS_OK_CONFLICTING;
}

// Calls each(name, attribute) for each attribute of each group of a response, and
// done() at the end of each group.
template <typename Each, typename Done> void eachGroup(ipp_t* response, Each each, Done done) {
    for (ipp_attribute_t* a = ippFirstAttribute(response); a; a = ippNextAttribute(response)) {
        const char* name = ippGetName(a);
        if (!name)
            done();
        else
            each(std::string_view(name), a);
    }
    done();
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
        static const char* const wanted[] = {"printer-name", "device-uri", "printer-location",
                                             "printer-make-and-model"};
        ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", 4, nullptr,
                      wanted);
        addUser(request);
        Ipp response(cupsDoRequest(m_http.get(), request, "/"));
        // A server without queues answers "not found".
        if (cupsLastError() == IPP_STATUS_ERROR_NOT_FOUND)
            return std::vector<QueueSeen>{};
        if (!response || !lastOk())
            return std::nullopt;
        std::vector<QueueSeen> found;
        QueueSeen q;
        eachGroup(
            response.get(),
            [&](std::string_view n, ipp_attribute_t* a) {
                if (n == "printer-name")
                    q.name = text(a);
                else if (n == "device-uri")
                    q.deviceUri = text(a);
                else if (n == "printer-location")
                    q.location = text(a);
                else if (n == "printer-make-and-model")
                    q.makeAndModel = text(a);
            },
            [&] {
                if (!q.name.empty())
                    found.push_back(std::move(q));
                q = {};
            });
        return found;
    }

    // The drivers CUPS offers for a device ID, best first; nothing when the
    // server did not answer the question.
    std::optional<std::vector<CupsDriver>> drivers(const std::string& deviceId) {
        ipp_t* request = ippNewRequest(IPP_OP_CUPS_GET_PPDS);
        ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_TEXT, "ppd-device-id", nullptr, deviceId.c_str());
        static const char* const wanted[] = {"ppd-name", "ppd-make-and-model", "ppd-device-id",
                                             "ppd-natural-language"};
        ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", 4, nullptr,
                      wanted);
        addUser(request);
        Ipp response(cupsDoRequest(m_http.get(), request, "/"));
        if (cupsLastError() == IPP_STATUS_ERROR_NOT_FOUND) // no driver for it
            return std::vector<CupsDriver>{};
        if (!response || !lastOk())
            return std::nullopt;
        std::vector<CupsDriver> found;
        CupsDriver d;
        eachGroup(
            response.get(),
            [&](std::string_view n, ipp_attribute_t* a) {
                if (n == "ppd-name")
                    d.name = text(a);
                else if (n == "ppd-make-and-model")
                    d.makeAndModel = text(a);
                else if (n == "ppd-device-id")
                    d.deviceId = text(a);
                else if (n == "ppd-natural-language")
                    d.language = text(a);
            },
            [&] {
                if (!d.name.empty())
                    found.push_back(std::move(d));
                d = {};
            });
        return found;
    }

    // The make and model CUPS shows for a queue ("Local Raw Printer" for a raw
    // one); empty when it does not say.
    std::string makeAndModel(const std::string& queue) {
        ipp_t* request = ippNewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES);
        addPrinterUri(request, queue);
        static const char* const wanted[] = {"printer-make-and-model"};
        ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", 1, nullptr,
                      wanted);
        Ipp response(cupsDoRequest(m_http.get(), request, "/"));
        ipp_attribute_t* a = response && lastOk()
                                 ? ippFindAttribute(response.get(), "printer-make-and-model", IPP_TAG_ZERO)
                                 : nullptr;
        return a ? text(a) : std::string();
    }

    // Empty when the queue was deleted, else the server's reason.
    std::string remove(const std::string& queue) {
        ipp_t* request = ippNewRequest(IPP_OP_CUPS_DELETE_PRINTER);
        addPrinterUri(request, queue);
        Ipp response(cupsDoRequest(m_http.get(), request, "/admin/"));
        return lastOk() ? std::string() : lastReason();
    }

    struct Answer {
        ipp_status_t status = IPP_STATUS_OK;
        std::string why; // empty when done
    };
    // Creates or changes a queue, accepting jobs and idle; with ppdName (a
    // ppd-name, or "raw" to drop the driver a queue has) when not empty.
    Answer addModify(const std::string& queue, const std::string& device, const std::string& info,
                     const std::string& location, const std::string& ppdName) {
        ipp_t* request = ippNewRequest(IPP_OP_CUPS_ADD_MODIFY_PRINTER);
        addPrinterUri(request, queue);
        ippAddString(request, IPP_TAG_PRINTER, IPP_TAG_URI, "device-uri", nullptr, device.c_str());
        ippAddString(request, IPP_TAG_PRINTER, IPP_TAG_TEXT, "printer-info", nullptr, info.c_str());
        ippAddString(request, IPP_TAG_PRINTER, IPP_TAG_TEXT, "printer-location", nullptr, location.c_str());
        if (!ppdName.empty())
            ippAddString(request, IPP_TAG_PRINTER, IPP_TAG_NAME, "ppd-name", nullptr, ppdName.c_str());
        ippAddBoolean(request, IPP_TAG_PRINTER, "printer-is-accepting-jobs", 1);
        ippAddInteger(request, IPP_TAG_PRINTER, IPP_TAG_ENUM, "printer-state", IPP_PSTATE_IDLE);
        Ipp response(cupsDoRequest(m_http.get(), request, "/admin/"));
        if (lastOk())
            return {};
        Answer a{cupsLastError(), lastReason()};
        if (a.status == IPP_STATUS_ERROR_NOT_AUTHORIZED || a.status == IPP_STATUS_ERROR_FORBIDDEN)
            a.why += " (adding CUPS queues needs a CUPS administrator)";
        return a;
    }

private:
    static void addUser(ipp_t* request) {
        ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
    }
    static void addPrinterUri(ipp_t* request, const std::string& queue) {
        char uri[HTTP_MAX_URI];
        httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", 0, "/printers/%s",
                         queue.c_str());
        ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri);
        addUser(request);
    }

    std::string m_host;
    int m_port = 0;
    std::string m_where;
    Http m_http;
};

// What CUPS shows for a queue without a driver.
bool rawMakeAndModel(const std::string& makeAndModel) {
    return makeAndModel.empty() || makeAndModel == "Local Raw Printer";
}

// The driver of one queue: what goes in the request, and what the report says.
struct DriverChoice {
    std::string ppdName;      // sent as ppd-name; empty: none sent
    std::string shown;        // "raw", a ppd-name, or empty: the queue keeps its driver
    std::string makeAndModel; // empty for raw, or when still to be asked
};

class QueueMaker {
public:
    QueueMaker(const QueueRequest& request, QueueResult& result) : m_request(request), m_result(result) {}

    void run() {
        CupsSession cups;
        m_result.server = cups.where();
        if (!cups.connected()) {
            m_result.reach = CupsReach::NoServer;
            return;
        }
        const auto seen = cups.queues();
        if (!seen) {
            m_result.reach = CupsReach::NoList;
            return;
        }
        m_result.reach = CupsReach::Answered;
        m_cups = &cups;
        m_seen = &*seen;
        if (m_request.removeUnchosen)
            removeUnchosen();
        for (const QueuePort& p : m_request.ports)
            makeQueue(p);
        m_cups = nullptr;
        m_seen = nullptr;
    }

private:
    void line(std::string text) { m_result.report.push_back(std::move(text)); }
    void refuse(std::string text) {
        line(std::move(text));
        ++m_result.refused;
    }

    bool chosen(int n) const {
        return std::any_of(m_request.ports.begin(), m_request.ports.end(),
                           [&](const QueuePort& p) { return p.port == n; });
    }
    bool taken(const std::string& name) const {
        return std::any_of(m_seen->begin(), m_seen->end(),
                           [&](const QueueSeen& q) { return sameQueueName(q.name, name); });
    }
    const QueueSeen* boxQueue(int n) const {
        for (const QueueSeen& q : *m_seen)
            if (queueOfBox(q, m_request.mac) && queuePort(q) == n)
                return &q;
        return nullptr;
    }

    void removeUnchosen() {
        for (const QueueSeen& q : *m_seen) {
            const int n = queuePort(q);
            if (!queueOfBox(q, m_request.mac) || n == 0 || chosen(n))
                continue;
            const std::string why = m_cups->remove(q.name);
            if (why.empty())
                line("CUPS queue " + q.name + " removed: LPT" + std::to_string(n) + " is no longer chosen");
            else
                refuse("CUPS at " + m_cups->where() + " kept queue " + q.name + ": " + why);
        }
    }

    // The name of a new queue of port n; empty when both names are other printers'.
    std::string newName(int n) {
        const std::string& portName = m_request.portName;
        const auto queue = cupsQueueName(portName, n);
        if (queue.changed && !m_namingNoted) {
            line("CUPS queues of \"" + portName + "\" are named " +
                 queue.name.substr(0, queue.name.rfind("_LPT")) +
                 "_LPT<n>: a queue name holds no blanks, control characters, /, \\, #, ?, @, %, quotes, "
                 "and at most 127 bytes");
            m_namingNoted = true;
        }
        // The name is another printer's: this box's queue carries its address too.
        std::string name = queue.name;
        if (taken(name))
            name = cupsQueueName(portName + "_" + macText(m_request.mac, ""), n).name;
        if (!taken(name))
            return name;
        refuse("CUPS queues " + queue.name + " and " + name + " belong to other printers: LPT" +
               std::to_string(n) + " has no queue");
        return {};
    }

    // What the request's driver means for this port's printer and queue.
    DriverChoice driverFor(const QueuePort& p, const QueueSeen* own) {
        const std::string& driver = m_request.driver;
        if (driver == "raw")
            return {own ? "raw" : "", "raw", ""}; // an existing queue's driver has to be dropped by name
        if (driver != "auto" && !driver.empty())
            return {driver, driver, ""};
        const CupsDriver* best = nullptr;
        if (!p.deviceId.empty()) {
            auto known = m_offered.find(p.deviceId);
            if (known == m_offered.end()) {
                auto offered = m_cups->drivers(p.deviceId);
                if (!offered)
                    line("CUPS at " + m_cups->where() + " did not list drivers for LPT" +
                         std::to_string(p.port) + " (" + lastReason() + ")");
                known = m_offered.emplace(p.deviceId, offered.value_or(std::vector<CupsDriver>{})).first;
            }
            best = bestDriver(p.deviceId, known->second);
        }
        if (best) {
            // The queue has that driver already: its PPD and options stay.
            const bool has = own && own->makeAndModel == best->makeAndModel;
            return {has ? "" : best->name, best->name, best->makeAndModel};
        }
        // No driver found: a new queue is raw, one that exists keeps what it has.
        if (!own || rawMakeAndModel(own->makeAndModel))
            return {"", "raw", ""};
        return {"", "", own->makeAndModel};
    }

    void makeQueue(const QueuePort& p) {
        const int n = p.port;
        const std::string lpt = "LPT" + std::to_string(n);
        const QueueSeen* own = boxQueue(n);
        const std::string name = own ? own->name : newName(n);
        if (name.empty())
            return;
        const DriverChoice driver = driverFor(p, own);
        const std::string address = dotted(m_request.ip);
        const std::string lpd = "lpd://" + address + "/" + lpt;
        const std::string info = m_request.portName + " " + lpt;
        const std::string location = locationFor(address, m_request.mac);

        std::string device = m_noBackend ? lpd : backendUri(m_request.mac, n);
        auto answer = m_cups->addModify(name, device, info, location, driver.ppdName);
        // A CUPS without the suite's backend takes no queue of its scheme ("Bad
        // device-uri scheme", in the client's language, naming the scheme).
        if (!m_noBackend && answer.status == IPP_STATUS_ERROR_NOT_POSSIBLE &&
            answer.why.find(BackendScheme) != std::string::npos) {
            const std::string why = answer.why;
            device = lpd;
            answer = m_cups->addModify(name, device, info, location, driver.ppdName);
            if (answer.why.empty()) {
                m_noBackend = true;
                line("CUPS at " + m_cups->where() + " has no " + BackendScheme + " backend (" + why +
                     "): the queues print to lpd://" + address +
                     "/LPT<n>, and have to be made again when the box's address changes");
            }
        }
        if (!answer.why.empty()) {
            refuse(
                "CUPS at " + m_cups->where() + " refused queue " + name +
                (driver.ppdName.empty() || driver.ppdName == "raw" ? "" : " with driver " + driver.ppdName) +
                ": " + answer.why);
            return;
        }

        MadeQueue made{name, n, device, driver.shown, driver.makeAndModel, own == nullptr};
        if (!made.driver.empty() && made.driver != "raw" && made.makeAndModel.empty())
            made.makeAndModel = m_cups->makeAndModel(name);
        std::string text = "CUPS queue " + name + " -> " + device + ", ";
        if (made.driver == "raw")
            text += "raw";
        else if (made.driver.empty())
            text += "driver kept (" + made.makeAndModel + ")";
        else
            text += "driver " + made.driver + " (" + made.makeAndModel + ")";
        if (!own)
            text += ", created";
        else if (own->deviceUri != device)
            text += ", updated (was " + own->deviceUri + ")";
        else
            text += ", updated";
        line(text);
        m_result.queues.push_back(std::move(made));
    }

    const QueueRequest& m_request;
    QueueResult& m_result;
    CupsSession* m_cups = nullptr;
    const std::vector<QueueSeen>* m_seen = nullptr;
    std::map<std::string, std::vector<CupsDriver>> m_offered; // by device ID
    bool m_noBackend = false;
    bool m_namingNoted = false;
};

} // namespace

std::string backendUri(const std::array<std::uint8_t, 6>& mac, int port) {
    return std::string(BackendScheme) + "://" + macText(mac, "") + "/LPT" + std::to_string(port);
}

std::string portNameOf(std::string_view boxName, const std::array<std::uint8_t, 6>& mac) {
    if (boxName.empty()) {
        char name[9];
        std::snprintf(name, sizeof name, "PS%02X%02X%02X", mac[3], mac[4], mac[5]);
        return name;
    }
    std::string name(boxName);
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

std::string dotted(const std::array<std::uint8_t, 4>& ip) {
    char text[16];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", ip[0], ip[1], ip[2], ip[3]);
    return text;
}

std::string macText(const std::array<std::uint8_t, 6>& mac, const std::string& separator) {
    std::string text;
    char pair[3];
    for (std::size_t i = 0; i < mac.size(); ++i) {
        std::snprintf(pair, sizeof pair, "%02X", mac[i]);
        text += (i ? separator : "") + pair;
    }
    return text;
}

DeviceIdModel deviceIdModel(std::string_view deviceId) {
    return {deviceIdValue(deviceId, "MFG"), deviceIdValue(deviceId, "MDL")};
}

const CupsDriver* bestDriver(std::string_view deviceId, const std::vector<CupsDriver>& offered) {
    const DeviceIdModel printer = deviceIdModel(deviceId);
    if (printer.make.empty() || printer.model.empty())
        return nullptr;
    const auto rank = [](const CupsDriver& d) {
        const std::string language = lower(d.language);
        const int english =
            language == "en" || language.starts_with("en_") || language.starts_with("en-") ? 0 : 1;
        const int recommended = d.makeAndModel.find("(recommended)") != std::string::npos ? 0 : 1;
        return 2 * english + recommended;
    };
    const CupsDriver* best = nullptr;
    for (const CupsDriver& d : offered) {
        const DeviceIdModel own = deviceIdModel(d.deviceId);
        if (lower(own.make) != lower(printer.make) || lower(own.model) != lower(printer.model))
            continue;
        if (!best || rank(d) < rank(*best))
            best = &d;
    }
    return best;
}

QueueResult makeCupsQueues(const QueueRequest& request) {
    QueueResult result;
    if (request.ip == std::array<std::uint8_t, 4>{}) {
        ++result.refused;
        result.report.push_back("box " + request.portName +
                                " has no IP address (0.0.0.0): no CUPS queue made");
        return result;
    }
    QueueMaker(request, result).run();
    return result;
}

} // namespace vnk::platform
