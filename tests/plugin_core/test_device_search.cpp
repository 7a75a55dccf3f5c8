// The plug-in's search against simulated boxes and PCs on loopback, and against
// a plain socket that plays a box among stray datagrams.
#include "plugin/core/admin.h"
#include "platform/udp_socket.h"
#include "support/sim_helpers.h"
#include "sim/sim_lan.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <mutex>
#include <thread>

using namespace vnk;
using namespace vnk::plugin;
using namespace vnk::wol;
using vnk::testing::testBox;

namespace {

using Bytes = std::vector<std::uint8_t>;
using std::chrono::microseconds;
using std::chrono::milliseconds;

std::vector<std::string> namesOf(const std::vector<DeviceEntry>& list) {
    std::vector<std::string> names;
    for (const DeviceEntry& e : list)
        names.push_back(protocol::serverName(e.identity));
    return names;
}

sim::BoxSpec listed(sim::BoxSpec b) {
    b.features65 |= 0x01;
    return b;
}

class DeviceSearchTest : public ::testing::Test {
protected:
    void startLan(const std::vector<sim::BoxSpec>& boxes) {
        m_lan = std::make_unique<sim::SimLan>();
        for (const auto& b : boxes)
            m_lan->addBox(b);
        std::string error;
        ASSERT_TRUE(m_lan->start(&error)) << error;
    }
    std::vector<DeviceEntry> search(bool keyFound) {
        std::vector<DeviceEntry> list(3); // emptied first
        EXPECT_EQ(XGetTorvikPort(list, m_lan->endpoint(), platform::Timing::fast(), m_dir.path(), keyFound,
                                 m_reporter),
                  1);
        return list;
    }
    vnk::testing::RecordingReporter m_reporter;
    vnk::testing::ScratchDir m_dir;
    std::unique_ptr<sim::SimLan> m_lan;
};

// A plain socket playing a box: it hears the search on a port of its own and
// answers each request with the datagrams answer gives, from 127.0.0.2.
class PlayedBox {
public:
    using Answer = std::function<std::vector<Bytes>(int request)>;
    explicit PlayedBox(Answer answer) : m_answer(std::move(answer)) {
        m_listen = platform::openUdpSocket();
        m_reply = platform::openUdpSocket();
        if (m_listen < 0 || m_reply < 0 || platform::bindAny(m_listen, 0) != 0 ||
            platform::bindTo(m_reply, 0x7F000002, 0) != 0)
            return;
        m_port = platform::localPort(m_listen);
        m_thread = std::thread([this] { run(); });
    }
    ~PlayedBox() {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        platform::closeSocket(m_listen);
        platform::closeSocket(m_reply);
    }
    std::uint16_t port() const { return m_port; }
    std::uint16_t replyPort() const { return platform::localPort(m_reply); }
    // The requests heard so far, once none has come for a while.
    std::vector<Bytes> requests() {
        std::this_thread::sleep_for(milliseconds(100));
        std::lock_guard lock(m_mutex);
        return m_requests;
    }
    platform::Endpoint endpoint() const {
        platform::Endpoint e;
        e.broadcast = "127.255.255.255";
        e.commandPort = m_port;
        return e;
    }

private:
    void run() {
        while (!m_stop) {
            if (platform::waitReadable(m_listen, milliseconds(10)) != platform::WaitResult::Ready)
                continue;
            Bytes request(64);
            sockaddr_in from{};
            const ssize_t n = platform::receiveDatagram(m_listen, request.data(), request.size(), &from);
            if (n < 0)
                continue;
            request.resize(std::size_t(n));
            int number;
            {
                std::lock_guard lock(m_mutex);
                m_requests.push_back(request);
                number = int(m_requests.size());
            }
            for (const Bytes& d : m_answer(number))
                platform::sendDatagram(m_reply, d.data(), d.size(), from);
        }
    }
    Answer m_answer;
    int m_listen = -1, m_reply = -1;
    std::uint16_t m_port = 0;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::mutex m_mutex;
    std::vector<Bytes> m_requests;
};

// A 76-byte search reply of a print server that asks to be listed.
Bytes searchReply(const std::string& name, std::uint8_t lastMacByte) {
    Bytes r(76, 0);
    const std::uint8_t header[10] = {0x00, 0x00, 0xB4, 0x11, 0x22, lastMacByte, 0x01, 0x04, 0xFF, 0xFB};
    std::memcpy(r.data(), header, sizeof header);
    std::memcpy(r.data() + 10, "PS000001", 8);
    std::memcpy(r.data() + 18, name.data(), name.size());
    r[10 + 65] = 0x01;
    return r;
}

// Waits long enough for a box on another thread of a busy machine.
platform::Timing patientTiming() {
    platform::Timing t = platform::Timing::fast();
    t.pluginPassWait = {microseconds{0}, microseconds{200'000}, microseconds{300'000}};
    return t;
}

} // namespace

