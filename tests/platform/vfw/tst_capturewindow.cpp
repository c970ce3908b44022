#include "CameraJpeg.h"
#include "CaptureWindow.h"
#include "DriverList.h"
#include "FakeV4l2Device.h"
#include "SourceDialog.h"
#include "drivers/TestPattern.h"
#include "drivers/TestPatternDriver.h"
#include "drivers/V4l2Driver.h"
#include "vfw.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTimer>
#include <QtTest>

namespace {

const QTime kTime(8, 0, 0);

// A driver the test feeds by hand: deliver() plays the worker thread.
class ManualDriver : public CaptureDriver {
public:
    explicit ManualDriver(DriverCapabilities caps = {}) : m_caps(caps) {}
    QString name() const override { return QStringLiteral("Manual"); }
    QString version() const override { return QStringLiteral("1"); }
    bool open() override { return m_open = true; }
    void close() override { stop(), m_open = false; }
    bool isOpen() const override { return m_open; }
    DriverCapabilities capabilities() const override { return m_caps; }
    std::vector<FormatOption> formats() const override { return {}; }
    VideoFormat format() const override { return {0, QSize(320, 240), {1, 30}}; }
    bool setFormat(const VideoFormat&) override { return false; }
    std::vector<DriverControl> controls() const override { return {}; }
    bool setControl(std::uint32_t, int) override { return false; }
    bool start(FrameCallback onFrame, ErrorCallback onError) override {
        m_onFrame = std::move(onFrame);
        m_onError = std::move(onError);
        return true;
    }
    void stop() override { m_onFrame = nullptr, m_onError = nullptr; }
    bool isStreaming() const override { return bool(m_onFrame); }
    QString lastError() const override { return {}; }

    void deliver(std::uint64_t number) {
        VideoFrame frame(TestPattern::render({320, 240}, 0, 50, number, kTime));
        frame.sequence = number;
        m_onFrame(frame);
    }
    // A camera's JPEG frame, as the V4L2 driver passes it on: not decoded.
    void deliverJpeg(std::uint64_t number, QSize size) {
        const QByteArray jpeg = FakeCamera::jpeg(TestPattern::render(size, 0, 50, number, kTime));
        VideoFrame frame = VideoFrame::fromJpeg(jpeg, size, size);
        frame.sequence = number;
        m_onFrame(frame);
    }
    void fail(const QString& reason) { m_onError(reason); }

private:
    DriverCapabilities m_caps;
    bool m_open = false;
    FrameCallback m_onFrame;
    ErrorCallback m_onError;
};

ManualDriver* g_manual = nullptr;
std::vector<std::pair<int, QString>> g_statuses;

LRESULT recordStatus(HWND, int id, const char* text) {
    g_statuses.emplace_back(id, QString::fromLocal8Bit(text));
    return 0;
}

void onNextDialog(std::function<void(QDialog*)> action) {
    QTimer::singleShot(0, [action] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        action(dialog);
    });
}

} // namespace

class TestCaptureWindow : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void recordingSinkGetsFramesAndDrivesStreaming();
    void previewPaintsAtTheTickOnly();
    void overlayPaintsEveryFrameAndASlowUiSkips();
    void scaleStretchesTheFrame();
    void mjpegIsDecodedForThePaintOnlyAtTheWindowsSize();
    void driverFailureIsAStatusNotACrash();
    void unpluggedCameraReportsAndStops();
    void windowsOnOneCameraShareIt();
    void sourceDialogAppliesLiveAndCancelRestores();
    void cameraControlsInTheSourceDialog();
    void cameraControlsThatDependOnOthers();
    void formatDialogSaysWhyAStreamIsNotOffered();
    void displayDialogSetsScale();
    void compressionDialogStoresTheChoice();
    void missingFeaturesAnswerZero();
    void windowDestroyedWhileACopyWaits();

private:
    void useManualDriver(DriverCapabilities caps);
    // Driver 0 is a V4L2 camera on the scripted device.
    void useFakeCamera(std::shared_ptr<FakeCamera> camera);
    CaptureWindow* makeWindow(int driverIndex = 0);

    std::unique_ptr<QWidget> m_parent;
    CaptureWindow* m_window = nullptr;
};

