// What npkova-host reads of a page, without Qt: the <embed> and <frame>
// elements with their attributes, the MIME types a plug-in names, and where a
// relative URL leads on disk.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vnk::plugin::host {

// A page bigger than this is not read.
inline constexpr std::size_t MaxPageBytes = 1 << 20;
// A tag longer than this (from "<" to ">") is skipped.
inline constexpr std::size_t MaxTagLength = 8 * 1024;
// Attributes after this many in one tag are dropped.
inline constexpr std::size_t MaxAttributes = 64;
// Tags after this many of one name in one page are not looked at.
inline constexpr std::size_t MaxTags = 32;

// A file's bytes, read at the size it has; nothing when it cannot be read or
// is larger than limit.
std::optional<std::string> readPage(const std::string& path, std::size_t limit = MaxPageBytes);

struct HtmlTag {
    // Names and values as the page gives them: case kept, quotes removed, a
    // name without a value has an empty one.
    std::vector<std::pair<std::string, std::string>> attributes;
    // Where the tag stands in the page: its "<" and just after its ">".
    std::size_t begin = 0, end = 0;
    // The value of the first attribute of that name, in any case.
    std::optional<std::string> attribute(std::string_view name) const;
};

// The tags of one name (any case) in page order, comments skipped. A tag that
// is not closed with ">" before the page or MaxTagLength ends is dropped.
std::vector<HtmlTag> findTags(std::string_view html, std::string_view name);

// The MIME types of a plug-in's description, "type:extensions:description"
// entries separated by ";".
std::vector<std::string> mimeTypes(std::string_view description);

bool equalsIgnoringCase(std::string_view a, std::string_view b);

// Where a relative URL (no scheme; a query or a fragment is dropped) leads from
// a folder. When no file has exactly that name, a file whose name differs only
// in case is taken, as the Windows file system the pages were written for
// takes it; when there is neither, the path as written. Nothing for a URL with
// a scheme or an absolute path.
std::optional<std::string> resolveLocal(const std::string& folder, std::string_view url);

} // namespace vnk::plugin::host
