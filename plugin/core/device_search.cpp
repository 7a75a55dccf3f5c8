// The plug-in's own search of the LAN: the search request of the configuration
// utility, its own timing, and its own rules for which answers it lists.
#include "plugin/core/device_search.h"

#include "platform/udp_socket.h"
#include "protocol/device_filter.h"

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace vnk::plugin {

using namespace platform;
using protocol::Byte;

std::string administrationDirectory(bool* keyFound, bool* keyOpened, const std::string& stateDir) {
    const auto path = queryRegistryString(AdministratorKey, "Path", 150, stateDir);
    bool opened = path.has_value();
    if (!opened && !stateDir.empty())
        if (const auto hive = RegistryHive::load(registryFilePath(stateDir)))
            opened = hive->hasKey(AdministratorKey);
    // An empty "Path" would put the pages at the root of the file system.
    const bool found = path && !path->empty();
    if (keyFound)
        *keyFound = found;
    if (keyOpened)
        *keyOpened = opened;
    if (found)
        return *path;
    std::error_code error;
    const auto here = std::filesystem::current_path(error);
    return error ? std::string(".") : here.string();
}

namespace {

constexpr std::size_t ReplySize = SearchReplySize;
constexpr const char* Operation = "XGetTorvikPort";

// Whether a device with vendor code v and device type code t is listed. Without
// the registry's directory only print servers are, whatever Config.ini lies in
// the current directory.
bool filterAccepts(const std::string& adminDir, bool keyFound, Byte vendor, Byte type) {
    if (!keyFound)
        return type == 0;
    return protocol::deviceFilterAccepts(adminDir + "/Config.ini", vendor, type);
}

void handleReply(std::vector<DeviceEntry>& list, const Byte* reply /* 76 bytes */, const sockaddr_in& from,
                 const std::string& adminDir, bool keyFound) {
    const Byte* id = reply + protocol::HeaderSize;
    // Only devices that ask to be listed by the plug-in are.
    if (!(id[protocol::identity::Features] & 0x01))
        return;
    const char* name = reinterpret_cast<const char*>(id + protocol::identity::ServerName);
    for (const DeviceEntry& e : list)
        if (std::strncmp(reinterpret_cast<const char*>(e.identity.data() + protocol::identity::ServerName), name,
                         protocol::identity::ServerNameWidth) == 0)
            return;
    if (!filterAccepts(adminDir, keyFound, id[protocol::identity::Vendor], id[protocol::identity::DeviceType]))
        return;
    if (list.size() >= MaxDevices)
        return;
    DeviceEntry e;
    std::memcpy(e.identity.data(), id, protocol::IdentitySize);
    e.from = from;
    std::memcpy(e.mac.data(), reply, e.mac.size());
    list.push_back(e);
}

// One search request: tries until its 10 bytes are out. 1 sent, 0 the tries
// ran out, -1 a wait or the send failed (reported).
int sendRequest(int s, std::uint32_t to, std::uint16_t port, const Timing& timing, ErrorReporter& reporter) {
    static constexpr Byte Request[protocol::HeaderSize] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                                           0x00, 0x04, 0xFF, 0xFB};
    std::size_t done = 0;
    for (int attempt = 0; attempt < timing.pluginSendAttempts; ++attempt) {
        const WaitResult w = waitWritable(s, timing.pluginSendWait);
        if (w == WaitResult::TimedOut)
            continue;
        if (w == WaitResult::Failed) {
            reporter.report(socketFailureText(errno, "XSendPacket", "select"));
            return -1;
        }
        const ssize_t n = sendDatagram(s, Request + done, sizeof Request - done, to, port);
        if (n < 0) {
            if (isWouldBlock(errno))
                continue;
            reporter.report(socketFailureText(errno, "XSendPacket", "send"));
            return -1;
        }
        done += std::size_t(n);
        if (done >= sizeof Request)
            return 1;
    }
    return 0;
}

} // namespace

bool SearchReplies::take(std::span<const Byte> datagram, const sockaddr_in& from) {
    if (datagram.size() != ReplySize)
        return false;
    handleReply(m_list, datagram.data(), from, m_adminDir, m_keyFound);
    return true;
}

int XGetTorvikPort(std::vector<DeviceEntry>& list, const Endpoint& endpoint, const Timing& timing,
                   const std::string& adminDir, bool keyFound, ErrorReporter& reporter) {
    list.clear();
    const auto broadcast = parseIPv4(endpoint.broadcast);
    if (!broadcast) {
        reporter.report(" " + std::string(Operation) + ": the broadcast address " + endpoint.broadcast +
                        " is not an IPv4 address");
        return 0;
    }
    const int s = openUdpSocket();
    if (s < 0) {
        reporter.report(socketFailureText(errno, Operation, "socket") + "-1");
        return 0;
    }
    auto fail = [&](const char* call) {
        reporter.report(socketFailureText(errno, Operation, call));
        closeSocket(s);
        return 0;
    };
    if (setNonBlocking(s) != 0)
        return fail("ioctlsocket");
    if (enableBroadcast(s) != 0)
        return fail("setsockopt");
    if (bindAny(s, 0) != 0)
        return fail("bind");

    SearchReplies replies(list, adminDir, keyFound);
    for (std::size_t pass = 0; pass < timing.pluginPassWait.size(); ++pass) {
        for (int k = 0; k < 2; ++k)
            if (sendRequest(s, *broadcast, endpoint.commandPort, timing, reporter) < 0) {
                closeSocket(s);
                return 1;
            }
        int idle = 0; // receives in a row that brought no reply
        for (;;) {
            const WaitResult w = waitReadable(s, timing.pluginPassWait[pass]);
            if (w == WaitResult::TimedOut)
                break;
            if (w == WaitResult::Failed) {
                reporter.report(socketFailureText(errno, "XGetAllPServername", "select"));
                closeSocket(s);
                return 1;
            }
            // Each datagram is received whole into an empty buffer; a longer one
            // than a reply fails to fit and counts as a failed receive.
            Byte datagram[ReplySize];
            sockaddr_in from{};
            const ssize_t n = receiveDatagram(s, datagram, sizeof datagram, &from);
            const std::size_t got = n >= 0 ? std::size_t(n) : 0;
            if (replies.take(std::span<const Byte>(datagram, got), from)) {
                idle = 0;
            } else if (++idle >= timing.pluginIdleReceives) {
                break;
            }
        }
        if (list.size() >= MaxDevices)
            break;
    }
    closeSocket(s);
    return 1;
}

} // namespace vnk::plugin
