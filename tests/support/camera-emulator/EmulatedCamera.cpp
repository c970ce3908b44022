#include "EmulatedCamera.h"

#include "FrameSource.h"
#include "RealCalls.h"
#include "UvcControls.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/utsname.h>
#include <unistd.h>

namespace camemu {
namespace {

constexpr std::uint32_t kCapture = V4L2_BUF_TYPE_VIDEO_CAPTURE;
constexpr std::uint32_t kMaxBuffers = 32; // VB2_MAX_FRAME
// How long an unplugged camera keeps its node after its queued buffers came back
// flagged as errors (the USB core fails the transfers before it reports the
// disconnect).
constexpr auto kUnplugGrace = std::chrono::milliseconds(100);

std::size_t pageAligned(std::size_t size) {
    const auto page = std::size_t(sysconf(_SC_PAGESIZE));
    return (size + page - 1) / page * page;
}

std::uint32_t kernelVersion() {
    utsname name{};
    unsigned a = 0, b = 0, c = 0;
    if (uname(&name) == 0) std::sscanf(name.release, "%u.%u.%u", &a, &b, &c);
    return (a << 16) | (b << 8) | std::min(c, 255u);
}

const char* formatDescription(std::uint32_t fourcc) {
    // v4l_fill_fmtdesc in v4l2-ioctl.c.
    switch (fourcc) {
    case V4L2_PIX_FMT_MJPEG:
        return "Motion-JPEG";
    case V4L2_PIX_FMT_YUYV:
        return "YUYV 4:2:2";
    case V4L2_PIX_FMT_NV12:
        return "Y/CbCr 4:2:0";
    case V4L2_PIX_FMT_YUV420:
        return "Planar YUV 4:2:0";
    case V4L2_PIX_FMT_RGB24:
        return "24-bit RGB 8-8-8";
    case V4L2_PIX_FMT_BGR24:
        return "24-bit BGR 8-8-8";
    case V4L2_PIX_FMT_H264:
        return "H.264";
    default:
        return "Unknown";
    }
}

bool compressed(std::uint32_t fourcc) {
    return fourcc == V4L2_PIX_FMT_MJPEG || fourcc == V4L2_PIX_FMT_H264;
}

double seconds(Fraction f) {
    return f.denominator ? double(f.numerator) / f.denominator : 0;
}

std::int64_t monotonicUs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return std::int64_t(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}

// Whether the calling process is in a group (its effective or a supplementary one).
bool inGroup(gid_t gid) {
    if (getegid() == gid) return true;
    gid_t groups[256];
    const int n = getgroups(256, groups);
    return std::find(groups, groups + std::max(n, 0), gid) != groups + std::max(n, 0);
}

gid_t videoGroup() {
    group entry{}, *found = nullptr;
    char buffer[1024];
    if (getgrnam_r("video", &entry, buffer, sizeof buffer, &found) == 0 && found) return found->gr_gid;
    return 44; // Debian's video group
}

} // namespace

void (*EmulatedCamera::s_usbReset)(const std::shared_ptr<EmulatedCamera>& camera) = nullptr;

namespace {
std::atomic<std::uint32_t> g_serials{0};
} // namespace

EmulatedCamera::EmulatedCamera(CameraConfig config, std::uint32_t minor)
    : m_config(std::move(config)), m_minor(minor), m_serial(++g_serials),
      m_pluggedAt(std::chrono::steady_clock::now()) {
    const FormatConfig& first = m_config.formats.front();
    const FrameSizeConfig& size = first.sizes.front();
    m_fourcc = first.fourcc;
    m_width = size.width;
    m_height = size.height;
    m_interval = probedInterval(size.intervalRange ? size.intervalMin : size.intervals.front());
    for (const ControlConfig& control : m_config.controls)
        m_controls[control.id].value = control.defaultValue;
}

EmulatedCamera::~EmulatedCamera() {
    Lock lock(m_mutex);
    streamoff(lock);
    freeBuffers(lock);
}

unsigned EmulatedCamera::mode() const {
    const auto since = std::chrono::steady_clock::now() - m_pluggedAt;
    if (m_config.quirks.udevPermissionsMs &&
        since < std::chrono::milliseconds(m_config.quirks.udevPermissionsMs))
        return 0600;
    return 0660;
}

unsigned EmulatedCamera::group() const {
    return mode() == 0600 ? 0 : unsigned(videoGroup());
}

bool EmulatedCamera::registered() const {
    Lock lock(m_mutex);
    return m_registered;
}

int EmulatedCamera::attach(const std::shared_ptr<Handle>& handle, bool readable, bool writable) {
    Lock lock(m_mutex);
    if (!m_registered) return ENODEV;
    // The kernel's permission check of the node (root passes it).
    if (geteuid() != 0) {
        const unsigned m = mode();
        const unsigned bits = inGroup(gid_t(group())) ? (m >> 3) & 7 : m & 7;
        if ((readable && !(bits & 4)) || (writable && !(bits & 2))) return EACCES;
    }
    m_handles.push_back(handle.get());
    updateSignals();
    return 0;
}

void EmulatedCamera::release(Handle& handle) {
    Lock lock(m_mutex);
    if (isOwner(handle)) {
        // vb2_queue_release: streaming stops and the buffers go (mappings keep their memory).
        streamoff(lock);
        freeBuffers(lock);
        m_owner = nullptr;
        m_fileIo = false;
    }
    dismissPrivileges(handle, false); // uvc_v4l2_release once no process holds the file
    m_handles.erase(std::remove(m_handles.begin(), m_handles.end(), &handle), m_handles.end());
    m_changed.notify_all();
}

// ---- capabilities, formats, rates -------------------------------------------------

int EmulatedCamera::querycap(v4l2_capability& cap) const {
    std::memset(&cap, 0, sizeof cap);
    std::strncpy(reinterpret_cast<char*>(cap.driver), m_config.driver.c_str(), sizeof cap.driver - 1);
    std::strncpy(reinterpret_cast<char*>(cap.card), m_config.card.c_str(), sizeof cap.card - 1);
    std::strncpy(reinterpret_cast<char*>(cap.bus_info), m_config.bus.c_str(), sizeof cap.bus_info - 1);
    cap.version = kernelVersion();
    cap.device_caps = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING | V4L2_CAP_EXT_PIX_FORMAT;
    if (m_config.readWrite) cap.device_caps |= V4L2_CAP_READWRITE;
    cap.capabilities = cap.device_caps | V4L2_CAP_DEVICE_CAPS;
    return 0;
}

int EmulatedCamera::enumFormat(v4l2_fmtdesc& desc) const {
    if (desc.type != kCapture || desc.index >= m_config.formats.size()) return EINVAL;
    const std::uint32_t index = desc.index;
    std::memset(&desc, 0, sizeof desc);
    desc.index = index;
    desc.type = kCapture;
    desc.pixelformat = m_config.formats[index].fourcc;
    if (compressed(desc.pixelformat)) desc.flags = V4L2_FMT_FLAG_COMPRESSED;
    std::strncpy(reinterpret_cast<char*>(desc.description), formatDescription(desc.pixelformat),
                 sizeof desc.description - 1);
    return 0;
}

int EmulatedCamera::enumFrameSizes(v4l2_frmsizeenum& sizes) const {
    for (const FormatConfig& format : m_config.formats) {
        if (format.fourcc != sizes.pixel_format) continue;
        if (sizes.index >= format.sizes.size()) return EINVAL;
        const FrameSizeConfig& size = format.sizes[sizes.index];
        // A stepwise or continuous range is the format's only entry.
        if (size.type != V4L2_FRMSIZE_TYPE_DISCRETE && sizes.index > 0) return EINVAL;
        std::memset(sizes.reserved, 0, sizeof sizes.reserved);
        sizes.type = size.type;
        if (size.type == V4L2_FRMSIZE_TYPE_DISCRETE) {
            sizes.discrete = {size.width, size.height};
        } else {
            sizes.stepwise = {size.minWidth,  size.maxWidth,  size.stepWidth,
                              size.minHeight, size.maxHeight, size.stepHeight};
            if (size.type == V4L2_FRMSIZE_TYPE_CONTINUOUS)
                sizes.stepwise.step_width = sizes.stepwise.step_height = 1;
        }
        return 0;
    }
    return EINVAL;
}

const FrameSizeConfig* EmulatedCamera::findSize(std::uint32_t fourcc, std::uint32_t width,
                                                std::uint32_t height) const {
    for (const FormatConfig& format : m_config.formats) {
        if (format.fourcc != fourcc) continue;
        for (const FrameSizeConfig& size : format.sizes) {
            if (size.type == V4L2_FRMSIZE_TYPE_DISCRETE) {
                if (size.width == width && size.height == height) return &size;
            } else if (width >= size.minWidth && width <= size.maxWidth && height >= size.minHeight &&
                       height <= size.maxHeight && (width - size.minWidth) % size.stepWidth == 0 &&
                       (height - size.minHeight) % size.stepHeight == 0) {
                return &size;
            }
        }
    }
    return nullptr;
}

int EmulatedCamera::enumFrameIntervals(v4l2_frmivalenum& intervals) const {
    const FrameSizeConfig* size = findSize(intervals.pixel_format, intervals.width, intervals.height);
    if (!size) return EINVAL;
    std::memset(intervals.reserved, 0, sizeof intervals.reserved);
    if (size->intervalRange) {
        if (intervals.index > 0) return EINVAL;
        intervals.type = V4L2_FRMIVAL_TYPE_CONTINUOUS;
        intervals.stepwise.min = {size->intervalMin.numerator, size->intervalMin.denominator};
        intervals.stepwise.max = {size->intervalMax.numerator, size->intervalMax.denominator};
        intervals.stepwise.step = {1, 1};
        return 0;
    }
    if (intervals.index >= size->intervals.size()) return EINVAL;
    intervals.type = V4L2_FRMIVAL_TYPE_DISCRETE;
    const Fraction f = size->intervals[intervals.index];
    intervals.discrete = {f.numerator, f.denominator};
    return 0;
}

void EmulatedCamera::fillFormat(v4l2_pix_format& pix, std::uint32_t fourcc, std::uint32_t width,
                                std::uint32_t height) const {
    std::memset(&pix, 0, sizeof pix);
    pix.width = width;
    pix.height = height;
    pix.pixelformat = fourcc;
    pix.field = V4L2_FIELD_NONE;
    pix.bytesperline = FrameSource::bytesPerLine(fourcc, width);
    // Compressed formats: the largest frame the camera says it sends (dwMaxVideoFrameSize).
    pix.sizeimage = compressed(fourcc) ? width * height * m_config.mjpegBytesPerPixel
                                       : FrameSource::rawImageSize(fourcc, width, height);
    pix.colorspace = V4L2_COLORSPACE_SRGB;
}

// uvc_v4l2_try_format: an unknown format becomes the first one; the size is the
// nearest the format has (by uvcvideo's measure of area difference); stepwise ranges
// round to their steps.
void EmulatedCamera::tryFormat(v4l2_pix_format& pix) const {
    const FormatConfig* format = &m_config.formats.front();
    for (const FormatConfig& f : m_config.formats)
        if (f.fourcc == pix.pixelformat) format = &f;
    std::uint32_t bestW = 0, bestH = 0;
    std::uint64_t best = UINT64_MAX;
    for (const FrameSizeConfig& size : format->sizes) {
        std::uint32_t w = size.width, h = size.height;
        if (size.type != V4L2_FRMSIZE_TYPE_DISCRETE) {
            auto fit = [](std::uint32_t v, std::uint32_t lo, std::uint32_t hi, std::uint32_t step) {
                v = std::clamp(v, lo, hi);
                return lo + (v - lo + step / 2) / step * step > hi ? lo + (v - lo) / step * step
                                                                   : lo + (v - lo + step / 2) / step * step;
            };
            w = fit(pix.width, size.minWidth, size.maxWidth, size.stepWidth);
            h = fit(pix.height, size.minHeight, size.maxHeight, size.stepHeight);
        }
        const std::uint64_t overlap = std::uint64_t(std::min(w, pix.width)) * std::min(h, pix.height);
        const std::uint64_t d = std::uint64_t(w) * h + std::uint64_t(pix.width) * pix.height - 2 * overlap;
        if (d < best) {
            best = d;
            bestW = w;
            bestH = h;
        }
    }
    fillFormat(pix, format->fourcc, bestW, bestH);
}

Fraction EmulatedCamera::nearestInterval(const FrameSizeConfig& size, Fraction wanted) const {
    if (size.intervalRange) {
        if (!wanted.denominator || !wanted.numerator) return size.intervalMin;
        if (seconds(wanted) < seconds(size.intervalMin)) return size.intervalMin;
        if (seconds(wanted) > seconds(size.intervalMax)) return size.intervalMax;
        return wanted;
    }
    Fraction best = size.intervals.front();
    if (!wanted.denominator) return best;
    for (Fraction f : size.intervals)
        if (std::abs(seconds(f) - seconds(wanted)) < std::abs(seconds(best) - seconds(wanted))) best = f;
    return best;
}

// uvc_v4l2_set_format and uvc_v4l2_set_streamparm probe the camera, which answers
// the interval it will stream at: usually the one asked, but a firmware may choose
// another.
Fraction EmulatedCamera::probedInterval(Fraction asked) const {
    const Fraction firmware = m_config.quirks.probeInterval;
    return firmware.numerator && firmware.denominator ? firmware : asked;
}

int EmulatedCamera::getParm(v4l2_streamparm& parm) const {
    if (parm.type != kCapture) return EINVAL;
    std::memset(&parm, 0, sizeof parm);
    parm.type = kCapture;
    parm.parm.capture.capability = V4L2_CAP_TIMEPERFRAME;
    parm.parm.capture.timeperframe = {m_interval.numerator, m_interval.denominator};
    if (m_config.readWrite) parm.parm.capture.readbuffers = 2;
    return 0;
}

int EmulatedCamera::setParm(Handle& handle, v4l2_streamparm& parm) {
    if (parm.type != kCapture) return EINVAL;
    if (!acquirePrivileges(handle)) return EBUSY;
    if (m_streaming) return EBUSY;
    const FrameSizeConfig* size = findSize(m_fourcc, m_width, m_height);
    if (!size) return EINVAL;
    m_interval = probedInterval(nearestInterval(
        *size, {parm.parm.capture.timeperframe.numerator, parm.parm.capture.timeperframe.denominator}));
    return getParm(parm);
}

// uvc_acquire_privileges: the first handle to change the format, the rate or the
// buffers holds the stream until it closes or frees its buffers. The count of
// privileged handles is the device's (uvc_streaming.active), whichever process opened
// them: across processes it is an exclusive lock on the node's file in the state
// folder, which the system lets go when the holder closes it or ends.
bool EmulatedCamera::acquirePrivileges(Handle& handle) {
    if (handle.privileged) return true;
    for (const Handle* other : m_handles)
        if (other->privileged) return false;
    if (!stateFolder().empty()) {
        std::string name = m_config.node;
        std::replace(name.begin(), name.end(), '/', '_');
        const std::string path = stateFolder() + "/" + name + ".stream";
        const int fd = real::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        if (fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) != 0) {
            real::close(fd);
            return false;
        }
        handle.privilegeFd = fd; // without the file, this process's handles only
    }
    handle.privileged = true;
    return true;
}

