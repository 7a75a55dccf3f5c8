#include "plugin/host/page_reading.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace vnk::plugin::host {

namespace {

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

bool isNameChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// Reads the attributes of a tag whose name ends at i; end is where the tag
// must close at the latest. The position after ">" when it closed, else nothing.
std::optional<std::size_t> readAttributes(std::string_view html, std::size_t i, std::size_t end, HtmlTag& tag) {
    const auto skipSpace = [&] {
        while (i < end && (isSpace(html[i]) || html[i] == '/'))
            ++i;
    };
    for (;;) {
        skipSpace();
        if (i >= end)
            return std::nullopt;
        if (html[i] == '>')
            return i + 1;
        const std::size_t nameStart = i;
        while (i < end && !isSpace(html[i]) && html[i] != '=' && html[i] != '>')
            ++i;
        std::string name(html.substr(nameStart, i - nameStart));
        std::string value;
        std::size_t j = i;
        while (j < end && isSpace(html[j]))
            ++j;
        if (j < end && html[j] == '=') {
            i = j + 1;
            while (i < end && isSpace(html[i]))
                ++i;
            if (i < end && (html[i] == '"' || html[i] == '\'')) {
                const char quote = html[i++];
                const std::size_t close = html.find(quote, i);
                if (close == std::string_view::npos || close >= end)
                    return std::nullopt;
                value = html.substr(i, close - i);
                i = close + 1;
            } else {
                const std::size_t valueStart = i;
                while (i < end && !isSpace(html[i]) && html[i] != '>')
                    ++i;
                value = html.substr(valueStart, i - valueStart);
            }
        }
        if (tag.attributes.size() < MaxAttributes)
            tag.attributes.emplace_back(std::move(name), std::move(value));
    }
}

} // namespace

std::optional<std::string> readPage(const std::string& path, std::size_t limit) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    const std::streamoff size = in ? std::streamoff(in.tellg()) : -1;
    if (size < 0 || std::uintmax_t(size) > limit)
        return std::nullopt;
    std::string bytes(std::size_t(size), '\0');
    in.seekg(0);
    if (!in.read(bytes.data(), size))
        return std::nullopt;
    return bytes;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return lower(x) == lower(y); });
}

std::optional<std::string> HtmlTag::attribute(std::string_view name) const {
    for (const auto& [n, v] : attributes)
        if (equalsIgnoringCase(n, name))
            return v;
    return std::nullopt;
}

std::vector<HtmlTag> findTags(std::string_view html, std::string_view name) {
    std::vector<HtmlTag> tags;
    std::size_t pos = 0;
    while (tags.size() < MaxTags) {
        const std::size_t lt = html.find('<', pos);
        if (lt == std::string_view::npos)
            break;
        if (html.substr(lt, 4) == "<!--") {
            const std::size_t close = html.find("-->", lt + 4);
            if (close == std::string_view::npos)
                break;
            pos = close + 3;
            continue;
        }
        std::size_t i = lt + 1;
        while (i < html.size() && isNameChar(html[i]))
            ++i;
        pos = lt + 1;
        if (!equalsIgnoringCase(html.substr(lt + 1, i - lt - 1), name))
            continue;
        HtmlTag tag;
        const std::size_t end = std::min(html.size(), lt + MaxTagLength);
        if (const auto after = readAttributes(html, i, end, tag)) {
            tag.begin = lt;
            tag.end = *after;
            tags.push_back(std::move(tag));
            pos = *after;
        }
    }
    return tags;
}

std::vector<std::string> mimeTypes(std::string_view description) {
    std::vector<std::string> types;
    while (!description.empty()) {
        const std::size_t semicolon = description.find(';');
        const std::string_view entry = description.substr(0, semicolon);
        const std::string_view type = entry.substr(0, entry.find(':'));
        if (!type.empty())
            types.emplace_back(type);
        if (semicolon == std::string_view::npos)
            break;
        description.remove_prefix(semicolon + 1);
    }
    return types;
}

std::optional<std::string> resolveLocal(const std::string& folder, std::string_view url) {
    url = url.substr(0, url.find_first_of("?#"));
    if (url.empty() || url.front() == '/' || url.find(':') != std::string_view::npos)
        return std::nullopt;
    namespace fs = std::filesystem;
    const fs::path wanted = fs::path(folder) / fs::path(url);
    std::error_code ec;
    if (fs::exists(wanted, ec))
        return wanted.lexically_normal().string();
    const std::string leaf = wanted.filename().string();
    for (fs::directory_iterator it(wanted.parent_path(), ec), end; !ec && it != end; it.increment(ec))
        if (equalsIgnoringCase(it->path().filename().string(), leaf))
            return it->path().lexically_normal().string();
    return wanted.lexically_normal().string();
}

} // namespace vnk::plugin::host
