#include "DeviceWatcher.h"

#include "DriverList.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSocketNotifier>
#include <cerrno>
#include <sys/inotify.h>
#include <unistd.h>

namespace {

constexpr std::uint32_t kNodeEvents = IN_CREATE | IN_DELETE | IN_ATTRIB | IN_MOVED_FROM | IN_MOVED_TO;

bool isVideoNodeName(const QString& name) {
    static const QRegularExpression pattern(QStringLiteral("^video\\d+$"));
    return pattern.match(name).hasMatch() || name == QLatin1String("v4l");
}

} // namespace

DeviceWatcher::DeviceWatcher(const QString& folder, QObject* parent) : QObject(parent), m_folder(folder) {
    m_fd.reset(inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    if (!m_fd.isValid()) return;
    if (inotify_add_watch(m_fd.get(), QFile::encodeName(folder).constData(), kNodeEvents) < 0) {
        m_fd.reset();
        return;
    }
    watchByIdFolder();
    m_notifier = new QSocketNotifier(m_fd.get(), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &DeviceWatcher::handleEvents);
}

DeviceWatcher::~DeviceWatcher() {
    delete m_notifier; // before the descriptor it watches
}

void DeviceWatcher::watchByIdFolder() {
    // Made by udev with the first camera; watched from when it exists.
    if (m_byIdWatch >= 0) return;
    const QString byId = QDir(m_folder).filePath(QStringLiteral("v4l/by-id"));
    if (QDir(byId).exists())
        m_byIdWatch = inotify_add_watch(m_fd.get(), QFile::encodeName(byId).constData(), kNodeEvents);
}

void DeviceWatcher::handleEvents() {
    if (!m_fd.isValid()) return;
    bool relevant = false;
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        const ssize_t length = ::read(m_fd.get(), buffer, sizeof buffer);
        if (length <= 0) break; // EAGAIN: all read
        for (ssize_t offset = 0; offset < length;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + offset);
            offset += ssize_t(sizeof(inotify_event) + event->len);
            if (event->mask & IN_Q_OVERFLOW) relevant = true; // events lost: look anyway
            if (event->mask & IN_IGNORED && event->wd == m_byIdWatch) m_byIdWatch = -1;
            if (event->wd == m_byIdWatch)
                relevant = true;
            else if (event->len && isVideoNodeName(QFile::decodeName(event->name)))
                relevant = true;
        }
    }
    watchByIdFolder();
    if (relevant && DriverList::refresh()) emit devicesChanged();
}
