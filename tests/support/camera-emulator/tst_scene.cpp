#include "EmulatorConfig.h"
#include "FrameSource.h"

#include <QTemporaryDir>
#include <QTest>
#include <linux/videodev2.h>
#include <turbojpeg.h>

// A movie on the wall clock as a scene in front of the emulated camera: a frame is
// the light of its exposure, the movie's pictures weighed by how long each showed.
class TestScene : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_movie;

    // Mean brightness of a JPEG, 0 (black) to 1 (white).
    static double brightness(const std::vector<std::uint8_t>& jpeg) {
        tjhandle decoder = tjInitDecompress();
        int width = 0, height = 0, subsampling = 0, colours = 0;
        std::vector<unsigned char> grey;
        if (tjDecompressHeader3(decoder, jpeg.data(), jpeg.size(), &width, &height, &subsampling, &colours) ==
            0) {
            grey.resize(std::size_t(width) * std::size_t(height));
            if (tjDecompress2(decoder, jpeg.data(), jpeg.size(), grey.data(), width, 0, height, TJPF_GRAY,
                              0) != 0)
                grey.clear();
        }
        tjDestroy(decoder);
        if (grey.empty()) return -1;
        double sum = 0;
        for (unsigned char v : grey)
            sum += v;
        return sum / double(grey.size()) / 255.0;
    }

private slots:
    // Five pictures at 10 a second: black, white, white, black, black (a Y4M file, as
    // FFmpeg reads it).
    void initTestCase() {
        m_movie = m_dir.filePath(QStringLiteral("scene.y4m"));
        QFile file(m_movie);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("YUV4MPEG2 W32 H16 F10:1 Ip A1:1 C420jpeg\n");
        for (bool white : {false, true, true, false, false}) {
            file.write("FRAME\n");
            file.write(QByteArray(32 * 16, char(white ? 235 : 16)));
            file.write(QByteArray(2 * 16 * 8, char(128)));
        }
    }

    void exposureWeighsThePictures_data() {
        QTest::addColumn<double>("fromS");
        QTest::addColumn<double>("toS");
        QTest::addColumn<double>("lit");
        QTest::newRow("before the movie: its first picture") << -1.0 << -0.9 << 0.0;
        QTest::newRow("one black picture") << 0.0 << 0.1 << 0.0;
        QTest::newRow("one white picture") << 0.1 << 0.2 << 1.0;
        QTest::newRow("two white pictures") << 0.12 << 0.28 << 1.0;
        QTest::newRow("lit the second half") << 0.05 << 0.15 << 0.5;
        QTest::newRow("lit the first quarter") << 0.275 << 0.375 << 0.25;
        QTest::newRow("after the end: its last picture") << 2.0 << 2.1 << 0.0;
    }
    void exposureWeighsThePictures() {
        QFETCH(double, fromS);
        QFETCH(double, toS);
        QFETCH(double, lit);
        camemu::CameraConfig camera;
        camera.movie = m_movie.toStdString();
        camera.movieStartNs = 1;
        camemu::FrameSource source(camera, V4L2_PIX_FMT_MJPEG, 32, 16);
        const double shown = brightness(source.sceneFrame(fromS, toS));
        QVERIFY2(qAbs(shown - lit) < 0.03, qPrintable(QStringLiteral("brightness %1").arg(shown)));
    }

    // The frames of a stream go forward in time: pictures already shown are let go,
    // and a picture that shows again is the same frame.
    void framesFollowTheMovie() {
        camemu::CameraConfig camera;
        camera.movie = m_movie.toStdString();
        camera.movieStartNs = 1;
        camemu::FrameSource source(camera, V4L2_PIX_FMT_MJPEG, 32, 16);
        const double expected[] = {0, 0, 0.5, 1, 1, 1, 0.5, 0};
        for (int i = 0; i < 8; ++i) {
            const double shown = brightness(source.sceneFrame(0.05 * i - 0.05, 0.05 * i + 0.05));
            QVERIFY2(qAbs(shown - expected[i]) < 0.03,
                     qPrintable(QStringLiteral("frame %1: brightness %2").arg(i).arg(shown)));
        }
    }

    void movieStartIsReadToTheNanosecond_data() {
        QTest::addColumn<QString>("value");
        QTest::addColumn<qint64>("ns");
        QTest::newRow("seconds") << QStringLiteral("1765450000") << qint64(1765450000000000000);
        QTest::newRow("decimals") << QStringLiteral("1765450000.25") << qint64(1765450000250000000);
        QTest::newRow("nanoseconds") << QStringLiteral("1765450000.000000001") << qint64(1765450000000000001);
        QTest::newRow("too fine") << QStringLiteral("1765450000.0000000001") << qint64(0);
        QTest::newRow("a sign") << QStringLiteral("-5.0") << qint64(0);
        QTest::newRow("two points") << QStringLiteral("1.2.3") << qint64(0);
        QTest::newRow("a word") << QStringLiteral("now") << qint64(0);
    }
    void movieStartIsReadToTheNanosecond() {
        QFETCH(QString, value);
        QFETCH(qint64, ns);
        const std::vector<camemu::CameraConfig> cameras = camemu::parseConfig(
            "camera /dev/video42\nformat = MJPG 640x480@30\nmovie-start = " + value.toStdString() + "\n");
        QCOMPARE(cameras.size(), std::size_t(1));
        QCOMPARE(qint64(cameras.front().movieStartNs), ns);
    }
};

QTEST_MAIN(TestScene)
#include "tst_scene.moc"
