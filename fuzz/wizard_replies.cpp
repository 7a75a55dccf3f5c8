// The setup wizard's compact exchanges over UDP and IPX framing: which replies
// its search, record read, status read, write and reset take, what the server
// table keeps of them, and pserver.bin as the print monitor reads it back.
//
// Input: byte 0 picks the framing (bit 0: IPX) and the passes of the search
// (bits 1-2). Then the script the channel follows: one byte per socket opened
// (a multiple of 16 fails it), and for each receive a length byte and the
// datagram (0: the wait timed out, 255: the receive failed, 254: a 16-bit
// length follows). After the search each further byte is an operation on an
// entry of the table, followed by its script.
#include "fuzz/fuzz_support.h"
#include "platform/box_text.h"
#include "platform/reference_monitor.h"
#include "wizard/core/compact_link.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

using vnk::fuzz::check;

using namespace vnk;
using namespace vnk::wizard;


// A socket whose datagrams come from the script; it remembers what was sent
// and what was last received, for the checks below.
class ScriptedChannel final : public CompactChannel {
public:
    ScriptedChannel(fuzz::Cursor& script, const CompactFraming& framing) : m_script(script), m_framing(framing) {}

    bool open(bool) override {
        check(!m_open);
        m_open = m_script.byte() % 16 != 0;
        return m_open;
    }
    void close() override {
        check(m_open);
        m_open = false;
    }
    void send(const MacAddress& to, std::span<const Byte> frame) override {
        check(m_open && frame.size() >= m_framing.header);
        // The header: the target (UDP), request, command, FF, command XOR FF.
        const std::size_t d = m_framing.header - 4;
        if (d)
            check(std::equal(to.begin(), to.end(), frame.begin()));
        check(frame[d] == 0 && frame[d + 2] == 0xFF && frame[d + 3] == Byte(0xFF ^ frame[d + 1]));
        if (frame[d + 1] == protocol::CmdWriteConfig) {
            check(frame.size() == m_framing.header + protocol::RecordSize);
            check(protocol::recordChecksum(std::span<const Byte, protocol::RecordSize>(
                      frame.data() + m_framing.header, protocol::RecordSize)) == frame.back());
        } else {
            check(frame.size() == m_framing.header);
        }
    }
    Received receive(std::span<Byte> buffer) override {
        check(m_open);
        Received r;
        m_last.clear();
        if (m_script.empty())
            return r;
        std::size_t length = m_script.byte();
        if (length == 0)
            return r;
        r.ready = true;
        if (length == 0xFF)
            return r;
        if (length == 0xFE)
            length = m_script.word() % 1200;
        const auto datagram = m_script.take(length);
        r.sender = {0x00, 0x00, 0xB4, 0x00, Byte(datagram.size() >> 8), Byte(datagram.size())};
        // One that does not fit fails the receive; the buffer keeps its start.
        const std::size_t kept = std::min(datagram.size(), buffer.size());
        std::copy_n(datagram.begin(), kept, buffer.begin());
        r.length = datagram.size() > buffer.size() ? -1 : ssize_t(kept);
        if (r.length > 0)
            m_last.assign(datagram.begin(), datagram.end());
        return r;
    }

    bool isOpen() const { return m_open; }
    // The last datagram received whole.
    const std::vector<Byte>& last() const { return m_last; }

private:
    fuzz::Cursor& m_script;
    CompactFraming m_framing;
    bool m_open = false;
    std::vector<Byte> m_last;
};

void checkTable(const WizardServerTable& t) {
    check(t.count >= 0 && t.count <= MaxServers);
    for (int i = 0; i < t.count; ++i) {
        const std::string name = pserverName(t.servers[std::size_t(i)]);
        check(name.size() <= pserver::MaxNameLength && name.find('\0') == std::string::npos);
        for (int j = i + 1; j < t.count; ++j)
            check(name != pserverName(t.servers[std::size_t(j)]));
    }
}

// pserver.bin is the entry's 81 bytes; the print monitor reads back what the
// wizard wrote and names the port and its queues after it.
void monitorReads(const PServerRecord& r) {
    const std::string_view bytes(reinterpret_cast<const char*>(r.data()), r.size());
    const auto record = platform::parsePserverRecord(bytes);
    check(record.has_value());
    check(record->name == pserverName(r));
    const MacAddress mac = pserverMac(r);
    check(std::equal(mac.begin(), mac.end(), record->mac.begin()));
    check(!platform::parsePserverRecord(bytes.substr(1)));
    const std::string port = platform::portNameFor(*record);
    check(!port.empty());
    for (unsigned char c : port)
        check(c >= 0x20 && c != 0x7F && c != '\\');
    for (int n = 1; n <= 3; ++n) {
        const auto queue = platform::cupsQueueName(port, n);
        check(!queue.name.empty() && queue.name.size() <= 127);
        // What CUPS refuses never reaches a name; the rest is the port name's UTF-8, whole characters.
        for (unsigned char c : queue.name)
            check(c > 0x20 && c != 0x7F && !std::strchr("/\\#?@%'\"", c));
        check(platform::isValidUtf8(queue.name));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Cursor in(data, size);
    const Byte setup = in.byte();
    const CompactFraming framing = (setup & 1) ? ipxFraming() : udpFraming();
    auto owned = std::make_unique<ScriptedChannel>(in, framing);
    ScriptedChannel& channel = *owned;
    const auto link = makeCompactLink(std::move(owned), framing);
    auto table = std::make_unique<WizardServerTable>();

    const int found = link->search(*table, 0, 1 + (setup >> 1) % 3);
    check(found == 0 || found == 1);
    check(!channel.isOpen());
    checkTable(*table);

    while (!in.empty()) {
        const Byte op = in.byte();
        const int index = int(op >> 3) - 1; // -1 and 30 too
        int result = 0;
        switch (op % 8) {
        case 0:
            result = link->readConfig(*table, index);
            if (result) {
                const auto& reply = channel.last();
                check(reply.size() >= framing.header + protocol::RecordSize);
                check(std::equal(table->records[std::size_t(index)].begin(), table->records[std::size_t(index)].end(),
                                 reply.begin() + long(framing.header)));
            }
            break;
        case 1: {
            result = link->readStatus(*table, index);
            if (result) {
                // What arrived after the header, and zero after it.
                const auto& reply = channel.last();
                const std::size_t n = std::min(reply.size() - framing.header, StatusCopySize);
                check(std::equal(reply.begin() + long(framing.header), reply.begin() + long(framing.header + n),
                                 table->status.begin()));
                check(std::all_of(table->status.begin() + long(n), table->status.end(), [](Byte b) { return b == 0; }));
            }
            break;
        }
        case 2:
            result = link->writeConfig(*table, index);
            break;
        case 3:
            result = link->reset(*table, index);
            break;
        case 4:
            result = link->search(*table, index, 1);
            break;
        case 5: {
            const auto name = in.piece();
            if (index >= 0 && index < MaxServers) {
                table->setNetbiosName(index, std::string(name.begin(), name.end()));
                const std::string kept = table->netbiosName(index);
                check(kept.size() <= NetbiosNameSlot - 1);
            }
            break;
        }
        default:
            if (index >= 0 && index < table->count)
                monitorReads(table->servers[std::size_t(index)]);
            break;
        }
        check(result == 0 || result == 1);
        check(!channel.isOpen());
        checkTable(*table);
    }
    for (int i = 0; i < table->count; ++i)
        monitorReads(table->servers[std::size_t(i)]);
    return 0;
}
