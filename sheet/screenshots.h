// Renders what a user sees, off screen: every page of a sheet and its About box,
// one PNG file each, so the pages can be looked at without a display.
#pragma once

#include <QString>
#include <QStringList>

namespace vnk::sheet {

class PropertySheet;

// Makes each page current in turn and grabs the whole sheet into
// DIR/NN-<tab caption>.png, then the About box into DIR/about.png. A page that
// cannot be reached (the General page refuses to be left while no print server
// was found) is left out and named in skipped. Returns the files written; error
// gets the reason when a file cannot be written.
QStringList renderSheet(PropertySheet& sheet, const QString& directory, QStringList* skipped = nullptr,
                        QString* error = nullptr);

} // namespace vnk::sheet
