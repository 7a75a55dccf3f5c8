// The wizard's NetBIOS link against the simulated LAN's NetBIOS side, and
// against a box of our own making that answers what a real box would not.
#include "platform/udp_socket.h"
#include "sim/sim_lan.h"
#include "support/patterned_record.h"
#include "support/sim_helpers.h"
#include "wizard/core/netbios_link.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>

using namespace vnk;
using namespace std::chrono_literals;
using platform::NCB;
using wizard::WizardNetbiosLink;
using wizard::WizardServerTable;
namespace ncb = platform::ncb;

namespace {

using Bytes = std::vector<protocol::Byte>;

std::uint16_t freePort() {
    const int s = platform::openUdpSocket();
    EXPECT_EQ(platform::bindAny(s, 0), 0);
    const std::uint16_t port = platform::localPort(s);
    platform::closeSocket(s);
    return port;
}

platform::NetbiosAdapter adapter(std::uint8_t lana, std::uint16_t port, protocol::Byte macLast) {
    return {lana, "127.0.0.1", "127.255.255.255", port, {0x00, 0x50, 0xBA, 0x12, 0x34, macLast}};
}

std::unique_ptr<sim::SimLan> netbiosLan(const std::vector<sim::BoxSpec>& boxes) {
    sim::LanOptions options;
    options.netbiosPort = 0;
    auto lan = std::make_unique<sim::SimLan>(options);
    for (const auto& b : boxes)
        lan->addBox(b);
    std::string error;
    EXPECT_TRUE(lan->start(&error)) << error;
    return lan;
}

struct Messages {
    std::vector<std::string> shown;
    wizard::Inform inform() {
        return [this](const std::string& text) { shown.push_back(text); };
    }
};

int indexOf(const WizardServerTable& table, const std::string& name) {
    for (int i = 0; i < table.count; ++i)
        if (wizard::pserverName(table.servers[std::size_t(i)]) == name)
            return i;
    return -1;
}

const platform::Timing Fast = platform::Timing::fast();

} // namespace

// --- names and headers ---

TEST(NetbiosWizardFrames, StationNameRequestHeaderAndReplyTest) {
    EXPECT_EQ(netbios::stationName({0, 0, 0, 0, 0, 0}), "PS0000000000");
    EXPECT_EQ(netbios::stationName({0x00, 0x50, 0xBA, 0x12, 0x34, 0x56}), "PS50ba123456");
    EXPECT_EQ(netbios::stationName({0xAB, 0xCD, 0xEF, 0xFE, 0xDC, 0x0A}), "PScdeffedc0a");
    const auto h = netbios::netbiosRequestHeader(3);
    EXPECT_EQ(Bytes(h.begin(), h.end()), (Bytes{'P', 'S', 0, 0, 0, 3, 0xFF, 0xFC}));

    const Bytes good{'P', 'S', 0x80, 0, 1, 2, 0x12, 0x34, 9};
    EXPECT_TRUE(netbios::netbiosReplyValid(good, 0, 2)) << "bytes 6 and 7 are not looked at";
    for (auto [at, value] : {std::pair<std::size_t, protocol::Byte>{0, 'Q'},
                             {1, 's'},
                             {2, 0x00},
                             {2, 0x81},
                             {3, 1},
                             {4, 0},
                             {4, 2},
                             {5, 3}}) {
        Bytes bad = good;
        bad[at] = value;
        EXPECT_FALSE(netbios::netbiosReplyValid(bad, 0, 2)) << "byte " << at << " = " << int(value);
    }
    EXPECT_FALSE(netbios::netbiosReplyValid(std::span(good).first(7), 0, 2));
}

