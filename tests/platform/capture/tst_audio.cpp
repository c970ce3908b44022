#include "PulseServer.h"
#include "RecorderFixture.h"
#include "recorder/AudioInput.h"

#include <QTemporaryDir>
#include <atomic>
#include <mutex>
#include <thread>

// Sound from a real PulseAudio server (a private one with a null sink playing a
// tone): the input itself, movies with sound in each format, and a missing server.
class TestAudio : public QObject {
    Q_OBJECT

    PulseServer m_pulse;
    QString m_noServer;
    QTemporaryDir m_dir;

    // A camera in real time at 15 frames per second until the recording ends.
    static void runCamera(Recorder& recorder, std::atomic<bool>& stop) {
        const int64_t start = monotonicTimeUs();
        for (uint64_t i = 0; !stop; ++i) {
            const int64_t due = start + int64_t(i) * 66667;
            while (monotonicTimeUs() < due && !stop)
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            recorder.pushFrame(patternFrame(i, monotonicTimeUs()));
        }
    }

private slots:
    void initTestCase() {
        m_noServer = m_pulse.start();
        if (m_noServer.isEmpty()) QVERIFY(m_pulse.playTone());
    }
    void cleanupTestCase() { m_pulse.stop(); }

    void inputDeliversTimedBlocks() {
        if (!m_noServer.isEmpty()) QSKIP(qPrintable(m_noServer));
        AudioInput input;
        AudioFormat format{1, 8000, 16};
        QVERIFY2(input.open(format, QStringLiteral("test")), qPrintable(input.errorText()));
        std::mutex mutex;
        QByteArray data;
        QVector<int64_t> ends;
        input.start([&](const char* block, qsizetype bytes, int64_t endUs) {
            std::lock_guard lock(mutex);
            data.append(block, bytes);
            ends << endUs;
        });
        QTRY_VERIFY_WITH_TIMEOUT(([&] {
                                     std::lock_guard lock(mutex);
                                     return data.size() >= 16000;
                                 }()),
                                 10000);
        input.stop();
        std::lock_guard lock(mutex);
        QCOMPARE(data.size() % 2, 0);
        for (int i = 1; i < ends.size(); ++i)
            QVERIFY(ends[i] >= ends[i - 1] - 20000);
        // Sound is taken in real time: the blocks' times span at least as long as the
        // sound they carry (a busy server may deliver it later, never earlier).
        const double soundUs = (data.size() / 2.0 - 160) * 1e6 / 8000;
        QVERIFY2(double(ends.last() - ends.first()) > soundUs - 100000,
                 qPrintable(QStringLiteral("%1 us of blocks for %2 us of sound")
                                .arg(ends.last() - ends.first())
                                .arg(soundUs)));
        // The tone is heard.
        const auto* s = reinterpret_cast<const int16_t*>(data.constData());
        int peak = 0;
        for (qsizetype i = data.size() / 4; i < data.size() / 2; ++i)
            peak = qMax(peak, qAbs(int(s[i])));
        QVERIFY2(peak > 3000, qPrintable(QString::number(peak)));
    }

    // A block's end is placed by the stream's latency with its sign. A microphone's
    // sound waited in the card and the server; a sink's monitor hands out what the sink
    // is going to play before it plays it (PulseAudio states its latency as the
    // sink's, negative), and that sound is heard when it plays. Of a fragment the
    // server handed over, the part already read does not wait any more.
    void blockEndFollowsTheLatencyWithItsSign_data() {
        QTest::addColumn<qint64>("latencyUs");
        QTest::addColumn<qint64>("readUs");
        QTest::addColumn<qint64>("endUs");
        const qint64 now = 5000000;
        QTest::newRow("microphone") << qint64(30000) << qint64(0) << now - 30000;
        QTest::newRow("microphone, fragment partly read") << qint64(30000) << qint64(10000) << now - 20000;
        QTest::newRow("no latency") << qint64(0) << qint64(0) << now;
        QTest::newRow("sink monitor") << qint64(-15000) << qint64(0) << now + 15000;
        QTest::newRow("sink monitor, fragment partly read") << qint64(-15000) << qint64(5000) << now + 20000;
    }
    void blockEndFollowsTheLatencyWithItsSign() {
        QFETCH(qint64, latencyUs);
        QFETCH(qint64, readUs);
        QFETCH(qint64, endUs);
        QCOMPARE(AudioInput::blockEndUs(5000000, latencyUs, readUs), endUs);
    }

