// A session with the boxes for one vnkctl command: the transport its operations
// go over, the search for the box a command names, and the reads most commands
// begin with, each with a spinner and a failure message of its own.
#pragma once

#include "cli/output.h"
#include "cli/vnkctl.h"
#include "platform/endpoint.h"
#include "platform/ipx.h"
#include "platform/netbios.h"
#include "protocol/pserver_context.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vnk::ipx {
class IpxServerContext;
}
namespace vnk::protocol {
class UdpServerContext;
}

namespace vnk::cli {

class Session {
public:
    // ipx: the operations go over that IPX segment; else over UDP.
    Session(platform::Endpoint endpoint, const std::optional<platform::IpxSegment>& ipx, bool fast, Output& output,
            std::ostream& err, bool terminal, const std::string& settingsPath);

    protocol::CPServerContext& ctx() { return m_ctx; }
    // The IPX context, when the operations go over IPX.
    vnk::ipx::IpxServerContext* ipx() { return m_ipx; }
    Progress& progress() { return m_progress; }
    Output& output() { return m_output; }
    protocol::ServerEntry& entry() { return *m_ctx.selectedEntry(); }
    std::string name() { return shownName(entry().name()); }

    // Finds BOX and makes it the selected server. Returns an exit code.
    int select(const std::string& box);

    // False when a socket failure was reported while searching (what was found
    // before it is in the table all the same).
    bool discover();

    // Reads the selected box's record. refusal: when given, the record is about
    // to be changed and written back (or saved), so it must pass the consistency
    // checks; one that never does is refused with this text after the name.
    int readRecord(const char* refusal = nullptr);

    int readStatus();

    int noAnswer(const std::string& what) { return m_output.fail(ExitNoAnswer, name() + ": " + what); }

private:
    static std::unique_ptr<protocol::CPServerContext> makeContext(platform::Endpoint endpoint,
                                                        const std::optional<platform::IpxSegment>& ipx,
                                                        const platform::Timing& timing,
                                                        platform::ErrorReporter& reporter);

    int exactMatch(const std::string& box) const;

    int selectMac(const protocol::MacAddress& mac);

    Output& m_output;
    std::ostream& m_err;
    StreamReporter m_reporter;
    Progress m_progress;
    std::unique_ptr<protocol::CPServerContext> m_owned;
    protocol::CPServerContext& m_ctx;
    protocol::UdpServerContext* m_udp;             // the UDP context, or nullptr
    vnk::ipx::IpxServerContext* m_ipx;   // the IPX context, or nullptr
};

// The IPX segment of VNK_IPX_PORT, or of port when given (the broadcast address
// the endpoint's); nothing when IPX is not set up here. why: a bad value.
std::optional<platform::IpxSegment> ipxSegment(std::optional<std::uint16_t> port, const platform::Endpoint& endpoint,
                                               std::string& why);
// The NetBIOS adapters of VNK_NETBIOS_PORT, or of port when given; nothing when
// NetBIOS is not set up here. why: a bad value.
std::optional<std::vector<platform::NetbiosAdapter>> netbiosAdapters(std::optional<std::uint16_t> port,
                                                                     const platform::Endpoint& endpoint,
                                                                     std::string& why);

} // namespace vnk::cli
