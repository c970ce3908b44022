#include "AviProbe.h"
#include "CameraJpeg.h"
#include "DriverList.h"
#include "FakeV4l2Device.h"
#include "PulseServer.h"
#include "drivers/TestPatternDriver.h"
#include "drivers/V4l2Driver.h"
#include "vfw.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>
#include <QtTest>
#include <atomic>

Q_DECLARE_METATYPE(v4l2_fract)

// Recording through the capture window's messages, the way the program does it:
// only vfw.h, the test-pattern camera, the status callback. The driver failure
// swaps in (through the driver list's test seam) a test pattern that fails after a
// number of frames.

namespace {

struct StatusEntry {
    int id;
    QString text;
    bool onUiThread;
    int64_t fileFrames; // at 301: the frame count the (closed) file states
};
QVector<StatusEntry> g_statuses;
QString g_file;

LRESULT statusCallback(HWND, int id, const char* text) {
    const bool ui = QThread::currentThread() == QCoreApplication::instance()->thread();
    g_statuses.append(
        {id, QString::fromLocal8Bit(text), ui, id == IDS_CAP_END ? AviProbe::read(g_file).headerFrames : -1});
    return 0;
}

bool hasStatus(int id) {
    for (const auto& s : g_statuses)
        if (s.id == id) return true;
    return false;
}

// The test pattern at 320x240, 30 frames per second, failing after failAfter frames,
// as an unplugged camera does: the error callback, then no frames.
class FlakyPattern : public TestPatternDriver {
public:
    explicit FlakyPattern(int failAfter) : m_failAfter(failAfter) {}
    bool open() override {
        return TestPatternDriver::open() && setFormat({kFourcc, QSize(320, 240), FrameInterval{1, 30}});
    }
    bool start(FrameCallback onFrame, ErrorCallback onError) override {
        m_count = 0;
        return TestPatternDriver::start(
            [this, onFrame, onError](const VideoFrame& frame) {
                const int n = ++m_count;
                if (m_failAfter == 0 || n < m_failAfter)
                    onFrame(frame);
                else if (n == m_failAfter)
                    onError(QStringLiteral("the camera was unplugged"));
            },
            onError);
    }

private:
    int m_failAfter;
    std::atomic<int> m_count{0};
};

} // namespace

