#include "CaptureWindow.h"

#include "Logging.h"
#include "recorder/Recorder.h"
#include "recorder/SingleFrameWriter.h"

#include <QApplication>
#include <QEventLoop>
#include <QKeyEvent>
#include <QKeySequence>
#include <QMouseEvent>
#include <QPointer>
#include <QTimer>
#include <cmath>

// Streaming capture (WM_CAP_SEQUENCE, WM_CAP_STOP, WM_CAP_ABORT) and single-frame
// capture (WM_CAP_SINGLE_FRAME_OPEN, _SINGLE_FRAME, _CLOSE). The recorder works on
// its own threads; this side installs the frame sink, relays the recorder's status
// to the status callback on the UI thread, keeps CAPSTATUS up to date, and, for a
// capture with fYield 0, runs a local event loop until the file is closed.

namespace {

// The classic virtual-key codes an abort key may be given in.
int qtKeyForVirtualKey(UINT vk) {
    vk &= 0xFF;
    if (vk >= 'A' && vk <= 'Z') return Qt::Key_A + int(vk - 'A');
    if (vk >= '0' && vk <= '9') return Qt::Key_0 + int(vk - '0');
    if (vk >= 0x70 && vk <= 0x87) return Qt::Key_F1 + int(vk - 0x70);
    switch (vk) {
    case 0x1B:
        return Qt::Key_Escape;
    case 0x20:
        return Qt::Key_Space;
    case 0x0D:
        return Qt::Key_Return;
    case 0x08:
        return Qt::Key_Backspace;
    case 0x09:
        return Qt::Key_Tab;
    case 0x13:
        return Qt::Key_Pause;
    case 0x03:
        return Qt::Key_Cancel;
    default:
        return 0;
    }
}

// What the status line tells the user about ending a capture: the abort key and
// the mouse buttons that end it, "Hit Escape to Stop" by default.
QString stopHintFor(const CAPTUREPARMS& parms) {
    const int key = qtKeyForVirtualKey(parms.vKeyAbort);
    const QString keyName = key == Qt::Key_Escape ? QStringLiteral("Escape")
                            : key != 0            ? QKeySequence(key).toString(QKeySequence::NativeText)
                                                  : QString();
    const QString click = parms.fAbortLeftMouse    ? QStringLiteral("click")
                          : parms.fAbortRightMouse ? QStringLiteral("right-click")
                                                   : QString();
    if (!keyName.isEmpty() && !click.isEmpty())
        return QStringLiteral("Hit %1 or %2 to Stop").arg(keyName, click);
    if (!keyName.isEmpty()) return QStringLiteral("Hit %1 to Stop").arg(keyName);
    if (!click.isEmpty()) return click.left(1).toUpper() + click.mid(1) + QStringLiteral(" to Stop");
    return {};
}

// Ends a streaming capture on the abort key or a mouse click anywhere in the program.
class AbortFilter : public QObject {
public:
    AbortFilter(const CAPTUREPARMS& parms, std::function<void()> onAbort)
        : m_key(qtKeyForVirtualKey(parms.vKeyAbort)), m_left(parms.fAbortLeftMouse),
          m_right(parms.fAbortRightMouse), m_onAbort(std::move(onAbort)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::KeyPress) {
            auto* key = static_cast<QKeyEvent*>(event);
            if (m_key != 0 && key->key() == m_key && !key->isAutoRepeat()) return fire();
        } else if (event->type() == QEvent::MouseButtonPress && watched->isWidgetType()) {
            const Qt::MouseButton button = static_cast<QMouseEvent*>(event)->button();
            if ((button == Qt::LeftButton && m_left) || (button == Qt::RightButton && m_right)) return fire();
        }
        return false;
    }

private:
    bool fire() {
        m_onAbort();
        return true; // the key or click that ends the capture does nothing else
    }
    int m_key;
    bool m_left;
    bool m_right;
    std::function<void()> m_onAbort;
};

RecorderSettings settingsFrom(const CAPTUREPARMS& parms, const WAVEFORMATEX& audio,
                              const VideoCompression& comp, const QString& file) {
    RecorderSettings s;
    s.filePath = file;
    s.usPerFrame =
        parms.dwRequestMicroSecPerFrame > 0 ? std::int64_t(parms.dwRequestMicroSecPerFrame) : 66667;
    s.timeLimitS = parms.fLimitEnabled ? int(parms.wTimeLimit) : 0;
    s.captureAudio = parms.fCaptureAudio != 0;
    s.audio = {int(audio.nChannels), int(audio.nSamplesPerSec), int(audio.wBitsPerSample)};
    s.encoder = comp.encoder;
    s.quality = comp.quality;
    s.percentDropForError = int(parms.wPercentDropForError);
    s.stopHint = stopHintFor(parms);
    return s;
}

