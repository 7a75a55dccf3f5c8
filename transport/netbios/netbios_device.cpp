#include "transport/netbios/netbios_device.h"

#include "protocol/records.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>

namespace vnk::netbios {

using namespace protocol;
using platform::NCB;
namespace ncb = platform::ncb;

namespace {

// Receive buffers of each exchange.
constexpr std::size_t StartupBuffer = 128;
constexpr std::size_t SearchBuffer = 74;
constexpr int SearchReceives = 10;
constexpr std::size_t AdapterStatusBuffer = 600;
constexpr std::uint16_t CancelLength = 64; // the size of an NCB where the NetBIOS exchanges come from

// A posted receive and the buffer it fills. It does not move while posted.
struct Receive {
    explicit Receive(std::size_t size) : buffer(size) {}
    Receive(const Receive&) = delete;
    Receive& operator=(const Receive&) = delete;
    NCB ncb{};
    std::vector<Byte> buffer;
};

bool pending(const NCB& n) {
    return n.ncb_cmd_cplt == ncb::Pending;
}

// What a completed receive holds; nothing for one that failed or was cancelled.
// A datagram longer than the buffer counts with what fitted.
std::span<const Byte> received(const Receive& r) {
    if (pending(r.ncb) || (r.ncb.ncb_retcode != ncb::Good && r.ncb.ncb_retcode != ncb::Incomplete))
        return {};
    return std::span<const Byte>(r.buffer.data(), std::min<std::size_t>(r.ncb.ncb_length, r.buffer.size()));
}

} // namespace

std::string stationName(const MacAddress& adapterAddress) {
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (Byte b : adapterAddress) {
        hex.push_back(digits[b >> 4]);
        hex.push_back(digits[b & 0x0F]);
    }
    return "PS" + hex.substr(2);
}

std::array<Byte, NetbiosHeaderSize> netbiosRequestHeader(Byte command) {
    return {'P', 'S', 0, 0, 0, command, 0xFF, Byte(command ^ 0xFF)};
}

bool netbiosReplyValid(std::span<const Byte> reply, Byte requestByte3, Byte command) {
    return reply.size() >= NetbiosHeaderSize && reply[0] == 'P' && reply[1] == 'S' && reply[2] == 0x80 &&
           reply[3] == requestByte3 && reply[4] == 1 && reply[5] == command;
}

std::string deviceNetbiosName(std::span<const Byte> identityBytes) {
    return fieldText(identityBytes, identity::DeviceName, identity::DeviceNameWidth) + ".CFG";
}

NetbiosDevices::NetbiosDevices(std::vector<platform::NetbiosAdapter> adapters, const platform::Timing& timing)
    : m_layer(std::move(adapters)), m_timing(timing) {}

namespace {

// The small NCB calls every operation makes.
struct Calls {
    platform::NetbiosLayer& layer;

