// The emulated camera judged by programs people use on real cameras: v4l2-ctl,
// v4l2-compliance, ffmpeg and fswebcam run against it as they would against a
// uvcvideo camera, each as a process of its own with the emulator preloaded.

#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const char kCamera[] = R"(camera /dev/video42
card = Kelvanor Test Camera
driver = uvcvideo
bus = usb-0000:00:14.0-1
by-id = usb-Kelvanor_Test_Camera-video-index0
format = MJPG 1280x720@30,15 640x480@30,15
format = YUYV 640x480@30,15 320x240@30
format = NV12 640x480@30
format = YU12 continuous 160x120-640x480@5-30
format = RGB3 stepwise 160x120-640x480/16x8@30
format = H264 1280x720@30
control = brightness -64 64 1 0
control = contrast 0 95 1 32
control = white_balance_automatic 0 1 1 1
control = white_balance_temperature 2800 6500 10 4600
control = auto_exposure 0 3 1 3 1,3
control = exposure_time_absolute 1 5000 1 156
control = power_line_frequency 0 2 1 1
control = pan_reset
)";

struct Result {
    int exitCode = -1;
    QString output; // standard output and error together
};

} // namespace

class TestOutsidePrograms : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    QString writeConfig(const QByteArray& extra = {}) {
        const QString path = m_dir.filePath(QStringLiteral("cameras.conf"));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly)) return {};
        file.write(QByteArray(kCamera) + extra);
        return path;
    }

    Result run(const QString& program, const QStringList& args, const QByteArray& extra = {}) {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(KV_CAMERA_EMULATOR));
        env.insert(QStringLiteral("KV_CAMERA_EMULATOR_CONFIG"), writeConfig(extra));
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(m_dir.path());
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(program, args);
        Result result;
        if (!process.waitForFinished(120000)) {
            process.kill();
            process.waitForFinished();
            result.output = QStringLiteral("timed out: ") + QString::fromLocal8Bit(process.readAll());
            return result;
        }
        result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        result.output = QString::fromLocal8Bit(process.readAll());
        return result;
    }

    // The frames and picture size ffprobe finds in a movie (run without the emulator).
    static QStringList probe(const QString& movie) {
        QProcess process;
        process.start(QStringLiteral("ffprobe"),
                      {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-count_frames"),
                       QStringLiteral("-show_entries"),
                       QStringLiteral("stream=codec_name,width,height,nb_read_frames"), QStringLiteral("-of"),
                       QStringLiteral("csv=p=0"), movie});
        process.waitForFinished(60000);
        return QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed().split(QLatin1Char(','));
    }

