// CPServerContext: the configuration utility's one state object. It owns the
// server table that discovery fills, the configuration, status and printer status
// buffers of the selected box, and every operation that talks to a box.
// Operations return 1 for success and 0 for failure; callers choose the message.
#pragma once

#include "platform/endpoint.h"
#include "platform/error_reporter.h"
#include "platform/timing.h"
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

    std::string name() const { return serverName(identity); }
};

// How the reset-and-reconnect sequence went; the caller shows one message per failure.
struct ReconnectResult {
    bool cameBack = false;
    bool recordRead = false;
    bool statusRead = false;
    bool ok() const { return cameBack && recordRead && statusRead; }
};

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

    // --- operations ---
    virtual int XGetPort();
    // Runs discovery on a bound socket. A hard send failure closes the socket and
    // sets it to -1, so the caller does not close it twice. When enough is given,
    // discovery ends as soon as it says so after a reply was added (a tool that
    // looks for one box need not wait for the passes to end).
    int XGetAllPServername(int& socket, const std::function<bool()>& enough = {});
    virtual int XSearchPS(ServerEntry& entry, Byte* reply /* at least 76 bytes */);
    virtual int XReadPServerEEProm(ServerEntry& entry, ConfigFrame& frame);
    virtual int XWritePServerEEProm(ServerEntry& entry, ConfigFrame& frame);
    virtual int XResetPServerEEProm(ServerEntry& entry);
    virtual int XGetPServerStatus(ServerEntry& entry, StatusBuffer& status);
    virtual int XGetPrinterStatus(ServerEntry& entry, PrinterStatusBuffer& buffer, std::int32_t portIndex);
    virtual int XTestPrint(ServerEntry& entry, int port);
    int XSendPacket(int socket, const Byte* data, std::size_t length, int& sent);
    int XSendPacket(int socket, const Byte* data, std::size_t length, int& sent, std::uint16_t port);
    int XReceivePacket(int socket, Byte* buffer, std::size_t size, int& received);

    // Reset the selected box, wait until it answers a search again, then read its
    // record and status anew. tell() gets each failure message.
    ReconnectResult resetAndReconnect(const std::function<void(const std::string&)>& tell);
    static std::string stillNotComingBackText(const std::string& name);

    ServerEntry* selectedEntry();
    const ServerEntry* selectedEntry() const;

    // Discovery's add-server step, for one 76-byte reply.
    void addServer(const Byte* reply /* 76 bytes */, const sockaddr_in& from);

    const platform::Endpoint& endpoint() const { return m_endpoint; }
    const platform::Timing& timing() const { return m_timing; }
    void setTiming(const platform::Timing& t) { m_timing = t; }
    platform::ErrorReporter& reporter() { return *m_reporter; }
    void setReporter(platform::ErrorReporter& r) { m_reporter = &r; }
    // Called while the protocol waits, so that a GUI keeps painting.
    void setIdleHook(platform::IdleHook hook) { m_idle = std::move(hook); }
    const platform::IdleHook& idleHook() const { return m_idle; }

    // Where requests go: the configured broadcast address.
    std::uint32_t broadcastAddress() const { return m_broadcast; }

    // Socket set-up for one operation: socket, non-blocking, broadcast, and for
    // discovery and search a bind to any address. Reports and returns -1 on failure.
    int openOperationSocket(const char* operation, bool bind);

    // The exchange of every single-server operation: one send phase, one receive
    // phase, then the acceptance test of the reply header. When keepSocket is
    // given, the socket stays open on success and its descriptor is stored there.
    enum class EarlyEnd { None, StatusMinimum, FirmwareTen };
    int exchange(const char* operation, ServerEntry& entry, Byte command, Byte* request, std::size_t requestLength,
                 Byte* reply, std::size_t replySize, EarlyEnd early = EarlyEnd::None, bool bind = false,
                 int* keepSocket = nullptr);

    // One send phase (up to the table's attempts): 1 when the whole datagram went,
    // 0 when the attempts ran out (socket still open), -1 after a hard failure
    // (socket closed, error reported). The firmware transfer uses both phases on
    // the socket it keeps.
    int sendPhase(int socket, const Byte* data, std::size_t length, std::uint16_t port);
    // 1 when the reply was collected; 0 on an attempt-count failure (socket still
    // open); -1 after a hard failure (socket closed, error reported).
    int receivePhase(int socket, Byte* reply, std::size_t size, EarlyEnd early, std::size_t& collected);

protected:
    void reportSocketFailure(const char* operation, const char* call, int error);

private:
    platform::Endpoint m_endpoint;
    platform::Timing m_timing;
    platform::ErrorReporter* m_reporter;
    platform::IdleHook m_idle;
    std::uint32_t m_broadcast = 0xFFFFFFFFu;
};

} // namespace vnk::protocol
