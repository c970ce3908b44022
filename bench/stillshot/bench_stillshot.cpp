// One still shot as the program takes it (frame into the picture box, time, date
// and text stamps, JPEG file on disk), beside fswebcam taking one shot with a banner
// from its test source at the same size and quality, and beside libjpeg-turbo alone
// encoding the same pixels to a file. Medians of repeated runs.
#include "JPEG.h"
#include "PictureBox.h"
#include "TextInsertion.h"
#include "cDIBSection.h"
#include "mIntelJPEGLibrary.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPainter>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>
#include <sys/resource.h>
#include <turbojpeg.h>
#include <vector>

namespace {

constexpr int kRuns = 31;

struct Times {
    double wallMs = 0;
    double cpuMs = 0; // this thread's, or the children's for a separate program
};

double threadCpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

double childrenCpuMs() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    auto ms = [](const timeval& tv) { return double(tv.tv_sec) * 1e3 + double(tv.tv_usec) / 1e3; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Runs the steps in turn, round after round, and gives each one's median wall and
// CPU time. Interleaving keeps a change in the machine's load from favouring one
// of them; the CPU time is what a loaded machine disturbs least.
std::vector<Times> measure(int runs, const std::vector<std::function<void()>>& steps,
                           double (*cpuClock)() = threadCpuMs) {
    for (const auto& step : steps)
        step(); // warm-up: fonts, page cache, encoder tables
    std::vector<std::vector<double>> wall(steps.size()), cpu(steps.size());
    for (int i = 0; i < runs; ++i)
        for (size_t s = 0; s < steps.size(); ++s) {
            QElapsedTimer timer;
            const double cpuStart = cpuClock();
            timer.start();
            steps[s]();
            wall[s].push_back(double(timer.nsecsElapsed()) / 1e6);
            cpu[s].push_back(cpuClock() - cpuStart);
        }
    std::vector<Times> result;
    for (size_t s = 0; s < steps.size(); ++s)
        result.push_back({median(wall[s]), median(cpu[s])});
    return result;
}

// A camera-like frame in the format the capture service puts on the clipboard
// (32-bit RGB): gradients and some edges, so the encoder has real work.
QImage cameraFrame(int w, int h) {
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < w; ++x)
            row[x] = qRgb(x * 255 / w, y * 255 / h, ((x / 16 + y / 16) & 1) ? 200 : 40);
    }
    QPainter p(&image);
    p.setPen(Qt::white);
    for (int i = 0; i < 20; ++i)
        p.drawEllipse(QPoint(w * i / 20, h / 2), w / 10, h / 8);
    return image;
}

// libjpeg-turbo alone: the same bottom-up BGR pixels, same quality and sampling, to a file.
void turboAlone(const cDIBSection& dib, const QByteArray& path) {
    tjhandle handle = tjInitCompress();
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    tjCompress2(handle, dib.DIBSectionBitsPtr(), dib.Width(), dib.BytesPerScanLine(), dib.Height(), TJPF_BGR,
                &jpeg, &size, TJSAMP_420, 90, TJFLAG_BOTTOMUP);
    if (FILE* f = std::fopen(path.constData(), "wb")) {
        std::fwrite(jpeg, 1, size, f);
        std::fclose(f);
    }
    tjFree(jpeg);
    tjDestroy(handle);
}

