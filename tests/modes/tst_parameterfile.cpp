#include "ParameterFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

// The line format of the parameters file: numbers, markers, texts, encodings, and
// replacing a file in one step.
class tst_ParameterFile : public QObject {
    Q_OBJECT

private slots:
    void writesEveryLineWithCrLf() {
        ParameterFile f;
        f.addText(QStringLiteral("Video Kelvanor File"));
        f.addNumber(5);
        f.addNumber(0);
        f.addNumber(-1);
        f.addNumber(3723);
        f.addMarker(true, "TX", "NT");
        f.addMarker(false, "TX", "NT");
        f.addText(QString());
        f.addText(QStringLiteral("one\r\ntwo\nthree\rfour"));
        f.addText(QStringLiteral("Café"));
        QCOMPARE(f.bytes(), QByteArray("Video Kelvanor File\r\n 5\r\n 0\r\n-1\r\n 3723\r\nTX\r\nNT\r\n\r\n"
                                       "one two three four\r\nCaf\xC3\xA9\r\n"));
    }

    void readsNumbersAsTheClassicValueFunction_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<qint64>("minimum");
        QTest::addColumn<qint64>("maximum");
        QTest::addColumn<bool>("fits");
        QTest::addColumn<qint64>("value");
        const qint64 lo16 = -32768, hi16 = 32767, lo32 = -2147483648LL, hi32 = 2147483647LL;
        QTest::newRow("signed blank") << " 5" << lo16 << hi16 << true << qint64(5);
        QTest::newRow("minus one") << "-1" << lo16 << hi16 << true << qint64(-1);
        QTest::newRow("plus") << "+7" << lo16 << hi16 << true << qint64(7);
        QTest::newRow("tab and blanks") << " \t 42" << lo16 << hi16 << true << qint64(42);
        QTest::newRow("empty reads 0") << "" << lo16 << hi16 << true << qint64(0);
        QTest::newRow("garbage reads 0") << "abc" << lo16 << hi16 << true << qint64(0);
        QTest::newRow("sign alone reads 0") << " - 5" << lo16 << hi16 << true << qint64(0);
        QTest::newRow("stops at letters") << "  12abc" << lo16 << hi16 << true << qint64(12);
        QTest::newRow("stops at a blank") << "1 2" << lo16 << hi16 << true << qint64(1);
        QTest::newRow("half to even down") << "2.5" << lo16 << hi16 << true << qint64(2);
        QTest::newRow("half to even up") << "3.5" << lo16 << hi16 << true << qint64(4);
        QTest::newRow("negative half") << "-2.5" << lo16 << hi16 << true << qint64(-2);
        QTest::newRow("point first") << ".6" << lo16 << hi16 << true << qint64(1);
        QTest::newRow("exponent") << "1e3" << lo16 << hi16 << true << qint64(1000);
        QTest::newRow("exponent without digits") << "7e" << lo16 << hi16 << true << qint64(7);
        QTest::newRow("16-bit top") << "32767" << lo16 << hi16 << true << qint64(32767);
        QTest::newRow("past 16 bits") << "32768" << lo16 << hi16 << false << qint64(0);
        QTest::newRow("past 32 bits") << "2147483648" << lo32 << hi32 << false << qint64(0);
        QTest::newRow("32-bit bottom") << "-2147483648" << lo32 << hi32 << true << lo32;
        QTest::newRow("huge") << "99999999999999999999999999" << lo32 << hi32 << false << qint64(0);
        QTest::newRow("overflowing exponent") << "1e400" << lo32 << hi32 << false << qint64(0);
        QTest::newRow("below a list") << "-2" << qint64(-1) << qint64(3) << false << qint64(0);
        QTest::newRow("0 outside the range") << "x" << qint64(1) << qint64(40) << false << qint64(0);
    }
    void readsNumbersAsTheClassicValueFunction() {
        QFETCH(QString, line);
        QFETCH(qint64, minimum);
        QFETCH(qint64, maximum);
        QFETCH(bool, fits);
        QFETCH(qint64, value);
        const std::optional<qint64> read = ParameterFile::toInteger(line, minimum, maximum);
        QCOMPARE(read.has_value(), fits);
        if (fits) QCOMPARE(*read, value);
    }

    void splitsAndDecodesLines_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("crlf") << QByteArray("a\r\n 1\r\n") << QStringList{"a", " 1"};
        QTest::newRow("empty lines kept") << QByteArray("\r\n\r\nx\r\n") << QStringList{"", "", "x"};
        QTest::newRow("lf and cr alone") << QByteArray("a\nb\rc\r\n") << QStringList{"a", "b", "c"};
        QTest::newRow("last line without end") << QByteArray("a\r\nb") << QStringList{"a", "b"};
        QTest::newRow("utf-8") << QByteArray("Caf\xC3\xA9\r\n") << QStringList{"Café"};
        QTest::newRow("utf-8 mark dropped") << QByteArray("\xEF\xBB\xBFKLP\r\n") << QStringList{"KLP"};
        QTest::newRow("windows-1252") << QByteArray("Caf\xE9 \x80 \x93ok\x94\r\n\xDC\r\n")
                                      << QStringList{QStringLiteral("Café € “ok”"), QStringLiteral("Ü")};
        QTest::newRow("empty file") << QByteArray() << QStringList{};
    }
    void splitsAndDecodesLines() {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, lines);
        ParameterFile f = ParameterFile::fromBytes(bytes);
        QCOMPARE(f.lines(), lines);
        for (const QString& line : lines)
            QCOMPARE(f.takeLine().value_or(QStringLiteral("<end>")), line);
        QVERIFY(!f.takeLine());
    }

    void replacesAFileInOneStep() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("set.klp"));
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("an older and much longer file than the new one\r\n");
        old.close();
        ParameterFile f;
        f.addText(QStringLiteral("KLP"));
        QVERIFY(f.write(path));
        QFile now(path);
        QVERIFY(now.open(QIODevice::ReadOnly));
        QCOMPARE(now.readAll(), QByteArray("KLP\r\n"));
        // Nothing is left beside it.
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"set.klp"});
    }

    void unwritablePathSaysWhy() {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("plain"));
        QFile plain(file);
        QVERIFY(plain.open(QIODevice::WriteOnly));
        plain.close();
        ParameterFile f;
        f.addText(QStringLiteral("KLP"));
        QString reason;
        QVERIFY(!f.write(file + QStringLiteral("/under/a/file.klp"), &reason)); // fails for root too
        QVERIFY(!reason.isEmpty());
        ParameterFile r;
        QVERIFY(!r.read(dir.filePath(QStringLiteral("missing.klp")), &reason));
        QVERIFY(!reason.isEmpty());
    }
};

QTEST_MAIN(tst_ParameterFile)
#include "tst_parameterfile.moc"
