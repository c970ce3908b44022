#pragma once

#include "CaptureDriver.h"
#include "V4l2Device.h"
#include "WorkerThread.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>

struct v4l2_capability;

// A camera node found by V4l2Driver::captureNodes().
struct V4l2Node {
    QString path; // "/dev/video0"
    // The driver's name: the device's card name, followed by its bus (or node) when
    // another camera has the same name; for a node that cannot be opened, the node
    // and the reason.
    QString cardName;
    QString driverVersion; // the kernel driver's version, "6.1.0"
    // Who the camera is, whatever node it holds: the device's own card name and bus
    // (VIDIOC_QUERYCAP), and the name of its /dev/v4l/by-id link (made by udev from
    // the USB vendor, model and serial, so it survives a move to another port).
    // Empty for a node that cannot be opened.
    QString card{};
    QString busInfo{};
    QString byId{};
    // What the node file is: its device number and inode. A camera reset on its bus
    // (a USB reset) is removed and made again under the same name and number; the new
    // node is another inode.
    QString nodeId{};
};

// A V4L2 camera, streamed with mmap buffers on a worker thread.
//
// Formats are the device's own; libv4l2's emulated ones only when the device offers
// nothing else (a camera libv4l2 must flip or process). A camera's own format that
// FrameConverter handles streams through plain system calls; libv4l2 streams only
// what it alone can give. The chosen format is the one
// that streams, and FrameConverter turns each buffer into QImage::Format_RGB32 in one
// pass. An MJPEG frame is only checked (its header, its end) and travels as the
// camera's JPEG bytes, decoded when it is shown (VideoFrame). Only a vendor format
// FrameConverter does not know is asked of libv4l2 as RGB24.
//
// Frames carry the kernel's capture time when it is monotonic (else the time they
// were dequeued) and the kernel's sequence number, counted from the stream's first
// frame, so frames the kernel lost leave gaps. Buffers that give no picture (flagged
// as faulty, empty, undecodable) and the kernel's gaps count as dropped. A camera's
// JPEG is kept up to its end marker (not the padding after it); now and then one is
// decoded on arrival, and only those that decode count as pictures for the watch of
// a camera that sends none.
//
// A device that fails while streaming (unplugged: ENODEV; EIO; no usable frame for
// kNoFrameTimeoutMs) reports the error once and its worker ends. A queue that failed
// while the node is still there (POLLERR alone) is started again instead. A camera
// another program streams from answers EBUSY: lastErrorIsBusy() says so.
class V4l2Driver : public CaptureDriver {
public:
    using DeviceFactory = std::function<std::unique_ptr<V4l2Device>()>;
    // The source dialog's choice of input (VIDIOC_S_INPUT: tuner, composite, S-video)
    // and of video standard (VIDIOC_S_STD: PAL, NTSC...), shown as menus beside the
    // camera's controls when the node has more than one input, or standards. Their ids
    // lie outside every V4L2 control class.
    static constexpr std::uint32_t kInputControl = 0x7F000001;
    static constexpr std::uint32_t kStandardControl = 0x7F000002;
    static constexpr int kNoFrameTimeoutMs = 5000;
    static constexpr int kBufferCount = 4;
    // Restarts of a stream whose queue failed, without a usable frame in between,
    // before the camera counts as stopped.
    static constexpr int kMaxRestarts = 3;
    // How often a camera's JPEG is decoded on arrival to know that the camera still
    // sends pictures (at most; see kNoFrameTimeoutMs).
    static constexpr int kJpegCheckMs = 1000;

    // `factory` opens the node through libv4l2; `plainFactory`, when given, with plain
    // system calls, for streaming the camera's own formats.
    explicit V4l2Driver(V4l2Node node, DeviceFactory factory = makeLibV4l2Device,
                        DeviceFactory plainFactory = {});
    ~V4l2Driver() override;

    // Every /dev/video<N> that can capture and stream by itself (not a node whose
    // input a media controller sets up, V4L2_CAP_IO_MC), in node-number order (in
    // V4l2DriverNodes.cpp).
    // Each node is opened plainly and asked VIDIOC_QUERYCAP only; its by-id name comes
    // from the links in `folder`/v4l/by-id. A node that exists
    // but cannot be opened (no permission) is listed with the reason, unless sysfs
    // (`sysFolder`) shows it is a secondary node of its device.
    static std::vector<V4l2Node>
    captureNodes(const DeviceFactory& factory = makePlainV4l2Device,
                 const QString& folder = QStringLiteral("/dev"),
                 const QString& sysFolder = QStringLiteral("/sys/class/video4linux"));

