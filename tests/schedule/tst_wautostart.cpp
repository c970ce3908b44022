#include "Clock.h"
#include "MSVIDEO.h"
#include "Master.h"
#include "MsgBox.h"
#include "Vars.h"
#include "cMaster.h"
#include "wAutostart.h"

#include <QtTest>
#include <memory>

// The whole test runs in a zone with summer time, set before Qt reads the zone, so
// the changes of the clock in spring and autumn can be played through.
[[maybe_unused]] static const bool kZoneSet = qputenv("TZ", "Europe/Berlin");

// The scheduled-start window with the clock set to chosen moments; its timers are
// driven by calling their handlers. The capture action is seen through its first
// step, the CloseScheduledStart hook.
class tst_wAutostart : public QObject {
    Q_OBJECT

    std::unique_ptr<Master> m;
    int m_captures = 0;
    // Saturday 15 June 2024, 10:20:30.
    const QDateTime kNow{QDate(2024, 6, 15), QTime(10, 20, 30)};

    wAutostart* open() {
        wAutostart* w = wAutostart::Show(*m);
        return w;
    }
    static QList<int> countdown(const wAutostart* w) {
        return {w->chor->value(), w->cmin->value(), w->csec->value()};
    }
    static QStringList countdownLabels(const wAutostart* w) {
        return {w->dhor->text(), w->dmin->text(), w->dsec->text()};
    }
    static void setCountdown(wAutostart* w, int h, int mi, int s) {
        w->chor->setValue(h);
        w->cmin->setValue(mi);
        w->csec->setValue(s);
    }
    // The chosen date and time as "yyyy-MM-dd hh:mm:ss" from the lists and spin controls.
    static QString chosen(const wAutostart* w) {
        return QStringLiteral("%1-%2-%3 %4:%5:%6")
            .arg(w->ano->currentText())
            .arg(w->mes->currentIndex() + 1, 2, 10, QLatin1Char('0'))
            .arg(w->dia->currentText().toInt(), 2, 10, QLatin1Char('0'))
            .arg(w->bh->value(), 2, 10, QLatin1Char('0'))
            .arg(w->bm->value(), 2, 10, QLatin1Char('0'))
            .arg(w->bs->value(), 2, 10, QLatin1Char('0'));
    }
    static void choose(wAutostart* w, int yearIndex, int month, int day, int h, int mi, int s) {
        w->ano->setCurrentIndex(yearIndex);
        w->mes->setCurrentIndex(month - 1);
        w->dia->setCurrentIndex(day - 1);
        w->bh->setValue(h);
        w->bm->setValue(mi);
        w->bs->setValue(s);
    }
    static void closedWindowsGo() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

private slots:
    void initTestCase() { MsgBoxTest::enable(); }

    void init() {
        MSVIDEO::reset();
        Vars::reset();
        Clock::set(kNow);
        m = std::make_unique<Master>();
        cMaster::SelectWebcamMode(*m); // its capture action does nothing but close the window
        m_captures = 0;
        cMaster::CloseScheduledStart = [this] {
            ++m_captures;
            wAutostart::CloseIfOpen();
        };
    }
    void cleanup() {
        wAutostart::CloseIfOpen();
        closedWindowsGo();
        cMaster::CloseScheduledStart = nullptr;
        m.reset();
        Clock::reset();
    }

    void opensOnTheCountdownWithTheStoredValues() {
        wAutostart* w = open();
        QCOMPARE(w->windowTitle(), QStringLiteral("Autostart"));
        QCOMPARE(w->counttag->currentIndex(), 0);
        QCOMPARE(w->counttag->tabText(0), QStringLiteral("by CountDown"));
        QCOMPARE(w->counttag->tabText(1), QStringLiteral("by Time and Date"));
        QVERIFY(!w->countframe[2]->isHidden());
        QVERIFY(w->countframe[1]->isHidden());
        QCOMPARE(countdown(w), (QList<int>{0, 0, 10}));
        QCOMPARE(countdownLabels(w), (QStringList{"00", "00", "10"}));
        QCOMPARE(w->hd->text(), QStringLiteral("00"));
        QVERIFY(w->CDTimer->isActive());
        QVERIFY(!w->tcountdown->isActive());
        QVERIFY(!w->tdata->isActive());
        // The year list starts at the present year and has eleven entries.
        QCOMPARE(w->ano->count(), 11);
        QCOMPARE(w->ano->itemText(0), QStringLiteral("2024"));
        QCOMPARE(w->ano->itemText(10), QStringLiteral("2034"));
        QCOMPARE(w->ano->currentIndex(), 0);
        QCOMPARE(w->mes->count(), 12);
        QCOMPARE(w->mes->currentIndex(), 5);
        QCOMPARE(w->mes->itemText(0), QLocale::system().monthName(1));
        QCOMPARE(w->dia->count(), 31);
        QCOMPARE(w->dia->currentText(), QStringLiteral("15"));
        QCOMPARE(w->RealDate->text(), QLocale::system().dayName(6) + QStringLiteral(", 15 ") +
                                          QLocale::system().monthName(6) + QStringLiteral(" 2024"));
        QVERIFY(w->RealTime->text().contains(QStringLiteral("10:20:30")));
        QStringList captions;
        for (QLabel* l : w->effects)
            captions << l->text();
        QCOMPARE(captions, (QStringList{"Hour", "Minutes", "Seconds", "Hour", "Minutes", "Seconds", "Month",
                                        "Year", "Day"}));
        // A second click on the button raises the same window.
        QCOMPARE(open(), w);
    }

