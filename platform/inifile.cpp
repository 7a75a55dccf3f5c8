#include "platform/inifile.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <fstream>
#include <sstream>
#include <unordered_set>

namespace vnk::platform {
namespace {

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return s;
}

std::string trim(const std::string& s) {
    const char* blanks = " \t\r\n";
    const auto first = s.find_first_not_of(blanks);
    if (first == std::string::npos)
        return {};
    const auto last = s.find_last_not_of(blanks);
    return s.substr(first, last - first + 1);
}

} // namespace

std::optional<IniFile> IniFile::load(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::ostringstream text;
    text << in.rdbuf();
    return parse(text.str());
}

IniFile IniFile::parse(const std::string& text) {
    IniFile ini;
    std::unordered_set<std::string> known; // the sections' names, lower-cased
    std::string section;
    std::string sectionAsWritten;
    bool inSection = false;
    std::istringstream lines(text);
    std::string raw;
    int number = 0;
    while (std::getline(lines, raw)) {
        ++number;
        const std::string line = trim(raw);
        if (line.empty() || line[0] == ';')
            continue;
        Line seen;
        seen.number = number;
        seen.text = line;
        if (line[0] == '[') {
            const auto close = line.find(']');
            const std::string name = trim(line.substr(1, close == std::string::npos ? std::string::npos : close - 1));
            section = lower(name);
            sectionAsWritten = name;
            inSection = true;
            if (known.insert(section).second)
                ini.m_sections.push_back(name);
            seen.kind = Line::Kind::Section;
            seen.section = name;
            seen.closed = close != std::string::npos;
            ini.m_lines.push_back(std::move(seen));
            continue;
        }
        const auto eq = line.find('=');
        if (!inSection || eq == std::string::npos) {
            ini.m_lines.push_back(std::move(seen));
            continue;
        }
        std::string value = trim(line.substr(eq + 1));
        if (value.size() >= 2 && ((value.front() == '"' && value.back() == '"') ||
                                  (value.front() == '\'' && value.back() == '\'')))
            value = value.substr(1, value.size() - 2);
        const std::string key = trim(line.substr(0, eq));
        ini.m_entries.push_back({section, lower(key), value, key});
        seen.kind = Line::Kind::Entry;
        seen.section = sectionAsWritten;
        seen.key = key;
        seen.value = value;
        ini.m_lines.push_back(std::move(seen));
    }
    return ini;
}

std::optional<std::string> IniFile::value(const std::string& section, const std::string& key) const {
    const std::string s = lower(section), k = lower(key);
    for (const auto& e : m_entries)
        if (e.section == s && e.key == k)
            return e.value;
    return std::nullopt;
}

std::vector<std::string> IniFile::sections() const {
    return m_sections;
}

std::vector<std::pair<std::string, std::string>> IniFile::entries(const std::string& section) const {
    std::vector<std::pair<std::string, std::string>> out;
    const std::string s = lower(section);
    for (const auto& e : m_entries)
        if (e.section == s)
            out.emplace_back(e.keyAsWritten, e.value);
    return out;
}

std::string profileString(const std::string& path, const std::string& section, const std::string& key,
                          const std::string& defaultValue, std::size_t bufferSize) {
    std::string result = defaultValue;
    if (const auto ini = IniFile::load(path))
        if (auto v = ini->value(section, key))
            result = *v;
    if (bufferSize == 0)
        return {};
    if (result.size() > bufferSize - 1)
        result.resize(bufferSize - 1);
    return result;
}

int leadingInt(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    long long n = 0;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) {
        n = n * 10 + (text[i++] - '0');
        if (n > INT_MAX)
            return negative ? INT_MIN : INT_MAX;
    }
    return int(negative ? -n : n);
}

int profileInt(const std::string& path, const std::string& section, const std::string& key, int defaultValue) {
    const auto ini = IniFile::load(path);
    if (!ini)
        return defaultValue;
    const auto v = ini->value(section, key);
    if (!v || v->empty())
        return defaultValue;
    return leadingInt(*v);
}

} // namespace vnk::platform
