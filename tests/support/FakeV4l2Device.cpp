#include "FakeV4l2Device.h"

#include <algorithm>

FakeMappedBuffer::FakeMappedBuffer(std::size_t length) : m_length(length) {
    const auto page = std::size_t(sysconf(_SC_PAGESIZE));
    m_pages = (length + page - 1) / page * page;
    void* base = mmap(nullptr, m_pages + page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (base == MAP_FAILED) throw std::bad_alloc();
    m_base = static_cast<char*>(base);
    mprotect(m_base + m_pages, page, PROT_NONE);
}

FakeMappedBuffer::~FakeMappedBuffer() {
    if (m_base) munmap(m_base, m_pages + std::size_t(sysconf(_SC_PAGESIZE)));
}

FakeCamera::Control FakeCamera::control(std::uint32_t id, std::uint32_t type, const char* name, int min,
                                        int max, int def, std::uint32_t flags) {
    v4l2_queryctrl q{};
    q.id = id;
    q.type = type;
    std::strncpy(reinterpret_cast<char*>(q.name), name, sizeof q.name - 1);
    q.minimum = min;
    q.maximum = max;
    q.step = 1;
    q.default_value = def;
    q.flags = flags;
    return Control{q, def, {}, 0, 0};
}

void FakeCamera::setTimings(const v4l2_dv_timings& timings) {
    currentTimings = timings;
    currentSize = QSize(int(timings.bt.width), int(timings.bt.height));
    // v4l2_calc_timeperframe: frames a second in hundredths, from the pixel clock and
    // the whole frame with its blanking.
    const std::uint64_t area =
        std::uint64_t(V4L2_DV_BT_FRAME_WIDTH(&timings.bt)) * V4L2_DV_BT_FRAME_HEIGHT(&timings.bt);
    std::uint64_t fps = area ? 100 * std::uint64_t(timings.bt.pixelclock) / area : 0;
    if (timings.bt.flags & V4L2_DV_FL_REDUCED_FPS) fps = (fps * 1000 + 500) / 1001;
    if (fps) currentInterval = {100, std::uint32_t(fps)};
}

std::shared_ptr<FakeCamera> FakeCamera::standard() {
    auto camera = std::make_shared<FakeCamera>();
    camera->formats = {
        {V4L2_PIX_FMT_RGB24, "RGB3", false, {{320, 240}, {640, 480}}, {{1, 30}, {1, 15}}, {}},
        {V4L2_PIX_FMT_BGR24, "BGR3 (emulated)", true, {{640, 480}}, {{1, 30}}, {}},
        {V4L2_PIX_FMT_MJPEG, "Motion-JPEG", false, {{640, 480}}, {{1, 30}}, {}},
    };
    camera->controls.push_back(
        control(V4L2_CID_USER_CLASS, V4L2_CTRL_TYPE_CTRL_CLASS, "User Controls", 0, 0, 0));
    camera->controls.push_back(
        control(V4L2_CID_BRIGHTNESS, V4L2_CTRL_TYPE_INTEGER, "Brightness", 0, 255, 128));
    camera->controls.push_back(
        control(V4L2_CID_AUTO_WHITE_BALANCE, V4L2_CTRL_TYPE_BOOLEAN, "White Balance, Automatic", 0, 1, 1));
    Control power =
        control(V4L2_CID_POWER_LINE_FREQUENCY, V4L2_CTRL_TYPE_MENU, "Power Line Frequency", 0, 2, 1);
    power.menu = {"Disabled", "50 Hz", "60 Hz"};
    camera->controls.push_back(power);
    camera->controls.push_back(
        control(V4L2_CID_HUE, V4L2_CTRL_TYPE_INTEGER, "Hue", -10, 10, 0, V4L2_CTRL_FLAG_DISABLED));
    return camera;
}

QByteArray FakeCamera::encode(const Frame& frame) const {
    if (!frame.raw.isNull()) return frame.raw;
    if (currentFourcc == V4L2_PIX_FMT_MJPEG) return jpeg(frame.image);
    const QImage rgb = frame.image.convertToFormat(QImage::Format_RGB888);
    const int w = rgb.width(), h = rgb.height();
    QByteArray bytes;
    auto pixel = [&](int x, int y) { return rgb.constScanLine(y) + 3 * x; };
    // BT.601, limited range, as cameras send it.
    auto luma = [&](const uchar* p) { return char(16 + (66 * p[0] + 129 * p[1] + 25 * p[2] + 128) / 256); };
    auto cb = [&](const uchar* p) { return char(128 + (-38 * p[0] - 74 * p[1] + 112 * p[2] + 128) / 256); };
    auto cr = [&](const uchar* p) { return char(128 + (112 * p[0] - 94 * p[1] - 18 * p[2] + 128) / 256); };
    switch (currentFourcc) {
    case V4L2_PIX_FMT_YUYV:
        for (int y = 0; y < h; ++y)
            for (int x = 0; x + 1 < w; x += 2) {
                const uchar* p = pixel(x, y);
                bytes += luma(p), bytes += cb(p), bytes += luma(pixel(x + 1, y)), bytes += cr(p);
            }
        return bytes;
    case V4L2_PIX_FMT_NV12:
    case V4L2_PIX_FMT_YUV420:
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                bytes += luma(pixel(x, y));
        if (currentFourcc == V4L2_PIX_FMT_NV12) {
            for (int y = 0; y < h; y += 2)
                for (int x = 0; x < w; x += 2)
                    bytes += cb(pixel(x, y)), bytes += cr(pixel(x, y));
        } else {
            for (bool blue : {true, false})
                for (int y = 0; y < h; y += 2)
                    for (int x = 0; x < w; x += 2)
                        bytes += blue ? cb(pixel(x, y)) : cr(pixel(x, y));
        }
        return bytes;
    case V4L2_PIX_FMT_BGR24:
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const uchar* p = pixel(x, y);
                bytes += char(p[2]), bytes += char(p[1]), bytes += char(p[0]);
            }
        return bytes;
    default: // RGB24
        for (int y = 0; y < h; ++y)
            bytes.append(reinterpret_cast<const char*>(rgb.constScanLine(y)), w * 3);
        return bytes;
    }
}

