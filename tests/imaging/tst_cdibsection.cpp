#include "Clipboard.h"
#include "Clock.h"
#include "MsgBox.h"
#include "cDIBSection.h"

#include <QGuiApplication>
#include <QtTest>
#include <cstring>

namespace {

// A picture whose every pixel differs: red = 10 x, green = 10 y, blue = x + y.
QImage numbered(int w, int h, QImage::Format format = QImage::Format_RGB32) {
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y, qRgb(10 * x, 10 * y, x + y));
    return image.convertToFormat(format);
}

// The pixel (x, y) of the picture, counted from the top, read from the buffer.
QRgb pixelOf(const cDIBSection& dib, int x, int y) {
    const uchar* p = dib.DIBSectionBitsPtr() + qint64(dib.Height() - 1 - y) * dib.BytesPerScanLine() + 3 * x;
    return qRgb(p[2], p[1], p[0]);
}

// Writes memory row `row` (0 = bottom) of a 3-pixel-wide buffer.
void setRow(cDIBSection& dib, int row, std::initializer_list<uchar> bgr) {
    std::copy(bgr.begin(), bgr.end(), dib.DIBSectionBitsPtr() + row * dib.BytesPerScanLine());
}

QByteArray rowBytes(const cDIBSection& dib, int row) {
    return QByteArray(reinterpret_cast<const char*>(dib.DIBSectionBitsPtr() + row * dib.BytesPerScanLine()),
                      dib.Width() * 3);
}

} // namespace

class TestCDIBSection : public QObject {
    Q_OBJECT
private slots:
    void init() {
        MsgBoxTest::enable();
        MsgBoxTest::clear();
        Clock::reset();
    }

    void bytesPerScanLine_data() {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("bytes");
        QTest::newRow("1") << 1 << 4;
        QTest::newRow("4") << 4 << 12;
        QTest::newRow("5") << 5 << 16;
        QTest::newRow("640") << 640 << 1920;
        QTest::newRow("641") << 641 << 1924;
    }
    void bytesPerScanLine() {
        QFETCH(int, width);
        QFETCH(int, bytes);
        cDIBSection dib;
        QVERIFY(dib.Create(width, 3));
        QCOMPARE(dib.BytesPerScanLine(), bytes);
    }

    void handlesFollowTheState() {
        cDIBSection dib;
        QVERIFY(!dib.hdc() && !dib.hDib() && !dib.DIBSectionBitsPtr());
        QVERIFY(dib.Create(7, 5));
        QVERIFY(dib.hdc() && dib.hDib() && dib.DIBSectionBitsPtr());
        // A new buffer is black, padding included.
        const QByteArray all(reinterpret_cast<const char*>(dib.DIBSectionBitsPtr()),
                             dib.BytesPerScanLine() * 5);
        QCOMPARE(all.count('\0'), all.size());
        dib.ClearUp();
        QVERIFY(!dib.hdc() && !dib.hDib() && !dib.DIBSectionBitsPtr());
        QCOMPARE(dib.Width(), 7);
        QCOMPARE(dib.Height(), 5);
    }

    void createRefusesImpossibleSizes_data() {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::newRow("zero width") << 0 << 10;
        QTest::newRow("negative height") << 10 << -1;
        QTest::newRow("scan line overflows") << 0x7FFFFFFF / 3 + 1 << 1;
        QTest::newRow("image overflows") << 100000 << 100000;
    }
    void createRefusesImpossibleSizes() {
        QFETCH(int, width);
        QFETCH(int, height);
        cDIBSection dib;
        QVERIFY(dib.Create(4, 4));
        QVERIFY(!dib.Create(width, height));
        QVERIFY(!dib.hdc() && !dib.hDib() && !dib.DIBSectionBitsPtr());
    }

