#include "CaptureWindow.h"

#include "CaptureDialogs.h"
#include "TextBuffer.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QPointer>
#include <QStandardPaths>
#include <algorithm>
#include <cstring>

// The capture messages: what each one reads, changes and answers.

namespace {

// How long an edit copy without a running stream waits for the driver's first frame.
constexpr int kFirstFrameTimeoutMs = 3000;

} // namespace

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
    // The user's videos folder, made when the desktop has not made it yet, so that a
    // first recording with the default name has somewhere to go.
    QString folder = QStandardPaths::writableLocation(QStandardPaths::MoviesLocation);
    if (folder.isEmpty() || !QDir().mkpath(folder)) folder = QDir::homePath();
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
        if (!driver()) return FALSE;
        disconnectDriver();
        return TRUE;
    case WM_CAP_DRIVER_GET_NAMEA:
    case WM_CAP_DRIVER_GET_VERSIONA:
        if (!driver()) return FALSE;
        return copyTextToBuffer(msg == WM_CAP_DRIVER_GET_NAMEA ? driver()->name() : driver()->version(),
                                reinterpret_cast<char*>(lParam), wParam)
                   ? TRUE
                   : FALSE;
    case WM_CAP_DRIVER_GET_CAPS:
        return getCaps(wParam, lParam);
    case WM_CAP_FILE_SET_CAPTURE_FILEA: {
        if (!lParam) return FALSE;
        const QString name = QString::fromLocal8Bit(reinterpret_cast<const char*>(lParam));
        if (name.isEmpty()) return FALSE;
        m_captureFile = QFileInfo(name).absoluteFilePath();
        return TRUE;
    }
    case WM_CAP_FILE_GET_CAPTURE_FILEA:
        return copyTextToBuffer(m_captureFile, reinterpret_cast<char*>(lParam), wParam) ? TRUE : FALSE;
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
        if (!driver()) return FALSE;
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

LRESULT CaptureWindow::getStatus(WPARAM size, LPARAM record) {
    if (!driver() || !record || size == 0) return FALSE;
    CAPSTATUS status{};
    const QSize videoSize = driver()->format().size;
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
    if (!driver() || !record || size == 0) return FALSE;
    const DriverCapabilities driverCaps = driver()->capabilities();
    CAPDRIVERCAPS caps{};
    caps.wDeviceIndex = UINT(driverIndex());
    caps.fHasOverlay = driverCaps.overlay;
    caps.fHasDlgVideoSource = driverCaps.sourceDialog;
    caps.fHasDlgVideoFormat = driverCaps.formatDialog;
    caps.fHasDlgVideoDisplay = driverCaps.displayDialog;
    caps.fCaptureInitialized = TRUE;
    // Frames are always true colour: no driver supplies palettes.
    caps.fDriverSuppliesPalettes = FALSE;
    caps.hVideoIn = driverCaps.videoIn;
    caps.hVideoOut = driverCaps.videoOut;
    caps.hVideoExtIn = driverCaps.externalIn;
    caps.hVideoExtOut = driverCaps.externalOut;
    std::memcpy(reinterpret_cast<void*>(record), &caps, std::min<std::size_t>(size, sizeof caps));
    return TRUE;
}

LRESULT CaptureWindow::editCopy() {
    if (!driver() || m_camera->hasFailed()) return FALSE;
    VideoFrame frame = newestFrame();
    if (!frame.isValid()) {
        // Nothing streams yet: run the driver until its first frame arrives. The wait
        // runs events, and one of them may destroy this window (another device chosen,
        // the program ending): the wait then ends at once and touches nothing of it.
        ++m_streamHolds;
        updateStreaming();
        QPointer<CaptureWindow> self(this);
        QEventLoop loop;
        connect(this, &QObject::destroyed, &loop, &QEventLoop::quit);
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
        if (!self) return FALSE;
        --m_streamHolds;
        updateStreaming();
        frame = newestFrame();
        if (!frame.isValid()) return FALSE;
    }
    const QImage picture = frame.image();
    if (picture.isNull()) return FALSE; // a frame that does not decode
    QApplication::clipboard()->setImage(picture);
    return TRUE;
}

