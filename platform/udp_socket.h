// The datagram socket calls the protocol is written against: a non-blocking IPv4
// UDP socket, select() waits and the would-block rule. Each call returns -1 with
// errno set on failure so that callers can report " errno: Op-call() Fail".
#pragma once

#include <netinet/in.h>
#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>

namespace vnk::platform {

// Called while a wait blocks, so that a GUI can repaint without the protocol
// knowing about it. Waits are cut into slices of at most IdleSlice when a hook is set.
using IdleHook = std::function<void()>;
inline constexpr std::chrono::microseconds IdleSlice{20'000};

enum class WaitResult { Ready, TimedOut, Failed };

int openUdpSocket();
int setNonBlocking(int fd);
int enableBroadcast(int fd);
int enableReuseAddress(int fd);
int bindAny(int fd, std::uint16_t port = 0); // INADDR_ANY
int bindTo(int fd, std::uint32_t hostOrderAddress, std::uint16_t port);
void closeSocket(int fd);

WaitResult waitWritable(int fd, std::chrono::microseconds timeout, const IdleHook& idle = {});
WaitResult waitReadable(int fd, std::chrono::microseconds timeout, const IdleHook& idle = {});

// sendto; returns the bytes sent or -1 (errno).
ssize_t sendDatagram(int fd, const void* data, std::size_t length, std::uint32_t hostOrderAddress,
                     std::uint16_t port);
ssize_t sendDatagram(int fd, const void* data, std::size_t length, const sockaddr_in& to);

// recvfrom of one datagram of at most size bytes. A datagram that does not fit is
// consumed and reported as a failure with errno EMSGSIZE, as Winsock does; the
// caller's buffer then holds its first size bytes at most and nothing past them.
ssize_t receiveDatagram(int fd, void* buffer, std::size_t size, sockaddr_in* from = nullptr);

// For a socket that collects replies of one known size, where anything else on
// the LAN may land too: one datagram is taken whole into the start of buffer.
// Taken: it is exactly size bytes long. Dropped: it had another length (longer
// ones included, which are consumed) or there was nothing to read after all; the
// buffer's contents are then undefined. Failed: the receive failed (errno).
enum class SizedReceive { Taken, Dropped, Failed };
SizedReceive receiveSized(int fd, void* buffer, std::size_t size, sockaddr_in* from = nullptr);

// The would-block outcome of a send on a non-blocking socket (Winsock's 10035).
bool isWouldBlock(int error);

// The local port a socket was bound to (0 when unknown).
std::uint16_t localPort(int fd);

sockaddr_in makeAddress(std::uint32_t hostOrderAddress, std::uint16_t port);

} // namespace vnk::platform