// Replies are read no further than they reach, and nothing of an older one stays.
TEST(NetbiosWizardFrames, RepliesAreTakenOnlyAsFarAsTheyReach) {
    WizardServerTable table;
    wizard::NetbiosIdentities identities;
    Bytes search{'P', 'S', 0x80, 0, 1, protocol::CmdSearch, 0xFF, 0xFB};
    const Bytes id = [] {
        Bytes b(protocol::IdentitySize, 0);
        std::memcpy(b.data(), "QUILL3P2", 8);
        std::memcpy(b.data() + protocol::identity::ServerName, "QUILL-3P2S", 10);
        b[protocol::identity::ServerType] = 2;
        b[protocol::identity::Features] = 3;
        return b;
    }();
    search.insert(search.end(), id.begin(), id.begin() + protocol::identity::ServerType);
    EXPECT_FALSE(wizard::takeNetbiosSearchReply(table, search, identities)) << "the type byte is missing";
    search.push_back(id[protocol::identity::ServerType]);
    ASSERT_TRUE(wizard::takeNetbiosSearchReply(table, search, identities));
    EXPECT_EQ(table.netbiosName(0), "QUILL3P2.CFG");
    ASSERT_TRUE(identities[0].has_value());
    EXPECT_EQ((*identities[0])[protocol::identity::Features], 0) << "what did not arrive reads as 0";
    EXPECT_FALSE(wizard::takeNetbiosSearchReply(table, search, identities)) << "listed once";
    EXPECT_EQ(table.count, 1);

    Bytes record{'P', 'S', 0x80, 0, 1, protocol::CmdReadConfig, 0xFF, 0xFD};
    record.resize(netbios::NetbiosHeaderSize + protocol::RecordSize - 1, 0x5A);
    EXPECT_FALSE(wizard::takeNetbiosRecordReply(table, 0, record));
    EXPECT_EQ(table.records[0][0], 0) << "a record cut short is not taken";
    record.push_back(0x5A);
    EXPECT_TRUE(wizard::takeNetbiosRecordReply(table, 0, record));
    EXPECT_EQ(table.records[0][protocol::RecordSize - 1], 0x5A);

    table.status.fill(0xEE);
    Bytes status{'P', 'S', 0x80, 0, 1, protocol::CmdStatus, 0xFF, 0xFA, 1, 2, 3};
    EXPECT_TRUE(wizard::takeNetbiosStatusReply(table, status));
    EXPECT_EQ(table.status[2], 3);
    EXPECT_EQ(table.status[3], 0) << "the rest of an older status is cleared";
    EXPECT_FALSE(wizard::takeNetbiosStatusReply(table, std::span(status).first(7)));
}

// The box's side of the same frames.
TEST(SimBoxNetbios, AnswersWellFormedRequestsToItsNameAndSearchesToItsGroup) {
    sim::SimBox box(vnk::testing::testBox("QUILL", 1), "");
    EXPECT_EQ(box.netbiosName(), "TB0000BX.CFG");
    const auto now = sim::Clock::now();
    Bytes search{'P', 'S', 0, 7, 0, 4, 0xFF, 0xFB};
    auto replies = box.handleNetbios(search, true, now);
    ASSERT_EQ(replies.size(), 1u);
    ASSERT_EQ(replies[0].bytes.size(), 8u + protocol::IdentitySize);
    EXPECT_EQ(Bytes(replies[0].bytes.begin(), replies[0].bytes.begin() + 8),
              (Bytes{'P', 'S', 0x80, 7, 1, 4, 0xFF, 0xFB}));
    EXPECT_EQ(protocol::fieldText(replies[0].bytes, 8 + 8, 46), "QUILL");

    Bytes read{'P', 'S', 0, 0, 0, 2, 0xFF, 0xFD};
    EXPECT_TRUE(box.handleNetbios(read, true, now).empty()) << "a read to the group";
    replies = box.handleNetbios(read, false, now);
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_TRUE(
        std::equal(box.storedRecord().begin(), box.storedRecord().end(), replies[0].bytes.begin() + 8));

    Bytes write(8 + protocol::RecordSize, 0);
    std::memcpy(write.data(), "PS\0\0\0\x03\xFF\xFC", 8);
    EXPECT_EQ(box.handleNetbios(write, false, now).size(), 1u);
    for (const Bytes& bad :
         {Bytes(write.begin(), write.end() - 1), Bytes{'P', 'S', 0, 0, 0, 2, 0xFF, 0xFC},
          Bytes{'P', 'S', 0x80, 0, 0, 2, 0xFF, 0xFD}, Bytes{'P', 'S', 0, 0, 1, 2, 0xFF, 0xFD},
          Bytes{'P', 'T', 0, 0, 0, 2, 0xFF, 0xFD}, Bytes{'P', 'S', 0, 0, 0, 6, 0xFF, 0xF9}})
        EXPECT_TRUE(box.handleNetbios(bad, false, now).empty())
            << bad.size() << " bytes, command " << int(bad[5]);
}

// --- start-up ---

TEST(NetbiosLinkStartup, TakesTheSecondLanaWhenTheBoxAnswersOnlyThere) {
    auto lan = netbiosLan({vnk::testing::testBox("QUILL", 1)});
    Messages messages;
    WizardNetbiosLink link({adapter(3, freePort(), 0x01), adapter(5, lan->netbiosPort(), 0x02)}, Fast,
                           messages.inform());
    ASSERT_EQ(link.start(), 1);
    ASSERT_TRUE(link.context());
    EXPECT_EQ(link.context()->lana, 5);
    // The station name comes from the first adapter that tells its address.
    EXPECT_EQ(platform::netbiosNameText(link.context()->stationName), "PS50ba123401");
    EXPECT_TRUE(messages.shown.empty());
}

