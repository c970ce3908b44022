// The program itself (the harness runs its executable's set-up, StartUp and event
// loop, and the executable its command line) with the emulated camera preloaded: it
// lists the camera before its built-in test pattern, records a movie of the camera's
// own JPEGs, and its command line makes the window's files.

#include "AviProbe.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>
#include <csignal>

class TestProgramThroughEmulator : public QObject {
    Q_OBJECT

    struct Run {
        QTemporaryDir dir;
        QProcess process;
        QByteArray output;
        // The cameras plugged in (the emulator's configuration).
        QByteArray cameras = "camera /dev/video42\ncard = Kelvanor Desk\nbus = usb-0000:00:14.0-2\n"
                             "format = MJPG 1280x720@30 640x480@30\nformat = YUYV 640x480@30\n"
                             "control = brightness -64 64 1 0\n";

        void start(const QString& scenario, const QStringList& args = {}) {
            startProgram(QStringLiteral(KV_HARNESS), QStringList{scenario} + args);
        }
        // The program's own executable, its command line `args`, without a display.
        void command(const QStringList& args) {
            process.setReadChannel(QProcess::StandardError);
            startProgram(QStringLiteral(KV_KELVANOR), args);
        }
        // The program's folder, when it is kept from one run to the next.
        QString dataFolder;
        void startProgram(const QString& program, const QStringList& args) {
            process.setProcessEnvironment(environment(program));
            process.setWorkingDirectory(dir.path());
            process.start(program, args);
        }
        // The environment of `program` run on the camera (written into the folder).
        QProcessEnvironment environment(const QString& program) {
            const QString config = dir.filePath(QStringLiteral("cameras.conf"));
            QFile file(config);
            if (file.open(QIODevice::WriteOnly)) file.write(cameras);
            file.close();
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QStringLiteral("HOME"), dir.path());
            env.insert(QStringLiteral("XDG_DATA_HOME"), dir.filePath(QStringLiteral("share")));
            if (program == QLatin1String(KV_KELVANOR)) {
                for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
                    env.remove(QLatin1String(name));
                env.insert(QStringLiteral("KELVANOR_FOLDER"), dir.filePath(QStringLiteral("data")));
            } else {
                env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
                if (!dataFolder.isEmpty()) env.insert(QStringLiteral("KELVANOR_FOLDER"), dataFolder);
            }
            env.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(KV_CAMERA_EMULATOR));
            env.insert(QStringLiteral("KV_CAMERA_EMULATOR_CONFIG"), config);
            return env;
        }
        // Waits for the command line's progress line to count `frames` frames.
        bool waitForFrames(int frames, int ms = 120000) {
            static const QRegularExpression line(QStringLiteral("frames (\\d+) "));
            const QDeadlineTimer deadline(ms);
            for (;;) {
                QRegularExpressionMatchIterator it = line.globalMatch(QString::fromLocal8Bit(errors));
                while (it.hasNext())
                    if (it.next().captured(1).toInt() >= frames) return true;
                if (process.state() == QProcess::NotRunning || deadline.hasExpired()) return false;
                process.waitForReadyRead(int(std::max<qint64>(1, deadline.remainingTime())));
                errors += process.readAllStandardError();
            }
        }
        QByteArray errors;
        bool waitFor(const QByteArray& word, int ms = 120000) {
            const QDeadlineTimer deadline(ms);
            while (!output.contains(word + '\n')) {
                if (process.state() == QProcess::NotRunning || deadline.hasExpired()) return false;
                process.waitForReadyRead(int(std::max<qint64>(1, deadline.remainingTime())));
                output += process.readAllStandardOutput();
            }
            return true;
        }
        QString describe() {
            return QStringLiteral("exit %1; output: %2; stderr: %3")
                .arg(process.exitCode())
                .arg(QString::fromLocal8Bit(output))
                .arg(QString::fromLocal8Bit(process.readAllStandardError().right(3000)));
        }
    };

    // An AVI file's layout: every chunk and list in order, with the movie data's chunks
    // counted by kind, and the header records without the fields that count frames,
    // bytes or time.
    static QStringList aviLayout(const QString& path) {
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly)) return {QStringLiteral("cannot open ") + path};
        const QByteArray b = f.readAll();
        QStringList out;
        const auto u32 = [&b](qsizetype at) {
            return at + 4 <= b.size() ? qFromLittleEndian<quint32>(b.constData() + at) : 0u;
        };
        std::function<void(qsizetype, qsizetype, const QString&)> walk = [&](qsizetype at, qsizetype end,
                                                                             const QString& indent) {
            QMap<QString, int> movieChunks;
            while (at + 8 <= end) {
                const QString id = QString::fromLatin1(b.mid(at, 4));
                const quint32 size = u32(at + 4);
                const qsizetype data = at + 8;
                if (id == QLatin1String("RIFF") || id == QLatin1String("LIST")) {
                    const QString form = QString::fromLatin1(b.mid(data, 4));
                    out << indent + id + QLatin1Char(' ') + form;
                    if (form == QLatin1String("movi")) {
                        qsizetype c = data + 4;
                        while (c + 8 <= data + qsizetype(size)) {
                            movieChunks[QString::fromLatin1(b.mid(c, 4))] += 1;
                            c += 8 + ((u32(c + 4) + 1) & ~1u);
                        }
                        QStringList kinds;
                        for (auto it = movieChunks.begin(); it != movieChunks.end(); ++it)
                            kinds << it.key();
                        out << indent + QStringLiteral("  (") + kinds.join(QLatin1Char(' ')) +
                                   QLatin1Char(')');
                        movieChunks.clear();
                    } else {
                        walk(data + 4, data + qsizetype(size), indent + QStringLiteral("  "));
                    }
                } else if (id == QLatin1String("avih")) {
                    // Microseconds a frame, flags, streams, width, height.
                    out << indent + QStringLiteral("avih %1 %2 %3 %4x%5")
                                        .arg(u32(data))
                                        .arg(u32(data + 12))
                                        .arg(u32(data + 24))
                                        .arg(u32(data + 32))
                                        .arg(u32(data + 36));
                } else if (id == QLatin1String("strh")) {
                    // Type, handler, flags, scale, rate, quality, sample size.
                    out << indent + QStringLiteral("strh %1 %2 %3 %4/%5 %6 %7")
                                        .arg(QString::fromLatin1(b.mid(data, 4)),
                                             QString::fromLatin1(b.mid(data + 4, 4)))
                                        .arg(u32(data + 8))
                                        .arg(u32(data + 20))
                                        .arg(u32(data + 24))
                                        .arg(u32(data + 40))
                                        .arg(u32(data + 44));
                } else if (id == QLatin1String("strf")) {
                    QByteArray format = b.mid(data, size);
                    if (format.size() >= 24)
                        format.replace(20, 4, QByteArray(4, '\0')); // biSizeImage: the largest frame
                    out << indent + QStringLiteral("strf ") + QString::fromLatin1(format.toHex());
                } else {
                    out << indent + id;
                }
                at = data + ((qsizetype(size) + 1) & ~qsizetype(1));
            }
        };
        walk(0, b.size(), QString());
        return out;
    }

