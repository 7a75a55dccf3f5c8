#include "wizard/core/compact_link.h"

#include "protocol/identity.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace vnk::wizard {

using namespace protocol;

namespace {

// Attempts of each operation and receives of each attempt.
constexpr int ReadAttempts = 5;
constexpr int StatusAttempts = 5;
constexpr int WriteAttempts = 3;
constexpr int WriteReceives = 10;
constexpr int ResetAttempts = 3;
constexpr int ResetReceives = 5;

// Closes the operation's socket whichever way the operation returns.
class OpenChannel {
public:
    OpenChannel(CompactChannel& channel, bool broadcast) : m_channel(channel), m_open(channel.open(broadcast)) {}
    ~OpenChannel() {
        if (m_open)
            m_channel.close();
    }
    OpenChannel(const OpenChannel&) = delete;
    OpenChannel& operator=(const OpenChannel&) = delete;
    explicit operator bool() const { return m_open; }

private:
    CompactChannel& m_channel;
    bool m_open;
};

class CompactLink final : public DeviceLink {
public:
    CompactLink(std::unique_ptr<CompactChannel> channel, CompactFraming framing)
        : m_channel(std::move(channel)), m_framing(framing) {}

    int search(WizardServerTable& table, int firstIndex, int passes) override {
        {
            OpenChannel open(*m_channel, true);
            if (!open)
                return 0;
            const std::vector<Byte> request = header(BroadcastMac, CmdSearch);
            std::vector<Byte> buffer(m_framing.searchBuffer);
            for (int pass = 0; pass < passes; ++pass) {
                m_channel->send(BroadcastMac, request);
                // A pass ends with the first receive that times out; anything
                // else that arrives meanwhile does not end it.
                for (;;) {
                    const Received r = m_channel->receive(buffer);
                    if (!r.ready)
                        break;
                    if (r.length > 0)
                        takeSearchReply(table, std::span<const Byte>(buffer.data(), std::size_t(r.length)), r.sender);
                }
            }
        }
        for (int i = std::max(firstIndex, 0); i < table.count; ++i)
            readConfig(table, i);
        return 1;
    }

    int readConfig(WizardServerTable& table, int index) override {
        if (!valid(table, index))
            return 0;
        const auto reply = exchangeOnce(table, index, CmdReadConfig, ReadAttempts);
        // A reply too short to hold the whole record is not taken.
        if (reply.size() < m_framing.header + RecordSize)
            return 0;
        table.takeRecord(index, std::span<const Byte, RecordSize>(reply.data() + m_framing.header, RecordSize), false);
        return 1;
    }

    int readStatus(WizardServerTable& table, int index) override {
        if (!valid(table, index))
            return 0;
        const auto reply = exchangeOnce(table, index, CmdStatus, StatusAttempts);
        if (reply.empty())
            return 0;
        // Only what arrived is copied; the rest of the copy is zero.
        std::array<Byte, StatusCopySize> copy{};
        const std::size_t n = std::min(reply.size() - m_framing.header, copy.size());
        std::memcpy(copy.data(), reply.data() + m_framing.header, n);
        table.status = copy;
        return 1;
    }

    int writeConfig(WizardServerTable& table, int index) override {
        if (!valid(table, index))
            return 0;
        std::vector<Byte> frame = header(pserverMac(table.servers[std::size_t(index)]), CmdWriteConfig);
        const ConfigRecord record = withWizardChecksum(table.records[std::size_t(index)]);
        frame.insert(frame.end(), record.begin(), record.end());
        return confirmed(table, index, frame, WriteAttempts, WriteReceives);
    }

    int reset(WizardServerTable& table, int index) override {
        if (!valid(table, index))
            return 0;
        const std::vector<Byte> frame = header(pserverMac(table.servers[std::size_t(index)]), CmdReset);
        return confirmed(table, index, frame, ResetAttempts, ResetReceives);
    }

private:
    static bool valid(const WizardServerTable& table, int index) { return index >= 0 && index < table.count; }

    std::vector<Byte> header(const MacAddress& target, Byte command) const {
        std::vector<Byte> h;
        if (m_framing.header == HeaderSize)
            h.assign(target.begin(), target.end());
        h.insert(h.end(), {Byte(0), command, Byte(0xFF), Byte(0xFF ^ command)});
        return h;
    }

    bool accepted(std::span<const Byte> reply, Byte command) const {
        const std::size_t direction = m_framing.header - 4;
        return reply.size() >= m_framing.header && reply[direction] == 1 && reply[direction + 1] == command;
    }

    void takeSearchReply(WizardServerTable& table, std::span<const Byte> reply, const MacAddress& sender) const {
        // The reply must reach the type byte; the name ends at its NUL or at
        // the end of what arrived.
        if (!accepted(reply, CmdSearch) || reply.size() <= m_framing.header + identity::ServerType)
            return;
        const std::span<const Byte> id = reply.subspan(m_framing.header);
        if (m_framing.onlyPrintServers && id[identity::DeviceType] != 0)
            return;
        MacAddress mac = sender;
        if (!m_framing.macFromSender)
            std::copy_n(reply.begin(), mac.size(), mac.begin());
        table.addFound(fieldText(id, identity::ServerName, pserver::MaxNameLength), mac, id[identity::ServerType]);
    }

    // Attempts of one send and one receive; the accepted reply, or nothing.
    // A reply that does not match ends its attempt.
    std::vector<Byte> exchangeOnce(const WizardServerTable& table, int index, Byte command, int attempts) {
        OpenChannel open(*m_channel, false);
        if (!open)
            return {};
        const MacAddress target = pserverMac(table.servers[std::size_t(index)]);
        const std::vector<Byte> request = header(target, command);
        std::vector<Byte> buffer(m_framing.recordBuffer);
        for (int attempt = 0; attempt < attempts; ++attempt) {
            m_channel->send(target, request);
            const Received r = m_channel->receive(buffer);
            if (r.ready && r.length > 0 && accepted(std::span<const Byte>(buffer.data(), std::size_t(r.length)), command)) {
                buffer.resize(std::size_t(r.length));
                return buffer;
            }
        }
        return {};
    }

    // Attempts of one send and up to `receives` receives, for a reply that
    // only confirms; a reply that does not match uses up its receive.
    int confirmed(const WizardServerTable& table, int index, const std::vector<Byte>& frame, int attempts,
                  int receives) {
        OpenChannel open(*m_channel, false);
        if (!open)
            return 0;
        const MacAddress target = pserverMac(table.servers[std::size_t(index)]);
        const Byte command = frame[m_framing.header - 3];
        std::vector<Byte> buffer(m_framing.shortBuffer);
        for (int attempt = 0; attempt < attempts; ++attempt) {
            m_channel->send(target, frame);
            for (int k = 0; k < receives; ++k) {
                const Received r = m_channel->receive(buffer);
                if (r.ready && r.length > 0 &&
                    accepted(std::span<const Byte>(buffer.data(), std::size_t(r.length)), command))
                    return 1;
            }
        }
        return 0;
    }

    std::unique_ptr<CompactChannel> m_channel;
    CompactFraming m_framing;
};

} // namespace

std::unique_ptr<DeviceLink> makeCompactLink(std::unique_ptr<CompactChannel> channel, CompactFraming framing) {
    return std::make_unique<CompactLink>(std::move(channel), framing);
}

} // namespace vnk::wizard
