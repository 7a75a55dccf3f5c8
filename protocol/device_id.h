// The IEEE 1284 device ID of the printer on a box's port, made of the
// identification items the box reports in its printer status ("MFG:FUJI XEROX;",
// "MDL:DocuPrint CM305 df;", ...), and what CUPS makes of one: the make and model
// it shows and the key it matches drivers by.
#pragma once

#include "protocol/pserver_context.h"

#include <string>
#include <string_view>
#include <vector>

namespace vnk::protocol {

// The items joined, each ending in ';' (an item the box sent without one gets
// it). Items that are not KEY:value pairs are left out. Empty when none is left.
std::string deviceIdFromItems(const std::vector<std::string>& items);

// The value of a key of a device ID, its spaces at both ends trimmed; the long
// and short names count alike (MFG and MANUFACTURER, MDL and MODEL, CMD and
// COMMAND SET), in any case. Empty when the key is absent.
std::string deviceIdValue(std::string_view deviceId, std::string_view key);

// "MAKE MODEL" as CUPS lists a device: the manufacturer and the model, the
// manufacturer left out when the model begins with it; "Unknown" when the ID
// names neither.
std::string makeAndModel(std::string_view deviceId);

// The printer on one parallel port of a box.
struct PortPrinter {
    int port = 0;         // 1-3: LPT1-LPT3
    std::string deviceId; // empty when the box reports no printer there
};

// The printers on the parallel ports of the selected box, from its record (the
// number of parallel ports) and its printer status, read anew. A box without
// extended printer status, or a port whose status cannot be read, gives an
// empty device ID. Nothing when the record or the status cannot be read.
std::optional<std::vector<PortPrinter>> readPortPrinters(CPServerContext& ctx, ServerEntry& entry);

} // namespace vnk::protocol