class TestRecorderVfw : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<QWidget> m_parent;
    HWND m_window = 0;

    void useDrivers(int failAfter) {
        DriverList::setEntriesForTest([failAfter] {
            std::vector<DriverList::Entry> list;
            list.push_back({TestPatternDriver::driverName(), TestPatternDriver::driverVersion(),
                            [failAfter] { return std::make_unique<FlakyPattern>(failAfter); }});
            return list;
        });
    }

    // The window on the test-pattern camera (or another), found by name in the driver list.
    // The driver list holds one V4L2 camera, "Webcam" at /dev/video0, played by `camera`.
    static void listWebcam(const std::shared_ptr<FakeCamera>& camera) {
        DriverList::setEntriesForTest([camera] {
            const V4l2Node node{QStringLiteral("/dev/video0"), QStringLiteral("Webcam"),
                                QStringLiteral("6.1.7")};
            auto create = [camera, node] {
                return std::unique_ptr<CaptureDriver>(new V4l2Driver(node, [camera] {
                    return std::unique_ptr<V4l2Device>(new FakeV4l2Device({{"/dev/video0", camera}}));
                }));
            };
            return std::vector<DriverList::Entry>{{node.cardName, node.driverVersion, create, node.path}};
        });
    }

    HWND openWindow(const QString& driverName = TestPatternDriver::driverName()) {
        int index = -1;
        char name[128], version[128];
        for (UINT i = 0; capGetDriverDescriptionA(i, name, sizeof name, version, sizeof version); ++i)
            if (QString::fromLocal8Bit(name) == driverName) index = int(i);
        if (index < 0) return 0;
        m_parent = std::make_unique<QWidget>();
        m_parent->resize(400, 300);
        m_parent->show();
        m_window =
            capCreateCaptureWindowA("VIDEO WINDOW", WS_CHILD | WS_VISIBLE, 0, 0, 160, 120, m_parent.get(), 0);
        if (!m_window) return 0;
        if (!SendMessageA(m_window, WM_CAP_DRIVER_CONNECT, WPARAM(index), 0)) return 0;
        SendMessageA(m_window, WM_CAP_SET_CALLBACK_STATUSA, 0, reinterpret_cast<LPARAM>(&statusCallback));
        SendMessageA(m_window, WM_CAP_SET_PREVIEW, 1, 0);
        return m_window;
    }

    void setFile(const QString& name) {
        g_file = name.startsWith(QLatin1Char('/')) ? name : m_dir.filePath(name);
        const QByteArray path = g_file.toLocal8Bit();
        QVERIFY(SendMessageA(m_window, WM_CAP_FILE_SET_CAPTURE_FILEA, 0,
                             reinterpret_cast<LPARAM>(path.constData())));
    }

    CAPTUREPARMS parms() {
        CAPTUREPARMS p{};
        SendMessageA(m_window, WM_CAP_GET_SEQUENCE_SETUP, sizeof p, reinterpret_cast<LPARAM>(&p));
        p.dwRequestMicroSecPerFrame = 66667;
        p.fCaptureAudio = 0;
        p.fLimitEnabled = 0;
        p.fAbortLeftMouse = 0;
        p.fAbortRightMouse = 0;
        p.vKeyAbort = 0;
        return p;
    }
    // Set just before each capture: the statuses from here on are the capture's.
    void setParms(CAPTUREPARMS p) {
        g_statuses.clear();
        QVERIFY(SendMessageA(m_window, WM_CAP_SET_SEQUENCE_SETUP, sizeof p, reinterpret_cast<LPARAM>(&p)));
    }
    CAPSTATUS status() {
        CAPSTATUS s{};
        SendMessageA(m_window, WM_CAP_GET_STATUS, sizeof s, reinterpret_cast<LPARAM>(&s));
        return s;
    }

    // The camera runs at twice the movie's rate and stamps each frame with its due
    // time, so file frame k is camera frame first + 2k, or first + 2k + 1 when that
    // one was lost, and never one from another slot however late the frames were
    // read. A slot whose frames were lost or left out (the encoders behind) repeats
    // the frame before it, and each repeat is counted as dropped.
    static void checkStrip(const AviProbe& probe, DWORD dropped) {
        QVERIFY(!probe.strip.isEmpty());
        const int first = probe.strip[0];
        int repeats = 0;
        for (int k = 1; k < probe.strip.size(); ++k) {
            const int frame = probe.strip[k];
            if (frame == probe.strip[k - 1]) {
                ++repeats;
                continue;
            }
            QVERIFY2(frame == first + 2 * k || frame == first + 2 * k + 1,
                     qPrintable(QStringLiteral("file frame %1: camera frame %2, the movie starting at %3")
                                    .arg(k)
                                    .arg(frame)
                                    .arg(first)));
        }
        QCOMPARE(DWORD(repeats), dropped);
    }

    void checkStatusOrder() {
        QVERIFY(!g_statuses.isEmpty());
        QCOMPARE(g_statuses.first().id, IDS_CAP_BEGIN);
        QCOMPARE(g_statuses.last().id, IDS_CAP_END);
        for (const auto& s : g_statuses)
            QVERIFY(s.onUiThread);
    }