QString rateText(double framesPerSecond) {
    return QString::number(framesPerSecond, 'g', 4);
}

// A movie is recorded at the rate asked for, unless the camera runs slower (it answered
// the rate it really has when it started streaming): then at the camera's own rate, so
// that each of its frames is one frame of the movie, the movie lasts as long as the
// recording did, and no slot is filled by repeating a frame, every few frames, and
// counted as dropped. A camera faster than asked is thinned out to the rate asked for.
void followCameraRate(RecorderSettings& settings, const FrameInterval& camera) {
    if (!camera.numerator || !camera.denominator) return;
    const double cameraUs = 1e6 * camera.numerator / camera.denominator;
    // The rate asked for is a whole number of microseconds (30 frames/s is 33333).
    if (cameraUs <= double(settings.usPerFrame) + 1.0) return;
    const double asked = 1e6 / double(settings.usPerFrame);
    settings.usPerFrame = std::llround(cameraUs);
    settings.rateNumerator = camera.denominator;
    settings.rateDenominator = camera.numerator;
    settings.rateNote = QStringLiteral("The camera runs at %1 frames/s, not %2: the movie has its rate.")
                            .arg(rateText(camera.framesPerSecond()), rateText(asked));
}

// CAPSTATUS follows the recorder.
void copyProgress(const Recorder::Progress& p, CaptureWindow::CaptureProgress& out) {
    out.capturingNow = p.capturing;
    out.currentVideoFrame = p.videoFrames;
    out.currentVideoFramesDropped = p.framesDropped;
    out.currentWaveSamples = DWORD(p.waveSamples);
    out.currentTimeElapsedMs = p.elapsedMs;
}

} // namespace

struct CaptureWindow::Recording {
    Recorder recorder;
    SingleFrameWriter single;
    QTimer progressTimer;
    std::unique_ptr<AbortFilter> abortFilter;
    QEventLoop* loop = nullptr; // the fYield 0 loop waiting for the end, if any
    bool lastOk = false;
};

void CaptureWindow::RecordingDeleter::operator()(Recording* recording) const {
    // The window is going: end the capture now, keeping what was written.
    if (recording->loop) recording->loop->quit();
    recording->recorder.abort();
    if (recording->single.isOpen()) recording->single.close();
    delete recording; // joins the recorder's threads once its file is closed
}

