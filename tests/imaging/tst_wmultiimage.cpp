#include "PictureBox.h"
#include "SystemMetrics.h"
#include "wMultiImage.h"

#include <QMdiArea>
#include <QMdiSubWindow>
#include <QtTest>

class TestWMultiImage : public QObject {
    Q_OBJECT
    QMdiArea* m_area = nullptr;

private slots:
    void initTestCase() {
        m_area = new QMdiArea;
        m_area->resize(1600, 1200);
        m_area->show();
    }
    void cleanupTestCase() { delete m_area; }
    void init() { SystemMetrics::setOverride(18, 1, 1, 15, 15); }
    void cleanup() {
        wMultiImage::unload();
        SystemMetrics::setOverride(0, 0, 0, 0, 0);
    }

    void oneWindowForTheProgram() {
        QVERIFY(!wMultiImage::existing());
        wMultiImage* bank = wMultiImage::instance(m_area);
        QCOMPARE(wMultiImage::instance(m_area), bank);
        QCOMPARE(bank->objectName(), QStringLiteral("wMultiImage"));
        QCOMPARE(bank->caption(), QStringLiteral(" "));
        QVERIFY(bank->findChild<PictureBox*>("MasterImage"));
        QPointer<QWidget> frame = bank->parentWidget();
        wMultiImage::unload();
        QVERIFY(!wMultiImage::existing());
        QVERIFY(frame.isNull());
        QVERIFY(m_area->subWindowList().isEmpty());
        QVERIFY(wMultiImage::instance(m_area) != nullptr);
    }

    void layoutFitsThePictureOnEveryActivation() {
        wMultiImage* bank = wMultiImage::instance(m_area);
        bank->MasterImage()->setPicture(QImage(320, 240, QImage::Format_RGB32));
        bank->setCaption("Untitled ");
        bank->showWindow();
        const int cap = 18, bw = 1, bh = 1;
        auto* frame = qobject_cast<QMdiSubWindow*>(bank->parentWidget());
        QVERIFY(frame && frame->isVisible());
        QCOMPARE(bank->MasterImage()->pos(), QPoint(8, 10));
        QCOMPARE(frame->size(), QSize(320 + 20 + 2 * bw, 240 + 20 + cap + 2 * bh));
        QCOMPARE(frame->windowTitle(), QStringLiteral("Untitled "));
        // The whole picture shows inside the frame.
        QVERIFY(bank->rect().contains(bank->MasterImage()->geometry()));

        bank->MasterImage()->setPicture(QImage(640, 480, QImage::Format_RGB32));
        m_area->setActiveSubWindow(nullptr);
        m_area->setActiveSubWindow(frame);
        QCOMPARE(frame->size(), QSize(640 + 20 + 2 * bw, 480 + 20 + cap + 2 * bh));
    }
};

QTEST_MAIN(TestWMultiImage)
#include "tst_wmultiimage.moc"
