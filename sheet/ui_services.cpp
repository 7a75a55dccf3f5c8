#include "sheet/ui_services.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMessageBox>

namespace vnk::sheet {

UiServices::Button UiServices::appMessage(const QString& text, Buttons buttons, Icon icon) {
    return message(programName(), text, icon, buttons);
}

QString UiServices::programName() {
    return QCoreApplication::applicationName();
}

namespace {

QMessageBox::Icon qtIcon(UiServices::Icon icon) {
    switch (icon) {
    case UiServices::Icon::Information:
        return QMessageBox::Information;
    case UiServices::Icon::Warning:
        return QMessageBox::Warning;
    case UiServices::Icon::Question:
        return QMessageBox::Question;
    case UiServices::Icon::Critical:
        return QMessageBox::Critical;
    case UiServices::Icon::NoIcon:
        break;
    }
    return QMessageBox::NoIcon;
}

QMessageBox::StandardButtons qtButtons(UiServices::Buttons buttons) {
    QMessageBox::StandardButtons b;
    if (buttons & UiServices::Ok)
        b |= QMessageBox::Ok;
    if (buttons & UiServices::Yes)
        b |= QMessageBox::Yes;
    if (buttons & UiServices::No)
        b |= QMessageBox::No;
    if (buttons & UiServices::Cancel)
        b |= QMessageBox::Cancel;
    return b ? b : QMessageBox::StandardButtons(QMessageBox::Ok);
}

UiServices::Button fromQt(int pressed) {
    switch (pressed) {
    case QMessageBox::Ok:
        return UiServices::Ok;
    case QMessageBox::Yes:
        return UiServices::Yes;
    case QMessageBox::No:
        return UiServices::No;
    case QMessageBox::Cancel:
        return UiServices::Cancel;
    default:
        return UiServices::NoButton;
    }
}

// A message box that appears while the wait cursor is up (a socket failure in the
// middle of a refresh) shows the normal arrow until it is answered.
class ArrowCursor {
public:
    explicit ArrowCursor(bool waiting) : m_active(waiting) {
        if (m_active)
            QGuiApplication::setOverrideCursor(Qt::ArrowCursor);
    }
    ~ArrowCursor() {
        if (m_active)
            QGuiApplication::restoreOverrideCursor();
    }
    ArrowCursor(const ArrowCursor&) = delete;
    ArrowCursor& operator=(const ArrowCursor&) = delete;

private:
    bool m_active;
};

} // namespace

QWidget* QtUiServices::parentWindow() const {
    if (m_parent)
        return m_parent.data();
    return QApplication::activeWindow();
}

UiServices::Button QtUiServices::message(const QString& caption, const QString& text, Icon icon,
                                         Buttons buttons) {
    QMessageBox box(qtIcon(icon), caption, text, qtButtons(buttons), parentWindow());
    ArrowCursor arrow(m_waitDepth > 0);
    return fromQt(box.exec());
}

void QtUiServices::beginWait() {
    ++m_waitDepth;
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
}

void QtUiServices::endWait() {
    if (m_waitDepth == 0)
        return;
    --m_waitDepth;
    QGuiApplication::restoreOverrideCursor();
}

QString QtUiServices::openFileName(const QString& caption, const QString& directory, const QString& filter) {
    ArrowCursor arrow(m_waitDepth > 0);
    return QFileDialog::getOpenFileName(parentWindow(), caption, directory, filter);
}

} // namespace vnk::sheet
