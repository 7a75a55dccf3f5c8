// NetBIOS datagrams on the wire and the NCB commands over loopback adapters.
#include "platform/netbios.h"
#include "platform/udp_socket.h"
#include "support/pcap.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <vector>

using namespace vnk::platform;
using namespace std::chrono_literals;

namespace {

using Bytes = std::vector<std::uint8_t>;

std::uint16_t freePort() {
    const int s = openUdpSocket();
    EXPECT_EQ(bindAny(s, 0), 0);
    const std::uint16_t port = localPort(s);
    closeSocket(s);
    return port;
}

NetbiosAdapter loopbackAdapter(std::uint8_t lana, std::uint16_t port, std::uint8_t macLast) {
    return NetbiosAdapter{
        lana, "127.0.0.1", "127.255.255.255", port, {0x00, 0x50, 0xBA, 0x12, 0x34, macLast}};
}

NetbiosDatagram sample(std::uint8_t type, Bytes data) {
    NetbiosDatagram d;
    d.type = type;
    d.id = 0x1234;
    d.sourceIp = 0x7F000001;
    d.sourcePort = 138;
    d.source = makeNetbiosName("PS50ba123456");
    d.destination = makeNetbiosName(type == DirectGroupDatagram ? KovaGroupName : "TB0000BX.CFG");
    d.data = std::move(data);
    return d;
}

// An NCB with the name set, for the commands that take one.
NCB command(std::uint8_t code, std::uint8_t lana, const std::string& name = {}) {
    NCB n{};
    n.ncb_command = code;
    n.ncb_lana_num = lana;
    const NetbiosName padded = makeNetbiosName(name);
    if (!name.empty()) {
        std::memcpy(n.ncb_name, padded.data(), 16);
        std::memcpy(n.ncb_callname, padded.data(), 16);
    }
    return n;
}

// Resets lana and adds name (group or unique): its number.
std::uint8_t addName(NetbiosLayer& layer, std::uint8_t lana, const std::string& name, bool group = false) {
    NCB reset = command(ncb::Reset, lana);
    EXPECT_EQ(layer.Netbios(&reset), ncb::Good);
    NCB add = command(group ? ncb::AddGroupName : ncb::AddName, lana, name);
    EXPECT_EQ(layer.Netbios(&add), ncb::Good) << name;
    return add.ncb_num;
}

std::uint8_t send(NetbiosLayer& layer, std::uint8_t lana, std::uint8_t from, const std::string& to,
                  Bytes data) {
    NCB n = command(ncb::SendDatagram, lana, to);
    n.ncb_num = from;
    n.ncb_buffer = data.data();
    n.ncb_length = std::uint16_t(data.size());
    return layer.Netbios(&n);
}

class EnvGuard {
  public:
    void set(const char* name, const char* value) {
        if (!m_saved.contains(name)) {
            const char* old = std::getenv(name);
            m_saved[name] = old ? std::optional<std::string>(old) : std::nullopt;
        }
        value ? ::setenv(name, value, 1) : ::unsetenv(name);
    }
    ~EnvGuard() {
        for (auto& [name, value] : m_saved)
            value ? ::setenv(name.c_str(), value->c_str(), 1) : ::unsetenv(name.c_str());
    }

  private:
    std::map<std::string, std::optional<std::string>> m_saved;
};

} // namespace

// --- the datagram ---