TEST_F(DeviceSearchTest, ListsWhatAsksToBeListedAndPassesTheFilter) {
    auto pc = listed(testBox("DESK", 3));
    pc.isPc = true;
    pc.deviceType = 1;
    startLan({listed(testBox("ALPHA", 1)), testBox("HIDDEN", 2), pc, listed(testBox("ALPHA", 4))});

    // No Config.ini: print servers only; a second box of one name is dropped.
    auto list = search(true);
    ASSERT_EQ(namesOf(list), (std::vector<std::string>{"ALPHA"}));
    EXPECT_EQ(list[0].mac, (protocol::MacAddress{0x00, 0x00, 0xB4, 0x55, 0x00, 0x01}));
    EXPECT_EQ(ntohl(list[0].from.sin_addr.s_addr), 0x7F000001u);
    EXPECT_EQ(ntohs(list[0].from.sin_port), m_lan->commandPort());

    // DeviceType1=2 lets networked PCs in; a box whose byte 65 lacks bit 0 never is.
    m_dir.write("Config.ini", "[General Information]\nDeviceType1=2\n");
    EXPECT_EQ(namesOf(search(true)), (std::vector<std::string>{"ALPHA", "DESK"}));
    // Without the registry's directory Config.ini is not read: print servers only.
    EXPECT_EQ(namesOf(search(false)), (std::vector<std::string>{"ALPHA"}));
    EXPECT_TRUE(m_reporter.messages.empty());
}

TEST(DeviceSearch, OnlyWholeRepliesCountAndEachTakesItsSendersAddress) {
    // Before each reply a stray 7-byte datagram, after it a reply of another
    // box with 14 bytes too many: neither is a device, nor hides the reply.
    PlayedBox box([](int request) {
        Bytes longer = searchReply("LONG" + std::to_string(request), 0x80);
        longer.insert(longer.end(), 14, 0xEE);
        return std::vector<Bytes>{{0x00, 0x00, 0xB4, 0x11, 0x22, 0x33, 0x01},
                                  searchReply("REAL" + std::to_string(request), std::uint8_t(request)), longer};
    });
    ASSERT_NE(box.port(), 0);
    vnk::testing::RecordingReporter reporter;
    vnk::testing::ScratchDir dir;
    std::vector<DeviceEntry> list;
    ASSERT_EQ(XGetTorvikPort(list, box.endpoint(), patientTiming(), dir.path(), true, reporter), 1);

    // Three passes of two requests each, every one the search of all devices.
    const auto requests = box.requests();
    ASSERT_EQ(requests.size(), 6u);
    for (const Bytes& r : requests)
        EXPECT_EQ(r, (Bytes{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x04, 0xFF, 0xFB}));
    ASSERT_EQ(list.size(), 6u);
    for (std::size_t i = 0; i < list.size(); ++i) {
        const Bytes reply = searchReply("REAL" + std::to_string(i + 1), std::uint8_t(i + 1));
        EXPECT_EQ(Bytes(list[i].identity.begin(), list[i].identity.end()), Bytes(reply.begin() + 10, reply.end()));
        EXPECT_EQ(list[i].mac[5], i + 1);
        EXPECT_EQ(ntohl(list[i].from.sin_addr.s_addr), 0x7F000002u) << "the address the reply came from";
        EXPECT_EQ(ntohs(list[i].from.sin_port), box.replyPort());
    }
    EXPECT_TRUE(reporter.messages.empty());
}

TEST(DeviceSearch, SocketSetUpFailuresAreReportedAlsoInBatchMode) {
#if defined(__SANITIZE_ADDRESS__)
    // The sanitizers' runtime opens files of its own while the test runs, and
    // with no descriptor left it reports faults that are not there.
    GTEST_SKIP() << "needs a process without the sanitizers' runtime";
#endif
    vnk::testing::RecordingReporter reporter;
    vnk::testing::ScratchDir dir;
    std::vector<DeviceEntry> list(2);
    platform::Endpoint endpoint;
    endpoint.broadcast = "127.255.255.255";
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
    const int lowest = dup(0);
    ASSERT_GE(lowest, 0);
    close(lowest);
    rlimit tight = saved;
    tight.rlim_cur = rlim_t(lowest);
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &tight), 0);
    const int searched = XGetTorvikPort(list, endpoint, platform::Timing::fast(), dir.path(), true, reporter);
    const WakeResult woken = SendMagicPacket("127.0.0.1", "0000B400A5F6", {"127.255.255.255", 9},
                                             platform::Timing::fast(), true, reporter);
    setrlimit(RLIMIT_NOFILE, &saved);
    EXPECT_EQ(searched, 0);
    EXPECT_TRUE(list.empty());
    EXPECT_EQ(woken, WakeResult::SocketFailed);
    EXPECT_EQ(reporter.messages, (std::vector<std::string>{" 24: XGetTorvikPort-socket() Fail-1",
                                                           " 24: SendMagicPacket-socket() Fail-1"}));
}
