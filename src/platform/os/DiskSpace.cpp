#include "DiskSpace.h"

#include <QDir>
#include <QFileInfo>
#include <sys/statvfs.h>

namespace {
std::function<std::optional<std::uint64_t>(const QString&)> g_override;
}

namespace DiskSpace {

std::optional<std::uint64_t> freeBytesFor(const QString& filePath) {
    if (g_override) return g_override(filePath);
    if (filePath.isEmpty() || QDir::isRelativePath(filePath)) return std::nullopt;
    QString dir = QFileInfo(filePath).absolutePath();
    while (!QFileInfo::exists(dir)) {
        const QString parent = QFileInfo(dir).absolutePath();
        if (parent == dir) return std::nullopt;
        dir = parent;
    }
    struct statvfs st {};
    if (statvfs(QFile::encodeName(dir).constData(), &st) != 0) return std::nullopt;
    return std::uint64_t(st.f_bavail) * std::uint64_t(st.f_frsize);
}

void setOverride(std::function<std::optional<std::uint64_t>(const QString&)> query) {
    g_override = std::move(query);
}

} // namespace DiskSpace
