#include "sheet/screenshots.h"

#include "sheet/about_box.h"
#include "sheet/property_sheet.h"

#include <QCoreApplication>
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
