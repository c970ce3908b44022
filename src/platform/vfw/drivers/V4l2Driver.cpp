#include "V4l2Driver.h"

#include <QDir>
#include <QRegularExpression>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <linux/videodev2.h>
#include <turbojpeg.h>

namespace {

constexpr std::uint32_t kMjpeg = V4L2_PIX_FMT_MJPEG;
constexpr std::uint32_t kRgb24 = V4L2_PIX_FMT_RGB24;
constexpr int kPollSliceMs = 100;         // how quickly stop() is noticed
constexpr std::uint32_t kMaxSide = 16384; // pixels; larger than any camera picture

struct TurboJpegDeleter {
    void operator()(void* handle) const { tjDestroy(handle); }
};
using TurboJpegHandle = std::unique_ptr<void, TurboJpegDeleter>;

QString errorText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

QString versionText(std::uint32_t version) {
    return QStringLiteral("%1.%2.%3").arg(version >> 16).arg((version >> 8) & 0xFF).arg(version & 0xFF);
}

QString cString(const std::uint8_t* text, std::size_t size) {
    return QString::fromLocal8Bit(reinterpret_cast<const char*>(text),
                                  int(strnlen(reinterpret_cast<const char*>(text), size)));
}

std::uint32_t deviceCaps(const v4l2_capability& cap) {
    return (cap.capabilities & V4L2_CAP_DEVICE_CAPS) ? cap.device_caps : cap.capabilities;
}

// Sizes offered for a stepwise or continuous range: the common ones within it.
std::vector<QSize> commonSizes(const v4l2_frmsize_stepwise& range) {
    static const QSize common[] = {{160, 120}, {320, 240},  {352, 288},  {640, 480},
                                   {800, 600}, {1024, 768}, {1280, 720}, {1920, 1080}};
    std::vector<QSize> sizes;
    for (QSize s : common)
        if (std::uint32_t(s.width()) >= range.min_width && std::uint32_t(s.width()) <= range.max_width &&
            std::uint32_t(s.height()) >= range.min_height && std::uint32_t(s.height()) <= range.max_height)
            sizes.push_back(s);
    if (sizes.empty()) sizes.push_back(QSize(int(range.max_width), int(range.max_height)));
    return sizes;
}

} // namespace

V4l2Driver::V4l2Driver(V4l2Node node, DeviceFactory factory)
    : m_node(std::move(node)), m_factory(std::move(factory)) {}

V4l2Driver::~V4l2Driver() {
    close();
}

std::vector<V4l2Node> V4l2Driver::captureNodes(const DeviceFactory& factory, const QString& folder) {
    static const QRegularExpression pattern(QStringLiteral("^video(\\d+)$"));
    std::vector<std::pair<int, QString>> numbered;
    for (const QString& entry : QDir(folder).entryList(QDir::System | QDir::Files | QDir::NoDotAndDotDot)) {
        const auto match = pattern.match(entry);
        if (match.hasMatch()) numbered.emplace_back(match.captured(1).toInt(), QDir(folder).filePath(entry));
    }
    std::sort(numbered.begin(), numbered.end());
    std::vector<V4l2Node> nodes;
    for (const auto& [number, path] : numbered) {
        auto device = factory();
        if (!device || device->open(QFile::encodeName(path)) != 0) continue;
        v4l2_capability cap{};
        const bool ok = device->ioctl(VIDIOC_QUERYCAP, &cap) == 0;
        device->close();
        const std::uint32_t caps = deviceCaps(cap);
        if (!ok || !(caps & V4L2_CAP_VIDEO_CAPTURE) || !(caps & V4L2_CAP_STREAMING)) continue;
        nodes.push_back({path, cString(cap.card, sizeof cap.card), versionText(cap.version)});
    }
    return nodes;
}

bool V4l2Driver::fail(const QString& what, int error) {
    m_lastError = QStringLiteral("%1 (%2): %3").arg(what, m_node.path, errorText(error));
    return false;
}