Times fswebcamTimes(const QString& fswebcam, int w, int h, const QString& out) {
    const QStringList args{"-q",     "--device", "TEST:",   "-r",     QStringLiteral("%1x%2").arg(w).arg(h),
                           "--jpeg", "90",       "--title", "Gate 3", out};
    return measure(9, {[&] {
                       QProcess process;
                       process.start(fswebcam, args);
                       process.waitForFinished(60000);
                   }},
                   childrenCpuMs)
        .front();
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    const QString fswebcam = QStandardPaths::findExecutable("fswebcam");

    std::printf("Still shot: frame -> time, date, text stamps -> JPEG quality 90 on disk.\n"
                "Medians of %d interleaved runs (fswebcam: 9 runs); wall time, CPU time in brackets.\n\n",
                kRuns);
    std::printf("%-10s %17s %17s %13s %17s %17s %13s\n", "size", "shot ms", "fswebcam ms", "ratio",
                "JPEG save ms", "turbo-only ms", "ratio");
    QStringList phases;
    for (const QSize size : {QSize(640, 480), QSize(1920, 1080)}) {
        const QImage frame = cameraFrame(size.width(), size.height());
        StampSettings settings;
        settings.timeOn = settings.dateOn = settings.textOn = true;
        settings.text = QStringLiteral("Gate 3");
        settings.textColor = 0xFFFFFF;
        settings.dateColor = 0x00FFFF;
        settings.timeColor = 0x00FF00;
        settings.timePosition = StampPosition::BottomRight;
        settings.datePosition = StampPosition::BottomRight;
        settings.textPosition = StampPosition::TopLeft;
        const QString shotPath = dir.filePath("shot.jpg");
        const QString savePath = dir.filePath("save.jpg");
        const QByteArray turboPath = QFile::encodeName(dir.filePath("turbo.jpg"));
        PictureBox box;
        box.setPicture(frame);
        StampFrame(box, settings);
        const QImage stamped = box.image();
        cDIBSection dib;
        dib.CreateFromPicture(stamped);
        cDIBSection scratch;
        PictureBox stampBox;
        const std::vector<Times> t =
            measure(kRuns, {// The whole shot.
                            [&] {
                                box.setPicture(frame);
                                StampFrame(box, settings);
                                SaveImageAsJpeg(box, shotPath);
                            },
                            // Where its time goes: the stamps, and the copy into the DIB buffer.
                            [&] {
                                stampBox.setPicture(frame);
                                StampFrame(stampBox, settings);
                            },
                            [&] { scratch.CreateFromPicture(stamped); },
                            // The JPEG save against libjpeg-turbo alone on the same pixels.
                            [&] { WriteJpegFile(dib, savePath, 90); }, [&] { turboAlone(dib, turboPath); }});
        const Times shot = t[0], stamps = t[1], copy = t[2], save = t[3], turbo = t[4];

        const QString label = QStringLiteral("%1x%2").arg(size.width()).arg(size.height());
        phases.push_back(QStringLiteral("%1: stamps %2 (%3) ms, copy into the DIB %4 (%5) ms")
                             .arg(label)
                             .arg(stamps.wallMs, 0, 'f', 2)
                             .arg(stamps.cpuMs, 0, 'f', 2)
                             .arg(copy.wallMs, 0, 'f', 2)
                             .arg(copy.cpuMs, 0, 'f', 2));
        auto pair = [](const Times& x) {
            return QStringLiteral("%1 (%2)").arg(x.wallMs, 0, 'f', 2).arg(x.cpuMs, 0, 'f', 2);
        };
        auto ratio = [](const Times& a, const Times& b) {
            return QStringLiteral("%1x (%2x)")
                .arg(a.wallMs / b.wallMs, 0, 'f', 2)
                .arg(b.cpuMs > 0 ? a.cpuMs / b.cpuMs : 0.0, 0, 'f', 2);
        };
        QString fsColumn = QStringLiteral("n/a"), fsRatio = QStringLiteral("-");
        if (!fswebcam.isEmpty()) {
            const Times fs =
                fswebcamTimes(fswebcam, size.width(), size.height(), dir.filePath("fswebcam.jpg"));
            fsColumn = pair(fs);
            fsRatio = ratio(shot, fs);
        }
        std::printf("%-10s %17s %17s %13s %17s %17s %13s\n", qPrintable(label), qPrintable(pair(shot)),
                    qPrintable(fsColumn), qPrintable(fsRatio), qPrintable(pair(save)),
                    qPrintable(pair(turbo)), qPrintable(ratio(save, turbo)));
    }
    std::printf("\n");
    for (const QString& line : phases)
        std::printf("%s\n", qPrintable(line));
    if (fswebcam.isEmpty()) std::printf("fswebcam is not installed: its column is skipped.\n");
    std::printf(
        "Goals: shot <= 0.20x fswebcam's whole-process time; JPEG save <= 1.20x libjpeg-turbo alone.\n");
    return 0;
}
