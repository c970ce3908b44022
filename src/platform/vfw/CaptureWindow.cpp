#include "CaptureWindow.h"

#include "CameraSettings.h"
#include "DriverList.h"
#include "Logging.h"
#include "SharedDriver.h"

#include <QApplication>
#include <QPainter>
#include <QPointer>
#include <QThread>
#include <algorithm>
#include <map>

namespace {

std::map<HWND, QPointer<CaptureWindow>>& windowTable() {
    static std::map<HWND, QPointer<CaptureWindow>> table;
    return table;
}

bool onUiThread() {
    return qApp && QThread::currentThread() == qApp->thread();
}

} // namespace

HWND CaptureWindow::attach(CaptureWindow* window) {
    static HWND next = 1;
    window->m_handle = next++;
    windowTable()[window->m_handle] = window;
    return window->m_handle;
}

CaptureWindow* CaptureWindow::find(HWND handle) {
    if (handle == 0 || !onUiThread()) return nullptr;
    const auto it = windowTable().find(handle);
    return it == windowTable().end() ? nullptr : it->second.data();
}

CaptureWindow::CaptureWindow(QWidget* parent)
    : QWidget(parent), m_captureParms(defaultCaptureParms()), m_audioFormat(defaultAudioFormat()),
      m_captureFile(defaultCaptureFileName()) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_previewTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_previewTimer, &QTimer::timeout, this, &CaptureWindow::previewTick);
    connect(DriverList::notifier(), &DriverList::Notifier::changed, this,
            &CaptureWindow::onDeviceListChanged);
}

CaptureWindow::~CaptureWindow() {
    disconnectDriver();
    if (m_handle) windowTable().erase(m_handle);
}

bool CaptureWindow::connectDriver(int index) {
    disconnectDriver();
    const auto entry = DriverList::entry(index);
    if (!entry) return false;
    QString error;
    m_source = SharedDriver::acquire(*entry, &error);
    if (!m_source) {
        reportStatus(IDS_CAP_VIDEO_OPEN_ERROR, error);
        return false;
    }
    subscribe();
    m_driverIndex = index;
    m_followKey = entry->followKey();
    m_identity = entry->identity;
    // The camera as it was left last time; and it is now the camera used last.
    CameraSettings::restore(m_identity, *m_driver,
                            [this](const VideoFormat& format) { return applyFormat(format); });
    CameraSettings::save(m_identity, *m_driver);
    m_driverFailed = false;
    m_driverError.clear();
    m_progress = {};
    updateStreaming();
    update();
    return true;
}

void CaptureWindow::subscribe() {
    // An error queued by an earlier connection must not fail this one.
    const std::uint64_t connection = ++m_connection;
    QPointer<CaptureWindow> self(this);
    m_subscription = m_source->subscribe([this](const VideoFrame& frame) { onFrame(frame); },
                                         [self, connection](const QString& reason) {
                                             QMetaObject::invokeMethod(
                                                 self.data(),
                                                 [self, connection, reason] {
                                                     if (self && self->m_connection == connection)
                                                         self->onDriverError(reason);
                                                 },
                                                 Qt::QueuedConnection);
                                         });
    m_driver = &m_source->driver();
}

void CaptureWindow::disconnectDriver() {
    if (!m_driver) return;
    if (!m_driverFailed) CameraSettings::save(m_identity, *m_driver);
    m_source->unsubscribe(m_subscription); // no frame callback for this window after this
    m_source.reset();                      // the last window closes the driver
    m_driver = nullptr;
    m_subscription = 0;
    m_driverIndex = -1;
    m_followKey.clear();
    m_driverFailed = false;
    m_preview = false;
    m_overlay = false;
    m_previewTimer.stop();
    {
        std::lock_guard lock(m_frameMutex);
        m_newest = {};
    }
    update();
}

void CaptureWindow::updateStreaming() {
    if (!m_driver) return;
    const bool wanted =
        !m_driverFailed && (m_preview || m_overlay || hasRecordingSink() || m_streamHolds > 0);
    if (!m_source->setWanted(m_subscription, wanted)) onDriverError(m_driver->lastError());
}

void CaptureWindow::onFrame(const VideoFrame& frame) {
    {
        std::lock_guard lock(m_frameMutex);
        m_newest = frame;
        ++m_framesArrived;
    }
    {
        std::lock_guard lock(m_sinkMutex);
        if (m_sink) m_sink(frame);
    }
    // One queued notification at a time: a busy UI thread gets the newest frame, not a backlog.
    if (!m_arrivalQueued.exchange(true))
        QMetaObject::invokeMethod(this, &CaptureWindow::onFrameQueued, Qt::QueuedConnection);
}

void CaptureWindow::onFrameQueued() {
    m_arrivalQueued = false;
    if (m_overlay || (m_preview && m_previewPeriodMs == 0)) update();
    emit frameArrived();
}

void CaptureWindow::previewTick() {
    std::lock_guard lock(m_frameMutex);
    if (m_framesArrived != m_lastPaintedArrival) update();
}