void TestCaptureWindow::init() {
    m_parent = std::make_unique<QWidget>();
    m_parent->resize(700, 500);
    m_parent->show();
    g_statuses.clear();
    g_manual = nullptr;
}

void TestCaptureWindow::cleanup() {
    m_parent.reset();
    m_window = nullptr;
    DriverList::setEntriesForTest({});
}

void TestCaptureWindow::useManualDriver(DriverCapabilities caps) {
    DriverList::setEntriesForTest([caps] {
        std::vector<DriverList::Entry> list;
        list.push_back({QStringLiteral("Manual"), QStringLiteral("1"),
                        [caps] {
                            auto driver = std::make_unique<ManualDriver>(caps);
                            g_manual = driver.get();
                            return std::unique_ptr<CaptureDriver>(std::move(driver));
                        },
                        QString()});
        return list;
    });
}

void TestCaptureWindow::useFakeCamera(std::shared_ptr<FakeCamera> camera) {
    DriverList::setEntriesForTest([camera] {
        const V4l2Node node{QStringLiteral("/dev/video0"), QStringLiteral("Fake Camera"),
                            QStringLiteral("6.1.7")};
        auto create = [camera, node] {
            return std::unique_ptr<CaptureDriver>(new V4l2Driver(node, [camera] {
                return std::unique_ptr<V4l2Device>(new FakeV4l2Device({{"/dev/video0", camera}}));
            }));
        };
        return std::vector<DriverList::Entry>{{node.cardName, node.driverVersion, create, node.path}};
    });
}

CaptureWindow* TestCaptureWindow::makeWindow(int driverIndex) {
    m_window = new CaptureWindow(m_parent.get());
    CaptureWindow::attach(m_window);
    m_window->setGeometry(0, 0, 320, 240);
    m_window->show();
    m_window->message(WM_CAP_SET_CALLBACK_STATUSA, 0, LPARAM(&recordStatus));
    if (!m_window->message(WM_CAP_DRIVER_CONNECT, WPARAM(driverIndex), 0)) return nullptr;
    QCoreApplication::processEvents(); // the first expose
    return m_window;
}

void TestCaptureWindow::recordingSinkGetsFramesAndDrivesStreaming() {
    DriverList::setEntriesForTest([] {
        return std::vector<DriverList::Entry>{
            {TestPatternDriver::driverName(), TestPatternDriver::driverVersion(),
             [] { return std::unique_ptr<CaptureDriver>(new TestPatternDriver); }, QString()}};
    });
    QVERIFY(makeWindow());
    QVERIFY(!m_window->driver()->isStreaming()); // nothing needs frames yet
    std::mutex mutex;
    std::vector<std::pair<std::uint64_t, int>> seen; // sequence, decoded strip
    m_window->setRecordingSink([&](const VideoFrame& frame) {
        std::lock_guard lock(mutex);
        seen.emplace_back(frame.sequence, decodeFrameNumberStrip(frame.image()));
    });
    QVERIFY(m_window->hasRecordingSink());
    QVERIFY(m_window->driver()->isStreaming());
    // No format change under a recording.
    QCOMPARE(m_window->message(WM_CAP_DLG_VIDEOFORMAT, 0, 0), LRESULT(0));
    QTRY_VERIFY_WITH_TIMEOUT(([&] {
                                 std::lock_guard lock(mutex);
                                 return seen.size() >= 5;
                             }()),
                             10000);
    m_window->setRecordingSink({});
    QVERIFY(!m_window->driver()->isStreaming());
    const std::size_t count = seen.size();
    for (std::size_t i = 0; i < count; ++i) {
        QCOMPARE(seen[i].second, int(seen[i].first));
        if (i > 0) QVERIFY(seen[i].first > seen[i - 1].first);
    }
    // With preview on, removing the sink keeps the stream for the display.
    m_window->message(WM_CAP_SET_PREVIEW, 1, 0);
    m_window->setRecordingSink([](const VideoFrame&) {});
    m_window->setRecordingSink({});
    QVERIFY(m_window->driver()->isStreaming());
    QCOMPARE(seen.size(), count);
}

