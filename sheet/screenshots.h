// Renders what a user sees, off screen: every page of a sheet and its About box,
// one PNG file each, so the pages can be looked at without a display.
#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <string>

namespace vnk::sheet {

class PropertySheet;
class RecordingUiServices;
class UtilityProgram;

// Makes each page current in turn and grabs the whole sheet into
// DIR/NN-<tab caption>.png, then the About box into DIR/about.png. A page that
// cannot be reached (the General page refuses to be left while no print server
// was found) is left out and named in skipped. Returns the files written; error
// gets the reason when a file cannot be written.
QStringList renderSheet(PropertySheet& sheet, const QString& directory, QStringList* skipped = nullptr,
                        QString* error = nullptr);

// The screenshot programs of the utilities (brevan-shots, hollin-shots): the
// command line, then the utility's program against a LAN the program's own
// main starts, discovery and the selection of the N-th box as a user would
// make them, and every page rendered. makeProgram starts the LAN and builds the
// program, or says why it cannot (nothing returned, error set).
struct ShotsProgram {
    const char* name; // "brevan-shots"
    const char* utility; // "brevan": the sheet's program name in captions
    std::function<std::unique_ptr<UtilityProgram>(const std::string& programDirectory, RecordingUiServices& ui,
                                                  std::string& error)>
        makeProgram;
};
int runShots(int argc, char** argv, const ShotsProgram& shots);

} // namespace vnk::sheet
