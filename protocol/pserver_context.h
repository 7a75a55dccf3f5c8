// CPServerContext: the configuration utility's one state object. It owns the
// server table that discovery fills and the configuration, status and printer
// status buffers of the selected box, and it is the one interface of the
// operations that talk to a box, whatever carries them.
#pragma once

#include "platform/endpoint.h"
#include "platform/error_reporter.h"
#include "platform/timing.h"
#include "platform/ipx.h"
#include "platform/udp_socket.h"
#include "protocol/identity.h"
#include "protocol/records.h"

#include <netinet/in.h>

#include <functional>
#include <string>

namespace vnk::protocol {

inline constexpr int MaxServers = 30;

struct ServerEntry {
    IdentityBlock identity{};
    std::array<Byte, 4> ipAddress{}; // record bytes 498-501, copied by XGetPort
    Byte included = 0;               // set by XGetPort when the box speaks TCP/IP
    sockaddr_in sender{};            // where the discovery reply came from
    MacAddress ethernet{};           // bytes 0-5 of the reply; every request carries it
    platform::IpxAddress ipxAddress{}; // over IPX: where the box's command socket is

    std::string name() const { return serverName(identity); }
};

struct UpgradeResult;
// blocksSent of a full image after every block datagram sent.
using UpgradeProgress = std::function<void(int blocksSent)>;

// How the reset-and-reconnect sequence went; the caller shows one message per failure.
struct ReconnectResult {
    bool cameBack = false;
    bool recordRead = false;
    bool statusRead = false;
    bool ok() const { return cameBack && recordRead && statusRead; }
};

// The interface the pages reach a box through, and the state the tools keep.
// Each transport of transport/ (UDP, IPX, NetBIOS) derives from it and gives
// the operations; a page holds a CPServerContext and never learns which one it
// has. Operations return 1 for success and 0 for failure; the caller chooses
// the message.
class CPServerContext {
public:
    CPServerContext(platform::Endpoint endpoint, platform::Timing timing, platform::ErrorReporter& reporter);
    virtual ~CPServerContext() = default;
    CPServerContext(const CPServerContext&) = delete;
    CPServerContext& operator=(const CPServerContext&) = delete;

    // --- state, in the order the tools know it ---
    int selectedIndex = -1;
    ConfigFrame configBuffer{};
    StatusBuffer statusBuffer{};
    PrinterStatusBuffer printerStatusBuffer{};
    int serverCount = 0;
    std::array<ServerEntry, MaxServers> serverTable{};
    std::string title = "Print Server";
    std::string programDirectory = ".";
    std::string settingsPath = "./Config.ini";
    int serialPortCount = 0;
    int parallelPortCount = 0;
    // Discovery lists a box once by its name, as the utilities always have; with
    // this set, a box of a name already listed is listed too when its Ethernet
    // address differs (vnkctl's search over every transport, merged by address).
    bool keepSameNames = false;

    // --- operations, as each transport carries them ---
    // Full refresh: discovery, then each box's record; fills the server table.
    virtual int XGetPort() = 0;
    // Asks one box for its identity; reply holds the whole reply datagram (at
    // least DiscoveryReplySize bytes), the identity block at searchReplyIdentity().
    virtual int XSearchPS(ServerEntry& entry, Byte* reply) = 0;
    virtual int XReadPServerEEProm(ServerEntry& entry, ConfigFrame& frame) = 0;
    // Stores the checksum into record byte 511 and writes the record.
    virtual int XWritePServerEEProm(ServerEntry& entry, ConfigFrame& frame) = 0;
    virtual int XResetPServerEEProm(ServerEntry& entry) = 0;
    virtual int XGetPServerStatus(ServerEntry& entry, StatusBuffer& status) = 0;
    virtual int XGetPrinterStatus(ServerEntry& entry, PrinterStatusBuffer& buffer, std::int32_t portIndex) = 0;
    virtual int XTestPrint(ServerEntry& entry, int port) = 0;
    // The firmware transfer (see protocol/firmware.h for its rules and results).
    virtual int XUpgradeFlashRAM(ServerEntry& entry, const std::string& path, const MacAddress& recordEthernet,
                                 int typeIndex, const UpgradeProgress& progress, UpgradeResult* result) = 0;
    // Where the identity block starts in the reply of XSearchPS.
    virtual std::size_t searchReplyIdentity() const = 0;

    // An entry for the box with this Ethernet address, as if discovery had found
    // it: its address for every transport, identity empty.
    static ServerEntry entryFor(const MacAddress& ethernet);

    // Reset the selected box, wait until it answers a search again, then read its
    // record and status anew. tell() gets each failure message.
    ReconnectResult resetAndReconnect(const std::function<void(const std::string&)>& tell);
    static std::string stillNotComingBackText(const std::string& name);

    ServerEntry* selectedEntry();
    const ServerEntry* selectedEntry() const;

    const platform::Endpoint& endpoint() const { return m_endpoint; }
    const platform::Timing& timing() const { return m_timing; }
    void setTiming(const platform::Timing& t) { m_timing = t; }
    platform::ErrorReporter& reporter() { return *m_reporter; }
    void setReporter(platform::ErrorReporter& r) { m_reporter = &r; }
    // Called while the protocol waits, so that a GUI keeps painting.
    void setIdleHook(platform::IdleHook hook) { m_idle = std::move(hook); }
    const platform::IdleHook& idleHook() const { return m_idle; }

protected:
    void reportSocketFailure(const char* operation, const char* call, int error);

private:
    platform::Endpoint m_endpoint;
    platform::Timing m_timing;
    platform::ErrorReporter* m_reporter;
    platform::IdleHook m_idle;
};

} // namespace vnk::protocol
