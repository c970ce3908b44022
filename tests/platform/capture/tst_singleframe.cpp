#include "AviProbe.h"
#include "recorder/SingleFrameWriter.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

// A movie built one frame at a time.
class TestSingleFrame : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    static VideoFrame frame(uint64_t n, QSize size = {320, 240}) {
        VideoFrame f(TestPattern::render(size, TestPattern::ColourBars, 50, n, QTime(9, 30)));
        f.sequence = n;
        return f;
    }

private slots:
    void tenFramesAtTheRequestedRate_data() {
        QTest::addColumn<QString>("encoder");
        QTest::addColumn<int64_t>("usPerFrame");
        QTest::addColumn<int>("rate");
        QTest::newRow("mjpeg 1 fps") << "mjpeg" << int64_t(1000000) << 1;
        QTest::newRow("mjpeg 5 fps") << "mjpeg" << int64_t(200000) << 5;
        QTest::newRow("mpeg4 15 fps") << "mpeg4" << int64_t(66667) << 15;
    }
    void tenFramesAtTheRequestedRate() {
        QFETCH(QString, encoder);
        QFETCH(int64_t, usPerFrame);
        QFETCH(int, rate);
        const QString file = m_dir.filePath(QStringLiteral("single.avi"));
        SingleFrameWriter writer;
        RecorderSettings s;
        s.filePath = file;
        s.usPerFrame = usPerFrame;
        s.encoder = encoder;
        QVERIFY(writer.open(s, {320, 240}));
        QVERIFY(QFile::exists(file));
        for (int i = 0; i < 10; ++i)
            QVERIFY(writer.append(frame(uint64_t(i * 7))));
        QCOMPARE(writer.frames(), 10);
        QVERIFY(writer.close());
        const AviProbe probe = AviProbe::read(file);
        QCOMPARE(probe.frameRate.num, rate);
        QCOMPARE(probe.frameRate.den, 1);
        QCOMPARE(probe.headerFrames, 10);
        QCOMPARE(probe.decodedFrames(), 10);
        for (int i = 0; i < 10; ++i)
            QCOMPARE(probe.strip[i], i * 7);
    }

    // A frame of another size (the format changed between shots) is scaled in.
    void frameOfAnotherSizeIsScaled() {
        const QString file = m_dir.filePath(QStringLiteral("scaled.avi"));
        SingleFrameWriter writer;
        RecorderSettings s;
        s.filePath = file;
        QVERIFY(writer.open(s, {320, 240}));
        QVERIFY(writer.append(frame(1)));
        QVERIFY(writer.append(frame(2, {640, 480})));
        QVERIFY(writer.close());
        const AviProbe probe = AviProbe::read(file);
        QCOMPARE(probe.width, 320);
        QCOMPARE(probe.strip, (QVector<int>{1, 2}));
    }

    // Frames appended before a crash are on disk without close().
    void framesAreOnDiskBeforeClose() {
        const QString file = m_dir.filePath(QStringLiteral("unclosed.avi"));
        const QString copy = m_dir.filePath(QStringLiteral("unclosed-copy.avi"));
        SingleFrameWriter writer;
        RecorderSettings s;
        s.filePath = file;
        QVERIFY(writer.open(s, {320, 240}));
        for (int i = 0; i < 4; ++i)
            QVERIFY(writer.append(frame(uint64_t(i))));
        QVERIFY(QFile::copy(file, copy));
        QCOMPARE(AviProbe::read(copy).strip, (QVector<int>{0, 1, 2, 3}));
        QVERIFY(writer.close());
    }

    void failures() {
        SingleFrameWriter writer;
        RecorderSettings s;
        s.filePath = QStringLiteral("/proc/kelvanor-no-such-dir/single.avi");
        QVERIFY(!writer.open(s, {320, 240}));
        QVERIFY(writer.errorText().contains(QStringLiteral("Cannot open")));
        QVERIFY(!writer.isOpen());
        QVERIFY(!writer.append(frame(0)));
        QVERIFY(!writer.close());

        s.filePath = m_dir.filePath(QStringLiteral("nocodec.avi"));
        s.encoder = QStringLiteral("no-such-encoder");
        QVERIFY(!writer.open(s, {320, 240}));
        QVERIFY(writer.errorText().contains(QStringLiteral("no-such-encoder")));
        QVERIFY(!QFile::exists(s.filePath));
    }
};

QTEST_MAIN(TestSingleFrame)
#include "tst_singleframe.moc"
