// The boxes' LPD receiver: a listener per box, connections read and answered as
// their bytes come, and jobs kept once they are whole.
#include "sim/sim_lpd.h"

#include "platform/private_file.h"
#include "protocol/records.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace vnk::sim {

using namespace std::chrono;

namespace {

constexpr Byte ReceiveJob = 0x02;
constexpr Byte ShortQueueState = 0x03;
constexpr Byte LongQueueState = 0x04;
constexpr Byte AbortJob = 0x01;
constexpr Byte ControlFile = 0x02;
constexpr Byte DataFile = 0x03;
constexpr char Accepted = '\0';
constexpr char Refused = '\1';
// A refused connection is given this long to read the refusal and hang up.
constexpr seconds EndingLimit{5};
constexpr std::size_t ReadChunk = 64 * 1024;
constexpr std::size_t ReadPerTurn = 1024 * 1024; // per connection, so that the datagrams get their turn

std::string addressText(std::uint32_t hostOrder) {
    char text[INET_ADDRSTRLEN] = {};
    const in_addr a{htonl(hostOrder)};
    inet_ntop(AF_INET, &a, text, sizeof text);
    return text;
}

// What a client sent, fit for a log line: printable ASCII only, and not long.
std::string printable(std::string_view s, std::size_t limit = 64) {
    std::string out;
    for (char c : s.substr(0, limit))
        out += c > ' ' && c < 0x7F ? c : '?';
    return out;
}

// The port number of a queue name LPT1..LPTn in any case, or 0.
int queuePort(std::string_view queue, int ports) {
    if (queue.size() != 4 || (queue[0] | 0x20) != 'l' || (queue[1] | 0x20) != 'p' || (queue[2] | 0x20) != 't')
        return 0;
    const int n = queue[3] - '0';
    return n >= 1 && n <= ports ? n : 0;
}

// The lines of a control file.
std::vector<std::string_view> controlLines(std::string_view control) {
    std::vector<std::string_view> lines;
    std::size_t from = 0;
    while (from < control.size()) {
        const std::size_t end = std::min(control.find('\n', from), control.size());
        if (end > from)
            lines.push_back(control.substr(from, end - from));
        from = end + 1;
    }
    return lines;
}

// "count SP name" of a file's subcommand: the count (no more than limit, not
// 0) and the name (1 to MaxName bytes); nothing when either is amiss.
std::optional<std::pair<std::size_t, std::string>> fileHeader(std::string_view operands, std::size_t limit) {
    const std::size_t space = operands.find(' ');
    if (space == 0 || space == std::string_view::npos || space > 10)
        return std::nullopt;
    std::size_t count = 0;
    for (char c : operands.substr(0, space)) {
        if (c < '0' || c > '9')
            return std::nullopt;
        count = count * 10 + std::size_t(c - '0');
    }
    const std::string_view name = operands.substr(space + 1);
    if (count == 0 || count > limit || name.empty() || name.size() > lpd_receiver::MaxName)
        return std::nullopt;
    return std::pair{count, std::string(name)};
}

int openListener(std::uint32_t address, std::uint16_t port) {
    const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (s < 0)
        return -1;
    const int on = 1;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(address);
    a.sin_port = htons(port);
    if (::setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
        ::bind(s, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0 || ::listen(s, 16) != 0) {
        const int e = errno;
        ::close(s);
        errno = e;
        return -1;
    }
    return s;
}

} // namespace

struct LpdReceiver::Connection {
    int fd = -1;
    std::size_t box = 0;
    std::uint32_t peer = 0; // host order
    Clock::time_point lastHeard;
    std::vector<Byte> in; // received, not yet taken
    std::string out;      // acknowledgements and texts not yet sent
    bool ending = false;  // refused or answered: nothing more is taken, and it closes once out is sent
    bool shutDown = false;
    enum class Phase { Command, Subcommands, File } phase = Phase::Command;
    int port = 0; // LPT<port>, once a job was announced
    // The file that arrives.
    bool control = false;
    std::size_t remaining = 0;
    std::string name;
    std::vector<Byte> file;
    // The job so far.
    std::optional<std::string> controlFile;
    std::vector<Byte> data;
    std::vector<std::string> dataNames;

