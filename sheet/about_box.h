// The About box: the program icon, title + " Configuration", the Copyright text
// and the Version text of Config.ini, and OK; captioned "About " + title.
#pragma once

#include <QDialog>

namespace vnk::sheet {

class AboutBox : public QDialog {
    Q_OBJECT
public:
    AboutBox(const QString& caption, const QString& heading, const QString& copyright, const QString& version,
             const QString& okText, QWidget* parent = nullptr);
    // The three lines as shown, top to bottom.
    QStringList lines() const;
};

} // namespace vnk::sheet