    QString name() const override { return m_node.cardName; }
    QString version() const override { return m_node.driverVersion; }
    bool open() override;
    void close() override;
    bool isOpen() const override { return m_device != nullptr; }
    DriverCapabilities capabilities() const override;
    std::vector<FormatOption> formats() const override { return m_formats; }
    QStringList formatNotes() const override { return m_formatNotes; }
    VideoFormat format() const override { return m_format; }
    bool setFormat(const VideoFormat& format) override;
    std::vector<DriverControl> controls() const override;
    bool setControl(std::uint32_t id, int value) override;
    bool takeControlChanges() override;
    bool start(FrameCallback onFrame, ErrorCallback onError) override;
    void stop() override;
    bool isStreaming() const override { return m_worker.isRunning(); }
    QString lastError() const override { return m_lastError; }
    bool lastErrorIsBusy() const override { return m_busy; }

    // How long a streaming device may go without a usable frame before it counts as
    // failed.
    void setNoFrameTimeoutMs(int ms) { m_noFrameTimeoutMs = ms; }
    // Frames lost since open(): unusable buffers and gaps in the kernel's numbering.
    std::uint64_t droppedFrames() const { return m_dropped; }
    // Decode every MJPEG frame as it arrives, as this driver once did: for measuring
    // against. Takes effect at the next start().
    void setDecodeEveryFrame(bool on) { m_decodeEveryFrame = on; }

private:
    // The text of an errno value; a V4L2 string field (not always terminated); the
    // capabilities of the node itself when the device reports them apart.
    static QString errorText(int error);
    static QString fieldText(const std::uint8_t* text, std::size_t size);
    static std::uint32_t deviceCaps(const v4l2_capability& cap);
    // V4L2_BUF_TYPE_VIDEO_CAPTURE, or _MPLANE for a node that has only that.
    static std::uint32_t bufferType(const v4l2_capability& cap);

    bool fail(const QString& what, int error);
    bool isThisCamera(const v4l2_capability& cap) const;
    // Sets an HDMI input's timings to those of its source; false (with lastError())
    // when there is no usable signal.
    bool followDvTimings();
    void subscribeToControlEvents();
    // The input and standard menus (none when there is nothing to choose).
    void addSourceChoices(std::vector<DriverControl>& list) const;
    bool setSourceChoice(std::uint32_t id, int value);
    void enumerateFormats();
    std::vector<QSize> frameSizes(std::uint32_t fourcc);
    std::vector<FrameInterval> frameIntervals(std::uint32_t fourcc, QSize size);
    // The rate the device says it runs at now (VIDIOC_G_PARM), if it says.
    std::optional<FrameInterval> runningInterval() const;
    bool configure();
    void releaseBuffers();
    int restartStream();
    void run(FrameCallback onFrame, ErrorCallback onError);

    V4l2Node m_node;
    DeviceFactory m_factory;
    DeviceFactory m_plainFactory;
    std::unique_ptr<V4l2Device> m_device; // libv4l2's: formats, controls, events
    std::unique_ptr<V4l2Device> m_plain;  // plain calls, when the camera's own formats stream so
    V4l2Device* m_stream = nullptr;       // the one streaming now: m_plain or m_device
    std::vector<FormatOption> m_formats;
    QStringList m_formatNotes;
    VideoFormat m_format;
    std::vector<std::uint32_t> m_emulated; // formats that libv4l2 makes (converts to)
    std::uint32_t m_streamFourcc = 0;      // what the device was asked for
    // The buffer type each device is used with (single- or multi-planar), and the one
    // streaming now.
    std::uint32_t m_deviceType = 1; // V4L2_BUF_TYPE_VIDEO_CAPTURE
    std::uint32_t m_plainType = 1;
    std::uint32_t m_streamType = 1;
    QSize m_streamSize;
    std::uint32_t m_bytesPerLine = 0;
    std::vector<MappedBuffer> m_buffers;
    WorkerThread m_worker{"kv-camera"};
    std::atomic<std::uint64_t> m_dropped{0};
    int m_noFrameTimeoutMs = kNoFrameTimeoutMs;
    QString m_lastError;
    bool m_hasOutput = false; // the node also plays video out
    bool m_decodeEveryFrame = false;
    bool m_busy = false;      // the last failure: another program has the camera
    bool m_hasInputs = false; // the node lists inputs (camera, composite, tuner) to choose from
};
