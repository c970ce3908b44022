#include "FakeV4l2Device.h"

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
        return m_camera->unplugged || m_camera->failDequeue || m_camera->wake ||
               (!m_camera->pending.empty() && !m_camera->queued.empty());
    });
    if (m_camera->unplugged) return -ENODEV;
    return ready ? 1 : 0;
}

int FakeV4l2Device::ioctl(unsigned long request, void* arg) {
    if (!m_camera) return EBADF;
    std::lock_guard lock(m_camera->mutex);
    FakeCamera& c = *m_camera;
    if (c.unplugged) return ENODEV;
    c.requests.push_back(request);
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
        auto* fmt = static_cast<v4l2_format*>(arg);
        if (!find(fmt->fmt.pix.pixelformat)) fmt->fmt.pix.pixelformat = c.formats.front().fourcc;
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
        parm->parm.capture.timeperframe = c.currentInterval;
        return 0;
    }
    case VIDIOC_S_PARM: {
        auto* parm = static_cast<v4l2_streamparm*>(arg);
        c.lastSetInterval = parm->parm.capture.timeperframe;
        c.currentInterval = parm->parm.capture.timeperframe;
        return 0;
    }
    case VIDIOC_REQBUFS: {
        auto* request = static_cast<v4l2_requestbuffers*>(arg);
        if (c.mapped > 0 && request->count == 0) return EBUSY; // buffers still mapped
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
        auto* buffer = static_cast<v4l2_buffer*>(arg);
        if (buffer->index >= c.buffers.size()) return EINVAL;
        c.queued.push_back(buffer->index);
        c.changed.notify_all();
        return 0;
    }
    case VIDIOC_DQBUF: {
        if (c.failDequeue) return c.failDequeue;
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
        c.kernelSequence = 0;
        return 0;
    case VIDIOC_STREAMOFF:
        c.streaming = false;
        ++c.streamOffs;
        return 0;
    case VIDIOC_QUERYCTRL: {
        auto* query = static_cast<v4l2_queryctrl*>(arg);
        const FakeCamera::Control* next = nullptr;
        if (!(query->id & V4L2_CTRL_FLAG_NEXT_CTRL)) {
            next = findControl(query->id);
        } else {
            const std::uint32_t after = query->id & ~V4L2_CTRL_FLAG_NEXT_CTRL;
            for (const FakeCamera::Control& control : c.controls)
                if (control.query.id > after && (!next || control.query.id < next->query.id)) next = &control;
        }
        if (!next) return EINVAL;
        *query = next->query;
        if (isInactive(*next)) query->flags |= V4L2_CTRL_FLAG_INACTIVE;
        return 0;
    }
    case VIDIOC_QUERYMENU: {
        auto* menu = static_cast<v4l2_querymenu*>(arg);
        const FakeCamera::Control* control = findControl(menu->id);
        if (!control || menu->index >= control->menu.size()) return EINVAL;
        std::strncpy(reinterpret_cast<char*>(menu->name), control->menu[menu->index], sizeof menu->name - 1);
        return 0;
    }
    case VIDIOC_G_CTRL: {
        auto* value = static_cast<v4l2_control*>(arg);
        const FakeCamera::Control* control = findControl(value->id);
        if (!control) return EINVAL;
        value->value = control->value;
        return 0;
    }
    case VIDIOC_S_CTRL: {
        auto* value = static_cast<v4l2_control*>(arg);
        auto* control = const_cast<FakeCamera::Control*>(findControl(value->id));
        if (!control) return EINVAL;
        if (value->value < control->query.minimum || value->value > control->query.maximum) return ERANGE;
        if (isInactive(*control)) return EACCES;
        control->value = value->value;
        c.controlWrites.emplace_back(value->id, value->value);
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

bool FakeV4l2Device::isInactive(const FakeCamera::Control& control) const {
    const FakeCamera::Control* master = control.master ? findControl(control.master) : nullptr;
    return master && master->value != control.activeWhen;
}

const FakeCamera::Control* FakeV4l2Device::findControl(std::uint32_t id) const {
    for (const auto& control : m_camera->controls)
        if (control.query.id == id) return &control;
    return nullptr;
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
