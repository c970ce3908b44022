#include "V4l2Driver.h"

#include "CameraJpeg.h"
#include "FrameConverter.h"
#include "Logging.h"

#include <QFile>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <linux/videodev2.h>

namespace {

constexpr std::uint32_t kRgb24 = V4L2_PIX_FMT_RGB24;
constexpr int kPollSliceMs = 100;         // how quickly stop() is noticed
constexpr std::uint32_t kMaxSide = 16384; // pixels; larger than any camera picture
// A kernel timestamp further than this from the time of dequeuing is not believed.
constexpr std::int64_t kMaxTimestampAgeUs = 2000000;

bool fitsRange(std::uint32_t value, std::uint32_t minimum, std::uint32_t maximum, std::uint32_t step) {
    return value >= minimum && value <= maximum && (value - minimum) % std::max(1u, step) == 0;
}

// Common picture sizes: webcams', PAL and NTSC (720x576, 720x480), HD, 4K.
constexpr QSize kCommonSizes[] = {{160, 120},   {176, 144},  {320, 240},   {352, 288},   {640, 360},
                                  {640, 480},   {720, 480},  {720, 576},   {800, 600},   {1024, 768},
                                  {1280, 720},  {1280, 960}, {1280, 1024}, {1600, 1200}, {1920, 1080},
                                  {2560, 1440}, {3840, 2160}};

// The largest value of a range on its steps.
std::uint32_t lastStep(std::uint32_t minimum, std::uint32_t maximum, std::uint32_t step) {
    return maximum < minimum ? minimum
                             : minimum + (maximum - minimum) / std::max(1u, step) * std::max(1u, step);
}

// Sizes offered for a stepwise or continuous range: its smallest and its largest
// size, and the common sizes between them that are on its steps, smallest first.
std::vector<QSize> rangeSizes(v4l2_frmsize_stepwise range) {
    std::vector<QSize> sizes;
    if (!range.min_width || !range.min_height || range.min_width > kMaxSide || range.min_height > kMaxSide)
        return sizes;
    range.max_width = std::min(range.max_width, kMaxSide);
    range.max_height = std::min(range.max_height, kMaxSide);
    sizes.emplace_back(int(range.min_width), int(range.min_height));
    for (QSize s : kCommonSizes)
        if (fitsRange(std::uint32_t(s.width()), range.min_width, range.max_width, range.step_width) &&
            fitsRange(std::uint32_t(s.height()), range.min_height, range.max_height, range.step_height))
            sizes.push_back(s);
    sizes.emplace_back(int(lastStep(range.min_width, range.max_width, range.step_width)),
                       int(lastStep(range.min_height, range.max_height, range.step_height)));
    std::stable_sort(sizes.begin(), sizes.end(), [](QSize a, QSize b) {
        return std::int64_t(a.width()) * a.height() < std::int64_t(b.width()) * b.height();
    });
    sizes.erase(std::unique(sizes.begin(), sizes.end()), sizes.end());
    return sizes;
}

// Rates offered for a stepwise or continuous range of frame intervals: its fastest
// and its slowest, and the usual rates between them that are on its steps, fastest
// first.
std::vector<FrameInterval> rangeIntervals(const v4l2_frmival_stepwise& range, bool continuous) {
    auto seconds = [](const v4l2_fract& f) {
        return f.denominator ? double(f.numerator) / f.denominator : 0.0;
    };
    const double fastest = seconds(range.min), slowest = seconds(range.max);
    const double step = continuous ? 0.0 : seconds(range.step);
    std::vector<FrameInterval> intervals;
    if (fastest <= 0 || slowest < fastest) return intervals;
    intervals.push_back({range.min.numerator, range.min.denominator});
    for (std::uint32_t rate : {60u, 50u, 30u, 25u, 24u, 20u, 15u, 10u, 5u, 1u}) {
        const double t = 1.0 / rate;
        if (t <= fastest + 1e-9 || t >= slowest - 1e-9) continue;
        if (step > 0) {
            const double k = (t - fastest) / step;
            if (std::abs(k - std::round(k)) > 1e-6) continue;
        }
        intervals.push_back({1, rate});
    }
    if (slowest > fastest + 1e-9) intervals.push_back({range.max.numerator, range.max.denominator});
    return intervals;
}

// Compressed video that nothing here decodes: a camera's H.264 or HEVC stream is not
// offered (libv4l2, asked for it, would stream another of the camera's formats).
bool isUndecodedCodec(std::uint32_t fourcc) {
    switch (fourcc) {
    case V4L2_PIX_FMT_H264:
    case V4L2_PIX_FMT_H264_NO_SC:
    case V4L2_PIX_FMT_H264_MVC:
    case V4L2_PIX_FMT_HEVC:
    case V4L2_PIX_FMT_H263:
    case V4L2_PIX_FMT_MPEG:
    case V4L2_PIX_FMT_MPEG1:
    case V4L2_PIX_FMT_MPEG2:
    case V4L2_PIX_FMT_MPEG4:
    case V4L2_PIX_FMT_XVID:
    case V4L2_PIX_FMT_VC1_ANNEX_G:
    case V4L2_PIX_FMT_VC1_ANNEX_L:
    case V4L2_PIX_FMT_VP8:
    case V4L2_PIX_FMT_VP9:
        return true;
    default:
        return false;
    }
}

// The most menu entries asked of a device: uvcvideo's menus have at most 64 (a bit
// mask), and VIDIOC_QUERYCTRL lets a device announce any maximum.
constexpr std::int64_t kMaxMenuEntries = 256;
// The most events read at once: a device that keeps announcing is not a hang.
constexpr int kMaxEventsAtOnce = 256;

// Controls that switch others between automatic and manual (uvcvideo's masters, the
// control framework's auto clusters). uvcvideo does not flag them
// V4L2_CTRL_FLAG_UPDATE, so they are known by their ids.
bool isAutomaticControl(std::uint32_t id) {
    switch (id) {
    case V4L2_CID_AUTOGAIN:
    case V4L2_CID_AUTO_WHITE_BALANCE:
    case V4L2_CID_HUE_AUTO:
    case V4L2_CID_AUTOBRIGHTNESS:
    case V4L2_CID_EXPOSURE_AUTO:
    case V4L2_CID_FOCUS_AUTO:
    case V4L2_CID_ISO_SENSITIVITY_AUTO:
    case V4L2_CID_AUTO_N_PRESET_WHITE_BALANCE:
        return true;
    default:
        return false;
    }
}

// Controls that move by the amount written each time (the control framework flags
// them V4L2_CTRL_FLAG_EXECUTE_ON_WRITE; uvcvideo does not).
bool isRelativeControl(std::uint32_t id, std::uint32_t flags) {
    switch (id) {
    case V4L2_CID_PAN_RELATIVE:
    case V4L2_CID_TILT_RELATIVE:
    case V4L2_CID_FOCUS_RELATIVE:
    case V4L2_CID_IRIS_RELATIVE:
    case V4L2_CID_ZOOM_RELATIVE:
        return true;
    default:
        return flags & V4L2_CTRL_FLAG_EXECUTE_ON_WRITE;
    }
}

constexpr std::uint32_t kSinglePlane = V4L2_BUF_TYPE_VIDEO_CAPTURE;
constexpr std::uint32_t kMultiPlane = V4L2_BUF_TYPE_VIDEO_CAPTURE_MPLANE;

// A picture format in either layout: v4l2_pix_format, or v4l2_pix_format_mplane with
// the one plane of the formats streamed here (videobuf2's single-plane formats:
// YUYV, NV12, MJPEG... in one buffer; not NV12M's two).
struct PixFormat {
    std::uint32_t fourcc = 0, width = 0, height = 0, bytesPerLine = 0, planes = 1;
};

PixFormat readPix(const v4l2_format& f) {
    if (f.type == kMultiPlane)
        return {f.fmt.pix_mp.pixelformat, f.fmt.pix_mp.width, f.fmt.pix_mp.height,
                f.fmt.pix_mp.plane_fmt[0].bytesperline, f.fmt.pix_mp.num_planes};
    return {f.fmt.pix.pixelformat, f.fmt.pix.width, f.fmt.pix.height, f.fmt.pix.bytesperline, 1};
}

// A format to try or set: the pixel format and size asked for, any field.
v4l2_format pixRequest(std::uint32_t type, std::uint32_t fourcc, QSize size) {
    v4l2_format f{};
    f.type = type;
    if (type == kMultiPlane) {
        f.fmt.pix_mp.pixelformat = fourcc;
        f.fmt.pix_mp.width = std::uint32_t(size.width());
        f.fmt.pix_mp.height = std::uint32_t(size.height());
        f.fmt.pix_mp.field = V4L2_FIELD_ANY;
        f.fmt.pix_mp.num_planes = 1;
    } else {
        f.fmt.pix.pixelformat = fourcc;
        f.fmt.pix.width = std::uint32_t(size.width());
        f.fmt.pix.height = std::uint32_t(size.height());
        f.fmt.pix.field = V4L2_FIELD_ANY;
    }
    return f;
}

// A buffer as the stream's calls want it: the multi-planar ones carry its one plane's
// length, offset and bytes in a plane record of their own.
struct BufferCall {
    v4l2_buffer buffer{};
    v4l2_plane plane{};

