// The header every page shows at its top: the logo, the title text beside it and
// a horizontal rule under both.
#pragma once

#include <QLabel>
#include <QWidget>

namespace vnk::sheet {

class PageHeader : public QWidget {
    Q_OBJECT
public:
    explicit PageHeader(QWidget* parent = nullptr);

    void setTitle(const QString& title);
    QString title() const { return m_title->text(); }
    // Shows "logo.bmp" of the directory when it loads, else the built-in logo.
    void refreshLogo(const QString& programDirectory);
    // True while the picture is the one from "logo.bmp".
    bool showsLogoFile() const { return m_fromFile; }
    QPixmap logo() const { return m_logo->pixmap(); }

private:
    QLabel* m_logo;
    QLabel* m_title;
    bool m_fromFile = false;
};

} // namespace vnk::sheet
