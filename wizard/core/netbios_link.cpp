#include "wizard/core/netbios_link.h"

#include "protocol/records.h"

#include <algorithm>

namespace vnk::wizard {

using namespace protocol;
using namespace netbios;

bool takeNetbiosSearchReply(WizardServerTable& table, std::span<const Byte> reply, NetbiosIdentities& identities) {
    // Up to the type byte (identity offset 60) the reply must be there; the
    // name is read no further than what arrived.
    if (!netbiosReplyValid(reply, 0, CmdSearch) || reply.size() <= NetbiosHeaderSize + identity::ServerType)
        return false;
    const std::span<const Byte> id = reply.subspan(NetbiosHeaderSize);
    const std::string name = fieldText(id, identity::ServerName, identity::ServerNameWidth);
    if (!table.addFound(name, MacAddress{}, id[identity::ServerType]))
        return false;
    const int index = table.count - 1;
    table.setNetbiosName(index, deviceNetbiosName(id));
    IdentityBlock block{};
    std::copy_n(id.begin(), std::min(id.size(), block.size()), block.begin());
    identities.at(std::size_t(index)) = block;
    return true;
}

bool takeNetbiosRecordReply(WizardServerTable& table, int index, std::span<const Byte> reply) {
    // A record cut short on its way is not the box's record.
    if (reply.size() < NetbiosHeaderSize + RecordSize)
        return false;
    table.takeRecord(index, reply.subspan(NetbiosHeaderSize).first<RecordSize>(), true);
    return true;
}

bool takeNetbiosStatusReply(WizardServerTable& table, std::span<const Byte> reply) {
    if (reply.size() < NetbiosHeaderSize)
        return false;
    const std::span<const Byte> status = reply.subspan(NetbiosHeaderSize);
    table.status = {};
    std::copy_n(status.begin(), std::min(status.size(), table.status.size()), table.status.begin());
    return true;
}

WizardNetbiosLink::WizardNetbiosLink(std::vector<platform::NetbiosAdapter> adapters,
                                     const platform::Timing& timing, Inform inform)
    : m_devices(std::move(adapters), timing), m_inform(std::move(inform)) {}

int WizardNetbiosLink::start() {
    switch (m_devices.start()) {
    case NetbiosDevices::Start::Ready:
        return 1;
    case NetbiosDevices::Start::NoAdapterAddress:
        if (m_inform)
            m_inform("GetUniquename Faild!");
        return 0;
    case NetbiosDevices::Start::NoLanas:
        if (m_inform)
            m_inform("EnumerateLANA Faild!");
        return 0;
    case NetbiosDevices::Start::NobodyAnswered:
        break; // no message
    }
    return 0;
}

int WizardNetbiosLink::search(WizardServerTable& table, int firstIndex, int passes) {
    // Entries before firstIndex came another way: only this search's have an identity here.
    m_identities = {};
    if (!m_devices.search(passes, [&](std::span<const Byte> datagram) {
            takeNetbiosSearchReply(table, datagram, m_identities);
        }))
        return 0;
    for (int i = std::max(firstIndex, 0); i < table.count; ++i)
        readConfig(table, i);
    return 1;
}

std::optional<IdentityBlock> WizardNetbiosLink::identity(int index) const {
    if (index < 0 || std::size_t(index) >= m_identities.size())
        return std::nullopt;
    return m_identities[std::size_t(index)];
}

int WizardNetbiosLink::exchange(const WizardServerTable& table, int index, std::span<const Byte> request,
                                const ExchangeShape& shape, const std::function<bool(std::span<const Byte>)>& take) {
    if (index < 0 || index >= table.count || !table.foundOverNetbios(index))
        return 0;
    return m_devices.exchange(table.netbiosName(index), request, shape, take);
}

int WizardNetbiosLink::readConfig(WizardServerTable& table, int index) {
    const auto request = netbiosRequestHeader(CmdReadConfig);
    return exchange(table, index, request, netbios::ReadShape,
                    [&](std::span<const Byte> reply) { return takeNetbiosRecordReply(table, index, reply); });
}

int WizardNetbiosLink::readStatus(WizardServerTable& table, int index) {
    const auto request = netbiosRequestHeader(CmdStatus);
    return exchange(table, index, request, netbios::ReadShape,
                    [&](std::span<const Byte> reply) { return takeNetbiosStatusReply(table, reply); });
}

int WizardNetbiosLink::writeConfig(WizardServerTable& table, int index) {
    if (index < 0 || index >= table.count)
        return 0;
    std::vector<Byte> request(NetbiosHeaderSize + RecordSize);
    const auto header = netbiosRequestHeader(CmdWriteConfig);
    const ConfigRecord record = withWizardChecksum(table.records[std::size_t(index)]);
    std::copy(header.begin(), header.end(), request.begin());
    std::copy(record.begin(), record.end(), request.begin() + NetbiosHeaderSize);
    return exchange(table, index, request, netbios::WriteShape,
                    [](std::span<const Byte>) { return true; });
}

int WizardNetbiosLink::reset(WizardServerTable& table, int index) {
    const auto request = netbiosRequestHeader(CmdReset);
    return exchange(table, index, request, netbios::ResetShape,
                    [](std::span<const Byte>) { return true; });
}

std::unique_ptr<NetbiosLink> makeNetbiosLink(std::vector<platform::NetbiosAdapter> adapters,
                                             const platform::Timing& timing, Inform inform) {
    return std::make_unique<WizardNetbiosLink>(std::move(adapters), timing, std::move(inform));
}

std::unique_ptr<NetbiosLink> makeNetbiosLinkFromEnvironment(const platform::Timing& timing, Inform inform,
                                                            std::string* error) {
    auto adapters = platform::netbiosAdaptersFromEnvironment(error);
    if (!adapters)
        return nullptr;
    return makeNetbiosLink(std::move(*adapters), timing, std::move(inform));
}

} // namespace vnk::wizard
