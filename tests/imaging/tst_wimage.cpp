#include "Clipboard.h"
#include "CommonDialog.h"
#include "KeyedToolbar.h"
#include "MsgBox.h"
#include "PictureBox.h"
#include "Printer.h"
#include "SmartPanel.h"
#include "SystemMetrics.h"
#include "TextInsertion.h"
#include "wImage.h"

#include <QAction>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPrinterInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QtTest>

namespace {

QImage picture(int w, int h, QColor color = QColor(90, 120, 150)) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(color);
    return image;
}

QByteArray head(const QString& path, int n) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.read(n) : QByteArray();
}

} // namespace

class TestWImage : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    QMdiArea* m_area = nullptr;

    wImage* shownWindow(const QImage& image, const QString& caption = QStringLiteral("Untitled ")) {
        wImage* window = wImage::create(m_area, caption);
        window->MasterImage()->setPicture(image);
        window->MasterImage()->setAutoRedraw(true);
        window->showWindow();
        return window;
    }

private slots:
    void initTestCase() {
        m_area = new QMdiArea;
        m_area->resize(1600, 1200);
        m_area->show();
    }
    void cleanupTestCase() { delete m_area; }
    void init() {
        MsgBoxTest::enable();
        MsgBoxTest::clear();
        CommonDialogTest::enable();
        CommonDialogTest::clear();
        SystemMetrics::setOverride(18, 1, 1, 15, 15);
        Printer::reset();
    }
    void cleanup() {
        m_area->closeAllSubWindows();
        SystemMetrics::setOverride(0, 0, 0, 0, 0);
    }

    void toolbarButtons() {
        wImage* window = shownWindow(picture(40, 30));
        auto* toolbar = window->findChild<KeyedToolbar*>("Mastertoolbar");
        QVERIFY(toolbar);
        QCOMPARE(toolbar->parentWidget(), window->findChild<SmartPanel*>("MasterPanel"));
        QVERIFY(window->MasterPanel()->rect().contains(toolbar->geometry()));
        const QStringList keys{"open", "save", "print", "clipboard"};
        const QStringList tips{"Open", "Save as...", "Print Image", "Put On Clipboard"};
        QCOMPARE(toolbar->actions().size(), 4);
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(toolbar->actions()[i]->objectName(), keys[i]);
            QCOMPARE(toolbar->actions()[i]->toolTip(), tips[i]);
        }
        QCOMPARE(window->findChild<PictureBox*>("MasterImage"), window->MasterImage());
    }

    // The window fits the picture: picture + 20 px + two borders wide, and the
    // toolbar strip, the caption and two borders on top of picture + 20 px high.
    // The window fits the picture: picture + 20 px + two borders wide, and the
    // toolbar strip, the caption and two borders on top of picture + 20 px high.
    void layoutFitsThePicture() {
        wImage* window = shownWindow(picture(320, 240));
        auto* frame = qobject_cast<QMdiSubWindow*>(window->parentWidget());
        QVERIFY(frame);
        const int panelHeight = window->Mastertoolbar()->sizeHint().height() + 4;
        QCOMPARE(window->MasterPanel()->height(), panelHeight);
        QCOMPARE(window->MasterImage()->pos(), QPoint(8, panelHeight + 10));
        const QSize expected(320 + 2 * 1 + 20, panelHeight + 240 + 18 + 2 * 1 + 20);
        QCOMPARE(window->layoutSize(), expected);
        QCOMPARE(frame->size(), expected);
        // Activating again changes nothing.
        window->Form_Activate();
        m_area->setActiveSubWindow(nullptr);
        m_area->setActiveSubWindow(frame);
        QCOMPARE(frame->size(), expected);
        QCOMPARE(window->MasterImage()->pos(), QPoint(8, panelHeight + 10));
    }

    void mainInstanceIsReusedUntilClosed() {
        wImage* first = wImage::mainInstance(m_area);
        QCOMPARE(wImage::mainInstance(m_area), first);
        QCOMPARE(first->caption(), QStringLiteral("Untitled "));
        QVERIFY(wImage::create(m_area) != first);
        QPointer<wImage> closed = first;
        first->parentWidget()->close();
        QTRY_VERIFY(closed.isNull());
        wImage* second = wImage::mainInstance(m_area);
        QVERIFY(second);
        QCOMPARE(wImage::mainInstance(m_area), second);
    }

    void openingALargerPictureGrowsTheWindow() {
        wImage* window = shownWindow(picture(100, 80));
        const QString path = m_dir.filePath("big.bmp");
        QVERIFY(picture(500, 300).save(path, "BMP"));
        QVERIFY(window->openFile(path));
        QCOMPARE(window->caption(), QStringLiteral("big.bmp"));
        QCOMPARE(window->MasterImage()->size(), QSize(500, 300));
        QCOMPARE(window->parentWidget()->width(), 500 + 20 + 2 * 1);
        QVERIFY(window->MasterImage()->AutoRedraw());
    }

    void openingABadFileKeepsThePictureAndCaption() {
        wImage* window = shownWindow(picture(60, 40), QStringLiteral("mine.bmp"));
        const QString path = m_dir.filePath("broken.jpg");
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("not a picture");
        file.close();
        QVERIFY(!window->openFile(path));
        QCOMPARE(MsgBoxTest::texts(), QStringList{"Bad file format."});
        QCOMPARE(MsgBoxTest::shown()[0].style, MsgBoxStyle::vbCritical);
        QCOMPARE(window->caption(), QStringLiteral("mine.bmp"));
        QCOMPARE(window->MasterImage()->picture(), picture(60, 40));
    }

    void openPictureFileFromTheFileMenu() {
        const QString good = m_dir.filePath("good.jpg");
        QVERIFY(picture(64, 48).save(good, "JPG"));
        wImage* window = wImage::openPictureFile(m_area, good);
        QCOMPARE(window->caption(), QStringLiteral("good.jpg"));
        QCOMPARE(window->MasterImage()->size(), QSize(64, 48));
        QVERIFY(window->parentWidget()->isVisible());
        QVERIFY(MsgBoxTest::texts().isEmpty());

        wImage* empty = wImage::openPictureFile(m_area, m_dir.filePath("missing.bmp"));
        QCOMPARE(MsgBoxTest::texts(), QStringList{"Bad file format."});
        QCOMPARE(empty->caption(), QStringLiteral("missing.bmp"));
        QVERIFY(!empty->MasterImage()->hasPicture());
        QVERIFY(empty->MasterImage()->AutoRedraw());
        QVERIFY(empty->parentWidget()->isVisible());
    }

    // The file type is the path's last three letters in lower case.
    void saveChoosesTheFormatByTheEnding_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("magic");
        QTest::newRow("SHOT.JPG") << "SHOT.JPG" << QByteArray("\xFF\xD8\xFF", 3);
        QTest::newRow("shot.jpg") << "shot.jpg" << QByteArray("\xFF\xD8\xFF", 3);
        QTest::newRow("Frame.BMP") << "Frame.BMP" << QByteArray("BM");
        QTest::newRow("x.jpeg") << "x.jpeg" << QByteArray();
        QTest::newRow("x.png") << "x.png" << QByteArray();
    }
    void saveChoosesTheFormatByTheEnding() {
        QFETCH(QString, name);
        QFETCH(QByteArray, magic);
        wImage* window = shownWindow(picture(80, 60));
        const QString path = m_dir.filePath(name);
        CommonDialogTest::queueFile(path);
        window->Mastertoolbar_ButtonClick("save");
        QCOMPARE(CommonDialogTest::shown().size(), size_t(1));
        const CommonDialogTest::Shown& dialog = CommonDialogTest::shown().front();
        QVERIFY(dialog.kind == CommonDialogTest::Kind::Save);
        QCOMPARE(dialog.fileName, QStringLiteral("Untitled "));
        QCOMPARE(dialog.filter, QStringLiteral("Bitmap File (*.bmp)|*.bmp|JPEG Image File (*.jpg)|*.jpg|"));
        QCOMPARE(head(path, magic.size()), magic);
        QCOMPARE(QFile::exists(path), !magic.isEmpty());
        QCOMPARE(window->caption(), magic.isEmpty() ? QStringLiteral("Untitled ") : name);
        QVERIFY(MsgBoxTest::texts().isEmpty());
        QFile::remove(path);
    }

    void savedBitmapHoldsTheStamps() {
        wImage* window = shownWindow(picture(120, 50, Qt::black));
        StampSettings settings;
        settings.textOn = true;
        settings.text = QStringLiteral("WWW");
        settings.textColor = 0xFFFFFF;
        StampFrame(*window->MasterImage(), settings);
        const QString path = m_dir.filePath("stamped.bmp");
        window->saveFile(path);
        const QImage saved(path);
        QCOMPARE(saved.size(), QSize(120, 50));
        QCOMPARE(saved.convertToFormat(QImage::Format_RGB32),
                 window->MasterImage()->image().convertToFormat(QImage::Format_RGB32));
    }

    void unwritableBitmapIsReported() {
        wImage* window = shownWindow(picture(20, 20));
        const QString path = m_dir.filePath("gone/a.bmp");
        window->saveFile(path);
        QCOMPARE(MsgBoxTest::texts().size(), 1);
        QVERIFY(MsgBoxTest::texts().front().startsWith("Error writing " + path + ": "));
        QVERIFY(MsgBoxTest::texts().front().size() > QString("Error writing " + path + ": ").size());
        QVERIFY(!QFile::exists(path));
    }

    void cancelledDialogsDoNothing() {
        wImage* window = shownWindow(picture(20, 20));
        window->Mastertoolbar_ButtonClick("open"); // the dialog test mode answers "cancel"
        window->Mastertoolbar_ButtonClick("save");
        window->Mastertoolbar_ButtonClick("nothing");
        QCOMPARE(window->caption(), QStringLiteral("Untitled "));
        QVERIFY(MsgBoxTest::texts().isEmpty());
        QCOMPARE(CommonDialogTest::shown().size(), size_t(2));
        QCOMPARE(CommonDialogTest::shown().front().filter,
                 QStringLiteral(
                     "All files |*.bmp;*.jpg|Bitmap File (*.bmp)|*.bmp|JPEG Image File (*.jpg)|*.jpg|"));
    }

    void openFromTheToolbar() {
        wImage* window = shownWindow(picture(20, 20));
        const QString path = m_dir.filePath("toolbar.bmp");
        QVERIFY(picture(33, 22).save(path, "BMP"));
        CommonDialogTest::queueFile(path);
        window->Mastertoolbar()->button("open")->trigger();
        QCOMPARE(window->caption(), QStringLiteral("toolbar.bmp"));
        QCOMPARE(window->MasterImage()->size(), QSize(33, 22));
    }

    void printMakesOnePage() {
        wImage* window = shownWindow(picture(300, 200));
        const QString pdf = m_dir.filePath("print.pdf");
        Printer::setPdfOutput(pdf);
        window->Mastertoolbar_ButtonClick("print");
        QVERIFY(MsgBoxTest::texts().isEmpty());
        QVERIFY(QFileInfo(pdf).size() > 0);
        QCOMPARE(head(pdf, 5), QByteArray("%PDF-"));
        if (QStandardPaths::findExecutable("pdfinfo").isEmpty())
            QSKIP("pdfinfo (poppler-utils) is not installed");
        QProcess info;
        info.start("pdfinfo", {pdf});
        QVERIFY(info.waitForFinished(30000));
        QVERIFY(info.readAllStandardOutput().contains("Pages:           1\n"));
        // The page shows the picture in the top-left of the printable area.
        if (QStandardPaths::findExecutable("pdftoppm").isEmpty())
            QSKIP("pdftoppm (poppler-utils) is not installed");
        QProcess render;
        render.start("pdftoppm", {"-r", "24", "-png", "-singlefile", pdf, m_dir.filePath("page")});
        QVERIFY(render.waitForFinished(30000));
        const QImage page(m_dir.filePath("page.png"));
        QVERIFY(!page.isNull());
        int pictured = 0;
        for (int y = 0; y < page.height() / 2; ++y)
            for (int x = 0; x < page.width() / 2; ++x)
                if (qAbs(qRed(page.pixel(x, y)) - 90) < 12 && qAbs(qBlue(page.pixel(x, y)) - 150) < 12)
                    ++pictured;
        QVERIFY2(pictured > 100, qPrintable(QString::number(pictured)));
    }

    void printWithoutAPrinterSaysSo() {
        if (!QPrinterInfo::defaultPrinter().isNull()) QSKIP("this machine has a default printer");
        wImage* window = shownWindow(picture(30, 20));
        QVERIFY(!window->printImage());
        QCOMPARE(MsgBoxTest::texts(),
                 QStringList{"The picture could not be printed: No default printer is set up."});
        QCOMPARE(MsgBoxTest::shown()[0].style, MsgBoxStyle::vbCritical);
    }

    void clipboardTakesTheComposedImage() {
        wImage* window = shownWindow(picture(50, 40, Qt::black));
        StampSettings settings;
        settings.textOn = true;
        settings.text = QStringLiteral("X");
        settings.textColor = 0xFFFFFF;
        StampFrame(*window->MasterImage(), settings);
        window->Mastertoolbar_ButtonClick("clipboard");
        QCOMPARE(MsgBoxTest::texts(), QStringList{"Image on Clipboard."});
        QCOMPARE(MsgBoxTest::shown()[0].style, MsgBoxStyle::vbInformation);
        QCOMPARE(Clipboard::picture().convertToFormat(QImage::Format_RGB32),
                 window->MasterImage()->image().convertToFormat(QImage::Format_RGB32));
        QVERIFY(Clipboard::picture().convertToFormat(QImage::Format_RGB32) != picture(50, 40, Qt::black));
    }
};

QTEST_MAIN(TestWImage)
#include "tst_wimage.moc"