    explicit BufferCall(std::uint32_t type, std::uint32_t index = 0) {
        buffer.type = type;
        buffer.memory = V4L2_MEMORY_MMAP;
        buffer.index = index;
        if (type == kMultiPlane) {
            buffer.m.planes = &plane;
            buffer.length = 1;
        }
    }
    BufferCall(const BufferCall&) = delete; // the buffer points at its own plane
    BufferCall& operator=(const BufferCall&) = delete;

    bool multiPlane() const { return buffer.type == kMultiPlane; }
    std::uint32_t length() const { return multiPlane() ? plane.length : buffer.length; }
    std::int64_t offset() const { return multiPlane() ? plane.m.mem_offset : buffer.m.offset; }
    // Where the picture starts in the buffer (a plane may carry a header before it), and
    // its bytes from there.
    std::uint32_t dataOffset() const {
        return multiPlane() ? std::min(plane.data_offset, plane.bytesused) : 0;
    }
    std::uint32_t bytesUsed() const {
        return multiPlane() ? plane.bytesused - dataOffset() : buffer.bytesused;
    }
};

} // namespace

V4l2Driver::V4l2Driver(V4l2Node node, DeviceFactory factory, DeviceFactory plainFactory)
    : m_node(std::move(node)), m_factory(std::move(factory)), m_plainFactory(std::move(plainFactory)) {}

V4l2Driver::~V4l2Driver() {
    close();
}

QString V4l2Driver::errorText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

QString V4l2Driver::fieldText(const std::uint8_t* text, std::size_t size) {
    return QString::fromLocal8Bit(reinterpret_cast<const char*>(text),
                                  int(strnlen(reinterpret_cast<const char*>(text), size)));
}

std::uint32_t V4l2Driver::deviceCaps(const v4l2_capability& cap) {
    return (cap.capabilities & V4L2_CAP_DEVICE_CAPS) ? cap.device_caps : cap.capabilities;
}

// A node that captures only through the multi-planar calls (vb2 drivers of SoC
// capture units, vivid with multiplanar=2) is streamed through them.
std::uint32_t V4l2Driver::bufferType(const v4l2_capability& cap) {
    const std::uint32_t caps = deviceCaps(cap);
    return !(caps & V4L2_CAP_VIDEO_CAPTURE) && (caps & V4L2_CAP_VIDEO_CAPTURE_MPLANE) ? kMultiPlane
                                                                                      : kSinglePlane;
}

bool V4l2Driver::fail(const QString& what, int error) {
    // EBUSY: another program streams from the camera (uvcvideo gives the format, the
    // buffers and the stream to the first file handle that asks, until it lets go).
    m_busy = error == EBUSY;
    if (m_busy)
        m_lastError = QStringLiteral("The camera %1 is in use by another program (%2).")
                          .arg(m_node.cardName, m_node.path);
    else
        m_lastError = QStringLiteral("%1 (%2): %3").arg(what, m_node.path, errorText(error));
    return false;
}