// uvc_dismiss_privileges (`unlock`), or the handle's end in this process. The lock is
// on the open file, which a forked child shares as it shares the node's open file:
// dismissed, it is let go for all of them, as the one uvc_fh they share is; closed in
// one process, it stays while another still holds it, as the node's file stays open
// (uvc_v4l2_release runs when the last one closes it).
void EmulatedCamera::dismissPrivileges(Handle& handle, bool unlock) {
    if (handle.privilegeFd >= 0 && unlock) flock(handle.privilegeFd, LOCK_UN);
    if (handle.privilegeFd >= 0) real::close(handle.privilegeFd);
    handle.privilegeFd = -1;
    handle.privileged = false;
}

std::string& EmulatedCamera::stateFolder() {
    static std::string folder;
    return folder;
}

std::uint32_t EmulatedCamera::maxPriority() const {
    std::uint32_t top = V4L2_PRIORITY_BACKGROUND;
    for (const Handle* h : m_handles)
        top = std::max(top, h->priority);
    return top;
}

bool EmulatedCamera::priorityAllows(const Handle& handle) const {
    return handle.priority >= maxPriority(); // v4l2_prio_check
}

// ---- controls -----------------------------------------------------------------------

const ControlConfig* EmulatedCamera::controlConfig(std::uint32_t id) const {
    for (const ControlConfig& c : m_config.controls)
        if (c.id == id) return &c;
    return nullptr;
}