    // Whatever the picture's format, the buffer holds blue, green, red, bottom row first.
    void createFromPictureLayout_data() {
        QTest::addColumn<int>("format");
        QTest::newRow("RGB32") << int(QImage::Format_RGB32);
        QTest::newRow("ARGB32") << int(QImage::Format_ARGB32);
        QTest::newRow("RGB888") << int(QImage::Format_RGB888);
        QTest::newRow("BGR888") << int(QImage::Format_BGR888);
        QTest::newRow("RGB16") << int(QImage::Format_RGB16);
    }
    void createFromPictureLayout() {
        QFETCH(int, format);
        const QImage picture = numbered(5, 3, QImage::Format(format));
        cDIBSection dib;
        dib.CreateFromPicture(picture);
        QCOMPARE(dib.Width(), 5);
        QCOMPARE(dib.Height(), 3);
        const uchar* bits = dib.DIBSectionBitsPtr();
        QVERIFY(bits);
        const QImage expected = picture.convertToFormat(QImage::Format_RGB32);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 5; ++x)
                QCOMPARE(pixelOf(dib, x, y), expected.pixel(x, y));
        // First bytes in memory: the bottom-left pixel, blue first.
        const QRgb bottomLeft = expected.pixel(0, 2);
        QCOMPARE(int(bits[0]), qBlue(bottomLeft));
        QCOMPARE(int(bits[2]), qRed(bottomLeft));
        QCOMPARE(dib.toImage().convertToFormat(QImage::Format_RGB32), expected);
    }

    void createFromNullPictureStaysEmpty() {
        cDIBSection dib;
        dib.CreateFromPicture(QImage());
        QVERIFY(!dib.hdc() && !dib.DIBSectionBitsPtr());
    }

    // Copies between buffers are placed in picture coordinates (top-left origin).
    void paintPictureAndLoadPictureBltPlaceTheBlock() {
        cDIBSection small;
        small.CreateFromPicture(numbered(2, 2));
        cDIBSection big;
        QVERIFY(big.Create(4, 4));
        small.PaintPicture(big.hdc(), 1, 2);
        QCOMPARE(pixelOf(big, 1, 2), pixelOf(small, 0, 0));
        QCOMPARE(pixelOf(big, 2, 3), pixelOf(small, 1, 1));
        QCOMPARE(pixelOf(big, 0, 0), qRgb(0, 0, 0));

        cDIBSection back;
        QVERIFY(back.Create(2, 2));
        back.LoadPictureBlt(big.hdc(), 1, 2);
        QCOMPARE(back.toImage(), small.toImage());
        // Combining operations act on the bytes.
        back.LoadPictureBlt(big.hdc(), 1, 2, -1, -1, RasterOp::SRCINVERT);
        QCOMPARE(pixelOf(back, 1, 1), qRgb(0, 0, 0));
    }

    void resampleToTheSameSizeIsAnExactCopy() {
        cDIBSection dib;
        dib.CreateFromPicture(numbered(7, 5));
        const auto copy = dib.Resample(5, 7);
        QVERIFY(copy);
        QCOMPARE(copy->Width(), 7);
        QCOMPARE(copy->Height(), 5);
        QCOMPARE(std::memcmp(copy->DIBSectionBitsPtr(), dib.DIBSectionBitsPtr(), dib.BytesPerScanLine() * 5),
                 0);
    }

    void resampleKeepsTheFirstPixel() {
        cDIBSection dib;
        dib.CreateFromPicture(numbered(9, 7));
        const auto smaller = dib.Resample(3, 4);
        QVERIFY(smaller);
        QCOMPARE(smaller->Width(), 4);
        QCOMPARE(smaller->Height(), 3);
        QCOMPARE(rowBytes(*smaller, 0).left(3), rowBytes(dib, 0).left(3));
    }

    // A 3 x 2 source to 4 x 2: scales 2/4 and 1/2, so every second target pixel
    // lies half-way between two source pixels; halves round to even.
    void resampleHandComputed() {
        cDIBSection dib;
        QVERIFY(dib.Create(3, 2));
        setRow(dib, 0, {10, 20, 30, 11, 21, 31, 100, 200, 255});
        setRow(dib, 1, {13, 20, 30, 12, 23, 33, 0, 0, 0});
        const auto wide = dib.Resample(2, 4);
        QVERIFY(wide);
        const uchar row0[] = {10, 20, 30, 10, 20, 30, 11, 21, 31, 56, 110, 143};
        const uchar row1[] = {12, 20, 30, 12, 21, 31, 12, 22, 32, 31, 61, 80};
        QCOMPARE(rowBytes(*wide, 0), QByteArray(reinterpret_cast<const char*>(row0), 12));
        QCOMPARE(rowBytes(*wide, 1), QByteArray(reinterpret_cast<const char*>(row1), 12));
    }

    void resampleRefusesWhatItCannotRead_data() {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<int>("newWidth");
        QTest::addColumn<int>("newHeight");
        QTest::addColumn<bool>("made");
        QTest::newRow("1 wide, other size") << 1 << 5 << 3 << 5 << false;
        QTest::newRow("1 high, other size") << 5 << 1 << 5 << 3 << false;
        QTest::newRow("1 x 1, same size") << 1 << 1 << 1 << 1 << true;
        QTest::newRow("to zero width") << 5 << 5 << 0 << 5 << false;
        QTest::newRow("2 x 2 up") << 2 << 2 << 8 << 8 << true;
    }
    void resampleRefusesWhatItCannotRead() {
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(int, newWidth);
        QFETCH(int, newHeight);
        QFETCH(bool, made);
        cDIBSection dib;
        dib.CreateFromPicture(numbered(width, height));
        QCOMPARE(bool(dib.Resample(newHeight, newWidth)), made);
    }

    void resampleOfAnEmptyBufferGivesNone() {
        cDIBSection dib;
        QVERIFY(dib.Create(4, 4));
        dib.ClearUp();
        QVERIFY(!dib.Resample(4, 4));
        QVERIFY(!dib.Resample(2, 2));
    }

    void randomiseBits() {
        Clock::set(QDateTime(QDate(2026, 1, 2), QTime(10, 20, 30)));
        cDIBSection dib;
        QVERIFY(dib.Create(5, 4)); // one padding byte per row
        for (int row = 0; row < 4; ++row)
            dib.DIBSectionBitsPtr()[row * 16 + 15] = 0x5A;

        dib.RandomiseBits(false);
        QSet<int> greens;
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 5; ++x) {
                const QRgb p = pixelOf(dib, x, y);
                QCOMPARE(qBlue(p), 0);
                greens.insert(qGreen(p));
            }
        QVERIFY(greens.size() > 5);
        for (int row = 0; row < 4; ++row)
            QCOMPARE(int(dib.DIBSectionBitsPtr()[row * 16 + 15]), 0x5A);
        const QImage first = dib.toImage();
        dib.RandomiseBits(false); // same second, same seed
        QCOMPARE(dib.toImage(), first);

        dib.RandomiseBits(true);
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 5; ++x) {
                const QRgb p = pixelOf(dib, x, y);
                QCOMPARE(qGreen(p), qBlue(p));
                QCOMPARE(qRed(p), qBlue(p));
            }
    }

    void copyToClipboard() {
        const QImage marker = numbered(3, 3);
        Clipboard::setPicture(marker);
        cDIBSection dib;
        dib.CreateFromPicture(numbered(6, 4));

        QVERIFY(!dib.CopyToClipboard(true));
        QCOMPARE(MsgBoxTest::texts(),
                 QStringList{"I don't know how to put a DIB on the clipboard! Copy as bitmap instead!!!"});
        QCOMPARE(MsgBoxTest::shown().front().title, QStringLiteral("Video Kelvanor 2000"));
        QCOMPARE(Clipboard::picture().convertToFormat(QImage::Format_RGB32), marker);

        QVERIFY(dib.CopyToClipboard(false));
        QCOMPARE(Clipboard::picture().convertToFormat(QImage::Format_RGB32), numbered(6, 4));
        dib.ClearUp();
        Clipboard::setPicture(marker);
        QVERIFY(!dib.CopyToClipboard(false));
        QCOMPARE(Clipboard::picture().convertToFormat(QImage::Format_RGB32), marker);
    }
};

QTEST_MAIN(TestCDIBSection)
#include "tst_cdibsection.moc"
