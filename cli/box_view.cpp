#include "cli/box_view.h"

#include "cli/vnkctl.h"
#include "protocol/model_line.h"
#include "protocol/record_fields.h"
#include "protocol/status_record.h"
#include "sheet/rules/dhcp_rules.h"

#include <cstdio>

namespace vnk::cli {

using namespace protocol;

Json identityJson(const ServerEntry& e) {
    const auto& id = e.identity;
    return Json{{"name", boxText(e.name())},
                {"device_name", boxText(deviceName(id))},
                {"ethernet", macText(e.ethernet)},
                {"vendor", id[identity::Vendor]},
                {"device_type", id[identity::DeviceType]},
                {"server_type", id[identity::ServerType]},
                {"identity_flags", id[identity::Flags]},
                {"features", id[identity::Features]},
                {"firmware_present", firmwarePresent(id)}};
}

Pairs identityPairs(const ServerEntry& e) {
    Pairs pairs;
    const Json identity = identityJson(e);
    for (const auto& [key, value] : identity.items()) {
        if (value.is_string())
            pairs.emplace_back(key, value.get<std::string>());
        else if (value.is_boolean())
            pairs.emplace_back(key, value.get<bool>() ? "yes" : "no");
        else if (key == "identity_flags" || key == "features") {
            char hex[8];
            std::snprintf(hex, sizeof hex, "0x%02X", value.get<unsigned>());
            pairs.emplace_back(key, hex);
        } else
            pairs.emplace_back(key, value.dump());
    }
    return pairs;
}

std::vector<StatusItem> statusItems(const ServerEntry& e, std::span<const Byte, RecordSize> rec,
                                    const StatusBuffer& status, int parallelPortCount) {
    const DeviceStatusFields f = deviceStatusFields(e.identity, rec, status, parallelPortCount);
    const Byte mode = rec[record::DhcpMode];
    const Byte state = dhcpServerState(status);
    const std::string dhcp = rules::dhcpStatusText(mode, state, "");
    return {{"device_name", "Device Name", boxText(f.deviceName)},
            {"alias_name", "Alias Name", boxText(f.aliasName)},
            {"ethernet_id", "Ethernet ID", f.ethernetId},
            {"frame_type", "Frame Type", f.frameType},
            {"active_ip", "Active IP", f.activeIp},
            {"subnet_mask_in_use", "Subnet Mask In Use", maskInUse(status)},
            {"netbeui", "NetBEUI", f.netbeui},
            {"protocol_support", "Protocol Support", f.protocolSupport},
            {"diagnostic_print_out", "Diagnostic Print Out", f.diagnosticPrintOut},
            {"network_speed", "Network Speed", f.networkSpeed},
            {"model", "Model", modelLine(rec, e.identity[identity::Flags])},
            {"dhcp_server", "DHCP Server", (rec[record::Capabilities] & record::CapDhcpServer) ? dhcp : "N/A"},
            {"dhcp_starting_ip", "DHCP Starting IP", dhcpStart(status)},
            {"dhcp_next_available_ip", "DHCP Next available IP", dhcpNext(status)},
            {"dhcp_gateway_ip", "DHCP Gateway IP", dhcpGateway(status)},
            {"dhcp_netmask", "DHCP Netmask", dhcpNetmask(status)},
            {"dhcp_dns_server", "DHCP DNS server", dhcpDns(status)}};
}

std::vector<StatusItem> statusItems(CPServerContext& ctx) {
    return statusItems(*ctx.selectedEntry(), recordOf(ctx.configBuffer), ctx.statusBuffer,
                       ctx.parallelPortCount);
}

Json statusJson(const std::vector<StatusItem>& items) {
    Json j = Json::object();
    for (const auto& i : items)
        j[i.key] = i.value;
    return j;
}

Pairs statusPairs(const std::vector<StatusItem>& items) {
    Pairs pairs;
    for (const auto& i : items)
        pairs.emplace_back(i.label, i.value);
    return pairs;
}

int showBox(Output& o, const ServerEntry& entry, std::span<const Byte, RecordSize> rec,
            const std::vector<StatusItem>& status) {
    Json record = Json::object();
    Pairs fields;
    for (const auto& f : allFields()) {
        record[f.name] = fieldJson(f, rec);
        fields.emplace_back(f.name, fieldValue(f, rec));
    }
    o.result()["identity"] = identityJson(entry);
    o.result()["record"] = record;
    o.result()["status"] = statusJson(status);
    o.text() << "[identity]\n";
    printPairs(o.text(), identityPairs(entry));
    o.text() << "\n[record]\n";
    printPairs(o.text(), fields);
    o.text() << "\n[status]\n";
    printPairs(o.text(), statusPairs(status));
    return ExitOk;
}

namespace {

// The text padded with blanks to width bytes, as printf's %-Ns does.
std::string padded(const std::string& text, int width) {
    return text.size() < std::size_t(width) ? text + std::string(std::size_t(width) - text.size(), ' ') : text;
}

} // namespace

std::string listHeader(bool withStatus, const ListColumn* extra) {
    std::string line = padded("NAME", 16) + " " + padded("ETHERNET", 17) + "  " + padded("STORED IP", 15) + " ";
    if (withStatus)
        line += padded("ACTIVE IP", 15) + " ";
    if (extra)
        line += padded(extra->title, extra->width) + " ";
    return line + "MODEL\n";
}

std::string listLine(const ServerEntry& e, const std::string& model, const std::string* activeIp,
                     const ListColumn* extra, const std::string& extraText) {
    std::string line = padded(shownName(e.name()), 16) + " " + macText(e.ethernet) + "  " +
                       padded(dottedAt(e.ipAddress, 0), 15) + " ";
    if (activeIp)
        line += padded(*activeIp, 15) + " ";
    if (extra)
        line += padded(extraText, extra->width) + " ";
    return line + model + (firmwarePresent(e.identity) ? "" : "  (no firmware)") + "\n";
}

Json listItem(const ServerEntry& e, const std::string& model) {
    return Json{{"name", boxText(e.name())},
                {"ethernet", macText(e.ethernet)},
                {"stored_ip", dottedAt(e.ipAddress, 0)},
                {"model", model},
                {"firmware_present", firmwarePresent(e.identity)}};
}

} // namespace vnk::cli