void TestCaptureWindow::previewPaintsAtTheTickOnly() {
    useManualDriver({});
    QVERIFY(makeWindow());
    QVERIFY(m_window->message(WM_CAP_SET_PREVIEW, 1, 0));
    QVERIFY(m_window->message(WM_CAP_SET_PREVIEWRATE, 62, 0));
    QCOMPARE(m_window->previewPeriodMs(), 62);
    QVERIFY(g_manual && g_manual->isStreaming());
    const quint64 before = m_window->paintedFrames();
    g_manual->deliver(1);
    QCoreApplication::processEvents();
    QCOMPARE(m_window->paintedFrames(), before); // waits for the tick
    m_window->previewTick();
    QTRY_COMPARE(m_window->paintedFrames(), before + 1);
    // A tick without a new frame paints nothing new; an expose repaints without counting.
    m_window->previewTick();
    m_window->repaint();
    QCOMPARE(m_window->paintedFrames(), before + 1);
    QCOMPARE(decodeFrameNumberStrip(m_window->grab().toImage()), 1);

    // A period of 0 paints as frames come.
    QVERIFY(m_window->message(WM_CAP_SET_PREVIEWRATE, 0, 0));
    g_manual->deliver(2);
    QTRY_COMPARE(m_window->paintedFrames(), before + 2);
    // Preview off: frames are not painted and the stream stops.
    QVERIFY(m_window->message(WM_CAP_SET_PREVIEW, 0, 0));
    QVERIFY(!g_manual->isStreaming());
}

void TestCaptureWindow::overlayPaintsEveryFrameAndASlowUiSkips() {
    useManualDriver({true, false, false, false});
    QVERIFY(makeWindow());
    QVERIFY(m_window->message(WM_CAP_SET_OVERLAY, 1, 0));
    const quint64 before = m_window->paintedFrames();
    g_manual->deliver(10);
    QTRY_COMPARE(m_window->paintedFrames(), before + 1);
    g_manual->deliver(11);
    QTRY_COMPARE(m_window->paintedFrames(), before + 2);
    // Five frames while the UI thread is busy: one paint, of the newest.
    for (std::uint64_t n = 20; n < 25; ++n)
        g_manual->deliver(n);
    QTRY_COMPARE(m_window->paintedFrames(), before + 3);
    QCoreApplication::processEvents();
    QCOMPARE(m_window->paintedFrames(), before + 3);
    QCOMPARE(decodeFrameNumberStrip(m_window->grab().toImage()), 24);
}

void TestCaptureWindow::scaleStretchesTheFrame() {
    useManualDriver({});
    QVERIFY(makeWindow());
    m_window->resize(640, 480);
    QVERIFY(m_window->message(WM_CAP_SET_PREVIEW, 1, 0));
    QVERIFY(m_window->message(WM_CAP_SET_PREVIEWRATE, 0, 0));
    g_manual->deliver(5);
    QTRY_VERIFY(m_window->paintedFrames() > 0);
    QImage shown = m_window->grab().toImage();
    QCOMPARE(shown.pixelColor(600, 300), QColor(Qt::black)); // outside the 320x240 frame
    QCOMPARE(decodeFrameNumberStrip(shown.copy(0, 0, 320, 240)), 5);
    QVERIFY(m_window->message(WM_CAP_SET_SCALE, 1, 0));
    shown = m_window->grab().toImage();
    QVERIFY(shown.pixelColor(600, 300) != QColor(Qt::black));
    QCOMPARE(decodeFrameNumberStrip(shown), 5);
}