void CaptureWindow::updatePreviewTimer() {
    // A failed device sends nothing: no timer ticks while it is away.
    if (m_preview && m_previewPeriodMs > 0 && !m_driverFailed)
        m_previewTimer.start(m_previewPeriodMs);
    else
        m_previewTimer.stop();
}

void CaptureWindow::onDriverError(const QString& reason) {
    if (!m_driver || m_driverFailed) {
        qCDebug(lcCaptureWindow) << "driver error after the first one, not reported:" << reason;
        return;
    }
    m_driverFailed = true;
    m_driverError = reason;
    m_formatBeforeFailure = m_driver->format();
    m_source->halt();
    updatePreviewTimer();
    m_progress.returnCode = IDS_CAP_DRIVER_ERROR;
    update();
    reportStatus(IDS_CAP_DRIVER_ERROR, reason);
    emit driverFailed(reason);
}

QString CaptureWindow::failureText() const {
    if (!m_driverFailed) return {};
    return m_driverError +
           QStringLiteral("\n\nThe picture comes back by itself when the camera is plugged in again.");
}

void CaptureWindow::onDeviceListChanged() {
    if (!m_driver) return;
    int index = DriverList::indexOfKey(m_followKey);
    if (m_driverFailed && !m_identity.byId.isEmpty() && (index < 0 || !DriverList::entry(index)->present)) {
        // Plugged in at another port: another bus, the same by-id link.
        const int moved = DriverList::indexOf(m_identity);
        if (moved >= 0) index = moved;
    }
    if (index >= 0) m_driverIndex = index;
    if (m_driverFailed && index >= 0 && DriverList::entry(index)->present) resume();
}

bool CaptureWindow::resume() {
    const auto entry = DriverList::entry(m_driverIndex);
    if (!entry) return false;
    QString error;
    auto source = SharedDriver::acquire(*entry, &error);
    if (!source)
        return false; // not usable yet (udev has not given its permissions): the next change tries again
    m_source->unsubscribe(m_subscription);
    m_source = std::move(source);
    subscribe();
    m_driverFailed = false;
    m_driverError.clear();
    m_progress.returnCode = 0;
    {
        std::lock_guard lock(m_frameMutex);
        m_newest = {};
    }
    // The camera starts with its defaults again: it gets back its control values and
    // the format it had.
    CameraSettings::restore(m_identity, *m_driver,
                            [this](const VideoFormat& format) { return applyFormat(format); });
    if (m_formatBeforeFailure.fourcc && m_driver->format() != m_formatBeforeFailure)
        m_source->reconfigure(
            [this](CaptureDriver& driver) { return driver.setFormat(m_formatBeforeFailure); });
    updatePreviewTimer();
    updateStreaming();
    update();
    emit driverResumed();
    return true;
}

void CaptureWindow::setRecordingSink(FrameSink sink) {
    {
        std::lock_guard lock(m_sinkMutex);
        m_sink = std::move(sink);
    }
    updateStreaming();
}

bool CaptureWindow::hasRecordingSink() const {
    std::lock_guard lock(m_sinkMutex);
    return bool(m_sink);
}

void CaptureWindow::reportStatus(int statusId, const QString& text) {
    if (!m_statusCallback) return;
    const QByteArray bytes = text.toLocal8Bit();
    m_statusCallback(m_handle, statusId, bytes.constData());
}

VideoFrame CaptureWindow::newestFrame() const {
    std::lock_guard lock(m_frameMutex);
    return m_newest;
}

void CaptureWindow::paintEvent(QPaintEvent*) {
    VideoFrame frame;
    const std::uint64_t previousArrival = m_lastPaintedArrival;
    std::uint64_t arrival = 0;
    {
        std::lock_guard lock(m_frameMutex);
        frame = m_newest;
        arrival = m_framesArrived;
        m_lastPaintedArrival = arrival;
    }
    QPainter painter(this);
    const bool showing = frame.isValid() && (m_preview || m_overlay) && !m_driverFailed;
    if (!showing) {
        painter.fillRect(rect(), Qt::black);
        if (m_driverFailed) {
            painter.setPen(Qt::white);
            painter.drawText(rect().adjusted(8, 8, -8, -8), Qt::AlignCenter | Qt::TextWordWrap,
                             failureText());
        }
        return;
    }
    if (m_scale) {
        // A window smaller than the frame gets a picture decoded at about its size.
        painter.drawImage(rect(), frame.image((QSizeF(size()) * devicePixelRatioF()).toSize()));
    } else {
        // Drawn at its own size from the top left; the rest of the window stays black.
        painter.drawImage(0, 0, frame.image());
        const QRect picture(QPoint(0, 0), frame.size());
        if (!picture.contains(rect())) {
            const QRegion rest = QRegion(rect()).subtracted(picture);
            for (const QRect& r : rest)
                painter.fillRect(r, Qt::black);
        }
    }
    if (arrival != previousArrival) ++m_paintedFrames;
}
