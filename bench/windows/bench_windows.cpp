// A thousand windows: opens and closes, again and again, each window a user opens and
// closes in a session: an image window with a picture, the movie viewer playing a
// movie, the multiple-image bank, the driver information, the scheduled start, and a
// capture window on a second camera (a V4L2 camera of the fake device folder). Prints
// resident memory, the heap (in use, and freed but kept) and open descriptors every 100
// rounds, against the figures after the first hundred (caches and pools are warm then),
// and whether they stayed flat: no more than 5 MB and no descriptor more.
//
// Usage: bench_windows <movie file> [rounds, 1000] [kinds]
//   kinds: some of image,viewer,bank,info,schedule,capture (all by default), to find
//   which window a growth comes from.
// With KV_QUICK_EXIT set it ends without freeing anything, so that heaptrack counts
// all that is still held as leaked: `heaptrack_print -f <400 rounds> -d <200 rounds> -l 1`
// then shows what grows from round to round and who holds it.
#include "EventLog.h"
#include "FakeV4l2Device.h"
#include "MSVIDEO.h"
#include "MainModule.h"
#include "Master.h"
#include "MoviePlayer.h"
#include "MsgBox.h"
#include "PanelEvents.h"
#include "PictureBox.h"
#include "Vars.h"
#include "cMSVIDEO.h"
#include "vfw.h"
#include "wAutostart.h"
#include "wImage.h"
#include "wMSVIDEO.h"
#include "wMovieViewer.h"
#include "wMultiImage.h"
#include "wVFWInfo.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QImage>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMediaPlayer>
#include <QTemporaryDir>
#include <cstdio>
#include <functional>
#include <malloc.h>
#include <mutex>
#include <unistd.h>

namespace {

long residentKiB() {
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(f);
    }
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// What the program holds of the C library's heap (freed memory that a fragmented heap
// keeps resident is not in it).
long heapKiB() {
    return long(mallinfo2().uordblks / 1024);
}

// Freed memory the C library keeps in its heaps (the main one and one per thread that
// allocated) for later allocations: resident memory that grows with it while the
// memory in use stays put is the allocator's slack, not something the program holds.
long heapFreeKiB() {
    return long(mallinfo2().fordblks / 1024);
}

int openDescriptors() {
    return int(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::NoDotAndDotDot | QDir::System).size());
}

