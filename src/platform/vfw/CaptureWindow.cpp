#include "CaptureWindow.h"

#include "CaptureDialogs.h"
#include "DriverList.h"
#include "SharedDriver.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QPainter>
#include <QPointer>
#include <QStandardPaths>
#include <QThread>
#include <algorithm>
#include <cstring>
#include <map>

namespace {

// How long an edit copy without a running stream waits for the driver's first frame.
constexpr int kFirstFrameTimeoutMs = 3000;

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
}

CaptureWindow::~CaptureWindow() {
    disconnectDriver();
    if (m_handle) windowTable().erase(m_handle);
}

CAPTUREPARMS CaptureWindow::defaultCaptureParms() {
    CAPTUREPARMS parms{};
    parms.dwRequestMicroSecPerFrame = 66667; // 15 frames per second
    parms.wPercentDropForError = 10;
    parms.fYield = FALSE;
    parms.dwIndexSize = 34952; // 32K frames plus their share of audio chunks
    parms.wChunkGranularity = 0;
    parms.wNumVideoRequested = 32;
    parms.fCaptureAudio = TRUE;
    parms.wNumAudioRequested = 4;
    parms.vKeyAbort = 0x1B; // Escape
    parms.fAbortLeftMouse = TRUE;
    parms.fAbortRightMouse = TRUE;
    parms.wStepCaptureAverageFrames = 3;
    parms.AVStreamMaster = AVSTREAMMASTER_AUDIO;
    return parms;
}

WAVEFORMATEX CaptureWindow::defaultAudioFormat() {
    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = 1;
    format.nSamplesPerSec = 11025;
    format.wBitsPerSample = 8;
    format.nBlockAlign = 1;
    format.nAvgBytesPerSec = 11025;
    return format;
}

QString CaptureWindow::defaultCaptureFileName() {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::MoviesLocation);
    if (folder.isEmpty()) folder = QDir::homePath();
    return QDir(folder).absoluteFilePath(QStringLiteral("capture.avi"));
}

