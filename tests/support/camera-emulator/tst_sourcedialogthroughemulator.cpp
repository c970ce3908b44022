// The source dialog on our V4L2 driver, through the real libv4l2 and system calls,
// against the emulated camera preloaded into this test (ctest sets LD_PRELOAD): the
// automatic/manual pairs as uvcvideo has them. Turning an automatic control off makes
// its manual one usable in the open dialog (the camera announces the change), and
// Cancel puts the starting values back, the automatic control first, so that the
// manual value it governs is taken. What the camera holds is read through a handle of
// its own, as another program would.

#include "CaptureDialogs.h"
#include "SourceDialog.h"
#include "drivers/V4l2Device.h"
#include "drivers/V4l2Driver.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QSlider>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <functional>
#include <linux/videodev2.h>

class TestSourceDialogThroughEmulator : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    static V4l2Node node() {
        for (const V4l2Node& n : V4l2Driver::captureNodes())
            if (n.path == QLatin1String("/dev/video42")) return n;
        return {};
    }

    // The camera's own state, through a handle of its own.
    struct Look {
        std::unique_ptr<V4l2Device> device = makePlainV4l2Device();
        bool open() { return device->open("/dev/video42") == 0; }
        int value(std::uint32_t id) {
            v4l2_control control{id, 0};
            return device->ioctl(VIDIOC_G_CTRL, &control) == 0 ? control.value : -99999;
        }
        bool inactive(std::uint32_t id) {
            v4l2_queryctrl query{};
            query.id = id;
            return device->ioctl(VIDIOC_QUERYCTRL, &query) == 0 && (query.flags & V4L2_CTRL_FLAG_INACTIVE);
        }
        bool set(std::uint32_t id, int value) {
            v4l2_control control{id, value};
            return device->ioctl(VIDIOC_S_CTRL, &control) == 0;
        }
    };

    // Opens the driver's source dialog as the capture window does, runs `steps` in it
    // once it is shown, then presses OK (`accept`) or Cancel.
    static void runDialog(CaptureDriver& driver, const std::function<void(SourceDialog&)>& steps,
                          bool accept) {
        QTimer::singleShot(0, [&] {
            QWidget* modal = QApplication::activeModalWidget();
            auto* dialog = qobject_cast<SourceDialog*>(modal);
            if (dialog) steps(*dialog); // its checks record their failure and return
            if (!dialog) QTest::qFail("the source dialog is not shown", __FILE__, __LINE__);
            if (auto* shown = qobject_cast<QDialog*>(modal)) {
                if (accept)
                    shown->accept();
                else
                    shown->reject();
            }
        });
        CaptureDialogs::showSourceDialog(nullptr, driver);
    }

    template <typename W> static W* control(SourceDialog& dialog, std::uint32_t id) {
        return dialog.findChild<W*>(QStringLiteral("control_%1").arg(id));
    }