// Runs events until `done` holds; false after 20 s.
bool waitFor(const std::function<bool()>& done) {
    QDeadlineTimer deadline(20000);
    while (!done()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

// Closes a window as its user does: an MDI child by its frame.
void closeWindow(QWidget* w) {
    if (auto* frame = qobject_cast<QMdiSubWindow*>(w->parentWidget()))
        frame->close();
    else
        w->close();
}

// Deletes what was closed with deleteLater.
void settle() {
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <movie file> [rounds]\n", argv[0]);
        return 2;
    }
    // The second camera: a V4L2 node of the fake device folder, read by the real device list.
    FakeDeviceFolder devices;
    auto camera = FakeDeviceFolder::camera("Second Camera", "usb-2");
    devices.plug(1, camera);

    QApplication app(argc, argv);
    // As the program starts: its name and its icon, which every MDI child's frame shows
    // (without one, Qt's style loads its own logo anew for each frame).
    SetUpApplication();
    const QString movie = QString::fromLocal8Bit(argv[1]);
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 1000;
    const QStringList kinds =
        QString::fromLocal8Bit(argc > 3 ? argv[3] : "image,viewer,bank,info,schedule,capture")
            .split(QLatin1Char(','));
    QTemporaryDir folder;
    Vars::StartupDirectory = folder.path();
    MsgBoxTest::enable();
    CreateLog();
    const QString picture = folder.filePath(QStringLiteral("picture.bmp"));
    QImage(640, 480, QImage::Format_RGB32).save(picture);

    Master m;
    m.resize(1200, 900);
    m.show();
    PanelEvents::connectAll(m);
    cMSVIDEO::StartVideoDevice(m);
    if (!MSVIDEO::CaptureWindow) {
        std::fprintf(stderr, "no capture device\n");
        return 1;
    }
    int second = -1;
    char name[256], version[256];
    for (UINT i = 0; capGetDriverDescriptionA(i, name, sizeof name, version, sizeof version); ++i)
        if (QByteArray(name) == "Second Camera") second = int(i);
    if (second < 0) {
        std::fprintf(stderr, "the second camera is not listed\n");
        return 1;
    }

    QMdiArea* area = m.MDIClient;
    const QImage shot(320, 240, QImage::Format_RGB32);
    long baseKiB = 0;
    long baseHeapKiB = 0;
    long baseHeapFreeKiB = 0;
    int baseFds = 0;
    int failures = 0;
    auto fail = [&](const char* what, int round) {
        if (++failures <= 10) std::fprintf(stderr, "round %d: %s\n", round, what);
    };
    for (int round = 1; round <= rounds; ++round) {
        if (kinds.contains(QStringLiteral("image"))) {
            // An image window with a picture.
            if (wImage* w = wImage::openPictureFile(area, picture)) {
                settle();
                if (w->MasterImage()->picture().isNull()) fail("the image window has no picture", round);
                closeWindow(w);
            } else {
                fail("no image window", round);
            }
            settle();
        }

        if (kinds.contains(QStringLiteral("viewer"))) {
            // The movie viewer, playing.
            if (wMovieViewer* v = wMovieViewer::OpenMovie(area, movie)) {
                QMediaPlayer* player = v->Movie->player();
                if (!waitFor(
                        [&] { return v->Movie->videoSize().isValid() || !v->Movie->errorText().isEmpty(); }))
                    fail("the movie did not open", round);
                player->play();
                if (!waitFor([&] { return player->playbackState() == QMediaPlayer::PlayingState; }))
                    fail("the movie did not play", round);
                closeWindow(v);
            } else {
                fail("no movie viewer", round);
            }
            settle();
        }

        if (kinds.contains(QStringLiteral("bank"))) {
            // The multiple-image bank.
            wMultiImage* bank = wMultiImage::instance(area);
            bank->MasterImage()->setPicture(shot);
            bank->showWindow();
            settle();
            wMultiImage::unload();
            settle();
        }

        if (kinds.contains(QStringLiteral("info"))) {
            // The driver information.
            wVFWInfo* info = wVFWInfo::Show(m);
            settle();
            info->close();
            settle();
        }

        if (kinds.contains(QStringLiteral("schedule"))) {
            // The scheduled start.
            wAutostart::Show(m);
            settle();
            wAutostart::CloseIfOpen();
            settle();
        }

        if (kinds.contains(QStringLiteral("capture"))) {
            // A capture window on the second camera, showing its picture.
            QWidget parent;
            parent.resize(400, 300);
            parent.show();
            HWND window =
                capCreateCaptureWindowA("VIDEO WINDOW", WS_CHILD | WS_VISIBLE, 0, 0, 320, 240, &parent, 0);
            if (!window || !SendMessageA(window, WM_CAP_DRIVER_CONNECT, WPARAM(second), 0)) {
                fail("the second camera does not connect", round);
            } else {
                SendMessageA(window, WM_CAP_SET_PREVIEW, 1, 0);
                camera->push(QImage(640, 480, QImage::Format_RGB32));
                if (!waitFor([&] { return SendMessageA(window, WM_CAP_EDIT_COPY, 0, 0) != 0; }))
                    fail("no picture from the second camera", round);
            }
            if (window) DestroyWindow(window);
            settle();
            {
                // The fake camera's own record of what it was asked and sent, not the program's.
                std::lock_guard lock(camera->mutex);
                camera->delivered.clear();
                camera->requests.clear();
                camera->controlWrites.clear();
            }
        }

        if (round % 100 == 0) {
            const long kib = residentKiB();
            const int fds = openDescriptors();
            if (round == 100) {
                baseKiB = kib;
                baseFds = fds;
            }
            const long heap = heapKiB();
            const long heapFree = heapFreeKiB();
            if (round == 100) {
                baseHeapKiB = heap;
                baseHeapFreeKiB = heapFree;
            }
            std::printf("round %5d   resident %8ld KiB (%+6ld)   heap in use %8ld KiB (%+6ld)   heap free "
                        "%6ld KiB (%+6ld)   descriptors %4d (%+d)\n",
                        round, kib, kib - baseKiB, heap, heap - baseHeapKiB, heapFree,
                        heapFree - baseHeapFreeKiB, fds, fds - baseFds);
            std::fflush(stdout);
        }
    }
    if (!MsgBoxTest::shown().empty())
        std::printf("message boxes: %zu, the first: %s\n", MsgBoxTest::shown().size(),
                    qPrintable(MsgBoxTest::shown().front().text));
    const long growthKiB = residentKiB() - baseKiB;
    const int growthFds = openDescriptors() - baseFds;
    const bool flat = rounds < 200 || (growthKiB <= 5 * 1024 && growthFds <= 0);
    std::printf(
        "after the first hundred: %+ld KiB, %+d descriptors (goal: at most 5120 KiB, 0): %s; %d failures\n",
        growthKiB, growthFds, flat ? "flat" : "GROWS", failures);
    if (qEnvironmentVariableIsSet("KV_QUICK_EXIT")) {
        std::fflush(stdout);
        _exit(flat && failures == 0 ? 0 : 1);
    }
    wMSVIDEO::Unload();
    return flat && failures == 0 ? 0 : 1;
}
