// An IEEE 1284 device ID as a box's identification items make it, and what it says ("MFG:FUJI XEROX;MDL:DocuPrint CM305 df;..."):
// the value of a key, and the make and model CUPS shows for it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vnk::platform {

// The identification items a box reports for a printer ("MFG:FUJI XEROX;",
// "MDL:DocuPrint CM305 df;", ...) joined into its device ID, each ending in ';'
// (an item the box sent without one gets it). Items that are not KEY:value
// pairs are left out. Empty when none is left.
std::string deviceIdFromItems(const std::vector<std::string>& items);

// The value of a key of a device ID, its spaces at both ends trimmed; the long
// and short names count alike (MFG and MANUFACTURER, MDL and MODEL, CMD and
// COMMAND SET), in any case. Empty when the key is absent.
std::string deviceIdValue(std::string_view deviceId, std::string_view key);

// "MAKE MODEL" as CUPS lists a device: the manufacturer and the model, the
// manufacturer left out when the model begins with it; "Unknown" when the ID
// names neither.
std::string makeAndModel(std::string_view deviceId);

} // namespace vnk::platform