LRESULT CaptureWindow::message(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_CAP_SET_CALLBACK_STATUSA:
        m_statusCallback = reinterpret_cast<CAPSTATUSCALLBACK>(lParam);
        return TRUE;
    case WM_CAP_DRIVER_CONNECT:
        return connectDriver(int(wParam)) ? TRUE : FALSE;
    case WM_CAP_DRIVER_DISCONNECT:
        if (!m_driver) return FALSE;
        disconnectDriver();
        return TRUE;
    case WM_CAP_DRIVER_GET_NAMEA:
    case WM_CAP_DRIVER_GET_VERSIONA: {
        if (!m_driver || !lParam || wParam == 0) return FALSE;
        const QByteArray text =
            (msg == WM_CAP_DRIVER_GET_NAMEA ? m_driver->name() : m_driver->version()).toLocal8Bit();
        const std::size_t n = std::min<std::size_t>(wParam - 1, std::size_t(text.size()));
        std::memcpy(reinterpret_cast<char*>(lParam), text.constData(), n);
        reinterpret_cast<char*>(lParam)[n] = '\0';
        return TRUE;
    }
    case WM_CAP_DRIVER_GET_CAPS:
        return getCaps(wParam, lParam);
    case WM_CAP_FILE_SET_CAPTURE_FILEA: {
        if (!lParam) return FALSE;
        const QString name = QString::fromLocal8Bit(reinterpret_cast<const char*>(lParam));
        if (name.isEmpty()) return FALSE;
        m_captureFile = QFileInfo(name).absoluteFilePath();
        return TRUE;
    }
    case WM_CAP_FILE_GET_CAPTURE_FILEA: {
        if (!lParam || wParam == 0) return FALSE;
        const QByteArray text = m_captureFile.toLocal8Bit();
        const std::size_t n = std::min<std::size_t>(wParam - 1, std::size_t(text.size()));
        std::memcpy(reinterpret_cast<char*>(lParam), text.constData(), n);
        reinterpret_cast<char*>(lParam)[n] = '\0';
        return TRUE;
    }
    case WM_CAP_EDIT_COPY:
        return editCopy();
    case WM_CAP_SET_AUDIOFORMAT: {
        if (!lParam || wParam < sizeof(WAVEFORMATEX) - sizeof(WORD)) return FALSE;
        WAVEFORMATEX format{};
        std::memcpy(&format, reinterpret_cast<const void*>(lParam),
                    std::min<std::size_t>(wParam, sizeof format));
        const bool valid = format.wFormatTag == WAVE_FORMAT_PCM &&
                           (format.nChannels == 1 || format.nChannels == 2) &&
                           (format.wBitsPerSample == 8 || format.wBitsPerSample == 16) &&
                           format.nSamplesPerSec >= 8000 && format.nSamplesPerSec <= 192000;
        if (!valid) return FALSE;
        // Keep the derived fields consistent whatever the caller put there.
        format.nBlockAlign = WORD(format.nChannels * format.wBitsPerSample / 8);
        format.nAvgBytesPerSec = format.nSamplesPerSec * format.nBlockAlign;
        format.cbSize = 0;
        m_audioFormat = format;
        return TRUE;
    }
    case WM_CAP_GET_AUDIOFORMAT: {
        if (!lParam) return sizeof(WAVEFORMATEX); // the size a caller needs
        if (wParam == 0) return FALSE;
        const std::size_t n = std::min<std::size_t>(wParam, sizeof(WAVEFORMATEX));
        std::memcpy(reinterpret_cast<void*>(lParam), &m_audioFormat, n);
        return LRESULT(n);
    }
    case WM_CAP_DLG_VIDEOFORMAT:
        return videoFormatDialog();
    case WM_CAP_DLG_VIDEOSOURCE:
        return videoSourceDialog();
    case WM_CAP_DLG_VIDEODISPLAY:
        return videoDisplayDialog();
    case WM_CAP_DLG_VIDEOCOMPRESSION:
        return videoCompressionDialog();
    case WM_CAP_SET_PREVIEW:
        return setPreview(wParam != 0);
    case WM_CAP_SET_OVERLAY:
        return setOverlay(wParam != 0);
    case WM_CAP_SET_PREVIEWRATE:
        return setPreviewRate(wParam);
    case WM_CAP_SET_SCALE:
        if (!m_driver) return FALSE;
        m_scale = wParam != 0;
        update();
        return TRUE;
    case WM_CAP_GET_STATUS:
        return getStatus(wParam, lParam);
    case WM_CAP_SET_SEQUENCE_SETUP:
        if (!lParam || wParam < sizeof(CAPTUREPARMS)) return FALSE;
        std::memcpy(&m_captureParms, reinterpret_cast<const void*>(lParam), sizeof(CAPTUREPARMS));
        return TRUE;
    case WM_CAP_GET_SEQUENCE_SETUP:
        if (!lParam || wParam < sizeof(CAPTUREPARMS)) return FALSE;
        std::memcpy(reinterpret_cast<void*>(lParam), &m_captureParms, sizeof(CAPTUREPARMS));
        return TRUE;
    case WM_CAP_SEQUENCE:
    case WM_CAP_SEQUENCE_NOFILE:
    case WM_CAP_STOP:
    case WM_CAP_ABORT:
    case WM_CAP_SINGLE_FRAME_OPEN:
    case WM_CAP_SINGLE_FRAME_CLOSE:
    case WM_CAP_SINGLE_FRAME:
        return recordingMessage(msg, wParam, lParam);
    default:
        return FALSE;
    }
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
    QPointer<CaptureWindow> self(this);
    m_subscription = m_source->subscribe([this](const VideoFrame& frame) { onFrame(frame); },
                                         [self](const QString& reason) {
                                             QMetaObject::invokeMethod(
                                                 self.data(),
                                                 [self, reason] {
                                                     if (self) self->onDriverError(reason);
                                                 },
                                                 Qt::QueuedConnection);
                                         });
    m_driver = &m_source->driver();
    m_driverIndex = index;
    m_driverFailed = false;
    m_driverError.clear();
    m_progress = {};
    updateStreaming();
    update();
    return true;
}

