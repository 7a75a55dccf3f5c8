#include "protocol/device_filter.h"

#include "platform/inifile.h"

namespace vnk::protocol {

bool deviceFilterAccepts(const std::string& settingsPath, std::uint8_t vendor, std::uint8_t deviceType) {
    const auto ini = platform::IniFile::load(settingsPath);
    // Without a settings file only the plain device type 0 gets in, whoever made it.
    if (!ini)
        return deviceType == 0;
    const std::string section = "General Information";

    int vendorId = 0;
    if (auto v = ini->value(section, "VendorID"); v && !v->empty())
        vendorId = platform::leadingInt(*v);
    const auto wanted = std::uint8_t(vendorId & 0xFF);
    if (vendor != 0 && wanted != 0 && vendor != wanted)
        return false;
    if (deviceType == 0)
        return true;

    for (int n = 1; n <= 255; ++n) {
        auto v = ini->value(section, "DeviceType" + std::to_string(n));
        if (!v || v->empty())
            return false; // the list ends at the first gap
        // The key is read into a 4-byte buffer: three characters at most.
        const int d = platform::leadingInt(v->substr(0, 3));
        if ((d & 0xFF) == 0 || deviceType == std::uint8_t(d - 1))
            return true;
    }
    return false;
}

} // namespace vnk::protocol