bool V4l2Driver::open() {
    if (m_device) return true;
    auto device = m_factory();
    if (!device) return fail(QStringLiteral("No device"), ENODEV);
    if (const int error = device->open(QFile::encodeName(m_node.path)))
        return fail(QStringLiteral("Cannot open the camera"), error);
    v4l2_capability cap{};
    if (const int error = device->ioctl(VIDIOC_QUERYCAP, &cap))
        return fail(QStringLiteral("Not a video device"), error);
    if (!(deviceCaps(cap) & V4L2_CAP_VIDEO_CAPTURE) || !(deviceCaps(cap) & V4L2_CAP_STREAMING))
        return fail(QStringLiteral("The device cannot capture"), ENOTTY);
    m_device = std::move(device);
    m_hasOutput = (deviceCaps(cap) & V4L2_CAP_VIDEO_OUTPUT) != 0;
    v4l2_input input{};
    m_hasInputs = m_device->ioctl(VIDIOC_ENUMINPUT, &input) == 0;
    enumerateFormats();
    if (m_formats.empty()) {
        m_device.reset();
        return fail(QStringLiteral("The camera offers no format"), EINVAL);
    }
    // Start with the device's current format when it is one of ours, else the first.
    v4l2_format current{};
    current.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    const FormatOption* chosen = &m_formats.front();
    if (m_device->ioctl(VIDIOC_G_FMT, &current) == 0) {
        for (const FormatOption& option : m_formats)
            if (option.fourcc == current.fmt.pix.pixelformat &&
                option.size == QSize(int(current.fmt.pix.width), int(current.fmt.pix.height)))
                chosen = &option;
    }
    m_format.fourcc = chosen->fourcc;
    m_format.size = chosen->size;
    m_format.interval = chosen->intervals.front();
    v4l2_streamparm parm{};
    parm.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (m_device->ioctl(VIDIOC_G_PARM, &parm) == 0 && parm.parm.capture.timeperframe.denominator) {
        const FrameInterval interval{parm.parm.capture.timeperframe.numerator,
                                     parm.parm.capture.timeperframe.denominator};
        if (std::find(chosen->intervals.begin(), chosen->intervals.end(), interval) !=
            chosen->intervals.end())
            m_format.interval = interval;
    }
    return true;
}

void V4l2Driver::close() {
    stop();
    m_device.reset();
}

void V4l2Driver::enumerateFormats() {
    m_formats.clear();
    for (std::uint32_t index = 0;; ++index) {
        v4l2_fmtdesc desc{};
        desc.index = index;
        desc.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        if (m_device->ioctl(VIDIOC_ENUM_FMT, &desc) != 0) break;
        if (desc.flags & V4L2_FMT_FLAG_EMULATED) continue;
        std::vector<QSize> sizes;
        for (std::uint32_t s = 0;; ++s) {
            v4l2_frmsizeenum size{};
            size.index = s;
            size.pixel_format = desc.pixelformat;
            if (m_device->ioctl(VIDIOC_ENUM_FRAMESIZES, &size) != 0) break;
            if (size.type == V4L2_FRMSIZE_TYPE_DISCRETE) {
                sizes.emplace_back(int(size.discrete.width), int(size.discrete.height));
            } else {
                sizes = commonSizes(size.stepwise);
                break;
            }
        }
        for (QSize frameSize : sizes) {
            FormatOption option;
            option.fourcc = desc.pixelformat;
            option.pixelFormatName = cString(desc.description, sizeof desc.description);
            option.size = frameSize;
            for (std::uint32_t i = 0;; ++i) {
                v4l2_frmivalenum ival{};
                ival.index = i;
                ival.pixel_format = desc.pixelformat;
                ival.width = std::uint32_t(frameSize.width());
                ival.height = std::uint32_t(frameSize.height());
                if (m_device->ioctl(VIDIOC_ENUM_FRAMEINTERVALS, &ival) != 0) break;
                if (ival.type == V4L2_FRMIVAL_TYPE_DISCRETE) {
                    if (ival.discrete.denominator)
                        option.intervals.push_back({ival.discrete.numerator, ival.discrete.denominator});
                } else {
                    // A range: offer the usual rates that fall inside it.
                    const double fastest =
                        double(ival.stepwise.min.denominator) / std::max(1u, ival.stepwise.min.numerator);
                    const double slowest =
                        double(ival.stepwise.max.denominator) / std::max(1u, ival.stepwise.max.numerator);
                    for (std::uint32_t rate : {60u, 30u, 25u, 20u, 15u, 10u, 5u, 1u})
                        if (rate <= fastest + 1e-9 && rate >= slowest - 1e-9)
                            option.intervals.push_back({1, rate});
                    break;
                }
            }
            if (option.intervals.empty()) option.intervals.push_back({1, 30});
            m_formats.push_back(std::move(option));
        }
    }
}

