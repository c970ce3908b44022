#include "AviProbe.h"
#include "Clipboard.h"
#include "Clock.h"
#include "CommandLine.h"
#include "CommandRun.h"
#include "CommonDialog.h"
#include "EventLog.h"
#include "InstanceLock.h"
#include "MSVIDEO.h"
#include "Master.h"
#include "MasterEvents.h"
#include "MsgBox.h"
#include "PanelEvents.h"
#include "PictureBox.h"
#include "Vars.h"
#include "VfwTestHooks.h"
#include "cMaster.h"
#include "drivers/TestPattern.h"
#include "wImage.h"
#include "wMSVIDEO.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>

// The program's command line as scripts use it: the real executable, started without
// a display (no X, no Wayland, no Xvfb), each run in a data folder of its own, its exit
// status, its standard error and the files it leaves read back.
class TestCommandRun : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    // Parameters files the window saved, for --run.
    QString m_movieKlp, m_aviRunKlp, m_jpegRunKlp, m_imageKlp;

    struct Run {
        QTemporaryDir dir;
        QProcess process;
        QByteArray errors;
        QByteArray output;

        QString data() const { return dir.filePath(QStringLiteral("data")); }
        QString out(const QString& name) const { return dir.filePath(QStringLiteral("out/") + name); }

        Run() {
            QDir(dir.path()).mkpath(QStringLiteral("data"));
            QDir(dir.path()).mkpath(QStringLiteral("out"));
        }
        void start(const QStringList& args) {
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
                env.remove(QLatin1String(name));
            env.insert(QStringLiteral("HOME"), dir.path());
            env.insert(QStringLiteral("XDG_DATA_HOME"), dir.filePath(QStringLiteral("share")));
            env.insert(QStringLiteral("KELVANOR_FOLDER"), data());
            process.setProcessEnvironment(env);
            process.setWorkingDirectory(dir.filePath(QStringLiteral("out")));
            // What the tests wait for comes on standard error.
            process.setReadChannel(QProcess::StandardError);
            process.start(QStringLiteral(KV_KELVANOR), args);
        }
        // The whole run; false when it did not end within `ms`.
        bool finish(int ms = 120000) {
            const bool ended = process.waitForFinished(ms);
            if (!ended) {
                process.kill();
                process.waitForFinished();
            }
            errors += process.readAllStandardError();
            output += process.readAllStandardOutput();
            return ended;
        }
        int exitCode() const {
            return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        }
        // Waits until standard error has a line that `pattern` matches; its match.
        QRegularExpressionMatch waitForError(const QRegularExpression& pattern, int ms = 120000) {
            const QDeadlineTimer deadline(ms);
            for (;;) {
                QRegularExpressionMatchIterator it = pattern.globalMatch(QString::fromLocal8Bit(errors));
                QRegularExpressionMatch last;
                while (it.hasNext())
                    last = it.next();
                if (last.hasMatch()) return last;
                if (process.state() == QProcess::NotRunning || deadline.hasExpired()) return {};
                process.waitForReadyRead(int(std::max<qint64>(1, deadline.remainingTime())));
                errors += process.readAllStandardError();
            }
        }
        QString log() const {
            QFile f(QDir(data()).filePath(QStringLiteral("kelvanor.log")));
            return f.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(f.readAll()) : QString();
        }
        QString describe() const {
            return QStringLiteral("exit %1; stderr: %2; log: %3")
                .arg(exitCode())
                .arg(QString::fromLocal8Bit(errors.right(3000)), log().right(2000));
        }
    };

    // Pixels of `area` of `image` that `is` takes.
    static int pixelsWhere(const QImage& image, QRect area, const std::function<bool(int, int, int)>& is) {
        int n = 0;
        area &= image.rect();
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x) {
                const QRgb p = image.pixel(x, y);
                if (is(qRed(p), qGreen(p), qBlue(p))) ++n;
            }
        return n;
    }
    // A stamp's colour (r, g, b with g half of the strongest of the other two), blended
    // by the letters' edges with the black or white below; the test picture's bars,
    // box and strip have none of these.
    static bool orangeStamp(int r, int g, int b) { return r > 150 && b < 60 && std::abs(2 * g - r) < 40; }
    static bool azureStamp(int r, int g, int b) { return b > 150 && r < 60 && std::abs(2 * g - b) < 40; }

    // A started window program in this process, with the test camera.
    static Master* loadWindow() {
        auto* m = new Master;
        (new MasterEvents(*m))->Form_Load({false, -1});
        return m;
    }
    static void closeWindow(Master* m) {
        wMSVIDEO::Unload();
        delete m;
    }

