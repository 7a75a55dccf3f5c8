#include "platform/error_reporter.h"
#include "platform/udp_socket.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>

using namespace vnk::platform;
using namespace std::chrono_literals;

namespace {
constexpr std::uint32_t LoopbackBroadcast = 0x7FFFFFFF; // 127.255.255.255

int boundSocket() {
    const int s = openUdpSocket();
    EXPECT_GE(s, 0);
    EXPECT_EQ(setNonBlocking(s), 0);
    EXPECT_EQ(enableBroadcast(s), 0);
    EXPECT_EQ(bindAny(s, 0), 0);
    return s;
}
} // namespace

TEST(UdpSocket, LoopbackBroadcastReachesABoundSocket) {
    const int rx = boundSocket();
    const int tx = boundSocket();
    const unsigned char data[3] = {1, 2, 3};
    ASSERT_EQ(waitWritable(tx, 1s), WaitResult::Ready);
    ASSERT_EQ(sendDatagram(tx, data, 3, LoopbackBroadcast, localPort(rx)), 3);
    ASSERT_EQ(waitReadable(rx, 1s), WaitResult::Ready);
    unsigned char buf[8];
    sockaddr_in from{};
    EXPECT_EQ(receiveDatagram(rx, buf, sizeof buf, &from), 3);
    EXPECT_EQ(ntohs(from.sin_port), localPort(tx));
    closeSocket(rx);
    closeSocket(tx);
}

TEST(UdpSocket, ADatagramLargerThanTheBufferIsAFailureAndIsConsumed) {
    const int rx = boundSocket();
    const int tx = boundSocket();
    unsigned char big[20] = {};
    big[5] = 0x55;
    ASSERT_EQ(sendDatagram(tx, big, sizeof big, 0x7F000001, localPort(rx)), 20);
    ASSERT_EQ(sendDatagram(tx, big, 4, 0x7F000001, localPort(rx)), 4);
    ASSERT_EQ(waitReadable(rx, 1s), WaitResult::Ready);
    unsigned char buf[10] = {};
    errno = 0;
    EXPECT_EQ(receiveDatagram(rx, buf, sizeof buf), -1);
    EXPECT_EQ(errno, EMSGSIZE);
    // The next datagram is the short one: the long one is gone.
    ASSERT_EQ(waitReadable(rx, 1s), WaitResult::Ready);
    EXPECT_EQ(receiveDatagram(rx, buf, sizeof buf), 4);
    closeSocket(rx);
    closeSocket(tx);
}

TEST(UdpSocket, WaitsTimeOutAndCallTheIdleHook) {
    const int rx = boundSocket();
    int idleCalls = 0;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(waitReadable(rx, 100ms, [&] { ++idleCalls; }), WaitResult::TimedOut);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 95ms);
    EXPECT_GE(idleCalls, 3);
    EXPECT_EQ(waitReadable(rx, 0us), WaitResult::TimedOut);
    closeSocket(rx);
    EXPECT_EQ(waitReadable(-1, 0us), WaitResult::Failed);
}

TEST(ErrorReporter, FailureTextHasTheToolsFormat) {
    EXPECT_EQ(socketFailureText(98, "XGetPort", "bind"), " 98: XGetPort-bind() Fail");
}