    void dropJob() {
        controlFile.reset();
        data.clear();
        dataNames.clear();
    }
    // Every data file the control file prints (its lines of a lower-case
    // command) has come, and there is one at least. A control file that names
    // none leaves the job to end with the connection.
    bool whole() const {
        if (!controlFile || dataNames.empty())
            return false;
        bool named = false;
        for (std::string_view line : controlLines(*controlFile)) {
            if (line[0] < 'a' || line[0] > 'z')
                continue;
            named = true;
            if (std::find(dataNames.begin(), dataNames.end(), line.substr(1)) == dataNames.end())
                return false;
        }
        return named;
    }
};

LpdReceiver::LpdReceiver(std::uint16_t port, std::string stateDirectory, LpdLog log)
    : m_port(port), m_stateDirectory(std::move(stateDirectory)), m_log(std::move(log)) {}

LpdReceiver::~LpdReceiver() {
    for (std::size_t i = 0; i < m_boxes.size(); ++i)
        closeListener(i);
    for (auto& c : m_connections)
        ::close(c->fd);
    if (m_reservation >= 0)
        ::close(m_reservation);
}

bool LpdReceiver::start(std::string* error) {
    if (m_port != 0)
        return true;
    // Bound on every address without address reuse, the port is one nobody
    // holds anywhere; reuse set afterwards lets the boxes' listeners share it,
    // while this socket never listens.
    const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    socklen_t length = sizeof a;
    const int on = 1;
    if (s < 0 || ::bind(s, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0 ||
        ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &length) != 0 ||
        ::setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0) {
        if (error)
            *error = std::string("cannot find a free LPD port: ") + std::strerror(errno);
        if (s >= 0)
            ::close(s);
        return false;
    }
    m_reservation = s;
    m_port = ntohs(a.sin_port);
    return true;
}

void LpdReceiver::closeListener(std::size_t i) {
    BoxSide& side = m_boxes[i];
    if (side.listener < 0)
        return;
    ::close(side.listener);
    side.listener = -1;
    side.address = 0;
    // The box went down or moved: what its connections carried is lost.
    std::erase_if(m_connections, [&](const std::unique_ptr<Connection>& c) {
        if (c->box != i)
            return false;
        ::close(c->fd);
        return true;
    });
}

void LpdReceiver::follow(std::size_t i, const SimBox& box, Clock::time_point now) {
    if (m_boxes.size() <= i)
        m_boxes.resize(i + 1);
    BoxSide& side = m_boxes[i];
    const BoxSpec& spec = box.spec();
    side.ports = std::min(protocol::parallelPorts(box.storedRecord()), lpd_receiver::MaxPorts);
    side.name = box.activeName().empty() ? spec.label : box.activeName();
    side.mac = spec.mac;
    const auto ip = box.activeIp();
    const std::uint32_t address =
        std::uint32_t(ip[0]) << 24 | std::uint32_t(ip[1]) << 16 | std::uint32_t(ip[2]) << 8 | ip[3];
    const bool loopback = ip[0] == 127 && address != 0x7FFFFFFF;
    const bool up = !spec.isPc && box.firmwarePresent() && !spec.faults.silent && !box.restarting(now);
    const std::uint32_t wanted = up && loopback && side.ports > 0 ? address : 0;
    if (side.listener >= 0 && side.address == wanted)
        return;
    closeListener(i);
    if (wanted == 0) {
        side.failedAddress = 0;
        return;
    }
    if (wanted == side.failedAddress)
        return; // reported already; tried again once the address changes
    side.listener = openListener(wanted, m_port);
    if (side.listener < 0) {
        side.failedAddress = wanted;
        if (m_log)
            m_log(side.name + ": cannot take LPD jobs on " + addressText(wanted) + ":" +
                      std::to_string(m_port) + ": " + std::strerror(errno),
                  true);
        return;
    }
    side.address = wanted;
    side.failedAddress = 0;
}

void LpdReceiver::addPollFds(std::vector<pollfd>& fds) const {
    for (const BoxSide& side : m_boxes)
        if (side.listener >= 0)
            fds.push_back(pollfd{side.listener, POLLIN, 0});
    for (const auto& c : m_connections)
        fds.push_back(pollfd{c->fd, short(POLLIN | (c->out.empty() ? 0 : POLLOUT)), 0});
}

void LpdReceiver::accept(std::size_t i, Clock::time_point now) {
    for (;;) {
        sockaddr_in from{};
        socklen_t length = sizeof from;
        const int fd = ::accept4(m_boxes[i].listener, reinterpret_cast<sockaddr*>(&from), &length,
                                 SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0)
            return;
        if (m_connections.size() >= lpd_receiver::MaxConnections) {
            ::close(fd); // busy: the client tries again later
            continue;
        }
        auto c = std::make_unique<Connection>();
        c->fd = fd;
        c->box = i;
        c->peer = ntohl(from.sin_addr.s_addr);
        c->lastHeard = now;
        m_connections.push_back(std::move(c));
    }
}

void LpdReceiver::service(Clock::time_point now) {
    for (std::size_t i = 0; i < m_boxes.size(); ++i)
        if (m_boxes[i].listener >= 0)
            accept(i, now);
    std::erase_if(m_connections, [&](const std::unique_ptr<Connection>& p) {
        Connection& c = *p;
        bool open = read(c, now);
        while (open && !c.out.empty()) {
            const ssize_t n = ::send(c.fd, c.out.data(), c.out.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n < 0) {
                open = errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
                break;
            }
            c.out.erase(0, std::size_t(n));
        }
        if (open && c.ending && c.out.empty() && !c.shutDown) {
            // Said all it had to say; closing at once could reset the connection
            // and lose the answer with the client's unread bytes.
            ::shutdown(c.fd, SHUT_WR);
            c.shutDown = true;
            c.lastHeard = now;
        }
        const auto limit = c.ending ? duration_cast<Clock::duration>(EndingLimit)
                                    : duration_cast<Clock::duration>(lpd_receiver::IdleLimit);
        if (open && now - c.lastHeard > limit)
            open = false;
        if (!open)
            ::close(c.fd);
        return !open;
    });
}

bool LpdReceiver::read(Connection& c, Clock::time_point now) {
    Byte chunk[ReadChunk];
    std::size_t taken = 0;
    while (taken < ReadPerTurn) {
        const ssize_t n = ::recv(c.fd, chunk, sizeof chunk, MSG_DONTWAIT);
        if (n < 0)
            return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
        if (n == 0) {
            // The client hung up. At a subcommand's boundary that ends the job;
            // in the middle of a file or a line it was cut short and is dropped.
            if (!c.ending && c.phase == Connection::Phase::Subcommands && c.in.empty() && c.controlFile &&
                !c.dataNames.empty())
                finishJob(c);
            return false;
        }
        taken += std::size_t(n);
        c.lastHeard = now;
        if (c.ending)
            continue; // what a refused client still sends is not read
        c.in.insert(c.in.end(), chunk, chunk + n);
        process(c);
    }
    return true;
}

void LpdReceiver::refuse(Connection& c) {
    c.out += Refused;
    c.ending = true;
    c.in.clear();
    c.dropJob();
}

void LpdReceiver::process(Connection& c) {
    const BoxSide& side = m_boxes[c.box];
    std::size_t at = 0;
    while (!c.ending && at < c.in.size()) {
        if (c.phase == Connection::Phase::File) {
            const std::size_t n = std::min(c.remaining, c.in.size() - at);
            c.file.insert(c.file.end(), c.in.begin() + std::ptrdiff_t(at),
                          c.in.begin() + std::ptrdiff_t(at + n));
            at += n;
            c.remaining -= n;
            if (c.remaining > 0 || at == c.in.size())
                break; // the rest of the file, or the zero byte that ends it, is still to come
            if (c.in[at++] != 0) {
                refuse(c);
                return;
            }
            c.out += Accepted;
            if (c.control) {
                c.controlFile = std::string(c.file.begin(), c.file.end());
            } else {
                c.data.insert(c.data.end(), c.file.begin(), c.file.end());
                c.dataNames.push_back(c.name);
            }
            c.file.clear();
            c.phase = Connection::Phase::Subcommands;
            if (c.whole())
                finishJob(c);
            continue;
        }
        const auto lf = std::find(c.in.begin() + std::ptrdiff_t(at), c.in.end(), Byte('\n'));
        if (lf == c.in.end()) {
            if (c.in.size() - at >= lpd_receiver::MaxLine)
                refuse(c);
            break;
        }
        const std::string line(c.in.begin() + std::ptrdiff_t(at), lf);
        at = std::size_t(lf - c.in.begin()) + 1;
        if (line.size() >= lpd_receiver::MaxLine || line.empty()) {
            refuse(c);
            return;
        }
        const Byte code = Byte(line[0]);
        const std::string_view operands = std::string_view(line).substr(1);
        if (c.phase == Connection::Phase::Command) {
            if (code == ReceiveJob) {
                c.port = queuePort(operands, side.ports);
                if (c.port == 0) {
                    refuse(c);
                    return;
                }
                c.out += Accepted;
                c.phase = Connection::Phase::Subcommands;
            } else if (code == ShortQueueState || code == LongQueueState) {
                const std::string_view queue = operands.substr(0, operands.find_first_of(" \t"));
                const int port = queuePort(queue, side.ports);
                c.out += port ? "LPT" + std::to_string(port) + " is ready\nno entries\n"
                              : "unknown printer " + printable(queue, 32) + "\n";
                c.ending = true;
            } else {
                refuse(c); // printing waiting jobs or removing jobs is not for a client of this box
                return;
            }
        } else if (code == AbortJob) {
            c.dropJob();
        } else if (code == ControlFile || code == DataFile) {
            c.control = code == ControlFile;
            const auto header = fileHeader(operands, c.control ? lpd_receiver::MaxControlFile
                                                               : lpd_receiver::MaxJobData - c.data.size());
            if (!header) {
                refuse(c);
                return;
            }
            c.remaining = header->first;
            c.name = header->second;
            c.file.clear();
            c.phase = Connection::Phase::File;
            c.out += Accepted;
        } else {
            refuse(c);
            return;
        }
    }
    if (!c.ending)
        c.in.erase(c.in.begin(), c.in.begin() + std::ptrdiff_t(at));
    else
        c.in.clear();
}

std::string LpdReceiver::jobDirectory(std::size_t i, int port) const {
    const MacAddress& m = m_boxes[i].mac;
    char name[32];
    std::snprintf(name, sizeof name, "%02X%02X%02X%02X%02X%02X.LPT%d", m[0], m[1], m[2], m[3], m[4], m[5],
                  port);
    return m_stateDirectory + "/" + name;
}

int LpdReceiver::nextNumber(std::size_t i, int port) {
    int& last = m_boxes[i].lastNumber[std::size_t(port - 1)];
    if (last == 0 && !m_stateDirectory.empty()) {
        // Jobs of an earlier run stay: numbering goes on after the highest.
        std::error_code ec;
        for (const auto& entry : std::filesystem::directory_iterator(jobDirectory(i, port), ec)) {
            const std::string f = entry.path().filename().string();
            if (f.size() < 9 || f.compare(0, 4, "job-") != 0 || f.compare(f.size() - 4, 4, ".prn") != 0)
                continue;
            const std::string digits = f.substr(4, f.size() - 8);
            if (digits.size() <= 9 &&
                std::all_of(digits.begin(), digits.end(), [](char d) { return d >= '0' && d <= '9'; }))
                last = std::max(last, std::stoi(digits));
        }
    }
    return ++last;
}

void LpdReceiver::finishJob(Connection& c) {
    BoxSide& side = m_boxes[c.box];
    std::string host = addressText(c.peer);
    for (std::string_view line : controlLines(*c.controlFile))
        if (line[0] == 'H' && line.size() > 1)
            host = printable(line.substr(1));
    const int number = nextNumber(c.box, c.port);
    std::string where = "memory";
    if (!m_stateDirectory.empty()) {
        const std::string directory = jobDirectory(c.box, c.port);
        char name[32];
        std::snprintf(name, sizeof name, "/job-%04d.prn", number);
        std::error_code ec;
        std::filesystem::create_directories(directory, ec);
        std::string error = ec.message();
        if (!ec && platform::writeFilePrivately(
                       directory + name,
                       std::string_view(reinterpret_cast<const char*>(c.data.data()), c.data.size()), &error))
            where = directory + name;
        else if (m_log)
            m_log(side.name + " LPT" + std::to_string(c.port) + ": cannot write " + directory + name + ": " +
                      error,
                  true);
    }
    if (m_log)
        m_log(side.name + " LPT" + std::to_string(c.port) + ": job " + std::to_string(number) + " from " +
                  host + " (" + std::to_string(c.data.size()) + " bytes) -> " + where,
              false);
    side.jobs[std::size_t(c.port - 1)].push_back(std::move(c.data));
    c.dropJob();
}

std::vector<std::vector<Byte>> LpdReceiver::jobs(std::size_t i, int port) const {
    if (i >= m_boxes.size() || port < 1 || port > lpd_receiver::MaxPorts)
        return {};
    return m_boxes[i].jobs[std::size_t(port - 1)];
}

} // namespace vnk::sim