private slots:
    void init() {
        g_statuses.clear();
        QVERIFY(openWindow());
    }
    void cleanup() {
        DestroyWindow(m_window);
        m_window = 0;
        m_parent.reset();
        DriverList::setEntriesForTest({});
    }

    // fYield 0: the call returns when the 3 s movie is complete; meanwhile the
    // window's events run and CAPSTATUS follows the capture.
    void timeLimitWithoutYield() {
        setFile(QStringLiteral("limit.avi"));
        CAPTUREPARMS p = parms();
        p.fYield = 0;
        p.fLimitEnabled = 1;
        p.wTimeLimit = 3;
        setParms(p);
        QVector<CAPSTATUS> during;
        QTimer sampler;
        connect(&sampler, &QTimer::timeout, this, [&] { during << status(); });
        sampler.start(200);
        QCOMPARE(SendMessageA(m_window, WM_CAP_SEQUENCE, 0, 0), LRESULT(TRUE));
        sampler.stop();

        QVERIFY(during.size() >= 5);
        QVERIFY(during[2].fCapturingNow);
        QVERIFY(during.last().dwCurrentVideoFrame > during.first().dwCurrentVideoFrame);
        const CAPSTATUS after = status();
        QVERIFY(!after.fCapturingNow);
        QVERIFY(qAbs(int(after.dwCurrentVideoFrame) - 45) <= 1);
        QCOMPARE(after.dwCurrentTimeElapsedMS, after.dwCurrentVideoFrame * 66667 / 1000);

        const AviProbe probe = AviProbe::read(g_file);
        QCOMPARE(probe.videoStreams, 1);
        QCOMPARE(probe.frameRate.num, 15);
        QCOMPARE(probe.frameRate.den, 1);
        QVERIFY(qAbs(probe.decodedFrames() - 45) <= 1);
        checkStrip(probe, status().dwCurrentVideoFramesDropped);
        checkStatusOrder();
        QCOMPARE(g_statuses.last().fileFrames, int64_t(probe.decodedFrames()));
    }

    // fYield 1: the call returns at once; WM_CAP_STOP ends the movie.
    void yieldAndStop() {
        setFile(QStringLiteral("yield.avi"));
        CAPTUREPARMS p = parms();
        p.fYield = 1;
        setParms(p);
        QCOMPARE(SendMessageA(m_window, WM_CAP_SEQUENCE, 0, 0), LRESULT(TRUE));
        QVERIFY(status().fCapturingNow);
        // A second capture is refused while one runs.
        QCOMPARE(SendMessageA(m_window, WM_CAP_SEQUENCE, 0, 0), LRESULT(FALSE));
        QTRY_VERIFY_WITH_TIMEOUT(status().dwCurrentVideoFrame >= 30, 20000);
        QCOMPARE(SendMessageA(m_window, WM_CAP_STOP, 0, 0), LRESULT(TRUE));
        QTRY_VERIFY_WITH_TIMEOUT(hasStatus(IDS_CAP_END), 20000);
        const CAPSTATUS after = status();
        QVERIFY(!after.fCapturingNow);
        const AviProbe probe = AviProbe::read(g_file);
        QCOMPARE(probe.frameRate.num, 15);
        QCOMPARE(probe.decodedFrames(), int(after.dwCurrentVideoFrame));
        QVERIFY(probe.decodedFrames() >= 30);
        checkStrip(probe, status().dwCurrentVideoFramesDropped);
        checkStatusOrder();
        QCOMPARE(g_statuses.last().fileFrames, int64_t(probe.decodedFrames()));
        QCOMPARE(SendMessageA(m_window, WM_CAP_STOP, 0, 0), LRESULT(FALSE));
    }

    // The abort key and the mouse buttons end a capture with fYield 0 while the
    // call is still waiting; a button whose abort is off does not.
    void abortKeyAndMouse_data() {
        QTest::addColumn<int>("input"); // 0 Escape, 1 left click, 2 right click
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<QString>("hint"); // what the start and progress texts tell the user
        QTest::newRow("abort key") << 0 << true << QStringLiteral("  Hit Escape to Stop");
        QTest::newRow("left button") << 1 << true << QStringLiteral("  Click to Stop");
        QTest::newRow("right button") << 2 << true << QStringLiteral("  Right-click to Stop");
        QTest::newRow("right button switched off") << 2 << false << QString();
    }
    void abortKeyAndMouse() {
        QFETCH(int, input);
        QFETCH(bool, enabled);
        QFETCH(QString, hint);
        setFile(QStringLiteral("abort.avi"));
        CAPTUREPARMS p = parms();
        p.fYield = 0;
        p.fLimitEnabled = 1;
        p.wTimeLimit = 4;
        p.vKeyAbort = input == 0 ? 0x1B : 0;
        p.fAbortLeftMouse = input == 1;
        p.fAbortRightMouse = input == 2 && enabled;
        setParms(p);
        // The key or click comes once a second of movie is recorded and its progress
        // was reported, however slowly the recording got going.
        QWidget* target = m_parent.get();
        QTimer poller;
        connect(&poller, &QTimer::timeout, this, [&] {
            if (status().dwCurrentVideoFrame < 15 || !hasStatus(IDS_CAP_STAT_VIDEOCURRENT)) return;
            poller.stop();
            if (input == 0)
                QTest::keyClick(target, Qt::Key_Escape);
            else
                QTest::mouseClick(target, input == 1 ? Qt::LeftButton : Qt::RightButton, {},
                                  QPoint(300, 200));
        });
        poller.start(20);
        QCOMPARE(SendMessageA(m_window, WM_CAP_SEQUENCE, 0, 0), LRESULT(TRUE));
        QVERIFY(!poller.isActive());
        for (const auto& s : g_statuses) {
            if (s.id == IDS_CAP_BEGIN)
                QCOMPARE(s.text, hint.isEmpty() ? QStringLiteral("Capture Start")
                                                : QStringLiteral("Capture Start.") + hint);
            if (s.id == IDS_CAP_STAT_VIDEOCURRENT)
                QVERIFY2(s.text.endsWith(QStringLiteral("sec.") + hint), qPrintable(s.text));
        }
        QVERIFY(hasStatus(IDS_CAP_STAT_VIDEOCURRENT));
        const int frames = AviProbe::read(g_file).decodedFrames();
        if (enabled)
            QVERIFY2(frames >= 15 && frames < 60, qPrintable(QString::number(frames))); // before the limit
        else
            QCOMPARE(frames, 60);
    }

    void singleFrameMovie() {
        setFile(QStringLiteral("single.avi"));
        CAPTUREPARMS p = parms();
        p.dwRequestMicroSecPerFrame = 200000;
        setParms(p);
        QCOMPARE(SendMessageA(m_window, WM_CAP_SINGLE_FRAME_OPEN, 0, 0), LRESULT(TRUE));
        QCOMPARE(SendMessageA(m_window, WM_CAP_SINGLE_FRAME_OPEN, 0, 0), LRESULT(FALSE));
        QCOMPARE(SendMessageA(m_window, WM_CAP_SEQUENCE, 0, 0), LRESULT(FALSE));
        for (int i = 0; i < 10; ++i) {
            QCOMPARE(SendMessageA(m_window, WM_CAP_SINGLE_FRAME, 0, 0), LRESULT(TRUE));
            QCoreApplication::processEvents(); // lets the next camera frame in, as clicks between shots do
        }
        QCOMPARE(status().dwCurrentVideoFrame, 10u);
        QCOMPARE(SendMessageA(m_window, WM_CAP_SINGLE_FRAME_CLOSE, 0, 0), LRESULT(TRUE));
        QCOMPARE(SendMessageA(m_window, WM_CAP_SINGLE_FRAME, 0, 0), LRESULT(FALSE));
        const AviProbe probe = AviProbe::read(g_file);
        QCOMPARE(probe.frameRate.num, 5);
        QCOMPARE(probe.frameRate.den, 1);
        QCOMPARE(probe.decodedFrames(), 10);
        for (int i = 1; i < 10; ++i)
            QVERIFY(probe.strip[i] >= probe.strip[i - 1]);
        checkStatusOrder();
        QCOMPARE(g_statuses.last().fileFrames, 10);
    }

    void driverFailureMidCapture() {
        cleanup();
        useDrivers(40);
        QVERIFY(openWindow());
        setFile(QStringLiteral("unplugged.avi"));
        CAPTUREPARMS p = parms();
        p.fYield = 0;
        setParms(p);
        QCOMPARE(SendMessageA(m_window, WM_CAP_SEQUENCE, 0, 0), LRESULT(FALSE));
        const AviProbe probe = AviProbe::read(g_file);
        QVERIFY(probe.decodedFrames() >= 10);
        QCOMPARE(probe.headerFrames, probe.decodedFrames());
        checkStrip(probe, status().dwCurrentVideoFramesDropped);
        QVERIFY(hasStatus(IDS_CAP_DRIVER_ERROR));
        QCOMPARE(g_statuses.last().id, IDS_CAP_END);
        QVERIFY(g_statuses.last().text.contains(QStringLiteral("the camera was unplugged")));
        QCOMPARE(status().dwReturn, DWORD(IDS_CAP_DRIVER_ERROR));
    }

    // A webcam's MJPEG stream as it really comes: frames with decoder warnings, one
    // that cannot be decoded, one of another size, frames the kernel lost, each
    // stamped by the kernel. The movie places every frame by its stamp; what is
    // missing is filled by the frame before and counted as dropped.
    void realCameraQuirksInAMovie() {
        cleanup();
        auto camera = FakeCamera::standard();
        camera->currentFourcc = V4L2_PIX_FMT_MJPEG;
        listWebcam(camera);
        QVERIFY(openWindow(QStringLiteral("Webcam")));
        setFile(QStringLiteral("webcam.avi"));
        CAPTUREPARMS p = parms();
        p.fYield = 1;
        setParms(p);
        QCOMPARE(SendMessageA(m_window, WM_CAP_SEQUENCE, 0, 0), LRESULT(TRUE));
        QTRY_VERIFY_WITH_TIMEOUT(hasStatus(IDS_CAP_BEGIN), 10000);

        // Nothing shown: only what the movie needs is decoded.
        SendMessageA(m_window, WM_CAP_SET_PREVIEW, 0, 0);
        const std::uint64_t decodesBefore = CameraJpeg::decodes();
        const std::int64_t startUs = monotonicTimeUs() - 1500000; // taken before they are read
        auto frame = [&](int number) {
            FakeCamera::Frame f;
            f.image = TestPattern::render({640, 480}, 0, 50, std::uint64_t(number), QTime(12, 0));
            f.timestampUs = startUs + (number - 1) * 66667;
            return f;
        };
        for (int n = 1; n <= 15; ++n) {
            if (n >= 10 && n <= 12) continue; // lost by the kernel
            FakeCamera::Frame f = frame(n);
            const QByteArray jpeg = FakeCamera::jpeg(f.image);
            if (n == 4) f.raw = jpeg.left(jpeg.size() - 2) + QByteArray(5, '\0') + "\xFF\xD9"; // warns
            if (n == 6) f.raw = QByteArray(3000, '\x33');                                      // undecodable
            if (n == 8) f.raw = FakeCamera::jpeg(f.image.scaled(320, 240));                    // another size
            if (n == 13) f.lostBefore = 3;
            camera->push(f);
        }
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                std::lock_guard lock(camera->mutex);
                return camera->pending.empty();
            }(),
            10000);
        QTRY_VERIFY_WITH_TIMEOUT(status().dwCurrentVideoFrame >= 14, 10000); // the last is held back
        QCOMPARE(SendMessageA(m_window, WM_CAP_STOP, 0, 0), LRESULT(TRUE));
        QTRY_VERIFY_WITH_TIMEOUT(hasStatus(IDS_CAP_END), 20000);
        const AviProbe probe = AviProbe::read(g_file);
        QCOMPARE(probe.width, 640);
        QCOMPARE(probe.height, 480);
        QCOMPARE(probe.strip, (QVector<int>{1, 2, 3, 4, 5, 5, 7, 8, 9, 9, 9, 9, 13, 14, 15}));
        QCOMPARE(status().dwCurrentVideoFramesDropped, DWORD(4));
        // The camera's JPEG went into the movie as it came: only the frame of another
        // size was decoded (to be scaled and encoded again).
        QCOMPARE(CameraJpeg::decodes(), decodesBefore + 1);
    }

    // A movie asked at one rate from a camera that runs slower is recorded at the
    // camera's rate: each camera frame once, the movie as long as the recording, and
    // the status says so. A camera faster than asked is thinned out to the rate asked.
    void movieAtTheRateTheCameraRuns_data() {
        QTest::addColumn<int>("askedUs");
        QTest::addColumn<v4l2_fract>("parmReply"); // 0/0: the rate asked for
        QTest::addColumn<bool>("captureCard");     // no S_PARM; PAL's rate through G_PARM
        QTest::addColumn<int>("rateNum");          // the camera's and the movie's rates
        QTest::addColumn<int>("rateDen");
        QTest::addColumn<int>("movieNum");
        QTest::addColumn<int>("movieDen");
        QTest::addColumn<QString>("note");
        QTest::newRow("asked 30, the camera answers 25")
            << 33333 << v4l2_fract{1, 25} << false << 25 << 1 << 25 << 1
            << "The camera runs at 25 frames/s, not 30: the movie has its rate.";
        QTest::newRow("asked 30, the camera answers 29.97")
            << 33333 << v4l2_fract{1001, 30000} << false << 30000 << 1001 << 30000 << 1001
            << "The camera runs at 29.97 frames/s, not 30: the movie has its rate.";
        QTest::newRow("asked 30, the camera answers 15")
            << 33333 << v4l2_fract{1, 15} << false << 15 << 1 << 15 << 1
            << "The camera runs at 15 frames/s, not 30: the movie has its rate.";
        QTest::newRow("asked 30, a PAL capture card without S_PARM")
            << 33333 << v4l2_fract{0, 0} << true << 25 << 1 << 25 << 1
            << "The camera runs at 25 frames/s, not 30: the movie has its rate.";
        QTest::newRow("asked 30, the camera runs at 30")
            << 33333 << v4l2_fract{0, 0} << false << 30 << 1 << 30 << 1 << QString();
        QTest::newRow("asked 15, the camera answers 25")
            << 66667 << v4l2_fract{1, 25} << false << 25 << 1 << 15 << 1 << QString();
    }
    void movieAtTheRateTheCameraRuns() {
        QFETCH(int, askedUs);
        QFETCH(v4l2_fract, parmReply);
        QFETCH(bool, captureCard);
        QFETCH(int, rateNum);
        QFETCH(int, rateDen);
        QFETCH(int, movieNum);
        QFETCH(int, movieDen);
        QFETCH(QString, note);
        cleanup();
        auto camera = FakeCamera::standard();
        camera->currentFourcc = V4L2_PIX_FMT_MJPEG;
        camera->currentInterval = {1, 30};
        if (parmReply.denominator) camera->parmReply = parmReply;
        if (captureCard) {
            // bttv: no frame sizes or intervals listed, no G_PARM or S_PARM of its own.
            camera->formats = {{V4L2_PIX_FMT_YUYV, "YUYV 4:2:2", false, {{640, 480}}, {}, {}}};
            camera->currentFourcc = V4L2_PIX_FMT_YUYV;
            camera->rateOfStandard = true;
            camera->standards = {{V4L2_STD_PAL, "PAL"}, {V4L2_STD_NTSC, "NTSC"}};
            camera->currentStandard = V4L2_STD_PAL;
        }
        listWebcam(camera);
        QVERIFY(openWindow(QStringLiteral("Webcam")));
        setFile(QStringLiteral("rate.avi"));
        CAPTUREPARMS p = parms();
        p.dwRequestMicroSecPerFrame = DWORD(askedUs);
        p.fYield = 1;
        setParms(p);
        QCOMPARE(SendMessageA(m_window, WM_CAP_SEQUENCE, 0, 0), LRESULT(TRUE));
        QTRY_VERIFY_WITH_TIMEOUT(hasStatus(IDS_CAP_BEGIN), 10000);

        // Twelve frames at the camera's rate, stamped by the kernel as it took them
        // (the last one just now).
        constexpr int kFrames = 12;
        const double periodUs = 1e6 * rateDen / rateNum;
        const std::int64_t startUs = monotonicTimeUs() - std::int64_t(periodUs * kFrames);
        for (int n = 1; n <= kFrames; ++n) {
            FakeCamera::Frame f;
            f.image = TestPattern::render({640, 480}, 0, 50, std::uint64_t(n), QTime(12, 0));
            f.timestampUs = startUs + std::llround(periodUs * (n - 1));
            camera->push(f);
        }
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                std::lock_guard lock(camera->mutex);
                return camera->pending.empty();
            }(),
            10000);
        // The last frame is held back until the end.
        const int expected = int(std::llround((kFrames - 1) * periodUs * movieNum / (1e6 * movieDen))) + 1;
        QTRY_VERIFY_WITH_TIMEOUT(status().dwCurrentVideoFrame >= DWORD(expected - 1), 10000);
        QCOMPARE(SendMessageA(m_window, WM_CAP_STOP, 0, 0), LRESULT(TRUE));
        QTRY_VERIFY_WITH_TIMEOUT(hasStatus(IDS_CAP_END), 20000);

        const AviProbe probe = AviProbe::read(g_file);
        QCOMPARE(probe.frameRate.num * movieDen, movieNum * probe.frameRate.den);
        QCOMPARE(probe.decodedFrames(), expected);
        QCOMPARE(status().dwCurrentVideoFramesDropped, DWORD(0));
        if (movieNum * rateDen == rateNum * movieDen) {
            // Every camera frame, once and in order.
            QVector<int> all;
            for (int n = 1; n <= kFrames; ++n)
                all << n;
            QCOMPARE(probe.strip, all);
        }
        // The user's rate is theirs: the window's settings still hold it.
        CAPTUREPARMS kept{};
        SendMessageA(m_window, WM_CAP_GET_SEQUENCE_SETUP, sizeof kept, reinterpret_cast<LPARAM>(&kept));
        QCOMPARE(kept.dwRequestMicroSecPerFrame, DWORD(askedUs));
        checkStatusOrder();
        const QString begin = g_statuses.first().text, end = g_statuses.last().text;
        if (note.isEmpty()) {
            QVERIFY2(!begin.contains(QLatin1String("camera runs")), qPrintable(begin));
            QVERIFY2(!end.contains(QLatin1String("camera runs")), qPrintable(end));
        } else {
            QVERIFY2(begin.startsWith(QStringLiteral("Capture Start. ") + note), qPrintable(begin));
            QVERIFY2(end.startsWith(QStringLiteral("Capture End. ") + note), qPrintable(end));
        }
    }

    void unwritableFolder() {
        setFile(QStringLiteral("/proc/kelvanor-no-such-dir/movie.avi"));
        CAPTUREPARMS p = parms();
        p.fYield = 0;
        setParms(p);
        QCOMPARE(SendMessageA(m_window, WM_CAP_SEQUENCE, 0, 0), LRESULT(FALSE));
        QVERIFY(!QFile::exists(g_file));
        QVERIFY(hasStatus(IDS_CAP_CANTOPEN));
        QVERIFY(!hasStatus(IDS_CAP_BEGIN));
        QVERIFY(!hasStatus(IDS_CAP_END));
        QCOMPARE(status().dwReturn, DWORD(IDS_CAP_CANTOPEN));
        QVERIFY(!status().fCapturingNow);
        // The window records normally afterwards.
        QCOMPARE(SendMessageA(m_window, WM_CAP_SINGLE_FRAME_OPEN, 0, 0), LRESULT(FALSE));
    }

    // Sound from a null sink: a PCM stream of the chosen format, as long as the
    // video within one frame.
    void withSound() {
        PulseServer pulse;
        const QString why = pulse.start();
        if (!why.isEmpty()) QSKIP(qPrintable(why));
        QVERIFY(pulse.playTone());
        setFile(QStringLiteral("sound.avi"));
        WAVEFORMATEX wf{};
        wf.wFormatTag = WAVE_FORMAT_PCM;
        wf.nChannels = 2;
        wf.nSamplesPerSec = 22050;
        wf.wBitsPerSample = 16;
        QVERIFY(SendMessageA(m_window, WM_CAP_SET_AUDIOFORMAT, sizeof wf, reinterpret_cast<LPARAM>(&wf)));
        CAPTUREPARMS p = parms();
        p.fYield = 0;
        p.fCaptureAudio = 1;
        p.fLimitEnabled = 1;
        p.wTimeLimit = 3;
        p.AVStreamMaster = AVSTREAMMASTER_AUDIO;
        setParms(p);
        QCOMPARE(SendMessageA(m_window, WM_CAP_SEQUENCE, 0, 0), LRESULT(TRUE));
        const AviProbe probe = AviProbe::read(g_file);
        QCOMPARE(probe.audioStreams, 1);
        QCOMPARE(probe.audioCodec, QStringLiteral("pcm_s16le"));
        QCOMPARE(probe.channels, 2);
        QCOMPARE(probe.sampleRate, 22050);
        QVERIFY(qAbs(probe.decodedFrames() - 45) <= 1);
        QVERIFY2(
            qAbs(probe.audioSeconds() - probe.videoSeconds()) <= 1.0 / 15,
            qPrintable(QStringLiteral("%1 s vs %2 s").arg(probe.audioSeconds()).arg(probe.videoSeconds())));
        QCOMPARE(status().dwCurrentWaveSamples, DWORD(probe.audioSamples));
    }
};

QTEST_MAIN(TestRecorderVfw)
#include "tst_recorder_vfw.moc"
