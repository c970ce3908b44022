#include "wMovieViewer.h"

#include "MovieFrameView.h"
#include "MoviePlayer.h"
#include "PulseServer.h"
#include "SystemMetrics.h"
#include "VideoCompression.h"
#include "drivers/TestPattern.h"
#include "recorder/AudioInput.h"
#include "recorder/Recorder.h"

#include <QAudioOutput>
#include <QFile>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QSlider>
#include <QTemporaryDir>
#include <QToolButton>
#include <QVideoFrame>
#include <QVideoSink>
#include <QtTest>
#include <atomic>
#include <memory>
#include <thread>

// The movie viewer: its fit around the movie, and movies this program records
// played back through the platform's player (Qt Multimedia on GStreamer).
class TestMovieViewer : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    PulseServer m_pulse;
    QString m_noServer;
    QMdiArea* m_area = nullptr;

    // Records `frames` test-pattern frames at 10 frames per second with `encoder`;
    // with sound, the camera runs in real time while the sound server's tone is
    // recorded. False when the encoder cannot record here.
    bool record(const QString& file, const QString& encoder, int frames, bool sound) {
        QFile::remove(file);
        Recorder recorder;
        bool finished = false, ok = false, begun = false;
        // The recorder as the receiver: its queued signals die with it, not with these locals.
        connect(&recorder, &Recorder::status, &recorder, [&](int id, const QString&) {
            if (id == RecorderStatusId::Begin) begun = true;
        });
        connect(&recorder, &Recorder::finished, &recorder, [&](bool result) {
            finished = true;
            ok = result;
        });
        RecorderSettings s;
        s.filePath = file;
        s.encoder = encoder;
        s.usPerFrame = 100000;
        s.captureAudio = sound;
        s.audio = {1, 22050, 16};
        if (sound) s.timeLimitS = frames / 10;
        if (!recorder.start(s)) return false;
        if (!QTest::qWaitFor([&] { return begun || finished; }, 10000)) return false;
        const auto frame = [](int64_t n, int64_t us) {
            VideoFrame f(
                TestPattern::render({320, 240}, TestPattern::ColourBars, 50, uint64_t(n), QTime(12, 0)));
            f.captureTimeUs = us;
            f.sequence = uint64_t(n);
            return f;
        };
        if (sound) {
            // A camera in real time, so that the sound and the pictures keep pace.
            std::atomic<bool> stop{false};
            std::thread camera([&] {
                const int64_t start = monotonicTimeUs();
                for (int64_t i = 0; !stop; ++i) {
                    const int64_t due = start + i * 100000;
                    while (monotonicTimeUs() < due && !stop)
                        std::this_thread::sleep_for(std::chrono::milliseconds(2));
                    recorder.pushFrame(frame(i, monotonicTimeUs()));
                }
            });
            (void)QTest::qWaitFor([&] { return finished; }, 30000);
            stop = true;
            camera.join();
        } else {
            const int64_t start = monotonicTimeUs();
            for (int i = 0; i < frames; ++i)
                recorder.pushFrame(frame(i, start + i * 100000), true);
            recorder.stop();
            (void)QTest::qWaitFor([&] { return finished; }, 30000);
        }
        return finished && ok;
    }

    // Why the viewer's first picture is not the recorded first frame (the colour bars'
    // middles, within what a lossy compressor changes), or empty when it is.
    static QString shownPictureDiffers(wMovieViewer* v, const QString& encoder) {
        if (!QTest::qWaitFor(
                [v] {
                    return !v->Movie->view()->picture().isNull() || !v->Movie->view()->problem().isEmpty();
                },
                10000))
            return QStringLiteral("no picture shown");
        if (!v->Movie->view()->problem().isEmpty()) return v->Movie->view()->problem();
        const QImage shown = v->Movie->view()->picture();
        if (shown.size() != QSize(320, 240)) return QStringLiteral("picture of another size");
        const QImage want = TestPattern::render({320, 240}, TestPattern::ColourBars, 50, 0, QTime(12, 0));
        // FFmpeg's own RPZA encoder and decoder give the red and blue bars each other's
        // colour (ffmpeg alone does it too): only the first five bars there.
        const int bars = encoder == QLatin1String("rpza") ? 5 : 8;
        for (int x = 20; x < bars * 40; x += 40) {
            const QRgb a = want.pixel(x, 60), b = shown.pixel(x, 60);
            if (std::abs(qRed(a) - qRed(b)) > 48 || std::abs(qGreen(a) - qGreen(b)) > 48 ||
                std::abs(qBlue(a) - qBlue(b)) > 48)
                return QStringLiteral("colour %1 at x %2 where %3 was recorded")
                    .arg(b & 0xffffff, 6, 16, QLatin1Char('0'))
                    .arg(x)
                    .arg(a & 0xffffff, 6, 16, QLatin1Char('0'));
        }
        return {};
    }

    static QMdiSubWindow* frameOf(wMovieViewer* v) { return qobject_cast<QMdiSubWindow*>(v->parentWidget()); }