LRESULT CaptureWindow::setPreview(bool on) {
    if (!driver()) return FALSE;
    m_preview = on;
    if (on) m_overlay = false;
    updatePreviewTimer();
    updateStreaming();
    if (on) reportStatus(IDS_CAP_STAT_LIVE_MODE, QStringLiteral("Live window"));
    return TRUE;
}

LRESULT CaptureWindow::setOverlay(bool on) {
    if (!driver() || !driver()->capabilities().overlay) return FALSE;
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
    if (!driver()) return FALSE;
    // A period of 0 paints each frame as it comes; no timer spins.
    m_previewPeriodMs = int(std::min<WPARAM>(periodMs, 60000));
    updatePreviewTimer();
    return TRUE;
}

bool CaptureWindow::applyFormat(const VideoFormat& format) {
    if (!driver()) return false;
    const bool ok = m_camera->setFormat(format); // empties the newest-frame slot
    update();
    return ok;
}

bool CaptureWindow::setFrameSize(QSize size, QString* reason) {
    if (!driver()) {
        if (reason) *reason = problem();
        return false;
    }
    const VideoFormat current = driver()->format();
    if (current.size == size) return true;
    const std::vector<FormatOption> options = driver()->formats();
    const FormatOption* chosen = nullptr;
    for (const FormatOption& o : options)
        if (o.size == size && (!chosen || (o.fourcc == current.fourcc && chosen->fourcc != current.fourcc)))
            chosen = &o;
    if (!chosen) {
        if (reason) {
            QStringList sizes;
            for (const FormatOption& o : options) {
                const QString text = QStringLiteral("%1x%2").arg(o.size.width()).arg(o.size.height());
                if (!sizes.contains(text)) sizes << text;
            }
            *reason = QStringLiteral("The device does not offer the size %1x%2; it offers %3.")
                          .arg(size.width())
                          .arg(size.height())
                          .arg(sizes.join(QStringLiteral(", ")));
        }
        return false;
    }
    VideoFormat format{chosen->fourcc, size, current.interval};
    if (!chosen->intervals.empty() && std::find(chosen->intervals.begin(), chosen->intervals.end(),
                                                current.interval) == chosen->intervals.end())
        format.interval = chosen->intervals.front();
    if (applyFormat(format)) return true;
    if (reason) *reason = driver()->lastError();
    return false;
}

QString CaptureWindow::problem() const {
    if (!driver()) return m_openError.isEmpty() ? QStringLiteral("No device is connected.") : m_openError;
    if (m_camera->hasFailed()) return m_camera->failureReason();
    return {};
}

LRESULT CaptureWindow::videoSourceDialog() {
    if (!driver() || !driver()->capabilities().sourceDialog) return FALSE;
    CaptureDialogs::showSourceDialog(this, *driver());
    m_camera->saveSettings();
    return TRUE;
}

LRESULT CaptureWindow::videoFormatDialog() {
    // The format cannot change under a running recording.
    if (!driver() || !driver()->capabilities().formatDialog || hasRecordingSink()) return FALSE;
    const auto chosen = CaptureDialogs::showFormatDialog(this, driver()->formats(), driver()->format(),
                                                         driver()->formatNotes());
    if (chosen && !(*chosen == driver()->format()) && !applyFormat(*chosen))
        reportStatus(IDS_CAP_DRIVER_ERROR, driver()->lastError());
    m_camera->saveSettings();
    return TRUE;
}

LRESULT CaptureWindow::videoDisplayDialog() {
    if (!driver() || !driver()->capabilities().displayDialog) return FALSE;
    if (const auto scale = CaptureDialogs::showDisplayDialog(this, m_scale)) {
        m_scale = *scale;
        update();
    }
    return TRUE;
}

LRESULT CaptureWindow::videoCompressionDialog() {
    if (!driver()) return FALSE;
    if (const auto choice = CaptureDialogs::showCompressionDialog(this, aviVideoEncoders(), m_compression))
        m_compression = *choice;
    return TRUE;
}
