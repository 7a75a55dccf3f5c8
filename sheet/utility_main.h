// What main() does in both configuration utilities: --help and --version without
// a display, a plain refusal when there is no display, the endpoint settings of
// the environment, then the utility's program, whose sheet runs modally. The
// program ends when the sheet closes; nothing is written to a box on the way out.
#pragma once

#include "platform/endpoint.h"
#include "sheet/ui_services.h"
#include "sheet/utility_program.h"

#include <functional>
#include <memory>
#include <string>

namespace vnk::sheet {

// How a utility names a setting of the environment that cannot be used (%1 the
// variable, %2 its value).
struct SettingTexts {
    QString notAPortNumber = QStringLiteral("%1 is not a port number: %2");
    QString notAnAddress = QStringLiteral("%1 is not an IPv4 address: %2");
    QString notANodeNumber = QStringLiteral("%1 is not a node number: %2");
    QString text(const platform::SettingProblem& problem) const;
};

struct UtilityMain {
    const char* name;  // the program's file name: "brevan", "hollin"
    const char* usage; // the --help text
    platform::CodePage codePage;
    // Qt's own texts (standard buttons, file dialog) in this language ("zh_TW"),
    // from Qt's translations; empty: Qt's English.
    QString qtLanguage;
    // The font family asked for first (the system's choice follows); empty: the system's.
    QString fontFamily;
    SettingTexts settingTexts;
    // Builds the program once the application runs. A refusal fills error (shown
    // on stderr and in a message box) and returns nothing.
    std::function<std::unique_ptr<UtilityProgram>(const platform::Endpoint&, QtUiServices&, std::string& error)>
        makeProgram;
};

int runUtility(int argc, char** argv, const UtilityMain& utility);

// What stops a utility before its program is built: a setting of its endpoint
// (VNK_BROADCAST, VNK_PORT, VNK_FW_PORT) that cannot be used, in the utility's
// words; empty when there is none. The other VNK_ settings are not its
// endpoint's: the IPX utility reads VNK_IPX_PORT with its segment and says
// itself what is wrong with it, and the IP utility does not use IPX.
QString unusableSetting(const UtilityMain& utility);

// True when Qt has somewhere to put a window: DISPLAY, WAYLAND_DISPLAY or
// QT_QPA_PLATFORM is set and not empty.
bool displayConfigured();

// Puts a font family, when installed, before the application font's families.
void preferFont(const QString& family);
// Qt's own texts (standard buttons, file dialog) in a language such as "zh_TW",
// from Qt's translations, for the running application; false when Qt has none.
bool installQtTexts(const QString& language);

} // namespace vnk::sheet
