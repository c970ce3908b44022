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
#include <functional>
#include <turbojpeg.h>
#include <vector>

namespace {

constexpr int kRuns = 25;

double medianMs(int runs, const std::function<void()>& step) {
    step(); // warm-up: fonts, page cache, encoder tables
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        step();
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
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

double fswebcamMs(const QString& fswebcam, int w, int h, const QString& out) {
    const QStringList args{"-q",     "--device", "TEST:",   "-r",     QStringLiteral("%1x%2").arg(w).arg(h),
                           "--jpeg", "90",       "--title", "Gate 3", out};
    return medianMs(9, [&] {
        QProcess process;
        process.start(fswebcam, args);
        process.waitForFinished(60000);
    });
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    const QString fswebcam = QStandardPaths::findExecutable("fswebcam");

    std::printf("Still shot: frame -> time, date, text stamps -> JPEG quality 90 on disk (median of %d)\n",
                kRuns);
    std::printf("%-10s %10s %12s %8s %14s %14s %8s\n", "size", "shot ms", "fswebcam ms", "ratio",
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
        PictureBox box;
        const double shot = medianMs(kRuns, [&] {
            box.setPicture(frame);
            StampFrame(box, settings);
            SaveImageAsJpeg(box, shotPath);
        });

        // Where a shot's time goes: the stamps, and the copy into the DIB buffer.
        const double stamps = medianMs(kRuns, [&] {
            box.setPicture(frame);
            StampFrame(box, settings);
        });
        cDIBSection dib;
        const QImage stamped = box.image();
        const double copy = medianMs(kRuns, [&] { dib.CreateFromPicture(stamped); });
        const QString savePath = dir.filePath("save.jpg");
        const double save = medianMs(kRuns, [&] { WriteJpegFile(dib, savePath, 90); });
        const QByteArray turboPath = QFile::encodeName(dir.filePath("turbo.jpg"));
        const double turbo = medianMs(kRuns, [&] { turboAlone(dib, turboPath); });

        const QString label = QStringLiteral("%1x%2").arg(size.width()).arg(size.height());
        phases.push_back(QStringLiteral("%1: stamps %2 ms, copy into the DIB %3 ms")
                             .arg(label)
                             .arg(stamps, 0, 'f', 2)
                             .arg(copy, 0, 'f', 2));
        if (fswebcam.isEmpty()) {
            std::printf("%-10s %10.2f %12s %8s %14.2f %14.2f %7.2fx\n", qPrintable(label), shot, "n/a", "-",
                        save, turbo, save / turbo);
        } else {
            const double fs = fswebcamMs(fswebcam, size.width(), size.height(), dir.filePath("fswebcam.jpg"));
            std::printf("%-10s %10.2f %12.2f %7.2fx %14.2f %14.2f %7.2fx\n", qPrintable(label), shot, fs,
                        shot / fs, save, turbo, save / turbo);
        }
    }
    for (const QString& line : phases)
        std::printf("%s\n", qPrintable(line));
    if (fswebcam.isEmpty()) std::printf("fswebcam is not installed: its column is skipped.\n");
    std::printf(
        "Goals: shot <= 0.20x fswebcam's whole-process time; JPEG save <= 1.20x libjpeg-turbo alone.\n");
    return 0;
}
