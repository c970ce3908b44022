#include "Clock.h"
#include "PictureBox.h"
#include "TextInsertion.h"
#include "Vars.h"

#include <QtTest>

namespace {

constexpr int kW = 320;
constexpr int kH = 200;

QImage frame() {
    QImage image(kW, kH, QImage::Format_RGB32);
    image.fill(qRgb(40, 60, 80));
    return image;
}

// The same text printed by hand at (x, y) on a fresh surface: what the stamp must look like.
QImage printedAt(float x, float y, const QColor& color, const QString& text) {
    PictureBox box;
    box.setPicture(frame());
    box.setAutoRedraw(true);
    box.CurrentX = x;
    box.CurrentY = y;
    box.ForeColor = color;
    box.Print(text);
    return box.image();
}

// The rows of the picture where it differs from the bare frame.
QPair<int, int> changedRows(const QImage& image) {
    const QImage bare = frame();
    int first = -1, last = -1;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) != bare.pixel(x, y)) {
                if (first < 0) first = y;
                last = y;
                break;
            }
    return {first, last};
}

} // namespace

class TestTextInsertion : public QObject {
    Q_OBJECT
private slots:
    void init() {
        Vars::reset();
        Clock::set(QDateTime(QDate(1999, 7, 4), QTime(17, 5, 9)));
    }
    void cleanup() { Clock::reset(); }

    // Every stamp at every position, against the placement table: columns left 0,
    // right W - TW, centre (W - TW) / 2; lines of height L = height of "AAA".
    void placementTable_data() {
        QTest::addColumn<QString>("stamp");
        QTest::addColumn<int>("position");
        for (const char* stamp : {"text", "date", "time"})
            for (int position = 0; position <= 5; ++position)
                QTest::addRow("%s %d", stamp, position) << QString::fromLatin1(stamp) << position;
    }
    void placementTable() {
        QFETCH(QString, stamp);
        QFETCH(int, position);
        PictureBox box;
        box.setPicture(frame());
        StampSettings settings;
        settings.text = QStringLiteral("Gate 3");
        settings.textOn = stamp == "text";
        settings.dateOn = stamp == "date";
        settings.timeOn = stamp == "time";
        settings.textPosition = settings.datePosition = settings.timePosition = qint16(position);
        settings.textColor = settings.dateColor = settings.timeColor = 0x0000FF; // red, as 0x00BBGGRR
        StampFrame(box, settings);

        const QString text = stamp == "text" ? settings.text : stamp == "date" ? "07-04-1999" : "17:05:09";
        const float tw = box.TextWidth(text);
        const float th = box.TextHeight(text);
        const float l = box.TextHeight("AAA");
        const float x = position % 3 == 0 ? 0.0f : position % 3 == 1 ? kW - tw : (kW - tw) / 2;
        float y = 0;
        if (position < 3)
            y = stamp == "text" ? 0 : stamp == "date" ? l : 2 * l;
        else
            y = stamp == "text" ? kH - (2 * l + th) : stamp == "date" ? kH - l : kH - 2 * l;
        QCOMPARE(box.image(), printedAt(x, y, Qt::red, text));
    }

    void stackedLinesDoNotOverlap() {
        PictureBox box;
        box.setPicture(frame());
        StampSettings settings;
        settings.text = QStringLiteral("North door");
        settings.textOn = settings.dateOn = settings.timeOn = true;
        settings.textPosition = settings.datePosition = settings.timePosition = StampPosition::BottomRight;
        settings.textColor = 0xFFFFFF;
        settings.dateColor = 0x00FF00;
        settings.timeColor = 0xFF0000;
        StampFrame(box, settings);
        const int l = qRound(box.TextHeight("AAA"));
        // Date on the last line, time above it, text above that: each colour in its own band.
        auto rowsOf = [&](QRgb color) {
            int first = -1, last = -1;
            for (int y = 0; y < kH; ++y)
                for (int x = 0; x < kW; ++x)
                    if (box.image().pixel(x, y) == color) {
                        if (first < 0) first = y;
                        last = y;
                        break;
                    }
            return QPair<int, int>(first, last);
        };
        const auto date = rowsOf(qRgb(0, 255, 0));
        const auto time = rowsOf(qRgb(0, 0, 255));
        const auto text = rowsOf(qRgb(255, 255, 255));
        QVERIFY(date.first >= kH - l && date.second < kH);
        QVERIFY(time.first >= kH - 2 * l && time.second < kH - l);
        QVERIFY(text.first >= kH - 3 * l - 1 && text.second < kH - 2 * l);
    }

    void laterCallsEraseEarlierStamps() {
        PictureBox box;
        box.setPicture(frame());
        StampSettings settings;
        settings.textOn = true;
        settings.text = QStringLiteral("old");
        settings.textColor = 0xFFFFFF;
        StampFrame(box, settings);
        QVERIFY(box.image() != frame());
        settings.textOn = false;
        StampFrame(box, settings);
        QCOMPARE(box.image(), frame());
        QVERIFY(box.AutoRedraw());
    }

    // A code outside 0-5 draws at the print position: (0, 0) for the first stamp,
    // otherwise the line below the stamp drawn before.
    void codeOutsideTheListUsesThePrintPosition() {
        PictureBox box;
        box.setPicture(frame());
        StampSettings settings;
        settings.dateOn = true;
        settings.datePosition = -1;
        StampFrame(box, settings);
        QCOMPARE(box.image(), printedAt(0, 0, Qt::black, "07-04-1999"));

        settings.textOn = true;
        settings.text = QStringLiteral("cam");
        settings.textPosition = StampPosition::BottomCenter;
        StampFrame(box, settings);
        const float l = box.TextHeight("AAA");
        const float textY = kH - 3 * l;
        const QPair<int, int> rows = changedRows(box.image());
        QVERIFY(rows.first >= int(textY));
        // The date sits on the line below the text, at the left edge.
        const QImage date = printedAt(0, textY + l, Qt::black, "07-04-1999");
        QCOMPARE(box.image().copy(0, int(textY + l), 60, int(l)), date.copy(0, int(textY + l), 60, int(l)));
    }

    void fromVarsTakesTheSharedColoursAndText() {
        Vars::StampTimeColor = 0x010203;
        Vars::StampDateColor = 0x040506;
        Vars::StampTextColor = 0x070809;
        Vars::StampText = QStringLiteral("Lobby");
        const StampSettings settings = StampSettings::fromVars();
        QCOMPARE(settings.timeColor, 0x010203u);
        QCOMPARE(settings.dateColor, 0x040506u);
        QCOMPARE(settings.textColor, 0x070809u);
        QCOMPARE(settings.text, QStringLiteral("Lobby"));
        QVERIFY(!settings.timeOn && !settings.dateOn && !settings.textOn);
    }
};

QTEST_MAIN(TestTextInsertion)
#include "tst_textinsertion.moc"
