#include "backend/device_uri.h"

#include <cstdio>

namespace vnk::backend {

namespace {

int hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

} // namespace

std::optional<DeviceUri> parseDeviceUri(std::string_view text) {
    constexpr std::string_view Scheme = "varnotek://";
    // scheme, 12 digits, "/LPT", one digit
    if (text.size() != Scheme.size() + 12 + 5 || !text.starts_with(Scheme))
        return std::nullopt;
    text.remove_prefix(Scheme.size());
    DeviceUri uri;
    for (std::size_t i = 0; i < 6; ++i) {
        const int high = hexDigit(text[2 * i]), low = hexDigit(text[2 * i + 1]);
        if (high < 0 || low < 0)
            return std::nullopt;
        uri.mac[i] = protocol::Byte(high * 16 + low);
    }
    text.remove_prefix(12);
    const auto upper = [](char c) { return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c; };
    if (text[0] != '/' || upper(text[1]) != 'L' || upper(text[2]) != 'P' || upper(text[3]) != 'T' ||
        text[4] < '1' || text[4] > '3')
        return std::nullopt;
    uri.port = text[4] - '0';
    return uri;
}

std::string macWithColons(const protocol::MacAddress& mac) {
    char text[18];
    std::snprintf(text, sizeof text, "%02X:%02X:%02X:%02X:%02X:%02X", mac[0], mac[1], mac[2], mac[3], mac[4],
                  mac[5]);
    return text;
}

} // namespace vnk::backend
