#include "CameraJpeg.h"
#include "FakeV4l2Device.h"
#include "drivers/TestPattern.h"
#include "drivers/V4l2Driver.h"

#include <QTemporaryDir>
#include <QtTest>
#include <limits>
#include <tuple>

Q_DECLARE_METATYPE(v4l2_dv_timings)
Q_DECLARE_METATYPE(FrameInterval)

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
    void mjpegFramesAsRealCamerasSendThem_data();
    void mjpegFramesAsRealCamerasSendThem();
    void mjpegIsDecodedOnlyWhenItsPictureIsAskedFor();
    void undecodableJpegsAreNoPictures();
    void scaledDecodeIsTheSmallestScaleNotSmallerThanTheDisplay_data();
    void scaledDecodeIsTheSmallestScaleNotSmallerThanTheDisplay();
    void convertsTheCamerasOwnFormat_data();
    void convertsTheCamerasOwnFormat();
    void emulatedFormatsWhenNothingElse();
    void sizesWithoutEnumerationAndSteppedRanges();
    void ratesAsTheCameraOffersThem();
    void ownFormatsStreamThroughPlainCalls();
    void captureCardInputsAndStandards();
    void hdmiInputFollowsTheSourcesTimings_data();
    void hdmiInputFollowsTheSourcesTimings();
    void multiPlanarOnlyNodes_data();
    void multiPlanarOnlyNodes();
    void kernelTimestampsAndLostFrames();
    void controlChangesApplyWhileStreaming();
    void controlsAsUvcvideoAnnouncesThem();
    void failedQueueStartsTheStreamAgain();
    void cameraInUseByAnotherProgram();
    void unplugEndsTheStreamWithAnError();
    void failingDeviceIsAnErrorNotASpin_data();
    void failingDeviceIsAnErrorNotASpin();
    void refusedStreamStartReleasesEverything();
    void impossibleFrameSizeIsRefused();

private:
    std::unique_ptr<V4l2Driver> makeDriver();
    bool startCollecting(V4l2Driver& driver);
    bool waitForFrames(std::size_t count);

    std::shared_ptr<FakeCamera> m_camera;
    std::mutex m_mutex;
    std::vector<VideoFrame> m_frames;
    QStringList m_errors;
};