    std::uint8_t simple(std::uint8_t command, std::uint8_t lana) {
        NCB n{};
        n.ncb_command = command;
        n.ncb_lana_num = lana;
        return layer.Netbios(&n);
    }
    // The LANA numbers, or nothing when the call fails.
    std::optional<std::vector<std::uint8_t>> enumerate() {
        std::array<Byte, ncb::LanaEnumSize> lanas{};
        NCB n{};
        n.ncb_command = ncb::EnumerateLanas;
        n.ncb_buffer = lanas.data();
        n.ncb_length = std::uint16_t(lanas.size());
        if (layer.Netbios(&n) != ncb::Good)
            return std::nullopt;
        // The length byte is at most 255 and the buffer holds 255 numbers after it.
        return std::vector<std::uint8_t>(lanas.begin() + 1, lanas.begin() + 1 + lanas[0]);
    }
    std::optional<MacAddress> adapterAddress(std::uint8_t lana) {
        std::vector<Byte> status(AdapterStatusBuffer);
        NCB n{};
        n.ncb_command = ncb::AdapterStatus;
        n.ncb_lana_num = lana;
        n.ncb_buffer = status.data();
        n.ncb_length = std::uint16_t(status.size());
        std::memset(n.ncb_callname, ' ', sizeof n.ncb_callname);
        n.ncb_callname[0] = '*';
        n.ncb_callname[15] = 0;
        const std::uint8_t rc = layer.Netbios(&n);
        if ((rc != ncb::Good && rc != ncb::Incomplete) || n.ncb_length < 6)
            return std::nullopt;
        MacAddress mac{};
        std::copy_n(status.begin(), 6, mac.begin());
        return mac;
    }
    // The name number, or nothing.
    std::optional<std::uint8_t> addName(std::uint8_t lana, const platform::NetbiosName& name) {
        NCB n{};
        n.ncb_command = ncb::AddName;
        n.ncb_lana_num = lana;
        std::copy(name.begin(), name.end(), n.ncb_name);
        if (layer.Netbios(&n) != ncb::Good)
            return std::nullopt;
        return n.ncb_num;
    }
    void post(Receive& r, std::uint8_t lana, std::uint8_t number) {
        r.ncb = NCB{};
        r.ncb.ncb_command = ncb::ReceiveDatagram | ncb::Asynch;
        r.ncb.ncb_lana_num = lana;
        r.ncb.ncb_num = number;
        r.ncb.ncb_buffer = r.buffer.data();
        r.ncb.ncb_length = std::uint16_t(r.buffer.size());
        layer.Netbios(&r.ncb);
    }
    void cancel(Receive& r) {
        if (!pending(r.ncb))
            return;
        NCB n{};
        n.ncb_command = ncb::Cancel;
        n.ncb_lana_num = r.ncb.ncb_lana_num;
        n.ncb_buffer = reinterpret_cast<std::uint8_t*>(&r.ncb);
        n.ncb_length = CancelLength;
        layer.Netbios(&n);
    }
    void send(std::uint8_t lana, std::uint8_t number, const platform::NetbiosName& to,
              std::span<const Byte> data) {
        std::vector<Byte> copy(data.begin(), data.end());
        NCB n{};
        n.ncb_command = ncb::SendDatagram;
        n.ncb_lana_num = lana;
        n.ncb_num = number;
        n.ncb_buffer = copy.data();
        n.ncb_length = std::uint16_t(copy.size());
        std::copy(to.begin(), to.end(), n.ncb_callname);
        layer.Netbios(&n);
    }
};

} // namespace

NetbiosDevices::Start NetbiosDevices::start() {
    using Clock = std::chrono::steady_clock;
    Calls calls{m_layer};
    // The resets below delete the names of an earlier start-up.
    m_context.reset();

    // The station name from the first adapter that tells its address.
    std::optional<MacAddress> address;
    if (const auto lanas = calls.enumerate())
        for (std::uint8_t lana : *lanas) {
            calls.simple(ncb::Reset, lana);
            if ((address = calls.adapterAddress(lana)))
                break;
        }
    if (!address)
        return Start::NoAdapterAddress;
    const platform::NetbiosName station = platform::makeNetbiosName(stationName(*address));

    const auto lanas = calls.enumerate();
    if (!lanas)
        return Start::NoLanas;
    // The station name on every LANA; one where it cannot be added is left out.
    struct Posted {
        std::uint8_t lana;
        std::uint8_t number;
    };
    std::vector<Posted> where;
    for (std::uint8_t lana : *lanas) {
        calls.simple(ncb::Reset, lana);
        if (const auto number = calls.addName(lana, station))
            where.push_back(Posted{lana, *number});
    }
    const platform::NetbiosName group = platform::makeNetbiosName(platform::KovaGroupName);
    const auto search = netbiosRequestHeader(CmdSearch);
    std::vector<std::unique_ptr<Receive>> receives;
    for (const Posted& p : where) {
        receives.push_back(std::make_unique<Receive>(StartupBuffer));
        calls.post(*receives.back(), p.lana, p.number);
        calls.send(p.lana, p.number, group, search);
    }
    auto cancelAll = [&] {
        for (auto& r : receives)
            calls.cancel(*r);
    };
    auto anyCompleted = [&] {
        return std::any_of(receives.begin(), receives.end(), [](const auto& r) { return !pending(r->ncb); });
    };

    int requests = 1;
    auto nextRound = Clock::now() + m_timing.wizardWait;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::microseconds>(nextRound - Clock::now());
        m_layer.waitUntil(std::max(left, std::chrono::microseconds{0}), anyCompleted);
        for (std::size_t i = 0; i < receives.size(); ++i) {
            Receive& r = *receives[i];
            if (pending(r.ncb))
                continue;
            if (netbiosReplyValid(received(r), 0, CmdSearch)) {
                // A box answered here: this is the LANA.
                cancelAll();
                m_context = NetbiosContext{where[i].lana, where[i].number, station};
                return Start::Ready;
            }
            calls.post(r, where[i].lana, where[i].number);
        }
        if (Clock::now() < nextRound)
            continue;
        if (requests >= m_timing.netbiosStartupRounds) {
            cancelAll();
            return Start::NobodyAnswered;
        }
        for (const Posted& p : where)
            calls.send(p.lana, p.number, group, search);
        ++requests;
        nextRound += m_timing.wizardWait;
    }
}

