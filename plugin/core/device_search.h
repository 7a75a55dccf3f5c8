// The plug-in's device search reply by reply: what becomes of each datagram the
// search receives, free of the socket.
#pragma once

#include "plugin/core/admin.h"

#include <array>
#include <span>
#include <string>
#include <vector>

namespace vnk::plugin {

inline constexpr std::size_t SearchReplySize = protocol::HeaderSize + protocol::IdentitySize; // 76

// Replies are collected in one buffer across datagrams: a reply that came in
// pieces is joined, and of a datagram only what still fits the reply is taken.
// Each whole reply is listed in list when the device asks to be listed by the
// plug-in, no device of that name is listed yet, it passes the vendor and type
// filter (Config.ini in adminDir; keyFound false: print servers only) and the
// list holds fewer than MaxDevices.
class SearchReplies {
public:
    SearchReplies(std::vector<DeviceEntry>& list, std::string adminDir, bool keyFound)
        : m_list(list), m_adminDir(std::move(adminDir)), m_keyFound(keyFound) {}
    // One received datagram (empty for a failed receive). True when it completed
    // a reply; the entry then takes the address this datagram came from.
    bool take(std::span<const protocol::Byte> datagram, const sockaddr_in& from);

private:
    std::vector<DeviceEntry>& m_list;
    std::string m_adminDir;
    bool m_keyFound;
    std::array<protocol::Byte, SearchReplySize> m_reply{};
    std::size_t m_collected = 0;
};

} // namespace vnk::plugin
