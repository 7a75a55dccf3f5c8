#include "sheet/rules/app_strings.h"

#include "platform/inifile.h"

namespace vnk::sheet {

std::string settingsPathFor(const std::string& programDirectory) {
    return programDirectory + "/Config.ini";
}

std::string cutAtCharacterBoundary(std::string text, std::size_t maxBytes) {
    if (text.size() <= maxBytes)
        return text;
    // text[end] is the first byte dropped; when it continues a character (10xxxxxx),
    // that character is dropped whole.
    std::size_t end = maxBytes;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end;
    text.resize(end);
    return text;
}

AppStrings readAppStrings(const std::string& settingsPath) {
    // Read without the buffer cut first, then cut at a character boundary.
    constexpr std::size_t unlimited = 4096;
    auto read = [&](const char* key, const char* fallback) {
        return cutAtCharacterBoundary(
            platform::profileString(settingsPath, SettingsSection, key, fallback, unlimited),
            AppStringBuffer - 1);
    };
    AppStrings s;
    s.title = read("Title", "Print Server");
    s.copyright = read("Copyright", "");
    s.version = read("Version", "Version 4.0");
    return s;
}

} // namespace vnk::sheet