DriverCapabilities V4l2Driver::capabilities() const {
    // No overlay on V4L2 here; the display dialog is the capture window's scaling.
    DriverCapabilities caps{false, true, true, true};
    // Every channel is reached through the one open node.
    const int fd = m_device ? m_device->descriptor() : -1;
    if (fd >= 0) {
        caps.videoIn = std::uint32_t(fd);
        if (m_hasOutput) caps.videoOut = std::uint32_t(fd);
        if (m_hasInputs) caps.externalIn = std::uint32_t(fd);
    }
    return caps;
}

bool V4l2Driver::setFormat(const VideoFormat& format) {
    if (isStreaming()) {
        m_lastError = QStringLiteral("The format cannot change while the camera streams.");
        return false;
    }
    for (const FormatOption& option : m_formats) {
        if (option.fourcc == format.fourcc && option.size == format.size &&
            std::find(option.intervals.begin(), option.intervals.end(), format.interval) !=
                option.intervals.end()) {
            m_format = format;
            return true;
        }
    }
    m_lastError = QStringLiteral("The camera does not offer this format.");
    return false;
}

std::vector<DriverControl> V4l2Driver::controls() const {
    std::vector<DriverControl> list;
    if (!m_device) return list;
    v4l2_queryctrl query{};
    query.id = V4L2_CTRL_FLAG_NEXT_CTRL;
    while (m_device->ioctl(VIDIOC_QUERYCTRL, &query) == 0) {
        const std::uint32_t id = query.id;
        query.id |= V4L2_CTRL_FLAG_NEXT_CTRL;
        if (query.flags & (V4L2_CTRL_FLAG_DISABLED | V4L2_CTRL_FLAG_READ_ONLY)) continue;
        DriverControl control;
        control.id = id;
        control.name = cString(query.name, sizeof query.name);
        control.minimum = query.minimum;
        control.maximum = query.maximum;
        control.step = std::max(1, query.step);
        control.defaultValue = query.default_value;
        switch (query.type) {
        case V4L2_CTRL_TYPE_INTEGER:
            control.kind = DriverControl::Kind::Slider;
            break;
        case V4L2_CTRL_TYPE_BOOLEAN:
            control.kind = DriverControl::Kind::CheckBox;
            break;
        case V4L2_CTRL_TYPE_MENU:
        case V4L2_CTRL_TYPE_INTEGER_MENU:
            control.kind = DriverControl::Kind::Menu;
            for (int v = query.minimum; v <= query.maximum; ++v) {
                v4l2_querymenu menu{};
                menu.id = id;
                menu.index = std::uint32_t(v);
                if (m_device->ioctl(VIDIOC_QUERYMENU, &menu) != 0)
                    control.menuItems << QString();
                else if (query.type == V4L2_CTRL_TYPE_MENU)
                    control.menuItems << cString(menu.name, sizeof menu.name);
                else
                    control.menuItems << QString::number(menu.value);
            }
            break;
        default:
            continue; // buttons, strings, classes: not shown
        }
        v4l2_control value{};
        value.id = id;
        control.value = m_device->ioctl(VIDIOC_G_CTRL, &value) == 0 ? value.value : query.default_value;
        list.push_back(control);
    }
    return list;
}

