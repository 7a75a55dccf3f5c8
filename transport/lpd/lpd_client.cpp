#include "transport/lpd/lpd_client.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace vnk::lpd {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr milliseconds Slice{100}; // how often a wait looks at the cancel flag
constexpr int MaxRepeat = 9999;

bool isCancelled(const std::atomic<bool>* cancel) {
    return cancel && cancel->load();
}

Result fail(Outcome outcome, std::string reason) {
    return {outcome, std::move(reason)};
}

std::string errorText(int error) {
    return std::strerror(error);
}

// A text for a control file line: control characters (a line feed would start a
// line of its own) become '?', and it is cut to max bytes, never inside a UTF-8
// character.
std::string lineText(const std::string& text, std::size_t max) {
    std::string out;
    for (char c : text)
        out += (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) ? '?' : c;
    if (out.size() > max) {
        std::size_t cut = max;
        while (cut > 0 && (static_cast<unsigned char>(out[cut]) & 0xC0) == 0x80)
            --cut;
        out.resize(cut);
    }
    return out;
}

// The host as it may stand in a file name: letters, digits, '.' and '-'.
std::string fileHost(const std::string& host, std::size_t max) {
    std::string out;
    for (char c : host.substr(0, max)) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                           c == '.' || c == '-';
        out += plain ? c : '_';
    }
    return out.empty() ? "localhost" : out;
}

std::string validQueue(const std::string& queue) {
    if (queue.empty() || queue.size() > 64)
        return "the queue name must have 1 to 64 characters";
    for (char c : queue)
        if (static_cast<unsigned char>(c) <= 0x20 || static_cast<unsigned char>(c) >= 0x7F)
            return "the queue name may hold only printable characters without blanks";
    return {};
}

// "256 MiB", or a number of bytes that is not whole mebibytes.
std::string sizeText(std::size_t bytes) {
    constexpr std::size_t MiB = std::size_t(1) << 20;
    return bytes % MiB == 0 && bytes > 0 ? std::to_string(bytes / MiB) + " MiB"
                                         : std::to_string(bytes) + " bytes";
}

enum class Wait { Ready, TimedOut, Cancelled, Failed };

// Waits until fd is ready for events, at most limit, looking at the cancel flag
// at least every Slice.
Wait waitFor(int fd, short events, milliseconds limit, const std::atomic<bool>* cancel, int& error) {
    const auto deadline = Clock::now() + limit;
    for (;;) {
        if (isCancelled(cancel))
            return Wait::Cancelled;
        const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            return Wait::TimedOut;
        pollfd p{fd, events, 0};
        const int n = ::poll(&p, 1, int(std::min(left, Slice).count()) + 1);
        if (n < 0 && errno != EINTR) {
            error = errno;
            return Wait::Failed;
        }
        if (n > 0)
            return Wait::Ready; // errors and hang-ups show in the call that follows
    }
}