    void tabsShowTheirFrames() {
        wAutostart* w = open();
        w->counttag->setCurrentIndex(1);
        QVERIFY(w->countframe[2]->isHidden());
        QVERIFY(!w->countframe[1]->isHidden());
        w->counttag->setCurrentIndex(0);
        QVERIFY(!w->countframe[2]->isHidden());
        QVERIFY(w->countframe[1]->isHidden());
    }

    void storedValuesOutOfRangeAreLeft() {
        Vars::ScheduledStartHours = 24;
        Vars::ScheduledStartMinutes = 7;
        Vars::ScheduledStartSeconds = -1;
        QCOMPARE(countdown(open()), (QList<int>{0, 7, 0}));
    }

    void countdownBorrows_data() {
        QTest::addColumn<QList<int>>("before");
        QTest::addColumn<QList<int>>("after");
        QTest::newRow("1:00:00") << QList<int>{1, 0, 0} << QList<int>{0, 59, 59};
        QTest::newRow("0:01:00") << QList<int>{0, 1, 0} << QList<int>{0, 0, 59};
        QTest::newRow("2:30:00") << QList<int>{2, 30, 0} << QList<int>{2, 29, 59};
        QTest::newRow("0:00:05") << QList<int>{0, 0, 5} << QList<int>{0, 0, 4};
        QTest::newRow("23:59:59") << QList<int>{23, 59, 59} << QList<int>{23, 59, 58};
    }
    void countdownBorrows() {
        QFETCH(QList<int>, before);
        QFETCH(QList<int>, after);
        wAutostart* w = open();
        setCountdown(w, before[0], before[1], before[2]);
        w->start_Click();
        w->tcountdown_Timer();
        QCOMPARE(countdown(w), after);
        QCOMPARE(m_captures, 0);
    }

    // N seconds reach 0:00:00 after N ticks; tick N + 1 starts the capture, which
    // closes the window and leaves 0:00:00 stored.
    void countdownStartsTheCaptureOnceAndStoresZero() {
        wAutostart* w = open();
        setCountdown(w, 0, 0, 3);
        w->start_Click();
        QVERIFY(w->tcountdown->isActive());
        QVERIFY(w->start->isHidden());
        QVERIFY(w->chor->isHidden() && w->cmin->isHidden() && w->csec->isHidden());
        QVERIFY(!w->dsec->isHidden());
        QVERIFY(!w->counttag->isEnabled());
        QVERIFY(w->cancelbutton->isEnabled());
        for (int tick = 0; tick < 3; ++tick)
            w->tcountdown_Timer();
        QCOMPARE(countdownLabels(w), (QStringList{"00", "00", "00"}));
        QCOMPARE(m_captures, 0);
        QPointer<wAutostart> guard(w);
        w->tcountdown_Timer();
        QCOMPARE(m_captures, 1);
        closedWindowsGo();
        QVERIFY(!guard);
        QCOMPARE(wAutostart::instance(), nullptr);
        QCOMPARE(Vars::ScheduledStartSeconds, qint16(0));
        QCOMPARE(countdown(open()), (QList<int>{0, 0, 0}));
    }

    void cancelKeepsTheCountdownForNextTime() {
        wAutostart* w = open();
        setCountdown(w, 0, 1, 30);
        w->cancelbutton->click();
        closedWindowsGo();
        QCOMPARE(wAutostart::instance(), nullptr);
        QCOMPARE(Vars::ScheduledStartHours, qint16(0));
        QCOMPARE(Vars::ScheduledStartMinutes, qint16(1));
        QCOMPARE(Vars::ScheduledStartSeconds, qint16(30));
        QCOMPARE(countdown(open()), (QList<int>{0, 1, 30}));
        QCOMPARE(m_captures, 0);
    }

