// The device protocol over NetBIOS datagrams, sent and received through NCBs: to
// the group KOVA.GROUP for a search and to a box's own NetBIOS name ("<device
// name>.CFG") for everything else. Start-up registers a station name of the PC's
// own ("PS" and ten lower-case hex digits of the adapter's address) on every
// LANA and keeps the LANA where a box answered; every later exchange receives
// there.
//
// The 8-byte header of request and reply: "PS", 0 (request) or 0x80 (reply), a
// byte the reply repeats (0 in a request), 0 (request) or 1 (reply), the
// command, FF, the command XOR FF. The payloads are those of UDP.
#pragma once

#include "platform/netbios.h"
#include "platform/timing.h"
#include "protocol/identity.h"

#include <array>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace vnk::netbios {

using protocol::Byte;
using protocol::MacAddress;

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

// How an addressed exchange runs: the receive buffer, how often the request is
// sent, how many waits follow each sending, and whether it is sent again after
// each wait.
struct ExchangeShape {
    std::size_t buffer;
    int attempts;
    int waits;
    bool resendEachWait;
};
// A record or status read: one sending, five waits, the request again after each.
inline constexpr ExchangeShape ReadShape{1024, 1, 5, true};
// A record write: three sendings, ten waits each.
inline constexpr ExchangeShape WriteShape{8, 3, 10, false};
// A reset: three sendings, five waits each.
inline constexpr ExchangeShape ResetShape{8, 3, 5, false};

// The NCB exchanges with the boxes over a set of adapters. Every wait lasts
// the timing table's wizardWait.
class NetbiosDevices {
public:
    NetbiosDevices(std::vector<platform::NetbiosAdapter> adapters, const platform::Timing& timing);

    enum class Start {
        Ready,            // a box answered on one LANA: the context is kept
        NoAdapterAddress, // no adapter told its address, so there is no station name
        NoLanas,          // the LANAs could not be enumerated
        NobodyAnswered,   // every round of searches went unanswered
    };
    // The station name on every LANA, then searches until a box answers on one
    // (netbiosStartupRounds rounds at most). An earlier context is dropped first.
    Start start();
    // The search of the kept LANA: a request to the group, then passes waits,
    // the request again after each. take() gets every datagram that arrived (a
    // receive that failed gives an empty one); it decides what to make of it.
    // False without a context.
    bool search(int passes, const std::function<void(std::span<const Byte> datagram)>& take);
    // One addressed exchange with the box of that NetBIOS name: a receive is
    // posted, then the request is sent as the shape says. take() gets each
    // valid reply from that name to that command and says whether it could use
    // it; a reply of any other sender or command is dropped and the receive
    // posted again within the same wait. 1 when take() used a reply, else 0
    // (also without a context).
    int exchange(const std::string& boxName, std::span<const Byte> request, const ExchangeShape& shape,
                 const std::function<bool(std::span<const Byte> reply)>& take);

    const std::optional<NetbiosContext>& context() const { return m_context; }
    platform::NetbiosLayer& layer() { return m_layer; }
    const platform::Timing& timing() const { return m_timing; }

private:
    platform::NetbiosLayer m_layer;
    platform::Timing m_timing;
    std::optional<NetbiosContext> m_context;
};

} // namespace vnk::netbios
