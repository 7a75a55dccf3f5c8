#include "wizard/core/server_table.h"

#include <algorithm>
#include <cstring>

namespace vnk::wizard {

using namespace protocol;

std::string pserverName(const PServerRecord& r) {
    std::string name;
    for (std::size_t i = 0; i < pserver::MaxNameLength && r[pserver::Name + i] != 0; ++i)
        name.push_back(char(r[pserver::Name + i]));
    return name;
}

void setPserverName(PServerRecord& r, const std::string& name) {
    const std::size_t n = std::min(name.size(), pserver::MaxNameLength);
    std::fill_n(r.begin() + pserver::Name, pserver::NameWidth, Byte(0));
    std::memcpy(r.data() + pserver::Name, name.data(), n);
}

MacAddress pserverMac(const PServerRecord& r) {
    MacAddress mac{};
    std::memcpy(mac.data(), r.data() + pserver::Ethernet, mac.size());
    return mac;
}

void WizardServerTable::clear() {
    servers = {};
    records = {};
    netbiosNames = {};
    status = {};
    asFound = {};
    asRead = {};
    count = 0;
}

bool WizardServerTable::addFound(const std::string& name, const MacAddress& mac, Byte type) {
    // The table keeps at most 47 bytes of a name; a longer one is compared as kept.
    const std::string kept = name.substr(0, std::min(name.size(), pserver::MaxNameLength));
    if (count < 0 || count >= MaxServers)
        return false;
    for (int i = 0; i < count; ++i)
        if (pserverName(servers[std::size_t(i)]) == kept)
            return false;
    PServerRecord& r = servers[std::size_t(count)];
    r = {};
    setPserverName(r, kept);
    std::memcpy(r.data() + pserver::Ethernet, mac.data(), mac.size());
    r[pserver::Type] = type;
    records[std::size_t(count)] = {};
    asFound[std::size_t(count)] = r;
    asRead[std::size_t(count)] = {};
    netbiosNames[std::size_t(count)] = {};
    ++count;
    return true;
}

void WizardServerTable::takeRecord(int i, std::span<const Byte, RecordSize> record, bool takeMac) {
    if (i < 0 || i >= count)
        return;
    ConfigRecord& rec = records[std::size_t(i)];
    std::copy(record.begin(), record.end(), rec.begin());
    PServerRecord& r = servers[std::size_t(i)];
    if (takeMac)
        std::memcpy(r.data() + pserver::Ethernet, rec.data() + record::EthernetAddress, 6);
    r[pserver::PortConfig] = rec[record::PortConfig];
    std::memcpy(r.data() + pserver::Ip, rec.data() + record::IpAddress, 4);
    asFound[std::size_t(i)] = r;
    asRead[std::size_t(i)] = rec;
}

bool WizardServerTable::differsFromBox(int i) const {
    const std::size_t k = std::size_t(i);
    const auto ip = [](const ConfigRecord& r) { return std::span<const Byte>(r).subspan(record::IpAddress, 4); };
    return pserverName(servers.at(k)) != pserverName(asFound.at(k)) ||
           !std::ranges::equal(ip(records.at(k)), ip(asRead.at(k)));
}

std::string WizardServerTable::netbiosName(int i) const {
    const auto& slot = netbiosNames.at(std::size_t(i));
    return std::string(slot.data(), std::find(slot.begin(), slot.end(), '\0'));
}

void WizardServerTable::setNetbiosName(int i, const std::string& name) {
    auto& slot = netbiosNames.at(std::size_t(i));
    slot = {};
    std::memcpy(slot.data(), name.data(), std::min(name.size(), NetbiosNameSlot - 1));
}

ConfigRecord withWizardChecksum(const ConfigRecord& record) {
    ConfigRecord out = record;
    setRecordChecksum(out);
    return out;
}

WizardServerTable& serverTable() {
    static WizardServerTable table;
    return table;
}

} // namespace vnk::wizard
