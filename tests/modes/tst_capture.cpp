#include "AviProbe.h"
#include "Clipboard.h"
#include "Clock.h"
#include "EventLog.h"
#include "LogEntries.h"
#include "MSVIDEO.h"
#include "Master.h"
#include "MsgBox.h"
#include "PictureBox.h"
#include "PulseServer.h"
#include "Vars.h"
#include "cMSVIDEO.h"
#include "cMaster.h"
#include "drivers/TestPattern.h"
#include "wImage.h"
#include "wMSVIDEO.h"
#include "wMultiImage.h"

#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QMdiSubWindow>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <limits>

// Capturing in every mode, with the built-in test camera as the device.
class TestCapture : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<Master> m;

    QString path(const QString& name) const { return m_dir.filePath(name); }

    void startRun(int shootType, const QString& fileName) {
        cMaster::SelectMultipleImageMode(*m);
        m->MultipleImageMode->setCurrentIndex(shootType);
        MSVIDEO::MovieFileName = fileName;
        cMaster::CaptureAction(*m, true);
    }

    // ffprobe's answer for one entry of the first video stream.
    static QString probe(const QString& file, const QString& entry) {
        QProcess p;
        p.start(QStringLiteral("ffprobe"),
                {"-v", "error", "-select_streams", "v:0", "-count_frames", "-show_entries", "stream=" + entry,
                 "-of", "default=nw=1:nk=1", file});
        p.waitForFinished(60000);
        return QString::fromLatin1(p.readAllStandardOutput()).trimmed();
    }

