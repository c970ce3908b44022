#include "FakeV4l2Device.h"
#include "drivers/TestPattern.h"
#include "drivers/V4l2Driver.h"

#include <QTemporaryDir>
#include <QtTest>

class TestV4l2Driver : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void listsCaptureNodesInNodeOrder();
    void openEnumeratesFormatsAndControls();
    void openFailures();
    void streamsRgbFrames();
    void mjpegKeepsTheCameraBytes();
    void corruptFramesAreDropped_data();
    void corruptFramesAreDropped();
    void impossibleFrameSizeIsRefused();
    void controlChangesApplyWhileStreaming();
    void unplugEndsTheStreamWithAnError();
    void failingDeviceIsAnErrorNotASpin_data();
    void failingDeviceIsAnErrorNotASpin();
    void refusedStreamStartReleasesEverything();

private:
    std::unique_ptr<V4l2Driver> makeDriver();
    bool startCollecting(V4l2Driver& driver);

    std::shared_ptr<FakeCamera> m_camera;
    std::mutex m_mutex;
    std::vector<VideoFrame> m_frames;
    QStringList m_errors;
};

namespace {

const QTime kTime(10, 0, 0);

V4l2Driver::DeviceFactory factoryFor(std::map<QByteArray, std::shared_ptr<FakeCamera>> nodes) {
    return [nodes] { return std::unique_ptr<V4l2Device>(new FakeV4l2Device(nodes)); };
}

} // namespace

void TestV4l2Driver::init() {
    m_camera = FakeCamera::standard();
    m_frames.clear();
    m_errors.clear();
}

void TestV4l2Driver::cleanup() {
    m_camera.reset();
}

std::unique_ptr<V4l2Driver> TestV4l2Driver::makeDriver() {
    return std::make_unique<V4l2Driver>(
        V4l2Node{QStringLiteral("/dev/video0"), QStringLiteral("Fake Camera"), QStringLiteral("6.1.7")},
        factoryFor({{"/dev/video0", m_camera}}));
}

bool TestV4l2Driver::startCollecting(V4l2Driver& driver) {
    return driver.start(
        [this](const VideoFrame& frame) {
            std::lock_guard lock(m_mutex);
            m_frames.push_back(frame);
        },
        [this](const QString& reason) {
            std::lock_guard lock(m_mutex);
            m_errors << reason;
        });
}

