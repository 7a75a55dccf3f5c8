// The wizard's NetBIOS link: the NetBIOS exchanges of transport/netbios over the
// wizard's table. A search adds each box that answers with its NetBIOS name
// ("<device name>.CFG"), and every later exchange goes to that name.
#pragma once

#include "platform/netbios.h"
#include "platform/timing.h"
#include "protocol/identity.h"
#include "transport/netbios/netbios_device.h"
#include "wizard/core/device_link.h"

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace vnk::wizard {

using netbios::NetbiosContext;
using netbios::NetbiosHeaderSize;

// The identity blocks of the entries a search added, by entry.
using NetbiosIdentities = std::array<std::optional<protocol::IdentityBlock>, MaxServers>;
// What a search makes of one reply: a valid one that reaches the type byte
// (identity offset 60) adds its server, unless listed, with its NetBIOS name,
// and its identity (what arrived of it) is kept at the new entry's index. True
// when an entry was added.
bool takeNetbiosSearchReply(WizardServerTable& table, std::span<const Byte> reply, NetbiosIdentities& identities);
// What a record read makes of a reply that passed the header test: the record
// into entry index. False (nothing taken) when the record was cut short.
bool takeNetbiosRecordReply(WizardServerTable& table, int index, std::span<const Byte> reply);
// What a status read makes of a reply that passed the header test: what follows
// the header into the table's status copy, the rest of it cleared.
bool takeNetbiosStatusReply(WizardServerTable& table, std::span<const Byte> reply);

class WizardNetbiosLink final : public NetbiosLink {
  public:
    WizardNetbiosLink(std::vector<platform::NetbiosAdapter> adapters, const platform::Timing& timing,
                      Inform inform);

    int start() override;
    // Needs a context from start(): 0 without one.
    int search(WizardServerTable& table, int firstIndex, int passes) override;
    int readConfig(WizardServerTable& table, int index) override;
    int readStatus(WizardServerTable& table, int index) override;
    int writeConfig(WizardServerTable& table, int index) override;
    int reset(WizardServerTable& table, int index) override;

    // The context of the last start-up that succeeded.
    const std::optional<NetbiosContext>& context() const { return m_devices.context(); }
    // The identity block of the search reply that added entry index in the last
    // search (the table keeps only the name and the type byte of it).
    std::optional<protocol::IdentityBlock> identity(int index) const;
    platform::NetbiosLayer& layer() { return m_devices.layer(); }

  private:
    // One addressed exchange with entry index, found over NetBIOS; 0 for any other.
    int exchange(const WizardServerTable& table, int index, std::span<const Byte> request,
                 const netbios::ExchangeShape& shape, const std::function<bool(std::span<const Byte> reply)>& take);

    netbios::NetbiosDevices m_devices;
    Inform m_inform;
    NetbiosIdentities m_identities;
};

// The link over these adapters.
std::unique_ptr<NetbiosLink> makeNetbiosLink(std::vector<platform::NetbiosAdapter> adapters,
                                             const platform::Timing& timing, Inform inform);
// The link over the adapters of VNK_BROADCAST and VNK_NETBIOS_PORT; null when
// NetBEUI is not installed (VNK_NETBIOS_PORT not set) or a value is bad (error
// says which).
std::unique_ptr<NetbiosLink> makeNetbiosLinkFromEnvironment(const platform::Timing& timing, Inform inform,
                                                            std::string* error = nullptr);

} // namespace vnk::wizard
