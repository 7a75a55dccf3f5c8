#include "platform/registry.h"

#include "platform/private_file.h"
#include "platform/program_dir.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <unordered_map>

namespace vnk::platform {
namespace {

constexpr std::string_view Header = "REGEDIT4";

char lowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

std::string lowered(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        c = lowerAscii(c);
    return out;
}

bool sameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return lowerAscii(x) == lowerAscii(y); });
}

// True when name is key or a key below it.
bool atOrBelow(std::string_view name, std::string_view key) {
    return sameName(name, key) ||
           (name.size() > key.size() && name[key.size()] == '\\' && sameName(name.substr(0, key.size()), key));
}

std::string_view trimBlanks(std::string_view s) {
    const auto first = s.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

// A line break would end the line it is written on and a NUL would end the
// string for every C caller: neither can be stored.
bool storable(std::string_view s) {
    return s.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

// Not empty and no empty part: "A\B" is a key, "A\\B", "\A" and "A\" are not.
// Nor is "-A": its key line would read as the deletion of A.
bool validKeyPath(std::string_view key) {
    return !key.empty() && key.front() != '\\' && key.front() != '-' && key.back() != '\\' &&
           key.find("\\\\") == std::string_view::npos && storable(key);
}

std::string quotedName(std::string_view s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '\\' || c == '"')
            out += '\\';
        out += c;
    }
    out += '"';
    return out;
}

std::string valueLine(std::string_view name, const RegistryValue& value) {
    std::string line = name.empty() ? std::string("@") : quotedName(name);
    line += '=';
    if (const auto* text = std::get_if<std::string>(&value)) {
        line += quotedName(*text);
    } else {
        char digits[9];
        std::snprintf(digits, sizeof digits, "%08x", unsigned(std::get<std::uint32_t>(value)));
        line += "dword:";
        line += digits;
    }
    return line;
}

// The quoted text that starts at line[pos], unescaped; pos moves past its
// closing quote. Nothing when it is not closed or holds an escape other than
// \\ and \".
std::optional<std::string> readQuoted(std::string_view line, std::size_t& pos) {
    if (pos >= line.size() || line[pos] != '"')
        return std::nullopt;
    std::string out;
    for (std::size_t i = pos + 1; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '"') {
            pos = i + 1;
            return out;
        }
        if (c == '\\') {
            if (i + 1 >= line.size() || (line[i + 1] != '\\' && line[i + 1] != '"'))
                return std::nullopt;
            ++i;
        }
        out += line[i];
    }
    return std::nullopt;
}

std::optional<std::uint32_t> readDword(std::string_view digits) {
    if (digits.empty() || digits.size() > 8)
        return std::nullopt;
    std::uint32_t n = 0;
    for (char c : digits) {
        const char l = lowerAscii(c);
        int d;
        if (l >= '0' && l <= '9')
            d = l - '0';
        else if (l >= 'a' && l <= 'f')
            d = l - 'a' + 10;
        else
            return std::nullopt;
        n = n * 16 + std::uint32_t(d);
    }
    return n;
}

// A value line: @= or "name"=, then "string" or dword:hex, nothing after.
std::optional<std::pair<std::string, RegistryValue>> readValueLine(std::string_view line) {
    std::size_t pos = 0;
    std::string name;
    if (line.front() == '@') {
        pos = 1;
    } else if (auto n = readQuoted(line, pos)) {
        name = std::move(*n);
    } else {
        return std::nullopt;
    }
    std::string_view rest = trimBlanks(line.substr(pos));
    if (rest.empty() || rest.front() != '=')
        return std::nullopt;
    rest = trimBlanks(rest.substr(1));
    if (!rest.empty() && rest.front() == '"') {
        std::size_t end = 0;
        auto text = readQuoted(rest, end);
        if (!text || end != rest.size() || !storable(name) || !storable(*text))
            return std::nullopt;
        return std::pair{std::move(name), RegistryValue(std::move(*text))};
    }
    constexpr std::string_view Dword = "dword:";
    if (rest.size() > Dword.size() && sameName(rest.substr(0, Dword.size()), Dword) && storable(name)) {
        if (auto n = readDword(rest.substr(Dword.size())))
            return std::pair{std::move(name), RegistryValue(*n)};
    }
    return std::nullopt;
}