void TestV4l2Driver::listsCaptureNodesInNodeOrder() {
    QTemporaryDir dev;
    for (const char* name : {"video10", "video2", "video0", "video1", "video3", "videoX", "media0"}) {
        QFile file(dev.filePath(QString::fromLatin1(name)));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    auto second = FakeCamera::standard();
    second->card = "Second Camera";
    auto output = FakeCamera::standard();
    output->caps = V4L2_CAP_VIDEO_OUTPUT | V4L2_CAP_STREAMING; // cannot capture
    auto tenth = FakeCamera::standard();
    tenth->card = "Tenth";
    // video3 exists as a file but has no device behind it (open fails).
    const auto nodes =
        V4l2Driver::captureNodes(factoryFor({{QFile::encodeName(dev.filePath("video0")), m_camera},
                                             {QFile::encodeName(dev.filePath("video1")), output},
                                             {QFile::encodeName(dev.filePath("video2")), second},
                                             {QFile::encodeName(dev.filePath("video10")), tenth}}),
                                 dev.path());
    QCOMPARE(nodes.size(), std::size_t(3));
    QCOMPARE(nodes[0].path, dev.filePath("video0"));
    QCOMPARE(nodes[0].cardName, QStringLiteral("Fake Camera"));
    QCOMPARE(nodes[0].driverVersion, QStringLiteral("6.1.7"));
    QCOMPARE(nodes[1].cardName, QStringLiteral("Second Camera"));
    QCOMPARE(nodes[2].cardName, QStringLiteral("Tenth"));
    QCOMPARE(m_camera->openDevices, 0); // every probe closed its device
}

void TestV4l2Driver::openEnumeratesFormatsAndControls() {
    auto driver = makeDriver();
    QVERIFY(driver->open());
    const auto formats = driver->formats();
    QCOMPARE(formats.size(), std::size_t(3)); // the emulated BGR3 is not offered
    QCOMPARE(formats[0].fourcc, std::uint32_t(V4L2_PIX_FMT_RGB24));
    QCOMPARE(formats[0].size, QSize(320, 240));
    QCOMPARE(formats[0].intervals.size(), std::size_t(2));
    QCOMPARE(formats[1].size, QSize(640, 480));
    QCOMPARE(formats[2].fourcc, std::uint32_t(V4L2_PIX_FMT_MJPEG));
    QCOMPARE(formats[2].pixelFormatName, QStringLiteral("Motion-JPEG"));
    // The device's current format and rate are kept.
    QCOMPARE(driver->format().fourcc, std::uint32_t(V4L2_PIX_FMT_RGB24));
    QCOMPARE(driver->format().size, QSize(640, 480));
    QCOMPARE(driver->format().interval, (FrameInterval{1, 15}));

    const auto controls = driver->controls();
    QCOMPARE(controls.size(), std::size_t(3)); // no class heading, no disabled control
    QCOMPARE(controls[0].name, QStringLiteral("Brightness"));
    QCOMPARE(controls[0].kind, DriverControl::Kind::Slider);
    QCOMPARE(controls[0].maximum, 255);
    QCOMPARE(controls[0].value, 128);
    QCOMPARE(controls[1].kind, DriverControl::Kind::CheckBox);
    QCOMPARE(controls[2].kind, DriverControl::Kind::Menu);
    QCOMPARE(controls[2].menuItems, (QStringList{"Disabled", "50 Hz", "60 Hz"}));
    QCOMPARE(controls[2].value, 1);

    QVERIFY(!driver->setFormat({V4L2_PIX_FMT_MJPEG, QSize(320, 240), {1, 30}})); // not offered
    QVERIFY(!driver->lastError().isEmpty());
    QVERIFY(driver->setFormat({V4L2_PIX_FMT_RGB24, QSize(320, 240), {1, 30}}));
    QCOMPARE(driver->format().size, QSize(320, 240));
}

void TestV4l2Driver::openFailures() {
    V4l2Driver missing(V4l2Node{QStringLiteral("/dev/video7"), QStringLiteral("Gone"), QString()},
                       factoryFor({}));
    QVERIFY(!missing.open());
    QVERIFY(missing.lastError().contains(QStringLiteral("/dev/video7")));
    QVERIFY(!missing.isOpen());
    QVERIFY(!startCollecting(missing));

    m_camera->unplug();
    auto unplugged = makeDriver();
    QVERIFY(!unplugged->open());
    QVERIFY(!unplugged->lastError().isEmpty());
}

void TestV4l2Driver::streamsRgbFrames() {
    auto driver = makeDriver();
    QVERIFY(driver->open());
    QVERIFY(driver->setFormat({V4L2_PIX_FMT_RGB24, QSize(320, 240), {1, 30}}));
    QVERIFY(startCollecting(*driver));
    QVERIFY(driver->isStreaming());
    QCOMPARE(m_camera->lastSetFormat.fmt.pix.pixelformat, std::uint32_t(V4L2_PIX_FMT_RGB24));
    QCOMPARE(m_camera->lastSetFormat.fmt.pix.width, 320u);
    QCOMPARE(m_camera->lastSetInterval.denominator, 30u);
    QVERIFY(!driver->setFormat({V4L2_PIX_FMT_RGB24, QSize(640, 480), {1, 30}})); // not while streaming

    for (int i = 0; i < 6; ++i) // more frames than buffers: buffers must come back
        m_camera->push(
            TestPattern::render({320, 240}, TestPattern::ColourBars, 50, std::uint64_t(100 + i), kTime));
    QTRY_COMPARE_WITH_TIMEOUT(([this] {
                                  std::lock_guard lock(m_mutex);
                                  return m_frames.size();
                              }()),
                              std::size_t(6), 10000);
    driver->stop();
    QVERIFY(!driver->isStreaming());
    QCOMPARE(m_camera->mapped, 0);
    QVERIFY(m_camera->streamOffs >= 1);
    QVERIFY(m_errors.isEmpty());
    for (int i = 0; i < 6; ++i) {
        const VideoFrame& frame = m_frames[std::size_t(i)];
        QCOMPARE(frame.image.size(), QSize(320, 240));
        QCOMPARE(frame.image.format(), QImage::Format_RGB32);
        QCOMPARE(decodeFrameNumberStrip(frame.image), 100 + i);
        QVERIFY(frame.mjpeg.isEmpty());
        QCOMPARE(frame.sequence, std::uint64_t(i));
        if (i > 0) QVERIFY(frame.captureTimeUs >= m_frames[std::size_t(i - 1)].captureTimeUs);
    }
    // A second stream after the first works the same way.
    QVERIFY(startCollecting(*driver));
    m_camera->push(TestPattern::render({320, 240}, 0, 50, 7, kTime));
    QTRY_COMPARE_WITH_TIMEOUT(([this] {
                                  std::lock_guard lock(m_mutex);
                                  return m_frames.size();
                              }()),
                              std::size_t(7), 10000);
    QCOMPARE(m_frames.back().sequence, std::uint64_t(0));
}

void TestV4l2Driver::mjpegKeepsTheCameraBytes() {
    auto driver = makeDriver();
    QVERIFY(driver->open());
    QVERIFY(driver->setFormat({V4L2_PIX_FMT_MJPEG, QSize(640, 480), {1, 30}}));
    QVERIFY(startCollecting(*driver));
    QCOMPARE(m_camera->lastSetFormat.fmt.pix.pixelformat, std::uint32_t(V4L2_PIX_FMT_MJPEG));
    m_camera->push(TestPattern::render({640, 480}, TestPattern::GreyRamp, 50, 4242, kTime));
    QTRY_COMPARE_WITH_TIMEOUT(([this] {
                                  std::lock_guard lock(m_mutex);
                                  return m_frames.size();
                              }()),
                              std::size_t(1), 10000);
    driver->stop();
    const VideoFrame& frame = m_frames.front();
    QCOMPARE(frame.mjpeg, m_camera->delivered.front());
    QVERIFY(frame.mjpeg.startsWith("\xFF\xD8"));
    QCOMPARE(frame.image.size(), QSize(640, 480));
    QCOMPARE(frame.image.format(), QImage::Format_RGB32);
    QCOMPARE(decodeFrameNumberStrip(frame.image), 4242);
}

void TestV4l2Driver::controlChangesApplyWhileStreaming() {
    auto driver = makeDriver();
    QVERIFY(driver->open());
    QVERIFY(startCollecting(*driver));
    QVERIFY(driver->setControl(V4L2_CID_BRIGHTNESS, 200));
    QVERIFY(driver->setControl(V4L2_CID_POWER_LINE_FREQUENCY, 2));
    QCOMPARE(m_camera->controlWrites.size(), std::size_t(2));
    QCOMPARE(m_camera->controlWrites[0], (std::pair<std::uint32_t, int>(V4L2_CID_BRIGHTNESS, 200)));
    QCOMPARE(driver->controls()[0].value, 200);
    QCOMPARE(driver->controls()[2].value, 2);
    QVERIFY(!driver->setControl(V4L2_CID_BRIGHTNESS, 999)); // out of range: the device says no
    QVERIFY(driver->lastError().contains(QString::fromLocal8Bit(std::strerror(ERANGE))));
    QCOMPARE(driver->controls()[0].value, 200);
}

void TestV4l2Driver::unplugEndsTheStreamWithAnError() {
    auto driver = makeDriver();
    QVERIFY(driver->open());
    QVERIFY(startCollecting(*driver));
    m_camera->push(TestPattern::render({640, 480}, 0, 50, 1, kTime));
    QTRY_COMPARE_WITH_TIMEOUT(([this] {
                                  std::lock_guard lock(m_mutex);
                                  return m_frames.size();
                              }()),
                              std::size_t(1), 10000);
    m_camera->unplug();
    QTRY_COMPARE_WITH_TIMEOUT(([this] {
                                  std::lock_guard lock(m_mutex);
                                  return m_errors.size();
                              }()),
                              qsizetype(1), 10000);
    QVERIFY(m_errors.front().contains(QString::fromLocal8Bit(std::strerror(ENODEV))));
    // The worker has ended: it polls no more.
    const int polls = [this] {
        std::lock_guard lock(m_camera->mutex);
        return m_camera->polls;
    }();
    driver->stop();
    QCOMPARE(m_camera->polls, polls);
    QCOMPARE(m_errors.size(), qsizetype(1));
    QCOMPARE(m_camera->mapped, 0);
    driver->close();
    QCOMPARE(m_camera->openDevices, 0);
}

void TestV4l2Driver::failingDeviceIsAnErrorNotASpin_data() {
    QTest::addColumn<int>("dequeueError");
    QTest::addColumn<bool>("silent");
    QTest::newRow("EIO on dequeue") << EIO << false;
    QTest::newRow("no frame at all") << 0 << true;
}

void TestV4l2Driver::failingDeviceIsAnErrorNotASpin() {
    QFETCH(int, dequeueError);
    QFETCH(bool, silent);
    auto driver = makeDriver();
    driver->setNoFrameTimeoutMs(300);
    QVERIFY(driver->open());
    QVERIFY(startCollecting(*driver));
    {
        std::lock_guard lock(m_camera->mutex);
        m_camera->failDequeue = dequeueError;
        m_camera->changed.notify_all();
    }
    QTRY_COMPARE_WITH_TIMEOUT(([this] {
                                  std::lock_guard lock(m_mutex);
                                  return m_errors.size();
                              }()),
                              qsizetype(1), 10000);
    QVERIFY(m_errors.front().contains(silent ? QStringLiteral("no pictures")
                                             : QString::fromLocal8Bit(std::strerror(EIO))));
    // A silent device is polled in slices, not in a loop: a few polls for 300 ms.
    QVERIFY2(m_camera->polls < 20, qPrintable(QString::number(m_camera->polls)));
    driver->stop();
    QCOMPARE(m_camera->mapped, 0);
}

void TestV4l2Driver::refusedStreamStartReleasesEverything() {
    auto driver = makeDriver();
    QVERIFY(driver->open());
    m_camera->failStreamOn = EIO;
    QVERIFY(!startCollecting(*driver));
    QVERIFY(!driver->isStreaming());
    QVERIFY(driver->lastError().contains(QStringLiteral("streaming")));
    QCOMPARE(m_camera->mapped, 0);
    m_camera->failStreamOn = 0;
    QVERIFY(startCollecting(*driver));
    driver->stop();
}

namespace {

QByteArray jpegOf(QSize size, int number) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    TestPattern::render(size, TestPattern::ColourBars, 50, std::uint64_t(number), kTime)
        .save(&buffer, "JPEG", 90);
    return bytes;
}

} // namespace

