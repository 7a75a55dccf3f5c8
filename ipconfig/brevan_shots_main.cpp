// brevan-shots: renders every page of Brevan's sheet, as a user sees it, to PNG
// files without a display. The sheet runs against the demo LAN of simulated
// boxes, started in this process on free loopback ports; discovery and the
// selection of the first box happen as in the program.
#include "ipconfig/brevan_program.h"
#include "sheet/page00.h"
#include "sheet/recording_ui_services.h"
#include "sheet/screenshots.h"
#include "platform/program_dir.h"
#include "sim/sim_lan.h"

#include <QApplication>
#include <QEventLoop>
#include <QTimer>

#include <cstdio>
#include <string>

namespace {

void usage(FILE* out) {
    std::fputs("Usage: brevan-shots [--program-dir DIR] [--box N] OUTPUT_DIR\n"
               "Renders every page of brevan's sheet and its About box to PNG files in\n"
               "OUTPUT_DIR, off screen, against the built-in demo LAN on loopback.\n\n"
               "  --program-dir DIR  where Config.ini and logo.bmp are read (default: this\n"
               "                     program's directory)\n"
               "  --box N            select the N-th print server of the list (1 = first)\n",
               out);
}

} // namespace

int main(int argc, char** argv) {
    using namespace vnk;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    std::string programDirectory = platform::programDirectory();
    std::string output;
    int box = 1;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if ((a == "--program-dir" || a == "--box") && i + 1 < argc) {
            const std::string value = argv[++i];
            if (a == "--program-dir")
                programDirectory = value;
            else
                box = std::atoi(value.c_str());
        } else if (a == "--help" || a == "-h") {
            usage(stdout);
            return 0;
        } else if (!a.empty() && a[0] != '-' && output.empty()) {
            output = a;
        } else {
            usage(stderr);
            return 2;
        }
    }
    if (output.empty()) {
        usage(stderr);
        return 2;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("brevan"));

    sim::SimLan lan; // loopback broadcast, free ports
    for (const sim::BoxSpec& b : sim::demoLan())
        lan.addBox(b);
    std::string error;
    if (!lan.start(&error)) {
        std::fprintf(stderr, "brevan-shots: cannot start the demo LAN: %s\n", error.c_str());
        return 1;
    }

    sheet::RecordingUiServices ui;
    ipconfig::BrevanProgram program(programDirectory, lan.endpoint(), platform::Timing::fast(), ui);
    ipconfig::CPellamDlg& sheet = program.sheet();
    sheet::Page00* general = sheet.page00();

    QEventLoop wait;
    QObject::connect(general, &sheet::Page00::refreshFinished, &wait, &QEventLoop::quit);
    QTimer::singleShot(30000, &wait, &QEventLoop::quit);
    sheet.show();
    wait.exec();

    if (box > 1 && box <= general->serverList()->count())
        general->serverList()->setCurrentIndex(box - 1);

    QStringList skipped;
    QString failure;
    const QStringList files =
        sheet::renderSheet(sheet, QString::fromStdString(output), &skipped, &failure);
    for (const QString& f : files)
        std::printf("%s\n", qPrintable(f));
    for (const QString& s : skipped)
        std::fprintf(stderr, "brevan-shots: page \"%s\" cannot be reached\n", qPrintable(s));
    for (const auto& m : ui.messages)
        std::fprintf(stderr, "brevan-shots: message [%s] %s\n", qPrintable(m.caption), qPrintable(m.text));
    if (!failure.isEmpty()) {
        std::fprintf(stderr, "brevan-shots: %s\n", qPrintable(failure));
        return 1;
    }
    return 0;
}
