// A print job sent to a line printer daemon (RFC 1179), as a box takes jobs for
// its parallel ports: one TCP connection, the queue named, the control file, the
// data file, and a one-byte acknowledgement after each step. Every wait is
// bounded and every reply byte checked; a failure says why, and whether it is
// worth sending the job again later.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace vnk::lpd {

// The most a job may hold: the data is in memory, since the control file names
// the data file's size before its bytes.
inline constexpr std::size_t MaxJobBytes = std::size_t(256) << 20;

struct Timeouts {
    std::chrono::milliseconds connect{10'000};         // the TCP connection
    std::chrono::milliseconds acknowledgement{60'000}; // each one-byte reply
    std::chrono::milliseconds stall{300'000};          // a send without progress (a printer out of paper)
};

struct Target {
    std::string address; // dotted IPv4
    std::uint16_t port = 515;
};

// Texts are cleaned before they go: control characters become '?', and each is
// cut to its limit (H and P 31 bytes, J 99, N 131); the host in the file names
// keeps letters, digits, '.' and '-' only, 15 at most.
struct Job {
    std::string queue;                  // "LPT1": printable, no blanks, at most 64 bytes
    std::string host;                   // H, and part of the file names
    std::string user;                   // P
    std::string title;                  // J
    std::string sourceName;             // N
    int number = 0;                     // the job number of the file names, taken modulo 1000
    std::span<const std::uint8_t> data; // the bytes to print, raw
    int repeat = 1;                     // the data file holds the bytes this often (1-9999): copies
};

enum class Outcome {
    Sent,
    Unreachable,    // no connection (refused, no route, bad address)
    TimedOut,       // a connection, an acknowledgement or a send took too long
    ConnectionLost, // the daemon closed the connection or it broke midway
    Refused,        // the daemon answered a step with a non-zero byte
    Invalid,        // the job itself cannot be sent (queue name, size, repeat)
    Cancelled,      // *cancel was set
};

struct Result {
    Outcome outcome = Outcome::Sent;
    std::string reason; // what happened, for a log line; empty when sent
    bool ok() const { return outcome == Outcome::Sent; }
    // True when the same job may well go through later (the daemon or the way to
    // it is down); false when the daemon said no or the job cannot be sent.
    bool worthRetrying() const;
};

// Sends one job. The connection comes from any free local port: RFC 1179 asks
// for 721-731, which only root may bind, and the daemons of print servers do not
// insist on them. When cancel is given, setting it ends every wait within 100 ms
// and closes the connection; unless the data file's closing zero byte had gone
// already, the daemon has an incomplete job and drops it.
Result sendJob(const Target& target, const Job& job, const Timeouts& timeouts = {},
               const std::atomic<bool>* cancel = nullptr);

// All bytes of a descriptor up to its end (a job handed on standard input has no
// size), or of a file. More than limit bytes, a read error or a cancel leave
// error set and bytes empty.
struct ReadResult {
    std::vector<std::uint8_t> bytes;
    std::string error;
    bool cancelled = false;
    bool tooLarge = false; // more than limit bytes
    bool ok() const { return error.empty(); }
};
ReadResult readAll(int fd, std::size_t limit = MaxJobBytes, const std::atomic<bool>* cancel = nullptr);
ReadResult readFile(const std::string& path, std::size_t limit = MaxJobBytes,
                    const std::atomic<bool>* cancel = nullptr);

} // namespace vnk::lpd
