#include "platform/udp_socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace vnk::platform {

int openUdpSocket() {
    return ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
}

int setNonBlocking(int fd) {
    const int flags = ::fcntl(fd, F_GETFL, 0);
    if (flags < 0)
        return -1;
    return ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0 ? -1 : 0;
}

int enableBroadcast(int fd) {
    const int on = 1;
    return ::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
}

int enableReuseAddress(int fd) {
    const int on = 1;
    return ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
}

sockaddr_in makeAddress(std::uint32_t hostOrderAddress, std::uint16_t port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(hostOrderAddress);
    return a;
}

int bindTo(int fd, std::uint32_t hostOrderAddress, std::uint16_t port) {
    const sockaddr_in a = makeAddress(hostOrderAddress, port);
    return ::bind(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a);
}

int bindAny(int fd, std::uint16_t port) {
    return bindTo(fd, INADDR_ANY, port);
}

void closeSocket(int fd) {
    if (fd >= 0)
        ::close(fd);
}

namespace {

WaitResult waitOnce(int fd, bool forWrite, std::chrono::microseconds timeout) {
    if (fd < 0 || fd >= FD_SETSIZE) {
        errno = EBADF;
        return WaitResult::Failed;
    }
    fd_set set;
    FD_ZERO(&set);
    FD_SET(fd, &set);
    timeval tv{};
    tv.tv_sec = time_t(timeout.count() / 1'000'000);
    tv.tv_usec = suseconds_t(timeout.count() % 1'000'000);
    int n;
    do {
        n = ::select(fd + 1, forWrite ? nullptr : &set, forWrite ? &set : nullptr, nullptr, &tv);
    } while (n < 0 && errno == EINTR);
    if (n < 0)
        return WaitResult::Failed;
    return n > 0 && FD_ISSET(fd, &set) ? WaitResult::Ready : WaitResult::TimedOut;
}

WaitResult waitFor(int fd, bool forWrite, std::chrono::microseconds timeout, const IdleHook& idle) {
    if (!idle)
        return waitOnce(fd, forWrite, timeout);
    auto left = timeout;
    for (;;) {
        const auto slice = std::min(left, std::chrono::microseconds(IdleSlice));
        const WaitResult r = waitOnce(fd, forWrite, slice);
        if (r != WaitResult::TimedOut)
            return r;
        left -= slice;
        if (left.count() <= 0)
            return WaitResult::TimedOut;
        idle();
    }
}

} // namespace

WaitResult waitWritable(int fd, std::chrono::microseconds timeout, const IdleHook& idle) {
    return waitFor(fd, true, timeout, idle);
}

WaitResult waitReadable(int fd, std::chrono::microseconds timeout, const IdleHook& idle) {
    return waitFor(fd, false, timeout, idle);
}

ssize_t sendDatagram(int fd, const void* data, std::size_t length, const sockaddr_in& to) {
    ssize_t n;
    do {
        n = ::sendto(fd, data, length, MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    } while (n < 0 && errno == EINTR);
    return n;
}

ssize_t sendDatagram(int fd, const void* data, std::size_t length, std::uint32_t hostOrderAddress,
                     std::uint16_t port) {
    return sendDatagram(fd, data, length, makeAddress(hostOrderAddress, port));
}

ssize_t receiveDatagram(int fd, void* buffer, std::size_t size, sockaddr_in* from) {
    sockaddr_in source{};
    iovec io{buffer, size};
    msghdr msg{};
    msg.msg_name = &source;
    msg.msg_namelen = sizeof source;
    msg.msg_iov = &io;
    msg.msg_iovlen = 1;
    ssize_t n;
    do {
        n = ::recvmsg(fd, &msg, 0);
    } while (n < 0 && errno == EINTR);
    if (n < 0)
        return -1;
    if (from)
        *from = source;
    if (msg.msg_flags & MSG_TRUNC) {
        errno = EMSGSIZE;
        return -1;
    }
    return n;
}

SizedReceive receiveSized(int fd, void* buffer, std::size_t size, sockaddr_in* from) {
    const ssize_t n = receiveDatagram(fd, buffer, size, from);
    if (n < 0)
        return errno == EMSGSIZE || isWouldBlock(errno) ? SizedReceive::Dropped : SizedReceive::Failed;
    return std::size_t(n) == size ? SizedReceive::Taken : SizedReceive::Dropped;
}

bool isWouldBlock(int error) {
    return error == EAGAIN || error == EWOULDBLOCK;
}

std::uint16_t localPort(int fd) {
    sockaddr_in a{};
    socklen_t len = sizeof a;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0)
        return 0;
    return ntohs(a.sin_port);
}

} // namespace vnk::platform
