// The camera frame path: one V4L2 buffer of any length and content, with any length
// reported for it and any frame size the camera answers when the format is set, in
// MJPEG, RGB24 or YUYV. It goes through the V4L2 driver's conversion into a capture window, which paints it,
// and into a single-frame movie, which records it.
//
// Input: 13 header bytes, then the buffer's bytes.
//   [0]     format: 0 RGB24, 1 YUYV, 2 MJPEG (modulo 3)
//   [1..2]  width the camera answers, little-endian (0: the size asked for, 64 x 48)
//   [3..4]  height it answers
//   [5..8]  bytes per line it answers
//   [9..12] bytes it reports used in the buffer (0xFFFFFFFF: the buffer's length)
#include "CaptureWindow.h"
#include "DriverList.h"
#include "FakeV4l2Device.h"
#include "FuzzSupport.h"
#include "drivers/V4l2Driver.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>

namespace {

constexpr QSize kAsked(64, 48);
std::shared_ptr<FakeCamera> g_camera;

std::uint32_t number(const std::uint8_t* data, std::size_t size, std::size_t at, int bytes) {
    std::uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = (v << 8) | (at + std::size_t(i) < size ? data[at + std::size_t(i)] : 0);
    return v;
}

// True once the camera's one frame has been taken and its buffer given back.
bool frameHandled() {
    std::lock_guard lock(g_camera->mutex);
    return g_camera->pending.empty() && g_camera->queued.size() == std::size_t(V4l2Driver::kBufferCount);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    FuzzSupport::startApplication();
    DriverList::setEntriesForTest([] {
        const V4l2Node node{QStringLiteral("/dev/video0"), QStringLiteral("Fake Camera"),
                            QStringLiteral("6.1.7")};
        auto create = [node] {
            auto camera = g_camera;
            return std::unique_ptr<CaptureDriver>(new V4l2Driver(node, [camera] {
                return std::unique_ptr<V4l2Device>(new FakeV4l2Device({{"/dev/video0", camera}}));
            }));
        };
        return std::vector<DriverList::Entry>{{node.cardName, node.driverVersion, create, node.path}};
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::uint32_t kFormats[] = {V4L2_PIX_FMT_RGB24, V4L2_PIX_FMT_YUYV, V4L2_PIX_FMT_MJPEG};
    const std::uint32_t fourcc = kFormats[(size ? data[0] : 0) % 3];
    const std::uint32_t width = number(data, size, 1, 2);
    const std::uint32_t height = number(data, size, 3, 2);
    const std::uint32_t bytesPerLine = number(data, size, 5, 4);
    const std::uint32_t used = number(data, size, 9, 4);
    const std::size_t header = 13;
    const QByteArray bytes =
        size > header ? QByteArray(reinterpret_cast<const char*>(data + header), qsizetype(size - header))
                      : QByteArray();

    g_camera = std::make_shared<FakeCamera>();
    g_camera->formats = {{fourcc, "Fuzzed", false, {kAsked}, {{1, 30}}, std::nullopt}};
    g_camera->currentFourcc = fourcc;
    g_camera->currentSize = kAsked;
    if (width || height) {
        v4l2_pix_format reply{};
        reply.width = width;
        reply.height = height;
        reply.bytesperline = bytesPerLine;
        // The camera's buffers hold what it says a frame takes, within reason here.
        reply.sizeimage = std::min<std::uint32_t>(
            std::max<std::uint32_t>(width * height * 3, bytesPerLine * height), 4u << 20);
        g_camera->formatReply = reply;
    }
    FakeCamera::Frame frame;
    frame.raw = bytes.isEmpty() ? QByteArray("") : bytes;
    frame.empty = bytes.isEmpty();
    frame.bytesUsed = used == 0xFFFFFFFFu ? std::uint32_t(bytes.size()) : used;
    g_camera->pending.push_back(frame);

    QWidget parent;
    parent.resize(320, 240);
    auto* window = new CaptureWindow(&parent);
    CaptureWindow::attach(window);
    window->setGeometry(0, 0, 320, 240);
    const QString movie = FuzzSupport::path("frame.avi");
    window->message(WM_CAP_FILE_SET_CAPTURE_FILEA, 0, LPARAM(QFile::encodeName(movie).constData()));
    if (window->message(WM_CAP_DRIVER_CONNECT, 0, 0) && window->message(WM_CAP_SET_PREVIEW, 1, 0) &&
        window->driver()->isStreaming()) {
        QElapsedTimer waited;
        waited.start();
        while (!frameHandled() && waited.elapsed() < 5000)
            QThread::yieldCurrentThread();
        FuzzSupport::require(frameHandled()); // a frame never hangs the driver
        QCoreApplication::processEvents();    // the frame's arrival reaches the window
        window->previewTick();
        window->grab(); // paints the newest frame
        const VideoFrame frame = window->newestFrame();
        if (frame.isValid()) {
            // A camera JPEG is checked on arrival but decoded only when used: a shot of
            // one that does not decode fails and says so, unless it is stored as sent.
            const bool decodes = !frame.image().isNull();
            if (window->message(WM_CAP_SINGLE_FRAME_OPEN, 0, 0)) {
                FuzzSupport::require(window->message(WM_CAP_SINGLE_FRAME, 0, 0) != 0 || !decodes);
                FuzzSupport::require(window->message(WM_CAP_SINGLE_FRAME_CLOSE, 0, 0) != 0);
            }
        }
        {
            std::lock_guard lock(g_camera->mutex);
            g_camera->wake = true; // the worker sees its stop at once
            g_camera->changed.notify_all();
        }
        window->message(WM_CAP_DRIVER_DISCONNECT, 0, 0);
    }
    delete window;
    FuzzSupport::require(g_camera->mapped == 0 && g_camera->openDevices == 0);
    g_camera.reset();
    MsgBoxTest::clear();
    return 0;
}