TEST(NetbiosLinkStartup, GivesUpSilentlyAfterItsRoundsWhenNobodyAnswers) {
    const std::uint16_t port = freePort();
    // Hears what the wizard sends on the port.
    const int ear = platform::openUdpSocket();
    ASSERT_EQ(platform::enableReuseAddress(ear), 0);
    ASSERT_EQ(platform::setNonBlocking(ear), 0);
    ASSERT_EQ(platform::bindAny(ear, port), 0);

    Messages messages;
    WizardNetbiosLink link({platform::NetbiosAdapter{0, "127.0.0.1", "127.255.255.255", port, {}}}, Fast,
                           messages.inform());
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(link.start(), 0);
    EXPECT_GE(std::chrono::steady_clock::now() - started, Fast.netbiosStartupRounds * Fast.wizardWait);
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_FALSE(link.context());

    int searches = 0;
    std::string station;
    Bytes buffer(2048);
    for (ssize_t n; (n = platform::receiveDatagram(ear, buffer.data(), buffer.size())) > 0;) {
        const auto d = platform::decodeNetbiosDatagram(std::span(buffer.data(), std::size_t(n)));
        ASSERT_TRUE(d);
        EXPECT_EQ(d->type, platform::DirectGroupDatagram);
        EXPECT_EQ(platform::netbiosNameText(d->destination), "KOVA.GROUP");
        EXPECT_EQ(d->data, (Bytes{'P', 'S', 0, 0, 0, 4, 0xFF, 0xFB}));
        station = platform::netbiosNameText(d->source);
        ++searches;
    }
    platform::closeSocket(ear);
    EXPECT_EQ(searches, Fast.netbiosStartupRounds);
    EXPECT_EQ(station, "PS0000000000");

    // No adapter at all: the station name cannot be found, and the user is told.
    WizardNetbiosLink none({}, Fast, messages.inform());
    EXPECT_EQ(none.start(), 0);
    EXPECT_EQ(messages.shown, std::vector<std::string>{"GetUniquename Faild!"});
    WizardServerTable table;
    EXPECT_EQ(none.search(table, 0, 3), 0) << "no search without a start-up";
}

// --- the search and the addressed operations against the simulated LAN ---

TEST(NetbiosLinkSearch, FindsEachBoxOnceWithItsNetbiosNameAndRecord) {
    auto quill = vnk::testing::testBox("QUILL", 1);
    quill.faults.duplicate = 1.0; // every reply comes twice
    auto heron =
        vnk::testing::testBox("HERON", 2, 0x01, protocol::record::CapTcpIp, [](protocol::ConfigRecord& r) {
            sim::setIPv4(r, protocol::record::IpAddress, {10, 0, 0, 7});
        });
    heron.serverType = 2;
    auto lan = netbiosLan({quill, heron});
    WizardNetbiosLink link({adapter(0, lan->netbiosPort(), 0x01)}, Fast, {});
    ASSERT_EQ(link.start(), 1);

    WizardServerTable table;
    table.addFound("OTHER", {0x00, 0x00, 0xB4, 0x00, 0x00, 0x09}, 0); // found over UDP before
    ASSERT_EQ(link.search(table, 1, 3), 1);
    ASSERT_EQ(table.count, 3);
    EXPECT_FALSE(table.foundOverNetbios(0));
    EXPECT_EQ(table.records[0], protocol::ConfigRecord{}) << "entries before the first index are not read";
    for (int box = 0; box < 2; ++box) {
        const sim::BoxSpec spec = lan->withBox(box, [](sim::SimBox& b) { return b.spec(); });
        const int i = indexOf(table, spec.label);
        ASSERT_GE(i, 1) << spec.label;
        EXPECT_EQ(table.netbiosName(i), spec.deviceName + ".CFG");
        EXPECT_EQ(table.records[std::size_t(i)],
                  lan->withBox(box, [](sim::SimBox& b) { return b.storedRecord(); }));
        EXPECT_EQ(wizard::pserverMac(table.servers[std::size_t(i)]), spec.mac) << "from the record";
        EXPECT_EQ(table.servers[std::size_t(i)][wizard::pserver::Type], spec.serverType);
        ASSERT_TRUE(link.identity(i));
        EXPECT_EQ(protocol::deviceName(*link.identity(i)), spec.deviceName);
    }
    const auto ip = table.servers[std::size_t(indexOf(table, "HERON"))].begin() + wizard::pserver::Ip;
    EXPECT_EQ(Bytes(ip, ip + 4), (Bytes{10, 0, 0, 7}));
    EXPECT_EQ(lan->requestsSeen(), 0u) << "nothing went over UDP";
}