std::uint32_t EmulatedCamera::controlFlags(std::uint32_t id) const {
    const UvcControlInfo* info = uvcControl(id);
    std::uint32_t flags = 0;
    if (!info) return flags;
    // __uvc_query_v4l2_ctrl: write-only without GET_CUR (buttons, relative controls);
    // V4L2_CTRL_FLAG_UPDATE is never set (the kernel's control framework sets it on a
    // few codec controls only, v4l2_ctrl_fill): a master's change is told by events.
    if (info->writeOnly) flags |= V4L2_CTRL_FLAG_WRITE_ONLY;
    if (info->masterId && controlConfig(info->masterId)) {
        const auto master = m_controls.find(info->masterId);
        if (master != m_controls.end() && master->second.value != info->masterManual)
            flags |= V4L2_CTRL_FLAG_INACTIVE;
    }
    return flags;
}

// Controls and their classes in id order, as VIDIOC_QUERYCTRL with
// V4L2_CTRL_FLAG_NEXT_CTRL walks them (uvc_query_v4l2_class puts a class before the
// first control in it).
int EmulatedCamera::queryControl(std::uint32_t id, v4l2_query_ext_ctrl& query) const {
    const bool next = id & V4L2_CTRL_FLAG_NEXT_CTRL;
    const std::uint32_t wanted = id & V4L2_CTRL_ID_MASK;
    std::vector<std::uint32_t> ids;
    for (const ControlConfig& c : m_config.controls) {
        ids.push_back(c.id);
        ids.push_back(V4L2_CTRL_ID2WHICH(c.id) | 1);
    }
    std::sort(ids.begin(), ids.end());
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
    std::uint32_t found = 0;
    for (std::uint32_t candidate : ids) {
        if (next ? candidate > wanted : candidate == wanted) {
            found = candidate;
            break;
        }
    }
    if (!found) return EINVAL;
    std::memset(&query, 0, sizeof query);
    query.id = found;
    query.elem_size = 4;
    query.elems = 1;
    if ((found & 0xFFFF) == 1) {
        query.type = V4L2_CTRL_TYPE_CTRL_CLASS;
        query.flags = V4L2_CTRL_FLAG_READ_ONLY | V4L2_CTRL_FLAG_WRITE_ONLY;
        std::strncpy(query.name, controlClassName(V4L2_CTRL_ID2WHICH(found)), sizeof query.name - 1);
        query.elem_size = 0;
        return 0;
    }
    const UvcControlInfo* info = uvcControl(found);
    const ControlConfig* config = controlConfig(found);
    query.type = info->type;
    std::strncpy(query.name, info->name, sizeof query.name - 1);
    query.minimum = config->minimum;
    query.maximum = config->maximum;
    query.step = std::uint64_t(config->step);
    query.default_value = config->defaultValue;
    query.flags = controlFlags(found);
    if (info->type == V4L2_CTRL_TYPE_BUTTON) query.elem_size = 0;
    return 0;
}

int EmulatedCamera::setControlValue(std::uint32_t id, std::int32_t& value) const {
    const UvcControlInfo* info = uvcControl(id);
    const ControlConfig* config = controlConfig(id);
    if (!info || !config) return EINVAL;
    switch (info->type) {
    case V4L2_CTRL_TYPE_INTEGER: {
        // uvc_ctrl_set: rounded to the nearest step, then clamped.
        const std::int64_t step = std::max(config->step, 1);
        const std::int64_t offset = std::int64_t(std::uint32_t(value - config->minimum));
        std::int64_t v = config->minimum + (offset + step / 2) / step * step;
        value = std::int32_t(std::clamp<std::int64_t>(v, config->minimum, config->maximum));
        return 0;
    }
    case V4L2_CTRL_TYPE_BOOLEAN:
        value = std::clamp(value, 0, 1);
        return 0;
    case V4L2_CTRL_TYPE_MENU:
        if (value < config->minimum || value > config->maximum) return ERANGE;
        if (config->menuMask && !(config->menuMask & (std::uint64_t(1) << value))) return EINVAL;
        return 0;
    case V4L2_CTRL_TYPE_BUTTON:
        return 0;
    default:
        return EINVAL;
    }
}

void EmulatedCamera::fillControlEvent(std::uint32_t id, std::uint32_t changes, v4l2_event& event) const {
    std::memset(&event, 0, sizeof event);
    event.type = V4L2_EVENT_CTRL;
    event.id = id;
    const UvcControlInfo* info = uvcControl(id);
    const ControlConfig* config = controlConfig(id);
    event.u.ctrl.changes = changes;
    event.u.ctrl.type = info->type;
    const auto value = m_controls.find(id);
    event.u.ctrl.value = value != m_controls.end() ? value->second.value : 0;
    event.u.ctrl.flags = controlFlags(id);
    event.u.ctrl.minimum = config->minimum;
    event.u.ctrl.maximum = config->maximum;
    event.u.ctrl.step = config->step;
    event.u.ctrl.default_value = config->defaultValue;
}

// v4l2_event_queue_fh with one element per subscription: a newer event replaces the
// waiting one and keeps its changes (v4l2_ctrl_replace).
void EmulatedCamera::queueEvent(Handle& handle, const v4l2_event& event) {
    ++handle.eventSequence;
    for (v4l2_event& waiting : handle.events) {
        if (waiting.type == event.type && waiting.id == event.id) {
            const std::uint32_t changes = waiting.u.ctrl.changes;
            const std::uint32_t sequence = waiting.sequence;
            waiting = event;
            waiting.u.ctrl.changes |= changes;
            waiting.sequence = sequence;
            return;
        }
    }
    v4l2_event queued = event;
    queued.sequence = handle.eventSequence - 1;
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    queued.timestamp = now;
    handle.events.push_back(queued);
}

// uvc_ctrl_send_event: to every subscriber but the handle that made the change,
// unless it asked for feedback or the flags changed.
void EmulatedCamera::sendControlEvent(Handle* origin, std::uint32_t id, std::uint32_t changes) {
    v4l2_event event;
    fillControlEvent(id, changes, event);
    for (Handle* h : m_handles)
        for (const Handle::Subscription& s : h->subscriptions)
            if (s.type == V4L2_EVENT_CTRL && s.id == id &&
                (h != origin || (s.flags & V4L2_EVENT_SUB_FL_ALLOW_FEEDBACK) ||
                 (changes & V4L2_EVENT_CTRL_CH_FLAGS)))
                queueEvent(*h, event);
}