void TestCaptureWindow::mjpegIsDecodedForThePaintOnlyAtTheWindowsSize() {
    useManualDriver({});
    QVERIFY(makeWindow()); // 320x240
    QVERIFY(m_window->message(WM_CAP_SET_SCALE, 1, 0));
    QVERIFY(m_window->message(WM_CAP_SET_PREVIEW, 1, 0));
    QVERIFY(m_window->message(WM_CAP_SET_PREVIEWRATE, 100, 0));
    QCoreApplication::processEvents(); // the repaints those asked for, before any frame
    const quint64 painted = m_window->paintedFrames();
    const std::uint64_t decodes = CameraJpeg::decodes();
    for (std::uint64_t n = 1; n <= 5; ++n)
        g_manual->deliverJpeg(n, {640, 480});
    QCoreApplication::processEvents();
    QCOMPARE(CameraJpeg::decodes(), decodes); // arrived, not shown yet
    m_window->previewTick();
    QTRY_COMPARE(m_window->paintedFrames(), painted + 1);
    QCOMPARE(CameraJpeg::decodes(), decodes + 1); // the newest only, at half its size
    QCOMPARE(m_window->newestFrame().image(m_window->size()).size(), QSize(320, 240));
    QCOMPARE(decodeFrameNumberStrip(m_window->grab().toImage()), 5);
    QCOMPARE(CameraJpeg::decodes(), decodes + 1); // a repaint uses the decoded picture
    // A copy takes the whole picture.
    QCOMPARE(m_window->newestFrame().image().size(), QSize(640, 480));
    QCOMPARE(CameraJpeg::decodes(), decodes + 2);
}

void TestCaptureWindow::driverFailureIsAStatusNotACrash() {
    useManualDriver({});
    QVERIFY(makeWindow());
    QVERIFY(m_window->message(WM_CAP_SET_PREVIEW, 1, 0));
    g_statuses.clear();
    g_manual->fail(QStringLiteral("The camera stopped."));
    QTRY_COMPARE(g_statuses.size(), std::size_t(1));
    QCOMPARE(g_statuses[0].first, IDS_CAP_DRIVER_ERROR);
    QCOMPARE(g_statuses[0].second, QStringLiteral("The camera stopped."));
    QVERIFY(!g_manual->isStreaming());
    CAPSTATUS status{};
    QVERIFY(m_window->message(WM_CAP_GET_STATUS, sizeof status, LPARAM(&status)));
    QCOMPARE(status.dwReturn, DWORD(IDS_CAP_DRIVER_ERROR));
    QCOMPARE(m_window->message(WM_CAP_EDIT_COPY, 0, 0), LRESULT(0));
    // A reconnect starts afresh.
    QVERIFY(m_window->message(WM_CAP_DRIVER_CONNECT, 0, 0));
    QVERIFY(m_window->message(WM_CAP_SET_PREVIEW, 1, 0));
    QVERIFY(g_manual->isStreaming());
}

void TestCaptureWindow::unpluggedCameraReportsAndStops() {
    auto camera = FakeCamera::standard();
    useFakeCamera(camera);
    QVERIFY(makeWindow());
    QVERIFY(m_window->message(WM_CAP_SET_PREVIEW, 1, 0));
    camera->push(TestPattern::render({640, 480}, 0, 50, 77, kTime));
    QTRY_VERIFY_WITH_TIMEOUT(m_window->newestFrame().isValid(), 10000);
    QCOMPARE(decodeFrameNumberStrip(m_window->newestFrame().image()), 77);
    g_statuses.clear();
    camera->unplug();
    QTRY_COMPARE_WITH_TIMEOUT(g_statuses.size(), std::size_t(1), 10000);
    QCOMPARE(g_statuses[0].first, IDS_CAP_DRIVER_ERROR);
    QVERIFY(!m_window->driver()->isStreaming());
    QCOMPARE(camera->mapped, 0);
    QVERIFY(m_window->message(WM_CAP_DRIVER_DISCONNECT, 0, 0));
    QCOMPARE(camera->openDevices, 0);
}

