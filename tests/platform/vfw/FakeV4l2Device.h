#pragma once

// A scripted V4L2 camera at the ioctl level, behind the V4l2Device seam.

#include "drivers/V4l2Device.h"

#include <QBuffer>
#include <QImage>
#include <QString>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <linux/videodev2.h>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

struct FakeCamera {
    struct Format {
        std::uint32_t fourcc;
        const char* description;
        bool emulated;
        std::vector<QSize> sizes;
        std::vector<v4l2_fract> intervals;
    };
    struct Control {
        v4l2_queryctrl query;
        int value;
        std::vector<const char*> menu;
    };

    // What the camera is.
    QByteArray card = "Fake Camera";
    std::uint32_t version = (6u << 16) | (1u << 8) | 7u;
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
    int failStreamOn = 0;       // errno for STREAMON, 0 = works
    int failDequeue = 0;        // errno for DQBUF, 0 = works
    std::deque<QImage> pending; // frames the camera will deliver, in order
    // Buffers as a faulty camera fills them, delivered before `pending`: any bytes,
    // with the length it reports (which may pass the buffer's end).
    struct RawFrame {
        QByteArray bytes;
        std::uint32_t bytesUsed;
    };
    std::deque<RawFrame> pendingRaw;
    // What VIDIOC_S_FMT answers instead of the size asked for (width, height,
    // bytesperline, sizeimage); the buffers then have sizeimage bytes.
    std::optional<v4l2_pix_format> formatReply;
    bool wake = false;                 // poll answers at once (lets a worker see its stop request)
    std::vector<QByteArray> delivered; // the bytes each delivered frame carried
    std::vector<QByteArray> buffers;
    std::deque<std::uint32_t> queued;
    std::vector<std::pair<std::uint32_t, int>> controlWrites;
    v4l2_format lastSetFormat{};
    v4l2_fract lastSetInterval{0, 0};
    bool streaming = false;
    int streamOffs = 0;
    int mapped = 0;
    int polls = 0;
    int openDevices = 0;
    // The descriptor an open device answers, and the inputs VIDIOC_ENUMINPUT lists.
    int descriptor = 7;
    std::vector<const char*> inputs{"Camera 1"};

    static std::shared_ptr<FakeCamera> standard() {
        auto camera = std::make_shared<FakeCamera>();
        camera->formats = {
            {V4L2_PIX_FMT_RGB24, "RGB3", false, {{320, 240}, {640, 480}}, {{1, 30}, {1, 15}}},
            {V4L2_PIX_FMT_BGR24, "BGR3 (emulated)", true, {{640, 480}}, {{1, 30}}},
            {V4L2_PIX_FMT_MJPEG, "Motion-JPEG", false, {{640, 480}}, {{1, 30}}},
        };
        auto control = [](std::uint32_t id, std::uint32_t type, const char* name, int min, int max, int def,
                          std::uint32_t flags = 0) {
            v4l2_queryctrl q{};
            q.id = id;
            q.type = type;
            std::strncpy(reinterpret_cast<char*>(q.name), name, sizeof q.name - 1);
            q.minimum = min;
            q.maximum = max;
            q.step = 1;
            q.default_value = def;
            q.flags = flags;
            return Control{q, def, {}};
        };
        camera->controls.push_back(
            control(V4L2_CID_USER_CLASS, V4L2_CTRL_TYPE_CTRL_CLASS, "User Controls", 0, 0, 0));
        camera->controls.push_back(
            control(V4L2_CID_BRIGHTNESS, V4L2_CTRL_TYPE_INTEGER, "Brightness", 0, 255, 128));
        camera->controls.push_back(control(V4L2_CID_AUTO_WHITE_BALANCE, V4L2_CTRL_TYPE_BOOLEAN,
                                           "White Balance, Automatic", 0, 1, 1));
        Control power =
            control(V4L2_CID_POWER_LINE_FREQUENCY, V4L2_CTRL_TYPE_MENU, "Power Line Frequency", 0, 2, 1);
        power.menu = {"Disabled", "50 Hz", "60 Hz"};
        camera->controls.push_back(power);
        camera->controls.push_back(
            control(V4L2_CID_HUE, V4L2_CTRL_TYPE_INTEGER, "Hue", -10, 10, 0, V4L2_CTRL_FLAG_DISABLED));
        return camera;
    }

