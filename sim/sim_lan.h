// The simulated LAN: a set of boxes (and networked PCs) that listen on the
// command port of one endpoint, every box hearing every broadcast, each answering
// what is addressed to it. Runs on its own thread; tests start one in-process on
// ephemeral loopback ports, vnksim runs one as a program.
#pragma once

#include "platform/endpoint.h"
#include "sim/sim_box.h"

#include <netinet/in.h>

#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace vnk::sim {

struct LanOptions {
    std::string broadcast = "127.255.255.255";
    std::uint16_t commandPort = 0;  // 0: a free port is chosen
    std::uint16_t firmwarePort = 0; // 0: a free port is chosen
    std::string stateDirectory;     // "" keeps records in memory
    bool loopbackOnly = true;       // never answer a requester outside 127.0.0.0/8
    unsigned seed = 1;              // for the random faults
};

class SimLan {
public:
    explicit SimLan(LanOptions options = {});
    ~SimLan();
    SimLan(const SimLan&) = delete;
    SimLan& operator=(const SimLan&) = delete;

    // Boxes may be added before or after start().
    int addBox(BoxSpec spec);
    bool start(std::string* error = nullptr);
    void stop();

    std::uint16_t commandPort() const { return m_commandPort; }
    std::uint16_t firmwarePort() const { return m_firmwarePort; }
    // The endpoint a client uses to reach this LAN.
    platform::Endpoint endpoint() const;
    int boxCount() const;

    // Runs f on box i under the LAN's lock (the LAN thread is paused meanwhile).
    template <class F> auto withBox(int i, F&& f) {
        std::lock_guard lock(m_mutex);
        return f(*m_boxes.at(std::size_t(i)));
    }
    // The box whose Ethernet address is mac, or -1.
    int findBox(const MacAddress& mac) const;

    // Datagrams received on the command port, for tests that look at requests.
    std::size_t requestsSeen() const { return m_requests.load(); }

private:
    struct Outgoing {
        Clock::time_point due;
        sockaddr_in to;
        std::vector<Byte> bytes;
    };
    void run();
    void onRequest(const Byte* data, std::size_t n, const sockaddr_in& from, Clock::time_point now);
    void onFirmwareData(const Byte* data, std::size_t n, const sockaddr_in& from, Clock::time_point now);
    void queue(std::vector<Byte> bytes, const sockaddr_in& to, const FaultSpec& faults, Clock::time_point now);
    void flush(Clock::time_point now);

    LanOptions m_options;
    int m_socket = -1;
    int m_firmwareSocket = -1;
    std::uint16_t m_commandPort = 0;
    std::uint16_t m_firmwarePort = 0;
    mutable std::mutex m_mutex;
    std::vector<std::unique_ptr<SimBox>> m_boxes;
    std::vector<sockaddr_in> m_firmwarePeers; // per box: where its block requests go
    std::deque<Outgoing> m_outgoing;
    std::mt19937 m_random;
    std::thread m_thread;
    std::atomic<bool> m_running{false};
    std::atomic<std::size_t> m_requests{0};
};

// The LAN description file: one INI section per box or PC. Every mistake of the
// file is reported, one line each as "file:line: [section] key: what was
// expected", in *error; a file with any mistake gives no box. A directory, a file
// that cannot be read or is longer than 1 MiB, two sections of one name and two
// boxes with one Ethernet address are refused.
std::vector<BoxSpec> loadLanDescription(const std::string& path, std::string* error);
// The keys of a LAN description, one a line with the form of its value, for --help.
std::string lanDescriptionKeys();
// The built-in demo LAN: several models and a networked PC.
std::vector<BoxSpec> demoLan();

} // namespace vnk::sim
