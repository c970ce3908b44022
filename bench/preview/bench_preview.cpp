// Preview CPU per displayed frame: a capture window on the test camera, preview at
// 30 frames/s, unscaled and scaled, for a few seconds per size. Prints the whole
// process's CPU (camera thread included), the UI thread's share, and as a baseline
// the cost of drawing the test pattern alone (what a camera would do for us).
#include "CaptureWindow.h"
#include "drivers/TestPattern.h"
#include "drivers/TestPatternDriver.h"
#include "vfw.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>
#include <cstdio>
#include <ctime>
#include <sys/resource.h>

namespace {

double processCpuMs() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

double threadCpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

// Cost of drawing one frame of the pattern, in ms of CPU.
double patternMs(QSize size) {
    const int frames = 60;
    const double start = threadCpuMs();
    for (int i = 0; i < frames; ++i)
        TestPattern::render(size, TestPattern::ColourBars, 50, std::uint64_t(i), QTime::currentTime());
    return (threadCpuMs() - start) / frames;
}

void run(QSize size, bool scale, int seconds) {
    QWidget parent;
    parent.resize(size.width(), size.height());
    parent.show();
    char name[128];
    char version[128];
    UINT testPattern = 0;
    while (capGetDriverDescriptionA(testPattern + 1, name, sizeof name, version, sizeof version))
        ++testPattern;
    const HWND window = capCreateCaptureWindowA("VIDEO WINDOW", WS_CHILD | WS_VISIBLE, 0, 0, size.width(),
                                                size.height(), &parent, 0);
    SendMessageA(window, WM_CAP_DRIVER_CONNECT, testPattern, 0);
    CaptureWindow* capture = CaptureWindow::find(window);
    capture->driver()->setFormat({TestPatternDriver::kFourcc, size, {1, 30}});
    if (scale) {
        // Stretch a frame of half the size to the window: the scaled path.
        capture->driver()->setFormat({TestPatternDriver::kFourcc, size / 2, {1, 30}});
        SendMessageA(window, WM_CAP_SET_SCALE, 1, 0);
    }
    SendMessageA(window, WM_CAP_SET_PREVIEW, 1, 0);
    SendMessageA(window, WM_CAP_SET_PREVIEWRATE, 33, 0);

    // Warm up for a second, then measure.
    QEventLoop loop;
    QTimer::singleShot(1000, &loop, &QEventLoop::quit);
    loop.exec();
    const quint64 paintedBefore = capture->paintedFrames();
    const double processBefore = processCpuMs();
    const double uiBefore = threadCpuMs();
    QElapsedTimer wall;
    wall.start();
    QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
    loop.exec();
    const double wallMs = double(wall.elapsed());
    const double processMs = processCpuMs() - processBefore;
    const double uiMs = threadCpuMs() - uiBefore;
    const double painted = double(capture->paintedFrames() - paintedBefore);
    DestroyWindow(window);

    const QSize frameSize = scale ? size / 2 : size;
    const double pattern = patternMs(frameSize);
    std::printf("%4dx%-4d %-9s displayed %5.1f fps | process %5.1f %% of a core, %5.2f ms/frame | "
                "UI thread %5.1f %%, %5.2f ms/frame | pattern alone %5.2f ms/frame (%4.1f %% at 30 fps)\n",
                size.width(), size.height(), scale ? "scaled" : "unscaled", painted * 1000 / wallMs,
                processMs * 100 / wallMs, painted ? processMs / painted : 0.0, uiMs * 100 / wallMs,
                painted ? uiMs / painted : 0.0, pattern, pattern * 30 / 10);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    std::printf("Preview at 30 frames/s, %d s per case, platform %s\n", seconds,
                qPrintable(QGuiApplication::platformName()));
    for (QSize size : {QSize(640, 480), QSize(1280, 720)}) {
        run(size, false, seconds);
        run(size, true, seconds);
    }
    return 0;
}