    void push(const QImage& image) {
        std::lock_guard lock(mutex);
        pending.push_back(image);
        changed.notify_all();
    }
    void unplug() {
        std::lock_guard lock(mutex);
        unplugged = true;
        changed.notify_all();
    }

    QByteArray encode(const QImage& image) const {
        if (currentFourcc == V4L2_PIX_FMT_MJPEG) {
            QByteArray bytes;
            QBuffer buffer(&bytes);
            buffer.open(QIODevice::WriteOnly);
            image.save(&buffer, "JPEG", 90);
            return bytes;
        }
        const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
        QByteArray bytes;
        for (int y = 0; y < rgb.height(); ++y)
            bytes.append(reinterpret_cast<const char*>(rgb.constScanLine(y)), rgb.width() * 3);
        return bytes;
    }
};

class FakeV4l2Device : public V4l2Device {
public:
    explicit FakeV4l2Device(std::map<QByteArray, std::shared_ptr<FakeCamera>> nodes)
        : m_nodes(std::move(nodes)) {}
    ~FakeV4l2Device() override { close(); }

    int open(const QByteArray& path) override {
        const auto it = m_nodes.find(path);
        if (it == m_nodes.end()) return ENOENT;
        std::lock_guard lock(it->second->mutex);
        if (it->second->unplugged) return ENODEV;
        m_camera = it->second;
        ++m_camera->openDevices;
        return 0;
    }
    int descriptor() const override { return m_camera ? m_camera->descriptor : -1; }
    void close() override {
        if (!m_camera) return;
        std::lock_guard lock(m_camera->mutex);
        --m_camera->openDevices;
        m_camera.reset();
    }
    void* map(std::size_t length, std::int64_t offset) override {
        std::lock_guard lock(m_camera->mutex);
        const auto index = std::size_t(offset / kOffsetStep);
        if (index >= m_camera->buffers.size() || length != std::size_t(m_camera->buffers[index].size()))
            return nullptr;
        ++m_camera->mapped;
        return m_camera->buffers[index].data();
    }
    void unmap(void*, std::size_t) override {
        std::lock_guard lock(m_camera->mutex);
        --m_camera->mapped;
    }
    int poll(int timeoutMs) override {
        std::unique_lock lock(m_camera->mutex);
        ++m_camera->polls;
        const bool ready = m_camera->changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] {
            return m_camera->unplugged || m_camera->failDequeue || m_camera->wake ||
                   ((!m_camera->pending.empty() || !m_camera->pendingRaw.empty()) &&
                    !m_camera->queued.empty());
        });
        if (m_camera->unplugged) return -ENODEV;
        return ready ? 1 : 0;
    }
    int ioctl(unsigned long request, void* arg) override {
        if (!m_camera) return EBADF;
        std::lock_guard lock(m_camera->mutex);
        FakeCamera& c = *m_camera;
        if (c.unplugged) return ENODEV;
        switch (request) {
        case VIDIOC_QUERYCAP: {
            auto* cap = static_cast<v4l2_capability*>(arg);
            *cap = {};
            std::strncpy(reinterpret_cast<char*>(cap->card), c.card.constData(), sizeof cap->card - 1);
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
            std::strncpy(reinterpret_cast<char*>(desc->description), f.description,
                         sizeof desc->description - 1);
            return 0;
        }
        case VIDIOC_ENUM_FRAMESIZES: {
            auto* size = static_cast<v4l2_frmsizeenum*>(arg);
            const auto* f = find(size->pixel_format);
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
        case VIDIOC_S_FMT: {
            auto* fmt = static_cast<v4l2_format*>(arg);
            if (c.streaming) return EBUSY;
            c.lastSetFormat = *fmt;
            c.currentFourcc = fmt->fmt.pix.pixelformat;
            c.currentSize = QSize(int(fmt->fmt.pix.width), int(fmt->fmt.pix.height));
            fmt->fmt.pix.bytesperline = c.currentFourcc == V4L2_PIX_FMT_MJPEG ? 0 : fmt->fmt.pix.width * 3;
            fmt->fmt.pix.sizeimage = fmt->fmt.pix.width * fmt->fmt.pix.height * 3;
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
            c.buffers.assign(request->count,
                             QByteArray(c.formatReply ? qsizetype(c.formatReply->sizeimage)
                                                      : c.currentSize.width() * c.currentSize.height() * 3,
                                        '\0'));
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
            if (!c.streaming || (c.pending.empty() && c.pendingRaw.empty()) || c.queued.empty())
                return EAGAIN;
            auto* buffer = static_cast<v4l2_buffer*>(arg);
            const std::uint32_t index = c.queued.front();
            c.queued.pop_front();
            if (!c.pendingRaw.empty()) {
                const FakeCamera::RawFrame raw = c.pendingRaw.front();
                c.pendingRaw.pop_front();
                QByteArray& target = c.buffers[index];
                std::memcpy(target.data(), raw.bytes.constData(),
                            std::size_t(std::min(raw.bytes.size(), target.size())));
                c.delivered.push_back(raw.bytes);
                buffer->index = index;
                buffer->bytesused = raw.bytesUsed;
                buffer->flags = 0;
                return 0;
            }
            const QByteArray bytes = c.encode(c.pending.front());
            c.pending.pop_front();
            QByteArray& target = c.buffers[index];
            std::memcpy(target.data(), bytes.constData(), std::size_t(std::min(bytes.size(), target.size())));
            c.delivered.push_back(bytes);
            buffer->index = index;
            buffer->bytesused = std::uint32_t(std::min(bytes.size(), target.size()));
            buffer->flags = 0;
            return 0;
        }
        case VIDIOC_STREAMON:
            if (c.failStreamOn) return c.failStreamOn;
            c.streaming = true;
            return 0;
        case VIDIOC_STREAMOFF:
            c.streaming = false;
            ++c.streamOffs;
            return 0;
        case VIDIOC_QUERYCTRL: {
            auto* query = static_cast<v4l2_queryctrl*>(arg);
            if (!(query->id & V4L2_CTRL_FLAG_NEXT_CTRL)) return EINVAL;
            const std::uint32_t after = query->id & ~V4L2_CTRL_FLAG_NEXT_CTRL;
            const FakeCamera::Control* next = nullptr;
            for (const FakeCamera::Control& control : c.controls)
                if (control.query.id > after && (!next || control.query.id < next->query.id)) next = &control;
            if (!next) return EINVAL;
            *query = next->query;
            return 0;
        }
        case VIDIOC_QUERYMENU: {
            auto* menu = static_cast<v4l2_querymenu*>(arg);
            const FakeCamera::Control* control = findControl(menu->id);
            if (!control || menu->index >= control->menu.size()) return EINVAL;
            std::strncpy(reinterpret_cast<char*>(menu->name), control->menu[menu->index],
                         sizeof menu->name - 1);
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
            control->value = value->value;
            c.controlWrites.emplace_back(value->id, value->value);
            return 0;
        }
        default:
            return ENOTTY;
        }
    }

private:
    static constexpr std::uint32_t kOffsetStep = 0x100000;

    const FakeCamera::Format* find(std::uint32_t fourcc) const {
        for (const auto& f : m_camera->formats)
            if (f.fourcc == fourcc) return &f;
        return nullptr;
    }
    const FakeCamera::Control* findControl(std::uint32_t id) const {
        for (const auto& control : m_camera->controls)
            if (control.query.id == id) return &control;
        return nullptr;
    }

    std::map<QByteArray, std::shared_ptr<FakeCamera>> m_nodes;
    std::shared_ptr<FakeCamera> m_camera;
};
