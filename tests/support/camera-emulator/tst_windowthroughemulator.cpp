// The capture window on the emulated camera preloaded into this test (ctest sets
// LD_PRELOAD), through the real driver list, libv4l2 and system calls, while another
// program streams from the camera in a process of its own (v4l2-ctl, with the
// emulator preloaded on the same configuration): uvcvideo gives the stream to the
// first that asks, whichever process it is in.

#include "CameraSettings.h"
#include "CaptureWindow.h"
#include "DriverList.h"
#include "vfw.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

class TestWindowThroughEmulator : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void initTestCase() {
        QVERIFY2(qEnvironmentVariableIsSet("LD_PRELOAD"), "run through ctest, which preloads the emulator");
        const QString config = m_dir.filePath(QStringLiteral("cameras.conf"));
        QFile file(config);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("camera /dev/video42\ncard = Kelvanor Desk\nbus = usb-0000:00:14.0-1\n"
                   "format = MJPG 640x480@30\n");
        file.close();
        qputenv("KV_CAMERA_EMULATOR_CONFIG", QFile::encodeName(config));
        CameraSettings::setFile(m_dir.filePath(QStringLiteral("cameras.ini")));
    }

    // The window says the camera is in use by another program, and takes it once that
    // program has ended (the connection's retry: its timer's handler, called here).
    void aBusyCameraIsTakenWhenTheOtherProgramEnds() {
        QProcess other; // this process's environment: the emulator and its configuration
        other.setProcessChannelMode(QProcess::MergedChannels);
        other.start(QStringLiteral("v4l2-ctl"),
                    {QStringLiteral("-d"), QStringLiteral("/dev/video42"), QStringLiteral("--stream-mmap"),
                     QStringLiteral("--stream-count=1000000")});
        QByteArray output; // a '<' for each buffer it dequeues
        const QDeadlineTimer deadline(60000);
        while (!output.contains('<') && other.state() != QProcess::NotRunning && !deadline.hasExpired()) {
            other.waitForReadyRead(int(std::max<qint64>(1, deadline.remainingTime())));
            output += other.readAll();
        }
        QVERIFY2(output.contains('<'), output.constData());

        QVERIFY(DriverList::refresh());
        int index = -1;
        const auto entries = DriverList::entries();
        for (std::size_t i = 0; i < entries.size(); ++i)
            if (entries[i].name == QLatin1String("Kelvanor Desk")) index = int(i);
        QVERIFY(index >= 0);
        QWidget parent;
        parent.resize(400, 300);
        parent.show();
        auto* window = new CaptureWindow(&parent);
        CaptureWindow::attach(window);
        window->setGeometry(0, 0, 320, 240);
        window->show();
        QVERIFY(window->message(WM_CAP_DRIVER_CONNECT, WPARAM(index), 0));
        QSignalSpy failed(window, &CaptureWindow::driverFailed);
        QSignalSpy resumed(window, &CaptureWindow::driverResumed);
        window->message(WM_CAP_SET_PREVIEW, 1, 0);
        QCOMPARE(failed.count(), 1);
        QVERIFY(window->connection().isBusy());
        QVERIFY2(window->failureText().contains(QStringLiteral("in use by another program")),
                 qPrintable(window->failureText()));
        window->connection().retry(); // still held: nothing changes
        QVERIFY(window->connection().isBusy());
        QCOMPARE(resumed.count(), 0);

        other.kill(); // the system closes its descriptors, and with them its hold
        QVERIFY(other.waitForFinished(60000));
        window->connection().retry();
        QCOMPARE(resumed.count(), 1);
        QVERIFY(window->failureText().isEmpty());
        QTRY_VERIFY_WITH_TIMEOUT(window->newestFrame().isValid(), 20000);
        QCOMPARE(window->newestFrame().size(), QSize(640, 480));
    }
};

QTEST_MAIN(TestWindowThroughEmulator)
#include "tst_windowthroughemulator.moc"
