// Every named field of the 512-byte configuration record in one table, with the
// display form of each and a checked write. The pages and the command-line front
// end both go through this table, so a field has one name, one place and one rule.
//
// Writes touch only the bytes (or the bit) of the field written; bytes that no
// field owns travel back to the box exactly as they were read.
#pragma once

#include "protocol/identity.h"
#include "protocol/records.h"

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vnk::protocol {

enum class FieldKind {
    Text,          // NUL-terminated when shorter than the field; at most width - 1 characters
    TextFillWidth, // as Text, but width characters fill the field without a terminator (mail account, password)
    TreeName,      // as Text, stored padded with "_" up to 32 characters and shown without them
    IPv4,          // four bytes, first octet first, shown "%i.%i.%i.%i"
    Number8,       // one byte, decimal
    Number16,      // two bytes little-endian, decimal
    FlagBit,       // one bit (mask) of one byte, shown 0 or 1
    Bits,          // a group of bits (mask) of one byte, shown as the decimal number they hold
    Mac,           // six bytes, shown "%02X %02X %02X %02X %02X %02X"
};

struct FieldDef {
    const char* name;        // snake_case, matched case-insensitively
    std::size_t offset;      // record offset
    std::size_t width;       // bytes the field occupies
    FieldKind kind;
    Byte mask;               // FlagBit and Bits only
    bool readOnly;           // set by the box, never written by the tools
    unsigned minValue;       // Number8 / Number16: accepted range of a write
    unsigned maxValue;
    const char* description;
};

// All fields, in record order (flag bits of one byte follow each other).
std::span<const FieldDef> allFields();

// The field with this name (case-insensitive), or nullptr.
const FieldDef* findField(std::string_view name);

// The display form of a field: its text, dotted address, decimal number, 0/1 or
// the Ethernet address in hex.
std::string readField(const FieldDef& field, std::span<const Byte, RecordSize> rec);

// Checks a textual value against the field's kind and width. Returns the error
// message, or nothing when the value can be written.
std::optional<std::string> checkField(const FieldDef& field, std::string_view value);

// Checks the value and, when it is good, stores it in the record. A bad value
// leaves the record untouched and returns the error message. The checksum is
// not updated here: whoever sends the record computes it (see applyAssignments).
std::optional<std::string> writeField(const FieldDef& field, std::span<Byte, RecordSize> rec,
                                      std::string_view value);

// The NDS tree name at 124 as it is shown: up to its NUL, with the "_" that pad
// it cut from position 31 downwards.
std::string ndsTreeName(std::span<const Byte, RecordSize> rec);
// Cuts the trailing "_" of a tree name from position 31 downwards (a name that
// does not reach position 31 is left as it is).
std::string trimTreePadding(std::string name);
// Stores a tree name: an empty one as a NUL at 124; otherwise the name, "_"
// up to position 31 and a terminator after them (a name of 32 characters or
// more is stored as given, with its terminator).
void storeNdsTreeName(std::span<Byte, RecordSize> rec, std::string_view name);

struct AssignmentResult {
    std::vector<std::string> errors; // one message per bad assignment, in the order given
    bool ok() const { return errors.empty(); }
};

// Applies "name=value" assignments all or nothing: every assignment is checked
// first; only when all are good are they written, in order (a later assignment
// to the same field wins), and the checksum byte is computed afresh. When any
// is bad the record is left exactly as it was.
AssignmentResult applyAssignments(std::span<Byte, RecordSize> rec, const std::vector<std::string>& assignments);

} // namespace vnk::protocol
