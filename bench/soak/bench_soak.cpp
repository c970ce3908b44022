// An overnight interval run, compressed: the main window in multiple-image mode,
// numbered JPEG shots every second from the test camera, the one-second timer's
// handler called directly and the clock advanced by a second each tick, so hours
// of shots take minutes. Prints resident memory and open descriptors at the start,
// along the way and at the end, the count of files, and whether every file decodes.
//
// Usage: bench_soak [hours of shots, 10 by default] [folder, a fresh one by default]
#include "Clock.h"
#include "EventLog.h"
#include "MSVIDEO.h"
#include "Master.h"
#include "MsgBox.h"
#include "PanelEvents.h"
#include "Vars.h"
#include "cMSVIDEO.h"
#include "cMaster.h"
#include "wMSVIDEO.h"
#include "wMultiImage.h"

#include <QApplication>
#include <QDir>
#include <QImageReader>
#include <QTemporaryDir>
#include <cstdio>
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

int openDescriptors() {
    return int(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::NoDotAndDotDot | QDir::System).size());
}

void report(const char* when, long shots, long baseKiB, int baseFds) {
    const long kib = residentKiB();
    const int fds = openDescriptors();
    std::printf("%-10s shots %7ld   resident %8ld KiB (%+7ld)   descriptors %4d (%+d)\n", when, shots, kib,
                kib - baseKiB, fds, fds - baseFds);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const double hours = argc > 1 ? std::atof(argv[1]) : 10.0;
    QTemporaryDir scratch;
    const QString folder = argc > 2 ? QString::fromLocal8Bit(argv[2]) : scratch.path();
    QDir().mkpath(folder);

    Vars::StartupDirectory = folder;
    MsgBoxTest::enable();
    CreateLog();
    Clock::set(QDateTime(QDate(2026, 12, 10), QTime(20, 0, 0)));
    Master m;
    m.resize(1000, 800);
    m.show();
    for (int fps = 1; fps <= 30; ++fps)
        m.MultipleImageFrameRate->addItem(cMSVIDEO::FpsText(fps));
    m.MultipleImageFrameRate->setCurrentIndex(10);
    PanelEvents::connectAll(m);
    cMSVIDEO::StartVideoDevice(m);
    if (!MSVIDEO::CaptureWindow) {
        std::fprintf(stderr, "no capture device\n");
        return 1;
    }

    cMaster::SelectMultipleImageMode(m);
    m.MultipleImageMode->setCurrentIndex(2); // numbered JPEG files
    m.MultipleImageAutoShoot->setChecked(true);
    m.MultipleImageHoursControl->setValue(0);
    m.MultipleImageMinutesControl->setValue(0);
    m.MultipleImageSecondsControl->setValue(1);
    MSVIDEO::MovieFileName = folder + QStringLiteral("/shot.JPG");
    cMaster::CaptureAction(m, true);
    // The run's timer is driven by hand below, a tick per simulated second.
    m.MultipleImageTimer->stop();

    const long ticks = long(hours * 3600);
    // The first shots warm the caches (fonts, encoder): the base is taken after them.
    for (int i = 0; i < 20; ++i) {
        Clock::advance(1000);
        PanelEvents::MultipleImageTimer_Timer(m, [&m] { cMaster::CaptureStillImage(m); });
        QCoreApplication::processEvents();
    }
    const long baseKiB = residentKiB();
    const int baseFds = openDescriptors();
    report("start", 20, baseKiB, baseFds);
    for (long tick = 20; tick < ticks; ++tick) {
        Clock::advance(1000);
        PanelEvents::MultipleImageTimer_Timer(m, [&m] { cMaster::CaptureStillImage(m); });
        QCoreApplication::processEvents();
        if ((tick + 1) % 3600 == 0)
            report(QStringLiteral("%1 h").arg((tick + 1) / 3600).toLatin1().constData(), tick + 1, baseKiB,
                   baseFds);
    }
    cMaster::CaptureAction(m, false);
    QCoreApplication::processEvents();
    report("end", ticks, baseKiB, baseFds);

    const QStringList files =
        QDir(folder).entryList({QStringLiteral("*.JPG"), QStringLiteral("*.jpg")}, QDir::Files);
    long good = 0;
    for (const QString& name : files)
        good += !QImageReader(QDir(folder).filePath(name)).read().isNull();
    // One file per tick, and one each for the start and the stop of the run.
    std::printf("files %lld (ticks %ld), decoded %ld\n", static_cast<long long>(files.size()), ticks, good);
    wMultiImage::unload();
    wMSVIDEO::Unload();
    return good == files.size() && files.size() >= ticks ? 0 : 1;
}
