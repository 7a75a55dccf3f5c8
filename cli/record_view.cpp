#include "cli/record_view.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdio>

namespace vnk::cli {

using namespace protocol;

std::string boxText(const std::string& bytes) {
    return platform::decodeBoxText(bytes, BoxCodePage);
}

std::string shownName(const std::string& bytes) {
    return platform::terminalSafe(boxText(bytes));
}

bool isTextField(const FieldDef& f) {
    return f.kind == FieldKind::Text || f.kind == FieldKind::TextFillWidth || f.kind == FieldKind::TreeName;
}

std::string fieldValue(const FieldDef& f, std::span<const Byte, RecordSize> rec) {
    return isTextField(f) ? boxText(readField(f, rec)) : readField(f, rec);
}

Json fieldJson(const FieldDef& f, std::span<const Byte, RecordSize> rec) {
    switch (f.kind) {
    case FieldKind::Number8:
        return rec[f.offset];
    case FieldKind::Number16:
        return getLE16(rec, f.offset);
    case FieldKind::FlagBit:
        return (rec[f.offset] & f.mask) != 0;
    case FieldKind::Bits:
        return (rec[f.offset] & f.mask) >> std::countr_zero(unsigned(f.mask));
    case FieldKind::Text:
    case FieldKind::TextFillWidth:
    case FieldKind::TreeName:
    case FieldKind::IPv4:
    case FieldKind::Mac:
        break;
    }
    return fieldValue(f, rec);
}

std::vector<FieldChange> recordDiff(std::span<const Byte, RecordSize> before, std::span<const Byte, RecordSize> after) {
    std::vector<FieldChange> changes;
    std::array<bool, RecordSize> covered{};
    for (const auto& f : allFields()) {
        for (std::size_t i = 0; i < f.width; ++i)
            covered[f.offset + i] = true;
        // A field is compared by its value: a flag by its bit (the other bits
        // of its byte are fields of their own), a text up to its terminator.
        if (readField(f, before) != readField(f, after))
            changes.push_back({f.name, fieldValue(f, before), fieldValue(f, after)});
    }
    for (std::size_t i = 0; i < ChecksumOffset; ++i) {
        if (covered[i] || before[i] == after[i])
            continue;
        char a[8], b[8];
        std::snprintf(a, sizeof a, "0x%02X", before[i]);
        std::snprintf(b, sizeof b, "0x%02X", after[i]);
        changes.push_back({"byte " + std::to_string(i), a, b});
    }
    return changes;
}

} // namespace vnk::cli