TEST(NetbiosLinkOperations, WriteStatusAndResetReachTheBox) {
    auto mute = vnk::testing::testBox("MUTE", 2);
    mute.faults.ignore = {protocol::CmdWriteConfig};
    auto lan = netbiosLan({vnk::testing::testBox("QUILL", 1), mute});
    WizardNetbiosLink link({adapter(0, lan->netbiosPort(), 0x01)}, Fast, {});
    ASSERT_EQ(link.start(), 1);
    WizardServerTable table;
    ASSERT_EQ(link.search(table, 0, 3), 1);
    const int quill = indexOf(table, "QUILL"), silent = indexOf(table, "MUTE");
    ASSERT_GE(quill, 0);
    ASSERT_GE(silent, 0);

    sim::setText(table.records[std::size_t(quill)], protocol::record::AliasName, 16, "QUILL-NEW");
    table.records[std::size_t(quill)][protocol::ChecksumOffset] ^= 0x5A; // the write puts the right one in
    ASSERT_EQ(link.writeConfig(table, quill), 1);
    lan->withBox(0, [](sim::SimBox& b) {
        EXPECT_EQ(b.writes, 1);
        EXPECT_EQ(b.badChecksumWrites, 0);
        EXPECT_EQ(protocol::fieldText(b.storedRecord(), protocol::record::AliasName, 16), "QUILL-NEW");
        return 0;
    });

    ASSERT_EQ(link.readStatus(table, quill), 1);
    const auto active = lan->withBox(0, [](sim::SimBox& b) { return b.activeIp(); });
    EXPECT_TRUE(std::equal(active.begin(), active.end(), table.status.begin() + wizard::StatusIpInUse));

    ASSERT_EQ(link.reset(table, quill), 1);
    for (int i = 0; i < 200 && lan->withBox(0, [](sim::SimBox& b) { return b.resets; }) == 0; ++i)
        std::this_thread::sleep_for(10ms);
    EXPECT_EQ(lan->withBox(0, [](sim::SimBox& b) { return b.resets; }), 1);
    EXPECT_EQ(lan->withBox(0, [](sim::SimBox& b) { return b.activeName(); }), "QUILL-NEW");

    // A box that never confirms a write: every attempt used up, then 0.
    EXPECT_EQ(link.writeConfig(table, silent), 0);
    EXPECT_EQ(lan->withBox(1, [](sim::SimBox& b) { return b.writes; }), 0);
    // An entry that was not found over NetBIOS has no name to go to.
    table.addFound("OVER-UDP", {}, 0);
    EXPECT_EQ(link.readConfig(table, table.count - 1), 0);
}

// --- replies a real box would not send ---

namespace {

// A box of our own making on its own NetBIOS layer and thread: it answers every
// search with its identity, and the n-th read with the n-th of readReplies (the
// last one from then on).
class FakeBox {
  public:
    FakeBox(std::uint16_t port, std::vector<Bytes> readReplies)
        : m_layer({adapter(0, port, 0x0F)}), m_replies(std::move(readReplies)) {
        NCB reset{};
        reset.ncb_command = ncb::Reset;
        m_layer.Netbios(&reset);
        m_group = add(ncb::AddGroupName, platform::KovaGroupName);
        m_own = add(ncb::AddName, "FAKEBOX1.CFG");
        m_thread = std::thread([this] { run(); });
    }
    ~FakeBox() {
        m_stop = true;
        m_thread.join();
    }
    int reads() const { return m_reads; }

