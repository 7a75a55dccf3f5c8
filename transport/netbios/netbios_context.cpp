#include "transport/netbios/netbios_context.h"

#include "protocol/records.h"

#include <algorithm>
#include <cstring>

namespace vnk::netbios {

using namespace protocol;

NetbiosServerContext::NetbiosServerContext(platform::Endpoint endpoint,
                                           std::vector<platform::NetbiosAdapter> adapters, platform::Timing timing,
                                           platform::ErrorReporter& reporter)
    : CPServerContext(std::move(endpoint), timing, reporter), m_devices(std::move(adapters), timing) {}

bool NetbiosServerContext::started() {
    if (!m_start || *m_start != NetbiosDevices::Start::Ready)
        m_start = m_devices.start();
    return *m_start == NetbiosDevices::Start::Ready;
}

std::optional<std::string> NetbiosServerContext::startFailure() const {
    if (m_start == NetbiosDevices::Start::NoAdapterAddress)
        return "GetUniquename Faild!";
    if (m_start == NetbiosDevices::Start::NoLanas)
        return "EnumerateLANA Faild!";
    return std::nullopt;
}

std::string NetbiosServerContext::netbiosName(const ServerEntry& entry) {
    return deviceNetbiosName(entry.identity);
}

int NetbiosServerContext::XGetPort() {
    serverCount = 0;
    selectedIndex = -1;
    if (!started())
        return startFailure() ? 0 : 1;
    m_devices.search(SearchPasses, [&](std::span<const Byte> reply) {
        // Up to the type byte the reply must be there; the rest of the identity
        // is taken as far as it came. A box answers each pass: it is listed once.
        if (!netbiosReplyValid(reply, 0, CmdSearch) || reply.size() <= NetbiosHeaderSize + identity::ServerType ||
            serverCount >= MaxServers)
            return;
        IdentityBlock id{};
        const auto block = reply.subspan(NetbiosHeaderSize);
        std::copy_n(block.begin(), std::min(block.size(), id.size()), id.begin());
        const std::string name = deviceNetbiosName(id);
        for (int i = 0; i < serverCount; ++i)
            if (netbiosName(serverTable[std::size_t(i)]) == name)
                return;
        ServerEntry& e = serverTable[std::size_t(serverCount++)];
        e = ServerEntry{};
        e.identity = id;
    });
    for (int i = 0; i < serverCount; ++i) {
        ServerEntry& e = serverTable[std::size_t(i)];
        if (XReadPServerEEProm(e, configBuffer) != 1)
            continue; // listed without its address
        const auto rec = recordOf(configBuffer);
        std::copy_n(rec.begin() + record::EthernetAddress, e.ethernet.size(), e.ethernet.begin());
        std::copy_n(rec.begin() + record::IpAddress, e.ipAddress.size(), e.ipAddress.begin());
    }
    return 1;
}

int NetbiosServerContext::XSearchPS(ServerEntry& entry, Byte* reply) {
    if (!started())
        return 0;
    const std::string name = netbiosName(entry);
    bool found = false;
    m_devices.search(1, [&](std::span<const Byte> datagram) {
        if (found || !netbiosReplyValid(datagram, 0, CmdSearch) ||
            datagram.size() <= NetbiosHeaderSize + identity::ServerType ||
            deviceNetbiosName(datagram.subspan(NetbiosHeaderSize)) != name)
            return;
        std::memset(reply, 0, DiscoveryReplySize);
        std::copy_n(datagram.begin(), std::min(datagram.size(), NetbiosHeaderSize + IdentitySize), reply);
        found = true;
    });
    return found ? 1 : 0;
}

int NetbiosServerContext::XReadPServerEEProm(ServerEntry& entry, ConfigFrame& frame) {
    if (!started())
        return 0;
    const auto request = netbiosRequestHeader(CmdReadConfig);
    return m_devices.exchange(netbiosName(entry), request, ReadShape, [&](std::span<const Byte> reply) {
        // A record cut short on its way is not the box's record.
        if (reply.size() < NetbiosHeaderSize + RecordSize)
            return false;
        frame = {};
        std::copy_n(reply.begin() + NetbiosHeaderSize, RecordSize, recordOf(frame).begin());
        return true;
    });
}

int NetbiosServerContext::XWritePServerEEProm(ServerEntry& entry, ConfigFrame& frame) {
    if (!started())
        return 0;
    setRecordChecksum(recordOf(frame));
    std::vector<Byte> request(NetbiosHeaderSize + RecordSize);
    const auto header = netbiosRequestHeader(CmdWriteConfig);
    std::copy(header.begin(), header.end(), request.begin());
    const auto rec = recordOf(frame);
    std::copy(rec.begin(), rec.end(), request.begin() + NetbiosHeaderSize);
    return m_devices.exchange(netbiosName(entry), request, WriteShape, [](std::span<const Byte>) { return true; });
}

int NetbiosServerContext::XResetPServerEEProm(ServerEntry& entry) {
    if (!started())
        return 0;
    const auto request = netbiosRequestHeader(CmdReset);
    return m_devices.exchange(netbiosName(entry), request, ResetShape, [](std::span<const Byte>) { return true; });
}

int NetbiosServerContext::XGetPServerStatus(ServerEntry& entry, StatusBuffer& status) {
    if (!started())
        return 0;
    const auto request = netbiosRequestHeader(CmdStatus);
    return m_devices.exchange(netbiosName(entry), request, ReadShape, [&](std::span<const Byte> reply) {
        // The status record stands where a UDP reply has it: behind the 10-byte header.
        const auto data = reply.subspan(NetbiosHeaderSize);
        status = {};
        std::copy_n(data.begin(), std::min(data.size(), status.size() - HeaderSize), status.begin() + HeaderSize);
        return true;
    });
}

int NetbiosServerContext::XGetPrinterStatus(ServerEntry&, PrinterStatusBuffer&, std::int32_t) {
    return 0;
}

int NetbiosServerContext::XTestPrint(ServerEntry&, int) {
    return 0;
}

int NetbiosServerContext::XUpgradeFlashRAM(ServerEntry&, const std::string&, const MacAddress&, int,
                                           const UpgradeProgress&, UpgradeResult*) {
    return 0;
}

} // namespace vnk::netbios