void TestCaptureWindow::windowsOnOneCameraShareIt() {
    auto camera = FakeCamera::standard();
    useFakeCamera(camera);
    QVERIFY(makeWindow());
    CaptureWindow* first = m_window;
    QVERIFY(makeWindow());
    CaptureWindow* second = m_window;
    QCOMPARE(first->driver(), second->driver());
    QCOMPARE(camera->openDevices, 1);
    QVERIFY(first->message(WM_CAP_SET_PREVIEW, 1, 0));
    QVERIFY(second->message(WM_CAP_SET_PREVIEW, 1, 0));
    camera->push(TestPattern::render({640, 480}, 0, 50, 31, kTime));
    QTRY_VERIFY_WITH_TIMEOUT(first->newestFrame().isValid() && second->newestFrame().isValid(), 10000);
    QCOMPARE(decodeFrameNumberStrip(second->newestFrame().image()), 31);
    // The first window goes: the second keeps streaming.
    delete first;
    QVERIFY(second->driver()->isStreaming());
    camera->push(TestPattern::render({640, 480}, 0, 50, 32, kTime));
    QTRY_COMPARE_WITH_TIMEOUT(decodeFrameNumberStrip(second->newestFrame().image()), 32, 10000);
    QVERIFY(second->message(WM_CAP_DRIVER_DISCONNECT, 0, 0));
    QCOMPARE(camera->openDevices, 0);
    QCOMPARE(camera->mapped, 0);
}

void TestCaptureWindow::sourceDialogAppliesLiveAndCancelRestores() {
    QVERIFY(makeWindow(DriverList::entries().size() - 1)); // the test pattern
    auto brightness = [this] { return m_window->driver()->controls()[1].value; };
    QCOMPARE(brightness(), 50);
    int seenWhileOpen = -1;
    onNextDialog([&](QDialog* dialog) {
        auto* slider = dialog->findChild<QSlider*>(QStringLiteral("control_2"));
        auto* pattern = dialog->findChild<QComboBox*>(QStringLiteral("control_1"));
        QVERIFY(slider && pattern);
        QCOMPARE(pattern->count(), 3);
        slider->setValue(80);
        seenWhileOpen = brightness();
        dialog->reject();
    });
    QVERIFY(m_window->message(WM_CAP_DLG_VIDEOSOURCE, 0, 0));
    QCOMPARE(seenWhileOpen, 80);
    QCOMPARE(brightness(), 50);

    onNextDialog([](QDialog* dialog) {
        dialog->findChild<QSlider*>(QStringLiteral("control_2"))->setValue(20);
        dialog->findChild<QComboBox*>(QStringLiteral("control_1"))->setCurrentIndex(2);
        dialog->accept();
    });
    QVERIFY(m_window->message(WM_CAP_DLG_VIDEOSOURCE, 0, 0));
    QCOMPARE(brightness(), 20);
    QCOMPARE(m_window->driver()->controls()[0].value, int(TestPattern::Checkerboard));
}

void TestCaptureWindow::cameraControlsInTheSourceDialog() {
    auto camera = FakeCamera::standard();
    useFakeCamera(camera);
    QVERIFY(makeWindow());
    QVERIFY(m_window->message(WM_CAP_SET_PREVIEW, 1, 0)); // applied live, also while streaming
    onNextDialog([](QDialog* dialog) {
        auto* brightness = dialog->findChild<QSlider*>(QStringLiteral("control_%1").arg(V4L2_CID_BRIGHTNESS));
        auto* balance =
            dialog->findChild<QCheckBox*>(QStringLiteral("control_%1").arg(V4L2_CID_AUTO_WHITE_BALANCE));
        auto* power =
            dialog->findChild<QComboBox*>(QStringLiteral("control_%1").arg(V4L2_CID_POWER_LINE_FREQUENCY));
        QVERIFY(brightness && balance && power);
        QVERIFY(!dialog->findChild<QWidget*>(QStringLiteral("control_%1").arg(V4L2_CID_HUE))); // disabled
        QCOMPARE(brightness->value(), 128);
        QVERIFY(balance->isChecked());
        QCOMPARE(power->currentText(), QStringLiteral("50 Hz"));
        brightness->setValue(140);
        balance->setChecked(false);
        power->setCurrentIndex(power->findText(QStringLiteral("60 Hz")));
        dialog->accept();
    });
    QVERIFY(m_window->message(WM_CAP_DLG_VIDEOSOURCE, 0, 0));
    const std::vector<std::pair<std::uint32_t, int>> expected = {
        {V4L2_CID_BRIGHTNESS, 140}, {V4L2_CID_AUTO_WHITE_BALANCE, 0}, {V4L2_CID_POWER_LINE_FREQUENCY, 2}};
    QCOMPARE(camera->controlWrites, expected);
}

