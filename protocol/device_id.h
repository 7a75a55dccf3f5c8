// The IEEE 1284 device ID of the printer on a box's port, made of the
// identification items the box reports in its printer status ("MFG:FUJI XEROX;",
// "MDL:DocuPrint CM305 df;", ...), and what CUPS makes of one: the make and model
// it shows and the key it matches drivers by.
#pragma once

#include "platform/device_id.h"
#include "protocol/pserver_context.h"

#include <string>
#include <string_view>
#include <vector>

namespace vnk::protocol {

// A device ID from the items, and what it says: platform/device_id.h.
using platform::deviceIdFromItems;
using platform::deviceIdValue;
using platform::makeAndModel;

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
