// The rules of the SNMP page: the system contact and location texts.
#pragma once

#include "protocol/identity.h"
#include "protocol/records.h"

#include <span>
#include <string>

namespace vnk::rules {

using protocol::Byte;
using protocol::RecordSize;

inline constexpr std::size_t MaxSnmpTextLength = 15;

// The edits and Write are enabled only for a box with the SNMP capability
// (identity byte 61 bit 0); the texts are shown either way.
bool snmpEnabled(const protocol::IdentityBlock& identity);

struct SnmpTexts {
    std::string contact;
    std::string location;
};

// Contact from 32 and location from 48, each up to its NUL and at most 16 bytes.
SnmpTexts snmpTexts(std::span<const Byte, RecordSize> rec);

// Stores each text that differs from what its field holds, with its NUL; the
// bytes after the NUL keep their values, and a field whose text is unchanged is
// not touched at all. A changed text longer than 15 bytes is refused (false)
// and nothing is stored.
bool storeSnmpTexts(std::span<Byte, RecordSize> rec, const SnmpTexts& texts);

} // namespace vnk::rules