QByteArray FakeCamera::jpeg(const QImage& image) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", 90);
    return bytes;
}

std::uint32_t FakeCamera::imageBytes(std::uint32_t fourcc, QSize size) {
    const auto w = std::uint32_t(size.width()), h = std::uint32_t(size.height());
    switch (fourcc) {
    case V4L2_PIX_FMT_MJPEG:
        return w * h * 3;
    case V4L2_PIX_FMT_NV12:
    case V4L2_PIX_FMT_YUV420:
        return w * h + 2 * ((w + 1) / 2) * ((h + 1) / 2);
    default:
        return bytesPerLine(fourcc, w) * h;
    }
}

std::uint32_t FakeCamera::bytesPerLine(std::uint32_t fourcc, std::uint32_t width) {
    switch (fourcc) {
    case V4L2_PIX_FMT_MJPEG:
        return 0;
    case V4L2_PIX_FMT_YUYV:
        return width * 2;
    case V4L2_PIX_FMT_NV12:
    case V4L2_PIX_FMT_YUV420:
        return width;
    default:
        return width * 3;
    }
}

int FakeV4l2Device::open(const QByteArray& path) {
    const auto it = m_nodes.find(path);
    if (it == m_nodes.end()) return ENOENT;
    std::lock_guard lock(it->second->mutex);
    if (it->second->unplugged) return ENODEV;
    if (it->second->openError) return it->second->openError;
    m_camera = it->second;
    ++m_camera->openDevices;
    return 0;
}

void FakeV4l2Device::close() {
    if (!m_camera) return;
    std::lock_guard lock(m_camera->mutex);
    --m_camera->openDevices;
    m_camera->eventQueues.erase(this);
    if (m_camera->privileged == this) m_camera->privileged = nullptr;
    m_camera.reset();
}

void* FakeV4l2Device::map(std::size_t length, std::int64_t offset) {
    std::lock_guard lock(m_camera->mutex);
    const auto index = std::size_t(offset / kOffsetStep);
    if (index >= m_camera->buffers.size() || length != std::size_t(m_camera->buffers[index].size()))
        return nullptr;
    ++m_camera->mapped;
    return m_camera->buffers[index].data();
}

void FakeV4l2Device::unmap(void*, std::size_t) {
    std::lock_guard lock(m_camera->mutex);
    --m_camera->mapped;
}

int FakeV4l2Device::poll(int timeoutMs) {
    std::unique_lock lock(m_camera->mutex);
    ++m_camera->polls;
    if (m_camera->broken && !m_camera->queued.empty()) {
        // A broken stream still comes at the camera's rate.
        m_camera->changed.wait_for(lock, std::chrono::milliseconds(std::min(timeoutMs, 33)));
        return m_camera->unplugged ? -ENODEV : 1;
    }
    const bool ready = m_camera->changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] {
        return m_camera->unplugged || m_camera->failDequeue || m_camera->wake || m_camera->queueError ||
               (!m_camera->pending.empty() && !m_camera->queued.empty());
    });
    if (m_camera->unplugged) return -ENODEV;
    if (m_camera->queueError) return -EIO; // POLLERR without POLLHUP
    return ready ? 1 : 0;
}

