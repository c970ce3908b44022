#include "wSplash.h"

#include <QApplication>
#include <QtTest>

// The splash at start: modal while it shows, and its wait over once it has closed,
// however early it closes.
class TestSplash : public QObject {
    Q_OBJECT

    // Runs showUntilClosed(); a window that never lets it return is closed by a
    // watchdog after 20 s (shown again first, so that closing it ends any loop).
    static bool returnsByItself(wSplash& splash) {
        bool rescued = false;
        QTimer watchdog;
        watchdog.setSingleShot(true);
        QObject::connect(&watchdog, &QTimer::timeout, &splash, [&] {
            rescued = true;
            splash.show();
            splash.accept();
        });
        watchdog.start(20000);
        splash.showUntilClosed();
        return !rescued;
    }

private slots:
    // Qt lets pending events run while it shows a splash window: a close among them
    // came before a dialog's own loop started, and the start of the program waited
    // for ever (a loaded machine made a timer due just then).
    void closedWhileBeingShown() {
        wSplash splash;
        QTimer::singleShot(0, &splash, [&] { splash.Timer1_Timer(); });
        QVERIFY(returnsByItself(splash));
        QVERIFY(!splash.isVisible());
        QCOMPARE(splash.result(), int(QDialog::Accepted));
    }

    // The usual way: modal while shown, closed by its timer's handler.
    void closedByItsTimer() {
        wSplash splash;
        QWidget* modal = nullptr;
        bool timerRunning = false;
        QTimer later;
        later.setSingleShot(true);
        QObject::connect(&later, &QTimer::timeout, &splash, [&] {
            modal = QApplication::activeModalWidget();
            timerRunning = splash.Timer1->isActive();
            splash.Timer1_Timer();
        });
        later.start(50);
        QVERIFY(returnsByItself(splash));
        QCOMPARE(modal, &splash);
        QVERIFY(timerRunning); // its own 4-second timer, started when shown
        QCOMPARE(splash.Timer1->interval(), 4000);
        QVERIFY(!splash.Timer1->isActive());
        QVERIFY(!splash.isVisible());
    }
};

QTEST_MAIN(TestSplash)
#include "tst_wsplash.moc"
