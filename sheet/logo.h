// The pictures of the utility: the page logo (a "logo.bmp" beside the program
// replaces the built-in one when it loads) and the program icon.
#pragma once

#include <QIcon>
#include <QPixmap>
#include <QString>

namespace vnk::sheet {

// The logo drawn into every page header when there is no usable "logo.bmp".
QPixmap builtInLogo();
// The program icon (window icon, About box).
QIcon programIcon();
QPixmap programIconPixmap(int size);

// "logo.bmp" in the given directory, read as a BMP file only; a null pixmap
// when it is missing or does not load. Logos larger than the header's logo area
// are scaled down, keeping their shape, so a big picture cannot push the page
// controls off the sheet.
QPixmap loadLogoFile(const QString& programDirectory);

inline constexpr int LogoMaxWidth = 160;
inline constexpr int LogoMaxHeight = 64;

} // namespace vnk::sheet
