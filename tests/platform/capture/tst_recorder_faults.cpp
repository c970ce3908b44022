#include "RecorderFixture.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <csignal>
#include <cstdio>

// Faults that must not lose the movie: a recording killed outright, and a disk
// that fills up. Both run in a child process (this test program again, running
// one of the helper functions below).
class TestRecorderFaults : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    static QProcess* startChild(const QString& function, const QProcessEnvironment& env,
                                const QString& program = {}, const QStringList& args = {}) {
        auto* child = new QProcess;
        child->setProcessEnvironment(env);
        child->setProcessChannelMode(QProcess::SeparateChannels);
        if (program.isEmpty())
            child->start(QCoreApplication::applicationFilePath(), {function});
        else
            child->start(program, args);
        return child;
    }

private slots:
    // The child records the test pattern in real time until it is killed; what it
    // had written up to about one second before must decode.
    void killedRecordingStaysReadable() {
        const QString file = m_dir.filePath(QStringLiteral("killed.avi"));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("KV_RECORDER_CHILD_FILE"), file);
        std::unique_ptr<QProcess> child(startChild(QStringLiteral("childRecordsUntilKilled"), env));
        QVERIFY(child->waitForStarted());
        int written = 0;
        QByteArray out;
        while (written < 45) {
            QVERIFY2(child->waitForReadyRead(20000), "the recording child stopped reporting");
            out += child->readAllStandardOutput();
            const int line = out.lastIndexOf("written ", out.size() - 2);
            if (line >= 0) written = out.mid(line + 8).split('\n').first().toInt();
        }
        ::kill(pid_t(child->processId()), SIGKILL);
        QVERIFY(child->waitForFinished(10000));
        QCOMPARE(child->exitStatus(), QProcess::CrashExit);

        const AviProbe probe = AviProbe::read(file);
        QVERIFY(probe.opened);
        QCOMPARE(probe.videoStreams, 1);
        QVERIFY2(
            probe.decodedFrames() >= written - 15,
            qPrintable(QStringLiteral("%1 decoded of %2 written").arg(probe.decodedFrames()).arg(written)));
        QCOMPARE(probe.strip.first(), 0);
        for (int i = 1; i < probe.decodedFrames(); ++i)
            QVERIFY(probe.strip[i] >= probe.strip[i - 1]);
    }

    // A 3 MB file system: the recording stops by itself, says why, and the file
    // is complete (header and index written).
    void fullDiskEndsWithACompleteFile() {
        if (QStandardPaths::findExecutable(QStringLiteral("unshare")).isEmpty())
            QSKIP("unshare is not installed");
        const QString mountPoint = m_dir.filePath(QStringLiteral("tiny"));
        QVERIFY(QDir().mkpath(mountPoint));
        const QString out = m_dir.filePath(QStringLiteral("full.avi"));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("KV_RECORDER_TINY_DIR"), mountPoint);
        env.insert(QStringLiteral("KV_RECORDER_CHILD_FILE"), out);
        const QString script = QStringLiteral(
            "mount -t tmpfs -o size=3m kvtiny \"$KV_RECORDER_TINY_DIR\" || exit 77; exec \"$0\" "
            "childRecordsOntoTinyDisk");
        std::unique_ptr<QProcess> child(
            startChild({}, env, QStringLiteral("unshare"),
                       {QStringLiteral("-rm"), QStringLiteral("sh"), QStringLiteral("-c"), script,
                        QCoreApplication::applicationFilePath()}));
        QVERIFY(child->waitForFinished(60000));
        const QByteArray output = child->readAllStandardOutput() + child->readAllStandardError();
        if (child->exitCode() == 77 || output.contains("unshare failed") ||
            output.contains("Operation not permitted"))
            QSKIP("no user namespaces here to mount a small file system");
        QVERIFY2(child->exitCode() == 0, output.constData());
        QVERIFY2(output.contains("status 415 The disk is full"), output.constData());
        QVERIFY2(output.contains("status 301"), output.constData());
        const AviProbe probe = AviProbe::read(out);
        QVERIFY(probe.decodedFrames() > 10);
        QVERIFY2(probe.headerFrames == probe.decodedFrames(), output.constData());
        // The message tells the number of frames the file really holds.
        const int at = output.indexOf("stopped with ");
        QCOMPARE(output.mid(at + 13).split(' ').first().toInt(), probe.decodedFrames());
        for (int i = 0; i < probe.decodedFrames(); ++i)
            QCOMPARE(probe.strip[i], i);
    }

    // --- helpers run in the child process ---
    void childRecordsUntilKilled() {
        const QString file = qEnvironmentVariable("KV_RECORDER_CHILD_FILE");
        if (file.isEmpty()) QSKIP("helper of killedRecordingStaysReadable");
        Recorder recorder;
        RecordingLog log;
        log.attach(recorder, this, file);
        RecorderSettings s;
        s.filePath = file;
        QVERIFY(recorder.start(s));
        KV_WAIT_BEGIN(log);
        // A camera at 15 frames per second, until the parent kills this process.
        const int64_t start = monotonicTimeUs();
        for (uint64_t i = 0;; ++i) {
            const int64_t due = start + int64_t(i) * 66667;
            while (monotonicTimeUs() < due)
                QThread::usleep(2000);
            recorder.pushFrame(patternFrame(i, monotonicTimeUs()));
            std::printf("written %u\n", recorder.progress().videoFrames);
            std::fflush(stdout);
        }
    }

    void childRecordsOntoTinyDisk() {
        const QString dir = qEnvironmentVariable("KV_RECORDER_TINY_DIR");
        const QString out = qEnvironmentVariable("KV_RECORDER_CHILD_FILE");
        if (dir.isEmpty()) QSKIP("helper of fullDiskEndsWithACompleteFile");
        const QString file = dir + QStringLiteral("/movie.avi");
        Recorder recorder;
        RecordingLog log;
        log.attach(recorder, this, file);
        RecorderSettings s;
        s.filePath = file;
        s.quality = 95;
        s.reserveBytes = 256 * 1024;
        QVERIFY(recorder.start(s));
        KV_WAIT_BEGIN(log);
        for (int i = 0; i < 2000 && recorder.progress().capturing && !log.finished; ++i)
            recorder.pushFrame(patternFrame(uint64_t(i), 1000000 + i * 66667, {640, 480}), true);
        recorder.stop();
        KV_WAIT_END(log);
        for (const auto& e : log.statuses)
            std::printf("status %d %s\n", e.id, qPrintable(e.text));
        std::fflush(stdout);
        QFile::remove(out);
        QVERIFY(QFile::copy(file, out));
    }
};

QTEST_MAIN(TestRecorderFaults)
#include "tst_recorder_faults.moc"
