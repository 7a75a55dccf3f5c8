#include "cli/backup.h"

#include "platform/box_text.h"
#include "platform/private_file.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>

namespace vnk::cli {

using namespace protocol;

namespace {

constexpr const char* Magic = "VNKCTL-BACKUP 1";
// A header is a few short lines; anything longer is not a backup of ours.
constexpr std::size_t MaxHeader = 4096;
// A file larger than header and record cannot be one either; it is not read whole.
constexpr std::uintmax_t MaxFile = MaxHeader + RecordSize + 2;

} // namespace

std::string utcTimestamp(std::time_t t) {
    std::tm utc{};
    gmtime_r(&t, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

std::string backupText(const Backup& b) {
    std::string out = std::string(Magic) + "\n";
    out += "name: " + platform::terminalSafe(b.name) + "\n";
    out += "ethernet: " + b.ethernet + "\n";
    out += "saved: " + b.saved + "\n";
    out += "record: " + std::to_string(RecordSize) + "\n\n";
    out.append(reinterpret_cast<const char*>(b.record.data()), b.record.size());
    return out;
}

std::optional<Backup> parseBackup(const std::string& bytes, std::string* error) {
    auto fail = [&](const std::string& why) -> std::optional<Backup> {
        if (error)
            *error = why;
        return std::nullopt;
    };
    const std::size_t end = bytes.find("\n\n");
    if (bytes.rfind(std::string(Magic) + "\n", 0) != 0)
        return fail("not a vnkctl backup (it does not start with \"" + std::string(Magic) + "\")");
    if (end == std::string::npos || end > MaxHeader)
        return fail("the backup's header has no end");
    Backup b;
    bool sized = false;
    std::istringstream header(bytes.substr(0, end));
    std::string line;
    std::getline(header, line); // the magic line
    while (std::getline(header, line)) {
        const std::size_t colon = line.find(": ");
        if (colon == std::string::npos)
            return fail("the backup's header has a line without \"key: value\"");
        const std::string key = line.substr(0, colon);
        const std::string value = line.substr(colon + 2);
        if (key == "name")
            b.name = value;
        else if (key == "ethernet")
            b.ethernet = value;
        else if (key == "saved")
            b.saved = value;
        else if (key == "record") {
            if (value != std::to_string(RecordSize))
                return fail("the backup holds a record of " + value + " bytes, not " + std::to_string(RecordSize));
            sized = true;
        }
    }
    if (!sized)
        return fail("the backup's header does not give the record's size");
    const std::size_t at = end + 2;
    if (bytes.size() - at != RecordSize)
        return fail("the backup holds " + std::to_string(bytes.size() - at) + " bytes of record, not " +
                    std::to_string(RecordSize));
    std::memcpy(b.record.data(), bytes.data() + at, RecordSize);
    return b;
}

bool writeBackupFile(const std::string& path, const Backup& b, std::string* error) {
    // The record holds the mail account's password.
    return platform::writeFilePrivately(path, backupText(b), error);
}

std::optional<Backup> readBackupFile(const std::string& path, std::string* error) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        if (error)
            *error = "cannot read " + path + ": " + std::strerror(errno);
        return std::nullopt;
    }
    if (!S_ISREG(st.st_mode) || std::uintmax_t(st.st_size) > MaxFile) {
        if (error)
            *error = path + " is not a vnkctl backup";
        return std::nullopt;
    }
    std::ifstream in(path, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in && !in.eof()) {
        if (error)
            *error = "cannot read " + path;
        return std::nullopt;
    }
    std::string why;
    auto b = parseBackup(bytes.substr(0, std::size_t(MaxFile)), &why);
    if (!b && error)
        *error = path + ": " + why;
    return b;
}

bool sameBox(const ConfigRecord& saved, std::span<const Byte, RecordSize> current) {
    return std::equal(saved.begin() + record::EthernetAddress, saved.begin() + record::EthernetAddress + 6,
                      current.begin() + record::EthernetAddress);
}

ConfigRecord restoreTarget(const ConfigRecord& saved, std::span<const Byte, RecordSize> current) {
    ConfigRecord target = saved;
    auto keep = [&](std::size_t first, std::size_t count) {
        std::copy(current.begin() + std::ptrdiff_t(first), current.begin() + std::ptrdiff_t(first + count),
                  target.begin() + std::ptrdiff_t(first));
    };
    keep(record::EthernetAddress, 6);
    keep(record::PortConfig, 1);
    keep(record::Capabilities, 1);
    keep(record::ModelCode, 3); // model, version, revision
    return target;
}

} // namespace vnk::cli
