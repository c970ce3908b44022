// bench_camera_window <the program's command-line arguments of a --record>
//   The program's own command-line recording (the window's capture action on its main
//   window) with the main window shown on Qt's offscreen platform, so that the capture
//   window paints its preview at the window's preview rate while the movie is
//   recorded, as it does when a user records from the window. At the end it prints
//     PREVIEW <frames painted> <preview rate, frames per second>
//   on standard output. Everything else is the program's: its exit status, its errors,
//   its progress line (--progress).
#include "CaptureWindow.h"
#include "CommandLine.h"
#include "CommandRun.h"
#include "MSVIDEO.h"
#include "MainModule.h"
#include "Master.h"

#include <QApplication>
#include <QTimer>
#include <cstdio>

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    SetUpApplication();
    const CommandLine::Parsed parsed = CommandLine::parse(QApplication::arguments());
    if (!parsed.run || parsed.request.command != CommandLine::Command::Record) {
        CommandLine::print(parsed);
        std::fprintf(stderr, "bench_camera_window: give the arguments of a --record\n");
        return 2;
    }
    // The command line builds the main window and never shows it: shown here as soon
    // as it is there (the capture runs the event loop while it records).
    std::uint64_t painted = 0;
    int rate = 0;
    QTimer watch;
    watch.setInterval(20);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        Master* m = Master::instance();
        if (!m) return;
        if (!m->isVisible()) m->show();
        if (CaptureWindow* window = CaptureWindow::find(MSVIDEO::CaptureWindow))
            painted = window->paintedFrames();
        rate = MSVIDEO::PreviewRate;
    });
    watch.start();
    const int code = CommandRun::run(parsed);
    std::printf("PREVIEW %llu %d\n", static_cast<unsigned long long>(painted), rate);
    return code;
}