// The V4L2 core takes a format or buffer call only with the buffer type the node
// has (v4l2-ioctl.c, check_fmt: a multi-planar-only driver has no single-planar
// operations, EINVAL), and videobuf2 a queue's buffers only with its own type and,
// multi-planar, with a plane array as long as the format's planes
// (__verify_planes_array). A multi-planar node's formats here have one plane.
int FakeV4l2Device::ioctl(unsigned long request, void* arg) {
    if (!m_camera) return EBADF;
    const bool multiPlaneNode =
        !(m_camera->caps & V4L2_CAP_VIDEO_CAPTURE) && (m_camera->caps & V4L2_CAP_VIDEO_CAPTURE_MPLANE);
    // libv4l2's mplane plugin (libv4l-mplane.c) shows such a node as a single-planar
    // one: it answers QUERYCAP with _CAPTURE for _CAPTURE_MPLANE, turns every
    // single-planar call into the multi-planar one, and refuses the multi-planar types.
    const bool plugin = multiPlaneNode && std::strcmp(m_calls, "libv4l2") == 0;
    const bool multiPlane = multiPlaneNode && !plugin;
    if (request == VIDIOC_QUERYCAP && plugin) {
        auto* cap = static_cast<v4l2_capability*>(arg);
        const int error = singlePlaneIoctl(request, arg);
        for (std::uint32_t* caps : {&cap->capabilities, &cap->device_caps})
            *caps = (*caps | V4L2_CAP_VIDEO_CAPTURE) & ~std::uint32_t(V4L2_CAP_VIDEO_CAPTURE_MPLANE);
        return error;
    }
    const std::uint32_t nodeType =
        multiPlane ? V4L2_BUF_TYPE_VIDEO_CAPTURE_MPLANE : V4L2_BUF_TYPE_VIDEO_CAPTURE;
    auto typed = [&](std::uint32_t type) { return type == nodeType; };
    switch (request) {
    case VIDIOC_ENUM_FMT: {
        auto* desc = static_cast<v4l2_fmtdesc*>(arg);
        if (!typed(desc->type)) return EINVAL;
        desc->type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        const int error = singlePlaneIoctl(request, arg);
        desc->type = nodeType;
        return error;
    }
    case VIDIOC_G_FMT:
    case VIDIOC_S_FMT:
    case VIDIOC_TRY_FMT: {
        auto* fmt = static_cast<v4l2_format*>(arg);
        if (!typed(fmt->type)) return EINVAL;
        if (!multiPlane) return singlePlaneIoctl(request, arg);
        v4l2_format single{};
        single.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        single.fmt.pix.width = fmt->fmt.pix_mp.width;
        single.fmt.pix.height = fmt->fmt.pix_mp.height;
        single.fmt.pix.pixelformat = fmt->fmt.pix_mp.pixelformat;
        single.fmt.pix.field = fmt->fmt.pix_mp.field;
        const int error = singlePlaneIoctl(request, &single);
        if (error) return error;
        fmt->fmt.pix_mp = {};
        fmt->fmt.pix_mp.width = single.fmt.pix.width;
        fmt->fmt.pix_mp.height = single.fmt.pix.height;
        fmt->fmt.pix_mp.pixelformat = single.fmt.pix.pixelformat;
        fmt->fmt.pix_mp.field = V4L2_FIELD_NONE;
        fmt->fmt.pix_mp.num_planes = 1;
        fmt->fmt.pix_mp.plane_fmt[0].bytesperline = single.fmt.pix.bytesperline;
        fmt->fmt.pix_mp.plane_fmt[0].sizeimage = single.fmt.pix.sizeimage;
        return 0;
    }
    case VIDIOC_G_PARM:
    case VIDIOC_S_PARM: {
        auto* parm = static_cast<v4l2_streamparm*>(arg);
        if (!typed(parm->type)) return EINVAL;
        parm->type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        const int error = singlePlaneIoctl(request, arg);
        parm->type = nodeType;
        return error;
    }
    case VIDIOC_REQBUFS: {
        auto* requested = static_cast<v4l2_requestbuffers*>(arg);
        if (!typed(requested->type)) return EINVAL;
        requested->type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        const int error = singlePlaneIoctl(request, arg);
        requested->type = nodeType;
        return error;
    }
    case VIDIOC_QUERYBUF:
    case VIDIOC_QBUF:
    case VIDIOC_DQBUF: {
        auto* buffer = static_cast<v4l2_buffer*>(arg);
        if (!typed(buffer->type)) return EINVAL;
        if (!multiPlane) return singlePlaneIoctl(request, arg);
        if (!buffer->m.planes || buffer->length < 1) return EINVAL;
        v4l2_buffer single = *buffer;
        single.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        single.m.offset = 0;
        single.length = 0;
        const int error = singlePlaneIoctl(request, &single);
        if (error) return error;
        v4l2_plane* plane = buffer->m.planes;
        const std::uint32_t planes = buffer->length;
        *buffer = single;
        buffer->type = nodeType;
        buffer->m.planes = plane;
        buffer->length = planes;
        if (request == VIDIOC_QBUF) return 0;
        if (request == VIDIOC_QUERYBUF) plane[0].length = single.length;
        plane[0].m.mem_offset = single.m.offset;
        plane[0].bytesused = single.bytesused;
        plane[0].data_offset = 0;
        buffer->bytesused = 0;
        return 0;
    }
    case VIDIOC_STREAMON:
    case VIDIOC_STREAMOFF: {
        if (!typed(std::uint32_t(*static_cast<int*>(arg)))) return EINVAL;
        int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        return singlePlaneIoctl(request, &type);
    }
    default:
        return singlePlaneIoctl(request, arg);
    }
}

