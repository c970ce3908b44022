#include "Clock.h"
#include "EventLog.h"
#include "MSVIDEO.h"
#include "Master.h"
#include "MasterEvents.h"
#include "MsgBox.h"
#include "Vars.h"
#include "cMaster.h"
#include "wAutostart.h"
#include "wImage.h"
#include "wMSVIDEO.h"
#include "wMultiImage.h"

#include <QFileInfo>
#include <QMdiSubWindow>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

// The scheduled start in the running program: the "autostart" button opens it, and a
// countdown or a chosen moment starts a real capture in the current mode. The
// window's timers are driven by calling their handlers.
class TestScheduledStart : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<Master> m;

    int imageWindows() const {
        int n = 0;
        for (QMdiSubWindow* sub : m->MDIClient->subWindowList())
            if (qobject_cast<wImage*>(sub->widget())) ++n;
        return n;
    }
    static void closedWindowsGo() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

    // Sets `mode` up so that its capture is quick and visible.
    void prepare(const QString& mode) {
        m->MainToolbar->button(mode)->trigger();
        if (mode == QLatin1String("movie")) {
            MSVIDEO::MovieFileName = m_dir.filePath(QStringLiteral("scheduled.avi"));
            m->ShowAudioPanel(false);
            m->MovieDisableLimit->setChecked(false);
            m->MovieHoursControl->setValue(0);
            m->MovieMinutesControl->setValue(0);
            m->MovieSecondsControl->setValue(1);
            MSVIDEO::CaptureParms.fYield = 0; // the capture action returns when the movie is done
        } else if (mode == QLatin1String("multiple")) {
            m->MultipleImageMode->setCurrentIndex(5); // the clipboard: no files
        }
    }
    // What shows that the capture of `mode` started.
    void verifyStarted(const QString& mode) {
        if (mode == QLatin1String("movie")) {
            QTRY_VERIFY_WITH_TIMEOUT(m->GlobalToolbar->isVisible(), 30000);
            QVERIFY(QFileInfo(MSVIDEO::MovieFileName).size() > 0);
        } else if (mode == QLatin1String("image")) {
            QCOMPARE(imageWindows(), 1);
        } else {
            QCOMPARE(m->GlobalToolbar->Image("record"), QStringLiteral("stop"));
            QVERIFY(!m->GlobalToolbar->button("autostart")->isEnabled()); // no second schedule during a run
            cMaster::CaptureAction(*m, false);
        }
    }

private slots:
    void initTestCase() { MsgBoxTest::enable(); }
    void init() {
        Vars::StartupDirectory = m_dir.path();
        QVERIFY(CreateLog());
        MSVIDEO::reset();
        Vars::reset();
        MsgBoxTest::clear();
        m = std::make_unique<Master>();
        (new MasterEvents(*m))->Form_Load();
        m->show();
    }
    void cleanup() {
        wAutostart::CloseIfOpen();
        closedWindowsGo();
        wMultiImage::unload();
        wMSVIDEO::Unload();
        m.reset();
        Clock::reset();
    }

    void modes_data() {
        QTest::addColumn<QString>("mode");
        QTest::newRow("movie") << "movie";
        QTest::newRow("image") << "image";
        QTest::newRow("multiple") << "multiple";
    }

    void countdownStartsTheCapture_data() { modes_data(); }
    void countdownStartsTheCapture() {
        QFETCH(QString, mode);
        prepare(mode);
        m->GlobalToolbar->button("autostart")->trigger();
        wAutostart* w = wAutostart::instance();
        QVERIFY(w);
        QVERIFY(w->isVisible());
        QVERIFY(!w->isModal());
        QCOMPARE(w->csec->value(), 10); // the countdown set at start-up
        w->csec->setValue(2);
        w->start->click();
        QPointer<wAutostart> guard(w);
        w->tcountdown_Timer();
        w->tcountdown_Timer();
        QCOMPARE(imageWindows(), 0);
        QCOMPARE(m->GlobalToolbar->Image("record"), QStringLiteral("record"));
        w->tcountdown_Timer(); // 0:00:00 reached: this tick starts
        closedWindowsGo();
        QVERIFY(!guard);
        verifyStarted(mode);
        QCOMPARE(Vars::ScheduledStartSeconds, qint16(0));
    }

    void chosenMomentStartsTheCapture_data() { modes_data(); }
    void chosenMomentStartsTheCapture() {
        QFETCH(QString, mode);
        prepare(mode);
        Clock::set(QDateTime(QDate(2030, 3, 4), QTime(8, 0, 0)));
        m->GlobalToolbar->button("autostart")->trigger();
        wAutostart* w = wAutostart::instance();
        w->counttag->setCurrentIndex(1);
        w->bh->setValue(8);
        w->bm->setValue(0);
        w->bs->setValue(3);
        w->start->click();
        Clock::set(QDateTime(QDate(2030, 3, 4), QTime(8, 0, 2)));
        w->CDTimer_Timer();
        w->tdata_Timer();
        QCOMPARE(imageWindows(), 0);
        QPointer<wAutostart> guard(w);
        Clock::set(QDateTime(QDate(2030, 3, 4), QTime(8, 0, 3)));
        // Either tick of that second starts it (the clock's comes first here); the
        // capture action closes the window, so the other finds it gone.
        w->CDTimer_Timer();
        if (guard) w->tdata_Timer();
        closedWindowsGo();
        QVERIFY(!guard);
        verifyStarted(mode);
    }

    // The record button meanwhile ends the schedule: the capture action closes it.
    void recordButtonClosesTheSchedule() {
        prepare(QStringLiteral("image"));
        m->GlobalToolbar->button("autostart")->trigger();
        wAutostart::instance()->start->click();
        m->GlobalToolbar->button("record")->trigger();
        closedWindowsGo();
        QCOMPARE(wAutostart::instance(), nullptr);
        QCOMPARE(imageWindows(), 1);
    }
};

QTEST_MAIN(TestScheduledStart)
#include "tst_scheduledstart.moc"
