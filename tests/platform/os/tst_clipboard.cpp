#include "Clipboard.h"

#include <QtTest>

class TestClipboard : public QObject {
    Q_OBJECT
private slots:
    void pictureRoundTrip() {
        QImage image(31, 17, QImage::Format_RGB32);
        image.fill(qRgb(1, 2, 3));
        image.setPixel(30, 16, qRgb(200, 100, 50));
        QVERIFY(Clipboard::setPicture(image));
        QCOMPARE(Clipboard::picture().convertToFormat(QImage::Format_RGB32), image);
    }

    void clearEmptiesIt() {
        QImage image(4, 4, QImage::Format_RGB32);
        image.fill(Qt::red);
        QVERIFY(Clipboard::setPicture(image));
        Clipboard::clear();
        QVERIFY(Clipboard::picture().isNull());
    }

    void nullPictureIsRefusedAndChangesNothing() {
        QImage image(4, 4, QImage::Format_RGB32);
        image.fill(Qt::blue);
        QVERIFY(Clipboard::setPicture(image));
        QVERIFY(!Clipboard::setPicture(QImage()));
        QCOMPARE(Clipboard::picture().convertToFormat(QImage::Format_RGB32), image);
    }
};

QTEST_MAIN(TestClipboard)
#include "tst_clipboard.moc"
