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

    // A USB reset takes the node away and makes it again under the same name; when
    // both arrive in one read of the watcher, the names alone compare equal, but the
    // node is another: the window takes its camera back, whether the list is read
    // before the stream notices the camera went or after.
    void usbResetInOneReadOfTheWatcherResumes_data() {
        QTest::addColumn<bool>("listFirst");
        QTest::newRow("list read first") << true;
        QTest::newRow("stream failed first") << false;
    }
    void usbResetInOneReadOfTheWatcherResumes() {
        QFETCH(bool, listFirst);
        auto a = FakeDeviceFolder::camera("Cam A", "usb-1");
        m_folder->plug(0, a);
        CaptureWindow* window = openWindow(0);
        QVERIFY(window);
        QVERIFY(window->message(WM_CAP_SET_PREVIEW, 1, 0));
        shows(window, *a, {640, 480}, 3);
        if (QTest::currentTestFailed()) return;

        QSignalSpy failed(window, &CaptureWindow::driverFailed);
        QSignalSpy resumed(window, &CaptureWindow::driverResumed);
        auto again = FakeDeviceFolder::camera("Cam A", "usb-1");
        if (listFirst) {
            DeviceWatcher watcher(m_folder->path());
            m_folder->reset(0, again);
            watcher.handleEvents(); // the removal and the creation at once
        } else {
            m_folder->reset(0, again);
            QTRY_COMPARE_WITH_TIMEOUT(failed.count(), 1, 10000);
            QCOMPARE(resumed.count(), 0);
            QVERIFY(DriverList::refresh()); // what the watcher does with the two events
        }
        QCOMPARE(names().size(), 2);
        QTRY_COMPARE_WITH_TIMEOUT(resumed.count(), 1, 10000);
        QVERIFY(window->failureText().isEmpty());
        shows(window, *again, {640, 480}, 4);
    }

    // Two cameras of one model without serial numbers share their by-id link. The one
    // that was plugged in already when the window's camera failed is not its camera;
    // its own camera back at another port is.
    void aFailedWindowResumesOnlyOnItsOwnCamera() {
        const QString link = QStringLiteral("usb-Cam_A-video-index0");
        auto a = FakeDeviceFolder::camera("Cam A", "usb-1");
        auto twin = FakeDeviceFolder::camera("Cam A", "usb-2");
        m_folder->plug(0, a);
        m_folder->plug(1, twin);
        m_folder->link(link, 0);
        CaptureWindow* window = openWindow(0);
        QVERIFY(window);
        QVERIFY(window->message(WM_CAP_SET_PREVIEW, 1, 0));
        QSignalSpy failed(window, &CaptureWindow::driverFailed);
        QSignalSpy resumed(window, &CaptureWindow::driverResumed);
        m_folder->unplug(0);
        m_folder->link(link, 1); // udev points the link at the camera still there
        QTRY_COMPARE_WITH_TIMEOUT(failed.count(), 1, 10000);
        QVERIFY(DriverList::refresh());
        QCOMPARE(resumed.count(), 0);
        QCOMPARE(twin->openDevices, 0);

        auto back = FakeDeviceFolder::camera("Cam A", "usb-3"); // its own camera, another port
        m_folder->plug(2, back);
        m_folder->link(link, 2);
        QVERIFY(DriverList::refresh());
        QTRY_COMPARE(resumed.count(), 1);
        QCOMPARE(twin->openDevices, 0);
        shows(window, *back, {640, 480}, 8);
    }

    // A camera another program streams from: the window says so, and takes the camera
    // as soon as the other program lets it go.
    void busyCameraIsTakenWhenFree() {
        auto a = FakeDeviceFolder::camera("Cam A", "usb-1");
        m_folder->plug(0, a);
        auto other = std::make_unique<FakeV4l2Device>(
            std::map<QByteArray, std::shared_ptr<FakeCamera>>{{QFile::encodeName(m_folder->node(0)), a}});
        QCOMPARE(other->open(QFile::encodeName(m_folder->node(0))), 0);
        v4l2_format format{};
        format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        format.fmt.pix.width = 640;
        format.fmt.pix.height = 480;
        format.fmt.pix.pixelformat = V4L2_PIX_FMT_RGB24;
        QCOMPARE(other->ioctl(VIDIOC_S_FMT, &format), 0); // it holds the stream

        CaptureWindow* window = openWindow(0);
        QVERIFY(window);
        QSignalSpy failed(window, &CaptureWindow::driverFailed);
        QSignalSpy resumed(window, &CaptureWindow::driverResumed);
        window->message(WM_CAP_SET_PREVIEW, 1, 0);
        QCOMPARE(failed.count(), 1);
        QVERIFY(window->connection().isBusy());
        QVERIFY2(window->failureText().contains(QStringLiteral("in use by another program")),
                 qPrintable(window->failureText()));
        QVERIFY(window->failureText().contains(QStringLiteral("lets the camera go")));
        window->connection().retry(); // still held: nothing changes, nothing is said
        QCOMPARE(failed.count(), 1);
        QCOMPARE(resumed.count(), 0);
        QVERIFY(window->connection().isBusy());

        other.reset(); // the other program ends
        window->connection().retry();
        QCOMPARE(resumed.count(), 1);
        QVERIFY(window->failureText().isEmpty());
        shows(window, *a, {640, 480}, 9);
    }
};

QTEST_MAIN(TestDeviceWatcher)
#include "tst_devicewatcher.moc"
