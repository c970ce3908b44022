#include "CaptureWindow.h"
#include "DeviceWatcher.h"
#include "DriverList.h"
#include "FakeV4l2Device.h"
#include "drivers/TestPattern.h"
#include "drivers/TestPatternDriver.h"

#include <QSignalSpy>
#include <QtTest>

// The device list as cameras come and go: what an entry connects, the watcher of the
// device folder, and a capture window whose camera is unplugged and comes back.
class TestDeviceWatcher : public QObject {
    Q_OBJECT

    std::unique_ptr<FakeDeviceFolder> m_folder;
    std::unique_ptr<QWidget> m_parent;

    static QStringList names() {
        QStringList list;
        for (const DriverList::Entry& entry : DriverList::entries())
            list << entry.name;
        return list;
    }

    CaptureWindow* openWindow(int index) {
        auto* window = new CaptureWindow(m_parent.get());
        CaptureWindow::attach(window);
        window->setGeometry(0, 0, 320, 240);
        window->show();
        if (!window->message(WM_CAP_DRIVER_CONNECT, WPARAM(index), 0)) return nullptr;
        return window;
    }

    static void shows(CaptureWindow* window, FakeCamera& camera, QSize size, int number) {
        camera.push(TestPattern::render(size, 0, 50, quint64(number), QTime(9, 0)));
        QTRY_VERIFY_WITH_TIMEOUT(window->newestFrame().isValid() &&
                                     decodeFrameNumberStrip(window->newestFrame().image()) == number,
                                 10000);
    }

private slots:
    void init() {
        m_folder = std::make_unique<FakeDeviceFolder>();
        m_parent = std::make_unique<QWidget>();
        m_parent->resize(400, 300);
        m_parent->show();
    }
    void cleanup() {
        m_parent.reset();
        m_folder.reset();
    }

    void listFollowsNodesThatComeAndGo() {
        m_folder->plug(0, FakeDeviceFolder::camera("Cam A", "usb-1"));
        DeviceWatcher watcher(m_folder->path());
        QVERIFY(watcher.isWatching());
        QSignalSpy changed(&watcher, &DeviceWatcher::devicesChanged);
        QSignalSpy told(DriverList::notifier(), &DriverList::Notifier::changed);
        const QString pattern = TestPatternDriver::driverName();
        QCOMPARE(names(), QStringList({"Cam A", pattern}));

        m_folder->plug(3, FakeDeviceFolder::camera("Cam B", "usb-2"));
        QTRY_COMPARE(changed.count(), 1);
        QCOMPARE(told.count(), 1);
        QCOMPARE(names(), QStringList({"Cam A", "Cam B", pattern}));

        m_folder->unplug(0);
        QTRY_COMPARE(changed.count(), 2);
        QCOMPARE(names(), QStringList({"Cam B", pattern}));
        // Nothing changed: nothing said.
        watcher.handleEvents();
        QVERIFY(!DriverList::refresh());
        QCOMPARE(changed.count(), 2);
    }

    // An entry names the camera it was read with: a camera that took its node since
    // is not connected through it.
    void anEntryNeverConnectsAnotherCamera() {
        auto a = FakeDeviceFolder::camera("Cam A", "usb-1");
        m_folder->plug(0, a);
        QCOMPARE(DriverList::entry(0)->name, QStringLiteral("Cam A"));
        m_folder->unplug(0);
        auto b = FakeDeviceFolder::camera("Cam B", "usb-2");
        m_folder->plug(0, b); // before the list is read again
        auto driver = DriverList::create(0);
        QVERIFY(driver);
        QVERIFY(!driver->open());
        QVERIFY(driver->lastError().contains(QStringLiteral("Cam A")));
        QCOMPARE(b->openDevices, 0);
        QVERIFY(DriverList::refresh());
        QCOMPARE(DriverList::entry(0)->name, QStringLiteral("Cam B"));
    }

