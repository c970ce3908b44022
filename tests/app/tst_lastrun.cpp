#include "EventLog.h"
#include "LogEntries.h"
#include "MSVIDEO.h"
#include "Master.h"
#include "MasterEvents.h"
#include "MsgBox.h"
#include "Vars.h"
#include "cMaster.h"
#include "wMSVIDEO.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

// The last-run file through the running program: every close request writes it,
// whatever the answer, and the next start comes back as the user left it.
class TestLastRun : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    QString lastRun() const { return m_dir.filePath(QStringLiteral("klsr.kl2")); }
    QStringList lastRunLines() const {
        QFile f(lastRun());
        if (!f.open(QIODevice::ReadOnly)) return {QStringLiteral("<missing>")};
        return QString::fromUtf8(f.readAll()).split(QStringLiteral("\r\n"));
    }

    // A started program: the form, its events, the load.
    static Master* startProgram() {
        auto* m = new Master;
        (new MasterEvents(*m))->Form_Load();
        m->show();
        return m;
    }
    // The close request with an answer; deletes the window when it closed.
    static bool quit(Master*& m, int answer) {
        MsgBoxTest::queueAnswer(answer);
        const bool closed = m->close();
        if (closed) {
            wMSVIDEO::Unload();
            delete m;
            m = nullptr;
        }
        return closed;
    }
    static QString pressedMode(const Master& m) {
        for (const char* key : {"movie", "image", "multiple", "webcam"})
            if (m.MainToolbar->Value(QLatin1String(key))) return QLatin1String(key);
        return {};
    }