private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        for (const char* tool : {"v4l2-ctl", "v4l2-compliance", "ffmpeg", "ffprobe", "fswebcam"})
            QVERIFY2(!QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty(),
                     qPrintable(QStringLiteral("%1 is missing (scripts/deps.sh test)").arg(tool)));
    }

    void listDevicesFindsTheCameraByItsBus() {
        const Result r = run(QStringLiteral("v4l2-ctl"), {QStringLiteral("--list-devices")});
        // It goes on to open its default node, /dev/video0, which is not there: its
        // exit code says so, not the list.
        QVERIFY2(
            r.output.contains(QStringLiteral("Kelvanor Test Camera (usb-0000:00:14.0-1):\n\t/dev/video42")),
            qPrintable(r.output));
    }

    void listFormatsShowsWhatTheFileDescribes() {
        const Result r =
            run(QStringLiteral("v4l2-ctl"),
                {QStringLiteral("-d"), QStringLiteral("/dev/v4l/by-id/usb-Kelvanor_Test_Camera-video-index0"),
                 QStringLiteral("--list-formats-ext")});
        QCOMPARE(r.exitCode, 0);
        // Each format in the file's order, its sizes and their intervals.
        static const QRegularExpression expected(QStringLiteral(
            "\\[0\\]: 'MJPG' \\(Motion-JPEG, compressed\\)\\s+Size: Discrete 1280x720\\s+"
            "Interval: Discrete 0.033s \\(30.000 fps\\)\\s+Interval: Discrete 0.067s \\(15.000 fps\\)\\s+"
            "Size: Discrete 640x480[^\\[]*"
            "\\[1\\]: 'YUYV' \\(YUYV 4:2:2\\)\\s+Size: Discrete 640x480[^\\[]*Size: Discrete 320x240[^\\[]*"
            "\\[2\\]: 'NV12' \\(Y/CbCr 4:2:0\\)[^\\[]*"
            "\\[3\\]: 'YU12' \\(Planar YUV 4:2:0\\)\\s+Size: Continuous 160x120 - 640x480[^\\[]*"
            "\\[4\\]: 'RGB3' \\(24-bit RGB 8-8-8\\)\\s+Size: Stepwise 160x120 - 640x480 with step 16/8[^\\[]*"
            "\\[5\\]: 'H264' \\(H.264, compressed\\)\\s+Size: Discrete 1280x720"));
        QVERIFY2(expected.match(r.output).hasMatch(), qPrintable(r.output));
    }

    void automaticControlMakesItsManualOneInactive_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("expected");
        QTest::newRow("aperture priority: exposure inactive")
            << QStringList{QStringLiteral("--list-ctrls")} << 0
            << QStringLiteral(
                   "exposure_time_absolute 0x009a0902 (int)    : min=1 max=5000 step=1 default=156 "
                   "value=156 flags=inactive");
        QTest::newRow("manual mode: exposure active")
            << QStringList{QStringLiteral("-c"), QStringLiteral("auto_exposure=1"),
                           QStringLiteral("--list-ctrls")}
            << 0
            << QStringLiteral(
                   "exposure_time_absolute 0x009a0902 (int)    : min=1 max=5000 step=1 default=156 "
                   "value=156\n");
        QTest::newRow("writing the inactive control: refused")
            << QStringList{QStringLiteral("-c"), QStringLiteral("exposure_time_absolute=100")} << 255
            << QStringLiteral("Permission denied");
        QTest::newRow("a value between steps: rounded to the nearest")
            << QStringList{QStringLiteral("-c"),
                           QStringLiteral("white_balance_automatic=0,white_balance_temperature=2814"),
                           QStringLiteral("--list-ctrls")}
            << 0 << QStringLiteral("default=4600 value=2810\n");
        QTest::newRow("a menu item the camera lacks: refused")
            << QStringList{QStringLiteral("-c"), QStringLiteral("auto_exposure=0")} << 255
            << QStringLiteral("Invalid argument");
    }
    void automaticControlMakesItsManualOneInactive() {
        QFETCH(QStringList, args);
        QFETCH(int, exitCode);
        QFETCH(QString, expected);
        const Result r = run(QStringLiteral("v4l2-ctl"),
                             QStringList{QStringLiteral("-d"), QStringLiteral("/dev/video42")} + args);
        QCOMPARE(r.exitCode, exitCode);
        QVERIFY2(r.output.contains(expected), qPrintable(r.output));
    }

    void ffmpegRecordsTheCamerasJpegs_data() {
        QTest::addColumn<QByteArray>("quirks");
        QTest::newRow("with Huffman tables") << QByteArray();
        QTest::newRow("without Huffman tables, padded")
            << QByteArray("quirk = mjpeg-no-dht\nquirk = mjpeg-padding 300\n");
    }
    void ffmpegRecordsTheCamerasJpegs() {
        QFETCH(QByteArray, quirks);
        const QString movie = m_dir.filePath(QStringLiteral("copy.avi"));
        QFile::remove(movie);
        const Result r =
            run(QStringLiteral("ffmpeg"),
                {QStringLiteral("-hide_banner"), QStringLiteral("-f"), QStringLiteral("v4l2"),
                 QStringLiteral("-input_format"), QStringLiteral("mjpeg"), QStringLiteral("-video_size"),
                 QStringLiteral("1280x720"), QStringLiteral("-i"), QStringLiteral("/dev/video42"),
                 QStringLiteral("-frames:v"), QStringLiteral("45"), QStringLiteral("-c"),
                 QStringLiteral("copy"), QStringLiteral("-y"), movie},
                quirks);
        QVERIFY2(r.exitCode == 0, qPrintable(r.output));
        // Every frame decodes (ffmpeg's decoder supplies the standard tables).
        QCOMPARE(probe(movie), (QStringList{QStringLiteral("mjpeg"), QStringLiteral("1280"),
                                            QStringLiteral("720"), QStringLiteral("45")}));
    }

    void fswebcamTakesAPicture() {
        const QString shot = m_dir.filePath(QStringLiteral("shot.jpg"));
        const Result r = run(QStringLiteral("fswebcam"),
                             {QStringLiteral("-d"), QStringLiteral("/dev/video42"), QStringLiteral("-r"),
                              QStringLiteral("640x480"), QStringLiteral("--no-banner"), shot});
        QVERIFY2(r.exitCode == 0, qPrintable(r.output));
        const QImage picture(shot);
        QCOMPARE(picture.size(), QSize(640, 480));
        // The colour bars: white-ish at the left, blue at the right.
        const QColor right = picture.pixelColor(620, 200);
        QVERIFY2(right.blue() > 150 && right.red() < 60 && right.green() < 60, qPrintable(right.name()));
    }

    void v4l2ComplianceFindsOnlyWhatItsVersionCannotKnow() {
        const Result r =
            run(QStringLiteral("v4l2-compliance"), {QStringLiteral("-d"), QStringLiteral("/dev/video42")});
        // uvcvideo refuses writes to a control its automatic master holds (EACCES,
        // uvc_ctrl_is_accessible); v4l2-compliance learnt to expect that after
        // v4l-utils 1.22, so this version fails its two control tests over it.
        static const QRegularExpression failure(QStringLiteral("fail: .*"));
        QStringList failures;
        for (auto it = failure.globalMatch(r.output); it.hasNext();)
            failures << it.next().captured(0);
        QCOMPARE(
            failures,
            (QStringList{
                QStringLiteral("fail: v4l2-test-controls.cpp(489): s_ctrl returned an error (13)"),
                QStringLiteral("fail: v4l2-test-controls.cpp(736): s_ext_ctrls returned an error (13)")}));
        QVERIFY2(r.output.contains(QStringLiteral("Succeeded: 43, Failed: 2")), qPrintable(r.output));
    }

    void v4l2ComplianceStreamsAsUvcvideoDoes() {
        // Its streaming tests (-s) stop where they stop on a real uvcvideo camera: freeing
        // the buffers (REQBUFS with a count of 0) gives up the handle's streaming
        // privileges (uvc_ioctl_reqbufs calls uvc_dismiss_privileges), so the STREAMON
        // that follows answers EBUSY where videobuf2 on its own answers EINVAL for a
        // queue without buffers. The blocking wait and the buffer ioctls pass.
        const Result r = run(QStringLiteral("v4l2-compliance"),
                             {QStringLiteral("-d"), QStringLiteral("/dev/video42"), QStringLiteral("-s")});
        static const QRegularExpression failure(QStringLiteral("fail: v4l2-test-buffers.*"));
        QStringList failures;
        for (auto it = failure.globalMatch(r.output); it.hasNext();)
            failures << it.next().captured(0);
        const QString stopsAtStreamOn =
            QStringLiteral("fail: v4l2-test-buffers.cpp(1345): node->streamon(q.g_type()) != EINVAL");
        QVERIFY2(failures == QStringList(3, stopsAtStreamOn), qPrintable(failures.join(QLatin1Char('\n'))));
        for (const char* line :
             {"test blocking wait: OK", "test VIDIOC_REQBUFS/CREATE_BUFS/QUERYBUF: OK",
              "test MMAP (no poll): FAIL", "test MMAP (select): FAIL", "test MMAP (epoll): FAIL"})
            QVERIFY2(r.output.contains(QLatin1String(line)), qPrintable(r.output));
    }

    void v4l2ComplianceWithoutAutomaticControlsPasses() {
        // The same camera without its automatic/manual pairs: nothing to refuse.
        QFile file(writeConfig());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QByteArray config = file.readAll();
        config.replace("control = white_balance_temperature 2800 6500 10 4600\n", "");
        config.replace("control = exposure_time_absolute 1 5000 1 156\n", "");
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        const QString path = m_dir.filePath(QStringLiteral("plain.conf"));
        QFile plain(path);
        QVERIFY(plain.open(QIODevice::WriteOnly));
        plain.write(config);
        plain.close();
        env.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(KV_CAMERA_EMULATOR));
        env.insert(QStringLiteral("KV_CAMERA_EMULATOR_CONFIG"), path);
        process.setProcessEnvironment(env);
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(QStringLiteral("v4l2-compliance"),
                      {QStringLiteral("-d"), QStringLiteral("/dev/video42")});
        QVERIFY(process.waitForFinished(120000));
        const QString output = QString::fromLocal8Bit(process.readAll());
        QVERIFY2(process.exitCode() == 0 && output.contains(QStringLiteral("Failed: 0")), qPrintable(output));
    }
};

QTEST_MAIN(TestOutsidePrograms)
#include "tst_outsideprograms.moc"