int FakeV4l2Device::singlePlaneIoctl(unsigned long request, void* arg) {
    std::lock_guard lock(m_camera->mutex);
    FakeCamera& c = *m_camera;
    if (c.unplugged) return ENODEV;
    c.requests.push_back(request);
    switch (request) {
    case VIDIOC_S_FMT:
    case VIDIOC_S_PARM:
    case VIDIOC_REQBUFS:
    case VIDIOC_STREAMON:
        // uvc_v4l2.c: these take the stream's privileges (uvc_acquire_privileges),
        // which only one open device holds; STREAMON needs them held already.
        if (request == VIDIOC_STREAMON ? c.privileged != this : c.privileged && c.privileged != this)
            return EBUSY;
        c.privileged = this;
        break;
    default:
        break;
    }
    switch (request) {
    case VIDIOC_QUERYCAP: {
        auto* cap = static_cast<v4l2_capability*>(arg);
        *cap = {};
        std::strncpy(reinterpret_cast<char*>(cap->card), c.card.constData(), sizeof cap->card - 1);
        std::strncpy(reinterpret_cast<char*>(cap->bus_info), c.busInfo.constData(), sizeof cap->bus_info - 1);
        cap->version = c.version;
        cap->capabilities = c.caps | V4L2_CAP_DEVICE_CAPS;
        cap->device_caps = c.caps;
        return 0;
    }
    case VIDIOC_ENUMINPUT: {
        auto* input = static_cast<v4l2_input*>(arg);
        if (input->index >= c.inputs.size()) return EINVAL;
        const std::uint32_t index = input->index;
        *input = {};
        input->index = index;
        std::strncpy(reinterpret_cast<char*>(input->name), c.inputs[index], sizeof input->name - 1);
        input->type = V4L2_INPUT_TYPE_CAMERA;
        if (c.dvTimings) input->capabilities = V4L2_IN_CAP_DV_TIMINGS;
        return 0;
    }
    case VIDIOC_QUERY_DV_TIMINGS:
        if (!c.dvTimings) return ENOTTY;
        if (!c.detectedTimings) return c.signalError;
        *static_cast<v4l2_dv_timings*>(arg) = *c.detectedTimings;
        return 0;
    case VIDIOC_G_DV_TIMINGS:
        if (!c.dvTimings) return ENOTTY;
        *static_cast<v4l2_dv_timings*>(arg) = c.currentTimings;
        return 0;
    case VIDIOC_S_DV_TIMINGS: {
        if (!c.dvTimings) return ENOTTY;
        const auto* timings = static_cast<const v4l2_dv_timings*>(arg);
        if (timings->type != V4L2_DV_BT_656_1120 || !timings->bt.width || !timings->bt.height) return EINVAL;
        if (c.streaming || !c.buffers.empty()) return EBUSY; // vb2_is_busy
        c.setTimings(*timings);
        c.timingsWrites.push_back(*timings);
        return 0;
    }
    case VIDIOC_G_INPUT:
        *static_cast<int*>(arg) = c.currentInput;
        return 0;
    case VIDIOC_S_INPUT: {
        const int index = *static_cast<int*>(arg);
        if (index < 0 || std::size_t(index) >= c.inputs.size()) return EINVAL;
        if (c.streaming) return EBUSY;
        c.currentInput = index;
        c.inputWrites.push_back(index);
        return 0;
    }
    case VIDIOC_ENUMSTD: {
        auto* standard = static_cast<v4l2_standard*>(arg);
        if (c.standards.empty()) return ENOTTY;
        if (standard->index >= c.standards.size()) return EINVAL;
        const std::uint32_t index = standard->index;
        *standard = {};
        standard->index = index;
        standard->id = c.standards[index].first;
        std::strncpy(reinterpret_cast<char*>(standard->name), c.standards[index].second,
                     sizeof standard->name - 1);
        return 0;
    }
    case VIDIOC_G_STD:
        if (c.standards.empty()) return ENOTTY;
        *static_cast<v4l2_std_id*>(arg) = c.currentStandard;
        return 0;
    case VIDIOC_S_STD: {
        // v4l_s_std: the standard must be one the node has; vb2 drivers refuse while busy.
        if (c.standards.empty()) return ENOTTY;
        const v4l2_std_id id = *static_cast<v4l2_std_id*>(arg);
        if (c.streaming) return EBUSY;
        if (!std::any_of(c.standards.begin(), c.standards.end(),
                         [id](const auto& s) { return (s.first & id) != 0; }))
            return EINVAL;
        c.currentStandard = id;
        c.standardWrites.push_back(id);
        return 0;
    }
    case VIDIOC_ENUM_FMT: {
        auto* desc = static_cast<v4l2_fmtdesc*>(arg);
        if (desc->index >= c.formats.size()) return EINVAL;
        const auto& f = c.formats[desc->index];
        desc->pixelformat = f.fourcc;
        desc->flags = f.emulated ? V4L2_FMT_FLAG_EMULATED : 0;
        std::strncpy(reinterpret_cast<char*>(desc->description), f.description, sizeof desc->description - 1);
        return 0;
    }
    case VIDIOC_ENUM_FRAMESIZES: {
        auto* size = static_cast<v4l2_frmsizeenum*>(arg);
        const auto* f = find(size->pixel_format);
        if (f && f->range && size->index == 0) {
            size->type = V4L2_FRMSIZE_TYPE_STEPWISE;
            size->stepwise = *f->range;
            return 0;
        }
        if (!f || size->index >= f->sizes.size()) return EINVAL;
        size->type = V4L2_FRMSIZE_TYPE_DISCRETE;
        size->discrete.width = std::uint32_t(f->sizes[size->index].width());
        size->discrete.height = std::uint32_t(f->sizes[size->index].height());
        return 0;
    }
    case VIDIOC_ENUM_FRAMEINTERVALS: {
        auto* ival = static_cast<v4l2_frmivalenum*>(arg);
        const auto* f = find(ival->pixel_format);
        if (f && f->intervalRange) {
            if (ival->index > 0) return EINVAL;
            ival->type = f->continuousIntervals ? V4L2_FRMIVAL_TYPE_CONTINUOUS : V4L2_FRMIVAL_TYPE_STEPWISE;
            ival->stepwise = *f->intervalRange;
            return 0;
        }
        if (!f || ival->index >= f->intervals.size()) return EINVAL;
        ival->type = V4L2_FRMIVAL_TYPE_DISCRETE;
        ival->discrete = f->intervals[ival->index];
        return 0;
    }
    case VIDIOC_G_FMT: {
        auto* fmt = static_cast<v4l2_format*>(arg);
        fmt->fmt.pix.pixelformat = c.currentFourcc;
        fmt->fmt.pix.width = std::uint32_t(c.currentSize.width());
        fmt->fmt.pix.height = std::uint32_t(c.currentSize.height());
        return 0;
    }
    case VIDIOC_TRY_FMT: {
        // The nearest size the format can give, as drivers answer it.
        auto* fmt = static_cast<v4l2_format*>(arg);
        if (!find(fmt->fmt.pix.pixelformat)) fmt->fmt.pix.pixelformat = c.formats.front().fourcc;
        const FakeCamera::Format& f = *find(fmt->fmt.pix.pixelformat);
        auto bound = [](std::uint32_t v, std::uint32_t lo, std::uint32_t hi, std::uint32_t step) {
            v = std::clamp(v, lo, hi);
            return lo + (v - lo) / std::max(1u, step) * std::max(1u, step);
        };
        const auto area = [](QSize a) { return std::int64_t(a.width()) * a.height(); };
        if (const auto& r = f.scales ? f.scales : f.range) {
            fmt->fmt.pix.width = bound(fmt->fmt.pix.width, r->min_width, r->max_width, r->step_width);
            fmt->fmt.pix.height = bound(fmt->fmt.pix.height, r->min_height, r->max_height, r->step_height);
        } else {
            const QSize asked(int(fmt->fmt.pix.width), int(fmt->fmt.pix.height));
            QSize best = f.sizes.empty() ? c.currentSize : f.sizes.front();
            for (QSize size : f.sizes)
                if (std::abs(area(size) - area(asked)) < std::abs(area(best) - area(asked))) best = size;
            fmt->fmt.pix.width = std::uint32_t(best.width());
            fmt->fmt.pix.height = std::uint32_t(best.height());
        }
        fmt->fmt.pix.bytesperline = FakeCamera::bytesPerLine(fmt->fmt.pix.pixelformat, fmt->fmt.pix.width);
        return 0;
    }
    case VIDIOC_S_FMT: {
        auto* fmt = static_cast<v4l2_format*>(arg);
        if (c.streaming) return EBUSY;
        c.lastSetFormat = *fmt;
        c.currentFourcc = fmt->fmt.pix.pixelformat;
        c.currentSize = QSize(int(fmt->fmt.pix.width), int(fmt->fmt.pix.height));
        fmt->fmt.pix.bytesperline = FakeCamera::bytesPerLine(c.currentFourcc, fmt->fmt.pix.width);
        fmt->fmt.pix.sizeimage = FakeCamera::imageBytes(c.currentFourcc, c.currentSize);
        if (c.formatReply) {
            fmt->fmt.pix.width = c.formatReply->width;
            fmt->fmt.pix.height = c.formatReply->height;
            fmt->fmt.pix.bytesperline = c.formatReply->bytesperline;
            fmt->fmt.pix.sizeimage = c.formatReply->sizeimage;
        }
        return 0;
    }
    case VIDIOC_G_PARM: {
        auto* parm = static_cast<v4l2_streamparm*>(arg);
        if (c.rateOfStandard) {
            if (c.standards.empty()) return ENOTTY;
            parm->parm.capture.readbuffers = 2;
            parm->parm.capture.timeperframe =
                (c.currentStandard & V4L2_STD_525_60) ? v4l2_fract{1001, 30000} : v4l2_fract{1, 25};
            return 0;
        }
        parm->parm.capture.timeperframe = c.currentInterval;
        return 0;
    }
    case VIDIOC_S_PARM: {
        auto* parm = static_cast<v4l2_streamparm*>(arg);
        if (c.rateOfStandard) return ENOTTY;
        c.lastSetInterval = parm->parm.capture.timeperframe;
        if (c.parmReply) parm->parm.capture.timeperframe = *c.parmReply;
        c.currentInterval = parm->parm.capture.timeperframe;
        return 0;
    }
    case VIDIOC_REQBUFS: {
        auto* request = static_cast<v4l2_requestbuffers*>(arg);
        if (c.mapped > 0 && request->count == 0) return EBUSY; // buffers still mapped
        if (request->count == 0) c.privileged = nullptr;       // uvc_dismiss_privileges
        c.buffers.clear();
        for (std::uint32_t i = 0; i < request->count; ++i)
            c.buffers.emplace_back(c.formatReply ? c.formatReply->sizeimage
                                                 : FakeCamera::imageBytes(c.currentFourcc, c.currentSize));
        c.queued.clear();
        return 0;
    }
    case VIDIOC_QUERYBUF: {
        auto* buffer = static_cast<v4l2_buffer*>(arg);
        if (buffer->index >= c.buffers.size()) return EINVAL;
        buffer->length = std::uint32_t(c.buffers[buffer->index].size());
        buffer->m.offset = buffer->index * kOffsetStep;
        return 0;
    }
    case VIDIOC_QBUF: {
        if (c.queueError) return EIO;
        auto* buffer = static_cast<v4l2_buffer*>(arg);
        if (buffer->index >= c.buffers.size()) return EINVAL;
        c.queued.push_back(buffer->index);
        c.changed.notify_all();
        return 0;
    }
    case VIDIOC_DQBUF: {
        if (c.failDequeue) return c.failDequeue;
        if (c.queueError) return EIO;
        if (!c.streaming || (c.pending.empty() && !c.broken) || c.queued.empty()) return EAGAIN;
        auto* buffer = static_cast<v4l2_buffer*>(arg);
        const std::uint32_t index = c.queued.front();
        c.queued.pop_front();
        const FakeCamera::Frame frame = c.pending.empty() ? *c.broken : c.pending.front();
        if (!c.pending.empty()) c.pending.pop_front();
        const QByteArray bytes = frame.empty ? QByteArray() : c.encode(frame);
        FakeMappedBuffer& target = c.buffers[index];
        std::memcpy(target.data(), bytes.constData(), std::size_t(std::min(bytes.size(), target.size())));
        c.delivered.push_back(bytes);
        buffer->index = index;
        buffer->bytesused =
            frame.bytesUsed ? *frame.bytesUsed : std::uint32_t(std::min(bytes.size(), target.size()));
        buffer->flags = V4L2_BUF_FLAG_TIMESTAMP_MONOTONIC | frame.flags;
        const std::int64_t stampUs = frame.timestampUs ? frame.timestampUs : monotonicTimeUs();
        buffer->timestamp.tv_sec = stampUs / 1000000;
        buffer->timestamp.tv_usec = stampUs % 1000000;
        c.kernelSequence += frame.lostBefore;
        buffer->sequence = c.kernelSequence++;
        return 0;
    }
    case VIDIOC_STREAMON:
        if (c.failStreamOn) return c.failStreamOn;
        c.streaming = true;
        c.streamedThrough = m_calls;
        c.kernelSequence = 0;
        return 0;
    case VIDIOC_STREAMOFF:
        // vb2_core_streamoff: every buffer back to the program, the queue's error gone.
        c.streaming = false;
        c.queueError = false;
        c.queued.clear();
        ++c.streamOffs;
        return 0;
    case VIDIOC_QUERYCTRL: {
        auto* query = static_cast<v4l2_queryctrl*>(arg);
        const FakeCamera::Control* next = nullptr;
        if (!(query->id & V4L2_CTRL_FLAG_NEXT_CTRL)) {
            next = c.findControl(query->id);
        } else {
            const std::uint32_t after = query->id & ~V4L2_CTRL_FLAG_NEXT_CTRL;
            for (const FakeCamera::Control& control : c.controls)
                if (control.query.id > after && (!next || control.query.id < next->query.id)) next = &control;
        }
        if (!next) return EINVAL;
        *query = next->query;
        if (c.isInactive(*next)) query->flags |= V4L2_CTRL_FLAG_INACTIVE;
        return 0;
    }
    case VIDIOC_QUERYMENU: {
        auto* menu = static_cast<v4l2_querymenu*>(arg);
        const FakeCamera::Control* control = c.findControl(menu->id);
        // v4l2_querymenu: outside the range, or an index the menu skips.
        if (!control || menu->index >= control->menu.size() || !control->menu[menu->index]) return EINVAL;
        std::strncpy(reinterpret_cast<char*>(menu->name), control->menu[menu->index], sizeof menu->name - 1);
        return 0;
    }
    case VIDIOC_G_CTRL: {
        auto* value = static_cast<v4l2_control*>(arg);
        const FakeCamera::Control* control = c.findControl(value->id);
        if (!control) return EINVAL;
        // __uvc_ctrl_get: a control without GET_CUR (flagged write-only) cannot be read.
        if (control->query.flags & V4L2_CTRL_FLAG_WRITE_ONLY) return EACCES;
        value->value = control->value;
        return 0;
    }
    case VIDIOC_S_CTRL:
        return setControl(*static_cast<v4l2_control*>(arg));
    case VIDIOC_SUBSCRIBE_EVENT: {
        // uvc_ioctl_subscribe_event: control events only, of a control the camera has.
        auto* sub = static_cast<v4l2_event_subscription*>(arg);
        if (sub->type != V4L2_EVENT_CTRL) return EINVAL;
        const FakeCamera::Control* control = c.findControl(sub->id);
        if (!control) return EINVAL;
        auto& queue = c.eventQueues[this];
        for (const auto& [id, flags] : queue.subscribed)
            if (id == sub->id) return 0;
        queue.subscribed.emplace_back(sub->id, sub->flags);
        if (sub->flags & V4L2_EVENT_SUB_FL_SEND_INITIAL) {
            // uvc_ctrl_add_event: the flags, and the value when it can be read.
            std::uint32_t changes = V4L2_EVENT_CTRL_CH_FLAGS;
            if (!(control->query.flags & V4L2_CTRL_FLAG_WRITE_ONLY)) changes |= V4L2_EVENT_CTRL_CH_VALUE;
            c.queueControlEvent(nullptr, sub->id, changes);
        }
        return 0;
    }
    case VIDIOC_UNSUBSCRIBE_EVENT: {
        auto* sub = static_cast<v4l2_event_subscription*>(arg);
        auto& queue = c.eventQueues[this];
        std::erase_if(queue.subscribed, [&](const auto& s) {
            return sub->type == V4L2_EVENT_ALL || (sub->type == V4L2_EVENT_CTRL && s.first == sub->id);
        });
        return 0;
    }
    case VIDIOC_DQEVENT: {
        // The device is open non-blocking: nothing waiting is ENOENT (v4l2_event_dequeue).
        auto& queue = c.eventQueues[this];
        if (queue.events.empty()) return ENOENT;
        auto* event = static_cast<v4l2_event*>(arg);
        *event = queue.events.front();
        queue.events.pop_front();
        event->pending = std::uint32_t(queue.events.size());
        return 0;
    }
    default:
        return ENOTTY;
    }
}