bool V4l2Driver::setControl(std::uint32_t id, int value) {
    if (!m_device) return false;
    v4l2_control control{};
    control.id = id;
    control.value = value;
    if (const int error = m_device->ioctl(VIDIOC_S_CTRL, &control))
        return fail(QStringLiteral("Cannot change a camera setting"), error);
    return true;
}

bool V4l2Driver::configure() {
    m_streamFourcc = m_format.fourcc == kMjpeg ? kMjpeg : kRgb24;
    v4l2_format fmt{};
    fmt.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    fmt.fmt.pix.width = std::uint32_t(m_format.size.width());
    fmt.fmt.pix.height = std::uint32_t(m_format.size.height());
    fmt.fmt.pix.pixelformat = m_streamFourcc;
    fmt.fmt.pix.field = V4L2_FIELD_ANY;
    if (const int error = m_device->ioctl(VIDIOC_S_FMT, &fmt))
        return fail(QStringLiteral("Cannot set the format"), error);
    if (fmt.fmt.pix.pixelformat != m_streamFourcc)
        return fail(QStringLiteral("The camera refused the pixel format"), EINVAL);
    // The camera may answer another size than asked; one no picture can have would
    // overflow the sizes below.
    if (fmt.fmt.pix.width < 1 || fmt.fmt.pix.width > kMaxSide || fmt.fmt.pix.height < 1 ||
        fmt.fmt.pix.height > kMaxSide)
        return fail(QStringLiteral("The camera answered an impossible frame size"), EINVAL);
    m_streamSize = QSize(int(fmt.fmt.pix.width), int(fmt.fmt.pix.height));
    m_bytesPerLine = std::max(fmt.fmt.pix.bytesperline, fmt.fmt.pix.width * 3);

    v4l2_streamparm parm{};
    parm.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    parm.parm.capture.timeperframe.numerator = m_format.interval.numerator;
    parm.parm.capture.timeperframe.denominator = m_format.interval.denominator;
    m_device->ioctl(VIDIOC_S_PARM, &parm); // a camera with a fixed rate refuses; that is fine

    v4l2_requestbuffers request{};
    request.count = kBufferCount;
    request.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    request.memory = V4L2_MEMORY_MMAP;
    if (const int error = m_device->ioctl(VIDIOC_REQBUFS, &request))
        return fail(QStringLiteral("Cannot get streaming buffers"), error);
    if (request.count == 0) return fail(QStringLiteral("Cannot get streaming buffers"), ENOMEM);
    for (std::uint32_t i = 0; i < request.count; ++i) {
        v4l2_buffer buffer{};
        buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        buffer.memory = V4L2_MEMORY_MMAP;
        buffer.index = i;
        if (const int error = m_device->ioctl(VIDIOC_QUERYBUF, &buffer))
            return fail(QStringLiteral("Cannot query a buffer"), error);
        void* address = m_device->map(buffer.length, buffer.m.offset);
        if (!address) return fail(QStringLiteral("Cannot map a buffer"), ENOMEM);
        m_buffers.emplace_back(m_device.get(), address, buffer.length);
        if (const int error = m_device->ioctl(VIDIOC_QBUF, &buffer))
            return fail(QStringLiteral("Cannot queue a buffer"), error);
    }
    int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (const int error = m_device->ioctl(VIDIOC_STREAMON, &type))
        return fail(QStringLiteral("Cannot start streaming"), error);
    return true;
}

void V4l2Driver::releaseBuffers() {
    if (!m_device) return;
    int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    m_device->ioctl(VIDIOC_STREAMOFF, &type); // fails on an unplugged device; nothing to do then
    m_buffers.clear();
    v4l2_requestbuffers request{};
    request.count = 0;
    request.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    request.memory = V4L2_MEMORY_MMAP;
    m_device->ioctl(VIDIOC_REQBUFS, &request);
}

