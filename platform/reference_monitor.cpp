#include "platform/reference_monitor.h"

#include "platform/box_text.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace vnk::platform {
namespace {

constexpr std::size_t IpOffset = 48;
constexpr std::size_t PortConfigOffset = 69;
constexpr std::size_t MacOffset = 70;
constexpr std::size_t TypeOffset = 76;
constexpr std::size_t PortMaskOffset = 77;

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

// The queues of the box's parallel ports (cups_queues.h), added to the result's
// port and report. The box's queues of ports no longer chosen go.
void makeQueues(const PserverRecord& record, AddPortResult& result) {
    const std::string& portName = result.port.name;
    if (record.ip == std::array<std::uint8_t, 4>{}) {
        result.report.push_back("box " + portName + " has no IP address (0.0.0.0): port recorded without queues");
        return;
    }
    QueueRequest request;
    request.portName = portName;
    request.mac = record.mac;
    request.ip = record.ip;
    request.removeUnchosen = true;
    // pserver.bin names no printer: "auto" has no device ID to go by.
    request.driver = "auto";
    for (int n = 1; n <= 3; ++n) {
        if (!(record.portMask & (1 << (n - 1))))
            continue;
        // A mask bit for a port the box does not have would make a queue that
        // can never print.
        if (n > record.parallelPorts())
            result.report.push_back("LPT" + std::to_string(n) + " skipped: box " + portName + " has " +
                                    parallelPortsText(record.parallelPorts()));
        else
            request.ports.push_back({n, {}});
    }
    if (request.ports.empty())
        result.report.push_back("box " + portName + " has no parallel port chosen: port recorded without queues");

    const QueueResult made = makeCupsQueues(request);
    if (made.reach == CupsReach::NoServer) {
        if (!request.ports.empty())
            result.report.push_back("no CUPS server at " + made.server + ": port recorded without queues");
        return;
    }
    if (made.reach == CupsReach::NoList) {
        result.report.push_back("CUPS at " + made.server + " did not list its queues: port recorded without queues");
        return;
    }
    result.report.insert(result.report.end(), made.report.begin(), made.report.end());
    for (const MadeQueue& q : made.queues)
        result.port.queues.push_back(q.name);
    if (result.port.queues.empty() && !request.ports.empty())
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
    return portNameOf(record.name.empty() ? std::string() : decodeBoxText(record.name, CodePage::Big5), record.mac);
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