class Connection {
public:
    Connection(const Timeouts& timeouts, const std::atomic<bool>* cancel)
        : m_timeouts(timeouts), m_cancel(cancel) {}
    ~Connection() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    Result open(const Target& target) {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(target.port);
        if (target.port == 0 || ::inet_pton(AF_INET, target.address.c_str(), &to.sin_addr) != 1)
            return fail(Outcome::Invalid, "\"" + lineText(target.address, 64) + "\" port " +
                                              std::to_string(target.port) +
                                              " is not an IPv4 address and port");
        m_where = target.address + " port " + std::to_string(target.port);
        m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (m_fd < 0)
            return fail(Outcome::Unreachable, "no socket for the connection: " + errorText(errno));
        if (::connect(m_fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0)
            return {};
        if (errno != EINPROGRESS)
            return unreachable(errno);
        int error = 0;
        switch (waitFor(m_fd, POLLOUT, m_timeouts.connect, m_cancel, error)) {
        case Wait::Ready:
            break;
        case Wait::TimedOut:
            return fail(Outcome::TimedOut,
                        "no connection to " + m_where + " within " + seconds(m_timeouts.connect));
        case Wait::Cancelled:
            return cancelled();
        case Wait::Failed:
            return unreachable(error);
        }
        socklen_t length = sizeof error;
        if (::getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
            error = errno;
        return error == 0 ? Result{} : unreachable(error);
    }

    Result send(std::span<const std::uint8_t> bytes, const std::string& what) {
        while (!bytes.empty()) {
            const ssize_t n = ::send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
            if (n > 0) {
                bytes = bytes.subspan(std::size_t(n));
                continue;
            }
            if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
                return fail(Outcome::ConnectionLost, "the connection to " + m_where +
                                                         " broke while sending " + what + ": " +
                                                         errorText(errno));
            int error = 0;
            switch (waitFor(m_fd, POLLOUT, m_timeouts.stall, m_cancel, error)) {
            case Wait::Ready:
                break;
            case Wait::TimedOut:
                return fail(Outcome::TimedOut,
                            m_where + " took nothing of " + what + " for " + seconds(m_timeouts.stall));
            case Wait::Cancelled:
                return cancelled();
            case Wait::Failed:
                return fail(Outcome::ConnectionLost, "waiting to send " + what + ": " + errorText(error));
            }
        }
        return {};
    }
    Result send(const std::string& text, const std::string& what) {
        return send({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()}, what);
    }

    // One acknowledgement: a zero byte. Anything else is a refusal.
    Result acknowledged(const std::string& what) {
        int error = 0;
        switch (waitFor(m_fd, POLLIN, m_timeouts.acknowledgement, m_cancel, error)) {
        case Wait::Ready:
            break;
        case Wait::TimedOut:
            return fail(Outcome::TimedOut, m_where + " did not acknowledge " + what + " within " +
                                               seconds(m_timeouts.acknowledgement));
        case Wait::Cancelled:
            return cancelled();
        case Wait::Failed:
            return fail(Outcome::ConnectionLost,
                        "waiting for the answer to " + what + ": " + errorText(error));
        }
        std::uint8_t answer = 0;
        ssize_t n;
        do
            n = ::recv(m_fd, &answer, 1, 0);
        while (n < 0 && errno == EINTR);
        if (n == 0)
            return fail(Outcome::ConnectionLost,
                        m_where + " closed the connection instead of acknowledging " + what);
        if (n < 0)
            return fail(Outcome::ConnectionLost, "the connection to " + m_where +
                                                     " broke awaiting the answer to " + what + ": " +
                                                     errorText(errno));
        if (answer != 0)
            return fail(Outcome::Refused,
                        m_where + " refused " + what + " (answer " + std::to_string(answer) + ")");
        return {};
    }

private:
    static std::string seconds(milliseconds t) {
        char text[32];
        std::snprintf(text, sizeof text, "%.1f s", double(t.count()) / 1000.0);
        return text;
    }
    Result unreachable(int error) const {
        return fail(Outcome::Unreachable, "no connection to " + m_where + ": " + errorText(error));
    }
    static Result cancelled() { return fail(Outcome::Cancelled, "the job was cancelled"); }

    Timeouts m_timeouts;
    const std::atomic<bool>* m_cancel;
    std::string m_where;
    int m_fd = -1;
};

// Sends a subcommand line, its file and the closing zero byte, with the
// acknowledgements of the line and of the file.
Result sendFile(Connection& c, char subcommand, const std::string& name, std::span<const std::uint8_t> bytes,
                int repeat, const std::string& what) {
    const std::uint64_t count = std::uint64_t(bytes.size()) * std::uint64_t(repeat);
    if (Result r = c.send(std::string(1, subcommand) + std::to_string(count) + " " + name + "\n", what);
        !r.ok())
        return r;
    if (Result r = c.acknowledged("the announcement of " + what); !r.ok())
        return r;
    for (int i = 0; i < repeat; ++i)
        if (Result r = c.send(bytes, what); !r.ok())
            return r;
    static constexpr std::uint8_t End[1] = {0};
    if (Result r = c.send(std::span<const std::uint8_t>(End), what); !r.ok())
        return r;
    return c.acknowledged(what);
}

} // namespace

bool Result::worthRetrying() const {
    return outcome == Outcome::Unreachable || outcome == Outcome::TimedOut ||
           outcome == Outcome::ConnectionLost;
}

Result sendJob(const Target& target, const Job& job, const Timeouts& timeouts,
               const std::atomic<bool>* cancel) {
    if (std::string why = validQueue(job.queue); !why.empty())
        return fail(Outcome::Invalid, why);
    if (job.repeat < 1 || job.repeat > MaxRepeat)
        return fail(Outcome::Invalid, "the number of copies must be 1 to " + std::to_string(MaxRepeat));
    if (job.data.size() > MaxJobBytes)
        return fail(Outcome::Invalid,
                    "the job is larger than " + sizeText(MaxJobBytes) + ", the most that is sent");

    char number[4];
    std::snprintf(number, sizeof number, "%03d", ((job.number % 1000) + 1000) % 1000);
    const std::string host = fileHost(job.host, 15);
    const std::string dataName = "dfA" + std::string(number) + host;
    // The lines in the order lpr writes them: host, user, job, then the file's print (raw), unlink and name.
    std::string control;
    control += "H" + lineText(job.host.empty() ? host : job.host, 31) + "\n";
    control += "P" + lineText(job.user.empty() ? std::string("unknown") : job.user, 31) + "\n";
    control += "J" + lineText(job.title, 99) + "\n";
    control += "l" + dataName + "\n";
    control += "U" + dataName + "\n";
    control += "N" + lineText(job.sourceName, 131) + "\n";

    Connection c(timeouts, cancel);
    if (Result r = c.open(target); !r.ok())
        return r;
    if (Result r = c.send("\x02" + job.queue + "\n", "the job"); !r.ok())
        return r;
    if (Result r = c.acknowledged("the queue " + job.queue); !r.ok())
        return r;
    const std::string controlName = "cfA" + std::string(number) + host;
    const auto controlBytes =
        std::span(reinterpret_cast<const std::uint8_t*>(control.data()), control.size());
    if (Result r = sendFile(c, 0x02, controlName, controlBytes, 1, "the control file"); !r.ok())
        return r;
    return sendFile(c, 0x03, dataName, job.data, job.repeat, "the data file");
}

ReadResult readAll(int fd, std::size_t limit, const std::atomic<bool>* cancel) {
    ReadResult r;
    std::size_t used = 0;
    for (;;) {
        if (isCancelled(cancel)) {
            r.cancelled = true;
            r.error = "the job was cancelled";
            break;
        }
        // One byte past the limit shows that there is more.
        if (r.bytes.size() - used < 65536)
            r.bytes.resize(
                std::min(r.bytes.size() + std::max<std::size_t>(r.bytes.size(), 65536), limit + 1));
        if (used == r.bytes.size()) {
            r.tooLarge = true;
            r.error = "the job is larger than " + sizeText(limit) + ", the most that is sent";
            break;
        }
        const ssize_t n = ::read(fd, r.bytes.data() + used, r.bytes.size() - used);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            r.error = "the job cannot be read: " + errorText(errno);
            break;
        }
        if (n == 0) {
            r.bytes.resize(used);
            return r;
        }
        used += std::size_t(n);
    }
    r.bytes.clear();
    r.bytes.shrink_to_fit();
    return r;
}

ReadResult readFile(const std::string& path, std::size_t limit, const std::atomic<bool>* cancel) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        ReadResult r;
        r.error = "cannot open " + path + ": " + errorText(errno);
        return r;
    }
    ReadResult r = readAll(fd, limit, cancel);
    ::close(fd);
    return r;
}

} // namespace vnk::lpd