bool NetbiosDevices::search(int passes, const std::function<void(std::span<const Byte>)>& take) {
    if (!m_context)
        return false;
    const NetbiosContext c = *m_context;
    Calls calls{m_layer};
    const platform::NetbiosName group = platform::makeNetbiosName(platform::KovaGroupName);
    const auto request = netbiosRequestHeader(CmdSearch);

    std::vector<std::unique_ptr<Receive>> receives;
    for (int i = 0; i < SearchReceives; ++i) {
        receives.push_back(std::make_unique<Receive>(SearchBuffer));
        calls.post(*receives.back(), c.lana, c.nameNumber);
    }
    calls.send(c.lana, c.nameNumber, group, request);
    for (int pass = 0; pass < passes; ++pass) {
        m_layer.wait(m_timing.wizardWait);
        for (auto& r : receives) {
            if (pending(r->ncb))
                continue;
            take(received(*r));
            calls.post(*r, c.lana, c.nameNumber);
        }
        calls.send(c.lana, c.nameNumber, group, request);
    }
    for (auto& r : receives)
        calls.cancel(*r);
    m_layer.wait(m_timing.wizardWait);
    return true;
}

int NetbiosDevices::exchange(const std::string& boxName, std::span<const Byte> request, const ExchangeShape& shape,
                             const std::function<bool(std::span<const Byte>)>& take) {
    if (!m_context || request.size() < NetbiosHeaderSize)
        return 0;
    const NetbiosContext c = *m_context;
    Calls calls{m_layer};
    const platform::NetbiosName to = platform::makeNetbiosName(boxName);
    const Byte command = request[5];
    Receive r(shape.buffer);
    calls.post(r, c.lana, c.nameNumber);
    for (int attempt = 0; attempt < shape.attempts; ++attempt) {
        calls.send(c.lana, c.nameNumber, to, request);
        for (int wait = 0; wait < shape.waits; ++wait) {
            // Each wait lasts its time: a reply that is not the one looked for
            // is dropped and the receive posted again within the same wait.
            const auto end = std::chrono::steady_clock::now() + m_timing.wizardWait;
            for (auto left = m_timing.wizardWait; left.count() > 0;
                 left = std::chrono::duration_cast<std::chrono::microseconds>(end - std::chrono::steady_clock::now())) {
                m_layer.waitUntil(left, [&] { return !pending(r.ncb); });
                if (pending(r.ncb))
                    break;
                const std::span<const Byte> reply = received(r);
                // The header does not name the box: a late or doubled reply of
                // another box is told apart by the name it came from.
                const bool fromThere = std::equal(to.begin(), to.end(), r.ncb.ncb_callname);
                if (fromThere && netbiosReplyValid(reply, 0, command) && take(reply))
                    return 1;
                calls.post(r, c.lana, c.nameNumber);
            }
            if (shape.resendEachWait)
                calls.send(c.lana, c.nameNumber, to, request);
        }
    }
    calls.cancel(r);
    return 0;
}

} // namespace vnk::netbios
