// A fake MJPEG camera at 1920x1080 and 3840x2160, 30 frames/s, shown in a 320x240
// capture window with preview at 10 frames/s, and then also recorded (the camera's
// JPEG passed through). Each case runs twice in the same process: MJPEG decoded only
// when shown, and decoded on arrival as the driver once did. The recording is also
// compared with `ffmpeg -f mjpeg -i <the same frames> -c copy out.avi`.
// Prints the process's CPU in % of one core and the ratios.
#include "CameraJpeg.h"
#include "CaptureWindow.h"
#include "DriverList.h"
#include "FakeV4l2Device.h"
#include "drivers/TestPattern.h"
#include "drivers/V4l2Driver.h"
#include "vfw.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QTemporaryDir>
#include <QTime>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <sys/resource.h>
#include <thread>

namespace {

constexpr int kFrameSet = 30; // distinct pictures the camera cycles through

double cpuMs(int who) {
    rusage usage{};
    getrusage(who, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

// Camera-like pictures: the test pattern with a moving frame number and a sensor's
// noise of up to +-`noise` levels in each channel (which is what makes a camera's JPEG
// large and slow to decode: a dim room gives much, a lit one little), JPEG at 90.
std::vector<QByteArray> cameraFrames(QSize size, int noise) {
    std::vector<QByteArray> frames;
    std::uint32_t seed = 12345;
    for (int i = 0; i < kFrameSet; ++i) {
        QImage picture =
            TestPattern::render(size, TestPattern::ColourBars, 50, std::uint64_t(i), QTime(12, 0, i))
                .convertToFormat(QImage::Format_RGB888);
        for (int y = 0; y < picture.height(); ++y) {
            uchar* line = picture.scanLine(y);
            for (int x = 0; x < picture.width() * 3; ++x) {
                seed = seed * 1664525u + 1013904223u;
                line[x] = uchar(std::clamp(
                    int(line[x]) + int((seed >> 16) % std::uint32_t(2 * noise + 1)) - noise, 0, 255));
            }
        }
        frames.push_back(FakeCamera::jpeg(picture));
    }
    return frames;
}

void wait(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

struct Result {
    double cpuPercent = 0;
    double shownFps = 0;
    double decodesPerSecond = 0;
    DWORD frames = 0;
    DWORD dropped = 0;
    std::size_t backlog = 0; // frames the camera holds that the driver has not taken yet
};

// One case: the camera feeds at 30 frames/s while the window previews (and records
// into `movie` when it is not empty) for `seconds`.
Result runCase(QSize size, const std::vector<QByteArray>& jpegs, bool decodeEveryFrame, const QString& movie,
               int seconds) {
    auto camera = std::make_shared<FakeCamera>();
    camera->formats = {{V4L2_PIX_FMT_MJPEG, "Motion-JPEG", false, {size}, {{1, 30}}, {}}};
    camera->currentFourcc = V4L2_PIX_FMT_MJPEG;
    camera->currentSize = size;
    DriverList::setEntriesForTest([camera, decodeEveryFrame] {
        const V4l2Node node{QStringLiteral("/dev/video0"), QStringLiteral("MJPEG camera"),
                            QStringLiteral("6.1.0")};
        auto create = [camera, node, decodeEveryFrame] {
            auto driver = std::make_unique<V4l2Driver>(node, [camera] {
                return std::unique_ptr<V4l2Device>(new FakeV4l2Device({{"/dev/video0", camera}}));
            });
            driver->setDecodeEveryFrame(decodeEveryFrame);
            return std::unique_ptr<CaptureDriver>(std::move(driver));
        };
        return std::vector<DriverList::Entry>{{node.cardName, node.driverVersion, create, node.path}};
    });

    QWidget parent;
    parent.resize(320, 240);
    parent.show();
    const HWND window =
        capCreateCaptureWindowA("VIDEO WINDOW", WS_CHILD | WS_VISIBLE, 0, 0, 320, 240, &parent, 0);
    SendMessageA(window, WM_CAP_DRIVER_CONNECT, 0, 0);
    CaptureWindow* capture = CaptureWindow::find(window);
    capture->driver()->setFormat({V4L2_PIX_FMT_MJPEG, size, {1, 30}});
    SendMessageA(window, WM_CAP_SET_SCALE, 1, 0);
    SendMessageA(window, WM_CAP_SET_PREVIEWRATE, 100, 0);
    SendMessageA(window, WM_CAP_SET_PREVIEW, 1, 0);

    std::atomic<bool> stop{false};
    std::thread feeder([&] {
        using Clock = std::chrono::steady_clock;
        const auto start = Clock::now();
        for (int n = 0; !stop; ++n) {
            std::this_thread::sleep_until(start + std::chrono::microseconds(33333) * n);
            FakeCamera::Frame frame;
            frame.raw = jpegs[std::size_t(n) % jpegs.size()];
            frame.timestampUs = monotonicTimeUs(); // stamped when taken, as the kernel does
            std::lock_guard lock(camera->mutex);
            camera->delivered.clear();
            camera->pending.push_back(std::move(frame));
            camera->changed.notify_all();
        }
    });
    wait(1000); // warm up

    if (!movie.isEmpty()) {
        const QByteArray path = movie.toLocal8Bit();
        SendMessageA(window, WM_CAP_FILE_SET_CAPTURE_FILEA, 0, reinterpret_cast<LPARAM>(path.constData()));
        CAPTUREPARMS p{};
        SendMessageA(window, WM_CAP_GET_SEQUENCE_SETUP, sizeof p, reinterpret_cast<LPARAM>(&p));
        p.dwRequestMicroSecPerFrame = 33333;
        p.fYield = 1;
        p.fCaptureAudio = 0;
        p.fLimitEnabled = 0;
        p.fAbortLeftMouse = p.fAbortRightMouse = 0;
        p.vKeyAbort = 0;
        SendMessageA(window, WM_CAP_SET_SEQUENCE_SETUP, sizeof p, reinterpret_cast<LPARAM>(&p));
        SendMessageA(window, WM_CAP_SEQUENCE, 0, 0);
        wait(500);
    }
    const quint64 paintedBefore = capture->paintedFrames();
    const std::uint64_t decodesBefore = CameraJpeg::decodes();
    const double cpuBefore = cpuMs(RUSAGE_SELF);
    QElapsedTimer wall;
    wall.start();
    wait(seconds * 1000);
    Result result;
    const double wallMs = double(wall.elapsed());
    result.cpuPercent = (cpuMs(RUSAGE_SELF) - cpuBefore) * 100 / wallMs;
    result.shownFps = double(capture->paintedFrames() - paintedBefore) * 1000 / wallMs;
    result.decodesPerSecond = double(CameraJpeg::decodes() - decodesBefore) * 1000 / wallMs;
    {
        std::lock_guard lock(camera->mutex);
        result.backlog = camera->pending.size();
    }
    if (!movie.isEmpty()) {
        SendMessageA(window, WM_CAP_STOP, 0, 0);
        CAPSTATUS status{};
        for (int i = 0; i < 100; ++i) {
            SendMessageA(window, WM_CAP_GET_STATUS, sizeof status, reinterpret_cast<LPARAM>(&status));
            if (!status.fCapturingNow) break;
            wait(100);
        }
        result.frames = status.dwCurrentVideoFrame;
        result.dropped = status.dwCurrentVideoFramesDropped;
    }
    stop = true;
    feeder.join();
    DestroyWindow(window);
    DriverList::setEntriesForTest({});
    return result;
}

// ffmpeg copying the same frames (as long a stream as a case records) into an AVI.
double ffmpegCopyCpuMs(const std::vector<QByteArray>& jpegs, int seconds, const QTemporaryDir& dir) {
    QFile stream(dir.filePath(QStringLiteral("frames.mjpeg")));
    if (!stream.open(QIODevice::WriteOnly)) return -1;
    for (int n = 0; n < seconds * 30; ++n)
        stream.write(jpegs[std::size_t(n) % jpegs.size()]);
    stream.close();
    const double before = cpuMs(RUSAGE_CHILDREN);
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"),
                 {QStringLiteral("-loglevel"), QStringLiteral("error"), QStringLiteral("-y"),
                  QStringLiteral("-f"), QStringLiteral("mjpeg"), QStringLiteral("-framerate"),
                  QStringLiteral("30"), QStringLiteral("-i"), stream.fileName(), QStringLiteral("-c"),
                  QStringLiteral("copy"), dir.filePath(QStringLiteral("out.avi"))});
    if (!ffmpeg.waitForFinished(120000) || ffmpeg.exitCode() != 0) return -1;
    return cpuMs(RUSAGE_CHILDREN) - before;
}

void print(const char* what, const Result& r) {
    std::printf("  %-34s %6.1f %% CPU, shown %4.1f fps, %5.1f lazy decodes/s", what, r.cpuPercent, r.shownFps,
                r.decodesPerSecond);
    if (r.frames) std::printf(", movie %u frames, %u dropped", unsigned(r.frames), unsigned(r.dropped));
    // Frames still waiting: the path did not keep up, and its CPU is then less than it needs.
    if (r.backlog > 1) std::printf(", FELL BEHIND by %zu frames", r.backlog);
    std::printf("\n");
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(2, std::atoi(argv[1])) : 6;
    // "preview": only the preview decoded when shown, at 1080p (for a profiler).
    const bool previewOnly = argc > 2 && qstrcmp(argv[2], "preview") == 0;
    std::printf("MJPEG camera at 30 frames/s, 320x240 window, preview at 10 frames/s, %d s per case, "
                "platform %s, %u cores\n",
                seconds, qPrintable(QGuiApplication::platformName()), std::thread::hardware_concurrency());
    QTemporaryDir dir;
    struct Input {
        QSize size;
        int noise;
        const char* scene;
    };
    const Input inputs[] = {{QSize(1920, 1080), 8, "dim room"},
                            {QSize(1920, 1080), 2, "lit room"},
                            {QSize(3840, 2160), 8, "dim room"}};
    for (const Input& input : inputs) {
        const QSize size = input.size;
        const std::vector<QByteArray> jpegs = cameraFrames(size, input.noise);
        qint64 bytes = 0;
        for (const QByteArray& j : jpegs)
            bytes += j.size();
        std::printf("%dx%d, %s (noise +-%d), JPEG frames of %lld KB on average\n", size.width(),
                    size.height(), input.scene, input.noise, bytes / qint64(jpegs.size()) / 1024);
        const Result lazy = runCase(size, jpegs, false, {}, seconds);
        print("preview, decoded when shown", lazy);
        if (previewOnly) break;
        const Result eager = runCase(size, jpegs, true, {}, seconds);
        print("preview, every frame decoded", eager);
        const QString movie = dir.filePath(QStringLiteral("movie.avi"));
        const Result lazyRec = runCase(size, jpegs, false, movie, seconds);
        print("preview + recording, when shown", lazyRec);
        const Result eagerRec = runCase(size, jpegs, true, movie, seconds);
        print("preview + recording, every frame", eagerRec);
        const double ffmpegMs = ffmpegCopyCpuMs(jpegs, seconds, dir);
        const double ffmpegPercent = ffmpegMs * 100 / (seconds * 1000.0);
        std::printf("  %-34s %6.1f %% CPU (%.0f ms for %d s of frames)\n", "ffmpeg -f mjpeg -c copy",
                    ffmpegPercent, ffmpegMs, seconds);
        std::printf("  ratios: preview %.3f of every-frame; recording %.3f of every-frame, %.2f x ffmpeg's "
                    "copy\n",
                    lazy.cpuPercent / eager.cpuPercent, lazyRec.cpuPercent / eagerRec.cpuPercent,
                    ffmpegPercent > 0 ? lazyRec.cpuPercent / ffmpegPercent : 0.0);
        std::fflush(stdout);
    }
    return 0;
}
