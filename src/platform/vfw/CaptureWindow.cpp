#include "CaptureWindow.h"

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
    : QWidget(parent),
      m_camera(std::make_unique<CameraConnection>([this](const VideoFrame& frame) { onFrame(frame); })),
      m_captureParms(defaultCaptureParms()), m_audioFormat(defaultAudioFormat()),
      m_captureFile(defaultCaptureFileName()) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_previewTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_previewTimer, &QTimer::timeout, this, &CaptureWindow::previewTick);
    connect(m_camera.get(), &CameraConnection::streamStopped, this, &CaptureWindow::clearNewestFrame);
    connect(m_camera.get(), &CameraConnection::failed, this, &CaptureWindow::onDriverFailed);
    connect(m_camera.get(), &CameraConnection::resumed, this, &CaptureWindow::onDriverResumed);
}

CaptureWindow::~CaptureWindow() {
    disconnectDriver();
    if (m_handle) windowTable().erase(m_handle);
}

bool CaptureWindow::connectDriver(int index) {
    disconnectDriver();
    QString error;
    switch (m_camera->open(index, &error)) {
    case CameraConnection::OpenResult::NoSuchDriver:
        m_openError = QStringLiteral("There is no device %1.").arg(index);
        return false;
    case CameraConnection::OpenResult::CannotOpen:
        m_openError = error;
        reportStatus(IDS_CAP_VIDEO_OPEN_ERROR, error);
        return false;
    case CameraConnection::OpenResult::Opened:
        break;
    }
    m_openError.clear();
    m_progress = {};
    updateStreaming();
    update();
    return true;
}

void CaptureWindow::disconnectDriver() {
    if (!m_camera->driver()) return;
    m_camera->close(); // no frame callback for this window after this
    m_preview = false;
    m_overlay = false;
    m_previewTimer.stop();
    clearNewestFrame();
    update();
}

void CaptureWindow::updateStreaming() {
    m_camera->setStreaming(m_preview || m_overlay || hasRecordingSink() || m_streamHolds > 0);
}

void CaptureWindow::clearNewestFrame() {
    std::lock_guard lock(m_frameMutex);
    m_newest = {};
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
    if (m_preview && m_previewPeriodMs > 0 && !m_camera->hasFailed())
        m_previewTimer.start(m_previewPeriodMs);
    else
        m_previewTimer.stop();
}

void CaptureWindow::onDriverFailed(const QString& reason) {
    updatePreviewTimer();
    m_progress.returnCode = IDS_CAP_DRIVER_ERROR;
    update();
    reportStatus(IDS_CAP_DRIVER_ERROR, reason);
    emit driverFailed(reason);
}

void CaptureWindow::onDriverResumed() {
    m_progress.returnCode = 0;
    updatePreviewTimer();
    updateStreaming();
    update();
    emit driverResumed();
}

QString CaptureWindow::failureText() const {
    if (!m_camera->hasFailed()) return {};
    if (m_camera->isBusy())
        return m_camera->failureReason() +
               QStringLiteral(
                   "\n\nThe picture comes back by itself when the other program lets the camera go.");
    return m_camera->failureReason() +
           QStringLiteral("\n\nThe picture comes back by itself when the camera is plugged in again.");
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
    const bool showing = frame.isValid() && (m_preview || m_overlay) && !m_camera->hasFailed();
    if (!showing) {
        painter.fillRect(rect(), Qt::black);
        if (m_camera->hasFailed()) {
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
