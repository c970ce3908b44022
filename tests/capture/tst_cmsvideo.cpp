#include "EventLog.h"
#include "LogEntries.h"
#include "MSVIDEO.h"
#include "Master.h"
#include "MsgBox.h"
#include "SystemMetrics.h"
#include "Vars.h"
#include "VfwTestHooks.h"
#include "cMSVIDEO.h"
#include "wMSVIDEO.h"
#include "wMSVIDEOFullScreen.h"

#include <QFile>
#include <QKeyEvent>
#include <QTemporaryDir>
#include <QtTest>
#include <cstring>

// The device connection against the built-in test camera, with the driver's answers
// scripted where a case needs values the test camera does not report.
class TestDeviceConnection : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    // Answers WM_CAP_GET_SEQUENCE_SETUP with the driver's record changed by `edit`,
    // and WM_CAP_GET_AUDIOFORMAT with `rate` samples per second.
    static void scriptDriver(std::function<void(CAPTUREPARMS&)> edit, DWORD rate = 0) {
        VfwTest::setMessageHook(
            [edit, rate](HWND w, UINT msg, WPARAM wp, LPARAM lp) -> std::optional<LRESULT> {
                static bool passOn = false; // the driver's own answer first
                if (msg == WM_CAP_GET_SEQUENCE_SETUP && !passOn) {
                    CAPTUREPARMS p{};
                    passOn = true;
                    SendMessageA(w, msg, sizeof p, reinterpret_cast<LPARAM>(&p));
                    passOn = false;
                    edit(p);
                    std::memcpy(reinterpret_cast<void*>(lp), &p, std::min<size_t>(wp, sizeof p));
                    return 1;
                }
                if (msg == WM_CAP_GET_AUDIOFORMAT && rate != 0) {
                    WAVEFORMATEX f{};
                    f.wFormatTag = WAVE_FORMAT_PCM;
                    f.nChannels = 2;
                    f.wBitsPerSample = 16;
                    f.nSamplesPerSec = rate;
                    std::memcpy(reinterpret_cast<void*>(lp), &f, std::min<size_t>(wp, sizeof f));
                    return 1;
                }
                return std::nullopt;
            });
    }

