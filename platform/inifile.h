// Windows-style initialisation files (Config.ini, MagicPkt.ini), read with the
// semantics the tools were written against: case-insensitive sections and keys,
// the first occurrence of a key wins, values trimmed, a default when a key is
// missing, strings cut to the caller's buffer, integers from their leading digits.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vnk::platform {

class IniFile {
public:
    // nullopt when the file cannot be opened for reading.
    static std::optional<IniFile> load(const std::string& path);
    static IniFile parse(const std::string& text);

    // The value as stored (trimmed, surrounding quotes removed); nullopt when the
    // section or the key is missing.
    std::optional<std::string> value(const std::string& section, const std::string& key) const;
    // Section names in file order, as written, each once.
    std::vector<std::string> sections() const;
    // The keys of one section in file order, as written (lower-cased lookups above).
    std::vector<std::pair<std::string, std::string>> entries(const std::string& section) const;

    // Every line that is not blank or a comment, in file order, with its line
    // number, for readers that report mistakes by line. A key line before any
    // section, or a line without '=' inside one, is Other: value() never sees it.
    struct Line {
        enum class Kind { Section, Entry, Other };
        int number = 0;      // 1 for the first line of the text
        Kind kind = Kind::Other;
        std::string section; // Section: the name; Entry: the name of its section, as written at its header
        std::string key;     // Entry: as written, trimmed
        std::string value;   // Entry: trimmed, surrounding quotes removed
        std::string text;    // the whole line, trimmed
        bool closed = true;  // Section: the header has its ']'
    };
    const std::vector<Line>& lines() const { return m_lines; }

private:
    struct Entry {
        std::string section; // lower-cased
        std::string key;     // lower-cased
        std::string value;
        std::string keyAsWritten;
    };
    std::vector<Entry> m_entries;
    std::vector<std::string> m_sections;
    std::vector<Line> m_lines;
};

// GetPrivateProfileString: the value, or the default when the key is missing;
// the result is cut to bufferSize - 1 characters (room for the terminator).
std::string profileString(const std::string& path, const std::string& section, const std::string& key,
                          const std::string& defaultValue, std::size_t bufferSize);

// GetPrivateProfileInt: the leading decimal number of the value (optional blanks
// and sign first; 0 when there are no digits); the default when the key is
// missing or its value is empty.
int profileInt(const std::string& path, const std::string& section, const std::string& key, int defaultValue);

// The leading-number conversion shared by profileInt and the callers that read a
// key as a string first (atoi semantics, saturating instead of overflowing).
int leadingInt(std::string_view text);

} // namespace vnk::platform
