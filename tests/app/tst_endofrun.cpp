#include "AviProbe.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>

// The program as a process, ended the ways a desktop and a terminal end it: the
// event loop left without the close request, Ctrl+C, a logout, a service manager.
class TestEndOfRun : public QObject {
    Q_OBJECT

    // One run of the program in its own start-up folder and home.
    struct Run {
        QTemporaryDir dir;
        QProcess process;
        QByteArray output;

        void start(const QString& scenario, const QStringList& args = {}) {
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QStringLiteral("HOME"), dir.path());
            env.insert(QStringLiteral("XDG_DATA_HOME"), dir.filePath(QStringLiteral("share")));
            env.insert(QStringLiteral("KELVANOR_FOLDER"), dir.path());
            env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
            process.setProcessEnvironment(env);
            process.setWorkingDirectory(dir.path());
            process.start(QStringLiteral(KV_HARNESS), QStringList{scenario} + args);
        }
        // Waits for the program to print `word` (it prints as it goes).
        bool waitFor(const QByteArray& word, int ms = 60000) {
            const QDeadlineTimer deadline(ms);
            while (!output.contains(word + '\n')) {
                if (process.state() == QProcess::NotRunning || deadline.hasExpired()) return false;
                process.waitForReadyRead(int(std::max<qint64>(1, deadline.remainingTime())));
                output += process.readAllStandardOutput();
            }
            return true;
        }
        void signal(int number) { ::kill(pid_t(process.processId()), number); }
        // Every thread's stack of the running program, when gdb is there to read them.
        QString stacks() {
            if (process.state() != QProcess::Running) return {};
            QProcess gdb;
            gdb.start(QStringLiteral("gdb"),
                      {QStringLiteral("-p"), QString::number(process.processId()), QStringLiteral("-batch"),
                       QStringLiteral("-ex"), QStringLiteral("thread apply all bt 30")});
            if (!gdb.waitForFinished(60000)) return {};
            return QString::fromLocal8Bit(gdb.readAllStandardOutput().right(20000)) + '\n';
        }
        bool finished(int ms = 60000) { return process.waitForFinished(ms); }
        QString log() {
            QFile f(dir.filePath(QStringLiteral("kelvanor.log")));
            return f.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(f.readAll()) : QString();
        }
        // Ended by its own exit with status 0, not by a signal or a crash.
        bool endedCleanly() {
            return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
        }
        QString describe() {
            return QStringLiteral("exit %1 (%2); stderr: %3")
                .arg(process.exitCode())
                .arg(process.exitStatus() == QProcess::NormalExit ? "normal" : "crashed")
                .arg(QString::fromLocal8Bit(process.readAllStandardError().right(2000)));
        }
    };

private slots:
    void leavingTheLoopWithoutTheCloseRequestEndsCleanly() {
        // The camera thread was still painting while the libraries went away: a crash
        // in about one run out of four.
        for (int i = 0; i < 4; ++i) {
            Run run;
            run.start(QStringLiteral("preview"));
            // A slow machine under a sanitizer can take long to start; a hang says where.
            QVERIFY2(run.waitFor("LOADED", 120000), qPrintable(run.stacks() + run.describe()));
            QVERIFY(run.finished());
            QVERIFY2(run.endedCleanly(), qPrintable(run.describe()));
        }
    }

    void signalDuringARecordingEndsItAsAStop_data() {
        QTest::addColumn<int>("signalNumber");
        QTest::newRow("SIGTERM") << SIGTERM;
        QTest::newRow("SIGINT (Ctrl+C)") << SIGINT;
        QTest::newRow("SIGHUP") << SIGHUP;
    }
    void signalDuringARecordingEndsItAsAStop() {
        QFETCH(int, signalNumber);
        Run run;
        const QString movie = run.dir.filePath(QStringLiteral("interrupted.avi"));
        run.start(QStringLiteral("record"), {movie});
        QVERIFY2(run.waitFor("RECORDING"), qPrintable(run.describe()));
        run.signal(signalNumber);
        QVERIFY(run.finished());
        QVERIFY2(run.endedCleanly(), qPrintable(run.describe()));
        // A complete movie: its headers give the frames that are in it.
        const AviProbe probe = AviProbe::read(movie);
        QVERIFY(probe.opened);
        QVERIFY(probe.headerFrames >= 5);
        QCOMPARE(probe.decodedFrames(), int(probe.headerFrames));
        QVERIFY(run.log().contains(QStringLiteral("End asked from outside (signal %1)").arg(signalNumber)));
        // The last run is kept, in the mode it was in.
        QFile lastRun(run.dir.filePath(QStringLiteral("klsr.kl2")));
        QVERIFY(lastRun.open(QIODevice::ReadOnly));
        QVERIFY(lastRun.readAll().contains("interrupted.avi"));
    }

    void signalDuringAMultipleImageRunClosesItsMovie() {
        Run run;
        const QString movie = run.dir.filePath(QStringLiteral("shots.avi"));
        run.start(QStringLiteral("run"), {movie});
        QVERIFY2(run.waitFor("RUNNING"), qPrintable(run.describe()));
        run.signal(SIGTERM);
        QVERIFY(run.finished());
        QVERIFY2(run.endedCleanly(), qPrintable(run.describe()));
        const AviProbe probe = AviProbe::read(movie);
        QVERIFY(probe.opened);
        QCOMPARE(probe.headerFrames, int64_t(3));
        QCOMPARE(probe.decodedFrames(), 3);
    }

    void aSecondSignalEndsAtOnce() {
        Run run;
        run.start(QStringLiteral("record"), {run.dir.filePath(QStringLiteral("hurry.avi"))});
        QVERIFY2(run.waitFor("RECORDING"), qPrintable(run.describe()));
        // Two different signals: two of one kind may reach the process as one.
        run.signal(SIGTERM);
        run.signal(SIGINT);
        QVERIFY(run.finished());
        QCOMPARE(run.process.exitStatus(), QProcess::CrashExit); // ended by the signal itself
    }
};

QTEST_MAIN(TestEndOfRun)
#include "tst_endofrun.moc"