bool V4l2Driver::start(FrameCallback onFrame, ErrorCallback onError) {
    if (!m_device || isStreaming()) return false;
    if (!configure()) {
        releaseBuffers();
        return false;
    }
    m_stopRequested = false;
    m_thread = std::thread(
        [this, onFrame = std::move(onFrame), onError = std::move(onError)] { run(onFrame, onError); });
    return true;
}

void V4l2Driver::stop() {
    if (!m_thread.joinable()) return;
    m_stopRequested = true;
    m_thread.join();
    releaseBuffers();
}

void V4l2Driver::run(FrameCallback onFrame, ErrorCallback onError) {
    TurboJpegHandle decoder(m_streamFourcc == kMjpeg ? tjInitDecompress() : nullptr);
    int waitedMs = 0;
    std::uint64_t sequence = 0;
    while (!m_stopRequested) {
        const int ready = m_device->poll(kPollSliceMs);
        if (m_stopRequested) return;
        if (ready < 0) {
            onError(QStringLiteral("The camera stopped (%1): %2").arg(m_node.path, errorText(-ready)));
            return;
        }
        if (ready == 0) {
            waitedMs += kPollSliceMs;
            if (waitedMs >= m_noFrameTimeoutMs) {
                onError(QStringLiteral("The camera sends no pictures (%1).").arg(m_node.path));
                return;
            }
            continue;
        }
        v4l2_buffer buffer{};
        buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        buffer.memory = V4L2_MEMORY_MMAP;
        if (const int error = m_device->ioctl(VIDIOC_DQBUF, &buffer)) {
            if (error == EAGAIN) continue;
            onError(QStringLiteral("The camera stopped (%1): %2").arg(m_node.path, errorText(error)));
            return;
        }
        waitedMs = 0;
        VideoFrame frame;
        frame.captureTimeUs = monotonicTimeUs();
        if (buffer.index < m_buffers.size() && !(buffer.flags & V4L2_BUF_FLAG_ERROR)) {
            const MappedBuffer& mapped = m_buffers[buffer.index];
            const std::size_t used = std::min<std::size_t>(buffer.bytesused, mapped.length());
            if (m_streamFourcc == kMjpeg) {
                // Only a JPEG of the streamed size is taken: TurboJPEG would scale a larger
                // one down and leave the rest of the picture unset around a smaller one,
                // and the recorder stores the camera's bytes as a frame of that size.
                int width = 0, height = 0, subsampling = 0, colourspace = 0;
                const bool sized =
                    decoder &&
                    tjDecompressHeader3(decoder.get(), mapped.data(), static_cast<unsigned long>(used),
                                        &width, &height, &subsampling, &colourspace) == 0 &&
                    QSize(width, height) == m_streamSize;
                QImage image = sized ? QImage(m_streamSize, QImage::Format_RGB32) : QImage();
                const bool decoded =
                    !image.isNull() &&
                    tjDecompress2(decoder.get(), mapped.data(), static_cast<unsigned long>(used),
                                  image.bits(), image.width(), int(image.bytesPerLine()), image.height(),
                                  TJPF_BGRX, TJFLAG_FASTDCT) == 0;
                if (decoded) {
                    frame.image = image;
                    frame.mjpeg = QByteArray(reinterpret_cast<const char*>(mapped.data()), qsizetype(used));
                }
            } else if (used >= std::size_t(m_bytesPerLine) * std::size_t(m_streamSize.height())) {
                frame.image = QImage(mapped.data(), m_streamSize.width(), m_streamSize.height(),
                                     int(m_bytesPerLine), QImage::Format_RGB888)
                                  .convertToFormat(QImage::Format_RGB32);
            }
        }
        if (const int error = m_device->ioctl(VIDIOC_QBUF, &buffer)) {
            onError(QStringLiteral("The camera stopped (%1): %2").arg(m_node.path, errorText(error)));
            return;
        }
        if (frame.isValid()) {
            frame.sequence = sequence++;
            onFrame(frame);
        }
    }
}
