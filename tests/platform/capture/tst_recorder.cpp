#include "RecorderFixture.h"
#include "VideoCompression.h"

#include <QFile>
#include <QTemporaryDir>

// Streaming capture to AVI, fed with test-pattern frames whose capture times are
// set by the test: frame placement, rates, encoders, status order, stop/abort and
// the faults that must leave a good file (or none).
class TestRecorder : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString path(const QString& name) const { return m_dir.filePath(name); }

    // Pushes count frames of a camera with the given period, numbered from 0, taken
    // from now on (faster than real time: the recorder places them by their times).
    static void feed(Recorder& recorder, int count, int64_t cameraPeriodUs) {
        const int64_t startUs = monotonicTimeUs();
        for (int i = 0; i < count; ++i)
            recorder.pushFrame(patternFrame(uint64_t(i), startUs + i * cameraPeriodUs), true);
    }

private slots:
    void frameRateOfTheFile_data() {
        QTest::addColumn<int64_t>("usPerFrame");
        QTest::addColumn<int>("rateNum");
        QTest::addColumn<int>("rateDen");
        QTest::newRow("15 fps") << int64_t(66667) << 15 << 1;
        QTest::newRow("12 fps") << int64_t(83333) << 12 << 1;
        QTest::newRow("30 fps") << int64_t(33333) << 30 << 1;
        QTest::newRow("7 fps") << int64_t(142857) << 7 << 1;
        QTest::newRow("NTSC 29.97") << int64_t(33367) << 30000 << 1001;
        QTest::newRow("odd period") << int64_t(70000) << 100 << 7;
    }
    void frameRateOfTheFile() {
        QFETCH(int64_t, usPerFrame);
        QFETCH(int, rateNum);
        QFETCH(int, rateDen);
        const AVRational rate = AviWriter::frameRateFor(usPerFrame);
        QCOMPARE(rate.num, rateNum);
        QCOMPARE(rate.den, rateDen);
    }

    // A camera at, above and below the movie's rate, against a 3 s time limit.
    void timeLimitedRecording_data() {
        QTest::addColumn<int64_t>("cameraPeriodUs");
        QTest::addColumn<int>("maxStep");  // largest rise of the frame number between file frames
        QTest::addColumn<bool>("repeats"); // frames repeated to fill the slower camera's gaps
        QTest::newRow("camera at the movie's rate") << int64_t(66667) << 1 << false;
        QTest::newRow("camera twice as fast") << int64_t(33333) << 2 << false;
        QTest::newRow("camera slower") << int64_t(100000) << 1 << true;
        QTest::newRow("camera with jitter rate") << int64_t(66000) << 2 << false;
    }
    void timeLimitedRecording() {
        QFETCH(int64_t, cameraPeriodUs);
        QFETCH(int, maxStep);
        QFETCH(bool, repeats);
        const QString file = path("limit.avi");
        Recorder recorder;
        RecordingLog log;
        log.attach(recorder, this, file);
        RecorderSettings s;
        s.filePath = file;
        s.usPerFrame = 66667;
        s.timeLimitS = 3;
        QVERIFY(recorder.start(s));
        KV_WAIT_BEGIN(log);
        // More than 3 s of camera: the limit ends the movie by itself.
        feed(recorder, int(4000000 / cameraPeriodUs), cameraPeriodUs);
        KV_WAIT_END(log);
        QVERIFY(log.ok);

        const AviProbe probe = AviProbe::read(file);
        QCOMPARE(probe.videoStreams, 1);
        QCOMPARE(probe.audioStreams, 0);
        QCOMPARE(probe.frameRate.num, 15);
        QCOMPARE(probe.frameRate.den, 1);
        QCOMPARE(probe.decodedFrames(), 45);
        QCOMPARE(probe.headerFrames, 45);
        QCOMPARE(probe.width, 320);
        QCOMPARE(probe.videoCodec, QStringLiteral("mjpeg"));
        int repeated = 0;
        QCOMPARE(probe.strip.first(), 0);
        for (int i = 1; i < probe.strip.size(); ++i) {
            const int step = probe.strip[i] - probe.strip[i - 1];
            QVERIFY2(step >= 0 && step <= maxStep, qPrintable(QStringLiteral("frame %1: %2 after %3")
                                                                  .arg(i)
                                                                  .arg(probe.strip[i])
                                                                  .arg(probe.strip[i - 1])));
            if (step == 0) ++repeated;
        }
        QCOMPARE(repeated > 0, repeats);
        const Recorder::Progress p = recorder.progress();
        QVERIFY(!p.capturing);
        QCOMPARE(p.videoFrames, 45u);
        QCOMPARE(int(p.framesDropped), repeated);
        QCOMPARE(p.elapsedMs, 3000u);

        // Begin first, End last, every status on the UI thread, and the file complete
        // (index and header written) when End arrives.
        QCOMPARE(log.statuses.first().id, RecorderStatusId::Begin);
        QCOMPARE(log.statuses.last().id, RecorderStatusId::End);
        for (const auto& e : log.statuses)
            QVERIFY(e.onUiThread);
        QCOMPARE(log.headerFramesAtEnd, 45);
        QVERIFY(log.text(RecorderStatusId::VideoOnly).contains(QStringLiteral("45 frames")));
        // Too many repeated frames (a third here) is warned about.
        QCOMPARE(log.has(RecorderStatusId::FramesDropped), repeats);
        if (repeats) QVERIFY(log.statuses.last().text.contains(QStringLiteral("Dropped")));
    }

    void stopKeepsEveryFrameReceived() {
        const QString file = path("stop.avi");
        Recorder recorder;
        RecordingLog log;
        log.attach(recorder, this, file);
        RecorderSettings s;
        s.filePath = file;
        QVERIFY(recorder.start(s));
        KV_WAIT_BEGIN(log);
        QVERIFY(recorder.isRecording());
        feed(recorder, 20, 66667);
        recorder.stop();
        KV_WAIT_END(log);
        QVERIFY(!recorder.isRecording());
        const AviProbe probe = AviProbe::read(file);
        QCOMPARE(probe.decodedFrames(), 20);
        for (int i = 0; i < 20; ++i)
            QCOMPARE(probe.strip[i], i);
        // The same recorder records again into another file.
        const QString second = path("stop2.avi");
        RecordingLog log2;
        log2.attach(recorder, this, second);
        s.filePath = second;
        QVERIFY(recorder.start(s));
        KV_WAIT_BEGIN(log2);
        feed(recorder, 5, 66667);
        recorder.stop();
        KV_WAIT_END(log2);
        QCOMPARE(AviProbe::read(second).decodedFrames(), 5);
    }

    void abortLeavesAPlayableFile() {
        const QString file = path("abort.avi");
        Recorder recorder;
        RecordingLog log;
        log.attach(recorder, this, file);
        RecorderSettings s;
        s.filePath = file;
        QVERIFY(recorder.start(s));
        KV_WAIT_BEGIN(log);
        feed(recorder, 30, 66667);
        recorder.abort();
        KV_WAIT_END(log);
        const AviProbe probe = AviProbe::read(file);
        QVERIFY(probe.decodedFrames() > 0);
        QVERIFY(probe.decodedFrames() <= 30);
        QCOMPARE(probe.headerFrames, probe.decodedFrames());
        for (int i = 0; i < probe.decodedFrames(); ++i)
            QCOMPARE(probe.strip[i], i);
        QCOMPARE(log.statuses.last().id, RecorderStatusId::End);
    }

    void encoders_data() {
        QTest::addColumn<QString>("encoder");
        QTest::addColumn<QString>("codec");
        QTest::newRow("libjpeg-turbo MJPEG") << "mjpeg"
                                             << "mjpeg";
        QTest::newRow("MPEG-4 part 2") << "mpeg4"
                                       << "mpeg4";
        QTest::newRow("uncompressed") << "rawvideo"
                                      << "rawvideo";
        QTest::newRow("HuffYUV") << "huffyuv"
                                 << "huffyuv";
        QTest::newRow("FFV1") << "ffv1"
                              << "ffv1";
    }
    void encoders() {
        QFETCH(QString, encoder);
        QFETCH(QString, codec);
        const QString file = path(encoder + QStringLiteral(".avi"));
        Recorder recorder;
        RecordingLog log;
        log.attach(recorder, this, file);
        RecorderSettings s;
        s.filePath = file;
        s.encoder = encoder;
        s.usPerFrame = 100000;
        QVERIFY(recorder.start(s));
        KV_WAIT_BEGIN(log);
        feed(recorder, 24, 100000);
        recorder.stop();
        KV_WAIT_END(log);
        QVERIFY(log.ok);
        const AviProbe probe = AviProbe::read(file);
        QCOMPARE(probe.videoCodec, codec);
        QCOMPARE(probe.frameRate.num, 10);
        QCOMPARE(probe.decodedFrames(), 24);
        // Upright and in order: the strip at the bottom decodes for every frame.
        for (int i = 0; i < 24; ++i)
            QCOMPARE(probe.strip[i], i);
    }

    // Every encoder the compression dialog offers either records a movie that plays
    // back, or (hardware encoders without their hardware, encoders bound to sizes or
    // rates of their own) ends at once saying which compressor failed, with no file.
    void everyOfferedEncoderRecordsOrSaysWhy() {
        QStringList unusable;
        int usable = 0;
        for (const VideoEncoderInfo& info : aviVideoEncoders()) {
            const QString file = path(QStringLiteral("any.avi"));
            QFile::remove(file);
            Recorder recorder;
            RecordingLog log;
            log.attach(recorder, this, file);
            RecorderSettings s;
            s.filePath = file;
            s.encoder = info.name;
            QVERIFY(recorder.start(s));
            KV_WAIT_BEGIN(log);
            feed(recorder, 6, 66667);
            recorder.stop();
            KV_WAIT_END(log);
            if (log.ok) {
                ++usable;
                QCOMPARE(AviProbe::read(file).decodedFrames(), 6);
            } else {
                unusable << info.name;
                QVERIFY2(log.text(RecorderStatusId::CompressorError).contains(info.name),
                         qPrintable(info.name + QLatin1Char(' ') + log.statuses.last().text));
                QVERIFY2(!QFile::exists(file), qPrintable(info.name));
            }
        }
        QVERIFY(usable >= 5);
        qInfo("not usable here: %s", qPrintable(unusable.join(QStringLiteral(", "))));
    }

    void qualityChangesTheFile_data() {
        QTest::addColumn<QString>("encoder");
        QTest::newRow("mjpeg") << "mjpeg";
        QTest::newRow("mpeg4") << "mpeg4";
    }
    void qualityChangesTheFile() {
        QFETCH(QString, encoder);
        qint64 sizes[2] = {};
        const int qualities[2] = {10, 95};
        for (int k = 0; k < 2; ++k) {
            const QString file = path(QStringLiteral("q%1.avi").arg(k));
            Recorder recorder;
            RecordingLog log;
            log.attach(recorder, this, file);
            RecorderSettings s;
            s.filePath = file;
            s.encoder = encoder;
            s.quality = qualities[k];
            QVERIFY(recorder.start(s));
            KV_WAIT_BEGIN(log);
            feed(recorder, 10, 66667);
            recorder.stop();
            KV_WAIT_END(log);
            sizes[k] = QFile(file).size();
        }
        QVERIFY2(sizes[0] * 3 / 2 < sizes[1],
                 qPrintable(QStringLiteral("%1 vs %2").arg(sizes[0]).arg(sizes[1])));
    }

    // The camera's own JPEG goes into an MJPEG movie unchanged; any other encoder
    // works from the picture.
    void cameraJpegWrittenThrough_data() {
        QTest::addColumn<QString>("encoder");
        QTest::addColumn<int>("offset");
        QTest::newRow("mjpeg movie: camera JPEG") << "mjpeg" << 1000;
        QTest::newRow("mpeg4 movie: picture") << "mpeg4" << 0;
    }
    void cameraJpegWrittenThrough() {
        QFETCH(QString, encoder);
        QFETCH(int, offset);
        const QString file = path(QStringLiteral("through.avi"));
        Recorder recorder;
        RecordingLog log;
        log.attach(recorder, this, file);
        RecorderSettings s;
        s.filePath = file;
        s.encoder = encoder;
        QVERIFY(recorder.start(s));
        KV_WAIT_BEGIN(log);
        JpegEncoder jpeg;
        for (int i = 0; i < 8; ++i) {
            const VideoFrame p = patternFrame(uint64_t(i), 1000000 + i * 66667);
            // A different number in the JPEG shows which of the two was written.
            VideoFrame f(p.image(), jpeg.encode(patternFrame(uint64_t(i + 1000), 0).image(), 90));
            f.captureTimeUs = p.captureTimeUs;
            f.sequence = p.sequence;
            recorder.pushFrame(f, true);
        }
        recorder.stop();
        KV_WAIT_END(log);
        const AviProbe probe = AviProbe::read(file);
        QCOMPARE(probe.decodedFrames(), 8);
        for (int i = 0; i < 8; ++i)
            QCOMPARE(probe.strip[i], i + offset);
    }

    // The writer falls behind (a disk that stalls on other programs' writes, a thread
    // not scheduled on a busy machine) while the camera goes on: a second and a half
    // of the camera's JPEGs arrive before the writer takes any. Written as they are,
    // they wait for it, and none is lost.
    void cameraJpegsWaitForAWriterThatFellBehind() {
        const QString file = path(QStringLiteral("behind.avi"));
        Recorder recorder;
        RecordingLog log;
        log.attach(recorder, this, file);
        RecorderSettings s;
        s.filePath = file;
        s.usPerFrame = 33333;
        QVERIFY(recorder.start(s));
        KV_WAIT_BEGIN(log);
        JpegEncoder jpeg;
        std::vector<VideoFrame> frames;
        for (int i = 0; i < 45; ++i) {
            const VideoFrame p = patternFrame(uint64_t(i), 1000000 + i * 33333);
            VideoFrame f = VideoFrame::fromJpeg(jpeg.encode(p.image(), 80), p.size(), p.size());
            f.captureTimeUs = p.captureTimeUs;
            f.sequence = p.sequence;
            frames.push_back(f);
        }
        for (const VideoFrame& f : frames)
            recorder.pushFrame(f); // without waiting, as the camera's thread delivers
        recorder.stop();
        KV_WAIT_END(log);
        QCOMPARE(recorder.progress().framesBehind, 0u);
        const AviProbe probe = AviProbe::read(file);
        QCOMPARE(probe.decodedFrames(), 45);
        for (int i = 0; i < 45; ++i)
            QCOMPARE(probe.strip[i], i);
    }

    // A camera JPEG that passed its checks but does not decode: another encoder than
    // MJPEG repeats the frame before it and goes on.
    void undecodableCameraJpegIsAFrameNotDelivered() {
        const QString file = path(QStringLiteral("undecodable.avi"));
        Recorder recorder;
        RecordingLog log;
        log.attach(recorder, this, file);
        RecorderSettings s;
        s.filePath = file;
        s.encoder = QStringLiteral("mpeg4");
        QVERIFY(recorder.start(s));
        KV_WAIT_BEGIN(log);
        for (int i = 0; i < 8; ++i) {
            VideoFrame f = patternFrame(uint64_t(i), 1000000 + i * 66667);
            if (i == 4) {
                const QByteArray broken =
                    QByteArray("\xFF\xD8\xFF\xDA", 4) + QByteArray(500, '\x21') + "\xFF\xD9";
                f = VideoFrame::fromJpeg(broken, f.size(), f.size());
                f.captureTimeUs = 1000000 + i * 66667;
            }
            recorder.pushFrame(f, true);
        }
        recorder.stop();
        KV_WAIT_END(log);
        const AviProbe probe = AviProbe::read(file);
        QCOMPARE(probe.decodedFrames(), 8);
        QCOMPARE(probe.strip, (QVector<int>{0, 1, 2, 3, 3, 5, 6, 7}));
    }

    // An encoder other than MJPEG takes pictures of every layout and a frame of
    // another size (the camera's format changed), scaled to the movie's.
    void ffmpegEncoderTakesEveryLayoutAndSize() {
        const QString file = path(QStringLiteral("layouts.avi"));
        Recorder recorder;
        RecordingLog log;
        log.attach(recorder, this, file);
        RecorderSettings s;
        s.filePath = file;
        s.encoder = QStringLiteral("mpeg4");
        QVERIFY(recorder.start(s));
        KV_WAIT_BEGIN(log);
        for (int i = 0; i < 5; ++i) {
            VideoFrame f =
                patternFrame(uint64_t(i), 1000000 + i * 66667, i == 3 ? QSize(640, 480) : QSize(320, 240));
            if (i == 1) f = VideoFrame(f.image().convertToFormat(QImage::Format_RGB888));
            if (i == 2) f = VideoFrame(f.image().convertToFormat(QImage::Format_ARGB32_Premultiplied));
            f.captureTimeUs = 1000000 + i * 66667;
            recorder.pushFrame(f, true);
        }
        recorder.stop();
        KV_WAIT_END(log);
        const AviProbe probe = AviProbe::read(file);
        QCOMPARE(probe.width, 320);
        QCOMPARE(probe.strip, (QVector<int>{0, 1, 2, 3, 4}));
    }

    void unwritablePathMakesNoFile() {
        const QString file = QStringLiteral("/proc/kelvanor-no-such-dir/movie.avi");
        Recorder recorder;
        RecordingLog log;
        log.attach(recorder, this, file);
        RecorderSettings s;
        s.filePath = file;
        QVERIFY(recorder.start(s));
        KV_WAIT_END(log);
        QVERIFY(!log.recordingWhenSent.isEmpty() && !log.recordingWhenSent.last());
        QVERIFY(!log.ok);
        QVERIFY(!QFile::exists(file));
        QVERIFY(log.text(RecorderStatusId::CantOpen).contains(QStringLiteral("Cannot open '%1'").arg(file)));
        QVERIFY(!log.has(RecorderStatusId::Begin));
        QVERIFY(!log.has(RecorderStatusId::End));
        QVERIFY(!recorder.isRecording());
    }

    void unknownEncoderMakesNoFile() {
        const QString file = path("nocodec.avi");
        Recorder recorder;
        RecordingLog log;
        log.attach(recorder, this, file);
        RecorderSettings s;
        s.filePath = file;
        s.encoder = QStringLiteral("no-such-encoder");
        QVERIFY(recorder.start(s));
        KV_WAIT_END(log);
        QVERIFY(!log.recordingWhenSent.isEmpty() && !log.recordingWhenSent.last());
        QVERIFY(!log.ok);
        QVERIFY(!QFile::exists(file));
        QVERIFY(log.text(RecorderStatusId::CompressorError).contains(QStringLiteral("no-such-encoder")));
    }

    void driverFailureKeepsWhatWasCaptured() {
        const QString file = path("driver.avi");
        Recorder recorder;
        RecordingLog log;
        log.attach(recorder, this, file);
        RecorderSettings s;
        s.filePath = file;
        QVERIFY(recorder.start(s));
        KV_WAIT_BEGIN(log);
        feed(recorder, 12, 66667);
        recorder.driverFailed(QStringLiteral("the device was unplugged"));
        KV_WAIT_END(log);
        QVERIFY(!log.recordingWhenSent.isEmpty() && !log.recordingWhenSent.last());
        QVERIFY(!log.ok);
        const AviProbe probe = AviProbe::read(file);
        QCOMPARE(probe.decodedFrames(), 12);
        QCOMPARE(probe.headerFrames, 12);
        QVERIFY(log.text(RecorderStatusId::DriverError).contains(QStringLiteral("the device was unplugged")));
        QVERIFY(log.statuses.last().text.contains(QStringLiteral("driver")));
        QCOMPARE(log.statuses.last().id, RecorderStatusId::End);
    }

    void noFramesMakesNoFile() {
        const QString file = path("empty.avi");
        Recorder recorder;
        RecordingLog log;
        log.attach(recorder, this, file);
        RecorderSettings s;
        s.filePath = file;
        QVERIFY(recorder.start(s));
        KV_WAIT_BEGIN(log);
        recorder.driverFailed(QStringLiteral("no signal"));
        KV_WAIT_END(log);
        QVERIFY(!log.recordingWhenSent.isEmpty() && !log.recordingWhenSent.last());
        QVERIFY(!QFile::exists(file));
        QVERIFY(log.text(RecorderStatusId::DriverError).contains(QStringLiteral("no signal")));
    }
};

QTEST_MAIN(TestRecorder)
#include "tst_recorder.moc"
