#include "sheet/rules/snmp_rules.h"

#include <algorithm>

namespace vnk::rules {

namespace r = protocol::record;

namespace {
constexpr std::size_t FieldWidth = 16;

void putText(std::span<Byte, RecordSize> rec, std::size_t at, const std::string& text) {
    std::copy(text.begin(), text.end(), rec.begin() + std::ptrdiff_t(at));
    rec[at + text.size()] = 0;
}
} // namespace

bool snmpEnabled(const protocol::IdentityBlock& identity) {
    return protocol::supportsSnmp(identity);
}

SnmpTexts snmpTexts(std::span<const Byte, RecordSize> rec) {
    return {protocol::fieldText(rec, r::SnmpContact, FieldWidth),
            protocol::fieldText(rec, r::SnmpLocation, FieldWidth)};
}

bool storeSnmpTexts(std::span<Byte, RecordSize> rec, const SnmpTexts& texts) {
    const SnmpTexts stored = snmpTexts(rec);
    const bool contactChanged = texts.contact != stored.contact;
    const bool locationChanged = texts.location != stored.location;
    if ((contactChanged && texts.contact.size() > MaxSnmpTextLength) ||
        (locationChanged && texts.location.size() > MaxSnmpTextLength))
        return false;
    // A text the field already holds is left alone: it may fill the field
    // without a terminator, and the bytes after its terminator stay too.
    if (contactChanged)
        putText(rec, r::SnmpContact, texts.contact);
    if (locationChanged)
        putText(rec, r::SnmpLocation, texts.location);
    return true;
}

} // namespace vnk::rules
