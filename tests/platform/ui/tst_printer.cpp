#include "Printer.h"

#include <QPrinterInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QtTest>

class TestPrinter : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

private slots:
    void cleanup() { Printer::reset(); }

    // One page whatever the picture's size: a picture larger than the page is shrunk.
    void printsOnePage_data() {
        QTest::addColumn<QSize>("size");
        QTest::newRow("small") << QSize(320, 240);
        QTest::newRow("larger than the page") << QSize(4000, 6000);
    }
    void printsOnePage() {
        QFETCH(QSize, size);
        QImage image(size, QImage::Format_RGB32);
        image.fill(Qt::darkCyan);
        const QString pdf = m_dir.filePath("page.pdf");
        QFile::remove(pdf);
        Printer::setPdfOutput(pdf);
        QString error;
        QVERIFY2(Printer::printImage(image, "test", &error), qPrintable(error));
        QFile file(pdf);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.read(5), QByteArray("%PDF-"));
        if (QStandardPaths::findExecutable("pdfinfo").isEmpty())
            QSKIP("pdfinfo (poppler-utils) is not installed");
        QProcess info;
        info.start("pdfinfo", {pdf});
        QVERIFY(info.waitForFinished(30000));
        QVERIFY(info.readAllStandardOutput().contains("Pages:           1\n"));
    }

    void nullPictureIsRefused() {
        Printer::setPdfOutput(m_dir.filePath("none.pdf"));
        QString error;
        QVERIFY(!Printer::printImage(QImage(), "test", &error));
        QVERIFY(!error.isEmpty());
        QVERIFY(!QFile::exists(m_dir.filePath("none.pdf")));
    }

    void withoutADefaultPrinterItSaysSo() {
        if (!QPrinterInfo::defaultPrinter().isNull()) QSKIP("this machine has a default printer");
        QImage image(10, 10, QImage::Format_RGB32);
        image.fill(Qt::white);
        QString error;
        QVERIFY(!Printer::printImage(image, "test", &error));
        QCOMPARE(error, QStringLiteral("No default printer is set up."));
    }
};

QTEST_MAIN(TestPrinter)
#include "tst_printer.moc"
