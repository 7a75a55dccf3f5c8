// The three branding strings the utility reads at start-up from Config.ini beside
// the program: the title shown everywhere, and the two lines of the About box.
// Qt-free, so that any front end reads them the same way.
#pragma once

#include <cstddef>
#include <string>

namespace vnk::sheet {

// Each string lives in an 80-byte buffer: 79 characters and the terminator.
inline constexpr std::size_t AppStringBuffer = 80;
inline constexpr const char* SettingsSection = "General Information";

struct AppStrings {
    std::string title;
    std::string copyright;
    std::string version;
};

// programDirectory + "/Config.ini"
std::string settingsPathFor(const std::string& programDirectory);

// Title (default "Print Server"), Copyright (default empty) and Version (default
// "Version 4.0"), each cut to 79 bytes. A missing file or key gives the default.
AppStrings readAppStrings(const std::string& settingsPath);

// Cuts UTF-8 text to at most maxBytes without splitting a character: a byte cut
// through a multi-byte sequence would leave an invalid character on the screen.
std::string cutAtCharacterBoundary(std::string text, std::size_t maxBytes);

} // namespace vnk::sheet