    // A camera plugged in at a lower node moves the connected entry down the list; the
    // window follows it and keeps its camera.
    void connectedEntryFollowsItsCamera() {
        auto a = FakeDeviceFolder::camera("Cam A", "usb-1");
        m_folder->plug(2, a);
        CaptureWindow* window = openWindow(0);
        QVERIFY(window);
        QVERIFY(window->message(WM_CAP_SET_PREVIEW, 1, 0));
        auto b = FakeDeviceFolder::camera("Cam B", "usb-2");
        m_folder->plug(0, b);
        QVERIFY(DriverList::refresh());
        QCOMPARE(window->driverIndex(), 1);
        QCOMPARE(DriverList::entry(1)->name, QStringLiteral("Cam A"));
        shows(window, *a, {640, 480}, 12);
        if (QTest::currentTestFailed()) return;
        QCOMPARE(b->openDevices, 0);
    }

    // Unplugged during preview: the window says so and nothing runs; the same camera
    // back (at another node, with its default format) streams again in the format it had.
    void unplugDuringPreviewThenReturnResumes() {
        auto a = FakeDeviceFolder::camera("Cam A", "usb-1");
        a->currentSize = QSize(320, 240); // the format it was left in
        m_folder->plug(0, a);
        DeviceWatcher watcher(m_folder->path());
        CaptureWindow* window = openWindow(0);
        QVERIFY(window);
        QVERIFY(window->message(WM_CAP_SET_PREVIEWRATE, 100, 0));
        QVERIFY(window->message(WM_CAP_SET_PREVIEW, 1, 0));
        shows(window, *a, {320, 240}, 5);
        if (QTest::currentTestFailed()) return;

        QSignalSpy failed(window, &CaptureWindow::driverFailed);
        m_folder->unplug(0);
        QTRY_COMPARE_WITH_TIMEOUT(failed.count(), 1, 10000);
        QVERIFY(window->failureText().contains(QStringLiteral("Cam A was unplugged")));
        QVERIFY(!window->driver()->isStreaming()); // no worker polls
        QVERIFY(!window->previewTimerRunning());   // no timer ticks
        const QImage shown = window->grab().toImage();
        QCOMPARE(decodeFrameNumberStrip(shown), -1); // the text, not the last picture
        // The entry stays while the window holds it.
        QTRY_COMPARE(names().first(), QStringLiteral("Cam A"));
        QVERIFY(!DriverList::entry(0)->present);

        QSignalSpy resumed(window, &CaptureWindow::driverResumed);
        auto again = FakeDeviceFolder::camera("Cam A", "usb-1"); // as a camera starts: 640x480
        m_folder->plug(4, again);
        QTRY_COMPARE(resumed.count(), 1);
        QVERIFY(window->failureText().isEmpty());
        QVERIFY(window->previewTimerRunning());
        QCOMPARE(DriverList::entry(window->driverIndex())->present, true);
        shows(window, *again, {320, 240}, 6);
        if (QTest::currentTestFailed()) return;
        QCOMPARE(again->lastSetFormat.fmt.pix.width, 320u);
        QCOMPARE(again->lastSetFormat.fmt.pix.height, 240u);
        QCOMPARE(a->openDevices, 0);
    }

    // Another camera arriving does not wake a window whose camera is away.
    void anotherCameraDoesNotResumeAFailedWindow() {
        auto a = FakeDeviceFolder::camera("Cam A", "usb-1");
        m_folder->plug(0, a);
        CaptureWindow* window = openWindow(0);
        QVERIFY(window->message(WM_CAP_SET_PREVIEW, 1, 0));
        QSignalSpy failed(window, &CaptureWindow::driverFailed);
        m_folder->unplug(0);
        QTRY_COMPARE_WITH_TIMEOUT(failed.count(), 1, 10000);
        auto b = FakeDeviceFolder::camera("Cam A", "usb-7"); // the same model at another port
        m_folder->plug(0, b);
        QVERIFY(DriverList::refresh());
        QVERIFY(!window->failureText().isEmpty());
        QCOMPARE(b->openDevices, 0);
        QCOMPARE(names().size(), 3); // the absent camera, the new one, the test pattern
    }
};

QTEST_MAIN(TestDeviceWatcher)
#include "tst_devicewatcher.moc"
