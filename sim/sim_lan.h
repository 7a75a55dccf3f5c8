// The simulated LAN: a set of boxes (and networked PCs) that listen on the
// command port of one endpoint, every box hearing every broadcast, each answering
// what is addressed to it. Runs on its own thread; tests start one in-process on
// ephemeral loopback ports, vnksim runs one as a program.
//
// With an IPX carrier port the LAN is also a virtual IPX segment: it reads every
// carrier datagram, hands packets for socket 0x3434 (and firmware data for
// 0x3451) to the box whose node is its Ethernet address, and SAP and NCP
// packets to its NetWare file servers. Everything it sends goes to the carrier's
// broadcast address, so that every endpoint of the segment hears it.
//
// With a NetBIOS port the LAN also answers NetBIOS datagrams (RFC 1002 direct
// datagrams on that UDP port): a datagram to the group KOVA.GROUP reaches every
// box, one to a box's own name (its device name and ".CFG") that box. A box
// answers with a DIRECT_UNIQUE datagram from its name to the requester's name,
// broadcast on the port.
//
// With an LPD port the boxes also print: each box with a loopback address takes
// LPD jobs there on that TCP port, serviced on the same thread (sim_lpd.h), and
// moves when a reset gives it another address.
#pragma once

#include "platform/endpoint.h"
#include "platform/netbios.h"
#include "sim/demo_lan.h"        // what a LAN is started with: the demo LAN
#include "sim/lan_description.h" // or a description file
#include "sim/sim_box.h"
#include "sim/sim_fileserver.h"
#include "sim/sim_lpd.h"

#include <netinet/in.h>

#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <variant>

namespace vnk::sim {

struct LanOptions {
    std::string broadcast = "127.255.255.255";
    std::uint16_t commandPort = 0;  // 0: a free port is chosen
    std::uint16_t firmwarePort = 0; // 0: a free port is chosen
    std::optional<std::uint16_t> ipxPort; // the IPX carrier port; none: no IPX; 0: a free port is chosen
    std::optional<std::uint16_t> netbiosPort; // the NetBIOS datagram port; none: no NetBIOS; 0: a free port
    // The TCP port on which each box with a loopback address takes LPD print jobs
    // (sim_lpd.h); none: no LPD; 0: a free port, the same number on every address.
    std::optional<std::uint16_t> lpdPort;
    LpdLog lpdLog; // a line per print job a box took, and per LPD problem (on the LAN's thread)
    std::string stateDirectory;     // "" keeps records in memory
    bool loopbackOnly = true;       // never answer a requester outside 127.0.0.0/8
    unsigned seed = 1;              // for the random faults
    // What happens to requests on their way to the boxes (and the file servers):
    // lost, taken twice, or one byte garbled (drop, duplicate and garble only).
    FaultSpec requestFaults;
};

class SimLan {
public:
    explicit SimLan(LanOptions options = {});
    ~SimLan();
    SimLan(const SimLan&) = delete;
    SimLan& operator=(const SimLan&) = delete;

    // Boxes and file servers may be added before or after start().
    int addBox(BoxSpec spec);
    int addFileServer(FileServerSpec spec);
    bool start(std::string* error = nullptr);
    void stop();

    std::uint16_t commandPort() const { return m_commandPort; }
    std::uint16_t firmwarePort() const { return m_firmwarePort; }
    // The IPX carrier port once started (0 when the LAN has no IPX side).
    std::uint16_t ipxPort() const { return m_ipxPort; }
    // The NetBIOS datagram port once started (0 when the LAN has no NetBIOS side).
    std::uint16_t netbiosPort() const { return m_netbiosPort; }
    // The LPD port once started (0 when the boxes take no print jobs).
    std::uint16_t lpdPort() const { return m_lpdPort; }
    // The endpoint a client uses to reach this LAN.
    platform::Endpoint endpoint() const;
    int boxCount() const;

    // Runs f on box i under the LAN's lock (the LAN thread is paused meanwhile).
    template <class F> auto withBox(int i, F&& f) {
        std::lock_guard lock(m_mutex);
        return f(*m_boxes.at(std::size_t(i)));
    }
    // Runs f on file server i under the LAN's lock.
    template <class F> auto withFileServer(int i, F&& f) {
        std::lock_guard lock(m_mutex);
        return f(*m_fileServers.at(std::size_t(i)));
    }
    int fileServerCount() const;
    // The box whose Ethernet address is mac, or -1.
    int findBox(const MacAddress& mac) const;

    // The data of each print job box i took on LPT<port>, in the order they came.
    std::vector<std::vector<Byte>> jobs(int box, int port) const;

    // Datagrams received on the command port, for tests that look at requests.
    std::size_t requestsSeen() const { return m_requests.load(); }

private:
    // An IPX packet's way: its source and destination addresses and its type.
    struct IpxRoute {
        platform::IpxAddress from, to;
        Byte packetType = 0;
    };
    // A NetBIOS reply's way: from a box's name to the requester's name.
    struct NetbiosRoute {
        platform::NetbiosName from, to;
        std::uint32_t sourceIp = 0; // host order
    };
    // Where a datagram goes: a UDP requester, an IPX address on the segment, or
    // a NetBIOS name.
    using Destination = std::variant<sockaddr_in, IpxRoute, NetbiosRoute>;
    struct Outgoing {
        Clock::time_point due;
        int socket;
        sockaddr_in to;
        std::vector<Byte> bytes;
    };
    void run();
    void onRequest(const Byte* data, std::size_t n, const sockaddr_in& from, Clock::time_point now);
    void onFirmwareData(const Byte* data, std::size_t n, const sockaddr_in& from, Clock::time_point now);
    void onCarrier(const Byte* data, std::size_t n, const sockaddr_in& from, Clock::time_point now);
    void onNetbios(const Byte* data, std::size_t n, const sockaddr_in& from, Clock::time_point now);
    void startTransfer(std::size_t box, Destination peer, Clock::time_point now);
    // Faults apply to what a box sends (the IPX payload or the NetBIOS user
    // data, not the header that carries it).
    void queue(std::vector<Byte> bytes, const Destination& to, const FaultSpec& faults, Clock::time_point now);
    void flush(Clock::time_point now);
    // Hands a received datagram to its handler through the request faults.
    template <class Handler>
    void arrive(Byte* data, std::size_t n, const sockaddr_in& from, Clock::time_point now, Handler handler);

    LanOptions m_options;
    int m_socket = -1;
    int m_firmwareSocket = -1;
    int m_ipxSocket = -1;
    int m_netbiosSocket = -1;
    std::uint16_t m_commandPort = 0;
    std::uint16_t m_firmwarePort = 0;
    std::uint16_t m_ipxPort = 0;
    std::uint16_t m_netbiosPort = 0;
    std::uint16_t m_lpdPort = 0;
    std::unique_ptr<LpdReceiver> m_lpd; // while started with an LPD port
    std::uint16_t m_netbiosId = 1;        // the next NetBIOS datagram's ID
    std::uint32_t m_broadcastAddress = 0; // host order
    mutable std::mutex m_mutex;
    std::vector<std::unique_ptr<SimBox>> m_boxes;
    std::vector<Destination> m_firmwarePeers; // per box: where its block requests go
    std::vector<std::unique_ptr<SimFileServer>> m_fileServers;
    std::deque<Outgoing> m_outgoing;
    std::mt19937 m_random;
    std::thread m_thread;
    std::atomic<bool> m_running{false};
    std::atomic<std::size_t> m_requests{0};
};

} // namespace vnk::sim