void TestV4l2Driver::corruptFramesAreDropped_data() {
    QTest::addColumn<std::uint32_t>("fourcc");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<std::uint32_t>("bytesUsed");
    const QByteArray good = jpegOf({640, 480}, 5);
    const auto all = [](const QByteArray& b) { return std::uint32_t(b.size()); };
    const QByteArray cut = good.left(good.size() / 2);
    const QByteArray smaller = jpegOf({320, 240}, 5);
    const QByteArray larger = jpegOf({1280, 960}, 5);
    QTest::newRow("JPEG cut short") << std::uint32_t(V4L2_PIX_FMT_MJPEG) << cut << all(cut);
    QTest::newRow("JPEG reported shorter") << std::uint32_t(V4L2_PIX_FMT_MJPEG) << good << all(good) / 3;
    QTest::newRow("JPEG of a smaller picture")
        << std::uint32_t(V4L2_PIX_FMT_MJPEG) << smaller << all(smaller);
    QTest::newRow("JPEG of a larger picture") << std::uint32_t(V4L2_PIX_FMT_MJPEG) << larger << all(larger);
    QTest::newRow("not a JPEG") << std::uint32_t(V4L2_PIX_FMT_MJPEG) << QByteArray(5000, '\x33') << 5000u;
    QTest::newRow("empty MJPEG buffer") << std::uint32_t(V4L2_PIX_FMT_MJPEG) << QByteArray() << 0u;
    QTest::newRow("RGB buffer short") << std::uint32_t(V4L2_PIX_FMT_RGB24)
                                      << QByteArray(640 * 3 * 479, '\x10') << std::uint32_t(640 * 3 * 479);
}

