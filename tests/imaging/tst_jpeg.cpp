#include "Clock.h"
#include "EventLog.h"
#include "JPEG.h"
#include "MsgBox.h"
#include "PictureBox.h"
#include "TextInsertion.h"
#include "Vars.h"
#include "cDIBSection.h"
#include "mIntelJPEGLibrary.h"

#include <QPainter>
#include <QtTest>
#include <csignal>
#include <sys/resource.h>
#include <turbojpeg.h>

namespace {

const QRgb kBackground = qRgb(64, 64, 64);
const QRect kRedSquare(100, 300, 100, 100); // in the lower half, clear of the stamps

QImage testFrame(int w, int h) {
    QImage image(w, h, QImage::Format_RGB888);
    image.fill(kBackground);
    if (h > kRedSquare.bottom()) {
        QPainter p(&image);
        p.fillRect(kRedSquare, QColor(220, 0, 0));
    }
    return image;
}

// Decodes a JPEG file with libjpeg-turbo into a top-down RGB32 picture.
QImage decodeJpeg(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    QByteArray bytes = file.readAll();
    tjhandle handle = tjInitDecompress();
    int w = 0, h = 0, subsampling = 0, colorspace = 0;
    QImage image;
    auto* data = reinterpret_cast<unsigned char*>(bytes.data());
    if (tjDecompressHeader3(handle, data, bytes.size(), &w, &h, &subsampling, &colorspace) == 0) {
        image = QImage(w, h, QImage::Format_RGB32);
        if (tjDecompress2(handle, data, bytes.size(), image.bits(), w, int(image.bytesPerLine()), h,
                          TJPF_BGRX, 0) != 0)
            image = QImage();
    }
    tjDestroy(handle);
    return image;
}

bool isJpeg(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && file.read(3) == QByteArray("\xFF\xD8\xFF", 3);
}

int difference(QRgb a, QRgb b) {
    return std::max(
        {std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)), std::abs(qBlue(a) - qBlue(b))});
}

// `r` grown to the 16-pixel blocks the encoder works in (colour is halved in both directions).
QRect toBlocks(const QRectF& r) {
    const int left = int(std::floor(r.left() / 16)) * 16;
    const int top = int(std::floor(r.top() / 16)) * 16;
    const int right = int(std::ceil(r.right() / 16)) * 16;
    const int bottom = int(std::ceil(r.bottom() / 16)) * 16;
    return QRect(QPoint(left, top), QPoint(right - 1, bottom - 1));
}

} // namespace

class TestJpeg : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