    // The clock tick keeps the chosen date and time from lying in the past.
    void clockKeepsTheChoiceAhead_data() {
        QTest::addColumn<QList<int>>("choice"); // year index, month, day, hour, minute, second
        QTest::addColumn<int>("ticks");
        QTest::addColumn<QString>("result");
        QTest::newRow("10 June -> 15 June") << QList<int>{0, 6, 10, 12, 0, 0} << 1 << "2024-06-15 12:00:00";
        QTest::newRow("10 May: month first") << QList<int>{0, 5, 10, 12, 0, 0} << 1 << "2024-06-10 12:00:00";
        QTest::newRow("10 May: then the day") << QList<int>{0, 5, 10, 12, 0, 0} << 2 << "2024-06-15 12:00:00";
        QTest::newRow("next year left alone") << QList<int>{1, 1, 1, 0, 0, 0} << 1 << "2025-01-01 00:00:00";
        QTest::newRow("a later day keeps its time")
            << QList<int>{0, 6, 20, 9, 0, 0} << 1 << "2024-06-20 09:00:00";
        QTest::newRow("today, earlier hour") << QList<int>{0, 6, 15, 9, 0, 0} << 1 << "2024-06-15 10:20:30";
        QTest::newRow("today, this hour, earlier minute")
            << QList<int>{0, 6, 15, 10, 5, 50} << 1 << "2024-06-15 10:20:50";
        QTest::newRow("today, this minute, earlier second")
            << QList<int>{0, 6, 15, 10, 20, 10} << 1 << "2024-06-15 10:20:30";
        QTest::newRow("today, later") << QList<int>{0, 6, 15, 11, 0, 0} << 1 << "2024-06-15 11:00:00";
    }
    void clockKeepsTheChoiceAhead() {
        QFETCH(QList<int>, choice);
        QFETCH(int, ticks);
        QFETCH(QString, result);
        wAutostart* w = open();
        choose(w, choice[0], choice[1], choice[2], choice[3], choice[4], choice[5]);
        for (int i = 0; i < ticks; ++i)
            w->CDTimer_Timer();
        QCOMPARE(chosen(w), result);
    }

    void clockFollowsTheTime() {
        wAutostart* w = open();
        Clock::set(QDateTime(QDate(2024, 6, 16), QTime(0, 0, 5)));
        w->CDTimer_Timer();
        QVERIFY(w->RealDate->text().startsWith(QLocale::system().dayName(7) + QStringLiteral(", 16 ")));
        QVERIFY(w->RealTime->text().contains(QStringLiteral("00:00:05")));
    }

    // The watch starts at the chosen second, or on the first tick after it.
    void dateAndTimeWatch_data() {
        QTest::addColumn<QDateTime>("tick");
        QTest::addColumn<bool>("starts");
        QTest::newRow("a second early") << QDateTime(QDate(2024, 6, 15), QTime(10, 30, 39)) << false;
        QTest::newRow("on the second") << QDateTime(QDate(2024, 6, 15), QTime(10, 30, 40)) << true;
        QTest::newRow("a late tick") << QDateTime(QDate(2024, 6, 15), QTime(10, 30, 42)) << true;
        QTest::newRow("the day before") << QDateTime(QDate(2024, 6, 14), QTime(10, 30, 40)) << false;
    }
    void dateAndTimeWatch() {
        QFETCH(QDateTime, tick);
        QFETCH(bool, starts);
        wAutostart* w = open();
        w->counttag->setCurrentIndex(1);
        choose(w, 0, 6, 15, 10, 30, 40);
        w->start_Click();
        QVERIFY(w->tdata->isActive());
        QVERIFY(!w->tcountdown->isActive());
        QVERIFY(w->start->isHidden() && w->bh->isHidden() && w->bm->isHidden() && w->bs->isHidden());
        QVERIFY(!w->ano->isEnabled() && !w->mes->isEnabled() && !w->dia->isEnabled());
        QVERIFY(!w->counttag->isEnabled());
        Clock::set(tick);
        w->tdata_Timer();
        QCOMPARE(m_captures, starts ? 1 : 0);
        if (!starts) return;
        // Once only, even if a tick were still to come.
        if (wAutostart* still = wAutostart::instance()) still->tdata_Timer();
        QCOMPARE(m_captures, 1);
    }

