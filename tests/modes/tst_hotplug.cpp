#include "../platform/vfw/FakeV4l2Device.h"
#include "AviProbe.h"
#include "CaptureWindow.h"
#include "Clock.h"
#include "DeviceWatcher.h"
#include "EventLog.h"
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
};

QTEST_MAIN(TestHotPlug)
#include "tst_hotplug.moc"