int EmulatedCamera::subscribe(Handle& handle, const v4l2_event_subscription& sub) {
    // uvc_ioctl_subscribe_event: control events only.
    if (sub.type != V4L2_EVENT_CTRL) return EINVAL;
    v4l2_query_ext_ctrl query;
    if (queryControl(sub.id, query) != 0) return EINVAL;
    // A control class can be subscribed to; it never changes, so it sends nothing
    // (v4l2_ctrl_add_event).
    const bool isClass = query.type == V4L2_CTRL_TYPE_CTRL_CLASS;
    for (const Handle::Subscription& s : handle.subscriptions)
        if (s.type == sub.type && s.id == sub.id) return 0;
    handle.subscriptions.push_back({sub.type, sub.id, sub.flags});
    if ((sub.flags & V4L2_EVENT_SUB_FL_SEND_INITIAL) && !isClass) {
        // uvc_ctrl_add_event: the flags, and the value when it can be read.
        std::uint32_t changes = V4L2_EVENT_CTRL_CH_FLAGS;
        if (!uvcControl(sub.id)->writeOnly) changes |= V4L2_EVENT_CTRL_CH_VALUE;
        v4l2_event event;
        fillControlEvent(sub.id, changes, event);
        queueEvent(handle, event);
    }
    return 0;
}

// VIDIOC_G/S/TRY_EXT_CTRLS (and G/S_CTRL, which the core turns into these) as
// uvc_ioctl_g_ext_ctrls / uvc_ioctl_s_try_ext_ctrls with uvc_ctrl_check_access do them.
int EmulatedCamera::extControls(Handle& handle, unsigned long request, v4l2_ext_controls& controls) {
    const bool get = request == VIDIOC_G_EXT_CTRLS, set = request == VIDIOC_S_EXT_CTRLS;
    // check_ext_ctrls in v4l2-ioctl.c.
    controls.reserved[0] = 0;
    if (controls.count > 1024) return EINVAL; // V4L2_CID_MAX_CTRLS
    if (controls.count && !controls.controls) return EFAULT;
    switch (controls.which) {
    case V4L2_CTRL_WHICH_DEF_VAL:
        if (!get) {
            controls.error_idx = controls.count;
            return EINVAL;
        }
        break;
    case V4L2_CTRL_WHICH_CUR_VAL:
        break;
    case V4L2_CTRL_WHICH_REQUEST_VAL:
        controls.error_idx = controls.count;
        return EINVAL;
    default:
        for (std::uint32_t i = 0; i < controls.count; ++i)
            if (V4L2_CTRL_ID2WHICH(controls.controls[i].id) != controls.which) {
                controls.error_idx = request == VIDIOC_TRY_EXT_CTRLS ? i : controls.count;
                return EINVAL;
            }
    }
    v4l2_ext_control* list = controls.controls;
    // uvc_ctrl_check_access.
    for (std::uint32_t i = 0; i < controls.count; ++i) {
        const std::uint32_t id = list[i].id;
        int error = 0;
        const UvcControlInfo* info = uvcControl(id);
        if ((id & 0xFFFF) == 1 && (id & ~0xFFFFu) && (id >> 16) != 0) error = EACCES; // a class
        if (!error && (!info || !controlConfig(id))) error = EINVAL;
        // uvc_ctrl_is_readable: the current value needs GET_CUR.
        if (!error && get && controls.which != V4L2_CTRL_WHICH_DEF_VAL && info->writeOnly) error = EACCES;
        if (!error && set && info->masterId && controlConfig(info->masterId)) {
            std::int32_t master = m_controls[info->masterId].value;
            for (std::uint32_t j = controls.count; j-- > 0;)
                if (list[j].id == info->masterId) {
                    master = list[j].value;
                    break;
                }
            if (master != info->masterManual) error = EACCES;
        }
        if (error) {
            // uvc_ctrl_check_access: nothing was touched.
            controls.error_idx = request == VIDIOC_TRY_EXT_CTRLS ? i : controls.count;
            return error;
        }
    }
    if (get) {
        for (std::uint32_t i = 0; i < controls.count; ++i) {
            list[i].value = controls.which == V4L2_CTRL_WHICH_DEF_VAL
                                ? controlConfig(list[i].id)->defaultValue
                                : m_controls[list[i].id].value;
            list[i].reserved2[0] = 0;
        }
        controls.error_idx = 0;
        return 0;
    }
    if (set && !priorityAllows(handle)) return EBUSY;
    for (std::uint32_t i = 0; i < controls.count; ++i) {
        list[i].reserved2[0] = 0;
        std::int32_t value = list[i].value;
        if (const int error = setControlValue(list[i].id, value)) {
            controls.error_idx = set ? controls.count : i;
            return error;
        }
        list[i].value = value;
    }
    controls.error_idx = 0;
    if (!set) return 0;
    // Commit, then tell the subscribers (uvc_ctrl_send_events).
    for (std::uint32_t i = 0; i < controls.count; ++i) {
        m_controls[list[i].id].value = list[i].value;
    }
    for (std::uint32_t i = 0; i < controls.count; ++i) {
        const std::uint32_t id = list[i].id;
        const UvcControlInfo* info = uvcControl(id);
        // uvc_ctrl_send_slave_event: the new state of each control it governs, with its
        // value when it can be read, unless that control is set in the same call.
        for (const ControlConfig& other : m_config.controls) {
            const UvcControlInfo* slave = uvcControl(other.id);
            if (!slave || slave->masterId != id) continue;
            bool inCall = false;
            for (std::uint32_t j = 0; j < controls.count; ++j)
                inCall = inCall || list[j].id == other.id;
            if (inCall) continue;
            std::uint32_t slaveChanges = V4L2_EVENT_CTRL_CH_FLAGS;
            if (!slave->writeOnly) slaveChanges |= V4L2_EVENT_CTRL_CH_VALUE;
            sendControlEvent(&handle, other.id, slaveChanges);
        }
        std::uint32_t changes = V4L2_EVENT_CTRL_CH_VALUE;
        if (info->masterId)
            for (std::uint32_t j = 0; j < controls.count; ++j)
                if (list[j].id == info->masterId) changes |= V4L2_EVENT_CTRL_CH_FLAGS;
        if (info->type != V4L2_CTRL_TYPE_BUTTON) sendControlEvent(&handle, id, changes);
    }
    updateSignals(kWakeEvent);
    return 0;
}

// ---- the queue ----------------------------------------------------------------------

