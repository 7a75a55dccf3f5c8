// The plug-in's device search reply by reply: what becomes of each datagram the
// search receives, free of the socket.
#pragma once

#include "plugin/core/admin.h"

#include <span>
#include <string>
#include <vector>

namespace vnk::plugin {

inline constexpr std::size_t SearchReplySize = protocol::HeaderSize + protocol::IdentitySize; // 76

// Each datagram stands alone: only one of exactly a reply's size is a reply (a
// UDP reply never arrives in pieces), and a datagram of any other size is
// dropped without shifting the replies after it. A reply is listed in list
// when the device asks to be listed by the plug-in, no device of that name is
// listed yet, it passes the vendor and type filter (Config.ini in adminDir;
// keyFound false: print servers only) and the list holds fewer than MaxDevices.
class SearchReplies {
public:
    SearchReplies(std::vector<DeviceEntry>& list, std::string adminDir, bool keyFound)
        : m_list(list), m_adminDir(std::move(adminDir)), m_keyFound(keyFound) {}
    // One received datagram, whole (empty for a failed receive). True when it
    // was a reply; the entry then takes the address it came from.
    bool take(std::span<const protocol::Byte> datagram, const sockaddr_in& from);

private:
    std::vector<DeviceEntry>& m_list;
    std::string m_adminDir;
    bool m_keyFound;
};

} // namespace vnk::plugin