bool V4l2Driver::open() {
    if (m_device) return true;
    m_busy = false;
    auto device = m_factory();
    if (!device) return fail(QStringLiteral("No device"), ENODEV);
    if (const int error = device->open(QFile::encodeName(m_node.path)))
        return fail(QStringLiteral("Cannot open the camera"), error);
    v4l2_capability cap{};
    if (const int error = device->ioctl(VIDIOC_QUERYCAP, &cap))
        return fail(QStringLiteral("Not a video device"), error);
    if (!(deviceCaps(cap) & (V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_VIDEO_CAPTURE_MPLANE)) ||
        !(deviceCaps(cap) & V4L2_CAP_STREAMING))
        return fail(QStringLiteral("The device cannot capture"), ENOTTY);
    if (!isThisCamera(cap)) {
        m_lastError = QStringLiteral("%1 is not at %2 any more.").arg(m_node.cardName, m_node.path);
        return false;
    }
    m_device = std::move(device);
    m_stream = m_device.get();
    m_deviceType = bufferType(cap);
    m_hasOutput = (deviceCaps(cap) & V4L2_CAP_VIDEO_OUTPUT) != 0;
    v4l2_input input{};
    m_hasInputs = m_device->ioctl(VIDIOC_ENUMINPUT, &input) == 0;
    m_dropped = 0;
    if (!followDvTimings()) {
        m_device.reset();
        m_stream = nullptr;
        return false;
    }
    subscribeToControlEvents();
    enumerateFormats();
    if (m_formats.empty()) {
        m_device.reset();
        m_stream = nullptr;
        return fail(QStringLiteral("The camera offers no format"), EINVAL);
    }
    // The camera's own formats stream through a node opened plainly, when libv4l2 does
    // not have to process the camera's picture (then it offers only its own formats).
    if (m_plainFactory && m_emulated.empty()) {
        m_plain = m_plainFactory();
        v4l2_capability plainCap{};
        if (m_plain && (m_plain->open(QFile::encodeName(m_node.path)) != 0 ||
                        m_plain->ioctl(VIDIOC_QUERYCAP, &plainCap) != 0))
            m_plain.reset();
        // libv4l2 shows a multi-planar device as a single-planar one (its mplane
        // plugin); plain calls see it as it is.
        m_plainType = bufferType(plainCap);
    }
    // Start with the device's current format when it is one of ours, else the first.
    v4l2_format current{};
    current.type = m_deviceType;
    const FormatOption* chosen = &m_formats.front();
    if (m_device->ioctl(VIDIOC_G_FMT, &current) == 0) {
        const PixFormat now = readPix(current);
        for (const FormatOption& option : m_formats)
            if (option.fourcc == now.fourcc && option.size == QSize(int(now.width), int(now.height)))
                chosen = &option;
    }
    m_format.fourcc = chosen->fourcc;
    m_format.size = chosen->size;
    m_format.interval = chosen->intervals.front();
    v4l2_streamparm parm{};
    parm.type = m_deviceType;
    if (m_device->ioctl(VIDIOC_G_PARM, &parm) == 0 && parm.parm.capture.timeperframe.denominator) {
        const FrameInterval interval{parm.parm.capture.timeperframe.numerator,
                                     parm.parm.capture.timeperframe.denominator};
        if (std::find(chosen->intervals.begin(), chosen->intervals.end(), interval) !=
            chosen->intervals.end())
            m_format.interval = interval;
    }
    return true;
}

namespace {

bool sameTimings(const v4l2_bt_timings& a, const v4l2_bt_timings& b) {
    return a.width == b.width && a.height == b.height && a.interlaced == b.interlaced &&
           a.pixelclock == b.pixelclock && a.hfrontporch == b.hfrontporch && a.hsync == b.hsync &&
           a.hbackporch == b.hbackporch && a.vfrontporch == b.vfrontporch && a.vsync == b.vsync &&
           a.vbackporch == b.vbackporch && a.il_vfrontporch == b.il_vfrontporch && a.il_vsync == b.il_vsync &&
           a.il_vbackporch == b.il_vbackporch;
}

} // namespace

// An HDMI (DVI, SDI) input shows the picture its source sends: its size and rate are
// the source's digital-video timings, found on the cable (VIDIOC_QUERY_DV_TIMINGS) and
// set on the receiver (VIDIOC_S_DV_TIMINGS), whose format then follows them. Without
// a usable signal the input cannot stream, and the message says why. Nothing to do on
// an input without timings (a camera, composite, a tuner).
bool V4l2Driver::followDvTimings() {
    int index = 0;
    if (m_device->ioctl(VIDIOC_G_INPUT, &index) != 0) index = 0;
    v4l2_input input{};
    input.index = std::uint32_t(index);
    if (m_device->ioctl(VIDIOC_ENUMINPUT, &input) != 0 || !(input.capabilities & V4L2_IN_CAP_DV_TIMINGS))
        return true;
    const QString where = QStringLiteral("the input \"%1\" of %2 (%3)")
                              .arg(fieldText(input.name, sizeof input.name), m_node.cardName, m_node.path);
    v4l2_dv_timings detected{};
    if (const int error = m_device->ioctl(VIDIOC_QUERY_DV_TIMINGS, &detected)) {
        m_busy = false;
        switch (error) {
        case ENOLINK:
            m_lastError =
                QStringLiteral("There is no signal on %1: connect the source and switch it on.").arg(where);
            break;
        case ENOLCK:
            m_lastError =
                QStringLiteral("The signal on %1 is unstable: the card cannot lock on to it.").arg(where);
            break;
        case ERANGE:
            m_lastError =
                QStringLiteral("The signal on %1 is outside what the card can take: give the source "
                               "another resolution or rate.")
                    .arg(where);
            break;
        default:
            return fail(QStringLiteral("Cannot read the signal's timings"), error);
        }
        return false;
    }
    v4l2_dv_timings current{};
    if (m_device->ioctl(VIDIOC_G_DV_TIMINGS, &current) == 0 && current.type == detected.type &&
        sameTimings(current.bt, detected.bt))
        return true;
    // Refused while another program streams from the card (EBUSY): its timings stay.
    if (const int error = m_device->ioctl(VIDIOC_S_DV_TIMINGS, &detected))
        qCDebug(lcV4l2) << m_node.path << "keeps its timings:" << errorText(error);
    else
        qCDebug(lcV4l2) << m_node.path << "follows the source:" << detected.bt.width << "x"
                        << detected.bt.height;
    return true;
}

