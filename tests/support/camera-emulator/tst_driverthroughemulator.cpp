// Our V4L2 driver through the real libv4l2 and the real system calls, against the
// emulated camera preloaded into this test (ctest sets LD_PRELOAD): the device list
// with its by-id name, formats, the automatic/manual pair of controls, streaming with
// the camera's clock and numbering, and an unplug and return as inotify reports them;
// the stream held across processes, and epoll on the node.

#include "CameraSettings.h"
#include "DeviceWatcher.h"
#include "DriverList.h"
#include "drivers/V4l2Driver.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <fcntl.h>
#include <linux/videodev2.h>
#include <map>
#include <mutex>
#include <sys/epoll.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

QByteArray camera(const QByteArray& node, const QByteArray& card, const QByteArray& bus,
                  const QByteArray& extra = {}) {
    return "camera " + node + "\ncard = " + card + "\nbus = " + bus + "\nby-id = usb-Kelvanor_" +
           card.left(4) +
           "-video-index0\n"
           "format = MJPG 1280x720@30,15 640x480@30\n"
           "format = YUYV 640x480@30 320x240@30\n"
           "control = brightness -64 64 1 0\n"
           "control = auto_exposure 0 3 1 3 1,3\n"
           "control = exposure_time_absolute 1 5000 1 156\n"
           "control = focus_absolute 0 250 5 0\n"
           "control = focus_automatic_continuous 0 1 1 1\n"
           "control = iris_relative -1 1 1 0\n" +
           extra;
}

} // namespace

class TestDriverThroughEmulator : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_config;

    // What is plugged in: the file is replaced whole, as the emulator expects.
    void plug(const QByteArray& cameras) {
        const QString next = m_config + QStringLiteral(".new");
        QFile file(next);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(cameras);
        file.close();
        QVERIFY(std::rename(QFile::encodeName(next).constData(), QFile::encodeName(m_config).constData()) ==
                0);
    }

    // The node at `path` once the emulator has read the new configuration.
    static V4l2Node nodeAt(const QString& path) {
        V4l2Node found;
        (void)QTest::qWaitFor( // an empty node when it never comes: the test's checks fail then
            [&] {
                for (const V4l2Node& n : emulatedNodes())
                    if (n.path == path) return found = n, true;
                return false;
            },
            20000);
        return found;
    }
    // Back to the one camera the other tests expect.
    void plugOnlyTheDeskCamera() {
        plug(camera("/dev/video42", "Kelvanor Desk", "usb-0000:00:14.0-1"));
        QTRY_VERIFY_WITH_TIMEOUT(emulatedNodes().size() == 1, 20000);
    }

    static std::vector<V4l2Node> emulatedNodes() {
        std::vector<V4l2Node> nodes;
        for (const V4l2Node& n : V4l2Driver::captureNodes())
            if (n.path.startsWith(QLatin1String("/dev/video4"))) nodes.push_back(n);
        return nodes;
    }

