#include "CameraSettings.h"
#include "DriverList.h"
#include "FakeV4l2Device.h"
#include "drivers/V4l2Driver.h"

#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

// Each camera's kept control values, written back when it is connected again.
class TestCameraSettings : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void automaticControlsAreRestoredBeforeTheManualOnes();
    void identicalCamerasKeepTheirOwnSettings();

private:
    QTemporaryDir m_dir;
};

namespace {

const DeviceIdentity kIdentity{QStringLiteral("Fake Camera"), QStringLiteral("usb-0000:00:14.0-1"),
                               QStringLiteral("usb-Fake_Camera-video-index0")};

// A camera as uvcvideo shows a webcam with automatic focus: the manual focus is
// inactive (and refuses values, EACCES) while the automatic focus is on; neither is
// flagged V4L2_CTRL_FLAG_UPDATE. A relative iris: a move, no value.
std::shared_ptr<FakeCamera> focusCamera(int brightnessMaximum) {
    auto camera = FakeCamera::standard();
    auto focus =
        FakeCamera::control(V4L2_CID_FOCUS_ABSOLUTE, V4L2_CTRL_TYPE_INTEGER, "Focus, Absolute", 0, 250, 0);
    focus.master = V4L2_CID_FOCUS_AUTO;
    camera->controls = {
        FakeCamera::control(V4L2_CID_BRIGHTNESS, V4L2_CTRL_TYPE_INTEGER, "Brightness", 0, brightnessMaximum,
                            100),
        focus,
        FakeCamera::control(V4L2_CID_FOCUS_AUTO, V4L2_CTRL_TYPE_BOOLEAN, "Focus, Automatic Continuous", 0, 1,
                            1),
        FakeCamera::control(V4L2_CID_IRIS_RELATIVE, V4L2_CTRL_TYPE_INTEGER, "Iris, Relative", -1, 1, 0,
                            V4L2_CTRL_FLAG_WRITE_ONLY),
    };
    return camera;
}

std::unique_ptr<V4l2Driver> openDriver(const std::shared_ptr<FakeCamera>& camera) {
    auto driver = std::make_unique<V4l2Driver>(
        V4l2Node{QStringLiteral("/dev/video0"), QStringLiteral("Fake Camera"), QStringLiteral("6.1.7")},
        [camera] {
            return std::unique_ptr<V4l2Device>(new FakeV4l2Device({{"/dev/video0", camera}}));
        });
    return driver->open() ? std::move(driver) : nullptr;
}

} // namespace

void TestCameraSettings::init() {
    CameraSettings::setFile(m_dir.filePath(QStringLiteral("cameras.ini")));
}

void TestCameraSettings::cleanup() {
    QFile::remove(CameraSettings::file());
    CameraSettings::setFile(QString());
    DriverList::setEntriesForTest({});
}

void TestCameraSettings::automaticControlsAreRestoredBeforeTheManualOnes() {
    {
        auto camera = focusCamera(255);
        auto driver = openDriver(camera);
        QVERIFY(driver);
        QVERIFY(driver->setControl(V4L2_CID_FOCUS_AUTO, 0));
        QVERIFY(driver->setControl(V4L2_CID_FOCUS_ABSOLUTE, 70));
        QVERIFY(driver->setControl(V4L2_CID_BRIGHTNESS, 200));
        CameraSettings::save(kIdentity, *driver);
    }
    // Kept under its link and its port; a move has no value to keep.
    QSettings kept(CameraSettings::file(), QSettings::IniFormat);
    const QString group = kIdentity.byId + QLatin1Char('@') + kIdentity.busInfo;
    QVERIFY(kept.childGroups().contains(group));
    QVERIFY(kept.contains(group + QStringLiteral("/Controls/%1").arg(V4L2_CID_BRIGHTNESS)));
    QVERIFY(!kept.contains(group + QStringLiteral("/Controls/%1").arg(V4L2_CID_IRIS_RELATIVE)));

    // Plugged in again, with its defaults (and a smaller brightness range since a
    // firmware update): the automatic focus goes off first, so that the camera takes
    // the manual focus; a value past the range is the camera's to clamp.
    auto camera = focusCamera(150);
    auto driver = openDriver(camera);
    QVERIFY(driver);
    QVERIFY(CameraSettings::restore(kIdentity, *driver,
                                    [&](const VideoFormat& format) { return driver->setFormat(format); }));
    const std::vector<std::pair<std::uint32_t, int>> expected = {
        {V4L2_CID_FOCUS_AUTO, 0}, {V4L2_CID_BRIGHTNESS, 150}, {V4L2_CID_FOCUS_ABSOLUTE, 70}};
    QCOMPARE(camera->controlWrites, expected);
}

// Two cameras of one model without serial numbers: udev gives them one by-id link.
// Each keeps its own values, told apart by the link and the USB port together; one
// moved to another port is known by its link, as long as the other is at its own port.
void TestCameraSettings::identicalCamerasKeepTheirOwnSettings() {
    const QString link = QStringLiteral("usb-Twin_Cam-video-index0");
    const DeviceIdentity a{QStringLiteral("Twin Cam"), QStringLiteral("usb-0000:00:14.0-1"), link};
    const DeviceIdentity b{QStringLiteral("Twin Cam"), QStringLiteral("usb-0000:00:14.0-2"), link};
    const DeviceIdentity aMoved{QStringLiteral("Twin Cam"), QStringLiteral("usb-0000:00:14.0-9"), link};
    std::vector<DeviceIdentity> present;
    DriverList::setEntriesForTest([&present] {
        std::vector<DriverList::Entry> list;
        for (const DeviceIdentity& identity : present)
            list.push_back({identity.card, QStringLiteral("1"), {}, identity.key(), identity});
        return list;
    });
    auto keep = [](const DeviceIdentity& identity, int brightness) {
        auto driver = openDriver(focusCamera(255));
        QVERIFY(driver && driver->setControl(V4L2_CID_BRIGHTNESS, brightness));
        CameraSettings::save(identity, *driver);
    };
    auto restored = [](const DeviceIdentity& identity) {
        auto camera = focusCamera(255);
        auto driver = openDriver(camera);
        if (!driver) return -1;
        CameraSettings::restore(identity, *driver, [](const VideoFormat&) { return true; });
        for (const auto& [id, value] : camera->controlWrites)
            if (id == V4L2_CID_BRIGHTNESS) return value;
        return 100; // nothing written: its default
    };
    present = {a, b};
    DriverList::refresh();
    keep(a, 200);
    keep(b, 50);
    QCOMPARE(restored(a), 200);
    QCOMPARE(restored(b), 50);
    QCOMPARE(CameraSettings::lastCameraIndex(), 1); // b, kept last

    present = {aMoved, b};
    DriverList::refresh();
    QCOMPARE(restored(aMoved), 200);
}

QTEST_GUILESS_MAIN(TestCameraSettings)
#include "tst_camerasettings.moc"