void TestCaptureWindow::cameraControlsThatDependOnOthers() {
    // As uvcvideo: manual exposure only while the automatic exposure is off, manual
    // focus only while the automatic focus is off (neither automatic control flagged
    // V4L2_CTRL_FLAG_UPDATE: the camera announces the change with an event); a pan
    // speed, a relative iris and a pan reset.
    auto camera = FakeCamera::standard();
    auto autoExposure = FakeCamera::control(V4L2_CID_EXPOSURE_AUTO, V4L2_CTRL_TYPE_MENU, "Auto Exposure", 0,
                                            3, V4L2_EXPOSURE_APERTURE_PRIORITY);
    autoExposure.menu = {"Auto Mode", "Manual Mode", "Shutter Priority Mode", "Aperture Priority Mode"};
    auto exposure = FakeCamera::control(V4L2_CID_EXPOSURE_ABSOLUTE, V4L2_CTRL_TYPE_INTEGER, "Exposure Time",
                                        3, 2047, 250);
    exposure.master = V4L2_CID_EXPOSURE_AUTO;
    exposure.activeWhen = V4L2_EXPOSURE_MANUAL;
    auto focusAuto = FakeCamera::control(V4L2_CID_FOCUS_AUTO, V4L2_CTRL_TYPE_BOOLEAN, "Focus, Auto", 0, 1, 1);
    focusAuto.value = 0; // the user's manual focus
    auto focus = FakeCamera::control(V4L2_CID_FOCUS_ABSOLUTE, V4L2_CTRL_TYPE_INTEGER, "Focus", 0, 250, 0);
    focus.value = 70;
    focus.master = V4L2_CID_FOCUS_AUTO;
    camera->controls = {
        autoExposure,
        exposure,
        FakeCamera::control(V4L2_CID_PAN_RESET, V4L2_CTRL_TYPE_BUTTON, "Pan, Reset", 0, 0, 0,
                            V4L2_CTRL_FLAG_WRITE_ONLY),
        focus,
        focusAuto,
        FakeCamera::control(V4L2_CID_IRIS_RELATIVE, V4L2_CTRL_TYPE_INTEGER, "Iris, Relative", -1, 1, 0,
                            V4L2_CTRL_FLAG_WRITE_ONLY),
        FakeCamera::control(V4L2_CID_PAN_SPEED, V4L2_CTRL_TYPE_INTEGER, "Pan, Speed", -1, 1, 0)};
    useFakeCamera(camera);
    QVERIFY(makeWindow());
    onNextDialog([camera](QDialog* dialog) {
        auto find = [dialog](std::uint32_t id) {
            return dialog->findChild<QWidget*>(QStringLiteral("control_%1").arg(id));
        };
        auto* source = qobject_cast<SourceDialog*>(dialog);
        auto* mode = qobject_cast<QComboBox*>(find(V4L2_CID_EXPOSURE_AUTO));
        auto* time = qobject_cast<QSlider*>(find(V4L2_CID_EXPOSURE_ABSOLUTE));
        auto* pan = qobject_cast<QSlider*>(find(V4L2_CID_PAN_SPEED));
        auto* autoFocus = qobject_cast<QCheckBox*>(find(V4L2_CID_FOCUS_AUTO));
        auto* lens = qobject_cast<QSlider*>(find(V4L2_CID_FOCUS_ABSOLUTE));
        auto* reset = qobject_cast<QPushButton*>(find(V4L2_CID_PAN_RESET));
        auto* irisOpen =
            dialog->findChild<QPushButton*>(QStringLiteral("more_%1").arg(V4L2_CID_IRIS_RELATIVE));
        auto* status = dialog->findChild<QLabel*>(QStringLiteral("controlStatus"));
        QVERIFY(source && mode && time && pan && autoFocus && lens && reset && irisOpen && status);
        QVERIFY(!qobject_cast<QSlider*>(find(V4L2_CID_IRIS_RELATIVE))); // a move, not a position
        QVERIFY(!time->isEnabled());                                    // set by the automatic exposure
        time->setValue(900); // the camera refuses: said so, and its value is back
        QVERIFY(status->text().contains(QStringLiteral("Exposure Time")));
        QVERIFY(status->text().contains(QStringLiteral("automatic")));
        QCOMPARE(time->value(), 250);
        QCOMPARE(
            dialog->findChild<QLabel*>(QStringLiteral("value_%1").arg(V4L2_CID_EXPOSURE_ABSOLUTE))->text(),
            QStringLiteral("250"));
        mode->setCurrentIndex(mode->findText(QStringLiteral("Manual Mode")));
        QVERIFY(time->isEnabled());
        QVERIFY(status->text().isEmpty());
        // A drag writes its last value, not every step on the way.
        time->setSliderDown(true);
        for (int v : {300, 400, 500})
            time->setValue(v);
        time->setSliderDown(false);
        // A speed goes back to rest when let go.
        pan->setSliderDown(true);
        pan->setValue(1);
        pan->setSliderDown(false);
        QCOMPARE(pan->value(), 0);

        // The automatic focus on: the camera announces the manual focus inactive.
        QVERIFY(lens->isEnabled());
        autoFocus->setChecked(true);
        QVERIFY(!lens->isEnabled());
        // The camera moves the lens itself, and another program switches the exposure
        // back to automatic: both are announced, and shown at the next look.
        camera->setFromOutside(V4L2_CID_FOCUS_ABSOLUTE, 30);
        camera->setFromOutside(V4L2_CID_EXPOSURE_AUTO, V4L2_EXPOSURE_APERTURE_PRIORITY);
        QCOMPARE(lens->value(), 70);
        source->takeControlChanges();
        QCOMPARE(lens->value(), 30);
        QVERIFY(!time->isEnabled());
        QCOMPARE(mode->currentText(), QStringLiteral("Aperture Priority Mode"));

        irisOpen->click(); // one step
        reset->click();
        dialog->reject();
    });
    QVERIFY(m_window->message(WM_CAP_DLG_VIDEOSOURCE, 0, 0));
    const std::vector<std::pair<std::uint32_t, int>> expected = {
        {V4L2_CID_EXPOSURE_AUTO, V4L2_EXPOSURE_MANUAL},
        {V4L2_CID_EXPOSURE_ABSOLUTE, 500},
        {V4L2_CID_PAN_SPEED, 1},
        {V4L2_CID_PAN_SPEED, 0},
        {V4L2_CID_FOCUS_AUTO, 1},
        {V4L2_CID_IRIS_RELATIVE, 1},
        {V4L2_CID_PAN_RESET, 1},
        // Cancel: the automatic focus off first, then the manual focus it had (the
        // exposure is back as it started). Moves and buttons are not repeated.
        {V4L2_CID_FOCUS_AUTO, 0},
        {V4L2_CID_FOCUS_ABSOLUTE, 70},
    };
    QCOMPARE(camera->controlWrites, expected);
}