bool EmulatedCamera::allocate(std::uint32_t count, std::uint32_t size) {
    // Buffers added to those there are (VIDIOC_CREATE_BUFS); each its own memory.
    const std::size_t slot = pageAligned(size);
    ++m_generation;
    for (std::uint32_t i = 0; i < count; ++i) {
        const int fd = int(memfd_create("camera-emulator-buffer", MFD_CLOEXEC));
        if (fd < 0) return false;
        void* memory = MAP_FAILED;
        if (ftruncate(fd, off_t(slot)) == 0)
            memory = real::mmap(nullptr, slot, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        if (memory == MAP_FAILED) {
            real::close(fd);
            return false;
        }
        Buffer b;
        b.memoryFd = fd;
        b.memory = static_cast<std::uint8_t*>(memory);
        b.offset = m_nextOffset;
        m_nextOffset += slot;
        b.info.index = std::uint32_t(m_buffers.size());
        b.info.type = kCapture;
        b.info.memory = V4L2_MEMORY_MMAP;
        b.info.length = size;
        b.info.m.offset = std::uint32_t(b.offset);
        b.info.field = V4L2_FIELD_NONE;
        m_buffers.push_back(b);
    }
    return true;
}

void EmulatedCamera::freeBuffers(Lock&) {
    // Mappings the program still holds keep their memory, as vb2's orphaned buffers.
    for (Buffer& b : m_buffers) {
        real::munmap(b.memory, pageAligned(b.info.length));
        real::close(b.memoryFd);
    }
    m_buffers.clear();
    m_queued.clear();
    m_done.clear();
    m_nextOffset = 0;
    m_readIndex = -1;
}

int EmulatedCamera::reqbufs(Handle& handle, v4l2_requestbuffers& request, Lock& lock) {
    if (request.type != kCapture) return EINVAL;
    std::memset(request.reserved, 0, sizeof request.reserved);
    request.flags = 0;
    request.capabilities = V4L2_BUF_CAP_SUPPORTS_MMAP | V4L2_BUF_CAP_SUPPORTS_ORPHANED_BUFS;
    // vb2_verify_memory_type: a memory type this queue has no use for.
    if (request.memory != V4L2_MEMORY_MMAP) return EINVAL;
    if (!priorityAllows(handle)) return EBUSY;
    if (!acquirePrivileges(handle)) return EBUSY;
    if (m_owner && !isOwner(handle)) return EBUSY; // vb2_queue_is_busy
    if (m_fileIo) return EBUSY;
    if (m_streaming) return EBUSY;
    freeBuffers(lock);
    if (request.count == 0) {
        m_owner = nullptr;
        dismissPrivileges(handle, true);
        return 0;
    }
    v4l2_pix_format pix;
    fillFormat(pix, m_fourcc, m_width, m_height);
    request.count = std::min(request.count, kMaxBuffers);
    if (!allocate(request.count, pix.sizeimage)) return ENOMEM;
    m_owner = &handle;
    m_waitingForBuffers = true;
    return 0;
}

int EmulatedCamera::createBufs(Handle& handle, v4l2_create_buffers& create) {
    std::memset(create.reserved, 0, sizeof create.reserved);
    create.flags = 0;
    create.capabilities = V4L2_BUF_CAP_SUPPORTS_MMAP | V4L2_BUF_CAP_SUPPORTS_ORPHANED_BUFS;
    if (create.format.type != kCapture || create.memory != V4L2_MEMORY_MMAP) return EINVAL;
    if (!priorityAllows(handle)) return EBUSY;
    if (!acquirePrivileges(handle)) return EBUSY;
    if (m_owner && !isOwner(handle)) return EBUSY;
    if (m_fileIo) return EBUSY;
    create.index = std::uint32_t(m_buffers.size());
    if (create.count == 0) return 0;
    v4l2_pix_format pix;
    fillFormat(pix, m_fourcc, m_width, m_height);
    // uvc_queue_setup: a size smaller than the current format's is refused.
    if (create.format.fmt.pix.sizeimage < pix.sizeimage) return EINVAL;
    create.count = std::min<std::uint32_t>(create.count, kMaxBuffers - std::uint32_t(m_buffers.size()));
    if (create.count == 0) return ENOBUFS;
    if (!allocate(create.count, create.format.fmt.pix.sizeimage)) return ENOMEM;
    m_owner = &handle;
    m_waitingForBuffers = true;
    return 0;
}

void EmulatedCamera::copyOut(const Buffer& buffer, v4l2_buffer& out) const {
    out = buffer.info;
    out.flags = V4L2_BUF_FLAG_TIMESTAMP_MONOTONIC | V4L2_BUF_FLAG_TSTAMP_SRC_SOE |
                (buffer.info.flags & V4L2_BUF_FLAG_ERROR);
    if (buffer.mapped) out.flags |= V4L2_BUF_FLAG_MAPPED;
    if (buffer.state == Buffer::State::Queued || buffer.state == Buffer::State::Active)
        out.flags |= V4L2_BUF_FLAG_QUEUED;
    if (buffer.state == Buffer::State::Done) out.flags |= V4L2_BUF_FLAG_DONE;
    out.reserved2 = 0;
    out.request_fd = 0;
}

int EmulatedCamera::querybuf(v4l2_buffer& buffer) const {
    if (buffer.type != kCapture) return EINVAL;
    if (buffer.index >= m_buffers.size()) return EINVAL;
    copyOut(m_buffers[buffer.index], buffer);
    return 0;
}

int EmulatedCamera::qbuf(Handle& handle, v4l2_buffer& buffer) {
    if (buffer.type != kCapture) return EINVAL;
    if (m_fileIo || (m_owner && !isOwner(handle))) return EBUSY;
    if (m_queueError) return EIO;
    if (buffer.index >= m_buffers.size() || buffer.memory != V4L2_MEMORY_MMAP) return EINVAL;
    Buffer& b = m_buffers[buffer.index];
    if (b.state != Buffer::State::Dequeued) return EINVAL;
    b.state = Buffer::State::Queued;
    b.info.flags = 0;
    b.info.bytesused = 0;
    m_queued.push_back(buffer.index);
    m_waitingForBuffers = false;
    copyOut(b, buffer);
    m_changed.notify_all();
    updateSignals();
    return 0;
}

int EmulatedCamera::dqbuf(Handle& handle, v4l2_buffer& buffer, bool nonBlocking, Lock& lock) {
    if (buffer.type != kCapture) return EINVAL;
    if (buffer.memory != V4L2_MEMORY_MMAP) return EINVAL;
    if (m_fileIo || (m_owner && !isOwner(handle))) return EBUSY;
    // __vb2_wait_for_done_vb.
    for (;;) {
        if (!m_registered) return ENODEV;
        if (!m_streaming) return EINVAL;
        if (m_queueError) return EIO;
        if (!m_done.empty()) break;
        if (nonBlocking) return EAGAIN;
        m_changed.wait(lock);
    }
    Buffer& b = m_buffers[m_done.front()];
    m_done.pop_front();
    b.state = Buffer::State::Dequeued;
    copyOut(b, buffer);
    updateSignals();
    return 0;
}

int EmulatedCamera::streamon(Handle& handle) {
    if (m_fileIo || (m_owner && !isOwner(handle))) return EBUSY;
    if (!handle.privileged) return EBUSY; // uvc_ioctl_streamon: uvc_has_privileges
    if (m_streaming) return 0;
    if (m_buffers.empty()) return EINVAL;
    m_streaming = true;
    m_queueError = false;
    m_stopProducer = false;
    m_producer = std::thread([self = shared_from_this()] { self->produce(); });
    updateSignals();
    return 0;
}

void EmulatedCamera::streamoff(Lock& lock) {
    if (m_producer.joinable()) {
        m_stopProducer = true;
        m_changed.notify_all();
        std::thread producer = std::move(m_producer);
        lock.unlock();
        producer.join();
        lock.lock();
    }
    m_streaming = false;
    m_queueError = false;
    m_waitingForBuffers = true;
    m_queued.clear();
    m_done.clear();
    for (Buffer& b : m_buffers) {
        b.state = Buffer::State::Dequeued;
        b.info.flags = 0;
    }
    m_readIndex = -1;
    m_changed.notify_all();
    updateSignals();
}

// The camera's clock: a frame every interval from the start; a frame that finds no
// queued buffer is lost, and its sequence number with it (as uvcvideo counts them).
void EmulatedCamera::produce() {
    Lock lock(m_mutex);
    const Fraction interval = m_interval;
    const auto period = std::chrono::nanoseconds(std::int64_t(1e9 * seconds(interval)));
    const std::uint32_t fourcc = m_fourcc, width = m_width, height = m_height;
    FrameSource source(m_config, fourcc, width, height);
    const Quirks quirks = m_config.quirks;
    // The cycle's pictures are made before the first frame time (a camera's first frame
    // comes a moment after STREAMON, and then it keeps its pace): made on the way, a
    // large picture would make the producer miss frame times it could have kept.
    lock.unlock();
    for (std::uint32_t i = 0; i < source.cycleLength(); ++i)
        source.frame(i);
    lock.lock();
    auto next = std::chrono::steady_clock::now() + period;
    std::uint64_t frames = 0;
    // A movie on the wall clock: its start on the monotonic clock, which stamps frames.
    const std::int64_t movieStartNs = m_config.movieStartNs;
    std::int64_t movieStartMonoNs = 0;
    if (movieStartNs) {
        timespec real{}, mono{};
        clock_gettime(CLOCK_REALTIME, &real);
        clock_gettime(CLOCK_MONOTONIC, &mono);
        movieStartMonoNs = movieStartNs -
                           (std::int64_t(real.tv_sec) - std::int64_t(mono.tv_sec)) * 1000000000 -
                           (std::int64_t(real.tv_nsec) - std::int64_t(mono.tv_nsec));
    }
    StreamCount count;
    struct Report {
        const EmulatedCamera& camera;
        const StreamCount& count;
        ~Report() { camera.reportStream(count); }
    } report{*this, count};
    while (!m_stopProducer) {
        if (m_changed.wait_until(lock, next, [&] { return m_stopProducer; })) break;
        const auto now = std::chrono::steady_clock::now();
        // A late producer skips the frame times it missed: those frames are lost.
        std::uint64_t missed = 0;
        while (next + period <= now) {
            next += period;
            ++missed;
        }
        next += period;
        m_sequence += missed;
        count.late += missed;
        const std::uint64_t sequence = m_sequence++;
        ++frames;
        if (quirks.unplugAfter && frames == quirks.unplugAfter) {
            lock.unlock();
            unplug();
            return;
        }
        if (quirks.usbResetAfter && frames == quirks.usbResetAfter) {
            lock.unlock();
            if (s_usbReset)
                s_usbReset(shared_from_this());
            else
                unplug();
            return;
        }
        if (quirks.queueErrorAfter && frames == quirks.queueErrorAfter) {
            m_queueError = true; // vb2_queue_error
            m_changed.notify_all();
            updateSignals();
            continue;
        }
        if (m_queued.empty() || !m_registered) {
            ++count.noBuffer;
            continue;
        }
        ++count.filled;
        const std::uint32_t index = m_queued.front();
        m_queued.pop_front();
        Buffer& b = m_buffers[index];
        b.state = Buffer::State::Active;
        std::uint8_t* memory = b.memory;
        const std::uint32_t capacity = b.info.length;
        lock.unlock();
        // Rendering and copying happen without the lock; STREAMOFF waits for this thread.
        // A scene's frame was exposed over the interval up to now and is stamped with
        // the start of its exposure.
        std::int64_t stampUs = 0;
        if (movieStartNs) stampUs = monotonicUs() - std::int64_t(1e6 * seconds(interval));
        const std::vector<std::uint8_t>& bytes =
            movieStartNs
                ? source.sceneFrame(double(stampUs * 1000 - movieStartMonoNs) / 1e9,
                                    double(stampUs * 1000 - movieStartMonoNs) / 1e9 + seconds(interval))
                : source.frame(sequence);
        std::uint32_t used = std::uint32_t(std::min<std::size_t>(bytes.size(), capacity));
        bool error = bytes.size() > capacity || bytes.empty(); // uvcvideo: frame overflow
        std::memcpy(memory, bytes.data(), used);
        const std::uint64_t n = frames;
        if (fourcc == V4L2_PIX_FMT_MJPEG && used > 4) {
            if (quirks.mjpegWarningEvery && n % quirks.mjpegWarningEvery == 0 && used + 4 <= capacity) {
                // Four stray bytes before the end marker: the decoder warns about them.
                std::memmove(memory + used + 2, memory + used - 2, 2);
                std::memset(memory + used - 2, 0x5A, 4);
                used += 4;
            }
            if (quirks.mjpegCutEvery && n % quirks.mjpegCutEvery == 0) used /= 2;
            if (quirks.mjpegPadding) {
                const std::uint32_t pad = std::min(quirks.mjpegPadding, capacity - used);
                std::memset(memory + used, 0, pad);
                used += pad;
            }
        }
        if (quirks.errorEvery && n % quirks.errorEvery == 0) error = true;
        if (quirks.emptyEvery && n % quirks.emptyEvery == 0) used = 0;
        lock.lock();
        if (b.state != Buffer::State::Active) continue;
        b.state = Buffer::State::Done;
        b.info.bytesused = used;
        b.info.flags = error ? V4L2_BUF_FLAG_ERROR : 0;
        b.info.sequence = std::uint32_t(sequence);
        const std::int64_t us = stampUs ? stampUs : monotonicUs();
        b.info.timestamp.tv_sec = us / 1000000;
        b.info.timestamp.tv_usec = us % 1000000;
        m_done.push_back(index);
        m_changed.notify_all();
        updateSignals(kWakeBuffer);
    }
}

void EmulatedCamera::reportStream(const StreamCount& count) const {
    const char* path = std::getenv("KV_CAMERA_EMULATOR_STATS");
    if (!path || !*path) return;
    char line[512];
    const int n = std::snprintf(
        line, sizeof line, "node=%s pid=%d frames=%llu lost-no-buffer=%llu lost-late=%llu\n",
        m_config.node.c_str(), int(getpid()), static_cast<unsigned long long>(count.filled),
        static_cast<unsigned long long>(count.noBuffer), static_cast<unsigned long long>(count.late));
    const int fd = real::open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) return;
    if (n > 0) (void)!real::write(fd, line, std::size_t(std::min<int>(n, int(sizeof line) - 1)));
    real::close(fd);
}