// Closes a descriptor when it goes out of scope.
struct Descriptor {
    int fd;
    explicit Descriptor(int f) : fd(f) {}
    ~Descriptor() {
        if (fd >= 0)
            ::close(fd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
};

std::string fromEnvironment(const char* name) {
    const char* v = std::getenv(name);
    return v ? std::string(v) : std::string();
}

} // namespace

std::string stateDirectory() {
    if (auto dir = fromEnvironment("VNK_STATE_DIR"); !dir.empty())
        return dir;
    if (auto xdg = fromEnvironment("XDG_STATE_HOME"); !xdg.empty())
        return xdg + "/varnotek";
    if (auto home = fromEnvironment("HOME"); !home.empty())
        return home + "/.local/state/varnotek";
    return {};
}

std::string registryFilePath(const std::string& stateDir) {
    return stateDir + "/registry.reg";
}

RegistryHive RegistryHive::parse(std::string_view text) {
    if (text.starts_with("\xEF\xBB\xBF"))
        text.remove_prefix(3);
    RegistryHive hive;
    // The keys and values read so far by their names in lower case, so that a
    // big file is read in one pass instead of one search of the hive per line.
    // A value is found by its key's number, a NUL and its name.
    std::unordered_map<std::string, std::size_t> keys, values;
    constexpr std::size_t NoKey = std::size_t(-1);
    std::size_t current = NoKey;
    while (!text.empty()) {
        const auto eol = text.find('\n');
        std::string_view line = text.substr(0, eol);
        text.remove_prefix(eol == std::string_view::npos ? text.size() : eol + 1);
        if (line.size() > MaxLineLength) {
            if (trimBlanks(line).starts_with('['))
                current = NoKey; // the values that follow belong to a key we did not read
            continue;
        }
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        line = trimBlanks(line);
        if (line.empty() || line.front() == ';')
            continue;
        if (line.front() == '[') {
            current = NoKey;
            if (line.back() != ']')
                continue;
            const std::string_view name = line.substr(1, line.size() - 2);
            if (!validKeyPath(name))
                continue; // a deletion, or not a key
            const auto [at, added] = keys.try_emplace(lowered(name), hive.m_keys.size());
            if (added)
                hive.m_keys.push_back(Key{std::string(name), {}});
            current = at->second;
            continue;
        }
        if (current == NoKey)
            continue;
        auto value = readValueLine(line);
        // A value whose line, as text() writes it, would be too long to read
        // back ("dword:1" is written with eight digits) is not held either.
        if (!value || valueLine(value->first, value->second).size() > MaxLineLength)
            continue;
        // A name set twice: the later line wins, as an import of the file would have it.
        auto& held = hive.m_keys[current].values;
        const auto [at, added] =
            values.try_emplace(std::to_string(current) + '\0' + lowered(value->first), held.size());
        if (added)
            held.push_back(std::move(*value));
        else
            held[at->second].second = std::move(value->second);
    }
    return hive;
}

std::optional<RegistryHive> RegistryHive::load(const std::string& path) {
    Descriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (file.fd < 0)
        return errno == ENOENT ? std::optional<RegistryHive>(RegistryHive{}) : std::nullopt;
    struct stat st {};
    if (::fstat(file.fd, &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    // Read until the end, or one byte past the limit, whatever the size said:
    // the file may grow while it is read.
    std::string text;
    char chunk[16 * 1024];
    while (text.size() <= MaxHiveBytes) {
        const ssize_t n = ::read(file.fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return std::nullopt;
        if (n == 0)
            return parse(text);
        text.append(chunk, std::size_t(n));
    }
    return std::nullopt;
}

std::string RegistryHive::text() const {
    std::string out(Header);
    out += "\n\n";
    for (const auto& key : m_keys) {
        out += '[' + key.name + "]\n";
        for (const auto& [name, value] : key.values)
            out += valueLine(name, value) + '\n';
        out += '\n';
    }
    return out;
}

bool RegistryHive::save(const std::string& path) const {
    std::error_code ignored;
    std::filesystem::create_directories(directoryOf(path), ignored);
    // A hive the next load would refuse is not written: the old one stays readable.
    const std::string written = text();
    if (written.size() > MaxHiveBytes)
        return false;
    // Kept to its owner, like the records and backups in the same state folder.
    return writeFilePrivately(path, written);
}

RegistryHive::Key* RegistryHive::findKey(std::string_view name) {
    auto it =
        std::find_if(m_keys.begin(), m_keys.end(), [&](const Key& k) { return sameName(k.name, name); });
    return it == m_keys.end() ? nullptr : &*it;
}

const RegistryHive::Key* RegistryHive::findKey(std::string_view name) const {
    return const_cast<RegistryHive*>(this)->findKey(name);
}

bool RegistryHive::hasKey(std::string_view key) const {
    return std::any_of(m_keys.begin(), m_keys.end(), [&](const Key& k) { return atOrBelow(k.name, key); });
}

const RegistryValue* RegistryHive::value(std::string_view key, std::string_view name) const {
    const Key* k = findKey(key);
    if (!k)
        return nullptr;
    for (const auto& [n, v] : k->values) {
        if (sameName(n, name))
            return &v;
    }
    return nullptr;
}

bool RegistryHive::setValue(std::string_view key, std::string_view name, const RegistryValue& value) {
    if (!validKeyPath(key) || key.size() + 2 > MaxLineLength || !storable(name))
        return false;
    if (const auto* text = std::get_if<std::string>(&value); text && !storable(*text))
        return false;
    if (valueLine(name, value).size() > MaxLineLength)
        return false;
    Key* k = findKey(key);
    if (!k)
        k = &m_keys.emplace_back(Key{std::string(key), {}});
    for (auto& [n, v] : k->values) {
        if (sameName(n, name)) {
            v = value;
            return true;
        }
    }
    k->values.emplace_back(std::string(name), value);
    return true;
}

std::vector<std::string> RegistryHive::subkeys(std::string_view key) const {
    std::vector<std::string> names;
    for (const auto& k : m_keys) {
        const std::string_view name = k.name;
        if (name.size() <= key.size() + 1 || name[key.size()] != '\\' || !sameName(name.substr(0, key.size()), key))
            continue;
        std::string_view part = name.substr(key.size() + 1);
        part = part.substr(0, part.find('\\'));
        if (std::none_of(names.begin(), names.end(), [&](const std::string& n) { return sameName(n, part); }))
            names.emplace_back(part);
    }
    return names;
}

bool RegistryHive::removeKey(std::string_view key) {
    const auto before = m_keys.size();
    std::erase_if(m_keys, [&](const Key& k) { return atOrBelow(k.name, key); });
    return m_keys.size() != before;
}

namespace {

std::optional<RegistryValue> queryValue(std::string_view key, std::string_view name,
                                        const std::string& stateDir) {
    if (stateDir.empty())
        return std::nullopt;
    const auto hive = RegistryHive::load(registryFilePath(stateDir));
    if (!hive)
        return std::nullopt;
    const RegistryValue* v = hive->value(key, name);
    return v ? std::optional<RegistryValue>(*v) : std::nullopt;
}

} // namespace

std::optional<std::string> queryRegistryString(std::string_view key, std::string_view name,
                                               std::size_t bufferSize, const std::string& stateDir) {
    auto v = queryValue(key, name, stateDir);
    auto* text = v ? std::get_if<std::string>(&*v) : nullptr;
    if (!text || text->size() >= bufferSize)
        return std::nullopt;
    return std::move(*text);
}

std::optional<std::uint32_t> queryRegistryDword(std::string_view key, std::string_view name,
                                                const std::string& stateDir) {
    const auto v = queryValue(key, name, stateDir);
    const auto* n = v ? std::get_if<std::uint32_t>(&*v) : nullptr;
    return n ? std::optional<std::uint32_t>(*n) : std::nullopt;
}

bool setRegistryValue(std::string_view key, std::string_view name, const RegistryValue& value,
                      const std::string& stateDir) {
    return updateRegistry([&](RegistryHive& hive) { return hive.setValue(key, name, value); }, stateDir);
}

bool updateRegistry(const std::function<bool(RegistryHive&)>& change, const std::string& stateDir) {
    if (stateDir.empty())
        return false;
    std::error_code ignored;
    std::filesystem::create_directories(stateDir, ignored);
    // The lock is on the directory itself, so no lock file is left behind; it
    // goes when the descriptor is closed.
    Descriptor directory(::open(stateDir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (directory.fd < 0 || ::flock(directory.fd, LOCK_EX) != 0)
        return false;
    const std::string path = registryFilePath(stateDir);
    auto hive = RegistryHive::load(path);
    return hive && change(*hive) && hive->save(path);
}

} // namespace vnk::platform
