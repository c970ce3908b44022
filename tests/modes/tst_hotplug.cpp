#include "AviProbe.h"
#include "CameraSettings.h"
#include "CaptureWindow.h"
#include "Clock.h"
#include "DeviceWatcher.h"
#include "EventLog.h"
#include "FakeV4l2Device.h"
#include "LogEntries.h"
#include "MSVIDEO.h"
#include "Master.h"
#include "MsgBox.h"
#include "Vars.h"
#include "cMSVIDEO.h"
#include "cMaster.h"
#include "drivers/TestPattern.h"
#include "drivers/TestPatternDriver.h"
#include "wMSVIDEO.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

// Cameras plugged in and out while the program runs, through the main window: its
// device list, its preview and a movie recording.
class TestHotPlug : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<FakeDeviceFolder> m_folder;
    std::unique_ptr<Master> m;
    std::shared_ptr<FakeCamera> m_a;

    QStringList deviceList() const {
        QStringList names;
        for (int i = 0; i < m->MSVIDEODevice->count(); ++i)
            names << m->MSVIDEODevice->itemText(i);
        return names;
    }
    CaptureWindow* window() const { return CaptureWindow::find(MSVIDEO::CaptureWindow); }

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
        m_folder = std::make_unique<FakeDeviceFolder>();
        m_a = FakeDeviceFolder::camera("Cam A", "usb-1");
        m_folder->plug(1, m_a);
        m = std::make_unique<Master>();
        m->resize(1000, 800);
        m->show();
        cMSVIDEO::StartVideoDevice(*m);
        cMaster::ReadCaptureFileName(*m);
        QVERIFY(window());
    }
    void cleanup() {
        cMaster::CaptureAction(*m, false);
        wMSVIDEO::Unload();
        m.reset();
        m_folder.reset();
        m_a.reset();
        CameraSettings::setFile(QString());
    }

    void restart() {
        wMSVIDEO::Unload();
        m = std::make_unique<Master>();
        m->show();
        MSVIDEO::reset();
        DriverList::refresh(); // a new run reads the devices afresh
        cMSVIDEO::StartVideoDevice(*m);
    }

    // The camera used last, with its format and control values, at the next start,
    // wherever it is plugged in now; the capture parameters file is not touched.
    void cameraAndItsSettingsComeBackAtTheNextStart_data() {
        QTest::addColumn<QByteArray>("busNow");
        QTest::newRow("another node") << QByteArray("usb-2");
        QTest::newRow("another port") << QByteArray("usb-9");
    }
    void cameraAndItsSettingsComeBackAtTheNextStart() {
        QFETCH(QByteArray, busNow);
        CameraSettings::setFile(m_dir.filePath(QStringLiteral("cameras.ini")));
        auto b = FakeDeviceFolder::camera("Cam B", "usb-2");
        m_folder->plug(2, b);
        QVERIFY(DriverList::refresh());
        cMSVIDEO::SelectVideoDevice(*m, 1);
        QCOMPARE(window()->driver()->name(), QStringLiteral("Cam B"));
        QVERIFY(SendMessageA(MSVIDEO::CaptureWindow, WM_CAP_SET_PREVIEW, 0, 0));
        QVERIFY(window()->driver()->setFormat({V4L2_PIX_FMT_RGB24, QSize(320, 240), {1, 15}}));
        QVERIFY(window()->driver()->setControl(V4L2_CID_BRIGHTNESS, 200));
        QVERIFY(window()->driver()->setControl(V4L2_CID_POWER_LINE_FREQUENCY, 2));

        // The program ends; at the next start the camera is at another node, with its defaults.
        wMSVIDEO::Unload();
        m_folder->unplug(2);
        auto again = FakeDeviceFolder::camera("Cam B", busNow);
        m_folder->plug(5, again);
        m_folder->plug(0, FakeDeviceFolder::camera("Cam C", "usb-3"));
        restart();
        QCOMPARE(m->MSVIDEODevice->currentText(), QStringLiteral("Cam B"));
        QCOMPARE(MSVIDEO::DeviceIndex, 2);
        QCOMPARE(window()->driver()->format(), (VideoFormat{V4L2_PIX_FMT_RGB24, QSize(320, 240), {1, 15}}));
        std::map<int, int> values;
        for (const DriverControl& control : window()->driver()->controls())
            values[int(control.id)] = control.value;
        QCOMPARE(values[V4L2_CID_BRIGHTNESS], 200);
        QCOMPARE(values[V4L2_CID_POWER_LINE_FREQUENCY], 2);
        QTRY_VERIFY(again->streaming);
        QCOMPARE(again->lastSetFormat.fmt.pix.width, 320u);
        QVERIFY(!QFile::exists(m_dir.filePath(QStringLiteral("klsr.kl2"))));
    }

    // A camera used last that is not there: driver 0, as always.
    void missingCameraFallsBackToTheFirstDriver() {
        CameraSettings::setFile(m_dir.filePath(QStringLiteral("cameras.ini")));
        auto b = FakeDeviceFolder::camera("Cam B", "usb-2");
        m_folder->plug(2, b);
        QVERIFY(DriverList::refresh());
        cMSVIDEO::SelectVideoDevice(*m, 1);
        m_folder->unplug(2);
        restart();
        QCOMPARE(MSVIDEO::DeviceIndex, 0);
        QCOMPARE(m->MSVIDEODevice->currentText(), QStringLiteral("Cam A"));
    }

    void deviceListFollowsAndKeepsTheSelection() {
        auto* watcher = m->findChild<DeviceWatcher*>();
        QVERIFY(watcher);
        QCOMPARE(watcher->folder(), m_folder->path());
        const QString pattern = TestPatternDriver::driverName();
        QCOMPARE(deviceList(), QStringList({"Cam A", pattern}));
        QCOMPARE(m->MSVIDEODevice->currentIndex(), 0);

        QSignalSpy changed(watcher, &DeviceWatcher::devicesChanged);
        m_folder->plug(0, FakeDeviceFolder::camera("Cam B", "usb-2"));
        QTRY_COMPARE(changed.count(), 1);
        QCOMPARE(deviceList(), QStringList({"Cam B", "Cam A", pattern}));
        QCOMPARE(m->MSVIDEODevice->currentText(), QStringLiteral("Cam A"));
        QCOMPARE(MSVIDEO::DeviceIndex, 1);
        QCOMPARE(window()->driverIndex(), 1);
        QCOMPARE(MSVIDEO::GetDriverName(MSVIDEO::DeviceIndex), QStringLiteral("Cam A"));
        QVERIFY(logEntries().contains(QStringLiteral("Device added: Cam B")));

        // The user picks the new camera: that one, not whatever is first.
        cMSVIDEO::SelectVideoDevice(*m, 0);
        QCOMPARE(window()->driver()->name(), QStringLiteral("Cam B"));
    }

    // Unplugged in the middle of a movie: the movie ends at once, whole and indexed,
    // and the status line names the camera.
    void unplugDuringAMovieEndsItWithAPlayableFile() {
        cMaster::SelectMovieMode(*m);
        m->ShowAudioPanel(false);
        const QString movie = m_dir.filePath(QStringLiteral("lost.avi"));
        MSVIDEO::MovieFileName = movie;
        m->MovieFrameRateControl->setValue(15);
        m->MovieDisableLimit->setChecked(true);
        FakeCamera::Frame frame;
        frame.image = TestPattern::render({640, 480}, 0, 50, 7, QTime(9, 0));
        m_a->broken = frame; // a steady stream of this picture
        int arrived = 0;
        QObject::connect(window(), &CaptureWindow::frameArrived, this, [this, &arrived] {
            if (++arrived == 10) m_folder->unplug(1);
        });
        cMaster::CaptureAction(*m, true);
        QTRY_VERIFY_WITH_TIMEOUT(m->GlobalToolbar->isVisible(), 30000);
        QVERIFY2(m->StatusString->text().contains(QStringLiteral("Cam A was unplugged")),
                 qPrintable(m->StatusString->text()));
        const AviProbe probe = AviProbe::read(movie);
        QVERIFY(probe.opened);
        QVERIFY(probe.decodedFrames() >= 1);
        QCOMPARE(probe.headerFrames, probe.decodedFrames());
        for (int number : probe.strip)
            QCOMPARE(number, 7);
        QVERIFY(!window()->failureText().isEmpty());
    }

    // What a capture without a window is told about its camera before it starts:
    // nothing when it works; why, when another program streams from it (the camera
    // refuses to stream with EBUSY, as uvcvideo does for a second reader) or it is
    // not there.
    void theDeviceProblemSaysWhyThereIsNoPicture() {
        QCOMPARE(MSVIDEO::DeviceProblem(MSVIDEO::CaptureWindow), QString());
        wMSVIDEO::Unload();
        m_a->failStreamOn = EBUSY;
        restart();
        const QString problem = MSVIDEO::DeviceProblem(MSVIDEO::CaptureWindow);
        QVERIFY2(problem.contains(QStringLiteral("in use by another program")), qPrintable(problem));
        QVERIFY(!MSVIDEO::DeviceProblem(0).isEmpty());
    }

    // A size set without the format dialog: one the camera offers is taken (its format
    // and rate kept where it has them), another is refused with the sizes there are,
    // and a read-only camera settings file is left as it was.
    void aSizeSetWithoutTheDialog() {
        const QString settings = m_dir.filePath(QStringLiteral("readonly-cameras.ini"));
        QFile::remove(settings);
        CameraSettings::setFile(settings);
        CameraSettings::setReadOnly(true);
        CaptureDriver* driver = window()->driver();
        QVERIFY(driver);
        const std::vector<FormatOption> options = driver->formats();
        QVERIFY(!options.empty());
        QSize other;
        for (const FormatOption& o : options)
            if (o.size != driver->format().size) other = o.size;
        QString reason;
        if (other.isValid()) {
            QVERIFY2(MSVIDEO::SetFrameSize(MSVIDEO::CaptureWindow, other, &reason), qPrintable(reason));
            QCOMPARE(driver->format().size, other);
        }
        QVERIFY(!MSVIDEO::SetFrameSize(MSVIDEO::CaptureWindow, QSize(123, 45), &reason));
        QVERIFY2(reason.contains(QStringLiteral("does not offer the size 123x45")) &&
                     reason.contains(QStringLiteral("%1x%2")
                                         .arg(options.front().size.width())
                                         .arg(options.front().size.height())),
                 qPrintable(reason));
        wMSVIDEO::Unload(); // the disconnection keeps a camera's settings, unless read-only
        CameraSettings::setReadOnly(false);
        QVERIFY(!QFile::exists(settings));
    }
};

QTEST_MAIN(TestHotPlug)
#include "tst_hotplug.moc"
