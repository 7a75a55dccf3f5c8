// Every change to a box is a read-modify-write of its whole record, so a record
// damaged on its way to us would be written back for good with a fresh checksum.
// Before a change the record that was read is checked: its checksum byte holds,
// or (for a box whose firmware leaves the checksum stale) two reads in a row
// agree byte for byte.
#pragma once

#include "protocol/pserver_context.h"

namespace vnk::protocol {

// Byte 511 is the XOR of bytes 0-510.
bool recordChecksumHolds(const ConfigFrame& frame);

enum class ConsistentRead {
    Ok,           // frame holds a record that can be changed and written back
    NoAnswer,     // no read was answered
    Inconsistent, // reads were answered, but none could be trusted: write nothing
};

// Reads the record into frame, up to the timing table's consistentReadAttempts
// times, until one read passes the checks above.
ConsistentRead readConsistentRecord(CPServerContext& context, ServerEntry& entry, ConfigFrame& frame);

} // namespace vnk::protocol
