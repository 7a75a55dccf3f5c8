#include "plugin/host/link_following.h"

#include "plugin/host/page_reading.h"

#include <QDir>
#include <QFileInfo>

namespace vnk::plugin::host {

std::optional<std::string> pageOfFolder(const std::string& folder, const QUrl& link) {
    QString path;
    if (link.isLocalFile())
        path = link.toLocalFile();
    else if (link.isRelative() && !link.path().isEmpty() && !link.path().startsWith(QLatin1Char('/')))
        path = QDir(QString::fromStdString(folder)).filePath(link.path());
    else
        return std::nullopt;
    const QFileInfo file(QDir::cleanPath(path));
    if (file.fileName().isEmpty() || QDir::cleanPath(file.path()) != QDir::cleanPath(QString::fromStdString(folder)))
        return std::nullopt;
    return resolveLocal(folder, file.fileName().toStdString());
}

} // namespace vnk::plugin::host