private slots:
    void initTestCase() {
        Vars::StartupDirectory = m_dir.path();
        MsgBoxTest::enable();
    }

    void init() {
        QVERIFY(CreateLog());
        MSVIDEO::reset();
        Vars::reset();
        MsgBoxTest::clear();
        Clock::set(QDateTime(QDate(2026, 12, 10), QTime(10, 20, 30)));
        m = std::make_unique<Master>();
        m->resize(1000, 800);
        m->show();
        for (int fps = 1; fps <= 30; ++fps) // as the main window's load fills it
            m->MultipleImageFrameRate->addItem(cMSVIDEO::FpsText(fps));
        m->MultipleImageFrameRate->setCurrentIndex(10);
        cMSVIDEO::StartVideoDevice(*m);
        cMaster::ReadCaptureFileName(*m);
        QVERIFY(MSVIDEO::CaptureWindow != 0);
    }

    void cleanup() {
        cMaster::CaptureAction(*m, false);
        wMultiImage::unload();
        wMSVIDEO::Unload();
        m.reset();
        Clock::reset();
    }

    void imageShotIsStampedInTheMainImageWindow() {
        cMaster::SelectImageMode(*m);
        Vars::StampTimeColor = 0x0000ff; // red
        m->ImageToolbar->setValue("time", 1);
        m->ImageTimePosition->setCurrentIndex(4); // bottom right
        cMaster::CaptureAction(*m, true);
        wImage* first = wImage::mainInstance(m->MDIClient);
        QCOMPARE(first->caption(), QStringLiteral("Untitled "));
        const QImage shot = first->MasterImage()->image();
        QVERIFY(!shot.isNull());
        QVERIFY(decodeFrameNumberStrip(first->MasterImage()->picture()) >= 0);
        // The time stamp changed pixels in the bottom-right quarter only, in red.
        const QImage bare = first->MasterImage()->picture().convertToFormat(shot.format());
        const int w = shot.width(), h = shot.height();
        auto changedIn = [&](QRect r, int* red) {
            int n = 0;
            for (int y = r.top(); y <= r.bottom(); ++y)
                for (int x = r.left(); x <= r.right(); ++x)
                    if (shot.pixel(x, y) != bare.pixel(x, y)) {
                        ++n;
                        const QColor c = shot.pixelColor(x, y);
                        *red += c.red() > 200 && c.green() < 60 && c.blue() < 60;
                    }
            return n;
        };
        int red = 0, ignored = 0;
        QVERIFY(changedIn(QRect(w / 2, h / 2, w / 2, h / 2), &red) > 20);
        QVERIFY(red > 10);
        QCOMPARE(changedIn(QRect(0, 0, w / 2, h / 2), &ignored), 0);
        // A stop call takes a picture too, into the same window.
        cMaster::CaptureAction(*m, false);
        QCOMPARE(wImage::mainInstance(m->MDIClient), first);
        QVERIFY(Clipboard::picture().isNull());
    }

    void captureFrameOpensANewWindowEachTime() {
        cMaster::CaptureFrameToWindow(*m);
        cMaster::CaptureFrameToWindow(*m);
        int untitled = 0;
        for (QMdiSubWindow* sub : m->MDIClient->subWindowList())
            if (auto* w = qobject_cast<wImage*>(sub->widget());
                w && w->caption() == QStringLiteral("Untitled ")) {
                ++untitled;
                QVERIFY(decodeFrameNumberStrip(w->MasterImage()->image()) >= 0);
            }
        QCOMPARE(untitled, 2);
    }

    void jpegRunWritesNumberedFilesThatDecode() {
        startRun(2, path("CAPTURE.jpg"));
        QVERIFY(m->Shooter->isEnabled());
        QVERIFY(!m->MultipleImageMode->isEnabled());
        QCOMPARE(m->GlobalToolbar->Image("record"), QStringLiteral("stop"));
        for (int i = 0; i < 3; ++i)
            cMaster::CaptureStillImage(*m);
        for (const char* name : {"CAPTURE00001.jpg", "CAPTURE00002.jpg", "CAPTURE00003.jpg"}) {
            QImageReader reader(path(name));
            const QImage img = reader.read();
            QVERIFY2(!img.isNull(), name);
            QVERIFY(decodeFrameNumberStrip(img) >= 0);
        }
        QCOMPARE(wMultiImage::existing()->caption(), path("CAPTURE00003.jpg"));
        // A new run numbers from 1 again.
        cMaster::CaptureAction(*m, false);
        QVERIFY(!wMultiImage::existing());
        QCOMPARE(m->GlobalToolbar->Image("record"), QStringLiteral("record"));
        QVERIFY(!m->Shooter->isEnabled());
        startRun(2, path("CAPTURE.jpg"));
        cMaster::CaptureStillImage(*m);
        QCOMPARE(Vars::ImageCounter, 1);
    }

    void bitmapTypesNumberAndRefresh() {
        startRun(1, path("SHOT.bmp"));
        cMaster::CaptureStillImage(*m);
        QVERIFY(QFile::exists(path("SHOT00001.bmp")));
        QCOMPARE(m->StatusString->text(), QStringLiteral("Writing... ") + path("SHOT00001.bmp"));
        cMaster::CaptureAction(*m, false);

        startRun(3, path("SHOT.bmp"));
        cMaster::CaptureStillImage(*m);
        cMaster::CaptureStillImage(*m);
        QCOMPARE(Vars::ImageCounter, 2); // counted though not used
        QVERIFY(QFile::exists(path("SHOT.bmp")));
        QVERIFY(!QFile::exists(path("SHOT00002.bmp")));
        QCOMPARE(m->StatusString->text(), QStringLiteral("Refresh... ") + path("SHOT.bmp"));
    }

    void numbersPadToFiveAndNeverCut() {
        startRun(1, path("BIG.bmp"));
        Vars::ImageCounter = 99999;
        cMaster::CaptureStillImage(*m);
        QVERIFY(QFile::exists(path("BIG100000.bmp")));
    }

    void clipboardTypeLeavesTheStampedPicture() {
        startRun(5, path("CLIP.avi"));
        Vars::StampText = QStringLiteral("HELLO");
        m->MultipleImageToolbar2->setValue("text", 1);
        cMaster::CaptureStillImage(*m);
        QCOMPARE(Vars::ImageCounter, 1);
        const QImage onClipboard = Clipboard::picture();
        QVERIFY(!onClipboard.isNull());
        const QImage composed = wMultiImage::existing()->MasterImage()->image();
        QCOMPARE(onClipboard.convertToFormat(QImage::Format_RGB32),
                 composed.convertToFormat(QImage::Format_RGB32));
        QVERIFY(composed !=
                wMultiImage::existing()->MasterImage()->picture().convertToFormat(composed.format()));
        QCOMPARE(wMultiImage::existing()->caption(), QStringLiteral("Clipboard"));
        QCOMPARE(MSVIDEO::MovieFileName, path("CLIP.avi"));
    }

    void unwritableBitmapIsSaidNotShown() {
        startRun(1, path("missing/folder/SHOT.bmp"));
        cMaster::CaptureStillImage(*m);
        QVERIFY(MsgBoxTest::shown().empty());
        QVERIFY(m->StatusString->text().startsWith(QStringLiteral("Cannot write ") +
                                                   path("missing/folder/SHOT00001.bmp")));
        QVERIFY(logEntries().last().startsWith(QStringLiteral("Cannot write ")));
        QCOMPARE(wMultiImage::existing()->caption(), QStringLiteral("Untitled "));
        // The run goes on with the next shot.
        cMaster::CaptureStillImage(*m);
        QCOMPARE(Vars::ImageCounter, 2);
    }

    // A JPEG that cannot be written is said in a modal box; while it waits, the run
    // ends from elsewhere (Ctrl+C in the terminal stops the run the same way) and the
    // bank window goes. The shot ends there, and the program goes on.
    void runEndedWhileTheJpegErrorBoxWaits() {
        startRun(2, path("missing/folder/SHOT.jpg"));
        MsgBoxTest::disable();
        QStringList boxes;
        MsgBoxHandler::set([&](const QString& text, int style, const QString&) {
            boxes << text;
            if (boxes.size() == 1) cMaster::CaptureAction(*m, false);
            return MsgBoxHandler::firstButton(style);
        });
        cMaster::CaptureStillImage(*m);
        MsgBoxHandler::set({});
        MsgBoxTest::enable();
        QCOMPARE(boxes, (QStringList{QStringLiteral("Failed to save to JPG"),
                                     QStringLiteral("Error writing ") + path("missing/folder/SHOT00001.jpg") +
                                         QStringLiteral("JPEG File.")}));
        QVERIFY(!wMultiImage::existing());
        QCOMPARE(m->GlobalToolbar->Image("record"), QStringLiteral("record"));
        QVERIFY(logEntries().last().contains(QStringLiteral("Shot 00001 abandoned")));
        // The next run shoots as usual.
        startRun(2, path("AFTER.jpg"));
        cMaster::CaptureStillImage(*m);
        QVERIFY(QFile::exists(path("AFTER00001.jpg")));
    }

    void fullCounterStopsTheRun() {
        startRun(1, path("END.bmp"));
        Vars::ImageCounter = std::numeric_limits<qint32>::max();
        cMaster::CaptureStillImage(*m);
        QCOMPARE(m->GlobalToolbar->Image("record"), QStringLiteral("record"));
        QVERIFY(m->StatusString->text().contains(QStringLiteral("counter is full")));
        QCOMPARE(Vars::ImageCounter, 0);
        // The run's own stop: its bank window closed, the mode commands back.
        QVERIFY(!wMultiImage::existing());
        QVERIFY(m->menuItem("FileMenu", 0)->isEnabled());
    }

    void automaticRunStartsTheTimer() {
        cMaster::SelectMultipleImageMode(*m);
        m->MultipleImageAutoShoot->setChecked(true);
        m->MultipleImageSecondsControl->setValue(5);
        m->MultipleImageMinutesControl->setValue(1);
        Vars::ShotElapsed = 3;
        cMaster::CaptureAction(*m, true);
        QVERIFY(m->MultipleImageTimer->isActive());
        QCOMPARE(Vars::ShotInterval, 65);
        QCOMPARE(Vars::ShotElapsed, 0);
        QVERIFY(!m->GlobalToolbar->button("autostart")->isEnabled());
        cMaster::CaptureAction(*m, false);
        QVERIFY(!m->MultipleImageTimer->isActive());
        QVERIFY(m->GlobalToolbar->button("autostart")->isEnabled());
    }

    void singleFrameMovieHasOneFramePerShotAtTheViewerRate() {
        if (QStandardPaths::findExecutable("ffprobe").isEmpty()) QSKIP("ffprobe is not installed");
        cMaster::SelectMultipleImageMode(*m);
        m->MultipleImageMode->setCurrentIndex(0);
        const QString movie = path("SINGLE.avi");
        MSVIDEO::MovieFileName = movie;
        m->MultipleImageFrameRate->setCurrentIndex(4); // 5 frames/s
        cMaster::CaptureAction(*m, true);
        for (int i = 0; i < 4; ++i)
            cMaster::CaptureStillImage(*m);
        QCOMPARE(Vars::ImageCounter, 4);
        cMaster::CaptureAction(*m, false);
        QCOMPARE(probe(movie, "nb_read_frames"), QStringLiteral("4"));
        QCOMPARE(probe(movie, "r_frame_rate"), QStringLiteral("5/1"));
    }

    void stopClickedDuringAShotEndsTheShotCleanly_data() {
        QTest::addColumn<int>("shootType");
        QTest::newRow("numbered bitmaps") << 1;
        QTest::newRow("numbered JPEGs") << 2;
        QTest::newRow("clipboard") << 5;
    }
    void stopClickedDuringAShotEndsTheShotCleanly() {
        // The shot lets pending events run once; a click on stop waiting there ends
        // the run and closes the bank window in the middle of the shot.
        QFETCH(int, shootType);
        startRun(shootType, path("STOPPED.bmp"));
        QTimer::singleShot(0, m.get(), [this] { cMaster::CaptureAction(*m, false); });
        cMaster::CaptureStillImage(*m);
        QVERIFY(!wMultiImage::existing());
        QCOMPARE(m->GlobalToolbar->Image("record"), QStringLiteral("record"));
        QCOMPARE(Vars::ImageCounter, 0);
        // Nothing was written for the abandoned shot, under any number.
        QCOMPARE(QDir(m_dir.path()).entryList({"STOPPED*"}, QDir::Files), QStringList());
        QVERIFY(Clipboard::picture().isNull());
        QVERIFY(logEntries().last().contains(QStringLiteral("abandoned")));
        // The next run shoots as usual.
        startRun(1, path("AFTER.bmp"));
        cMaster::CaptureStillImage(*m);
        QVERIFY(QFile::exists(path("AFTER00001.bmp")));
    }

    void singleFrameMovieGoesToTheChosenFileWithItsInformation_data() {
        QTest::addColumn<bool>("typeSwitched"); // the shoot type changed away and back
        QTest::newRow("name as chosen") << false;
        QTest::newRow("after a change of shoot type") << true;
    }
    void singleFrameMovieGoesToTheChosenFileWithItsInformation() {
        QFETCH(bool, typeSwitched);
        cMaster::SelectMultipleImageMode(*m);
        m->MultipleImageMode->setCurrentIndex(0);
        // As the panel's "filename" button sets it.
        MSVIDEO::MovieFileName = path(typeSwitched ? "switched.avi" : "multi.avi");
        if (typeSwitched) {
            m->MultipleImageMode->setCurrentIndex(1);
            m->MultipleImageMode->setCurrentIndex(0);
            // The panel's own renaming gives the name its upper-case extension.
            MSVIDEO::MovieFileName = cMaster::WithExtension(MSVIDEO::MovieFileName, 4, ".AVI");
        }
        const QString movie = MSVIDEO::MovieFileName;
        const QString defaultFile = MSVIDEO::GetCaptureFileName(MSVIDEO::CaptureWindow);
        QFile::remove(defaultFile);
        m->MultipleImageToolbar->setValue("writeinfo", 1);
        MSVIDEO::OtherInfo[0] = QStringLiteral("(c) single frames");
        cMaster::CaptureAction(*m, true);
        cMaster::CaptureStillImage(*m);
        cMaster::CaptureStillImage(*m);
        cMaster::CaptureAction(*m, false);
        const AviProbe probe = AviProbe::read(movie);
        QVERIFY2(probe.opened, qPrintable(movie));
        QCOMPARE(probe.decodedFrames(), 2);
        QFile f(movie);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QVERIFY(f.readAll().contains("(c) single frames"));
        QVERIFY(defaultFile == movie || !QFile::exists(defaultFile));
        const QString stem = QFileInfo(movie).completeBaseName();
        QCOMPARE(QDir(m_dir.path()).entryList({stem + ".*"}, QDir::Files),
                 QStringList{QFileInfo(movie).fileName()});
    }

    void informationThatCannotBeWrittenIsSaid() {
        cMaster::SelectMovieMode(*m);
        MSVIDEO::MovieFileName = path("never-recorded.avi");
        m->MovieToolbar->setValue("writeinfo", 1);
        cMSVIDEO::CaptureStatusCallback(MSVIDEO::CaptureWindow, IDS_CAP_END, "Capture End.");
        QVERIFY(m->StatusString->text().startsWith(QStringLiteral("Capture End. ")));
        QVERIFY(m->StatusString->text().contains(
            QStringLiteral("The information could not be written to \"") + path("never-recorded.avi")));
        QVERIFY(logEntries().last().startsWith(QStringLiteral("Information not written to ")));
    }

    void modeCommandsWaitForTheEndOfARun() {
        startRun(1, path("MODE.bmp"));
        for (int index : {0, 1, 2, 5})
            QVERIFY2(!m->menuItem("FileMenu", index)->isEnabled(), qPrintable(QString::number(index)));
        QSignalSpy clicks(m.get(), &Master::menuClicked);
        m->menuItem("FileMenu", 0)->trigger(); // movie mode: not now
        QCOMPARE(clicks.count(), 0);
        QVERIFY(m->MultipleImagePanel->Visible());
        cMaster::CaptureAction(*m, false);
        for (int index : {0, 1, 2, 5})
            QVERIFY(m->menuItem("FileMenu", index)->isEnabled());
    }

    void movieAtALongPathWithUmlauts() {
        // About 300 bytes, many of them in two-byte letters.
        QString folder = m_dir.path();
        for (int i = 0; i < 6; ++i)
            folder += QStringLiteral("/Überspielte Größenänderungen äöü ÄÖÜ %1").arg(i);
        QVERIFY(QDir().mkpath(folder));
        const QString movie = folder + QStringLiteral("/Mädchenfüße.avi");
        QVERIFY(movie.toLocal8Bit().size() > 280);
        cMaster::SelectMovieMode(*m);
        m->ShowAudioPanel(false);
        MSVIDEO::MovieFileName = movie;
        m->MovieFrameRateControl->setValue(10);
        m->MovieSecondsControl->setValue(1);
        m->MovieDisableLimit->setChecked(false);
        cMaster::CaptureAction(*m, true);
        QTRY_VERIFY_WITH_TIMEOUT(m->GlobalToolbar->isVisible(), 30000);
        // The name read back from the capture window is the whole name.
        cMaster::ReadCaptureFileName(*m);
        QCOMPARE(MSVIDEO::MovieFileName, movie);
        const AviProbe probe = AviProbe::read(movie);
        QVERIFY(probe.opened);
        QVERIFY(probe.decodedFrames() >= 9);
    }

    void movieRecordsWithTheFrameRateAndLimit() {
        if (QStandardPaths::findExecutable("ffprobe").isEmpty()) QSKIP("ffprobe is not installed");
        cMaster::SelectMovieMode(*m);
        m->ShowAudioPanel(false);
        const QString movie = path("MOVIE.avi");
        QFile(movie).open(QIODevice::WriteOnly); // an old file of that name
        MSVIDEO::MovieFileName = movie;
        m->MovieFrameRateControl->setValue(10);
        m->MovieHoursControl->setValue(0);
        m->MovieMinutesControl->setValue(0);
        m->MovieSecondsControl->setValue(2);
        m->MovieDisableLimit->setChecked(false);
        m->MovieToolbar->setValue("writeinfo", 1);
        MSVIDEO::OtherInfo[0] = QStringLiteral("(c) Kelvanor tests");
        cMaster::CaptureAction(*m, true); // fYield 0: returns when the capture has ended
        QTRY_VERIFY_WITH_TIMEOUT(m->GlobalToolbar->isVisible(), 30000);
        QCOMPARE(MSVIDEO::CaptureParms.wTimeLimit, UINT(2));
        QCOMPARE(MSVIDEO::CaptureParms.dwRequestMicroSecPerFrame, DWORD(100000));
        QVERIFY(logEntries().contains(QStringLiteral("RECPROC i")));
        QCOMPARE(probe(movie, "r_frame_rate"), QStringLiteral("10/1"));
        const int frames = probe(movie, "nb_read_frames").toInt();
        QVERIFY2(frames >= 19 && frames <= 21, qPrintable(QString::number(frames)));
        QFile f(movie);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QVERIFY(f.readAll().contains("(c) Kelvanor tests")); // the information chunk
    }

    void movieHasTheSoundFormatOfTheAudioLists() {
        PulseServer pulse;
        if (const QString why = pulse.start(); !why.isEmpty()) QSKIP(qPrintable(why));
        QVERIFY(pulse.playTone());
        cMaster::SelectMovieMode(*m);
        m->ShowAudioPanel(true);
        m->AudioRate->setCurrentIndex(2);     // 22050 Hz
        m->AudioBits->setCurrentIndex(1);     // 16 bit
        m->AudioChannels->setCurrentIndex(0); // stereo
        const QString movie = path("SOUND.avi");
        MSVIDEO::MovieFileName = movie;
        m->MovieFrameRateControl->setValue(15);
        m->MovieSecondsControl->setValue(2);
        m->MovieDisableLimit->setChecked(false);
        cMaster::CaptureAction(*m, true);
        QTRY_VERIFY_WITH_TIMEOUT(m->GlobalToolbar->isVisible(), 30000);
        QCOMPARE(MSVIDEO::CaptureParms.fCaptureAudio, 1);
        const AviProbe probe = AviProbe::read(movie);
        QVERIFY(probe.opened);
        QCOMPARE(probe.audioStreams, 1);
        QCOMPARE(probe.sampleRate, 22050);
        QCOMPARE(probe.channels, 2);
        QCOMPARE(probe.bitsPerSample, 16);
        QCOMPARE(probe.frameRate.num / std::max(1, probe.frameRate.den), 15);
        QVERIFY(qAbs(probe.audioSeconds() - probe.videoSeconds()) <= 1.0 / 15 + 1e-6);
    }

    void noChunkOutsideMovieAndMultipleImageModes() {
        const QString movie = path("IMAGEMODE.avi");
        QFile f(movie);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray("RIFF\x04\x00\x00\x00"
                           "AVI ",
                           12));
        f.close();
        MSVIDEO::MovieFileName = movie;
        m->MovieToolbar->setValue("writeinfo", 1);
        cMaster::SelectImageMode(*m);
        cMSVIDEO::CaptureStatusCallback(MSVIDEO::CaptureWindow, IDS_CAP_END, "done");
        QCOMPARE(QFileInfo(movie).size(), qint64(12));
        QCOMPARE(m->StatusString->text(), QStringLiteral("done"));
        cMaster::SelectMovieMode(*m);
        MSVIDEO::MovieFileName = movie;
        cMSVIDEO::CaptureStatusCallback(MSVIDEO::CaptureWindow, IDS_CAP_END, "done");
        QVERIFY(QFileInfo(movie).size() > 12);
    }

    void movieStartWithoutDeviceBringsTheToolbarBack() {
        cMaster::SelectMovieMode(*m);
        MSVIDEO::CaptureWindow = 0;
        MSVIDEO::MovieFileName = path("NODEVICE.avi");
        cMaster::CaptureAction(*m, true);
        QVERIFY(m->GlobalToolbar->isVisible());
        QVERIFY(m->StatusString->text().startsWith(QStringLiteral("The capture did not start")));
    }
};

QTEST_MAIN(TestCapture)
#include "tst_capture.moc"