private slots:
    void init() {
        QVERIFY(m_dir.isValid());
        Vars::reset();
        Vars::StartupDirectory = m_dir.path();
        QFile::remove(LogPath());
        MsgBoxTest::enable();
        MsgBoxTest::clear();
        Clock::set(QDateTime(QDate(2026, 12, 10), QTime(8, 9, 10)));
    }
    void cleanup() { Clock::reset(); }

    // The file is the picture, upright, at its size, for widths with 0 to 3 pad bytes.
    void writesThePictureUpright_data() {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::newRow("640 x 480, no padding") << 640 << 480;
        QTest::newRow("641 x 481, 1 pad byte") << 641 << 481;
        QTest::newRow("642 x 420, 2 pad bytes") << 642 << 420;
        QTest::newRow("1 x 1") << 1 << 1;
    }
    void writesThePictureUpright() {
        QFETCH(int, width);
        QFETCH(int, height);
        const QImage picture = testFrame(width, height);
        cDIBSection dib;
        dib.CreateFromPicture(picture);
        const QString path = m_dir.filePath("plain.jpg");
        QVERIFY(WriteJpegFile(dib, path, 90));
        QVERIFY(MsgBoxTest::texts().isEmpty());
        const QImage decoded = decodeJpeg(path);
        QCOMPARE(decoded.size(), QSize(width, height));
        // Baseline: a start-of-frame 0 marker, no progressive one.
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        QVERIFY(bytes.contains(QByteArray("\xFF\xC0", 2)));
        QVERIFY(!bytes.contains(QByteArray("\xFF\xC2", 2)));
        for (int y = 0; y < height; y += 7)
            for (int x = 0; x < width; x += 7) {
                // Away from the square's edges the colours come back within JPEG's error.
                if (kRedSquare.adjusted(-8, -8, 8, 8).contains(x, y) &&
                    !kRedSquare.adjusted(8, 8, -8, -8).contains(x, y))
                    continue;
                QVERIFY2(difference(decoded.pixel(x, y), picture.pixel(x, y)) <= 6,
                         qPrintable(QStringLiteral("at %1,%2").arg(x).arg(y)));
            }
    }

    // A stamped 641-pixel-wide frame: the stamps are in the file where the table puts
    // them, and nowhere else.
    void savesTheStampsWhereTheyBelong() {
        const QImage picture = testFrame(641, 481);
        StampSettings settings;
        settings.text = QStringLiteral("Loading bay");
        settings.textOn = settings.dateOn = settings.timeOn = true;
        settings.textPosition = StampPosition::TopLeft;
        settings.datePosition = StampPosition::TopRight;
        settings.timePosition = StampPosition::BottomCenter;
        settings.textColor = 0xFFFFFF;
        settings.dateColor = 0x00FFFF; // yellow
        settings.timeColor = 0xFFFF00; // cyan

        PictureBox bare;
        bare.setPicture(picture);
        SaveImageAsJpeg(bare, m_dir.filePath("bare.jpg"));
        PictureBox box;
        box.setPicture(picture);
        StampFrame(box, settings);
        const QString path = m_dir.filePath("stamped.jpg");
        SaveImageAsJpeg(box, path);
        QVERIFY(MsgBoxTest::texts().isEmpty());

        const QImage withStamps = decodeJpeg(path);
        const QImage without = decodeJpeg(m_dir.filePath("bare.jpg"));
        QCOMPARE(withStamps.size(), QSize(641, 481));
        // Upright: the red square is in the lower half.
        QVERIFY(difference(withStamps.pixel(kRedSquare.center()), qRgb(220, 0, 0)) < 12);
        QVERIFY(difference(withStamps.pixel(150, 481 - 350), kBackground) < 12);

        const float l = box.TextHeight("AAA");
        const float dateWidth = box.TextWidth("12-10-2026");
        const float timeWidth = box.TextWidth("08:09:10");
        const QRectF areas[] = {
            QRectF(0, 0, box.TextWidth(settings.text), l),
            QRectF(641 - dateWidth, l, dateWidth, l),
            QRectF((641 - timeWidth) / 2, 481 - 2 * l, timeWidth, l),
        };
        int inside[3] = {0, 0, 0};
        for (int y = 0; y < 481; ++y)
            for (int x = 0; x < 641; ++x) {
                if (difference(withStamps.pixel(x, y), without.pixel(x, y)) < 48) continue;
                bool placed = false;
                for (int i = 0; i < 3; ++i) {
                    if (areas[i].contains(x + 0.5, y + 0.5)) ++inside[i];
                    placed = placed || toBlocks(areas[i]).contains(x, y);
                }
                QVERIFY2(placed, qPrintable(QStringLiteral("stray change at %1,%2").arg(x).arg(y)));
            }
        for (int i = 0; i < 3; ++i)
            QVERIFY2(inside[i] > 30, qPrintable(QString::number(i)));
        // The bright white text is really there, not only a smear.
        int white = 0;
        for (int y = 0; y < int(l); ++y)
            for (int x = 0; x < int(areas[0].width()); ++x)
                if (qGray(withStamps.pixel(x, y)) > 200) ++white;
        QVERIFY(white > 20);
        // Saving made the stamps part of the picture.
        QCOMPARE(box.picture(), box.image());
    }

    void missingFolderIsReportedInOrder() {
        const QString path = m_dir.filePath("no-such-folder/shot.jpg");
        PictureBox box;
        box.setPicture(testFrame(64, 48));
        SaveImageAsJpeg(box, path);
        QCOMPARE(MsgBoxTest::texts(),
                 (QStringList{"Failed to save to JPG", "Error writing " + path + "JPEG File."}));
        QCOMPARE(MsgBoxTest::shown()[0].style, MsgBoxStyle::vbExclamation);
        QCOMPARE(MsgBoxTest::shown()[1].style, MsgBoxStyle::vbCritical);
        QCOMPARE(MsgBoxTest::shown()[1].title, QStringLiteral("Video Kelvanor 2000"));
        QFile log(LogPath());
        QVERIFY(log.open(QIODevice::ReadOnly));
        QCOMPARE(log.readAll(), QByteArray("08:09:10 > Error WJPF:0001\r\n"));
        QVERIFY(!QFile::exists(path));
    }

    void nonAsciiPath() {
        const QString path = m_dir.filePath(QStringLiteral("Bild \u00e5\u00e4\u00f6.jpg"));
        PictureBox box;
        box.setPicture(testFrame(40, 30));
        SaveImageAsJpeg(box, path);
        QVERIFY(MsgBoxTest::texts().isEmpty());
        QCOMPARE(decodeJpeg(path).size(), QSize(40, 30));
    }

    void emptyPictureIsAFailedSave() {
        PictureBox box;
        SaveImageAsJpeg(box, m_dir.filePath("empty.jpg"));
        QCOMPARE(MsgBoxTest::texts().size(), 2);
        QCOMPARE(MsgBoxTest::texts().front(), QStringLiteral("Failed to save to JPG"));
        QVERIFY(!QFile::exists(m_dir.filePath("empty.jpg")));
    }

    // "Refresh same file" writes over the last shot: the new picture replaces it.
    void replacesAnEarlierFile() {
        const QString path = m_dir.filePath("same.jpg");
        QImage first(32, 32, QImage::Format_RGB32);
        first.fill(Qt::blue);
        QImage second = first;
        second.fill(Qt::green);
        cDIBSection dib;
        dib.CreateFromPicture(first);
        QVERIFY(WriteJpegFile(dib, path, 90));
        dib.CreateFromPicture(second);
        QVERIFY(WriteJpegFile(dib, path, 90));
        QVERIFY(difference(decodeJpeg(path).pixel(16, 16), qRgb(0, 255, 0)) < 8);
    }

    // A write that fails half way (a full disk; here the file size limit) leaves the
    // earlier file as it was and no part of the new one beside it.
    void aFailedWriteLeavesTheEarlierFile() {
        QTemporaryDir dir;
        const QString path = dir.filePath("kept.jpg");
        cDIBSection dib;
        dib.CreateFromPicture(testFrame(16, 16));
        QVERIFY(WriteJpegFile(dib, path, 90));
        QFile before(path);
        QVERIFY(before.open(QIODevice::ReadOnly));
        const QByteArray earlier = before.readAll();
        before.close();

        // Noise: far above the limit below once encoded.
        QImage noise(640, 480, QImage::Format_RGB32);
        quint32 state = 1;
        for (int y = 0; y < noise.height(); ++y)
            for (int x = 0; x < noise.width(); ++x) {
                state = state * 1664525u + 1013904223u;
                noise.setPixel(x, y, state >> 8);
            }
        dib.CreateFromPicture(noise);
        struct rlimit old {};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &old), 0);
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN); // the write fails with EFBIG instead
        struct rlimit small = old;
        small.rlim_cur = 4096;
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
        const bool written = WriteJpegFile(dib, path, 100);
        setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, oldHandler);

        QVERIFY(!written);
        QCOMPARE(MsgBoxTest::texts(), QStringList{QStringLiteral("Failed to save to JPG")});
        QFile after(path);
        QVERIFY(after.open(QIODevice::ReadOnly));
        QCOMPARE(after.readAll(), earlier);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("kept.jpg")});
    }

    void encoderCallsCheckTheirRecord() {
        JPEG_CORE_PROPERTIES props;
        QCOMPARE(ijlWrite(&props, IJL_JFILE_WRITEWHOLEIMAGE), int(IJL_INVALID_JPEG_PROPERTIES));
        QCOMPARE(ijlInit(&props), int(IJL_OK));
        QCOMPARE(props.DIBChannels, 3);
        QCOMPARE(props.DIBColor, IJL_BGR);
        cDIBSection dib;
        dib.CreateFromPicture(testFrame(641, 10));
        const QByteArray file = QFile::encodeName(m_dir.filePath("direct.jpg"));
        props.DIBBytes = dib.DIBSectionBitsPtr();
        props.DIBWidth = 641;
        props.DIBHeight = -10;
        props.DIBPadBytes = dib.BytesPerScanLine() - 641 * 3;
        QCOMPARE(props.DIBPadBytes, 1);
        props.JPGFile = file.constData();
        props.JPGWidth = 641;
        props.JPGHeight = 10;
        props.jquality = 0;
        QCOMPARE(ijlWrite(&props, IJL_JFILE_WRITEWHOLEIMAGE), int(IJL_BAD_PARAMETER));
        props.jquality = 90;
        QCOMPARE(ijlWrite(&props, IJL_JFILE_WRITEWHOLEIMAGE), int(IJL_OK));
        QVERIFY(isJpeg(m_dir.filePath("direct.jpg")));
        QCOMPARE(ijlFree(&props), int(IJL_OK));
        QCOMPARE(ijlFree(&props), int(IJL_OK));
        QCOMPARE(ijlWrite(&props, IJL_JFILE_WRITEWHOLEIMAGE), int(IJL_INVALID_JPEG_PROPERTIES));
    }
};

QTEST_MAIN(TestJpeg)
#include "tst_jpeg.moc"
