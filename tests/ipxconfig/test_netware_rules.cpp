// The NetWare pages' rules without the pages: the information page's texts from
// the records, the settings page's control states and what its Write stores.
#include "ipxconfig/rules/netware_rules.h"
#include "protocol/record_fields.h"
#include "support/patterned_record.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace vnk;
using namespace vnk::rules;
using protocol::Byte;
using protocol::ConfigRecord;
using protocol::StatusBuffer;
namespace r = protocol::record;

namespace {

ConfigRecord record(Byte ports, Byte caps = r::CapRemotePrinter) {
    ConfigRecord rec{};
    rec[r::PortConfig] = ports;
    rec[r::Capabilities] = caps;
    const Byte mac[6] = {0x00, 0x00, 0xB4, 0x12, 0x33, 0x44};
    std::memcpy(&rec[r::EthernetAddress], mac, 6);
    rec[r::NetwarePolling] = 5;
    return rec;
}

void put(std::span<Byte> bytes, std::size_t at, const std::string& text) {
    std::memcpy(&bytes[at], text.data(), text.size());
}

// A queue block in the status buffer (record offset 62 + 99 k).
void queue(StatusBuffer& s, int k, std::uint16_t flag, const std::string& server, const std::string& name) {
    const std::size_t at = protocol::HeaderSize + 62 + 99 * std::size_t(k);
    protocol::putLE16(s, at, flag);
    put(s, at + 2, server);
    put(s, at + 50, name);
}

ConfigRecord withTree(ConfigRecord rec, const std::string& tree) {
    protocol::storeNdsTreeName(rec, tree);
    return rec;
}

} // namespace

TEST(NetwareInformation, QueueLinesFollowThePortsTheBoxHas) {
    StatusBuffer s{};
    queue(s, 0, 1, "FS-MAIN", "Q-LPT1");
    queue(s, 1, 0x0101, "FS-MAIN", "Q-LPT2"); // a parallel port's flag is both bytes
    queue(s, 3, 0x0101, "FS-TWO", "Q-COM1");  // a serial port's is the first only
    const std::array<std::string, 5> oneParallel = {"LPT1 attaches to Q-LPT1 at FS-MAIN", "", "", "", ""};
    EXPECT_EQ(netwareInformation(record(0x01), s).queueLines, oneParallel);
    EXPECT_EQ(netwareInformation(record(0x00), s).queueLines, oneParallel);

    // Two parallel ports and the two bits of the serial count at 3: the status
    // record has queue blocks for two serial ports.
    const auto lines = netwareInformation(record(0x0E), s).queueLines;
    EXPECT_EQ(lines[1], "LPT2 does NOT attach to any queue");
    EXPECT_EQ(lines[2], "COM1 attaches to Q-COM1 at FS-TWO");
    EXPECT_EQ(lines[3], "COM2 does NOT attach to any queue");
    EXPECT_EQ(lines[4], "");
}

TEST(NetwareInformation, SecondSerialBlockEndsWithTheStatusRecord) {
    // COM2's block starts at record offset 458: its flag and the first bytes
    // of its file server name are inside the 481 bytes, the rest (its queue
    // name among it) counts as 0, so COM2 never reads as attached to a queue.
    StatusBuffer s{};
    const std::size_t at = protocol::HeaderSize + 458;
    s[at] = 1;
    s[at + 1] = 0x77; // not looked at for a serial port
    std::memset(&s[at + 2], 'S', s.size() - at - 2);
    const auto lines = netwareInformation(record(0x09), s).queueLines;
    EXPECT_EQ(lines[2], "COM2 does NOT attach to any queue");
}

TEST(NetwareInformation, PrintModeFileServerTreeAndLogin) {
    StatusBuffer s{};
    ConfigRecord both = withTree(record(0x01), "ACME");
    put(both, r::NetwareFileServer, "FS-MAIN");
    auto info = netwareInformation(both, s);
    EXPECT_EQ(info.polling, "5 Sec");
    EXPECT_EQ(info.loginStatus, "Not Connected");
    s[protocol::HeaderSize + 1] = 1; // logged in to the primary file server
    s[protocol::HeaderSize + 7] = 1; // ... and to the one the status names, which wins
    put(s, protocol::HeaderSize + 8, "FS-OTHER");
    EXPECT_EQ(netwareInformation(both, s).loginStatus, "Connect to FS-OTHER");

    info = netwareInformation(withTree(record(0x01), "ACME"), s);
    EXPECT_EQ(info.printMode, "NDS Printing");
    EXPECT_EQ(info.fileServer, "Not Used");
    EXPECT_EQ(info.ndsTree, "ACME");

    info = netwareInformation(record(0x01), s);
    EXPECT_EQ(info.printMode, "Bindery Printing");
    EXPECT_EQ(info.fileServer, "Not Used");
    EXPECT_EQ(info.ndsTree, "Not Used");

    both[r::OptionFlags] = r::OptRemotePrinter;
    info = netwareInformation(both, s);
    EXPECT_EQ(info.printMode, "Remote Printer");
    EXPECT_EQ(info.fileServer, "Not Used");
    EXPECT_EQ(info.ndsTree, "Not Used");
    EXPECT_EQ(info.loginStatus, "Not Used");
}