private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        MsgBoxTest::enable();
        Vars::StartupDirectory = m_dir.path();
        QVERIFY(CreateLog());
        // The parameters files, saved by the window as a user saves them.
        Master* m = loadWindow();
        cMaster::SelectMovieMode(*m);
        m->MovieDisableLimit->setChecked(false);
        m->MovieHoursControl->setValue(0);
        m->MovieMinutesControl->setValue(0);
        m->MovieSecondsControl->setValue(1);
        m->MovieFrameRateControl->setValue(10);
        m->ShowAudioPanel(false);
        MSVIDEO::MovieFileName = m_dir.filePath(QStringLiteral("from-klp.avi"));
        m_movieKlp = m_dir.filePath(QStringLiteral("movie.klp"));
        QVERIFY(cMaster::SaveCaptureParameters(*m, m_movieKlp));

        cMaster::SelectMultipleImageMode(*m);
        m->MultipleImageMode->setCurrentIndex(0); // single-frame AVI
        m->MultipleImageAutoShoot->setChecked(true);
        m->MultipleImageHoursControl->setValue(0);
        m->MultipleImageMinutesControl->setValue(0);
        m->MultipleImageSecondsControl->setValue(1);
        MSVIDEO::MovieFileName = m_dir.filePath(QStringLiteral("run.avi"));
        m_aviRunKlp = m_dir.filePath(QStringLiteral("avirun.klp"));
        QVERIFY(cMaster::SaveCaptureParameters(*m, m_aviRunKlp));
        m->MultipleImageMode->setCurrentIndex(2); // numbered JPEG files
        m_jpegRunKlp = m_dir.filePath(QStringLiteral("jpegrun.klp"));
        QVERIFY(cMaster::SaveCaptureParameters(*m, m_jpegRunKlp));

        cMaster::SelectImageMode(*m);
        m_imageKlp = m_dir.filePath(QStringLiteral("image.klp"));
        QVERIFY(cMaster::SaveCaptureParameters(*m, m_imageKlp));
        closeWindow(m);
    }

    void listDevicesNamesEachWithItsFormats() {
        Run run;
        run.start({QStringLiteral("--list-devices")});
        QVERIFY(run.finish());
        QVERIFY2(run.exitCode() == 0, qPrintable(run.describe()));
        QVERIFY2(run.errors.isEmpty(), qPrintable(run.describe()));
        const QString out = QString::fromLocal8Bit(run.output);
        // The test camera is always there, last.
        const QRegularExpression pattern(
            QStringLiteral("(\\d+): Kelvanor Test Pattern \\(built-in\\)\\n"
                           "    XR24 \\(32-bit RGB\\): 160x120@1-60 .*320x240@1-60 "));
        QVERIFY2(pattern.match(out).hasMatch(), qPrintable(out));
        // Nothing of the window program's start: no log, no lock, no settings.
        QVERIFY(QDir(run.data()).entryList(QDir::Files).isEmpty());
    }

    // A stamped still, each stamp in its colour at its place, as BMP or as JPEG.
    void shotWritesAStampedPicture() {
        Run run;
        const QString file = run.out(QStringLiteral("door.bmp"));
        run.start({QStringLiteral("--shot"), file, QStringLiteral("--text"), QStringLiteral("KELVANOR"),
                   QStringLiteral("--text-colour"), QStringLiteral("#ff8000"), QStringLiteral("--time"),
                   QStringLiteral("bottom-right"), QStringLiteral("--time-colour"), QStringLiteral("#0080ff"),
                   QStringLiteral("--date"), QStringLiteral("bottom-left"), QStringLiteral("--date-colour"),
                   QStringLiteral("#ff8000"), QStringLiteral("--size"), QStringLiteral("640x480")});
        QVERIFY(run.finish());
        QVERIFY2(run.exitCode() == 0, qPrintable(run.describe()));
        // Not on a terminal: nothing but errors, and there are none.
        QVERIFY2(run.errors.isEmpty(), qPrintable(run.describe()));
        const QImage shot(file);
        QCOMPARE(shot.size(), QSize(640, 480));
        // The camera's own picture, its frame number not hidden by the stamps.
        QVERIFY(decodeFrameNumberStrip(shot) >= 0);
        const QRect topLeft(0, 0, 200, 40), bottomRight(440, 400, 200, 80), bottomLeft(0, 400, 200, 80);
        QVERIFY(pixelsWhere(shot, topLeft, orangeStamp) > 20);
        QCOMPARE(pixelsWhere(shot, bottomRight, orangeStamp), 0);
        QVERIFY(pixelsWhere(shot, bottomRight, azureStamp) > 20);
        QCOMPARE(pixelsWhere(shot, topLeft, azureStamp), 0);
        QVERIFY(pixelsWhere(shot, bottomLeft, orangeStamp) > 20); // the date, on the last line
        // The run is logged as any start is; the window's last run is left alone.
        QVERIFY2(run.log().contains(QStringLiteral("Command line: --shot")), qPrintable(run.log()));
        QVERIFY(!QFile::exists(QDir(run.data()).filePath(QStringLiteral("klsr.kl2"))));
        QVERIFY(!QFile::exists(QDir(run.data()).filePath(QStringLiteral("kelvanor.lock"))));
    }

    void shotQualityIsTheJpegQuality() {
        qint64 sizes[2] = {0, 0};
        const char* qualities[2] = {"10", "100"};
        for (int i = 0; i < 2; ++i) {
            Run run;
            const QString file = run.out(QStringLiteral("q.jpg"));
            run.start({QStringLiteral("--shot"), file, QStringLiteral("-q"), QLatin1String(qualities[i])});
            QVERIFY(run.finish());
            QVERIFY2(run.exitCode() == 0, qPrintable(run.describe()));
            const QImage shot(file, "JPG");
            QCOMPARE(shot.size(), QSize(320, 240));
            sizes[i] = QFileInfo(file).size();
        }
        QVERIFY2(sizes[1] > 3 * sizes[0], qPrintable(QStringLiteral("%1 %2").arg(sizes[0]).arg(sizes[1])));
    }

    void recordForSecondsMakesACompleteMovie() {
        Run run;
        const QString file = run.out(QStringLiteral("clip.avi"));
        run.start({QStringLiteral("--record"), file, QStringLiteral("--seconds"), QStringLiteral("2"),
                   QStringLiteral("--rate"), QStringLiteral("10"), QStringLiteral("--no-sound")});
        QVERIFY(run.finish());
        QVERIFY2(run.exitCode() == 0, qPrintable(run.describe()));
        QVERIFY2(run.errors.isEmpty(), qPrintable(run.describe()));
        const AviProbe probe = AviProbe::read(file);
        QVERIFY(probe.opened);
        QCOMPARE(probe.audioStreams, 0);
        QCOMPARE(probe.frameRate.num * 1, 10 * probe.frameRate.den);
        QCOMPARE(probe.videoCodec, QStringLiteral("mjpeg"));
        QVERIFY2(probe.headerFrames >= 5 && probe.headerFrames <= 20,
                 qPrintable(QString::number(probe.headerFrames)));
        QCOMPARE(probe.decodedFrames(), int(probe.headerFrames));
    }

    void recordWithAnotherEncoder() {
        Run run;
        const QString file = run.out(QStringLiteral("raw.avi"));
        run.start({QStringLiteral("--record"), file, QStringLiteral("-t"), QStringLiteral("1"),
                   QStringLiteral("-c"), QStringLiteral("rawvideo"), QStringLiteral("-s"),
                   QStringLiteral("160x120"), QStringLiteral("--no-sound")});
        QVERIFY(run.finish());
        QVERIFY2(run.exitCode() == 0, qPrintable(run.describe()));
        const AviProbe probe = AviProbe::read(file);
        QVERIFY(probe.opened);
        QCOMPARE(probe.videoCodec, QStringLiteral("rawvideo"));
        QCOMPARE(QSize(probe.width, probe.height), QSize(160, 120));
        QVERIFY(probe.headerFrames > 0);
        QCOMPARE(probe.decodedFrames(), int(probe.headerFrames));
    }

    // On a terminal (here a pseudo-terminal that util-linux's script(1) gives it), one
    // progress line rewritten in place, ended when the recording is.
    void aTerminalShowsOneProgressLine() {
        Run run;
        const QString file = run.out(QStringLiteral("seen.avi"));
        const QString command = QStringLiteral("'%1' --record '%2' --seconds 2 --no-sound")
                                    .arg(QStringLiteral(KV_KELVANOR), file);
        run.process.setProcessChannelMode(QProcess::MergedChannels);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(QLatin1String(name));
        env.insert(QStringLiteral("KELVANOR_FOLDER"), run.data());
        run.process.setProcessEnvironment(env);
        run.process.start(QStringLiteral("script"),
                          {QStringLiteral("-qefc"), command, QStringLiteral("/dev/null")});
        QVERIFY(run.finish());
        QVERIFY2(run.exitCode() == 0, qPrintable(run.describe() + QString::fromLocal8Bit(run.output)));
        const QString seen = QString::fromLocal8Bit(run.output);
        static const QRegularExpression line(
            QStringLiteral("^(\\rrecording \\d\\d:\\d\\d:\\d\\d  frames \\d+  dropped \\d+  [0-9.]+ "
                           "[kM]B\\x1b\\[K)+\\r?\\n$"));
        QVERIFY2(line.match(seen).hasMatch(), qPrintable(seen.toUtf8().toPercentEncoding(" :")));
        QVERIFY(AviProbe::read(file).opened);
    }

    // Ctrl+C or a service manager's SIGTERM ends the recording as its stop does: the
    // movie is complete and indexed, and that is a success.
    void aSignalEndsARecordingAsItsStop_data() {
        QTest::addColumn<int>("signalNumber");
        QTest::newRow("SIGINT") << int(SIGINT);
        QTest::newRow("SIGTERM") << int(SIGTERM);
    }
    void aSignalEndsARecordingAsItsStop() {
        QFETCH(int, signalNumber);
        Run run;
        const QString file = run.out(QStringLiteral("until-stopped.avi"));
        run.start(
            {QStringLiteral("--record"), file, QStringLiteral("--no-sound"), QStringLiteral("--progress")});
        // The progress line, a line a second off a terminal.
        static const QRegularExpression line(QStringLiteral(
            "recording (\\d\\d:\\d\\d:\\d\\d)  frames (\\d+)  dropped (\\d+)  ([0-9.]+ [kM]B)\\n"));
        for (;;) {
            const QRegularExpressionMatch m = run.waitForError(line);
            QVERIFY2(m.hasMatch(), qPrintable(run.describe()));
            if (m.captured(2).toInt() >= 5) break;
            run.process.waitForReadyRead(5000);
            run.errors += run.process.readAllStandardError();
        }
        ::kill(pid_t(run.process.processId()), signalNumber);
        QVERIFY(run.finish());
        QVERIFY2(run.exitCode() == 0, qPrintable(run.describe()));
        const AviProbe probe = AviProbe::read(file);
        QVERIFY(probe.opened);
        QVERIFY(probe.headerFrames >= 5);
        QCOMPARE(probe.decodedFrames(), int(probe.headerFrames));
        QVERIFY2(run.log().contains(QStringLiteral("Command line: signal %1").arg(signalNumber)),
                 qPrintable(run.log()));
    }

    // A parameters file the window saved, run once: its mode's capture with its settings.
    void runMovieParametersFile() {
        Run run;
        const QString file = run.out(QStringLiteral("lecture.avi"));
        run.start({QStringLiteral("--run"), m_movieKlp, QStringLiteral("--output"), file});
        QVERIFY(run.finish());
        QVERIFY2(run.exitCode() == 0, qPrintable(run.describe()));
        const AviProbe probe = AviProbe::read(file);
        QVERIFY(probe.opened);
        QCOMPARE(probe.frameRate.num * 1, 10 * probe.frameRate.den);  // the file's rate
        QCOMPARE(probe.audioStreams, 0);                              // and its sound off
        QVERIFY(probe.headerFrames >= 1 && probe.headerFrames <= 10); // its one second
        QCOMPARE(probe.decodedFrames(), int(probe.headerFrames));
    }

    void runMultipleImageParametersFile() {
        Run run;
        const QString movie = run.out(QStringLiteral("timelapse.avi"));
        run.start({QStringLiteral("--run"), m_aviRunKlp, QStringLiteral("-o"), movie,
                   QStringLiteral("--count"), QStringLiteral("2")});
        QVERIFY(run.finish());
        QVERIFY2(run.exitCode() == 0, qPrintable(run.describe()));
        const AviProbe probe = AviProbe::read(movie);
        QVERIFY(probe.opened);
        QCOMPARE(probe.headerFrames, int64_t(2));
        QCOMPARE(probe.decodedFrames(), 2);

        Run files;
        files.start({QStringLiteral("--run"), m_jpegRunKlp, QStringLiteral("-o"),
                     files.out(QStringLiteral("shot.jpg")), QStringLiteral("-n"), QStringLiteral("2")});
        QVERIFY(files.finish());
        QVERIFY2(files.exitCode() == 0, qPrintable(files.describe()));
        QCOMPARE(QDir(files.dir.filePath(QStringLiteral("out"))).entryList(QDir::Files),
                 (QStringList{QStringLiteral("shot00001.jpg"), QStringLiteral("shot00002.jpg")}));
        QCOMPARE(QImage(files.out(QStringLiteral("shot00002.jpg"))).size(), QSize(320, 240));
    }

    void runImageParametersFileAfterADelay() {
        Run run;
        const QString file = run.out(QStringLiteral("still.bmp"));
        run.start({QStringLiteral("--run"), m_imageKlp, QStringLiteral("-o"), file, QStringLiteral("--after"),
                   QStringLiteral("1")});
        QVERIFY(run.finish());
        QVERIFY2(run.exitCode() == 0, qPrintable(run.describe()));
        QCOMPARE(QImage(file).size(), QSize(320, 240));
        QVERIFY2(run.log().contains(QStringLiteral("Command line: the capture starts after 1 s")),
                 qPrintable(run.log()));
    }

    // A signal while the start is awaited: nothing was captured, which is a failure.
    void aSignalDuringTheWaitEndsWithoutAFile() {
        Run run;
        const QString file = run.out(QStringLiteral("never.jpg"));
        run.start({QStringLiteral("--shot"), file, QStringLiteral("--after"), QStringLiteral("3600"),
                   QStringLiteral("--progress")});
        QVERIFY2(run.waitForError(QRegularExpression(QStringLiteral("starts in 01:00:00\\n"))).hasMatch(),
                 qPrintable(run.describe()));
        ::kill(pid_t(run.process.processId()), SIGTERM);
        QVERIFY(run.finish());
        QCOMPARE(run.exitCode(), 1);
        QVERIFY2(run.errors.contains("Ended by signal 15 before the capture started."),
                 qPrintable(run.describe()));
        QVERIFY(!QFile::exists(file));
    }

    // What a script gets wrong: the exit status, a message that says what, and no file.
    void badArguments_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("message");
        const QString shot = QStringLiteral("out.jpg");
        QTest::newRow("unknown option")
            << QStringList{"--shot", shot, "--banner"} << 2 << "Unknown option 'banner'";
        QTest::newRow("missing value") << QStringList{"--record"} << 2 << "Missing value after '--record'";
        QTest::newRow("bad size") << QStringList{"--shot", shot, "--size", "big"} << 2
                                  << "is not of the form WxH";
        QTest::newRow("a size the device does not offer")
            << QStringList{"--shot", shot, "--size", "123x45"} << 1 << "does not offer the size 123x45";
        QTest::newRow("no such device (index)")
            << QStringList{"--shot", shot, "--device", "99"} << 1 << "There is no device '99'";
        QTest::newRow("no such device (name)")
            << QStringList{"--shot", shot, "-d", "Front Door"} << 1 << "There is no device 'Front Door'";
        QTest::newRow("a folder that is not there")
            << QStringList{"--shot", "nowhere/out.jpg"} << 1 << "does not exist";
        QTest::newRow("a folder of the file's name") << QStringList{"--record", "."} << 1 << "it is a folder";
        QTest::newRow("a parameters file that is not one")
            << QStringList{"--run", "notes.klp", "-o", shot} << 1
            << "notes.klp is not a capture parameters file";
        QTest::newRow("a parameters file that is not there")
            << QStringList{"--run", "gone.klp"} << 1 << "there is no such file";
        QTest::newRow("a date in the past")
            << QStringList{"--shot", shot, "--at", "2001-01-01 00:00:00"} << 2 << "has already passed";
        QTest::newRow("an encoder AVI cannot carry")
            << QStringList{"--record", "out.avi", "--encoder", "no-such-encoder"} << 1
            << "There is no video encoder \"no-such-encoder\"";
        QTest::newRow("the window, without a display")
            << QStringList{} << 1 << "there is no display to show the window on";
        QTest::newRow("two commands")
            << QStringList{"--shot", shot, "--record", "out.avi"} << 2 << "one command at a time";
    }
    void badArguments() {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QString, message);
        Run run;
        {
            QFile notes(run.out(QStringLiteral("notes.klp")));
            QVERIFY(notes.open(QIODevice::WriteOnly));
            notes.write("Shopping: milk, eggs\r\n");
        }
        run.start(arguments);
        QVERIFY(run.finish());
        QVERIFY2(run.exitCode() == status, qPrintable(run.describe()));
        const QString errors = QString::fromLocal8Bit(run.errors);
        QVERIFY2(errors.contains(message), qPrintable(run.describe()));
        if (status == 2) QVERIFY2(errors.contains(QStringLiteral("--help")), qPrintable(errors));
        QVERIFY(run.output.isEmpty());
        // Nothing was written where the capture would have gone.
        QCOMPARE(QDir(run.dir.filePath(QStringLiteral("out")))
                     .entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot),
                 QStringList{QStringLiteral("notes.klp")});
    }

    // One program per folder, with a window or without: a capture into a folder that a
    // running program holds is refused, and that program's log is left as it is.
    void aFolderHeldByARunningProgramIsRefused() {
        Run run;
        InstanceLock held(run.data());
        QVERIFY(held.acquire());
        {
            QFile log(QDir(run.data()).filePath(QStringLiteral("kelvanor.log")));
            QVERIFY(log.open(QIODevice::WriteOnly));
            log.write("10:00:00 > LMW\r\n");
        }
        const QString file = run.out(QStringLiteral("a.jpg"));
        run.start({QStringLiteral("--shot"), file});
        QVERIFY(run.finish());
        QCOMPARE(run.exitCode(), 1);
        QVERIFY2(run.errors.contains("is already running"), qPrintable(run.describe()));
        QVERIFY(!QFile::exists(file));
        QCOMPARE(run.log(), QStringLiteral("10:00:00 > LMW\r\n"));
    }

    // A shot from the command line is the window's shot: with the same picture, the
    // same moment and the same stamps, the window's File, Save and the command write
    // the same bytes.
    void aCommandShotIsTheWindowsShot_data() {
        QTest::addColumn<QString>("name");
        QTest::newRow("JPEG") << "shot.jpg";
        QTest::newRow("BMP") << "shot.bmp";
    }
    void aCommandShotIsTheWindowsShot() {
        QFETCH(QString, name);
        Clock::set(QDateTime(QDate(2026, 3, 14), QTime(15, 9, 26)));
        const QImage frame =
            TestPattern::render(QSize(320, 240), TestPattern::ColourBars, 50, 1234, QTime(1, 2, 3));
        VfwTest::setMessageHook([&frame](HWND, UINT msg, WPARAM, LPARAM) -> std::optional<LRESULT> {
            if (msg != WM_CAP_EDIT_COPY) return std::nullopt;
            Clipboard::setPicture(frame);
            return TRUE;
        });
        QTemporaryDir out;
        Master* m = loadWindow();

        // The window: the image panel as a user sets it, the record button, File, Save.
        cMaster::SelectImageMode(*m);
        m->ImageToolbar->setValue(QStringLiteral("time"), 1);
        m->ImageTimePosition->setCurrentIndex(4);
        m->ImageToolbar->setValue(QStringLiteral("text"), 1);
        m->ImageTextPosition->setCurrentIndex(2);
        m->ImageText->setText(QStringLiteral("Gate 3"));
        CommonDialogTest::enable();
        CommonDialogTest::queueColor(0x0000ff); // red, as 0x00BBGGRR
        PanelEvents::ImageToolbar_ButtonClick(*m, QStringLiteral("timecolor"));
        CommonDialogTest::disable();
        m->GlobalToolbar->button(QStringLiteral("record"))->trigger();
        const QString windowFile = out.filePath(QStringLiteral("window-") + name);
        wImage::mainInstance(m->MDIClient)->saveFile(windowFile);
        closeWindow(m);

        // The command line, on a window of its own.
        Vars::StampTimeColor = 0;
        m = loadWindow();
        const CommandLine::Parsed parsed = CommandLine::parse(
            {QStringLiteral("kelvanor"), QStringLiteral("--shot"), name, QStringLiteral("--time"),
             QStringLiteral("bottom-right"), QStringLiteral("--time-colour"), QStringLiteral("red"),
             QStringLiteral("--text"), QStringLiteral("Gate 3"), QStringLiteral("--text-place"),
             QStringLiteral("top-centre")});
        QVERIFY2(parsed.run, qPrintable(parsed.errors));
        cMaster::SelectImageMode(*m);
        CommandRun::applyShotStamps(*m, parsed.request);
        cMaster::CaptureAction(*m, true);
        const QString commandFile = out.filePath(QStringLiteral("command-") + name);
        QString reason;
        QVERIFY2(CommandRun::writeShot(*m, commandFile, parsed.request.quality, &reason), qPrintable(reason));
        // The same surface at another quality differs: the comparison can fail.
        const QString otherQuality = out.filePath(QStringLiteral("q50-") + name);
        QVERIFY(CommandRun::writeShot(*m, otherQuality, 50, &reason));
        closeWindow(m);
        VfwTest::setMessageHook({});
        Clock::reset();

        QFile a(windowFile), b(commandFile), c(otherQuality);
        QVERIFY(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly) && c.open(QIODevice::ReadOnly));
        const QByteArray windowBytes = a.readAll();
        QVERIFY(windowBytes.size() > 1000);
        QCOMPARE(b.readAll(), windowBytes);
        if (name.endsWith(QLatin1String(".jpg"))) QVERIFY(c.readAll() != windowBytes);
    }
};

QTEST_MAIN(TestCommandRun)
#include "tst_commandrun.moc"
