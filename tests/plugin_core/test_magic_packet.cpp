// Magic packets received on a loopback port of the test, their destinations,
// the MagicPkt.ini lines, and tshark's reading of what we send.
#include "plugin/core/admin.h"
#include "platform/udp_socket.h"
#include "support/pcap.h"
#include "support/sim_helpers.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

using namespace vnk;
using namespace vnk::plugin;
using namespace vnk::wol;

namespace {

using Bytes = std::vector<std::uint8_t>;

// A datagram with the address it was sent to.
struct Datagram {
    Bytes bytes;
    std::uint32_t to = 0; // host order
};

// A socket on a free port of its own that hears both 127.0.0.1 and the
// loopback broadcast, and tells which of them a datagram was sent to.
class Listener {
public:
    Listener() {
        m_fd = platform::openUdpSocket();
        const int on = 1;
        if (m_fd >= 0 && ::setsockopt(m_fd, IPPROTO_IP, IP_PKTINFO, &on, sizeof on) == 0 &&
            platform::bindAny(m_fd, 0) == 0)
            m_port = platform::localPort(m_fd);
    }
    ~Listener() { platform::closeSocket(m_fd); }
    std::uint16_t port() const { return m_port; }
    WolDestination destination() const { return {"127.255.255.255", m_port}; }
    // Everything that came, until nothing more comes for a while.
    std::vector<Datagram> take() {
        std::vector<Datagram> got;
        while (platform::waitReadable(m_fd, std::chrono::milliseconds(50)) == platform::WaitResult::Ready) {
            Datagram d;
            d.bytes.resize(2048);
            iovec io{d.bytes.data(), d.bytes.size()};
            alignas(cmsghdr) char control[256];
            msghdr msg{};
            msg.msg_iov = &io;
            msg.msg_iovlen = 1;
            msg.msg_control = control;
            msg.msg_controllen = sizeof control;
            const ssize_t n = ::recvmsg(m_fd, &msg, 0);
            if (n < 0)
                break;
            d.bytes.resize(std::size_t(n));
            for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c))
                if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_PKTINFO) {
                    in_pktinfo info;
                    std::memcpy(&info, CMSG_DATA(c), sizeof info);
                    d.to = ntohl(info.ipi_addr.s_addr);
                }
            got.push_back(std::move(d));
        }
        return got;
    }

private:
    int m_fd = -1;
    std::uint16_t m_port = 0;
};

Bytes expectedPacket(const Bytes& mac) {
    Bytes p(6, 0xFF);
    for (int i = 0; i < 16; ++i)
        p.insert(p.end(), mac.begin(), mac.end());
    return p;
}
const Bytes Mac = {0x00, 0x00, 0xB4, 0x00, 0xA5, 0xF6};

} // namespace

TEST(MagicPacket, SixPacketsGoToTheAddressOrToTheLoopbackBroadcast) {
    Listener listener;
    ASSERT_NE(listener.port(), 0);
    vnk::testing::RecordingReporter reporter;
    const auto timing = platform::Timing::fast();
    EXPECT_EQ(SendMagicPacket("127.0.0.1", "0000b400a5f6", listener.destination(), timing, false, reporter),
              WakeResult::Sent);
    auto got = listener.take();
    ASSERT_EQ(got.size(), 6u);
    for (const Datagram& d : got) {
        EXPECT_EQ(d.bytes, expectedPacket(Mac));
        EXPECT_EQ(d.to, 0x7F000001u);
    }
    // 255.255.255.255 stands for the broadcast address of the LAN; what follows
    // the twelfth digit is ignored.
    EXPECT_EQ(SendMagicPacket("255.255.255.255", "0000B400A5F6 and more", listener.destination(), timing, false,
                              reporter),
              WakeResult::Sent);
    got = listener.take();
    ASSERT_EQ(got.size(), 6u);
    for (const Datagram& d : got) {
        EXPECT_EQ(d.bytes, expectedPacket(Mac));
        EXPECT_EQ(d.to, 0x7FFFFFFFu);
    }
    EXPECT_TRUE(reporter.messages.empty());

    // Eleven digits or separated digits: nothing is sent, and the caller tells.
    for (const char* bad : {"0000B400A5F", "00-00-B4-00-A5-F6", "0000B400A5G6"}) {
        EXPECT_FALSE(magicPacket(bad)) << bad;
        EXPECT_EQ(SendMagicPacket("127.0.0.1", bad, listener.destination(), timing, false, reporter),
                  WakeResult::InvalidMac);
    }
    EXPECT_TRUE(listener.take().empty());
    EXPECT_TRUE(reporter.messages.empty());
}

TEST(MagicPacket, APacketThatWentOutOnNoTryIsSaidNotToBeSentUnlessInBatchMode) {
    vnk::testing::RecordingReporter reporter;
    platform::Timing timing = platform::Timing::fast();
    timing.magicPacketAttempts = 0; // every send has used up its tries at once
    for (const bool batch : {true, false})
        EXPECT_EQ(SendMagicPacket("127.0.0.1", "0000B400A5F6", {"127.255.255.255", 9}, timing, batch, reporter),
                  WakeResult::SendFailed);
    EXPECT_EQ(reporter.messages,
              std::vector<std::string>{" SendMagicPacket: the magic packet was not sent (it went out on no try)"});
}