TEST(NetbiosDatagram, EncodesTheDirectDatagramFieldsAndDecodesThemBack) {
    const NetbiosDatagram d = sample(DirectGroupDatagram, {'P', 'S', 0, 0, 0, 4, 0xFF, 0xFB});
    const Bytes bytes = encodeNetbiosDatagram(d);
    ASSERT_EQ(bytes.size(), 14u + 34 + 34 + 8);
    const Bytes header(bytes.begin(), bytes.begin() + 14);
    EXPECT_EQ(header,
              (Bytes{0x11, 0x02, 0x12, 0x34, 127, 0, 0, 1, 0x00, 138, 0x00, 34 + 34 + 8, 0x00, 0x00}));
    // "KOVA.GROUP" and six spaces, two letters a byte: K = 0x4B -> "EL", space -> "CA".
    const std::string group(bytes.begin() + 48, bytes.begin() + 48 + 34);
    EXPECT_EQ(group, std::string("\x20"
                                 "ELEPFGEBCOEHFCEPFFFACACACACACACA",
                                 33) +
                         std::string(1, '\0'));

    const auto back = decodeNetbiosDatagram(bytes);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->type, DirectGroupDatagram);
    EXPECT_EQ(back->id, 0x1234);
    EXPECT_EQ(back->sourceIp, 0x7F000001u);
    EXPECT_EQ(back->sourcePort, 138);
    EXPECT_EQ(netbiosNameText(back->source), "PS50ba123456");
    EXPECT_EQ(back->destination, makeNetbiosName("KOVA.GROUP"));
    EXPECT_EQ(back->data, d.data);

    // Every byte value survives the name encoding.
    NetbiosName all{};
    for (std::size_t i = 0; i < all.size(); ++i)
        all[i] = std::uint8_t(i * 17);
    EXPECT_EQ(decodeNetbiosName(encodeNetbiosName(all)), all);
    EXPECT_EQ(netbiosNameText(makeNetbiosName("A-NAME-LONGER-THAN-16")), "A-NAME-LONGER-TH");
}

TEST(NetbiosDatagram, AnythingMalformedIsNothing) {
    const Bytes good = encodeNetbiosDatagram(sample(DirectUniqueDatagram, Bytes(20, 0x5A)));
    ASSERT_TRUE(decodeNetbiosDatagram(good));
    for (std::size_t n = 0; n < good.size(); ++n)
        EXPECT_FALSE(decodeNetbiosDatagram(std::span(good.data(), n))) << "cut to " << n;
    auto changed = [&](std::size_t at, std::uint8_t value) {
        Bytes b = good;
        b[at] = value;
        return decodeNetbiosDatagram(b).has_value();
    };
    EXPECT_FALSE(changed(0, 0x12)) << "broadcast datagram";
    EXPECT_FALSE(changed(0, 0x14)) << "datagram error";
    EXPECT_FALSE(changed(1, 0x03)) << "more fragments follow";
    EXPECT_FALSE(changed(1, 0x00)) << "not the first fragment";
    EXPECT_FALSE(changed(11, good[11] + 1)) << "DGM_LENGTH longer than what came";
    EXPECT_FALSE(changed(11, good[11] - 1)) << "DGM_LENGTH shorter than what came";
    EXPECT_FALSE(changed(13, 1)) << "a later fragment's offset";
    EXPECT_FALSE(changed(14, 31)) << "name length";
    EXPECT_FALSE(changed(15, 'Q')) << "not a half-byte letter";
    EXPECT_FALSE(changed(47, 3)) << "a scope";
    EXPECT_FALSE(changed(48 + 33, 7)) << "a scope on the destination";
    EXPECT_TRUE(changed(2, 0xEE)) << "the ID is anything";

    NetbiosDatagram big = sample(DirectUniqueDatagram, Bytes(NetbiosMaxUserData + 1, 1));
    EXPECT_TRUE(encodeNetbiosDatagram(big).empty());
    big.data.pop_back();
    EXPECT_TRUE(decodeNetbiosDatagram(encodeNetbiosDatagram(big)));
    Bytes tooLong = encodeNetbiosDatagram(big);
    tooLong.push_back(0);
    tooLong[10] = std::uint8_t((tooLong.size() - 14) >> 8);
    tooLong[11] = std::uint8_t(tooLong.size() - 14);
    EXPECT_FALSE(decodeNetbiosDatagram(tooLong));
}

