#pragma once

#include "CameraConnection.h"
#include "VfwTypes.h"
#include "VideoCompression.h"
#include "VideoFrame.h"
#include "drivers/CaptureDriver.h"

#include <QTimer>
#include <QWidget>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

// The capture window behind a HWND: shows the video of its driver and answers the
// capture messages (message(), CaptureWindowMessages.cpp). Its connection to the
// device (CameraConnection) is shared with the other windows on that device: a
// full-screen window and the display window can both show one camera.
//
// Frames arrive on the driver's worker thread (onFrame). Each one goes to
//  - the newest-frame slot, which the UI thread paints: in preview at the preview
//    period, in overlay (and at a preview period of 0) as frames arrive; a slow UI
//    skips frames, it never queues them;
//  - the recording sink, when one is installed.
// The driver streams only while something needs frames: preview, overlay, a sink.
//
// Every member except the sink itself is for the UI thread.
class CaptureWindow : public QWidget {
    Q_OBJECT
public:
    using FrameSink = std::function<void(const VideoFrame&)>;

    // The capture part of CAPSTATUS, filled by the recording code.
    struct CaptureProgress {
        bool capturingNow = false;
        DWORD currentVideoFrame = 0;
        DWORD currentVideoFramesDropped = 0;
        DWORD currentWaveSamples = 0;
        DWORD currentTimeElapsedMs = 0;
        DWORD returnCode = 0; // dwReturn: the last error number, 0 when none
    };

    explicit CaptureWindow(QWidget* parent = nullptr);
    ~CaptureWindow() override;

    // The window table behind HWND: a handle is given once and never reused. find()
    // gives null for 0, for a destroyed window and off the UI thread.
    static HWND attach(CaptureWindow* window);
    static CaptureWindow* find(HWND handle);
    HWND handle() const { return m_handle; }

    // Answers one capture message (0 = failure / not understood).
    LRESULT message(UINT msg, WPARAM wParam, LPARAM lParam);

    // The recording messages (WM_CAP_SEQUENCE, _SEQUENCE_NOFILE, _STOP, _ABORT,
    // _SINGLE_FRAME_OPEN, _SINGLE_FRAME_CLOSE, _SINGLE_FRAME) all land here. Defined
    // on its own in CaptureWindowRecording.cpp.
    LRESULT recordingMessage(UINT msg, WPARAM wParam, LPARAM lParam);

    // --- What the recording code uses ---
    // Installs (or, with an empty function, removes) the sink that receives every
    // frame on the driver's worker thread. Call on the UI thread. Removing waits for a
    // call in progress, so after it returns the sink is no longer called. The sink
    // must not install or remove sinks itself. Installing starts streaming.
    void setRecordingSink(FrameSink sink);
    bool hasRecordingSink() const;

    // The connected driver (shared with other windows on the same device), or null.
    CaptureDriver* driver() const { return m_camera->driver(); }
    bool isConnected() const { return m_camera->driver() != nullptr; }
    int driverIndex() const { return m_camera->index(); }
    // The device connection (its failure, its retry): for tests.
    CameraConnection& connection() const { return *m_camera; }
    const CAPTUREPARMS& captureParms() const { return m_captureParms; }
    QString captureFileName() const { return m_captureFile; }
    const WAVEFORMATEX& audioFormat() const { return m_audioFormat; }
    const VideoCompression& compression() const { return m_compression; }
    void setCaptureProgress(const CaptureProgress& progress) { m_progress = progress; }
    const CaptureProgress& captureProgress() const { return m_progress; }
    // Calls the installed status callback (if any) with this window's handle.
    void reportStatus(int statusId, const QString& text);

    // --- Set up without the dialogs (a capture from the command line) ---

    // Sets the picture size, keeping the pixel format and the rate where the driver
    // offers them at that size (else its first format and rate there). False, with the
    // sizes it offers in `reason`, when it offers none of that size or refuses it.
    bool setFrameSize(QSize size, QString* reason);
    // What the compression dialog would set.
    void setCompression(const VideoCompression& compression) { m_compression = compression; }
    // Why the window has no working camera: the driver could not be opened, or it
    // failed (in use by another program, unplugged). Empty when it works.
    QString problem() const;

    // --- Display ---
    // The newest frame delivered (invalid before the first one).
    VideoFrame newestFrame() const;
    bool previewOn() const { return m_preview; }
    bool overlayOn() const { return m_overlay; }
    bool scaleOn() const { return m_scale; }
    int previewPeriodMs() const { return m_previewPeriodMs; }
    // The text the window shows while its device has failed; empty when it works.
    QString failureText() const;
    bool previewTimerRunning() const { return m_previewTimer.isActive(); }
    // Frames painted so far (each distinct frame counted once).
    std::uint64_t paintedFrames() const { return m_paintedFrames; }
    // The preview timer's handler: repaints when a new frame has come since the last paint.
    void previewTick();

    // The defaults of a new window.
    static CAPTUREPARMS defaultCaptureParms();
    static WAVEFORMATEX defaultAudioFormat();
    static QString defaultCaptureFileName();

signals:
    // A new frame reached the newest-frame slot (queued to the UI thread, coalesced).
    void frameArrived();
    // The driver failed (unplugged, I/O error); streaming has stopped.
    void driverFailed(const QString& reason);
    // The failed device came back and streams again as before.
    void driverResumed();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool connectDriver(int index);
    void disconnectDriver();
    void updatePreviewTimer();
    void updateStreaming();
    void clearNewestFrame();
    void onFrame(const VideoFrame& frame); // worker thread
    void onFrameQueued();
    void onDriverFailed(const QString& reason);
    void onDriverResumed();
    LRESULT getStatus(WPARAM size, LPARAM record);
    LRESULT getCaps(WPARAM size, LPARAM record);
    LRESULT editCopy();
    LRESULT setPreview(bool on);
    LRESULT setOverlay(bool on);
    LRESULT setPreviewRate(WPARAM periodMs);
    LRESULT videoSourceDialog();
    LRESULT videoFormatDialog();
    LRESULT videoDisplayDialog();
    LRESULT videoCompressionDialog();
    bool applyFormat(const VideoFormat& format);

    HWND m_handle = 0;
    std::unique_ptr<CameraConnection> m_camera;
    int m_streamHolds = 0; // temporary needs for frames (edit copy without preview)

    bool m_preview = false;
    bool m_overlay = false;
    bool m_scale = false;
    int m_previewPeriodMs = 66;
    QTimer m_previewTimer;

    CAPTUREPARMS m_captureParms;
    WAVEFORMATEX m_audioFormat;
    QString m_captureFile;
    VideoCompression m_compression;
    CaptureProgress m_progress;
    QString m_openError; // why the last connection failed
    CAPSTATUSCALLBACK m_statusCallback = nullptr;

    mutable std::mutex m_frameMutex;
    VideoFrame m_newest;
    std::uint64_t m_framesArrived = 0; // under m_frameMutex
    std::atomic<bool> m_arrivalQueued{false};
    std::uint64_t m_lastPaintedArrival = 0;
    std::uint64_t m_paintedFrames = 0;

    mutable std::mutex m_sinkMutex;
    FrameSink m_sink;

    // The streaming or single-frame capture in progress (CaptureWindowRecording.cpp).
    // Last member: it ends (and closes its file) before the rest of the window goes.
    struct Recording;
    struct RecordingDeleter {
        void operator()(Recording* recording) const;
    };
    std::unique_ptr<Recording, RecordingDeleter> m_recording;
};