private slots:
    void init() {
        Vars::StartupDirectory = m_dir.path();
        QVERIFY(CreateLog());
        MSVIDEO::reset();
        MsgBoxTest::enable();
        MsgBoxTest::clear();
    }
    void cleanup() {
        wMSVIDEO::Unload();
        VfwTest::setMessageHook({});
        VfwTest::setDescriptionHook({});
        SystemMetrics::setOverride(0, 0, 0, 0, 0);
    }

    void windowSizeInTwips() {
        SystemMetrics::setOverride(18, 1, 1, 15, 15);
        QCOMPARE(wMSVIDEO::windowSizeTwips(320, 240), QSize(4815, 3900));
    }

    void fullScreenCentres() {
        QCOMPARE(wMSVIDEOFullScreen::centredPosition(QSize(1024, 768), QSize(320, 240)), QPoint(352, 264));
        // Halves go to the even neighbour.
        QCOMPARE(wMSVIDEOFullScreen::centredPosition(QSize(1025, 769), QSize(320, 240)), QPoint(352, 264));
        QCOMPARE(wMSVIDEOFullScreen::centredPosition(QSize(1027, 771), QSize(320, 240)), QPoint(354, 266));
    }

    void startShowsTheLiveTestCamera() {
        Master m;
        cMSVIDEO::StartVideoDevice(m);
        QCOMPARE(m.MSVIDEOPreviewRate->count(), 40);
        QCOMPARE(m.MSVIDEOPreviewRate->itemText(0), QStringLiteral(" 1 FPS"));
        QCOMPARE(m.MSVIDEOPreviewRate->currentIndex(), 9); // 10 frames/s
        QVERIFY(m.MSVIDEODevice->count() >= 1);
        QVERIFY(MSVIDEO::CaptureWindow != 0);
        QVERIFY(wMSVIDEO::instance());
        QCOMPARE(wMSVIDEO::instance()->windowTitle(), MSVIDEO::GetDriverName(0));
        QVERIFY(MSVIDEO::CapStatus.uiImageWidth > 0);
        QCOMPARE(m.msvideotoolbar->Value("vidpreview"), 1);
        QCOMPARE(m.msvideotoolbar->Value("vidoverlay"), 0);
        QVERIFY(m.msvideotoolbar->button("vidsource")->isEnabled());
        QVERIFY(m.MasterStatus->text("filename").startsWith("Filename: /"));
        const QStringList log = logEntries();
        QCOMPARE(log.value(0), QStringLiteral("Device  0:") + MSVIDEO::GetDriverName(0));
        QVERIFY(log.contains(QStringLiteral("Init OK Device  0: ") + MSVIDEO::GetDriverName(0)));
        QVERIFY(MsgBoxTest::shown().empty());
    }

    void movieControlsFollowTheDriver_data() {
        QTest::addColumn<int>("usPerFrame");
        QTest::addColumn<int>("limitEnabled");
        QTest::addColumn<int>("timeLimit");
        QTest::addColumn<int>("fps");
        QTest::addColumn<bool>("noLimit");
        QTest::addColumn<QList<int>>("hms");
        QTest::addColumn<int>("storedLimit");
        QTest::newRow("15 fps, 3725 s") << 66667 << 1 << 3725 << 15 << false << QList<int>{1, 2, 5} << 3725;
        QTest::newRow("1 fps gives 12") << 1000000 << 1 << 60 << 12 << false << QList<int>{0, 1, 0} << 60;
        QTest::newRow("0 gives 12, limit 0") << 0 << 0 << 0 << 12 << true << QList<int>{0, 0, 1} << 1;
        QTest::newRow("25 fps") << 40000 << 1 << 86399 << 25 << false << QList<int>{23, 59, 59} << 86399;
    }
    void movieControlsFollowTheDriver() {
        QFETCH(int, usPerFrame);
        QFETCH(int, limitEnabled);
        QFETCH(int, timeLimit);
        QFETCH(int, fps);
        QFETCH(bool, noLimit);
        QFETCH(QList<int>, hms);
        QFETCH(int, storedLimit);
        scriptDriver([=](CAPTUREPARMS& p) {
            p.dwRequestMicroSecPerFrame = DWORD(usPerFrame);
            p.fLimitEnabled = limitEnabled;
            p.wTimeLimit = UINT(timeLimit);
        });
        Master m;
        cMSVIDEO::StartVideoDevice(m);
        QCOMPARE(m.MovieFrameRateControl->value(), fps);
        QCOMPARE(m.MovieDisableLimit->isChecked(), noLimit);
        QCOMPARE((QList<int>{m.MovieHoursControl->value(), m.MovieMinutesControl->value(),
                             m.MovieSecondsControl->value()}),
                 hms);
        QCOMPARE(int(MSVIDEO::CaptureParms.wTimeLimit), storedLimit);
    }

    void audioListsFollowTheDriver_data() {
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("rateIndex");
        QTest::newRow("44100") << 44100 << 3;
        QTest::newRow("8000") << 8000 << 0;
        QTest::newRow("48000 leaves the list") << 48000 << 2;
    }
    void audioListsFollowTheDriver() {
        QFETCH(int, rate);
        QFETCH(int, rateIndex);
        scriptDriver([](CAPTUREPARMS&) {}, DWORD(rate));
        Master m;
        m.AudioRate->setCurrentIndex(2);
        cMSVIDEO::StartVideoDevice(m);
        QCOMPARE(m.AudioRate->currentIndex(), rateIndex);
        QCOMPARE(m.AudioBits->currentText(), QStringLiteral("16 bit"));
        QCOMPARE(m.AudioChannels->currentText(), QStringLiteral("Stereo"));
    }

    void twoDriversLogTwoDevicesAndOneConnection() {
        VfwTest::setDescriptionHook([](UINT index) -> std::optional<std::pair<QString, QString>> {
            if (index == 0) return std::make_pair(QStringLiteral("Camera A"), QStringLiteral("1.0"));
            if (index == 1) return std::make_pair(QStringLiteral("Camera B"), QStringLiteral("2.0"));
            return std::nullopt;
        });
        Master m;
        cMSVIDEO::StartVideoDevice(m);
        const QStringList log = logEntries();
        QCOMPARE(log.filter(QRegularExpression("^Device ")),
                 (QStringList{"Device  0:Camera A", "Device  1:Camera B"}));
        QCOMPARE(log.filter(QRegularExpression("^Init OK Device ")),
                 QStringList{"Init OK Device  0: Camera A"});
        QCOMPARE(m.MSVIDEODevice->count(), 2);
        QCOMPARE(m.MSVIDEODevice->itemText(1), QStringLiteral("Camera B"));
    }

    void noDriverEndsTheStartEarly() {
        VfwTest::setDescriptionHook(
            [](UINT) -> std::optional<std::pair<QString, QString>> { return std::nullopt; });
        Master m;
        cMSVIDEO::StartVideoDevice(m);
        QCOMPARE(MsgBoxTest::texts(),
                 QStringList{"There is no Video Compatible device with Microsoft Video for Windows."});
        QCOMPARE(MsgBoxTest::shown()[0].style, int(MsgBoxStyle::vbCritical));
        QCOMPARE(m.MSVIDEODevice->count(), 0);
        QCOMPARE(MSVIDEO::CaptureWindow, HWND(0));
        QVERIFY(!wMSVIDEO::instance());
        QCOMPARE(m.MSVIDEOPreviewRate->count(), 40);
    }

    void choosingADriverRebuildsTheWindow() {
        Master m;
        cMSVIDEO::StartVideoDevice(m);
        const HWND first = MSVIDEO::CaptureWindow;
        QPointer<wMSVIDEO> firstWindow = wMSVIDEO::instance();
        cMSVIDEO::SelectVideoDevice(m, 0);
        QVERIFY(MSVIDEO::CaptureWindow != 0);
        QVERIFY(MSVIDEO::CaptureWindow != first);
        QVERIFY(firstWindow.isNull());
        QVERIFY(wMSVIDEO::instance());
        CAPSTATUS status{};
        QVERIFY(!MSVIDEO::GetCaptureStatus(first, status)); // the old window is gone
        QVERIFY(MSVIDEO::GetCaptureStatus(MSVIDEO::CaptureWindow, status));
    }

    void failingCapsSayCantConnect() {
        VfwTest::setMessageHook([](HWND, UINT msg, WPARAM, LPARAM) -> std::optional<LRESULT> {
            if (msg == WM_CAP_DRIVER_GET_CAPS) return 0;
            return std::nullopt;
        });
        Master m;
        cMSVIDEO::SelectVideoDevice(m, 0);
        QVERIFY(MsgBoxTest::texts().contains("Can't connect this device."));
        QVERIFY(!m.msvideotoolbar->button("vidsource")->isEnabled());
        QVERIFY(!m.menuItem("ViewMenu", 0)->isEnabled());
    }

    void aDeviceThatDoesNotConnectLeavesNothingOfThePreviousOne() {
        Master m;
        cMSVIDEO::StartVideoDevice(m); // the test camera, live
        QVERIFY(m.msvideotoolbar->button("vidsource")->isEnabled());
        QCOMPARE(m.msvideotoolbar->Value("vidpreview"), 1);
        QVERIFY(MSVIDEO::CapStatus.uiImageWidth > 0);
        cMSVIDEO::SelectVideoDevice(m, 7); // no such driver
        QVERIFY(MsgBoxTest::texts().contains("Can't connect this device."));
        const CAPDRIVERCAPS noCaps{};
        QCOMPARE(std::memcmp(&MSVIDEO::CapDriverCaps, &noCaps, sizeof noCaps), 0);
        QCOMPARE(MSVIDEO::CapStatus.uiImageWidth, UINT(0));
        QCOMPARE(MSVIDEO::CapStatus.uiImageHeight, UINT(0));
        for (const char* key : {"vidsource", "viddisplay", "vidformat", "vidoverlay"})
            QVERIFY2(!m.msvideotoolbar->button(key)->isEnabled(), key);
        QCOMPARE(m.msvideotoolbar->Value("vidpreview"), 0);
        QCOMPARE(m.msvideotoolbar->Value("vidoverlay"), 0);
    }

    void aRecordingThatFailsAfterItBeganKeepsItsEndText() {
        // fYield 0: the capture answers only at its end, and a recording that ended by
        // a fault answers false, though its movie exists.
        VfwTest::setMessageHook([](HWND w, UINT msg, WPARAM, LPARAM) -> std::optional<LRESULT> {
            if (msg != WM_CAP_SEQUENCE) return std::nullopt;
            cMSVIDEO::CaptureStatusCallback(w, IDS_CAP_BEGIN, "Capture Start.");
            cMSVIDEO::CaptureStatusCallback(w, IDS_CAP_FILE_WRITE_ERROR, "Write error on the disk.");
            cMSVIDEO::CaptureStatusCallback(w, IDS_CAP_END,
                                            "Capture End. Write error on the disk. Captured 2.000 sec.");
            return FALSE;
        });
        Master m;
        cMSVIDEO::StartVideoDevice(m);
        MSVIDEO::MovieFileName = m_dir.filePath("faulty.avi");
        m.GlobalToolbar->hide();
        cMSVIDEO::RecordMovie(m);
        QCOMPARE(m.StatusString->text(),
                 QStringLiteral("Capture End. Write error on the disk. Captured 2.000 sec."));
        QVERIFY(m.GlobalToolbar->isVisibleTo(&m));
    }

    void aStatusNamingALongPathKeepsItsReason() {
        Master m;
        const QString path = QStringLiteral("/tmp/") + QString(120, QChar(0x00FC)) + QLatin1Char('/') +
                             QString(400, QLatin1Char('a')) + QStringLiteral(".avi");
        const QString text = QStringLiteral("Cannot open '%1': Permission denied").arg(path);
        QVERIFY(text.toLocal8Bit().size() > 600);
        cMSVIDEO::CaptureStatusCallback(MSVIDEO::CaptureWindow, IDS_CAP_CANTOPEN,
                                        text.toLocal8Bit().constData());
        QCOMPARE(m.StatusString->text(), text);
    }

    void fullScreenGivesTheHandleBack() {
        Master m;
        cMSVIDEO::StartVideoDevice(m);
        const HWND display = MSVIDEO::CaptureWindow;
        HWND own = 0;
        {
            wMSVIDEOFullScreen full(m);
            full.show();
            own = MSVIDEO::CaptureWindow;
            QVERIFY(own != 0);
            QVERIFY(own != display);
            QCOMPARE(MsgBoxTest::texts().last(), QStringLiteral("Press any key to leave Fullscreen mode..."));
            QCOMPARE(MsgBoxTest::shown().back().style, int(MsgBoxStyle::vbInformation));
            // A modifier alone closes the window.
            QKeyEvent shift(QEvent::KeyPress, Qt::Key_Shift, Qt::ShiftModifier);
            QApplication::sendEvent(&full, &shift);
            QVERIFY(!full.isVisible());
        }
        QCOMPARE(MSVIDEO::CaptureWindow, display);
        CAPSTATUS status{};
        QVERIFY(!MSVIDEO::GetCaptureStatus(own, status));
        QVERIFY(MSVIDEO::GetCaptureStatus(display, status));
    }

    void elapsedTime_data() {
        QTest::addColumn<int>("frames");
        QTest::addColumn<int>("fps");
        QTest::addColumn<QString>("text");
        QTest::newRow("15 fps, frame 1234") << 1234 << 15 << "00:01:22.04";
        QTest::newRow("100 hours") << 100 * 3600 * 25 + 3 << 25 << "100:00:00.03";
        QTest::newRow("rate 0") << 7 << 0 << "00:00:00.07";
        QTest::newRow("zero") << 0 << 30 << "00:00:00.00";
    }
    void elapsedTime() {
        QFETCH(int, frames);
        QFETCH(int, fps);
        QFETCH(QString, text);
        QCOMPARE(cMSVIDEO::ElapsedText(quint32(frames), fps), text);
    }
};

QTEST_MAIN(TestDeviceConnection)
#include "tst_cmsvideo.moc"
