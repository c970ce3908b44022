#include "DriverList.h"
#include "EventLog.h"
#include "FakeV4l2Device.h"
#include "MSVIDEO.h"
#include "Master.h"
#include "MsgBox.h"
#include "Vars.h"
#include "cMSVIDEO.h"
#include "drivers/TestPatternDriver.h"
#include "drivers/V4l2Driver.h"
#include "wMSVIDEO.h"
#include "wVFWInfo.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QtTest>

// "Driver Information" for the test camera and for V4L2 cameras behind the fake device.
class TestwVFWInfo : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    std::shared_ptr<FakeCamera> m_camera;

    // Driver 0: the fake V4L2 camera; driver 1: the test camera.
    void useDrivers() {
        auto camera = m_camera;
        DriverList::setEntriesForTest([camera] {
            const V4l2Node node{QStringLiteral("/dev/video0"), QStringLiteral("Fake Camera"),
                                QStringLiteral("6.1.7")};
            auto v4l2 = [camera, node] {
                return std::unique_ptr<CaptureDriver>(new V4l2Driver(node, [camera] {
                    return std::unique_ptr<V4l2Device>(new FakeV4l2Device({{"/dev/video0", camera}}));
                }));
            };
            auto pattern = [] { return std::unique_ptr<CaptureDriver>(new TestPatternDriver); };
            return std::vector<DriverList::Entry>{
                {node.cardName, node.driverVersion, v4l2, node.path},
                {TestPatternDriver::driverName(), TestPatternDriver::driverVersion(), pattern, QString()}};
        });
    }

    static QStringList lines(int index, const QString& source, const QString& overlay,
                             const QList<uint>& handles) {
        return {QStringLiteral(" Driver Index:  %1").arg(index),
                QString(),
                QStringLiteral(" Video Source Dialog: ") + source,
                QString(),
                QStringLiteral(" Video Format Dialog: ") + source,
                QString(),
                QStringLiteral(" Video Display Dialog: ") + source,
                QString(),
                QStringLiteral(" Device can make overlay mode: ") + overlay,
                QString(),
                QStringLiteral(" Driver cannot generate palettes."),
                QString(),
                QStringLiteral(" Video In:  %1").arg(handles[0]),
                QStringLiteral(" Video Out:  %1").arg(handles[1]),
                QStringLiteral(" Video External In:  %1").arg(handles[2]),
                QStringLiteral(" Video External Out:  %1").arg(handles[3])};
    }

private slots:
    void init() {
        Vars::StartupDirectory = m_dir.path();
        QVERIFY(CreateLog());
        MSVIDEO::reset();
        MsgBoxTest::enable();
        MsgBoxTest::clear();
        m_camera = FakeCamera::standard();
    }
    void cleanup() {
        wMSVIDEO::Unload();
        DriverList::setEntriesForTest({});
    }

    void printsWhatTheDriverHas_data() {
        QTest::addColumn<int>("driver");
        QTest::addColumn<int>("descriptor");
        QTest::addColumn<bool>("output");
        QTest::addColumn<bool>("inputs");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("version");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("test camera") << 1 << 7 << false << true << TestPatternDriver::driverName()
                                     << TestPatternDriver::driverVersion()
                                     << lines(1, "Yes", "Yes", {0, 0, 0, 0});
        QTest::newRow("V4L2 camera") << 0 << 7 << false << true << "Fake Camera"
                                     << "6.1.7" << lines(0, "Yes", "No", {7, 0, 7, 0});
        QTest::newRow("V4L2 node with output, no inputs") << 0 << 12 << true << false << "Fake Camera"
                                                          << "6.1.7" << lines(0, "Yes", "No", {12, 12, 0, 0});
    }
    void printsWhatTheDriverHas() {
        QFETCH(int, driver);
        QFETCH(int, descriptor);
        QFETCH(bool, output);
        QFETCH(bool, inputs);
        QFETCH(QString, name);
        QFETCH(QString, version);
        QFETCH(QStringList, expected);
        m_camera->descriptor = descriptor;
        if (output) m_camera->caps |= V4L2_CAP_VIDEO_OUTPUT;
        if (!inputs) m_camera->inputs.clear();
        useDrivers();
        Master m;
        cMSVIDEO::StartVideoDevice(m);
        m.MSVIDEODevice->setCurrentIndex(driver);
        cMSVIDEO::SelectVideoDevice(m, driver);

        wVFWInfo w(m);
        QCOMPARE(w.windowTitle(), QStringLiteral("Driver Information"));
        QVERIFY(!w.isModal());
        w.Form_Activate();
        QCOMPARE(w.DrvName->text(), QStringLiteral("Description: ") + name);
        QCOMPARE(w.DrvVersion->text(), QStringLiteral("Version: ") + version);
        QCOMPARE(w.dVFW->toPlainText().split(QLatin1Char('\n')), expected);
        // Each activation prints again below what is there.
        w.Form_Activate();
        QCOMPARE(w.dVFW->toPlainText().split(QLatin1Char('\n')), expected + expected);
    }

    void withoutDeviceShowsTheEmptyRecord() {
        DriverList::setEntriesForTest([] { return std::vector<DriverList::Entry>{}; });
        Master m;
        cMSVIDEO::StartVideoDevice(m);          // says there is no device
        MSVIDEO::CapDriverCaps.fHasOverlay = 1; // left from an earlier device
        MSVIDEO::CapDriverCaps.hVideoIn = 5;
        wVFWInfo w(m);
        w.Form_Activate();
        QCOMPARE(w.DrvName->text(), QStringLiteral("Description: Error!"));
        QCOMPARE(w.DrvVersion->text(), QStringLiteral("Version: Error!"));
        QCOMPARE(w.dVFW->toPlainText().split(QLatin1Char('\n')), lines(0, "No", "No", {0, 0, 0, 0}));
    }

    // The window is made once; showing it again brings back the same one.
    void showKeepsOneWindow() {
        useDrivers();
        Master m;
        cMSVIDEO::StartVideoDevice(m);
        wVFWInfo* first = wVFWInfo::Show(m);
        QVERIFY(first->isVisible());
        QCOMPARE(wVFWInfo::Show(m), first);
        first->ok_button->click();
        QVERIFY(!first->isVisible());
    }

    // It prints at each activation among the program's own windows; the desktop
    // handing the activation back when the user returns from another program is none.
    void printsOnActivationAmongTheProgramsWindowsOnly() {
        useDrivers();
        Master m;
        cMSVIDEO::StartVideoDevice(m);
        m.show();
        wVFWInfo w(m);
        w.show();
        const auto activate = [](QWidget* window) {
            QEvent e(QEvent::WindowActivate);
            QCoreApplication::sendEvent(window, &e);
        };
        const auto printed = [&w] { return w.dVFW->toPlainText().count(QStringLiteral("Driver Index")); };
        activate(&w); // its first activation
        QCOMPARE(printed(), 1);
        // To another program and back: deactivated, then the same window activated again.
        QEvent away(QEvent::WindowDeactivate);
        QCoreApplication::sendEvent(&w, &away);
        activate(&w);
        QCOMPARE(printed(), 1);
        // From the main window to it: a new activation.
        activate(&m);
        activate(&w);
        QCOMPARE(printed(), 2);
        activate(&w);
        QCOMPARE(printed(), 2);
    }
};

QTEST_MAIN(TestwVFWInfo)
#include "tst_wvfwinfo.moc"