  private:
    std::uint8_t add(std::uint8_t command, const char* name) {
        NCB n{};
        n.ncb_command = command;
        const auto padded = platform::makeNetbiosName(name);
        std::copy(padded.begin(), padded.end(), n.ncb_name);
        EXPECT_EQ(m_layer.Netbios(&n), ncb::Good);
        return n.ncb_num;
    }
    void post(NCB& n, std::uint8_t number, Bytes& buffer) {
        n = NCB{};
        n.ncb_command = ncb::ReceiveDatagram | ncb::Asynch;
        n.ncb_num = number;
        n.ncb_buffer = buffer.data();
        n.ncb_length = std::uint16_t(buffer.size());
        m_layer.Netbios(&n);
    }
    void answer(const NCB& request, const Bytes& buffer) {
        if (request.ncb_retcode != ncb::Good || request.ncb_length < 8)
            return;
        Bytes reply;
        if (buffer[5] == protocol::CmdSearch) {
            reply = {'P', 'S', 0x80, 0, 1, 4, 0xFF, 0xFB};
            protocol::IdentityBlock id{};
            std::memcpy(id.data(), "FAKEBOX1FAKE", 12);
            id[protocol::identity::ServerType] = 3;
            reply.insert(reply.end(), id.begin(), id.end());
        } else if (buffer[5] == protocol::CmdReadConfig) {
            reply = m_replies[std::min<std::size_t>(std::size_t(m_reads++), m_replies.size() - 1)];
        } else {
            return;
        }
        NCB send{};
        send.ncb_command = ncb::SendDatagram;
        send.ncb_num = m_own;
        send.ncb_buffer = reply.data();
        send.ncb_length = std::uint16_t(reply.size());
        std::copy(request.ncb_callname, request.ncb_callname + 16, send.ncb_callname);
        m_layer.Netbios(&send);
    }
    void run() {
        Bytes groupBuffer(600), ownBuffer(600);
        NCB atGroup{}, atOwn{};
        post(atGroup, m_group, groupBuffer);
        post(atOwn, m_own, ownBuffer);
        while (!m_stop) {
            m_layer.waitUntil(10ms, [&] {
                return atGroup.ncb_cmd_cplt != ncb::Pending || atOwn.ncb_cmd_cplt != ncb::Pending;
            });
            if (atGroup.ncb_cmd_cplt != ncb::Pending) {
                answer(atGroup, groupBuffer);
                post(atGroup, m_group, groupBuffer);
            }
            if (atOwn.ncb_cmd_cplt != ncb::Pending) {
                answer(atOwn, ownBuffer);
                post(atOwn, m_own, ownBuffer);
            }
        }
        NCB reset{};
        reset.ncb_command = ncb::Reset;
        m_layer.Netbios(&reset); // ends both receives before their NCBs go
    }

    platform::NetbiosLayer m_layer;
    std::vector<Bytes> m_replies;
    std::uint8_t m_group = 0, m_own = 0;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_reads{0};
    std::thread m_thread;
};

// A read reply carrying record; byte at (of the header) set to value when given.
Bytes readReply(const protocol::ConfigRecord& record, std::size_t at = 8, protocol::Byte value = 0) {
    Bytes r(8 + protocol::RecordSize);
    const protocol::Byte header[8] = {'P', 'S', 0x80, 0, 1, 2, 0xFF, 0xFD};
    std::copy(std::begin(header), std::end(header), r.begin());
    std::copy(record.begin(), record.end(), r.begin() + 8);
    if (at < 8)
        r[at] = value;
    return r;
}

} // namespace

TEST(NetbiosLinkReplies, RepliesFailingTheHeaderTestAreIgnoredAndTheirReceivePostedAgain) {
    const std::uint16_t port = freePort();
    protocol::ConfigRecord good = vnk::testing::patterned(), wrong = good;
    wrong[100] ^= 0xFF;
    // "PX", byte 2 not 0x80, byte 4 not 1, then the reply to take.
    FakeBox box(
        port, {readReply(wrong, 1, 'X'), readReply(wrong, 2, 0x00), readReply(wrong, 4, 0), readReply(good)});
    WizardNetbiosLink link({adapter(0, port, 0x01)}, Fast, {});
    ASSERT_EQ(link.start(), 1);
    WizardServerTable table;
    ASSERT_EQ(link.search(table, 0, 1), 1);
    ASSERT_EQ(table.count, 1);
    EXPECT_EQ(wizard::pserverName(table.servers[0]), "FAKE");
    EXPECT_EQ(table.servers[0][wizard::pserver::Type], 3);
    EXPECT_EQ(table.netbiosName(0), "FAKEBOX1.CFG");
    EXPECT_EQ(table.records[0], good);
    EXPECT_GE(box.reads(), 4);
}

TEST(NetbiosLinkReplies, RepliesThatAreNotTheOneLookedForDoNotCutTheWaitsShort) {
    const std::uint16_t port = freePort();
    protocol::ConfigRecord record = vnk::testing::patterned();
    FakeBox box(port, {readReply(record, 1, 'X')}); // every read answered at once, and wrongly
    WizardNetbiosLink link({adapter(0, port, 0x01)}, Fast, {});
    ASSERT_EQ(link.start(), 1);
    WizardServerTable table;
    ASSERT_EQ(link.search(table, 0, 1), 1);
    ASSERT_EQ(table.count, 1);
    const auto began = std::chrono::steady_clock::now();
    EXPECT_EQ(link.readConfig(table, 0), 0);
    EXPECT_GE(std::chrono::steady_clock::now() - began, 5 * Fast.wizardWait); // its five waits, whole
}