const FakeCamera::Format* FakeV4l2Device::find(std::uint32_t fourcc) const {
    for (const auto& f : m_camera->formats)
        if (f.fourcc == fourcc) return &f;
    return nullptr;
}

// As uvcvideo's uvc_ioctl_s_ctrl: uvc_ctrl_is_accessible first (EACCES for a manual
// control its automatic one holds, or one that cannot be set), then uvc_ctrl_set,
// which rounds an integer to its step and clamps it into its range, clamps a boolean,
// and refuses a menu index outside the menu (ERANGE) or one it skips (EINVAL); the
// value taken goes back to the caller.
int FakeV4l2Device::setControl(v4l2_control& value) {
    FakeCamera& c = *m_camera;
    FakeCamera::Control* control = c.findControl(value.id);
    if (!control || control->query.type == V4L2_CTRL_TYPE_CTRL_CLASS) return EINVAL;
    if ((control->query.flags & V4L2_CTRL_FLAG_READ_ONLY) || c.isInactive(*control)) return EACCES;
    const v4l2_queryctrl& q = control->query;
    switch (q.type) {
    case V4L2_CTRL_TYPE_INTEGER: {
        // min + ((u32)(value - min) + step / 2) / step * step, in the kernel's wrapping
        // arithmetic, then clamped as a signed value.
        const std::int64_t step = std::max(q.step, 1);
        const auto offset = std::uint32_t(std::int64_t(value.value) - q.minimum);
        const std::int64_t rounded = q.minimum + (std::int64_t(offset) + step / 2) / step * step;
        value.value = std::clamp(std::int32_t(std::uint32_t(rounded)), q.minimum, q.maximum);
        break;
    }
    case V4L2_CTRL_TYPE_BOOLEAN:
        value.value = std::clamp(value.value, 0, 1);
        break;
    case V4L2_CTRL_TYPE_MENU:
    case V4L2_CTRL_TYPE_INTEGER_MENU:
        if (value.value < q.minimum || value.value > q.maximum) return ERANGE;
        if (std::size_t(value.value) >= control->menu.size() || !control->menu[std::size_t(value.value)])
            return EINVAL;
        break;
    default:
        break;
    }
    if (q.type != V4L2_CTRL_TYPE_BUTTON && !(q.flags & V4L2_CTRL_FLAG_WRITE_ONLY))
        control->value = value.value;
    c.controlWrites.emplace_back(value.id, value.value);
    c.sendControlEvents(this, value.id);
    return 0;
}