// A node number is given to whichever camera comes next: the camera this driver
// stands for must still be the one behind its node.
bool V4l2Driver::isThisCamera(const v4l2_capability& cap) const {
    if (m_node.card.isEmpty() && m_node.busInfo.isEmpty()) return true; // not known when listed
    return fieldText(cap.card, sizeof cap.card) == m_node.card &&
           fieldText(cap.bus_info, sizeof cap.bus_info) == m_node.busInfo;
}

void V4l2Driver::close() {
    stop();
    m_stream = nullptr;
    m_plain.reset();
    m_device.reset();
}

void V4l2Driver::enumerateFormats() {
    m_formats.clear();
    m_formatNotes.clear();
    m_emulated.clear();
    std::vector<v4l2_fmtdesc> native, emulated;
    for (std::uint32_t index = 0; index < 256; ++index) {
        v4l2_fmtdesc desc{};
        desc.index = index;
        desc.type = m_deviceType;
        if (m_device->ioctl(VIDIOC_ENUM_FMT, &desc) != 0) break;
        if (isUndecodedCodec(desc.pixelformat)) {
            m_formatNotes << QStringLiteral("%1: a compressed video stream, which is not shown here.")
                                 .arg(fieldText(desc.description, sizeof desc.description));
            continue;
        }
        ((desc.flags & V4L2_FMT_FLAG_EMULATED) ? emulated : native).push_back(desc);
    }
    // libv4l2's emulated formats cost a conversion; they are offered only when the
    // device has nothing else (libv4l2 hides a camera's own formats when it must flip
    // or process its picture).
    const bool useEmulated = native.empty();
    for (const v4l2_fmtdesc& desc : useEmulated ? emulated : native) {
        if (useEmulated) m_emulated.push_back(desc.pixelformat);
        for (QSize frameSize : frameSizes(desc.pixelformat)) {
            FormatOption option;
            option.fourcc = desc.pixelformat;
            option.pixelFormatName = fieldText(desc.description, sizeof desc.description);
            option.size = frameSize;
            option.intervals = frameIntervals(desc.pixelformat, frameSize);
            m_formats.push_back(std::move(option));
        }
    }
}

std::vector<QSize> V4l2Driver::frameSizes(std::uint32_t fourcc) {
    std::vector<QSize> sizes;
    for (std::uint32_t s = 0;; ++s) {
        v4l2_frmsizeenum size{};
        size.index = s;
        size.pixel_format = fourcc;
        if (m_device->ioctl(VIDIOC_ENUM_FRAMESIZES, &size) != 0) break;
        if (size.type == V4L2_FRMSIZE_TYPE_DISCRETE) {
            sizes.emplace_back(int(size.discrete.width), int(size.discrete.height));
        } else {
            if (size.type == V4L2_FRMSIZE_TYPE_CONTINUOUS)
                size.stepwise.step_width = size.stepwise.step_height = 1;
            return rangeSizes(size.stepwise);
        }
    }
    if (!sizes.empty()) return sizes;
    // No size list (capture cards such as bttv, which scale to any size up to their
    // standard's): the size the device has now for this format, or the one it would
    // take, and each common size it takes as it is (VIDIOC_TRY_FMT answers the
    // nearest size it can give).
    v4l2_format fmt{};
    fmt.type = m_deviceType;
    if (m_device->ioctl(VIDIOC_G_FMT, &fmt) != 0) return sizes;
    PixFormat pix = readPix(fmt);
    if (pix.fourcc != fourcc) {
        fmt = pixRequest(m_deviceType, fourcc, QSize(int(pix.width), int(pix.height)));
        if (m_device->ioctl(VIDIOC_TRY_FMT, &fmt) != 0 || readPix(fmt).fourcc != fourcc) return sizes;
        pix = readPix(fmt);
    }
    if (!pix.width || !pix.height) return sizes;
    const QSize now(int(pix.width), int(pix.height));
    sizes.push_back(now);
    for (QSize common : kCommonSizes) {
        if (common == now) continue;
        v4l2_format tried = pixRequest(m_deviceType, fourcc, common);
        if (m_device->ioctl(VIDIOC_TRY_FMT, &tried) == 0 && readPix(tried).fourcc == fourcc &&
            QSize(int(readPix(tried).width), int(readPix(tried).height)) == common)
            sizes.push_back(common);
    }
    std::stable_sort(sizes.begin() + 1, sizes.end(), [](QSize a, QSize b) {
        return std::int64_t(a.width()) * a.height() < std::int64_t(b.width()) * b.height();
    });
    return sizes;
}

std::vector<FrameInterval> V4l2Driver::frameIntervals(std::uint32_t fourcc, QSize frameSize) {
    std::vector<FrameInterval> intervals;
    for (std::uint32_t i = 0;; ++i) {
        v4l2_frmivalenum ival{};
        ival.index = i;
        ival.pixel_format = fourcc;
        ival.width = std::uint32_t(frameSize.width());
        ival.height = std::uint32_t(frameSize.height());
        if (m_device->ioctl(VIDIOC_ENUM_FRAMEINTERVALS, &ival) != 0) break;
        if (ival.type == V4L2_FRMIVAL_TYPE_DISCRETE) {
            if (ival.discrete.denominator)
                intervals.push_back({ival.discrete.numerator, ival.discrete.denominator});
        } else {
            // A range: its limits and the usual rates on its steps.
            intervals = rangeIntervals(ival.stepwise, ival.type == V4L2_FRMIVAL_TYPE_CONTINUOUS);
            break;
        }
    }
    // No list (a capture card, whose rate is its standard's): the rate the device says
    // it runs at (v4l_g_parm answers a driver without its own G_PARM from the standard,
    // 1001/30000 or 1/25).
    if (intervals.empty()) {
        if (const auto running = runningInterval()) intervals.push_back(*running);
    }
    if (intervals.empty()) intervals.push_back({1, 30});
    return intervals;
}

