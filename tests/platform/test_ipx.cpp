#include "platform/ipx.h"
#include "support/pcap.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <set>
#include <string>
#include <vector>

using namespace vnk::platform;
using namespace std::chrono_literals;

namespace {

constexpr std::uint32_t LoopbackBroadcast = 0x7FFFFFFF; // 127.255.255.255
constexpr IpxNode NodeA{0x02, 0x00, 0x00, 0x00, 0x00, 0x0A};
constexpr IpxNode NodeB{0x02, 0x00, 0x00, 0x00, 0x00, 0x0B};

using Bytes = std::vector<std::uint8_t>;

// A UDP port nobody uses now: bind to port 0, read it, let it go.
std::uint16_t freePort() {
    const int s = openUdpSocket();
    EXPECT_EQ(bindAny(s, 0), 0);
    const std::uint16_t port = localPort(s);
    closeSocket(s);
    return port;
}

IpxSegment loopbackSegment(std::uint16_t carrierPort, IpxNode node = NodeA) {
    return IpxSegment{"127.255.255.255", carrierPort, node};
}

// An endpoint opened on the segment, allowed to broadcast, bound to number.
std::unique_ptr<IpxEndpoint> endpoint(const IpxSegment& segment, std::uint16_t number) {
    auto e = std::make_unique<IpxEndpoint>(segment);
    EXPECT_EQ(e->open(), 0);
    EXPECT_EQ(e->setNonBlocking(), 0);
    EXPECT_EQ(e->setBroadcast(), 0);
    EXPECT_EQ(e->bind(number), 0);
    return e;
}

IpxAddress address(IpxNode node, std::uint16_t socket) {
    return IpxAddress{{}, node, socket};
}

// The payload of the next packet for e within a second, or "(none)".
std::string receiveText(IpxEndpoint& e, IpxAddress* from = nullptr) {
    if (e.waitReadable(1s) != WaitResult::Ready)
        return "(none)";
    char buf[64];
    const ssize_t n = e.receiveFrom(buf, sizeof buf, from);
    return n < 0 ? "(error)" : std::string(buf, std::size_t(n));
}

bool nothingWaiting(IpxEndpoint& e) {
    return e.waitReadable(100ms) == WaitResult::TimedOut;
}

IpxPacket samplePacket() {
    IpxPacket p;
    p.destination = {{0x00, 0x00, 0x00, 0x00}, IpxBroadcastNode, 0x0452};
    p.source = {{0x12, 0x34, 0x56, 0x78}, {0x00, 0x10, 0xA4, 0x01, 0x02, 0x03}, 0x4001};
    p.transportControl = 0x00;
    p.packetType = 0x04;
    p.payload = {0x00, 0x03, 0x00, 0x04};
    return p;
}

// Sets or unsets environment variables for one test and puts them back after.
class EnvGuard {
public:
    void set(const char* name, const char* value) {
        remember(name);
        if (value)
            ::setenv(name, value, 1);
        else
            ::unsetenv(name);
    }
    ~EnvGuard() {
        for (auto& [name, value] : m_saved) {
            if (value)
                ::setenv(name.c_str(), value->c_str(), 1);
            else
                ::unsetenv(name.c_str());
        }
    }

private:
    void remember(const char* name) {
        for (auto& s : m_saved)
            if (s.first == name)
                return;
        const char* v = std::getenv(name);
        m_saved.emplace_back(name, v ? std::optional<std::string>(v) : std::nullopt);
    }
    std::vector<std::pair<std::string, std::optional<std::string>>> m_saved;
};

} // namespace

// --- the frame ---

TEST(IpxFrame, EncodesTheHeaderHighByteFirstAndDecodesItBack) {
    const Bytes expected = {
        0xFF, 0xFF,                         // checksum
        0x00, 0x22,                         // length 30 + 4
        0x00,                               // transport control
        0x04,                               // packet type
        0x00, 0x00, 0x00, 0x00,             // destination network
        0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, // destination node
        0x04, 0x52,                         // destination socket
        0x12, 0x34, 0x56, 0x78,             // source network
        0x00, 0x10, 0xA4, 0x01, 0x02, 0x03, // source node
        0x40, 0x01,                         // source socket
        0x00, 0x03, 0x00, 0x04,             // payload
    };
    const IpxPacket p = samplePacket();
    EXPECT_EQ(encodeIpx(p), expected);

    const auto back = decodeIpx(expected);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->destination, p.destination);
    EXPECT_EQ(back->source, p.source);
    EXPECT_EQ(back->packetType, 0x04);
    EXPECT_EQ(back->transportControl, 0x00);
    EXPECT_EQ(back->payload, p.payload);
}

