// Which links of the page npkova-host shows it follows itself: those to a page
// of the shown page's own folder. QTextBrowser hands a click on a relative link
// over already resolved against the page's source, as an absolute file URL.
#pragma once

#include <QUrl>

#include <optional>
#include <string>

namespace vnk::plugin::host {

// The local file a clicked link leads to when it is a page of folder, the
// folder of the page shown: a relative URL, or a file URL of a file directly
// in folder (either way a name that differs only in case finds the file, as in
// resolveLocal). Nothing for a link anywhere else: another folder, another
// scheme (the print servers' own pages), a path that climbs out of folder.
std::optional<std::string> pageOfFolder(const std::string& folder, const QUrl& link);

} // namespace vnk::plugin::host
