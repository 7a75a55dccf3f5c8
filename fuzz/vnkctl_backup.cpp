// vnkctl backups and field assignments. The input is assignment lines, a NUL,
// then the bytes of a backup file (without a NUL the whole input is the backup
// and there are no assignments).
//  - A backup that reads is written again and reads back as itself; a backup
//    vnkctl writes from a record and a box name always reads back.
//  - Assignments on the backup's record (or on one made of the input) are all
//    or nothing, touch only the bytes of the fields assigned and the checksum,
//    and every field shown reads back as what was stored.
#include "cli/backup.h"
#include "fuzz/fuzz_support.h"
#include "platform/box_text.h"
#include "protocol/record_fields.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace {

using namespace vnk;
using protocol::Byte;
using protocol::ConfigRecord;
using protocol::FieldKind;
using protocol::RecordSize;

std::vector<std::string> lines(std::string_view text) {
    std::vector<std::string> out;
    while (!text.empty() && out.size() < 64) {
        const std::size_t lf = std::min(text.find('\n'), text.size());
        out.emplace_back(text.substr(0, lf));
        text.remove_prefix(std::min(lf + 1, text.size()));
    }
    return out;
}

// A header longer than a reader takes is refused: only a backup whose written
// header fits must read back.
constexpr std::size_t MaxHeader = 4096;

void checkBackupRoundTrip(const cli::Backup& b) {
    const std::string text = cli::backupText(b);
    if (text.find("\n\n") > MaxHeader)
        return;
    std::string why;
    const auto back = cli::parseBackup(text, &why);
    // The name is written as it is shown, control characters escaped.
    if (!back || back->record != b.record || back->ethernet != b.ethernet || back->saved != b.saved ||
        back->name != platform::terminalSafe(b.name))
        std::abort();
    // Written once more, the text does not change.
    if (cli::backupText(*back) != text)
        std::abort();
}

void checkAssignments(ConfigRecord& rec, const std::vector<std::string>& assignments) {
    const ConfigRecord before = rec;
    const auto result = protocol::applyAssignments(rec, assignments);
    if (!result.ok()) {
        if (rec != before || result.errors.empty())
            std::abort();
        return;
    }
    if (protocol::recordChecksum(rec) != rec[protocol::ChecksumOffset])
        std::abort();
    // Only the assigned fields (a flag: only its bit) and the checksum change.
    std::array<Byte, RecordSize> mayChange{};
    mayChange[protocol::ChecksumOffset] = 0xFF;
    for (const auto& a : assignments) {
        const auto* f = protocol::findField(std::string_view(a).substr(0, a.find('=')));
        if (!f)
            std::abort(); // accepted, so every name is a field
        for (std::size_t i = 0; i < f->width; ++i)
            mayChange[f->offset + i] |= f->kind == FieldKind::FlagBit ? f->mask : Byte(0xFF);
    }
    for (std::size_t i = 0; i < RecordSize; ++i)
        if ((before[i] ^ rec[i]) & ~mayChange[i])
            std::abort();
}

// What a field shows, written back, leaves the record as it was (the tree name
// aside: a stored name with "_" at position 31 shows cut there).
void checkShownValuesWriteBack(const ConfigRecord& rec) {
    for (const auto& f : protocol::allFields()) {
        if (f.kind == FieldKind::TreeName)
            continue;
        const std::string shown = protocol::readField(f, rec);
        ConfigRecord copy = rec;
        if (!protocol::writeField(f, copy, shown) && copy != rec)
            std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::size_t nul = input.find('\0');
    const std::string_view head = nul == std::string::npos ? std::string_view() : std::string_view(input).substr(0, nul);
    const std::string bytes = nul == std::string::npos ? input : input.substr(nul + 1);

    std::string why;
    const auto backup = cli::parseBackup(bytes, &why);
    if (!backup && why.empty())
        std::abort();

    ConfigRecord rec{};
    if (backup) {
        checkBackupRoundTrip(*backup);
        rec = backup->record;
    } else {
        std::memcpy(rec.data(), bytes.data(), std::min(bytes.size(), RecordSize));
    }

    // The backup vnkctl writes: the box's name as shown, its Ethernet address
    // from the record and the time it was saved.
    cli::Backup written;
    written.name = platform::decodeBoxText(std::string_view(bytes).substr(0, std::min<std::size_t>(bytes.size(), 32)),
                                           platform::CodePage::Windows1252);
    written.ethernet = protocol::macText(std::span<const Byte>(rec).subspan(protocol::record::EthernetAddress, 6));
    written.saved = cli::utcTimestamp(std::time_t(protocol::getLE16(rec, 0)) * 86400);
    written.record = rec;
    checkBackupRoundTrip(written);

    checkShownValuesWriteBack(rec);
    checkAssignments(rec, lines(head));
    checkShownValuesWriteBack(rec);
    return 0;
}
