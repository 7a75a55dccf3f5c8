// The operations of the one device interface over NetBIOS datagrams, for a
// front end that keeps a server table as the configuration utilities do. A box
// is known by its NetBIOS name, which its identity block gives; its Ethernet
// address and IP come from its record, read after the search. NetBIOS carries
// the search, the record, the status and the reset; the printer status, the
// test page and the firmware go over UDP or IPX only.
#pragma once

#include "protocol/pserver_context.h"
#include "transport/netbios/netbios_device.h"

#include <optional>
#include <string>
#include <vector>

namespace vnk::netbios {

class NetbiosServerContext : public protocol::CPServerContext {
public:
    NetbiosServerContext(platform::Endpoint endpoint, std::vector<platform::NetbiosAdapter> adapters,
                         platform::Timing timing, platform::ErrorReporter& reporter);

    // Start-up (once), the search of the LANA a box answered on (SearchPasses
    // passes), then each found box's record. 1 also when nobody answered: the
    // table is empty then. 0 when start-up could not name the PC or find its
    // LANAs; startFailure() says which. Every box that answers is listed, whatever
    // the device filter of Config.ini says, as the setup wizard lists them.
    int XGetPort() override;
    // The group search, until the box whose NetBIOS name the entry's identity
    // gives answers; reply takes the header and its identity block behind it.
    int XSearchPS(protocol::ServerEntry& entry, protocol::Byte* reply /* DiscoveryReplySize */) override;
    int XReadPServerEEProm(protocol::ServerEntry& entry, protocol::ConfigFrame& frame) override;
    int XWritePServerEEProm(protocol::ServerEntry& entry, protocol::ConfigFrame& frame) override;
    int XResetPServerEEProm(protocol::ServerEntry& entry) override;
    int XGetPServerStatus(protocol::ServerEntry& entry, protocol::StatusBuffer& status) override;
    // Not carried over NetBIOS: 0.
    int XGetPrinterStatus(protocol::ServerEntry& entry, protocol::PrinterStatusBuffer& buffer,
                          std::int32_t portIndex) override;
    int XTestPrint(protocol::ServerEntry& entry, int port) override;
    int XUpgradeFlashRAM(protocol::ServerEntry& entry, const std::string& path,
                         const protocol::MacAddress& recordEthernet, int typeIndex,
                         const protocol::UpgradeProgress& progress, protocol::UpgradeResult* result) override;
    std::size_t searchReplyIdentity() const override { return NetbiosHeaderSize; }

    static constexpr int SearchPasses = 3;
    // Why the last start-up failed, as the setup wizard tells it ("GetUniquename
    // Faild!", "EnumerateLANA Faild!"); nothing when it did not fail that way.
    std::optional<std::string> startFailure() const;
    // The NetBIOS name of a found box.
    static std::string netbiosName(const protocol::ServerEntry& entry);

private:
    bool started();

    NetbiosDevices m_devices;
    std::optional<NetbiosDevices::Start> m_start;
};

} // namespace vnk::netbios
