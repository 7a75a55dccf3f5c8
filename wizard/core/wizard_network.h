// What the wizard does over the network, whichever links it has: the protocol
// check, the search procedure that fills the table, the status read of page 3,
// and Finish's configuration write and port creation.
#pragma once

#include "platform/endpoint.h"
#include "platform/ipx.h"
#include "platform/spooler.h"
#include "platform/timing.h"
#include "wizard/core/device_link.h"

#include <memory>
#include <string>
#include <vector>

namespace vnk::wizard {

struct InstalledProtocols {
    bool tcpIp = false;   // an IPv4 datagram socket can be made
    bool ipx = false;     // the IPX segment is configured (VNK_IPX_PORT)
    bool netbeui = false; // NetBIOS is configured (VNK_NETBIOS_PORT)
};
InstalledProtocols installedProtocols(const platform::Endpoint& endpoint);

// Sets the table's three installed flags and returns (and stores) the transport
// mode: IPX installed -> 1, else TCP/IP -> 0, else NetBEUI -> 2, else -1.
int protocolCheck(const InstalledProtocols& installed, WizardServerTable& table);

// The links the wizard may use; a link that is null is not there.
struct WizardNetwork {
    InstalledProtocols installed;
    DeviceLink* udp = nullptr;
    DeviceLink* ipx = nullptr;
    NetbiosLink* netbios = nullptr;
};

// Clears the table, runs the protocol check and searches by transport mode.
void searchProcedure(WizardServerTable& table, WizardNetwork& net);
// The status read of the chosen entry, over the link its mode and entry call
// for; a failure leaves table.status as it was. Returns the link's result.
int statusRead(WizardServerTable& table, WizardNetwork& net);
// Finish's write and reset of the chosen entry when the changed flag is set.
// Returns "" when port creation may follow (nothing to write, or written and
// reset), else the message to show ("IPX Write failed!", ...).
std::string configurationWrite(WizardServerTable& table, WizardNetwork& net);

// Port creation for the chosen entry: pserver.bin (exactly 81 bytes) in the
// system directory, then AddPort under the monitor name. Returns the messages
// to show, in order: "Create file error", or "Add Port failed!" when the spooler
// refused, then the monitor's report as one message (a line for each thing it did,
// or why it did not); empty when there is nothing to say.
std::vector<std::string> createPort(const WizardServerTable& table, const std::string& systemDir,
                                    platform::Spooler& spooler, const std::string& monitorName);

// Finish: the configuration write and, when it went well, port creation. The
// messages to show, in order; after a failed write nothing is created.
std::vector<std::string> finish(WizardServerTable& table, WizardNetwork& net, const std::string& systemDir,
                                platform::Spooler& spooler, const std::string& monitorName);

// The wizard's own compact UDP and IPX exchanges (every UDP request a broadcast
// to endpoint.broadcast on the command port; IPX on the configured segment).
std::unique_ptr<DeviceLink> makeUdpLink(const platform::Endpoint& endpoint, const platform::Timing& timing);
std::unique_ptr<DeviceLink> makeIpxLink(const platform::IpxSegment& segment, const platform::Timing& timing);

} // namespace vnk::wizard
