#include "cli/session.h"

#include "platform/box_text.h"
#include "platform/program_dir.h"
#include "platform/udp_socket.h"
#include "protocol/consistent_read.h"
#include "transport/ipx/ipx_context.h"
#include "transport/udp/udp_context.h"

#include <cstring>

namespace vnk::cli {

using namespace protocol;

Session::Session(platform::Endpoint endpoint, const std::optional<platform::IpxSegment>& ipx, bool fast, Output& output,
        std::ostream& err, bool terminal, const std::string& settingsPath)
    : m_output(output), m_err(err), m_reporter(err), m_progress(err, terminal),
      m_owned(makeContext(std::move(endpoint), ipx, fast ? platform::Timing::fast() : platform::Timing::real(),
                          m_reporter)),
      m_ctx(*m_owned), m_udp(dynamic_cast<UdpServerContext*>(m_owned.get())),
      m_ipx(dynamic_cast<vnk::ipx::IpxServerContext*>(m_owned.get())) {
    m_ctx.settingsPath = settingsPath;
    m_ctx.programDirectory = platform::directoryOf(settingsPath);
    m_ctx.setIdleHook([this] { m_progress.tick(); });
}


int Session::select(const std::string& box) {
    // The separated form is always an address.
    if (const auto mac = box.size() == 17 ? parseMac(box) : std::nullopt)
        return selectMac(*mac);
    const int before = m_reporter.reports();
    m_progress.begin("Searching for " + platform::terminalSafe(box));
    bool searched = true;
    if (m_udp) {
        // The search ends as soon as the box of that name has answered.
        m_ctx.serverCount = 0;
        int socket = m_udp->openOperationSocket("XGetPort", true);
        searched = socket >= 0;
        if (socket >= 0) {
            m_udp->XGetAllPServername(socket, [&] { return exactMatch(box) >= 0; });
            if (socket >= 0)
                platform::closeSocket(socket);
        }
    } else if (m_ipx) {
        // The same over IPX: the broadcast search ends at that box's answer.
        searched = m_ipx->XFindPrintServer([&] { return exactMatch(box) >= 0; }) == 1;
    } else {
        searched = m_ctx.XGetPort() == 1;
    }
    m_progress.done();
    if (const int i = exactMatch(box); i >= 0) {
        m_ctx.selectedIndex = i;
        return ExitOk;
    }
    std::vector<int> near;
    for (int i = 0; i < m_ctx.serverCount; ++i)
        if (lowerAscii(boxText(m_ctx.serverTable[std::size_t(i)].name())) == lowerAscii(box))
            near.push_back(i);
    if (near.size() == 1) {
        m_ctx.selectedIndex = near[0];
        m_err << "vnkctl: no print server is named \"" << platform::terminalSafe(box) << "\"; taking \""
              << name() << "\"\n";
        return ExitOk;
    }
    if (near.size() > 1) {
        std::string names;
        for (int i : near)
            names += (names.empty() ? "" : ", ") + shownName(m_ctx.serverTable[std::size_t(i)].name());
        return m_output.fail(ExitNotFound, "several print servers are named \"" + platform::terminalSafe(box) +
                                               "\" but for case (" + names + "); give the exact name");
    }
    // Twelve characters that parse as an address can only be twelve hex digits.
    if (box.size() == 12)
        if (const auto mac = parseMac(box))
            return selectMac(*mac);
    if (!searched || m_reporter.reports() != before)
        return m_output.fail(ExitFailure, "the search for print servers failed");
    return m_output.fail(ExitNotFound, "no print server named \"" + platform::terminalSafe(box) + "\" was found");
}

bool Session::discover() {
    m_progress.begin("Searching for print servers");
    const int before = m_reporter.reports();
    const bool ok = m_ctx.XGetPort() == 1 && m_reporter.reports() == before;
    m_progress.done();
    return ok;
}

int Session::readRecord(const char* refusal) {
    m_progress.begin("Reading the configuration");
    const ConsistentRead read = refusal ? readConsistentRecord(m_ctx, entry(), m_ctx.configBuffer)
                                : m_ctx.XReadPServerEEProm(entry(), m_ctx.configBuffer) == 1
                                    ? ConsistentRead::Ok
                                    : ConsistentRead::NoAnswer;
    m_progress.done();
    if (read == ConsistentRead::NoAnswer)
        return noAnswer("Cannot Read EEPROM");
    if (read == ConsistentRead::Inconsistent)
        return m_output.fail(ExitFailure, "the record read from " + name() + " is inconsistent; " + refusal);
    m_ctx.parallelPortCount = parallelPorts(recordOf(m_ctx.configBuffer));
    m_ctx.serialPortCount = serialPorts(recordOf(m_ctx.configBuffer));
    return ExitOk;
}

int Session::readStatus() {
    m_progress.begin("Reading the status");
    const bool ok = m_ctx.XGetPServerStatus(entry(), m_ctx.statusBuffer) == 1;
    m_progress.done();
    return ok ? ExitOk : noAnswer("Cannot Read Status");
}

std::unique_ptr<CPServerContext> Session::makeContext(platform::Endpoint endpoint,
                                                    const std::optional<platform::IpxSegment>& ipx,
                                                    const platform::Timing& timing,
                                                    platform::ErrorReporter& reporter) {
    if (ipx)
        return std::make_unique<vnk::ipx::IpxServerContext>(std::move(endpoint), *ipx, timing, reporter);
    return std::make_unique<UdpServerContext>(std::move(endpoint), timing, reporter);
}


int Session::exactMatch(const std::string& box) const {
    for (int i = 0; i < m_ctx.serverCount; ++i) {
        const std::string n = m_ctx.serverTable[std::size_t(i)].name();
        if (n == box || boxText(n) == box)
            return i;
    }
    return -1;
}

int Session::selectMac(const MacAddress& mac) {
    m_progress.begin("Searching for " + macText(mac));
    ServerEntry& e = m_ctx.serverTable[0];
    e = CPServerContext::entryFor(mac);
    Byte reply[DiscoveryReplySize];
    const bool found = m_ctx.XSearchPS(e, reply) == 1;
    m_progress.done();
    if (!found)
        return m_output.fail(ExitNoAnswer, "no print server answers at " + macText(mac));
    std::memcpy(e.identity.data(), reply + m_ctx.searchReplyIdentity(), IdentitySize);
    m_ctx.serverCount = 1;
    m_ctx.selectedIndex = 0;
    return ExitOk;
}

std::optional<platform::IpxSegment> ipxSegment(std::optional<std::uint16_t> port, const platform::Endpoint& endpoint,
                                               std::string& why) {
    auto segment = platform::ipxSegmentFromEnvironment(&why);
    if (!why.empty() || (!segment && !port))
        return std::nullopt;
    if (!segment)
        segment = platform::IpxSegment{};
    if (port)
        segment->carrierPort = *port;
    segment->broadcast = endpoint.broadcast;
    if (segment->localNode == platform::IpxNode{})
        segment->localNode = {0x02, 0x00, 0x00, 0x00, 0x00, 0x01};
    return segment;
}

std::optional<std::vector<platform::NetbiosAdapter>> netbiosAdapters(std::optional<std::uint16_t> port,
                                                                     const platform::Endpoint& endpoint,
                                                                     std::string& why) {
    if (!port)
        port = endpoint.netbiosPort;
    if (!port)
        return std::nullopt;
    auto adapters = platform::netbiosAdapters(endpoint.broadcast, *port, &why);
    if (!why.empty())
        return std::nullopt;
    return adapters;
}

} // namespace vnk::cli
