// The backup file of one box's configuration record:
//
//   VNKCTL-BACKUP 1
//   name: QUILL-3P2S
//   ethernet: 00 00 B4 12 33 44
//   saved: 2026-12-07T15:20:00Z
//   record: 512
//   <an empty line>
//   <the 512 bytes of the record as the box held them, checksum included>
//
// The header is text, one "key: value" line each (the name with control
// characters escaped); readers ignore keys they do not know. The file ends with
// the record: exactly 512 bytes after the empty line.
#pragma once

#include "protocol/records.h"

#include <ctime>
#include <optional>
#include <string>

namespace vnk::cli {

struct Backup {
    std::string name;     // as shown when it was saved
    std::string ethernet; // "%02X %02X ..." of the record's Ethernet address
    std::string saved;    // UTC, ISO 8601
    protocol::ConfigRecord record{};
};

std::string backupText(const Backup& b);
// The backup in a file's bytes, or nothing with *error saying why.
std::optional<Backup> parseBackup(const std::string& bytes, std::string* error);

bool writeBackupFile(const std::string& path, const Backup& b, std::string* error);
std::optional<Backup> readBackupFile(const std::string& path, std::string* error);

std::string utcTimestamp(std::time_t t);

// True when the saved record was read from the box whose record is current
// (the same Ethernet address at record bytes 2-7).
bool sameBox(const protocol::ConfigRecord& saved, std::span<const protocol::Byte, protocol::RecordSize> current);

// The record a restore writes: the saved one byte for byte, but for what
// belongs to the box itself and no tool changes (Ethernet address, port
// configuration, capabilities, model, version and revision), taken from
// current. The checksum is left to the write.
protocol::ConfigRecord restoreTarget(const protocol::ConfigRecord& saved,
                                     std::span<const protocol::Byte, protocol::RecordSize> current);

} // namespace vnk::cli
