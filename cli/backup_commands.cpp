// backup, diff and restore: a box's record saved in a file, compared with the
// box or another file field by field, and written back.
#include "cli/commands.h"

#include "cli/backup.h"
#include "platform/box_text.h"
#include "protocol/consistent_read.h"
#include "protocol/record_fields.h"

#include <sys/stat.h>

#include <istream>

namespace vnk::cli {

using namespace protocol;

int cmdBackup(Session& s, const std::string& path) {
    if (int rc = s.readRecord("no backup was made"))
        return rc;
    Output& o = s.output();
    const auto rec = recordOf(s.ctx().configBuffer);
    Backup b;
    b.name = boxText(s.entry().name());
    b.ethernet = macText(rec.subspan(record::EthernetAddress, 6));
    b.saved = utcTimestamp(std::time(nullptr));
    std::copy(rec.begin(), rec.end(), b.record.begin());
    std::string error;
    if (!writeBackupFile(path, b, &error))
        return o.fail(ExitFailure, error);
    o.result()["box"] = b.name;
    o.result()["ethernet"] = b.ethernet;
    o.result()["file"] = path;
    o.result()["saved"] = b.saved;
    o.text() << "Saved the record of " << s.name() << " (" << b.ethernet << ") in " << path << "\n";
    return ExitOk;
}

void showDifferences(Output& o, const std::vector<FieldChange>& changes) {
    Json list = Json::array();
    std::size_t w = 0;
    for (const auto& c : changes)
        w = std::max(w, c.field.size());
    for (const auto& c : changes) {
        list.push_back({{"field", c.field}, {"old", c.before}, {"new", c.after}});
        o.text() << std::left << std::setw(int(w)) << c.field << "  " << platform::terminalSafe(c.before) << " -> "
                 << platform::terminalSafe(c.after) << "\n";
    }
    if (changes.empty())
        o.text() << "No field differs.\n";
    o.result()["differences"] = list;
}

bool isRegularFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

int cmdDiffFiles(Output& o, const std::string& first, const std::string& second) {
    std::string error;
    const auto a = readBackupFile(first, &error);
    if (!a)
        return o.fail(ExitBadValue, error);
    const auto b = readBackupFile(second, &error);
    if (!b)
        return o.fail(ExitBadValue, error);
    showDifferences(o, recordDiff(a->record, b->record));
    return ExitOk;
}

int cmdDiff(Session& s, const std::string& path) {
    std::string error;
    const auto saved = readBackupFile(path, &error);
    if (!saved)
        return s.output().fail(ExitBadValue, error);
    if (int rc = s.readRecord())
        return rc;
    showDifferences(s.output(), recordDiff(recordOf(s.ctx().configBuffer), saved->record));
    return ExitOk;
}

int cmdRestore(Session& s, const std::string& path, bool otherBox, const Confirmation& confirm,
               std::ostream& err) {
    Output& o = s.output();
    std::string error;
    const auto saved = readBackupFile(path, &error);
    if (!saved)
        return o.fail(ExitBadValue, error);
    if (int rc = s.readRecord("nothing was written"))
        return rc;
    const auto current = recordOf(s.ctx().configBuffer);
    o.result()["box"] = boxText(s.entry().name());
    o.result()["file"] = path;
    o.result()["written"] = false;
    if (!sameBox(saved->record, current) && !otherBox)
        return o.fail(ExitBadValue, path + " was saved from " +
                                        macText(std::span<const Byte>(saved->record).subspan(record::EthernetAddress, 6)) +
                                        ", not from " + s.name() + " (" +
                                        macText(current.subspan(record::EthernetAddress, 6)) +
                                        "); --other-box restores it anyway; nothing was written");
    const ConfigRecord target = restoreTarget(saved->record, current);
    showDifferences(o, recordDiff(current, target));
    if (std::equal(target.begin(), target.begin() + ChecksumOffset, current.begin())) {
        o.text() << s.name() << " holds the saved record already.\n";
        return ExitOk;
    }
    bool go = confirm.yes;
    if (!go && confirm.terminal && confirm.in && !o.json()) {
        err << "Write these changes to " << s.name() << "? [y/N] " << std::flush;
        std::string answer;
        std::getline(*confirm.in, answer);
        go = !answer.empty() && (answer[0] == 'y' || answer[0] == 'Y');
    }
    if (!go)
        return o.fail(ExitFailure, "not confirmed (give --yes to write); nothing was written");
    std::copy(target.begin(), target.end(), current.begin());
    if (int rc = writeRecord(s, "Writing the saved record"))
        return rc;
    o.result()["written"] = true;
    o.text() << "Restored " << s.name() << " from " << path << "; it takes effect after 'vnkctl reset'.\n";
    return ExitOk;
}

} // namespace vnk::cli
