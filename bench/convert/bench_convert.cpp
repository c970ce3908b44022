// YUYV 1920x1080 to QImage::Format_RGB32, per frame: the driver's FrameConverter (one
// pass) against libv4lconvert to RGB24 followed by QImage's RGB888 to RGB32, the path
// frames took when libv4l2 was asked for RGB24. Both in one run, on the same frames.

#include "FrameConverter.h"
#include "drivers/TestPattern.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <libv4l-plugin.h>
#include <libv4lconvert.h>
#include <linux/videodev2.h>
#include <memory>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;

std::vector<std::uint8_t> yuyvFrame() {
    const QImage rgb = TestPattern::render({kWidth, kHeight}, TestPattern::ColourBars, 50, 1, QTime(10, 0))
                           .convertToFormat(QImage::Format_RGB888);
    std::vector<std::uint8_t> bytes;
    bytes.reserve(std::size_t(kWidth) * kHeight * 2);
    for (int y = 0; y < kHeight; ++y) {
        const uchar* p = rgb.constScanLine(y);
        for (int x = 0; x < kWidth; x += 2, p += 6) {
            bytes.push_back(std::uint8_t(16 + (66 * p[0] + 129 * p[1] + 25 * p[2]) / 256));
            bytes.push_back(std::uint8_t(128 + (-38 * p[0] - 74 * p[1] + 112 * p[2]) / 256));
            bytes.push_back(std::uint8_t(16 + (66 * p[3] + 129 * p[4] + 25 * p[5]) / 256));
            bytes.push_back(std::uint8_t(128 + (112 * p[0] - 94 * p[1] - 18 * p[2]) / 256));
        }
    }
    return bytes;
}

v4l2_format pixFormat(std::uint32_t fourcc, std::uint32_t bytesPerPixel) {
    v4l2_format fmt{};
    fmt.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    fmt.fmt.pix.width = kWidth;
    fmt.fmt.pix.height = kHeight;
    fmt.fmt.pix.pixelformat = fourcc;
    fmt.fmt.pix.field = V4L2_FIELD_NONE;
    fmt.fmt.pix.bytesperline = kWidth * bytesPerPixel;
    fmt.fmt.pix.sizeimage = kWidth * kHeight * bytesPerPixel;
    return fmt;
}

// The device libv4lconvert is made for: one that can capture and answers nothing else.
int pretendIoctl(void*, int, unsigned long request, void* arg) {
    if (request == VIDIOC_QUERYCAP) {
        auto* cap = static_cast<v4l2_capability*>(arg);
        std::memset(cap, 0, sizeof *cap);
        std::strcpy(reinterpret_cast<char*>(cap->driver), "bench");
        std::strcpy(reinterpret_cast<char*>(cap->card), "bench");
        cap->capabilities = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING;
        return 0;
    }
    errno = EINVAL;
    return -1;
}

} // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv); // the pattern draws text
    const int frames = argc > 1 ? std::max(1, std::atoi(argv[1])) : 120;
    std::vector<std::uint8_t> yuyv = yuyvFrame();

    // Before: libv4lconvert, on a pretend device (conversion only).
    const int fd = ::open("/dev/null", O_RDWR);
    libv4l_dev_ops ops{};
    ops.ioctl = pretendIoctl;
    std::unique_ptr<v4lconvert_data, void (*)(v4lconvert_data*)> convert(
        v4lconvert_create_with_dev_ops(fd, nullptr, &ops), v4lconvert_destroy);
    if (!convert) {
        std::fprintf(stderr, "libv4lconvert cannot start\n");
        return 1;
    }
    const v4l2_format source = pixFormat(V4L2_PIX_FMT_YUYV, 2);
    const v4l2_format target = pixFormat(V4L2_PIX_FMT_RGB24, 3);
    std::vector<std::uint8_t> rgb(target.fmt.pix.sizeimage);
    QElapsedTimer timer;
    timer.start();
    std::uint64_t check = 0;
    for (int i = 0; i < frames; ++i) {
        if (v4lconvert_convert(convert.get(), &source, &target, yuyv.data(), int(yuyv.size()), rgb.data(),
                               int(rgb.size())) < 0) {
            std::fprintf(stderr, "libv4lconvert: %s\n", v4lconvert_get_error_message(convert.get()));
            return 1;
        }
        const QImage image = QImage(rgb.data(), kWidth, kHeight, kWidth * 3, QImage::Format_RGB888)
                                 .convertToFormat(QImage::Format_RGB32);
        check += image.pixel(kWidth / 2, kHeight / 2);
    }
    const double beforeMs = double(timer.nsecsElapsed()) / 1e6 / frames;

    // After: the driver's one pass.
    FrameConverter converter;
    if (!converter.setFormat(V4L2_PIX_FMT_YUYV, {kWidth, kHeight}, kWidth * 2)) return 1;
    timer.restart();
    for (int i = 0; i < frames; ++i)
        check += converter.convert(yuyv.data(), yuyv.size()).image.pixel(kWidth / 2, kHeight / 2);
    const double afterMs = double(timer.nsecsElapsed()) / 1e6 / frames;
    ::close(fd);

    std::printf("YUYV %dx%d to RGB32, %d frames each (check %llu)\n", kWidth, kHeight, frames,
                static_cast<unsigned long long>(check % 1000));
    std::printf("  before: libv4lconvert to RGB24 + RGB888->RGB32  %7.2f ms/frame\n", beforeMs);
    std::printf("  after:  FrameConverter (swscale, one pass)        %7.2f ms/frame\n", afterMs);
    std::printf("  speed-up: %.2fx\n", beforeMs / afterMs);
    return 0;
}
