#include "sheet/screenshots.h"

#include "platform/program_dir.h"
#include "sheet/about_box.h"
#include "sheet/page00.h"
#include "sheet/property_sheet.h"
#include "sheet/recording_ui_services.h"
#include "sheet/utility_program.h"

#include <QApplication>
#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <QDir>
#include <QPixmap>
#include <QTabBar>
#include <QTabWidget>

namespace vnk::sheet {

using namespace Qt::StringLiterals;

namespace {

QString fileStem(int index, const QString& caption) {
    QString stem;
    for (QChar c : caption)
        stem += c.isLetterOrNumber() ? c : u'-';
    return u"%1-%2"_s.arg(index + 1, 2, 10, QChar(u'0')).arg(stem);
}

bool save(QWidget& widget, const QString& path, QStringList& written, QString* error) {
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    if (!widget.grab().save(path, "PNG")) {
        if (error)
            *error = u"cannot write "_s + path;
        return false;
    }
    written.push_back(path);
    return true;
}

} // namespace

QStringList renderSheet(PropertySheet& sheet, const QString& directory, QStringList* skipped,
                        QString* error) {
    QStringList written;
    if (!QDir().mkpath(directory)) {
        if (error)
            *error = u"cannot create "_s + directory;
        return written;
    }
    const QDir dir(directory);
    if (!sheet.isVisible())
        sheet.show();
    // As on a desktop screen, where the sheet opens wide enough for all its tabs
    // (the offscreen screen is only 800 pixels wide).
    const int tabsWidth = sheet.tabWidget()->tabBar()->sizeHint().width() + 32;
    if (sheet.width() < tabsWidth)
        sheet.resize(tabsWidth, sheet.height());
    const int start = sheet.activeIndex();
    // Every page lays itself out when it is first shown, and the sheet grows to
    // the tallest: visit them all once so that every picture has the same size.
    for (int i = 0; i < sheet.pageCount(); ++i) {
        sheet.setActivePage(i);
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
    sheet.setActivePage(start);
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    sheet.resize(sheet.size().expandedTo(sheet.minimumSizeHint()));
    for (int i = 0; i < sheet.pageCount(); ++i) {
        if (!sheet.setActivePage(i)) {
            if (skipped)
                skipped->push_back(sheet.tabCaption(i));
            continue;
        }
        if (!save(sheet, dir.filePath(fileStem(i, sheet.tabCaption(i)) + u".png"_s), written, error))
            return written;
    }
    sheet.setActivePage(start);

    std::unique_ptr<AboutBox> about = sheet.makeAboutBox();
    about->show();
    save(*about, dir.filePath(u"about.png"_s), written, error);
    about->close();
    return written;
}

} // namespace vnk::sheet

namespace vnk::sheet {

namespace {

void shotsUsage(const char* name, FILE* out) {
    std::fprintf(out,
                 "Usage: %s [--program-dir DIR] [--box N] OUTPUT_DIR\n"
                 "Renders every page of the utility's sheet and its About box to PNG files in\n"
                 "OUTPUT_DIR, off screen, against the built-in demo LAN on loopback.\n\n"
                 "  --program-dir DIR  where Config.ini and logo.bmp are read (default: this\n"
                 "                     program's directory)\n"
                 "  --box N            select the N-th print server of the list (1 = first)\n",
                 name);
}

} // namespace

int runShots(int argc, char** argv, const ShotsProgram& shots) {
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
            shotsUsage(shots.name, stdout);
            return 0;
        } else if (!a.empty() && a[0] != '-' && output.empty()) {
            output = a;
        } else {
            shotsUsage(shots.name, stderr);
            return 2;
        }
    }
    if (output.empty()) {
        shotsUsage(shots.name, stderr);
        return 2;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromLatin1(shots.utility));

    RecordingUiServices ui;
    std::string error;
    const std::unique_ptr<UtilityProgram> program = shots.makeProgram(programDirectory, ui, error);
    if (!program) {
        std::fprintf(stderr, "%s: %s\n", shots.name, error.c_str());
        return 1;
    }
    PropertySheet& sheet = program->propertySheet();
    auto* general = qobject_cast<Page00*>(sheet.pageFor(PageRole::General));

    QEventLoop wait;
    QObject::connect(general, &Page00::refreshFinished, &wait, &QEventLoop::quit);
    QTimer::singleShot(30000, &wait, &QEventLoop::quit);
    sheet.show();
    wait.exec();

    if (box > 1 && box <= general->serverList()->count())
        general->serverList()->setCurrentIndex(box - 1);

    QStringList skipped;
    QString failure;
    const QStringList files = renderSheet(sheet, QString::fromStdString(output), &skipped, &failure);
    for (const QString& f : files)
        std::printf("%s\n", qPrintable(f));
    for (const QString& s : skipped)
        std::fprintf(stderr, "%s: page \"%s\" cannot be reached\n", shots.name, qPrintable(s));
    for (const auto& m : ui.messages)
        std::fprintf(stderr, "%s: message [%s] %s\n", shots.name, qPrintable(m.caption), qPrintable(m.text));
    if (!failure.isEmpty()) {
        std::fprintf(stderr, "%s: %s\n", shots.name, qPrintable(failure));
        return 1;
    }
    return 0;
}

} // namespace vnk::sheet