void EmulatedCamera::unplug() {
    Lock lock(m_mutex);
    if (!m_registered) return;
    // uvc_video_complete with -ESHUTDOWN: uvc_queue_cancel returns every queued buffer
    // flagged as an error.
    m_stopProducer = true;
    for (std::uint32_t index : m_queued) {
        Buffer& b = m_buffers[index];
        b.state = Buffer::State::Done;
        b.info.flags = V4L2_BUF_FLAG_ERROR;
        b.info.bytesused = 0;
        m_done.push_back(index);
    }
    m_queued.clear();
    m_changed.notify_all();
    updateSignals(kWakeBuffer);
    const auto end = std::chrono::steady_clock::now() + kUnplugGrace;
    m_changed.wait_until(lock, end, [] { return false; });
    // uvc_disconnect -> video_unregister_device. The camera that may come back is a new
    // device with a stream of its own: nothing held on this one keeps it.
    m_registered = false;
    for (Handle* h : m_handles)
        dismissPrivileges(*h, true);
    m_changed.notify_all();
    updateSignals(kWakeBuffer | kWakeEvent); // v4l2_event_wake_all: every waiter learns of it
    std::thread producer = std::move(m_producer);
    lock.unlock();
    if (producer.joinable()) {
        if (producer.get_id() == std::this_thread::get_id())
            producer.detach();
        else
            producer.join();
    }
}

// ---- read(), mmap(), poll() ----------------------------------------------------------

void* EmulatedCamera::mmap(Handle&, void* address, std::size_t length, int protection, int flags,
                           std::int64_t offset, int& error, std::uint32_t& generation, std::uint32_t& index) {
    Lock lock(m_mutex);
    if (!m_registered) {
        error = ENODEV;
        return MAP_FAILED;
    }
    // vb2_mmap: shared, readable, exactly one buffer from its start.
    if (!(flags & MAP_SHARED) || !(protection & PROT_READ)) {
        error = EINVAL;
        return MAP_FAILED;
    }
    for (Buffer& b : m_buffers) {
        if (std::int64_t(b.offset) != offset) continue;
        if (length > pageAligned(b.info.length)) break;
        void* mapped = real::mmap(address, length, protection, flags, b.memoryFd, 0);
        if (mapped == MAP_FAILED) {
            error = errno;
            return MAP_FAILED;
        }
        ++b.mapped;
        generation = m_generation;
        index = b.info.index;
        return mapped;
    }
    error = EINVAL;
    return MAP_FAILED;
}

