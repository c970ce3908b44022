#pragma once

#include "FileDescriptor.h"

#include <QObject>
#include <QString>

class QSocketNotifier;

// Watches a device folder (/dev) for video nodes coming and going, with inotify, and
// has DriverList read the devices again when they do. Nodes appear before udev has
// given them their permissions and by-id links, so changes of attributes and of
// `folder`/v4l/by-id count too.
//
// UI thread. The watch lives as long as the object.
class DeviceWatcher : public QObject {
    Q_OBJECT
public:
    explicit DeviceWatcher(const QString& folder = QStringLiteral("/dev"), QObject* parent = nullptr);
    ~DeviceWatcher() override;
    DeviceWatcher(const DeviceWatcher&) = delete;
    DeviceWatcher& operator=(const DeviceWatcher&) = delete;

    // Whether the folder is watched (false when inotify is not available).
    bool isWatching() const { return m_fd.isValid(); }
    QString folder() const { return m_folder; }

    // Reads the pending notifications; when one concerns a video node, reads the
    // device list again. The socket notifier calls it; tests may too.
    void handleEvents();

signals:
    // The device list changed (DriverList::notifier() says so too).
    void devicesChanged();

private:
    void watchByIdFolder();

    QString m_folder;
    FileDescriptor m_fd; // inotify's; declared before the notifier that watches it
    int m_byIdWatch = -1;
    QSocketNotifier* m_notifier = nullptr; // a child: deleted first by the destructor
};
