#include "protocol/records.h"

#include <cctype>
#include <cstdio>

namespace vnk::protocol {

std::string macText(std::span<const Byte> mac) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02X %02X %02X %02X %02X %02X", mac[0], mac[1], mac[2], mac[3], mac[4], mac[5]);
    return buf;
}

std::optional<MacAddress> parseMac(const std::string& text) {
    std::string hex;
    for (char c : text) {
        if (std::isxdigit(static_cast<unsigned char>(c)))
            hex.push_back(c);
        else if (c != ' ' && c != ':' && c != '-')
            return std::nullopt;
    }
    if (hex.size() != 12)
        return std::nullopt;
    MacAddress m{};
    for (std::size_t i = 0; i < 6; ++i)
        m[i] = Byte(std::stoi(hex.substr(i * 2, 2), nullptr, 16));
    return m;
}

} // namespace vnk::protocol