LRESULT CaptureWindow::recordingMessage(UINT msg, WPARAM, LPARAM) {
    if (!m_recording) {
        m_recording.reset(new Recording);
        Recording* rec = m_recording.get();
        rec->progressTimer.setInterval(100);
        connect(&rec->progressTimer, &QTimer::timeout, this,
                [this] { copyProgress(m_recording->recorder.progress(), m_progress); });
        connect(&rec->recorder, &Recorder::status, this, [this](int id, const QString& text) {
            copyProgress(m_recording->recorder.progress(), m_progress);
            if (id >= 400 && id < 500) m_progress.returnCode = DWORD(id);
            reportStatus(id, text);
        });
        connect(&rec->recorder, &Recorder::finished, this, [this](bool ok) {
            Recording* r = m_recording.get();
            r->lastOk = ok;
            r->progressTimer.stop();
            copyProgress(r->recorder.progress(), m_progress);
            m_progress.capturingNow = false;
            r->abortFilter.reset();
            setRecordingSink({});
            if (r->loop) r->loop->quit();
        });
        connect(this, &CaptureWindow::driverFailed, this, [this](const QString& reason) {
            if (m_recording && m_recording->recorder.isRecording())
                m_recording->recorder.driverFailed(reason);
        });
    }
    Recording* rec = m_recording.get();
    const bool streaming = rec->recorder.isRecording() || rec->progressTimer.isActive();

    switch (msg) {
    case WM_CAP_SEQUENCE: {
        if (!driver() || m_camera->hasFailed() || streaming || rec->single.isOpen()) return FALSE;
        // The camera streams first (the recorder takes no frame before it has
        // started): the rate it runs at is known once it does.
        Recorder* recorder = &rec->recorder;
        setRecordingSink([recorder](const VideoFrame& frame) { recorder->pushFrame(frame); });
        RecorderSettings settings = settingsFrom(m_captureParms, m_audioFormat, m_compression, m_captureFile);
        followCameraRate(settings, driver()->format().interval);
        if (!rec->recorder.start(settings)) {
            setRecordingSink({});
            return FALSE;
        }
        m_progress = {};
        m_progress.capturingNow = true;
        rec->progressTimer.start();
        rec->abortFilter = std::make_unique<AbortFilter>(m_captureParms, [recorder] { recorder->stop(); });
        qApp->installEventFilter(rec->abortFilter.get());
        if (m_captureParms.fYield) return TRUE;
        // fYield 0: answer once the capture has ended and its file is closed; the
        // window repaints and the abort key and clicks work meanwhile.
        QPointer<CaptureWindow> self(this);
        QEventLoop loop;
        rec->loop = &loop;
        loop.exec();
        if (!self) return FALSE;
        m_recording->loop = nullptr;
        return m_recording->lastOk ? TRUE : FALSE;
    }
    case WM_CAP_SEQUENCE_NOFILE:
        // Capture to callbacks only is not offered: frames reach the program through
        // the window's copy command instead.
        return FALSE;
    case WM_CAP_STOP:
        if (!rec->recorder.isRecording()) return FALSE;
        rec->recorder.stop();
        return TRUE;
    case WM_CAP_ABORT:
        if (!rec->recorder.isRecording()) return FALSE;
        rec->recorder.abort();
        return TRUE;
    case WM_CAP_SINGLE_FRAME_OPEN: {
        if (!driver() || m_camera->hasFailed() || streaming || rec->single.isOpen()) return FALSE;
        RecorderSettings settings = settingsFrom(m_captureParms, m_audioFormat, m_compression, m_captureFile);
        if (!rec->single.open(settings, driver()->format().size)) {
            m_progress.returnCode = IDS_CAP_CANTOPEN;
            reportStatus(IDS_CAP_CANTOPEN, rec->single.errorText());
            return FALSE;
        }
        m_progress = {};
        // Frames keep coming while the file is open, even without preview.
        setRecordingSink([](const VideoFrame&) {});
        reportStatus(IDS_CAP_BEGIN, QStringLiteral("Capture Start"));
        return TRUE;
    }
    case WM_CAP_SINGLE_FRAME: {
        if (!rec->single.isOpen() || !driver() || m_camera->hasFailed()) return FALSE;
        VideoFrame frame = newestFrame();
        if (!frame.isValid()) {
            // Streaming has just started: wait (a bounded time) for its first frame.
            QPointer<CaptureWindow> self(this);
            QEventLoop loop;
            connect(this, &QObject::destroyed, &loop, &QEventLoop::quit);
            connect(this, &CaptureWindow::frameArrived, &loop, &QEventLoop::quit);
            connect(this, &CaptureWindow::driverFailed, &loop, &QEventLoop::quit);
            QTimer::singleShot(3000, &loop, &QEventLoop::quit);
            loop.exec();
            if (!self || !m_recording) return FALSE;
            frame = newestFrame();
            if (!frame.isValid()) {
                qCDebug(lcCaptureWindow) << "single frame refused: no picture from the driver";
                return FALSE;
            }
        }
        if (!rec->single.append(frame)) {
            m_progress.returnCode = IDS_CAP_FILE_WRITE_ERROR;
            reportStatus(IDS_CAP_WRITEERROR, rec->single.errorText());
            return FALSE;
        }
        m_progress.currentVideoFrame = DWORD(rec->single.frames());
        m_progress.currentTimeElapsedMs =
            DWORD(rec->single.frames() * std::int64_t(m_captureParms.dwRequestMicroSecPerFrame) / 1000);
        return TRUE;
    }
    case WM_CAP_SINGLE_FRAME_CLOSE: {
        if (!rec->single.isOpen()) return FALSE;
        const std::int64_t frames = rec->single.frames();
        const bool ok = rec->single.close();
        setRecordingSink({});
        if (!ok) {
            m_progress.returnCode = IDS_CAP_FILE_WRITE_ERROR;
            reportStatus(IDS_CAP_WRITEERROR, rec->single.errorText());
        }
        // The file is closed: a writer may append to it from the callback.
        reportStatus(IDS_CAP_END, QStringLiteral("Capture End. %1 frames.").arg(frames));
        return ok ? TRUE : FALSE;
    }
    default:
        return FALSE;
    }
}