private slots:
    void initTestCase() { MsgBoxTest::enable(); }
    void init() {
        Vars::StartupDirectory = m_dir.path();
        QVERIFY(CreateLog());
        QFile::remove(lastRun());
        MSVIDEO::reset();
        Vars::reset();
        MsgBoxTest::clear();
    }
    void cleanup() { wMSVIDEO::Unload(); }

    void closeRequestWritesTheFileEvenOnNo() {
        Master* m = startProgram();
        m->MainToolbar->button("image")->trigger();
        m->ImageText->setText(QStringLiteral("before"));
        QVERIFY(!quit(m, MsgBoxResult::vbNo));
        QCOMPARE(lastRunLines().value(10), QStringLiteral("IC"));
        QCOMPARE(lastRunLines().value(20), QStringLiteral("before"));
        // The question comes after the file is written.
        QCOMPARE(MsgBoxTest::texts(), QStringList{"Are you sure you want to quit ?"});

        // Each further request writes it again.
        m->MainToolbar->button("webcam")->trigger();
        QVERIFY(!quit(m, MsgBoxResult::vbNo));
        QCOMPARE(lastRunLines().value(10), QStringLiteral("WC"));
        QVERIFY(quit(m, MsgBoxResult::vbYes));
        QCOMPARE(lastRunLines().value(10), QStringLiteral("WC"));
    }

    // Set a mode up, quit, start again: the mode and its values are back, and the
    // controls' own handling ran on the way in.
    void restartRestoresTheModeAndValues_data() {
        QTest::addColumn<QString>("mode");
        QTest::newRow("movie") << "movie";
        QTest::newRow("image") << "image";
        QTest::newRow("multiple") << "multiple";
        QTest::newRow("webcam") << "webcam";
    }
    void restartRestoresTheModeAndValues() {
        QFETCH(QString, mode);
        Master* m = startProgram();
        const QString movie = m_dir.filePath(QStringLiteral("garden.avi"));
        MSVIDEO::MovieFileName = movie;
        m->MainToolbar->button(mode)->trigger();
        m->MSVIDEOPreviewRate->setCurrentIndex(4); // as a user's pick of " 5 FPS"
        emit m->MSVIDEOPreviewRate->activated(4);
        if (mode == QLatin1String("movie")) {
            m->MovieFrameRateControl->setValue(25);
            m->MovieHoursControl->setValue(0);
            m->MovieMinutesControl->setValue(0);
            m->MovieSecondsControl->setValue(45);
            m->MovieDisableLimit->setChecked(true);
            m->AudioRate->setCurrentIndex(1);
        } else if (mode == QLatin1String("image")) {
            m->ImageToolbar->setValue("date", 1);
            m->ImageDatePosition->setCurrentIndex(4);
            m->ImageText->setText(QStringLiteral("Porch"));
        } else if (mode == QLatin1String("multiple")) {
            m->MultipleImageMode->setCurrentIndex(2); // numbered JPEG files
            m->MultipleImageAutoShoot->setChecked(true);
            m->MultipleImageMinutesControl->setValue(5);
            m->MultipleImageText->setText(QStringLiteral("Run"));
        }
        Vars::ScheduledStartMinutes = 2;
        // The advanced settings, as their window's OK leaves them.
        MSVIDEO::CaptureParms.dwIndexSize = 12345;
        MSVIDEO::CaptureParms.fYield = 1;
        QVERIFY(MSVIDEO::SetCaptureSetup(MSVIDEO::CaptureWindow, MSVIDEO::CaptureParms));
        QVERIFY(quit(m, MsgBoxResult::vbYes));
        QCOMPARE(lastRunLines().value(5), QStringLiteral(" 12345"));
        QCOMPARE(lastRunLines().value(6), QStringLiteral(" 1"));

        MSVIDEO::reset();
        Vars::reset();
        m = startProgram();
        QCOMPARE(pressedMode(*m), mode);
        QCOMPARE(MSVIDEO::PreviewRate, qint16(5)); // the list's own handling ran
        QCOMPARE(m->MSVIDEOPreviewRate->currentIndex(), 4);
        QCOMPARE(Vars::ScheduledStartMinutes, qint16(2));
        // They survive the video window's activation, which re-reads the capture window.
        QVERIFY(wMSVIDEO::instance());
        wMSVIDEO::instance()->RefreshWindow();
        QCOMPARE(MSVIDEO::CaptureParms.dwIndexSize, DWORD(12345));
        QCOMPARE(MSVIDEO::CaptureParms.fYield, BOOL(1));
        if (mode == QLatin1String("movie")) {
            QCOMPARE(m->MovieFrameRateControl->value(), 25);
            QCOMPARE(m->MovieFrameRateDisplay->text(), QStringLiteral(" 25 FPS"));
            QCOMPARE(m->MovieSecondsControl->value(), 45);
            QCOMPARE(m->MovieSecondsDisplay->text(), QStringLiteral("45"));
            QVERIFY(m->MovieDisableLimit->isChecked());
            QVERIFY(!m->MovieSecondsControl->isEnabled()); // "No Limit" greys the duration
            QCOMPARE(m->AudioRate->currentIndex(), 1);
            QVERIFY(m->menuItem("SampleRateMenu", 1)->isChecked());
            QCOMPARE(MSVIDEO::MovieFileName, movie);
        } else if (mode == QLatin1String("image")) {
            QCOMPARE(m->ImageToolbar->Value("date"), 1);
            QCOMPARE(m->ImageDatePosition->currentIndex(), 4);
            QCOMPARE(m->ImageText->text(), QStringLiteral("Porch"));
            QCOMPARE(Vars::StampText, QStringLiteral("Porch")); // and with it the stamp text
        } else if (mode == QLatin1String("multiple")) {
            QCOMPARE(m->MultipleImageMode->currentIndex(), 2);
            QVERIFY(MSVIDEO::MovieFileName.endsWith(QStringLiteral("jpg"), Qt::CaseInsensitive));
            QVERIFY(m->MultipleImageAutoShoot->isChecked());
            QVERIFY(m->Shooter->isHidden()); // "Automatic" hides "Shoot"
            QCOMPARE(m->MultipleImageMinutesControl->value(), 5);
            QCOMPARE(m->MultipleImageText->text(), QStringLiteral("Run"));
            QVERIFY(!m->MultipleImageFrameRate->isEnabled()); // the shoot type's controls
        }
        QVERIFY(logEntries().contains(QStringLiteral("KL2 ok")));
        QVERIFY(quit(m, MsgBoxResult::vbYes));
    }

    void lastRunThatNamesNoModeStartsInMovieMode_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("not a parameters file") << QByteArray("hello\r\nworld\r\n");
        QTest::newRow("cut short") << QByteArray("Video Kelvanor File\r\nKLP\r\n/tmp/x.avi\r\n");
        QTest::newRow("unknown mode")
            << QByteArray("Video Kelvanor File\r\nKLP\r\n/tmp/x.avi\r\n 9\r\n 0\r\n 0\r\n"
                          " 0\r\n 0\r\n 0\r\n 10\r\nZZ\r\n");
    }
    void lastRunThatNamesNoModeStartsInMovieMode() {
        QFETCH(QByteArray, bytes);
        QFile f(lastRun());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        f.close();
        Master* m = startProgram();
        QCOMPARE(pressedMode(*m), QStringLiteral("movie"));
        QVERIFY(m->MoviePanel->Visible());
        QVERIFY(quit(m, MsgBoxResult::vbYes));
    }

    void unwritableLastRunIsLoggedAndClosingGoesOn() {
        QVERIFY(QDir(m_dir.path()).mkdir(QStringLiteral("klsr.kl2"))); // a folder in its place
        Master* m = startProgram();
        QVERIFY(quit(m, MsgBoxResult::vbYes));
        const QStringList entries = logEntries();
        QVERIFY(std::any_of(entries.begin(), entries.end(), [this](const QString& e) {
            return e.startsWith(QStringLiteral("Cannot write the last-run file ") + lastRun());
        }));
        QCOMPARE(MsgBoxTest::texts(), QStringList{"Are you sure you want to quit ?"});
        QVERIFY(QDir(m_dir.path()).rmdir(QStringLiteral("klsr.kl2")));
    }
};

QTEST_MAIN(TestLastRun)
#include "tst_lastrun.moc"