TEST(IpxFrame, DecodeRefusesShortMismatchedAndOversizeDatagrams) {
    Bytes frame = encodeIpx(samplePacket());
    ASSERT_EQ(frame.size(), 34u);

    EXPECT_FALSE(decodeIpx(std::span(frame).first(29))) << "shorter than a header";
    EXPECT_FALSE(decodeIpx(std::span(frame).first(33))) << "length field says more than arrived";
    Bytes longer = frame;
    longer.push_back(0);
    EXPECT_FALSE(decodeIpx(longer)) << "length field says less than arrived";
    Bytes tiny = frame;
    tiny.resize(30);
    tiny[2] = 0x00;
    tiny[3] = 0x00;
    EXPECT_FALSE(decodeIpx(tiny)) << "length field below the header size";

    IpxPacket big = samplePacket();
    big.payload.assign(IpxMaxPayload, 0x55);
    const Bytes largest = encodeIpx(big);
    ASSERT_EQ(largest.size(), IpxHeaderSize + IpxMaxPayload);
    EXPECT_TRUE(decodeIpx(largest));
    Bytes oversize = largest;
    oversize.push_back(0x55);
    oversize[2] = std::uint8_t(oversize.size() >> 8);
    oversize[3] = std::uint8_t(oversize.size());
    EXPECT_FALSE(decodeIpx(oversize)) << "consistent length, but above the largest payload";

    big.payload.push_back(0x55);
    EXPECT_TRUE(encodeIpx(big).empty());
}

// --- the carrier ---

TEST(IpxCarrier, LoopbackBroadcastReachesEverySocketSharingThePort) {
    const std::uint16_t port = freePort();
    int rx[3];
    for (int& s : rx) {
        s = openUdpSocket();
        ASSERT_EQ(enableReuseAddress(s), 0);
        ASSERT_EQ(setNonBlocking(s), 0);
        ASSERT_EQ(bindAny(s, port), 0);
    }
    const int tx = openUdpSocket();
    ASSERT_EQ(enableBroadcast(tx), 0);
    const unsigned char data[2] = {7, 8};
    ASSERT_EQ(sendDatagram(tx, data, 2, LoopbackBroadcast, port), 2);
    for (int s : rx) {
        ASSERT_EQ(waitReadable(s, 1s), WaitResult::Ready);
        unsigned char buf[4];
        EXPECT_EQ(receiveDatagram(s, buf, sizeof buf), 2);
        closeSocket(s);
    }
    closeSocket(tx);
}

// --- endpoints ---

TEST(IpxEndpoint, EndpointsOnOneHostExchangeUnicastAndBroadcast) {
    const IpxSegment seg = loopbackSegment(freePort());
    auto a = endpoint(seg, 0x4500);
    auto b = endpoint(seg, 0x4501);
    auto other = endpoint(seg, 0x4502);
    EXPECT_EQ(a->local(), address(NodeA, 0x4500));

    IpxAddress from;
    ASSERT_EQ(a->sendTo(address(NodeA, 0x4501), "to b", 4), 4);
    EXPECT_EQ(receiveText(*b, &from), "to b");
    EXPECT_EQ(from, a->local());

    ASSERT_EQ(b->sendTo(address(IpxBroadcastNode, 0x4500), "all", 3), 3);
    EXPECT_EQ(receiveText(*a, &from), "all");
    EXPECT_EQ(from, b->local());

    EXPECT_TRUE(nothingWaiting(*other));
    EXPECT_TRUE(nothingWaiting(*a)) << "one packet, received once";
    EXPECT_TRUE(nothingWaiting(*b)) << "its own broadcast went to another socket number";
}