// What we put on the wire, read by a decoder nobody here wrote.
TEST(NetbiosDatagram, TsharkReadsWellFormedDirectDatagrams) {
    if (!vnk::testing::haveTshark())
        GTEST_SKIP() << "tshark is not installed";
    constexpr std::uint16_t port = 40138; // written to a file only, never sent
    NetbiosDatagram reply = sample(DirectUniqueDatagram, Bytes(74, 0));
    std::swap(reply.source, reply.destination);
    reply.id = 7;
    const std::string path = ::testing::TempDir() + "netbios_" + std::to_string(::getpid()) + ".pcap";
    vnk::testing::writePcap(
        path, {vnk::testing::ipv4Udp(encodeNetbiosDatagram(sample(DirectGroupDatagram, Bytes(8, 4))), port),
               vnk::testing::ipv4Udp(encodeNetbiosDatagram(reply), port)});
    const auto lines = vnk::testing::runLines(
        "tshark -r '" + path + "' -d udp.port==" + std::to_string(port) +
        ",nbdgm -T fields -E separator=, -e nbdgm.type -e nbdgm.first -e nbdgm.next -e nbdgm.node_type"
        " -e nbdgm.dgram_id -e nbdgm.src.ip -e nbdgm.src.port -e nbdgm.dgram_len -e nbdgm.pkt_offset"
        " -e nbdgm.source_name -e nbdgm.destination_name -e _ws.expert 2>/dev/null");
    std::remove(path.c_str());
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "17,1,0,0,0x1234,127.0.0.1,138,76,0,PS50ba123456<20>,KOVA.GROUP<20>,");
    EXPECT_EQ(lines[1], "16,1,0,0,0x0007,127.0.0.1,138,142,0,TB0000BX.CFG<20>,PS50ba123456<20>,");
}

// --- adapters ---

TEST(NetbiosAdapters, AreThereOnlyWhenThePortIsSetAndOneOnLoopback) {
    EnvGuard env;
    env.set("VNK_NETBIOS_PORT", nullptr);
    env.set("VNK_BROADCAST", "127.255.255.255");
    env.set("VNK_NETBIOS_MAC", nullptr);
    std::string error = "stale";
    EXPECT_FALSE(netbiosAdaptersFromEnvironment(&error));
    EXPECT_EQ(error, "") << "not installed is no error";

    env.set("VNK_NETBIOS_PORT", "23138");
    env.set("VNK_NETBIOS_MAC", "00-50-ba-12-34-56");
    auto list = netbiosAdaptersFromEnvironment(&error);
    ASSERT_TRUE(list) << error;
    ASSERT_EQ(list->size(), 1u);
    EXPECT_EQ((*list)[0].lana, 0);
    EXPECT_EQ((*list)[0].address, "127.0.0.1");
    EXPECT_EQ((*list)[0].broadcast, "127.255.255.255");
    EXPECT_EQ((*list)[0].port, 23138);
    EXPECT_EQ((*list)[0].mac, (HardwareAddress{0x00, 0x50, 0xBA, 0x12, 0x34, 0x56}));

    const std::pair<const char*, const char*> bad[] = {
        {"VNK_NETBIOS_MAC", "00:50:ba:12:34"}, {"VNK_NETBIOS_PORT", "0"}, {"VNK_BROADCAST", "127.255.255"}};
    for (auto [name, value] : bad) {
        EnvGuard one;
        one.set(name, value);
        EXPECT_FALSE(netbiosAdaptersFromEnvironment(&error)) << name;
        EXPECT_NE(error.find(name), std::string::npos) << error;
    }
}

// --- the NCB commands ---

