// The wizard's NetBIOS link: NetBIOS datagrams through NCBs, to the group
// KOVA.GROUP for a search and to a box's own NetBIOS name ("<device name>.CFG")
// for everything else. Start-up registers a station name of the wizard's own
// ("PS" and ten lower-case hex digits of the adapter's address) on every LANA
// and keeps the LANA where a box answered; every later exchange receives there.
//
// The 8-byte header of request and reply: "PS", 0 (request) or 0x80 (reply), a
// byte the reply repeats (0 in a request), 0 (request) or 1 (reply), the
// command, FF, the command XOR FF. The payloads are those of UDP.
#pragma once

#include "platform/netbios.h"
#include "platform/timing.h"
#include "protocol/identity.h"
#include "wizard/core/device_link.h"

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace vnk::wizard {

inline constexpr std::size_t NetbiosHeaderSize = 8;

// What start-up keeps: the LANA where a box answered, the station name's
// number on it and the station name.
struct NetbiosContext {
    std::uint8_t lana = 0;
    std::uint8_t nameNumber = 0;
    platform::NetbiosName stationName{};
};

// "PS" followed by characters 3-12 of the adapter address in lower-case hex:
// 00 50 BA 12 34 56 gives PS50ba123456.
std::string stationName(const MacAddress& adapterAddress);
// The 8-byte request header of a command.
std::array<Byte, NetbiosHeaderSize> netbiosRequestHeader(Byte command);
// A reply to a request of that command whose byte 3 was requestByte3: "PS",
// 0x80, the same byte 3, 1, the same command. Bytes 6 and 7 are not looked at.
bool netbiosReplyValid(std::span<const Byte> reply, Byte requestByte3, Byte command);
// A box's NetBIOS name from its identity block: the device name (bytes 0-7, up
// to a NUL) followed by ".CFG".
std::string deviceNetbiosName(std::span<const Byte> identity);

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
    const std::optional<NetbiosContext>& context() const { return m_context; }
    // The identity block of the search reply that added entry index in the last
    // search (the table keeps only the name and the type byte of it).
    std::optional<protocol::IdentityBlock> identity(int index) const;
    platform::NetbiosLayer& layer() { return m_layer; }

  private:
    // One addressed exchange with entry index: a receive of bufferSize bytes
    // is posted, then `attempts` times the request is sent and up to `waits`
    // waits look at the receive (the request sent again after each when
    // resendEachWait). take() stores a valid reply and says whether it could
    // use it; a receive that completed otherwise is posted again.
    int exchange(const WizardServerTable& table, int index, std::span<const Byte> request, std::size_t buffer,
                 int attempts, int waits, bool resendEachWait,
                 const std::function<bool(std::span<const Byte> reply)>& take);

    platform::NetbiosLayer m_layer;
    platform::Timing m_timing;
    Inform m_inform;
    std::optional<NetbiosContext> m_context;
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