private slots:
    void initTestCase() {
        QVERIFY2(qEnvironmentVariableIsSet("LD_PRELOAD"), "run through ctest, which preloads the emulator");
        const QString config = m_dir.filePath(QStringLiteral("cameras.conf"));
        QFile file(config);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("camera /dev/video42\ncard = Kelvanor Desk\nbus = usb-0000:00:14.0-1\n"
                   "format = MJPG 640x480@30\n"
                   "control = brightness -64 64 1 0\n"
                   "control = white_balance_automatic 0 1 1 1\n"
                   "control = white_balance_temperature 2800 6500 10 4600\n"
                   "control = auto_exposure 0 3 1 3 1,3\n"
                   "control = exposure_time_absolute 1 5000 1 156\n");
        file.close();
        qputenv("KV_CAMERA_EMULATOR_CONFIG", QFile::encodeName(config));
        QCOMPARE(node().cardName, QStringLiteral("Kelvanor Desk"));
    }

    // The automatic control switched off in the open dialog: its manual control turns
    // usable there and then, and what is set there is what the camera holds.
    void aManualControlTurnsUsableWhenItsAutomaticGoesOff_data() {
        QTest::addColumn<std::uint32_t>("automatic");
        QTest::addColumn<int>("manualValue"); // the value the automatic control takes for manual
        QTest::addColumn<std::uint32_t>("manual");
        QTest::addColumn<int>("setTo");
        QTest::newRow("white balance") << std::uint32_t(V4L2_CID_AUTO_WHITE_BALANCE) << 0
                                       << std::uint32_t(V4L2_CID_WHITE_BALANCE_TEMPERATURE) << 3200;
        QTest::newRow("exposure") << std::uint32_t(V4L2_CID_EXPOSURE_AUTO) << int(V4L2_EXPOSURE_MANUAL)
                                  << std::uint32_t(V4L2_CID_EXPOSURE_ABSOLUTE) << 300;
    }
    void aManualControlTurnsUsableWhenItsAutomaticGoesOff() {
        QFETCH(std::uint32_t, automatic);
        QFETCH(int, manualValue);
        QFETCH(std::uint32_t, manual);
        QFETCH(int, setTo);
        V4l2Driver driver(node());
        QVERIFY2(driver.open(), qPrintable(driver.lastError()));
        Look look;
        QVERIFY(look.open());
        const int automaticAtStart = look.value(automatic);
        const int manualAtStart = look.value(manual);
        QVERIFY(look.inactive(manual));
        runDialog(
            driver,
            [&](SourceDialog& dialog) {
                auto* slider = control<QSlider>(dialog, manual);
                QVERIFY(slider);
                QVERIFY(!slider->isEnabled());
                if (auto* box = control<QCheckBox>(dialog, automatic)) {
                    box->setChecked(manualValue != 0);
                } else {
                    auto* menu = control<QComboBox>(dialog, automatic);
                    QVERIFY(menu);
                    QCOMPARE(menu->currentText(), QStringLiteral("Aperture Priority Mode"));
                    menu->setCurrentIndex(menu->findData(manualValue));
                    QCOMPARE(menu->currentText(), QStringLiteral("Manual Mode"));
                }
                QCOMPARE(look.value(automatic), manualValue);
                QVERIFY(!look.inactive(manual));
                QVERIFY(slider->isEnabled()); // the same dialog, not opened again
                slider->setValue(setTo);
                QCOMPARE(look.value(manual), setTo);
            },
            true);
        QCOMPARE(look.value(automatic), manualValue);
        QCOMPARE(look.value(manual), setTo);
        // Back as the other tests expect.
        QVERIFY(look.set(automatic, automaticAtStart));
        QVERIFY(look.inactive(manual));
        QCOMPARE(look.value(manual), setTo); // the camera keeps it while the automatic rules
        QVERIFY(look.set(automatic, manualValue) && look.set(manual, manualAtStart) &&
                look.set(automatic, automaticAtStart));
    }

    // Cancel on a camera set by hand: in the dialog the manual value changed, then the
    // automatic control switched on (the manual one inactive again). Put back in the
    // wrong order the manual value would be refused (EACCES while its automatic
    // control holds it) and the change would stay.
    void cancelPutsBackTheAutomaticControlFirst_data() {
        QTest::addColumn<std::uint32_t>("automatic");
        QTest::addColumn<int>("manualMode");
        QTest::addColumn<int>("automaticMode");
        QTest::addColumn<std::uint32_t>("manual");
        QTest::addColumn<int>("startValue");
        QTest::addColumn<int>("changedTo");
        QTest::newRow("white balance") << std::uint32_t(V4L2_CID_AUTO_WHITE_BALANCE) << 0 << 1
                                       << std::uint32_t(V4L2_CID_WHITE_BALANCE_TEMPERATURE) << 3000 << 5000;
        QTest::newRow("exposure") << std::uint32_t(V4L2_CID_EXPOSURE_AUTO) << int(V4L2_EXPOSURE_MANUAL)
                                  << int(V4L2_EXPOSURE_APERTURE_PRIORITY)
                                  << std::uint32_t(V4L2_CID_EXPOSURE_ABSOLUTE) << 200 << 400;
    }
    void cancelPutsBackTheAutomaticControlFirst() {
        QFETCH(std::uint32_t, automatic);
        QFETCH(int, manualMode);
        QFETCH(int, automaticMode);
        QFETCH(std::uint32_t, manual);
        QFETCH(int, startValue);
        QFETCH(int, changedTo);
        Look look;
        QVERIFY(look.open());
        const int automaticAtStart = look.value(automatic);
        const int manualAtStart = look.value(manual);
        QVERIFY(look.set(automatic, manualMode) && look.set(manual, startValue));
        V4l2Driver driver(node());
        QVERIFY2(driver.open(), qPrintable(driver.lastError()));
        runDialog(
            driver,
            [&](SourceDialog& dialog) {
                auto* slider = control<QSlider>(dialog, manual);
                QVERIFY(slider && slider->isEnabled());
                QCOMPARE(slider->value(), startValue);
                slider->setValue(changedTo);
                if (auto* box = control<QCheckBox>(dialog, automatic))
                    box->setChecked(automaticMode != 0);
                else
                    control<QComboBox>(dialog, automatic)
                        ->setCurrentIndex(control<QComboBox>(dialog, automatic)->findData(automaticMode));
                QCOMPARE(look.value(manual), changedTo);
                QCOMPARE(look.value(automatic), automaticMode);
                QVERIFY(look.inactive(manual));
                QVERIFY(!slider->isEnabled());
            },
            false);
        QCOMPARE(look.value(automatic), manualMode);
        QVERIFY(!look.inactive(manual));
        QCOMPARE(look.value(manual), startValue);
        QVERIFY(look.set(manual, manualAtStart) && look.set(automatic, automaticAtStart));
    }
};

QTEST_MAIN(TestSourceDialogThroughEmulator)
#include "tst_sourcedialogthroughemulator.moc"