FakeCamera::Control* FakeCamera::findControl(std::uint32_t id) {
    for (auto& control : controls)
        if (control.query.id == id) return &control;
    return nullptr;
}

bool FakeCamera::isInactive(const Control& control) {
    const Control* master = control.master ? findControl(control.master) : nullptr;
    return master && master->value != control.activeWhen;
}

void FakeCamera::sendControlEvents(const void* origin, std::uint32_t id) {
    // uvc_ctrl_send_slave_event: the state of each control this one governs, with its
    // value when it can be read.
    for (const Control& slave : controls) {
        if (slave.master != id) continue;
        std::uint32_t changes = V4L2_EVENT_CTRL_CH_FLAGS;
        if (!(slave.query.flags & V4L2_CTRL_FLAG_WRITE_ONLY)) changes |= V4L2_EVENT_CTRL_CH_VALUE;
        queueControlEvent(origin, slave.query.id, changes);
    }
    queueControlEvent(origin, id, V4L2_EVENT_CTRL_CH_VALUE);
}

// uvc_ctrl_send_event to each subscriber: not to the one that made a value change
// unless it asked for feedback; a change of flags goes to every one. One event waits
// per control (v4l2_event_subscribe with one element): a newer one takes its place and
// keeps the changes it carried (v4l2_ctrl_replace).
void FakeCamera::queueControlEvent(const void* origin, std::uint32_t id, std::uint32_t changes) {
    const Control* control = findControl(id);
    if (!control) return;
    v4l2_event event{};
    event.type = V4L2_EVENT_CTRL;
    event.id = id;
    event.u.ctrl.changes = changes;
    event.u.ctrl.type = control->query.type;
    event.u.ctrl.value = control->value;
    event.u.ctrl.flags = control->query.flags | (isInactive(*control) ? V4L2_CTRL_FLAG_INACTIVE : 0);
    event.u.ctrl.minimum = control->query.minimum;
    event.u.ctrl.maximum = control->query.maximum;
    event.u.ctrl.step = control->query.step;
    event.u.ctrl.default_value = control->query.default_value;
    for (auto& [device, queue] : eventQueues) {
        for (const auto& [subscribed, flags] : queue.subscribed) {
            if (subscribed != id) continue;
            if (device == origin && !(flags & V4L2_EVENT_SUB_FL_ALLOW_FEEDBACK) &&
                !(changes & V4L2_EVENT_CTRL_CH_FLAGS))
                continue;
            auto waiting = std::find_if(queue.events.begin(), queue.events.end(),
                                        [id](const v4l2_event& e) { return e.id == id; });
            if (waiting != queue.events.end()) {
                const std::uint32_t before = waiting->u.ctrl.changes;
                waiting->u.ctrl = event.u.ctrl;
                waiting->u.ctrl.changes |= before;
            } else {
                queue.events.push_back(event);
            }
        }
    }
}