private slots:
    void initTestCase() {
        m_noServer = m_pulse.start();
        if (m_noServer.isEmpty()) QVERIFY(m_pulse.playTone());
    }
    void cleanupTestCase() { m_pulse.stop(); }
    void init() {
        m_area = new QMdiArea;
        m_area->resize(1000, 800);
        m_area->show();
    }
    void cleanup() {
        delete m_area;
        SystemMetrics::setOverride(0, 0, 0, 0, 0);
    }

    void fit_data() {
        QTest::addColumn<QSize>("video");
        QTest::addColumn<QSize>("limit");
        QTest::addColumn<double>("twips");
        QTest::addColumn<QSize>("movie");
        QTest::addColumn<QSize>("window");
        // Caption 20, borders 2: the window is 4 wider and 20 + 40 taller than the
        // control; the control bar is 30 high.
        QTest::newRow("narrow movie, widened to 3400 twips")
            << QSize(160, 120) << QSize(1000, 800) << 15.0 << QSize(227, 150) << QSize(231, 210);
        QTest::newRow("narrow movie at 120 dpi")
            << QSize(160, 120) << QSize(1000, 800) << 12.0 << QSize(283, 150) << QSize(287, 210);
        QTest::newRow("320x240") << QSize(320, 240) << QSize(1000, 800) << 15.0 << QSize(320, 270)
                                 << QSize(324, 330);
        QTest::newRow("exactly the area")
            << QSize(796, 510) << QSize(800, 600) << 15.0 << QSize(796, 540) << QSize(800, 600);
        QTest::newRow("wider than the area: scaled to its width")
            << QSize(1920, 1080) << QSize(800, 600) << 15.0 << QSize(796, 447 + 30) << QSize(800, 537);
        QTest::newRow("taller than the area: scaled to its height, still 3400 twips wide")
            << QSize(400, 1600) << QSize(800, 600) << 15.0 << QSize(227, 540) << QSize(231, 600);
        QTest::newRow("no area: no limit")
            << QSize(1920, 1080) << QSize() << 15.0 << QSize(1920, 1110) << QSize(1924, 1170);
        QTest::newRow("sound only") << QSize(0, 0) << QSize(1000, 800) << 15.0 << QSize(227, 30)
                                    << QSize(231, 90);
    }
    void fit() {
        QFETCH(QSize, video);
        QFETCH(QSize, limit);
        QFETCH(double, twips);
        QFETCH(QSize, movie);
        QFETCH(QSize, window);
        SystemMetrics::setOverride(20, 2, 2, twips, twips);
        const wMovieViewer::Fit f = wMovieViewer::fit(video, 30, limit);
        QCOMPARE(f.movie, movie);
        QCOMPARE(f.window, window);
        if (!limit.isEmpty()) {
            QVERIFY(f.window.width() <= limit.width());
            QVERIFY(f.window.height() <= limit.height());
        }
    }

    // A child frame whose sizing border is thicker than the thin border: the window
    // still holds the control whole (2 borders of 1 would leave it 6 pixels short).
    void thickFrameHoldsTheControlWhole() {
        SystemMetrics::setOverride(20, 1, 1, 15, 15, 4);
        const wMovieViewer::Fit f = wMovieViewer::fit(QSize(320, 240), 30, QSize(1000, 800));
        QCOMPARE(f.movie, QSize(320, 270));
        QCOMPARE(f.window, QSize(320 + 8, 270 + 20 + 20));
    }

    void timeText_data() {
        QTest::addColumn<qint64>("ms");
        QTest::addColumn<QString>("text");
        QTest::newRow("start") << qint64(0) << "0:00";
        QTest::newRow("under a second") << qint64(999) << "0:00";
        QTest::newRow("minutes") << qint64(754000) << "12:34";
        QTest::newRow("hours") << qint64(3723000) << "1:02:03";
        QTest::newRow("unknown") << qint64(-1) << "0:00";
    }
    void timeText() {
        QFETCH(qint64, ms);
        QFETCH(QString, text);
        QCOMPARE(MoviePlayer::timeText(ms), text);
    }

    void recordedMoviePlays_data() {
        QTest::addColumn<QString>("encoder");
        QTest::addColumn<bool>("sound");
        QTest::newRow("MJPEG with PCM sound") << "mjpeg" << true;
        QTest::newRow("uncompressed BGR24") << "rawvideo" << false;
    }
    void recordedMoviePlays() {
        QFETCH(QString, encoder);
        QFETCH(bool, sound);
        if (sound && !m_noServer.isEmpty()) QSKIP(qPrintable(m_noServer));
        const QString file = m_dir.filePath(encoder + QStringLiteral(".avi"));
        QVERIFY(record(file, encoder, 20, sound));

        wMovieViewer* v = wMovieViewer::OpenMovie(m_area, file);
        QCOMPARE(v->windowTitle(), QFileInfo(file).fileName());
        QVERIFY(frameOf(v) && frameOf(v)->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(v->Movie->videoSize().isValid() || !v->Movie->errorText().isEmpty(), 20000);
        QVERIFY2(v->Movie->errorText().isEmpty(), qPrintable(v->Movie->errorText()));
        QCOMPARE(v->Movie->videoSize(), QSize(320, 240));

        // Fitted around the movie.
        const wMovieViewer::Fit f =
            wMovieViewer::fit(QSize(320, 240), v->Movie->controlBarHeight(), m_area->viewport()->size());
        QCOMPARE(frameOf(v)->size(), f.window);
        QCOMPARE(v->Movie->geometry(), QRect(QPoint(0, 0), f.movie));

        QMediaPlayer* player = v->Movie->player();
        QTRY_VERIFY_WITH_TIMEOUT(player->duration() > 0, 10000);
        QVERIFY2(qAbs(player->duration() - 2000) <= 150, qPrintable(QString::number(player->duration())));
        QCOMPARE(player->hasAudio(), sound);
        QCOMPARE(player->playbackState(), QMediaPlayer::PausedState); // waits on its first picture

        auto* play = v->findChild<QToolButton*>(QStringLiteral("PlayButton"));
        auto* time = v->findChild<QLabel*>(QStringLiteral("TimeDisplay"));
        QVERIFY(play && play->isEnabled());
        QCOMPARE(time->text(), QStringLiteral("0:00 / 0:02"));
        play->click();
        QTRY_COMPARE_WITH_TIMEOUT(player->playbackState(), QMediaPlayer::PlayingState, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(player->position() >= 1000, 20000);
        // The time and the slider follow the player.
        QTRY_VERIFY_WITH_TIMEOUT(time->text() != QStringLiteral("0:00 / 0:02"), 10000);
        auto* slider = v->findChild<QSlider*>(QStringLiteral("PositionSlider"));
        QCOMPARE(slider->maximum(), int(player->duration()));
        QTRY_VERIFY_WITH_TIMEOUT(slider->value() >= 1000, 10000);

        play->click(); // pause
        QTRY_COMPARE_WITH_TIMEOUT(player->playbackState(), QMediaPlayer::PausedState, 10000);
    }

    // The control bar: the slider seeks, stop goes back to the start, the volume
    // slider sets the sound output.
    void controlBar() {
        const QString file = m_dir.filePath(QStringLiteral("controls.avi"));
        QVERIFY(record(file, QStringLiteral("mjpeg"), 30, false));
        wMovieViewer* v = wMovieViewer::OpenMovie(m_area, file);
        QMediaPlayer* player = v->Movie->player();
        QTRY_VERIFY_WITH_TIMEOUT(player->duration() > 0 && v->Movie->videoSize().isValid(), 20000);

        auto* slider = v->findChild<QSlider*>(QStringLiteral("PositionSlider"));
        slider->setSliderPosition(2000);
        QTRY_VERIFY_WITH_TIMEOUT(player->position() >= 1900, 10000);

        v->findChild<QToolButton*>(QStringLiteral("StopButton"))->click();
        QTRY_COMPARE_WITH_TIMEOUT(player->position(), qint64(0), 10000);
        QVERIFY(player->playbackState() != QMediaPlayer::PlayingState);

        auto* volume = v->findChild<QSlider*>(QStringLiteral("VolumeSlider"));
        volume->setValue(25);
        QCOMPARE(qRound(v->Movie->audioOutput()->volume() * 100), 25);
    }

    // A movie that Qt's player opens and then gives no picture of is said to have none
    // once it has played through; one with pictures never is.
    void movieWithoutPictureFromThePlayerIsSaid_data() {
        QTest::addColumn<QString>("encoder");
        QTest::addColumn<bool>("pictures");
        QTest::newRow("AMV") << "amv" << false;
        QTest::newRow("JPEG-LS") << "jpegls" << false;
        QTest::newRow("MJPEG") << "mjpeg" << true;
    }
    void movieWithoutPictureFromThePlayerIsSaid() {
        QFETCH(QString, encoder);
        QFETCH(bool, pictures);
        const QString file = m_dir.filePath(QStringLiteral("nopicture-") + encoder + QStringLiteral(".avi"));
        if (!record(file, encoder, 15, false)) QSKIP("this FFmpeg cannot record with that encoder");
        wMovieViewer* v = wMovieViewer::OpenMovie(m_area, file);
        QMediaPlayer* player = v->Movie->player();
        QTRY_VERIFY_WITH_TIMEOUT(player->duration() > 0 && v->Movie->videoSize().isValid(), 20000);
        if (pictures) QTRY_VERIFY_WITH_TIMEOUT(!v->Movie->view()->picture().isNull(), 20000);
        QCOMPARE(v->Movie->noPictureText(), QString());
        v->findChild<QToolButton*>(QStringLiteral("PlayButton"))->click();
        QTRY_VERIFY_WITH_TIMEOUT(player->mediaStatus() == QMediaPlayer::EndOfMedia ||
                                     (!pictures && !v->Movie->noPictureText().isEmpty()),
                                 20000);
        auto* error = v->findChild<QLabel*>(QStringLiteral("MovieError"));
        if (pictures) {
            QCOMPARE(v->Movie->noPictureText(), QString());
            QVERIFY(!error->isVisible());
        } else {
            QVERIFY(!v->Movie->noPictureText().isEmpty());
            QVERIFY(error->isVisible());
            QVERIFY(error->text().contains(file));
            QVERIFY(v->Movie->errorText().isEmpty()); // not an error: the controls stay
            QVERIFY(v->findChild<QToolButton*>(QStringLiteral("PlayButton"))->isEnabled());
        }
        frameOf(v)->close();
    }

    // Every encoder the compression dialog offers makes movies that the viewer plays.
    void everyOfferedEncoderPlays() {
        QStringList notRecorded, notPlayed, notShown;
        int played = 0;
        // Qt 6.4's player hands over only the planes of its stand-in format: the
        // decoders' planar formats with more planes cannot be read, and the viewer says so.
        const QString cannotShow = QStringLiteral("Pictures in the pixel format ");
        const QStringList unreadable{QStringLiteral("gbrp"), QStringLiteral("gbrp10le"),
                                     QStringLiteral("yuv422p10le"), QStringLiteral("yuv444p10le")};
        // Qt 6.4's player gives no picture at all for these ("get_buffer() failed" in
        // its decoder set-up), though FFmpeg decodes them: they open, and stay black.
        const QStringList noPictureFromQt{QStringLiteral("amv"), QStringLiteral("jpegls")};
        for (const VideoEncoderInfo& info : aviVideoEncoders()) {
            const QString file = m_dir.filePath(QStringLiteral("enc-") + info.name + QStringLiteral(".avi"));
            if (!record(file, info.name, 6, false)) {
                notRecorded << info.name; // hardware encoders without their hardware, and the like
                continue;
            }
            wMovieViewer* v = wMovieViewer::OpenMovie(m_area, file);
            QTRY_VERIFY_WITH_TIMEOUT(v->Movie->videoSize().isValid() || !v->Movie->errorText().isEmpty(),
                                     20000);
            if (!v->Movie->errorText().isEmpty())
                notPlayed << info.name + QStringLiteral(": ") + v->Movie->errorText();
            else if (v->Movie->videoSize() != QSize(320, 240))
                notPlayed << info.name + QStringLiteral(": picture size");
            else if (noPictureFromQt.contains(info.name))
                notShown << info.name + QStringLiteral(": no picture from Qt's player");
            else if (const QString wrong = shownPictureDiffers(v, info.name); wrong.startsWith(cannotShow))
                notShown << info.name + QStringLiteral(": ") + wrong;
            else if (!wrong.isEmpty())
                notPlayed << info.name + QStringLiteral(": ") + wrong;
            else
                ++played;
            frameOf(v)->close();
        }
        QVERIFY2(notPlayed.isEmpty(), qPrintable(notPlayed.join(QStringLiteral("; "))));
        for (const QString& entry : notShown) {
            if (noPictureFromQt.contains(entry.section(QLatin1Char(':'), 0, 0))) continue;
            const QString format = entry.section(cannotShow, 1).section(QLatin1Char(' '), 0, 0);
            QVERIFY2(unreadable.contains(format), qPrintable(entry));
        }
        QVERIFY(played >= 30);
        qInfo("shown: %d; the viewer says it cannot show: %s", played,
              qPrintable(notShown.join(QStringLiteral("; "))));
        qInfo("not recordable here: %s", qPrintable(notRecorded.join(QStringLiteral(", "))));
    }

    void notAMovieShowsTheError_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("exists");
        QTest::newRow("random bytes") << QByteArray(5000, '\x5a') << true;
        QTest::newRow("a text") << QByteArray("Not a movie at all.\n") << true;
        QTest::newRow("empty file") << QByteArray() << true;
        QTest::newRow("RIFF header, nothing after") << QByteArray("RIFF\x04\x00\x00\x00"
                                                                  "AVI ",
                                                                  12)
                                                    << true;
        QTest::newRow("missing file") << QByteArray() << false;
    }
    void notAMovieShowsTheError() {
        QFETCH(QByteArray, content);
        QFETCH(bool, exists);
        const QString file = m_dir.filePath(QStringLiteral("bad.avi"));
        QFile::remove(file);
        if (exists) {
            QFile f(file);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(content);
        }
        wMovieViewer* v = wMovieViewer::OpenMovie(m_area, file);
        QTRY_VERIFY_WITH_TIMEOUT(!v->Movie->errorText().isEmpty(), 20000);
        auto* error = v->findChild<QLabel*>(QStringLiteral("MovieError"));
        QVERIFY(error->isVisible());
        QVERIFY(error->text().contains(v->Movie->errorText()));
        QVERIFY(error->text().contains(file));
        QVERIFY(!v->findChild<QToolButton*>(QStringLiteral("PlayButton"))->isEnabled());
        QVERIFY(!v->Movie->videoSize().isValid());
        // The window stays, big enough to read the text and inside the area.
        QVERIFY(frameOf(v)->isVisible());
        QVERIFY(error->width() >= 300);
        QVERIFY(frameOf(v)->width() <= m_area->viewport()->width());
    }

    // Every player shows the same icons, made once for the program: icons made anew
    // for each player would leave their pictures in Qt's pixmap cache, a few more with
    // each viewer opened and closed.
    void controlIconsAreTheProgramsOwn() {
        auto picture = [](const MoviePlayer& player, const char* name) {
            if (auto* b = player.findChild<QToolButton*>(QLatin1String(name))) return b->icon().cacheKey();
            if (auto* l = player.findChild<QLabel*>(QLatin1String(name))) return l->pixmap().cacheKey();
            return qint64(0);
        };
        auto first = std::make_unique<MoviePlayer>();
        MoviePlayer second;
        for (const char* name : {"PlayButton", "StopButton", "VolumeIcon"}) {
            const qint64 key = picture(*first, name);
            QVERIFY2(key != 0, name);
            QVERIFY2(picture(second, name) == key, name);
        }
        // Shown after the first player has gone too.
        const qint64 play = picture(*first, "PlayButton");
        first.reset();
        QCOMPARE(picture(MoviePlayer(), "PlayButton"), play);
    }

    void eachOpeningIsANewWindow() {
        const QString file = m_dir.filePath(QStringLiteral("twice.avi"));
        QVERIFY(record(file, QStringLiteral("mjpeg"), 5, false));
        wMovieViewer* a = wMovieViewer::OpenMovie(m_area, file);
        wMovieViewer* b = wMovieViewer::OpenMovie(m_area, file);
        QVERIFY(a != b);
        QCOMPARE(m_area->subWindowList().size(), 2);
        QCOMPARE(m_area->activeSubWindow(), frameOf(b));
        QTRY_VERIFY_WITH_TIMEOUT(a->Movie->videoSize().isValid() && b->Movie->videoSize().isValid(), 20000);
        QCOMPARE(m_area->activeSubWindow(), frameOf(b)); // the first one's opening took nothing from it
    }
};

QTEST_MAIN(TestMovieViewer)
#include "tst_wmovieviewer.moc"
