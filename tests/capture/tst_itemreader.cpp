#include "ItemReader.h"

#include <QBuffer>
#include <QtTest>

// The comma- and line-delimited items of system.ini and codec.kl.
class TestItemReader : public QObject {
    Q_OBJECT

    static QList<QByteArray> items(const QByteArray& text) {
        QBuffer buffer;
        buffer.setData(text);
        buffer.open(QIODevice::ReadOnly);
        ItemReader reader(buffer);
        QList<QByteArray> list;
        QByteArray item;
        while (reader.next(item))
            list.append(item);
        return list;
    }

private slots:
    void splitsLikeTheTextInput_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QList<QByteArray>>("expected");
        QTest::newRow("lines") << QByteArray("[drivers]\nVIDC.CVID=iccvid.drv\n")
                               << QList<QByteArray>{"[drivers]", "VIDC.CVID=iccvid.drv"};
        QTest::newRow("CR LF and CR") << QByteArray("a\r\nb\rc") << QList<QByteArray>{"a", "b", "c"};
        QTest::newRow("commas") << QByteArray("a,b,,c\n") << QList<QByteArray>{"a", "b", "", "c"};
        QTest::newRow("blanks around") << QByteArray("  a b  ,\tc\n") << QList<QByteArray>{"a b", "c"};
        QTest::newRow("empty line") << QByteArray("a\n\nb\n") << QList<QByteArray>{"a", "", "b"};
        QTest::newRow("quoted comma and line end")
            << QByteArray("\"a,b\nc\" junk,d\n") << QList<QByteArray>{"a,b\nc", "d"};
        QTest::newRow("quote inside an item") << QByteArray("a\"b\n") << QList<QByteArray>{"a\"b"};
        QTest::newRow("unterminated quote") << QByteArray("x\n\"abc") << QList<QByteArray>{"x", "abc"};
        QTest::newRow("binary") << QByteArray("\x00\xff\x01,\x7f", 5)
                                << QList<QByteArray>{QByteArray("\x00\xff\x01", 3), "\x7f"};
        QTest::newRow("empty file") << QByteArray() << QList<QByteArray>{};
    }
    void splitsLikeTheTextInput() {
        QFETCH(QByteArray, text);
        QFETCH(QList<QByteArray>, expected);
        QCOMPARE(items(text), expected);
    }

    // An over-long item keeps its head; the next item is read whole, in quotes or not.
    void overLongItemIsCut_data() {
        QTest::addColumn<bool>("quoted");
        QTest::newRow("plain") << false;
        QTest::newRow("quoted") << true;
    }
    void overLongItemIsCut() {
        QFETCH(bool, quoted);
        const QByteArray longItem(ItemReader::kMaxItemBytes * 3, 'x');
        const QByteArray text = (quoted ? '"' + longItem + '"' : longItem) + "\nnext\n";
        const QList<QByteArray> list = items(text);
        QCOMPARE(list.size(), 2);
        QCOMPARE(list[0], QByteArray(ItemReader::kMaxItemBytes, 'x'));
        QCOMPARE(list[1], QByteArray("next"));
    }
};

QTEST_MAIN(TestItemReader)
#include "tst_itemreader.moc"