void FakeCamera::setFromOutside(std::uint32_t id, int value) {
    std::lock_guard lock(mutex);
    if (Control* control = findControl(id)) {
        control->value = value;
        sendControlEvents(nullptr, id);
    }
}

FakeDeviceFolder::FakeDeviceFolder()
    : m_nodes(std::make_shared<std::map<QByteArray, std::shared_ptr<FakeCamera>>>()) {
    auto nodes = m_nodes;
    DriverList::setV4l2SourceForTest(
        [nodes] { return std::unique_ptr<V4l2Device>(new FakeV4l2Device(*nodes)); }, m_dir.path());
}

FakeDeviceFolder::~FakeDeviceFolder() {
    DriverList::setV4l2SourceForTest({}, QString());
}

std::shared_ptr<FakeCamera> FakeDeviceFolder::camera(const QByteArray& card, const QByteArray& bus) {
    auto camera = FakeCamera::standard();
    camera->card = card;
    camera->busInfo = bus;
    return camera;
}

void FakeDeviceFolder::plug(int number, std::shared_ptr<FakeCamera> camera) {
    (*m_nodes)[QFile::encodeName(node(number))] = std::move(camera);
    QFile file(node(number));
    file.open(QIODevice::WriteOnly);
}

void FakeDeviceFolder::unplug(int number) {
    const auto it = m_nodes->find(QFile::encodeName(node(number)));
    if (it == m_nodes->end()) return;
    it->second->unplug();
    m_nodes->erase(it);
    QFile::remove(node(number));
}

void FakeDeviceFolder::reset(int number, std::shared_ptr<FakeCamera> camera) {
    // The new node is made before the old one's name goes, so that it cannot reuse the
    // old inode on this file system: a reset is a different node under the same name.
    const QString fresh = node(number) + QStringLiteral(".new");
    QFile(fresh).open(QIODevice::WriteOnly);
    const auto it = m_nodes->find(QFile::encodeName(node(number)));
    if (it != m_nodes->end()) it->second->unplug();
    (*m_nodes)[QFile::encodeName(node(number))] = std::move(camera);
    QFile::remove(node(number));
    QFile::rename(fresh, node(number));
}

void FakeDeviceFolder::link(const QString& name, int number) {
    QDir(m_dir.path()).mkpath(QStringLiteral("v4l/by-id"));
    const QString path = m_dir.filePath(QStringLiteral("v4l/by-id/") + name);
    QFile::remove(path);
    QFile::link(QStringLiteral("../../video%1").arg(number), path);
}