std::optional<FrameInterval> V4l2Driver::runningInterval() const {
    v4l2_streamparm parm{};
    parm.type = m_deviceType;
    if (m_device->ioctl(VIDIOC_G_PARM, &parm) != 0 || !parm.parm.capture.timeperframe.numerator ||
        !parm.parm.capture.timeperframe.denominator)
        return std::nullopt;
    return FrameInterval{parm.parm.capture.timeperframe.numerator,
                         parm.parm.capture.timeperframe.denominator};
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
        if (option.fourcc != format.fourcc || option.size != format.size) continue;
        if (std::find(option.intervals.begin(), option.intervals.end(), format.interval) !=
            option.intervals.end()) {
            m_format = format;
            return true;
        }
        // A rate the camera answered before (its own fraction of it) is the offered one
        // nearest to it.
        const double wanted = format.interval.framesPerSecond();
        if (wanted <= 0 || option.intervals.empty()) continue;
        const auto nearest =
            std::min_element(option.intervals.begin(), option.intervals.end(), [wanted](auto a, auto b) {
                return std::abs(a.framesPerSecond() - wanted) < std::abs(b.framesPerSecond() - wanted);
            });
        if (std::abs(nearest->framesPerSecond() - wanted) <= 0.01 * wanted) {
            m_format = {format.fourcc, format.size, *nearest};
            return true;
        }
    }
    m_lastError = QStringLiteral("The camera does not offer this format.");
    return false;
}

void V4l2Driver::addSourceChoices(std::vector<DriverControl>& list) const {
    DriverControl input;
    input.id = kInputControl;
    input.name = QStringLiteral("Input");
    input.kind = DriverControl::Kind::Menu;
    for (std::uint32_t i = 0; i < 64; ++i) {
        v4l2_input entry{};
        entry.index = i;
        if (m_device->ioctl(VIDIOC_ENUMINPUT, &entry) != 0) break;
        input.menuItems << fieldText(entry.name, sizeof entry.name);
    }
    int current = 0;
    if (input.menuItems.size() > 1 && m_device->ioctl(VIDIOC_G_INPUT, &current) == 0) {
        input.maximum = int(input.menuItems.size()) - 1;
        input.value = current;
        list.push_back(input);
    }
    // The standards of the input in use (v4l_enumstd lists the node's tvnorms).
    DriverControl standard;
    standard.id = kStandardControl;
    standard.name = QStringLiteral("Video Standard");
    standard.kind = DriverControl::Kind::Menu;
    std::vector<v4l2_std_id> ids;
    for (std::uint32_t i = 0; i < 64; ++i) {
        v4l2_standard entry{};
        entry.index = i;
        if (m_device->ioctl(VIDIOC_ENUMSTD, &entry) != 0) break;
        standard.menuItems << fieldText(entry.name, sizeof entry.name);
        ids.push_back(entry.id);
    }
    v4l2_std_id now = 0;
    if (ids.empty() || m_device->ioctl(VIDIOC_G_STD, &now) != 0) return;
    standard.maximum = int(ids.size()) - 1;
    // The standard set now: the one that is it, else the first it belongs to.
    const auto exact = std::find(ids.begin(), ids.end(), now);
    const auto within =
        std::find_if(ids.begin(), ids.end(), [now](v4l2_std_id id) { return (id & now) != 0; });
    standard.value = int((exact != ids.end()    ? exact
                          : within != ids.end() ? within
                                                : ids.begin()) -
                         ids.begin());
    list.push_back(standard);
}

// The device decides whether it switches while it streams (drivers on videobuf2 answer
// EBUSY for a standard then).
bool V4l2Driver::setSourceChoice(std::uint32_t id, int value) {
    const QString what =
        id == kInputControl ? QStringLiteral("the input") : QStringLiteral("the video standard");
    int error = 0;
    if (id == kInputControl) {
        error = m_device->ioctl(VIDIOC_S_INPUT, &value);
    } else {
        v4l2_standard entry{};
        entry.index = std::uint32_t(std::max(0, value));
        error = m_device->ioctl(VIDIOC_ENUMSTD, &entry);
        if (!error) error = m_device->ioctl(VIDIOC_S_STD, &entry.id);
    }
    if (error == EBUSY) {
        m_lastError = QStringLiteral("The camera cannot change %1 while it streams.").arg(what);
        return false;
    }
    if (error) return fail(QStringLiteral("Cannot choose %1").arg(what), error);
    // Another input may be an HDMI one, with its source's timings (or no signal).
    const bool timingsFollowed = isStreaming() || followDvTimings();
    // Another input or standard has other sizes (PAL's 576 lines, NTSC's 480): the
    // format in use stays when it is still offered, else the first of its pixel format.
    if (isStreaming()) return true;
    enumerateFormats();
    if (m_formats.empty()) return timingsFollowed;
    const auto same = [this](const FormatOption& o) {
        return o.fourcc == m_format.fourcc && o.size == m_format.size;
    };
    if (!m_formats.empty() && std::none_of(m_formats.begin(), m_formats.end(), same)) {
        auto option = std::find_if(m_formats.begin(), m_formats.end(),
                                   [this](const FormatOption& o) { return o.fourcc == m_format.fourcc; });
        if (option == m_formats.end()) option = m_formats.begin();
        m_format = {option->fourcc, option->size, option->intervals.front()};
    }
    // Another standard runs at another rate (PAL's 25, NTSC's 29.97 frames a second).
    for (const FormatOption& option : m_formats)
        if (same(option) && std::find(option.intervals.begin(), option.intervals.end(), m_format.interval) ==
                                option.intervals.end())
            m_format.interval = option.intervals.front();
    return timingsFollowed;
}

