#include "AviProbe.h"
#include "DesktopSession.h"

#include <QRegularExpression>
#include <QtTest>

// The program with PipeWire's PulseAudio server in place of a PulseAudio daemon: a movie
// recorded with sound has the tone that plays meanwhile, as long as its pictures.
class TestPipeWire : public QObject {
    Q_OBJECT

    DesktopSession m_session;

    // The mean loudness of the movie's sound, in dB (ffmpeg's volumedetect).
    static double meanVolume(const QString& file) {
        QProcess ffmpeg;
        ffmpeg.setProcessChannelMode(QProcess::MergedChannels);
        ffmpeg.start(QStringLiteral("ffmpeg"),
                     {QStringLiteral("-hide_banner"), QStringLiteral("-nostdin"), QStringLiteral("-i"), file,
                      QStringLiteral("-vn"), QStringLiteral("-af"), QStringLiteral("volumedetect"),
                      QStringLiteral("-f"), QStringLiteral("null"), QStringLiteral("-")});
        if (!ffmpeg.waitForFinished(60000)) return -1000;
        const auto match = QRegularExpression(QStringLiteral("mean_volume: (-?[0-9.]+) dB"))
                               .match(QString::fromLocal8Bit(ffmpeg.readAll()));
        return match.hasMatch() ? match.captured(1).toDouble() : -1000;
    }

private slots:
    void initTestCase() {
        const QString why = m_session.startPipeWire();
        if (!why.isEmpty()) QSKIP(qPrintable(why));
        QString info;
        QVERIFY(m_session.pactl({QStringLiteral("info")}, &info));
        QVERIFY2(info.contains(QStringLiteral("on PipeWire")), qPrintable(info));
    }

    void aMovieGetsItsSound() {
        QVERIFY(m_session.playTone());
        ProgramRun run;
        const QString movie = run.dir.filePath(QStringLiteral("sound.avi"));
        QProcessEnvironment env = m_session.environment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        run.start(env, {QStringLiteral("sound"), movie});
        QVERIFY2(!run.waitFor("RECORDING").isEmpty(), qPrintable(run.describe()));
        run.signal(SIGTERM);
        QVERIFY(run.finished());
        QVERIFY2(run.endedCleanly(), qPrintable(run.describe()));
        const AviProbe probe = AviProbe::read(movie);
        QVERIFY(probe.opened);
        QCOMPARE(probe.audioStreams, 1);
        QVERIFY2(probe.audioSeconds() > 0 && qAbs(probe.audioSeconds() - probe.videoSeconds()) <= 0.5,
                 qPrintable(QStringLiteral("%1 s of sound, %2 s of pictures")
                                .arg(probe.audioSeconds())
                                .arg(probe.videoSeconds())));
        // The tone, not silence (a silent stream reads about -91 dB).
        const double volume = meanVolume(movie);
        QVERIFY2(volume > -40, qPrintable(QStringLiteral("mean volume %1 dB").arg(volume)));
    }
};

QTEST_GUILESS_MAIN(TestPipeWire)
#include "tst_pipewire.moc"