// A camera's H.264 stream is not offered (nothing here decodes it); the format dialog
// says so instead of offering something else under its name.
void TestCaptureWindow::formatDialogSaysWhyAStreamIsNotOffered() {
    auto camera = FakeCamera::standard();
    camera->formats.push_back({V4L2_PIX_FMT_H264, "H.264", false, {{1920, 1080}}, {{1, 30}}, {}});
    useFakeCamera(camera);
    QVERIFY(makeWindow());
    QStringList offered;
    QString notes;
    onNextDialog([&](QDialog* dialog) {
        auto* pixelFormat = dialog->findChild<QComboBox*>(QStringLiteral("pixelFormat"));
        auto* noted = dialog->findChild<QLabel*>(QStringLiteral("formatNotes"));
        QVERIFY(pixelFormat && noted);
        for (int i = 0; i < pixelFormat->count(); ++i)
            offered << pixelFormat->itemText(i);
        notes = noted->text();
        dialog->reject();
    });
    m_window->message(WM_CAP_DLG_VIDEOFORMAT, 0, 0);
    QCOMPARE(offered.filter(QStringLiteral("H.264")), QStringList());
    QCOMPARE(offered.size(), 2); // RGB3 and MJPEG (the emulated BGR3 is not offered)
    QCOMPARE(notes, QStringLiteral("H.264: a compressed video stream, which is not shown here."));
}

