#include "Clock.h"
#include "ScheduledStart.h"

#include <QSignalSpy>
#include <QtTest>

// A zone with summer time, set before Qt reads the zone, so the clock's changes in
// spring and autumn can be played through.
[[maybe_unused]] static const bool kZoneSet = qputenv("TZ", "Europe/Berlin");

// The delayed start without a window, on a clock the test sets; each check is called
// as its timer would call it.
class tst_ScheduledWait : public QObject {
    Q_OBJECT

    const QDateTime kNow{QDate(2024, 6, 15), QTime(10, 20, 30)};

private slots:
    void cleanup() { Clock::reset(); }

    void momentHasCome_data() {
        QTest::addColumn<QDateTime>("now");
        QTest::addColumn<QDate>("date");
        QTest::addColumn<QTime>("time");
        QTest::addColumn<bool>("come");
        const QDate day(2024, 6, 15);
        QTest::newRow("a second before")
            << QDateTime(day, QTime(10, 20, 29)) << day << QTime(10, 20, 30) << false;
        QTest::newRow("the second itself")
            << QDateTime(day, QTime(10, 20, 30)) << day << QTime(10, 20, 30) << true;
        QTest::newRow("a late check") << QDateTime(day, QTime(11, 0, 0)) << day << QTime(10, 20, 30) << true;
        QTest::newRow("the day before, later hour")
            << QDateTime(day.addDays(-1), QTime(23, 0, 0)) << day << QTime(10, 0, 0) << false;
        QTest::newRow("the day after, earlier hour")
            << QDateTime(day.addDays(1), QTime(1, 0, 0)) << day << QTime(10, 0, 0) << true;
        QTest::newRow("no such day") << QDateTime(day, QTime(10, 0, 0)) << QDate(2024, 2, 30)
                                     << QTime(0, 0, 0) << false;
        // 31 March 2024 02:00 does not exist in Berlin: the first second after the gap.
        QTest::newRow("in the spring gap")
            << QDateTime(QDate(2024, 3, 31), QTime(3, 0, 0)) << QDate(2024, 3, 31) << QTime(2, 30, 0) << true;
    }
    void momentHasCome() {
        QFETCH(QDateTime, now);
        QFETCH(QDate, date);
        QFETCH(QTime, time);
        QFETCH(bool, come);
        QCOMPARE(ScheduledMomentHasCome(now, date, time), come);
    }

    void aDelayIsDueWhenItsSecondsHavePassed() {
        Clock::set(kNow);
        ScheduledWait wait;
        QSignalSpy due(&wait, &ScheduledWait::due);
        wait.setDelay(3);
        wait.start();
        QCOMPARE(due.count(), 0);
        QCOMPARE(wait.remainingMs(), qint64(3000));
        Clock::advance(2999);
        wait.check();
        QCOMPARE(due.count(), 0);
        Clock::advance(1);
        wait.check();
        QCOMPARE(due.count(), 1);
        QVERIFY(wait.isDone());
        // Once only, whatever checks come after.
        Clock::advance(5000);
        wait.check();
        QCOMPARE(due.count(), 1);
    }

    void aZeroDelayIsDueAtOnce() {
        Clock::set(kNow);
        ScheduledWait wait;
        QSignalSpy due(&wait, &ScheduledWait::due);
        wait.setDelay(0);
        wait.start();
        QCOMPARE(due.count(), 1);
    }

    void aMomentIsDueAtItsSecond() {
        Clock::set(kNow);
        ScheduledWait wait;
        QSignalSpy due(&wait, &ScheduledWait::due);
        wait.setMoment(kNow.addSecs(90));
        wait.start();
        QCOMPARE(due.count(), 0);
        QCOMPARE(wait.remainingMs(), qint64(90000));
        Clock::advance(89999);
        wait.check();
        QCOMPARE(due.count(), 0);
        // A clock set back meanwhile puts the start off again.
        Clock::set(kNow);
        wait.check();
        QCOMPARE(due.count(), 0);
        Clock::set(kNow.addSecs(90));
        wait.check();
        QCOMPARE(due.count(), 1);
    }
};

QTEST_GUILESS_MAIN(tst_ScheduledWait)
#include "tst_scheduledwait.moc"
