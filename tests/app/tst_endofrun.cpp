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
        QProcessEnvironment extraEnv; // the harness's seams

        void start(const QString& scenario, const QStringList& args = {}) {
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            for (const QString& name : extraEnv.keys())
                env.insert(name, extraEnv.value(name));
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

    // One request delivered twice, as `timeout` (the program, then its process group),
    // a shell killing a job, a service manager or a logout (SIGTERM, then SIGHUP) deliver
    // it: the end stays orderly. The grace period is a minute here, so that a stall of
    // this test between its two kill() calls cannot make the repeat a forced end; the
    // program's own period is tried against a driven clock in tst_terminationsignals.
    void aRepeatedSignalIsFoldedIntoTheOrderlyEnd_data() {
        QTest::addColumn<QString>("scenario");
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("repeat");
        const QString record = QStringLiteral("record");
        const QString idle = QStringLiteral("idle");
        QTest::newRow("recording, SIGTERM twice") << record << int(SIGTERM) << int(SIGTERM);
        QTest::newRow("recording, SIGINT twice") << record << int(SIGINT) << int(SIGINT);
        QTest::newRow("recording, SIGTERM then SIGHUP") << record << int(SIGTERM) << int(SIGHUP);
        QTest::newRow("idle, SIGTERM twice") << idle << int(SIGTERM) << int(SIGTERM);
        QTest::newRow("idle, SIGTERM then SIGHUP") << idle << int(SIGTERM) << int(SIGHUP);
        QTest::newRow("multiple-image run, SIGTERM then SIGHUP")
            << QStringLiteral("run") << int(SIGTERM) << int(SIGHUP);
    }
    void aRepeatedSignalIsFoldedIntoTheOrderlyEnd() {
        QFETCH(QString, scenario);
        QFETCH(int, first);
        QFETCH(int, repeat);
        Run run;
        run.extraEnv.insert(QStringLiteral("KV_HARNESS_SIGNAL_GRACE_MS"), QStringLiteral("60000"));
        const QString movie = run.dir.filePath(QStringLiteral("twice.avi"));
        run.start(scenario, {movie});
        const QByteArray ready = scenario == QLatin1String("record") ? "RECORDING"
                                 : scenario == QLatin1String("run")  ? "RUNNING"
                                                                     : "LOADED";
        QVERIFY2(run.waitFor(ready, 120000), qPrintable(run.stacks() + run.describe()));
        run.signal(first);
        run.signal(repeat); // within microseconds
        QVERIFY2(run.finished(), qPrintable(run.stacks() + run.describe()));
        QVERIFY2(run.endedCleanly(), qPrintable(run.describe() + run.log()));
        const QString log = run.log();
        // Two handlers on two threads at once may count either signal as the first.
        QVERIFY2(log.contains(QStringLiteral("End asked from outside (signal %1)").arg(first)) ||
                     log.contains(QStringLiteral("End asked from outside (signal %1)").arg(repeat)),
                 qPrintable(log));
        QVERIFY2(!log.contains(QStringLiteral("End forced")), qPrintable(log));
        QVERIFY2(log.contains(QStringLiteral("> End\r\n")), qPrintable(log));
        QFile lastRun(run.dir.filePath(QStringLiteral("klsr.kl2")));
        QVERIFY(lastRun.open(QIODevice::ReadOnly));
        QVERIFY(lastRun.size() > 0);
        if (scenario == QLatin1String("idle")) return;
        // The movie complete and indexed.
        const AviProbe probe = AviProbe::read(movie);
        QVERIFY(probe.opened);
        if (scenario == QLatin1String("run"))
            QCOMPARE(probe.headerFrames, int64_t(3));
        else
            QVERIFY(probe.headerFrames >= 5);
        QCOMPARE(probe.decodedFrames(), int(probe.headerFrames));
    }

    // A second signal after the grace period, while the orderly end has not finished,
    // ends the program at once by the signal: the way out for a person when the end
    // takes long, also when the UI thread is stuck. The grace period is zero here and
    // the UI thread stops once the first signal reaches it, so the second one always
    // comes after the period and before the end.
    void aSecondSignalAfterTheGracePeriodEndsAtOnce_data() {
        QTest::addColumn<QString>("scenario");
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("second");
        QTest::newRow("recording, SIGTERM then Ctrl+C")
            << QStringLiteral("record") << int(SIGTERM) << int(SIGINT);
        QTest::newRow("recording, Ctrl+C twice") << QStringLiteral("record") << int(SIGINT) << int(SIGINT);
        QTest::newRow("idle, SIGTERM then SIGHUP") << QStringLiteral("idle") << int(SIGTERM) << int(SIGHUP);
    }
    void aSecondSignalAfterTheGracePeriodEndsAtOnce() {
        QFETCH(QString, scenario);
        QFETCH(int, first);
        QFETCH(int, second);
        Run run;
        run.extraEnv.insert(QStringLiteral("KV_HARNESS_SIGNAL_GRACE_MS"), QStringLiteral("0"));
        run.extraEnv.insert(QStringLiteral("KV_HARNESS_HOLD_END"), QStringLiteral("1"));
        run.start(scenario, {run.dir.filePath(QStringLiteral("hurry.avi"))});
        const QByteArray ready = scenario == QLatin1String("record") ? "RECORDING" : "LOADED";
        QVERIFY2(run.waitFor(ready, 120000), qPrintable(run.stacks() + run.describe()));
        run.signal(first);
        QVERIFY2(run.waitFor("SIGNALLED"), qPrintable(run.describe()));
        run.signal(second);
        QVERIFY2(run.finished(), qPrintable(run.stacks() + run.describe()));
        QCOMPARE(run.process.exitStatus(), QProcess::CrashExit); // ended by the signal itself
        const QString log = run.log();
        QVERIFY2(log.contains(QStringLiteral("End forced from outside (signal %1)\r\n").arg(second)),
                 qPrintable(log));
    }
};

QTEST_MAIN(TestEndOfRun)
#include "tst_endofrun.moc"