TEST(IpxEndpoint, KeepsOnlyPacketsForItsNodeAndNetworkAndNotItsOwn) {
    const std::uint16_t port = freePort();
    auto onA = endpoint(loopbackSegment(port, NodeA), 0x0452);
    auto onB = endpoint(loopbackSegment(port, NodeB), 0x0452);

    // A broadcast to the socket both hold reaches the other host, not the sender.
    ASSERT_EQ(onA->sendTo(address(IpxBroadcastNode, 0x0452), "sap", 3), 3);
    EXPECT_EQ(receiveText(*onB), "sap");
    EXPECT_TRUE(nothingWaiting(*onA));

    // Unicast to B's node only; another network is not on this segment.
    ASSERT_EQ(onA->sendTo(address(NodeB, 0x0452), "b", 1), 1);
    EXPECT_TRUE(nothingWaiting(*onA));
    EXPECT_EQ(receiveText(*onB), "b");
    IpxAddress elsewhere = address(NodeB, 0x0452);
    elsewhere.network = {0x00, 0x00, 0x00, 0x01};
    ASSERT_EQ(onA->sendTo(elsewhere, "net1", 4), 4);
    EXPECT_TRUE(nothingWaiting(*onB));
}

TEST(IpxEndpoint, WaitTimesOutWhenOnlyPacketsForOthersArrive) {
    const std::uint16_t port = freePort();
    const IpxSegment seg = loopbackSegment(port);
    auto rx = endpoint(seg, 0x4600);
    auto tx = endpoint(loopbackSegment(port, NodeB), 0x4601);
    ASSERT_EQ(tx->sendTo(address(NodeA, 0x4602), "other socket", 12), 12);
    ASSERT_EQ(tx->sendTo(address(NodeB, 0x4600), "other node", 10), 10);
    const int raw = openUdpSocket();
    ASSERT_EQ(enableBroadcast(raw), 0);
    const unsigned char junk[] = {0xFF, 0xFF, 0x00, 0x40, 0x00, 0x00, 0x00};
    ASSERT_EQ(sendDatagram(raw, junk, sizeof junk, LoopbackBroadcast, port), ssize_t(sizeof junk));
    closeSocket(raw);

    int idleCalls = 0;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(rx->waitReadable(200ms, [&] { ++idleCalls; }), WaitResult::TimedOut);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 190ms);
    EXPECT_GT(idleCalls, 0);
    char buf[16];
    errno = 0;
    EXPECT_EQ(rx->receiveFrom(buf, sizeof buf), -1);
    EXPECT_EQ(errno, EAGAIN);

    ASSERT_EQ(tx->sendTo(address(NodeA, 0x4600), "mine", 4), 4);
    EXPECT_EQ(receiveText(*rx), "mine");
}

TEST(IpxEndpoint, APacketLargerThanTheBufferIsConsumedWithEmsgsize) {
    const IpxSegment seg = loopbackSegment(freePort());
    auto rx = endpoint(seg, 0x4700);
    auto tx = endpoint(seg, 0x4701);
    ASSERT_EQ(tx->sendTo(rx->local(), "0123456789", 10), 10);
    ASSERT_EQ(tx->sendTo(rx->local(), "ok", 2), 2);
    ASSERT_EQ(rx->waitReadable(1s), WaitResult::Ready);
    char buf[4] = {};
    errno = 0;
    EXPECT_EQ(rx->receiveFrom(buf, sizeof buf), -1);
    EXPECT_EQ(errno, EMSGSIZE);
    EXPECT_EQ(std::string(buf, 4), "0123");
    EXPECT_EQ(receiveText(*rx), "ok");
}