private slots:
    void initTestCase() {
        QVERIFY2(qEnvironmentVariableIsSet("LD_PRELOAD"), "run through ctest, which preloads the emulator");
        m_config = m_dir.filePath(QStringLiteral("cameras.conf"));
        plug(camera("/dev/video42", "Kelvanor Desk", "usb-0000:00:14.0-1"));
        // Read when the first /dev path is used, which is after this.
        qputenv("KV_CAMERA_EMULATOR_CONFIG", QFile::encodeName(m_config));
    }

    void theListShowsTheCameraWithItsIdentity() {
        const auto nodes = emulatedNodes();
        QCOMPARE(nodes.size(), std::size_t(1));
        QCOMPARE(nodes[0].path, QStringLiteral("/dev/video42"));
        QCOMPARE(nodes[0].cardName, QStringLiteral("Kelvanor Desk"));
        QCOMPARE(nodes[0].busInfo, QStringLiteral("usb-0000:00:14.0-1"));
        QCOMPARE(nodes[0].byId, QStringLiteral("usb-Kelvanor_Kelv-video-index0"));
    }

    void formatsAndTheAutomaticPair() {
        V4l2Driver driver(emulatedNodes().at(0));
        QVERIFY2(driver.open(), qPrintable(driver.lastError()));
        const auto formats = driver.formats();
        QCOMPARE(formats.size(), std::size_t(4));
        QCOMPARE(formats[0].fourcc, std::uint32_t(V4L2_PIX_FMT_MJPEG));
        QCOMPARE(formats[0].size, QSize(1280, 720));
        QCOMPARE(driver.format().size, QSize(1280, 720));

        auto exposure = [&] {
            for (const DriverControl& c : driver.controls())
                if (c.id == V4L2_CID_EXPOSURE_ABSOLUTE) return c;
            return DriverControl{};
        };
        QVERIFY(exposure().inactive);
        // The camera refuses the manual value while its automatic control holds it.
        QVERIFY(!driver.setControl(V4L2_CID_EXPOSURE_ABSOLUTE, 300));
        QVERIFY2(driver.lastError().contains(QStringLiteral("automatic control")),
                 qPrintable(driver.lastError()));
        QVERIFY(driver.setControl(V4L2_CID_EXPOSURE_AUTO, V4L2_EXPOSURE_MANUAL));
        QVERIFY(!exposure().inactive);
        QVERIFY(driver.setControl(V4L2_CID_EXPOSURE_ABSOLUTE, 300));
        QCOMPARE(exposure().value, 300);
    }

    void controlEventsClampingAndTheRestoreOrder() {
        V4l2Driver driver(emulatedNodes().at(0));
        V4l2Driver other(emulatedNodes().at(0)); // another program on the same camera
        QVERIFY(driver.open());
        QVERIFY(other.open());
        auto find = [](const V4l2Driver& d, std::uint32_t id) {
            for (const DriverControl& c : d.controls())
                if (c.id == id) return c;
            return DriverControl{};
        };
        QVERIFY(find(driver, V4L2_CID_FOCUS_AUTO).updatesOthers);
        QVERIFY(find(driver, V4L2_CID_FOCUS_ABSOLUTE).inactive);
        QCOMPARE(find(driver, V4L2_CID_IRIS_RELATIVE).kind, DriverControl::Kind::Steps);
        QVERIFY(!driver.takeControlChanges());

        // The automatic focus off: announced to us as the manual focus's new state.
        QVERIFY(driver.setControl(V4L2_CID_FOCUS_AUTO, 0));
        QVERIFY(driver.takeControlChanges());
        QVERIFY(!find(driver, V4L2_CID_FOCUS_ABSOLUTE).inactive);
        // Rounded to the step, clamped into the range, by the camera.
        QVERIFY(driver.setControl(V4L2_CID_FOCUS_ABSOLUTE, 72));
        QCOMPARE(find(driver, V4L2_CID_FOCUS_ABSOLUTE).value, 70);
        QVERIFY(driver.setControl(V4L2_CID_BRIGHTNESS, 500));
        QCOMPARE(find(driver, V4L2_CID_BRIGHTNESS).value, 64);
        QVERIFY(!driver.takeControlChanges()); // our own values are not told back
        QVERIFY(other.setControl(V4L2_CID_BRIGHTNESS, -20));
        QVERIFY(driver.takeControlChanges());
        QCOMPARE(find(driver, V4L2_CID_BRIGHTNESS).value, -20);
        QVERIFY(driver.setControl(V4L2_CID_IRIS_RELATIVE, 1));

        // Kept, then changed by the other program: manual focus elsewhere, automatic on.
        QTemporaryDir dir;
        CameraSettings::setFile(dir.filePath(QStringLiteral("cameras.ini")));
        const DeviceIdentity identity{QStringLiteral("Kelvanor Desk"), QStringLiteral("usb-0000:00:14.0-1"),
                                      QStringLiteral("usb-Kelvanor_Kelv-video-index0")};
        CameraSettings::save(identity, driver);
        QVERIFY(other.setControl(V4L2_CID_FOCUS_ABSOLUTE, 20));
        QVERIFY(other.setControl(V4L2_CID_FOCUS_AUTO, 1));
        // Put back: the automatic focus off first, so that the camera takes the focus.
        QVERIFY(CameraSettings::restore(identity, driver, [](const VideoFormat&) { return true; }));
        CameraSettings::setFile(QString());
        QCOMPARE(find(other, V4L2_CID_FOCUS_AUTO).value, 0);
        QCOMPARE(find(other, V4L2_CID_FOCUS_ABSOLUTE).value, 70);
        QCOMPARE(find(other, V4L2_CID_BRIGHTNESS).value, -20);
    }

    void streamingGivesTheCamerasJpegsInOrder() {
        V4l2Driver driver(emulatedNodes().at(0));
        QVERIFY(driver.open());
        std::mutex mutex;
        std::vector<VideoFrame> frames;
        QVERIFY2(driver.start(
                     [&](const VideoFrame& f) {
                         std::lock_guard<std::mutex> lock(mutex);
                         frames.push_back(f);
                     },
                     [](const QString&) {}),
                 qPrintable(driver.lastError()));
        auto count = [&] {
            std::lock_guard<std::mutex> lock(mutex);
            return frames.size();
        };
        QTRY_VERIFY_WITH_TIMEOUT(count() >= 10, 20000);
        driver.stop();
        for (std::size_t i = 0; i < frames.size(); ++i) {
            QCOMPARE(frames[i].size(), QSize(1280, 720));
            QVERIFY(frames[i].mjpeg().startsWith("\xFF\xD8"));
            if (i) QVERIFY(frames[i].sequence > frames[i - 1].sequence);
            if (i) QVERIFY(frames[i].captureTimeUs > frames[i - 1].captureTimeUs);
        }
        // The camera's numbering starts at 0; a frame it lost (a late producer on a busy
        // machine) is a gap, which the driver counts as dropped.
        QCOMPARE(frames[0].sequence, std::uint64_t(0));
        QCOMPARE(driver.droppedFrames(), frames.back().sequence + 1 - frames.size());
        QCOMPARE(frames[0].image().size(), QSize(1280, 720));
    }

    void aSecondOpenerCannotStreamWhileTheFirstDoes() {
        V4l2Driver first(emulatedNodes().at(0));
        V4l2Driver second(emulatedNodes().at(0));
        QVERIFY(first.open());
        QVERIFY(second.open()); // opening is allowed, as with uvcvideo
        QVERIFY(first.start([](const VideoFrame&) {}, [](const QString&) {}));
        QVERIFY(!second.start([](const VideoFrame&) {}, [](const QString&) {}));
        QVERIFY(second.lastErrorIsBusy());
        QVERIFY2(second.lastError().contains(QStringLiteral("in use by another program")),
                 qPrintable(second.lastError()));
        first.stop(); // frees its buffers: uvcvideo lets the stream go
        QVERIFY2(second.start([](const VideoFrame&) {}, [](const QString&) {}),
                 qPrintable(second.lastError()));
        second.stop();
    }

    // uvcvideo's stream privileges belong to the device, whichever process holds them
    // (uvc_acquire_privileges counts them in the stream): while v4l2-ctl streams in a
    // process of its own, our driver is refused with EBUSY; once that process has
    // ended, the system having closed its descriptors, ours streams, and a v4l2-ctl
    // started then is refused in turn.
    void theStreamIsHeldAcrossProcesses() {
        const V4l2Node node = emulatedNodes().at(0);
        QProcess other; // this process's environment: the emulator and its configuration
        other.setProcessChannelMode(QProcess::MergedChannels);
        other.start(QStringLiteral("v4l2-ctl"),
                    {QStringLiteral("-d"), node.path, QStringLiteral("--stream-mmap"),
                     QStringLiteral("--stream-count=1000000")});
        QByteArray output;
        // It prints a '<' for each buffer it dequeues.
        const QDeadlineTimer deadline(60000);
        while (!output.contains('<') && other.state() != QProcess::NotRunning && !deadline.hasExpired()) {
            other.waitForReadyRead(int(std::max<qint64>(1, deadline.remainingTime())));
            output += other.readAll();
        }
        QVERIFY2(output.contains('<'), output.constData());

        V4l2Driver driver(node);
        QVERIFY(driver.open()); // opening is allowed, as with uvcvideo
        QVERIFY(!driver.start([](const VideoFrame&) {}, [](const QString&) {}));
        QVERIFY(driver.lastErrorIsBusy());
        QVERIFY2(driver.lastError().contains(QStringLiteral("in use by another program")),
                 qPrintable(driver.lastError()));

        other.kill();
        QVERIFY(other.waitForFinished(60000));
        std::atomic<int> frames{0};
        QVERIFY2(driver.start([&](const VideoFrame&) { ++frames; }, [](const QString&) {}),
                 qPrintable(driver.lastError()));
        QTRY_VERIFY_WITH_TIMEOUT(frames >= 2, 20000);

        QProcess late;
        late.setProcessChannelMode(QProcess::MergedChannels);
        late.start(QStringLiteral("v4l2-ctl"),
                   {QStringLiteral("-d"), node.path, QStringLiteral("--stream-mmap"),
                    QStringLiteral("--stream-count=3")});
        QVERIFY(late.waitForFinished(60000));
        const QByteArray refused = late.readAll();
        QVERIFY2(refused.contains("Device or resource busy") && !refused.contains('<'), refused.constData());
        driver.stop();
    }

    // A program waiting on the node with epoll (v4l2-compliance's streaming test, an
    // event loop built on it) is woken as by a real node: with the node's poll answer
    // (vb2_poll) masked by the events it registered (ep_item_poll), EPOLLERR and
    // EPOLLHUP always among them (do_epoll_ctl); woken again for each buffer done
    // when edge-triggered (vb2_buffer_done wakes the queue's waiters); and after an
    // unplug with EPOLLERR | EPOLLHUP (| EPOLLPRI) as v4l2_poll answers for an
    // unregistered node, whose waiters video_unregister_device wakes.
    void epollWakesAsTheNodesPollDoes() {
        plug(camera("/dev/video42", "Kelvanor Desk", "usb-0000:00:14.0-1") +
             camera("/dev/video48", "Kelvanor Epoll", "usb-0000:00:14.0-8"));
        QCOMPARE(nodeAt(QStringLiteral("/dev/video48")).cardName, QStringLiteral("Kelvanor Epoll"));
        const int fd = ::open("/dev/video48", O_RDWR | O_NONBLOCK | O_CLOEXEC);
        QVERIFY(fd >= 0);
        const int other = ::open("/dev/video48", O_RDWR | O_CLOEXEC); // another program's handle
        QVERIFY(other >= 0);
        v4l2_event_subscription subscription{};
        subscription.type = V4L2_EVENT_CTRL;
        subscription.id = V4L2_CID_BRIGHTNESS;
        QCOMPARE(::ioctl(fd, VIDIOC_SUBSCRIBE_EVENT, &subscription), 0);
        v4l2_requestbuffers request{};
        request.count = 2;
        request.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        request.memory = V4L2_MEMORY_MMAP;
        QCOMPARE(::ioctl(fd, VIDIOC_REQBUFS, &request), 0);
        QCOMPARE(request.count, 2u);
        for (std::uint32_t i = 0; i < request.count; ++i) {
            v4l2_buffer buffer{};
            buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
            buffer.memory = V4L2_MEMORY_MMAP;
            buffer.index = i;
            QCOMPARE(::ioctl(fd, VIDIOC_QBUF, &buffer), 0);
        }

        // One epoll instance per way of registering; first with no events, then
        // changed (an old videobuf2 bug made that lose its wake-ups, which
        // v4l2-compliance checks so).
        struct Waiter {
            const char* name;
            std::uint32_t events;
            std::uint32_t notStreaming, event, gone; // what a wait answers at each stage
            int epfd = -1;
        };
        const std::uint32_t in = EPOLLIN | EPOLLRDNORM;
        const std::uint32_t gone = EPOLLERR | EPOLLHUP;
        Waiter waiters[] = {
            {"EPOLLIN", EPOLLIN, EPOLLERR, 0, gone},
            {"EPOLLIN | EPOLLRDNORM | EPOLLPRI", in | EPOLLPRI, EPOLLERR, EPOLLPRI, gone | EPOLLPRI},
            {"EPOLLPRI", EPOLLPRI, 0, EPOLLPRI, gone | EPOLLPRI},
            {"no events", 0, 0, 0, gone},
            {"EPOLLIN | EPOLLET", EPOLLIN | EPOLLET, EPOLLERR, 0, gone},
        };
        for (Waiter& w : waiters) {
            w.epfd = epoll_create1(EPOLL_CLOEXEC);
            QVERIFY(w.epfd >= 0);
            epoll_event e{};
            e.data.u64 = 0x4b56'0000'0000'0000ull + std::uint64_t(&w - waiters); // handed back as given
            QCOMPARE(epoll_ctl(w.epfd, EPOLL_CTL_ADD, fd, &e), 0);
            e.events = w.events;
            QCOMPARE(epoll_ctl(w.epfd, EPOLL_CTL_MOD, fd, &e), 0);
            QCOMPARE(epoll_ctl(w.epfd, EPOLL_CTL_ADD, fd, &e), -1); // once per descriptor
            QCOMPARE(errno, EEXIST);
        }
        // What a wait of `ms` answers (0: nothing came).
        auto wait = [&](const Waiter& w, int ms) -> std::uint32_t {
            epoll_event e{};
            const int n = epoll_wait(w.epfd, &e, 1, ms);
            if (n != 1) return 0;
            if (e.data.u64 != 0x4b56'0000'0000'0000ull + std::uint64_t(&w - waiters)) return 0xdeadu;
            return e.events;
        };

        // Buffers queued, not streaming: vb2_core_poll has nothing to wait for.
        for (const Waiter& w : waiters)
            QVERIFY2(wait(w, 0) == w.notStreaming, w.name);

        // Streaming: a wait for input sleeps until the camera fills a buffer.
        int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        QCOMPARE(::ioctl(fd, VIDIOC_STREAMON, &type), 0);
        // (EPOLLIN | EPOLLRDNORM, of which each hears what it asked for.)
        for (const Waiter& w : waiters)
            if (w.events & EPOLLIN) QVERIFY2(wait(w, 20000) == (w.events & in), w.name);
        // The edge-triggered waiter is told again when the second buffer is done,
        // though the first still waits to be dequeued.
        QCOMPARE(wait(waiters[4], 20000), std::uint32_t(EPOLLIN));
        QCOMPARE(wait(waiters[4], 0), 0u); // and not again without a new buffer
        QVERIFY(wait(waiters[2], 0) == 0 && wait(waiters[3], 0) == 0);

        // A control event for the subscriber (another handle changed the control).
        v4l2_control brightness{V4L2_CID_BRIGHTNESS, 20};
        QCOMPARE(::ioctl(other, VIDIOC_S_CTRL, &brightness), 0);
        for (const Waiter& w : waiters) // the buffers are ready for those that ask for input
            QVERIFY2((wait(w, w.event ? 20000 : 0) & EPOLLPRI) == w.event, w.name);
        v4l2_event event{};
        QCOMPARE(::ioctl(fd, VIDIOC_DQEVENT, &event), 0);
        QCOMPARE(event.id, std::uint32_t(V4L2_CID_BRIGHTNESS));
        QCOMPARE(wait(waiters[2], 0), 0u);

        // Unplugged: the buffers come back flagged, then the node is unregistered.
        plugOnlyTheDeskCamera();
        for (const Waiter& w : waiters) {
            std::uint32_t answer = 0;
            const QDeadlineTimer deadline(20000);
            while (!(answer & EPOLLHUP) && !deadline.hasExpired())
                answer = wait(w, int(std::max<qint64>(1, deadline.remainingTime())));
            QVERIFY2(answer == w.gone, w.name);
        }
        v4l2_buffer buffer{};
        buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        buffer.memory = V4L2_MEMORY_MMAP;
        QCOMPARE(::ioctl(fd, VIDIOC_DQBUF, &buffer), -1);
        QCOMPARE(errno, ENODEV);

        // Closing the node takes its registrations away.
        ::close(fd);
        ::close(other);
        for (const Waiter& w : waiters) {
            QCOMPARE(wait(w, 0), 0u);
            ::close(w.epfd);
        }
    }

    // vb2_queue_error while the camera stays: POLLERR alone, and the stream goes on
    // after a restart (here every fifth frame fails the queue).
    void aFailedQueueIsStartedAgain() {
        plug(camera("/dev/video42", "Kelvanor Desk", "usb-0000:00:14.0-1") +
             camera("/dev/video44", "Kelvanor Shaky", "usb-0000:00:14.0-4", "quirk = queue-error-after 5\n"));
        const V4l2Node shaky = nodeAt(QStringLiteral("/dev/video44"));
        QCOMPARE(shaky.cardName, QStringLiteral("Kelvanor Shaky"));
        V4l2Driver driver(shaky);
        QVERIFY(driver.open());
        QVERIFY(driver.setFormat({V4L2_PIX_FMT_YUYV, QSize(320, 240), {1, 30}}));
        std::atomic<int> frames{0};
        std::mutex mutex;
        QString error;
        QVERIFY(driver.start([&](const VideoFrame&) { ++frames; },
                             [&](const QString& reason) {
                                 std::lock_guard<std::mutex> lock(mutex);
                                 error = reason;
                             }));
        QTRY_VERIFY_WITH_TIMEOUT(frames >= 12, 20000);
        driver.stop();
        std::lock_guard<std::mutex> lock(mutex);
        QCOMPARE(error, QString());
        plugOnlyTheDeskCamera();
    }

    // Size ranges offer their limits and the common sizes on their steps (PAL and NTSC
    // among them); rate ranges their limits and the usual rates, for each size.
    void sizesAndRatesOfRanges() {
        plug(camera("/dev/video42", "Kelvanor Desk", "usb-0000:00:14.0-1") +
             "camera /dev/video46\ncard = Kelvanor Sensor\nbus = usb-0000:00:14.0-6\n"
             "format = YUYV stepwise 160x120-1920x1080/8x8@30\n"
             "format = NV12 continuous 160x120-640x480@5-30\n");
        const V4l2Node sensor = nodeAt(QStringLiteral("/dev/video46"));
        QCOMPARE(sensor.cardName, QStringLiteral("Kelvanor Sensor"));
        V4l2Driver driver(sensor);
        QVERIFY2(driver.open(), qPrintable(driver.lastError()));
        std::map<std::uint32_t, std::vector<QSize>> sizes;
        std::map<std::uint32_t, std::vector<FrameInterval>> rates;
        for (const FormatOption& option : driver.formats()) {
            sizes[option.fourcc].push_back(option.size);
            rates[option.fourcc] = option.intervals;
        }
        QCOMPARE(sizes[V4L2_PIX_FMT_YUYV], (std::vector<QSize>{{160, 120},
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
                                                               {1920, 1080}}));
        QCOMPARE(rates[V4L2_PIX_FMT_YUYV], (std::vector<FrameInterval>{{1, 30}}));
        QCOMPARE(
            sizes[V4L2_PIX_FMT_NV12],
            (std::vector<QSize>{{160, 120}, {176, 144}, {320, 240}, {352, 288}, {640, 360}, {640, 480}}));
        QCOMPARE(rates[V4L2_PIX_FMT_NV12],
                 (std::vector<FrameInterval>{{1, 30}, {1, 25}, {1, 24}, {1, 20}, {1, 15}, {1, 10}, {1, 5}}));
        // PAL's size streams as it is.
        QVERIFY(driver.setFormat({V4L2_PIX_FMT_YUYV, QSize(720, 576), {1, 30}}));
        std::atomic<int> frames{0};
        std::mutex mutex;
        QSize size;
        QVERIFY(driver.start(
            [&](const VideoFrame& f) {
                std::lock_guard<std::mutex> lock(mutex);
                size = f.size();
                ++frames;
            },
            [](const QString&) {}));
        QTRY_VERIFY_WITH_TIMEOUT(frames >= 2, 20000);
        driver.stop();
        QCOMPARE(size, QSize(720, 576));
        plugOnlyTheDeskCamera();
    }

    // The camera's own YU12 streams as it is, through plain system calls (libv4l2,
    // asked for YU12, may convert the camera's MJPEG instead); its H.264 is not offered.
    void theCamerasOwnFormatThroughPlainCalls() {
        plug(camera("/dev/video42", "Kelvanor Desk", "usb-0000:00:14.0-1") +
             "camera /dev/video47\ncard = Kelvanor Planar\nbus = usb-0000:00:14.0-7\n"
             "format = MJPG 1920x1080@30\nformat = YU12 1920x1080@30\nformat = H264 1920x1080@30\n");
        const V4l2Node planar = nodeAt(QStringLiteral("/dev/video47"));
        QCOMPARE(planar.cardName, QStringLiteral("Kelvanor Planar"));
        V4l2Driver driver(planar, makeLibV4l2Device, makePlainV4l2Device);
        QVERIFY2(driver.open(), qPrintable(driver.lastError()));
        std::vector<std::uint32_t> offered;
        for (const FormatOption& option : driver.formats())
            offered.push_back(option.fourcc);
        QCOMPARE(offered, (std::vector<std::uint32_t>{V4L2_PIX_FMT_MJPEG, V4L2_PIX_FMT_YUV420}));
        QCOMPARE(driver.formatNotes().size(), 1);
        QVERIFY(driver.formatNotes().front().startsWith(QStringLiteral("H.264")));
        QVERIFY(driver.setFormat({V4L2_PIX_FMT_YUV420, QSize(1920, 1080), {1, 30}}));
        std::atomic<int> frames{0};
        QVERIFY2(driver.start([&](const VideoFrame& f) { frames += f.mjpeg().isEmpty() && f.isValid(); },
                              [](const QString&) {}),
                 qPrintable(driver.lastError()));
        QTRY_VERIFY_WITH_TIMEOUT(frames >= 2, 20000);
        // What the camera streams, as another program sees it.
        auto look = makePlainV4l2Device();
        QCOMPARE(look->open(QFile::encodeName(planar.path)), 0);
        v4l2_format format{};
        format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        QCOMPARE(look->ioctl(VIDIOC_G_FMT, &format), 0);
        driver.stop();
        QCOMPARE(format.fmt.pix.pixelformat, std::uint32_t(V4L2_PIX_FMT_YUV420));
        QCOMPARE(format.fmt.pix.width, 1920u);
        plugOnlyTheDeskCamera();
    }

    // A USB reset: the node goes and is made again under the same name and number.
    // The list sees another node file, the old driver's stream ends, and the camera
    // streams again through a new driver.
    void aUsbResetIsANewNode() {
        plug(camera("/dev/video42", "Kelvanor Desk", "usb-0000:00:14.0-1") +
             camera("/dev/video45", "Kelvanor Reset", "usb-0000:00:14.0-5", "quirk = usb-reset-after 4\n"));
        const V4l2Node before = nodeAt(QStringLiteral("/dev/video45"));
        QCOMPARE(before.cardName, QStringLiteral("Kelvanor Reset"));
        QVERIFY(!before.nodeId.isEmpty());
        DeviceWatcher watcher;
        DriverList::refresh();
        QSignalSpy changed(&watcher, &DeviceWatcher::devicesChanged);
        V4l2Driver driver(before);
        QVERIFY(driver.open());
        std::mutex mutex;
        QString error;
        QVERIFY(driver.start([](const VideoFrame&) {},
                             [&](const QString& reason) {
                                 std::lock_guard<std::mutex> lock(mutex);
                                 error = reason;
                             }));
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                std::lock_guard<std::mutex> lock(mutex);
                return !error.isEmpty();
            }(),
            20000);
        QVERIFY(error.contains(QStringLiteral("unplugged")));
        driver.stop();
        QTRY_VERIFY_WITH_TIMEOUT(changed.count() >= 1, 20000);
        V4l2Node after;
        QTRY_VERIFY_WITH_TIMEOUT((after = nodeAt(before.path)).nodeId != before.nodeId, 20000);
        // The watcher had the list read again with the new node.
        auto listed = [&] {
            const auto entries = DriverList::entries();
            return std::any_of(entries.begin(), entries.end(),
                               [&](const DriverList::Entry& e) { return e.nodeId == after.nodeId; });
        };
        QTRY_VERIFY_WITH_TIMEOUT(listed(), 20000);
        V4l2Driver again(after);
        QVERIFY(again.open());
        std::atomic<int> frames{0};
        QVERIFY(again.start([&](const VideoFrame&) { ++frames; }, [](const QString&) {}));
        QTRY_VERIFY_WITH_TIMEOUT(frames >= 6, 20000); // the camera back has no reset quirk
        again.stop();
        plugOnlyTheDeskCamera();
    }

    void unplugAndReturn() {
        DeviceWatcher watcher;
        QVERIFY(watcher.isWatching());
        QSignalSpy changed(&watcher, &DeviceWatcher::devicesChanged);
        DriverList::refresh();
        V4l2Driver driver(emulatedNodes().at(0));
        QVERIFY(driver.open());
        std::atomic<int> frames{0};
        QString error;
        std::mutex mutex;
        QVERIFY(driver.start([&](const VideoFrame&) { ++frames; },
                             [&](const QString& reason) {
                                 std::lock_guard<std::mutex> lock(mutex);
                                 error = reason;
                             }));
        QTRY_VERIFY_WITH_TIMEOUT(frames >= 3, 20000);

        plug(QByteArray()); // pulled out
        auto reason = [&] {
            std::lock_guard<std::mutex> lock(mutex);
            return error;
        };
        QTRY_VERIFY_WITH_TIMEOUT(!reason().isEmpty(), 20000);
        QCOMPARE(reason(), QStringLiteral("The camera Kelvanor Desk was unplugged (/dev/video42)."));
        // inotify tells the watcher; the list no longer has the camera.
        QTRY_VERIFY_WITH_TIMEOUT(changed.count() >= 1, 20000);
        QVERIFY(emulatedNodes().empty());
        driver.stop();

        // Back, at another node: the same camera by its identity.
        changed.clear();
        plug(camera("/dev/video43", "Kelvanor Desk", "usb-0000:00:14.0-1"));
        QTRY_VERIFY_WITH_TIMEOUT(changed.count() >= 1, 20000);
        const auto nodes = emulatedNodes();
        QCOMPARE(nodes.size(), std::size_t(1));
        QCOMPARE(nodes[0].path, QStringLiteral("/dev/video43"));
        QCOMPARE(nodes[0].byId, QStringLiteral("usb-Kelvanor_Kelv-video-index0"));
        V4l2Driver again(nodes[0]);
        QVERIFY(again.open());
        frames = 0;
        QVERIFY(again.start([&](const VideoFrame&) { ++frames; }, [](const QString&) {}));
        QTRY_VERIFY_WITH_TIMEOUT(frames >= 3, 20000);
        again.stop();
        plug(camera("/dev/video42", "Kelvanor Desk", "usb-0000:00:14.0-1"));
    }
};

QTEST_MAIN(TestDriverThroughEmulator)
#include "tst_driverthroughemulator.moc"