std::vector<DriverControl> V4l2Driver::controls() const {
    std::vector<DriverControl> list;
    if (!m_device) return list;
    addSourceChoices(list);
    v4l2_queryctrl query{};
    query.id = V4L2_CTRL_FLAG_NEXT_CTRL;
    while (m_device->ioctl(VIDIOC_QUERYCTRL, &query) == 0) {
        const std::uint32_t id = query.id;
        query.id |= V4L2_CTRL_FLAG_NEXT_CTRL;
        if (query.flags & (V4L2_CTRL_FLAG_DISABLED | V4L2_CTRL_FLAG_READ_ONLY)) continue;
        DriverControl control;
        control.id = id;
        control.name = fieldText(query.name, sizeof query.name);
        control.minimum = query.minimum;
        control.maximum = query.maximum;
        control.step = std::max(1, query.step);
        control.defaultValue = query.default_value;
        control.inactive = query.flags & V4L2_CTRL_FLAG_INACTIVE;
        control.updatesOthers = (query.flags & V4L2_CTRL_FLAG_UPDATE) || isAutomaticControl(id);
        control.returnsToZero =
            id == V4L2_CID_PAN_SPEED || id == V4L2_CID_TILT_SPEED || id == V4L2_CID_ZOOM_CONTINUOUS;
        switch (query.type) {
        case V4L2_CTRL_TYPE_INTEGER:
            control.kind =
                isRelativeControl(id, query.flags) ? DriverControl::Kind::Steps : DriverControl::Kind::Slider;
            break;
        case V4L2_CTRL_TYPE_BOOLEAN:
            control.kind = DriverControl::Kind::CheckBox;
            break;
        case V4L2_CTRL_TYPE_BUTTON:
            control.kind = DriverControl::Kind::Button;
            break;
        case V4L2_CTRL_TYPE_MENU:
        case V4L2_CTRL_TYPE_INTEGER_MENU: {
            control.kind = DriverControl::Kind::Menu;
            const std::int64_t last =
                std::min<std::int64_t>(query.maximum, std::int64_t(query.minimum) + kMaxMenuEntries - 1);
            for (std::int64_t v = query.minimum; v <= last; ++v) {
                v4l2_querymenu menu{};
                menu.id = id;
                menu.index = std::uint32_t(v);
                if (v < 0 || m_device->ioctl(VIDIOC_QUERYMENU, &menu) != 0)
                    control.menuItems << QString();
                else if (query.type == V4L2_CTRL_TYPE_MENU)
                    control.menuItems << fieldText(menu.name, sizeof menu.name);
                else
                    control.menuItems << QString::number(menu.value);
            }
            break;
        }
        default:
            continue; // strings, 64-bit values, bit masks, classes: not shown
        }
        v4l2_control value{};
        value.id = id;
        // A write-only control (a relative move, a button) has no value to read.
        const bool readable =
            !(query.flags & V4L2_CTRL_FLAG_WRITE_ONLY) && control.kind != DriverControl::Kind::Button;
        control.value =
            readable && m_device->ioctl(VIDIOC_G_CTRL, &value) == 0 ? value.value : query.default_value;
        list.push_back(control);
    }
    return list;
}

bool V4l2Driver::setControl(std::uint32_t id, int value) {
    if (!m_device) return false;
    if (id == kInputControl || id == kStandardControl) return setSourceChoice(id, value);
    v4l2_control control{};
    control.id = id;
    control.value = value;
    if (const int error = m_device->ioctl(VIDIOC_S_CTRL, &control)) {
        v4l2_queryctrl query{};
        query.id = id;
        if (m_device->ioctl(VIDIOC_QUERYCTRL, &query) == 0 && (query.flags & V4L2_CTRL_FLAG_INACTIVE)) {
            m_lastError = QStringLiteral("The camera sets this itself while its automatic control is on.");
            return false;
        }
        return fail(QStringLiteral("Cannot change a camera setting"), error);
    }
    return true;
}

// The camera tells when a control changes without being written here: a manual
// control becomes active or inactive with its automatic one (uvcvideo announces it
// only this way), or another program sets a value. Each control is subscribed to on
// its own, as uvcvideo wants; a device without events simply has none.
void V4l2Driver::subscribeToControlEvents() {
    v4l2_queryctrl query{};
    query.id = V4L2_CTRL_FLAG_NEXT_CTRL;
    int subscribed = 0;
    while (m_device->ioctl(VIDIOC_QUERYCTRL, &query) == 0) {
        const std::uint32_t id = query.id;
        query.id |= V4L2_CTRL_FLAG_NEXT_CTRL;
        if (query.type == V4L2_CTRL_TYPE_CTRL_CLASS || (query.flags & V4L2_CTRL_FLAG_DISABLED)) continue;
        v4l2_event_subscription sub{};
        sub.type = V4L2_EVENT_CTRL;
        sub.id = id;
        if (m_device->ioctl(VIDIOC_SUBSCRIBE_EVENT, &sub) == 0) ++subscribed;
    }
    qCDebug(lcV4l2) << m_node.path << "control events subscribed:" << subscribed;
}

bool V4l2Driver::takeControlChanges() {
    if (!m_device) return false;
    bool changed = false;
    for (int i = 0; i < kMaxEventsAtOnce; ++i) {
        v4l2_event event{};
        // Opened non-blocking: ENOENT once none waits.
        if (m_device->ioctl(VIDIOC_DQEVENT, &event) != 0) break;
        if (event.type == V4L2_EVENT_CTRL) changed = true;
    }
    return changed;
}

