#include "wizard/core/wizard_network.h"

#include "platform/private_file.h"
#include "platform/udp_socket.h"

#include <string_view>

namespace vnk::wizard {

namespace {

// Every search the wizard runs goes over its transport three times.
constexpr int SearchPasses = 3;

bool validChosen(const WizardServerTable& table) { return table.chosen >= 0 && table.chosen < table.count; }

// A link's write and reset of the chosen entry, with the messages for each failure.
std::string writeAndReset(WizardServerTable& table, DeviceLink* link, const char* writeFailed,
                          const char* resetFailed) {
    if (!link || !validChosen(table) || !link->writeConfig(table, table.chosen))
        return writeFailed;
    if (!link->reset(table, table.chosen))
        return resetFailed;
    return {};
}

} // namespace

InstalledProtocols installedProtocols(const platform::Endpoint& endpoint) {
    InstalledProtocols p;
    const int fd = platform::openUdpSocket();
    p.tcpIp = fd >= 0;
    if (fd >= 0)
        platform::closeSocket(fd);
    p.ipx = endpoint.ipxPort.has_value();
    p.netbeui = endpoint.netbiosPort.has_value();
    return p;
}

int protocolCheck(const InstalledProtocols& installed, WizardServerTable& table) {
    table.ipxInstalled = installed.ipx;
    table.tcpInstalled = installed.tcpIp;
    table.netbeuiInstalled = installed.netbeui;
    if (installed.ipx)
        table.mode = ModeIpx;
    else if (installed.tcpIp)
        table.mode = ModeTcpIp;
    else if (installed.netbeui)
        table.mode = ModeNetbeui;
    else
        table.mode = ModeNone;
    return table.mode;
}

void searchProcedure(WizardServerTable& table, WizardNetwork& net) {
    table.clear();
    switch (protocolCheck(net.installed, table)) {
    case ModeIpx:
        if (net.ipx)
            net.ipx->search(table, 0, SearchPasses);
        break;
    case ModeTcpIp:
        if (net.udp)
            net.udp->search(table, 0, SearchPasses);
        // Boxes that answer only over NetBIOS come after those found over UDP.
        if (net.installed.netbeui && net.netbios && net.netbios->start())
            net.netbios->search(table, table.count, SearchPasses);
        break;
    case ModeNetbeui:
        if (net.netbios && net.netbios->start())
            net.netbios->search(table, 0, SearchPasses);
        break;
    default:
        break;
    }
}

int statusRead(WizardServerTable& table, WizardNetwork& net) {
    if (!validChosen(table))
        return 0;
    DeviceLink* link = nullptr;
    switch (table.mode) {
    case ModeIpx:
        link = net.ipx;
        break;
    case ModeTcpIp:
        link = table.foundOverNetbios(table.chosen) ? static_cast<DeviceLink*>(net.netbios) : net.udp;
        break;
    case ModeNetbeui:
        link = net.netbios;
        break;
    default:
        break;
    }
    return link ? link->readStatus(table, table.chosen) : 0;
}

std::string configurationWrite(WizardServerTable& table, WizardNetwork& net) {
    if (!table.changed)
        return {};
    switch (table.mode) {
    case ModeIpx:
        return writeAndReset(table, net.ipx, "IPX Write failed!", "IPX Reset print server failed!");
    case ModeTcpIp:
        if (validChosen(table) && table.foundOverNetbios(table.chosen))
            return writeAndReset(table, net.netbios, "NetBEUI Write failed!", "NetBEUI Reset print server failed!");
        return writeAndReset(table, net.udp, "TCP/IP Write failed!", "TCP/IP Reset print server failed!");
    case ModeNetbeui:
        return writeAndReset(table, net.netbios, "NetBEUI Write failed!", "NetBEUI Reset print server failed!");
    default:
        return "Write failed!";
    }
}

std::vector<std::string> createPort(const WizardServerTable& table, const std::string& systemDir,
                                    platform::Spooler& spooler, const std::string& monitorName) {
    // Without a chosen entry or a system directory there is nothing to create.
    if (!validChosen(table) || systemDir.empty())
        return {"Create file error"};
    const PServerRecord& record = table.servers[std::size_t(table.chosen)];
    // Written whole or not at all, for its owner only: a file cut short would
    // hand the monitor a wrong record, and then no port is made.
    if (!platform::writeFilePrivately(systemDir + "/pserver.bin",
                                      std::string_view(reinterpret_cast<const char*>(record.data()), record.size())))
        return {"Create file error"};
    // What the monitor did (the port, each queue, or why there is none) is the
    // user's to know, after the failure message when it failed.
    std::vector<std::string> messages;
    if (!spooler.addPort(monitorName))
        messages.push_back("Add Port failed!");
    std::string report;
    for (const std::string& line : spooler.lastReport())
        report += (report.empty() ? "" : "\n") + line;
    if (!report.empty())
        messages.push_back(report);
    return messages;
}

std::vector<std::string> finish(WizardServerTable& table, WizardNetwork& net, const std::string& systemDir,
                                platform::Spooler& spooler, const std::string& monitorName) {
    const std::string failed = configurationWrite(table, net);
    if (!failed.empty())
        return {failed};
    return createPort(table, systemDir, spooler, monitorName);
}

} // namespace vnk::wizard
