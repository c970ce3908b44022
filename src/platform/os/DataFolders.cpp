#include "DataFolders.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#ifndef KV_DATA_FROM_BINDIR
#define KV_DATA_FROM_BINDIR "../share/video-kelvanor"
#endif

namespace DataFolders {

QString userFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QLatin1Char('/') +
           QLatin1String(kFolderName);
}

QString chooseStartupFolder(const QString& requested) {
    QString folder = requested;
    if (folder.isEmpty()) folder = qEnvironmentVariable(kFolderVariable);
    if (folder.isEmpty()) folder = userFolder();
    return QDir::cleanPath(QDir::current().absoluteFilePath(folder));
}

QStringList installedFolders() {
    QStringList folders;
    auto add = [&folders](const QString& folder) {
        const QString clean = QDir::cleanPath(folder);
        if (!folders.contains(clean) && QFileInfo(clean).isDir()) folders << clean;
    };
    // The first generic data location is the user's own ($XDG_DATA_HOME); the rest
    // are $XDG_DATA_DIRS.
    QStringList dirs = QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation);
    if (!dirs.isEmpty()) dirs.removeFirst();
    for (const QString& dir : dirs)
        add(dir + QLatin1Char('/') + QLatin1String(kFolderName));
    if (QCoreApplication::instance())
        add(QCoreApplication::applicationDirPath() + QLatin1Char('/') + QLatin1String(KV_DATA_FROM_BINDIR));
    return folders;
}

QString find(const QString& startupFolder, const QString& name) {
    QStringList folders = installedFolders();
    if (!startupFolder.isEmpty()) folders.prepend(startupFolder);
    for (const QString& folder : folders) {
        const QString path = QDir(folder).filePath(name);
        if (QFileInfo(path).isFile()) return path;
    }
    return {};
}

} // namespace DataFolders
