// Helpers the settings page tests share: a box's stored record and write count
// read from the simulated LAN, a page opened for a named box, and the texts,
// addresses and differing bytes of a record.
#pragma once

#include "brevan_rig.h"

#include "protocol/records.h"

#include <QList>
#include <QString>

#include <cstddef>

namespace vnk::testing {

inline protocol::ConfigRecord stored(BrevanRig& rig, int box) {
    return rig.lan.withBox(box, [](sim::SimBox& b) { return b.storedRecord(); });
}
inline int writes(BrevanRig& rig, int box) {
    return rig.lan.withBox(box, [](sim::SimBox& b) { return b.writes; });
}

// Selects the named box on the General page (which reads its record and
// status), then makes the page current, so that it is activated anew.
inline bool open(BrevanRig& rig, const QString& name, sheet::PropertyPage* page) {
    const int index = rig.indexOf(name);
    if (index < 0 || !rig.sheet().setActivePage(rig.sheet().page00()))
        return false;
    if (rig.general().serverList()->currentIndex() != index)
        rig.general().serverList()->setCurrentIndex(index);
    return rig.sheet().setActivePage(page);
}

inline QString text(const protocol::ConfigRecord& rec, std::size_t at, std::size_t width) {
    return QString::fromStdString(protocol::fieldText(rec, at, width));
}
inline QString dotted(const protocol::ConfigRecord& rec, std::size_t at) {
    return QString::fromStdString(protocol::dottedAt(rec, at));
}
// The bytes that differ between two records, checksum left out.
inline QList<int> differences(const protocol::ConfigRecord& a, const protocol::ConfigRecord& b) {
    QList<int> at;
    for (std::size_t i = 0; i < protocol::ChecksumOffset; ++i)
        if (a[i] != b[i])
            at.push_back(int(i));
    return at;
}

} // namespace vnk::testing
