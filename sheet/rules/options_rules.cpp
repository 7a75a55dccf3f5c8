#include "sheet/rules/options_rules.h"

#include <algorithm>

namespace vnk::rules {

namespace r = protocol::record;
namespace id = protocol::identity;

namespace {

void fill(std::span<Byte, RecordSize> rec, std::size_t first, std::size_t last, Byte value) {
    std::fill(rec.begin() + std::ptrdiff_t(first), rec.begin() + std::ptrdiff_t(last + 1), value);
}

// The text and its NUL; the bytes after the NUL keep their values.
void putText(std::span<Byte> field, std::string_view text) {
    std::copy(text.begin(), text.end(), field.begin());
    field[text.size()] = 0;
}

} // namespace

std::string nameOrDeviceName(const protocol::ServerEntry& entry) {
    std::string name = entry.name();
    return name.empty() ? protocol::deviceName(entry.identity) : name;
}

void applyFactoryDefault(std::span<Byte, RecordSize> rec, protocol::ServerEntry& entry) {
    const auto deviceName =
        std::span<const Byte>(entry.identity).subspan(id::DeviceName, id::DeviceNameWidth);
    std::copy(deviceName.begin(), deviceName.end(), rec.begin() + std::ptrdiff_t(r::AliasName));
    rec[r::AliasName + id::DeviceNameWidth] = 0;
    fill(rec, r::SnmpContact, r::SnmpLocation + 15, 0);
    rec[r::NetwareFileServer] = 0;
    rec[r::NdsTree] = 0;
    rec[r::NdsContext] = 0;
    rec[r::NetwarePolling] = 2;
    Byte options = rec[r::OptionFlags];
    options = Byte(options & ~r::OptDiagnostic);
    options = Byte(options | r::OptTcpIp);
    options = Byte(options & ~r::OptNetwareOff);
    options = Byte(options | r::OptNetBeui);
    rec[r::OptionFlags] = options;
    fill(rec, r::IpAddress, r::IpAddress + 3, 0);
    fill(rec, r::SubnetMask, r::Gateway + 3, 0);
    fill(rec, r::DhcpStart, r::DhcpStart + 3, 0);
    fill(rec, r::DhcpGateway, r::DhcpDns + 3, 0);
    fill(rec, r::DhcpRange, r::DhcpRange + 1, 0);
    rec[r::DhcpMode] = 0;
    fill(rec, r::MailBlocks, r::MailBlocks + 3 * r::MailBlockSize - 1, 0);
    rec[r::MailPolling] = 1;
    rec[r::PrintFlags] = 0;
    fill(rec, r::SmbGroup, r::SmbGroup + 15, 0);

    // The entry's name: the device name's 8 bytes and a NUL.
    std::copy(deviceName.begin(), deviceName.end(), entry.identity.begin() + std::ptrdiff_t(id::ServerName));
    entry.identity[id::ServerName + id::DeviceNameWidth] = 0;
}

bool applyAliasName(std::span<Byte, RecordSize> rec, protocol::ServerEntry& entry, std::string_view alias) {
    if (alias.size() > MaxAliasLength || alias == entry.name())
        return false;
    putText(std::span<Byte>(entry.identity).subspan(id::ServerName, id::ServerNameWidth), alias);
    putText(rec.subspan(r::AliasName, 16), alias);
    return true;
}

OptionBoxes optionBoxes(std::span<const Byte, RecordSize> rec, bool factoryDefaultTicked) {
    const Byte caps = rec[r::Capabilities];
    const Byte options = rec[r::OptionFlags];
    OptionBoxes b;
    b.diagnostic = options & r::OptDiagnostic;
    b.netbeui = (caps & r::CapNetBeui) && (options & r::OptNetBeui);
    b.appletalk = (caps & r::CapAppleTalk) && (options & r::OptAppleTalk);
    b.aliasEnabled = !factoryDefaultTicked;
    b.diagnosticEnabled = !factoryDefaultTicked;
    b.netbeuiEnabled = !factoryDefaultTicked && (caps & r::CapNetBeui);
    b.appletalkEnabled = !factoryDefaultTicked && (caps & r::CapAppleTalk);
    return b;
}

void storeOptionBits(std::span<Byte, RecordSize> rec, bool diagnostic, bool netbeui, bool appletalk) {
    const Byte caps = rec[r::Capabilities];
    auto set = [&](Byte mask, bool on) {
        rec[r::OptionFlags] = on ? Byte(rec[r::OptionFlags] | mask) : Byte(rec[r::OptionFlags] & ~mask);
    };
    set(r::OptDiagnostic, diagnostic);
    set(r::OptNetBeui, netbeui && (caps & r::CapNetBeui));
    set(r::OptAppleTalk, appletalk && (caps & r::CapAppleTalk));
}

OptionsWriteResult applyOptionsPage(std::span<Byte, RecordSize> rec, protocol::ServerEntry& entry,
                                    const OptionsPageValues& values) {
    OptionsWriteResult result;
    // A name the box already has is kept whatever its length.
    if (values.alias != entry.name() && values.alias.size() > MaxAliasLength) {
        result.accepted = false;
        return result;
    }
    if (values.factoryDefault) {
        applyFactoryDefault(rec, entry);
        result.nameChanged = true;
        return result;
    }
    result.nameChanged = applyAliasName(rec, entry, values.alias);
    storeOptionBits(rec, values.diagnostic, values.netbeui, values.appletalk);
    return result;
}

} // namespace vnk::rules
