#include "V4l2Driver.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <algorithm>
#include <cerrno>
#include <linux/videodev2.h>
#include <map>
#include <sys/stat.h>

// The camera nodes of a device folder: which /dev/video<N> can capture, who each is,
// and the names the driver list shows.

namespace {

QString versionText(std::uint32_t version) {
    return QStringLiteral("%1.%2.%3").arg(version >> 16).arg((version >> 8) & 0xFF).arg(version & 0xFF);
}

// The name of a node that exists but cannot be opened (`error`, which `reason` says):
// the reason, and what helps.
QString unopenedName(const QString& path, const QString& sysName, int error, const QString& reason) {
    const QString who = sysName.isEmpty() ? path : QStringLiteral("%1 (%2)").arg(sysName, path);
    if (error == EACCES || error == EPERM)
        return QStringLiteral("%1: %2 - join the \"video\" group to use it").arg(who, reason);
    return QStringLiteral("%1: %2").arg(who, reason);
}

QString nodeIdentity(const QString& path) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) return {};
    return QStringLiteral("%1/%2").arg(quint64(st.st_rdev)).arg(quint64(st.st_ino));
}

QString readSysText(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return QString::fromLocal8Bit(file.readAll()).trimmed();
}

// The by-id link names of `folder`/v4l/by-id by the node each points to.
std::map<QString, QString> byIdLinks(const QString& folder) {
    std::map<QString, QString> links;
    const QDir dir(QDir(folder).filePath(QStringLiteral("v4l/by-id")));
    for (const QFileInfo& link : dir.entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot)) {
        if (!link.isSymLink()) continue;
        // "-video-index0" is a camera's capture node; other indexes are its metadata nodes.
        const QString target = QFileInfo(link.symLinkTarget()).fileName();
        if (!links.count(target) || link.fileName().endsWith(QLatin1String("index0")))
            links[target] = link.fileName();
    }
    return links;
}

} // namespace

std::vector<V4l2Node> V4l2Driver::captureNodes(const DeviceFactory& factory, const QString& folder,
                                               const QString& sysFolder) {
    static const QRegularExpression pattern(QStringLiteral("^video(\\d+)$"));
    std::vector<std::pair<int, QString>> numbered;
    for (const QString& entry : QDir(folder).entryList(QDir::System | QDir::Files | QDir::NoDotAndDotDot)) {
        const auto match = pattern.match(entry);
        if (match.hasMatch()) numbered.emplace_back(match.captured(1).toInt(), entry);
    }
    std::sort(numbered.begin(), numbered.end());
    const std::map<QString, QString> links = byIdLinks(folder);
    std::vector<V4l2Node> nodes;
    std::vector<QString> busInfo; // by node, to tell cameras of the same name apart
    for (const auto& [number, entry] : numbered) {
        const QString path = QDir(folder).filePath(entry);
        auto device = factory();
        if (!device) continue;
        if (const int error = device->open(QFile::encodeName(path))) {
            // Gone, or no device behind the node: nothing to show.
            if (error == ENOENT || error == ENODEV || error == ENXIO) continue;
            // A device's further nodes (metadata) are not worth a line of their own.
            const QString sysNode = QDir(sysFolder).filePath(entry);
            const QString index = readSysText(sysNode + QStringLiteral("/index"));
            if (!index.isEmpty() && index != QLatin1String("0")) continue;
            nodes.push_back(
                {path,
                 unopenedName(path, readSysText(sysNode + QStringLiteral("/name")), error, errorText(error)),
                 QString()});
            busInfo.push_back(QString());
            continue;
        }
        v4l2_capability cap{};
        const bool ok = device->ioctl(VIDIOC_QUERYCAP, &cap) == 0;
        device->close();
        const std::uint32_t caps = deviceCaps(cap);
        // Single- or multi-planar capture (a SoC's capture unit has only the latter).
        if (!ok || !(caps & (V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_VIDEO_CAPTURE_MPLANE)) ||
            !(caps & V4L2_CAP_STREAMING))
            continue;
        // A node whose input the media controller chooses (V4L2_CAP_IO_MC: an ISP's or
        // a CSI receiver's) streams only once its pipeline is set up: not a camera here.
        if (caps & V4L2_CAP_IO_MC) continue;
        const QString card = fieldText(cap.card, sizeof cap.card);
        busInfo.push_back(fieldText(cap.bus_info, sizeof cap.bus_info));
        nodes.push_back({path, card, versionText(cap.version), card, busInfo.back(),
                         links.count(entry) ? links.at(entry) : QString(), nodeIdentity(path)});
    }
    // Identical cameras: each gets its bus (its node when the bus does not tell them
    // apart either).
    std::map<QString, int> sameName, sameBus;
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        ++sameName[nodes[i].cardName];
        ++sameBus[nodes[i].cardName + QLatin1Char('\n') + busInfo[i]];
    }
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        V4l2Node& node = nodes[i];
        if (sameName[node.cardName] < 2) continue;
        const bool busTells =
            !busInfo[i].isEmpty() && sameBus[node.cardName + QLatin1Char('\n') + busInfo[i]] == 1;
        node.cardName = QStringLiteral("%1 (%2)").arg(node.cardName, busTells ? busInfo[i] : node.path);
    }
    return nodes;
}