namespace {

const QTime kTime(10, 0, 0);

// CEA-861 timings as a source sends them (v4l2-dv-timings.h: 1280x720p60, 1920x1080p60).
v4l2_dv_timings bt(std::uint32_t width, std::uint32_t height, std::uint64_t pixelclock, std::uint32_t hfp,
                   std::uint32_t hsync, std::uint32_t hbp, std::uint32_t vfp, std::uint32_t vsync,
                   std::uint32_t vbp) {
    v4l2_dv_timings t{};
    t.type = V4L2_DV_BT_656_1120;
    t.bt.width = width;
    t.bt.height = height;
    t.bt.pixelclock = pixelclock;
    t.bt.hfrontporch = hfp;
    t.bt.hsync = hsync;
    t.bt.hbackporch = hbp;
    t.bt.vfrontporch = vfp;
    t.bt.vsync = vsync;
    t.bt.vbackporch = vbp;
    t.bt.standards = V4L2_DV_BT_STD_CEA861;
    return t;
}
const v4l2_dv_timings k720p60 = bt(1280, 720, 74250000, 110, 40, 220, 5, 5, 20);
const v4l2_dv_timings k1080p60 = bt(1920, 1080, 148500000, 88, 44, 148, 4, 5, 36);
const v4l2_dv_timings k1080p30 = bt(1920, 1080, 74250000, 88, 44, 148, 4, 5, 36);

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

bool TestV4l2Driver::waitForFrames(std::size_t count) {
    return QTest::qWaitFor(
        [&] {
            std::lock_guard lock(m_mutex);
            return m_frames.size() >= count;
        },
        10000);
}

void TestV4l2Driver::listsCaptureNodesInNodeOrder() {
    QTemporaryDir dev, sys;
    for (const char* name : {"video10", "video2", "video0", "video1", "video3", "video4", "video5", "video6",
                             "video7", "videoX", "media0"}) {
        QFile file(dev.filePath(QString::fromLatin1(name)));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    // What sysfs says of the nodes that cannot be opened: video6 is a second node of
    // its device (metadata).
    for (auto [node, name, index] :
         {std::tuple{"video5", "USB Camera", "0"}, {"video6", "USB Camera", "1"}}) {
        QVERIFY(QDir(sys.path()).mkpath(QString::fromLatin1(node)));
        QFile nameFile(sys.filePath(QStringLiteral("%1/name").arg(node)));
        QFile indexFile(sys.filePath(QStringLiteral("%1/index").arg(node)));
        QVERIFY(nameFile.open(QIODevice::WriteOnly) && indexFile.open(QIODevice::WriteOnly));
        nameFile.write(QByteArray(name) + "\n");
        indexFile.write(QByteArray(index) + "\n");
    }
    auto camera = [](const char* card, const char* bus, int openError = 0) {
        auto c = FakeCamera::standard();
        c->card = card;
        c->busInfo = bus;
        c->openError = openError;
        return c;
    };
    auto output = FakeCamera::standard();
    output->caps = V4L2_CAP_VIDEO_OUTPUT | V4L2_CAP_STREAMING; // cannot capture
    m_camera->busInfo = "usb-0000:00:14.0-1";
    auto twin = camera("Fake Camera", "usb-0000:00:14.0-2"); // the same model twice
    auto tenth = camera("Tenth", "platform:vivid");
    // A node of a camera pipeline that only the media controller sets up (an ISP's
    // sensor input): it streams nothing by itself.
    auto pipeline = camera("unicam-image", "platform:fe801000.csi");
    pipeline->caps = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING | V4L2_CAP_IO_MC;
    // video3 exists as a file but has no device behind it (open fails).
    auto node = [&](const char* name) { return QFile::encodeName(dev.filePath(QString::fromLatin1(name))); };
    const auto nodes =
        V4l2Driver::captureNodes(factoryFor({{node("video0"), m_camera},
                                             {node("video1"), output},
                                             {node("video2"), twin},
                                             {node("video4"), camera("Locked", "", EACCES)},
                                             {node("video5"), camera("USB Camera", "", EACCES)},
                                             {node("video6"), camera("USB Camera", "", EACCES)},
                                             {node("video7"), pipeline},
                                             {node("video10"), tenth}}),
                                 dev.path(), sys.path());
    QStringList names;
    for (const V4l2Node& n : nodes)
        names << n.cardName;
    const QString denied = QString::fromLocal8Bit(std::strerror(EACCES));
    QCOMPARE(names, (QStringList{
                        "Fake Camera (usb-0000:00:14.0-1)",
                        "Fake Camera (usb-0000:00:14.0-2)",
                        dev.filePath("video4") + ": " + denied + " - join the \"video\" group to use it",
                        "USB Camera (" + dev.filePath("video5") + "): " + denied +
                            " - join the \"video\" group to use it",
                        "Tenth",
                    }));
    QCOMPARE(nodes[0].path, dev.filePath("video0"));
    QCOMPARE(nodes[0].driverVersion, QStringLiteral("6.1.7"));
    QCOMPARE(nodes[4].path, dev.filePath("video10"));
    QCOMPARE(m_camera->openDevices, 0); // every probe closed its device
    // A look at the list asks each device what it is, nothing more.
    QCOMPARE(m_camera->requests, (std::vector<unsigned long>{VIDIOC_QUERYCAP}));
    // Two cameras of one name on one bus (or none) are told apart by their nodes.
    twin->busInfo = m_camera->busInfo;
    const auto same = V4l2Driver::captureNodes(
        factoryFor({{node("video0"), m_camera}, {node("video2"), twin}}), dev.path(), sys.path());
    QCOMPARE(same[1].cardName, "Fake Camera (" + dev.filePath("video2") + ")");
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
        QCOMPARE(frame.image().size(), QSize(320, 240));
        QCOMPARE(frame.image().format(), QImage::Format_RGB32);
        QCOMPARE(decodeFrameNumberStrip(frame.image()), 100 + i);
        QVERIFY(frame.mjpeg().isEmpty());
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
    QCOMPARE(frame.mjpeg(), m_camera->delivered.front());
    QVERIFY(frame.mjpeg().startsWith("\xFF\xD8"));
    QCOMPARE(frame.image().size(), QSize(640, 480));
    QCOMPARE(frame.image().format(), QImage::Format_RGB32);
    QCOMPARE(decodeFrameNumberStrip(frame.image()), 4242);
}

namespace {

enum MjpegCase {
    StrayBytes,
    Truncated,
    OtherSize,
    Garbage,
    Huge,
    FaultyBuffer,
    EmptyBuffer,
    PaddedWithZeros,
    PaddedWithStaleBytes,
    Undecodable
};

// Bytes a camera leaves after its end marker: what its buffer held before (here a
// stale end marker among them), as cameras whose encoder hands over whole blocks do.
const QByteArray kStaleBytes = QByteArray("\x5A\xFF\xD9\x13\xFF\xD8") + QByteArray(90, '\xA5');

// A JPEG whose header is sound but whose first component names a quantization table
// the JPEG does not have: it passes the arrival checks, and libjpeg refuses to decode
// it (JERR_NO_QUANT_TABLE).
QByteArray undecodable(QByteArray jpeg) {
    const qsizetype sof = jpeg.indexOf("\xFF\xC0");
    if (sof < 0) return {};
    // FF C0, length (2), precision, height (2), width (2), components, then per
    // component: id, sampling, table.
    jpeg[sof + 2 + 2 + 1 + 2 + 2 + 1 + 2] = '\x03';
    return jpeg;
}

// The kinds of MJPEG buffer webcams send, made from one picture.
FakeCamera::Frame mjpegFrame(MjpegCase kind, const QImage& picture) {
    FakeCamera::Frame frame;
    QByteArray jpeg = FakeCamera::jpeg(picture);
    switch (kind) {
    case StrayBytes: // "extraneous bytes before marker 0xd9"
        frame.raw = jpeg.left(jpeg.size() - 2) + QByteArray(7, '\x00') + "\xFF\xD9";
        break;
    case Truncated: // "premature end of data segment"
        frame.raw = jpeg.left(jpeg.size() * 3 / 5);
        break;
    case OtherSize:
        frame.raw = FakeCamera::jpeg(picture.scaled(picture.size() / 2));
        break;
    case Garbage:
        frame.raw = QByteArray(4000, '\x55');
        break;
    case Huge: // a picture the size of a photo: too big to be this stream's
        frame.raw = FakeCamera::jpeg(picture.scaled(4000, 3000));
        break;
    case FaultyBuffer:
        frame.raw = jpeg;
        frame.flags = V4L2_BUF_FLAG_ERROR;
        break;
    case EmptyBuffer:
        frame.empty = true;
        break;
    case PaddedWithZeros:
        frame.raw = jpeg + QByteArray(300, '\x00');
        break;
    case PaddedWithStaleBytes:
        frame.raw = jpeg + kStaleBytes;
        break;
    case Undecodable:
        frame.raw = undecodable(jpeg);
        break;
    }
    return frame;
}

} // namespace

void TestV4l2Driver::mjpegFramesAsRealCamerasSendThem_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<bool>("shown");
    QTest::addColumn<bool>("wholePicture"); // its frame-number strip survives
    QTest::addColumn<bool>("keepsBytes");   // the camera's JPEG stands for the frame
    QTest::newRow("stray bytes before EOI") << int(StrayBytes) << true << true << true;
    QTest::newRow("cut off: dropped, not shown half grey") << int(Truncated) << false << false << false;
    QTest::newRow("another size: scaled") << int(OtherSize) << true << true << false;
    QTest::newRow("not a JPEG") << int(Garbage) << false << false << false;
    QTest::newRow("far too big") << int(Huge) << false << false << false;
    QTest::newRow("buffer flagged faulty") << int(FaultyBuffer) << false << false << false;
    QTest::newRow("empty buffer") << int(EmptyBuffer) << false << false << false;
    QTest::newRow("zeros after the end marker") << int(PaddedWithZeros) << true << true << true;
    QTest::newRow("stale bytes after the end marker") << int(PaddedWithStaleBytes) << true << true << true;
    QTest::newRow("sound header, does not decode") << int(Undecodable) << false << false << false;
}

void TestV4l2Driver::mjpegFramesAsRealCamerasSendThem() {
    QFETCH(int, kind);
    QFETCH(bool, shown);
    QFETCH(bool, wholePicture);
    QFETCH(bool, keepsBytes);
    auto driver = makeDriver();
    QVERIFY(driver->open());
    QVERIFY(driver->setFormat({V4L2_PIX_FMT_MJPEG, QSize(640, 480), {1, 30}}));
    QVERIFY(startCollecting(*driver));
    m_camera->push(mjpegFrame(MjpegCase(kind), TestPattern::render({640, 480}, 0, 50, 11, kTime)));
    m_camera->push(TestPattern::render({640, 480}, 0, 50, 12, kTime)); // a good frame after it
    QVERIFY(waitForFrames(shown ? 2 : 1));
    driver->stop();
    QVERIFY(m_errors.isEmpty());
    QCOMPARE(m_frames.size(), std::size_t(shown ? 2 : 1));
    QCOMPARE(driver->droppedFrames(), std::uint64_t(shown ? 0 : 1));
    QCOMPARE(decodeFrameNumberStrip(m_frames.back().image()), 12);
    if (!shown) return;
    const VideoFrame& frame = m_frames.front();
    QCOMPARE(frame.image().size(), QSize(640, 480)); // never another size than the stream's
    QCOMPARE(decodeFrameNumberStrip(frame.image()), wholePicture ? 11 : -1);
    // The camera's JPEG up to its end marker: what it put after it is not the picture's.
    QByteArray sent = m_camera->delivered.front();
    if (kind == PaddedWithZeros) sent.chop(300);
    if (kind == PaddedWithStaleBytes) sent.chop(kStaleBytes.size());
    QCOMPARE(frame.mjpeg(), keepsBytes ? sent : QByteArray());
}

// JPEGs that pass every check on arrival but do not decode are no pictures: the camera
// counts as sending none.
void TestV4l2Driver::undecodableJpegsAreNoPictures() {
    auto driver = makeDriver();
    QVERIFY(driver->open());
    QVERIFY(driver->setFormat({V4L2_PIX_FMT_MJPEG, QSize(640, 480), {1, 30}}));
    driver->setNoFrameTimeoutMs(400);
    FakeCamera::Frame broken;
    broken.raw = undecodable(FakeCamera::jpeg(TestPattern::render({640, 480}, 0, 50, 1, kTime)));
    QVERIFY(!CameraJpeg::inspect(reinterpret_cast<const std::uint8_t*>(broken.raw.constData()),
                                 std::size_t(broken.raw.size()), QSize(640, 480))
                 .isEmpty());
    m_camera->broken = broken;
    QVERIFY(startCollecting(*driver));
    QTRY_VERIFY_WITH_TIMEOUT(
        [this] {
            std::lock_guard lock(m_mutex);
            return !m_errors.isEmpty();
        }(),
        10000);
    driver->stop();
    QVERIFY2(m_errors.front().contains(QStringLiteral("sends no pictures")), qPrintable(m_errors.front()));
    QVERIFY(m_frames.empty()); // each was tried: none decoded
}

void TestV4l2Driver::mjpegIsDecodedOnlyWhenItsPictureIsAskedFor() {
    auto driver = makeDriver();
    QVERIFY(driver->open());
    QVERIFY(driver->setFormat({V4L2_PIX_FMT_MJPEG, QSize(640, 480), {1, 30}}));
    const std::uint64_t before = CameraJpeg::decodes();
    QVERIFY(startCollecting(*driver));
    for (int n = 1; n <= 6; ++n)
        m_camera->push(TestPattern::render({640, 480}, 0, 50, std::uint64_t(n), kTime));
    QVERIFY(waitForFrames(6));
    driver->stop();
    QCOMPARE(CameraJpeg::decodes(), before); // six frames arrived, none was shown

    const VideoFrame frame = m_frames[3];
    const VideoFrame copy = frame;
    QCOMPARE(copy.size(), QSize(640, 480));
    QCOMPARE(decodeFrameNumberStrip(frame.image()), 4);
    QCOMPARE(decodeFrameNumberStrip(copy.image()), 4); // the copy shares the decoded picture
    QCOMPARE(CameraJpeg::decodes(), before + 1);
    // A small display: decoded again, at a quarter of the size, and kept too.
    QCOMPARE(frame.image(QSize(160, 120)).size(), QSize(160, 120));
    QCOMPARE(copy.image(QSize(150, 100)).size(), QSize(160, 120));
    QCOMPARE(CameraJpeg::decodes(), before + 2);
    // A display as big as the frame takes the whole picture already decoded.
    QCOMPARE(frame.image(QSize(640, 480)).size(), QSize(640, 480));
    QCOMPARE(CameraJpeg::decodes(), before + 2);
}

void TestV4l2Driver::scaledDecodeIsTheSmallestScaleNotSmallerThanTheDisplay_data() {
    QTest::addColumn<QSize>("jpeg");
    QTest::addColumn<QSize>("display");
    QTest::addColumn<int>("denominator");
    QTest::newRow("1080p in 320x240: 1/4") << QSize(1920, 1080) << QSize(320, 240) << 4;
    QTest::newRow("4K in 320x240: 1/8") << QSize(3840, 2160) << QSize(320, 240) << 8;
    QTest::newRow("1080p, exactly 1/8") << QSize(1920, 1080) << QSize(240, 135) << 8;
    QTest::newRow("1080p, a pixel wider than 1/8") << QSize(1920, 1080) << QSize(241, 135) << 4;
    QTest::newRow("1080p, a pixel taller than 1/8") << QSize(1920, 1080) << QSize(240, 136) << 4;
    QTest::newRow("VGA in 320x240: 1/2") << QSize(640, 480) << QSize(320, 240) << 2;
    QTest::newRow("VGA a pixel wider than half") << QSize(640, 480) << QSize(321, 240) << 1;
    QTest::newRow("odd size rounds up") << QSize(1000, 750) << QSize(125, 94) << 8;
    QTest::newRow("display as big as the frame") << QSize(1280, 720) << QSize(1280, 720) << 1;
    QTest::newRow("display larger than the frame") << QSize(640, 480) << QSize(1024, 768) << 1;
    QTest::newRow("wide display, narrow frame") << QSize(640, 480) << QSize(640, 100) << 1;
}

void TestV4l2Driver::scaledDecodeIsTheSmallestScaleNotSmallerThanTheDisplay() {
    QFETCH(QSize, jpeg);
    QFETCH(QSize, display);
    QFETCH(int, denominator);
    QCOMPARE(CameraJpeg::scaleFor(jpeg, display), denominator);
    // The decoder gives that size: each side rounded up.
    const QByteArray bytes = FakeCamera::jpeg(TestPattern::render(jpeg, 0, 50, 3, kTime));
    const CameraJpeg picture(bytes, jpeg, jpeg);
    const QSize expected((jpeg.width() + denominator - 1) / denominator,
                         (jpeg.height() + denominator - 1) / denominator);
    QCOMPARE(picture.image(display).size(), expected);
}

void TestV4l2Driver::convertsTheCamerasOwnFormat_data() {
    QTest::addColumn<std::uint32_t>("fourcc");
    QTest::addColumn<QSize>("size");
    // The camera's buffers end with the picture at the end of a page (as 1280x720 RGB
    // does), so a converter reading past the last row faults.
    for (QSize size : {QSize(1280, 720), QSize(176, 144)}) {
        const QByteArray at =
            ' ' + QByteArray::number(size.width()) + 'x' + QByteArray::number(size.height());
        QTest::newRow("YUYV" + at) << std::uint32_t(V4L2_PIX_FMT_YUYV) << size;
        QTest::newRow("NV12" + at) << std::uint32_t(V4L2_PIX_FMT_NV12) << size;
        QTest::newRow("YU12" + at) << std::uint32_t(V4L2_PIX_FMT_YUV420) << size;
        QTest::newRow("RGB3" + at) << std::uint32_t(V4L2_PIX_FMT_RGB24) << size;
        QTest::newRow("BGR3" + at) << std::uint32_t(V4L2_PIX_FMT_BGR24) << size;
    }
}

void TestV4l2Driver::convertsTheCamerasOwnFormat() {
    QFETCH(std::uint32_t, fourcc);
    QFETCH(QSize, size);
    m_camera->formats = {{fourcc, "Raw", false, {size}, {{1, 30}}, {}}};
    auto driver = makeDriver();
    QVERIFY(driver->open());
    QCOMPARE(driver->format().fourcc, fourcc);
    QVERIFY(startCollecting(*driver));
    // The camera is asked for the chosen format itself, not for libv4l2's RGB.
    QCOMPARE(m_camera->lastSetFormat.fmt.pix.pixelformat, fourcc);
    const QImage picture = TestPattern::render(size, TestPattern::ColourBars, 50, 321, kTime);
    m_camera->push(picture);
    QVERIFY(waitForFrames(1));
    driver->stop();
    const QImage image = m_frames.front().image();
    QCOMPARE(image.format(), QImage::Format_RGB32);
    QCOMPARE(image.size(), size);
    QCOMPARE(decodeFrameNumberStrip(image), 321);
    // The colours come through: each bar's middle within a few steps of the original.
    const int y = size.height() / 7;
    for (int x = size.width() / 32; x < size.width(); x += size.width() / 8) {
        const QRgb want = picture.pixel(x, y);
        const QRgb got = image.pixel(x, y);
        QVERIFY2(std::abs(qRed(want) - qRed(got)) <= 8 && std::abs(qGreen(want) - qGreen(got)) <= 8 &&
                     std::abs(qBlue(want) - qBlue(got)) <= 8 && qAlpha(got) == 255,
                 qPrintable(QStringLiteral("x %1: %2 for %3").arg(x).arg(got, 0, 16).arg(want, 0, 16)));
    }
}

void TestV4l2Driver::emulatedFormatsWhenNothingElse() {
    // A camera libv4l2 must flip: it lists only the formats it converts to.
    m_camera->formats = {{V4L2_PIX_FMT_RGB24, "RGB3", true, {{640, 480}}, {{1, 30}}, {}},
                         {V4L2_PIX_FMT_YUV420, "YU12", true, {{640, 480}}, {{1, 30}}, {}}};
    m_camera->currentFourcc = V4L2_PIX_FMT_YUYV;
    auto driver = makeDriver();
    QVERIFY2(driver->open(), qPrintable(driver->lastError()));
    QCOMPARE(driver->formats().size(), std::size_t(2));
    QVERIFY(driver->setFormat({V4L2_PIX_FMT_YUV420, QSize(640, 480), {1, 30}}));
    QVERIFY(startCollecting(*driver));
    QCOMPARE(m_camera->lastSetFormat.fmt.pix.pixelformat, std::uint32_t(V4L2_PIX_FMT_YUV420));
    m_camera->push(TestPattern::render({640, 480}, 0, 50, 5, kTime));
    QVERIFY(waitForFrames(1));
    QCOMPARE(decodeFrameNumberStrip(m_frames.front().image()), 5);
}

void TestV4l2Driver::sizesWithoutEnumerationAndSteppedRanges() {
    // A capture card: no size lists; it has 720x576 YUYV now, scaled to any size up to
    // PAL's (bttv), and would take GREY too, at one size only.
    v4l2_frmsize_stepwise range{160, 1280, 160, 120, 720, 120};
    FakeCamera::Format card{V4L2_PIX_FMT_YUYV, "YUYV", false, {}, {{1, 25}}, {}};
    card.scales = v4l2_frmsize_stepwise{48, 768, 4, 32, 576, 2};
    // A sensor's stepwise range: its limits, and the common sizes on its steps.
    v4l2_frmsize_stepwise fine{48, 1920, 2, 32, 1088, 2};
    m_camera->formats = {card,
                         {V4L2_PIX_FMT_GREY, "GREY", false, {}, {{1, 25}}, {}},
                         {V4L2_PIX_FMT_NV12, "NV12", false, {}, {{1, 30}}, range},
                         {V4L2_PIX_FMT_BGR24, "BGR3", false, {}, {{1, 30}}, fine}};
    m_camera->currentFourcc = V4L2_PIX_FMT_YUYV;
    m_camera->currentSize = {720, 576};
    auto driver = makeDriver();
    QVERIFY2(driver->open(), qPrintable(driver->lastError()));
    std::map<std::uint32_t, std::vector<QSize>> sizes;
    for (const FormatOption& option : driver->formats())
        sizes[option.fourcc].push_back(option.size);
    // The size it has now first, then the common sizes it takes as they are (PAL's
    // and NTSC's among them).
    QCOMPARE(
        sizes[V4L2_PIX_FMT_YUYV],
        (std::vector<QSize>{
            {720, 576}, {160, 120}, {176, 144}, {320, 240}, {352, 288}, {640, 360}, {640, 480}, {720, 480}}));
    QCOMPARE(sizes[V4L2_PIX_FMT_GREY], (std::vector<QSize>{{720, 576}}));
    // Only sizes on the range's 160x120 steps.
    QCOMPARE(sizes[V4L2_PIX_FMT_NV12],
             (std::vector<QSize>{{160, 120}, {320, 240}, {640, 360}, {640, 480}, {800, 600}, {1280, 720}}));
    QCOMPARE(sizes[V4L2_PIX_FMT_BGR24], (std::vector<QSize>{{48, 32},
                                                            {160, 120},
                                                            {176, 144},
                                                            {320, 240},
                                                            {352, 288},
                                                            {640, 360},
                                                            {640, 480},
                                                            {720, 480},
                                                            {720, 576},
                                                            {800, 600},
                                                            {1024, 768},
                                                            {1280, 720},
                                                            {1280, 960},
                                                            {1280, 1024},
                                                            {1920, 1080},
                                                            {1920, 1088}}));
    QCOMPARE(driver->format().size, QSize(720, 576));
    QVERIFY(startCollecting(*driver));
    m_camera->push(TestPattern::render({720, 576}, 0, 50, 9, kTime));
    QVERIFY(waitForFrames(1));
    QCOMPARE(decodeFrameNumberStrip(m_frames.front().image()), 9);
}

// Rate ranges offer their limits and the usual rates on their steps; the rate the
// camera answers is the one it runs at.
void TestV4l2Driver::ratesAsTheCameraOffersThem() {
    FakeCamera::Format stepwise{V4L2_PIX_FMT_MJPEG, "Motion-JPEG", false, {{640, 480}}, {}, {}};
    stepwise.intervalRange = v4l2_frmival_stepwise{{1, 60}, {1, 5}, {1, 120}};
    FakeCamera::Format continuous{V4L2_PIX_FMT_YUYV, "YUYV", false, {{640, 480}}, {}, {}};
    continuous.intervalRange = v4l2_frmival_stepwise{{1, 30}, {1, 1}, {1, 1}};
    continuous.continuousIntervals = true;
    m_camera->formats = {stepwise, continuous};
    m_camera->currentFourcc = V4L2_PIX_FMT_MJPEG;
    auto driver = makeDriver();
    QVERIFY(driver->open());
    const auto formats = driver->formats();
    QCOMPARE(formats.size(), std::size_t(2));
    QCOMPARE(formats[0].intervals,
             (std::vector<FrameInterval>{{1, 60}, {1, 30}, {1, 24}, {1, 20}, {1, 15}, {1, 10}, {1, 5}}));
    QCOMPARE(
        formats[1].intervals,
        (std::vector<FrameInterval>{{1, 30}, {1, 25}, {1, 24}, {1, 20}, {1, 15}, {1, 10}, {1, 5}, {1, 1}}));
    QVERIFY(driver->setFormat({V4L2_PIX_FMT_MJPEG, QSize(640, 480), {1, 30}}));
    m_camera->parmReply = v4l2_fract{1, 24}; // it runs at 24 frames a second, whatever is asked
    QVERIFY(startCollecting(*driver));
    driver->stop();
    QCOMPARE(m_camera->lastSetInterval.denominator, 30u);
    QCOMPARE(driver->format().interval, (FrameInterval{1, 24}));
    // The rate it answered is taken back as the offered one nearest to it.
    QVERIFY(driver->setFormat({V4L2_PIX_FMT_MJPEG, QSize(640, 480), {1001, 24000}}));
    QCOMPARE(driver->format().interval, (FrameInterval{1, 24}));
}

// The camera's own formats that FrameConverter handles stream through plain system
// calls; libv4l2 only converts what only it can (a vendor format); a compressed
// stream nothing here decodes is not offered, and the format dialog says why.
void TestV4l2Driver::ownFormatsStreamThroughPlainCalls() {
    m_camera->formats = {
        {V4L2_PIX_FMT_MJPEG, "Motion-JPEG", false, {{1920, 1080}}, {{1, 30}}, {}},
        {V4L2_PIX_FMT_YUV420, "Planar YUV 4:2:0", false, {{1920, 1080}}, {{1, 30}}, {}},
        {V4L2_PIX_FMT_H264, "H.264", false, {{1920, 1080}}, {{1, 30}}, {}},
        {V4L2_PIX_FMT_SN9C10X, "GSPCA SN9C10X", false, {{352, 288}}, {{1, 30}}, {}},
    };
    m_camera->currentFourcc = V4L2_PIX_FMT_MJPEG;
    m_camera->currentSize = {1920, 1080};
    const std::map<QByteArray, std::shared_ptr<FakeCamera>> nodes{{"/dev/video0", m_camera}};
    V4l2Driver driver(
        V4l2Node{QStringLiteral("/dev/video0"), QStringLiteral("Fake Camera"), QStringLiteral("6.1.7")},
        [nodes] { return std::unique_ptr<V4l2Device>(new FakeV4l2Device(nodes, "libv4l2")); },
        [nodes] { return std::unique_ptr<V4l2Device>(new FakeV4l2Device(nodes, "plain")); });
    QVERIFY(driver.open());
    std::vector<std::uint32_t> offered;
    for (const FormatOption& option : driver.formats())
        offered.push_back(option.fourcc);
    QCOMPARE(offered,
             (std::vector<std::uint32_t>{V4L2_PIX_FMT_MJPEG, V4L2_PIX_FMT_YUV420, V4L2_PIX_FMT_SN9C10X}));
    QCOMPARE(driver.formatNotes(), QStringList{"H.264: a compressed video stream, which is not shown here."});

    const std::vector<std::tuple<std::uint32_t, QSize, std::uint32_t, QByteArray>> cases = {
        {V4L2_PIX_FMT_YUV420, {1920, 1080}, V4L2_PIX_FMT_YUV420, "plain"},
        {V4L2_PIX_FMT_MJPEG, {1920, 1080}, V4L2_PIX_FMT_MJPEG, "plain"},
        {V4L2_PIX_FMT_SN9C10X, {352, 288}, V4L2_PIX_FMT_RGB24, "libv4l2"}, // converted by libv4l2
    };
    for (const auto& [fourcc, size, asked, calls] : cases) {
        QVERIFY(driver.setFormat({fourcc, size, {1, 30}}));
        QVERIFY2(driver.start([](const VideoFrame&) {}, [](const QString&) {}),
                 qPrintable(driver.lastError()));
        driver.stop();
        QCOMPARE(m_camera->lastSetFormat.fmt.pix.pixelformat, asked);
        QCOMPARE(m_camera->streamedThrough, calls);
    }
    driver.close();
    QCOMPARE(m_camera->openDevices, 0);

    // A camera whose picture libv4l2 must process offers only libv4l2's formats: all
    // through libv4l2.
    m_camera->formats = {{V4L2_PIX_FMT_RGB24, "RGB3", true, {{640, 480}}, {{1, 30}}, {}}};
    m_camera->currentFourcc = V4L2_PIX_FMT_RGB24;
    QVERIFY(driver.open());
    QVERIFY(driver.start([](const VideoFrame&) {}, [](const QString&) {}));
    driver.stop();
    QCOMPARE(m_camera->streamedThrough, QByteArray("libv4l2"));
    QCOMPARE(m_camera->openDevices, 1); // no plain device beside it
}

// A capture card (bttv): its inputs and its video standards are chosen in the source
// dialog, as menus before its controls; another standard has other sizes.
void TestV4l2Driver::captureCardInputsAndStandards() {
    FakeCamera::Format card{V4L2_PIX_FMT_YUYV, "YUYV", false, {}, {{1, 25}}, {}};
    card.scales = v4l2_frmsize_stepwise{48, 768, 4, 32, 576, 2};
    m_camera->formats = {card};
    m_camera->currentFourcc = V4L2_PIX_FMT_YUYV;
    m_camera->currentSize = {720, 576};
    m_camera->inputs = {"Television", "Composite1", "S-Video"};
    m_camera->standards = {{V4L2_STD_PAL, "PAL"}, {V4L2_STD_NTSC, "NTSC"}, {V4L2_STD_SECAM, "SECAM"}};
    m_camera->currentStandard = V4L2_STD_PAL_B; // one of PAL's
    auto driver = makeDriver();
    QVERIFY(driver->open());
    const auto controls = driver->controls();
    QVERIFY(controls.size() >= 2);
    QCOMPARE(controls[0].id, V4l2Driver::kInputControl);
    QCOMPARE(controls[0].kind, DriverControl::Kind::Menu);
    QCOMPARE(controls[0].menuItems, (QStringList{"Television", "Composite1", "S-Video"}));
    QCOMPARE(controls[0].value, 0);
    QCOMPARE(controls[1].id, V4l2Driver::kStandardControl);
    QCOMPARE(controls[1].menuItems, (QStringList{"PAL", "NTSC", "SECAM"}));
    QCOMPARE(controls[1].value, 0);

    QVERIFY(driver->setControl(V4l2Driver::kInputControl, 2));
    QCOMPARE(m_camera->inputWrites, std::vector<int>{2});
    // NTSC: the card now has 480 lines; the format in use follows.
    m_camera->formats.front().scales = v4l2_frmsize_stepwise{48, 768, 4, 32, 480, 2};
    m_camera->currentSize = {720, 480};
    QVERIFY(driver->setControl(V4l2Driver::kStandardControl, 1));
    QCOMPARE(m_camera->standardWrites, std::vector<v4l2_std_id>{V4L2_STD_NTSC});
    QCOMPARE(driver->controls()[1].value, 1);
    QCOMPARE(driver->formats().front().size, QSize(720, 480));
    QCOMPARE(driver->format().size, QSize(720, 480));
    // A camera has neither to choose.
    m_camera->inputs = {"Camera 1"};
    m_camera->standards.clear();
    QVERIFY(driver->controls().empty() || driver->controls()[0].id != V4l2Driver::kInputControl);
}

// An HDMI capture input (vivid's): the card is set to the timings its source sends,
// and the picture's size and rate are theirs; without a usable signal the camera does
// not open, and says why.
void TestV4l2Driver::hdmiInputFollowsTheSourcesTimings_data() {
    QTest::addColumn<bool>("signal");
    QTest::addColumn<v4l2_dv_timings>("detected");
    QTest::addColumn<int>("signalError");
    QTest::addColumn<QSize>("size"); // empty: it does not open
    QTest::addColumn<FrameInterval>("interval");
    QTest::addColumn<int>("writes");
    QTest::addColumn<QString>("error");
    QTest::newRow("1080p60 on the cable, 720p60 set")
        << true << k1080p60 << 0 << QSize(1920, 1080) << FrameInterval{100, 6000} << 1 << QString();
    QTest::newRow("1080p30 on the cable, 720p60 set")
        << true << k1080p30 << 0 << QSize(1920, 1080) << FrameInterval{100, 3000} << 1 << QString();
    QTest::newRow("720p60 on the cable and set")
        << true << k720p60 << 0 << QSize(1280, 720) << FrameInterval{100, 6000} << 0 << QString();
    QTest::newRow("no signal") << false << v4l2_dv_timings{} << ENOLINK << QSize() << FrameInterval{} << 0
                               << QStringLiteral("There is no signal on the input \"HDMI 1\" of Fake Camera "
                                                 "(/dev/video0): connect the source and switch it on.");
    QTest::newRow("no lock") << false << v4l2_dv_timings{} << ENOLCK << QSize() << FrameInterval{} << 0
                             << QStringLiteral(
                                    "The signal on the input \"HDMI 1\" of Fake Camera (/dev/video0) "
                                    "is unstable: the card cannot lock on to it.");
    QTest::newRow("out of range") << false << v4l2_dv_timings{} << ERANGE << QSize() << FrameInterval{} << 0
                                  << QStringLiteral(
                                         "The signal on the input \"HDMI 1\" of Fake Camera "
                                         "(/dev/video0) is outside what the card can take: give the "
                                         "source another resolution or rate.");
}

void TestV4l2Driver::hdmiInputFollowsTheSourcesTimings() {
    QFETCH(bool, signal);
    QFETCH(v4l2_dv_timings, detected);
    QFETCH(int, signalError);
    QFETCH(QSize, size);
    QFETCH(FrameInterval, interval);
    QFETCH(int, writes);
    QFETCH(QString, error);
    // No size or rate lists: the format is the timings' (vivid without a scaler).
    m_camera->formats = {{V4L2_PIX_FMT_YUYV, "YUYV 4:2:2", false, {}, {}, {}}};
    m_camera->currentFourcc = V4L2_PIX_FMT_YUYV;
    m_camera->inputs = {"HDMI 1"};
    m_camera->dvTimings = true;
    m_camera->setTimings(k720p60);
    if (signal) m_camera->detectedTimings = detected;
    m_camera->signalError = signalError;
    auto driver = makeDriver();
    if (size.isEmpty()) {
        QVERIFY(!driver->open());
        QCOMPARE(driver->lastError(), error);
        QVERIFY(!driver->lastErrorIsBusy());
        QCOMPARE(m_camera->openDevices, 0);
        return;
    }
    QVERIFY2(driver->open(), qPrintable(driver->lastError()));
    QCOMPARE(int(m_camera->timingsWrites.size()), writes);
    QCOMPARE(driver->formats().size(), std::size_t(1));
    QCOMPARE(driver->formats().front().size, size);
    QCOMPARE(driver->formats().front().intervals, std::vector<FrameInterval>{interval});
    QCOMPARE(driver->format(), (VideoFormat{V4L2_PIX_FMT_YUYV, size, interval}));
    QVERIFY(startCollecting(*driver));
    m_camera->push(TestPattern::render(size, 0, 50, 17, kTime));
    QVERIFY(waitForFrames(1));
    driver->stop();
    QCOMPARE(m_frames.front().image().size(), size);
    QCOMPARE(decodeFrameNumberStrip(m_frames.front().image()), 17);
    QCOMPARE(driver->format().interval, interval);
}

// A node that captures only through the multi-planar calls (a SoC's capture unit,
// vivid with multiplanar=2), each format in one plane: listed, and streamed through
// those calls, by plain calls and by libv4l2 (whose mplane plugin shows the node as a
// single-planar one).
void TestV4l2Driver::multiPlanarOnlyNodes_data() {
    QTest::addColumn<std::uint32_t>("fourcc");
    QTest::addColumn<QByteArray>("calls"); // the calls formats are read through
    QTest::newRow("NV12, plain calls") << std::uint32_t(V4L2_PIX_FMT_NV12) << QByteArray("plain");
    QTest::newRow("YUYV, plain calls") << std::uint32_t(V4L2_PIX_FMT_YUYV) << QByteArray("plain");
    QTest::newRow("NV12, libv4l2 beside plain calls")
        << std::uint32_t(V4L2_PIX_FMT_NV12) << QByteArray("libv4l2");
}

void TestV4l2Driver::multiPlanarOnlyNodes() {
    QFETCH(std::uint32_t, fourcc);
    QFETCH(QByteArray, calls);
    const QSize size(640, 480);
    m_camera->caps = V4L2_CAP_VIDEO_CAPTURE_MPLANE | V4L2_CAP_STREAMING;
    m_camera->formats = {{fourcc, "Raw", false, {size}, {{1, 30}}, {}}};
    m_camera->currentFourcc = fourcc;
    m_camera->currentSize = size;
    const std::map<QByteArray, std::shared_ptr<FakeCamera>> nodes{{"/dev/video0", m_camera}};
    const auto fakes = [nodes](const char* named) {
        return [nodes, named] { return std::unique_ptr<V4l2Device>(new FakeV4l2Device(nodes, named)); };
    };
    // Listed as a camera (the list looks through plain calls).
    QTemporaryDir dev;
    QFile file(dev.filePath(QStringLiteral("video0")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    const std::map<QByteArray, std::shared_ptr<FakeCamera>> onDisk{
        {QFile::encodeName(dev.filePath(QStringLiteral("video0"))), m_camera}};
    const auto listed = V4l2Driver::captureNodes(
        [onDisk] { return std::unique_ptr<V4l2Device>(new FakeV4l2Device(onDisk, "plain")); }, dev.path(),
        dev.path());
    QCOMPARE(listed.size(), std::size_t(1));
    QCOMPARE(listed.front().cardName, QStringLiteral("Fake Camera"));
    V4l2Driver driver(
        V4l2Node{QStringLiteral("/dev/video0"), QStringLiteral("Fake Camera"), QStringLiteral("6.1.7")},
        fakes(calls.constData()), fakes("plain"));
    QVERIFY2(driver.open(), qPrintable(driver.lastError()));
    QCOMPARE(driver.formats().size(), std::size_t(1));
    QCOMPARE(driver.format(), (VideoFormat{fourcc, size, {1, 30}}));
    QVERIFY2(driver.start(
                 [this](const VideoFrame& frame) {
                     std::lock_guard lock(m_mutex);
                     m_frames.push_back(frame);
                 },
                 [](const QString&) {}),
             qPrintable(driver.lastError()));
    QCOMPARE(m_camera->streamedThrough, QByteArray("plain"));
    m_camera->push(TestPattern::render(size, 0, 50, 23, kTime));
    QVERIFY(waitForFrames(1));
    driver.stop();
    QCOMPARE(m_frames.front().image().size(), size);
    QCOMPARE(decodeFrameNumberStrip(m_frames.front().image()), 23);
    // Single-planar calls are refused by such a node: the stream used the others.
    QCOMPARE(m_camera->lastSetFormat.fmt.pix.pixelformat, fourcc);
}

void TestV4l2Driver::kernelTimestampsAndLostFrames() {
    auto driver = makeDriver();
    QVERIFY(driver->open());
    QVERIFY(startCollecting(*driver));
    const std::int64_t takenUs = monotonicTimeUs() - 500000; // taken half a second before it is read
    auto frame = [](std::uint64_t number, std::int64_t stampUs, std::uint32_t lostBefore) {
        FakeCamera::Frame f;
        f.image = TestPattern::render({640, 480}, 0, 50, number, kTime);
        f.timestampUs = stampUs;
        f.lostBefore = lostBefore;
        return f;
    };
    m_camera->push(frame(1, takenUs, 0));
    m_camera->push(frame(2, takenUs + 33333, 0));
    m_camera->push(frame(6, takenUs + 5 * 33333, 3));    // the kernel lost three frames before it
    m_camera->push(frame(7, takenUs + 3600000000LL, 0)); // a stamp no camera can have
    QVERIFY(waitForFrames(4));
    const std::int64_t afterUs = monotonicTimeUs();
    driver->stop();
    QCOMPARE(m_frames[0].captureTimeUs, takenUs);
    QCOMPARE(m_frames[1].captureTimeUs, takenUs + 33333);
    QCOMPARE(m_frames[2].captureTimeUs, takenUs + 5 * 33333);
    QVERIFY(m_frames[3].captureTimeUs <= afterUs); // the time it was read instead
    std::vector<std::uint64_t> numbers;
    for (const VideoFrame& f : m_frames)
        numbers.push_back(f.sequence);
    QCOMPARE(numbers, (std::vector<std::uint64_t>{0, 1, 5, 6}));
    QCOMPARE(driver->droppedFrames(), std::uint64_t(3));
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
    // Out of range: an integer is clamped by the camera, a menu index refused.
    QVERIFY(driver->setControl(V4L2_CID_BRIGHTNESS, 999));
    QCOMPARE(driver->controls()[0].value, 255);
    QVERIFY(!driver->setControl(V4L2_CID_POWER_LINE_FREQUENCY, 7));
    QVERIFY(driver->lastError().contains(QString::fromLocal8Bit(std::strerror(ERANGE))));
    QCOMPARE(driver->controls()[2].value, 2);
}

void TestV4l2Driver::controlsAsUvcvideoAnnouncesThem() {
    // uvcvideo's automatic/manual pairs carry no V4L2_CTRL_FLAG_UPDATE: the manual
    // control's change of state comes as an event. Relative and button controls are
    // write-only; a menu may announce any maximum.
    auto focusAuto = FakeCamera::control(V4L2_CID_FOCUS_AUTO, V4L2_CTRL_TYPE_BOOLEAN,
                                         "Focus, Automatic Continuous", 0, 1, 1);
    auto focus =
        FakeCamera::control(V4L2_CID_FOCUS_ABSOLUTE, V4L2_CTRL_TYPE_INTEGER, "Focus, Absolute", 0, 250, 0);
    focus.query.step = 5;
    focus.master = V4L2_CID_FOCUS_AUTO;
    focus.activeWhen = 0;
    auto huge = FakeCamera::control(V4L2_CID_COLORFX, V4L2_CTRL_TYPE_MENU, "Colour Effects", 0,
                                    std::numeric_limits<std::int32_t>::max(), 0);
    huge.menu = {"None", nullptr, "Sepia"};
    m_camera->controls = {
        FakeCamera::control(V4L2_CID_BRIGHTNESS, V4L2_CTRL_TYPE_INTEGER, "Brightness", 0, 255, 128),
        huge,
        FakeCamera::control(V4L2_CID_PAN_RESET, V4L2_CTRL_TYPE_BUTTON, "Pan, Reset", 0, 0, 0,
                            V4L2_CTRL_FLAG_WRITE_ONLY),
        focus,
        focusAuto,
        FakeCamera::control(V4L2_CID_IRIS_RELATIVE, V4L2_CTRL_TYPE_INTEGER, "Iris, Relative", -1, 1, 0,
                            V4L2_CTRL_FLAG_WRITE_ONLY),
    };
    auto driver = makeDriver();
    QVERIFY(driver->open());
    auto find = [&](std::uint32_t id) {
        for (const DriverControl& c : driver->controls())
            if (c.id == id) return c;
        return DriverControl{};
    };
    QVERIFY(find(V4L2_CID_FOCUS_AUTO).updatesOthers); // known as automatic by its id
    QVERIFY(!find(V4L2_CID_FOCUS_ABSOLUTE).updatesOthers);
    QVERIFY(find(V4L2_CID_FOCUS_ABSOLUTE).inactive);
    QCOMPARE(find(V4L2_CID_PAN_RESET).kind, DriverControl::Kind::Button);
    QCOMPARE(find(V4L2_CID_IRIS_RELATIVE).kind, DriverControl::Kind::Steps);
    const DriverControl effects = find(V4L2_CID_COLORFX);
    QCOMPARE(effects.kind, DriverControl::Kind::Menu);
    QVERIFY(effects.menuItems.size() <= 256);
    QCOMPARE(effects.menuItems.mid(0, 3), (QStringList{"None", QString(), "Sepia"}));
    QVERIFY(!driver->takeControlChanges()); // nothing announced yet

    // The automatic focus off: the camera announces the manual focus active.
    QVERIFY(driver->setControl(V4L2_CID_FOCUS_AUTO, 0));
    QVERIFY(driver->takeControlChanges());
    QVERIFY(!driver->takeControlChanges());
    QVERIFY(!find(V4L2_CID_FOCUS_ABSOLUTE).inactive);
    QVERIFY(driver->setControl(V4L2_CID_FOCUS_ABSOLUTE, 72)); // rounded to the camera's step
    QCOMPARE(find(V4L2_CID_FOCUS_ABSOLUTE).value, 70);
    // A value of our own is not announced back to us; another program's is.
    QVERIFY(driver->setControl(V4L2_CID_BRIGHTNESS, 90));
    QVERIFY(!driver->takeControlChanges());
    m_camera->setFromOutside(V4L2_CID_BRIGHTNESS, 40);
    QVERIFY(driver->takeControlChanges());
    QCOMPARE(find(V4L2_CID_BRIGHTNESS).value, 40);
    // A move and a button act when written, and are never read.
    QVERIFY(driver->setControl(V4L2_CID_IRIS_RELATIVE, -1));
    QVERIFY(driver->setControl(V4L2_CID_PAN_RESET, 1));
    const std::vector<std::pair<std::uint32_t, int>> expected = {{V4L2_CID_FOCUS_AUTO, 0},
                                                                 {V4L2_CID_FOCUS_ABSOLUTE, 70},
                                                                 {V4L2_CID_BRIGHTNESS, 90},
                                                                 {V4L2_CID_IRIS_RELATIVE, -1},
                                                                 {V4L2_CID_PAN_RESET, 1}};
    QCOMPARE(m_camera->controlWrites, expected);
}

// A queue that failed while the camera is still there (vb2_queue_error: uvcvideo
// after a failed resume) answers POLLERR alone; the stream starts again.
void TestV4l2Driver::failedQueueStartsTheStreamAgain() {
    auto driver = makeDriver();
    QVERIFY(driver->open());
    QVERIFY(startCollecting(*driver));
    m_camera->push(TestPattern::render({640, 480}, 0, 50, 1, kTime));
    QVERIFY(waitForFrames(1));
    m_camera->failQueue();
    m_camera->push(TestPattern::render({640, 480}, 0, 50, 2, kTime));
    QVERIFY(waitForFrames(2));
    driver->stop();
    QCOMPARE(m_errors, QStringList());
    QCOMPARE(m_camera->streamOffs, 2); // the restart's, and stop()'s
    QCOMPARE(decodeFrameNumberStrip(m_frames[1].image()), 2);
}

// uvcvideo gives the stream to the first file handle that sets the format or asks for
// buffers; another gets EBUSY until it lets go.
void TestV4l2Driver::cameraInUseByAnotherProgram() {
    auto first = makeDriver();
    auto second = makeDriver();
    QVERIFY(first->open());
    QVERIFY(second->open()); // opening is allowed
    QVERIFY(first->start([](const VideoFrame&) {}, [](const QString&) {}));
    QVERIFY(!second->start([](const VideoFrame&) {}, [](const QString&) {}));
    QVERIFY(second->lastErrorIsBusy());
    QCOMPARE(second->lastError(),
             QStringLiteral("The camera Fake Camera is in use by another program (/dev/video0)."));
    first->stop();
    QVERIFY2(second->start([](const VideoFrame&) {}, [](const QString&) {}), qPrintable(second->lastError()));
    QVERIFY(!second->lastErrorIsBusy());
    second->stop();
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
    // The reason names the camera: it ends a recording's status text.
    QCOMPARE(m_errors.front(), QStringLiteral("The camera Fake Camera was unplugged (/dev/video0)."));
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
    QTest::newRow("only faulty buffers") << -1 << true;
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
        if (dequeueError < 0) {
            FakeCamera::Frame faulty;
            faulty.image = TestPattern::render({640, 480}, 0, 50, 1, kTime);
            faulty.flags = V4L2_BUF_FLAG_ERROR;
            m_camera->broken = faulty;
        } else {
            m_camera->failDequeue = dequeueError;
        }
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
