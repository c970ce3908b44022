// The program itself (the harness runs its executable's set-up, StartUp and event
// loop) with the emulated camera preloaded: it lists the camera before its built-in
// test pattern, and records a movie of the camera's own JPEGs.

#include "AviProbe.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>

class TestProgramThroughEmulator : public QObject {
    Q_OBJECT

    struct Run {
        QTemporaryDir dir;
        QProcess process;
        QByteArray output;

        void start(const QString& scenario, const QStringList& args = {}) {
            const QString config = dir.filePath(QStringLiteral("cameras.conf"));
            QFile file(config);
            if (file.open(QIODevice::WriteOnly))
                file.write("camera /dev/video42\ncard = Kelvanor Desk\nbus = usb-0000:00:14.0-2\n"
                           "format = MJPG 1280x720@30 640x480@30\nformat = YUYV 640x480@30\n"
                           "control = brightness -64 64 1 0\n");
            file.close();
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QStringLiteral("HOME"), dir.path());
            env.insert(QStringLiteral("XDG_DATA_HOME"), dir.filePath(QStringLiteral("share")));
            env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
            env.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(KV_CAMERA_EMULATOR));
            env.insert(QStringLiteral("KV_CAMERA_EMULATOR_CONFIG"), config);
            process.setProcessEnvironment(env);
            process.setWorkingDirectory(dir.path());
            process.start(QStringLiteral(KV_HARNESS), QStringList{scenario} + args);
        }
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
};

QTEST_MAIN(TestProgramThroughEmulator)
#include "tst_programthroughemulator.moc"