// A corrupt or cut frame never reaches the window or the recorder, and the stream
// goes on with the next good one.
void TestV4l2Driver::corruptFramesAreDropped() {
    QFETCH(std::uint32_t, fourcc);
    QFETCH(QByteArray, bytes);
    QFETCH(std::uint32_t, bytesUsed);
    auto driver = makeDriver();
    QVERIFY(driver->open());
    QVERIFY(driver->setFormat({fourcc, QSize(640, 480), {1, 30}}));
    {
        std::lock_guard lock(m_camera->mutex);
        m_camera->pendingRaw.push_back({bytes, bytesUsed});
    }
    QVERIFY(startCollecting(*driver));
    m_camera->push(TestPattern::render({640, 480}, TestPattern::ColourBars, 50, 77, kTime));
    QTRY_COMPARE_WITH_TIMEOUT(([this] {
                                  std::lock_guard lock(m_mutex);
                                  return m_frames.size();
                              }()),
                              std::size_t(1), 10000);
    driver->stop();
    QCOMPARE(m_camera->delivered.size(), std::size_t(2));
    QCOMPARE(m_frames.size(), std::size_t(1));
    QCOMPARE(m_frames[0].image.size(), QSize(640, 480));
    QCOMPARE(decodeFrameNumberStrip(m_frames[0].image), 77);
    if (fourcc == V4L2_PIX_FMT_MJPEG) QCOMPARE(m_frames[0].mjpeg, m_camera->delivered.back());
    QVERIFY(m_errors.isEmpty());
}

// A camera that answers a frame size no picture can have (its bytes per line would
// overflow) is not streamed.
void TestV4l2Driver::impossibleFrameSizeIsRefused() {
    auto driver = makeDriver();
    QVERIFY(driver->open());
    QVERIFY(driver->setFormat({V4L2_PIX_FMT_RGB24, QSize(640, 480), {1, 30}}));
    v4l2_pix_format reply{};
    reply.width = 0x55555556u; // width * 3 wraps round to 2
    reply.height = 1;
    reply.sizeimage = 64;
    m_camera->formatReply = reply;
    QVERIFY(!startCollecting(*driver));
    QVERIFY(driver->lastError().contains(QStringLiteral("impossible frame size")));
    QVERIFY(!driver->isStreaming());
    QCOMPARE(m_camera->mapped, 0);
}

QTEST_MAIN(TestV4l2Driver)
#include "tst_v4l2driver.moc"
