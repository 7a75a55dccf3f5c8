#include "sheet/utility_main.h"

#include "platform/box_text.h"
#include "platform/program_dir.h"
#include "platform/version.h"
#include "sheet/rules/app_strings.h"

#include <QApplication>
#include <QGuiApplication>
#include <QFont>
#include <QFontDatabase>
#include <QLibraryInfo>
#include <QTranslator>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace vnk::sheet {

namespace {

bool set(const char* name) {
    const char* v = std::getenv(name);
    return v && *v;
}

} // namespace

void preferFont(const QString& family) {
    if (family.isEmpty() || !QFontDatabase::families().contains(family))
        return;
    QFont font = QApplication::font();
    QStringList families = font.families();
    families.prepend(family);
    font.setFamilies(families);
    QApplication::setFont(font);
}

bool installQtTexts(const QString& language) {
    // The translator lives as long as the application that uses it.
    auto* texts = new QTranslator(QCoreApplication::instance());
    if (!texts->load(QStringLiteral("qtbase_") + language, QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete texts;
        return false;
    }
    return QCoreApplication::installTranslator(texts);
}

bool displayConfigured() { return set("DISPLAY") || set("WAYLAND_DISPLAY") || set("QT_QPA_PLATFORM"); }

QString SettingTexts::text(const platform::SettingProblem& problem) const {
    using Expected = platform::SettingProblem::Expected;
    const QString& format = problem.expected == Expected::PortNumber    ? notAPortNumber
                            : problem.expected == Expected::Ipv4Address ? notAnAddress
                                                                        : notANodeNumber;
    return format.arg(QString::fromStdString(problem.variable), QString::fromStdString(problem.value));
}

QString unusableSetting(const UtilityMain& utility) {
    std::vector<platform::SettingProblem> problems;
    platform::Endpoint::fromEnvironment(nullptr, &problems);
    for (const auto& problem : problems)
        if (problem.variable == "VNK_BROADCAST" || problem.variable == "VNK_PORT" || problem.variable == "VNK_FW_PORT")
            return utility.settingTexts.text(problem);
    return {};
}

int runUtility(int argc, char** argv, const UtilityMain& utility) {
    // These need no window: they are answered before Qt looks for a display.
    bool platformOption = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(utility.usage, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            const auto strings = readAppStrings(settingsPathFor(platform::programDirectory()));
            // The suite's version, then the title and version Config.ini gives the About box.
            std::printf("%s %s\n%s %s\n", utility.name, VNK_VERSION,
                        platform::terminalSafe(platform::decodeBoxText(strings.title, utility.codePage)).c_str(),
                        platform::terminalSafe(platform::decodeBoxText(strings.version, utility.codePage)).c_str());
            return 0;
        }
        platformOption = platformOption || std::strcmp(argv[i], "-platform") == 0 ||
                         std::strcmp(argv[i], "--platform") == 0;
    }
    if (!platformOption && !displayConfigured()) {
        std::fprintf(stderr,
                     "%s: no display to open a window on (DISPLAY and WAYLAND_DISPLAY are not set);\n"
                     "%s: QT_QPA_PLATFORM=offscreen runs it without one (see %s --help)\n",
                     utility.name, utility.name, utility.name);
        return 2;
    }
    QApplication app(argc, argv);
    if (!utility.qtLanguage.isEmpty())
        installQtTexts(utility.qtLanguage);
    preferFont(utility.fontFamily);
    QtUiServices ui;

    // POSIX sockets need no start-up call, so there is no "sockets could not be
    // started" case here. A broken setting of the endpoint, though, would fall
    // back to the real broadcast address: refuse to start instead.
    std::string error = unusableSetting(utility).toStdString();
    const platform::Endpoint endpoint = platform::Endpoint::fromEnvironment();
    std::unique_ptr<UtilityProgram> program;
    if (error.empty())
        program = utility.makeProgram(endpoint, ui, error);
    if (!program) {
        std::fprintf(stderr, "%s: %s\n", utility.name, error.c_str());
        // Off screen nobody could close the message box: the line above says it.
        if (QGuiApplication::platformName() != QLatin1String("offscreen"))
            ui.appMessage(QString::fromStdString(error));
        return 2;
    }
    ui.setParentWindow(&program->propertySheet());
    program->propertySheet().exec();
    return 0;
}

} // namespace vnk::sheet
