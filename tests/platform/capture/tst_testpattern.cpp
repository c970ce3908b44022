#include "drivers/TestPattern.h"

#include <QBuffer>
#include <QPainter>
#include <QtTest>

class TestTestPattern : public QObject {
    Q_OBJECT
private slots:
    void renderIsAPureFunction();
    void renderFollowsItsArguments();
    void stripRoundTrip_data();
    void stripRoundTrip();
    void stripSurvivesJpegAndScaling_data();
    void stripSurvivesJpegAndScaling();
    void noStripGivesMinusOne_data();
    void noStripGivesMinusOne();
};

namespace {

const QTime kTime(12, 34, 56, 789);

QImage throughJpeg(const QImage& image, int quality) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", quality);
    return QImage::fromData(bytes, "JPEG");
}

} // namespace

void TestTestPattern::renderIsAPureFunction() {
    const QImage a = TestPattern::render({320, 240}, TestPattern::ColourBars, 50, 42, kTime);
    const QImage b = TestPattern::render({320, 240}, TestPattern::ColourBars, 50, 42, kTime);
    // A different size in between must not disturb the cached background.
    TestPattern::render({640, 480}, TestPattern::GreyRamp, 80, 42, kTime);
    const QImage c = TestPattern::render({320, 240}, TestPattern::ColourBars, 50, 42, kTime);
    QCOMPARE(a.size(), QSize(320, 240));
    QCOMPARE(a.format(), QImage::Format_RGB32);
    QCOMPARE(a, b);
    QCOMPARE(a, c);
}

void TestTestPattern::renderFollowsItsArguments() {
    const QImage base = TestPattern::render({320, 240}, TestPattern::ColourBars, 50, 7, kTime);
    QVERIFY(base != TestPattern::render({320, 240}, TestPattern::ColourBars, 50, 8, kTime));
    QVERIFY(base != TestPattern::render({320, 240}, TestPattern::GreyRamp, 50, 7, kTime));
    QVERIFY(base != TestPattern::render({320, 240}, TestPattern::ColourBars, 90, 7, kTime));
    QVERIFY(base != TestPattern::render({320, 240}, TestPattern::ColourBars, 50, 7, kTime.addSecs(1)));
    // Brightness scales the background: a pixel of the first bar, away from text and bar.
    const QPoint probe(20, 200);
    const int dark = qGray(TestPattern::render({320, 240}, 0, 20, 0, kTime).pixel(probe));
    const int bright = qGray(TestPattern::render({320, 240}, 0, 80, 0, kTime).pixel(probe));
    QVERIFY2(dark < bright, qPrintable(QStringLiteral("%1 vs %2").arg(dark).arg(bright)));
}

void TestTestPattern::stripRoundTrip_data() {
    QTest::addColumn<QSize>("size");
    QTest::addColumn<qulonglong>("frame");
    QTest::addColumn<int>("expected");
    for (QSize size : {QSize(160, 120), QSize(640, 480), QSize(1920, 1080)}) {
        const QByteArray name = QByteArray::number(size.width()) + "x" + QByteArray::number(size.height());
        QTest::newRow(name + " 0") << size << 0ULL << 0;
        QTest::newRow(name + " 12345") << size << 12345ULL << 12345;
        QTest::newRow(name + " 24-bit max") << size << 0xFFFFFFULL << 0xFFFFFF;
        QTest::newRow(name + " wraps at 2^24") << size << 0x1000005ULL << 5;
    }
}

void TestTestPattern::stripRoundTrip() {
    QFETCH(QSize, size);
    QFETCH(qulonglong, frame);
    QFETCH(int, expected);
    for (int pattern = 0; pattern < TestPattern::PatternCount; ++pattern)
        QCOMPARE(decodeFrameNumberStrip(TestPattern::render(size, pattern, 50, frame, kTime)), expected);
}

void TestTestPattern::stripSurvivesJpegAndScaling_data() {
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QSize>("scaledTo");
    QTest::addColumn<int>("quality");
    QTest::newRow("160x120 jpeg 75") << QSize(160, 120) << QSize(160, 120) << 75;
    QTest::newRow("640x480 jpeg 50") << QSize(640, 480) << QSize(640, 480) << 50;
    QTest::newRow("640x480 half, jpeg 75") << QSize(640, 480) << QSize(320, 240) << 75;
    QTest::newRow("320x240 stretched, jpeg 75") << QSize(320, 240) << QSize(1024, 600) << 75;
    QTest::newRow("1280x720 to 176x144, jpeg 75") << QSize(1280, 720) << QSize(176, 144) << 75;
}

void TestTestPattern::stripSurvivesJpegAndScaling() {
    QFETCH(QSize, size);
    QFETCH(QSize, scaledTo);
    QFETCH(int, quality);
    for (qulonglong frame : {0ULL, 1ULL, 777ULL, 0xABCDEFULL}) {
        QImage image = TestPattern::render(size, TestPattern::Checkerboard, 100, frame, kTime);
        image = image.scaled(scaledTo, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        QCOMPARE(decodeFrameNumberStrip(throughJpeg(image, quality)), int(frame));
    }
}

void TestTestPattern::noStripGivesMinusOne_data() {
    QTest::addColumn<QImage>("image");
    QImage grey(320, 240, QImage::Format_RGB32);
    grey.fill(Qt::gray);
    QImage white(320, 240, QImage::Format_RGB32);
    white.fill(Qt::white);
    QImage flipped = TestPattern::render({320, 240}, 0, 50, 99, kTime).mirrored(true, false);
    QImage damaged = TestPattern::render({320, 240}, 0, 50, 99, kTime);
    {
        // Flip one data cell: the check nibble no longer fits.
        QPainter painter(&damaged);
        const int cell = 10; // a data cell
        painter.fillRect(QRect(cell * 320 / 36, 150, 320 / 36, 15),
                         damaged.pixelColor(cell * 320 / 36 + 4, 157) == QColor(Qt::white) ? Qt::black
                                                                                           : Qt::white);
    }
    QTest::newRow("null") << QImage();
    QTest::newRow("tiny") << QImage(20, 5, QImage::Format_RGB32);
    QTest::newRow("grey") << grey;
    QTest::newRow("white") << white;
    QTest::newRow("mirrored") << flipped;
    QTest::newRow("one cell flipped") << damaged;
}

void TestTestPattern::noStripGivesMinusOne() {
    QFETCH(QImage, image);
    QCOMPARE(decodeFrameNumberStrip(image), -1);
}

QTEST_MAIN(TestTestPattern)
#include "tst_testpattern.moc"