TEST(MagicPacket, DestinationIsReadAsInetAddrReadsItAndStaysOnLoopback) {
    EXPECT_EQ(magicPacketAddress("192.168.1.255"), 0xC0A801FFu);
    EXPECT_EQ(magicPacketAddress("10.1.2.300"), 0xFFFFFFFFu);
    EXPECT_EQ(magicPacketAddress("10.1"), 0x0A000001u);
    EXPECT_EQ(magicPacketAddress("0x7f.010.0.1"), 0x7F080001u);
    EXPECT_EQ(magicPacketAddress(""), 0xFFFFFFFFu);

    const WolDestination loopback{"127.255.255.255", 6000}, real{"255.255.255.255", 6000};
    EXPECT_EQ(magicPacketDestination("10.1.2.300", loopback), 0x7FFFFFFFu);
    EXPECT_EQ(magicPacketDestination("", loopback), 0x7FFFFFFFu);
    EXPECT_EQ(magicPacketDestination("127.0.0.9", loopback), 0x7F000009u);
    EXPECT_EQ(magicPacketDestination("10.0.0.1", loopback), std::nullopt);
    EXPECT_EQ(magicPacketDestination("10.1.2.300", {"127.255.255", 6000}), std::nullopt);
    // Values only: nothing here is sent.
    EXPECT_EQ(magicPacketDestination("10.0.0.1", real), 0x0A000001u);
    EXPECT_EQ(magicPacketDestination("10.1.2.300", real), 0xFFFFFFFFu);
    EXPECT_EQ(magicPacketDestination("10.1.2.300", {"192.168.1.255", 6000}), 0xC0A801FFu);
}

TEST(MagicPacket, ListFileLinesNeedALineFeedAndSplitAtTheFirstHyphen) {
    const std::string text = "192.168.1.255-0000B400A5F6\r\n"
                             "   // 127.0.0.1-000000000001\n"
                             "\n"
                             " \t \r\n"
                             "  0000B400A5F7  \n"
                             "10.1-AA-BB\n"
                             "127.0.0.1-0000B400A5F8";
    EXPECT_EQ(magicPacketTargets(text), (std::vector<std::pair<std::string, std::string>>{
                                            {"192.168.1.255", "0000B400A5F6"},
                                            {"", "0000B400A5F7"},
                                            {"10.1", "AA-BB"},
                                        }));
}

TEST(MagicPacket, BatchSendsEveryUsableLineOfTheRegistrysDirectory) {
    Listener listener;
    ASSERT_NE(listener.port(), 0);
    vnk::testing::ScratchDir state, admin;
    vnk::testing::RecordingReporter reporter;
    admin.write("MagicPkt.ini", "127.0.0.1-0000B400A5F6\n"
                                "127.0.0.1-0000B400A5F\n"
                                "//127.0.0.1-0000B400A5F9\n"
                                "127.0.0.1-0000B400A5F7");
    // No key: nothing is sent.
    EXPECT_EQ(batchSend(listener.destination(), platform::Timing::fast(), reporter, state.path()), 0);
    ASSERT_TRUE(platform::setRegistryValue(AdministratorKey, "Path", admin.path(), state.path()));
    EXPECT_EQ(batchSend(listener.destination(), platform::Timing::fast(), reporter, state.path()), 1);
    const auto got = listener.take();
    ASSERT_EQ(got.size(), 6u);
    for (const Datagram& d : got)
        EXPECT_EQ(d.bytes, expectedPacket(Mac));
    EXPECT_TRUE(reporter.messages.empty()) << "a bad line is passed over silently";
}

// What we put on the wire, read by a decoder nobody here wrote.
TEST(MagicPacket, TsharkReadsAWellFormedWakeOnLanPacket) {
    if (!vnk::testing::haveTshark())
        GTEST_SKIP() << "tshark is not installed";
    Listener listener;
    ASSERT_NE(listener.port(), 0);
    vnk::testing::RecordingReporter reporter;
    ASSERT_EQ(SendMagicPacket("127.0.0.1", "0000b400a5f6", listener.destination(), platform::Timing::fast(), true,
                              reporter),
              WakeResult::Sent);
    const auto got = listener.take();
    ASSERT_FALSE(got.empty());
    const std::string path = ::testing::TempDir() + "wol_" + std::to_string(::getpid()) + ".pcap";
    vnk::testing::writePcap(path, {vnk::testing::ipv4Udp(got.front().bytes, listener.port())});
    // tshark knows Wake-on-LAN over UDP by its content, on any port: its
    // recogniser goes first, and takes only a sync stream and sixteen copies.
    const auto lines = vnk::testing::runLines("tshark -r '" + path +
                                              "' -o udp.try_heuristic_first:TRUE -T fields -E separator=,"
                                              " -e frame.protocols -e wol.sync -e wol.mac -e _ws.expert 2>/dev/null");
    std::remove(path.c_str());
    std::string macs;
    for (int i = 0; i < 16; ++i)
        macs += "00:00:b4:00:a5:f6,";
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "raw:ip:udp:wol,ffffffffffff," + macs);
}
