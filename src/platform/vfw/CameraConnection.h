#pragma once

#include "DriverList.h"
#include "VideoFrame.h"
#include "drivers/CaptureDriver.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <memory>

class SharedDriver;

// A capture window's connection to its device: the driver it is connected to (shared
// with the other windows on that device, SharedDriver), whether it wants frames, the
// device's failure and its return.
//
// A device that fails (unplugged, an I/O error) stays connected: the connection keeps
// following its entry when the driver list changes, and takes the camera back when
// it returns, with the control values and the format it had: when its node is made
// again (a USB reset, even one the list sees only as a new node under the same name),
// or when it comes back elsewhere under its by-id link, but never as another camera
// that was already plugged in when it failed. A camera another program streams from
// is busy: the connection tries again every kBusyRetryMs and takes it as soon as it
// is free. Each camera's format and control values are kept between runs
// (CameraSettings) as it is connected, set up and disconnected.
//
// Threads: the UI thread, except the frame callback, which the driver's worker
// thread calls.
class CameraConnection : public QObject {
    Q_OBJECT
public:
    using FrameCallback = std::function<void(const VideoFrame&)>;
    enum class OpenResult { Opened, NoSuchDriver, CannotOpen };
    static constexpr int kBusyRetryMs = 1000;

    // `onFrame` gets every frame of the connected driver, on the driver's worker
    // thread; it must be thread-safe.
    explicit CameraConnection(FrameCallback onFrame, QObject* parent = nullptr);
    ~CameraConnection() override;

    // Connects to driver `index` of the driver list, the camera as it was left last
    // time, and makes it the camera used last. CannotOpen comes with the driver's
    // reason in `error`. Disconnect first.
    OpenResult open(int index, QString* error);
    // Keeps the camera's settings (unless it failed) and disconnects; the frame
    // callback is not called any more once it returns.
    void close();

    // The connected driver, or null.
    CaptureDriver* driver() const { return m_driver; }
    int index() const { return m_index; }
    // The device failed and has not come back; the failure's reason.
    bool hasFailed() const { return m_failed; }
    QString failureReason() const { return m_failureReason; }
    // The device failed because another program has it.
    bool isBusy() const { return m_failed && m_busy; }
    // Tries to take back a busy camera (the retry timer's handler).
    void retry();

    // Whether the window needs frames now; a failed device streams no more. Streaming
    // that cannot start fails the device.
    void setStreaming(bool wanted);
    // Stops streaming, emits streamStopped(), sets `format` and streams again if wanted.
    bool setFormat(const VideoFormat& format);
    // Keeps the camera's format and control values, unless it failed.
    void saveSettings();

signals:
    // Streaming stopped for a new format or a new connection: the frames received so
    // far are not of the stream to come. Emitted with the stream stopped.
    void streamStopped();
    // The device failed (unplugged, I/O error); it streams no more.
    void failed(const QString& reason);
    // The failed device came back and is connected again; it streams when wanted.
    void resumed();

private:
    void subscribe();
    bool reconfigure(const VideoFormat& format, bool announce);
    void onDriverError(const QString& reason, bool busy = false);
    // The device list changed: follow this connection's entry, and take the camera
    // back when it returns after a failure.
    void onDeviceListChanged();
    bool resume();

    FrameCallback m_onFrame;
    std::shared_ptr<SharedDriver> m_source;
    int m_subscription = 0;
    std::uint64_t m_connection = 0;    // counts subscriptions
    CaptureDriver* m_driver = nullptr; // m_source's driver
    int m_index = -1;
    QString m_followKey; // the connected entry's DriverList::Entry::followKey()
    QString m_nodeId;    // the node file it was opened at (DriverList::Entry::nodeId)
    DeviceIdentity m_identity;
    bool m_wanted = false; // the window wants frames
    bool m_failed = false;
    bool m_busy = false;
    QTimer m_retryTimer;
    // The follow keys of the other devices present when it failed: none of them is it.
    QStringList m_othersAtFailure;
    QString m_failureReason;
    VideoFormat m_formatBeforeFailure; // given back to the camera when it returns
};