TEST(NetwareSettings, ControlsFollowModeRemotePrinterAndCapabilities) {
    ConfigRecord rec = record(0x01, r::CapRemotePrinter);
    NetwareSettingsControls c = netwareSettingsControls(rec, NetwareMode::Nds, true);
    EXPECT_TRUE(c.name && c.remotePrinter && c.ndsLabels);
    EXPECT_FALSE(c.fileServer || c.tree || c.context || c.binderyButton || c.ndsButton || c.polling);

    // A box without NDS keeps its NDS controls disabled, even when remote
    // printer mode is switched off again in NDS mode; one without remote
    // printer mode its check box.
    rec[r::Capabilities] = r::CapIpxWithoutNds;
    c = netwareSettingsControls(rec, NetwareMode::Nds, false);
    EXPECT_TRUE(c.binderyButton && c.polling);
    EXPECT_FALSE(c.ndsButton || c.ndsLabels || c.tree || c.context || c.remotePrinter);
}

TEST(NetwareSettings, WriteStoresItsFieldsAndNothingElse) {
    ConfigRecord rec = vnk::testing::patterned();
    rec[r::AliasName + 6] = 0; // the alias is a 6-byte text
    protocol::ServerEntry entry;
    std::memcpy(&entry.identity[protocol::identity::ServerName], &rec[r::AliasName], 7);
    const ConfigRecord before = rec;

    NetwareSettingsValues v = netwareSettingsValues(rec);
    v.mode = NetwareMode::Nds;
    v.tree = "ACME";
    v.context = "OU=SALES";
    v.remotePrinter = true;
    v.polling = 42;
    const NetwareSettingsWrite w = storeNetwareSettings(rec, entry, v);
    ASSERT_FALSE(w.failure);
    EXPECT_FALSE(w.nameChanged);
    EXPECT_EQ(rec[r::NetwareFileServer], 0);
    EXPECT_EQ(protocol::fieldText(rec, r::NdsTree, 48), "ACME" + std::string(28, '_'));
    EXPECT_EQ(protocol::ndsTreeName(rec), "ACME");
    EXPECT_EQ(protocol::fieldText(rec, r::NdsContext, 16), "OU=SALES");
    EXPECT_EQ(rec[r::OptionFlags], before[r::OptionFlags] | r::OptRemotePrinter);
    EXPECT_EQ(rec[r::NetwarePolling], 42);
    // Besides these: the first byte of the file server name, the tree with its
    // padding and terminator (124-156) and the context with its terminator (172-180).
    for (std::size_t i = 0; i < protocol::RecordSize; ++i) {
        const bool stored = i == r::OptionFlags || i == r::NetwarePolling || i == r::NetwareFileServer ||
                            (i >= r::NdsTree && i <= r::NdsTree + 32) ||
                            (i >= r::NdsContext && i <= r::NdsContext + 8);
        if (!stored) {
            EXPECT_EQ(rec[i], before[i]) << "byte " << i;
        }
    }
}

TEST(NetwareSettings, LongNamesAndBadPollingAreRefusedBeforeAnythingIsStored) {
    ConfigRecord rec = record(0x01);
    protocol::ServerEntry entry;
    const ConfigRecord before = rec;
    NetwareSettingsValues v = netwareSettingsValues(rec);
    v.polling = 10;
    auto refused = [&](NetwareSettingsValues values) {
        const auto w = storeNetwareSettings(rec, entry, values);
        EXPECT_EQ(rec, before);
        return w.failure;
    };
    NetwareSettingsValues bad = v;
    bad.context = std::string(16, 'C');
    auto f = refused(bad);
    ASSERT_TRUE(f);
    EXPECT_EQ(f->field, NetwareField::Context);
    EXPECT_EQ(f->limit, 15);
    bad = v;
    bad.polling = 1;
    f = refused(bad);
    ASSERT_TRUE(f);
    EXPECT_EQ(f->kind, NetwareFailure::OutOfRange);
    EXPECT_EQ(f->low, 2);
    EXPECT_EQ(f->high, 99);

    // A name the record holds whole, without a terminator, goes back as it is.
    put(rec, r::NetwareFileServer, std::string(48, 'W'));
    const ConfigRecord whole = rec;
    v = netwareSettingsValues(rec);
    v.polling = 10;
    EXPECT_FALSE(storeNetwareSettings(rec, entry, v).failure);
    EXPECT_TRUE(std::equal(rec.begin() + 76, rec.begin() + 124, whole.begin() + 76));
}