TEST(NetbiosLayer, AdapterCommandsGiveTheLanasTheirAddressAndNameNumbers) {
    NetbiosLayer layer({loopbackAdapter(3, freePort(), 0x01), loopbackAdapter(7, freePort(), 0x02)});
    std::array<std::uint8_t, ncb::LanaEnumSize> lanas{};
    NCB e = command(ncb::EnumerateLanas, 0);
    e.ncb_buffer = lanas.data();
    e.ncb_length = std::uint16_t(lanas.size());
    ASSERT_EQ(layer.Netbios(&e), ncb::Good);
    EXPECT_EQ((std::vector<std::uint8_t>(lanas.begin(), lanas.begin() + 3)),
              (std::vector<std::uint8_t>{2, 3, 7}));
    e.ncb_length = 2;
    EXPECT_EQ(layer.Netbios(&e), ncb::BufferLength);

    // Nothing but the reset works on an adapter that was not reset.
    NCB early = command(ncb::AddName, 7, "EARLY");
    EXPECT_EQ(layer.Netbios(&early), ncb::EnvironmentNotDefined);
    NCB unknown = command(ncb::Reset, 4);
    EXPECT_EQ(layer.Netbios(&unknown), ncb::BadLana);
    EXPECT_EQ(unknown.ncb_retcode, ncb::BadLana);

    EXPECT_EQ(addName(layer, 7, "PS50ba123402"), 2);
    NCB again = command(ncb::AddName, 7, "PS50ba123402");
    EXPECT_EQ(layer.Netbios(&again), ncb::DuplicateName);
    NCB group = command(ncb::AddGroupName, 7, "KOVA.GROUP");
    ASSERT_EQ(layer.Netbios(&group), ncb::Good);
    EXPECT_EQ(group.ncb_num, 3);
    NCB star = command(ncb::AddName, 7, "*");
    EXPECT_EQ(layer.Netbios(&star), ncb::NoWildcard);

    std::array<std::uint8_t, 600> status{};
    NCB a = command(ncb::AdapterStatus, 7, "*");
    a.ncb_buffer = status.data();
    a.ncb_length = std::uint16_t(status.size());
    ASSERT_EQ(layer.Netbios(&a), ncb::Good);
    EXPECT_EQ(a.ncb_length, 60 + 2 * 18);
    EXPECT_EQ((std::vector<std::uint8_t>(status.begin(), status.begin() + 6)),
              (std::vector<std::uint8_t>{0x00, 0x50, 0xBA, 0x12, 0x34, 0x02}));
    EXPECT_EQ(status[58], 2) << "two names";
    EXPECT_EQ(std::string(status.begin() + 60, status.begin() + 76), "PS50ba123402    ");
    EXPECT_EQ(status[76], 2);
    EXPECT_EQ(status[60 + 18 + 17], 0x84) << "registered group name";
    a.ncb_length = 10;
    EXPECT_EQ(layer.Netbios(&a), ncb::Incomplete);
    EXPECT_EQ(a.ncb_length, 10);

    // A reset deletes the names: numbering starts again.
    EXPECT_EQ(addName(layer, 7, "PS50ba123402"), 2);
    NCB bogus = command(0x7F, 7);
    EXPECT_EQ(layer.Netbios(&bogus), ncb::IllegalCommand);
}

