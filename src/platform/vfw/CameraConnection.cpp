#include "CameraConnection.h"

#include "CameraSettings.h"
#include "Logging.h"
#include "SharedDriver.h"

#include <QPointer>

CameraConnection::CameraConnection(FrameCallback onFrame, QObject* parent)
    : QObject(parent), m_onFrame(std::move(onFrame)) {
    connect(DriverList::notifier(), &DriverList::Notifier::changed, this,
            &CameraConnection::onDeviceListChanged);
    m_retryTimer.setInterval(kBusyRetryMs);
    connect(&m_retryTimer, &QTimer::timeout, this, &CameraConnection::retry);
}

CameraConnection::~CameraConnection() {
    close();
}

CameraConnection::OpenResult CameraConnection::open(int index, QString* error) {
    const auto entry = DriverList::entry(index);
    if (!entry) return OpenResult::NoSuchDriver;
    m_source = SharedDriver::acquire(entry->key, entry->create, error);
    if (!m_source) return OpenResult::CannotOpen;
    subscribe();
    m_index = index;
    m_followKey = entry->followKey();
    m_nodeId = entry->nodeId;
    m_identity = entry->identity;
    // The camera as it was left last time; and it is now the camera used last.
    CameraSettings::restore(m_identity, *m_driver,
                            [this](const VideoFormat& format) { return setFormat(format); });
    CameraSettings::save(m_identity, *m_driver);
    m_failed = false;
    m_failureReason.clear();
    return OpenResult::Opened;
}

void CameraConnection::subscribe() {
    // An error queued by an earlier subscription must not fail this one.
    const std::uint64_t connection = ++m_connection;
    QPointer<CameraConnection> self(this);
    m_subscription = m_source->subscribe(m_onFrame, [self, connection](const QString& reason) {
        QMetaObject::invokeMethod(
            self.data(),
            [self, connection, reason] {
                if (self && self->m_connection == connection) self->onDriverError(reason);
            },
            Qt::QueuedConnection);
    });
    m_driver = &m_source->driver();
}

void CameraConnection::close() {
    if (!m_driver) return;
    saveSettings();
    m_source->unsubscribe(m_subscription); // no frame callback after this
    m_source.reset();                      // the last connection closes the driver
    m_driver = nullptr;
    m_subscription = 0;
    m_index = -1;
    m_followKey.clear();
    m_failed = false;
    m_busy = false;
    m_wanted = false;
    m_retryTimer.stop();
}

void CameraConnection::saveSettings() {
    if (m_driver && !m_failed) CameraSettings::save(m_identity, *m_driver);
}

void CameraConnection::setStreaming(bool wanted) {
    if (!m_driver) return;
    m_wanted = wanted;
    if (!m_source->setWanted(m_subscription, wanted && !m_failed))
        onDriverError(m_driver->lastError(), m_driver->lastErrorIsBusy());
}

bool CameraConnection::setFormat(const VideoFormat& format) {
    return reconfigure(format, true);
}

bool CameraConnection::reconfigure(const VideoFormat& format, bool announce) {
    if (!m_driver) return false;
    return m_source->reconfigure([&format, announce, this](CaptureDriver& driver) {
        // Between stop and restart: no frame arrives meanwhile.
        if (announce) emit streamStopped();
        return driver.setFormat(format);
    });
}

void CameraConnection::onDriverError(const QString& reason, bool busy) {
    if (!m_driver || m_failed) {
        qCDebug(lcCaptureWindow) << "driver error after the first one, not reported:" << reason;
        return;
    }
    m_failed = true;
    m_busy = busy;
    m_failureReason = reason;
    m_formatBeforeFailure = m_driver->format();
    m_othersAtFailure.clear();
    for (const DriverList::Entry& entry : DriverList::entries())
        if (entry.present && entry.followKey() != m_followKey) m_othersAtFailure << entry.followKey();
    m_source->halt();
    if (m_busy) m_retryTimer.start();
    emit failed(reason);
    // Made again already (a USB reset the list saw before the stream noticed it).
    const auto entry = DriverList::entry(m_index);
    if (!m_busy && entry && entry->present && entry->followKey() == m_followKey && !entry->nodeId.isEmpty() &&
        entry->nodeId != m_nodeId)
        resume();
}

void CameraConnection::retry() {
    if (!m_failed || !m_busy) {
        m_retryTimer.stop();
        return;
    }
    resume();
}

void CameraConnection::onDeviceListChanged() {
    if (!m_driver) return;
    int index = DriverList::indexOfKey(m_followKey);
    if (m_failed && !m_identity.byId.isEmpty() && (index < 0 || !DriverList::entry(index)->present)) {
        // Plugged in at another port: another bus, the same by-id link; but not a
        // camera that was there already when this one failed (an identical camera
        // without a serial number shares the link).
        const int moved = DriverList::indexOf(m_identity);
        if (moved >= 0 && !m_othersAtFailure.contains(DriverList::entry(moved)->followKey())) index = moved;
    }
    if (index >= 0) m_index = index;
    if (m_failed && index >= 0 && DriverList::entry(index)->present) resume();
}

bool CameraConnection::resume() {
    const auto entry = DriverList::entry(m_index);
    if (!entry) return false;
    QString error;
    auto source = SharedDriver::acquire(entry->key, entry->create, &error);
    if (!source)
        return false; // not usable yet (udev has not given its permissions): the next change tries again
    m_source->unsubscribe(m_subscription);
    m_source = std::move(source);
    subscribe();
    m_followKey = entry->followKey();
    m_nodeId = entry->nodeId;
    auto stillUnavailable = [this] {
        // Not to be had yet (another program streams from it): failed as before.
        m_busy = m_driver->lastErrorIsBusy();
        m_failureReason = m_driver->lastError();
        m_source->halt();
        if (m_busy) m_retryTimer.start();
        return false;
    };
    // A camera another program had is tried first: its values are not written while
    // the other program still uses it.
    if (m_busy && m_wanted && !m_source->setWanted(m_subscription, true)) return stillUnavailable();
    emit streamStopped();
    // The camera starts with its defaults again: it gets back its control values and
    // the format it had.
    CameraSettings::restore(m_identity, *m_driver,
                            [this](const VideoFormat& format) { return setFormat(format); });
    if (m_formatBeforeFailure.fourcc && m_driver->format() != m_formatBeforeFailure)
        reconfigure(m_formatBeforeFailure, false);
    if (m_wanted && !m_source->setWanted(m_subscription, true)) return stillUnavailable();
    m_failed = false;
    m_busy = false;
    m_retryTimer.stop();
    m_failureReason.clear();
    emit resumed();
    return true;
}
