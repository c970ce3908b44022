#include "PictureBox.h"

#include <QtTest>

namespace {
QImage frame(int w = 200, int h = 100) {
    QImage image(w, h, QImage::Format_RGB888);
    image.fill(QColor(30, 30, 30));
    return image;
}

QRect changedArea(const QImage& image, const QImage& bare) {
    QRect area;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) != bare.pixel(x, y)) area |= QRect(x, y, 1, 1);
    return area;
}
} // namespace

class TestPictureBox : public QObject {
    Q_OBJECT
private slots:
    void takesTheSizeOfItsPicture() {
        PictureBox box;
        box.setPicture(frame(123, 45));
        QCOMPARE(box.size(), QSize(123, 45));
        QCOMPARE(box.ScaleWidth(), 123);
        box.setPicture(QImage());
        QCOMPARE(box.size(), QSize(0, 0));
        QVERIFY(!box.hasPicture());
    }

    void printDrawsInTheLineAndMovesDown() {
        PictureBox box;
        box.setPicture(frame());
        box.setAutoRedraw(true);
        box.ForeColor = Qt::yellow;
        box.CurrentX = 20;
        box.CurrentY = 10;
        box.Print("Hello");
        const QRect drawn = changedArea(box.image(), frame());
        const float th = box.TextHeight("Hello");
        QVERIFY(drawn.isValid());
        QVERIFY2(drawn.left() >= 19 && drawn.right() <= 20 + box.TextWidth("Hello") + 1,
                 qPrintable(QString::number(drawn.left())));
        QVERIFY(drawn.top() >= 10 && drawn.bottom() <= 10 + th);
        QCOMPARE(box.CurrentX, 0.0f);
        QCOMPARE(box.CurrentY, 10 + th);
        // Yellow letters with the frame showing between them (no background box).
        int yellow = 0, bare = 0;
        for (int y = drawn.top(); y <= drawn.bottom(); ++y)
            for (int x = drawn.left(); x <= drawn.right(); ++x) {
                const QRgb p = box.image().pixel(x, y);
                if (qRed(p) > 200 && qGreen(p) > 200 && qBlue(p) < 60) ++yellow;
                if (p == frame().pixel(0, 0)) ++bare;
            }
        QVERIFY(yellow > 10);
        QVERIFY(bare > drawn.width() * drawn.height() / 3);
    }

    void clsKeepsThePictureAndDropsTheDrawing() {
        PictureBox box;
        box.setPicture(frame());
        box.setAutoRedraw(true);
        box.Print("stamp");
        QVERIFY(box.image() != box.picture());
        box.Cls();
        QCOMPARE(box.image(), frame());
        QCOMPARE(box.CurrentY, 0.0f);
    }

    void withoutAutoRedrawNothingIsKept() {
        PictureBox box;
        box.setPicture(frame());
        box.Print("lost");
        QCOMPARE(box.image(), frame());
        QVERIFY(box.CurrentY > 0);
    }

    void permanentImageSurvivesCls() {
        PictureBox box;
        box.setPicture(frame());
        box.setAutoRedraw(true);
        box.ForeColor = Qt::white;
        box.Print("kept");
        const QImage stamped = box.image();
        box.makeImagePermanent();
        box.Cls();
        QCOMPARE(box.image(), stamped);
        QCOMPARE(box.picture(), stamped);
    }

    void palettePicturesCanBeDrawnOn() {
        QImage indexed = frame().convertToFormat(QImage::Format_Indexed8);
        PictureBox box;
        box.setPicture(indexed);
        box.setAutoRedraw(true);
        box.ForeColor = Qt::white;
        box.Print("x");
        QVERIFY(changedArea(box.image(), indexed.convertToFormat(box.image().format())).isValid());
    }
};

QTEST_MAIN(TestPictureBox)
#include "tst_picturebox.moc"
