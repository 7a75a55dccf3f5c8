// The device URI of a print server's parallel port as CUPS keeps it for the
// backend's queues: "varnotek://0000B4123344/LPT1", the box's Ethernet address
// in twelve hexadecimal digits and the port. The box is found by that address
// whenever a job comes, so the queue follows the box when its IP address changes.
#pragma once

#include "protocol/records.h"

#include <optional>
#include <string>
#include <string_view>

namespace vnk::backend {

struct DeviceUri {
    protocol::MacAddress mac{};
    int port = 0; // 1-3: LPT1-LPT3
};

// Accepts exactly "varnotek://" + 12 hexadecimal digits (either case) + "/LPT" +
// 1, 2 or 3 ("lpt" too); nothing before or after.
std::optional<DeviceUri> parseDeviceUri(std::string_view text);

} // namespace vnk::backend
