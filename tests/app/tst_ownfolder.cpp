#include "DesktopSession.h"

#include <QtTest>

// The program as a user starts it, from a menu (in the home folder) or from a terminal
// anywhere: it keeps its files in its own data folder, finds the codec information it
// was installed with, and one program holds a folder at a time.
class TestOwnFolder : public QObject {
    Q_OBJECT

    DesktopSession m_session;  // only its throwaway home; no services
    QTemporaryDir m_installed; // stands in for /usr/share: video-kelvanor/codec.kl

    QString home() const { return m_session.runtimeDir() + QStringLiteral("/home"); }
    QString dataFolder() const { return home() + QStringLiteral("/.local/share/video-kelvanor"); }
    QProcessEnvironment environment() const {
        QProcessEnvironment env = m_session.environment();
        env.remove(QStringLiteral("XDG_DATA_HOME")); // the default, ~/.local/share
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("XDG_DATA_DIRS"), m_installed.path());
        return env;
    }

private slots:
    void initTestCase() {
        QVERIFY(QDir().mkpath(home()));
        QVERIFY(QDir().mkpath(m_installed.filePath(QStringLiteral("video-kelvanor"))));
        QVERIFY(QFile::copy(QStringLiteral(KV_CODEC_INFO),
                            m_installed.filePath(QStringLiteral("video-kelvanor/codec.kl"))));
    }

    // Started from "/" or from the home folder (as a desktop menu starts it), the event
    // log, the last run and the camera settings go to ~/.local/share/video-kelvanor, made
    // when missing; nothing lands in the folder it was started in.
    void startedAnywhereItKeepsItsFilesInItsDataFolder_data() {
        QTest::addColumn<QString>("where");
        QTest::newRow("from /") << "/";
        QTest::newRow("from the home folder") << "HOME";
    }
    void startedAnywhereItKeepsItsFilesInItsDataFolder() {
        QFETCH(QString, where);
        const QString cwd = where == QLatin1String("HOME") ? home() : where;
        QDir(dataFolder()).removeRecursively();
        const QStringList before =
            QDir(cwd).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
        ProgramRun run;
        run.start(environment(), {QStringLiteral("quit")}, false, cwd);
        QVERIFY2(!run.waitFor("LOADED").isEmpty(), qPrintable(run.describe()));
        QVERIFY(run.finished());
        QVERIFY2(run.endedCleanly(), qPrintable(run.describe()));
        QVERIFY2(run.output.contains("BOX Are you sure you want to quit ?"), qPrintable(run.describe()));
        for (const char* name : {"kelvanor.log", "klsr.kl2", "cameras.ini"})
            QVERIFY2(QFile::exists(dataFolder() + QLatin1Char('/') + QLatin1String(name)), name);
        QFile log(dataFolder() + QStringLiteral("/kelvanor.log"));
        QVERIFY(log.open(QIODevice::ReadOnly));
        QVERIFY(log.readAll().contains("KL2 ok"));
        const QStringList after = QDir(cwd).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
        QStringList added = after;
        for (const QString& name : before)
            added.removeAll(name);
        if (cwd == home()) added.removeAll(QStringLiteral(".local")); // the data folder's parents
        QCOMPARE(added, QStringList());
        // Released at the end.
        QVERIFY(!QFile::exists(dataFolder() + QStringLiteral("/kelvanor.lock")));
    }

    // With codec.kl only where the program was installed, the compressors window
    // describes every compressor and says nothing.
    void compressorsAreDescribedFromTheInstalledCodecInfo() {
        ProgramRun run;
        run.start(environment(), {QStringLiteral("codecs")}, false, QStringLiteral("/"));
        const QString line = run.waitFor("CODECS");
        QVERIFY2(!line.isEmpty(), qPrintable(run.describe()));
        QVERIFY(run.finished());
        QVERIFY2(run.endedCleanly(), qPrintable(run.describe()));
        const QStringList counts = line.split(QLatin1Char(' '));
        QVERIFY2(counts.value(1).toInt() > 10 && counts.value(1) == counts.value(2), qPrintable(line));
        QVERIFY2(!run.output.contains("BOX "), qPrintable(run.describe()));
    }

    // Without codec.kl anywhere, the window says so once.
    void missingCodecInfoIsSaidOnce() {
        QProcessEnvironment env = environment();
        env.insert(QStringLiteral("XDG_DATA_DIRS"), m_session.runtimeDir() + QStringLiteral("/nothing"));
        ProgramRun run;
        run.start(env, {QStringLiteral("codecs")});
        QVERIFY2(!run.waitFor("CODECS").isEmpty(), qPrintable(run.describe()));
        QVERIFY(run.finished());
        QCOMPARE(run.output.count("BOX "), 1);
        QVERIFY(run.output.contains("BOX ERROR C100: Can't find CODEC Information file."));
    }

    // A second start in the folder a running program holds is refused, naming it, and
    // leaves that program's log alone; one with its own folder runs beside it. A lock
    // left by a program that was killed does not stop the next start.
    void oneProgramPerFolder() {
        ProgramRun first;
        first.start(environment(),
                    {QStringLiteral("record"), first.dir.filePath(QStringLiteral("movie.avi"))});
        QVERIFY2(!first.waitFor("RECORDING").isEmpty(), qPrintable(first.describe()));

        ProgramRun second;
        QProcessEnvironment same = environment();
        same.insert(QStringLiteral("KELVANOR_FOLDER"), first.dir.path());
        second.start(same, {QStringLiteral("preview")}, false);
        QVERIFY(second.finished());
        QCOMPARE(second.process.exitCode(), 1);
        const QString stderrText = QString::fromLocal8Bit(second.process.readAllStandardError());
        QVERIFY2(second.output.contains(
                     "BOX Video Kelvanor 2000 is already running with its files in the folder " +
                     QFile::encodeName(first.dir.path())) &&
                     second.output.contains("(process " + QByteArray::number(first.process.processId())),
                 qPrintable(second.describe()));
        QVERIFY2(stderrText.contains(QStringLiteral("already running")), qPrintable(stderrText));
        QFile log(first.dir.filePath(QStringLiteral("kelvanor.log")));
        QVERIFY(log.open(QIODevice::ReadOnly));
        QVERIFY(log.readAll().contains("RECPROC i")); // the first program's log, not emptied

        ProgramRun beside;
        beside.start(environment(), {QStringLiteral("preview")});
        QVERIFY2(!beside.waitFor("LOADED").isEmpty(), qPrintable(beside.describe()));
        QVERIFY(beside.finished());
        QVERIFY2(beside.endedCleanly(), qPrintable(beside.describe()));

        first.signal(SIGKILL); // a crash: its lock file stays behind
        QVERIFY(first.finished());
        QVERIFY(QFile::exists(first.dir.filePath(QStringLiteral("kelvanor.lock"))));
        ProgramRun after;
        after.start(same, {QStringLiteral("preview")}, false);
        QVERIFY2(!after.waitFor("LOADED").isEmpty(), qPrintable(after.describe()));
        QVERIFY(after.finished());
        QVERIFY2(after.endedCleanly(), qPrintable(after.describe()));
    }

    // File names the user gives keep meaning the folder the program was started in.
    void relativeFileNamesMeanTheWorkingDirectory() {
        QTemporaryDir work;
        ProgramRun run;
        run.start(environment(), {QStringLiteral("record"), QStringLiteral("relative.avi")}, true,
                  work.path());
        QVERIFY2(!run.waitFor("RECORDING").isEmpty(), qPrintable(run.describe()));
        run.signal(SIGTERM);
        QVERIFY(run.finished());
        QVERIFY2(run.endedCleanly(), qPrintable(run.describe()));
        QVERIFY(QFile::exists(work.filePath(QStringLiteral("relative.avi"))));
        QVERIFY(!QFile::exists(run.dir.filePath(QStringLiteral("relative.avi"))));
    }
};

QTEST_GUILESS_MAIN(TestOwnFolder)
#include "tst_ownfolder.moc"