    void dayThatDoesNotExistNeverComes() {
        wAutostart* w = open();
        w->counttag->setCurrentIndex(1);
        choose(w, 1, 4, 31, 0, 0, 0); // 31 April 2025
        w->start_Click();
        for (const QDateTime& t :
             {QDateTime(QDate(2025, 4, 30), QTime(23, 59, 59)), QDateTime(QDate(2025, 5, 1), QTime(0, 0, 0)),
              QDateTime(QDate(2030, 1, 1), QTime(0, 0, 0))}) {
            Clock::set(t);
            w->tdata_Timer();
        }
        QCOMPARE(m_captures, 0);
        QVERIFY(wAutostart::instance());
    }

    // The clock's changes of the year, second by second through the real timers'
    // handlers in either order: a time in the repeated autumn hour comes at its first
    // pass, one in the skipped spring hour at the first second after the gap.
    void clockChangesOfTheYear_data() {
        QTest::addColumn<QDate>("day");
        QTest::addColumn<qint64>("armedUtc");    // seconds since the epoch
        QTest::addColumn<qint64>("expectedUtc"); // the second the capture must start
        QTest::addColumn<bool>("clockFirst");    // the clock's tick before the watch's
        const auto utc = [](int y, int mo, int d, int h, int mi) {
            return QDateTime(QDate(y, mo, d), QTime(h, mi), Qt::UTC).toSecsSinceEpoch();
        };
        for (const bool clockFirst : {true, false}) {
            const char* order = clockFirst ? ", clock first" : ", watch first";
            // 27 October 2024: 03:00 summer time (01:00 UTC) becomes 02:00 winter time.
            // Armed at 02:20 summer time, 02:30 is 00:30 UTC, not 01:30 UTC.
            QTest::newRow(qPrintable(QStringLiteral("autumn 02:30") + QLatin1String(order)))
                << QDate(2024, 10, 27) << utc(2024, 10, 27, 0, 20) << utc(2024, 10, 27, 0, 30) << clockFirst;
            // 31 March 2024: 02:00 winter time (01:00 UTC) becomes 03:00 summer time;
            // 02:30 does not exist, and 03:00:00 is the first second after it.
            QTest::newRow(qPrintable(QStringLiteral("spring 02:30") + QLatin1String(order)))
                << QDate(2024, 3, 31) << utc(2024, 3, 31, 0, 50) << utc(2024, 3, 31, 1, 0) << clockFirst;
        }
    }
    void clockChangesOfTheYear() {
        QFETCH(QDate, day);
        QFETCH(qint64, armedUtc);
        QFETCH(qint64, expectedUtc);
        QFETCH(bool, clockFirst);
        Clock::set(QDateTime::fromSecsSinceEpoch(armedUtc));
        QVERIFY2(Clock::now().offsetFromUtc() != 0, "the test's time zone is not in force");
        wAutostart* w = open();
        w->counttag->setCurrentIndex(1);
        choose(w, 0, day.month(), day.day(), 2, 30, 0);
        w->start_Click();
        qint64 startedAt = -1;
        for (qint64 t = armedUtc; t < armedUtc + 3 * 3600 && startedAt < 0; ++t) {
            Clock::set(QDateTime::fromSecsSinceEpoch(t));
            QPointer<wAutostart> win = wAutostart::instance();
            QVERIFY(win);
            if (clockFirst) win->CDTimer_Timer();
            if (win && win->tdata->isActive()) win->tdata_Timer();
            if (!clockFirst && win) win->CDTimer_Timer();
            if (m_captures > 0) startedAt = t;
            closedWindowsGo();
        }
        QCOMPARE(QDateTime::fromSecsSinceEpoch(startedAt, Qt::UTC),
                 QDateTime::fromSecsSinceEpoch(expectedUtc, Qt::UTC));
        QCOMPARE(m_captures, 1);
    }

    void captureActionClosesTheWindow() {
        wAutostart* w = open();
        setCountdown(w, 0, 2, 0);
        w->start_Click();
        w->tcountdown_Timer();
        cMaster::CaptureAction(*m, true); // the record button meanwhile
        closedWindowsGo();
        QCOMPARE(wAutostart::instance(), nullptr);
        QCOMPARE(Vars::ScheduledStartMinutes, qint16(1));
        QCOMPARE(Vars::ScheduledStartSeconds, qint16(59));
    }
};

QTEST_MAIN(tst_wAutostart)
#include "tst_wautostart.moc"