void CaptureWindow::disconnectDriver() {
    if (!m_driver) return;
    m_source->unsubscribe(m_subscription); // no frame callback for this window after this
    m_source.reset();                      // the last window closes the driver
    m_driver = nullptr;
    m_subscription = 0;
    m_driverIndex = -1;
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

void CaptureWindow::onDriverError(const QString& reason) {
    if (!m_driver || m_driverFailed) return;
    m_driverFailed = true;
    m_driverError = reason;
    m_source->halt();
    m_progress.returnCode = IDS_CAP_DRIVER_ERROR;
    update();
    reportStatus(IDS_CAP_DRIVER_ERROR, reason);
    emit driverFailed(reason);
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

LRESULT CaptureWindow::getStatus(WPARAM size, LPARAM record) {
    if (!m_driver || !record || size == 0) return FALSE;
    CAPSTATUS status{};
    const QSize videoSize = m_driver->format().size;
    status.uiImageWidth = UINT(videoSize.width());
    status.uiImageHeight = UINT(videoSize.height());
    status.fLiveWindow = m_preview;
    status.fOverlayWindow = m_overlay;
    status.fScale = m_scale;
    status.fAudioHardware = TRUE;
    status.fCapFileExists = QFileInfo::exists(m_captureFile);
    status.fCapturingNow = m_progress.capturingNow;
    status.dwCurrentVideoFrame = m_progress.currentVideoFrame;
    status.dwCurrentVideoFramesDropped = m_progress.currentVideoFramesDropped;
    status.dwCurrentWaveSamples = m_progress.currentWaveSamples;
    status.dwCurrentTimeElapsedMS = m_progress.currentTimeElapsedMs;
    status.dwReturn = m_progress.returnCode;
    status.wNumVideoAllocated = m_captureParms.wNumVideoRequested;
    status.wNumAudioAllocated = m_captureParms.wNumAudioRequested;
    std::memcpy(reinterpret_cast<void*>(record), &status, std::min<std::size_t>(size, sizeof status));
    return TRUE;
}

LRESULT CaptureWindow::getCaps(WPARAM size, LPARAM record) {
    if (!m_driver || !record || size == 0) return FALSE;
    const DriverCapabilities driverCaps = m_driver->capabilities();
    CAPDRIVERCAPS caps{};
    caps.wDeviceIndex = UINT(m_driverIndex);
    caps.fHasOverlay = driverCaps.overlay;
    caps.fHasDlgVideoSource = driverCaps.sourceDialog;
    caps.fHasDlgVideoFormat = driverCaps.formatDialog;
    caps.fHasDlgVideoDisplay = driverCaps.displayDialog;
    caps.fCaptureInitialized = TRUE;
    std::memcpy(reinterpret_cast<void*>(record), &caps, std::min<std::size_t>(size, sizeof caps));
    return TRUE;
}

LRESULT CaptureWindow::editCopy() {
    if (!m_driver || m_driverFailed) return FALSE;
    VideoFrame frame = newestFrame();
    if (!frame.isValid()) {
        // Nothing streams yet: run the driver until its first frame arrives.
        ++m_streamHolds;
        updateStreaming();
        QEventLoop loop;
        QTimer timeout;
        timeout.setSingleShot(true);
        connect(&timeout, &QTimer::timeout, &loop, &QEventLoop::quit);
        // A notification queued before the slot was emptied (format change) may come
        // first: wait for an actual frame.
        connect(this, &CaptureWindow::frameArrived, &loop, [this, &loop] {
            if (newestFrame().isValid()) loop.quit();
        });
        connect(this, &CaptureWindow::driverFailed, &loop, &QEventLoop::quit);
        timeout.start(kFirstFrameTimeoutMs);
        frame = newestFrame();
        if (!frame.isValid()) loop.exec();
        --m_streamHolds;
        updateStreaming();
        frame = newestFrame();
        if (!frame.isValid()) return FALSE;
    }
    QApplication::clipboard()->setImage(frame.image);
    return TRUE;
}

LRESULT CaptureWindow::setPreview(bool on) {
    if (!m_driver) return FALSE;
    m_preview = on;
    if (on) m_overlay = false;
    if (m_preview && m_previewPeriodMs > 0)
        m_previewTimer.start(m_previewPeriodMs);
    else
        m_previewTimer.stop();
    updateStreaming();
    if (on) reportStatus(IDS_CAP_STAT_LIVE_MODE, QStringLiteral("Live window"));
    return TRUE;
}

LRESULT CaptureWindow::setOverlay(bool on) {
    if (!m_driver || !m_driver->capabilities().overlay) return FALSE;
    m_overlay = on;
    if (on) {
        m_preview = false;
        m_previewTimer.stop();
    }
    updateStreaming();
    if (on) reportStatus(IDS_CAP_STAT_OVERLAY_MODE, QStringLiteral("Overlay window"));
    return TRUE;
}

LRESULT CaptureWindow::setPreviewRate(WPARAM periodMs) {
    if (!m_driver) return FALSE;
    // A period of 0 paints each frame as it comes; no timer spins.
    m_previewPeriodMs = int(std::min<WPARAM>(periodMs, 60000));
    if (m_preview && m_previewPeriodMs > 0)
        m_previewTimer.start(m_previewPeriodMs);
    else
        m_previewTimer.stop();
    return TRUE;
}

bool CaptureWindow::applyFormat(const VideoFormat& format) {
    if (!m_driver) return false;
    const bool ok = m_source->reconfigure([&format, this](CaptureDriver& driver) {
        // Between stop and restart: no frame arrives while the slot is emptied.
        std::lock_guard lock(m_frameMutex);
        m_newest = {};
        return driver.setFormat(format);
    });
    update();
    return ok;
}

LRESULT CaptureWindow::videoSourceDialog() {
    if (!m_driver || !m_driver->capabilities().sourceDialog) return FALSE;
    CaptureDialogs::showSourceDialog(this, *m_driver);
    return TRUE;
}

LRESULT CaptureWindow::videoFormatDialog() {
    // The format cannot change under a running recording.
    if (!m_driver || !m_driver->capabilities().formatDialog || hasRecordingSink()) return FALSE;
    const auto chosen = CaptureDialogs::showFormatDialog(this, m_driver->formats(), m_driver->format());
    if (chosen && !(*chosen == m_driver->format()) && !applyFormat(*chosen))
        reportStatus(IDS_CAP_DRIVER_ERROR, m_driver->lastError());
    return TRUE;
}

LRESULT CaptureWindow::videoDisplayDialog() {
    if (!m_driver || !m_driver->capabilities().displayDialog) return FALSE;
    if (const auto scale = CaptureDialogs::showDisplayDialog(this, m_scale)) {
        m_scale = *scale;
        update();
    }
    return TRUE;
}

LRESULT CaptureWindow::videoCompressionDialog() {
    if (!m_driver) return FALSE;
    if (const auto choice = CaptureDialogs::showCompressionDialog(this, aviVideoEncoders(), m_compression))
        m_compression = *choice;
    return TRUE;
}

void CaptureWindow::paintEvent(QPaintEvent*) {
    VideoFrame frame;
    const quint64 previousArrival = m_lastPaintedArrival;
    quint64 arrival = 0;
    {
        std::lock_guard lock(m_frameMutex);
        frame = m_newest;
        arrival = m_framesArrived;
        m_lastPaintedArrival = arrival;
    }
    QPainter painter(this);
    const bool showing = frame.isValid() && (m_preview || m_overlay);
    if (!showing) {
        painter.fillRect(rect(), Qt::black);
        if (m_driverFailed) {
            painter.setPen(Qt::white);
            painter.drawText(rect(), Qt::AlignCenter | Qt::TextWordWrap, m_driverError);
        }
        return;
    }
    if (m_scale) {
        painter.drawImage(rect(), frame.image);
    } else {
        // Drawn at its own size from the top left; the rest of the window stays black.
        painter.drawImage(0, 0, frame.image);
        const QRect picture(QPoint(0, 0), frame.image.size());
        if (!picture.contains(rect())) {
            const QRegion rest = QRegion(rect()).subtracted(picture);
            for (const QRect& r : rest)
                painter.fillRect(r, Qt::black);
        }
    }
    if (arrival != previousArrival) ++m_paintedFrames;
}
