#pragma once

// A scripted V4L2 camera at the ioctl level, behind the V4l2Device seam.

#include "DriverList.h"
#include "drivers/CaptureDriver.h"
#include "drivers/V4l2Device.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QString>
#include <QTemporaryDir>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <linux/videodev2.h>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <sys/mman.h>
#include <unistd.h>
#include <utility>
#include <vector>

// A capture buffer as a camera's mmap gives it: exactly the asked length, ending where
// a page ends, with nothing readable after it (here an inaccessible page), so reading
// one byte past the frame faults as it can with a real camera's buffer.
class FakeMappedBuffer {
public:
    explicit FakeMappedBuffer(std::size_t length);
    FakeMappedBuffer(FakeMappedBuffer&& other) noexcept
        : m_base(std::exchange(other.m_base, nullptr)), m_length(other.m_length), m_pages(other.m_pages) {}
    FakeMappedBuffer(const FakeMappedBuffer&) = delete;
    FakeMappedBuffer& operator=(const FakeMappedBuffer&) = delete;
    FakeMappedBuffer& operator=(FakeMappedBuffer&&) = delete;
    ~FakeMappedBuffer();
    char* data() { return m_base + m_pages - m_length; }
    qsizetype size() const { return qsizetype(m_length); }

private:
    char* m_base = nullptr;
    std::size_t m_length = 0;
    std::size_t m_pages = 0;
};

struct FakeCamera {
    struct Format {
        std::uint32_t fourcc;
        const char* description;
        bool emulated;
        std::vector<QSize> sizes; // none and no range: VIDIOC_ENUM_FRAMESIZES fails
        std::vector<v4l2_fract> intervals;
        std::optional<v4l2_frmsize_stepwise> range; // a stepwise size range instead of sizes
        // A range of frame intervals instead of the list (stepwise, or continuous).
        std::optional<v4l2_frmival_stepwise> intervalRange{};
        bool continuousIntervals = false;
        // Sizes it scales to without listing any (a capture card such as bttv, which
        // has no VIDIOC_ENUM_FRAMESIZES and whose bttv_try_fmt_vid_cap bounds the size
        // to its standard's, a width a multiple of 4: limit_scaled_size_lock).
        std::optional<v4l2_frmsize_stepwise> scales{};
    };
    // One buffer the camera fills.
    struct Frame {
        QImage image;                 // encoded in the current format (MJPEG: at its own size)
        QByteArray raw;               // or exactly these bytes (a damaged JPEG...)
        std::uint32_t flags = 0;      // extra buffer flags, V4L2_BUF_FLAG_ERROR
        bool empty = false;           // bytesused 0
        std::int64_t timestampUs = 0; // the kernel's monotonic stamp; 0 = when dequeued
        std::uint32_t lostBefore = 0; // frames the kernel lost just before this one
        // The length the camera reports used, which may pass the buffer's end; unset:
        // the bytes' length.
        std::optional<std::uint32_t> bytesUsed;
    };
    struct Control {
        v4l2_queryctrl query;
        int value;
        std::vector<const char*> menu;
        // As uvcvideo (uvc_ctrl.c: a mapping's master_id and master_manual): inactive,
        // and refusing writes (EACCES), unless the control `master` has the value
        // `activeWhen`. uvcvideo flags neither control V4L2_CTRL_FLAG_UPDATE; it tells
        // the change with a V4L2_EVENT_CTRL event instead.
        std::uint32_t master = 0;
        int activeWhen = 0;
    };
    // The control events of one open device (VIDIOC_SUBSCRIBE_EVENT, VIDIOC_DQEVENT).
    struct EventQueue {
        std::vector<std::pair<std::uint32_t, std::uint32_t>> subscribed; // control id, flags
        std::deque<v4l2_event> events;
    };
    // A control as the camera describes it.
    static Control control(std::uint32_t id, std::uint32_t type, const char* name, int min, int max, int def,
                           std::uint32_t flags = 0);

    // What the camera is.
    QByteArray card = "Fake Camera";
    QByteArray busInfo = "usb-0000:00:14.0-1";
    int openError = 0; // errno for open(), 0 = opens
    std::uint32_t version = (6u << 16) | (1u << 8) | 7u;
    // With V4L2_CAP_VIDEO_CAPTURE_MPLANE instead of _CAPTURE, a node that takes only
    // the multi-planar calls (each format in one plane).
    std::uint32_t caps = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING;
    std::vector<Format> formats;
    std::vector<Control> controls;
    std::uint32_t currentFourcc = V4L2_PIX_FMT_RGB24;
    QSize currentSize{640, 480};
    v4l2_fract currentInterval{1, 15};