bool V4l2Driver::configure() {
    // The camera's own format streams; libv4l2 converts only a vendor format that
    // FrameConverter does not know, and the formats it emulates. A format of the
    // camera's own that FrameConverter handles streams through plain system calls:
    // libv4l2, asked for RGB3, BGR3, YU12 or YV12, may choose another of the camera's
    // formats to convert from (libv4lconvert ranks them all), and turn a camera's own
    // YU12 into its MJPEG decoded in libv4l2.
    const bool emulated =
        std::find(m_emulated.begin(), m_emulated.end(), m_format.fourcc) != m_emulated.end();
    m_streamFourcc = FrameConverter::supports(m_format.fourcc) ? m_format.fourcc : kRgb24;
    m_stream = m_plain && !emulated && m_streamFourcc == m_format.fourcc ? m_plain.get() : m_device.get();
    m_streamType = m_stream == m_plain.get() ? m_plainType : m_deviceType;
    v4l2_format fmt = pixRequest(m_streamType, m_streamFourcc, m_format.size);
    if (const int error = m_stream->ioctl(VIDIOC_S_FMT, &fmt))
        return fail(QStringLiteral("Cannot set the format"), error);
    const PixFormat pix = readPix(fmt);
    // A format whose picture is spread over several buffers (NV12M) is not one of ours.
    if (pix.fourcc != m_streamFourcc || pix.planes != 1)
        return fail(QStringLiteral("The camera refused the pixel format"), EINVAL);
    // The camera may answer another size than asked; one no picture can have would
    // overflow the sizes below.
    if (pix.width < 1 || pix.width > kMaxSide || pix.height < 1 || pix.height > kMaxSide)
        return fail(QStringLiteral("The camera answered an impossible frame size"), EINVAL);
    m_streamSize = QSize(int(pix.width), int(pix.height));
    m_bytesPerLine = pix.bytesPerLine;
    if (!FrameConverter().setFormat(m_streamFourcc, m_streamSize, m_bytesPerLine))
        return fail(QStringLiteral("The camera refused the pixel format"), EINVAL);

    v4l2_streamparm parm{};
    parm.type = m_streamType;
    parm.parm.capture.timeperframe.numerator = m_format.interval.numerator;
    parm.parm.capture.timeperframe.denominator = m_format.interval.denominator;
    // A camera that takes it answers the rate it really runs at (uvcvideo: the nearest
    // interval of the frame size). One with a fixed rate refuses (a capture card without
    // S_PARM: ENOTTY) and says its rate through G_PARM (the standard's). Either is the
    // format's rate from now on: a movie is paced by it.
    std::optional<FrameInterval> actual;
    if (const int error = m_stream->ioctl(VIDIOC_S_PARM, &parm)) {
        qCDebug(lcV4l2) << m_node.path << "keeps its frame rate:" << errorText(error);
        actual = runningInterval();
    } else if (parm.parm.capture.timeperframe.numerator && parm.parm.capture.timeperframe.denominator) {
        actual = FrameInterval{parm.parm.capture.timeperframe.numerator,
                               parm.parm.capture.timeperframe.denominator};
    }
    if (actual && std::abs(actual->framesPerSecond() - m_format.interval.framesPerSecond()) > 1e-6) {
        qCDebug(lcV4l2) << m_node.path << "runs at" << actual->framesPerSecond() << "frames/s, not"
                        << m_format.interval.framesPerSecond();
        m_format.interval = *actual;
    }

    v4l2_requestbuffers request{};
    request.count = kBufferCount;
    request.type = m_streamType;
    request.memory = V4L2_MEMORY_MMAP;
    if (const int error = m_stream->ioctl(VIDIOC_REQBUFS, &request))
        return fail(QStringLiteral("Cannot get streaming buffers"), error);
    if (request.count == 0) return fail(QStringLiteral("Cannot get streaming buffers"), ENOMEM);
    for (std::uint32_t i = 0; i < request.count; ++i) {
        BufferCall call(m_streamType, i);
        if (const int error = m_stream->ioctl(VIDIOC_QUERYBUF, &call.buffer))
            return fail(QStringLiteral("Cannot query a buffer"), error);
        void* address = m_stream->map(call.length(), call.offset());
        if (!address) return fail(QStringLiteral("Cannot map a buffer"), ENOMEM);
        m_buffers.emplace_back(m_stream, address, call.length());
        if (const int error = m_stream->ioctl(VIDIOC_QBUF, &call.buffer))
            return fail(QStringLiteral("Cannot queue a buffer"), error);
    }
    int type = int(m_streamType);
    if (const int error = m_stream->ioctl(VIDIOC_STREAMON, &type))
        return fail(QStringLiteral("Cannot start streaming"), error);
    return true;
}

void V4l2Driver::releaseBuffers() {
    if (!m_stream) return;
    int type = int(m_streamType);
    // Fails on an unplugged device; nothing to do then.
    if (const int error = m_stream->ioctl(VIDIOC_STREAMOFF, &type))
        qCDebug(lcV4l2) << m_node.path << "stream off failed:" << errorText(error);
    m_buffers.clear();
    v4l2_requestbuffers request{};
    request.count = 0;
    request.type = m_streamType;
    request.memory = V4L2_MEMORY_MMAP;
    if (const int error = m_stream->ioctl(VIDIOC_REQBUFS, &request))
        qCDebug(lcV4l2) << m_node.path << "buffers not released:" << errorText(error);
}

bool V4l2Driver::start(FrameCallback onFrame, ErrorCallback onError) {
    if (!m_device || isStreaming()) return false;
    m_busy = false;
    if (!configure()) {
        releaseBuffers();
        return false;
    }
    m_worker.start(
        [this, onFrame = std::move(onFrame), onError = std::move(onError)] { run(onFrame, onError); });
    return true;
}

void V4l2Driver::stop() {
    if (!m_worker.isRunning()) return;
    m_worker.stop();
    releaseBuffers();
}

// vb2_core_streamoff clears a queue's error and gives every buffer back; queued
// again, the stream starts afresh. 0 or the errno of the failing call.
int V4l2Driver::restartStream() {
    int type = int(m_streamType);
    if (const int error = m_stream->ioctl(VIDIOC_STREAMOFF, &type)) return error;
    for (std::uint32_t i = 0; i < m_buffers.size(); ++i) {
        BufferCall call(m_streamType, i);
        if (const int error = m_stream->ioctl(VIDIOC_QBUF, &call.buffer)) return error;
    }
    return m_stream->ioctl(VIDIOC_STREAMON, &type);
}

