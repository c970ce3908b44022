#include "AviProbe.h"
#include "DesktopSession.h"

#include <QtTest>

// The program on a Wayland desktop (a headless Weston, Qt's Wayland platform): it
// loads at its size, records, plays the movie back, and its full-screen window covers
// the screen.
class TestWayland : public QObject {
    Q_OBJECT

    DesktopSession m_session;
    QTemporaryDir m_dir;

    QString movie() const { return m_dir.filePath(QStringLiteral("wayland.avi")); }

private slots:
    void initTestCase() {
        const QString why = m_session.startWeston();
        if (!why.isEmpty()) QSKIP(qPrintable(why));
    }

    void loadsAndRecords() {
        ProgramRun run;
        run.start(m_session.environment(), {QStringLiteral("record"), movie()});
        QVERIFY2(!run.waitFor("LOADED").isEmpty(), qPrintable(run.describe()));
        QCOMPARE(run.waitFor("PLATFORM"), QStringLiteral("PLATFORM wayland"));
        // 640 x 480 with the frame that the Wayland platform draws around the window.
        QCOMPARE(run.waitFor("WINDOW"), QStringLiteral("WINDOW 640x480"));
        QVERIFY2(!run.waitFor("RECORDING").isEmpty(), qPrintable(run.describe()));
        run.signal(SIGTERM);
        QVERIFY(run.finished());
        QVERIFY2(run.endedCleanly(), qPrintable(run.describe()));
        const AviProbe probe = AviProbe::read(movie());
        QVERIFY(probe.opened);
        QVERIFY(probe.headerFrames >= 5);
        QCOMPARE(probe.decodedFrames(), int(probe.headerFrames));
    }

    void playsTheMovieBack() {
        if (!QFile::exists(movie())) QSKIP("no movie: the recording failed");
        const AviProbe probe = AviProbe::read(movie());
        ProgramRun run;
        run.start(m_session.environment(), {QStringLiteral("play"), movie()});
        const QString line = run.waitFor("PLAYING");
        QVERIFY2(!line.isEmpty(), qPrintable(run.describe()));
        QCOMPARE(line, QStringLiteral("PLAYING %1x%2").arg(probe.width).arg(probe.height));
        QVERIFY(run.finished());
        QVERIFY2(run.endedCleanly(), qPrintable(run.describe()));
    }

    // The compositor, not the program, places windows on Wayland: the full-screen window
    // asks for the full-screen state and gets the whole screen.
    void fullScreenCoversTheScreen() {
        ProgramRun run;
        run.start(m_session.environment(), {QStringLiteral("full")});
        const QString line = run.waitFor("FULL");
        QVERIFY2(!line.isEmpty(), qPrintable(run.describe()));
        QCOMPARE(line, QStringLiteral("FULL 0,0,1024x768 0,0,1024x768 fullscreen"));
        QVERIFY(run.finished());
        QVERIFY2(run.endedCleanly(), qPrintable(run.describe()));
        QVERIFY(run.output.contains("BOX Press any key to leave Fullscreen mode..."));
    }
};

QTEST_GUILESS_MAIN(TestWayland)
#include "tst_wayland.moc"
