#include "wAboutWindow.h"

#include <QMouseEvent>
#include <QRegularExpression>
#include <QtTest>

// The About window: its version text, the scrolling text and the slide show. The
// timers' handlers are driven directly.
class TestAboutWindow : public QObject {
    Q_OBJECT

    static int shownPhotos(const wAboutWindow& w) {
        int n = 0;
        for (QLabel* p : w.AboutPhoto)
            n += p->isVisibleTo(const_cast<wAboutWindow*>(&w)) ? 1 : 0;
        return n;
    }

private slots:
    void versionText_data() {
        QTest::addColumn<int>("major");
        QTest::addColumn<int>("minor");
        QTest::addColumn<int>("revision");
        QTest::addColumn<QString>("text");
        QTest::newRow("3.1.5") << 3 << 1 << 5 << " 3.01.05";
        QTest::newRow("3.0.2: beta") << 3 << 0 << 2 << " 3.02 Beta Release";
        QTest::newRow("two-digit parts are not cut") << 12 << 345 << 10 << " 12.345.10";
        QTest::newRow("0.0.0") << 0 << 0 << 0 << " 0.00 Beta Release";
    }
    void versionText() {
        QFETCH(int, major);
        QFETCH(int, minor);
        QFETCH(int, revision);
        QFETCH(QString, text);
        QCOMPARE(wAboutWindow::VersionText(major, minor, revision), text);
    }

    void loadShowsTheProgramsVersionTextBelowTheFrameAndPicture0() {
        wAboutWindow w;
        // The program's own version, in the About window's form.
        QVERIFY2(QRegularExpression(QStringLiteral("^ \\d+\\.\\d\\d+(\\.\\d\\d+| Beta Release)$"))
                     .match(w.Build->text())
                     .hasMatch(),
                 qPrintable(w.Build->text()));
        QCOMPARE(w.AboutText->y(), w.TextFrame->height());
        QCOMPARE(w.AboutText->x(), (w.TextFrame->width() - w.AboutText->width()) / 2);
        QCOMPARE(w.CurrentPhoto, qint16(0));
        QCOMPARE(shownPhotos(w), 1);
        QVERIFY(w.AboutPhoto[0]->isVisibleTo(&w));
        for (QLabel* p : w.AboutPhoto) {
            QVERIFY(!p->pixmap().isNull());
            QCOMPARE(p->y(), w.TextFrame->y());
            QCOMPARE(p->height(), w.TextFrame->height());
        }
        QCOMPARE(w.Timer1->interval(), 5);
        QCOMPARE(w.Timer2->interval(), 6000);
        QVERIFY(w.Timer1->isActive() && w.Timer2->isActive());
        // The text names the program and its libraries with their licences.
        const QString text = wAboutWindow::aboutText();
        for (const char* name :
             {"Video Kelvanor 2000", "Qt", "FFmpeg", "libjpeg-turbo", "libv4l2", "PulseAudio", "LGPL"})
            QVERIFY2(text.contains(QLatin1String(name)), name);
    }

    // The text climbs two pixels a tick and comes back below the frame as soon as it
    // has left at the top, whatever the heights of text and frame.
    void textWrapsOnceItHasLeft_data() {
        QTest::addColumn<int>("textHeight");
        QTest::newRow("text taller than the frame") << 0; // the window's own text
        QTest::newRow("odd height") << 31;
        QTest::newRow("short text") << 10;
    }
    void textWrapsOnceItHasLeft() {
        QFETCH(int, textHeight);
        wAboutWindow w;
        w.Timer1->stop();
        if (textHeight > 0) w.AboutText->resize(w.AboutText->width(), textHeight);
        const int h = w.AboutText->height();
        const int frame = w.TextFrame->height();
        int ticks = 0;
        while (w.AboutText->y() > -h) {
            const int before = w.AboutText->y();
            w.Timer1_Timer();
            QCOMPARE(w.AboutText->y(), before - 2);
            QVERIFY(++ticks < 100000);
        }
        // Gone at the top: the next tick starts again below the frame.
        w.Timer1_Timer();
        QCOMPARE(w.AboutText->y(), frame - 2);
        QCOMPARE(ticks, (frame + h + 1) / 2);
    }

    void picture3IsFollowedBy0() {
        wAboutWindow w;
        for (int expected : {1, 2, 3, 0, 1}) {
            w.Timer2_Timer();
            QCOMPARE(w.CurrentPhoto, qint16(expected));
            QCOMPARE(shownPhotos(w), 1);
            QVERIFY(w.AboutPhoto[expected]->isVisibleTo(&w));
        }
    }

    void clicksOnTheTextPauseAndResumeTheSlideShow() {
        wAboutWindow w;
        w.show();
        QTest::mouseClick(w.AboutText, Qt::LeftButton);
        QVERIFY(!w.Timer2->isActive());
        QVERIFY(w.Timer1->isActive()); // the text keeps scrolling
        QTest::mouseClick(w.AboutText, Qt::LeftButton);
        QVERIFY(w.Timer2->isActive());
        QCOMPARE(w.Timer2->interval(), 6000);
    }

    void okCloses() {
        wAboutWindow w;
        w.show();
        QTest::mouseClick(w.Command1, Qt::LeftButton);
        QVERIFY(!w.isVisible());
        QCOMPARE(w.result(), int(QDialog::Accepted));
        QVERIFY(!w.Timer1->isActive());
    }
};

QTEST_MAIN(TestAboutWindow)
#include "tst_waboutwindow.moc"