void EmulatedCamera::unmapped(std::uint32_t generation, std::uint32_t index) {
    Lock lock(m_mutex);
    if (generation == m_generation && index < m_buffers.size() && m_buffers[index].mapped > 0)
        --m_buffers[index].mapped;
}

long EmulatedCamera::read(Handle& handle, void* data, std::size_t size, bool nonBlocking, int& error) {
    Lock lock(m_mutex);
    if (!m_registered) {
        error = ENODEV;
        return -1;
    }
    if (!m_config.readWrite) {
        error = EINVAL; // vb2_read without VB2_READ
        return -1;
    }
    if (!m_fileIo) {
        // __vb2_init_fileio: buffers of its own, all queued, streaming on.
        if (!m_buffers.empty() || m_owner) {
            error = EBUSY;
            return -1;
        }
        v4l2_pix_format pix;
        fillFormat(pix, m_fourcc, m_width, m_height);
        if (!allocate(2, pix.sizeimage)) {
            error = ENOMEM;
            return -1;
        }
        m_fileIo = true;
        m_owner = &handle;
        for (Buffer& b : m_buffers) {
            b.state = Buffer::State::Queued;
            m_queued.push_back(b.info.index);
        }
        m_streaming = true;
        m_stopProducer = false;
        m_producer = std::thread([self = shared_from_this()] { self->produce(); });
    }
    if (!isOwner(handle)) {
        error = EBUSY;
        return -1;
    }
    if (m_readIndex < 0) {
        for (;;) {
            if (!m_registered) {
                error = ENODEV;
                return -1;
            }
            if (!m_done.empty()) break;
            if (nonBlocking) {
                error = EAGAIN;
                return -1;
            }
            m_changed.wait(lock);
        }
        m_readIndex = int(m_done.front());
        m_done.pop_front();
        m_readPos = 0;
        m_buffers[std::size_t(m_readIndex)].state = Buffer::State::Dequeued;
    }
    Buffer& b = m_buffers[std::size_t(m_readIndex)];
    const std::size_t n = std::min<std::size_t>(size, b.info.bytesused - m_readPos);
    std::memcpy(data, b.memory + m_readPos, n);
    m_readPos += n;
    if (m_readPos >= b.info.bytesused) {
        b.state = Buffer::State::Queued;
        m_queued.push_back(b.info.index);
        m_readIndex = -1;
    }
    updateSignals();
    return long(n);
}

short EmulatedCamera::poll(Handle& handle, short requested) {
    Lock lock(m_mutex);
    // v4l2_poll: an unregistered node.
    if (!m_registered) return POLLERR | POLLHUP | POLLPRI;
    short mask = 0;
    if (!handle.events.empty()) mask |= POLLPRI;
    if (!(requested & (POLLIN | POLLRDNORM))) return mask;
    // vb2_core_poll (capture).
    if (m_buffers.empty() && !m_fileIo && m_config.readWrite && !m_owner) {
        lock.unlock();
        int error = 0;
        char none;
        read(handle, &none, 0, true, error); // starts the read() stream
        lock.lock();
    }
    if (!m_streaming || m_queueError) return mask | POLLERR;
    if (m_waitingForBuffers) return mask | POLLERR;
    if (!m_done.empty() || (m_fileIo && m_readIndex >= 0)) mask |= POLLIN | POLLRDNORM;
    return mask;
}

// Keeps each handle's eventfds readable exactly while poll() has something to say.
void EmulatedCamera::updateSignals(unsigned wake) {
    for (Handle* h : m_handles) {
        bool in, pri, buffer;
        const bool gone = !m_registered;
        if (gone) {
            in = pri = buffer = true;
        } else {
            pri = !h->events.empty();
            buffer = !m_streaming || m_queueError || m_waitingForBuffers || !m_done.empty() ||
                     (m_fileIo && m_readIndex >= 0);
            in = pri || buffer;
        }
        auto set = [](int fd, bool& state, bool wanted, bool woken) {
            if (fd < 0 || (state == wanted && !(woken && wanted))) return;
            std::uint64_t value = 1;
            if (wanted)
                (void)!real::write(fd, &value, sizeof value);
            else
                (void)!real::read(fd, &value, sizeof value);
            state = wanted;
        };
        set(h->signalFd, h->inSignalled, in, wake != 0);
        set(h->priorityFd, h->prioritySignalled, pri, wake & kWakeEvent);
        set(h->bufferFd, h->bufferSignalled, buffer, wake & kWakeBuffer);
        set(h->goneFd, h->goneSignalled, gone, false);
    }
}

// ---- the ioctls ----------------------------------------------------------------------

namespace {
bool handled(unsigned long request) {
    switch (request) {
    case VIDIOC_QUERYCAP:
    case VIDIOC_G_PRIORITY:
    case VIDIOC_S_PRIORITY:
    case VIDIOC_ENUMINPUT:
    case VIDIOC_G_INPUT:
    case VIDIOC_S_INPUT:
    case VIDIOC_ENUM_FMT:
    case VIDIOC_ENUM_FRAMESIZES:
    case VIDIOC_ENUM_FRAMEINTERVALS:
    case VIDIOC_G_FMT:
    case VIDIOC_TRY_FMT:
    case VIDIOC_S_FMT:
    case VIDIOC_G_PARM:
    case VIDIOC_S_PARM:
    case VIDIOC_QUERYCTRL:
    case VIDIOC_QUERY_EXT_CTRL:
    case VIDIOC_QUERYMENU:
    case VIDIOC_G_CTRL:
    case VIDIOC_S_CTRL:
    case VIDIOC_G_EXT_CTRLS:
    case VIDIOC_S_EXT_CTRLS:
    case VIDIOC_TRY_EXT_CTRLS:
    case VIDIOC_SUBSCRIBE_EVENT:
    case VIDIOC_UNSUBSCRIBE_EVENT:
    case VIDIOC_DQEVENT:
    case VIDIOC_REQBUFS:
    case VIDIOC_CREATE_BUFS:
    case VIDIOC_QUERYBUF:
    case VIDIOC_QBUF:
    case VIDIOC_DQBUF:
    case VIDIOC_STREAMON:
    case VIDIOC_STREAMOFF:
        return true;
    default:
        return false;
    }
}
} // namespace