TEST(NetbiosLayer, ReceivesCompleteOnPollForTheirNameOnlyAndCanBeCancelled) {
    const std::uint16_t port = freePort();
    NetbiosLayer station({loopbackAdapter(0, port, 0x01)});
    NetbiosLayer box({loopbackAdapter(0, port, 0x02)});
    const std::uint8_t me = addName(station, 0, "PS50ba123401");
    const std::uint8_t boxName = addName(box, 0, "TB0000BX.CFG");
    NCB addGroup = command(ncb::AddGroupName, 0, KovaGroupName);
    ASSERT_EQ(box.Netbios(&addGroup), ncb::Good);

    auto post = [](NetbiosLayer& layer, NCB& n, std::uint8_t number, Bytes& buffer) {
        n = command(ncb::ReceiveDatagram | ncb::Asynch, 0);
        n.ncb_num = number;
        n.ncb_buffer = buffer.data();
        n.ncb_length = std::uint16_t(buffer.size());
        EXPECT_EQ(layer.Netbios(&n), ncb::Good);
        EXPECT_EQ(n.ncb_retcode, ncb::Pending);
        EXPECT_EQ(n.ncb_cmd_cplt, ncb::Pending);
    };
    Bytes groupBuffer(64), uniqueBuffer(64), replyBuffer(4), ownBuffer(64);
    NCB atGroup{}, atBox{}, atStation{};
    post(box, atGroup, addGroup.ncb_num, groupBuffer);
    post(box, atBox, boxName, uniqueBuffer);
    post(station, atStation, me, replyBuffer);

    // The station's search reaches the group's receive, not the unique name's,
    // and the station does not hear its own datagram.
    ASSERT_EQ(send(station, 0, me, KovaGroupName, {'P', 'S', 0, 0, 0, 4, 0xFF, 0xFB}), ncb::Good);
    ASSERT_TRUE(box.waitUntil(1s, [&] { return atGroup.ncb_cmd_cplt != ncb::Pending; }));
    EXPECT_EQ(atGroup.ncb_retcode, ncb::Good);
    EXPECT_EQ(atGroup.ncb_length, 8);
    EXPECT_EQ(groupBuffer[5], 4);
    EXPECT_EQ(std::string(atGroup.ncb_callname, atGroup.ncb_callname + 16), "PS50ba123401    ");
    EXPECT_EQ(atBox.ncb_cmd_cplt, ncb::Pending);
    ASSERT_EQ(send(station, 0, me, "PS50ba123401", {1}), ncb::Good);
    station.wait(20ms);
    EXPECT_EQ(atStation.ncb_cmd_cplt, ncb::Pending) << "its own datagram came back";

    // A reply longer than the buffer: what fits, and "message incomplete".
    ASSERT_EQ(send(box, 0, boxName, "PS50ba123401", {1, 2, 3, 4, 5, 6}), ncb::Good);
    ASSERT_TRUE(station.waitUntil(1s, [&] { return atStation.ncb_cmd_cplt != ncb::Pending; }));
    EXPECT_EQ(atStation.ncb_retcode, ncb::Incomplete);
    EXPECT_EQ(atStation.ncb_length, 4);
    EXPECT_EQ(replyBuffer, (Bytes{1, 2, 3, 4}));
    EXPECT_EQ(std::string(atStation.ncb_callname, atStation.ncb_callname + 16), "TB0000BX.CFG    ");

    // A datagram that finds no receive posted is lost, not kept for later.
    ASSERT_EQ(send(box, 0, boxName, "PS50ba123401", {9}), ncb::Good);
    station.wait(30ms);
    post(station, atStation, me, ownBuffer);
    station.wait(30ms);
    EXPECT_EQ(atStation.ncb_cmd_cplt, ncb::Pending);

    // Cancel: the receive ends cancelled; a second cancel finds nothing to cancel.
    NCB cancel = command(ncb::Cancel, 0);
    cancel.ncb_buffer = reinterpret_cast<std::uint8_t*>(&atStation);
    cancel.ncb_length = 64;
    EXPECT_EQ(station.Netbios(&cancel), ncb::Good);
    EXPECT_EQ(atStation.ncb_retcode, ncb::Cancelled);
    EXPECT_EQ(atStation.ncb_cmd_cplt, ncb::Cancelled);
    EXPECT_EQ(station.Netbios(&cancel), ncb::CancelFailed);
    // A send from a name number nobody has, and one too long for a datagram.
    EXPECT_EQ(send(station, 0, 99, "X", {1}), ncb::IllegalNameNumber);
    EXPECT_EQ(send(station, 0, me, "X", Bytes(NetbiosMaxUserData + 1, 0)), ncb::BufferLength);
    // The box's receive for its own name is still waiting; a reset ends it.
    NCB reset = command(ncb::Reset, 0);
    ASSERT_EQ(box.Netbios(&reset), ncb::Good);
    EXPECT_EQ(atBox.ncb_cmd_cplt, ncb::Cancelled);
}