void TestCaptureWindow::displayDialogSetsScale() {
    QVERIFY(makeWindow(DriverList::entries().size() - 1));
    onNextDialog([](QDialog* dialog) {
        dialog->findChild<QCheckBox*>(QStringLiteral("scale"))->setChecked(true);
        dialog->accept();
    });
    QVERIFY(m_window->message(WM_CAP_DLG_VIDEODISPLAY, 0, 0));
    CAPSTATUS status{};
    QVERIFY(m_window->message(WM_CAP_GET_STATUS, sizeof status, LPARAM(&status)));
    QCOMPARE(status.fScale, 1);
    onNextDialog([](QDialog* dialog) {
        dialog->findChild<QCheckBox*>(QStringLiteral("scale"))->setChecked(false);
        dialog->reject();
    });
    QVERIFY(m_window->message(WM_CAP_DLG_VIDEODISPLAY, 0, 0));
    QVERIFY(m_window->scaleOn());
}

void TestCaptureWindow::compressionDialogStoresTheChoice() {
    const auto encoders = aviVideoEncoders();
    auto has = [&](const char* name) {
        return std::any_of(encoders.begin(), encoders.end(),
                           [name](const auto& e) { return e.name == name; });
    };
    QVERIFY(has("mjpeg"));
    QVERIFY(has("rawvideo"));
    QVERIFY(makeWindow(DriverList::entries().size() - 1));
    QCOMPARE(m_window->compression(), VideoCompression{});
    onNextDialog([](QDialog* dialog) {
        auto* encoder = dialog->findChild<QComboBox*>(QStringLiteral("encoder"));
        QCOMPARE(encoder->currentData().toString(), QStringLiteral("mjpeg"));
        encoder->setCurrentIndex(encoder->findData(QStringLiteral("rawvideo")));
        dialog->findChild<QSpinBox*>(QStringLiteral("quality"))->setValue(90);
        dialog->accept();
    });
    QVERIFY(m_window->message(WM_CAP_DLG_VIDEOCOMPRESSION, 0, 0));
    QCOMPARE(m_window->compression(), (VideoCompression{QStringLiteral("rawvideo"), 90}));
}

void TestCaptureWindow::missingFeaturesAnswerZero() {
    useManualDriver({});
    QVERIFY(makeWindow());
    for (UINT message :
         {WM_CAP_DLG_VIDEOSOURCE, WM_CAP_DLG_VIDEOFORMAT, WM_CAP_DLG_VIDEODISPLAY, WM_CAP_SET_OVERLAY})
        QCOMPARE(m_window->message(message, 1, 0), LRESULT(0));
    CAPDRIVERCAPS caps{};
    QVERIFY(m_window->message(WM_CAP_DRIVER_GET_CAPS, sizeof caps, LPARAM(&caps)));
    QCOMPARE(caps.fHasOverlay, 0);
    QCOMPARE(caps.fHasDlgVideoSource, 0);
}

void TestCaptureWindow::windowDestroyedWhileACopyWaits() {
    // The copy waits for a first frame and runs events meanwhile; one of them (another
    // device chosen) destroys the window. The copy then ends at once, touching
    // nothing of the window, and the camera it had started is closed.
    useManualDriver({});
    QVERIFY(makeWindow());
    const HWND handle = m_window->handle();
    bool streamingWhileWaiting = false;
    QTimer::singleShot(0, m_parent.get(), [&] {
        streamingWhileWaiting = g_manual && g_manual->isStreaming();
        DestroyWindow(handle);
    });
    QCOMPARE(SendMessageA(handle, WM_CAP_EDIT_COPY, 0, 0), LRESULT(0));
    m_window = nullptr;
    QVERIFY(streamingWhileWaiting);
    QVERIFY(!CaptureWindow::find(handle));
}

QTEST_MAIN(TestCaptureWindow)
#include "tst_capturewindow.moc"