private slots:
    void theCameraComesBeforeTheTestPattern() {
        Run run;
        run.start(QStringLiteral("devices"));
        QVERIFY2(run.process.waitForFinished(120000), qPrintable(run.describe()));
        run.output += run.process.readAllStandardOutput();
        const QStringList devices =
            QString::fromLocal8Bit(run.output).split(QLatin1Char('\n')).filter(QStringLiteral("DEVICE "));
        QVERIFY2(devices.size() == 2, qPrintable(run.describe()));
        QCOMPARE(devices[0], QStringLiteral("DEVICE Kelvanor Desk"));
    }

    void aMovieKeepsTheCamerasJpegs() {
        Run run;
        const QString movie = run.dir.filePath(QStringLiteral("camera.avi"));
        run.start(QStringLiteral("record"), {movie});
        QVERIFY2(run.waitFor("RECORDING"), qPrintable(run.describe()));
        ::kill(pid_t(run.process.processId()), SIGTERM); // ends the recording as a stop does
        QVERIFY(run.process.waitForFinished(60000));
        QVERIFY2(run.process.exitStatus() == QProcess::NormalExit && run.process.exitCode() == 0,
                 qPrintable(run.describe()));
        const AviProbe probe = AviProbe::read(movie);
        QVERIFY(probe.opened);
        QCOMPARE(probe.videoCodec, QStringLiteral("mjpeg"));
        QCOMPARE(QSize(probe.width, probe.height), QSize(1280, 720));
        QVERIFY(probe.headerFrames >= 5);
        QCOMPARE(probe.decodedFrames(), int(probe.headerFrames));
        // The camera's 4:2:2 JPEGs as they came: the program's own encoder writes 4:2:0.
        QProcess ffprobe;
        ffprobe.start(QStringLiteral("ffprobe"),
                      {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-show_entries"),
                       QStringLiteral("stream=pix_fmt"), QStringLiteral("-of"), QStringLiteral("csv=p=0"),
                       movie});
        QVERIFY(ffprobe.waitForFinished(60000));
        QCOMPARE(QString::fromLocal8Bit(ffprobe.readAllStandardOutput()).trimmed(),
                 QStringLiteral("yuvj422p"));
    }

    void theCommandLineListsTheCameraWithItsNodeAndFormats() {
        Run run;
        run.command({QStringLiteral("--list-devices")});
        QVERIFY(run.process.waitForFinished(120000));
        const QString out = QString::fromLocal8Bit(run.process.readAllStandardOutput());
        QVERIFY2(out.startsWith(QStringLiteral("0: Kelvanor Desk (/dev/video42)\n"
                                               "    MJPG (Motion-JPEG): 1280x720@30 640x480@30\n"
                                               "    YUYV (YUYV 4:2:2): 640x480@30\n"
                                               "1: Kelvanor Test Pattern (built-in)\n")),
                 qPrintable(out));
        QCOMPARE(run.process.exitCode(), 0);
    }

    void aCommandLineShotFromTheCameraByItsNodeAndSize() {
        Run run;
        const QString shot = run.dir.filePath(QStringLiteral("desk.jpg"));
        run.command({QStringLiteral("--shot"), shot, QStringLiteral("--device"),
                     QStringLiteral("/dev/video42"), QStringLiteral("--size"), QStringLiteral("640x480"),
                     QStringLiteral("--date"), QStringLiteral("top-left")});
        QVERIFY(run.process.waitForFinished(120000));
        QVERIFY2(run.process.exitCode() == 0, qPrintable(run.describe()));
        QCOMPARE(QImage(shot, "JPG").size(), QSize(640, 480));
        // The camera's kept format is the window's business: a command's --size leaves it.
        QVERIFY(!QFile(run.dir.filePath(QStringLiteral("data/cameras.ini"))).exists());
    }

    // Two cameras of one model without serial numbers: udev's by-id link (made of the
    // vendor, model and serial) is one for both and points at the one added last. Each
    // keeps its own brightness from one run of the program to the next, known by its
    // USB port; plugged in the other way round (each on the other's node, the link at
    // the other), each still gets its own.
    void identicalCamerasKeepTheirOwnSettings() {
        QTemporaryDir data;
        const auto twins = [](const char* first, const char* second) {
            QByteArray text;
            int node = 42;
            for (const char* port : {first, second})
                text += QByteArray("camera /dev/video") + QByteArray::number(node++) +
                        "\ncard = Twin Cam\nbus = usb-0000:00:14.0-" + port +
                        "\nby-id = usb-Twin_Cam-video-index0\nformat = MJPG 640x480@30\n"
                        "control = brightness -64 64 1 0\n";
            return text;
        };
        // Runs the program on driver `index` at `node`: the brightness it found there,
        // after setting `value` (when given) for the next run.
        const auto brightness = [&](const QByteArray& cameras, int index, const char* node,
                                    const QString& value = {}) {
            Run run;
            run.cameras = cameras;
            run.dataFolder = data.path();
            QStringList args{QString::number(index), QString::fromLatin1(node)};
            if (!value.isEmpty()) args << value;
            run.start(QStringLiteral("camera"), args);
            if (!run.process.waitForFinished(120000)) return QStringLiteral("not ended: ") + run.describe();
            run.output += run.process.readAllStandardOutput();
            for (const QByteArray& line : run.output.split('\n'))
                if (line.startsWith("BRIGHTNESS ")) return QString::fromLatin1(line.mid(11));
            return QStringLiteral("none: ") + run.describe();
        };
        const QByteArray plugged = twins("1", "2"), swapped = twins("2", "1");
        QCOMPARE(brightness(plugged, 0, "/dev/video42", QStringLiteral("20")), QStringLiteral("0"));
        // The second twin has nothing kept: not the first one's value.
        QCOMPARE(brightness(plugged, 1, "/dev/video43", QStringLiteral("-30")), QStringLiteral("0"));
        QCOMPARE(brightness(plugged, 0, "/dev/video42"), QStringLiteral("20"));
        QCOMPARE(brightness(plugged, 1, "/dev/video43"), QStringLiteral("-30"));
        // Port 2's twin is now the first node.
        QCOMPARE(brightness(swapped, 0, "/dev/video42"), QStringLiteral("-30"));
        QCOMPARE(brightness(swapped, 1, "/dev/video43"), QStringLiteral("20"));
    }

    // A camera that runs slower than the movie asked for (its firmware answers 25
    // frames a second to uvcvideo's probe for 30): the movie has the camera's rate, and
    // as many frames as the camera gave in its time, not repeats to make up 30.
    void aMovieHasTheRateTheCameraRunsAt() {
        Run run;
        run.cameras = "camera /dev/video42\ncard = Kelvanor Desk\nbus = usb-0000:00:14.0-2\n"
                      "format = MJPG 640x480@30\nquirk = probe-rate 25\n";
        const QString movie = run.dir.filePath(QStringLiteral("slow.avi"));
        run.command({QStringLiteral("--record"), movie, QStringLiteral("--no-sound"),
                     QStringLiteral("--rate"), QStringLiteral("30"), QStringLiteral("--seconds"),
                     QStringLiteral("2")});
        QVERIFY(run.process.waitForFinished(120000));
        QVERIFY2(run.process.exitCode() == 0, qPrintable(run.describe()));
        const AviProbe probe = AviProbe::read(movie);
        QVERIFY(probe.opened);
        QCOMPARE(probe.frameRate.num * 1, 25 * probe.frameRate.den);
        QVERIFY2(qAbs(probe.headerFrames - 50) <= 1, qPrintable(QString::number(probe.headerFrames)));
        QCOMPARE(probe.decodedFrames(), int(probe.headerFrames));
    }

    // Another program streaming from the camera (v4l2-ctl, a process of its own) holds
    // it as uvcvideo lets the first streamer hold it: the program's shot says so and
    // fails; once the other has ended, the same shot is taken.
    void aShotWhileAnotherProgramStreamsFailsThenSucceeds() {
        Run run;
        QProcess other;
        other.setProcessEnvironment(run.environment(QStringLiteral("v4l2-ctl")));
        other.setProcessChannelMode(QProcess::MergedChannels);
        other.start(QStringLiteral("v4l2-ctl"),
                    {QStringLiteral("-d"), QStringLiteral("/dev/video42"), QStringLiteral("--stream-mmap"),
                     QStringLiteral("--stream-count=1000000")});
        QByteArray output; // a '<' for each buffer it dequeues
        const QDeadlineTimer deadline(60000);
        while (!output.contains('<') && other.state() != QProcess::NotRunning && !deadline.hasExpired()) {
            other.waitForReadyRead(int(std::max<qint64>(1, deadline.remainingTime())));
            output += other.readAll();
        }
        QVERIFY2(output.contains('<'), output.constData());

        const QString shot = run.dir.filePath(QStringLiteral("desk.jpg"));
        const QStringList args{QStringLiteral("--shot"), shot, QStringLiteral("--device"),
                               QStringLiteral("/dev/video42")};
        run.command(args);
        QVERIFY(run.process.waitForFinished(120000));
        const QString refused = QString::fromLocal8Bit(run.process.readAllStandardError());
        QCOMPARE(run.process.exitCode(), 1);
        QVERIFY2(
            refused.contains(QStringLiteral("Kelvanor Desk is in use by another program (/dev/video42).")),
            qPrintable(refused));
        QVERIFY(!QFile::exists(shot));

        other.kill(); // the system closes its descriptors, and with them its hold
        QVERIFY(other.waitForFinished(60000));
        run.command(args);
        QVERIFY(run.process.waitForFinished(120000));
        QVERIFY2(run.process.exitCode() == 0, qPrintable(run.describe()));
        QCOMPARE(QImage(shot, "JPG").size(), QSize(1280, 720));
    }

    // A movie recorded from the command line has the layout of the window's with the
    // same settings: the same chunks in the same order, the same headers.
    void aCommandLineMovieHasTheWindowsLayout() {
        Run window;
        const QString windowMovie = window.dir.filePath(QStringLiteral("window.avi"));
        window.start(QStringLiteral("record"), {windowMovie});
        QVERIFY2(window.waitFor("RECORDING"), qPrintable(window.describe()));
        ::kill(pid_t(window.process.processId()), SIGTERM);
        QVERIFY(window.process.waitForFinished(60000));
        QCOMPARE(window.process.exitCode(), 0);

        Run command;
        const QString commandMovie = command.dir.filePath(QStringLiteral("command.avi"));
        command.command({QStringLiteral("--record"), commandMovie, QStringLiteral("--no-sound"),
                         QStringLiteral("--progress")});
        QVERIFY2(command.waitForFrames(5),
                 qPrintable(command.describe() + QString::fromLocal8Bit(command.errors)));
        ::kill(pid_t(command.process.processId()), SIGTERM);
        QVERIFY(command.process.waitForFinished(60000));
        QVERIFY2(command.process.exitCode() == 0, qPrintable(command.describe()));

        const QStringList layout = aviLayout(windowMovie);
        QVERIFY2(layout.size() > 8 && layout.contains(QStringLiteral("  idx1")),
                 qPrintable(layout.join('\n')));
        QCOMPARE(aviLayout(commandMovie), layout);
    }
};

QTEST_MAIN(TestProgramThroughEmulator)
#include "tst_programthroughemulator.moc"