TEST(IpxEndpoint, SendRefusesBroadcastWithoutPermissionAndOversizePayloads) {
    const IpxSegment seg = loopbackSegment(freePort());
    IpxEndpoint e(seg);
    ASSERT_EQ(e.open(), 0);
    ASSERT_EQ(e.bind(0x4800), 0);
    errno = 0;
    EXPECT_EQ(e.sendTo(address(IpxBroadcastNode, 0x0452), "x", 1), -1);
    EXPECT_EQ(errno, EACCES);
    const std::vector<char> big(IpxMaxPayload + 1, 'x');
    errno = 0;
    EXPECT_EQ(e.sendTo(address(NodeA, 0x4801), big.data(), big.size()), -1);
    EXPECT_EQ(errno, EMSGSIZE);
    EXPECT_EQ(e.sendTo(address(NodeA, 0x4801), big.data(), IpxMaxPayload), ssize_t(IpxMaxPayload));

    IpxEndpoint bad(IpxSegment{"not an address", seg.carrierPort, NodeA});
    errno = 0;
    EXPECT_EQ(bad.open(), -1);
    EXPECT_EQ(errno, EINVAL);
    EXPECT_FALSE(bad.isOpen());
}

TEST(IpxEndpoint, SocketNumbersAreHeldOncePerProcessUnlessBothShare) {
    const IpxSegment seg = loopbackSegment(freePort());
    std::set<std::uint16_t> dynamic;
    std::vector<std::unique_ptr<IpxEndpoint>> held;
    for (int i = 0; i < 20; ++i) {
        held.push_back(endpoint(seg, 0));
        const std::uint16_t n = held.back()->local().socket;
        EXPECT_GE(n, 0x4000);
        EXPECT_LE(n, 0x7FFF);
        dynamic.insert(n);
    }
    EXPECT_EQ(dynamic.size(), 20u);

    // The first send of an unbound endpoint binds a dynamic number.
    IpxEndpoint implicit(seg);
    ASSERT_EQ(implicit.open(), 0);
    EXPECT_EQ(implicit.local().socket, 0);
    ASSERT_EQ(implicit.sendTo(address(NodeA, 0x4900), "x", 1), 1);
    EXPECT_GE(implicit.local().socket, 0x4000);
    EXPECT_FALSE(dynamic.contains(implicit.local().socket));
    errno = 0;
    EXPECT_EQ(implicit.bind(0x4901), -1) << "already bound";
    EXPECT_EQ(errno, EINVAL);

    IpxEndpoint first(seg), second(seg), third(seg);
    ASSERT_EQ(first.open(), 0);
    ASSERT_EQ(second.open(), 0);
    ASSERT_EQ(third.open(), 0);
    ASSERT_EQ(first.bind(0x0452), 0);
    errno = 0;
    EXPECT_EQ(second.bind(0x0452), -1);
    EXPECT_EQ(errno, EADDRINUSE);
    first.close();
    EXPECT_EQ(second.bind(0x0452), 0) << "free again once closed";

    // Sharing needs SO_REUSEADDR on both sides.
    ASSERT_EQ(second.setReuseAddress(), 0);
    ASSERT_EQ(third.setReuseAddress(), 0);
    ASSERT_EQ(third.bind(0x0453), 0);
    IpxEndpoint fourth(seg);
    ASSERT_EQ(fourth.open(), 0);
    ASSERT_EQ(fourth.setReuseAddress(), 0);
    EXPECT_EQ(fourth.bind(0x0453), 0);
    IpxEndpoint fifth(seg);
    ASSERT_EQ(fifth.open(), 0);
    errno = 0;
    EXPECT_EQ(fifth.bind(0x0453), -1) << "fifth did not ask to share";
    EXPECT_EQ(errno, EADDRINUSE);

    // Another node (another host of the segment) has numbers of its own.
    auto onB = endpoint(loopbackSegment(seg.carrierPort, NodeB), 0x0453);
    EXPECT_EQ(onB->local(), address(NodeB, 0x0453));
}

// --- the segment from the environment ---

