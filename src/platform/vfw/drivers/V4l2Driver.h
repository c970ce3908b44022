#pragma once

#include "CaptureDriver.h"
#include "V4l2Device.h"

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

// A camera node found by V4l2Driver::captureNodes().
struct V4l2Node {
    QString path;          // "/dev/video0"
    QString cardName;      // the device's card name: the driver's name
    QString driverVersion; // the kernel driver's version, "6.1.0"
};

// A V4L2 camera, streamed with mmap buffers on a worker thread.
//
// Formats are the device's own (not libv4l2's emulated ones). An MJPEG format is
// streamed as it comes: each frame keeps the camera's JPEG bytes (VideoFrame::mjpeg)
// and is decoded with TurboJPEG for display; any other format is asked of libv4l2 as
// RGB24, which converts it. The frames handed on are QImage::Format_RGB32.
//
// A device that fails while streaming (unplugged: ENODEV; EIO; no frame for
// kNoFrameTimeoutMs) reports the error once and its worker ends.
class V4l2Driver : public CaptureDriver {
public:
    using DeviceFactory = std::function<std::unique_ptr<V4l2Device>()>;
    static constexpr int kNoFrameTimeoutMs = 5000;
    static constexpr int kBufferCount = 4;

    explicit V4l2Driver(V4l2Node node, DeviceFactory factory = makeLibV4l2Device);
    ~V4l2Driver() override;

    // Every /dev/video<N> that can capture and stream, in node-number order.
    static std::vector<V4l2Node> captureNodes(const DeviceFactory& factory = makeLibV4l2Device,
                                              const QString& folder = QStringLiteral("/dev"));

    QString name() const override { return m_node.cardName; }
    QString version() const override { return m_node.driverVersion; }
    bool open() override;
    void close() override;
    bool isOpen() const override { return m_device != nullptr; }
    DriverCapabilities capabilities() const override;
    std::vector<FormatOption> formats() const override { return m_formats; }
    VideoFormat format() const override { return m_format; }
    bool setFormat(const VideoFormat& format) override;
    std::vector<DriverControl> controls() const override;
    bool setControl(std::uint32_t id, int value) override;
    bool start(FrameCallback onFrame, ErrorCallback onError) override;
    void stop() override;
    bool isStreaming() const override { return m_thread.joinable(); }
    QString lastError() const override { return m_lastError; }

    // How long a streaming device may stay silent before it counts as failed.
    void setNoFrameTimeoutMs(int ms) { m_noFrameTimeoutMs = ms; }

private:
    bool fail(const QString& what, int error);
    void enumerateFormats();
    bool configure();
    void releaseBuffers();
    void run(FrameCallback onFrame, ErrorCallback onError);

    V4l2Node m_node;
    DeviceFactory m_factory;
    std::unique_ptr<V4l2Device> m_device;
    std::vector<FormatOption> m_formats;
    VideoFormat m_format;
    std::uint32_t m_streamFourcc = 0; // what the device was asked for (MJPEG or RGB24)
    QSize m_streamSize;
    std::uint32_t m_bytesPerLine = 0;
    std::vector<MappedBuffer> m_buffers;
    std::thread m_thread;
    std::atomic<bool> m_stopRequested{false};
    int m_noFrameTimeoutMs = kNoFrameTimeoutMs;
    QString m_lastError;
    bool m_hasOutput = false; // the node also plays video out
    bool m_hasInputs = false; // the node lists inputs (camera, composite, tuner) to choose from
};
