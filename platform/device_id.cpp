#include "platform/device_id.h"

#include <algorithm>
#include <cctype>

namespace vnk::platform {

namespace {

std::string trimmed(std::string_view s) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!s.empty() && blank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && blank(s.back()))
        s.remove_suffix(1);
    return std::string(s);
}

std::string upper(std::string_view s) {
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return char(std::toupper(c)); });
    return out;
}

// The other name of a key, as IEEE 1284 allows both.
std::string_view otherName(std::string_view key) {
    if (key == "MFG")
        return "MANUFACTURER";
    if (key == "MANUFACTURER")
        return "MFG";
    if (key == "MDL")
        return "MODEL";
    if (key == "MODEL")
        return "MDL";
    if (key == "CMD")
        return "COMMAND SET";
    if (key == "COMMAND SET")
        return "CMD";
    return key;
}

} // namespace

std::string deviceIdFromItems(const std::vector<std::string>& items) {
    std::string id;
    for (const std::string& item : items) {
        const std::string t = trimmed(item);
        const auto colon = t.find(':');
        if (colon == std::string::npos || colon == 0)
            continue;
        id += t;
        if (t.back() != ';')
            id += ';';
    }
    return id;
}

std::string deviceIdValue(std::string_view deviceId, std::string_view key) {
    const std::string wanted = upper(key);
    const std::string_view other = otherName(wanted);
    while (!deviceId.empty()) {
        const auto end = deviceId.find(';');
        const std::string_view pair = deviceId.substr(0, end);
        deviceId = end == std::string_view::npos ? std::string_view{} : deviceId.substr(end + 1);
        const auto colon = pair.find(':');
        if (colon == std::string_view::npos)
            continue;
        const std::string name = upper(trimmed(pair.substr(0, colon)));
        if (name == wanted || name == other)
            return trimmed(pair.substr(colon + 1));
    }
    return {};
}

std::string makeAndModel(std::string_view deviceId) {
    const std::string make = deviceIdValue(deviceId, "MFG");
    const std::string model = deviceIdValue(deviceId, "MDL");
    if (make.empty() && model.empty())
        return "Unknown";
    if (make.empty())
        return model;
    if (model.empty())
        return make;
    if (upper(model).starts_with(upper(make)))
        return model;
    return make + " " + model;
}

} // namespace vnk::platform
