// The print side of the simulated boxes: an LPD receiver (RFC 1179). A box that
// is up, has parallel ports and uses a loopback address (127.x.x.x) listens for
// TCP connections on that address at the LAN's LPD port and takes the "receive a
// printer job" command for its queues LPT1..LPTn (in any case). A job is the
// control file and the data files that follow it on one connection; once it is
// whole its data bytes are kept for the port, in memory and, with a state
// directory, in a file of their own.
//
// Every socket is non-blocking and serviced on the LAN's thread, between its
// datagrams: a slow or silent client holds up nobody. What comes from the
// network is bounded: command lines, file names, file sizes, the number of
// connections, and the time a connection may stay silent.
#pragma once

#include "sim/sim_box.h"

#include <poll.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vnk::sim {

namespace lpd_receiver {
inline constexpr std::size_t MaxLine = 1024;             // a command or subcommand line, LF included
inline constexpr std::size_t MaxName = 255;              // a control or data file's name
inline constexpr std::size_t MaxControlFile = 64 * 1024; // a control file
// One job's data files together: as much as a client sends.
inline constexpr std::size_t MaxJobData = std::size_t(256) * 1024 * 1024;
inline constexpr std::size_t MaxConnections = 64;    // open at once, on the whole LAN
inline constexpr std::chrono::seconds IdleLimit{60}; // silence after which a connection is dropped
inline constexpr int MaxPorts = 3;                   // LPT1-LPT3
} // namespace lpd_receiver

// What the receiver reports as it works: a line per job a box took
// ("QUILL-3P2S LPT1: job 3 from host (812 bytes) -> memory") and, with problem
// set, a line when a box cannot listen or a job's file cannot be written.
using LpdLog = std::function<void(const std::string& line, bool problem)>;

class LpdReceiver {
  public:
    // port: the LPD port of every box's address; 0 picks a free one at start().
    // stateDirectory: "" keeps jobs in memory only.
    LpdReceiver(std::uint16_t port, std::string stateDirectory, LpdLog log);
    ~LpdReceiver();
    LpdReceiver(const LpdReceiver&) = delete;
    LpdReceiver& operator=(const LpdReceiver&) = delete;

    // Settles the port. A free one is held (by a socket that never listens, on
    // every address) as long as the receiver lives, so that each box's address
    // can take the same number.
    bool start(std::string* error);
    std::uint16_t port() const { return m_port; }

    // Makes box i's listener follow the box: open on its active address while it
    // is up (not restarting, firmware present, not silent, not a PC) with parallel
    // ports and a loopback address; moved when the address changes; closed, with
    // its connections, otherwise.
    void follow(std::size_t i, const SimBox& box, Clock::time_point now);
    // The sockets to wait on.
    void addPollFds(std::vector<pollfd>& fds) const;
    // Accepts, reads and answers whatever is ready, without waiting.
    void service(Clock::time_point now);

    // The data of every job box i took on LPT<port>, in the order they came.
    std::vector<std::vector<Byte>> jobs(std::size_t i, int port) const;

  private:
    struct Connection;
    struct BoxSide {
        int listener = -1;
        std::uint32_t address = 0;       // host order, where the listener is
        std::uint32_t failedAddress = 0; // the address a listener could not take (reported once)
        int ports = 0;
        std::string name; // for the log
        MacAddress mac{};
        std::array<std::vector<std::vector<Byte>>, lpd_receiver::MaxPorts> jobs;
        std::array<int, lpd_receiver::MaxPorts> lastNumber{}; // 0: not yet looked up in the state directory
    };
    void closeListener(std::size_t i);
    void accept(std::size_t i, Clock::time_point now);
    // Reads what the connection has and acts on it; false once it is to be closed.
    bool read(Connection& c, Clock::time_point now);
    void process(Connection& c);
    void finishJob(Connection& c);
    void refuse(Connection& c);
    int nextNumber(std::size_t i, int port);
    std::string jobDirectory(std::size_t i, int port) const;

    std::uint16_t m_port;
    std::string m_stateDirectory;
    LpdLog m_log;
    int m_reservation = -1;
    std::vector<BoxSide> m_boxes;
    std::vector<std::unique_ptr<Connection>> m_connections;
};

} // namespace vnk::sim