int EmulatedCamera::ioctl(Handle& handle, unsigned long request, void* arg, bool nonBlocking) {
    Lock lock(m_mutex);
    if (!m_registered) return ENODEV;
    // The core copies the argument of the ioctls it knows; others are not the driver's.
    if (!arg && _IOC_SIZE(request) && handled(request)) return EFAULT;
    switch (request) {
    case VIDIOC_QUERYCAP:
        return querycap(*static_cast<v4l2_capability*>(arg));
    case VIDIOC_G_PRIORITY:
        *static_cast<std::uint32_t*>(arg) = maxPriority();
        return 0;
    case VIDIOC_S_PRIORITY: {
        const std::uint32_t p = *static_cast<std::uint32_t*>(arg);
        if (!priorityAllows(handle)) return EBUSY;
        if (p < V4L2_PRIORITY_BACKGROUND || p > V4L2_PRIORITY_RECORD) return EINVAL;
        handle.priority = p;
        return 0;
    }
    case VIDIOC_ENUMINPUT: {
        auto& input = *static_cast<v4l2_input*>(arg);
        if (input.index != 0) return EINVAL;
        std::memset(&input, 0, sizeof input);
        std::strncpy(reinterpret_cast<char*>(input.name), "Camera 1", sizeof input.name - 1);
        input.type = V4L2_INPUT_TYPE_CAMERA;
        return 0;
    }
    case VIDIOC_G_INPUT:
        *static_cast<int*>(arg) = 0;
        return 0;
    case VIDIOC_S_INPUT:
        if (!priorityAllows(handle)) return EBUSY;
        return *static_cast<int*>(arg) == 0 ? 0 : EINVAL;
    case VIDIOC_ENUM_FMT:
        return enumFormat(*static_cast<v4l2_fmtdesc*>(arg));
    case VIDIOC_ENUM_FRAMESIZES:
        return enumFrameSizes(*static_cast<v4l2_frmsizeenum*>(arg));
    case VIDIOC_ENUM_FRAMEINTERVALS:
        return enumFrameIntervals(*static_cast<v4l2_frmivalenum*>(arg));
    case VIDIOC_G_FMT: {
        auto& f = *static_cast<v4l2_format*>(arg);
        if (f.type != kCapture) return EINVAL;
        fillFormat(f.fmt.pix, m_fourcc, m_width, m_height);
        return 0;
    }
    case VIDIOC_TRY_FMT:
    case VIDIOC_S_FMT: {
        auto& f = *static_cast<v4l2_format*>(arg);
        if (f.type != kCapture) return EINVAL;
        if (request == VIDIOC_S_FMT) {
            if (!priorityAllows(handle)) return EBUSY;
            if (!acquirePrivileges(handle)) return EBUSY;
            if (!m_buffers.empty() || m_fileIo) return EBUSY; // uvc_queue_allocated
        }
        tryFormat(f.fmt.pix);
        if (request == VIDIOC_S_FMT) {
            m_fourcc = f.fmt.pix.pixelformat;
            m_width = f.fmt.pix.width;
            m_height = f.fmt.pix.height;
            if (const FrameSizeConfig* size = findSize(m_fourcc, m_width, m_height))
                m_interval = probedInterval(nearestInterval(*size, m_interval));
        }
        return 0;
    }
    case VIDIOC_G_PARM:
        return getParm(*static_cast<v4l2_streamparm*>(arg));
    case VIDIOC_S_PARM:
        if (!priorityAllows(handle)) return EBUSY;
        return setParm(handle, *static_cast<v4l2_streamparm*>(arg));
    case VIDIOC_QUERYCTRL: {
        auto& q = *static_cast<v4l2_queryctrl*>(arg);
        v4l2_query_ext_ctrl ext;
        if (const int error = queryControl(q.id, ext)) return error;
        std::memset(&q, 0, sizeof q);
        q.id = ext.id;
        q.type = ext.type;
        std::memcpy(q.name, ext.name, sizeof q.name);
        q.minimum = std::int32_t(ext.minimum);
        q.maximum = std::int32_t(ext.maximum);
        q.step = std::int32_t(ext.step);
        q.default_value = std::int32_t(ext.default_value);
        q.flags = ext.flags;
        return 0;
    }
    case VIDIOC_QUERY_EXT_CTRL: {
        auto& q = *static_cast<v4l2_query_ext_ctrl*>(arg);
        return queryControl(q.id, q);
    }
    case VIDIOC_QUERYMENU: {
        auto& m = *static_cast<v4l2_querymenu*>(arg);
        const UvcControlInfo* info = uvcControl(m.id);
        const ControlConfig* config = controlConfig(m.id);
        if (!info || !config || info->type != V4L2_CTRL_TYPE_MENU) return EINVAL;
        if (std::int64_t(m.index) < config->minimum || std::int64_t(m.index) > config->maximum) return EINVAL;
        if (config->menuMask && !(config->menuMask & (std::uint64_t(1) << m.index))) return EINVAL;
        m.reserved = 0;
        std::memset(m.name, 0, sizeof m.name);
        std::strncpy(reinterpret_cast<char*>(m.name), info->menu[m.index], sizeof m.name - 1);
        return 0;
    }
    case VIDIOC_G_CTRL:
    case VIDIOC_S_CTRL: {
        // v4l_g_ctrl / v4l_s_ctrl: one extended control of the id's class.
        auto& c = *static_cast<v4l2_control*>(arg);
        v4l2_ext_control one{};
        one.id = c.id;
        one.value = c.value;
        v4l2_ext_controls list{};
        list.which = V4L2_CTRL_ID2WHICH(c.id);
        list.count = 1;
        list.controls = &one;
        if (list.which == V4L2_CID_PRIVATE_BASE) return EINVAL;
        const int error =
            extControls(handle, request == VIDIOC_G_CTRL ? VIDIOC_G_EXT_CTRLS : VIDIOC_S_EXT_CTRLS, list);
        if (!error) c.value = one.value;
        return error;
    }
    case VIDIOC_G_EXT_CTRLS:
    case VIDIOC_S_EXT_CTRLS:
    case VIDIOC_TRY_EXT_CTRLS:
        return extControls(handle, request, *static_cast<v4l2_ext_controls*>(arg));
    case VIDIOC_SUBSCRIBE_EVENT: {
        const int error = subscribe(handle, *static_cast<v4l2_event_subscription*>(arg));
        updateSignals();
        return error;
    }
    case VIDIOC_UNSUBSCRIBE_EVENT: {
        const auto& sub = *static_cast<v4l2_event_subscription*>(arg);
        auto& subs = handle.subscriptions;
        auto& events = handle.events;
        auto matches = [&](std::uint32_t type, std::uint32_t id) {
            return sub.type == V4L2_EVENT_ALL || (type == sub.type && id == sub.id);
        };
        subs.erase(std::remove_if(subs.begin(), subs.end(),
                                  [&](const Handle::Subscription& s) { return matches(s.type, s.id); }),
                   subs.end());
        events.erase(std::remove_if(events.begin(), events.end(),
                                    [&](const v4l2_event& e) { return matches(e.type, e.id); }),
                     events.end());
        updateSignals();
        return 0;
    }
    case VIDIOC_DQEVENT: {
        for (;;) {
            if (!handle.events.empty()) break;
            if (nonBlocking) return ENOENT;
            m_changed.wait(lock);
            if (!m_registered) return ENODEV;
        }
        auto& event = *static_cast<v4l2_event*>(arg);
        event = handle.events.front();
        handle.events.pop_front();
        event.pending = std::uint32_t(handle.events.size());
        updateSignals();
        return 0;
    }
    case VIDIOC_REQBUFS:
        return reqbufs(handle, *static_cast<v4l2_requestbuffers*>(arg), lock);
    case VIDIOC_CREATE_BUFS:
        if (!priorityAllows(handle)) return EBUSY;
        return createBufs(handle, *static_cast<v4l2_create_buffers*>(arg));
    case VIDIOC_QUERYBUF:
        return querybuf(*static_cast<v4l2_buffer*>(arg));
    case VIDIOC_QBUF:
        return qbuf(handle, *static_cast<v4l2_buffer*>(arg));
    case VIDIOC_DQBUF:
        return dqbuf(handle, *static_cast<v4l2_buffer*>(arg), nonBlocking, lock);
    case VIDIOC_STREAMON:
    case VIDIOC_STREAMOFF: {
        if (*static_cast<int*>(arg) != int(kCapture)) return EINVAL;
        if (!priorityAllows(handle)) return EBUSY;
        if (request == VIDIOC_STREAMON) return streamon(handle);
        if (m_fileIo || (m_owner && !isOwner(handle)) || !handle.privileged) return EBUSY;
        streamoff(lock);
        return 0;
    }
    default:
        return ENOTTY;
    }
}

} // namespace camemu
