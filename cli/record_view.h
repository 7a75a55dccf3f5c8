// How vnkctl shows what it read from a box: the box's 8-bit texts decoded by the
// suite's one rule (Windows-1252 where they are not UTF-8, as the IP utility
// shows them), made safe for a terminal in text output, fields typed in JSON
// output, and the differences between two records field by field.
#pragma once

#include "platform/box_text.h"
#include "protocol/record_fields.h"

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

namespace vnk::cli {

using Json = nlohmann::ordered_json;
using protocol::Byte;
using protocol::RecordSize;

inline constexpr platform::CodePage BoxCodePage = platform::CodePage::Windows1252;

// A text of the box, decoded (UTF-8).
std::string boxText(const std::string& bytes);
// A text of the box as a line of terminal output shows it.
std::string shownName(const std::string& bytes);

bool isTextField(const protocol::FieldDef& f);
// The display form of a field, its text decoded.
std::string fieldValue(const protocol::FieldDef& f, std::span<const Byte, RecordSize> rec);
// The field in JSON: numbers as numbers, flags as true/false, texts decoded,
// addresses as strings.
Json fieldJson(const protocol::FieldDef& f, std::span<const Byte, RecordSize> rec);

struct FieldChange {
    std::string field;  // a field's name, or "byte N" for a byte no field covers
    std::string before; // display forms
    std::string after;
};
// Every field whose value differs between before and after (a text up to its
// terminator), then every byte no field covers that differs (the checksum left
// out), in record order.
std::vector<FieldChange> recordDiff(std::span<const Byte, RecordSize> before, std::span<const Byte, RecordSize> after);

} // namespace vnk::cli
