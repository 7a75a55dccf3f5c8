#include "ipxconfig/rules/hollin_options_rules.h"

namespace vnk::rules {

namespace r = protocol::record;

HollinOptionSwitches hollinOptionSwitches(std::span<const Byte, RecordSize> rec) {
    const Byte caps = rec[r::Capabilities];
    const Byte options = rec[r::OptionFlags];
    auto offered = [&](Byte capability, bool on) {
        const bool enabled = caps & capability;
        return OptionSwitch{enabled, enabled && on};
    };
    HollinOptionSwitches s;
    s.diagnostic = {true, bool(options & r::OptDiagnostic)};
    s.tcpip = offered(r::CapTcpIp, options & r::OptTcpIp);
    s.netware = {true, !(options & r::OptNetwareOff)};
    s.netbeui = offered(r::CapNetBeui, options & r::OptNetBeui);
    s.appletalk = offered(r::CapAppleTalk, options & r::OptAppleTalk);
    return s;
}

void storeHollinOptionBits(std::span<Byte, RecordSize> rec, const HollinOptionValues& values) {
    // Diagnostic print-out, NetBEUI and AppleTalk as Brevan's options page stores them.
    storeOptionBits(rec, values.diagnostic, values.netbeui, values.appletalk);
    const bool tcpip = values.tcpip && (rec[r::Capabilities] & r::CapTcpIp);
    Byte options = rec[r::OptionFlags];
    options = tcpip ? Byte(options | r::OptTcpIp) : Byte(options & ~r::OptTcpIp);
    options = values.netware ? Byte(options & ~r::OptNetwareOff) : Byte(options | r::OptNetwareOff);
    rec[r::OptionFlags] = options;
}

FactoryDefaultView factoryDefaultView(std::span<const Byte, RecordSize> rec, const protocol::ServerEntry& entry) {
    const Byte caps = rec[r::Capabilities];
    const bool tcpip = caps & r::CapTcpIp;
    FactoryDefaultView v;
    v.deviceName = protocol::deviceName(entry.identity);
    v.tcpip = tcpip ? DefaultShown::Enable : DefaultShown::Missing;
    v.dhcpServer = tcpip && (caps & r::CapDhcpServer) ? DefaultShown::Auto : DefaultShown::Missing;
    v.netbeui = (caps & r::CapNetBeui) ? DefaultShown::Enable : DefaultShown::Missing;
    return v;
}

} // namespace vnk::rules