void V4l2Driver::run(FrameCallback onFrame, ErrorCallback onError) {
    using Clock = std::chrono::steady_clock;
    FrameConverter converter;
    converter.setFormat(m_streamFourcc, m_streamSize, m_bytesPerLine);
    // libv4l2 reports a frame it could not convert as EIO; that loses one frame only.
    const bool libv4l2Converts =
        m_stream == m_device.get() &&
        (m_streamFourcc != m_format.fourcc ||
         std::find(m_emulated.begin(), m_emulated.end(), m_streamFourcc) != m_emulated.end());
    const bool jpeg = m_streamFourcc == V4L2_PIX_FMT_MJPEG || m_streamFourcc == V4L2_PIX_FMT_JPEG;
    auto lastUsable = Clock::now();
    // A camera's JPEG is tried by decoding it when none was for this long; frames in
    // between are passed on, but only a tried one counts as a picture.
    const auto verifyEvery = std::chrono::milliseconds(std::min(kJpegCheckMs, m_noFrameTimeoutMs / 4));
    bool verified = false; // the last JPEG tried decoded
    bool first = true;
    std::uint32_t lastKernelSequence = 0;
    std::uint64_t sequence = 0;
    int restartsWithoutFrame = 0;
    auto stopped = [&](int error) {
        // Named, so that the end of a recording says which camera was lost.
        if (error == ENODEV)
            onError(QStringLiteral("The camera %1 was unplugged (%2).").arg(m_node.cardName, m_node.path));
        else
            onError(QStringLiteral("The camera %1 stopped (%2): %3")
                        .arg(m_node.cardName, m_node.path, errorText(error)));
    };
    while (!m_worker.stopRequested()) {
        // Only usable frames keep the camera alive: a stream of faulty or empty buffers
        // is as bad as silence.
        if (Clock::now() - lastUsable >= std::chrono::milliseconds(m_noFrameTimeoutMs)) {
            onError(
                QStringLiteral("The camera %1 sends no pictures (%2).").arg(m_node.cardName, m_node.path));
            return;
        }
        const int ready = m_stream->poll(kPollSliceMs);
        if (m_worker.stopRequested()) return;
        if (ready == -EIO) {
            // The node is there but its queue failed (POLLERR without POLLHUP: uvcvideo
            // stops the queue when a resume or a transfer fails): the stream starts
            // again, a few times before the camera counts as stopped.
            if (++restartsWithoutFrame > kMaxRestarts) return stopped(EIO);
            qCDebug(lcV4l2) << m_node.path << "the queue failed; the stream starts again";
            if (const int error = restartStream()) return stopped(error);
            continue;
        }
        if (ready < 0) return stopped(-ready);
        if (ready == 0) continue;
        BufferCall call(m_streamType);
        v4l2_buffer& buffer = call.buffer;
        if (const int error = m_stream->ioctl(VIDIOC_DQBUF, &buffer)) {
            if (error == EAGAIN) continue;
            if (error == EIO && libv4l2Converts) {
                qCDebug(lcV4l2) << m_node.path << "frame dropped: libv4l2 could not convert it";
                ++m_dropped;
                continue;
            }
            return stopped(error);
        }
        const std::int64_t dequeuedUs = monotonicTimeUs();
        VideoFrame frame;
        bool jpegUsable = false; // a JPEG tried just now, that decoded
        if (buffer.index < m_buffers.size() && !(buffer.flags & V4L2_BUF_FLAG_ERROR)) {
            const MappedBuffer& mapped = m_buffers[buffer.index];
            const std::size_t start = std::min<std::size_t>(call.dataOffset(), mapped.length());
            const std::uint8_t* data = mapped.data() + start;
            const std::size_t readable = mapped.length() - start;
            const std::size_t used = std::min<std::size_t>(call.bytesUsed(), readable);
            const auto bytes = [&] {
                return QByteArray(reinterpret_cast<const char*>(data), qsizetype(used));
            };
            if (jpeg && !m_decodeEveryFrame) {
                // Kept as the camera sent it, up to its end marker: decoded only when it
                // is shown.
                std::size_t length = 0;
                const QSize jpegSize = CameraJpeg::inspect(data, used, m_streamSize, &length);
                if (!jpegSize.isEmpty()) {
                    QByteArray jpegBytes(reinterpret_cast<const char*>(data), qsizetype(length));
                    // Only a JPEG that decodes keeps the camera alive; one is tried now and
                    // then (a small decode, whenever none was tried for a while), and one
                    // that fails is dropped.
                    if (!verified || Clock::now() - lastUsable >= verifyEvery) {
                        verified = CameraJpeg::decodes(jpegBytes, jpegSize);
                        jpegUsable = verified;
                    }
                    if (verified) frame = VideoFrame::fromJpeg(std::move(jpegBytes), jpegSize, m_streamSize);
                }
            } else {
                FrameConverter::Result converted = converter.convert(data, used, readable);
                frame = VideoFrame(std::move(converted.image), converted.jpegAsIs ? bytes() : QByteArray());
            }
        }
        if (const int error = m_stream->ioctl(VIDIOC_QBUF, &buffer)) return stopped(error);

        // The kernel numbers the frames it captured; a jump is frames it lost. A device
        // that does not number them is counted here.
        if (first) {
            sequence = 0;
        } else if (buffer.sequence > lastKernelSequence) {
            sequence += buffer.sequence - lastKernelSequence;
            m_dropped += buffer.sequence - lastKernelSequence - 1;
            if (buffer.sequence - lastKernelSequence > 1)
                qCDebug(lcV4l2) << m_node.path << "the kernel lost"
                                << (buffer.sequence - lastKernelSequence - 1) << "frame(s) before"
                                << buffer.sequence;
        } else {
            ++sequence;
        }
        first = false;
        lastKernelSequence = buffer.sequence;
        if (!frame.isValid()) {
            qCDebug(lcV4l2) << m_node.path << "frame" << buffer.sequence << "dropped: flags" << Qt::hex
                            << buffer.flags << Qt::dec << "bytes used" << buffer.bytesused
                            << "(faulty or undecodable)";
            ++m_dropped;
            continue;
        }
        if (!jpeg || m_decodeEveryFrame || jpegUsable) {
            lastUsable = Clock::now();
            restartsWithoutFrame = 0;
        }
        // The camera's own clock when the kernel stamps with the monotonic clock.
        frame.captureTimeUs = dequeuedUs;
        if ((buffer.flags & V4L2_BUF_FLAG_TIMESTAMP_MASK) == V4L2_BUF_FLAG_TIMESTAMP_MONOTONIC) {
            const std::int64_t stampUs =
                std::int64_t(buffer.timestamp.tv_sec) * 1000000 + std::int64_t(buffer.timestamp.tv_usec);
            if (stampUs > 0 && stampUs <= dequeuedUs && dequeuedUs - stampUs < kMaxTimestampAgeUs)
                frame.captureTimeUs = stampUs;
        }
        frame.sequence = sequence;
        onFrame(frame);
    }
}
