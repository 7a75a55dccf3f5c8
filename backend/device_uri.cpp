#include "backend/device_uri.h"

namespace vnk::backend {

std::optional<DeviceUri> parseDeviceUri(std::string_view text) {
    constexpr std::string_view Scheme = "varnotek://";
    // scheme, 12 digits, "/LPT", one digit
    if (text.size() != Scheme.size() + 12 + 5 || !text.starts_with(Scheme))
        return std::nullopt;
    text.remove_prefix(Scheme.size());
    // Twelve characters that read as an address can only be twelve hex digits.
    const auto mac = protocol::parseMac(std::string(text.substr(0, 12)));
    if (!mac)
        return std::nullopt;
    DeviceUri uri;
    uri.mac = *mac;
    text.remove_prefix(12);
    const auto upper = [](char c) { return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c; };
    if (text[0] != '/' || upper(text[1]) != 'L' || upper(text[2]) != 'P' || upper(text[3]) != 'T' ||
        text[4] < '1' || text[4] > '3')
        return std::nullopt;
    uri.port = text[4] - '0';
    return uri;
}

} // namespace vnk::backend