    void unsupportedFormatIsRefused_data() {
        QTest::addColumn<int>("channels");
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("bits");
        QTest::newRow("48000 Hz") << 1 << 48000 << 16;
        QTest::newRow("4000 Hz") << 1 << 4000 << 16;
        QTest::newRow("24 bit") << 2 << 44100 << 24;
        QTest::newRow("3 channels") << 3 << 22050 << 8;
    }
    void unsupportedFormatIsRefused() {
        QFETCH(int, channels);
        QFETCH(int, rate);
        QFETCH(int, bits);
        AudioInput input;
        QVERIFY(!input.open(AudioFormat{channels, rate, bits}, QStringLiteral("test")));
        QVERIFY(input.errorText().contains(QStringLiteral("Unsupported sound format")));
    }

    // 2 s with a time limit: a PCM stream of the chosen format as long as the
    // video within one frame.
    void movieWithSound_data() {
        QTest::addColumn<int>("channels");
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("bits");
        QTest::newRow("8 bit mono 11025 Hz") << 1 << 11025 << 8;
        QTest::newRow("16 bit stereo 44100 Hz") << 2 << 44100 << 16;
        QTest::newRow("16 bit mono 8000 Hz") << 1 << 8000 << 16;
        QTest::newRow("8 bit stereo 22050 Hz") << 2 << 22050 << 8;
    }
    void movieWithSound() {
        if (!m_noServer.isEmpty()) QSKIP(qPrintable(m_noServer));
        QFETCH(int, channels);
        QFETCH(int, rate);
        QFETCH(int, bits);
        const QString file = m_dir.filePath(QStringLiteral("sound.avi"));
        Recorder recorder;
        RecordingLog log;
        log.attach(recorder, this, file);
        RecorderSettings s;
        s.filePath = file;
        s.timeLimitS = 2;
        s.captureAudio = true;
        s.audio = {channels, rate, bits};
        QVERIFY(recorder.start(s));
        KV_WAIT_BEGIN(log);
        std::atomic<bool> stop{false};
        std::thread camera([&] { runCamera(recorder, stop); });
        QTRY_VERIFY_WITH_TIMEOUT(log.finished, 20000);
        stop = true;
        camera.join();
        QVERIFY(log.ok);
        QVERIFY(!log.has(RecorderStatusId::WaveOpenError));
        const AviProbe probe = AviProbe::read(file);
        QCOMPARE(probe.videoStreams, 1);
        QCOMPARE(probe.audioStreams, 1);
        QCOMPARE(probe.audioCodec, bits == 8 ? QStringLiteral("pcm_u8") : QStringLiteral("pcm_s16le"));
        QCOMPARE(probe.channels, channels);
        QCOMPARE(probe.sampleRate, rate);
        QCOMPARE(probe.decodedFrames(), 30);
        QVERIFY2(qAbs(probe.audioSeconds() - probe.videoSeconds()) <= 1.0 / 15,
                 qPrintable(QStringLiteral("sound %1 s, video %2 s")
                                .arg(probe.audioSeconds())
                                .arg(probe.videoSeconds())));
        QVERIFY(log.text(RecorderStatusId::VideoAudio).contains(QStringLiteral("audio bytes")));
        const Recorder::Progress p = recorder.progress();
        QVERIFY(p.hasAudio);
        QCOMPARE(int64_t(p.waveSamples), probe.audioSamples);
    }

    void noSoundServerRecordsVideoOnly() {
        const QByteArray saved = qgetenv("PULSE_SERVER");
        qputenv("PULSE_SERVER", "unix:/nonexistent/kelvanor-no-server");
        const QString file = m_dir.filePath(QStringLiteral("silent.avi"));
        Recorder recorder;
        RecordingLog log;
        log.attach(recorder, this, file);
        RecorderSettings s;
        s.filePath = file;
        s.captureAudio = true;
        QVERIFY(recorder.start(s));
        KV_WAIT_BEGIN(log);
        for (int i = 0; i < 10; ++i)
            recorder.pushFrame(patternFrame(uint64_t(i), 1000000 + i * 66667), true);
        recorder.stop();
        KV_WAIT_END(log);
        qputenv("PULSE_SERVER", saved);
        QVERIFY(log.ok);
        QVERIFY(log.text(RecorderStatusId::WaveOpenError).startsWith(QStringLiteral("No sound")));
        // The end text, which stays in the status line, still says there is no sound.
        QVERIFY(log.text(RecorderStatusId::End).contains(QStringLiteral("The movie has no sound")));
        const AviProbe probe = AviProbe::read(file);
        QCOMPARE(probe.audioStreams, 0);
        QCOMPARE(probe.decodedFrames(), 10);
        QVERIFY(!recorder.progress().hasAudio);
    }
};

QTEST_MAIN(TestAudio)
#include "tst_audio.moc"