    // What happens to it.
    std::mutex mutex;
    std::condition_variable changed;
    bool unplugged = false;
    int failStreamOn = 0; // errno for STREAMON, 0 = works
    int failDequeue = 0;  // errno for DQBUF, 0 = works
    // vb2_queue_error (uvcvideo after a failed resume): the node stays, poll answers
    // POLLERR alone, QBUF and DQBUF fail with EIO, until STREAMOFF clears it.
    bool queueError = false;
    std::deque<Frame> pending;           // frames the camera will deliver, in order
    std::optional<Frame> broken;         // a frame it sends over and over, about 30 a second
    std::uint32_t kernelSequence = 0;    // the next frame's number
    std::vector<unsigned long> requests; // every ioctl asked
    std::vector<QByteArray> delivered;   // the bytes each delivered frame carried
    // What VIDIOC_S_FMT answers instead of the size asked for (width, height,
    // bytesperline, sizeimage); the buffers then have sizeimage bytes.
    std::optional<v4l2_pix_format> formatReply;
    // What VIDIOC_S_PARM answers instead of the rate asked for: the rate the camera
    // really runs at (uvcvideo answers the nearest interval the frame size has).
    std::optional<v4l2_fract> parmReply;
    // No G_PARM or S_PARM of its own (bttv): S_PARM is ENOTTY, and v4l_g_parm answers
    // G_PARM from the standard set (v4l2_video_std_frame_period: 1001/30000 for a
    // 525-line standard, else 1/25).
    bool rateOfStandard = false;
    bool wake = false; // poll answers at once (lets a worker see its stop request)
    std::vector<FakeMappedBuffer> buffers;
    std::deque<std::uint32_t> queued;
    std::vector<std::pair<std::uint32_t, int>> controlWrites;
    std::map<const void*, EventQueue> eventQueues; // by open device
    // uvc_acquire_privileges: the open device that set the format or the rate or
    // asked for buffers holds the stream (others get EBUSY) until it frees its buffers
    // or closes.
    const void* privileged = nullptr;
    v4l2_format lastSetFormat{};
    v4l2_fract lastSetInterval{0, 0};
    bool streaming = false;
    QByteArray streamedThrough; // the calls of the device that started streaming last
    int streamOffs = 0;
    int mapped = 0;
    int polls = 0;
    int openDevices = 0;
    // The descriptor an open device answers, and the inputs VIDIOC_ENUMINPUT lists.
    int descriptor = 7;
    std::vector<const char*> inputs{"Camera 1"};
    int currentInput = 0;
    // The video standards VIDIOC_ENUMSTD lists (a capture card's: PAL, NTSC...), and
    // the one set; none for a camera (ENOTTY, as v4l2-ioctl.c answers a node without
    // tvnorms).
    std::vector<std::pair<v4l2_std_id, const char*>> standards;
    v4l2_std_id currentStandard = 0;
    std::vector<int> inputWrites;
    std::vector<v4l2_std_id> standardWrites;
    // An HDMI receiver: its inputs have V4L2_IN_CAP_DV_TIMINGS (as vivid's HDMI input,
    // which has no standards). VIDIOC_QUERY_DV_TIMINGS answers the timings the source
    // sends, or without them `signalError` (vivid_query_dv_timings: ENOLINK no signal,
    // ENOLCK no lock, ERANGE out of range). Timings set (VIDIOC_S_DV_TIMINGS, EBUSY
    // once buffers are allocated) give the format its size and G_PARM its rate
    // (vivid_update_format_cap, v4l2_calc_timeperframe).
    bool dvTimings = false;
    std::optional<v4l2_dv_timings> detectedTimings;
    int signalError = ENOLINK;
    v4l2_dv_timings currentTimings{};
    std::vector<v4l2_dv_timings> timingsWrites;
    // Under the lock (or before the camera is used): the timings set, and what follows.
    void setTimings(const v4l2_dv_timings& timings);

    static std::shared_ptr<FakeCamera> standard();

