// The vendor and device-type filter of Config.ini that decides which discovery
// replies a tool lists.
#pragma once

#include <cstdint>
#include <string>

namespace vnk::protocol {

// True when a box with vendor code v and device type code t may be listed, under
// the "General Information" keys VendorID and DeviceType1..DeviceType255 of the
// settings file at settingsPath.
bool deviceFilterAccepts(const std::string& settingsPath, std::uint8_t vendor, std::uint8_t deviceType);

} // namespace vnk::protocol