TEST(IpxSegmentEnvironment, IsAbsentUnlessTheCarrierPortIsSetAndReportsBadValues) {
    EnvGuard env;
    env.set("VNK_IPX_PORT", nullptr);
    env.set("VNK_BROADCAST", "127.255.255.255");
    env.set("VNK_IPX_NODE", nullptr);
    std::string error = "stale";
    EXPECT_FALSE(ipxSegmentFromEnvironment(&error));
    EXPECT_EQ(error, "");

    env.set("VNK_IPX_PORT", "21300");
    auto seg = ipxSegmentFromEnvironment(&error);
    ASSERT_TRUE(seg) << error;
    EXPECT_EQ(seg->carrierPort, 21300);
    EXPECT_EQ(seg->broadcast, "127.255.255.255");
    EXPECT_NE(seg->localNode, IpxNode{});
    EXPECT_NE(seg->localNode, IpxBroadcastNode);

    env.set("VNK_IPX_NODE", "00:1a-2B 3c4D5e");
    seg = ipxSegmentFromEnvironment(&error);
    ASSERT_TRUE(seg) << error;
    EXPECT_EQ(seg->localNode, (IpxNode{0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E}));

    for (const char* node : {"00:1a:2b:3c:4d", "00:1a:2b:3c:4d:5e:6f", "00:1a:2b:3c:4d:5g", "000000000000"}) {
        env.set("VNK_IPX_NODE", node);
        EXPECT_FALSE(ipxSegmentFromEnvironment(&error)) << node;
        EXPECT_NE(error.find("VNK_IPX_NODE"), std::string::npos) << node;
    }
    env.set("VNK_IPX_NODE", nullptr);
    env.set("VNK_IPX_PORT", "70000");
    EXPECT_FALSE(ipxSegmentFromEnvironment(&error));
    EXPECT_NE(error.find("VNK_IPX_PORT"), std::string::npos);
    env.set("VNK_IPX_PORT", "21300");
    env.set("VNK_BROADCAST", "127.255.255");
    EXPECT_FALSE(ipxSegmentFromEnvironment(&error));
    EXPECT_NE(error.find("VNK_BROADCAST"), std::string::npos);
}

// --- the framing as a standard tool reads it ---

namespace {

} // namespace

TEST(IpxFrame, TsharkDecodesTheCarrierDatagrams) {
    if (!vnk::testing::haveTshark())
        GTEST_SKIP() << "tshark is not installed";
    constexpr std::uint16_t port = 40213; // written to a file only, never sent
    IpxPacket query;
    query.destination = address(IpxBroadcastNode, 0x0452);
    query.source = address({0x00, 0x10, 0xA4, 0x01, 0x02, 0x03}, 0x4001);
    query.packetType = 0;
    query.payload = {0x00, 0x03, 0x00, 0x04};
    IpxPacket command;
    command.destination = {{0x00, 0x00, 0x00, 0x00}, {0x00, 0x40, 0x01, 0x12, 0x34, 0x56}, 0x3434};
    command.source = {{0x12, 0x34, 0x56, 0x78}, {0x00, 0x10, 0xA4, 0x01, 0x02, 0x03}, 0x4002};
    command.transportControl = 2;
    command.packetType = 4;
    command.payload = {0x56, 0x4E, 0x4B, 0x00, 0x01, 0x02};

    const std::string path = testing::TempDir() + "ipx_carrier_" + std::to_string(::getpid()) + ".pcap";
    vnk::testing::writePcap(path, {vnk::testing::ipv4Udp(encodeIpx(query), port), vnk::testing::ipv4Udp(encodeIpx(command), port)});
    const auto lines = vnk::testing::runLines("tshark -r '" + path + "' -d udp.port==" + std::to_string(port) +
                                ",ipx -T fields -E separator=, -e ipx.checksum -e ipx.len -e ipx.hops"
                                " -e ipx.packet_type -e ipx.dst.net -e ipx.dst.node -e ipx.dst.socket"
                                " -e ipx.src.net -e ipx.src.node -e ipx.src.socket -e ipxsap.packet_type"
                                " -e ipxsap.server.type 2>/dev/null");
    std::remove(path.c_str());
    ASSERT_EQ(lines.size(), 2u);
    // checksum, length, hops, type, destination, source, then SAP: a nearest-server query for file servers.
    EXPECT_EQ(lines[0], "0xffff,34,0,0x00,0x00000000,ff:ff:ff:ff:ff:ff,0x0452,"
                        "0x00000000,00:10:a4:01:02:03,0x4001,3,0x0004");
    EXPECT_EQ(lines[1], "0xffff,36,2,0x04,0x00000000,00:40:01:12:34:56,0x3434,"
                        "0x12345678,00:10:a4:01:02:03,0x4002,,");
}