    void push(const QImage& image) {
        Frame frame;
        frame.image = image;
        push(std::move(frame));
    }
    void push(Frame frame) {
        std::lock_guard lock(mutex);
        pending.push_back(std::move(frame));
        changed.notify_all();
    }
    void failQueue() {
        std::lock_guard lock(mutex);
        queueError = true;
        changed.notify_all();
    }
    void unplug() {
        std::lock_guard lock(mutex);
        unplugged = true;
        changed.notify_all();
    }

    // Another program sets a control (as v4l2-ctl would): every subscriber is told.
    void setFromOutside(std::uint32_t id, int value);

    QByteArray encode(const Frame& frame) const;
    static QByteArray jpeg(const QImage& image);
    // A frame's bytes as a camera sizes its buffers: exactly the picture for raw
    // formats, room for a JPEG of three bytes a pixel for MJPEG.
    static std::uint32_t imageBytes(std::uint32_t fourcc, QSize size);
    static std::uint32_t bytesPerLine(std::uint32_t fourcc, std::uint32_t width);

    // Under the lock.
    Control* findControl(std::uint32_t id);
    bool isInactive(const Control& control);
    // uvc_ctrl_send_events: the control's new value to its subscribers (not to the
    // device that set it, `origin`), and to every subscriber of a control it is the
    // master of, its new state (flags and value, to `origin` too).
    void sendControlEvents(const void* origin, std::uint32_t id);
    void queueControlEvent(const void* origin, std::uint32_t id, std::uint32_t changes);
};

class FakeV4l2Device : public V4l2Device {
public:
    // `calls` names the calls it stands for ("libv4l2", "plain"): the camera notes which
    // streamed (FakeCamera::streamedThrough).
    explicit FakeV4l2Device(std::map<QByteArray, std::shared_ptr<FakeCamera>> nodes,
                            const char* calls = "libv4l2")
        : m_nodes(std::move(nodes)), m_calls(calls) {}
    ~FakeV4l2Device() override { close(); }

    int open(const QByteArray& path) override;
    int descriptor() const override { return m_camera ? m_camera->descriptor : -1; }
    void close() override;
    void* map(std::size_t length, std::int64_t offset) override;
    void unmap(void*, std::size_t) override;
    int poll(int timeoutMs) override;
    int ioctl(unsigned long request, void* arg) override;

private:
    // The calls as a single-planar node answers them; ioctl() checks the buffer type
    // the node takes and turns the multi-planar records into these.
    int singlePlaneIoctl(unsigned long request, void* arg);
    static constexpr std::uint32_t kOffsetStep = 0x100000;

    const FakeCamera::Format* find(std::uint32_t fourcc) const;
    int setControl(v4l2_control& value);

    std::map<QByteArray, std::shared_ptr<FakeCamera>> m_nodes;
    std::shared_ptr<FakeCamera> m_camera;
    const char* m_calls;
};

// A device folder for the real device list and its watcher: node files in a temporary
// folder, each with a fake camera behind it. While it lives, DriverList reads it.
class FakeDeviceFolder {
public:
    FakeDeviceFolder();
    ~FakeDeviceFolder();
    FakeDeviceFolder(const FakeDeviceFolder&) = delete;
    FakeDeviceFolder& operator=(const FakeDeviceFolder&) = delete;

    QString path() const { return m_dir.path(); }
    QString node(int number) const { return m_dir.filePath(QStringLiteral("video%1").arg(number)); }

    // A camera of this name on this bus, as FakeCamera::standard() otherwise.
    static std::shared_ptr<FakeCamera> camera(const QByteArray& card, const QByteArray& bus);
    // The camera's node appears (as the kernel makes it).
    void plug(int number, std::shared_ptr<FakeCamera> camera);
    // The camera goes: its open device fails with ENODEV, and its node goes away.
    void unplug(int number);
    // A USB reset: the camera goes and `camera` comes back at once under the same node
    // name, which is a new node file (another inode), as devtmpfs makes it again.
    void reset(int number, std::shared_ptr<FakeCamera> camera);
    // udev's /dev/v4l/by-id link `name` to the node (two cameras without a serial
    // number get the same name: the link points at whichever came last).
    void link(const QString& name, int number);

private:
    QTemporaryDir m_dir;
    std::shared_ptr<std::map<QByteArray, std::shared_ptr<FakeCamera>>> m_nodes;
};
